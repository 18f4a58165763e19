// RigPort: what the rig's editor needs of the rig beyond its parameters:
// the meters, the gate's lamp, the names it shows, the program and cabinet
// steps and the user's impulse. Each rig format implements it over its
// engine; the editor knows no format and no engine.
//
// Threads: the editor calls every member on the UI thread.
#pragma once

#include <memory>
#include <string>

#include "editor/ParameterPort.h"

namespace corvex {

// The rig's own parameters the strip shows as controls (indexes after the
// head's thirteen, as the rig numbers them).
constexpr int kRigPortGateThreshold = 13;
constexpr int kRigPortCabinetOn = 15;
constexpr int kRigPortCabinetTrim = 17;

class RigPort : public ParameterPort {
public:
    // The highest input / output sample since the last call (linear, 0..).
    virtual float takeInputPeak() = 0;
    virtual float takeOutputPeak() = 0;
    // Whether the gate is closed now.
    virtual bool gateClosed() const = 0;
    // The cabinet playing ("4x12 Closed", or the user's impulse's file name).
    virtual std::string cabinetName() const = 0;
    // Steps the cabinet choice by `delta` (wrapping round).
    virtual void stepCabinet(int delta) = 0;
    // The current program's name; steps the program by `delta` (wrapping).
    virtual std::string programName() const = 0;
    virtual void stepProgram(int delta) = 0;
    // Reads and checks the impulse at `path` and plays it; on a refusal,
    // false with one line of explanation in `error` (the cabinet kept).
    virtual bool loadImpulse(const std::string& path, std::string& error) = 0;
};

// The height of the strip below the head's panel (the rig's panel is
// kPanelWidth x kPanelHeight + RigEditorStripHeight).
constexpr int RigEditorStripHeight = 110;

// The rig's panel: the head's panel with the rig strip below it.
std::unique_ptr<Panel> createRigPanel(RigPort& port);

}  // namespace corvex
