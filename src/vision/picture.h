// Plain pixel records shared by the capture and the detectors. No Windows
// header here: the detectors also build and run natively.
#pragma once

#include <stdint.h>

// Left, top, right, bottom; right and bottom exclusive. Same layout as RECT.
struct Rect {
    int32_t left, top, right, bottom;
};

// A captured client area: top-down rows of width * 4 bytes, each pixel blue,
// green, red, fourth byte. Empty (all zero) or complete (>= 50 x 50).
struct Capture {
    int32_t width;
    int32_t height;
    unsigned char* pixels;  // owned, from the heap
};

// 1 when every pixel on the 7 x 7 sampling grid equals the first pixel.
int image_is_flat(const Capture* picture);
