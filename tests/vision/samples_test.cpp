// Generated pictures: the same results as the native checks computed.
#include <gtest/gtest.h>

#include "vision/vision_samples.h"

namespace {

TEST(VisionSamples, EveryTenthCaseGivesTheRecordedDigest)
{
    SampleOutcome outcome;
    run_sample_cases(0, SAMPLE_CASES, 10, &outcome);
    EXPECT_EQ(0, outcome.problems) << outcome.first_problem;
    EXPECT_EQ(1000, outcome.cases);
    EXPECT_GT(outcome.buttons_found, 50);
    EXPECT_GT(outcome.markers_found, 50);
    EXPECT_EQ(SAMPLE_DIGEST_EVERY_TENTH, outcome.digest) << std::hex << outcome.digest;
}

}  // namespace
