// Speed of the green button detector against a plain read of the same
// bytes, and of one window capture under Wine.
//   bench_vision.exe
#include <windows.h>
#include <stdio.h>

#include <vector>

#include "press/clock.h"
#include "support/simulated_launcher.h"
#include "vision/capture.h"
#include "vision/green_button.h"
#include "vision/test_pictures.h"

namespace {

double now_ms()
{
    static LARGE_INTEGER frequency = {};
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
}

uint32_t noise(uint32_t* state)
{
    *state = *state * 1664525u + 1013904223u;
    return *state >> 24;
}

// The launcher's look: sky, a grassy landscape with noisy greens down to 65 %
// of the height, the dark bottom bar with text, the button and the marker.
void make_launcher_like(TestPicture* p, int32_t w, int32_t h)
{
    make_picture(p, w, h);
    uint32_t state = 12345;
    for (int32_t y = 0; y < h * 65 / 100; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            uint32_t n = noise(&state) % 24;
            uint32_t colour = y < h * 30 / 100 ? rgb(0x70 + n, 0xa0 + n, 0xe0)          // sky
                              : y < h * 50 / 100 ? rgb(0x40 + n, 0x80 + 3 * n, 0x30 + n)  // grass
                                                 : rgb(0x70 + n, 0x50 + n, 0x30 + n);   // dirt
            set_pixel(p, x, y, colour);
        }
    }
    for (int32_t i = 0; i < 12; ++i)  // text in the bar
        fill_rect(p, 40 + i * 90, h * 70 / 100, 110 + i * 90, h * 70 / 100 + 10, WHITE);
    int32_t bw = 300 * w / 1280, bh = 64 * h / 720;
    int32_t left = (w - bw) / 2, top = h - 120 * h / 720 - bh;
    draw_button(p, left, top, bw, bh);
    fill_rect(p, left - 40, top + bh / 2 - 6, left - 28, top + bh / 2 + 6, MARKER_PURPLE);
}

// The costliest kind of picture: the scanned part full of button-like green
// boxes with captions, 48 of them accepted as candidates and recounted.
void make_worst_case(TestPicture* p, int32_t w, int32_t h)
{
    make_picture(p, w, h);
    int32_t first = h * 45 / 100, rows = 6, columns = 8;
    int32_t cell_w = w / columns, cell_h = (h - first) / rows;
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < columns; ++c)
            draw_button(p, c * cell_w + 1, first + r * cell_h + 1, cell_w - 2, cell_h - 2,
                        rgb(0x10 + 10 * c, 0x60 + 30 * r, 0x20));  // rows 30 apart: no joining
}

// The floor: one plain pass that reads every byte of the scanned rows.
uint64_t read_scanned_part(const Capture* picture)
{
    int32_t first = picture->height * 45 / 100;
    const unsigned char* p = picture->pixels + (size_t)first * picture->width * 4;
    size_t count = (size_t)(picture->height - first) * picture->width;
    uint64_t sum = 0;
    for (size_t i = 0; i < count; ++i) {
        uint32_t value;
        memcpy(&value, p + i * 4, 4);
        sum += value;
    }
    return sum;
}

volatile uint64_t sink;

void bench_detector(const char* name, const TestPicture& picture)
{
    const Capture* c = &picture.capture;
    int runs = (int)(200000000LL / ((int64_t)c->width * c->height)) + 5;
    Rect box = {};
    uint32_t colour = 0;
    int found = 0;
    double best_detect = 1e30, best_floor = 1e30;
    // Alternate the two so that both see the same machine state; keep the
    // best of several rounds of each.
    for (int round = 0; round < 5; ++round) {
        double start = now_ms();
        for (int i = 0; i < runs; ++i)
            found += find_green_button(c, &box, &colour);
        double detect = (now_ms() - start) / runs;
        start = now_ms();
        for (int i = 0; i < runs; ++i)
            sink = sink + read_scanned_part(c);
        double floor = (now_ms() - start) / runs;
        best_detect = detect < best_detect ? detect : best_detect;
        best_floor = floor < best_floor ? floor : best_floor;
    }
    double megapixels = c->width * (double)c->height / 1e6;
    printf("find_green_button %-24s %5dx%-5d %8.3f ms/picture  floor %7.3f ms  ratio %5.2f  %6.3f ms/Mpixel  %s\n",
           name, c->width, c->height, best_detect, best_floor, best_detect / best_floor, best_detect / megapixels,
           found ? "found" : "none");
}

