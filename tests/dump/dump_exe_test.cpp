// The dump through the real tool against the simulated launcher. Wine has no
// UI Automation class, so the tool takes its no-automation road here; the
// element tree is covered in dump_tree_test.cpp with the test double.
#include <gtest/gtest.h>

#include <stdio.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/simulated_launcher.h"
#include "windows/discovery.h"

namespace {

std::string window_line(HWND window, HWND best)
{
    wchar_t class_name[128] = {0};
    wchar_t title[256] = {0};
    wchar_t path[IMAGE_PATH_CAPACITY] = {0};
    RECT r{0, 0, 0, 0};
    DWORD pid = 0;
    GetClassNameW(window, class_name, 128);
    GetWindowTextW(window, title, 256);
    GetWindowRect(window, &r);
    GetWindowThreadProcessId(window, &pid);
    process_image_path(pid, path);
    char numbers[100];
    snprintf(numbers, sizeof numbers, " %ld %ld %ld %ld ", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return "WINDOW " + narrow(class_name) + " \"" + narrow(title) + "\"" + numbers + narrow(path) +
           (window == best ? " (this one)" : "");
}

BOOL CALLBACK collect_child(HWND child, LPARAM param)
{
    wchar_t class_name[128] = {0};
    wchar_t text[128] = {0};
    RECT r{0, 0, 0, 0};
    GetClassNameW(child, class_name, 128);
    GetWindowTextW(child, text, 128);
    GetWindowRect(child, &r);
    char numbers[100];
    snprintf(numbers, sizeof numbers, " %ld %ld %ld %ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    ((std::vector<std::string>*)param)->push_back("  CHILD " + narrow(class_name) + " \"" + narrow(text) +
                                                  "\"" + numbers + (IsWindowVisible(child) ? "" : " hidden"));
    return TRUE;
}

std::vector<std::string> child_lines(HWND window)
{
    std::vector<std::string> lines;
    EnumChildWindows(window, collect_child, (LPARAM)&lines);
    return lines;
}

std::string looked_button_line(RECT box, const char* colour, const char* icon)
{
    char text[160];
    snprintf(text, sizeof text, "LOOKED button %ld %ld %ld %ld colour %s icon %s", box.left, box.top,
             box.right - box.left, box.bottom - box.top, colour, icon);
    return text;
}

std::vector<unsigned char> read_file(const std::wstring& path)
{
    std::string bytes = read_file_bytes(path);
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

int32_t little_endian_i32(const std::vector<unsigned char>& bytes, size_t at)
{
    return (int32_t)((uint32_t)bytes[at] | (uint32_t)bytes[at + 1] << 8 | (uint32_t)bytes[at + 2] << 16 |
                     (uint32_t)bytes[at + 3] << 24);
}

// 0xRRGGBB of a client pixel of a BMP written by the tool.
uint32_t bmp_pixel(const std::vector<unsigned char>& bytes, int width, int x, int y)
{
    size_t at = 54 + ((size_t)y * width + x) * 4;
    return (uint32_t)bytes[at + 2] << 16 | (uint32_t)bytes[at + 1] << 8 | bytes[at];
}

// A topmost window over the whole screen, owned by a thread that keeps
// pumping its messages: the launcher cannot come out from under it.
struct ScreenCover {
    std::thread thread;
    std::atomic<HWND> window{nullptr};
    std::atomic<int> done{0};

    void start()
    {
        thread = std::thread([this]() {
            WNDCLASSW cls;
            ZeroMemory(&cls, sizeof cls);
            cls.lpfnWndProc = DefWindowProcW;
            cls.hInstance = GetModuleHandleW(nullptr);
            cls.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
            cls.lpszClassName = L"KV6DumpTestCover";
            RegisterClassW(&cls);
            HWND cover = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, cls.lpszClassName, L"Cover",
                                         WS_POPUP | WS_VISIBLE, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                                         GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, cls.hInstance, nullptr);
            SetForegroundWindow(cover);
            window = cover;
            while (!done) {
                MSG message;
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                    DispatchMessageW(&message);
                Sleep(10);
            }
            DestroyWindow(cover);
        });
        for (int i = 0; i < 500 && !window; i++)
            Sleep(10);
        pump_for(200);
    }
    void stop()
    {
        done = 1;
        if (thread.joinable())
            thread.join();
    }
    ~ScreenCover() { stop(); }
};

class DumpExe : public ::testing::Test {
protected:
    SimulatedLauncher launcher{};
    int started = 0;

    void launch(const std::vector<std::wstring>& arguments)
    {
        started = start_launcher(&launcher, arguments);
        ASSERT_EQ(1, started);
        pump_for(300);  // let it paint before the screen is copied
    }
    void TearDown() override
    {
        if (started)
            stop_launcher(&launcher);
    }
};

}  // namespace

TEST_F(DumpExe, ReportsTheWindowItsNestedChildrenNoAutomationAndTheButton)
{
    launch({L"--children", L"2", L"--hidden-child"});
    ChildResult run = run_tool_exe({L"dump"});
    ASSERT_EQ(0, run.exit_code);
    std::vector<std::string> lines = output_lines(run.output);

    std::vector<std::string> expected{window_line(launcher.window, launcher.window)};
    std::vector<std::string> children = child_lines(launcher.window);
    ASSERT_EQ(3u, children.size());  // a chain of two and the hidden one
    expected.insert(expected.end(), children.begin(), children.end());
    // The lane's display is not scaled. Wine 8 calls every window
    // per-monitor aware, the DPI-unaware simulator's too: the awareness
    // is whatever the system says.
    ASSERT_GT(lines.size(), expected.size());
    EXPECT_EQ(0u, lines[expected.size()].find("DPI monitor 96 window 96 ")) << lines[expected.size()];
    expected.push_back(lines[expected.size()]);
    expected.push_back("UIA unavailable (0x80040154)");
    expected.push_back(looked_button_line(default_button_rect(launcher.window), "27873e", "no"));
    EXPECT_EQ(expected, lines);

    // The image path names the launcher's executable.
    EXPECT_NE(std::string::npos, lines[0].find("MinecraftLauncher.exe (this one)")) << lines[0];
    // Children of children keep the one indent; the invisible one says so.
    int hidden = 0;
    for (const std::string& line : children) {
        EXPECT_EQ(0u, line.find("  CHILD KV6Child \"")) << line;
        hidden += line.size() > 7 && line.compare(line.size() - 7, 7, " hidden") == 0;
    }
    EXPECT_EQ(1, hidden);
}

TEST_F(DumpExe, EveryListedWindowHasALineAndOnlyTheBestIsThisOne)
{
    launch({L"--windows", L"3", L"--y", L"60"});
    LauncherWindows found;
    HWND best = find_launcher_windows(&found);
    ASSERT_EQ(3, found.count);
    ChildResult run = run_tool_exe({L"dump", L"--shot", L"Z:\\no\\such\\folder\\x.bmp"});
    ASSERT_EQ(0, run.exit_code);
    std::vector<std::string> lines = output_lines(run.output);
    ASSERT_GE(lines.size(), 3u);
    int this_one = 0;
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(window_line(found.windows[i], best), lines[i]);
        this_one += lines[i].find(" (this one)") != std::string::npos;
    }
    EXPECT_EQ(1, this_one);
    // A file that cannot be made is reported by name, the exit code stays 0.
    EXPECT_EQ("ERROR couldn't write Z:\\no\\such\\folder\\x.bmp", lines.back());
}

