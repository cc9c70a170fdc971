// Acting on UI Automation elements without the mouse.
#pragma once

#include "uia/uia_client.h"

// Invoke (legacy 0) or DoDefaultAction (otherwise) on the element, climbing
// to its ancestors: four tries in all. The caller's reference stays intact.
int activate_element(IUIAutomationElement* element, int legacy);
// SelectionItem.Select on the element itself only.
int select_element(IUIAutomationElement* element);
