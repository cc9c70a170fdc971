#include "uia/launcher_ui.h"

#include <string.h>

#include "press/clock.h"
#include "uia/actions.h"
#include "uia/enumerate.h"
#include "windows/launcher_call.h"
#include "windows/machine_now.h"
#include "windows/window_handling.h"

enum UiCallKind { UI_SCAN, UI_ACTIVATE, UI_SELECT, UI_RELEASE_SCAN, UI_RELEASE_ELEMENT };

struct UiCall {
    LauncherCall head;  // first: the record is handed around by its head
    int kind;
    HWND window;
    IUIAutomationElement* element;  // the record's own reference
    int legacy;
    int result;
    UiScan scan;  // about 8 KB, owned by the record
};

static void run_ui_call(LauncherCall* head)
{
    UiCall* call = (UiCall*)head;
    switch (call->kind) {
    case UI_SCAN:
        scan_launcher_ui(call->window, &call->scan);
        call->result = !call->scan.timed_out;
        break;
    case UI_ACTIVATE:
    case UI_SELECT:
        call->result = call->kind == UI_SELECT ? select_element(call->element)
                                               : activate_element(call->element, call->legacy);
        call->element->Release();
        call->element = nullptr;
        break;
    case UI_RELEASE_SCAN:
        release_scan(&call->scan);
        break;
    case UI_RELEASE_ELEMENT:
        if (call->element)
            call->element->Release();
        call->element = nullptr;
        break;
    }
}

static volatile LONG let_go_without_call = 0;

long references_let_go()
{
    return InterlockedCompareExchange(&let_go_without_call, 0, 0);
}

static int scan_references(const UiScan* scan)
{
    int count = (scan->play_tab.element != nullptr) + (scan->java_tab.element != nullptr) +
                 (scan->first_document != nullptr);
    for (int i = 0; i < scan->play_count && i < MAX_PLAYS; i++)
        count += scan->plays[i].element != nullptr;
    for (int i = 0; i < scan->dismiss_count && i < MAX_DISMISS; i++)
        count += scan->dismiss[i].element != nullptr;
    return count;
}

// References a release call cannot give back: they stay with the process
// until it ends, counted, and no call that could wait for the launcher is
// made for them.
static void let_go_of_scan_without_call(UiScan* scan)
{
    InterlockedExchangeAdd(&let_go_without_call, scan_references(scan));
    memset(scan, 0, sizeof *scan);
}

// What a call still holds when its worker ends after the tool stopped
// waiting (on that worker), or when it was never begun (on the tool's own
// thread, where nothing may wait for the launcher: a release not begun is
// let go of without a call).
static void discard_ui_call(LauncherCall* head)
{
    UiCall* call = (UiCall*)head;
    if (call->kind == UI_RELEASE_SCAN || call->kind == UI_RELEASE_ELEMENT) {
        let_go_of_scan_without_call(&call->scan);
        if (call->element)
            InterlockedIncrement(&let_go_without_call);
        call->element = nullptr;
        return;
    }
    // An action never begun: its caller still holds the element, so this is
    // not the last reference and gives nothing back to the launcher.
    if (call->element)
        call->element->Release();
    call->element = nullptr;
    release_scan(&call->scan);  // a scan that ended late, on its worker; a scan not begun holds nothing
}

// A launcher that runs with more rights than the tool: Windows keeps its UI
// from the tool, and may refuse the probe too, which would not mean the
// launcher stopped. A call into its UI that overran closes the route for the
// run, unprobed.
static int window_kept_from_tool(HWND window)
{
    return window && launcher_above_tool(window);
}

