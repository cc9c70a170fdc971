// Sorting one element into the scan record, and picking the Play candidate.
// Pure logic over plain values: the only platform calls are AddRef/Release on
// the elements that slots keep.
#include "uia/classify.h"

#include "app/settings.h"
#include "uia/normalize.h"

#include <string.h>
#include <wchar.h>

static_assert(SLOT_NAME_CAPACITY == 96, "a slot keeps 95 units of name and a terminator");

// Geometry in 64 bits: the launcher's rectangles are 32-bit, and their sums and
// differences must not overflow whatever a provider reports.
static long long width_of(RECT rect) { return (long long)rect.right - rect.left; }
static long long height_of(RECT rect) { return (long long)rect.bottom - rect.top; }
static long long centre_line(RECT rect) { return ((long long)rect.top + rect.bottom) / 2; }

static int is_java_entry_type(int control_type)
{
    return control_type == UIA_ButtonControlTypeId || control_type == UIA_HyperlinkControlTypeId ||
           control_type == UIA_ListItemControlTypeId || control_type == UIA_MenuItemControlTypeId ||
           control_type == UIA_TabItemControlTypeId || control_type == UIA_TreeItemControlTypeId;
}

static int is_store_signal(const wchar_t* normal)
{
    if (!wcsstr(normal, L"microsoft store"))
        return 0;
    return wcsstr(normal, L"match") || wcsstr(normal, L"signed in") || wcsstr(normal, L"account");
}

void store_slot(ElementSlot* slot, IUIAutomationElement* element, RECT rect, int control_type,
                const wchar_t* name)
{
    // The slot takes its own reference, before letting go of the old one so
    // that storing an element over itself cannot free it.
    if (element)
        element->AddRef();
    if (slot->element)
        slot->element->Release();
    slot->element = element;
    slot->rect = rect;
    slot->control_type = control_type;
    wcsncpy(slot->name, name ? name : L"", SLOT_NAME_CAPACITY - 1);
    slot->name[SLOT_NAME_CAPACITY - 1] = 0;
}

static double play_score(int control_type, RECT rect, RECT window_rect)
{
    double score = (double)width_of(rect) * (double)height_of(rect);
    if (control_type == UIA_ButtonControlTypeId)
        score *= 4;
    else if (control_type == UIA_HyperlinkControlTypeId)
        score *= 2;
    // The launcher's Play button sits in the lower half of the window.
    if (centre_line(rect) > centre_line(window_rect))
        score *= 2;
    return score;
}

static void add_play_candidate(UiScan* scan, IUIAutomationElement* element, const wchar_t* name,
                               int control_type, RECT rect, RECT window_rect)
{
    double score = play_score(control_type, rect, window_rect);
    if (scan->play_count < MAX_PLAYS) {
        store_slot(&scan->plays[scan->play_count], element, rect, control_type, name);
        scan->play_scores[scan->play_count] = score;
        scan->play_count++;
        return;
    }
    // Full: the new one replaces the first of the lowest, if it beats it.
    int lowest = 0;
    for (int i = 1; i < MAX_PLAYS; i++)
        if (scan->play_scores[i] < scan->play_scores[lowest])
            lowest = i;
    if (score > scan->play_scores[lowest]) {
        store_slot(&scan->plays[lowest], element, rect, control_type, name);
        scan->play_scores[lowest] = score;
    }
}

// Wholly outside a known window rectangle: offscreen, whatever the client
// says (some clients never say; a page scrolled away keeps real rectangles).
static int outside_window(RECT rect, RECT window_rect)
{
    if (width_of(window_rect) <= 0 || height_of(window_rect) <= 0)
        return 0;
    return rect.right <= window_rect.left || rect.left >= window_rect.right ||
           rect.bottom <= window_rect.top || rect.top >= window_rect.bottom;
}

