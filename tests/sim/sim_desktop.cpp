#include "tests/sim/sim_desktop.h"

#include "platform/desktop.h"

#include <dwmapi.h>
#include <exdisp.h>

#include <algorithm>
#include <cstring>

namespace {

SimDesktop* desktop = new SimDesktop;

using Guard = std::lock_guard<std::recursive_mutex>;

constexpr DWORD kSimThreadOfProcess = 1000;  // thread id = this + process id
constexpr DWORD kOwnThreadId = 7;

// A process handle names the process id and the run of that id it was opened on.
constexpr std::uintptr_t kRunStride = 0x1000000;

HANDLE ProcessHandleOf(DWORD processId) {
    return reinterpret_cast<HANDLE>(kRunStride * (desktop->processRuns[processId] + 1) + processId);
}
DWORD ProcessIdOf(HANDLE handle) {
    return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(handle) % kRunStride);
}
bool IsCurrentRun(HANDLE handle) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    return value >= kRunStride &&
           static_cast<int>(value / kRunStride - 1) == desktop->processRuns[ProcessIdOf(handle)];
}

SimWindow* FindByProcess(DWORD processId) {
    for (SimWindow& window : desktop->windows) {
        if (window.processId == processId) return &window;
    }
    return nullptr;
}

Guard Enter() {
    ++desktop->calls;
    return Guard(desktop->mutex);
}

// The chord state of synthesized keys: Windows key down, then E down, opens a window.
bool lwinDown = false;

size_t MonitorIndexOf(const RECT& rect) {
    size_t index = 0;
    for (size_t i = 0; i < desktop->workAreas.size(); ++i) {
        const RECT& area = desktop->workAreas[i];
        if (rect.left >= area.left && rect.left < area.right && rect.top >= area.top &&
            rect.top < area.bottom) {
            index = i;
        }
    }
    return index;
}

UINT MonitorDpi(size_t index) {
    return index < desktop->monitorDpis.size() ? desktop->monitorDpis[index] : 96;
}

UINT DpiOf(const SimWindow& window) {
    return window.dpi != 0 ? window.dpi : MonitorDpi(MonitorIndexOf(window.rect));
}

// The foreground lock, for a call made by a thread of processId.
bool MayActivate(DWORD processId) {
    if (desktop->menuActive) return false;
    SimWindow* front = desktop->foreground ? desktop->Find(desktop->foreground) : nullptr;
    if (front == nullptr || desktop->foregroundLockTimedOut) return true;
    if (front->processId == processId || desktop->lastInputProcess == processId) return true;
    // Undocumented, and relied on widely: input attached to the foreground thread.
    return processId == kOwnProcessId &&
           desktop->attachedTo.count(kSimThreadOfProcess + front->processId) != 0;
}

// A show command carried out by the window's own thread.
void ApplyShow(SimWindow& window, int command) {
    const HWND handle = window.handle;  // window moves with the list
    window.visible = true;
    if (command == SW_RESTORE || command == SW_SHOWNOACTIVATE) {
        // SW_SHOWNOACTIVATE forgets that the window was maximized (Wine, ReactOS).
        if (command == SW_SHOWNOACTIVATE) window.restoresMaximized = false;
        window.maximized = window.minimized && window.restoresMaximized;
        window.minimized = false;
        if (command != SW_RESTORE) return;
        if (MayActivate(window.processId)) {
            desktop->foreground = handle;
            desktop->Raise(handle);
        } else {
            desktop->flashing.insert(handle);
        }
    } else if ((command == SW_MINIMIZE || command == SW_SHOWMINNOACTIVE) && !window.minimized) {
        window.restoresMaximized = window.maximized;
        window.maximized = false;
        window.minimized = true;
        if (command == SW_MINIMIZE && desktop->foreground == handle) {
            desktop->ActivateNextBelow(handle);
        }
    }
}

