// Sorting UI Automation elements into a scan record, and the Play pick.
#pragma once

#include "uia/uia_client.h"

enum {
    SLOT_NAME_CAPACITY = 96,   // 95 units and the terminator
    MAX_PLAYS = 24,
    MAX_PROFILE_RECTS = 16,
    MAX_DISMISS = 8,
    NAME_NORMAL_CAPACITY = 160,
};

// One element kept by a scan; holds one reference of its own.
struct ElementSlot {
    IUIAutomationElement* element;   // none: the slot is empty
    RECT rect;                       // screen pixels at scan time
    int control_type;
    wchar_t name[SLOT_NAME_CAPACITY];  // as delivered, cut to 95 units
};

// The scan of one launcher window. Release with release_scan, never copy.
struct UiScan {
    int element_count;
    int timed_out;   // the client gave up on the launcher (UIA_E_TIMEOUT)
    int document_count;
    int after_document;  // elements read after the first document, in document order
    ElementSlot plays[MAX_PLAYS];
    double play_scores[MAX_PLAYS];
    int play_count;
    int disabled_plays;
    ElementSlot play_tab;
    ElementSlot java_tab;
    int login_count;
    int profile_count;
    RECT profile_rects[MAX_PROFILE_RECTS];
    int store_count;
    RECT store_rect;
    ElementSlot dismiss[MAX_DISMISS];
    int dismiss_count;
};

void classify_element(UiScan* scan, IUIAutomationElement* element, const wchar_t* name,
                      int control_type, RECT rect, BOOL enabled, BOOL offscreen, RECT window_rect);
void store_slot(ElementSlot* slot, IUIAutomationElement* element, RECT rect, int control_type,
                const wchar_t* name);
// 1 when the scan read a page that has been built: some element at all, and
// below a document (Chromium's) something. A document with nothing under it
// is a page whose tree has not come yet: it proves no absence.
int scan_shows_page(const UiScan* scan);
// Index into plays of the candidate to press, or -1; *beside = 1 when it
// stands beside a profile-name element.
int choose_play(const UiScan* scan, int* beside);
