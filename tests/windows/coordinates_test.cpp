// The coordinate rule's arithmetic, with plain numbers: physical pixels in a
// window's own units and back, negative origins (a monitor left of or above
// the primary one: Wine here shows only one), lParam packing, and whether an
// area lies on the monitors.
#include <gtest/gtest.h>

#include "windows/coordinates.h"

namespace {

TEST(Coordinates, ScaleFromOneDpiToAnotherRoundsDown)
{
    struct Row {
        int32_t value, origin;
        uint32_t from, to;
        int32_t wanted;
    } rows[] = {
        {300, 0, 144, 96, 200},            // 150 %: physical to an unaware window's units
        {301, 0, 144, 96, 200},            // 200.67
        {250, 0, 120, 96, 200},            // 125 %
        {251, 0, 120, 96, 200},            // 200.8
        {500, 0, 96, 192, 1000},           // 200 %, the other way
        {-1, 0, 144, 96, -1},              // left of the client area: its own pixel, not 0
        {-300, 0, 144, 96, -200},
        {-1000, -1920, 96, 144, -540},     // a monitor at -1920: scaled from its corner
        {-541, -1920, 144, 96, -1001},
        {-1079, -1080, 144, 96, -1080},    // a monitor above: 1 physical row is 0.67 of a unit
        {500, 0, 96, 96, 500},             // 100 %: as it is
        {500, 0, 0, 96, 500},              // a DPI the system could not tell
        {500, 0, 144, 0, 500},
        {1500000000, 0, 144, 96, 1000000000},  // its product needs 64 bits
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.wanted, scale_coordinate(r.value, r.origin, r.from, r.to))
            << r.value << " from " << r.origin << ", " << r.from << " to " << r.to << " DPI";
}

TEST(Coordinates, PackedLparamKeepsTheLowSixteenBitsOfEach)
{
    struct Row {
        int32_t x, y;
        uint32_t wanted;
    } rows[] = {
        {710, 694, 0x02b602c6u},
        {-1, -2, 0xfffeffffu},        // both on a monitor left of and above the primary one
        {-32768, 32767, 0x7fff8000u},
        {0x12345, 5, 0x00052345u},
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.wanted, pack_client_point(r.x, r.y)) << r.x << "," << r.y;
}

TEST(Coordinates, AnAreaIsOnTheMonitorsOnlyWhenEveryPixelIs)
{
    const RECT one[] = {{0, 0, 1920, 1080}};
    const RECT two[] = {{-1920, 0, 0, 1080}, {0, 0, 2560, 1440}};  // the left one lower and smaller
    struct Row {
        RECT area;
        const RECT* monitors;
        int count, wanted;
    } rows[] = {
        {{150, 90, 1650, 1050}, one, 1, 1},
        {{150, 120, 1650, 1170}, one, 1, 0},     // 1000 x 700 at 150 %: its bottom rows off the screen
        {{1919, 0, 1921, 10}, one, 1, 0},        // one column off the right
        {{-500, 100, 500, 800}, two, 2, 1},      // across both
        {{-500, 1000, 500, 1200}, two, 2, 0},    // below the left one's bottom, on the right one
        {{100, 1000, 500, 1200}, two, 2, 1},
        {{-2000, 10, -1800, 100}, two, 2, 0},    // left of every monitor
        {{10, 10, 10, 50}, one, 1, 1},           // empty
        {{10, 10, 20, 20}, one, 0, 0},           // no monitor
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.wanted, area_on_monitors(r.area, r.monitors, r.count))
            << r.area.left << "," << r.area.top << " to " << r.area.right << "," << r.area.bottom;
}

}  // namespace
