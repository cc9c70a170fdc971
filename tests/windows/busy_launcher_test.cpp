// A launcher that is busy (its thread takes no message most of the time) must
// be shown again when a hide-mode run ends without a press, and by `show`; a
// hung one must not hold the tool past its bound. The real exe against the
// simulated launcher in its own process.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>

#include "support/child_process.h"
#include "support/run_bounds.h"
#include "support/simulated_launcher.h"
#include "support/tool_run.h"
#include "windows/window_handling.h"

namespace {

struct BusyPattern {
    const wchar_t* busy_ms;
    const wchar_t* every_ms;
};
const BusyPattern BUSY_PATTERNS[] = {{L"900", L"1000"}, {L"2800", L"3000"}};

int answers_within(HWND window, UINT ms)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, ms, &result) != 0;
}

// Hides the window from here, as an earlier run would have, trying until it
// takes the change between two stalls.
int hide_between_stalls(HWND window)
{
    ULONGLONG end = GetTickCount64() + 10000;
    while (!GetPropW(window, HIDDEN_PROPERTY) && GetTickCount64() < end)
        hide_window(window);
    return GetPropW(window, HIDDEN_PROPERTY) != nullptr;
}

// Returns just after a stall began, so that the tool meets the longest one.
int wait_for_stall(HWND window)
{
    ULONGLONG end = GetTickCount64() + 10000;
    while (GetTickCount64() < end)
        if (!answers_within(window, 30))
            return 1;
    return 0;
}

void expect_shown_again(HWND window, LONG_PTR style_before, const wchar_t* busy_ms)
{
    LONG_PTR style = GetWindowLongPtrW(window, GWL_EXSTYLE);
    EXPECT_EQ(nullptr, GetPropW(window, HIDDEN_PROPERTY)) << "busy " << narrow(busy_ms);
    EXPECT_EQ(style_before, style) << "busy " << narrow(busy_ms);
    if (style & WS_EX_LAYERED) {
        EXPECT_EQ(255, alpha_of(window)) << "busy " << narrow(busy_ms);
    }
}

std::string last_line(const std::string& output)
{
    std::vector<std::string> lines = output_lines(output);
    return lines.empty() ? std::string() : lines.back();
}

struct BusyLauncher : ::testing::Test {
    SimulatedLauncher launcher{};
    void TearDown() override { stop_launcher(&launcher); }
    // Starts a busy launcher without a Play button and hides it; 1 on success.
    int start_hidden(const BusyPattern& pattern, LONG_PTR* style_before)
    {
        if (!start_launcher(&launcher, {L"--no-button", L"--busy-ms", pattern.busy_ms, L"--busy-every-ms",
                                        pattern.every_ms}))
            return 0;
        *style_before = GetWindowLongPtrW(launcher.window, GWL_EXSTYLE);
        return hide_between_stalls(launcher.window) && wait_for_stall(launcher.window);
    }
};

TEST_F(BusyLauncher, FindInHideModeShowsItAgainBeforeNotFound)
{
    for (const BusyPattern& pattern : BUSY_PATTERNS) {
        LONG_PTR style_before = 0;
        ASSERT_EQ(1, start_hidden(pattern, &style_before));
        ChildResult run = run_tool_exe({L"find", L"--hide", L"--timeout", L"3"}, 30000);
        EXPECT_EQ(2, run.exit_code) << run.output;
        EXPECT_EQ("NOTFOUND", last_line(run.output));
        expect_shown_again(launcher.window, style_before, pattern.busy_ms);
        EXPECT_LE(run_ms(run.ticks), 3000 + RUN_END_BOUND_MS);
        stop_launcher(&launcher);
    }
}

TEST_F(BusyLauncher, ShowWaitsForItBeforeItsCount)
{
    for (const BusyPattern& pattern : BUSY_PATTERNS) {
        LONG_PTR style_before = 0;
        ASSERT_EQ(1, start_hidden(pattern, &style_before));
        ChildResult run = run_tool_exe({L"show"}, 30000);
        EXPECT_EQ(0, run.exit_code);
        EXPECT_EQ("SHOWN 1\r\n", run.output);
        expect_shown_again(launcher.window, style_before, pattern.busy_ms);
        stop_launcher(&launcher);
    }
}

