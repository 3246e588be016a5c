// DXF export of the displayed site: the entity records of the layers the site display shows,
// written into a text stream the caller has opened.
//
// The points layer is written here from the points themselves (markers, names and heights keep
// their heights as DXF Z). Every other layer is the display's own plot layer run into a
// recording drawing window: what the layer draws becomes entities on the export layer's DXF
// name, one entity per drawn primitive, so the drawing matches the display list of the same
// view. The recording window forwards the status line, progress and Escape to the real one.
//
// Decisions where the rules are silent (see docs/display.md):
//  - Primitives of the recorded layers carry plan positions only: a corner or end that lies on
//    a terrain point takes that point's height as DXF Z, any other position Z 0.
//  - A filled triangle is a 3DFACE whose colour is the shading class whose colour it was
//    filled with (the first class with that colour; 65/66 for the out-of-range colours).
//  - A filled polygon of four corners is one 3DFACE, a longer one and a rectangle a closed
//    polyline; a circle is a CIRCLE, a survey symbol a POINT at its position.
//  - Text heights: positive heights are world units; negative (screen) heights, tenths of a
//    millimetre, are written in millimetres.
//  - Strings, grids and pipes follow the roads, on "DXF Export" keys "Strings", "Grids" and
//    "Pipes".
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "database/frame.h"
#include "display/display_state.h"
#include "frame/state.h"
#include "platform/core_geom.h"
#include "platform/proj.h"
#include "platform/tolerance.h"

using namespace display;

namespace {

constexpr double kTextSizeFactor = 0.3527;

std::string layerName(const char* key) {
    char buffer[64] = {};
    coreGetJobDefault("DXF Export", key, "", buffer, sizeof buffer);
    buffer[32] = '\0';
    return buffer;
}

// The height of the terrain point at a plan position; 0 when there is none.
double heightAt(const GsPoint& g) {
    constexpr double kNear = 1e-6;
    RRect area{};
    area.minX = g.x - kNear;
    area.maxX = g.x + kNear;
    area.minY = g.y - kNear;
    area.maxY = g.y + kNear;
    SURVCOORD p;
    for (unsigned n = dbfStartCoord(p, &area); n != 0; n = dbfNextCoord(p, n))
        if (std::fabs(p.x - g.x) <= kNear && std::fabs(p.y - g.y) <= kNear) return p.z;
    return 0.0;
}

// The group writer: code right-aligned in three characters, then the value.
class DxfWriter {
public:
    DxfWriter(FILE* stream, double sign) : stream_(stream), sign_(sign) {}

    void group(int code, const char* value) {
        char head[8];
        std::snprintf(head, sizeof head, "%3d", code);
        coreFileTxtWrite(head, stream_);
        coreFileTxtWrite(value, stream_);
    }
    void group(int code, const std::string& value) { group(code, value.c_str()); }
    void real(int code, double value) {
        char text[64];
        std::snprintf(text, sizeof text, "%.3lf", value);
        group(code, text);
    }
    double sign() const { return sign_; }
    void integer(int code, int value) { group(code, std::to_string(value)); }
    // A plan position (y, x) and height z as groups 10+k, 20+k, 30+k.
    void position(int k, double y, double x, double z) {
        real(10 + k, sign_ * y);
        real(20 + k, sign_ * x);
        real(30 + k, z);
    }

