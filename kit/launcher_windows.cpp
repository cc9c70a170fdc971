// The simulated launcher's windows and their procedures.
#include "launcher_windows.h"

#include <stdio.h>
#include <wchar.h>

#include "launcher_actions.h"
#include "launcher_faults.h"
#include "launcher_input.h"
#include "launcher_painting.h"
#include "launcher_state.h"
#include "page_scale.h"
#include "uia_provider.h"

namespace {

// What the tool leaves on a window it hides: its property holds the window's
// extended style from before plus this bit.
const wchar_t HIDDEN_PROPERTY_NAME[] = L"KestrovV6.Hidden";
const unsigned long long HIDDEN_MARK = 0x10000000000ULL;

// Input and painting, shared by every window of the fixture; -1 when the
// message is not one of them.
LRESULT handle_common(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    LRESULT handled = handle_input(window, message, wparam, lparam);
    if (handled != -1)
        return handled;
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        paint_window(window, dc);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        paint_window(window, (HDC)wparam);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    }
    return -1;
}

LRESULT CALLBACK child_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    LRESULT handled = handle_common(window, message, wparam, lparam);
    if (handled != -1)
        return handled;
    return DefWindowProcW(window, message, wparam, lparam);
}

struct WindowList {
    HWND* windows;
    int* count;
};

BOOL CALLBACK collect_main_window(HWND window, LPARAM list_pointer)
{
    WindowList* list = (WindowList*)list_pointer;
    wchar_t class_name[64];
    GetClassNameW(window, class_name, 64);
    if (!wcscmp(class_name, main_class_name) && *list->count < 64)
        list->windows[(*list->count)++] = window;
    return TRUE;
}

// This thread's top-level launcher windows, at most 64.
void collect_main_windows(HWND* windows, int* count)
{
    WindowList list{windows, count};
    EnumThreadWindows(GetCurrentThreadId(), collect_main_window, (LPARAM)&list);
}

// The timers that are no fault's: the lifetime, late button and element,
// closing, call counts, re-renders.
void run_timer(HWND window, WPARAM timer)
{
    if (timer == TIMER_LIFETIME)
        PostQuitMessage(0);
    if (timer == TIMER_BUTTON_LATE) {
        KillTimer(window, TIMER_BUTTON_LATE);
        log_line("ACTION show-button");
        show_button(window, 1);
    }
    if (timer == TIMER_ELEMENT_LATE) {
        KillTimer(window, TIMER_ELEMENT_LATE);
        int element = find_page_element(page, settings.late_element);
        if (element > 0) {
            page.elements[(size_t)element].hidden = 0;
            log_line("ACTION show-late %s", settings.late_element);
            repaint_all(window);
        }
    }
    if (timer == TIMER_SHOW_LATE) {
        KillTimer(window, TIMER_SHOW_LATE);
        log_line("ACTION show-windows");
        HWND windows[64];
        int count = 0;
        collect_main_windows(windows, &count);
        for (int i = 0; i < count; i++)
            ShowWindow(windows[i], settings.minimized ? SW_SHOWMINNOACTIVE : SW_SHOWNORMAL);
    }
    if (timer == TIMER_CALLS) {
        static long logged = 0;
        long calls = element_provider_calls();
        if (calls != logged)
            log_line("CALLS %ld", calls);
        logged = calls;
    }
    if (timer == TIMER_RERENDER)
        rerender("timer");
    if (timer == TIMER_CLOSE_ALL) {
        KillTimer(window, TIMER_CLOSE_ALL);
        log_line("ACTION close-all");
        HWND windows[64];
        int count = 0;
        collect_main_windows(windows, &count);
        for (int i = 0; i < count; i++)
            DestroyWindow(windows[i]);
    }
}

