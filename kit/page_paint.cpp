#include "page_paint.h"

#include "chromium_habits.h"
#include "page_scale.h"

namespace {

static_assert(sizeof(BITMAPINFOHEADER) == PICTURE_INFO_BYTES, "the picture reader makes the header GDI reads");

const COLORREF BACKGROUND = RGB(0x1b, 0x1d, 0x20);
const COLORREF MARKER = RGB(0xc8, 0x32, 0xc8);

COLORREF colour_ref(int rrggbb)
{
    return RGB((rrggbb >> 16) & 0xff, (rrggbb >> 8) & 0xff, rrggbb & 0xff);
}

void fill(HDC dc, RECT r, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

}  // namespace

RECT page_client_rect(HWND window, const Page& page, int index)
{
    RECT outer = {0, 0, 0, 0};
    GetWindowRect(window, &outer);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    const PageElement& root = page.elements[0];
    const PageElement& e = page.elements[(size_t)index];
    int left = e.left - root.left, top = e.top - root.top;
    LONG x = outer.left - origin.x, y = outer.top - origin.y;
    return RECT{x + to_window_units(left), y + to_window_units(top), x + to_window_units(left + e.width),
                y + to_window_units(top + e.height)};
}

void paint_page(HWND window, HDC dc, const Page& page, const PageBackground* background)
{
    RECT client;
    GetClientRect(window, &client);
    fill(dc, client, BACKGROUND);
    if (background && !background->pixels.empty()) {
        long rows = background->height < 0 ? -(long)background->height : background->height;
        const BITMAPINFO* info = (const BITMAPINFO*)background->info.data();
        if (page_units_are_window_units()) {
            SetDIBitsToDevice(dc, 0, 0, (DWORD)background->width, (DWORD)rows, 0, 0, 0, (UINT)rows,
                              background->pixels.data(), info, DIB_RGB_COLORS);
        } else {
            // A picture of the page's pixels, stretched as the window is scaled.
            SetStretchBltMode(dc, COLORONCOLOR);
            StretchDIBits(dc, 0, 0, to_window_units((int)background->width), to_window_units((int)rows), 0, 0,
                          (int)background->width, (int)rows, background->pixels.data(), info, DIB_RGB_COLORS,
                          SRCCOPY);
        }
    }
    // The dialog font's 11 pixels at 96 DPI, scaled with the rest.
    HFONT text_font = page_dpi() == 96 ? nullptr
                                       : CreateFontW(-to_window_units(11), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                                     DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma");
    HGDIOBJ old_font = SelectObject(dc, text_font ? (HGDIOBJ)text_font : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    for (int i = 0; i < (int)page.elements.size(); i++) {
        if (!page_element_visible(page, i))
            continue;
        const PageElement& e = page.elements[(size_t)i];
        RECT r = page_client_rect(window, page, i);
        if (e.fill >= 0)
            fill(dc, r, colour_ref(e.fill));
        // The window element's name is its title, shown in the caption.
        if (i > 0 && e.text_colour >= 0 && !e.name.empty()) {
            SetTextColor(dc, colour_ref(e.text_colour));
            UINT format = DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS | DT_VCENTER;
            format |= e.control_type == 50000 ? DT_CENTER : DT_LEFT;
            RECT text = r;
            // A button's caption is large and bold, as the launcher's PLAY is:
            // the pixel route looks for light caption pixels on the green.
            HFONT caption = nullptr;
            if (e.control_type == 50000) {
                int height = (int)(r.bottom - r.top) * 9 / 20;
                caption = CreateFontW(-height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                                      DEFAULT_PITCH, L"Tahoma");
            }
            HGDIOBJ previous = caption ? SelectObject(dc, caption) : nullptr;
            DrawTextW(dc, e.name.c_str(), (int)e.name.size(), &text, format);
            if (caption) {
                SelectObject(dc, previous);
                DeleteObject(caption);
            }
        }
        if (e.marker) {
            int middle = (r.top + r.bottom) / 2 - to_window_units(6);
            fill(dc, RECT{r.left - to_window_units(40), middle, r.left - to_window_units(28), middle + to_window_units(12)},
                 MARKER);
        }
    }
    SelectObject(dc, old_font);
    if (text_font)
        DeleteObject(text_font);
}

int page_element_at(HWND window, const Page& page, POINT client)
{
    int hit = -1;
    for (int i = 1; i < (int)page.elements.size(); i++) {
        if (page.elements[(size_t)i].actions.empty() || !page_element_visible(page, i) ||
            element_inert(page, i))
            continue;
        RECT r = page_client_rect(window, page, i);
        if (PtInRect(&r, client))
            hit = i;
    }
    return hit;
}
