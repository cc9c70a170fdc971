// The UI Automation route end to end: the simulated launcher serves each page
// of the kit's corpus (kit/pages) as a UI Automation provider, and the real
// tool runs against it. Each page states its outcomes in "#!" lines; this
// program checks the Wine 10 ones (a client without patterns, IsEnabled and
// IsOffscreen), so it runs under tools/wine10-run. The Chromium pass serves
// the corpus again with the launcher's Chromium habits (--chromium): there
// every page's find must give its Wine 10 outcome, unless a "chromium" line
// states another (a "#" line just above says why), and presses run only
// where a page states one for Chromium. Each pass runs again with the
// launcher's provider slowed on purpose, as on a new or loaded machine, for
// the pages whose verdicts need an absence: a page states one outcome, and
// it must hold at both speeds.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "page.h"
#include "support/child_process.h"
#include "support/simulated_launcher.h"

namespace {

const int DEFAULT_TIMEOUT_S = 15;  // the tool's --timeout unless a page says otherwise
const int MIN_PAGES = 12;
// The tool gets the page's time-out and this many of its passes more, each
// as long as a scan measured here and the driver's wait after it: the
// locate pass's verdicts wait for looks as well as time (two looks, and a
// pass for a tab tried first).
const int EXTRA_PASSES = 3;
const int PASS_WAIT_MS = 500;

// The launcher's provider served as it is, or slowed: every call answered
// late, the first ones later still (a cold process), so that one scan of
// home-en takes 3 s or more, as the slowest client seen on a new machine.
struct Speed {
    const char* name;
    std::vector<std::wstring> launcher_arguments;
};
const Speed SERVED = {"served", {}};
const Speed SLOWED = {"slowed", {L"--answer-late-ms", L"2", L"--cold-answers", L"100,40"}};
const int SLOWED_SCAN_MIN_MS = 3000;

// One "#! COMMAND PLATFORM: LINE; LINE... exit N" line.
struct Expectation {
    std::string command;             // "find" or "press"
    std::string platform;            // "windows", "wine10", "both" or "chromium"
    std::vector<std::string> lines;  // whole report lines that must come, in this order
    int exit_code;
};

struct CorpusPage {
    std::string file;
    std::wstring path;
    int timeout_s;
    std::vector<Expectation> expectations;
    std::vector<std::string> errors;  // "#!" lines that could not be read
    std::vector<std::string> unexplained;  // "chromium" lines without a "#" line just above
};

std::wstring widen(const std::string& text)
{
    int units = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), (int)text.size(), nullptr, 0);
    std::wstring out((size_t)units, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], units);
    return out;
}

// The corpus folder, given at build time as a path of the build machine:
// under Wine a Unix path is reached through drive Z:.
std::wstring pages_folder()
{
    return windows_path(KV6_PAGES_DIR);
}

std::string trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

int read_expectation(const std::string& key, const std::string& value, Expectation* expectation)
{
    size_t blank = key.find(' ');
    if (blank == std::string::npos)
        return 0;
    expectation->command = key.substr(0, blank);
    expectation->platform = trimmed(key.substr(blank + 1));
    if ((expectation->command != "find" && expectation->command != "press") ||
        (expectation->platform != "windows" && expectation->platform != "wine10" &&
         expectation->platform != "both" && expectation->platform != "chromium"))
        return 0;
    size_t exit_at = value.rfind("exit ");
    if (exit_at == std::string::npos || (exit_at > 0 && value[exit_at - 1] != ' '))
        return 0;
    char* end = nullptr;
    expectation->exit_code = (int)strtol(value.c_str() + exit_at + 5, &end, 10);
    if (!end || trimmed(end) != "")
        return 0;
    std::string lines = value.substr(0, exit_at);
    size_t start = 0;
    while (start < lines.size()) {
        size_t semicolon = lines.find(';', start);
        if (semicolon == std::string::npos)
            semicolon = lines.size();
        std::string line = trimmed(lines.substr(start, semicolon - start));
        if (!line.empty())
            expectation->lines.push_back(line);
        start = semicolon + 1;
    }
    return !expectation->lines.empty();
}

CorpusPage read_corpus_page(const std::wstring& folder, const std::wstring& file)
{
    CorpusPage page{narrow(file), folder + L"\\" + file, DEFAULT_TIMEOUT_S, {}, {}, {}};
    std::string previous;
    for (const std::string& line : output_lines(read_file_bytes(page.path))) {
        std::string above = previous;
        previous = line;
        if (line.compare(0, 3, "#! ") != 0)
            continue;
        size_t colon = line.find(':');
        if (colon == std::string::npos) {
            page.errors.push_back(line);
            continue;
        }
        std::string key = trimmed(line.substr(3, colon - 3));
        std::string value = trimmed(line.substr(colon + 1));
        Expectation expectation;
        if (key == "note")
            continue;
        if (key == "timeout")
            page.timeout_s = atoi(value.c_str());
        else if (read_expectation(key, value, &expectation)) {
            page.expectations.push_back(expectation);
            if (expectation.platform == "chromium" && (above.compare(0, 2, "# ") != 0 || above.size() < 8))
                page.unexplained.push_back(line);
        } else
            page.errors.push_back(line);
    }
    return page;
}

