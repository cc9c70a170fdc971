// The STATE lines: a state of the player's machine that keeps the tool from
// doing its job, or from doing it without taking something from the player,
// named by one cause word, once per run, when it is first seen.
#pragma once

enum MachineCause {
    CAUSE_LAUNCHER_ELEVATED = 0,  // the launcher runs with more rights than the tool
    CAUSE_LAUNCHER_CLOAKED,       // its window is kept off the screen (another virtual desktop)
    CAUSE_LAUNCHER_HIDDEN,        // a launcher process runs with none of its windows shown
    CAUSE_SESSION_NOT_PRESENT,    // locked, a secure desktop, screen saver, a session away
    CAUSE_FULL_SCREEN,            // a Direct3D full-screen application is in front
    CAUSE_PRESENTATION,           // presentation mode
    CAUSE_BUSY,                   // a full-screen application or presentation settings
    CAUSE_FOREGROUND_REFUSED,     // Windows refused the tool the foreground
    CAUSE_HIGH_CONTRAST,          // colours are the system's: no verdict rests on them
    CAUSE_COUNT,
};

// The causes a run has named; zeroed when the run starts.
struct StateReports {
    unsigned named;  // bit per cause
};

// "launcher-elevated" and so on; null for a number that is no cause.
const char* cause_word(int cause);
// Prints "STATE WORD" the first time the run sees `cause`; 1 when it
// printed, 0 when named before or no cause.
int report_state(StateReports* reports, int cause);
