// The UI Automation route against Wine 10's real client, in a few runs:
// what only the real client proves. Its profile (no patterns; IsEnabled and
// IsOffscreen unread; the errors of stale elements), COM across processes
// with the provider on the launcher's own thread, the kit's own provider,
// SendInput across processes, a dump's tree. That every page's verdict holds
// at every client speed is the corpus sweep's to prove, on virtual time
// (tests/corpus_sweep).
//
// A run here is in real time, so it may get fewer scans than its verdict
// needs on a slow or loaded machine. Each run counts the scans it had (the
// simulated launcher logs each root request). A run that did not give the
// page's outcome after fewer scans than the page's passes had too little
// time: it is inconclusive, and runs once more with twice the time; still
// short, it is reported inconclusive (skipped), never passed or failed on
// an outcome it had no time to reach.
#include <gtest/gtest.h>

#include <stdio.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "page.h"
#include "page_outcomes.h"
#include "support/child_process.h"
#include "support/simulated_launcher.h"
#include "support/tool_run.h"

namespace {

std::wstring widen(const std::string& text)
{
    int units = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), (int)text.size(), nullptr, 0);
    std::wstring out((size_t)units, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], units);
    return out;
}

// The corpus folder, given at build time as a path of the build machine:
// under Wine a Unix path is reached through drive Z:.
std::wstring page_path(const char* file)
{
    return windows_path(KV6_PAGES_DIR) + L"\\" + widen(file);
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& line : lines)
        all += "    " + line + "\n";
    return all;
}

int count_starting(const std::vector<std::string>& lines, const char* prefix)
{
    int count = 0;
    for (const std::string& line : lines)
        count += line.compare(0, strlen(prefix), prefix) == 0;
    return count;
}

std::vector<std::wstring> launcher_arguments(const char* file, int chromium)
{
    std::vector<std::wstring> arguments = {L"--page", page_path(file)};
    if (chromium)
        arguments.push_back(L"--chromium");
    return arguments;
}

// What one scan of home-en costs on this machine now, at most: a whole find
// of it (its first look finds Play beside the profile), measured once.
int scan_cost_ms()
{
    static int cost = -1;
    if (cost >= 0)
        return cost;
    SimulatedLauncher launcher;
    if (!start_launcher(&launcher, launcher_arguments("home-en.page", 0)))
        return 0;
    ULONGLONG start = GetTickCount64();
    run_tool_exe({L"find", L"--timeout", L"60"}, 120000);
    cost = (int)(GetTickCount64() - start);
    stop_launcher(&launcher);
    printf("One scan of home-en here: %.1f s at most\n", cost / 1000.0);
    fflush(stdout);
    return cost;
}

enum RealSetting {
    AS_SERVED,
    // The cursor kept by ClipCursor in (10, 10)-(200, 200), away from Play,
    // and a launcher that takes real clicks only (Wine 10 honours
    // ClipCursor; Wine 8 does not).
    CURSOR_CLIPPED,
    // The launcher built to run as administrator (Elevated\MinecraftLauncher.exe),
    // elevated under Wine 10 beside a tool that is not; press in hide mode.
    RUN_AS_ADMINISTRATOR,
};

struct RealRun {
    const char* page;
    const char* command;
    int chromium;
    const char* proves;
    int setting = AS_SERVED;        // a RealSetting
    const char* outcome = nullptr;  // the run's own outcome in place of the page's
};

const RealRun REAL_RUNS[] = {
    {"home-en.page", "find", 0, "Play beside the profile, read across processes from the kit's provider"},
    {"home-en.page", "press", 0, "no pattern reaches the provider: posted messages press"},
    {"play-disabled.page", "find", 0, "IsEnabled is unread: the disabled Play is found"},
    {"play-offscreen.page", "find", 0, "IsOffscreen is unread: Play outside the window is off screen all the same"},
    {"other-profile.page", "find", 0, "NOT_SELECTED once its looks are had"},
    {"store-popup.page", "press", 0, "the pop-up closed by Escape, then Play"},
    {"home-en.page", "find", 1, "Chromium's late tree: an empty document, then the page"},
    {"modal-dialog.page", "press", 1, "a modal dialog keeps Play out of the tree until Escape closes it"},
    {"rerender-press.page", "press", 1, "a re-render during the press: stale elements, then a real click"},
    {"home-en.page", "press", 0, "a cursor kept off Play: no real click, on Play or on anything under the cursor",
     CURSOR_CLIPPED, "FOUND uia 600 664 220 60; TRY message; TRY click; STUCK exit 4"},
    {"home-en.page", "press", 0,
     "run as administrator: named at once, only UI Automation's actions tried, never hidden, posted to or clicked, "
     "STUCK within 15 s of its window",
     RUN_AS_ADMINISTRATOR, "STATE launcher-elevated; FOUND uia 600 664 220 60; TRY invoke; TRY legacy; STUCK exit 4"},
};

