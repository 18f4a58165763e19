// Writes what the Linux plug-in answers and renders for the fixed checks of
// PluginHarness.h, as the reference the Windows builds are compared with.
//
// Usage: corvex-make-reference PLUGIN.so OUT.f32
#include <cstdio>
#include <string>

#include "PluginHarness.h"

using namespace corvex::harness;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PLUGIN.so OUT.f32\n", argv[0]);
        return 2;
    }
    PluginLibrary library;
    std::string error;
    Reference reference;
    if (!library.load(argv[1], error) || !makeReference(library.vstPluginMain(), reference, error) ||
        !writeReference(argv[2], reference, error)) {
        std::fprintf(stderr, "corvex-make-reference: %s\n", error.c_str());
        return 1;
    }
    std::vector<std::string> problems;
    checkRenderSane(reference.audio, problems);
    for (const std::string& p : problems)
        std::fprintf(stderr, "corvex-make-reference: warning: %s\n", p.c_str());
    std::printf("wrote %s: %d modes of %d frames, bank of %zu bytes\n", argv[2], kRenderModeCount, kRenderFrames,
                reference.bank.size());
    return 0;
}
