// The running simulated launcher's state and its log.
#include "launcher_state.h"

#include <stdarg.h>
#include <stdio.h>

const wchar_t CHROME_CLASS[] = L"Chrome_RenderWidgetHostHWND";
const wchar_t CHILD_CLASS[] = L"KV6Child";
wchar_t main_class_name[128] = L"KV6SimulatedLauncher";

LauncherSettings settings;
int button_shown = 1;
int button_pressed = 0;
int main_windows_open = 0;
ULONGLONG started_at = 0;

Page page;
int has_page = 0;
PageBackground background;
HWND page_window = nullptr;
int pressed_element = -1;
ChromiumHabits habit_options;
HabitState habits;

void (*log_hook)(const char* line) = nullptr;

void log_line(const char* format, ...)
{
    if (log_hook) {
        char line[4096];
        va_list values;
        va_start(values, format);
        vsnprintf(line, sizeof line, format, values);
        va_end(values);
        log_hook(line);
        return;
    }
    if (!settings.log_path[0])
        return;
    FILE* log = _wfopen(settings.log_path, L"a");
    if (!log)
        return;
    va_list values;
    va_start(values, format);
    vfprintf(log, format, values);
    va_end(values);
    fputc('\n', log);
    fclose(log);
}
