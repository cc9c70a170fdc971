// Finding the launcher's green Play button in a picture: long runs of steady
// green in the lower part, stacked into boxes, the largest button-shaped box
// wins. No Windows header: it also builds natively.
#include <stddef.h>

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

// 1 when pixel k continues the stretch of green on its left: both green
// and no channel stepping by more than 6. Runs never cross a pixel that
// does not continue.
int continues(const unsigned char* row, int32_t k)
{
    Pixel p = pixel_at(row, k), left = pixel_at(row, k - 1);
    return is_green(p) && is_green(left) && within(p, left, STEP_TOLERANCE);
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

// Offers the row's runs of at least min_run pixels to the boxes, left to
// right, exactly as a scan of every pixel would: a run starts at the first
// green pixel after the previous run, and ends at the first pixel that is
// not green, steps by more than 6 or drifts by more than 40 from its first.
//
// Runs never cross a pixel that does not continue the green on its left, so
// a row falls into stretches of such pixels; every stretch starts a run, and
// inside one, each run starts where the one before ended. A stretch shorter
// than min_run holds no long run and can be skipped, and a longer one covers
// a column that is a multiple of min_run. So only the stretches through
// those columns are looked at; on the launcher's noisy artwork that is a
// small part of the row.
void scan_row(const unsigned char* row, int32_t y, int32_t width, int32_t min_run, int32_t row_gap,
              GreenBox* boxes, int32_t* box_count)
{
    int32_t done = 0;  // columns before this belong to stretches already scanned
    for (int64_t probe = 0; probe < width; probe += min_run) {
        if (probe < done || !is_green(pixel_at(row, (int32_t)probe)))
            continue;
        int32_t x = (int32_t)probe;
        while (x > done && continues(row, x))
            --x;  // back to the stretch's start
        for (;;) {
            int32_t end = run_end(row, x, width);
            if (end - x >= min_run)
                offer_run(boxes, box_count, y, x, end, pixel_at(row, x), row_gap);
            if (end >= width || !continues(row, end)) {
                done = end;
                break;
            }
            x = end;  // cut by the drift: the next run starts here
        }
    }
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

    for (int32_t y = first_row; y < height; ++y)
        scan_row(picture->pixels + (ptrdiff_t)y * width * 4, y, width, min_run, row_gap, boxes, &box_count);

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
