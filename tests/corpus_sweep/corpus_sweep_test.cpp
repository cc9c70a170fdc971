// Every page of the corpus, every client profile, every scan time, on
// virtual time: the tool's real driver and locate pass against the kit's
// page, served in this process (corpus_world.h). Two properties:
//   sound: at any scan time and time-out the run claims nothing the page
//     does not support (page_outcomes.h: its stated outcome, or less: a
//     NOTFOUND after a beginning of it), and a PRESSED comes only with the
//     launcher's log showing the game started;
//   complete: with the time-out the page's passes get at that scan time,
//     the page's one outcome exactly.
// This program is named MinecraftLauncher.exe: the tool's discovery takes a
// launcher's window only from a process of that name.
#include <gtest/gtest.h>

#include <windows.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "corpus_world.h"
#include "page_outcomes.h"
#include "support/child_process.h"

namespace {

// One scan of the launcher's page, in virtual ms: Windows' client takes a
// few, Wine 10's a second or more, a loaded new machine's up to 20 s.
const int SCAN_TIMES_MS[] = {1, 50, 500, 2000, 5000, 15000};
const int PROFILES[] = {CLIENT_WINDOWS, CLIENT_WINE10, CLIENT_CHROMIUM};
const int MIN_PAGES = 12;

std::wstring pages_folder()
{
    return windows_path(KV6_PAGES_DIR);
}

struct CorpusPage {
    std::string file;
    std::wstring path;
    PageStatement statement;
};

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
    for (const std::wstring& file : files) {
        CorpusPage page{narrow(file), folder + L"\\" + file, PageStatement()};
        read_page_statement(read_file_bytes(page.path), &page.statement);
        pages.push_back(page);
    }
    return pages;
}

int verdict_seen_after(const WorldResult& result, size_t i)
{
    for (size_t j = i + 1; j < result.lines.size(); j++)
        if (result.lines[j].compare(0, 6, "FOUND ") == 0)
            return 1;
    return 0;
}

int logged(const WorldResult& result, const char* prefix)
{
    for (const std::string& line : result.log)
        if (line.compare(0, strlen(prefix), prefix) == 0)
            return 1;
    return 0;
}

// One run, held to the page: 1 when it passed.
int check_run(const CorpusPage& page, const StatedOutcome& stated, const WorldRun& run, int must_complete)
{
    WorldResult result;
    ULONGLONG real_start = GetTickCount64();
    int made = run_in_world(run, &result);
    // The dummy game is a real process: when this machine fails to start one
    // (Wine under load, now and then), the run is made again, unchanged.
    for (int again = 0; again < 2 && made && logged(result, "ACTION start-java failed"); again++)
        made = run_in_world(run, &result);
    ULONGLONG real_ms = GetTickCount64() - real_start;
    if (getenv("KV6_SWEEP_TIMES")) {
        // The moment of the last outcome line before the run's own end.
        unsigned long long verdict = 0;
        for (size_t i = 0; i < result.lines.size(); i++) {
            const std::string& l = result.lines[i];
            if ((l.compare(0, 6, "FOUND ") == 0 || l == "LOGIN" || l == "NOT_SELECTED" || l.compare(0, 5, "POPUP") == 0) && !verdict_seen_after(result, i))
                verdict = result.line_ms[i];
        }
        int per_pass = 2 * run.scan_ms + 900;
        printf("%6llu ms real  %s %s %s scan %d timeout %d -> %d verdict %llu needs %llu\n", real_ms, page.file.c_str(), run.find_only ? "find" : "press",
               profile_name_of(run.profile), run.scan_ms, run.timeout_s, result.exit_code, verdict, verdict / per_pass + 1);
    }
    if (!made) {
        ADD_FAILURE() << page.file << ": the page's launcher could not be made";
        return 0;
    }
    std::string why;
    RunVerdict verdict = judge_run(stated, result.lines, result.exit_code, &why);
    int pressed = 0;
    for (const std::string& line : result.lines)
        pressed |= line.compare(0, 8, "PRESSED ") == 0;
    if (pressed && !logged(result, "ACTION start-java")) {
        verdict = RUN_WRONG;
        why = "PRESSED, but the launcher's game never started";
    }
    // An Escape the run claims was sent (one the launcher holds to act on
    // late counts).
    for (const std::string& line : result.lines)
        if ((line == "POPUP closed with Escape" || line == "POPUP? Escape") && !result.escapes_sent) {
            verdict = RUN_WRONG;
            why = "\"" + line + "\", but the launcher was sent no Escape";
        }
    if (run.find_only && logged(result, "VIA ")) {
        verdict = RUN_WRONG;
        why = "find acted on the launcher";
    }
    std::string broken = broken_run_rules(run, result);
    if (!broken.empty()) {
        verdict = RUN_WRONG;
        why = broken;
    }
    if (verdict == RUN_WRONG || (must_complete && verdict != RUN_COMPLETE)) {
        ADD_FAILURE() << (verdict == RUN_WRONG ? "unsound: " : "incomplete: ") << why << "\n"
                      << describe_run(run, result);
        return 0;
    }
    return 1;
}

