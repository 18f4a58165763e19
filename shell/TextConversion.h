// The text conversions live in common/ now, shared by every plug-in format;
// this name stays for the effect base classes that include it.
#pragma once

#include "common/TextConversion.h"
#include "shell/vst2.h"
