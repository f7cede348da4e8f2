#include "explorers/explorers.h"

#include "folders/folders.h"
#include "platform/desktop.h"

#include <algorithm>

namespace {

// The system opens a new Explorer window for each Win+E; this long is given to each.
constexpr DWORD kChordPauseMs = 400;
// Explorer often takes longer (a cold start takes seconds): the windows asked for are
// waited for this long at most, looking every kLateWindowCheckMs.
constexpr DWORD kLateWindowWaitMs = 3000;
constexpr DWORD kLateWindowCheckMs = 100;

size_t CountExplorers() {
    std::vector<HWND> windows;
    CollectExplorers(windows);
    enumTarget = nullptr;  // windows is about to go
    return windows.size();
}

void WaitForExplorers(size_t count) {
    for (DWORD waited = 0; waited < kLateWindowWaitMs && CountExplorers() < count;
         waited += kLateWindowCheckMs) {
        platform::Sleep(kLateWindowCheckMs);
    }
}

// Placements of a group action just before may still be landing (a busy window's thread
// carries them out late): the command decides on the z-order once it holds still.
constexpr std::uint64_t kSettleAfterActionMs = 1000;
constexpr DWORD kSettleCheckMs = 30;
constexpr DWORD kSettleWaitMs = 600;

void WaitForSettledOrder(const ExplorerManager& manager) {
    if (platform::GetTickCount64() - manager.lastActionTick >= kSettleAfterActionMs) return;
    std::vector<HWND> before, after;
    CollectExplorers(before);
    for (DWORD waited = 0; waited < kSettleWaitMs; waited += kSettleCheckMs) {
        platform::Sleep(kSettleCheckMs);
        CollectExplorers(after);
        if (after == before) break;
        before.swap(after);
    }
    enumTarget = nullptr;  // both lists are about to go
}

void SynthesizeWinE() {
    platform::keybd_event(VK_LWIN, 0x45, KEYEVENTF_EXTENDEDKEY, 0);
    platform::keybd_event('E', 0x45, KEYEVENTF_EXTENDEDKEY, 0);
    platform::keybd_event('E', 0x45, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
    platform::keybd_event(VK_LWIN, 0x45, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
}

}  // namespace

BOOL CALLBACK OpenExplorersProc(HWND window, LPARAM count) {
    if (!IsExplorerWindow(window)) return TRUE;
    ++enumCount;
    if (enumCount > static_cast<int>(count)) {
        if (AskToClose(window)) return TRUE;
        // Refused: still open, so still in the group, and not counted.
        --enumCount;
        enumTarget->push_back(window);
        return TRUE;
    }
    if (!platform::IsHungAppWindow(window)) {
        if (platform::IsIconic(window)) platform::ShowWindowAsync(window, SW_RESTORE);
        platform::SetForegroundWindow(window);
    }
    enumTarget->push_back(window);
    return TRUE;
}

void OpenExplorers(ExplorerManager& manager) {
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        const int count = manager.targetCount;
        WaitForSettledOrder(manager);
        CollectInto(manager.explorers);
        enumCount = 0;
        platform::EnumWindows(OpenExplorersProc, static_cast<LPARAM>(count));
        // Those kept come first; the ones after them refused to close.
        const size_t kept = std::min(manager.explorers.size(), static_cast<size_t>(count));
        manager.closeRefused.assign(manager.explorers.begin() + kept, manager.explorers.end());
        SortByHandle(manager.explorers);
        const bool shortfall = enumCount < count;
        while (enumCount < count) {
            SynthesizeWinE();
            ++enumCount;
            platform::Sleep(kChordPauseMs);
        }
        if (shortfall) {
            WaitForExplorers(static_cast<size_t>(count));
            ActivateAllExplorers(manager, nullptr);
        }
        if (!manager.explorers.empty() && count > 0) ArrangeExplorers(manager);
        // The limit leaves them alone while the set of windows stays as it is now.
        if (!manager.closeRefused.empty()) {
            CollectExplorers(manager.closeRefusedAmong);
            SortByHandle(manager.closeRefusedAmong);
        }
        // The windows just moved must not read as the user's doing to the poll step.
        manager.lastActionTick = platform::GetTickCount64();
    }
    RestoreFolders(manager);
    manager.lastActionTick = platform::GetTickCount64();
}
