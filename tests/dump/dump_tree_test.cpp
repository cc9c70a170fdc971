// The dump's UI Automation part, in-process against the test double: the
// element lines, the limits of the walk, the "no tree" lines and the scan
// summary. Report lines are collected through report_hook.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "app/report.h"
#include "app/settings.h"
#include "uia/ui_route.h"
#include "diag/diagnosis.h"
#include "diag/dump.h"
#include "press/clock.h"
#include "support/child_process.h"
#include "support/simulated_launcher.h"
#include "support/uia_double.h"
#include "uia/normalize.h"
#include "windows/machine_state.h"

namespace {

std::vector<std::string> collected;
void collect_line(const char* line)
{
    collected.push_back(line);
}

std::vector<uint32_t> waits;
HWND moved_at_settle = nullptr;  // moved 40 right and 30 down in the settle wait
void record_wait(uint32_t milliseconds)
{
    waits.push_back(milliseconds);
    RECT r;
    if (milliseconds == 600 && moved_at_settle && GetWindowRect(moved_at_settle, &r))
        SetWindowPos(moved_at_settle, nullptr, r.left + 40, r.top + 30, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The settle time after the nudge only matters to a real launcher; the
    // capture's own waits must pass for real.
    if (milliseconds != 600)
        Sleep(milliseconds);
}

// Sets a node's printed properties in one go.
void describe(UiaDouble& d, int node, const wchar_t* type, BOOL enabled, BOOL offscreen, int invoke)
{
    d.nodes[node].localized_type = type;
    d.nodes[node].enabled = enabled;
    d.nodes[node].offscreen = offscreen;
    d.nodes[node].invoke_available = invoke;
}

class ElementTree : public ::testing::Test {
protected:
    UiaDouble d;
    IUIAutomationTreeWalker* walker = nullptr;
    IUIAutomationElement* root = nullptr;

    void SetUp() override
    {
        d.nodes[UIA_WINDOW_NODE].name = L"Minecraft Launcher";
        d.nodes[UIA_WINDOW_NODE].name_is_null = 0;
        d.nodes[UIA_WINDOW_NODE].rect = RECT{100, 80, 1100, 780};
        describe(d, UIA_WINDOW_NODE, L"window", TRUE, FALSE, 0);
        install_uia_double(d);
        collected.clear();
        report_hook = collect_line;
        dumped_elements = 0;
    }
    // Dumps the tree from the window node; gives the lines printed.
    std::vector<std::string> dump()
    {
        d.automation_object->get_RawViewWalker(&walker);
        root = make_element(d, UIA_WINDOW_NODE);
        dump_element_tree(walker, root, 0);
        return collected;
    }
    void TearDown() override
    {
        report_hook = nullptr;
        // The dump keeps no reference of its own: ours are the last ones.
        if (root)
            root->Release();
        if (walker)
            walker->Release();
        EXPECT_EQ(0, d.live_objects);
        EXPECT_EQ(0, d.over_releases);
        remove_uia_double(d);
    }
};

}  // namespace

TEST_F(ElementTree, EachLevelIndentsTwoBlanksAndPrintsTypeNameAndBox)
{
    int play = add_node(d, UIA_WINDOW_NODE, L"Play", UIA_ButtonControlTypeId, RECT{400, 600, 700, 664});
    describe(d, play, L"button", TRUE, FALSE, 1);
    int caption = add_node(d, play, L"Pl\u00e4y \u201cnow\u201d", UIA_TextControlTypeId, RECT{410, 610, 500, 630});
    describe(d, caption, L"text", TRUE, FALSE, 0);
    int deeper = add_node(d, caption, L"", UIA_TextControlTypeId, RECT{-20, -10, -5, 0});
    describe(d, deeper, L"text", TRUE, FALSE, 0);
    int unnamed = add_node(d, UIA_WINDOW_NODE, nullptr, UIA_PaneControlTypeId, RECT{0, 0, 10, 10});
    describe(d, unnamed, L"pane", TRUE, FALSE, 0);

    std::vector<std::string> expected{
        "[window] \"Minecraft Launcher\" 100 80 1000 700",
        "  [button] \"Play\" 400 600 300 64 invoke",
        "    [text] \"Pl\xc3\xa4y \xe2\x80\x9cnow\xe2\x80\x9d\" 410 610 90 20",
        "      [text] \"\" -20 -10 15 10",
        "  [pane] \"\" 0 0 10 10",
    };
    EXPECT_EQ(expected, dump());
    EXPECT_EQ(5, dumped_elements);
}

TEST_F(ElementTree, SuffixesComeDisabledOffscreenInvokeInThatOrder)
{
    struct Row {
        BOOL enabled, offscreen;
        int invoke;
        const char* suffix;
    };
    const Row rows[] = {
        {TRUE, FALSE, 0, ""},
        {FALSE, FALSE, 0, " disabled"},
        {TRUE, TRUE, 0, " offscreen"},
        {TRUE, FALSE, 1, " invoke"},
        {FALSE, TRUE, 0, " disabled offscreen"},
        {FALSE, FALSE, 1, " disabled invoke"},
        {TRUE, TRUE, 1, " offscreen invoke"},
        {FALSE, TRUE, 1, " disabled offscreen invoke"},
    };
    std::vector<std::string> expected{"[window] \"Minecraft Launcher\" 100 80 1000 700"};
    for (const Row& row : rows) {
        int node = add_node(d, UIA_WINDOW_NODE, L"B", UIA_ButtonControlTypeId, RECT{1, 2, 4, 6});
        describe(d, node, L"button", row.enabled, row.offscreen, row.invoke);
        expected.push_back(std::string("  [button] \"B\" 1 2 3 4") + row.suffix);
    }
    EXPECT_EQ(expected, dump());
}

TEST_F(ElementTree, FailingGettersPrintZerosAndNoSuffix)
{
    int node = add_node(d, UIA_WINDOW_NODE, L"Play", UIA_ButtonControlTypeId, RECT{400, 600, 700, 664});
    describe(d, node, L"button", FALSE, TRUE, 1);
    d.nodes[node].getters_fail = 1;
    std::vector<std::string> lines = dump();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("  [] \"\" 0 0 0 0", lines[1]);
}

TEST_F(ElementTree, LevelsBelowFortyAreCutAndTheirSiblingsStillWalked)
{
    // A chain 44 levels deep; the node at depth 40 has two children.
    int parent = UIA_WINDOW_NODE;
    int at_forty = -1;
    for (int depth = 1; depth <= 44; depth++) {
        parent = add_node(d, parent, L"n", UIA_GroupControlTypeId, RECT{0, 0, 5, 5});
        describe(d, parent, L"group", TRUE, FALSE, 0);
        if (depth == 40)
            at_forty = parent;
    }
    add_node(d, at_forty, L"sibling", UIA_GroupControlTypeId, RECT{0, 0, 5, 5});

    std::vector<std::string> lines = dump();
    ASSERT_EQ(41u, lines.size());  // depths 0 to 40
    EXPECT_EQ(std::string(80, ' ') + "[group] \"n\" 0 0 5 5", lines.back());
    EXPECT_EQ(41, dumped_elements);
    // Both children of the depth-40 node were stepped over, not entered.
    EXPECT_EQ(41, call_count(d, "GetFirstChildElement"));
}

TEST_F(ElementTree, PrintingStopsAfterElement4001ButOpenLevelsFinishTheirWalk)
{
    int crowded = add_node(d, UIA_WINDOW_NODE, L"list", UIA_ListControlTypeId, RECT{0, 0, 9, 9});
    describe(d, crowded, L"list", TRUE, FALSE, 0);
    for (int i = 0; i < 4005; i++)
        describe(d, add_node(d, crowded, L"item", UIA_ListItemControlTypeId, RECT{0, 0, 9, 9}), L"list item", TRUE, FALSE, 0);
    int after = add_node(d, UIA_WINDOW_NODE, L"after", UIA_ButtonControlTypeId, RECT{0, 0, 9, 9});
    describe(d, after, L"button", TRUE, FALSE, 0);

    std::vector<std::string> lines = dump();
    ASSERT_EQ(4001u, lines.size());  // the window, the list and 3999 items
    EXPECT_EQ("  [list] \"list\" 0 0 9 9", lines[1]);
    EXPECT_EQ("    [list item] \"item\" 0 0 9 9", lines.back());
    EXPECT_EQ(4001, dumped_elements);
    // Every item and the last button were stepped past (4005 + list + after),
    // but only printed elements asked for children.
    EXPECT_EQ(4007, call_count(d, "GetNextSiblingElement"));
    EXPECT_EQ(4001, call_count(d, "GetFirstChildElement"));
}

TEST_F(ElementTree, AFailedOrEmptyTreeStepEndsOnlyThatLevel)
{
    struct Row {
        const char* what;
        int first_child;   // fault on the first child's own first-child step
        int next_sibling;  // fault on the first child's next-sibling step
        size_t lines;      // printed
    };
    const Row rows[] = {
        {"no fault", UIA_OK, UIA_OK, 4},
        {"first child fails", UIA_FAIL, UIA_OK, 3},
        {"first child is null", UIA_NULL, UIA_OK, 3},
        {"next sibling fails", UIA_OK, UIA_FAIL, 3},
        {"next sibling is null", UIA_OK, UIA_NULL, 3},
    };
    int a = add_node(d, UIA_WINDOW_NODE, L"a", UIA_GroupControlTypeId, RECT{0, 0, 5, 5});
    add_node(d, a, L"a1", UIA_GroupControlTypeId, RECT{0, 0, 5, 5});
    add_node(d, UIA_WINDOW_NODE, L"b", UIA_GroupControlTypeId, RECT{0, 0, 5, 5});
    d.automation_object->get_RawViewWalker(&walker);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        d.nodes[a].first_child_fault = (UiaFault)row.first_child;
        d.nodes[a].next_sibling_fault = (UiaFault)row.next_sibling;
        collected.clear();
        dumped_elements = 0;
        IUIAutomationElement* element = make_element(d, UIA_WINDOW_NODE);
        dump_element_tree(walker, element, 0);
        element->Release();
        EXPECT_EQ(row.lines, collected.size());
        EXPECT_EQ(0, d.live_objects - 1);  // only the walker is left
    }
}

