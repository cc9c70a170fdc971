#include "press/driver.h"

#include <string.h>

#include "app/report.h"
#include "app/settings.h"
#include "diag/diagnosis.h"
#include "press/clock.h"
#include "press/locate.h"
#include "press/press.h"
#include "uia/launcher_ui.h"
#include "windows/discovery.h"
#include "windows/java_watch.h"
#include "windows/machine_now.h"
#include "windows/machine_state.h"
#include "windows/window_handling.h"

enum {
    NO_WINDOW_POLL_MS = 400,
    NO_WINDOW_POLL_HIDDEN_MS = 40,  // short, so the launcher never shows for long
    NO_TARGET_POLL_MS = 500,
    NO_TARGET_POLL_HIDDEN_MS = 250,
    ACTED_POLL_MS = 900,
    RESTORED_WAIT_MS = 300,
    WATCH_MS = 12000,
    WATCH_POLL_MS = 600,
    MAX_REPRESSES = 2,
    // A press against a launcher that runs with more rights than the tool
    // ends this long after its window was first seen, unless Play was found
    // sooner: nothing but UI Automation's actions can reach it, and on
    // Windows they cannot either.
    ABOVE_TOOL_END_MS = 10000,
    // A process snapshot: how often the search looks for a launcher running
    // with its windows hidden while no window shows.
    HIDDEN_LOOK_MS = 400,
};

static void release_target(HWND window, PlayTarget* target)
{
    release_element_by(window, target->element);
    target->element = nullptr;
}

static void report_window(HWND window)
{
    RECT r = {0, 0, 0, 0};
    GetWindowRect(window, &r);
    wchar_t title[TITLE_CAPACITY];
    title[0] = 0;
    GetWindowTextW(window, title, TITLE_CAPACITY);
    title[TITLE_CAPACITY - 1] = 0;
    report("WINDOW %ld %ld %ld %ld %s", r.left, r.top, r.right - r.left, r.bottom - r.top, to_utf8(title));
}

// The watch's calls end by its end, which is the run's: a scan it cuts
// short ends the watch.
static void watch_route(uint64_t end)
{
    ui_route.call_deadline = end;
    ui_route.run_end = end;
}

// After a confirmed press: wait for the game or the window to close, and
// press again only when this tool itself cleared a pop-up in the meantime.
// The press forgot what the search saw of the page (press.h).
static void watch_after_press(HWND window, LocateState* state)
{
    uint64_t end = current_tick() + WATCH_MS;
    watch_route(end);
    // One scan the press's end cut short was slow, not hung: the watch may
    // ask again.
    ui_route.run_ended = 0;
    int represses = 0;
    int pending = 0;
    while (current_tick() < end) {
        wait_ms(WATCH_POLL_MS);
        DWORD game = new_game_process(window);
        if (game) {
            report("GAME %lu", game);
            return;
        }
        if (!IsWindow(window) || !IsWindowVisible(window))
            return;
        int popups_before = state->popup_closes;
        int escapes_before = state->escape_count;
        PlayTarget target;
        int handled = 0;
        const char* word = locate_play(window, state, &target, &handled);
        if (ui_route.run_ended) {
            release_target(window, &target);
            return;
        }
        // Only what the tool itself cleared (a launcher above it it leaves alone).
        if ((state->popup_closes != popups_before || state->escape_count != escapes_before) &&
            !launcher_above_tool(window))
            pending = 1;
        if (word && pending && represses < MAX_REPRESSES) {
            represses++;
            pending = 0;
            report("FOUND %s again", word);
            // The first press's rules, with the watch's end for the press's.
            press_target(window, &target, state, end);
            watch_route(end);
        }
        release_target(window, &target);
    }
}

static void bring_front_window()
{
    // Not over a full-screen program, nor with the player away.
    if (front_title[0] == 0 || foreground_off_limits())
        return;
    HWND front = FindWindowW(nullptr, front_title);
    if (front)
        bring_to_front(front);
}

// The run ends without a confirmed press: the windows shown again first,
// then the diagnosis (its picture with them shown), then STUCK.
static int end_stuck(HWND window)
{
    if (hide_mode)
        restore_windows(window);
    write_diagnosis("STUCK", 4);
    report("STUCK");
    return 4;
}

// Reports the target and, in press, presses it and watches for the game.
// The run's exit code.
static int press_found(HWND window, LocateState* state, const char* word, PlayTarget* target)
{
    RECT r = target->rect;
    if (target->in_client) {
        POINT origin = {0, 0};
        ClientToScreen(window, &origin);
        OffsetRect(&r, origin.x, origin.y);
    }
    // A caller may act on a run's last line at once, so the launcher is
    // shown again before it, not after. Nothing is pressed in find: the
    // launcher must not stay invisible.
    if (find_only && hide_mode)
        restore_windows(window);
    report("FOUND %s %ld %ld %ld %ld", word, r.left, r.top, r.right - r.left, r.bottom - r.top);
    // The press has its own end; the search's no longer ends it.
    int pressed = find_only ? 1 : press_target(window, target, state, current_tick() + PRESS_MS);
    release_target(window, target);
    if (!pressed)
        return end_stuck(window);
    if (!find_only)
        watch_after_press(window, state);
    bring_front_window();
    return 0;
}

