// Reading a launcher window's UI Automation tree into a UiScan: one cached
// search when the client allows it, a plain search otherwise, a tree walk as
// the last resort.
#include "uia/enumerate.h"

#include "uia/ui_route.h"

#include <string.h>

// The five properties classification needs, in the order the cache request
// carries them.
static const PROPERTYID scanned_properties[] = {
    UIA_NamePropertyId, UIA_ControlTypePropertyId, UIA_BoundingRectanglePropertyId,
    UIA_IsEnabledPropertyId, UIA_IsOffscreenPropertyId,
};

struct ElementProperties {
    BSTR name;
    CONTROLTYPEID control_type;
    RECT rect;
    BOOL enabled;
    BOOL offscreen;
};

// Windows' client gives up on a provider that stops answering after its
// time-outs. Such a failure ends the scan: a fallback would wait again.
#ifndef UIA_E_TIMEOUT
#define UIA_E_TIMEOUT ((HRESULT)0x80131505L)
#endif

static int note_timeout(UiScan* scan, HRESULT result)
{
    if (result == UIA_E_TIMEOUT)
        scan->timed_out = 1;
    return scan->timed_out;
}

// Getters are not tested: whatever one leaves alone keeps its preset.
static void preset_properties(ElementProperties* properties)
{
    properties->name = nullptr;
    properties->control_type = 0;
    properties->rect = RECT{0, 0, 0, 0};
    properties->enabled = TRUE;
    properties->offscreen = FALSE;
}

static void read_current_properties(IUIAutomationElement* element, ElementProperties* properties)
{
    preset_properties(properties);
    element->get_CurrentName(&properties->name);
    element->get_CurrentControlType(&properties->control_type);
    element->get_CurrentBoundingRectangle(&properties->rect);
    element->get_CurrentIsEnabled(&properties->enabled);
    element->get_CurrentIsOffscreen(&properties->offscreen);
}

static void read_cached_properties(IUIAutomationElement* element, ElementProperties* properties)
{
    preset_properties(properties);
    element->get_CachedName(&properties->name);
    element->get_CachedControlType(&properties->control_type);
    element->get_CachedBoundingRectangle(&properties->rect);
    element->get_CachedIsEnabled(&properties->enabled);
    element->get_CachedIsOffscreen(&properties->offscreen);
}

// Counts the element and classifies it; frees the name. The element stays
// the caller's: classification takes its own reference to what it keeps.
static void count_and_classify(UiScan* scan, IUIAutomationElement* element,
                               ElementProperties* properties, RECT window_rect)
{
    scan->element_count++;
    if (properties->control_type == UIA_DocumentControlTypeId && !scan->first_document) {
        element->AddRef();
        scan->first_document = element;
    }
    classify_element(scan, element, properties->name, properties->control_type, properties->rect,
                     properties->enabled, properties->offscreen, window_rect);
    if (properties->name)
        SysFreeString(properties->name);
    properties->name = nullptr;
}

IUIAutomationTreeWalker* get_tree_walker()
{
    if (!automation)
        return nullptr;
    IUIAutomationTreeWalker* walker = nullptr;
    if (SUCCEEDED(automation->get_RawViewWalker(&walker)) && walker)
        return walker;

    walker = nullptr;
    IUIAutomationCondition* condition = nullptr;
    if (SUCCEEDED(automation->CreateTrueCondition(&condition)) && condition) {
        HRESULT created = automation->CreateTreeWalker(condition, &walker);
        condition->Release();
        if (SUCCEEDED(created) && walker)
            return walker;
    }

    walker = nullptr;
    if (FAILED(automation->get_ControlViewWalker(&walker)))
        return nullptr;
    return walker;
}

static BOOL CALLBACK nudge_child(HWND child, LPARAM)
{
    DWORD_PTR reply = 0;
    SendMessageTimeoutW(child, WM_GETOBJECT, 0, (LPARAM)OBJID_CLIENT, SMTO_ABORTIFHUNG,
                        NUDGE_TIMEOUT_MS, &reply);
    return TRUE;
}

// Chromium builds its accessibility tree only once someone asks for it: the
// WM_GETOBJECT request makes the launcher's UI show up in UI Automation.
void nudge_accessibility(HWND window)
{
    nudge_child(window, 0);
    EnumChildWindows(window, nudge_child, 0);
}

void walk_elements(UiScan* scan, IUIAutomationTreeWalker* walker, IUIAutomationElement* parent,
                   RECT window_rect, int depth)
{
    // Bounds: 41 levels below the window; no new level past 8000 elements.
    if (depth >= MAX_WALK_DEPTH || scan->element_count > MAX_SCAN_ELEMENTS || scan->timed_out)
        return;
    IUIAutomationElement* child = nullptr;
    HRESULT first = walker->GetFirstChildElement(parent, &child);
    if (note_timeout(scan, first) || FAILED(first)) {
        // A step refused: the rest of this branch is unknown, not absent. A
        // step that came back after a time-out deeper down is let go of.
        scan->failed = 1;
        if (child)
            child->Release();
        return;
    }
    while (child && !scan->timed_out) {
        ElementProperties properties;
        read_current_properties(child, &properties);
        count_and_classify(scan, child, &properties, window_rect);
        walk_elements(scan, walker, child, window_rect, depth + 1);
        IUIAutomationElement* next = nullptr;
        HRESULT stepped = walker->GetNextSiblingElement(child, &next);
        if (note_timeout(scan, stepped) || FAILED(stepped)) {
            scan->failed = 1;
            if (next)
                next->Release();
            next = nullptr;
        }
        child->Release();
        child = next;
    }
}

