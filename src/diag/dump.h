// The diagnostic dump command.
#pragma once

#include <stdint.h>

#include "uia/uia_client.h"
#include "windows/discovery.h"

extern int dumped_elements;

// Gives 2 without a launcher window, else 0. `shot` may be null.
int run_dump(const wchar_t* shot);
// The dump's lines for the best window `best` of `found`: the windows, the
// child windows, the UI Automation tree and scan (given up after
// `uia_limit_ms`, or as soon as Windows reports the launcher hung) and what
// its picture shows, written to `shot` when given (*shot_written 1, or -1
// when the file could not be written). 1 when the launcher stopped
// answering UI Automation before the tree and the scan ended.
int dump_launcher(HWND best, const LauncherWindows* found, uint32_t uia_limit_ms, const wchar_t* shot,
                  int* shot_written);
BOOL CALLBACK print_child_window(HWND child, LPARAM unused);
void dump_element_tree(IUIAutomationTreeWalker* walker, IUIAutomationElement* element, int depth);
