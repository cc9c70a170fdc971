#include "soak/soak_checks.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <random>

#include "support/child_process.h"
#include "support/report_grammar.h"
#include "windows/window_handling.h"

const char* const COMMAND_WORDS[COMMAND_COUNT] = {"press", "find", "show", "minimize", "dump"};

namespace {

const unsigned EXITS[COMMAND_COUNT] = {(1 << 0) | (1 << 2) | (1 << 3) | (1 << 4), (1 << 0) | (1 << 2) | (1 << 3),
                                       1 << 0, 1 << 0, (1 << 0) | (1 << 2)};

const char* const VIOLATIONS[] = {"setup",        "crash",       "stderr",     "exit-code", "exit-vs-lines",
                                  "grammar",      "not-crlf",    "wall-time",  "left-hidden",
                                  "hidden-after-show", "hung-hidden-without-mark"};
enum { V_SETUP, V_CRASH, V_STDERR, V_EXIT, V_EXIT_LINES, V_GRAMMAR, V_CRLF, V_WALL, V_HIDDEN, V_SHOW,
       V_HUNG_MARK, V_KINDS };

const char* const OUTCOMES[] = {"PRESSED", "FOUND",     "STUCK",  "NOTFOUND", "NOTFOUND3",
                                "SHOWN",   "MINIMIZED", "DUMPED", "other"};
enum { O_PRESSED, O_FOUND, O_STUCK, O_NOTFOUND, O_LOGIN, O_SHOWN, O_MINIMIZED, O_DUMPED, O_OTHER, O_KINDS };

struct Totals {
    int outcomes[MAX_FAULTS][O_KINDS];
    int hung_kept[MAX_FAULTS];
    int failed[MAX_FAULTS];  // runs with a violation
    int violations[V_KINDS];
    int failed_runs;
    long long worst_past_end_ms;
};

struct Plan {
    int fault, command, hide;
    unsigned moment;
    unsigned delay;  // show and minimize: how long after the hiding they come
    std::vector<std::wstring> launcher_args;
    std::string described;
};

int is_quick(int command)
{
    return command == SHOW || command == MINIMIZE;
}

std::wstring widen(const char* text)
{
    return std::wstring(text, text + strlen(text));
}

// Draws everything a run does from its own stream of (seed, run index).
Plan plan_run(const SoakSetup& setup, unsigned seed, int run, int walk)
{
    std::seed_seq seeds{seed, (unsigned)run};
    std::mt19937 random(seeds);
    Plan plan;
    plan.fault = walk ? run % setup.fault_count : (int)(random() % (unsigned)setup.fault_count);
    plan.command = setup.commands[random() % (unsigned)setup.command_count];
    plan.hide = (int)(random() % 2);
    const Fault& fault = setup.faults[plan.fault];
    unsigned hi = is_quick(plan.command) && fault.hi > QUICK_SPAN_MS ? QUICK_SPAN_MS : fault.hi;
    if (hi < fault.lo)
        hi = fault.lo;
    plan.moment = fault.hi ? fault.lo + (unsigned)(random() % (hi - fault.lo + 1)) : 0;
    // A quick command comes at a random point of the fault, not always first.
    plan.delay = is_quick(plan.command) ? (unsigned)(random() % 2501) : 0;
    plan.launcher_args = {L"--lifetime-ms", L"100000"};
    if (fault.page)
        plan.launcher_args.insert(plan.launcher_args.end(), {L"--page", setup.pages_dir + L"\\" + fault.page});
    else
        plan.launcher_args.push_back(L"--marker");
    if (is_quick(plan.command))
        plan.launcher_args.push_back(L"--start-hidden");
    if (fault.option)
        plan.launcher_args.push_back(fault.option);
    if (fault.value) {
        wchar_t value[64];
        swprintf(value, 64, fault.value, plan.moment);
        plan.launcher_args.push_back(value);
    }
    char text[200];
    snprintf(text, sizeof text, "fault %s, command %s%s, moment %u, delay %u ms", fault.name,
             COMMAND_WORDS[plan.command], plan.hide ? " --hide" : "", plan.moment, plan.delay);
    plan.described = text;
    return plan;
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

// 1 when the launcher's thread has stopped and not come back (its log says
// so): Windows may not call it hung yet when the run ended soon after.
int launcher_stopped(const SimulatedLauncher* launcher)
{
    int stopped = 0;
    for (const std::string& line : launcher_log(launcher)) {
        if (line == "HANG")
            stopped = 1;
        if (line == "HANG END")
            stopped = 0;
    }
    return stopped;
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
    int stopped = launcher_stopped(launcher);
    // Visible windows only (a hung one is still listed): a window the
    // launcher itself took away (closing) is not left hidden.
    for (HWND window : launcher_windows(launcher)) {
        if (!looks_hidden(window, layered_before))
            continue;
        int marked = GetPropW(window, HIDDEN_PROPERTY) != nullptr;
        int hung = IsHungAppWindow(window) || stopped;
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

int starts_with(const std::string& text, const char* prefix)
{
    return text.compare(0, strlen(prefix), prefix) == 0;
}

// The checks that need only the tool's own run.
int check_run(const SoakSetup& setup, const Plan& plan, const ToolRun& run, Totals* totals, std::string* why)
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
    // Every line in docs/report-lines.tsv, for this command.
    std::string outside = report_lines_problems(run.lines, COMMAND_WORDS[plan.command]);
    if (!outside.empty())
        bad += violate(totals, V_GRAMMAR, outside, why);
    for (size_t i = 0; i < run.lines.size(); i++) {
        pressed |= starts_with(run.lines[i], "PRESSED ");
        if (found_ms < 0 && starts_with(run.lines[i], "FOUND "))
            found_ms = run.line_ms[i];
    }
    // The last line says how the run ended; it must agree with the exit code.
    std::string last = run.lines.empty() ? "" : run.lines.back();
    int agrees = plan.command == SHOW       ? starts_with(last, "SHOWN ")
                 : plan.command == MINIMIZE ? starts_with(last, "MINIMIZED ")
                 : plan.command == DUMP     ? (run.exit_code == 0 ? starts_with(last, "LOOKED ") : last == "NOTFOUND")
                 : run.exit_code == 0       ? (plan.command == FIND ? starts_with(last, "FOUND ") : pressed)
                 : run.exit_code == 4       ? last == "STUCK"
                                            : last == "NOTFOUND";
    if (!agrees && code < 0xC0000000u)
        bad += violate(totals, V_EXIT_LINES, "exit code " + std::to_string(run.exit_code) + ", last line \"" + last + "\"", why);
    // The search ends at the time-out; a target found starts a press and a
    // watch that run to their own ends. A dump has a bound of its own. Each
    // counts from the first line; show and minimize, whose one line is their
    // last, from the process start (run_bounds.h).
    long long took = run_ms(run.ticks, is_quick(plan.command));
    long long normal_end = is_quick(plan.command) ? 0 : setup.timeout_s * 1000LL;
    long long bound = RUN_END_BOUND_MS;
    if (found_ms >= 0 && plan.command == PRESS)
        normal_end = run_ms_of(run.ticks, found_ms) +
                     (long long)setup.press_methods *
                         (PRESS_METHOD_MS + (setup.confirms_by_looks ? SLOW_CONFIRM_LOOKS_MS : 0)) +
                     (pressed ? WATCH_MS : 0);
    if (plan.command == DUMP) {
        normal_end = 0;
        bound = DUMP_BOUND_MS;
    }
    if (took - normal_end > totals->worst_past_end_ms && plan.command != DUMP)
        totals->worst_past_end_ms = took - normal_end;
    if (took > normal_end + bound)
        bad += violate(totals, V_WALL, std::to_string(took) + " ms, normal end " + std::to_string(normal_end) +
                                           " ms, bound " + std::to_string(bound) + " ms past it", why);

    int outcome = code >= 0xC0000000u      ? O_OTHER
                  : plan.command == SHOW     ? O_SHOWN
                  : plan.command == MINIMIZE ? O_MINIMIZED
                  : plan.command == DUMP     ? (run.exit_code == 0 ? O_DUMPED : O_NOTFOUND)
                  : run.exit_code == 0       ? (plan.command == PRESS ? O_PRESSED : O_FOUND)
                  : run.exit_code == 2       ? O_NOTFOUND
                  : run.exit_code == 3       ? O_LOGIN
                  : run.exit_code == 4       ? O_STUCK
                                             : O_OTHER;
    totals->outcomes[plan.fault][outcome]++;
    return bad;
}

std::string replay_command(const SoakSetup& setup, unsigned seed, int run, int walk)
{
    wchar_t own[MAX_PATH];
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    std::string path = narrow(own);
    if (path.size() > 2 && path[1] == ':')
        path = path.substr(2);  // Wine's Z: drive is the Unix root
    for (char& c : path)
        c = c == '\\' ? '/' : c;
    return std::string(setup.runner) + " " + path + " --seed " + std::to_string(seed) + " --run " +
           std::to_string(run) + (walk ? " --walk" : "");
}

// Waits until the launcher's log says its thread stopped (at most 10 s).
void wait_for_hang(const SimulatedLauncher* launcher)
{
    ULONGLONG end = GetTickCount64() + 10000;
    while (!launcher_stopped(launcher) && GetTickCount64() < end)
        Sleep(50);
}

void print_failure(const SoakSetup& setup, unsigned seed, int index, int walk, const Plan& plan,
                   const std::string& why, const ToolRun& run, const SimulatedLauncher* launcher)
{
    printf("FAIL seed %u run %d: %s\n%s  wall %lld ms, first line at %lld ms, exit code %d (0x%x)\n  tool's output:\n",
           seed, index, plan.described.c_str(), why.c_str(), run.wall_ms,
           run.ticks.first_line ? (long long)(run.ticks.first_line - run.ticks.started) : -1LL, run.exit_code,
           (unsigned)run.exit_code);
    for (size_t i = 0; i < run.lines.size(); i++)
        printf("    %6lld ms  %s\n", run.line_ms[i], run.lines[i].c_str());
    std::vector<std::string> log = launcher_log(launcher);
    printf("  launcher log (last %d of %d lines):\n", log.size() < 25 ? (int)log.size() : 25, (int)log.size());
    for (size_t i = log.size() > 25 ? log.size() - 25 : 0; i < log.size(); i++)
        printf("    %s\n", log[i].c_str());
    printf("  replay: %s\n", replay_command(setup, seed, index, walk).c_str());
}

// One run: start the launcher with its fault, run the command, check.
// Gives the number of violations.
int soak_run(const SoakSetup& setup, unsigned seed, int index, int walk, Totals* totals)
{
    Plan plan = plan_run(setup, seed, index, walk);
    const Fault& fault = setup.faults[plan.fault];
    std::string why;
    int bad = 0;
    ToolRun run{-1, "", "", {}, {}, 0};
    SimulatedLauncher launcher{};
    if (!start_launcher(&launcher, plan.launcher_args)) {
        bad += violate(totals, V_SETUP, "the simulated launcher did not show a window", &why);
    } else {
        // A launcher that starts hidden keeps its own style in the mark.
        ULONG_PTR mark = (ULONG_PTR)GetPropW(launcher.window, HIDDEN_PROPERTY);
        LONG_PTR layered_before = (mark ? (LONG_PTR)mark : GetWindowLongPtrW(launcher.window, GWL_EXSTYLE)) & WS_EX_LAYERED;
        if (fault.action == WAIT_FOR_HANG)
            wait_for_hang(&launcher);
        Sleep(plan.delay);
        std::vector<std::wstring> arguments = {widen(COMMAND_WORDS[plan.command])};
        if (plan.command == PRESS || plan.command == FIND)
            arguments.insert(arguments.end(), {L"--timeout", std::to_wstring(setup.timeout_s)});
        if (plan.hide)
            arguments.push_back(L"--hide");
        // The moment counts from the hiding; one already past kills at the tool's start.
        long long kill_at = (long long)plan.moment - plan.delay;
        kill_at = fault.action != KILL_LAUNCHER ? -1 : kill_at < 0 ? 0 : kill_at;
        run = run_tool_watched(arguments, HARD_LIMIT_MS, LineSeen(), [&](long long now) {
            if (kill_at >= 0 && now >= kill_at && launcher.process.hProcess) {
                TerminateProcess(launcher.process.hProcess, 1);
                WaitForSingleObject(launcher.process.hProcess, 5000);
                kill_at = -1;
            }
        });
        bad += check_run(setup, plan, run, totals, &why);
        int pressed = run.exit_code == 0 && plan.command == PRESS;
        if (!pressed) {
            bad += check_windows(&launcher, layered_before, V_HIDDEN, totals, plan.fault, &why);
        } else {
            // After a press the launcher stays hidden until show brings it back.
            ToolRun shown = run_tool_watched({L"show"}, HARD_LIMIT_MS);
            if (shown.exit_code != 0)
                bad += violate(totals, V_EXIT, "show after the press gave " + std::to_string(shown.exit_code), &why);
            bad += check_windows(&launcher, layered_before, V_SHOW, totals, plan.fault, &why);
        }
    }
    if (bad) {
        totals->failed_runs++;
        totals->failed[plan.fault]++;
        print_failure(setup, seed, index, walk, plan, why, run, &launcher);
    } else {
        printf("ok   run %3d  %-68s exit %d  %5lld ms, first line at %lld ms\n", index, plan.described.c_str(),
               run.exit_code, run.wall_ms, run.wall_ms - run_ms(run.ticks));
    }
    fflush(stdout);
    stop_launcher(&launcher);
    return bad;
}

void print_summary(const SoakSetup& setup, const Totals* totals, int runs, long long elapsed_ms)
{
    printf("\n| fault |");
    for (const char* outcome : OUTCOMES)
        printf(" %s |", outcome);
    printf(" hung, kept hidden | runs with violations |\n|---|");
    for (int i = 0; i <= O_KINDS + 1; i++)
        printf("---|");
    printf("\n");
    for (int f = 0; f < setup.fault_count; f++) {
        printf("| %s |", setup.faults[f].name);
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
    printf("Worst time past the run's normal end (press, find, show, minimize; counted as support/run_bounds.h says): "
           "%lld ms (bound %lld ms)\n",
           totals->worst_past_end_ms, RUN_END_BOUND_MS);
    printf("Time: %.1f min, %.1f runs per minute\n", elapsed_ms / 60000.0, runs * 60000.0 / (elapsed_ms > 0 ? elapsed_ms : 1));
}

}  // namespace

int soak_main(int argc, char** argv, const SoakSetup& setup)
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
        soak_run(setup, seed, i, walk, &totals);
    print_summary(setup, &totals, last - first, (long long)(GetTickCount64() - started));
    return totals.failed_runs ? 1 : 0;
}
