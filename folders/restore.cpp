#include "folders/folders.h"

#include "folders/shell_calls.h"
#include "folders/shell_windows.h"
#include "platform/desktop.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace {

// A restore that has not reached its window by then (a sleeping file server took that long
// to parse the folder) leaves it alone: the user may be working in it. The folder stays
// remembered for the next command.
constexpr std::uint64_t kRestoreGiveUpMs = 5000;
// A window shown before its tab is looked at again this often, at most 2 s.
constexpr DWORD kTabRetryMs = 200;
constexpr int kTabRetries = 10;

const wchar_t kThisPc[] = L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
const wchar_t kHome[] = L"::{F874310E-B6B7-47DC-BC84-B9E6B38F5903}";
const wchar_t kQuickAccess[] = L"::{679F85CB-0220-4080-B29B-5540CC05AAB6}";

// Parsing names of shell folders come in either letter case.
bool SameName(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Asked of the item's parent folder, which knows every kind of item: the attributes a parse
// returns are incomplete for "::{...}" names on some systems (Wine's This PC has none).
bool IsFolder(PCIDLIST_ABSOLUTE idList) {
    ComPtr<IShellFolder> parent;
    PCUITEMID_CHILD child = nullptr;
    if (FAILED(platform::SHBindToParent(idList, IID_PPV_ARGS(&parent), &child)) || !parent) {
        return false;
    }
    SFGAOF attributes = SFGAO_FOLDER;
    return SUCCEEDED(parent->GetAttributesOf(1, &child, &attributes)) &&
           (attributes & SFGAO_FOLDER) != 0;
}

// What one restore navigates: each window to its folder, once (of several tabs, the one
// shown).
struct RestorePlan {
    std::vector<HWND> windows;
    std::vector<std::wstring> folders;
    // At the first command since start, and for the windows a command opened: navigated
    // whatever they show. Others only while they show the folder a new window starts on, or
    // still what they showed when their earlier restore began.
    std::vector<bool> navigateAnyway;
    std::uint64_t startTick = 0;
    ComPtr<IShellFolder> desktop;
    std::mutex mutex;
    std::vector<bool> reached;
};

// With the lock held, as the restore of window i begins, shown being what it shows now.
// Records the restore until it lands, and says whether to navigate.
bool BeginRestore(ExplorerManager& manager, const RestorePlan& plan, size_t i,
                  const std::optional<std::wstring>& shown) {
    const HWND window = plan.windows[i];
    if (ShellCallsStopped() || !IsManaged(manager, window)) return false;
    const std::wstring& folder = plan.folders[i];
    const auto pending = manager.pendingRestores.find(window);
    const bool isPending = pending != manager.pendingRestores.end();
    if (shown && SameName(*shown, folder)) {
        if (isPending) manager.pendingRestores.erase(pending);
        return false;
    }
    bool navigate = plan.navigateAnyway[i];
    if (!navigate && shown) {
        navigate =
            IsStartFolder(manager, *shown) || (isPending && *shown == pending->second.shownBefore);
    }
    if (!navigate) {
        // On a folder of its own: the user took it there. One that cannot be read now is
        // left alone, and keeps what it is meant to show.
        if (shown && isPending) manager.pendingRestores.erase(pending);
        return false;
    }
    manager.pendingRestores[window] = {folder, shown.value_or(std::wstring())};
    return true;
}

void Navigate(const RestorePlan& plan, size_t i, IShellBrowser* shellBrowser,
              const std::optional<std::wstring>& before) {
    std::vector<wchar_t> name(plan.folders[i].begin(), plan.folders[i].end());
    name.push_back(L'\0');
    PIDLIST_RELATIVE idList = nullptr;
    if (FAILED(plan.desktop->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &idList,
                                              nullptr)) ||
        idList == nullptr) {
        return;  // a deleted folder or an unplugged drive: the window stays where it is
    }
    // The list is plain text that other programs can write: a file, a web address or a
    // shell command in it is never opened. A parse that took long (a sleeping file server)
    // must not move a window the user has started working in.
    const bool inTime = platform::GetTickCount64() - plan.startTick < kRestoreGiveUpMs;
    if (inTime && IsFolder(reinterpret_cast<PCIDLIST_ABSOLUTE>(idList)) &&
        ReadShownFolder(shellBrowser) == before) {
        shellBrowser->BrowseObject(idList, SBSP_SAMEBROWSER);
    }
    platform::CoTaskMemFree(idList);
}

void RestoreShown(ExplorerManager& manager, RestorePlan& plan, size_t i,
                  IShellBrowser* shellBrowser) {
    {
        std::lock_guard<std::mutex> guard(plan.mutex);
        if (plan.reached[i]) return;
        plan.reached[i] = true;
    }
    const std::optional<std::wstring> before = ReadShownFolder(shellBrowser);
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        if (!BeginRestore(manager, plan, i, before)) return;
    }
    Navigate(plan, i, shellBrowser, before);
}

