// The simulated launcher's arguments into its settings record.
#include "launcher_arguments.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

namespace {

int parse_colour(const wchar_t* text)
{
    return (int)wcstoul(text, nullptr, 16);
}

}  // namespace

COLORREF colour_ref(int rrggbb)
{
    return RGB((rrggbb >> 16) & 0xff, (rrggbb >> 8) & 0xff, rrggbb & 0xff);
}

void read_launcher_arguments(int argc, wchar_t** argv, LauncherSettings* settings, ChromiumHabits* habits)
{
    *settings = LauncherSettings();
    wcscpy(settings->title, L"Minecraft Launcher");
    settings->x = 100;
    settings->y = 80;
    settings->width = 1000;
    settings->height = 700;
    settings->windows = 1;
    settings->has_button = 1;
    settings->button_colour = colour_ref(0x27873e);
    settings->on_click = START_JAVA;
    settings->accept = ACCEPT_ANY;
    settings->java_ms = 30000;
    settings->lifetime_ms = 120000;
    settings->hang_after_probe_ms = -1;
    for (int i = 1; i < argc; i++) {
        const wchar_t* word = argv[i];
        const wchar_t* value = i + 1 < argc ? argv[i + 1] : L"";
        int takes_value = 1;
        if (!wcscmp(word, L"--title"))
            wcsncpy(settings->title, value, LAUNCHER_TITLE_CAPACITY - 1);
        else if (!wcscmp(word, L"--x"))
            settings->x = _wtoi(value);
        else if (!wcscmp(word, L"--y"))
            settings->y = _wtoi(value);
        else if (!wcscmp(word, L"--width"))
            settings->width = _wtoi(value);
        else if (!wcscmp(word, L"--height"))
            settings->height = _wtoi(value);
        else if (!wcscmp(word, L"--windows"))
            settings->windows = _wtoi(value);
        else if (!wcscmp(word, L"--shrink"))
            settings->shrink = _wtoi(value);
        else if (!wcscmp(word, L"--children"))
            settings->children = _wtoi(value);
        else if (!wcscmp(word, L"--button")) {
            int l = 0, t = 0, w = 0, h = 0;
            swscanf(value, L"%d,%d,%d,%d", &l, &t, &w, &h);
            settings->button = RECT{l, t, l + w, t + h};
            settings->button_given = 1;
        } else if (!wcscmp(word, L"--client")) {
            int l = 0, t = 0, w = 0, h = 0;
            if (swscanf(value, L"%d,%d,%d,%d", &l, &t, &w, &h) == 4 && w > 0 && h > 0) {
                settings->client = RECT{l, t, l + w, t + h};
                settings->client_given = 1;
            }
        } else if (!wcscmp(word, L"--button-colour"))
            settings->button_colour = colour_ref(parse_colour(value));
        else if (!wcscmp(word, L"--on-click")) {
            if (!wcscmp(value, L"close"))
                settings->on_click = CLOSE_WINDOW;
            else if (!wcscmp(value, L"hide-button"))
                settings->on_click = HIDE_BUTTON;
            else if (!wcscmp(value, L"ignore"))
                settings->on_click = IGNORE_CLICK;
            else
                settings->on_click = START_JAVA;
        } else if (!wcscmp(word, L"--accept")) {
            settings->accept = !wcscmp(value, L"posted") ? ACCEPT_POSTED
                             : !wcscmp(value, L"real")   ? ACCEPT_REAL
                                                         : ACCEPT_ANY;
        } else if (!wcscmp(word, L"--java-ms"))
            settings->java_ms = _wtoi(value);
        else if (!wcscmp(word, L"--hang-after-ms"))
            settings->hang_after_ms = _wtoi(value);
        else if (!wcscmp(word, L"--hang-after-probe-ms"))
            settings->hang_after_probe_ms = _wtoi(value);
        else if (!wcscmp(word, L"--element-after-ms")) {
            // ID,N: the page element ID shows only N ms after start.
            const wchar_t* comma = wcschr(value, L',');
            size_t length = comma ? (size_t)(comma - value) : 0;
            if (comma && length < sizeof settings->late_element) {
                for (size_t c = 0; c < length; c++)
                    settings->late_element[c] = (char)value[c];
                settings->late_element[length] = 0;
                settings->late_element_ms = _wtoi(comma + 1);
            }
        } else if (!wcscmp(word, L"--hang-for-ms"))
            settings->hang_for_ms = _wtoi(value);
        else if (!wcscmp(word, L"--busy-ms"))
            settings->busy_ms = _wtoi(value);
        else if (!wcscmp(word, L"--busy-every-ms"))
            settings->busy_every_ms = _wtoi(value);
        else if (!wcscmp(word, L"--stalls")) {
            swscanf(value, L"%u,%d,%d", &settings->stall_seed, &settings->stall_min_ms, &settings->stall_max_ms);
            if (settings->stall_max_ms < settings->stall_min_ms)
                settings->stall_max_ms = settings->stall_min_ms;
        } else if (!wcscmp(word, L"--button-after-ms"))
            settings->button_after_ms = _wtoi(value);
        else if (!wcscmp(word, L"--close-after-ms"))
            settings->close_after_ms = _wtoi(value);
        else if (!wcscmp(word, L"--show-after-ms"))
            settings->show_after_ms = _wtoi(value);
        else if (!wcscmp(word, L"--page-dpi")) {
            int dpi = _wtoi(value);
            settings->page_dpi = dpi >= 48 && dpi <= 960 ? dpi : 0;
        } else if (!wcscmp(word, L"--lifetime-ms"))
            settings->lifetime_ms = _wtoi(value);
        else if (!wcscmp(word, L"--log"))
            wcsncpy(settings->log_path, value, MAX_PATH - 1);
        else if (!wcscmp(word, L"--watch-file"))
            wcsncpy(settings->watch_path, value, MAX_PATH - 1);
        else if (!wcscmp(word, L"--page"))
            wcsncpy(settings->page_path, value, MAX_PATH - 1);
        else if (!wcscmp(word, L"--background"))
            wcsncpy(settings->background_path, value, MAX_PATH - 1);
        else if (int used = read_habit_option(word, value, habits))
            takes_value = used == 2;
        else {
            takes_value = 0;
            if (!wcscmp(word, L"--minimized"))
                settings->minimized = 1;
            else if (!wcscmp(word, L"--layered"))
                settings->layered = 1;
            else if (!wcscmp(word, L"--chrome-child"))
                settings->chrome_child = 1;
            else if (!wcscmp(word, L"--hidden-child"))
                settings->hidden_child = 1;
            else if (!wcscmp(word, L"--no-button"))
                settings->has_button = 0;
            else if (!wcscmp(word, L"--marker"))
                settings->marker = 1;
            else if (!wcscmp(word, L"--hang-on-click"))
                settings->hang_on_click = 1;
            else if (!wcscmp(word, L"--hang-on-button-down"))
                settings->hang_on_button_down = 1;
            else if (!wcscmp(word, L"--busy-not-hung"))
                settings->busy_not_hung = 1;
            else if (!wcscmp(word, L"--refuse-show"))
                settings->refuse_show = 1;
            else if (!wcscmp(word, L"--start-hidden"))
                settings->start_hidden = 1;
            else if (!wcscmp(word, L"--popup-until-escape"))
                settings->popup_until_escape = 1;
            else if (!wcscmp(word, L"--count-calls"))
                settings->count_calls = 1;
            else if (!wcscmp(word, L"--no-caption"))
                settings->no_caption = 1;
            else if (!wcscmp(word, L"--dpi-aware"))
                settings->dpi_aware = 1;
            else if (!wcscmp(word, L"--log-nudges"))
                settings->log_nudges = 1;
        }
        if (takes_value)
            i++;
    }
}
