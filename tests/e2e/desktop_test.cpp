// Window management on the real (Wine) desktop, with the stand-in File Explorer.
#include "explorers/explorers.h"
#include "tests/e2e/wine_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::vector<HWND> Snapshot(ExplorerManager& manager) {
    std::lock_guard<std::recursive_mutex> guard(manager.lock);
    CollectExplorers(manager.explorers);
    SortByHandle(manager.explorers);
    return manager.explorers;
}

// Runs poll steps until the condition holds (the quiet time may hold the first ones back).
bool TickUntil(
    ExplorerManager& manager, const std::function<bool()>& condition,
    const std::function<void()>& beforeStep = [] {}) {
    for (int step = 0; step < 40; ++step) {
        beforeStep();
        Tick(manager);
        if (condition()) return true;
    }
    return false;
}

size_t PositionOf(HWND window) {
    const auto windows = TopLevelWindows();
    return std::find(windows.begin(), windows.end(), window) - windows.begin();
}

}  // namespace

TEST(RealDesktop, RecognisesOnlyExplorerClassesOfTheExplorerProcess) {
    Process cabinet = StartStandIn(L"explorer.exe", L"--windows 2", 2);
    Process explore = StartStandIn(L"explorer.exe", L"--class ExploreWClass");
    Process other = StartStandIn(L"explorer.exe", L"--class OtherWClass");
    Process notepad = StartStandIn(L"notepad.exe", L"");

    for (HWND window : WindowsOf(cabinet.id())) EXPECT_TRUE(IsExplorerWindow(window));
    EXPECT_TRUE(IsExplorerWindow(WindowsOf(explore.id()).at(0)));
    EXPECT_FALSE(IsExplorerWindow(WindowsOf(other.id()).at(0))) << "another class";
    EXPECT_FALSE(IsExplorerWindow(WindowsOf(notepad.id()).at(0))) << "another program";
    EXPECT_EQ(GetProcessBaseName(cabinet.id()), "explorer.exe") << "matched in another case";

    HWND closing = WindowsOf(cabinet.id()).at(0);
    PostMessageW(closing, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(closing); }));
    EXPECT_FALSE(IsExplorerWindow(closing)) << "a handle taken before the window closed";
}

TEST(RealDesktop, ArrangeTilesTheWorkAreaExactly) {
    Process explorer = StartStandIn(L"explorer.exe", L"--windows 4", 4);
    ExplorerManager manager;
    std::lock_guard<std::recursive_mutex> guard(manager.lock);
    Snapshot(manager);
    ASSERT_EQ(manager.explorers.size(), 4u);
    ArrangeExplorers(manager);
    const RECT work = WorkAreaOf(manager.managed[0]);
    const auto tiles = ComputeTiles({work.left, work.top, work.right, work.bottom}, 4);
    for (size_t i = 0; i < 4; ++i) {
        const RECT expected{tiles[i].x, tiles[i].y, tiles[i].x + tiles[i].cx,
                            tiles[i].y + tiles[i].cy};
        EXPECT_TRUE(WaitUntil([&] { return SameRect(RectOf(manager.managed[i]), expected); }))
            << "tile " << i;
    }

    Snapshot(manager);
    manager.explorers.resize(2);
    ArrangeExplorers(manager);
    const RECT left{work.left, work.top, work.left + (work.right - work.left) / 2, work.bottom};
    EXPECT_TRUE(WaitUntil([&] { return SameRect(RectOf(manager.managed[0]), left); }));
}

TEST(RealDesktop, GroupFollowsActivationAndMinimize) {
    Process notepad = StartStandIn(L"notepad.exe", L"");
    Process explorer = StartStandIn(L"explorer.exe", L"--windows 3", 3);
    HWND other = WindowsOf(notepad.id()).at(0);
    auto group = WindowsOf(explorer.id());
    ASSERT_EQ(group.size(), 3u);
    ExplorerManager manager;

    // Another program in front: only recorded.
    ShowWindow(group[1], SW_MINIMIZE);
    SetForegroundWindow(other);
    ASSERT_TRUE(TickUntil(manager, [&] { return manager.lastForeground == other; }));

    // The user picks one Explorer window: all come back, it on top.
    HWND chosen = group[2];
    SetForegroundWindow(chosen);
    ASSERT_TRUE(TickUntil(manager, [&] { return manager.lastForeground == chosen; }));
    // The windows' own threads carry the requests out, a moment after the step.
    EXPECT_TRUE(WaitUntil([&] { return !IsIconic(group[1]); })) << "minimized windows are restored";
    EXPECT_TRUE(WaitUntil([&] {
        return PositionOf(chosen) == 0 && std::all_of(group.begin(), group.end(), [&](HWND w) {
                   return PositionOf(w) < PositionOf(other);
               });
    })) << "the chosen window on top, the group above the other program";

    // Minimizing one minimizes all.
    ShowWindow(group[0], SW_MINIMIZE);
    ASSERT_TRUE(TickUntil(manager, [&] { return manager.minimizedAll; }));
    for (HWND window : group) EXPECT_TRUE(WaitUntil([&] { return IsIconic(window) != FALSE; }));

    // Back again, then minimize one with Ctrl held: only that one goes down.
    ShowWindow(group[1], SW_RESTORE);
    SetForegroundWindow(group[1]);
    ASSERT_TRUE(TickUntil(manager, [&] { return !manager.minimizedAll; }));
    for (HWND window : group) EXPECT_TRUE(WaitUntil([&] { return !IsIconic(window); }));
    // Wine forgets an injected key when the focus moves, so Ctrl repeats while held,
    // as a real keyboard's does.
    const auto holdCtrl = [] { InjectKey(VK_CONTROL, false); };
    holdCtrl();
    ShowWindow(group[0], SW_MINIMIZE);
    const bool exempted = TickUntil(
        manager, [&] { return !manager.exempt.empty(); }, holdCtrl);
    InjectKey(VK_CONTROL, true);
    ASSERT_TRUE(exempted);
    EXPECT_EQ(manager.exempt, std::vector<HWND>{group[0]});
    EXPECT_TRUE(IsIconic(group[0]));
    EXPECT_FALSE(IsIconic(group[1]) || IsIconic(group[2]));
    EXPECT_FALSE(manager.minimizedAll);
}
