// Acting on elements: how far activation climbs, how often it tries, and
// that the caller's reference survives every outcome.
#include "app/settings.h"
#include "uia/ui_route.h"
#include "support/uia_double.h"
#include "uia/actions.h"
#include "uia/launcher_ui.h"
#include "windows/launcher_call.h"
#include "press/clock.h"

#include <gtest/gtest.h>

namespace {

// window > a1 > a2 > a3 > a4 > element: the element and four ancestors below
// the window.
class ActionTest : public ::testing::Test {
protected:
    UiaDouble d;
    int chain[5];   // chain[0] is the element, chain[4] its great-great-grandparent
    IUIAutomationElement* element = nullptr;

    void SetUp() override
    {
        int parent = UIA_WINDOW_NODE;
        int nodes[5];
        for (int i = 0; i < 5; i++)
            parent = nodes[i] = add_node(d, parent, nullptr, UIA_GroupControlTypeId,
                                         {0, 0, 100, 100});
        for (int i = 0; i < 5; i++)
            chain[i] = nodes[4 - i];
        install_uia_double(d);
        element = make_element(d, chain[0]);
    }
    void TearDown() override
    {
        // The caller's reference is the only one left, and still good.
        EXPECT_EQ(d.live_objects, 1);
        EXPECT_EQ(d.outstanding_refs, 1);
        EXPECT_EQ(uia_node_of(element), chain[0]);
        element->Release();
        EXPECT_EQ(d.live_objects, 0);
        EXPECT_EQ(d.over_releases, 0);
        EXPECT_EQ(d.unimplemented_calls, 0) << d.last_unimplemented;
        remove_uia_double(d);
        EXPECT_EQ(automation, nullptr);
    }

