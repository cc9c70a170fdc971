// Busy stretches, stalls and hangs of the simulated launcher's window thread.
#include "launcher_faults.h"

#include "launcher_state.h"

namespace {

// Takes no message for `ms` (forever when negative). With --busy-not-hung
// the thread waits on its message queue without taking anything from it, as
// a thread in a wait loop of its own does: Windows then does not report it
// hung, yet sent messages wait.
void take_no_messages(int ms)
{
    ULONGLONG end = GetTickCount64() + (ULONGLONG)(ms < 0 ? 0 : ms);
    while (ms < 0 || GetTickCount64() < end) {
        if (settings.busy_not_hung)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, 0);
        else
            Sleep(100);
    }
}

}  // namespace

void hang()
{
    log_line("HANG");
    if (settings.hang_for_ms > 0) {
        take_no_messages(settings.hang_for_ms);
        log_line("HANG END");
        return;
    }
    take_no_messages(-1);
}

void stall(int ms)
{
    log_line("BUSY %d", ms);
    take_no_messages(ms);
    log_line("BUSY END");
}

unsigned stall_random()
{
    settings.stall_seed = settings.stall_seed * 1103515245u + 12345u;
    return (settings.stall_seed >> 8) & 0xffffff;
}

void start_fault_timers(HWND first)
{
    if (settings.hang_after_ms > 0)
        SetTimer(first, TIMER_HANG, (UINT)settings.hang_after_ms, nullptr);
    if (settings.busy_ms > 0 && settings.busy_every_ms > 0)
        SetTimer(first, TIMER_BUSY, (UINT)settings.busy_every_ms, nullptr);
    if (settings.stall_max_ms > 0)
        SetTimer(first, TIMER_STALLS, 200 + stall_random() % 1800, nullptr);
}

int run_fault_timer(HWND window, WPARAM timer)
{
    if (timer == TIMER_HANG) {
        KillTimer(window, TIMER_HANG);
        hang();
        return 1;
    }
    if (timer == TIMER_BUSY) {
        stall(settings.busy_ms);
        return 1;
    }
    if (timer == TIMER_STALLS) {
        stall(settings.stall_min_ms + (int)(stall_random() % (unsigned)(settings.stall_max_ms - settings.stall_min_ms + 1)));
        SetTimer(window, TIMER_STALLS, 200 + stall_random() % 1800, nullptr);
        return 1;
    }
    return 0;
}

void hang_after_probe(UINT message)
{
    if (message == WM_NULL && settings.hang_after_probe_ms >= 0 &&
        GetTickCount64() - started_at >= (ULONGLONG)settings.hang_after_probe_ms) {
        // A caller that probes whether the window answers gets its answer;
        // whatever it does next meets a thread that has stopped.
        log_line("PROBED");
        ReplyMessage(0);
        hang();
    }
}
