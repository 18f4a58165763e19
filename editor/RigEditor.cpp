#include "editor/RigEditor.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include <new>

#ifdef _WIN32
#include <windows.h>
#include <commdlg.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

#include "gui/CBitmap.h"
#include "gui/CDragContainer.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/platform/Platform.h"

using namespace VSTGUI;

namespace corvex {

namespace {

constexpr int32 kFontImage = 40;  // characters 32..126, 7 x 14 each
constexpr int32 kKnobImage = 1;
constexpr int32 kKnobFrames = 63;
constexpr int kCellWidth = 7;
constexpr int kCellHeight = 14;
constexpr int kStripTop = 248;

const CColor kStripColour{38, 33, 31, 255};
const CColor kRuleColour{120, 100, 70, 255};
const CColor kBoxColour{70, 62, 56, 255};
const CColor kLampOff{70, 20, 18, 255};
const CColor kLampOn{235, 40, 30, 255};
const CColor kMeterBack{20, 18, 17, 255};
const CColor kMeterGreen{60, 190, 70, 255};
const CColor kMeterAmber{230, 170, 40, 255};
const CColor kMeterRed{230, 40, 30, 255};

// Places in the strip, frame coordinates.
const CRect kGateKnob(10, kStripTop + 6, 55, kStripTop + 51);
const CRect kLamp(62, kStripTop + 14, 72, kStripTop + 24);
const CRect kCabinetOnBox(100, kStripTop + 8, 140, kStripTop + 26);
const CRect kCabinetPrev(146, kStripTop + 8, 162, kStripTop + 26);
const CRect kCabinetNext(314, kStripTop + 8, 330, kStripTop + 26);
const CRect kLoadBox(100, kStripTop + 32, 184, kStripTop + 50);
const CRect kTrimKnob(346, kStripTop + 6, 391, kStripTop + 51);
const CRect kInputMeter(434, kStripTop + 12, 648, kStripTop + 22);
const CRect kOutputMeter(434, kStripTop + 32, 648, kStripTop + 42);
const CRect kProgramPrev(70, kStripTop + 70, 86, kStripTop + 88);
const CRect kProgramNext(314, kStripTop + 70, 330, kStripTop + 88);

bool inside(const CRect& r, const CPoint& p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

// Peak (linear) -> 0..1 across -60..+6 dB.
double meterFraction(float peak) {
    if (!(peak > 1e-6f))
        return 0.0;
    const double db = 20.0 * std::log10(static_cast<double>(peak));
    return std::clamp((db + 60.0) / 66.0, 0.0, 1.0);
}

#ifndef _WIN32
// A program on the PATH.
bool findProgram(const char* name) {
    const char* path = std::getenv("PATH");
    if (!path)
        return false;
    std::string all(path);
    size_t start = 0;
    while (start <= all.size()) {
        const size_t end = std::min(all.find(':', start), all.size());
        const std::string candidate = all.substr(start, end - start) + "/" + name;
        if (end > start && access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}
#endif

}  // namespace

// The desktop's file chooser while it runs: its process and the pipe its
// answer comes through, read without blocking at each idle.
struct ChooserResult {
#ifndef _WIN32
    pid_t pid = -1;
    int fd = -1;
    std::string output;
#endif
};

// The strip below the head's panel. Draws everything but the two knobs, and
// takes the presses on its boxes.
class RigStrip : public CView {
public:
    RigStrip(const CRect& size, RigEditor& editor) : CView(size), editor(editor), font(new CBitmap(kFontImage)) {}
    ~RigStrip() override { font->forget(); }

    void draw(CDrawContext* context) override {
        context->setFillColor(kStripColour);
        context->fillRect(CRect(size.left - 1, size.top - 1, size.right, size.bottom));
        context->setFillColor(kRuleColour);
        context->fillRect(CRect(size.left - 1, size.top - 1, size.right, size.top + 1));

        text(context, 14, kGateKnob.bottom + 2, "GATE");
        lamp(context);
        text(context, 58, kLamp.bottom + 4, "SHUT");

        box(context, kCabinetOnBox, cabinetOn ? "ON" : "OFF");
        box(context, kCabinetPrev, "<");
        text(context, kCabinetPrev.right + 4, kCabinetPrev.top + 2, fit(cabinet, 20));
        box(context, kCabinetNext, ">");
        box(context, kLoadBox, "LOAD IR");
        text(context, kLoadBox.right + 8, kLoadBox.top + 2, "or drop a file");

        text(context, kTrimKnob.left + 8, kTrimKnob.bottom + 2, "TRIM");
        text(context, kInputMeter.left - 30, kInputMeter.top - 2, "IN");
        meter(context, kInputMeter, inputLevel);
        text(context, kOutputMeter.left - 30, kOutputMeter.top - 2, "OUT");
        meter(context, kOutputMeter, outputLevel);

        text(context, 14, kProgramPrev.top + 2, "PRESET");
        box(context, kProgramPrev, "<");
        text(context, kProgramPrev.right + 4, kProgramPrev.top + 2, fit(program, 32));
        box(context, kProgramNext, ">");

        text(context, 14, size.bottom - kCellHeight - 2, fit(editor.message(), (size.width() - 28) / kCellWidth));
        setDirty(false);
    }

    void mouse(CDrawContext*, CPoint& where, int32 buttons) override {
        if (buttons != -1 && !(buttons & kLButton))
            return;
        RigPort& port = editor.rigPort();
        if (inside(kCabinetOnBox, where)) {
            port.beginGesture(kRigPortCabinetOn);
            port.set(kRigPortCabinetOn, port.get(kRigPortCabinetOn) >= 0.5f ? 0.f : 1.f);
            port.endGesture(kRigPortCabinetOn);
        } else if (inside(kCabinetPrev, where) || inside(kCabinetNext, where)) {
            port.stepCabinet(inside(kCabinetPrev, where) ? -1 : 1);
        } else if (inside(kLoadBox, where)) {
            editor.chooseImpulse();
        } else if (inside(kProgramPrev, where) || inside(kProgramNext, where)) {
            port.stepProgram(inside(kProgramPrev, where) ? -1 : 1);
        } else {
            return;
        }
        refresh(false);
    }

    // Reads what the strip shows from the port; redraws when any of it
    // changed. `meters`: take the peaks too (the regular idle).
    void refresh(bool meters) {
        RigPort& port = editor.rigPort();
        bool changed = false;
        auto follow = [&](auto& field, const auto& value) {
            if (!(field == value)) {
                field = value;
                changed = true;
            }
        };
        follow(cabinetOn, port.get(kRigPortCabinetOn) >= 0.5f);
        follow(closed, port.gateClosed());
        follow(cabinet, port.cabinetName());
        follow(program, port.programName());
        if (meters) {
            // A fast rise, a slow fall: the level falls a twentieth of the
            // scale per idle at most.
            const double in = std::max(meterFraction(port.takeInputPeak()), inputLevel - 0.05);
            const double out = std::max(meterFraction(port.takeOutputPeak()), outputLevel - 0.05);
            follow(inputLevel, std::max(in, 0.0));
            follow(outputLevel, std::max(out, 0.0));
        }
        if (changed)
            setDirty(true);
    }

    // The drop goes to the frame, wherever it lands; the frame hands it here.
    bool dropFirstFile(CDragContainer* drag) {
        if (!drag)
            return false;
        int32 length = 0, type = 0;
        const char* item = drag->first(length, type);
        if (!item || type != CDragContainer::kFile) {
            editor.setMessage("Only files can be dropped here");
            return false;
        }
        return editor.loadImpulse(std::string(item, static_cast<size_t>(length)));
    }

    double inputLevel = 0.0, outputLevel = 0.0;
    bool closed = false;
    bool cabinetOn = false;
    std::string cabinet, program;

private:
    static std::string fit(const std::string& s, int cells) {
        if (cells <= 0)
            return std::string();
        if (static_cast<int>(s.size()) <= cells)
            return s;
        return s.substr(0, static_cast<size_t>(std::max(cells - 3, 0))) + "...";
    }

    void text(CDrawContext* context, int x, int y, const std::string& s) {
        for (char c : s) {
            const unsigned char code = static_cast<unsigned char>(c);
            const int index = code >= 32 && code <= 126 ? code - 32 : '?' - 32;
            if (code != ' ')
                font->drawAlphaBlend(context, CRect(x, y, x + kCellWidth, y + kCellHeight),
                                     CPoint(index * kCellWidth, 0), 255);
            x += kCellWidth;
        }
    }

    void box(CDrawContext* context, const CRect& r, const std::string& label) {
        context->setFillColor(kRuleColour);
        context->fillRect(CRect(r.left - 1, r.top - 1, r.right, r.bottom));
        context->setFillColor(kBoxColour);
        context->fillRect(CRect(r.left, r.top, r.right - 1, r.bottom - 1));
        const int width = static_cast<int>(label.size()) * kCellWidth;
        text(context, static_cast<int>(r.left + (r.width() - width) / 2), static_cast<int>(r.top + (r.height() - kCellHeight) / 2), label);
    }

    void lamp(CDrawContext* context) {
        context->setFillColor(closed ? kLampOn : kLampOff);
        context->fillRect(CRect(kLamp.left - 1, kLamp.top - 1, kLamp.right, kLamp.bottom));
    }

    void meter(CDrawContext* context, const CRect& r, double level) {
        context->setFillColor(kMeterBack);
        context->fillRect(CRect(r.left - 1, r.top - 1, r.right, r.bottom));
        const int width = static_cast<int>(std::lround(level * r.width()));
        const int amberAt = static_cast<int>(r.width() * 54 / 66);  // -6 dB
        const int redAt = static_cast<int>(r.width() * 60 / 66);    // 0 dB
        auto segment = [&](int from, int to, const CColor& colour) {
            to = std::min(to, width);
            if (to <= from)
                return;
            context->setFillColor(colour);
            context->fillRect(CRect(r.left + from - 1, r.top - 1, r.left + to, r.bottom));
        };
        segment(0, amberAt, kMeterGreen);
        segment(amberAt, redAt, kMeterAmber);
        segment(redAt, static_cast<int>(r.width()), kMeterRed);
    }

    RigEditor& editor;
    CBitmap* font;
};

namespace {

// The frame of the rig's panel: a drop anywhere on it loads the impulse.
class RigFrame : public CFrame {
public:
    RigFrame(const CRect& size, void* parent, RigEditor* editor) : CFrame(size, parent, editor), editor(editor) {}
    bool onDrop(CDrawContext*, CDragContainer* drag, const CPoint&) override {
        RigStrip* strip = editor->strip();
        return strip && strip->dropFirstFile(drag);
    }
    void onDragEnter(CDrawContext*, CDragContainer*, const CPoint&) override {}
    void onDragLeave(CDrawContext*, CDragContainer*, const CPoint&) override {}
    void onDragMove(CDrawContext*, CDragContainer*, const CPoint&) override {}

private:
    RigEditor* editor;
};


}  // namespace

RigEditor::RigEditor(RigPort& port) : SDEditor(port), rig(port) {
    rect.bottom = static_cast<int16_t>(rect.bottom + kStripHeight);
}

RigEditor::~RigEditor() {
    close();
}

CFrame* RigEditor::makeFrame(const CRect& size, void* parentWindow) {
    return new RigFrame(size, parentWindow, this);
}

void RigEditor::openExtras(CFrame* frame) {
    stripView = new RigStrip(CRect(0, kStripTop, rect.right, rect.bottom), *this);
    frame->addView(stripView);
    CBitmap* knob = new CBitmap(kKnobImage);
    const int32 frameHeight = knob->getHeight() / kKnobFrames;
    for (const auto& place : {std::make_pair(kGateKnob, kRigPortGateThreshold),
                              std::make_pair(kTrimKnob, kRigPortCabinetTrim)}) {
        CRect r = place.first;
        r.bottom = r.top + frameHeight;
        auto* control = new CAnimKnob(r, this, place.second, kKnobFrames, frameHeight, knob, CPoint(0, 0));
        control->setValue(rig.get(place.second));
        frame->addView(control);
        rigKnobs[place.second == kRigPortGateThreshold ? 0 : 1] = control;
    }
    knob->forget();
    for (int32 tag = 0; tag < kSeenParameters; ++tag)
        seen[tag] = rig.get(tag);
    stripView->refresh(false);
}

void RigEditor::closeExtras() {
    stopChooser();
    stripView = nullptr;
    rigKnobs[0] = rigKnobs[1] = nullptr;
}

void RigEditor::valueChanged(CDrawContext* context, CControl* control) {
    if (control && control->getTag() >= kNumControls) {
        rig.set(control->getTag(), control->getValue());
        control->setDirty(true);
        return;
    }
    SDEditor::valueChanged(context, control);
}

void RigEditor::idle() {
    if (getFrame()) {
        // Values the port's owner stored since the last idle (host
        // automation, programs, states) move their controls; a control the
        // user is dragging keeps its value until the stored one changes.
        for (int32 tag = 0; tag < kSeenParameters; ++tag) {
            CControl* control = tag < kNumControls ? getControl(tag)
                                : tag == kRigPortGateThreshold ? rigKnobs[0]
                                : tag == kRigPortCabinetTrim   ? rigKnobs[1]
                                                               : nullptr;
            const float value = rig.get(tag);
            if (value != seen[tag]) {
                seen[tag] = value;
                if (control)
                    control->setValue(value);
            }
        }
#ifndef _WIN32
        if (chooser)
            pollChooser();
#endif
        if (stripView)
            stripView->refresh(true);
    }
    SDEditor::idle();
}

#ifndef _WIN32
void RigEditor::pollChooser() {
    char buffer[1024];
    for (;;) {
        const ssize_t got = read(chooser->fd, buffer, sizeof buffer);
        if (got > 0) {
            if (chooser->output.size() < 65536)
                chooser->output.append(buffer, static_cast<size_t>(got));
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return;  // still open
        break;       // the chooser closed its end
    }
    int status = 0;
    if (waitpid(chooser->pid, &status, WNOHANG) == 0)
        return;  // closed its output but not gone yet: next idle
    ::close(chooser->fd);
    std::string path = chooser->output;
    chooser.reset();
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r'))
        path.pop_back();
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && !path.empty())
        loadImpulse(path);
    else
        setMessage("");  // cancelled
}
#endif

void RigEditor::stopChooser() {
#ifndef _WIN32
    if (!chooser)
        return;
    kill(chooser->pid, SIGTERM);
    waitpid(chooser->pid, nullptr, 0);
    ::close(chooser->fd);
    chooser.reset();
#endif
}

void RigEditor::setMessage(const std::string& text) {
    statusLine = text;
    for (char& c : statusLine)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    if (stripView)
        stripView->setDirty(true);
}

bool RigEditor::loadImpulse(const std::string& rawPath) {
    std::string path = rawPath;
    std::string error;
    if (rig.loadImpulse(path, error)) {
        const size_t slash = path.find_last_of("/\\");
        setMessage("Loaded " + (slash == std::string::npos ? path : path.substr(slash + 1)));
        if (stripView)
            stripView->refresh(false);
        return true;
    }
    setMessage(error.empty() ? std::string("The file was refused") : error);
    return false;
}

bool RigEditor::chooseImpulse() {
    if (chooser)
        return true;  // one is open already
#ifdef _WIN32
    // The system's open-file dialog, modal over the host's window.
    wchar_t file[MAX_PATH * 4] = {};
    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = getFrame() ? static_cast<HWND>(getFrame()->getWindow()) : nullptr;
    request.lpstrFilter = L"Impulses (WAV, FLAC, AIFF, OGG)\0*.wav;*.flac;*.aif;*.aiff;*.ogg\0All files\0*.*\0";
    request.lpstrFile = file;
    request.nMaxFile = MAX_PATH * 4;
    request.lpstrTitle = L"Load an impulse";
    request.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&request))
        return false;  // cancelled
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, file, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1)
        return false;
    std::string path(static_cast<size_t>(bytes - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, file, -1, &path[0], bytes, nullptr, nullptr);
    return loadImpulse(path);
#else
    std::vector<std::string> args;
    if (findProgram("zenity"))
        args = {"zenity", "--file-selection", "--title=Load an impulse",
                "--file-filter=Impulses | *.wav *.WAV *.flac *.FLAC *.aif *.aiff *.AIF *.AIFF *.ogg *.OGG"};
    else if (findProgram("kdialog"))
        args = {"kdialog", "--title", "Load an impulse", "--getopenfilename", ".",
                "*.wav *.WAV *.flac *.FLAC *.aif *.aiff *.AIF *.AIFF *.ogg *.OGG"};
    if (args.empty()) {
        setMessage("No file chooser here (install zenity or kdialog): drop the file on the panel instead");
        return false;
    }
    // Started as a child process whose answer is read at each idle: the UI
    // thread never waits for the user.
    int ends[2];
    if (pipe(ends) != 0) {
        setMessage("The file chooser could not be started");
        return false;
    }
    fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    fcntl(ends[0], F_SETFL, fcntl(ends[0], F_GETFL) | O_NONBLOCK);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    posix_spawn_file_actions_addclose(&actions, ends[0]);
    posix_spawn_file_actions_addclose(&actions, ends[1]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (failed != 0) {
        ::close(ends[0]);
        setMessage("The file chooser could not be started");
        return false;
    }
    chooser = std::make_shared<ChooserResult>();
    chooser->pid = pid;
    chooser->fd = ends[0];
    setMessage("Choose an impulse file...");
    return true;
#endif
}

namespace {

class RigPortPanel final : public Panel {
public:
    explicit RigPortPanel(RigPort& port) : editor(port) {}
    ~RigPortPanel() override { editor.close(); }

    bool open(void* parentWindow) override { return parentWindow && editor.open(parentWindow); }
    void close() override { editor.close(); }
    void idle() override { editor.idle(); }
    void parameterChanged(int index, float value) override { editor.setParameter(index, value); }
    int eventDescriptor() const override { return platform().eventDescriptor(); }
    void* nativeWindow() const override { return editor.getFrame() ? editor.getFrame()->getWindow() : nullptr; }
    bool setScale(double scale) override { return editor.setScaleFactor(scale); }
    void size(uint32_t& width, uint32_t& height) const override {
        ERect* r = nullptr;
        const_cast<RigEditor&>(editor).getRect(&r);
        width = r ? static_cast<uint32_t>(r->right - r->left) : 0;
        height = r ? static_cast<uint32_t>(r->bottom - r->top) : 0;
    }

private:
    RigEditor editor;
};

}  // namespace

std::unique_ptr<Panel> createRigPanel(RigPort& port) {
    try {
        return std::unique_ptr<Panel>(new RigPortPanel(port));
    } catch (...) {
        return nullptr;
    }
}

}  // namespace corvex
