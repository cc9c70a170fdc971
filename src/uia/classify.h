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
    // A call of the scan failed (no root, a search or a step refused): what
    // was read is a part of the page at most, so it proves no absence.
    int failed;
    int document_count;
    int document_children;  // the first document has a child (the client was asked)
    IUIAutomationElement* first_document;  // one reference, held while the scan runs only
    int content_count;      // elements that are page content, not frame parts
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
// 1 when the scan read all of a page that has been built: below a document
// (Chromium's) a child; without a document, some page content (not only
// panes, scroll bars and other frame parts). A document with nothing under
// it, or a frame with only an empty host pane, is a page whose tree has not
// come yet; a failed scan read a part at most: neither proves an absence.
int scan_shows_page(const UiScan* scan);
// 1 for an element that a page's content is made of: not a pane, scroll
// bar, title bar, menu bar, thumb or separator, which a window's frame and
// an empty host have too.
int is_page_content(int control_type);
// The centre of a rectangle, its sums in 64 bits: a provider may report any
// rectangle, and the centre of one whose sides are 32-bit is 32-bit too.
POINT rect_centre(RECT rect);
// Index into plays of the candidate to press, or -1; *beside = 1 when it
// stands beside a profile-name element.
int choose_play(const UiScan* scan, int* beside);
