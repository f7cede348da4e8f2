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
bool IsWinEPressed();
void BringToTop(HWND window);

// The worker's poll loop. pollRunning is cleared by the main thread to stop it.
extern std::atomic<bool> pollRunning;
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
void ArrangeExplorers(ExplorerManager& manager);

// Instance limit.
BOOL CALLBACK CollectExplorerProc(HWND window, LPARAM unused);
void EnforceLimit(ExplorerManager& manager, bool reenumerate);

// Opening a chosen number of windows (targetCount) from the tray menu.
BOOL CALLBACK OpenExplorersProc(HWND window, LPARAM count);
void OpenExplorers(ExplorerManager& manager);
