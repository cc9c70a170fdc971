#include "diag/dump.h"

#include <stdio.h>
#include <string.h>

#include "app/report.h"
#include "diag/bmp_file.h"
#include "press/clock.h"
#include "uia/classify.h"
#include "uia/enumerate.h"
#include "uia/ui_route.h"
#include "vision/capture.h"
#include "vision/comparisons.h"
#include "vision/green_button.h"
#include "windows/coordinates.h"
#include "windows/discovery.h"
#include "windows/launcher_call.h"
#include "windows/machine_state.h"
#include "windows/window_handling.h"

int dumped_elements = 0;

enum {
    DUMP_CLASS_CAPACITY = 128,
    DUMP_TITLE_CAPACITY = 256,
    DUMP_CHILD_TEXT_CAPACITY = 128,
    DUMP_MAX_DEPTH = 40,        // depths 0 to 40 are printed
    DUMP_MAX_ELEMENTS = 4000,   // printing stops once more than this were printed
    DUMP_SETTLE_MS = 600,       // lets the launcher build its tree after the nudge
    // The nudge before the settle: the window and at most 15 of its child
    // windows (a real launcher has one or two), each 300 ms at most.
    DUMP_MAX_NUDGED_WINDOWS = 16,
    // The tree and the scan of a live launcher under a slow client take tens
    // of seconds at most; one that stops answering is given up on sooner,
    // when Windows reports it hung.
    DUMP_UIA_LIMIT_MS = 30000,
};

// The UI Automation part of a dump, run on a worker: it prints as it goes,
// and once the tool stops waiting, its later lines are dropped.
struct DumpCall {
    LauncherCall head;  // first: the record is handed around by its head
    HWND window;
};

static void report_window(HWND window, HWND best)
{
    wchar_t class_name[DUMP_CLASS_CAPACITY] = {0};
    wchar_t title[DUMP_TITLE_CAPACITY] = {0};
    wchar_t image_path[IMAGE_PATH_CAPACITY] = {0};
    RECT rect = {0, 0, 0, 0};
    DWORD process_id = 0;
    GetClassNameW(window, class_name, DUMP_CLASS_CAPACITY);
    GetWindowTextW(window, title, DUMP_TITLE_CAPACITY);
    GetWindowRect(window, &rect);
    GetWindowThreadProcessId(window, &process_id);
    process_image_path(process_id, image_path);
    // Three converted strings: within to_utf8's four live buffers.
    report("WINDOW %s \"%s\" %ld %ld %ld %ld %s%s", to_utf8(class_name), to_utf8(title),
           (long)rect.left, (long)rect.top, (long)(rect.right - rect.left),
           (long)(rect.bottom - rect.top), to_utf8(image_path),
           window == best ? " (this one)" : "");
}

void describe_window_scale(HWND window, char* out, size_t size)
{
    static const char* const AWARENESS_WORDS[] = {"unaware", "system-aware", "per-monitor-aware"};
    WindowScale scale;
    read_window_scale(window, &scale);
    snprintf(out, size, "monitor %u window %u %s", (unsigned)scale.monitor_dpi, (unsigned)scale.window_dpi,
             scale.awareness >= 0 && scale.awareness <= 2 ? AWARENESS_WORDS[scale.awareness] : "unknown");
}

// The monitor's DPI and the window's own, with its awareness: whether the
// system stretches the launcher's pixels, and by how much.
static void report_scale(HWND window)
{
    char scale[96];
    describe_window_scale(window, scale, sizeof scale);
    report("DPI %s", scale);
}

BOOL CALLBACK print_child_window(HWND child, LPARAM unused)
{
    (void)unused;
    wchar_t class_name[DUMP_CLASS_CAPACITY] = {0};
    wchar_t text[DUMP_CHILD_TEXT_CAPACITY] = {0};
    RECT rect = {0, 0, 0, 0};
    GetClassNameW(child, class_name, DUMP_CLASS_CAPACITY);
    GetWindowTextW(child, text, DUMP_CHILD_TEXT_CAPACITY);
    GetWindowRect(child, &rect);
    report("  CHILD %s \"%s\" %ld %ld %ld %ld%s", to_utf8(class_name), to_utf8(text),
           (long)rect.left, (long)rect.top, (long)(rect.right - rect.left),
           (long)(rect.bottom - rect.top), IsWindowVisible(child) ? "" : " hidden");
    return TRUE;
}

