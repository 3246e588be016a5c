// The geometry toolkit at its singular cases.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "platform/core.h"

TEST(Tolerance, BandAroundTheSecondValue) {
    EXPECT_FALSE(dblGreater(1.0 + 1e-13, 1.0));
    EXPECT_TRUE(dblGreater(1.0 + 1e-11, 1.0));
    EXPECT_TRUE(dblEqual(1e6 + 1e-7, 1e6));          // relative part
    EXPECT_FALSE(dblEqual(1e6 + 1e-5, 1e6));
    EXPECT_TRUE(dblLess(-1.0, 0.0));
    EXPECT_TRUE(dblIsZero(-1e-12));
    EXPECT_FALSE(dblIsZero(2e-12));
    EXPECT_EQ(dblCompare(2.0, 2.0 + 1e-13), 0);
}

TEST(Geometry, DirectionsFollowTheAxes) {
    // Difference in y first: a step along +y is direction 0, along +x is pi/2.
    EXPECT_DOUBLE_EQ(coreGetAngle(1, 0), 0.0);
    EXPECT_DOUBLE_EQ(coreGetAngle(0, 1), CORE_HALF_PI);
    EXPECT_DOUBLE_EQ(coreGetAngle(-1, 0), CORE_PI);
    EXPECT_DOUBLE_EQ(coreGetAngle(0, -1), 3 * CORE_HALF_PI);
    EXPECT_EQ(coreGetAngle(0, 0), 0.0);
    EXPECT_EQ(coreGetAngle(1, -1e-300), 0.0);      // never 2pi itself
    // An offset d along the direction moves x by d sin(a) and y by d cos(a).
    double a = coreGetAngle(3, 4);
    EXPECT_NEAR(5 * std::sin(a), 4, 1e-12);
    EXPECT_NEAR(5 * std::cos(a), 3, 1e-12);

    double distance, direction;
    coreSurvJoin(10, 20, 10, 25, distance, direction);   // (y, x) pairs: x grows by 5
    EXPECT_DOUBLE_EQ(distance, 5);
    EXPECT_DOUBLE_EQ(direction, CORE_HALF_PI);
    coreSurvJoin(7, 7, 7, 7, distance, direction);
    EXPECT_EQ(distance, 0);
    EXPECT_EQ(direction, 0);
}

TEST(Geometry, QuadrantsAtTheirBoundaries) {
    // Near a boundary within the tolerance counts as on it; outside 0..2pi wraps; NaN is 1.
    const std::pair<double, int> cases[] = {
        {0, 1}, {CORE_HALF_PI - 0.01, 1}, {CORE_HALF_PI, 2}, {CORE_HALF_PI - 1e-14, 2}, {CORE_PI, 3},
        {3 * CORE_HALF_PI, 4}, {CORE_TWO_PI - 1e-13, 1}, {CORE_TWO_PI, 1}, {-0.1, 4}, {7.0, 1}, {NAN, 1}};
    for (const auto& [angle, quadrant] : cases) EXPECT_EQ(tg_quadrant_rad(angle), quadrant) << angle;
}

TEST(Geometry, CrossingsOfSegments) {
    double a, b;
    EXPECT_EQ(coreIntersectionLines(0, 0, 2, 2, 0, 2, 2, 0, a, b), 1);
    EXPECT_DOUBLE_EQ(a, 1);
    EXPECT_DOUBLE_EQ(b, 1);
    // Lines cross, but beyond segment 2: the point is still given.
    EXPECT_EQ(coreIntersectionLines(0, 0, 2, 2, 0, 4, 1, 3, a, b), 0);
    EXPECT_DOUBLE_EQ(a, 2);
    EXPECT_DOUBLE_EQ(b, 2);
    // Touching at an end counts.
    EXPECT_EQ(coreIntersectionLines(0, 0, 1, 0, 1, 0, 1, 5, a, b), 1);
    // Parallel, collinear and zero-length segments: no crossing, point (0, 0).
    EXPECT_EQ(coreIntersectionLines(0, 0, 1, 1, 0, 1, 1, 2, a, b), 0);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(coreIntersectionLines(0, 0, 2, 0, 1, 0, 3, 0, a, b), 0);
    EXPECT_EQ(coreIntersectionLines(1, 1, 1, 1, 0, 2, 2, 0, a, b), 0);

    EXPECT_EQ(tg_samepnt(1e6, 2, 1e6 + 1e-7, 2), 1);
    EXPECT_EQ(tg_samepnt(0, 0, 0, 1e-9), 0);
}

