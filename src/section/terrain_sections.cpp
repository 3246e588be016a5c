// Section frames, and natural-ground sections, heights and profiles cut from the terrain.
#include <algorithm>
#include <cmath>
#include <vector>

#include "database/frame.h"
#include "database/section.h"
#include "database/terrain.h"
#include "platform/proj.h"
#include "section/profile_order.h"
#include "terrain/terrain_state.h"

namespace {

// The partner point of a line, in projected units. dbfCoordExists hands over the stored record
// (geographic) in the same look-up that tells whether the point exists, so the conversion is
// done here instead of reading the point a second time with dbfGrabCoord.
bool partnerPoint(DWORD number, int lo, SURVCOORD& point) {
    if (number == 0 || !dbfCoordExists(point, number)) return false;
    double y = 0.0, x = 0.0;
    projLatLongToLO(point.x, point.y, lo, &y, &x);
    point.y = y;
    point.x = x;
    return true;
}

// The extra 1e-21 on the divisor side of a frame: on both differences for a frame from two
// rows, on one only for the frame of a triplet.
struct FramePadding {
    double dy, dx, du, dv;
};

void makeFrame(double (*f)[5], const FramePadding& pad) {
    const double du = f[1][0] - f[0][0];
    const double dv = f[1][1] - f[0][1];
    const double dy = f[1][2] - f[0][2];
    const double dx = f[1][3] - f[0][3];
    {
        const double y = dy + pad.dy, x = dx + pad.dx;
        const double d = x * x + y * y;
        f[2][0] = (x * dv + y * du) / d;
        f[2][1] = (y * dv - x * du) / d;
        f[2][2] = std::hypot(f[2][0], f[2][1]);
    }
    {
        const double u = du + pad.du, v = dv + pad.dv;
        const double d = v * v + u * u;
        f[3][0] = (v * dx + u * dy) / d;
        f[3][1] = (u * dx - v * dy) / d;
        f[3][2] = std::hypot(f[3][0], f[3][1]);
    }
}

// The search rectangle. The documented half-sizes take y from `right` and x from `left`; for a
// skewed section line or a lopsided window that misses terrain near one end of the line, so
// both half-sizes here are the largest of the three: the band and window tests drop the extra
// points.
RRect searchRect(double y0, double x0, double radius, double left, double right) {
    const double h = std::max({std::fabs(left), std::fabs(right), radius});
    return RRect{y0 + h, y0 - h, x0 - h, x0 + h};
}

// The nearest points or crossings beyond each end of the window. An elevation of 0 marks "none".
struct OutsidePoints {
    double leftOffset = kNoneLow, leftElevation = 0.0;
    double rightOffset = kNoneHigh, rightElevation = 0.0;

