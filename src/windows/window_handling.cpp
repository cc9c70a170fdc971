#include "windows/window_handling.h"

#include "app/report.h"
#include "app/settings.h"
#include "press/clock.h"
#include "windows/discovery.h"
#include "windows/input_calls.h"
#include "windows/launcher_call.h"
#include "windows/machine_now.h"
#include "windows/machine_state.h"

// Calls that wait for the window's thread (style changes, showing, the
// foreground): even after an answer the thread may stop for good before the
// call reaches it, so they run under the caller's deadline.
enum WindowCallKind { SET_EX_STYLE, SHOW_WINDOW, BRING_FORWARD, REDRAW_WINDOW };

struct WindowCall {
    LauncherCall head;  // first: the record is handed around by its head
    int kind;
    HWND window;
    LONG_PTR value;  // the ex-style, or the show command
    int result;      // what the call gave: for BRING_FORWARD, a FrontResult
};

enum {
    FOREGROUND_PROBE_MS = 100,   // the foreground window's thread must answer this soon to be shared
    FOREGROUND_SETTLE_MS = 100,  // a switch granted shows in GetForegroundWindow within this
    FOREGROUND_SLICE_MS = 10,
};

// 1 when the window's thread takes a message at once (and Windows does not
// already hold it hung): a thread the tool may share its input state with.
static int foreground_answers(HWND foreground)
{
    if (IsHungAppWindow(foreground))
        return 0;
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(foreground, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, FOREGROUND_PROBE_MS,
                               &result) != 0;
}

// Asks Windows for the foreground. It lets a thread take it from the one
// holding it: this thread shares that thread's input state for the switch
// alone, and only with a thread of another process that answers (this
// process holding the foreground may give it away without). Non-zero when
// granted.
static BOOL take_foreground(HWND window)
{
    HWND foreground = GetForegroundWindow();
    DWORD foreground_process = 0;
    DWORD foreground_thread = foreground ? GetWindowThreadProcessId(foreground, &foreground_process) : 0;
    DWORD own_thread = GetCurrentThreadId();
    BOOL attached = FALSE;
    if (foreground_thread != 0 && foreground_thread != own_thread && foreground_process != GetCurrentProcessId() &&
        foreground_answers(foreground))
        attached = AttachThreadInput(own_thread, foreground_thread, TRUE);
    BOOL granted = machine.set_foreground(window);
    if (attached)
        AttachThreadInput(own_thread, foreground_thread, FALSE);
    return granted;
}

// FRONT_TAKEN when the window is the foreground window afterwards. Refused,
// the window is left as it was: neither restored nor raised over the
// player's program.
static int bring_forward_now(HWND window)
{
    if (GetForegroundWindow() != window && !take_foreground(window))
        return FRONT_REFUSED;
    // Calls that wait for the launcher's thread come after the switch, while
    // this thread shares nobody's input: a launcher that stops in one of
    // them must not hold the player's foreground program with it.
    if (IsIconic(window))
        ShowWindow(window, SW_RESTORE);
    BringWindowToTop(window);
    // The window's thread takes the activation on its own time.
    for (int waited = 0; GetForegroundWindow() != window && waited < FOREGROUND_SETTLE_MS;
         waited += FOREGROUND_SLICE_MS)
        Sleep(FOREGROUND_SLICE_MS);
    return GetForegroundWindow() == window ? FRONT_TAKEN : FRONT_NOT_TAKEN;
}

