// The front panel for plug-in formats without an effect object: SDEditor
// bound to a ParameterPort, behind the small Panel interface.
#include <new>

#include "editor/ParameterPort.h"
#include "editor/SDEditor.h"
#include "gui/CFrame.h"
#include "gui/platform/Platform.h"

namespace corvex {

namespace {

class PortPanel final : public Panel {
public:
    explicit PortPanel(ParameterPort& port) : editor(port) {}
    ~PortPanel() override { editor.close(); }

    bool open(void* parentWindow) override { return parentWindow && editor.open(parentWindow); }
    void close() override { editor.close(); }
    void idle() override { editor.idle(); }
    void parameterChanged(int index, float value) override { editor.setParameter(index, value); }
    int eventDescriptor() const override { return VSTGUI::platform().eventDescriptor(); }
    void* nativeWindow() const override { return editor.getFrame() ? editor.getFrame()->getWindow() : nullptr; }
    bool setScale(double scale) override { return editor.setScaleFactor(scale); }
    void size(uint32_t& width, uint32_t& height) const override {
        ERect* r = nullptr;
        const_cast<SDEditor&>(editor).getRect(&r);
        width = r ? static_cast<uint32_t>(r->right - r->left) : 0;
        height = r ? static_cast<uint32_t>(r->bottom - r->top) : 0;
    }

private:
    SDEditor editor;
};

}  // namespace

std::unique_ptr<Panel> createPanel(ParameterPort& port) {
    try {
        return std::unique_ptr<Panel>(new PortPanel(port));
    } catch (...) {
        return nullptr;  // the panel's images could not be made
    }
}

}  // namespace corvex
