// Painting the simulated launcher's windows.
#include "launcher_painting.h"

#include <string.h>

#include "launcher_state.h"
#include "launcher_windows.h"
#include "page_paint.h"
#include "page_scale.h"

namespace {

const COLORREF BACKGROUND = RGB(0x1b, 0x1d, 0x20);
const COLORREF CAPTION = RGB(0xff, 0xff, 0xff);
const COLORREF MARKER = RGB(0xc8, 0x32, 0xc8);

void fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour)
{
    RECT r{left, top, right, bottom};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

// The scene in the client coordinates of the main window: its 96-DPI
// lengths in the window's own units (s).
void paint_scene(HDC dc, RECT client)
{
    int (*s)(int) = to_window_units;
    fill(dc, client.left, client.top, client.right, client.bottom, BACKGROUND);
    // A small logo at the top left: no launcher is one flat colour, also
    // once its button has gone (a flat picture counts as none seen).
    fill(dc, client.left + s(24), client.top + s(16), client.left + s(40), client.top + s(32), CAPTION);
    if (settings.popup_until_escape && !button_shown) {
        // A pop-up over the page: a panel with a title bar and two grey
        // buttons, so that the window is not one flat colour.
        int cx = (client.left + client.right) / 2, cy = (client.top + client.bottom) / 2;
        fill(dc, cx - s(220), cy - s(120), cx + s(220), cy + s(120), RGB(0x31, 0x33, 0x38));
        fill(dc, cx - s(220), cy - s(120), cx + s(220), cy - s(84), RGB(0x48, 0x4b, 0x52));
        fill(dc, cx - s(190), cy + s(60), cx - s(20), cy + s(96), RGB(0x5a, 0x5d, 0x63));
        fill(dc, cx + s(20), cy + s(60), cx + s(190), cy + s(96), RGB(0x5a, 0x5d, 0x63));
    }
    if (!settings.has_button || !button_shown)
        return;
    const RECT& b = settings.button;
    fill(dc, b.left, b.top, b.right, b.bottom, settings.button_colour);
    // A blocky "PLAY" caption: white bars in the middle of the button.
    int cx = (b.left + b.right) / 2, cy = (b.top + b.bottom) / 2;
    for (int letter = 0; letter < 4; letter++) {
        int lx = cx - s(44 - letter * 24);
        fill(dc, lx, cy - s(10), lx + s(4), cy + s(10), CAPTION);
        fill(dc, lx, cy - s(10), lx + s(14), cy - s(6), CAPTION);
        fill(dc, lx + s(10), cy - s(10), lx + s(14), cy, CAPTION);
        fill(dc, lx, cy - s(2), lx + s(14), cy + s(2), CAPTION);
    }
    if (settings.marker) {
        int my = (b.top + b.bottom) / 2 - s(6);
        fill(dc, b.left - s(40), my, b.left - s(28), my + s(12), MARKER);
    }
}

void paint(HWND window, HDC dc)
{
    if (has_page) {
        paint_page(window, dc, page, &background);
        return;
    }
    RECT client;
    GetClientRect(window, &client);
    paint_scene(dc, client);
}

}  // namespace

void paint_window(HWND window, HDC dc)
{
    const char* role = window_role(window);
    if (!strcmp(role, "main"))
        paint(window, dc);
    else if (!strcmp(role, "chrome")) {
        // In the main window's client coordinates, wherever the child sits.
        POINT origin{0, 0};
        MapWindowPoints(window, GetParent(window), &origin, 1);
        POINT old;
        OffsetViewportOrgEx(dc, -origin.x, -origin.y, &old);
        paint(GetParent(window), dc);
        SetViewportOrgEx(dc, old.x, old.y, nullptr);
    }
    else
        fill(dc, 0, 0, 4000, 4000, RGB(0x30, 0x30, 0x38));
}

void repaint_all(HWND window)
{
    InvalidateRect(window, nullptr, TRUE);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        InvalidateRect(child, nullptr, TRUE);
}

void show_button(HWND window, int shown)
{
    button_shown = shown;
    repaint_all(window);
}
