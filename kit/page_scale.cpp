#include "page_scale.h"

#include <string.h>

namespace {

typedef BOOL(WINAPI* SetProcessContextCall)(HANDLE);
typedef UINT(WINAPI* DpiForWindowCall)(HWND);
typedef BOOL(WINAPI* PointConversionCall)(HWND, POINT*);
typedef HANDLE(WINAPI* WindowContextCall)(HWND);
typedef HANDLE(WINAPI* SetThreadContextCall)(HANDLE);

int served_dpi = 96;
int source_dpi = 96;  // the DPI the page's own units were taken at

template <class Call>
Call user32_function(const char* name)
{
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    FARPROC found = user32 ? GetProcAddress(user32, name) : nullptr;
    Call call;
    static_assert(sizeof call == sizeof found, "function pointer sizes differ");
    memcpy(&call, &found, sizeof found);
    return call;
}

}  // namespace

int become_per_monitor_aware()
{
    SetProcessContextCall set_context = user32_function<SetProcessContextCall>("SetProcessDpiAwarenessContext");
    return set_context && set_context((HANDLE)(LONG_PTR)-4);  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
}

int window_dpi(HWND window)
{
    DpiForWindowCall dpi_for_window = user32_function<DpiForWindowCall>("GetDpiForWindow");
    UINT dpi = dpi_for_window ? dpi_for_window(window) : 0;
    return dpi ? (int)dpi : 96;
}

void set_page_dpi(int dpi)
{
    served_dpi = dpi > 0 ? dpi : 96;
}

int page_dpi()
{
    return served_dpi;
}

void set_page_source_dpi(int dpi)
{
    source_dpi = dpi > 0 ? dpi : 96;
}

int page_units_are_window_units()
{
    return served_dpi == source_dpi;
}

int to_window_units(int value)
{
    return served_dpi == source_dpi ? value : MulDiv(value, served_dpi, source_dpi);
}

int to_page_units(int value)
{
    return served_dpi == source_dpi ? value : MulDiv(value, source_dpi, served_dpi);
}

RECT physical_screen_rect(HWND window, RECT own)
{
    static PointConversionCall to_physical =
        user32_function<PointConversionCall>("LogicalToPhysicalPointForPerMonitorDPI");
    // The system converts only points on the window (Wine 10 refuses the
    // others): its corners give the stretch, which then places any point.
    RECT frame;
    if (!to_physical || !GetWindowRect(window, &frame) || frame.right <= frame.left || frame.bottom <= frame.top)
        return own;
    POINT top_left = {frame.left, frame.top}, bottom_right = {frame.right, frame.bottom};
    if (!to_physical(window, &top_left) || !to_physical(window, &bottom_right))
        return own;
    int own_width = (int)(frame.right - frame.left), own_height = (int)(frame.bottom - frame.top);
    int width = (int)(bottom_right.x - top_left.x), height = (int)(bottom_right.y - top_left.y);
    return RECT{top_left.x + MulDiv((int)(own.left - frame.left), width, own_width),
                top_left.y + MulDiv((int)(own.top - frame.top), height, own_height),
                top_left.x + MulDiv((int)(own.right - frame.left), width, own_width),
                top_left.y + MulDiv((int)(own.bottom - frame.top), height, own_height)};
}

HANDLE take_window_awareness(HWND window)
{
    static WindowContextCall window_context = user32_function<WindowContextCall>("GetWindowDpiAwarenessContext");
    static SetThreadContextCall set_context = user32_function<SetThreadContextCall>("SetThreadDpiAwarenessContext");
    HANDLE wanted = window_context ? window_context(window) : nullptr;
    return wanted && set_context ? set_context(wanted) : nullptr;
}

void restore_awareness(HANDLE previous)
{
    static SetThreadContextCall set_context = user32_function<SetThreadContextCall>("SetThreadDpiAwarenessContext");
    if (previous && set_context)
        set_context(previous);
}