// run_dump in this process, with the double as `automation` and the
// simulated launcher as the window.
class DumpWithDouble : public ::testing::Test {
protected:
    UiaDouble d;
    SimulatedLauncher launcher{};
    int started = 0;
    Sleeper saved_sleeper = nullptr;

    void SetUp() override
    {
        started = start_launcher(&launcher, {});
        ASSERT_EQ(1, started);
        RECT r;
        GetWindowRect(launcher.window, &r);
        d.nodes[UIA_WINDOW_NODE].name = L"Minecraft Launcher";
        d.nodes[UIA_WINDOW_NODE].name_is_null = 0;
        d.nodes[UIA_WINDOW_NODE].rect = r;
        describe(d, UIA_WINDOW_NODE, L"window", TRUE, FALSE, 0);
        normalize_text(profile_name, profile_pattern, SETTING_TEXT_CAPACITY);
        install_uia_double(d);
        collected.clear();
        waits.clear();
        report_hook = collect_line;
        saved_sleeper = sleeper;
        sleeper = record_wait;
        dumped_elements = 0;
    }
    void TearDown() override
    {
        report_hook = nullptr;
        if (saved_sleeper)
            sleeper = saved_sleeper;
        EXPECT_EQ(0, d.live_objects);
        EXPECT_EQ(0, d.over_releases);
        remove_uia_double(d);
        if (started)
            stop_launcher(&launcher);
    }
    int add(int parent, const wchar_t* name, int type, const wchar_t* localized, RECT r)
    {
        int node = add_node(d, parent, name, type, r);
        describe(d, node, localized, TRUE, FALSE, 0);
        return node;
    }
    // The lines from the first one starting with `from`.
    std::vector<std::string> lines_from(const char* from)
    {
        for (size_t i = 0; i < collected.size(); i++)
            if (collected[i].compare(0, strlen(from), from) == 0)
                return std::vector<std::string>(collected.begin() + i, collected.end());
        return {};
    }
};