void dump_element_tree(IUIAutomationTreeWalker* walker, IUIAutomationElement* element, int depth)
{
    if (!element || depth > DUMP_MAX_DEPTH || dumped_elements > DUMP_MAX_ELEMENTS)
        return;
    dumped_elements++;

    // Getters are not tested: whatever a failed one leaves is printed.
    BSTR name = nullptr;
    BSTR control_type = nullptr;
    RECT rect = {0, 0, 0, 0};
    BOOL enabled = TRUE;
    BOOL offscreen = FALSE;
    VARIANT invokable;
    VariantInit(&invokable);
    element->get_CurrentName(&name);
    element->get_CurrentLocalizedControlType(&control_type);
    element->get_CurrentBoundingRectangle(&rect);
    element->get_CurrentIsEnabled(&enabled);
    element->get_CurrentIsOffscreen(&offscreen);
    element->GetCurrentPropertyValue(UIA_IsInvokePatternAvailablePropertyId, &invokable);

    char indent[2 * DUMP_MAX_DEPTH + 1];
    int blanks = depth > 0 ? 2 * depth : 0;
    memset(indent, ' ', (size_t)blanks);
    indent[blanks] = 0;

    int invoke = invokable.vt == VT_BOOL && invokable.boolVal != VARIANT_FALSE;
    report("%s[%s] \"%s\" %ld %ld %ld %ld%s%s%s", indent, to_utf8(control_type), to_utf8(name),
           (long)rect.left, (long)rect.top, (long)(rect.right - rect.left),
           (long)(rect.bottom - rect.top), enabled ? "" : " disabled",
           offscreen ? " offscreen" : "", invoke ? " invoke" : "");
    SysFreeString(name);
    SysFreeString(control_type);
    VariantClear(&invokable);

    // Each child is released here once its subtree is printed. The walk of a
    // level goes on past the limits; the children then return at once.
    IUIAutomationElement* child = nullptr;
    if (FAILED(walker->GetFirstChildElement(element, &child)))
        child = nullptr;
    while (child) {
        dump_element_tree(walker, child, depth + 1);
        IUIAutomationElement* sibling = nullptr;
        if (FAILED(walker->GetNextSiblingElement(child, &sibling)))
            sibling = nullptr;
        child->Release();
        child = sibling;
    }
}

// The element tree and the scan summary of the best window.
static void dump_automation_now(LauncherCall* head)
{
    HWND best = ((DumpCall*)head)->window;
    IUIAutomationTreeWalker* walker = get_tree_walker();
    IUIAutomationElement* root = nullptr;
    HRESULT found = automation->ElementFromHandle(best, &root);
    if (FAILED(found) || !root || !walker)
        report("UIA no tree (walker %s, element 0x%08lx)", walker ? "yes" : "none",
               (unsigned long)found);
    else
        dump_element_tree(walker, root, 0);

    // The scan makes its own attempt at the tree, whatever happened above.
    UiScan scan;
    scan_launcher_ui(best, &scan);
    int beside = 0;
    int pick = choose_play(&scan, &beside);
    if (scan.timed_out || scan.failed)
        // The client gave up or failed part way: its counts would read as
        // absences.
        report("SCAN unfinished after %d elements", scan.element_count);
    else
        report("SCAN elements %d plays %d pick %s%s profiles %d tab %s java %s login %d",
               scan.element_count, scan.play_count, pick >= 0 ? to_utf8(scan.plays[pick].name) : "-",
               pick >= 0 && beside ? " (Kestrov V6 beside it)" : "", scan.profile_count,
               scan.play_tab.element ? "yes" : "no", scan.java_tab.element ? "yes" : "no",
               scan.login_count);
    release_scan(&scan);
    if (root)
        root->Release();
    if (walker)
        walker->Release();
}

// One nudge round: the windows asked so far and when the round must end.
struct NudgeRound {
    ULONGLONG end;
    int count;
};

static BOOL CALLBACK nudge_window(HWND window, LPARAM round_pointer)
{
    NudgeRound* round = (NudgeRound*)round_pointer;
    ULONGLONG now = GetTickCount64();
    if (round->count >= DUMP_MAX_NUDGED_WINDOWS || now >= round->end)
        return FALSE;
    round->count++;
    ULONGLONG left = round->end - now;
    DWORD_PTR reply = 0;
    SendMessageTimeoutW(window, WM_GETOBJECT, 0, (LPARAM)OBJID_CLIENT, SMTO_ABORTIFHUNG,
                        left < NUDGE_TIMEOUT_MS ? (UINT)left : (UINT)NUDGE_TIMEOUT_MS, &reply);
    return TRUE;
}

// Chromium builds its tree once asked (see nudge_accessibility), within the
// UI Automation part's time: a launcher with many child windows that all
// wait cannot use up more than that.
static void nudge_until(HWND best, ULONGLONG end)
{
    NudgeRound round = {end, 0};
    if (nudge_window(best, (LPARAM)&round))
        EnumChildWindows(best, nudge_window, (LPARAM)&round);
}

static uint32_t ms_until(ULONGLONG end)
{
    ULONGLONG now = GetTickCount64();
    return end > now ? (uint32_t)(end - now) : 0;
}

