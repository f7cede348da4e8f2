#include "tests/com_fakes.h"
#include "tests/unit/desktop_test.h"

#include <chrono>
#include <future>
#include <thread>

namespace {

struct PollTest : DesktopTest {
    HWND other = nullptr;  // a window of another program
    FakeShellWindows shell;
    std::vector<std::unique_ptr<FakeShellWindow>> shellEntries;

    void SetUp() override {
        DesktopTest::SetUp();
        SimWindow notepad;
        notepad.className = "Notepad";
        notepad.processName = "notepad.exe";
        notepad.processId = 200;
        other = AddWindow(notepad);
        Focus(other);
    }
    void TearDown() override {
        WaitForShellCalls(5000);
        manager.shellWindows.Reset();
    }

    void Focus(HWND window) {
        Sim().foreground = window;
        Sim().Raise(window);
    }
    // Lets the shell report a folder for each window, so captures can be observed.
    void ShowFolders(const WindowList& windows) {
        for (HWND window : windows) {
            shellEntries.push_back(std::make_unique<FakeShellWindow>(window, L"C:\\Data"));
            shell.entries.push_back(shellEntries.back().get());
        }
        manager.shellWindows = &shell;
    }
    void Step() {
        Sim().ClearRecord();
        shell.itemCalls = 0;
        Tick(manager);
        WaitForShellCalls(5000);
    }
    bool Captured() const { return shell.itemCalls > 0; }
    // The topmost windows of the desktop, topmost first.
    WindowList Top(size_t count) const {
        WindowList top;
        for (size_t i = 0; i < count && i < Sim().windows.size(); ++i) {
            top.push_back(Sim().windows[i].handle);
        }
        return top;
    }
};

}  // namespace

TEST_F(PollTest, AnotherProgramInFrontIsOnlyRecorded) {
    HWND a = AddExplorer();
    Focus(other);
    Step();
    EXPECT_EQ(manager.lastForeground, other);
    EXPECT_TRUE(Sim().raised.empty());
    EXPECT_EQ(Sim().enumerations, 0) << "an idle step does not enumerate windows";
    EXPECT_EQ(Sim().processesOpened, 0) << "nor open any process";
    EXPECT_TRUE(IsOpen(a));
}

TEST_F(PollTest, ActivatingOneExplorerRaisesTheGroupWithItLast) {
    HWND a = AddExplorer(0x300);
    HWND b = AddExplorer(0x100, true);
    HWND c = AddExplorer(0x200, true);
    manager.managed = {a, b, c};
    ShowFolders({a, b, c});
    manager.exempt = {c};
    manager.lastForeground = other;
    Focus(a);
    Step();
    EXPECT_EQ(manager.explorers, (WindowList{b, c, a}));
    EXPECT_FALSE(IsMinimized(b) || IsMinimized(c)) << "exempt windows are restored too";
    EXPECT_EQ(Top(4), (WindowList{a, b, c, other}))
        << "the chosen one on top, the others below it as raising each in turn left them";
    EXPECT_TRUE(Sim().foregroundCalls.empty()) << "no other window is activated on the way";
    EXPECT_EQ(Sim().attachCalls, 0);
    EXPECT_TRUE(manager.exempt.empty());
    EXPECT_EQ(manager.lastActionTick, Sim().now);
    EXPECT_EQ(manager.lastForeground, a);
    EXPECT_TRUE(Captured());
    EXPECT_EQ(manager.folders.size(), 3u);
}

TEST_F(PollTest, ActivationAppliesTheLimitToItsOwnSnapshot) {
    manager.limitEnabled = true;
    manager.targetCount = 2;
    HWND a = AddExplorer(0x100);
    AddExplorer(0x200);
    HWND c = AddExplorer(0x300);
    Focus(a);
    Step();
    EXPECT_EQ(Sim().enumerations, 1) << "the limit does not enumerate again";
    EXPECT_EQ(Sim().closeRequests, WindowList{c});
}

