// Explorer window management: recognising Explorer windows, following focus and
// minimize, tiling, the instance limit and opening a chosen number of windows.
#pragma once

#include "explorers/manager.h"

#include <atomic>
#include <string>
#include <vector>

// Recognition and raising.
bool IsExplorerWindow(HWND window);
std::string GetProcessBaseName(DWORD processId);
// Closes the processes held to remember which of them are Explorer.
void ForgetExplorerProcesses();
// Whether the Win+E chord was down at some time since the last call.
bool IsWinEPressed();
bool IsKeyHeld(int virtualKey);
bool IsCloaked(HWND window);

// Placing windows without waiting on their threads: a hung window (IsHungAppWindow) is
// left alone, and the others are asked with SWP_ASYNCWINDOWPOS.
void PlaceWindow(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
// Puts a window on top without activating it.
void RaiseToTop(HWND window);
// Makes a window the active one where Windows allows it: with input attached to the
// foreground thread, unless that thread is hung. Where Windows refuses, the window stays
// raised and its taskbar button does not flash. Never called with the manager's lock held.
void Activate(HWND window);
// The window the step or command asked to activate, to be activated once the lock is let
// go; called with the lock held.
HWND TakeActivation(ExplorerManager& manager);
// Restores the minimized members of a group (zOrder: topmost first) and stacks them with
// chosen on top and the others in the reverse of their order below it. Members that were
// maximized come back maximized, which activates them for a moment; of the others only
// chosen (when given) is activated, after the lock.
void RaiseGroup(ExplorerManager& manager, const std::vector<HWND>& zOrder, HWND chosen);
// Marks a shown member maximized or not, as it is now; a minimized one keeps its mark.
void NoteMaximized(ExplorerManager& manager, HWND window);

// The worker's poll loop. pollRunning is cleared by the main thread to stop it. A worker
// also stops once pollGeneration moves on: one left behind in a call into a hung
// Explorer window must not run on beside the worker started after it.
extern std::atomic<bool> pollRunning;
extern std::atomic<unsigned> pollGeneration;
void PollThreadMain();
void Tick(ExplorerManager& manager);
void ActivateAllExplorers(ExplorerManager& manager, HWND raiseLast);
void MinimizeAllExplorers(ExplorerManager& manager);
HWND FindMinimizedExplorer(ExplorerManager& manager);
HWND ActivateOtherExplorer(ExplorerManager& manager, HWND skip);

// Tiling.
struct WorkArea {
    int left, top, right, bottom;
};
struct Tile {
    int x, y, cx, cy;
    bool operator==(const Tile& other) const {
        return x == other.x && y == other.y && cx == other.cx && cy == other.cy;
    }
};
// The tiles for a group of windowCount windows: halves for one or two, quadrants for
// three or more (at most four tiles; further windows are left where they are).
std::vector<Tile> ComputeTiles(const WorkArea& area, size_t windowCount);
// The window rectangle that puts a window's visible frame on the tile: Windows 10/11 draw
// invisible resize borders around the frame (window is the window's rectangle, frame its
// visible part). Borders that cannot be real leave the tile as it is.
Tile WidenByInvisibleBorders(const Tile& tile, const RECT& window, const RECT& frame);
void ArrangeExplorers(ExplorerManager& manager);

// Instance limit.
// Appends Explorer windows to the std::vector<HWND> that windows points to.
BOOL CALLBACK CollectExplorerProc(HWND window, LPARAM windows);
// Fills windows with the Explorer windows, in z-order (topmost first). Needs no lock.
void CollectExplorers(std::vector<HWND>& windows);
// Returns whether it closed (and so tiled) windows.
bool EnforceLimit(ExplorerManager& manager, bool reenumerate);
// Windows that refused to close may be asked again.
void ForgetCloseRefusals(ExplorerManager& manager);
// The limit has seen the windows of the latest enumeration: none of them is a newcomer.
void NoteSeenByLimit(ExplorerManager& manager);

// Opening a chosen number of windows (targetCount) from the tray menu. The windows kept
// are the first in zOrderAtMenu, the z-order when the menu opened (the group raise may
// restack them meanwhile); without it, the z-order once it holds still.
void OpenExplorers(ExplorerManager& manager, const std::vector<HWND>& zOrderAtMenu = {});
