// The calls by which a press acts on the input and on the launcher's message
// queue, behind a seam: Windows may refuse or change what they do (a cursor
// kept in a ClipCursor rectangle, input or messages to a more privileged
// window refused), which a test shows only by answering for them.
#pragma once

#include <windows.h>

struct InputCalls {
    BOOL(WINAPI* set_cursor_pos)(int x, int y);
    BOOL(WINAPI* get_cursor_pos)(LPPOINT point);
    UINT(WINAPI* send_input)(UINT count, LPINPUT inputs, int size);
    BOOL(WINAPI* post_message)(HWND window, UINT message, WPARAM w, LPARAM l);
    HWND(WINAPI* window_from_point)(POINT point);
};

// The system's own functions; tests may swap any of them.
extern InputCalls input_calls;
void reset_input_calls();
