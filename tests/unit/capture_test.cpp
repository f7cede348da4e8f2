#include "tests/unit/shell_test.h"

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
    a->answerAfter = answer;  // a folder on a share that does not answer
    Show(B, L"C:\\Two");
    Show(X, L"C:\\Other");
    manager.managed = {A, B};
    for (int i = 0; i < 5; ++i) {
        CaptureFolders(manager);
        EXPECT_FALSE(WaitForShellCalls(200));
    }
    EXPECT_EQ(manager.folders, Folders{L"C:\\Two"});
    EXPECT_EQ(a->reads, 1) << "no second call while the first is outstanding";
    SetEvent(answer);
    EXPECT_TRUE(WaitForShellCalls(5000));
    EXPECT_EQ(manager.folders, (Folders{L"C:\\One", L"C:\\Two"})) << "stored when it arrives";
    CloseHandle(answer);
}

TEST_F(ShellTest, CaptureCountsAWindowWithSeveralTabsOnce) {
    Show(A, L"C:\\Tab1");
    Show(A, L"C:\\Tab2");
    Show(A, L"C:\\Tab3");
    Show(B, L"C:\\Two");
    Show(C, L"C:\\Three");
    manager.managed = {A, B, C};
    EXPECT_TRUE(Capture());
    EXPECT_EQ(manager.folders, (Folders{L"C:\\Tab3", L"C:\\Two", L"C:\\Three"}));
}

TEST_F(ShellTest, CaptureSkipsFoldersWithoutAFileSystemPath) {
    Show(A, L"C:\\One");
    Show(B, L"");
    Show(C, L"C:\\Three");
    Show(D, L"C:\\One");
    manager.managed = {A, B, C, D};
    EXPECT_TRUE(Capture());
    EXPECT_EQ(manager.folders, (Folders{L"C:\\One", L"C:\\Three", L"C:\\One"}));
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
