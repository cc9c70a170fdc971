// The real tool against the simulated launcher in its own process. Wine has
// no UI Automation client, so every run here takes the pixel route.
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "press_harness.h"
#include "support/run_bounds.h"
#include "support/tool_run.h"

namespace {

// The pixel route waits 3000 ms after the window first shows; a press that
// nothing confirms costs 4500 ms per method.
const wchar_t* const SHORT_TIMEOUT = L"8";

struct LauncherRun : ::testing::Test {
    SimulatedLauncher launcher{};
    void TearDown() override { stop_launcher(&launcher); }
    void start(std::vector<std::wstring> arguments)
    {
        ASSERT_EQ(1, start_launcher(&launcher, arguments));
    }
    std::string found_line() { return expected_found_line(&launcher, "pixels", default_button_rect(launcher.window)); }
};

std::string game_line(unsigned long pid)
{
    return "GAME " + std::to_string(pid);
}

TEST_F(LauncherRun, PressStartsTheGameByPostedMessages)
{
    start({L"--marker"});
    ChildResult run = run_tool_exe({L"press", L"--timeout", SHORT_TIMEOUT});
    unsigned long pid = started_java_pid(&launcher);
    ASSERT_NE(0ul, pid) << joined(launcher_log(&launcher));
    std::vector<std::string> expected = {expected_window_line(&launcher), found_line(), "TRY message",
                                         game_line(pid), "PRESSED message", game_line(pid)};
    EXPECT_EQ(expected, output_lines(run.output));
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ(1u, log_lines_starting(&launcher, "CLICK posted").size());
}

TEST_F(LauncherRun, PressInHideModeLeavesTheWindowHiddenUntilShow)
{
    start({L"--marker"});
    ChildResult run = run_tool_exe({L"press", L"--hide", L"--timeout", SHORT_TIMEOUT});
    unsigned long pid = started_java_pid(&launcher);
    std::vector<std::string> expected = {expected_window_line(&launcher), found_line(), "TRY message",
                                         game_line(pid), "PRESSED message", game_line(pid)};
    EXPECT_EQ(expected, output_lines(run.output));
    EXPECT_EQ(0, run.exit_code);
    EXPECT_TRUE(holds_hidden_mark(launcher.window));

    ChildResult shown = run_tool_exe({L"show"});
    EXPECT_EQ(0, shown.exit_code);
    EXPECT_FALSE(holds_hidden_mark(launcher.window));
}

TEST_F(LauncherRun, LauncherDeafToPostedMessagesIsPressedByARealClick)
{
    start({L"--marker", L"--accept", L"real"});
    ChildResult run = run_tool_exe({L"press", L"--timeout", SHORT_TIMEOUT});
    std::vector<std::string> lines = output_lines(run.output);
    ASSERT_GE(lines.size(), 5u) << run.output;
    EXPECT_EQ("TRY message", lines[2]);
    EXPECT_EQ("TRY click", lines[3]);
    EXPECT_EQ(game_line(started_java_pid(&launcher)), lines[4]);
    EXPECT_EQ("PRESSED click", lines[5]);
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ(1u, log_lines_starting(&launcher, "CLICK real").size());
}

// A diagnosis file, under a temporary folder of this machine.
std::wstring diagnosis_path()
{
    wchar_t folder[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + L"kv6-e2e-diagnosis.txt";
}

// Writes `bytes` as the whole file; 1 on success.
int write_file_bytes(const std::wstring& path, const std::string& bytes)
{
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file)
        return 0;
    size_t written = fwrite(bytes.data(), 1, bytes.size(), file);
    return fclose(file) == 0 && written == bytes.size();
}

int file_exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// 1 when the BMP's pixels are not all one colour.
int picture_has_content(const std::string& bmp)
{
    for (size_t at = 58; at + 4 <= bmp.size(); at += 4)
        if (bmp.compare(at, 4, bmp, 54, 4) != 0)
            return 1;
    return 0;
}

TEST_F(LauncherRun, LauncherIgnoringEveryClickIsStuckAndShownAgain)
{
    // Under Wine a hidden window is copied as painted, so the picture alone
    // cannot tell when it was taken. The launcher tells, each time it is
    // shown again, whether the picture is there already.
    std::wstring diagnosis = diagnosis_path();
    DeleteFileW(diagnosis.c_str());
    DeleteFileW((diagnosis + L".bmp").c_str());
    start({L"--marker", L"--on-click", L"ignore", L"--watch-file", diagnosis + L".bmp"});
    // A java process of another program (this test's), started while the
    // press is confirmed, is no sign of the launcher's game.
    StartedGame stranger;
    ToolRun run = run_tool_watched({L"press", L"--hide", L"--timeout", SHORT_TIMEOUT, L"--diagnose", diagnosis}, 60000,
                                   [&](const std::string& line, long long) {
                                       if (line == "TRY message")
                                           start_game(&stranger);
                                   });
    ASSERT_NE(nullptr, stranger.process.hProcess) << "the stranger's java did not start";
    end_game(&stranger);
    std::vector<std::string> expected = {expected_window_line(&launcher), found_line(), "TRY message",
                                         "TRY click", "DIAGNOSIS " + narrow(diagnosis), "STUCK"};
    EXPECT_EQ(expected, run.lines);
    EXPECT_EQ(4, run.exit_code);
    // The run's own lines and the page as it was left, the picture taken
    // with the window shown again.
    std::string text = read_file_bytes(diagnosis);
    // The head gives where the client area was, for a replay to put the
    // simulated launcher's there.
    POINT origin = {0, 0};
    RECT client = {0, 0, 0, 0};
    ClientToScreen(launcher.window, &origin);
    GetClientRect(launcher.window, &client);
    std::string head = "#> command press --hide --timeout 8\r\n" +
                       format_line("#> client %ld %ld %ld %ld\r\n", origin.x, origin.y, client.right, client.bottom) +
                       "#> ";
    for (const std::string& part : {head, std::string(" TRY click\r\n"), std::string(" STUCK\r\n#> exit 4\r\n"),
                                    std::string("\r\nLOOKED button ")})
        EXPECT_NE(std::string::npos, text.find(part)) << part << " in\n" << text;
    EXPECT_TRUE(picture_has_content(read_file_bytes(diagnosis + L".bmp")));
    std::vector<std::string> shown = log_lines_starting(&launcher, "SHOWN");
    EXPECT_FALSE(shown.empty()) << joined(launcher_log(&launcher));
    for (const std::string& line : shown)
        EXPECT_EQ("SHOWN watched-file absent", line) << "the picture came before the window was shown again";
    DeleteFileW(diagnosis.c_str());
    DeleteFileW((diagnosis + L".bmp").c_str());
    EXPECT_FALSE(holds_hidden_mark(launcher.window));
    // Both methods reached the launcher: the click was real, not blocked.
    EXPECT_EQ(1u, log_lines_starting(&launcher, "CLICK posted").size());
    EXPECT_EQ(1u, log_lines_starting(&launcher, "CLICK real").size());
}

TEST_F(LauncherRun, LauncherClosingOnPlayConfirmsThePress)
{
    start({L"--marker", L"--on-click", L"close"});
    ULONGLONG started = GetTickCount64();
    ChildResult run = run_tool_exe({L"press", L"--timeout", SHORT_TIMEOUT});
    ULONGLONG took = GetTickCount64() - started;
    std::vector<std::string> expected = {expected_window_line(&launcher), found_line(), "TRY message",
                                         "PRESSED message"};
    EXPECT_EQ(expected, output_lines(run.output));
    EXPECT_EQ(0, run.exit_code);
    // The watch ends at its first poll: no 12 s wait for a game.
    EXPECT_LT(took, 9000u);
}

TEST_F(LauncherRun, ButtonWithoutTheProfileMarkerIsNotPressedAndShownAgain)
{
    start({});
    // A diagnosis whose text cannot be put in place leaves no new picture
    // beside the old one's, and the outcome stays as it is. FILE is a folder
    // here: a text that cannot be replaced (a read-only file can be, under
    // Wine as root).
    std::wstring diagnosis = diagnosis_path();
    DeleteFileW(diagnosis.c_str());
    ASSERT_TRUE(CreateDirectoryW(diagnosis.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_EQ(1, write_file_bytes(diagnosis + L".bmp", "old picture"));
    ChildResult run = run_tool_exe({L"press", L"--hide", L"--timeout", L"5", L"--diagnose", diagnosis});
    std::vector<std::string> expected = {expected_window_line(&launcher), "NOT_SELECTED",
                                         "ERROR couldn't write " + narrow(diagnosis), "NOTFOUND"};
    EXPECT_EQ(expected, output_lines(run.output));
    EXPECT_TRUE(read_file_bytes(diagnosis + L".bmp") == "old picture") << "the old picture stays";
    EXPECT_FALSE(file_exists(diagnosis + L".tmp"));
    EXPECT_FALSE(file_exists(diagnosis + L".bmp.tmp"));
    RemoveDirectoryW(diagnosis.c_str());
    DeleteFileW((diagnosis + L".bmp").c_str());
    EXPECT_EQ(2, run.exit_code);
    EXPECT_TRUE(log_lines_starting(&launcher, "CLICK").empty());
    EXPECT_FALSE(holds_hidden_mark(launcher.window));
}

TEST_F(LauncherRun, FindInHideModeReportsWithoutPressingAndShowsTheWindowAgain)
{
    start({L"--marker"});
    ChildResult run = run_tool_exe({L"find", L"--hide", L"--timeout", SHORT_TIMEOUT});
    std::vector<std::string> expected = {expected_window_line(&launcher), found_line()};
    EXPECT_EQ(expected, output_lines(run.output));
    EXPECT_EQ(0, run.exit_code);
    EXPECT_FALSE(holds_hidden_mark(launcher.window));
    EXPECT_TRUE(log_lines_starting(&launcher, "LBUTTON").empty());
}

// --- faults: the launcher dies or hangs under the tool -----------------------------

struct LauncherFault : LauncherRun {
    std::thread thread;
    ToolRun result;
    std::string awaited;
    volatile LONG awaited_seen = 0;
    // The tool in the background; the test kills the launcher once the tool
    // has printed a line starting with `awaited` (not at a time, which a
    // loaded machine would move).
    void run_in_background(std::vector<std::wstring> arguments, const char* kill_after)
    {
        awaited = kill_after;
        thread = std::thread([this, arguments]() {
            result = run_tool_watched(arguments, 40000, [this](const std::string& line, long long) {
                if (line.compare(0, awaited.size(), awaited) == 0)
                    InterlockedExchange(&awaited_seen, 1);
            });
        });
    }
    void kill_launcher(DWORD ms_after_line)
    {
        for (int i = 0; i < 800 && !awaited_seen; i++)
            Sleep(50);
        Sleep(ms_after_line);
        stop_launcher(&launcher);
    }
    // The run's time from its first line, as run_bounds.h counts it.
    long long finish()
    {
        if (thread.joinable())
            thread.join();
        return run_ms(result.ticks);
    }
};

TEST_F(LauncherFault, KilledWhileTheToolLooksEndsInNotFound)
{
    start({L"--marker"});
    HWND window = launcher.window;
    std::string window_seen = expected_window_line(&launcher);
    run_in_background({L"press", L"--hide", L"--timeout", L"4"}, "WINDOW ");
    kill_launcher(500);  // within the pixel route's 3000 ms grace
    long long took = finish();
    // The window went away: the wait for one is reported then.
    std::vector<std::string> expected = {window_seen, "WAITING window", "NOTFOUND"};
    EXPECT_EQ(expected, result.lines);
    EXPECT_EQ(2, result.exit_code);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_LT(took, 4000 + RUN_END_BOUND_MS);
}

TEST_F(LauncherFault, KilledWhileAPressIsConfirmedCountsAsPressed)
{
    start({L"--marker", L"--on-click", L"ignore"});
    std::string found = found_line();
    run_in_background({L"press", L"--hide", L"--timeout", SHORT_TIMEOUT}, "TRY message");
    kill_launcher(1000);  // the posted click came and changed nothing
    finish();
    ASSERT_EQ(4u, result.lines.size()) << result.output;
    EXPECT_EQ(found, result.lines[1]);
    EXPECT_EQ("TRY message", result.lines[2]);
    EXPECT_EQ("PRESSED message", result.lines[3]);  // the window went away
    EXPECT_EQ(0, result.exit_code);
}

TEST_F(LauncherFault, KilledWhileWatchedEndsTheWatch)
{
    start({L"--marker", L"--on-click", L"hide-button"});
    run_in_background({L"press", L"--timeout", SHORT_TIMEOUT}, "PRESSED ");
    kill_launcher(1000);  // watched for up to 12 s
    long long took = finish();
    ASSERT_EQ(4u, result.lines.size()) << result.output;
    EXPECT_EQ("PRESSED message", result.lines[3]);
    EXPECT_EQ(0, result.exit_code);
    // The watch ended with the window, long before its 12 s.
    EXPECT_LT(took, 8000 + RUN_END_BOUND_MS);
}

TEST_F(LauncherFault, LauncherThatStoppedAnsweringIsNeitherHiddenNorWaitedFor)
{
    // Stopped, but not reported hung (its thread waits without taking
    // anything): no race with Windows' 5 s verdict, which would take the
    // picture away.
    start({L"--marker", L"--hang-after-ms", L"300", L"--busy-not-hung"});
    HWND window = launcher.window;
    Sleep(1000);
    ToolRun run = run_tool_watched({L"press", L"--hide", L"--timeout", L"6"}, 40000);
    EXPECT_EQ(4, run.exit_code) << run.output;
    std::vector<std::string> expected = {expected_window_line(&launcher), found_line(), "TRY message", "TRY click",
                                         "STUCK"};
    EXPECT_EQ(expected, run.lines);
    EXPECT_FALSE(holds_hidden_mark(window));
    // Not waited for: after FOUND, two methods and the run's end, as bounded.
    if (run.lines.size() >= 2) {
        EXPECT_LE(run.wall_ms - run.line_ms[1], 2 * PRESS_METHOD_MS + RUN_END_BOUND_MS) << run.output;
    }
}

TEST_F(LauncherFault, LauncherThatHangsAfterTakingTheClickStillCountsAsPressed)
{
    start({L"--marker", L"--hang-on-click"});
    ChildResult run = run_tool_exe({L"press", L"--hide", L"--timeout", SHORT_TIMEOUT}, 40000);
    std::vector<std::string> lines = output_lines(run.output);
    ASSERT_EQ(6u, lines.size()) << run.output;
    EXPECT_EQ("PRESSED message", lines[4]);
    EXPECT_EQ(0, run.exit_code);
}

TEST(NoLauncher, WaitsThenGivesUpWithExitCode2)
{
    ULONGLONG started = GetTickCount64();
    ChildResult run = run_tool_exe({L"press", L"--timeout", L"1"});
    ULONGLONG took = GetTickCount64() - started;
    std::vector<std::string> expected = {"WAITING window", "NOTFOUND"};
    EXPECT_EQ(expected, output_lines(run.output));
    EXPECT_EQ(2, run.exit_code);
    EXPECT_GE(took, 1000u);
    EXPECT_LT(took, 4000u);
}

// A diagnosis that cannot be written says so in its place, just before the
// run's last line, which with the exit code stays as without it.
TEST(NoLauncher, DiagnosisSaysWhereItWasWrittenOrThatItCouldNotBe)
{
    struct Row {
        const char* what;
        std::wstring file;
        std::string line;  // before NOTFOUND
    };
    std::wstring folder_missing = L"Q:\\no\\such.txt";
    std::wstring long_name = L"Q:\\" + std::wstring(1013, L'd');  // 1,016 characters
    std::wstring longest = L"Q:\\" + std::wstring(1021, L'd');    // 1,024
    std::wstring writable = diagnosis_path();
    const Row rows[] = {
        {"a folder that is not there", folder_missing, "ERROR couldn't write Q:\\no\\such.txt"},
        {"too long for its picture's name", long_name, "ERROR couldn't write " + narrow(long_name)},
        // Beyond 1,023 UTF-8 bytes a text field is printed empty.
        {"1,024 characters", longest, "ERROR couldn't write "},
        {"a file that can be written", writable, "DIAGNOSIS " + narrow(writable)},
    };
    for (const Row& row : rows) {
        ChildResult run = run_tool_exe({L"press", L"--timeout", L"1", L"--diagnose", row.file});
        std::vector<std::string> expected = {"WAITING window", row.line, "NOTFOUND"};
        EXPECT_EQ(expected, output_lines(run.output)) << row.what;
        EXPECT_EQ(2, run.exit_code) << row.what;
    }
    // No window: no client line, and the file says why it holds no page.
    std::string text = read_file_bytes(writable);
    EXPECT_NE(std::string::npos, text.find("\r\n#> exit 2\r\n# no launcher window was found\r\n")) << text;
    EXPECT_EQ(std::string::npos, text.find("#> client")) << text;
    DeleteFileW(writable.c_str());
}

}  // namespace
