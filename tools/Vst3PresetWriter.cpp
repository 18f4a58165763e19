// Build-time generator of the VST3 plug-in's factory presets: one
// "<Program name>.vstpreset" per program of the factory bank
// (resources/presets/Corvex-factory.fxb), for the preset folders VST3 hosts
// list in their preset menus. Each file holds
//   - a header: "VST3", the file layout's version (1), the amp's class id as
//     32 hex digits and where the chunk list starts (8 bytes);
//   - the component's state ('Comp'): the amp engine's state with that
//     program current, exactly what the plug-in's getState writes;
//   - the controller's state ('Cont'): empty, since the controller keeps
//     nothing beyond the component's state;
//   - the chunk list ('List'): the count, then each chunk's id, offset and
//     size.
// All numbers little-endian.
// Usage: corvex-vst3-presets FACTORY_BANK.fxb OUT_DIR
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "host/PresetFile.h"
#include "model/AmpEngine.h"

namespace {

// The plug-in's unique id as the factory bank carries it ('CRVX').
constexpr int32_t kUniqueId = ('C' << 24) | ('R' << 16) | ('V' << 8) | 'X';
// The amp's VST3 class id (vst3/Vst3Ids.h, moduleinfo.json).
const char kClassId[] = "1C63CDA6CC4946BC98BA574F3185125A";
constexpr std::size_t kBankChunkBytes = 2080;

void put32(std::vector<unsigned char>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void put64(std::vector<unsigned char>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void putId(std::vector<unsigned char>& out, const char* id) {
    out.insert(out.end(), id, id + 4);
}

std::vector<unsigned char> presetFile(const std::vector<unsigned char>& state) {
    std::vector<unsigned char> out;
    putId(out, "VST3");
    put32(out, 1);
    out.insert(out.end(), kClassId, kClassId + 32);
    const uint64_t compOffset = 48;
    const uint64_t listOffset = compOffset + state.size();
    put64(out, listOffset);
    out.insert(out.end(), state.begin(), state.end());
    putId(out, "List");
    put32(out, 2);
    putId(out, "Comp");
    put64(out, compOffset);
    put64(out, state.size());
    putId(out, "Cont");
    put64(out, listOffset);  // empty: starts where the list does
    put64(out, 0);
    return out;
}

// A program's name as a file name: characters no file system takes become
// '-', surrounding spaces and dots go.
std::string fileName(const std::string& name) {
    std::string out;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
            c == '>' || c == '|')
            out += '-';
        else
            out += c;
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    while (!out.empty() && (out.front() == ' ' || out.front() == '.'))
        out.erase(out.begin());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FACTORY_BANK.fxb OUT_DIR\n", argv[0]);
        return 2;
    }
    presetfile::PresetFile bank;
    std::string error;
    if (!presetfile::readFile(argv[1], bank, error)) {
        std::fprintf(stderr, "corvex-vst3-presets: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    if (bank.kind != presetfile::Kind::bankChunk || bank.chunk.size() != kBankChunkBytes || bank.fxID != kUniqueId) {
        std::fprintf(stderr, "corvex-vst3-presets: %s is not the amp's factory bank\n", argv[1]);
        return 1;
    }
    corvex::AmpEngine* engine = new (std::nothrow) corvex::AmpEngine;
    if (!engine || !engine->loadChunk(bank.chunk.data(), bank.chunk.size(), false)) {
        std::fprintf(stderr, "corvex-vst3-presets: the amp engine refused the factory bank\n");
        delete engine;
        return 1;
    }
    int status = 0;
    std::vector<std::string> written;
    for (int p = 0; status == 0 && p < corvex::AmpEngine::kProgramCount; ++p) {
        engine->selectProgram(p);
        char name[64] = {};
        engine->programName(p, name, sizeof name);
        std::vector<unsigned char> state(corvex::AmpEngine::kStateSize, 0);
        state.resize(engine->saveState(state.data(), state.size()));
        const std::string file = fileName(name);
        if (state.empty() || file.empty()) {
            std::fprintf(stderr, "corvex-vst3-presets: no state or name for program %d\n", p + 1);
            status = 1;
            break;
        }
        for (const std::string& other : written)
            if (other == file) {
                std::fprintf(stderr, "corvex-vst3-presets: two programs named \"%s\"\n", file.c_str());
                status = 1;
            }
        written.push_back(file);
        const std::string path = std::string(argv[2]) + "/" + file + ".vstpreset";
        const std::vector<unsigned char> bytes = presetFile(state);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (out.fail()) {
            std::fprintf(stderr, "corvex-vst3-presets: cannot write %s\n", path.c_str());
            status = 1;
        }
    }
    delete engine;
    return status;
}
