// The java process watch with real processes of the dummy game.
#include <gtest/gtest.h>

#include "support/child_process.h"
#include "windows/java_watch.h"

namespace {

struct Process {
    PROCESS_INFORMATION info{};
    DWORD start(const wchar_t* exe, int ms)
    {
        std::wstring path = build_path(exe);
        std::wstring command = quote_argument(path) + L" " + std::to_wstring(ms);
        std::vector<wchar_t> line(command.begin(), command.end());
        line.push_back(0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!create_process(path.c_str(), line.data(), FALSE, 0, &startup, &info))
            return 0;
        return info.dwProcessId;
    }
    void stop()
    {
        if (!info.hProcess)
            return;
        TerminateProcess(info.hProcess, 0);
        WaitForSingleObject(info.hProcess, 5000);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
        info = PROCESS_INFORMATION{};
    }
    ~Process() { stop(); }
};

// The plain window of this process stands for the launcher's: a java
// process this test starts is then the launcher's game.
struct JavaWatch : ::testing::Test {
    HWND launcher = nullptr;
    void SetUp() override
    {
        launcher = CreateWindowExW(0, L"STATIC", L"launcher", WS_OVERLAPPED, 0, 0, 400, 300, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
    }
    void TearDown() override { DestroyWindow(launcher); }
};

TEST(JavaFileNames, OnlyJavaAndJavawInAnyCase)
{
    EXPECT_EQ(1, is_java_file_name(L"javaw.exe"));
    EXPECT_EQ(1, is_java_file_name(L"JAVA.EXE"));
    EXPECT_EQ(1, is_java_file_name(L"Javaw.Exe"));
    EXPECT_EQ(0, is_java_file_name(L"javaw64.exe"));
    EXPECT_EQ(0, is_java_file_name(L"java"));
    EXPECT_EQ(0, is_java_file_name(L"myjava.exe"));
    EXPECT_EQ(0, is_java_file_name(L""));
}

TEST_F(JavaWatch, ALaterProcessOfTheLauncherIsNamedARunningOneNeverAnUnrelatedOneNever)
{
    Process early;
    DWORD early_pid = early.start(L"javaw.exe", 20000);
    ASSERT_NE(0u, early_pid);
    Sleep(200);
    record_java_baseline();
    EXPECT_EQ(0u, new_game_process(launcher));

    Process late;
    DWORD late_pid = late.start(L"javaw.exe", 20000);
    ASSERT_NE(0u, late_pid);
    Sleep(200);
    EXPECT_EQ(late_pid, new_game_process(launcher));
    EXPECT_EQ(late_pid, new_game_process(launcher));  // the baseline does not change
    // Pressing another launcher (no window: only images discovery accepts),
    // this process's java is a stranger's.
    EXPECT_EQ(0u, new_game_process(nullptr));

    late.stop();
    early.stop();
    Sleep(100);
    EXPECT_EQ(0u, new_game_process(launcher));
}

TEST_F(JavaWatch, CapitalJavaCountsJavaw64DoesNot)
{
    record_java_baseline();
    Process other;
    ASSERT_NE(0u, other.start(L"javaw64.exe", 20000));
    Sleep(200);
    EXPECT_EQ(0u, new_game_process(launcher));
    Process capital;
    DWORD pid = capital.start(L"JAVA.EXE", 20000);
    ASSERT_NE(0u, pid);
    Sleep(200);
    EXPECT_EQ(pid, new_game_process(launcher));
}

// The rule on made-up process trees. Process 10 is the launcher; times are
// FILETIME units, the run began at 1000, the tool runs in session 1.
struct GameCase {
    const char* what;
    std::vector<ProcessRow> rows;
    int game;  // index of the row named, or -1
};

int launcher_test(const ProcessRow* row, void*)
{
    return row->pid == 10;
}

TEST(GameProcess, OnlyTheLaunchersNewJavaInTheToolsSessionIsTheGame)
{
    const DWORD J = 1, S = 1;  // java; the tool's session
    const ProcessRow L = {10, 4, 0, 500, S, 1};  // the launcher
    const GameCase cases[] = {
        {"the launcher's child", {L, {20, 10, J, 1500, S, 1}}, 1},
        {"through a runtime's starter", {L, {15, 10, 0, 1200, S, 1}, {20, 15, J, 1500, S, 1}}, 2},
        {"running when the run began", {L, {30, 10, J, 1500, S, 1}}, -1},
        {"created before the run began", {L, {20, 10, J, 900, S, 1}}, -1},
        {"another session", {L, {20, 10, J, 1500, 2, 1}}, -1},
        {"session unread", {L, {20, 10, J, 1500, S, 0}}, -1},
        {"an IDE's", {L, {11, 4, 0, 600, S, 1}, {20, 11, J, 1500, S, 1}}, -1},
        {"the parent's id reused by the launcher", {{10, 4, 0, 2000, S, 1}, {20, 10, J, 1500, S, 1}}, -1},
        {"a parent whose time is unread", {{15, 10, 0, 0, S, 1}, L, {20, 15, J, 1500, S, 1}}, -1},
        {"its own parent", {{20, 20, J, 1500, S, 1}}, -1},
        {"the stranger first, the game second", {{20, 11, J, 1500, S, 1}, {11, 4, 0, 600, S, 1}, L, {21, 10, J, 1600, S, 1}}, 3},
    };
    JavaBaseline baseline{};
    baseline.count = 1;
    baseline.pids[0] = 30;
    baseline.run_started = 1000;
    baseline.session = S;
    for (const GameCase& c : cases)
        EXPECT_EQ(c.game, game_process_among(c.rows.data(), (int)c.rows.size(), &baseline, launcher_test, nullptr))
            << c.what;
    // Parents past the climb's bound are not looked at.
    std::vector<ProcessRow> deep = {L};
    for (DWORD pid = 100; pid < 100 + MAX_PARENT_STEPS; pid++)
        deep.push_back({pid, pid == 100 ? 10u : pid - 1, 0, 600, S, 1});
    deep.push_back({20, deep.back().pid, J, 1500, S, 1});
    EXPECT_EQ(-1, game_process_among(deep.data(), (int)deep.size(), &baseline, launcher_test, nullptr));
    deep.erase(deep.begin() + 1);
    deep[1].parent = 10;
    EXPECT_EQ((int)deep.size() - 1, game_process_among(deep.data(), (int)deep.size(), &baseline, launcher_test, nullptr));
}

}  // namespace
