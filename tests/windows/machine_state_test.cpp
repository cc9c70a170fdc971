// Judging what the system says about the launcher and the session: the
// answers of a real Windows, of Wine 10 and of Wine 8, as plain data.
#include <gtest/gtest.h>

#include "windows/machine_state.h"

namespace {

TEST(MachineState, ElevationComparesIntegrityThenElevation)
{
    const TokenLevel windows_admin = {1, 0x3000, 1, 2}, windows_user = {1, 0x2000, 0, 3};
    const TokenLevel wine10_admin = {1, 0x3000, 1, 2}, wine10_user = {1, 0x3000, 0, 3};
    const TokenLevel wine8_any = {1, 0x3000, 1, 2}, unread = {0, 0, 0, 0};
    const TokenLevel label_only_high = {1, 0x3000, 0, 0}, uac_off_admin = {1, 0x3000, 0, 1};
    struct Row {
        const char* what;
        TokenLevel launcher, tool;
        int elevation;
    } rows[] = {
        {"Windows: run as administrator, the tool as the user", windows_admin, windows_user, ELEVATION_ABOVE},
        {"Windows: both the user's", windows_user, windows_user, ELEVATION_NOT_ABOVE},
        {"Windows: the tool elevated, the launcher not", windows_user, windows_admin, ELEVATION_NOT_ABOVE},
        {"Wine 10: both read high, only the launcher elevated", wine10_admin, wine10_user, ELEVATION_ABOVE},
        {"Wine 8: every program elevated", wine8_any, wine8_any, ELEVATION_NOT_ABOVE},
        {"only the labels read: high over medium", label_only_high, windows_user, ELEVATION_ABOVE},
        {"UAC off: an administrator's process is not elevated", uac_off_admin, uac_off_admin, ELEVATION_NOT_ABOVE},
        {"the launcher's token unread", unread, windows_user, ELEVATION_UNKNOWN},
        {"the tool's token unread", windows_admin, unread, ELEVATION_UNKNOWN},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.elevation, elevation_against(&row.launcher, &row.tool)) << row.what;
}

TEST(MachineState, NotificationStatesAndSessionAnswers)
{
    const int activities[][2] = {{1, ACTIVITY_NOT_PRESENT}, {2, ACTIVITY_BUSY},        {3, ACTIVITY_FULL_SCREEN},
                                 {4, ACTIVITY_PRESENTATION}, {5, ACTIVITY_FREE},       {6, ACTIVITY_FREE},
                                 {7, ACTIVITY_FREE},         {0, ACTIVITY_UNKNOWN},    {8, ACTIVITY_UNKNOWN}};
    for (const auto& row : activities)
        EXPECT_EQ(row[1], activity_of_notification_state(row[0])) << "QUNS " << row[0];

    const int U = ANSWER_UNKNOWN;
    struct Row {
        const char* what;
        SessionAnswers answers;
        int presence;
    } rows[] = {
        {"at the desktop", {0, 1, 1}, SESSION_PRESENT},
        {"locked", {0, 0, U}, SESSION_AWAY},
        {"a UAC prompt: the secure desktop takes input", {0, 1, 0}, SESSION_AWAY},
        {"switched away from (fast user switching)", {4, 1, 1}, SESSION_AWAY},
        {"connected but not at the screen", {1, U, U}, SESSION_AWAY},
        {"no session service, our desktop takes input", {U, U, 1}, SESSION_PRESENT},
        {"nothing answered", {U, U, U}, SESSION_UNKNOWN},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.presence, session_presence_of(&row.answers)) << row.what;
}

}  // namespace
