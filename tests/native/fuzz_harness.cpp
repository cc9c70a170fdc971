#include "fuzz_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

const std::string* current_input = nullptr;
unsigned long long current_index = 0;
const char* fuzz_name = "fuzz";
const char* save_path = "fuzz-failure";

// Also runs from the SIGABRT a sanitizer report ends in: plain calls only.
void save_input()
{
    if (!current_input)
        return;
    int file = open(save_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file >= 0) {
        size_t done = 0;
        while (done < current_input->size()) {
            ssize_t wrote = write(file, current_input->data() + done, current_input->size() - done);
            if (wrote <= 0)
                break;
            done += (size_t)wrote;
        }
        close(file);
    }
    char note[256];
    int length = snprintf(note, sizeof note, "%s: input %llu saved to %s\n", fuzz_name, current_index, save_path);
    if (length > 0 && write(2, note, (size_t)length) < 0)
        return;
}

void save_on_abort(int)
{
    save_input();
}

}  // namespace

unsigned long long next(Random* random)
{
    unsigned long long z = (random->state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

size_t below(Random* random, size_t bound)
{
    return bound ? (size_t)(next(random) % bound) : 0;
}

void watch_input(const char* name, const char* path)
{
    fuzz_name = name;
    save_path = path;
    signal(SIGABRT, save_on_abort);
}

void set_current_input(const std::string* input, unsigned long long index)
{
    current_input = input;
    current_index = index;
}

void save_current_input()
{
    save_input();
}

double seconds_since(const timespec& start)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)(now.tv_sec - start.tv_sec) + (double)(now.tv_nsec - start.tv_nsec) / 1e9;
}

FuzzRun fuzz_run(const char* save_path)
{
    FuzzRun run = {1, 0, 100000, save_path};
    return run;
}

int read_fuzz_option(FuzzRun* run, const char* option, const char* value)
{
    if (!strcmp(option, "--seed"))
        run->seed = strtoull(value, nullptr, 10);
    else if (!strcmp(option, "--inputs"))
        run->end = strtoull(value, nullptr, 10);
    else if (!strcmp(option, "--only")) {
        run->first = strtoull(value, nullptr, 10);
        run->end = run->first + 1;
    } else if (!strcmp(option, "--save"))
        run->save_path = value;
    else
        return 0;
    return 1;
}
