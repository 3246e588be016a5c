// The one set of tolerance helpers every real comparison of the library goes through.
//
// A value a counts as greater than b only when a > b + (|b| x 1e-12 + 1e-12), as less than b only
// when a < b - (|b| x 1e-12 + 1e-12), and as equal otherwise; a value within 1e-12 of zero counts
// as zero. The tolerance is taken from the second argument, so dblEqual(a, b) and dblEqual(b, a)
// may differ at the very edge of the band.
#pragma once

#include <cmath>

// The tolerance band around b.
inline double dblTolerance(double b) { return std::fabs(b) * 1e-12 + 1e-12; }

inline bool dblGreater(double a, double b) { return a > b + dblTolerance(b); }
inline bool dblLess(double a, double b) { return a < b - dblTolerance(b); }
inline bool dblEqual(double a, double b) { return !dblGreater(a, b) && !dblLess(a, b); }
inline bool dblGreaterEqual(double a, double b) { return !dblLess(a, b); }
inline bool dblLessEqual(double a, double b) { return !dblGreater(a, b); }
inline bool dblIsZero(double a) { return std::fabs(a) <= 1e-12; }

// The three-way comparison used by sorted lists: -1 when a is less than b, 1 when greater,
// 0 when equal within the tolerance of b.
inline int dblCompare(double a, double b) { return dblLess(a, b) ? -1 : (dblGreater(a, b) ? 1 : 0); }