void classify_element(UiScan* scan, IUIAutomationElement* element, const wchar_t* name,
                      int control_type, RECT rect, BOOL enabled, BOOL offscreen, RECT window_rect)
{
    if (control_type == UIA_DocumentControlTypeId)
        scan->document_count++;
    if (is_page_content(control_type))
        scan->content_count++;
    if (offscreen || outside_window(rect, window_rect) || width_of(rect) <= 2 || height_of(rect) <= 2 || !name || !name[0])
        return;
    wchar_t normal[NAME_NORMAL_CAPACITY];
    normalize_text(name, normal, NAME_NORMAL_CAPACITY);
    if (!normal[0])
        return;

    if (in_word_list(normal, play_words)) {
        if (control_type == UIA_TabItemControlTypeId) {
            if (!scan->play_tab.element)
                store_slot(&scan->play_tab, element, rect, control_type, name);
        } else if (!enabled) {
            scan->disabled_plays++;
        } else {
            add_play_candidate(scan, element, name, control_type, rect, window_rect);
        }
    }

    if (wcsstr(normal, profile_pattern) && scan->profile_count < MAX_PROFILE_RECTS)
        scan->profile_rects[scan->profile_count++] = rect;

    if (in_word_list(normal, login_words) && control_type != UIA_TextControlTypeId)
        scan->login_count++;

    if (is_store_signal(normal)) {
        if (scan->store_count == 0)
            scan->store_rect = rect;
        scan->store_count++;
    }

    if (in_word_list(normal, dismiss_words) && control_type != UIA_TabItemControlTypeId &&
        control_type != UIA_TextControlTypeId && enabled && scan->dismiss_count < MAX_DISMISS) {
        store_slot(&scan->dismiss[scan->dismiss_count], element, rect, control_type, name);
        scan->dismiss_count++;
    }

    if (wcsstr(normal, L"java edition") && !scan->java_tab.element &&
        is_java_entry_type(control_type))
        store_slot(&scan->java_tab, element, rect, control_type, name);
}

static LONG clamp_to_long(long long value)
{
    if (value > 0x7fffffffLL)
        return 0x7fffffff;
    if (value < -0x7fffffffLL - 1)
        return (LONG)(-0x7fffffffLL - 1);
    return (LONG)value;
}

POINT rect_centre(RECT rect)
{
    POINT centre;
    centre.x = clamp_to_long(((long long)rect.left + rect.right) / 2);
    centre.y = clamp_to_long(((long long)rect.top + rect.bottom) / 2);
    return centre;
}

int is_page_content(int control_type)
{
    return control_type != UIA_PaneControlTypeId && control_type != UIA_ScrollBarControlTypeId &&
           control_type != UIA_TitleBarControlTypeId && control_type != UIA_MenuBarControlTypeId &&
           control_type != UIA_ThumbControlTypeId && control_type != UIA_SeparatorControlTypeId;
}

int scan_shows_page(const UiScan* scan)
{
    if (scan->failed || scan->timed_out || scan->element_count == 0)
        return 0;
    if (scan->document_count != 0)
        return scan->document_children;
    return scan->content_count > 0;
}

// A candidate stands beside a profile-name element when the profile's centre
// line lies within one candidate height above or below it.
static int stands_beside_profile(const UiScan* scan, RECT rect)
{
    long long h = height_of(rect);
    for (int i = 0; i < scan->profile_count; i++) {
        long long line = centre_line(scan->profile_rects[i]);
        if (line >= rect.top - h && line <= rect.bottom + h)
            return 1;
    }
    return 0;
}

int choose_play(const UiScan* scan, int* beside)
{
    int best = -1;
    int best_beside = -1;
    for (int i = 0; i < scan->play_count; i++) {
        if (best < 0 || scan->play_scores[i] > scan->play_scores[best])
            best = i;
        if (stands_beside_profile(scan, scan->plays[i].rect) &&
            (best_beside < 0 || scan->play_scores[i] > scan->play_scores[best_beside]))
            best_beside = i;
    }
    if (beside)
        *beside = best_beside >= 0;
    return best_beside >= 0 ? best_beside : best;
}
