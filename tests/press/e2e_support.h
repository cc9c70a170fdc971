// Running the real tool against the simulated launcher, and reading what
// both sides saw.
#pragma once

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/simulated_launcher.h"

// The tool running in the background while a test acts on the launcher.
struct BackgroundTool {
    std::thread thread;
    ChildResult result{-1, 0, std::string()};
};

inline void start_tool(BackgroundTool* tool, const std::vector<std::wstring>& arguments,
                       DWORD timeout_ms = 60000)
{
    tool->thread = std::thread([tool, arguments, timeout_ms]() {
        tool->result = run_tool_exe(arguments, timeout_ms);
    });
}

inline void finish_tool(BackgroundTool* tool)
{
    if (tool->thread.joinable())
        tool->thread.join();
}

// Lines of the log that start with `prefix`.
inline std::vector<std::string> log_lines_starting(const SimulatedLauncher* launcher, const std::string& prefix)
{
    std::vector<std::string> picked;
    for (const std::string& line : launcher_log(launcher))
        if (line.compare(0, prefix.size(), prefix) == 0)
            picked.push_back(line);
    return picked;
}

// The "ACTION start-java <pid>" id of the launcher's first started game, or 0.
inline unsigned long started_java_pid(const SimulatedLauncher* launcher)
{
    for (const std::string& line : log_lines_starting(launcher, "ACTION start-java "))
        return strtoul(line.c_str() + 18, nullptr, 10);
    return 0;
}

inline std::string format_line(const char* format, long a, long b, long c, long d)
{
    char text[200];
    snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

// "WINDOW ..." as the tool reports the launcher's window.
inline std::string expected_window_line(const SimulatedLauncher* launcher)
{
    RECT r;
    GetWindowRect(launcher->window, &r);
    return format_line("WINDOW %ld %ld %ld %ld", r.left, r.top, r.right - r.left, r.bottom - r.top) +
           " Minecraft Launcher";
}

// "FOUND <word> ..." with a client rectangle of the launcher put on screen.
inline std::string expected_found_line(const SimulatedLauncher* launcher, const char* word, RECT client)
{
    POINT origin = {0, 0};
    ClientToScreen(launcher->window, &origin);
    return std::string("FOUND ") + word +
           format_line(" %ld %ld %ld %ld", client.left + origin.x, client.top + origin.y,
                       client.right - client.left, client.bottom - client.top);
}

inline int holds_hidden_mark(HWND window)
{
    return GetPropW(window, L"KestrovV6.Hidden") != nullptr;
}

inline std::string joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    return all;
}
