#include "vision/vision_samples.h"

#include <limits.h>
#include <stdio.h>

#include "vision/comparisons.h"
#include "vision/green_button.h"

namespace {

// SplitMix64: small, fast and the same on every compiler.
struct Generator {
    uint64_t state;
};

uint64_t next_value(Generator* g)
{
    uint64_t z = (g->state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// low..high inclusive.
int32_t between(Generator* g, int32_t low, int32_t high)
{
    uint64_t span = (uint64_t)((int64_t)high - low + 1);
    return (int32_t)(low + (int64_t)(next_value(g) % span));
}

int chance(Generator* g, int32_t percent)
{
    return between(g, 0, 99) < percent;
}

uint32_t random_green(Generator* g)
{
    int32_t green = between(g, 70, 255);
    return rgb(between(g, 0, green - 30), green, between(g, 0, green - 20));
}

uint32_t random_colour(Generator* g)
{
    switch (between(g, 0, 5)) {
    case 0:
    case 1:
        return random_green(g);
    case 2:
        return WHITE;
    case 3:
        return MARKER_PURPLE;
    case 4:
        return DARK;
    default:
        return (uint32_t)next_value(g) & 0xffffff;
    }
}

void pick_size(uint32_t index, Generator* g, int32_t* width, int32_t* height)
{
    if (index % 1000 == 999) {  // a few big pictures: costly under the sanitizers
        *width = index == 999 ? 4000 : between(g, 1400, 4000);
        *height = index == 999 ? 2500 : between(g, 800, 2500);
        return;
    }
    int32_t r = between(g, 0, 99);
    if (r < 40) {
        *width = between(g, 1, 80);
        *height = between(g, 1, 80);
    } else if (r < 92) {
        *width = between(g, 50, 420);
        *height = between(g, 50, 300);
    } else {
        static const int32_t widths[] = {839, 840, 1399, 1400};
        static const int32_t heights[] = {119, 120, 199, 200};
        *width = chance(g, 30) ? widths[between(g, 0, 3)] : between(g, 400, 1300);
        *height = chance(g, 30) ? heights[between(g, 0, 3)] : between(g, 100, 800);
    }
}

void make_noise(Generator* g, TestPicture* p)
{
    int green_walk = chance(g, 50);
    int32_t red = 20, green = 160, blue = 30;
    for (size_t i = 0; i < p->bytes.size(); i += 4) {
        uint64_t v = next_value(g);
        if (green_walk) {  // a green that wanders by a few levels per pixel
            red = (red + (int32_t)(v % 7) - 3) & 63;
            green = 120 + ((green - 120 + (int32_t)(v >> 8) % 9 - 4) & 127);
            blue = (blue + (int32_t)(v >> 16) % 7 - 3) & 63;
            p->bytes[i] = (unsigned char)blue;
            p->bytes[i + 1] = (unsigned char)green;
            p->bytes[i + 2] = (unsigned char)red;
        } else {
            p->bytes[i] = (unsigned char)v;
            p->bytes[i + 1] = (unsigned char)(v >> 8);
            p->bytes[i + 2] = (unsigned char)(v >> 16);
            p->bytes[i + 3] = (unsigned char)(v >> 24);
        }
    }
}

void make_stripes(Generator* g, TestPicture* p, int across)
{
    int32_t length = across ? p->capture.height : p->capture.width;
    for (int32_t at = 0; at < length;) {
        int32_t size = between(g, 1, 40);
        uint32_t colour = random_colour(g);
        if (across)
            fill_rect(p, 0, at, p->capture.width, at + size, colour);
        else
            fill_rect(p, at, 0, at + size, p->capture.height, colour);
        at += size;
    }
}

// Bands of rows along which one channel steps by 5 to 7 per pixel, or
// drifts by 1 per pixel up to 39 to 42 and stays there.
void make_gradients(Generator* g, TestPicture* p)
{
    int32_t w = p->capture.width, h = p->capture.height;
    for (int32_t top = 0; top < h;) {
        int32_t rows = between(g, 1, 60), channel = between(g, 0, 2);
        int drift = chance(g, 50);
        int32_t step = between(g, 5, 7), limit = between(g, 39, 42), start = between(g, 0, w);
        int32_t base[3] = {between(g, 0, 40), between(g, 110, 160), between(g, 0, 40)};
        for (int32_t x = 0; x < w; ++x) {
            int32_t c[3] = {base[0], base[1], base[2]};
            int32_t offset = x < start ? 0 : x - start;
            c[channel] += drift ? (offset < limit ? offset : limit) : (offset * step) % 90;
            fill_rect(p, x, top, x + 1, top + rows, rgb(c[0] & 255, c[1] & 255, c[2] & 255));
        }
        if (chance(g, 50))
            draw_caption(p, between(g, 0, w), top + rows / 2, between(g, 2, 200), between(g, 1, 60));
        top += rows;
    }
}

void make_many_boxes(Generator* g, TestPicture* p)
{
    int32_t w = p->capture.width, h = p->capture.height;
    int32_t boxes = between(g, 30, 200);
    for (int32_t i = 0; i < boxes; ++i) {
        int32_t bw = between(g, 50, 220), bh = between(g, 8, 45);
        int32_t left = between(g, -20, w), top = between(g, h * 40 / 100, h);
        uint32_t colour = random_green(g);
        fill_rect(p, left, top, left + bw, top + bh, colour);
        if (chance(g, 80))
            draw_caption(p, left, top + bh / 2, bw, whites_needed(bw, bh) + between(g, -2, 2));
    }
}

// Dark, slightly noisy background, artwork above, text, the button with
// its caption and the marker beside it. `button` receives the button.
void make_launcher_like(Generator* g, TestPicture* p, Rect* button)
{
    int32_t w = p->capture.width, h = p->capture.height;
    for (size_t i = 0; i < p->bytes.size(); i += 4)
        p->bytes[i] = (unsigned char)(0x1e + next_value(g) % 5);
    fill_rect(p, 0, 0, w, h * 40 / 100, rgb(0x40, 0x90, 0x40));
    for (int32_t i = 0; i < 10; ++i) {
        int32_t x = between(g, 0, w), y = between(g, h / 2, h);
        fill_rect(p, x, y, x + between(g, 10, 200), y + between(g, 2, 12), WHITE);
    }
    // Wide enough for the minimum run, narrow enough for its height.
    int32_t bh = between(g, 30, 66), min_run = w < 840 ? 60 : w / 14;
    int32_t narrowest = min_run > 120 ? min_run : 120, widest = w / 3 < 14 * bh ? w / 3 : 14 * bh;
    int32_t bw = between(g, narrowest, widest > narrowest ? widest : narrowest);
    int32_t left = between(g, 50, w - bw - 50), top = between(g, h / 2 + 10, h - bh - 5);
    fill_rect(p, left - 10, top - 10, left + bw + 10, top + bh + 10, DARK);  // nothing else touches it
    draw_button(p, left, top, bw, bh, random_green(g));
    fill_rect(p, left - 40, top + bh / 2 - 6, left - 28, top + bh / 2 + 6, MARKER_PURPLE);
    *button = Rect{left, top, left + bw, top + bh};
}

Rect random_rect(Generator* g, int32_t w, int32_t h, const Rect* found)
{
    switch (between(g, 0, 7)) {
    case 0:
        if (found)
            return *found;
        // fall through
    case 1: {  // anywhere around the picture, any size
        int32_t left = between(g, -w - 50, 2 * w + 50), top = between(g, -h - 50, 2 * h + 50);
        return Rect{left, top, left + between(g, 0, w), top + between(g, 0, h)};
    }
    case 2: {  // upside down or back to front
        int32_t left = between(g, -w, 2 * w), top = between(g, -h, 2 * h);
        return Rect{left, top, left - between(g, 0, w), top - between(g, 0, h)};
    }
    case 3: {  // empty
        int32_t left = between(g, -w, 2 * w), top = between(g, -h, 2 * h);
        return Rect{left, top, left, top};
    }
    case 4: {  // near the extremes of 32 bits
        int32_t values[] = {INT_MIN, INT_MIN + 1, -1, 0, 1, INT_MAX - 1, INT_MAX, between(g, -h, h)};
        return Rect{values[between(g, 0, 7)], values[between(g, 0, 7)], values[between(g, 0, 7)],
                    values[between(g, 0, 7)]};
    }
    default: {  // inside the picture
        int32_t left = between(g, 0, w), top = between(g, 0, h);
        return Rect{left, top, between(g, left, w), between(g, top, h)};
    }
    }
}

// Most pairs are close, so that both answers of boxes_agree occur.
void random_pair(Generator* g, int32_t w, int32_t h, Rect pair[2])
{
    pair[0] = random_rect(g, w, h, nullptr);
    if (chance(g, 25)) {
        pair[1] = random_rect(g, w, h, nullptr);
        return;
    }
    int32_t d = 16;
    pair[1].left = (int32_t)((int64_t)pair[0].left + between(g, -d, d));
    pair[1].top = (int32_t)((int64_t)pair[0].top + between(g, -d, d));
    pair[1].right = (int32_t)((int64_t)pair[0].right + between(g, -d, d));
    pair[1].bottom = (int32_t)((int64_t)pair[0].bottom + between(g, -d, d));
}

void fold(uint64_t* digest, int64_t value)
{
    for (int i = 0; i < 8; ++i) {
        *digest ^= (uint64_t)(value >> (8 * i)) & 0xff;
        *digest *= 0x100000001b3ULL;  // FNV-1a
    }
}

int is_green(uint32_t colour)
{
    int32_t red = (int32_t)(colour >> 16), green = (int32_t)(colour >> 8 & 255), blue = (int32_t)(colour & 255);
    return green >= 70 && green >= red + 30 && green >= blue + 20;
}

void check_button(uint32_t index, const SampleCase& s, const Rect& box, uint32_t colour, SampleOutcome* outcome)
{
    int32_t w = s.picture.capture.width, h = s.picture.capture.height;
    int32_t first_row = (int32_t)((int64_t)h * 45 / 100);
    if (box.left < 0 || box.right > w || box.top < first_row || box.bottom > h)
        note_problem(outcome, index, "button outside the scanned part");
    if (box.right - box.left < 70 || box.bottom - box.top < 18 || (int64_t)(box.right - box.left) > (int64_t)w * 9 / 10)
        note_problem(outcome, index, "button of an impossible size");
    if (!is_green(colour))
        note_problem(outcome, index, "button colour not green");
    int seen = 0;
    for (int32_t x = box.left; x < box.right && !seen && box.bottom > 0 && box.bottom <= h; ++x)
        seen = pixel_colour(&s.picture, x, box.bottom - 1) == colour;
    if (!seen)
        note_problem(outcome, index, "button colour not on its last row");
}

}  // namespace

void note_problem(SampleOutcome* outcome, uint32_t index, const char* what)
{
    if (outcome->problems++ == 0) {
        char text[160];
        snprintf(text, sizeof text, "case %u: %s", index, what);
        outcome->first_problem = text;
    }
}

void make_sample_case(uint32_t index, SampleCase* sample)
{
    Generator g = {0x4b56365f76697369ULL ^ ((uint64_t)index * 0x2545f4914f6cdd1dULL)};
    int32_t w, h;
    pick_size(index, &g, &w, &h);
    sample->kind = (int32_t)(index % 8);
    TestPicture* p = &sample->picture;
    make_picture(p, w, h, DARK, (unsigned char)between(&g, 0, 255));
    Rect& button = sample->button;
    button = Rect{0, 0, 0, 0};
    switch (sample->kind) {
    case 0:
        make_noise(&g, p);
        break;
    case 1:
        make_picture(p, w, h, random_colour(&g), (unsigned char)between(&g, 0, 255));
        break;
    case 2:
    case 3:
        make_stripes(&g, p, sample->kind == 2);
        break;
    case 4:
        make_gradients(&g, p);
        break;
    case 5:
        make_many_boxes(&g, p);
        break;
    case 6:
        if (w >= 400 && h >= 200)
            make_launcher_like(&g, p, &button);
        else
            make_many_boxes(&g, p);
        break;
    default:
        for (int32_t i = between(&g, 5, 40); i > 0; --i) {
            int32_t left = between(&g, -50, w), top = between(&g, -50, h);
            fill_rect(p, left, top, left + between(&g, 1, w), top + between(&g, 1, h), random_colour(&g));
        }
        break;
    }
    for (int i = 0; i < SAMPLE_RECTS; ++i)
        sample->rects[i] = random_rect(&g, w, h, button.right > 0 ? &button : nullptr);
    for (int i = 0; i < SAMPLE_PAIRS; ++i)
        random_pair(&g, w, h, sample->pairs[i]);
}

void run_sample_cases(uint32_t first, uint32_t end, uint32_t stride, SampleOutcome* outcome, SampleCheck extra)
{
    *outcome = SampleOutcome{0xcbf29ce484222325ULL, 0, 0, 0, 0, std::string()};
    SampleCase s;  // one picture buffer for all cases, grown as needed
    for (uint32_t index = first; index < end; index += stride) {
        make_sample_case(index, &s);
        const Capture* picture = &s.picture.capture;
        outcome->cases += 1;
        fold(&outcome->digest, s.kind);
        fold(&outcome->digest, picture->width);
        fold(&outcome->digest, picture->height);
        fold(&outcome->digest, image_is_flat(picture));

        Rect box = {UNTOUCHED, UNTOUCHED, UNTOUCHED, UNTOUCHED};
        uint32_t colour = UNTOUCHED_COLOUR;
        int found = find_green_button(picture, &box, &colour);
        fold(&outcome->digest, found);
        fold(&outcome->digest, box.left);
        fold(&outcome->digest, box.top);
        fold(&outcome->digest, box.right);
        fold(&outcome->digest, box.bottom);
        fold(&outcome->digest, colour);
        if (found) {
            outcome->buttons_found += 1;
            check_button(index, s, box, colour, outcome);
        } else if (box.left != UNTOUCHED || box.top != UNTOUCHED || box.right != UNTOUCHED ||
                   box.bottom != UNTOUCHED || colour != UNTOUCHED_COLOUR) {
            note_problem(outcome, index, "outputs written without a button");
        }
        if (s.button.right > 0 && (!found || box.left != s.button.left || box.top != s.button.top ||
                                   box.right != s.button.right || box.bottom != s.button.bottom))
            note_problem(outcome, index, "the drawn button was not found");

        for (int i = 0; i < SAMPLE_RECTS; ++i) {
            int marker = has_profile_marker(picture, s.rects[i]);
            outcome->markers_found += marker;
            fold(&outcome->digest, marker);
        }
        if (found)
            fold(&outcome->digest, has_profile_marker(picture, box));
        for (int i = 0; i < SAMPLE_PAIRS; ++i)
            fold(&outcome->digest, boxes_agree(s.pairs[i][0], s.pairs[i][1]));
        if (extra)
            extra(index, s, outcome);
    }
}
