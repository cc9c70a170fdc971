#include "support/report_grammar.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <mutex>

#include "support/child_process.h"

namespace {

const char* const COMMANDS[] = {"press", "find", "minimize", "show", "close", "dump"};

// Syntax that Java's, .NET's and Python's engines read differently, or that
// one of them lacks: Unicode-dependent shorthands, anchors, named groups,
// lookbehind, atomic groups, inline flags, possessive quantifiers.
const char* const UNSHARED_SYNTAX[] = {"\\d", "\\D", "\\w", "\\W", "\\s", "\\S", "\\b", "\\B", "\\A", "\\z", "\\Z",
                                       "\\p", "\\h", "\\R", "(?<", "(?P", "(?>", "(?i", "(?m", "(?s", "(?x", "*+",
                                       "++", "?+", "}+"};

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
    for (const std::string& listed : split(words, ','))
        if (listed == word)
            return 1;
    return 0;
}

int ends_run_in(const ReportLineKind& kind, const std::string& command)
{
    return kind.ends_run == "yes" || lists(kind.ends_run, command);
}

std::string load(std::vector<ReportLineKind>* kinds)
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
                if (word != "none" && word != "other" && word != "yes" && word != "no" &&
                    std::find(std::begin(COMMANDS), std::end(COMMANDS), word) == std::end(COMMANDS))
                    return where + "\"" + word + "\" is no command";
        ReportLineKind kind{fields[0], fields[1], fields[2], fields[3], std::regex()};
        try {
            kind.regex = std::regex(kind.pattern);
        } catch (const std::regex_error&) {
            return where + "the regular expression does not compile";
        }
        kinds->push_back(kind);
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

const std::vector<ReportLineKind>& report_line_kinds(std::string* error)
{
    static std::vector<ReportLineKind> kinds;
    static std::string problem = load(&kinds);
    if (!problem.empty())
        kinds.clear();
    if (error)
        *error = problem;
    return kinds;
}

std::string report_command(const std::vector<std::wstring>& arguments)
{
    if (arguments.empty())
        return "none";
    std::string word = narrow(arguments[0]);
    for (const char* command : COMMANDS)
        if (word == command)
            return word;
    return "other";
}

int report_line_kind(const std::string& line, const std::string& command)
{
    const std::vector<ReportLineKind>& kinds = report_line_kinds();
    for (size_t i = 0; i < kinds.size(); i++)
        if (lists(kinds[i].commands, command) && std::regex_match(line, kinds[i].regex))
            return (int)i;
    return -1;
}

std::string report_lines_problems(const std::vector<std::string>& lines, const std::string& command)
{
    std::string error;
    const std::vector<ReportLineKind>& kinds = report_line_kinds(&error);
    if (!error.empty())
        return error + "\n";
    std::string problems;
    int ended = 0;
    for (const std::string& line : lines) {
        int kind = report_line_kind(line, command);
        if (kind < 0)
            problems += "no row of docs/report-lines.tsv matches this " + command + " line: \"" + line + "\"\n";
        else if (ended && !ends_run_in(kinds[(size_t)kind], command))
            problems += "after a line that ends the run: \"" + line + "\"\n";
        ended |= kind >= 0 && ends_run_in(kinds[(size_t)kind], command);
    }
    return problems;
}

void expect_report_grammar(const std::vector<std::string>& lines, const std::vector<std::wstring>& arguments)
{
    if (!::testing::UnitTest::GetInstance()->current_test_info())
        return;
    std::string problems = report_lines_problems(lines, report_command(arguments));
    if (problems.empty())
        return;
    if (GetCurrentThreadId() == main_thread) {
        ADD_FAILURE() << problems;
    } else {
        std::lock_guard<std::mutex> hold(deferred_lock);
        deferred += problems;
    }
}
