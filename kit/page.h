// A page of the simulated launcher: the element lines that `dump` prints,
// with optional annotations after " ## ", read into plain records. No Windows
// headers here, so the parser is easy to test on its own.
#pragma once

#include <string>
#include <vector>

#include "player_file.h"

enum PageActionKind {
    PAGE_ACTION_NONE,
    PAGE_ACTION_START_JAVA,
    PAGE_ACTION_CLOSE,
    PAGE_ACTION_SHOW,
    PAGE_ACTION_HIDE,
    PAGE_ACTION_PAGE,
    PAGE_ACTION_SELECT,
    PAGE_ACTION_RERENDER_ONCE,  // the first run re-renders the page and stops there
};

struct PageAction {
    PageActionKind kind;
    std::string target;  // the element id of show:, hide: and page:
};

struct PageElement {
    int depth;
    int parent;                  // index into Page::elements, -1 for the window
    int control_type;            // UIA control type id
    std::wstring name;
    int left, top, width, height;  // screen pixels as the file gives them
    int disabled, offscreen;
    int invoke, legacy, selection;  // the patterns it offers
    std::string id;              // AutomationId
    std::vector<PageAction> actions;
    int fill;                    // RRGGBB, -1 for none
    int text_colour;             // RRGGBB, -1 for no text
    int marker;
    int hidden;
    int selected;
    int selected_state;          // the page gives a selected state: `selected` or `not-selected`
    int modal;                   // a dialog shown modally: the rest of the page is inert
    int toggle, expand;          // a button that toggles or expands (aria-pressed, aria-expanded)
    std::string unknown_type;    // UTF-8: the type name no table row knows, read as custom
    int untyped;                 // 1 when TYPE was empty (`[]`, as Wine 10 dumps) and no note typed it
};

// A child window as a dump's CHILD line gives it.
struct PageChild {
    std::wstring class_name, text;
    int left, top, width, height;  // screen pixels
    int hidden;
};

// A page file comes from a player: the reader takes any bytes and keeps what
// it makes of them within the bounds of player_file.h, where it also counts
// what it mended (PageProblem).
struct Page {
    std::vector<PageElement> elements;  // [0] is the window itself
    std::wstring window_class;          // of the dump's "(this one)" WINDOW line; empty without one
    std::vector<PageChild> children;    // its CHILD lines, at most MAX_PAGE_CHILDREN
    PageProblem problems[PAGE_PROBLEM_KINDS] = {};
    int utf16 = 0;                      // 1 when a byte-order mark made it read as UTF-16
};

// The control type id for a localized type name (the languages of
// control_type_names.h; case ignored) or an English name with '_' for
// blanks; 0 if unknown.
int control_type_from_name(const std::wstring& name);
// The English localized name of a control type id ("button"); "custom" if unknown.
const wchar_t* control_type_english(int control_type);

// One line in UTF-8 (no line end). 1 and *element filled when it is an element
// line, else 0. `index` is the element's position among element lines (for
// the default id "e<index>").
int parse_page_line(const std::string& line, int index, PageElement* element);
// Every element line of a text in UTF-8 (BOM, CR LF allowed) or in UTF-16
// with a byte-order mark (either order), with parents linked, and the window
// class and child windows of its WINDOW and CHILD lines. Any bytes: what is
// broken is mended within the bounds of player_file.h and counted in
// page->problems.
// The number of elements.
int parse_page_text(const std::string& text, Page* page);
// One log line per kind of problem the page had, "PAGE line N: ...", in kind order.
void describe_page_problems(const Page& page, std::vector<std::string>* lines);
// A type name of a page that the reader does not know, and on how many lines.
struct PageUnknownType {
    std::string name;  // UTF-8, as the page spells it
    int count;
};
// The type names that were read as custom because no table row knows them, in
// order of first use; the number of untyped (`[]`) elements goes to *untyped.
void find_unknown_page_types(const Page& page, std::vector<PageUnknownType>* unknown, int* untyped);

// Reads a page file (its first MAX_PAGE_FILE_BYTES); the number of
// elements, -1 if it cannot be read.
int load_page_file(const wchar_t* path, Page* page);

// The element with this AutomationId, or -1.
int find_page_element(const Page& page, const std::string& id);
// Escape closes the pop-up on top: the last shown element that an action of
// the page hides, or a shown modal dialog. Its index, or -1 when no such
// element is shown.
int close_page_popup(Page* page);
// 1 when neither the element nor any ancestor is hidden.
int page_element_visible(const Page& page, int index);

// What one action did to the page, for the caller's log and the side
// effects the page cannot have on its own (java, closing).
enum PageActionResult { PAGE_CHANGED, PAGE_UNCHANGED, PAGE_NO_TARGET, PAGE_HOST_ACTION };
// Shows, hides, pages and selects in the records; start-java and close are
// left to the caller (PAGE_HOST_ACTION).
PageActionResult apply_page_action(Page* page, int element, const PageAction& action);
// The word a log line uses for an action kind ("show", "start-java").
const char* page_action_word(PageActionKind kind);

// How an action reached an element, as the log says it.
enum PageVia { PAGE_VIA_INVOKE, PAGE_VIA_LEGACY, PAGE_VIA_SELECT, PAGE_VIA_POSTED, PAGE_VIA_REAL };
const char* page_via_word(int via);
// Runs an element's actions in order: appends the log lines ("VIA <how> <id>",
// then "ACTION <kind> <id>" for each), and the actions that only the caller
// can carry out (start-java, close, rerender-once) to `host`. A rerender-once
// is spent by its first run, which ends the run there. A Select that names no select
// action still selects. 0 when the element is not shown (nothing runs), else 1.
int run_page_element(Page* page, int element, int via, std::vector<std::string>* log,
                     std::vector<PageActionKind>* host);
