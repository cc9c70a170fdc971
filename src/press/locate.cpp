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
#include "windows/machine_now.h"
#include "windows/window_handling.h"

// Waits, all in milliseconds of the tick count; each is passed only when the
// elapsed time is strictly greater.
enum {
    CANDIDATE_GRACE_MS = 2500,
    ESCAPE_AFTER_MS = 5000,
    ESCAPE_SPACING_MS = 4000,
    MAX_ESCAPES_BEFORE = 2,      // a fourth Escape never goes out
    MAX_POPUP_CLOSES_BEFORE = 5, // a seventh pop-up is looked past
};

// Looks, counted beside the waits: on Windows a scan takes milliseconds and
// the waits decide; on a slow client the looks do (count_absence).
enum {
    // A page whose tree has not come for this long and this many scans is
    // read as one without a tree (accessibility off): by its picture alone.
    // Chromium builds a cold tree within seconds of being asked.
    TREE_OVERDUE_MS = 10000,
    TREE_OVERDUE_SCANS = 4,
};

int count_absence(AbsenceSeries* series, int saw)
{
    if (saw == SAW_NOTHING) {
        series->passes_without_look++;
        if (series->passes_without_look <= LOOKS_EXPIRE_AFTER_PASSES)
            return 0;
        series->absent_looks = 0;
        return 1;
    }
    series->passes_without_look = 0;
    series->absent_looks = saw == SAW_ABSENT ? series->absent_looks + 1 : 0;
    return 0;
}

int absence_holds(const AbsenceSeries* series, unsigned long long now, unsigned long long since)
{
    return series->absent_looks >= LOOKS_BEFORE_VERDICT && now - since > ABSENCE_FLOOR_MS;
}

static void forget_looks(LocateState* state)
{
    state->candidate_since = 0;
    state->candidate_looks = 0;
    state->absence = AbsenceSeries{0, 0};
    state->unread_scans = 0;
    state->unbuilt_since = 0;
}

void start_locate_window(LocateState* state, unsigned long long now)
{
    state->tab_tried = 0;
    state->java_tried = 0;
    forget_page(state, now);
    state->tree_seen = 0;
}

void forget_page(LocateState* state, unsigned long long now)
{
    state->first_seen = now;
    forget_looks(state);
    state->disabled_seen = 0;
    state->login_seen = 0;
}

