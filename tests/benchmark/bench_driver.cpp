// Times a Zephyrine.exe from outside, as a user would see it, on the Wine desktop with the
// stand-in File Explorer (run by scripts/bench).
//
//   zephyrine_bench latency EXE TRIALS  prints "activation<TAB>p50<TAB>p95<TAB>missed" and
//                                       the same for "minimize", in milliseconds; missed
//                                       counts trials not seen done within 5 s
//   zephyrine_bench idle EXE SECONDS explorer|other
//                                       runs EXE with four Explorer windows and the chosen
//                                       window in front, prints "ready" once settled,
//                                       waits SECONDS and quits EXE
//   zephyrine_bench bare SECONDS        a bare message-loop program for SECONDS: what any
//                                       Wine program costs, to subtract
//   zephyrine_bench waker SECONDS       the bare program plus a thread that only waits on
//                                       an event for 50 ms, 20 times a second: the floor
//                                       of any poll at that pace
#include "tests/e2e/wine_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Percentiles {
    double p50, p95;
};

Percentiles Of(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    if (values.empty()) return {0, 0};
    const size_t p95 = static_cast<size_t>(std::ceil(0.95 * values.size())) - 1;
    return {values[values.size() / 2], values[std::min(p95, values.size() - 1)]};
}

double Now() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

size_t PositionOf(const std::vector<HWND>& windows, HWND window) {
    return std::find(windows.begin(), windows.end(), window) - windows.begin();
}

// The group is up: the chosen window above the others, every one above the other program.
bool GroupRaised(const std::vector<HWND>& group, HWND chosen, HWND other) {
    const auto windows = TopLevelWindows();
    const size_t top = PositionOf(windows, chosen);
    for (HWND window : group) {
        const size_t position = PositionOf(windows, window);
        if (IsIconic(window) || position < top || position > PositionOf(windows, other)) {
            return false;
        }
    }
    return true;
}

// Milliseconds until done, or a negative number when it was not done within 5 s.
double TimeUntil(const std::function<bool()>& done) {
    const double start = Now();
    while (!done()) {
        if (Now() - start > 5000) return -1;
        Sleep(1);
    }
    return Now() - start;
}

// Percentiles of the trials that ended, and how many did not.
void Report(const char* name, const std::vector<double>& trials) {
    std::vector<double> ended;
    for (double trial : trials) {
        if (trial >= 0) ended.push_back(trial);
    }
    const Percentiles p = Of(ended);
    std::printf("%s\t%.1f\t%.1f\t%zu\n", name, p.p50, p.p95, trials.size() - ended.size());
}

struct Scene {
    Process notepad = StartStandIn(L"notepad.exe", L"");
    Process explorer = StartStandIn(L"explorer.exe", L"--windows 4", 4);
    Process app;
    HWND other = nullptr;
    std::vector<HWND> group;
    HWND main = nullptr;

    explicit Scene(const std::wstring& exe) : app(Start(exe, L"")) {
        other = WindowsOf(notepad.id()).at(0);
        group = WindowsOf(explorer.id());
        WaitUntil([&] { return (main = FindWindowW(L"ZephyrineClass", nullptr)) != nullptr; });
        Sleep(1000);
    }
    ~Scene() {
        if (main != nullptr) ChooseTrayEntry(main, 6);
        app.Wait(5000);
    }
};

int Latency(const std::wstring& exe, int trials) {
    Scene scene(exe);
    std::vector<double> activation, minimize;
    for (int i = 0; i < trials; ++i) {
        SetForegroundWindow(scene.other);
        Sleep(400);  // noticed, and the quiet time over
        HWND chosen = scene.group[i % scene.group.size()];
        SetForegroundWindow(chosen);
        activation.push_back(
            TimeUntil([&] { return GroupRaised(scene.group, chosen, scene.other); }));
        Sleep(400);
        ShowWindow(chosen, SW_MINIMIZE);
        minimize.push_back(TimeUntil([&] {
            return std::all_of(scene.group.begin(), scene.group.end(),
                               [](HWND w) { return IsIconic(w) != FALSE; });
        }));
        Sleep(300);
        ShowWindow(chosen, SW_RESTORE);
        SetForegroundWindow(chosen);
        WaitUntil([&] {
            return std::none_of(scene.group.begin(), scene.group.end(),
                                [](HWND w) { return IsIconic(w) != FALSE; });
        });
    }
    Report("activation", activation);
    Report("minimize", minimize);
    return 0;
}

int Idle(const std::wstring& exe, int seconds, bool explorerInFront) {
    Scene scene(exe);
    SetForegroundWindow(explorerInFront ? scene.group[0] : scene.other);
    Sleep(1000);
    std::printf("ready\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return 0;
}

LRESULT CALLBACK BareProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI WaitLikeThePollStep(void*) {
    HANDLE never = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    for (;;) WaitForSingleObject(never, 50);
}

int Bare(int seconds, bool waker) {
    if (waker) CloseHandle(CreateThread(nullptr, 0, WaitLikeThePollStep, nullptr, 0, nullptr));
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = BareProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"BareClass";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(L"BareClass", L"bare", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
    SetTimer(window, 1, static_cast<UINT>(seconds) * 1000, nullptr);
    std::printf("ready\n");
    std::fflush(stdout);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"latency" && argc == 4) return Latency(argv[2], _wtoi(argv[3]));
    if (mode == L"idle" && argc == 5) {
        return Idle(argv[2], _wtoi(argv[3]), std::wcscmp(argv[4], L"explorer") == 0);
    }
    if (mode == L"bare" && argc == 3) return Bare(_wtoi(argv[2]), false);
    if (mode == L"waker" && argc == 3) return Bare(_wtoi(argv[2]), true);
    std::fprintf(stderr,
                 "usage: zephyrine_bench latency EXE TRIALS | idle EXE SECONDS explorer|other | "
                 "bare SECONDS | waker SECONDS\n");
    return 2;
}
