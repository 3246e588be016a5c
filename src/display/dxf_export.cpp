// DXF export of the displayed site: the entity records of the layers the site display shows,
// written into a text stream the caller has opened.
//
// The points layer is written here from the points themselves (markers, names and heights keep
// their heights as DXF Z). Every other layer is the display's own plot layer run into a
// recording drawing window that is also the layers' sink (DrawSink): the layers that know
// heights hand it their geometry whole, the others draw primitives as on the screen. The
// recording window forwards the status line, progress and Escape to the real one.
//
//  - A saved contour is one path at its level: one POLYLINE, vertices clipped to the view, Z the
//    level; its labels are TEXTs at the level.
//  - A road line is handed over in runs (a chainage without the point ends one, 1000 positions
//    at most, the next run starting at the last position): one POLYLINE per run of two or more,
//    Z the section point's level. Bank lines come the same way but are written as LINEs.
//  - In the export the roads layer writes the centre line (with a POINT at each labelled
//    chainage) before the road lines and the banks after them, under a progress bar of 52 steps.
//  - After the banks come the road's horizontal alignment details, from its design file
//    ("<project>.<road>.des"), in a format of our own:
//        [HorizontalAlignment]
//        Count=n                               the intersection points of the tangents, in order
//        PI1=y,x ... PIn=y,x
//        [HorizontalElements]
//        Count=n                               the elements along the road, in order
//        Element1=name,y1,x1,y2,x2,length ...  e.g. Tangent,1000,2000,1100,2000,100
//    Each pair of consecutive points is a LINE (CONTINUOUS, the centre line's pen, Z 0); each
//    element is a LINE from its start to its end (a curve's chord) and a TEXT "%s (%.1fm)" (name,
//    length) at the chord's middle, along it and turned upright (72 = 1, 73 = 1: it sits on the
//    chord), its height the display's font size x 0.3527 like the point texts. A missing file or
//    section writes nothing; an entry that does not parse (another number of fields, a value
//    that is not a finite number, a negative length) is left out silently, and a point left out
//    takes its two tangents with it; Count is held to 100,000. The site display does not draw
//    them.
//  - A shading triangle comes with its corner heights and class. A slope face is one 3DFACE;
//    a height-shaded triangle is cut at every class bound strictly between its lowest and highest
//    corner (see heightPieces) and each piece is a 3DFACE in its own class.
//  - The slope arrow after a face: the display's arrow (a shaft through the face's centroid down
//    the steepest slope, its length the first arrow size in per cent of the mean side, and two
//    head strokes of the second size), three LINEs on the face's plane in the face's class.
//
// Decisions where the rules are silent (see docs/display.md):
//  - Computed contours are handed over segment by segment at their level: LINEs, CONTINUOUS.
//  - Z: what is not handed over with a height (feature lines, strings, grids, pipes, the road
//    centre line, its ticks and labels) takes the height of the terrain point it lies on, else
//    0: those layers draw plan positions only, and a chainage record holds no level.
//  - A filled polygon of four corners is one 3DFACE, a longer one and a rectangle a closed
//    polyline; a circle is a CIRCLE, a survey symbol a POINT at its position.
//  - Text heights: positive heights are world units; negative (screen) heights, tenths of a
//    millimetre, are written in millimetres.
//  - The layers are recorded, then written: when Escape stops a layer, only a polyline that is
//    the last thing the layer handed over loses its SEQEND.
//  - Strings, grids and pipes follow the roads, on "DXF Export" keys "Strings", "Grids" and
//    "Pipes".
#include <algorithm>
#include <array>
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
    // "%.3lf", except that a value rounding to zero from below is written "0.000", not "-0.000".
    void real(int code, double value) {
        char text[64];
        std::snprintf(text, sizeof text, "%.3lf", value);
        group(code, std::strcmp(text, "-0.000") == 0 ? "0.000" : text);
    }
    double sign() const { return sign_; }
    void integer(int code, int value) { group(code, std::to_string(value)); }
    // A plan position (y, x) and height z as groups 10+k, 20+k, 30+k.
    void position(int k, double y, double x, double z) {
        real(10 + k, sign_ * y);
        real(20 + k, sign_ * x);
        real(30 + k, z);
    }

    void line(const std::string& layer, int style, int colour, const PNT_3D_record& a, const PNT_3D_record& b) {
        group(0, "LINE");
        group(8, layer);
        group(6, dbfDxfLineType(style));
        integer(62, colour);
        position(0, a.y, a.x, a.z);
        position(1, b.y, b.x, b.z);
    }
    // A face of three or four corners; the last corner repeats when there are three.
    void face(const std::string& layer, int colour, const PNT_3D_record* c, int count) {
        group(0, "3DFACE");
        group(8, layer);
        group(6, "CONTINUOUS");
        integer(62, colour);
        for (int k = 0; k < 4; ++k) {
            const PNT_3D_record& p = c[k < count ? k : count - 1];
            position(k, p.y, p.x, p.z);
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
    void polyline(const std::string& layer, int style, int colour, const std::vector<PNT_3D_record>& v,
                  const RRect& view, bool cancelled) {
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
        auto inside = [&](const PNT_3D_record& p) {
            return coreCheckInRect(p.x, p.y, view.minX, view.minY, view.maxX, view.maxY) != 0;
        };
        auto vertex = [&](const PNT_3D_record& p) {
            group(0, "VERTEX");
            group(8, layer);
            group(6, type);
            integer(62, colour);
            position(0, p.y, p.x, p.z);
            group(70, "32");
        };
        for (std::size_t i = 1; i < v.size(); ++i) {
            if (!inside(v[i - 1]) && !inside(v[i])) continue;
            if (i == 1) vertex(v[0]);
            vertex(v[i]);
        }
        if (!cancelled) group(0, "SEQEND");
    }

private:
    FILE* stream_;
    double sign_;
};

// What a layer handed over: a primitive it drew, or a path, face or point it gave the sink.
enum class ItemKind { Primitive, Polyline, Lines, Face, Point, Text };
struct Item {
    ItemKind kind = ItemKind::Primitive;
    CadPrimitive primitive;            // a handed-over text: its value and justification too
    std::vector<PNT_3D_record> path;   // a path's positions, a face's three corners, the point
    int pen = 0, style = 0;            // a face: its class number in pen
    bool slope = false;
    double textZ = 0.0;                // a text's height
    double size = 0.0, degrees = 0.0;  // a handed-over text's size and angle
};

// The drawing window that records what a plot layer draws and forwards everything else; while
// it records it is also the layers' sink, so paths, faces and drawn primitives keep their order.
class RecordingWindow : public CCadWindow, public DrawSink {
public:
    explicit RecordingWindow(CCadWindow* inner) : in_(inner) {}
    std::vector<Item> list;

    void path(const std::vector<PNT_3D_record>& points, int pen, int style, bool joined) override {
        Item i;
        i.kind = joined ? ItemKind::Polyline : ItemKind::Lines;
        i.path = points;
        i.pen = pen;
        i.style = style;
        list.push_back(std::move(i));
    }
    void textLevel(double z) override { textZ_ = z; }
    void face(const PNT_3D_record corners[3], int shadeClass, bool slope) override {
        Item i;
        i.kind = ItemKind::Face;
        i.path.assign(corners, corners + 3);
        i.pen = shadeClass;
        i.slope = slope;
        list.push_back(std::move(i));
    }
    void point(const PNT_3D_record& at, int pen) override {
        Item i;
        i.kind = ItemKind::Point;
        i.path = {at};
        i.pen = pen;
        list.push_back(std::move(i));
    }
    void text(const PNT_3D_record& at, const std::string& value, double size, double degrees, int justification,
              int pen) override {
        Item i;
        i.kind = ItemKind::Text;
        i.path = {at};
        i.pen = pen;
        i.primitive.text = value;
        i.primitive.justification = justification;
        i.size = size;
        i.degrees = degrees;
        list.push_back(std::move(i));
    }

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
    void add(CadPrimitive p) {
        Item i;
        i.primitive = std::move(p);
        i.textZ = std::isnan(textZ_) ? 0.0 : textZ_;
        list.push_back(std::move(i));
    }

    CCadWindow* in_;
    long mode_ = kGsDrawNormal;
    double textZ_ = std::nan("");
};

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

PNT_3D_record withHeight(const GsPoint& g) { return PNT_3D_record{g.x, g.y, heightAt(g)}; }

// The part of a convex polygon at or above (keepAbove) or at or below a level.
std::vector<PNT_3D_record> clipAtLevel(const std::vector<PNT_3D_record>& polygon, double level, bool keepAbove) {
    std::vector<PNT_3D_record> out;
    auto in = [&](const PNT_3D_record& p) { return keepAbove ? p.z >= level : p.z <= level; };
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const PNT_3D_record& p = polygon[i];
        const PNT_3D_record& q = polygon[(i + 1) % polygon.size()];
        if (in(p)) out.push_back(p);
        if (in(p) != in(q)) {
            const double t = (level - p.z) / (q.z - p.z);
            out.push_back(PNT_3D_record{p.x + (q.x - p.x) * t, p.y + (q.y - p.y) * t, level});
        }
    }
    return out;
}

