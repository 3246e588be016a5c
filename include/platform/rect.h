// The view and drawing rectangle shared by the drawing window and the geometry toolkit.
#pragma once

// left, right, top, bottom. For a plan view left and right are the horizontal (database y)
// bounds and top and bottom the vertical (database x) bounds; for a cross-section left and right
// are the smallest and largest offset, top and bottom the largest and smallest elevation.
struct _bsRECT {
    double left;
    double right;
    double top;
    double bottom;
};
