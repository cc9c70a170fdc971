// Reading a page file into plain records, and the changes its actions make.
// A page file may come from a player: its bytes enter through player_file,
// which mends what is broken within its bounds and counts it.
#include "page.h"

#include "control_type_names.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const int BUTTON = 50000, HYPERLINK = 50005, LIST_ITEM = 50007, MENU_ITEM = 50011,
          RADIO_BUTTON = 50013, TAB_ITEM = 50019, TREE_ITEM = 50024, CUSTOM = 50025,
          DATA_ITEM = 50029, SPLIT_BUTTON = 50031, CHECK_BOX = 50002;

// ASCII and Latin-1 capitals: enough for the table's names (its other
// scripts have no case).
wchar_t lower(wchar_t c)
{
    if ((c >= L'A' && c <= L'Z') || (c >= 0xc0 && c <= 0xde && c != 0xd7))
        return (wchar_t)(c + 32);
    return c;
}

// What parsing one line had to mend in it, beyond its bytes.
struct LineRepairs {
    int clamped_numbers;
    int dropped_actions;
};

// An optionally signed decimal at text[*at], clamped to PAGE_NUMBER_LIMIT
// (counted in *clamped); 1 and *at past it on success.
int read_int(const std::string& text, size_t* at, int* value, int* clamped)
{
    size_t i = *at;
    int sign = 1;
    if (i < text.size() && text[i] == '-') {
        sign = -1;
        i++;
    }
    size_t digits = i;
    long long v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (v <= PAGE_NUMBER_LIMIT)
            v = v * 10 + (text[i] - '0');
        i++;
    }
    if (i == digits)
        return 0;
    if (v > PAGE_NUMBER_LIMIT) {
        v = PAGE_NUMBER_LIMIT;
        (*clamped)++;
    }
    *value = (int)(sign * v);
    *at = i;
    return 1;
}

int read_word(const std::string& text, size_t* at, const char* word)
{
    size_t length = strlen(word);
    if (text.compare(*at, length, word) != 0)
        return 0;
    size_t end = *at + length;
    if (end < text.size() && text[end] != ' ')
        return 0;
    *at = end;
    return 1;
}

// What follows the name's closing quote at text[at]: " L T W H", flags,
// " ## ...". Read in place: a line with many quotes tries each of them.
int parse_tail(const std::string& text, size_t at, PageElement* element, std::string* annotations,
               LineRepairs* repairs)
{
    int numbers[4];
    int clamped = 0;
    for (int k = 0; k < 4; k++) {
        if (at >= text.size() || text[at] != ' ')
            return 0;
        at++;
        if (!read_int(text, &at, &numbers[k], &clamped))
            return 0;
    }
    int disabled = 0, offscreen = 0, invoke = 0;
    annotations->clear();
    while (at < text.size()) {
        if (text[at] != ' ')
            return 0;
        at++;
        if (read_word(text, &at, "disabled"))
            disabled = 1;
        else if (read_word(text, &at, "offscreen"))
            offscreen = 1;
        else if (read_word(text, &at, "invoke"))
            invoke = 1;
        else if (read_word(text, &at, "##")) {
            *annotations = text.substr(at);
            break;
        } else
            return 0;
    }
    element->left = numbers[0];
    element->top = numbers[1];
    element->width = numbers[2];
    element->height = numbers[3];
    element->disabled = disabled;
    element->offscreen = offscreen;
    element->invoke = invoke;
    repairs->clamped_numbers += clamped;
    return 1;
}

// RRGGBB in six hexadecimal digits, else the fallback.
int parse_colour(const std::string& text, int fallback)
{
    if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return fallback;
    return (int)strtol(text.c_str(), nullptr, 16);
}

struct Annotations {
    std::string type;
    int fill, text, notext, legacy, noinvoke;
};

