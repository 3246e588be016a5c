// Section frames and sections cut from the terrain.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "database/section.h"
#include "terrain/terrain_fixture.h"

namespace {

constexpr double kY0 = 5000.0, kX0 = 5000.0;

// The frame of the triplet previous (y0, x0), this (y1, x1) and next (y2, x2).
void tripletFrame(double (*f)[5], double y0, double x0, double y1, double x1, double y2, double x2) {
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c) f[r][c] = 0.0;
    f[0][2] = y0, f[0][3] = x0, f[1][2] = y1, f[1][3] = x1, f[2][2] = y2, f[2][3] = x2;
    dbfFrameFromTriplet(f);
}

// Every point of a section cut through (cy, cx) in frame g lies on the surface z.
void expectOnSurface(const XSECTION& xs, double (*g)[5], double cy, double cx, const std::function<double(double, double)>& z) {
    const double ny = g[2][0], nx = -g[2][1];   // offsets run along the section line
    for (int i = 0; i < xs.count; ++i) {
        const double o = xs.points[i].offset;
        EXPECT_NEAR(xs.points[i].elevation, z(cy + o * ny, cx + o * nx), 1e-6) << o;
    }
}

std::vector<double> offsets(const XSECTION& xs) {
    std::vector<double> all;
    for (int i = 0; i < xs.count; ++i) all.push_back(xs.points[i].offset);
    return all;
}

// Offsets computed from plan positions carry rounding: compare them to a nanometre.
void expectOffsets(const XSECTION& xs, const std::vector<double>& expected) {
    ASSERT_EQ(xs.count, static_cast<int>(expected.size())) << ::testing::PrintToString(offsets(xs));
    for (int i = 0; i < xs.count; ++i) EXPECT_NEAR(xs.points[i].offset, expected[i], 1e-9) << i;
}

class TerrainSectionTest : public TerrainTest {
protected:
    double f[5][5];

    void SetUp() override {
        TerrainTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        makeAndOpen();
        ASSERT_FALSE(HasFatalFailure());
        dbfSetSurfaceStatus(1, kSurfaceActive | kSurfaceShown, 0);
        // Heading north (x increasing) through (kY0, kX0): offset = y - kY0, distance = x - kX0.
        tripletFrame(f, kY0, kX0 - 10, kY0, kX0, kY0, kX0 + 10);
    }

    void line(const char* a, double ya, double xa, double za, const char* b, double yb, double xb, double zb) {
        const unsigned na = add(a, ya, xa, za);
        const unsigned nb = add(b, yb, xb, zb);
        ASSERT_EQ(dbfAddLine(na, nb, 1, 0), 1);
    }

    // A triangulated grid of n x n points `step` apart around the centre, heights from z.
    void grid(int n, double step, const std::function<double(double, double)>& z) {
        std::vector<std::vector<unsigned>> at(n, std::vector<unsigned>(n));
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                const double y = kY0 + (i - n / 2) * step, x = kX0 + (j - n / 2) * step;
                at[i][j] = add("G", y, x, z(y, x));
            }
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                for (auto [di, dj] : {std::pair{1, 0}, {0, 1}, {1, 1}})
                    if (i + di < n && j + dj < n) {
                        ASSERT_EQ(dbfAddLine(at[i][j], at[i + di][j + dj], 1, 0), 1);
                    }
    }
};

