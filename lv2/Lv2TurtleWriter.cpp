// Build-time generator of the bundle's description: writes manifest.ttl and
// corvex.ttl from the parameter table (names, defaults, which ones are
// switches; the port symbols are made from the names) and from the amp
// engine's identity strings, so the ports a host sees can never differ from
// the parameters.
// Usage: corvex-lv2-ttl OUTPUT_DIR
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "CorvexVersion.h"
#include "lv2/Lv2Ids.h"
#include "lv2/Lv2TurtleText.h"
#include "model/AmpEngine.h"

using namespace corvex_lv2;

namespace {

using corvex::AmpEngine;
using corvex::ParameterRole;

const char kPrefixes[] =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix rdf:  <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix ui:   <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";

std::string manifest() {
    std::string t = kPrefixes;
    t += "<" + std::string(kPluginUri) + ">\n    a lv2:Plugin ;\n    lv2:binary <" + kDspBinary +
         "> ;\n    rdfs:seeAlso <corvex.ttl> .\n\n";
    t += "<" + std::string(kUiUri) + ">\n    a ui:X11UI ;\n    ui:binary <" + kUiBinary +
         "> ;\n    rdfs:seeAlso <corvex.ttl> .\n";
    return t;
}

std::string description() {
    const char* effectName = AmpEngine::effectName();
    const char* vendor = AmpEngine::vendorName();

    std::string t = kPrefixes;
    t += "<" + std::string(kPluginUri) + ">\n";
    t += "    a lv2:Plugin, lv2:SimulatorPlugin, doap:Project ;\n";
    t += "    doap:name " + turtleString(effectName) + " ;\n";
    t += "    doap:license <" + std::string(kPluginUri) + "#license> ;\n";
    t += "    doap:maintainer [ foaf:name " + turtleString(vendor) + " ] ;\n";
    // The product's version (an even minor version marks a release to LV2 hosts).
    t += "    lv2:minorVersion " + std::to_string(CORVEX_VERSION_MINOR) + " ;\n    lv2:microVersion " +
         std::to_string(CORVEX_VERSION_PATCH) + " ;\n";
    t += "    lv2:optionalFeature lv2:hardRTCapable, urid:map ;\n";
    t += "    lv2:extensionData state:interface ;\n";
    t += "    ui:ui <" + std::string(kUiUri) + "> ;\n";
    t += "    lv2:port ";
    // A generic host draws the on/off switches as toggles and the channel
    // switch as a choice of two; the rest are knobs.
    for (int i = 0; i < AmpEngine::kParameterCount; ++i) {
        const corvex::ParameterInfo& facts = *AmpEngine::info(i);
        const char* name = facts.name;
        t += "[\n        a lv2:InputPort, lv2:ControlPort ;\n";
        t += "        lv2:index " + std::to_string(i) + " ;\n";
        t += "        lv2:symbol \"" + portSymbol(name) + "\" ;\n";
        t += "        lv2:name " + turtleString(name) + " ;\n";
        t += "        lv2:default " + turtleNumber(facts.defaultValue) + " ;\n";
        t += "        lv2:minimum 0.0 ;\n        lv2:maximum 1.0 ;\n";
        if (facts.role == ParameterRole::onOffSwitch) {
            t += "        lv2:portProperty lv2:toggled ;\n";
        } else if (facts.role == ParameterRole::channelSwitch) {
            t += "        lv2:portProperty lv2:integer, lv2:enumeration ;\n";
            t += "        lv2:scalePoint [ rdfs:label \"Channel 1\" ; rdf:value 0.0 ] ,\n";
            t += "            [ rdfs:label \"Channel 2\" ; rdf:value 1.0 ] ;\n";
        }
        t += "    ] , ";
    }
    const char* audio[4][3] = {{"InputPort", "in_l", "In L"},
                               {"InputPort", "in_r", "In R"},
                               {"OutputPort", "out_l", "Out L"},
                               {"OutputPort", "out_r", "Out R"}};
    for (int a = 0; a < 4; ++a) {
        t += "[\n        a lv2:" + std::string(audio[a][0]) + ", lv2:AudioPort ;\n";
        t += "        lv2:index " + std::to_string(kAudioIn0 + a) + " ;\n";
        t += "        lv2:symbol \"" + std::string(audio[a][1]) + "\" ;\n";
        t += "        lv2:name \"" + std::string(audio[a][2]) + "\" ;\n";
        t += "    ] , ";
    }
    // What the amp is using: the UI's view of the two-channel memory.
    for (int i = 0; i < AmpEngine::kParameterCount; ++i) {
        const char* name = AmpEngine::info(i)->name;
        t += "[\n        a lv2:OutputPort, lv2:ControlPort ;\n";
        t += "        lv2:index " + std::to_string(static_cast<int>(kFirstActual) + i) + " ;\n";
        t += "        lv2:symbol \"" + portSymbol(name) + "_actual\" ;\n";
        t += "        lv2:name " + turtleString((std::string(name) + " (actual)").c_str()) + " ;\n";
        t += "        lv2:minimum 0.0 ;\n        lv2:maximum 1.0 ;\n";
        t += "        lv2:portProperty pprops:notOnGUI ;\n";
        t += i + 1 < AmpEngine::kParameterCount ? "    ] , " : "    ] .\n\n";
    }
    t += "<" + std::string(kUiUri) + ">\n    a ui:X11UI ;\n";
    t += "    lv2:requiredFeature ui:parent ;\n";
    t += "    lv2:optionalFeature ui:resize, ui:touch, ui:noUserResize, ui:idleInterface, opts:options, urid:map ;\n";
    t += "    opts:supportedOption ui:scaleFactor ;\n";
    t += "    lv2:extensionData ui:idleInterface, opts:interface .\n";
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    static_assert(AmpEngine::kParameterCount == static_cast<int>(kNumControls), "one control port per parameter");
    const std::string dir = argv[1];
    if (!writeTextFile(dir + "/manifest.ttl", manifest()) || !writeTextFile(dir + "/corvex.ttl", description())) {
        std::fprintf(stderr, "corvex-lv2-ttl: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
