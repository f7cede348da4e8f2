#include "app/globals.h"

#include "app/tray_keys.h"
#include "diag/report.h"
#include "explorers/explorers.h"
#include "folders/folders.h"
#include "folders/shell_windows.h"
#include "platform/libraries.h"
#include "res/resource.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>

namespace {

// The worker thread; null when none runs.
HANDLE pollThread = nullptr;
// How long Quit and the end of the session wait for the worker to finish its step.
constexpr DWORD kStopWorkerMs = 1500;

DWORD WINAPI PollThreadStart(void*) {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    PollThreadMain();
    return 0;
}

// Explorer sends this when the taskbar is (re)created; the tray icon must then be added again.
const UINT WM_TASKBARCREATED = RegisterWindowMessageW(L"TaskbarCreated");

NOTIFYICONDATAW TrayRecord() {
    static_assert(sizeof(NOTIFYICONDATAW) == 976, "the Vista layout of the tray record");
    NOTIFYICONDATAW record{};
    record.cbSize = sizeof(record);
    record.hWnd = mainWindow;
    record.uID = kTrayIconId;
    record.uFlags = NIF_MESSAGE | NIF_TIP | NIF_STATE | NIF_SHOWTIP;
    if (trayIcon != nullptr) {
        record.uFlags |= NIF_ICON;
        record.hIcon = trayIcon;
    }
    record.uCallbackMessage = WM_TRAYNOTIFY;
    LoadStringW(appInstance, IDS_RUNNING, record.szTip, 128);
    record.dwState = NIS_SHAREDICON;
    LoadStringW(appInstance, IDS_STARTED, record.szInfo, 256);
    record.uVersion = NOTIFYICON_VERSION;
    LoadStringW(appInstance, IDS_APP_TITLE, record.szInfoTitle, 64);
    record.dwInfoFlags = NIIF_INFO;
    return record;
}

// The link file in the user's Startup folder. False when the folder is unknown or the
// link path would not fit: then nothing may be created or deleted.
bool StartupLinkPath(wchar_t (&linkPath)[MAX_PATH]) {
    PWSTR startup = nullptr;
    bool found = false;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Startup, 0, nullptr, &startup))) {
        const int length = swprintf(linkPath, MAX_PATH, L"%ls\\%ls.lnk", startup, windowTitle);
        found = length > 0 && length < MAX_PATH;
    }
    CoTaskMemFree(startup);
    return found;
}

void AppendMenuItem(HMENU menu, UINT command, UINT stringId, UINT mask = MIIM_ID | MIIM_TYPE,
                    UINT state = 0) {
    LoadStringW(appInstance, stringId, textBuffer, 1024);
    MENUITEMINFOW item{};
    item.cbSize = sizeof(item);
    item.fMask = mask;
    item.fType = MFT_STRING;
    item.fState = state;
    item.wID = command;
    item.dwTypeData = textBuffer;
    item.cch = static_cast<UINT>(wcslen(textBuffer));
    InsertMenuItemW(menu, command, FALSE, &item);
}

HMENU BuildTrayMenu(bool shortcutChecked) {
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return nullptr;
    const UINT stateMask = MIIM_STATE | MIIM_ID | MIIM_CHECKMARKS | MIIM_TYPE;
    UINT limitState = explorerManager.limitEnabled ? MFS_CHECKED : 0;
    if (explorerManager.targetCount <= 0) limitState |= MFS_DISABLED;
    AppendMenuItem(menu, IDM_FOUR_EXPLORERS, IDS_FOUR_EXPLORERS);
    AppendMenuItem(menu, IDM_TWO_EXPLORERS, IDS_TWO_EXPLORERS);
    AppendMenuItem(menu, IDM_ZERO_EXPLORERS, IDS_ZERO_EXPLORERS);
    InsertMenuW(menu, 5, MF_SEPARATOR | MF_BYPOSITION, 0, nullptr);
    AppendMenuItem(menu, IDM_LIMIT, IDS_LIMIT, stateMask, limitState);
    AppendMenuItem(menu, IDM_STARTUP, IDS_STARTUP, stateMask, shortcutChecked ? MFS_CHECKED : 0);
    InsertMenuW(menu, 9, MF_SEPARATOR | MF_BYPOSITION, 0, nullptr);
    AppendMenuItem(menu, IDM_ABOUT, IDS_ABOUT);
    AppendMenuItem(menu, IDM_EXIT, IDS_QUIT);
    return menu;
}

