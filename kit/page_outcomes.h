// What a corpus page says the tool must do with it, and whether a run did.
// A page states in "#!" lines how many passes it needs at most and one
// outcome per command and platform:
//
//     #! passes: 6
//     #! find both: NOT_SELECTED; NOTFOUND exit 2
//     #! press wine10: FOUND uia 600 664 220 60; TRY message; PRESSED message exit 0
//
// One reader and one set of rules for every test and script that runs the
// corpus: the virtual-time sweep, the real-client route test, the wrong
// outcomes benchmark, the replay and add-page (through page_outcome.exe).
// No Windows headers: the rules are plain text.
#pragma once

#include <string>
#include <vector>

struct StatedOutcome {
    std::string command;             // "find" or "press"
    std::string platform;            // "windows", "wine10", "both" or "chromium"
    std::vector<std::string> lines;  // whole report lines that must come, in this order
    int exit_code;
};

struct PageStatement {
    int passes;  // the passes the page's outcomes need at most; 0 when unstated
    std::vector<StatedOutcome> outcomes;
    std::vector<std::string> errors;       // "#!" lines that could not be read
    std::vector<std::string> unexplained;  // "chromium" lines without a "#" line just above
};

enum {
    // The driver's longest wait after a pass (one that acted on the page).
    PASS_POLL_MS = 900,
    // A page that states no passes gets these.
    DEFAULT_PAGE_PASSES = 16,
};

// The lines of a text, without their line feeds or a CR before one; a last
// line feed ends the last line rather than starting an empty one.
std::vector<std::string> text_lines(const std::string& text);

// Reads the "#!" lines of a page's text (UTF-8, CR LF allowed).
void read_page_statement(const std::string& text, PageStatement* statement);

// The one outcome stated for `command` on `platform` ("windows", "wine10" or
// "chromium"), or null. A platform's own line comes first; "both" counts for
// windows and wine10; chromium falls back on the Wine 10 outcome.
const StatedOutcome* stated_outcome(const PageStatement& statement, const char* command, const char* platform);
// How many outcomes are stated for exactly this command and platform (with
// "both" for windows and wine10): a page states one at most.
int count_stated(const PageStatement& statement, const char* command, const char* platform);

// The tool's --timeout, in whole seconds (1 to 900), that gives a run
// `passes` passes when one scan costs at most `scan_ms`: each pass is a scan
// and the driver's longest wait after it.
int page_timeout_s(int passes, int scan_ms);

// The lines of a run that make its outcome: FOUND, LOGIN, NOT_SELECTED and
// NOTFOUND.
std::vector<std::string> outcome_lines(const std::vector<std::string>& lines);
// 1 for a line that claims something of the launcher beyond the outcome
// lines, which judge_run holds to the stated lines: a pop-up closed or
// suspected, a press confirmed, a press that failed, a state of the
// player's machine.
int is_claim_line(const std::string& line);

enum RunVerdict {
    RUN_COMPLETE,  // exactly the stated outcome
    // Less than stated, and nothing false: the run ran out of time before a
    // verdict the page supports. Either it ends NOTFOUND (exit 2, or 3 after
    // a LOGIN it printed) after a beginning of the stated outcome lines with
    // no FOUND in it, and prints nothing the statement does not (no POPUP,
    // PRESSED, STUCK or STATE line it lacks); or, where the page states a FOUND, the
    // run's end found Play at the same place in a last picture
    // ("FOUND pixels", exit 0; a press then goes by the picture's methods
    // and may not end STUCK).
    RUN_LESS,
    RUN_WRONG,  // a claim the page does not support
};

// Holds a run (its report lines and exit code) against the stated outcome;
// `why` says what differs.
RunVerdict judge_run(const StatedOutcome& stated, const std::vector<std::string>& lines, int exit_code,
                     std::string* why);
// "LINE; LINE exit N", as a "#!" line gives an outcome.
std::string outcome_text(const StatedOutcome& stated);