TEST_F(PollTest, MovingBetweenExplorersOnlyAppliesLimitAndCaptures) {
    HWND a = AddExplorer();
    HWND b = AddExplorer();
    manager.explorers = {a, b};
    manager.managed = {a, b};
    ShowFolders({a, b});
    manager.lastForeground = a;
    manager.limitEnabled = true;
    manager.targetCount = 4;
    Focus(b);
    Step();
    EXPECT_TRUE(Sim().raised.empty());
    EXPECT_EQ(Sim().enumerations, 1) << "the limit enumerates afresh";
    EXPECT_TRUE(Captured());
    EXPECT_EQ(manager.lastActionTick, 0u) << "nothing moved: no quiet time";
    EXPECT_EQ(manager.lastForeground, b);

    // The same window stays in front: known, so no process is opened; the limit and the
    // capture wait for the quiet-time pace.
    Step();
    EXPECT_EQ(Sim().processesOpened, 0);
    EXPECT_FALSE(Captured());
    Sim().now += 250;
    AddExplorer();
    AddExplorer();
    AddExplorer();  // five now: the limit closes one and tiles, which arms the quiet time
    Step();
    EXPECT_EQ(Sim().closeRequests.size(), 1u);
    EXPECT_EQ(manager.lastActionTick, Sim().now);
}

TEST_F(PollTest, StepsWithinTheQuietTimeTakeNoLock) {
    HWND a = AddExplorer();
    manager.lastForeground = other;
    Focus(a);
    manager.lastActionTick = Sim().now + 50 - 250 + 1;  // 249 ms after the sleep
    manager.limitEnabled = true;                        // the chord is watched for the limit
    Sim().heldKeys = {'E', VK_LWIN};

    std::promise<void> locked, release;
    std::thread holder([&] {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        locked.set_value();
        release.get_future().wait();
    });
    locked.get_future().wait();
    // Within the quiet time the step must not wait for the lock; if it does, it is let
    // go after the bound and the test fails instead of hanging.
    auto step = std::async(std::launch::async, [&] { Step(); });
    const bool returned = step.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    release.set_value();
    holder.join();
    step.wait();
    ASSERT_TRUE(returned) << "the step waited for the lock";

    EXPECT_EQ(manager.lastWinETick, Sim().now);
    EXPECT_EQ(manager.lastForeground, other);
    EXPECT_TRUE(Sim().raised.empty());

    Step();  // 299 ms later: the quiet time is over
    EXPECT_EQ(manager.lastForeground, a);
    EXPECT_FALSE(Sim().raised.empty());
}

TEST_F(PollTest, ClosingTheActiveExplorerRaisesNothingAndKeepsCtrlMinimizedOnesDown) {
    HWND a = AddExplorer(0x100);
    HWND ctrlMinimized = AddExplorer(0x200, true);
    HWND b = AddExplorer(0x300);
    manager.explorers = {a, ctrlMinimized, b};
    manager.exempt = {ctrlMinimized};
    manager.lastForeground = b;
    Focus(b);
    Step();
    CloseSimWindow(b);  // Windows activates the window below it
    Step();
    EXPECT_EQ(Sim().foreground, a);
    EXPECT_TRUE(Sim().raised.empty()) << "Windows' doing, not the user coming back";
    EXPECT_TRUE(IsMinimized(ctrlMinimized));
}

TEST_F(PollTest, NoForegroundWindowChangesNothing) {
    HWND a = AddExplorer(0, true);
    manager.explorers = {a};
    manager.lastForeground = other;
    Sim().foreground = nullptr;
    Step();
    EXPECT_EQ(manager.lastForeground, other);
    EXPECT_FALSE(manager.minimizedAll);
    EXPECT_TRUE(Sim().minimizedCalls.empty());
}

TEST_F(PollTest, AnotherProgramTakingTheFrontDuringARaiseKeepsIt) {
    HWND b = AddExplorer(0x200);
    HWND a = AddExplorer(0x100);
    Sim().Find(b)->moveLagMs = 50;  // a busy thread: the raise waits for it
    Sim().Raise(other);             // b is below another program's window
    manager.lastForeground = other;
    Focus(a);
    int sleeps = 0;
    Sim().onSleep = [&] {
        if (++sleeps == 2) Sim().foreground = other;  // during the raise, the user moves on
    };
    Step();
    Sim().onSleep = nullptr;
    EXPECT_EQ(Sim().foreground, other);
    EXPECT_TRUE(Sim().foregroundCalls.empty());
}

