// The faults a real launcher shows, on the simulator's window thread: busy
// stretches, random stalls, hangs for a while or for good.
#pragma once

#include <windows.h>

// The window thread takes no messages: for good, or for --hang-for-ms.
void hang();
// A busy launcher: its window thread is alive but takes no messages for `ms`.
void stall(int ms);
// The next number of the --stalls sequence.
unsigned stall_random();
// The timers of --hang-after-ms, --busy-ms/--busy-every-ms and --stalls, on
// the first window.
void start_fault_timers(HWND first);
// A fault timer's tick: 1 when the timer was a fault's, else 0.
int run_fault_timer(HWND window, WPARAM timer);
// --hang-after-probe-ms: a WM_NULL that comes late enough is answered, then
// the thread stops for good.
void hang_after_probe(UINT message);