TEST(Geometry, ClippingToAWindow) {
    _bsRECT window{0, 10, 10, 0};   // left, right, top, bottom (top above bottom)
    double h1 = -5, v1 = 5, h2 = 15, v2 = 5;
    EXPECT_EQ(tg_clipwindow(h1, v1, h2, v2, window), 1);
    EXPECT_DOUBLE_EQ(h1, 0);
    EXPECT_DOUBLE_EQ(h2, 10);
    EXPECT_DOUBLE_EQ(v1, 5);
    h1 = 2, v1 = 2, h2 = 3, v2 = 3;                 // wholly inside: unchanged
    EXPECT_EQ(tg_clipwindow(h1, v1, h2, v2, window), 1);
    EXPECT_EQ(h2, 3);
    h1 = 11, v1 = -1, h2 = 20, v2 = 30;             // wholly outside: reported as (0, 0)
    EXPECT_EQ(tg_clipwindow(h1, v1, h2, v2, window), 0);
    EXPECT_EQ(h1, 0);
    EXPECT_EQ(v1, 0);
    EXPECT_EQ(h2, 0);
    h1 = h2 = 10, v1 = v2 = 0;                      // a point on the corner is inside
    EXPECT_EQ(tg_clipwindow(h1, v1, h2, v2, window), 1);
    h1 = h2 = 10.5, v1 = v2 = 5;
    EXPECT_EQ(tg_clipwindow(h1, v1, h2, v2, window), 0);
    h1 = -5, v1 = 5, h2 = 5, v2 = 15;               // diagonal through the corner region
    EXPECT_EQ(tg_clipwindow(h1, v1, h2, v2, window), 1);
    EXPECT_DOUBLE_EQ(h1, 0);
    EXPECT_DOUBLE_EQ(v1, 10);
    EXPECT_DOUBLE_EQ(h2, 0);
    EXPECT_DOUBLE_EQ(v2, 10);
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
    EXPECT_EQ(coreDoubleDivide(1, 0), 0);
    EXPECT_EQ(coreDoubleDivide(1, 1e-13, 7.5), 7.5);
    EXPECT_EQ(coreDoubleDivide(1e300, 1e-11), 0);     // overflow is guarded too
    EXPECT_DOUBLE_EQ(coreDoubleDivide(3, 2), 1.5);

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
    EXPECT_DOUBLE_EQ(inA, 3);
    EXPECT_DOUBLE_EQ(outA, 5);
    EXPECT_DOUBLE_EQ(inB, 0);
    coreBezHandle(0, 0, 4, 4, 8, 0, 4.0, inA, inB, outA, outB);   // a peak: handles level
    EXPECT_DOUBLE_EQ(inB, 4);
    EXPECT_DOUBLE_EQ(outB, 4);
    EXPECT_NEAR(outA - 4, std::sqrt(32.0) / 4, 1e-12);
    coreBezHandle(0, 0, 4, 4, 0, 0, 4.0, inA, inB, outA, outB);   // turning back: a sharp corner
    EXPECT_EQ(inA, 4);
    EXPECT_EQ(outB, 4);
    coreBezHandle(0, 0, 4, 0, 8, 0, 0.0, inA, inB, outA, outB);
    EXPECT_EQ(outA, 4);
}
