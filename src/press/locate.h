// One look at the launcher window: what to press, or what to do first.
#pragma once

#include "uia/uia_client.h"

struct PlayTarget {
    int in_client;                   // 1: rect in client pixels, no element
    RECT rect;
    unsigned int colour;             // 0xRRGGBB for pixel targets, else 0
    IUIAutomationElement* element;   // one reference, released by the holder
};

// A look is a pass whose scan finished on a page that has been built: the
// only evidence that something is absent. Verdicts that need an absence wait
// for their time and for enough looks in a row, so that a slow client gets
// as many looks as a fast one before the tool decides. Looks do not outlive
// the window, the route (given up: the picture alone decides, as without
// automation) or a few passes without one.
struct LocateState {
    // Per window: start_locate_window sets these again.
    int tab_tried;
    int java_tried;
    unsigned long long first_seen;
    unsigned long long candidate_since;
    int candidate_looks;      // looks in a row that saw a candidate
    int absent_looks;         // looks in a row that saw none
    int passes_without_look;  // in a row, scans of a page not yet built
    unsigned long long unbuilt_since;  // the first of those passes; 0 for none
    // Per run.
    int not_selected_reported;
    int login_reported;
    int escape_count;
    unsigned long long last_escape;
    int popup_closes;
};

// A new window: its own tab tries, grace and looks; the limits and one-time
// reports hold for the whole run.
void start_locate_window(LocateState* state, unsigned long long now);

// "uia", "pixels" or "uia+icon" with a target, else null; *handled = 1 when
// the pass acted (or in find would have acted) on a pop-up or a tab.
const char* locate_play(HWND window, LocateState* state, PlayTarget* target, int* handled);
