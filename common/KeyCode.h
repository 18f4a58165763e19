// The key record and key codes that the plug-in interface hands to an
// editor. They live here rather than in shell/vst2.h because the GUI toolkit
// reads them too, and the toolkit must build without the plug-in interface.
// The layout is part of the binary interface: field order and sizes must
// match what hosts send.
#pragma once

#include <cstdint>

typedef int32_t VstInt32;

// Key record of the two key opcodes.
struct VstKeyCode {
    VstInt32 character;
    unsigned char virt;
    unsigned char modifier;
};

// Virtual key codes that matter to the editor.
enum VstVirtualKey : unsigned char {
    VKEY_BACK = 1,
    VKEY_TAB = 2,
    VKEY_LEFT = 11,
    VKEY_UP = 12,
    VKEY_RIGHT = 13,
    VKEY_DOWN = 14,
};

enum VstModifierKey : unsigned char {
    MODIFIER_SHIFT = 1 << 0,
    MODIFIER_ALTERNATE = 1 << 1,
    MODIFIER_COMMAND = 1 << 2,
    MODIFIER_CONTROL = 1 << 3,
};
