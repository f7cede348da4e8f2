// A stand-in for File Explorer, built as explorer.exe (and as notepad.exe, to be a
// program of another name with the same window class).
//
//   explorer.exe [--windows N] [--class NAME] [--title TEXT]... [--maximized 1] [--late MS]
//
// Opens N top-level windows (default 1) of class NAME (default "CabinetWClass"), titled
// with the given texts in turn (a folder path, as Explorer shows), and one more
// "CabinetWClass" window each time the Win+E chord is pressed (MS milliseconds later with
// --late, as Explorer on a cold start; --maximized shows the first window maximized). A
// window closes on
// WM_CLOSE; the process runs until it is terminated.
//
// For the tests: a window posted kHangMessage (WM_APP + 1) stops answering for wParam
// milliseconds, as Explorer does on an unreachable network folder; and when
// ZEPHYRINE_ACTIVATION_LOG names a file, every activation of a window is written there
// as its handle in hex, one per line.
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const wchar_t* const kClasses[] = {L"CabinetWClass", L"ExploreWClass", L"OtherWClass"};
int opened = 0;
constexpr UINT kHangMessage = WM_APP + 1;
wchar_t activationLog[MAX_PATH];

void RecordActivation(HWND window) {
    if (activationLog[0] == L'\0') return;
    if (FILE* log = _wfopen(activationLog, L"ab")) {
        std::fprintf(log, "%llx\n",
                     static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
        std::fclose(log);
    }
}

// Without a window manager there are no title bars: each window draws its folder and a
// frame itself, so a screenshot shows the tiles apart.
void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    HBRUSH fill = CreateSolidBrush(RGB(232, 242, 252));
    HBRUSH frame = CreateSolidBrush(RGB(40, 110, 200));
    FillRect(dc, &client, fill);
    for (int i = 0; i < 4; ++i) {
        FrameRect(dc, &client, frame);
        InflateRect(&client, -1, -1);
    }
    wchar_t title[MAX_PATH] = {};
    GetWindowTextW(window, title, MAX_PATH);
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, title, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    DeleteObject(frame);
    DeleteObject(fill);
    EndPaint(window, &paint);
}

LRESULT CALLBACK FolderWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) RecordActivation(window);
            return DefWindowProcW(window, message, wParam, lParam);
        case kHangMessage:
            Sleep(static_cast<DWORD>(wParam));
            return 0;
        case WM_SETTEXT:
        case WM_SIZE: {
            const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
            InvalidateRect(window, nullptr, TRUE);
            return result;
        }
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND OpenFolderWindow(const wchar_t* className, const std::wstring& title) {
    const int offset = 30 * (opened++ % 8);
    return CreateWindowExW(0, className, title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                           40 + offset, 40 + offset, 520, 380, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    for (const wchar_t* name : kClasses) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = FolderWindowProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = name;
        RegisterClassExW(&windowClass);
    }

    GetEnvironmentVariableW(L"ZEPHYRINE_ACTIVATION_LOG", activationLog, MAX_PATH);
    int count = 1;
    bool maximized = false;
    UINT lateMs = 0;
    std::wstring className = L"CabinetWClass";
    std::vector<std::wstring> titles;
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        if (option == L"--windows") count = _wtoi(argv[i + 1]);
        if (option == L"--class") className = argv[i + 1];
        if (option == L"--title") titles.push_back(argv[i + 1]);
        if (option == L"--maximized") maximized = _wtoi(argv[i + 1]) != 0;
        if (option == L"--late") lateMs = static_cast<UINT>(_wtoi(argv[i + 1]));
    }
    LocalFree(argv);
    if (titles.empty()) titles.push_back(L"C:\\");

    // The chord is listened for before any window shows, so a test that sees the windows
    // can send the chord at once.
    RegisterHotKey(nullptr, 1, MOD_WIN, 'E');
    for (int i = 0; i < count; ++i) {
        HWND window = OpenFolderWindow(className.c_str(), titles[i % titles.size()]);
        if (i == 0 && maximized) ShowWindow(window, SW_MAXIMIZE);
    }

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_HOTKEY && lateMs != 0) {
            SetTimer(nullptr, 0, lateMs, nullptr);
            continue;
        }
        const bool due = message.message == WM_TIMER && message.hwnd == nullptr;
        if (due) KillTimer(nullptr, message.wParam);
        if (message.message == WM_HOTKEY || due) {
            OpenFolderWindow(L"CabinetWClass", L"C:\\");
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
