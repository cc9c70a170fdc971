// The diagnostic dump command.
#pragma once

#include <stdint.h>

#include "uia/uia_client.h"
#include "windows/discovery.h"

extern int dumped_elements;

// Gives 2 without a launcher window, else 0. `shot` may be null.
int run_dump(const wchar_t* shot);
// How the UI Automation part of a dump ended.
enum DumpUiaEnd {
    DUMP_UIA_ANSWERED = 0,   // read, or unavailable
    DUMP_UIA_STOPPED = 1,    // the launcher stopped answering, now or earlier in the run
    // not asked: the run's end cut a call short and the launcher does not answer
    DUMP_UIA_RUN_ENDED = 2,
    // its time ran out while the launcher still answered: a slow client,
    // not a launcher that stopped (the rest of the tree was not read)
    DUMP_UIA_OUT_OF_TIME = 3,
    // the launcher runs elevated and the tool does not: Windows kept its UI
    // from the tool (in place of DUMP_UIA_STOPPED and DUMP_UIA_RUN_ENDED
    // while Windows does not report it hung)
    DUMP_UIA_ELEVATED = 4,
};

// The dump's lines for the best window `best` of `found`: the windows, the
// child windows, the UI Automation tree and scan (given up at `uia_end`, a
// GetTickCount64 tick, or as soon as Windows reports the launcher hung) and
// what its picture shows, written to `shot` when given (*shot_written 1, or
// -1 when the file could not be written). *client_area: the window's client
// area on screen as it was when the picture was taken, or all zeros without
// a picture. Gives a DumpUiaEnd.
int dump_launcher(HWND best, const LauncherWindows* found, ULONGLONG uia_end, const wchar_t* shot,
                  int* shot_written, RECT* client_area);
BOOL CALLBACK print_child_window(HWND child, LPARAM unused);
void dump_element_tree(IUIAutomationTreeWalker* walker, IUIAutomationElement* element, int depth);
// "monitor N window N AWARENESS" of the window: the monitor's DPI, the DPI
// the window draws at, and unaware, system-aware, per-monitor-aware or
// unknown.
void describe_window_scale(HWND window, char* out, size_t size);
