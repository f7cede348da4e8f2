// Entry point: single-instance guard, hidden main window, COM, tray icon, the worker
// thread, the message loop and the ordered shutdown.
#include "app/globals.h"

#include "diag/report.h"
#include "explorers/explorers.h"
#include "folders/folders.h"
#include "folders/shell_windows.h"
#include "res/resource.h"

#include <shobjidl.h>
#include <wrl/client.h>

#include <cstdio>
#include <cwchar>

using Microsoft::WRL::ComPtr;

namespace {

void ResetManagerScalars(ExplorerManager& manager) {
    manager.lastForeground = nullptr;
    manager.targetCount = -1;
    manager.limitEnabled = false;
    manager.lastActionTick = 0;
    manager.lastWinETick = 0;
    manager.minimizedAll = false;
}

void ShowHResultBox(const wchar_t* format, HRESULT result, const wchar_t* title) {
    wchar_t text[512];
    swprintf(text, 512, format, static_cast<unsigned>(result));
    MessageBoxW(nullptr, text, title, MB_OK);
}

// What removing the taskbar button came to, for the main thread to report.
struct TaskbarTabResult {
    HRESULT created = E_FAIL;
    HRESULT initialized = E_FAIL;
    DWORD lastError = 0;  // after a failed HrInit, once the list is released
};

// The taskbar list is an apartment-threaded object. Made from the main thread's
// multithreaded apartment, COM would keep a host thread for it, with its proxy and the
// marshalling DLLs, for the program's whole life (about 4 MiB). It is needed once, so it
// is made in an apartment of its own on a thread that ends when the button is gone.
DWORD WINAPI RemoveTaskbarTabThread(void* parameter) {
    TaskbarTabResult& result = *static_cast<TaskbarTabResult*>(parameter);
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        ComPtr<ITaskbarList2> pitl;
        result.created =
            CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&pitl));
        if (SUCCEEDED(result.created)) {
            result.initialized = pitl->HrInit();
            if (SUCCEEDED(result.initialized)) {
                pitl->DeleteTab(mainWindow);
            } else {
                pitl.Reset();
                result.lastError = GetLastError();
            }
        }
    }
    if (SUCCEEDED(apartment)) CoUninitialize();
    return 0;
}

// Removes the hidden window's taskbar button. Returns the exit code on failure, 0 on success.
int RemoveTaskbarTab() {
    TaskbarTabResult result;
    HANDLE thread = CreateThread(nullptr, 0, RemoveTaskbarTabThread, &result, 0, nullptr);
    if (thread != nullptr) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    if (FAILED(result.created)) {
        ReportError("%s:\n  (error) %s\n", "wWinMain",
                    "CoCreateInstance for CLSID_TaskbarList failed.");
        ShowHResultBox(L"CoCreateInstance failed(%u)", result.created, L"debug");
        return 1;
    }
    if (FAILED(result.initialized)) {
        SetLastError(result.lastError);
        ReportError("%s:\n  (error) %s\n", "wWinMain", "pitl->HrInit() failed.");
        MessageBoxA(mainWindow, GetLastErrorText().c_str(), "Error", MB_OK);
        MessageBoxW(nullptr, L"pitl->HrInit failed.", L"debug", MB_OK);
        return 1;
    }
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
    ResetManagerScalars(explorerManager);

    instanceMutex = CreateMutexW(nullptr, TRUE, L"Global\\Zephyrine");
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        LoadStringW(instance, IDS_ALREADY_RUNNING, textBuffer, 1024);
        MessageBoxW(nullptr, textBuffer, L"Error", MB_OK);
        return 1;
    }

    LoadStringW(instance, IDS_APP_TITLE, windowTitle, 100);
    wcsncpy(windowClassName, L"ZephyrineClass", 100);
    RegisterMainClass(instance);
    if (!CreateMainWindow(instance)) return 0;
    UpdateWindow(mainWindow);

    const HRESULT comResult = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(comResult)) {
        ReportError("%s:\n  (error) %s\n", "wWinMain", "CoInitialize failed.");
        ShowHResultBox(L"CoInitialize failed(%u)", comResult, L"error");
        return 1;
    }
    AnnounceRun(instance, true);
    if (const int exitCode = RemoveTaskbarTab()) return exitCode;

    // Without the shell's window collection the program still groups windows; it only
    // cannot remember their folders.
    ConnectShellWindows(explorerManager);
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

    const bool workerEnded = StopWorker();
    SaveFolders(explorerManager);
    {
        std::lock_guard<std::recursive_mutex> guard(explorerManager.lock);
        explorerManager.shellWindows.Reset();
    }
    RemoveTrayIcon();
    DestroyIcon(trayIcon);
    AnnounceRun(instance, false);
    // A worker left in a call into a hung Explorer window still uses COM; the process
    // ends around it.
    if (workerEnded) CoUninitialize();
    return static_cast<int>(message.wParam);
}
