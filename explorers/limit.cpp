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

bool MayClose(const ExplorerManager& manager, HWND window) {
    return !Contains(manager.closeRefused, window);
}

HWND FirstUnmanaged(const ExplorerManager& manager) {
    for (HWND window : manager.explorers) {
        if (!IsManaged(manager, window) && MayClose(manager, window)) return window;
    }
    return nullptr;
}

HWND NewestManagedPresent(const ExplorerManager& manager) {
    for (auto it = manager.managed.rbegin(); it != manager.managed.rend(); ++it) {
        if (Contains(manager.explorers, *it) && MayClose(manager, *it)) return *it;
    }
    return nullptr;
}

HWND LastClosable(const ExplorerManager& manager) {
    for (auto it = manager.explorers.rbegin(); it != manager.explorers.rend(); ++it) {
        if (MayClose(manager, *it)) return *it;
    }
    return nullptr;
}

// False when no window may be asked.
bool CloseOneSurplus(ExplorerManager& manager, bool winERecent) {
    HWND victim = winERecent ? FirstUnmanaged(manager) : nullptr;
    bool fromGroup = false;
    if (victim == nullptr) {
        victim = NewestManagedPresent(manager);
        fromGroup = victim != nullptr;
    }
    if (victim == nullptr) victim = LastClosable(manager);
    if (victim == nullptr) return false;
    if (!AskToClose(victim)) {
        // Still open: it stays in the group, and counts as asked.
        manager.closeRefused.push_back(victim);
        return true;
    }
    Remove(manager.explorers, victim);
    if (fromGroup) Remove(manager.managed, victim);
    return true;
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
    // A window that refused to close is asked again only once the set of windows changed;
    // till then it counts as closed, and no other window is closed in its place.
    if (manager.explorers != manager.closeRefusedAmong) manager.closeRefused.clear();
    const size_t limit = static_cast<size_t>(target);
    const auto surplus = [&] {
        return manager.explorers.size() > limit + manager.closeRefused.size();
    };
    if (!surplus()) return false;
    while (surplus() && CloseOneSurplus(manager, winERecent)) {
    }
    manager.closeRefusedAmong = manager.explorers;
    ArrangeExplorers(manager);
    return true;
}
