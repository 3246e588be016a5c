// The paint: the view window of each paint, the layers of the pre-paint and post-paint passes
// in their order, the host's hooks, the tracking and section markers, the snap callbacks and the
// forwarders to the drawing window.
#include <algorithm>
#include <cmath>

#include "database/frame.h"
#include "display/display_state.h"
#include "frame/state.h"

using namespace display;

namespace {

// An RRect from two corners in the window's (y, x) order.
RRect rectFromCorners(double a, double b, double c, double d) {
    RRect r;
    r.maxY = dblGreater(a, c) ? a : c;
    r.minY = dblLess(a, c) ? a : c;
    r.minX = dblLess(b, d) ? b : d;
    r.maxX = dblGreater(b, d) ? b : d;
    return r;
}

void drawCross(const PNT_2D_record& t, double h) {
    CCadWindow* w = cad();
    const int pen = state().defaultPen;
    w->gsDisplayLine(t.y - h, t.x, t.y + h, t.x, pen, 1, 0.0);
    w->gsDisplayLine(t.y, t.x - h, t.y, t.x + h, pen, 1, 0.0);
}

void drawSectionLine(const PNT_2D_record& a, const PNT_2D_record& b) {
    cad()->gsDisplayLine(a.y, a.x, b.y, b.x, state().defaultPen, 1, 0.0);
}

double viewHalfSize() {
    RRect v;
    dbfGetViewRect(&v);
    return (v.maxX - v.minX) / 20.0;
}

// The marker redraw installed as the error redraw hook while a marker is shown.
void markerRedraw(_bsRECT*) {
    DisplayState& s = state();
    if (!cad()) return;
    if (s.marker == 1) drawCross(s.track, s.markerHalf);
    if (s.marker == 2) drawSectionLine(s.sectionA, s.sectionB);
}

using Layer = void (*)(int&);

// Runs the layers in order; once one sets its escape flag the later ones are skipped.
void runLayers(std::initializer_list<std::pair<bool, Layer>> layers) {
    for (const auto& [on, layer] : layers) {
        if (!on) continue;
        int escape = 0;
        layer(escape);
        if (escape) return;
    }
}

void contourLayer(int& escape) {
    const DisplayState& s = state();
    if (s.flags[kFlagSavedContours]) {
        char name[MAX_PATH] = {};
        char ext[32];
        std::snprintf(ext, sizeof ext, "%d.cnt", s.contourSurface);
        dbfFileName(name, ext, kFileProject);
        if (coreFileExist(name)) {
            dbfDrawContours(escape);
            return;
        }
    }
    dbfPlotContours(escape);
}

void pointsLayerWanted(bool& wanted) {
    const auto& f = state().flags;
    wanted = f[kFlagPoints] || f[kFlagHeights] || f[kFlagNames] || f[kFlagSymbols];
}

}  // namespace

RRect dbfGetPaintWindow() { return state().view; }

namespace display {

RRect paintWindowOf(RRect v) {
    v.minX -= (v.maxX - v.minX) * 10.0 / 100.0;
    v.maxX += (v.maxX - v.minX) * 10.0 / 100.0;
    v.minY -= (v.maxY - v.minY) * 10.0 / 100.0;
    v.maxY += (v.maxY - v.minY) * 10.0 / 100.0;
    return v;
}

}  // namespace display

void dbfStartRedrawSite(_bsRECT* rect) { dbfRedrawSite(1, rect); }
void dbfEndRedrawSite(_bsRECT* rect) { dbfRedrawSite(0, rect); }

void dbfRedrawSite(int pre, _bsRECT* rect) {
    if (!dbfTerrainIsOpen() || !rect) return;
    DisplayState& s = state();
    s.view = paintWindowOf(rectFromCorners(rect->left, rect->top, rect->right, rect->bottom));
    s.painting = true;
    dbfSitePlot(pre);
    if (!pre) {
        DBFSTATE& d = dbfState();
        if (d.redrawHook) d.redrawHook(rect);
        if (d.errorRedrawHook) d.errorRedrawHook(rect);
        if (s.marker == 1 && cad()) {
            s.markerHalf = viewHalfSize();
            cad()->gsSetDrawMode(kGsDrawTracking);
            drawCross(s.track, s.markerHalf);
            cad()->gsSetDrawMode(kGsDrawNormal);
        }
    }
    s.painting = false;
}

