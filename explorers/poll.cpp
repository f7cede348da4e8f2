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

// A maximized member's restore activates it when it lands; one that lands after the raise
// was done must not keep the front: it goes back to the window that had it, the one the
// user chose or another program's. Returns that window.
HWND FollowRequests(ExplorerManager& manager) {
    HWND landed = SettleRequests(manager);
    if (landed == nullptr || landed != platform::GetForegroundWindow()) return nullptr;
    HWND before = manager.lastForeground;
    if (before == nullptr || before == landed || !platform::IsWindow(before)) return nullptr;
    return before;
}

bool InQuietTime(const ExplorerManager& manager) {
    return platform::GetTickCount64() - manager.lastActionTick < kQuietTimeMs;
}

bool IsCtrlHeld() {
    return IsKeyHeld(VK_CONTROL);
}

void NoteWinE(ExplorerManager& manager) {
    if (IsWinEPressed()) manager.lastWinETick = platform::GetTickCount64();
}

void AddExempt(ExplorerManager& manager, HWND window) {
    if (!Contains(manager.exempt, window)) manager.exempt.push_back(window);
}

}  // namespace

void ActivateAllExplorers(ExplorerManager& manager, HWND raiseLast) {
    CollectExplorers(manager.explorers);
    ForgetGoneWindows(manager);
    const std::vector<HWND> zOrder = manager.explorers;
    SortByHandle(manager.explorers);
    RaiseGroup(manager, zOrder, raiseLast);
    manager.exempt.clear();
    manager.lastActionTick = platform::GetTickCount64();
}

void MinimizeAllExplorers(ExplorerManager& manager) {
    // Every member goes down with SW_MINIMIZE, which hands activation to the window below
    // when it lands on the active one: SW_SHOWMINNOACTIVE would leave a member that Windows
    // activated meanwhile active while minimized, taking keys unseen. Whatever the members'
    // lag, the last one down leaves the front to a window that is not a member. The active
    // one goes last, so that the others are not activated on the way where they are quick.
    std::vector<HWND> windows;
    CollectExplorers(windows);
    ForgetGoneWindows(manager);
    HWND active = platform::GetForegroundWindow();
    if (!Contains(windows, active)) active = nullptr;
    // A member already down keeps its mark (NoteMaximized): the group may go down again
    // before it came back, and the one the user minimized was marked while it was in front.
    for (HWND window : windows) {
        NoteMaximized(manager, window);
        // A hung member takes no request till it answers: it is left as it is.
        if (window != active && !platform::IsHungAppWindow(window)) {
            AskToShow(manager, window, SW_MINIMIZE);
        }
    }
    if (active != nullptr && !platform::IsHungAppWindow(active)) {
        AskToShow(manager, active, SW_MINIMIZE);
    }
    // Members that are quick are seen down at once; the others' minimize stays followed.
    WaitForRequests(manager, windows, kLandingWaitMs);
    manager.lastActionTick = platform::GetTickCount64();
}

HWND FindMinimizedExplorer(ExplorerManager& manager) {
    for (HWND window : manager.explorers) {
        if (!platform::IsIconic(window)) continue;
        // A restore the program asked for and that has not landed is no user's minimize.
        if (Contains(manager.exempt, window) || AwaitsRequest(manager, window, Request::Restore)) {
            continue;
        }
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
        // Windows activates a member still going down when the one in front goes: that is
        // not the user bringing the group back.
        if (isExplorer && !platform::IsIconic(foreground) &&
            !AwaitsRequest(manager, foreground, Request::Minimize)) {
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
    // Landed requests are noted at every step, in the quiet time too, but never by waiting
    // for a command that holds the lock: its own requests are looked at once it is done.
    HWND giveBack = nullptr;
    {
        std::unique_lock<std::recursive_mutex> guard(manager.lock, std::try_to_lock);
        if (guard.owns_lock()) giveBack = FollowRequests(manager);
    }
    Activate(giveBack);
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
