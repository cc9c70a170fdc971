// What the tool does to the launcher's windows themselves.
#pragma once

#include <windows.h>

// Name of the window property that marks a window hidden by the tool. Its
// value is the extended style from before the hiding plus HIDDEN_MARK_BIT.
#define HIDDEN_PROPERTY L"KestrovV6.Hidden"
const unsigned long long HIDDEN_MARK_BIT = 0x10000000000ULL;

enum {
    ANSWER_TIMEOUT_MS = 300,
    // How long showing windows again may wait for busy ones, shared by all
    // windows of one restore: a launcher thread that takes no message for 5 s
    // is reported hung by Windows, and one that is only busy gets a second more.
    SHOW_WAIT_MS = 6000,
    // Each wait for an answer is cut into slices so that a thread which turns
    // hung meanwhile is given up as soon as Windows says so.
    ANSWER_SLICE_MS = 250,
    // A window reached after the shared wait has passed still gets one probe.
    LATE_PROBE_MS = 100,
};

enum WindowAnswer { WINDOW_GONE = -1, WINDOW_HUNG = 0, WINDOW_ANSWERED = 1 };

// Deadlines here are ticks of the tool's clock (press/clock.h).
//
// The one place that tells a busy window from a hung one. Waits until the
// window's thread takes a message (WINDOW_ANSWERED), the window goes
// (WINDOW_GONE), Windows reports its thread hung, or `deadline` passes
// (both WINDOW_HUNG). A deadline already passed
// still allows one probe of LATE_PROBE_MS. Style changes and showing wait for
// the window's thread, so they follow only an answer.
int await_window(HWND window, ULONGLONG deadline);

// 1 when the window's thread takes a message within 300 ms (at once 0 when
// Windows already knows it hung). For steps that may simply try again later,
// such as hiding on the next poll.
int window_answers(HWND window);

// The tick until which showing windows again may wait: now + SHOW_WAIT_MS.
ULONGLONG show_deadline();

void hide_window(HWND window);

// What showing a window again did, read back from the window.
enum UnhideResult {
    UNHIDE_GONE = -2,     // no longer a window: nothing is left hidden
    UNHIDE_REFUSED = -1,  // the change was refused or did not hold: still hidden
    UNHIDE_HUNG = 0,      // the window's thread did not answer: still click-through
    UNHIDE_PLAIN = 1,     // plain now, or never hidden
};
// Shows a hidden window again, waiting for a busy one until `deadline`, and
// reads the style and opacity back. A window that is not plain after it
// keeps the property, so that a later run can try again; a hung one gets
// its opacity back, which needs no answer. An UnhideResult.
int unhide_window_by(HWND window, ULONGLONG deadline);
// The same with a wait of its own (show_deadline()).
int unhide_window(HWND window);
// Shows every listed window again, all within one deadline, and prints
// "NOT_SHOWN <cause>" for each one left hidden ("hung" or "refused"). The
// number of listed windows now plain.
int show_windows_again(const HWND* windows, int count, ULONGLONG deadline);
// Restores and brings forward, after waiting for the window until `deadline`.
// 1 when the window is the foreground window then; 0 when it did not answer,
// kept the call, or Windows refused the foreground (machine.set_foreground:
// a process may take it only from the foreground process or when granted).
// The tool's thread shares the foreground thread's input state only for the
// switch itself, never across a call that waits for the launcher.
int bring_to_front_by(HWND window, ULONGLONG deadline);
// The same with a short wait (ANSWER_TIMEOUT_MS).
int bring_to_front(HWND window);
// What bringing forward with the short wait gave: FRONT_REFUSED when Windows
// refused the foreground (it then was not asked to restore or raise the
// window), for captures and clicks, which must not go on then.
enum FrontResult { FRONT_NOT_TAKEN = 0, FRONT_TAKEN = 1, FRONT_REFUSED = 2 };
int try_bring_to_front(HWND window);
// Escape to a pop-up: a real key when the window is in front and the screen
// is the tool's to use (machine_now.h), else posted to the window and its
// page. 1 when SendInput took both keys, or both posts to the window went
// through (input_calls.h); 0 when Windows refused them.
int send_escape(HWND window);
// ShowWindow under a deadline (a passed one still allows ANSWER_TIMEOUT_MS): 1
// when the call ended, 0 when the window's thread kept it.
int show_window_by(HWND window, int command, ULONGLONG deadline);
// 1 when the window no longer exists, is not visible or is minimised.
int window_gone(HWND window);
// Unhides every launcher window (and brings `window` forward when it is
// still one and the screen is the tool's to use), then ends hide mode. `window` may be null. Busy windows are
// waited for, all together until `deadline`: the call ends by then plus a
// LATE_PROBE_MS per window left, plus any stall of a window that answered
// just before its style was set.
void restore_windows_by(HWND window, ULONGLONG deadline);
// The same until one show_deadline().
void restore_windows(HWND window);
