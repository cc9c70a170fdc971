#include "press/press.h"

#include <stdlib.h>
#include <string.h>

#include "app/report.h"
#include "press/clock.h"
#include "uia/classify.h"
#include "vision/capture.h"
#include "vision/comparisons.h"
#include "vision/green_button.h"
#include "windows/coordinates.h"
#include "windows/input_calls.h"
#include "windows/java_watch.h"
#include "windows/machine_now.h"
#include "windows/window_handling.h"

enum {
    METHOD_INVOKE = 0,
    METHOD_LEGACY = 1,
    METHOD_MESSAGE = 2,
    METHOD_CLICK = 3,
    CONFIRM_POLL_MS = 500,
    CONFIRM_BLIND_POLLS = 2,  // the button may take a moment to react
    MAX_CHILD_DESCENTS = 8,
    COLOUR_TOLERANCE = 10,
    FRONT_WAIT_MS = 300,      // for the window brought forward before a real click
    CURSOR_SETTLE_MS = 30,
    AFTER_CLICK_MS = 60,
};

static const char* const METHOD_WORDS[] = {"invoke", "legacy", "message", "click"};

POINT target_center(HWND window, const PlayTarget* target)
{
    POINT p = rect_centre(target->rect);
    if (target->in_client)
        ClientToScreen(window, &p);
    return p;
}

// The window as a press found it, and its target in the window's client
// coordinates: where the press aims and where a look judges Play gone.
struct PressFrame {
    RECT window;
    RECT client;
};

static void frame_press(HWND window, const PlayTarget* target, PressFrame* frame)
{
    if (!GetWindowRect(window, &frame->window))
        frame->window = RECT{0, 0, 0, 0};
    frame->client = target->rect;
    if (!target->in_client) {
        POINT origin = {0, 0};
        ClientToScreen(window, &origin);
        OffsetRect(&frame->client, -origin.x, -origin.y);
    }
}

// The target's centre on screen, where the window is now.
static POINT aim_point(HWND window, const PressFrame* frame)
{
    POINT p = rect_centre(frame->client);
    ClientToScreen(window, &p);
    return p;
}

// A window moved or resized since the press began (dragged, snapped, another
// DPI) shows its page elsewhere: no look then tells whether Play went.
static int window_as_framed(HWND window, const PressFrame* frame)
{
    RECT now;
    return GetWindowRect(window, &now) && EqualRect(&now, &frame->window);
}

static Rect as_rect(RECT r)
{
    return Rect{r.left, r.top, r.right, r.bottom};
}

static int colours_close(uint32_t a, uint32_t b)
{
    for (int shift = 0; shift <= 16; shift += 8) {
        int ca = (int)((a >> shift) & 0xFF);
        int cb = (int)((b >> shift) & 0xFF);
        if (abs(ca - cb) > COLOUR_TOLERANCE)
            return 0;
    }
    return 1;
}

// A picture without the button, or with another one in its place, shows it
// gone (a LookSaw). No picture shows nothing: a launcher covered, hidden or
// not answering has not shown that Play went away.
static int pixel_target_seen(HWND window, const PlayTarget* target, const PressFrame* frame)
{
    Capture picture;
    memset(&picture, 0, sizeof picture);
    if (!capture_window(window, &picture))
        return SAW_NOTHING;
    Rect box = {0, 0, 0, 0};
    uint32_t colour = 0;
    int there = find_green_button(&picture, &box, &colour) && boxes_agree(box, as_rect(frame->client)) &&
                colours_close(colour, target->colour);
    release_capture(&picture);
    if (!window_as_framed(window, frame))
        return SAW_NOTHING;
    return there ? SAW_PRESENT : SAW_ABSENT;
}

// A look (the whole of a built page) without Play where the target was, in
// the window's client area, shows it gone. A scan cut short, failed in part,
// of a page being rebuilt (Chromium empties its tree after a click), or
// taken while the window was elsewhere than the press found it shows nothing.
static int element_target_seen(HWND window, const PressFrame* frame)
{
    if (!window_as_framed(window, frame))
        return SAW_NOTHING;
    UiScan scan;
    if (!scan_launcher_ui_by(window, &scan))
        return SAW_NOTHING;
    int seen = SAW_NOTHING;
    POINT origin = {0, 0};
    if (scan_shows_page(&scan) && window_as_framed(window, frame) && ClientToScreen(window, &origin)) {
        seen = SAW_ABSENT;
        for (int i = 0; i < scan.play_count && i < MAX_PLAYS && seen == SAW_ABSENT; i++) {
            RECT r = scan.plays[i].rect;
            OffsetRect(&r, -origin.x, -origin.y);
            if (boxes_agree(as_rect(r), as_rect(frame->client)))
                seen = SAW_PRESENT;
        }
    }
    release_scan_by(window, &scan);
    return seen;
}