TEST(CorpusSweep, EveryPageStatesItsOutcomesOnce)
{
    std::vector<CorpusPage> pages = read_corpus();
    EXPECT_GE((int)pages.size(), MIN_PAGES) << narrow(pages_folder());
    for (const CorpusPage& page : pages) {
        const PageStatement& s = page.statement;
        EXPECT_TRUE(s.errors.empty()) << page.file << ": unreadable \"#!\" line: " << s.errors[0];
        EXPECT_TRUE(s.unexplained.empty())
            << page.file << ": no \"#\" line just above says why Chromium differs: " << s.unexplained[0];
        EXPECT_GE(s.passes, 1) << page.file << ": no \"#! passes:\" line";
        for (const char* platform : {"windows", "wine10", "chromium"}) {
            EXPECT_TRUE(stated_outcome(s, "find", platform)) << page.file << ": no find outcome for " << platform;
            // One outcome a command and platform: a slow client is no reason
            // for another.
            for (const char* command : {"find", "press"})
                EXPECT_LE(count_stated(s, command, platform), 1)
                    << page.file << ": more than one " << command << " outcome for " << platform;
        }
    }
}

TEST(CorpusSweep, EveryVerdictHoldsAtEveryScanTime)
{
    int runs = 0, failed = 0;
    const char* only = getenv("KV6_SWEEP_ONLY");
    for (const CorpusPage& page : read_corpus()) {
        if (only && page.file.find(only) == std::string::npos)
            continue;
        for (int profile : PROFILES) {
            for (const char* command : {"find", "press"}) {
                const StatedOutcome* stated = stated_outcome(page.statement, command, profile_name_of(profile));
                if (!stated)
                    continue;
                for (int scan_ms : SCAN_TIMES_MS) {
                    // The time-out the page's passes need, each scan at most
                    // twice its time, must give the page's outcome. Any other
                    // time-out, and a tree that comes as late as a cold
                    // Chromium's, may give less, never more.
                    int full = page_timeout_s(page.statement.passes, 2 * scan_ms);
                    unsigned seed = (unsigned)(runs + 1);
                    const int lazy_times[] = {500, 4000, 9000};
                    for (int complete : {1, 0}) {
                        int timeout_s = complete ? full : 1 + (int)(seed * 7919u % (unsigned)(3 * full));
                        int lazy_ms = complete ? -1 : lazy_times[seed % 3];
                        // A client that fails a scan now and then, a launcher
                        // slow to act on what it is sent (sound runs).
                        const int late_acts[] = {0, 1000, 2000};
                        WorldRun run{page.path, profile, scan_ms, seed, strcmp(command, "find") == 0, timeout_s,
                                     lazy_ms, !complete, complete ? 0 : late_acts[seed / 3 % 3], WORLD_AS_SERVED, 0, 0};
                        failed += !check_run(page, *stated, run, complete);
                        runs++;
                        if (failed >= 20)
                            FAIL() << "20 failures: the sweep stops here";
                    }
                }
            }
        }
    }
    printf("%d runs, %d failed\n", runs, failed);
}

// The rules that only a world doing something more shows, each its own row:
// the row's outcome, at each of its scan times, within the run's bound, with
// no line in the quiet stretch (after the first line starting `quiet_after`,
// or the window's showing again for "SHOWN").
struct WorldCase {
    const char* what;
    const char* page;  // from the source folder
    int profile;
    const char* command;  // "find" or "press", with " --hide" for hide mode
    int fault, fault_at, fault_for;
    int timeout_s;
    std::vector<int> scan_times;
    const char* outcome;
    const char* quiet_after = "";
    int quiet_ms = 0;
};

