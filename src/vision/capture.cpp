// Taking a picture of a launcher window's client area: the window paints
// itself into a memory bitmap, or else the screen is copied with the window
// in front.
#include "vision/capture.h"

#include <stdlib.h>
#include <string.h>

#include "press/clock.h"
#include "windows/coordinates.h"
#include "windows/launcher_call.h"
#include "windows/machine_now.h"
#include "windows/window_handling.h"

// PrintWindow flags; older SDK headers lack the second.
enum { PRINT_CLIENT_ONLY = 0x1, PRINT_FULL_CONTENT = 0x2 };

// PrintWindow has the window's own thread paint, so a launcher that stopped
// answering keeps it for good: it runs under this limit.
enum { PRINT_LIMIT_MS = 1500 };

// A memory bitmap to draw into: a DIB section selected into a memory device
// context, and a Capture view of its bits in place (nothing is copied).
struct Canvas {
    HDC dc;
    HBITMAP dib;
    HGDIOBJ previous;  // selected out of dc by the dib
    Capture view;
};

// 1 with the bitmap selected into its context; else 0, with whatever was
// made given back.
static int make_canvas(HDC window_dc, int32_t width, int32_t height, Canvas* canvas)
{
    memset(canvas, 0, sizeof *canvas);
    canvas->dc = CreateCompatibleDC(window_dc);
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);  // 40
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    canvas->dib = CreateDIBSection(window_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (canvas->dib && bits && canvas->dc)
        canvas->previous = SelectObject(canvas->dc, canvas->dib);
    if (!canvas->previous || canvas->previous == HGDI_ERROR) {
        // Given back in reverse order; nothing was selected.
        if (canvas->dib)
            DeleteObject(canvas->dib);
        if (canvas->dc)
            DeleteDC(canvas->dc);
        memset(canvas, 0, sizeof *canvas);
        return 0;
    }
    canvas->view = Capture{width, height, (unsigned char*)bits};
    return 1;
}

// The bitmap only after it has been selected out.
static void free_canvas(Canvas* canvas)
{
    SelectObject(canvas->dc, canvas->previous);
    DeleteObject(canvas->dib);
    DeleteDC(canvas->dc);
    memset(canvas, 0, sizeof *canvas);
}

// The canvas a PrintWindow paints into. A call the tool gave up on keeps it:
// the worker lets it go if the call ever ends.
struct PrintCall {
    LauncherCall head;  // first: the record is handed around by its head
    HWND window;
    UINT flags;
    Canvas canvas;
    int printed;
};

static void print_now(LauncherCall* head)
{
    PrintCall* call = (PrintCall*)head;
    call->printed = PrintWindow(call->window, call->canvas.dc, call->flags);
    GdiFlush();  // the drawing must have reached the bits before they are read
}

static void discard_print(LauncherCall* head)
{
    free_canvas(&((PrintCall*)head)->canvas);
}

static void set_empty(Capture* picture)
{
    picture->width = 0;
    picture->height = 0;
    picture->pixels = nullptr;
}

enum { PRINT_GIVEN_UP = -1 };

// 1 when the window painted something into the canvas, 0 when not, and
// PRINT_GIVEN_UP when the window's thread kept the call: the canvas then
// belongs to the call.
static int printed_picture(HWND window, const Canvas* canvas, UINT flags)
{
    PrintCall* call = (PrintCall*)new_launcher_call(sizeof(PrintCall));
    if (!call)
        return 0;
    call->head.work = print_now;
    call->head.kind = CALL_PICTURE;
    call->head.discard = discard_print;
    call->window = window;
    call->flags = flags;
    call->canvas = *canvas;
    if (await_call(&call->head, window, PRINT_LIMIT_MS) != CALL_DONE)
        return PRINT_GIVEN_UP;
    int printed = call->printed;
    free_launcher_call(&call->head);
    return printed && !image_is_flat(&canvas->view);
}

// Nothing but the launcher may show in its client area for a screen copy:
// no topmost window over it (after bring_to_front only topmost windows stay
// above it), no part of it off every monitor (that part copies black).
enum { MAX_WINDOWS_ABOVE = 1024 };

static int topmost_window_over(HWND window, RECT area)
{
    HWND above = GetWindow(window, GW_HWNDPREV);
    for (int i = 0; above && i < MAX_WINDOWS_ABOVE; i++, above = GetWindow(above, GW_HWNDPREV)) {
        if (!(GetWindowLongPtrW(above, GWL_EXSTYLE) & WS_EX_TOPMOST) || !IsWindowVisible(above) ||
            IsIconic(above))
            continue;
        // A layered window at alpha 0 shows nothing.
        BYTE alpha = 255;
        DWORD flags = 0;
        if ((GetWindowLongPtrW(above, GWL_EXSTYLE) & WS_EX_LAYERED) &&
            GetLayeredWindowAttributes(above, nullptr, &alpha, &flags) && (flags & LWA_ALPHA) && alpha == 0)
            continue;
        RECT r, overlap;
        if (GetWindowRect(above, &r) && IntersectRect(&overlap, &r, &area))
            return 1;
    }
    return 0;
}

