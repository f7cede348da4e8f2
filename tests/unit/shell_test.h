// A simulated desktop with the shell's window collection of COM fakes.
#pragma once

#include "folders/folders.h"
#include "tests/com_fakes.h"
#include "tests/unit/desktop_test.h"

#include <memory>

using Folders = std::vector<std::wstring>;

struct ShellTest : DesktopTest {
    FakeShellWindows shell;
    FakeDesktopFolder desktopFolder;
    std::vector<std::unique_ptr<FakeShellWindow>> fakes;

    void SetUp() override {
        DesktopTest::SetUp();
        manager.shellWindows = &shell;
        Sim().desktopFolder = &desktopFolder;
    }
    void TearDown() override {
        WaitForShellCalls(5000);
        manager.shellWindows.Reset();
        ExpectNoOutstandingReferences();
    }
    // Appends an entry of the shell's collection for window, showing folder.
    FakeShellWindow* Show(HWND window, const std::wstring& folder, FailAt fail = FailAt::Nothing) {
        fakes.push_back(std::make_unique<FakeShellWindow>(window, folder, fail));
        shell.entries.push_back(fakes.back().get());
        return fakes.back().get();
    }
    // Hands the capture over and waits for its answers; true when the list changed.
    bool Capture() {
        const Folders before = manager.folders;
        const bool handedOver = CaptureFolders(manager);
        EXPECT_TRUE(WaitForShellCalls(5000));
        return handedOver && manager.folders != before;
    }
    void Restore() {
        RestoreFolders(manager);
        EXPECT_TRUE(WaitForShellCalls(5000));
    }
    void ExpectNoOutstandingReferences() {
        EXPECT_EQ(shell.refs, manager.shellWindows ? 2 : 1);
        EXPECT_EQ(desktopFolder.refs, 1);
        for (const auto& fake : fakes) EXPECT_EQ(fake->refs, 1) << "window " << fake->handle;
        EXPECT_TRUE(Sim().idLists.empty()) << "every ID list is freed";
    }
};