// Late Explorer windows whose time has come appear.
void OpenDueExplorers() {
    auto& pending = desktop->pendingExplorers;
    for (auto it = pending.begin(); it != pending.end();) {
        if (*it > desktop->now) {
            ++it;
            continue;
        }
        it = pending.erase(it);
        AddExplorer();
    }
}

}  // namespace

SimDesktop& Sim() {
    return *desktop;
}

void ResetSim() {
    delete desktop;
    desktop = new SimDesktop;
    lwinDown = false;
}

SimWindow* SimDesktop::Find(HWND handle) {
    for (SimWindow& window : windows) {
        if (window.handle == handle) return &window;
    }
    return nullptr;
}

void SimDesktop::Raise(HWND handle) {
    auto it = std::find_if(windows.begin(), windows.end(),
                           [&](const SimWindow& w) { return w.handle == handle; });
    if (it == windows.end()) return;
    SimWindow window = *it;
    windows.erase(it);
    windows.insert(windows.begin(), window);
}

// Moves a window in the z-order to just below another one (HWND_TOP: to the top).
static void PlaceAfter(std::vector<SimWindow>& windows, HWND window, HWND insertAfter) {
    auto it = std::find_if(windows.begin(), windows.end(),
                           [&](const SimWindow& w) { return w.handle == window; });
    if (it == windows.end() || window == insertAfter) return;
    SimWindow moved = *it;
    windows.erase(it);
    auto after = std::find_if(windows.begin(), windows.end(),
                              [&](const SimWindow& w) { return w.handle == insertAfter; });
    windows.insert(after == windows.end() ? windows.begin() : after + 1, moved);
}

void SimDesktop::ActivateNextBelow(HWND handle, DWORD endingProcess) {
    auto it = std::find_if(windows.begin(), windows.end(),
                           [&](const SimWindow& w) { return w.handle == handle; });
    if (it == windows.end()) return;
    foreground = nullptr;
    for (++it; it != windows.end(); ++it) {
        if (it->visible && !it->minimized && !it->cloaked && it->processId != endingProcess) {
            foreground = it->handle;
            return;
        }
    }
}

void SimDesktop::ClearRecord() {
    calls = processesOpened = enumerations = attaches = attachCalls = waitsOnHung = 0;
    closeRequests.clear();
    raised.clear();
    restored.clear();
    minimizedCalls.clear();
    foregroundCalls.clear();
    placements.clear();
    keyEvents.clear();
    keyEventFlags.clear();
    keyEventScans.clear();
}

HWND AddWindow(SimWindow window) {
    Guard guard(desktop->mutex);
    if (window.handle == nullptr) window.handle = reinterpret_cast<HWND>(desktop->nextHandle);
    desktop->nextHandle =
        std::max(desktop->nextHandle, reinterpret_cast<std::uintptr_t>(window.handle)) + 0x10;
    desktop->windows.insert(desktop->windows.begin(), window);
    return window.handle;
}

HWND AddExplorer(std::uintptr_t handle, bool minimized) {
    SimWindow window;
    window.handle = reinterpret_cast<HWND>(handle);
    window.minimized = minimized;
    return AddWindow(window);
}

void CloseSimWindow(HWND handle) {
    Guard guard(desktop->mutex);
    if (desktop->foreground == handle) desktop->ActivateNextBelow(handle);
    auto& windows = desktop->windows;
    windows.erase(std::remove_if(windows.begin(), windows.end(),
                                 [&](const SimWindow& w) { return w.handle == handle; }),
                  windows.end());
}

void UserMinimize(HWND handle) {
    Guard guard(desktop->mutex);
    if (SimWindow* window = desktop->Find(handle)) ApplyShow(*window, SW_MINIMIZE);
}

void EndProcess(DWORD processId) {
    Guard guard(desktop->mutex);
    auto& windows = desktop->windows;
    SimWindow* front = desktop->foreground ? desktop->Find(desktop->foreground) : nullptr;
    if (front != nullptr && front->processId == processId) {
        desktop->ActivateNextBelow(front->handle, processId);
    }
    windows.erase(std::remove_if(windows.begin(), windows.end(),
                                 [&](const SimWindow& w) { return w.processId == processId; }),
                  windows.end());
    ++desktop->processRuns[processId];
}

