// The UI Automation client interfaces. MinGW's own headers lack them, so the
// build generates uiautomationcore.h and uiautomationclient.h from Wine's IDL;
// with the Windows SDK the same names come from its headers.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <uiautomationcore.h>
#include <uiautomationclient.h>

// Wine's IDL only forward-declares these two patterns; declare them from the
// Windows SDK's definitions where the toolchain left them out.
#ifndef __IUIAutomationInvokePattern_INTERFACE_DEFINED__
#define __IUIAutomationInvokePattern_INTERFACE_DEFINED__
extern "C" const IID IID_IUIAutomationInvokePattern;
MIDL_INTERFACE("fb377fbe-8ea6-46d5-9c73-6499642d3059")
IUIAutomationInvokePattern : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke() = 0;
};
#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IUIAutomationInvokePattern, 0xfb377fbe, 0x8ea6, 0x46d5, 0x9c, 0x73, 0x64, 0x99, 0x64, 0x2d, 0x30, 0x59)
#endif
#define KV6_DEFINE_IID_INVOKE_PATTERN 1
#endif

#ifndef __IUIAutomationSelectionItemPattern_INTERFACE_DEFINED__
#define __IUIAutomationSelectionItemPattern_INTERFACE_DEFINED__
extern "C" const IID IID_IUIAutomationSelectionItemPattern;
MIDL_INTERFACE("a8efa66a-0fda-421a-9194-38021f3578ea")
IUIAutomationSelectionItemPattern : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Select() = 0;
    virtual HRESULT STDMETHODCALLTYPE AddToSelection() = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveFromSelection() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentIsSelected(BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentSelectionContainer(IUIAutomationElement** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CachedIsSelected(BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CachedSelectionContainer(IUIAutomationElement** value) = 0;
};
#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IUIAutomationSelectionItemPattern, 0xa8efa66a, 0x0fda, 0x421a, 0x91, 0x94, 0x38, 0x02, 0x1f, 0x35, 0x78, 0xea)
#endif
#define KV6_DEFINE_IID_SELECTION_ITEM_PATTERN 1
#endif
