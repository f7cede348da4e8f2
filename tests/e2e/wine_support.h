// Helpers for tests on the real (Wine) desktop: starting the stand-in programs, finding
// their windows, waiting for the desktop to settle, and injecting keys.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// A program started for a test; terminated when the test is done with it.
struct Process {
    PROCESS_INFORMATION info{};
    Process() = default;
    Process(Process&& other) noexcept : info(other.info) { other.info = {}; }
    Process& operator=(Process&&) = delete;
    ~Process();
    DWORD id() const { return info.dwProcessId; }
    // Waits for the program to end; returns its exit code, or STILL_ACTIVE on timeout.
    DWORD Wait(DWORD timeoutMs);
};

// The folder of the running test program (the stand-ins are built beside it).
std::wstring TestDirectory();

// Starts a program with arguments and an optional environment block addition.
Process Start(const std::wstring& path, const std::wstring& arguments,
              const std::vector<std::wstring>& extraEnvironment = {});
// Starts a stand-in (explorer.exe or notepad.exe) and waits until it shows its windows.
Process StartStandIn(const std::wstring& exeName, const std::wstring& arguments,
                     size_t windows = 1);

// Visible top-level windows of a process, in z-order (topmost first).
std::vector<HWND> WindowsOf(DWORD processId, const wchar_t* className = nullptr);
// Every visible top-level window of the desktop, topmost first.
std::vector<HWND> TopLevelWindows();

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

std::wstring TitleOf(HWND window);
RECT RectOf(HWND window);
RECT WorkAreaOf(HWND window);
void InjectKey(BYTE virtualKey, bool up);

// Serves CLSID_ShellWindows from the stand-in DLL beside the tests, in this Wine prefix.
bool RegisterStandInShellWindows();

// A window of the process with the given class (and title, when given), or null.
HWND FindWindowOf(DWORD processId, const wchar_t* className, const wchar_t* title = nullptr,
                  bool visibleOnly = true);
// Opens the tray menu as a click on the icon does and picks the entry at position
// (separators not counted); a negative position dismisses the menu with Esc.
bool ChooseTrayEntry(HWND mainWindow, int position);

// Windows path of a Unix path (Wine's drive Z: is the Unix root).
std::wstring WindowsPathOf(const std::string& unixPath);