void ToggleStartupShortcut(const wchar_t* linkPath, bool exists) {
    if (GetModuleFileNameW(GetModuleHandleW(nullptr), textBuffer, 1024) == 0) return;
    if (exists) {
        DeleteFileW(linkPath);
    } else {
        CreateStartupShortcut(textBuffer, linkPath);
    }
}

// The About dialog's link is a control of the common controls (version 6, by the
// manifest), loaded only when the dialog is first shown: most runs never need it.
void LoadLinkControl() {
    static const bool loaded = [] {
        using InitControls = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
        const auto init = reinterpret_cast<InitControls>(reinterpret_cast<void*>(
            platform::SystemFunction(L"comctl32.dll", "InitCommonControlsEx")));
        INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_LINK_CLASS | ICC_STANDARD_CLASSES};
        return init != nullptr && init(&classes);
    }();
    (void)loaded;
}

void ShowAbout(HWND owner) {
    // One About dialog: a second request brings the open one to the front.
    if (aboutDialog != nullptr) {
        SetForegroundWindow(aboutDialog);
        return;
    }
    LoadLinkControl();
    DialogBoxParamW(appInstance, MAKEINTRESOURCEW(IDD_ABOUTBOX), owner, AboutDlgProc, 0);
}

void RunCommand(UINT command, bool startupFound, bool shortcutExists, const wchar_t* linkPath,
                const std::vector<HWND>& zOrderAtMenu) {
    switch (command) {
        case IDM_EXIT:
            PostQuitMessage(0);
            break;
        case IDM_ABOUT:
            SetForegroundWindow(mainWindow);
            ShowAbout(mainWindow);
            break;
        case IDM_FOUR_EXPLORERS:
        case IDM_TWO_EXPLORERS:
        case IDM_ZERO_EXPLORERS:
            explorerManager.targetCount = command == IDM_FOUR_EXPLORERS  ? 4
                                          : command == IDM_TWO_EXPLORERS ? 2
                                                                         : 0;
            OpenExplorers(explorerManager, zOrderAtMenu);
            break;
        case IDM_LIMIT:
            explorerManager.limitEnabled = !explorerManager.limitEnabled;
            break;
        case IDM_STARTUP:
            if (startupFound) ToggleStartupShortcut(linkPath, shortcutExists);
            break;
        default:
            break;
    }
}

}  // namespace

void AddTrayIcon() {
    NOTIFYICONDATAW record = TrayRecord();
    Shell_NotifyIconW(NIM_ADD, &record);
    Shell_NotifyIconW(NIM_SETVERSION, &record);
}

void RemoveTrayIcon() {
    NOTIFYICONDATAW record{};
    record.cbSize = sizeof(record);
    record.hWnd = mainWindow;
    record.uID = kTrayIconId;
    Shell_NotifyIconW(NIM_DELETE, &record);
}

void StartWorker() {
    ++pollGeneration;
    pollRunning = true;
    pollThread = CreateThread(nullptr, 0, PollThreadStart, nullptr, 0, nullptr);
}

void StopWorker() {
    pollRunning = false;
    if (pollThread == nullptr) return;
    // A step never calls into Explorer, but it may be writing the list to a slow disk:
    // that worker is left to end on its own.
    WaitForSingleObject(pollThread, kStopWorkerMs);
    CloseHandle(pollThread);
    pollThread = nullptr;
}

void DisplayText(HDC dc, int x, int y, UINT stringId) {
    wchar_t text[512];
    const int length = LoadStringW(appInstance, stringId, text, 512);
    if (length != 0) {
        TextOutW(dc, x, y, text, length);
    } else {
        ReportError("%s:\n  (error) %s\n", "DisplayText", GetLastErrorText().c_str());
    }
}

// Where the menu opens for a key press on the icon: at the icon, when the shell says
// where it is.
POINT TrayIconPoint() {
    POINT point{};
    GetCursorPos(&point);
    NOTIFYICONIDENTIFIER icon{};
    icon.cbSize = sizeof(icon);
    icon.hWnd = mainWindow;
    icon.uID = kTrayIconId;
    RECT rect{};
    if (SUCCEEDED(Shell_NotifyIconGetRect(&icon, &rect))) {
        point = {rect.left + (rect.right - rect.left) / 2, rect.top + (rect.bottom - rect.top) / 2};
    }
    return point;
}

