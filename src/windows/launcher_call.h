// Calls into the launcher that may never return. A launcher whose thread has
// stopped blocks a window call or a UI Automation call for good on some
// clients (Wine's has no time-out at all), so such calls run on a worker
// thread that the tool stops waiting for.
#pragma once

#include <windows.h>
#include <stdint.h>

// The head of a call record. The caller allocates the whole record with
// new_launcher_call and fills it in; `work` runs on the worker.
struct LauncherCall {
    void (*work)(LauncherCall* call);
    // Frees whatever the record still owns (and not the record itself) when
    // the worker ends after the caller stopped waiting.
    void (*discard)(LauncherCall* call);
    volatile LONG holders;  // the caller and the worker, while both hold it
};

enum CallResult { CALL_OVERRAN = 0, CALL_DONE = 1 };

enum {
    CALL_SLICE_MS = 100,  // how often a wait looks at the window
};

// A zeroed record of `size` bytes (at least a LauncherCall), or null.
LauncherCall* new_launcher_call(size_t size);
// Frees a record the caller owns again: after CALL_DONE.
void free_launcher_call(LauncherCall* call);

// The one place that decides to wait for the launcher or give up on it. Runs
// call->work on a worker and waits until it ends (CALL_DONE: the record is
// the caller's again, to read and free), `limit_ms` passes, or Windows
// reports `window` hung (both CALL_OVERRAN: the record now belongs to the
// worker, which discards and frees it if the call ever ends; the caller must
// not touch it). `window` may be null. For a window of the calling thread,
// or without a worker, the call runs here.
int await_call(LauncherCall* call, HWND window, uint32_t limit_ms);

// Workers still running: calls the tool gave up on, blocked in the launcher.
long calls_left_running();
