// One look at the launcher window: what to press, or what to do first.
#pragma once

#include "uia/uia_client.h"

struct PlayTarget {
    int in_client;                   // 1: rect in client pixels, no element
    RECT rect;
    unsigned int colour;             // 0xRRGGBB for pixel targets, else 0
    IUIAutomationElement* element;   // one reference, released by the holder
};

struct LocateState {
    int tab_tried;
    int java_tried;
    unsigned long long first_seen;
    unsigned long long candidate_since;
    int not_selected_reported;
    int login_reported;
    int escape_count;
    unsigned long long last_escape;
    int popup_closes;
};

// "uia", "pixels" or "uia+icon" with a target, else null; *handled = 1 when
// the pass acted (or in find would have acted) on a pop-up or a tab.
const char* locate_play(HWND window, LocateState* state, PlayTarget* target, int* handled);
