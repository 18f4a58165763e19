// The editor part of the Windows smoke test: a host window, the plug-in's
// editor opened in it, and one knob dragged with xdotool under Xvfb, the
// automation checked as it arrives through the host callback.
#pragma once

#include <string>
#include <vector>

#include "PluginHarness.h"

namespace corvex::harness {

// Needs DISPLAY (an X server wine can draw on) and /usr/bin/xdotool.
void runEditorChecks(PluginEntryProc entry, std::vector<std::string>& problems, std::string& note);

}  // namespace corvex::harness
