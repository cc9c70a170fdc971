#include "windows/launcher_call.h"

#include <stdlib.h>

static volatile LONG running_workers = 0;

// The workers the tool stopped waiting for, one at most per window and kind
// of call: a scan stuck in the launcher must not hold back the style change
// that shows its window again, nor the picture that stands in for the scan.
// Only the main thread reads or changes the table.
struct BlockedWorker {
    HWND window;
    int kind;
    HANDLE thread;
};
static BlockedWorker blocked[MAX_BLOCKED_WINDOWS];
static int blocked_count = 0;

CallWaiter call_waiter = await_on_worker;
CallWaiter call_again_waiter = await_worker_again;
CallLetGo call_let_go = let_go_of_worker;

LauncherCall* new_launcher_call(size_t size)
{
    if (size < sizeof(LauncherCall))
        return nullptr;
    return (LauncherCall*)calloc(1, size);
}

void free_launcher_call(LauncherCall* call)
{
    free(call);
}

// Whoever lets go of the record last frees it: normally the caller; the
// worker when the caller gave up first.
static int let_go(LauncherCall* call)
{
    return InterlockedDecrement(&call->holders) == 0;
}

// The last holder gives back what the record owns, then the record.
static void discard_and_free(LauncherCall* call)
{
    if (call->discard)
        call->discard(call);
    free_launcher_call(call);
}

static DWORD WINAPI run_worker(void* parameter)
{
    LauncherCall* call = (LauncherCall*)parameter;
    // UI Automation calls need COM; joining the multithreaded apartment costs
    // little when the process is in it already.
    HRESULT joined = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    call->work(call);
    if (let_go(call))
        discard_and_free(call);
    if (SUCCEEDED(joined))
        CoUninitialize();
    InterlockedDecrement(&running_workers);
    return 0;
}

static void forget_blocked(int index)
{
    CloseHandle(blocked[index].thread);
    blocked[index] = blocked[--blocked_count];
}

// Drops the workers that have returned since; the index of `window`'s
// blocked worker of `kind` (-1: of any kind), or -1.
static int blocked_worker_of(HWND window, int kind)
{
    int found = -1;
    for (int i = blocked_count - 1; i >= 0; i--) {
        if (WaitForSingleObject(blocked[i].thread, 0) == WAIT_OBJECT_0)
            forget_blocked(i);
    }
    for (int i = 0; i < blocked_count; i++)
        if (blocked[i].window == window && (kind < 0 || blocked[i].kind == kind))
            found = i;
    return found;
}

// 1 when `thread` ended before `limit_ms` (counted from `start`) passed and
// before Windows reported `window` hung. Bounded: each slice waits at most
// CALL_SLICE_MS.
static int thread_ended(HANDLE thread, HWND window, ULONGLONG start, uint32_t limit_ms)
{
    for (;;) {
        if (WaitForSingleObject(thread, CALL_SLICE_MS) == WAIT_OBJECT_0)
            return 1;
        // A thread that took no message for about 5 s: Windows calls it hung,
        // and a call into it may never come back.
        int hung = window && IsWindow(window) && IsHungAppWindow(window);
        if (hung || GetTickCount64() - start > limit_ms)
            return 0;
    }
}

int await_call(LauncherCall* call, HWND window, uint32_t limit_ms)
{
    return call_waiter(call, window, limit_ms);
}

int await_call_again(LauncherCall* call, HWND window, uint32_t limit_ms)
{
    return call_again_waiter(call, window, limit_ms);
}

void let_go_of_call(LauncherCall* call)
{
    call_let_go(call);
}

int await_on_worker(LauncherCall* call, HWND window, uint32_t limit_ms)
{
    // All this wait needs of the record is read now: once the caller lets
    // go, the worker may change or free it at any moment.
    const int kind = call->kind;
    const int keep = call->keep;
    call->holders = 2;
    call->worker = nullptr;
    // A window of this thread would take no message while this thread waits
    // for the worker: its calls run here, where nothing can hold them.
    if (window && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        call->work(call);
        return CALL_DONE;
    }
    ULONGLONG start = GetTickCount64();
    int earlier = blocked_worker_of(window, kind);
    if (earlier >= 0) {
        // The launcher still holds an earlier call: this one waits its turn.
        if (!thread_ended(blocked[earlier].thread, window, start, limit_ms)) {
            discard_and_free(call);
            return CALL_NOT_STARTED;
        }
        forget_blocked(earlier);
    }
    InterlockedIncrement(&running_workers);
    HANDLE worker = CreateThread(nullptr, 0, run_worker, call, 0, nullptr);
    if (!worker) {
        InterlockedDecrement(&running_workers);
        call->work(call);
        return CALL_DONE;
    }
    if (thread_ended(worker, window, start, limit_ms)) {
        CloseHandle(worker);
        return CALL_DONE;
    }
    HANDLE tracked = worker;
    if (keep) {
        // The caller keeps its share and the worker's handle, to wait again;
        // the table tracks the worker by a handle of its own.
        call->worker = worker;
        if (!DuplicateHandle(GetCurrentProcess(), worker, GetCurrentProcess(), &tracked, 0, FALSE,
                             DUPLICATE_SAME_ACCESS))
            tracked = nullptr;
    } else if (let_go(call)) {
        // The worker ended just now: the record is ours after all.
        CloseHandle(worker);
        return CALL_DONE;
    }
    if (tracked && blocked_count < MAX_BLOCKED_WINDOWS)
        blocked[blocked_count++] = BlockedWorker{window, kind, tracked};
    else if (tracked)
        CloseHandle(tracked);
    return CALL_OVERRAN;
}

int await_worker_again(LauncherCall* call, HWND window, uint32_t limit_ms)
{
    if (!call->worker)
        return InterlockedCompareExchange(&call->holders, 0, 0) == 1 ? CALL_DONE : CALL_OVERRAN;
    if (!thread_ended(call->worker, window, GetTickCount64(), limit_ms))
        return CALL_OVERRAN;
    // The worker let go before its thread ended: the record is the caller's.
    CloseHandle(call->worker);
    call->worker = nullptr;
    return CALL_DONE;
}

void let_go_of_worker(LauncherCall* call)
{
    HANDLE worker = call->worker;
    call->worker = nullptr;
    if (worker)
        CloseHandle(worker);
    if (let_go(call))
        discard_and_free(call);
}

long calls_left_running()
{
    return InterlockedCompareExchange(&running_workers, 0, 0);
}

int call_blocked_in(HWND window)
{
    return blocked_worker_of(window, -1) >= 0;
}
