// The extension tables the plug-in hands out, one file each, and the few
// helpers they share with the plug-in record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "clap/ClapAbi.h"

class ClapPlugin;

extern const clap_plugin_audio_ports kClapAudioPorts;           // ClapPlugin.cpp
extern const clap_plugin_latency kClapLatency;                  // ClapPlugin.cpp
extern const clap_plugin_params kClapParams;                    // ClapParams.cpp
extern const clap_plugin_state kClapState;                      // ClapState.cpp
extern const clap_plugin_gui kClapGui;                          // ClapGui.cpp
extern const clap_plugin_timer_support kClapTimerSupport;       // ClapGui.cpp
extern const clap_plugin_posix_fd_support kClapPosixFdSupport;  // ClapGui.cpp

// Main thread: closes the editor if it is open and gives back the timer
// (the plug-in's destroy, and the gui's hide and destroy).
void closeClapEditor(ClapPlugin& plugin);

// The window system this build embeds into: "x11" on Linux, "win32" on Windows.
const char* clapWindowApi();

// ---- the saved state (ClapState.cpp) ----
// "CRVX" "CLAP", u32 version, u32 current program, u32 bank bytes, then the
// effect's own bank chunk (ten 208-byte program records). Little-endian.
namespace clapstate {
constexpr uint32_t kVersion = 1;
constexpr std::size_t kHeaderSize = 20;
constexpr std::size_t kBankSize = 2080;
constexpr std::size_t kStateSize = kHeaderSize + kBankSize;
constexpr int kNumPrograms = 10;

// Builds the blob from a bank and the current program.
void write(const unsigned char* bank, uint32_t currentProgram, unsigned char* out);
// Checks a blob: its size, marker, version, program index, bank size and
// that every value of every program is a finite number. False with nothing
// changed when any check fails.
bool validate(const unsigned char* blob, std::size_t size, uint32_t& currentProgram);
}  // namespace clapstate
