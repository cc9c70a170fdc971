// Starting the simulated launcher from its arguments: its settings, its page
// and its windows. The program's entry point runs the timers and the message
// loop after it; a test may host the launcher in its own process instead and
// drive it by hand.
#pragma once

#include <windows.h>

// Reads the arguments (and the page, whose problems go to the log), makes
// the windows and logs READY. The first window, or null when the page has
// no element line or no window could be made.
HWND start_simulated_launcher(int argc, wchar_t** argv);
// Sets the launcher's shared state back to a new process's, after its
// windows are gone: a host starts the next launcher from nothing.
void reset_launcher_state();
// A host's next launcher in the first window of the last one, `window`, as
// start_simulated_launcher would make it from these arguments. Null when
// the page has no element line or names another window class (then the host
// makes a new window).
HWND restart_simulated_launcher(HWND window, int argc, wchar_t** argv);
