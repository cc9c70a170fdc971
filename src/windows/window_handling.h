// What the tool does to the launcher's windows themselves.
#pragma once

#include <windows.h>

// Name of the window property that marks a window hidden by the tool. Its
// value is the extended style from before the hiding plus HIDDEN_MARK_BIT.
#define HIDDEN_PROPERTY L"KestrovV6.Hidden"
const unsigned long long HIDDEN_MARK_BIT = 0x10000000000ULL;

enum { ANSWER_TIMEOUT_MS = 300 };

// 1 when the window's thread takes a message within 300 ms (at once 0 when
// Windows already knows it hung). Style changes and showing wait for that
// thread, so the operations below leave a window alone that does not answer:
// a launcher that stopped pumping messages must not hold the tool.
int window_answers(HWND window);

void hide_window(HWND window);
void unhide_window(HWND window);
void bring_to_front(HWND window);
void send_escape(HWND window);
// 1 when the window no longer exists, is not visible or is minimised.
int window_gone(HWND window);
// Unhides every launcher window (and brings `window` forward when it is
// still one), then ends hide mode. `window` may be null.
void restore_windows(HWND window);
