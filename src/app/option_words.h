// Which words of the command line are which option's, as the tool reads
// them: the one reading that the options walk and the diagnosis's record of
// the command share. Pure: it only compares words.
#pragma once

#include <wchar.h>

enum OptionKind {
    OPTION_NONE = 0,  // an unknown word, a stray value, a value option that is the last word
    OPTION_PROFILE,
    OPTION_TIMEOUT,
    OPTION_SHOT,
    OPTION_DIAGNOSE,
    OPTION_FRONT,
    OPTION_HIDE,
};

// The option that argv[at] starts (options come from argument 2 on) into
// *kind, and how many words it takes: 2 for a value option and its value
// (argv[at + 1], whatever it holds), else 1.
int read_option_at(int argc, wchar_t* const* argv, int at, int* kind);
