// Program-wide settings: written by the entry point while it reads the
// command line, read by the rest of the tool. Nothing survives a run.
#pragma once

#include <windows.h>

enum { SETTING_TEXT_CAPACITY = 128 };

extern wchar_t profile_name[SETTING_TEXT_CAPACITY];
extern wchar_t profile_pattern[SETTING_TEXT_CAPACITY];
extern int hide_mode;
extern wchar_t front_title[SETTING_TEXT_CAPACITY];
extern int find_only;
