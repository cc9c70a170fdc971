// A scripted stand-in for the UI Automation client, for tests that cannot
// have the real one (Wine has no CUIAutomation class).
//
// The tree. A UiaDouble holds a table of nodes; node 0 (UIA_WINDOW_NODE) is
// the launcher window's element, made by the constructor, and every other
// node is added below an existing one with add_node, children in the order
// they were added. Node fields can be changed directly after add_node:
//
//     UiaDouble d;
//     int play = add_node(d, UIA_WINDOW_NODE, L"Play", UIA_ButtonControlTypeId,
//                         RECT{400, 600, 700, 664});
//     d.nodes[play].has_invoke = 1;                  // Invoke exists and succeeds
//     d.nodes[play].invoke_result = E_FAIL;          // ... or now fails
//     install_uia_double(d);                         // `automation` = the double
//     ... run the code under test ...
//     EXPECT_EQ(d.nodes[play].invoke_calls, 1);
//     EXPECT_EQ(d.live_objects, 0);                  // every reference given back
//     remove_uia_double(d);                          // `automation` = null again
//
// Elements are COM objects that point at a node: ElementFromHandle gives
// node 0 whatever the window, FindAll/FindAllBuildCache give every descendant
// in depth-first order (each element before its children), the tree walkers
// step over the node table. Several element objects may stand for one node;
// uia_node_of tells which node an element is.
//
// Faults. Each call that the tool relies on can be made to fail (E_FAIL,
// nothing written) or to succeed with a null result: set the matching
// UiaFault in d.faults (calls on the automation object and on arrays) or in a
// node (tree steps from that node, pattern requests on it). An action's result
// is the node's invoke_result / default_action_result / select_result.
// Property getters of a node with getters_fail set return E_FAIL and leave
// their out-values alone. Cached getters succeed only on elements that came
// from FindAllBuildCache and only for properties that its request carried.
//
// A world behind the double. A test that serves a changing page (on virtual
// time) sets d.world: `refresh` runs before the tree is read (the nodes as
// the page is now: in_tree, generation, states), `read` on each Name or
// ControlType read, `act` for each Invoke, Select and DoDefaultAction on an
// element still current (its result is the action's). A node not in_tree
// is skipped by searches and walkers, with its subtree. An element made
// while its node had another generation is stale: its getters, patterns and
// actions answer UIA_E_ELEMENTNOTAVAILABLE, as a re-rendered page's do.
// d.states_unread makes IsEnabled and IsOffscreen getters answer E_NOTIMPL
// (Wine 10's client), so the tool's presets stand.
//
// Records. call_count(d, "GetElement") counts calls by method name (the
// interface's own names; the LegacyIAccessible pattern's are prefixed
// "Legacy."). Methods the tool has no use for return E_NOTIMPL and are counted
// in unimplemented_calls. live_objects is the number of objects handed out and
// not yet fully released; outstanding_refs the AddRef/Release balance of them;
// over_releases counts Release calls on objects already at zero (objects are
// kept until free_released_objects or the double's end, so that such a fault
// shows up as a count instead of a crash). The automation object itself is not
// in these counts. cache_properties holds the property ids of the cache
// request last used by FindAllBuildCache, in the order they were added.
#pragma once

#include "uia/uia_client.h"

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

enum UiaFault {
    UIA_OK = 0,    // the call works
    UIA_FAIL = 1,  // the call returns E_FAIL and yields nothing
    UIA_NULL = 2,  // the call returns S_OK and yields a null pointer
    UIA_TIMEOUT = 3,  // the client gave up on the provider: UIA_E_TIMEOUT, nothing
};

enum { UIA_WINDOW_NODE = 0 };

struct UiaNode {
    int parent;                  // -1 for the window node
    std::vector<int> children;   // in the walker's order
    int index_in_parent;         // set by add_node
    std::wstring name;
    int name_is_null;            // the name getters give a null BSTR
    int control_type;
    std::wstring localized_type;
    RECT rect;
    BOOL enabled;
    BOOL offscreen;
    int getters_fail;            // the property getters return E_FAIL

