// The locate pass's decisions, row by row, on virtual time: the UI tree comes
// from the UI Automation double, pixels from real captures of the simulated
// launcher.
#include <gtest/gtest.h>

#include <windowsx.h>

#include "app/settings.h"
#include "uia/ui_route.h"
#include "press/locate.h"
#include "press_harness.h"
#include "support/refused_calls.h"
#include "support/simulated_launcher.h"
#include "vision/capture.h"
#include "vision/green_button.h"
#include "windows/input_calls.h"
#include "windows/machine_now.h"
#include "windows/window_handling.h"

namespace {

const uint64_t START = 1000000;

struct LocatePass : ::testing::Test {
    UiaDouble d;
    HWND window = nullptr;
    LocateState state{};
    PlayTarget target{};
    int handled = -1;

    void SetUp() override
    {
        reset_settings();
        install_virtual_time(START);
        window = make_plain_window();
        state.first_seen = START;
        install_uia_double(d);
    }
    void TearDown() override
    {
        release_target(&target);
        EXPECT_EQ(0, d.live_objects) << "element references left behind";
        remove_uia_double(d);
        remove_virtual_time();
        DestroyWindow(window);
        reset_settings();
    }
    // One pass at `at` ms after the window was first seen; "" for none.
    std::string pass_at(uint64_t at)
    {
        virtual_time.now = START + at;
        release_target(&target);
        const char* word = locate_play(window, &state, &target, &handled);
        return word ? word : "";
    }
    // A page without Play: one caption, so scans of it are looks.
    void add_caption() { add_node(d, UIA_WINDOW_NODE, L"Minecraft Launcher", UIA_TextControlTypeId, RECT{150, 150, 350, 180}); }
    // Escape keys posted to our own window by send_escape.
    int escapes_posted()
    {
        int count = 0;
        MSG message;
        while (PeekMessageW(&message, window, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE))
            count += message.wParam == VK_ESCAPE;
        return count;
    }
    // Left clicks posted to our own window at the centre of `rect` (screen).
    int clicks_posted_at(RECT rect)
    {
        POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        ScreenToClient(window, &centre);
        int count = 0;
        MSG message;
        while (PeekMessageW(&message, window, WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_REMOVE))
            count += GET_X_LPARAM(message.lParam) == centre.x && GET_Y_LPARAM(message.lParam) == centre.y;
        return count;
    }
};

// --- store pop-up -----------------------------------------------------------

TEST_F(LocatePass, FirstOfEquallyNearDismissButtonsIsPressed)
{
    add_store_popup(d, RECT{300, 300, 700, 400});  // centre 500, 350
    int first = add_button(d, L"Later", RECT{400, 400, 500, 420});    // 50 + 60
    int second = add_button(d, L"Cancel", RECT{500, 280, 600, 300});  // 50 + 60
    pass_at(0);
    EXPECT_EQ(1, d.nodes[first].invoke_calls);
    EXPECT_EQ(0, d.nodes[second].invoke_calls);
    EXPECT_EQ(0, d.nodes[second].default_action_calls);
}

// Against a launcher above the tool nothing is pressed or sent, as in find.
TEST_F(LocatePass, DismissFallsBackFromInvokeToLegacyToEscape)
{
    struct Row {
        int has_button;
        HRESULT invoke_result, legacy_result;
        const char* report;
        int escapes;
        int pinned = PINNED_PLAIN;
    };
    const Row rows[] = {
        {1, S_OK, S_OK, "POPUP closed with OK", 0},
        {1, E_FAIL, S_OK, "POPUP closed with OK", 0},
        {1, E_FAIL, E_FAIL, "POPUP closed with Escape", 1},
        {0, S_OK, S_OK, "POPUP closed with Escape", 1},
        {1, S_OK, S_OK, nullptr, 0, PINNED_ELEVATED},
        {0, S_OK, S_OK, nullptr, 0, PINNED_ELEVATED},
    };
    for (const Row& row : rows) {
        UiaDouble local;
        remove_uia_double(d);
        install_uia_double(local);
        add_store_popup(local, RECT{300, 300, 700, 400});
        if (row.has_button) {
            int button = add_button(local, L"OK", RECT{450, 420, 550, 450});
            local.nodes[button].invoke_result = row.invoke_result;
            local.nodes[button].default_action_result = row.legacy_result;
        }
        reported.clear();
        state = LocateState{};
        pinned_machine = row.pinned;
        EXPECT_EQ("", pass_at(0));
        EXPECT_EQ(1, handled);
        EXPECT_EQ(row.report ? std::vector<std::string>{row.report} : std::vector<std::string>{}, reported);
        EXPECT_EQ(row.escapes, escapes_posted());
        if (row.has_button) {
            EXPECT_EQ(row.pinned == PINNED_PLAIN, local.nodes.back().invoke_calls);
        }
        EXPECT_EQ(0, local.live_objects);
        remove_uia_double(local);
        install_uia_double(d);
    }
}

TEST_F(LocatePass, SeventhStorePopupIsLookedPast)
{
    add_store_popup(d, RECT{300, 300, 700, 400});
    int button = add_button(d, L"Close", RECT{450, 420, 550, 450});
    add_play_page(d, 1);
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ("", pass_at(i * 900));
        EXPECT_EQ(1, handled);
    }
    EXPECT_EQ("uia", pass_at(6 * 900));
    EXPECT_EQ(0, handled);
    EXPECT_EQ(6, d.nodes[button].invoke_calls);
    EXPECT_EQ(6u, reported.size());
    EXPECT_EQ(6, state.popup_closes);
}

