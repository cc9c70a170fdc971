#include "support/tool_run.h"

#include "support/child_process.h"
#include "support/report_grammar.h"

ToolRun run_tool_watched(const std::vector<std::wstring>& arguments, long long limit_ms, const LineSeen& on_line,
                         const ToolTick& on_tick)
{
    ToolRun run{-1, "", "", {}, {}, 0};
    PROCESS_INFORMATION process;
    HANDLE out_read = nullptr, err_read = nullptr;
    ULONGLONG start = GetTickCount64();
    run.ticks.started = run.ticks.ended = start;
    if (!start_program(build_path(L"KestrovV6-Play.exe"), arguments, &process, &out_read, &err_read))
        return run;
    HANDLE pipes[2] = {out_read, err_read};
    std::string* into[2] = {&run.output, &run.errors};
    size_t line_start = 0;
    int ended = 0;
    for (int open = 2; open > 0;) {
        ULONGLONG tick = GetTickCount64();
        long long now = (long long)(tick - start);
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
            if (run.lines.empty())
                run.ticks.first_line = tick;
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
    run.ticks.ended = GetTickCount64();
    run.wall_ms = (long long)(run.ticks.ended - start);
    expect_report_grammar(run.lines, arguments);
    return run;
}
