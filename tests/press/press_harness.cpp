#include "press_harness.h"

#include <wchar.h>

#include <string>

#include "app/report.h"
#include "app/settings.h"
#include "uia/ui_route.h"
#include "press/clock.h"
#include "support/child_process.h"
#include "uia/normalize.h"

VirtualTime virtual_time;
std::vector<std::string> reported;
std::vector<uint64_t> reported_at;

static uint64_t virtual_tick()
{
    if (virtual_time.on_tick)
        virtual_time.on_tick(virtual_time.now);
    return virtual_time.now;
}

static void virtual_sleep(uint32_t milliseconds)
{
    virtual_time.now += milliseconds;
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

static TickSource saved_tick_source;
static Sleeper saved_sleeper;

void install_virtual_time(uint64_t start)
{
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
    tick_source = saved_tick_source;
    sleeper = saved_sleeper;
    report_hook = nullptr;
    virtual_time.on_wait = nullptr;
    virtual_time.on_tick = nullptr;
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
    BOOL started = CreateProcessW(path.c_str(), &line[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                                  &startup.StartupInfo, &game->process);
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