TEST_F(PollTest, MinimizingOneMinimizesEveryExplorerAndWaitsForOneInFront) {
    HWND a = AddExplorer(0x100);
    HWND b = AddExplorer(0x200);
    HWND unseen = AddExplorer(0x300);  // not in the snapshot
    manager.explorers = {a, b};
    manager.managed = {a, b};
    ShowFolders({a, b});
    Sim().Find(a)->moveLagMs = 600;  // busy: Windows activates it when the one above goes
    manager.lastForeground = b;
    Focus(b);
    UserMinimize(b);  // Windows activates the window below, another Explorer window
    Step();
    EXPECT_TRUE(manager.minimizedAll);
    EXPECT_TRUE(IsMinimized(b) && IsMinimized(unseen));
    EXPECT_TRUE(Captured());
    for (int i = 0; i < 20; ++i) Step();
    EXPECT_TRUE(IsMinimized(a) && manager.minimizedAll) << "the group stays down";
    EXPECT_EQ(Sim().foreground, other) << "no minimized Explorer window is left active";

    // Still minimized in front: nothing happens.
    Sim().now += 300;
    Focus(b);
    Step();
    EXPECT_TRUE(manager.minimizedAll);
    EXPECT_TRUE(Sim().raised.empty());

    // The user restores one: the whole group comes back, it last.
    Sim().Find(a)->moveLagMs = 0;
    Sim().Find(b)->minimized = false;
    Step();
    EXPECT_FALSE(manager.minimizedAll);
    EXPECT_FALSE(IsMinimized(a) || IsMinimized(unseen));
    EXPECT_FALSE(Sim().raised.empty());
    EXPECT_EQ(Top(1), WindowList{b});
}

TEST_F(PollTest, CtrlMinimizeExemptsTheWindowAndLeavesTheFrontToAMember) {
    HWND a = AddExplorer(0x100);
    HWND b = AddExplorer(0x200);
    HWND c = AddExplorer(0x300);
    HWND d = AddExplorer(0x400);
    manager.explorers = {a, b, c, d};
    manager.lastForeground = d;
    Focus(d);
    Sim().heldKeys = {VK_CONTROL};
    UserMinimize(d);  // Windows activates c, below it
    Step();
    EXPECT_EQ(manager.exempt, WindowList{d});
    EXPECT_TRUE(Sim().raised.empty() && Sim().foregroundCalls.empty()) << "c keeps the front";
    EXPECT_EQ(manager.lastForeground, c);
    EXPECT_FALSE(manager.minimizedAll);

    // Windows activated another program's window: the member highest in z-order comes
    // forward, not the one with the lowest handle.
    Sim().Raise(other);
    Focus(c);
    UserMinimize(c);
    ASSERT_EQ(Sim().foreground, other);
    Step();
    EXPECT_EQ(Sim().raised, WindowList{b});
    EXPECT_EQ(Sim().foreground, b);

    // Releasing Ctrl later does not pull the group down: the windows are exempt.
    Sim().heldKeys.clear();
    Sim().now += 300;
    Step();
    EXPECT_TRUE(Sim().minimizedCalls.empty());
    EXPECT_EQ(manager.exempt, (WindowList{d, c}));
}

TEST_F(PollTest, TheGroupComesBackWholeWithSlowHungAndMaximizedMembers) {
    HWND slow = AddExplorer(0x200, true);
    HWND hung = AddExplorer(0x300, true);
    HWND big = AddExplorer(0x400, true);
    HWND a = AddExplorer(0x100);         // brought back from its taskbar button
    Sim().Find(slow)->moveLagMs = 3000;  // busy, not yet "not responding"
    Sim().Find(hung)->hung = true;
    Sim().Find(big)->restoresMaximized = true;
    Sim().Find(big)->moveLagMs = 1000;  // its activating restore lands after the raise
    manager.explorers = {a, slow, hung, big};
    manager.minimizedAll = true;
    Focus(a);
    Step();
    EXPECT_EQ(Sim().foreground, a);
    EXPECT_EQ(Top(1), WindowList{a});
    for (int i = 0; i < 70 && !manager.minimizedAll; ++i) Step();
    EXPECT_TRUE(Sim().Find(big)->maximized) << "back maximized";
    EXPECT_EQ(Sim().foreground, a) << "the chosen one keeps the keyboard";
    EXPECT_FALSE(manager.minimizedAll) << "restores landing late are not the user's minimize";
    EXPECT_FALSE(IsMinimized(a) || IsMinimized(slow));
    Sim().Find(hung)->hung = false;  // it answers again, and takes the restore
    Step();
    EXPECT_FALSE(IsMinimized(hung) || manager.minimizedAll);
}

