#include "support/tool_run.h"

#include "support/child_process.h"

ToolRun run_tool_watched(const std::vector<std::wstring>& arguments, long long limit_ms, const LineSeen& on_line,
                         const ToolTick& on_tick)
{
    ToolRun run{-1, "", "", {}, {}, 0};
    std::wstring command = quote_argument(build_path(L"KestrovV6-Play.exe"));
    for (const std::wstring& argument : arguments)
        command += L" " + quote_argument(argument);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out_read = nullptr, out_write = nullptr, err_read = nullptr, err_write = nullptr;
    if (!CreatePipe(&out_read, &out_write, &inherit, 0))
        return run;
    if (!CreatePipe(&err_read, &err_write, &inherit, 0)) {
        CloseHandle(out_read);
        CloseHandle(out_write);
        return run;
    }
    SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out_write;
    startup.hStdError = err_write;
    PROCESS_INFORMATION process;
    ULONGLONG start = GetTickCount64();
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(0);
    BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    // Only the child writes now: each pipe ends when it does.
    CloseHandle(out_write);
    CloseHandle(err_write);
    if (!started) {
        CloseHandle(out_read);
        CloseHandle(err_read);
        return run;
    }
    HANDLE pipes[2] = {out_read, err_read};
    std::string* into[2] = {&run.output, &run.errors};
    size_t line_start = 0;
    int ended = 0;
    for (int open = 2; open > 0;) {
        long long now = (long long)(GetTickCount64() - start);
        if (on_tick)
            on_tick(now);
        if (now > limit_ms && !ended) {
            TerminateProcess(process.hProcess, 0xDEAD);
            ended = 1;
        }
        open = 0;
        int got_any = 0;
        for (int i = 0; i < 2; i++) {
            DWORD available = 0;
            if (!pipes[i] || !PeekNamedPipe(pipes[i], nullptr, 0, nullptr, &available, nullptr)) {
                if (pipes[i])
                    CloseHandle(pipes[i]);
                pipes[i] = nullptr;
                continue;
            }
            open++;
            char chunk[4096];
            DWORD got = 0;
            if (available && ReadFile(pipes[i], chunk, available < sizeof chunk ? available : sizeof chunk, &got, nullptr)) {
                into[i]->append(chunk, got);
                got_any = 1;
            }
        }
        for (size_t end; (end = run.output.find('\n', line_start)) != std::string::npos; line_start = end + 1) {
            std::string text = run.output.substr(line_start, end - line_start);
            if (!text.empty() && text.back() == '\r')
                text.pop_back();
            run.lines.push_back(text);
            run.line_ms.push_back(now);
            if (on_line)
                on_line(text, now);
        }
        if (!got_any)
            Sleep(5);
    }
    WaitForSingleObject(process.hProcess, 10000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    run.exit_code = (int)code;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    run.wall_ms = (long long)(GetTickCount64() - start);
    return run;
}
