#include "platform/desktop.h"
#include "tests/unit/desktop_test.h"

namespace {

struct LimitTest : DesktopTest {
    void SetUp() override {
        DesktopTest::SetUp();
        manager.limitEnabled = true;
        manager.targetCount = 2;
    }
    // Opens Explorer windows with the given handles and takes the snapshot.
    void Open(std::initializer_list<std::uintptr_t> handles) {
        for (auto h : handles) AddExplorer(h);
        manager.explorers.clear();
        for (auto h : handles) manager.explorers.push_back(H(h));
        SortByHandle(manager.explorers);
    }
};

const HWND A = H(0x100), B = H(0x200), C = H(0x300), D = H(0x400), E = H(0x500), N = H(0x050);

}  // namespace

TEST_F(LimitTest, DoesNothingWhileOffOrWithoutAPositiveCount) {
    Open({0x100, 0x200, 0x300});
    for (auto [enabled, count] : {std::pair{false, 2}, {true, -1}, {true, 0}}) {
        manager.limitEnabled = enabled;
        manager.targetCount = count;
        Sim().heldKeys = {'E', VK_LWIN};
        EnforceLimit(manager, true);
        EXPECT_TRUE(Sim().closeRequests.empty());
        EXPECT_EQ(manager.lastWinETick, 0u) << "the chord is not even sampled";
        EXPECT_EQ(Sim().enumerations, 0);
    }
}

TEST_F(LimitTest, ExactlyTheCountClosesAndTilesNothing) {
    Open({0x100, 0x200});
    EnforceLimit(manager, true);
    EXPECT_TRUE(Sim().closeRequests.empty());
    EXPECT_TRUE(Sim().placements.empty());
}

TEST_F(LimitTest, NewcomerTakesTheTileOfTheClosedWindowWithoutRecentWinE) {
    Open({0x050, 0x100, 0x200});
    manager.managed = {A, B};
    EnforceLimit(manager, false);
    EXPECT_EQ(Sim().closeRequests, WindowList{B});
    EXPECT_EQ(manager.managed, (WindowList{A, N}));
    EXPECT_EQ(Sim().placements,
              (std::vector<SimPlacement>{{A, 0, 0, 960, 1040}, {N, 960, 0, 960, 1040}}));
}

TEST_F(LimitTest, WinEHeldClosesTheNewcomer) {
    Open({0x050, 0x100, 0x200});
    manager.managed = {A, B};
    Sim().heldKeys = {'E', VK_RWIN};
    EnforceLimit(manager, true);
    EXPECT_EQ(Sim().closeRequests, WindowList{N});
    EXPECT_EQ(manager.managed, (WindowList{A, B}));
}

TEST_F(LimitTest, AChordClaimsTheFirstNewWindowWithin4999Milliseconds) {
    for (auto [age, closed] : {std::pair{5000u, B}, {4999u, N}}) {
        SetUp();
        Open({0x050, 0x100, 0x200});
        manager.managed = {A, B};
        manager.records.clear();  // a new desktop
        RecordOf(manager, A).seenByLimit = RecordOf(manager, B).seenByLimit = true;
        manager.lastWinETick = Sim().now - age;  // a cold Explorer is slow to show it
        EnforceLimit(manager, false);
        EXPECT_EQ(Sim().closeRequests, WindowList{closed}) << age << " ms ago";
    }
    // The next newcomer, another program's, takes the tile of the newest managed window.
    Sim().ClearRecord();
    AddExplorer(0x600);
    EnforceLimit(manager, true);
    EXPECT_EQ(Sim().closeRequests, WindowList{B});
}

TEST_F(LimitTest, WithNothingManagedClosesFirstUnmanagedOrHighestHandle) {
    Open({0x100, 0x200, 0x300});
    manager.lastWinETick = Sim().now;
    EnforceLimit(manager, false);
    EXPECT_EQ(Sim().closeRequests, WindowList{A});

    SetUp();
    Open({0x100, 0x200, 0x300});
    manager.lastWinETick = 0;
    EnforceLimit(manager, false);
    EXPECT_EQ(Sim().closeRequests, WindowList{C});
}

TEST_F(LimitTest, ClosesManagedWindowsNewestFirst) {
    Open({0x100, 0x200, 0x300, 0x400, 0x500});
    manager.managed = {A, B, C, D, E};
    EnforceLimit(manager, true);
    EXPECT_EQ(Sim().closeRequests, (WindowList{E, D, C}));
    EXPECT_EQ(manager.managed, (WindowList{A, B}));
    EXPECT_EQ(Sim().placements.size(), 2u);
}

