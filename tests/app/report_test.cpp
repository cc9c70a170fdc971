// Report lines and their UTF-8 fields.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <sys/stat.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/report.h"
#include "app/state_report.h"
#include "diag/dump.h"
#include "support/child_process.h"
#include "support/simulated_launcher.h"
#include "uia/classify.h"

namespace {

TEST(ToUtf8, LineBreaksBecomeBlanks)
{
    EXPECT_STREQ("Minecraft  Launcher x", to_utf8(L"Minecraft\r\nLauncher\nx"));
}

TEST(ToUtf8, NonAsciiComesOutAsUtf8Bytes)
{
    EXPECT_STREQ("\xC3\x9F", to_utf8(L"\u00DF"));
    EXPECT_STREQ("\xD0\xB8\xD0\xB3\xD1\x80\xD0\xB0\xD1\x82\xD1\x8C", to_utf8(L"\u0438\u0433\u0440\u0430\u0442\u044C"));
    EXPECT_STREQ("\xF0\x9F\x98\x80", to_utf8(L"\U0001F600"));
}

TEST(ToUtf8, TooLongComesOutEmptyNotCut)
{
    std::wstring fits(1023, L'a');           // 1023 bytes and the terminator
    EXPECT_EQ(1023u, strlen(to_utf8(fits.c_str())));
    std::wstring over(1024, L'a');
    EXPECT_STREQ("", to_utf8(over.c_str()));
    std::wstring two_byte(512, L'\u00E9');  // 1024 bytes and the terminator
    EXPECT_STREQ("", to_utf8(two_byte.c_str()));
}

TEST(ToUtf8, FourBuffersRotate)
{
    const char* first = to_utf8(L"one");
    const char* second = to_utf8(L"two");
    const char* third = to_utf8(L"three");
    const char* fourth = to_utf8(L"four");
    EXPECT_STREQ("one", first);  // still valid after three more calls
    EXPECT_TRUE(first != second && second != third && third != fourth && first != fourth);
    const char* fifth = to_utf8(L"five");
    EXPECT_EQ(first, fifth);
    EXPECT_STREQ("five", first);
    EXPECT_STREQ("four", fourth);
}

TEST(ToUtf8, NullIsEmpty)
{
    EXPECT_STREQ("", to_utf8(nullptr));
}

std::vector<std::string> hooked;
void collect(const char* line)
{
    hooked.push_back(line);
}

TEST(Report, HookReceivesWholeFormattedLines)
{
    hooked.clear();
    report_hook = collect;
    report("WINDOW %ld %ld %ld %ld %s", -5L, 10L, 300L, 200L, to_utf8(L"T\u00DF"));
    report("GAME %lu", 4294967295UL);
    report("LOOKED button %ld %ld %ld %ld colour %06x icon %s", 1L, 2L, 3L, 4L, 0x27873eu, "yes");
    report_hook = nullptr;
    ASSERT_EQ(3u, hooked.size());
    EXPECT_EQ("WINDOW -5 10 300 200 T\xC3\x9F", hooked[0]);
    EXPECT_EQ("GAME 4294967295", hooked[1]);
    EXPECT_EQ("LOOKED button 1 2 3 4 colour 27873e icon yes", hooked[2]);
}

// A caller parses the STATE lines: each cause has its word, and a run names
// it once, when first seen, however often it is seen again.
TEST(Report, StateLinesNameEachCauseOncePerRun)
{
    const char* const words[] = {"launcher-elevated", "launcher-cloaked", "launcher-hidden",
                                 "session-not-present", "full-screen", "presentation",
                                 "busy", "foreground-refused", "high-contrast"};
    ASSERT_EQ((int)(sizeof words / sizeof words[0]), (int)CAUSE_COUNT);
    hooked.clear();
    report_hook = collect;
    StateReports run = {0}, next_run = {0};
    for (int cause = 0; cause < CAUSE_COUNT; cause++)
        EXPECT_EQ(1, report_state(&run, cause) + report_state(&run, cause)) << words[cause];
    EXPECT_EQ(0, report_state(&run, CAUSE_COUNT) + report_state(&run, -1));
    EXPECT_EQ(1, report_state(&next_run, CAUSE_HIGH_CONTRAST));
    report_hook = nullptr;
    ASSERT_EQ((size_t)CAUSE_COUNT + 1, hooked.size());
    for (int cause = 0; cause < CAUSE_COUNT; cause++)
        EXPECT_EQ(std::string("STATE ") + words[cause], hooked[(size_t)cause]);
    EXPECT_EQ("STATE high-contrast", hooked.back());
}

// What a file behind stdout holds right after one report line, with stdout
// fully buffered (as a pipe to the caller is on Windows) and already holding
// `filler` bytes.
std::string bytes_after_one_line(size_t filler)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    std::wstring path = std::wstring(folder) + L"kv6-report-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    fflush(stdout);
    int saved = _dup(_fileno(stdout));
    int file = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT, _S_IREAD | _S_IWRITE);
    if (file < 0)
        return "cannot open " + narrow(path);
    _dup2(file, _fileno(stdout));
    _close(file);
    static char buffer[64];
    setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    std::string before(filler, 'x');
    fwrite(before.data(), 1, before.size(), stdout);

    report_hook = nullptr;
    report("NOTFOUND");
    std::string arrived = read_file_bytes(path);  // before anything else flushes

    _dup2(saved, _fileno(stdout));
    _close(saved);
    setvbuf(stdout, nullptr, _IONBF, 0);
    DeleteFileW(path.c_str());
    return arrived;
}

