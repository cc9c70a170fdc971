// A launcher that is busy (its thread takes no message most of the time) must
// be shown again when a hide-mode run ends without a press, and by `show`; a
// hung one must not hold the tool past its bound. The real exe against the
// simulated launcher in its own process.
#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/simulated_launcher.h"
#include "windows/window_handling.h"

namespace {

struct BusyPattern {
    const wchar_t* busy_ms;
    const wchar_t* every_ms;
};
const BusyPattern BUSY_PATTERNS[] = {{L"900", L"1000"}, {L"2800", L"3000"}};

// What the tool may spend showing windows again, and what a Wine start and
// the search's last poll add.
const ULONGLONG SHOW_BOUND_MS = 6000;
const ULONGLONG SLACK_MS = 2500;

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
        ULONGLONG begun = GetTickCount64();
        ChildResult run = run_tool_exe({L"find", L"--hide", L"--timeout", L"3"}, 30000);
        ULONGLONG took = GetTickCount64() - begun;
        EXPECT_EQ(2, run.exit_code) << run.output;
        EXPECT_EQ("NOTFOUND", last_line(run.output));
        expect_shown_again(launcher.window, style_before, pattern.busy_ms);
        EXPECT_LT(took, 3000 + SHOW_BOUND_MS + SLACK_MS);
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

    ULONGLONG begun = GetTickCount64();
    ChildResult run = run_tool_exe({L"find", L"--hide", L"--timeout", L"3"}, 30000);
    ULONGLONG took = GetTickCount64() - begun;
    EXPECT_EQ(2, run.exit_code) << run.output;
    EXPECT_EQ("NOTFOUND", last_line(run.output));
    EXPECT_LT(took, 3000 + SHOW_BOUND_MS + SLACK_MS);
    EXPECT_NE(nullptr, GetPropW(window, HIDDEN_PROPERTY));
    EXPECT_EQ(255, alpha_of(window));  // the opacity needs no answer from the window

    ChildResult shown = run_tool_exe({L"show"}, 30000);
    EXPECT_EQ("SHOWN 1\r\n", shown.output);
    ULONGLONG end = GetTickCount64() + 15000;
    while (!answers_within(window, 200) && GetTickCount64() < end) {
    }
    shown = run_tool_exe({L"show"}, 30000);
    EXPECT_EQ("SHOWN 1\r\n", shown.output);
    expect_shown_again(window, style_before, L"after the hang");
}

}  // namespace
