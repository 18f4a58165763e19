// The rig's panel on the Win32 window layer, run under wine (rig_editor_win32,
// in the Windows stage): the panel opens in a window of ours over a RigEngine,
// then
//  - LOAD IR: a press on the button (a real one, SendInput: the panel reads
//    the button's state) opens the system's open-file dialog
//    (GetOpenFileNameW); a thread of ours plays the user, types the
//    impulse's path into the dialog and presses Open; the panel loads it;
//  - a drop: a real OLE drag (DoDragDrop with a data object of ours carrying
//    CF_HDROP, the cursor over the panel) ends on the drop target the panel
//    registered; the panel loads the dropped file;
//  - a file that is no impulse dropped the same way: refused, the cabinet
//    kept, the strip says why.
//
//   corvex-rig-panel-win32 IMPULSE.wav
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <functional>
#include <string>
#include <thread>

#include "editor/RigEditor.h"
#include "gui/CFrame.h"
#include "rig/RigEnginePort.h"

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok)
        failures++;
}

std::wstring fullPath(const char* path) {
    wchar_t given[MAX_PATH * 2] = {}, full[MAX_PATH * 2] = {};
    MultiByteToWideChar(CP_UTF8, 0, path, -1, given, MAX_PATH * 2);
    const DWORD n = GetFullPathNameW(given, MAX_PATH * 2, full, nullptr);
    return n > 0 && n < MAX_PATH * 2 ? std::wstring(full) : std::wstring(given);
}

// Windows' messages and the panel's idle, until `done` or `milliseconds`.
bool pump(corvex::RigEditor& editor, int milliseconds, const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        editor.idle();
        if (done && done())
            return true;
        Sleep(10);
    }
    return false;
}

void mouseButton(DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

// The user in the open-file dialog (a thread of its own): waits for the
// dialog, lets the mouse button go, types `path` where the file name goes
// and presses Open.
std::string dialogSeen;  // what the user saw (written by its thread, read after join)
BOOL CALLBACK listWindow(HWND window, LPARAM) {
    char kind[64] = {};
    GetClassNameA(window, kind, sizeof kind);  // sends no message: the UI thread may be waiting for us
    if (IsWindowVisible(window))
        dialogSeen += std::string(" [") + kind + "]";
    return TRUE;
}
void answerDialog(const std::wstring& path, std::atomic<bool>& answered) {
    for (int i = 0; i < 1500 && !answered; ++i) {
        HWND dialog = FindWindowW(L"#32770", L"Load an impulse");
        if (dialog) {
            dialogSeen = "the dialog";
            mouseButton(MOUSEEVENTF_LEFTUP);
            Sleep(200);  // let it finish building
            // The file name box: a combo box (cmb13) in the newer layout,
            // an edit box (edt1) in the older one.
            HWND name = GetDlgItem(dialog, 0x47c);
            if (!name)
                name = GetDlgItem(dialog, 0x480);
            if (name) {
                SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
                PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
                answered = true;
            } else {
                dialogSeen = "the dialog without a file name box";
            }
        }
        Sleep(20);
    }
    if (dialogSeen.empty()) {
        mouseButton(MOUSEEVENTF_LEFTUP);
        dialogSeen = "no dialog; windows:";
        EnumWindows(listWindow, 0);
    }
}

// QueryInterface of an object with one interface, `own`.
template <class Interface>
HRESULT answer(Interface* self, REFIID own, REFIID wanted, void** object) {
    if (!object)
        return E_POINTER;
    *object = IsEqualIID(wanted, IID_IUnknown) || IsEqualIID(wanted, own) ? self : nullptr;
    if (!*object)
        return E_NOINTERFACE;
    self->AddRef();
    return S_OK;
}

// A data object carrying one file as CF_HDROP, as Explorer's does.
class FileData final : public IDataObject {
public:
    explicit FileData(const std::wstring& path) : file(path) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        return answer(this, IID_IDataObject, iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&count)); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(InterlockedDecrement(&count)); }

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium)
            return E_INVALIDARG;
        if (QueryGetData(format) != S_OK)
            return DV_E_FORMATETC;
        // DROPFILES, then the names, each ending in a 0, and one more 0.
        const size_t bytes = sizeof(DROPFILES) + (file.size() + 2) * sizeof(wchar_t);
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
        if (!memory)
            return E_OUTOFMEMORY;
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), file.c_str(), file.size() * sizeof(wchar_t));
        GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        return format && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out)
            out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    LONG count = 1;
    std::wstring file;
};

