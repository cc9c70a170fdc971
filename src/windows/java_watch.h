// Watching for the game's java process: one the launcher started after the
// run began. Any other java process on the machine (an IDE, a server, another
// user's game, the calling launcher's own JVM) confirms nothing.
#pragma once

#include <windows.h>

enum {
    MAX_JAVA_PROCESSES = 256,
    // One snapshot's processes read for the parent chain (about 24 bytes
    // each); a machine with more is read up to here.
    MAX_SNAPSHOT_PROCESSES = 4096,
    // Parents climbed from a java process looking for the launcher: the game
    // may come through a runtime's own starter.
    MAX_PARENT_STEPS = 8,
};

struct JavaBaseline {
    int count;
    DWORD pids[MAX_JAVA_PROCESSES];  // java processes running when the run began
    // When the run began (FILETIME units, UTC) and the tool's own session: the
    // game is created after the one and runs in the other.
    unsigned long long run_started;
    DWORD session;
};

extern JavaBaseline java_baseline;

// 1 when a file name is javaw.exe or java.exe, ignoring case.
int is_java_file_name(const wchar_t* file_name);
// Fills `pids` (MAX_JAVA_PROCESSES entries) in snapshot order; gives the count.
int list_java_processes(DWORD* pids);
// The run's start: its time, the tool's session and the java processes now
// running.
void record_java_baseline();

// A process as one snapshot lists it: plain data, so that the rule below can
// be held with made-up process trees.
struct ProcessRow {
    DWORD pid;
    DWORD parent;
    int java;                   // its file name is javaw.exe or java.exe
    unsigned long long created;  // FILETIME units; 0 when it could not be read
    DWORD session;
    int session_read;
};

// Whether a process is the launcher's: the product opens the process and
// tests its image as discovery does.
typedef int (*LauncherProcessTest)(const ProcessRow* row, void* context);

// Index of the first row that is the launcher's game, or -1: a java process
// not in the baseline, created after the run began, in the tool's session,
// whose parents reach a launcher process within MAX_PARENT_STEPS, each parent
// created no later than its child (a parent id of a process created later is
// a reused id: the real parent has gone).
int game_process_among(const ProcessRow* rows, int count, const JavaBaseline* baseline,
                       LauncherProcessTest is_launcher, void* context);

// The launcher's game now running, or 0. `launcher` is the window pressed:
// its process counts as the launcher's whatever its image, as do processes
// whose image discovery takes for the launcher's.
DWORD new_game_process(HWND launcher);
