// Loudness and peak of a rendered stereo signal: EBU R128 integrated loudness
// (K-weighted, gated, through libebur128), the largest sample and the
// largest inter-sample (true) peak.
#pragma once

#include <string>
#include <vector>

struct LevelReport {
    double integratedLufs = 0.0;  // LUFS; -inf for silence below the absolute gate
    double samplePeakDb = 0.0;    // dBFS of the largest |sample| over both channels
    double truePeakDb = 0.0;      // dBTP: the same after 4x oversampling
};

// Measures two equally long channels at `rate` Hz. False with a reason when
// libebur128 refuses the signal (no frames, a rate it cannot take).
bool measureLevels(const std::vector<float>& left, const std::vector<float>& right, double rate, LevelReport& report,
                   std::string& error);

// 20 log10 |x|, -inf for 0.
double toDb(double linear);
