// Running the real tool with its standard output and error in pipes, with
// each report line seen the moment it arrives: for promises about what holds
// when a line is printed, and for the fault soaks.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "support/run_bounds.h"

struct ToolRun {
    int exit_code;  // -1 when it could not start; 0xDEAD when it was ended at the limit
    std::string output, errors;
    std::vector<std::string> lines;  // without their CR LF
    std::vector<long long> line_ms;  // when each line came, from the start
    long long wall_ms;               // from the process start to its end
    RunTicks ticks = {};             // its start, first line and end, for its bounds
};

// Called for each line as it arrives (line, ms since the start).
typedef std::function<void(const std::string&, long long)> LineSeen;
// Called every few ms while the tool runs (ms since the start).
typedef std::function<void(long long)> ToolTick;

// Runs KestrovV6-Play.exe with `arguments`; ends it after `limit_ms`.
ToolRun run_tool_watched(const std::vector<std::wstring>& arguments, long long limit_ms,
                         const LineSeen& on_line = LineSeen(), const ToolTick& on_tick = ToolTick());
