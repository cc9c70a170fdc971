#include "press/locate.h"

#include <stdlib.h>
#include <string.h>

#include "app/report.h"
#include "app/settings.h"
#include "press/clock.h"
#include "press/press.h"
#include "uia/classify.h"
#include "uia/launcher_ui.h"
#include "vision/capture.h"
#include "vision/comparisons.h"
#include "vision/green_button.h"
#include "windows/window_handling.h"

// Waits, all in milliseconds of the tick count; each is passed only when the
// elapsed time is strictly greater.
enum {
    CANDIDATE_GRACE_MS = 2500,
    PIXEL_FALLBACK_AFTER_MS = 3000,
    ESCAPE_AFTER_MS = 5000,
    ESCAPE_SPACING_MS = 4000,
    MAX_ESCAPES_BEFORE = 2,      // a fourth Escape never goes out
    MAX_POPUP_CLOSES_BEFORE = 5, // a seventh pop-up is looked past
};

// Looks, counted beside the waits: on Windows a scan takes milliseconds and
// the waits decide; on a slow client the looks do.
enum {
    LOOKS_BEFORE_VERDICT = 2,
    // More passes than this in a row without a look and the looks so far no
    // longer tell what the page shows: a re-render may have replaced it.
    LOOKS_EXPIRE_AFTER_PASSES = 2,
    // A page whose tree has not come for this long and this many scans is
    // read as one without a tree (accessibility off): by its picture alone.
    // Chromium builds a cold tree within seconds of being asked.
    TREE_OVERDUE_MS = 10000,
    TREE_OVERDUE_SCANS = 4,
};

void start_locate_window(LocateState* state, unsigned long long now)
{
    state->tab_tried = 0;
    state->java_tried = 0;
    state->first_seen = now;
    state->candidate_since = 0;
    state->candidate_looks = 0;
    state->absent_looks = 0;
    state->passes_without_look = 0;
    state->unbuilt_since = 0;
}

static RECT from_rect(Rect r)
{
    RECT out = {r.left, r.top, r.right, r.bottom};
    return out;
}

// Index of the dismiss button whose centre is nearest (city-block) to the
// pop-up's centre; the first of equals stays. -1 when there is none.
static int nearest_dismiss(const UiScan* scan)
{
    int best = -1;
    long long best_distance = 0;
    int cx = (scan->store_rect.left + scan->store_rect.right) / 2;
    int cy = (scan->store_rect.top + scan->store_rect.bottom) / 2;
    for (int i = 0; i < scan->dismiss_count && i < MAX_DISMISS; i++) {
        const RECT* r = &scan->dismiss[i].rect;
        int x = (r->left + r->right) / 2;
        int y = (r->top + r->bottom) / 2;
        long long distance = llabs((long long)x - cx) + llabs((long long)y - cy);
        if (best < 0 || distance < best_distance) {
            best = i;
            best_distance = distance;
        }
    }
    return best;
}

static void close_store_popup(HWND window, const UiScan* scan)
{
    int i = nearest_dismiss(scan);
    if (i >= 0 && scan->dismiss[i].element) {
        IUIAutomationElement* button = scan->dismiss[i].element;
        if (activate_element_by(window, button, 0) || activate_element_by(window, button, 1)) {
            report("POPUP closed with %s", to_utf8(scan->dismiss[i].name));
            return;
        }
    }
    send_escape(window);
    report("POPUP closed with Escape");
}

static void report_not_selected(LocateState* state)
{
    if (!state->not_selected_reported)
        report("NOT_SELECTED");
    state->not_selected_reported = 1;
}

enum PictureLook { LOOK_SKIPPED, LOOK_PLAY, LOOK_UNMARKED, LOOK_NO_BUTTON };

