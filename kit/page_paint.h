// Painting a page in the simulated launcher's window, and finding what a
// click lands on, so the pixel route sees what UI Automation serves.
#pragma once

#include <windows.h>

#include <vector>

#include "page.h"

struct PageBackground {
    std::vector<unsigned char> info;    // BITMAPINFOHEADER (and any colour masks)
    std::vector<unsigned char> pixels;
    int width, height;                  // height as the file gives it (negative: top-down)
};

// Reads an uncompressed BMP (as `dump --shot` writes). 1 on success.
int load_page_background(const wchar_t* path, PageBackground* background);
// The element's rectangle in the window's client coordinates now.
RECT page_client_rect(HWND window, const Page& page, int index);
// The dark background, the picture, then every shown element in page order.
void paint_page(HWND window, HDC dc, const Page& page, const PageBackground* background);
// The topmost shown element with an action under a client point, or -1.
int page_element_at(HWND window, const Page& page, POINT client);