    // Control patterns: whether GetCurrentPatternAs gives one, and what its
    // action returns.
    int has_invoke;
    int has_legacy;
    int has_selection_item;
    HRESULT invoke_result;
    HRESULT default_action_result;
    HRESULT select_result;
    int invoke_available;        // property 30031; add_node sets it with has_invoke 0
    UiaFault pattern_fault;      // GetCurrentPatternAs on this node
    DWORD action_ms;             // each action takes this long: a launcher slow to answer

    int in_tree;                 // 1 (add_node): searches and walkers see it
    int generation;              // elements of another generation are stale

    // Tree steps starting from this node.
    UiaFault parent_fault;
    UiaFault first_child_fault;
    UiaFault next_sibling_fault;

    // What was done to this node.
    int pattern_requests;        // GetCurrentPatternAs calls, whatever the pattern
    int invoke_calls;
    int default_action_calls;
    int select_calls;
};

struct UiaFaults {
    UiaFault element_from_handle;
    UiaFault true_condition;       // CreateTrueCondition
    UiaFault cache_request;        // CreateCacheRequest
    UiaFault find_all_build_cache;
    UiaFault find_all;
    UiaFault raw_view_walker;      // get_RawViewWalker
    UiaFault create_tree_walker;   // CreateTreeWalker
    UiaFault control_view_walker;  // get_ControlViewWalker
    UiaFault find_first;           // FindFirst (children of an element)
    int empty_arrays;              // both searches give arrays of length 0
    std::map<int, UiaFault> get_element;  // GetElement at these indices
};

struct UiaObject;

enum UiaAction { UIA_ACT_INVOKE, UIA_ACT_SELECT, UIA_ACT_DEFAULT_ACTION };

struct UiaWorld {
    std::function<void()> refresh;
    std::function<void(int node, PROPERTYID property)> read;
    std::function<HRESULT(int node, int action)> act;  // a UiaAction
};

struct UiaDouble {
    UiaDouble();
    ~UiaDouble();
    UiaDouble(const UiaDouble&) = delete;
    UiaDouble& operator=(const UiaDouble&) = delete;

    std::vector<UiaNode> nodes;
    UiaFaults faults;
    UiaWorld world;
    int states_unread;

    // Records of the calls made.
    std::map<std::string, int, std::less<>> calls;
    int unimplemented_calls;
    std::string last_unimplemented;
    std::vector<PROPERTYID> cache_properties;
    int cache_tree_filter_is_true;  // the request's tree filter was a true condition
    HWND last_window;               // given to ElementFromHandle

    // References of the objects handed out (the automation object aside).
    int live_objects;
    long outstanding_refs;
    int over_releases;

    std::vector<UiaObject*> objects;  // every object made, until freed
    IUIAutomation* automation_object;
};

// Adds a node below `parent` and gives its index. Enabled, on screen, no
// patterns; a null name makes the name getters give a null BSTR.
int add_node(UiaDouble& d, int parent, const wchar_t* name, int control_type, RECT rect);

// Makes the double the program-wide `automation`; remove_uia_double releases
// it and sets `automation` back to null.
void install_uia_double(UiaDouble& d);
void remove_uia_double(UiaDouble& d);

// A new element for a node, owned by the caller (one reference).
IUIAutomationElement* make_element(UiaDouble& d, int node);
// The node an element of this double stands for, or -1.
int uia_node_of(IUIAutomationElement* element);

int call_count(const UiaDouble& d, std::string_view method);
// Forgets the calls and the per-node action counts; the tree and faults stay.
void reset_uia_records(UiaDouble& d);
// Deletes the objects whose references are all released (for long runs).
void free_released_objects(UiaDouble& d);
