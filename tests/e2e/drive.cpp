// Drives a running Zephyrine the way a user does, for the headless demo of scripts/run.
//
//   zephyrine_drive menu N       picks entry N of the tray menu (0 is "4 Explorers")
//   zephyrine_drive explorers N  waits until N stand-in Explorer windows are open
#include "tests/e2e/wine_support.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: zephyrine_drive menu N | explorers N\n");
        return 2;
    }
    const int number = _wtoi(argv[2]);
    if (std::wcscmp(argv[1], L"explorers") == 0) {
        return WaitUntil(
                   [&] {
                       return WindowsOf(0, L"CabinetWClass").size() == static_cast<size_t>(number);
                   },
                   15000)
                   ? 0
                   : 1;
    }
    HWND main = nullptr;
    if (!WaitUntil([&] { return (main = FindWindowW(L"ZephyrineClass", nullptr)) != nullptr; },
                   15000)) {
        std::fprintf(stderr, "Zephyrine is not running\n");
        return 1;
    }
    Sleep(500);  // let it finish starting up
    return ChooseTrayEntry(main, number) ? 0 : 1;
}
