// The page's elements as UI Automation provider objects. Each object holds
// an element index into the page, which lives as long as the process; a
// hidden element's object stays valid and answers "not available".
#include "uia_provider.h"

#include <new>

#include "page_scale.h"

namespace {

const HRESULT ELEMENT_NOT_AVAILABLE = (HRESULT)0x80040201;  // UIA_E_ELEMENTNOTAVAILABLE
const HRESULT ELEMENT_NOT_ENABLED = (HRESULT)0x80040200;    // UIA_E_ELEMENTNOTENABLED
const LONG ROOT_OBJECT_ID = -25;                             // UiaRootObjectId
const int APPEND_RUNTIME_ID = 3;                             // UiaAppendRuntimeId

typedef LRESULT(WINAPI* ReturnRawElementProvider)(HWND, WPARAM, LPARAM, IRawElementProviderSimple*);
typedef HRESULT(WINAPI* HostProviderFromHwnd)(HWND, IRawElementProviderSimple**);

struct ProviderState {
    HWND window;
    Page* page;
    IRawElementProviderSimple* root;
    ReturnRawElementProvider return_provider;
    HostProviderFromHwnd host_from_hwnd;
    HabitState* habits;  // null: the page as it is
};

ProviderState state;
volatile LONG live_objects = 0;
volatile LONG element_calls = 0;  // calls into element providers, for --count-calls
// Every call into an element provider comes through here, counted.
void count_call()
{
    InterlockedIncrement(&element_calls);
}

// In the tree now: shown, not inert, arrived.
int shown(int index)
{
    return state.page && element_in_tree(*state.page, state.habits, index, GetTickCount64());
}

// An object made for an element in `generation` still stands for it.
int alive(int index, int generation)
{
    return shown(index) && element_current(state.habits, index, generation);
}

const PageElement& record(int index)
{
    return state.page->elements[(size_t)index];
}

// The element's rectangle on screen now, in physical pixels as UI
// Automation's clients read them: as the page places it relative to the
// window element, moved with the window, scaled as the window is.
RECT screen_rect(int index)
{
    HANDLE previous = take_window_awareness(state.window);
    RECT window = {0, 0, 0, 0};
    GetWindowRect(state.window, &window);
    RECT own = window;
    if (index != 0) {
        const PageElement& root = record(0);
        const PageElement& e = record(index);
        int left = e.left - root.left, top = e.top - root.top;
        own = RECT{window.left + to_window_units(left), window.top + to_window_units(top),
                   window.left + to_window_units(left + e.width), window.top + to_window_units(top + e.height)};
    }
    RECT physical = physical_screen_rect(state.window, own);
    restore_awareness(previous);
    return physical;
}

// The shown children of `parent` in page order: the next one after `after`
// (-1 for the first), or the last one when `last` is set; -1 if none.
int shown_child(int parent, int after, int last)
{
    int found = -1;
    for (int i = after + 1; i < (int)state.page->elements.size(); i++) {
        if (record(i).parent != parent || !shown(i))
            continue;
        found = i;
        if (!last)
            break;
    }
    return found;
}

int previous_shown_sibling(int index)
{
    int found = -1;
    for (int i = 0; i < index; i++)
        if (record(i).parent == record(index).parent && shown(i))
            found = i;
    return found;
}

void post_action(int index, int via)
{
    PostMessageW(state.window, PAGE_ACTION_MESSAGE, (WPARAM)index, (LPARAM)via);
}

BSTR name_string(int index)
{
    return SysAllocString(record(index).name.c_str());
}

// Reference counting and QueryInterface for the pattern objects, which each
// have one interface; every object here counts itself alive.
template <class Base>
struct Counted : Base {
    LONG references = 1;
    Counted() { InterlockedIncrement(&live_objects); }
    virtual ~Counted() { InterlockedDecrement(&live_objects); }
    ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)InterlockedIncrement(&references); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = InterlockedDecrement(&references);
        if (left == 0)
            delete this;
        return (ULONG)left;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid != __uuidof(IUnknown) && iid != __uuidof(Base))
            return E_NOINTERFACE;
        *out = static_cast<Base*>(this);
        AddRef();
        return S_OK;
    }
};

IRawElementProviderSimple* make_element(int index);

