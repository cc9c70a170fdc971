// Keys and mouse messages reaching the simulated launcher's windows, real or
// posted, logged and turned into clicks and Escape.
#pragma once

#include <windows.h>

// 0 when the message is a key or mouse message (handled), else -1.
LRESULT handle_input(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
