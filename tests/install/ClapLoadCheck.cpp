// clap-load-check PATH: loads a CLAP plug-in through our own test host as a
// CLAP host does (clap_entry, the factory, one plug-in created, activated
// and fed one block of a tone) and prints its id and version. Used on an
// installed plug-in, for instance the one the Windows installer put into
// Common Files\CLAP. Exit status 0 when it loaded and processed sound.
#include <cmath>
#include <cstdio>
#include <vector>

#include "ClapTestHost.h"

using clapcheck::ClapTestHost;
using clapcheck::InputEvents;
using clapcheck::OutputEvents;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: clap-load-check PATH\n");
        return 2;
    }
    ClapTestHost host(argv[1]);
    if (!host.entry() || !host.factory()) {
        std::fprintf(stderr, "clap-load-check: %s: %s\n", argv[1], host.error().c_str());
        return 1;
    }
    const clap_plugin* plugin = host.create();
    if (!plugin) {
        std::fprintf(stderr, "clap-load-check: %s: %s\n", argv[1], host.error().c_str());
        return 1;
    }
    constexpr uint32_t frames = 512;
    if (!host.activate(48000.0, frames)) {
        std::fprintf(stderr, "clap-load-check: %s: activate failed\n", argv[1]);
        return 1;
    }
    std::vector<float> inL(frames), inR(frames), outL(frames), outR(frames);
    for (uint32_t i = 0; i < frames; ++i)
        inL[i] = inR[i] = 0.5f * static_cast<float>(std::sin(2.0 * 3.14159265358979 * 110.0 * i / 48000.0));
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {outL.data(), outR.data()};
    InputEvents none;
    OutputEvents sent;
    host.process(in, out, frames, none, sent);
    double energy = 0.0;
    bool finite = true;
    for (uint32_t i = 0; i < frames; ++i) {
        finite = finite && std::isfinite(outL[i]) && std::isfinite(outR[i]);
        energy += static_cast<double>(outL[i]) * outL[i] + static_cast<double>(outR[i]) * outR[i];
    }
    host.deactivate();
    if (!finite || energy <= 0.0) {
        std::fprintf(stderr, "clap-load-check: %s: the output is %s\n", argv[1], finite ? "silent" : "not finite");
        return 1;
    }
    std::printf("loaded %s: %s %s by %s, one block processed\n", argv[1], plugin->desc->id, plugin->desc->version,
                plugin->desc->vendor);
    return 0;
}
