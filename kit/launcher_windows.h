// The simulated launcher's windows: their classes, window procedures, the
// main window's timers, and making the windows the arguments and page ask for.
#pragma once

#include <windows.h>

// "main" for a top-level window, "chrome" for the render widget child (and
// a page's CHILD windows, which show the page as it does), "child" for a
// plain child.
const char* window_role(HWND window);
// Registers the main window's class and the two child classes.
void register_launcher_classes(HINSTANCE instance);
// Top-level window `index` (0 is the first, which serves the page and has
// the children), shown; null if it could not be made.
HWND create_main_window(HINSTANCE instance, int index);
// Serves the page now loaded (and its title, place and size) in the first
// window of a launcher that served another: a host that runs page after
// page keeps its window, which Wine takes two seconds to take off a display
// without a window manager.
void serve_next_page(HWND window);
