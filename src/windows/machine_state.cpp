// Judging what the system said about the launcher and the session (see
// machine_state.h); the questions themselves are in system_queries.cpp.
#include "windows/machine_state.h"

enum { ELEVATION_TYPE_FULL = 2 };

// QUERY_USER_NOTIFICATION_STATE's values; older headers lack the last two.
enum {
    QUNS_NOT_PRESENT_STATE = 1,
    QUNS_BUSY_STATE = 2,
    QUNS_D3D_FULL_SCREEN_STATE = 3,
    QUNS_PRESENTATION_MODE_STATE = 4,
    QUNS_ACCEPTS_NOTIFICATIONS_STATE = 5,
    QUNS_QUIET_TIME_STATE = 6,
    QUNS_APP_STATE = 7,
};

static int token_elevated(const TokenLevel* token)
{
    return token->elevated == 1 || token->elevation_type == ELEVATION_TYPE_FULL;
}

int window_elevated_above_tool(HWND window)
{
    DWORD process_id = 0;
    if (!window || !GetWindowThreadProcessId(window, &process_id) || !process_id)
        return 0;
    return machine.launcher_elevation(process_id) == ELEVATION_ABOVE;
}

int elevation_against(const TokenLevel* launcher, const TokenLevel* tool)
{
    if (!launcher->read || !tool->read)
        return ELEVATION_UNKNOWN;
    if (launcher->integrity && tool->integrity && launcher->integrity != tool->integrity)
        return launcher->integrity > tool->integrity ? ELEVATION_ABOVE : ELEVATION_NOT_ABOVE;
    // The same level, or one unread: elevation tells them apart (under Wine
    // 10 an elevated and a limited process both read high).
    return token_elevated(launcher) && !token_elevated(tool) ? ELEVATION_ABOVE : ELEVATION_NOT_ABOVE;
}

int activity_of_notification_state(int state)
{
    switch (state) {
    case QUNS_NOT_PRESENT_STATE:
        return ACTIVITY_NOT_PRESENT;
    case QUNS_BUSY_STATE:
        return ACTIVITY_BUSY;
    case QUNS_D3D_FULL_SCREEN_STATE:
        return ACTIVITY_FULL_SCREEN;
    case QUNS_PRESENTATION_MODE_STATE:
        return ACTIVITY_PRESENTATION;
    case QUNS_ACCEPTS_NOTIFICATIONS_STATE:
    case QUNS_QUIET_TIME_STATE:
    case QUNS_APP_STATE:
        return ACTIVITY_FREE;
    }
    return ACTIVITY_UNKNOWN;
}

int session_presence_of(const SessionAnswers* answers)
{
    const int WTS_ACTIVE = 0, WTS_LOCKED = 0, WTS_UNLOCKED = 1;
    int away = (answers->connect_state != ANSWER_UNKNOWN && answers->connect_state != WTS_ACTIVE) ||
               answers->lock_state == WTS_LOCKED || answers->input_desktop == 0;
    if (away)
        return SESSION_AWAY;
    int present = answers->connect_state == WTS_ACTIVE || answers->lock_state == WTS_UNLOCKED ||
                  answers->input_desktop == 1;
    return present ? SESSION_PRESENT : SESSION_UNKNOWN;
}
