// Pressing a Play target and confirming the press.
#pragma once

#include "press/locate.h"
#include "uia/launcher_ui.h"

enum {
    PRESS_METHODS = 4,  // invoke, legacy, message, click
    // Each method's confirmation, counted from its action.
    CONFIRM_MS = 4500,
    // The most a press takes from its start: each method's confirmation, and
    // on a slow client also the look in progress at its end and a second one
    // (SLOW_SCAN_LIMIT_MS each). The driver gives the first press this end;
    // the watch gives a press in it its own end.
    PRESS_MS = PRESS_METHODS * (CONFIRM_MS + 2 * SLOW_SCAN_LIMIT_MS),
};

// Presses the target by the first method the launcher confirms, in the
// window's client coordinates as the press found it, by the methods the
// player's machine leaves open (machine_now.h, read before each method). An action that overran
// is pending and is never pressed over: the next method first waits for it.
// No method is begun and no confirmation goes on past `end` (a tick); a look
// in progress then ends within a call's least time. Afterwards what `state`
// saw of the page is forgotten (state may be null). 1 after "PRESSED %s",
// 0 when no method was confirmed.
int press_target(HWND window, const PlayTarget* target, LocateState* state, unsigned long long end);
int target_still_there(HWND window, const PlayTarget* target);
POINT target_center(HWND window, const PlayTarget* target);
// Posts a left click to the deepest visible, enabled child under a screen
// point; nothing waits for the launcher. 1 when every message was posted.
int post_click_message(HWND window, POINT screen);
