// The profile-marker test and the same-button test. No Windows header: both
// also build natively.
#include <stddef.h>

#include "vision/comparisons.h"

enum {
    MARKER_PIXELS_NEEDED = 25,  // more than 24
    CENTRE_TOLERANCE = 12,
    SIZE_TOLERANCE_FACTOR = 7,  // sizes may differ by about a seventh
};

// Strong red and blue, little green: the selected profile's icon colour.
static int is_marker_pixel(const unsigned char* pixel)
{
    int32_t blue = pixel[0], green = pixel[1], red = pixel[2];
    int32_t weaker = red < blue ? red : blue;
    return red >= 120 && blue >= 80 && green + 39 < weaker && red + blue >= 300;
}

static int64_t clamp64(int64_t value, int64_t low, int64_t high)
{
    return value < low ? low : (value > high ? high : value);
}

static int32_t count_marker_pixels(const unsigned char* row, int32_t from, int32_t to)
{
    int32_t count = 0;
    for (int32_t x = from; x < to; ++x)
        count += is_marker_pixel(row + (ptrdiff_t)x * 4);
    return count;
}

int has_profile_marker(const Capture* picture, Rect box)
{
    int32_t width = picture->width, height = picture->height;
    if (!picture->pixels || width <= 0 || height <= 0)
        return 0;
    // The band's bounds in 64 bits: a box far outside the picture must not
    // overflow. An empty or upside-down box gives an empty band.
    int64_t box_height = (int64_t)box.bottom - box.top;
    int64_t band_top = clamp64((int64_t)box.top - box_height, 0, height);
    int64_t band_bottom = clamp64((int64_t)box.bottom + box_height, 0, height);
    // The box's own columns, cut to the picture; a box with right <= left
    // covers no pixel.
    int32_t skip_left = (int32_t)clamp64(box.left, 0, width);
    int32_t skip_right = (int32_t)clamp64(box.right, skip_left, width);
    int32_t count = 0;
    for (int32_t y = (int32_t)band_top; y < (int32_t)band_bottom; ++y) {
        const unsigned char* row = picture->pixels + (ptrdiff_t)y * width * 4;
        if (y >= box.top && y < box.bottom) {
            count += count_marker_pixels(row, 0, skip_left);
            count += count_marker_pixels(row, skip_right, width);
        } else {
            count += count_marker_pixels(row, 0, width);
        }
        if (count >= MARKER_PIXELS_NEEDED)
            return 1;  // the answer cannot change any more
    }
    return 0;
}

// Centre of a span, truncated toward zero; 64 bits so that far-off
// rectangles do not overflow.
static int64_t centre(int32_t low, int32_t high)
{
    return ((int64_t)low + high) / 2;
}

static int64_t distance(int64_t a, int64_t b)
{
    return a > b ? a - b : b - a;
}

// A size differs little from the first rectangle's when 7 x |difference| is
// at most that size plus one.
static int sizes_close(int64_t first, int64_t second)
{
    return SIZE_TOLERANCE_FACTOR * distance(first, second) <= first + 1;
}

int boxes_agree(Rect now, Rect then)
{
    if (distance(centre(now.left, now.right), centre(then.left, then.right)) > CENTRE_TOLERANCE)
        return 0;
    if (distance(centre(now.top, now.bottom), centre(then.top, then.bottom)) > CENTRE_TOLERANCE)
        return 0;
    if (!sizes_close((int64_t)now.right - now.left, (int64_t)then.right - then.left))
        return 0;
    return sizes_close((int64_t)now.bottom - now.top, (int64_t)then.bottom - then.top);
}
