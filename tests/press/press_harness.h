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

struct VirtualTime {
    uint64_t now = 0;
    std::vector<uint32_t> waits;           // every wait, in order
    std::function<void(uint64_t)> on_wait; // after each wait, with the new time
    std::function<void(uint64_t)> on_tick; // on each reading of the clock
    uint32_t real_sleep_ms = 0;            // real sleep per wait, for other processes
};

extern VirtualTime virtual_time;
extern std::vector<std::string> reported;
extern std::vector<uint64_t> reported_at;  // virtual time of each line

// Swaps in the virtual clock (starting at `start`) and the report collector.
void install_virtual_time(uint64_t start);
// Puts the system clock and standard output back.
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
