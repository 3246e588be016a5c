// The geometry toolkit at its singular cases.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/core.h"

TEST(Tolerance, BandAroundTheSecondValue) {
    // Equality has a relative part (1e6 + 1e-7).
    EXPECT_EQ(std::vector<bool>({dblGreater(1.0 + 1e-13, 1.0), dblGreater(1.0 + 1e-11, 1.0), dblEqual(1e6 + 1e-7, 1e6),
                                 dblEqual(1e6 + 1e-5, 1e6), dblLess(-1.0, 0.0), dblIsZero(-1e-12), dblIsZero(2e-12)}),
              std::vector<bool>({false, true, true, false, true, true, false}));
    EXPECT_EQ(dblCompare(2.0, 2.0 + 1e-13), 0);
}

TEST(Geometry, DirectionsFollowTheAxes) {
    // Difference in y first: a step along +y is direction 0, along +x is pi/2.
    // Nothing gives 0, and never 2pi itself.
    EXPECT_EQ(std::vector({coreGetAngle(1, 0), coreGetAngle(0, 1), coreGetAngle(-1, 0), coreGetAngle(0, -1), coreGetAngle(0, 0),
                           coreGetAngle(1, -1e-300)}),
              std::vector({0.0, CORE_HALF_PI, CORE_PI, 3 * CORE_HALF_PI, 0.0, 0.0}));
    // An offset d along the direction moves x by d sin(a) and y by d cos(a).
    double a = coreGetAngle(3, 4);
    EXPECT_NEAR(5 * std::sin(a), 4, 1e-12);
    EXPECT_NEAR(5 * std::cos(a), 3, 1e-12);

    double distance, direction;
    coreSurvJoin(10, 20, 10, 25, distance, direction);   // (y, x) pairs: x grows by 5
    EXPECT_EQ(std::pair(distance, direction), std::pair(5.0, CORE_HALF_PI));
    coreSurvJoin(7, 7, 7, 7, distance, direction);
    EXPECT_EQ(std::pair(distance, direction), std::pair(0.0, 0.0));
}

TEST(Geometry, QuadrantsAtTheirBoundaries) {
    // Near a boundary within the tolerance counts as on it; outside 0..2pi wraps; NaN is 1.
    const std::pair<double, int> cases[] = {
        {0, 1}, {CORE_HALF_PI - 0.01, 1}, {CORE_HALF_PI, 2}, {CORE_HALF_PI - 1e-14, 2}, {CORE_PI, 3},
        {3 * CORE_HALF_PI, 4}, {CORE_TWO_PI - 1e-13, 1}, {CORE_TWO_PI, 1}, {-0.1, 4}, {7.0, 1}, {NAN, 1}};
    for (const auto& [angle, quadrant] : cases) EXPECT_EQ(tg_quadrant_rad(angle), quadrant) << angle;
}

TEST(Geometry, CrossingsOfSegments) {
    // Lines that cross beyond segment 2 still give the point; touching at an end counts;
    // parallel, collinear and zero-length segments do not cross, at (0, 0).
    const struct {
        double s[8];
        int crossing;
        double a, b;
    } cases[] = {{{0, 0, 2, 2, 0, 2, 2, 0}, 1, 1, 1}, {{0, 0, 2, 2, 0, 4, 1, 3}, 0, 2, 2}, {{0, 0, 1, 0, 1, 0, 1, 5}, 1, 1, 0},
                 {{0, 0, 1, 1, 0, 1, 1, 2}, 0, 0, 0}, {{0, 0, 2, 0, 1, 0, 3, 0}, 0, 0, 0}, {{1, 1, 1, 1, 0, 2, 2, 0}, 0, 0, 0}};
    for (const auto& c : cases) {
        double a = -1, b = -1;
        const int crossing = coreIntersectionLines(c.s[0], c.s[1], c.s[2], c.s[3], c.s[4], c.s[5], c.s[6], c.s[7], a, b);
        EXPECT_EQ(std::tuple(crossing, a, b), std::tuple(c.crossing, c.a, c.b)) << &c - cases;
    }

    EXPECT_EQ(tg_samepnt(1e6, 2, 1e6 + 1e-7, 2), 1);
    EXPECT_EQ(tg_samepnt(0, 0, 0, 1e-9), 0);
}