// Every *.page file, in name order.
std::vector<CorpusPage> read_corpus()
{
    std::wstring folder = pages_folder();
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*.page").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            files.push_back(found.cFileName);
        while (FindNextFileW(search, &found));
        FindClose(search);
    }
    std::sort(files.begin(), files.end());
    std::vector<CorpusPage> pages;
    for (const std::wstring& file : files)
        pages.push_back(read_corpus_page(folder, file));
    return pages;
}

// The expectations for `command` on `platform` ("both" counts for windows
// and wine10; a platform's own line comes before "both").
std::vector<const Expectation*> stated(const CorpusPage& page, const char* command, const char* platform)
{
    std::vector<const Expectation*> own, both;
    for (const Expectation& e : page.expectations) {
        if (e.command == command && e.platform == platform)
            own.push_back(&e);
        else if (e.command == command && e.platform == "both" && strcmp(platform, "chromium") != 0)
            both.push_back(&e);
    }
    return own.empty() ? both : own;
}

int states(const CorpusPage& page, const char* command, const char* platform)
{
    for (const Expectation& e : page.expectations)
        if (e.command == command && (e.platform == platform || e.platform == "both"))
            return 1;
    return 0;
}

int is_outcome_line(const std::string& line)
{
    for (const char* word : {"FOUND ", "LOGIN", "NOT_SELECTED", "NOTFOUND"}) {
        size_t length = strlen(word);
        if (line.compare(0, length, word) == 0 &&
            (word[length - 1] == ' ' || line.size() == length))
            return 1;
    }
    return 0;
}

std::vector<std::string> outcome_lines(const std::vector<std::string>& lines)
{
    std::vector<std::string> outcomes;
    for (const std::string& line : lines)
        if (is_outcome_line(line))
            outcomes.push_back(line);
    return outcomes;
}

std::string first_outcome(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        if (is_outcome_line(line))
            return line;
    return "(none)";
}

// 1 when `wanted` come in `lines` in this order, each as a whole line.
int comes_in_order(const std::vector<std::string>& wanted, const std::vector<std::string>& lines)
{
    size_t next = 0;
    for (const std::string& line : lines)
        if (next < wanted.size() && line == wanted[next])
            next++;
    return next == wanted.size();
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& line : lines)
        all += "    " + line + "\n";
    return all;
}

std::vector<std::string> lines_starting(const std::vector<std::string>& lines, const char* prefix)
{
    std::vector<std::string> picked;
    for (const std::string& line : lines)
        if (line.compare(0, strlen(prefix), prefix) == 0)
            picked.push_back(line);
    return picked;
}

// 1 when the run gave exactly the expected outcome.
int gives(const Expectation& expected, const std::vector<std::string>& lines, int exit_code)
{
    // No outcome beyond the stated ones: a NOT_SELECTED beside a LOGIN tells
    // the caller something false.
    return first_outcome(expected.lines) == first_outcome(lines) && comes_in_order(expected.lines, lines) &&
           outcome_lines(expected.lines) == outcome_lines(lines) && expected.exit_code == exit_code;
}

std::vector<std::wstring> launcher_arguments(const std::wstring& page, int chromium, const Speed& speed)
{
    std::vector<std::wstring> arguments = {L"--page", page};
    // A player's page (scripts/add-page.sh) brings the picture of their launcher.
    std::wstring picture = page.substr(0, page.size() - 5) + L".bmp";
    if (GetFileAttributesW(picture.c_str()) != INVALID_FILE_ATTRIBUTES)
        arguments.insert(arguments.end(), {L"--background", picture});
    if (chromium)
        arguments.push_back(L"--chromium");
    arguments.insert(arguments.end(), speed.launcher_arguments.begin(), speed.launcher_arguments.end());
    return arguments;
}

// What one scan of home-en costs here at this speed, at most: a whole find
// of it (its first look finds Play beside the profile), measured once per
// program run; slowed, the second of two, when the launcher's cold answers
// are behind it. Served as it is: Chromium's late tree would add its wait.
int scan_cost_ms(const Speed& speed)
{
    static int measured[2] = {-1, -1};
    int& cost = measured[&speed == &SLOWED ? 1 : 0];
    if (cost >= 0)
        return cost;
    SimulatedLauncher launcher;
    if (!start_launcher(&launcher, launcher_arguments(pages_folder() + L"\\home-en.page", 0, speed)))
        return 0;
    for (int find = &speed == &SLOWED ? 0 : 1; find < 2; find++) {
        ULONGLONG start = GetTickCount64();
        run_tool_exe({L"find", L"--timeout", L"60"}, 120000);
        cost = (int)(GetTickCount64() - start);
    }
    stop_launcher(&launcher);
    printf("One scan of home-en (%s): %.1f s at most\n", speed.name, cost / 1000.0);
    fflush(stdout);
    return cost;
}

