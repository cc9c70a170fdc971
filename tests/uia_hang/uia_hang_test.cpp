// Under Wine 10, whose UI Automation client waits for good on a provider
// whose thread has stopped: the simulated launcher serves a page and stops
// taking messages for good before or during the tool's scans, or in the
// middle of its click. Every run must still end within its bound with the
// last line and exit code docs/calling.md gives, and leave no window hidden
// without its mark. Runs under tools/wine10-run.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/run_bounds.h"
#include "support/simulated_launcher.h"
#include "support/tool_run.h"
#include "windows/window_handling.h"

namespace {

// The bounds and where a run's time starts: support/run_bounds.h. A found
// target goes through four press methods (invoke, legacy, message, click).
const long long PRESS_MS = 4 * PRESS_METHOD_MS;

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

// A diagnosis file under this machine's temporary folder, without an old one.
std::wstring fresh_diagnosis_path()
{
    wchar_t folder[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, folder);
    std::wstring path = std::wstring(folder) + L"kv6-uia-hang.diagnosis";
    DeleteFileW(path.c_str());
    DeleteFileW((path + L".bmp").c_str());
    return path;
}

// The run's diagnosis came just before its last line, and holds the run's
// end as the tool gave it.
void expect_diagnosis(const ToolRun& run, const std::wstring& path, const std::string& context)
{
    ASSERT_GE(run.lines.size(), 2u) << context;
    EXPECT_EQ("DIAGNOSIS " + narrow(path), run.lines[run.lines.size() - 2]) << context;
    std::string text = read_file_bytes(path);
    EXPECT_NE(std::string::npos, text.find(" " + run.lines.back() + "\r\n#> exit " + std::to_string(run.exit_code) + "\r\n"))
        << context << "\nthe diagnosis holds\n" << text;
    DeleteFileW(path.c_str());
    DeleteFileW((path + L".bmp").c_str());
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
    // With --diagnose: how long after the run's time-out its DIAGNOSIS line
    // may come at most; 0 for a run without.
    long long diagnosis_ms;
};

// The UI Automation route is given up and the run goes on by pixels: the
// home page's Play has the profile's marker beside it, so a picture taken
// before Windows reports the launcher hung finds it (a hung launcher gives
// no picture); the other profile's Play has no marker.
TEST_F(StoppedProvider, FindEndsInItsBound)
{
    const char* home_by_pixels = "FOUND pixels 600 664 220 60";
    const long long diagnosed = RUN_END_BOUND_MS + DIAGNOSIS_BOUND_MS;
    const FindCase cases[] = {
        {"stopped before the first scan", "home-en.page", {L"--hang-after-ms", L"300"}, 1, 0, home_by_pixels, 0},
        {"stopped before the first scan, --hide", "home-en.page", {L"--hang-after-ms", L"300"}, 1, 1, home_by_pixels,
         0},
        {"stopped before the first scan, another profile", "other-profile.page", {L"--hang-after-ms", L"300"}, 1, 0,
         nullptr, 0},
        // The scans of that page go on to the time-out.
        {"stopped during the scans", "other-profile.page", {L"--hang-after-ms", L"2500"}, 0, 0, nullptr, 0},
        // With --diagnose, against a launcher stopped for good and one that
        // stalls for a while.
        {"stopped for good, --diagnose", "other-profile.page", {L"--hang-after-ms", L"300"}, 1, 0, nullptr,
         STUCK_DIAGNOSIS_MS},
        // Never reported hung: the time-out cuts the first scan short, and
        // the diagnosis must not wait on that call's launcher a second time.
        {"stopped for good, not reported hung, --diagnose", "other-profile.page",
         {L"--hang-after-ms", L"300", L"--busy-not-hung"}, 1, 0, nullptr, STUCK_DIAGNOSIS_MS},
        {"stalled for 3 s during the scans, --diagnose", "other-profile.page",
         {L"--hang-after-ms", L"1500", L"--hang-for-ms", L"3000"}, 0, 0, nullptr, diagnosed},
        // The first probe after 6 s is the diagnosis's own when the run's
        // end cut a scan short (the usual end under Wine 10): it answers,
        // then the diagnosis's UI Automation part meets a launcher stopped
        // for good that Windows does not call hung.
        {"stopped at the diagnosis's probe, not reported hung, --diagnose", "other-profile.page",
         {L"--hang-after-probe-ms", L"6000", L"--busy-not-hung"}, 0, 0, nullptr, diagnosed},
        // Or the probe before the windows are shown again, which then waits.
        {"stopped at the probe that shows it again, --hide --diagnose", "other-profile.page",
         {L"--hang-after-probe-ms", L"6000", L"--busy-not-hung"}, 0, 1, nullptr, diagnosed},
        {"busy stalls, --hide --diagnose", "other-profile.page", {L"--stalls", L"7,100,4000"}, 0, 1, nullptr,
         diagnosed},
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
        std::wstring diagnosis = fresh_diagnosis_path();
        if (c.diagnosis_ms) {
            tool.push_back(L"--diagnose");
            tool.push_back(diagnosis);
        }
        long long bound = 6000 + RUN_END_BOUND_MS + (c.diagnosis_ms ? DIAGNOSIS_BOUND_MS : 0);
        ToolRun run = run_tool_watched(tool, bound + 30000);
        std::string context = std::string(c.name) + ": the tool printed\n" + run.output;
        printf("%s: %lld ms from the first line (bound %lld), %lld ms in all\n", c.name, run_ms(run.ticks), bound,
               run.wall_ms);
        EXPECT_LE(run_ms(run.ticks), bound) << context;
        std::string last = run.lines.empty() ? "" : run.lines.back();
        int found = c.found_line && last == c.found_line;
        EXPECT_TRUE(found || last == "NOTFOUND") << context;
        EXPECT_EQ(found ? 0 : 2, run.exit_code) << context;
        EXPECT_EQ("", run.errors) << context;
        if (c.diagnosis_ms) {
            // The run's time-out starts before its first line, its WINDOW line.
            EXPECT_GE(first_line_ms(run, "WINDOW "), 0) << context;
            long long diagnosed_at = first_line_ms(run, "DIAGNOSIS ");
            EXPECT_GE(diagnosed_at, 0) << context;
            diagnosed_at = run_ms_of(run.ticks, diagnosed_at);
            EXPECT_LE(diagnosed_at, 6000 + c.diagnosis_ms) << context;
            printf("  DIAGNOSIS %lld ms after the time-out (bound %lld)\n", diagnosed_at - 6000, c.diagnosis_ms);
            expect_diagnosis(run, diagnosis, context);
        }
        // A stop after a probe depends on the run's course.
        if (c.launcher_arguments[0] == L"--hang-after-ms") {
            EXPECT_TRUE(launcher_stopped(launcher)) << context;
        }
        expect_no_window_lost(launcher, context);
        stop_launcher(&launcher);
    }
}

struct PressCase {
    const char* name;
    std::vector<std::wstring> launcher_arguments;  // besides the page and --hang-on-button-down
    int diagnose;
};

// The click's button down stops the thread: the confirmation that reads the
// page again meets the stopped provider.
TEST_F(StoppedProvider, PressStoppedInItsClickEndsInItsBound)
{
    const PressCase cases[] = {
        {"stopped for good", {}, 0},
        {"stopped for good, --diagnose", {}, 1},
        {"stalled for 8 s, --diagnose", {L"--hang-for-ms", L"8000"}, 1},
    };
    for (const PressCase& c : cases) {
        std::vector<std::wstring> arguments = {L"--page", page_path("home-en.page"), L"--hang-on-button-down"};
        arguments.insert(arguments.end(), c.launcher_arguments.begin(), c.launcher_arguments.end());
        ASSERT_EQ(1, start_launcher(&launcher, arguments)) << c.name;
        std::vector<std::wstring> tool = {L"press", L"--hide", L"--timeout", L"20"};
        std::wstring diagnosis = fresh_diagnosis_path();
        if (c.diagnose) {
            tool.push_back(L"--diagnose");
            tool.push_back(diagnosis);
        }
        ToolRun run = run_tool_watched(tool, 150000);
        std::string context = std::string(c.name) + ": the tool printed\n" + run.output;
        long long found = first_line_ms(run, "FOUND ");
        ASSERT_GE(found, 0) << context;
        int pressed = first_line_ms(run, "PRESSED ") >= 0;
        long long bound = run_ms_of(run.ticks, found) + PRESS_MS + (pressed ? WATCH_MS : 0) + RUN_END_BOUND_MS +
                          (c.diagnose && !pressed ? DIAGNOSIS_BOUND_MS : 0);
        EXPECT_LE(run_ms(run.ticks), bound) << context;
        printf("%s: %lld ms from the first line (bound %lld), %lld ms in all, %s\n", c.name, run_ms(run.ticks), bound,
               run.wall_ms, run.lines.empty() ? "" : run.lines.back().c_str());
        EXPECT_TRUE(run.exit_code == 0 || run.exit_code == 4) << context;
        EXPECT_EQ(run.exit_code == 4, !run.lines.empty() && run.lines.back() == "STUCK") << context;
        EXPECT_EQ("", run.errors) << context;
        if (c.diagnose && run.exit_code == 4)
            expect_diagnosis(run, diagnosis, context);
        if (!pressed)
            expect_no_window_lost(launcher, context);
        stop_launcher(&launcher);
    }
}

TEST_F(StoppedProvider, DumpEndsInItsBound)
{
    ASSERT_EQ(1, start_launcher(&launcher, {L"--page", page_path("home-en.page"), L"--hang-after-ms", L"300"}));
    wait_until_stopped(launcher);
    ToolRun run = run_tool_watched({L"dump"}, DUMP_BOUND_MS + 30000);
    std::string context = "the tool printed\n" + run.output;
    EXPECT_LE(run_ms(run.ticks), DUMP_BOUND_MS) << context;
    // The dump stops waiting when Windows calls the launcher hung, not at its own cut.
    long long given_up_ms = first_line_ms(run, "UIA stopped answering after ");
    EXPECT_GE(given_up_ms, 0) << context;
    EXPECT_LT(run_ms_of(run.ticks, given_up_ms), DUMP_GIVES_UP_HUNG_MS) << context;
    EXPECT_EQ(0, run.exit_code) << context;
    EXPECT_EQ(0u, run.lines.empty() ? 1u : run.lines.back().find("LOOKED ")) << context;
    EXPECT_EQ("", run.errors) << context;
}

}  // namespace
