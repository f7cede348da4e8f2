// Entry point: single-instance guard, hidden main window, COM, tray icon, the worker
// thread, the message loop and the ordered shutdown.
#include "app/globals.h"

#include "diag/report.h"
#include "explorers/explorers.h"
#include "folders/folders.h"
#include "folders/shell_calls.h"
#include "folders/shell_windows.h"
#include "res/resource.h"

#include <shobjidl.h>
#include <wrl/client.h>

#include <cstdio>
#include <cwchar>

using Microsoft::WRL::ComPtr;

namespace {

// How long start-up waits for the shell's window collection, and Quit for its release.
constexpr DWORD kConnectWaitMs = 1000;
constexpr DWORD kReleaseWaitMs = 200;

void ResetManagerScalars(ExplorerManager& manager) {
    manager.lastForeground = nullptr;
    manager.targetCount = -1;
    manager.limitEnabled = false;
    manager.lastActionTick = 0;
    manager.lastWinETick = 0;
    manager.minimizedAll = false;
}

// One copy per user session: the session's own mutex decides (refused, it belongs to a
// copy of higher integrity in this session). The global name is held too where it can be
// had, for other programs that look for it; another user's copy may own it.
bool AlreadyRunsInThisSession() {
    sessionMutex = CreateMutexW(nullptr, TRUE, L"Local\\Zephyrine");
    const DWORD sessionError = GetLastError();
    if (sessionError == ERROR_ALREADY_EXISTS || sessionError == ERROR_ACCESS_DENIED) return true;
    instanceMutex = CreateMutexW(nullptr, TRUE, L"Global\\Zephyrine");
    if (instanceMutex == nullptr)
        instanceMutex = OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\Zephyrine");
    return false;
}

void ShowHResultBox(const wchar_t* format, HRESULT result, const wchar_t* title) {
    wchar_t text[512];
    swprintf(text, 512, format, static_cast<unsigned>(result));
    MessageBoxW(nullptr, text, title, MB_OK);
}

// Removes the hidden window's taskbar button. Returns the exit code on failure, 0 on success.
int RemoveTaskbarTab() {
    ComPtr<ITaskbarList2> pitl;
    const HRESULT created =
        CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&pitl));
    if (FAILED(created)) {
        ReportError("%s:\n  (error) %s\n", "wWinMain",
                    "CoCreateInstance for CLSID_TaskbarList failed.");
        ShowHResultBox(L"CoCreateInstance failed(%u)", created, L"debug");
        return 1;
    }
    if (FAILED(pitl->HrInit())) {
        pitl.Reset();
        ReportError("%s:\n  (error) %s\n", "wWinMain", "pitl->HrInit() failed.");
        MessageBoxA(mainWindow, GetLastErrorText().c_str(), "Error", MB_OK);
        MessageBoxW(nullptr, L"pitl->HrInit failed.", L"debug", MB_OK);
        return 1;
    }
    pitl->DeleteTab(mainWindow);
    return 0;
}

void CALLBACK OnWindowEvent(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) {
    SetEvent(explorerManager.wake);
}

// Windows tells when the foreground changes or a window is being minimized: the poll step
// then runs at once rather than at the end of its 50 ms. Out of context, so nothing is
// loaded into other processes; the events arrive on this thread's message loop.
struct WindowEventWatch {
    HWINEVENTHOOK foreground =
        SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr, OnWindowEvent, 0,
                        0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    HWINEVENTHOOK minimize =
        SetWinEventHook(EVENT_SYSTEM_MINIMIZESTART, EVENT_SYSTEM_MINIMIZESTART, nullptr,
                        OnWindowEvent, 0, 0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    WindowEventWatch() = default;
    WindowEventWatch(const WindowEventWatch&) = delete;
    WindowEventWatch& operator=(const WindowEventWatch&) = delete;
    ~WindowEventWatch() {
        if (foreground != nullptr) UnhookWinEvent(foreground);
        if (minimize != nullptr) UnhookWinEvent(minimize);
    }
};

}  // namespace

void RegisterMainClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_ZEPHYRINE));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = windowClassName;
    windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_ZEPHYRINE));
    RegisterClassExW(&windowClass);
}

bool CreateMainWindow(HINSTANCE instance) {
    appInstance = instance;
    // The window stays hidden: it exists for the tray icon, painting and messages.
    mainWindow = CreateWindowExW(0, windowClassName, windowTitle, WS_OVERLAPPEDWINDOW,
                                 CW_USEDEFAULT, 0, 500, 100, nullptr, nullptr, instance, nullptr);
    return mainWindow != nullptr;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Only System32 supplies DLLs: none is taken from the exe's folder.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    ResetManagerScalars(explorerManager);

    if (AlreadyRunsInThisSession()) {
        LoadStringW(instance, IDS_ALREADY_RUNNING, textBuffer, 1024);
        MessageBoxW(nullptr, textBuffer, L"Error", MB_OK);
        return 1;
    }

    LoadStringW(instance, IDS_APP_TITLE, windowTitle, 100);
    wcsncpy(windowClassName, L"ZephyrineClass", 100);
    RegisterMainClass(instance);
    if (!CreateMainWindow(instance)) return 0;
    UpdateWindow(mainWindow);

    // The thread that owns the windows is a single-threaded apartment, as the shell expects
    // of it; calls into Explorer are made on threads of the multithreaded one.
    const HRESULT comResult = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(comResult)) {
        ReportError("%s:\n  (error) %s\n", "wWinMain", "CoInitialize failed.");
        ShowHResultBox(L"CoInitialize failed(%u)", comResult, L"error");
        return 1;
    }
    AnnounceRun(instance, true);
    if (const int exitCode = RemoveTaskbarTab()) return exitCode;

    // Without the shell's window collection the program still groups windows; it only
    // cannot remember their folders. It is made before the tray icon is added, unless
    // Explorer (itself starting, at logon) keeps it waiting.
    ConnectShellWindowsLater(explorerManager);
    // The remembered folders are read on the list file's own thread, from the start: a
    // command or the end of the session then finds them read.
    AskToReadList(explorerManager);
    WaitForShellCalls(kConnectWaitMs);
    InvalidateRect(mainWindow, nullptr, TRUE);

    // The tray shows small icons: the image of that size stays sharp at every scaling.
    trayIcon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_ZEPHYRINE), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    if (trayIcon == nullptr) {
        std::fprintf(stderr, "%s\n", GetLastErrorText().c_str());
        std::fflush(stderr);
    }
    AddTrayIcon();
    // An installer that closed the program to replace it starts it again; a crash, a hang
    // or a restart of Windows does not (the Startup shortcut starts it at sign-in).
    RegisterApplicationRestart(nullptr, RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT);
    explorerManager.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    StartWorker();
    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_ZEPHYRINE));

    MSG message;
    {
        WindowEventWatch watch;
        while (GetMessageW(&message, nullptr, 0, 0)) {
            if (!TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }

    StopWorker();
    {
        // A call into Explorer that returns from now on changes nothing that is saved.
        std::lock_guard<std::recursive_mutex> guard(explorerManager.lock);
        StopShellCalls();
    }
    FinishListFile(explorerManager, kLastSaveWaitMs);
    ReleaseShellWindows(explorerManager, kReleaseWaitMs);
    RemoveTrayIcon();
    DestroyIcon(trayIcon);
    if (!closedByInstaller) AnnounceRun(instance, false);
    CoUninitialize();
    // Threads may still be inside calls into a window that does not answer: the process
    // ends here, with nothing destroyed under them.
    ExitProcess(static_cast<UINT>(message.wParam));
}