    void consider(double offset, double elevation, double left, double right) {
        if (dblLess(offset, left) && offset > leftOffset) {
            leftOffset = offset;
            leftElevation = elevation;
        } else if (dblGreater(offset, right) && offset < rightOffset) {
            rightOffset = offset;
            rightElevation = elevation;
        }
    }
    bool hasLeft() const { return !dblIsZero(leftElevation); }
    bool hasRight() const { return !dblIsZero(rightElevation); }
};

bool insideWindow(double offset, double left, double right) {
    return dblGreaterEqual(offset, left) && dblLessEqual(offset, right);
}

// Drops every point closer than minSpacing to the previous point kept.
void thinSection(XSECTION* xs, double minSpacing) {
    if (!(std::fabs(minSpacing) > 1e-12)) return;
    const int count = std::clamp<int>(xs->count, 0, kSectionCapacity);
    if (count < 2) return;
    int kept = 1;
    for (int i = 1; i < count; ++i) {
        if (dblLess(std::fabs(xs->points[i].offset - xs->points[kept - 1].offset), minSpacing)) continue;
        xs->points[kept++] = xs->points[i];
    }
    xs->count = static_cast<std::int16_t>(kept);
}

void thinList(LongSection* ls, double minSpacing) {
    if (!(std::fabs(minSpacing) > 1e-12)) return;
    LSECTION* kept = ls->Get(0);
    if (!kept) return;
    for (auto* p = static_cast<LSECTION*>(kept->Next()); p;) {
        auto* next = static_cast<LSECTION*>(p->Next());
        if (dblLess(std::fabs(p->offset - kept->offset), minSpacing)) {
            delete ls->Subtract(p);
        } else {
            kept = p;
        }
        p = next;
    }
}

// One terrain crossing of a feature line with the section line: A and B with their section
// coordinates, or nothing when the line stays on one side.
bool lineCrossing(double (*f)[5], const SURVCOORD& a, const SURVCOORD& b, double& offset,
                  double& elevation) {
    double oA = 0, dA = 0, oB = 0, dB = 0;
    dbfFrameMap(f, a.y, a.x, oA, dA);
    dbfFrameMap(f, b.y, b.x, oB, dB);
    if ((dA < -1e-12 && dB < -1e-12) || (dA > 1e-12 && dB > 1e-12)) return false;
    const double t = dB / (dB - dA + 1e-21);
    offset = oB - (oB - oA) * t;
    elevation = b.z - (b.z - a.z + 1e-21) * t;
    return true;
}

// Walks the points of the rectangle on the surface, and with lines each outgoing line whose end
// point is on the surface too, handing each candidate (offset, elevation, and the two names for
// a crossing) to `take`. take returns false to stop. 0 after Escape, 1 otherwise.
template <typename Take>
int walkTerrain(double y0, double x0, double radius, double left, double right, WORD surface,
                bool lines, double band, double (*f)[5], Take take) {
    RRect area = searchRect(y0, x0, radius, left, right);
    SURVCOORD a{}, b{};
    int abort = 0;
    const int lo = projGetLO(nullptr);
    // Only the points near the section line can count: within the band, or with a line long
    // enough to reach across. The terrain leaves out the rest where its point index can tell.
    ScanCorridor near;
    near.y0 = f[0][2];
    near.x0 = f[0][3];
    near.a = f[2][1];
    near.b = f[2][0];
    near.c = f[0][1];
    near.reach = lines ? 0.0 : std::fabs(band);
    near.withLines = lines;
    for (unsigned n = terrainStartCoordNear(a, &area, near); n != 0; n = dbfNextCoord(a, n)) {
        if (dbfCheckSurface(a.surface, surface)) {
            if (!lines) {
                double offset = 0, distance = 0;
                dbfFrameMap(f, a.y, a.x, offset, distance);
                if (dblLess(std::fabs(distance), band) && !take(offset, a.z, &a, nullptr)) return 1;
            } else {
                for (DWORD partner : a.lines) {
                    if (!partnerPoint(partner, lo, b) || !dbfCheckSurface(b.surface, surface)) continue;
                    double offset = 0, elevation = 0;
                    if (lineCrossing(f, a, b, offset, elevation) && !take(offset, elevation, &a, &b))
                        return 1;
                }
            }
        }
        if (dbfCheckEscape(abort, 0)) return 0;
    }
    return 1;
}

bool namesPass(const char* filter, const SURVCOORD* a, const SURVCOORD* b) {
    if (!filter) return true;
    char nameA[sizeof a->name], nameB[sizeof b->name];
    std::copy(std::begin(a->name), std::end(a->name), nameA);
    std::copy(std::begin(b->name), std::end(b->name), nameB);
    nameA[sizeof nameA - 1] = nameB[sizeof nameB - 1] = '\0';
    return dbfNameFilter(nameA, filter) && dbfNameFilter(nameB, filter);
}

void finishSection(XSECTION* xs, double minSpacing, int withEnds, const OutsidePoints& outside) {
    thinSection(xs, minSpacing);
    if (!withEnds) return;
    if (outside.hasLeft()) dbfAddOffsetElevation(outside.leftOffset, outside.leftElevation, 0.0, 0, xs);
    if (outside.hasRight()) dbfAddOffsetElevation(outside.rightOffset, outside.rightElevation, 0.0, 0, xs);
}

void addEnds(LongSection* ls, const OutsidePoints& outside) {
    if (outside.hasLeft()) ls->AddOffsetElevation(outside.leftOffset, outside.leftElevation, 0);
    if (outside.hasRight()) ls->AddOffsetElevation(outside.rightOffset, outside.rightElevation, 0);
}

void emptySection(XSECTION* xs) {
    xs->count = 0;
    xs->capacity = kSectionCapacity;
}

// The points of a long-section cut inside its window, gathered as they come and put into the list
// in one go: the list's own ordered add walks back from its tail for every point that arrives
// out of offset order, and a cut's points come in the terrain's order. The list ends as the adds
// one by one would leave it (order, equal offsets in order of arrival, the last point current).
class ProfileBatch {
public:
    void add(double offset, double elevation) { points_.push_back({offset, elevation}); }

