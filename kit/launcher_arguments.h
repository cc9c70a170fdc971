// The simulated launcher's arguments (documented in docs/kit.md) as one plain
// record.
#pragma once

#include <windows.h>

#include "chromium_habits.h"

enum ClickAction { START_JAVA, CLOSE_WINDOW, HIDE_BUTTON, IGNORE_CLICK };
enum AcceptKind { ACCEPT_ANY, ACCEPT_POSTED, ACCEPT_REAL };

// Longer than any title the tool prints (255 units), so that tests can show
// where it cuts one.
enum { LAUNCHER_TITLE_CAPACITY = 512 };

struct LauncherSettings {
    wchar_t title[LAUNCHER_TITLE_CAPACITY];
    int x, y, width, height;
    int windows;
    int shrink;
    int minimized, layered, chrome_child, children, hidden_child;
    int has_button, button_given;
    RECT button;
    COLORREF button_colour;
    int marker;
    ClickAction on_click;
    AcceptKind accept;
    int java_ms;
    int hang_after_ms, hang_for_ms, hang_on_click;
    int hang_after_probe_ms;  // -1: off
    int hang_on_button_down;
    int busy_not_hung;
    // Keeps a hiding's click-through style, as a system that refuses the
    // tool's change back (a launcher of higher integrity) leaves it.
    int refuse_show;
    int start_hidden;
    int show_after_ms;  // > 0: the windows are made hidden (not visible) and shown this late
    char late_element[64];
    int late_element_ms;
    int busy_ms, busy_every_ms;
    unsigned stall_seed;
    int stall_min_ms, stall_max_ms;
    int button_after_ms, close_after_ms, popup_until_escape;
    int lifetime_ms;
    int count_calls;
    int client_given;  // --client: the client area's place and size on screen, whatever the frame
    RECT client;
    int no_caption;    // a sizing frame without a caption, as Chromium draws its own
    int dpi_aware;     // per-monitor v2: placed, painted and served at the window's DPI
    int page_dpi;      // 0: the page is in 96-DPI units; else a dump's physical pixels at that DPI
    int log_nudges;    // a NUDGE line for each client accessibility request (the tool's passes)
    wchar_t log_path[MAX_PATH];
    wchar_t watch_path[MAX_PATH];  // whose being there each SHOWN line tells
    wchar_t page_path[MAX_PATH];
    wchar_t background_path[MAX_PATH];
};

// The defaults, then every argument; Chromium's habits go to *habits.
// Unknown words are skipped.
void read_launcher_arguments(int argc, wchar_t** argv, LauncherSettings* settings, ChromiumHabits* habits);

// A COLORREF for an RRGGBB number.
COLORREF colour_ref(int rrggbb);
