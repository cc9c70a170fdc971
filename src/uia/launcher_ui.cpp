#include "uia/launcher_ui.h"

#include <string.h>

#include "press/clock.h"
#include "uia/actions.h"
#include "uia/enumerate.h"
#include "windows/launcher_call.h"
#include "windows/window_handling.h"

enum UiCallKind { UI_SCAN, UI_ACTIVATE, UI_SELECT, UI_RELEASE_SCAN, UI_RELEASE_ELEMENT };

struct UiCall {
    LauncherCall head;  // first: the record is handed around by its head
    int kind;
    HWND window;
    IUIAutomationElement* element;  // the caller's reference (release: ours)
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
        call->result = activate_element(call->element, call->legacy);
        break;
    case UI_SELECT:
        call->result = select_element(call->element);
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

// A scan that ended after the tool stopped waiting is let go by the worker.
static void discard_ui_call(LauncherCall* head)
{
    UiCall* call = (UiCall*)head;
    release_scan(&call->scan);
}

static uint32_t ui_call_limit(int kind)
{
    uint64_t now = current_tick();
    uint64_t left = ui_route.call_deadline > now ? ui_route.call_deadline - now : 0;
    if (left < MIN_UI_CALL_MS)
        left = MIN_UI_CALL_MS;
    // A slow client is waited for as long as its scans take (their cost
    // varies fourfold on a loaded machine), when the run's end does not bound
    // the call (a press's confirmation): a look, not a given-up route.
    uint64_t slow = 4 * ui_route.slowest_scan_ms;
    if (slow > SLOW_SCAN_LIMIT_MS)
        slow = SLOW_SCAN_LIMIT_MS;
    if (kind == UI_SCAN && ui_route.run_end == 0 && slow > left)
        left = slow;
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

// Runs the call. 1 when it ended in time (the record is the caller's to
// free). An overrun past the run's own end, from a launcher that Windows does
// not call hung, ends the run. Any other overrun gives up the route, unless
// the launcher still answers a probe: then the client was slow, not the
// launcher stopped, and the next call waits for this one's worker in its
// turn. After an overrun the record is the worker's, which may free it at
// any moment: the window is read before the call is handed over.
static int await_ui_call(UiCall* call, uint32_t limit_ms, int give_up_on_overrun)
{
    HWND window = call->window;
    if (await_call(&call->head, window, limit_ms) == CALL_DONE)
        return 1;
    if (!give_up_on_overrun)
        return 0;
    int hung = window && IsWindow(window) && IsHungAppWindow(window);
    if (ui_route.run_end != 0 && current_tick() > ui_route.run_end && !hung)
        ui_route.run_ended = 1;
    else if (hung || !window_answers(window))
        ui_route.given_up = 1;
    return 0;
}

// A give-up lasts as long as its cause: once the launcher's window answers
// again and no call of the tool is still blocked in it (a stall that
// ended, a launcher started anew), the route is tried again. Costs nothing
// while a call is still blocked there, else one probe (0.3 s at most).
static void try_route_again(HWND window)
{
    if (!automation || !ui_route.given_up || ui_route.run_ended || !window)
        return;
    if (call_blocked_in(window) || IsHungAppWindow(window) || !window_answers(window))
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
    if (!await_ui_call(call, ui_call_limit(UI_SCAN), 1))
        return 0;
    uint64_t took = current_tick() - started;
    if (took > ui_route.slowest_scan_ms)
        ui_route.slowest_scan_ms = took;
    if (!call->result) {
        // Windows' client gave up on the launcher: the route's verdict is the
        // same, and the part that was read proves nothing.
        ui_route.given_up = 1;
        release_scan(&call->scan);
        free_launcher_call(&call->head);
        return 0;
    }
    // The scan and its references move to the caller.
    memcpy(scan, &call->scan, sizeof *scan);
    free_launcher_call(&call->head);
    return 1;
}

static int act_on_element(int kind, HWND window, IUIAutomationElement* element, int legacy)
{
    if (!element || route_closed())
        return 0;
    UiCall* call = new_ui_call(kind, window);
    if (!call)
        return 0;
    // The record borrows the caller's reference; a worker left running keeps
    // the element alive, as the caller's reference is not let go of then.
    call->element = element;
    call->legacy = legacy;
    if (!await_ui_call(call, ui_call_limit(kind), 1))
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

// Letting go never gives up the route: nothing depends on it but memory.
static void let_go_in_worker(UiCall* call)
{
    if (await_ui_call(call, RELEASE_WAIT_MS, 0))
        free_launcher_call(&call->head);
}

void release_scan_by(HWND window, UiScan* scan)
{
    UiCall* call = route_closed() ? nullptr : new_ui_call(UI_RELEASE_SCAN, window);
    if (!call) {
        // Given up or ended: the references stay with the process, which ends
        // soon; a release could block on the launcher like any other call.
        memset(scan, 0, sizeof *scan);
        return;
    }
    memcpy(&call->scan, scan, sizeof *scan);
    memset(scan, 0, sizeof *scan);
    let_go_in_worker(call);
}

void release_element_by(HWND window, IUIAutomationElement* element)
{
    if (!element || route_closed())
        return;
    UiCall* call = new_ui_call(UI_RELEASE_ELEMENT, window);
    if (!call)
        return;
    call->element = element;
    let_go_in_worker(call);
}