TEST(SectionFrame, SkewedRoadMapsToHandComputedOffsetsAndDistances) {
    // Q at (100, 200); the previous point 5 back along (0.6, 0.8), the next 10 on along (0.8, 0.6).
    // The short arm is stretched to 10, so the chord runs along (1, 1)/sqrt 2 and the section
    // line through Q square to it.
    double f[5][5];
    tripletFrame(f, 97, 196, 100, 200, 108, 206);
    const double r = std::sqrt(0.5);
    struct Case { double y, x, offset, distance; };
    const Case cases[] = {
        {100, 200, 0, 0},
        {100 + 5 * r, 200 + 1 * r, 2, 3},      // 3 along the chord, 2 to its right
        {100 - 4 * r, 200 + 4 * r, -4, 0},     // on the section line, left
        {100 + 7 * r, 200 + 7 * r, 0, 7},
    };
    for (const Case& c : cases) {
        double o = 0, d = 0;
        dbfFrameMap(f, c.y, c.x, o, d);
        EXPECT_LT(std::max(std::fabs(o - c.offset), std::fabs(d - c.distance)), 1e-9) << c.y << "," << c.x;
    }
    EXPECT_NEAR(f[2][2], 1.0, 1e-12) << "a unit scale";

    // Two rows: any two (offset, distance, y, x) pairs map back to themselves, and the reverse
    // terms undo the scale.
    double g[5][5] = {};
    g[0][0] = 3, g[0][1] = -1, g[0][2] = 10, g[0][3] = 20;
    g[1][0] = 7, g[1][1] = 2, g[1][2] = 13, g[1][3] = 26;
    dbfFrameFromRows(g);
    double o = 0, d = 0;
    dbfFrameMap(g, 13, 26, o, d);
    EXPECT_LT(std::max(std::fabs(o - 7), std::fabs(d - 2)), 1e-9);
    dbfFrameMap(g, 10, 20, o, d);
    EXPECT_LT(std::max(std::fabs(o - 3), std::fabs(d + 1)), 1e-12);
    EXPECT_NEAR(g[2][2] * g[3][2], 1.0, 1e-9);
}

TEST_F(TerrainSectionTest, CrossingsOfFeatureLinesIncludingLinesEndingOnTheSectionLine) {
    line("A", kY0 + 4, kX0 - 2, 10, "B", kY0 + 6, kX0 + 2, 14);   // crosses at 5, elevation 12
    line("C", kY0 - 3, kX0, 7, "D", kY0 - 5, kX0 + 3, 9);         // touches at its start
    line("E", kY0 + 8, kX0 + 1, 1, "F", kY0 + 9, kX0 + 4, 2);     // stays on one side
    XSECTION xs{};
    ASSERT_EQ(dbfSectionFromLines(kY0, kX0, 5, -20, 30, 0, 1, 0.0, f, &xs, nullptr, 1), 1);
    ASSERT_EQ(offsets(xs), (std::vector<double>{-3, 5}));
    EXPECT_EQ(nums(xs.points[0].elevation, xs.capacity), nums(7, kSectionCapacity));
    EXPECT_NEAR(xs.points[1].elevation, 12, 1e-12);
}

TEST_F(TerrainSectionTest, SearchRectangleCoversTheWholeWindowOnBothAxes) {
    // Window -20..30, radius 5: the rectangle reaches 30 from the centre both ways, so a line
    // starting 25 across the section line is found and one starting 35 across is not.
    line("N", kY0 + 10, kX0 + 25, 5, "S", kY0 + 10, kX0 - 25, 5);
    line("FarN", kY0 - 10, kX0 + 35, 6, "FarS", kY0 - 10, kX0 - 35, 6);
    line("Edge", kY0 + 29.5, kX0 - 1, 8, "Edge2", kY0 + 29.5, kX0 + 1, 8);
    XSECTION xs{};
    ASSERT_EQ(dbfSectionFromLines(kY0, kX0, 5, -20, 30, 0, 1, 0.0, f, &xs, nullptr, 1), 1);
    EXPECT_EQ(offsets(xs), (std::vector<double>{10, 29.5}));
}

