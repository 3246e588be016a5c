// The geometry toolkit: directions, joins, crossings, clipping and the real-number helpers.
//
// Axes: the database x runs north-south and y east-west; the drawing window's horizontal axis is
// the database y. A direction is an angle in radians measured from the +y axis turning towards
// +x, so a step (dy, dx) has direction atan2(dx, dy), and moving d along direction a changes x by
// d sin(a) and y by d cos(a). Directions are returned in [0, 2pi).
//
// Functions that only compare points (crossings, clipping, rectangles) do not care which member
// comes first: they take each point as a pair (a, b) and give results in the same order, so a
// caller may pass (x, y) or (y, x) as long as every point of one call uses the same order.
#pragma once

#include "platform/rect.h"
#include "platform/tolerance.h"

constexpr double CORE_PI = 3.14159265358979323846;
constexpr double CORE_TWO_PI = 2.0 * CORE_PI;
constexpr double CORE_HALF_PI = 0.5 * CORE_PI;

// The direction of a step given as the difference in y first and in x second: atan2(dx, dy)
// brought into [0, 2pi). A zero step has direction 0.
double coreGetAngle(double dy, double dx);

// Distance and direction from point 1 to point 2, each given as (y, x). The direction is
// coreGetAngle(y2 - y1, x2 - x1), in [0, 2pi); 0 for coincident points.
void coreSurvJoin(double y1, double x1, double y2, double x2, double& distance, double& direction);

// The quadrant of an angle, 1 to 4: [0, pi/2) is 1, [pi/2, pi) 2, [pi, 3pi/2) 3, [3pi/2, 2pi) 4.
// Angles outside [0, 2pi) are brought into it first; a quadrant boundary belongs to the quadrant
// it starts (pi/2 is in quadrant 2), and a value within the tolerance below a boundary counts as
// on it (so 2pi - 1e-13 is in quadrant 1).
int tg_quadrant_rad(double angle);

// The crossing of segment 1 (a1, b1)-(a2, b2) with segment 2 (a3, b3)-(a4, b4). Returns 1 when
// the lines cross at a point that lies within both segments (ends included, within 1e-12 of the
// segment parameter), 0 otherwise. The crossing point (a, b) is filled whenever the two lines
// cross, also outside the segments; it is set to (0, 0) when they do not: parallel or collinear
// lines, or a segment of zero length.
int coreIntersectionLines(double a1, double b1, double a2, double b2, double a3, double b3, double a4,
                          double b4, double& a, double& b);

// 1 when two points are the same within the tolerance on both members, else 0.
int tg_samepnt(double a1, double b1, double a2, double b2);

// Clips the segment (h1, v1)-(h2, v2) to a window, in place: h runs between the window's left
// and right, v between its top and bottom (either way round). Returns 1 when part of the segment
// is inside (the ends are moved onto the window's edges as needed), 0 when it is wholly outside,
// and then all four coordinates are set to 0. A segment of zero length is kept when its point is
// inside.
int tg_clipwindow(double& h1, double& v1, double& h2, double& v2, const _bsRECT& window);

// 1 when two rectangles, each given by its minimum and maximum on both axes, share at least a
// point (touching edges count, within the tolerance). A rectangle whose minimum exceeds its
// maximum on an axis is empty (the empty box of a string) and meets nothing.
int tg_rect_intersect_2d(double minA1, double minB1, double maxA1, double maxB1, double minA2,
                         double minB2, double maxA2, double maxB2);

// 1 when the point (a, b) lies inside the rectangle or on its edges (within the tolerance).
int coreCheckInRect(double a, double b, double minA, double minB, double maxA, double maxB);

// Guarded division: numerator / divisor, or `whenZero` when the divisor is zero (magnitude at
// most 1e-12) or the quotient is not finite.
double coreDoubleDivide(double numerator, double divisor, double whenZero = 0.0);

// Rounds half away from zero to the given number of decimals (negative: to tens, hundreds ...);
// a value a few units in the last place below the half counts as the half, so that 2.675
// rounds to 2.68 although its binary value lies below. Never returns -0.0.
double coreDoubleRound(double value, int decimals);

// The remainder of value / divisor with the sign of value (as fmod), snapped to 0 when it lies
// within the tolerance of 0 or of the divisor, so that coreFmod(0.3, 0.1) is 0. A zero divisor
// gives 0.
double coreFmod(double value, double divisor);

// The two Bezier handles at point 1 of the polyline point 0 -> point 1 -> point 2 (pairs (a, b)),
// for a smooth curve through the points: both lie on the line through point 1 parallel to
// point 0 -> point 2, the incoming one back towards point 0 at |p1 - p0| / tension, the outgoing
// one towards point 2 at |p2 - p1| / tension. When point 0 and point 2 coincide, or the tension
// is not above 0, both handles are point 1 (a sharp corner). Tension 4 gives handles a quarter of
// the neighbouring piece long.
void coreBezHandle(double a0, double b0, double a1, double b1, double a2, double b2, double tension,
                   double& inA, double& inB, double& outA, double& outB);
