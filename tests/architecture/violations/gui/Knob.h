// The GUI toolkit reaching into the plug-in interface: refused. Never
// compiled; read by the rules' self-test.
#pragma once

#include "shell/vst2.h"