TEST_F(TerrainSectionTest, IdentityNumbersNameFilterAndNearestOutsideCrossings) {
    for (int i = 0; i < 5; ++i) {
        const std::string a = "A" + std::to_string(i), b = "B" + std::to_string(i);
        line(a.c_str(), kY0 + i, kX0 - 1, 10 + i, b.c_str(), kY0 + i, kX0 + 1, 10 + i);
    }
    line("X1", kY0 - 30, kX0 - 1, 3, "X2", kY0 - 30, kX0 + 1, 3);   // outside, left
    line("X3", kY0 - 25, kX0 - 1, 4, "X4", kY0 - 25, kX0 + 1, 4);   // outside, nearer
    line("Z1", kY0 + 12, kX0 - 1, 0, "Z2", kY0 + 12, kX0 + 1, 0);   // outside, right, at 0.0

    XSECTION xs{};
    ASSERT_EQ(dbfSectionFromLines(kY0, kX0, 40, -20, 10, 1, 1, 0.0, f, &xs, nullptr, 98), 1);
    ASSERT_EQ(offsets(xs), (std::vector<double>{-25, 0, 1, 2, 3, 4})) << "the right one is at 0.0";
    std::vector<double> ids;
    for (int i = 1; i < xs.count; ++i) ids.push_back(xs.points[i].idNo);
    EXPECT_EQ(ids, (std::vector<double>{98, 99, 100, 100, 100}));
    EXPECT_EQ(xs.points[0].idNo, 0);

    NAMEFILT filter;
    dbfResetFilter(filter);
    coreStrncpy(filter.include[0], "A*", 17);
    coreStrncpy(filter.exclude[0], "?3", 17);
    coreStrncpy(filter.exclude[1], "B4", 17);
    ASSERT_EQ(dbfSectionFromLines(kY0, kX0, 40, -20, 10, 1, 1, 0.0, f, &xs, filter.include[0], 1), 1);
    EXPECT_EQ(xs.count, 0) << "both ends must pass";
    coreStrncpy(filter.include[1], "B*", 17);
    ASSERT_EQ(dbfSectionFromLines(kY0, kX0, 40, -20, 10, 1, 1, 0.0, f, &xs, filter.include[0], 1), 1);
    EXPECT_EQ(offsets(xs), (std::vector<double>{0, 1, 2})) << "no outside crossings with a filter";
}

TEST_F(TerrainSectionTest, PointsWithinTheBandThinningAndEnds) {
    const double at[] = {0, 0.3, 0.6, 1.0, 2.0};
    for (double o : at) add("P", kY0 + o, kX0 + 0.5, 50 + o);
    add("Far", kY0 + 1.5, kX0 + 3, 99);     // beyond the band
    add("L", kY0 - 7, kX0 - 0.2, 40);       // outside the window, left
    add("R", kY0 + 9, kX0, 41);             // outside, right
    add("R2", kY0 + 8, kX0, 0.0);           // nearer, and at 0.0, so none is found
    XSECTION xs{};
    ASSERT_EQ(dbfSectionFromCoords(kY0, kX0, 10, -5, 5, 1.0, 1, 1, 0.5, f, &xs), 1);
    expectOffsets(xs, {-7, 0, 0.6, 2.0});
    ASSERT_EQ(dbfSectionFromCoords(kY0, kX0, 5, -5, 5, 1.0, 1, 1, 0.5, f, &xs), 1);
    expectOffsets(xs, {0, 0.6, 2.0});   // L lies outside the rectangle
    ASSERT_EQ(dbfSectionFromCoords(kY0, kX0, 5, -5, 5, 1.0, 0, 1, 0.0, f, &xs), 1);
    EXPECT_EQ(xs.count, 5);
    ASSERT_EQ(dbfSectionFromCoords(kY0, kX0, 5, -5, 5, 0.5, 0, 1, 0.0, f, &xs), 1);
    EXPECT_EQ(xs.count, 0) << "a point exactly on the band edge is outside it";
}

