// Window capture under Wine. Wine cannot PrintWindow a window of another
// process (the picture comes back black), so the two PrintWindow tries are
// driven with windows of this process that paint on WM_PRINTCLIENT, and the
// screen copy with the simulated launcher in its own process.
#include <gtest/gtest.h>

#include <vector>

#include "press/clock.h"
#include "support/refused_calls.h"
#include "support/simulated_launcher.h"
#include "vision/capture.h"
#include "vision/comparisons.h"
#include "vision/green_button.h"
#include "windows/machine_now.h"
#include "windows/machine_state.h"

namespace {

const COLORREF SCENE_BACK = RGB(0x30, 0x60, 0x90);
const COLORREF SCENE_PATCH = RGB(0xe0, 0x20, 0x40);
const COLORREF BLOCKER_COLOUR = RGB(0xff, 0x00, 0xff);

// What a test window paints, and what it has been asked for.
struct TestWindow {
    HWND window;
    int black_print_calls;  // WM_PRINTCLIENT calls answered in black before the scene
    int print_calls;        // WM_PRINTCLIENT calls seen
    int flat;               // paint one colour only
    COLORREF colour;        // SCENE_BACK unless a blocker
};

void fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour)
{
    RECT r = {left, top, right, bottom};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

void paint_scene(HWND window, HDC dc, const TestWindow* state)
{
    RECT client;
    GetClientRect(window, &client);
    fill(dc, 0, 0, client.right, client.bottom, state->colour);
    if (!state->flat)
        fill(dc, 10, 10, 30, 25, SCENE_PATCH);
}

LRESULT CALLBACK test_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    TestWindow* state = (TestWindow*)GetWindowLongPtrW(window, GWLP_USERDATA);
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        if (state)
            paint_scene(window, dc, state);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        if (state) {
            state->print_calls += 1;
            RECT client;
            GetClientRect(window, &client);
            if (state->print_calls <= state->black_print_calls)
                fill((HDC)wparam, 0, 0, client.right, client.bottom, RGB(0, 0, 0));
            else
                paint_scene(window, (HDC)wparam, state);
        }
        return 0;
    case WM_ERASEBKGND:
        return 1;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// Hiding, destroying or moving a window off the screen costs Wine 2 s here
// (it waits for the X server to withdraw it), so the tests share two windows
// for the whole run, place them where each test wants them and park them in
// the screen's bottom-right corner, under everything, afterwards.
enum { TARGET_SLOT, BLOCKER_SLOT, WINDOW_SLOTS };
HWND window_pool[WINDOW_SLOTS];

// A borderless window, so that its client area is exactly the size given,
// shown on top of the others.
void open_window(TestWindow* state, int slot, int x, int y, int width, int height)
{
    static ATOM registered = 0;
    if (!registered) {
        WNDCLASSW kind = {};
        kind.lpfnWndProc = test_window_procedure;
        kind.hInstance = GetModuleHandleW(nullptr);
        kind.lpszClassName = L"KV6CaptureTest";
        kind.hCursor = LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW);
        registered = RegisterClassW(&kind);
    }
    if (!window_pool[slot]) {
        window_pool[slot] = CreateWindowExW(0, L"KV6CaptureTest", L"capture test", WS_POPUP, x, y, width, height,
                                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    state->window = window_pool[slot];
    SetWindowLongPtrW(state->window, GWLP_USERDATA, (LONG_PTR)state);
    SetWindowPos(state->window, HWND_TOP, x, y, width, height, SWP_SHOWWINDOW);
    InvalidateRect(state->window, nullptr, TRUE);
    UpdateWindow(state->window);
    pump_for(50);
}

// Out of the tests' way.
void close_window(TestWindow* state)
{
    if (!state->window)
        return;
    SetWindowLongPtrW(state->window, GWLP_USERDATA, 0);
    SetWindowPos(state->window, HWND_BOTTOM, 1900, 1060, 20, 20, SWP_NOACTIVATE);
    state->window = nullptr;
    pump_for(20);
}

// The sleep seam: counts the waits, lets the test act in them (another
// program taking the foreground), and pumps this thread's windows meanwhile.
struct WaitLog {
    int calls;
    uint32_t last_ms;
    HWND steal_foreground_to;
};
WaitLog wait_log;

void logging_sleeper(uint32_t milliseconds)
{
    wait_log.calls += 1;
    wait_log.last_ms = milliseconds;
    pump_for(milliseconds);
    if (wait_log.steal_foreground_to) {
        SetForegroundWindow(wait_log.steal_foreground_to);
        pump_for(50);
    }
}

uint32_t pixel_at(const Capture& picture, int x, int y)
{
    const unsigned char* p = picture.pixels + ((size_t)y * picture.width + x) * 4;
    return RGB(p[2], p[1], p[0]);
}

class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_sleeper = sleeper;
        sleeper = logging_sleeper;
        wait_log = WaitLog{0, 0, nullptr};
        // Garbage in the record: capture_window must empty it first.
        picture.width = 12345;
        picture.height = 678;
        picture.pixels = nullptr;
    }
    void TearDown() override
    {
        release_capture(&picture);
        sleeper = saved_sleeper;
        close_window(&target);
        close_window(&blocker);
    }
    void expect_scene(int width, int height)
    {
        ASSERT_NE(nullptr, picture.pixels);
        EXPECT_EQ(width, picture.width);
        EXPECT_EQ(height, picture.height);
        EXPECT_EQ(SCENE_BACK, pixel_at(picture, 5, 5));
        EXPECT_EQ(SCENE_PATCH, pixel_at(picture, 10, 10));
        EXPECT_EQ(SCENE_PATCH, pixel_at(picture, 29, 24));
        EXPECT_EQ(SCENE_BACK, pixel_at(picture, 30, 25));
        EXPECT_EQ(SCENE_BACK, pixel_at(picture, width - 1, height - 1));
    }
    void expect_empty()
    {
        EXPECT_EQ(0, picture.width);
        EXPECT_EQ(0, picture.height);
        EXPECT_EQ(nullptr, picture.pixels);
    }
    // The target at (100, 100), then a blocker over it in front.
    void open_target_behind_blocker(int black_print_calls)
    {
        target = TestWindow{nullptr, black_print_calls, 0, 0, SCENE_BACK};
        open_window(&target, TARGET_SLOT, 100, 100, 200, 150);
        blocker = TestWindow{nullptr, 0, 0, 1, BLOCKER_COLOUR};
        open_window(&blocker, BLOCKER_SLOT, 50, 50, 400, 300);
        SetForegroundWindow(blocker.window);
        pump_for(50);
        ASSERT_EQ(blocker.window, GetForegroundWindow());
    }

    Sleeper saved_sleeper;
    Capture picture;
    TestWindow target = {};
    TestWindow blocker = {};
};