// 1 when the stated outcome rests on an absence or a timed step of the
// locate pass (another profile, a sign-in page, a target confirmed or found
// in pixels, a suspected pop-up): the verdicts that came or not with the
// client's speed. A plain NOTFOUND rests on nothing being found: a slow
// client cannot find what a fast one did not.
int needs_an_absence(const Expectation& expected)
{
    for (const std::string& line : expected.lines)
        for (const char* word : {"NOT_SELECTED", "LOGIN", "FOUND pixels", "FOUND uia+icon", "POPUP"})
            if (line.compare(0, strlen(word), word) == 0)
                return 1;
    return 0;
}

// Runs the tool once against the launcher serving the page; the run must
// give the stated outcome, else a failure names the page, with what both
// sides printed. A press must have reached the launcher's Play.
void check_run(const CorpusPage& page, const Expectation* expected, int chromium, const Speed& speed)
{
    ASSERT_NE(nullptr, expected) << page.file;
    int timeout_s = page.timeout_s + (EXTRA_PASSES * (scan_cost_ms(speed) + PASS_WAIT_MS) + 999) / 1000;
    SimulatedLauncher launcher;
    ASSERT_TRUE(start_launcher(&launcher, launcher_arguments(page.path, chromium, speed)))
        << page.file << ": the simulated launcher did not show its window";
    ULONGLONG start = GetTickCount64();
    ChildResult result = run_tool_exe({widen(expected->command), L"--timeout", std::to_wstring(timeout_s)},
                                      (DWORD)(timeout_s + 60) * 1000);
    std::vector<std::string> log = launcher_log(&launcher);
    stop_launcher(&launcher);
    printf("%s %s (%s%s, --timeout %d): %.1f s\n", page.file.c_str(), expected->command.c_str(), speed.name,
           chromium ? ", chromium" : "", timeout_s, (GetTickCount64() - start) / 1000.0);
    fflush(stdout);

    std::vector<std::string> lines = output_lines(result.output);
    std::string context = page.file + " " + expected->command + " (" + speed.name +
                          (chromium ? ", chromium" : "") + ", --timeout " + std::to_string(timeout_s) +
                          "): the tool printed\n" + joined(lines) + "  exit code " +
                          std::to_string(result.exit_code) + "\n  the launcher logged\n" + joined(log);
    std::string wanted;
    for (const std::string& line : expected->lines)
        wanted += line + "; ";
    wanted += "exit " + std::to_string(expected->exit_code);
    EXPECT_TRUE(gives(*expected, lines, result.exit_code)) << "wanted\n  " << wanted << "\n" << context;
    if (expected->command == "find") {
        EXPECT_TRUE(lines_starting(log, "VIA ").empty()) << "find acted on the launcher\n" << context;
    } else if (expected->exit_code == 0) {
        EXPECT_FALSE(lines_starting(log, "ACTION start-java").empty()) << "Play was not pressed\n" << context;
    }
}

// The one stated outcome for the command on the platform (chromium falls
// back on the Wine 10 one for find), or null.
const Expectation* outcome_for(const CorpusPage& page, const char* command, int chromium)
{
    std::vector<const Expectation*> lines = stated(page, command, chromium ? "chromium" : "wine10");
    if (lines.empty() && chromium && strcmp(command, "find") == 0)
        lines = stated(page, command, "wine10");
    return lines.empty() ? nullptr : lines[0];
}

// Every page; slowed, the pages with an outcome that needs an absence (find
// and press both: the press goes through the same passes), and home-en's
// find, the page the speed is measured on.
void run_corpus(int chromium, const Speed& speed)
{
    if (&speed == &SLOWED) {
        EXPECT_GE(scan_cost_ms(speed), SLOWED_SCAN_MIN_MS) << "the slowed provider is not slow enough";
    }
    for (const CorpusPage& page : read_corpus()) {
        const Expectation* outcomes[] = {outcome_for(page, "find", chromium), outcome_for(page, "press", chromium)};
        int slowed = 0;
        for (const Expectation* expected : outcomes)
            slowed = slowed || (expected && needs_an_absence(*expected));
        for (const Expectation* expected : outcomes) {
            int home_find = page.file == "home-en.page" && expected == outcomes[0];
            if (expected && (&speed == &SERVED || slowed || home_find))
                check_run(page, expected, chromium, speed);
        }
    }
}

