// The press and find driver, run in this process on virtual time: the UI
// tree comes from the UI Automation double, the launcher window from the
// simulated launcher (with no button, so that no pixel route interferes).
#include <gtest/gtest.h>

#include <string.h>

#include "app/settings.h"
#include "press/driver.h"
#include "press_harness.h"
#include "support/simulated_launcher.h"
#include "uia/launcher_ui.h"
#include "uia/ui_route.h"
#include "windows/window_handling.h"

namespace {

const uint64_t START = 1000000;

struct Driver : ::testing::Test {
    UiaDouble d;
    SimulatedLauncher launcher{};
    StartedGame game;

    void SetUp() override
    {
        reset_settings();
        install_virtual_time(START);
        install_uia_double(d);
    }
    void TearDown() override
    {
        remove_virtual_time();
        EXPECT_EQ(0, d.live_objects);
        remove_uia_double(d);
        end_game(&game);
        stop_launcher(&launcher);
        reset_settings();
    }
    void start(std::vector<std::wstring> arguments)
    {
        arguments.push_back(L"--no-button");
        ASSERT_EQ(1, start_launcher(&launcher, arguments));
    }
    std::string window_line(HWND window)
    {
        RECT r;
        GetWindowRect(window, &r);
        char text[160];
        snprintf(text, sizeof text, "WINDOW %ld %ld %ld %ld Minecraft Launcher", r.left, r.top, r.right - r.left,
                 r.bottom - r.top);
        return text;
    }
};

const char PLAY_FOUND[] = "FOUND uia 400 600 300 64";

// A window of ours in the foreground, as the player's would be.
HWND plain_foreground_window()
{
    HWND window = CreateWindowExW(0, L"STATIC", L"the player's window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 10,
                                  200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetForegroundWindow(window);
    return window;
}

// A launcher process running with its windows hidden is named at the first
// poll; the run waits on for a window as without it.
TEST_F(Driver, NoLauncherWaitsThenGivesUp)
{
    for (int run = 0; run < 4; run++) {
        int hidden = run % 2, launcher_hidden = run / 2;
        install_virtual_time(START);
        pinned_machine = launcher_hidden ? PINNED_LAUNCHER_HIDDEN : PINNED_PLAIN;
        hide_mode = hidden;
        EXPECT_EQ(2, run_press(1));
        std::vector<std::string> lines = {"WAITING window", "NOTFOUND"};
        if (launcher_hidden)
            lines.insert(lines.begin() + 1, "STATE launcher-hidden");
        ASSERT_EQ(lines, reported);
        EXPECT_EQ(START, reported_at[launcher_hidden]) << "named within the first pass";
        uint32_t poll = hidden ? 40 : 400;
        for (uint32_t wait : virtual_time.waits)
            EXPECT_EQ(poll, wait);
        EXPECT_EQ(1000 / poll * poll + (1000 % poll ? poll : 0), total_waited());
        EXPECT_EQ(0, hide_mode);
    }
}

TEST_F(Driver, FindReportsTheTargetAndBringsTheFrontWindowForward)
{
    start({});
    PlayPage page = add_play_page(d, 1);
    find_only = 1;
    HWND front = CreateWindowExW(0, L"STATIC", L"Kestrov V6 Launcher", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                 200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND other = plain_foreground_window();
    ASSERT_EQ(other, GetForegroundWindow());
    wcscpy(front_title, L"Kestrov V6 Launcher");
    EXPECT_EQ(0, run_press(5));
    EXPECT_EQ((std::vector<std::string>{window_line(launcher.window), PLAY_FOUND}), reported);
    EXPECT_EQ(0, d.nodes[page.play].pattern_requests) << "find presses nothing";
    EXPECT_EQ(front, GetForegroundWindow());

    // Not over a full-screen program of the player's.
    install_virtual_time(START);
    pinned_machine = PINNED_FULL_SCREEN;
    SetForegroundWindow(other);
    pump_for(100);
    EXPECT_EQ(0, run_press(5));
    EXPECT_EQ((std::vector<std::string>{window_line(launcher.window), "STATE full-screen", PLAY_FOUND}), reported);
    EXPECT_EQ(other, GetForegroundWindow());
    DestroyWindow(front);
    DestroyWindow(other);

    // A --front window that does not exist changes nothing.
    install_virtual_time(START);
    wcscpy(front_title, L"No such window");
    EXPECT_EQ(0, run_press(5));
    EXPECT_EQ(2u, reported.size());
}

TEST_F(Driver, PressThatStartsTheGameIsConfirmedAndWatched)
{
    start({});
    PlayPage page = add_play_page(d, 1);
    unsigned long pid = 0;
    virtual_time.on_wait = [&](uint64_t) {
        if (d.nodes[page.play].invoke_calls > 0 && !pid)
            pid = start_game(&game, 20000, launcher.process.hProcess);
    };
    EXPECT_EQ(0, run_press(5));
    std::string game_line = "GAME " + std::to_string(pid);
    EXPECT_EQ((std::vector<std::string>{window_line(launcher.window), PLAY_FOUND, "TRY invoke", game_line,
                                        "PRESSED invoke", game_line}),
              reported);
    EXPECT_EQ(1, d.nodes[page.play].invoke_calls);
}

int count_with(const std::vector<std::string>& lines, const char* start, const char* part)
{
    int count = 0;
    for (const std::string& line : lines)
        count += line.compare(0, strlen(start), start) == 0 && line.find(part) != std::string::npos;
    return count;
}

// A press that no method confirms (the launcher has no button), in hide
// mode, on each state of the player's machine: the state named once, after
// WINDOW; only the methods it leaves open; the windows shown again at the
// end. A launcher above the tool is never hidden, posted to or clicked, and
// the run ends within 15 s of its window, with or without Play in the tree;
// a call into its UI that overran closes the route, unprobed (Windows may
// refuse the probe, which would not mean the launcher stopped).
TEST_F(Driver, StuckInHideModeShowsTheWindowsAgain)
{
    start({});
    PlayPage page = add_play_page(d, 1);
    d.nodes[page.play].invoke_result = E_FAIL;
    d.nodes[page.play].default_action_result = E_FAIL;
    const std::string FOUND = PLAY_FOUND;
    const std::vector<std::string> every = {FOUND, "TRY invoke", "TRY legacy", "TRY message", "TRY click", "STUCK"};
    const std::vector<std::string> no_click = {FOUND, "TRY invoke", "TRY legacy", "TRY message", "STUCK"};
    auto named = [](const char* state, std::vector<std::string> lines) {
        lines.insert(lines.begin(), std::string("STATE ") + state);
        return lines;
    };
    enum { NO_TREE, PLAY_IN_TREE, INVOKE_OVERRUNS };
    struct Row {
        const char* what;
        int pinned;
        int launcher_in_front;  // else a window of the player's is
        int tree;
        std::vector<std::string> lines;  // after WINDOW
        uint64_t stuck_within_ms;        // of WINDOW; 0: as the press takes
    } rows[] = {
        {"nothing in the way", PINNED_PLAIN, 0, 1, every, 0},
        {"run as administrator", PINNED_ELEVATED, 0, 1,
         named("launcher-elevated", {FOUND, "TRY invoke", "TRY legacy", "STUCK"}), 15000},
        {"run as administrator, its tree kept from the tool", PINNED_ELEVATED, 0, NO_TREE,
         named("launcher-elevated", {"STUCK"}), 10500},
        {"run as administrator, its invoke overrunning", PINNED_ELEVATED, 0, INVOKE_OVERRUNS,
         named("launcher-elevated", {FOUND, "TRY invoke", "STUCK"}), 15000},
        {"on another virtual desktop", PINNED_CLOAKED, 0, 1, named("launcher-cloaked", no_click), 0},
        {"the screen locked", PINNED_AWAY, 0, 1, named("session-not-present", no_click), 0},
        {"a full-screen game in front", PINNED_FULL_SCREEN, 0, 1, named("full-screen", no_click), 0},
        {"a full-screen program in front", PINNED_BUSY, 0, 1, named("busy", no_click), 0},
        {"presentation mode", PINNED_PRESENTATION, 0, 1, named("presentation", no_click), 0},
        {"full screen, the launcher's own window in front", PINNED_FULL_SCREEN, 1, 1, every, 0},
        {"the foreground refused", PINNED_FOREGROUND_REFUSED, 0, 1,
         {FOUND, "TRY invoke", "TRY legacy", "TRY message", "TRY click", "STATE foreground-refused", "STUCK"}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        install_virtual_time(START);
        pinned_machine = row.pinned;
        hide_mode = 1;
        d.nodes[page.play].in_tree = row.tree != NO_TREE;
        d.nodes[page.profile].in_tree = row.tree != NO_TREE;
        if (row.tree == INVOKE_OVERRUNS)
            install_virtual_calls([](const LauncherCall* call) -> uint64_t {
                return call->kind == CALL_UI_ACTION ? 60000 : 0;
            });
        HWND player_window = row.launcher_in_front ? nullptr : plain_foreground_window();
        if (row.launcher_in_front)
            SetForegroundWindow(launcher.window);
        pump_for(100);
        size_t log_before = launcher_log(&launcher).size();
        int ever_hidden = 0;
        virtual_time.on_wait = [&](uint64_t) {
            ever_hidden |= GetPropW(launcher.window, L"KestrovV6.Hidden") != nullptr;
        };
        virtual_time.real_sleep_ms = 5;
        long let_go_before = references_let_go();
        EXPECT_EQ(4, run_press(30));
        EXPECT_EQ(row.tree == INVOKE_OVERRUNS, ui_route.given_up);
        remove_virtual_time();
        // With the route closed the target's reference is let go of without
        // a call, as the launcher may not answer one: it stays with the double.
        d.live_objects -= (int)(references_let_go() - let_go_before);
        std::vector<std::string> lines = row.lines;
        lines.insert(lines.begin(), window_line(launcher.window));
        EXPECT_EQ(lines, reported);
        EXPECT_EQ(row.pinned != PINNED_ELEVATED, ever_hidden);
        EXPECT_EQ(nullptr, GetPropW(launcher.window, L"KestrovV6.Hidden"));
        EXPECT_EQ(0, hide_mode);
        if (row.stuck_within_ms) {
            EXPECT_LE(reported_at.back() - reported_at.front(), row.stuck_within_ms);
        }
        // What reached the launcher: posted clicks only after TRY message,
        // a real one only when it was made.
        pump_for(200);
        std::vector<std::string> log = launcher_log(&launcher);
        log.erase(log.begin(), log.begin() + (long)log_before);
        EXPECT_EQ(count_with(lines, "TRY message", ""), count_with(log, "LBUTTONDOWN", " posted") > 0);
        EXPECT_EQ(count_with(lines, "TRY click", "") - count_with(lines, "STATE foreground-refused", ""),
                  count_with(log, "LBUTTONDOWN", " real"));
        if (player_window)
            DestroyWindow(player_window);
    }
}

TEST_F(Driver, MinimisedLauncherIsShownWithoutActivation)
{
    start({L"--minimized"});
    ASSERT_TRUE(IsIconic(launcher.window));
    add_play_page(d, 1);
    find_only = 1;
    HWND player_window = plain_foreground_window();
    ASSERT_EQ(player_window, GetForegroundWindow());
    EXPECT_EQ(0, run_press(5));
    ASSERT_FALSE(virtual_time.waits.empty());
    EXPECT_EQ(300u, virtual_time.waits.front());
    EXPECT_FALSE(IsIconic(launcher.window));
    EXPECT_EQ(player_window, GetForegroundWindow()) << "the launcher was activated";
    DestroyWindow(player_window);
    EXPECT_EQ(PLAY_FOUND, reported.back());
}

TEST_F(Driver, WatchPressesAgainAtMostTwiceAfterClosingAPopup)
{
    start({});
    PlayPage page = add_play_page(d, 1);
    int popup = add_store_popup(d, RECT{300, 300, 700, 400});
    int close = add_button(d, L"Close", RECT{450, 420, 550, 450});
    d.nodes[popup].name = L"Welcome";
    // Each press makes Play go and a store pop-up come; closing the pop-up
    // brings Play back.
    int presses_seen = 0, closes_seen = 0;
    virtual_time.on_wait = [&](uint64_t) {
        if (d.nodes[page.play].invoke_calls > presses_seen) {
            presses_seen = d.nodes[page.play].invoke_calls;
            d.nodes[page.play].name = L"Launching";
            d.nodes[popup].name = L"This Microsoft Store account doesn't match";
        }
        if (d.nodes[close].invoke_calls > closes_seen) {
            closes_seen = d.nodes[close].invoke_calls;
            d.nodes[popup].name = L"Welcome";
            d.nodes[page.play].name = L"Play";
        }
    };
    EXPECT_EQ(0, run_press(5));
    std::vector<std::string> expected = {window_line(launcher.window), PLAY_FOUND, "TRY invoke", "PRESSED invoke"};
    for (int i = 0; i < 2; i++)
        for (const char* line : {"POPUP closed with Close", "FOUND uia again", "TRY invoke", "PRESSED invoke"})
            expected.push_back(line);
    expected.push_back("POPUP closed with Close");
    EXPECT_EQ(expected, reported);
    EXPECT_EQ(3, d.nodes[page.play].invoke_calls);
}

TEST_F(Driver, EveryNewBestWindowIsReportedAndStartsItsOwnState)
{
    // No launcher at first; one comes, goes and another comes.
    add_play_page(d, 0);
    int tab = add_tab(d, L"Play", RECT{150, 100, 250, 140}, UIA_TabItemControlTypeId);
    SimulatedLauncher second{};
    std::vector<std::string> windows;
    int phase = 0;
    virtual_time.on_wait = [&](uint64_t now) {
        uint64_t at = now - START;
        if (phase == 0 && at >= 800) {
            phase = 1;
            ASSERT_EQ(1, start_launcher(&launcher, {L"--no-button"}));
            windows.push_back(window_line(launcher.window));
        } else if (phase == 1 && at >= 2400) {
            phase = 2;
            stop_launcher(&launcher);
        } else if (phase == 2 && at >= 3200) {
            phase = 3;
            ASSERT_EQ(1, start_launcher(&second, {L"--no-button", L"--x", L"150"}));
            windows.push_back(window_line(second.window));
        }
    };
    EXPECT_EQ(2, run_press(5));
    stop_launcher(&second);
    ASSERT_EQ(2u, windows.size());
    EXPECT_EQ((std::vector<std::string>{"WAITING window", windows[0], windows[1], "NOTFOUND"}), reported);
    EXPECT_EQ(2, d.nodes[tab].invoke_calls) << "the tab is tried once on each window";
}

}  // namespace
