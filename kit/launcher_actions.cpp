// The simulated launcher's actions: what clicks and page elements do.
#include "launcher_actions.h"

#include <stdio.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "launcher_faults.h"
#include "launcher_painting.h"
#include "launcher_state.h"

void start_java()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    while (length > 0 && path[length - 1] != L'\\' && path[length - 1] != L'/')
        length--;
    path[length] = 0;
    // The fixture may run from a sub-folder (Minecraft Launcher\Minecraft.exe):
    // the dummy game lives in the build folder, next to the tests.
    wchar_t java[MAX_PATH];
    swprintf(java, MAX_PATH, L"%ls%ls", path, L"javaw.exe");
    if (GetFileAttributesW(java) == INVALID_FILE_ATTRIBUTES)
        swprintf(java, MAX_PATH, L"%ls..\\%ls", path, L"javaw.exe");
    wchar_t command[MAX_PATH + 32];
    swprintf(command, MAX_PATH + 32, L"\"%ls\" %d", java, settings.java_ms);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (CreateProcessW(java, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        log_line("ACTION start-java %lu", process.dwProcessId);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        log_line("ACTION start-java failed %lu", GetLastError());
    }
}

void rerender(const char* why)
{
    rerender_page(&habits);
    log_line("RERENDER %d %s", habits.generation, why);
}

void run_page_actions(HWND main_window, int element, int via)
{
    std::vector<std::string> lines;
    std::vector<PageActionKind> host;
    if (!run_page_element(&page, element, via, &lines, &host)) {
        log_line("VIA %s gone %d", page_via_word(via), element);
        return;
    }
    for (const std::string& line : lines)
        log_line("%s", line.c_str());
    repaint_all(main_window);
    int close = 0, rerendered = 0;
    for (PageActionKind kind : host) {
        if (kind == PAGE_ACTION_START_JAVA)
            start_java();
        if (kind == PAGE_ACTION_RERENDER_ONCE && !rerendered++)
            rerender("once");
        close |= kind == PAGE_ACTION_CLOSE;
    }
    if (habits.habits.rerender_after_action && !rerendered)
        rerender("action");
    if (close)
        DestroyWindow(main_window);
}

void take_click(HWND main_window, int real, int element)
{
    log_line("CLICK %s", real ? "real" : "posted");
    if ((settings.accept == ACCEPT_POSTED && real) || (settings.accept == ACCEPT_REAL && !real)) {
        log_line("ACTION refused");
        return;
    }
    if (has_page) {
        run_page_actions(main_window, element, real ? PAGE_VIA_REAL : PAGE_VIA_POSTED);
        if (settings.hang_on_click)
            hang();
        return;
    }
    switch (settings.on_click) {
    case START_JAVA:
        start_java();
        break;
    case CLOSE_WINDOW:
        log_line("ACTION close");
        DestroyWindow(main_window);
        break;
    case HIDE_BUTTON:
        log_line("ACTION hide-button");
        show_button(main_window, 0);
        break;
    case IGNORE_CLICK:
        log_line("ACTION ignore");
        break;
    }
    if (settings.hang_on_click)
        hang();
}
