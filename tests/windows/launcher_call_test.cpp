// Calls into the launcher under a limit: who owns the record after each end.
#include <gtest/gtest.h>

#include <windows.h>

#include "windows/launcher_call.h"

namespace {

struct TestCall {
    LauncherCall head;
    HANDLE release;        // the work blocks until this is set (null: no block)
    volatile LONG* worked;
    volatile LONG* discarded;
    int changes_kind;      // the work changes the record's kind, as a worker may once it holds the record alone
};

void block_then_count(LauncherCall* head)
{
    TestCall* call = (TestCall*)head;
    if (call->changes_kind)
        call->head.kind = CALL_UI_DUMP;
    if (call->release)
        WaitForSingleObject(call->release, INFINITE);
    InterlockedIncrement(call->worked);
}

void count_discard(LauncherCall* head)
{
    InterlockedIncrement(((TestCall*)head)->discarded);
}

TestCall* new_test_call(HANDLE release, volatile LONG* worked, volatile LONG* discarded, int kind = CALL_WINDOW)
{
    TestCall* call = (TestCall*)new_launcher_call(sizeof(TestCall));
    call->head.kind = kind;
    call->head.work = block_then_count;
    call->head.discard = count_discard;
    call->release = release;
    call->worked = worked;
    call->discarded = discarded;
    return call;
}

// Waits (bounded) until no worker runs any more.
void await_no_workers()
{
    for (int i = 0; i < 200 && calls_left_running() != 0; i++)
        Sleep(10);
}

TEST(LauncherCall, AQuickCallIsDoneAndTheRecordStaysTheCallers)
{
    volatile LONG worked = 0, discarded = 0;
    TestCall* call = new_test_call(nullptr, &worked, &discarded);
    EXPECT_EQ(CALL_DONE, await_call(&call->head, nullptr, 2000));
    EXPECT_EQ(1, worked);
    free_launcher_call(&call->head);
    await_no_workers();
    EXPECT_EQ(0, calls_left_running());
    EXPECT_EQ(0, discarded);
}

// A call that overruns is given up at its limit; while its worker is
// blocked no call of its kind for its window is begun; what it owns is given
// back when it ends, unless its caller kept a share to read it.
TEST(LauncherCall, ABlockedCallIsGivenUpAtItsLimitAndHandedOver)
{
    struct Row {
        const char* what;
        int keep, let_go_while_blocked;
        LONG discarded;  // by the time the worker ended
    } rows[] = {
        {"given up: the worker discards it when it ends", 0, 0, 1},
        {"kept: waited for again, it is the caller's to read", 1, 0, 0},
        {"kept, then let go while blocked: the worker discards it", 1, 1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        volatile LONG worked = 0, discarded = 0, held_back = 0;
        HWND window = (HWND)(ULONG_PTR)(0x7770 + 0x10 * (&row - rows));
        HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        TestCall* call = new_test_call(release, &worked, &discarded, CALL_UI_ACTION);
        call->head.keep = row.keep;
        call->changes_kind = 1;
        ULONGLONG start = GetTickCount64();
        EXPECT_EQ(CALL_OVERRAN, await_call(&call->head, window, 300));
        ULONGLONG waited = GetTickCount64() - start;
        EXPECT_GE(waited, 300u);
        EXPECT_LT(waited, 3000u) << "the limit holds";
        EXPECT_EQ(1, calls_left_running()) << "the worker still waits in the launcher";
        // Read before the record was handed over: the worker's change to it
        // does not free another call of its kind.
        EXPECT_EQ(CALL_NOT_STARTED,
                  await_call(&new_test_call(nullptr, &worked, &held_back, CALL_UI_ACTION)->head, window, 50));
        EXPECT_EQ(1, held_back) << "a call not begun gives back what it holds at once";
        if (row.keep) {
            EXPECT_EQ(CALL_OVERRAN, await_call_again(&call->head, window, 50));
            if (row.let_go_while_blocked)
                let_go_of_call(&call->head);
        }
        EXPECT_EQ(0, discarded);
        // The launcher answers at last.
        SetEvent(release);
        if (row.keep && !row.let_go_while_blocked) {
            EXPECT_EQ(CALL_DONE, await_call_again(&call->head, window, 2000));
            EXPECT_EQ(1, worked);
            free_launcher_call(&call->head);
        }
        await_no_workers();
        EXPECT_EQ(0, calls_left_running());
        EXPECT_EQ(1, worked);
        EXPECT_EQ(row.discarded, discarded);
        CloseHandle(release);
    }
}

TEST(LauncherCall, AStoppedLauncherKeepsOneWorkerPerWindow)
{
    // Two windows of another process whose threads stopped: pass after pass
    // asks each of them, and no call ever returns until released.
    volatile LONG worked = 0, discarded = 0;
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWND windows[] = {(HWND)(ULONG_PTR)0x1230, (HWND)(ULONG_PTR)0x4560};
    const int passes = 25;
    for (int pass = 0; pass < passes; pass++)
        for (HWND window : windows)
            EXPECT_EQ(pass == 0 ? CALL_OVERRAN : CALL_NOT_STARTED,
                      await_call(&new_test_call(release, &worked, &discarded, CALL_UI_SCAN)->head, window, 20));
    EXPECT_EQ(2, calls_left_running()) << "one blocked worker per window, not one per pass";
    EXPECT_EQ(1, call_blocked_in(windows[0]));
    EXPECT_EQ(2 * passes - 2, discarded) << "calls never started give back what they hold at once";
    // The style change that shows the window again is not held back by the scan.
    TestCall* show = new_test_call(nullptr, &worked, &discarded, CALL_WINDOW);
    EXPECT_EQ(CALL_DONE, await_call(&show->head, windows[0], 2000));
    free_launcher_call(&show->head);
    EXPECT_EQ(1, worked);
    SetEvent(release);
    await_no_workers();
    EXPECT_EQ(3, worked);
    EXPECT_EQ(2 * passes, discarded);
    // The worker's count drops just before its thread ends.
    for (int i = 0; i < 200 && call_blocked_in(windows[0]); i++)
        Sleep(10);
    EXPECT_EQ(0, call_blocked_in(windows[0]));
    CloseHandle(release);
}

TEST(LauncherCall, ACallForAWindowOfThisThreadRunsHere)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"own", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    volatile LONG worked = 0, discarded = 0;
    TestCall* call = new_test_call(nullptr, &worked, &discarded);
    EXPECT_EQ(CALL_DONE, await_call(&call->head, window, 100));
    EXPECT_EQ(1, worked);
    EXPECT_EQ(0, calls_left_running()) << "no worker was started";
    free_launcher_call(&call->head);
    DestroyWindow(window);
}

}  // namespace
