#include "host/PresetValues.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "host/PrintableText.h"
#include "model/Programs.h"

namespace presetvalues {

namespace {

bool fail(std::string& error, const std::string& text) {
    error = text;
    return false;
}

std::string parameterName(const ParameterNames& names, int index) {
    std::string name = names ? names(index) : std::string();
    if (name.empty())
        return "parameter " + std::to_string(index);
    return "\"" + printableText(name) + "\"";
}

std::string programText(int index, const std::string& name, bool bank) {
    std::string text = bank ? "program " + std::to_string(index) : std::string("the program");
    if (!name.empty())
        text += " (\"" + printableText(name) + "\")";
    return text;
}

// A float or double of the record checked in place, mended when allowed.
template <typename T>
bool checkValue(T& value, Repair repair, int& repaired, const std::string& where, std::string& error) {
    const std::string fault = valueFault((double)value);
    if (fault.empty())
        return true;
    if (repair == Repair::clamp && std::isfinite((double)value)) {
        value = value < (T)0 ? (T)0 : (T)1;
        repaired++;
        return true;
    }
    return fail(error, where + " is " + fault);
}

// The eight values each channel remembers, by their parameter indexes.
struct ChannelField {
    size_t offset;
    int parameter;
};
constexpr ChannelField channelFields[] = {
    {offsetof(ChannelSettings, input), 0},   {offsetof(ChannelSettings, drive), 2},
    {offsetof(ChannelSettings, low), 4},     {offsetof(ChannelSettings, mid), 5},
    {offsetof(ChannelSettings, high), 6},    {offsetof(ChannelSettings, contour), 7},
    {offsetof(ChannelSettings, powerAmp), 8}, {offsetof(ChannelSettings, volume), 9},
};

// The record's float fields by parameter index.
constexpr size_t recordFloatOffsets[] = {
    offsetof(CorvexProgram, input),   offsetof(CorvexProgram, channel),  offsetof(CorvexProgram, drive),
    offsetof(CorvexProgram, mixPls),  offsetof(CorvexProgram, low),      offsetof(CorvexProgram, mid),
    offsetof(CorvexProgram, high),    offsetof(CorvexProgram, contour),  offsetof(CorvexProgram, powerAmp),
    offsetof(CorvexProgram, volume),  offsetof(CorvexProgram, monoStereo), offsetof(CorvexProgram, quality),
    offsetof(CorvexProgram, boost),
};

bool isChannelParameter(int index) {
    for (const ChannelField& f : channelFields)
        if (f.parameter == index)
            return true;
    return false;
}

// One 208-byte record of the amp, read and written through memcpy (the
// chunk's bytes need not be aligned).
bool checkRecord(uint8_t* record, int index, bool bank, const ParameterNames& names, Repair repair, int& repaired,
                 std::string& error) {
    char rawName[sizeof(CorvexProgram::name) + 1] = {};
    std::memcpy(rawName, record + offsetof(CorvexProgram, name), sizeof(CorvexProgram::name));
    const std::string program = programText(index, rawName, bank);

    float channel = 0.0f;
    std::memcpy(&channel, record + offsetof(CorvexProgram, channel), sizeof channel);
    for (int p = 0; p < (int)(sizeof recordFloatOffsets / sizeof recordFloatOffsets[0]); p++) {
        float value = 0.0f;
        std::memcpy(&value, record + recordFloatOffsets[p], sizeof value);
        // The per-channel knobs in the record are those of the selected channel.
        std::string where = program;
        if (isChannelParameter(p) && p != 1 && std::isfinite(channel))
            where += ", channel " + std::to_string(channel >= 0.5f ? 1 : 0);
        if (!checkValue(value, repair, repaired, where + ": " + parameterName(names, p), error))
            return false;
        std::memcpy(record + recordFloatOffsets[p], &value, sizeof value);
    }
    for (int c = 0; c < 2; c++) {
        uint8_t* settings = record + offsetof(CorvexProgram, channelSettings) + (size_t)c * sizeof(ChannelSettings);
        for (const ChannelField& f : channelFields) {
            double value = 0.0;
            std::memcpy(&value, settings + f.offset, sizeof value);
            const std::string where =
                program + ", channel " + std::to_string(c) + ": " + parameterName(names, f.parameter);
            if (!checkValue(value, repair, repaired, where, error))
                return false;
            std::memcpy(settings + f.offset, &value, sizeof value);
        }
    }
    return true;
}

bool checkList(std::vector<float>& params, const std::string& program, const ParameterNames& names, Repair repair,
               int& repaired, std::string& error) {
    for (size_t i = 0; i < params.size(); i++) {
        if (!checkValue(params[i], repair, repaired, program + ": " + parameterName(names, (int)i), error))
            return false;
    }
    return true;
}

}  // namespace

std::string valueFault(double value) {
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "infinity" : "minus infinity";
    if (value >= 0.0 && value <= 1.0)
        return std::string();
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return std::string(text) + ", outside 0 to 1";
}

bool checkFileValues(presetfile::PresetFile& file, const ParameterNames& names, Repair repair, int& repaired,
                     std::string& error) {
    using presetfile::Kind;
    repaired = 0;
    switch (file.kind) {
        case Kind::programParams:
            return checkList(file.params, programText(0, file.programName, false), names, repair, repaired, error);
        case Kind::bankParams:
            for (size_t i = 0; i < file.programs.size(); i++) {
                presetfile::Program& p = file.programs[i];
                if (!checkList(p.params, programText((int)i, p.name, true), names, repair, repaired, error))
                    return false;
            }
            return true;
        case Kind::programChunk:
        case Kind::bankChunk: {
            const bool bank = file.kind == Kind::bankChunk;
            if (file.fxID != ampUniqueId || file.chunk.size() != (bank ? kBankChunkSize : kProgramChunkSize))
                return true;
            const int records = bank ? kNumCorvexPrograms : 1;
            for (int i = 0; i < records; i++) {
                if (!checkRecord(file.chunk.data() + (size_t)i * kProgramChunkSize, i, bank, names, repair, repaired,
                                 error))
                    return false;
            }
            return true;
        }
    }
    return true;
}

}  // namespace presetvalues
