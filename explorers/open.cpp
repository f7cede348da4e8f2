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

std::vector<HWND> SettledOrder(const ExplorerManager& manager) {
    std::vector<HWND> before, after;
    CollectExplorers(before);
    if (platform::GetTickCount64() - manager.lastActionTick >= kSettleAfterActionMs) return before;
    for (DWORD waited = 0; waited < kSettleWaitMs; waited += kSettleCheckMs) {
        platform::Sleep(kSettleCheckMs);
        CollectExplorers(after);
        if (after == before) break;
        before.swap(after);
    }
    return before;  // the latest order
}

// The z-order the user saw when the menu opened, less the windows gone since, and then
// the windows that have appeared since.
std::vector<HWND> OrderToKeep(const ExplorerManager& manager, const std::vector<HWND>& atMenu) {
    if (atMenu.empty()) return SettledOrder(manager);
    std::vector<HWND> now, order;
    CollectExplorers(now);
    for (HWND window : atMenu) {
        if (Contains(now, window)) order.push_back(window);
    }
    for (HWND window : now) {
        if (!Contains(order, window)) order.push_back(window);
    }
    return order;
}

void SynthesizeWinE() {
    platform::keybd_event(VK_LWIN, 0x45, KEYEVENTF_EXTENDEDKEY, 0);
    platform::keybd_event('E', 0x45, KEYEVENTF_EXTENDEDKEY, 0);
    platform::keybd_event('E', 0x45, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
    platform::keybd_event(VK_LWIN, 0x45, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
}

}  // namespace

void OpenExplorers(ExplorerManager& manager, const std::vector<HWND>& zOrderAtMenu) {
    HWND activate = nullptr;
    const int count = manager.targetCount;
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        const size_t wanted = static_cast<size_t>(std::max(count, 0));
        // Those kept come first; the ones after them refused to close or did not answer.
        manager.explorers.clear();
        std::vector<HWND> stayed;
        for (HWND window : OrderToKeep(manager, zOrderAtMenu)) {
            if (manager.explorers.size() < wanted) {
                if (platform::IsIconic(window)) AskToShow(manager, window, SW_RESTORE);
                manager.explorers.push_back(window);
            } else if (!AskToClose(window)) {
                stayed.push_back(window);
            }
        }
        const size_t kept = manager.explorers.size();
        ForgetGoneWindows(manager);
        ForgetCloseRefusals(manager);
        for (HWND window : stayed) NoteCloseRefused(manager, window);
        manager.explorers.insert(manager.explorers.end(), stayed.begin(), stayed.end());
        SortByHandle(manager.explorers);
        for (size_t opened = kept; opened < wanted; ++opened) {
            SynthesizeWinE();
            platform::Sleep(kChordPauseMs);
        }
        // The chords just sent are not the user's: the limit must not take them for a Win+E.
        IsWinEPressed();
        const std::vector<HWND> before = manager.explorers;
        manager.openedByCommand.clear();
        if (kept < wanted) {
            WaitForExplorers(wanted);
            ActivateAllExplorers(manager, nullptr);
            for (HWND window : manager.explorers) {
                if (!Contains(before, window)) manager.openedByCommand.push_back(window);
            }
        }
        if (!manager.explorers.empty() && count > 0) ArrangeExplorers(manager);
        // The limit leaves them alone while the set of windows stays as it is now.
        if (!stayed.empty()) {
            CollectExplorers(manager.closeRefusedAmong);
            SortByHandle(manager.closeRefusedAmong);
        }
        NoteSeenByLimit(manager);
        manager.lastWinETick = 0;
        activate = TakeActivation(manager);
        // The windows just moved must not read as the user's doing to the poll step.
        manager.lastActionTick = platform::GetTickCount64();
    }
    Activate(activate);
    if (count > 0) RestoreFolders(manager);
    manager.lastActionTick = platform::GetTickCount64();
}