static uint32_t ui_call_limit(int kind)
{
    uint64_t now = current_tick();
    uint64_t left = ui_route.call_deadline > now ? ui_route.call_deadline - now : 0;
    if (left < MIN_UI_CALL_MS)
        left = MIN_UI_CALL_MS;
    // A press's look waits for a slow client as long as its scans take
    // (their cost varies fourfold on a loaded machine): a look, not a
    // given-up route. Not past the run's end, which no look outlasts by more
    // than a call's least time.
    if (kind == UI_SCAN && ui_route.press_looks) {
        uint64_t slow = 4 * ui_route.slowest_scan_ms;
        if (slow > SLOW_SCAN_LIMIT_MS)
            slow = SLOW_SCAN_LIMIT_MS;
        if (ui_route.run_end != 0) {
            uint64_t to_end = ui_route.run_end > now ? ui_route.run_end - now : 0;
            if (slow > to_end)
                slow = to_end;
        }
        if (slow > left)
            left = slow;
    }
    return left > 0x7fffffffu ? 0x7fffffffu : (uint32_t)left;
}

static UiCall* new_ui_call(int kind, HWND window)
{
    UiCall* call = (UiCall*)new_launcher_call(sizeof(UiCall));
    if (!call)
        return nullptr;
    call->head.work = run_ui_call;
    call->head.discard = discard_ui_call;
    call->head.kind = kind == UI_SCAN ? CALL_UI_SCAN
                      : kind == UI_ACTIVATE || kind == UI_SELECT ? CALL_UI_ACTION
                                                                 : CALL_UI_RELEASE;
    call->kind = kind;
    call->window = window;
    return call;
}

// Runs the call: await_call's result. An overrun past the run's own end,
// from a launcher that Windows does not call hung, ends the run. Any other
// overrun gives up the route, unless the launcher still answers a probe:
// then the client was slow, not the launcher stopped, and the next call
// waits for this one's worker in its turn. After an overrun the record is
// the worker's (unless kept), which may free it at any moment: the window
// is read before the call is handed over.
static int await_ui_call(UiCall* call, uint32_t limit_ms, int give_up_on_overrun)
{
    HWND window = call->window;
    int result = await_call(&call->head, window, limit_ms);
    if (result == CALL_DONE || !give_up_on_overrun)
        return result;
    int hung = window && IsWindow(window) && IsHungAppWindow(window);
    if (ui_route.run_end != 0 && current_tick() > ui_route.run_end && !hung)
        ui_route.run_ended = 1;
    else if (hung || window_kept_from_tool(window) || !window_answers(window))
        ui_route.given_up = 1;
    return result;
}

// A give-up lasts as long as its cause: once the launcher's window answers
// again and no call of the tool is still blocked in it (a stall that
// ended, a launcher started anew), the route is tried again. Costs nothing
// while a call is still blocked there, else one probe (0.3 s at most).
static void try_route_again(HWND window)
{
    if (!automation || !ui_route.given_up || ui_route.run_ended || !window)
        return;
    if (call_blocked_in(window) || IsHungAppWindow(window) || window_kept_from_tool(window) ||
        !window_answers(window))
        return;
    ui_route.given_up = 0;
}

static int route_closed()
{
    return !automation || ui_route.given_up || ui_route.run_ended;
}

void set_automation_timeouts()
{
    if (!automation)
        return;
    IUIAutomation2* second = nullptr;
    if (FAILED(automation->QueryInterface(IID_IUIAutomation2, (void**)&second)) || !second)
        return;
    second->put_ConnectionTimeout(UIA_CONNECTION_TIMEOUT_MS);
    second->put_TransactionTimeout(UIA_TRANSACTION_TIMEOUT_MS);
    second->Release();
}

// Hands the scan's references to a release worker: a short wait, then the
// worker finishes (or dies with the process) on its own.
static void release_scan_in_worker(HWND window, UiScan* scan)
{
    UiCall* call = new_ui_call(UI_RELEASE_SCAN, window);
    if (!call) {
        let_go_of_scan_without_call(scan);
        return;
    }
    memcpy(&call->scan, scan, sizeof *scan);
    memset(scan, 0, sizeof *scan);
    // Letting go never gives up the route: nothing depends on it but memory.
    if (await_ui_call(call, RELEASE_WAIT_MS, 0) == CALL_DONE)
        free_launcher_call(&call->head);
}

