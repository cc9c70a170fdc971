// minimize, show and close through the real exe against simulated launchers.
#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/simulated_launcher.h"
#include "windows/window_handling.h"

namespace {

struct Commands : ::testing::Test {
    SimulatedLauncher first{}, second{};
    void TearDown() override
    {
        stop_launcher(&first);
        stop_launcher(&second);
    }
};

int is_hidden(HWND window)
{
    return GetPropW(window, HIDDEN_PROPERTY) != nullptr;
}

TEST_F(Commands, MinimizeCountsOnlyWhatItMinimisedAndUnhidesAll)
{
    ASSERT_EQ(1, start_launcher(&first, {}));
    ASSERT_EQ(1, start_launcher(&second, {L"--minimized"}));
    hide_window(first.window);
    hide_window(second.window);
    ChildResult result = run_tool_exe({L"minimize"});
    EXPECT_EQ(0, result.exit_code);
    EXPECT_EQ("MINIMIZED 1\r\n", result.output);
    pump_for(200);
    EXPECT_TRUE(IsIconic(first.window));
    EXPECT_TRUE(IsIconic(second.window));
    EXPECT_FALSE(is_hidden(first.window));
    EXPECT_FALSE(is_hidden(second.window));
}

TEST_F(Commands, ShowUnhidesRestoresAndBringsTheBestForward)
{
    ASSERT_EQ(1, start_launcher(&first, {L"--windows", L"2", L"--minimized"}));
    std::vector<HWND> windows = launcher_windows(&first);
    ASSERT_EQ(2u, windows.size());
    for (HWND window : windows)
        hide_window(window);  // as an earlier --hide run would leave them
    ChildResult result = run_tool_exe({L"show"});
    EXPECT_EQ(0, result.exit_code);
    EXPECT_EQ("SHOWN 2\r\n", result.output);
    pump_for(300);
    for (HWND window : windows)
        EXPECT_FALSE(is_hidden(window));
    // Equal areas (both minimised): the best is the top of the Z order.
    EXPECT_FALSE(IsIconic(windows[0]));
    EXPECT_EQ(windows[0], GetForegroundWindow());
}

TEST_F(Commands, CloseUnhidesAndAsksEachWindowToClose)
{
    ASSERT_EQ(1, start_launcher(&first, {}));
    ASSERT_EQ(1, start_launcher(&second, {}));
    hide_window(first.window);
    ChildResult result = run_tool_exe({L"close"});
    EXPECT_EQ(0, result.exit_code);
    EXPECT_EQ("CLOSED 2\r\n", result.output);
    DWORD waited = WaitForSingleObject(first.process.hProcess, 5000);
    EXPECT_EQ(WAIT_OBJECT_0, waited);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second.process.hProcess, 5000));
    std::vector<std::string> log = launcher_log(&first);
    EXPECT_NE(log.end(), std::find(log.begin(), log.end(), "CLOSE"));
}

// The system keeps the hiding's style (as it refuses a launcher of higher
// integrity): no command claims the window shown, and the mark stays for a
// later run to try again.
TEST_F(Commands, AWindowThatStaysHiddenIsNamedNotCounted)
{
    ASSERT_EQ(1, start_launcher(&first, {L"--refuse-show"}));
    ASSERT_EQ(1, start_launcher(&second, {}));
    hide_window(first.window);
    hide_window(second.window);
    ChildResult show = run_tool_exe({L"show"});
    EXPECT_EQ(0, show.exit_code);
    EXPECT_EQ("NOT_SHOWN refused\r\nSHOWN 1\r\n", show.output);
    EXPECT_TRUE(is_hidden(first.window));
    EXPECT_FALSE(is_hidden(second.window));
    EXPECT_EQ("NOT_SHOWN refused\r\nMINIMIZED 2\r\n", run_tool_exe({L"minimize"}).output);
    EXPECT_TRUE(is_hidden(first.window));
}

TEST(CommandsWithoutLauncher, ReportZeroAndSucceed)
{
    EXPECT_EQ("MINIMIZED 0\r\n", run_tool_exe({L"minimize"}).output);
    ChildResult show = run_tool_exe({L"show", L"--hide"});
    EXPECT_EQ(0, show.exit_code);
    EXPECT_EQ("SHOWN 0\r\n", show.output);
    EXPECT_EQ("CLOSED 0\r\n", run_tool_exe({L"close"}).output);
}

}  // namespace
