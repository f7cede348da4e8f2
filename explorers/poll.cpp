#include "explorers/explorers.h"

#include "folders/folders.h"
#include "folders/shell_calls.h"
#include "folders/shell_windows.h"
#include "platform/desktop.h"

#include <algorithm>

std::atomic<bool> pollRunning{true};
std::atomic<unsigned> pollGeneration{0};

namespace {

constexpr DWORD kPollSleepMs = 50;
// After a group action the poll step stays idle for this long, so the windows it just
// moved do not read as new user actions.
constexpr std::uint64_t kQuietTimeMs = 250;
// A changed folder list reaches the disk at most this often while the program runs.
constexpr std::uint64_t kSaveIntervalMs = 5000;
constexpr std::uint64_t kConnectAgainMs = 5000;

bool InQuietTime(const ExplorerManager& manager) {
    return platform::GetTickCount64() - manager.lastActionTick < kQuietTimeMs;
}

bool IsCtrlHeld() {
    return IsKeyHeld(VK_CONTROL);
}

void NoteWinE(ExplorerManager& manager) {
    if (IsWinEPressed()) manager.lastWinETick = platform::GetTickCount64();
}

// A member the group raise asked to restore is not the user's minimize for this long,
// unless its restore lands before.
constexpr std::uint64_t kRestoreGraceMs = 1000;
// How long the group minimize waits for the others before minimizing the active window.
constexpr std::uint64_t kMinimizeWaitMs = 100;

bool AwaitingRestore(ExplorerManager& manager, HWND window) {
    const auto asked = manager.raiseRestores.find(window);
    if (asked == manager.raiseRestores.end()) return false;
    if (platform::GetTickCount64() - asked->second < kRestoreGraceMs) return true;
    manager.raiseRestores.erase(asked);
    return false;
}

void AddExempt(ExplorerManager& manager, HWND window) {
    if (!Contains(manager.exempt, window)) manager.exempt.push_back(window);
}

}  // namespace

void ActivateAllExplorers(ExplorerManager& manager, HWND raiseLast) {
    CollectExplorers(manager.explorers);
    const std::vector<HWND> zOrder = manager.explorers;
    SortByHandle(manager.explorers);
    RaiseGroup(manager, zOrder, raiseLast);
    manager.exempt.clear();
    manager.lastActionTick = platform::GetTickCount64();
}

void MinimizeAllExplorers(ExplorerManager& manager) {
    // SW_SHOWMINNOACTIVE leaves the active window active while minimized, taking keys
    // unseen; SW_MINIMIZE hands activation to the window below. So the others go down
    // first, and then the active one, which leaves the front to a window that is not an
    // Explorer window.
    std::vector<HWND> windows;
    CollectExplorers(windows);
    HWND active = platform::GetForegroundWindow();
    if (!Contains(windows, active) || platform::IsHungAppWindow(active)) active = nullptr;
    // A member already down keeps its mark: the group may go down again before that member
    // came back (a raise it missed while its minimize had not landed), and the one the user
    // minimized was marked while it was in front.
    std::vector<HWND>& marked = manager.seenMaximized;
    marked.erase(std::remove_if(marked.begin(), marked.end(),
                                [&](HWND window) { return !Contains(windows, window); }),
                 marked.end());
    for (HWND window : windows) {
        NoteMaximized(manager, window);
        if (window != active && !platform::IsHungAppWindow(window)) {
            platform::ShowWindowAsync(window, SW_SHOWMINNOACTIVE);
        }
    }
    if (active != nullptr) {
        WaitUntilShown(windows, true, kMinimizeWaitMs, active);
        platform::ShowWindowAsync(active, SW_MINIMIZE);
    }
    manager.lastActionTick = platform::GetTickCount64();
}

HWND FindMinimizedExplorer(ExplorerManager& manager) {
    for (HWND window : manager.explorers) {
        if (!platform::IsIconic(window)) {
            if (!manager.raiseRestores.empty()) manager.raiseRestores.erase(window);
            continue;
        }
        if (Contains(manager.exempt, window) || AwaitingRestore(manager, window)) continue;
        // A hung member has not yet taken the raise's restore: while it is hung, being
        // minimized says nothing of its user.
        if (platform::IsHungAppWindow(window)) continue;
        return window;
    }
    return nullptr;
}

HWND ActivateOtherExplorer(ExplorerManager& manager, HWND skip) {
    // Windows has activated the window below the one minimized: a member keeps the front.
    HWND foreground = platform::GetForegroundWindow();
    if (foreground != skip && Contains(manager.explorers, foreground) &&
        !platform::IsIconic(foreground)) {
        return foreground;
    }
    // Another program's window took it: the member highest in z-order comes forward.
    std::vector<HWND> zOrder;
    CollectExplorers(zOrder);
    for (HWND window : zOrder) {
        if (window == skip || !Contains(manager.explorers, window) || platform::IsIconic(window)) {
            continue;
        }
        RaiseToTop(window);
        manager.activateAfterUnlock = window;
        return window;
    }
    return nullptr;
}