struct ElementProvider : IRawElementProviderSimple, IRawElementProviderFragment, IRawElementProviderFragmentRoot {
    LONG references = 1;
    int index;
    int generation;  // the re-render it was made in
    explicit ElementProvider(int i) : index(i), generation(element_generation(state.habits, i))
    {
        InterlockedIncrement(&live_objects);
    }
    virtual ~ElementProvider() { InterlockedDecrement(&live_objects); }

    ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)InterlockedIncrement(&references); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = InterlockedDecrement(&references);
        if (left == 0)
            delete this;
        return (ULONG)left;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        count_call();
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IRawElementProviderSimple))
            *out = static_cast<IRawElementProviderSimple*>(this);
        else if (iid == __uuidof(IRawElementProviderFragment))
            *out = static_cast<IRawElementProviderFragment*>(this);
        else if (iid == __uuidof(IRawElementProviderFragmentRoot) && index == 0)
            *out = static_cast<IRawElementProviderFragmentRoot*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    // IRawElementProviderSimple
    HRESULT STDMETHODCALLTYPE get_ProviderOptions(ProviderOptions* options) override
    {
        count_call();
        if (!options)
            return E_POINTER;
        *options = (ProviderOptions)(ProviderOptions_ServerSideProvider | ProviderOptions_UseComThreading);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID pattern, IUnknown** out) override;
    HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID property, VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** host) override
    {
        count_call();
        if (!host)
            return E_POINTER;
        *host = nullptr;
        // Only the window element is hosted: the rest are fragments of it.
        if (index != 0 || !state.host_from_hwnd || !state.window)
            return S_OK;
        return state.host_from_hwnd(state.window, host);
    }

    // IRawElementProviderFragment
    HRESULT STDMETHODCALLTYPE Navigate(NavigateDirection direction, IRawElementProviderFragment** out) override
    {
        count_call();
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!alive(index, generation))
            return ELEMENT_NOT_AVAILABLE;
        int parent = record(index).parent;
        int target = -1;
        switch (direction) {
        case NavigateDirection_Parent: target = parent; break;
        case NavigateDirection_FirstChild: target = shown_child(index, -1, 0); break;
        case NavigateDirection_LastChild: target = shown_child(index, -1, 1); break;
        case NavigateDirection_NextSibling: target = parent < 0 ? -1 : shown_child(parent, index, 0); break;
        case NavigateDirection_PreviousSibling: target = parent < 0 ? -1 : previous_shown_sibling(index); break;
        default: break;
        }
        if (target < 0)
            return S_OK;
        IRawElementProviderSimple* simple = make_element(target);
        if (!simple)
            return E_OUTOFMEMORY;
        HRESULT got = simple->QueryInterface(__uuidof(IRawElementProviderFragment), (void**)out);
        simple->Release();
        return got;
    }
    HRESULT STDMETHODCALLTYPE GetRuntimeId(SAFEARRAY** out) override
    {
        count_call();
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!alive(index, generation))
            return ELEMENT_NOT_AVAILABLE;
        if (index == 0)
            return S_OK;  // the window's host provider gives the window's id
        SAFEARRAY* ids = SafeArrayCreateVector(VT_I4, 0, 2);
        if (!ids)
            return E_OUTOFMEMORY;
        LONG at = 0;
        int value = APPEND_RUNTIME_ID;
        SafeArrayPutElement(ids, &at, &value);
        at = 1;
        value = element_runtime_number(state.habits, index);
        SafeArrayPutElement(ids, &at, &value);
        *out = ids;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_BoundingRectangle(UiaRect* out) override
    {
        count_call();
        if (!out)
            return E_POINTER;
        *out = UiaRect{0, 0, 0, 0};
        if (!alive(index, generation))
            return ELEMENT_NOT_AVAILABLE;
        RECT r = screen_rect(index);
        *out = UiaRect{(double)r.left, (double)r.top, (double)(r.right - r.left), (double)(r.bottom - r.top)};
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetEmbeddedFragmentRoots(SAFEARRAY** out) override
    {
        count_call();
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetFocus() override
    {
        count_call();
        return alive(index, generation) ? S_OK : ELEMENT_NOT_AVAILABLE;
    }
    HRESULT STDMETHODCALLTYPE get_FragmentRoot(IRawElementProviderFragmentRoot** out) override
    {
        count_call();
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!state.root)
            return ELEMENT_NOT_AVAILABLE;
        return state.root->QueryInterface(__uuidof(IRawElementProviderFragmentRoot), (void**)out);
    }

    // IRawElementProviderFragmentRoot (the window element only)
    HRESULT STDMETHODCALLTYPE ElementProviderFromPoint(double x, double y, IRawElementProviderFragment** out) override
    {
        count_call();
        if (!out)
            return E_POINTER;
        *out = nullptr;
        int hit = -1;
        for (int i = 1; i < (int)state.page->elements.size(); i++) {
            RECT r = screen_rect(i);
            if (shown(i) && x >= r.left && x < r.right && y >= r.top && y < r.bottom)
                hit = i;
        }
        if (hit < 0)
            return S_OK;
        IRawElementProviderSimple* simple = make_element(hit);
        if (!simple)
            return E_OUTOFMEMORY;
        HRESULT got = simple->QueryInterface(__uuidof(IRawElementProviderFragment), (void**)out);
        simple->Release();
        return got;
    }
    HRESULT STDMETHODCALLTYPE GetFocus(IRawElementProviderFragment** out) override
    {
        count_call();
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return S_OK;
    }
};

