// The extension tables the plug-in hands out, one file each, and the few
// helpers they share with the plug-in record.
#pragma once

#include "clap/ClapAbi.h"

class ClapPlugin;

extern const clap_plugin_audio_ports kClapAudioPorts;           // ClapPlugin.cpp
extern const clap_plugin_latency kClapLatency;                  // ClapPlugin.cpp
extern const clap_plugin_params kClapParams;                    // ClapParams.cpp
extern const clap_plugin_state kClapState;                      // ClapState.cpp
extern const clap_plugin_gui kClapGui;                          // ClapGui.cpp
extern const clap_plugin_timer_support kClapTimerSupport;       // ClapGui.cpp
extern const clap_plugin_posix_fd_support kClapPosixFdSupport;  // ClapGui.cpp
extern const clap_plugin_preset_load kClapPresetLoad;           // ClapPresets.cpp
// The entry's second factory: the factory programs for a host's preset
// browser, without a plug-in made (ClapPresets.cpp).
extern const clap_preset_discovery_factory& kClapPresetDiscovery;

// The plug-in's id, in its descriptor and in the presets that apply to it.
inline constexpr char kClapPluginId[] = "com.ardex-plugins.corvex";

// Main thread: closes the editor if it is open and gives back the timer
// (the plug-in's destroy, and the gui's hide and destroy).
void closeClapEditor(ClapPlugin& plugin);