void dbfSitePlot(int pre) {
    DisplayState& s = state();
    if (s.plotGuard) return;
    s.plotGuard = true;
    const auto& f = s.flags;
    if (dbfTerrainIsOpen()) {
        if (CCadWindow* w = cad()) w->gsSetFont(s.fontName.c_str(), s.fontSize * 10.0, 0, 0, 2, 1.0);
        s.splitHeightDecimal = coreGetDefaultInt("Plot", "SplitHgtDecimal", 0);
        s.dispSuffix = coreGetDefaultInt("Terrain", "DispSuffix", 0);
        bool points = false;
        pointsLayerWanted(points);
        if (pre) {
            runLayers({{f[kFlagHeightShading] != 0, dbfShadeHeightPlot},
                       {f[kFlagSlopeShading] != 0, dbfShadePlot},
                       {f[kFlagStrings] != 0, dbfPlotStrings},
                       {points, dbfPlotAllPoints},
                       {f[kFlagBanks] != 0, dbfPlotBanks},
                       {f[kFlagLines] != 0, dbfPlotAllLines},
                       {f[kFlagContours] != 0, contourLayer}});
        } else {
            runLayers({{f[kFlagRoads] != 0, dbfPlotRoads},
                       {f[kFlagGrids] != 0, dbfPlotGrids},
                       {f[kFlagBlocks] != 0, dbfPlotBlocks}});
        }
    }
    if (!pre && f[kFlagPipes]) {
        int escape = 0;
        dbfPlotPipeDbs(escape);
    }
    s.plotGuard = false;
}

void dbfGetViewRect(RRect* rect) {
    if (!rect) return;
    double a = 0, b = 0, c = 0, d = 0;
    if (CCadWindow* w = cad()) w->gsGetZoomRect(a, b, c, d);
    *rect = rectFromCorners(a, b, c, d);
}

void dbfGetZoomRect(RRect* rect) { dbfGetViewRect(rect); }

void dbfGetViewRectEx(RRect* rect, WORD surface) {
    if (!rect) return;
    dbfGetViewRect(rect);
    RRect view = *rect;
    double longest = 0.0;
    SURVCOORD p, q;
    for (unsigned n = dbfStartCoord(p, &view); n != 0; n = dbfNextCoord(p, n)) {
        if (!dbfCheckSurface(p.surface, surface)) continue;
        for (DWORD ref : p.shadows) {
            if (ref == 0) continue;
            dbfGrabCoord(q, ref);
            const bool outside = q.x < view.minX || q.x > view.maxX || q.y < view.minY || q.y > view.maxY;
            if (outside) longest = std::max(longest, std::hypot(q.x - p.x, q.y - p.y));
        }
    }
    rect->maxY += longest;
    rect->minY -= longest;
    rect->minX -= longest;
    rect->maxX += longest;
}

// ---------------------------------------------------------------------------------------------
// Snap callbacks

int DTMNearest(double& first, double& second) {
    if (!dbfTerrainIsOpen() || !state().flags[kFlagPoints]) return 0;
    PNT_3D_record at{second, first, 0.0};
    const unsigned n = dbfFindClosest(at, nullptr, state().flags[kFlagNameFilter], 0);
    if (n == 0) return 0;
    SURVCOORD p;
    dbfGrabCoord(p, n);
    first = p.y;
    second = p.x;
    if (CCadWindow* w = cad()) w->gsSetHoldStdPrompt(false);
    return 1;
}

namespace {
void jump(const char* macro) {
    CCadWindow* w = cad();
    if (!dbfTerrainIsOpen() || !w) return;
    double y = 0, x = 0;
    w->gsGetCurrCoord(y, x);
    PNT_3D_record at{x, y, 0.0};
    const unsigned n = dbfFindClosest(at, nullptr, state().flags[kFlagNameFilter], 1);
    if (n != 0) {
        SURVCOORD p;
        dbfGrabCoord(p, n);
        w->gsSetCurrCoord(p.y, p.x);
        if (macro) w->gsExecuteMacro(macro);
    }
    w->gsSetHoldStdPrompt(false);
}
}  // namespace

void DTMJump() { jump(nullptr); }
void DTMSnap() { jump("#ENTERPT"); }

// ---------------------------------------------------------------------------------------------
// Markers

void dbfStartTrack(PNT_2D_record point) {
    DisplayState& s = state();
    if (!cad()) return;
    s.track = point;
    s.marker = 1;
    s.markerHalf = viewHalfSize();
    cad()->gsSetDrawMode(kGsDrawNormal);
    drawCross(s.track, s.markerHalf);
    dbfSetErrorRedrawHook(markerRedraw);
}