void parse_action_list(const std::string& list, PageElement* element, LineRepairs* repairs)
{
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string word = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t colon = word.find(':');
        std::string kind = word.substr(0, colon);
        PageAction action{PAGE_ACTION_NONE, colon == std::string::npos ? "" : word.substr(colon + 1)};
        if (kind == "start-java") action.kind = PAGE_ACTION_START_JAVA;
        else if (kind == "close") action.kind = PAGE_ACTION_CLOSE;
        else if (kind == "show") action.kind = PAGE_ACTION_SHOW;
        else if (kind == "hide") action.kind = PAGE_ACTION_HIDE;
        else if (kind == "page") action.kind = PAGE_ACTION_PAGE;
        else if (kind == "select") action.kind = PAGE_ACTION_SELECT;
        else if (kind == "rerender-once") action.kind = PAGE_ACTION_RERENDER_ONCE;
        if (action.kind != PAGE_ACTION_NONE) {
            if (element->actions.size() < MAX_PAGE_ACTIONS)
                element->actions.push_back(action);
            else
                repairs->dropped_actions++;
        }
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
}

void parse_annotations(const std::string& text, PageElement* element, Annotations* notes, LineRepairs* repairs)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        std::string word = text.substr(start, end - start);
        start = end + 1;
        size_t equals = word.find('=');
        std::string key = word.substr(0, equals);
        std::string value = equals == std::string::npos ? "" : word.substr(equals + 1);
        if (key == "id" && !value.empty()) element->id = value;
        else if (key == "type") notes->type = value;
        else if (key == "action") parse_action_list(value, element, repairs);
        else if (key == "fill") notes->fill = parse_colour(value, notes->fill);
        else if (key == "text") notes->text = parse_colour(value, notes->text);
        else if (key == "notext") notes->notext = 1;
        else if (key == "marker") element->marker = 1;
        else if (key == "hidden") element->hidden = 1;
        else if (key == "selected") element->selected = element->selected_state = 1;
        else if (key == "not-selected") element->selected_state = 1;
        else if (key == "modal") element->modal = 1;
        else if (key == "toggle") element->toggle = 1;
        else if (key == "expand") element->expand = 1;
        else if (key == "legacy") notes->legacy = 1;
        else if (key == "noinvoke") notes->noinvoke = 1;
    }
}

// Which patterns an element of this type offers, as browsers' elements do.
void set_patterns(PageElement* element, const Annotations& notes)
{
    int t = element->control_type;
    int clickable = t == BUTTON || t == HYPERLINK || t == MENU_ITEM || t == SPLIT_BUTTON;
    int item = t == TAB_ITEM || t == LIST_ITEM || t == RADIO_BUTTON || t == TREE_ITEM || t == DATA_ITEM;
    int selects = 0;
    for (const PageAction& action : element->actions)
        selects |= action.kind == PAGE_ACTION_SELECT;
    element->invoke = (element->invoke || clickable) && !notes.noinvoke;
    element->legacy = notes.legacy || clickable || item || t == CHECK_BOX;
    element->selection = item || selects || element->selected;
}

int parse_element_line(const std::string& line, int index, PageElement* element, LineRepairs* repairs)
{
    std::string text = line;
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    size_t blanks = text.find_first_not_of(' ');
    if (blanks == std::string::npos || text[blanks] != '[')
        return 0;
    size_t close = text.find(']', blanks);
    if (close == std::string::npos || text.compare(close, 3, "] \"") != 0)
        return 0;
    size_t name_start = close + 3;
    // The name ends at the last quote that the four numbers follow.
    PageElement parsed = PageElement();
    std::string annotations;
    LineRepairs found_repairs{0, 0};
    size_t quote = text.size();
    int found = 0;
    while (!found && quote > name_start) {
        quote = text.rfind('"', quote - 1);
        if (quote == std::string::npos || quote < name_start)
            break;
        found = parse_tail(text, quote + 1, &parsed, &annotations, &found_repairs);
    }
    if (!found)
        return 0;
    parsed.depth = (int)(blanks / 2);
    parsed.parent = -1;
    parsed.name = player_text_wide(text.substr(name_start, quote - name_start));
    parsed.id = "e" + std::to_string(index);
    Annotations notes{"", -1, 0xffffff, 0, 0, 0};
    parse_annotations(annotations, &parsed, &notes, &found_repairs);
    // A note overrides TYPE; a name neither knows is kept for the report, so
    // that no type is read as custom unseen.
    std::string written = text.substr(blanks + 1, close - blanks - 1);
    int type = notes.type.empty() ? 0 : control_type_from_name(player_text_wide(notes.type));
    if (!type && !notes.type.empty())
        parsed.unknown_type = notes.type;
    if (!type)
        type = control_type_from_name(player_text_wide(written));
    if (!type && notes.type.empty()) {
        parsed.untyped = written.empty();
        parsed.unknown_type = written;
    }
    parsed.control_type = type ? type : CUSTOM;
    parsed.fill = notes.fill != -1 ? notes.fill : parsed.control_type == BUTTON ? 0x3c3f44 : -1;
    parsed.text_colour = notes.notext ? -1 : notes.text;
    set_patterns(&parsed, notes);
    *element = parsed;
    repairs->clamped_numbers += found_repairs.clamped_numbers;
    repairs->dropped_actions += found_repairs.dropped_actions;
    return 1;
}

