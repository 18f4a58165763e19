// VST 2 preset files (.fxp programs and .fxb banks): reading and writing the
// byte layout only. Nothing here knows a plug-in; the host decides what to do
// with a parsed file (see PluginPresets.h).
//
// Every file starts with a 'CcnK' header; all integer and float fields are
// big-endian, chunk bytes are opaque and copied as they are.
//
//   program file                       bank file
//   0   'CcnK'                         0   'CcnK'
//   4   byteSize (file size - 8)       4   byteSize (file size - 8)
//   8   'FxCk' or 'FPCh'               8   'FxBk' or 'FBCh'
//   12  format version (1)             12  format version (1 or 2)
//   16  fxID (plug-in unique id)       16  fxID
//   20  fxVersion (plug-in version)    20  fxVersion
//   24  numParams                      24  numPrograms
//   28  program name, 28 bytes         28  version 2: current program, then
//   56  'FxCk': numParams floats           124 reserved bytes (128 in all)
//       'FPCh': chunk size, chunk      156 'FxBk': numPrograms 'FxCk' programs
//                                          'FBCh': chunk size, chunk
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace presetfile {

enum class Kind {
    programParams,  // 'FxCk': a program as a list of parameter values
    programChunk,   // 'FPCh': a program as the plug-in's opaque chunk
    bankParams,     // 'FxBk': a bank of 'FxCk' programs
    bankChunk,      // 'FBCh': a bank as the plug-in's opaque chunk
};

constexpr size_t programNameSize = 28;        // bytes of the name field
constexpr size_t programHeaderSize = 56;      // up to and including the name
constexpr size_t bankHeaderSize = 156;        // up to and including the reserved area
constexpr int32_t maxCount = 1 << 20;         // sanity limit for parameter and program counts
constexpr uint32_t maxFileSize = 256u << 20;  // files above 256 MB are refused

// One program of a parameter-list file or bank.
struct Program {
    std::string name;
    std::vector<float> params;
};

// The decoded content of one preset file.
struct PresetFile {
    Kind kind = Kind::programChunk;
    int32_t formatVersion = 1;      // 1 for programs; banks written here use 2
    int32_t fxID = 0;               // the plug-in's unique id
    int32_t fxVersion = 0;          // the plug-in's version
    int32_t numParams = 0;          // program files: the plug-in's parameter count
    int32_t numPrograms = 0;        // bank files: the number of programs
    int32_t currentProgram = -1;    // bank files of version 2; -1 when not stored
    std::string programName;        // program files (at most 27 characters are written)
    std::vector<uint8_t> chunk;     // chunk variants
    std::vector<float> params;      // 'FxCk': numParams values
    std::vector<Program> programs;  // 'FxBk': one entry per program

    bool isBank() const { return kind == Kind::bankParams || kind == Kind::bankChunk; }
    bool isChunk() const { return kind == Kind::programChunk || kind == Kind::bankChunk; }
};

// How many programs a file holds: a parameter-list bank its programs, a
// chunk bank the count its header announces, a program file one.
int32_t programCount(const PresetFile& file);

// Four-character code as text, printable characters only ("CRVX", "0x00000001").
std::string fourCCText(int32_t code);

// Decodes a whole file image. Refuses (false, with a one-line reason in
// `error`) anything that is not exactly one well-formed preset: wrong magic,
// truncated data, size fields that disagree with the data, trailing bytes.
bool parse(const uint8_t* data, size_t size, PresetFile& out, std::string& error);

// Encodes a file image. Size fields are computed from the content; the
// program count of an 'FxBk' bank is programs.size(), of an 'FBCh' bank
// numPrograms; a parameter list's count is params.size(). Names are cut to
// 27 bytes.
std::vector<uint8_t> serialize(const PresetFile& file);

// Reads and parses a file from disk; errors name the file's problem, not the path.
bool readFile(const std::string& path, PresetFile& out, std::string& error);

}  // namespace presetfile
