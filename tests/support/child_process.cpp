#include "support/child_process.h"

#include <stdio.h>

#include "support/report_grammar.h"

std::wstring build_path(const wchar_t* file_name)
{
    wchar_t own[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH);
    std::wstring path(own, length);
    size_t slash = path.find_last_of(L"\\/");
    return path.substr(0, slash + 1) + file_name;
}

BOOL create_process(const wchar_t* program, wchar_t* line, BOOL inherit, DWORD flags, STARTUPINFOW* startup,
                    PROCESS_INFORMATION* process)
{
    for (int attempt = 0;; attempt++) {
        if (CreateProcessW(program, line, nullptr, nullptr, inherit, flags, nullptr, nullptr, startup, process))
            return TRUE;
        fprintf(stderr, "CreateProcess failed with error %lu%s\n", GetLastError(), attempt == 0 ? ", once more" : "");
        if (attempt == 1)
            return FALSE;
        Sleep(500);
    }
}

std::wstring quote_argument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    for (size_t i = 0;; i++) {
        size_t backslashes = 0;
        while (i < argument.size() && argument[i] == L'\\') {
            backslashes++;
            i++;
        }
        if (i == argument.size()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        if (argument[i] == L'"')
            quoted.append(backslashes * 2 + 1, L'\\');
        else
            quoted.append(backslashes, L'\\');
        quoted.push_back(argument[i]);
    }
    quoted.push_back(L'"');
    return quoted;
}

int start_program(const std::wstring& program, const std::vector<std::wstring>& arguments,
                  PROCESS_INFORMATION* process, HANDLE* output, HANDLE* errors)
{
    std::wstring command = quote_argument(program);
    for (const std::wstring& argument : arguments)
        command += L" " + quote_argument(argument);

    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    HANDLE error_read = nullptr, error_write = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0))
        return 0;
    if (errors && !CreatePipe(&error_read, &error_write, &inherit, 0)) {
        CloseHandle(read_end);
        CloseHandle(write_end);
        return 0;
    }
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    if (errors)
        SetHandleInformation(error_read, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = errors ? error_write : GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(0);
    BOOL started = create_process(program.c_str(), line.data(), TRUE, 0, &startup, process);
    // Only the child writes now: each pipe ends when it does.
    CloseHandle(write_end);
    if (errors)
        CloseHandle(error_write);
    if (!started) {
        CloseHandle(read_end);
        if (errors)
            CloseHandle(error_read);
        return 0;
    }
    *output = read_end;
    if (errors)
        *errors = error_read;
    return 1;
}

ChildResult run_program(const std::wstring& program, const std::vector<std::wstring>& arguments,
                        DWORD timeout_ms)
{
    ChildResult result{-1, 0, std::string()};
    PROCESS_INFORMATION process;
    HANDLE read_end = nullptr;
    result.ticks.started = result.ticks.ended = GetTickCount64();
    if (!start_program(program, arguments, &process, &read_end))
        return result;
    CloseHandle(process.hThread);

    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    char chunk[4096];
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr))
            break;  // the writer has gone and everything was read
        if (available > 0) {
            DWORD got = 0;
            if (!ReadFile(read_end, chunk, available < sizeof chunk ? available : sizeof chunk, &got, nullptr))
                break;
            result.output.append(chunk, got);
            if (!result.ticks.first_line && result.output.find('\n') != std::string::npos)
                result.ticks.first_line = GetTickCount64();
            continue;
        }
        if (GetTickCount64() > deadline) {
            TerminateProcess(process.hProcess, 1);
            result.timed_out = 1;
            break;
        }
        Sleep(5);
    }
    CloseHandle(read_end);
    WaitForSingleObject(process.hProcess, 10000);
    DWORD code = (DWORD)-1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    result.ticks.ended = GetTickCount64();
    result.exit_code = result.timed_out ? -1 : (int)code;
    return result;
}

ChildResult run_tool_exe(const std::vector<std::wstring>& arguments, DWORD timeout_ms)
{
    ChildResult result = run_program(build_path(L"KestrovV6-Play.exe"), arguments, timeout_ms);
    // Whole lines only: a run ended at the limit may stop inside one.
    std::vector<std::string> lines = output_lines(result.output);
    if (!lines.empty() && result.output.back() != '\n')
        lines.pop_back();
    expect_report_grammar(lines, arguments);
    return result;
}

std::vector<std::string> output_lines(const std::string& output)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string read_file_bytes(const std::wstring& path)
{
    std::string bytes;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file)
        return bytes;
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, got);
    fclose(file);
    return bytes;
}

std::wstring windows_path(const std::string& unix_path)
{
    int units = MultiByteToWideChar(CP_UTF8, 0, unix_path.c_str(), (int)unix_path.size(), nullptr, 0);
    std::wstring path((size_t)units, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, unix_path.c_str(), (int)unix_path.size(), &path[0], units);
    if (!path.empty() && path[0] == L'/')
        path = L"Z:" + path;
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

std::string narrow(const std::wstring& text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string out((size_t)bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], bytes, nullptr, nullptr);
    return out;
}
