// Virtual time, captured report lines and UI trees for the press engine's
// tests. The virtual sleeper advances the virtual clock; a hook lets a test
// change the world at a given moment of a run.
#pragma once

#include <windows.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "press/locate.h"
#include "support/uia_double.h"
#include "windows/launcher_call.h"

struct VirtualTime {
    uint64_t now = 0;
    std::vector<uint32_t> waits;           // every wait, in order
    std::function<void(uint64_t)> on_wait; // after each wait, with the new time
    std::function<void(uint64_t)> on_tick; // on each reading of the clock
    uint32_t real_sleep_ms = 0;            // real sleep per wait, for other processes
    // How time passes while the tool waits in a call (the corpus world's
    // launcher goes on meanwhile); none: the clock jumps, late calls run.
    std::function<void(uint64_t)> pass_to;
};

extern VirtualTime virtual_time;
extern std::vector<std::string> reported;
extern std::vector<uint64_t> reported_at;  // virtual time of each line

// What the pinned system answers say (machine_state.h): one state of the
// player's machine, or none. A test may change it mid-run.
enum PinnedMachine {
    PINNED_PLAIN,
    PINNED_ELEVATED,            // the launcher runs above the tool
    PINNED_CLOAKED,
    PINNED_AWAY,                // the session not present
    PINNED_FULL_SCREEN,
    PINNED_BUSY,
    PINNED_PRESENTATION,
    PINNED_FOREGROUND_REFUSED,  // SetForegroundWindow refused, and nothing done
    PINNED_HIGH_CONTRAST,
    PINNED_LAUNCHER_HIDDEN,     // a launcher process (this one's id) with its windows hidden
};
extern int pinned_machine;

// Swaps in the virtual clock (starting at `start`), the report collector and
// plain answers of the system (`machine`, saying pinned_machine, which it
// sets to PINNED_PLAIN), and starts a run's machine_now.
void install_virtual_time(uint64_t start);

// Calls into the launcher on the virtual clock. A call that overran but was
// begun still ends when its time comes, as a worker left in the launcher
// does: its work runs then (an action lands late), and it is discarded then
// unless its caller kept a share (await_call_again, let_go_of_call).
struct LateCall {
    LauncherCall* call;
    uint64_t due;  // when its work runs
    int ran;
    int kept;      // its caller still holds a share
};
extern std::vector<LateCall> late_calls;
void hold_late_call(LauncherCall* call, uint64_t due);
// What the record owns given back, and the record freed.
void discard_call(LauncherCall* call);
// Runs the late calls due by the virtual clock's now.
void run_due_late_calls();
// Discards the late calls still held, unrun (a world that ends).
void drop_late_calls();
// The seams of await_call_again and let_go_of_call on virtual time.
int await_late_call(LauncherCall* call, HWND window, uint32_t limit_ms);
void let_go_of_late_call(LauncherCall* call);
// Every call into the launcher costs `cost(call)` virtual ms (0: it runs at
// once); one past its limit overruns and runs late. remove_virtual_time puts
// the product's waiting back.
void install_virtual_calls(std::function<uint64_t(const LauncherCall*)> cost);
// Puts the system clock, standard output and the system's answers back.
void remove_virtual_time();
uint64_t total_waited();

// A plain, invisible top-level window of this process.
HWND make_plain_window();

// Settings as the entry point leaves them for `press`.
void reset_settings();

// Nodes of a launcher page in the double, below the window node.
int add_button(UiaDouble& d, const wchar_t* name, RECT rect, int invocable = 1);
int add_profile(UiaDouble& d, RECT rect);
int add_store_popup(UiaDouble& d, RECT rect);
int add_tab(UiaDouble& d, const wchar_t* name, RECT rect, int control_type);

// Play below the window's centre line and the profile name beside it.
struct PlayPage {
    int play;
    int profile;
};
PlayPage add_play_page(UiaDouble& d, int beside);

const RECT PLAY_RECT = {400, 600, 700, 664};

inline std::string joined_reports()
{
    std::string all;
    for (const std::string& line : reported)
        all += line + "\n";
    return all;
}

void release_target(PlayTarget* target);

// A dummy game process (javaw.exe next to the test) living `ms`; its id. Its
// parent is `launcher` (a process handle) when given, as the launcher's game
// has the launcher for a parent; else this test.
struct StartedGame {
    PROCESS_INFORMATION process{};
};
unsigned long start_game(StartedGame* game, int ms = 20000, HANDLE launcher = nullptr);
void end_game(StartedGame* game);
