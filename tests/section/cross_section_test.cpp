// Cross-section editing, reading and the triplet of a chainage.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "common/library_fixture.h"
#include "database/section.h"
#include "terrain/values.h"
#include "road/road_fixture.h"

namespace {

const char* kFull = "Section is at maximum capacity\nUnable to add new points";

XSECTION sectionOf(std::initializer_list<double> offsets, std::initializer_list<double> elevations = {}) {
    XSECTION xs{};
    xs.capacity = kSectionCapacity;
    auto e = elevations.begin();
    for (double o : offsets) {
        const double z = e != elevations.end() ? *e++ : 0.0;
        xs.points[xs.count] = SECTMEM{o, z, static_cast<double>(xs.count + 1), 0};
        ++xs.count;
    }
    return xs;
}

// Each row: a relative point number (or marker) and the point it names in xs (0: none).
void expectRelative(XSECTION& xs, std::initializer_list<std::pair<int, int>> rows) {
    for (const auto& [n, point] : rows) EXPECT_EQ(dbfRelativePtno(n, xs), point) << n;
}

std::vector<double> offsets(const XSECTION& xs) {
    std::vector<double> all;
    for (int i = 0; i < xs.count; ++i) all.push_back(xs.points[i].offset);
    return all;
}

XSECTION filled(int n) {
    XSECTION xs{};
    for (int i = 0; i < n; ++i) xs.points[i] = SECTMEM{static_cast<double>(i), 0.0, 0.0, 0};
    xs.count = static_cast<std::int16_t>(n);
    return xs;
}

using CrossSectionTest = LibraryTest;

TEST_F(CrossSectionTest, AddKeepsOffsetOrderAndPutsEqualOffsetsAfterTheirEquals) {
    XSECTION xs{};
    const double added[] = {5, -5, 0, 1e-13, -7, 5};   // 1e-13: the same offset as 0 within tolerance
    for (int i = 0; i < 6; ++i) ASSERT_EQ(dbfAddOffsetElevation(added[i], i + 1, i + 1, 0, &xs), 1) << i;
    EXPECT_EQ(xs.capacity, kSectionCapacity);
    ASSERT_EQ(xs.count, 6);
    const double ids[] = {5, 2, 3, 4, 1, 6};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(xs.points[i].idNo, ids[i]) << i;
}

TEST_F(CrossSectionTest, CapacityAllowsAnAppendTo200ButAnInsertionOnlyTo199) {
    XSECTION xs = filled(199);
    // In the middle and before the first: refused; an append fills the last place.
    for (const auto& [offset, result, count] : {std::tuple{50.5, 0, 199}, {-1.0, 0, 199}, {500.0, 1, 200}, {600.0, 0, 200}}) {
        ui.clear();
        EXPECT_EQ(dbfAddOffsetElevation(offset, 0, 0, 0, &xs), result) << offset;
        EXPECT_EQ(xs.count, count) << offset;
        EXPECT_EQ(ui.texts(), result ? std::vector<std::string>{} : std::vector<std::string>{kFull}) << offset;
    }

    SECTMEM two[2] = {{-2, 0, 0, 0}, {-1, 0, 0, 0}};
    XSECTION almost = filled(197), over = filled(198);
    EXPECT_EQ(dbfInsertOffsetElevation(1, 2, two, &almost, 0), 1);
    EXPECT_EQ(dbfInsertOffsetElevation(1, 2, two, &over, 0), 0);
    // a refused insertion leaves the points alone
    EXPECT_EQ(nums(almost.count, over.count, over.points[0].offset), nums(199, 198, 0.0));
}

TEST_F(CrossSectionTest, DamagedCountsAreClampedNotTrusted) {
    XSECTION xs = filled(3);
    xs.count = -5;
    EXPECT_EQ(dbfAddOffsetElevation(1, 1, 0, 0, &xs), 1);
    EXPECT_EQ(xs.count, 1);
    xs = filled(200);
    xs.count = 30000;
    EXPECT_EQ(dbfAddOffsetElevation(1, 1, 0, 0, &xs), 0);
    EXPECT_EQ(nums(xs.count, dbfSectTrav(0.5, &xs)), nums(200, 1));
    xs.count = 30000;
    _bsRECT box{};
    dbfSectLimits(box, xs);
    EXPECT_EQ(box.right, 199.0);
}

TEST_F(CrossSectionTest, InsertAbsoluteAndRelativeSteps) {
    XSECTION xs = sectionOf({0, 10}, {100, 101});
    SECTMEM abs[1] = {{5, 50, 9, -100}};
    ASSERT_EQ(dbfInsertOffsetElevation(2, 1, abs, &xs, 0), 1);
    EXPECT_EQ(offsets(xs), (std::vector<double>{0, 5, 10}));
    EXPECT_EQ(xs.points[1].marker, -100);

    // Steps to the right of point 3: each from the previous new point.
    SECTMEM right[2] = {{2, 1, 7, 3}, {3, -2, 8, 4}};
    ASSERT_EQ(dbfInsertOffsetElevation(3, 2, right, &xs, 1), 1);
    EXPECT_EQ(offsets(xs), (std::vector<double>{0, 5, 10, 12, 15}));
    EXPECT_EQ(nums(xs.points[3].elevation, xs.points[4].elevation, xs.points[4].idNo, xs.points[4].marker), nums(102, 100, 8, 4));

    // Steps to the left of point 1: the first item nearest to it.
    SECTMEM left[2] = {{1, 1, 0, 0}, {2, 1, 0, 0}};
    ASSERT_EQ(dbfInsertOffsetElevation(1, 2, left, &xs, -1), 1);
    EXPECT_EQ(offsets(xs), (std::vector<double>{-3, -1, 0, 5, 10, 12, 15}));
    EXPECT_EQ(nums(xs.points[0].elevation, xs.points[1].elevation), nums(102, 101));

    XSECTION one = sectionOf({0});
    EXPECT_EQ(dbfInsertOffsetElevation(1, 1, right, &one, 1), 0) << "a relative step needs two points";
    EXPECT_EQ(dbfInsertOffsetElevation(3, 1, right, &xs, 0), 1);
    // positions 0 and beyond the end; after the last point, a relative step has no base point
    for (const auto& [at, kind] : {std::pair{0, 0}, {xs.count + 2, 0}, {xs.count + 1, 1}})
        EXPECT_EQ(dbfInsertOffsetElevation(at, 1, right, &xs, kind), 0) << at << " " << kind;
}

TEST_F(CrossSectionTest, StepHeightsFromGrades) {
    // The right segment rises 20 %, the left one falls 10 % outward.
    XSECTION xs = sectionOf({-10, 0, 10}, {9, 10, 12});
    SECTMEM cont[2] = {{5, kStepContinueGrade, 0, 0}, {5, kStepContinueGrade, 0, 0}};
    ASSERT_EQ(dbfInsertOffsetElevation(3, 2, cont, &xs, 1), 1);
    EXPECT_NEAR(xs.points[3].elevation, 13, 1e-9);
    EXPECT_NEAR(xs.points[4].elevation, 14, 1e-9) << "the grade carries on from the new point";

    SECTMEM contLeft[1] = {{10, kStepContinueGrade, 0, 0}};
    ASSERT_EQ(dbfInsertOffsetElevation(1, 1, contLeft, &xs, -1), 1);
    EXPECT_DOUBLE_EQ(xs.points[0].offset, -20);
    EXPECT_NEAR(xs.points[0].elevation, 8, 1e-9) << "continues the fall outward";

    // Reference grades: right from marker 100 (else -101), left from marker -100 (else 101).
    XSECTION ref = sectionOf({-10, -4, 0, 4, 10}, {5, 6, 8, 7, 5});
    ref.points[3].marker = 100;    // right grade: from offset 0 (8) to 4 (7) = -25 %
    ref.points[4].marker = -101;   // 100 comes first
    SECTMEM rr[1] = {{2, kStepReferenceGrade, 0, 0}};
    ASSERT_EQ(dbfInsertOffsetElevation(5, 1, rr, &ref, 1), 1);
    EXPECT_NEAR(ref.points[5].elevation, 4.5, 1e-9);
    ref.points[1].marker = 101;    // left grade with no -100: from offset 0 (8) to -4 (6) = -50 %
    SECTMEM lr[1] = {{2, kStepReferenceGrade, 0, 0}};
    ASSERT_EQ(dbfInsertOffsetElevation(1, 1, lr, &ref, -1), 1);
    EXPECT_NEAR(ref.points[0].elevation, 4, 1e-9);

    // Without a segment before the base point, and without a marked point on the right, the
    // grade is 0: the step keeps the base height.
    XSECTION bare = sectionOf({0, 10}, {10, 20});
    SECTMEM first[1] = {{5, kStepContinueGrade, 0, 0}};
    ASSERT_EQ(dbfInsertOffsetElevation(1, 1, first, &bare, 1), 1);
    EXPECT_DOUBLE_EQ(bare.points[1].elevation, 10);
    SECTMEM unmarked[1] = {{5, kStepReferenceGrade, 0, 0}};
    ASSERT_EQ(dbfInsertOffsetElevation(3, 1, unmarked, &bare, 1), 1);
    EXPECT_DOUBLE_EQ(bare.points[3].elevation, 20);

    // A vertical reference segment gives 999.99 %.
    XSECTION kerb = sectionOf({0, 0, 5}, {10, 10.15, 10});
    kerb.points[1].marker = 100;
    SECTMEM step[1] = {{1, kStepReferenceGrade, 0, 0}};
    ASSERT_EQ(dbfInsertOffsetElevation(3, 1, step, &kerb, 1), 1);
    EXPECT_NEAR(kerb.points[3].elevation, 10 + 9.9999, 1e-9);
}

TEST_F(CrossSectionTest, DeleteRemoveAndChop) {
    XSECTION xs = sectionOf({1, 2, 3, 4, 5});
    dbfDeleteOffsetElevation(2, 3, &xs, 0);
    EXPECT_EQ(offsets(xs), (std::vector<double>{1, 4, 5}));
    dbfDeleteOffsetElevation(3, 2, &xs, 0);
    EXPECT_EQ(xs.count, 3);
    dbfDeleteOffsetElevation(2, 9, &xs, 1);
    EXPECT_EQ(offsets(xs), (std::vector<double>{1}));

    XSECTION r = sectionOf({-3, -1, 0, 1, 3});
    dbfRemoveOffsetElevation(1, &r, 0);
    EXPECT_EQ(r.count, 5);
    dbfRemoveOffsetElevation(1, &r, 1);
    EXPECT_EQ(offsets(r), (std::vector<double>{-3, -1, 0, 1}));
    dbfRemoveOffsetElevation(-1, &r, -1);
    EXPECT_EQ(offsets(r), (std::vector<double>{-1, 0, 1}));

    // Each cut adds its point before the points beyond it go: a point already on the cut stays
    // and the cut point follows it; a full section refuses the first cut point.
    struct Chop {
        XSECTION xs;
        double left, right;
        std::vector<double> offsets, elevations;
        bool full;
    };
    std::vector<double> tenTo20{10.5};
    for (int o = 11; o <= 20; ++o) tenTo20.push_back(o);
    const Chop chops[] = {
        {sectionOf({-10, 0, 10}, {0, 10, 20}), -5, 5, {-5, 0, 5}, {5, 10, 15}, false},
        {sectionOf({-10, 10}, {0, 20}), -5, 5, {}, {}, false},
        {sectionOf({-10, -5, 0, 5, 10}, {0, 1, 2, 3, 4}), -5, 5, {-5, -5, 0, 5, 5}, {1, 1, 2, 3, 3}, false},
        {sectionOf({-1, 0, 1}), -5, 5, {-1, 0, 1}, {0, 0, 0}, false},
        {filled(200), 10.5, 20.5, tenTo20, std::vector<double>(11, 0.0), true},
    };
    for (const Chop& c : chops) {
        XSECTION xs = c.xs;
        ui.clear();
        dbfChopSect(c.left, c.right, &xs);
        EXPECT_EQ(offsets(xs), c.offsets);
        for (int i = 0; i < xs.count && i < static_cast<int>(c.elevations.size()); ++i)
            EXPECT_DOUBLE_EQ(xs.points[i].elevation, c.elevations[static_cast<std::size_t>(i)]) << i;
        EXPECT_EQ(ui.showed(kFull), c.full);
    }
}

TEST_F(CrossSectionTest, SortMovesWholePointsIntoOffsetOrder) {
    XSECTION xs = sectionOf({1, 2, 3, 4, -9});
    xs.points[4].marker = 104;
    dbfSortSect(&xs);
    EXPECT_EQ(offsets(xs), (std::vector<double>{-9, 1, 2, 3, 4}));
    EXPECT_EQ(nums(xs.points[0].idNo, xs.points[0].marker), nums(5, 104));

    XSECTION many{};
    for (int i = 0; i < 150; ++i) many.points[i] = SECTMEM{static_cast<double>((i * 37) % 150), 0.0, static_cast<double>(i), 0};
    many.count = 150;
    dbfSortSect(&many);
    for (int i = 0; i < 150; ++i) {
        ASSERT_EQ(many.points[i].offset, i);
        EXPECT_EQ(static_cast<int>(many.points[i].idNo) * 37 % 150, i) << "fields travel together";
    }
}

TEST_F(CrossSectionTest, SegmentsInterpolationAndElevation) {
    XSECTION xs = sectionOf({0, 10, 20}, {100, 110, 90});
    for (const auto& [offset, segment] : {std::pair{0.0, 1}, {10.0, 2}, {20.0, 2}, {25.0, 0}, {-1.0, 0}})
        EXPECT_EQ(dbfSectTrav(offset, &xs), segment) << offset;
    XSECTION one = sectionOf({0});
    EXPECT_EQ(dbfSectTrav(0, &one), 0);

    XSECTION kerb = sectionOf({0, 0.00005}, {10, 10.2});
    // 30 extrapolates; segment 3 does not exist; a vertical segment gives its middle
    EXPECT_EQ(nums(dbfInterpElevation(15, 2, &xs), dbfInterpElevation(30, 2, &xs), dbfInterpElevation(5, 3, &xs),
                   dbfInterpElevation(0, 1, &kerb)),
              nums(100, 70, 0.0, 10.1));
    for (const auto& [offset, found, elevation] : {std::tuple{10.0004, 1, 110.0}, {5.0, 1, 105.0}, {21.0, 0, 0.0}}) {
        double z = -1;
        EXPECT_EQ(dbfSectElevation(offset, &xs, z), found) << offset;
        EXPECT_EQ(z, elevation) << offset;
    }

    _bsRECT box{};
    dbfSectLimits(box, xs);
    EXPECT_EQ(std::vector<double>({box.left, box.right, box.top, box.bottom}), std::vector<double>({0, 20, 110, 90}));
    XSECTION empty{};
    dbfSectLimits(box, empty);
    EXPECT_EQ(std::vector<double>({box.left, box.right, box.top, box.bottom}),
              std::vector<double>({2147483647.0, -2147483647.0, -2147483647.0, 2147483647.0}));
}

TEST_F(CrossSectionTest, RelativePointNumbersWithAndWithoutAPointOnTheCentreLine) {
    XSECTION on = sectionOf({-10, -3, 0, 3, 10});
    expectRelative(on, {{-1, 2}, {0, 3}, {1, 4}, {-2, 1}, {-3, 0}, {3, 0}, {-99, 1}, {-95, 5}, {-94, 0},
                        {99, 5}, {98, 4}, {94, 0}, {102, 0}, {-105, 0}});

    XSECTION off = sectionOf({-10, -3, 3, 10});
    expectRelative(off, {{-1, 2}, {1, 3}, {0, 0}, {-2, 1}});

    XSECTION right = sectionOf({2, 5});
    EXPECT_EQ(dbfRelativePtno(0, right), 0) << "no segment holds the centre line";

    off.points[1].marker = -101;
    off.points[3].marker = -101;
    off.points[2].marker = 104;
    expectRelative(off, {{-101, 2}, {104, 3}, {-104, 0}});

    off.points[2].idNo = 42.9;
    for (const auto& [id, point] : {std::pair{42, 3}, {1, 1}, {77, 0}}) EXPECT_EQ(dbfRelativeIDno(id, off), point) << id;
    off.points[0].idNo = 1e300;
    EXPECT_EQ(dbfRelativeIDno(1, off), 0);
}

// With a road open: elevations read from the road file and the triplet of a chainage.
class RoadSectionTest : public RoadTest {
protected:
    unsigned chainageAt(double chg, double y, double x, BYTE kind = kChgOrdinary) {
        CHGBASE rec{};
        const unsigned idx = dbfInsertChainage(chg, &rec);
        rec.y = y;
        rec.x = x;
        rec.kind = kind;
        EXPECT_EQ(dbfStoreChg(idx, &rec), 1);
        return idx;
    }
    CHGBASE chg(unsigned idx) {
        CHGBASE rec{};
        EXPECT_EQ(dbfGrabChg(idx, &rec), 1);
        return rec;
    }
};

TEST_F(RoadSectionTest, ElevationFromTheRoadFileWithRelativePointNumbers) {
    XSECTION xs = sectionOf({-8, -6, -2, 0, 2, 6, 8}, {1, 2, 3, 4, 5, 6, 7});
    xs.points[5].marker = 100;
    xs.points[6].marker = 101;
    xs.points[0].marker = -101;
    ASSERT_EQ(dbfStoreSect(100, 3, &xs), 1);
    XSECTION single = sectionOf({2}, {9});
    ASSERT_EQ(dbfStoreSect(200, 3, &single), 1);
    // On the last point; beyond it; relative point 1 and -98; between the 100 and 101 points; no
    // -100 point; no such layer; the section of one point.
    struct Case { double chainage, offset; int layer; double elevation; };
    for (const Case& c : {Case{100, 1, 3, 4.5}, {100, 8.00005, 3, 7}, {100, 9, 3, 0}, {100, 1, -3, 5}, {100, -98.7, -3, 2},
                          {100, 102, -3, 6.5}, {100, -102, -3, 0}, {100, 1, 4, 0}, {200, 2, 3, 9}, {200, 2.1, 3, 0}})
        EXPECT_DOUBLE_EQ(dbfInterpSecElevation(c.chainage, c.offset, c.layer), c.elevation) << c.chainage << " " << c.offset << " " << c.layer;
}

TEST_F(RoadSectionTest, TripletTakesTheNearestOrdinaryNeighboursAndReflectsAMissingOne) {
    chainageAt(0, 0, 0);             // no position: not usable
    chainageAt(10, 10, 5);
    chainageAt(15, 15, 6, kChgCurveStart);
    const unsigned mid = chainageAt(20, 20, 5);
    const unsigned last = chainageAt(30, 0, 0);

    double t[5][5];
    CHGBASE c = chg(mid);
    ASSERT_EQ(dbfTriplet(c, t), 1);
    // the next reflected past the unusable next chainage
    EXPECT_EQ(nums(t[0][2], t[0][3], t[1][2], t[2][2], t[2][3], t[0][0], t[1][0], t[2][0], t[3][3], t[4][4]),
              nums(10, 5, 20, 30, 5, 0, 0, 0, 0, 0));

    double start = 0.0;
    CHGBASE first = chg(dbfFindChainage(start, 1));
    ASSERT_EQ(dbfTriplet(first, t), 1) << "the next usable one is the chainage at 10";
    EXPECT_EQ(nums(t[2][2], t[0][2]), nums(10, -10));

    ui.clear();
    CHGBASE alone = chg(last);
    alone.prev = 0;
    alone.chainage = 123.4;
    EXPECT_EQ(dbfTriplet(alone, t), 0);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"No connections for 123"});
}

}  // namespace