TEST(UiaRoute, CorpusStatesEveryOutcome)
{
    std::vector<CorpusPage> pages = read_corpus();
    EXPECT_GE((int)pages.size(), MIN_PAGES) << narrow(pages_folder());
    for (const CorpusPage& page : pages) {
        EXPECT_TRUE(page.errors.empty()) << page.file << ": unreadable \"#!\" line: " << page.errors[0];
        EXPECT_TRUE(page.unexplained.empty())
            << page.file << ": no \"#\" line just above says why Chromium differs: " << page.unexplained[0];
        EXPECT_TRUE(states(page, "find", "windows")) << page.file << ": no find outcome for Windows";
        EXPECT_TRUE(states(page, "find", "wine10")) << page.file << ": no find outcome for Wine 10";
        // One outcome a command and platform: a slow machine is no reason
        // for another.
        for (const char* command : {"find", "press"})
            for (const char* platform : {"windows", "wine10", "chromium"})
                EXPECT_LE(stated(page, command, platform).size(), 1u)
                    << page.file << ": more than one " << command << " outcome for " << platform;
        EXPECT_GE(page.timeout_s, 1) << page.file;
        Page elements;
        EXPECT_GE(load_page_file(page.path.c_str(), &elements), 2) << page.file << ": no element lines";
    }
}

TEST(UiaRoute, EveryPageGivesItsWine10Outcome)
{
    run_corpus(0, SERVED);
}

// The same, with a slow client made on purpose; its own ctest entry
// (uia_route_slow) runs only this test.
TEST(UiaRouteSlow, EveryPageGivesItsWine10OutcomeSlowed)
{
    run_corpus(0, SLOWED);
}

// A run whose end cuts its first scan short still takes one last look at
// the picture, however short the run: Play beside the marker.
TEST(UiaRouteSlow, ARunEndThatCutsTheScanShortTakesTheLastLook)
{
    ASSERT_GE(scan_cost_ms(SLOWED), SLOWED_SCAN_MIN_MS);
    SimulatedLauncher launcher;
    ASSERT_TRUE(start_launcher(&launcher, launcher_arguments(pages_folder() + L"\\home-en.page", 0, SLOWED)));
    ChildResult result = run_tool_exe({L"find", L"--timeout", L"2"}, 60000);
    stop_launcher(&launcher);
    EXPECT_EQ(std::vector<std::string>{"FOUND pixels 600 664 220 60"}, outcome_lines(output_lines(result.output)))
        << result.output;
    EXPECT_EQ(0, result.exit_code) << result.output;
}

// The corpus again, with the real launcher's Chromium habits: a late tree,
// re-renders after actions, modal dialogs, Chromium's pattern and offscreen
// rules. Its own ctest entry (uia_route_chromium) runs only this test.
TEST(UiaRouteChromium, EveryPageGivesItsChromiumOutcome)
{
    run_corpus(1, SERVED);
}

TEST(UiaRouteChromiumSlow, EveryPageGivesItsChromiumOutcomeSlowed)
{
    run_corpus(1, SLOWED);
}

// The dump prints the provider's tree: the page's shown elements, in order,
// at their depths, with their names and rectangles.
TEST(UiaRoute, DumpPrintsTheProvidersTree)
{
    std::wstring path = pages_folder() + L"\\home-en.page";
    Page page;
    ASSERT_GT(load_page_file(path.c_str(), &page), 0);
    SimulatedLauncher launcher;
    ASSERT_TRUE(start_launcher(&launcher, {L"--page", path}));
    ChildResult result = run_tool_exe({L"dump"}, 120000);
    stop_launcher(&launcher);
    ASSERT_EQ(0, result.exit_code) << result.output;

    std::vector<std::string> wanted, printed;
    for (int i = 0; i < (int)page.elements.size(); i++) {
        const PageElement& e = page.elements[(size_t)i];
        if (page_element_visible(page, i))
            wanted.push_back(std::to_string(e.depth) + " \"" + narrow(e.name) + "\" " +
                             std::to_string(e.left) + " " + std::to_string(e.top) + " " +
                             std::to_string(e.width) + " " + std::to_string(e.height));
    }
    int index = 0;
    for (const std::string& line : output_lines(result.output)) {
        PageElement e;
        if (parse_page_line(line, index, &e)) {
            index++;
            printed.push_back(std::to_string(e.depth) + " \"" + narrow(e.name) + "\" " +
                              std::to_string(e.left) + " " + std::to_string(e.top) + " " +
                              std::to_string(e.width) + " " + std::to_string(e.height));
        }
    }
    EXPECT_EQ(wanted, printed) << result.output;
    EXPECT_EQ(1u, lines_starting(output_lines(result.output),
                                 "SCAN elements 19 plays 1 pick Play (Kestrov V6 beside it) ").size())
        << result.output;
}

}  // namespace
