// Starting programs from tests: the tool itself and the fixtures next to it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/run_bounds.h"

struct ChildResult {
    int exit_code;        // -1 when the program could not start or timed out
    int timed_out;        // 1 when it was ended after the time limit
    std::string output;   // everything it wrote to standard output
    RunTicks ticks = {};  // its start, first line and end, for its bounds
};

// Full path of a file next to the running test program.
std::wstring build_path(const wchar_t* file_name);

// Quotes one argument the way CommandLineToArgvW reads it back.
std::wstring quote_argument(const std::wstring& argument);

// CreateProcessW, tried once more after a failure, each failure printed with
// its error: under Wine a start can fail for a moment on a loaded machine,
// which says nothing of the tool.
BOOL create_process(const wchar_t* program, wchar_t* line, BOOL inherit, DWORD flags, STARTUPINFOW* startup,
                    PROCESS_INFORMATION* process);

// Starts a program with arguments, its standard output going into a pipe
// whose read end lands in *output, and with `errors` its standard error into
// another (else it shares ours). 1 on success; the caller closes the handles
// of `process`, `*output` and `*errors`.
int start_program(const std::wstring& program, const std::vector<std::wstring>& arguments,
                  PROCESS_INFORMATION* process, HANDLE* output, HANDLE* errors = nullptr);

// Runs a program with arguments, collects its standard output and waits for
// it to end; after `timeout_ms` it is terminated.
ChildResult run_program(const std::wstring& program, const std::vector<std::wstring>& arguments,
                        DWORD timeout_ms = 60000);

// Runs KestrovV6-Play.exe with the given arguments.
ChildResult run_tool_exe(const std::vector<std::wstring>& arguments, DWORD timeout_ms = 60000);

// The output cut into lines, each without its CR LF.
std::vector<std::string> output_lines(const std::string& output);

// The whole content of a file; empty when it cannot be read.
std::string read_file_bytes(const std::wstring& path);

// UTF-8 of a wide string, for comparisons with report lines.
std::string narrow(const std::wstring& text);

// A path of the build machine (UTF-8) as Wine reaches it: a Unix path
// through drive Z:, with backslashes.
std::wstring windows_path(const std::string& unix_path);
