// Taking a picture of a launcher window's client area: the window paints
// itself into a memory bitmap, or else the screen is copied with the window
// in front.
#include "vision/capture.h"

#include <stdlib.h>
#include <string.h>

#include "press/clock.h"
#include "windows/window_handling.h"

// PrintWindow flags; older SDK headers lack the second.
enum { PRINT_CLIENT_ONLY = 0x1, PRINT_FULL_CONTENT = 0x2 };

static void set_empty(Capture* picture)
{
    picture->width = 0;
    picture->height = 0;
    picture->pixels = nullptr;
}

// 1 when the window painted something into the bitmap.
static int printed_picture(HWND window, HDC memory_dc, const Capture* view, UINT flags)
{
    if (!PrintWindow(window, memory_dc, flags))
        return 0;
    GdiFlush();  // the drawing must have reached the bits before they are read
    return !image_is_flat(view);
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
        int seen = printed_picture(window, memory_dc, &view, PRINT_CLIENT_ONLY | PRINT_FULL_CONTENT) ||
                   printed_picture(window, memory_dc, &view, PRINT_CLIENT_ONLY) ||
                   copied_from_screen(window, window_dc, memory_dc, &view);
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
