// A slow, literal reading of the detector's rules, to hold the product's
// faster scan against on generated pictures.
#include "reference_detector.h"

#include <stdlib.h>

namespace {

struct Box {
    int64_t left, right, top, bottom, last_row, last_left, last_right, red, green, blue, rows;
};

int64_t channel(const Capture* p, int64_t x, int64_t y, int byte)
{
    return p->pixels[(y * p->width + x) * 4 + byte];
}

int green_at(const Capture* p, int64_t x, int64_t y)
{
    int64_t r = channel(p, x, y, 2), g = channel(p, x, y, 1), b = channel(p, x, y, 0);
    return g >= 70 && g >= r + 30 && g >= b + 20;
}

int close_to(const Capture* p, int64_t x, int64_t y, int64_t r, int64_t g, int64_t b, int64_t limit)
{
    return llabs(channel(p, x, y, 2) - r) <= limit && llabs(channel(p, x, y, 1) - g) <= limit &&
           llabs(channel(p, x, y, 0) - b) <= limit;
}

}  // namespace

int reference_find_green_button(const Capture* p, Rect* out, uint32_t* colour)
{
    int64_t W = p->width, H = p->height;
    if (!p->pixels || W <= 0 || H <= 0)
        return 0;
    int64_t min_run = W < 840 ? 60 : W / 14;
    int64_t gap = H < 120 ? 12 : H / 10;
    Box boxes[64];
    int count = 0;
    for (int64_t y = H * 45 / 100; y < H; ++y) {
        int64_t x = 0;
        while (x < W) {
            if (!green_at(p, x, y)) {
                x += 1;
                continue;
            }
            int64_t r0 = channel(p, x, y, 2), g0 = channel(p, x, y, 1), b0 = channel(p, x, y, 0);
            int64_t pr = r0, pg = g0, pb = b0, k = x + 1;
            while (k < W && green_at(p, k, y) && close_to(p, k, y, pr, pg, pb, 6) && close_to(p, k, y, r0, g0, b0, 40)) {
                pr = channel(p, k, y, 2);
                pg = channel(p, k, y, 1);
                pb = channel(p, k, y, 0);
                k += 1;
            }
            int64_t L = k - x;
            if (L < min_run) {
                x = k;
                continue;
            }
            int taken = 0;
            for (int i = 0; i < count && !taken; ++i) {
                Box& b = boxes[i];
                int64_t overlap = (b.last_right < k ? b.last_right : k) - (b.last_left > x ? b.last_left : x);
                int64_t shorter = b.last_right - b.last_left < L ? b.last_right - b.last_left : L;
                if (y - b.last_row <= gap && 2 * overlap >= shorter && llabs(r0 - b.red) <= 28 &&
                    llabs(g0 - b.green) <= 28 && llabs(b0 - b.blue) <= 28) {
                    b.bottom = y;
                    b.left = b.left < x ? b.left : x;
                    b.right = b.right > k ? b.right : k;
                    if (b.last_row != y)
                        b.rows += 1;
                    b.last_row = y;
                    b.last_left = x;
                    b.last_right = k;
                    b.red = r0;
                    b.green = g0;
                    b.blue = b0;
                    taken = 1;
                }
            }
            if (!taken && count < 64)
                boxes[count++] = Box{x, k, y, y, y, x, k, r0, g0, b0, 1};
            x = k;
        }
    }
    int best = -1;
    int64_t best_area = 0;
    for (int i = 0; i < count; ++i) {
        const Box& b = boxes[i];
        int64_t bw = b.right - b.left, bh = b.bottom - b.top + 1;
        if (!(bh >= 18 && bw >= 70 && bw <= W * 9 / 10 && 2 * bw >= 3 * bh && bw <= 14 * bh && 3 * b.rows >= bh))
            continue;
        int64_t own = 0, white = 0;
        for (int64_t y = b.top; y <= b.bottom; ++y)
            for (int64_t x = b.left; x < b.right; ++x) {
                if (green_at(p, x, y) && close_to(p, x, y, b.red, b.green, b.blue, 60))
                    own += 1;
                else if (channel(p, x, y, 2) >= 190 && channel(p, x, y, 1) >= 190 && channel(p, x, y, 0) >= 190)
                    white += 1;
            }
        int64_t area = bw * bh;
        if (100 * own >= 45 * area && 200 * white >= area && (best < 0 || area > best_area)) {
            best = i;
            best_area = area;
        }
    }
    if (best < 0)
        return 0;
    const Box& b = boxes[best];
    *out = Rect{(int32_t)b.left, (int32_t)b.top, (int32_t)b.right, (int32_t)(b.bottom + 1)};
    if (colour)
        *colour = (uint32_t)(b.red * 65536 + b.green * 256 + b.blue);
    return 1;
}
