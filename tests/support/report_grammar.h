// The report lines' grammar, read from docs/report-lines.tsv: every test
// that sees the tool's lines holds them to the file a caller's program loads
// too, so the file cannot drift from the code.
#pragma once

#include <regex>
#include <string>
#include <vector>

// One row of the file: a kind of line.
struct ReportLineKind {
    std::string keyword;
    std::string pattern;   // the whole line
    std::string commands;  // "press,find"; "none": no command given; "other": an unknown one
    std::string ends_run;  // "yes", "no", or the commands in which it ends the run
    std::regex regex;
};

// The rows, read once. Empty when the file is missing or a row is malformed
// (a regular expression outside what Java, .NET and Python read alike
// among the causes); *error then says why.
const std::vector<ReportLineKind>& report_line_kinds(std::string* error = nullptr);

// The word the rows list for a run of the tool with these arguments.
std::string report_command(const std::vector<std::wstring>& arguments);

// Index of the first row that matches the whole line and lists the command,
// or -1.
int report_line_kind(const std::string& line, const std::string& command);

// Every line no row matches for the command, and every line after one that
// ends the run that does not end it too, one a line; "" when none.
std::string report_lines_problems(const std::vector<std::string>& lines, const std::string& command);

// Within a GoogleTest test: a failure for each problem of a run's lines (one
// found on a worker thread fails the program at its end). Elsewhere (the
// soaks count their own) nothing.
void expect_report_grammar(const std::vector<std::string>& lines, const std::vector<std::wstring>& arguments);