const WorldCase WORLD_CASES[] = {
    {"the run's end takes a last picture, even before the pixel grace", "kit/pages/home-en.page", CLIENT_CHROMIUM, "find",
     WORLD_TREE_NEVER, 0, 0, 2, {1, 500}, "FOUND pixels 600 664 220 60 exit 0", "", 0},
    {"a tree that never comes is read by the picture alone once overdue", "kit/pages/home-en.page", CLIENT_CHROMIUM, "find",
     WORLD_TREE_NEVER, 0, 0, 30, {1, 2000}, "FOUND pixels 600 664 220 60 exit 0", "", 0},
    {"a give-up lasts as long as its cause: the UI answers again after 9 s", "kit/pages/sign-in.page", CLIENT_WINDOWS, "find",
     WORLD_UI_STOPS, 0, 9000, 40, {1, 2000}, "LOGIN; NOTFOUND exit 3", "", 0},
    {"a route given up forgets the disabled Play it saw: the picture alone", "tests/corpus_sweep/pages/disabled-green.page", CLIENT_WINDOWS,
     "find", WORLD_UI_STOPS, 2500, 0, 15, {1, 500}, "FOUND pixels 600 650 220 74 exit 0", "", 0},
    {"a slow client's confirmation waits for its looks: the game comes 10 s after the click", "kit/pages/home-en.page",
     CLIENT_WINE10, "press", WORLD_GAME_LATE, 0, 10000, 40, {5000, 8000},
     "FOUND uia 600 664 220 60; TRY message; PRESSED message exit 0", "", 0},
    {"the watch after a pixel press starts its clocks anew", "kit/pages/home-en.page", CLIENT_NONE, "press", WORLD_GAME_LATE, 0,
     10000, 15, {1}, "FOUND pixels 600 664 220 60; TRY message; PRESSED message; POPUP? Escape exit 0", "PRESSED ",
     3000},
    {"a window that hides and shows again starts its looks and clocks anew", "kit/pages/modal-dialog.page", CLIENT_WINE10,
     "press", WORLD_HIDES, 1000, 6000, 25, {1, 500},
     "STATE launcher-hidden; POPUP? Escape; FOUND uia 600 664 220 60; TRY message; PRESSED message exit 0", "SHOWN", 4000},
    {"a java process another program starts as the press lands confirms nothing", "kit/pages/home-en.page", CLIENT_WINE10,
     "press", WORLD_STRANGER_JAVA, 0, 0, 40, {1, 2000}, "FOUND uia 600 664 220 60; TRY message; TRY click; STUCK exit 4"},
    {"high contrast leaves the UI Automation route as it is: Play beside its profile, no colour needed",
     "tests/corpus_sweep/pages/high-contrast.page", CLIENT_WINDOWS, "find", WORLD_HIGH_CONTRAST, 0, 0, 15, {1, 2000},
     "STATE high-contrast; FOUND uia 600 664 220 60 exit 0"},
    {"in high contrast a picture without green is no pop-up: no Escape", "tests/corpus_sweep/pages/high-contrast.page",
     CLIENT_NONE, "press", WORLD_HIGH_CONTRAST, 0, 0, 20, {1}, "STATE high-contrast; NOTFOUND exit 2"},
    {"in high contrast a green box without the marker is no other profile: no NOT_SELECTED",
     "tests/corpus_sweep/pages/high-contrast-picture.page", CLIENT_NONE, "find", WORLD_HIGH_CONTRAST, 0, 0, 10, {1},
     "STATE high-contrast; NOTFOUND exit 2"},
    {"a launcher above the tool is never hidden, posted to or clicked: found in a picture, STUCK at once",
     "kit/pages/home-en.page", CLIENT_WINDOWS, "press --hide", WORLD_ELEVATED, 0, 0, 40, {1, 500, 2000},
     "STATE launcher-elevated; FOUND pixels 600 664 220 60; STUCK exit 4"},
    {"find against a launcher above the tool goes on as usual, and never hides it", "kit/pages/home-en.page", CLIENT_WINDOWS,
     "find --hide", WORLD_ELEVATED, 0, 0, 20, {1, 2000}, "STATE launcher-elevated; FOUND pixels 600 664 220 60 exit 0"},
    // Wine 10's client reaches no pattern: posted messages are lost on this
    // page, and only a real click presses.
    {"a launcher on another virtual desktop gets no real click", "kit/pages/rerender-press.page", CLIENT_WINE10, "press",
     WORLD_CLOAKED, 0, 0, 20, {1, 500}, "STATE launcher-cloaked; FOUND uia 600 664 220 60; TRY message; STUCK exit 4"},
    {"a player away gets no real click", "kit/pages/rerender-press.page", CLIENT_WINE10, "press", WORLD_AWAY, 0, 0, 20,
     {1, 500}, "STATE session-not-present; FOUND uia 600 664 220 60; TRY message; STUCK exit 4"},
    {"what works without the player goes on, and the click once the player is back", "kit/pages/rerender-press.page",
     CLIENT_WINE10, "press", WORLD_AWAY, 0, 3000, 20, {1, 500},
     "STATE session-not-present; FOUND uia 600 664 220 60; TRY message; TRY click; PRESSED click exit 0"},
    {"a full-screen game in front keeps its foreground: no real click", "kit/pages/rerender-press.page", CLIENT_WINE10, "press",
     WORLD_FULL_SCREEN, 0, 0, 20, {1, 500}, "STATE full-screen; FOUND uia 600 664 220 60; TRY message; STUCK exit 4"},
    {"a foreground Windows refuses: no real click, and the line says why", "kit/pages/rerender-press.page",
     CLIENT_WINE10, "press", WORLD_FOREGROUND_REFUSED, 0, 0, 20, {1, 500},
     "FOUND uia 600 664 220 60; TRY message; TRY click; STATE foreground-refused; STUCK exit 4"},
    {"an action that lands 6 s late is pending: it is the method that pressed, and nothing presses over it",
     "kit/pages/home-en.page", CLIENT_WINDOWS, "press", WORLD_ACTION_LATE, 0, 6000, 40, {1, 500, 2000},
     "FOUND uia 600 664 220 60; TRY invoke; PRESSED invoke exit 0"},
    {"a window moved 200 px during the confirmation shows no press: the next method presses where Play went",
     "kit/pages/rerender-press.page", CLIENT_WINDOWS, "press", WORLD_MOVES, 1500, 200, 20, {1, 200},
     "FOUND uia 600 664 220 60; TRY invoke; TRY legacy; TRY message; PRESSED message exit 0"},
    {"a press in the watch keeps the first press's rules and the watch's end", "tests/corpus_sweep/pages/popup-after-press.page",
     CLIENT_WINDOWS, "press", WORLD_AS_SERVED, 0, 0, 40, {1, 500, 2000},
     "FOUND uia 600 664 220 60; PRESSED invoke; POPUP closed with Not now; FOUND uia again exit 0"},
    {"a capture blocked as PrintWindow blocks on a busy launcher: a hide-mode NOTFOUND ends within its bound",
     "kit/pages/other-profile.page", CLIENT_WINDOWS, "find --hide", WORLD_BUSY, 6000, 0, 10, {1, 500},
     "NOT_SELECTED; NOTFOUND exit 2"},
};

