// Frames [start, end) of a CLAP block through a stereo process call, with the
// host's main ports as they come: a mono input feeds both sides, a missing
// input reads silence, a missing second output (or a missing output port)
// writes to scratch. Where silence or scratch stands in, the span goes in
// pieces of at most maxFrames. Audio thread; allocates nothing.
//   silence: maxFrames zeros; scratch: 2 * maxFrames floats.
#pragma once

#include <cstdint>

#include "clap/ClapAbi.h"

template <class Process>
void renderClapSpan(const clap_process* p, uint32_t start, uint32_t end, const float* silence, float* scratch,
                    uint32_t maxFrames, Process&& process) {
    while (start < end) {
        uint32_t frames = end - start;
        const float* in[2] = {nullptr, nullptr};
        float* out[2] = {nullptr, nullptr};
        bool borrowed = false;  // silence or scratch used: at most maxFrames at a time
        if (p->audio_inputs_count > 0 && p->audio_inputs && p->audio_inputs[0].data32 &&
            p->audio_inputs[0].channel_count > 0 && p->audio_inputs[0].data32[0]) {
            float** channels = p->audio_inputs[0].data32;
            in[0] = channels[0] + start;
            in[1] = (p->audio_inputs[0].channel_count > 1 && channels[1] ? channels[1] : channels[0]) + start;
        } else {
            in[0] = in[1] = silence;
            borrowed = true;
        }
        if (p->audio_outputs_count > 0 && p->audio_outputs && p->audio_outputs[0].data32 &&
            p->audio_outputs[0].channel_count > 0 && p->audio_outputs[0].data32[0]) {
            float** channels = p->audio_outputs[0].data32;
            out[0] = channels[0] + start;
            if (p->audio_outputs[0].channel_count > 1 && channels[1]) {
                out[1] = channels[1] + start;
            } else {
                out[1] = scratch;
                borrowed = true;
            }
        } else {
            out[0] = scratch;
            out[1] = scratch + maxFrames;
            borrowed = true;
        }
        if (borrowed && frames > maxFrames)
            frames = maxFrames;
        process(in[0], in[1], out[0], out[1], static_cast<int>(frames));
        start += frames;
    }
}
