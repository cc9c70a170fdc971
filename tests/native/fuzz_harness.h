// What the native fuzzers share: a random stream per input, and the input
// being read kept where a crash can save it.
#pragma once

#include <stddef.h>
#include <time.h>

#include <string>

struct Random {
    unsigned long long state;
};

// splitmix64: every input gets its own stream from (seed, index).
unsigned long long next(Random* random);
// 0 .. bound - 1 (0 for a bound of 0).
size_t below(Random* random, size_t bound);

// The input being read (null between inputs), its index, and where a crash
// or a sanitizer report (with abort_on_error=1, as scripts/native-checks.sh
// sets it) saves it: `name` says whose fuzz it was.
void watch_input(const char* name, const char* save_path);
void set_current_input(const std::string* input, unsigned long long index);
// Saves the input being read now, with a line on standard error.
void save_current_input();

double seconds_since(const timespec& start);

// The options every fuzzer takes: --seed N, --inputs N, --only I (that
// input alone) and --save FILE. The inputs tried: [first, end) (the last of
// --inputs and --only decides), all of them: no time limit, so a run's
// coverage does not depend on the machine.
struct FuzzRun {
    unsigned long long seed;
    unsigned long long first;
    unsigned long long end;
    const char* save_path;
};

FuzzRun fuzz_run(const char* save_path);
// 1 when `option` is one of those (its value read), else 0.
int read_fuzz_option(FuzzRun* run, const char* option, const char* value);
