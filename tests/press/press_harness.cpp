#include "press_harness.h"

#include <wchar.h>

#include <string>

#include "app/report.h"
#include "app/settings.h"
#include "uia/ui_route.h"
#include "press/clock.h"
#include "support/child_process.h"
#include "uia/normalize.h"
#include "windows/machine_now.h"
#include "windows/machine_state.h"

VirtualTime virtual_time;
std::vector<std::string> reported;
std::vector<uint64_t> reported_at;

static uint64_t virtual_tick()
{
    if (virtual_time.on_tick)
        virtual_time.on_tick(virtual_time.now);
    return virtual_time.now;
}

std::vector<LateCall> late_calls;

// The clock moves to `when`, stopping at each late call's time to run it.
static void advance_to(uint64_t when)
{
    for (;;) {
        uint64_t next = when;
        for (const LateCall& late : late_calls)
            if (!late.ran && late.due < next)
                next = late.due;
        if (next > virtual_time.now)
            virtual_time.now = next;
        run_due_late_calls();
        if (next == when)
            return;
    }
}

// Passes virtual time up to `when`, running the late calls that come due.
static void pass_virtual_time_to(uint64_t when)
{
    if (virtual_time.pass_to)
        virtual_time.pass_to(when);
    else
        advance_to(when);
}

void discard_call(LauncherCall* call)
{
    if (call->discard)
        call->discard(call);
    free_launcher_call(call);
}

void hold_late_call(LauncherCall* call, uint64_t due)
{
    late_calls.push_back(LateCall{call, due, 0, call->keep});
}

void run_due_late_calls()
{
    for (size_t i = 0; i < late_calls.size();) {
        LateCall& late = late_calls[i];
        if (!late.ran && late.due <= virtual_time.now) {
            late.ran = 1;
            late.call->work(late.call);
        }
        if (late.ran && !late.kept) {
            LauncherCall* call = late.call;
            late_calls.erase(late_calls.begin() + (long)i);
            discard_call(call);
            continue;
        }
        i++;
    }
}

void drop_late_calls()
{
    std::vector<LateCall> left;
    left.swap(late_calls);
    for (const LateCall& late : left)
        discard_call(late.call);
}

static LateCall* late_call_of(LauncherCall* call)
{
    for (LateCall& late : late_calls)
        if (late.call == call)
            return &late;
    return nullptr;
}

int await_late_call(LauncherCall* call, HWND, uint32_t limit_ms)
{
    LateCall* late = late_call_of(call);
    if (late && !late->ran) {
        uint64_t until = virtual_time.now + limit_ms;
        if (late->due > until) {
            pass_virtual_time_to(until);
            return CALL_OVERRAN;
        }
        pass_virtual_time_to(late->due);
        late = late_call_of(call);
    }
    if (late)
        late_calls.erase(late_calls.begin() + (late - late_calls.data()));
    return CALL_DONE;
}

void let_go_of_late_call(LauncherCall* call)
{
    LateCall* late = late_call_of(call);
    if (!late || late->ran) {
        if (late)
            late_calls.erase(late_calls.begin() + (late - late_calls.data()));
        discard_call(call);
        return;
    }
    late->kept = 0;
}

static std::function<uint64_t(const LauncherCall*)> call_cost;

static int wait_on_virtual_calls(LauncherCall* call, HWND, uint32_t limit_ms)
{
    uint64_t cost = call_cost ? call_cost(call) : 0;
    uint64_t start = virtual_time.now;
    if (cost > limit_ms) {
        pass_virtual_time_to(start + limit_ms);
        hold_late_call(call, start + cost);
        return CALL_OVERRAN;
    }
    if (cost > 0)
        pass_virtual_time_to(start + cost);
    call->work(call);
    return CALL_DONE;
}

void install_virtual_calls(std::function<uint64_t(const LauncherCall*)> cost)
{
    call_cost = cost;
    call_waiter = wait_on_virtual_calls;
    call_again_waiter = await_late_call;
    call_let_go = let_go_of_late_call;
}

static void virtual_sleep(uint32_t milliseconds)
{
    advance_to(virtual_time.now + milliseconds);
    virtual_time.waits.push_back(milliseconds);
    if (virtual_time.real_sleep_ms)
        Sleep(virtual_time.real_sleep_ms);
    if (virtual_time.on_wait)
        virtual_time.on_wait(virtual_time.now);
}

static void collect_report(const char* line)
{
    reported.push_back(line);
    reported_at.push_back(virtual_time.now);
}

int pinned_machine = PINNED_PLAIN;

// The system's answers, as pinned_machine has them.
static const MachineQueries PINNED_QUERIES = {
    [](DWORD) { return pinned_machine == PINNED_ELEVATED ? (int)ELEVATION_ABOVE : (int)ELEVATION_NOT_ABOVE; },
    [](HWND) { return (int)(pinned_machine == PINNED_CLOAKED); },
    [] { return pinned_machine == PINNED_AWAY ? (int)SESSION_AWAY : (int)SESSION_PRESENT; },
    [] {
        return pinned_machine == PINNED_FULL_SCREEN    ? (int)ACTIVITY_FULL_SCREEN
               : pinned_machine == PINNED_BUSY         ? (int)ACTIVITY_BUSY
               : pinned_machine == PINNED_PRESENTATION ? (int)ACTIVITY_PRESENTATION
                                                       : (int)ACTIVITY_FREE;
    },
    [] { return (int)(pinned_machine == PINNED_HIGH_CONTRAST); },
    [](HWND window) -> BOOL { return pinned_machine != PINNED_FOREGROUND_REFUSED && SetForegroundWindow(window); },
    []() -> DWORD { return pinned_machine == PINNED_LAUNCHER_HIDDEN ? GetCurrentProcessId() : 0; },
};

