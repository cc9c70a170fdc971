#include "windows/hidden_launcher.h"

#include <tlhelp32.h>
#include <wchar.h>

#include "windows/discovery.h"

namespace {

struct LauncherProcesses {
    DWORD ids[MAX_LAUNCHER_PROCESSES];
    int hidden[MAX_LAUNCHER_PROCESSES];   // top-level windows not visible
    int visible[MAX_LAUNCHER_PROCESSES];
    int count;
};

// Discovery's rule on a snapshot's file name: MinecraftLauncher.exe by its
// name, Minecraft.exe only by the folder its full path names.
int launcher_process(const PROCESSENTRY32W& entry)
{
    if (launcher_exe_match(entry.szExeFile))
        return 1;
    if (_wcsicmp(entry.szExeFile, L"Minecraft.exe") != 0)
        return 0;
    wchar_t path[IMAGE_PATH_CAPACITY];
    return process_image_path(entry.th32ProcessID, path) && launcher_exe_match(path);
}

int list_launcher_processes(LauncherProcesses* found)
{
    ZeroMemory(found, sizeof *found);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && found->count < MAX_LAUNCHER_PROCESSES;
         more = Process32NextW(snapshot, &entry)) {
        if (launcher_process(entry))
            found->ids[found->count++] = entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    return found->count;
}

BOOL CALLBACK count_launcher_window(HWND window, LPARAM param)
{
    LauncherProcesses* found = (LauncherProcesses*)param;
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    for (int i = 0; i < found->count; i++) {
        if (found->ids[i] == process_id) {
            if (IsWindowVisible(window))
                found->visible[i]++;
            else
                found->hidden[i]++;
        }
    }
    return TRUE;
}

}  // namespace

DWORD hidden_launcher_process()
{
    LauncherProcesses found;
    if (!list_launcher_processes(&found))
        return 0;
    EnumWindows(count_launcher_window, (LPARAM)&found);
    for (int i = 0; i < found.count; i++)
        if (found.hidden[i] > 0 && found.visible[i] == 0)
            return found.ids[i];
    return 0;
}
