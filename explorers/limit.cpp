#include "explorers/explorers.h"

#include "platform/desktop.h"

#include <algorithm>

namespace {

// The first new window within this long of a Win+E chord is that chord's (a cold Explorer
// takes seconds): the limit then closes the newcomer instead of a managed window.
constexpr std::uint64_t kWinEClaimMs = 5000;

void Remove(std::vector<HWND>& windows, HWND window) {
    windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
}

bool MayClose(const ExplorerManager& manager, HWND window) {
    return !CloseRefused(manager, window);
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
        NoteCloseRefused(manager, victim);
        return true;
    }
    Remove(manager.explorers, victim);
    if (fromGroup) Remove(manager.managed, victim);
    return true;
}

}  // namespace

BOOL CALLBACK CollectExplorerProc(HWND window, LPARAM windows) {
    if (IsExplorerWindow(window)) reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
    return TRUE;
}

void CollectExplorers(std::vector<HWND>& windows) {
    windows.clear();
    platform::EnumWindows(CollectExplorerProc, reinterpret_cast<LPARAM>(&windows));
}

namespace {

bool AnyNewWindow(ExplorerManager& manager) {
    for (HWND window : manager.explorers) {
        if (!RecordOf(manager, window).seenByLimit) return true;
    }
    return false;
}

bool AnyAnswersAgain(const ExplorerManager& manager) {
    for (const auto& entry : manager.records) {
        if (entry.second.closeUnanswered && !platform::IsHungAppWindow(entry.first)) return true;
    }
    return false;
}

size_t RefusedAmongExplorers(const ExplorerManager& manager) {
    return static_cast<size_t>(
        std::count_if(manager.explorers.begin(), manager.explorers.end(),
                      [&](HWND window) { return CloseRefused(manager, window); }));
}

}  // namespace

void ForgetCloseRefusals(ExplorerManager& manager) {
    for (auto& entry : manager.records) {
        entry.second.closeRefused = entry.second.closeUnanswered = false;
    }
}

void NoteSeenByLimit(ExplorerManager& manager) {
    for (HWND window : manager.explorers) RecordOf(manager, window).seenByLimit = true;
}

bool EnforceLimit(ExplorerManager& manager, bool reenumerate) {
    const int target = manager.targetCount;
    if (!manager.limitEnabled || target <= 0) return false;
    const std::uint64_t now = platform::GetTickCount64();
    if (IsWinEPressed()) manager.lastWinETick = now;
    if (reenumerate) {
        CollectExplorers(manager.explorers);
        SortByHandle(manager.explorers);
        ForgetGoneWindows(manager);
    }
    const bool chordPending =
        manager.lastWinETick != 0 && now - manager.lastWinETick < kWinEClaimMs;
    const bool winERecent = chordPending && AnyNewWindow(manager);
    if (winERecent) manager.lastWinETick = 0;  // later newcomers are not that chord's
    NoteSeenByLimit(manager);
    // A window that refused to close, or did not answer, is asked again only once the set
    // of windows changed or a hung one answers again; till then it stays in the group, and
    // no other window is closed in its place.
    if (manager.explorers != manager.closeRefusedAmong || AnyAnswersAgain(manager)) {
        ForgetCloseRefusals(manager);
    }
    const size_t limit = static_cast<size_t>(target);
    const auto surplus = [&] {
        return manager.explorers.size() > limit + RefusedAmongExplorers(manager);
    };
    if (!surplus()) return false;
    while (surplus() && CloseOneSurplus(manager, winERecent)) {
    }
    manager.closeRefusedAmong = manager.explorers;
    ArrangeExplorers(manager);
    return true;
}
