// The profile-marker test and the same-button test.
#include <gtest/gtest.h>

#include <limits.h>

#include "vision/comparisons.h"
#include "vision/test_pictures.h"

namespace {

// A 200 x 200 picture with the box (50, 80)-(150, 100), 20 high: the band
// is rows 60 to 119.
const Rect BOX = {50, 80, 150, 100};

void put_markers(TestPicture* picture, int32_t count, int32_t x, int32_t y, uint32_t colour = MARKER_PURPLE)
{
    for (int32_t i = 0; i < count; ++i)
        set_pixel(picture, x + i % 10, y + i / 10, colour);
}

TEST(ProfileMarker, NeedsMoreThan24Pixels)
{
    for (int32_t count : {24, 25}) {
        TestPicture picture;
        make_picture(&picture, 200, 200);
        put_markers(&picture, count, 10, 85);
        EXPECT_EQ(count == 25, has_profile_marker(&picture.capture, BOX)) << count;
    }
}

TEST(ProfileMarker, PixelsInsideTheBoxNeverCount)
{
    TestPicture picture;
    make_picture(&picture, 200, 200);
    fill_rect(&picture, BOX.left, BOX.top, BOX.right, BOX.bottom, MARKER_PURPLE);
    EXPECT_EQ(0, has_profile_marker(&picture.capture, BOX));
    // One pixel more outside each edge is enough: 24 inside the band
    // around the box, plus one.
    put_markers(&picture, 24, 0, 90);
    EXPECT_EQ(0, has_profile_marker(&picture.capture, BOX));
    set_pixel(&picture, 150, 99, MARKER_PURPLE);  // right of the box, its last row
    EXPECT_EQ(1, has_profile_marker(&picture.capture, BOX));
}

// 25 marker pixels in one row: counted when the row lies in the band.
TEST(ProfileMarker, BandIsOneBoxHeightAboveAndBelowAcrossTheWidth)
{
    struct Case {
        int32_t x, y;
        int counted;
    } cases[] = {
        {0, 60, 1},    // first row of the band
        {0, 59, 0},
        {175, 119, 1},  // last row of the band, far right
        {175, 120, 0},
        {60, 70, 1},   // straight above the box
        {0, 99, 1},    // beside the box, far left
    };
    for (const Case& c : cases) {
        TestPicture picture;
        make_picture(&picture, 200, 200);
        fill_rect(&picture, c.x, c.y, c.x + 25, c.y + 1, MARKER_PURPLE);
        EXPECT_EQ(c.counted, has_profile_marker(&picture.capture, BOX)) << c.x << "," << c.y;
    }
}

// A picture full of marker colour: what counts is only the band's share.
TEST(ProfileMarker, BandIsCutAtThePictureEdges)
{
    struct Case {
        Rect box;
        int found;
    } cases[] = {
        {{50, -10, 150, 10}, 1},     // band cut at row 0
        {{50, 195, 150, 215}, 1},    // band cut at the last row
        {{50, 219, 150, 239}, 1},    // band reaches the last row only
        {{50, 220, 150, 240}, 0},    // its own height below the picture
        {{50, -40, 150, -20}, 0},    // its own height above
        {{50, -39, 150, -19}, 1},
        {{-500, 50, -400, 70}, 1},   // left of the picture: its rows count in full
        {{0, 0, 200, 200}, 0},       // covers the whole picture
        {{100, 100, 100, 100}, 0},   // empty: no band
        {{150, 120, 50, 80}, 0},     // upside down: no band
        {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, 0},
        {{INT_MAX, INT_MAX, INT_MIN, INT_MIN}, 0},
        {{0, INT_MIN, 10, 100}, 1},     // a huge band: all but the box
    };
    for (const Case& c : cases) {
        TestPicture picture;
        make_picture(&picture, 200, 200, MARKER_PURPLE);
        EXPECT_EQ(c.found, has_profile_marker(&picture.capture, c.box))
            << c.box.left << "," << c.box.top << "," << c.box.right << "," << c.box.bottom;
    }
}

TEST(ProfileMarker, MarkerColours)
{
    struct Case {
        int32_t red, green, blue;
        int marker;
    } cases[] = {
        {150, 110, 150, 1}, {150, 111, 150, 0}, {150, 60, 149, 0}, {119, 0, 200, 0},
        {120, 0, 200, 1},   {221, 0, 79, 0},    {220, 0, 80, 1},   {255, 0, 0, 0},
        {0, 0, 255, 0},     {128, 128, 128, 0}, {255, 255, 255, 0}, {0xc8, 0x32, 0xc8, 1},
    };
    for (const Case& c : cases) {
        TestPicture picture;
        make_picture(&picture, 200, 200);
        put_markers(&picture, 25, 10, 85, rgb(c.red, c.green, c.blue));
        EXPECT_EQ(c.marker, has_profile_marker(&picture.capture, BOX)) << c.red << "," << c.green << "," << c.blue;
    }
}

TEST(BoxesAgree, CentresWithin12Pixels)
{
    const Rect now = {100, 100, 200, 140};  // centre 150, 120
    struct Case {
        int32_t dx, dy;
        int agree;
    } cases[] = {
        {12, 0, 1}, {13, 0, 0}, {-12, 0, 1}, {-13, 0, 0},
        {0, 12, 1}, {0, 13, 0}, {0, -12, 1}, {0, -13, 0}, {12, -12, 1},
    };
    for (const Case& c : cases) {
        Rect then = {now.left + c.dx, now.top + c.dy, now.right + c.dx, now.bottom + c.dy};
        EXPECT_EQ(c.agree, boxes_agree(now, then)) << c.dx << "," << c.dy;
    }
}

TEST(BoxesAgree, SizesWithinASeventhOfTheFirst)
{
    struct Case {
        Rect now, then;
        int agree;
    } cases[] = {
        {{0, 0, 78, 20}, {5, 0, 73, 20}, 1},  // widths 78 and 68: 70 <= 79
        {{5, 0, 73, 20}, {0, 0, 78, 20}, 0},  // 68 and 78: 70 > 69
        {{0, 0, 20, 78}, {0, 5, 20, 73}, 1},  // the same for heights
        {{0, 5, 20, 73}, {0, 0, 20, 78}, 0},
        {{0, 0, 0, 0}, {0, 0, 0, 0}, 1},
        {{0, 0, 1, 1}, {0, 0, 0, 0}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.agree, boxes_agree(c.now, c.then))
            << c.now.left << "," << c.now.right << " / " << c.then.left << "," << c.then.right;
}

// Left -101 and right -50 have the centre -75 (truncated toward zero), not
// -76: a box centred at -63 is 12 away and agrees, one at -88 is 13 away.
TEST(BoxesAgree, NegativeCentresTruncateTowardZero)
{
    const Rect now = {-101, 0, -50, 10};
    EXPECT_EQ(1, boxes_agree(now, Rect{-88, 0, -38, 10}));
    EXPECT_EQ(0, boxes_agree(now, Rect{-113, 0, -63, 10}));
    EXPECT_EQ(1, boxes_agree(Rect{0, -101, 10, -50}, Rect{0, -88, 10, -38}));
    EXPECT_EQ(0, boxes_agree(Rect{0, -101, 10, -50}, Rect{0, -113, 10, -63}));
}

TEST(BoxesAgree, FarOffRectanglesDoNotOverflow)
{
    const Rect huge = {INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    EXPECT_EQ(1, boxes_agree(huge, huge));
    EXPECT_EQ(0, boxes_agree(huge, Rect{0, 0, 1, 1}));
    EXPECT_EQ(0, boxes_agree(Rect{INT_MAX, INT_MAX, INT_MIN, INT_MIN}, Rect{INT_MIN, INT_MIN, INT_MAX, INT_MAX}));
    EXPECT_EQ(1, boxes_agree(Rect{INT_MAX - 10, 0, INT_MAX, 10}, Rect{INT_MAX - 10, 0, INT_MAX, 10}));
}

}  // namespace
