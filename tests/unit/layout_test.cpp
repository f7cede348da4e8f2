#include "tests/unit/desktop_test.h"

namespace {

std::vector<Tile> T(std::initializer_list<Tile> tiles) {
    return tiles;
}

}  // namespace

TEST(ComputeTiles, WorkedExamples) {
    const WorkArea fullHd{0, 0, 1920, 1040};
    EXPECT_EQ(ComputeTiles(fullHd, 0), T({}));
    EXPECT_EQ(ComputeTiles(fullHd, 1), T({{0, 0, 960, 1040}}));
    EXPECT_EQ(ComputeTiles(fullHd, 2), T({{0, 0, 960, 1040}, {960, 0, 960, 1040}}));
    EXPECT_EQ(ComputeTiles(fullHd, 3),
              T({{0, 0, 960, 520}, {960, 0, 960, 520}, {0, 520, 960, 520}}));
    const auto quadrants =
        T({{0, 0, 960, 520}, {960, 0, 960, 520}, {0, 520, 960, 520}, {960, 520, 960, 520}});
    EXPECT_EQ(ComputeTiles(fullHd, 4), quadrants);
    EXPECT_EQ(ComputeTiles(fullHd, 6), quadrants);

    EXPECT_EQ(ComputeTiles({1920, 0, 3201, 1017}, 4), T({{1920, 0, 640, 508},
                                                         {2560, 0, 641, 508},
                                                         {1920, 508, 640, 509},
                                                         {2560, 508, 641, 509}}));
    EXPECT_EQ(ComputeTiles({-1366, 0, 0, 728}, 2), T({{-1366, 0, 683, 728}, {-683, 0, 683, 728}}));
}

TEST(ComputeTiles, TilesCoverTheWorkAreaWithoutGapsOrOverlap) {
    const WorkArea areas[] = {{0, 0, 1920, 1040},     {0, 0, 1366, 728},  {1920, 0, 3201, 1017},
                              {-2560, -200, 0, 1240}, {0, 0, 3840, 2100}, {0, 40, 1280, 1024},
                              {0, 0, 1, 1},           {0, 0, 16777215, 3}};
    for (const WorkArea& area : areas) {
        const long long areaSize =
            static_cast<long long>(area.right - area.left) * (area.bottom - area.top);
        for (size_t count : {2u, 4u}) {
            long long covered = 0;
            for (const Tile& tile : ComputeTiles(area, count)) {
                EXPECT_GE(tile.x, area.left);
                EXPECT_GE(tile.y, area.top);
                EXPECT_LE(tile.x + tile.cx, area.right);
                EXPECT_LE(tile.y + tile.cy, area.bottom);
                covered += static_cast<long long>(tile.cx) * tile.cy;
            }
            EXPECT_EQ(covered, areaSize) << "tiles inside the area covering all of it";
        }
    }
}

TEST_F(DesktopTest, ArrangePlacesManagedWindowsInGroupOrder) {
    HWND older = AddExplorer(0x900);
    HWND newer = AddExplorer(0x100);
    HWND third = AddExplorer(0x500);
    manager.managed = {older};
    manager.explorers = {newer, third, older};
    ArrangeExplorers(manager);
    EXPECT_EQ(manager.managed, (WindowList{older, newer, third}));
    EXPECT_EQ(Sim().placements,
              (std::vector<SimPlacement>{
                  {older, 0, 0, 960, 520}, {newer, 960, 0, 960, 520}, {third, 0, 520, 960, 520}}));
    ASSERT_FALSE(Sim().windows.empty());
    EXPECT_EQ(Sim().windows.front().handle, third) << "the last placed window ends on top";
}

TEST_F(DesktopTest, ArrangeLeavesWindowsBeyondTheFourthAlone) {
    WindowList six;
    for (int i = 0; i < 6; ++i) six.push_back(AddExplorer());
    manager.explorers = six;
    ArrangeExplorers(manager);
    Activate(TakeActivation(manager));
    ASSERT_EQ(Sim().placements.size(), 4u);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(Sim().placements[i].window, six[i]);
    EXPECT_EQ(Sim().foregroundCalls, WindowList{six[3]}) << "the last one placed is activated";
}

