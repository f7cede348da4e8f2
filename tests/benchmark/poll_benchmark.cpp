// Cost of the poll step on simulated desktops of 10, 100 and 1,000 top-level windows,
// four of them Explorer windows: an idle step, a step that activates the group, and a
// step while one Explorer window follows another. Prints time per step (including the
// simulated desktop's own bookkeeping), processes opened and enumerations per step.
#include "explorers/explorers.h"
#include "tests/sim/sim_desktop.h"

#include <cstdio>
#include <functional>

namespace {

double Seconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Desktop {
    HWND other;
    std::vector<HWND> explorers;
};

Desktop Populate(int windows) {
    ResetSim();
    Desktop desktop;
    for (int i = 0; i < windows - 4; ++i) {
        SimWindow window;
        window.className = i % 3 ? "Chrome_WidgetWin_1" : "Notepad";
        window.processName = i % 3 ? "chrome.exe" : "notepad.exe";
        window.processId = 1000 + i;
        desktop.other = AddWindow(window);
    }
    for (int i = 0; i < 4; ++i) desktop.explorers.push_back(AddExplorer());
    return desktop;
}

void Measure(const char* name, int windows, const std::function<void(ExplorerManager&)>& prepare) {
    const Desktop desktop = Populate(windows);
    ExplorerManager manager;
    manager.explorers = desktop.explorers;
    manager.managed = desktop.explorers;
    const int steps = windows >= 1000 ? 200 : 2000;
    double spent = 0;
    int opened = 0, enumerations = 0;
    for (int i = 0; i < steps; ++i) {
        Sim().foreground = desktop.other;
        manager.lastForeground = desktop.other;
        manager.lastActionTick = 0;
        prepare(manager);
        Sim().ClearRecord();
        const double start = Seconds();
        Tick(manager);
        spent += Seconds() - start;
        opened += Sim().processesOpened;
        enumerations += Sim().enumerations;
    }
    std::printf(
        "%-22s %5d windows: %9.2f us/step, %6.2f processes opened/step, %4.2f enumerations/step\n",
        name, windows, spent / steps * 1e6, static_cast<double>(opened) / steps,
        static_cast<double>(enumerations) / steps);
}

}  // namespace

int main() {
    for (int windows : {10, 100, 1000}) {
        Measure("idle", windows, [](ExplorerManager&) {});
        Measure("activation (row 6)", windows,
                [](ExplorerManager& manager) { Sim().foreground = manager.explorers[1]; });
        Measure("explorer to explorer", windows, [](ExplorerManager& manager) {
            manager.lastForeground = manager.explorers[0];
            Sim().foreground = manager.explorers[1];
        });
    }
    return 0;
}
