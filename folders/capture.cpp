#include "folders/folders.h"

#include "folders/shell_calls.h"
#include "folders/shell_windows.h"
#include "platform/desktop.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace {

bool ContainsFolder(const std::vector<std::wstring>& folders, const std::wstring& folder) {
    return std::find(folders.begin(), folders.end(), folder) != folders.end();
}

// A window whose restore has not landed keeps the folder it is meant to show while it
// still shows what it showed before, or the folder a new window starts on. Once it shows
// that folder, or one the user took it to, the restore is over.
const std::wstring& FolderToRecord(ExplorerManager& manager, HWND window,
                                   const std::wstring& shown) {
    const auto pending = manager.pendingRestores.find(window);
    if (pending == manager.pendingRestores.end()) return shown;
    const bool waiting = shown != pending->second.folder &&
                         (shown == pending->second.shownBefore || IsStartFolder(manager, shown));
    if (waiting) return pending->second.folder;
    manager.pendingRestores.erase(pending);
    return shown;
}

template <typename Map>
void ForgetWindowsNotManaged(const ExplorerManager& manager, Map& byWindow) {
    for (auto it = byWindow.begin(); it != byWindow.end();) {
        it = IsManaged(manager, it->first) ? std::next(it) : byWindow.erase(it);
    }
}

// With the lock held: the window's folder joins what the group shows, and the list is
// rebuilt: the group's own folders in its order, then the ones remembered before (of
// windows that are gone), topped up.
void StoreShown(ExplorerManager& manager, HWND window, const std::wstring& folder) {
    // The list on disk tops this one up once it has been read.
    if (!manager.listRead || manager.listReadFailed) AskToReadList(manager);
    manager.shownFolders[window] = FolderToRecord(manager, window, folder);
    ForgetWindowsNotManaged(manager, manager.shownFolders);
    ForgetWindowsNotManaged(manager, manager.pendingRestores);
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