IRawElementProviderSimple* make_element(int index)
{
    ElementProvider* element = new (std::nothrow) ElementProvider(index);
    return element ? static_cast<IRawElementProviderSimple*>(element) : nullptr;
}

struct InvokePattern : Counted<IInvokeProvider> {
    int index;
    int generation;
    explicit InvokePattern(int i, int g) : index(i), generation(g) {}
    HRESULT STDMETHODCALLTYPE Invoke() override
    {
        if (!alive(index, generation))
            return ELEMENT_NOT_AVAILABLE;
        if (record(index).disabled)
            return ELEMENT_NOT_ENABLED;
        post_action(index, PAGE_VIA_INVOKE);
        return S_OK;
    }
};

// MSAA roles and states (oleacc.h) of the types a page uses.
DWORD legacy_role(int control_type)
{
    switch (control_type) {
    case 50000: case 50031: return 0x2b;  // ROLE_SYSTEM_PUSHBUTTON
    case 50005: return 0x1e;              // ROLE_SYSTEM_LINK
    case 50019: return 0x25;              // ROLE_SYSTEM_PAGETAB
    case 50018: return 0x3c;              // ROLE_SYSTEM_PAGETABLIST
    case 50007: return 0x22;              // ROLE_SYSTEM_LISTITEM
    case 50008: return 0x21;              // ROLE_SYSTEM_LIST
    case 50011: return 0x0c;              // ROLE_SYSTEM_MENUITEM
    case 50002: return 0x2c;              // ROLE_SYSTEM_CHECKBUTTON
    case 50013: return 0x2d;              // ROLE_SYSTEM_RADIOBUTTON
    case 50024: return 0x24;              // ROLE_SYSTEM_OUTLINEITEM
    case 50020: return 0x29;              // ROLE_SYSTEM_STATICTEXT
    case 50006: return 0x28;              // ROLE_SYSTEM_GRAPHIC
    case 50026: return 0x14;              // ROLE_SYSTEM_GROUPING
    case 50030: return 0x0f;              // ROLE_SYSTEM_DOCUMENT
    case 50033: return 0x10;              // ROLE_SYSTEM_PANE
    case 50032: return 0x09;              // ROLE_SYSTEM_WINDOW
    default: return 0x0a;                 // ROLE_SYSTEM_CLIENT
    }
}

HRESULT empty_string(BSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return S_OK;
}