// A picture of the window: LOOK_PLAY with the target filled when a green
// button stands beside the profile marker.
static int look_in_picture(HWND window, PlayTarget* target)
{
    Capture picture;
    memset(&picture, 0, sizeof picture);
    if (!capture_window(window, &picture))
        return LOOK_SKIPPED;
    int look = LOOK_NO_BUTTON;
    Rect box = {0, 0, 0, 0};
    uint32_t colour = 0;
    if (find_green_button(&picture, &box, &colour)) {
        look = LOOK_UNMARKED;
        if (has_profile_marker(&picture, box)) {
            target->in_client = 1;
            target->rect = from_rect(box);
            target->colour = colour;
            target->element = nullptr;
            look = LOOK_PLAY;
        }
    }
    release_capture(&picture);
    return look;
}

// Step with no Play candidate: a green button beside the profile marker, or
// an Escape for a suspected pop-up. 1 when the target was filled. With
// `picture_alone` no scan tells what the page holds, as without automation;
// else the pass waits for enough looks that saw no candidate.
static int try_pixel_fallback(HWND window, LocateState* state, const UiScan* scan, PlayTarget* target,
                              uint64_t now, int picture_alone)
{
    if (scan->disabled_plays != 0 || now - state->first_seen <= PIXEL_FALLBACK_AFTER_MS ||
        (!picture_alone && state->absent_looks < LOOKS_BEFORE_VERDICT))
        return 0;
    int look = look_in_picture(window, target);
    if (look == LOOK_UNMARKED && scan->login_count == 0) {
        // Beside sign-in captions a green button is the sign-in button, not
        // Play with another profile: LOGIN tells the caller.
        report_not_selected(state);
    } else if (look == LOOK_NO_BUTTON && !find_only && current_tick() - state->first_seen > ESCAPE_AFTER_MS &&
               current_tick() - state->last_escape > ESCAPE_SPACING_MS &&
               state->escape_count <= MAX_ESCAPES_BEFORE && scan->login_count == 0) {
        send_escape(window);
        state->escape_count++;
        state->last_escape = current_tick();
        report("POPUP? Escape");
    }
    return look == LOOK_PLAY;
}

// A candidate not beside the profile name counts once the marker shows
// beside it, or beside a green button, in a fresh capture.
static int confirm_candidate(HWND window, RECT screen_rect)
{
    Capture picture;
    memset(&picture, 0, sizeof picture);
    if (!capture_window(window, &picture))
        return 0;
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    Rect client = {screen_rect.left - origin.x, screen_rect.top - origin.y,
                   screen_rect.right - origin.x, screen_rect.bottom - origin.y};
    int confirmed = has_profile_marker(&picture, client);
    if (!confirmed) {
        Rect box = {0, 0, 0, 0};
        confirmed = find_green_button(&picture, &box, nullptr) && has_profile_marker(&picture, box);
    }
    release_capture(&picture);
    return confirmed;
}

// When no pattern takes the action (some clients reach none), a click at
// the element's centre does, as Play's own message method.
static void click_element(HWND window, const ElementSlot* slot)
{
    PlayTarget spot;
    memset(&spot, 0, sizeof spot);
    spot.rect = slot->rect;
    post_click_message(window, &spot);
}

static void try_play_tab(HWND window, const ElementSlot* tab)
{
    if (!activate_element_by(window, tab->element, 0) && !select_element_by(window, tab->element) &&
        !activate_element_by(window, tab->element, 1))
        click_element(window, tab);
}

static void try_java_entry(HWND window, const ElementSlot* entry)
{
    if (!select_element_by(window, entry->element) && !activate_element_by(window, entry->element, 0) &&
        !activate_element_by(window, entry->element, 1))
        click_element(window, entry);
}