    void line(const std::string& layer, int style, int colour, const GsPoint& a, const GsPoint& b) {
        group(0, "LINE");
        group(8, layer);
        group(6, dbfDxfLineType(style));
        integer(62, colour);
        position(0, a.y, a.x, heightAt(a));
        position(1, b.y, b.x, heightAt(b));
    }
    void face(const std::string& layer, int colour, const GsPoint* c, int count) {
        group(0, "3DFACE");
        group(8, layer);
        group(6, "CONTINUOUS");
        integer(62, colour);
        for (int k = 0; k < 4; ++k) {
            const GsPoint& p = c[k < count ? k : count - 1];
            position(k, p.y, p.x, heightAt(p));
        }
    }
    void point(const std::string& layer, int colour, double y, double x, double z) {
        group(0, "POINT");
        group(8, layer);
        integer(62, colour);
        position(0, y, x, z);
    }
    // TEXT at (y, x, z), the alignment point shifted by shift DXF units in X.
    void text(const std::string& layer, int colour, double y, double x, double z, double height,
              const std::string& value, double degrees, int h, int v, double shift = 0.0) {
        group(0, "TEXT");
        group(8, layer);
        integer(62, colour);
        position(0, y, x, z);
        real(40, height);
        group(1, value);
        if (std::fabs(degrees) > 1e-12) real(50, degrees);
        integer(72, h);
        integer(73, v);
        real(11, sign_ * y + shift);
        real(21, sign_ * x);
        real(31, z);
    }
    void circle(const std::string& layer, int colour, double y, double x, double radius) {
        group(0, "CIRCLE");
        group(8, layer);
        integer(62, colour);
        position(0, y, x, 0.0);
        real(40, radius);
    }
    // A 3-D polyline clipped to the view: a vertex for each segment with an end inside it.
    void polyline(const std::string& layer, int style, int colour, const std::vector<GsPoint>& v,
                  const RRect& view, const int& escape) {
        const char* type = dbfDxfLineType(style);
        group(0, "POLYLINE");
        group(8, layer);
        group(6, type);
        integer(62, colour);
        group(66, "1");
        group(10, "0.000");
        group(20, "0.000");
        group(30, "0.000");
        group(70, "8");
        auto inside = [&](const GsPoint& p) {
            return coreCheckInRect(p.x, p.y, view.minX, view.minY, view.maxX, view.maxY) != 0;
        };
        auto vertex = [&](const GsPoint& p) {
            group(0, "VERTEX");
            group(8, layer);
            group(6, type);
            integer(62, colour);
            position(0, p.y, p.x, 0.0);
            group(70, "32");
        };
        for (std::size_t i = 1; i < v.size(); ++i) {
            if (!inside(v[i - 1]) && !inside(v[i])) continue;
            if (i == 1) vertex(v[0]);
            vertex(v[i]);
        }
        if (!escape) group(0, "SEQEND");
    }

private:
    FILE* stream_;
    double sign_;
};

// The drawing window that records what a plot layer draws and forwards everything else.
class RecordingWindow : public CCadWindow {
public:
    explicit RecordingWindow(CCadWindow* inner) : in_(inner) {}
    std::vector<CadPrimitive> list;

