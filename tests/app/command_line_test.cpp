// The command line: the options walk in-process, and the real exe for what
// only the whole program shows (usage, unknown commands, odd input).
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "app/dispatch.h"
#include "app/settings.h"
#include "diag/diagnosis.h"
#include "support/child_process.h"
#include "uia/normalize.h"

namespace {

struct OptionsRun {
    CommandOptions options;
    std::wstring profile;
    std::wstring front;
    int hide;
};

// Runs the options walk on "KestrovV6-Play.exe <words...>" from fresh settings.
OptionsRun walk(std::vector<std::wstring> words)
{
    wcscpy(profile_name, L"Kestrov V6");
    front_title[0] = 0;
    hide_mode = 0;
    std::vector<std::wstring> storage{L"KestrovV6-Play.exe"};
    storage.insert(storage.end(), words.begin(), words.end());
    std::vector<wchar_t*> argv;
    for (std::wstring& word : storage)
        argv.push_back(&word[0]);
    OptionsRun run;
    read_options((int)argv.size(), argv.data(), &run.options);
    run.profile = profile_name;
    run.front = front_title;
    run.hide = hide_mode;
    hide_mode = 0;
    return run;
}

TEST(OptionsWalk, TimeoutValuesReachTheDriverLimited)
{
    struct Case {
        const wchar_t* value;
        int driver_seconds;
    } cases[] = {
        {L"0", 1}, {L"5000", 900}, {L"abc", 1}, {L"-3", 1}, {L"30s", 30}, {L"  45", 45},
        {L"900", 900}, {L"901", 900}, {L"1", 1}, {L"+7", 7},
    };
    for (const Case& c : cases) {
        OptionsRun run = walk({L"press", L"--timeout", c.value});
        EXPECT_EQ(c.driver_seconds, limit_timeout(run.options.timeout_seconds)) << narrow(c.value);
    }
    EXPECT_EQ(90, limit_timeout(walk({L"press"}).options.timeout_seconds));
    EXPECT_EQ(90, limit_timeout(walk({L"press", L"--timeout"}).options.timeout_seconds));
}

TEST(OptionsWalk, ValueOptionAsLastArgumentIsIgnored)
{
    OptionsRun run = walk({L"press", L"--profile"});
    EXPECT_EQ(L"Kestrov V6", run.profile);
    run = walk({L"press", L"--front"});
    EXPECT_EQ(L"", run.front);
    EXPECT_EQ(nullptr, walk({L"dump", L"--shot"}).options.shot);
    EXPECT_EQ(nullptr, walk({L"find", L"--diagnose"}).options.diagnose);
    EXPECT_STREQ(L"d.txt", walk({L"find", L"--diagnose", L"d.txt"}).options.diagnose);
}

// A diagnosis file's command line is read back by a script: quotes keep
// blanks, quotes and empty words.
TEST(OptionsWalk, DiagnosisCommandWordsAreQuotedWhereNeeded)
{
    const char* const cases[][2] = {
        {"find", "find"}, {"Other Profile", "\"Other Profile\""}, {"", "\"\""},
        {"a\"b", "\"a\"\"b\""}, {"Ünïcode", "Ünïcode"},
    };
    for (const auto& c : cases) {
        char out[64] = "";
        EXPECT_EQ(1, append_command_word(out, sizeof out, c[0]));
        EXPECT_STREQ(c[1], out) << c[0];
    }
    char small[8] = "find";
    EXPECT_EQ(0, append_command_word(small, sizeof small, "--timeout"));
    EXPECT_STREQ("find", small);
}

// The diagnosis records the command as the tool reads it (one reading, the
// options walk's): it leaves out only the --diagnose options the walk took,
// with their files.
TEST(OptionsWalk, DiagnosisRecordsTheCommandAsTheWalkReadsIt)
{
    struct Row {
        std::vector<std::wstring> words;
        const char* recorded;
        const wchar_t* file;  // what the walk took as the diagnosis's file
    };
    const Row rows[] = {
        {{L"press", L"--profile", L"--diagnose", L"--diagnose", L"f"}, "press --profile --diagnose", L"f"},
        {{L"find", L"--front", L"--diagnose", L"--timeout", L"5", L"--diagnose", L"f"},
         "find --front --diagnose --timeout 5", L"f"},
        {{L"find", L"--diagnose", L"a", L"--hide", L"--diagnose", L"b"}, "find --hide", L"b"},
        {{L"find", L"--diagnose", L"--hide", L"x"}, "find x", L"--hide"},
        {{L"find", L"--shot", L"--diagnose", L"f"}, "find --shot --diagnose f", nullptr},
        {{L"find", L"--timeout", L"3", L"--diagnose"}, "find --timeout 3 --diagnose", nullptr},
    };
    for (const Row& row : rows) {
        std::vector<std::wstring> storage{L"KestrovV6-Play.exe"};
        storage.insert(storage.end(), row.words.begin(), row.words.end());
        std::vector<wchar_t*> argv;
        for (std::wstring& word : storage)
            argv.push_back(&word[0]);
        char line[4096];
        char note_bytes[256];
        DiagnosisText notes;
        start_diagnosis_text(&notes, note_bytes, sizeof note_bytes, "#cut");
        record_command((int)argv.size(), argv.data(), line, sizeof line, &notes);
        EXPECT_STREQ(row.recorded, line);
        EXPECT_EQ(0u, notes.length) << line;
        const wchar_t* file = walk(row.words).options.diagnose;
        EXPECT_EQ(row.file ? narrow(row.file) : "(none)", file ? narrow(file) : "(none)") << row.recorded;
    }
}

// A word too long for a field goes in cut at a character's end, and a note
// says which word it was and how long; words that do not fit the line are
// left out from there, with a note.
TEST(OptionsWalk, DiagnosisCutsALongWordWithANote)
{
    struct Row {
        const char* what;
        std::vector<std::wstring> words;  // after "find"
        std::string recorded;
        std::string notes;
    };
    std::string e_kept;
    for (int i = 0; i < 511; i++)
        e_kept += "\xC3\xA9";
    const std::string a(1023, 'a'), b(1023, 'b'), c(1023, 'c');
    const Row rows[] = {
        {"1,023 bytes fit", {std::wstring(1023, L'a')}, "find " + a, ""},
        {"1,024 are cut", {std::wstring(1024, L'a')}, "find " + a,
         "# word 2 of the command was cut: 1023 of its 1024 UTF-8 bytes are kept\r\n"},
        {"two-byte characters", {L"--profile", std::wstring(600, L'\u00E9')}, "find --profile " + e_kept,
         "# word 3 of the command was cut: 1022 of its 1200 UTF-8 bytes are kept\r\n"},
        {"line breaks and a lone surrogate", {L"a\r\nb\xD800"}, "find \"a  b\xEF\xBF\xBD\"", ""},
        {"words beyond the line",
         {std::wstring(1023, L'a'), std::wstring(1023, L'b'), std::wstring(1023, L'c'), std::wstring(1023, L'd'),
          L"--hide"},
         "find " + a + " " + b + " " + c,
         "# the command's words from word 5 on were left out: the line keeps 4095 bytes\r\n"},
    };
    for (const Row& row : rows) {
        std::vector<std::wstring> storage{L"KestrovV6-Play.exe", L"find"};
        storage.insert(storage.end(), row.words.begin(), row.words.end());
        std::vector<wchar_t*> argv;
        for (std::wstring& word : storage)
            argv.push_back(&word[0]);
        char line[4096];
        char note_bytes[1024];
        DiagnosisText notes;
        start_diagnosis_text(&notes, note_bytes, sizeof note_bytes, "#cut");
        record_command((int)argv.size(), argv.data(), line, sizeof line, &notes);
        EXPECT_EQ(row.recorded, std::string(line)) << row.what;
        EXPECT_EQ(row.notes, std::string(notes.bytes, notes.length)) << row.what;
    }
}

// A diagnosis's text that fills up ends where it was cut, with its note:
// a line left out of the middle would hang the lines after it under the
// wrong element. 40 bytes hold 33 of lines, with the note's 6 and the end.
TEST(DiagnosisText, EndsWhereItWasCutWithItsNote)
{
    struct Row {
        const char* what;
        std::vector<std::string> lines;
        const char* text;
    };
    const std::string ten = "0123456789";
    const Row rows[] = {
        {"all fit", {"a", "b"}, "a\r\nb\r\n"},
        {"the last one fits with room for the note", {ten, ten, "1234567"},
         "0123456789\r\n0123456789\r\n1234567\r\n"},
        {"one byte more is cut", {ten, ten, "12345678"}, "0123456789\r\n0123456789\r\n#cut\r\n"},
        {"nothing after the cut, however short", {ten, ten, ten, "x", ""}, "0123456789\r\n0123456789\r\n#cut\r\n"},
        {"a first line too long", {std::string(40, 'y'), "x"}, "#cut\r\n"},
    };
    for (const Row& row : rows) {
        char bytes[40];
        DiagnosisText text;
        start_diagnosis_text(&text, bytes, sizeof bytes, "#cut");
        for (const std::string& line : row.lines)
            append_diagnosis_line(&text, "", line.c_str());
        EXPECT_EQ(std::string(row.text), std::string(text.bytes, text.length)) << row.what;
        EXPECT_EQ(strlen(row.text), strlen(bytes)) << row.what;
    }
    char bytes[40];
    DiagnosisText text;
    start_diagnosis_text(&text, bytes, sizeof bytes, "#cut");
    EXPECT_EQ(1, append_diagnosis_line(&text, "#> 12 ", "WINDOW"));
    EXPECT_EQ(0, append_diagnosis_line(&text, "#> 13 ", "a line with its prefix too long"));
    EXPECT_STREQ("#> 12 WINDOW\r\n#cut\r\n", bytes);
}

TEST(OptionsWalk, ValueOptionTakesTheNextWordWhateverItHolds)
{
    OptionsRun run = walk({L"press", L"--profile", L"--hide"});
    EXPECT_EQ(L"--hide", run.profile);
    EXPECT_EQ(0, run.hide);
    // "5" is then a stray value; the walk goes on after it.
    run = walk({L"press", L"--front", L"--timeout", L"5", L"--timeout", L"7"});
    EXPECT_EQ(L"--timeout", run.front);
    EXPECT_EQ(7, run.options.timeout_seconds);
}

TEST(OptionsWalk, LongValuesKeepTheirFirst127Characters)
{
    std::wstring long_value(200, L'p');
    long_value[126] = L'x';
    long_value[127] = L'y';
    OptionsRun run = walk({L"press", L"--profile", long_value, L"--front", long_value});
    EXPECT_EQ(long_value.substr(0, 127), run.profile);
    EXPECT_EQ(long_value.substr(0, 127), run.front);
}

TEST(OptionsWalk, StrayWordsAreSkippedAndTheLastRepeatWins)
{
    OptionsRun run = walk({L"press", L"stray", L"--profile", L"A", L"--Hide", L"--profile", L"B",
                           L"--hide", L"--shot", L"x.bmp", L"--timeout", L"3", L"--timeout", L"4"});
    EXPECT_EQ(L"B", run.profile);
    EXPECT_EQ(1, run.hide);
    EXPECT_EQ(4, run.options.timeout_seconds);
    ASSERT_NE(nullptr, run.options.shot);
    EXPECT_STREQ(L"x.bmp", run.options.shot);
}

TEST(OptionsWalk, ProfilePatternIsTheNormalForm)
{
    wchar_t pattern[SETTING_TEXT_CAPACITY];
    normalize_text(L"  ~Kestrov   V6!! ", pattern, SETTING_TEXT_CAPACITY);
    EXPECT_STREQ(L"kestrov v6", pattern);
    normalize_text(L"*** ---", pattern, SETTING_TEXT_CAPACITY);
    EXPECT_STREQ(L"", pattern);
}

// --- the real exe ------------------------------------------------------------

std::vector<std::string> lines_of(const ChildResult& result)
{
    return output_lines(result.output);
}

TEST(CommandLine, NoArgumentsGivesOnlyTheUsageLine)
{
    ChildResult result = run_tool_exe({});
    EXPECT_EQ(1, result.exit_code);
    EXPECT_EQ("Usage: KestrovV6-Play.exe press|find|minimize|show|dump [--profile NAME] "
              "[--timeout SECONDS] [--hide] [--front TITLE] [--shot FILE.bmp]\r\n",
              result.output);
}

TEST(CommandLine, UnknownCommandsAreRefusedWithTheirName)
{
    struct Case {
        std::vector<std::wstring> arguments;
        std::string line;
    } cases[] = {
        {{L"Press"}, "ERROR unknown command Press"},
        {{L"--hide", L"press"}, "ERROR unknown command --hide"},
        {{L"MINIMIZE"}, "ERROR unknown command MINIMIZE"},
        {{L""}, "ERROR unknown command "},
        {{L"spiel\u00DF", L"--shot"}, "ERROR unknown command spiel\xC3\x9F"},
        {{L"two\nlines"}, "ERROR unknown command two lines"},
    };
    for (const Case& c : cases) {
        ChildResult result = run_tool_exe(c.arguments);
        EXPECT_EQ(1, result.exit_code) << c.line;
        EXPECT_EQ(std::vector<std::string>{c.line}, lines_of(result));
    }
}

TEST(CommandLine, CloseWorksAlthoughTheUsageLineOmitsIt)
{
    ChildResult result = run_tool_exe({L"close", L"--shot", L"ignored.bmp"});
    EXPECT_EQ(0, result.exit_code);
    EXPECT_EQ(std::vector<std::string>{"CLOSED 0"}, lines_of(result));
}

TEST(CommandLine, LinesEndInCarriageReturnAndLineFeed)
{
    ChildResult result = run_tool_exe({L"show"});
    EXPECT_EQ("SHOWN 0\r\n", result.output);
}

// The real run records its command as read, cut words noted, into the
// diagnosis's head; no launcher window: no client line.
TEST(CommandLine, DiagnosisHeadHoldsTheCommandAsTheToolReadIt)
{
    std::wstring file = build_path(L"command_line_test.diagnosis");
    DeleteFileW(file.c_str());
    ChildResult result = run_tool_exe({L"find", L"--timeout", L"1", L"--profile", std::wstring(1100, L'p'),
                                       L"--front", L"--diagnose", L"--diagnose", file});
    EXPECT_EQ(2, result.exit_code);
    std::vector<std::string> expected{"WAITING window", "DIAGNOSIS " + narrow(file), "NOTFOUND"};
    EXPECT_EQ(expected, lines_of(result));
    std::string text = read_file_bytes(file);
    DeleteFileW(file.c_str());
    std::string head = "\r\n#> command find --timeout 1 --profile " + std::string(1023, 'p') +
                       " --front --diagnose\r\n# word 5 of the command was cut: 1023 of its 1100 UTF-8 bytes are "
                       "kept\r\n#> ";
    EXPECT_NE(std::string::npos, text.find(head)) << text.substr(0, 1500);
    EXPECT_EQ(std::string::npos, text.find("#> client")) << text.substr(0, 1500);
}

// Odd argument lists: always the specified line and code, never a crash or hang.
TEST(CommandLine, OddArgumentListsNeverCrash)
{
    std::wstring huge(10000, L'\u00E9');
    std::vector<std::vector<std::wstring>> lists = {
        {L"minimize", L"--profile"},
        {L"show", L"--timeout", L"99999999999999999999"},
        {L"close", L"", L"", L"--front", L""},
        {L"minimize", huge, L"--profile", huge},
        {L"show", L"--profile", L"\U0001F600\u200B\u0301", L"--hide", L"--hide"},
        {L"close", L"--timeout", L"-2147483648", L"--shot"},
    };
    for (const auto& list : lists) {
        ChildResult result = run_tool_exe(list, 20000);
        EXPECT_EQ(0, result.exit_code);
        ASSERT_EQ(1u, lines_of(result).size()) << result.output;
    }
    ChildResult result = run_tool_exe({huge}, 20000);
    EXPECT_EQ(1, result.exit_code);
    // Over 1024 UTF-8 bytes: the command comes out as an empty field.
    EXPECT_EQ(std::vector<std::string>{"ERROR unknown command "}, lines_of(result));
}

}  // namespace
