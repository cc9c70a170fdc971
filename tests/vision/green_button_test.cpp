// The green button detector on pictures built in code.
#include <gtest/gtest.h>

#include <vector>

#include "vision/green_button.h"
#include "vision/test_pictures.h"

namespace {

struct Found {
    int result;
    Rect box;
    uint32_t colour;
};

Found detect(const TestPicture& picture)
{
    Found found = {0, {UNTOUCHED, UNTOUCHED, UNTOUCHED, UNTOUCHED}, UNTOUCHED_COLOUR};
    found.result = find_green_button(&picture.capture, &found.box, &found.colour);
    return found;
}

void expect_box(const Found& found, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    ASSERT_EQ(1, found.result);
    EXPECT_EQ(left, found.box.left);
    EXPECT_EQ(top, found.box.top);
    EXPECT_EQ(right, found.box.right);
    EXPECT_EQ(bottom, found.box.bottom);
}

void expect_untouched(const Found& found)
{
    EXPECT_EQ(0, found.result);
    EXPECT_EQ(UNTOUCHED, found.box.left);
    EXPECT_EQ(UNTOUCHED, found.box.top);
    EXPECT_EQ(UNTOUCHED, found.box.right);
    EXPECT_EQ(UNTOUCHED, found.box.bottom);
    EXPECT_EQ(UNTOUCHED_COLOUR, found.colour);
}

TEST(GreenButton, NoGreenLeavesTheOutputsAsTheyWere)
{
    TestPicture picture;
    make_picture(&picture, 640, 400);
    fill_rect(&picture, 100, 250, 400, 300, WHITE);
    expect_untouched(detect(picture));
}

TEST(GreenButton, GreenIsBrightAndAboveRedAndBlue)
{
    struct Case {
        int32_t red, green, blue;
        int found;
    } cases[] = {
        {40, 70, 50, 1},   // at every limit
        {39, 69, 49, 0},   // green below 70
        {41, 70, 50, 0},   // green only 29 above red
        {40, 70, 51, 0},   // green only 19 above blue
        {0, 255, 0, 1},
    };
    for (const Case& c : cases) {
        TestPicture picture;
        make_picture(&picture, 640, 400);
        draw_button(&picture, 200, 300, 180, 40, rgb(c.red, c.green, c.blue));
        EXPECT_EQ(c.found, detect(picture).result) << c.red << "," << c.green << "," << c.blue;
    }
}

// Rows 20 to 29 of a 150-wide button hold only a run of the given length at
// its left: when the run counts, the box takes those rows too.
TEST(GreenButton, MinimumRunLengthFollowsThePictureWidth)
{
    struct Case {
        int32_t width, run;
        int taken;
    } cases[] = {
        {800, 59, 0}, {800, 60, 1}, {839, 59, 0}, {839, 60, 1},
        {840, 59, 0}, {840, 60, 1}, {1400, 99, 0}, {1400, 100, 1},
    };
    for (const Case& c : cases) {
        TestPicture picture;
        make_picture(&picture, c.width, 200);
        fill_rect(&picture, 100, 100, 250, 120, BUTTON_GREEN);
        fill_rect(&picture, 100, 120, 100 + c.run, 130, BUTTON_GREEN);
        draw_caption(&picture, 100, 110, 150, whites_needed(150, 30));  // enough for either box
        Found found = detect(picture);
        ASSERT_EQ(1, found.result) << c.width << " " << c.run;
        EXPECT_EQ(c.taken ? 130 : 120, found.box.bottom) << c.width << " " << c.run;
    }
}

// A few rows of green below a button join it across empty rows up to the
// row gap; the empty rows count toward the height.
TEST(GreenButton, RowGapFollowsThePictureHeight)
{
    struct Case {
        int32_t height, top, empty_rows;
        int joined;
    } cases[] = {
        {119, 60, 11, 1}, {119, 60, 12, 0},  // gap 12: next run 12 rows below the last
        {120, 60, 11, 1}, {120, 60, 12, 0},
        {200, 100, 19, 1}, {200, 100, 20, 0},  // gap 20
    };
    for (const Case& c : cases) {
        TestPicture picture;
        make_picture(&picture, 640, c.height);
        fill_rect(&picture, 100, c.top, 250, c.top + 20, BUTTON_GREEN);
        draw_caption(&picture, 100, c.top + 10, 150, whites_needed(150, 45));  // enough for either box
        int32_t lower = c.top + 20 + c.empty_rows;
        fill_rect(&picture, 100, lower, 250, lower + 3, BUTTON_GREEN);
        Found found = detect(picture);
        ASSERT_EQ(1, found.result) << c.height << " " << c.empty_rows;
        EXPECT_EQ(c.joined ? lower + 3 : c.top + 20, found.box.bottom) << c.height << " " << c.empty_rows;
    }
}

// Only rows that gave a run count toward `rows`: the rows between are green
// but broken into short runs (a step of 7 every 30 pixels), so they give
// none. 3 x rows >= height decides.
TEST(GreenButton, RowsWithoutARunDoNotCountTowardRows)
{
    struct Case {
        std::vector<int32_t> run_rows;
        int found;
    } cases[] = {
        {{0, 3, 6, 9, 12, 15, 18, 21, 24, 27}, 1},      // 30 >= 28
        {{0, 3, 6, 9, 12, 15, 18, 21, 24, 29}, 1},      // 30 >= 30
        {{0, 3, 6, 9, 12, 15, 18, 21, 24, 30}, 0},      // 30 < 31
        {{0, 4, 8, 12, 16, 20, 24, 28, 32, 36}, 0},     // 30 < 37
    };
    for (const Case& c : cases) {
        TestPicture picture;
        make_picture(&picture, 640, 400);
        int32_t top = 250, height = c.run_rows.back() + 1;
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 100; x < 250; ++x)
                set_pixel(&picture, x, top + y, BUTTON_GREEN + 0x0700 * ((x / 30) % 2));
        for (int32_t row : c.run_rows)
            fill_rect(&picture, 100, top + row, 250, top + row + 1, BUTTON_GREEN);
        draw_caption(&picture, 100, top + 1, 150, whites_needed(150, height));
        Found found = detect(picture);
        if (c.found)
            expect_box(found, 100, top, 250, top + height);
        else
            EXPECT_EQ(0, found.result) << height;
    }
}

