// What the fault soaks share: running one drawn fault against the simulated
// launcher, the tool's promises checked after every run, the replay command
// of a failing run and the summary table. The soaks differ only in their
// fault tables and commands (soak.cpp: the pixel route under Wine 8;
// uia_soak.cpp: the UI Automation route under Wine 10).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/run_bounds.h"
#include "support/simulated_launcher.h"
#include "support/tool_run.h"

enum SoakCommand { PRESS, FIND, SHOW, MINIMIZE, DUMP, COMMAND_COUNT };
extern const char* const COMMAND_WORDS[COMMAND_COUNT];

// How long a run may take: support/run_bounds.h.
const int HARD_LIMIT_MS = 70000;  // a tool that runs this long is ended
const int MAX_FAULTS = 16;

enum SoakAction { NO_ACTION, KILL_LAUNCHER, WAIT_FOR_HANG };

// One fault: simulator arguments, where "%u" in the value takes a moment (ms)
// drawn from lo..hi (a quick command draws from lo..QUICK_SPAN_MS).
struct Fault {
    const char* name;
    const wchar_t* option;
    const wchar_t* value;
    unsigned lo, hi;
    SoakAction action;
    const wchar_t* page;  // with --page: a page file; null for the plain launcher
};
const unsigned QUICK_SPAN_MS = 1500;

// What a soak is: its faults and commands, the press methods a found target
// may go through. For show and minimize the launcher starts as an earlier
// press --hide left it (--start-hidden: no probe of the soak's own meets a
// fault).
struct SoakSetup {
    const char* runner;  // "tools/wine-run" or "tools/wine10-run", for the replay line
    const Fault* faults;
    int fault_count;
    const int* commands;
    int command_count;
    int timeout_s;          // --timeout of press and find
    int press_methods;      // how many methods a press may try
    int confirms_by_looks;  // the press's confirmation reads the tree (slow looks may add to it)
    std::wstring pages_dir; // where Fault::page files are (a Windows path)
};

// Runs the soak as its command line says:
//   [--seed N] [--runs N] [--run I] [--walk]
//     --run I   only run I of the seed (the replay of one run)
//     --walk    run I takes fault I modulo the table (the short soak in ctest)
// 0 when no run broke a promise.
int soak_main(int argc, char** argv, const SoakSetup& setup);

