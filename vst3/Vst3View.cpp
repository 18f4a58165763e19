#include "vst3/Vst3View.h"

#include <cstring>

#include "vst3/Vst3EffectBase.h"

#if defined(_WIN32)
#include <windows.h>
#endif

using namespace v3;

namespace {

const char* platformType() {
#if defined(_WIN32)
    return kPlatformTypeHWND;
#else
    return kPlatformTypeX11EmbedWindowID;
#endif
}

bool isOurPlatform(FIDString type) {
    return type && std::strcmp(type, platformType()) == 0;
}

uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

#if defined(_WIN32)
// The UI thread's timers, each leading to its view (UI thread only).
struct TimerSlot {
    UINT_PTR id;
    Vst3View* view;
};
TimerSlot timerSlots[64];

void CALLBACK onWindowsTimer(HWND, UINT, UINT_PTR id, DWORD) {
    for (TimerSlot& slot : timerSlots)
        if (slot.id == id && slot.view)
            slot.view->idle();
}
#endif

}  // namespace

Vst3View::Vst3View(Vst3EffectBase& owner)
    : effect(owner), shownBits(new uint32_t[static_cast<size_t>(owner.panelParameters())]()) {
    effect.addRef();
}

Vst3View::~Vst3View() {
    removed();
    effect.release();
}

tresult Vst3View::queryInterface(const TUID iidWanted, void** obj) {
    if (!obj)
        return kInvalidArgument;
    *obj = nullptr;
    if (iid::FUnknown.equals(iidWanted) || iid::IPlugView.equals(iidWanted))
        *obj = static_cast<IPlugView*>(this);
    else if (iid::ITimerHandler.equals(iidWanted))
        *obj = static_cast<ITimerHandler*>(this);
    else if (iid::IEventHandler.equals(iidWanted))
        *obj = static_cast<IEventHandler*>(this);
    else if (iid::IPlugViewContentScaleSupport.equals(iidWanted))
        *obj = static_cast<IPlugViewContentScaleSupport*>(this);
    else
        return kNoInterface;
    addRef();
    return kResultOk;
}