void OnTrayNotify(WPARAM wParam, LPARAM lParam) {
    // When the menu last closed: a key press queued before that does not open it again.
    static bool menuClosed = false;
    static DWORD menuClosedAt = 0;
    // While the menu is open, and while "4/2/0 Explorers" waits for windows to close,
    // messages sent meanwhile arrive here: no second menu or command runs inside the first.
    static bool busy = false;
    if (wParam != kTrayIconId || busy) return;
    const bool byKey = lParam == NIN_KEYSELECT;
    if (!byKey && lParam != WM_LBUTTONUP && lParam != WM_RBUTTONUP) return;
    const auto pressedAt = static_cast<DWORD>(GetMessageTime());
    if (byKey && menuClosed && !CameAfterMenuClosed(pressedAt, menuClosedAt)) return;
    POINT cursor{};
    if (byKey) {
        cursor = TrayIconPoint();
    } else {
        GetCursorPos(&cursor);
    }
    wchar_t linkPath[MAX_PATH] = {};
    const bool startupFound = StartupLinkPath(linkPath);
    // An unknown Startup folder shows the item checked, and choosing it does nothing.
    const bool shortcutExists = !startupFound || PathFileExistsW(linkPath);
    if (trayMenu == nullptr) trayMenu = BuildTrayMenu(shortcutExists);
    if (trayMenu == nullptr) return;
    // The windows "4/2/0 Explorers" keeps are the ones on top now, as the user sees them;
    // a group raise under way may restack them before the command runs.
    std::vector<HWND> zOrderAtMenu;
    CollectExplorers(zOrderAtMenu);
    SetForegroundWindow(mainWindow);
    busy = true;
    const UINT command = static_cast<UINT>(
        TrackPopupMenu(trayMenu, TPM_RIGHTALIGN | TPM_RETURNCMD | TPM_HORPOSANIMATION,
                       cursor.x - 20, cursor.y - 30, 0, mainWindow, nullptr));
    DestroyMenu(trayMenu);
    trayMenu = nullptr;
    menuClosed = true;
    menuClosedAt = GetTickCount();
    // The About dialog may stay open for long: the menu opens meanwhile.
    busy = command == IDM_FOUR_EXPLORERS || command == IDM_TWO_EXPLORERS ||
           command == IDM_ZERO_EXPLORERS;
    RunCommand(command, startupFound, shortcutExists, linkPath, zOrderAtMenu);
    busy = false;
    // Lets the menu close properly when the user clicks elsewhere next time.
    PostMessageW(mainWindow, WM_NULL, 0, 0);
}

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            DisplayText(dc, 5, 5, IDS_STARTED);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_QUERYENDSESSION:
            // Freeze the list while Explorer windows close, save it, and let the session end:
            // a write under way is waited for a bounded time, and this newer one follows it.
            StopWorker();
            FinishListFile(explorerManager, kLastSaveWaitMs);
            return TRUE;
        case WM_ENDSESSION:
            // The session end was cancelled: follow the group again.
            if (!wParam && pollThread == nullptr) StartWorker();
            // The Restart Manager closes the program for an installer: it quits.
            if (wParam && (lParam & ENDSESSION_CLOSEAPP)) {
                closedByInstaller = true;
                PostQuitMessage(0);
            }
            return 0;
        case WM_CLOSE:
            // Nobody sees this window: a close comes from an installer (taskkill without /F).
            closedByInstaller = true;
            DestroyWindow(window);
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDM_ABOUT) {
                ShowAbout(window);
                return 0;
            }
            return DefWindowProcW(window, message, wParam, lParam);
        case WM_TRAYNOTIFY:
            OnTrayNotify(wParam, lParam);
            return 0;
        default:
            if (message == WM_TASKBARCREATED && WM_TASKBARCREATED != 0) {
                // Explorer has (re)started: its tray and its window collection are new.
                AddTrayIcon();
                // Creating it asks the new Explorer process, which may still be starting:
                // not on the tray's thread.
                ConnectShellWindowsLater(explorerManager);
                return 0;
            }
            return DefWindowProcW(window, message, wParam, lParam);
    }
}
