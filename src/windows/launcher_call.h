// Calls into the launcher that may never return. A launcher whose thread has
// stopped blocks a window call or a UI Automation call for good on some
// clients (Wine's has no time-out at all), so such calls run on a worker
// thread that the tool stops waiting for.
#pragma once

#include <windows.h>
#include <stdint.h>

// What a call asks of the launcher: a test that decides calls' costs on
// virtual time tells them apart by it.
enum LauncherCallKind {
    CALL_WINDOW = 0,  // a style change, showing, the foreground
    CALL_PICTURE,     // PrintWindow
    CALL_UI_SCAN,
    CALL_UI_ACTION,   // Invoke, Select, the legacy default action
    CALL_UI_RELEASE,  // letting go of elements
    CALL_UI_DUMP,     // dump's tree and scan
};

// The head of a call record. The caller allocates the whole record with
// new_launcher_call and fills it in; `work` runs on the worker.
struct LauncherCall {
    void (*work)(LauncherCall* call);
    // Frees whatever the record still owns (and not the record itself) when
    // the worker ends after the caller stopped waiting, or when the call was
    // never started. It may run on the caller's thread (a call not started):
    // nothing in it may wait for the launcher.
    void (*discard)(LauncherCall* call);
    int kind;               // a LauncherCallKind
    // Set by the caller: an overrun leaves it a share of the record, so that
    // it can wait for the call again (await_call_again) and read its result,
    // until it lets go (let_go_of_call). An action that overran may still
    // land: its caller must know whether it did.
    int keep;
    volatile LONG holders;  // the caller and the worker, while both hold it
    HANDLE worker;          // a kept call's worker thread, while it is kept
};

// CALL_NOT_STARTED: the launcher still held an earlier call of the same kind,
// so this one was never begun; its record is discarded and freed, kept or not.
enum CallResult { CALL_OVERRAN = 0, CALL_DONE = 1, CALL_NOT_STARTED = 2 };

enum {
    CALL_SLICE_MS = 100,  // how often a wait looks at the window
    // Blocked workers tracked at once (a window and kind each); past this a
    // blocked worker is no longer tracked (its window's calls start anew).
    MAX_BLOCKED_WINDOWS = 32,
};

// A zeroed record of `size` bytes (at least a LauncherCall), or null.
LauncherCall* new_launcher_call(size_t size);
// Frees a record the caller owns again: after CALL_DONE.
void free_launcher_call(LauncherCall* call);

// The one place that decides to wait for the launcher or give up on it. Runs
// call->work and waits until it ends (CALL_DONE: the record is the caller's
// again, to read and free), `limit_ms` passes, or Windows reports `window`
// hung (both CALL_OVERRAN: the record now belongs to the worker, which
// discards and frees it if the call ever ends, or was discarded and freed
// already; the caller must not touch it, unless it set `keep`: then it holds
// a share until let_go_of_call). `window` may be null. Called from the tool's
// main thread only.
//
// At most one worker per window and kind of call is left blocked in the
// launcher: while one is, a new call of that kind for that window first
// waits for it, within its own limit, and is not started when it is still
// blocked then. So a launcher that stopped costs at most a thread (and what
// its call holds) per kind, however long the run.
int await_call(LauncherCall* call, HWND window, uint32_t limit_ms);

// A kept call that overran, waited for once more: CALL_DONE when it ended
// within `limit_ms` (the record is the caller's alone: read it, then
// free_launcher_call), else CALL_OVERRAN (the caller still holds its share).
int await_call_again(LauncherCall* call, HWND window, uint32_t limit_ms);
// The caller gives up its share of a kept call that overran: the worker
// discards and frees the record when it ends (at once when it has ended).
void let_go_of_call(LauncherCall* call);

// How the product waits: on a worker thread (for a window of the calling
// thread, or without a worker, the call runs here). Tests swap the three to
// decide a call's cost and its overrun on virtual time.
typedef int (*CallWaiter)(LauncherCall* call, HWND window, uint32_t limit_ms);
typedef void (*CallLetGo)(LauncherCall* call);
int await_on_worker(LauncherCall* call, HWND window, uint32_t limit_ms);
int await_worker_again(LauncherCall* call, HWND window, uint32_t limit_ms);
void let_go_of_worker(LauncherCall* call);
extern CallWaiter call_waiter;
extern CallWaiter call_again_waiter;
extern CallLetGo call_let_go;

// Workers still running: calls the tool gave up on, blocked in the launcher.
long calls_left_running();
// 1 while a worker the tool gave up on is still blocked in `window` (any kind).
int call_blocked_in(HWND window);
