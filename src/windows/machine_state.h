// What the system says about the launcher and the player's session: whether
// the launcher runs with more rights than the tool, whether its window is
// kept off the screen, whether the player is at this desktop at all, what
// the shell says they are doing, high contrast, and whether the foreground
// was granted. The product asks Windows (system_queries.cpp); tests set each
// state through `machine`, as call_waiter is set for the calls into the
// launcher. A question the system cannot answer gives "unknown", and the
// tool then acts as it did before it asked.
#pragma once

#include <windows.h>

enum { ANSWER_UNKNOWN = -1 };

// The launcher's rights against the tool's. Windows keeps a process from
// posting to, sending input to, restyling or reading the UI of one that
// runs at a higher integrity level (User Interface Privilege Isolation).
enum LauncherElevation {
    ELEVATION_UNKNOWN = ANSWER_UNKNOWN,
    ELEVATION_NOT_ABOVE = 0,
    ELEVATION_ABOVE = 1,
};

// Whether the player is at this session's desktop: only the input desktop
// takes the cursor and keys. Away: locked, a secure desktop (a UAC prompt),
// the screen saver, a session switched away from or disconnected.
enum SessionPresence {
    SESSION_UNKNOWN = ANSWER_UNKNOWN,
    SESSION_AWAY = 0,
    SESSION_PRESENT = 1,
};

// What the shell says the player is doing (SHQueryUserNotificationState).
enum PlayerActivity {
    ACTIVITY_UNKNOWN = ANSWER_UNKNOWN,
    ACTIVITY_FREE = 0,          // accepts notifications (quiet time and an app in front too)
    ACTIVITY_NOT_PRESENT,       // locked, screen saver, fast user switching
    ACTIVITY_BUSY,              // a full-screen application, or presentation settings
    ACTIVITY_FULL_SCREEN,       // a Direct3D full-screen application (a game)
    ACTIVITY_PRESENTATION,      // presentation mode
};

// A process's token as far as it could be read.
struct TokenLevel {
    int read;            // 1 when the token was opened and its elevation read
    DWORD integrity;     // the mandatory label's RID (0x2000 medium, 0x3000 high); 0 unread
    int elevated;        // TokenElevation: 1 elevated
    int elevation_type;  // TokenElevationType: 1 default, 2 full, 3 limited; 0 unread
};

// The seam. Each entry answers one question; `machine` holds the product's
// answers until a test swaps one.
struct MachineQueries {
    // The launcher process's rights against the tool's: a LauncherElevation.
    int (*launcher_elevation)(DWORD process_id);
    // 1 when the system keeps the window off the screen though it is
    // visible (another virtual desktop, suppressed by the shell), 0 when it
    // does not, ANSWER_UNKNOWN.
    int (*window_cloaked)(HWND window);
    // A SessionPresence.
    int (*session_presence)();
    // A PlayerActivity.
    int (*player_activity)();
    // 1 with high contrast on, 0 off, ANSWER_UNKNOWN.
    int (*high_contrast)();
    // SetForegroundWindow: non-zero when Windows granted the foreground.
    BOOL(WINAPI* set_foreground)(HWND window);
    // The id of a launcher process running with none of its windows shown,
    // or 0 (hidden_launcher.h).
    DWORD (*hidden_launcher)();
};

extern MachineQueries machine;
// The product's answers (system_queries.cpp), for a test to put back.
extern const MachineQueries SYSTEM_QUERIES;

// 1 when the process of `window` runs with more rights than the tool
// (machine.launcher_elevation): Windows then keeps its UI and input from the
// tool, which is not a launcher that stopped answering.
int window_elevated_above_tool(HWND window);

// Judging what the system said: plain data in, no system call.

// ELEVATION_ABOVE when the launcher's integrity level is higher than the
// tool's, or the same (Wine 10 gives high to both) while the launcher is
// elevated and the tool is not; ELEVATION_UNKNOWN when either token was not
// read.
int elevation_against(const TokenLevel* launcher, const TokenLevel* tool);

// A QUERY_USER_NOTIFICATION_STATE value as a PlayerActivity.
int activity_of_notification_state(int state);

// What the session's answers say, each ANSWER_UNKNOWN when not given.
struct SessionAnswers {
    int connect_state;  // WTSConnectState: 0 (WTSActive) is the session at the screen
    int lock_state;     // WTSSessionInfoEx's SessionFlags: 0 locked, 1 unlocked
    int input_desktop;  // 1 the tool's desktop takes input, 0 another one does
};
// SESSION_AWAY when any answer says so, SESSION_PRESENT when none does and
// one says present, else SESSION_UNKNOWN.
int session_presence_of(const SessionAnswers* answers);
