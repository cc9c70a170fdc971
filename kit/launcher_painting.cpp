// Painting the simulated launcher's windows.
#include "launcher_painting.h"

#include <string.h>

#include "launcher_state.h"
#include "launcher_windows.h"
#include "page_paint.h"

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

// The scene in the client coordinates of the main window.
void paint_scene(HDC dc, RECT client)
{
    fill(dc, client.left, client.top, client.right, client.bottom, BACKGROUND);
    if (settings.popup_until_escape && !button_shown) {
        // A pop-up over the page: a panel with a title bar and two grey
        // buttons, so that the window is not one flat colour.
        int cx = (client.left + client.right) / 2, cy = (client.top + client.bottom) / 2;
        fill(dc, cx - 220, cy - 120, cx + 220, cy + 120, RGB(0x31, 0x33, 0x38));
        fill(dc, cx - 220, cy - 120, cx + 220, cy - 84, RGB(0x48, 0x4b, 0x52));
        fill(dc, cx - 190, cy + 60, cx - 20, cy + 96, RGB(0x5a, 0x5d, 0x63));
        fill(dc, cx + 20, cy + 60, cx + 190, cy + 96, RGB(0x5a, 0x5d, 0x63));
    }
    if (!settings.has_button || !button_shown)
        return;
    const RECT& b = settings.button;
    fill(dc, b.left, b.top, b.right, b.bottom, settings.button_colour);
    // A blocky "PLAY" caption: white bars in the middle of the button.
    int cx = (b.left + b.right) / 2, cy = (b.top + b.bottom) / 2;
    for (int letter = 0; letter < 4; letter++) {
        int lx = cx - 44 + letter * 24;
        fill(dc, lx, cy - 10, lx + 4, cy + 10, CAPTION);
        fill(dc, lx, cy - 10, lx + 14, cy - 6, CAPTION);
        fill(dc, lx + 10, cy - 10, lx + 14, cy, CAPTION);
        fill(dc, lx, cy - 2, lx + 14, cy + 2, CAPTION);
    }
    if (settings.marker) {
        int my = (b.top + b.bottom) / 2 - 6;
        fill(dc, b.left - 40, my, b.left - 28, my + 12, MARKER);
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
