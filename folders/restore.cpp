#include "folders/folders.h"

#include "folders/shell_windows.h"
#include "platform/desktop.h"

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

void NavigateWindow(IShellWindows* shellWindows, IShellFolder* desktop, HWND wanted,
                    const std::wstring& folder) {
    for (long index = 0;; ++index) {
        ComPtr<IDispatch> dispatch;
        ComPtr<IWebBrowserApp> browser;
        HWND window = nullptr;
        if (!ShellWindowAt(shellWindows, index, dispatch, browser, window)) return;
        if (!browser || window != wanted) continue;
        ComPtr<IServiceProvider> provider;
        ComPtr<IShellBrowser> shellBrowser;
        if (ShellBrowserOf(browser.Get(), provider, shellBrowser)) {
            Navigate(shellBrowser.Get(), desktop, folder);
        }
        return;
    }
}

}  // namespace

void RestoreFolders(ExplorerManager& manager) {
    if (!LoadFolders(manager)) return;
    if (!manager.shellWindows) return;
    ComPtr<IShellFolder> desktop;
    if (FAILED(platform::SHGetDesktopFolder(&desktop)) || !desktop) return;
    for (size_t i = 0; i < manager.managed.size() && i < manager.folders.size(); ++i) {
        NavigateWindow(manager.shellWindows.Get(), desktop.Get(), manager.managed[i],
                       manager.folders[i]);
    }
}
