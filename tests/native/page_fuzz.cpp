// A mutation fuzzer for the page reader (kit/page.cpp), which reads the
// pages and dumps players send: every byte of them is untrusted. Built
// natively under the address and undefined-behaviour sanitizers. It makes
// inputs from seed pages by the damage a file can carry (flipped bits,
// inserted and lost bytes, doubled lines, splices, huge numbers, deep
// indents, NULs, UTF-16, long runs, bad UTF-8, piles of notes), reads each,
// and holds the page to the reader's bounds; every eighth input's UTF-16
// twin must read to the same page. Input i of seed s is made from (s, i)
// alone, so `--only i` replays it. A crash or sanitizer report ends the run
// and saves the input (with abort_on_error=1 in ASAN_OPTIONS and
// UBSAN_OPTIONS, as scripts/native-checks.sh sets them).
//   page_fuzz [--seed N] [--inputs N] [--only I] [--save FILE] SEED_FILE...
#include "page.h"
#include "page_twins.h"
#include "fuzz_harness.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

namespace {

const size_t MAX_INPUT_BYTES = 4 << 20;  // a mutation that grows past this is cut back
const int MAX_MUTATIONS = 8;

template <size_t N>
const char* pick(Random* random, const char* const (&words)[N])
{
    return words[below(random, N)];
}

const char* const TOKENS[] = {
    "[", "]", "\"", " ", "  ", " ## ", "##", "WINDOW ", "CHILD ", " (this one)", "\r\n", "\n", "\r",
    " disabled", " offscreen", " invoke", " hidden", "[] \"\" 0 0 0 0\n", "  CHILD C \"t\" 1 2 3 4\n",
    "WINDOW Chrome_WidgetWin_1 \"x\" 1 2 3 4 x.exe (this one)\n", "\xef\xbb\xbf", "\xff\xfe", "\xfe\xff",
    "#", "#!", "-", "0", " 1 2 3 4", "\t", "=", ",", ":",
};
const char* const NUMBERS[] = {
    "99999999999999999999", "2147483647", "-2147483648", "4294967296", "1000001", "-1000001",
    "1000000", "999999999999999999999999999999999999999", "0", "-0", "-", "--5", "00000000000000000007",
};
const char* const BAD_UTF8[] = {
    "\xff", "\xfe", "\xc0\xaf", "\xc1\xbf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xed\xbf\xbf", "\xf4\x90\x80\x80",
    "\xf5\x80\x80\x80", "\xc3", "\xe3\x81", "\xf0\x9f\x8e", "\x80", "\xbf\xbf", "\xf8\x88\x80\x80\x80",
};
const char* const NOTES[] = {
    "id=play", "id=", "id=e1", "type=tab_item", "type=button", "type=", "type=no_such", "action=start-java",
    "action=close", "action=show:e2", "action=hide:e1", "action=page:e3", "action=select", "action=rerender-once",
    "action=,,,", "action=show:", "fill=27873e", "fill=zzzzzz", "fill=-12345", "fill=1234567", "text=ffffff",
    "notext", "marker", "hidden", "selected", "not-selected", "modal", "toggle", "expand", "legacy", "noinvoke",
};
const char* const RUN_BYTES[] = {"x", "\"", " ", "\xc3", "\x80", "[", "#", "9", "\xe3\x83\x9c"};

// The start of line `k` (counting from 0) of `text`, or its end.
size_t line_start(const std::string& text, size_t k)
{
    size_t at = 0;
    while (k-- > 0) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            return text.size();
        at = end + 1;
    }
    return at;
}

size_t count_lines(const std::string& text)
{
    size_t lines = 1;
    for (char c : text)
        lines += c == '\n';
    return lines;
}

std::string repeat(const std::string& piece, size_t times)
{
    std::string out;
    out.reserve(piece.size() * times);
    for (size_t i = 0; i < times; i++)
        out += piece;
    return out;
}

enum Mutation {
    FLIP_BITS, INSERT_BYTES, ERASE_BYTES, DUPLICATE_LINE, SPLICE, HUGE_NUMBER, DEEP_INDENT, NUL_BYTES,
    TO_UTF16, LONG_RUN, BAD_SEQUENCE, PILE_NOTES, TOKEN, MUTATIONS
};

