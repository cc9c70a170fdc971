#include "press/press.h"

#include <stdlib.h>
#include <string.h>

#include "app/report.h"
#include "press/clock.h"
#include "uia/classify.h"
#include "uia/launcher_ui.h"
#include "vision/capture.h"
#include "vision/comparisons.h"
#include "vision/green_button.h"
#include "windows/coordinates.h"
#include "windows/java_watch.h"
#include "windows/window_handling.h"

enum {
    METHOD_INVOKE = 0,
    METHOD_LEGACY = 1,
    METHOD_MESSAGE = 2,
    METHOD_CLICK = 3,
    CONFIRM_MS = 4500,
    CONFIRM_POLL_MS = 500,
    CONFIRM_BLIND_POLLS = 2,   // the button may take a moment to react
    CONFIRM_LOOKS = 2,         // looks in a row that show the target gone
    MAX_CHILD_DESCENTS = 8,
    COLOUR_TOLERANCE = 10,
};

static const char* const METHOD_WORDS[] = {"invoke", "legacy", "message", "click"};

POINT target_center(HWND window, const PlayTarget* target)
{
    POINT p = rect_centre(target->rect);
    if (target->in_client)
        ClientToScreen(window, &p);
    return p;
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

// What one look during a confirmation showed of the target.
enum TargetSeen { TARGET_GONE, TARGET_THERE, TARGET_UNKNOWN };

// A picture without the button, or with another one in its place, shows it
// gone. No picture shows nothing: a launcher covered, hidden or not
// answering has not shown that Play went away.
static int pixel_target_seen(HWND window, const PlayTarget* target)
{
    Capture picture;
    memset(&picture, 0, sizeof picture);
    if (!capture_window(window, &picture))
        return TARGET_UNKNOWN;
    Rect box = {0, 0, 0, 0};
    uint32_t colour = 0;
    Rect then = {target->rect.left, target->rect.top, target->rect.right, target->rect.bottom};
    int there = find_green_button(&picture, &box, &colour) && boxes_agree(box, then) &&
                colours_close(colour, target->colour);
    release_capture(&picture);
    return there ? TARGET_THERE : TARGET_GONE;
}

// A look (the whole of a built page) without Play where the target was
// shows it gone, as a look shows absences to the search. A scan cut short,
// failed in part, or of a page being rebuilt (Chromium empties its tree
// after a click) shows nothing.
static int element_target_seen(HWND window, const PlayTarget* target)
{
    UiScan scan;
    if (!scan_launcher_ui_by(window, &scan))
        return TARGET_UNKNOWN;
    int seen = TARGET_UNKNOWN;
    if (scan_shows_page(&scan)) {
        Rect then = {target->rect.left, target->rect.top, target->rect.right, target->rect.bottom};
        seen = TARGET_GONE;
        for (int i = 0; i < scan.play_count && i < MAX_PLAYS && seen == TARGET_GONE; i++) {
            const RECT* r = &scan.plays[i].rect;
            Rect now = {r->left, r->top, r->right, r->bottom};
            if (boxes_agree(now, then))
                seen = TARGET_THERE;
        }
    }
    release_scan_by(window, &scan);
    return seen;
}

static int target_seen(HWND window, const PlayTarget* target)
{
    if (target->in_client)
        return pixel_target_seen(window, target);
    return element_target_seen(window, target);
}

int target_still_there(HWND window, const PlayTarget* target)
{
    return target_seen(window, target) != TARGET_GONE;
}

void post_click_message(HWND window, const PlayTarget* target)
{
    POINT p = target_center(window, target);
    HWND w = window;
    for (int descents = 0; descents < MAX_CHILD_DESCENTS; descents++) {
        POINT local = p;
        ScreenToClient(w, &local);
        HWND child = ChildWindowFromPointEx(w, local, CWP_SKIPINVISIBLE | CWP_SKIPDISABLED | CWP_SKIPTRANSPARENT);
        if (!child || child == w)
            break;
        w = child;
    }
    // In w's own client coordinates: a posted message is not rescaled.
    LPARAM where = client_point_lparam(w, p);
    PostMessageW(w, WM_MOUSEMOVE, 0, where);
    wait_ms(40);
    PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, where);
    wait_ms(70);
    PostMessageW(w, WM_LBUTTONUP, 0, where);
}

static void send_mouse_button(DWORD flag)
{
    INPUT input;
    ZeroMemory(&input, sizeof input);
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flag;
    SendInput(1, &input, sizeof(INPUT));
}

// A real click at the centre: only when the launcher itself is under it,
// and only on a window that still answers (unhiding it would wait for it).
static int real_click(HWND window, const PlayTarget* target)
{
    if (!window_answers(window))
        return 0;
    POINT p = target_center(window, target);
    int was_hidden = GetPropW(window, HIDDEN_PROPERTY) != nullptr;
    if (was_hidden)
        unhide_window(window);
    bring_to_front(window);
    wait_ms(300);
    HWND under = WindowFromPoint(p);
    if (!under || GetAncestor(under, GA_ROOT) != window) {
        if (was_hidden)
            hide_window(window);
        return 0;
    }
    POINT saved = {0, 0};
    GetCursorPos(&saved);
    SetCursorPos(p.x, p.y);
    wait_ms(30);
    send_mouse_button(MOUSEEVENTF_LEFTDOWN);
    wait_ms(70);
    send_mouse_button(MOUSEEVENTF_LEFTUP);
    wait_ms(60);
    SetCursorPos(saved.x, saved.y);
    if (was_hidden)
        hide_window(window);
    return 1;
}

// 1 when the game started, the window went away or two looks in a row
// showed the target gone, as the search takes an absence: one look may catch
// a page half rebuilt. A slow client's look may end past the confirmation's
// time (its scan is waited for, see launcher_ui.h); when the first look of
// two came, the second is still taken at the end.
static int confirm_press(HWND window, const PlayTarget* target)
{
    uint64_t end = current_tick() + CONFIRM_MS;
    int polls = 0;
    int gone_looks = 0;
    while (current_tick() < end) {
        wait_ms(CONFIRM_POLL_MS);
        DWORD game = new_game_process(window);
        if (game) {
            report("GAME %lu", game);
            return 1;
        }
        if (window_gone(window))
            return 1;
        polls++;
        if (polls <= CONFIRM_BLIND_POLLS)
            continue;
        gone_looks = target_seen(window, target) == TARGET_GONE ? gone_looks + 1 : 0;
        if (gone_looks >= CONFIRM_LOOKS)
            return 1;
    }
    if (new_game_process(window) != 0 || window_gone(window))
        return 1;
    return gone_looks == CONFIRM_LOOKS - 1 && target_seen(window, target) == TARGET_GONE;
}

int press_target(HWND window, const PlayTarget* target)
{
    int first = target->element ? METHOD_INVOKE : METHOD_MESSAGE;
    for (int method = first; method <= METHOD_CLICK; method++) {
        report("TRY %s", METHOD_WORDS[method]);
        // Calls into the launcher's UI end within the method's own time.
        ui_route.call_deadline = current_tick() + CONFIRM_MS;
        int done = 1;
        if (method == METHOD_INVOKE || method == METHOD_LEGACY)
            done = activate_element_by(window, target->element, method == METHOD_LEGACY);
        else if (method == METHOD_MESSAGE)
            post_click_message(window, target);
        else
            done = real_click(window, target);
        if (done && confirm_press(window, target)) {
            report("PRESSED %s", METHOD_WORDS[method]);
            return 1;
        }
    }
    return 0;
}