TEST_F(CaptureTest, ClientAreaUnder50PixelsTakesNothing)
{
    struct Case {
        int width, height, result;
    } cases[] = {{49, 100, 0}, {100, 49, 0}, {50, 50, 1}};
    for (const Case& c : cases) {
        target = TestWindow{nullptr, 0, 0, 0, SCENE_BACK};
        open_window(&target, TARGET_SLOT, 100, 100, c.width, c.height);
        EXPECT_EQ(c.result, capture_window(target.window, &picture)) << c.width << "x" << c.height;
        // No device context was taken, so nothing was printed either.
        EXPECT_EQ(c.result, target.print_calls);
        EXPECT_EQ(0, wait_log.calls);
        if (!c.result)
            expect_empty();
        release_capture(&picture);
        close_window(&target);
    }
}

TEST_F(CaptureTest, FirstPrintedPictureIsUsedWithoutBringingTheWindowForward)
{
    open_target_behind_blocker(0);
    ASSERT_EQ(1, capture_window(target.window, &picture));
    expect_scene(200, 150);
    EXPECT_EQ(1, target.print_calls);
    EXPECT_EQ(0, wait_log.calls);
    EXPECT_EQ(blocker.window, GetForegroundWindow());
}

TEST_F(CaptureTest, SecondTryWhenTheFirstPictureIsFlat)
{
    open_target_behind_blocker(1);
    ASSERT_EQ(1, capture_window(target.window, &picture));
    expect_scene(200, 150);
    EXPECT_EQ(2, target.print_calls);
    EXPECT_EQ(0, wait_log.calls);
    EXPECT_EQ(blocker.window, GetForegroundWindow());
}

