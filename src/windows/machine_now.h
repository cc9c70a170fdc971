// The player's machine during one press or find: what the system says of the
// launcher's window and of the session (machine_state.h), read on every
// poll, and which of the tool's ways that leaves open. Each state is named
// once per run by a STATE line (app/state_report.h).
#pragma once

#include <windows.h>

#include "app/state_report.h"

struct MachineNow {
    HWND window;             // the window the answers are of
    DWORD process_id;        // its process, whose rights are read once
    int elevated;            // the launcher runs with more rights than the tool
    int cloaked;             // its window is kept off the screen
    int away;                // the player is not at this desktop
    int activity;            // ACTIVITY_BUSY, _FULL_SCREEN, _PRESENTATION, else ACTIVITY_FREE
    int high_contrast;
    int foreground_refused;  // Windows refused the tool the foreground in this run
    int launcher_hidden;     // a launcher process ran with none of its windows shown
    StateReports named;
};

extern MachineNow machine_now;

// A new run: nothing known, nothing named.
void start_machine_now();
// Asks the system about `window` and the session now (the launcher's rights
// once per process).
void read_machine_now(HWND window);
// "STATE WORD" for each state seen in this run and not named before.
void name_machine_states();

// What the states leave open.
// 1 when `window`'s process runs with more rights than the tool: Windows
// drops or refuses what the tool posts or sends it, and its style changes.
int launcher_above_tool(HWND window);
// 1 when the screen is not the launcher's to take: its window kept off it,
// the player away, or busy with a full-screen program. No screen copy, no
// real input, the launcher not brought to the front.
int screen_off_limits();
// 1 when the foreground is not the tool's to take for anyone: the player
// away or busy with a full-screen program.
int foreground_off_limits();
