#include "uia/launcher_ui.h"

#include <string.h>

#include "app/settings.h"
#include "press/clock.h"
#include "uia/actions.h"
#include "uia/enumerate.h"
#include "windows/launcher_call.h"

uint64_t ui_call_deadline = 0;

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

static uint32_t ui_call_limit()
{
    uint64_t now = current_tick();
    uint64_t left = ui_call_deadline > now ? ui_call_deadline - now : 0;
    if (left < MIN_UI_CALL_MS)
        left = MIN_UI_CALL_MS;
    return left > 0x7fffffffu ? 0x7fffffffu : (uint32_t)left;
}

static UiCall* new_ui_call(int kind, HWND window)
{
    UiCall* call = (UiCall*)new_launcher_call(sizeof(UiCall));
    if (!call)
        return nullptr;
    call->head.work = run_ui_call;
    call->head.discard = discard_ui_call;
    call->kind = kind;
    call->window = window;
    return call;
}

// Runs the call; on an overrun the route is given up. 1 when it ended in time
// (the record is the caller's to free).
static int await_ui_call(UiCall* call, uint32_t limit_ms, int give_up_on_overrun)
{
    if (await_call(&call->head, call->window, limit_ms) == CALL_DONE)
        return 1;
    if (give_up_on_overrun)
        automation_given_up = 1;
    return 0;
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
    if (!automation || automation_given_up)
        return 0;
    UiCall* call = new_ui_call(UI_SCAN, window);
    if (!call)
        return 0;
    if (!await_ui_call(call, ui_call_limit(), 1))
        return 0;
    // The scan and its references move to the caller.
    memcpy(scan, &call->scan, sizeof *scan);
    int complete = call->result;
    free_launcher_call(&call->head);
    if (!complete)
        automation_given_up = 1;  // Windows' client timed out: the same verdict
    return complete;
}

static int act_on_element(int kind, HWND window, IUIAutomationElement* element, int legacy)
{
    if (!element || !automation || automation_given_up)
        return 0;
    UiCall* call = new_ui_call(kind, window);
    if (!call)
        return 0;
    // The record borrows the caller's reference; a worker left running keeps
    // the element alive, as the caller's reference is not let go of then.
    call->element = element;
    call->legacy = legacy;
    if (!await_ui_call(call, ui_call_limit(), 1))
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
    UiCall* call = automation_given_up ? nullptr : new_ui_call(UI_RELEASE_SCAN, window);
    if (!call) {
        // Given up: the references stay with the process, which ends soon; a
        // release could block on the launcher like any other call.
        memset(scan, 0, sizeof *scan);
        return;
    }
    memcpy(&call->scan, scan, sizeof *scan);
    memset(scan, 0, sizeof *scan);
    let_go_in_worker(call);
}

void release_element_by(HWND window, IUIAutomationElement* element)
{
    if (!element || automation_given_up)
        return;
    UiCall* call = new_ui_call(UI_RELEASE_ELEMENT, window);
    if (!call)
        return;
    call->element = element;
    let_go_in_worker(call);
}
