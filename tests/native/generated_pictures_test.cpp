// All generated cases under the address and undefined-behaviour sanitizers,
// with the detector held against a literal reading of its rules.
#include <gtest/gtest.h>

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>

#include <chrono>

#include "reference_detector.h"
#include "vision/comparisons.h"
#include "vision/green_button.h"
#include "vision/vision_samples.h"

namespace {

// The marker count read literally: every pixel of the band, 64-bit bounds.
int reference_marker(const Capture* p, Rect box)
{
    int64_t h = (int64_t)box.bottom - box.top;
    int64_t from = (int64_t)box.top - h, to = (int64_t)box.bottom + h;
    int64_t count = 0;
    for (int64_t y = from < 0 ? 0 : from; y < to && y < p->height; ++y)
        for (int64_t x = 0; x < p->width; ++x) {
            if (x >= box.left && x < box.right && y >= box.top && y < box.bottom)
                continue;
            const unsigned char* q = p->pixels + (y * p->width + x) * 4;
            int64_t r = q[2], g = q[1], b = q[0];
            count += r >= 120 && b >= 80 && g + 39 < (r < b ? r : b) && r + b >= 300;
        }
    return count > 24;
}

void compare_with_reference(uint32_t index, const SampleCase& s, SampleOutcome* outcome)
{
    const Capture* picture = &s.picture.capture;
    Rect box = {1, 2, 3, 4}, expected = {1, 2, 3, 4};
    uint32_t colour = 5, expected_colour = 5;
    int found = find_green_button(picture, &box, &colour);
    int expected_found = reference_find_green_button(picture, &expected, &expected_colour);
    if (found != expected_found || box.left != expected.left || box.top != expected.top ||
        box.right != expected.right || box.bottom != expected.bottom || colour != expected_colour)
        note_problem(outcome, index, "detector differs from the literal rules");
    for (int i = 0; i < SAMPLE_RECTS; ++i)
        if (has_profile_marker(picture, s.rects[i]) != reference_marker(picture, s.rects[i]))
            note_problem(outcome, index, "marker test differs from the literal rules");
}

TEST(GeneratedPictures, AllCasesKeepTheRules)
{
    auto start = std::chrono::steady_clock::now();
    SampleOutcome outcome;
    run_sample_cases(0, SAMPLE_CASES, 1, &outcome, compare_with_reference);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("%d cases in %.1f s: %d buttons found, %d marker answers yes, digest %016llx\n", outcome.cases,
           seconds, outcome.buttons_found, outcome.markers_found, (unsigned long long)outcome.digest);
    EXPECT_EQ(SAMPLE_CASES, outcome.cases);
    EXPECT_EQ(0, outcome.problems) << outcome.first_problem;
}

// Records the product is not given by the capture but must still survive.
TEST(GeneratedPictures, DegeneratePicturesGiveNothing)
{
    unsigned char one[4] = {0x20, 0xff, 0x20, 0};
    Capture pictures[] = {
        {0, 0, nullptr}, {100, 100, nullptr}, {-5, 10, one}, {10, -5, one}, {0, 1, one}, {1, 0, one}, {1, 1, one},
    };
    for (const Capture& picture : pictures) {
        Rect box = {7, 7, 7, 7};
        EXPECT_EQ(0, find_green_button(&picture, &box, nullptr));
        EXPECT_EQ(7, box.left);
        EXPECT_EQ(0, has_profile_marker(&picture, Rect{INT_MIN, INT_MIN, INT_MAX, INT_MAX}));
        EXPECT_EQ(0, has_profile_marker(&picture, Rect{0, 0, 1, 1}));
    }
}

TEST(GeneratedPictures, OneRowAndOneColumnPictures)
{
    for (int across = 0; across < 2; ++across) {
        TestPicture picture;
        make_picture(&picture, across ? 5000 : 1, across ? 1 : 5000, BUTTON_GREEN);
        Rect box = {7, 7, 7, 7};
        EXPECT_EQ(0, find_green_button(&picture.capture, &box, nullptr));
        EXPECT_EQ(1, image_is_flat(&picture.capture));
        EXPECT_EQ(0, has_profile_marker(&picture.capture, Rect{0, 0, 1, 1}));
    }
}

}  // namespace
