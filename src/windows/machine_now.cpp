#include "windows/machine_now.h"

#include <string.h>

#include "windows/machine_state.h"

MachineNow machine_now;

void start_machine_now()
{
    memset(&machine_now, 0, sizeof machine_now);
    machine_now.activity = ACTIVITY_FREE;
}

// The launcher itself in front (its own full-screen window, say): the shell's
// busy answers are about it, not about a program of the player's.
static int launcher_in_front(HWND window)
{
    HWND front = GetForegroundWindow();
    return front && (GetAncestor(front, GA_ROOT) == window || GetAncestor(front, GA_ROOTOWNER) == window);
}

void read_machine_now(HWND window)
{
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    if (window != machine_now.window || process_id != machine_now.process_id) {
        machine_now.window = window;
        machine_now.process_id = process_id;
        machine_now.elevated = process_id != 0 && machine.launcher_elevation(process_id) == ELEVATION_ABOVE;
    }
    machine_now.cloaked = machine.window_cloaked(window) == 1;
    int activity = machine.player_activity();
    machine_now.away = machine.session_presence() == SESSION_AWAY || activity == ACTIVITY_NOT_PRESENT;
    int busy = activity == ACTIVITY_BUSY || activity == ACTIVITY_FULL_SCREEN || activity == ACTIVITY_PRESENTATION;
    machine_now.activity = busy && !launcher_in_front(window) ? activity : ACTIVITY_FREE;
    machine_now.high_contrast = machine.high_contrast() == 1;
}

void name_machine_states()
{
    const MachineNow& m = machine_now;
    const int seen[][2] = {
        {CAUSE_LAUNCHER_ELEVATED, m.elevated},
        {CAUSE_LAUNCHER_CLOAKED, m.cloaked},
        {CAUSE_LAUNCHER_HIDDEN, m.launcher_hidden},
        {CAUSE_SESSION_NOT_PRESENT, m.away},
        {CAUSE_FULL_SCREEN, m.activity == ACTIVITY_FULL_SCREEN},
        {CAUSE_PRESENTATION, m.activity == ACTIVITY_PRESENTATION},
        {CAUSE_BUSY, m.activity == ACTIVITY_BUSY},
        {CAUSE_FOREGROUND_REFUSED, m.foreground_refused},
        {CAUSE_HIGH_CONTRAST, m.high_contrast},
    };
    static_assert(sizeof seen / sizeof seen[0] == CAUSE_COUNT, "every cause has its state");
    for (const auto& state : seen)
        if (state[1])
            report_state(&machine_now.named, state[0]);
}

int launcher_above_tool(HWND window)
{
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    if (process_id != 0 && process_id == machine_now.process_id)
        return machine_now.elevated;
    return window_elevated_above_tool(window);
}

int screen_off_limits()
{
    return machine_now.cloaked || foreground_off_limits();
}

int foreground_off_limits()
{
    return machine_now.away || machine_now.activity != ACTIVITY_FREE;
}
