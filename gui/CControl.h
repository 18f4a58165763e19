// Controls: views through which the user changes a value. CControl holds the
// value model and the listener; CKnob is dragged, wheeled and keyed;
// CAnimKnob draws a CKnob as a film strip; COnOffButton is a two-state switch.
#pragma once

#include "gui/CView.h"

#include <atomic>

namespace VSTGUI {

// A control's value: set by the host's parameter thread, read by the
// user-interface thread. Relaxed atomic accesses: no tearing, no data race,
// no ordering cost.
class SharedFloat {
public:
    SharedFloat(float v = 0.f) : stored(v) {}
    SharedFloat(const SharedFloat& other) : stored(static_cast<float>(other)) {}
    SharedFloat& operator=(const SharedFloat& other) { return *this = static_cast<float>(other); }
    SharedFloat& operator=(float v) {
        stored.store(v, std::memory_order_relaxed);
        return *this;
    }
    SharedFloat& operator+=(float d) { return *this = static_cast<float>(*this) + d; }
    operator float() const { return stored.load(std::memory_order_relaxed); }

private:
    std::atomic<float> stored;
};

class CControl;

class CControlListener {
public:
    virtual ~CControlListener() = default;
    // After a user change of `control`'s value. UI thread; context may be null.
    virtual void valueChanged(CDrawContext* context, CControl* control) = 0;
    // Before a click with a modifier; non-zero makes the control ignore it.
    virtual int32 modifierClicked(CDrawContext* context, CControl* control, int32 buttons) {
        (void)context;
        (void)control;
        (void)buttons;
        return 0;
    }
};

class CControl : public CView {
public:
    CControl(const CRect& size, CControlListener* listener = nullptr, int32 tag = 0, CBitmap* background = nullptr);
    ~CControl() override;

    void draw(CDrawContext* context) override = 0;
    bool isDirty() const override;
    void setDirty(bool flag = true) override;
    bool isTypeOf(const char* name) const override;

    virtual void requestIdle();
    // Stores the value and nothing else (no clamping, no dirty mark). Any thread.
    virtual void setValue(float value);
    virtual float getValue() const;
    virtual void setMin(float value);
    virtual float getMin() const;
    virtual void setMax(float value);
    virtual float getMax() const;
    virtual void setDrawnValue(float value);
    virtual float getDrawnValue() const;
    virtual void setDefaultValue(float value);
    virtual float getDefaultValue() const;
    virtual void setTag(int32 value);
    virtual int32 getTag() const;
    virtual void beginEdit();
    virtual void endEdit();
    virtual void setBackgroundOffset(const CPoint& offset);
    virtual void copyBackgroundOffset();
    virtual void setWheelStep(float step);
    virtual float getWheelStep() const;
    virtual void clampValue();
    virtual bool resetToDefault(CDrawContext* context, int32 buttons);

    CControlListener* getListener() const { return listener; }
    void setListener(CControlListener* l) { listener = l; }
    const CPoint& getBackgroundOffset() const { return backgroundOffset; }

protected:
    // The current mask: from the context, or the platform without one.
    static int32 currentButtons(CDrawContext* context);
    // Any of Shift, Control, Alt or the fourth modifier.
    static bool hasModifier(int32 buttons) { return (buttons & (kShift | kControl | kAlt | kApple)) != 0; }

    CControlListener* listener = nullptr;
    int32 tag = 0;
    float drawnValue = 1.f;
    float defaultValue = 0.5f;
    SharedFloat value{0.f};
    float minValue = 0.f;
    float maxValue = 1.f;
    float wheelStep = 0.1f;
    CPoint backgroundOffset;
};

class CKnob : public CControl {
public:
    CKnob(const CRect& size, CControlListener* listener, int32 tag, CBitmap* background, CBitmap* handle,
          const CPoint& offset = CPoint());
    ~CKnob() override;

    using CControl::onWheel;

    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, int32 buttons = -1) override;
    bool onWheel(CDrawContext* context, const CPoint& where, float distance) override;
    int32 onKeyDown(VstKeyCode& key) override;
    bool isTypeOf(const char* name) const override;

    virtual void drawHandle(CDrawContext* context);
    virtual void setStartAngle(float angle);
    virtual float getStartAngle() const;
    virtual void setRangeAngle(float angle);
    virtual float getRangeAngle() const;
    virtual void valueToPoint(CPoint& point) const;
    virtual float valueFromPoint(CPoint& point) const;
    virtual void setInset(int32 value);
    virtual void setShadowColor(const CColor& color);
    virtual void setHandleColor(const CColor& color);
    virtual void setHandleImage(CBitmap* bitmap);
    virtual void setFineFactor(float factor);
    virtual float getFineFactor() const;

    int32 getInset() const { return inset; }
    float getRadius() const { return radius; }

protected:
    void compute();
    // One wheel notch or arrow key: moves the value by `amount`, clamps it and,
    // when that changed what the knob shows, tells the listener inside an edit.
    void stepValue(CDrawContext* context, float amount);

    CPoint offset;
    CColor handleColor = kWhiteCColor;
    CColor shadowColor = kGreyCColor;
    CBitmap* handleImage = nullptr;
    int32 inset = 3;
    float startAngle = 3.9269907f;
    float rangeAngle = -4.712389f;
    float halfAngle = 0.f;
    float angleCoef = 0.f;
    float angleOffset = 0.f;
    float radius = 0.f;
    float fineFactor = 1.5f;
};

class CAnimKnob : public CKnob {
public:
    CAnimKnob(const CRect& size, CControlListener* listener, int32 tag, int32 frameCount, int32 frameHeight,
              CBitmap* background, const CPoint& offset = CPoint());
    ~CAnimKnob() override;

    void draw(CDrawContext* context) override;
    bool isDirty() const override;
    bool isTypeOf(const char* name) const override;

    void setInverted(bool state) { inverted = state; }
    bool getInverted() const { return inverted; }
    int32 getFrameCount() const { return frameCount; }
    int32 getFrameHeight() const { return frameHeight; }
    // Source y in the strip for the current value (what draw uses).
    int32 frameOffsetForValue() const;

protected:
    int32 frameCount = 0;
    int32 frameHeight = 0;
    bool inverted = false;
    CPoint lastHandlePoint;
};

class COnOffButton : public CControl {
public:
    enum Style : int32 { kPostListenerUpdate = 0, kPreListenerUpdate = 1 };

    COnOffButton(const CRect& size, CControlListener* listener, int32 tag, CBitmap* background,
                 int32 style = kPostListenerUpdate);
    ~COnOffButton() override;

    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, int32 buttons = -1) override;
    bool isTypeOf(const char* name) const override;

    virtual int32 getStyle() const;
    virtual void setStyle(int32 value);

protected:
    int32 style = kPostListenerUpdate;
};

}  // namespace VSTGUI