int scan_launcher_ui_by(HWND window, UiScan* scan)
{
    memset(scan, 0, sizeof *scan);
    try_route_again(window);
    if (route_closed())
        return 0;
    UiCall* call = new_ui_call(UI_SCAN, window);
    if (!call)
        return 0;
    uint64_t started = current_tick();
    if (await_ui_call(call, ui_call_limit(UI_SCAN), 1) != CALL_DONE)
        return 0;
    uint64_t took = current_tick() - started;
    if (took > ui_route.slowest_scan_ms)
        ui_route.slowest_scan_ms = took;
    if (!call->result) {
        // Windows' client gave up on the launcher: the route's verdict is the
        // same, and the part that was read proves nothing. Its references go
        // as any release does, never on this thread.
        ui_route.given_up = 1;
        UiScan part;
        memcpy(&part, &call->scan, sizeof part);
        free_launcher_call(&call->head);
        release_scan_in_worker(window, &part);
        return 0;
    }
    // The scan and its references move to the caller.
    memcpy(scan, &call->scan, sizeof *scan);
    free_launcher_call(&call->head);
    return 1;
}

// The record takes its own reference while the caller's is still good: an
// action left running (or landing late) never needs the caller's.
static UiCall* new_action_call(int kind, HWND window, IUIAutomationElement* element, int legacy)
{
    if (!element || route_closed())
        return nullptr;
    UiCall* call = new_ui_call(kind, window);
    if (!call)
        return nullptr;
    element->AddRef();
    call->element = element;
    call->legacy = legacy;
    return call;
}

static int act_on_element(int kind, HWND window, IUIAutomationElement* element, int legacy)
{
    UiCall* call = new_action_call(kind, window, element, legacy);
    if (!call || await_ui_call(call, ui_call_limit(kind), 1) != CALL_DONE)
        return 0;
    int done = call->result;
    free_launcher_call(&call->head);
    return done;
}

int activate_element_by(HWND window, IUIAutomationElement* element, int legacy)
{
    return act_on_element(UI_ACTIVATE, window, element, legacy);
}

int select_element_by(HWND window, IUIAutomationElement* element)
{
    return act_on_element(UI_SELECT, window, element, 0);
}

int start_press_action(HWND window, IUIAutomationElement* element, int legacy, PendingAction* pending)
{
    pending->call = nullptr;
    pending->window = window;
    UiCall* call = new_action_call(UI_ACTIVATE, window, element, legacy);
    if (!call)
        return ACTION_REFUSED;
    call->head.keep = 1;
    int waited = await_ui_call(call, ui_call_limit(UI_ACTIVATE), 1);
    if (waited == CALL_OVERRAN) {
        pending->call = &call->head;
        return ACTION_PENDING;
    }
    if (waited != CALL_DONE)
        return ACTION_REFUSED;  // never begun: nothing can land
    int done = call->result;
    free_launcher_call(&call->head);
    return done ? ACTION_DONE : ACTION_REFUSED;
}

int await_pending_action(PendingAction* pending, uint32_t limit_ms)
{
    if (!pending->call)
        return ACTION_REFUSED;
    if (await_call_again(pending->call, pending->window, limit_ms) != CALL_DONE)
        return ACTION_PENDING;
    UiCall* call = (UiCall*)pending->call;
    int done = call->result;
    free_launcher_call(pending->call);
    pending->call = nullptr;
    return done ? ACTION_DONE : ACTION_REFUSED;
}

void let_go_of_action(PendingAction* pending)
{
    if (pending->call)
        let_go_of_call(pending->call);
    pending->call = nullptr;
}

void release_scan_by(HWND window, UiScan* scan)
{
    // Given up or ended: the launcher may not answer a release either.
    if (route_closed())
        let_go_of_scan_without_call(scan);
    else
        release_scan_in_worker(window, scan);
}

void release_element_by(HWND window, IUIAutomationElement* element)
{
    if (!element)
        return;
    UiCall* call = route_closed() ? nullptr : new_ui_call(UI_RELEASE_ELEMENT, window);
    if (!call) {
        InterlockedIncrement(&let_go_without_call);
        return;
    }
    call->element = element;
    if (await_ui_call(call, RELEASE_WAIT_MS, 0) == CALL_DONE)
        free_launcher_call(&call->head);
}
