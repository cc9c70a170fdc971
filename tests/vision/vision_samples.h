// Generated pictures and rectangles for the vision code, the same on every
// platform: case i is made from its own seeded generator, so any subset of
// cases can be made again anywhere. Both the native checks and the Windows
// tests run them and compare a digest of the results.
#pragma once

#include <stdint.h>

#include <string>

#include "vision/test_pictures.h"

enum { SAMPLE_CASES = 10000, SAMPLE_RECTS = 8, SAMPLE_PAIRS = 8 };

struct SampleCase {
    int32_t kind;
    TestPicture picture;
    Rect button;                       // the button drawn, or all zero
    Rect rects[SAMPLE_RECTS];          // for has_profile_marker
    Rect pairs[SAMPLE_PAIRS][2];       // for boxes_agree
};

// The digest and any broken rule seen over a set of cases.
struct SampleOutcome {
    uint64_t digest;
    int32_t cases;
    int32_t buttons_found;
    int32_t markers_found;
    int32_t problems;
    std::string first_problem;
};

void make_sample_case(uint32_t index, SampleCase* sample);
// Runs the cases first, first + stride, ... below end and folds every
// result into outcome->digest, checking the rules that hold for any picture.
// `extra`, when given, checks each case further (the native checks hold the
// detector against a literal reading of its rules there).
typedef void (*SampleCheck)(uint32_t index, const SampleCase& sample, SampleOutcome* outcome);
void run_sample_cases(uint32_t first, uint32_t end, uint32_t stride, SampleOutcome* outcome,
                      SampleCheck extra = nullptr);
void note_problem(SampleOutcome* outcome, uint32_t index, const char* what);

// The digest of every tenth case (0, 10, ..., 9990) as the native checks
// computed it; the Windows build must come to the same.
const uint64_t SAMPLE_DIGEST_EVERY_TENTH = 0xd2358bf2e3042c9aULL;