// A launcher above the tool: nothing posted, sent or clicked, never hidden
// (so never shown again), and the run over within 15 s of its window.
void expect_left_alone(const WorldRun& run, const WorldResult& result, const char* what)
{
    for (const char* acted : {"VIA ", "CLICK ", "KEY", "LBUTTON", "SHOWN"})
        EXPECT_FALSE(logged(result, acted)) << what << ": the launcher logged " << acted << "\n"
                                            << describe_run(run, result);
    ASSERT_FALSE(result.lines.empty()) << what;
    EXPECT_LE(result.line_ms.back() - result.line_ms.front(), 15000u) << what;
}

TEST(CorpusSweep, WorldCasesHoldAtTheirScanTimes)
{
    unsigned seed = 1;
    for (const WorldCase& c : WORLD_CASES) {
        StatedOutcome stated;
        PageStatement statement;
        int find = strncmp(c.command, "find", 4) == 0;
        read_page_statement(std::string("#! ") + (find ? "find" : "press") + " both: " + c.outcome + "\n", &statement);
        ASSERT_EQ(1u, statement.outcomes.size()) << c.what;
        stated = statement.outcomes[0];
        for (int scan_ms : c.scan_times) {
            WorldRun run{windows_path(std::string(KV6_SOURCE_DIR "/") + c.page), c.profile, scan_ms,
                         seed++, find, c.timeout_s, -1, 0, 0, c.fault, c.fault_at,
                         c.fault_for, strstr(c.command, "--hide") != nullptr};
            WorldResult result;
            ASSERT_TRUE(run_in_world(run, &result)) << c.what;
            std::string why;
            EXPECT_EQ(RUN_COMPLETE, judge_run(stated, result.lines, result.exit_code, &why))
                << c.what << ": " << why << "\n" << describe_run(run, result);
            EXPECT_EQ("", broken_run_rules(run, result)) << c.what << "\n" << describe_run(run, result);
            if (c.fault == WORLD_ELEVATED)
                expect_left_alone(run, result, c.what);
            if (!c.quiet_ms)
                continue;
            long long from = -1;
            for (size_t i = 0; i < result.lines.size() && from < 0; i++)
                if (c.quiet_after[0] && result.lines[i].compare(0, strlen(c.quiet_after), c.quiet_after) == 0)
                    from = (long long)result.line_ms[i];
            if (!strcmp(c.quiet_after, "SHOWN"))
                from = (long long)result.shown_again_ms;
            ASSERT_GE(from, 0) << c.what << "\n" << describe_run(run, result);
            for (size_t i = 0; i < result.lines.size(); i++) {
                long long at = (long long)result.line_ms[i];
                EXPECT_FALSE(at > from && at <= from + c.quiet_ms && result.lines[i].compare(0, 7, "WINDOW ") != 0 &&
                             result.lines[i] != "WAITING window")
                    << c.what << ": \"" << result.lines[i] << "\" within " << c.quiet_ms << " ms\n"
                    << describe_run(run, result);
            }
        }
    }
}

}  // namespace
