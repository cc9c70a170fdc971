// The corpus pages' "#!" lines and the rules a run is held to.
#include "page_outcomes.h"

#include <stdlib.h>
#include <string.h>

namespace {

std::string trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

int starts_with(const std::string& line, const char* word)
{
    return line.compare(0, strlen(word), word) == 0;
}

int read_outcome(const std::string& key, const std::string& value, StatedOutcome* outcome)
{
    size_t blank = key.find(' ');
    if (blank == std::string::npos)
        return 0;
    outcome->command = key.substr(0, blank);
    outcome->platform = trimmed(key.substr(blank + 1));
    if ((outcome->command != "find" && outcome->command != "press") ||
        (outcome->platform != "windows" && outcome->platform != "wine10" && outcome->platform != "both" &&
         outcome->platform != "chromium"))
        return 0;
    size_t exit_at = value.rfind("exit ");
    if (exit_at == std::string::npos || (exit_at > 0 && value[exit_at - 1] != ' '))
        return 0;
    char* end = nullptr;
    outcome->exit_code = (int)strtol(value.c_str() + exit_at + 5, &end, 10);
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
            outcome->lines.push_back(line);
        start = semicolon + 1;
    }
    return !outcome->lines.empty();
}

int is_outcome_line(const std::string& line)
{
    for (const char* word : {"FOUND ", "LOGIN", "NOT_SELECTED", "NOTFOUND"}) {
        size_t length = strlen(word);
        if (line.compare(0, length, word) == 0 && (word[length - 1] == ' ' || line.size() == length))
            return 1;
    }
    return 0;
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

int holds(const std::vector<std::string>& lines, const std::string& line)
{
    for (const std::string& one : lines)
        if (one == line)
            return 1;
    return 0;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& line : lines)
        all += (all.empty() ? "" : "; ") + line;
    return all.empty() ? "(none)" : all;
}

}  // namespace

// A line that claims something of the launcher beyond the outcome lines: a
// pop-up closed or suspected, a press confirmed, a press that failed, a
// state of the player's machine.
int is_claim_line(const std::string& line)
{
    return starts_with(line, "POPUP") || starts_with(line, "PRESSED ") || line == "STUCK" ||
           starts_with(line, "STATE ");
}

std::vector<std::string> text_lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

void read_page_statement(const std::string& text, PageStatement* statement)
{
    *statement = PageStatement();
    std::string previous;
    for (const std::string& line : text_lines(text)) {
        std::string above = previous;
        previous = line;
        if (line.compare(0, 3, "#! ") != 0)
            continue;
        size_t colon = line.find(':');
        if (colon == std::string::npos) {
            statement->errors.push_back(line);
            continue;
        }
        std::string key = trimmed(line.substr(3, colon - 3));
        std::string value = trimmed(line.substr(colon + 1));
        StatedOutcome outcome;
        if (key == "note")
            continue;
        if (key == "passes") {
            char* end_of_number = nullptr;
            long passes = strtol(value.c_str(), &end_of_number, 10);
            if (passes < 1 || passes > 1000 || trimmed(end_of_number) != "")
                statement->errors.push_back(line);
            else
                statement->passes = (int)passes;
        } else if (read_outcome(key, value, &outcome)) {
            statement->outcomes.push_back(outcome);
            if (outcome.platform == "chromium" && (above.compare(0, 2, "# ") != 0 || above.size() < 8))
                statement->unexplained.push_back(line);
        } else {
            statement->errors.push_back(line);
        }
    }
}

const StatedOutcome* stated_outcome(const PageStatement& statement, const char* command, const char* platform)
{
    const StatedOutcome* both = nullptr;
    for (const StatedOutcome& outcome : statement.outcomes) {
        if (outcome.command != command)
            continue;
        if (outcome.platform == platform)
            return &outcome;
        if (outcome.platform == "both" && !both && strcmp(platform, "chromium") != 0)
            both = &outcome;
    }
    if (both)
        return both;
    return strcmp(platform, "chromium") == 0 ? stated_outcome(statement, command, "wine10") : nullptr;
}