bool IsOpen(HWND handle) {
    Guard guard(desktop->mutex);
    return desktop->Find(handle) != nullptr;
}

bool IsMinimized(HWND handle) {
    Guard guard(desktop->mutex);
    SimWindow* window = desktop->Find(handle);
    return window != nullptr && window->minimized;
}

PIDLIST_ABSOLUTE NewIdList(const std::wstring& path) {
    Guard guard(desktop->mutex);
    void* memory = ::CoTaskMemAlloc(16);
    std::memset(memory, 0, 16);
    desktop->idLists[memory] = path;
    return static_cast<PIDLIST_ABSOLUTE>(memory);
}

std::wstring PathOfIdList(const void* idList) {
    Guard guard(desktop->mutex);
    auto found = desktop->idLists.find(idList);
    return found == desktop->idLists.end() ? std::wstring() : found->second;
}

namespace platform {

BOOL EnumWindows(WNDENUMPROC proc, LPARAM param) {
    std::vector<HWND> handles;
    {
        auto guard = Enter();
        ++desktop->enumerations;
        for (const SimWindow& window : desktop->windows) handles.push_back(window.handle);
    }
    // The callback may raise or close windows; the visit order is fixed at the start.
    for (HWND handle : handles) {
        if (!proc(handle, param)) break;
    }
    return TRUE;
}

UINT RealGetWindowClassA(HWND window, LPSTR className, UINT size) {
    auto guard = Enter();
    SimWindow* found = desktop->Find(window);
    if (found == nullptr || size == 0) return 0;
    const size_t length = std::min<size_t>(found->className.size(), size - 1);
    std::memcpy(className, found->className.data(), length);
    className[length] = '\0';
    return static_cast<UINT>(length);
}

DWORD GetWindowThreadProcessId(HWND window, DWORD* processId) {
    auto guard = Enter();
    SimWindow* found = desktop->Find(window);
    if (found == nullptr) return 0;
    if (processId != nullptr) *processId = found->processId;
    return kSimThreadOfProcess + found->processId;
}

HANDLE OpenProcess(DWORD access, BOOL, DWORD processId) {
    auto guard = Enter();
    SimWindow* owner = FindByProcess(processId);
    if (owner == nullptr || owner->processLocked || access != PROCESS_QUERY_LIMITED_INFORMATION) {
        return nullptr;
    }
    ++desktop->processesOpened;
    ++desktop->openProcessHandles;
    return ProcessHandleOf(processId);
}

BOOL QueryFullProcessImageNameW(HANDLE process, DWORD, LPWSTR name, DWORD* size) {
    auto guard = Enter();
    SimWindow* owner = FindByProcess(ProcessIdOf(process));
    if (!IsCurrentRun(process) || owner == nullptr) return FALSE;
    std::wstring path = L"C:\\Windows\\";
    for (char c : owner->processName) path += static_cast<wchar_t>(static_cast<unsigned char>(c));
    if (path.size() + 1 > *size) return FALSE;
    std::copy(path.begin(), path.end(), name);
    name[path.size()] = L'\0';
    *size = static_cast<DWORD>(path.size());
    return TRUE;
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* code) {
    auto guard = Enter();
    const bool running = IsCurrentRun(process) && FindByProcess(ProcessIdOf(process)) != nullptr;
    *code = running ? STILL_ACTIVE : 0;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD timeoutMs) {
    {
        auto guard = Enter();
        if (object == desktop->wakeEvent && desktop->wakeSignalled) {
            desktop->wakeSignalled = false;  // an auto-reset event
            return WAIT_OBJECT_0;
        }
    }
    Sleep(timeoutMs);
    return WAIT_TIMEOUT;
}

BOOL CloseHandle(HANDLE) {
    auto guard = Enter();
    --desktop->openProcessHandles;
    return TRUE;
}

BOOL IsIconic(HWND window) {
    auto guard = Enter();
    SimWindow* found = desktop->Find(window);
    return found != nullptr && found->minimized;
}

BOOL IsWindowVisible(HWND window) {
    auto guard = Enter();
    if (SimWindow* found = desktop->Find(window)) return found->visible;
    // A tab is shown only while its frame is.
    const auto tab = desktop->tabFrames.find(window);
    if (tab == desktop->tabFrames.end() || desktop->hiddenWindows.count(window) != 0) return FALSE;
    SimWindow* frame = desktop->Find(tab->second);
    return frame != nullptr && frame->visible;
}

BOOL IsWindow(HWND window) {
    auto guard = Enter();
    return desktop->Find(window) != nullptr;
}

BOOL IsHungAppWindow(HWND window) {
    auto guard = Enter();
    SimWindow* found = desktop->Find(window);
    return found != nullptr && found->hung;
}

// Carried out by the window's thread when it takes messages: late when it is busy, once it
// answers again when it is hung.
BOOL ShowWindowAsync(HWND window, int command) {
    auto guard = Enter();
    SimWindow* found = desktop->Find(window);
    if (found == nullptr) return FALSE;
    if (command == SW_RESTORE || command == SW_SHOWNOACTIVATE) desktop->restored.push_back(window);
    if (command == SW_MINIMIZE || command == SW_SHOWMINNOACTIVE) {
        desktop->minimizedCalls.push_back(window);
    }
    if (found->hung || found->moveLagMs != 0) {
        SimDesktop::PendingMove request{window, nullptr, 0, 0,
                                        0,      0,       0, desktop->now + found->moveLagMs};
        request.show = command;
        desktop->pendingMoves.push_back(request);
    } else {
        ApplyShow(*found, command);
    }
    return TRUE;
}

HWND GetWindow(HWND window, UINT relation) {
    auto guard = Enter();
    auto& windows = desktop->windows;
    auto it = std::find_if(windows.begin(), windows.end(),
                           [&](const SimWindow& w) { return w.handle == window; });
    if (it == windows.end()) return nullptr;
    if (relation == GW_HWNDPREV) return it == windows.begin() ? nullptr : (it - 1)->handle;
    if (relation == GW_HWNDNEXT) return it + 1 == windows.end() ? nullptr : (it + 1)->handle;
    return nullptr;
}

LONG_PTR GetWindowLongPtrW(HWND, int) {
    auto guard = Enter();
    return 0;  // no topmost windows on this desktop
}

BOOL IsZoomed(HWND window) {
    auto guard = Enter();
    SimWindow* found = desktop->Find(window);
    return found != nullptr && found->maximized;
}

BOOL GetWindowPlacement(HWND window, WINDOWPLACEMENT* placement) {
    auto guard = Enter();
    SimWindow* found = desktop->Find(window);
    if (found == nullptr) return FALSE;
    placement->flags = found->minimized && found->restoresMaximized ? WPF_RESTORETOMAXIMIZED : 0;
    placement->showCmd = found->minimized   ? SW_SHOWMINIMIZED
                         : found->maximized ? SW_SHOWMAXIMIZED
                                            : SW_SHOWNORMAL;
    return TRUE;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
    auto guard = Enter();
    SimWindow* found = desktop->Find(window);
    if (found == nullptr) return FALSE;
    *rect = found->rect;
    return TRUE;
}

HRESULT DwmGetWindowAttribute(HWND window, DWORD attribute, void* value, DWORD size) {
    auto guard = Enter();
    SimWindow* found = desktop->Find(window);
    if (desktop->dwmFails || found == nullptr) return E_FAIL;
    if (attribute == DWMWA_CLOAKED && size == sizeof(DWORD)) {
        *static_cast<DWORD*>(value) = found->cloaked ? 2 /* DWM_CLOAKED_SHELL */ : 0;
        return S_OK;
    }
    if (attribute == DWMWA_EXTENDED_FRAME_BOUNDS && size == sizeof(RECT)) {
        const RECT& border = found->invisibleBorders;
        *static_cast<RECT*>(value) = {found->rect.left + border.left, found->rect.top + border.top,
                                      found->rect.right - border.right,
                                      found->rect.bottom - border.bottom};
        return S_OK;
    }
    return E_INVALIDARG;
}

UINT GetDpiForWindow(HWND window) {
    auto guard = Enter();
    SimWindow* found = desktop->Find(window);
    return found != nullptr ? DpiOf(*found) : 0;
}

HWND GetForegroundWindow() {
    auto guard = Enter();
    return desktop->foreground;
}

BOOL SetForegroundWindow(HWND window) {
    auto guard = Enter();
    desktop->foregroundCalls.push_back(window);
    // A hidden window may be activated too, and takes the keys unseen.
    if (desktop->Find(window) == nullptr) return FALSE;
    if (!MayActivate(kOwnProcessId)) {
        desktop->flashing.insert(window);  // and the z-order stays
        return FALSE;
    }
    desktop->foreground = window;
    desktop->Raise(window);
    return TRUE;
}

BOOL FlashWindowEx(PFLASHWINFO info) {
    auto guard = Enter();
    if (info->dwFlags == FLASHW_STOP) {
        desktop->flashing.erase(info->hwnd);
    } else {
        desktop->flashing.insert(info->hwnd);
    }
    return TRUE;
}

DWORD GetCurrentThreadId() {
    return kOwnThreadId;
}

BOOL AttachThreadInput(DWORD, DWORD attachTo, BOOL attach) {
    auto guard = Enter();
    for (const SimWindow& window : desktop->windows) {
        if (window.hung && kSimThreadOfProcess + window.processId == attachTo) {
            ++desktop->waitsOnHung;
        }
    }
    desktop->attaches += attach ? 1 : -1;
    if (attach) {
        desktop->attachedTo.insert(attachTo);
    } else {
        desktop->attachedTo.erase(attachTo);
    }
    ++desktop->attachCalls;
    return TRUE;
}

LRESULT SendMessageTimeoutW(HWND window, UINT message, WPARAM, LPARAM, UINT flags, UINT timeoutMs,
                            DWORD_PTR* result) {
    auto guard = Enter();
    SimWindow* found = desktop->Find(window);
    if (found == nullptr) return 0;
    if (message == WM_CLOSE) desktop->closeRequests.push_back(window);
    if (found->refusesClose) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    const bool closes = message == WM_CLOSE && !found->declinesClose;
    if (found->hung || found->moveLagMs >= timeoutMs) {
        // SMTO_ABORTIFHUNG gives up on a hung window at once, having sent nothing. Otherwise
        // the wait runs out and the message is taken all the same: by a busy thread after
        // its lag, by a hung one once it answers again.
        if (!found->hung || !(flags & SMTO_ABORTIFHUNG)) {
            if (found->hung) ++desktop->waitsOnHung;
            if (closes) {
                SimDesktop::PendingMove request{
                    window, nullptr, 0, 0, 0, 0, 0, desktop->now + found->moveLagMs};
                request.close = true;
                desktop->pendingMoves.push_back(request);
            }
            desktop->now += timeoutMs;
        }
        ::SetLastError(ERROR_TIMEOUT);
        return 0;
    }
    desktop->now += found->moveLagMs;
    if (result != nullptr) *result = 0;
    if (closes) CloseSimWindow(window);
    return 1;
}

namespace {

void ApplyWindowPos(SimWindow& found, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    const UINT before = DpiOf(found);
    if (flags & SWP_SHOWWINDOW) found.visible = true;
    if (flags & SWP_HIDEWINDOW) found.visible = false;
    if (!(flags & SWP_NOMOVE)) OffsetRect(&found.rect, x - found.rect.left, y - found.rect.top);
    if (!(flags & SWP_NOSIZE)) {
        found.rect.right = found.rect.left + cx;
        found.rect.bottom = found.rect.top + cy;
    }
    // Moved onto a monitor of another DPI, a per-monitor aware window rescales itself
    // (WM_DPICHANGED), keeping its top left corner.
    const UINT after = MonitorDpi(MonitorIndexOf(found.rect));
    if (found.rescalesWithDpi && after != before) {
        const auto scale = [&](LONG length) { return static_cast<LONG>(length * after / before); };
        found.rect.right = found.rect.left + scale(found.rect.right - found.rect.left);
        found.rect.bottom = found.rect.top + scale(found.rect.bottom - found.rect.top);
    }
    found.dpi = after;
    if (!(flags & SWP_NOZORDER)) {
        const HWND window = found.handle;  // found moves with the list
        PlaceAfter(desktop->windows, window, insertAfter);
        desktop->raised.push_back(window);
    }
}

void LandDueMoves() {
    auto& pending = desktop->pendingMoves;
    for (size_t i = 0; i < pending.size();) {
        SimWindow* found = desktop->Find(pending[i].window);
        if (found != nullptr && (pending[i].dueAt > desktop->now || found->hung)) {
            ++i;
            continue;
        }
        const auto move = pending[i];
        pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
        if (found == nullptr) continue;
        if (move.close) {
            CloseSimWindow(move.window);
        } else if (move.show >= 0) {
            ApplyShow(*found, move.show);
        } else {
            ApplyWindowPos(*found, move.insertAfter, move.x, move.y, move.cx, move.cy, move.flags);
        }
    }
}

}  // namespace

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    auto guard = Enter();
    const bool moves = (flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE);
    if (moves) desktop->placements.push_back({window, x, y, cx, cy});
    SimWindow* found = desktop->Find(window);
    if (found == nullptr) return FALSE;
    if (found->hung && !(flags & SWP_ASYNCWINDOWPOS)) {
        ++desktop->waitsOnHung;
        return TRUE;
    }
    if ((flags & SWP_ASYNCWINDOWPOS) && (found->moveLagMs != 0 || found->hung)) {
        desktop->pendingMoves.push_back(
            {window, insertAfter, x, y, cx, cy, flags, desktop->now + found->moveLagMs});
        return TRUE;
    }
    // Without SWP_ASYNCWINDOWPOS the caller waits for the window's thread to carry it out.
    desktop->now += found->moveLagMs;
    ApplyWindowPos(*found, insertAfter, x, y, cx, cy, flags);
    return TRUE;
}

