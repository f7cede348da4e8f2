#include "tests/unit/desktop_test.h"

struct IdentifyCase {
    const char* className;
    const char* processName;
    bool processLocked;
    bool isExplorer;
    bool opensProcess;
};

class IdentifyTest : public DesktopTest, public ::testing::WithParamInterface<IdentifyCase> {};

TEST_P(IdentifyTest, RecognisesExplorerWindowsAndOpensProcessesOnlyForTheirClasses) {
    const IdentifyCase& c = GetParam();
    SimWindow window;
    window.className = c.className;
    window.processName = c.processName;
    window.processLocked = c.processLocked;
    HWND handle = AddWindow(window);
    EXPECT_EQ(IsExplorerWindow(handle), c.isExplorer);
    EXPECT_EQ(Sim().processesOpened, c.opensProcess ? 1 : 0);
    EXPECT_EQ(IsExplorerWindow(handle), c.isExplorer);
    EXPECT_EQ(Sim().processesOpened, c.opensProcess ? 1 : 0) << "the answer is kept";
    ForgetExplorerProcesses();
    EXPECT_EQ(Sim().openProcessHandles, 0) << "every opened process handle is closed";
}

TEST_F(DesktopTest, AnEndedExplorerIsLookedUpAgainAndItsIdMayBeAnotherProgram) {
    HWND first = AddExplorer();
    EXPECT_TRUE(IsExplorerWindow(first));
    EndProcess(100);
    SimWindow reused;  // the same process id, now another program's
    reused.processName = "notepad.exe";
    HWND impostor = AddWindow(reused);
    EXPECT_FALSE(IsExplorerWindow(impostor));
    EXPECT_EQ(Sim().processesOpened, 2);
    ForgetExplorerProcesses();
    EXPECT_EQ(Sim().openProcessHandles, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Classes, IdentifyTest,
    ::testing::Values(IdentifyCase{"CabinetWClass", "explorer.exe", false, true, true},
                      IdentifyCase{"ExploreWClass", "explorer.exe", false, true, true},
                      IdentifyCase{"CabinetWClass", "EXPLORER.EXE", false, true, true},
                      IdentifyCase{"CabinetWClass", "Explorer.EXE", false, true, true},
                      IdentifyCase{"CabinetWClass", "notepad.exe", false, false, true},
                      IdentifyCase{"CabinetWClass", "explorer.exe.bak", false, false, true},
                      IdentifyCase{"Shell_TrayWnd", "explorer.exe", false, false, false},
                      IdentifyCase{"cabinetwclass", "explorer.exe", false, false, false},
                      IdentifyCase{"CabinetWClass ", "explorer.exe", false, false, false},
                      IdentifyCase{"CabinetWClass", "explorer.exe", true, false, false}));

TEST_F(DesktopTest, NullAndStaleWindowsAreNotExplorers) {
    EXPECT_FALSE(IsExplorerWindow(nullptr));
    EXPECT_EQ(Sim().calls, 0) << "a null window needs no system call";

    HWND closed = AddExplorer();
    CloseSimWindow(closed);
    EXPECT_FALSE(IsExplorerWindow(closed));
    EXPECT_EQ(Sim().processesOpened, 0);
}

TEST_F(DesktopTest, UnreadableProcessNameIsUnknown) {
    SimWindow locked;
    locked.processId = 7;
    locked.processLocked = true;
    AddWindow(locked);
    EXPECT_EQ(GetProcessBaseName(7), "<unknown>");
    EXPECT_EQ(GetProcessBaseName(12345), "<unknown>");
    EXPECT_EQ(GetProcessBaseName(100), "<unknown>") << "no window of process 100 exists";
    EXPECT_EQ(Sim().openProcessHandles, 0);
}

TEST_F(DesktopTest, WinEChordNeedsEAndAWindowsKey) {
    struct {
        std::vector<int> held;
        bool chord;
    } cases[] = {{{}, false},
                 {{'E'}, false},
                 {{VK_LWIN}, false},
                 {{VK_RWIN}, false},
                 {{'E', VK_LWIN}, true},
                 {{'E', VK_RWIN}, true},
                 {{'E', VK_LWIN, VK_RWIN}, true},
                 {{'R', VK_LWIN}, false}};
    for (const auto& c : cases) {
        Sim().heldKeys = std::set<int>(c.held.begin(), c.held.end());
        EXPECT_EQ(IsWinEPressed(), c.chord) << "held keys: " << c.held.size();
    }
    // A chord let go before the step still counts, once; a Windows key pressed alone long
    // ago does not make a later E a chord.
    Sim().heldKeys.clear();
    Sim().pressedEarlier = {'E', VK_LWIN};
    EXPECT_TRUE(IsWinEPressed());
    EXPECT_FALSE(IsWinEPressed());
    Sim().pressedEarlier = {VK_RWIN};
    EXPECT_FALSE(IsWinEPressed());
    Sim().heldKeys = {'E'};
    EXPECT_FALSE(IsWinEPressed());
}

TEST_F(DesktopTest, ActivationAttachesInputAroundItAndARefusedOneDoesNotFlash) {
    HWND other = AddWindow({});
    HWND target = AddExplorer();
    Sim().foreground = other;
    Activate(target);
    EXPECT_EQ(Sim().foreground, target) << "with input attached to the foreground thread";
    EXPECT_EQ(Sim().attachCalls, 2);
    EXPECT_EQ(Sim().attaches, 0) << "detached again";

    // Another program in front does not answer: attaching would wait for it, and without
    // it Windows refuses. The window stays where it is, its button not flashing.
    Sim().ClearRecord();
    Sim().foreground = other;
    Sim().Find(other)->hung = true;
    Activate(target);
    EXPECT_EQ(Sim().attachCalls + Sim().waitsOnHung, 0);
    EXPECT_EQ(Sim().foreground, other);
    EXPECT_TRUE(Sim().flashing.empty());

    // Right after a click on the tray icon the program has the right itself.
    Sim().lastInputProcess = kOwnProcessId;
    Activate(target);
    EXPECT_EQ(Sim().foreground, target);
}
