// The rig's noise gate: a level detector on the key (the guitar's DI, before
// the amp) opens and closes a gain applied to the amp's output.
//   - opens when the key's level reaches the threshold, closes when it has
//     stayed below the threshold minus the hysteresis for the hold time;
//   - the gain moves smoothly both ways (attack when opening, release when
//     closing), through two one-pole steps, so neither edge clicks;
//   - a gain below -120 dB is taken as closed and set to zero, and the
//     detector's level below -240 dB to zero: silence costs no denormals.
// A plain record with its design and step functions; the audio thread's.
#pragma once

#include <algorithm>
#include <cmath>

namespace corvex {

struct NoiseGate {
    static constexpr double kHysteresisDb = 6.0;
    static constexpr double kAttackMs = 1.0;
    static constexpr double kHoldMs = 40.0;
    static constexpr double kDetectorMs = 10.0;  // the level's fall time constant
    // The level falls in steps, once every kDetectorGroup frames (a twelfth
    // of a millisecond at 48 kHz), and holds between them: a rising key
    // still counts on the frame it arrives, and a block of frames checks the
    // gate open with one multiply per group instead of one per frame.
    static constexpr int kDetectorGroup = 4;

    // Design (any thread, allocation-free).
    float openLevel = 0.0f;   // linear
    float closeLevel = 0.0f;  // linear
    float detectorFall = 0.0f;  // the level's fall over one group of kDetectorGroup frames
    float attack = 0.0f;
    float release = 0.0f;
    int holdFrames = 0;

    // State.
    float level = 0.0f;
    float gain = 1.0f;    // the gain applied
    float smooth = 1.0f;  // the first smoothing step's output
    bool open = true;
    int hold = 0;
    int phase = 0;  // frames into the level's current group (its first falls)

    void design(double rate, double thresholdDb, double releaseMs) {
        openLevel = (float)std::pow(10.0, thresholdDb / 20.0);
        closeLevel = (float)std::pow(10.0, (thresholdDb - kHysteresisDb) / 20.0);
        detectorFall = (float)std::exp(-1000.0 * kDetectorGroup / (kDetectorMs * rate));
        // Two one-pole steps in a row: each at half the time, so the pair
        // takes about the stated time.
        attack = (float)(1.0 - std::exp(-2000.0 / (kAttackMs * rate)));
        release = (float)(1.0 - std::exp(-2000.0 / (std::max(1.0, releaseMs) * rate / 6.9)));
        holdFrames = (int)(kHoldMs * rate / 1000.0);
    }

    // Forgets the past: open, full gain.
    void reset() {
        level = 0.0f;
        gain = smooth = 1.0f;
        open = true;
        hold = holdFrames;
        phase = 0;
    }

    // The detector's level after a frame with `key`, from `past` (the level
    // before it) at position `at` in its group: the first frame of a group
    // falls, the others hold; a level below -240 dB goes to zero.
    float detected(float key, float past, int at) const {
        const float next = std::max(key, at == 0 ? past * detectorFall : past);
        return next < 1e-12f ? 0.0f : next;
    }

    // Whether a frame with this level leaves a fully open gate as it is
    // (false for a level that is not a number).
    bool keepsOpen(float v) const { return v >= openLevel || v >= closeLevel; }

    // One frame: `key` the DI's absolute level; answers the gain.
    float step(float key) {
        level = detected(key, level, phase);
        phase = (phase + 1) % kDetectorGroup;
        if (level >= openLevel) {
            open = true;
            hold = holdFrames;
        } else if (open) {
            if (level >= closeLevel)
                hold = holdFrames;
            else if (hold > 0)
                --hold;
            else
                open = false;
        }
        const float target = open ? 1.0f : 0.0f;
        const float rate = open ? attack : release;
        smooth += (target - smooth) * rate;
        gain += (smooth - gain) * rate;
        if (!open && gain < 1e-6f)
            gain = smooth = 0.0f;
        if (open && gain > 1.0f - 1e-7f && smooth > 1.0f - 1e-7f)
            gain = smooth = 1.0f;
        return gain;
    }

    // `n` frames: gains[i] = step(keys[i]), the same state and gains as
    // frame by frame. While the gate is fully open and every frame's level
    // keeps it open (at or above the closing level), the gain stays exactly
    // 1 and only the level detector needs working: that runs on its own,
    // and the frame-by-frame steps take over from the first frame that
    // would not keep it open. Answers whether every gain is exactly 1.
    bool run(const float* keys, float* gains, int n) {
        int i = 0;
        if (open && gain == 1.0f && smooth == 1.0f) {
            float l = level;
            int at = phase;
            // One frame of the detector alone, if its level keeps the gate
            // open (else the frame, which may start the hold's count or not
            // be a number, is left to the frame-by-frame steps).
            auto detectorOnly = [&](float key) {
                const float next = detected(key, l, at);
                if (!keepsOpen(next))
                    return false;
                l = next;
                at = (at + 1) % kDetectorGroup;
                return true;
            };
            // Up to the next group's first frame, frame by frame.
            for (; i < n && at != 0 && detectorOnly(keys[i]); ++i) {
            }
            // Then whole groups: within one the level only rises, so its
            // first frame's level is the group's least, and the group ends on
            // the largest of that and the other keys (max picks one of its
            // operands, so the order does not change the bits). A group with
            // a key that is not a number is left to the frames after it.
            if (at == 0) {
                for (; i + kDetectorGroup <= n; i += kDetectorGroup) {
                    const float k1 = keys[i + 1], k2 = keys[i + 2], k3 = keys[i + 3];
                    const float first = detected(keys[i], l, 0);
                    if (!(k1 == k1 && k2 == k2 && k3 == k3 && keepsOpen(first)))
                        break;
                    l = std::max(std::max(k1, std::max(k2, k3)), first);
                }
                for (; i < n && detectorOnly(keys[i]); ++i) {
                }
            }
            level = l;
            phase = at;
            if (i > 0)
                hold = holdFrames;
        }
        bool allOpen = true;
        for (int k = 0; k < i; ++k)
            gains[k] = 1.0f;
        for (; i < n; ++i) {
            gains[i] = step(keys[i]);
            allOpen = allOpen && gains[i] == 1.0f;
        }
        return allOpen;
    }
};

}  // namespace corvex
