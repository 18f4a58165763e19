#include "host/PresetFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "shell/vst2.h"

namespace presetfile {

namespace {

constexpr int32_t magicHeader = vstFourCC('C', 'c', 'n', 'K');
constexpr int32_t magicProgramParams = vstFourCC('F', 'x', 'C', 'k');
constexpr int32_t magicProgramChunk = vstFourCC('F', 'P', 'C', 'h');
constexpr int32_t magicBankParams = vstFourCC('F', 'x', 'B', 'k');
constexpr int32_t magicBankChunk = vstFourCC('F', 'B', 'C', 'h');

// Big-endian reader over a byte range that never reads past its end.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data(data), size(size) {}

    size_t remaining() const { return size - pos; }
    size_t position() const { return pos; }

    bool readInt(int32_t& value) {
        if (remaining() < 4)
            return false;
        const uint8_t* p = data + pos;
        value = (int32_t)(((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | (uint32_t)p[3]);
        pos += 4;
        return true;
    }

    bool readFloat(float& value) {
        int32_t bits;
        if (!readInt(bits))
            return false;
        std::memcpy(&value, &bits, 4);
        return true;
    }

    bool readBytes(size_t count, const uint8_t*& out) {
        if (remaining() < count)
            return false;
        out = data + pos;
        pos += count;
        return true;
    }

private:
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

class Writer {
public:
    void writeInt(int32_t value) {
        uint32_t v = (uint32_t)value;
        bytes.push_back((uint8_t)(v >> 24));
        bytes.push_back((uint8_t)(v >> 16));
        bytes.push_back((uint8_t)(v >> 8));
        bytes.push_back((uint8_t)v);
    }
    void writeFloat(float value) {
        int32_t bits;
        std::memcpy(&bits, &value, 4);
        writeInt(bits);
    }
    void writeBytes(const uint8_t* data, size_t count) { bytes.insert(bytes.end(), data, data + count); }
    void writeName(const std::string& name) {
        uint8_t field[programNameSize] = {};
        std::memcpy(field, name.data(), std::min(name.size(), programNameSize - 1));
        writeBytes(field, programNameSize);
    }
    // Fills in the byteSize field of the header that starts at `headerStart`.
    void patchByteSize(size_t headerStart) {
        uint32_t v = (uint32_t)(bytes.size() - headerStart - 8);
        uint8_t* p = bytes.data() + headerStart + 4;
        p[0] = (uint8_t)(v >> 24);
        p[1] = (uint8_t)(v >> 16);
        p[2] = (uint8_t)(v >> 8);
        p[3] = (uint8_t)v;
    }

    std::vector<uint8_t> bytes;
};

std::string nameFromField(const uint8_t* field) {
    size_t n = 0;
    while (n < programNameSize && field[n] != 0)
        n++;
    return std::string((const char*)field, n);
}

bool fail(std::string& error, const std::string& text) {
    error = text;
    return false;
}

std::string sizeText(size_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

// The 'CcnK' header: magic and a byteSize that must cover exactly the rest of
// the range. Leaves the reader after the byteSize field.
bool readHeader(Reader& r, size_t rangeSize, const char* what, std::string& error) {
    int32_t magic = 0, byteSize = 0;
    if (!r.readInt(magic) || magic != magicHeader) {
        if (rangeSize < 4)
            return fail(error, std::string("truncated ") + what + " (" + sizeText(rangeSize) + ")");
        return fail(error, std::string("not a VST preset ") + what + " (no 'CcnK' header)");
    }
    if (!r.readInt(byteSize))
        return fail(error, std::string("truncated ") + what + " header");
    if (byteSize < 0 || (size_t)byteSize > rangeSize - 8) {
        return fail(error, std::string("truncated ") + what + ": its header announces " + sizeText((uint32_t)byteSize) +
                               " but only " + sizeText(rangeSize - 8) + " follow");
    }
    if ((size_t)byteSize != rangeSize - 8) {
        return fail(error, std::string("wrong size of ") + what + ": its header announces " +
                               sizeText((size_t)byteSize) + " but " + sizeText(rangeSize - 8) + " follow");
    }
    return true;
}

bool readChunk(Reader& r, PresetFile& out, std::string& error) {
    int32_t chunkSize = 0;
    if (!r.readInt(chunkSize))
        return fail(error, "truncated file: the chunk size is missing");
    if (chunkSize < 0)
        return fail(error, "negative chunk size " + std::to_string(chunkSize));
    if ((size_t)chunkSize != r.remaining()) {
        if ((size_t)chunkSize > r.remaining()) {
            return fail(error, "truncated file: the chunk should have " + sizeText((size_t)chunkSize) + " but only " +
                                   sizeText(r.remaining()) + " are left");
        }
        return fail(error, sizeText(r.remaining() - (size_t)chunkSize) + " of unexpected data after the chunk");
    }
    const uint8_t* bytes = nullptr;
    r.readBytes((size_t)chunkSize, bytes);
    out.chunk.assign(bytes, bytes + chunkSize);
    return true;
}

// One program ('FxCk' or 'FPCh') occupying exactly [data, data + size).
bool parseProgram(const uint8_t* data, size_t size, PresetFile& out, std::string& error, bool insideBank) {
    Reader r(data, size);
    const char* what = insideBank ? "program in the bank" : "file";
    if (!readHeader(r, size, what, error))
        return false;
    int32_t fxMagic = 0, version = 0;
    if (!r.readInt(fxMagic) || !r.readInt(version) || !r.readInt(out.fxID) || !r.readInt(out.fxVersion) ||
        !r.readInt(out.numParams) || r.remaining() < programNameSize) {
        return fail(error, std::string("truncated ") + what + " header");
    }
    const uint8_t* name = nullptr;
    r.readBytes(programNameSize, name);
    out.programName = nameFromField(name);
    out.formatVersion = version;
    if (version < 1 || version > 2)
        return fail(error, "unsupported preset format version " + std::to_string(version));

    if (fxMagic == magicProgramParams) {
        out.kind = Kind::programParams;
        if (out.numParams < 0 || out.numParams > maxCount) {
            return fail(error, "implausible parameter count " + std::to_string(out.numParams));
        }
        size_t expected = (size_t)out.numParams * 4;
        if (r.remaining() != expected) {
            return fail(error, std::string(r.remaining() < expected ? "truncated " : "wrong size of ") + what + ": " +
                                   std::to_string(out.numParams) + " parameters need " + sizeText(expected) +
                                   ", found " + sizeText(r.remaining()));
        }
        out.params.resize((size_t)out.numParams);
        for (float& v : out.params)
            r.readFloat(v);
        return true;
    }
    if (insideBank)
        return fail(error, "a program in the bank is not a parameter list ('FxCk')");
    if (fxMagic == magicProgramChunk) {
        out.kind = Kind::programChunk;
        return readChunk(r, out, error);
    }
    return fail(error, "unknown preset type '" + fourCCText(fxMagic) + "'");
}

}  // namespace

int32_t programCount(const PresetFile& file) {
    switch (file.kind) {
        case Kind::bankParams:
            return (int32_t)file.programs.size();
        case Kind::bankChunk:
            return file.numPrograms;
        case Kind::programParams:
        case Kind::programChunk:
            break;
    }
    return 1;
}

std::string fourCCText(int32_t code) {
    char text[5];
    for (int i = 0; i < 4; i++) {
        char c = (char)(((uint32_t)code >> (24 - 8 * i)) & 0xFF);
        if (c < 32 || c > 126) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", (unsigned)code);
            return hex;
        }
        text[i] = c;
    }
    text[4] = 0;
    return text;
}

bool parse(const uint8_t* data, size_t size, PresetFile& out, std::string& error) {
    out = PresetFile();
    if (data == nullptr || size == 0)
        return fail(error, "empty file");
    if (size > maxFileSize)
        return fail(error, "file too large for a preset (" + sizeText(size) + ")");
    if (size < 12) {
        Reader r(data, size);
        int32_t magic = 0;
        if (r.readInt(magic) && magic != magicHeader)
            return fail(error, "not a VST preset file (no 'CcnK' header)");
        return fail(error, "truncated file (" + sizeText(size) + ")");
    }
    Reader peek(data + 8, 4);
    int32_t fxMagic = 0;
    peek.readInt(fxMagic);
    if (fxMagic != magicBankParams && fxMagic != magicBankChunk)
        return parseProgram(data, size, out, error, false);

    Reader r(data, size);
    if (!readHeader(r, size, "file", error))
        return false;
    int32_t version = 0, numPrograms = 0;
    r.readInt(fxMagic);
    if (!r.readInt(version) || !r.readInt(out.fxID) || !r.readInt(out.fxVersion) || !r.readInt(numPrograms) ||
        r.remaining() < bankHeaderSize - 28) {
        return fail(error, "truncated bank header");
    }
    out.formatVersion = version;
    if (version < 1 || version > 2)
        return fail(error, "unsupported bank format version " + std::to_string(version));
    int32_t current = -1;
    r.readInt(current);
    out.currentProgram = version >= 2 ? current : -1;
    const uint8_t* reserved = nullptr;
    r.readBytes(bankHeaderSize - 32, reserved);
    if (numPrograms < 0 || numPrograms > maxCount) {
        return fail(error, "implausible program count " + std::to_string(numPrograms));
    }
    if (out.currentProgram < -1 || (numPrograms > 0 && out.currentProgram >= numPrograms)) {
        return fail(error, "current program " + std::to_string(out.currentProgram) + " is outside the bank's " +
                               std::to_string(numPrograms) + " programs");
    }

    out.numPrograms = numPrograms;
    if (fxMagic == magicBankChunk) {
        out.kind = Kind::bankChunk;
        return readChunk(r, out, error);
    }

    out.kind = Kind::bankParams;
    out.programs.reserve((size_t)std::min<int32_t>(numPrograms, 4096));
    for (int32_t i = 0; i < numPrograms; i++) {
        size_t start = r.position();
        if (r.remaining() < 8) {
            return fail(error, "truncated bank: program " + std::to_string(i) + " of " + std::to_string(numPrograms) +
                                   " is missing");
        }
        // Each program carries its own header whose size field bounds it.
        Reader sizeReader(data + start + 4, 4);
        int32_t byteSize = 0;
        sizeReader.readInt(byteSize);
        if (byteSize < 0 || (size_t)byteSize > r.remaining() - 8) {
            return fail(error, "truncated bank: program " + std::to_string(i) + " claims " +
                                   sizeText((uint32_t)byteSize) + " but only " + sizeText(r.remaining() - 8) +
                                   " are left");
        }
        PresetFile program;
        std::string programError;
        if (!parseProgram(data + start, (size_t)byteSize + 8, program, programError, true)) {
            return fail(error, "program " + std::to_string(i) + " of the bank: " + programError);
        }
        if (program.fxID != out.fxID) {
            return fail(error, "program " + std::to_string(i) + " of the bank is for plug-in '" +
                                   fourCCText(program.fxID) + "', the bank for '" + fourCCText(out.fxID) + "'");
        }
        out.programs.push_back(Program{program.programName, std::move(program.params)});
        const uint8_t* skip = nullptr;
        r.readBytes((size_t)byteSize + 8, skip);
    }
    if (r.remaining() != 0)
        return fail(error, sizeText(r.remaining()) + " of unexpected data after the last program");
    return true;
}

std::vector<uint8_t> serialize(const PresetFile& file) {
    Writer w;
    w.writeInt(magicHeader);
    w.writeInt(0);  // byteSize, patched at the end
    switch (file.kind) {
        case Kind::programParams:
        case Kind::programChunk: {
            bool chunk = file.kind == Kind::programChunk;
            w.writeInt(chunk ? magicProgramChunk : magicProgramParams);
            w.writeInt(1);
            w.writeInt(file.fxID);
            w.writeInt(file.fxVersion);
            w.writeInt(chunk ? file.numParams : (int32_t)file.params.size());
            w.writeName(file.programName);
            if (chunk) {
                w.writeInt((int32_t)file.chunk.size());
                w.writeBytes(file.chunk.data(), file.chunk.size());
            } else {
                for (float v : file.params)
                    w.writeFloat(v);
            }
            break;
        }
        case Kind::bankParams:
        case Kind::bankChunk: {
            bool chunk = file.kind == Kind::bankChunk;
            w.writeInt(chunk ? magicBankChunk : magicBankParams);
            w.writeInt(2);
            w.writeInt(file.fxID);
            w.writeInt(file.fxVersion);
            w.writeInt(chunk ? file.numPrograms : (int32_t)file.programs.size());
            w.writeInt(file.currentProgram < 0 ? 0 : file.currentProgram);
            uint8_t reserved[bankHeaderSize - 32] = {};
            w.writeBytes(reserved, sizeof reserved);
            if (chunk) {
                w.writeInt((int32_t)file.chunk.size());
                w.writeBytes(file.chunk.data(), file.chunk.size());
            } else {
                for (const Program& p : file.programs) {
                    size_t start = w.bytes.size();
                    w.writeInt(magicHeader);
                    w.writeInt(0);
                    w.writeInt(magicProgramParams);
                    w.writeInt(1);
                    w.writeInt(file.fxID);
                    w.writeInt(file.fxVersion);
                    w.writeInt((int32_t)p.params.size());
                    w.writeName(p.name);
                    for (float v : p.params)
                        w.writeFloat(v);
                    w.patchByteSize(start);
                }
            }
            break;
        }
    }
    w.patchByteSize(0);
    return std::move(w.bytes);
}

bool readFile(const std::string& path, PresetFile& out, std::string& error) {
    // The type first: a folder has no size to speak of, and a pipe or a
    // device like /dev/zero would be read forever or wait for a writer.
    std::error_code ec;
    std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (std::filesystem::is_directory(status))
        return fail(error, "it is a folder, not a preset file");
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        return fail(error, "it is a pipe or device, not a preset file");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return fail(error, "cannot open the file");
    in.seekg(0, std::ios::end);
    std::streamoff length = in.tellg();
    if (length < 0)
        return fail(error, "cannot read the file (is it a directory?)");
    if ((uint64_t)length > maxFileSize)
        return fail(error, "file too large for a preset (" + sizeText((size_t)length) + ")");
    in.seekg(0, std::ios::beg);
    std::vector<uint8_t> bytes((size_t)length);
    if (length > 0 && !in.read((char*)bytes.data(), length))
        return fail(error, "cannot read the file");
    return parse(bytes.data(), bytes.size(), out, error);
}

}  // namespace presetfile
