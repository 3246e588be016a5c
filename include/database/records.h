// The shared records every subsystem of the library passes around: plan and space positions,
// the plan rectangle of the terrain and the view rectangle of the drawings.
//
// All are plain fixed-layout records of doubles (no gaps), the same in memory and in the files
// that hold them (the grid file keeps an RRect, the contour file PNT_2D_record vertices).
#pragma once

#include "platform/rect.h"  // _bsRECT: the drawing window uses the same view rectangle
#include "platform/tolerance.h"

// A horizontal position in projected units. The database x runs north-south, y east-west.
struct PNT_2D_record {
    double x;
    double y;
};

// A position with its height.
struct PNT_3D_record {
    double x;
    double y;
    double z;
};

// A plan area: maximum y, minimum y, minimum x, maximum x, in that order (the order the terrain
// file and the grid file keep it in).
struct RRect {
    double maxY;
    double minY;
    double minX;
    double maxX;
};

static_assert(sizeof(PNT_2D_record) == 16, "PNT_2D_record is two doubles");
static_assert(sizeof(PNT_3D_record) == 24, "PNT_3D_record is three doubles");
static_assert(sizeof(RRect) == 32, "RRect is four doubles");
static_assert(sizeof(_bsRECT) == 32, "_bsRECT is four doubles");

// The reals that stand for "none" and start the searches for a minimum (kNoneHigh) or a
// maximum (kNoneLow).
constexpr double kNoneHigh = 2147483647.0;
constexpr double kNoneLow = -2147483647.0;

// A view rectangle ready for a search for limits: left and bottom start high, right and top low.
inline _bsRECT bsRectForLimits() { return _bsRECT{kNoneHigh, kNoneLow, kNoneLow, kNoneHigh}; }
