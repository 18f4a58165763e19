// A plug-in format hosting another format and the VST 2.4 effect inside
// itself: the include rules must refuse all three edges, and allow the
// engine's and the panel port's headers. Never compiled; read by the rules'
// self-test.
#pragma once

#include "editor/ParameterPort.h"
#include "lv2/Lv2Ids.h"
#include "model/AmpEngine.h"
#include "model/Corvex.h"
#include "shell/vst2.h"