// In find, and against a launcher that runs with more rights than the tool
// (Windows drops what the tool posts or sends it), the pass acts on
// nothing: no pop-up, tab, entry or Escape.
static int hands_off(HWND window)
{
    return find_only || launcher_above_tool(window);
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
    POINT popup = rect_centre(scan->store_rect);
    for (int i = 0; i < scan->dismiss_count && i < MAX_DISMISS; i++) {
        POINT button = rect_centre(scan->dismiss[i].rect);
        long long distance = llabs((long long)button.x - popup.x) + llabs((long long)button.y - popup.y);
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
    if (send_escape(window))
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

// How much a pass's scan tells.
enum Evidence {
    // A look: the whole of a built page. Absences count.
    SCAN_LOOK,
    // A part of the page (a call of the scan failed): what it shows is
    // there, what it lacks is unknown.
    SCAN_PART,
    // No tree to go by (no automation, the route given up, a window without
    // a single element, a tree overdue): the picture alone decides, as
    // without automation.
    PICTURE_ALONE,
};

// Step with no Play candidate: a green button beside the profile marker, or
// an Escape for a suspected pop-up. 1 when the target was filled. After a
// look the pass waits for enough looks that saw no candidate.
static int try_pixel_fallback(HWND window, LocateState* state, const UiScan* scan, PlayTarget* target,
                              uint64_t now, int evidence)
{
    int absent = evidence == SCAN_LOOK ? absence_holds(&state->absence, now, state->first_seen)
                                       : now - state->first_seen > ABSENCE_FLOOR_MS;
    if (scan->disabled_plays != 0 || state->disabled_seen || !absent)
        return 0;
    int look = look_in_picture(window, target);
    // Beside sign-in captions a green button is the sign-in button, not
    // Play with another profile (LOGIN tells the caller), and an Escape
    // would throw the player's sign-in away.
    int sign_in = scan->login_count != 0 || state->login_seen;
    // In high contrast the page's colours are the system's: a button
    // without the marker, or no green at all, tells nothing.
    int colours_tell = !machine_now.high_contrast;
    if (look == LOOK_UNMARKED && !sign_in && colours_tell) {
        report_not_selected(state);
    } else if (look == LOOK_NO_BUTTON && colours_tell && !hands_off(window) &&
               current_tick() - state->first_seen > ESCAPE_AFTER_MS &&
               current_tick() - state->last_escape > ESCAPE_SPACING_MS &&
               state->escape_count <= MAX_ESCAPES_BEFORE && !sign_in) {
        // A refused Escape counts against the limits all the same.
        state->escape_count++;
        state->last_escape = current_tick();
        if (send_escape(window)) {
            report("POPUP? Escape");
            // What the looks saw was the page before the Escape.
            forget_looks(state);
        }
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
    post_click_message(window, rect_centre(slot->rect));
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
                                  PlayTarget* target, int* handled, int evidence)
{
    uint64_t now = current_tick();
    int beside = 0;
    int chosen = choose_play(scan, &beside);
    int candidate = chosen >= 0 && chosen < scan->play_count && chosen < MAX_PLAYS;

    if (!candidate) {
        // A part of a page proves no absence.
        if (evidence == SCAN_PART)
            return nullptr;
        state->candidate_since = 0;
        state->candidate_looks = 0;
        if (evidence == SCAN_LOOK) {
            count_absence(&state->absence, SAW_ABSENT);
            state->disabled_seen |= scan->disabled_plays != 0;
            state->login_seen |= scan->login_count != 0;
        }
        if (try_pixel_fallback(window, state, scan, target, now, evidence))
            return "pixels";
        if (scan->login_count != 0 && !state->login_reported) {
            report("LOGIN");
            state->login_reported = 1;
            if (hide_mode)
                restore_windows(window);
        }
        return nullptr;
    }

    const char* word = nullptr;
    if (beside) {
        // Play beside the profile's name is there, whatever else is not.
        word = "uia";
    } else if (evidence != SCAN_LOOK) {
        return nullptr;
    } else if (scan->profile_count >= 1 && scan->play_tab.element && !state->tab_tried) {
        // Acting on the page makes a new page: the looks start again after.
        state->tab_tried = 1;
        if (!hands_off(window)) {
            try_play_tab(window, &scan->play_tab);
            forget_looks(state);
        }
        *handled = 1;
        return nullptr;
    } else if (scan->profile_count == 0 && scan->java_tab.element && !state->java_tried) {
        state->java_tried = 1;
        if (!hands_off(window)) {
            try_java_entry(window, &scan->java_tab);
            forget_looks(state);
        }
        *handled = 1;
        return nullptr;
    } else {
        // The grace runs from the series' first look, so by the time it has
        // run out a second look has come too.
        if (state->candidate_since == 0)
            state->candidate_since = now;
        state->candidate_looks++;
        count_absence(&state->absence, SAW_PRESENT);
        if (now - state->candidate_since <= CANDIDATE_GRACE_MS)
            return nullptr;
        if (confirm_candidate(window, scan->plays[chosen].rect))
            word = "uia+icon";
        else if (!machine_now.high_contrast)  // the marker's absence tells nothing then
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

// A pass without a look: a scan not read whole (cut, slow, failed in
// part), or a page not yet built. Past a few such passes in a row the looks
// so far expire: a re-render may have replaced the page. A page whose tree
// has not come for TREE_OVERDUE_MS over TREE_OVERDUE_SCANS finished scans is
// read as one that has no tree. 1 when the pass is to go by the picture
// alone.
static int note_pass_without_look(LocateState* state, uint64_t now, int scan_finished)
{
    if (state->absence.passes_without_look == 0)
        state->unbuilt_since = now;
    if (scan_finished)
        state->unread_scans++;
    if (count_absence(&state->absence, SAW_NOTHING)) {
        state->candidate_since = 0;
        state->candidate_looks = 0;
    }
    return state->unread_scans >= TREE_OVERDUE_SCANS && now - state->unbuilt_since > TREE_OVERDUE_MS;
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
    uint64_t now = current_tick();

    if (ui_route.run_ended) {
        // The run's end cut the scan short: no verdict that needs an absence,
        // but Play beside the marker in a last picture is Play all the same.
        word = locate_last_look(window, state, target);
    } else if (!automation || ui_route.given_up) {
        // What the tree showed may have changed since it stopped answering.
        forget_looks(state);
        state->disabled_seen = 0;
        state->login_seen = 0;
        word = decide_on_play(window, state, &no_scan, target, handled, PICTURE_ALONE);
    } else if (finished && scan.element_count == 0 && !scan.failed && !state->tree_seen) {
        // A window without a single element has no tree to wait for.
        word = decide_on_play(window, state, &no_scan, target, handled, PICTURE_ALONE);
    } else if (!finished || !scan_shows_page(&scan)) {
        // Not read whole, or the tree is still coming (Chromium builds it
        // once asked): Play beside its profile counts, no absence does.
        if (note_pass_without_look(state, now, finished))
            word = decide_on_play(window, state, &no_scan, target, handled, PICTURE_ALONE);
        else if (finished)
            word = decide_on_play(window, state, &scan, target, handled, SCAN_PART);
    } else if (scan.store_count != 0 && state->popup_closes <= MAX_POPUP_CLOSES_BEFORE) {
        state->tree_seen = 1;
        state->absence.passes_without_look = 0;
        state->unread_scans = 0;
        state->popup_closes++;
        if (!hands_off(window)) {
            close_store_popup(window, &scan);
            forget_looks(state);
        }
        *handled = 1;
    } else {
        state->tree_seen = 1;
        state->absence.passes_without_look = 0;
        state->unread_scans = 0;
        word = decide_on_play(window, state, &scan, target, handled, SCAN_LOOK);
    }
    if (finished && scan.element_count > 0)
        state->tree_seen = 1;
    release_scan_by(window, &scan);
    return word;
}

const char* locate_last_look(HWND window, LocateState* state, PlayTarget* target)
{
    memset(target, 0, sizeof *target);
    if (state->disabled_seen || state->candidate_looks > 0)
        return nullptr;
    return look_in_picture(window, target) == LOOK_PLAY ? "pixels" : nullptr;
}
