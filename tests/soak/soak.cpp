// Fault soak: the real tool, run many times against the simulated launcher,
// with one launcher fault drawn per run, and the tool's promises checked
// after every run. Every run follows from (seed, run index) alone, so a
// failing run is replayed by its own command line.
//
//   fault_soak.exe [--seed N] [--runs N] [--run I] [--walk]
//     --run I   only run I of the seed (the replay of one run)
//     --walk    run I takes fault I modulo the table (the short soak in ctest)
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/simulated_launcher.h"
#include "windows/window_handling.h"

namespace {

// How long a run may go on past its normal end. The tool waits up to about
// 6-7 s for a busy launcher window before giving it up as hung.
const int RUN_END_BOUND_MS = 8000;
// The normal end of a run that found a target: two press methods confirmed
// for up to 4.5 s each, then a 12 s watch after a confirmed press.
const int PRESS_BUDGET_MS = 2 * 4500;
const int WATCH_MS = 12000;
const int HARD_LIMIT_MS = 60000;  // the soak ends a tool that runs this long
// The pixel route trusts a green button 3 s after the window first shows.
const int TIMEOUT_S = 6;

enum SoakAction { NO_ACTION, KILL_LAUNCHER };

// One fault: simulator arguments, where "%u" in the value takes a moment (ms)
// drawn from lo..hi (a quick command draws from lo..QUICK_SPAN_MS).
struct Fault {
    const char* name;
    const wchar_t* option;
    const wchar_t* value;
    unsigned lo, hi;
    SoakAction action;
};

const unsigned QUICK_SPAN_MS = 1500;
const Fault FAULTS[] = {
    {"busy-stalls", L"--stalls", L"%u,100,4000", 1, 1000000, NO_ACTION},  // the moment seeds the stalls
    {"hang", L"--hang-after-ms", L"%u", 300, 8000, NO_ACTION},
    {"killed", nullptr, nullptr, 200, 9000, KILL_LAUNCHER},
    {"window-closed", L"--close-after-ms", L"%u", 500, 9000, NO_ACTION},
    {"button-late", L"--button-after-ms", L"%u", 500, 6500, NO_ACTION},
    {"hide-on-click", L"--on-click", L"hide-button", 0, 0, NO_ACTION},
    {"clicks-ignored", L"--on-click", L"ignore", 0, 0, NO_ACTION},
    // A pop-up covers the page until Escape: press sends "POPUP? Escape" when
    // it sees no button for a while; find touches nothing and ends NOTFOUND.
    {"escape-popup", L"--popup-until-escape", nullptr, 0, 0, NO_ACTION},
    {"minimised", L"--minimized", nullptr, 0, 0, NO_ACTION},
    {"two-windows", L"--windows", L"2", 0, 0, NO_ACTION},
    {"layered", L"--layered", nullptr, 0, 0, NO_ACTION},
};
const int FAULT_COUNT = sizeof FAULTS / sizeof FAULTS[0];

const char* const COMMANDS[] = {"press", "find", "show", "minimize"};
enum { PRESS, FIND, SHOW, MINIMIZE, COMMAND_COUNT };
const unsigned EXITS[COMMAND_COUNT] = {(1 << 0) | (1 << 2) | (1 << 3) | (1 << 4), (1 << 0) | (1 << 2) | (1 << 3),
                                       1 << 0, 1 << 0};

// The report lines of the README, each with the commands that may print it.
struct LinePattern {
    const char* pattern;
    unsigned commands;
};
const unsigned SEARCH = (1 << PRESS) | (1 << FIND);
const LinePattern GRAMMAR[] = {
    {"WAITING window", SEARCH},
    {"WINDOW -?\\d+ -?\\d+ \\d+ \\d+ .*", SEARCH},
    {"POPUP closed with .*", 1 << PRESS},
    {"POPUP\\? Escape", 1 << PRESS},
    {"NOT_SELECTED", SEARCH},
    {"LOGIN", SEARCH},
    {"FOUND (uia|uia\\+icon|pixels) -?\\d+ -?\\d+ \\d+ \\d+", SEARCH},
    {"FOUND (uia|uia\\+icon|pixels) again", 1 << PRESS},
    {"TRY (invoke|legacy|message|click)", 1 << PRESS},
    {"GAME \\d+", 1 << PRESS},
    {"PRESSED (invoke|legacy|message|click)", 1 << PRESS},
    {"STUCK", 1 << PRESS},
    {"NOTFOUND", SEARCH},
    {"SHOWN \\d+", 1 << SHOW},
    {"MINIMIZED \\d+", 1 << MINIMIZE},
};

const char* const VIOLATIONS[] = {"setup",        "crash",       "stderr",     "exit-code", "exit-vs-lines",
                                  "grammar",      "not-crlf",    "wall-time",  "left-hidden",
                                  "hidden-after-show", "hung-hidden-without-mark"};
enum { V_SETUP, V_CRASH, V_STDERR, V_EXIT, V_EXIT_LINES, V_GRAMMAR, V_CRLF, V_WALL, V_HIDDEN, V_SHOW,
       V_HUNG_MARK, V_KINDS };

const char* const OUTCOMES[] = {"PRESSED", "FOUND", "STUCK", "NOTFOUND", "NOTFOUND3", "SHOWN", "MINIMIZED", "other"};
enum { O_PRESSED, O_FOUND, O_STUCK, O_NOTFOUND, O_LOGIN, O_SHOWN, O_MINIMIZED, O_OTHER, O_KINDS };

struct Totals {
    int outcomes[FAULT_COUNT][O_KINDS];
    int hung_kept[FAULT_COUNT];
    int failed[FAULT_COUNT];  // runs with a violation
    int violations[V_KINDS];
    int failed_runs;
    long long worst_past_end_ms;
};

struct ToolRun {
    int exit_code;
    std::string output, errors;
    std::vector<std::string> lines;
    std::vector<long long> line_ms;  // when each line came, from the start
    long long wall_ms;
};

struct Plan {
    int fault, command, hide;
    unsigned moment;
    unsigned delay;  // show and minimize: how long after the hiding they come
    std::vector<std::wstring> launcher_args;
    std::string described;
};

// Draws everything a run does from its own stream of (seed, run index).
Plan plan_run(unsigned seed, int run, int walk)
{
    std::seed_seq seeds{seed, (unsigned)run};
    std::mt19937 random(seeds);
    Plan plan;
    plan.fault = walk ? run % FAULT_COUNT : (int)(random() % FAULT_COUNT);
    plan.command = (int)(random() % COMMAND_COUNT);
    plan.hide = (int)(random() % 2);
    const Fault& fault = FAULTS[plan.fault];
    unsigned hi = plan.command >= SHOW && fault.hi > QUICK_SPAN_MS ? QUICK_SPAN_MS : fault.hi;
    plan.moment = fault.hi ? fault.lo + (unsigned)(random() % (hi - fault.lo + 1)) : 0;
    // A quick command comes at a random point of the fault, not always first.
    plan.delay = plan.command >= SHOW ? (unsigned)(random() % 2501) : 0;
    plan.launcher_args = {L"--marker", L"--lifetime-ms", L"90000"};
    if (fault.option)
        plan.launcher_args.push_back(fault.option);
    if (fault.value) {
        wchar_t value[64];
        swprintf(value, 64, fault.value, plan.moment);
        plan.launcher_args.push_back(value);
    }
    char text[200];
    snprintf(text, sizeof text, "fault %s, command %s%s, moment %u, delay %u ms", fault.name,
             COMMANDS[plan.command], plan.hide ? " --hide" : "", plan.moment, plan.delay);
    plan.described = text;
    return plan;
}

// Runs the tool with its standard output and error in pipes, noting when each
// line comes; kills the launcher at `kill_at_ms` after the start when given.
ToolRun run_tool(const std::vector<std::wstring>& arguments, SimulatedLauncher* launcher, long long kill_at_ms)
{
    ToolRun run{-1, "", "", {}, {}, 0};
    std::wstring command = quote_argument(build_path(L"KestrovV6-Play.exe"));
    for (const std::wstring& argument : arguments)
        command += L" " + quote_argument(argument);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out_read, out_write, err_read, err_write;
    CreatePipe(&out_read, &out_write, &inherit, 0);
    CreatePipe(&err_read, &err_write, &inherit, 0);
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
    CloseHandle(out_write);
    CloseHandle(err_write);
    if (started) {
        HANDLE pipes[2] = {out_read, err_read};
        std::string* into[2] = {&run.output, &run.errors};
        size_t line_start = 0;
        for (int open = 2; open > 0;) {
            long long now = (long long)(GetTickCount64() - start);
            if (kill_at_ms >= 0 && now >= kill_at_ms && launcher->process.hProcess) {
                TerminateProcess(launcher->process.hProcess, 1);
                WaitForSingleObject(launcher->process.hProcess, 5000);
                kill_at_ms = -1;
            }
            if (now > HARD_LIMIT_MS)
                TerminateProcess(process.hProcess, 0xDEAD);
            open = 0;
            int got_any = 0;
            for (int i = 0; i < 2; i++) {
                DWORD available = 0;
                if (!pipes[i] || !PeekNamedPipe(pipes[i], nullptr, 0, nullptr, &available, nullptr)) {
                    pipes[i] = pipes[i] ? (CloseHandle(pipes[i]), nullptr) : nullptr;
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
    } else {
        CloseHandle(out_read);
        CloseHandle(err_read);
    }
    run.wall_ms = (long long)(GetTickCount64() - start);
    return run;
}

// 1 when a window is not plainly visible: the tool's mark, click-through,
// layered below full alpha, or layered when it was not before; none of
// these reads waits for the window's thread.
int looks_hidden(HWND window, LONG_PTR layered_before)
{
    LONG_PTR style = GetWindowLongPtrW(window, GWL_EXSTYLE);
    BYTE alpha = 255;
    DWORD flags = 0;
    int faded = (style & WS_EX_LAYERED) && (!layered_before || !GetLayeredWindowAttributes(window, nullptr, &alpha, &flags) ||
                                            ((flags & LWA_ALPHA) && alpha < 255));
    return GetPropW(window, HIDDEN_PROPERTY) || (style & WS_EX_TRANSPARENT) || faded;
}

int violate(Totals* totals, int kind, const std::string& detail, std::string* why)
{
    totals->violations[kind]++;
    *why += "  " + std::string(VIOLATIONS[kind]) + ": " + detail + "\n";
    return 1;
}

// Counts the windows left hidden (`kind` violations) and the hung ones kept
// hidden with their mark; a hung window hidden without the mark is lost.
int check_windows(const SimulatedLauncher* launcher, LONG_PTR layered_before, int kind, Totals* totals,
                  int fault, std::string* why)
{
    int bad = 0;
    // Visible windows only (a hung one is still listed): a window the
    // launcher itself took away (closing) is not left hidden.
    for (HWND window : launcher_windows(launcher)) {
        if (!looks_hidden(window, layered_before))
            continue;
        int marked = GetPropW(window, HIDDEN_PROPERTY) != nullptr;
        int hung = IsHungAppWindow(window);
        char text[120];
        snprintf(text, sizeof text, "window %p mark %d exstyle %08lx hung %d", (void*)window, marked,
                 (unsigned long)GetWindowLongPtrW(window, GWL_EXSTYLE), hung);
        if (hung && marked)
            totals->hung_kept[fault]++;
        else
            bad += violate(totals, hung ? V_HUNG_MARK : kind, text, why);
    }
    return bad;
}

// The checks that need only the tool's own run.
int check_run(const Plan& plan, const ToolRun& run, Totals* totals, std::string* why)
{
    int bad = 0;
    unsigned code = (unsigned)run.exit_code;
    char hex[16];
    snprintf(hex, sizeof hex, "0x%08x", code);
    // Wine reports a crash on its own Unix stderr, not in our pipe: the
    // NTSTATUS exit code is what shows it.
    if (code >= 0xC0000000u)
        bad += violate(totals, V_CRASH, std::string("exit code ") + hex, why);
    else if (code > 31 || !(EXITS[plan.command] & (1u << code)))
        bad += violate(totals, V_EXIT, "exit code " + std::to_string(run.exit_code), why);
    if (!run.errors.empty())
        bad += violate(totals, V_STDERR, run.errors, why);
    for (size_t i = 0; i < run.output.size(); i++)
        if (run.output[i] == '\n' && (i == 0 || run.output[i - 1] != '\r')) {
            bad += violate(totals, V_CRLF, "a line ends without CR LF", why);
            break;
        }
    if (!run.output.empty() && run.output.back() != '\n')
        bad += violate(totals, V_CRLF, "the output ends inside a line", why);
    int pressed = 0;
    long long found_ms = -1;
    for (size_t i = 0; i < run.lines.size(); i++) {
        int matched = 0;
        for (const LinePattern& pattern : GRAMMAR)
            matched |= (pattern.commands & (1u << plan.command)) && std::regex_match(run.lines[i], std::regex(pattern.pattern));
        if (!matched)
            bad += violate(totals, V_GRAMMAR, "\"" + run.lines[i] + "\"", why);
        pressed |= run.lines[i].compare(0, 8, "PRESSED ") == 0;
        if (found_ms < 0 && run.lines[i].compare(0, 6, "FOUND ") == 0)
            found_ms = run.line_ms[i];
    }
    // The last line says how the run ended; it must agree with the exit code.
    std::string last = run.lines.empty() ? "" : run.lines.back();
    int agrees = plan.command == SHOW       ? last.compare(0, 6, "SHOWN ") == 0
                 : plan.command == MINIMIZE ? last.compare(0, 10, "MINIMIZED ") == 0
                 : run.exit_code == 0       ? (plan.command == FIND ? last.compare(0, 6, "FOUND ") == 0 : pressed)
                 : run.exit_code == 4       ? last == "STUCK"
                                            : last == "NOTFOUND";
    if (!agrees && code < 0xC0000000u)
        bad += violate(totals, V_EXIT_LINES, "exit code " + std::to_string(run.exit_code) + ", last line \"" + last + "\"", why);
    // The search ends at the time-out; a target found starts a press and a watch that run to their own ends.
    long long normal_end = plan.command >= SHOW ? 0 : TIMEOUT_S * 1000LL;
    if (found_ms >= 0 && plan.command == PRESS)
        normal_end = found_ms + PRESS_BUDGET_MS + (pressed ? WATCH_MS : 0);
    if (run.wall_ms - normal_end > totals->worst_past_end_ms)
        totals->worst_past_end_ms = run.wall_ms - normal_end;
    if (run.wall_ms > normal_end + RUN_END_BOUND_MS)
        bad += violate(totals, V_WALL, std::to_string(run.wall_ms) + " ms, normal end " + std::to_string(normal_end) + " ms", why);

    int outcome = code >= 0xC0000000u ? O_OTHER
                  : plan.command == SHOW ? O_SHOWN
                  : plan.command == MINIMIZE ? O_MINIMIZED
                  : run.exit_code == 0 ? (plan.command == PRESS ? O_PRESSED : O_FOUND)
                  : run.exit_code == 2 ? O_NOTFOUND
                  : run.exit_code == 3 ? O_LOGIN
                  : run.exit_code == 4 ? O_STUCK
                                       : O_OTHER;
    totals->outcomes[plan.fault][outcome]++;
    return bad;
}

std::string replay_command(unsigned seed, int run, int walk)
{
    wchar_t own[MAX_PATH];
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    std::string path = narrow(own);
    if (path.size() > 2 && path[1] == ':')
        path = path.substr(2);  // Wine's Z: drive is the Unix root
    for (char& c : path)
        c = c == '\\' ? '/' : c;
    return "tools/wine-run " + path + " --seed " + std::to_string(seed) + " --run " + std::to_string(run) +
           (walk ? " --walk" : "");
}

// One run: start the launcher with its fault, run the command, check.
// Gives the number of violations.
int soak_run(unsigned seed, int index, int walk, Totals* totals)
{
    Plan plan = plan_run(seed, index, walk);
    std::string why;
    int bad = 0;
    ToolRun run{-1, "", "", {}, {}, 0};
    SimulatedLauncher launcher{};
    if (!start_launcher(&launcher, plan.launcher_args)) {
        bad += violate(totals, V_SETUP, "the simulated launcher did not show a window", &why);
    } else {
        LONG_PTR layered_before = GetWindowLongPtrW(launcher.window, GWL_EXSTYLE) & WS_EX_LAYERED;
        // show and minimize find the launcher as an earlier press --hide left it.
        if (plan.command >= SHOW)
            for (HWND window : launcher_windows(&launcher))
                hide_window(window);
        Sleep(plan.delay);
        std::vector<std::wstring> arguments = {std::wstring(COMMANDS[plan.command], COMMANDS[plan.command] + strlen(COMMANDS[plan.command]))};
        if (plan.command <= FIND)
            arguments.insert(arguments.end(), {L"--timeout", std::to_wstring(TIMEOUT_S)});
        if (plan.hide)
            arguments.push_back(L"--hide");
        // The moment counts from the hiding; one already past kills at the tool's start.
        long long kill_at = (long long)plan.moment - plan.delay;
        kill_at = FAULTS[plan.fault].action != KILL_LAUNCHER ? -1 : kill_at < 0 ? 0 : kill_at;
        run = run_tool(arguments, &launcher, kill_at);
        bad += check_run(plan, run, totals, &why);
        int pressed = run.exit_code == 0 && plan.command == PRESS;
        if (!pressed) {
            bad += check_windows(&launcher, layered_before, V_HIDDEN, totals, plan.fault, &why);
        } else {
            // After a press the launcher stays hidden until show brings it back.
            ToolRun shown = run_tool({L"show"}, &launcher, -1);
            if (shown.exit_code != 0)
                bad += violate(totals, V_EXIT, "show after the press gave " + std::to_string(shown.exit_code), &why);
            bad += check_windows(&launcher, layered_before, V_SHOW, totals, plan.fault, &why);
        }
    }
    if (bad) {
        totals->failed_runs++;
        totals->failed[plan.fault]++;
        printf("FAIL seed %u run %d: %s\n%s  wall %lld ms, exit code %d (0x%x)\n  tool's output:\n", seed, index,
               plan.described.c_str(), why.c_str(), run.wall_ms, run.exit_code, (unsigned)run.exit_code);
        for (size_t i = 0; i < run.lines.size(); i++)
            printf("    %6lld ms  %s\n", run.line_ms[i], run.lines[i].c_str());
        std::vector<std::string> log = launcher_log(&launcher);
        printf("  launcher log (last %d of %d lines):\n", log.size() < 25 ? (int)log.size() : 25, (int)log.size());
        for (size_t i = log.size() > 25 ? log.size() - 25 : 0; i < log.size(); i++)
            printf("    %s\n", log[i].c_str());
        printf("  replay: %s\n", replay_command(seed, index, walk).c_str());
    } else {
        printf("ok   run %3d  %-68s exit %d  %5lld ms\n", index, plan.described.c_str(), run.exit_code, run.wall_ms);
    }
    fflush(stdout);
    stop_launcher(&launcher);
    return bad;
}

void print_summary(const Totals* totals, int runs, long long elapsed_ms)
{
    printf("\n| fault |");
    for (const char* outcome : OUTCOMES)
        printf(" %s |", outcome);
    printf(" hung, kept hidden | runs with violations |\n|---|");
    for (int i = 0; i <= O_KINDS + 1; i++)
        printf("---|");
    printf("\n");
    for (int f = 0; f < FAULT_COUNT; f++) {
        printf("| %s |", FAULTS[f].name);
        for (int o = 0; o < O_KINDS; o++)
            printf(" %d |", totals->outcomes[f][o]);
        printf(" %d | %d |\n", totals->hung_kept[f], totals->failed[f]);
    }
    int total = 0;
    printf("\nViolations:");
    for (int v = 0; v < V_KINDS; v++) {
        total += totals->violations[v];
        if (totals->violations[v])
            printf(" %s %d,", VIOLATIONS[v], totals->violations[v]);
    }
    printf(" total %d, in %d of %d runs\n", total, totals->failed_runs, runs);
    printf("Worst wall time past the run's normal end: %lld ms (bound %d ms)\n", totals->worst_past_end_ms, RUN_END_BOUND_MS);
    printf("Time: %.1f min, %.1f runs per minute\n", elapsed_ms / 60000.0, runs * 60000.0 / (elapsed_ms > 0 ? elapsed_ms : 1));
}

}  // namespace

int main(int argc, char** argv)
{
    unsigned seed = 1;
    int runs = 300, only = -1, walk = 0;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--seed") && i + 1 < argc)
            seed = (unsigned)strtoul(argv[++i], nullptr, 10);
        else if (!strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--run") && i + 1 < argc)
            only = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--walk"))
            walk = 1;
    }
    static Totals totals;
    totals.worst_past_end_ms = -1000000;
    ULONGLONG started = GetTickCount64();
    int first = only >= 0 ? only : 0, last = only >= 0 ? only + 1 : runs;
    for (int i = first; i < last; i++)
        soak_run(seed, i, walk, &totals);
    print_summary(&totals, last - first, (long long)(GetTickCount64() - started));
    return totals.failed_runs ? 1 : 0;
}