TEST_F(DesktopTest, ArrangeUsesTheMonitorOfTheFirstManagedWindow) {
    Sim().workAreas = {{0, 0, 1920, 1040}, {-1366, 0, 0, 728}};
    HWND left = AddExplorer();
    HWND right = AddExplorer();
    Sim().Find(left)->rect = {-1000, 100, -200, 600};
    manager.managed = {left};
    manager.explorers = {left, right};
    ArrangeExplorers(manager);
    EXPECT_EQ(Sim().placements,
              (std::vector<SimPlacement>{{left, -1366, 0, 683, 728}, {right, -683, 0, 683, 728}}));
}

TEST_F(DesktopTest, ArrangePlacesNothingWithoutWindowsOrWorkArea) {
    manager.managed = {H(0x100)};
    ArrangeExplorers(manager);
    EXPECT_TRUE(manager.managed.empty());
    EXPECT_EQ(Sim().calls, 0);

    HWND window = AddExplorer();
    manager.explorers = {window};
    Sim().monitorFromWindowFails = true;
    ArrangeExplorers(manager);
    EXPECT_EQ(manager.managed, WindowList{window}) << "the group is still reconciled";
    EXPECT_TRUE(Sim().placements.empty());

    // A zeroed work area would shrink every window to nothing.
    Sim().monitorFromWindowFails = false;
    Sim().monitorInfoFails = true;
    ArrangeExplorers(manager);
    EXPECT_TRUE(Sim().placements.empty());
}

TEST_F(DesktopTest, VisibleFramesFillTheWorkAreaWhateverTheInvisibleBorders) {
    const struct {
        RECT borders;
        UINT dpi;
        bool dwmFails;
    } cases[] = {
        {{7, 0, 7, 7}, 96, false},      // Windows 10/11 at 100%
        {{11, 0, 11, 11}, 144, false},  // at 150%
        {{0, 0, 0, 0}, 96, false},      // no invisible borders (classic theme)
        {{7, 0, 7, 7}, 96, true},       // no DWM to ask (Wine): the rectangles of old
    };
    for (const auto& c : cases) {
        SetUp();
        Sim().monitorDpis = {c.dpi};
        Sim().dwmFails = c.dwmFails;
        for (int i = 0; i < 4; ++i) {
            SimWindow window;
            window.invisibleBorders = c.borders;
            manager.explorers.push_back(AddWindow(window));
        }
        SortByHandle(manager.explorers);
        manager.managed.clear();
        ArrangeExplorers(manager);
        const auto tiles = ComputeTiles({0, 0, 1920, 1040}, 4);
        for (size_t i = 0; i < 4; ++i) {
            const SimWindow& window = *Sim().Find(manager.managed[i]);
            const RECT& border = c.dwmFails ? RECT{0, 0, 0, 0} : c.borders;
            const Tile visible{window.rect.left + border.left, window.rect.top + border.top,
                               window.rect.right - window.rect.left - border.left - border.right,
                               window.rect.bottom - window.rect.top - border.top - border.bottom};
            EXPECT_EQ(visible, tiles[i]) << "window " << i << " at " << c.dpi << " dpi";
        }
    }
}

TEST_F(DesktopTest, WindowsComeRestoredAndExactlyTiledFromAnyStateAndMonitor) {
    Sim().workAreas = {{0, 0, 1920, 1040}, {1920, 0, 3840, 1040}};
    Sim().monitorDpis = {96, 144};
    SimWindow first;  // on the 150% monitor, which the group is tiled on
    first.rect = {2000, 100, 2800, 700};
    SimWindow maximized;
    maximized.maximized = true;
    SimWindow comesBackMaximized;
    comesBackMaximized.minimized = comesBackMaximized.restoresMaximized = true;
    SimWindow rescales;  // on the 100% monitor, rescales itself when moved
    rescales.rescalesWithDpi = true;
    // Busy threads: their moves land after the wait for the stacking order has ended.
    first.moveLagMs = rescales.moveLagMs = 150;
    manager.managed = {AddWindow(first)};
    manager.explorers = {manager.managed[0], AddWindow(maximized), AddWindow(comesBackMaximized),
                         AddWindow(rescales)};
    ArrangeExplorers(manager);
    const auto tiles = ComputeTiles({1920, 0, 3840, 1040}, 4);
    for (size_t i = 0; i < 4; ++i) {
        const SimWindow& window = *Sim().Find(manager.managed[i]);
        EXPECT_FALSE(window.minimized || window.maximized) << "window " << i;
        EXPECT_EQ((Tile{window.rect.left, window.rect.top, window.rect.right - window.rect.left,
                        window.rect.bottom - window.rect.top}),
                  tiles[i])
            << "window " << i;
    }
}
