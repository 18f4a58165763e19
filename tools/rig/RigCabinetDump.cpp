// Writes the rig's bundled cabinets as 32-bit integer WAVs (48 kHz, as
// designed) into a folder, for tools/rig/plot_cabinets.py to draw.
// Usage: corvex-rig-cabinets OUTPUT_DIR
#include <sndfile.h>

#include <cstdio>
#include <string>

#include "rig/BundledCabinets.h"
#include "rig/RigEngine.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    for (int m = 0; m < corvex::RigEngine::kBundledCabinets; ++m) {
        cabinet::ImpulseResponse ir;
        std::string error;
        if (!corvex::bundledCabinet(m, ir, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        const std::string path = std::string(argv[1]) + "/" + std::to_string(m) + " " + corvex::bundledCabinetName(m) + ".wav";
        SF_INFO info = {};
        info.samplerate = (int)ir.rate;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_32;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        if (!f) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        sf_writef_float(f, ir.channels[0].data(), ir.frames());
        sf_close(f);
        std::printf("%s (%ld frames)\n", path.c_str(), ir.frames());
    }
    return 0;
}
