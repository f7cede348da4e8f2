#include "explorers/explorers.h"

#include "platform/desktop.h"

#include <dwmapi.h>

#include <algorithm>

namespace {

// Single-precision halving, truncated toward zero: the left and top tiles get the
// smaller half and the right and bottom tiles the odd pixel.
int Half(int value) {
    return static_cast<int>(static_cast<float>(value) * 0.5f);
}

Tile TileOf(int left, int top, int right, int bottom) {
    return Tile{left, top, right - left, bottom - top};
}

// Wider borders than this are not resize borders but a frame bounds read mid-move.
constexpr LONG kMaxInvisibleBorder = 64;

// A maximized window, or a minimized one that would come back maximized, has no resize
// borders and snaps back to full size when dragged: it takes its tile as a normal window.
// SW_SHOWNOACTIVATE brings either back at its normal size, without activating it.
void RestoreToNormal(HWND window) {
    if (platform::IsIconic(window) || platform::IsZoomed(window)) {
        platform::ShowWindowAsync(window, SW_SHOWNOACTIVATE);
    }
}

// How long tiling waits for a window's thread to carry out a move.
constexpr std::uint64_t kMoveWaitMs = 300;

bool HasRect(HWND window, const Tile& tile) {
    RECT rect{};
    return platform::GetWindowRect(window, &rect) && rect.left == tile.x && rect.top == tile.y &&
           rect.right - rect.left == tile.cx && rect.bottom - rect.top == tile.cy;
}

// Waits until the move has landed: the window has the tile's rectangle, or it has come
// onto a monitor of another DPI than dpiBefore and rescaled itself there. False when its
// thread has not carried the move out in time.
bool WaitForMove(HWND window, const Tile& tile, UINT dpiBefore) {
    const std::uint64_t start = platform::GetTickCount64();
    for (;;) {
        if (HasRect(window, tile)) return true;
        if (dpiBefore != 0 && platform::GetDpiForWindow(window) != dpiBefore) return true;
        if (platform::GetTickCount64() - start >= kMoveWaitMs) return false;
        platform::Sleep(1);
    }
}

// Places a window so that its visible frame fills the tile. Its DPI and frame are read
// only once the move has landed; a window whose thread is too slow keeps the first
// placement.
void PlaceTile(HWND window, const Tile& tile) {
    if (platform::IsHungAppWindow(window)) return;
    RestoreToNormal(window);
    const UINT dpi = platform::GetDpiForWindow(window);
    PlaceWindow(window, HWND_TOP, tile.x, tile.y, tile.cx, tile.cy, SWP_NOACTIVATE);
    if (!WaitForMove(window, tile, dpi)) return;
    // Moved onto a monitor of another DPI, the window has rescaled itself: now that it is
    // there, the same placement holds.
    if (dpi != 0 && platform::GetDpiForWindow(window) != dpi) {
        PlaceWindow(window, HWND_TOP, tile.x, tile.y, tile.cx, tile.cy, SWP_NOACTIVATE);
        if (!WaitForMove(window, tile, 0)) return;
    }
    RECT rect{}, frame{};
    if (!platform::GetWindowRect(window, &rect) ||
        FAILED(platform::DwmGetWindowAttribute(window, DWMWA_EXTENDED_FRAME_BOUNDS, &frame,
                                               sizeof(frame)))) {
        return;
    }
    const Tile wide = WidenByInvisibleBorders(tile, rect, frame);
    if (!(wide == tile)) {
        PlaceWindow(window, HWND_TOP, wide.x, wide.y, wide.cx, wide.cy,
                    SWP_NOACTIVATE | SWP_NOZORDER);
    }
}

}  // namespace

std::vector<Tile> ComputeTiles(const WorkArea& area, size_t windowCount) {
    const int x = area.left + Half(area.right - area.left);
    const int y = area.top + Half(area.bottom - area.top);
    std::vector<Tile> tiles;
    if (windowCount >= 3) {
        tiles = {TileOf(area.left, area.top, x, y), TileOf(x, area.top, area.right, y),
                 TileOf(area.left, y, x, area.bottom), TileOf(x, y, area.right, area.bottom)};
    } else {
        tiles = {TileOf(area.left, area.top, x, area.bottom),
                 TileOf(x, area.top, area.right, area.bottom)};
    }
    tiles.resize(std::min(tiles.size(), windowCount));
    return tiles;
}

Tile WidenByInvisibleBorders(const Tile& tile, const RECT& window, const RECT& frame) {
    const LONG left = frame.left - window.left, top = frame.top - window.top;
    const LONG right = window.right - frame.right, bottom = window.bottom - frame.bottom;
    for (LONG border : {left, top, right, bottom}) {
        if (border < 0 || border > kMaxInvisibleBorder) return tile;
    }
    return Tile{tile.x - static_cast<int>(left), tile.y - static_cast<int>(top),
                tile.cx + static_cast<int>(left + right), tile.cy + static_cast<int>(top + bottom)};
}

void ArrangeExplorers(ExplorerManager& manager) {
    SyncManagedList(manager.managed, manager.explorers);
    if (manager.explorers.empty()) return;
    HMONITOR monitor =
        platform::MonitorFromWindow(manager.managed.front(), MONITOR_DEFAULTTONEAREST);
    if (monitor == nullptr) return;
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    // Without a work area there is nothing sensible to tile on.
    if (!platform::GetMonitorInfoW(monitor, &info)) return;
    const RECT& work = info.rcWork;
    // A window that refused to close, or did not answer, stays in the group where it is:
    // the others share the tiles.
    std::vector<HWND> tiled;
    for (HWND window : manager.managed) {
        if (!CloseRefused(manager, window)) tiled.push_back(window);
    }
    const std::vector<Tile> tiles =
        ComputeTiles({work.left, work.top, work.right, work.bottom}, tiled.size());
    for (size_t i = 0; i < tiles.size(); ++i) {
        PlaceTile(tiled[i], tiles[i]);
    }
    // Only the last window placed, which ends on top, is activated, once the lock is let go.
    if (!tiles.empty()) manager.activateAfterUnlock = tiled[tiles.size() - 1];
}