    void gsSetHelpText(const char* text) override { in_->gsSetHelpText(text); }
    void gsSetHoldStdPrompt(bool hold) override { in_->gsSetHoldStdPrompt(hold); }
    void gsCursorWait(bool show) override { in_->gsCursorWait(show); }
    void gsSetProgress(int position, int total, const char* text) override { in_->gsSetProgress(position, total, text); }
    bool CheckEscapePressed(int option) override { return in_->CheckEscapePressed(option); }
    void gsSetLayer(const char*, const char*) override {}
    void gsSetFont(const char*, double, int, int, int, double) override {}
    void gsSetDrawMode(long mode) override { mode_ = mode; }
    void gsDisplayLine(double y1, double x1, double y2, double x2, int pen, int style, double) override {
        CadPrimitive p = make(CadPrimitiveKind::Line, pen, style);
        p.points = {{y1, x1}, {y2, x2}};
        add(std::move(p));
    }
    void gsDisplayText(const char* text, double y, double x, int pen, int justification, short,
                       float height, float angle) override {
        CadPrimitive p = make(CadPrimitiveKind::Text, pen, 0);
        p.points = {{y, x}};
        p.text = text ? text : "";
        p.justification = justification;
        p.height = height;
        p.angle = angle;
        add(std::move(p));
    }
    void gsDisplayPoint(double y, double x, int pen, int style, float) override {
        CadPrimitive p = make(CadPrimitiveKind::Point, pen, style);
        p.points = {{y, x}};
        add(std::move(p));
    }
    void gsDisplayCircle(double y, double x, double radius, int pen, short style) override {
        CadPrimitive p = make(CadPrimitiveKind::Circle, pen, style);
        p.points = {{y, x}};
        p.radius = radius;
        add(std::move(p));
    }
    void gsDisplayRect(double y1, double x1, double y2, double x2, int pen, short style) override {
        CadPrimitive p = make(CadPrimitiveKind::Rect, pen, style);
        p.points = {{y1, x1}, {y2, x2}};
        add(std::move(p));
    }
    void gsDisplayFilledPolygon(const GsPoint* corners, int count, long fill, long outline) override {
        CadPrimitive p = make(CadPrimitiveKind::FilledPolygon, 0, 0);
        p.points.assign(corners, corners + (count > 0 ? count : 0));
        p.fill = fill;
        p.outline = outline;
        add(std::move(p));
    }
    void gsDisplaySymbol(const char* name, double y, double x, double scale) override {
        CadPrimitive p = make(CadPrimitiveKind::Symbol, 0, 0);
        p.points = {{y, x}};
        p.text = name ? name : "";
        p.size = scale;
        add(std::move(p));
    }
    COLORREF gsGetPenColor(short pen) override { return in_->gsGetPenColor(pen); }
    bool gsIsPlotting() override { return in_->gsIsPlotting(); }
    bool gsIsPrinting() override { return in_->gsIsPrinting(); }
    void gsGetZoomRect(double& a, double& b, double& c, double& d) override { in_->gsGetZoomRect(a, b, c, d); }
    void gsGetCurrCoord(double& y, double& x) override { in_->gsGetCurrCoord(y, x); }
    void gsSetCurrCoord(double y, double x) override { in_->gsSetCurrCoord(y, x); }
    void gsSetZoomAllMyLimits(double a, double b, double c, double d) override { in_->gsSetZoomAllMyLimits(a, b, c, d); }
    void gsMagnify() override {}
    void gsDemagnify() override {}
    void gsPan() override {}
    void gsRedraw() override {}
    void gsRefresh() override {}
    void gsZoomAll() override {}
    void gsSetViewDirty(bool) override {}
    short gsSetSnapMode(short mode) override { return in_->gsSetSnapMode(mode); }
    long gsExecuteMacro(const char* text) override { return in_->gsExecuteMacro(text); }
    long gsGetSymbolFileInfo(CString& name, long& count) override { return in_->gsGetSymbolFileInfo(name, count); }
    int gsGetPointFromUser(const char*, double&, double&) override { return 0; }
    void TerrainPrePaintHook(CadPaintCallback) override {}
    void TerrainPostPaintHook(CadPaintCallback) override {}
    void TerrainSnapHook(CadSnapCallback) override {}
    void SuspendFunc() override { in_->SuspendFunc(); }
    void ResumeFunc() override { in_->ResumeFunc(); }
    void SetAbortFlag(bool abort) override { in_->SetAbortFlag(abort); }

private:
    CadPrimitive make(CadPrimitiveKind kind, int pen, int style) const {
        CadPrimitive p;
        p.kind = kind;
        p.pen = pen;
        p.style = style;
        p.drawMode = mode_;
        return p;
    }
    // The layers export draws in the normal mode only: every primitive stays.
    void add(CadPrimitive p) { list.push_back(std::move(p)); }

