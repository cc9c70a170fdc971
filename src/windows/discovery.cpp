#include "windows/discovery.h"

#include <wchar.h>

int process_image_path(DWORD process_id, wchar_t* path)
{
    path[0] = 0;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
    if (!process)
        return 0;
    DWORD size = IMAGE_PATH_CAPACITY;
    BOOL read = QueryFullProcessImageNameW(process, 0, path, &size);
    CloseHandle(process);
    if (!read)
        path[0] = 0;
    return read ? 1 : 0;
}

int launcher_exe_match(const wchar_t* path)
{
    const wchar_t* slash = wcsrchr(path, L'\\');
    const wchar_t* file_name = slash ? slash + 1 : path;
    if (_wcsicmp(file_name, L"MinecraftLauncher.exe") == 0)
        return 1;
    if (_wcsicmp(file_name, L"Minecraft.exe") != 0)
        return 0;
    // Minecraft.exe is also the name of other programs: only the one in the
    // launcher's folder or its store package counts.
    wchar_t lowered[IMAGE_PATH_CAPACITY];
    wcsncpy(lowered, path, IMAGE_PATH_CAPACITY - 1);
    lowered[IMAGE_PATH_CAPACITY - 1] = 0;
    CharLowerBuffW(lowered, (DWORD)wcslen(lowered));
    return wcsstr(lowered, L"minecraft launcher") || wcsstr(lowered, L"microsoft.4297127d64ec6_");
}

BOOL CALLBACK launcher_window_filter(HWND window, LPARAM param)
{
    LauncherWindows* found = (LauncherWindows*)param;
    if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER))
        return TRUE;

    wchar_t title[TITLE_CAPACITY];
    title[0] = 0;
    GetWindowTextW(window, title, TITLE_CAPACITY);
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    wchar_t path[IMAGE_PATH_CAPACITY];
    int path_read = process_image_path(process_id, path);
    int exe_match = path_read ? launcher_exe_match(path) : 0;

    // A readable path of another program is never the launcher, whatever
    // its title; an unreadable one is judged by the title alone.
    int accepted = (exe_match && title[0] != 0) ||
                   (!path_read && wcsncmp(title, L"Minecraft Launcher", 18) == 0);
    if (!accepted)
        return TRUE;

    int minimized = IsIconic(window) ? 1 : 0;
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    if (!minimized && (width < 300 || height < 200))
        return TRUE;

    if (found->count < MAX_LAUNCHER_WINDOWS)
        found->windows[found->count++] = window;

    int area = minimized ? 1 : width * height;
    if (exe_match > found->best_exe_match ||
        (exe_match == found->best_exe_match && area > found->best_area)) {
        found->best = window;
        found->best_area = area;
        found->best_exe_match = exe_match;
    }
    return TRUE;
}

HWND find_launcher_windows(LauncherWindows* found)
{
    ZeroMemory(found, sizeof *found);
    EnumWindows(launcher_window_filter, (LPARAM)found);
    return found->best;
}
