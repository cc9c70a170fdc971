#include "app/option_words.h"

int read_option_at(int argc, wchar_t* const* argv, int at, int* kind)
{
    static const struct {
        const wchar_t* word;
        int kind;
    } value_options[] = {
        {L"--profile", OPTION_PROFILE}, {L"--timeout", OPTION_TIMEOUT}, {L"--shot", OPTION_SHOT},
        {L"--diagnose", OPTION_DIAGNOSE}, {L"--front", OPTION_FRONT},
    };
    *kind = OPTION_NONE;
    const wchar_t* word = argv[at];
    if (wcscmp(word, L"--hide") == 0) {
        *kind = OPTION_HIDE;
        return 1;
    }
    if (at + 1 >= argc)
        return 1;
    for (const auto& option : value_options)
        if (wcscmp(word, option.word) == 0) {
            *kind = option.kind;
            return 2;
        }
    return 1;
}
