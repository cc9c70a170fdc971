#include "windows/window_handling.h"

#include "app/settings.h"
#include "windows/discovery.h"

int window_answers(HWND window)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, ANSWER_TIMEOUT_MS,
                               &result) != 0;
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

void unhide_window(HWND window)
{
    unsigned long long saved = (unsigned long long)(ULONG_PTR)GetPropW(window, HIDDEN_PROPERTY);
    if (!saved || !window_answers(window))
        return;
    LONG_PTR style = (LONG_PTR)(saved & ~HIDDEN_MARK_BIT);
    if (style & WS_EX_LAYERED)
        SetLayeredWindowAttributes(window, 0, 255, LWA_ALPHA);
    SetWindowLongPtrW(window, GWL_EXSTYLE, style);
    RemovePropW(window, HIDDEN_PROPERTY);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
}

void bring_to_front(HWND window)
{
    if (!window_answers(window))
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
    LauncherWindows found;
    find_launcher_windows(&found);
    for (int i = 0; i < found.count; i++)
        unhide_window(found.windows[i]);
    if (window && IsWindow(window)) {
        unhide_window(window);
        bring_to_front(window);
    }
    hide_mode = 0;
}
