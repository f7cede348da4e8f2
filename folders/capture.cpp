#include "folders/folders.h"

#include "folders/shell_windows.h"
#include "platform/desktop.h"

#include <algorithm>
#include <map>

namespace {

// The remembered list holds at least this many entries when an earlier list can fill it.
constexpr size_t kTopUpSize = 4;

struct ShownWindow {
    HWND window;
    ComPtr<IWebBrowserApp> browser;
};

std::optional<std::wstring> ReadShownFolder(IWebBrowserApp* browser) {
    ComPtr<IServiceProvider> provider;
    ComPtr<IShellBrowser> shellBrowser;
    if (!ShellBrowserOf(browser, provider, shellBrowser)) return std::nullopt;
    ComPtr<IShellView> view;
    if (FAILED(shellBrowser->QueryActiveShellView(&view)) || !view) return std::nullopt;
    ComPtr<IFolderView> folderView;
    if (FAILED(view.As(&folderView)) || !folderView) return std::nullopt;
    ComPtr<IPersistFolder2> folder;
    if (FAILED(folderView->GetFolder(IID_PPV_ARGS(&folder))) || !folder) return std::nullopt;
    PIDLIST_ABSOLUTE idList = nullptr;
    if (FAILED(folder->GetCurFolder(&idList)) || idList == nullptr) return std::nullopt;
    wchar_t buffer[MAX_PATH] = {};
    const bool hasPath = platform::SHGetPathFromIDListW(idList, buffer) != FALSE;
    platform::CoTaskMemFree(idList);
    if (!hasPath) return std::nullopt;
    return std::wstring(buffer);
}

// The collection's entries of the managed windows, in collection order. The tabs of one
// window share its handle, so a window is counted as met once however many entries
// carry it. Returns the collection's failure, or S_OK.
HRESULT ManagedEntries(IShellWindows* shellWindows, const std::vector<HWND>& managed,
                       std::vector<ShownWindow>& entries) {
    std::vector<HWND> met;
    for (long index = 0; met.size() < managed.size(); ++index) {
        ComPtr<IDispatch> dispatch;
        ComPtr<IWebBrowserApp> browser;
        HWND window = nullptr;
        const HRESULT result = ShellWindowAt(shellWindows, index, dispatch, browser, window);
        if (result != S_OK) return result == S_FALSE ? S_OK : result;
        if (!browser || !Contains(managed, window)) continue;
        if (!Contains(met, window)) met.push_back(window);
        entries.push_back({window, std::move(browser)});
    }
    return S_OK;
}

bool ContainsFolder(const std::vector<std::wstring>& folders, const std::wstring& folder) {
    return std::find(folders.begin(), folders.end(), folder) != folders.end();
}

void StoreCaptured(ExplorerManager& manager, const std::map<HWND, std::wstring>& captured) {
    std::vector<std::wstring> previous = std::move(manager.folders);
    manager.folders.clear();
    for (HWND window : manager.managed) {
        auto found = captured.find(window);
        if (found != captured.end()) manager.folders.push_back(found->second);
    }
    if (previous.size() > manager.folders.size()) {
        for (const std::wstring& folder : previous) {
            if (manager.folders.size() >= kTopUpSize) break;
            if (!ContainsFolder(manager.folders, folder)) manager.folders.push_back(folder);
        }
    }
    if (manager.folders != previous) manager.foldersUnsaved = true;
}

}  // namespace

bool CaptureFolders(ExplorerManager& manager) {
    // The shell's calls run in Explorer's threads: they are made with the lock let go,
    // on what the group was when the capture began.
    std::vector<HWND> managed;
    ComPtr<IShellWindows> shellWindows;
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        if (manager.managed.empty() || !manager.shellWindows) return false;
        managed = manager.managed;
        shellWindows = manager.shellWindows;
    }
    std::vector<ShownWindow> entries;
    const HRESULT walked = ManagedEntries(shellWindows.Get(), managed, entries);
    if (IsShellGone(walked)) ReconnectShellWindows(manager, shellWindows.Get());

    // Each window is read on its own: one that does not answer holds up no other.
    std::vector<HWND> windows;
    std::vector<std::function<std::optional<std::wstring>()>> reads;
    for (ShownWindow& entry : entries) {
        windows.push_back(entry.window);
        reads.push_back(
            [browser = std::move(entry.browser)] { return ReadShownFolder(browser.Get()); });
    }
    entries.clear();
    const auto shown = CallEachWithin(std::move(reads), kShellCallWaitMs);
    // Of several tabs of one window, the last one in the collection counts.
    std::map<HWND, std::wstring> captured;
    for (size_t i = 0; i < shown.size(); ++i) {
        if (shown[i]) captured[windows[i]] = *shown[i];
    }
    if (captured.empty()) return false;

    std::lock_guard<std::recursive_mutex> guard(manager.lock);
    StoreCaptured(manager, captured);
    return true;
}