TEST_F(DumpExe, TheButtonsBoxAndColourAndTheProfileMarkerBesideIt)
{
    struct Case {
        std::vector<std::wstring> arguments;
        RECT box;  // client pixels; left 0 wide: the default button
        const char* colour;
        const char* icon;
    };
    const Case cases[] = {
        {{L"--marker"}, RECT{0, 0, 0, 0}, "27873e", "yes"},
        {{L"--button", L"120,420,240,60", L"--button-colour", L"30a050"}, RECT{120, 420, 360, 480}, "30a050", "no"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.arguments[0]));
        launch(c.arguments);
        RECT box = c.box.right ? c.box : default_button_rect(launcher.window);
        ChildResult run = run_tool_exe({L"dump"});
        EXPECT_EQ(0, run.exit_code);
        std::vector<std::string> lines = output_lines(run.output);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(looked_button_line(box, c.colour, c.icon), lines.back());
        stop_launcher(&launcher);
        started = 0;
    }
}

TEST_F(DumpExe, NoGreenButtonIsSaidSo)
{
    // A blue button: the picture is not flat (a plain one counts as not seen),
    // but nothing in it is green.
    launch({L"--button-colour", L"3050c0"});
    ChildResult run = run_tool_exe({L"dump"});
    EXPECT_EQ(0, run.exit_code);
    std::vector<std::string> lines = output_lines(run.output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("LOOKED no button", lines.back());
}

TEST_F(DumpExe, ShotHoldsTheClientAreaTopRowFirst)
{
    launch({});
    std::wstring path = build_path(L"dump_exe_shot.bmp");
    DeleteFileW(path.c_str());
    ChildResult run = run_tool_exe({L"dump", L"--shot", path});
    EXPECT_EQ(0, run.exit_code);
    std::vector<unsigned char> bytes = read_file(path);
    DeleteFileW(path.c_str());

    RECT client{0, 0, 0, 0};
    GetClientRect(launcher.window, &client);
    const int width = client.right, height = client.bottom;
    ASSERT_EQ(54u + (size_t)width * height * 4, bytes.size()) << run.output;
    EXPECT_EQ('B', bytes[0]);
    EXPECT_EQ('M', bytes[1]);
    EXPECT_EQ((int32_t)bytes.size(), little_endian_i32(bytes, 2));
    EXPECT_EQ(width, little_endian_i32(bytes, 18));
    EXPECT_EQ(-height, little_endian_i32(bytes, 22));
    // The button sits low in the picture, the background above it: a file
    // stored bottom-up or with red and blue swapped fails here.
    RECT button = default_button_rect(launcher.window);
    EXPECT_EQ(0x27873eu, bmp_pixel(bytes, width, button.left + 2, button.top + 2));
    EXPECT_EQ(0x27873eu, bmp_pixel(bytes, width, button.right - 3, button.bottom - 3));
    EXPECT_EQ(0x1b1d20u, bmp_pixel(bytes, width, width - 3, 2));
    EXPECT_EQ(0x1b1d20u, bmp_pixel(bytes, width, button.left - 3, button.bottom - 3));
}

TEST_F(DumpExe, CoveredWindowIsNotSeenAndNoShotIsWritten)
{
    launch({});
    ScreenCover cover;
    cover.start();
    std::wstring path = build_path(L"dump_exe_covered.bmp");
    DeleteFileW(path.c_str());
    ChildResult run = run_tool_exe({L"dump", L"--shot", path});
    // A failed run's diagnosis without a picture says nowhere that the
    // picture was taken: no client line.
    std::wstring diagnosis = build_path(L"dump_exe_covered.diagnosis");
    ChildResult find = run_tool_exe({L"find", L"--timeout", L"1", L"--diagnose", diagnosis});
    cover.stop();
    EXPECT_EQ(0, run.exit_code);
    std::vector<std::string> lines = output_lines(run.output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("LOOKED couldn't see the window", lines.back());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));
    DeleteFileW(path.c_str());
    EXPECT_EQ(2, find.exit_code) << find.output;
    std::string text = read_file_bytes(diagnosis);
    EXPECT_NE(std::string::npos, text.find("\r\nLOOKED couldn't see the window\r\n")) << text;
    EXPECT_EQ(std::string::npos, text.find("#> client")) << text;
    // The scale is the window's, picture or none: a replay serves it so.
    EXPECT_NE(std::string::npos, text.find("\r\n#> dpi monitor 96 window 96 ")) << text;
    DeleteFileW(diagnosis.c_str());
    DeleteFileW((diagnosis + L".bmp").c_str());
}

TEST(DumpExeAlone, WithoutALauncherOnlyNotFoundAndExitCode2)
{
    std::wstring path = build_path(L"dump_exe_none.bmp");
    DeleteFileW(path.c_str());
    ChildResult run = run_tool_exe({L"dump", L"--shot", path});
    EXPECT_EQ(2, run.exit_code);
    EXPECT_EQ(std::vector<std::string>{"NOTFOUND"}, output_lines(run.output));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));
}
