// Pressing a target and confirming the press, on virtual time. Element
// targets use the UI Automation double; pixel targets the simulated launcher.
#include <gtest/gtest.h>

#include "app/settings.h"
#include "press/press.h"
#include "press_harness.h"
#include "support/refused_calls.h"
#include "support/simulated_launcher.h"
#include "vision/capture.h"
#include "vision/green_button.h"
#include "windows/input_calls.h"
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
        drop_late_calls();
        EXPECT_EQ(0, d.live_objects);
        remove_uia_double(d);
        remove_virtual_time();
        DestroyWindow(window);
    }
    uint64_t reported_after(size_t line) { return reported_at.at(line) - START; }
    int press(uint64_t end_ms = PRESS_MS) { return press_target(window, &target, nullptr, START + end_ms); }
};

TEST_F(PressElement, EveryMethodInTurnNoneBegunPastTheEnd)
{
    d.nodes[play].invoke_result = E_FAIL;
    d.nodes[play].default_action_result = E_FAIL;
    EXPECT_EQ(0, press());
    EXPECT_EQ(lines({"TRY invoke", "TRY legacy", "TRY message", "TRY click"}), reported);
    EXPECT_EQ(0u, reported_after(1)) << "a refused action costs no confirmation time";
    EXPECT_EQ(0u, reported_after(2));
    // message: 40 + 70 ms of posting, then the whole 4500 ms confirmation.
    EXPECT_EQ(40u + 70u + 4500u, reported_after(3));
    // click: the launcher is not under the point, so no click and no wait
    // beyond bringing the window forward and putting the cursor there.
    EXPECT_EQ(4610u + 300u + 30u, total_waited());
    // The press's end comes in the message's confirmation: it ends there.
    install_virtual_time(START);
    EXPECT_EQ(0, press(4000));
    EXPECT_EQ(lines({"TRY invoke", "TRY legacy", "TRY message"}), reported);
    EXPECT_EQ(4110u, total_waited());
}

TEST_F(PressElement, NewJavaProcessConfirmsAndIsReported)
{
    unsigned long pid = 0;
    virtual_time.on_wait = [&](uint64_t now) {
        if (now - START >= 1000 && !pid)
            pid = start_game(&game);
    };
    EXPECT_EQ(1, press());
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
    EXPECT_EQ(1, press());
    EXPECT_EQ(lines({"TRY invoke", "PRESSED invoke"}), reported);
    EXPECT_EQ(4500u, total_waited());
}

TEST_F(PressElement, WindowGoingAwayConfirmsAtTheNextPoll)
{
    virtual_time.on_wait = [&](uint64_t now) {
        if (now - START == 1000)
            ShowWindow(window, SW_MINIMIZE);
    };
    EXPECT_EQ(1, press());
    EXPECT_EQ(lines({"TRY invoke", "PRESSED invoke"}), reported);
    EXPECT_EQ(1000u, reported_after(1));
}

// Play gone is an absence, taken by the search's own rule: two looks in a
// row, passes without a look between them tolerated twice, and more than
// 3000 ms since the press went out. Looks come every 500 ms from 1500 ms on,
// each seeing what its row gives (the last entry for the rest); only invoke
// has the time.
TEST_F(PressElement, GoneIsTakenByTheSearchsAbsenceRule)
{
    enum { THERE, GONE, NO_LOOK, MOVED, WIDENED };
    struct Row {
        const char* what;
        std::vector<int> looks;
        uint64_t pressed_at;  // 0: not confirmed
    } rows[] = {
        {"gone for good: not before the floor", {GONE}, 3500},
        {"a page half rebuilt, then gone", {GONE, THERE, GONE}, 3500},
        {"gone, no look, gone: the same page", {GONE, NO_LOOK, GONE, NO_LOOK, GONE, NO_LOOK, GONE}, 3500},
        {"three passes without a look start the series again", {GONE, GONE, GONE, NO_LOOK, NO_LOOK, NO_LOOK, GONE}, 0},
        // The player drags the window 200 px (Play moves with it), or widens
        // it (Play, kept at the right edge, moves in it): no look then tells
        // whether Play went.
        {"the window moved with its page", {GONE, MOVED}, 0},
        {"the window widened, its page laid out anew", {GONE, WIDENED}, 0},
    };
    RECT placed;
    GetWindowRect(window, &placed);
    auto show = [&](int seen) {
        int dx = seen == MOVED ? 200 : 0, dw = seen == WIDENED ? 200 : 0;
        SetWindowPos(window, nullptr, placed.left + dx, placed.top, placed.right - placed.left + dw,
                     placed.bottom - placed.top, SWP_NOZORDER | SWP_NOACTIVATE);
        d.nodes[play].rect = RECT{PLAY_RECT.left + dx + dw, PLAY_RECT.top, PLAY_RECT.right + dx + dw, PLAY_RECT.bottom};
        d.nodes[play].name = seen == GONE ? L"Launching" : L"Play";
        d.faults.element_from_handle = seen == NO_LOOK ? UIA_FAIL : UIA_OK;
    };
    for (const Row& row : rows) {
        install_virtual_time(START);
        virtual_time.on_wait = [&](uint64_t now) {
            size_t look = now - START < 1500 ? 0 : (size_t)(now - START - 1500) / 500;
            show(row.looks[look < row.looks.size() ? look : row.looks.size() - 1]);
        };
        EXPECT_EQ(row.pressed_at != 0, press(CONFIRM_MS)) << row.what;
        virtual_time.on_wait = nullptr;
        show(THERE);
        EXPECT_EQ(row.pressed_at ? lines({"TRY invoke", "PRESSED invoke"}) : lines({"TRY invoke"}), reported) << row.what;
        if (row.pressed_at && reported.size() == 2) {
            EXPECT_EQ(row.pressed_at, reported_after(1)) << row.what;
        }
    }
}

