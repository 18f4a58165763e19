// A top-level X11 window of a fixed size for a plug-in's editor, the way
// Linux hosts give one: the editor is opened with the window's id
// (effEditOpen), then the host pumps the window's events and idles the
// editor. Shared by corvex-editor-host and corvex-live. UI thread only.
#pragma once

#include <string>

typedef struct _XDisplay Display;

namespace hostwindow {

class EditorWindow {
public:
    EditorWindow() = default;
    ~EditorWindow();
    EditorWindow(const EditorWindow&) = delete;
    EditorWindow& operator=(const EditorWindow&) = delete;

    // Connects to the X display ($DISPLAY). False with a reason when there is none.
    bool connect(std::string& error);
    // Creates, names and maps a window of width x height at (x, y) and waits
    // until it is on the screen. Needs connect() first.
    bool open(int width, int height, int x, int y, const char* title, std::string& error);

    // The window's id, as effEditOpen wants it.
    void* handle() const;
    unsigned long id() const { return window; }

    // Handles the pending events. False once the user asked to close the
    // window (the window manager's close button) or it was destroyed.
    bool pump();
    bool destroyed() const { return gone; }

    // The window's current contents as an 8-bit RGB PNG.
    bool saveScreenshot(const std::string& path);

    // Flushes the connection (after the editor drew).
    void sync();
    // Destroys the window (if still there) and closes the display.
    void close();

private:
    Display* display = nullptr;
    unsigned long window = 0;
    unsigned long deleteAtom = 0;
    int width = 0, height = 0;
    bool closing = false;
    bool gone = false;
};

}  // namespace hostwindow