// A dump's "WINDOW CLASS "TITLE" ... (this one)" or "  CHILD CLASS "TEXT"
// L T W H[ hidden]" line into the page's window class and children.
void parse_window_line(const std::string& line, int number, Page* page)
{
    std::string text = line;
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    size_t at = text.find_first_not_of(' ');
    if (at == std::string::npos)
        return;
    int window = text.compare(at, 7, "WINDOW ") == 0;
    int child = text.compare(at, 6, "CHILD ") == 0;
    if (!window && !child)
        return;
    size_t class_start = at + (window ? 7 : 6);
    size_t quote = text.find(" \"", class_start);
    if (quote == std::string::npos || quote == class_start)
        return;
    std::wstring class_name = player_text_wide(text.substr(class_start, quote - class_start));
    const char* chosen = " (this one)";
    if (window) {
        if (text.size() > strlen(chosen) && text.compare(text.size() - strlen(chosen), std::string::npos, chosen) == 0)
            page->window_class = class_name;
        return;
    }
    // The text ends at the last quote; the rectangle and the flag follow it.
    size_t last = text.rfind('"');
    if (last <= quote + 1)
        return;
    PageChild parsed{class_name, player_text_wide(text.substr(quote + 2, last - quote - 2)), 0, 0, 0, 0, 0};
    int* fields[4] = {&parsed.left, &parsed.top, &parsed.width, &parsed.height};
    size_t next = last + 1;
    int clamped = 0;
    for (int k = 0; k < 4; k++) {
        while (next < text.size() && text[next] == ' ')
            next++;
        if (!read_int(text, &next, fields[k], &clamped))
            return;
    }
    while (next < text.size() && text[next] == ' ')
        next++;
    parsed.hidden = text.compare(next, std::string::npos, "hidden") == 0 ||
                    text.compare(next, 7, "hidden ") == 0;
    if (page->children.size() >= MAX_PAGE_CHILDREN) {
        note_page_problem(page->problems, PAGE_PROBLEM_MANY_CHILDREN, number, 1);
        return;
    }
    if (clamped)
        note_page_problem(page->problems, PAGE_PROBLEM_HUGE_NUMBER, number, clamped);
    page->children.push_back(parsed);
}

}  // namespace

int control_type_from_name(const std::wstring& name)
{
    std::wstring key;
    for (wchar_t c : name)
        key += c == L'_' ? L' ' : lower(c);
    for (const ControlTypeName& entry : CONTROL_TYPE_NAMES)
        if (key == entry.name)
            return entry.control_type;
    return 0;
}

const wchar_t* control_type_english(int control_type)
{
    for (const ControlTypeName& entry : CONTROL_TYPE_NAMES)
        if (entry.control_type == control_type)
            return entry.name;
    return L"custom";
}

int parse_page_line(const std::string& line, int index, PageElement* element)
{
    LineRepairs repairs{0, 0};
    return parse_element_line(line, index, element, &repairs);
}

