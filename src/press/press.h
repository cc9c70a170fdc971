// Pressing a Play target and confirming the press.
#pragma once

#include "press/locate.h"

// 1 after "PRESSED %s" when a method was confirmed, 0 when none was.
int press_target(HWND window, const PlayTarget* target);
int target_still_there(HWND window, const PlayTarget* target);
POINT target_center(HWND window, const PlayTarget* target);
// Posts a left click to the deepest visible, enabled child under the
// target's centre; nothing waits for the launcher.
void post_click_message(HWND window, const PlayTarget* target);