    UiaNode& at(int i) { return d.nodes[chain[i]]; }
    void give_invoke(int i, HRESULT result)
    {
        at(i).has_invoke = 1;
        at(i).invoke_result = result;
    }
    std::vector<int> tries() { return {at(0).pattern_requests, at(1).pattern_requests,
                                       at(2).pattern_requests, at(3).pattern_requests,
                                       at(4).pattern_requests}; }
};

TEST_F(ActionTest, ParentActsAfterTwoTries)
{
    give_invoke(1, S_OK);
    give_invoke(2, S_OK);
    EXPECT_EQ(activate_element(element, 0), 1);
    EXPECT_EQ(tries(), (std::vector<int>{1, 1, 0, 0, 0}));
    EXPECT_EQ(at(1).invoke_calls, 1);
    EXPECT_EQ(at(2).invoke_calls, 0);
}

TEST_F(ActionTest, RefusedCallCountsAsAFailedTry)
{
    give_invoke(0, E_FAIL);
    at(1).pattern_fault = UIA_FAIL;
    give_invoke(2, 0x00000001);  // S_FALSE is a success code
    EXPECT_EQ(activate_element(element, 0), 1);
    EXPECT_EQ(at(0).invoke_calls, 1);
    EXPECT_EQ(tries(), (std::vector<int>{1, 1, 1, 0, 0}));
}

TEST_F(ActionTest, FourTriesUpTheAncestorsNeverAFifth)
{
    give_invoke(4, S_OK);  // the great-great-grandparent would act
    EXPECT_EQ(activate_element(element, 0), 0);
    EXPECT_EQ(tries(), (std::vector<int>{1, 1, 1, 1, 0}));
    EXPECT_EQ(at(4).invoke_calls, 0);
}

TEST_F(ActionTest, TopOfTheTreeIsOneTry)
{
    IUIAutomationElement* top = make_element(d, UIA_WINDOW_NODE);
    EXPECT_EQ(activate_element(top, 1), 0);
    EXPECT_EQ(d.nodes[UIA_WINDOW_NODE].pattern_requests, 1);
    top->Release();
}

TEST_F(ActionTest, ClimbEndsWhenTheParentStepFails)
{
    at(0).parent_fault = UIA_FAIL;
    give_invoke(1, S_OK);
    EXPECT_EQ(activate_element(element, 0), 0);
    EXPECT_EQ(tries(), (std::vector<int>{1, 0, 0, 0, 0}));
}

TEST_F(ActionTest, WithoutAWalkerTheSameElementIsTriedFourTimes)
{
    d.faults.raw_view_walker = UIA_FAIL;
    d.faults.create_tree_walker = UIA_NULL;
    d.faults.control_view_walker = UIA_FAIL;
    give_invoke(1, S_OK);
    EXPECT_EQ(activate_element(element, 0), 0);
    EXPECT_EQ(tries(), (std::vector<int>{4, 0, 0, 0, 0}));

    give_invoke(0, E_FAIL);
    EXPECT_EQ(activate_element(element, 0), 0);
    EXPECT_EQ(at(0).invoke_calls, 4);
}

TEST_F(ActionTest, LegacyFlagUsesTheDefaultAction)
{
    give_invoke(0, S_OK);
    at(1).has_legacy = 1;
    EXPECT_EQ(activate_element(element, 7), 1);
    EXPECT_EQ(at(0).invoke_calls, 0);
    EXPECT_EQ(at(1).default_action_calls, 1);

    at(1).default_action_result = E_FAIL;
    EXPECT_EQ(activate_element(element, 1), 0);
    EXPECT_EQ(at(1).default_action_calls, 2);
}

TEST_F(ActionTest, SelectTriesOnlyTheElement)
{
    at(1).has_selection_item = 1;
    EXPECT_EQ(select_element(element), 0);
    EXPECT_EQ(tries(), (std::vector<int>{1, 0, 0, 0, 0}));
    EXPECT_EQ(call_count(d, "GetParentElement"), 0);

    at(0).has_selection_item = 1;
    EXPECT_EQ(select_element(element), 1);
    at(0).select_result = E_FAIL;
    EXPECT_EQ(select_element(element), 0);
    EXPECT_EQ(at(0).select_calls, 2);
    at(0).pattern_fault = UIA_NULL;
    EXPECT_EQ(select_element(element), 0);
    EXPECT_EQ(at(0).select_calls, 2);

    // While Select waits in the launcher it holds a reference of its own,
    // beside the caller's and the pattern's: a release of the caller's
    // (by a release worker) cannot free the element under it.
    at(0).pattern_fault = UIA_OK;
    at(0).select_result = S_OK;
    long held_during_select = 0;
    d.world.act = [&](int, int) -> HRESULT {
        held_during_select = d.outstanding_refs;
        return S_OK;
    };
    EXPECT_EQ(select_element(element), 1);
    EXPECT_EQ(3, held_during_select);
    d.world.act = nullptr;
}

// An action that overruns its limit gives up the route, and nothing more is
// asked of the launcher's UI; one cut short by the run's own end ends the run.
TEST_F(ActionTest, ActionThatOverrunsClosesTheRoute)
{
    struct Row {
        int method;  // 0 invoke, 1 legacy, 2 select
        int run_over;
        int given_up, run_ended;
    };
    const Row rows[] = {{0, 0, 1, 0}, {1, 0, 1, 0}, {2, 0, 1, 0}, {0, 1, 0, 1}};
    give_invoke(0, S_OK);
    at(0).has_legacy = at(0).has_selection_item = 1;
    at(0).action_ms = MIN_UI_CALL_MS + 500;
    for (const Row& row : rows) {
        start_ui_route(0);
        if (row.run_over)
            ui_route.run_end = current_tick();
        int done = row.method == 2 ? select_element_by(nullptr, element)
                                   : activate_element_by(nullptr, element, row.method);
        EXPECT_EQ(0, done) << row.method;
        EXPECT_EQ(row.given_up, ui_route.given_up) << row.method;
        EXPECT_EQ(row.run_ended, ui_route.run_ended) << row.method;
        while (calls_left_running() != 0)
            Sleep(20);
        int actions = at(0).invoke_calls + at(0).default_action_calls + at(0).select_calls;
        UiScan scan;
        EXPECT_EQ(0, scan_launcher_ui_by(nullptr, &scan) + activate_element_by(nullptr, element, 0) +
                         select_element_by(nullptr, element));
        EXPECT_EQ(actions, at(0).invoke_calls + at(0).default_action_calls + at(0).select_calls);
        EXPECT_EQ(0, call_count(d, "ElementFromHandle"));
    }
    start_ui_route(0);
}

}  // namespace
