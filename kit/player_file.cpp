// A player's bytes, read within the bounds of player_file.h: decoding UTF-8
// and UTF-16, mending what is broken, and reading no more of a file than a
// bound allows.
#include "player_file.h"

#include <stdlib.h>
#include <string.h>

namespace {

const char REPLACEMENT_UTF8[] = "\xef\xbf\xbd";  // U+FFFD

// The length of the well-formed UTF-8 sequence at text[i] and its code
// point, or 0: overlong forms, surrogates, code points past U+10FFFF and cut
// sequences are no UTF-8.
int decode_utf8(const std::string& text, size_t i, unsigned* code)
{
    unsigned c = (unsigned char)text[i];
    if (c < 0x80) {
        *code = c;
        return 1;
    }
    int extra = c >= 0xc2 && c <= 0xdf ? 1 : c >= 0xe0 && c <= 0xef ? 2 : c >= 0xf0 && c <= 0xf4 ? 3 : 0;
    if (!extra || text.size() - i <= (size_t)extra)
        return 0;
    unsigned value = c & (0x3f >> extra);
    for (int k = 1; k <= extra; k++) {
        unsigned next = (unsigned char)text[i + (size_t)k];
        if ((next & 0xc0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3f);
    }
    static const unsigned SMALLEST[4] = {0, 0x80, 0x800, 0x10000};
    if (value < SMALLEST[extra] || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff))
        return 0;
    *code = value;
    return extra + 1;
}

void append_utf8(unsigned code, std::string* out)
{
    if (code < 0x80) {
        *out += (char)code;
    } else if (code < 0x800) {
        *out += (char)(0xc0 | (code >> 6));
        *out += (char)(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
        *out += (char)(0xe0 | (code >> 12));
        *out += (char)(0x80 | ((code >> 6) & 0x3f));
        *out += (char)(0x80 | (code & 0x3f));
    } else {
        *out += (char)(0xf0 | (code >> 18));
        *out += (char)(0x80 | ((code >> 12) & 0x3f));
        *out += (char)(0x80 | ((code >> 6) & 0x3f));
        *out += (char)(0x80 | (code & 0x3f));
    }
}

// A text behind a UTF-16 byte-order mark, to UTF-8; the units that make no
// character (an unpaired surrogate, an odd last byte) read as U+FFFD.
std::string utf16_to_utf8(const std::string& text, int big_endian, PageProblem* problems)
{
    std::string out;
    out.reserve(text.size());
    int line = 1;
    size_t at = 2;  // past the mark
    while (at < text.size()) {
        if (text.size() - at < 2) {
            note_page_problem(problems, PAGE_PROBLEM_BAD_UTF16, line, 1);
            out += REPLACEMENT_UTF8;
            break;
        }
        unsigned char a = (unsigned char)text[at], b = (unsigned char)text[at + 1];
        unsigned unit = big_endian ? (unsigned)(a << 8 | b) : (unsigned)(b << 8 | a);
        at += 2;
        unsigned code = unit;
        if (unit >= 0xd800 && unit <= 0xdbff && text.size() - at >= 2) {
            a = (unsigned char)text[at];
            b = (unsigned char)text[at + 1];
            unsigned low = big_endian ? (unsigned)(a << 8 | b) : (unsigned)(b << 8 | a);
            if (low >= 0xdc00 && low <= 0xdfff) {
                code = 0x10000 + ((unit - 0xd800) << 10) + (low - 0xdc00);
                at += 2;
            }
        }
        if (code >= 0xd800 && code <= 0xdfff) {
            note_page_problem(problems, PAGE_PROBLEM_BAD_UTF16, line, 1);
            code = 0xfffd;
        }
        append_utf8(code, &out);
        line += code == '\n';
    }
    return out;
}

// How a problem reads in the log: what was wrong and done, its unit, and
// what may have caused it in a file not read as UTF-16.
struct ProblemWords {
    const char* what;
    const char* unit;
    const char* units;
    const char* hint;
};

const ProblemWords PROBLEM_WORDS[PAGE_PROBLEM_KINDS] = {
    {"the file is longer than 16777216 bytes, the rest is ignored", nullptr, nullptr, ""},
    {"longer than 4096 bytes, cut", "line", "lines", ""},
    {"NUL bytes, dropped", "byte", "bytes", "; UTF-16 without a byte-order mark?"},
    {"bad UTF-16, read as U+FFFD", "code unit", "code units", ""},
    {"bad UTF-8, read as U+FFFD", "sequence", "sequences", ""},
    {"indented deeper than 64 levels, put at most 64 deep", "line", "lines", ""},
    {"number beyond -1000000..1000000, clamped", "number", "numbers", ""},
    {"more than 8192 element lines, skipped", "line", "lines", ""},
    {"more than 16 actions on an element, the rest ignored", "action", "actions", ""},
    {"more than 64 CHILD lines, skipped", "line", "lines", ""},
};
static_assert(MAX_PAGE_FILE_BYTES == 16777216 && MAX_PAGE_LINE_BYTES == 4096 && MAX_PAGE_DEPTH == 64 &&
                  PAGE_NUMBER_LIMIT == 1000000 && MAX_PAGE_ELEMENTS == 8192 && MAX_PAGE_ACTIONS == 16 &&
                  MAX_PAGE_CHILDREN == 64,
              "the problem lines spell the bounds out");

}  // namespace

void note_page_problem(PageProblem problems[PAGE_PROBLEM_KINDS], PageProblemKind kind, int line, int count)
{
    PageProblem& problem = problems[kind];
    if (!problem.count)
        problem.first_line = line;
    problem.count = problem.count > 0x3fffffff - count ? 0x3fffffff : problem.count + count;
}

int describe_page_problem(const PageProblem problems[PAGE_PROBLEM_KINDS], PageProblemKind kind, int utf16,
                          char* line, size_t size)
{
    const PageProblem& problem = problems[kind];
    if (!problem.count)
        return 0;
    const ProblemWords& words = PROBLEM_WORDS[kind];
    if (words.unit)
        snprintf(line, size, "PAGE line %d: %s (%d %s)%s", problem.first_line, words.what, problem.count,
                 problem.count == 1 ? words.unit : words.units, utf16 ? "" : words.hint);
    else
        snprintf(line, size, "PAGE line %d: %s", problem.first_line, words.what);
    return 1;
}

std::string player_text_utf8(const std::string& bytes, PageProblem problems[PAGE_PROBLEM_KINDS], int* utf16)
{
    int little = bytes.compare(0, 2, "\xff\xfe") == 0, big = bytes.compare(0, 2, "\xfe\xff") == 0;
    *utf16 = little || big;
    if (*utf16)
        return utf16_to_utf8(bytes, big, problems);
    return bytes.substr(bytes.compare(0, 3, "\xef\xbb\xbf") == 0 ? 3 : 0);
}

std::string mend_player_line(const std::string& text, size_t start, size_t end, int number,
                             PageProblem problems[PAGE_PROBLEM_KINDS])
{
    if (end - start > MAX_PAGE_LINE_BYTES) {
        note_page_problem(problems, PAGE_PROBLEM_LONG_LINE, number, 1);
        size_t cut = start + MAX_PAGE_LINE_BYTES;
        for (int back = 0; back < 3 && cut > start && ((unsigned char)text[cut] & 0xc0) == 0x80; back++)
            cut--;
        end = cut;
    }
    std::string line;
    line.reserve(end - start);
    int nuls = 0, bad = 0;
    std::string piece = text.substr(start, end - start);
    size_t i = 0;
    while (i < piece.size()) {
        if (piece[i] == 0) {
            nuls++;
            i++;
            continue;
        }
        unsigned code;
        int length = decode_utf8(piece, i, &code);
        if (!length) {
            bad++;
            line += REPLACEMENT_UTF8;
            i++;
            continue;
        }
        line.append(piece, i, (size_t)length);
        i += (size_t)length;
    }
    if (nuls)
        note_page_problem(problems, PAGE_PROBLEM_NUL, number, nuls);
    if (bad)
        note_page_problem(problems, PAGE_PROBLEM_BAD_UTF8, number, bad);
    return line;
}

std::wstring player_text_wide(const std::string& utf8)
{
    std::wstring out;
    size_t i = 0;
    while (i < utf8.size()) {
        unsigned code = 0xfffd;
        int length = decode_utf8(utf8, i, &code);
        i += length ? (size_t)length : 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += (wchar_t)(0xd800 + (code >> 10));
            out += (wchar_t)(0xdc00 + (code & 0x3ff));
        } else {
            out += (wchar_t)code;
        }
    }
    return out;
}

