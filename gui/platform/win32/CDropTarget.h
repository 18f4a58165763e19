// The OLE drop target of one frame window, and the reading of the file list
// a dragged data object carries.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

namespace VSTGUI {

// Files carried by `data` as CF_HDROP, in UTF-8; empty when it carries none.
std::vector<std::string> readDroppedFiles(IDataObject* data);

// Registered with RegisterDragDrop for one frame window. It finds the
// window's sink in the window's user data at every event, so a frame that
// has gone meanwhile is simply not told. The count starts at 0; the
// platform's registration raises it, RevokeDragDrop lowers it again and the
// object deletes itself at 0.
class CDropTarget : public IDropTarget {
public:
    explicit CDropTarget(HWND window);
    virtual ~CDropTarget();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDropTarget
    STDMETHODIMP DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragLeave() override;
    STDMETHODIMP Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;

    ULONG referenceCount() const { return count; }

private:
    LONG count = 0;
    HWND window;
};

}  // namespace VSTGUI
