// Finding the launcher's green Play button in a picture: long runs of steady
// green in the lower part, stacked into boxes, the largest button-shaped box
// wins. No Windows header: it also builds natively.
#include <stddef.h>
#include <string.h>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KV6_GREEN_SSE2 1
#endif

#include "vision/green_button.h"

namespace {

// A candidate box. Its extent only grows; its latest run and colour are
// replaced by every run it takes, so it follows a slowly drifting colour.
struct GreenBox {
    int32_t left, right;   // right exclusive
    int32_t top, bottom;   // bottom inclusive
    int32_t last_row, last_left, last_right;
    int32_t red, green, blue;  // first pixel of the latest run
    int32_t rows;              // distinct rows that gave a run
};

enum {
    STEP_TOLERANCE = 6,     // neighbouring pixels of one run
    DRIFT_TOLERANCE = 40,   // any pixel of a run against its first
    JOIN_TOLERANCE = 28,    // a run's colour against the box's latest
    OWN_TOLERANCE = 60,     // a box pixel counted as the box's own green
    MIN_BOX_HEIGHT = 18,
    MIN_BOX_WIDTH = 70,
    NEAR_WHITE = 190,
};

struct Pixel {
    int32_t red, green, blue;
};

inline Pixel pixel_at(const unsigned char* row, int32_t x)
{
    const unsigned char* p = row + (ptrdiff_t)x * 4;
    return Pixel{p[2], p[1], p[0]};
}

inline int is_green(Pixel p)
{
    return p.green >= 70 && p.green >= p.red + 30 && p.green >= p.blue + 20;
}

inline int32_t difference(int32_t a, int32_t b)
{
    return a > b ? a - b : b - a;
}

inline int within(Pixel a, Pixel b, int32_t tolerance)
{
    return difference(a.red, b.red) <= tolerance && difference(a.green, b.green) <= tolerance &&
           difference(a.blue, b.blue) <= tolerance;
}

inline int32_t min32(int32_t a, int32_t b) { return a < b ? a : b; }
inline int32_t max32(int32_t a, int32_t b) { return a > b ? a : b; }

#ifdef KV6_GREEN_SSE2
// The green test on four pixels at once, one 32-bit lane each; a non-zero
// result when any of them is green.
inline int any_green4(const unsigned char* pixels)
{
    __m128i v = _mm_loadu_si128((const __m128i*)pixels);
    __m128i byte = _mm_set1_epi32(0xFF);
    __m128i blue = _mm_and_si128(v, byte);
    __m128i green = _mm_and_si128(_mm_srli_epi32(v, 8), byte);
    __m128i red = _mm_and_si128(_mm_srli_epi32(v, 16), byte);
    // G >= 70, G >= R + 30, G >= B + 20, as G > 69, G - R > 29, G - B > 19.
    __m128i bright = _mm_cmpgt_epi32(green, _mm_set1_epi32(69));
    __m128i over_red = _mm_cmpgt_epi32(_mm_sub_epi32(green, red), _mm_set1_epi32(29));
    __m128i over_blue = _mm_cmpgt_epi32(_mm_sub_epi32(green, blue), _mm_set1_epi32(19));
    return _mm_movemask_epi8(_mm_and_si128(bright, _mm_and_si128(over_red, over_blue)));
}
#endif

// The first green column at or after x in a row, or width when none. Most
// of a picture is not green, so this is where the time goes: four pixels at
// a time where the processor allows.
int32_t next_green(const unsigned char* row, int32_t x, int32_t width)
{
#ifdef KV6_GREEN_SSE2
    while (x <= width - 8) {
        const unsigned char* p = row + (ptrdiff_t)x * 4;
        if (any_green4(p) | any_green4(p + 16))
            break;
        x += 8;
    }
#endif
    while (x < width && !is_green(pixel_at(row, x)))
        ++x;
    return x;
}

// End (exclusive) of the run that opens at `start`, a green pixel.
int32_t run_end(const unsigned char* row, int32_t start, int32_t width)
{
    Pixel reference = pixel_at(row, start);
    Pixel previous = reference;
    int32_t k = start + 1;
    while (k < width) {
        Pixel p = pixel_at(row, k);
        if (!is_green(p) || !within(p, previous, STEP_TOLERANCE) || !within(p, reference, DRIFT_TOLERANCE))
            break;
        previous = p;
        ++k;
    }
    return k;
}

// Gives the run [start, end) on row y to the first box that takes it, or
// opens a box for it while fewer than MAX_GREEN_BOXES exist.
void offer_run(GreenBox* boxes, int32_t* box_count, int32_t y, int32_t start, int32_t end, Pixel colour,
               int32_t row_gap)
{
    int32_t length = end - start;
    for (int32_t i = 0; i < *box_count; ++i) {
        GreenBox* b = &boxes[i];
        if (y - b->last_row > row_gap)
            continue;
        // Overlap of at least half the shorter run; none, or a run beside
        // the latest one on the same row, never passes.
        int64_t overlap = min32(b->last_right, end) - max32(b->last_left, start);
        if (2 * overlap < min32(b->last_right - b->last_left, length))
            continue;
        if (!within(colour, Pixel{b->red, b->green, b->blue}, JOIN_TOLERANCE))
            continue;
        b->bottom = y;
        b->left = min32(b->left, start);
        b->right = max32(b->right, end);
        if (b->last_row != y)
            b->rows += 1;
        b->last_row = y;
        b->last_left = start;
        b->last_right = end;
        b->red = colour.red;
        b->green = colour.green;
        b->blue = colour.blue;
        return;
    }
    if (*box_count >= MAX_GREEN_BOXES)
        return;  // dropped; the scan goes on
    GreenBox* b = &boxes[(*box_count)++];
    b->left = b->last_left = start;
    b->right = b->last_right = end;
    b->top = b->bottom = b->last_row = y;
    b->red = colour.red;
    b->green = colour.green;
    b->blue = colour.blue;
    b->rows = 1;
}

// The shape tests of a button; products in 64 bits, as a box may be huge.
int has_button_shape(int64_t bw, int64_t bh, int64_t rows, int64_t widest)
{
    return bh >= MIN_BOX_HEIGHT && bw >= MIN_BOX_WIDTH && bw <= widest && 2 * bw >= 3 * bh && bw <= 14 * bh &&
           3 * rows >= bh;
}

// 1 when at least 45 % of the box is its own green and at least one pixel
// in 200 is near-white (the caption).
int has_button_content(const Capture* picture, const GreenBox* b)
{
    Pixel own = {b->red, b->green, b->blue};
    int64_t own_green = 0, near_white = 0;
    for (int32_t y = b->top; y <= b->bottom; ++y) {
        const unsigned char* row = picture->pixels + (ptrdiff_t)y * picture->width * 4;
        for (int32_t x = b->left; x < b->right; ++x) {
            Pixel p = pixel_at(row, x);
            if (is_green(p) && within(p, own, OWN_TOLERANCE))
                ++own_green;
            else if (p.red >= NEAR_WHITE && p.green >= NEAR_WHITE && p.blue >= NEAR_WHITE)
                ++near_white;
        }
    }
    int64_t area = (int64_t)(b->right - b->left) * (b->bottom - b->top + 1);
    return 100 * own_green >= 45 * area && 200 * near_white >= area;
}

}  // namespace

