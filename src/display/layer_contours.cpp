// Contours: quick contours traced per polygon of terrain lines at every level, radial contours
// round one point, saved contours from the contour file with their labels and Bezier smoothing.
#include <cmath>
#include <cstring>

#include "database/frame.h"
#include "display/display_state.h"

using namespace display;

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr std::size_t kRingLimit = 11;   // a ring of 11 or more entries is not traced

struct Corner {
    unsigned number;
    SURVCOORD record;
};

double bearing(const SURVCOORD& from, const SURVCOORD& to) {
    double distance = 0.0, direction = 0.0;
    coreSurvJoin(from.y, from.x, to.y, to.x, distance, direction);
    return direction;
}

bool levelInRange(double h) {
    const DisplayState& s = state();
    if (std::fabs(s.minContour) > 1e-12 && dblLess(h, s.minContour)) return false;
    if (std::fabs(s.maxContour) > 1e-12 && dblGreater(h, s.maxContour)) return false;
    return true;
}

}  // namespace

std::vector<double> dbfContourLevels(double zmin, double zmax, double base, double interval) {
    std::vector<double> levels;
    if (!(interval > 1e-12) || !std::isfinite(zmin) || !std::isfinite(zmax)) return levels;
    double level = std::floor((std::floor(zmin) - base) / interval) * interval + base;
    while (dblLessEqual(level, zmin)) level += interval;
    for (; dblLessEqual(level, zmax); level += interval) levels.push_back(level);
    return levels;
}

void dbfOldFindPoly(unsigned start, unsigned next, std::vector<unsigned>& ring, unsigned& status) {
    double area = 0.0;
    display::walkRing(start, next, ring, status, area);
}

namespace display {

// The walk turns from the line it came along to the next line counter-clockwise, so a face of
// the network is traced clockwise on the plan (y east, x north) and its outside counter-clockwise;
// area is twice the signed area of the ring in (y, x), negative for a face.
void walkRing(unsigned start, unsigned next, std::vector<unsigned>& ring, unsigned& status, double& area) {
    area = 0.0;
    ring.clear();
    status = kWalkDeadEnd;
    if (start == 0 || next == 0) return;
    SURVCOORD here{}, back{};
    dbfGrabCoord(back, start);
    dbfGrabCoord(here, next);
    auto addEdge = [&](const SURVCOORD& a, const SURVCOORD& b) { area += a.y * b.x - b.y * a.x; };
    addEdge(back, here);
    ring.push_back(start);
    ring.push_back(next);
    unsigned previous = start, current = next;
    while (ring.size() < kRingLimit) {
        const double backBearing = bearing(here, back);
        unsigned chosen = 0;
        double best = 0.0;
        SURVCOORD chosenRecord{}, candidate{};
        auto consider = [&](DWORD q) {
            if (q == 0 || q == previous) return;
            dbfGrabCoord(candidate, q);
            double turn = bearing(here, candidate) - backBearing;
            if (turn <= -1e-12) turn += kTwoPi;
            if (chosen == 0 || turn < best - 1e-12) {
                chosen = q;
                best = turn;
                chosenRecord = candidate;
            }
        };
        for (DWORD q : here.lines) consider(q);
        for (DWORD q : here.shadows) consider(q);
        if (chosen == 0) return;
        ring.push_back(chosen);
        addEdge(here, chosenRecord);
        if (chosen == start) {
            status = kWalkClosed;
            return;
        }
        for (std::size_t i = 1; i + 1 < ring.size(); ++i)
            if (ring[i] == chosen) {
                status = kWalkLoop;
                return;
            }
        previous = current;
        current = chosen;
        back = here;
        here = chosenRecord;
    }
    status = kWalkTooLong;
}

void traceEdge(unsigned a, unsigned b, double low, double high, unsigned required, const ContourPens& pens) {
    std::vector<unsigned> ring;
    unsigned status = 0;
    double area = 0.0;
    walkRing(a, b, ring, status, area);
    if (status != kWalkClosed || ring.size() >= kRingLimit || !(area < 0.0)) return;
    if (required != 0) {
        bool found = false;
        for (std::size_t i = 0; i < ring.size() && i < 10; ++i) found = found || ring[i] == required;
        if (!found) return;
    }
    const double interval = state().contour.interval;
    for (double h = low; dblLessEqual(h, high); h += interval) {
        if (!levelInRange(h)) continue;
        PNT_3D_record start{}, crossing{};
        unsigned index = 0;
        dbfContourPoly(ring, h, start, crossing, index);
        if (index == 0) continue;
        const bool major = pens.major && dblIsZero(coreFmod(h, state().contour.majorInterval));
        // The export writes computed contours as solid lines (style 1) at their level.
        const int style = state().sink ? 1 : major ? pens.majorStyle : pens.minorStyle;
        drawPath({PNT_3D_record{start.x, start.y, h}, PNT_3D_record{crossing.x, crossing.y, h}},
                 major ? pens.majorPen : pens.minorPen, style, 0.0, false);
    }
}

}  // namespace display

