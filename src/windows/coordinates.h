// The one coordinate rule. The tool works in physical screen pixels: its
// pictures, UI Automation's rectangles, SetCursorPos and SendInput. A
// message posted to a window carries that window's own client coordinates,
// which for a DPI-unaware or system-aware window on a scaled monitor are not
// physical: the point is converted here, with the window's DPI, and nowhere
// else.
#pragma once

#include <stdint.h>
#include <windows.h>

// What DPI_AWARENESS says of a window; AWARENESS_UNKNOWN where the system
// cannot tell (before Windows 10 1607).
enum WindowAwareness {
    AWARENESS_UNKNOWN = -1,
    AWARENESS_UNAWARE = 0,
    AWARENESS_SYSTEM = 1,
    AWARENESS_PER_MONITOR = 2,
};

// A window's scale: the DPI of the monitor it is on and the DPI it draws at
// (96 for an unaware window, the system's for a system-aware one, the
// monitor's for a per-monitor-aware one). 0 for a DPI the system cannot tell.
struct WindowScale {
    uint32_t monitor_dpi;
    uint32_t window_dpi;
    int awareness;
};

// Pure arithmetic, no system call.

// `value`, measured from `origin` in units of `from_dpi`, in units of
// `to_dpi` from the same origin, rounded down (towards minus infinity, so
// that a point left of or above the origin stays in its own pixel). Either
// DPI 0: the value as it is.
int32_t scale_coordinate(int32_t value, int32_t origin, uint32_t from_dpi, uint32_t to_dpi);
// 1 when every pixel of `area` lies on one of `count` monitor rectangles
// (which do not overlap, as Windows lays them out); an empty area is on them.
int area_on_monitors(RECT area, const RECT* monitors, int count);
// A mouse message's lParam: x in the low word, y in the high word, each the
// low 16 bits of a signed value (negative on a monitor left of or above the
// primary one).
uint32_t pack_client_point(int32_t x, int32_t y);
// A pixel's offset from the virtual screen's left (or top) edge as SendInput's
// absolute coordinate with MOUSEEVENTF_VIRTUALDESK (0 to 65535 across
// `extent` pixels), aimed at the pixel's centre so that the system's
// rounding lands on the pixel itself. 0 for an empty extent.
int32_t absolute_input_coordinate(int32_t offset, int32_t extent);

// The system's part. Every DPI function is looked up at run time (Windows
// 10 1607 has them all); without them nothing is converted.

// 1 with both DPIs known, else 0 (the record then says what is known).
int read_window_scale(HWND window, WindowScale* scale);
// A physical screen point in the window's own client coordinates: what the
// window would read from a real click there. Unchanged from ScreenToClient's
// physical answer when the window draws at its monitor's DPI (100 %, a
// per-monitor-aware window) or the DPIs cannot be read.
POINT window_client_point(HWND window, POINT screen);
// The lParam of a mouse message posted to `window` for a physical screen point.
LPARAM client_point_lparam(HWND window, POINT screen);
// The window's client size in its own units: the physical size scaled from
// the monitor's DPI to the window's. Unchanged when the two agree.
SIZE window_client_size(const WindowScale* scale, SIZE physical);
// 1 when the physical screen rectangle lies wholly on the monitors.
int screen_area_on_monitors(RECT area);
