// Painting a page in the simulated launcher's window, and finding what a
// click lands on, so the pixel route sees what UI Automation serves.
#pragma once

#include <windows.h>

#include "page.h"
#include "page_picture.h"

// The element's rectangle in the window's client coordinates now.
RECT page_client_rect(HWND window, const Page& page, int index);
// The dark background, the picture, then every shown element in page order.
void paint_page(HWND window, HDC dc, const Page& page, const PageBackground* background);
// The topmost shown element with an action under a client point, or -1.
int page_element_at(HWND window, const Page& page, POINT client);
