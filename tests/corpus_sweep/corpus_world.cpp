// A corpus page served on virtual time in this process (corpus_world.h).
#include "corpus_world.h"

#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "app/settings.h"
#include "chromium_habits.h"
#include "launcher_actions.h"
#include "launcher_start.h"
#include "launcher_state.h"
#include "page.h"
#include "press/clock.h"
#include "press/driver.h"
#include "press/press.h"
#include "press/press_harness.h"
#include "support/child_process.h"
#include "support/report_grammar.h"
#include "support/run_bounds.h"
#include "support/uia_double.h"
#include "uia/ui_route.h"
#include "uia_provider.h"
#include "windows/launcher_call.h"
#include "windows/window_handling.h"

namespace {

const uint64_t START = 1000000;
static_assert(PRESS_BOUND_MS == PRESS_MS, "the tests' bound of a press is the tool's");
const HRESULT ELEMENT_NOT_ENABLED = (HRESULT)0x80040200;  // UIA_E_ELEMENTNOTENABLED

// The world of the run under way: the hooks below have no other way in.
struct World {
    const WorldRun* run;
    WorldResult* result;
    UiaDouble* double_client;
    unsigned random;
    uint64_t busy_until;  // the launcher's provider is busy with an abandoned call until then
    int generation;       // the page's re-renders seen so far
    uint64_t game_at;     // WORLD_GAME_LATE: when the game starts; 0 for not yet pressed
    int hidden;           // WORLD_HIDES: 1 while hidden, 2 once shown again
    std::string play_id;  // the element whose press starts the game
    // Clicks, keys and actions the launcher takes only act_late_ms after
    // they came, in the order they came.
    std::vector<MSG> held;
    std::vector<uint64_t> held_since;
    int stranger_started = 0;  // WORLD_STRANGER_JAVA
    int moved = 0;             // WORLD_MOVES: 1 once moved
};
World world;
// The launcher's window, kept from run to run: taking a window off the
// display costs Wine two seconds without a window manager.
HWND hosted_window = nullptr;

unsigned next_random()
{
    world.random = world.random * 1103515245u + 12345u;
    return (world.random >> 8) & 0xffffff;
}

// A scan's cost: the profile's time, x0.5 to x2 by the run's seed.
uint64_t scan_cost()
{
    double factor = 0.5 + 1.5 * (double)next_random() / (double)0xffffff;
    uint64_t cost = (uint64_t)((double)world.run->scan_ms * factor);
    return cost < 1 ? 1 : cost;
}

// A java process of another program: `start` runs it, and the world waits
// for cmd to end, so that its parent has gone before the tool looks. It ends
// itself after 5 s.
void start_stranger_java()
{
    std::wstring line = L"cmd.exe /c start \"\" \"" + build_path(L"..\\javaw.exe") + L"\" 5000";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!create_process(nullptr, &line[0], FALSE, 0, &startup, &process))
        return;
    WaitForSingleObject(process.hProcess, 20000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    world.stranger_started = 1;
}

void collect_log(const char* line)
{
    if (world.run->fault == WORLD_STRANGER_JAVA && !world.stranger_started &&
        (strncmp(line, "VIA ", 4) == 0 || strncmp(line, "CLICK ", 6) == 0))
        start_stranger_java();
    world.result->log.push_back(line);
    world.result->log_ms.push_back(virtual_time.now - START);
    if (world.run->fault == WORLD_GAME_LATE && !world.game_at && line == "ACTION hide " + world.play_id)
        world.game_at = virtual_time.now + (uint64_t)world.run->fault_for;
}

// The world's own events, as the clock reaches them.
void run_world_events()
{
    uint64_t now = virtual_time.now - START;
    if (world.run->fault == WORLD_GAME_LATE && world.game_at && virtual_time.now >= world.game_at) {
        world.game_at = ~0ull;
        start_java();
    }
    if (world.run->fault == WORLD_HIDES && world.hidden == 0 && now >= (uint64_t)world.run->fault_at) {
        world.hidden = 1;
        ShowWindow(page_window, SW_HIDE);
        pinned_machine = PINNED_LAUNCHER_HIDDEN;
    }
    if (world.run->fault == WORLD_AWAY) {
        uint64_t from = (uint64_t)world.run->fault_at, until = from + (uint64_t)world.run->fault_for;
        pinned_machine = now >= from && (world.run->fault_for == 0 || now < until) ? PINNED_AWAY : PINNED_PLAIN;
    }
    if (world.run->fault == WORLD_MOVES && !world.moved && now >= (uint64_t)world.run->fault_at) {
        world.moved = 1;
        RECT r;
        GetWindowRect(page_window, &r);
        SetWindowPos(page_window, nullptr, r.left + world.run->fault_for, r.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (world.run->fault == WORLD_HIDES && world.hidden == 1 && now >= (uint64_t)(world.run->fault_at + world.run->fault_for)) {
        world.hidden = 2;
        world.result->shown_again_ms = now;
        ShowWindow(page_window, SW_SHOWNA);
        pinned_machine = PINNED_PLAIN;
    }
}

int acts_on_page(const MSG& message)
{
    return message.message == WM_LBUTTONDOWN || message.message == WM_LBUTTONUP || message.message == WM_KEYDOWN ||
           message.message == WM_KEYUP || message.message == PAGE_ACTION_MESSAGE;
}

void dispatch(MSG* message)
{
    TranslateMessage(message);
    DispatchMessageW(message);
}

// What the launcher has been sent is handled whenever the tool waits.
void pump_messages(uint64_t)
{
    run_world_events();
    run_due_late_calls();
    while (!world.held.empty() && virtual_time.now >= world.held_since[0] + (uint64_t)world.run->act_late_ms) {
        MSG due = world.held[0];
        world.held.erase(world.held.begin());
        world.held_since.erase(world.held_since.begin());
        dispatch(&due);
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        world.result->escapes_sent += message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE;
        if (world.run->act_late_ms > 0 && (acts_on_page(message) || !world.held.empty()) && message.message != WM_PAINT &&
            message.message != WM_TIMER) {
            world.held.push_back(message);
            world.held_since.push_back(virtual_time.now);
            continue;
        }
        dispatch(&message);
    }
}

HabitState* habits_served()
{
    return &habits;
}

// Chromium's tree comes from its renderer in parts: the second half of the
// page (in page order) a moment after the first, so that a scan may read a
// built page that lacks its end.
const uint64_t SECOND_HALF_LATER_MS = 300;

int arriving_later(int index)
{
    const HabitState* h = habits_served();
    if (world.run->profile != CLIENT_CHROMIUM || h->habits.lazy_ms <= 0 || h->web_root < 0 || !h->tree_asked ||
        index <= h->web_root + ((int)page.elements.size() - h->web_root) / 2)
        return 0;
    return virtual_time.now - h->asked_at_ms < (uint64_t)h->habits.lazy_ms + SECOND_HALF_LATER_MS;
}

// The double's nodes as the page is now: node i is the page's element i.
void refresh_nodes()
{
    UiaDouble& d = *world.double_client;
    if (world.run->profile == CLIENT_CHROMIUM && habits.generation != world.generation) {
        // A re-render: Chromium builds the new nodes' tree when it is asked
        // again, and until then serves an empty document.
        world.generation = habits.generation;
        habits.tree_asked = 0;
    }
    RECT window = {0, 0, 0, 0};
    GetWindowRect(page_window, &window);
    const PageElement& root = page.elements[0];
    int patterns = world.run->profile == CLIENT_WINDOWS;
    for (size_t i = 0; i < page.elements.size() && i < d.nodes.size(); i++) {
        const PageElement& e = page.elements[i];
        UiaNode& node = d.nodes[i];
        int index = (int)i;
        node.in_tree = i == 0 || (element_in_tree(page, habits_served(), index, virtual_time.now) &&
                                  !arriving_later(index) && world.run->fault != WORLD_ELEVATED);
        node.generation = element_generation(habits_served(), index);
        node.enabled = !e.disabled;
        node.offscreen = element_offscreen(page, habits_served(), index);
        // The element's place on screen follows the window, as the kit's
        // provider serves it.
        LONG left = window.left + (e.left - root.left), top = window.top + (e.top - root.top);
        node.rect = i == 0 ? window : RECT{left, top, left + e.width, top + e.height};
        node.has_invoke = patterns && element_invokable(page, habits_served(), index);
        node.has_selection_item = patterns && element_selectable(page, habits_served(), index);
        node.has_legacy = patterns && e.legacy;
    }
}

void note_read(int node, PROPERTYID property)
{
    note_property_read(habits_served(), page, node, (int)property, virtual_time.now);
}

// The kit's provider posts the element's actions to its window, which runs
// them from its message loop.
HRESULT act_on_page(int node, int action)
{
    if (action != UIA_ACT_SELECT && page.elements[(size_t)node].disabled)
        return ELEMENT_NOT_ENABLED;
    int via = action == UIA_ACT_INVOKE ? PAGE_VIA_INVOKE : action == UIA_ACT_SELECT ? PAGE_VIA_SELECT : PAGE_VIA_LEGACY;
    PostMessageW(page_window, PAGE_ACTION_MESSAGE, (WPARAM)node, (LPARAM)via);
    return S_OK;
}

// The tool stops waiting at the first slice after its limit (launcher_call.h).
uint64_t waited_until(uint64_t start, uint32_t limit_ms)
{
    return start + ((uint64_t)limit_ms / CALL_SLICE_MS + 1) * CALL_SLICE_MS;
}

// How a call into the launcher costs its time, on the virtual clock. Calls
// are served one at a time, as the launcher's thread serves them: one the
// tool gave up on keeps the provider busy until it ends. A call that would
// end after the tool stops waiting overruns; it is never started when the
// provider is busy past that.
// While the tool waits in a call, the launcher goes on with what it was
// sent, as its own thread does.
void pass_time_to(uint64_t when)
{
    const uint64_t STEP_MS = 100;
    while (virtual_time.now + STEP_MS < when &&
           (!world.held.empty() || !late_calls.empty() || world.run->fault != WORLD_AS_SERVED)) {
        virtual_time.now += STEP_MS;
        pump_messages(virtual_time.now);
    }
    if (virtual_time.now < when)
        virtual_time.now = when;
    pump_messages(virtual_time.now);
}

int ui_stopped(uint64_t now)
{
    uint64_t at = START + (uint64_t)world.run->fault_at;
    return (world.run->fault == WORLD_UI_STOPS || world.run->fault == WORLD_BUSY) && now >= at &&
           (world.run->fault_for == 0 || now < at + (uint64_t)world.run->fault_for);
}

int wait_on_virtual_time(LauncherCall* call, HWND, uint32_t limit_ms)
{
    uint64_t cost = 0;
    UiaDouble& d = *world.double_client;
    d.faults.element_from_handle = UIA_OK;
    if (call->kind == CALL_UI_SCAN) {
        cost = scan_cost();
        if (world.run->flaky && next_random() % 4 == 0)
            d.faults.element_from_handle = UIA_FAIL;
        if (ui_stopped(virtual_time.now)) {
            // Windows' client gives up on a provider that does not answer.
            cost = 2000;
            d.faults.element_from_handle = UIA_TIMEOUT;
        }
    }
    else if (call->kind == CALL_UI_ACTION)
        cost = world.run->fault == WORLD_ACTION_LATE ? (uint64_t)world.run->fault_for : 1 + (uint64_t)world.run->scan_ms / 50;
    if ((call->kind == CALL_PICTURE || call->kind == CALL_WINDOW) && world.run->fault == WORLD_BUSY &&
        ui_stopped(virtual_time.now)) {
        // The busy thread keeps the call until the tool gives it up; it
        // would reach the window only once the thread runs again.
        pass_time_to(waited_until(virtual_time.now, limit_ms));
        discard_call(call);
        return CALL_OVERRAN;
    }
    if (cost == 0) {
        call->work(call);
        return CALL_DONE;
    }
    uint64_t start = virtual_time.now;
    uint64_t served = world.busy_until > start ? world.busy_until : start;
    uint64_t given_up_at = waited_until(start, limit_ms);
    if (served + cost > given_up_at) {
        int begun = served <= given_up_at;
        if (begun)
            world.busy_until = served + cost;
        pass_time_to(given_up_at);
        if (call->kind == CALL_UI_SCAN)
            world.result->overruns++;
        // An action begun lands when its time comes, as one left in a
        // worker does; a scan's late end changes nothing but the time.
        if (begun && call->kind == CALL_UI_ACTION) {
            hold_late_call(call, served + cost);
            return CALL_OVERRAN;
        }
        discard_call(call);
        return begun ? CALL_OVERRAN : CALL_NOT_STARTED;
    }
    // The page is read half way through the scan's time.
    pass_time_to(served);
    pass_time_to(served + cost / 2);
    call->work(call);
    pass_time_to(served + cost);
    if (call->kind == CALL_UI_SCAN)
        world.result->scans++;
    return CALL_DONE;
}

// A game of the player's in front, beside the launcher's window, kept from
// run to run as the launcher's is.
HWND players_game = nullptr;

void put_players_game_in_front()
{
    if (!players_game)
        players_game = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"the player's game", WS_POPUP | WS_VISIBLE, 0,
                                       0, 60, 60, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowPos(players_game, HWND_TOP, 0, 0, 60, 60, SWP_SHOWWINDOW);
    SetForegroundWindow(players_game);
}

// What the system answers the tool in this world (the harness's pinned answers).
int pinned_for(int fault)
{
    return fault == WORLD_ELEVATED             ? PINNED_ELEVATED
           : fault == WORLD_CLOAKED            ? PINNED_CLOAKED
           : fault == WORLD_FULL_SCREEN        ? PINNED_FULL_SCREEN
           : fault == WORLD_FOREGROUND_REFUSED ? PINNED_FOREGROUND_REFUSED
           : fault == WORLD_HIGH_CONTRAST      ? PINNED_HIGH_CONTRAST
                                               : PINNED_PLAIN;
}

// Ends the game processes this run's launcher started, by the ids it logged.
void end_started_games(const std::vector<std::string>& log)
{
    for (const std::string& line : log) {
        unsigned long pid = 0;
        if (sscanf(line.c_str(), "ACTION start-java %lu", &pid) != 1 || pid == 0)
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (!process)
            continue;
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
}

}  // namespace

const char* profile_name_of(int profile)
{
    return profile == CLIENT_WINDOWS  ? "windows"
           : profile == CLIENT_WINE10 ? "wine10"
           : profile == CLIENT_NONE   ? "none"
                                      : "chromium";
}

int run_in_world(const WorldRun& run, WorldResult* result)
{
    *result = WorldResult();
    world = World{&run, result, nullptr, run.seed * 2654435761u + 1u, 0, 0, 0, 0, "", {}, {}};
    log_hook = collect_log;
    std::vector<std::wstring> words = {L"MinecraftLauncher.exe", L"--page", run.page_path};
    if (run.profile == CLIENT_CHROMIUM)
        words.push_back(L"--chromium");
    std::vector<wchar_t*> argv;
    for (std::wstring& word : words)
        argv.push_back(&word[0]);
    install_virtual_time(START);
    HWND window = nullptr;
    if (hosted_window && IsWindow(hosted_window))
        window = restart_simulated_launcher(hosted_window, (int)argv.size(), argv.data());
    if (!window) {
        if (hosted_window && IsWindow(hosted_window))
            DestroyWindow(hosted_window);
        reset_launcher_state();
        window = start_simulated_launcher((int)argv.size(), argv.data());
    }
    hosted_window = window;
    if (!window) {
        remove_virtual_time();
        log_hook = nullptr;
        return 0;
    }
    RECT placed;
    GetWindowRect(window, &placed);
    if (run.profile == CLIENT_CHROMIUM && run.lazy_ms >= 0)
        habits.habits.lazy_ms = run.lazy_ms;
    if (run.fault == WORLD_TREE_NEVER)
        habits.habits.lazy_ms = 600000;
    if (run.fault == WORLD_GAME_LATE) {
        // Pressed, Play goes away at once; the world starts the game later.
        for (PageElement& e : page.elements)
            for (PageAction& action : e.actions)
                if (action.kind == PAGE_ACTION_START_JAVA) {
                    action = PageAction{PAGE_ACTION_HIDE, e.id};
                    world.play_id = e.id;
                }
    }
    if (run.fault == WORLD_STRANGER_JAVA)
        for (PageElement& e : page.elements)
            for (PageAction& action : e.actions)
                if (action.kind == PAGE_ACTION_START_JAVA)
                    action = PageAction{PAGE_ACTION_NONE, e.id};
    UiaDouble d;
    for (size_t i = 1; i < page.elements.size(); i++) {
        const PageElement& e = page.elements[i];
        add_node(d, e.parent < 0 ? 0 : e.parent, e.name.c_str(), e.control_type, RECT{0, 0, 0, 0});
    }
    if (run.profile == CLIENT_CHROMIUM) {
        // A scroll bar beside the document, outside it: it tells nothing of
        // whether the page's tree has come.
        RECT frame = {0, 0, 0, 0};
        GetWindowRect(window, &frame);
        add_node(d, 0, L"Vertical", UIA_ScrollBarControlTypeId,
                 RECT{frame.right - 20, frame.top + 40, frame.right - 4, frame.bottom - 8});
    }
    d.nodes[0].name = page.elements[0].name;
    d.states_unread = run.profile != CLIENT_WINDOWS;
    d.world.refresh = refresh_nodes;
    d.world.read = note_read;
    d.world.act = act_on_page;
    world.double_client = &d;
    if (run.profile != CLIENT_NONE)
        install_uia_double(d);
    reset_settings();
    find_only = run.find_only;
    hide_mode = run.hide;
    virtual_time.on_wait = pump_messages;
    virtual_time.pass_to = pass_time_to;
    call_waiter = wait_on_virtual_time;
    call_again_waiter = await_late_call;
    call_let_go = let_go_of_late_call;
    pinned_machine = pinned_for(run.fault);
    if (run.fault == WORLD_FULL_SCREEN || run.fault == WORLD_FOREGROUND_REFUSED)
        put_players_game_in_front();
    pump_messages(0);

    result->exit_code = run_press(run.timeout_s);
    result->ended_ms = virtual_time.now - START;
    result->lines = reported;
    for (uint64_t at : reported_at)
        result->line_ms.push_back(at - START);

    // The world ends: what is still late never lands; the window is put back
    // as the page placed it, and shown.
    drop_late_calls();
    call_waiter = await_on_worker;
    call_again_waiter = await_worker_again;
    call_let_go = let_go_of_worker;
    pump_messages(0);
    end_started_games(result->log);
    if (world.hidden == 1)
        ShowWindow(page_window, SW_SHOWNA);
    if (world.moved)
        SetWindowPos(page_window, nullptr, placed.left, placed.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    unhide_window_by(page_window, current_tick() + SHOW_WAIT_MS);
    remove_uia_double(d);
    world.double_client = nullptr;
    remove_virtual_time();
    reset_settings();
    log_hook = nullptr;
    return 1;
}

std::string broken_run_rules(const WorldRun& run, const WorldResult& result)
{
    long long found_ms = -1, pressed_ms = -1;
    for (size_t i = 0; i < result.lines.size(); i++) {
        if (found_ms < 0 && result.lines[i].compare(0, 6, "FOUND ") == 0)
            found_ms = (long long)result.line_ms[i];
        if (pressed_ms < 0 && result.lines[i].compare(0, 8, "PRESSED ") == 0)
            pressed_ms = (long long)result.line_ms[i];
    }
    long long bound = press_run_bound_ms(run.timeout_s * 1000LL, found_ms, pressed_ms, !run.find_only);
    std::string broken = report_lines_problems(result.lines, run.find_only ? "find" : "press");
    if ((long long)result.ended_ms > bound)
        broken += "it ended at " + std::to_string(result.ended_ms) + " ms, past its bound of " + std::to_string(bound) + " ms";
    return broken;
}

std::string describe_run(const WorldRun& run, const WorldResult& result)
{
    char head[512];
    snprintf(head, sizeof head, "%s %s, client %s, scans of %d ms (seed %u), --timeout %d: exit %d at %llu ms\n",
             narrow(run.page_path).c_str(), run.find_only ? "find" : "press", profile_name_of(run.profile),
             run.scan_ms, run.seed, run.timeout_s, result.exit_code, (unsigned long long)result.ended_ms);
    std::string text = head;
    text += "  scans finished " + std::to_string(result.scans) + ", overrun " + std::to_string(result.overruns) + "\n";
    // Both sides in time order: the tool's lines and the launcher's log.
    size_t a = 0, b = 0;
    while (a < result.lines.size() || b < result.log.size()) {
        int tool = b >= result.log.size() || (a < result.lines.size() && result.line_ms[a] <= result.log_ms[b]);
        char line[64];
        if (tool) {
            snprintf(line, sizeof line, "  %8llu  tool      ", (unsigned long long)result.line_ms[a]);
            text += line + result.lines[a++] + "\n";
        } else {
            snprintf(line, sizeof line, "  %8llu  launcher  ", (unsigned long long)result.log_ms[b]);
            text += line + result.log[b++] + "\n";
        }
    }
    return text;
}
