// The flat test on a picture: no Windows header, so it also builds natively.
#include <stddef.h>
#include <string.h>

#include "vision/picture.h"

// Sample spacing in both directions: 1 pixel in 49 is looked at.
enum { FLAT_SAMPLE_STEP = 7 };

int image_is_flat(const Capture* picture)
{
    // A picture with no pixels shows nothing usable either.
    if (!picture->pixels || picture->width <= 0 || picture->height <= 0)
        return 1;
    uint32_t reference;  // the first pixel, all four bytes
    memcpy(&reference, picture->pixels, sizeof reference);
    // Positions and offsets in 64 bits: stepping past the last row or column
    // must not overflow, and a picture may hold more than 2 GB of bytes.
    for (int64_t y = 0; y < picture->height; y += FLAT_SAMPLE_STEP) {
        const unsigned char* row = picture->pixels + (ptrdiff_t)y * picture->width * 4;
        for (int64_t x = 0; x < picture->width; x += FLAT_SAMPLE_STEP) {
            uint32_t value;
            memcpy(&value, row + x * 4, sizeof value);
            if (value != reference)
                return 0;
        }
    }
    return 1;
}