static void run_window_call(LauncherCall* head)
{
    WindowCall* call = (WindowCall*)head;
    switch (call->kind) {
    case SET_EX_STYLE:
        SetWindowLongPtrW(call->window, GWL_EXSTYLE, call->value);
        break;
    case SHOW_WINDOW:
        ShowWindow(call->window, (int)call->value);
        break;
    case BRING_FORWARD:
        call->result = bring_forward_now(call->window);
        break;
    case REDRAW_WINDOW:
        RedrawWindow(call->window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
        break;
    }
}

// 1 when the call ended by the deadline (a passed or near one still allows
// ANSWER_TIMEOUT_MS, as a thread that just answered is quick), with what it
// gave in *result; 0 when the window's thread kept it: the call still reaches
// the window if that thread ever runs again.
static int call_window_for(int kind, HWND window, LONG_PTR value, ULONGLONG deadline, int* result)
{
    *result = 0;
    WindowCall* call = (WindowCall*)new_launcher_call(sizeof(WindowCall));
    if (!call)
        return 0;
    call->head.work = run_window_call;
    call->kind = kind;
    call->window = window;
    call->value = value;
    ULONGLONG now = current_tick();
    ULONGLONG limit = deadline > now ? deadline - now : 0;
    if (limit < ANSWER_TIMEOUT_MS)
        limit = ANSWER_TIMEOUT_MS;
    if (await_call(&call->head, window, (uint32_t)limit) != CALL_DONE)
        return 0;
    *result = call->result;
    free_launcher_call(&call->head);
    return 1;
}

static int call_window(int kind, HWND window, LONG_PTR value, ULONGLONG deadline)
{
    int result = 0;
    return call_window_for(kind, window, value, deadline, &result);
}

int show_window_by(HWND window, int command, ULONGLONG deadline)
{
    return call_window(SHOW_WINDOW, window, command, deadline);
}

int await_window(HWND window, ULONGLONG deadline)
{
    ULONGLONG start = current_tick();
    if (deadline < start + LATE_PROBE_MS)
        deadline = start + LATE_PROBE_MS;
    // Real time bounds the wait too: on a test's virtual clock the slices a
    // busy window takes pass no time.
    ULONGLONG real_start = GetTickCount64();
    ULONGLONG budget = deadline - start;
    // Bounded by the deadline: every slice that does not end the wait uses up
    // its whole time-out.
    for (;;) {
        if (!IsWindow(window))
            return WINDOW_GONE;
        // A window of this thread is called directly: nothing to wait for,
        // however long ago this thread last read its queue.
        if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId())
            return WINDOW_ANSWERED;
        // A thread that took no message for about 5 s: Windows calls it hung.
        if (IsHungAppWindow(window))
            return WINDOW_HUNG;
        ULONGLONG now = current_tick();
        ULONGLONG spent = GetTickCount64() - real_start;
        if (now >= deadline || spent >= budget)
            return WINDOW_HUNG;
        ULONGLONG slice = deadline - now;
        if (slice > budget - spent)
            slice = budget - spent;
        if (slice > ANSWER_SLICE_MS)
            slice = ANSWER_SLICE_MS;
        ULONGLONG sent = GetTickCount64();
        DWORD_PTR result = 0;
        if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, (UINT)slice, &result))
            return WINDOW_ANSWERED;
        // Refused well before its time-out: Windows already holds the thread
        // hung (or the window went). A full time-out only means busy.
        if (GetTickCount64() - sent < slice / 2)
            return IsWindow(window) ? WINDOW_HUNG : WINDOW_GONE;
    }
}

int window_answers(HWND window)
{
    return await_window(window, current_tick() + ANSWER_TIMEOUT_MS) == WINDOW_ANSWERED;
}

ULONGLONG show_deadline()
{
    return current_tick() + SHOW_WAIT_MS;
}

void hide_window(HWND window)
{
    if (GetPropW(window, HIDDEN_PROPERTY))
        return;  // keep the style from before the first hiding
    ULONGLONG deadline = current_tick() + ANSWER_TIMEOUT_MS;
    if (await_window(window, deadline) != WINDOW_ANSWERED)
        return;
    LONG_PTR style = GetWindowLongPtrW(window, GWL_EXSTYLE);
    SetPropW(window, HIDDEN_PROPERTY, (HANDLE)(ULONG_PTR)((unsigned long long)style | HIDDEN_MARK_BIT));
    // A thread that stops right here keeps the call: the window then stays
    // as it looks, marked, and showing it again is a later run's job.
    if (call_window(SET_EX_STYLE, window, style | WS_EX_LAYERED | WS_EX_TRANSPARENT, deadline))
        SetLayeredWindowAttributes(window, 0, 1, LWA_ALPHA);
}

// 1 when the window shows as it did before the hiding: neither of the
// hiding's styles left beyond what it had, and a layered one fully opaque.
static int shows_as_before(HWND window, LONG_PTR before)
{
    LONG_PTR now = GetWindowLongPtrW(window, GWL_EXSTYLE);
    const LONG_PTR hiding = WS_EX_LAYERED | WS_EX_TRANSPARENT;
    if ((now & hiding) != (before & hiding))
        return 0;
    if (!(now & WS_EX_LAYERED))
        return 1;
    BYTE alpha = 255;
    DWORD flags = 0;
    if (!GetLayeredWindowAttributes(window, nullptr, &alpha, &flags))
        return 1;  // layered by UpdateLayeredWindow: nothing of ours to read
    return !(flags & LWA_ALPHA) || alpha == 255;
}

