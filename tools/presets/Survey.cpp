#include "tools/presets/Survey.h"

#include <cmath>
#include <cstdio>

#include "tools/presets/BankComposer.h"

namespace {

constexpr int kPeriod = 400;               // samples: 110.25 Hz at 44.1 kHz
constexpr int kAnalysed = 40 * kPeriod;    // whole periods, so no window is needed
constexpr double kTwoPi = 6.283185307179586;

double binAmplitude(const std::vector<float>& x, size_t start, int harmonic) {
    double re = 0.0, im = 0.0;
    for (int n = 0; n < kAnalysed; n++) {
        double phase = kTwoPi * harmonic * n / kPeriod;
        re += x[start + (size_t)n] * std::cos(phase);
        im -= x[start + (size_t)n] * std::sin(phase);
    }
    return 2.0 * std::sqrt(re * re + im * im) / kAnalysed;
}

}  // namespace

void harmonicDistortion(const std::vector<float>& signal, double& thd, double& fundamental) {
    thd = 0.0;
    fundamental = 0.0;
    if (signal.size() < (size_t)kAnalysed) return;
    size_t start = signal.size() - (size_t)kAnalysed;
    fundamental = binAmplitude(signal, start, 1);
    double sum = 0.0;
    for (int h = 2; h <= 10; h++) {
        double a = binAmplitude(signal, start, h);
        sum += a * a;
    }
    thd = fundamental > 0.0 ? std::sqrt(sum) / fundamental : 0.0;
}

bool runSurvey(const std::string& pluginPath, const DiSignal& riff, std::string& error) {
    DiSignal sine;
    sine.rate = riff.rate;
    const double amplitude = std::pow(10.0, kDiPeakDb / 20.0);
    for (int n = 0; n < 3 * riff.rate / 2; n++) {
        sine.samples.push_back((float)(amplitude * std::sin(kTwoPi * (n % kPeriod) / kPeriod)));
    }
    std::printf("ch boost input drive   THD(110 Hz)  riff LUFS  true peak  PLR\n");
    const float inputs[] = {0.5f, 1.0f};
    for (int variant = 0; variant < 3; variant++) {
        int channel = variant == 0 ? 0 : 1;
        bool boost = variant == 2;
        for (float input : inputs) {
            for (int step = 0; step <= 10; step += 2) {
                float drive = (float)step / 10.0f;
                FactoryRecipe r{"survey", "survey", channel, 0.5f, false, boost, {}};
                for (ChannelKnobs& k : r.knobs) k = {input, drive, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
                std::vector<uint8_t> bank;
                if (!composeBank(pluginPath, riff.rate, {r}, {{0.5f, 0.5f}}, bank, error)) return false;
                LevelReport level;
                if (!measureProgram(pluginPath, bank, 0, -1, riff, level, error)) return false;
                PluginHost plugin;
                std::vector<float> left, right;
                if (!loadPluginWithBank(plugin, pluginPath, sine.rate, bank, error)) return false;
                plugin.setProgram(0);
                if (!renderDi(plugin, sine, left, right, error)) return false;
                double thd = 0.0, fundamental = 0.0;
                harmonicDistortion(left, thd, fundamental);
                std::printf("%2d %5s %5.2f %5.2f   %9.2f %%  %9.2f  %9.2f  %5.2f\n", channel, boost ? "on" : "off",
                            input, drive, 100.0 * thd, level.integratedLufs, level.truePeakDb,
                            level.truePeakDb - level.integratedLufs);
            }
        }
    }
    return true;
}
