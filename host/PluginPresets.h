// Preset files and a loaded plug-in: loading an .fxp/.fxb into it and
// capturing its state as one. The byte layout itself is PresetFile.h.
#pragma once

#include <string>

#include "host/PluginHost.h"
#include "host/PresetFile.h"

// Applies a parsed preset file to the plug-in. `expectBank` is what the user
// asked for (--load-fxb or --load-fxp); a file of the other sort is refused.
// The file's fxID must be the plug-in's unique id. Main thread, suspended.
bool applyPreset(PluginHost& plugin, const presetfile::PresetFile& file, bool expectBank, std::string& error);

// The plug-in's current program (bank = false) or all its programs
// (bank = true): as a chunk when the plug-in stores its programs as chunks,
// as parameter lists otherwise. Main thread, suspended.
bool capturePreset(PluginHost& plugin, bool bank, presetfile::PresetFile& file, std::string& error);

// Checks the values a loaded preset left in the plug-in: the current program
// (bank = false) or every program (bank = true; the current one is selected
// again afterwards). A NaN or infinite value is refused; values outside 0 to
// 1 give a warning. Main thread, suspended.
bool checkPresetValues(PluginHost& plugin, bool bank, std::string& error, std::string& warning);
