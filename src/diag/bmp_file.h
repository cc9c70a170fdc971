// The dump's screenshot: a 32-bit top-down BMP of a captured picture.
// No Windows header: the header bytes are built by hand, little-endian.
#pragma once

#include <stdint.h>

#include "vision/picture.h"

enum {
    BMP_FILE_HEADER_BYTES = 14,   // BITMAPFILEHEADER
    BMP_INFO_HEADER_BYTES = 40,   // BITMAPINFOHEADER
    BMP_HEADER_BYTES = BMP_FILE_HEADER_BYTES + BMP_INFO_HEADER_BYTES,
};

// Fills the 54 header bytes for a picture of `width` x `height` pixels,
// rows top-down (the height field is negative).
void build_bmp_header(int32_t width, int32_t height, unsigned char header[BMP_HEADER_BYTES]);

// Creates or truncates `path` and writes the header and the picture's pixels
// unchanged. 1 when every byte was written; 0 when the file could not be
// opened or a write failed (a partly written file stays).
int write_bmp_file(const wchar_t* path, const Capture* picture);
