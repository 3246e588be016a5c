// The long-section list and its readers.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "database/section.h"
#include "terrain/values.h"
#include "section/profile_order.h"

namespace {

std::vector<double> offsets(LongSection& ls) {
    std::vector<double> all;
    for (int i = 0; i < ls.Count(); ++i) all.push_back(ls.Get(i)->offset);
    return all;
}

LongSection profile(std::vector<std::pair<double, double>> points) {
    LongSection ls;
    for (auto [o, z] : points) ls.AddOffsetElevation(o, z, 0);
    return ls;
}

TEST(LongSectionList, KeepsOffsetOrderAndOwnsItsElements) {
    LongSection ls;
    ls.AddOffsetElevation(3, 0, 1);
    ls.AddOffsetElevation(1, 0, 2);
    LSECTION* two = ls.AddOffsetElevation(2, 0, 3);
    EXPECT_EQ(offsets(ls), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(ls.Current(), two);
    EXPECT_EQ(nums(ls.Index(two), ls.First()->code, ls.Last()->code), nums(1, 2, 1));
    EXPECT_TRUE(ls.Get(3) == nullptr && ls.Get(-1) == nullptr);

    // Equal offsets within tolerance: a newcomer goes after its equals.
    LSECTION* same = ls.AddOffsetElevation(2.0 + 1e-13, 0, 4);
    EXPECT_EQ(ls.Index(same), 2);

    // An element inserted after another breaks the order until Sort.
    auto* early = new LSECTION;
    early->offset = -5;
    ls.Add(early, ls.Last());
    EXPECT_EQ(ls.Index(early), 4);
    ls.Sort();
    EXPECT_EQ(ls.Index(early), 0);

    double key = 3.0;
    LSECTION* found = ls.Get(
        [](void* e, void* k) {
            const double o = static_cast<LSECTION*>(static_cast<UI_ELEMENT*>(e))->offset;
            return dblCompare(o, *static_cast<double*>(k));
        },
        &key);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->code, 1);

    LSECTION* taken = ls.Subtract(found);
    EXPECT_EQ(taken, found);
    EXPECT_EQ(ls.Count(), 4);
    delete taken;

    ls.Destroy();
    EXPECT_EQ(ls.Count(), 0);
    ls.AddOffsetElevation(7, 1, 0);
    EXPECT_EQ(ls.Count(), 1) << "usable after Destroy";

    LSECTION fresh;
    EXPECT_EQ(nums(fresh.offset, fresh.elevation, fresh.code), nums(0, 0, 0));
}

TEST(LongSectionList, CopiesShareTheListAndTheLastOneFreesIt) {
    auto* a = new LongSection;
    a->AddOffsetElevation(1, 1, 0);
    {
        LongSection b;
        b.AddOffsetElevation(9, 9, 0);
        b = *a;                       // b's own list goes, a's list is shared
        EXPECT_EQ(b.Count(), 1);
        b.AddOffsetElevation(2, 2, 0);
        EXPECT_EQ(a->Count(), 2);
        const LongSection& itself = b;
        b = itself;   // assignment to itself keeps the list
        EXPECT_EQ(b.Count(), 2);
    }
    EXPECT_EQ(a->Count(), 2) << "the copy's end leaves the list to the other user";
    LongSection c(*a);
    delete a;
    EXPECT_EQ(nums(c.Count(), c.Get(1)->offset), nums(2, 2));
    // Sanitizer builds catch a double delete or a leak here.
}

TEST(LongSectionReaders, SegmentsInterpolationElevationAndLimits) {
    LongSection ls = profile({{0, 100}, {10, 110}, {20, 90}});
    // No special case for the last element: at 20 there is no segment.
    for (const auto& [offset, segment] : {std::pair{5.0, 1}, {10.0, 2}, {20.0, 0}, {-1.0, 0}})
        EXPECT_EQ(dbfLSectTrav(offset, &ls), segment) << offset;
    EXPECT_EQ(dbfLSectTrav(5, nullptr), 0);

    EXPECT_EQ(nums(dbfLInterpElevation(15, 2, &ls), dbfLInterpElevation(15, 3, &ls), dbfLInterpElevation(15, 0, &ls)), nums(100, 0, 0));
    for (const auto& [offset, found, elevation] : {std::tuple{19.9996, 1, 90.0}, {15.0, 1, 100.0}, {-3.0, 0, 0.0}}) {
        double z = -1;
        EXPECT_EQ(dbfLongSectElevation(offset, &ls, z), found) << offset;
        EXPECT_EQ(z, elevation) << offset;
    }

    _bsRECT box{};
    dbfLongSectLimits(box, &ls);
    EXPECT_EQ(std::vector<double>({box.left, box.right, box.top, box.bottom}), std::vector<double>({0, 20, 110, 90}));
    LongSection empty;
    dbfLongSectLimits(box, &empty);
    EXPECT_EQ(nums(box.left, box.top), nums(2147483647.0, -2147483647.0));

    // Equal offsets: no averaging, the divisor is only 1e-21.
    LongSection wall = profile({{5, 1}, {5, 3}});
    EXPECT_DOUBLE_EQ(dbfLInterpElevation(5, 1, &wall), 1);
}

// A cut puts its gathered points into the list in one go: the order must be the one the adds one
// by one give, ties within tolerance (in either direction, and chains of them) included.
TEST(LongSectionList, BatchOrderEqualsAddsOneByOne) {
    std::mt19937 random(25);
    for (int round = 0; round < 200; ++round) {
        std::vector<double> arrived;
        const int n = 1 + static_cast<int>(random() % 40);
        for (int i = 0; i < n; ++i) {
            const double base = (static_cast<int>(random() % 7) - 3) * (round % 2 ? 1e-13 : 2.5);
            const double nudge = (static_cast<int>(random() % 5) - 2) * 0.6e-12 * (std::fabs(base) + 1);
            arrived.push_back(base + (random() % 3 ? nudge : 0.0));
        }
        LongSection one;
        for (int i = 0; i < n; ++i) one.AddOffsetElevation(arrived[i], i, 0);
        std::vector<int> expected;
        for (int i = 0; i < one.Count(); ++i) expected.push_back(static_cast<int>(one.Get(i)->elevation));
        ASSERT_EQ(profileOrder(arrived), expected) << "round " << round;
    }
    EXPECT_TRUE(profileOrder({1.0, NAN, 2.0}).empty()) << "left to the adds one by one";
    EXPECT_TRUE(profileOrder({1.0, INFINITY}).empty());
}

}  // namespace
