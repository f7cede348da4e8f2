// The one manager object that holds all state of window management and folder memory.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// A show command or close the program asked of a window. It stays asked till the window's
// state shows it landed, Windows refused it, the window is gone or a newer request
// replaces it; till then the state it is about to change is not the user's doing.
enum class Request { None, Restore, Minimize };

// What the program knows of one window and has asked of it. A record ends only when its
// window is destroyed or its handle comes back on another thread, never while the window
// is hidden or cloaked for a while.
struct WindowRecord {
    DWORD thread = 0;
    Request asked = Request::None;
    // When it was asked, or when the window was last seen hung: the request's bound counts
    // only time the window's thread answers.
    std::uint64_t askedAt = 0;
    // The restore asked was SW_RESTORE (a maximized member): it activates the window as it
    // lands, and a late one must not keep the front.
    bool restoreActivates = false;
    // Last seen maximized while shown; a minimized window keeps the mark till it is seen
    // shown again. Wine reports no WPF_RESTORETOMAXIMIZED for another process's window.
    bool maximized = false;
    // It refused to close or did not answer in time (hung: closeUnanswered): it stays in
    // the group and is not asked again while the set of windows stays the same.
    bool closeRefused = false;
    bool closeUnanswered = false;
    bool seenByLimit = false;  // the limit has seen it: it is no newcomer
};

struct ExplorerManager {
    HWND lastForeground = nullptr;
    // The poll step's answer for the window in front, kept while it stays there.
    HWND knownForeground = nullptr;
    bool knownForegroundIsExplorer = false;
    std::uint64_t lastInFrontTick = 0;  // when the limit and capture last ran in front
    // Signalled when the foreground changes or a window is minimized: the poll step runs
    // at once instead of at the end of its 50 ms. Null: the step only sleeps.
    HANDLE wake = nullptr;
    std::vector<HWND> explorers;  // latest enumeration, ascending by handle value
    std::vector<HWND> managed;    // the group, in the order its windows joined it
    std::vector<HWND> exempt;     // minimized with Ctrl held: they do not pull the group down
    std::map<HWND, WindowRecord> records;  // the windows the program deals with
    // Activating may wait on other threads: it is done once the lock has been let go.
    HWND activateAfterUnlock = nullptr;
    // The Explorer windows there were when a close was last refused (ascending by handle):
    // while that set stays, the windows that refused are not asked again.
    std::vector<HWND> closeRefusedAmong;
    std::vector<std::wstring> folders;          // remembered folders, in the order of managed
    std::map<HWND, std::wstring> shownFolders;  // what each managed window showed when last read
    // These four are used outside the lock (tray menu, poll step before locking).
    std::atomic<int> targetCount{-1};
    std::atomic<bool> limitEnabled{false};
    std::atomic<std::uint64_t> lastActionTick{0};
    std::atomic<std::uint64_t> lastWinETick{0};
    // Set when a capture changed folders, cleared when they are saved.
    std::atomic<bool> foldersUnsaved{false};
    // The list file was read, or Windows said it is not there. Till then, and while it
    // exists but cannot be read (a virus scanner or a backup holds it, its server does not
    // answer), no save replaces it.
    bool listRead = false;
    bool listReadFailed = false;
    // Restores that have not landed: the folder each window is meant to show, and what it
    // showed when its restore began (empty: not known). Captures keep that folder for the
    // window until it shows it, the user takes the window elsewhere, or it closes.
    struct PendingRestore {
        std::wstring folder, shownBefore;
    };
    std::map<HWND, PendingRestore> pendingRestores;
    std::vector<std::wstring> startFolders;  // where a new Explorer window starts
    std::vector<HWND> openedByCommand;       // the windows the last command opened
    bool restoredOnce = false;               // a command has sent windows to their folders
    // The shell's window collection could not be made: the worker tries again now and then.
    std::atomic<bool> shellWindowsMissing{false};
    std::uint64_t lastConnectTick = 0;  // the worker's own
    // Saves are written one at a time, outside the lock: each takes a number when it copies
    // the list, and one that finds a newer list written leaves it.
    std::mutex saveLock;
    std::uint64_t saveGeneration = 0;   // with lock
    std::uint64_t savedGeneration = 0;  // with saveLock
    std::uint64_t lastSaveTick = 0;     // the worker's own
    bool watchingWinE = false;          // the worker's own: the limit was on at the last step
    std::recursive_mutex lock;
    bool minimizedAll = false;
    Microsoft::WRL::ComPtr<IShellWindows> shellWindows;
};

extern ExplorerManager explorerManager;

// Brings the group in line with a snapshot: survivors keep their order, vanished
// windows leave, new windows join at the end in snapshot order.
void SyncManagedList(std::vector<HWND>& group, const std::vector<HWND>& snapshot);
bool IsManaged(const ExplorerManager& manager, HWND window);

// The window's record, made on first use.
WindowRecord& RecordOf(ExplorerManager& manager, HWND window);
// Ends the records of windows destroyed, or whose handle now names a window of another
// thread. Called where the windows are enumerated anyway, not on the quiet poll step.
void ForgetGoneWindows(ExplorerManager& manager);
// Asks a show command of a window without waiting for it, and records it.
void AskToShow(ExplorerManager& manager, HWND window, int command);
// Whether a restore or minimize asked of the window has not landed yet. A request the
// window's thread does not carry out while it answers is given up after kRequestBoundMs.
bool AwaitsRequest(ExplorerManager& manager, HWND window, Request request);
// Notes the requests that have landed since the last look, so that a user who reverses one
// soon after is not taken for the request still coming. Returns the window on which an
// activating restore has just landed, if any. Calls nothing while no request is out.
HWND SettleRequests(ExplorerManager& manager);
// Waits, at most boundMs in all, till none of the windows awaits its request or is hung.
void WaitForRequests(ExplorerManager& manager, const std::vector<HWND>& windows,
                     std::uint64_t boundMs);
bool CloseRefused(const ExplorerManager& manager, HWND window);

void SortByHandle(std::vector<HWND>& windows);
bool Contains(const std::vector<HWND>& windows, HWND window);

// How long a close request may wait for an Explorer window that does not answer.
constexpr UINT kCloseTimeoutMs = 3000;
// A show command that a window's thread has not carried out while answering for this long
// is given up. It outlives Windows' 5 s "not responding" rule: a thread busy for seconds
// (a share waking up) takes it late, and one busy for longer is reported hung, which
// stops the bound's clock.
constexpr std::uint64_t kRequestBoundMs = 10000;
// A group action waits this long to see quick members take its show commands: a user who
// reverses one soon after is then not taken for the request still coming. Slower members'
// requests stay followed at every poll step.
constexpr std::uint64_t kLandingWaitMs = 100;

// Asks a window to close and waits for its answer, at most kCloseTimeoutMs: a hung
// window must not hold the manager's lock (and with it the tray menu) forever. True once
// the window is gone. It stays when Windows refuses the request (an Explorer window that
// runs elevated does not take it from a program that does not), when it does not answer
// in time, or when it answers but stays open.
bool AskToClose(HWND window);
// A window that stayed after AskToClose stays in the group and is not asked again for now;
// a hung one is asked again once it answers.
void NoteCloseRefused(ExplorerManager& manager, HWND window);