// --- Play candidates ----------------------------------------------------------

TEST_F(LocatePass, PlayTabIsTriedOncePerWindowByInvokeSelectLegacy)
{
    struct Row {
        HRESULT invoke_result, select_result, legacy_result;
        int invokes, selects, legacies, clicks;
    };
    // When no pattern takes it (a client without patterns), a click does.
    const Row rows[] = {
        {S_OK, S_OK, E_FAIL, 1, 0, 0, 0},
        {E_FAIL, S_OK, E_FAIL, 1, 1, 0, 0},
        {E_FAIL, E_FAIL, S_OK, 1, 1, 1, 0},
        {E_FAIL, E_FAIL, E_FAIL, 1, 1, 1, 1},
    };
    const RECT tab_rect = {50, 20, 150, 60};
    for (const Row& row : rows) {
        UiaDouble local;
        remove_uia_double(d);
        install_uia_double(local);
        add_play_page(local, 0);
        int tab = add_tab(local, L"Play", tab_rect, UIA_TabItemControlTypeId);
        local.nodes[tab].invoke_result = row.invoke_result;
        local.nodes[tab].select_result = row.select_result;
        local.nodes[tab].default_action_result = row.legacy_result;
        state = LocateState{};
        state.first_seen = START;
        EXPECT_EQ("", pass_at(0));
        EXPECT_EQ(1, handled);
        EXPECT_EQ(row.invokes, local.nodes[tab].invoke_calls);
        EXPECT_EQ(row.selects, local.nodes[tab].select_calls);
        EXPECT_EQ(row.legacies, local.nodes[tab].default_action_calls);
        EXPECT_EQ(row.clicks, clicks_posted_at(tab_rect));
        // Tried once for this window: the next pass waits out the grace.
        EXPECT_EQ("", pass_at(900));
        EXPECT_EQ(0, handled);
        EXPECT_EQ(row.invokes, local.nodes[tab].invoke_calls);
        // Another window: tried again.
        state.tab_tried = 0;
        pass_at(1800);
        EXPECT_EQ(1, handled);
        EXPECT_EQ(2 * row.invokes, local.nodes[tab].invoke_calls);
        EXPECT_TRUE(reported.empty()) << joined_reports();
        remove_uia_double(local);
        install_uia_double(d);
    }
}

TEST_F(LocatePass, JavaEntryIsTriedBySelectInvokeLegacyWithoutAProfileName)
{
    add_button(d, L"Play", PLAY_RECT);
    int entry = add_tab(d, L"Minecraft: Java Edition", RECT{20, 200, 220, 240}, UIA_ListItemControlTypeId);
    d.nodes[entry].select_result = E_FAIL;
    d.nodes[entry].invoke_result = E_FAIL;
    EXPECT_EQ("", pass_at(0));
    EXPECT_EQ(1, handled);
    EXPECT_EQ(1, d.nodes[entry].select_calls);
    EXPECT_EQ(1, d.nodes[entry].invoke_calls);
    EXPECT_EQ(1, d.nodes[entry].default_action_calls);
    EXPECT_EQ(1, state.java_tried);
}