    void moveTo(LongSection* ls) {
        std::vector<double> offsets;
        offsets.reserve(points_.size());
        for (const Point& p : points_) offsets.push_back(p.offset);
        const std::vector<int> order = ls->Count() == 0 ? profileOrder(offsets) : std::vector<int>{};
        if (order.size() != points_.size()) {
            // A list that already holds points (or an offset that is not finite): one by one.
            for (const Point& p : points_) ls->AddOffsetElevation(p.offset, p.elevation, 0);
        } else {
            LSECTION* previous = nullptr;
            LSECTION* lastArrived = nullptr;
            for (int i : order) {
                auto* e = new LSECTION;
                e->offset = points_[i].offset;
                e->elevation = points_[i].elevation;
                previous = ls->Add(e, previous);
                if (i + 1 == static_cast<int>(points_.size())) lastArrived = e;
            }
            if (lastArrived) ls->SetCurrent(lastArrived);
        }
        points_.clear();
    }

private:
    struct Point {
        double offset, elevation;
    };
    std::vector<Point> points_;
};

// The elevation of the profile at offset 0, 0.0 when offset 0 is not inside it.
double elevationAtStart(LongSection* ls) {
    const int seg = dbfLSectTrav(0.0, ls);
    return seg ? dbfLInterpElevation(0.0, seg, ls) : 0.0;
}

// The terrain height at `from` from a cross-section square to from->to, into z; false (z kept)
// after Escape. The list is left empty either way.
bool heightAlong(const PNT_3D_record& from, const PNT_3D_record& to, WORD surface, double radius,
                 LongSection* ls, double& z) {
    double f[5][5] = {};
    f[1][2] = from.y;
    f[1][3] = from.x;
    f[2][2] = to.y;
    f[2][3] = to.x;
    f[0][2] = 2.0 * from.y - to.y;
    f[0][3] = 2.0 * from.x - to.x;
    dbfFrameFromTriplet(f);
    const int done = dbfLongSectionFromLines(from.y, from.x, radius, -100.0, 30.0, 1, surface, 0.0, f, ls);
    if (done) z = elevationAtStart(ls);
    ls->Destroy();
    return done != 0;
}

}  // namespace

void dbfFrameMap(double (*f)[5], double y, double x, double& offset, double& distance) {
    offset = (y - f[0][2]) * f[2][0] + f[0][0] - (x - f[0][3]) * f[2][1];
    distance = (y - f[0][2]) * f[2][1] + f[0][1] + (x - f[0][3]) * f[2][0];
}

void dbfFrameFromRows(double (*table)[5]) {
    if (!table) return;
    makeFrame(table, FramePadding{1e-21, 1e-21, 1e-21, 1e-21});
}