int parse_page_text(const std::string& bytes, Page* page)
{
    page->elements.clear();
    page->window_class.clear();
    page->children.clear();
    for (PageProblem& problem : page->problems)
        problem = PageProblem{0, 0};
    // Windows PowerShell 5 writes `dump > file` in UTF-16 with a mark.
    std::string text = player_text_utf8(bytes, page->problems, &page->utf16);
    size_t start = 0;
    std::vector<int> open;  // the last element at each depth
    int number = 0;         // the line's, from 1
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        number++;
        std::string line = mend_player_line(text, start, end, number, page->problems);
        start = end + 1;
        PageElement element;
        LineRepairs repairs{0, 0};
        if (!parse_element_line(line, (int)page->elements.size(), &element, &repairs)) {
            parse_window_line(line, number, page);
            continue;
        }
        if (page->elements.size() >= MAX_PAGE_ELEMENTS) {
            note_page_problem(page->problems, PAGE_PROBLEM_MANY_ELEMENTS, number, 1);
            continue;
        }
        if (repairs.clamped_numbers)
            note_page_problem(page->problems, PAGE_PROBLEM_HUGE_NUMBER, number, repairs.clamped_numbers);
        if (repairs.dropped_actions)
            note_page_problem(page->problems, PAGE_PROBLEM_MANY_ACTIONS, number, repairs.dropped_actions);
        if (element.depth > MAX_PAGE_DEPTH) {
            note_page_problem(page->problems, PAGE_PROBLEM_DEEP, number, 1);
            element.depth = MAX_PAGE_DEPTH;
        }
        int index = (int)page->elements.size();
        if (index == 0) {
            element.depth = 0;
        } else {
            // Deeper than one below the last line: under the deepest open one.
            if (element.depth > (int)open.size())
                element.depth = (int)open.size();
            if (element.depth < 1)
                element.depth = 1;
            open.resize((size_t)element.depth);
            element.parent = open.back();
        }
        open.push_back(index);
        page->elements.push_back(element);
    }
    return (int)page->elements.size();
}

void describe_page_problems(const Page& page, std::vector<std::string>* lines)
{
    lines->clear();
    for (int kind = 0; kind < PAGE_PROBLEM_KINDS; kind++) {
        char line[256];
        if (describe_page_problem(page.problems, (PageProblemKind)kind, page.utf16, line, sizeof line))
            lines->push_back(line);
    }
}

void find_unknown_page_types(const Page& page, std::vector<PageUnknownType>* unknown, int* untyped)
{
    unknown->clear();
    *untyped = 0;
    for (const PageElement& element : page.elements) {
        *untyped += element.untyped;
        if (element.untyped || element.unknown_type.empty())
            continue;
        size_t k = 0;
        while (k < unknown->size() && (*unknown)[k].name != element.unknown_type)
            k++;
        if (k == unknown->size())
            unknown->push_back(PageUnknownType{element.unknown_type, 0});
        (*unknown)[k].count++;
    }
}

int load_page_file(const wchar_t* path, Page* page)
{
    FILE* file = open_player_file(path);
    if (!file)
        return -1;
    std::string text;
    int cut = 0;
    read_player_bytes(file, MAX_PAGE_FILE_BYTES, &text, &cut);
    fclose(file);
    int elements = parse_page_text(text, page);
    if (cut) {
        int lines = 1;
        for (char c : text)
            lines += c == '\n';
        note_page_problem(page->problems, PAGE_PROBLEM_BIG_FILE, lines, 1);
    }
    return elements;
}

int find_page_element(const Page& page, const std::string& id)
{
    for (size_t i = 0; i < page.elements.size(); i++)
        if (page.elements[i].id == id)
            return (int)i;
    return -1;
}

int close_page_popup(Page* page)
{
    // The last shown element that some action hides, or a modal dialog,
    // which closes on Escape as Chromium's does: the pop-up on top.
    for (int i = (int)page->elements.size() - 1; i > 0; i--) {
        if (!page_element_visible(*page, i))
            continue;
        if (page->elements[(size_t)i].modal) {
            page->elements[(size_t)i].hidden = 1;
            return i;
        }
        const std::string& id = page->elements[(size_t)i].id;
        for (const PageElement& e : page->elements)
            for (const PageAction& action : e.actions)
                if (action.kind == PAGE_ACTION_HIDE && action.target == id) {
                    page->elements[(size_t)i].hidden = 1;
                    return i;
                }
    }
    return -1;
}

int page_element_visible(const Page& page, int index)
{
    for (int i = index; i >= 0 && i < (int)page.elements.size(); i = page.elements[(size_t)i].parent)
        if (page.elements[(size_t)i].hidden)
            return 0;
    return index >= 0 && index < (int)page.elements.size();
}

