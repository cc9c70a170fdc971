// The UI Automation calls into the launcher, each under a deadline: on a
// worker (see windows/launcher_call.h), so that a launcher that stopped
// answering cannot hold the run. When a call overruns, the UI Automation
// route is given up for the rest of the run and the run goes on by pixels; a
// call cut short by the run's own end ends the run instead. The route's state
// is in uia/ui_route.h.
#pragma once

#include <stdint.h>

#include "uia/classify.h"
#include "uia/ui_route.h"
#include "windows/launcher_call.h"

enum {
    // A call whose deadline has passed still gets this long.
    MIN_UI_CALL_MS = 1500,
    // Letting go of elements needs nothing back: a short wait, then the
    // worker finishes (or dies with the process) on its own.
    RELEASE_WAIT_MS = 1000,
    // Windows' own client gives up on a provider after these (its defaults
    // are 2 s and 20 s); under them the tool's deadlines still hold.
    UIA_CONNECTION_TIMEOUT_MS = 2000,
    UIA_TRANSACTION_TIMEOUT_MS = 10000,
    // The most a press's confirming scan waits for a slow client (four times
    // the run's slowest scan so far): Windows' own client gives up on a call
    // at 20 s.
    SLOW_SCAN_LIMIT_MS = 20000,
};

// Sets the documented time-outs of Windows' client, where it has them.
void set_automation_timeouts();

// 1 with a finished scan; 0 with an empty one when the scan did not finish
// (given up now or before, cut short by the run's end) or there is no
// automation. An unfinished scan keeps nothing of what it saw. A finished
// scan may still be of a page not yet built (scan_shows_page). The scan is
// released with release_scan_by.
int scan_launcher_ui_by(HWND window, UiScan* scan);
// activate_element and select_element on a worker; 0 also when the route is
// given up or the run has ended, or the call overran.
int activate_element_by(HWND window, IUIAutomationElement* element, int legacy);
int select_element_by(HWND window, IUIAutomationElement* element);

// A press's action. One that overran its wait may still land: it is
// pending, and the press must know whether it did before it presses again.
enum ActionResult { ACTION_REFUSED = 0, ACTION_DONE = 1, ACTION_PENDING = 2 };
struct PendingAction {
    LauncherCall* call;  // the call kept while it runs; null: none pending
    HWND window;
};
// activate_element_by, keeping an action that overran in `pending`
// (ACTION_PENDING); a pending action must be waited for until it ends
// (await_pending_action) or let go (let_go_of_action).
int start_press_action(HWND window, IUIAutomationElement* element, int legacy, PendingAction* pending);
// ACTION_DONE or ACTION_REFUSED once the pending action ended within
// `limit_ms` (nothing is pending then), else ACTION_PENDING.
int await_pending_action(PendingAction* pending, uint32_t limit_ms);
// The action may still land; its worker frees it when it ends.
void let_go_of_action(PendingAction* pending);

// Let go of the scan's references (and zero it) or of one element's. A
// release may wait for the launcher like any call: it runs on a worker, and
// where none can (the route given up or ended, an earlier release still
// blocked in the window) the references are let go of without a call, and
// counted.
void release_scan_by(HWND window, UiScan* scan);
void release_element_by(HWND window, IUIAutomationElement* element);
// References let go of without a call since the process started.
long references_let_go();