// A height-shaded triangle in pieces, one per height class band it spans: the triangle is cut
// at every class bound strictly between its lowest and highest corner; each band's polygon
// (three to five corners) is split into a fan of triangles from its first corner, each in the
// class of the band's middle height. Pieces without plan area are dropped. A triangle whose
// corners are level within tolerance is one piece in the class the display gives it.
struct Piece {
    std::array<PNT_3D_record, 3> corners;
    int shadeClass;
};
std::vector<Piece> heightPieces(const PNT_3D_record t[3], int wholeClass) {
    std::vector<Piece> pieces;
    if (dblEqual(t[0].z, t[1].z) && dblEqual(t[1].z, t[2].z)) {
        pieces.push_back({{t[0], t[1], t[2]}, wholeClass});
        return pieces;
    }
    const double low = std::min({t[0].z, t[1].z, t[2].z}), high = std::max({t[0].z, t[1].z, t[2].z});
    std::vector<double> bounds;
    for (const ShadeClass& c : state().heightClasses) {
        if (!dblGreater(c.upper, c.lower)) continue;
        for (double b : {c.lower, c.upper})
            if (dblGreater(b, low) && dblLess(b, high)) bounds.push_back(b);
    }
    std::sort(bounds.begin(), bounds.end());
    bounds.erase(std::unique(bounds.begin(), bounds.end(), [](double a, double b) { return dblEqual(a, b); }), bounds.end());
    const std::vector<PNT_3D_record> whole{t[0], t[1], t[2]};
    for (std::size_t k = 0; k <= bounds.size(); ++k) {
        const double from = k == 0 ? low : bounds[k - 1], to = k == bounds.size() ? high : bounds[k];
        std::vector<PNT_3D_record> band = whole;
        if (k > 0) band = clipAtLevel(band, from, true);
        if (k < bounds.size()) band = clipAtLevel(band, to, false);
        const int shadeClass = heightClassOf((from + to) / 2.0);
        for (std::size_t i = 1; i + 1 < band.size(); ++i) {
            const PNT_3D_record &a = band[0], &b = band[i], &c = band[i + 1];
            const double area = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
            if (std::fabs(area) > 1e-9) pieces.push_back({{a, b, c}, shadeClass});
        }
    }
    return pieces;
}

