#include "app/settings.h"

wchar_t profile_name[SETTING_TEXT_CAPACITY] = L"Kestrov V6";
wchar_t profile_pattern[SETTING_TEXT_CAPACITY] = L"kestrov v6";
int hide_mode = 0;
wchar_t front_title[SETTING_TEXT_CAPACITY] = L"";
int find_only = 0;
