#include "gui/platform/win32/CDropTarget.h"

#include "gui/platform/Platform.h"

#include <shellapi.h>

namespace VSTGUI {

namespace {

FrameWindowSink* sinkOf(HWND window) {
    return window ? reinterpret_cast<FrameWindowSink*>(GetWindowLongPtrW(window, GWLP_USERDATA)) : nullptr;
}

std::string utf8(const wchar_t* text, int length) {
    if (length <= 0)
        return std::string();
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return std::string();
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], bytes, nullptr, nullptr);
    return out;
}

DWORD effectFor(int32_t answer) {
    return answer == 2 ? DROPEFFECT_MOVE : DROPEFFECT_NONE;
}

}  // namespace

std::vector<std::string> readDroppedFiles(IDataObject* data) {
    std::vector<std::string> files;
    if (!data)
        return files;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (data->GetData(&format, &medium) != S_OK)
        return files;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
        HDROP drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
        if (drop) {
            const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
            for (UINT i = 0; i < count; i++) {
                const UINT length = DragQueryFileW(drop, i, nullptr, 0);
                std::wstring name(static_cast<size_t>(length) + 1, L'\0');
                const UINT copied = DragQueryFileW(drop, i, &name[0], length + 1);
                files.push_back(utf8(name.c_str(), static_cast<int>(copied)));
            }
            GlobalUnlock(medium.hGlobal);
        }
    }
    ReleaseStgMedium(&medium);
    return files;
}

CDropTarget::CDropTarget(HWND window) : window(window) {}

CDropTarget::~CDropTarget() = default;

STDMETHODIMP CDropTarget::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IDropTarget) || IsEqualIID(iid, IID_IUnknown)) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CDropTarget::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&count));
}

STDMETHODIMP_(ULONG) CDropTarget::Release() {
    const LONG left = InterlockedDecrement(&count);
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

// UI thread (OLE calls the target on the thread that registered it).
STDMETHODIMP CDropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    FrameWindowSink* sink = sinkOf(window);
    DWORD answer = DROPEFFECT_NONE;
    if (sink) {
        if (data) {
            const std::vector<std::string> files = readDroppedFiles(data);
            answer = effectFor(sink->platformDrag(PlatformDragEvent::enter, &files));
        } else {
            sink->platformDrag(PlatformDragEvent::enter, nullptr);
        }
    }
    if (effect)
        *effect = answer;
    return S_OK;
}

STDMETHODIMP CDropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
    FrameWindowSink* sink = sinkOf(window);
    const DWORD answer = sink ? effectFor(sink->platformDrag(PlatformDragEvent::over, nullptr)) : DROPEFFECT_NONE;
    if (effect)
        *effect = answer;
    return S_OK;
}

STDMETHODIMP CDropTarget::DragLeave() {
    if (FrameWindowSink* sink = sinkOf(window))
        sink->platformDrag(PlatformDragEvent::leave, nullptr);
    return S_OK;
}

STDMETHODIMP CDropTarget::Drop(IDataObject*, DWORD, POINTL, DWORD* effect) {
    FrameWindowSink* sink = sinkOf(window);
    const DWORD answer = sink ? effectFor(sink->platformDrag(PlatformDragEvent::drop, nullptr)) : DROPEFFECT_NONE;
    if (effect)
        *effect = answer;
    return S_OK;
}

}  // namespace VSTGUI
