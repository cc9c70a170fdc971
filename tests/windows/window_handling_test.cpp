// Hiding, showing, bringing forward and Escape, on real launcher windows in
// their own process (and a window of this process where a style must be 0).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/settings.h"
#include "support/child_process.h"
#include "support/refused_calls.h"
#include "support/simulated_launcher.h"
#include "windows/input_calls.h"
#include "windows/machine_now.h"
#include "windows/machine_state.h"
#include "windows/window_handling.h"

namespace {

unsigned long long hidden_value(HWND window)
{
    return (unsigned long long)(ULONG_PTR)GetPropW(window, HIDDEN_PROPERTY);
}

LONG_PTR ex_style(HWND window)
{
    return GetWindowLongPtrW(window, GWL_EXSTYLE);
}

int log_has(const SimulatedLauncher& launcher, const std::string& line)
{
    std::vector<std::string> log = launcher_log(&launcher);
    return std::find(log.begin(), log.end(), line) != log.end();
}

// A plain popup of this process: its extended style can be exactly 0.
HWND own_plain_window()
{
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"KV6PlainTestWindow";
    RegisterClassW(&window_class);
    return CreateWindowExW(0, L"KV6PlainTestWindow", L"plain", WS_POPUP | WS_VISIBLE, 10, 10, 200,
                           100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

struct Handling : ::testing::Test {
    SimulatedLauncher launcher{};
    void TearDown() override
    {
        stop_launcher(&launcher);
        hide_mode = 0;
    }
};

TEST(Hiding, StyleZeroIsKeptWithTheMarkBit)
{
    HWND window = own_plain_window();
    ASSERT_NE(nullptr, window);
    SetWindowLongPtrW(window, GWL_EXSTYLE, 0);
    ASSERT_EQ(0, ex_style(window));
    hide_window(window);
    EXPECT_EQ(0x10000000000ULL, hidden_value(window));
    EXPECT_EQ(WS_EX_LAYERED | WS_EX_TRANSPARENT, ex_style(window));
    EXPECT_EQ(1, alpha_of(window));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(0, window_gone(window));  // hidden is not gone
    unhide_window(window);
    EXPECT_EQ(0, ex_style(window));
    EXPECT_EQ(0ULL, hidden_value(window));
    DestroyWindow(window);
}

TEST_F(Handling, HideTwiceUnhideOnceRestoresTheFirstStyle)
{
    ASSERT_EQ(1, start_launcher(&launcher, {}));
    HWND window = launcher.window;
    LONG_PTR before = ex_style(window);
    hide_window(window);
    LONG_PTR hidden = ex_style(window);
    EXPECT_EQ(before | WS_EX_LAYERED | WS_EX_TRANSPARENT, hidden);
    EXPECT_EQ((unsigned long long)before | 0x10000000000ULL, hidden_value(window));
    hide_window(window);  // keeps the style from before the first hiding
    EXPECT_EQ((unsigned long long)before | 0x10000000000ULL, hidden_value(window));
    unhide_window(window);
    EXPECT_EQ(before, ex_style(window));
    EXPECT_EQ(0ULL, hidden_value(window));
}

TEST_F(Handling, LayeredWindowEndsFullyOpaque)
{
    ASSERT_EQ(1, start_launcher(&launcher, {L"--layered"}));
    HWND window = launcher.window;
    LONG_PTR before = ex_style(window);
    ASSERT_TRUE(before & WS_EX_LAYERED);
    hide_window(window);
    EXPECT_EQ(1, alpha_of(window));
    unhide_window(window);
    EXPECT_EQ(255, alpha_of(window));
    EXPECT_EQ(before, ex_style(window));
}

TEST_F(Handling, UnhidingAPlainWindowChangesNothing)
{
    ASSERT_EQ(1, start_launcher(&launcher, {}));
    LONG_PTR before = ex_style(launcher.window);
    EXPECT_EQ(UNHIDE_PLAIN, unhide_window(launcher.window));
    EXPECT_EQ(before, ex_style(launcher.window));
    EXPECT_EQ(0ULL, hidden_value(launcher.window));
}

TEST_F(Handling, EscapeIsPostedToTheWindowAndItsPage)
{
    ASSERT_EQ(1, start_launcher(&launcher, {L"--chrome-child"}));
    HWND own = own_plain_window();  // keeps the launcher out of the foreground
    bring_to_front(own);
    pump_for(200);
    ASSERT_NE(launcher.window, GetForegroundWindow());
    send_escape(launcher.window);
    pump_for(500);
    EXPECT_TRUE(log_has(launcher, "KEYDOWN 1b 00010001 main posted"));
    EXPECT_TRUE(log_has(launcher, "KEYUP 1b c0010001 main posted"));
    EXPECT_TRUE(log_has(launcher, "KEYDOWN 1b 00010001 chrome posted"));
    EXPECT_TRUE(log_has(launcher, "KEYUP 1b c0010001 chrome posted"));
    DestroyWindow(own);
}

TEST_F(Handling, EscapeWithoutPageGoesToTheWindowOnly)
{
    ASSERT_EQ(1, start_launcher(&launcher, {}));
    HWND own = own_plain_window();
    bring_to_front(own);
    pump_for(200);
    send_escape(launcher.window);
    pump_for(500);
    std::vector<std::string> log = launcher_log(&launcher);
    int keys = 0;
    for (const std::string& line : log)
        keys += line.rfind("KEY", 0) == 0;
    EXPECT_EQ(2, keys);
    EXPECT_TRUE(log_has(launcher, "KEYDOWN 1b 00010001 main posted"));
    DestroyWindow(own);
}

// To the launcher in front, a real key; never with the player away (only the
// input desktop takes keys): then posted, as to a window behind. The result
// says whether the keys went.
TEST_F(Handling, EscapeToTheForegroundWindowIsARealKey)
{
    const InputCalls system = input_calls;
    struct Row {
        const char* what;
        int away;
        InputCalls calls;
        int sent, real_downs, posts;
    } rows[] = {
        {"in front", 0, system, 1, 1, 0},
        {"in front, the player away", 1, system, 1, 0, 4},
        {"in front, SendInput took one key of two", 0, {SetCursorPos, GetCursorPos, input_cut_short, PostMessageW, WindowFromPoint}, 0, 0, 0},
        {"in front, the player away, the posts refused", 1, {SetCursorPos, GetCursorPos, SendInput, post_refused, WindowFromPoint}, 0, 0, 0},
    };
    ASSERT_EQ(1, start_launcher(&launcher, {L"--chrome-child"}));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        bring_to_front(launcher.window);
        pump_for(300);
        ASSERT_EQ(launcher.window, GetForegroundWindow());
        size_t before = launcher_log(&launcher).size();
        machine_now.away = row.away;
        input_calls = row.calls;
        EXPECT_EQ(row.sent, send_escape(launcher.window));
        reset_input_calls();
        start_machine_now();
        pump_for(500);
        std::vector<std::string> log = launcher_log(&launcher);
        int real_down = 0, posted = 0;
        for (size_t i = before; i < log.size(); i++) {
            real_down += log[i].rfind("KEYDOWN 1b", 0) == 0 && log[i].find(" real") != std::string::npos;
            posted += log[i].rfind("KEY", 0) == 0 && log[i].find(" posted") != std::string::npos;
        }
        EXPECT_EQ(row.real_downs, real_down);
        EXPECT_EQ(row.posts, posted);
    }
}

// The result says whether the window came forward: a refused foreground (the
// foreground lock) is no window in front.
TEST_F(Handling, BringToFrontRestoresAMinimisedWindowAndSaysWhetherItCameForward)
{
    ASSERT_EQ(1, start_launcher(&launcher, {L"--minimized"}));
    ASSERT_TRUE(IsIconic(launcher.window));
    EXPECT_EQ(1, window_gone(launcher.window));  // minimised counts as gone
    EXPECT_EQ(1, bring_to_front(launcher.window));
    pump_for(300);
    EXPECT_FALSE(IsIconic(launcher.window));
    EXPECT_EQ(launcher.window, GetForegroundWindow());
    EXPECT_EQ(0, window_gone(launcher.window));
    HWND own = own_plain_window();
    bring_to_front(own);
    pump_for(200);
    machine.set_foreground = foreground_refused;
    EXPECT_EQ(0, bring_to_front(launcher.window));
    machine = SYSTEM_QUERIES;
    pump_for(300);
    EXPECT_EQ(own, GetForegroundWindow());
    DestroyWindow(own);
}

TEST_F(Handling, WindowGoneWhenInvisibleOrDestroyed)
{
    ASSERT_EQ(1, start_launcher(&launcher, {}));
    HWND window = launcher.window;
    EXPECT_EQ(0, window_gone(window));
    ShowWindow(window, SW_HIDE);
    pump_for(100);
    EXPECT_EQ(1, window_gone(window));
    stop_launcher(&launcher);
    EXPECT_EQ(1, window_gone(window));
}

TEST_F(Handling, RestoreWithoutWindowUnhidesAllAndEndsHideMode)
{
    ASSERT_EQ(1, start_launcher(&launcher, {L"--windows", L"2"}));
    HWND own = own_plain_window();
    bring_to_front(own);
    pump_for(200);
    std::vector<HWND> windows = launcher_windows(&launcher);
    for (HWND window : windows)
        hide_window(window);
    hide_mode = 1;
    restore_windows(nullptr);
    for (HWND window : windows)
        EXPECT_EQ(0ULL, hidden_value(window));
    EXPECT_EQ(0, hide_mode);
    EXPECT_EQ(own, GetForegroundWindow());  // nothing brought forward
    DestroyWindow(own);
}

TEST_F(Handling, RestoreWithWindowBringsItForward)
{
    ASSERT_EQ(1, start_launcher(&launcher, {}));
    HWND own = own_plain_window();
    bring_to_front(own);
    pump_for(200);
    hide_window(launcher.window);
    hide_mode = 1;
    restore_windows(launcher.window);
    pump_for(300);
    EXPECT_EQ(0ULL, hidden_value(launcher.window));
    EXPECT_EQ(launcher.window, GetForegroundWindow());
    EXPECT_EQ(0, hide_mode);
    // A window that has gone: still ends hide mode, no crash.
    HWND gone = launcher.window;
    stop_launcher(&launcher);
    hide_mode = 1;
    restore_windows(gone);
    EXPECT_EQ(0, hide_mode);
    DestroyWindow(own);
}

}  // namespace

namespace {

// A launcher whose thread stopped taking messages: nothing may wait for it.
TEST_F(Handling, HungWindowIsLeftAloneAtOnce)
{
    ASSERT_EQ(1, start_launcher(&launcher, {L"--windows", L"2", L"--hang-after-ms", L"700"}));
    std::vector<HWND> windows = launcher_windows(&launcher);
    ASSERT_EQ(2u, windows.size());
    hide_window(windows[0]);  // hidden while it still answered
    ASSERT_NE(0ULL, hidden_value(windows[0]));
    pump_for(1200);
    EXPECT_EQ(0, window_answers(windows[1]));
    // Until Windows calls the thread hung (about 5 s without a message) it is
    // only busy, and showing waits for it.
    ULONGLONG until = GetTickCount64() + 10000;
    while (!IsHungAppWindow(windows[1]) && GetTickCount64() < until)
        pump_for(100);
    ASSERT_TRUE(IsHungAppWindow(windows[1]));

    ULONGLONG start = GetTickCount64();
    hide_window(windows[1]);
    unhide_window(windows[0]);
    EXPECT_EQ(0, bring_to_front(windows[1]));
    hide_mode = 1;
    restore_windows(windows[1]);
    ULONGLONG spent = GetTickCount64() - start;
    EXPECT_LT(spent, 1000u);  // Windows says it hung: no wait at all
    EXPECT_EQ(0ULL, hidden_value(windows[1]));   // never hidden
    EXPECT_NE(0ULL, hidden_value(windows[0]));   // cannot be shown without waiting
    EXPECT_EQ(255, alpha_of(windows[0]));        // but its opacity is back
    EXPECT_EQ(0, hide_mode);

    ChildResult result = run_tool_exe({L"minimize"}, 20000);
    EXPECT_EQ(0, result.timed_out);
    EXPECT_EQ("NOT_SHOWN hung\r\nMINIMIZED 0\r\n", result.output);
}

}  // namespace
