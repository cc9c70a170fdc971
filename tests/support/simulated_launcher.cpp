#include "support/simulated_launcher.h"

#include <stdio.h>

#include "support/child_process.h"

namespace {

struct WindowSearch {
    DWORD process_id;
    std::vector<HWND>* found;
};

BOOL CALLBACK collect_process_window(HWND window, LPARAM param)
{
    WindowSearch* search = (WindowSearch*)param;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->process_id && IsWindowVisible(window))
        search->found->push_back(window);
    return TRUE;
}

int next_log_number()
{
    static int number = 0;
    return ++number;
}

}  // namespace

void pump_for(DWORD ms)
{
    ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        ULONGLONG now = GetTickCount64();
        if (now >= end)
            return;
        DWORD left = (DWORD)(end - now);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left < 10 ? left : 10, QS_ALLINPUT);
    }
}

int start_launcher(SimulatedLauncher* launcher, const std::vector<std::wstring>& arguments,
                   const wchar_t* exe_name)
{
    launcher->window = nullptr;
    ZeroMemory(&launcher->process, sizeof launcher->process);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    wchar_t log_name[MAX_PATH + 64];
    swprintf(log_name, MAX_PATH + 64, L"%lskv6-launcher-%lu-%d.log", temp, GetCurrentProcessId(),
             next_log_number());
    launcher->log_path = log_name;
    DeleteFileW(log_name);

    std::wstring program = build_path(exe_name);
    std::wstring command = quote_argument(program);
    for (const std::wstring& argument : arguments)
        command += L" " + quote_argument(argument);
    command += L" --log " + quote_argument(launcher->log_path);
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(0);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!create_process(program.c_str(), line.data(), FALSE, 0, &startup, &launcher->process))
        return 0;
    // Ready once its log says so and a window is visible (long enough for a
    // loaded machine).
    ULONGLONG deadline = GetTickCount64() + 30000;
    while (GetTickCount64() < deadline) {
        std::vector<std::string> log = launcher_log(launcher);
        if (!log.empty()) {
            std::vector<HWND> windows = launcher_windows(launcher);
            if (!windows.empty()) {
                launcher->window = windows.back();  // the first created is lowest in Z order
                return 1;
            }
            // --show-after-ms: ready with its windows made and none shown.
            for (const std::string& line : log)
                if (line.compare(0, 11, "HIDDEN for ") == 0)
                    return 1;
        }
        pump_for(20);
    }
    return 0;
}

void end_started_java(const SimulatedLauncher* launcher)
{
    for (const std::string& line : launcher_log(launcher)) {
        unsigned long pid = 0;
        if (sscanf(line.c_str(), "ACTION start-java %lu", &pid) == 1 && pid != 0) {
            HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
            if (process) {
                TerminateProcess(process, 0);
                WaitForSingleObject(process, 5000);
                CloseHandle(process);
            }
        }
    }
}

void stop_launcher(SimulatedLauncher* launcher)
{
    if (launcher->process.hProcess) {
        end_started_java(launcher);
        TerminateProcess(launcher->process.hProcess, 0);
        WaitForSingleObject(launcher->process.hProcess, 10000);
        CloseHandle(launcher->process.hProcess);
        CloseHandle(launcher->process.hThread);
        ZeroMemory(&launcher->process, sizeof launcher->process);
    }
    if (!launcher->log_path.empty())
        DeleteFileW(launcher->log_path.c_str());
    launcher->window = nullptr;
}

std::vector<HWND> launcher_windows(const SimulatedLauncher* launcher)
{
    std::vector<HWND> found;
    WindowSearch search{launcher->process.dwProcessId, &found};
    EnumWindows(collect_process_window, (LPARAM)&search);
    return found;
}

std::vector<std::string> launcher_log(const SimulatedLauncher* launcher)
{
    return output_lines(read_file_bytes(launcher->log_path));
}

RECT default_button_rect(HWND window)
{
    RECT client{0, 0, 0, 0};
    GetClientRect(window, &client);
    int left = (client.right - 300) / 2;
    int top = client.bottom - 120 - 64;
    return RECT{left, top, left + 300, top + 64};
}

BYTE alpha_of(HWND window)
{
    BYTE alpha = 0;
    DWORD flags = 0;
    COLORREF key = 0;
    GetLayeredWindowAttributes(window, &key, &alpha, &flags);
    return alpha;
}