// The UI Automation part could not read the launcher's UI: it stopped
// answering (`stopped`, a DumpUiaEnd), unless Windows keeps an elevated
// launcher's UI from the tool and does not report it hung.
static int report_uia_cut(HWND best, int elements, int stopped)
{
    if (!IsHungAppWindow(best) && window_elevated_above_tool(best)) {
        report("UIA launcher elevated after %d elements", elements);
        return DUMP_UIA_ELEVATED;
    }
    report("UIA stopped answering after %d elements", elements);
    return stopped;
}

// The nudge, the settle and the tree and scan all end by `end` (a
// GetTickCount64 tick), give or take a wait's slice.
static int dump_automation(HWND best, ULONGLONG end)
{
    nudge_until(best, end);
    uint32_t settle = ms_until(end);
    wait_ms(settle < (uint32_t)DUMP_SETTLE_MS ? settle : (uint32_t)DUMP_SETTLE_MS);
    DumpCall* call = (DumpCall*)new_launcher_call(sizeof(DumpCall));
    if (!call)
        return DUMP_UIA_ANSWERED;
    call->head.work = dump_automation_now;
    call->head.kind = CALL_UI_DUMP;
    call->window = best;
    if (await_call(&call->head, best, ms_until(end)) == CALL_DONE) {
        free_launcher_call(&call->head);
        return DUMP_UIA_ANSWERED;
    }
    keep_reports_to_this_thread();
    ui_route.given_up = 1;
    // A launcher that still answers was only slow to tell its tree (a slow
    // client, a loaded machine): that is not a launcher that stopped.
    if (!IsHungAppWindow(best) && window_answers(best)) {
        report("UIA ran out of time after %d elements", dumped_elements);
        return DUMP_UIA_OUT_OF_TIME;
    }
    return report_uia_cut(best, dumped_elements, DUMP_UIA_STOPPED);
}

// The window's client area on screen now, or all zeros.
static void read_client_area(HWND window, RECT* area)
{
    RECT client = {0, 0, 0, 0};
    POINT origin = {0, 0};
    *area = RECT{0, 0, 0, 0};
    if (GetClientRect(window, &client) && ClientToScreen(window, &origin))
        *area = RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
}

int dump_launcher(HWND best, const LauncherWindows* found, ULONGLONG uia_end, const wchar_t* shot,
                  int* shot_written, RECT* client_area)
{
    *shot_written = 0;
    *client_area = RECT{0, 0, 0, 0};
    for (int i = 0; i < found->count; i++)
        report_window(found->windows[i], best);
    EnumChildWindows(best, print_child_window, 0);
    report_scale(best);

    // The picture first: it bounds itself, and what it leaves of the time
    // goes to the UI Automation part, which a slow client needs most. Its
    // line still comes last.
    Capture picture;
    int seen = capture_window(best, &picture);
    // Where the picture was taken, before the UI Automation part's seconds
    // give the launcher time to move.
    if (seen)
        read_client_area(best, client_area);

    int uia = DUMP_UIA_ANSWERED;
    if (!automation) {
        report("UIA unavailable (0x%08lx)", (unsigned long)automation_status);
    } else if (ui_route.given_up) {
        // It stopped answering earlier in the run: asking again would wait.
        uia = report_uia_cut(best, 0, DUMP_UIA_STOPPED);
    } else if (ui_route.run_ended && !window_answers(best)) {
        // The run's end cut a call short and the launcher's thread is still
        // busy, in it or elsewhere: asking again would wait on it. One that
        // answers was only slow (a slow client is the usual reason).
        uia = report_uia_cut(best, 0, DUMP_UIA_RUN_ENDED);
    } else {
        uia = dump_automation(best, uia_end);
    }

    if (!seen) {
        report("LOOKED couldn't see the window");
        return uia;
    }
    Rect box = {0, 0, 0, 0};
    uint32_t colour = 0;
    if (find_green_button(&picture, &box, &colour))
        report("LOOKED button %ld %ld %ld %ld colour %06x icon %s", (long)box.left, (long)box.top,
               (long)(box.right - box.left), (long)(box.bottom - box.top), (unsigned)colour,
               has_profile_marker(&picture, box) ? "yes" : "no");
    else
        report("LOOKED no button");
    if (shot)
        *shot_written = write_bmp_file(shot, &picture) ? 1 : -1;
    release_capture(&picture);
    return uia;
}

int run_dump(const wchar_t* shot)
{
    LauncherWindows found;
    HWND best = find_launcher_windows(&found);
    if (!best) {
        report("NOTFOUND");
        return 2;
    }
    int shot_written = 0;
    RECT client_area;
    dump_launcher(best, &found, GetTickCount64() + DUMP_UIA_LIMIT_MS, shot, &shot_written, &client_area);
    if (shot_written < 0)
        report("ERROR couldn't write %s", to_utf8(shot));
    return 0;
}
