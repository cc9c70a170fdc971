#include "windows/java_watch.h"

#include <tlhelp32.h>
#include <wchar.h>

JavaBaseline java_baseline;

int is_java_file_name(const wchar_t* file_name)
{
    return _wcsicmp(file_name, L"javaw.exe") == 0 || _wcsicmp(file_name, L"java.exe") == 0;
}

int list_java_processes(DWORD* pids)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && count < MAX_JAVA_PROCESSES;
         more = Process32NextW(snapshot, &entry)) {
        if (is_java_file_name(entry.szExeFile))
            pids[count++] = entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    return count;
}

DWORD new_java_process()
{
    DWORD now[MAX_JAVA_PROCESSES];
    int count = list_java_processes(now);
    for (int i = 0; i < count; i++) {
        int known = 0;
        for (int j = 0; j < java_baseline.count && !known; j++)
            known = now[i] == java_baseline.pids[j];
        if (!known)
            return now[i];
    }
    return 0;
}
