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

    // An unread window before a read one gets the next folder that no window shows.
    a->navigations.clear();
    manager.pendingRestores.clear();
    manager.restoredOnce = false;
    manager.shownFolders = {{B, L"C:\\Two"}};
    manager.folders = {L"C:\\Two", L"C:\\One"};
    Restore();
    EXPECT_EQ(a->navigations, Folders{L"C:\\One"});
}

TEST_F(ShellTest, ARestoreThatDidNotLandKeepsTheWindowsFolderAndIsTriedAgain) {
    const std::wstring home = L"::{F874310E-B6B7-47DC-BC84-B9E6B38F5903}";
    const std::wstring share = L"\\\\nas\\photos";
    struct Cause {
        const char* name;
        std::function<void(FakeShellWindow*, bool)> set;
    };
    const Cause causes[] = {
        {"folder missing", [&](auto*, bool on) { desktopFolder.missing = {on ? share : L""}; }},
        {"no shell browser",
         [](auto* a, bool on) { a->failAt = on ? FailAt::ShellBrowser : FailAt::Nothing; }},
        {"hung window", [](auto*, bool on) { Sim().Find(A)->hung = on; }},
        {"no shown tab", [](auto* a, bool on) { Sim().hiddenWindows = {on ? a->tab : nullptr}; }},
    };
    for (const Cause& cause : causes) {
        SCOPED_TRACE(cause.name);
        fakes.clear();
        shell.entries.clear();
        Sim().windows.clear();
        AddWindow({A});
        auto* a = Show(A, home);  // where a new window starts
        a->tab = H(0xA01);
        Sim().tabFrames[a->tab] = A;
        manager.managed = {A};
        manager.folders = {share};
        manager.shownFolders.clear();
        manager.restoredOnce = false;
        cause.set(a, true);
        Restore();  // "4 Explorers" at start: the window stays on Home
        cause.set(a, false);
        EXPECT_TRUE(a->navigations.empty());
        Capture();
        EXPECT_EQ(manager.folders, Folders{share}) << "kept for the window, not Home";
        Restore();  // the next command
        EXPECT_EQ(a->navigations, Folders{share}) << "tried again";
    }
}

TEST_F(ShellTest, ALateRestoreNeverLandsOverTheUser) {
    auto* a = Show(A, L"::{F874310E-B6B7-47DC-BC84-B9E6B38F5903}");
    manager.managed = {A};
    manager.folders = {L"\\\\nas\\photos"};
    // The share wakes up slowly; meanwhile the user has started working in the window.
    desktopFolder.onParse = [&] { a->folder = L"C:\\Work"; };
    Restore();
    EXPECT_TRUE(a->navigations.empty());

    // Or the parse alone takes 5 s: given up, and tried again at the next command.
    a->folder = L"::{F874310E-B6B7-47DC-BC84-B9E6B38F5903}";
    manager.restoredOnce = false;
    manager.pendingRestores.clear();
    desktopFolder.onParse = [] { Sim().now += 5000; };
    Restore();
    EXPECT_TRUE(a->navigations.empty());
    desktopFolder.onParse = nullptr;
    Restore();
    EXPECT_EQ(a->navigations, Folders{L"\\\\nas\\photos"});
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