// Both printed pictures black: the window comes to the front, 350 ms pass,
// and the screen shows what it painted. Not where the screen is not the
// tool's to take (the window on another virtual desktop, the player away or
// in a full-screen game): nothing is brought forward or copied; nor when
// Windows refuses the foreground, which is not waited for.
TEST_F(CaptureTest, ScreenCopyWhenBothPrintedPicturesAreFlat)
{
    MachineNow plain = {}, cloaked = {}, away = {}, full_screen = {};
    cloaked.cloaked = 1;
    away.away = 1;
    full_screen.activity = ACTIVITY_FULL_SCREEN;
    struct Row {
        const char* what;
        MachineNow state;
        int refused, result;
    } rows[] = {
        {"the screen the tool's", plain, 0, 1},
        {"on another virtual desktop", cloaked, 0, 0},
        {"the player away", away, 0, 0},
        {"a full-screen game in front", full_screen, 0, 0},
        {"the foreground refused", plain, 1, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        open_target_behind_blocker(2);
        wait_log = WaitLog{0, 0, nullptr};
        machine_now = row.state;
        if (row.refused)
            machine.set_foreground = foreground_refused;
        EXPECT_EQ(row.result, capture_window(target.window, &picture));
        EXPECT_EQ(row.refused, machine_now.foreground_refused);
        machine = SYSTEM_QUERIES;
        start_machine_now();
        EXPECT_EQ(2, target.print_calls);
        EXPECT_EQ(row.result, wait_log.calls);
        if (row.result) {
            expect_scene(200, 150);
            EXPECT_EQ((uint32_t)SCREEN_COPY_WAIT_MS, wait_log.last_ms);
        }
        EXPECT_EQ(row.result ? target.window : blocker.window, GetForegroundWindow());
        release_capture(&picture);
        close_window(&blocker);
        close_window(&target);
    }
}

TEST_F(CaptureTest, NoWaitWhenTheWindowIsAlreadyInFront)
{
    target = TestWindow{nullptr, 2, 0, 0, SCENE_BACK};
    open_window(&target, TARGET_SLOT, 100, 100, 200, 150);
    SetForegroundWindow(target.window);
    pump_for(50);
    ASSERT_EQ(target.window, GetForegroundWindow());
    ASSERT_EQ(1, capture_window(target.window, &picture));
    expect_scene(200, 150);
    EXPECT_EQ(0, wait_log.calls);
}

// Another program takes the foreground back during the wait: nothing is
// copied, so none of its pixels pass for the window's.
TEST_F(CaptureTest, NoScreenCopyWhileAnotherWindowStaysInFront)
{
    open_target_behind_blocker(2);
    wait_log.steal_foreground_to = blocker.window;
    EXPECT_EQ(0, capture_window(target.window, &picture));
    expect_empty();
    EXPECT_EQ(1, wait_log.calls);
    release_capture(&picture);  // harmless after a failure
    expect_empty();
}

// The screen copy shows the launcher only where nothing topmost lies over
// its client area and every pixel of that area is on a monitor (a part off
// them copies black); else there is no picture. Both printed ones are black.
TEST_F(CaptureTest, ScreenCopyOnlyOfAClientAreaThatShowsAlone)
{
    const int right = GetSystemMetrics(SM_CXSCREEN), bottom = GetSystemMetrics(SM_CYSCREEN);
    enum { NO_BLOCKER, TOPMOST_OVER, TOPMOST_BESIDE };
    struct Row {
        const char* what;
        int x, y, blocker, result;
    } rows[] = {
        {"alone", 100, 100, NO_BLOCKER, 1},
        {"a topmost window over it", 100, 100, TOPMOST_OVER, 0},
        {"a topmost window beside it", 100, 100, TOPMOST_BESIDE, 1},
        {"partly off the right edge", right - 100, 100, NO_BLOCKER, 0},
        {"partly off the bottom", 100, bottom - 100, NO_BLOCKER, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        target = TestWindow{nullptr, 2, 0, 0, SCENE_BACK};
        open_window(&target, TARGET_SLOT, row.x, row.y, 200, 150);
        if (row.blocker != NO_BLOCKER) {
            blocker = TestWindow{nullptr, 0, 0, 1, BLOCKER_COLOUR};
            open_window(&blocker, BLOCKER_SLOT, row.blocker == TOPMOST_OVER ? 150 : 400, 150, 100, 80);
            SetWindowPos(blocker.window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
        SetForegroundWindow(target.window);
        pump_for(50);
        ASSERT_EQ(target.window, GetForegroundWindow());
        EXPECT_EQ(row.result, capture_window(target.window, &picture));
        if (row.result)
            expect_scene(200, 150);
        release_capture(&picture);
        if (blocker.window)
            SetWindowPos(blocker.window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        close_window(&blocker);
        close_window(&target);
    }
}

TEST_F(CaptureTest, OneColourOnTheScreenTooIsNoPicture)
{
    target = TestWindow{nullptr, 0, 0, 1, SCENE_BACK};
    open_window(&target, TARGET_SLOT, 100, 100, 200, 150);
    EXPECT_EQ(0, capture_window(target.window, &picture));
    expect_empty();
    EXPECT_EQ(2, target.print_calls);
    EXPECT_EQ(target.window, GetForegroundWindow());  // the side effect stays
}

TEST_F(CaptureTest, NoWindowIsNoPicture)
{
    EXPECT_EQ(0, capture_window(nullptr, &picture));
    expect_empty();
    HWND gone = (HWND)(ULONG_PTR)0x7ff0dead;  // no window has this handle
    ASSERT_FALSE(IsWindow(gone));
    EXPECT_EQ(0, capture_window(gone, &picture));
    expect_empty();
}

// The highest GDI handle-table slot (the handle's low 16 bits) among
// `count` new objects. Freed slots are used again first, so the mark only
// climbs when objects are kept.
uint32_t gdi_high_water(int count)
{
    std::vector<HBRUSH> brushes;
    uint32_t high = 0;
    for (int i = 0; i < count; ++i) {
        brushes.push_back(CreateSolidBrush(RGB(i & 255, 0, 0)));
        uint32_t slot = (uint32_t)((ULONG_PTR)brushes.back() & 0xffff);
        high = slot > high ? slot : high;
    }
    for (HBRUSH brush : brushes)
        DeleteObject(brush);
    return high;
}

// A capture that kept a device context or a bitmap would push the mark up
// by one slot per call or more.
TEST_F(CaptureTest, GivesBackEveryGdiObject)
{
    target = TestWindow{nullptr, 0, 0, 0, SCENE_BACK};
    open_window(&target, TARGET_SLOT, 100, 100, 60, 60);
    blocker = TestWindow{nullptr, 0, 0, 1, BLOCKER_COLOUR};
    open_window(&blocker, BLOCKER_SLOT, 300, 100, 60, 60);
    ASSERT_EQ(0, capture_window(blocker.window, &picture));  // brought forward once, before the count
    uint32_t before = gdi_high_water(400);
    for (int i = 0; i < 600; ++i) {
        ASSERT_EQ(1, capture_window(target.window, &picture)) << i;
        release_capture(&picture);
        // The failing path too: a flat window, in front already.
        ASSERT_EQ(0, capture_window(blocker.window, &picture)) << i;
    }
    EXPECT_LE(gdi_high_water(400), before);
}

// The launcher in its own process: Wine prints it black, so the screen is
// copied after it has been brought to the front.
TEST_F(CaptureTest, LauncherIsCopiedFromTheScreenAsPainted)
{
    sleeper = saved_sleeper;  // the real 350 ms
    blocker = TestWindow{nullptr, 0, 0, 1, BLOCKER_COLOUR};
    SimulatedLauncher launcher;
    ASSERT_EQ(1, start_launcher(&launcher, {L"--marker"}));
    open_window(&blocker, BLOCKER_SLOT, 0, 0, 1200, 900);
    SetForegroundWindow(blocker.window);
    pump_for(50);
    ASSERT_EQ(blocker.window, GetForegroundWindow());

    ASSERT_EQ(1, capture_window(launcher.window, &picture));
    EXPECT_EQ(launcher.window, GetForegroundWindow());
    RECT client;
    GetClientRect(launcher.window, &client);
    EXPECT_EQ(client.right, picture.width);
    EXPECT_EQ(client.bottom, picture.height);
    EXPECT_EQ(RGB(0x1b, 0x1d, 0x20), pixel_at(picture, 5, 5));
    // Nothing but the launcher's own colours: none of the window that was
    // in front, no frame, no black.
    int foreign = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            uint32_t c = pixel_at(picture, x, y);
            foreign += c != RGB(0x1b, 0x1d, 0x20) && c != RGB(0x27, 0x87, 0x3e) && c != RGB(0xff, 0xff, 0xff) &&
                       c != RGB(0xc8, 0x32, 0xc8);
        }
    EXPECT_EQ(0, foreign);
    RECT expected = default_button_rect(launcher.window);
    EXPECT_EQ(RGB(0x27, 0x87, 0x3e), pixel_at(picture, expected.left + 2, expected.top + 2));
    Rect box = {};
    uint32_t colour = 0;
    ASSERT_EQ(1, find_green_button(&picture, &box, &colour));
    EXPECT_EQ(expected.left, box.left);
    EXPECT_EQ(expected.top, box.top);
    EXPECT_EQ(expected.right, box.right);
    EXPECT_EQ(expected.bottom, box.bottom);
    EXPECT_EQ(0x27873eu, colour);
    EXPECT_EQ(1, has_profile_marker(&picture, box));
    stop_launcher(&launcher);
}

// A launcher Windows reports hung is still on screen as it last painted,
// in front; its picture is not taken.
TEST_F(CaptureTest, HungLauncherGivesNothing)
{
    SimulatedLauncher launcher;
    ASSERT_EQ(1, start_launcher(&launcher, {L"--marker", L"--hang-after-ms", L"300"}));
    SetForegroundWindow(launcher.window);
    for (int waits = 0; waits < 100 && !IsHungAppWindow(launcher.window); waits++)
        Sleep(100);  // Windows calls a thread hung after about 5 s
    ASSERT_TRUE(IsHungAppWindow(launcher.window));
    EXPECT_EQ(0, capture_window(launcher.window, &picture));
    expect_empty();
    stop_launcher(&launcher);
}

TEST_F(CaptureTest, LauncherKeptBehindAnotherWindowGivesNothing)
{
    SimulatedLauncher launcher;
    ASSERT_EQ(1, start_launcher(&launcher, {}));
    blocker = TestWindow{nullptr, 0, 0, 0, BLOCKER_COLOUR};  // not flat: its pixels would pass
    open_window(&blocker, BLOCKER_SLOT, 0, 0, 1200, 900);
    SetForegroundWindow(blocker.window);
    pump_for(50);
    wait_log.steal_foreground_to = blocker.window;
    EXPECT_EQ(0, capture_window(launcher.window, &picture));
    expect_empty();
    EXPECT_EQ(1, wait_log.calls);
    stop_launcher(&launcher);
}

}  // namespace
