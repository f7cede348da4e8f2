#include "tests/unit/desktop_test.h"

namespace {

struct OpenTest : DesktopTest {
    // Explorer windows listed in enumeration order (topmost first).
    WindowList OpenInOrder(std::initializer_list<std::uintptr_t> handles) {
        WindowList opened;
        for (auto it = std::rbegin(handles); it != std::rend(handles); ++it) AddExplorer(*it);
        for (auto h : handles) opened.push_back(H(h));
        return opened;
    }
    void Choose(int count) {
        manager.targetCount = count;
        OpenExplorers(manager);
    }
    int Chords() const {
        int chords = 0;
        for (BYTE key : Sim().keyEvents) chords += key == 'E';
        return chords;
    }
};

}  // namespace

TEST_F(OpenTest, ZeroClosesEveryExplorerAndOpensNothing) {
    const WindowList all = OpenInOrder({0x300, 0x100, 0x200});
    manager.managed = {H(0x100)};
    Choose(0);
    EXPECT_EQ(Sim().closeRequests, all);
    EXPECT_TRUE(Sim().keyEvents.empty());
    EXPECT_TRUE(Sim().placements.empty());
    EXPECT_EQ(manager.managed, WindowList{H(0x100)}) << "no tiling, so the group stays";
}

TEST_F(OpenTest, TwoOfFiveKeepsTheFirstTwoInEnumerationOrder) {
    OpenInOrder({0x500, 0x100, 0x400, 0x200, 0x300});
    Sim().Find(H(0x100))->minimized = true;
    Sim().Find(H(0x200))->minimized = true;
    Choose(2);
    EXPECT_EQ(Sim().closeRequests, (WindowList{H(0x400), H(0x200), H(0x300)}));
    EXPECT_EQ(Sim().restored, WindowList{H(0x100)}) << "a surplus window is not restored";
    EXPECT_EQ(Sim().foregroundCalls, WindowList{H(0x500)}) << "only the last one tiled";
    EXPECT_EQ(manager.explorers, (WindowList{H(0x100), H(0x500)}));
    EXPECT_EQ(Chords(), 0);
    EXPECT_EQ(Sim().placements, (std::vector<SimPlacement>{{H(0x100), 0, 0, 960, 1040},
                                                           {H(0x500), 960, 0, 960, 1040}}));
}

TEST_F(OpenTest, FourOfFourTilesQuadrantsWithoutOpeningOrClosing) {
    OpenInOrder({0x100, 0x200, 0x300, 0x400});
    const auto before = Sim().now;
    Choose(4);
    EXPECT_TRUE(Sim().closeRequests.empty());
    EXPECT_EQ(Chords(), 0);
    EXPECT_EQ(Sim().now, before);
    EXPECT_EQ(Sim().placements.size(), 4u);
    EXPECT_EQ(Sim().placements[3], (SimPlacement{H(0x400), 960, 520, 960, 520}));
}

TEST_F(OpenTest, FourWithOneOpensThreeWithAPauseAfterEachChord) {
    OpenInOrder({0x100});
    manager.exempt = {H(0x100)};
    const auto before = Sim().now;
    Choose(4);
    EXPECT_EQ(Chords(), 3);
    EXPECT_EQ(Sim().now - before, 1200u);
    EXPECT_EQ(manager.explorers.size(), 4u) << "rebuilt after the shortfall";
    EXPECT_FALSE(IsWinEPressed()) << "its own chords are not taken for the user's";
    EXPECT_TRUE(manager.exempt.empty());
    EXPECT_EQ(manager.lastActionTick, Sim().now);
    ASSERT_FALSE(manager.managed.empty());
    EXPECT_EQ(manager.managed.front(), H(0x100));
    EXPECT_EQ(Sim().placements.size(), 4u);
}

TEST_F(OpenTest, ChordIsLeftWindowsKeyAndEWithScanCode45Extended) {
    Sim().winEOpensExplorer = false;
    Choose(1);
    const std::vector<BYTE> keys{VK_LWIN, 'E', 'E' | 0x80, VK_LWIN | 0x80};
    EXPECT_EQ(Sim().keyEvents, keys);
    EXPECT_EQ(Sim().keyEventFlags, (std::vector<DWORD>{1, 1, 3, 3}));
    EXPECT_EQ(Sim().keyEventScans, (std::vector<BYTE>{0x45, 0x45, 0x45, 0x45}));
}

TEST_F(OpenTest, FourWithNoneTilesOnlyWhatAppeared) {
    Sim().winEOpensExplorer = false;
    const auto before = Sim().now;
    Choose(4);
    EXPECT_EQ(Chords(), 4);
    EXPECT_EQ(Sim().now - before, 1600u + 3000u) << "then the windows are waited for, 3 s at most";
    EXPECT_TRUE(Sim().placements.empty());

    SetUp();
    Sim().winEOpensExplorer = true;
    Choose(4);
    EXPECT_EQ(Sim().placements.size(), 4u);
}

TEST_F(OpenTest, HungSurplusWindowDoesNotFreezeTheMenuAndStaysInTheGroup) {
    OpenInOrder({0x100, 0x200});
    Sim().Find(H(0x200))->hung = true;
    const auto before = Sim().now;
    Choose(1);
    EXPECT_EQ(Sim().closeRequests, WindowList{H(0x200)});
    EXPECT_EQ(Sim().now, before);
    EXPECT_EQ(manager.explorers, (WindowList{H(0x100), H(0x200)}));
    manager.limitEnabled = true;
    EnforceLimit(manager, true);
    EXPECT_TRUE(IsOpen(H(0x100))) << "the limit closes no other window in its place";
}

TEST_F(OpenTest, TheWindowsKeptAreThoseOnTopWhenTheMenuOpened) {
    const WindowList atMenu = OpenInOrder({0x300, 0x100, 0x400, 0x200});
    Sim().Raise(H(0x200));  // a group raise under way restacks them meanwhile
    Sim().Raise(H(0x400));
    manager.targetCount = 2;
    OpenExplorers(manager, atMenu);
    EXPECT_EQ(Sim().closeRequests, (WindowList{H(0x400), H(0x200)}));
}

TEST_F(OpenTest, CountIsReadOnceAtTheStart) {
    Sim().winEOpensExplorer = false;
    // The menu thread stores a new count while the chords are being sent.
    Sim().onSleep = [&] { manager.targetCount = 1; };
    Choose(3);
    EXPECT_EQ(Chords(), 3);
}