// Writes what a layer recorded; the layer's cancel flag leaves out the SEQEND of a polyline that
// is the last thing it recorded (the Escape came while its vertices were being handed over).
void writeRecorded(DxfWriter& out, const std::vector<Item>& list, const std::string& layer, const RRect& view,
                   bool cancelled) {
    for (std::size_t n = 0; n < list.size(); ++n) {
        const Item& item = list[n];
        const bool last = n + 1 == list.size();
        switch (item.kind) {
        case ItemKind::Polyline:
            out.polyline(layer, item.style, item.pen, item.path, view, cancelled && last);
            continue;
        case ItemKind::Lines:
            for (std::size_t i = 1; i < item.path.size(); ++i) out.line(layer, item.style, item.pen, item.path[i - 1], item.path[i]);
            continue;
        case ItemKind::Point:
            out.point(layer, item.pen, item.path[0].y, item.path[0].x, item.path[0].z);
            continue;
        case ItemKind::Text: {
            int h = 0, v = 0;
            dxfJustification(item.primitive.justification, h, v);
            const PNT_3D_record& at = item.path[0];
            out.text(layer, item.pen, at.y, at.x, at.z, item.size, item.primitive.text, item.degrees, h, v);
            continue;
        }
        case ItemKind::Face:
            if (item.pen == 0) continue;
            if (item.slope) {
                out.face(layer, item.pen, item.path.data(), 3);
            } else {
                for (const Piece& piece : heightPieces(item.path.data(), item.pen))
                    out.face(layer, piece.shadeClass, piece.corners.data(), 3);
            }
            continue;
        case ItemKind::Primitive:
            break;
        }
        const CadPrimitive& p = item.primitive;
        switch (p.kind) {
        case CadPrimitiveKind::Line:
            out.line(layer, p.style, p.pen, withHeight(p.points[0]), withHeight(p.points[1]));
            break;
        case CadPrimitiveKind::Text: {
            int h = 0, v = 0;
            dxfJustification(p.justification, h, v);
            const double size = p.height < 0 ? -p.height * 0.1 : p.height;
            out.text(layer, p.pen, p.points[0].y, p.points[0].x, item.textZ, size, p.text, p.angle / 10.0, h, v);
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
            const PNT_3D_record ring[5] = {{a.x, a.y, 0}, {b.x, a.y, 0}, {b.x, b.y, 0}, {a.x, b.y, 0}, {a.x, a.y, 0}};
            out.polyline(layer, p.style, p.pen, std::vector<PNT_3D_record>(ring, ring + 5), view, false);
            break;
        }
        case CadPrimitiveKind::FilledPolygon: {
            const int count = static_cast<int>(p.points.size());
            const int colour = static_cast<int>(p.fill & 0xFFFF);
            std::vector<PNT_3D_record> corners;
            for (const GsPoint& g : p.points) corners.push_back(withHeight(g));
            if (count >= 3 && count <= 4) {
                out.face(layer, colour, corners.data(), count);
            } else if (count > 4) {
                corners.push_back(corners[0]);
                out.polyline(layer, 1, colour, corners, view, false);
            }
            break;
        }
        }
    }
}