// With no window shown: a launcher process whose windows are all hidden is
// named (once, within the first pass), and the search waits on for one to
// show.
static void look_for_hidden_launcher(uint64_t* next_look)
{
    uint64_t now = current_tick();
    if (machine_now.launcher_hidden || now < *next_look)
        return;
    *next_look = now + HIDDEN_LOOK_MS;
    if (machine.hidden_launcher() != 0) {
        machine_now.launcher_hidden = 1;
        name_machine_states();
    }
}

// A press against a launcher above the tool ends by this tick (0: none):
// its window's first sight plus ABOVE_TOOL_END_MS, the run's deadline at
// the latest. Calls into its UI end by then too.
static uint64_t above_tool_end(HWND window, uint64_t deadline)
{
    uint64_t end = 0;
    if (!find_only && launcher_above_tool(window)) {
        end = current_tick() + ABOVE_TOOL_END_MS;
        if (end > deadline)
            end = deadline;
    }
    ui_route.call_deadline = end ? end : deadline;
    ui_route.run_end = ui_route.call_deadline;
    return end;
}

int run_press(int timeout_seconds)
{
    uint64_t deadline = current_tick() + (uint64_t)timeout_seconds * 1000u;
    start_ui_route(deadline);
    start_machine_now();
    LocateState state;
    memset(&state, 0, sizeof state);
    record_java_baseline();

    HWND previous = nullptr;
    int waiting_reported = 0;
    uint64_t next_hidden_look = 0;
    uint64_t elevated_end = 0;
    // The window went away for a poll or more: when it shows again, what the
    // passes saw of it before no longer holds.
    int window_missed = 0;
    while (current_tick() < deadline && !(elevated_end && current_tick() >= elevated_end)) {
        LauncherWindows found;
        HWND window = find_launcher_windows(&found);
        if (!window) {
            if (!waiting_reported)
                report("WAITING window");
            waiting_reported = 1;
            window_missed = 1;
            look_for_hidden_launcher(&next_hidden_look);
            wait_ms(hide_mode ? NO_WINDOW_POLL_HIDDEN_MS : NO_WINDOW_POLL_MS);
            continue;
        }
        read_machine_now(window);
        if (hide_mode) {
            // Never a launcher above the tool: Windows refuses the tool the
            // style back, and it would stay invisible.
            for (int i = 0; i < found.count && i < MAX_LAUNCHER_WINDOWS; i++)
                if (!launcher_above_tool(found.windows[i]))
                    hide_window(found.windows[i]);
        }
        if (IsIconic(window) && window_answers(window)) {
            show_window_by(window, SW_SHOWNOACTIVATE, current_tick() + ANSWER_TIMEOUT_MS);
            wait_ms(RESTORED_WAIT_MS);
        }
        if (window != previous) {
            report_window(window);
            elevated_end = above_tool_end(window, deadline);
        }
        if (window != previous || window_missed)
            start_locate_window(&state, current_tick());
        window_missed = 0;
        previous = window;
        name_machine_states();

        PlayTarget target;
        int handled = 0;
        const char* word = locate_play(window, &state, &target, &handled);
        name_machine_states();
        if (word)
            return press_found(window, &state, word, &target);
        // A scan cut short by the run's end, and no Play in a last picture.
        if (ui_route.run_ended)
            break;
        if (handled)
            wait_ms(ACTED_POLL_MS);
        else
            wait_ms(hide_mode ? NO_TARGET_POLL_HIDDEN_MS : NO_TARGET_POLL_MS);
        if (current_tick() >= deadline && IsWindow(window) && !elevated_end) {
            // The time is up between passes: one last picture, as when the
            // run's end cuts a scan short.
            word = locate_last_look(window, &state, &target);
            if (word)
                return press_found(window, &state, word, &target);
        }
    }

    // A launcher above the tool, and no Play in time: the launcher is there,
    // and only the player can press it.
    if (elevated_end && current_tick() >= elevated_end)
        return end_stuck(previous);
    // Showing the windows again shares its wait with what the run's end
    // took past the time-out (a cut scan, a last picture): the run ends
    // within one such wait of its time-out.
    if (hide_mode)
        restore_windows_by(previous, deadline + SHOW_WAIT_MS);
    int code = state.login_reported ? 3 : 2;
    write_diagnosis("NOTFOUND", code);
    report("NOTFOUND");
    return code;
}
