#include "tests/unit/shell_test.h"

#include "platform/files.h"

#include <algorithm>

namespace {

const HWND A = H(0x100), B = H(0x200), C = H(0x300), D = H(0x400);

}  // namespace

TEST_F(ShellTest, RestorePairsWindowsAndEntriesByPosition) {
    auto* a = Show(A, L"C:\\Was");
    auto* b = Show(B, L"C:\\Was");
    manager.managed = {A, B};
    manager.folders = {L"C:\\One", L"C:\\Two", L"C:\\Three", L"C:\\Four"};
    Restore();
    EXPECT_EQ(a->navigations, Folders{L"C:\\One"});
    EXPECT_EQ(b->navigations, Folders{L"C:\\Two"});
    EXPECT_EQ(manager.folders.size(), 4u) << "unused entries stay";

    a->navigations.clear();
    b->navigations.clear();
    manager.folders = {L"C:\\Only"};
    manager.restoredOnce = false;  // the first command after a restart
    manager.pendingRestores.clear();
    Restore();
    EXPECT_EQ(a->navigations, Folders{L"C:\\Only"});
    EXPECT_TRUE(b->navigations.empty()) << "windows beyond the list keep their folders";
}

TEST_F(ShellTest, RestoreFailuresDoNotShiftThePairing) {
    auto* b = Show(B, L"C:\\Was");
    auto* c = Show(C, L"C:\\Was");
    auto* d = Show(D, L"C:\\Was", FailAt::ShellBrowser);
    manager.managed = {A, B, C, D};  // A is missing from the collection
    manager.folders = {L"C:\\One", L"C:\\Gone", L"C:\\Three", L"C:\\Four"};
    desktopFolder.missing = {L"C:\\Gone"};
    Restore();
    EXPECT_TRUE(b->navigations.empty()) << "an unparsable entry leaves the window where it is";
    EXPECT_EQ(c->navigations, Folders{L"C:\\Three"});
    EXPECT_TRUE(d->navigations.empty());
    EXPECT_EQ(d->folder, L"C:\\Was");

    // Only folders are browsed: a file, a web address or a shell command leaves it alone.
    desktopFolder.files = {L"C:\\File.txt", L"http://example.com/", L"shell:::{0}"};
    for (const std::wstring& name : desktopFolder.files) {
        manager.folders = {L"C:\\One", L"C:\\Two", name};
        manager.restoredOnce = false;
        manager.pendingRestores.clear();
        c->navigations.clear();
        b->folder = L"C:\\Was";
        Restore();
        EXPECT_TRUE(c->navigations.empty());
        EXPECT_EQ(b->navigations, Folders{L"C:\\Two"});
        b->navigations.clear();
    }
}

TEST_F(ShellTest, RestoreWithNoManagedWindowsOnlyTouchesTheDesktopFolder) {
    Show(A, L"C:\\Was");
    manager.folders = {L"C:\\One"};
    Restore();
    EXPECT_EQ(shell.itemCalls, 0);
    EXPECT_EQ(desktopFolder.refs, 1) << "requested and released";
}

TEST_F(ShellTest, RestoreLoadsTheListFileOnlyWhenTheListIsEmpty) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    Sim().roamingAppData = std::wstring(temp) + L"zephyrine-restore-test";
    const std::wstring folder = Sim().roamingAppData + L"\\Zephyrine";
    const std::wstring file = folder + L"\\lastFolders.txt";
    DeleteFileW(file.c_str());
    auto* a = Show(A, L"C:\\Was");
    Show(B, L"C:\\Was");
    manager.managed = {A, B, C, D};

    Restore();  // empty list and no file: nothing at all
    EXPECT_EQ(shell.itemCalls, 0);
    EXPECT_FALSE(platform::FileExists(folder));

    CreateDirectoryW(Sim().roamingAppData.c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(platform::ReplaceFileWithBytes(file, "C:\\From\r\nD:\\File\r\n"));
    Restore();
    EXPECT_EQ(manager.folders, (Folders{L"C:\\From", L"D:\\File"}));
    EXPECT_EQ(a->navigations, Folders{L"C:\\From"});

    // Without the shell the list is still loaded, and nothing is navigated.
    manager.folders.clear();
    manager.shellWindows.Reset();
    a->navigations.clear();
    Restore();
    EXPECT_EQ(manager.folders.size(), 2u);
    EXPECT_TRUE(a->navigations.empty());

    DeleteFileW(file.c_str());
    RemoveDirectoryW(folder.c_str());
    RemoveDirectoryW(Sim().roamingAppData.c_str());
}

TEST_F(ShellTest, WindowsThatAppearLateAreTiledAndSentToTheirFolders) {
    Show(AddExplorer(0x100), L"C:\\Was");
    // Explorer opens each window 1.5 s after its chord; the shell lists it from then on.
    Sim().winEDelayMs = 1500;
    Sim().onSleep = [&] {
        for (const SimWindow& window : Sim().windows) {
            const bool shown = std::any_of(fakes.begin(), fakes.end(), [&](const auto& f) {
                return f->handle == window.handle;
            });
            if (!shown) Show(window.handle, L"C:\\New");
        }
    };
    const Folders folders{L"C:\\One", L"C:\\Two", L"C:\\Three", L"C:\\Four"};
    manager.folders = folders;
    const auto before = Sim().now;
    manager.targetCount = 4;
    OpenExplorers(manager);
    EXPECT_LE(Sim().now - before, 3 * 400u + 3000u) << "the tray's thread is back within the bound";
    ASSERT_TRUE(WaitForShellCalls(5000));
    ASSERT_EQ(manager.managed.size(), 4u);
    EXPECT_EQ(Sim().placements.size(), 4u) << "all four tiled";
    for (size_t i = 0; i < 4; ++i) {
        for (const auto& fake : fakes) {
            if (fake->handle == manager.managed[i]) {
                EXPECT_EQ(fake->navigations, Folders{folders[i]});
            }
        }
    }
    Sim().onSleep = nullptr;
}

TEST_F(ShellTest, SurvivorsOfTwoExplorersKeepTheirFoldersAndTheClosedOnesAreRemembered) {
    const Folders folders{L"C:\\A", L"C:\\B", L"C:\\C", L"C:\\D"};
    std::vector<FakeShellWindow*> shown;
    for (size_t i = 0; i < 4; ++i) shown.push_back(Show(AddExplorer(0x100 * (i + 1)), folders[i]));
    manager.managed = {A, B, C, D};
    EXPECT_TRUE(Capture());
    manager.targetCount = 2;
    OpenExplorers(manager);  // keeps the two on top: the last opened
    ASSERT_TRUE(WaitForShellCalls(5000));
    EXPECT_EQ(manager.managed, (WindowList{C, D}));
    for (auto* window : shown) EXPECT_TRUE(window->navigations.empty());
    Capture();
    EXPECT_EQ(manager.folders, (Folders{L"C:\\C", L"C:\\D", L"C:\\A", L"C:\\B"}));
}