static int target_seen(HWND window, const PlayTarget* target, const PressFrame* frame)
{
    if (target->in_client)
        return pixel_target_seen(window, target, frame);
    return element_target_seen(window, frame);
}

int target_still_there(HWND window, const PlayTarget* target)
{
    PressFrame frame;
    frame_press(window, target, &frame);
    return target_seen(window, target, &frame) != SAW_ABSENT;
}

int post_click_message(HWND window, POINT p)
{
    HWND w = window;
    for (int descents = 0; descents < MAX_CHILD_DESCENTS; descents++) {
        POINT local = p;
        ScreenToClient(w, &local);
        HWND child = ChildWindowFromPointEx(w, local, CWP_SKIPINVISIBLE | CWP_SKIPDISABLED | CWP_SKIPTRANSPARENT);
        if (!child || child == w)
            break;
        w = child;
    }
    // In w's own client coordinates: a posted message is not rescaled. A
    // message refused (a window of higher integrity, a full queue) ends the
    // click: the launcher did not get it.
    LPARAM where = client_point_lparam(w, p);
    if (!input_calls.post_message(w, WM_MOUSEMOVE, 0, where))
        return 0;
    wait_ms(40);
    if (!input_calls.post_message(w, WM_LBUTTONDOWN, MK_LBUTTON, where))
        return 0;
    wait_ms(70);
    return input_calls.post_message(w, WM_LBUTTONUP, 0, where) != 0;
}

// The cursor at p, read back: a ClipCursor rectangle, a full-screen
// application or the player's own hand may keep it elsewhere.
static int cursor_put_at(POINT p)
{
    if (!input_calls.set_cursor_pos(p.x, p.y))
        return 0;
    wait_ms(CURSOR_SETTLE_MS);
    POINT at = {0, 0};
    return input_calls.get_cursor_pos(&at) && at.x == p.x && at.y == p.y;
}

// Move, button down and button up as one batch, so that no other input
// comes between them and the press lands where the move put it.
static int send_click_at(POINT p)
{
    int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width <= 0 || height <= 0)
        return 0;
    INPUT inputs[3];
    ZeroMemory(inputs, sizeof inputs);
    for (INPUT& input : inputs)
        input.type = INPUT_MOUSE;
    inputs[0].mi.dx = absolute_input_coordinate(p.x - left, width);
    inputs[0].mi.dy = absolute_input_coordinate(p.y - top, height);
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    UINT sent = input_calls.send_input(3, inputs, sizeof(INPUT));
    wait_ms(AFTER_CLICK_MS);
    return sent == 3;
}

// A real click at p, only with the cursor read back there and the launcher
// itself under it, and only on a window that still answers (unhiding it
// would wait for it) and that Windows let come to the front. 1 when the
// whole click went out; the cursor is put back either way.
static int real_click(HWND window, POINT p)
{
    if (!window_answers(window))
        return 0;
    int was_hidden = GetPropW(window, HIDDEN_PROPERTY) != nullptr;
    if (was_hidden)
        unhide_window(window);
    if (try_bring_to_front(window) == FRONT_REFUSED) {
        machine_now.foreground_refused = 1;
        if (was_hidden)
            hide_window(window);
        return 0;
    }
    wait_ms(FRONT_WAIT_MS);
    int clicked = 0;
    POINT saved = {0, 0};
    if (input_calls.get_cursor_pos(&saved)) {
        if (cursor_put_at(p)) {
            HWND under = input_calls.window_from_point(p);
            clicked = under && GetAncestor(under, GA_ROOT) == window && send_click_at(p);
        }
        input_calls.set_cursor_pos(saved.x, saved.y);
    }
    if (was_hidden)
        hide_window(window);
    return clicked;
}

static uint64_t earlier_of(uint64_t a, uint64_t b)
{
    return a < b ? a : b;
}

static uint32_t ms_until(uint64_t tick)
{
    uint64_t now = current_tick();
    return tick > now ? (uint32_t)(tick - now) : 0;
}

// One look at the target, counted by the absence rule: 1 when it proves the
// target gone. As in the search, only a look that saw it absent decides.
static int look_at_target(HWND window, const PlayTarget* target, const PressFrame* frame, AbsenceSeries* gone,
                          uint64_t since)
{
    int saw = target_seen(window, target, frame);
    count_absence(gone, saw);
    return saw == SAW_ABSENT && absence_holds(gone, current_tick(), since);
}

