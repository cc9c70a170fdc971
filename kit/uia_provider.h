// The simulated launcher's page as a UI Automation provider, served by its
// top-level window in its own process. Every call runs on the window's thread
// (ProviderOptions_UseComThreading; the thread is a single-threaded apartment).
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <uiautomationcore.h>
#include <uiautomationclient.h>

#include "chromium_habits.h"
#include "page.h"

// Sent to the window by Invoke, DoDefaultAction and Select, which must not
// block: wParam is the element index, lParam a PageVia. The window runs the
// element's actions from its message loop.
const UINT PAGE_ACTION_MESSAGE = WM_APP + 61;

// Serves `page` (which must outlive every provider object: keep it for the
// process's lifetime) from `window`. 1 when the root provider is made; the
// window answers WM_GETOBJECT through answer_uia_request from then on.
int start_page_provider(HWND window, Page* page);
// Serves the page with Chromium's habits from now on (null: as it is); the
// state must outlive the provider, as the page does.
void set_page_habits(HabitState* habits);
// Lets go of the root: call on WM_DESTROY. Objects a client still holds stay
// valid and answer UIA_E_ELEMENTNOTAVAILABLE, as do those a re-render replaced.
void stop_page_provider(HWND window);
// For WM_GETOBJECT: 1 and *result set when the request is for the UI
// Automation root and the provider is up; 0 for DefWindowProc.
int answer_uia_request(HWND window, WPARAM wparam, LPARAM lparam, LRESULT* result);
// A new reference to an element's provider (the root for index 0), or null.
IRawElementProviderSimple* page_element_provider(int index);
// Provider objects alive now (elements and patterns), for balance checks.
long live_provider_objects();
// Calls into element providers so far (every method but AddRef and Release),
// for measuring what a client costs per element.
long element_provider_calls();

// Wine's IDL lacks these two provider patterns: the Windows SDK's definitions.
#ifndef __IInvokeProvider_INTERFACE_DEFINED__
#define __IInvokeProvider_INTERFACE_DEFINED__
MIDL_INTERFACE("54fcb24b-e18e-47a2-b4d3-eccbe77599a2")
IInvokeProvider : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke() = 0;
};
__CRT_UUID_DECL(IInvokeProvider, 0x54fcb24b, 0xe18e, 0x47a2, 0xb4, 0xd3, 0xec, 0xcb, 0xe7, 0x75, 0x99, 0xa2)
#endif

#ifndef __ISelectionItemProvider_INTERFACE_DEFINED__
#define __ISelectionItemProvider_INTERFACE_DEFINED__
MIDL_INTERFACE("2acad808-b2d4-452d-a407-91ff1ad167b2")
ISelectionItemProvider : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Select() = 0;
    virtual HRESULT STDMETHODCALLTYPE AddToSelection() = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveFromSelection() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsSelected(BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SelectionContainer(IRawElementProviderSimple** value) = 0;
};
__CRT_UUID_DECL(ISelectionItemProvider, 0x2acad808, 0xb2d4, 0x452d, 0xa4, 0x07, 0x91, 0xff, 0x1a, 0xd1, 0x67, 0xb2)
#endif
