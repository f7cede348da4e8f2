#include "explorers/manager.h"

#include "platform/desktop.h"

#include <algorithm>

ExplorerManager explorerManager;

bool Contains(const std::vector<HWND>& windows, HWND window) {
    return std::find(windows.begin(), windows.end(), window) != windows.end();
}

void SyncManagedList(std::vector<HWND>& group, const std::vector<HWND>& snapshot) {
    group.erase(std::remove_if(group.begin(), group.end(),
                               [&](HWND window) { return !Contains(snapshot, window); }),
                group.end());
    for (HWND window : snapshot) {
        if (!Contains(group, window)) group.push_back(window);
    }
}

bool IsManaged(const ExplorerManager& manager, HWND window) {
    return Contains(manager.managed, window);
}

void SortByHandle(std::vector<HWND>& windows) {
    std::sort(windows.begin(), windows.end(), [](HWND a, HWND b) {
        return reinterpret_cast<std::uint64_t>(a) < reinterpret_cast<std::uint64_t>(b);
    });
}

namespace {

// Explorer may destroy the window just after answering: it is looked for this long.
constexpr DWORD kGoneWaitMs = 200;
constexpr DWORD kGoneCheckMs = 10;

}  // namespace

bool AskToClose(HWND window) {
    DWORD_PTR ignored = 0;
    const bool answered = platform::SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG,
                                                        kCloseTimeoutMs, &ignored) != 0;
    for (DWORD waited = 0; answered && waited < kGoneWaitMs; waited += kGoneCheckMs) {
        if (!platform::IsWindow(window)) return true;
        platform::Sleep(kGoneCheckMs);
    }
    return !platform::IsWindow(window);
}

void NoteCloseRefused(ExplorerManager& manager, HWND window) {
    manager.closeRefused.push_back(window);
    if (platform::IsHungAppWindow(window)) manager.closeUnanswered.push_back(window);
}
