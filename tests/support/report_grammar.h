// The report lines' grammar, read from docs/report-lines.tsv: every test
// that sees the tool's lines holds them to the file a caller's program loads
// too, so the file cannot drift from the code.
#pragma once

#include <string>
#include <vector>

// Every line no row matches for the command ("press", "find", ...; "none":
// no command given, "other": an unknown one), and every line after one that
// ends the run that does not end it too, one a line; "" when none. A file
// missing, or with a malformed row (a regular expression outside what Java,
// .NET and Python read alike among the causes), is a problem too.
std::string report_lines_problems(const std::vector<std::string>& lines, const std::string& command);

// Within a GoogleTest test: a failure for each problem of a run's lines (one
// found on a worker thread fails the program at its end). Elsewhere (the
// soaks count their own) nothing.
void expect_report_grammar(const std::vector<std::string>& lines, const std::vector<std::wstring>& arguments);
