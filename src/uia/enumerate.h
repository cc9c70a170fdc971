// Reading the launcher window's UI Automation tree into a UiScan.
#pragma once

#include "uia/classify.h"

enum { MAX_SCAN_ELEMENTS = 8000, MAX_WALK_DEPTH = 41, NUDGE_TIMEOUT_MS = 300 };

// Owned walker or null; needs `automation`. The caller releases it.
IUIAutomationTreeWalker* get_tree_walker();
// WM_GETOBJECT to the window and every descendant, 300 ms each at most.
void nudge_accessibility(HWND window);
// Zeroes `scan`, then fills it; the record owns what classification stored.
void scan_launcher_ui(HWND window, UiScan* scan);
void walk_elements(UiScan* scan, IUIAutomationTreeWalker* walker, IUIAutomationElement* parent,
                   RECT window_rect, int depth);
// Releases every reference the record holds and zeroes it.
void release_scan(UiScan* scan);
