#include "explorers/explorers.h"

#include "platform/desktop.h"

#include <algorithm>

namespace {

// A Win+E chord seen this recently means the newest window is the one the user wants
// gone least: the limit then closes the newcomer instead of a managed window.
constexpr std::uint64_t kWinERecentMs = 1000;

void Remove(std::vector<HWND>& windows, HWND window) {
    windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
}

HWND FirstUnmanaged(const ExplorerManager& manager) {
    for (HWND window : manager.explorers) {
        if (!IsManaged(manager, window)) return window;
    }
    return nullptr;
}

HWND NewestManagedPresent(const ExplorerManager& manager) {
    for (auto it = manager.managed.rbegin(); it != manager.managed.rend(); ++it) {
        if (Contains(manager.explorers, *it)) return *it;
    }
    return nullptr;
}

void CloseOneSurplus(ExplorerManager& manager, bool winERecent) {
    HWND victim = winERecent ? FirstUnmanaged(manager) : nullptr;
    if (victim == nullptr) {
        victim = NewestManagedPresent(manager);
        if (victim != nullptr) Remove(manager.managed, victim);
    }
    if (victim == nullptr) victim = manager.explorers.back();
    Remove(manager.explorers, victim);
    AskToClose(victim);
}

}  // namespace

BOOL CALLBACK CollectExplorerProc(HWND window, LPARAM) {
    if (IsExplorerWindow(window)) enumTarget->push_back(window);
    return TRUE;
}

void CollectExplorers(std::vector<HWND>& windows) {
    CollectInto(windows);
    platform::EnumWindows(CollectExplorerProc, 0);
}

bool EnforceLimit(ExplorerManager& manager, bool reenumerate) {
    const int target = manager.targetCount;
    if (!manager.limitEnabled || target <= 0) return false;
    if (IsWinEPressed()) manager.lastWinETick = platform::GetTickCount64();
    const bool winERecent = platform::GetTickCount64() - manager.lastWinETick < kWinERecentMs;
    if (reenumerate) {
        CollectExplorers(manager.explorers);
        SortByHandle(manager.explorers);
    }
    const size_t limit = static_cast<size_t>(target);
    if (manager.explorers.size() <= limit) return false;
    while (manager.explorers.size() > limit) CloseOneSurplus(manager, winERecent);
    ArrangeExplorers(manager);
    return true;
}