// The drag's source: the mouse is let go after a few turns of the drag loop
// (by then the loop has entered the panel's window under the cursor).
class LetGoSoon final : public IDropSource {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        return answer(this, IID_IDropSource, iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP QueryContinueDrag(BOOL escape, DWORD) override {
        if (escape)
            return DRAGDROP_S_CANCEL;
        return ++turns >= 4 ? DRAGDROP_S_DROP : S_OK;
    }
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
    int turns = 0;
};

// Drags `file` from nowhere onto the screen point (x, y) and lets go there.
HRESULT dragOnto(const std::wstring& file, int x, int y, DWORD& effect) {
    SetCursorPos(x, y);
    Sleep(100);
    FileData data(file);
    LetGoSoon source;
    effect = DROPEFFECT_NONE;
    return DoDragDrop(&data, &source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: corvex-rig-panel-win32 IMPULSE.wav\n");
        return 2;
    }
    const std::wstring impulse = fullPath(argv[1]);
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring dropped = std::wstring(folder) + L"corvex dropped cab " + std::to_wstring(GetCurrentProcessId()) +
                                 L".wav";
    const std::wstring notAudio = std::wstring(folder) + L"corvex not audio " + std::to_wstring(GetCurrentProcessId()) +
                                  L".wav";
    check(CopyFileW(impulse.c_str(), dropped.c_str(), FALSE) != 0, "a copy of the impulse to drop");
    if (FILE* f = _wfopen(notAudio.c_str(), L"wb")) {
        std::fputs("this is not a sound file at all, only some words", f);
        std::fclose(f);
    }

    OleInitialize(nullptr);  // the UI thread of a host: OLE is there for drags
    const HWND host = CreateWindowExW(0, L"STATIC", L"rig panel host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 720,
                                      420, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    corvex::RigEngine engine;
    engine.setSampleRate(48000.0);
    corvex::RigEnginePort port(engine);
    corvex::RigEditor editor(port);
    check(host && editor.open(host), "the rig's panel opens in a window of ours");
    const HWND panel = editor.getFrame() ? static_cast<HWND>(editor.getFrame()->getWindow()) : nullptr;
    check(panel != nullptr, "its frame window");
    pump(editor, 500, nullptr);
    const std::string name = [&] {
        const size_t slash = std::string(argv[1]).find_last_of("/\\");
        return slash == std::string::npos ? std::string(argv[1]) : std::string(argv[1]).substr(slash + 1);
    }();

    // LOAD IR (84 x 18 at 100, 280): the dialog, answered by our user.
    std::atomic<bool> answered{false};
    std::thread user(answerDialog, impulse, std::ref(answered));
    // A real press (the panel reads the button's state, not the message's):
    // the button goes down on LOAD IR; the user lets it go in the dialog.
    POINT button{140, 289};
    ClientToScreen(panel, &button);
    SetCursorPos(button.x, button.y);
    pump(editor, 100, nullptr);
    mouseButton(MOUSEEVENTF_LEFTDOWN);
    const bool loaded = pump(editor, 30000, [&] { return engine.hasImpulse(); });
    answered = true;
    user.join();
    check(loaded && engine.impulseName() == name, "LOAD IR: the open-file dialog's choice is loaded (" +
                                                       engine.impulseName() + "; seen: " + dialogSeen + ")");
    check(editor.message() == "Loaded " + name, "the strip says so: \"" + editor.message() + "\"");

    // A file dragged onto the panel through OLE.
    POINT centre{330, 180};
    ClientToScreen(panel, &centre);
    DWORD effect = DROPEFFECT_NONE;
    HRESULT result = dragOnto(dropped, centre.x, centre.y, effect);
    const std::string droppedName = "corvex dropped cab " + std::to_string(GetCurrentProcessId()) + ".wav";
    pump(editor, 300, nullptr);
    check(result == DRAGDROP_S_DROP && effect != DROPEFFECT_NONE,
          "DoDragDrop ends on the panel's drop target, which takes the file (effect " + std::to_string(effect) +
              ")");
    check(engine.impulseName() == droppedName, "the dropped file is the impulse now (" + engine.impulseName() + ")");
    check(editor.message() == "Loaded " + droppedName, "the strip says so: \"" + editor.message() + "\"");

    // A file that is no impulse, dropped: refused, the cabinet kept.
    result = dragOnto(notAudio, centre.x, centre.y, effect);
    pump(editor, 300, nullptr);
    check(result == DRAGDROP_S_DROP, "a second drag ends on the panel too");
    check(engine.impulseName() == droppedName, "a file that is no impulse is refused, the impulse kept");
    check(!editor.message().empty() && editor.message().rfind("Loaded", 0) != 0,
          "the strip gives the refusal's line: \"" + editor.message() + "\"");

    editor.close();
    DestroyWindow(host);
    OleUninitialize();
    DeleteFileW(dropped.c_str());
    DeleteFileW(notAudio.c_str());
    std::printf("%s\n", failures ? "FAILED" : "PASSED");
    return failures ? 1 : 0;
}
