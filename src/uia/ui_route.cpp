#include "uia/ui_route.h"

#include <string.h>

IUIAutomation* automation = nullptr;
HRESULT automation_status = 0;
UiRoute ui_route = {0, 0, 0, 0, 0, 0};

void start_ui_route(uint64_t deadline)
{
    memset(&ui_route, 0, sizeof ui_route);
    ui_route.call_deadline = deadline;
    ui_route.run_end = deadline;
}
