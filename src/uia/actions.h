// Acting on UI Automation elements without the mouse.
#pragma once

#include "uia/uia_client.h"

// Invoke (legacy 0) or DoDefaultAction (otherwise) on the element, climbing
// to its ancestors: four tries in all. The caller's reference stays intact,
// and is not needed once the call has begun: it takes one of its own.
int activate_element(IUIAutomationElement* element, int legacy);
// SelectionItem.Select on the element itself only; like activation, it holds
// a reference of its own while it acts.
int select_element(IUIAutomationElement* element);