TEST_F(TerrainSectionTest, AFullSectionIsThinnedOrEndsWithItsMessage) {
    for (int i = 0; i < 250; ++i) add("P", kY0 - 25 + i * 0.2, kX0, 10);
    XSECTION xs{};
    ASSERT_EQ(dbfSectionFromCoords(kY0, kX0, 5, -30, 30, 1.0, 0, 1, 0.5, f, &xs), 1);
    EXPECT_LT(xs.count, 200);
    for (int i = 1; i < xs.count; ++i) EXPECT_GE(xs.points[i].offset - xs.points[i - 1].offset, 0.5 - 1e-9);
    EXPECT_TRUE(ui.texts().empty());

    ASSERT_EQ(dbfSectionFromCoords(kY0, kX0, 5, -30, 30, 1.0, 0, 1, 0.0, f, &xs), 1);
    EXPECT_EQ(xs.count, 200);
    EXPECT_TRUE(ui.showed("Section is at maximum capacity"));

    for (int i = 0; i < 210; ++i) line("A", kY0 - 25 + i * 0.2, kX0 - 20, 1, "B", kY0 - 25 + i * 0.2, kX0 - 21, 1);
    for (int i = 0; i < 210; ++i) line("A", kY0 - 25 + i * 0.2, kX0 - 1, 1, "B", kY0 - 25 + i * 0.2, kX0 + 1, 1);
    ui.clear();
    EXPECT_EQ(dbfSectionFromLines(kY0, kX0, 5, -30, 30, 0, 1, 0.0, f, &xs, nullptr, 1), 0);
    EXPECT_EQ(xs.count, 200);
    EXPECT_TRUE(ui.showed("Section is at maximum capacity"));
}

TEST_F(TerrainSectionTest, EscapeStopsTheCutWithWhatWasCollected) {
    for (int i = 0; i < 10; ++i) add("P", kY0 + i, kX0, 10 + i);
    add("Out", kY0 - 8, kX0, 3);
    XSECTION xs{};
    cad.pressEscapeAtCheck(4);
    EXPECT_EQ(dbfSectionFromCoords(kY0, kX0, 5, -5, 20, 1.0, 1, 1, 0.0, f, &xs), 0);
    EXPECT_TRUE(xs.count == 3 || xs.count == 4) << xs.count;
    for (int i = 0; i < xs.count; ++i) EXPECT_GE(xs.points[i].offset, 0) << "no end points";
    ASSERT_EQ(dbfSectionFromCoords(kY0, kX0, 5, -5, 20, 1.0, 1, 1, 0.0, f, &xs), 1);
    EXPECT_EQ(xs.count, 11) << "the next cut is not cancelled";

    LongSection ls;
    cad.pressEscapeAtCheck(2);
    EXPECT_EQ(dbfLongSectionFromCoords(kY0, kX0, 5, -5, 20, 1.0, 1, 1, 0.0, f, &ls), 0);
    EXPECT_LE(ls.Count(), 2);

    ls.Destroy();
    PNT_3D_record a{kX0, kY0, 7}, b{kX0 + 5, kY0, 8};
    cad.pressEscapeAtCheck(1);
    dbfLongExtract(a, b, 1, 10, &ls);
    // a cancelled extraction leaves the heights alone
    EXPECT_EQ(nums(ls.Count(), a.z, b.z), nums(0, 7, 8));
}

