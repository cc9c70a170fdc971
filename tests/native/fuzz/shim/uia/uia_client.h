// What the classification names of UI Automation, for the native build: an
// element that counts its references, and the control type ids.
#pragma once

#include <windows.h>

struct IUIAutomationElement {
    long references;
    ULONG AddRef() { return (ULONG)++references; }
    ULONG Release() { return (ULONG)--references; }
};

enum {
    UIA_ButtonControlTypeId = 50000,
    UIA_HyperlinkControlTypeId = 50005,
    UIA_ListItemControlTypeId = 50007,
    UIA_MenuBarControlTypeId = 50010,
    UIA_MenuItemControlTypeId = 50011,
    UIA_ScrollBarControlTypeId = 50014,
    UIA_TabItemControlTypeId = 50019,
    UIA_TextControlTypeId = 50020,
    UIA_TreeItemControlTypeId = 50024,
    UIA_ThumbControlTypeId = 50027,
    UIA_DocumentControlTypeId = 50030,
    UIA_PaneControlTypeId = 50033,
    UIA_TitleBarControlTypeId = 50037,
    UIA_SeparatorControlTypeId = 50038,
};
