// The LV2 port symbol of a parameter, made from the name the effect reports:
// lower case, every run of other characters one underscore ("Mono/Stereo"
// is mono_stereo). Shared by the bundle's description and its presets.
#pragma once

#include <cctype>
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

}  // namespace corvex_lv2
