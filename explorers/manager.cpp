#include "explorers/manager.h"

#include "platform/desktop.h"

#include <algorithm>
#include <iterator>

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
    WindowRecord& record = RecordOf(manager, window);
    record.closeRefused = true;
    record.closeUnanswered = platform::IsHungAppWindow(window) != FALSE;
}

bool CloseRefused(const ExplorerManager& manager, HWND window) {
    const auto found = manager.records.find(window);
    return found != manager.records.end() && found->second.closeRefused;
}

WindowRecord& RecordOf(ExplorerManager& manager, HWND window) {
    const auto found = manager.records.find(window);
    if (found != manager.records.end()) return found->second;
    WindowRecord& record = manager.records[window];
    record.thread = platform::GetWindowThreadProcessId(window, nullptr);
    return record;
}

void ForgetGoneWindows(ExplorerManager& manager) {
    for (auto it = manager.records.begin(); it != manager.records.end();) {
        const bool gone =
            !platform::IsWindow(it->first) ||
            platform::GetWindowThreadProcessId(it->first, nullptr) != it->second.thread;
        it = gone ? manager.records.erase(it) : std::next(it);
    }
}

void AskToShow(ExplorerManager& manager, HWND window, int command) {
    WindowRecord& record = RecordOf(manager, window);
    const bool minimize = command == SW_MINIMIZE || command == SW_SHOWMINNOACTIVE;
    record.asked = Request::None;
    if ((platform::IsIconic(window) != FALSE) == minimize) return;  // already there
    if (!platform::ShowWindowAsync(window, command)) return;        // refused: nothing is coming
    record.asked = minimize ? Request::Minimize : Request::Restore;
    record.askedAt = platform::GetTickCount64();
    record.restoreActivates = command == SW_RESTORE;
}

HWND SettleRequests(ExplorerManager& manager) {
    HWND activated = nullptr;
    for (auto& entry : manager.records) {
        const WindowRecord& record = entry.second;
        if (record.asked == Request::None) continue;
        const bool activates = record.asked == Request::Restore && record.restoreActivates;
        if (!AwaitsRequest(manager, entry.first, record.asked) && activates &&
            !platform::IsIconic(entry.first)) {
            activated = entry.first;
        }
    }
    return activated;
}

void WaitForRequests(ExplorerManager& manager, const std::vector<HWND>& windows,
                     std::uint64_t boundMs) {
    const auto awaits = [&](HWND window) {
        const auto found = manager.records.find(window);
        return found != manager.records.end() &&
               AwaitsRequest(manager, window, found->second.asked) &&
               !platform::IsHungAppWindow(window);
    };
    const std::uint64_t start = platform::GetTickCount64();
    while (std::any_of(windows.begin(), windows.end(), awaits) &&
           platform::GetTickCount64() - start < boundMs) {
        platform::Sleep(1);
    }
}

bool AwaitsRequest(ExplorerManager& manager, HWND window, Request request) {
    const auto found = manager.records.find(window);
    if (found == manager.records.end() || found->second.asked != request) return false;
    WindowRecord& record = found->second;
    const bool landed = (platform::IsIconic(window) != FALSE) == (request == Request::Minimize);
    if (landed || !platform::IsWindow(window)) {
        record.asked = Request::None;
        return false;
    }
    const std::uint64_t now = platform::GetTickCount64();
    if (platform::IsHungAppWindow(window)) {
        record.askedAt = now;
        return true;
    }
    if (now - record.askedAt < kRequestBoundMs) return true;
    record.asked = Request::None;
    return false;
}