// Steps for a pass that saw no store pop-up to handle: a candidate, a tab to
// try, the pixel fallback or a sign-in page. The caller releases the scan.
static const char* decide_on_play(HWND window, LocateState* state, const UiScan* scan,
                                  PlayTarget* target, int* handled, int picture_alone)
{
    uint64_t now = current_tick();
    int beside = 0;
    int chosen = choose_play(scan, &beside);

    if (chosen < 0 || chosen >= scan->play_count || chosen >= MAX_PLAYS) {
        state->candidate_since = 0;
        state->candidate_looks = 0;
        if (!picture_alone)
            state->absent_looks++;
        if (try_pixel_fallback(window, state, scan, target, now, picture_alone))
            return "pixels";
        if (scan->login_count != 0 && !state->login_reported) {
            report("LOGIN");
            state->login_reported = 1;
            if (hide_mode)
                restore_windows(window);
        }
        return nullptr;
    }

    if (state->candidate_since == 0)
        state->candidate_since = now;
    state->candidate_looks++;
    state->absent_looks = 0;
    const char* word = nullptr;
    if (beside) {
        word = "uia";
    } else if (scan->profile_count >= 1 && scan->play_tab.element && !state->tab_tried) {
        state->tab_tried = 1;
        if (!find_only)
            try_play_tab(window, &scan->play_tab);
        *handled = 1;
    } else if (scan->profile_count == 0 && scan->java_tab.element && !state->java_tried) {
        state->java_tried = 1;
        if (!find_only)
            try_java_entry(window, &scan->java_tab);
        *handled = 1;
    } else if (now - state->candidate_since <= CANDIDATE_GRACE_MS ||
               state->candidate_looks < LOOKS_BEFORE_VERDICT) {
        // The grace has not run out yet: its time, or its looks.
    } else if (confirm_candidate(window, scan->plays[chosen].rect)) {
        word = "uia+icon";
    } else {
        report_not_selected(state);
    }
    if (!word)
        return nullptr;

    // The target takes its own reference; the scan's goes with release_scan.
    const ElementSlot* play = &scan->plays[chosen];
    target->in_client = 0;
    target->rect = play->rect;
    target->colour = 0;
    target->element = play->element;
    if (target->element)
        target->element->AddRef();
    return word;
}

// A finished scan of a page not yet built: no look. Past a few such passes
// the looks so far expire; past TREE_OVERDUE the page is read as one that
// has no tree. 1 when the pass is to go by the picture alone.
static int note_page_not_built(LocateState* state, uint64_t now)
{
    if (state->passes_without_look == 0)
        state->unbuilt_since = now;
    state->passes_without_look++;
    if (state->passes_without_look > LOOKS_EXPIRE_AFTER_PASSES) {
        state->candidate_since = 0;
        state->candidate_looks = 0;
        state->absent_looks = 0;
    }
    return state->passes_without_look >= TREE_OVERDUE_SCANS && now - state->unbuilt_since > TREE_OVERDUE_MS;
}

// What the picture alone has to go by: no element, caption or count.
static const UiScan no_scan = {};

const char* locate_play(HWND window, LocateState* state, PlayTarget* target, int* handled)
{
    memset(target, 0, sizeof *target);
    *handled = 0;
    const char* word = nullptr;
    // About 8 KB: lives on the stack for this pass only.
    UiScan scan;
    int finished = scan_launcher_ui_by(window, &scan);
    int built = finished && scan_shows_page(&scan);

    if (ui_route.run_ended) {
        // The run's end cut the scan short: no verdict that needs an absence,
        // but Play beside the marker in a last picture is Play all the same,
        // however short the run was.
        if (look_in_picture(window, target) == LOOK_PLAY)
            word = "pixels";
    } else if (finished && !built && scan.element_count > 0) {
        // The tree is still coming (Chromium builds it once asked): wait,
        // unless it is overdue. Whatever the scan read proves nothing.
        if (note_page_not_built(state, current_tick()))
            word = decide_on_play(window, state, &no_scan, target, handled, 1);
    } else if (built && scan.store_count != 0 && state->popup_closes <= MAX_POPUP_CLOSES_BEFORE) {
        state->passes_without_look = 0;
        state->popup_closes++;
        if (!find_only)
            close_store_popup(window, &scan);
        *handled = 1;
    } else if (built) {
        state->passes_without_look = 0;
        word = decide_on_play(window, state, &scan, target, handled, 0);
    } else {
        // No automation, the route given up, or a window without a single
        // element (no tree to wait for): the picture alone decides.
        word = decide_on_play(window, state, &no_scan, target, handled, 1);
    }
    release_scan_by(window, &scan);
    return word;
}