enum Conclusion { REAL_PASSED, REAL_FAILED, REAL_INCONCLUSIVE };

// One run against a fresh launcher. `message` gets what both sides printed.
int run_once(const RealRun& real, const StatedOutcome& stated, int passes, int timeout_s, std::string* message)
{
    SimulatedLauncher launcher;
    std::vector<std::wstring> arguments = launcher_arguments(real.page, real.chromium);
    if (real.setting == CURSOR_CLIPPED)
        arguments.insert(arguments.end(), {L"--accept", L"real"});
    const wchar_t* exe =
        real.setting == RUN_AS_ADMINISTRATOR ? L"Elevated\\MinecraftLauncher.exe" : L"MinecraftLauncher.exe";
    if (!start_launcher(&launcher, arguments, exe)) {
        *message = "the simulated launcher did not show its window";
        return REAL_FAILED;
    }
    // Over the corner the clipped cursor is kept in, a window of ours that
    // a click going astray would reach. The clip is set again and again, as
    // a full-screen game keeps it while another window takes the front.
    HWND catcher = nullptr;
    volatile LONG clipping = 0;
    std::thread clipper;
    if (real.setting == CURSOR_CLIPPED) {
        catcher = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", L"catcher", WS_POPUP | WS_VISIBLE | SS_NOTIFY,
                                  0, 0, 250, 250, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        clipping = 1;
        clipper = std::thread([&clipping]() {
            const RECT clip = {10, 10, 200, 200};
            while (clipping) {
                ClipCursor(&clip);
                Sleep(5);
            }
            ClipCursor(nullptr);
        });
    }
    ULONGLONG start = GetTickCount64();
    std::vector<std::wstring> command = {widen(real.command), L"--timeout", std::to_wstring(timeout_s)};
    if (real.setting == RUN_AS_ADMINISTRATOR)
        command.push_back(L"--hide");
    ToolRun result = run_tool_watched(command, (long long)(timeout_s + 90) * 1000);
    int astray = 0;
    if (catcher) {
        clipping = 0;
        clipper.join();
        MSG down;
        while (PeekMessageW(&down, catcher, WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_REMOVE))
            astray++;
        DestroyWindow(catcher);
    }
    std::vector<std::string> log = launcher_log(&launcher);
    stop_launcher(&launcher);
    std::vector<std::string> lines = output_lines(result.output);
    int scans = count_starting(log, "ROOT ");
    printf("%s %s%s (--timeout %d): %.1f s, %d scans\n", real.page, real.command, real.chromium ? " (chromium)" : "",
           timeout_s, (GetTickCount64() - start) / 1000.0, scans);
    fflush(stdout);
    std::string why;
    RunVerdict verdict = judge_run(stated, lines, result.exit_code, &why);
    *message = std::string(real.page) + " " + real.command + (real.chromium ? " (chromium)" : "") + ", --timeout " +
               std::to_string(timeout_s) + ", " + std::to_string(scans) + " scans (the page needs " +
               std::to_string(passes) + "): " + why + "\n  the tool printed\n" + joined(lines) + "  exit code " +
               std::to_string(result.exit_code) + "\n  the launcher logged\n" + joined(log);
    if (real.setting == RUN_AS_ADMINISTRATOR) {
        // Not a mouse move: it comes with the cursor over any window that shows.
        for (const char* acted : {"CLICK ", "KEY", "VIA ", "LBUTTON", "SHOWN"})
            if (count_starting(log, acted)) {
                *message = std::string("the launcher above the tool logged ") + acted + "\n" + *message;
                return REAL_FAILED;
            }
        if (lines.size() >= 2 && result.line_ms.back() - result.line_ms.front() > 15000) {
            *message = "STUCK came more than 15 s after WINDOW\n" + *message;
            return REAL_FAILED;
        }
        // Its end came before a scan read Play: the promise is kept, the
        // outcome not reached.
        if (verdict == RUN_WRONG && lines.size() == 3 && lines[1] == "STATE launcher-elevated" && lines[2] == "STUCK" &&
            scans < passes)
            return REAL_INCONCLUSIVE;
    }
    if (verdict == RUN_COMPLETE) {
        if (real.setting == CURSOR_CLIPPED && (count_starting(log, "CLICK real") != 0 || astray != 0)) {
            *message = "a real click went out (" + std::to_string(astray) + " on the window under the clipped cursor)\n" +
                       *message;
            return REAL_FAILED;
        }
        if (strcmp(real.command, "find") == 0 && count_starting(log, "VIA ") != 0) {
            *message = "find acted on the launcher\n" + *message;
            return REAL_FAILED;
        }
        if (stated.exit_code == 0 && strcmp(real.command, "press") == 0 && !count_starting(log, "ACTION start-java")) {
            *message = "Play was not pressed\n" + *message;
            return REAL_FAILED;
        }
        return REAL_PASSED;
    }
    // A wrong claim is wrong however short the run; less than the outcome
    // is a failure only when the run had the scans it needed.
    if (verdict == RUN_WRONG || scans >= passes)
        return REAL_FAILED;
    return REAL_INCONCLUSIVE;
}