TEST_F(LimitTest, WindowsOpenedWhileOffReplaceTheWholeGroup) {
    Open({0x100, 0x200, 0x300, 0x400});
    manager.managed = {A, B};
    EnforceLimit(manager, true);
    EXPECT_EQ(Sim().closeRequests, (WindowList{B, A}));
    EXPECT_EQ(manager.managed, (WindowList{C, D}));
}

TEST_F(LimitTest, RecentWinEWithEverythingManagedClosesTheNewestManaged) {
    Open({0x100, 0x200, 0x300});
    manager.managed = {C, A, B};
    manager.lastWinETick = Sim().now - 10;
    EnforceLimit(manager, false);
    EXPECT_EQ(Sim().closeRequests, WindowList{B});
}

TEST_F(LimitTest, UsesTheCallersSnapshotWithoutReenumerating) {
    Open({0x100, 0x200});
    AddExplorer(0x300);  // not in the snapshot
    EnforceLimit(manager, false);
    EXPECT_EQ(Sim().enumerations, 0);
    EXPECT_TRUE(Sim().closeRequests.empty());

    EnforceLimit(manager, true);
    EXPECT_EQ(Sim().enumerations, 1);
    EXPECT_EQ(Sim().closeRequests, WindowList{C});
}

TEST_F(LimitTest, AWindowThatDoesNotAnswerStaysInTheGroupAndNoOtherIsClosedInItsPlace) {
    Open({0x100, 0x200, 0x300});
    manager.managed = {A, B, C};
    Sim().Find(C)->hung = true;
    const auto before = Sim().now;
    EnforceLimit(manager, false);
    EXPECT_EQ(Sim().closeRequests, WindowList{C});
    EXPECT_EQ(Sim().now, before) << "a hung window is not waited for";
    EXPECT_EQ(manager.managed, (WindowList{A, B, C})) << "still in the group";
    EXPECT_EQ(Sim().placements,
              (std::vector<SimPlacement>{{A, 0, 0, 960, 1040}, {B, 960, 0, 960, 1040}}))
        << "no tile of its own";
    Sim().ClearRecord();
    EnforceLimit(manager, true);
    EXPECT_TRUE(Sim().closeRequests.empty());
    Sim().Find(C)->hung = false;  // it answers again: asked again
    EnforceLimit(manager, true);
    EXPECT_TRUE(IsOpen(A) && IsOpen(B) && !IsOpen(C));

    // A busy window: the wait runs out, and its close lands later all the same.
    SetUp();
    Open({0x100, 0x200, 0x300});
    manager.managed = {A, B, C};
    Sim().Find(C)->moveLagMs = kCloseTimeoutMs + 1000;
    EnforceLimit(manager, false);
    EXPECT_TRUE(IsOpen(C));
    platform::Sleep(1000);
    EnforceLimit(manager, true);
    EXPECT_TRUE(IsOpen(A) && IsOpen(B) && !IsOpen(C));
    EXPECT_EQ(Sim().closeRequests, WindowList{C});
}

TEST_F(LimitTest, AnElevatedWindowThatRefusesToCloseStaysAndNoOtherIsClosedInItsPlace) {
    // "2 Explorers" from three windows: the third in z-order runs elevated and refuses.
    for (auto h : {0x300, 0x200, 0x100}) AddExplorer(h);
    Sim().Find(C)->refusesClose = true;
    OpenExplorers(manager);
    EXPECT_EQ(Sim().closeRequests, WindowList{C});
    EXPECT_EQ(manager.managed, (WindowList{A, B, C})) << "still in the group";
    EXPECT_EQ(Sim().placements.size(), 2u) << "A and B share the halves";

    // The limit sees the same three windows: it asks nobody, neither C again nor another.
    Sim().ClearRecord();
    EnforceLimit(manager, true);
    EXPECT_TRUE(Sim().closeRequests.empty());
    EXPECT_EQ(manager.managed, (WindowList{A, B, C}));

    // A new window changes the set: the newest managed is asked again (and refuses), and
    // one window, the next newest, makes room for the newcomer.
    AddExplorer(0x400);
    EnforceLimit(manager, true);
    EXPECT_EQ(Sim().closeRequests, (WindowList{C, B}));
    EXPECT_TRUE(IsOpen(A) && !IsOpen(B) && IsOpen(C) && IsOpen(D));
    EXPECT_EQ(manager.managed, (WindowList{A, C, D}));
    Sim().ClearRecord();
    EnforceLimit(manager, true);  // and the step after closes nothing in C's place
    EXPECT_TRUE(Sim().closeRequests.empty());
}
