// The section frames both section benchmarks cut along: a straight road across the site.
#pragma once

#include "database/section.h"

// Section k of n on a road across a site of the given side: its centre (y0, x0) on the line and
// its frame from the previous, this and the next position 10 m apart.
inline void benchSectionFrame(double side, int k, int n, double (*f)[5], double& y0, double& x0) {
    const double t = 0.1 + 0.8 * (k + 0.5) / n;
    auto at = [&](double s, double& y, double& x) {
        y = side * s;
        x = side * (0.2 + 0.6 * s);
    };
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c) f[r][c] = 0.0;
    const double ds = 10.0 / (side * 1.166);
    at(t - ds, f[0][2], f[0][3]);
    at(t, f[1][2], f[1][3]);
    at(t + ds, f[2][2], f[2][3]);
    y0 = f[1][2];
    x0 = f[1][3];
    dbfFrameFromTriplet(f);
}
