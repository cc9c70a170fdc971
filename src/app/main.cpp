// KestrovV6-Play: presses Play in the Minecraft Launcher for the Kestrov V6
// Launcher. Everything lives in run_tool; this is only the entry point.
#include "app/dispatch.h"

int wmain(int argc, wchar_t** argv)
{
    return run_tool(argc, argv);
}
