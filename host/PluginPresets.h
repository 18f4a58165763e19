// Preset files and a loaded plug-in: loading an .fxp/.fxb into it and
// capturing its state as one. The byte layout itself is PresetFile.h.
#pragma once

#include <string>

#include "host/PluginHost.h"
#include "host/PresetFile.h"
#include "host/PresetValues.h"

// Applies a parsed preset file to the plug-in. `expectBank` is what the user
// asked for (--load-fxb or --load-fxp); a file of the other sort is refused.
// The file's fxID must be the plug-in's unique id. Every value the file
// holds is checked first (PresetValues.h): a bad one refuses the file before
// anything changes, unless `repair` allows mending it (counted in
// `*repaired`). Main thread, suspended.
bool applyPreset(PluginHost& plugin, const presetfile::PresetFile& file, bool expectBank, std::string& error,
                 presetvalues::Repair repair = presetvalues::Repair::none, int* repaired = nullptr);

// The plug-in's current program (bank = false) or all its programs
// (bank = true): as a chunk when the plug-in stores its programs as chunks,
// as parameter lists otherwise. Main thread, suspended.
bool capturePreset(PluginHost& plugin, bool bank, presetfile::PresetFile& file, std::string& error);

// Checks the values a loaded preset left in the plug-in as it reports them
// (for chunks this host cannot read itself): the current program (bank =
// false) or every program (bank = true; the current one is selected again
// afterwards). The same rule as the file's values: a NaN, an infinity or a
// value outside 0 to 1 is refused, naming program and parameter; with
// Repair::clamp a finite value outside is set to the nearest end instead
// (counted in `repaired`). Main thread, suspended.
bool checkPresetValues(PluginHost& plugin, bool bank, presetvalues::Repair repair, int& repaired, std::string& error);
