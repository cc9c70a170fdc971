#include "app/dispatch.h"

#include <windows.h>
#include <wchar.h>
#include <stdio.h>
#include <stdlib.h>

#include "app/report.h"
#include "app/settings.h"
#include "diag/diagnosis.h"
#include "diag/dump.h"
#include "press/driver.h"
#include "uia/launcher_ui.h"
#include "uia/normalize.h"
#include "uia/uia_client.h"
#include "windows/discovery.h"
#include "windows/launcher_call.h"
#include "windows/window_handling.h"

static const char USAGE_LINE[] =
    "Usage: KestrovV6-Play.exe press|find|minimize|show|dump [--profile NAME] [--timeout SECONDS] "
    "[--hide] [--front TITLE] [--shot FILE.bmp]";

enum { END_WAIT_STEPS = 20, END_WAIT_STEP_MS = 10 };

typedef BOOL(WINAPI* SetDpiContext)(HANDLE);

// Per-monitor awareness first, so that the pixels read and the points clicked
// are the same physical pixels. Older systems lack the call: go on without.
static void become_dpi_aware()
{
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (!user32)
        return;
    FARPROC found = GetProcAddress(user32, "SetProcessDpiAwarenessContext");
    if (!found)
        return;
    SetDpiContext set_context;
    static_assert(sizeof set_context == sizeof found, "function pointer sizes differ");
    memcpy(&set_context, &found, sizeof found);
    set_context((HANDLE)(LONG_PTR)-4);  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
}

// minimize, show and close wait for busy windows, all together until one
// deadline; a hung window is left as it is.
static int run_minimize()
{
    ULONGLONG deadline = show_deadline();
    LauncherWindows found;
    find_launcher_windows(&found);
    int minimized = 0;
    for (int i = 0; i < found.count; i++) {
        // ShowWindow waits for the window's thread.
        if (!IsIconic(found.windows[i]) && await_window(found.windows[i], deadline) == WINDOW_ANSWERED &&
            show_window_by(found.windows[i], SW_SHOWMINNOACTIVE, deadline))
            minimized++;
    }
    show_windows_again(found.windows, found.count, deadline);
    report("MINIMIZED %d", minimized);
    return 0;
}

static int run_show()
{
    ULONGLONG deadline = show_deadline();
    LauncherWindows found;
    HWND best = find_launcher_windows(&found);
    // Counted as the windows read back: one the system would not show is
    // not claimed (its own line says so).
    int shown = show_windows_again(found.windows, found.count, deadline);
    if (best) {
        if (IsIconic(best) && await_window(best, deadline) == WINDOW_ANSWERED)
            show_window_by(best, SW_RESTORE, deadline);
        bring_to_front_by(best, deadline);
    }
    report("SHOWN %d", shown);
    return 0;
}

static int run_close()
{
    ULONGLONG deadline = show_deadline();
    LauncherWindows found;
    find_launcher_windows(&found);
    show_windows_again(found.windows, found.count, deadline);
    // A post the system refuses asked nothing: only the windows asked count.
    int asked = 0;
    for (int i = 0; i < found.count; i++)
        asked += PostMessageW(found.windows[i], WM_CLOSE, 0, 0) ? 1 : 0;
    report("CLOSED %d", asked);
    return 0;
}

// Ends a run. A worker still blocked in the launcher holds what COM would
// tidy up, and leaving COM or unloading could wait for it: then the process
// ends as it is. Every line is out already (each is flushed as printed).
static int end_run(int code, int joined_com)
{
    // Workers that are only letting go of elements end in a moment.
    for (int waits = 0; waits < END_WAIT_STEPS && calls_left_running() != 0; waits++)
        Sleep(END_WAIT_STEP_MS);
    if (calls_left_running() != 0) {
        fflush(stdout);
        TerminateProcess(GetCurrentProcess(), (UINT)code);
    }
    if (automation) {
        automation->Release();
        automation = nullptr;
    }
    if (joined_com)
        CoUninitialize();
    return code;
}

// The command's exit code; *joined_com = 1 when it joined COM (S_OK or
// S_FALSE), which the caller then leaves.
static int run_command(int argc, wchar_t** argv, int* joined_com)
{
    become_dpi_aware();
    if (argc <= 1) {
        report("%s", USAGE_LINE);
        return 1;
    }
    CommandOptions options;
    read_options(argc, argv, &options);
    normalize_text(profile_name, profile_pattern, SETTING_TEXT_CAPACITY);

    const wchar_t* command = argv[1];
    if (wcscmp(command, L"minimize") == 0)
        return run_minimize();
    if (wcscmp(command, L"show") == 0)
        return run_show();
    if (wcscmp(command, L"close") == 0)
        return run_close();

    HRESULT joined = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    *joined_com = SUCCEEDED(joined);
    if (FAILED(joined)) {
        automation_status = joined;
    } else {
        automation_status = CoCreateInstance(CLSID_CUIAutomation, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IUIAutomation, (void**)&automation);
        if (FAILED(automation_status))
            automation = nullptr;
        set_automation_timeouts();
    }

    if (wcscmp(command, L"press") == 0 || wcscmp(command, L"find") == 0) {
        find_only = wcscmp(command, L"find") == 0;
        start_diagnosis(argc, argv, options.diagnose);
        return run_press(limit_timeout(options.timeout_seconds));
    }
    if (wcscmp(command, L"dump") == 0)
        return run_dump(options.shot);
    report("ERROR unknown command %s", to_utf8(command));
    return 1;
}

int run_tool(int argc, wchar_t** argv)
{
    int joined_com = 0;
    int code = run_command(argc, argv, &joined_com);
    return end_run(code, joined_com);
}