TEST_F(PollTest, CtrlMinimizeOfTheLastVisibleWindowEntersTheMinimizedState) {
    HWND a = AddExplorer(0x100, true);
    HWND b = AddExplorer(0x200);
    manager.explorers = {a, b};
    manager.exempt = {a};
    Sim().Find(b)->minimized = true;
    Sim().heldKeys = {VK_CONTROL};
    Step();
    EXPECT_EQ(manager.exempt, (WindowList{a, b}));
    EXPECT_TRUE(Sim().raised.empty());
    EXPECT_TRUE(manager.minimizedAll);
}

TEST_F(PollTest, AHungExplorerWindowFreezesNoGroupAction) {
    HWND a = AddExplorer(0x100);
    HWND hung = AddExplorer(0x200, true);
    HWND c = AddExplorer(0x300, true);
    Sim().Find(hung)->hung = true;
    manager.lastForeground = other;
    manager.limitEnabled = true;
    manager.targetCount = 2;
    Focus(a);
    Step();  // raise, and the limit closes one and tiles the rest
    EXPECT_EQ(Sim().waitsOnHung, 0);
    EXPECT_FALSE(IsMinimized(c)) << "the others are restored";
    EXPECT_TRUE(IsMinimized(hung)) << "the hung one is left alone";
    EXPECT_EQ(Top(1), WindowList{a});

    Sim().now += 300;
    Sim().Find(a)->minimized = true;
    Focus(other);
    Step();
    EXPECT_EQ(Sim().waitsOnHung, 0);
    EXPECT_TRUE(manager.minimizedAll);
}

TEST_F(PollTest, WindowsOnAnotherVirtualDesktopAreNotPartOfTheGroup) {
    HWND a = AddExplorer(0x100);
    HWND b = AddExplorer(0x200, true);
    SimWindow elsewhere;
    elsewhere.cloaked = true;
    elsewhere.minimized = true;
    HWND away = AddWindow(elsewhere);
    SimWindow ready;  // kept ready, not shown
    ready.visible = false;
    HWND hidden = AddWindow(ready);
    manager.lastForeground = other;
    manager.limitEnabled = true;
    manager.targetCount = 1;
    Focus(a);
    Step();  // raised, and the limit closes one and tiles the rest
    EXPECT_TRUE(IsMinimized(away)) << "not restored";
    EXPECT_EQ(manager.explorers, (WindowList{a})) << "not counted";
    EXPECT_EQ(Sim().closeRequests, WindowList{b});
    for (const auto& placed : Sim().placements) {
        EXPECT_TRUE(placed.window != away && placed.window != hidden) << "not tiled";
    }
    ASSERT_TRUE(IsOpen(away) && IsOpen(hidden)) << "not closed";

    Sim().Find(away)->minimized = false;
    Sim().Find(a)->minimized = true;
    Sim().now += 300;
    Focus(other);
    Step();
    EXPECT_TRUE(manager.minimizedAll);
    EXPECT_FALSE(IsMinimized(away)) << "not minimized";
    manager.targetCount = 0;
    OpenExplorers(manager);
    ASSERT_TRUE(IsOpen(away) && IsOpen(hidden)) << "not closed";
    EXPECT_FALSE(Sim().Find(hidden)->visible) << "not shown";
}

TEST_F(PollTest, CtrlPressedLongBeforeAMinimizeExemptsNothing) {
    HWND a = AddExplorer(0x100);
    HWND b = AddExplorer(0x200);
    manager.explorers = {a, b};
    manager.lastForeground = a;
    Sim().Find(a)->minimized = true;
    Sim().pressedEarlier = {VK_CONTROL, VK_LWIN};  // a Ctrl+C and a Win press, minutes ago
    Focus(other);
    Step();
    EXPECT_TRUE(manager.minimizedAll) << "the whole group goes down";
    EXPECT_TRUE(IsMinimized(b));
    EXPECT_TRUE(manager.exempt.empty());
}

