// A corpus page served on virtual time, in this process: the kit's page
// reader, Chromium habits, window, painting and actions (so clicks, Escape,
// re-renders and the game's start run as in the simulated launcher), read
// through the UI Automation double by the tool's real driver and locate
// pass. A client profile says what the client reaches; every scan costs a
// scan time on the virtual clock, and a call that outlasts the tool's limit
// overruns there.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

enum ClientProfile {
    // Windows' client: patterns, IsEnabled and IsOffscreen.
    CLIENT_WINDOWS,
    // Wine 10's: no patterns; every element enabled and on screen.
    CLIENT_WINE10,
    // Wine 10's against the launcher's Chromium: the late tree (again after
    // every re-render: an empty document until it is rebuilt), which comes in
    // two parts, re-renders after every action and their stale elements,
    // modal dialogs.
    CLIENT_CHROMIUM,
    // No UI Automation at all (Wine 8): the picture alone.
    CLIENT_NONE,
};

const char* profile_name_of(int profile);  // "windows", "wine10", "chromium", "none"

// What else the world does, for the runs that prove one rule each.
enum WorldFault {
    WORLD_AS_SERVED,
    // Chromium never builds its tree (accessibility off): an empty document.
    WORLD_TREE_NEVER,
    // From fault_at, for fault_for ms (0: for good), the client's calls into
    // the launcher's UI time out (UIA_E_TIMEOUT after 2 s), while its window
    // still answers.
    WORLD_UI_STOPS,
    // Play's press hides it (a progress line shows) and the game starts
    // fault_for ms later.
    WORLD_GAME_LATE,
    // The window hides at fault_at and shows again fault_for ms later; the
    // system names the launcher (this process) running hidden meanwhile.
    WORLD_HIDES,
    // Play does nothing when pressed; as the press lands, a java process
    // that another program started (its parent gone) shows up.
    WORLD_STRANGER_JAVA,
    // Every action (Invoke, Select, the default action) lands fault_for ms
    // after it was asked for.
    WORLD_ACTION_LATE,
    // The window moves fault_for pixels to the right at fault_at.
    WORLD_MOVES,
    // From fault_at on the launcher's thread is busy, not hung: PrintWindow
    // and the window calls (a style change, the foreground) wait for good, as
    // Windows' do, and its UI calls time out as in WORLD_UI_STOPS.
    WORLD_BUSY,
    // The player's machine, as the system answers the tool (machine_state.h):
    // the launcher runs above the tool, and Windows keeps its UI from it (the
    // client reads the window element alone);
    WORLD_ELEVATED,
    // its window is on another virtual desktop;
    WORLD_CLOAKED,
    // the player is away (locked) from fault_at for fault_for ms (0: for good);
    WORLD_AWAY,
    // a full-screen game of the player's is in front;
    WORLD_FULL_SCREEN,
    // Windows refuses the tool the foreground (a window of the player's in
    // front);
    WORLD_FOREGROUND_REFUSED,
    // high contrast is on.
    WORLD_HIGH_CONTRAST,
};

struct WorldRun {
    std::wstring page_path;
    int profile;
    int scan_ms;    // what one scan costs, before its jitter
    unsigned seed;  // the jitter: each scan costs scan_ms x 0.5 to x2
    int find_only;
    int timeout_s;
    int lazy_ms;    // Chromium's late tree, ms after it is asked; -1: the kit's 1500
    int flaky;      // 1 scan in 4 (by the seed) fails at its root (E_FAIL)
    int act_late_ms;  // the launcher acts on clicks, keys and actions this late
    int fault;      // a WorldFault
    int fault_at, fault_for;
    int hide = 0;   // --hide
};

struct WorldResult {
    int exit_code;
    std::vector<std::string> lines;    // the tool's report lines
    std::vector<uint64_t> line_ms;     // virtual ms since the run's start
    std::vector<std::string> log;      // the launcher's log
    std::vector<uint64_t> log_ms;
    int scans;           // scans the tool's calls finished
    int overruns;        // scans the tool stopped waiting for
    uint64_t ended_ms;   // when run_press returned
    uint64_t shown_again_ms;  // WORLD_HIDES: when the window showed again
    int escapes_sent;    // Escape keys the tool sent the launcher, held ones too
};

// Runs the tool's press or find against the page once. 0 when the page or
// its window could not be made.
int run_in_world(const WorldRun& run, WorldResult* result);

// The run's lines and the launcher's log in virtual-time order, for a
// failure's message.
std::string describe_run(const WorldRun& run, const WorldResult& result);
// What the run broke of what every run keeps, or "": its lines as
// docs/report-lines.tsv gives them, its end within the bound the README gives
// a run (support/run_bounds.h).
std::string broken_run_rules(const WorldRun& run, const WorldResult& result);
