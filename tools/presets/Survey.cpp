#include "tools/presets/Survey.h"

#include <cmath>
#include <cstdio>

#include "tools/presets/BankComposer.h"
#include "tools/presets/FactoryRecipes.h"

namespace {

constexpr int kPeriod = 400;             // samples: 110.25 Hz at 44.1 kHz
constexpr int kAnalysed = 40 * kPeriod;  // whole periods, so no window is needed
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

struct Voice {
    double thd = 0.0;
    LevelReport riff;
};

// Recipe `r` played on `channel` (Volume 0.5): the sine's distortion and the
// riff's levels.
bool measureVoice(const std::string& pluginPath, const DiSignal& riff, const DiSignal& sine, const FactoryRecipe& r,
                  int channel, Voice& voice, std::string& error) {
    FactoryRecipe played = r;
    played.channel = channel;
    std::vector<uint8_t> bank;
    if (!composeBank(pluginPath, riff.rate, {played}, {{0.5f, 0.5f}}, bank, error))
        return false;
    if (!measureProgram(pluginPath, bank, 0, -1, riff, voice.riff, error))
        return false;
    PluginHost plugin;
    std::vector<float> left, right;
    if (!loadPluginWithBank(plugin, pluginPath, sine.rate, bank, error))
        return false;
    plugin.setProgram(0);
    if (!renderDi(plugin, sine, left, right, error))
        return false;
    double fundamental = 0.0;
    harmonicDistortion(left, voice.thd, fundamental);
    return true;
}

void printVoice(const char* label, const Voice& v) {
    std::printf("%-40s %6.1f %%  %7.2f  %6.2f  %5.2f\n", label, 100.0 * v.thd, v.riff.integratedLufs, v.riff.truePeakDb,
                v.riff.truePeakDb - v.riff.integratedLufs);
}

}  // namespace

void harmonicDistortion(const std::vector<float>& signal, double& thd, double& fundamental) {
    thd = 0.0;
    fundamental = 0.0;
    if (signal.size() < (size_t)kAnalysed)
        return;
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
    std::printf("THD: 110 Hz sine at %.0f dBFS peak; riff: LUFS, dBTP and peak-to-loudness ratio at Volume 0.5\n",
                kDiPeakDb);
    std::printf("%-40s %8s  %7s  %6s  %5s\n", "tone knobs at 0.5, Mix PLS 0.5", "THD", "LUFS", "dBTP", "PLR");
    Voice v;
    for (int variant = 0; variant < 3; variant++) {
        const int channel = variant == 0 ? 0 : 1;
        const bool boost = variant == 2;
        for (float input : {0.5f, 1.0f}) {
            for (int step = 0; step <= 10; step += 2) {
                float drive = (float)step / 10.0f;
                FactoryRecipe r{"survey", "survey", channel, 0.5f, false, boost, {}};
                for (ChannelKnobs& k : r.knobs)
                    k = {input, drive, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
                if (!measureVoice(pluginPath, riff, sine, r, channel, v, error))
                    return false;
                char label[64];
                std::snprintf(label, sizeof label, "channel %d%s, Input %.2f, Drive %.2f", channel,
                              boost ? " boost" : "", input, drive);
                printVoice(label, v);
            }
        }
    }
    std::printf("\n%-40s %8s  %7s  %6s  %5s\n", "the factory programs (* played channel)", "THD", "LUFS", "dBTP",
                "PLR");
    for (const FactoryRecipe& r : factoryRecipes()) {
        for (int channel = 0; channel < 2; channel++) {
            if (!measureVoice(pluginPath, riff, sine, r, channel, v, error))
                return false;
            char label[64];
            std::snprintf(label, sizeof label, "%c %s, channel %d", channel == r.channel ? '*' : ' ', r.name.c_str(),
                          channel);
            printVoice(label, v);
        }
    }
    return true;
}
