// Preset files from anywhere (banks and programs are traded on the
// internet): arbitrary bytes go through the render host's .fxp/.fxb reader,
// the value check both hosts apply before loading, and the listing's escape
// of names.
//
// What must hold: the reader never reads outside the bytes it is given; a
// file it accepts is written back at the same size, and reading that back
// gives the same content (names cut to what the name field holds), whose
// writing is then byte for byte the same; the value check either refuses or
// passes, and a mended file passes it unmended; an escaped name holds no
// control character.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/PresetFile.h"
#include "host/PresetValues.h"
#include "host/PrintableText.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

std::string nameAsWritten(const std::string& name) {
    return name.substr(0, presetfile::programNameSize - 1);
}

void checkPrintable(const std::string& name) {
    const std::string shown = printableText(name);
    for (unsigned char c : shown)
        check(c >= 0x20 && c != 0x7F, "an escaped name holds a control character");
}

std::string parameterName(int index) {
    // Names with control characters too, as a hostile plug-in could give.
    return index % 3 == 0 ? std::string() : "P\n" + std::to_string(index);
}

void checkValues(const presetfile::PresetFile& file) {
    using presetvalues::Repair;
    presetfile::PresetFile plain = file;
    int repaired = 0;
    std::string error;
    const bool passed = presetvalues::checkFileValues(plain, parameterName, Repair::none, repaired, error);
    check(repaired == 0, "a check without repair mended something");
    check(passed || !error.empty(), "a refusal without a reason");
    for (unsigned char c : error)
        check(c != '\n' && c != 0x1B, "a refusal holds a raw control character");
    presetfile::PresetFile mended = file;
    if (presetvalues::checkFileValues(mended, parameterName, Repair::clamp, repaired, error)) {
        check(!passed || repaired == 0, "a file that passed was mended");
        presetfile::PresetFile again = mended;
        int second = 0;
        check(presetvalues::checkFileValues(again, parameterName, Repair::none, second, error),
              "a mended file does not pass the check");
    } else {
        check(!passed, "a file that passed was refused with repair allowed");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader's own copy, so that a read past the end is caught exactly.
    std::vector<uint8_t> bytes(data, data + size);
    presetfile::PresetFile file;
    std::string error;
    if (!presetfile::parse(bytes.empty() ? nullptr : bytes.data(), bytes.size(), file, error)) {
        check(!error.empty(), "a refused file without a reason");
        return 0;
    }
    checkPrintable(file.programName);
    for (const presetfile::Program& p : file.programs)
        checkPrintable(p.name);
    check(presetfile::programCount(file) >= 0, "a negative program count");

    const std::vector<uint8_t> written = presetfile::serialize(file);
    check(written.size() == size, "an accepted file is written at another size");
    presetfile::PresetFile back;
    check(presetfile::parse(written.data(), written.size(), back, error), "a written file is refused");
    check(back.kind == file.kind && back.fxID == file.fxID && back.fxVersion == file.fxVersion,
          "the header changed on the way back");
    check(back.chunk == file.chunk, "the chunk changed on the way back");
    check(sameBits(back.params, file.params), "a program's values changed on the way back");
    check(back.programs.size() == file.programs.size(), "the bank's program count changed on the way back");
    for (size_t i = 0; i < file.programs.size(); i++) {
        check(sameBits(back.programs[i].params, file.programs[i].params), "a bank's values changed on the way back");
        check(back.programs[i].name == nameAsWritten(file.programs[i].name), "a bank's name changed on the way back");
    }
    if (!file.isBank())
        check(back.programName == nameAsWritten(file.programName), "the program's name changed on the way back");
    if (file.kind == presetfile::Kind::bankChunk)
        check(back.numPrograms == file.numPrograms, "the chunk bank's program count changed on the way back");
    if (file.isBank() && file.currentProgram >= 0)
        check(back.currentProgram == file.currentProgram, "the current program changed on the way back");
    check(presetfile::serialize(back) == written, "writing what was read back gives other bytes");

    checkValues(file);
    return 0;
}