// One mutation of `text`, drawing from `seeds` for splices.
void mutate(Random* random, const std::vector<std::string>& seeds, std::string* text)
{
    std::string& t = *text;
    size_t at = below(random, t.size() + 1);
    switch ((Mutation)below(random, MUTATIONS)) {
    case FLIP_BITS:
        for (size_t n = 1 + below(random, 8); n > 0 && !t.empty(); n--)
            t[below(random, t.size())] ^= (char)(1 << below(random, 8));
        break;
    case INSERT_BYTES:
        for (size_t n = 1 + below(random, 16); n > 0; n--)
            t.insert(below(random, t.size() + 1), 1, (char)below(random, 256));
        break;
    case ERASE_BYTES:
        t.erase(at, 1 + below(random, 64));
        break;
    case DUPLICATE_LINE: {
        size_t lines = count_lines(t);
        size_t from = line_start(t, below(random, lines));
        size_t end = t.find('\n', from);
        std::string line = t.substr(from, end == std::string::npos ? std::string::npos : end - from) + "\n";
        // Now and then enough copies to pass the element or child bound.
        size_t draw = below(random, 256);
        size_t times = draw == 0 ? 8200 + below(random, 200) : draw < 16 ? 60 + below(random, 40) : 1 + below(random, 4);
        t.insert(line_start(t, below(random, lines + 1)), repeat(line, times));
        break;
    }
    case SPLICE: {
        const std::string& other = seeds[below(random, seeds.size())];
        size_t from = below(random, other.size() + 1);
        std::string piece = other.substr(from, 1 + below(random, 512));
        if (below(random, 2))
            t.replace(at, below(random, 256), piece);
        else
            t.insert(at, piece);
        break;
    }
    case HUGE_NUMBER: {
        size_t digit = t.find_first_of("0123456789", at);
        if (digit == std::string::npos)
            digit = at;
        size_t end = t.find_first_not_of("0123456789", digit);
        t.replace(digit, (end == std::string::npos ? t.size() : end) - digit, pick(random, NUMBERS));
        break;
    }
    case DEEP_INDENT: {
        size_t lines = count_lines(t);
        if (below(random, 2)) {
            static const size_t LEVELS[] = {63, 64, 65, 66, 200, 2047, 2048, 2049};
            t.insert(line_start(t, below(random, lines)), LEVELS[below(random, 8)] * 2, ' ');
        } else {
            // A ladder: each line one level deeper than the last.
            std::string ladder;
            size_t levels = 60 + below(random, 20);
            for (size_t level = 1; level <= levels; level++)
                ladder += std::string(level * 2, ' ') + "[group] \"\" 0 0 1 1\n";
            t.insert(line_start(t, below(random, lines + 1)), ladder);
        }
        break;
    }
    case NUL_BYTES:
        if (below(random, 8) == 0) {
            // What a UTF-16 file without its mark looks like to a UTF-8 reader.
            std::string wide;
            for (char c : t) {
                wide += c;
                wide += '\0';
            }
            t = wide;
        } else {
            for (size_t n = 1 + below(random, 8); n > 0; n--)
                t.insert(below(random, t.size() + 1), 1, '\0');
        }
        break;
    case TO_UTF16:
        t = utf16_twin(t, (int)below(random, 2));
        break;
    case LONG_RUN: {
        std::string run = repeat(pick(random, RUN_BYTES), 4000 + below(random, 1000));
        t.insert(at, run);
        break;
    }
    case BAD_SEQUENCE:
        t.insert(at, pick(random, BAD_UTF8));
        break;
    case PILE_NOTES: {
        size_t end = t.find('\n', at);
        std::string notes = " ##";
        for (size_t n = 1 + below(random, 6); n > 0; n--)
            notes += std::string(" ") + pick(random, NOTES);
        if (below(random, 4) == 0)
            notes += " action=" + repeat("show:e1,", 10 + below(random, 40)) + "close";
        t.insert(end == std::string::npos ? t.size() : end, notes);
        break;
    }
    default:
        if (below(random, 16) == 0)
            t.insert(line_start(t, below(random, count_lines(t))), repeat("  CHILD C \"t\" 1 2 3 4\n", 60 + below(random, 20)));
        else
            t.insert(at, pick(random, TOKENS));
        break;
    }
    if (t.size() > MAX_INPUT_BYTES)
        t.resize(MAX_INPUT_BYTES);
}

