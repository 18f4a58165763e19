// Text for the bundles' Turtle files, shared by the build-time writers of
// the head's and the rig's descriptions and presets:
//   - the LV2 port symbol of a parameter, made from the name the effect
//     reports: lower case, every run of other characters one underscore
//     ("Mono/Stereo" is mono_stereo);
//   - a string literal, a decimal literal (always with a point or an
//     exponent, so that it reads as a decimal), and a file written whole.
#pragma once

#include <cctype>
#include <cstdio>
#include <string>

namespace corvex_lv2 {

inline std::string portSymbol(const char* name) {
    std::string symbol;
    bool gap = false;
    for (const char* c = name; *c; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c))) {
            if (gap && !symbol.empty())
                symbol += '_';
            symbol += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
            gap = false;
        } else {
            gap = true;
        }
    }
    return symbol;
}

inline std::string turtleString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

inline std::string turtleNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    std::string out = text;
    if (out.find_first_of(".eEn") == std::string::npos)
        out += ".0";
    return out;
}

// False when the file cannot be written whole.
inline bool writeTextFile(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace corvex_lv2
