// The diagnostic dump command.
#pragma once

#include "uia/uia_client.h"

extern int dumped_elements;

// Gives 2 without a launcher window, else 0. `shot` may be null.
int run_dump(const wchar_t* shot);
BOOL CALLBACK print_child_window(HWND child, LPARAM unused);
void dump_element_tree(IUIAutomationTreeWalker* walker, IUIAutomationElement* element, int depth);
