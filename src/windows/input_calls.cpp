#include "windows/input_calls.h"

InputCalls input_calls = {SetCursorPos, GetCursorPos, SendInput, PostMessageW, WindowFromPoint};

void reset_input_calls()
{
    input_calls = InputCalls{SetCursorPos, GetCursorPos, SendInput, PostMessageW, WindowFromPoint};
}