// A line held back in the buffer would reach the caller only when the tool
// ends. Wine's runtime writes out its buffer at a line feed, but not when the
// line feed is the first byte of a new buffer: the row that fills the buffer
// up to the line feed is the one that shows a missing flush under Wine.
TEST(Report, LineLeavesTheProcessAtOnceThroughAFullBuffer)
{
    const size_t fillers[] = {0, 40, 55, 56, 57, 63};  // the buffer holds 64; "NOTFOUND" is 8
    for (size_t filler : fillers)
        EXPECT_EQ(std::string(filler, 'x') + "NOTFOUND\r\n", bytes_after_one_line(filler)) << filler;
}

// --- where a text field is cut ----------------------------------------------------

// UTF-16 units of a UTF-8 field.
size_t units_of(const std::string& utf8)
{
    return (size_t)MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), (int)utf8.size(), nullptr, 0);
}

// The text between a line's first quotation mark and the next.
std::string quoted_field(const std::string& line)
{
    size_t open = line.find('"');
    size_t close = open == std::string::npos ? open : line.find('"', open + 1);
    return close == std::string::npos ? "(no quoted field in \"" + line + "\")" : line.substr(open + 1, close - open - 1);
}

// The first line of a run of the tool that starts with `prefix`.
std::string tool_line(const std::vector<std::wstring>& arguments, const std::string& prefix)
{
    for (const std::string& line : output_lines(run_tool_exe(arguments).output))
        if (line.compare(0, prefix.size(), prefix) == 0)
            return line;
    return "(no " + prefix + "line)";
}

// The title as the tool prints it for a launcher with that title.
std::string printed_title(const std::wstring& title, const wchar_t* command)
{
    SimulatedLauncher launcher{};
    if (!start_launcher(&launcher, {L"--title", title}))
        return "(no launcher)";
    std::string line = tool_line({command, L"--timeout", L"1"}, "WINDOW ");
    stop_launcher(&launcher);
    int title_at = 0;  // after find's four numbers; dump quotes it
    sscanf(line.c_str(), "WINDOW %*d %*d %*d %*d %n", &title_at);
    return !wcscmp(command, L"dump") ? quoted_field(line) : line.substr((size_t)title_at);
}

// A child window's text as dump's CHILD line prints it.
std::string printed_child_text(const std::wstring& text)
{
    HWND parent = CreateWindowExW(0, L"STATIC", L"parent", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    HWND child = CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD, 0, 0, 50, 20, parent, nullptr, nullptr, nullptr);
    hooked.clear();
    report_hook = collect;
    print_child_window(child, 0);
    report_hook = nullptr;
    DestroyWindow(parent);
    return hooked.size() == 1 ? quoted_field(hooked[0]) : "(no CHILD line)";
}

// A name as a scan keeps it for POPUP closed with NAME and SCAN's pick.
std::string printed_scan_name(const std::wstring& name)
{
    ElementSlot slot = {};
    store_slot(&slot, nullptr, RECT{0, 0, 10, 10}, UIA_ButtonControlTypeId, name.c_str());
    return to_utf8(slot.name);
}

// Every text field is cut where the calling page says; past 1,023 UTF-8
// bytes, a field is printed empty.
TEST(Report, TextFieldsAreCutWhereTheDocsSay)
{
    const std::wstring accents(300, L'\u00E9');  // 2 UTF-8 bytes a unit
    auto unknown_command = [](const std::wstring& t) { return tool_line({t}, "ERROR unknown command ").substr(22); };
    struct Row {
        const char* what;
        std::wstring given;
        size_t kept_units;
        std::function<std::string(const std::wstring&)> printed;
    } rows[] = {
        {"WINDOW title (press, find)", accents, 255, [](const std::wstring& t) { return printed_title(t, L"find"); }},
        {"WINDOW title (dump)", accents, 255, [](const std::wstring& t) { return printed_title(t, L"dump"); }},
        {"CHILD text (dump)", accents, 127, printed_child_text},
        {"POPUP closed with NAME, SCAN's pick", accents, 95, printed_scan_name},
        {"ERROR unknown command WORD: 1,023 bytes, whole", std::wstring(1023, L'a'), 1023, unknown_command},
        {"ERROR unknown command WORD: 1,024 bytes, empty", std::wstring(1024, L'a'), 0, unknown_command},
    };
    for (const Row& row : rows) {
        std::string field = row.printed(row.given);
        EXPECT_EQ(row.kept_units, units_of(field)) << row.what << ": " << field;
        EXPECT_EQ(0, narrow(row.given).compare(0, field.size(), field)) << row.what << ": not its start";
    }
}

}  // namespace
