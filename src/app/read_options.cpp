#include "app/read_options.h"

#include <stdlib.h>

#include "app/option_words.h"
#include "app/settings.h"

static void copy_setting(wchar_t* destination, const wchar_t* value)
{
    wcsncpy(destination, value, SETTING_TEXT_CAPACITY - 1);
    destination[SETTING_TEXT_CAPACITY - 1] = 0;
}

void read_options(int argc, wchar_t** argv, CommandOptions* options)
{
    options->timeout_seconds = DEFAULT_TIMEOUT_SECONDS;
    options->shot = nullptr;
    options->diagnose = nullptr;
    int words = 1;
    for (int i = 2; i < argc; i += words) {
        int kind = OPTION_NONE;
        words = read_option_at(argc, argv, i, &kind);
        const wchar_t* value = words == 2 ? argv[i + 1] : nullptr;
        if (kind == OPTION_PROFILE)
            copy_setting(profile_name, value);
        else if (kind == OPTION_TIMEOUT)
            options->timeout_seconds = _wtoi(value);
        else if (kind == OPTION_SHOT)
            options->shot = value;
        else if (kind == OPTION_DIAGNOSE)
            options->diagnose = value;
        else if (kind == OPTION_FRONT)
            copy_setting(front_title, value);
        else if (kind == OPTION_HIDE)
            hide_mode = 1;
    }
}

int limit_timeout(int seconds)
{
    if (seconds > MAX_TIMEOUT_SECONDS)
        seconds = MAX_TIMEOUT_SECONDS;
    if (seconds <= 0)
        seconds = 1;
    return seconds;
}