TEST_F(TerrainSectionTest, SectionsAcrossAPlaneAndAConeFollowTheSurface) {
    auto plane = [](double y, double x) { return 100 + 0.1 * (y - kY0) - 0.05 * (x - kX0); };
    grid(21, 5.0, plane);
    // A skewed chainage: its section line runs at an angle across the grid.
    double g[5][5];
    tripletFrame(g, kY0 - 20, kX0 - 12, kY0 + 1.3, kX0 + 0.7, kY0 + 15, kX0 + 18);
    XSECTION xs{};
    ASSERT_EQ(dbfSectionFromLines(kY0 + 1.3, kX0 + 0.7, 5, -30, 30, 0, 1, 0.0, g, &xs, nullptr, 1), 1);
    ASSERT_GT(xs.count, 20);
    expectOnSurface(xs, g, kY0 + 1.3, kX0 + 0.7, plane);

    LongSection ls;
    PNT_3D_record a{kX0 - 30, kY0 - 25, 0}, b{kX0 + 20, kY0 + 35, 0};
    dbfLongExtract(a, b, 1, 10, &ls);
    EXPECT_NEAR(a.z, plane(a.y, a.x), 1e-6);
    EXPECT_NEAR(b.z, plane(b.y, b.x), 1e-6);
    const double length = std::hypot(b.y - a.y, b.x - a.x);
    ASSERT_GT(ls.Count(), 10);
    EXPECT_EQ(nums(ls.First()->offset, ls.First()->elevation), nums(0.0, a.z));
    EXPECT_DOUBLE_EQ(ls.Last()->offset, length);
    EXPECT_DOUBLE_EQ(ls.Last()->elevation, b.z);
    double previous = -1;
    for (LSECTION* p = ls.First(); p; p = static_cast<LSECTION*>(p->Next())) {
        EXPECT_GE(p->offset, previous - 1e-9);
        previous = p->offset;
        const double t = p->offset / length;
        EXPECT_NEAR(p->elevation, plane(a.y + t * (b.y - a.y), a.x + t * (b.x - a.x)), 1e-6) << p->offset;
    }
    EXPECT_NEAR(dbfCalcHeight(kY0 + 3.3, kX0 - 7.1, 1, 10), plane(kY0 + 3.3, kX0 - 7.1), 1e-9);
}

TEST_F(TerrainSectionTest, ConeWithRadialLines) {
    // A cone of slope 0.5 around the centre; along each ray the height is linear, so every
    // crossing of a radial line lies on the cone.
    auto cone = [](double y, double x) { return 200 - 0.5 * std::hypot(y - kY0, x - kX0); };
    const unsigned apex = add("Apex", kY0, kX0, 200);
    for (int k = 0; k < 16; ++k) {
        const double angle = k * 2 * M_PI / 16 + 0.1;
        unsigned previous = apex;
        for (int ring = 1; ring <= 4; ++ring) {
            const double y = kY0 + ring * 10 * std::sin(angle), x = kX0 + ring * 10 * std::cos(angle);
            const unsigned n = add("R", y, x, cone(y, x));
            ASSERT_EQ(dbfAddLine(previous, n, 1, 0), 1);
            previous = n;
        }
    }
    double g[5][5];
    const double cy = kY0 + 6, cx = kX0 - 4;
    tripletFrame(g, cy - 10, cx - 3, cy, cx, cy + 10, cx + 3);
    XSECTION xs{};
    ASSERT_EQ(dbfSectionFromLines(cy, cx, 50, -50, 50, 0, 1, 0.0, g, &xs, nullptr, 1), 1);
    ASSERT_GE(xs.count, 6);
    expectOnSurface(xs, g, cy, cx, cone);
}

TEST_F(TerrainSectionTest, HeightBetweenTheNearestCrossings) {
    line("A", kY0 - 1, kX0 - 3, 10, "B", kY0 + 1, kX0 - 3, 10);
    line("C", kY0 - 1, kX0 + 1, 14, "D", kY0 + 1, kX0 + 1, 14);
    line("E", kY0 + 0.5, kX0 + 2, 50, "F", kY0 + 2, kX0 + 2, 50);   // does not reach y
    // the search of 3 finds one crossing only; a crossing exactly at x; none found
    EXPECT_EQ(nums(dbfCalcHeight(kY0, kX0, 1, 5), dbfCalcHeight(kY0, kX0, 1, 3), dbfCalcHeight(kY0, kX0 + 1, 1, 5),
                   dbfCalcHeight(kY0 + 100, kX0, 1, 5)),
              nums(13, 0.0, 14, 0.0));
}

