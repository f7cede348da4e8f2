#include "explorers/explorers.h"

#include "platform/desktop.h"

#include <dwmapi.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace {

bool IsExplorerClass(const char* className) {
    return std::strcmp(className, "CabinetWClass") == 0 ||
           std::strcmp(className, "ExploreWClass") == 0;
}

bool EqualsIgnoringAsciiCase(const std::string& a, const char* b) {
    const size_t length = std::strlen(b);
    if (a.size() != length) return false;
    for (size_t i = 0; i < length; ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Closes the process handle on every path out of GetProcessBaseName.
struct ProcessHandle {
    HANDLE handle;
    ~ProcessHandle() {
        if (handle != nullptr) platform::CloseHandle(handle);
    }
};

std::string BaseNameOf(HANDLE process) {
    wchar_t path[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    if (!platform::QueryFullProcessImageNameW(process, 0, path, &length) || length == 0) {
        return std::string();
    }
    const wchar_t* name = path;
    for (const wchar_t* c = path; *c != L'\0'; ++c) {
        if (*c == L'\\' || *c == L'/') name = c + 1;
    }
    std::string narrow;
    for (; *name != L'\0'; ++name) narrow += *name < 0x80 ? static_cast<char>(*name) : '?';
    return narrow;
}

// Which processes are Explorer, by process id. Each entry holds its process open: an
// ended process is noticed and looked up afresh, so an id that Windows hands to another
// program is never taken for Explorer. A step with a known window in front opens no
// process.
struct KnownProcess {
    HANDLE handle;
    bool isExplorer;
};
std::mutex knownMutex;
std::map<DWORD, KnownProcess> knownProcesses;
constexpr size_t kMaxKnownProcesses = 64;

void ForgetLocked() {
    for (auto& entry : knownProcesses) platform::CloseHandle(entry.second.handle);
    knownProcesses.clear();
}

bool IsRunning(HANDLE process) {
    DWORD code = 0;
    return platform::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
}

bool IsExplorerProcess(DWORD processId) {
    std::lock_guard<std::mutex> guard(knownMutex);
    const auto found = knownProcesses.find(processId);
    if (found != knownProcesses.end()) {
        if (IsRunning(found->second.handle)) return found->second.isExplorer;
        platform::CloseHandle(found->second.handle);
        knownProcesses.erase(found);
    }
    // The limited right is granted for Explorer windows of higher integrity too.
    HANDLE process = platform::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) return false;
    const bool isExplorer = EqualsIgnoringAsciiCase(BaseNameOf(process), "Explorer.EXE");
    if (knownProcesses.size() >= kMaxKnownProcesses) ForgetLocked();
    knownProcesses[processId] = {process, isExplorer};
    return isExplorer;
}

}  // namespace

void ForgetExplorerProcesses() {
    std::lock_guard<std::mutex> guard(knownMutex);
    ForgetLocked();
}

std::string GetProcessBaseName(DWORD processId) {
    ProcessHandle process{
        platform::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId)};
    if (process.handle == nullptr) return "<unknown>";
    const std::string name = BaseNameOf(process.handle);
    return name.empty() ? "<unknown>" : name;
}

bool IsExplorerWindow(HWND window) {
    if (window == nullptr) return false;
    // The class test comes first: processes are opened only for the two Explorer classes.
    char className[512];
    if (platform::RealGetWindowClassA(window, className, sizeof(className)) == 0) return false;
    if (!IsExplorerClass(className)) return false;
    // One still being made, or kept ready in the background, joins once it is shown.
    if (!platform::IsWindowVisible(window)) return false;
    // On another virtual desktop the shell cloaks it: it is not part of this desktop's group.
    if (IsCloaked(window)) return false;
    DWORD processId = 0;
    platform::GetWindowThreadProcessId(window, &processId);
    if (processId == 0) return false;
    return IsExplorerProcess(processId);
}