int find_green_button(const Capture* picture, Rect* box, uint32_t* colour)
{
    int32_t width = picture->width, height = picture->height;
    if (!picture->pixels || width <= 0 || height <= 0)
        return 0;
    // Derived sizes; the products in 64 bits so that no picture overflows.
    int32_t min_run = width < 840 ? 60 : width / 14;
    int32_t row_gap = height < 120 ? 12 : height / 10;
    int32_t first_row = (int32_t)((int64_t)height * 45 / 100);
    int64_t widest = (int64_t)width * 9 / 10;

    GreenBox boxes[MAX_GREEN_BOXES];  // 64 x 44 bytes on the stack
    int32_t box_count = 0;

    for (int32_t y = first_row; y < height; ++y) {
        const unsigned char* row = picture->pixels + (ptrdiff_t)y * width * 4;
        int32_t x = next_green(row, 0, width);
        while (x < width) {
            int32_t end = run_end(row, x, width);
            // A short run's pixels are not looked at again.
            if (end - x >= min_run)
                offer_run(boxes, &box_count, y, x, end, pixel_at(row, x), row_gap);
            x = next_green(row, end, width);
        }
    }

    int32_t best = -1;
    int64_t best_area = 0;
    for (int32_t i = 0; i < box_count; ++i) {
        const GreenBox* b = &boxes[i];
        int64_t bw = b->right - b->left;
        int64_t bh = (int64_t)b->bottom - b->top + 1;
        if (!has_button_shape(bw, bh, b->rows, widest))
            continue;
        // Equal areas: the box created first stays.
        if (best >= 0 && bw * bh <= best_area)
            continue;
        if (!has_button_content(picture, b))
            continue;
        best = i;
        best_area = bw * bh;
    }
    if (best < 0)
        return 0;
    const GreenBox* b = &boxes[best];
    box->left = b->left;
    box->top = b->top;
    box->right = b->right;
    box->bottom = b->bottom + 1;
    if (colour)
        *colour = (uint32_t)(b->red * 65536 + b->green * 256 + b->blue);
    return 1;
}