static int client_area_shows_alone(HWND window, const Capture* view)
{
    POINT corner = {0, 0};
    if (!ClientToScreen(window, &corner))
        return 0;
    RECT area = {corner.x, corner.y, corner.x + view->width, corner.y + view->height};
    return screen_area_on_monitors(area) && !topmost_window_over(window, area);
}

// 1 when the window is in front, shows alone, and its client area was
// copied from the screen. Another window's pixels must never pass for the
// launcher's, so nothing is copied unless the window is the foreground
// window and nothing else shows over it. Nor is the screen taken from a
// player who is away or busy with a full-screen program, or a window on
// another virtual desktop copied (that would pull the player there); and a
// foreground Windows refused is not waited for.
static int copied_from_screen(HWND window, HDC window_dc, const Canvas* canvas)
{
    if (screen_off_limits())
        return 0;
    if (GetForegroundWindow() != window) {
        if (try_bring_to_front(window) == FRONT_REFUSED) {
            machine_now.foreground_refused = 1;
            return 0;
        }
        wait_ms(SCREEN_COPY_WAIT_MS);
    }
    if (GetForegroundWindow() != window || !client_area_shows_alone(window, &canvas->view))
        return 0;
    BOOL copied = BitBlt(canvas->dc, 0, 0, canvas->view.width, canvas->view.height, window_dc, 0, 0, SRCCOPY);
    GdiFlush();
    return copied && !image_is_flat(&canvas->view);
}

// The printed picture of a window that draws at another DPI than its
// monitor's, stretched to the physical client size.
static int stretched_picture(const Canvas* from, const Canvas* to)
{
    SetStretchBltMode(to->dc, COLORONCOLOR);
    BOOL drawn = StretchBlt(to->dc, 0, 0, to->view.width, to->view.height, from->dc, 0, 0, from->view.width,
                            from->view.height, SRCCOPY);
    GdiFlush();
    return drawn && !image_is_flat(&to->view);
}

int capture_window(HWND window, Capture* picture)
{
    set_empty(picture);
    // A launcher Windows reports hung shows only what it last painted (on
    // Windows a ghost of it), and nothing there can be pressed.
    if (IsHungAppWindow(window))
        return 0;
    RECT client;
    if (!GetClientRect(window, &client))
        return 0;
    int32_t width = client.right, height = client.bottom;
    if (width < MIN_CAPTURE_SIDE || height < MIN_CAPTURE_SIDE)
        return 0;  // before any device context is taken
    // A DPI-unaware (or system-aware) window on a scaled monitor paints
    // itself in its own units: it is printed at its own size, then
    // stretched, so that both pictures hold physical client pixels.
    SIZE own = {width, height};
    WindowScale scale;
    if (read_window_scale(window, &scale))
        own = window_client_size(&scale, own);
    int stretch = (own.cx != width || own.cy != height) && own.cx > 0 && own.cy > 0;
    HDC window_dc = GetDC(window);
    if (!window_dc)
        return 0;

    int result = 0;
    Canvas canvas, own_size;
    if (make_canvas(window_dc, width, height, &canvas)) {
        const Canvas* printing = &canvas;
        if (stretch)
            printing = make_canvas(window_dc, own.cx, own.cy, &own_size) ? &own_size : nullptr;
        int seen = 0;
        if (printing) {
            seen = printed_picture(window, printing, PRINT_CLIENT_ONLY | PRINT_FULL_CONTENT);
            if (seen == 0)
                seen = printed_picture(window, printing, PRINT_CLIENT_ONLY);
        }
        if (seen == PRINT_GIVEN_UP) {
            // The canvas printed into went with the call; a hung window
            // gives no picture.
            if (printing != &canvas)
                free_canvas(&canvas);
            ReleaseDC(window, window_dc);
            return 0;
        }
        if (printing && printing != &canvas) {
            if (seen)
                seen = stretched_picture(&own_size, &canvas);
            free_canvas(&own_size);
        }
        if (seen == 0)
            seen = copied_from_screen(window, window_dc, &canvas);
        if (seen) {
            size_t size = (size_t)width * (size_t)height * 4;
            unsigned char* pixels = (unsigned char*)malloc(size);
            if (pixels) {
                memcpy(pixels, canvas.view.pixels, size);
                picture->width = width;
                picture->height = height;
                picture->pixels = pixels;
                result = 1;
            }
        }
        free_canvas(&canvas);
    }
    ReleaseDC(window, window_dc);
    return result;
}

void release_capture(Capture* picture)
{
    free(picture->pixels);
    set_empty(picture);
}
