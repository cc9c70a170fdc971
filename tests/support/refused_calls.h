// Windows refusing or bending what the tool asks of it, for the seams
// input_calls (windows/input_calls.h) and machine.set_foreground.
#pragma once

#include <windows.h>

inline BOOL WINAPI cursor_not_put(int, int)
{
    return FALSE;
}

// Read back off the point, as where a ClipCursor rectangle keeps the cursor.
inline BOOL WINAPI cursor_kept_elsewhere(LPPOINT point)
{
    BOOL read = GetCursorPos(point);
    point->x -= 7;
    return read;
}

// SendInput taking one input fewer than it was given.
inline UINT WINAPI input_cut_short(UINT count, LPINPUT, int)
{
    return count - 1;
}

inline BOOL WINAPI post_refused(HWND, UINT, WPARAM, LPARAM)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// As the foreground lock refuses it.
inline BOOL WINAPI foreground_refused(HWND)
{
    return FALSE;
}
