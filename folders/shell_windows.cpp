#include "folders/shell_windows.h"

#include "platform/desktop.h"

#include <shlguid.h>

#include <utility>

HRESULT ShellWindowAt(IShellWindows* shellWindows, long index, ComPtr<IDispatch>& dispatch,
                      ComPtr<IWebBrowserApp>& browser, HWND& window) {
    // Zeroed is how VariantInit leaves a VARIANT; spelled out, oleaut32 is not loaded for it.
    VARIANT position{};
    position.vt = VT_I4;
    position.lVal = index;
    // Only S_OK means a window; S_FALSE marks the end of the collection.
    const HRESULT result = shellWindows->Item(position, &dispatch);
    if (result != S_OK) return result;
    if (!dispatch) return S_FALSE;
    ComPtr<IWebBrowserApp> candidate;
    if (FAILED(dispatch.As(&candidate)) || !candidate) return S_OK;
    SHANDLE_PTR handle = 0;
    if (FAILED(candidate->get_HWND(&handle))) return S_OK;
    window = reinterpret_cast<HWND>(handle);
    browser = std::move(candidate);
    return S_OK;
}

bool ShellBrowserOf(IWebBrowserApp* browser, ComPtr<IServiceProvider>& provider,
                    ComPtr<IShellBrowser>& shellBrowser) {
    if (FAILED(browser->QueryInterface(IID_PPV_ARGS(&provider))) || !provider) return false;
    return SUCCEEDED(provider->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(&shellBrowser))) &&
           shellBrowser;
}

namespace {

DWORD WINAPI RunTask(void* parameter) {
    std::unique_ptr<std::function<void()>> task(static_cast<std::function<void()>*>(parameter));
    (*task)();
    return 0;
}

}  // namespace

bool RunOnNewThread(std::function<void()>* task) {
    HANDLE thread = ::CreateThread(nullptr, 0, RunTask, task, 0, nullptr);
    if (thread == nullptr) {
        delete task;
        return false;
    }
    ::CloseHandle(thread);
    return true;
}

bool IsShellGone(HRESULT result) {
    return result == RPC_E_DISCONNECTED || result == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) ||
           result == CO_E_OBJNOTCONNECTED || result == RPC_E_SERVER_DIED ||
           result == RPC_E_SERVER_DIED_DNE;
}

void ReconnectShellWindows(ExplorerManager& manager, IShellWindows* stale) {
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        if (manager.shellWindows.Get() != stale) return;  // someone was quicker
    }
    // Creating it asks the Explorer process: not with the lock held.
    ComPtr<IShellWindows> fresh;
    if (FAILED(platform::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL,
                                          IID_PPV_ARGS(&fresh)))) {
        fresh.Reset();
    }
    std::lock_guard<std::recursive_mutex> guard(manager.lock);
    if (manager.shellWindows.Get() == stale) manager.shellWindows = fresh;
}

void ConnectShellWindows(ExplorerManager& manager) {
    ComPtr<IShellWindows> current;
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        current = manager.shellWindows;
    }
    ReconnectShellWindows(manager, current.Get());
}