struct LegacyPattern : Counted<ILegacyIAccessibleProvider> {
    int index;
    int generation;
    explicit LegacyPattern(int i, int g) : index(i), generation(g) {}
    HRESULT STDMETHODCALLTYPE Select(LONG flags) override
    {
        if (!alive(index, generation))
            return ELEMENT_NOT_AVAILABLE;
        if (!element_selectable(*state.page, state.habits, index) || !(flags & 0x2))  // SELFLAG_TAKESELECTION
            return E_NOTIMPL;
        post_action(index, PAGE_VIA_SELECT);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DoDefaultAction() override
    {
        if (!alive(index, generation))
            return ELEMENT_NOT_AVAILABLE;
        if (record(index).disabled)
            return ELEMENT_NOT_ENABLED;
        post_action(index, PAGE_VIA_LEGACY);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIAccessible(IAccessible** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ChildId(int* out) override
    {
        if (!out)
            return E_POINTER;
        *out = 0;  // CHILDID_SELF
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!alive(index, generation))
            return ELEMENT_NOT_AVAILABLE;
        *out = name_string(index);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Value(BSTR* out) override { return empty_string(out); }
    HRESULT STDMETHODCALLTYPE get_Description(BSTR* out) override { return empty_string(out); }
    HRESULT STDMETHODCALLTYPE get_Role(DWORD* out) override
    {
        if (!out)
            return E_POINTER;
        *out = legacy_role(record(index).control_type);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_State(DWORD* out) override
    {
        if (!out)
            return E_POINTER;
        const PageElement& e = record(index);
        DWORD flags = 0x100000;  // STATE_SYSTEM_FOCUSABLE
        if (e.disabled)
            flags |= 0x1;        // STATE_SYSTEM_UNAVAILABLE
        if (element_offscreen(*state.page, state.habits, index))
            flags |= 0x10000;    // STATE_SYSTEM_OFFSCREEN
        if (!alive(index, generation))
            flags |= 0x8000;     // STATE_SYSTEM_INVISIBLE
        if (element_selectable(*state.page, state.habits, index))
            flags |= 0x200000 | (e.selected ? 0x2 : 0);  // SELECTABLE, SELECTED
        *out = flags;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Help(BSTR* out) override { return empty_string(out); }
    HRESULT STDMETHODCALLTYPE get_KeyboardShortcut(BSTR* out) override { return empty_string(out); }
    HRESULT STDMETHODCALLTYPE GetSelection(SAFEARRAY** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_DefaultAction(BSTR* out) override
    {
        if (!out)
            return E_POINTER;
        *out = element_invokable(*state.page, state.habits, index)     ? SysAllocString(L"Press")
             : element_selectable(*state.page, state.habits, index) ? SysAllocString(L"Select")
                                                                     : nullptr;
        return S_OK;
    }
};

struct SelectionItemPattern : Counted<ISelectionItemProvider> {
    int index;
    int generation;
    explicit SelectionItemPattern(int i, int g) : index(i), generation(g) {}
    HRESULT STDMETHODCALLTYPE Select() override
    {
        if (!alive(index, generation))
            return ELEMENT_NOT_AVAILABLE;
        post_action(index, PAGE_VIA_SELECT);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddToSelection() override { return Select(); }
    HRESULT STDMETHODCALLTYPE RemoveFromSelection() override
    {
        if (!alive(index, generation))
            return ELEMENT_NOT_AVAILABLE;
        state.page->elements[(size_t)index].selected = 0;
        InvalidateRect(state.window, nullptr, TRUE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_IsSelected(BOOL* out) override
    {
        if (!out)
            return E_POINTER;
        *out = FALSE;
        if (!alive(index, generation))
            return ELEMENT_NOT_AVAILABLE;
        *out = record(index).selected ? TRUE : FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_SelectionContainer(IRawElementProviderSimple** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!alive(index, generation))
            return ELEMENT_NOT_AVAILABLE;
        int parent = record(index).parent;
        *out = parent < 0 ? nullptr : make_element(parent);
        return S_OK;
    }
};

HRESULT ElementProvider::GetPatternProvider(PATTERNID pattern, IUnknown** out)
{
    count_call();
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!alive(index, generation))
        return ELEMENT_NOT_AVAILABLE;
    const PageElement& e = record(index);
    if (pattern == UIA_InvokePatternId && element_invokable(*state.page, state.habits, index))
        *out = new (std::nothrow) InvokePattern(index, generation);
    else if (pattern == UIA_LegacyIAccessiblePatternId && e.legacy)
        *out = new (std::nothrow) LegacyPattern(index, generation);
    else if (pattern == UIA_SelectionItemPatternId && element_selectable(*state.page, state.habits, index))
        *out = new (std::nothrow) SelectionItemPattern(index, generation);
    else
        return S_OK;  // not supported: no provider, no error
    return *out ? S_OK : E_OUTOFMEMORY;
}

void set_bool(VARIANT* value, int on)
{
    value->vt = VT_BOOL;
    value->boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
}

HRESULT ElementProvider::GetPropertyValue(PROPERTYID property, VARIANT* value)
{
    count_call();
    if (!value)
        return E_POINTER;
    VariantInit(value);
    if (!alive(index, generation))
        return ELEMENT_NOT_AVAILABLE;
    if (state.habits)
        note_property_read(state.habits, *state.page, index, property, GetTickCount64());
    const PageElement& e = record(index);
    int invokable = element_invokable(*state.page, state.habits, index);
    int selectable = element_selectable(*state.page, state.habits, index);
    switch (property) {
    case UIA_ControlTypePropertyId:
        value->vt = VT_I4;
        value->lVal = e.control_type;
        break;
    case UIA_NamePropertyId:
        value->vt = VT_BSTR;
        value->bstrVal = name_string(index);
        break;
    case UIA_LocalizedControlTypePropertyId:
        value->vt = VT_BSTR;
        value->bstrVal = SysAllocString(control_type_english(e.control_type));
        break;
    case UIA_AutomationIdPropertyId: {
        wchar_t id[128];
        int n = MultiByteToWideChar(CP_UTF8, 0, e.id.c_str(), -1, id, 128);
        id[n > 0 ? 127 : 0] = 0;
        value->vt = VT_BSTR;
        value->bstrVal = SysAllocString(id);
        break;
    }
    case UIA_ClassNamePropertyId:
        value->vt = VT_BSTR;
        value->bstrVal = SysAllocString(L"KV6PageElement");
        break;
    case UIA_BoundingRectanglePropertyId: {
        RECT r = screen_rect(index);
        SAFEARRAY* numbers = SafeArrayCreateVector(VT_R8, 0, 4);
        if (!numbers)
            return E_OUTOFMEMORY;
        double parts[4] = {(double)r.left, (double)r.top, (double)(r.right - r.left), (double)(r.bottom - r.top)};
        for (LONG k = 0; k < 4; k++)
            SafeArrayPutElement(numbers, &k, &parts[k]);
        value->vt = VT_R8 | VT_ARRAY;
        value->parray = numbers;
        break;
    }
    case UIA_IsEnabledPropertyId: set_bool(value, !e.disabled); break;
    case UIA_IsOffscreenPropertyId: set_bool(value, element_offscreen(*state.page, state.habits, index)); break;
    case UIA_IsKeyboardFocusablePropertyId: set_bool(value, invokable || selectable); break;
    case UIA_IsInvokePatternAvailablePropertyId: set_bool(value, invokable); break;
    case UIA_IsSelectionItemPatternAvailablePropertyId: set_bool(value, selectable); break;
    case UIA_IsLegacyIAccessiblePatternAvailablePropertyId: set_bool(value, e.legacy); break;
    case UIA_SelectionItemIsSelectedPropertyId:
        if (selectable)
            set_bool(value, e.selected);
        break;
    default:
        break;  // VT_EMPTY: the host provider or UI Automation's default answers
    }
    return S_OK;
}

}  // namespace

int start_page_provider(HWND window, Page* page)
{
    if (!page || page->elements.empty())
        return 0;
    state.window = window;
    state.page = page;
    // MinGW has no import library for uiautomationcore.
    HMODULE core = LoadLibraryW(L"uiautomationcore.dll");
    if (core) {
        state.return_provider = (ReturnRawElementProvider)(void*)GetProcAddress(core, "UiaReturnRawElementProvider");
        state.host_from_hwnd = (HostProviderFromHwnd)(void*)GetProcAddress(core, "UiaHostProviderFromHwnd");
    }
    if (!state.root)
        state.root = make_element(0);
    return state.root != nullptr;
}

void stop_page_provider(HWND window)
{
    // UI Automation lets go of what it holds for a window told so.
    if (state.return_provider && window)
        state.return_provider(window, 0, 0, nullptr);
    if (state.root)
        state.root->Release();
    state.root = nullptr;
}

int answer_uia_request(HWND window, WPARAM wparam, LPARAM lparam, LRESULT* result)
{
    if ((LONG)lparam != ROOT_OBJECT_ID || window != state.window || !state.root || !state.return_provider)
        return 0;
    *result = state.return_provider(window, wparam, lparam, state.root);
    return 1;
}

void set_page_habits(HabitState* habits)
{
    state.habits = habits;
}

IRawElementProviderSimple* page_element_provider(int index)
{
    if (!state.page || index < 0 || index >= (int)state.page->elements.size())
        return nullptr;
    if (index == 0 && state.root) {
        state.root->AddRef();
        return state.root;
    }
    return make_element(index);
}

long live_provider_objects()
{
    return live_objects;
}

long element_provider_calls()
{
    return element_calls;
}
