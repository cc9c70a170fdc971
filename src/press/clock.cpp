#include "press/clock.h"

#include <windows.h>

static uint64_t system_tick()
{
    return GetTickCount64();
}

static void system_sleep(uint32_t milliseconds)
{
    Sleep(milliseconds);
}

TickSource tick_source = system_tick;
Sleeper sleeper = system_sleep;