FILE* open_player_file(const wchar_t* path)
{
#ifdef _WIN32
    return _wfopen(path, L"rb");
#else
    // The native checks: the same reader on a narrow path.
    char narrow[4096];
    size_t length = wcstombs(narrow, path, sizeof narrow);
    if (length == (size_t)-1 || length >= sizeof narrow)
        return nullptr;
    return fopen(narrow, "rb");
#endif
}

int player_file_size(FILE* file, unsigned long long* size)
{
    *size = 0;
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) != 0)
        return 0;
    long long end = _ftelli64(file);
    int back = _fseeki64(file, 0, SEEK_SET) == 0;
#else
    if (fseeko(file, 0, SEEK_END) != 0)
        return 0;
    long long end = (long long)ftello(file);
    int back = fseeko(file, 0, SEEK_SET) == 0;
#endif
    if (end < 0 || !back)
        return 0;
    *size = (unsigned long long)end;
    return 1;
}

void read_player_bytes(FILE* file, size_t cap, std::string* bytes, int* more)
{
    *more = 0;
    char buffer[65536];
    size_t left = cap;
    while (left > 0) {
        size_t got = fread(buffer, 1, left < sizeof buffer ? left : sizeof buffer, file);
        if (got == 0)
            return;
        bytes->append(buffer, got);
        left -= got;
    }
    // One byte looked at and put back, for a caller that reads on.
    int next = fgetc(file);
    *more = next != EOF;
    if (*more)
        ungetc(next, file);
}
