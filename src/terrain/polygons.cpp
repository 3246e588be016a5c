// Polygons: the walk round the outer edge of a network of lines (perimeter tracing), its start,
// the lowest point of a network, bounding rectangles, area, point in polygon, and the marker
// that shows where a walk failed.
#include <cmath>
#include <cstring>
#include <numbers>
#include <unordered_set>

#include "database/frame.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "terrain/terrain_state.h"

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kMarkerStroke = 1.4142;
// The "ERROR" text: 2.5 mm on the screen whatever the zoom, upright, its top-right corner at the
// end of the stroke so that it reads away from the failing point.
constexpr float kMarkerTextHeight = -25.0f;
constexpr int kMarkerTextJustification = 9;

bool databaseOpen() { return terrainState().blocks != nullptr; }

// Brings a difference of bearings into [0, 2 pi).
double normalised(double angle) { return angle <= -1e-12 ? angle + kTwoPi : angle; }

double bearing(const SURVCOORD& from, const SURVCOORD& to) {
    double distance = 0.0, direction = 0.0;
    coreSurvJoin(from.y, from.x, to.y, to.x, distance, direction);
    return direction;
}

SURVCOORD grabbed(unsigned number) {
    SURVCOORD p{};
    dbfGrabCoord(p, number);
    return p;
}

// The 24 line references of a point in their order: 8 outgoing, then 16 incoming.
template <typename Visit>
void forEachReference(const SURVCOORD& p, Visit visit) {
    for (DWORD q : p.lines)
        if (q != 0) visit(q);
    for (DWORD q : p.shadows)
        if (q != 0) visit(q);
}

bool hasReference(const SURVCOORD& p) {
    bool any = false;
    forEachReference(p, [&](DWORD) { any = true; });
    return any;
}

void setMarker(unsigned number) {
    TerrainState& t = terrainState();
    const SURVCOORD p = grabbed(number);
    t.errorMarker = PNT_2D_record{p.x, p.y};
    t.errorMarkerShown = true;
    dbfSetErrorHook();
}

void clearMarker() { terrainState().errorMarkerShown = false; }

// The walk shared by dbfFindPoly and dbfFindPolyEx: appends to the perimeter through `append`,
// stops after `limit` points without closing (status 9). Returns the status and the failing
// point.
template <typename Perimeter>
unsigned walk(unsigned start, unsigned next, Perimeter& perimeter, unsigned limit, int draw, unsigned& failing) {
    failing = 0;
    CCadWindow* cad = draw ? dbfState().cadWindow : nullptr;
    const int pen = draw ? dbfState().perimeterPen : 0;
    auto drawLine = [&](const SURVCOORD& a, const SURVCOORD& b) {
        if (cad) cad->gsDisplayLine(a.y, a.x, b.y, b.x, pen, 0, 0.0);
    };

    perimeter.clear();
    std::unordered_set<unsigned> seen;   // the points of the perimeter, for the loop test
    perimeter.push_back(start);
    seen.insert(start);
    unsigned previous = 0, current = start;
    SURVCOORD here = grabbed(start);
    if (next != 0) {
        const SURVCOORD there = grabbed(next);
        perimeter.push_back(next);
        drawLine(here, there);
        if (next == start) return kWalkClosed;
        seen.insert(next);
        previous = start;
        current = next;
        here = there;
    }
    for (;;) {
        if (perimeter.size() >= limit) {
            failing = current;
            return kWalkTooLong;
        }
        const double back = previous != 0 ? bearing(here, grabbed(previous)) : kTwoPi;
        unsigned chosen = 0;
        double best = 0.0;
        SURVCOORD chosenPoint{};
        forEachReference(here, [&](DWORD q) {
            if (q == previous) return;
            const SURVCOORD candidate = grabbed(q);
            const double turn = normalised(bearing(here, candidate) - back);
            if (chosen == 0 || turn < best - 1e-12) {
                chosen = q;
                best = turn;
                chosenPoint = candidate;
            }
        });
        if (chosen == 0) {
            failing = current;
            return kWalkDeadEnd;
        }
        perimeter.push_back(chosen);
        drawLine(here, chosenPoint);
        if (chosen == start) return kWalkClosed;
        if (!seen.insert(chosen).second) {
            failing = chosen;
            return kWalkLoop;
        }
        previous = current;
        current = chosen;
        here = chosenPoint;
        // Long walks keep the host responsive; the walk itself always ends (every step adds a
        // new point or stops).
        if (perimeter.size() % 4096 == 0) dbfPumpMessages();
    }
}

