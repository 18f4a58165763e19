#include "gui/CControl.h"

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/platform/Platform.h"

#include <cmath>
#include <cstring>

namespace VSTGUI {

namespace {

// The true 2 pi, for knob angles. Not the amp model's ampTwoPi: that one is
// part of the sound (model/StageDesign.h), while a knob only needs a full
// turn, and the GUI toolkit does not depend on the amp model.
constexpr float kTwoPi = 6.2831853f;

bool named(const char* name, const char* own) {
    return name && std::strcmp(name, own) == 0;
}

// Holds a reference across a handler that calls out to the listener and the
// editor, which may close the frame under it.
struct ViewHold {
    explicit ViewHold(CView* v) : view(v) { view->remember(); }
    ~ViewHold() { view->forget(); }
    ViewHold(const ViewHold&) = delete;
    ViewHold& operator=(const ViewHold&) = delete;
    CView* view;
};

}  // namespace

// ---------------------------------------------------------------------------
// CControl

CControl::CControl(const CRect& r, CControlListener* l, int32 t, CBitmap* bitmap) : CView(r), listener(l), tag(t) {
    mouseArea = size;
    transparent = false;
    mouseEnabled = true;
    if (bitmap) {
        bitmap->remember();
        background = bitmap;
    }
    setDirty(true);
}

CControl::~CControl() = default;

int32 CControl::currentButtons(CDrawContext* context) {
    return context ? context->getMouseButtons() : platform().getMouseButtons();
}

bool CControl::isDirty() const {
    return value != drawnValue || CView::isDirty();
}

void CControl::setDirty(bool flag) {
    CView::setDirty(flag);
    if (flag)
        drawnValue = value == -1.f ? 0.f : -1.f;
    else
        drawnValue = value;
}

bool CControl::isTypeOf(const char* name) const {
    return named(name, "CControl") || CView::isTypeOf(name);
}

void CControl::requestIdle() {
    if (frame)
        frame->requestIdle();
}

void CControl::setValue(float v) {
    value = v;
}
float CControl::getValue() const {
    return value;
}
void CControl::setMin(float v) {
    minValue = v;
}
float CControl::getMin() const {
    return minValue;
}
void CControl::setMax(float v) {
    maxValue = v;
}
float CControl::getMax() const {
    return maxValue;
}
void CControl::setDrawnValue(float v) {
    drawnValue = v;
}
float CControl::getDrawnValue() const {
    return drawnValue;
}
void CControl::setDefaultValue(float v) {
    defaultValue = v;
}
float CControl::getDefaultValue() const {
    return defaultValue;
}
void CControl::setTag(int32 v) {
    tag = v;
}
int32 CControl::getTag() const {
    return tag;
}

void CControl::beginEdit() {
    if (!frame)
        return;
    frame->setFocusView(this);
    frame->beginEdit(tag);
}

void CControl::endEdit() {
    if (frame)
        frame->endEdit(tag);
}

void CControl::setBackgroundOffset(const CPoint& o) {
    backgroundOffset = o;
}
void CControl::copyBackgroundOffset() {
    backgroundOffset = CPoint(size.left, size.top);
}
void CControl::setWheelStep(float step) {
    wheelStep = step;
}
float CControl::getWheelStep() const {
    return wheelStep;
}

void CControl::clampValue() {
    if (value > maxValue)
        value = maxValue;
    else if (value < minValue)
        value = minValue;
}

bool CControl::resetToDefault(CDrawContext* context, int32 buttons) {
    if (buttons != (kLButton | kControl))
        return false;
    beginEdit();
    value = getDefaultValue();
    if (isDirty() && listener)
        listener->valueChanged(context, this);
    endEdit();
    return true;
}

// ---------------------------------------------------------------------------
// CKnob

CKnob::CKnob(const CRect& r, CControlListener* l, int32 t, CBitmap* bitmap, CBitmap* handle, const CPoint& o)
    : CControl(r, l, t, bitmap), offset(o) {
    radius = static_cast<float>(size.right - size.left) * 0.5f;
    wantsFocus = true;
    setHandleImage(handle);
    if (!handle)
        inset = 3;
    compute();
}

CKnob::~CKnob() {
    if (handleImage)
        handleImage->forget();
}

bool CKnob::isTypeOf(const char* name) const {
    return named(name, "CKnob") || CControl::isTypeOf(name);
}

void CKnob::compute() {
    halfAngle = (kTwoPi - std::fabs(rangeAngle)) * 0.5f;
    angleCoef = (maxValue - minValue) / rangeAngle;
    angleOffset = minValue - angleCoef * startAngle;
}

void CKnob::setStartAngle(float angle) {
    startAngle = angle;
    compute();
    setDirty(true);
}

float CKnob::getStartAngle() const {
    return startAngle;
}

void CKnob::setRangeAngle(float angle) {
    rangeAngle = angle;
    compute();
    setDirty(true);
}

float CKnob::getRangeAngle() const {
    return rangeAngle;
}

void CKnob::valueToPoint(CPoint& point) const {
    const float angle = (value - angleOffset) / angleCoef;
    const float reach = radius - static_cast<float>(inset);
    point.x =
        static_cast<int32>(std::trunc(std::fmax(-1e6f, std::fmin(1e6f, radius + std::cos(angle) * reach + 0.5f))));
    point.y =
        static_cast<int32>(std::trunc(std::fmax(-1e6f, std::fmin(1e6f, radius - std::sin(angle) * reach + 0.5f))));
}

float CKnob::valueFromPoint(CPoint& point) const {
    // Angle of the point around the centre, counter-clockwise from the right.
    const float angle = std::atan2(radius - static_cast<float>(point.y), static_cast<float>(point.x) - radius);
    // Distance travelled from the start angle in the direction of the range.
    const float direction = rangeAngle < 0.f ? -1.f : 1.f;
    float travel = (angle - startAngle) * direction;
    travel = std::fmod(travel, kTwoPi);
    if (travel < 0.f)
        travel += kTwoPi;
    const float span = std::fabs(rangeAngle);
    if (travel > span) {
        // In the dead zone: the nearer end.
        travel = travel - span < halfAngle ? span : 0.f;
    }
    float v = angleOffset + angleCoef * (startAngle + travel * direction);
    if (v > maxValue)
        v = maxValue;
    if (v < minValue)
        v = minValue;
    return v;
}

void CKnob::setInset(int32 v) {
    inset = v;
}
void CKnob::setShadowColor(const CColor& c) {
    shadowColor = c;
    setDirty(true);
}
void CKnob::setHandleColor(const CColor& c) {
    handleColor = c;
    setDirty(true);
}

void CKnob::setHandleImage(CBitmap* bitmap) {
    if (bitmap)
        bitmap->remember();
    if (handleImage)
        handleImage->forget();
    handleImage = bitmap;
    if (handleImage)
        inset = static_cast<int32>(static_cast<float>(handleImage->getWidth()) * 0.5f + 2.5f);
}

void CKnob::setFineFactor(float factor) {
    fineFactor = factor;
}
float CKnob::getFineFactor() const {
    return fineFactor;
}

void CKnob::draw(CDrawContext* context) {
    if (background && context) {
        if (transparent)
            background->drawTransparent(context, size, offset);
        else
            background->draw(context, size, offset);
    }
    drawHandle(context);
    setDirty(false);
}

void CKnob::drawHandle(CDrawContext* context) {
    if (!context)
        return;
    CPoint where;
    valueToPoint(where);
    where.offset(size.left, size.top);
    if (handleImage) {
        const int32 w = handleImage->getWidth(), h = handleImage->getHeight();
        const CRect r(where.x - w / 2, where.y - h / 2, where.x - w / 2 + w, where.y - h / 2 + h);
        handleImage->drawTransparent(context, r);
        return;
    }
    const CPoint centre(size.left + size.width() / 2, size.top + size.height() / 2);
    const CColor savedColour = context->getFrameColor();
    context->setFrameColor(shadowColor);
    context->moveTo(CPoint(where.x - 1, where.y));
    context->lineTo(CPoint(centre.x - 1, centre.y));
    context->setFrameColor(handleColor);
    context->moveTo(CPoint(where.x, where.y - 1));
    context->lineTo(CPoint(centre.x, centre.y - 1));
    context->setFrameColor(savedColour);
}

void CKnob::mouse(CDrawContext* context, CPoint& where, int32 buttons) {
    if (!mouseEnabled)
        return;
    if (buttons == -1)
        buttons = currentButtons(context);
    if (!(buttons & kLButton))
        return;
    ViewHold hold(this);
    if (listener && hasModifier(buttons)) {
        if (listener->modifierClicked(context, this, buttons) != 0)
            return;
    }
    if (resetToDefault(context, buttons))
        return;

    // Linear drag: right and up raise the value, 200 pixels (x fineFactor
    // with Shift) for the whole range.
    float entry = value;
    float range = 200.f;
    int32 lastButtons = buttons;
    if (buttons & kShift)
        range *= fineFactor;
    float coef = (maxValue - minValue) / range;
    const CPoint firstPoint = where;
    CPoint lastPoint(-1, -1);

    beginEdit();
    int32 current = 0;
    do {
        current = currentButtons(context);
        if (where != lastPoint) {
            lastPoint = where;
            const float diff = static_cast<float>((where.x - firstPoint.x) + (firstPoint.y - where.y));
            if (current != lastButtons) {
                // Re-anchor so the value does not jump when Shift changes.
                const float newRange = (current & kShift) ? 200.f * fineFactor : 200.f;
                const float newCoef = (maxValue - minValue) / newRange;
                entry += diff * (coef - newCoef);
                coef = newCoef;
                lastButtons = current;
            }
            value = entry + diff * coef;
            clampValue();
            if (isDirty() && listener)
                listener->valueChanged(context, this);
        }
        getMouseLocation(context, where);
        requestIdle();
        if (!frame)
            break;  // the editor closed under the drag
    } while (current & kLButton);
    endEdit();
}

bool CKnob::onWheel(CDrawContext* context, const CPoint&, float distance) {
    if (!mouseEnabled)
        return false;
    const int32 buttons = currentButtons(context);
    stepValue(context, (buttons & kShift) ? wheelStep * distance * 0.1f : wheelStep * distance);
    return true;
}

int32 CKnob::onKeyDown(VstKeyCode& key) {
    float direction = 0.f;
    switch (key.virt) {
        case VKEY_LEFT:
        case VKEY_DOWN:
            direction = -1.f;
            break;
        case VKEY_UP:
        case VKEY_RIGHT:
            direction = 1.f;
            break;
        default:
            return -1;
    }
    stepValue(nullptr, (key.modifier & MODIFIER_SHIFT) ? wheelStep * direction * 0.1f : wheelStep * direction);
    return 1;
}

void CKnob::stepValue(CDrawContext* context, float amount) {
    value += amount;
    clampValue();
    if (isDirty() && listener) {
        ViewHold hold(this);
        beginEdit();
        listener->valueChanged(context, this);
        endEdit();
    }
}

// ---------------------------------------------------------------------------
// CAnimKnob

CAnimKnob::CAnimKnob(const CRect& r, CControlListener* l, int32 t, int32 count, int32 height, CBitmap* bitmap,
                     const CPoint& o)
    : CKnob(r, l, t, bitmap, nullptr, o), frameCount(count), frameHeight(height) {
    inset = 0;
}

CAnimKnob::~CAnimKnob() = default;

bool CAnimKnob::isTypeOf(const char* name) const {
    return named(name, "CAnimKnob") || CKnob::isTypeOf(name);
}

bool CAnimKnob::isDirty() const {
    if (!dirty) {
        CPoint p;
        valueToPoint(p);
        if (p == lastHandlePoint)
            return false;
    }
    return CKnob::isDirty();
}

int32 CAnimKnob::frameOffsetForValue() const {
    if (!(value >= 0.f) || frameHeight <= 0 || frameCount <= 1)
        return 0;  // NaN counts as below
    const int64_t total = static_cast<int64_t>(frameHeight) * (frameCount - 1);
    long double v = inverted ? 1.0L - static_cast<long double>(value) : static_cast<long double>(value);
    // Beyond the range the strip's ends are shown.
    if (v < 0.0L)
        v = 0.0L;
    if (v > 1.0L)
        v = 1.0L;
    const int64_t y = static_cast<int64_t>(v * static_cast<long double>(total));
    // Down to the top of the frame y falls in; y = total keeps the last frame.
    for (int64_t k = 0; k <= total; k += frameHeight) {
        if (y < k)
            return static_cast<int32>(k - frameHeight < 0 ? 0 : k - frameHeight);
    }
    return static_cast<int32>(y);
}

void CAnimKnob::draw(CDrawContext* context) {
    if (background && context) {
        const CPoint source(0, frameOffsetForValue());
        if (transparent)
            background->drawTransparent(context, size, source);
        else
            background->draw(context, size, source);
    }
    valueToPoint(lastHandlePoint);
    setDirty(false);
}

// ---------------------------------------------------------------------------
// COnOffButton

COnOffButton::COnOffButton(const CRect& r, CControlListener* l, int32 t, CBitmap* bitmap, int32 s)
    : CControl(r, l, t, bitmap), style(s) {}

COnOffButton::~COnOffButton() = default;

bool COnOffButton::isTypeOf(const char* name) const {
    return named(name, "COnOffButton") || CControl::isTypeOf(name);
}

int32 COnOffButton::getStyle() const {
    return style;
}
void COnOffButton::setStyle(int32 v) {
    style = v;
}

void COnOffButton::draw(CDrawContext* context) {
    if (background && context) {
        const int32 y = value != 0.f ? background->getHeight() / 2 : 0;
        if (transparent)
            background->drawTransparent(context, size, CPoint(0, y));
        else
            background->draw(context, size, CPoint(0, y));
    }
    setDirty(false);
}

void COnOffButton::mouse(CDrawContext* context, CPoint&, int32 buttons) {
    if (!mouseEnabled)
        return;
    if (buttons == -1)
        buttons = currentButtons(context);
    if (!(buttons & kLButton))
        return;
    ViewHold hold(this);
    if (listener && hasModifier(buttons)) {
        if (listener->modifierClicked(context, this, buttons) != 0)
            return;
    }
    // Any value in (-1, 1) turns on; a whole non-zero value turns off.
    value = std::trunc(value) != 0.f ? 0.f : 1.f;
    if (listener && style == kPreListenerUpdate) {
        beginEdit();
        listener->valueChanged(context, this);
        endEdit();
    }
    requestIdle();
    if (listener && style == kPostListenerUpdate) {
        beginEdit();
        listener->valueChanged(context, this);
        endEdit();
    }
}

}  // namespace VSTGUI
