// Pressing a target and confirming the press, on virtual time. Element
// targets use the UI Automation double; pixel targets the simulated launcher.
#include <gtest/gtest.h>

#include "app/settings.h"
#include "press/press.h"
#include "press_harness.h"
#include "support/simulated_launcher.h"
#include "vision/capture.h"
#include "vision/green_button.h"
#include "windows/java_watch.h"
#include "windows/window_handling.h"

namespace {

const uint64_t START = 1000000;

std::vector<std::string> lines(std::initializer_list<const char*> list)
{
    return std::vector<std::string>(list.begin(), list.end());
}

// An element target in a visible window of this process that overlaps the
// target's rectangle (wholly outside, the target would be offscreen) but not
// its centre, so that a real click finds no launcher under it.
struct PressElement : ::testing::Test {
    UiaDouble d;
    HWND window = nullptr;
    PlayTarget target{};
    int play = -1;
    StartedGame game;

    void SetUp() override
    {
        reset_settings();
        install_virtual_time(START);
        record_java_baseline();
        window = CreateWindowExW(0, L"STATIC", L"plain", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 650, 300, 500,
                                 400, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        install_uia_double(d);
        play = add_button(d, L"Play", PLAY_RECT);
        target.rect = PLAY_RECT;
        target.element = make_element(d, play);
    }
    void TearDown() override
    {
        release_target(&target);
        end_game(&game);
        EXPECT_EQ(0, d.live_objects);
        remove_uia_double(d);
        remove_virtual_time();
        DestroyWindow(window);
    }
    uint64_t reported_after(size_t line) { return reported_at.at(line) - START; }
};

TEST_F(PressElement, EveryMethodInTurnAndNoTimeLostOnFailedActions)
{
    d.nodes[play].invoke_result = E_FAIL;
    d.nodes[play].default_action_result = E_FAIL;
    EXPECT_EQ(0, press_target(window, &target));
    EXPECT_EQ(lines({"TRY invoke", "TRY legacy", "TRY message", "TRY click"}), reported);
    EXPECT_EQ(0u, reported_after(1)) << "a refused action costs no confirmation time";
    EXPECT_EQ(0u, reported_after(2));
    // message: 40 + 70 ms of posting, then the whole 4500 ms confirmation.
    EXPECT_EQ(40u + 70u + 4500u, reported_after(3));
    // click: the launcher is not under the point, so no click and no wait
    // beyond bringing the window forward.
    EXPECT_EQ(4610u + 300u, total_waited());
}

TEST_F(PressElement, NewJavaProcessConfirmsAndIsReported)
{
    unsigned long pid = 0;
    virtual_time.on_wait = [&](uint64_t now) {
        if (now - START >= 1000 && !pid)
            pid = start_game(&game);
    };
    EXPECT_EQ(1, press_target(window, &target));
    ASSERT_NE(0ul, pid);
    EXPECT_EQ(lines({"TRY invoke"}).front(), reported.front());
    std::vector<std::string> expected = {"TRY invoke", "GAME " + std::to_string(pid), "PRESSED invoke"};
    EXPECT_EQ(expected, reported);
    EXPECT_EQ(1000u, reported_after(1));
}

TEST_F(PressElement, JavaFirstSeenAtTheFinalCheckConfirmsWithoutAGameLine)
{
    // Starts when the loop reads the clock at its end, after the last poll.
    virtual_time.on_tick = [&](uint64_t now) {
        if (now - START >= 4500 && !game.process.hProcess)
            start_game(&game);
    };
    EXPECT_EQ(1, press_target(window, &target));
    EXPECT_EQ(lines({"TRY invoke", "PRESSED invoke"}), reported);
    EXPECT_EQ(4500u, total_waited());
}

TEST_F(PressElement, WindowGoingAwayConfirmsAtTheNextPoll)
{
    virtual_time.on_wait = [&](uint64_t now) {
        if (now - START == 1000)
            ShowWindow(window, SW_MINIMIZE);
    };
    EXPECT_EQ(1, press_target(window, &target));
    EXPECT_EQ(lines({"TRY invoke", "PRESSED invoke"}), reported);
    EXPECT_EQ(1000u, reported_after(1));
}

TEST_F(PressElement, VanishedTargetCountsFromTheThirdPollOnTwoLooksInARow)
{
    // Gone at the third poll, back at the fourth (a page half rebuilt), then
    // gone for good: two looks in a row from the fifth.
    virtual_time.on_wait = [&](uint64_t now) {
        if (now - START == 500 || now - START == 2500)
            d.nodes[play].name = L"Launching";
        if (now - START == 2000)
            d.nodes[play].name = L"Play";
    };
    EXPECT_EQ(1, press_target(window, &target));
    EXPECT_EQ(lines({"TRY invoke", "PRESSED invoke"}), reported);
    EXPECT_EQ(3000u, reported_after(1));
}

TEST_F(PressElement, TargetMovedAwayCountsAsGone)
{
    // Same name, another place: only rectangles are compared.
    d.nodes[play].rect = RECT{400, 300, 700, 364};
    EXPECT_EQ(1, press_target(window, &target));
    EXPECT_EQ(lines({"TRY invoke", "PRESSED invoke"}), reported);
}

// --- pixel targets on the simulated launcher ------------------------------------

RECT as_rect(Rect r)
{
    return RECT{r.left, r.top, r.right, r.bottom};
}

struct PressPixels : ::testing::Test {
    SimulatedLauncher launcher{};
    PlayTarget target{};

