#include "folders/folders.h"

#include "folders/shell_windows.h"
#include "platform/desktop.h"

#include <algorithm>
#include <vector>

namespace {

void Navigate(IShellBrowser* shellBrowser, IShellFolder* desktop, const std::wstring& folder) {
    std::vector<wchar_t> name(folder.begin(), folder.end());
    name.push_back(L'\0');
    PIDLIST_RELATIVE idList = nullptr;
    if (FAILED(
            desktop->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &idList, nullptr)) ||
        idList == nullptr) {
        return;  // a deleted folder or an unplugged drive: the window stays where it is
    }
    shellBrowser->BrowseObject(idList, SBSP_SAMEBROWSER);
    platform::CoTaskMemFree(idList);
}

// The collection's first entry of each wanted window (empty where there is none).
HRESULT FindBrowsers(IShellWindows* shellWindows, const std::vector<HWND>& wanted,
                     std::vector<ComPtr<IWebBrowserApp>>& browsers) {
    browsers.assign(wanted.size(), nullptr);
    size_t found = 0;
    for (long index = 0; found < wanted.size(); ++index) {
        ComPtr<IDispatch> dispatch;
        ComPtr<IWebBrowserApp> browser;
        HWND window = nullptr;
        const HRESULT result = ShellWindowAt(shellWindows, index, dispatch, browser, window);
        if (result != S_OK) return result == S_FALSE ? S_OK : result;
        if (!browser) continue;
        for (size_t i = 0; i < wanted.size(); ++i) {
            if (wanted[i] == window && !browsers[i]) {
                browsers[i] = browser;
                ++found;
            }
        }
    }
    return S_OK;
}

void NavigateBrowser(IWebBrowserApp* browser, IShellFolder* desktop, const std::wstring& folder) {
    ComPtr<IServiceProvider> provider;
    ComPtr<IShellBrowser> shellBrowser;
    if (ShellBrowserOf(browser, provider, shellBrowser)) {
        Navigate(shellBrowser.Get(), desktop, folder);
    }
}

// Finds each window in the collection and navigates it, each window on its own: one that
// does not answer holds up no other.
void NavigateAll(ExplorerManager& manager, IShellWindows* shellWindows, IShellFolder* desktop,
                 const std::vector<HWND>& windows, const std::vector<std::wstring>& folders) {
    std::vector<ComPtr<IWebBrowserApp>> browsers;
    if (IsShellGone(FindBrowsers(shellWindows, windows, browsers))) {
        ReconnectShellWindows(manager, shellWindows);
    }
    std::vector<std::function<std::optional<bool>()>> navigations;
    for (size_t i = 0; i < browsers.size(); ++i) {
        if (!browsers[i]) continue;
        navigations.push_back([browser = std::move(browsers[i]),
                               desktop = ComPtr<IShellFolder>(desktop), folder = folders[i]] {
            NavigateBrowser(browser.Get(), desktop.Get(), folder);
            return std::optional<bool>(true);
        });
    }
    browsers.clear();
    CallEachWithin(std::move(navigations), kShellCallWaitMs);
}

}  // namespace

void RestoreFolders(ExplorerManager& manager) {
    // Window i goes to entry i. The shell's calls run in Explorer's threads (and parsing a
    // folder on an unreachable share takes a minute): they are made with the lock let go.
    std::vector<HWND> windows;
    std::vector<std::wstring> folders;
    ComPtr<IShellWindows> shellWindows;
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        if (!LoadFolders(manager)) return;
        if (!manager.shellWindows) return;
        const size_t pairs = std::min(manager.managed.size(), manager.folders.size());
        windows.assign(manager.managed.begin(), manager.managed.begin() + pairs);
        folders.assign(manager.folders.begin(), manager.folders.begin() + pairs);
        shellWindows = manager.shellWindows;
    }
    ComPtr<IShellFolder> desktop;
    if (FAILED(platform::SHGetDesktopFolder(&desktop)) || !desktop) return;
    // Even finding the windows calls into them: all of it runs off the caller's thread (the
    // tray's), which waits a bounded time.
    std::vector<std::function<std::optional<bool>()>> restore;
    restore.push_back([&manager, shellWindows, desktop, windows, folders] {
        NavigateAll(manager, shellWindows.Get(), desktop.Get(), windows, folders);
        return std::optional<bool>(true);
    });
    shellWindows.Reset();
    desktop.Reset();
    CallEachWithin(std::move(restore), kShellCallWaitMs);
}
