// What the real launcher's embedded Chromium does to its UI Automation tree,
// which a page served as it is does not: the tree comes late, elements are
// replaced by re-renders, a modal dialog makes the rest of the page inert,
// IsOffscreen follows the viewport, and patterns follow the element's state.
// Plain records and rules over a Page: no Windows headers, so the rules are
// testable on their own; the provider calls in with the time.
#pragma once

#include "page.h"

struct ChromiumHabits {
    int lazy_ms;                // > 0: an empty document until a web node's Name or ControlType is read, then this late
    int rerender_every_ms;      // > 0: the elements are replaced this often
    int rerender_after_action;  // the elements are replaced after every action an element runs
    int offscreen_rules;        // IsOffscreen from the rectangle and the viewport, not the page's flag
    int pattern_rules;          // no Invoke on toggle or expand buttons; SelectionItem only with a selected state
};

// --chromium: every habit, with the delays a cold launcher shows.
ChromiumHabits chromium_defaults();

// One simulator argument with its value (the next argument, "" if none):
// the number of arguments it takes (1 or 2), or 0 when it is no habit's.
//   --chromium, --lazy-ms N, --rerender-ms N, --rerender-after-action,
//   --chromium-offscreen, --chromium-patterns
int read_habit_option(const wchar_t* word, const wchar_t* value, ChromiumHabits* habits);

// The habits' state in one served page.
struct HabitState {
    ChromiumHabits habits;
    int web_root;              // the document element (the first Document, else the window's first child); -1 for none
    int tree_asked;            // a client read a web node's Name or ControlType
    unsigned long long asked_at_ms;
    int generation;            // counts the re-renders
};

void start_habits(const Page& page, const ChromiumHabits& habits, HabitState* state);
// A client read `property` (a UIA property id) of element `index` at `now_ms`.
void note_property_read(HabitState* state, const Page& page, int index, int property, unsigned long long now_ms);
// 1 when the element is in the UI Automation tree now: shown, not inert
// behind a modal dialog, and not a web node still on its way. `state` may be
// null: no habits, but a modal dialog still makes the rest inert.
int element_in_tree(const Page& page, const HabitState* state, int index, unsigned long long now_ms);
// 1 when a shown modal dialog makes the element inert: the dialog, its
// ancestors and its descendants stay in the tree; the rest of the page leaves.
int element_inert(const Page& page, int index);

// Replaces the web nodes below the document: new runtime ids, and the old
// provider objects are no longer available.
void rerender_page(HabitState* state);
// The generation an element made now belongs to (the window and the
// document live on through re-renders: 0 for them).
int element_generation(const HabitState* state, int index);
// 1 while an element made in `generation` is still the element on the page.
int element_current(const HabitState* state, int index, int generation);
// The element's part of its runtime id, unique across re-renders.
int element_runtime_number(const HabitState* state, int index);

// IsOffscreen: the page's flag, or with the offscreen rules: at zero size, or
// wholly outside the viewport (the document's rectangle within the window).
// An element behind an overlay is on screen.
int element_offscreen(const Page& page, const HabitState* state, int index);
// Which patterns the element offers under the pattern rules.
int element_invokable(const Page& page, const HabitState* state, int index);
int element_selectable(const Page& page, const HabitState* state, int index);
