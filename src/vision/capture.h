// Taking a picture of a launcher window's client area.
#pragma once

#include <windows.h>

#include "vision/picture.h"

enum { MIN_CAPTURE_SIDE = 50, SCREEN_COPY_WAIT_MS = 350 };

// 1 with a complete picture (the caller then calls release_capture), or 0
// with the record empty. May bring the window to the front for a screen copy
// (never where machine_now.h puts the screen off limits; a refused foreground
// is noted there).
int capture_window(HWND window, Capture* picture);
// Frees the pixels and empties the record; harmless on an empty one.
void release_capture(Capture* picture);
