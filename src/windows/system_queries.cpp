// The product's answers to machine_state.h's questions: what Windows says.
// Every function newer than the oldest Windows the tool runs on, or in a
// library the tool does not link (dwmapi, wtsapi32, shell32), is looked up
// at run time; without it the answer is unknown.
#include "windows/machine_state.h"

#include <stddef.h>
#include <string.h>
#include <wchar.h>

#include "windows/hidden_launcher.h"

enum {
    DWM_CLOAKED_ATTRIBUTE = 14,      // DWMWA_CLOAKED
    SESSION_CONNECT_STATE = 8,       // WTSConnectState
    SESSION_INFO_EX = 25,            // WTSSessionInfoEx
    DESKTOP_NAME_CAPACITY = 128,
    TOKEN_LABEL_BYTES = 128,         // a TOKEN_MANDATORY_LABEL and its SID
};

// The head of WTSINFOEXW at level 1, as far as the tool reads it: its
// union holds LARGE_INTEGERs, so it starts 8 bytes in.
struct SessionInfoLevel1Head {
    ULONG session_id;
    int session_state;
    LONG session_flags;  // WTS_SESSIONSTATE_LOCK 0, UNLOCK 1 (reversed on Windows 7)
    WCHAR names[33 + 21 + 18];
    LARGE_INTEGER logon_time;
};
struct SessionInfoHead {
    DWORD level;
    SessionInfoLevel1Head level1;
};

typedef HRESULT(WINAPI* WindowAttributeCall)(HWND, DWORD, void*, DWORD);
typedef BOOL(WINAPI* SessionQueryCall)(HANDLE, DWORD, int, LPWSTR*, DWORD*);
typedef void(WINAPI* SessionFreeCall)(void*);
typedef HRESULT(WINAPI* NotificationStateCall)(int*);

template <class Call>
static void look_up(const wchar_t* library, const char* name, Call* call)
{
    // From System32 only; kept loaded for the process's life.
    HMODULE module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    FARPROC found = module ? GetProcAddress(module, name) : nullptr;
    static_assert(sizeof *call == sizeof found, "function pointer sizes differ");
    memcpy(call, &found, sizeof found);
}

static void read_token_level(HANDLE process, TokenLevel* level)
{
    memset(level, 0, sizeof *level);
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return;
    DWORD size = 0;
    TOKEN_ELEVATION elevation;
    memset(&elevation, 0, sizeof elevation);
    if (GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) {
        level->read = 1;
        level->elevated = elevation.TokenIsElevated ? 1 : 0;
    }
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    if (GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size))
        level->elevation_type = (int)type;
    union {
        TOKEN_MANDATORY_LABEL label;
        unsigned char bytes[TOKEN_LABEL_BYTES];
    } label;
    memset(&label, 0, sizeof label);
    if (GetTokenInformation(token, TokenIntegrityLevel, &label, sizeof label, &size) && label.label.Label.Sid &&
        IsValidSid(label.label.Label.Sid)) {
        UCHAR parts = *GetSidSubAuthorityCount(label.label.Label.Sid);
        if (parts > 0) {
            level->integrity = *GetSidSubAuthority(label.label.Label.Sid, parts - 1u);
            level->read = 1;
        }
    }
    CloseHandle(token);
}

static int system_launcher_elevation(DWORD process_id)
{
    // The tool's own rights do not change while it runs.
    static TokenLevel tool;
    static int tool_read = 0;
    if (!tool_read) {
        read_token_level(GetCurrentProcess(), &tool);
        tool_read = 1;
    }
    // Limited information can be had of a process of the same user at any
    // level, and with it the token.
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
    if (!process)
        return ELEVATION_UNKNOWN;
    TokenLevel launcher;
    read_token_level(process, &launcher);
    CloseHandle(process);
    return elevation_against(&launcher, &tool);
}

static int system_window_cloaked(HWND window)
{
    static WindowAttributeCall get_attribute = nullptr;
    static int looked_up = 0;
    if (!looked_up) {
        look_up(L"dwmapi.dll", "DwmGetWindowAttribute", &get_attribute);
        looked_up = 1;
    }
    DWORD cloaked = 0;
    if (!get_attribute || FAILED(get_attribute(window, DWM_CLOAKED_ATTRIBUTE, &cloaked, sizeof cloaked)))
        return ANSWER_UNKNOWN;
    return cloaked ? 1 : 0;
}

