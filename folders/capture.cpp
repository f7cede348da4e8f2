#include "folders/folders.h"

#include "folders/shell_windows.h"
#include "platform/desktop.h"

#include <algorithm>
#include <map>

namespace {

// The remembered list holds at least this many entries when an earlier list can fill it.
constexpr size_t kTopUpSize = 4;

bool ReadShownFolder(IWebBrowserApp* browser, std::wstring& path) {
    ComPtr<IServiceProvider> provider;
    ComPtr<IShellBrowser> shellBrowser;
    if (!ShellBrowserOf(browser, provider, shellBrowser)) return false;
    ComPtr<IShellView> view;
    if (FAILED(shellBrowser->QueryActiveShellView(&view)) || !view) return false;
    ComPtr<IFolderView> folderView;
    if (FAILED(view.As(&folderView)) || !folderView) return false;
    ComPtr<IPersistFolder2> folder;
    if (FAILED(folderView->GetFolder(IID_PPV_ARGS(&folder))) || !folder) return false;
    PIDLIST_ABSOLUTE idList = nullptr;
    if (FAILED(folder->GetCurFolder(&idList)) || idList == nullptr) return false;
    wchar_t buffer[MAX_PATH] = {};
    const bool hasPath = platform::SHGetPathFromIDListW(idList, buffer) != FALSE;
    platform::CoTaskMemFree(idList);
    if (hasPath) path = buffer;
    return hasPath;
}

bool ContainsFolder(const std::vector<std::wstring>& folders, const std::wstring& folder) {
    return std::find(folders.begin(), folders.end(), folder) != folders.end();
}

}  // namespace

bool CaptureFolders(ExplorerManager& manager) {
    std::lock_guard<std::recursive_mutex> guard(manager.lock);
    if (manager.managed.empty() || !manager.shellWindows) return false;

    std::map<HWND, std::wstring> captured;
    // The tabs of one window share its handle, so a window is counted as met once
    // however many entries of the collection carry it.
    std::vector<HWND> met;
    for (long index = 0; met.size() < manager.managed.size(); ++index) {
        ComPtr<IDispatch> dispatch;
        ComPtr<IWebBrowserApp> browser;
        HWND window = nullptr;
        if (!ShellWindowAt(manager.shellWindows.Get(), index, dispatch, browser, window)) break;
        if (!browser || !IsManaged(manager, window)) continue;
        if (!Contains(met, window)) met.push_back(window);
        std::wstring path;
        if (ReadShownFolder(browser.Get(), path)) captured[window] = path;
    }
    if (captured.empty()) return false;

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
    return true;
}
