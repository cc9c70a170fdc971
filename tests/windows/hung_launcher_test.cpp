// A launcher whose thread answers the tool's probe and stops for good right
// after it: the window calls that follow a probe (the style, the show state,
// the redraw, the foreground) would wait for it for ever. Every command must
// still end within its bound, with its usual last line and exit code, and
// leave each window plainly visible or hidden with its mark kept. The real
// exe against the simulated launcher in its own process.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/child_process.h"
#include "support/run_bounds.h"
#include "support/simulated_launcher.h"
#include "support/tool_run.h"
#include "windows/window_handling.h"

namespace {

struct ProbeHang {
    const char* name;
    std::vector<std::wstring> tool_arguments;
    std::vector<std::wstring> launcher_arguments;
    int exit_code;
    const char* last_line_start;
    long long normal_end_ms;
};

const ProbeHang PROBE_HANGS[] = {
    {"show, launcher left hidden", {L"show"}, {L"--start-hidden", L"--hang-after-probe-ms", L"0"}, 0, "SHOWN 0", 0},
    {"minimize, launcher left hidden", {L"minimize"}, {L"--start-hidden", L"--hang-after-probe-ms", L"0"}, 0,
     "MINIMIZED ", 0},
    // The first probe is the one before the first hiding.
    {"find --hide, at the hiding", {L"find", L"--hide", L"--timeout", L"3"}, {L"--no-button", L"--hang-after-probe-ms", L"0"},
     2, "NOTFOUND", 3000},
    // A later probe: before bringing the window forward for a picture.
    {"find --hide, at a capture", {L"find", L"--hide", L"--timeout", L"5"}, {L"--no-button", L"--hang-after-probe-ms", L"1500"},
     2, "NOTFOUND", 5000},
};

// Plainly visible: no mark, not click-through, at full opacity if layered.
// None of these reads waits for the window's thread.
int plainly_visible(HWND window)
{
    LONG_PTR style = GetWindowLongPtrW(window, GWL_EXSTYLE);
    return !GetPropW(window, HIDDEN_PROPERTY) && !(style & WS_EX_TRANSPARENT) &&
           (!(style & WS_EX_LAYERED) || alpha_of(window) == 255);
}

struct HungAfterProbe : ::testing::Test {
    SimulatedLauncher launcher{};
    // A stopped launcher never ends by itself: end it whatever failed.
    void TearDown() override { stop_launcher(&launcher); }
};

TEST_F(HungAfterProbe, EveryCommandEndsInItsBoundAndLosesNoWindow)
{
    for (const ProbeHang& hang : PROBE_HANGS) {
        ASSERT_EQ(1, start_launcher(&launcher, hang.launcher_arguments)) << hang.name;
        ToolRun run = run_tool_watched(hang.tool_arguments, hang.normal_end_ms + RUN_END_BOUND_MS + 15000);
        std::string context = std::string(hang.name) + ": the tool printed\n" + run.output;
        // show and minimize print one line, their last: no line marks their start.
        int one_line = hang.tool_arguments[0] != L"find";
        EXPECT_LE(run_ms(run.ticks, one_line), hang.normal_end_ms + RUN_END_BOUND_MS) << context;
        EXPECT_EQ(hang.exit_code, run.exit_code) << context;
        EXPECT_EQ(0u, run.lines.empty() ? 1u : run.lines.back().find(hang.last_line_start)) << context;
        EXPECT_EQ("", run.errors) << context;
        std::vector<std::string> log = launcher_log(&launcher);
        int stopped = std::find(log.begin(), log.end(), "HANG") != log.end();
        for (HWND window : launcher_windows(&launcher)) {
            // A window the tool could not show again, because the launcher
            // stopped, keeps the mark, for a later run to finish the job.
            EXPECT_TRUE(plainly_visible(window) || (stopped && GetPropW(window, HIDDEN_PROPERTY))) << context;
        }
        stop_launcher(&launcher);
    }
}

}  // namespace