static TickSource saved_tick_source;
static Sleeper saved_sleeper;

void install_virtual_time(uint64_t start)
{
    pinned_machine = PINNED_PLAIN;
    machine = PINNED_QUERIES;
    start_machine_now();
    drop_late_calls();
    virtual_time = VirtualTime();
    virtual_time.now = start;
    reported.clear();
    reported_at.clear();
    saved_tick_source = tick_source;
    saved_sleeper = sleeper;
    tick_source = virtual_tick;
    sleeper = virtual_sleep;
    report_hook = collect_report;
}

void remove_virtual_time()
{
    drop_late_calls();
    call_waiter = await_on_worker;
    call_again_waiter = await_worker_again;
    call_let_go = let_go_of_worker;
    call_cost = nullptr;
    tick_source = saved_tick_source;
    sleeper = saved_sleeper;
    report_hook = nullptr;
    virtual_time.on_wait = nullptr;
    virtual_time.on_tick = nullptr;
    machine = SYSTEM_QUERIES;
    start_machine_now();
}

uint64_t total_waited()
{
    uint64_t sum = 0;
    for (uint32_t wait : virtual_time.waits)
        sum += wait;
    return sum;
}

HWND make_plain_window()
{
    return CreateWindowExW(0, L"STATIC", L"plain", WS_OVERLAPPEDWINDOW, 0, 0, 1000, 700, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}

void reset_settings()
{
    wcscpy(profile_name, L"Kestrov V6");
    normalize_text(profile_name, profile_pattern, SETTING_TEXT_CAPACITY);
    hide_mode = 0;
    find_only = 0;
    front_title[0] = 0;
    start_ui_route(0);
}

int add_button(UiaDouble& d, const wchar_t* name, RECT rect, int invocable)
{
    int node = add_node(d, UIA_WINDOW_NODE, name, UIA_ButtonControlTypeId, rect);
    d.nodes[node].has_invoke = invocable;
    d.nodes[node].has_legacy = 1;
    return node;
}

int add_profile(UiaDouble& d, RECT rect)
{
    return add_node(d, UIA_WINDOW_NODE, L"Kestrov V6", UIA_TextControlTypeId, rect);
}

int add_store_popup(UiaDouble& d, RECT rect)
{
    return add_node(d, UIA_WINDOW_NODE, L"This Microsoft Store account doesn't match", UIA_TextControlTypeId, rect);
}

int add_tab(UiaDouble& d, const wchar_t* name, RECT rect, int control_type)
{
    int node = add_node(d, UIA_WINDOW_NODE, name, control_type, rect);
    d.nodes[node].has_invoke = 1;
    d.nodes[node].has_legacy = 1;
    d.nodes[node].has_selection_item = 1;
    return node;
}

PlayPage add_play_page(UiaDouble& d, int beside)
{
    PlayPage page;
    page.play = add_button(d, L"Play", PLAY_RECT);
    // Beside: the same height as the button; else far above it.
    RECT profile = beside ? RECT{100, 610, 300, 650} : RECT{100, 100, 300, 140};
    page.profile = add_profile(d, profile);
    return page;
}

void release_target(PlayTarget* target)
{
    if (target->element)
        target->element->Release();
    target->element = nullptr;
}

unsigned long start_game(StartedGame* game, int ms, HANDLE launcher)
{
    std::wstring path = build_path(L"javaw.exe");
    std::wstring line = L"\"" + path + L"\" " + std::to_wstring(ms);
    STARTUPINFOEXW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.StartupInfo.cb = sizeof startup;
    std::vector<char> attributes;
    DWORD flags = 0;
    if (launcher) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        attributes.resize(size);
        startup.lpAttributeList = (LPPROC_THREAD_ATTRIBUTE_LIST)attributes.data();
        if (!InitializeProcThreadAttributeList(startup.lpAttributeList, 1, 0, &size) ||
            !UpdateProcThreadAttribute(startup.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_PARENT_PROCESS, &launcher,
                                       sizeof launcher, nullptr, nullptr))
            return 0;
        flags = EXTENDED_STARTUPINFO_PRESENT;
    }
    BOOL started = create_process(path.c_str(), &line[0], FALSE, flags, &startup.StartupInfo, &game->process);
    if (launcher)
        DeleteProcThreadAttributeList(startup.lpAttributeList);
    return started ? game->process.dwProcessId : 0;
}

void end_game(StartedGame* game)
{
    if (!game->process.hProcess)
        return;
    TerminateProcess(game->process.hProcess, 0);
    WaitForSingleObject(game->process.hProcess, 5000);
    CloseHandle(game->process.hProcess);
    CloseHandle(game->process.hThread);
    game->process = PROCESS_INFORMATION{};
}
