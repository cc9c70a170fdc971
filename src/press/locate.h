// One look at the launcher window: what to press, or what to do first.
#pragma once

#include "uia/uia_client.h"

struct PlayTarget {
    int in_client;                   // 1: rect in client pixels, no element
    RECT rect;
    unsigned int colour;             // 0xRRGGBB for pixel targets, else 0
    IUIAutomationElement* element;   // one reference, released by the holder
};

// One rule by which an absence counts, for the search (no candidate) and
// for a press's confirmation (Play gone) alike: LOOKS_BEFORE_VERDICT looks
// in a row that saw it absent, with at most LOOKS_EXPIRE_AFTER_PASSES passes
// in a row without a look among them (a page re-rendered or emptied once is
// the same page; more often, a new one), and more than ABSENCE_FLOOR_MS since
// the page was first seen (or the press went out): Chromium sends a tree in
// parts, so two quick looks may both catch a half-built one.
enum LookSaw { SAW_ABSENT, SAW_PRESENT, SAW_NOTHING };
enum {
    LOOKS_BEFORE_VERDICT = 2,
    LOOKS_EXPIRE_AFTER_PASSES = 2,
    ABSENCE_FLOOR_MS = 3000,
};
struct AbsenceSeries {
    int absent_looks;         // looks in a row that saw it absent
    int passes_without_look;  // in a row, since the last look
};
// Counts one pass by what it saw (a LookSaw); 1 when the passes without a
// look ended the series.
int count_absence(AbsenceSeries* series, int saw);
// 1 when the absence holds at `now` for a page first seen at `since`.
int absence_holds(const AbsenceSeries* series, unsigned long long now, unsigned long long since);

// A look is a pass whose scan read all of a page that has been built: the
// only evidence that something is absent. Verdicts that need an absence wait
// for their time and for enough looks in a row, so that a slow client gets
// as many looks as a fast one before the tool decides. Looks do not outlive
// what they saw: the window, the page before the tool's own action on it,
// the route (given up: the picture alone decides, as without automation) or
// a few passes without one.
struct LocateState {
    // Per window: start_locate_window sets these again.
    int tab_tried;
    int java_tried;
    unsigned long long first_seen;
    unsigned long long candidate_since;  // the first look of the candidate's series
    int candidate_looks;      // looks in a row that saw a candidate
    // Looks in a row that saw no candidate, and passes in a row without a
    // look (scans not read whole, pages not yet built).
    AbsenceSeries absence;
    int unread_scans;         // of those, the ones that finished (the tree's overdue count)
    unsigned long long unbuilt_since;  // the first of those passes; 0 for none
    int tree_seen;            // a finished scan of this window had an element
    // What a look of this window showed that the picture cannot tell, kept
    // past the looks' expiry: a disabled Play, sign-in captions. Only a route
    // given up (what the launcher shows may have changed since) forgets them.
    int disabled_seen;
    int login_seen;
    // Per run.
    int not_selected_reported;
    int login_reported;
    int escape_count;
    unsigned long long last_escape;
    int popup_closes;
};

// A new window, or one seen anew: its own tab tries, grace and looks; the
// limits and one-time reports hold for the whole run.
void start_locate_window(LocateState* state, unsigned long long now);
// The page after a press: what the search saw of it no longer holds.
void forget_page(LocateState* state, unsigned long long now);

// "uia", "pixels" or "uia+icon" with a target, else null; *handled = 1 when
// the pass acted (or in find, or against a launcher above the tool, would
// have acted) on a pop-up or a tab. In high contrast (machine_now.h) no
// verdict rests on the picture's colours: no NOT_SELECTED, no POPUP? Escape.
const char* locate_play(HWND window, LocateState* state, PlayTarget* target, int* handled);
// The run's end: one last picture, for Play beside the marker only
// ("pixels"), however few looks the run had; nothing that needs an absence,
// and nothing where a look showed Play disabled or a candidate still in its
// grace. Null when it shows none.
const char* locate_last_look(HWND window, LocateState* state, PlayTarget* target);
