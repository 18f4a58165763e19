// The toolkit in one include.
#pragma once

#include "gui/CBitmap.h"
#include "gui/CControl.h"
#include "gui/CDragContainer.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/CReferenceCounter.h"
#include "gui/CView.h"
#include "gui/FrameEditor.h"
#include "gui/VSTGUITypes.h"
#include "gui/platform/Platform.h"