bool IsKeyHeld(int virtualKey) {
    // The low bit says "pressed at some time since the last call": only the high bit says now.
    return (platform::GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

namespace {

// Held now, or pressed and let go since the last read.
bool WasKeyDown(int virtualKey) {
    return (platform::GetAsyncKeyState(virtualKey) & 0x8001) != 0;
}

}  // namespace

bool IsWinEPressed() {
    // A chord sent by a macro key or a launcher is over before the next step: it is seen by
    // the bit "pressed since the last read". All three keys are read every time, so that bit
    // never holds a press from long ago.
    const bool e = WasKeyDown('E');
    const bool left = WasKeyDown(VK_LWIN);
    const bool right = WasKeyDown(VK_RWIN);
    return e && (left || right);
}

bool IsCloaked(HWND window) {
    DWORD cloaked = 0;
    return SUCCEEDED(
               platform::DwmGetWindowAttribute(window, DWMWA_CLOAKED, &cloaked, sizeof(cloaked))) &&
           cloaked != 0;
}

namespace {

// How long a placement may wait for the window's thread to have carried it out.
constexpr DWORD kPlaceWaitMs = 100;

bool IsTopmost(HWND window) {
    return (platform::GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

bool IsStackedAfter(HWND window, HWND insertAfter) {
    HWND above = platform::GetWindow(window, GW_HWNDPREV);
    if (insertAfter != HWND_TOP) return above == insertAfter;
    for (; above != nullptr; above = platform::GetWindow(above, GW_HWNDPREV)) {
        if (!IsTopmost(above)) return false;
    }
    return true;
}

}  // namespace

void PlaceWindow(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    if (platform::IsHungAppWindow(window)) return;
    platform::SetWindowPos(window, insertAfter, x, y, cx, cy, flags | SWP_ASYNCWINDOWPOS);
    if (flags & SWP_NOZORDER) return;
    // The window's own thread carries the request out; the next window is stacked
    // relative to this one, so wait (briefly) until it has.
    const std::uint64_t start = platform::GetTickCount64();
    while (!IsStackedAfter(window, insertAfter) &&
           platform::GetTickCount64() - start < kPlaceWaitMs) {
        platform::Sleep(1);
    }
}

void RaiseToTop(HWND window) {
    PlaceWindow(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Activate(HWND window) {
    if (window == nullptr || platform::IsHungAppWindow(window)) return;
    // Windows lets a thread that shares the foreground thread's input activate; attaching
    // to a hung thread would wait for it.
    HWND foreground = platform::GetForegroundWindow();
    const DWORD own = platform::GetCurrentThreadId();
    DWORD foregroundThread = 0;
    if (foreground != nullptr && !platform::IsHungAppWindow(foreground)) {
        foregroundThread = platform::GetWindowThreadProcessId(foreground, nullptr);
    }
    const bool attached = foregroundThread != 0 && foregroundThread != own &&
                          platform::AttachThreadInput(own, foregroundThread, TRUE);
    const bool activated = platform::SetForegroundWindow(window) != FALSE;
    if (attached) platform::AttachThreadInput(own, foregroundThread, FALSE);
    if (activated) return;
    // Refused: the window is on top all the same, and a flashing button would call the
    // user to a window that is already in front.
    FLASHWINFO stop{sizeof(stop), window, FLASHW_STOP, 0, 0};
    platform::FlashWindowEx(&stop);
}

HWND TakeActivation(ExplorerManager& manager) {
    HWND window = manager.activateAfterUnlock;
    manager.activateAfterUnlock = nullptr;
    return window;
}

namespace {

// How long the raise waits for members that come back maximized: each is activated as it
// comes back, and the chosen window must be activated after that.
constexpr std::uint64_t kMaximizedRestoreWaitMs = 300;

bool ComesBackMaximized(HWND window) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    return platform::GetWindowPlacement(window, &placement) &&
           (placement.flags & WPF_RESTORETOMAXIMIZED) != 0;
}

}  // namespace

void NoteMaximized(ExplorerManager& manager, HWND window) {
    if (platform::IsIconic(window)) return;
    RecordOf(manager, window).maximized = platform::IsZoomed(window) != FALSE;
}

void RaiseGroup(ExplorerManager& manager, const std::vector<HWND>& zOrder, HWND chosen) {
    std::vector<HWND> restored, maximized;
    for (HWND window : zOrder) {
        NoteMaximized(manager, window);
        if (window == chosen || !platform::IsIconic(window)) continue;
        // SW_SHOWNOACTIVATE would bring a maximized window back at its normal size; only
        // SW_RESTORE brings it back maximized, and that activates it. A hung window's
        // thread takes the request once it answers again, maybe long after: it must not
        // take the front then.
        const bool toMaximized =
            !platform::IsHungAppWindow(window) &&
            (RecordOf(manager, window).maximized || ComesBackMaximized(window));
        AskToShow(manager, window, toMaximized ? SW_RESTORE : SW_SHOWNOACTIVATE);
        (toMaximized ? maximized : restored).push_back(window);
    }
    WaitForRequests(manager, restored, kLandingWaitMs);
    WaitForRequests(manager, maximized, kMaximizedRestoreWaitMs);
    HWND above = HWND_TOP;
    if (chosen != nullptr && !platform::IsHungAppWindow(chosen)) {
        RaiseToTop(chosen);
        above = chosen;
    }
    // Raising the members one by one to the top used to reverse their order; they keep
    // that order below the chosen window.
    for (auto it = zOrder.rbegin(); it != zOrder.rend(); ++it) {
        if (*it == chosen || platform::IsHungAppWindow(*it)) continue;
        PlaceWindow(*it, above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        above = *it;
    }
    // Activated only while no other program has taken the front meanwhile: a user who has
    // moved on keeps the program of their choice.
    const HWND inFront = platform::GetForegroundWindow();
    const bool otherProgram =
        inFront != nullptr && std::find(zOrder.begin(), zOrder.end(), inFront) == zOrder.end();
    if (chosen != nullptr && inFront != chosen && !otherProgram) {
        manager.activateAfterUnlock = chosen;
    }
}