// After an action went out: 1 when the game started, the window went away, or
// looks showed the target gone by the rule any absence is taken on
// (locate.h), its time floor counted from now. Polls for CONFIRM_MS; a slow
// client's look in progress at that end still counts, and when it is the
// first of the two needed a second is taken; none is begun past `end`.
static int confirm_press(HWND window, const PlayTarget* target, const PressFrame* frame, uint64_t end)
{
    uint64_t since = current_tick();
    uint64_t until = earlier_of(since + CONFIRM_MS, end);
    // Calls into the launcher's UI end within the method's own time (a slow
    // client's look gets more, see launcher_ui.h).
    ui_route.call_deadline = until;
    AbsenceSeries gone = {0, 0};
    int polls = 0;
    while (current_tick() < until) {
        wait_ms(CONFIRM_POLL_MS);
        DWORD game = new_game_process(window);
        if (game) {
            report("GAME %lu", game);
            return 1;
        }
        if (window_gone(window))
            return 1;
        polls++;
        if (polls <= CONFIRM_BLIND_POLLS || current_tick() >= end)
            continue;
        if (look_at_target(window, target, frame, &gone, since))
            return 1;
    }
    if (new_game_process(window) != 0 || window_gone(window))
        return 1;
    return gone.absent_looks == LOOKS_BEFORE_VERDICT - 1 && current_tick() < end &&
           look_at_target(window, target, frame, &gone, since);
}

// Carries out one method: ACTION_DONE when it went out, ACTION_PENDING for an
// action that overran (kept in `pending`), ACTION_REFUSED when nothing went.
static int carry_out(int method, HWND window, const PlayTarget* target, const PressFrame* frame, uint64_t end,
                     PendingAction* pending)
{
    ui_route.call_deadline = earlier_of(current_tick() + CONFIRM_MS, end);
    if (method == METHOD_INVOKE || method == METHOD_LEGACY)
        return start_press_action(window, target->element, method == METHOD_LEGACY, pending);
    if (method == METHOD_MESSAGE)
        return post_click_message(window, aim_point(window, frame)) ? ACTION_DONE : ACTION_REFUSED;
    return real_click(window, aim_point(window, frame)) ? ACTION_DONE : ACTION_REFUSED;
}

// What the player's machine leaves of a method now (machine_now.h): a
// launcher above the tool takes neither posted messages nor input, only UI
// Automation's actions, whose refusal costs nothing; a real click needs the
// screen.
static int method_open(int method, HWND window)
{
    if (launcher_above_tool(window))
        return method == METHOD_INVOKE || method == METHOD_LEGACY;
    return method != METHOD_CLICK || !screen_off_limits();
}

int press_target(HWND window, const PlayTarget* target, LocateState* state, unsigned long long end)
{
    PressFrame frame;
    frame_press(window, target, &frame);
    ui_route.run_end = end;
    ui_route.press_looks = 1;
    PendingAction pending = {nullptr, window};
    int pending_method = -1;
    int pressed = -1;
    int first = target->element ? METHOD_INVOKE : METHOD_MESSAGE;
    for (int method = first; method <= METHOD_CLICK && pressed < 0; method++) {
        if (pending.call) {
            // The action before may still land: it is waited for within this
            // method's time, confirmed when it was done, and never pressed
            // over while it may still land.
            int was = await_pending_action(&pending, ms_until(earlier_of(current_tick() + CONFIRM_MS, end)));
            if (was == ACTION_PENDING)
                break;
            if (was == ACTION_DONE && confirm_press(window, target, &frame, end)) {
                pressed = pending_method;
                break;
            }
        }
        if (current_tick() >= end)
            break;
        if (IsWindow(window))
            read_machine_now(window);
        name_machine_states();
        if (!method_open(method, window))
            continue;
        report("TRY %s", METHOD_WORDS[method]);
        int done = carry_out(method, window, target, &frame, end, &pending);
        if (done == ACTION_PENDING)
            pending_method = method;
        if (done != ACTION_REFUSED && confirm_press(window, target, &frame, end))
            pressed = method;
    }
    let_go_of_action(&pending);
    ui_route.press_looks = 0;
    name_machine_states();  // a foreground refused to the last method
    // The page after a press is a new one.
    if (state)
        forget_page(state, current_tick());
    if (pressed < 0)
        return 0;
    report("PRESSED %s", METHOD_WORDS[pressed]);
    return 1;
}
