#include "tools/presets/ProgramMeasure.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kChannelParameter = 1;

bool fail(std::string& error, const std::string& text) {
    error = text;
    return false;
}

}  // namespace

bool loadDi(const std::string& path, double peakDb, DiSignal& di, std::string& error) {
    SF_INFO info = {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        return fail(error, "cannot read " + path + ": " + sf_strerror(nullptr));
    std::vector<float> interleaved((size_t)info.frames * (size_t)info.channels);
    sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    if (got != info.frames || info.frames <= 0)
        return fail(error, "cannot read the audio of " + path);

    di.rate = info.samplerate;
    di.samples.resize((size_t)info.frames);
    double peak = 0.0;
    for (size_t i = 0; i < di.samples.size(); i++) {
        di.samples[i] = interleaved[i * (size_t)info.channels];
        peak = std::fmax(peak, std::fabs((double)di.samples[i]));
    }
    if (!(peak > 0.0))
        return fail(error, path + " is silent");
    const double gain = std::pow(10.0, peakDb / 20.0) / peak;
    for (float& s : di.samples)
        s = (float)(s * gain);
    return true;
}

bool loadPluginWithBank(PluginHost& plugin, const std::string& pluginPath, int rate,
                        const std::vector<uint8_t>& bankChunk, std::string& error) {
    if (!plugin.load(pluginPath, error))
        return false;
    plugin.setSampleRate(rate);
    plugin.setBlockSize(kRenderBlock);
    if (!plugin.setChunk(false, bankChunk))
        return fail(error, "the plug-in refused the bank chunk");
    return true;
}

bool renderDi(PluginHost& plugin, const DiSignal& di, std::vector<float>& left, std::vector<float>& right,
              std::string& error) {
    const size_t total = di.samples.size();
    left.assign(total, 0.0f);
    right.assign(total, 0.0f);
    std::vector<float> in(kRenderBlock);
    plugin.resume();
    for (size_t start = 0; start < total; start += kRenderBlock) {
        int n = (int)std::min<size_t>(kRenderBlock, total - start);
        // The plug-in may write its outputs before reading its inputs: the
        // block is copied in, and the outputs land in the result directly.
        std::copy(di.samples.begin() + (long)start, di.samples.begin() + (long)start + n, in.begin());
        float* inputs[2] = {in.data(), in.data()};
        float* outputs[2] = {left.data() + start, right.data() + start};
        plugin.process(inputs, outputs, n);
    }
    plugin.suspend();
    for (size_t i = 0; i < total; i++) {
        if (!std::isfinite(left[i]) || !std::isfinite(right[i])) {
            return fail(error, "the plug-in produced a non-finite sample at frame " + std::to_string(i));
        }
    }
    return true;
}

bool renderAndMeasure(PluginHost& plugin, const DiSignal& di, LevelReport& report, std::string& error) {
    std::vector<float> left, right;
    return renderDi(plugin, di, left, right, error) && measureLevels(left, right, di.rate, report, error);
}

bool measureProgram(const std::string& pluginPath, const std::vector<uint8_t>& bankChunk, int index, int channel,
                    const DiSignal& di, LevelReport& report, std::string& error) {
    PluginHost plugin;
    if (!loadPluginWithBank(plugin, pluginPath, di.rate, bankChunk, error))
        return false;
    if (index < 0 || index >= plugin.numPrograms())
        return fail(error, "no program " + std::to_string(index));
    plugin.setProgram(index);
    if (channel >= 0)
        plugin.setParameter(kChannelParameter, channel >= 1 ? 1.0f : 0.0f);
    return renderAndMeasure(plugin, di, report, error);
}
