#include "app/tray_keys.h"
#include "tests/unit/desktop_test.h"

namespace {

const HWND A = H(0x100), B = H(0x200), C = H(0x300), D = H(0x400), E = H(0x500);

}  // namespace

TEST(SyncManagedList, KeepsSurvivorsInOrderAndAppendsNewcomersByHandle) {
    struct {
        WindowList group, snapshot, expected;
    } cases[] = {
        {{B, A}, {A, B, D, E}, {B, A, D, E}},
        {{C, A, B}, {A, B, D}, {A, B, D}},
        {{}, {A, C, D}, {A, C, D}},
        {{A, B, C}, {}, {}},
        {{A, B, C}, {B}, {B}},
        {{E, D, C, B, A}, {A, C, E}, {E, C, A}},
        {{A}, {A}, {A}},
    };
    for (auto& c : cases) {
        WindowList group = c.group;
        SyncManagedList(group, c.snapshot);
        EXPECT_EQ(group, c.expected);
    }
}

TEST(ExplorerManagerState, StartsEmptyWithNoCountChosen) {
    ExplorerManager manager;
    EXPECT_EQ(manager.targetCount, -1);
    EXPECT_FALSE(manager.limitEnabled);
    EXPECT_FALSE(manager.minimizedAll);
    EXPECT_TRUE(manager.explorers.empty() && manager.managed.empty() && manager.exempt.empty() &&
                manager.folders.empty());
    EXPECT_EQ(manager.lastForeground, nullptr);
    EXPECT_FALSE(manager.shellWindows);
}

TEST(ExplorerManagerState, ManagedMeansInTheGroupNotMerelyEnumerated) {
    ExplorerManager manager;
    manager.explorers = {A, B};
    manager.managed = {B};
    EXPECT_FALSE(IsManaged(manager, A));
    EXPECT_TRUE(IsManaged(manager, B));
}

TEST(ExplorerManagerState, SortsByUnsignedHandleValue) {
    WindowList windows{H(0xFFFFFFFF00000000ull), C, A, H(0x80000000ull), B};
    SortByHandle(windows);
    EXPECT_EQ(windows, (WindowList{A, B, C, H(0x80000000ull), H(0xFFFFFFFF00000000ull)}));
}

TEST(TrayKeys, APressStampedInTheTickTheMenuClosedOpensItAndAnEarlierOneDoesNot) {
    EXPECT_TRUE(CameAfterMenuClosed(5000, 5000));
    EXPECT_TRUE(CameAfterMenuClosed(5016, 5000));
    EXPECT_FALSE(CameAfterMenuClosed(4999, 5000));
    EXPECT_TRUE(CameAfterMenuClosed(8, 0xFFFFFFF8)) << "across the wrap of the tick count";
}