PageActionResult apply_page_action(Page* page, int element, const PageAction& action)
{
    std::vector<PageElement>& all = page->elements;
    if (element < 0 || element >= (int)all.size())
        return PAGE_NO_TARGET;
    switch (action.kind) {
    case PAGE_ACTION_START_JAVA:
    case PAGE_ACTION_CLOSE:
    case PAGE_ACTION_RERENDER_ONCE:
        return PAGE_HOST_ACTION;
    case PAGE_ACTION_NONE:
        return PAGE_UNCHANGED;
    case PAGE_ACTION_SELECT:
        for (PageElement& other : all)
            if (other.parent == all[(size_t)element].parent && other.selection)
                other.selected = 0;
        all[(size_t)element].selected = 1;
        return PAGE_CHANGED;
    default:
        break;
    }
    int target = find_page_element(*page, action.target);
    if (target < 0)
        return PAGE_NO_TARGET;
    all[(size_t)target].hidden = action.kind == PAGE_ACTION_HIDE;
    if (action.kind == PAGE_ACTION_PAGE) {
        // Its siblings that some action pages to are the other pages.
        for (size_t s = 0; s < all.size(); s++) {
            if ((int)s == target || all[s].parent != all[(size_t)target].parent)
                continue;
            for (const PageElement& any : all)
                for (const PageAction& other : any.actions)
                    if (other.kind == PAGE_ACTION_PAGE && other.target == all[s].id)
                        all[s].hidden = 1;
        }
    }
    return PAGE_CHANGED;
}

const char* page_action_word(PageActionKind kind)
{
    switch (kind) {
    case PAGE_ACTION_START_JAVA: return "start-java";
    case PAGE_ACTION_CLOSE: return "close";
    case PAGE_ACTION_SHOW: return "show";
    case PAGE_ACTION_HIDE: return "hide";
    case PAGE_ACTION_PAGE: return "page";
    case PAGE_ACTION_SELECT: return "select";
    case PAGE_ACTION_RERENDER_ONCE: return "rerender-once";
    default: return "none";
    }
}

const char* page_via_word(int via)
{
    switch (via) {
    case PAGE_VIA_INVOKE: return "invoke";
    case PAGE_VIA_LEGACY: return "legacy";
    case PAGE_VIA_SELECT: return "select";
    case PAGE_VIA_POSTED: return "posted";
    default: return "real";
    }
}

int run_page_element(Page* page, int element, int via, std::vector<std::string>* log,
                     std::vector<PageActionKind>* host)
{
    if (!page_element_visible(*page, element))
        return 0;
    // A copy: the actions may change the records they come from.
    PageElement acting = page->elements[(size_t)element];
    log->push_back(std::string("VIA ") + page_via_word(via) + " " + acting.id);
    std::vector<PageAction> actions = acting.actions;
    int selects = 0;
    for (const PageAction& action : actions)
        selects |= action.kind == PAGE_ACTION_SELECT;
    if (via == PAGE_VIA_SELECT && !selects)
        actions.insert(actions.begin(), PageAction{PAGE_ACTION_SELECT, ""});
    if (actions.empty())
        actions.push_back(PageAction{PAGE_ACTION_NONE, ""});
    for (const PageAction& action : actions) {
        PageActionResult result = apply_page_action(page, element, action);
        if (result == PAGE_HOST_ACTION)
            host->push_back(action.kind);
        if (action.kind == PAGE_ACTION_START_JAVA)
            continue;  // the caller logs the started process
        std::string about = action.target.empty() ? acting.id : action.target;
        log->push_back(std::string("ACTION ") + page_action_word(action.kind) + " " + about +
                       (result == PAGE_NO_TARGET ? " missing" : ""));
        if (action.kind == PAGE_ACTION_RERENDER_ONCE) {
            // The press lands on nodes being replaced and is lost; the
            // next one finds the new nodes.
            std::vector<PageAction>& own = page->elements[(size_t)element].actions;
            for (size_t k = 0; k < own.size(); k++)
                if (own[k].kind == PAGE_ACTION_RERENDER_ONCE) {
                    own.erase(own.begin() + (long)k);
                    break;
                }
            break;
        }
    }
    return 1;
}
