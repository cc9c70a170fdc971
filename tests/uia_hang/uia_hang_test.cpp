// Under Wine 10, whose UI Automation client waits for good on a provider
// whose thread has stopped: the simulated launcher serves a page and stops
// taking messages for good before or during the tool's scans, or in the
// middle of its click. Every run must still end within its bound with the
// last line and exit code the README gives, and leave no window hidden
// without its mark. Runs under tools/wine10-run.
#include <gtest/gtest.h>

#include <string.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/simulated_launcher.h"
#include "support/tool_run.h"
#include "windows/window_handling.h"

namespace {

const long long RUN_END_BOUND_MS = 8000;
const long long DUMP_BOUND_MS = 40000;
const long long START_SLACK_MS = 2000;  // a Wine start under load
// A found target: four press methods confirmed for up to 4.5 s each, then the watch.
const long long PRESS_MS = 4 * 4500;
const long long WATCH_MS = 12000;

std::wstring page_path(const char* file)
{
    return windows_path(std::string(KV6_PAGES_DIR) + "/" + file);
}

int launcher_stopped(const SimulatedLauncher& launcher)
{
    std::vector<std::string> log = launcher_log(&launcher);
    return std::find(log.begin(), log.end(), "HANG") != log.end();
}

void wait_until_stopped(const SimulatedLauncher& launcher)
{
    ULONGLONG end = GetTickCount64() + 10000;
    while (!launcher_stopped(launcher) && GetTickCount64() < end)
        Sleep(20);
}

int plainly_visible(HWND window)
{
    LONG_PTR style = GetWindowLongPtrW(window, GWL_EXSTYLE);
    return !GetPropW(window, HIDDEN_PROPERTY) && !(style & WS_EX_TRANSPARENT) &&
           (!(style & WS_EX_LAYERED) || alpha_of(window) == 255);
}

long long first_line_ms(const ToolRun& run, const char* start)
{
    for (size_t i = 0; i < run.lines.size(); i++)
        if (run.lines[i].compare(0, strlen(start), start) == 0)
            return run.line_ms[i];
    return -1;
}

void expect_no_window_lost(const SimulatedLauncher& launcher, const std::string& context)
{
    int stopped = launcher_stopped(launcher);
    for (HWND window : launcher_windows(&launcher))
        EXPECT_TRUE(plainly_visible(window) || (stopped && GetPropW(window, HIDDEN_PROPERTY))) << context;
}

struct StoppedProvider : ::testing::Test {
    SimulatedLauncher launcher{};
    void TearDown() override { stop_launcher(&launcher); }
};

struct FindCase {
    const char* name;
    const char* page;
    std::vector<std::wstring> launcher_arguments;
    int wait_for_stop;  // start the tool only once the thread has stopped
    int hide;
    const char* found_line;  // the ending by pixels, besides NOTFOUND (exit 2); null for none
};

// The UI Automation route is given up and the run goes on by pixels: the
// home page's Play has the profile's marker beside it, so a picture taken
// before Windows reports the launcher hung finds it (a hung launcher gives
// no picture); the other profile's Play has no marker.
TEST_F(StoppedProvider, FindEndsInItsBound)
{
    const char* home_by_pixels = "FOUND pixels 600 664 220 60";
    const FindCase cases[] = {
        {"stopped before the first scan", "home-en.page", {L"--hang-after-ms", L"300"}, 1, 0, home_by_pixels},
        {"stopped before the first scan, --hide", "home-en.page", {L"--hang-after-ms", L"300"}, 1, 1, home_by_pixels},
        {"stopped before the first scan, another profile", "other-profile.page", {L"--hang-after-ms", L"300"}, 1, 0,
         nullptr},
        // The scans of that page go on to the time-out.
        {"stopped during the scans", "other-profile.page", {L"--hang-after-ms", L"2500"}, 0, 0, nullptr},
    };
    for (const FindCase& c : cases) {
        std::vector<std::wstring> arguments = {L"--page", page_path(c.page)};
        arguments.insert(arguments.end(), c.launcher_arguments.begin(), c.launcher_arguments.end());
        ASSERT_EQ(1, start_launcher(&launcher, arguments)) << c.name;
        if (c.wait_for_stop)
            wait_until_stopped(launcher);
        std::vector<std::wstring> tool = {L"find", L"--timeout", L"6"};
        if (c.hide)
            tool.push_back(L"--hide");
        ToolRun run = run_tool_watched(tool, 6000 + RUN_END_BOUND_MS + 30000);
        std::string context = std::string(c.name) + ": the tool printed\n" + run.output;
        EXPECT_LE(run.wall_ms, 6000 + RUN_END_BOUND_MS + START_SLACK_MS) << context;
        std::string last = run.lines.empty() ? "" : run.lines.back();
        int found = c.found_line && last == c.found_line;
        EXPECT_TRUE(found || last == "NOTFOUND") << context;
        EXPECT_EQ(found ? 0 : 2, run.exit_code) << context;
        EXPECT_EQ("", run.errors) << context;
        EXPECT_TRUE(launcher_stopped(launcher)) << context;
        expect_no_window_lost(launcher, context);
        stop_launcher(&launcher);
    }
}

// The click's button down stops the thread: the confirmation that reads the
// page again meets the stopped provider.
TEST_F(StoppedProvider, PressStoppedInItsClickEndsInItsBound)
{
    ASSERT_EQ(1, start_launcher(&launcher, {L"--page", page_path("home-en.page"), L"--hang-on-button-down"}));
    ToolRun run = run_tool_watched({L"press", L"--hide", L"--timeout", L"20"}, 120000);
    std::string context = "the tool printed\n" + run.output;
    long long found = first_line_ms(run, "FOUND ");
    ASSERT_GE(found, 0) << context;
    int pressed = first_line_ms(run, "PRESSED ") >= 0;
    EXPECT_LE(run.wall_ms, found + PRESS_MS + (pressed ? WATCH_MS : 0) + RUN_END_BOUND_MS + START_SLACK_MS) << context;
    EXPECT_TRUE(run.exit_code == 0 || run.exit_code == 4) << context;
    EXPECT_EQ(run.exit_code == 4, !run.lines.empty() && run.lines.back() == "STUCK") << context;
    EXPECT_EQ("", run.errors) << context;
    if (!pressed)
        expect_no_window_lost(launcher, context);
}

TEST_F(StoppedProvider, DumpEndsInItsBound)
{
    ASSERT_EQ(1, start_launcher(&launcher, {L"--page", page_path("home-en.page"), L"--hang-after-ms", L"300"}));
    wait_until_stopped(launcher);
    ToolRun run = run_tool_watched({L"dump"}, DUMP_BOUND_MS + 30000);
    std::string context = "the tool printed\n" + run.output;
    EXPECT_LE(run.wall_ms, DUMP_BOUND_MS + START_SLACK_MS) << context;
    // Windows calls the launcher hung about 5 s after its last message: the
    // dump stops waiting then, not at its own 30 s cut.
    long long given_up_ms = first_line_ms(run, "UIA stopped answering after ");
    EXPECT_GE(given_up_ms, 0) << context;
    EXPECT_LT(given_up_ms, 20000) << context;
    EXPECT_EQ(0, run.exit_code) << context;
    EXPECT_EQ(0u, run.lines.empty() ? 1u : run.lines.back().find("LOOKED ")) << context;
    EXPECT_EQ("", run.errors) << context;
}

}  // namespace