HMONITOR MonitorFromWindow(HWND window, DWORD) {
    auto guard = Enter();
    if (desktop->monitorFromWindowFails) return nullptr;
    SimWindow* found = desktop->Find(window);
    return reinterpret_cast<HMONITOR>((found != nullptr ? MonitorIndexOf(found->rect) : 0) + 1);
}

BOOL GetMonitorInfoW(HMONITOR monitor, MONITORINFO* info) {
    auto guard = Enter();
    const size_t index = reinterpret_cast<std::uintptr_t>(monitor) - 1;
    if (desktop->monitorInfoFails || index >= desktop->workAreas.size()) return FALSE;
    info->rcMonitor = info->rcWork = desktop->workAreas[index];
    return TRUE;
}

SHORT GetAsyncKeyState(int virtualKey) {
    auto guard = Enter();
    // High bit: held now. Low bit: pressed since the last read (and read once).
    const bool pressedEarlier = desktop->pressedEarlier.erase(virtualKey) != 0;
    return static_cast<SHORT>((desktop->heldKeys.count(virtualKey) ? 0x8000 : 0) |
                              (pressedEarlier ? 1 : 0));
}

void keybd_event(BYTE virtualKey, BYTE scanCode, DWORD flags, ULONG_PTR) {
    auto guard = Enter();
    const bool up = (flags & KEYEVENTF_KEYUP) != 0;
    desktop->keyEvents.push_back(static_cast<BYTE>(virtualKey | (up ? 0x80 : 0)));
    desktop->keyEventFlags.push_back(flags);
    desktop->keyEventScans.push_back(scanCode);
    // Injected keys are keys like any other: the key state, shared with every program.
    if (up) {
        desktop->heldKeys.erase(virtualKey);
    } else {
        desktop->heldKeys.insert(virtualKey);
        desktop->pressedEarlier.insert(virtualKey);
    }
    if (virtualKey == VK_LWIN) lwinDown = !up;
    if (virtualKey == 'E' && !up && lwinDown && desktop->winEOpensExplorer) {
        if (desktop->winEDelayMs == 0) {
            AddExplorer();
        } else {
            desktop->pendingExplorers.push_back(desktop->now + desktop->winEDelayMs);
        }
    }
}