// Runs join the box above when they overlap its latest run by at least half
// of the shorter one and their colour is within 28 of it.
TEST(GreenButton, RunsJoinOnOverlapAndColour)
{
    struct Case {
        int32_t shift;        // of the lower 15 rows against the upper 15
        int32_t green_step;   // their green against the upper rows'
        int joined;
    } cases[] = {
        {50, 0, 1}, {51, 0, 0}, {-50, 0, 1}, {-51, 0, 0},  // overlap 50 or 49 of 100
        {0, 28, 1}, {0, 29, 0}, {0, -28, 1}, {0, -29, 0},
    };
    for (const Case& c : cases) {
        TestPicture picture;
        make_picture(&picture, 640, 400);
        fill_rect(&picture, 200, 300, 300, 315, BUTTON_GREEN);
        fill_rect(&picture, 200 + c.shift, 315, 300 + c.shift, 330, BUTTON_GREEN + 0x0100 * c.green_step);
        draw_caption(&picture, 200, 301, 100, whites_needed(150, 30));
        Found found = detect(picture);
        if (c.joined)  // each half alone is too low
            expect_box(found, c.shift < 0 ? 200 + c.shift : 200, 300, c.shift > 0 ? 300 + c.shift : 300, 330);
        else
            EXPECT_EQ(0, found.result) << c.shift << " " << c.green_step;
    }
}