TEST_F(DumpWithDouble, TreeComesAfterTheSettleWaitAndBeforeTheScanLine)
{
    add(UIA_WINDOW_NODE, L"Play", UIA_ButtonControlTypeId, L"button", RECT{400, 600, 700, 664});
    EXPECT_EQ(0, run_dump(nullptr));
    ASSERT_GE(collected.size(), 5u);
    EXPECT_EQ(0u, collected[0].find("WINDOW KV6SimulatedLauncher \"Minecraft Launcher\" "));
    std::vector<std::string> rest = lines_from("[window]");
    ASSERT_EQ(4u, rest.size()) << collected.back();
    EXPECT_EQ("  [button] \"Play\" 400 600 300 64", rest[1]);
    EXPECT_EQ(0u, rest[2].find("SCAN elements 1 plays 1 pick Play "));
    EXPECT_EQ(0u, rest[3].find("LOOKED "));
    ASSERT_FALSE(waits.empty());
    EXPECT_EQ(600u, waits[0]);  // before anything else waited
}

TEST_F(DumpWithDouble, NoWindowElementOrNoWalkerGivesNoTreeAndTheScanStillRuns)
{
    struct Row {
        const char* what;
        UiaFault element, walkers;
        const char* line;
    };
    const Row rows[] = {
        {"element call fails", UIA_FAIL, UIA_OK, "UIA no tree (walker yes, element 0x80004005)"},
        {"element is null", UIA_NULL, UIA_OK, "UIA no tree (walker yes, element 0x00000000)"},
        {"no walker at all", UIA_OK, UIA_NULL, "UIA no tree (walker none, element 0x00000000)"},
        {"neither", UIA_FAIL, UIA_FAIL, "UIA no tree (walker none, element 0x80004005)"},
    };
    add(UIA_WINDOW_NODE, L"Play", UIA_ButtonControlTypeId, L"button", RECT{400, 600, 700, 664});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        collected.clear();
        d.faults.element_from_handle = row.element;
        d.faults.raw_view_walker = row.walkers;
        d.faults.create_tree_walker = row.walkers;
        d.faults.control_view_walker = row.walkers;
        EXPECT_EQ(0, run_dump(nullptr));
        std::vector<std::string> rest = lines_from("UIA ");
        ASSERT_EQ(3u, rest.size());
        EXPECT_EQ(row.line, rest[0]);
        EXPECT_EQ(0u, rest[1].find("SCAN ")) << rest[1];
        EXPECT_EQ(0u, rest[2].find("LOOKED ")) << rest[2];
        EXPECT_EQ(0, d.live_objects);
    }
}

