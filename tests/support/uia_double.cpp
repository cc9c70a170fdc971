// The scripted UI Automation client of uia_double.h.
#include "support/uia_double.h"

#include "app/settings.h"
#include "uia/ui_route.h"

#include <algorithm>
#include <string.h>

// Every object the double hands out: counted references, kept until freed so
// that a Release too many is seen as a count and not as a crash.
struct UiaObject {
    UiaDouble* owner = nullptr;
    ULONG refs = 0;
    int counted = 1;   // the automation object is not in the reference counts
    virtual ~UiaObject() = default;
};

namespace {

void record(UiaDouble* d, std::string_view method)
{
    auto found = d->calls.find(method);
    if (found == d->calls.end())
        d->calls.emplace(std::string(method), 1);
    else
        found->second++;
}

HRESULT not_implemented(UiaDouble* d, const char* method)
{
    record(d, method);
    d->unimplemented_calls++;
    d->last_unimplemented = method;
    return E_NOTIMPL;
}

template <class Object>
Object* make_object(UiaDouble* d, int counted = 1)
{
    Object* object = new Object();
    object->owner = d;
    object->refs = 1;
    object->counted = counted;
    d->objects.push_back(object);
    if (counted) {
        d->live_objects++;
        d->outstanding_refs++;
    }
    return object;
}

ULONG add_ref(UiaObject* object)
{
    object->refs++;
    if (object->counted)
        object->owner->outstanding_refs++;
    return object->refs;
}

ULONG release(UiaObject* object)
{
    if (object->refs == 0) {
        object->owner->over_releases++;
        return 0;
    }
    object->refs--;
    if (object->counted) {
        object->owner->outstanding_refs--;
        if (object->refs == 0)
            object->owner->live_objects--;
    }
    return object->refs;
}

void refresh_world(UiaDouble* d)
{
    if (d->world.refresh)
        d->world.refresh();
}

const HRESULT ELEMENT_NOT_AVAILABLE = (HRESULT)0x80040201;  // UIA_E_ELEMENTNOTAVAILABLE

// Gives `value` or the fault: 1 when the caller goes on making the object.
int apply_fault(UiaFault fault, HRESULT* result)
{
    if (fault == UIA_FAIL || fault == UIA_TIMEOUT) {
        *result = fault == UIA_FAIL ? E_FAIL : (HRESULT)0x80131505L;  // UIA_E_TIMEOUT
        return 0;
    }
    *result = S_OK;
    return fault == UIA_OK;
}

template <class Interface>
class DoubleObject : public Interface, public UiaObject {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, __uuidof(Interface)) &&
            !also_answers(iid))
            return E_NOINTERFACE;
        *out = static_cast<Interface*>(this);
        add_ref(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return add_ref(this); }
    ULONG STDMETHODCALLTYPE Release() override { return release(this); }

protected:
    virtual int also_answers(REFIID) { return 0; }
    HRESULT not_implemented(const char* method) { return ::not_implemented(owner, method); }
};