// An action that overran its wait may still land: it is pending, confirmed
// as one done, and never pressed over. Invoke takes the row's time (its
// method waits 4500 ms for it); once it runs it starts the game or is
// refused. Every later action is quick and starts the game.
TEST_F(PressElement, AnActionThatOverranIsPendingAndNeverPressedOver)
{
    struct Row {
        const char* what;
        uint64_t invoke_ms;
        HRESULT invoke_result;
        std::vector<std::string> lines;  // "GAME" stands for the game's line
    } rows[] = {
        {"lands 6 s late, in its confirmation", 6000, S_OK, lines({"TRY invoke", "GAME", "PRESSED invoke"})},
        {"lands 12 s late, while the next method waits for it", 12000, S_OK, lines({"TRY invoke", "GAME", "PRESSED invoke"})},
        {"refused 7 s late: the next method runs", 7000, E_FAIL, lines({"TRY invoke", "TRY legacy", "GAME", "PRESSED legacy"})},
        {"still running at the next method's bound: nothing more is begun", 20000, S_OK, lines({"TRY invoke"})},
    };
    for (const Row& row : rows) {
        // A window of ours that took no message for 5 s reads as hung, and
        // the route would be given up at the overrun.
        pump_for(10);
        reset_settings();
        install_virtual_time(START);
        int actions = 0;
        install_virtual_calls([&](const LauncherCall* call) -> uint64_t {
            return call->kind == CALL_UI_ACTION && actions++ == 0 ? row.invoke_ms : 0;
        });
        d.world.act = [&](int, int action) -> HRESULT {
            if (action == UIA_ACT_INVOKE && row.invoke_result != S_OK)
                return row.invoke_result;
            if (!game.process.hProcess)
                start_game(&game);
            return S_OK;
        };
        int pressed = press();
        for (std::string& line : reported)
            line = line.compare(0, 5, "GAME ") == 0 ? "GAME" : line;
        EXPECT_EQ(row.lines, reported) << row.what;
        EXPECT_EQ(row.lines.size() > 1, pressed) << row.what;
        drop_late_calls();
        end_game(&game);
        d.world.act = nullptr;
    }
}

