#include "folders/folders.h"

#include "folders/shell_calls.h"
#include "folders/shell_windows.h"
#include "platform/desktop.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace {

void Navigate(IShellBrowser* shellBrowser, IShellFolder* desktop, const std::wstring& folder) {
    std::vector<wchar_t> name(folder.begin(), folder.end());
    name.push_back(L'\0');
    PIDLIST_RELATIVE idList = nullptr;
    ULONG attributes = SFGAO_FOLDER;
    if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &idList,
                                         &attributes)) ||
        idList == nullptr) {
        return;  // a deleted folder or an unplugged drive: the window stays where it is
    }
    // The list is plain text that other programs can write: a file, a web address or a
    // shell command in it is never opened.
    if (attributes & SFGAO_FOLDER) shellBrowser->BrowseObject(idList, SBSP_SAMEBROWSER);
    platform::CoTaskMemFree(idList);
}

// What one restore navigates: window i to folders[i], each window once (of several tabs,
// the first in the collection).
struct RestorePlan {
    std::vector<HWND> windows;
    std::vector<std::wstring> folders;
    ComPtr<IShellFolder> desktop;
    std::mutex mutex;
    std::vector<bool> reached;
};

// One entry of the collection, on a thread of the shell calls.
void RestoreEntry(RestorePlan& plan, IDispatch* entry) {
    ComPtr<IWebBrowserApp> browser;
    HWND window = nullptr;
    if (!BrowserOf(entry, browser, window)) return;
    const auto wanted = std::find(plan.windows.begin(), plan.windows.end(), window);
    if (wanted == plan.windows.end()) return;
    const size_t i = static_cast<size_t>(wanted - plan.windows.begin());
    {
        std::lock_guard<std::mutex> guard(plan.mutex);
        if (plan.reached[i]) return;
        plan.reached[i] = true;
    }
    if (platform::IsHungAppWindow(window)) return;
    WindowClaim claim(window);
    if (!claim) return;
    ComPtr<IServiceProvider> provider;
    ComPtr<IShellBrowser> shellBrowser;
    if (ShellBrowserOf(browser.Get(), provider, shellBrowser)) {
        Navigate(shellBrowser.Get(), plan.desktop.Get(), plan.folders[i]);
    }
}

void RestoreAll(ExplorerManager& manager, const std::shared_ptr<RestorePlan>& plan) {
    ComPtr<IShellWindows> shellWindows;
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        shellWindows = manager.shellWindows;
    }
    if (!shellWindows) return;
    if (FAILED(platform::SHGetDesktopFolder(&plan->desktop)) || !plan->desktop) return;
    if (plan->windows.empty()) return;
    PostForEachEntry(manager, shellWindows.Get(),
                     [plan](IDispatch* entry) { RestoreEntry(*plan, entry); });
}

// Names the walk of a restore among the shell calls.
const char kRestoreTask = 0;

}  // namespace

void RestoreFolders(ExplorerManager& manager) {
    // Window i goes to entry i. Even finding the windows calls into Explorer (and parsing
    // a folder on an unreachable share takes a minute): all of it is handed over.
    auto plan = std::make_shared<RestorePlan>();
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        if (!LoadFolders(manager)) return;
        if (!manager.shellWindows) return;
        const size_t pairs = std::min(manager.managed.size(), manager.folders.size());
        plan->windows.assign(manager.managed.begin(), manager.managed.begin() + pairs);
        plan->folders.assign(manager.folders.begin(), manager.folders.begin() + pairs);
        plan->reached.assign(pairs, false);
    }
    PostShellCall(&kRestoreTask, [&manager, plan = std::move(plan)] { RestoreAll(manager, plan); });
}