// Input `index` of `seed`: a seed page with up to MAX_MUTATIONS mutations.
std::string make_input(unsigned long long seed, unsigned long long index, const std::vector<std::string>& seeds)
{
    Random random{seed * 0x100000001b3ULL ^ (index + 1) * 0x9e3779b97f4a7c15ULL};
    std::string text = seeds[below(&random, seeds.size())];
    for (size_t n = 1 + below(&random, MAX_MUTATIONS); n > 0; n--)
        mutate(&random, seeds, &text);
    return text;
}

int has_nul(const std::wstring& text)
{
    return text.find(L'\0') != std::wstring::npos;
}

// 1 when `text` pairs every surrogate, as UTF-16 must.
int well_formed_utf16(const std::wstring& text)
{
    for (size_t i = 0; i < text.size(); i++) {
        unsigned c = (unsigned)text[i];
        if (c >= 0xd800 && c <= 0xdbff && i + 1 < text.size() && (unsigned)text[i + 1] >= 0xdc00 &&
            (unsigned)text[i + 1] <= 0xdfff)
            i++;
        else if ((c >= 0xd800 && c <= 0xdfff) || c > 0x10ffff)
            return 0;
    }
    return 1;
}

int clamped(int value)
{
    return value >= -PAGE_NUMBER_LIMIT && value <= PAGE_NUMBER_LIMIT;
}

// What is wrong with a read page, or "" when it keeps every bound.
std::string check_page(const Page& page, int returned)
{
    if (returned != (int)page.elements.size())
        return "returned count";
    if (page.elements.size() > MAX_PAGE_ELEMENTS)
        return "too many elements";
    for (size_t i = 0; i < page.elements.size(); i++) {
        const PageElement& e = page.elements[i];
        std::string at = "element " + std::to_string(i) + ": ";
        if (e.depth < 0 || e.depth > MAX_PAGE_DEPTH)
            return at + "depth";
        if (i == 0 ? e.parent != -1 || e.depth != 0
                   : e.parent < 0 || (size_t)e.parent >= i || page.elements[(size_t)e.parent].depth != e.depth - 1)
            return at + "parent";
        if (!clamped(e.left) || !clamped(e.top) || !clamped(e.width) || !clamped(e.height))
            return at + "number not clamped";
        if (e.actions.size() > MAX_PAGE_ACTIONS)
            return at + "too many actions";
        if (has_nul(e.name) || !well_formed_utf16(e.name))
            return at + "name";
        if (e.id.empty() || e.id.find('\0') != std::string::npos || e.unknown_type.find('\0') != std::string::npos)
            return at + "id or type";
        if (e.control_type < 50000 || e.control_type > 50040)
            return at + "control type";
    }
    if (page.children.size() > MAX_PAGE_CHILDREN)
        return "too many children";
    for (const PageChild& child : page.children)
        if (!clamped(child.left) || !clamped(child.top) || !clamped(child.width) || !clamped(child.height) ||
            has_nul(child.class_name) || has_nul(child.text) || !well_formed_utf16(child.text))
            return "child";
    if (has_nul(page.window_class))
        return "window class";
    for (const PageProblem& problem : page.problems)
        if (problem.count < 0 || (problem.count > 0 && problem.first_line < 1))
            return "problem count";
    std::vector<std::string> lines;
    describe_page_problems(page, &lines);
    for (const std::string& line : lines)
        if (line.compare(0, 10, "PAGE line ") != 0)
            return "problem line " + line;
    return "";
}