// One number the session service gives about this session, or ANSWER_UNKNOWN.
static int session_number(SessionQueryCall query, SessionFreeCall free_memory, int info_class)
{
    LPWSTR buffer = nullptr;
    DWORD bytes = 0;
    const HANDLE this_server = nullptr;
    const DWORD this_session = (DWORD)-1;
    if (!query(this_server, this_session, info_class, &buffer, &bytes) || !buffer)
        return ANSWER_UNKNOWN;
    int value = ANSWER_UNKNOWN;
    if (info_class == SESSION_CONNECT_STATE && bytes >= sizeof(int)) {
        memcpy(&value, buffer, sizeof value);
    } else if (info_class == SESSION_INFO_EX &&
               bytes >= offsetof(SessionInfoHead, level1) + offsetof(SessionInfoLevel1Head, session_flags) +
                            sizeof(LONG)) {
        SessionInfoHead head;
        memset(&head, 0, sizeof head);
        memcpy(&head, buffer, bytes < sizeof head ? bytes : sizeof head);
        const LONG LOCKED = 0, UNLOCKED = 1;
        if (head.level == 1 && (head.level1.session_flags == LOCKED || head.level1.session_flags == UNLOCKED))
            value = (int)head.level1.session_flags;
    }
    free_memory(buffer);
    return value;
}

// 1 when the tool's desktop takes input, 0 when another does (a user's
// desktop cannot open the secure ones), ANSWER_UNKNOWN.
static int input_desktop_is_ours()
{
    HDESK input = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
    if (!input)
        return GetLastError() == ERROR_ACCESS_DENIED ? 0 : ANSWER_UNKNOWN;
    int answer = ANSWER_UNKNOWN;
    HDESK own = GetThreadDesktop(GetCurrentThreadId());
    wchar_t input_name[DESKTOP_NAME_CAPACITY] = L"";
    wchar_t own_name[DESKTOP_NAME_CAPACITY] = L"";
    DWORD needed = 0;
    if (own && GetUserObjectInformationW(input, UOI_NAME, input_name, sizeof input_name - sizeof(wchar_t), &needed) &&
        GetUserObjectInformationW(own, UOI_NAME, own_name, sizeof own_name - sizeof(wchar_t), &needed))
        answer = _wcsicmp(input_name, own_name) == 0 ? 1 : 0;
    CloseDesktop(input);
    return answer;
}

static int system_session_presence()
{
    static SessionQueryCall query = nullptr;
    static SessionFreeCall free_memory = nullptr;
    static int looked_up = 0;
    if (!looked_up) {
        look_up(L"wtsapi32.dll", "WTSQuerySessionInformationW", &query);
        look_up(L"wtsapi32.dll", "WTSFreeMemory", &free_memory);
        looked_up = 1;
    }
    SessionAnswers answers = {ANSWER_UNKNOWN, ANSWER_UNKNOWN, ANSWER_UNKNOWN};
    if (query && free_memory) {
        answers.connect_state = session_number(query, free_memory, SESSION_CONNECT_STATE);
        answers.lock_state = session_number(query, free_memory, SESSION_INFO_EX);
    }
    answers.input_desktop = input_desktop_is_ours();
    return session_presence_of(&answers);
}

static int system_player_activity()
{
    static NotificationStateCall query = nullptr;
    static int looked_up = 0;
    if (!looked_up) {
        look_up(L"shell32.dll", "SHQueryUserNotificationState", &query);
        looked_up = 1;
    }
    int state = 0;
    if (!query || FAILED(query(&state)))
        return ACTIVITY_UNKNOWN;
    return activity_of_notification_state(state);
}

static int system_high_contrast()
{
    HIGHCONTRASTW contrast;
    memset(&contrast, 0, sizeof contrast);
    contrast.cbSize = sizeof contrast;
    if (!SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0))
        return ANSWER_UNKNOWN;
    return (contrast.dwFlags & HCF_HIGHCONTRASTON) ? 1 : 0;
}

const MachineQueries SYSTEM_QUERIES = {
    system_launcher_elevation, system_window_cloaked, system_session_presence,
    system_player_activity,    system_high_contrast,  SetForegroundWindow,
    hidden_launcher_process,
};

MachineQueries machine = {
    system_launcher_elevation, system_window_cloaked, system_session_presence,
    system_player_activity,    system_high_contrast,  SetForegroundWindow,
    hidden_launcher_process,
};