#define NOT_USED(name, ...) \
    HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { return not_implemented(#name); }
#define NOT_USED_LEGACY(name, ...) \
    HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { return not_implemented("Legacy." #name); }

class DoubleTrueCondition : public DoubleObject<IUIAutomationBoolCondition> {
public:
    // Not used by the tool.
    NOT_USED(get_BooleanValue, BOOL*)

protected:
    int also_answers(REFIID iid) override
    {
        return IsEqualIID(iid, IID_IUIAutomationCondition);
    }
};

int is_true_condition(IUIAutomationCondition* condition)
{
    return condition && dynamic_cast<DoubleTrueCondition*>(condition) != nullptr;
}

// One bit per property a cache request can carry.
unsigned cache_bit(PROPERTYID property)
{
    switch (property) {
    case UIA_NamePropertyId: return 1u;
    case UIA_ControlTypePropertyId: return 2u;
    case UIA_BoundingRectanglePropertyId: return 4u;
    case UIA_IsEnabledPropertyId: return 8u;
    case UIA_IsOffscreenPropertyId: return 16u;
    default: return 0u;
    }
}

class DoubleCacheRequest : public DoubleObject<IUIAutomationCacheRequest> {
public:
    std::vector<PROPERTYID> properties;
    int filter_is_true = 0;

    HRESULT STDMETHODCALLTYPE AddProperty(PROPERTYID property) override
    {
        record(owner, "AddProperty");
        properties.push_back(property);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_TreeFilter(IUIAutomationCondition* filter) override
    {
        record(owner, "put_TreeFilter");
        if (!filter)
            return E_POINTER;
        filter_is_true = is_true_condition(filter);
        return S_OK;
    }

    // Not used by the tool.
    NOT_USED(AddPattern, PATTERNID)
    NOT_USED(Clone, IUIAutomationCacheRequest**)
    NOT_USED(get_TreeScope, enum TreeScope*)
    NOT_USED(put_TreeScope, enum TreeScope)
    NOT_USED(get_TreeFilter, IUIAutomationCondition**)
    NOT_USED(get_AutomationElementMode, enum AutomationElementMode*)
    NOT_USED(put_AutomationElementMode, enum AutomationElementMode)
};

// An action on a node by a pattern made in `generation`: the world's, when
// there is one, else the node's scripted result.
HRESULT act_on_node(UiaDouble* d, int node, int generation, int action, HRESULT scripted)
{
    refresh_world(d);
    if (d->nodes[node].generation != generation || !d->nodes[node].in_tree)
        return ELEMENT_NOT_AVAILABLE;
    Sleep(d->nodes[node].action_ms);
    return d->world.act ? d->world.act(node, action) : scripted;
}

class DoubleInvokePattern : public DoubleObject<IUIAutomationInvokePattern> {
public:
    int node = 0;
    int generation = 0;
    HRESULT STDMETHODCALLTYPE Invoke() override
    {
        record(owner, "Invoke");
        owner->nodes[node].invoke_calls++;
        return act_on_node(owner, node, generation, UIA_ACT_INVOKE, owner->nodes[node].invoke_result);
    }
};

class DoubleSelectionItemPattern : public DoubleObject<IUIAutomationSelectionItemPattern> {
public:
    int node = 0;
    int generation = 0;
    HRESULT STDMETHODCALLTYPE Select() override
    {
        record(owner, "Select");
        owner->nodes[node].select_calls++;
        return act_on_node(owner, node, generation, UIA_ACT_SELECT, owner->nodes[node].select_result);
    }
    NOT_USED(AddToSelection)
    NOT_USED(RemoveFromSelection)
    NOT_USED(get_CurrentIsSelected, BOOL*)
    NOT_USED(get_CurrentSelectionContainer, IUIAutomationElement**)
    NOT_USED(get_CachedIsSelected, BOOL*)
    NOT_USED(get_CachedSelectionContainer, IUIAutomationElement**)
};

class DoubleLegacyPattern : public DoubleObject<IUIAutomationLegacyIAccessiblePattern> {
public:
    int node = 0;
    int generation = 0;
    HRESULT STDMETHODCALLTYPE DoDefaultAction() override
    {
        record(owner, "DoDefaultAction");
        owner->nodes[node].default_action_calls++;
        return act_on_node(owner, node, generation, UIA_ACT_DEFAULT_ACTION,
                           owner->nodes[node].default_action_result);
    }

    // Not used by the tool.
    NOT_USED_LEGACY(Select, LONG)
    NOT_USED_LEGACY(SetValue, LPCWSTR)
    NOT_USED_LEGACY(get_CurrentChildId, int*)
    NOT_USED_LEGACY(get_CurrentName, BSTR*)
    NOT_USED_LEGACY(get_CurrentValue, BSTR*)
    NOT_USED_LEGACY(get_CurrentDescription, BSTR*)
    NOT_USED_LEGACY(get_CurrentRole, DWORD*)
    NOT_USED_LEGACY(get_CurrentState, DWORD*)
    NOT_USED_LEGACY(get_CurrentHelp, BSTR*)
    NOT_USED_LEGACY(get_CurrentKeyboardShortcut, BSTR*)
    NOT_USED_LEGACY(GetCurrentSelection, IUIAutomationElementArray**)
    NOT_USED_LEGACY(get_CurrentDefaultAction, BSTR*)
    NOT_USED_LEGACY(get_CachedChildId, int*)
    NOT_USED_LEGACY(get_CachedName, BSTR*)
    NOT_USED_LEGACY(get_CachedValue, BSTR*)
    NOT_USED_LEGACY(get_CachedDescription, BSTR*)
    NOT_USED_LEGACY(get_CachedRole, DWORD*)
    NOT_USED_LEGACY(get_CachedState, DWORD*)
    NOT_USED_LEGACY(get_CachedHelp, BSTR*)
    NOT_USED_LEGACY(get_CachedKeyboardShortcut, BSTR*)
    NOT_USED_LEGACY(GetCachedSelection, IUIAutomationElementArray**)
    NOT_USED_LEGACY(get_CachedDefaultAction, BSTR*)
    NOT_USED_LEGACY(GetIAccessible, IAccessible**)
};

class DoubleElement;
DoubleElement* make_element_object(UiaDouble* d, int node, unsigned cached);

class DoubleElementArray : public DoubleObject<IUIAutomationElementArray> {
public:
    std::vector<int> nodes;
    unsigned cached = 0;

    HRESULT STDMETHODCALLTYPE get_Length(int* length) override
    {
        record(owner, "get_Length");
        if (!length)
            return E_POINTER;
        *length = (int)nodes.size();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetElement(int index, IUIAutomationElement** element) override;
};

class DoubleElement : public DoubleObject<IUIAutomationElement> {
public:
    int node = 0;
    int generation = 0;
    unsigned cached = 0;   // cache_bit of each property fetched with it

    UiaNode& n() { return owner->nodes[node]; }
    int stale() { return n().generation != generation || !n().in_tree; }

    HRESULT STDMETHODCALLTYPE FindAll(enum TreeScope scope, IUIAutomationCondition* condition,
                                      IUIAutomationElementArray** found) override
    {
        record(owner, "FindAll");
        return find(owner->faults.find_all, scope, condition, nullptr, found);
    }
    HRESULT STDMETHODCALLTYPE FindAllBuildCache(enum TreeScope scope,
                                                IUIAutomationCondition* condition,
                                                IUIAutomationCacheRequest* request,
                                                IUIAutomationElementArray** found) override
    {
        record(owner, "FindAllBuildCache");
        DoubleCacheRequest* cache = dynamic_cast<DoubleCacheRequest*>(request);
        if (found && !cache)
            return E_INVALIDARG;
        return find(owner->faults.find_all_build_cache, scope, condition, cache, found);
    }
    HRESULT STDMETHODCALLTYPE GetCurrentPropertyValue(PROPERTYID property, VARIANT* value) override
    {
        record(owner, "GetCurrentPropertyValue");
        if (!value)
            return E_POINTER;
        VariantInit(value);
        if (n().getters_fail)
            return E_FAIL;
        if (property == UIA_IsInvokePatternAvailablePropertyId) {
            value->vt = VT_BOOL;
            value->boolVal = n().invoke_available ? VARIANT_TRUE : VARIANT_FALSE;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentPatternAs(PATTERNID pattern, REFIID iid,
                                                  void** out) override;

    HRESULT STDMETHODCALLTYPE get_CurrentName(BSTR* value) override
    {
        return name(value, "get_CurrentName", 1);
    }
    HRESULT STDMETHODCALLTYPE get_CachedName(BSTR* value) override
    {
        return name(value, "get_CachedName", cached & cache_bit(UIA_NamePropertyId));
    }
    HRESULT STDMETHODCALLTYPE get_CurrentControlType(CONTROLTYPEID* value) override
    {
        return control_type(value, "get_CurrentControlType", 1);
    }
    HRESULT STDMETHODCALLTYPE get_CachedControlType(CONTROLTYPEID* value) override
    {
        return control_type(value, "get_CachedControlType",
                            cached & cache_bit(UIA_ControlTypePropertyId));
    }
    HRESULT STDMETHODCALLTYPE get_CurrentBoundingRectangle(RECT* value) override
    {
        return rectangle(value, "get_CurrentBoundingRectangle", 1);
    }
    HRESULT STDMETHODCALLTYPE get_CachedBoundingRectangle(RECT* value) override
    {
        return rectangle(value, "get_CachedBoundingRectangle",
                         cached & cache_bit(UIA_BoundingRectanglePropertyId));
    }
    HRESULT STDMETHODCALLTYPE get_CurrentIsEnabled(BOOL* value) override
    {
        return state(value, n().enabled, "get_CurrentIsEnabled", 1);
    }
    HRESULT STDMETHODCALLTYPE get_CachedIsEnabled(BOOL* value) override
    {
        return state(value, n().enabled, "get_CachedIsEnabled",
                     cached & cache_bit(UIA_IsEnabledPropertyId));
    }
    HRESULT STDMETHODCALLTYPE get_CurrentIsOffscreen(BOOL* value) override
    {
        return state(value, n().offscreen, "get_CurrentIsOffscreen", 1);
    }
    HRESULT STDMETHODCALLTYPE get_CachedIsOffscreen(BOOL* value) override
    {
        return state(value, n().offscreen, "get_CachedIsOffscreen",
                     cached & cache_bit(UIA_IsOffscreenPropertyId));
    }
    HRESULT STDMETHODCALLTYPE FindFirst(enum TreeScope scope, IUIAutomationCondition* condition,
                                        IUIAutomationElement** found) override
    {
        record(owner, "FindFirst");
        if (!found)
            return E_POINTER;
        *found = nullptr;
        if (scope != TreeScope_Children || !is_true_condition(condition))
            return E_INVALIDARG;
        refresh_world(owner);
        if (owner->faults.find_first != UIA_OK) {
            HRESULT result;
            apply_fault(owner->faults.find_first, &result);
            return result;
        }
        if (stale())
            return ELEMENT_NOT_AVAILABLE;
        for (int child : n().children)
            if (owner->nodes[child].in_tree) {
                *found = make_element_object(owner, child, 0);
                break;
            }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_CurrentLocalizedControlType(BSTR* value) override
    {
        record(owner, "get_CurrentLocalizedControlType");
        if (!value)
            return E_POINTER;
        if (n().getters_fail)
            return E_FAIL;
        *value = SysAllocString(n().localized_type.c_str());
        return S_OK;
    }

    // Not used by the tool.
    NOT_USED(SetFocus)
    NOT_USED(GetRuntimeId, SAFEARRAY**)
    NOT_USED(FindFirstBuildCache, enum TreeScope, IUIAutomationCondition*,
             IUIAutomationCacheRequest*, IUIAutomationElement**)
    NOT_USED(BuildUpdatedCache, IUIAutomationCacheRequest*, IUIAutomationElement**)
    NOT_USED(GetCurrentPropertyValueEx, PROPERTYID, BOOL, VARIANT*)
    NOT_USED(GetCachedPropertyValue, PROPERTYID, VARIANT*)
    NOT_USED(GetCachedPropertyValueEx, PROPERTYID, BOOL, VARIANT*)
    NOT_USED(GetCachedPatternAs, PATTERNID, REFIID, void**)
    NOT_USED(GetCurrentPattern, PATTERNID, IUnknown**)
    NOT_USED(GetCachedPattern, PATTERNID, IUnknown**)
    NOT_USED(GetCachedParent, IUIAutomationElement**)
    NOT_USED(GetCachedChildren, IUIAutomationElementArray**)
    NOT_USED(get_CurrentProcessId, int*)
    NOT_USED(get_CurrentAcceleratorKey, BSTR*)
    NOT_USED(get_CurrentAccessKey, BSTR*)
    NOT_USED(get_CurrentHasKeyboardFocus, BOOL*)
    NOT_USED(get_CurrentIsKeyboardFocusable, BOOL*)
    NOT_USED(get_CurrentAutomationId, BSTR*)
    NOT_USED(get_CurrentClassName, BSTR*)
    NOT_USED(get_CurrentHelpText, BSTR*)
    NOT_USED(get_CurrentCulture, int*)
    NOT_USED(get_CurrentIsControlElement, BOOL*)
    NOT_USED(get_CurrentIsContentElement, BOOL*)
    NOT_USED(get_CurrentIsPassword, BOOL*)
    NOT_USED(get_CurrentNativeWindowHandle, UIA_HWND*)
    NOT_USED(get_CurrentItemType, BSTR*)
    NOT_USED(get_CurrentOrientation, enum OrientationType*)
    NOT_USED(get_CurrentFrameworkId, BSTR*)
    NOT_USED(get_CurrentIsRequiredForForm, BOOL*)
    NOT_USED(get_CurrentItemStatus, BSTR*)
    NOT_USED(get_CurrentLabeledBy, IUIAutomationElement**)
    NOT_USED(get_CurrentAriaRole, BSTR*)
    NOT_USED(get_CurrentAriaProperties, BSTR*)
    NOT_USED(get_CurrentIsDataValidForForm, BOOL*)
    NOT_USED(get_CurrentControllerFor, IUIAutomationElementArray**)
    NOT_USED(get_CurrentDescribedBy, IUIAutomationElementArray**)
    NOT_USED(get_CurrentFlowsTo, IUIAutomationElementArray**)
    NOT_USED(get_CurrentProviderDescription, BSTR*)
    NOT_USED(get_CachedProcessId, int*)
    NOT_USED(get_CachedLocalizedControlType, BSTR*)
    NOT_USED(get_CachedAcceleratorKey, BSTR*)
    NOT_USED(get_CachedAccessKey, BSTR*)
    NOT_USED(get_CachedHasKeyboardFocus, BOOL*)
    NOT_USED(get_CachedIsKeyboardFocusable, BOOL*)
    NOT_USED(get_CachedAutomationId, BSTR*)
    NOT_USED(get_CachedClassName, BSTR*)
    NOT_USED(get_CachedHelpText, BSTR*)
    NOT_USED(get_CachedCulture, int*)
    NOT_USED(get_CachedIsControlElement, BOOL*)
    NOT_USED(get_CachedIsContentElement, BOOL*)
    NOT_USED(get_CachedIsPassword, BOOL*)
    NOT_USED(get_CachedNativeWindowHandle, UIA_HWND*)
    NOT_USED(get_CachedItemType, BSTR*)
    NOT_USED(get_CachedOrientation, enum OrientationType*)
    NOT_USED(get_CachedFrameworkId, BSTR*)
    NOT_USED(get_CachedIsRequiredForForm, BOOL*)
    NOT_USED(get_CachedItemStatus, BSTR*)
    NOT_USED(get_CachedLabeledBy, IUIAutomationElement**)
    NOT_USED(get_CachedAriaRole, BSTR*)
    NOT_USED(get_CachedAriaProperties, BSTR*)
    NOT_USED(get_CachedIsDataValidForForm, BOOL*)
    NOT_USED(get_CachedControllerFor, IUIAutomationElementArray**)
    NOT_USED(get_CachedDescribedBy, IUIAutomationElementArray**)
    NOT_USED(get_CachedFlowsTo, IUIAutomationElementArray**)
    NOT_USED(get_CachedProviderDescription, BSTR*)
    NOT_USED(GetClickablePoint, POINT*, BOOL*)

private:
    // A getter: `available` is 0 for a cached getter whose property was not
    // fetched, which the real client refuses too.
    HRESULT check_getter(const void* value, const char* method, unsigned available)
    {
        record(owner, method);
        if (!value)
            return E_POINTER;
        if (!available)
            return E_INVALIDARG;
        if (n().getters_fail)
            return E_FAIL;
        // A cached value was read with the element: only current reads go
        // to the page as it is now.
        if (strncmp(method, "get_Current", 11) == 0) {
            refresh_world(owner);
            if (stale())
                return ELEMENT_NOT_AVAILABLE;
        }
        return S_OK;
    }
    HRESULT name(BSTR* value, const char* method, unsigned available)
    {
        HRESULT result = check_getter(value, method, available);
        if (result == S_OK) {
            *value = n().name_is_null ? nullptr : SysAllocString(n().name.c_str());
            if (owner->world.read)
                owner->world.read(node, UIA_NamePropertyId);
        }
        return result;
    }
    HRESULT control_type(CONTROLTYPEID* value, const char* method, unsigned available)
    {
        HRESULT result = check_getter(value, method, available);
        if (result == S_OK) {
            *value = n().control_type;
            if (owner->world.read)
                owner->world.read(node, UIA_ControlTypePropertyId);
        }
        return result;
    }
    // IsEnabled and IsOffscreen, which some clients never read.
    HRESULT state(BOOL* value, BOOL state, const char* method, unsigned available)
    {
        if (owner->states_unread) {
            record(owner, method);
            return E_NOTIMPL;
        }
        return flag(value, state, method, available);
    }
    HRESULT rectangle(RECT* value, const char* method, unsigned available)
    {
        HRESULT result = check_getter(value, method, available);
        if (result == S_OK)
            *value = n().rect;
        return result;
    }
    HRESULT flag(BOOL* value, BOOL state, const char* method, unsigned available)
    {
        HRESULT result = check_getter(value, method, available);
        if (result == S_OK)
            *value = state;
        return result;
    }
    void add_descendants(int parent, std::vector<int>* out)
    {
        for (int child : owner->nodes[parent].children) {
            if (!owner->nodes[child].in_tree)
                continue;
            out->push_back(child);
            add_descendants(child, out);
        }
    }
    HRESULT find(UiaFault fault, enum TreeScope scope, IUIAutomationCondition* condition,
                 DoubleCacheRequest* cache, IUIAutomationElementArray** found)
    {
        if (!found)
            return E_POINTER;
        if (scope != TreeScope_Descendants || !is_true_condition(condition))
            return E_INVALIDARG;
        HRESULT result;
        if (!apply_fault(fault, &result)) {
            if (result == S_OK)
                *found = nullptr;
            return result;
        }
        refresh_world(owner);
        if (stale())
            return ELEMENT_NOT_AVAILABLE;
        DoubleElementArray* array = make_object<DoubleElementArray>(owner);
        if (!owner->faults.empty_arrays)
            add_descendants(node, &array->nodes);
        if (cache) {
            for (PROPERTYID property : cache->properties)
                array->cached |= cache_bit(property);
            owner->cache_properties = cache->properties;
            owner->cache_tree_filter_is_true = cache->filter_is_true;
        }
        *found = array;
        return S_OK;
    }
};

DoubleElement* make_element_object(UiaDouble* d, int node, unsigned cached)
{
    DoubleElement* element = make_object<DoubleElement>(d);
    element->node = node;
    element->generation = d->nodes[node].generation;
    element->cached = cached;
    return element;
}

HRESULT DoubleElementArray::GetElement(int index, IUIAutomationElement** element)
{
    record(owner, "GetElement");
    if (!element)
        return E_POINTER;
    auto fault = owner->faults.get_element.find(index);
    if (fault != owner->faults.get_element.end() && fault->second != UIA_OK) {
        if (fault->second == UIA_FAIL)
            return E_FAIL;
        *element = nullptr;
        return S_OK;
    }
    if (index < 0 || index >= (int)nodes.size())
        return E_INVALIDARG;
    *element = make_element_object(owner, nodes[index], cached);
    return S_OK;
}

HRESULT DoubleElement::GetCurrentPatternAs(PATTERNID pattern, REFIID iid, void** out)
{
    record(owner, "GetCurrentPatternAs");
    if (!out)
        return E_POINTER;
    n().pattern_requests++;
    HRESULT result;
    if (!apply_fault(n().pattern_fault, &result)) {
        if (result == S_OK)
            *out = nullptr;
        return result;
    }
    *out = nullptr;
    refresh_world(owner);
    if (stale())
        return ELEMENT_NOT_AVAILABLE;
    if (pattern == UIA_InvokePatternId) {
        if (!IsEqualIID(iid, IID_IUIAutomationInvokePattern))
            return E_INVALIDARG;
        if (n().has_invoke) {
            DoubleInvokePattern* made = make_object<DoubleInvokePattern>(owner);
            made->node = node;
            made->generation = generation;
            *out = static_cast<IUIAutomationInvokePattern*>(made);
        }
    } else if (pattern == UIA_LegacyIAccessiblePatternId) {
        if (!IsEqualIID(iid, IID_IUIAutomationLegacyIAccessiblePattern))
            return E_INVALIDARG;
        if (n().has_legacy) {
            DoubleLegacyPattern* made = make_object<DoubleLegacyPattern>(owner);
            made->node = node;
            made->generation = generation;
            *out = static_cast<IUIAutomationLegacyIAccessiblePattern*>(made);
        }
    } else if (pattern == UIA_SelectionItemPatternId) {
        if (!IsEqualIID(iid, IID_IUIAutomationSelectionItemPattern))
            return E_INVALIDARG;
        if (n().has_selection_item) {
            DoubleSelectionItemPattern* made = make_object<DoubleSelectionItemPattern>(owner);
            made->node = node;
            made->generation = generation;
            *out = static_cast<IUIAutomationSelectionItemPattern*>(made);
        }
    }
    // Any other pattern: not supported, which the real client answers with S_OK and null.
    return S_OK;
}

class DoubleTreeWalker : public DoubleObject<IUIAutomationTreeWalker> {
public:
    HRESULT STDMETHODCALLTYPE GetParentElement(IUIAutomationElement* element,
                                               IUIAutomationElement** parent) override
    {
        record(owner, "GetParentElement");
        int from = uia_node_of(element);
        if (!parent)
            return E_POINTER;
        if (from < 0)
            return E_INVALIDARG;
        return step(owner->nodes[from].parent_fault, owner->nodes[from].parent, parent);
    }
    HRESULT STDMETHODCALLTYPE GetFirstChildElement(IUIAutomationElement* element,
                                                   IUIAutomationElement** child) override
    {
        record(owner, "GetFirstChildElement");
        int from = uia_node_of(element);
        if (!child)
            return E_POINTER;
        if (from < 0)
            return E_INVALIDARG;
        refresh_world(owner);
        const UiaNode& node = owner->nodes[from];
        int first = -1;
        for (int candidate : node.children)
            if (first < 0 && owner->nodes[candidate].in_tree)
                first = candidate;
        return step(node.first_child_fault, first, child);
    }
    HRESULT STDMETHODCALLTYPE GetNextSiblingElement(IUIAutomationElement* element,
                                                    IUIAutomationElement** sibling) override
    {
        record(owner, "GetNextSiblingElement");
        int from = uia_node_of(element);
        if (!sibling)
            return E_POINTER;
        if (from < 0)
            return E_INVALIDARG;
        refresh_world(owner);
        const UiaNode& node = owner->nodes[from];
        int next = -1;
        if (node.parent >= 0) {
            const std::vector<int>& siblings = owner->nodes[node.parent].children;
            for (size_t i = (size_t)node.index_in_parent + 1; i < siblings.size() && next < 0; i++)
                if (owner->nodes[siblings[i]].in_tree)
                    next = siblings[i];
        }
        return step(node.next_sibling_fault, next, sibling);
    }

    // Not used by the tool.
    NOT_USED(GetLastChildElement, IUIAutomationElement*, IUIAutomationElement**)
    NOT_USED(GetPreviousSiblingElement, IUIAutomationElement*, IUIAutomationElement**)
    NOT_USED(NormalizeElement, IUIAutomationElement*, IUIAutomationElement**)
    NOT_USED(GetParentElementBuildCache, IUIAutomationElement*, IUIAutomationCacheRequest*,
             IUIAutomationElement**)
    NOT_USED(GetFirstChildElementBuildCache, IUIAutomationElement*, IUIAutomationCacheRequest*,
             IUIAutomationElement**)
    NOT_USED(GetLastChildElementBuildCache, IUIAutomationElement*, IUIAutomationCacheRequest*,
             IUIAutomationElement**)
    NOT_USED(GetNextSiblingElementBuildCache, IUIAutomationElement*, IUIAutomationCacheRequest*,
             IUIAutomationElement**)
    NOT_USED(GetPreviousSiblingElementBuildCache, IUIAutomationElement*, IUIAutomationCacheRequest*,
             IUIAutomationElement**)
    NOT_USED(NormalizeElementBuildCache, IUIAutomationElement*, IUIAutomationCacheRequest*,
             IUIAutomationElement**)
    NOT_USED(get_Condition, IUIAutomationCondition**)

private:
    // One step to `to` (-1: nothing there, S_OK and null as the real walker).
    HRESULT step(UiaFault fault, int to, IUIAutomationElement** out)
    {
        HRESULT result;
        if (!apply_fault(fault, &result)) {
            if (result == S_OK)
                *out = nullptr;
            return result;
        }
        *out = to >= 0 ? make_element_object(owner, to, 0) : nullptr;
        return S_OK;
    }
};

class DoubleAutomation : public DoubleObject<IUIAutomation> {
public:
    HRESULT STDMETHODCALLTYPE ElementFromHandle(UIA_HWND window,
                                                IUIAutomationElement** element) override
    {
        record(owner, "ElementFromHandle");
        owner->last_window = (HWND)window;
        if (!element)
            return E_POINTER;
        HRESULT result;
        if (!give(owner->faults.element_from_handle, (void**)element, &result))
            return result;
        refresh_world(owner);
        *element = make_element_object(owner, UIA_WINDOW_NODE, 0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateTreeWalker(IUIAutomationCondition* condition,
                                               IUIAutomationTreeWalker** walker) override
    {
        record(owner, "CreateTreeWalker");
        if (!walker)
            return E_POINTER;
        if (!is_true_condition(condition))
            return E_INVALIDARG;
        return walker_for(owner->faults.create_tree_walker, walker);
    }
    HRESULT STDMETHODCALLTYPE get_ControlViewWalker(IUIAutomationTreeWalker** walker) override
    {
        record(owner, "get_ControlViewWalker");
        if (!walker)
            return E_POINTER;
        return walker_for(owner->faults.control_view_walker, walker);
    }
    HRESULT STDMETHODCALLTYPE get_RawViewWalker(IUIAutomationTreeWalker** walker) override
    {
        record(owner, "get_RawViewWalker");
        if (!walker)
            return E_POINTER;
        return walker_for(owner->faults.raw_view_walker, walker);
    }
    HRESULT STDMETHODCALLTYPE CreateCacheRequest(IUIAutomationCacheRequest** request) override
    {
        record(owner, "CreateCacheRequest");
        if (!request)
            return E_POINTER;
        HRESULT result;
        if (!give(owner->faults.cache_request, (void**)request, &result))
            return result;
        *request = make_object<DoubleCacheRequest>(owner);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateTrueCondition(IUIAutomationCondition** condition) override
    {
        record(owner, "CreateTrueCondition");
        if (!condition)
            return E_POINTER;
        HRESULT result;
        if (!give(owner->faults.true_condition, (void**)condition, &result))
            return result;
        *condition = make_object<DoubleTrueCondition>(owner);
        return S_OK;
    }

    // Not used by the tool.
    NOT_USED(CompareElements, IUIAutomationElement*, IUIAutomationElement*, BOOL*)
    NOT_USED(CompareRuntimeIds, SAFEARRAY*, SAFEARRAY*, BOOL*)
    NOT_USED(GetRootElement, IUIAutomationElement**)
    NOT_USED(ElementFromPoint, POINT, IUIAutomationElement**)
    NOT_USED(GetFocusedElement, IUIAutomationElement**)
    NOT_USED(GetRootElementBuildCache, IUIAutomationCacheRequest*, IUIAutomationElement**)
    NOT_USED(ElementFromHandleBuildCache, UIA_HWND, IUIAutomationCacheRequest*,
             IUIAutomationElement**)
    NOT_USED(ElementFromPointBuildCache, POINT, IUIAutomationCacheRequest*, IUIAutomationElement**)
    NOT_USED(GetFocusedElementBuildCache, IUIAutomationCacheRequest*, IUIAutomationElement**)
    NOT_USED(get_ContentViewWalker, IUIAutomationTreeWalker**)
    NOT_USED(get_RawViewCondition, IUIAutomationCondition**)
    NOT_USED(get_ControlViewCondition, IUIAutomationCondition**)
    NOT_USED(get_ContentViewCondition, IUIAutomationCondition**)
    NOT_USED(CreateFalseCondition, IUIAutomationCondition**)
    NOT_USED(CreatePropertyCondition, PROPERTYID, VARIANT, IUIAutomationCondition**)
    NOT_USED(CreatePropertyConditionEx, PROPERTYID, VARIANT, enum PropertyConditionFlags,
             IUIAutomationCondition**)
    NOT_USED(CreateAndCondition, IUIAutomationCondition*, IUIAutomationCondition*,
             IUIAutomationCondition**)
    NOT_USED(CreateAndConditionFromArray, SAFEARRAY*, IUIAutomationCondition**)
    NOT_USED(CreateAndConditionFromNativeArray, IUIAutomationCondition**, int,
             IUIAutomationCondition**)
    NOT_USED(CreateOrCondition, IUIAutomationCondition*, IUIAutomationCondition*,
             IUIAutomationCondition**)
    NOT_USED(CreateOrConditionFromArray, SAFEARRAY*, IUIAutomationCondition**)
    NOT_USED(CreateOrConditionFromNativeArray, IUIAutomationCondition**, int,
             IUIAutomationCondition**)
    NOT_USED(CreateNotCondition, IUIAutomationCondition*, IUIAutomationCondition**)
    NOT_USED(AddAutomationEventHandler, EVENTID, IUIAutomationElement*, enum TreeScope,
             IUIAutomationCacheRequest*, IUIAutomationEventHandler*)
    NOT_USED(RemoveAutomationEventHandler, EVENTID, IUIAutomationElement*,
             IUIAutomationEventHandler*)
    NOT_USED(AddPropertyChangedEventHandlerNativeArray, IUIAutomationElement*, enum TreeScope,
             IUIAutomationCacheRequest*, IUIAutomationPropertyChangedEventHandler*, PROPERTYID*,
             int)
    NOT_USED(AddPropertyChangedEventHandler, IUIAutomationElement*, enum TreeScope,
             IUIAutomationCacheRequest*, IUIAutomationPropertyChangedEventHandler*, SAFEARRAY*)
    NOT_USED(RemovePropertyChangedEventHandler, IUIAutomationElement*,
             IUIAutomationPropertyChangedEventHandler*)
    NOT_USED(AddStructureChangedEventHandler, IUIAutomationElement*, enum TreeScope,
             IUIAutomationCacheRequest*, IUIAutomationStructureChangedEventHandler*)
    NOT_USED(RemoveStructureChangedEventHandler, IUIAutomationElement*,
             IUIAutomationStructureChangedEventHandler*)
    NOT_USED(AddFocusChangedEventHandler, IUIAutomationCacheRequest*,
             IUIAutomationFocusChangedEventHandler*)
    NOT_USED(RemoveFocusChangedEventHandler, IUIAutomationFocusChangedEventHandler*)
    NOT_USED(RemoveAllEventHandlers)
    NOT_USED(IntNativeArrayToSafeArray, int*, int, SAFEARRAY**)
    NOT_USED(IntSafeArrayToNativeArray, SAFEARRAY*, int**, int*)
    NOT_USED(RectToVariant, RECT, VARIANT*)
    NOT_USED(VariantToRect, VARIANT, RECT*)
    NOT_USED(SafeArrayToRectNativeArray, SAFEARRAY*, RECT**, int*)
    NOT_USED(CreateProxyFactoryEntry, IUIAutomationProxyFactory*, IUIAutomationProxyFactoryEntry**)
    NOT_USED(get_ProxyFactoryMapping, IUIAutomationProxyFactoryMapping**)
    NOT_USED(GetPropertyProgrammaticName, PROPERTYID, BSTR*)
    NOT_USED(GetPatternProgrammaticName, PATTERNID, BSTR*)
    NOT_USED(PollForPotentialSupportedPatterns, IUIAutomationElement*, SAFEARRAY**, SAFEARRAY**)
    NOT_USED(PollForPotentialSupportedProperties, IUIAutomationElement*, SAFEARRAY**, SAFEARRAY**)
    NOT_USED(CheckNotSupported, VARIANT, BOOL*)
    NOT_USED(get_ReservedNotSupportedValue, IUnknown**)
    NOT_USED(get_ReservedMixedAttributeValue, IUnknown**)
    NOT_USED(ElementFromIAccessible, IAccessible*, int, IUIAutomationElement**)
    NOT_USED(ElementFromIAccessibleBuildCache, IAccessible*, int, IUIAutomationCacheRequest*,
             IUIAutomationElement**)

private:
    // 1 when the call goes on to make its object; otherwise the fault's
    // result is in *result (and a null in *out for UIA_NULL).
    static int give(UiaFault fault, void** out, HRESULT* result)
    {
        if (apply_fault(fault, result))
            return 1;
        if (*result == S_OK)
            *out = nullptr;
        return 0;
    }
    HRESULT walker_for(UiaFault fault, IUIAutomationTreeWalker** walker)
    {
        HRESULT result;
        if (!give(fault, (void**)walker, &result))
            return result;
        *walker = make_object<DoubleTreeWalker>(owner);
        return S_OK;
    }
};

const wchar_t* localized_type_of(int control_type)
{
    switch (control_type) {
    case UIA_ButtonControlTypeId: return L"button";
    case UIA_HyperlinkControlTypeId: return L"link";
    case UIA_ListItemControlTypeId: return L"list item";
    case UIA_MenuItemControlTypeId: return L"menu item";
    case UIA_TabItemControlTypeId: return L"tab item";
    case UIA_TextControlTypeId: return L"text";
    case UIA_TreeItemControlTypeId: return L"tree item";
    case UIA_GroupControlTypeId: return L"group";
    case UIA_WindowControlTypeId: return L"window";
    default: return L"custom";
    }
}

}  // namespace

UiaDouble::UiaDouble()
    : faults{}, states_unread(0), unimplemented_calls(0), cache_tree_filter_is_true(0), last_window(nullptr),
      live_objects(0), outstanding_refs(0), over_releases(0), automation_object(nullptr)
{
    UiaNode window{};
    window.parent = -1;
    window.name = L"Minecraft Launcher";
    window.control_type = UIA_WindowControlTypeId;
    window.localized_type = localized_type_of(UIA_WindowControlTypeId);
    window.rect = RECT{100, 80, 1100, 780};
    window.enabled = TRUE;
    window.in_tree = 1;
    nodes.push_back(window);
}

UiaDouble::~UiaDouble()
{
    if (automation == automation_object && automation_object)
        automation = nullptr;
    for (UiaObject* object : objects)
        delete object;
}

int add_node(UiaDouble& d, int parent, const wchar_t* name, int control_type, RECT rect)
{
    UiaNode node{};
    node.parent = parent;
    node.name_is_null = name == nullptr;
    if (name)
        node.name = name;
    node.control_type = control_type;
    node.localized_type = localized_type_of(control_type);
    node.rect = rect;
    node.enabled = TRUE;
    node.offscreen = FALSE;
    node.in_tree = 1;
    int index = (int)d.nodes.size();
    node.index_in_parent = (int)d.nodes[parent].children.size();
    d.nodes[parent].children.push_back(index);
    d.nodes.push_back(node);
    return index;
}

void install_uia_double(UiaDouble& d)
{
    if (!d.automation_object)
        d.automation_object = make_object<DoubleAutomation>(&d, 0);
    automation = d.automation_object;
}

void remove_uia_double(UiaDouble& d)
{
    if (automation == d.automation_object)
        automation = nullptr;
    if (d.automation_object) {
        d.automation_object->Release();
        d.automation_object = nullptr;
    }
}

IUIAutomationElement* make_element(UiaDouble& d, int node)
{
    return make_element_object(&d, node, 0);
}

int uia_node_of(IUIAutomationElement* element)
{
    DoubleElement* ours = element ? dynamic_cast<DoubleElement*>(element) : nullptr;
    return ours ? ours->node : -1;
}

int call_count(const UiaDouble& d, std::string_view method)
{
    auto found = d.calls.find(method);
    return found == d.calls.end() ? 0 : found->second;
}

void reset_uia_records(UiaDouble& d)
{
    d.calls.clear();
    d.unimplemented_calls = 0;
    d.last_unimplemented.clear();
    d.cache_properties.clear();
    d.cache_tree_filter_is_true = 0;
    for (UiaNode& node : d.nodes)
        node.pattern_requests = node.invoke_calls = node.default_action_calls = node.select_calls = 0;
}

void free_released_objects(UiaDouble& d)
{
    auto kept = std::remove_if(d.objects.begin(), d.objects.end(), [](UiaObject* object) {
        if (object->refs != 0)
            return false;
        delete object;
        return true;
    });
    d.objects.erase(kept, d.objects.end());
}
