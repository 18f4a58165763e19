// The amp model reaching into the plug-in interface and the GUI: the include
// rules must refuse both edges. Never compiled; read by the rules' self-test.
#pragma once

#include "gui/CView.h"
#include "shell/vst2.h"
