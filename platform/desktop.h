// The Windows operations that window management and folder memory call.
//
// Every function here has the meaning and signature of the Windows API call of the
// same name (or says what it adds). The product links desktop_win32.cpp; the unit
// tests link a simulated desktop with a virtual clock instead, so the logic in
// explorers/ and folders/ never calls Win32 directly for anything it must observe.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>

namespace platform {

// Windows and processes. Activation follows the foreground lock: SetForegroundWindow
// succeeds for the foreground process, the one that received the last input, a thread
// attached to the foreground thread's input, or with no window in front; otherwise it
// fails and the window's taskbar button flashes.
BOOL EnumWindows(WNDENUMPROC proc, LPARAM param);
UINT RealGetWindowClassA(HWND window, LPSTR className, UINT size);
DWORD GetWindowThreadProcessId(HWND window, DWORD* processId);
HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId);
BOOL QueryFullProcessImageNameW(HANDLE process, DWORD flags, LPWSTR name, DWORD* size);
BOOL GetExitCodeProcess(HANDLE process, DWORD* code);
DWORD WaitForSingleObject(HANDLE object, DWORD timeoutMs);
BOOL CloseHandle(HANDLE handle);
BOOL IsIconic(HWND window);
BOOL IsWindow(HWND window);
BOOL IsWindowVisible(HWND window);
// Windows reports a window hung when its thread has not taken a message for about 5 s.
// Calls that wait for such a window are skipped or made in the forms that do not wait.
BOOL IsHungAppWindow(HWND window);
BOOL ShowWindowAsync(HWND window, int command);
HWND GetWindow(HWND window, UINT relation);
LONG_PTR GetWindowLongPtrW(HWND window, int index);
BOOL IsZoomed(HWND window);
BOOL GetWindowPlacement(HWND window, WINDOWPLACEMENT* placement);
BOOL GetWindowRect(HWND window, RECT* rect);
// Desktop Window Manager: the visible frame (DWMWA_EXTENDED_FRAME_BOUNDS) and whether the
// shell hides the window on another virtual desktop (DWMWA_CLOAKED). Fails where there
// is no DWM.
HRESULT DwmGetWindowAttribute(HWND window, DWORD attribute, void* value, DWORD size);
// The DPI of the monitor the window is on, as the window sees it; 0 where Windows does not
// tell (before Windows 10 1607).
UINT GetDpiForWindow(HWND window);
HWND GetForegroundWindow();
BOOL SetForegroundWindow(HWND window);
BOOL FlashWindowEx(PFLASHWINFO info);
DWORD GetCurrentThreadId();
BOOL AttachThreadInput(DWORD attach, DWORD attachTo, BOOL doAttach);
LRESULT SendMessageTimeoutW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                            UINT timeoutMs, DWORD_PTR* result);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
HMONITOR MonitorFromWindow(HWND window, DWORD flags);
BOOL GetMonitorInfoW(HMONITOR monitor, MONITORINFO* info);

// Keyboard.
SHORT GetAsyncKeyState(int virtualKey);
void keybd_event(BYTE virtualKey, BYTE scanCode, DWORD flags, ULONG_PTR extraInfo);

// Time: the poll loop and the pauses between synthesized chords run on this clock.
std::uint64_t GetTickCount64();
void Sleep(DWORD milliseconds);

// The list file's two calls that a network folder or the file system's rights decide:
// finding the file, and moving the new list over it.
DWORD GetFileAttributesW(const wchar_t* path);
BOOL MoveFileExW(const wchar_t* from, const wchar_t* to, DWORD flags);
// "Open File Explorer to" (HKCU\...\Explorer\Advanced, LaunchTo): 1 This PC, 2 Home or
// Quick access, 3 Downloads; 0 when not set (Home or Quick access).
DWORD ExplorerLaunchTo();

// Shell.
HRESULT SHGetKnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path);
// The name to store is SIGDN_DESKTOPABSOLUTEPARSING: the path of a file-system folder, the
// "::{...}" form of Home, This PC, Libraries and the like; of any length.
HRESULT SHGetNameFromIDList(PCIDLIST_ABSOLUTE idList, SIGDN form, PWSTR* name);
HRESULT SHGetDesktopFolder(IShellFolder** folder);
HRESULT SHBindToParent(PCIDLIST_ABSOLUTE idList, REFIID iid, void** parent, PCUITEMID_CHILD* child);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);
void CoTaskMemFree(void* memory);

}  // namespace platform
