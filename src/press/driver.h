// The press and find commands.
#pragma once

// Waits for the launcher, locates, presses (unless find_only) and watches.
// `timeout_seconds` is 1 to 900. Gives the exit code: 0, 2, 3 or 4.
int run_press(int timeout_seconds);
