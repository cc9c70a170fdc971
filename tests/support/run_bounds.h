// How long a run of the real tool may take, as docs/design.md's "Time bounds"
// gives it (docs/calling.md sums these constants into the caller's longest
// run: amend it with them): the one place the fault soaks, the hung-launcher tests
// and the busy-launcher tests read their bounds from, and where a run's time
// starts.
//
// A run's time counts from its first line, not from the process start:
// Wine's start-up (a second or more on a loaded machine) comes before that
// line and is no part of the tool's promise. The tool starts its own clock
// (the search's time-out) a little before it prints its first line, so a
// normal end counted from the first line is a little generous, never tight.
// A run that printed nothing has no first line: its time counts from the
// process start (the fallback), and it fails anyway, on its exit code or its
// missing last line (a crash, or a hang ended at the test's limit). show,
// minimize and close print one line, at their end, so no line marks their
// start: they count from the process start, with a Wine start's slack.
#pragma once

// press and find end at most 8 s after their normal end (the time-out for
// NOTFOUND, the windows' showing again sharing its 6 s with what the run's
// end took past it; after FOUND, the press and the watch); show, minimize
// and close at most 8 s after they start (6 s shared by all windows, then
// 0.1 s to 0.4 s per window left).
const long long RUN_END_BOUND_MS = 8000;
// After FOUND: each press method is confirmed for up to 4.5 s, then a 12 s
// watch follows a confirmed press.
const long long PRESS_METHOD_MS = 4500;
// On a slow client a method's confirmation also waits for the look in
// progress at its end, and for a second look when the first showed the
// button gone: two scans, each at most 20 s (four times the run's slowest
// scan). A picture is taken at once: the pixel route adds nothing.
const long long SLOW_CONFIRM_LOOKS_MS = 2 * 20000;
// A press, the first or one in the watch, begins no method and goes on with
// no confirmation past its end: the first's is this long after FOUND (the
// tool's PRESS_MS), one in the watch has the watch's.
const long long PRESS_BOUND_MS = 4 * (PRESS_METHOD_MS + SLOW_CONFIRM_LOOKS_MS);
const long long WATCH_MS = 12000;
// --diagnose adds at most its 15 s to a run that ends without a confirmed
// press: 23 s after the normal end in all.
const long long DIAGNOSIS_BOUND_MS = 15000;
// Where the run's end cut a scan short, the scan's own overrun (1.5 s at
// most past the time-out) and one last picture (1.5 s), with a poll between.
const long long LAST_PASS_MS = 3500;
// A diagnosis without UI Automation (the route given up, or the launcher
// left stuck at the run's end): its picture and the writing (5 s) and the
// 0.3 s probe, not a second wait on the launcher.
const long long DIAGNOSIS_WITHOUT_UIA_MS = 5300;
// So where the launcher was left stuck, the DIAGNOSIS line comes at most
// 8.8 s after the time-out.
const long long STUCK_DIAGNOSIS_MS = LAST_PASS_MS + DIAGNOSIS_WITHOUT_UIA_MS;
// A dump ends at most 40 s after it starts (its UI Automation part is cut at
// 30 s, or as soon as the launcher is reported hung).
const long long DUMP_BOUND_MS = 40000;
// Windows reports a launcher hung about 5 s after its last message: a dump
// that stops waiting before 20 s stopped then, not at its own 30 s cut.
const long long DUMP_GIVES_UP_HUNG_MS = 20000;
// What a Wine start adds under load to a run counted from the process start
// (show, minimize, close).
const long long WINE_START_SLACK_MS = 2000;

// The latest a press or find may end, in ms from its first line: its normal
// end, and RUN_END_BOUND_MS after it. The normal end is the time-out without
// a FOUND (`found_ms`, -1 for none); with one, FOUND's moment in find, and in
// press (`press`) the press's bound after it, or, once the press was
// confirmed (`pressed_ms`, -1 for never), the watch's end after that.
inline long long press_run_bound_ms(long long timeout_ms, long long found_ms, long long pressed_ms, int press)
{
    long long normal_end = timeout_ms;
    if (found_ms >= 0)
        normal_end = !press ? found_ms : pressed_ms >= 0 ? pressed_ms + WATCH_MS : found_ms + PRESS_BOUND_MS;
    return normal_end + RUN_END_BOUND_MS;
}

// When a run started, printed its first line and ended (GetTickCount64 ms).
struct RunTicks {
    unsigned long long started;     // just before the process was created
    unsigned long long first_line;  // its first whole line arrived; 0 when it printed none
    unsigned long long ended;       // its output closed and the process ended (or was ended)
};

// The tick a run's time counts from: its first line, else its start.
inline unsigned long long run_zero(const RunTicks& ticks)
{
    return ticks.first_line ? ticks.first_line : ticks.started;
}

// The run's time as its bounds count it. show, minimize and close print one
// line, their last, so none marks their start (`one_line_at_end`): they
// count from the process start with a Wine start's slack taken off.
inline long long run_ms(const RunTicks& ticks, int one_line_at_end = 0)
{
    if (!one_line_at_end)
        return (long long)(ticks.ended - run_zero(ticks));
    long long took = (long long)(ticks.ended - ticks.started) - WINE_START_SLACK_MS;
    return took > 0 ? took : 0;
}

// A moment of the run, given in ms since the process start, as the bounds
// count it (press, find, dump).
inline long long run_ms_of(const RunTicks& ticks, long long ms_since_start)
{
    return ms_since_start - (long long)(run_zero(ticks) - ticks.started);
}
