// Runs a program and ends with the exit code that Windows gives its parent
// (GetExitCodeProcess), which is what the Kestrov V6 launcher reads. Under
// Wine the status a Unix shell gets for a Windows process can differ: a
// process that ends with a thread blocked may leave through a thread that
// Wine ends with status 0. This process has one thread.
//   windows_exit_code.exe PROGRAM [ARGS...]
// Standard input, output and error are the program's. 126: it could not be
// started; 125: its code does not fit the byte a Unix parent reads (a crash's
// 0xC0000005 would read as 5, one of the tool's own codes). Both are said on
// standard error.
#include <windows.h>
#include <stdio.h>

// The command line after our own program's name, as the shell quoted it.
static wchar_t* after_program_name(wchar_t* line)
{
    if (*line == L'"') {
        line++;
        while (*line && *line != L'"')
            line++;
        if (*line)
            line++;
    } else {
        while (*line && *line != L' ' && *line != L'\t')
            line++;
    }
    while (*line == L' ' || *line == L'\t')
        line++;
    return line;
}

int wmain()
{
    wchar_t* command = after_program_name(GetCommandLineW());
    if (!*command) {
        fputs("usage: windows_exit_code.exe PROGRAM [ARGS...]\n", stderr);
        return 126;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        fprintf(stderr, "windows_exit_code: cannot start the program (error %lu)\n", GetLastError());
        return 126;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 126;
    if (!GetExitCodeProcess(process.hProcess, &code))
        code = 126;
    CloseHandle(process.hProcess);
    if (code > 255) {
        fprintf(stderr, "windows_exit_code: the program ended with 0x%08lX\n", (unsigned long)code);
        return 125;
    }
    return (int)code;
}
