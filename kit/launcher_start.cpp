// Starting the simulated launcher: its arguments, its page, its windows.
#include "launcher_start.h"

#include <stdio.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "chromium_habits.h"
#include "launcher_arguments.h"
#include "launcher_state.h"
#include "launcher_windows.h"
#include "page.h"
#include "page_paint.h"
#include "page_scale.h"
#include "uia_provider.h"

namespace {

// Names in the log each type name of the page that was read as custom
// because no table knows it, and how to fix it.
void report_unknown_types()
{
    std::vector<PageUnknownType> unknown;
    int untyped = 0;
    find_unknown_page_types(page, &unknown, &untyped);
    for (const PageUnknownType& type : unknown)
        log_line("UNKNOWN type \"%s\": %d element%s; add \"## type=NAME\" to its lines", type.name.c_str(),
                 type.count, type.count == 1 ? "" : "s");
    if (untyped > 0)
        log_line("UNTYPED %d element%s ([]) read as custom; add \"## type=NAME\" where a tab, list item, "
                 "text or button matters", untyped, untyped == 1 ? "" : "s");
}

// --page: reads the page, which then gives the window's title, place, size
// and classes. 0 when it has no element line. What the reader had to mend
// in the file goes to the log first, one line for each kind of problem.
int load_launcher_page()
{
    int elements = load_page_file(settings.page_path, &page);
    std::vector<std::string> problems;
    describe_page_problems(page, &problems);
    for (const std::string& problem : problems)
        log_line("%s", problem.c_str());
    if (elements <= 0) {
        fwprintf(stderr, L"MinecraftLauncher: no element lines in %ls\n", settings.page_path);
        return 0;
    }
    // The window element's line places the window and names it.
    const PageElement& window = page.elements[0];
    has_page = 1;
    settings.has_button = 0;
    // The launcher's page lives in a Chromium renderer's child window,
    // unless the page's CHILD lines say which children it has.
    if (page.children.empty())
        settings.chrome_child = 1;
    if (!page.window_class.empty())
        wcsncpy(main_class_name, page.window_class.c_str(), 127);
    report_unknown_types();
    wcsncpy(settings.title, window.name.c_str(), LAUNCHER_TITLE_CAPACITY - 1);
    settings.x = window.left;
    settings.y = window.top;
    if (window.width > 0 && window.height > 0) {
        settings.width = window.width;
        settings.height = window.height;
    }
    start_habits(page, habit_options, &habits);
    set_page_habits(&habits);
    // The picture comes from the player too: one line when it is refused,
    // and the page goes on without it.
    PictureLayout layout;
    PictureVerdict verdict = settings.background_path[0]
                                 ? load_page_background(settings.background_path, &background, &layout)
                                 : PICTURE_READ;
    if (verdict != PICTURE_READ) {
        char refusal[256];
        describe_picture_refusal(verdict, layout, refusal, sizeof refusal);
        log_line("%s", refusal);
    }
    int late = settings.late_element[0] ? find_page_element(page, settings.late_element) : -1;
    if (late > 0)
        page.elements[(size_t)late].hidden = 1;
    return 1;
}

}  // namespace

HWND start_simulated_launcher(int argc, wchar_t** argv)
{
    started_at = GetTickCount64();
    read_launcher_arguments(argc, argv, &settings, &habit_options);
    if (settings.page_path[0] && !load_launcher_page())
        return nullptr;
    if (settings.button_after_ms > 0 || settings.popup_until_escape)
        button_shown = 0;
    set_page_source_dpi(settings.page_dpi);
    // Before any window: a window keeps the awareness it was made with.
    if (settings.dpi_aware && !become_per_monitor_aware())
        settings.dpi_aware = 0;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    register_launcher_classes(instance);

    HWND first = nullptr;
    for (int i = 0; i < settings.windows; i++) {
        HWND window = create_main_window(instance, i);
        if (!first)
            first = window;
    }
    if (first) {
        log_line("DPI window %d %s", window_dpi(first), settings.dpi_aware ? "aware" : "unaware");
        log_line("READY");
        if (settings.show_after_ms > 0)
            log_line("HIDDEN for %d ms", settings.show_after_ms);
    }
    return first;
}

HWND restart_simulated_launcher(HWND window, int argc, wchar_t** argv)
{
    stop_page_provider(window);
    reset_launcher_state();
    started_at = GetTickCount64();
    read_launcher_arguments(argc, argv, &settings, &habit_options);
    set_page_source_dpi(settings.page_dpi);
    if (settings.page_path[0] && !load_launcher_page())
        return nullptr;
    wchar_t class_name[128];
    GetClassNameW(window, class_name, 128);
    if (wcscmp(class_name, main_class_name) != 0 || settings.windows != 1)
        return nullptr;
    serve_next_page(window);
    log_line("READY");
    return window;
}

void reset_launcher_state()
{
    settings = LauncherSettings();
    button_shown = 1;
    button_pressed = 0;
    main_windows_open = 0;
    started_at = 0;
    page = Page();
    has_page = 0;
    background = PageBackground();
    page_window = nullptr;
    pressed_element = -1;
    habit_options = ChromiumHabits();
    habits = HabitState();
    set_page_habits(nullptr);
    wcscpy(main_class_name, L"KV6SimulatedLauncher");
}