TEST_F(DumpWithDouble, ScanLineNamesThePickAndWhetherTheProfileIsBesideIt)
{
    struct Row {
        const char* what;
        int profile_top;  // -1: no profile element
        int with_play;
        const char* line;
    };
    const Row rows[] = {
        {"pick beside the profile", 610, 1,
         "SCAN elements 5 plays 1 pick Play (Kestrov V6 beside it) profiles 1 tab yes java yes login 1"},
        {"pick far from the profile", 100, 1,
         "SCAN elements 5 plays 1 pick Play profiles 1 tab yes java yes login 1"},
        {"no pick", 610, 0, "SCAN elements 4 plays 0 pick - profiles 1 tab yes java yes login 1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        // A fresh tree under the window node for each row.
        d.nodes.resize(1);
        d.nodes[UIA_WINDOW_NODE].children.clear();
        add(UIA_WINDOW_NODE, L"Play", UIA_TabItemControlTypeId, L"tab item", RECT{100, 100, 200, 140});
        add(UIA_WINDOW_NODE, L"Minecraft: Java Edition", UIA_ListItemControlTypeId, L"list item",
            RECT{100, 200, 300, 240});
        add(UIA_WINDOW_NODE, L"Log in", UIA_ButtonControlTypeId, L"button", RECT{100, 300, 200, 340});
        add(UIA_WINDOW_NODE, L"Kestrov V6 - 1.20.1", UIA_TextControlTypeId, L"text",
            RECT{100, row.profile_top, 300, row.profile_top + 30});
        if (row.with_play)
            add(UIA_WINDOW_NODE, L"Play", UIA_ButtonControlTypeId, L"button", RECT{400, 600, 700, 664});
        collected.clear();
        EXPECT_EQ(0, run_dump(nullptr));
        std::vector<std::string> scan = lines_from("SCAN ");
        ASSERT_FALSE(scan.empty());
        EXPECT_EQ(row.line, scan[0]);
    }
}

// The client area handed back is where the picture was taken: the launcher
// moves in the UI Automation part's settle, after the picture.
TEST_F(DumpWithDouble, ClientAreaIsWhereThePictureWasTaken)
{
    add(UIA_WINDOW_NODE, L"Play", UIA_ButtonControlTypeId, L"button", RECT{400, 600, 700, 664});
    RECT client;
    GetClientRect(launcher.window, &client);
    POINT origin = {0, 0};
    ClientToScreen(launcher.window, &origin);
    LauncherWindows found;
    HWND best = find_launcher_windows(&found);
    ASSERT_EQ(launcher.window, best);
    int shot_written = -2;
    RECT at_picture = {-1, -1, -1, -1};
    moved_at_settle = launcher.window;
    dump_launcher(best, &found, GetTickCount64() + 30000, nullptr, &shot_written, &at_picture);
    moved_at_settle = nullptr;
    ASSERT_EQ(0u, lines_from("LOOKED couldn't").size()) << "no picture: nothing to place";
    POINT moved = {0, 0};
    ClientToScreen(launcher.window, &moved);
    EXPECT_EQ(origin.x + 40, moved.x) << "the launcher did not move in the settle";
    EXPECT_EQ(origin.x, at_picture.left);
    EXPECT_EQ(origin.y, at_picture.top);
    EXPECT_EQ(origin.x + client.right, at_picture.right);
    EXPECT_EQ(origin.y + client.bottom, at_picture.bottom);
}

// A launcher whose UI the run gave up on is named elevated, not stopped,
// when it runs with more rights than the tool: Windows keeps its UI from the
// tool. In the dump's line and in the diagnosis's note, which a replay reads.
static int answered_elevation;

TEST_F(DumpWithDouble, AnElevatedLauncherIsNamedElevatedNotStopped)
{
    const std::vector<std::string> stopped = {"UIA stopped answering after 0 elements",
                                              "# cut short: the launcher stopped answering"};
    const std::vector<std::string> elevated = {
        "UIA launcher elevated after 0 elements",
        "# the launcher runs elevated (as administrator) and the tool does not: Windows keeps its UI and input "
        "from the tool; it did not stop answering"};
    wchar_t folder[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, folder);
    std::wstring file = std::wstring(folder) + L"kv6-dump-elevated.diagnosis";
    wchar_t program[] = L"KestrovV6-Play.exe", command[] = L"find";
    wchar_t* argv[] = {program, command};
    for (int elevation : {ELEVATION_NOT_ABOVE, ELEVATION_UNKNOWN, ELEVATION_ABOVE}) {
        SCOPED_TRACE(elevation);
        answered_elevation = elevation;
        machine.launcher_elevation = [](DWORD) { return answered_elevation; };
        ui_route.given_up = 1;
        start_diagnosis(2, argv, file.c_str());
        write_diagnosis("NOTFOUND", 2);
        start_diagnosis(0, nullptr, nullptr);
        ui_route.given_up = 0;
        machine = SYSTEM_QUERIES;
        std::string text = read_file_bytes(file);
        for (const std::string& line : elevation == ELEVATION_ABOVE ? elevated : stopped)
            EXPECT_NE(std::string::npos, text.find("\r\n" + line + "\r\n")) << text;
        DeleteFileW(file.c_str());
        DeleteFileW((file + L".bmp").c_str());
    }
}