TEST(Geometry, ClippingToAWindow) {
    _bsRECT window{0, 10, 10, 0};   // left, right, top, bottom (top above bottom)
    // Across, wholly inside (unchanged), wholly outside (reported as (0, 0)), a point on the
    // corner (inside), a point outside, and a diagonal through the corner region.
    const struct {
        double in[4];
        int visible;
        double out[4];
    } cases[] = {{{-5, 5, 15, 5}, 1, {0, 5, 10, 5}},   {{2, 2, 3, 3}, 1, {2, 2, 3, 3}},    {{11, -1, 20, 30}, 0, {0, 0, 0, 0}},
                 {{10, 0, 10, 0}, 1, {10, 0, 10, 0}}, {{10.5, 5, 10.5, 5}, 0, {0, 0, 0, 0}}, {{-5, 5, 5, 15}, 1, {0, 10, 0, 10}}};
    for (const auto& c : cases) {
        double h1 = c.in[0], v1 = c.in[1], h2 = c.in[2], v2 = c.in[3];
        const int visible = tg_clipwindow(h1, v1, h2, v2, window);
        EXPECT_EQ(std::vector({double(visible), h1, v1, h2, v2}), std::vector({double(c.visible), c.out[0], c.out[1], c.out[2], c.out[3]}))
            << &c - cases;
    }
}

TEST(Geometry, RectanglesAndPoints) {
    EXPECT_EQ(tg_rect_intersect_2d(0, 0, 10, 10, 10, 10, 20, 20), 1);   // touching corners
    EXPECT_EQ(tg_rect_intersect_2d(0, 0, 10, 10, 10.001, 0, 20, 20), 0);
    EXPECT_EQ(tg_rect_intersect_2d(0, 0, 10, 10, 2, 2, 3, 3), 1);      // one inside the other
    // The empty box of a string meets nothing, not even a huge rectangle.
    EXPECT_EQ(tg_rect_intersect_2d(2147483647, 2147483647, -2147483647, -2147483647, -1e9, -1e9, 1e9, 1e9), 0);
    // In the box 0..10, an edge and a point within the tolerance of it count as inside.
    const struct { double x, y; int in; } points[] = {{10, 5, 1}, {10 + 1e-13, 5, 1}, {10.1, 5, 0}, {5, -0.1, 0}};
    for (const auto& p : points) EXPECT_EQ(coreCheckInRect(p.x, p.y, 0, 0, 10, 10), p.in) << p.x << "," << p.y;
}

TEST(Geometry, GuardedArithmetic) {
    // Overflow is guarded too.
    EXPECT_EQ(std::vector({coreDoubleDivide(1, 0), coreDoubleDivide(1, 1e-13, 7.5), coreDoubleDivide(1e300, 1e-11), coreDoubleDivide(3, 2)}),
              std::vector({0.0, 7.5, 0.0, 1.5}));

    // Halves round away from zero, at decimals or (negative) at tens and hundreds.
    const struct { double value; int places; double rounded; } rounds[] = {
        {2.675, 2, 2.68}, {-2.675, 2, -2.68}, {1.0005, 3, 1.001}, {1.2344, 3, 1.234}, {1250, -2, 1300}};
    for (const auto& r : rounds) EXPECT_DOUBLE_EQ(coreDoubleRound(r.value, r.places), r.rounded) << r.value;
    EXPECT_FALSE(std::signbit(coreDoubleRound(-0.0001, 3)));
    EXPECT_EQ(coreDoubleRound(1e300, 3), 1e300);

    // A remainder within the tolerance of the divisor is 0, and so is one by 0.
    const std::pair<double, double> exact[] = {{0.3, 0.1}, {-0.3, 0.1}, {1250.0, 0.5}, {5, 0}};
    for (const auto& [a, b] : exact) EXPECT_EQ(coreFmod(a, b), 0) << a << " % " << b;
    EXPECT_NEAR(coreFmod(0.35, 0.1), 0.05, 1e-12);
}

TEST(Geometry, BezierHandles) {
    double inA, inB, outA, outB;
    coreBezHandle(0, 0, 4, 0, 8, 0, 4.0, inA, inB, outA, outB);   // a straight run
    EXPECT_EQ(std::tuple(inA, outA, inB), std::tuple(3.0, 5.0, 0.0));
    coreBezHandle(0, 0, 4, 4, 8, 0, 4.0, inA, inB, outA, outB);   // a peak: handles level
    EXPECT_EQ(std::pair(inB, outB), std::pair(4.0, 4.0));
    EXPECT_NEAR(outA - 4, std::sqrt(32.0) / 4, 1e-12);
    coreBezHandle(0, 0, 4, 4, 0, 0, 4.0, inA, inB, outA, outB);   // turning back: a sharp corner
    EXPECT_EQ(std::pair(inA, outB), std::pair(4.0, 4.0));
    coreBezHandle(0, 0, 4, 0, 8, 0, 0.0, inA, inB, outA, outB);
    EXPECT_EQ(outA, 4);
}
