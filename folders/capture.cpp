#include "folders/folders.h"

#include "folders/shell_calls.h"
#include "folders/shell_windows.h"
#include "platform/desktop.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace {

// The remembered list holds at least this many entries when an earlier list can fill it.
constexpr size_t kTopUpSize = 4;

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

bool ContainsFolder(const std::vector<std::wstring>& folders, const std::wstring& folder) {
    return std::find(folders.begin(), folders.end(), folder) != folders.end();
}

// With the lock held: the window's folder joins what the group shows, and the list is
// rebuilt in the group's order, topped up from the list before.
void StoreShown(ExplorerManager& manager, HWND window, const std::wstring& folder) {
    manager.shownFolders[window] = folder;
    for (auto it = manager.shownFolders.begin(); it != manager.shownFolders.end();) {
        it = IsManaged(manager, it->first) ? std::next(it) : manager.shownFolders.erase(it);
    }
    std::vector<std::wstring> previous = std::move(manager.folders);
    manager.folders.clear();
    for (HWND member : manager.managed) {
        auto found = manager.shownFolders.find(member);
        if (found != manager.shownFolders.end()) manager.folders.push_back(found->second);
    }
    if (previous.size() > manager.folders.size()) {
        for (const std::wstring& kept : previous) {
            if (manager.folders.size() >= kTopUpSize) break;
            if (!ContainsFolder(manager.folders, kept)) manager.folders.push_back(kept);
        }
    }
    if (manager.folders != previous) manager.foldersUnsaved = true;
}

bool IsMember(ExplorerManager& manager, HWND window) {
    std::lock_guard<std::recursive_mutex> guard(manager.lock);
    return IsManaged(manager, window);
}

// One entry of the collection, on a thread of the shell calls. Of several tabs of one
// window, the last one in the collection counts.
void CaptureEntry(ExplorerManager& manager, IDispatch* entry) {
    ComPtr<IWebBrowserApp> browser;
    HWND window = nullptr;
    if (!BrowserOf(entry, browser, window)) return;
    if (!IsMember(manager, window) || platform::IsHungAppWindow(window)) return;
    WindowClaim claim(window);
    if (!claim) return;
    const std::optional<std::wstring> folder = ReadShownFolder(browser.Get());
    if (!folder) return;
    // Checked against the group as it is now: the window may have left it meanwhile.
    std::lock_guard<std::recursive_mutex> guard(manager.lock);
    if (!ShellCallsStopped() && IsManaged(manager, window)) StoreShown(manager, window, *folder);
}

void CaptureAll(ExplorerManager& manager) {
    ComPtr<IShellWindows> shellWindows;
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        if (manager.managed.empty() || !manager.shellWindows) return;
        shellWindows = manager.shellWindows;
    }
    PostForEachEntry(manager, shellWindows.Get(),
                     [&manager](IDispatch* entry) { CaptureEntry(manager, entry); });
}

// Names the walk of a capture among the shell calls.
const char kCaptureTask = 0;

}  // namespace

bool CaptureFolders(ExplorerManager& manager) {
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        if (manager.managed.empty() || !manager.shellWindows) return false;
    }
    return PostShellCall(&kCaptureTask, [&manager] { CaptureAll(manager); });
}
