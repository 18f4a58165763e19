#include "tools/presets/BankComposer.h"

#include "tools/presets/ProgramMeasure.h"

bool ParameterMap::resolve(PluginHost& plugin, std::string& error) {
    struct Entry {
        int* index;
        const char* name;
    };
    const Entry entries[] = {{&input, "Input"},
                             {&channel, "Channel"},
                             {&drive, "Drive"},
                             {&mixPls, "Mix PLS"},
                             {&low, "Low"},
                             {&mid, "Mid"},
                             {&high, "High"},
                             {&contour, "Contour"},
                             {&powerAmp, "Power Amp"},
                             {&volume, "Volume"},
                             {&monoStereo, "Mono/Stereo"},
                             {&quality, "LowQ/HighQ"},
                             {&boost, "TQZ Boost"}};
    for (const Entry& e : entries) {
        *e.index = plugin.findParameter(e.name, error);
        if (*e.index < 0)
            return false;
    }
    return true;
}

namespace {

void selectChannel(PluginHost& plugin, const ParameterMap& map, int channel, const ChannelKnobs& k, float volume) {
    // Selecting a channel brings back its remembered knobs; ours replace them.
    plugin.setParameter(map.channel, channel == 1 ? 1.0f : 0.0f);
    plugin.setParameter(map.input, k.input);
    plugin.setParameter(map.drive, k.drive);
    plugin.setParameter(map.low, k.low);
    plugin.setParameter(map.mid, k.mid);
    plugin.setParameter(map.high, k.high);
    plugin.setParameter(map.contour, k.contour);
    plugin.setParameter(map.powerAmp, k.powerAmp);
    plugin.setParameter(map.volume, volume);
}

}  // namespace

void composeProgram(PluginHost& plugin, const ParameterMap& map, int index, const FactoryRecipe& r,
                    const ChannelVolumes& volumes) {
    plugin.setProgram(index);
    const int other = 1 - r.channel;
    selectChannel(plugin, map, other, r.knobs[other], volumes[(size_t)other]);
    selectChannel(plugin, map, r.channel, r.knobs[r.channel], volumes[(size_t)r.channel]);
    plugin.setParameter(map.mixPls, r.mixPls);
    plugin.setParameter(map.monoStereo, 0.0f);  // a guitar DI is one channel
    plugin.setParameter(map.quality, r.highQuality ? 1.0f : 0.0f);
    plugin.setParameter(map.boost, r.boost ? 1.0f : 0.0f);
    plugin.setProgramName(r.name);
}

bool composeBank(const std::string& pluginPath, int rate, const std::vector<FactoryRecipe>& recipes,
                 const std::vector<ChannelVolumes>& volumes, std::vector<uint8_t>& bank, std::string& error) {
    PluginHost plugin;
    if (!plugin.load(pluginPath, error))
        return false;
    plugin.setSampleRate(rate);
    plugin.setBlockSize(kRenderBlock);
    ParameterMap map;
    if (!map.resolve(plugin, error))
        return false;
    if ((int)recipes.size() > plugin.numPrograms() || volumes.size() != recipes.size()) {
        error = std::to_string(recipes.size()) + " recipes for a plug-in of " + std::to_string(plugin.numPrograms()) +
                " programs";
        return false;
    }
    for (size_t i = 0; i < recipes.size(); i++)
        composeProgram(plugin, map, (int)i, recipes[i], volumes[i]);
    plugin.setProgram(0);
    if (!plugin.getChunk(false, bank)) {
        error = "the plug-in gave no bank chunk";
        return false;
    }
    return true;
}
