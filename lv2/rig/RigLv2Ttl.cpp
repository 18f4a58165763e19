// Build-time generator of the rig bundle's description: manifest.ttl,
// corvex-rig.ttl (ports from the rig's parameters, the impulse parameter)
// and presets.ttl (the factory bank's ten programs, read from a fresh
// engine). Usage: corvex-rig-lv2-ttl OUTPUT_DIR
#include <cctype>
#include <cstdio>
#include <string>

#include "lv2/Lv2TurtleText.h"
#include "lv2/rig/RigLv2Ids.h"
#include "rig/RigEngine.h"

using namespace corvex_rig_lv2;
using namespace corvex_lv2;
using corvex::RigEngine;

namespace {

const char kPrefixes[] =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix patch: <http://lv2plug.in/ns/ext/patch#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf:  <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix ui:   <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix work: <http://lv2plug.in/ns/ext/worker#> .\n\n";

std::string presetUri(int p) {
    return std::string(kPluginUri) + "#preset" + std::to_string(p + 1);
}

std::string manifest(RigEngine& rig) {
    std::string t = kPrefixes;
    t += "<" + std::string(kPluginUri) + ">\n    a lv2:Plugin ;\n    lv2:binary <" + kDspBinary +
         "> ;\n    rdfs:seeAlso <corvex-rig.ttl> .\n";
    t += "\n<" + std::string(kUiUri) + ">\n    a ui:X11UI ;\n    ui:binary <" + kUiBinary +
         "> ;\n    rdfs:seeAlso <corvex-rig.ttl> .\n";
    for (int p = 0; p < RigEngine::kProgramCount; ++p)
        t += "\n<" + presetUri(p) + ">\n    a pset:Preset ;\n    lv2:appliesTo <" + kPluginUri +
             "> ;\n    rdfs:seeAlso <presets.ttl> .\n";
    (void)rig;
    return t;
}

std::string controlPort(uint32_t index, const char* symbol, const char* name, bool output) {
    std::string t = "[\n        a lv2:" + std::string(output ? "OutputPort" : "InputPort") + ", lv2:ControlPort ;\n";
    t += "        lv2:index " + std::to_string(index) + " ;\n";
    t += "        lv2:symbol \"" + std::string(symbol) + "\" ;\n";
    t += "        lv2:name " + turtleString(name) + " ;\n";
    return t;
}

std::string description() {
    std::string t = kPrefixes;
    const std::string impulse = "<" + std::string(kImpulseUri) + ">";
    t += impulse + "\n    a lv2:Parameter ;\n    rdfs:label \"Cabinet Impulse\" ;\n    rdfs:range atom:Path .\n\n";
    t += "<" + std::string(kPluginUri) + ">\n";
    t += "    a lv2:Plugin, lv2:SimulatorPlugin, doap:Project ;\n";
    t += "    doap:name " + turtleString(RigEngine::effectName()) + " ;\n";
    t += "    doap:license <" + std::string(kPluginUri) + "#license> ;\n";
    t += "    doap:maintainer [ foaf:name " + turtleString(RigEngine::vendorName()) + " ] ;\n";
    t += "    lv2:minorVersion 0 ;\n    lv2:microVersion 0 ;\n";
    t += "    lv2:requiredFeature urid:map ;\n";
    t += "    lv2:optionalFeature lv2:hardRTCapable, work:schedule, state:mapPath ;\n";
    t += "    lv2:extensionData state:interface, work:interface ;\n";
    t += "    patch:writable " + impulse + " ;\n";
    t += "    ui:ui <" + std::string(kUiUri) + "> ;\n";
    t += "    lv2:port ";
    for (int i = 0; i < RigEngine::kParameterCount; ++i) {
        const char* name = RigEngine::parameterName(i);
        t += controlPort((uint32_t)i, portSymbol(name).c_str(), name, false);
        t += "        lv2:default " + turtleNumber(RigEngine::defaultValue(i)) + " ;\n";
        t += "        lv2:minimum 0.0 ;\n        lv2:maximum 1.0 ;\n";
        const int steps = RigEngine::stepCount(i);
        if (steps == 1 && i != corvex::kChannel) {
            t += "        lv2:portProperty lv2:toggled ;\n";
        } else if (steps > 0) {
            t += "        lv2:portProperty lv2:enumeration ;\n        lv2:scalePoint ";
            for (int k = 0; k <= steps; ++k) {
                char label[64];
                RigEngine::displayText(i, (float)k / (float)steps, label, sizeof label);
                if (i == corvex::kChannel)
                    std::snprintf(label, sizeof label, "Channel %d", k + 1);
                t += "[ rdfs:label " + turtleString(label) + " ; rdf:value " + turtleNumber((double)k / steps) + " ]";
                t += k < steps ? " ,\n            " : " ;\n";
            }
        }
        t += "    ] , ";
    }
    const char* audio[4][3] = {{"InputPort", "in_l", "In L"},
                               {"InputPort", "in_r", "In R"},
                               {"OutputPort", "out_l", "Out L"},
                               {"OutputPort", "out_r", "Out R"}};
    for (int a = 0; a < 4; ++a) {
        t += "[\n        a lv2:" + std::string(audio[a][0]) + ", lv2:AudioPort ;\n";
        t += "        lv2:index " + std::to_string(kAudioIn0 + (uint32_t)a) + " ;\n";
        t += "        lv2:symbol \"" + std::string(audio[a][1]) + "\" ;\n";
        t += "        lv2:name \"" + std::string(audio[a][2]) + "\" ;\n";
        t += "    ] , ";
    }
    t += "[\n        a lv2:InputPort, atom:AtomPort ;\n        atom:bufferType atom:Sequence ;\n";
    t += "        atom:supports patch:Message ;\n        lv2:designation lv2:control ;\n";
    t += "        lv2:index " + std::to_string(kControlIn) + " ;\n";
    t += "        lv2:symbol \"control\" ;\n        lv2:name \"Control\" ;\n    ] , ";
    t += "[\n        a lv2:OutputPort, atom:AtomPort ;\n        atom:bufferType atom:Sequence ;\n";
    t += "        atom:supports patch:Message ;\n        lv2:designation lv2:control ;\n";
    t += "        lv2:index " + std::to_string(kNotifyOut) + " ;\n";
    t += "        lv2:symbol \"notify\" ;\n        lv2:name \"Notify\" ;\n    ] , ";
    t += controlPort(kLatencyOut, "latency", "Latency", true);
    t += "        lv2:designation lv2:latency ;\n        lv2:portProperty lv2:reportsLatency, "
         "lv2:integer ;\n        lv2:minimum 0 ;\n        lv2:maximum 8192 ;\n    ] , ";
    t += controlPort(kInputPeak, "input_peak", "Input Peak", true);
    t += "        lv2:minimum 0.0 ;\n        lv2:maximum 2.0 ;\n    ] , ";
    t += controlPort(kOutputPeak, "output_peak", "Output Peak", true);
    t += "        lv2:minimum 0.0 ;\n        lv2:maximum 2.0 ;\n    ] , ";
    t += controlPort(kGateClosed, "gate_closed", "Gate Closed", true);
    t += "        lv2:minimum 0.0 ;\n        lv2:maximum 1.0 ;\n        lv2:portProperty lv2:toggled ;\n    ] .\n\n";
    // The panel: the head's panel with the rig strip, told of the meters,
    // the gate and the impulse's path.
    t += "<" + std::string(kUiUri) + ">\n    a ui:X11UI ;\n";
    t += "    lv2:requiredFeature ui:parent, urid:map ;\n";
    t += "    lv2:optionalFeature ui:resize, ui:touch, ui:noUserResize, ui:idleInterface ;\n";
    t += "    lv2:extensionData ui:idleInterface ;\n";
    t += "    ui:portNotification [ ui:plugin <" + std::string(kPluginUri) +
         "> ; lv2:symbol \"notify\" ; ui:notifyType atom:Blank ] .\n";
    return t;
}

std::string presets() {
    std::string t = kPrefixes;
    for (int p = 0; p < RigEngine::kProgramCount; ++p) {
        RigEngine rig;
        rig.postProgram(p);
        rig.flush();
        char name[32] = {};
        rig.programName(p, name, sizeof name);
        t += "<" + presetUri(p) + ">\n    a pset:Preset ;\n    lv2:appliesTo <" + std::string(kPluginUri) + "> ;\n";
        t += "    rdfs:label " + turtleString(name) + " ;\n    lv2:port ";
        for (int i = 0; i < RigEngine::kParameterCount; ++i) {
            t += "[\n        lv2:symbol \"" + portSymbol(RigEngine::parameterName(i)) + "\" ;\n";
            t += "        pset:value " + turtleNumber(rig.value(i)) + "\n    ]";
            t += i + 1 < RigEngine::kParameterCount ? " , " : " .\n\n";
        }
    }
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    static_assert(RigEngine::kParameterCount == (int)kNumControls, "one control port per parameter");
    RigEngine rig;
    const std::string dir = argv[1];
    if (!writeTextFile(dir + "/manifest.ttl", manifest(rig)) || !writeTextFile(dir + "/corvex-rig.ttl", description()) ||
        !writeTextFile(dir + "/presets.ttl", presets())) {
        std::fprintf(stderr, "corvex-rig-lv2-ttl: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
