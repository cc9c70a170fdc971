// The flat test that tells an unusable (one-colour) picture.
#include <gtest/gtest.h>

#include "vision/test_pictures.h"

namespace {

TEST(FlatPicture, OnlyTheSevenPixelGridCounts)
{
    struct Case {
        int32_t width, height, x, y;
        uint32_t colour;
        unsigned char fourth;
        int flat;
    } cases[] = {
        {100, 100, 0, 0, DARK, 0xff, 1},     // nothing differs
        {100, 100, 6, 6, WHITE, 0xff, 1},    // off the grid
        {100, 100, 8, 14, WHITE, 0xff, 1},
        {100, 100, 7, 14, WHITE, 0xff, 0},   // on the grid
        {100, 100, 98, 98, WHITE, 0xff, 0},
        {50, 50, 49, 49, WHITE, 0xff, 0},    // the last row and column are on it
        {100, 100, 7, 7, DARK, 0x00, 0},     // only the fourth byte differs
        {1, 1, 0, 0, DARK, 0xff, 1},
    };
    for (const Case& c : cases) {
        TestPicture picture;
        make_picture(&picture, c.width, c.height);
        set_pixel(&picture, c.x, c.y, c.colour);
        picture.bytes[((size_t)c.y * c.width + c.x) * 4 + 3] = c.fourth;
        EXPECT_EQ(c.flat, image_is_flat(&picture.capture)) << c.width << " " << c.x << "," << c.y;
    }
    Capture empty = {0, 0, nullptr};
    EXPECT_EQ(1, image_is_flat(&empty));
}

}  // namespace
