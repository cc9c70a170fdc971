#include "windows/window_handling.h"

#include "app/settings.h"
#include "windows/discovery.h"

int await_window(HWND window, ULONGLONG deadline)
{
    ULONGLONG late_end = GetTickCount64() + LATE_PROBE_MS;
    if (deadline < late_end)
        deadline = late_end;
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
        ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return WINDOW_HUNG;
        ULONGLONG slice = deadline - now;
        if (slice > ANSWER_SLICE_MS)
            slice = ANSWER_SLICE_MS;
        DWORD_PTR result = 0;
        if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, (UINT)slice, &result))
            return WINDOW_ANSWERED;
        // Refused well before its time-out: Windows already holds the thread
        // hung (or the window went). A full time-out only means busy.
        if (GetTickCount64() - now < slice / 2)
            return IsWindow(window) ? WINDOW_HUNG : WINDOW_GONE;
    }
}

int window_answers(HWND window)
{
    return await_window(window, GetTickCount64() + ANSWER_TIMEOUT_MS) == WINDOW_ANSWERED;
}

ULONGLONG show_deadline()
{
    return GetTickCount64() + SHOW_WAIT_MS;
}

void hide_window(HWND window)
{
    if (GetPropW(window, HIDDEN_PROPERTY))
        return;  // keep the style from before the first hiding
    if (!window_answers(window))
        return;
    LONG_PTR style = GetWindowLongPtrW(window, GWL_EXSTYLE);
    SetPropW(window, HIDDEN_PROPERTY, (HANDLE)(ULONG_PTR)((unsigned long long)style | HIDDEN_MARK_BIT));
    SetWindowLongPtrW(window, GWL_EXSTYLE, style | WS_EX_LAYERED | WS_EX_TRANSPARENT);
    SetLayeredWindowAttributes(window, 0, 1, LWA_ALPHA);
}

int unhide_window_by(HWND window, ULONGLONG deadline)
{
    unsigned long long saved = (unsigned long long)(ULONG_PTR)GetPropW(window, HIDDEN_PROPERTY);
    if (!saved)
        return 1;
    int answer = await_window(window, deadline);
    if (answer != WINDOW_ANSWERED) {
        // The style change would wait for the hung thread, for good; the
        // opacity is kept by the system and comes back at once. The property
        // stays, so that a later run can finish the job.
        if (answer == WINDOW_HUNG)
            SetLayeredWindowAttributes(window, 0, 255, LWA_ALPHA);
        return 0;
    }
    LONG_PTR style = (LONG_PTR)(saved & ~HIDDEN_MARK_BIT);
    if (style & WS_EX_LAYERED)
        SetLayeredWindowAttributes(window, 0, 255, LWA_ALPHA);
    SetWindowLongPtrW(window, GWL_EXSTYLE, style);
    RemovePropW(window, HIDDEN_PROPERTY);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    return 1;
}

void unhide_window(HWND window)
{
    unhide_window_by(window, show_deadline());
}

void bring_to_front_by(HWND window, ULONGLONG deadline)
{
    if (await_window(window, deadline) != WINDOW_ANSWERED)
        return;
    if (IsIconic(window))
        ShowWindow(window, SW_RESTORE);
    HWND foreground = GetForegroundWindow();
    DWORD foreground_thread = foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
    DWORD own_thread = GetCurrentThreadId();
    // Windows lets a thread take the foreground only from the one holding it:
    // share its input state for the moment of the switch.
    BOOL attached = FALSE;
    if (foreground_thread != 0 && foreground_thread != own_thread)
        attached = AttachThreadInput(own_thread, foreground_thread, TRUE);
    BringWindowToTop(window);
    SetForegroundWindow(window);
    if (attached)
        AttachThreadInput(own_thread, foreground_thread, FALSE);
}

void bring_to_front(HWND window)
{
    bring_to_front_by(window, GetTickCount64() + ANSWER_TIMEOUT_MS);
}

void send_escape(HWND window)
{
    if (GetForegroundWindow() == window) {
        INPUT keys[2];
        ZeroMemory(keys, sizeof keys);
        keys[0].type = INPUT_KEYBOARD;
        keys[0].ki.wVk = VK_ESCAPE;
        keys[1].type = INPUT_KEYBOARD;
        keys[1].ki.wVk = VK_ESCAPE;
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, keys, sizeof(INPUT));
        return;
    }
    // The launcher's page takes keys in its Chromium render widget.
    HWND page = FindWindowExW(window, nullptr, L"Chrome_RenderWidgetHostHWND", nullptr);
    PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(window, WM_KEYUP, VK_ESCAPE, (LPARAM)0xC0010001u);
    if (page) {
        PostMessageW(page, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageW(page, WM_KEYUP, VK_ESCAPE, (LPARAM)0xC0010001u);
    }
}

int window_gone(HWND window)
{
    if (!IsWindow(window))
        return 1;
    if (!IsWindowVisible(window))
        return 1;
    return IsIconic(window) ? 1 : 0;
}

void restore_windows(HWND window)
{
    // One wait for all windows, so that the run's end stays bounded.
    ULONGLONG deadline = show_deadline();
    LauncherWindows found;
    find_launcher_windows(&found);
    for (int i = 0; i < found.count; i++)
        unhide_window_by(found.windows[i], deadline);
    if (window && IsWindow(window)) {
        unhide_window_by(window, deadline);
        bring_to_front_by(window, deadline);
    }
    hide_mode = 0;
}
