// A mutation fuzzer for the picture reader (kit/page_picture.cpp), which
// reads the BMP beside a player's dump or diagnosis: every byte of it is
// untrusted. Built natively under the address and undefined-behaviour
// sanitizers. It makes pictures as `dump --shot` and other writers do (24 and
// 32 bits, top-down and bottom-up, longer headers, gaps before the pixels),
// damages them (flipped bits, header fields set to edge values, cut or grown
// files, lost and inserted bytes), reads each, and holds the result to the
// reader's bounds: a picture it takes carries exactly the pixels its own
// header (the one GDI reads) describes. Every 64th input goes through a file
// too, and now and then a sparse file past the size bound, which must be
// refused unread. Input i of seed s is made from (s, i) alone, so `--only i`
// replays it. A crash or sanitizer report ends the run and saves the input.
//   picture_fuzz [--seed N] [--inputs N] [--only I] [--save FILE] [--scratch FILE]
#include "page_picture.h"
#include "fuzz_harness.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>

namespace {

const int MAX_MUTATIONS = 6;
const int MAX_SEED_SIDE = 48;  // small pictures: a million of them stay quick

void put_u16(std::string* t, size_t at, unsigned value)
{
    for (size_t k = 0; k < 2 && at + k < t->size(); k++)
        (*t)[at + k] = (char)(value >> (8 * k));
}

void put_u32(std::string* t, size_t at, unsigned value)
{
    for (size_t k = 0; k < 4 && at + k < t->size(); k++)
        (*t)[at + k] = (char)(value >> (8 * k));
}

unsigned get_u32(const unsigned char* at)
{
    return (unsigned)at[0] | (unsigned)at[1] << 8 | (unsigned)at[2] << 16 | (unsigned)at[3] << 24;
}

// A well-formed picture as a writer makes it.
std::string make_picture(Random* random)
{
    static const unsigned INFO_SIZES[] = {40, 40, 40, 52, 56, 108, 124};
    unsigned info = INFO_SIZES[below(random, 7)];
    int width = 1 + (int)below(random, MAX_SEED_SIDE);
    int rows = 1 + (int)below(random, MAX_SEED_SIDE);
    int bits = below(random, 2) ? 32 : 24;
    size_t gap = below(random, 4) == 0 ? below(random, 64) : 0;
    size_t offset = PICTURE_FILE_HEADER_BYTES + info + gap;
    size_t row_bytes = ((size_t)width * (size_t)bits + 31) / 32 * 4;
    std::string t(offset + row_bytes * (size_t)rows, '\0');
    t[0] = 'B';
    t[1] = 'M';
    put_u32(&t, 2, (unsigned)t.size());
    put_u32(&t, 10, (unsigned)offset);
    put_u32(&t, 14, info);
    put_u32(&t, 18, (unsigned)width);
    put_u32(&t, 22, below(random, 2) ? (unsigned)-rows : (unsigned)rows);  // top-down as `dump --shot` writes
    put_u16(&t, 26, 1);
    put_u16(&t, 28, (unsigned)bits);
    for (size_t i = offset; i < t.size(); i++)
        t[i] = (char)below(random, 256);
    return t;
}

// The header fields a damaged picture may lie in, and values at the bounds.
const size_t FIELDS[] = {2, 10, 14, 18, 22, 26, 28, 30, 34, 46, 50};
const unsigned EDGES[] = {
    0, 1, 2, 23, 24, 31, 32, 33, 53, 54, 55, 4095, 4096, 4097, 16383, 16384, 16385, 60000, 65535, 65536,
    8192 * 8192, 8192 * 8192 + 1, 0x7fffffff, 0x80000000u, 0xffffffffu, (unsigned)-60000, (unsigned)-16384,
    (unsigned)-16385, 268439552, 268439553,
};

enum Mutation { FLIP_BITS, SET_FIELD, CUT, GROW, ERASE, INSERT, MUTATIONS };

void mutate(Random* random, std::string* text)
{
    std::string& t = *text;
    switch ((Mutation)below(random, MUTATIONS)) {
    case FLIP_BITS:
        for (size_t n = 1 + below(random, 4); n > 0 && !t.empty(); n--)
            t[below(random, t.size() < 64 ? t.size() : 64)] ^= (char)(1 << below(random, 8));
        break;
    case SET_FIELD: {
        size_t field = FIELDS[below(random, sizeof FIELDS / sizeof FIELDS[0])];
        unsigned value = EDGES[below(random, sizeof EDGES / sizeof EDGES[0])];
        if (field == 26 || field == 28)
            put_u16(&t, field, value);
        else
            put_u32(&t, field, value);
        break;
    }
    case CUT:
        t.resize(below(random, t.size() + 1));
        break;
    case GROW:
        t.append(below(random, 4) == 0 ? 1 + below(random, 4096) : 1 + below(random, 8), (char)below(random, 256));
        break;
    case ERASE:
        if (!t.empty())
            t.erase(below(random, t.size()), 1 + below(random, 16));
        break;
    default:
        t.insert(below(random, t.size() + 1), 1 + below(random, 16), (char)below(random, 256));
        break;
    }
}

std::string make_input(unsigned long long seed, unsigned long long index)
{
    Random random{seed * 0x100000001b3ULL ^ (index + 1) * 0x9e3779b97f4a7c15ULL};
    std::string text = make_picture(&random);
    // One input in eight stays whole: the reader must take it.
    if (below(&random, 8) == 0)
        return text;
    for (size_t n = 1 + below(&random, MAX_MUTATIONS); n > 0; n--)
        mutate(&random, &text);
    return text;
}

// What is wrong with the verdict on `bytes`, or "" when it keeps the bounds.
std::string check_picture(const std::string& bytes, PictureVerdict verdict, const PageBackground& background,
                          const PictureLayout& layout)
{
    char refusal[256];
    describe_picture_refusal(verdict, layout, refusal, sizeof refusal);
    if (strncmp(refusal, "PICTURE refused: ", 17) != 0)
        return "refusal line";
    if (verdict != PICTURE_READ)
        return background.pixels.empty() && background.info.empty() ? "" : "a refused picture left pixels";
    // What GDI will read: the header the reader made, and the pixels under it.
    if (background.info.size() != PICTURE_INFO_BYTES)
        return "header size";
    const unsigned char* info = background.info.data();
    long long width = (int)get_u32(info + 4), height = (int)get_u32(info + 8);
    long long rows = height < 0 ? -height : height;
    unsigned bits = info[14] | (unsigned)info[15] << 8;
    if (get_u32(info) != PICTURE_INFO_BYTES || (info[12] | info[13] << 8) != 1 || (bits != 24 && bits != 32) ||
        get_u32(info + 16) != 0 || get_u32(info + 32) != 0 || get_u32(info + 36) != 0)
        return "header fields";
    if (width != background.width || height != background.height)
        return "header size fields";
    if (width < 1 || rows < 1 || width > MAX_PICTURE_SIDE || rows > MAX_PICTURE_SIDE || width * rows > MAX_PICTURE_PIXELS)
        return "dimensions beyond the bounds";
    unsigned long long row_bytes = ((unsigned long long)width * bits + 31) / 32 * 4;
    if (background.pixels.size() != row_bytes * (unsigned long long)rows)
        return "pixels not as the header gives them";
    if (bytes.size() > MAX_PICTURE_FILE_BYTES || layout.offset + background.pixels.size() > bytes.size() ||
        memcmp(background.pixels.data(), bytes.data() + layout.offset, background.pixels.size()) != 0)
        return "pixels not the file's";
    return "";
}


// The input through a file, as the simulator reads it; `sparse_size` > 0
// makes the file that long with holes (the input at its start).
std::string check_file(const char* scratch, const std::string& input, unsigned long long sparse_size,
                       PictureVerdict in_memory, const PageBackground& read)
{
    FILE* file = fopen(scratch, "wb");
    if (!file || fwrite(input.data(), 1, input.size(), file) != input.size()) {
        if (file)
            fclose(file);
        return "cannot write the scratch file";
    }
    fclose(file);
    if (sparse_size && truncate(scratch, (off_t)sparse_size) != 0)
        return "cannot grow the scratch file";
    wchar_t path[4096];
    if (mbstowcs(path, scratch, 4096) >= 4096)
        return "scratch path too long";
    PageBackground loaded = PageBackground();
    PictureLayout layout;
    PictureVerdict verdict = load_page_background(path, &loaded, &layout);
    if (sparse_size)
        return verdict == PICTURE_TOO_BIG && loaded.pixels.empty() ? "" : "a file past the bound was not refused";
    if (verdict != in_memory)
        return "the file's verdict differs from the bytes'";
    if (verdict == PICTURE_READ && (loaded.pixels != read.pixels || loaded.info != read.info))
        return "the file's pixels differ from the bytes'";
    return "";
}

}  // namespace

