#include "folders/folders.h"

#include "folders/shell_calls.h"
#include "folders/shell_windows.h"
#include "platform/desktop.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace {

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

bool ContainsFolder(const std::vector<std::wstring>& folders, const std::wstring& folder) {
    return std::find(folders.begin(), folders.end(), folder) != folders.end();
}

// With the lock held: the window's folder joins what the group shows, and the list is
// rebuilt: the group's own folders in its order, then the ones remembered before (of
// windows that are gone), topped up.
void StoreShown(ExplorerManager& manager, HWND window, const std::wstring& folder) {
    // An earlier list on disk is the base of this one: read before it is replaced.
    LoadFolders(manager);
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
    if (previous.size() > manager.folders.size()) TopUpFolders(manager.folders, previous);
    if (manager.folders != previous) manager.foldersUnsaved = true;
}

bool IsMember(ExplorerManager& manager, HWND window) {
    std::lock_guard<std::recursive_mutex> guard(manager.lock);
    return IsManaged(manager, window);
}

// One entry of the collection, on a thread of the shell calls. Of the tabs of one window,
// the one shown counts.
void CaptureEntry(ExplorerManager& manager, IDispatch* entry) {
    ComPtr<IWebBrowserApp> browser;
    HWND window = nullptr;
    if (!BrowserOf(entry, browser, window)) return;
    if (!IsMember(manager, window)) return;
    const ShownBrowser shown(browser.Get(), window);
    if (!shown.shellBrowser) return;
    const std::optional<std::wstring> folder = ReadShownFolder(shown.shellBrowser.Get());
    if (!folder) return;  // the window keeps what it showed when last read
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

void TopUpFolders(std::vector<std::wstring>& folders, const std::vector<std::wstring>& earlier) {
    for (const std::wstring& kept : earlier) {
        if (folders.size() >= kTopUpSize) break;
        if (!ContainsFolder(folders, kept)) folders.push_back(kept);
    }
}

bool CaptureFolders(ExplorerManager& manager) {
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        if (manager.managed.empty() || !manager.shellWindows) return false;
    }
    return PostShellCall(&kCaptureTask, [&manager] { CaptureAll(manager); });
}
