// Pictures built in code for the vision tests; shared by the Windows and the
// native builds (no Windows header).
#pragma once

#include <stdint.h>

#include <vector>

#include "vision/picture.h"

const uint32_t DARK = 0x1b1d20;
const uint32_t WHITE = 0xffffff;
const uint32_t BUTTON_GREEN = 0x27873e;
const uint32_t MARKER_PURPLE = 0xc832c8;
// Out-value presets that show whether a function wrote them.
const int32_t UNTOUCHED = -77777;
const uint32_t UNTOUCHED_COLOUR = 0xdeadbeef;

// A picture that owns its bytes; `capture` points into them.
struct TestPicture {
    std::vector<unsigned char> bytes;
    Capture capture;
};

inline void make_picture(TestPicture* picture, int32_t width, int32_t height, uint32_t colour = DARK,
                         unsigned char fourth = 0xff)
{
    picture->bytes.assign((size_t)width * height * 4, 0);
    for (size_t i = 0; i < picture->bytes.size(); i += 4) {
        picture->bytes[i] = (unsigned char)colour;
        picture->bytes[i + 1] = (unsigned char)(colour >> 8);
        picture->bytes[i + 2] = (unsigned char)(colour >> 16);
        picture->bytes[i + 3] = fourth;
    }
    picture->capture.width = width;
    picture->capture.height = height;
    picture->capture.pixels = picture->bytes.data();
}

// Sets one pixel to 0xRRGGBB; positions outside the picture are ignored.
inline void set_pixel(TestPicture* picture, int32_t x, int32_t y, uint32_t colour)
{
    if (x < 0 || y < 0 || x >= picture->capture.width || y >= picture->capture.height)
        return;
    unsigned char* p = picture->bytes.data() + ((size_t)y * picture->capture.width + x) * 4;
    p[0] = (unsigned char)colour;
    p[1] = (unsigned char)(colour >> 8);
    p[2] = (unsigned char)(colour >> 16);
}

inline uint32_t pixel_colour(const TestPicture* picture, int32_t x, int32_t y)
{
    const unsigned char* p = picture->bytes.data() + ((size_t)y * picture->capture.width + x) * 4;
    return (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0];
}

// Fills left <= x < right, top <= y < bottom, cut to the picture.
inline void fill_rect(TestPicture* picture, int32_t left, int32_t top, int32_t right, int32_t bottom,
                      uint32_t colour)
{
    int32_t width = picture->capture.width, height = picture->capture.height;
    left = left < 0 ? 0 : left;
    top = top < 0 ? 0 : top;
    right = right > width ? width : right;
    bottom = bottom > height ? height : bottom;
    for (int32_t y = top; y < bottom; ++y) {
        unsigned char* p = picture->bytes.data() + ((size_t)y * width + left) * 4;
        for (int32_t x = left; x < right; ++x, p += 4) {
            p[0] = (unsigned char)colour;
            p[1] = (unsigned char)(colour >> 8);
            p[2] = (unsigned char)(colour >> 16);
        }
    }
}

inline uint32_t rgb(int32_t red, int32_t green, int32_t blue)
{
    return (uint32_t)red << 16 | (uint32_t)green << 8 | (uint32_t)blue;
}

// `count` white caption pixels on every second column of a box `width`
// wide, from row `y` down as far as needed (and the picture goes).
inline void draw_caption(TestPicture* picture, int32_t left, int32_t y, int32_t width, int32_t count)
{
    while (count > 0 && width > 2 && y < picture->capture.height) {
        for (int32_t x = left + 1; x < left + width - 1 && count > 0; x += 2, --count)
            set_pixel(picture, x, y, WHITE);
        ++y;
    }
}

// The caption pixels a box needs: one per 200 pixels.
inline int32_t whites_needed(int32_t width, int32_t height)
{
    return (width * height + 199) / 200;
}

// A solid button with a caption, as the detector expects it.
inline void draw_button(TestPicture* picture, int32_t left, int32_t top, int32_t width, int32_t height,
                        uint32_t colour = BUTTON_GREEN)
{
    fill_rect(picture, left, top, left + width, top + height, colour);
    draw_caption(picture, left, top + height / 2, width, whites_needed(width, height));
}
