// Build-time generator of the bundle's factory presets: one LV2 preset per
// program of the factory bank (resources/presets/Corvex-factory.fxb), so that
// every LV2 host lists them in its preset menu. A preset holds
//   - the plug-in's state: the factory bank with that program current, in the
//     amp engine's own state layout (the one the plug-in saves and restores),
//     so the amp gets both channels' knobs of the program exactly as a loaded
//     .fxp gives them;
//   - the control ports' values the program shows, so that a host's generic
//     controls show the program too.
// Writes presets.ttl into the bundle and declares the presets at the end of
// its manifest.ttl (written before by corvex-lv2-ttl); running it again
// replaces its own part of the manifest.
// Usage: corvex-lv2-presets FACTORY_BANK.fxb BUNDLE_DIR
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "host/PresetFile.h"
#include "lv2/Lv2Ids.h"
#include "lv2/Lv2TurtleText.h"
#include "model/AmpEngine.h"
#include "model/ParameterTable.h"

using namespace corvex_lv2;

namespace {

const char kManifestMark[] = "# Factory presets (corvex-lv2-presets)";

// The plug-in's unique id as the factory bank carries it ('CRVX').
constexpr int32_t kUniqueId = ('C' << 24) | ('R' << 16) | ('V' << 8) | 'X';

std::string base64(const unsigned char* data, std::size_t size) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < size; i += 3) {
        const uint32_t a = data[i];
        const uint32_t b = i + 1 < size ? data[i + 1] : 0;
        const uint32_t c = i + 2 < size ? data[i + 2] : 0;
        const uint32_t triple = (a << 16) | (b << 8) | c;
        out += digits[(triple >> 18) & 63];
        out += digits[(triple >> 12) & 63];
        out += i + 1 < size ? digits[(triple >> 6) & 63] : '=';
        out += i + 2 < size ? digits[triple & 63] : '=';
    }
    return out;
}

// "Crunch Rhythm" -> "crunch-rhythm": the last part of a preset's URI.
std::string slug(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        else if (!out.empty() && out.back() != '-')
            out += '-';
    }
    while (!out.empty() && out.back() == '-')
        out.pop_back();
    return out;
}

struct Preset {
    std::string uri;
    std::string name;
    float values[corvex::kNumParameters];
    std::vector<unsigned char> state;
};

bool readText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return true;
}

// Makes the presets from the factory bank through a fresh amp engine, as a
// host loading the bank would: the bank's chunk in, then each program
// selected and the engine's state saved.
bool makePresets(const presetfile::PresetFile& bank, std::vector<Preset>& presets, std::string& error) {
    if (bank.kind != presetfile::Kind::bankChunk || bank.chunk.size() != kBankChunkSize) {
        error = "the factory bank is not a 2080-byte bank chunk";
        return false;
    }
    if (bank.fxID != kUniqueId) {
        error = "the factory bank is for another plug-in";
        return false;
    }
    corvex::AmpEngine* engine = new (std::nothrow) corvex::AmpEngine;
    if (!engine) {
        error = "the amp engine could not be made";
        return false;
    }
    bool ok = engine->loadChunk(bank.chunk.data(), bank.chunk.size(), false);
    if (!ok)
        error = "the amp engine refused the factory bank";
    for (int p = 0; ok && p < corvex::AmpEngine::kProgramCount; ++p) {
        engine->selectProgram(p);
        Preset preset;
        char name[64] = {};
        engine->programName(p, name, sizeof name);
        preset.name = name;
        preset.uri = std::string(kPluginUri) + "/presets/" + slug(name);
        for (int i = 0; i < corvex::kNumParameters; ++i)
            preset.values[i] = engine->value(i);
        preset.state.assign(corvex::AmpEngine::kStateSize, 0);
        const std::size_t size = engine->saveState(preset.state.data(), preset.state.size());
        if (size == 0 || preset.name.empty()) {
            error = "the amp engine gave no state for program " + std::to_string(p);
            ok = false;
            break;
        }
        preset.state.resize(size);
        for (const Preset& other : presets)
            if (other.uri == preset.uri) {
                error = "two programs make the same preset URI: " + preset.uri;
                ok = false;
            }
        presets.push_back(preset);
    }
    delete engine;
    return ok;
}

std::string presetsTurtle(const std::vector<Preset>& presets) {
    std::string t =
        "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
        "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
        "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
        "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
        "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
        "@prefix rdf:  <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
        "@prefix xsd:  <http://www.w3.org/2001/XMLSchema#> .\n\n";
    // The state's one property, described so that validators know it.
    t += "<" + std::string(kStateBankKey) + ">\n    a rdf:Property ;\n";
    t += "    rdfs:label \"programs\" ;\n";
    t += "    rdfs:comment \"The ten programs with both channels' knobs, and which one is current.\" .\n\n";
    for (const Preset& preset : presets) {
        t += "<" + preset.uri + ">\n    a pset:Preset ;\n";
        t += "    lv2:appliesTo <" + std::string(kPluginUri) + "> ;\n";
        t += "    rdfs:label " + turtleString(preset.name) + " ;\n";
        t += "    lv2:port ";
        for (int i = 0; i < corvex::kNumParameters; ++i) {
            t += "[\n        lv2:symbol \"" + portSymbol(corvex::kParameterTable[i].name) + "\" ;\n";
            t += "        pset:value " + turtleNumber(preset.values[i]) + "\n    ]";
            t += i + 1 < corvex::kNumParameters ? " , " : " ;\n";
        }
        t += "    state:state [\n        <" + std::string(kStateBankKey) + "> \"" +
             base64(preset.state.data(), preset.state.size()) + "\"^^xsd:base64Binary\n    ] .\n\n";
    }
    return t;
}

std::string manifestPart(const std::vector<Preset>& presets) {
    std::string t = std::string(kManifestMark) + "\n";
    t += "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n\n";
    for (const Preset& preset : presets) {
        t += "<" + preset.uri + ">\n    a pset:Preset ;\n";
        t += "    lv2:appliesTo <" + std::string(kPluginUri) + "> ;\n";
        t += "    rdfs:label " + turtleString(preset.name) + " ;\n";
        t += "    rdfs:seeAlso <presets.ttl> .\n\n";
    }
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FACTORY_BANK.fxb BUNDLE_DIR\n", argv[0]);
        return 2;
    }
    presetfile::PresetFile bank;
    std::string error;
    std::vector<Preset> presets;
    if (!presetfile::readFile(argv[1], bank, error) || !makePresets(bank, presets, error)) {
        std::fprintf(stderr, "corvex-lv2-presets: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    const std::string dir = argv[2];
    std::string manifest;
    if (!readText(dir + "/manifest.ttl", manifest)) {
        std::fprintf(stderr, "corvex-lv2-presets: no %s/manifest.ttl to add the presets to\n", dir.c_str());
        return 1;
    }
    const std::size_t mark = manifest.find(kManifestMark);
    if (mark != std::string::npos)
        manifest.erase(mark);
    if (!manifest.empty() && manifest.back() != '\n')
        manifest += '\n';
    manifest += "\n" + manifestPart(presets);
    if (!writeTextFile(dir + "/presets.ttl", presetsTurtle(presets)) || !writeTextFile(dir + "/manifest.ttl", manifest)) {
        std::fprintf(stderr, "corvex-lv2-presets: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