// Hung past what Windows calls hung (5 s), then alive again: the run gives it
// up within its bound and keeps the mark, so a later `show` finishes the job.
TEST_F(BusyLauncher, HungIsGivenUpWithinTheBoundAndShownByALaterRun)
{
    ASSERT_EQ(1, start_launcher(&launcher, {L"--no-button", L"--hang-after-ms", L"1500", L"--hang-for-ms", L"9000"}));
    HWND window = launcher.window;
    LONG_PTR style_before = GetWindowLongPtrW(window, GWL_EXSTYLE);
    ASSERT_EQ(1, hide_between_stalls(window));
    ASSERT_EQ(1, wait_for_stall(window));

    ChildResult run = run_tool_exe({L"find", L"--hide", L"--timeout", L"3"}, 30000);
    EXPECT_EQ(2, run.exit_code) << run.output;
    EXPECT_EQ("NOTFOUND", last_line(run.output));
    EXPECT_LE(run_ms(run.ticks), 3000 + RUN_END_BOUND_MS);
    EXPECT_NE(nullptr, GetPropW(window, HIDDEN_PROPERTY));
    EXPECT_EQ(255, alpha_of(window));  // the opacity needs no answer from the window

    // Still hung: named, not claimed.
    ChildResult shown = run_tool_exe({L"show"}, 30000);
    EXPECT_EQ("NOT_SHOWN hung\r\nSHOWN 0\r\n", shown.output);
    ULONGLONG end = GetTickCount64() + 15000;
    while (!answers_within(window, 200) && GetTickCount64() < end) {
    }
    shown = run_tool_exe({L"show"}, 30000);
    EXPECT_EQ("SHOWN 1\r\n", shown.output);
    expect_shown_again(window, style_before, L"after the hang");
}


// The promises a caller acts on, checked at the moment they are made, against
// a launcher left hidden whose thread is busy for a long stretch (waiting on
// its queue, so Windows does not call it hung) from just before the run.
struct LongBusy : ::testing::Test {
    SimulatedLauncher launcher{};
    void TearDown() override { stop_launcher(&launcher); }
    // 1 once the launcher shows, hidden, and its busy stretch has begun.
    int start_busy(std::vector<std::wstring> arguments, const wchar_t* busy_ms)
    {
        arguments.insert(arguments.end(), {L"--start-hidden", L"--busy-not-hung", L"--hang-after-ms", L"300",
                                           L"--hang-for-ms", busy_ms});
        if (!start_launcher(&launcher, arguments))
            return 0;
        ULONGLONG end = GetTickCount64() + 10000;
        while (GetTickCount64() < end) {
            std::vector<std::string> log = launcher_log(&launcher);
            if (std::find(log.begin(), log.end(), "HANG") != log.end())
                return 1;
            Sleep(20);
        }
        return 0;
    }
};

struct LastLineCase {
    std::vector<std::wstring> tool_arguments;
    std::vector<std::wstring> launcher_arguments;
    const char* last_line_start;
};

// A caller may act on the run's last line at once: by then the windows must
// be shown again, not just about to be.
TEST_F(LongBusy, WindowsAreShownAgainWhenTheLastLineArrives)
{
    const LastLineCase cases[] = {
        {{L"find", L"--hide", L"--timeout", L"2"}, {L"--no-button"}, "NOTFOUND"},
        {{L"show"}, {L"--no-button"}, "SHOWN 1"},
        {{L"minimize"}, {L"--no-button"}, "MINIMIZED "},
    };
    for (const LastLineCase& c : cases) {
        ASSERT_EQ(1, start_busy(c.launcher_arguments, L"4000"));
        HWND window = launcher.window;
        LONG_PTR style_before = (LONG_PTR)((unsigned long long)(ULONG_PTR)GetPropW(window, HIDDEN_PROPERTY) & ~HIDDEN_MARK_BIT);
        int seen = 0;
        ToolRun run = run_tool_watched(c.tool_arguments, 30000, [&](const std::string& line, long long) {
            if (line.compare(0, strlen(c.last_line_start), c.last_line_start) != 0)
                return;
            seen = 1;
            expect_shown_again(window, style_before, L"4000");
        });
        EXPECT_EQ(1, seen) << c.last_line_start << "\n" << run.output;
        stop_launcher(&launcher);
    }
}

// Two windows of one busy thread: the second must not get a wait of its own
// after the first one's has run out.
TEST_F(LongBusy, AllWindowsOfARunShareOneWait)
{
    const LastLineCase cases[] = {
        {{L"show"}, {}, "SHOWN 0"},
        {{L"minimize"}, {}, "MINIMIZED "},
        {{L"find", L"--hide", L"--timeout", L"1"}, {}, "NOTFOUND"},
    };
    for (const LastLineCase& c : cases) {
        // Busy far longer than two waits.
        ASSERT_EQ(1, start_busy({L"--windows", L"2", L"--no-button"}, L"20000"));
        ToolRun run = run_tool_watched(c.tool_arguments, 60000);
        // One wait of 6 s fits the bound, two do not. show and minimize print
        // one line, their last: no line marks their start.
        int one_line = c.tool_arguments[0] != L"find";
        EXPECT_LE(run_ms(run.ticks, one_line), (one_line ? 0 : 1000) + RUN_END_BOUND_MS)
            << c.last_line_start << "\n" << run.output;
        EXPECT_EQ(0u, run.lines.empty() ? 1u : run.lines.back().find(c.last_line_start)) << run.output;
        stop_launcher(&launcher);
    }
}

}  // namespace