TEST_F(LocatePass, CandidateNotBesideTheProfileWaitsOutItsGraceThenNeedsTheMarker)
{
    PlayPage page = add_play_page(d, 0);
    EXPECT_EQ("", pass_at(0));
    EXPECT_EQ("", pass_at(2500));
    EXPECT_TRUE(reported.empty());
    // The plain window cannot be captured: unconfirmed. In high contrast
    // the marker's absence tells nothing.
    machine_now.high_contrast = 1;
    EXPECT_EQ("", pass_at(2501));
    EXPECT_TRUE(reported.empty());
    machine_now.high_contrast = 0;
    EXPECT_EQ("", pass_at(2502));
    EXPECT_EQ(std::vector<std::string>{"NOT_SELECTED"}, reported);
    EXPECT_EQ(0, handled);

    // Missed for one pass: the grace starts again, and the report stays single.
    d.nodes[page.play].name = L"Installing";
    EXPECT_EQ("", pass_at(2600));
    EXPECT_EQ(0u, state.candidate_since);
    d.nodes[page.play].name = L"Play";
    EXPECT_EQ("", pass_at(2700));
    EXPECT_EQ(START + 2700, state.candidate_since);
    EXPECT_EQ("", pass_at(5200));
    EXPECT_EQ("", pass_at(5201));
    EXPECT_EQ(1u, reported.size()) << joined_reports();
}

TEST_F(LocatePass, LoginIsReportedOnceAndOnlyWithoutACandidate)
{
    add_button(d, L"Sign in", RECT{400, 300, 600, 340});
    PlayPage page = add_play_page(d, 1);
    EXPECT_EQ("uia", pass_at(0));
    EXPECT_TRUE(reported.empty());
    d.nodes[page.play].name = L"Loading";
    EXPECT_EQ("", pass_at(500));
    EXPECT_EQ("", pass_at(1000));
    EXPECT_EQ(std::vector<std::string>{"LOGIN"}, reported);
    EXPECT_EQ(1, state.login_reported);
}

TEST_F(LocatePass, LoginInHideModeShowsTheWindowAndEndsHideMode)
{
    hide_mode = 1;
    hide_window(window);
    ASSERT_NE(nullptr, GetPropW(window, L"KestrovV6.Hidden"));
    add_button(d, L"Sign in", RECT{400, 300, 600, 340});
    pass_at(0);
    EXPECT_EQ(std::vector<std::string>{"LOGIN"}, reported);
    EXPECT_EQ(0, hide_mode);
    EXPECT_EQ(nullptr, GetPropW(window, L"KestrovV6.Hidden"));
}

// --- pixels: the simulated launcher in its own process -------------------------

struct LocateOnLauncher : LocatePass {
    SimulatedLauncher launcher{};
    void start(std::vector<std::wstring> arguments)
    {
        ASSERT_EQ(1, start_launcher(&launcher, arguments));
        DestroyWindow(window);
        window = launcher.window;
    }
    void TearDown() override
    {
        window = nullptr;  // the launcher's, not ours to destroy
        LocatePass::TearDown();
        stop_launcher(&launcher);
    }
    RECT button_on_screen()
    {
        RECT r = default_button_rect(launcher.window);
        POINT origin = {0, 0};
        ClientToScreen(window, &origin);
        OffsetRect(&r, origin.x, origin.y);
        return r;
    }
};

TEST_F(LocateOnLauncher, GreenButtonBesideTheMarkerIsTakenAfter3000ms)
{
    start({L"--marker"});
    add_caption();
    // Looks enough long before 3000 ms: only the time holds the picture back.
    for (uint64_t at : {0, 1000, 2000, 3000})
        EXPECT_EQ("", pass_at(at)) << "at " << at;
    EXPECT_EQ("pixels", pass_at(3001));
    RECT expected = default_button_rect(launcher.window);
    EXPECT_EQ(1, target.in_client);
    EXPECT_TRUE(EqualRect(&expected, &target.rect));
    EXPECT_EQ(nullptr, target.element);
    EXPECT_NE(0u, target.colour);
    EXPECT_TRUE(reported.empty());
}

// Not in high contrast, where the page's colours are the system's.
TEST_F(LocateOnLauncher, GreenButtonWithoutTheMarkerIsNotSelectedOncePerRun)
{
    start({});
    add_caption();
    for (int high_contrast = 0; high_contrast <= 1; high_contrast++) {
        install_virtual_time(START);
        state = LocateState{};
        state.first_seen = START;
        machine_now.high_contrast = high_contrast;
        for (uint64_t at : {3001, 3501, 4001, 4501})
            EXPECT_EQ("", pass_at(at)) << "at " << at;
        EXPECT_EQ(high_contrast ? std::vector<std::string>{} : std::vector<std::string>{"NOT_SELECTED"}, reported);
    }
}

