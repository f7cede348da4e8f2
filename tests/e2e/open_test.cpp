// Opening a chosen number of windows on the real (Wine) desktop: the stand-in explorer
// answers the synthesized Win+E chord, and the stand-in shell-window collection lets
// the remembered folders be navigated back (a stand-in window's title is its folder).
#include "explorers/explorers.h"
#include "folders/folders.h"
#include "folders/shell_calls.h"
#include "tests/e2e/wine_support.h"

#include <gtest/gtest.h>

#include <objbase.h>

namespace {

struct ComApartment {
    ComApartment() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~ComApartment() { CoUninitialize(); }
};

bool HasRect(HWND window, const Tile& tile) {
    const RECT rect = RectOf(window);
    return rect.left == tile.x && rect.top == tile.y && rect.right - rect.left == tile.cx &&
           rect.bottom - rect.top == tile.cy;
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

void ExpectTiled(const std::vector<HWND>& group, size_t tiles) {
    const RECT work = WorkAreaOf(group.at(0));
    const auto expected = ComputeTiles({work.left, work.top, work.right, work.bottom}, tiles);
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(WaitUntil([&] { return HasRect(group[i], expected[i]); })) << "tile " << i;
    }
}

}  // namespace

TEST(RealDesktop, OpeningAChosenNumberOpensClosesTilesAndRestoresFolders) {
    ASSERT_TRUE(RegisterStandInShellWindows());
    ComApartment apartment;
    Process explorer = StartStandIn(L"explorer.exe", L"--title C:\\windows");
    ExplorerManager manager;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL,
                                              IID_PPV_ARGS(&manager.shellWindows)));
    const std::vector<std::wstring> folders{L"C:\\windows\\system32", L"C:\\users",
                                            L"C:\\ProgramData", L"C:\\windows"};
    manager.folders = folders;

    manager.targetCount = 4;
    OpenExplorers(manager);
    ASSERT_TRUE(WaitUntil([&] { return WindowsOf(explorer.id()).size() == 4; }))
        << "three windows opened by Win+E";
    ASSERT_EQ(manager.managed.size(), 4u);
    ExpectTiled(manager.managed, 4);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(WaitUntil([&] { return SameFolder(TitleOf(manager.managed[i]), folders[i]); }))
            << "window " << i << " shows "
            << std::string(TitleOf(manager.managed[i]).begin(), TitleOf(manager.managed[i]).end());
    }

    // What the windows show now is what a capture reads back.
    manager.folders.clear();
    ASSERT_TRUE(CaptureFolders(manager));
    ASSERT_TRUE(WaitForShellCalls(5000));
    ASSERT_EQ(manager.folders.size(), 4u);
    for (size_t i = 0; i < 4; ++i) EXPECT_TRUE(SameFolder(manager.folders[i], folders[i]));

    // A fifth window, then "2 Explorers": two stay, as halves.
    InjectKey(VK_LWIN, false);
    InjectKey('E', false);
    InjectKey('E', true);
    InjectKey(VK_LWIN, true);
    ASSERT_TRUE(WaitUntil([&] { return WindowsOf(explorer.id()).size() == 5; }));
    manager.targetCount = 2;
    OpenExplorers(manager);
    EXPECT_TRUE(WaitUntil([&] { return WindowsOf(explorer.id()).size() == 2; }));
    ASSERT_EQ(manager.managed.size(), 2u);
    ExpectTiled(manager.managed, 2);
    WaitForShellCalls(5000);
    manager.shellWindows.Reset();
}

TEST(RealDesktop, LateAndMaximizedWindowsAreTiledAsNormalWindows) {
    ASSERT_TRUE(RegisterStandInShellWindows());
    ComApartment apartment;
    // The window Win+E opens comes 1.5 s late; the one already there is maximized.
    Process explorer =
        StartStandIn(L"explorer.exe", L"--maximized 1 --late 1500 --title C:\\windows");
    ASSERT_TRUE(WaitUntil([&] { return IsZoomed(WindowsOf(explorer.id()).at(0)) != FALSE; }));
    ExplorerManager manager;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL,
                                              IID_PPV_ARGS(&manager.shellWindows)));
    manager.folders = {L"C:\\windows", L"C:\\users"};

    manager.targetCount = 2;
    OpenExplorers(manager);
    ASSERT_EQ(manager.managed.size(), 2u) << "the late window was waited for";
    ExpectTiled(manager.managed, 2);
    for (HWND window : manager.managed) EXPECT_FALSE(IsZoomed(window));
    EXPECT_TRUE(WaitUntil([&] { return SameFolder(TitleOf(manager.managed[1]), L"C:\\users"); }));

    // A list that names a file (anyone may write the list) opens nothing.
    manager.folders = {L"C:\\windows\\win.ini", L"C:\\windows\\win.ini"};
    RestoreFolders(manager);
    EXPECT_TRUE(WaitForShellCalls(5000));
    EXPECT_TRUE(SameFolder(TitleOf(manager.managed[0]), L"C:\\windows"));
    EXPECT_TRUE(SameFolder(TitleOf(manager.managed[1]), L"C:\\users"));
    manager.shellWindows.Reset();
}
