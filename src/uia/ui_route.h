// The UI Automation route of one run, in one place: the automation object,
// whether the route is still taken, and by when calls into the launcher's UI
// should end. The driver and dump start it; the locate pass, the press and
// the calls read it. What a scan showed is not kept here: a scan is evidence
// for the pass that read it only (see press/locate.h).
#pragma once

#include <windows.h>
#include <stdint.h>

struct IUIAutomation;

// Owned; none when COM or the UI Automation class is unavailable.
extern IUIAutomation* automation;
// The result of joining COM or of creating `automation`.
extern HRESULT automation_status;

struct UiRoute {
    // The tick by which calls into the launcher's UI should end.
    uint64_t call_deadline;
    // The tick at which the run stops looking (0: none). A call still
    // running past it was cut short by the run's own end, not by a launcher
    // that stopped answering.
    uint64_t run_end;
    // A call overran, Windows reported the launcher hung or its client gave
    // up: the rest of the run goes by pixels, as without automation (for a
    // launcher above the tool, for good: launcher_ui.cpp).
    int given_up;
    // A call was cut short by the run's end: the run is over, nothing more
    // is asked of the launcher's UI.
    int run_ended;
    // The longest a finished scan took in this run: what a slow client
    // costs, measured, so that a press's confirmation can wait for a look.
    uint64_t slowest_scan_ms;
    // Set while a press confirms: its looks wait for a slow client (see
    // launcher_ui.h), up to run_end.
    int press_looks;
};

extern UiRoute ui_route;

// A new run whose calls should end by `deadline`, which is also its end.
void start_ui_route(uint64_t deadline);
