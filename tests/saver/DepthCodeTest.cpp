// Conversion of depth-layer samples into 32-bit depth codes.
#include "saver/src/DepthCode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr double kDepthMax = 100.0;
constexpr double kFar = 150.0;  // 1.5 x depthMax

TEST(DepthCode, WorkedValues)
{
    EXPECT_EQ(depthCode(0.25f, kDepthMax, kFar), 2147483647u);
    EXPECT_EQ(depthCode(1.0f, kDepthMax, kFar), 0u);
    EXPECT_EQ(depthCode(0.0f, kDepthMax, kFar), 0xFFFFFFFFu);
    EXPECT_EQ(depthCode(-0.0f, kDepthMax, kFar), 0xFFFFFFFFu);
    // Just above 0: 4294967294 / 1.5, truncated, well below the marker.
    EXPECT_EQ(depthCode(std::numeric_limits<float>::denorm_min(), kDepthMax, kFar), 2863311529u);
}

TEST(DepthCode, DifferenceIsTakenInSinglePrecision)
{
    // 1 - 0.1f rounds to the float 0.89999997615814208984375; taken in
    // double it would give 2576980372.
    EXPECT_EQ(depthCode(0.1f, kDepthMax, kFar), 2576980308u);
    // The depth range cancels against the far distance of 1.5 x depthMax.
    EXPECT_EQ(depthCode(0.1f, 2.0, 3.0), 2576980308u);
    // More samples whose distance from 1 has more bits than a float holds;
    // after each, the code of the unrounded difference, which arithmetic
    // wider than float (the x87 unit's) would give.
    const struct {
        float v;
        std::uint32_t code;
    } rounded[] = {
        {1e-7f, 2863311188u},        // 2863311243
        {1e-4f, 2863025150u},        // 2863025198
        {0.05f, 2720145918u},        // 2720145950
        {0.33333334f, 1908874239u},  // 1908874324
    };
    for (const auto& r : rounded)
        EXPECT_EQ(depthCode(r.v, kDepthMax, kFar), r.code) << r.v;
}

TEST(DepthCode, OutOfRangeSamplesClampInsteadOfOverflowing)
{
    // Beyond the far plane (v > 1) the code would be negative.
    EXPECT_EQ(depthCode(1.5f, kDepthMax, kFar), 0u);
    EXPECT_EQ(depthCode(std::numeric_limits<float>::infinity(), kDepthMax, kFar), 0u);
    // Behind the camera (v < 0) it grows; past 2^32 - 1 it clamps.
    EXPECT_EQ(depthCode(-0.4f, kDepthMax, kFar), 4008636072u);
    EXPECT_EQ(depthCode(-1.0f, kDepthMax, kFar), 0xFFFFFFFFu);
    EXPECT_EQ(depthCode(-std::numeric_limits<float>::max(), kDepthMax, kFar), 0xFFFFFFFFu);
    EXPECT_EQ(depthCode(-std::numeric_limits<float>::infinity(), kDepthMax, kFar), 0xFFFFFFFFu);
}

TEST(DepthCode, NotANumberMeansNoDepth)
{
    EXPECT_EQ(depthCode(std::numeric_limits<float>::quiet_NaN(), kDepthMax, kFar), 0xFFFFFFFFu);
    EXPECT_EQ(depthCode(-std::numeric_limits<float>::quiet_NaN(), kDepthMax, kFar), 0xFFFFFFFFu);
}

}  // namespace