    CCadWindow* in_;
    long mode_ = kGsDrawNormal;
};

// The shading class filled with a colour; 0 when none.
int classOfColour(long fill, bool slope) {
    const DisplayState& s = state();
    const COLORREF colour = static_cast<COLORREF>(fill & ~kGsRgbColourFlag);
    const auto& classes = slope ? s.slopeClasses : s.heightClasses;
    for (int i = 0; i < kShadeClasses; ++i)
        if (classes[static_cast<std::size_t>(i)].colour == colour) return i + 1;
    if (slope) return colour == s.noSlopeColour ? 65 : 0;
    if (colour == s.underHeightColour) return 65;
    return colour == s.overHeightColour ? 66 : 0;
}

// Justification of the drawing window (keypad layout) as DXF groups 72 and 73.
void dxfJustification(int keypad, int& h, int& v) {
    if (keypad < 1 || keypad > 9) {
        h = 0;
        v = 0;
        return;
    }
    h = (keypad - 1) % 3;
    v = (keypad - 1) / 3 + 1;
}

void writeRecorded(DxfWriter& out, const std::vector<CadPrimitive>& list, const std::string& layer,
                   int shading, const RRect& view, const int& escape) {
    for (const CadPrimitive& p : list) {
        switch (p.kind) {
        case CadPrimitiveKind::Line:
            out.line(layer, p.style, p.pen, p.points[0], p.points[1]);
            break;
        case CadPrimitiveKind::Text: {
            int h = 0, v = 0;
            dxfJustification(p.justification, h, v);
            const double size = p.height < 0 ? -p.height * 0.1 : p.height;
            out.text(layer, p.pen, p.points[0].y, p.points[0].x, 0.0, size, p.text, p.angle / 10.0, h, v);
            break;
        }
        case CadPrimitiveKind::Point:
        case CadPrimitiveKind::Symbol:
            out.point(layer, p.pen, p.points[0].y, p.points[0].x, 0.0);
            break;
        case CadPrimitiveKind::Circle:
            out.circle(layer, p.pen, p.points[0].y, p.points[0].x, p.radius);
            break;
        case CadPrimitiveKind::Rect: {
            const GsPoint a = p.points[0], b = p.points[1];
            out.polyline(layer, p.style, p.pen, {a, {a.y, b.x}, b, {b.y, a.x}, a}, view, escape);
            break;
        }
        case CadPrimitiveKind::FilledPolygon: {
            const int count = static_cast<int>(p.points.size());
            const int colour = shading ? classOfColour(p.fill, shading == 1)
                                       : static_cast<int>(p.fill & 0xFFFF);
            if (shading && colour == 0) break;
            if (count >= 3 && count <= 4) {
                out.face(layer, colour, p.points.data(), count);
            } else if (count > 4) {
                std::vector<GsPoint> ring = p.points;
                ring.push_back(p.points[0]);
                out.polyline(layer, 1, colour, ring, view, escape);
            }
            break;
        }
        }
    }
}

// Runs one plot layer into the recording window and writes what it drew.
void exportRecorded(DxfWriter& out, void (*layerFn)(int&), const char* key, int shading, const RRect& view, int& escape) {
    DBFSTATE& d = dbfState();
    CCadWindow* real = d.cadWindow;
    RecordingWindow recorder(real);
    d.cadWindow = &recorder;
    layerFn(escape);
    d.cadWindow = real;
    writeRecorded(out, recorder.list, layerName(key), shading, view, escape);
}

// The points layer: markers, names and heights with their heights as DXF Z.
void exportPoints(DxfWriter& out, int& escape) {
    LayerRun run(escape, "Plotting points (Esc to cancel)", true);
    const DisplayState& s = state();
    const std::string points = layerName("Points"), names = layerName("Names"), heights = layerName("Heights");
    const double size = s.fontSize * kTextSizeFactor;
    const double angle = s.labelAngle;
    const bool split = coreGetJobDefaultInt("Plot", "SplitHgtDecimal", 0) != 0 && s.labelDecimals != 0;
    SURVCOORD p;
    RRect view = s.view;
    for (unsigned n = dbfStartCoord(p, &view); n != 0; n = dbfNextCoord(p, n)) {
        if (passesDisplayFilter(p)) {
            const int pen = dbfTerrainPen(p.surface);
            bool showNames = s.flags[kFlagNames] != 0, showHeights = s.flags[kFlagHeights] != 0;
            if (s.flags[kFlagSymbols]) {
                for (const SymbolRule& r : s.symbols) {
                    if (r.symbol[0] && coreMatching(r.pattern, p.name, static_cast<int>(std::strlen(r.pattern)))) {
                        showNames = r.names != 0;
                        showHeights = r.heights != 0;
                        break;
                    }
                }
            }
            if (!showHeights || dblIsZero(p.z)) {
                out.point(points, pen, p.y, p.x, p.z);
            } else {
                const std::string text = heightText(p.z, s.labelDecimals);
                const std::size_t dot = text.find('.');
                if (split && dot != std::string::npos) {
                    out.text(heights, pen, p.y, p.x, p.z, size, text.substr(0, dot), angle, 2, 1, -2.0);
                    out.text(heights, pen, p.y + 2.0 * out.sign(), p.x, p.z, size, text.substr(dot + 1), angle, 0, 1);
                    out.point(heights, pen, p.y, p.x, p.z);
                } else {
                    out.text(heights, pen, p.y, p.x, p.z, size, text, angle, 1, 1);
                }
            }
            char name[64] = {};
            dbfNameCopy(name, p.name);
            if (showNames && name[0]) out.text(names, pen, p.y, p.x, p.z, size, name, angle, 1, 3);
        }
        if (run.unitDone()) break;
    }
}

// Contours: the contour file of the contour surface when saved contours are shown and it
// exists, else computed contours.
void exportContourLayer(int& escape) {
    if (state().flags[kFlagSavedContours]) {
        char name[MAX_PATH] = {};
        char ext[32];
        std::snprintf(ext, sizeof ext, "%d.cnt", state().contourSurface);
        dbfFileName(name, ext, kFileProject);
        if (coreFileExist(name)) {
            dbfDrawContours(escape);
            return;
        }
    }
    dbfPlotContours(escape);
}

}  // namespace

