#include "host/PluginPresets.h"

#include <cmath>
#include <cstdio>

#include "host/PrintableText.h"

using presetfile::Kind;
using presetfile::PresetFile;

namespace {

bool fail(std::string& error, const std::string& text) {
    error = text;
    return false;
}

bool applyParams(PluginHost& plugin, const std::vector<float>& params, std::string& error) {
    if ((int)params.size() != plugin.numParams()) {
        return fail(error, "the preset has " + std::to_string(params.size()) + " parameters, the plug-in " +
                               std::to_string(plugin.numParams()));
    }
    for (size_t i = 0; i < params.size(); i++)
        plugin.setParameter((int)i, params[i]);
    return true;
}

}  // namespace

bool applyPreset(PluginHost& plugin, const PresetFile& given, bool expectBank, std::string& error,
                 presetvalues::Repair repair, int* repaired) {
    AEffect* effect = plugin.effect();
    if (given.isBank() != expectBank) {
        return fail(error, given.isBank() ? "this is a bank file (.fxb); load it with --load-fxb"
                                         : "this is a program file (.fxp); load it with --load-fxp");
    }
    if (given.fxID != effect->uniqueID) {
        return fail(error, "the preset is for plug-in '" + presetfile::fourCCText(given.fxID) + "', not for '" +
                               presetfile::fourCCText(effect->uniqueID) + "'");
    }
    if (given.isChunk() && !plugin.hasChunks()) {
        return fail(error, "the preset holds a chunk but the plug-in does not take chunks");
    }
    // Checked (and mended, if asked) on a copy: nothing reaches the plug-in
    // before every value passed.
    PresetFile file = given;
    int mended = 0;
    const int numParams = plugin.numParams();
    auto names = [&plugin, numParams](int index) {
        return index >= 0 && index < numParams ? plugin.parameterName(index) : std::string();
    };
    if (!presetvalues::checkFileValues(file, names, repair, mended, error))
        return false;
    if (repaired != nullptr)
        *repaired = mended;
    switch (file.kind) {
        case Kind::programChunk:
            if (!plugin.setChunk(true, file.chunk))
                return fail(error, "the plug-in refused the program chunk");
            return true;
        case Kind::bankChunk:
            if (!plugin.setChunk(false, file.chunk))
                return fail(error, "the plug-in refused the bank chunk");
            // The chunk is the plug-in's; which program was current is the file's.
            if (file.currentProgram >= 0 && file.currentProgram < plugin.numPrograms()) {
                plugin.setProgram(file.currentProgram);
            }
            return true;
        case Kind::programParams:
            if (!applyParams(plugin, file.params, error))
                return false;
            plugin.setProgramName(file.programName);
            return true;
        case Kind::bankParams: {
            if ((int)file.programs.size() > plugin.numPrograms()) {
                return fail(error, "the bank has " + std::to_string(file.programs.size()) +
                                       " programs, the plug-in only " + std::to_string(plugin.numPrograms()));
            }
            // Check every program before changing anything.
            for (const presetfile::Program& p : file.programs) {
                if ((int)p.params.size() != plugin.numParams()) {
                    return fail(error, "the bank's programs have " + std::to_string(p.params.size()) +
                                           " parameters, the plug-in " + std::to_string(plugin.numParams()));
                }
            }
            int current = plugin.currentProgram();
            for (size_t i = 0; i < file.programs.size(); i++) {
                plugin.setProgram((int)i);
                applyParams(plugin, file.programs[i].params, error);
                plugin.setProgramName(file.programs[i].name);
            }
            int select =
                file.currentProgram >= 0 && file.currentProgram < plugin.numPrograms() ? file.currentProgram : current;
            plugin.setProgram(select);
            return true;
        }
    }
    return fail(error, "unknown preset kind");
}

bool capturePreset(PluginHost& plugin, bool bank, PresetFile& file, std::string& error) {
    AEffect* effect = plugin.effect();
    file = PresetFile();
    file.fxID = effect->uniqueID;
    file.fxVersion = effect->version;
    file.numParams = plugin.numParams();
    file.numPrograms = plugin.numPrograms();
    if (bank) {
        file.formatVersion = 2;
        file.currentProgram = plugin.currentProgram();
        if (plugin.hasChunks()) {
            file.kind = Kind::bankChunk;
            if (!plugin.getChunk(false, file.chunk))
                return fail(error, "the plug-in gave no bank chunk");
            return true;
        }
        file.kind = Kind::bankParams;
        int current = plugin.currentProgram();
        for (int p = 0; p < plugin.numPrograms(); p++) {
            plugin.setProgram(p);
            presetfile::Program program;
            program.name = plugin.programName();
            for (int i = 0; i < plugin.numParams(); i++)
                program.params.push_back(plugin.getParameter(i));
            file.programs.push_back(program);
        }
        plugin.setProgram(current);
        return true;
    }
    file.formatVersion = 1;
    file.programName = plugin.programName();
    if (plugin.hasChunks()) {
        file.kind = Kind::programChunk;
        if (!plugin.getChunk(true, file.chunk))
            return fail(error, "the plug-in gave no program chunk");
        return true;
    }
    file.kind = Kind::programParams;
    for (int i = 0; i < plugin.numParams(); i++)
        file.params.push_back(plugin.getParameter(i));
    return true;
}

bool checkPresetValues(PluginHost& plugin, bool bank, presetvalues::Repair repair, int& repaired, std::string& error) {
    repaired = 0;
    const int current = plugin.currentProgram();
    const int first = bank ? 0 : current, last = bank ? plugin.numPrograms() - 1 : current;
    bool ok = true;
    for (int p = first; p <= last && ok; p++) {
        if (bank)
            plugin.setProgram(p);
        for (int i = 0; i < plugin.numParams(); i++) {
            const float v = plugin.getParameter(i);
            const std::string fault = presetvalues::valueFault(v);
            if (fault.empty())
                continue;
            if (repair == presetvalues::Repair::clamp && std::isfinite(v)) {
                plugin.setParameter(i, v < 0.0f ? 0.0f : 1.0f);
                repaired++;
                continue;
            }
            const std::string program = bank ? "program " + std::to_string(p) : std::string("the program");
            ok = fail(error, program + ": \"" + printableText(plugin.parameterName(i)) + "\" is " + fault);
            break;
        }
    }
    if (bank)
        plugin.setProgram(current);
    return ok;
}