struct UiaRoute : ::testing::TestWithParam<RealRun> {};

TEST_P(UiaRoute, GivesThePagesOutcome)
{
    const RealRun& real = GetParam();
    PageStatement statement;
    read_page_statement(read_file_bytes(page_path(real.page)), &statement);
    if (real.outcome) {
        int passes = statement.passes;
        read_page_statement(std::string("#! ") + real.command + " wine10: " + real.outcome + "\n", &statement);
        statement.passes = passes;
    }
    const StatedOutcome* stated = stated_outcome(statement, real.command, real.chromium ? "chromium" : "wine10");
    ASSERT_NE(nullptr, stated) << real.page << " states no " << real.command << " outcome";
    printf("%s\n", real.proves);
    int timeout_s = page_timeout_s(statement.passes, scan_cost_ms());
    std::string message;
    int conclusion = run_once(real, *stated, statement.passes, timeout_s, &message);
    if (conclusion == REAL_INCONCLUSIVE) {
        printf("INCONCLUSIVE, run again with twice the time: %s\n", message.c_str());
        conclusion = run_once(real, *stated, statement.passes, 2 * timeout_s, &message);
    }
    if (conclusion == REAL_INCONCLUSIVE)
        GTEST_SKIP() << "INCONCLUSIVE: too few scans for the verdict twice over: " << message;
    EXPECT_EQ(REAL_PASSED, conclusion) << message;
}

INSTANTIATE_TEST_SUITE_P(RealClient, UiaRoute, ::testing::ValuesIn(REAL_RUNS));

// The dump prints the provider's tree: the page's shown elements, in order,
// at their depths, with their names and rectangles.
TEST(UiaRouteDump, DumpPrintsTheProvidersTree)
{
    std::wstring path = page_path("home-en.page");
    Page page;
    ASSERT_GT(load_page_file(path.c_str(), &page), 0);
    // The dump's UI Automation part has a time of its own: on a loaded
    // machine it may end before the SCAN line. That is too little time, not
    // a wrong tree: once more, then inconclusive.
    ChildResult result;
    int out_of_time = 0;
    for (int attempt = 0; attempt < 2; attempt++) {
        SimulatedLauncher launcher;
        ASSERT_TRUE(start_launcher(&launcher, {L"--page", path}));
        result = run_tool_exe({L"dump"}, 120000);
        stop_launcher(&launcher);
        out_of_time = result.output.find("UIA ran out of time after ") != std::string::npos;
        if (!out_of_time)
            break;
        printf("INCONCLUSIVE: the dump ran out of its time%s\n", attempt == 0 ? ", once more" : "");
    }
    ASSERT_EQ(0, result.exit_code) << result.output;
    if (out_of_time)
        GTEST_SKIP() << "INCONCLUSIVE: the dump ran out of its UI Automation time twice:\n" << result.output;

    std::vector<std::string> wanted, printed;
    for (int i = 0; i < (int)page.elements.size(); i++) {
        const PageElement& e = page.elements[(size_t)i];
        if (page_element_visible(page, i))
            wanted.push_back(std::to_string(e.depth) + " \"" + narrow(e.name) + "\" " + std::to_string(e.left) + " " +
                             std::to_string(e.top) + " " + std::to_string(e.width) + " " + std::to_string(e.height));
    }
    int index = 0;
    for (const std::string& line : output_lines(result.output)) {
        PageElement e;
        if (parse_page_line(line, index, &e)) {
            index++;
            printed.push_back(std::to_string(e.depth) + " \"" + narrow(e.name) + "\" " + std::to_string(e.left) +
                              " " + std::to_string(e.top) + " " + std::to_string(e.width) + " " +
                              std::to_string(e.height));
        }
    }
    EXPECT_EQ(wanted, printed) << result.output;
    EXPECT_EQ(1, count_starting(output_lines(result.output),
                                "SCAN elements 19 plays 1 pick Play (Kestrov V6 beside it) "))
        << result.output;
}

}  // namespace
