#include "tests/unit/shell_test.h"

#include "folders/shell_windows.h"

#include <atomic>
#include <mutex>

namespace {

const HWND A = H(0x100), B = H(0x200), C = H(0x300), D = H(0x400), E = H(0x500), X = H(0x900);

}  // namespace

TEST_F(ShellTest, CaptureFollowsTheGroupOrderNotTheCollectionOrder) {
    Show(C, L"C:\\Three");
    Show(X, L"C:\\Unmanaged");
    Show(A, L"C:\\One");
    Show(B, L"C:\\Two");
    manager.managed = {A, B, C};
    EXPECT_TRUE(Capture());
    EXPECT_EQ(manager.folders, (Folders{L"C:\\One", L"C:\\Two", L"C:\\Three"}));
}

TEST_F(ShellTest, AWindowThatDoesNotAnswerHoldsUpNoOtherAndGetsNoSecondCall) {
    HANDLE answer = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto* a = Show(A, L"C:\\One");
    auto* b = Show(B, L"C:\\Two");
    Show(X, L"C:\\Other");
    manager.managed = {A, B};
    EXPECT_TRUE(Capture());
    a->answerAfter = answer;  // now on a share that does not answer
    b->folder = L"C:\\Three";
    for (int i = 0; i < 5; ++i) {
        CaptureFolders(manager);
        EXPECT_FALSE(WaitForShellCalls(200));
    }
    EXPECT_EQ(manager.folders, (Folders{L"C:\\One", L"C:\\Three"})) << "A keeps its entry";
    EXPECT_EQ(a->reads, 2) << "no second call while the first is outstanding";
    a->folder = L"C:\\Four";
    SetEvent(answer);
    EXPECT_TRUE(WaitForShellCalls(5000));
    EXPECT_EQ(manager.folders, (Folders{L"C:\\Four", L"C:\\Three"})) << "stored when it arrives";
    CloseHandle(answer);
}

TEST_F(ShellTest, OfAWindowsTabsTheShownOneIsReadAndNavigated) {
    // Windows 11 lists every tab with its window's handle; the background tabs' windows
    // are hidden. The shown tab is neither the first nor the last.
    FakeShellWindow* tabs[3];
    AddWindow({A});
    for (int i = 0; i < 3; ++i) {
        tabs[i] = Show(A, L"C:\\Tab" + std::to_wstring(i + 1));
        tabs[i]->tab = H(0xA01 + i);
        Sim().tabFrames[tabs[i]->tab] = A;
    }
    Sim().hiddenWindows = {H(0xA01), H(0xA03)};
    Show(B, L"C:\\Two");
    manager.managed = {A, B};
    EXPECT_TRUE(Capture());
    EXPECT_EQ(manager.folders, (Folders{L"C:\\Tab2", L"C:\\Two"}));

    manager.shownFolders.clear();  // as at the first command after start
    manager.folders = {L"C:\\Back"};
    Restore();
    EXPECT_EQ(tabs[1]->navigations, Folders{L"C:\\Back"});
    EXPECT_TRUE(tabs[0]->navigations.empty() && tabs[2]->navigations.empty());

    // A new window shows its frame before its tab: it is looked at again till the tab shows.
    tabs[1]->navigations.clear();
    manager.pendingRestores.clear();
    manager.restoredOnce = false;
    manager.folders = {L"C:\\Late"};
    Sim().hiddenWindows = {H(0xA01), H(0xA02), H(0xA03)};
    std::atomic<int> sleeps{0};
    Sim().onSleep = [&] {
        std::lock_guard<std::recursive_mutex> guard(Sim().mutex);
        if (++sleeps == 3) Sim().hiddenWindows = {H(0xA01), H(0xA03)};
    };
    Restore();
    Sim().onSleep = nullptr;
    EXPECT_EQ(tabs[1]->navigations, Folders{L"C:\\Late"});
    EXPECT_TRUE(tabs[0]->navigations.empty() && tabs[2]->navigations.empty());
}

TEST_F(ShellTest, EveryWindowKeepsItsOwnFolderAndOnlyTheOthersGetRememberedOnes) {
    // Windows 11's Win+E opens Home, which has no file-system path; a deep folder has more
    // than 260 characters; D's folder cannot be named at all.
    const std::wstring home = L"::{F874310E-B6B7-47DC-BC84-B9E6B38F5903}";
    const std::wstring deep = L"C:\\" + std::wstring(300, L'd');
    auto* a = Show(A, home);
    auto* b = Show(B, L"C:\\B");
    auto* c = Show(C, deep);
    auto* d = Show(D, L"");
    manager.managed = {A, B, C, D};
    manager.folders = {L"C:\\Gone", L"C:\\B", L"C:\\X", L"C:\\Y"};
    EXPECT_TRUE(Capture());
    EXPECT_EQ(manager.folders, (Folders{home, L"C:\\B", deep, L"C:\\Gone"}));

    // "4 Explorers" opened E: D and E, with no folder of their own, get the remembered
    // ones in list order; the others are not navigated at all.
    auto* e = Show(E, home);
    manager.managed.push_back(E);
    Restore();
    for (auto* own : {a, b, c}) EXPECT_TRUE(own->navigations.empty());
    EXPECT_EQ(d->navigations, Folders{L"C:\\Gone"});
    EXPECT_TRUE(e->navigations.empty()) << "no folder left for it";

    // Later commands read the windows as they run: one a browser opened on Downloads keeps
    // it; those on Home, where a new window starts, get the remembered folders.
    auto* f = Show(H(0x600), L"C:\\Downloads");
    manager.managed.push_back(H(0x600));
    manager.folders = {L"C:\\X", L"C:\\Y", L"C:\\Z"};
    Restore();
    EXPECT_EQ(a->navigations, Folders{L"C:\\X"});
    EXPECT_EQ(e->navigations, Folders{L"C:\\Y"});
    EXPECT_TRUE(f->navigations.empty() && b->navigations.empty());
}

