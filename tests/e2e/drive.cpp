// Drives a running Zephyrine the way a user does, for the headless demo of scripts/run.
//
//   zephyrine_drive menu N       picks entry N of the tray menu (0 is "4 Explorers")
//   zephyrine_drive explorers N  waits until N stand-in Explorer windows are open
//   zephyrine_drive open-menu    opens the tray menu, leaves it open and prints the
//                                screen area around it as "WIDTHxHEIGHT+X+Y"
//   zephyrine_drive close-menu   closes the open tray menu with Esc
#include "tests/e2e/wine_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

HWND ZephyrineWindow() {
    HWND main = nullptr;
    if (!WaitUntil([&] { return (main = FindWindowW(L"ZephyrineClass", nullptr)) != nullptr; },
                   15000)) {
        std::fprintf(stderr, "Zephyrine is not running\n");
    }
    return main;
}

HWND OpenMenuOf(HWND main) {
    DWORD processId = 0;
    GetWindowThreadProcessId(main, &processId);
    HWND menu = nullptr;
    WaitUntil([&] { return (menu = FindWindowOf(processId, L"#32768")) != nullptr; });
    return menu;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc >= 2 ? argv[1] : L"";
    const int number = argc >= 3 ? _wtoi(argv[2]) : 0;
    if (command == L"explorers") {
        return WaitUntil(
                   [&] {
                       return WindowsOf(0, L"CabinetWClass").size() == static_cast<size_t>(number);
                   },
                   15000)
                   ? 0
                   : 1;
    }
    HWND main = ZephyrineWindow();
    if (main == nullptr) return 1;
    if (command == L"menu") {
        Sleep(500);  // let it finish starting up
        return ChooseTrayEntry(main, number) ? 0 : 1;
    }
    if (command == L"open-menu") {
        PostMessageW(main, WM_USER + 2, 1, WM_RBUTTONUP);
        HWND menu = OpenMenuOf(main);
        if (menu == nullptr) return 1;
        Sleep(300);  // drawn
        const RECT rect = RectOf(menu);
        const int margin = 24;
        const int x = std::max(0, static_cast<int>(rect.left) - margin);
        const int y = std::max(0, static_cast<int>(rect.top) - margin);
        std::printf("%ldx%ld+%d+%d\n", rect.right + margin - x, rect.bottom + margin - y, x, y);
        return 0;
    }
    if (command == L"close-menu") {
        HWND menu = OpenMenuOf(main);
        if (menu != nullptr) PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        return menu != nullptr ? 0 : 1;
    }
    std::fprintf(stderr, "usage: zephyrine_drive menu N | explorers N | open-menu | close-menu\n");
    return 2;
}