// Whether the document has a child, asked of the client: document order
// alone cannot tell a child from a sibling after it (a scroll bar). A
// client without FindFirst is asked through a walker. Neither answering is
// a failed scan.
static void note_document_children(UiScan* scan, IUIAutomationElement* document,
                                   IUIAutomationCondition* condition)
{
    if (scan->timed_out || scan->failed)
        return;
    IUIAutomationElement* child = nullptr;
    HRESULT asked = condition ? document->FindFirst(TreeScope_Children, condition, &child) : E_NOTIMPL;
    if (note_timeout(scan, asked))
        return;
    if (FAILED(asked)) {
        child = nullptr;
        IUIAutomationTreeWalker* walker = get_tree_walker();
        asked = walker ? walker->GetFirstChildElement(document, &child) : E_FAIL;
        if (walker)
            walker->Release();
        if (note_timeout(scan, asked) || FAILED(asked)) {
            scan->failed = 1;
            return;
        }
    }
    scan->document_children = child != nullptr;
    if (child)
        child->Release();
}

void scan_launcher_ui(HWND window, UiScan* scan)
{
    memset(scan, 0, sizeof *scan);
    if (!automation)
        return;
    nudge_accessibility(window);

    IUIAutomationElement* root = nullptr;
    HRESULT rooted = automation->ElementFromHandle(window, &root);
    if (note_timeout(scan, rooted) || FAILED(rooted) || !root) {
        scan->failed = 1;
        if (root)
            root->Release();
        return;
    }
    RECT window_rect = {0, 0, 0, 0};
    if (!GetWindowRect(window, &window_rect))
        window_rect = RECT{0, 0, 0, 0};

    IUIAutomationCondition* condition = nullptr;
    IUIAutomationCacheRequest* request = nullptr;
    IUIAutomationElementArray* array = nullptr;
    int cached = 0;

    automation->CreateTrueCondition(&condition);  // only whether one came back counts
    if (condition) {
        if (FAILED(automation->CreateCacheRequest(&request)))
            request = nullptr;
        if (request) {
            for (PROPERTYID property : scanned_properties)
                request->AddProperty(property);
            request->put_TreeFilter(condition);
            HRESULT searched = root->FindAllBuildCache(TreeScope_Descendants, condition, request, &array);
            if (note_timeout(scan, searched) || FAILED(searched)) {
                if (array)
                    array->Release();
                array = nullptr;
            }
            cached = array != nullptr;
        }
    }
    if (!array && condition && !scan->timed_out) {
        HRESULT searched = root->FindAll(TreeScope_Descendants, condition, &array);
        if (note_timeout(scan, searched) || FAILED(searched)) {
            if (array)
                array->Release();
            array = nullptr;
        }
    }

    int length = 0;
    if (array)
        array->get_Length(&length);

    if ((!array || length == 0) && !scan->timed_out) {
        IUIAutomationTreeWalker* walker = get_tree_walker();
        if (walker) {
            walk_elements(scan, walker, root, window_rect, 0);
            walker->Release();
        } else if (!array) {
            // Neither search nor a walker: nothing was read at all.
            scan->failed = 1;
        }
    }

    for (int index = 0; index < length && index != MAX_SCAN_ELEMENTS; index++) {
        IUIAutomationElement* element = nullptr;
        if (FAILED(array->GetElement(index, &element)) || !element) {
            scan->failed = 1;
            continue;
        }
        ElementProperties properties;
        if (cached)
            read_cached_properties(element, &properties);
        else
            read_current_properties(element, &properties);
        count_and_classify(scan, element, &properties, window_rect);
        element->Release();
    }

    if (scan->first_document) {
        note_document_children(scan, scan->first_document, condition);
        scan->first_document->Release();
        scan->first_document = nullptr;
    }
    if (array)
        array->Release();
    if (request)
        request->Release();
    if (condition)
        condition->Release();
    root->Release();
}

static void release_slot(ElementSlot* slot)
{
    if (slot->element)
        slot->element->Release();
    slot->element = nullptr;
}

void release_scan(UiScan* scan)
{
    for (int i = 0; i < scan->play_count && i < MAX_PLAYS; i++)
        release_slot(&scan->plays[i]);
    release_slot(&scan->play_tab);
    release_slot(&scan->java_tab);
    for (int i = 0; i < scan->dismiss_count && i < MAX_DISMISS; i++)
        release_slot(&scan->dismiss[i]);
    if (scan->first_document)
        scan->first_document->Release();
    memset(scan, 0, sizeof *scan);
}
