// Program-wide settings: written by the entry point while it reads the
// command line, read by the rest of the tool. Nothing survives a run.
#pragma once

#include <windows.h>

struct IUIAutomation;

enum { SETTING_TEXT_CAPACITY = 128 };

extern wchar_t profile_name[SETTING_TEXT_CAPACITY];
extern wchar_t profile_pattern[SETTING_TEXT_CAPACITY];
extern int hide_mode;
extern wchar_t front_title[SETTING_TEXT_CAPACITY];
extern int find_only;
extern IUIAutomation* automation;      // owned; none when COM or UIA is unavailable
extern HRESULT automation_status;      // result of joining COM / creating `automation`
// 1 once a call into the launcher's UI overran: the rest of the run goes by
// pixels, as without automation.
extern int automation_given_up;
