// Where a player's files enter the kit. A page (a dump, a diagnosis) and its
// picture come from a stranger's machine: every byte of them is untrusted.
// The bounds below are all that such a file may cost the simulated launcher;
// what breaks them is mended or refused, counted, and said in one log line.
// A real `dump` (at most 41 levels, 4001 elements, names of 1023 UTF-8
// bytes) and a real `dump --shot` picture stay well inside them.
// No Windows headers here: the native checks fuzz this code.
#pragma once

#include <stdio.h>

#include <string>

enum {
    // A page file.
    MAX_PAGE_FILE_BYTES = 16 << 20,  // the rest of a longer file is ignored
    MAX_PAGE_LINE_BYTES = 4096,      // in UTF-8, without the line end
    MAX_PAGE_ELEMENTS = 8192,
    MAX_PAGE_DEPTH = 64,             // the window is level 0
    MAX_PAGE_ACTIONS = 16,           // per element
    MAX_PAGE_CHILDREN = 64,
    PAGE_NUMBER_LIMIT = 1000000,     // |coordinate or size|: sums of a few stay well inside an int

    // A page's picture (an uncompressed 24- or 32-bit BMP). A side beyond the
    // largest screens (8K is 7680 x 4320), and more pixels than two 8K
    // screens side by side, are no launcher's window.
    MAX_PICTURE_SIDE = 16384,
    MAX_PICTURE_PIXELS = 1 << 26,    // 67,108,864: 256 MiB at 32 bits a pixel
    MAX_PICTURE_HEADER_BYTES = 4096, // the headers, colour masks and any gap before the pixels
};
// The largest picture file the reader opens: headers and the most pixels at
// 32 bits. Its size is checked before a byte of it is read.
const unsigned long long MAX_PICTURE_FILE_BYTES = MAX_PICTURE_HEADER_BYTES + 4ULL * MAX_PICTURE_PIXELS;
static_assert(MAX_PICTURE_FILE_BYTES == 268439552ULL, "docs/kit.md states this bound");

// What the reader found wrong in a page file and mended: one kind per way a
// file can be broken, counted, with the first line it happened on.
enum PageProblemKind {
    PAGE_PROBLEM_BIG_FILE,       // longer than MAX_PAGE_FILE_BYTES: the rest is ignored
    PAGE_PROBLEM_LONG_LINE,      // cut to MAX_PAGE_LINE_BYTES
    PAGE_PROBLEM_NUL,            // NUL bytes, dropped
    PAGE_PROBLEM_BAD_UTF16,      // unpaired surrogates or an odd last byte, read as U+FFFD
    PAGE_PROBLEM_BAD_UTF8,       // bytes that are no UTF-8, read as U+FFFD
    PAGE_PROBLEM_DEEP,           // indented deeper than MAX_PAGE_DEPTH
    PAGE_PROBLEM_HUGE_NUMBER,    // beyond PAGE_NUMBER_LIMIT, clamped
    PAGE_PROBLEM_MANY_ELEMENTS,  // element lines past MAX_PAGE_ELEMENTS, skipped
    PAGE_PROBLEM_MANY_ACTIONS,   // actions past MAX_PAGE_ACTIONS on a line, ignored
    PAGE_PROBLEM_MANY_CHILDREN,  // CHILD lines past MAX_PAGE_CHILDREN, skipped
    PAGE_PROBLEM_KINDS
};

struct PageProblem {
    int count;       // in the kind's unit: lines, bytes, code units, sequences, numbers
    int first_line;  // 1-based line of the file
};

// Counts `count` more problems of a kind, first seen on `line`.
void note_page_problem(PageProblem problems[PAGE_PROBLEM_KINDS], PageProblemKind kind, int line, int count);
// "PAGE line N: what was wrong and done (count unit)", for a kind that has a
// count; `utf16` leaves out the hint that the file may be UTF-16 without its
// mark. 0 for a kind with nothing counted.
int describe_page_problem(const PageProblem problems[PAGE_PROBLEM_KINDS], PageProblemKind kind, int utf16,
                          char* line, size_t size);

// A player's text as UTF-8: behind a UTF-16 byte-order mark (either order,
// as Windows PowerShell 5 writes `dump > file`) it is converted, units that
// make no character read as U+FFFD and counted; a UTF-8 mark is dropped.
// Other bytes come back as they are, for mend_player_line. *utf16 is 1 when a
// mark made it read as UTF-16.
std::string player_text_utf8(const std::string& bytes, PageProblem problems[PAGE_PROBLEM_KINDS], int* utf16);
// Bytes start..end of `text` as a line the parser may take: cut to
// MAX_PAGE_LINE_BYTES at a character's start, without NUL bytes, every byte
// part of well-formed UTF-8. What had to change is counted against line `number`.
std::string mend_player_line(const std::string& text, size_t start, size_t end, int number,
                             PageProblem problems[PAGE_PROBLEM_KINDS]);
// UTF-8 to UTF-16 (what the provider serves); a byte that starts no
// well-formed sequence reads as U+FFFD.
std::wstring player_text_wide(const std::string& utf8);

// Opens a player's file for reading in binary, or null; the caller closes it.
FILE* open_player_file(const wchar_t* path);
// The file's size in bytes, told without reading it; 0 when it cannot be told.
int player_file_size(FILE* file, unsigned long long* size);
// Up to `cap` bytes from the file's current place, appended to *bytes; *more
// is 1 when the file goes on past them.
void read_player_bytes(FILE* file, size_t cap, std::string* bytes, int* more);
