// Every unit test starts from an empty simulated desktop and a fresh manager.
#pragma once

#include "explorers/explorers.h"
#include "folders/folders.h"
#include "folders/shell_calls.h"
#include "tests/sim/sim_desktop.h"

#include <gtest/gtest.h>

#include <vector>

struct DesktopTest : ::testing::Test {
    ExplorerManager manager;
    void SetUp() override {
        ForgetExplorerProcesses();
        ResetSim();
    }
    // Calls into the shell still under way use the manager.
    ~DesktopTest() override {
        WaitForShellCalls(5000);
        WaitForListFile(5000);
    }
};

using WindowList = std::vector<HWND>;