TEST_F(PressElement, TargetMovedAwayCountsAsGone)
{
    // Same name, another place: only rectangles are compared.
    d.nodes[play].rect = RECT{400, 300, 700, 364};
    EXPECT_EQ(1, press());
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
    EXPECT_EQ(1, press_target(launcher.window, &target, nullptr, START + PRESS_MS));
    EXPECT_EQ(lines({"TRY message", "PRESSED message"}), reported);
    EXPECT_EQ(40u + 70u + 3500u, reported_at[1] - START);
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
    EXPECT_EQ(1, press_target(launcher.window, &target, nullptr, START + PRESS_MS));
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

// A real click lands where it aimed, on the launcher, or is not made, and
// then costs no confirmation time; a posted message refused fails its
// method at once. The launcher takes real clicks only.
TEST_F(PressPixels, RealClickLandsWhereItAimedOrIsNotMade)
{
    const InputCalls system = input_calls;
    const std::vector<std::string> failed = lines({"TRY message", "TRY click"});
    struct Row {
        const char* what;
        int cover;  // a topmost window over the point once the click is tried
        InputCalls calls;
        std::vector<std::string> lines;  // "GAME" for the game's line
        uint64_t click_tried_at;
    } rows[] = {
        {"another window covers the point", 1, system, failed, 4610},
        // Refused, with the cursor standing at the point already.
        {"the cursor is not put there", 0, {cursor_not_put, GetCursorPos, SendInput, PostMessageW, WindowFromPoint}, failed, 4610},
        {"the cursor is kept elsewhere", 0, {SetCursorPos, cursor_kept_elsewhere, SendInput, PostMessageW, WindowFromPoint}, failed, 4610},
        {"the batch is cut short", 0, {SetCursorPos, GetCursorPos, input_cut_short, PostMessageW, WindowFromPoint}, failed, 4610},
        {"a posted message is refused", 0, {SetCursorPos, GetCursorPos, SendInput, post_refused, WindowFromPoint},
         lines({"TRY message", "TRY click", "GAME", "PRESSED click"}), 0},
    };
    start({L"--marker", L"--accept", L"real"});
    ASSERT_TRUE(aim());
    POINT centre = target_center(launcher.window, &target);
    for (const Row& row : rows) {
        install_virtual_time(START);
        virtual_time.real_sleep_ms = 15;
        hide_window(launcher.window);
        SetCursorPos(centre.x, centre.y);
        HWND cover = nullptr;
        virtual_time.on_wait = [&](uint64_t) {
            if (!row.cover || cover || reported.empty() || reported.back() != "TRY click")
                return;
            // SS_NOTIFY: a plain static lets hit tests through to the launcher.
            cover = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", L"cover",
                                    WS_POPUP | WS_VISIBLE | SS_NOTIFY, centre.x - 20, centre.y - 20, 40, 40, nullptr,
                                    nullptr, GetModuleHandleW(nullptr), nullptr);
            static_procedure = (WNDPROC)SetWindowLongPtrW(cover, GWLP_WNDPROC, (LONG_PTR)counting_procedure);
        };
        cover_clicks = 0;
        size_t real_before = launcher_log_count("CLICK real");
        input_calls = row.calls;
        int pressed = press_target(launcher.window, &target, nullptr, START + PRESS_MS);
        reset_input_calls();
        for (std::string& line : reported)
            line = line.compare(0, 5, "GAME ") == 0 ? "GAME" : line;
        EXPECT_EQ(row.lines, reported) << row.what;
        EXPECT_EQ(row.lines.size() > 2, pressed) << row.what;
        ASSERT_GE(reported.size(), 2u) << row.what;
        EXPECT_EQ(row.click_tried_at, reported_at[1] - START) << row.what;
        EXPECT_NE(nullptr, GetPropW(launcher.window, L"KestrovV6.Hidden")) << row.what << ": hidden again after the click";
        pump_for(200);
        EXPECT_EQ(pressed ? 1u : 0u, launcher_log_count("CLICK real") - real_before) << row.what;
        EXPECT_EQ(0, cover_clicks) << row.what << ": a real click went out onto the cover";
        if (!pressed) {
            // No confirmation time for a click not made: the window brought
            // forward, the cursor put there and read back, a batch sent.
            EXPECT_LE(total_waited(), 4610u + 300u + 30u + 60u) << row.what;
        }
        if (cover)
            DestroyWindow(cover);
    }
}

TEST_F(PressPixels, PostedClickDescendsEightChildWindowsAtMost)
{
    // A chain of ten nested children, each 4 pixels further in: the point
    // 42, 42 lies in all ten, and child n has its origin at 4n, 4n.
    start({L"--children", L"10"});
    target.rect = RECT{40, 40, 44, 44};
    target.colour = 0x27873e;
    EXPECT_EQ(1, press_target(launcher.window, &target, nullptr, START + PRESS_MS));  // not the button: gone
    pump_for(300);
    std::vector<std::string> downs;
    for (const std::string& line : launcher_log(&launcher))
        if (line.compare(0, 11, "LBUTTONDOWN") == 0)
            downs.push_back(line);
    EXPECT_EQ(std::vector<std::string>{"LBUTTONDOWN 10 10 child posted"}, downs);
}

}  // namespace