// On a survey dense enough for the point index, the cuts read only the points near the section
// line (those in the band, or with a line long enough to reach across it) and give what the walk
// of every point of the search rectangle gives: the same points, crossings and order. A long
// line from a point far from the section line is still found, and once it is deleted the points
// near the line are all that is read.
TEST_F(TerrainSectionTest, CutsThroughThePointIndexMatchTheWalkOfTheWholeRectangle) {
    auto plane = [](double y, double x) { return 100 + 0.1 * (y - kY0) - 0.05 * (x - kX0); };
    grid(61, 1.0, plane);
    const unsigned far = add("Far", kY0 - 2.0, kX0 + 28.5, 90);
    const unsigned across = add("Across", kY0 + 1.0, kX0 - 20.0, 91);
    ASSERT_EQ(dbfAddLine(far, across, 1, 0), 1);
    const double cy = kY0 + 1.3, cx = kX0 + 0.7;
    auto frame = [&](double angle, double (*g)[5]) {
        tripletFrame(g, cy - 10 * std::cos(angle), cx - 10 * std::sin(angle), cy, cx, cy + 10 * std::cos(angle),
                     cx + 10 * std::sin(angle));
    };
    // Every cut as a flat list: result, then offset, elevation and identity of each point.
    auto cuts = [&] {
        std::vector<double> all;
        for (double angle : {0.0, 0.5, 1.35}) {
            double g[5][5];
            frame(angle, g);
            XSECTION xs{};
            all.push_back(dbfSectionFromLines(cy, cx, 5, -25, 30, 1, 1, 0.0, g, &xs, nullptr, 1));
            for (int i = 0; i < xs.count; ++i) all.insert(all.end(), {xs.points[i].offset, xs.points[i].elevation, xs.points[i].idNo});
            all.push_back(dbfSectionFromCoords(cy, cx, 5, -25, 30, 0.7, 1, 1, 0.0, g, &xs));
            for (int i = 0; i < xs.count; ++i) all.insert(all.end(), {xs.points[i].offset, xs.points[i].elevation});
            LongSection ls;
            all.push_back(dbfLongSectionFromLines(cy, cx, 5, -30, 30, 1, 1, 0.0, g, &ls));
            for (LSECTION* p = ls.First(); p; p = static_cast<LSECTION*>(p->Next())) all.insert(all.end(), {p->offset, p->elevation});
        }
        all.push_back(dbfCalcHeight(kY0 + 3.3, kX0 - 7.1, 1, 10));
        all.push_back(dbfCalcHeight(kY0 - 1.5, kX0 + 26.0, 1, 10));   // only the long line reaches there
        return all;
    };
    // Points a scan near the section line at angle 0.5 hands out.
    auto nearCount = [&] {
        double g[5][5];
        frame(0.5, g);
        ScanCorridor near{g[0][2], g[0][3], g[2][1], g[2][0], g[0][1], 0.0, true};
        RRect area{cy + 30, cy - 30, cx - 30, cx + 30};
        SURVCOORD p;
        int count = 0;
        for (unsigned n = terrainStartCoordNear(p, &area, near); n != 0; n = dbfNextCoord(p, n)) ++count;
        return count;
    };
    for (bool longLine : {true, false}) {
        if (!longLine) {
            ASSERT_EQ(dbfDelLine(far, across, 1, 0), 1);
        }
        const auto indexed = cuts();
        pointIndexEnable(false);
        const auto walked = cuts();
        const int everyPoint = nearCount();
        pointIndexEnable(true);
        EXPECT_EQ(indexed, walked) << "long line " << longLine;
        if (longLine) {
            EXPECT_EQ(nearCount(), everyPoint) << "a 49 m line reaches across from anywhere";
        } else {
            EXPECT_LT(nearCount(), everyPoint * 3 / 4);
        }
    }
    EXPECT_EQ(terrainCheckInvariants(), "");
}

TEST_F(TerrainSectionTest, LongExtractOnAnInvalidSurfaceDoesNothing) {
    LongSection ls;
    ls.AddOffsetElevation(1, 1, 0);
    PNT_3D_record a{kX0, kY0, 7}, b{kX0 + 10, kY0, 8};
    dbfLongExtract(a, b, 0, 10, &ls);
    EXPECT_EQ(nums(ls.Count(), a.z), nums(1, 7));
}

}  // namespace
