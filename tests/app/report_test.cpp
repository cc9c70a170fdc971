// Report lines and their UTF-8 fields.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <sys/stat.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/report.h"
#include "app/state_report.h"
#include "support/child_process.h"

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

}  // namespace