void dbfFrameFromTriplet(double (*table)[5]) {
    if (!table) return;
    double py = table[0][2], px = table[0][3];
    const double qy = table[1][2], qx = table[1][3];
    double ny = table[2][2], nx = table[2][3];
    // Equal arms: the shorter one is stretched to the longer along its own direction.
    const double d1 = std::hypot(py - qy, px - qx) + 1e-21;
    const double d2 = std::hypot(qy - ny, qx - nx) + 1e-21;
    if (d1 <= d2) {
        py = qy + (py - qy) * d2 / d1;
        px = qx + (px - qx) * d2 / d1;
    } else {
        ny = qy + (ny - qy) * d1 / d2;
        nx = qx + (nx - qx) * d1 / d2;
    }
    const double my = (py + ny) / 2.0, mx = (px + nx) / 2.0;
    table[0][0] = 0.0;
    table[0][1] = -std::hypot(my - py, mx - px);
    table[1][0] = 0.0;
    table[1][1] = 0.0;
    // The chord moved through Q: distances then run along the chord, offsets square to it.
    table[0][2] = py - (my - qy);
    table[0][3] = px - (mx - qx);
    makeFrame(table, FramePadding{0.0, 1e-21, 0.0, 1e-21});
}

int dbfSectionFromCoords(double y0, double x0, double radius, double left, double right,
                         double band, int withEnds, unsigned short surface, double minSpacing,
                         double (*table)[5], XSECTION* xs) {
    if (!xs || !table) return 0;
    emptySection(xs);
    OutsidePoints outside;
    const int done = walkTerrain(y0, x0, radius, left, right, surface, false, band, table,
                                 [&](double offset, double elevation, const SURVCOORD*, const SURVCOORD*) {
                                     if (!insideWindow(offset, left, right)) {
                                         outside.consider(offset, elevation, left, right);
                                         return true;
                                     }
                                     if (xs->count >= kSectionCapacity - 1) thinSection(xs, minSpacing);
                                     return dbfAddOffsetElevation(offset, elevation, 0.0, 0, xs) != 0;
                                 });
    if (!done) return 0;
    finishSection(xs, minSpacing, withEnds, outside);
    return 1;
}

int dbfSectionFromLines(double y0, double x0, double radius, double left, double right,
                        int withEnds, unsigned short surface, double minSpacing,
                        double (*table)[5], XSECTION* xs, char* nameFilter, int firstId) {
    if (!xs || !table) return 0;
    emptySection(xs);
    OutsidePoints outside;
    int nextId = firstId;
    bool full = false;
    const int done = walkTerrain(y0, x0, radius, left, right, surface, true, 0.0, table,
                                 [&](double offset, double elevation, const SURVCOORD* a, const SURVCOORD* b) {
                                     if (!insideWindow(offset, left, right)) {
                                         if (!nameFilter) outside.consider(offset, elevation, left, right);
                                         return true;
                                     }
                                     if (!namesPass(nameFilter, a, b)) return true;
                                     if (xs->count >= kSectionCapacity - 1) thinSection(xs, minSpacing);
                                     const double id = std::min(nextId, 100);
                                     if (!dbfAddOffsetElevation(offset, elevation, id, 0, xs)) {
                                         full = true;
                                         return false;
                                     }
                                     ++nextId;
                                     return true;
                                 });
    if (!done || full) return 0;
    finishSection(xs, minSpacing, withEnds, outside);
    return 1;
}

int dbfLongSectionFromCoords(double y0, double x0, double radius, double left, double right,
                             double band, int withEnds, unsigned short surface, double minSpacing,
                             double (*table)[5], LongSection* ls) {
    if (!ls || !table) return 0;
    OutsidePoints outside;
    ProfileBatch batch;
    const int done = walkTerrain(y0, x0, radius, left, right, surface, false, band, table,
                                 [&](double offset, double elevation, const SURVCOORD*, const SURVCOORD*) {
                                     if (insideWindow(offset, left, right))
                                         batch.add(offset, elevation);
                                     else
                                         outside.consider(offset, elevation, left, right);
                                     return true;
                                 });
    batch.moveTo(ls);
    if (!done) return 0;
    thinList(ls, minSpacing);
    if (withEnds) addEnds(ls, outside);
    return 1;
}

