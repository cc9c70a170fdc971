// The running simulated launcher's state, which its concerns (arguments,
// faults, input, actions, painting, windows) share, and its log.
#pragma once

#include <windows.h>

#include "chromium_habits.h"
#include "launcher_arguments.h"
#include "page.h"
#include "page_paint.h"

extern const wchar_t CHROME_CLASS[];  // the render widget child, Chrome_RenderWidgetHostHWND
extern const wchar_t CHILD_CLASS[];   // a plain child of --children
// A page from a dump names the launcher's own class (Chrome_WidgetWin_1).
extern wchar_t main_class_name[128];

// The main window's timers.
enum LauncherTimer {
    TIMER_LIFETIME = 1,
    TIMER_HANG,
    TIMER_BUSY,
    TIMER_STALLS,
    TIMER_BUTTON_LATE,
    TIMER_CLOSE_ALL,
    TIMER_CALLS,
    TIMER_RERENDER,
    TIMER_ELEMENT_LATE,
    TIMER_SHOW_LATE,
};

extern LauncherSettings settings;
extern int button_shown;
extern int button_pressed;  // a left button down on the button waits for its up
extern int main_windows_open;
extern ULONGLONG started_at;

// The page, when --page gives one: kept for the process's lifetime, since
// UI Automation clients may hold its elements' providers until the end.
extern Page page;
extern int has_page;
extern PageBackground background;
extern HWND page_window;
extern int pressed_element;            // the page element a left button down landed on
extern ChromiumHabits habit_options;   // --chromium and the single habits' options
extern HabitState habits;

// One line to --log's file, if given; the file is opened for each line so
// that a reader sees it at once and a hung or killed launcher loses nothing.
// A host that runs the launcher in its own process gets each line through
// `log_hook` instead, when it sets one.
void log_line(const char* format, ...);
extern void (*log_hook)(const char* line);
