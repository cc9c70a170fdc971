// The command line: options into the settings, then the command.
#pragma once

#include "app/read_options.h"

// The whole tool: DPI awareness, options, dispatch. Gives the exit code.
int run_tool(int argc, wchar_t** argv);
