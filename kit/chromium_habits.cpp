// Chromium's accessibility habits over a page's records.
#include "chromium_habits.h"

#include <stdlib.h>
#include <wchar.h>

namespace {

const int NAME_PROPERTY = 30005;          // UIA_NamePropertyId
const int CONTROL_TYPE_PROPERTY = 30003;  // UIA_ControlTypePropertyId
const int DOCUMENT = 50030, HYPERLINK = 50005;
const int RUNTIME_GENERATION_STEP = 65536;  // room for every element index of a page

// 1 when `index` is `ancestor` or lies below it.
int within(const Page& page, int index, int ancestor)
{
    for (int i = index; i >= 0 && i < (int)page.elements.size(); i = page.elements[(size_t)i].parent)
        if (i == ancestor)
            return 1;
    return 0;
}

int replaced_by_rerender(const HabitState* state, int index)
{
    return index > 0 && index != state->web_root;
}

}  // namespace

ChromiumHabits chromium_defaults()
{
    ChromiumHabits habits;
    habits.lazy_ms = 1500;
    habits.rerender_every_ms = 0;
    habits.rerender_after_action = 1;
    habits.offscreen_rules = 1;
    habits.pattern_rules = 1;
    return habits;
}

int read_habit_option(const wchar_t* word, const wchar_t* value, ChromiumHabits* habits)
{
    if (!wcscmp(word, L"--chromium")) {
        *habits = chromium_defaults();
        return 1;
    }
    if (!wcscmp(word, L"--rerender-after-action")) {
        habits->rerender_after_action = 1;
        return 1;
    }
    if (!wcscmp(word, L"--chromium-offscreen")) {
        habits->offscreen_rules = 1;
        return 1;
    }
    if (!wcscmp(word, L"--chromium-patterns")) {
        habits->pattern_rules = 1;
        return 1;
    }
    if (!wcscmp(word, L"--lazy-ms")) {
        habits->lazy_ms = _wtoi(value);
        return 2;
    }
    if (!wcscmp(word, L"--rerender-ms")) {
        habits->rerender_every_ms = _wtoi(value);
        return 2;
    }
    return 0;
}

void start_habits(const Page& page, const ChromiumHabits& habits, HabitState* state)
{
    *state = HabitState();
    state->habits = habits;
    state->web_root = -1;
    for (int i = 1; i < (int)page.elements.size() && state->web_root < 0; i++)
        if (page.elements[(size_t)i].control_type == DOCUMENT)
            state->web_root = i;
    for (int i = 1; i < (int)page.elements.size() && state->web_root < 0; i++)
        if (page.elements[(size_t)i].parent == 0)
            state->web_root = i;
}

void note_property_read(HabitState* state, const Page& page, int index, int property, unsigned long long now_ms)
{
    // Chromium turns its web tree on for a name or a role, never for the
    // reads every client makes of every window (rectangle, state, ids).
    if (state->tree_asked || (property != NAME_PROPERTY && property != CONTROL_TYPE_PROPERTY))
        return;
    if (state->web_root < 0 || !within(page, index, state->web_root))
        return;
    state->tree_asked = 1;
    state->asked_at_ms = now_ms;
}

int element_inert(const Page& page, int index)
{
    int modal = -1;
    for (int i = (int)page.elements.size() - 1; i > 0 && modal < 0; i--)
        if (page.elements[(size_t)i].modal && page_element_visible(page, i))
            modal = i;
    return modal >= 0 && !within(page, index, modal) && !within(page, modal, index);
}

int element_in_tree(const Page& page, const HabitState* state, int index, unsigned long long now_ms)
{
    if (!page_element_visible(page, index) || element_inert(page, index))
        return 0;
    if (!state || state->habits.lazy_ms <= 0 || state->web_root < 0 || index == state->web_root ||
        !within(page, index, state->web_root))
        return 1;
    return state->tree_asked && now_ms - state->asked_at_ms >= (unsigned long long)state->habits.lazy_ms;
}

void rerender_page(HabitState* state)
{
    state->generation++;
}

int element_generation(const HabitState* state, int index)
{
    return state && replaced_by_rerender(state, index) ? state->generation : 0;
}

int element_current(const HabitState* state, int index, int generation)
{
    return element_generation(state, index) == generation;
}

int element_runtime_number(const HabitState* state, int index)
{
    return index + element_generation(state, index) * RUNTIME_GENERATION_STEP;
}

int element_offscreen(const Page& page, const HabitState* state, int index)
{
    const PageElement& e = page.elements[(size_t)index];
    if (!state || !state->habits.offscreen_rules)
        return e.offscreen;
    if (index == 0)
        return 0;
    if (e.width <= 0 || e.height <= 0)
        return 1;
    // The viewport in the page's coordinates: the document within the window.
    const PageElement& w = page.elements[0];
    int left = w.left, top = w.top, right = w.left + w.width, bottom = w.top + w.height;
    if (state->web_root > 0 && index != state->web_root) {
        const PageElement& d = page.elements[(size_t)state->web_root];
        left = d.left > left ? d.left : left;
        top = d.top > top ? d.top : top;
        right = d.left + d.width < right ? d.left + d.width : right;
        bottom = d.top + d.height < bottom ? d.top + d.height : bottom;
    }
    return e.left + e.width <= left || e.left >= right || e.top + e.height <= top || e.top >= bottom;
}

int element_invokable(const Page& page, const HabitState* state, int index)
{
    const PageElement& e = page.elements[(size_t)index];
    if (!state || !state->habits.pattern_rules)
        return e.invoke;
    // A control that keeps a state (pressed, expanded) toggles or expands
    // instead; links are always invocable.
    return e.invoke && (e.control_type == HYPERLINK || (!e.toggle && !e.expand));
}

int element_selectable(const Page& page, const HabitState* state, int index)
{
    const PageElement& e = page.elements[(size_t)index];
    if (!state || !state->habits.pattern_rules)
        return e.selection;
    return e.selection && e.selected_state;
}
