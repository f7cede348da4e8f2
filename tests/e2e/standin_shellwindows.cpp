// A stand-in for the shell's window collection (CLSID_ShellWindows), served in-process.
// It lists the top-level "CabinetWClass" windows of the desktop; the folder a window
// shows is its title, and navigating a window sets its title.
#include "tests/com_stubs.h"

#include <shlguid.h>
#include <shlobj.h>

#include <vector>

namespace {

LONG objects = 0;

BOOL CALLBACK CollectFolderWindow(HWND window, LPARAM windows) {
    wchar_t className[64];
    if (GetClassNameW(window, className, 64) && lstrcmpW(className, L"CabinetWClass") == 0) {
        reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
    }
    return TRUE;
}

template <typename Base>
struct Object : Base {
    LONG refs = 1;
    Object() { InterlockedIncrement(&objects); }
    virtual ~Object() { InterlockedDecrement(&objects); }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs);
        if (left == 0) delete this;
        return left;
    }
};

template <typename Interface>
HRESULT Hand(Interface* object, void** out) {
    object->AddRef();
    *out = object;
    return S_OK;
}

struct FolderWindow : Object<ShellWindowStubs> {
    HWND window;
    explicit FolderWindow(HWND handle) : window(handle) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IWebBrowser ||
            iid == IID_IWebBrowserApp) {
            return Hand(static_cast<IWebBrowserApp*>(this), out);
        }
        if (iid == IID_IServiceProvider) return Hand(static_cast<IServiceProvider*>(this), out);
        if (iid == IID_IFolderView) return Hand(static_cast<IFolderView*>(this), out);
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE get_HWND(SHANDLE_PTR* handle) override {
        *handle = reinterpret_cast<SHANDLE_PTR>(window);
        return IsWindow(window) ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override {
        *out = nullptr;
        if (service != SID_STopLevelBrowser || iid != IID_IShellBrowser) return E_NOINTERFACE;
        return Hand(static_cast<IShellBrowser*>(this), out);
    }
    HRESULT STDMETHODCALLTYPE QueryActiveShellView(IShellView** view) override {
        return Hand(static_cast<IShellView*>(this), reinterpret_cast<void**>(view));
    }
    HRESULT STDMETHODCALLTYPE GetFolder(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid != IID_IPersistFolder2) return E_NOINTERFACE;
        return Hand(static_cast<IPersistFolder2*>(this), out);
    }
    HRESULT STDMETHODCALLTYPE GetCurFolder(PIDLIST_ABSOLUTE* idList) override {
        wchar_t title[MAX_PATH] = {};
        GetWindowTextW(window, title, MAX_PATH);
        return SHParseDisplayName(title, nullptr, idList, 0, nullptr);
    }
    HRESULT STDMETHODCALLTYPE BrowseObject(PCUIDLIST_RELATIVE idList, UINT) override {
        wchar_t path[MAX_PATH] = {};
        if (!SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(idList), path)) return E_FAIL;
        SetWindowTextW(window, path);
        return S_OK;
    }
};

struct ShellWindows : Object<ShellWindowsStubs> {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IShellWindows) {
            return Hand(static_cast<IShellWindows*>(this), out);
        }
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
        std::vector<HWND> windows;
        EnumWindows(CollectFolderWindow, reinterpret_cast<LPARAM>(&windows));
        *count = static_cast<LONG>(windows.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Item(VARIANT index, IDispatch** folder) override {
        *folder = nullptr;
        std::vector<HWND> windows;
        EnumWindows(CollectFolderWindow, reinterpret_cast<LPARAM>(&windows));
        if (index.vt != VT_I4 || index.lVal < 0 ||
            index.lVal >= static_cast<LONG>(windows.size())) {
            return S_FALSE;
        }
        *folder = static_cast<IWebBrowserApp*>(new FolderWindow(windows[index.lVal]));
        return S_OK;
    }
};

struct Factory : IClassFactory {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        *out = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* shellWindows = new ShellWindows;
        const HRESULT result = shellWindows->QueryInterface(iid, out);
        shellWindows->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory factory;

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid,
                                                                          REFIID iid, void** out) {
    *out = nullptr;
    if (clsid != CLSID_ShellWindows) return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(iid, out);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return objects == 0 ? S_OK : S_FALSE;
}
