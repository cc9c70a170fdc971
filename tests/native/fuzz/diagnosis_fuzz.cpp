// libFuzzer target: the kit's reader of a player's diagnosis as the replay
// uses it (kit/page_outcomes.cpp through page_outcome.exe): the "#!" lines a
// page states, the player's run from its "#> MS LINE" and "#> exit N" lines,
// that run's outcome written as text and read back, and the run judged
// against every outcome stated.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "fuzz_fail.h"
#include "page_outcomes.h"
#include "player_file.h"

namespace {

// "#> 123 LINE" into LINE, as the replay's sed reads a run's line.
int run_line(const std::string& line, std::string* rest)
{
    size_t digits = line.find_first_not_of("0123456789", 3);
    if (line.compare(0, 3, "#> ") != 0 || digits == 3 || digits == std::string::npos || line[digits] != ' ')
        return 0;
    *rest = line.substr(digits + 1);
    return 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text((const char*)data, size < (size_t)MAX_PAGE_FILE_BYTES ? size : (size_t)MAX_PAGE_FILE_BYTES);
    PageStatement statement;
    read_page_statement(text, &statement);
    int timeout = page_timeout_s(statement.passes, (int)(size % 100000));
    if (timeout < 1 || timeout > 900)
        fail("time-out beyond 1..900");

    // The player's run, and its outcome as page_outcome.exe's "outcome" gives it.
    std::vector<std::string> run;
    StatedOutcome player;
    player.exit_code = 0;
    int has_exit = 0;
    for (const std::string& line : text_lines(text)) {
        std::string rest;
        if (line.compare(0, 8, "#> exit ") == 0 && !has_exit) {
            // The replay takes the first, of at most 7 characters.
            char* end = nullptr;
            long code = strtol(line.c_str() + 8, &end, 10);
            has_exit = end && !*end && line.size() > 8 && line.size() <= 15;
            player.exit_code = has_exit ? (int)code : 0;
        } else if (run_line(line, &rest))
            run.push_back(rest);
    }
    for (const std::string& line : run)
        if (is_claim_line(line) || !outcome_lines({line}).empty())
            player.lines.push_back(line);
    // The text form splits at ';' and trims each line: an outcome with a
    // line it cannot carry (a pop-up's name with either) skips the checks
    // below, which it would fail (docs/benchmarks.md, "Fuzzing").
    int carried = !player.lines.empty();
    for (const std::string& line : player.lines)
        carried &= line.find(';') == std::string::npos && line.find_first_of(" \t\r") != 0 &&
                   line.find_last_of(" \t\r") + 1 != line.size();
    std::string why;
    if (carried) {
        // The replay hands that outcome to "judge" as text, read back as a "#!" line reads.
        PageStatement again;
        read_page_statement("#! find both: " + outcome_text(player), &again);
        if (again.outcomes.size() != 1 || again.outcomes[0].lines != player.lines ||
            again.outcomes[0].exit_code != player.exit_code)
            fail("the player's outcome does not read back from its text");
        if (judge_run(again.outcomes[0], run, player.exit_code, &why) != RUN_COMPLETE)
            fail("the player's run falls short of its own outcome");
    }
    for (const char* command : {"find", "press"})
        for (const char* platform : {"windows", "wine10", "chromium"}) {
            const StatedOutcome* stated = stated_outcome(statement, command, platform);
            if (count_stated(statement, command, platform) > 0 && !stated)
                fail("a stated outcome is not found");
            if (stated)
                judge_run(*stated, run, player.exit_code, &why);
        }
    return 0;
}