uint32 Vst3View::addRef() {
    return references.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32 Vst3View::release() {
    const uint32 left = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
        delete this;
    return left;
}

tresult Vst3View::isPlatformTypeSupported(FIDString type) {
    return isOurPlatform(type) ? kResultTrue : kResultFalse;
}

tresult Vst3View::attached(void* parent, FIDString type) {
    if (!parent || !isOurPlatform(type))
        return kInvalidArgument;
    if (panel)
        return kResultFalse;  // attached already
#if !defined(_WIN32)
    // Idled by the host's run loop, or not at all: no thread of ours.
    void* obj = nullptr;
    if (frame && frame->queryInterface(iid::IRunLoop.bytes, &obj) == kResultOk && obj) {
        runLoop = static_cast<IRunLoop*>(obj);
    } else if (FUnknown* context = effect.hostContext(); context &&
               context->queryInterface(iid::IRunLoop.bytes, &obj) == kResultOk && obj) {
        runLoop = static_cast<IRunLoop*>(obj);
    }
    if (!runLoop)
        return kResultFalse;
#endif
    panel = effect.makePanel();
    if (panel)
        panel->setScale(scale);
    if (!panel || !panel->open(parent)) {
        panel.reset();
        stopIdle();
        return kResultFalse;
    }
    for (int i = 0; i < effect.panelParameters(); ++i)
        shownBits[i] = bitsOf(effect.panelValue(i));
#if defined(_WIN32)
    for (TimerSlot& slot : timerSlots) {
        if (!slot.view) {
            slot.id = SetTimer(nullptr, 0, kIdlePeriodMs, onWindowsTimer);
            slot.view = slot.id ? this : nullptr;
            windowsTimer = slot.id;
            break;
        }
    }
#else
    timerRegistered = runLoop->registerTimer(static_cast<ITimerHandler*>(this), kIdlePeriodMs) == kResultOk;
    const int fd = panel->eventDescriptor();
    handlerRegistered =
        fd >= 0 && runLoop->registerEventHandler(static_cast<IEventHandler*>(this), fd) == kResultOk;
#endif
    return kResultOk;
}

void Vst3View::stopIdle() {
#if defined(_WIN32)
    if (windowsTimer) {
        KillTimer(nullptr, windowsTimer);
        for (TimerSlot& slot : timerSlots)
            if (slot.view == this)
                slot = TimerSlot{0, nullptr};
        windowsTimer = 0;
    }
#endif
    if (runLoop) {
        if (timerRegistered)
            runLoop->unregisterTimer(static_cast<ITimerHandler*>(this));
        if (handlerRegistered)
            runLoop->unregisterEventHandler(static_cast<IEventHandler*>(this));
        runLoop->release();
        runLoop = nullptr;
    }
    timerRegistered = handlerRegistered = false;
}

tresult Vst3View::removed() {
    stopIdle();
    if (panel) {
        panel->close();
        panel.reset();
    }
    return kResultOk;
}

tresult Vst3View::onWheel(float) {
    return kResultFalse;  // the panel reads the wheel from its own window
}

tresult Vst3View::onKeyDown(char16, int16, int16) {
    return kResultFalse;  // no keys: the host keeps them
}

tresult Vst3View::onKeyUp(char16, int16, int16) {
    return kResultFalse;
}

tresult Vst3View::getSize(ViewRect* size) {
    if (!size)
        return kInvalidArgument;
    *size = scaledSize();
    return kResultOk;
}

ViewRect Vst3View::scaledSize() const {
    uint32_t width = 0, height = 0;
    effect.panelSize(width, height);
    return ViewRect{0, 0, static_cast<int32>(corvex::scaledPanelSide(width, scale)),
                    static_cast<int32>(corvex::scaledPanelSide(height, scale))};
}

tresult Vst3View::setContentScaleFactor(float factor) {
    if (!corvex::isPanelScale(factor))
        return kResultFalse;
    if (panel && !panel->setScale(factor))
        return kResultFalse;
    const bool changed = scale != static_cast<double>(factor);
    scale = factor;
    if (changed && panel && frame) {
        ViewRect size = scaledSize();
        frame->resizeView(this, &size);
    }
    return kResultTrue;
}

tresult Vst3View::onSize(ViewRect* newSize) {
    if (!newSize)
        return kInvalidArgument;
    const ViewRect own = scaledSize();
    const bool fits = newSize->right - newSize->left == own.right &&
                      newSize->bottom - newSize->top == own.bottom;
    return fits ? kResultOk : kResultFalse;  // a fixed size
}

tresult Vst3View::onFocus(TBool) {
    return kResultOk;
}

tresult Vst3View::setFrame(IPlugFrame* newFrame) {
    frame = newFrame;  // the host's: it outlives the view's use of it
    return kResultOk;
}

tresult Vst3View::canResize() {
    return kResultFalse;
}

tresult Vst3View::checkSizeConstraint(ViewRect* rect) {
    if (!rect)
        return kInvalidArgument;
    const ViewRect own = scaledSize();
    rect->right = rect->left + own.right;
    rect->bottom = rect->top + own.bottom;
    return kResultTrue;
}

void Vst3View::onTimer() {
    idle();
}

void Vst3View::onFDIsSet(FileDescriptor) {
    idle();
}

void Vst3View::idle() {
    if (!panel)
        return;
    for (int i = 0; i < effect.panelParameters(); ++i) {
        const float value = effect.panelValue(i);
        if (!effect.isHeld(i) && bitsOf(value) != shownBits[i]) {
            shownBits[i] = bitsOf(value);
            panel->parameterChanged(i, value);
        }
    }
    panel->idle();
    effect.panelIdled();
}
