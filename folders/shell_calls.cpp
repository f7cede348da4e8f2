#include "folders/shell_calls.h"

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>

namespace {

// Queued calls that have seen no call start or end for this long get another thread: the
// ones that hold every thread are stuck in a window that does not answer.
constexpr ULONGLONG kSlowCallMs = 100;
// Idle threads kept for the next calls; a thread that finds more idle ones ends.
constexpr size_t kSpareThreads = 1;

struct QueuedCall {
    ShellCallKey key;
    std::function<void()> call;
};

// Lives as long as the process: a thread still in a call after Quit finds it intact.
struct ShellCalls {
    std::mutex mutex;
    std::condition_variable queued;   // idle threads wait here
    std::condition_variable settled;  // signalled when nothing is queued or under way
    std::deque<QueuedCall> queue;
    std::set<ShellCallKey> keys;  // queued or under way
    std::set<HWND> claimed;
    size_t threads = 0;
    size_t idle = 0;
    size_t running = 0;
    ULONGLONG lastProgress = 0;      // when a call last started or ended
    std::atomic<size_t> waiting{0};  // the queue's length, read without the mutex
    std::atomic<bool> stopped{false};
};

ShellCalls& Calls() {
    static ShellCalls* const calls = new ShellCalls;
    return *calls;
}

bool Settled(const ShellCalls& calls) {
    return calls.queue.empty() && calls.running == 0;
}

DWORD WINAPI ShellCallThread(void*) {
    // Proxies into Explorer are used and released in this thread's own apartment.
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ShellCalls& calls = Calls();
    std::unique_lock<std::mutex> guard(calls.mutex);
    for (;;) {
        ++calls.idle;
        calls.queued.wait(guard, [&] { return !calls.queue.empty(); });
        --calls.idle;
        QueuedCall next = std::move(calls.queue.front());
        calls.queue.pop_front();
        calls.waiting = calls.queue.size();
        ++calls.running;
        calls.lastProgress = GetTickCount64();
        guard.unlock();
        next.call();
        next.call = nullptr;  // what it holds goes before anyone hears that it is done
        guard.lock();
        --calls.running;
        calls.keys.erase(next.key);
        calls.lastProgress = GetTickCount64();
        if (Settled(calls)) calls.settled.notify_all();
        if (calls.queue.empty() && calls.idle >= kSpareThreads) break;
    }
    --calls.threads;
    guard.unlock();
    if (SUCCEEDED(apartment)) CoUninitialize();
    return 0;
}

// With the mutex held.
void StartThread(ShellCalls& calls) {
    ++calls.threads;
    HANDLE thread = CreateThread(nullptr, 0, ShellCallThread, nullptr, 0, nullptr);
    if (thread == nullptr) {
        --calls.threads;  // the calls wait for a later chance
        return;
    }
    // A new thread counts as progress: the next one follows only if it too gets stuck.
    calls.lastProgress = GetTickCount64();
    CloseHandle(thread);
}

// With the mutex held.
void StartThreadIfStalled(ShellCalls& calls) {
    if (calls.queue.empty() || calls.idle != 0) return;
    if (calls.threads == 0 || GetTickCount64() - calls.lastProgress >= kSlowCallMs) {
        StartThread(calls);
    }
}

}  // namespace

bool PostShellCall(ShellCallKey key, std::function<void()> call) {
    ShellCalls& calls = Calls();
    {
        std::lock_guard<std::mutex> guard(calls.mutex);
        if (calls.keys.insert(key).second) {
            calls.queue.push_back({key, std::move(call)});
            calls.waiting = calls.queue.size();
            if (calls.idle != 0) {
                calls.queued.notify_one();
            } else {
                StartThreadIfStalled(calls);
            }
            return true;
        }
    }
    call = nullptr;  // released outside the mutex: a release may call into Explorer
    return false;
}

WindowClaim::WindowClaim(HWND wanted) {
    ShellCalls& calls = Calls();
    std::lock_guard<std::mutex> guard(calls.mutex);
    if (calls.claimed.insert(wanted).second) window = wanted;
}

WindowClaim::~WindowClaim() {
    if (window == nullptr) return;
    ShellCalls& calls = Calls();
    std::lock_guard<std::mutex> guard(calls.mutex);
    calls.claimed.erase(window);
}

void PumpShellCalls() {
    ShellCalls& calls = Calls();
    if (calls.waiting.load(std::memory_order_relaxed) == 0) return;
    std::lock_guard<std::mutex> guard(calls.mutex);
    StartThreadIfStalled(calls);
}

bool WaitForShellCalls(DWORD waitMs) {
    ShellCalls& calls = Calls();
    const ULONGLONG start = GetTickCount64();
    std::unique_lock<std::mutex> guard(calls.mutex);
    while (!Settled(calls)) {
        const ULONGLONG waited = GetTickCount64() - start;
        if (waited >= waitMs) return false;
        const ULONGLONG slice = std::min<ULONGLONG>(waitMs - waited, 25);
        calls.settled.wait_for(guard, std::chrono::milliseconds(slice));
        StartThreadIfStalled(calls);
    }
    return true;
}

void StopShellCalls() {
    Calls().stopped = true;
}

bool ShellCallsStopped() {
    return Calls().stopped;
}
