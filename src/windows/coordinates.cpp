// Physical screen pixels and a window's own coordinates (see coordinates.h).
#include "windows/coordinates.h"

#include <string.h>

enum {
    MONITOR_EFFECTIVE_DPI = 0,  // MDT_EFFECTIVE_DPI
    MONITOR_CAPACITY = 16,          // more than any desk has; beyond, the area counts as on them
};

typedef UINT(WINAPI* DpiForWindowCall)(HWND);
typedef HANDLE(WINAPI* WindowContextCall)(HWND);  // returns a DPI_AWARENESS_CONTEXT
typedef int(WINAPI* AwarenessOfContextCall)(HANDLE);
typedef HRESULT(WINAPI* DpiForMonitorCall)(HMONITOR, int, UINT*, UINT*);

struct DpiFunctions {
    DpiForWindowCall dpi_for_window;
    WindowContextCall window_context;
    AwarenessOfContextCall awareness_of_context;
    DpiForMonitorCall dpi_for_monitor;
};

template <class Call>
static void look_up(HMODULE module, const char* name, Call* call)
{
    FARPROC found = module ? GetProcAddress(module, name) : nullptr;
    static_assert(sizeof *call == sizeof found, "function pointer sizes differ");
    memcpy(call, &found, sizeof found);
}

static DpiFunctions look_up_dpi_functions()
{
    DpiFunctions functions;
    memset(&functions, 0, sizeof functions);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    look_up(user32, "GetDpiForWindow", &functions.dpi_for_window);
    look_up(user32, "GetWindowDpiAwarenessContext", &functions.window_context);
    look_up(user32, "GetAwarenessFromDpiAwarenessContext", &functions.awareness_of_context);
    // From System32 only; kept loaded for the process's life.
    HMODULE shcore = LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    look_up(shcore, "GetDpiForMonitor", &functions.dpi_for_monitor);
    return functions;
}

static const DpiFunctions& dpi_functions()
{
    static const DpiFunctions functions = look_up_dpi_functions();
    return functions;
}

int32_t scale_coordinate(int32_t value, int32_t origin, uint32_t from_dpi, uint32_t to_dpi)
{
    if (from_dpi == 0 || to_dpi == 0 || from_dpi == to_dpi)
        return value;
    int64_t scaled = ((int64_t)value - origin) * (int64_t)to_dpi;
    int64_t whole = scaled / (int64_t)from_dpi;
    if (scaled % (int64_t)from_dpi != 0 && scaled < 0)
        whole -= 1;
    return (int32_t)(origin + whole);
}

int area_on_monitors(RECT area, const RECT* monitors, int count)
{
    if (area.right <= area.left || area.bottom <= area.top)
        return 1;
    int64_t wanted = ((int64_t)area.right - area.left) * ((int64_t)area.bottom - area.top);
    int64_t covered = 0;
    for (int i = 0; i < count; i++) {
        int64_t left = area.left > monitors[i].left ? area.left : monitors[i].left;
        int64_t right = area.right < monitors[i].right ? area.right : monitors[i].right;
        int64_t top = area.top > monitors[i].top ? area.top : monitors[i].top;
        int64_t bottom = area.bottom < monitors[i].bottom ? area.bottom : monitors[i].bottom;
        if (right > left && bottom > top)
            covered += (right - left) * (bottom - top);
    }
    return covered >= wanted;
}

uint32_t pack_client_point(int32_t x, int32_t y)
{
    return ((uint32_t)x & 0xFFFFu) | ((uint32_t)y << 16);
}

int32_t absolute_input_coordinate(int32_t offset, int32_t extent)
{
    if (extent <= 0)
        return 0;
    int64_t scaled = ((2 * (int64_t)offset + 1) * 65536) / (2 * (int64_t)extent);
    return scaled < 0 ? 0 : scaled > 65535 ? 65535 : (int32_t)scaled;
}

int read_window_scale(HWND window, WindowScale* scale)
{
    scale->monitor_dpi = 0;
    scale->window_dpi = 0;
    scale->awareness = AWARENESS_UNKNOWN;
    const DpiFunctions& functions = dpi_functions();
    if (functions.window_context && functions.awareness_of_context) {
        HANDLE context = functions.window_context(window);
        int awareness = context ? functions.awareness_of_context(context) : AWARENESS_UNKNOWN;
        if (awareness >= AWARENESS_UNAWARE && awareness <= AWARENESS_PER_MONITOR)
            scale->awareness = awareness;
    }
    if (functions.dpi_for_window)
        scale->window_dpi = functions.dpi_for_window(window);
    HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    UINT x = 0, y = 0;
    if (monitor && functions.dpi_for_monitor &&
        SUCCEEDED(functions.dpi_for_monitor(monitor, MONITOR_EFFECTIVE_DPI, &x, &y)))
        scale->monitor_dpi = x;
    return scale->monitor_dpi != 0 && scale->window_dpi != 0;
}

POINT window_client_point(HWND window, POINT screen)
{
    // The tool is per-monitor aware: this is the physical offset from the
    // client area's physical corner.
    POINT local = screen;
    ScreenToClient(window, &local);
    WindowScale scale;
    if (!read_window_scale(window, &scale) || scale.window_dpi == scale.monitor_dpi)
        return local;
    // The system stretches the window's own pixels to the monitor's; a
    // posted message is not rescaled, so it must carry the window's units.
    local.x = scale_coordinate(local.x, 0, scale.monitor_dpi, scale.window_dpi);
    local.y = scale_coordinate(local.y, 0, scale.monitor_dpi, scale.window_dpi);
    return local;
}

LPARAM client_point_lparam(HWND window, POINT screen)
{
    POINT local = window_client_point(window, screen);
    return (LPARAM)pack_client_point(local.x, local.y);
}

SIZE window_client_size(const WindowScale* scale, SIZE physical)
{
    SIZE own = physical;
    own.cx = scale_coordinate(physical.cx, 0, scale->monitor_dpi, scale->window_dpi);
    own.cy = scale_coordinate(physical.cy, 0, scale->monitor_dpi, scale->window_dpi);
    return own;
}

struct MonitorList {
    RECT rects[MONITOR_CAPACITY];
    int count;
    int overflow;
};

static BOOL CALLBACK collect_monitor(HMONITOR monitor, HDC, LPRECT, LPARAM list_pointer)
{
    MonitorList* list = (MonitorList*)list_pointer;
    MONITORINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info))
        return TRUE;
    if (list->count >= MONITOR_CAPACITY) {
        list->overflow = 1;
        return FALSE;
    }
    list->rects[list->count++] = info.rcMonitor;
    return TRUE;
}

int screen_area_on_monitors(RECT area)
{
    MonitorList list;
    memset(&list, 0, sizeof list);
    // A desk the system cannot list is taken as it is.
    if (!EnumDisplayMonitors(nullptr, nullptr, collect_monitor, (LPARAM)&list) || list.overflow ||
        list.count == 0)
        return 1;
    return area_on_monitors(area, list.rects, list.count);
}
