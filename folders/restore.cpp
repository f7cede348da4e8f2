#include "folders/folders.h"

#include "folders/shell_calls.h"
#include "folders/shell_windows.h"
#include "platform/desktop.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace {

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

void Navigate(IShellBrowser* shellBrowser, IShellFolder* desktop, const std::wstring& folder) {
    std::vector<wchar_t> name(folder.begin(), folder.end());
    name.push_back(L'\0');
    PIDLIST_RELATIVE idList = nullptr;
    if (FAILED(
            desktop->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &idList, nullptr)) ||
        idList == nullptr) {
        return;  // a deleted folder or an unplugged drive: the window stays where it is
    }
    // The list is plain text that other programs can write: a file, a web address or a
    // shell command in it is never opened.
    if (IsFolder(reinterpret_cast<PCIDLIST_ABSOLUTE>(idList))) {
        shellBrowser->BrowseObject(idList, SBSP_SAMEBROWSER);
    }
    platform::CoTaskMemFree(idList);
}

// What one restore navigates: window i to folders[i], each window once (of several tabs,
// the one shown).
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
    const ShownBrowser shown(browser.Get(), window);
    if (!shown.shellBrowser) return;
    {
        std::lock_guard<std::mutex> guard(plan.mutex);
        if (plan.reached[i]) return;
        plan.reached[i] = true;
    }
    Navigate(shown.shellBrowser.Get(), plan.desktop.Get(), plan.folders[i]);
}

// With the lock held. A window whose own folder was read in this run keeps it and is not
// navigated at all. The others (those just opened, those not read yet: at the first
// command after start, every one) get the remembered folders in list order, less the
// ones the group still shows.
void PlanRestore(const ExplorerManager& manager, RestorePlan& plan) {
    std::vector<std::wstring> remembered = manager.folders;
    for (HWND window : manager.managed) {
        const auto own = manager.shownFolders.find(window);
        if (own == manager.shownFolders.end()) continue;
        const auto listed = std::find(remembered.begin(), remembered.end(), own->second);
        if (listed != remembered.end()) remembered.erase(listed);
    }
    size_t next = 0;
    for (HWND window : manager.managed) {
        if (next == remembered.size()) break;
        if (manager.shownFolders.count(window) != 0) continue;
        plan.windows.push_back(window);
        plan.folders.push_back(remembered[next++]);
    }
    plan.reached.assign(plan.windows.size(), false);
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
    // Even finding the windows calls into Explorer (and parsing a folder on an unreachable
    // share takes a minute): all of it is handed over.
    auto plan = std::make_shared<RestorePlan>();
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        if (!LoadFolders(manager)) return;
        if (!manager.shellWindows) return;
        PlanRestore(manager, *plan);
    }
    PostShellCall(&kRestoreTask, [&manager, plan = std::move(plan)] { RestoreAll(manager, plan); });
}