TEST_F(ShellTest, CaptureKeepsEveryEntryOfALargeGroup) {
    for (HWND window : {A, B, C, D, E}) {
        Show(window, L"C:\\" + std::to_wstring(reinterpret_cast<std::uintptr_t>(window)));
    }
    manager.managed = {A, B, C, D, E};
    EXPECT_TRUE(Capture());
    EXPECT_EQ(manager.folders.size(), 5u);
}

TEST_F(ShellTest, CaptureTopsUpFromThePreviousList) {
    struct {
        Folders previous, captured, expected;
    } cases[] = {
        {{L"A", L"B", L"C", L"D"}, {L"B"}, {L"B", L"A", L"C", L"D"}},
        {{L"A", L"B", L"C"}, {L"X", L"Y"}, {L"X", L"Y", L"A", L"B"}},
        {{L"A"}, {L"X", L"Y"}, {L"X", L"Y"}},
        {{L"C:\\Data", L"D:\\Work"}, {L"c:\\data"}, {L"c:\\data", L"C:\\Data", L"D:\\Work"}},
    };
    for (const auto& c : cases) {
        fakes.clear();
        shell.entries.clear();
        manager.managed.clear();
        for (size_t i = 0; i < c.captured.size(); ++i) {
            manager.managed.push_back(H(0x100 * (i + 1)));
            Show(manager.managed.back(), c.captured[i]);
        }
        manager.folders = c.previous;
        EXPECT_TRUE(Capture());
        EXPECT_EQ(manager.folders, c.expected);
        ExpectNoOutstandingReferences();
    }
}

TEST_F(ShellTest, CaptureThatReadsNothingKeepsThePreviousList) {
    const FailAt steps[] = {FailAt::WebBrowserApp, FailAt::Handle,    FailAt::ServiceProvider,
                            FailAt::ShellBrowser,  FailAt::ShellView, FailAt::FolderView,
                            FailAt::PersistFolder, FailAt::CurFolder};
    for (FailAt step : steps) {
        fakes.clear();
        shell.entries.clear();
        Show(A, L"C:\\One", step);
        Show(B, L"", step);
        manager.managed = {A, B};
        manager.folders = {L"D:\\Kept"};
        EXPECT_FALSE(Capture()) << static_cast<int>(step);
        EXPECT_EQ(manager.folders, Folders{L"D:\\Kept"});
        ExpectNoOutstandingReferences();
    }
}

TEST_F(ShellTest, CaptureNeedsManagedWindowsAndTheShell) {
    Show(A, L"C:\\One");
    manager.folders = {L"D:\\Kept"};
    EXPECT_FALSE(Capture());
    EXPECT_EQ(shell.itemCalls, 0);

    manager.managed = {A};
    manager.shellWindows.Reset();
    EXPECT_FALSE(Capture());
    EXPECT_EQ(manager.folders, Folders{L"D:\\Kept"});
}

TEST_F(ShellTest, AfterExplorerRestartsTheCollectionIsMadeAgain) {
    Show(A, L"C:\\One");
    manager.managed = {A};
    FakeShellWindows fresh;
    Sim().shellWindowsToCreate = &fresh;
    // However the proxy into the ended Explorer process answers.
    for (HRESULT gone : {RPC_E_DISCONNECTED, HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE),
                         CO_E_OBJNOTCONNECTED, RPC_E_SERVER_DIED, RPC_E_SERVER_DIED_DNE}) {
        shell.answer = gone;
        manager.shellWindows = &shell;
        Capture();
        EXPECT_EQ(manager.shellWindows.Get(), &fresh) << std::hex << gone;
    }
    // Not made at all (Explorer still starting): the worker tries again every 5 s.
    Sim().shellWindowsToCreate = nullptr;
    ConnectShellWindows(manager);
    EXPECT_TRUE(manager.shellWindowsMissing);
    Sim().shellWindowsToCreate = &fresh;
    manager.lastConnectTick = Sim().now;
    Tick(manager);
    WaitForShellCalls(5000);
    EXPECT_FALSE(manager.shellWindows);
    Sim().now += 5000;
    Tick(manager);
    WaitForShellCalls(5000);
    EXPECT_EQ(manager.shellWindows.Get(), &fresh);
    manager.shellWindows = &shell;
    shell.answer = S_OK;
}
