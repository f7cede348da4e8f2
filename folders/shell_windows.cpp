#include "folders/shell_windows.h"

#include "folders/folders.h"
#include "folders/shell_calls.h"
#include "platform/desktop.h"

#include <shlguid.h>

#include <utility>

namespace {

// Names of the program's own shell tasks, as keys of shell_calls.h.
const char kConnectTask = 0;

}  // namespace

HRESULT ShellItemAt(IShellWindows* shellWindows, long index, ComPtr<IDispatch>& dispatch) {
    // Zeroed is how VariantInit leaves a VARIANT; spelled out, oleaut32 is not loaded for it.
    VARIANT position{};
    position.vt = VT_I4;
    position.lVal = index;
    // Only S_OK means a window; S_FALSE marks the end of the collection.
    const HRESULT result = shellWindows->Item(position, &dispatch);
    if (result != S_OK) return result;
    return dispatch ? S_OK : S_FALSE;
}

bool BrowserOf(IDispatch* dispatch, ComPtr<IWebBrowserApp>& browser, HWND& window) {
    ComPtr<IWebBrowserApp> candidate;
    if (FAILED(dispatch->QueryInterface(IID_PPV_ARGS(&candidate))) || !candidate) return false;
    SHANDLE_PTR handle = 0;
    if (FAILED(candidate->get_HWND(&handle))) return false;
    window = reinterpret_cast<HWND>(handle);
    browser = std::move(candidate);
    return true;
}

bool ShellBrowserOf(IWebBrowserApp* browser, ComPtr<IServiceProvider>& provider,
                    ComPtr<IShellBrowser>& shellBrowser) {
    if (FAILED(browser->QueryInterface(IID_PPV_ARGS(&provider))) || !provider) return false;
    return SUCCEEDED(provider->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(&shellBrowser))) &&
           shellBrowser;
}

bool IsShownTab(IShellBrowser* shellBrowser, HWND window) {
    HWND tab = nullptr;
    if (FAILED(shellBrowser->GetWindow(&tab)) || tab == nullptr || tab == window) return true;
    return platform::IsWindowVisible(tab) != FALSE;
}

ShownBrowser::ShownBrowser(IWebBrowserApp* browser, HWND window) : claim(window) {
    if (!claim || platform::IsHungAppWindow(window)) return;
    if (!ShellBrowserOf(browser, provider, shellBrowser)) {
        shellBrowser.Reset();
    } else if (!IsShownTab(shellBrowser.Get(), window)) {
        // A new window may show its frame before its tab.
        tabHidden = platform::IsWindowVisible(window) != FALSE;
        shellBrowser.Reset();
    }
}

// The shell's parsing name of the folder the browser shows: the path of a file-system
// folder, or the "::{...}" form of Home, This PC and the like.
std::optional<std::wstring> ReadShownFolder(IShellBrowser* shellBrowser) {
    ComPtr<IShellView> view;
    if (FAILED(shellBrowser->QueryActiveShellView(&view)) || !view) return std::nullopt;
    ComPtr<IFolderView> folderView;
    if (FAILED(view.As(&folderView)) || !folderView) return std::nullopt;
    ComPtr<IPersistFolder2> folder;
    if (FAILED(folderView->GetFolder(IID_PPV_ARGS(&folder))) || !folder) return std::nullopt;
    PIDLIST_ABSOLUTE idList = nullptr;
    if (FAILED(folder->GetCurFolder(&idList)) || idList == nullptr) return std::nullopt;
    PWSTR name = nullptr;
    const HRESULT named =
        platform::SHGetNameFromIDList(idList, SIGDN_DESKTOPABSOLUTEPARSING, &name);
    platform::CoTaskMemFree(idList);
    std::optional<std::wstring> shown;
    if (SUCCEEDED(named) && name != nullptr && *name != L'\0') shown = std::wstring(name);
    platform::CoTaskMemFree(name);
    if (shown && shown->size() > kMaxFolderPathChars) return std::nullopt;
    return shown;
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
    if (manager.shellWindows.Get() == stale && !ShellCallsStopped()) {
        std::swap(manager.shellWindows, fresh);
        manager.shellWindowsMissing = !manager.shellWindows;
    }
}

void ConnectShellWindows(ExplorerManager& manager) {
    ComPtr<IShellWindows> current;
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        current = manager.shellWindows;
    }
    ReconnectShellWindows(manager, current.Get());
}

void ConnectShellWindowsLater(ExplorerManager& manager) {
    PostShellCall(&kConnectTask, [&manager] { ConnectShellWindows(manager); });
}

void ReleaseShellWindows(ExplorerManager& manager, DWORD waitMs) {
    ComPtr<IShellWindows> last;
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        std::swap(last, manager.shellWindows);
    }
    if (!last) return;
    // The main thread is of another apartment. A shell thread that does not get to it in
    // time leaves it to the end of the process.
    IShellWindows* key = last.Get();
    if (PostShellCall(key, [last = std::move(last)]() mutable { last.Reset(); })) {
        WaitForShellCalls(waitMs);
    }
}

void PostForEachEntry(ExplorerManager& manager, IShellWindows* shellWindows,
                      const std::function<void(IDispatch* entry)>& onEntry) {
    HRESULT result = S_OK;
    for (long index = 0;; ++index) {
        ComPtr<IDispatch> dispatch;
        result = ShellItemAt(shellWindows, index, dispatch);
        if (result != S_OK) break;
        // The entry's COM identity names its window until the window has answered.
        ComPtr<IUnknown> identity;
        if (FAILED(dispatch.As(&identity)) || !identity) continue;
        PostShellCall(identity.Get(),
                      [onEntry, dispatch = std::move(dispatch)] { onEntry(dispatch.Get()); });
    }
    if (IsShellGone(result)) ReconnectShellWindows(manager, shellWindows);
}
