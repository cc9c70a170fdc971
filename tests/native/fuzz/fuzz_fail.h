// A broken rule ends the input's run as a crash would: libFuzzer keeps the input.
#pragma once

#include <stdio.h>
#include <stdlib.h>

[[noreturn]] inline void fail(const char* why)
{
    fprintf(stderr, "broken: %s\n", why);
    abort();
}
