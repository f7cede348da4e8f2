// Calls into Explorer, made on a few long-lived threads of the multithreaded apartment so
// that neither the poll step nor the tray ever waits on them.
//
// A call into another process has no time-out of its own: a window on an unreachable
// network share answers after a minute, a hung shell extension never. Such a call holds
// its thread and nothing else. While calls that have run for long hold every thread,
// another thread takes the queued work, so the program holds a spare thread or two plus
// one thread per window with a call outstanding, however many captures follow.
#pragma once

#include <windows.h>

#include <functional>

// Whom a call goes to: a window of the shell's collection (its COM identity), or a task of
// the program's own (the address of a constant naming it). While a call to a key is queued
// or under way, no other is accepted for it.
using ShellCallKey = const void*;

// Queues the call. False, and the call (with all it holds) dropped at once, when a call to
// the same key is queued or under way.
bool PostShellCall(ShellCallKey key, std::function<void()> call);

// A window claimed while its folder is read or set: the same window gets no second call
// until the first has returned.
struct WindowClaim {
    HWND window = nullptr;
    explicit WindowClaim(HWND wanted);
    WindowClaim(const WindowClaim&) = delete;
    WindowClaim& operator=(const WindowClaim&) = delete;
    ~WindowClaim();
    explicit operator bool() const { return window != nullptr; }
};

// Lets another thread take queued calls that have waited behind slow ones. The poll step
// calls it: it costs one atomic read when nothing is queued.
void PumpShellCalls();

// Waits until no call is queued or under way, at most waitMs. True when all are done.
bool WaitForShellCalls(DWORD waitMs);

// From now on no call stores its result; calls under way run on alone. Called at Quit,
// with the manager's lock held, before the last save.
void StopShellCalls();
bool ShellCallsStopped();
