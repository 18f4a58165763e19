// RigEnginePort: the rig editor's port over a RigEngine in the same process,
// shared by the rig's formats. A format derives from it to tell its host of
// values the user changed (changed(), gestures) and otherwise leaves the
// engine's control-thread calls to it.
//
// The cabinet shown and stepped is the one get() gives, so a format whose
// port shows its controller's values (VST3) steps from what it shows.
//
// Threads: the UI thread only, as the editor calls its port. The engine's
// control calls it makes (post, postProgram, loadImpulseFile, the readers)
// may run beside the audio thread.
#pragma once

#include <string>

#include "editor/RigPort.h"
#include "rig/RigEngine.h"

namespace corvex {

class RigEnginePort : public RigPort {
public:
    explicit RigEnginePort(RigEngine& engine) : rig(engine) {}

    float get(int index) const override { return RigEngine::isParameter(index) ? rig.value(index) : 0.f; }
    void set(int index, float value) override {
        if (rig.post(index, value))
            changed(index, rig.value(index));
    }
    void beginGesture(int) override {}
    void endGesture(int) override {}

    float takeInputPeak() override { return rig.takeInputPeak(); }
    float takeOutputPeak() override { return rig.takeOutputPeak(); }
    bool gateClosed() const override { return rig.gateClosed(); }
    std::string cabinetName() const override {
        const int model = RigEngine::cabinetModelOf(get(kCabinetModel));
        if (model == RigEngine::kUserCabinet) {
            const std::string name = rig.impulseName();
            return name.empty() ? std::string("User (none loaded)") : name;
        }
        const char* name = RigEngine::cabinetName(model);
        return name ? name : "";
    }
    void stepCabinet(int delta) override {
        const int choices = rig.hasImpulse() ? RigEngine::kCabinetChoices : RigEngine::kBundledCabinets;
        int model = RigEngine::cabinetModelOf(get(kCabinetModel));
        model = ((model + delta) % choices + choices) % choices;
        set(kCabinetModel, RigEngine::valueOfCabinetModel(model));
    }
    std::string programName() const override {
        shownProgram = shownProgram < 0 ? rig.currentProgram() : shownProgram;
        if (rig.currentProgram() != lastEngineProgram) {
            lastEngineProgram = rig.currentProgram();
            shownProgram = lastEngineProgram;  // the host changed it
        }
        return numberedProgramName(shownProgram);
    }
    void stepProgram(int delta) override {
        const int count = RigEngine::kProgramCount;
        const int current = shownProgram < 0 ? rig.currentProgram() : shownProgram;
        const int next = ((current + delta) % count + count) % count;
        if (rig.postProgram(next)) {
            shownProgram = next;
            programChanged(next);
        }
    }
    bool loadImpulse(const std::string& path, std::string& error) override {
        if (!rig.loadImpulseFile(path, error))
            return false;
        // The loaded impulse is what the cabinet plays now.
        set(kCabinetModel, RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet));
        if (get(kCabinetOn) < 0.5f)
            set(kCabinetOn, 1.f);
        impulseChanged();
        return true;
    }

protected:
    // "3 Crunch Rhythm": the program's number and name, as the strip shows it.
    std::string numberedProgramName(int program) const {
        char text[64] = {};
        rig.programName(program, text, sizeof text);
        return std::to_string(program + 1) + " " + text;
    }

    // UI thread: the user changed `index` to `value` / chose `program` /
    // loaded an impulse; a format tells its host. Nothing by default.
    virtual void changed(int, float) {}
    virtual void programChanged(int) {}
    virtual void impulseChanged() {}

    RigEngine& rig;

private:
    mutable int shownProgram = -1;       // the program chosen here, before the engine takes it
    mutable int lastEngineProgram = -1;  // the engine's program when last looked at
};

}  // namespace corvex