LRESULT CALLBACK main_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    LRESULT handled = handle_common(window, message, wparam, lparam);
    if (handled != -1)
        return handled;
    if (message == WM_GETOBJECT) {
        // The tool asks for the client's accessibility once a pass.
        if (settings.log_nudges && (LONG)lparam == OBJID_CLIENT)
            log_line("NUDGE");
        // Only the top-level window serves the page: the Chrome child answers
        // as a plain window, so the tree is not served twice.
        LRESULT answer = 0;
        if (answer_uia_request(window, wparam, lparam, &answer)) {
            // A client's scan starts with the root: a test counts the scans
            // a run had.
            log_line("ROOT %llu", (unsigned long long)(GetTickCount64() - started_at));
            return answer;
        }
    }
    hang_after_probe(message);
    if (message == PAGE_ACTION_MESSAGE && has_page && window == page_window) {
        run_page_actions(window, (int)wparam, (int)lparam);
        return 0;
    }
    switch (message) {
    case WM_TIMER:
        if (!run_fault_timer(window, wparam))
            run_timer(window, wparam);
        return 0;
    case WM_STYLECHANGING: {
        STYLESTRUCT* change = (STYLESTRUCT*)lparam;
        if (settings.refuse_show && wparam == (WPARAM)GWL_EXSTYLE && (change->styleOld & WS_EX_TRANSPARENT) &&
            !(change->styleNew & WS_EX_TRANSPARENT)) {
            log_line("SHOW refused");
            change->styleNew = change->styleOld;
        }
        break;
    }
    case WM_STYLECHANGED: {
        // Shown again: a hiding by the tool (or --start-hidden) ends when
        // the window lets clicks through no more. Whether the watched file
        // is there yet puts the show in order with its writer, without a
        // clock: this runs inside the call that shows the window.
        const STYLESTRUCT* change = (const STYLESTRUCT*)lparam;
        if (wparam == (WPARAM)GWL_EXSTYLE && (change->styleOld & WS_EX_TRANSPARENT) &&
            !(change->styleNew & WS_EX_TRANSPARENT)) {
            if (!settings.watch_path[0])
                log_line("SHOWN");
            else
                log_line("SHOWN watched-file %s",
                         GetFileAttributesW(settings.watch_path) != INVALID_FILE_ATTRIBUTES ? "present" : "absent");
        }
        break;
    }
    case WM_CLOSE:
        log_line("CLOSE");
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        if (window == page_window)
            stop_page_provider(window);
        if (--main_windows_open <= 0)
            PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// The child windows of a page's CHILD lines, with their classes, texts and
// places. A dump lists them at any depth without their nesting: all become
// children of the main window.
void create_page_children(HWND window, HINSTANCE instance)
{
    for (const PageChild& child : page.children) {
        WNDCLASSW known;
        if (!GetClassInfoW(instance, child.class_name.c_str(), &known)) {
            WNDCLASSW child_class;
            ZeroMemory(&child_class, sizeof child_class);
            child_class.lpfnWndProc = child_procedure;
            child_class.hInstance = instance;
            child_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
            child_class.lpszClassName = child.class_name.c_str();
            RegisterClassW(&child_class);
        }
        POINT corner{to_window_units(child.left), to_window_units(child.top)};
        ScreenToClient(window, &corner);
        CreateWindowExW(0, child.class_name.c_str(), child.text.c_str(),
                        WS_CHILD | (child.hidden ? 0 : WS_VISIBLE), corner.x, corner.y,
                        to_window_units(child.width), to_window_units(child.height), window, nullptr, instance,
                        nullptr);
    }
}

// --client: moves the window so that its client area covers that rectangle
// of the screen (in the window's own units), whatever its frame, as the
// player's did. A page's elements keep their screen places: the window
// element takes the outer rectangle, in the page's units.
void place_client_area(HWND window)
{
    RECT outer, client;
    POINT origin = {0, 0};
    if (!GetWindowRect(window, &outer) || !GetClientRect(window, &client) || !ClientToScreen(window, &origin))
        return;
    const RECT given = settings.client;
    // A dump's physical pixels, or already the window's own units.
    const RECT wanted = settings.page_dpi ? RECT{to_window_units((int)given.left), to_window_units((int)given.top),
                                                 to_window_units((int)given.right), to_window_units((int)given.bottom)}
                                          : given;
    int left = (int)(outer.left + wanted.left - origin.x), top = (int)(outer.top + wanted.top - origin.y);
    int width = (int)(outer.right - outer.left + (wanted.right - wanted.left) - client.right);
    int height = (int)(outer.bottom - outer.top + (wanted.bottom - wanted.top) - client.bottom);
    SetWindowPos(window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (has_page && GetWindowRect(window, &outer)) {
        PageElement& root = page.elements[0];
        root.left = to_page_units((int)outer.left);
        root.top = to_page_units((int)outer.top);
        root.width = to_page_units((int)(outer.right - outer.left));
        root.height = to_page_units((int)(outer.bottom - outer.top));
    }
}

// The default button sits centred, 120 pixels above the client bottom; the
// button, given or not, in the window's own units.
void place_button(HWND window)
{
    if (settings.button_given == 1) {
        const RECT& b = settings.button;
        settings.button = RECT{to_window_units(b.left), to_window_units(b.top), to_window_units(b.right),
                               to_window_units(b.bottom)};
        settings.button_given = 2;  // scaled once: later windows take it as it is
    }
    if (settings.button_given)
        return;
    RECT client;
    GetClientRect(window, &client);
    int width = to_window_units(300), height = to_window_units(64);
    int left = (client.right - width) / 2;
    int top = client.bottom - to_window_units(120) - height;
    settings.button = RECT{left, top, left + width, top + height};
}

// --dpi-aware: the window, made at the 96-DPI place and size, learns its
// DPI and takes them scaled. --page-dpi: the place and size are a scaled
// screen's physical pixels, taken to the window's units.
void scale_window(HWND window, int index)
{
    if (!settings.dpi_aware && !settings.page_dpi)
        return;
    set_page_dpi(window_dpi(window));
    SetWindowPos(window, nullptr, to_window_units(settings.x + index * 10), to_window_units(settings.y + index * 10),
                 to_window_units(settings.width - index * settings.shrink), to_window_units(settings.height),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CALLBACK destroy_page_child(HWND child, LPARAM)
{
    wchar_t class_name[64];
    GetClassNameW(child, class_name, 64);
    if (GetParent(child) == page_window && wcscmp(class_name, CHROME_CLASS) != 0)
        DestroyWindow(child);
    return TRUE;
}

}  // namespace

void serve_next_page(HWND window)
{
    EnumChildWindows(window, destroy_page_child, 0);
    SetWindowTextW(window, settings.title);
    SetWindowPos(window, nullptr, settings.x, settings.y, settings.width, settings.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (settings.client_given)
        place_client_area(window);
    place_button(window);
    page_window = window;
    main_windows_open = 1;
    if (has_page) {
        start_page_provider(window, &page);
        create_page_children(window, GetModuleHandleW(nullptr));
    }
    RECT client;
    GetClientRect(window, &client);
    HWND chrome = FindWindowExW(window, nullptr, CHROME_CLASS, nullptr);
    if (chrome)
        SetWindowPos(chrome, nullptr, 0, 0, client.right, client.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
    repaint_all(window);
}

const char* window_role(HWND window)
{
    wchar_t class_name[64];
    GetClassNameW(window, class_name, 64);
    if (!wcscmp(class_name, CHROME_CLASS))
        return "chrome";
    if (!wcscmp(class_name, CHILD_CLASS))
        return "child";
    // A page's CHILD lines give children of other classes: they show the
    // page as the render widget does.
    return GetParent(window) ? "chrome" : "main";
}

void register_launcher_classes(HINSTANCE instance)
{
    WNDCLASSW main_class;
    ZeroMemory(&main_class, sizeof main_class);
    main_class.lpfnWndProc = main_procedure;
    main_class.hInstance = instance;
    main_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    main_class.lpszClassName = main_class_name;
    RegisterClassW(&main_class);
    WNDCLASSW child_class = main_class;
    child_class.lpfnWndProc = child_procedure;
    child_class.lpszClassName = CHROME_CLASS;
    RegisterClassW(&child_class);
    child_class.lpszClassName = CHILD_CLASS;
    RegisterClassW(&child_class);
}

HWND create_main_window(HINSTANCE instance, int index)
{
    wchar_t title[LAUNCHER_TITLE_CAPACITY + 16];
    if (index == 0)
        swprintf(title, LAUNCHER_TITLE_CAPACITY + 16, L"%ls", settings.title);
    else
        swprintf(title, LAUNCHER_TITLE_CAPACITY + 16, L"%ls %d", settings.title, index + 1);
    DWORD ex_style = settings.layered ? WS_EX_LAYERED : 0;
    DWORD style = settings.no_caption ? WS_POPUP | WS_THICKFRAME : WS_OVERLAPPEDWINDOW;
    HWND window = CreateWindowExW(ex_style, main_class_name, title, style | WS_CLIPCHILDREN,
                                  settings.x + index * 10, settings.y + index * 10,
                                  settings.width - index * settings.shrink, settings.height, nullptr,
                                  nullptr, instance, nullptr);
    if (!window)
        return nullptr;
    main_windows_open++;
    if (settings.layered)
        SetLayeredWindowAttributes(window, 0, 255, LWA_ALPHA);
    scale_window(window, index);
    if (index == 0 && settings.client_given)
        place_client_area(window);
    place_button(window);
    if (index == 0 && has_page) {
        page_window = window;
        start_page_provider(window, &page);
    }
    if (index == 0) {
        RECT client;
        GetClientRect(window, &client);
        if (settings.chrome_child)
            CreateWindowExW(0, CHROME_CLASS, L"Chrome Legacy Window", WS_CHILD | WS_VISIBLE, 0, 0,
                            client.right, client.bottom, window, nullptr, instance, nullptr);
        if (has_page)
            create_page_children(window, instance);
        HWND parent = window;
        for (int i = 0; i < settings.children; i++) {
            wchar_t name[32];
            swprintf(name, 32, L"child %d", i + 1);
            parent = CreateWindowExW(0, CHILD_CLASS, name, WS_CHILD | WS_VISIBLE, 4, 4,
                                     60 - i * 4 > 8 ? 60 - i * 4 : 8, 40, parent, nullptr, instance, nullptr);
        }
        if (settings.hidden_child)
            CreateWindowExW(0, CHILD_CLASS, L"hidden child", WS_CHILD, 80, 4, 30, 30, window, nullptr,
                            instance, nullptr);
    }
    if (settings.start_hidden) {
        // As an earlier hide-mode run of the tool leaves it.
        LONG_PTR style = GetWindowLongPtrW(window, GWL_EXSTYLE);
        SetPropW(window, HIDDEN_PROPERTY_NAME, (HANDLE)(ULONG_PTR)((unsigned long long)style | HIDDEN_MARK));
        SetWindowLongPtrW(window, GWL_EXSTYLE, style | WS_EX_LAYERED | WS_EX_TRANSPARENT);
        SetLayeredWindowAttributes(window, 0, 1, LWA_ALPHA);
    }
    // --show-after-ms: made but not shown, as a launcher that hides its own
    // window (or has not shown it yet); its timer shows them.
    if (settings.show_after_ms > 0)
        return window;
    ShowWindow(window, settings.minimized ? SW_SHOWMINNOACTIVE : SW_SHOWNORMAL);
    UpdateWindow(window);
    return window;
}