// Runs one plot layer into the recording window (also the layers' sink) and writes what it drew.
void exportRecorded(DxfWriter& out, void (*layerFn)(int&), const char* key, const RRect& view, int& escape) {
    RecordingWindow recorder(dbfState().cadWindow);
    {
        // The real window and no sink come back however the layer ends.
        struct Swap {
            RecordingWindow& r;
            CCadWindow* real = dbfState().cadWindow;
            explicit Swap(RecordingWindow& rec) : r(rec) {
                dbfState().cadWindow = &r;
                state().sink = &r;
            }
            ~Swap() {
                state().sink = nullptr;
                dbfState().cadWindow = real;
            }
            Swap(const Swap&) = delete;
            Swap& operator=(const Swap&) = delete;
        } swap(recorder);
        layerFn(escape);
    }
    writeRecorded(out, recorder.list, layerName(key), view, escape != 0);
}

// The points layer: markers, names and heights with their heights as DXF Z.
void exportPoints(DxfWriter& out, int& escape) {
    LayerRun run(escape, "Plotting points (Esc to cancel)", true);
    const DisplayState& s = state();
    const std::string points = layerName("Points"), names = layerName("Names"), heights = layerName("Heights");
    const double size = s.fontSize * kExportTextFactor;
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

int dbfDxfHeightPieces(const PNT_3D_record corners[3]) {
    if (!corners) return 0;
    for (int k = 0; k < 3; ++k)
        if (!std::isfinite(corners[k].x) || !std::isfinite(corners[k].y) || !std::isfinite(corners[k].z)) return 0;
    const PNT_3D_record t[3] = {corners[0], corners[1], corners[2]};
    const double mean = (t[0].z + t[1].z + t[2].z) / 3.0;
    return static_cast<int>(heightPieces(t, heightClassOf(mean)).size());
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
    };
    const Step steps[] = {
        {f[kFlagSlopeShading] != 0, dbfShadePlot, "Slopes"},
        {f[kFlagHeightShading] != 0, dbfShadeHeightPlot, "HeightShade"},
        {f[kFlagPoints] != 0, nullptr, "Points"},
        {f[kFlagBanks] != 0, dbfPlotBanks, "Banks"},
        {f[kFlagLines] != 0, dbfPlotAllLines, "Lines"},
        {f[kFlagContours] != 0, exportContourLayer, "Contours"},
        {f[kFlagRoads] != 0, dbfPlotRoads, "Roads"},
        {f[kFlagStrings] != 0, dbfPlotStrings, "Strings"},
        {f[kFlagGrids] != 0, dbfPlotGrids, "Grids"},
        {f[kFlagPipes] != 0, dbfPlotPipeDbs, "Pipes"},
    };
    for (const Step& step : steps) {
        if (!step.shown) continue;
        if (step.recorded)
            exportRecorded(out, step.recorded, step.key, view, escape);
        else
            exportPoints(out, escape);
        if (escape) break;
    }
    s.view = savedView;
}
