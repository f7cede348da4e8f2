#include "explorers/explorers.h"

#include "platform/desktop.h"

#include <cstring>

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

}  // namespace

std::string GetProcessBaseName(DWORD processId) {
    const std::string unknown = "<unknown>";
    ProcessHandle process{
        platform::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId)};
    if (process.handle == nullptr) return unknown;
    HMODULE mainModule = nullptr;
    DWORD needed = 0;
    if (!platform::EnumProcessModules(process.handle, &mainModule, sizeof(mainModule), &needed)) {
        return unknown;
    }
    char name[MAX_PATH] = {};
    platform::GetModuleBaseNameA(process.handle, mainModule, name, MAX_PATH);
    return name[0] == '\0' ? unknown : std::string(name);
}

bool IsExplorerWindow(HWND window) {
    if (window == nullptr) return false;
    // The class test comes first: processes are opened only for the two Explorer classes.
    char className[512];
    if (platform::RealGetWindowClassA(window, className, sizeof(className)) == 0) return false;
    if (!IsExplorerClass(className)) return false;
    DWORD processId = 0;
    platform::GetWindowThreadProcessId(window, &processId);
    if (processId == 0) return false;
    return EqualsIgnoringAsciiCase(GetProcessBaseName(processId), "Explorer.EXE");
}

bool IsWinEPressed() {
    if (platform::GetAsyncKeyState('E') == 0) return false;
    return platform::GetAsyncKeyState(VK_LWIN) != 0 || platform::GetAsyncKeyState(VK_RWIN) != 0;
}

void BringToTop(HWND window) {
    HWND foreground = platform::GetForegroundWindow();
    if (foreground == nullptr) {
        platform::BringWindowToTop(window);
        return;
    }
    // Raising is allowed only with input attached to the foreground thread.
    const DWORD foregroundThread = platform::GetWindowThreadProcessId(foreground, nullptr);
    platform::AttachThreadInput(platform::GetCurrentThreadId(), foregroundThread, TRUE);
    platform::BringWindowToTop(window);
    platform::AttachThreadInput(platform::GetCurrentThreadId(), foregroundThread, FALSE);
}