std::uint64_t GetTickCount64() {
    auto guard = Enter();
    return desktop->now;
}

void Sleep(DWORD milliseconds) {
    std::function<void()> hook;
    {
        auto guard = Enter();
        desktop->now += milliseconds;
        OpenDueExplorers();
        LandDueMoves();
        hook = desktop->onSleep;
    }
    if (hook) hook();
}

DWORD GetFileAttributesW(const wchar_t* path) {
    {
        auto guard = Enter();
        if (desktop->fileError != 0) {
            ::SetLastError(desktop->fileError);
            return INVALID_FILE_ATTRIBUTES;
        }
    }
    return ::GetFileAttributesW(path);
}

// The list file is written on a thread of its own: the hook may hold it there.
BOOL MoveFileExW(const wchar_t* from, const wchar_t* to, DWORD flags) {
    std::function<void()> hook;
    {
        auto guard = Enter();
        hook = desktop->onFileMove;
    }
    if (hook) hook();
    return ::MoveFileExW(from, to, flags);
}

DWORD ExplorerLaunchTo() {
    auto guard = Enter();
    return desktop->launchTo;
}

HRESULT SHGetKnownFolderPath(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR* path) {
    auto guard = Enter();
    *path = nullptr;
    if (desktop->roamingAppData.empty()) return E_FAIL;
    const size_t bytes = (desktop->roamingAppData.size() + 1) * sizeof(wchar_t);
    *path = static_cast<PWSTR>(::CoTaskMemAlloc(bytes));
    std::memcpy(*path, desktop->roamingAppData.c_str(), bytes);
    return S_OK;
}

