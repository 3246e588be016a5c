// Slope and height shading: each polygon of terrain lines split into triangles, each triangle
// filled with the colour of its class, the class shares kept for the legend.
//
// Which polygons are done is kept in memory (a set of directed edges) instead of the points' work
// bytes: a paint then never writes to the terrain file.
#include <cmath>
#include <cstring>
#include <unordered_set>

#include "database/frame.h"
#include "display/display_state.h"
#include "frame/state.h"

using namespace display;

namespace {

struct ShadeKind {
    bool slope;
    const char* title;
    const char* layerType;
};

const char* walkReason(unsigned status) {
    switch (status) {
        case kWalkLoop: return "Polygon closes on itself";
        case kWalkTooLong: return "Open polygon encountered";
        default: return "Connecting line not found";
    }
}

// The site perimeter of the surface in the view; false after the message when there is none.
bool perimeterFound(WORD surface, const ShadeKind& kind) {
    dbfDispStatus("Locating perimeter", kStatusPush);
    unsigned start = 0, next = 0, status = kWalkDeadEnd;
    RRect view = state().view;
    dbfPolyStart(start, next, surface, &view);
    std::vector<unsigned> perimeter;
    if (start != 0) dbfFindPoly(start, next, perimeter, status, 0, 0);
    dbfDispStatus(nullptr, kStatusPop);
    if (status == kWalkClosed) return true;
    // A paint names the layer; the export's message is the bare reason.
    const std::string title = state().sink ? "" : std::string(kind.title) + ": ";
    ErrorMessage((title + "No perimeter could be found\n" + walkReason(status)).c_str(), dbfOwner());
    return false;
}

int slopeClass(double value, const std::array<ShadeClass, kShadeClasses>& classes) {
    for (int i = 0; i < kShadeClasses; ++i) {
        const ShadeClass& c = classes[static_cast<size_t>(i)];
        if (dblGreaterEqual(value, c.lower) && dblLess(value, c.upper)) return i + 1;
    }
    return 0;
}

struct Triangle {
    SURVCOORD a, b, c;
};

double planArea(const Triangle& t) {
    return std::fabs((t.b.x - t.a.x) * (t.c.y - t.a.y) - (t.c.x - t.a.x) * (t.b.y - t.a.y)) / 2.0;
}

// The slope in per cent: 100 x the tangent of the triangle's inclination; 0 when degenerate.
double slopePercent(const Triangle& t) {
    const double ux = t.b.x - t.a.x, uy = t.b.y - t.a.y, uz = t.b.z - t.a.z;
    const double vx = t.c.x - t.a.x, vy = t.c.y - t.a.y, vz = t.c.z - t.a.z;
    const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    if (dblIsZero(nz)) return 0.0;
    return 100.0 * std::hypot(nx, ny) / std::fabs(nz);
}

int classOf(const Triangle& t, bool slope) {
    if (slope) {
        const int c = slopeClass(slopePercent(t), state().slopeClasses);
        return c ? c : 65;
    }
    return heightClassOf((t.a.z + t.b.z + t.c.z) / 3.0);
}

COLORREF colourOf(int shadeClass, bool slope) {
    const DisplayState& s = state();
    if (shadeClass <= kShadeClasses)
        return (slope ? s.slopeClasses : s.heightClasses)[static_cast<size_t>(shadeClass - 1)].colour;
    if (slope) return s.noSlopeColour;
    return shadeClass == 65 ? s.underHeightColour : s.overHeightColour;
}

// The arrow down the slope from the triangle's centre: its shaft the second arrow setting in per
// cent of the triangle's mean side, its head the third; the three segments (shaft, two head
// strokes) lie on the triangle's plane. False for a level or degenerate triangle.
bool slopeArrow(const Triangle& t, PNT_3D_record segments[3][2]) {
    const DisplayState& s = state();
    const double ux = t.b.x - t.a.x, uy = t.b.y - t.a.y, uz = t.b.z - t.a.z;
    const double vx = t.c.x - t.a.x, vy = t.c.y - t.a.y, vz = t.c.z - t.a.z;
    const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz;
    const double nz = ux * vy - uy * vx;
    double gx = nx, gy = ny;
    const double g = std::hypot(gx, gy);
    if (dblIsZero(nz) || dblIsZero(g)) return false;
    if (nz < 0) gx = -gx, gy = -gy;
    gx /= g;
    gy /= g;
    const double side = (std::hypot(ux, uy) + std::hypot(vx, vy) + std::hypot(t.c.x - t.b.x, t.c.y - t.b.y)) / 3.0;
    const double shaft = side * s.arrowSize1 / 100.0, head = side * s.arrowSize2 / 100.0;
    const double cx = (t.a.x + t.b.x + t.c.x) / 3.0, cy = (t.a.y + t.b.y + t.c.y) / 3.0;
    const double tx = cx + gx * shaft / 2.0, ty = cy + gy * shaft / 2.0;
    auto at = [&](double x, double y) { return PNT_3D_record{x, y, t.a.z - (nx * (x - t.a.x) + ny * (y - t.a.y)) / nz}; };
    const PNT_3D_record tip = at(tx, ty);
    segments[0][0] = at(cx - gx * shaft / 2.0, cy - gy * shaft / 2.0);
    segments[0][1] = tip;
    segments[1][0] = tip;
    segments[1][1] = at(tx - gx * head - gy * head / 2.0, ty - gy * head + gx * head / 2.0);
    segments[2][0] = tip;
    segments[2][1] = at(tx - gx * head + gy * head / 2.0, ty - gy * head - gx * head / 2.0);
    return true;
}

class Shader {
public:
    Shader(const ShadeKind& kind, WORD surface) : kind_(kind) {
        DisplayState& s = state();
        area_ = kind.slope ? &s.slopeArea : &s.heightArea;
        total_ = kind.slope ? &s.slopeTotal : &s.heightTotal;
        area_->fill(0.0);
        *total_ = 0.0;
        fill_ = !kind.slope || s.showSlopeColours;
        cad()->gsSetLayer(surfaceLayer(surface, kind.layerType).c_str(), kind.layerType);
    }

