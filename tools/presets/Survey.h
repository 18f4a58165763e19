// How much each channel distorts and compresses as Drive goes up: the
// figures the recipes' Drive and Input values were chosen from.
#pragma once

#include <string>

#include "tools/presets/ProgramMeasure.h"

// Prints, for both channels (channel 1 with and without the boost) and a
// range of Drive and Input settings with the tone knobs at noon, then for
// both channels of every factory recipe: the total harmonic distortion of a
// 110 Hz sine at the DI's peak level, and the riff's loudness, true peak and
// peak-to-loudness ratio at Volume 0.5.
bool runSurvey(const std::string& pluginPath, const DiSignal& riff, std::string& error);

// Total harmonic distortion (harmonics 2 to 10 against the fundamental) and
// the fundamental's amplitude of a sine at rate/400 Hz, from the last
// 16000 samples of `signal`.
void harmonicDistortion(const std::vector<float>& signal, double& thd, double& fundamental);