HRESULT SHGetNameFromIDList(PCIDLIST_ABSOLUTE idList, SIGDN, PWSTR* name) {
    auto guard = Enter();
    *name = nullptr;
    auto found = desktop->idLists.find(idList);
    if (found == desktop->idLists.end() || found->second.empty()) return E_FAIL;
    const size_t bytes = (found->second.size() + 1) * sizeof(wchar_t);
    *name = static_cast<PWSTR>(::CoTaskMemAlloc(bytes));
    memcpy(*name, found->second.c_str(), bytes);
    return S_OK;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown*, DWORD, REFIID iid, void** object) {
    auto guard = Enter();
    *object = nullptr;
    if (clsid != CLSID_ShellWindows || desktop->shellWindowsToCreate == nullptr) {
        return REGDB_E_CLASSNOTREG;
    }
    ++desktop->shellWindowsCreated;
    return desktop->shellWindowsToCreate->QueryInterface(iid, object);
}

HRESULT SHGetDesktopFolder(IShellFolder** folder) {
    auto guard = Enter();
    *folder = desktop->desktopFolder;
    if (*folder == nullptr) return E_FAIL;
    (*folder)->AddRef();
    return S_OK;
}

// Every item's parent is the desktop folder, which knows what each name is.
HRESULT SHBindToParent(PCIDLIST_ABSOLUTE idList, REFIID iid, void** parent,
                       PCUITEMID_CHILD* child) {
    auto guard = Enter();
    *parent = nullptr;
    if (desktop->desktopFolder == nullptr) return E_FAIL;
    *child = reinterpret_cast<PCUITEMID_CHILD>(idList);
    return desktop->desktopFolder->QueryInterface(iid, parent);
}

void CoTaskMemFree(void* memory) {
    auto guard = Enter();
    if (desktop->idLists.erase(memory) != 0) ++desktop->idListsFreed;
    ::CoTaskMemFree(memory);
}

}  // namespace platform
