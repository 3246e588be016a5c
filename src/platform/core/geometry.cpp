// The geometry toolkit.
#include <algorithm>
#include <cmath>

#include "platform/core_geom.h"

double coreGetAngle(double dy, double dx) {
    if (dy == 0.0 && dx == 0.0) return 0.0;
    double angle = std::atan2(dx, dy);
    if (angle < 0.0) angle += CORE_TWO_PI;
    // A tiny negative angle plus 2pi rounds to 2pi itself, which is direction 0.
    if (angle >= CORE_TWO_PI) angle = 0.0;
    return angle;
}

void coreSurvJoin(double y1, double x1, double y2, double x2, double& distance, double& direction) {
    double dy = y2 - y1;
    double dx = x2 - x1;
    distance = std::hypot(dy, dx);
    direction = coreGetAngle(dy, dx);
}

int tg_quadrant_rad(double angle) {
    if (!std::isfinite(angle)) return 1;
    double a = std::fmod(angle, CORE_TWO_PI);
    if (a < 0.0) a += CORE_TWO_PI;
    if (dblGreaterEqual(a, CORE_TWO_PI)) return 1;
    if (dblGreaterEqual(a, 3.0 * CORE_HALF_PI)) return 4;
    if (dblGreaterEqual(a, CORE_PI)) return 3;
    if (dblGreaterEqual(a, CORE_HALF_PI)) return 2;
    return 1;
}

int coreIntersectionLines(double a1, double b1, double a2, double b2, double a3, double b3, double a4,
                          double b4, double& a, double& b) {
    a = b = 0.0;
    double da1 = a2 - a1, db1 = b2 - b1;
    double da2 = a4 - a3, db2 = b4 - b3;
    double length1 = std::hypot(da1, db1);
    double length2 = std::hypot(da2, db2);
    if (length1 <= 1e-12 || length2 <= 1e-12) return 0;
    double denominator = da1 * db2 - db1 * da2;
    // Parallel when the sine of the angle between the lines is below the tolerance.
    if (std::fabs(denominator) <= 1e-12 * length1 * length2) return 0;
    double ea = a3 - a1, eb = b3 - b1;
    double t = (ea * db2 - eb * da2) / denominator;   // along segment 1
    double u = (ea * db1 - eb * da1) / denominator;   // along segment 2
    a = a1 + t * da1;
    b = b1 + t * db1;
    bool within = t >= -1e-12 && t <= 1.0 + 1e-12 && u >= -1e-12 && u <= 1.0 + 1e-12;
    return within ? 1 : 0;
}

int tg_samepnt(double a1, double b1, double a2, double b2) {
    return dblEqual(a1, a2) && dblEqual(b1, b2) ? 1 : 0;
}

int tg_clipwindow(double& h1, double& v1, double& h2, double& v2, const _bsRECT& window) {
    double hMin = std::min(window.left, window.right), hMax = std::max(window.left, window.right);
    double vMin = std::min(window.top, window.bottom), vMax = std::max(window.top, window.bottom);
    double dh = h2 - h1, dv = v2 - v1;
    double t0 = 0.0, t1 = 1.0;
    // Liang-Barsky: each edge limits the part of the segment inside it. The tests allow the
    // tolerance so that a segment touching an edge or a corner counts as inside, while the cut
    // points themselves lie on the true edges.
    const double p[4] = {-dh, dh, -dv, dv};
    const double q[4] = {h1 - hMin, hMax - h1, v1 - vMin, vMax - v1};
    const double bound[4] = {hMin, hMax, vMin, vMax};
    bool inside = true;
    for (int i = 0; i < 4 && inside; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < -dblTolerance(bound[i])) inside = false;
            continue;
        }
        double r = q[i] / p[i];
        if (p[i] < 0.0) {
            if (r > t1 + 1e-12) inside = false;
            else if (r > t0) t0 = r;
        } else {
            if (r < t0 - 1e-12) inside = false;
            else if (r < t1) t1 = r;
        }
    }
    if (inside && t0 > t1) t0 = t1 = 0.5 * (t0 + t1);
    if (!inside) {
        h1 = v1 = h2 = v2 = 0.0;
        return 0;
    }
    double startH = h1, startV = v1;
    if (t1 < 1.0) {
        h2 = startH + t1 * dh;
        v2 = startV + t1 * dv;
    }
    if (t0 > 0.0) {
        h1 = startH + t0 * dh;
        v1 = startV + t0 * dv;
    }
    return 1;
}

int tg_rect_intersect_2d(double minA1, double minB1, double maxA1, double maxB1, double minA2,
                         double minB2, double maxA2, double maxB2) {
    if (dblGreater(minA1, maxA1) || dblGreater(minB1, maxB1)) return 0;
    if (dblGreater(minA2, maxA2) || dblGreater(minB2, maxB2)) return 0;
    if (dblGreater(minA2, maxA1) || dblGreater(minA1, maxA2)) return 0;
    if (dblGreater(minB2, maxB1) || dblGreater(minB1, maxB2)) return 0;
    return 1;
}

int coreCheckInRect(double a, double b, double minA, double minB, double maxA, double maxB) {
    return dblGreaterEqual(a, minA) && dblLessEqual(a, maxA) && dblGreaterEqual(b, minB) &&
                   dblLessEqual(b, maxB)
               ? 1
               : 0;
}

double coreDoubleDivide(double numerator, double divisor, double whenZero) {
    if (dblIsZero(divisor)) return whenZero;
    double quotient = numerator / divisor;
    return std::isfinite(quotient) ? quotient : whenZero;
}

double coreDoubleRound(double value, int decimals) {
    if (!std::isfinite(value)) return value;
    decimals = std::clamp(decimals, -15, 15);
    double factor = std::pow(10.0, std::abs(decimals));
    double x = decimals >= 0 ? std::fabs(value) * factor : std::fabs(value) / factor;
    // Beyond 2^52 every double is already whole.
    if (x >= 4503599627370496.0) return value;
    double whole = std::floor(x);
    // The scaled value carries a few units in the last place of error; a fraction that close
    // below the half is the half.
    double slack = std::min(0.25, x * 1e-15 + 1e-15);
    if (x - whole >= 0.5 - slack) whole += 1.0;
    double result = decimals >= 0 ? whole / factor : whole * factor;
    if (result == 0.0) return 0.0;
    return value < 0.0 ? -result : result;
}

double coreFmod(double value, double divisor) {
    if (dblIsZero(divisor) || !std::isfinite(value) || !std::isfinite(divisor)) return 0.0;
    double remainder = std::fmod(value, divisor);
    double slack = dblTolerance(value);
    if (std::fabs(remainder) <= slack) return 0.0;
    if (std::fabs(std::fabs(remainder) - std::fabs(divisor)) <= slack) return 0.0;
    return remainder;
}

void coreBezHandle(double a0, double b0, double a1, double b1, double a2, double b2, double tension,
                   double& inA, double& inB, double& outA, double& outB) {
    inA = outA = a1;
    inB = outB = b1;
    double chord = std::hypot(a2 - a0, b2 - b0);
    if (chord <= 1e-12 || !(tension > 1e-12)) return;
    double ua = (a2 - a0) / chord, ub = (b2 - b0) / chord;
    double before = std::hypot(a1 - a0, b1 - b0) / tension;
    double after = std::hypot(a2 - a1, b2 - b1) / tension;
    inA = a1 - ua * before;
    inB = b1 - ub * before;
    outA = a1 + ua * after;
    outB = b1 + ub * after;
}