// One entry of the collection, on a thread of the shell calls.
void RestoreEntry(ExplorerManager& manager, RestorePlan& plan, IDispatch* entry) {
    ComPtr<IWebBrowserApp> browser;
    HWND window = nullptr;
    if (!BrowserOf(entry, browser, window)) return;
    const auto wanted = std::find(plan.windows.begin(), plan.windows.end(), window);
    if (wanted == plan.windows.end()) return;
    const size_t i = static_cast<size_t>(wanted - plan.windows.begin());
    for (int attempt = 0;; ++attempt) {
        {
            const ShownBrowser shown(browser.Get(), window);
            if (shown.shellBrowser) {
                RestoreShown(manager, plan, i, shown.shellBrowser.Get());
                return;
            }
            if (!shown.tabHidden || attempt == kTabRetries) return;
        }
        {
            // Another tab of the window may be the one shown.
            std::lock_guard<std::mutex> guard(plan.mutex);
            if (plan.reached[i]) return;
        }
        platform::Sleep(kTabRetryMs);
    }
}

void EraseOne(std::vector<std::wstring>& folders, const std::wstring& folder) {
    const auto found = std::find(folders.begin(), folders.end(), folder);
    if (found != folders.end()) folders.erase(found);
}

// With the lock held. A window with a folder of its own, read in this run, keeps it. The
// others get, in group order, the folder of their restore that has not landed, or else the
// next remembered folder that no window shows: at the first command since start the ones
// not read yet (every one at first), later the ones a command opened, those not read yet
// and those on the folder a new window starts on.
void PlanRestore(ExplorerManager& manager, RestorePlan& plan) {
    const bool first = !manager.restoredOnce;
    const auto opened = [&](HWND window) { return Contains(manager.openedByCommand, window); };
    const auto isCandidate = [&](HWND window) {
        if (manager.pendingRestores.count(window) != 0) return true;
        const auto own = manager.shownFolders.find(window);
        if (own == manager.shownFolders.end()) return true;
        return !first && (opened(window) || IsStartFolder(manager, own->second));
    };
    std::vector<std::wstring> remembered = manager.folders;
    for (HWND window : manager.managed) {
        const auto pending = manager.pendingRestores.find(window);
        if (pending != manager.pendingRestores.end()) {
            EraseOne(remembered, pending->second.folder);
        } else if (!isCandidate(window)) {
            EraseOne(remembered, manager.shownFolders.at(window));
        }
    }
    size_t next = 0;
    for (HWND window : manager.managed) {
        if (!isCandidate(window)) continue;
        const auto pending = manager.pendingRestores.find(window);
        if (pending == manager.pendingRestores.end() && next == remembered.size()) continue;
        const std::wstring folder =
            pending != manager.pendingRestores.end() ? pending->second.folder : remembered[next++];
        const bool anyway = first || opened(window);
        plan.windows.push_back(window);
        plan.folders.push_back(folder);
        plan.navigateAnyway.push_back(anyway);
        // Kept even when the window never answers, or is not in the collection yet.
        if (anyway && pending == manager.pendingRestores.end()) {
            manager.pendingRestores[window] = {folder, std::wstring()};
        }
    }
    plan.reached.assign(plan.windows.size(), false);
    if (!manager.folders.empty()) manager.restoredOnce = true;
}

void RestoreAll(ExplorerManager& manager, const std::shared_ptr<RestorePlan>& plan) {
    // The list file is read here, off the tray's thread and without the lock.
    LoadFolders(manager);
    ComPtr<IShellWindows> shellWindows;
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        shellWindows = manager.shellWindows;
        if (!shellWindows || ShellCallsStopped()) return;
        PlanRestore(manager, *plan);
    }
    if (plan->windows.empty()) return;
    if (FAILED(platform::SHGetDesktopFolder(&plan->desktop)) || !plan->desktop) return;
    PostForEachEntry(manager, shellWindows.Get(),
                     [&manager, plan](IDispatch* entry) { RestoreEntry(manager, *plan, entry); });
}

// Names the walk of a restore among the shell calls.
const char kRestoreTask = 0;

}  // namespace

std::vector<std::wstring> StartFolders(DWORD launchTo) {
    if (launchTo == 1) return {kThisPc};
    return {kHome, kQuickAccess};
}

bool IsStartFolder(const ExplorerManager& manager, const std::wstring& folder) {
    return std::any_of(manager.startFolders.begin(), manager.startFolders.end(),
                       [&](const std::wstring& start) { return SameName(start, folder); });
}

void RestoreFolders(ExplorerManager& manager) {
    // Even finding the windows calls into Explorer (and parsing a folder on an unreachable
    // share takes a minute): all of it is handed over.
    auto plan = std::make_shared<RestorePlan>();
    plan->startTick = platform::GetTickCount64();
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        manager.startFolders = StartFolders(platform::ExplorerLaunchTo());
    }
    PostShellCall(&kRestoreTask, [&manager, plan = std::move(plan)] { RestoreAll(manager, plan); });
}
