#include "support/report_grammar.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <mutex>
#include <regex>

#include "support/child_process.h"

namespace {

const char* const COMMANDS[] = {"press", "find", "minimize", "show", "close", "dump"};

// Syntax that Java's, .NET's and Python's engines read differently, or that
// one of them lacks: Unicode-dependent shorthands, anchors, named groups,
// lookbehind, atomic groups, inline flags, possessive quantifiers.
const char* const UNSHARED_SYNTAX[] = {"\\d", "\\D", "\\w", "\\W", "\\s", "\\S", "\\b", "\\B", "\\A", "\\z", "\\Z",
                                       "\\p", "\\h", "\\R", "(?<", "(?P", "(?>", "(?i", "(?m", "(?s", "(?x", "*+",
                                       "++", "?+", "}+"};

// One row of the file: a kind of line.
struct LineKind {
    std::string commands;  // "press,find"; "none": no command given; "other": an unknown one
    std::string ends_run;  // "yes", "no", or the commands in which it ends the run
    std::regex whole_line;
};

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

int lists(const std::string& words, const std::string& word)
{
    return ("," + words + ",").find("," + word + ",") != std::string::npos;
}

int is_command(const std::string& word)
{
    return std::find(std::begin(COMMANDS), std::end(COMMANDS), word) != std::end(COMMANDS);
}

int ends_run(const LineKind& kind, const std::string& command)
{
    return kind.ends_run == "yes" || lists(kind.ends_run, command);
}

// The rows, or what is wrong with the file.
std::string load(std::vector<LineKind>* kinds)
{
    std::string bytes = read_file_bytes(windows_path(KV6_REPORT_LINES));
    if (bytes.empty())
        return "cannot read " KV6_REPORT_LINES;
    std::vector<std::string> rows = split(bytes, '\n');
    for (size_t i = 1; i < rows.size(); i++) {
        std::string row = rows[i];
        if (!row.empty() && row.back() == '\r')
            row.pop_back();
        if (row.empty())
            continue;
        std::string where = "report-lines.tsv line " + std::to_string(i + 1) + ": ";
        std::vector<std::string> fields = split(row, '\t');
        if (fields.size() != 4 || fields[0].empty() || fields[1].empty() || fields[2].empty() || fields[3].empty())
            return where + "not four fields separated by tabs";
        for (const char* token : UNSHARED_SYNTAX)
            if (fields[1].find(token) != std::string::npos)
                return where + "\"" + token + "\" is read differently by Java, .NET or Python";
        for (const std::string& words : {fields[2], fields[3]})
            for (const std::string& word : split(words, ','))
                if (word != "none" && word != "other" && word != "yes" && word != "no" && !is_command(word))
                    return where + "\"" + word + "\" is no command";
        try {
            kinds->push_back(LineKind{fields[2], fields[3], std::regex(fields[1])});
        } catch (const std::regex_error&) {
            return where + "the regular expression does not compile";
        }
    }
    return kinds->empty() ? "no rows" : "";
}

// Problems a worker thread found, for the program's end.
std::mutex deferred_lock;
std::string deferred;
const DWORD main_thread = GetCurrentThreadId();

struct DeferredProblems : ::testing::Environment {
    void TearDown() override
    {
        std::lock_guard<std::mutex> hold(deferred_lock);
        EXPECT_EQ("", deferred) << "lines outside docs/report-lines.tsv, seen on a worker thread";
    }
};
[[maybe_unused]] ::testing::Environment* const deferred_check = ::testing::AddGlobalTestEnvironment(new DeferredProblems);

}  // namespace

std::string report_lines_problems(const std::vector<std::string>& lines, const std::string& command)
{
    static std::vector<LineKind> kinds;
    static const std::string unread = load(&kinds);
    if (!unread.empty())
        return unread + "\n";
    std::string problems;
    int ended = 0;
    for (const std::string& line : lines) {
        const LineKind* kind = nullptr;
        for (size_t i = 0; i < kinds.size() && !kind; i++)
            if (lists(kinds[i].commands, command) && std::regex_match(line, kinds[i].whole_line))
                kind = &kinds[i];
        if (!kind)
            problems += "no row of docs/report-lines.tsv matches this " + command + " line: \"" + line + "\"\n";
        else if (ended && !ends_run(*kind, command))
            problems += "after a line that ends the run: \"" + line + "\"\n";
        ended |= kind && ends_run(*kind, command);
    }
    return problems;
}

void expect_report_grammar(const std::vector<std::string>& lines, const std::vector<std::wstring>& arguments)
{
    if (!::testing::UnitTest::GetInstance()->current_test_info())
        return;
    std::string command = arguments.empty() ? "none" : narrow(arguments[0]);
    std::string problems = report_lines_problems(lines, arguments.empty() || is_command(command) ? command : "other");
    if (problems.empty())
        return;
    if (GetCurrentThreadId() == main_thread) {
        ADD_FAILURE() << problems;
    } else {
        std::lock_guard<std::mutex> hold(deferred_lock);
        deferred += problems;
    }
}
