// Acting on launcher elements through their control patterns, without the
// mouse. Whether anything happened is for the callers to confirm.
#include "uia/actions.h"

#include "uia/enumerate.h"

// One try of the action on one element: 1 when the pattern was there and its
// call returned a success code. The pattern is released right after its call.
static int try_action(IUIAutomationElement* element, int legacy)
{
    if (!legacy) {
        IUIAutomationInvokePattern* invoke = nullptr;
        if (FAILED(element->GetCurrentPatternAs(UIA_InvokePatternId, IID_IUIAutomationInvokePattern,
                                                (void**)&invoke)) ||
            !invoke)
            return 0;
        HRESULT done = invoke->Invoke();
        invoke->Release();
        return SUCCEEDED(done);
    }
    IUIAutomationLegacyIAccessiblePattern* accessible = nullptr;
    if (FAILED(element->GetCurrentPatternAs(UIA_LegacyIAccessiblePatternId,
                                            IID_IUIAutomationLegacyIAccessiblePattern,
                                            (void**)&accessible)) ||
        !accessible)
        return 0;
    HRESULT done = accessible->DoDefaultAction();
    accessible->Release();
    return SUCCEEDED(done);
}

int activate_element(IUIAutomationElement* element, int legacy)
{
    if (!element)
        return 0;
    // Launcher buttons often hand the action to a wrapping ancestor: climb
    // at most three levels, four tries in all.
    enum { MAX_TRIES = 4 };
    IUIAutomationTreeWalker* walker = get_tree_walker();
    IUIAutomationElement* current = element;
    current->AddRef();  // our own reference: the caller's stays untouched

    int succeeded = 0;
    for (int tries = 0; tries < MAX_TRIES && current && !succeeded;) {
        succeeded = try_action(current, legacy);
        if (!succeeded && walker) {
            IUIAutomationElement* parent = nullptr;
            walker->GetParentElement(current, &parent);  // no parent ends the climb
            current->Release();
            current = parent;
        }
        tries++;
    }

    if (current)
        current->Release();
    if (walker)
        walker->Release();
    return succeeded;
}

int select_element(IUIAutomationElement* element)
{
    if (!element)
        return 0;
    // Our own reference, as activation takes one: the caller may let go of
    // its own while Select still waits in the launcher.
    element->AddRef();
    int selected = 0;
    IUIAutomationSelectionItemPattern* selection = nullptr;
    if (SUCCEEDED(element->GetCurrentPatternAs(UIA_SelectionItemPatternId, IID_IUIAutomationSelectionItemPattern,
                                               (void**)&selection)) &&
        selection) {
        selected = SUCCEEDED(selection->Select());
        selection->Release();
    }
    element->Release();
    return selected;
}