namespace {

// The quick contours of the points of one surface in its extended view.
bool contourSurface(WORD surface, LayerRun& run) {
    const DisplayState& s = state();
    const ContourSettings& k = s.contour;
    cad()->gsSetLayer(surfaceLayer(surface, "QuickCont").c_str(), "QuickCont");
    const ContourPens pens{k.minorPen, k.minorStyle, k.majorPen, k.majorStyle, k.majorOn != 0};
    RRect area;
    dbfGetViewRectEx(&area, surface);
    SURVCOORD p, q;
    for (unsigned n = dbfStartCoord(p, &area); n != 0; n = dbfNextCoord(p, n)) {
        if (dbfCheckSurface(p.surface, surface)) {
            for (DWORD other : p.lines) {
                if (!other) continue;
                dbfGrabCoord(q, other);
                const double pz = p.z, qz = q.z;   // copied out of the packed records
                const double zmin = std::min(pz, qz), zmax = std::max(pz, qz);
                const std::vector<double> levels = dbfContourLevels(zmin, zmax, s.contourBase, k.interval);
                if (levels.empty()) continue;
                traceEdge(n, other, levels.front(), zmax, 0, pens);
                traceEdge(other, n, levels.front(), zmax, 0, pens);
            }
        }
        if (run.unitDone()) return false;
    }
    return true;
}

}  // namespace

void dbfPlotContours(int& escape) {
    LayerRun run(escape, "Plotting contours (Esc to cancel)", true);
    const DisplayState& s = state();
    if (!cad() || !(s.contour.interval > 1e-12)) return;
    if (!contourSurface(static_cast<WORD>(s.contourSurface), run)) return;
    if (s.flags[kFlagSecondContour]) contourSurface(static_cast<WORD>(s.contourSurface2), run);
}

void dbfRadialCont(unsigned point, unsigned required, int draw) {
    const DisplayState& s = state();
    if (!s.flags[kFlagContours] || !cad() || point == 0 || !(s.contour.interval > 1e-12)) return;
    SURVCOORD p, q;
    dbfGrabCoord(p, point);
    if (!dbfCheckSurface(p.surface, static_cast<WORD>(s.contourSurface))) return;
    const ContourPens pens{draw ? s.contour.minorPen : 0, s.contour.minorStyle, 0, 0, false};
    auto trace = [&](DWORD other) {
        if (!other) return;
        dbfGrabCoord(q, other);
        const double pz = p.z, qz = q.z;   // copied out of the packed records
        const double zmax = std::max(pz, qz);
        const std::vector<double> levels = dbfContourLevels(std::min(pz, qz), zmax, s.contourBase, s.contour.interval);
        if (levels.empty()) return;
        traceEdge(point, other, levels.front(), zmax, required, pens);
        traceEdge(other, point, levels.front(), zmax, required, pens);
    };
    for (DWORD other : p.lines) trace(other);
    for (DWORD other : p.shadows) trace(other);
}

// ---------------------------------------------------------------------------------------------
// Saved contours

