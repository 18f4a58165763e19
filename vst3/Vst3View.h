// A Corvex plug-in's front panel as a VST3 plug-in view (the head's panel,
// or the rig's with its strip): embedded in the host's window (an X11 window
// id on Linux, an HWND on Windows) at the panel's fixed size times the
// content scale the host sets (1 to 4). Every call comes on the host's UI
// thread.
//
// The panel draws and reads the mouse when it is idled. On Linux the host's
// run loop does it (from the frame, or the host context the controller was
// initialised with): a timer every kIdlePeriodMs and a handler on the
// panel's X connection; a host that offers no run loop gets no panel. On
// Windows a timer of the UI thread's message loop does it. Each idle also
// shows the panel the values the controller shows, except those of
// controls the user is holding.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "editor/ParameterPort.h"
#include "vst3/Vst3Abi.h"

class Vst3EffectBase;

class Vst3View : public v3::IPlugView,
                 public v3::ITimerHandler,
                 public v3::IEventHandler,
                 public v3::IPlugViewContentScaleSupport {
public:
    static constexpr uint32_t kIdlePeriodMs = 30;

    // `effect` outlives the view (the view holds a reference to it).
    explicit Vst3View(Vst3EffectBase& effect);
    virtual ~Vst3View();
    Vst3View(const Vst3View&) = delete;
    Vst3View& operator=(const Vst3View&) = delete;

    v3::tresult V3_CALL queryInterface(const v3::TUID iid, void** obj) override;
    v3::uint32 V3_CALL addRef() override;
    v3::uint32 V3_CALL release() override;

    v3::tresult V3_CALL isPlatformTypeSupported(v3::FIDString type) override;
    v3::tresult V3_CALL attached(void* parent, v3::FIDString type) override;
    v3::tresult V3_CALL removed() override;
    v3::tresult V3_CALL onWheel(float distance) override;
    v3::tresult V3_CALL onKeyDown(v3::char16 key, v3::int16 keyCode, v3::int16 modifiers) override;
    v3::tresult V3_CALL onKeyUp(v3::char16 key, v3::int16 keyCode, v3::int16 modifiers) override;
    v3::tresult V3_CALL getSize(v3::ViewRect* size) override;
    v3::tresult V3_CALL onSize(v3::ViewRect* newSize) override;
    v3::tresult V3_CALL onFocus(v3::TBool state) override;
    v3::tresult V3_CALL setFrame(v3::IPlugFrame* frame) override;
    v3::tresult V3_CALL canResize() override;
    v3::tresult V3_CALL checkSizeConstraint(v3::ViewRect* rect) override;

    // The host's content scale: kResultTrue and the view resized (through
    // the frame when attached) for 1 to 4, kResultFalse otherwise.
    v3::tresult V3_CALL setContentScaleFactor(float factor) override;

    // The run loop's calls (UI thread).
    void V3_CALL onTimer() override;
    void V3_CALL onFDIsSet(v3::FileDescriptor fd) override;

    // The panel drawn and its controls brought up to date (UI thread).
    void idle();

private:
    void stopIdle();

    std::atomic<uint32_t> references{1};
    Vst3EffectBase& effect;
    v3::IPlugFrame* frame = nullptr;     // the host's, not owned
    v3::IRunLoop* runLoop = nullptr;     // held while attached
    bool timerRegistered = false;
    bool handlerRegistered = false;
#if defined(_WIN32)
    uintptr_t windowsTimer = 0;  // the UI thread's timer
#endif
    std::unique_ptr<corvex::Panel> panel;
    double scale = 1.0;
    v3::ViewRect scaledSize() const;
    std::unique_ptr<uint32_t[]> shownBits;  // what the panel was last told, by parameter
};
