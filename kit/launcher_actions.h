// What a click or a page element's action does in the simulated launcher:
// start the dummy game, close, hide the button, or change the page.
#pragma once

#include <windows.h>

// Starts the dummy game (javaw.exe beside the launcher, or one folder up).
void start_java();
// Re-renders the page's elements (Chromium's habit) and logs why.
void rerender(const char* why);
// Runs a page element's actions, however they arrived (PageVia), and shows
// the changed page.
void run_page_actions(HWND main_window, int element, int via);
// A click that landed on the button or on page element `element`.
void take_click(HWND main_window, int real, int element);
