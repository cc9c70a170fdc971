// Watching for the game's java process.
#pragma once

#include <windows.h>

enum { MAX_JAVA_PROCESSES = 256 };

struct JavaBaseline {
    int count;
    DWORD pids[MAX_JAVA_PROCESSES];  // java processes running when the run began
};

extern JavaBaseline java_baseline;

// 1 when a file name is javaw.exe or java.exe, ignoring case.
int is_java_file_name(const wchar_t* file_name);
// Fills `pids` (MAX_JAVA_PROCESSES entries) in snapshot order; gives the count.
int list_java_processes(DWORD* pids);
// First java process now running that is not in java_baseline, or 0.
DWORD new_java_process();
