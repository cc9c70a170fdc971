// The simulated launcher's keyboard and mouse input.
#include "launcher_input.h"

#include <string.h>

#include "launcher_actions.h"
#include "launcher_faults.h"
#include "launcher_painting.h"
#include "launcher_state.h"
#include "launcher_windows.h"

namespace {

LRESULT handle_key(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    HWND main_window = GetAncestor(window, GA_ROOT);
    const char* role = window_role(window);
    // Posted messages leave the keyboard state alone; real input sets it
    // while its key-down is handled. A key-up is as real as its key-down.
    static int last_down_real = 0;
    int real = last_down_real;
    if (message == WM_KEYDOWN)
        real = last_down_real = (GetKeyState((int)wparam) & 0x8000) != 0;
    log_line("%s %02x %08lx %s %s", message == WM_KEYDOWN ? "KEYDOWN" : "KEYUP", (unsigned)wparam,
             (unsigned long)(DWORD)lparam, role, real ? "real" : "posted");
    if (message == WM_KEYDOWN && wparam == VK_ESCAPE && settings.popup_until_escape && !button_shown) {
        log_line("ACTION popup-closed");
        show_button(main_window, 1);
    }
    // The page takes keys in its render widget; a real key reaches the
    // focused main window. A posted Escape goes to both: act once.
    if (message == WM_KEYDOWN && wparam == VK_ESCAPE && has_page &&
        (!strcmp(role, "chrome") || (real && !strcmp(role, "main")))) {
        int closed = close_page_popup(&page);
        if (closed > 0) {
            log_line("ACTION escape-hide %s", page.elements[(size_t)closed].id.c_str());
            repaint_all(main_window);
        }
    }
    return 0;
}

LRESULT handle_mouse(HWND window, UINT message, LPARAM lparam)
{
    HWND main_window = GetAncestor(window, GA_ROOT);
    const char* role = window_role(window);
    int x = (short)LOWORD(lparam), y = (short)HIWORD(lparam);
    // As with keys: real input sets the button state, posted messages do not.
    int real = (GetKeyState(VK_LBUTTON) & 0x8000) != 0;
    if (message == WM_LBUTTONUP)
        real = button_pressed == 2;
    const char* word = message == WM_MOUSEMOVE ? "MOUSEMOVE" : message == WM_LBUTTONDOWN ? "LBUTTONDOWN" : "LBUTTONUP";
    if (message != WM_LBUTTONUP)
        log_line("%s %d %d %s %s", word, x, y, role, real ? "real" : "posted");
    // The child windows share the main window's client coordinates only
    // when they cover it from 0, 0: map to be sure.
    POINT p{x, y};
    MapWindowPoints(window, main_window, &p, 1);
    int target = has_page ? page_element_at(main_window, page, p) : -1;
    int inside = has_page ? target >= 0 : button_shown && settings.has_button && PtInRect(&settings.button, p);
    if (message == WM_LBUTTONDOWN) {
        button_pressed = inside ? (real ? 2 : 1) : 0;
        pressed_element = target;
        if (inside && settings.hang_on_button_down)
            hang();
    }
    if (message == WM_LBUTTONUP) {
        log_line("%s %d %d %s %s", word, x, y, role, real ? "real" : "posted");
        int was = button_pressed;
        button_pressed = 0;
        if (was && inside && target == pressed_element)
            take_click(main_window, was == 2, target);
    }
    return 0;
}

}  // namespace

LRESULT handle_input(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
        return handle_key(window, message, wparam, lparam);
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        return handle_mouse(window, message, lparam);
    }
    return -1;
}
