// page_outcome.exe: the corpus's one reader of a page's "#!" lines and its
// rules for a run (page_outcomes.h), for the scripts (the replay, add-page,
// the benchmark of wrong outcomes). Texts come on standard input, never as
// paths: a Windows program under Wine does not read Unix paths.
//
//   page_outcome.exe stated COMMAND PLATFORM   < PAGE
//       "passes N" (the page's, or "passes N unstated": those a page that
//       states none gets), then the stated outcome, "LINE; LINE exit N";
//       exit 1 when none is stated, 3 (after the passes) when the page's
//       "#!" lines are unreadable or state two.
//   page_outcome.exe timeout PASSES SCAN_MS
//       the tool's --timeout in seconds for PASSES passes (0: unstated) when
//       a scan costs SCAN_MS.
//   page_outcome.exe judge EXIT_CODE           < OUTCOME, then the run's lines
//       the run against the outcome on the first line ("LINE; LINE exit N"):
//       "complete", "less: WHY" or "wrong: WHY"; exit 0, 1 or 2.
//   page_outcome.exe outcome EXIT_CODE         < the run's lines
//       the lines that make the run's outcome, with its claims, as an
//       outcome ("LINE; LINE exit N"); exit 1 when it has none.
// Bad usage: a line on standard error and exit 64.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "page_outcomes.h"
#include "player_file.h"

namespace {

enum { EXIT_USAGE = 64 };

int usage()
{
    fputs("usage: page_outcome.exe stated COMMAND PLATFORM < PAGE\n"
          "       page_outcome.exe timeout PASSES SCAN_MS\n"
          "       page_outcome.exe judge EXIT_CODE < OUTCOME_LINE_AND_RUN_LINES\n"
          "       page_outcome.exe outcome EXIT_CODE < RUN_LINES\n",
          stderr);
    return EXIT_USAGE;
}

// Standard input as bytes, no more than a page may have.
std::string read_input()
{
    std::string text;
    char buffer[65536];
    size_t got;
    while (text.size() < (size_t)MAX_PAGE_FILE_BYTES && (got = fread(buffer, 1, sizeof buffer, stdin)) > 0)
        text.append(buffer, got);
    if (text.size() > (size_t)MAX_PAGE_FILE_BYTES)
        text.resize((size_t)MAX_PAGE_FILE_BYTES);
    return text;
}

// A whole number in [low, high], or 0.
int read_number(const char* text, long low, long high, int* value)
{
    char* end = nullptr;
    long number = strtol(text, &end, 10);
    if (!*text || !end || *end || number < low || number > high)
        return 0;
    *value = (int)number;
    return 1;
}

// An outcome as a "#!" line gives it, read by the page reader itself.
int read_outcome_text(const std::string& text, StatedOutcome* outcome)
{
    PageStatement statement;
    read_page_statement("#! find both: " + text, &statement);
    if (statement.outcomes.size() != 1 || !statement.errors.empty())
        return 0;
    *outcome = statement.outcomes[0];
    return 1;
}

int stated_command(const char* command, const char* platform)
{
    if ((strcmp(command, "find") && strcmp(command, "press")) ||
        (strcmp(platform, "windows") && strcmp(platform, "wine10") && strcmp(platform, "chromium"))) {
        fputs("page_outcome: COMMAND is find or press, PLATFORM windows, wine10 or chromium\n", stderr);
        return EXIT_USAGE;
    }
    PageStatement statement;
    read_page_statement(read_input(), &statement);
    // The passes the page's runs get: its own, or those of a page that
    // states none.
    if (statement.passes > 0)
        printf("passes %d\n", statement.passes);
    else
        printf("passes %d unstated\n", (int)DEFAULT_PAGE_PASSES);
    if (!statement.errors.empty()) {
        fprintf(stderr, "page_outcome: an unreadable \"#!\" line: %s\n", statement.errors[0].c_str());
        return 3;
    }
    if (count_stated(statement, command, platform) > 1) {
        fprintf(stderr, "page_outcome: the page states two %s outcomes for %s\n", command, platform);
        return 3;
    }
    const StatedOutcome* stated = stated_outcome(statement, command, platform);
    if (!stated)
        return 1;
    printf("%s\n", outcome_text(*stated).c_str());
    return 0;
}

int judge_command(int exit_code)
{
    std::vector<std::string> lines = text_lines(read_input());
    StatedOutcome stated;
    if (lines.empty() || !read_outcome_text(lines[0], &stated)) {
        fprintf(stderr, "page_outcome: the first line is no outcome (LINE; LINE exit N): %s\n",
                lines.empty() ? "" : lines[0].c_str());
        return EXIT_USAGE;
    }
    lines.erase(lines.begin());
    std::string why;
    RunVerdict verdict = judge_run(stated, lines, exit_code, &why);
    const char* word = verdict == RUN_COMPLETE ? "complete" : verdict == RUN_LESS ? "less" : "wrong";
    printf("%s%s%s\n", word, why.empty() ? "" : ": ", why.c_str());
    return verdict == RUN_COMPLETE ? 0 : verdict == RUN_LESS ? 1 : 2;
}

int outcome_command(int exit_code)
{
    StatedOutcome outcome;
    outcome.exit_code = exit_code;
    for (const std::string& line : text_lines(read_input()))
        if (is_claim_line(line) || !outcome_lines({line}).empty())
            outcome.lines.push_back(line);
    printf("%s\n", outcome.lines.empty() ? ("exit " + std::to_string(exit_code)).c_str()
                                         : outcome_text(outcome).c_str());
    return outcome.lines.empty();
}

}  // namespace

int main(int argc, char** argv)
{
    // Bytes in and out as they are: no CR LF made of a line feed, and no
    // Ctrl-Z in a player's text taken for the input's end.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    int number = 0, scan_ms = 0;
    if (argc == 4 && strcmp(argv[1], "stated") == 0)
        return stated_command(argv[2], argv[3]);
    if (argc == 4 && strcmp(argv[1], "timeout") == 0 && read_number(argv[2], 0, 1000, &number) &&
        read_number(argv[3], 0, 10000000, &scan_ms)) {
        printf("%d\n", page_timeout_s(number, scan_ms));
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "judge") == 0 && read_number(argv[2], -1000000, 1000000, &number))
        return judge_command(number);
    if (argc == 3 && strcmp(argv[1], "outcome") == 0 && read_number(argv[2], -1000000, 1000000, &number))
        return outcome_command(number);
    return usage();
}
