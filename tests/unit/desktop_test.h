// Every unit test starts from an empty simulated desktop and a fresh manager.
#pragma once

#include "explorers/explorers.h"
#include "tests/sim/sim_desktop.h"

#include <gtest/gtest.h>

#include <vector>

struct DesktopTest : ::testing::Test {
    ExplorerManager manager;
    void SetUp() override {
        ForgetExplorerProcesses();
        ResetSim();
    }
};

using WindowList = std::vector<HWND>;
