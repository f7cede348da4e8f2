#include "tests/e2e/wine_support.h"

#include <algorithm>

Process::~Process() {
    if (info.hProcess == nullptr) return;
    if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info.hProcess, 0);
        WaitForSingleObject(info.hProcess, 5000);
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

DWORD Process::Wait(DWORD timeoutMs) {
    if (WaitForSingleObject(info.hProcess, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info.hProcess, &code);
    return code;
}

std::wstring TestDirectory() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory = path;
    return directory.substr(0, directory.find_last_of(L'\\'));
}

Process Start(const std::wstring& path, const std::wstring& arguments,
              const std::vector<std::wstring>& extraEnvironment) {
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    std::wstring environment;
    if (!extraEnvironment.empty()) {
        wchar_t* block = GetEnvironmentStringsW();
        for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
            environment.append(entry).push_back(L'\0');
        }
        FreeEnvironmentStringsW(block);
        for (const auto& entry : extraEnvironment) environment.append(entry).push_back(L'\0');
        environment.push_back(L'\0');
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    Process process;
    CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                   environment.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT,
                   environment.empty() ? nullptr : &environment[0], nullptr, &startup,
                   &process.info);
    return process;
}

Process StartStandIn(const std::wstring& exeName, const std::wstring& arguments, size_t windows) {
    Process process = Start(TestDirectory() + L"\\" + exeName, arguments);
    const DWORD id = process.id();
    WaitUntil([&] { return WindowsOf(id).size() >= windows; });
    return process;
}

namespace {

// Top-level windows of a process (0: of any) with a class (null: any) and a title (null:
// any), topmost first.
struct WindowQuery {
    DWORD processId;
    const wchar_t* className;
    const wchar_t* title;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
    auto* query = reinterpret_cast<WindowQuery*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if ((query->processId == 0 || owner == query->processId) &&
        (query->className == nullptr || lstrcmpW(className, query->className) == 0) &&
        (!query->visibleOnly || IsWindowVisible(window)) &&
        (query->title == nullptr || TitleOf(window) == query->title)) {
        query->found.push_back(window);
    }
    return TRUE;
}

std::vector<HWND> Matching(WindowQuery query) {
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

}  // namespace

std::vector<HWND> WindowsOf(DWORD processId, const wchar_t* className) {
    return Matching({processId, className, nullptr, true, {}});
}

HWND FindWindowOf(DWORD processId, const wchar_t* className, const wchar_t* title,
                  bool visibleOnly) {
    const auto found = Matching({processId, className, title, visibleOnly, {}});
    return found.empty() ? nullptr : found.front();
}

std::vector<HWND> TopLevelWindows() {
    return WindowsOf(0);
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() > end) return false;
        Sleep(20);
    }
    return true;
}

std::wstring TitleOf(HWND window) {
    wchar_t title[MAX_PATH] = {};
    GetWindowTextW(window, title, MAX_PATH);
    return title;
}

RECT RectOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

RECT WorkAreaOf(HWND window) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
    return info.rcWork;
}

void InjectKey(BYTE virtualKey, bool up) {
    keybd_event(virtualKey, 0, up ? KEYEVENTF_KEYUP : 0, 0);
}

bool RegisterStandInShellWindows() {
    const std::wstring key =
        L"Software\\Classes\\CLSID\\{9BA05972-F6A8-11CF-A442-00A0C90A8F39}\\InprocServer32";
    const std::wstring dll = TestDirectory() + L"\\standin_shellwindows.dll";
    const wchar_t model[] = L"Both";
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool written =
        RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                       static_cast<DWORD>((dll.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS &&
        RegSetValueExW(handle, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model),
                       sizeof(model)) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return written;
}

bool ChooseTrayEntry(HWND mainWindow, int position) {
    DWORD processId = 0;
    GetWindowThreadProcessId(mainWindow, &processId);
    PostMessageW(mainWindow, WM_USER + 2, 1, WM_RBUTTONUP);
    HWND menu = nullptr;
    if (!WaitUntil([&] { return (menu = FindWindowOf(processId, L"#32768")) != nullptr; })) {
        return false;
    }
    Sleep(100);  // let the watcher in the program read the menu first
    if (position < 0) {
        PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    } else {
        for (int i = 0; i <= position; ++i) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    }
    return WaitUntil([&] { return FindWindowOf(processId, L"#32768") == nullptr; });
}

std::wstring WindowsPathOf(const std::string& unixPath) {
    std::wstring path = L"Z:";
    for (char c : unixPath) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return path;
}