    void SetUp() override
    {
        reset_settings();
        install_virtual_time(START);
        record_java_baseline();
        virtual_time.real_sleep_ms = 15;  // lets the launcher handle what was posted
    }
    void TearDown() override
    {
        remove_virtual_time();
        stop_launcher(&launcher);
    }
    void start(std::vector<std::wstring> arguments)
    {
        ASSERT_EQ(1, start_launcher(&launcher, arguments));
        target.in_client = 1;
        target.rect = default_button_rect(launcher.window);
    }
    size_t launcher_log_count(const std::string& prefix)
    {
        size_t count = 0;
        for (const std::string& line : launcher_log(&launcher))
            count += line.compare(0, prefix.size(), prefix) == 0;
        return count;
    }
    // Aims the target at the button as the detector sees it now.
    int aim()
    {
        Rect box{};
        if (!detect(&box, &target.colour))
            return 0;
        target.rect = as_rect(box);
        return 1;
    }
    // The button as the detector sees it now.
    int detect(Rect* box, uint32_t* colour)
    {
        Capture picture{};
        if (!capture_window(launcher.window, &picture))
            return 0;
        int found = find_green_button(&picture, box, colour);
        release_capture(&picture);
        return found;
    }
};

TEST_F(PressPixels, PixelTargetStartsWithPostedMessages)
{
    // A child box keeps the picture from being flat once the button goes.
    start({L"--marker", L"--on-click", L"hide-button", L"--children", L"1"});
    ASSERT_TRUE(aim());
    EXPECT_EQ(1, press_target(launcher.window, &target));
    EXPECT_EQ(lines({"TRY message", "PRESSED message"}), reported);
    EXPECT_EQ(40u + 70u + 2000u, reported_at[1] - START);
}

TEST_F(PressPixels, ColourMovedBy11InAnyChannelCountsAsGone)
{
    start({});
    Rect box{};
    uint32_t colour = 0;
    ASSERT_TRUE(detect(&box, &colour));
    target.rect = as_rect(box);
    struct Row {
        int shift;   // channel: 16 red, 8 green, 0 blue
        int delta;
        int still_there;
    };
    const Row rows[] = {{16, 10, 1}, {16, -10, 1}, {16, 11, 0}, {8, 10, 1},  {8, -11, 0},
                        {0, 10, 1},  {0, -10, 1},  {0, 11, 0},  {0, -11, 0}, {8, 0, 1}};
    for (const Row& row : rows) {
        int channel = (int)((colour >> row.shift) & 0xFF) + row.delta;
        ASSERT_TRUE(channel >= 0 && channel <= 255) << "pick another button colour";
        target.colour = (colour & ~(0xFFu << row.shift)) | ((uint32_t)channel << row.shift);
        EXPECT_EQ(row.still_there, target_still_there(launcher.window, &target))
            << "channel shift " << row.shift << " delta " << row.delta;
    }
    target.colour = colour;
    OffsetRect(&target.rect, 13, 0);
    EXPECT_EQ(0, target_still_there(launcher.window, &target)) << "another place is another button";
}

TEST_F(PressPixels, NoPictureShowsNothingGone)
{
    // Too small to be captured: a failed capture is no sign of a press.
    HWND small = CreateWindowExW(0, L"STATIC", L"small", WS_POPUP | WS_VISIBLE, 10, 10, 40, 40, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    target.in_client = 1;
    target.rect = RECT{10, 10, 30, 30};
    EXPECT_EQ(1, target_still_there(small, &target));
    DestroyWindow(small);
}

TEST_F(PressPixels, RealClickOnAHiddenWindowHidesItAgain)
{
    start({L"--marker", L"--accept", L"real"});
    ASSERT_TRUE(aim());
    hide_window(launcher.window);
    EXPECT_EQ(1, press_target(launcher.window, &target));
    ASSERT_EQ(4u, reported.size()) << joined_reports();
    EXPECT_EQ("TRY click", reported[1]);
    EXPECT_EQ("PRESSED click", reported[3]);
    EXPECT_NE(nullptr, GetPropW(launcher.window, L"KestrovV6.Hidden"));
    pump_for(200);
    EXPECT_EQ(1u, launcher_log_count("CLICK real"));
}

int cover_clicks = 0;  // of the test below
WNDPROC static_procedure = nullptr;
LRESULT CALLBACK counting_procedure(HWND window, UINT message, WPARAM w, LPARAM l)
{
    cover_clicks += message == WM_LBUTTONDOWN;
    return CallWindowProcW(static_procedure, window, message, w, l);
}

TEST_F(PressPixels, RealClickFailsWhenAnotherWindowCoversThePoint)
{
    start({L"--marker", L"--accept", L"real"});
    ASSERT_TRUE(aim());
    hide_window(launcher.window);
    POINT centre = target_center(launcher.window, &target);
    HWND cover = nullptr;
    // Put up once the click is tried, before it looks under the point.
    virtual_time.on_wait = [&](uint64_t) {
        if (cover || reported.empty() || reported.back() != "TRY click")
            return;
        // SS_NOTIFY: a plain static lets hit tests through to the launcher.
        cover = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", L"cover",
                                WS_POPUP | WS_VISIBLE | SS_NOTIFY, centre.x - 20, centre.y - 20, 40, 40, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
        static_procedure = (WNDPROC)SetWindowLongPtrW(cover, GWLP_WNDPROC, (LONG_PTR)counting_procedure);
    };
    cover_clicks = 0;
    EXPECT_EQ(0, press_target(launcher.window, &target));
    EXPECT_EQ(lines({"TRY message", "TRY click"}), reported);
    EXPECT_NE(nullptr, GetPropW(launcher.window, L"KestrovV6.Hidden")) << "hidden again after the failed click";
    pump_for(200);
    EXPECT_EQ(0u, launcher_log_count("CLICK real"));
    EXPECT_EQ(0, cover_clicks) << "a real click went out onto the cover";
    for (const std::string& line : launcher_log(&launcher))
        EXPECT_EQ(std::string::npos, line.find(" real")) << "no real input went out: " << line;
    if (cover)
        DestroyWindow(cover);
}

TEST_F(PressPixels, PostedClickDescendsEightChildWindowsAtMost)
{
    // A chain of ten nested children, each 4 pixels further in: the point
    // 42, 42 lies in all ten, and child n has its origin at 4n, 4n.
    start({L"--children", L"10"});
    target.rect = RECT{40, 40, 44, 44};
    target.colour = 0x27873e;
    EXPECT_EQ(1, press_target(launcher.window, &target));  // not the button: gone
    pump_for(300);
    std::vector<std::string> downs;
    for (const std::string& line : launcher_log(&launcher))
        if (line.compare(0, 11, "LBUTTONDOWN") == 0)
            downs.push_back(line);
    EXPECT_EQ(std::vector<std::string>{"LBUTTONDOWN 10 10 child posted"}, downs);
}

}  // namespace