// A window of this process that paints a launcher-like scene on
// WM_PRINTCLIENT, so that PrintWindow's first try gives the picture.
TestPicture* window_scene;

LRESULT CALLBACK scene_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_PRINTCLIENT || message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = message == WM_PAINT ? BeginPaint(window, &ps) : (HDC)wparam;
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = window_scene->capture.width;
        info.bmiHeader.biHeight = -window_scene->capture.height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        SetDIBitsToDevice(dc, 0, 0, window_scene->capture.width, window_scene->capture.height, 0, 0, 0,
                          window_scene->capture.height, window_scene->bytes.data(), &info, DIB_RGB_COLORS);
        if (message == WM_PAINT)
            EndPaint(window, &ps);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

void bench_capture_own_window()
{
    TestPicture scene;
    make_launcher_like(&scene, 1280, 720);
    window_scene = &scene;
    WNDCLASSW kind = {};
    kind.lpfnWndProc = scene_procedure;
    kind.hInstance = GetModuleHandleW(nullptr);
    kind.lpszClassName = L"KV6BenchScene";
    RegisterClassW(&kind);
    HWND window = CreateWindowExW(0, L"KV6BenchScene", L"bench", WS_POPUP, 0, 0, 1280, 720, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ShowWindow(window, SW_SHOW);
    pump_for(100);
    const int runs = 30;
    int ok = 0;
    double start = now_ms();
    for (int i = 0; i < runs; ++i) {
        Capture picture;
        ok += capture_window(window, &picture);
        release_capture(&picture);
    }
    printf("capture_window own window 1280x720 (PrintWindow): %.2f ms per capture (%d/%d ok)\n",
           (now_ms() - start) / runs, ok, runs);
    DestroyWindow(window);
    pump_for(50);
}

void bench_capture_launcher()
{
    // The outer size that gives a 1280 x 720 client area.
    RECT outer = {0, 0, 1280, 720};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    SimulatedLauncher launcher;
    wchar_t width[16], height[16];
    swprintf(width, 16, L"%ld", outer.right - outer.left);
    swprintf(height, 16, L"%ld", outer.bottom - outer.top);
    if (!start_launcher(&launcher, {L"--x", L"0", L"--y", L"0", L"--width", width, L"--height", height})) {
        printf("capture_window launcher: could not start the simulated launcher\n");
        return;
    }
    RECT client;
    GetClientRect(launcher.window, &client);
    // Something else in front first, so that the first call waits.
    HWND other = CreateWindowExW(0, L"KV6BenchScene", L"other", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ShowWindow(other, SW_SHOW);
    SetForegroundWindow(other);
    pump_for(100);
    Capture picture;
    double start = now_ms();
    int ok = capture_window(launcher.window, &picture);
    double first = now_ms() - start;
    release_capture(&picture);
    const int runs = 20;
    start = now_ms();
    for (int i = 0; i < runs; ++i) {
        ok += capture_window(launcher.window, &picture);
        release_capture(&picture);
    }
    double later = (now_ms() - start) / runs;
    printf("capture_window launcher %ldx%ld (screen copy): first call %.1f ms (brought to the front, %d ms wait), "
           "later calls %.2f ms (already in front); %d/%d ok\n",
           client.right, client.bottom, first, (int)SCREEN_COPY_WAIT_MS, later, ok, runs + 1);
    DestroyWindow(other);
    stop_launcher(&launcher);
}

}  // namespace

int main()
{
    TestPicture picture;
    make_launcher_like(&picture, 1280, 720);
    bench_detector("launcher-like", picture);
    make_launcher_like(&picture, 1920, 1080);
    bench_detector("launcher-like", picture);
    for (int32_t scale = 1; scale <= 4; scale *= 2) {
        make_worst_case(&picture, 640 * scale, 360 * scale);
        bench_detector("worst (48 boxes)", picture);
    }
    bench_capture_own_window();
    bench_capture_launcher();
    return (int)(sink & 0);
}
