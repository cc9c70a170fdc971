// What the simulated launcher's windows show: the page, or its own scene of a
// green Play button, a profile marker and a pop-up.
#pragma once

#include <windows.h>

// Paints one window of the launcher: the main window and the Chrome child
// show the scene in the main window's client coordinates; plain children are
// grey boxes.
void paint_window(HWND window, HDC dc);
// Has the main window and its children painted again.
void repaint_all(HWND window);
// Shows or hides the green button and repaints.
void show_button(HWND window, int shown);