void dbfBezSmooth(const PNT_2D_record window[4], PNT_2D_record out[25]) {
    const PNT_2D_record &p0 = window[0], &p1 = window[1], &p2 = window[2], &p3 = window[3];
    double inA, inB, outA1, outB1, inA2, inB2, outA, outB;
    coreBezHandle(p0.x, p0.y, p1.x, p1.y, p2.x, p2.y, 4.0, inA, inB, outA1, outB1);
    coreBezHandle(p1.x, p1.y, p2.x, p2.y, p3.x, p3.y, 4.0, inA2, inB2, outA, outB);
    for (int i = 0; i < 25; ++i) {
        const double t = i / 24.0, u = 1.0 - t;
        const double b0 = u * u * u, b1 = 3 * u * u * t, b2 = 3 * u * t * t, b3 = t * t * t;
        out[i].x = b0 * p1.x + b1 * outA1 + b2 * inA2 + b3 * p2.x;
        out[i].y = b0 * p1.y + b1 * outB1 + b2 * inB2 + b3 * p2.y;
    }
}

namespace {

#pragma pack(push, 1)
struct ContourHeader {
    std::int16_t surface;
    std::int16_t kind;
    double lowest;
    double highest;
    char unused[32];
};
struct ContourLine {
    BYTE type;
    WORD count;
    double level;
    std::int32_t label1;
    std::int32_t label2;
    BYTE orientation;
    char unused[7];
};
#pragma pack(pop)
static_assert(sizeof(ContourHeader) == kContourHeaderBytes, "the contour file header");
static_assert(sizeof(ContourLine) == kContourLineBytes, "a contour line record");

bool onInterval(double level, double interval, const ContourHeader& h) {
    if (dblIsZero(interval)) return true;
    const bool bothZero = dblIsZero(h.lowest) && dblIsZero(h.highest);
    const bool bothUnset = h.lowest == kNoneHigh && h.highest == kNoneLow;
    if (bothZero || bothUnset) return true;
    const double k = std::floor(h.lowest / interval);
    const double first = coreDoubleRound(k * interval + interval, 3);
    const double steps = std::fabs(coreDoubleRound(coreDoubleRound(level - first, 3) / interval, 3));
    return std::fabs(steps - std::round(steps)) <= 9e-05;
}

struct PenStyle {
    int pen = 0, style = 0;
};

PenStyle penFor(const ContourHeader& h, double level) {
    const ContourSettings& k = state().contour;
    const double interval = k.interval;
    if (h.kind == 1) {
        if (!onInterval(level, interval, h)) return {};
        if (dblEqual(level, 1000.0)) return {k.diffZeroPen, k.diffZeroStyle};
        return dblGreater(level, 1000.0) ? PenStyle{k.diffAbovePen, k.diffAboveStyle}
                                          : PenStyle{k.diffBelowPen, k.diffBelowStyle};
    }
    if (h.kind == 4) return {k.minorPen, k.minorStyle};
    if (!onInterval(level, interval, h)) return {};
    if (k.majorOn && onInterval(level, k.majorInterval, h)) return {k.majorPen, k.majorStyle};
    return {k.minorPen, k.minorStyle};
}

bool inView(const PNT_2D_record& p) {
    const RRect& v = state().view;
    return p.x >= v.minX && p.x <= v.maxX && p.y >= v.minY && p.y <= v.maxY;
}

// Draws the line at its level (one path: one polyline in the export); false when Escape was
// pressed.
bool drawPolyline(const std::vector<PNT_2D_record>& points, double level, PenStyle ps) {
    std::vector<PNT_3D_record> path(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) path[i] = PNT_3D_record{points[i].x, points[i].y, level};
    drawPath(path, ps.pen, ps.style, 0.0, true);
    int abort = 0;
    return dbfCheckEscape(abort, 0) == 0;
}

// The line smoothed piece by piece from the first point inside the view, the pieces joined into
// one line (each piece starts where the one before ends); false on Escape.
bool drawSmoothed(const std::vector<PNT_2D_record>& line, double level, PenStyle ps) {
    DisplayState& s = state();
    if (s.smoothing) return true;
    std::size_t first = 0;
    while (first < line.size() && !inView(line[first])) ++first;
    if (first + 1 >= line.size()) return true;
    s.smoothing = true;
    std::vector<PNT_2D_record> smooth{line[first]};
    PNT_2D_record out[25];
    const std::size_t last = line.size() - 1;
    for (std::size_t i = first; i < last; ++i) {
        const PNT_2D_record window[4] = {line[i == 0 ? 0 : i - 1], line[i], line[i + 1], line[i + 2 <= last ? i + 2 : last]};
        const bool straightStart = i == first && std::hypot(line[i + 1].x - line[i].x, line[i + 1].y - line[i].y) <= 1.0;
        if (straightStart) {
            smooth.push_back(line[i + 1]);
            continue;
        }
        dbfBezSmooth(window, out);
        smooth.insert(smooth.end(), out + 1, out + 25);
    }
    const bool going = drawPolyline(smooth, level, ps);
    s.smoothing = false;
    return going;
}

std::string levelText(const ContourHeader& h, double level, int decimals) {
    char text[64];
    if (h.kind == 0 || h.kind == 4)
        std::snprintf(text, sizeof text, "%.*lf", decimals, level);
    else if (dblEqual(level, 1000.0))
        std::snprintf(text, sizeof text, "%.*lf", decimals, 0.0);
    else
        std::snprintf(text, sizeof text, "%+.*lf", decimals, level - 1000.0);
    return text;
}

// Labels at every multiple of the label spacing along the line, turned to the segment.
void labelLine(const std::vector<PNT_2D_record>& line, const std::string& text) {
    const ContourSettings& k = state().contour;
    if (!(std::fabs(k.labelSpacing) > 1e-12)) return;
    CCadWindow* w = cad();
    const float height = labelHeight(k.labelSize);
    double walked = 0.0, next = k.labelSpacing;
    for (std::size_t i = 1; i < line.size(); ++i) {
        const PNT_2D_record &a = line[i - 1], &b = line[i];
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        while (next <= walked + length) {
            const double t = (next - walked) / (length + 1e-21);
            const double angle = std::atan2(b.x - a.x, b.y - a.y) * 1800.0 / 3.141592653589793;
            w->gsDisplayText(text.c_str(), a.y + (b.y - a.y) * t, a.x + (b.x - a.x) * t, k.labelPen, 5,
                             static_cast<short>(k.labelOption == 0 ? 1 : 0), height, static_cast<float>(angle));
            next += k.labelSpacing;
        }
        walked += length;
    }
}

}  // namespace

