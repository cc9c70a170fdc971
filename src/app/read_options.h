// The command line's options into the settings: the walk the tool runs
// before its command. Pure but for the settings it writes, so the native
// checks fuzz it.
#pragma once

#include <wchar.h>

enum { DEFAULT_TIMEOUT_SECONDS = 90, MAX_TIMEOUT_SECONDS = 900 };

// What the options walk read besides the program-wide settings.
struct CommandOptions {
    int timeout_seconds;     // as read, before limiting
    const wchar_t* shot;     // the argument itself, or null
    const wchar_t* diagnose; // the argument itself, or null
};

// Reads options from argument 2 on into the settings and `options`.
void read_options(int argc, wchar_t** argv, CommandOptions* options);
// The driver's time-out: above 900 gives 900, then 0 or below gives 1.
int limit_timeout(int seconds);