// What the simulator does with a page after reading it: its unknown types,
// its actions, Escape; on small pages, so the run stays quick.
void use_page(Page page)
{
    std::vector<PageUnknownType> unknown;
    int untyped = 0;
    find_unknown_page_types(page, &unknown, &untyped);
    for (const PageElement& e : page.elements)
        control_type_english(e.control_type);
    if (page.elements.size() > 64)
        return;
    for (int i = 0; i < (int)page.elements.size() && i < 32; i++) {
        std::vector<std::string> log;
        std::vector<PageActionKind> host;
        run_page_element(&page, i, PAGE_VIA_INVOKE + i % 5, &log, &host);
        page_element_visible(page, i);
        find_page_element(page, page.elements[(size_t)i].id);
    }
    for (size_t n = 0; n < page.elements.size() && close_page_popup(&page) >= 0; n++) {
    }
}


int read_file(const char* path, std::string* text)
{
    FILE* file = fopen(path, "rb");
    if (!file)
        return 0;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        text->append(buffer, got);
    fclose(file);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    FuzzRun run = fuzz_run("page-fuzz-failure.page");
    std::vector<std::string> seeds;
    for (int i = 1; i < argc; i++) {
        const char* value = i + 1 < argc ? argv[i + 1] : "0";
        if (read_fuzz_option(&run, argv[i], value)) {
            i++;
            continue;
        }
        std::string text;
        if (!read_file(argv[i], &text)) {
            fprintf(stderr, "page fuzz: cannot read %s\n", argv[i]);
            return 2;
        }
        seeds.push_back(text);
    }
    if (seeds.empty()) {
        fprintf(stderr, "usage: page_fuzz [--seed N] [--inputs N] [--only I] [--save FILE] SEED_FILE...\n");
        return 2;
    }
    watch_input("page fuzz", run.save_path);
    unsigned long long seed = run.seed;
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    unsigned long long tried = 0, bytes = 0;
    int met[PAGE_PROBLEM_KINDS] = {};
    for (unsigned long long index = run.first; index < run.end; index++) {
        std::string input = make_input(seed, index, seeds);
        set_current_input(&input, index);
        Page page;
        int returned = parse_page_text(input, &page);
        std::string broken = check_page(page, returned);
        if (broken.empty() && index % 8 == 0) {
            // The same text in UTF-16, as PowerShell would have written it.
            std::string mended = utf8_mended(input);
            Page utf8, utf16;
            parse_page_text(mended, &utf8);
            parse_page_text(utf16_twin(mended, (int)(index / 8 % 2)), &utf16);
            std::string difference = page_difference(utf8, utf16, 1);
            if (!difference.empty())
                broken = "UTF-16 twin differs: " + difference;
        }
        if (!broken.empty()) {
            fprintf(stderr, "page fuzz: seed %llu input %llu broke the page: %s (replay: --seed %llu --only %llu)\n",
                    seed, index, broken.c_str(), seed, index);
            save_current_input();
            return 1;
        }
        use_page(page);
        for (int kind = 0; kind < PAGE_PROBLEM_KINDS; kind++)
            met[kind] += page.problems[kind].count > 0;
        tried++;
        bytes += input.size();
        if (tried % 100000 == 0) {
            printf("page fuzz: %llu inputs, %.0f s\n", tried, seconds_since(start));
            fflush(stdout);
        }
    }
    set_current_input(nullptr, 0);
    double took = seconds_since(start);
    printf("page fuzz: seed %llu, %llu inputs (%.1f MB) in %.1f s, %.0f inputs/s, 0 crashes, 0 broken pages\n", seed,
           tried, (double)bytes / 1e6, took, took > 0 ? (double)tried / took : 0.0);
    static const char* const KINDS[PAGE_PROBLEM_KINDS] = {
        "big-file", "long-line", "nul", "bad-utf16", "bad-utf8", "deep", "huge-number", "many-elements",
        "many-actions", "many-children"};
    printf("page fuzz: inputs per problem kind:");
    for (int kind = 0; kind < PAGE_PROBLEM_KINDS; kind++)
        printf(" %s %d", KINDS[kind], met[kind]);
    printf("\n");
    return 0;
}