void widen(RRect& r, double x, double y) {
    if (dblGreater(y, r.maxY)) r.maxY = y;
    if (dblLess(y, r.minY)) r.minY = y;
    if (dblLess(x, r.minX)) r.minX = x;
    if (dblGreater(x, r.maxX)) r.maxX = x;
}

RRect emptyLimits() { return RRect{kNoneLow, kNoneHigh, kNoneHigh, kNoneLow}; }

void growByTen(RRect& r) {
    r.maxY += 10.0;
    r.minY -= 10.0;
    r.minX -= 10.0;
    r.maxX += 10.0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void dbfPolyStart(unsigned& start, unsigned& next, WORD surface, RRect* area) {
    start = next = 0;
    if (!databaseOpen()) return;
    SURVCOORD p, lowest{};
    for (unsigned n = dbfStartCoord(p, area); n != 0; n = dbfNextCoord(p, n)) {
        if (!dbfCheckSurface(p.surface, surface) || !hasReference(p)) continue;
        if (start == 0 || dblLess(p.y, lowest.y)) {
            start = n;
            lowest = p;
        }
    }
    if (start == 0) return;
    double best = 0.0;
    forEachReference(lowest, [&](DWORD q) {
        const double turn = normalised(bearing(lowest, grabbed(q)) - std::numbers::pi);
        if (next == 0 || turn < best - 1e-12) {
            next = q;
            best = turn;
        }
    });
}

unsigned dbfFindLeftMost(unsigned& start, WORD surface, PerimeterFile& file) {
    file.clear();
    if (start == 0 || !databaseOpen()) return 0;
    dbfDispStatus("Tracking (Esc to cancel)", kStatusPush);
    std::unordered_set<DWORD> collected{start};
    file.push_back(start);
    int abort = 0;
    bool failed = false;
    for (std::size_t i = 0; i < file.size() && !failed; ++i) {
        const SURVCOORD p = grabbed(file[i]);
        forEachReference(p, [&](DWORD q) {
            if (failed || collected.count(q)) return;
            if (file.size() >= kPerimeterMax) {
                terrainError("Perimeter overflow");
                failed = true;
                return;
            }
            collected.insert(q);
            file.push_back(q);
            char text[64];
            std::snprintf(text, sizeof text, "Tracking point %u (Esc to cancel)", static_cast<unsigned>(q));
            dbfDispStatus(text, kStatusReset);
        });
        if (!failed && dbfCheckEscape(abort, 0)) failed = true;
    }
    if (failed) {
        dbfDispStatus(nullptr, kStatusPop);
        file.clear();
        return 0;
    }
    unsigned lowest = 0;
    SURVCOORD low{};
    for (DWORD n : file) {
        const SURVCOORD p = grabbed(n);
        if (surface != 0 && p.surface != surface) continue;
        if (lowest == 0 || dblLess(p.y, low.y) || (dblEqual(p.y, low.y) && dblLess(p.x, low.x))) {
            lowest = n;
            low = p;
        }
    }
    if (lowest != 0) start = lowest;
    dbfDispStatus(nullptr, kStatusPop);
    return static_cast<unsigned>(file.size());
}

void dbfFindPoly(unsigned start, unsigned next, std::vector<unsigned>& perimeter, unsigned& status, int draw,
                 int markError) {
    dbfSetErrorRedrawHook(nullptr);
    status = kWalkDeadEnd;
    if ((start == 0 && next == 0) || !databaseOpen()) return;
    unsigned failing = 0;
    if (start == 0) {
        perimeter.clear();
        failing = 0;
    } else {
        status = walk(start, next, perimeter, static_cast<unsigned>(-1), draw, failing);
    }
    clearMarker();
    if (markError && status != kWalkClosed && failing != 0) setMarker(failing);
}

unsigned dbfFindPolyEx(unsigned start, unsigned next, unsigned& count, int draw, PerimeterFile& file) {
    const unsigned limit = count == 0 || count > kPerimeterMax ? kPerimeterMax : count;
    count = 0;
    clearMarker();
    if (start == 0 || !databaseOpen()) {
        file.clear();
        dbfSetErrorRedrawHook(nullptr);
        return kWalkDeadEnd;
    }
    unsigned failing = 0;
    const unsigned status = walk(start, next, file, limit, draw, failing);
    count = static_cast<unsigned>(file.size());
    if (status != kWalkClosed && failing != 0)
        setMarker(failing);
    else
        dbfSetErrorRedrawHook(nullptr);
    return status;
}

void dbfPolyLimitsEx(RRect* limits, unsigned count, const PerimeterFile& file) {
    if (!limits) return;
    RRect r = emptyLimits();
    const std::size_t n = std::min<std::size_t>(count, file.size());
    for (std::size_t i = 0; i < n && databaseOpen(); ++i) {
        const SURVCOORD p = grabbed(file[i]);
        widen(r, p.x, p.y);
    }
    growByTen(r);
    *limits = r;
}

void dbfPolyToRect(const std::vector<PNT_2D_record>& polygon, RRect* limits) {
    if (!limits) return;
    RRect r = emptyLimits();
    for (const PNT_2D_record& v : polygon) widen(r, v.x, v.y);
    growByTen(r);
    *limits = r;
}

double dbfPolyArea(const std::vector<PNT_2D_record>& polygon, int& sense) {
    sense = 0;
    if (polygon.size() < 3) return 0.0;
    double s = 0.0;
    for (std::size_t i = 0; i + 1 < polygon.size(); ++i)
        s += polygon[i].y * polygon[i + 1].x - polygon[i].x * polygon[i + 1].y;
    sense = s >= -1e-12 ? 1 : -1;
    return std::fabs(s) / 2.0;
}

int dbfPointInPoly(PNT_2D_record position, const std::vector<PNT_2D_record>& polygon) {
    const double x = position.x, y = position.y;
    unsigned crossings = 0;
    for (std::size_t i = 0; i + 1 < polygon.size(); ++i) {
        const PNT_2D_record& a = polygon[i];
        const PNT_2D_record& b = polygon[i + 1];
        const bool rising = dblLessEqual(a.y, y) && dblLess(y, b.y);
        const bool falling = dblLessEqual(b.y, y) && dblLess(y, a.y);
        if (!rising && !falling) continue;
        const double xc = a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y + 1e-21);
        if (x - dblTolerance(x) <= xc) ++crossings;
    }
    return crossings % 2 == 1 ? 1 : 0;
}

int dbfPointInPoly(const SURVCOORD& point, const std::vector<PNT_2D_record>& polygon) {
    return dbfPointInPoly(PNT_2D_record{point.x, point.y}, polygon);
}

void dbfSetShowableError(PNT_3D_record position) {
    TerrainState& t = terrainState();
    t.errorMarker = PNT_2D_record{position.x, position.y};
    t.errorMarkerShown = true;
    dbfSetErrorHook();
}

bool terrainErrorMarkerShown() { return terrainState().errorMarkerShown; }

void terrainErrorMarkerRedraw(_bsRECT*) {
    const TerrainState& t = terrainState();
    CCadWindow* cad = dbfState().cadWindow;
    if (!t.errorMarkerShown || !cad) return;
    const int pen = dbfState().defaultPen;
    const double y = t.errorMarker.y, x = t.errorMarker.x;
    cad->gsDisplayLine(y, x, y - kMarkerStroke, x - kMarkerStroke, pen, 0, 0.0);
    cad->gsDisplayText("ERROR", y - kMarkerStroke, x - kMarkerStroke, pen, kMarkerTextJustification, 0,
                       kMarkerTextHeight, 0.0f);
}