int dbfLongSectionFromLines(double y0, double x0, double radius, double left, double right,
                            int withEnds, unsigned short surface, double minSpacing,
                            double (*table)[5], LongSection* ls) {
    if (!ls || !table) return 0;
    OutsidePoints outside;
    ProfileBatch batch;
    const int done = walkTerrain(y0, x0, radius, left, right, surface, true, 0.0, table,
                                 [&](double offset, double elevation, const SURVCOORD*, const SURVCOORD*) {
                                     if (insideWindow(offset, left, right))
                                         batch.add(offset, elevation);
                                     else
                                         outside.consider(offset, elevation, left, right);
                                     return true;
                                 });
    batch.moveTo(ls);
    if (!done) return 0;
    if (withEnds) addEnds(ls, outside);
    thinList(ls, minSpacing);
    return 1;
}

double dbfCalcHeight(double y, double x, unsigned short surface, double radius) {
    RRect area{y + radius, y - radius, x - radius, x + radius};
    double lower = kNoneLow, lowerZ = 0.0, upper = kNoneHigh, upperZ = 0.0;
    SURVCOORD a{}, b{};
    const int lo = projGetLO(nullptr);
    // Only lines that reach across the line of constant y count.
    ScanCorridor near;
    near.y0 = y;
    near.a = 1.0;
    near.reach = 4.0 * (std::fabs(y) * 1e-12 + 1e-12);
    near.withLines = true;
    for (unsigned n = terrainStartCoordNear(a, &area, near); n != 0; n = dbfNextCoord(a, n)) {
        if (!dbfCheckSurface(a.surface, surface)) continue;
        for (DWORD partner : a.lines) {
            if (!partnerPoint(partner, lo, b)) continue;
            if ((dblLess(a.y, y) && dblLess(b.y, y)) || (dblGreater(a.y, y) && dblGreater(b.y, y))) continue;
            const double t = (y - a.y) / (b.y - a.y + 1e-21);
            const double xc = a.x + (b.x - a.x) * t;
            const double zc = a.z + (b.z - a.z) * t;
            if (!dblGreater(xc, x) && xc > lower) {
                lower = xc;
                lowerZ = zc;
            }
            if (!dblLess(xc, x) && xc < upper) {
                upper = xc;
                upperZ = zc;
            }
        }
    }
    if (!dblLessEqual(std::fabs(upper - lower), radius)) return 0.0;
    return lowerZ + (x - lower) * (upperZ - lowerZ) / (upper - lower + 1e-21);
}

// Escape ends the extraction: during an end height the profile stays empty and that height
// unchanged; during the main cut the profile keeps what was cut, without its two end points.
void dbfLongExtract(PNT_3D_record& a, PNT_3D_record& b, unsigned short surface, double radius,
                    LongSection* ls) {
    if (!ls || !dbfValidSurface(surface)) return;
    if (!heightAlong(a, b, surface, radius, ls, a.z)) return;
    if (!heightAlong(b, a, surface, radius, ls, b.z)) return;

    const double length = std::hypot(b.y - a.y, b.x - a.x);
    double f[5][5] = {};
    f[0][2] = a.y;
    f[0][3] = a.x;
    f[1][1] = length;
    f[1][2] = a.y + (a.x - b.x);
    f[1][3] = a.x + (b.y - a.y);
    dbfFrameFromRows(f);
    if (!dbfLongSectionFromLines(a.y, a.x, length + 100.0, 0.0, length, 0, surface, 0.0, f, ls)) return;
    ls->AddOffsetElevation(0.0, a.z, 0);
    ls->AddOffsetElevation(length, b.z, 0);
}
