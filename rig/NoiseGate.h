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

    // Design (any thread, allocation-free).
    float openLevel = 0.0f;   // linear
    float closeLevel = 0.0f;  // linear
    float detectorFall = 0.0f;
    float attack = 0.0f;
    float release = 0.0f;
    int holdFrames = 0;

    // State.
    float level = 0.0f;
    float gain = 1.0f;    // the gain applied
    float smooth = 1.0f;  // the first smoothing step's output
    bool open = true;
    int hold = 0;

    void design(double rate, double thresholdDb, double releaseMs) {
        openLevel = (float)std::pow(10.0, thresholdDb / 20.0);
        closeLevel = (float)std::pow(10.0, (thresholdDb - kHysteresisDb) / 20.0);
        detectorFall = (float)std::exp(-1000.0 / (kDetectorMs * rate));
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
    }

    // One frame: `key` the DI's absolute level; answers the gain.
    float step(float key) {
        level = std::max(key, level * detectorFall);
        if (level < 1e-12f)
            level = 0.0f;
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
            const float f = detectorFall;
            // (A level the detector would flush to zero is left to it too.)
            auto keeps = [this](float v) { return v >= 1e-12f && (v >= openLevel || v >= closeLevel); };
            // Four frames at a time, off the detector's chain but for four
            // multiplies: f * max(a, b) rounds to max(f * a, f * b) (rounding
            // is monotonic and f > 0), so each frame's level is the largest of
            // its key, the earlier keys and the level before, each carried
            // forward one rounded multiply per frame, as the frame-by-frame
            // step does. A group with a key that is not a number, or a frame
            // that would not keep the gate open, is left to the loop below.
            for (; i + 4 <= n; i += 4) {
                const float k0 = keys[i], k1 = keys[i + 1], k2 = keys[i + 2], k3 = keys[i + 3];
                const float p1 = l * f, p2 = p1 * f, p3 = p2 * f, p4 = p3 * f;
                const float k0f = k0 * f, k0ff = k0f * f, k1f = k1 * f;
                const float l0 = std::max(k0, p1);
                const float l1 = std::max(std::max(k1, k0f), p2);
                const float l2 = std::max(std::max(k2, std::max(k1f, k0ff)), p3);
                const float l3 = std::max(std::max(k3, std::max(k2 * f, std::max(k1f * f, k0ff * f))), p4);
                if (!(k0 == k0 && k1 == k1 && k2 == k2 && k3 == k3 && keeps(l0) && keeps(l1) && keeps(l2) && keeps(l3)))
                    break;
                l = l3;
            }
            for (; i < n; ++i) {
                float next = std::max(keys[i], l * detectorFall);
                if (next < 1e-12f)
                    next = 0.0f;
                if (!(next >= openLevel || next >= closeLevel))
                    break;  // this frame may start the hold's count (or is not a number)
                l = next;
            }
            level = l;
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
