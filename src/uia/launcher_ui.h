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
    // its slowest scan so far): Windows' own client gives up on a call at 20 s.
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
// given up or the run has ended.
int activate_element_by(HWND window, IUIAutomationElement* element, int legacy);
int select_element_by(HWND window, IUIAutomationElement* element);
// Let go of the scan's references (and zero it) or of one element's.
void release_scan_by(HWND window, UiScan* scan);
void release_element_by(HWND window, IUIAutomationElement* element);