TEST_F(LocateOnLauncher, CandidateConfirmedByTheMarkerIsPressedThroughItsElement)
{
    start({L"--marker"});
    // Once on the button itself, once far from it: the green box only serves
    // the marker test, the target keeps the element's rectangle.
    const RECT candidates[] = {button_on_screen(), RECT{150, 150, 250, 190}};
    for (const RECT& rect : candidates) {
        UiaDouble local;
        remove_uia_double(d);
        install_uia_double(local);
        int play = add_button(local, L"Play", rect);
        state = LocateState{};
        state.first_seen = START;
        EXPECT_EQ("", pass_at(0));
        EXPECT_EQ("uia+icon", pass_at(2501));
        EXPECT_EQ(0, target.in_client);
        EXPECT_TRUE(EqualRect(&rect, &target.rect));
        EXPECT_EQ(play, uia_node_of(target.element));
        release_target(&target);
        EXPECT_EQ(0, local.live_objects);
        remove_uia_double(local);
        install_uia_double(d);
    }
    EXPECT_TRUE(reported.empty()) << joined_reports();
}

TEST_F(LocateOnLauncher, DisabledPlayKeepsThePixelFallbackAway)
{
    start({L"--marker"});
    int play = add_button(d, L"Play", PLAY_RECT);
    d.nodes[play].enabled = FALSE;
    EXPECT_EQ("", pass_at(3001));
    EXPECT_EQ("", pass_at(20000));
    EXPECT_TRUE(reported.empty()) << joined_reports();
}

// An Escape Windows refused is not reported, and counts against the limits
// all the same; in high contrast a picture without green tells nothing, and
// none is sent.
TEST_F(LocateOnLauncher, SuspectedPopupGetsAtMostThreeSpacedEscapes)
{
    // A red button: the picture is not flat, yet there is no green button.
    start({L"--button-colour", L"c03030"});
    add_caption();
    struct Step {
        uint64_t at;
        size_t escapes_so_far;
        size_t refused_so_far;  // a refused Escape changed nothing: only the spacing holds the next
    };
    // Each Escape may change the page: two looks after it before the next.
    const Step steps[] = {{5000, 0, 0},  {5001, 1, 1},  {9001, 1, 1},  {9002, 2, 2},
                          {13003, 2, 3}, {13004, 3, 3}, {17004, 3, 3}, {30000, 3, 3}};
    enum { SENT, REFUSED, HIGH_CONTRAST };
    for (int row : {SENT, REFUSED, HIGH_CONTRAST}) {
        install_virtual_time(START);
        state = LocateState{};
        state.first_seen = START;
        machine_now.high_contrast = row == HIGH_CONTRAST;
        if (row == REFUSED) {
            input_calls.send_input = input_cut_short;
            input_calls.post_message = post_refused;
        }
        for (const Step& step : steps) {
            EXPECT_EQ("", pass_at(step.at));
            size_t tried = row == SENT ? step.escapes_so_far : row == REFUSED ? step.refused_so_far : 0;
            EXPECT_EQ(tried, (size_t)state.escape_count) << row << " at " << step.at;
            EXPECT_EQ(row == SENT ? step.escapes_so_far : 0u, reported.size()) << row << " at " << step.at;
        }
        reset_input_calls();
        for (const std::string& line : reported)
            EXPECT_EQ("POPUP? Escape", line);
    }
}

TEST_F(LocateOnLauncher, NoEscapeInFindAboveTheToolOrWhileASignInElementShows)
{
    start({L"--button-colour", L"c03030"});
    add_caption();
    find_only = 1;
    EXPECT_EQ("", pass_at(6000));
    EXPECT_EQ("", pass_at(6001));
    find_only = 0;
    pinned_machine = PINNED_ELEVATED;
    EXPECT_EQ("", pass_at(6002));
    EXPECT_EQ("", pass_at(6003));
    pinned_machine = PINNED_PLAIN;
    add_button(d, L"Sign in", RECT{400, 300, 600, 340});
    EXPECT_EQ("", pass_at(12000));
    EXPECT_EQ(std::vector<std::string>{"LOGIN"}, reported);
    EXPECT_EQ(0, state.escape_count);
}

}  // namespace
