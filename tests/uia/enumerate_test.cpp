// Scanning a window's tree through the UIA double: the three routes, the
// caps, the references, the walker choice and the accessibility nudge. The
// window is a real one of this process (the nudge and GetWindowRect need it).
#include "app/settings.h"
#include "uia/ui_route.h"
#include "support/uia_double.h"
#include "uia/enumerate.h"
#include "uia/launcher_ui.h"
#include "windows/launcher_call.h"

#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

const int Button = UIA_ButtonControlTypeId;
const int Hyperlink = UIA_HyperlinkControlTypeId;
const int ListItem = UIA_ListItemControlTypeId;
const int TabItem = UIA_TabItemControlTypeId;
const int Text = UIA_TextControlTypeId;
const int Group = UIA_GroupControlTypeId;

// WM_GETOBJECT requests for the client object, per window.
std::vector<HWND> nudged;

LRESULT CALLBACK test_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_GETOBJECT && wparam == 0 && lparam == (LPARAM)OBJID_CLIENT) {
        nudged.push_back(window);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// A hidden top-level window at 100,80 of 1000 x 700 (centre line 430), with
// a child and a grandchild.
struct TestWindow {
    HWND window = nullptr;
    HWND child = nullptr;
    HWND grandchild = nullptr;

    TestWindow()
    {
        WNDCLASSW window_class = {};
        window_class.lpfnWndProc = test_window_proc;
        window_class.hInstance = GetModuleHandleW(nullptr);
        window_class.lpszClassName = L"KV6UiaTestWindow";
        RegisterClassW(&window_class);
        window = CreateWindowExW(0, L"KV6UiaTestWindow", L"Minecraft Launcher", WS_OVERLAPPEDWINDOW,
                                 100, 80, 1000, 700, nullptr, nullptr, window_class.hInstance,
                                 nullptr);
        child = CreateWindowExW(0, L"KV6UiaTestWindow", L"", WS_CHILD, 0, 0, 50, 50, window,
                                nullptr, window_class.hInstance, nullptr);
        grandchild = CreateWindowExW(0, L"KV6UiaTestWindow", L"", WS_CHILD, 0, 0, 10, 10, child,
                                     nullptr, window_class.hInstance, nullptr);
    }
    ~TestWindow() { DestroyWindow(window); }
};

class ScanTest : public ::testing::Test {
protected:
    static TestWindow* test_window;
    UiaDouble d;
    UiScan scan;
    wchar_t saved_pattern[SETTING_TEXT_CAPACITY];

    static void SetUpTestSuite() { test_window = new TestWindow(); }
    static void TearDownTestSuite()
    {
        delete test_window;
        test_window = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(test_window->window, nullptr);
        memset(&scan, 0x5A, sizeof scan);  // the scan must zero it itself
        wcscpy(saved_pattern, profile_pattern);
        wcscpy(profile_pattern, L"kestrov v6");
        nudged.clear();
        install_uia_double(d);
    }
    void TearDown() override
    {
        remove_uia_double(d);
        EXPECT_EQ(automation, nullptr);
        wcscpy(profile_pattern, saved_pattern);
        EXPECT_EQ(d.live_objects, 0) << "references still held";
        EXPECT_EQ(d.over_releases, 0);
        EXPECT_EQ(d.unimplemented_calls, 0) << d.last_unimplemented;
    }

    HWND window() const { return test_window->window; }
    void scan_window() { scan_launcher_ui(window(), &scan); }
};
TestWindow* ScanTest::test_window = nullptr;

// A launcher page in the screen coordinates of the test window.
void add_launcher_page(UiaDouble& d)
{
    int page = add_node(d, UIA_WINDOW_NODE, nullptr, Group, {100, 80, 1100, 780});
    int bar = add_node(d, page, nullptr, Group, {100, 80, 1100, 130});
    add_node(d, bar, L"PLAY", TabItem, {120, 90, 200, 120});
    add_node(d, bar, L"Minecraft: Java Edition", ListItem, {210, 90, 400, 120});
    int footer = add_node(d, page, nullptr, Group, {100, 600, 1100, 780});
    add_node(d, footer, L"Kestrov V6", Text, {150, 640, 300, 660});
    add_node(d, footer, L"Play", Button, {450, 620, 750, 684});
    int spielen = add_node(d, footer, L"Spielen", Hyperlink, {800, 620, 900, 660});
    d.nodes[spielen].enabled = FALSE;
    int offscreen = add_node(d, footer, L"play", Text, {100, 900, 200, 940});
    d.nodes[offscreen].offscreen = TRUE;
    add_node(d, page, L"\u25B6 Play", Button, {500, 150, 600, 190});
    int popup = add_node(d, page, nullptr, Group, {300, 200, 900, 500});
    add_node(d, popup, L"Your Microsoft Store account doesn't match", Text, {320, 220, 880, 260});
    add_node(d, popup, L"Not now", Button, {320, 440, 480, 480});
    add_node(d, popup, L"Sign in", Hyperlink, {500, 440, 700, 480});
    add_node(d, popup, L"Jouer", Text, {0, 0, 2, 40});  // too narrow
}

// Everything a user of the record reads, as text for readable comparisons.
std::string describe(const UiScan& s)
{
    std::ostringstream out;
    auto slot = [&](const char* what, const ElementSlot& e) {
        out << what << " node " << uia_node_of(e.element) << " type " << e.control_type << " rect "
            << e.rect.left << "," << e.rect.top << "," << e.rect.right << "," << e.rect.bottom
            << "\n";
    };
    out << "elements " << s.element_count << " plays " << s.play_count << " disabled "
        << s.disabled_plays << " login " << s.login_count << " store " << s.store_count << " at "
        << s.store_rect.left << "," << s.store_rect.top << "\n";
    for (int i = 0; i < s.play_count; i++) {
        out << "score " << s.play_scores[i] << " ";
        slot("play", s.plays[i]);
    }
    slot("tab", s.play_tab);
    slot("java", s.java_tab);
    for (int i = 0; i < s.dismiss_count; i++)
        slot("dismiss", s.dismiss[i]);
    for (int i = 0; i < s.profile_count; i++)
        out << "profile " << s.profile_rects[i].top << "\n";
    return out.str();
}

TEST_F(ScanTest, LauncherPageRecord)
{
    add_launcher_page(d);
    scan_window();
    EXPECT_EQ(scan.element_count, 15);
    ASSERT_EQ(scan.play_count, 2);
    EXPECT_EQ(scan.play_scores[0], 300 * 64 * 4 * 2);  // below the centre line 430
    EXPECT_EQ(scan.play_scores[1], 100 * 40 * 4);
    EXPECT_STREQ(scan.plays[1].name, L"\u25B6 Play");
    EXPECT_EQ(scan.disabled_plays, 1);
    EXPECT_EQ(scan.play_tab.control_type, TabItem);
    EXPECT_EQ(scan.java_tab.control_type, ListItem);
    EXPECT_EQ(scan.profile_count, 1);
    EXPECT_EQ(scan.login_count, 1);
    EXPECT_EQ(scan.store_count, 1);
    ASSERT_EQ(scan.dismiss_count, 1);
    EXPECT_STREQ(scan.dismiss[0].name, L"Not now");
    EXPECT_EQ(d.last_window, window());
    int beside = 0;
    EXPECT_EQ(choose_play(&scan, &beside), 0);
    EXPECT_EQ(beside, 1);
    release_scan(&scan);
}

struct Route {
    const char* what;
    std::function<void(UiaDouble&)> fault;
    int cached;    // properties come from the cache
    int walked;    // the tree walk read them
};

TEST_F(ScanTest, ThreeRoutesGiveTheSameRecord)
{
    add_launcher_page(d);
    scan_window();
    const std::string expected = describe(scan);
    release_scan(&scan);

    const Route routes[] = {
        {"cached search", [](UiaDouble&) {}, 1, 0},
        {"cache request fails", [](UiaDouble& x) { x.faults.cache_request = UIA_FAIL; }, 0, 0},
        {"cache request null", [](UiaDouble& x) { x.faults.cache_request = UIA_NULL; }, 0, 0},
        {"cached search fails", [](UiaDouble& x) { x.faults.find_all_build_cache = UIA_FAIL; }, 0, 0},
        {"cached search null", [](UiaDouble& x) { x.faults.find_all_build_cache = UIA_NULL; }, 0, 0},
        {"empty arrays", [](UiaDouble& x) { x.faults.empty_arrays = 1; }, 0, 1},
        {"both searches fail",
         [](UiaDouble& x) {
             x.faults.find_all_build_cache = UIA_FAIL;
             x.faults.find_all = UIA_NULL;
         },
         0, 1},
        {"no true condition", [](UiaDouble& x) { x.faults.true_condition = UIA_NULL; }, 0, 1},
        {"walk by the control view",
         [](UiaDouble& x) {
             x.faults.empty_arrays = 1;
             x.faults.raw_view_walker = UIA_FAIL;
             x.faults.create_tree_walker = UIA_NULL;
         },
         0, 1},
    };
    for (const Route& route : routes) {
        SCOPED_TRACE(route.what);
        d.faults = UiaFaults{};
        route.fault(d);
        reset_uia_records(d);
        scan_window();
        EXPECT_EQ(describe(scan), expected);
        EXPECT_EQ(call_count(d, "get_CachedName") > 0, route.cached == 1);
        EXPECT_EQ(call_count(d, "GetFirstChildElement") > 0, route.walked == 1);
        release_scan(&scan);
        EXPECT_EQ(d.live_objects, 0);
    }
}

// The calls a scan through the launcher-call seam made, by kind; releases
// are refused (not begun: an earlier one blocks the window) when asked.
std::vector<int> kinds_called;
int releases_refused = 0;

int recording_waiter(LauncherCall* call, HWND, uint32_t)
{
    kinds_called.push_back(call->kind);
    if (releases_refused && call->kind == CALL_UI_RELEASE) {
        if (call->discard)
            call->discard(call);
        free_launcher_call(call);
        return CALL_NOT_STARTED;
    }
    call->work(call);
    return CALL_DONE;
}

// A client that gave up on the launcher ends the scan there: a second search
// or a walk would wait for it again.
TEST_F(ScanTest, TimeOutEndsTheScanWithoutAnotherSearch)
{
    add_launcher_page(d);
    const Route routes[] = {
        {"element", [](UiaDouble& x) { x.faults.element_from_handle = UIA_TIMEOUT; }, 0, 0},
        {"cached search", [](UiaDouble& x) { x.faults.find_all_build_cache = UIA_TIMEOUT; }, 0, 0},
        {"plain search",
         [](UiaDouble& x) {
             x.faults.find_all_build_cache = UIA_FAIL;
             x.faults.find_all = UIA_TIMEOUT;
         },
         0, 0},
    };
    for (const Route& route : routes) {
        SCOPED_TRACE(route.what);
        d.faults = UiaFaults{};
        route.fault(d);
        reset_uia_records(d);
        scan_window();
        EXPECT_EQ(1, scan.timed_out);
        EXPECT_EQ(0, scan.element_count);
        EXPECT_EQ(call_count(d, "FindAll") > 0, route.what == std::string("plain search"));
        EXPECT_EQ(0, call_count(d, "GetFirstChildElement"));
        release_scan(&scan);
        EXPECT_EQ(d.live_objects, 0);
    }

    // What a scan cut by the time-out holds (a walk that kept Play and both
    // tabs) goes to a release call, which may wait for the launcher, never
    // to this thread; a release that cannot begin lets go of it without a
    // call, counted.
    call_waiter = recording_waiter;
    for (int refused : {0, 1}) {
        SCOPED_TRACE(refused ? "release not begun" : "release begun");
        d.faults = UiaFaults{};
        d.faults.empty_arrays = 1;
        d.nodes[7].next_sibling_fault = UIA_TIMEOUT;  // after Play
        start_ui_route(0);
        kinds_called.clear();
        releases_refused = refused;
        long let_go_before = references_let_go();
        EXPECT_EQ(0, scan_launcher_ui_by(window(), &scan));
        EXPECT_EQ(1, ui_route.given_up);
        EXPECT_EQ((std::vector<int>{CALL_UI_SCAN, CALL_UI_RELEASE}), kinds_called);
        EXPECT_EQ(refused ? 3 : 0, d.live_objects);
        EXPECT_EQ(refused ? 3 : 0, references_let_go() - let_go_before);
        // Let go of on purpose: they stay with the process.
        d.live_objects = 0;
        d.outstanding_refs = 0;
    }
    d.nodes[7].next_sibling_fault = UIA_OK;
    call_waiter = await_on_worker;
    start_ui_route(0);
}

TEST_F(ScanTest, CachedRouteReadsOnlyTheFiveCachedProperties)
{
    add_launcher_page(d);
    scan_window();
    const int n = 15;
    EXPECT_EQ(scan.element_count, n);
    const std::vector<PROPERTYID> five = {UIA_NamePropertyId, UIA_ControlTypePropertyId,
                                          UIA_BoundingRectanglePropertyId, UIA_IsEnabledPropertyId,
                                          UIA_IsOffscreenPropertyId};
    EXPECT_EQ(d.cache_properties, five);
    EXPECT_EQ(d.cache_tree_filter_is_true, 1);
    EXPECT_EQ(call_count(d, "FindAllBuildCache"), 1);
    EXPECT_EQ(call_count(d, "FindAll"), 0);
    EXPECT_EQ(call_count(d, "GetElement"), n);
    for (const char* getter : {"Name", "ControlType", "BoundingRectangle", "IsEnabled",
                               "IsOffscreen"}) {
        EXPECT_EQ(call_count(d, std::string("get_Cached") + getter), n) << getter;
        EXPECT_EQ(call_count(d, std::string("get_Current") + getter), 0) << getter;
    }
    EXPECT_EQ(call_count(d, "get_RawViewWalker"), 0);
    release_scan(&scan);
}

TEST_F(ScanTest, PlainRouteReadsCurrentProperties)
{
    add_launcher_page(d);
    d.faults.find_all_build_cache = UIA_FAIL;
    scan_window();
    EXPECT_EQ(call_count(d, "FindAll"), 1);
    EXPECT_EQ(call_count(d, "get_CurrentName"), 15);
    EXPECT_EQ(call_count(d, "get_CurrentIsOffscreen"), 15);
    EXPECT_EQ(call_count(d, "get_CachedName"), 0);
    release_scan(&scan);
}

TEST_F(ScanTest, WindowElementIsNeverCounted)
{
    d.nodes[UIA_WINDOW_NODE].name = L"Play";
    d.nodes[UIA_WINDOW_NODE].control_type = Button;
    add_node(d, UIA_WINDOW_NODE, L"Kestrov V6", Text, {100, 100, 300, 130});
    for (int walk = 0; walk < 2; walk++) {
        SCOPED_TRACE(walk ? "walk" : "search");
        d.faults.empty_arrays = walk;
        scan_window();
        EXPECT_EQ(scan.element_count, 1);
        EXPECT_EQ(scan.play_count, 0);
        EXPECT_EQ(scan.profile_count, 1);
        release_scan(&scan);
    }
}

TEST_F(ScanTest, SearchReadsAtMost8000Elements)
{
    for (int i = 0; i < 8005; i++)
        add_node(d, UIA_WINDOW_NODE, nullptr, Group, {0, 0, 10, 10});
    scan_window();
    EXPECT_EQ(scan.element_count, MAX_SCAN_ELEMENTS);
    EXPECT_EQ(call_count(d, "GetElement"), MAX_SCAN_ELEMENTS);
    release_scan(&scan);
}

TEST_F(ScanTest, FailedGetElementIsSkippedAndNotCounted)
{
    add_launcher_page(d);
    d.faults.get_element[0] = UIA_FAIL;  // the nameless page group
    d.faults.get_element[6] = UIA_NULL;  // the Play button below
    scan_window();
    EXPECT_EQ(scan.element_count, 13);
    EXPECT_EQ(scan.play_count, 1);
    EXPECT_EQ(call_count(d, "GetElement"), 15);
    release_scan(&scan);
}

TEST_F(ScanTest, WalkFinishesEnteredLevelsPast8000)
{
    d.faults.empty_arrays = 1;
    int crowded = add_node(d, UIA_WINDOW_NODE, nullptr, Group, {0, 0, 10, 10});
    for (int i = 0; i < 8000; i++)
        add_node(d, crowded, nullptr, Group, {0, 0, 10, 10});
    add_node(d, crowded, L"Play", Button, {100, 100, 200, 140});  // element 8002: still read
    int late = add_node(d, UIA_WINDOW_NODE, nullptr, Group, {0, 0, 10, 10});
    add_node(d, late, L"Play", Button, {100, 600, 200, 640});  // its level is never entered
    scan_window();
    EXPECT_EQ(scan.element_count, 8003);
    ASSERT_EQ(scan.play_count, 1);
    EXPECT_EQ(scan.plays[0].rect.top, 100);
    release_scan(&scan);
}

TEST_F(ScanTest, WalkGoesDown41Levels)
{
    d.faults.empty_arrays = 1;
    int parent = UIA_WINDOW_NODE;
    for (int level = 1; level <= 42; level++) {
        const wchar_t* name = level >= 41 ? L"Play" : nullptr;
        parent = add_node(d, parent, name, Button, {100, level * 10, 200, level * 10 + 8});
    }
    scan_window();
    EXPECT_EQ(scan.element_count, 41);
    ASSERT_EQ(scan.play_count, 1);
    EXPECT_EQ(scan.plays[0].rect.top, 410);
    release_scan(&scan);
}

TEST_F(ScanTest, WalkStepFailuresEndTheirLevel)
{
    d.faults.empty_arrays = 1;
    int a = add_node(d, UIA_WINDOW_NODE, nullptr, Group, {0, 0, 10, 10});
    add_node(d, a, L"Play", Button, {0, 0, 100, 40});
    int b = add_node(d, UIA_WINDOW_NODE, nullptr, Group, {0, 0, 10, 10});
    add_node(d, UIA_WINDOW_NODE, L"Play", Button, {0, 0, 100, 40});
    d.nodes[a].first_child_fault = UIA_FAIL;
    d.nodes[b].next_sibling_fault = UIA_FAIL;
    scan_window();
    EXPECT_EQ(scan.element_count, 2);
    EXPECT_EQ(scan.play_count, 0);
    release_scan(&scan);
}

TEST_F(ScanTest, FailingGettersLeaveThePresets)
{
    int silent = add_node(d, UIA_WINDOW_NODE, L"Play", Button, {0, 0, 100, 40});
    d.nodes[silent].getters_fail = 1;
    for (int walk = 0; walk < 2; walk++) {
        d.faults.empty_arrays = walk;
        scan_window();
        EXPECT_EQ(scan.element_count, 1);
        EXPECT_EQ(scan.play_count, 0);  // no name, no rectangle
        release_scan(&scan);
    }
}

struct EmptyCase {
    const char* what;
    std::function<void(UiaDouble&)> fault;
    int failed;  // nothing was read: no evidence of an empty window either
};

TEST_F(ScanTest, FailuresThatLeaveTheRecordZero)
{
    add_launcher_page(d);
    const EmptyCase cases[] = {
        {"ElementFromHandle fails", [](UiaDouble& x) { x.faults.element_from_handle = UIA_FAIL; }, 1},
        {"ElementFromHandle null", [](UiaDouble& x) { x.faults.element_from_handle = UIA_NULL; }, 1},
        {"no walker for the walk",
         [](UiaDouble& x) {
             x.faults.empty_arrays = 1;
             x.faults.raw_view_walker = UIA_NULL;
             x.faults.create_tree_walker = UIA_FAIL;
             x.faults.control_view_walker = UIA_FAIL;
         }, 0},
    };
    for (const EmptyCase& c : cases) {
        SCOPED_TRACE(c.what);
        d.faults = UiaFaults{};
        c.fault(d);
        memset(&scan, 0x5A, sizeof scan);
        scan_window();
        UiScan zero;
        memset(&zero, 0, sizeof zero);
        zero.failed = c.failed;
        EXPECT_EQ(memcmp(&scan, &zero, sizeof scan), 0);
        EXPECT_EQ(d.live_objects, 0);
    }
}

TEST_F(ScanTest, WithoutAutomationNothingIsCalled)
{
    add_launcher_page(d);
    remove_uia_double(d);
    scan_window();
    release_scan(&scan);
    UiScan zero;
    memset(&zero, 0, sizeof zero);
    EXPECT_EQ(memcmp(&scan, &zero, sizeof scan), 0);
    EXPECT_TRUE(d.calls.empty());
    EXPECT_TRUE(nudged.empty()) << "not even the nudge";
}

TEST_F(ScanTest, ReleaseLeavesNoReferenceAfterReplacements)
{
    for (int i = 0; i < 30; i++)
        add_node(d, UIA_WINDOW_NODE, L"Play", Text, {100, 80, 110, 90 + i});
    for (int i = 0; i < 10; i++)
        add_node(d, UIA_WINDOW_NODE, L"Close", Button, {100, 80, 110, 90});
    add_node(d, UIA_WINDOW_NODE, L"Play", TabItem, {100, 80, 110, 90});
    add_node(d, UIA_WINDOW_NODE, L"Java Edition", TabItem, {100, 80, 110, 90});
    for (int walk = 0; walk < 2; walk++) {
        d.faults.empty_arrays = walk;
        scan_window();
        EXPECT_EQ(scan.play_count, MAX_PLAYS);
        EXPECT_EQ(scan.plays[0].rect.bottom, 114);  // the first 6 were replaced
        EXPECT_EQ(scan.dismiss_count, MAX_DISMISS);
        EXPECT_EQ(d.live_objects, MAX_PLAYS + MAX_DISMISS + 2);
        release_scan(&scan);
        EXPECT_EQ(d.live_objects, 0);
        EXPECT_EQ(d.outstanding_refs, 0);
    }
}

TEST_F(ScanTest, NudgeReachesTheWindowAndEveryDescendant)
{
    nudge_accessibility(window());
    ASSERT_EQ(nudged.size(), 3u);
    EXPECT_EQ(nudged[0], window());
    EXPECT_EQ(nudged[1], test_window->child);
    EXPECT_EQ(nudged[2], test_window->grandchild);
}

struct WalkerCase {
    const char* what;
    UiaFault raw, condition, created, control;
    int gives_walker;
    int calls_condition, calls_create, calls_control;
};

TEST_F(ScanTest, TreeWalkerChoiceInOrder)
{
    const WalkerCase cases[] = {
        {"raw view", UIA_OK, UIA_OK, UIA_OK, UIA_OK, 1, 0, 0, 0},
        {"raw view fails: created", UIA_FAIL, UIA_OK, UIA_OK, UIA_OK, 1, 1, 1, 0},
        {"raw view null: created", UIA_NULL, UIA_OK, UIA_OK, UIA_OK, 1, 1, 1, 0},
        {"creation fails: control view", UIA_FAIL, UIA_OK, UIA_FAIL, UIA_OK, 1, 1, 1, 1},
        {"creation null: control view", UIA_FAIL, UIA_OK, UIA_NULL, UIA_OK, 1, 1, 1, 1},
        {"no condition: control view", UIA_FAIL, UIA_FAIL, UIA_OK, UIA_OK, 1, 1, 0, 1},
        {"null condition: control view", UIA_FAIL, UIA_NULL, UIA_OK, UIA_OK, 1, 1, 0, 1},
        {"control view fails", UIA_FAIL, UIA_FAIL, UIA_OK, UIA_FAIL, 0, 1, 0, 1},
        {"control view null", UIA_NULL, UIA_OK, UIA_FAIL, UIA_NULL, 0, 1, 1, 1},
    };
    for (const WalkerCase& c : cases) {
        SCOPED_TRACE(c.what);
        d.faults.raw_view_walker = c.raw;
        d.faults.true_condition = c.condition;
        d.faults.create_tree_walker = c.created;
        d.faults.control_view_walker = c.control;
        reset_uia_records(d);
        IUIAutomationTreeWalker* walker = get_tree_walker();
        EXPECT_EQ(walker != nullptr, c.gives_walker == 1);
        EXPECT_EQ(call_count(d, "get_RawViewWalker"), 1);
        EXPECT_EQ(call_count(d, "CreateTrueCondition"), c.calls_condition);
        EXPECT_EQ(call_count(d, "CreateTreeWalker"), c.calls_create);
        EXPECT_EQ(call_count(d, "get_ControlViewWalker"), c.calls_control);
        if (walker)
            walker->Release();
        EXPECT_EQ(d.live_objects, 0) << "the condition must be released";
    }
}

}  // namespace