void dbfDrawContours(int& escape) {
    LayerRun run(escape, "Plotting contours (Esc to cancel)", false);
    const DisplayState& s = state();
    if (!cad()) return;
    char name[MAX_PATH] = {};
    char ext[32];
    std::snprintf(ext, sizeof ext, "%d.cnt", s.contourSurface);
    dbfFileName(name, ext, kFileProject);
    FILE* file = coreFileOpen(name, "rb");
    if (!file) return;
    ContourHeader header{};
    if (!dbfReadContourHeader(&header, file)) {
        coreFileClose(file);
        return;
    }
    if (header.kind == 0 && header.surface != 0)
        cad()->gsSetLayer(surfaceLayer(static_cast<WORD>(header.surface), "GenCont").c_str(), "GenCont");
    else
        cad()->gsSetLayer(header.kind == 0 ? "DTMContour" : "DTMDiffContour", header.kind == 0 ? "GenCont" : "DiffCont");
    const ContourSettings& k = s.contour;
    ContourLine record{};
    std::vector<PNT_2D_record> line;
    while (dbfReadContour(&record, line, file)) {
        const PenStyle ps = penFor(header, record.level);
        if (record.type == 2 && ps.pen != 0 && levelInRange(record.level)) {
            const bool going = k.smooth == 1 && line.size() > 3 ? drawSmoothed(line, record.level, ps)
                                                                : drawPolyline(line, record.level, ps);
            if (!going) {
                escape = 1;
                break;
            }
            if (k.label && (header.kind == 4 || onInterval(record.level, k.labelInterval, header))) {
                if (s.sink) s.sink->textLevel(record.level);
                labelLine(line, levelText(header, record.level, k.labelDecimals));
                if (s.sink) s.sink->textLevel(std::nan(""));
            }
        }
        if (run.unitDone()) break;
    }
    coreFileClose(file);
}
