// What the system says about real launchers, where Wine shows it: a launcher
// whose windows are all hidden (and the tool's STATE line for it), a
// launcher run as administrator (elevated under Wine 10, beside a test that
// is not; Wine 8 runs every program elevated), high contrast off and a
// player at the desktop. Built into windows_tests (Wine 8) and uia_route
// (Wine 10).
#include <gtest/gtest.h>

#include <windows.h>

#include "support/simulated_launcher.h"
#include "support/tool_run.h"
#include "windows/discovery.h"
#include "windows/hidden_launcher.h"
#include "windows/machine_state.h"

namespace {

// 1 when this test runs elevated, as the tool would in its place.
int this_process_elevated()
{
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation = {0};
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return elevation.TokenIsElevated ? 1 : 0;
}

struct AnswerRow {
    const char* what;
    const wchar_t* exe;
    std::vector<std::wstring> arguments;
    int above_a_limited_tool;  // the launcher's elevation against a tool that is not elevated
    int hidden;                // hidden_launcher_process names it while its windows are hidden
};

TEST(MachineAnswers, RealLaunchersAsTheSystemSeesThem)
{
    const AnswerRow rows[] = {
        {"a plain launcher, shown", L"MinecraftLauncher.exe", {}, 0, 0},
        {"a launcher whose windows are all hidden", L"MinecraftLauncher.exe", {L"--show-after-ms", L"60000"}, 0, 1},
        {"another program's hidden windows", L"NotTheLauncher.exe", {L"--show-after-ms", L"60000"}, 0, 0},
        {"the launcher run as administrator", L"Elevated\\MinecraftLauncher.exe", {}, 1, 0},
    };
    int tool_elevated = this_process_elevated();
    for (const AnswerRow& row : rows) {
        SCOPED_TRACE(row.what);
        SimulatedLauncher launcher{};
        ASSERT_EQ(1, start_launcher(&launcher, row.arguments, row.exe));
        DWORD id = launcher.process.dwProcessId;
        EXPECT_EQ(row.hidden ? id : 0u, hidden_launcher_process());
        LauncherWindows found;
        HWND best = find_launcher_windows(&found);
        EXPECT_EQ(row.hidden || wcsstr(row.exe, L"Not") ? nullptr : launcher.window, best);
        int elevation = SYSTEM_QUERIES.launcher_elevation(id);
        EXPECT_EQ(row.above_a_limited_tool && !tool_elevated ? ELEVATION_ABOVE : ELEVATION_NOT_ABOVE, elevation)
            << (tool_elevated ? "this test runs elevated" : "this test runs limited");
        if (best) {
            EXPECT_NE(1, SYSTEM_QUERIES.window_cloaked(best));
        }
        stop_launcher(&launcher);
    }
    // A launcher that shows its window late: named while hidden, within the
    // tool's first pass, then found in its picture; no longer hidden once it
    // showed.
    SimulatedLauncher late{};
    ASSERT_EQ(1, start_launcher(&late, {L"--show-after-ms", L"2000", L"--marker"}));
    ToolRun run = run_tool_watched({L"find", L"--timeout", L"30"}, 90000);
    LauncherWindows found;
    EXPECT_NE(nullptr, find_launcher_windows(&found));
    EXPECT_EQ(0u, hidden_launcher_process());
    EXPECT_EQ(0, run.exit_code) << run.output;
    ASSERT_EQ(4u, run.lines.size()) << run.output;
    EXPECT_EQ("STATE launcher-hidden", run.lines[1]);
    EXPECT_LT(run.line_ms[1] - run.line_ms[0], 1000);
    EXPECT_EQ(0u, run.lines[2].rfind("WINDOW ", 0));
    EXPECT_EQ(0u, run.lines[3].rfind("FOUND pixels ", 0));
    stop_launcher(&late);
    // Nothing of the player's session keeps the tool from its work here.
    EXPECT_EQ(0, SYSTEM_QUERIES.high_contrast());
    EXPECT_NE(SESSION_AWAY, SYSTEM_QUERIES.session_presence());
    int activity = SYSTEM_QUERIES.player_activity();
    EXPECT_TRUE(activity == ACTIVITY_FREE || activity == ACTIVITY_UNKNOWN) << activity;
}

}  // namespace
