// The head's gui extension: the amp's front panel (ClapEmbeddedGui.h, at
// 660 x 248 times the host's scale), bound to the plug-in's parameter port.
// Each idle also shows the panel the values the engine stored since the
// last one, except those of controls the user is holding.
#include <cstring>

#include "clap/ClapEmbeddedGui.h"
#include "clap/ClapExtensions.h"
#include "clap/ClapPlugin.h"

namespace {

uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

}  // namespace

bool ClapPlugin::guiUsable() const {
    return engine() && onMainThread();
}

bool ClapPlugin::makePanel() {
    if (!gui.panel)
        gui.panel = corvex::createPanel(panelPort());
    return gui.panel != nullptr;
}

void ClapPlugin::panelOpened() {
    for (uint32_t i = 0; i < kNumParams; ++i) {
        gui.shown[i] = bitsOf(engine()->value(static_cast<int>(i)));
        gui.held[i] = false;
    }
}

void ClapPlugin::idlePanel() {
    if (!gui.panel || !engine())
        return;
    for (uint32_t i = 0; i < kNumParams; ++i) {
        const float value = engine()->value(static_cast<int>(i));
        if (!gui.held[i] && bitsOf(value) != gui.shown[i]) {
            gui.shown[i] = bitsOf(value);
            gui.panel->parameterChanged(static_cast<int>(i), value);
        }
    }
    gui.panel->idle();
}

void ClapPlugin::releasePanel() {
    gui.panel.reset();
}

const clap_plugin_gui kClapGui = ClapGuiSlots<ClapPlugin>::gui;
const clap_plugin_timer_support kClapTimerSupport = ClapGuiSlots<ClapPlugin>::timerSupport;
const clap_plugin_posix_fd_support kClapPosixFdSupport = ClapGuiSlots<ClapPlugin>::posixFdSupport;

void closeClapEditor(ClapPlugin& self) {
    closeClapPanel(self.guiHost(), self.gui);
}
