// What corvex-live remembers between sessions: the plug-in's bank and which
// program was playing, kept as one bank file (.fxb, format 2, which carries
// the current program) in the user's configuration folder. The plug-in
// itself keeps no configuration; this is the host's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/PluginHost.h"

namespace live {

// $XDG_CONFIG_HOME/corvex, else $HOME/.config/corvex; empty when neither is set.
std::string configFolder();

// The state file inside `folder`.
std::string stateFile(const std::string& folder);

enum class LoadResult { loaded, none, refused };

// Restores the bank and program saved last. `none` when there is no file
// yet; `refused` (with a reason) for a damaged file or one of another
// plug-in, which is then left alone. Main thread, before the audio starts.
LoadResult loadState(PluginHost& plugin, const std::string& folder, std::string& error);

// Captures the bank and current program. Main thread.
bool captureState(PluginHost& plugin, std::vector<uint8_t>& bytes, std::string& error);

// Writes the captured bytes so that a crash at any moment leaves either the
// old file or the new one: a temporary file in the same folder, flushed to
// the disk, renamed over the old one, the folder flushed. Main thread.
bool writeStateAtomically(const std::string& folder, const std::vector<uint8_t>& bytes, std::string& error);

}  // namespace live