int main(int argc, char** argv)
{
    FuzzRun run = fuzz_run("picture-fuzz-failure.bmp");
    const char* scratch = "picture-fuzz-scratch.bmp";
    for (int i = 1; i < argc; i++) {
        const char* value = i + 1 < argc ? argv[i + 1] : "0";
        if (!read_fuzz_option(&run, argv[i], value)) {
            if (strcmp(argv[i], "--scratch")) {
                fprintf(stderr, "usage: picture_fuzz [--seed N] [--inputs N] [--only I] [--save FILE] [--scratch FILE]\n");
                return 2;
            }
            scratch = value;
        }
        i++;
    }
    unsigned long long seed = run.seed;
    watch_input("picture fuzz", run.save_path);
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    unsigned long long tried = 0, bytes = 0, through_files = 0, sparse = 0;
    unsigned long long verdicts[PICTURE_SHORT + 1] = {};
    for (unsigned long long index = run.first; index < run.end; index++) {
        std::string input = make_input(seed, index);
        set_current_input(&input, index);
        PageBackground read = PageBackground();
        PictureLayout layout;
        PictureVerdict verdict = read_page_picture(input, &read, &layout);
        std::string broken = check_picture(input, verdict, read, layout);
        if (broken.empty() && index % 64 == 0) {
            // Now and then a file past the size bound: sparse, so it costs nothing.
            unsigned long long past = index % 4096 == 0 ? MAX_PICTURE_FILE_BYTES + 1 + index % 300000000ULL : 0;
            broken = check_file(scratch, input, past, verdict, read);
            through_files++;
            sparse += past != 0;
        }
        if (!broken.empty()) {
            fprintf(stderr, "picture fuzz: seed %llu input %llu: %s (replay: --seed %llu --only %llu)\n", seed, index,
                    broken.c_str(), seed, index);
            save_current_input();
            unlink(scratch);
            return 1;
        }
        verdicts[verdict]++;
        tried++;
        bytes += input.size();
        if (tried % 100000 == 0) {
            printf("picture fuzz: %llu inputs, %.0f s\n", tried, seconds_since(start));
            fflush(stdout);
        }
    }
    set_current_input(nullptr, 0);
    unlink(scratch);
    double took = seconds_since(start);
    printf("picture fuzz: seed %llu, %llu inputs (%.1f MB; %llu through files, %llu of them sparse past the bound) "
           "in %.1f s, %.0f inputs/s, 0 crashes, 0 wrong verdicts\n",
           seed, tried, (double)bytes / 1e6, through_files, sparse, took, took > 0 ? (double)tried / took : 0.0);
    static const char* const NAMES[PICTURE_SHORT + 1] = {"read",          "unreadable", "too-big", "not-bmp",
                                                          "unsupported", "too-large",  "short"};
    printf("picture fuzz: inputs per verdict:");
    for (int v = 0; v <= PICTURE_SHORT; v++)
        printf(" %s %llu", NAMES[v], verdicts[v]);
    printf("\n");
    return 0;
}
