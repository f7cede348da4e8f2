// The real desktop: each function forwards to the Windows API call of the same name.
#include "platform/desktop.h"

#include "platform/libraries.h"

#include <thread>

namespace platform {

BOOL EnumWindows(WNDENUMPROC proc, LPARAM param) {
    return ::EnumWindows(proc, param);
}

UINT RealGetWindowClassA(HWND window, LPSTR className, UINT size) {
    return ::RealGetWindowClassA(window, className, size);
}

DWORD GetWindowThreadProcessId(HWND window, DWORD* processId) {
    return ::GetWindowThreadProcessId(window, processId);
}

HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId) {
    return ::OpenProcess(access, inherit, processId);
}

BOOL QueryFullProcessImageNameW(HANDLE process, DWORD flags, LPWSTR name, DWORD* size) {
    return ::QueryFullProcessImageNameW(process, flags, name, size);
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* code) {
    return ::GetExitCodeProcess(process, code);
}

DWORD WaitForSingleObject(HANDLE object, DWORD timeoutMs) {
    return ::WaitForSingleObject(object, timeoutMs);
}

BOOL CloseHandle(HANDLE handle) {
    return ::CloseHandle(handle);
}
BOOL IsIconic(HWND window) {
    return ::IsIconic(window);
}
BOOL IsWindowVisible(HWND window) {
    return ::IsWindowVisible(window);
}
BOOL IsWindow(HWND window) {
    return ::IsWindow(window);
}
DWORD GetFileAttributesW(const wchar_t* path) {
    return ::GetFileAttributesW(path);
}
BOOL MoveFileExW(const wchar_t* from, const wchar_t* to, DWORD flags) {
    return ::MoveFileExW(from, to, flags);
}
DWORD ExplorerLaunchTo() {
    DWORD value = 0, size = sizeof(value);
    if (::RegGetValueW(HKEY_CURRENT_USER,
                       L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced",
                       L"LaunchTo", RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) {
        return 0;
    }
    return value;
}
BOOL IsHungAppWindow(HWND window) {
    return ::IsHungAppWindow(window);
}
BOOL ShowWindowAsync(HWND window, int command) {
    return ::ShowWindowAsync(window, command);
}
HWND GetWindow(HWND window, UINT relation) {
    return ::GetWindow(window, relation);
}
LONG_PTR GetWindowLongPtrW(HWND window, int index) {
    return ::GetWindowLongPtrW(window, index);
}
BOOL IsZoomed(HWND window) {
    return ::IsZoomed(window);
}
BOOL GetWindowPlacement(HWND window, WINDOWPLACEMENT* placement) {
    return ::GetWindowPlacement(window, placement);
}
BOOL GetWindowRect(HWND window, RECT* rect) {
    return ::GetWindowRect(window, rect);
}
HRESULT DwmGetWindowAttribute(HWND window, DWORD attribute, void* value, DWORD size) {
    using WindowAttribute = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);
    static const auto windowAttribute = reinterpret_cast<WindowAttribute>(
        reinterpret_cast<void*>(SystemFunction(L"dwmapi.dll", "DwmGetWindowAttribute")));
    // Without the DWM the answer is a failure, as where no DWM runs.
    return windowAttribute != nullptr ? windowAttribute(window, attribute, value, size) : E_NOTIMPL;
}

UINT GetDpiForWindow(HWND window) {
    // Looked up once: Windows 10 1607 added it.
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow = reinterpret_cast<DpiForWindow>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    return dpiForWindow != nullptr ? dpiForWindow(window) : 0;
}
HWND GetForegroundWindow() {
    return ::GetForegroundWindow();
}
BOOL SetForegroundWindow(HWND window) {
    return ::SetForegroundWindow(window);
}
BOOL FlashWindowEx(PFLASHWINFO info) {
    return ::FlashWindowEx(info);
}
DWORD GetCurrentThreadId() {
    return ::GetCurrentThreadId();
}

BOOL AttachThreadInput(DWORD attach, DWORD attachTo, BOOL doAttach) {
    return ::AttachThreadInput(attach, attachTo, doAttach);
}

LRESULT SendMessageTimeoutW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                            UINT timeoutMs, DWORD_PTR* result) {
    return ::SendMessageTimeoutW(window, message, wParam, lParam, flags, timeoutMs, result);
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(window, insertAfter, x, y, cx, cy, flags);
}

HMONITOR MonitorFromWindow(HWND window, DWORD flags) {
    return ::MonitorFromWindow(window, flags);
}
BOOL GetMonitorInfoW(HMONITOR monitor, MONITORINFO* info) {
    return ::GetMonitorInfoW(monitor, info);
}

SHORT GetAsyncKeyState(int virtualKey) {
    return ::GetAsyncKeyState(virtualKey);
}
void keybd_event(BYTE virtualKey, BYTE scanCode, DWORD flags, ULONG_PTR extraInfo) {
    ::keybd_event(virtualKey, scanCode, flags, extraInfo);
}

std::uint64_t GetTickCount64() {
    return ::GetTickCount64();
}
void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

HRESULT SHGetKnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path) {
    return ::SHGetKnownFolderPath(id, flags, token, path);
}

HRESULT SHGetNameFromIDList(PCIDLIST_ABSOLUTE idList, SIGDN form, PWSTR* name) {
    return ::SHGetNameFromIDList(idList, form, name);
}

HRESULT SHGetDesktopFolder(IShellFolder** folder) {
    return ::SHGetDesktopFolder(folder);
}
HRESULT SHBindToParent(PCIDLIST_ABSOLUTE idList, REFIID iid, void** parent,
                       PCUITEMID_CHILD* child) {
    return ::SHBindToParent(idList, iid, parent, child);
}
void CoTaskMemFree(void* memory) {
    ::CoTaskMemFree(memory);
}
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                         void** object) {
    return ::CoCreateInstance(clsid, outer, context, iid, object);
}

}  // namespace platform
