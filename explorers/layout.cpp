#include "explorers/explorers.h"

#include "platform/desktop.h"

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
    const std::vector<Tile> tiles =
        ComputeTiles({work.left, work.top, work.right, work.bottom}, manager.managed.size());
    for (size_t i = 0; i < tiles.size(); ++i) {
        PlaceWindow(manager.managed[i], HWND_TOP, tiles[i].x, tiles[i].y, tiles[i].cx, tiles[i].cy,
                    SWP_NOACTIVATE);
    }
    // Only the last window placed, which ends on top, is activated.
    if (!tiles.empty()) BringToTop(manager.managed[tiles.size() - 1]);
}