// 40 pixels of one green, then 100 pixels one step brighter in green.
TEST(GreenButton, AStepOfSevenEndsARun)
{
    for (int32_t step : {6, 7}) {
        TestPicture picture;
        make_picture(&picture, 640, 400);
        fill_rect(&picture, 100, 300, 140, 330, BUTTON_GREEN);
        fill_rect(&picture, 140, 300, 240, 330, BUTTON_GREEN + 0x0100 * step);
        draw_caption(&picture, 140, 315, 100, whites_needed(140, 30));  // enough for either box
        Found found = detect(picture);
        expect_box(found, step == 6 ? 100 : 140, 300, 240, 330);
    }
}

// 30 pixels of one green, a ramp of +1 per pixel in green up to `drift`,
// then that green to the end: the run ends at the first pixel 41 away.
TEST(GreenButton, ADriftOf41EndsARun)
{
    for (int32_t drift : {40, 41}) {
        TestPicture picture;
        make_picture(&picture, 640, 400);
        int32_t left = 100, top = 300, right = 300;
        for (int32_t y = top; y < top + 30; ++y) {
            for (int32_t x = left; x < right; ++x) {
                int32_t step = x - (left + 29);
                step = step < 0 ? 0 : (step > drift ? drift : step);
                set_pixel(&picture, x, y, rgb(0x20, 0x80 + step, 0x30));
            }
        }
        fill_rect(&picture, 200, top + 15, right, top + 16, WHITE);  // caption right of the ramp
        Found found = detect(picture);
        ASSERT_EQ(1, found.result) << drift;
        if (drift == 40) {
            EXPECT_EQ(left, found.box.left);
            EXPECT_EQ(rgb(0x20, 0x80, 0x30), found.colour);
        } else {
            EXPECT_EQ(left + 70, found.box.left);
            EXPECT_EQ(rgb(0x20, 0x80 + 41, 0x30), found.colour);
        }
    }
}

TEST(GreenButton, ProportionsAndSizes)
{
    struct Case {
        int32_t picture_width, width, height;
        int found;
    } cases[] = {
        {800, 100, 66, 1},  // 200 >= 198
        {800, 99, 66, 1},   // 198 >= 198
        {800, 100, 67, 0},  // 200 < 201
        {800, 252, 18, 1},  // 14 x 18
        {800, 253, 18, 0},
        {800, 100, 17, 0},  // too low
        {800, 70, 18, 1},
        {800, 69, 18, 0},  // too narrow
        {300, 270, 40, 1},  // nine tenths of the picture
        {300, 271, 40, 0},
        {69, 69, 30, 0},    // a picture narrower than 70
    };
    for (const Case& c : cases) {
        TestPicture picture;
        make_picture(&picture, c.picture_width, 400);
        draw_button(&picture, (c.picture_width - c.width) / 2, 250, c.width, c.height);
        EXPECT_EQ(c.found, detect(picture).result) << c.picture_width << " " << c.width << "x" << c.height;
    }
}

TEST(GreenButton, NeedsOneNearWhitePixelIn200)
{
    struct Case {
        int32_t whites;
        uint32_t white;
        int found;
    } cases[] = {
        {0, WHITE, 0},  {19, WHITE, 0}, {20, WHITE, 1},  // 200 x 20 = 4000 pixels
        {20, rgb(190, 190, 190), 1}, {20, rgb(190, 189, 190), 0},
    };
    for (const Case& c : cases) {
        TestPicture picture;
        make_picture(&picture, 640, 400);
        fill_rect(&picture, 100, 300, 300, 320, BUTTON_GREEN);
        for (int32_t i = 0; i < c.whites; ++i)
            set_pixel(&picture, 110 + 3 * i, 310, c.white);
        EXPECT_EQ(c.found, detect(picture).result) << c.whites << " " << std::hex << c.white;
    }
}

