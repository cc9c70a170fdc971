// Taking a picture of a launcher window's client area: the window paints
// itself into a memory bitmap, or else the screen is copied with the window
// in front.
#include "vision/capture.h"

#include <stdlib.h>
#include <string.h>

#include "press/clock.h"
#include "windows/launcher_call.h"
#include "windows/window_handling.h"

// PrintWindow flags; older SDK headers lack the second.
enum { PRINT_CLIENT_ONLY = 0x1, PRINT_FULL_CONTENT = 0x2 };

// PrintWindow has the window's own thread paint, so a launcher that stopped
// answering keeps it for good: it runs under this limit.
enum { PRINT_LIMIT_MS = 1500 };

// The memory bitmap a PrintWindow paints into. A call the tool gave up on
// keeps it: the worker lets it go if the call ever ends.
struct PrintCall {
    LauncherCall head;  // first: the record is handed around by its head
    HWND window;
    UINT flags;
    HDC memory_dc;
    HBITMAP dib;
    HGDIOBJ previous;  // selected out of memory_dc by the dib
    int printed;
};

static void print_now(LauncherCall* head)
{
    PrintCall* call = (PrintCall*)head;
    call->printed = PrintWindow(call->window, call->memory_dc, call->flags);
    GdiFlush();  // the drawing must have reached the bits before they are read
}

static void discard_print(LauncherCall* head)
{
    PrintCall* call = (PrintCall*)head;
    SelectObject(call->memory_dc, call->previous);
    DeleteObject(call->dib);
    DeleteDC(call->memory_dc);
}

static void set_empty(Capture* picture)
{
    picture->width = 0;
    picture->height = 0;
    picture->pixels = nullptr;
}

enum { PRINT_GIVEN_UP = -1 };

// 1 when the window painted something into the bitmap, 0 when not, and
// PRINT_GIVEN_UP when the window's thread kept the call: the memory DC, the
// bitmap and its selection then belong to the call.
static int printed_picture(HWND window, HDC memory_dc, HBITMAP dib, HGDIOBJ previous,
                           const Capture* view, UINT flags)
{
    PrintCall* call = (PrintCall*)new_launcher_call(sizeof(PrintCall));
    if (!call)
        return 0;
    call->head.work = print_now;
    call->head.kind = CALL_PICTURE;
    call->head.discard = discard_print;
    call->window = window;
    call->flags = flags;
    call->memory_dc = memory_dc;
    call->dib = dib;
    call->previous = previous;
    if (await_call(&call->head, window, PRINT_LIMIT_MS) != CALL_DONE)
        return PRINT_GIVEN_UP;
    int printed = call->printed;
    free_launcher_call(&call->head);
    return printed && !image_is_flat(view);
}

// 1 when the window is in front and its client area was copied from the
// screen. Another window's pixels must never pass for the launcher's, so
// nothing is copied unless the window is the foreground window.
static int copied_from_screen(HWND window, HDC window_dc, HDC memory_dc, const Capture* view)
{
    if (GetForegroundWindow() != window) {
        bring_to_front(window);
        wait_ms(SCREEN_COPY_WAIT_MS);
    }
    if (GetForegroundWindow() != window)
        return 0;
    BOOL copied = BitBlt(memory_dc, 0, 0, view->width, view->height, window_dc, 0, 0, SRCCOPY);
    GdiFlush();
    return copied && !image_is_flat(view);
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
    HDC window_dc = GetDC(window);
    if (!window_dc)
        return 0;

    int result = 0;
    HDC memory_dc = CreateCompatibleDC(window_dc);
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);  // 40
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(window_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = nullptr;
    if (dib && bits && memory_dc)
        previous = SelectObject(memory_dc, dib);
    if (previous && previous != HGDI_ERROR) {
        // The flat test looks at the DIB's bits in place; nothing is copied.
        Capture view = {width, height, (unsigned char*)bits};
        int seen = printed_picture(window, memory_dc, dib, previous, &view, PRINT_CLIENT_ONLY | PRINT_FULL_CONTENT);
        if (seen == 0)
            seen = printed_picture(window, memory_dc, dib, previous, &view, PRINT_CLIENT_ONLY);
        if (seen == PRINT_GIVEN_UP) {
            // The bitmap went with the call; a hung window gives no picture.
            ReleaseDC(window, window_dc);
            return 0;
        }
        if (seen == 0)
            seen = copied_from_screen(window, window_dc, memory_dc, &view);
        if (seen) {
            size_t size = (size_t)width * (size_t)height * 4;
            unsigned char* pixels = (unsigned char*)malloc(size);
            if (pixels) {
                memcpy(pixels, bits, size);
                picture->width = width;
                picture->height = height;
                picture->pixels = pixels;
                result = 1;
            }
        }
        SelectObject(memory_dc, previous);
    }
    // Given back in reverse order on every path; the bitmap only after it
    // has been selected out.
    if (dib)
        DeleteObject(dib);
    if (memory_dc)
        DeleteDC(memory_dc);
    ReleaseDC(window, window_dc);
    return result;
}

void release_capture(Capture* picture)
{
    free(picture->pixels);
    set_empty(picture);
}