int unhide_window_by(HWND window, ULONGLONG deadline)
{
    unsigned long long saved = (unsigned long long)(ULONG_PTR)GetPropW(window, HIDDEN_PROPERTY);
    if (!saved)
        return IsWindow(window) ? UNHIDE_PLAIN : UNHIDE_GONE;
    int answer = await_window(window, deadline);
    if (answer == WINDOW_GONE)
        return UNHIDE_GONE;
    if (answer != WINDOW_ANSWERED) {
        // The style change would wait for the hung thread, for good; the
        // opacity is kept by the system and comes back at once. The property
        // stays, so that a later run can finish the job.
        SetLayeredWindowAttributes(window, 0, 255, LWA_ALPHA);
        return UNHIDE_HUNG;
    }
    LONG_PTR style = (LONG_PTR)(saved & ~HIDDEN_MARK_BIT);
    // Full opacity first: it needs nothing from the window's thread, so a
    // thread that stops during the style change leaves the window seen.
    SetLayeredWindowAttributes(window, 0, 255, LWA_ALPHA);
    if (!call_window(SET_EX_STYLE, window, style, deadline))
        return UNHIDE_HUNG;  // the property stays, as for a hung window
    if (!IsWindow(window))
        return UNHIDE_GONE;
    // The system may refuse the change (a window of higher integrity) or the
    // window undo it: only what the window shows now counts.
    if (!shows_as_before(window, style))
        return UNHIDE_REFUSED;
    RemovePropW(window, HIDDEN_PROPERTY);
    call_window(REDRAW_WINDOW, window, 0, deadline);
    return UNHIDE_PLAIN;
}

int unhide_window(HWND window)
{
    return unhide_window_by(window, show_deadline());
}

int show_windows_again(const HWND* windows, int count, ULONGLONG deadline)
{
    int shown = 0;
    for (int i = 0; i < count; i++) {
        int result = unhide_window_by(windows[i], deadline);
        if (result == UNHIDE_PLAIN)
            shown++;
        else if (result == UNHIDE_HUNG)
            report("NOT_SHOWN hung");
        else if (result == UNHIDE_REFUSED)
            report("NOT_SHOWN refused");
    }
    return shown;
}

static int bring_forward_by(HWND window, ULONGLONG deadline)
{
    if (await_window(window, deadline) != WINDOW_ANSWERED)
        return FRONT_NOT_TAKEN;
    int front = FRONT_NOT_TAKEN;
    return call_window_for(BRING_FORWARD, window, 0, deadline, &front) ? front : FRONT_NOT_TAKEN;
}

int bring_to_front_by(HWND window, ULONGLONG deadline)
{
    return bring_forward_by(window, deadline) == FRONT_TAKEN;
}

int try_bring_to_front(HWND window)
{
    return bring_forward_by(window, current_tick() + ANSWER_TIMEOUT_MS);
}

int bring_to_front(HWND window)
{
    return try_bring_to_front(window) == FRONT_TAKEN;
}

// Both keys, down then up; 1 when both posts went through.
static int post_escape(HWND window)
{
    return input_calls.post_message(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001) &&
           input_calls.post_message(window, WM_KEYUP, VK_ESCAPE, (LPARAM)0xC0010001u);
}

int send_escape(HWND window)
{
    // A real key goes to whatever has the keyboard: only to the launcher in
    // front, and never while the player is away (only the input desktop
    // takes keys) or busy with a full-screen program.
    if (GetForegroundWindow() == window && !screen_off_limits()) {
        INPUT keys[2];
        ZeroMemory(keys, sizeof keys);
        keys[0].type = INPUT_KEYBOARD;
        keys[0].ki.wVk = VK_ESCAPE;
        keys[1].type = INPUT_KEYBOARD;
        keys[1].ki.wVk = VK_ESCAPE;
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        return input_calls.send_input(2, keys, sizeof(INPUT)) == 2;
    }
    // The launcher's page takes keys in its Chromium render widget.
    HWND page = FindWindowExW(window, nullptr, L"Chrome_RenderWidgetHostHWND", nullptr);
    int sent = post_escape(window);
    if (page)
        post_escape(page);
    return sent;
}

int window_gone(HWND window)
{
    if (!IsWindow(window))
        return 1;
    if (!IsWindowVisible(window))
        return 1;
    return IsIconic(window) ? 1 : 0;
}

void restore_windows_by(HWND window, ULONGLONG deadline)
{
    LauncherWindows found;
    find_launcher_windows(&found);
    show_windows_again(found.windows, found.count, deadline);
    if (window && IsWindow(window)) {
        // Listed already, unless it stopped being visible: its line comes
        // from the list alone.
        int listed = 0;
        for (int i = 0; i < found.count; i++)
            listed |= found.windows[i] == window;
        if (!listed)
            show_windows_again(&window, 1, deadline);
        // Not onto another virtual desktop, nor over a player away or busy.
        if (!screen_off_limits())
            bring_to_front_by(window, deadline);
    }
    hide_mode = 0;
}

void restore_windows(HWND window)
{
    // One wait for all windows, so that the run's end stays bounded.
    restore_windows_by(window, show_deadline());
}
