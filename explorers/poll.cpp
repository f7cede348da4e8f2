#include "explorers/explorers.h"

#include "folders/folders.h"
#include "platform/desktop.h"

std::atomic<bool> pollRunning{true};

namespace {

constexpr DWORD kPollSleepMs = 50;
// After a group action the poll step stays idle for this long, so the windows it just
// moved do not read as new user actions.
constexpr std::uint64_t kQuietTimeMs = 250;

bool IsCtrlHeld() {
    return platform::GetAsyncKeyState(VK_CONTROL) != 0;
}

void NoteWinE(ExplorerManager& manager) {
    if (IsWinEPressed()) manager.lastWinETick = platform::GetTickCount64();
}

BOOL CALLBACK ActivateExplorerProc(HWND window, LPARAM raiseLast) {
    if (window == reinterpret_cast<HWND>(raiseLast)) {
        if (IsExplorerWindow(window)) enumTarget->push_back(window);
        return TRUE;
    }
    if (!IsExplorerWindow(window)) return TRUE;
    enumTarget->push_back(window);
    if (platform::IsIconic(window)) platform::ShowWindow(window, SW_RESTORE);
    BringToTop(window);
    return TRUE;
}

BOOL CALLBACK MinimizeExplorerProc(HWND window, LPARAM) {
    if (IsExplorerWindow(window)) platform::ShowWindow(window, SW_MINIMIZE);
    return TRUE;
}

void AddExempt(ExplorerManager& manager, HWND window) {
    if (!Contains(manager.exempt, window)) manager.exempt.push_back(window);
}

}  // namespace

void ActivateAllExplorers(ExplorerManager& manager, HWND raiseLast) {
    CollectInto(manager.explorers);
    platform::AllowSetForegroundWindow(platform::GetCurrentProcessId());
    platform::EnumWindows(ActivateExplorerProc, reinterpret_cast<LPARAM>(raiseLast));
    SortByHandle(manager.explorers);
    if (raiseLast != nullptr) BringToTop(raiseLast);
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

void Tick(ExplorerManager& manager) {
    NoteWinE(manager);
    platform::Sleep(kPollSleepMs);
    NoteWinE(manager);
    if (platform::GetTickCount64() - manager.lastActionTick < kQuietTimeMs) return;

    std::lock_guard<std::recursive_mutex> guard(manager.lock);
    HWND foreground = platform::GetForegroundWindow();
    if (foreground == nullptr) return;
    const bool wasExplorer =
        manager.lastForeground != nullptr && IsExplorerWindow(manager.lastForeground);
    const bool isExplorer = IsExplorerWindow(foreground);

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
            CaptureFolders(manager);
        } else {
            // Ctrl exempts the window the user minimized; another one takes the front.
            AddExempt(manager, minimized);
            if (HWND other = ActivateOtherExplorer(manager, minimized)) {
                foreground = other;
            } else {
                manager.minimizedAll = true;
            }
        }
    } else if (isExplorer && !wasExplorer) {
        ActivateAllExplorers(manager, foreground);
        EnforceLimit(manager, false);
        CaptureFolders(manager);
    } else if (isExplorer) {
        EnforceLimit(manager, true);
        CaptureFolders(manager);
        manager.lastActionTick = platform::GetTickCount64();
    }
    manager.lastForeground = foreground;
}

void PollThreadMain() {
    while (pollRunning) Tick(explorerManager);
}
