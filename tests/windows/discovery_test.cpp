// Discovery against real windows of simulated launcher processes.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/child_process.h"
#include "support/simulated_launcher.h"
#include "windows/discovery.h"

namespace {

int listed(const LauncherWindows& found, HWND window)
{
    return std::count(found.windows, found.windows + found.count, window) > 0;
}

struct Launchers : ::testing::Test {
    SimulatedLauncher first{}, second{};
    void TearDown() override
    {
        stop_launcher(&first);
        stop_launcher(&second);
    }
};

TEST(LauncherExeMatch, FileNamesAndFolders)
{
    struct Case {
        const wchar_t* path;
        int match;
    } cases[] = {
        {L"C:\\Program Files (x86)\\Minecraft Launcher\\MinecraftLauncher.exe", 1},
        {L"Z:\\build\\MINECRAFTLAUNCHER.EXE", 1},
        {L"MinecraftLauncher.exe", 1},
        {L"C:\\x\\MinecraftLauncher.exe.bak", 0},
        {L"C:\\Games\\MINECRAFT LAUNCHER\\Minecraft.exe", 1},
        {L"C:\\Program Files\\WindowsApps\\Microsoft.4297127D64EC6_1.0_x64\\Minecraft.exe", 1},
        {L"C:\\Games\\Minecraft.exe", 0},
        {L"C:\\Minecraft Launcher\\Other.exe", 0},
        {L"", 0},
        {L"C:\\dir\\", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.match, launcher_exe_match(c.path)) << narrow(c.path);
}

TEST(ProcessImagePath, ReadsOwnPathAndEmptiesOnFailure)
{
    wchar_t path[IMAGE_PATH_CAPACITY];
    ASSERT_EQ(1, process_image_path(GetCurrentProcessId(), path));
    EXPECT_NE(nullptr, wcsstr(path, L"windows_tests.exe"));
    wcscpy(path, L"stale");
    EXPECT_EQ(0, process_image_path(0xFFFFFFF0u, path));
    EXPECT_STREQ(L"", path);
}

TEST_F(Launchers, ExecutableNamesDecideAcceptance)
{
    struct Case {
        const wchar_t* exe;
        int accepted;
    } cases[] = {
        {L"MinecraftLauncher.exe", 1},
        {L"MINECRAFTLAUNCHER.EXE", 1},
        {L"Minecraft Launcher\\Minecraft.exe", 1},
        {L"Games\\Minecraft.exe", 0},
        {L"NotTheLauncher.exe", 0},  // titled "Minecraft Launcher", readable path: never
    };
    for (const Case& c : cases) {
        ASSERT_EQ(1, start_launcher(&first, {}, c.exe)) << narrow(c.exe);
        LauncherWindows found;
        HWND best = find_launcher_windows(&found);
        if (c.accepted) {
            EXPECT_EQ(first.window, best) << narrow(c.exe);
            EXPECT_EQ(1, found.count);
            EXPECT_EQ(1, found.best_exe_match);
            RECT r;
            GetWindowRect(first.window, &r);
            EXPECT_EQ((r.right - r.left) * (r.bottom - r.top), found.best_area);
        } else {
            EXPECT_EQ(nullptr, best) << narrow(c.exe);
            EXPECT_EQ(0, found.count);
        }
        stop_launcher(&first);
    }
}

TEST_F(Launchers, EmptyTitleIsNotAccepted)
{
    ASSERT_EQ(1, start_launcher(&first, {L"--title", L""}));
    LauncherWindows found;
    EXPECT_EQ(nullptr, find_launcher_windows(&found));
    EXPECT_EQ(0, found.count);
}

TEST_F(Launchers, SizeLimitsAre300By200)
{
    ASSERT_EQ(1, start_launcher(&first, {L"--width", L"299", L"--height", L"600", L"--no-button"}));
    ASSERT_EQ(1, start_launcher(&second, {L"--width", L"300", L"--height", L"200", L"--no-button"}));
    RECT r;
    GetWindowRect(first.window, &r);
    ASSERT_EQ(299, r.right - r.left);
    GetWindowRect(second.window, &r);
    ASSERT_EQ(300, r.right - r.left);
    ASSERT_EQ(200, r.bottom - r.top);
    LauncherWindows found;
    EXPECT_EQ(second.window, find_launcher_windows(&found));
    EXPECT_EQ(1, found.count);
    EXPECT_EQ(60000, found.best_area);
}

TEST_F(Launchers, MinimisedWindowCountsWithAreaOne)
{
    ASSERT_EQ(1, start_launcher(&first, {L"--minimized"}));
    LauncherWindows found;
    EXPECT_EQ(first.window, find_launcher_windows(&found));
    EXPECT_EQ(1, found.best_area);
    // A visible window of the same rank wins over it, wherever it stands.
    ASSERT_EQ(1, start_launcher(&second, {L"--width", L"400", L"--height", L"300"}));
    EXPECT_EQ(second.window, find_launcher_windows(&found));
    EXPECT_EQ(2, found.count);
    EXPECT_TRUE(listed(found, first.window));
}

TEST_F(Launchers, EqualAreasGoToTheTopOfTheZOrder)
{
    ASSERT_EQ(1, start_launcher(&first, {L"--windows", L"2"}));
    std::vector<HWND> windows = launcher_windows(&first);
    ASSERT_EQ(2u, windows.size());
    LauncherWindows found;
    EXPECT_EQ(windows[0], find_launcher_windows(&found));
    EXPECT_EQ(windows[0], found.windows[0]);
    EXPECT_EQ(windows[1], found.windows[1]);
}

TEST_F(Launchers, SeventeenthWindowIsNotListedButCanBeBest)
{
    // Window k is k * 10 pixels narrower and created later, so higher in Z
    // order: the widest, created first, is enumerated last.
    ASSERT_EQ(1, start_launcher(&first, {L"--windows", L"18", L"--shrink", L"10", L"--no-button",
                                         L"--width", L"600", L"--height", L"400"}));
    std::vector<HWND> windows = launcher_windows(&first);
    ASSERT_EQ(18u, windows.size());
    LauncherWindows found;
    HWND best = find_launcher_windows(&found);
    EXPECT_EQ(16, found.count);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(windows[i], found.windows[i]);
    EXPECT_EQ(windows[17], best);
    EXPECT_FALSE(listed(found, best));
    EXPECT_EQ(600 * 400, found.best_area);
}

}  // namespace
