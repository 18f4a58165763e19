// What the exported entry point does, kept in the plug-in library so that tests
// can drive it without loading the plug-in.
#pragma once

#include "shell/vst2.h"

// Asks the host for its version (a null or silent host gets null), creates
// one effect instance and returns its record; null when it cannot be made.
// Called by the host on the thread it loads the library with.
AEffect* pluginMain(audioMasterCallback audioMaster);

// Creates the plug-in's effect for the host callback and returns its record,
// or null. Defined by the plug-in library (plugin/PluginEntry.cpp), which
// gives the effect its front panel.
AEffect* createEffectInstance(audioMasterCallback audioMaster);
