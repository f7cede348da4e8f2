// A simulated desktop that stands in for platform/desktop.h in the unit tests: top-level
// windows with class, process, rectangle, minimized state and z-order; the foreground
// window; held keys; monitors; a virtual clock that Sleep advances; shell helpers; and
// a record of the calls the logic made.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// The program's own process: it received the last input when the user clicked its tray icon.
constexpr DWORD kOwnProcessId = 42;

struct SimWindow {
    HWND handle = nullptr;
    std::string className = "CabinetWClass";
    std::string processName = "explorer.exe";
    DWORD processId = 100;
    RECT rect{0, 0, 800, 600};
    bool minimized = false;
    bool maximized = false;
    bool restoresMaximized = false;  // minimized from the maximized state
    bool cloaked = false;            // on another virtual desktop
    // The invisible resize borders around the visible frame (Windows 10/11), in pixels.
    RECT invisibleBorders{0, 0, 0, 0};
    // Per-monitor aware: rescales itself when moved onto a monitor of another DPI.
    bool rescalesWithDpi = false;
    UINT dpi = 0;                // 0: that of the monitor it is on
    bool hung = false;           // never answers a message
    bool declinesClose = false;  // answers WM_CLOSE but stays open
    bool refusesClose = false;   // elevated: WM_CLOSE from the program is refused (UIPI)
    bool processLocked = false;  // OpenProcess is refused for its process
    bool visible = true;         // false: created hidden, or kept ready in the background
    // Its thread takes messages this long after they come (a busy thread): moves asked with
    // SWP_ASYNCWINDOWPOS, ShowWindowAsync and sent messages land then; 0: at once. A hung
    // window's thread takes them once it answers again.
    std::uint64_t moveLagMs = 0;
};

struct SimPlacement {
    HWND window;
    int x, y, cx, cy;
    bool operator==(const SimPlacement& o) const {
        return window == o.window && x == o.x && y == o.y && cx == o.cx && cy == o.cy;
    }
};

struct SimDesktop {
    std::recursive_mutex mutex;

    // Windows in z-order, topmost first; EnumWindows visits them in this order.
    std::vector<SimWindow> windows;
    HWND foreground = nullptr;
    std::set<int> heldKeys;
    // Keys pressed since GetAsyncKeyState last read them, and let go again.
    std::set<int> pressedEarlier;
    std::uint64_t now = 1000000;
    std::map<DWORD, int> processRuns;  // how often each process id has ended
    // The poll step's wake event: a signal ends its wait at once.
    HANDLE wakeEvent = reinterpret_cast<HANDLE>(0x7777);
    bool wakeSignalled = false;
    std::vector<RECT> workAreas{{0, 0, 1920, 1040}};
    std::vector<UINT> monitorDpis;  // per work area; missing entries are 96
    bool dwmFails = false;          // no Desktop Window Manager (Wine, Windows 7 classic)
    bool monitorInfoFails = false;
    bool monitorFromWindowFails = false;
    // A Win+E chord synthesized with keybd_event opens a new Explorer window.
    bool winEOpensExplorer = true;
    // ... this long after the chord (Explorer is slow to open windows on a cold start).
    std::uint64_t winEDelayMs = 0;
    std::vector<std::uint64_t> pendingExplorers;  // when each late window appears
    std::function<void()> onSleep;                // runs after each Sleep has advanced the clock
    std::uintptr_t nextHandle = 0x10000;
    // Requests queued to a window's thread (a move, a show command or a close), landing in
    // order as the clock passes, or once a hung window answers again.
    struct PendingMove {
        HWND window, insertAfter;
        int x, y, cx, cy;
        UINT flags;
        std::uint64_t dueAt;
        int show = -1;  // a ShowWindowAsync command instead of a move
        bool close = false;
    };
    std::vector<PendingMove> pendingMoves;

    // The foreground lock: SetForegroundWindow succeeds only for the foreground process, the
    // one that received the last input event, a thread attached to the foreground thread,
    // with no foreground window, or once the lock has timed out; never while a menu is open.
    DWORD lastInputProcess = 0;
    bool foregroundLockTimedOut = false;
    bool menuActive = false;
    std::set<DWORD> attachedTo;      // threads the program's thread shares its input with
    std::set<HWND> flashing;         // taskbar buttons flashing after a refused activation
    std::map<HWND, HWND> tabFrames;  // tab windows (children) and their frames

    // Files: an error that finding any file gets (a server that does not answer, access
    // denied), and what runs before the list file is moved into place (a slow write).
    DWORD fileError = 0;
    std::function<void()> onFileMove;
    DWORD launchTo = 0;  // "Open File Explorer to"

    // Shell.
    std::wstring roamingAppData;  // empty: SHGetKnownFolderPath fails
    IShellFolder* desktopFolder = nullptr;
    IShellWindows* shellWindowsToCreate = nullptr;  // what CoCreateInstance hands out
    int shellWindowsCreated = 0;
    std::map<const void*, std::wstring> idLists;  // live ID lists and the paths they name
    std::set<HWND> hiddenWindows;  // windows that are not visible: the tabs not shown

    // Record of calls.
    int calls = 0;  // every platform call
    int processesOpened = 0;
    int openProcessHandles = 0;
    int enumerations = 0;
    int attaches = 0;  // attached minus detached
    int attachCalls = 0;
    int idListsFreed = 0;
    std::vector<HWND> closeRequests;
    // Windows raised or restacked (SetWindowPos with a z-order), in order.
    std::vector<HWND> raised;
    // Calls that would wait for the thread of a hung window: each one freezes the caller.
    int waitsOnHung = 0;
    std::vector<HWND> restored;
    std::vector<HWND> minimizedCalls;
    std::vector<HWND> foregroundCalls;
    std::vector<SimPlacement> placements;
    std::vector<BYTE> keyEvents;  // virtual key of each keybd_event, key-up with 0x80 set
    std::vector<DWORD> keyEventFlags;
    std::vector<BYTE> keyEventScans;

    SimWindow* Find(HWND handle);
    void Raise(HWND handle);
    // Windows activates the next visible, non-minimized window below one that closes or is
    // minimized with SW_MINIMIZE while active (of another process when its process ends).
    void ActivateNextBelow(HWND handle, DWORD endingProcess = 0);
    void ClearRecord();
};

SimDesktop& Sim();
// Fresh desktop for each test.
void ResetSim();

// Adds a window on top of the z-order. A zero handle takes the next free value.
HWND AddWindow(SimWindow window = {});
HWND AddExplorer(std::uintptr_t handle = 0, bool minimized = false);
// The user closes a window, or minimizes it from its title bar (SW_MINIMIZE).
void CloseSimWindow(HWND handle);
void UserMinimize(HWND handle);
// Ends a process with all its windows; its id may then be used again by another one.
void EndProcess(DWORD processId);
bool IsOpen(HWND handle);
bool IsMinimized(HWND handle);
// Handles as HWND from numbers, for readable test tables.
inline HWND H(std::uintptr_t value) {
    return reinterpret_cast<HWND>(value);
}

// An ID list that SHGetNameFromIDList turns into path (empty: one it cannot name).
PIDLIST_ABSOLUTE NewIdList(const std::wstring& path);
std::wstring PathOfIdList(const void* idList);