const char* dbfDxfLineType(int style) {
    static const char* const kTypes[7] = {"CENTERDD", "CONTINUOUS", "DASHED", "DASHEDMID", "DASHEDSMAL", "DOTTED", "CENTER"};
    const int n = ((style % 7) + 7) % 7;
    return kTypes[n];
}

void dbfSiteExport(int format, FILE* stream) {
    if (format != 0 || !stream || !dbfTerrainIsOpen() || !cad()) return;
    DisplayState& s = state();
    const bool acad = coreGetJobDefaultInt("DXF Export", "AutoCADCompatible", 1) != 0;
    DxfWriter out(stream, acad && projGetHemisphere() == 0 ? -1.0 : 1.0);
    // The layers walk the view window a paint of the current view would walk; polylines are
    // clipped to the view itself.
    const RRect savedView = s.view;
    RRect view{};
    dbfGetViewRect(&view);
    s.view = paintWindowOf(view);
    const auto& f = s.flags;
    int escape = 0;
    struct Step {
        bool shown;
        void (*recorded)(int&);
        const char* key;
        int shading;   // 1 slope, 2 height
    };
    const Step steps[] = {
        {f[kFlagSlopeShading] != 0, dbfShadePlot, "Slopes", 1},
        {f[kFlagHeightShading] != 0, dbfShadeHeightPlot, "HeightShade", 2},
        {f[kFlagPoints] != 0, nullptr, "Points", 0},
        {f[kFlagBanks] != 0, dbfPlotBanks, "Banks", 0},
        {f[kFlagLines] != 0, dbfPlotAllLines, "Lines", 0},
        {f[kFlagContours] != 0, exportContourLayer, "Contours", 0},
        {f[kFlagRoads] != 0, dbfPlotRoads, "Roads", 0},
        {f[kFlagStrings] != 0, dbfPlotStrings, "Strings", 0},
        {f[kFlagGrids] != 0, dbfPlotGrids, "Grids", 0},
        {f[kFlagPipes] != 0, dbfPlotPipeDbs, "Pipes", 0},
    };
    for (const Step& step : steps) {
        if (!step.shown) continue;
        if (step.recorded)
            exportRecorded(out, step.recorded, step.key, step.shading, view, escape);
        else
            exportPoints(out, escape);
        if (escape) break;
    }
    s.view = savedView;
}
