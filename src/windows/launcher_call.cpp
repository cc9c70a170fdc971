#include "windows/launcher_call.h"

#include <stdlib.h>

static volatile LONG running_workers = 0;

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

static DWORD WINAPI run_worker(void* parameter)
{
    LauncherCall* call = (LauncherCall*)parameter;
    // UI Automation calls need COM; joining the multithreaded apartment costs
    // little when the process is in it already.
    HRESULT joined = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    call->work(call);
    if (let_go(call)) {
        if (call->discard)
            call->discard(call);
        free_launcher_call(call);
    }
    if (SUCCEEDED(joined))
        CoUninitialize();
    InterlockedDecrement(&running_workers);
    return 0;
}

int await_call(LauncherCall* call, HWND window, uint32_t limit_ms)
{
    call->holders = 2;
    // A window of this thread would take no message while this thread waits
    // for the worker: its calls run here, where nothing can hold them.
    int own_window = window && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
    HANDLE worker = nullptr;
    if (!own_window) {
        InterlockedIncrement(&running_workers);
        worker = CreateThread(nullptr, 0, run_worker, call, 0, nullptr);
        if (!worker)
            InterlockedDecrement(&running_workers);
    }
    if (!worker) {
        call->work(call);
        return CALL_DONE;
    }
    ULONGLONG start = GetTickCount64();
    // Bounded by limit_ms: each slice waits at most CALL_SLICE_MS.
    for (;;) {
        if (WaitForSingleObject(worker, CALL_SLICE_MS) == WAIT_OBJECT_0) {
            CloseHandle(worker);
            return CALL_DONE;
        }
        // A thread that took no message for about 5 s: Windows calls it hung,
        // and a call into it may never come back.
        int hung = window && IsWindow(window) && IsHungAppWindow(window);
        if (hung || GetTickCount64() - start > limit_ms)
            break;
    }
    CloseHandle(worker);
    // The worker may have ended just now: then the record is ours after all.
    if (let_go(call))
        return CALL_DONE;
    return CALL_OVERRAN;
}

long calls_left_running()
{
    return InterlockedCompareExchange(&running_workers, 0, 0);
}