namespace {

// One poll step's decisions, with the manager's lock held. Returns whether the folders
// should be captured (handed over to the shell calls once the lock is let go).
bool Decide(ExplorerManager& manager) {
    HWND foreground = platform::GetForegroundWindow();
    if (foreground == nullptr) return false;
    // The window in front rarely changes: its answer is kept from the step before. The one
    // before it is asked about only when a new window is in front.
    const bool sameInFront =
        foreground == manager.lastForeground && foreground == manager.knownForeground;
    const bool isExplorer =
        sameInFront ? manager.knownForegroundIsExplorer : IsExplorerWindow(foreground);
    // The one before is known from the step before, even once it has gone: when the active
    // Explorer window closes or is minimized, Windows activates the window below it, and
    // that is not the user coming from another program.
    const auto wasExplorer = [&] {
        if (manager.lastForeground == nullptr) return false;
        return manager.lastForeground == manager.knownForeground
                   ? manager.knownForegroundIsExplorer
                   : IsExplorerWindow(manager.lastForeground);
    };
    bool capture = false;
    bool foregroundIsExplorer = isExplorer;

    if (manager.minimizedAll) {
        if (isExplorer && !platform::IsIconic(foreground)) {
            ActivateAllExplorers(manager, foreground);
            EnforceLimit(manager, true);
            manager.minimizedAll = false;
        }
    } else if (HWND minimized = FindMinimizedExplorer(manager)) {
        if (!IsCtrlHeld()) {
            MinimizeAllExplorers(manager);
            manager.minimizedAll = true;
            capture = true;
        } else {
            // Ctrl exempts the window the user minimized; another one takes the front.
            AddExempt(manager, minimized);
            if (HWND other = ActivateOtherExplorer(manager, minimized)) {
                foreground = other;
                foregroundIsExplorer = true;
            } else {
                manager.minimizedAll = true;
            }
        }
    } else if (isExplorer && !wasExplorer()) {
        ActivateAllExplorers(manager, foreground);
        EnforceLimit(manager, false);
        capture = true;
    } else if (isExplorer) {
        // While an Explorer window stays in front, the limit and the capture run at the pace
        // of the quiet time; the quiet time is armed again only when the limit moved
        // windows, so a minimize right after is followed at once.
        const std::uint64_t now = platform::GetTickCount64();
        if (now - manager.lastInFrontTick >= kQuietTimeMs) {
            manager.lastInFrontTick = now;
            NoteMaximized(manager, foreground);
            if (EnforceLimit(manager, true)) manager.lastActionTick = now;
            capture = true;
        }
    }
    manager.lastForeground = foreground;
    manager.knownForeground = foreground;
    manager.knownForegroundIsExplorer = foregroundIsExplorer;
    return capture;
}

// A crash or a power cut loses at most the last few seconds of folder changes. The list
// file's thread writes it: a slow disk never holds up the poll step.
void SaveChangedFolders(ExplorerManager& manager) {
    if (!manager.foldersUnsaved) return;
    const std::uint64_t now = platform::GetTickCount64();
    if (manager.lastSaveTick != 0 && now - manager.lastSaveTick < kSaveIntervalMs) return;
    manager.lastSaveTick = now;
    AskToSaveList(manager);
}

// Without the shell's window collection folder memory stands still: it is made again now
// and then (Explorer may have been starting, or restarting, when it was first asked).
void ConnectAgainWhileMissing(ExplorerManager& manager) {
    if (!manager.shellWindowsMissing) return;
    const std::uint64_t now = platform::GetTickCount64();
    if (now - manager.lastConnectTick < kConnectAgainMs) return;
    manager.lastConnectTick = now;
    ConnectShellWindowsLater(manager);
}

}  // namespace

void Tick(ExplorerManager& manager) {
    PumpShellCalls();
    ConnectAgainWhileMissing(manager);
    // Only the limit reads the chord. Presses from before it was switched on are stale.
    const bool watchWinE = manager.limitEnabled;
    if (watchWinE && !manager.watchingWinE) IsWinEPressed();
    manager.watchingWinE = watchWinE;
    if (watchWinE) NoteWinE(manager);
    if (manager.wake != nullptr) {
        platform::WaitForSingleObject(manager.wake, kPollSleepMs);
    } else {
        platform::Sleep(kPollSleepMs);
    }
    if (watchWinE) NoteWinE(manager);
    if (InQuietTime(manager)) return;

    bool capture = false;
    HWND activate = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        // "4/2/0 Explorers" may have held the lock until just now; its windows are
        // still moving.
        if (InQuietTime(manager)) return;
        capture = Decide(manager);
        activate = TakeActivation(manager);
    }
    Activate(activate);
    if (capture) CaptureFolders(manager);
    SaveChangedFolders(manager);
}

void PollThreadMain() {
    const unsigned generation = pollGeneration;
    while (pollRunning && pollGeneration == generation) Tick(explorerManager);
}
