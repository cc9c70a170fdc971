#include "windows/java_watch.h"

#include <tlhelp32.h>
#include <wchar.h>

#include "windows/discovery.h"

JavaBaseline java_baseline;

int is_java_file_name(const wchar_t* file_name)
{
    return _wcsicmp(file_name, L"javaw.exe") == 0 || _wcsicmp(file_name, L"java.exe") == 0;
}

static unsigned long long filetime_value(FILETIME t)
{
    return ((unsigned long long)t.dwHighDateTime << 32) | t.dwLowDateTime;
}

void record_java_baseline()
{
    // The time first: a process created after it and missing from the list
    // below is new all the same.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    java_baseline.run_started = filetime_value(now);
    java_baseline.session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &java_baseline.session);
    java_baseline.count = list_java_processes(java_baseline.pids);
}

static int in_baseline(const JavaBaseline* baseline, DWORD pid)
{
    for (int i = 0; i < baseline->count && i < MAX_JAVA_PROCESSES; i++)
        if (baseline->pids[i] == pid)
            return 1;
    return 0;
}

static int row_of(const ProcessRow* rows, int count, DWORD pid)
{
    for (int i = 0; i < count; i++)
        if (rows[i].pid == pid)
            return i;
    return -1;
}

// 1 when the process's parents reach the launcher, each no younger than its
// child.
static int started_by_launcher(const ProcessRow* rows, int count, int child, LauncherProcessTest is_launcher,
                               void* context)
{
    for (int steps = 0; steps < MAX_PARENT_STEPS; steps++) {
        DWORD parent_pid = rows[child].parent;
        if (parent_pid == 0 || parent_pid == rows[child].pid)
            return 0;
        int parent = row_of(rows, count, parent_pid);
        if (parent < 0 || rows[parent].created == 0 || rows[parent].created > rows[child].created)
            return 0;
        if (is_launcher(&rows[parent], context))
            return 1;
        child = parent;
    }
    return 0;
}

int game_process_among(const ProcessRow* rows, int count, const JavaBaseline* baseline,
                       LauncherProcessTest is_launcher, void* context)
{
    for (int i = 0; i < count; i++) {
        const ProcessRow* row = &rows[i];
        if (!row->java || row->pid == 0 || in_baseline(baseline, row->pid))
            continue;
        if (row->created == 0 || row->created < baseline->run_started)
            continue;
        if (!row->session_read || row->session != baseline->session)
            continue;
        if (started_by_launcher(rows, count, i, is_launcher, context))
            return i;
    }
    return -1;
}

// The snapshot's rows; the creation time and session are read for java
// processes and, as the chain needs them, their parents only.
static ProcessRow snapshot_rows[MAX_SNAPSHOT_PROCESSES];

static void read_process_times(ProcessRow* row)
{
    row->created = 0;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, row->pid);
    if (!process)
        return;
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user))
        row->created = filetime_value(created);
    CloseHandle(process);
}

static int take_snapshot(ProcessRow* rows, int capacity, int* java_count)
{
    *java_count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && count < capacity;
         more = Process32NextW(snapshot, &entry)) {
        ProcessRow* row = &rows[count++];
        row->pid = entry.th32ProcessID;
        row->parent = entry.th32ParentProcessID;
        row->java = is_java_file_name(entry.szExeFile);
        row->created = 0;
        row->session = 0;
        row->session_read = 0;
        *java_count += row->java;
    }
    CloseHandle(snapshot);
    return count;
}

int list_java_processes(DWORD* pids)
{
    int java_count = 0;
    int count = take_snapshot(snapshot_rows, MAX_SNAPSHOT_PROCESSES, &java_count);
    int listed = 0;
    for (int i = 0; i < count && listed < MAX_JAVA_PROCESSES; i++)
        if (snapshot_rows[i].java)
            pids[listed++] = snapshot_rows[i].pid;
    return listed;
}

struct LauncherProcess {
    DWORD window_pid;
};

static int is_launcher_process(const ProcessRow* row, void* context)
{
    const LauncherProcess* launcher = (const LauncherProcess*)context;
    if (launcher->window_pid != 0 && row->pid == launcher->window_pid)
        return 1;
    wchar_t path[IMAGE_PATH_CAPACITY];
    return process_image_path(row->pid, path) && launcher_exe_match(path);
}

DWORD new_game_process(HWND launcher)
{
    int java_count = 0;
    int count = take_snapshot(snapshot_rows, MAX_SNAPSHOT_PROCESSES, &java_count);
    if (java_count == 0)
        return 0;
    // What the rule reads, read only for the rows it may look at: new java
    // processes and the processes above them.
    for (int i = 0; i < count; i++) {
        ProcessRow* row = &snapshot_rows[i];
        if (!row->java || in_baseline(&java_baseline, row->pid))
            continue;
        read_process_times(row);
        row->session_read = ProcessIdToSessionId(row->pid, &row->session) ? 1 : 0;
        int child = i;
        for (int steps = 0; steps < MAX_PARENT_STEPS; steps++) {
            int parent = row_of(snapshot_rows, count, snapshot_rows[child].parent);
            if (parent < 0 || parent == child || snapshot_rows[parent].created != 0)
                break;
            read_process_times(&snapshot_rows[parent]);
            if (snapshot_rows[parent].created == 0)
                break;  // the chain ends here for the rule too
            child = parent;
        }
    }
    LauncherProcess context = {0};
    if (launcher)
        GetWindowThreadProcessId(launcher, &context.window_pid);
    int game = game_process_among(snapshot_rows, count, &java_baseline, is_launcher_process, &context);
    return game >= 0 ? snapshot_rows[game].pid : 0;
}
