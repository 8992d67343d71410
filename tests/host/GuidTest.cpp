// GUID helpers: storing parts and comparing part by part.
#include <gtest/gtest.h>

#include <cstring>

#include "host/lx.h"
#include "hostabi/lxguids.h"

namespace {

LXtGUID saverGuid()
{
    LXtGUID g;
    lx::GUIDSet(&g, 0x75AD8F36, 0x5B69, 0x413B, 0xA7, 0x7B, 0x5A, 0x78, 0xD3, 0x9A, 0xEF, 0x51);
    return g;
}

TEST(GuidTest, EqualGuidsInDifferentMemoryCompareZero)
{
    const LXtGUID a = saverGuid();
    const LXtGUID b = LXu_SAVER;
    EXPECT_EQ(0, std::memcmp(&a, &b, sizeof a)) << "GUIDSet stores the parts in order";
    EXPECT_EQ(0, lx::GUIDCompare(&a, &b));
}

TEST(GuidTest, EveryDifferingPartComparesNonZero)
{
    const LXtGUID base = saverGuid();

    LXtGUID last = base;
    last.x4[7] ^= 0x01;
    EXPECT_NE(0, lx::GUIDCompare(&base, &last));
    EXPECT_NE(0, lx::GUIDCompare(&last, &base));

    LXtGUID first = base;
    first.x1 += 1;
    EXPECT_NE(0, lx::GUIDCompare(&base, &first));

    LXtGUID mid = base;
    mid.x3 = 0;
    EXPECT_NE(0, lx::GUIDCompare(&base, &mid));
}

TEST(GuidTest, DifferencesAreUnsignedAtTheFirstDifferingPart)
{
    LXtGUID a = LXu_UNKNOWN;
    LXtGUID b = LXu_UNKNOWN;
    // The whole range of the 32-bit part: a signed subtraction would
    // overflow here; the wrapped unsigned one stays non-zero.
    a.x1 = 0x80000000u;
    b.x1 = 0;
    EXPECT_NE(0, lx::GUIDCompare(&a, &b));

    a = b = LXu_UNKNOWN;
    a.x2 = 0xFFFF;
    b.x2 = 0x0001;
    EXPECT_EQ(0xFFFE, lx::GUIDCompare(&a, &b));

    // An earlier part decides even when a later one differs the other way.
    a = b = LXu_UNKNOWN;
    a.x4[0] = 2;
    b.x4[0] = 1;
    a.x4[7] = 0;
    b.x4[7] = 0xFF;
    EXPECT_EQ(1, lx::GUIDCompare(&a, &b));
}

}  // namespace
