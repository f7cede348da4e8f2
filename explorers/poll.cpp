#include "explorers/explorers.h"

#include "folders/folders.h"
#include "folders/shell_calls.h"
#include "platform/desktop.h"

std::atomic<bool> pollRunning{true};
std::atomic<unsigned> pollGeneration{0};

namespace {

constexpr DWORD kPollSleepMs = 50;
// After a group action the poll step stays idle for this long, so the windows it just
// moved do not read as new user actions.
constexpr std::uint64_t kQuietTimeMs = 250;
// A changed folder list reaches the disk at most this often while the program runs.
constexpr std::uint64_t kSaveIntervalMs = 5000;

bool InQuietTime(const ExplorerManager& manager) {
    return platform::GetTickCount64() - manager.lastActionTick < kQuietTimeMs;
}

bool IsCtrlHeld() {
    return IsKeyHeld(VK_CONTROL);
}

void NoteWinE(ExplorerManager& manager) {
    if (IsWinEPressed()) manager.lastWinETick = platform::GetTickCount64();
}

BOOL CALLBACK MinimizeExplorerProc(HWND window, LPARAM) {
    if (IsExplorerWindow(window) && !platform::IsHungAppWindow(window)) {
        // SW_MINIMIZE would activate the next window, often another Explorer window that
        // then reads as the user's choice and raises the group again.
        platform::ShowWindowAsync(window, SW_SHOWMINNOACTIVE);
    }
    return TRUE;
}

void AddExempt(ExplorerManager& manager, HWND window) {
    if (!Contains(manager.exempt, window)) manager.exempt.push_back(window);
}

}  // namespace

void ActivateAllExplorers(ExplorerManager& manager, HWND raiseLast) {
    platform::AllowSetForegroundWindow(platform::GetCurrentProcessId());
    CollectExplorers(manager.explorers);
    const std::vector<HWND> zOrder = manager.explorers;
    SortByHandle(manager.explorers);
    RaiseGroup(zOrder, raiseLast);
    manager.exempt.clear();
    manager.lastActionTick = platform::GetTickCount64();
}

void MinimizeAllExplorers(ExplorerManager& manager) {
    platform::EnumWindows(MinimizeExplorerProc, 0);
    manager.lastActionTick = platform::GetTickCount64();
}

HWND FindMinimizedExplorer(ExplorerManager& manager) {
    for (HWND window : manager.explorers) {
        if (platform::IsIconic(window) && !Contains(manager.exempt, window)) return window;
    }
    return nullptr;
}

HWND ActivateOtherExplorer(ExplorerManager& manager, HWND skip) {
    for (HWND window : manager.explorers) {
        if (window == skip || platform::IsIconic(window)) continue;
        BringToTop(window);
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
    const auto wasExplorer = [&] {
        return sameInFront
                   ? isExplorer
                   : manager.lastForeground != nullptr && IsExplorerWindow(manager.lastForeground);
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
            if (EnforceLimit(manager, true)) manager.lastActionTick = now;
            capture = true;
        }
    }
    manager.lastForeground = foreground;
    manager.knownForeground = foreground;
    manager.knownForegroundIsExplorer = foregroundIsExplorer;
    return capture;
}

// A crash or a power cut loses at most the last few seconds of folder changes.
void SaveChangedFolders(ExplorerManager& manager) {
    if (!manager.foldersUnsaved) return;
    const std::uint64_t now = platform::GetTickCount64();
    if (manager.lastSaveTick != 0 && now - manager.lastSaveTick < kSaveIntervalMs) return;
    manager.lastSaveTick = now;
    SaveFolders(manager);
}

}  // namespace

void Tick(ExplorerManager& manager) {
    PumpShellCalls();
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
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        // "4/2/0 Explorers" may have held the lock until just now; its windows are
        // still moving.
        if (InQuietTime(manager)) return;
        capture = Decide(manager);
    }
    if (capture) CaptureFolders(manager);
    SaveChangedFolders(manager);
}

void PollThreadMain() {
    const unsigned generation = pollGeneration;
    while (pollRunning && pollGeneration == generation) Tick(explorerManager);
}