// A 200 x 20 box: 12 rows of a green `below` the final one, two rows that
// climb in steps of 28 (each row joins the latest), 6 rows of the final
// green. Pixels within 60 of the final green are the box's own; it needs
// 45 % of them.
TEST(GreenButton, NeedsFortyFivePercentOfItsOwnGreen)
{
    struct Case {
        int32_t below;
        int found;
    } cases[] = {{60, 1}, {61, 0}};  // 8 of 20 rows are its own at 61
    for (const Case& c : cases) {
        TestPicture picture;
        make_picture(&picture, 640, 400);
        const int32_t top = 300, final_green = 0xf0, start = final_green - c.below;
        for (int32_t y = 0; y < 20; ++y) {
            int32_t green = y < 12 ? start : (y < 14 ? start + 28 * (y - 11) : final_green);
            fill_rect(&picture, 100, top + y, 300, top + y + 1, rgb(0x10, green, 0x10));
        }
        draw_caption(&picture, 100, top + 1, 200, 20);
        Found found = detect(picture);
        EXPECT_EQ(c.found, found.result) << c.below;
        if (c.found) {
            expect_box(found, 100, top, 300, top + 20);
            EXPECT_EQ(rgb(0x10, final_green, 0x10), found.colour);
        }
    }
}

TEST(GreenButton, EqualAreasGoToTheBoxCreatedFirst)
{
    TestPicture side_by_side;
    make_picture(&side_by_side, 800, 400);
    draw_button(&side_by_side, 400, 300, 150, 30, rgb(0x20, 0xa0, 0x20));
    draw_button(&side_by_side, 100, 300, 150, 30, BUTTON_GREEN);
    expect_box(detect(side_by_side), 100, 300, 250, 330);

    TestPicture stacked;
    make_picture(&stacked, 800, 400);
    draw_button(&stacked, 100, 250, 150, 30);
    draw_button(&stacked, 400, 330, 150, 30);
    expect_box(detect(stacked), 100, 250, 250, 280);

    TestPicture larger_later;
    make_picture(&larger_later, 800, 400);
    draw_button(&larger_later, 100, 250, 150, 30);
    draw_button(&larger_later, 400, 330, 151, 30);
    expect_box(detect(larger_later), 400, 330, 551, 360);
}

// Each row one step greener; the lowest row's first pixel differs slightly
// from the rest of its row.
TEST(GreenButton, ColourIsTheLowestRunsFirstPixel)
{
    TestPicture picture;
    make_picture(&picture, 640, 400);
    for (int32_t y = 0; y < 30; ++y)
        fill_rect(&picture, 100, 300 + y, 300, 301 + y, rgb(0x20, 0x70 + 2 * y, 0x30));
    draw_caption(&picture, 100, 315, 200, whites_needed(200, 30));
    set_pixel(&picture, 100, 329, rgb(0x20, 0x70 + 58 + 5, 0x30));
    Found found = detect(picture);
    expect_box(found, 100, 300, 300, 330);
    EXPECT_EQ(rgb(0x20, 0x70 + 58 + 5, 0x30), found.colour);
}

TEST(GreenButton, SeesNothingAboveFortyFivePercentOfTheHeight)
{
    TestPicture above;
    make_picture(&above, 640, 400);  // first scanned row 180
    draw_button(&above, 100, 130, 150, 49);
    expect_untouched(detect(above));

    TestPicture straddling;
    make_picture(&straddling, 640, 400);
    draw_button(&straddling, 100, 160, 150, 50);
    expect_box(detect(straddling), 100, 180, 250, 210);
}

// Rows of 13 runs of 60 pixels, each row a green 30 apart from the others
// so that no row joins another: `candidates` boxes above a real button.
TEST(GreenButton, AtMost64CandidateBoxes)
{
    for (int32_t candidates : {63, 64}) {
        TestPicture picture;
        make_picture(&picture, 800, 400);  // run length 60, row gap 40
        for (int32_t i = 0; i < candidates; ++i) {
            int32_t row = i / 13, column = i % 13;
            fill_rect(&picture, column * 61, 180 + row, column * 61 + 60, 181 + row, rgb(0x10, 80 + 30 * row, 0x10));
        }
        draw_button(&picture, 300, 300, 150, 40);
        Found found = detect(picture);
        if (candidates == 63)
            expect_box(found, 300, 300, 450, 340);
        else
            expect_untouched(found);
    }
}

}  // namespace