    void point(unsigned n, const SURVCOORD& p) {
        for (DWORD q : p.lines) edge(n, q);
        for (DWORD q : p.shadows) edge(n, q);
    }

private:
    static std::uint64_t key(unsigned a, unsigned b) { return (std::uint64_t{a} << 32) | b; }

    void edge(unsigned a, unsigned b) {
        if (b == 0 || used_.count(key(a, b))) return;
        std::vector<unsigned> ring;
        unsigned status = 0;
        double signedArea = 0.0;
        walkRing(a, b, ring, status, signedArea);
        if (status != kWalkClosed || !(signedArea < 0.0)) return;
        for (std::size_t i = 1; i < ring.size(); ++i) used_.insert(key(ring[i - 1], ring[i]));
        std::vector<SURVCOORD> corner(ring.size() - 1);
        for (std::size_t i = 0; i + 1 < ring.size(); ++i) dbfGrabCoord(corner[i], ring[i]);
        for (std::size_t i = 1; i + 1 < corner.size(); ++i) triangle({corner[0], corner[i], corner[i + 1]});
    }

    void triangle(const Triangle& t) {
        const int c = classOf(t, kind_.slope);
        DrawSink* sink = state().sink;
        if (fill_) {
            if (sink) {
                const PNT_3D_record corners[3] = {{t.a.x, t.a.y, t.a.z}, {t.b.x, t.b.y, t.b.z}, {t.c.x, t.c.y, t.c.z}};
                sink->face(corners, c, kind_.slope);
            } else {
                const long colour = static_cast<long>(colourOf(c, kind_.slope)) | kGsRgbColourFlag;
                const GsPoint corners[3] = {{t.a.y, t.a.x}, {t.b.y, t.b.x}, {t.c.y, t.c.x}};
                cad()->gsDisplayFilledPolygon(corners, 3, colour, colour);
            }
            const double a = planArea(t);
            (*area_)[static_cast<size_t>(c)] += a;
            *total_ += a;
        }
        PNT_3D_record arrow[3][2];
        if (!kind_.slope || !state().slopeArrows || !slopeArrow(t, arrow)) return;
        // The export writes the arrow in the face's class number as solid lines (style 1), a
        // paint draws it in the arrow pen.
        for (const auto& segment : arrow)
            drawPath({segment[0], segment[1]}, sink ? c : state().arrowPen, sink ? 1 : 0, 0.0, false);
    }

    const ShadeKind& kind_;
    std::array<double, 67>* area_;
    double* total_;
    bool fill_;
    std::unordered_set<std::uint64_t> used_;
};

void shade(int& escape, const ShadeKind& kind, WORD surface) {
    escape = 0;
    if (!cad() || !perimeterFound(surface, kind)) return;
    LayerRun run(escape, "Processing polygons (Esc to cancel)", true);
    Shader shader(kind, surface);
    RRect area;
    dbfGetViewRectEx(&area, surface);
    SURVCOORD p;
    for (unsigned n = dbfStartCoord(p, &area); n != 0; n = dbfNextCoord(p, n)) {
        if (dbfCheckSurface(p.surface, surface)) shader.point(n, p);
        if (run.unitDone()) break;
    }
}

}  // namespace

int display::heightClassOf(double z) {
    const DisplayState& s = state();
    const int c = slopeClass(z, s.heightClasses);
    if (c) return c;
    return dblLess(z, s.heightClasses[0].lower) ? 65 : 66;
}

void dbfShadePlot(int& escape) {
    static const ShadeKind kind{true, "Slope shading", "Shade"};
    shade(escape, kind, static_cast<WORD>(state().shadeSurf));
}

void dbfShadeHeightPlot(int& escape) {
    static const ShadeKind kind{false, "Height shading", "ShadeHeight"};
    shade(escape, kind, static_cast<WORD>(state().shadeHeightSurf));
}