void dbfShowTrack(PNT_2D_record point) {
    DisplayState& s = state();
    if (!cad() || s.marker != 1) return;
    cad()->gsSetDrawMode(kGsDrawToggle);
    drawCross(s.track, s.markerHalf);
    s.markerHalf = viewHalfSize();
    s.track = point;
    drawCross(s.track, s.markerHalf);
    cad()->gsSetDrawMode(kGsDrawNormal);
}

void dbfEndTrack() {
    DisplayState& s = state();
    dbfSetErrorRedrawHook(nullptr);
    if (s.marker != 1) return;
    s.marker = 0;
    if (!cad()) return;
    cad()->gsSetDrawMode(kGsDrawToggle);
    drawCross(s.track, s.markerHalf);
    cad()->gsSetDrawMode(kGsDrawNormal);
}

void dbfStartSection(PNT_2D_record first, PNT_2D_record second) {
    DisplayState& s = state();
    if (!cad()) return;
    s.sectionA = first;
    s.sectionB = second;
    s.marker = 2;
    cad()->gsSetDrawMode(kGsDrawNormal);
    drawSectionLine(first, second);
    cad()->gsSetDrawMode(kGsDrawToggle);
    drawSectionLine(first, second);
    cad()->gsSetDrawMode(kGsDrawNormal);
    dbfSetErrorRedrawHook(markerRedraw);
}

void dbfShowSection(PNT_2D_record first, PNT_2D_record second) {
    DisplayState& s = state();
    if (!cad() || s.marker != 2) return;
    cad()->gsSetDrawMode(kGsDrawToggle);
    drawSectionLine(s.sectionA, s.sectionB);
    s.sectionA = first;
    s.sectionB = second;
    drawSectionLine(first, second);
    cad()->gsSetDrawMode(kGsDrawNormal);
}

void dbfEndSection() {
    DisplayState& s = state();
    dbfSetErrorRedrawHook(nullptr);
    if (s.marker != 2) return;
    s.marker = 0;
    if (!cad()) return;
    cad()->gsSetDrawMode(kGsDrawToggle);
    drawSectionLine(s.sectionA, s.sectionB);
    cad()->gsSetDrawMode(kGsDrawNormal);
}

// ---------------------------------------------------------------------------------------------
// Forwarders

void dbfDisplayCircle(double x, double y, double radius, int pen, short style) {
    if (CCadWindow* w = cad()) w->gsDisplayCircle(x, y, radius, pen, style);
}
void dbfDisplayLine(double x1, double y1, double x2, double y2, BYTE pen, BYTE style) {
    if (CCadWindow* w = cad()) w->gsDisplayLine(x1, y1, x2, y2, pen, style, 0.0);
}
void dbfDisplayDot(double x, double y, BYTE pen, BYTE style, float size) {
    if (CCadWindow* w = cad()) w->gsDisplayPoint(x, y, pen, style, size);
}
void dbfDisplayText(const char* text, double x, double y, BYTE pen, BYTE justification, short option,
                    float height, float angle) {
    if (CCadWindow* w = cad()) w->gsDisplayText(text, x, y, pen, justification, option, height, angle);
}
void dbfDisplayRect(double x1, double y1, double x2, double y2, int pen, short style) {
    if (CCadWindow* w = cad()) w->gsDisplayRect(x1, y1, x2, y2, pen, style);
}
long dbfExecuteMacro(const char* text) {
    CCadWindow* w = cad();
    return w ? w->gsExecuteMacro(text) : 0;
}
void dbfMagnify() {
    if (CCadWindow* w = cad()) w->gsMagnify();
}
void dbfDemagnify() {
    if (CCadWindow* w = cad()) w->gsDemagnify();
}
void dbfPan() {
    if (CCadWindow* w = cad()) w->gsPan();
}
void dbfRedraw() {
    if (CCadWindow* w = cad()) w->gsRedraw();
}
void dbfRefresh() {
    if (CCadWindow* w = cad()) w->gsRefresh();
}
void dbfZoomAll() {
    if (CCadWindow* w = cad()) w->gsZoomAll();
}
void dbfSetCurrCoord(double first, double second) {
    if (CCadWindow* w = cad()) w->gsSetCurrCoord(first, second);
}
void dbfSetDrawMode(int mode) {
    if (CCadWindow* w = cad()) w->gsSetDrawMode(mode);
}
int dbfGetPenColor(short pen) {
    CCadWindow* w = cad();
    return w ? static_cast<int>(w->gsGetPenColor(pen)) : 0;
}
short dbfSetSnapMode(short mode) {
    CCadWindow* w = cad();
    return w ? w->gsSetSnapMode(mode) : 0;
}