TEST_F(PollTest, AWakeRunsTheStepAtOnceAndOneInTheQuietTimeIsNotLost) {
    HWND a = AddExplorer();
    manager.wake = Sim().wakeEvent;
    manager.lastForeground = other;
    Focus(a);
    Sim().wakeSignalled = true;  // the foreground changed
    const auto before = Sim().now;
    Step();
    EXPECT_EQ(Sim().now, before) << "no wait for the 50 ms";
    EXPECT_EQ(manager.lastForeground, a);

    // Minimized while the quiet time after the raise runs: its step comes once it is over.
    Sim().Find(a)->minimized = true;
    Focus(other);
    Sim().wakeSignalled = true;
    Step();
    EXPECT_FALSE(manager.minimizedAll);
    for (int i = 0; i < 5 && !manager.minimizedAll; ++i) Step();
    EXPECT_TRUE(manager.minimizedAll);
    EXPECT_LE(Sim().now - before, 250u + 50u);
}

TEST_F(PollTest, OfSeveralMinimizedWindowsTheLowestHandleIsFound) {
    HWND high = AddExplorer(0x300, true);
    HWND low = AddExplorer(0x100, true);
    HWND mid = AddExplorer(0x200, true);
    manager.explorers = {low, mid, high};
    EXPECT_EQ(FindMinimizedExplorer(manager), low);
    manager.exempt = {low};
    EXPECT_EQ(FindMinimizedExplorer(manager), mid);
}

TEST_F(PollTest, WindowOpenedWhileTheLimitIsOffIsNotInTheSnapshot) {
    HWND a = AddExplorer(0x100);
    manager.explorers = {a};
    manager.lastForeground = a;
    Focus(a);
    Step();  // explorer to explorer: the limit is off, the snapshot stays
    HWND late = AddExplorer(0x050, true);
    Sim().now += 300;
    Step();
    EXPECT_EQ(manager.explorers, WindowList{a});
    EXPECT_FALSE(manager.minimizedAll);
    EXPECT_TRUE(Sim().minimizedCalls.empty());
    EXPECT_TRUE(IsMinimized(late));
}

TEST(PollConcurrency, WorkerAndMenuShareTheLockWithoutDeadlock) {
    ResetSim();
    for (int i = 0; i < 4; ++i) AddExplorer();
    ASSERT_FALSE(Sim().windows.empty());
    HWND a = Sim().windows.front().handle;
    explorerManager.explorers.clear();
    explorerManager.managed.clear();
    explorerManager.lastActionTick = 0;
    pollRunning = true;
    std::thread worker(PollThreadMain);

    auto menu = std::async(std::launch::async, [&] {
        for (int i = 0; i < 2000; ++i) {
            std::lock_guard<std::recursive_mutex> guard(explorerManager.lock);
            {
                std::lock_guard<std::recursive_mutex> desk(Sim().mutex);
                Sim().foreground = (i % 3 == 0) ? nullptr : a;
                if (i % 7 == 0) Sim().Find(a)->minimized = !Sim().Find(a)->minimized;
            }
            if (i % 50 == 0) ArrangeExplorers(explorerManager);
        }
    });
    ASSERT_EQ(menu.wait_for(std::chrono::seconds(60)), std::future_status::ready) << "deadlock";

    std::uint64_t clearedAt;
    {
        std::lock_guard<std::recursive_mutex> desk(Sim().mutex);
        pollRunning = false;
        clearedAt = Sim().now;
    }
    worker.join();
    EXPECT_LE(Sim().now - clearedAt, 50u) << "the worker stops within one step";
    pollRunning = true;
}

TEST_F(PollTest, AStepThatWaitedForACommandDecidesNothingOnItsMovingWindows) {
    HWND a = AddExplorer();
    manager.lastForeground = other;
    Focus(a);
    std::promise<void> locked, release;
    std::thread command([&] {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        locked.set_value();
        release.get_future().wait();
        manager.lastActionTick = Sim().now;  // "4 Explorers" has just moved the windows
    });
    locked.get_future().wait();
    auto step = std::async(std::launch::async, [&] { Step(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the step waits for the lock
    release.set_value();
    command.join();
    step.wait();
    EXPECT_TRUE(Sim().raised.empty());
    EXPECT_EQ(manager.lastForeground, other) << "not even recorded";
}

TEST_F(PollTest, AWorkerLeftBehindEndsWhenANewOneStarts) {
    pollRunning = true;
    std::thread worker(PollThreadMain);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ++pollGeneration;  // a new worker was started after this one
    auto joined = std::async(std::launch::async, [&] { worker.join(); });
    EXPECT_EQ(joined.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    pollRunning = false;
}
