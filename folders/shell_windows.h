// Walking the shell's collection of open folder windows, and calling into the windows
// without being held up by one that does not answer.
#pragma once

#include "explorers/manager.h"

#include <windows.h>
#include <exdisp.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

using Microsoft::WRL::ComPtr;

// The window at index of the collection. Returns S_OK when a window stands there, with
// browser set only when the window's IWebBrowserApp and handle could be read; otherwise
// what the collection answered: S_FALSE at its end, or its failure.
HRESULT ShellWindowAt(IShellWindows* shellWindows, long index, ComPtr<IDispatch>& dispatch,
                      ComPtr<IWebBrowserApp>& browser, HWND& window);

// The top-level shell browser behind a window of the collection.
bool ShellBrowserOf(IWebBrowserApp* browser, ComPtr<IServiceProvider>& provider,
                    ComPtr<IShellBrowser>& shellBrowser);

// How long a capture or a restore waits for the Explorer windows to answer.
constexpr DWORD kShellCallWaitMs = 1500;

// The collection lives in the Explorer process that created it: after Explorer restarts,
// every call on it fails with one of these.
bool IsShellGone(HRESULT result);
// Creates the collection afresh when the manager still holds the stale one (or none).
void ReconnectShellWindows(ExplorerManager& manager, IShellWindows* stale);
// Creates the collection afresh: at start, and when Explorer has restarted.
void ConnectShellWindows(ExplorerManager& manager);

// Runs the task on a new thread, which deletes it; false (and the task deleted) when no
// thread could be made.
bool RunOnNewThread(std::function<void()>* task);

// Runs every call on a thread of its own and waits until all have returned or waitMs has
// passed. A call into another process has no time-out of its own (a folder on an
// unreachable network share answers after a minute); one that has not returned in time
// runs on alone, holding what it needs, and its result is dropped.
template <typename Result>
std::vector<std::optional<Result>> CallEachWithin(
    std::vector<std::function<std::optional<Result>()>> calls, DWORD waitMs) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable ended;
        size_t running = 0;
        std::vector<std::optional<Result>> results;
    };
    auto shared = std::make_shared<Shared>();
    shared->running = calls.size();
    shared->results.resize(calls.size());
    const auto finish = [](Shared& state, size_t i, std::optional<Result> result) {
        std::lock_guard<std::mutex> guard(state.mutex);
        state.results[i] = std::move(result);
        --state.running;
        state.ended.notify_all();
    };
    for (size_t i = 0; i < calls.size(); ++i) {
        auto* run =
            new std::function<void()>([shared, i, finish, call = std::move(calls[i])]() mutable {
                std::optional<Result> result = call();
                call = nullptr;  // the references it holds go before the caller hears of it
                finish(*shared, i, std::move(result));
            });
        if (!RunOnNewThread(run)) finish(*shared, i, std::nullopt);  // no thread to be had
    }
    std::unique_lock<std::mutex> guard(shared->mutex);
    shared->ended.wait_for(guard, std::chrono::milliseconds(waitMs),
                           [&] { return shared->running == 0; });
    return shared->results;
}