int count_stated(const PageStatement& statement, const char* command, const char* platform)
{
    int count = 0;
    for (const StatedOutcome& outcome : statement.outcomes)
        count += outcome.command == command &&
                 (outcome.platform == platform || (outcome.platform == "both" && strcmp(platform, "chromium") != 0));
    return count;
}

int page_timeout_s(int passes, int scan_ms)
{
    if (passes < 1)
        passes = DEFAULT_PAGE_PASSES;
    if (scan_ms < 0)
        scan_ms = 0;
    long long ms = (long long)passes * ((long long)scan_ms + PASS_POLL_MS);
    long long seconds = (ms + 999) / 1000;
    return seconds < 1 ? 1 : seconds > 900 ? 900 : (int)seconds;
}

std::vector<std::string> outcome_lines(const std::vector<std::string>& lines)
{
    std::vector<std::string> outcomes;
    for (const std::string& line : lines)
        if (is_outcome_line(line))
            outcomes.push_back(line);
    return outcomes;
}

RunVerdict judge_run(const StatedOutcome& stated, const std::vector<std::string>& lines, int exit_code,
                     std::string* why)
{
    std::vector<std::string> theirs = outcome_lines(lines), ours = outcome_lines(stated.lines);
    if (theirs == ours && comes_in_order(stated.lines, lines) && exit_code == stated.exit_code) {
        // Every claim beyond the outcome lines is one the page states.
        for (const std::string& line : lines)
            if (is_claim_line(line) && !holds(stated.lines, line)) {
                *why = "it claims \"" + line + "\", which the page does not state";
                return RUN_WRONG;
            }
        *why = "";
        return RUN_COMPLETE;
    }
    *why = "wanted " + outcome_text(stated) + ", got " + joined(theirs) + " exit " + std::to_string(exit_code);
    // Less: the run's end took Play beside the marker in a last picture,
    // where the page states it found in the tree at the same place. A press
    // then goes by the picture's methods.
    if (theirs.size() == 1 && starts_with(theirs[0], "FOUND pixels ") && exit_code == 0) {
        std::string place = theirs[0].substr(strlen("FOUND pixels "));
        for (const std::string& found : ours) {
            size_t blank = found.find(' ', strlen("FOUND "));
            if (!starts_with(found, "FOUND ") || blank == std::string::npos || found.substr(blank + 1) != place)
                continue;
            for (const std::string& line : lines)
                if (((starts_with(line, "POPUP") || starts_with(line, "STATE ")) && !holds(stated.lines, line)) ||
                    line == "STUCK") {
                    *why += ": \"" + line + "\" is stated nowhere";
                    return RUN_WRONG;
                }
            return RUN_LESS;
        }
    }
    for (const std::string& line : lines)
        if (is_claim_line(line) && !holds(stated.lines, line)) {
            *why += ": \"" + line + "\" is stated nowhere";
            return RUN_WRONG;
        }
    // Less: a beginning of the stated outcome lines without a target, then
    // NOTFOUND with the exit code those lines give.
    if (theirs.empty() || theirs.back() != "NOTFOUND")
        return RUN_WRONG;
    std::vector<std::string> before(theirs.begin(), theirs.end() - 1);
    if (before.size() >= ours.size())
        return RUN_WRONG;
    int login = 0;
    for (size_t i = 0; i < before.size(); i++) {
        if (before[i] != ours[i] || starts_with(before[i], "FOUND "))
            return RUN_WRONG;
        login |= before[i] == "LOGIN";
    }
    if (exit_code != (login ? 3 : 2))
        return RUN_WRONG;
    return RUN_LESS;
}

std::string outcome_text(const StatedOutcome& stated)
{
    std::string text;
    for (const std::string& line : stated.lines)
        text += (text.empty() ? "" : "; ") + line;
    return text + " exit " + std::to_string(stated.exit_code);
}
