// The road window's drawing: the plot members (on the screen surface, or on the printer while
// printing), the grids, the printed frame, and the legend bar.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "database/frame.h"
#include "database/roadwnd.h"
#include "frame/state.h"
#include "platform/core.h"
#include "roadwnd/roadwnd_state.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr COLORREF kButtonFace = 0x00F0F0F0;     // system colour 15
constexpr COLORREF kButtonShadow = 0x00A0A0A0;   // system colour 16
constexpr int kTickPixels = 10;
constexpr int kLegendRows = 10;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Device drawing: positions in pixels (or printer units), rows downwards. The surface's vertical
// axis is the row negated.

void CRoadWnd::deviceLine(CCadWindow* on, int colour, double width, int px1, int py1, int px2, int py2,
                          int style) {
    on->gsDisplayLine(px1, -py1, px2, -py2, colour, style, width);
}

void CRoadWnd::DrawLine(int colour, int width, int px1, int py1, int px2, int py2, int style) {
    CCadWindow* on = target();
    if (colour == 999 || colour == 998) {
        // The legend's bars in the system's button colours, as a filled band of the width.
        const double w = colour == 999 ? height_ / 10.0 : std::max(width, 1);
        const double len = std::hypot(px2 - px1, py2 - py1);
        const double nx = len > 0.0 ? -(py2 - py1) / len * w / 2.0 : 0.0;
        const double ny = len > 0.0 ? (px2 - px1) / len * w / 2.0 : w / 2.0;
        const GsPoint corners[4] = {{px1 + nx, -(py1 + ny)}, {px2 + nx, -(py2 + ny)},
                                    {px2 - nx, -(py2 - ny)}, {px1 - nx, -(py1 - ny)}};
        const long rgb = kGsRgbColourFlag | static_cast<long>(colour == 999 ? kButtonFace : kButtonShadow);
        on->gsDisplayFilledPolygon(corners, 4, rgb, rgb);
        return;
    }
    const int pen = colour < 0 ? 1 : (colour & 255);
    deviceLine(on, pen, width, px1, py1, px2, py2, style);
}

void CRoadWnd::DrawPoint(int colour, int px, int py) {
    const int pen = colour < 0 ? 1 : (colour & 255);
    const GsPoint corners[4] = {{double(px), double(-py)}, {double(px + 2), double(-py)},
                                {double(px + 2), double(-(py + 2))}, {double(px), double(-(py + 2))}};
    target()->gsDisplayFilledPolygon(corners, 4, pen, pen);
}

// ---------------------------------------------------------------------------------------------
// Plot members

// The clipping reports a segment wholly outside by moving its start to (0, 0); a segment that
// really starts at (0, 0) is therefore not drawn either.
void CRoadWnd::PlotLine(int colour, int width, double x1, double y1, double x2, double y2, int style) {
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return;
    tg_clipwindow(x1, y1, x2, y2, limits_);
    if (x1 == 0.0 && y1 == 0.0) return;
    int px1, py1, px2, py2;
    toDevice(x1, y1, px1, py1);
    toDevice(x2, y2, px2, py2);
    DrawLine(colour, printer_ ? 2 : width, px1, py1, px2, py2, style);
}

void CRoadWnd::PlotArc(int colour, int width, double xc, double yc, double radius, double startDeg,
                       double endDeg, int style) {
    if (!std::isfinite(xc) || !std::isfinite(yc) || !std::isfinite(radius) || !std::isfinite(startDeg) ||
        !std::isfinite(endDeg))
        return;
    double sweep = endDeg - startDeg;
    if (sweep <= 0.0) sweep += 360.0;
    const int steps = std::max(2, static_cast<int>(std::ceil(sweep / 5.0)));
    double px = xc + radius * std::cos(startDeg * kPi / 180.0), py = yc + radius * std::sin(startDeg * kPi / 180.0);
    for (int i = 1; i <= steps; ++i) {
        const double a = (startDeg + sweep * i / steps) * kPi / 180.0;
        const double nx = xc + radius * std::cos(a), ny = yc + radius * std::sin(a);
        PlotLine(colour, width, px, py, nx, ny, style);
        px = nx;
        py = ny;
    }
}

void CRoadWnd::plotPoints(int colour, const std::vector<std::pair<double, double>>& points, double levelShift,
                          bool ticks, bool highlight) {
    const auto tickAt = [&](double x, double y) {
        const bool inside = (x - limits_.left) * (x - limits_.right) <= 0.0 && (y - limits_.top) * (y - limits_.bottom) <= 0.0;
        if (!inside) return;
        int px, py;
        toDevice(x, y, px, py);
        DrawLine(colour, 1, px, py, px, py - kTickPixels, 0);
    };
    if (points.size() == 1) {
        const double x = points[0].first, y = points[0].second - levelShift;
        tickAt(x, y);
        int px, py;
        toDevice(x, y, px, py);
        DrawPoint(colour, px, py);
        return;
    }
    for (std::size_t i = 1; i < points.size(); ++i)
        PlotLine(colour, highlight ? 2 : 1, points[i - 1].first, points[i - 1].second - levelShift, points[i].first,
                 points[i].second - levelShift, 0);
    if (ticks)
        for (std::size_t i = 1; i + 1 < points.size(); ++i) tickAt(points[i].first, points[i].second - levelShift);
}

void CRoadWnd::PlotSection(int colour, XSECTION* xs, double levelShift, bool ticks, bool highlight) {
    if (!xs || xs->count <= 0 || !std::isfinite(levelShift)) return;
    std::vector<std::pair<double, double>> points;
    const int n = std::min<int>(xs->count, kSectionCapacity);
    for (int i = 0; i < n; ++i) points.emplace_back(xs->points[i].offset, xs->points[i].elevation);
    plotPoints(colour, points, levelShift, ticks, highlight);
}

void CRoadWnd::PlotLongSection(int colour, LongSection* ls, double levelShift, bool ticks, bool highlight) {
    if (!ls || ls->Count() <= 0 || !std::isfinite(levelShift)) return;
    std::vector<std::pair<double, double>> points;
    for (LSECTION* p = ls->First(); p; p = static_cast<LSECTION*>(p->Next())) points.emplace_back(p->offset, p->elevation);
    plotPoints(colour, points, levelShift, ticks, highlight);
}

// Heights are in device units (pixels, or printer units while printing); 0 takes a readable
// default. Angles in degrees, counter-clockwise.
void CRoadWnd::PlotText(int colour, double x, double y, const char* text, double height, double angle) {
    if (!text || !*text || !std::isfinite(x) || !std::isfinite(y) || !std::isfinite(height) || !std::isfinite(angle))
        return;
    int px, py;
    toDevice(x, y, px, py);
    if (height <= 0.0) height = printer_ ? (printPage_.right - printPage_.left) / 70.0 : 12.0;
    const int pen = colour < 0 ? 1 : (colour & 255);
    target()->gsDisplayText(text, px, -py, pen, lorg_, 0, static_cast<float>(height),
                            static_cast<float>(angle * 10.0));
}

// ---------------------------------------------------------------------------------------------
// Grids

void CRoadWnd::drawGrid() {
    if (!grid_ || !active_) return;
    const double left = std::min(limits_.left, limits_.right), right = std::max(limits_.left, limits_.right);
    const double low = std::min(limits_.top, limits_.bottom), high = std::max(limits_.top, limits_.bottom);
    // At most a few thousand lines: a spacing far below a pixel draws nothing useful.
    if ((right - left) / gridAcross_ > 5000.0 || (high - low) / gridUp_ > 5000.0) return;
    const double x0 = left - std::fmod(left, gridAcross_);
    for (int i = 0; x0 + i * gridAcross_ <= right; ++i) {
        const double x = x0 + i * gridAcross_;
        const double at = chainageMode_ ? dbfChgEquation(x) : x;
        PlotLine(gridColour_, 1, at, limits_.top, at, limits_.bottom, 0);
    }
    const double y0 = low - std::fmod(low, gridUp_);
    for (int i = 0; y0 + i * gridUp_ <= high; ++i) {
        const double y = y0 + i * gridUp_;
        PlotLine(gridColour_, 1, limits_.left, y, limits_.right, y, 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Printing

void CRoadWnd::StartPrint(CCadWindow* device, const _bsRECT& page) {
    if (!device || !std::isfinite(page.left) || !std::isfinite(page.right) || !(page.right - page.left > 0.0)) return;
    printer_ = device;
    printPage_ = page;
    int right, bottom;
    UserToPrinter(limits_.right, limits_.bottom, right, bottom);
    // The page shows the frame with its labels: the level labels left of it, the offsets below.
    const double pageHeight = std::fabs(page.bottom - page.top);
    device->gsSetZoomAllMyLimits(right + 150.0, -std::max<double>(bottom + 250.0, pageHeight), 0.0, 220.0);
    device->gsZoomAll();
    printFrame();
}

void CRoadWnd::StopPrint() { printer_ = nullptr; }

// The frame with ticks and "%.0f" labels at multiples of the whole-number steps of Roads/Grids:
// levels along the left edge, offsets (rotated) along the bottom.
void CRoadWnd::printFrame() {
    char text[128];
    coreGetDefault("Roads", "Grids", "10,1", text, sizeof text);
    const int across = std::max(1, coreGetFieldInt(text, 10, 1, ','));
    const int up = std::max(1, coreGetFieldInt(text, 1, 2, ','));
    int l, t, r, b;
    UserToPrinter(limits_.left, limits_.top, l, t);
    UserToPrinter(limits_.right, limits_.bottom, r, b);
    deviceLine(printer_, 7, 2, l, t, r, t, 0);
    deviceLine(printer_, 7, 2, r, t, r, b, 0);
    deviceLine(printer_, 7, 2, r, b, l, b, 0);
    deviceLine(printer_, 7, 2, l, b, l, t, 0);
    // Labels as large as a seventieth of the page, smaller where the steps are closer.
    const double k = std::fabs((printPage_.right - printPage_.left) / rangeX_);
    const double levelLabel = std::min((printPage_.right - printPage_.left) / 70.0, 0.9 * up * k);
    const double acrossLabel = std::min((printPage_.right - printPage_.left) / 70.0, 0.9 * across * k);
    const double low = std::min(limits_.top, limits_.bottom), high = std::max(limits_.top, limits_.bottom);
    if ((high - low) / up <= 1000.0) {
        for (double y = std::ceil(low / up) * up; y <= high; y += up) {
            int px, py;
            UserToPrinter(limits_.left, y, px, py);
            deviceLine(printer_, 7, 1, px - 20, py, px, py, 0);
            std::snprintf(text, sizeof text, "%.0f", y);
            printer_->gsDisplayText(text, px - 30, -py, 7, 6, 0, static_cast<float>(levelLabel), 0.0f);
        }
    }
    const double left = std::min(limits_.left, limits_.right), right = std::max(limits_.left, limits_.right);
    if ((right - left) / across <= 1000.0) {
        for (double x = std::ceil(left / across) * across; x <= right; x += across) {
            int px, py;
            UserToPrinter(x, limits_.bottom, px, py);
            deviceLine(printer_, 7, 1, px, py, px, py + 20, 0);
            std::snprintf(text, sizeof text, "%.0f", chainageMode_ ? dbfChgEquation(x) : x);
            printer_->gsDisplayText(text, px, -(py + 30), 7, 6, 0, static_cast<float>(acrossLabel), 900.0f);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Legend bar

void CRoadWnd::CreateKeyDlg(const char* group, std::vector<std::string> columns) {
    legend_ = RoadLegend{};
    legend_.group = group ? group : "";
    legend_.columns = std::move(columns);
    legend_.open = true;
}

void CRoadWnd::CloseKeyDlg() { legend_ = RoadLegend{}; }

namespace {

void addRow(RoadLegend& legend, std::vector<std::string> cells, int pen) {
    if (static_cast<int>(legend.rows.size()) >= kLegendRows) return;
    legend.rows.push_back(RoadLegendRow{std::move(cells), pen & 255});
}

std::string layerName(int layer) {
    char name[32];
    dbfRoadLayerName(name, static_cast<short>(layer), 0);
    return name;
}

bool dualCarriageway() {
    char text[32];
    dbfGetRoadDefault("Carriageways", "Dual", "0", text, sizeof text);
    return coreGetFieldInt(text, 0, 1, ',') != 0;
}

}  // namespace

void CRoadWnd::SetSecLegend() {
    CreateKeyDlg("D\\Section Edit", {"Layer", "Pen"});
    for (int n = 1; n <= kLegendRows; ++n) {
        char key[16], def[32], text[64];
        std::snprintf(key, sizeof key, "Line%d", n);
        std::snprintf(def, sizeof def, n <= 3 ? "%d,%d,1" : "1,1,0", n, n);
        coreGetJobDefault("Roads", key, def, text, sizeof text);
        if (coreGetFieldInt(text, 0, 3, ',') == 0) continue;
        const int pen = coreGetFieldInt(text, 1, 2, ',');
        addRow(legend_, {layerName(coreGetFieldInt(text, 1, 1, ',')), std::to_string(pen & 255)}, pen);
    }
}

void CRoadWnd::SetPipeLegend() {
    CreateKeyDlg("G\\Pipe Alignment", {"Pipe", "Pen"});
    char pens[64], text[64], ground[48];
    coreGetDefault("Roads", "PipePens", "", pens, sizeof pens);
    coreGetJobDefault("Pipes", "MinDepth", "0.5", text, sizeof text);
    const double depth = coreGetFieldDouble(text, 0.5, 1, ',');
    std::snprintf(ground, sizeof ground, "Ground - %.1f", std::isfinite(depth) ? depth : 0.5);
    const int pipePen = coreGetFieldInt(pens, 1, 1, ','), groundPen = coreGetFieldInt(pens, 4, 3, ',');
    addRow(legend_, {"Pipe", std::to_string(pipePen & 255)}, pipePen);
    addRow(legend_, {ground, std::to_string(groundPen & 255)}, groundPen);
    for (int n = 1; n <= 4; ++n) {
        char key[16];
        std::snprintf(key, sizeof key, "Line%d", n);
        coreGetJobDefault("PipeLines", key, "0,1,1", text, sizeof text);
        if (coreGetFieldInt(text, 0, 1, ',') == 0) continue;
        const int pen = coreGetFieldInt(text, 1, 2, ',');
        addRow(legend_, {layerName(coreGetFieldInt(text, 1, 3, ',')), std::to_string(pen & 255)}, pen);
    }
}

void CRoadWnd::SetVerLegend() {
    CreateKeyDlg("E\\Vertical Alignment", {"Layer", "Offset", "Pen", "Kind"});
    char text[96];
    for (int n = 1; n <= 4; ++n) {
        char key[16], offset[32];
        std::snprintf(key, sizeof key, "Line%d", n);
        coreGetJobDefault("VertCurve", key, "1,5,0.000,1,0.000", text, sizeof text);
        if (coreGetFieldInt(text, 0, 1, ',') == 0) continue;
        const int pen = coreGetFieldInt(text, 5, 2, ',');
        const double value = coreGetFieldDouble(text, 0.0, 3, ',');
        const int layer = coreGetFieldInt(text, 1, 4, ',');
        if (layer < 1) std::snprintf(offset, sizeof offset, "%d(p)", static_cast<int>(value));
        else std::snprintf(offset, sizeof offset, "%.1f", value);
        addRow(legend_, {layer < 1 ? "Point" : layerName(layer), offset, std::to_string(pen & 255), "Ground"}, pen);
    }
    coreGetDefault("Roads", "VertPens", "", text, sizeof text);
    const int lhs = coreGetFieldInt(text, 1, 1, ','), rhs = coreGetFieldInt(text, 2, 2, ',');
    addRow(legend_, {"LHS/Single CW", "", std::to_string(lhs & 255), "Design"}, lhs);
    if (dualCarriageway()) addRow(legend_, {"RHS CW", "", std::to_string(rhs & 255), "Design"}, rhs);
    coreGetJobDefault("Roads", "SightDist", "", text, sizeof text);
    if (coreGetFieldInt(text, 0, 1, ',') != 0) {
        const int ahead = coreGetFieldInt(text, 7, 6, ','), back = coreGetFieldInt(text, 8, 7, ',');
        addRow(legend_, {"Sight ->", "", std::to_string(ahead & 255), "Sight"}, ahead);
        addRow(legend_, {"Sight <-", "", std::to_string(back & 255), "Sight"}, back);
    }
}

void CRoadWnd::SetEdgeLegend() {
    CreateKeyDlg("F\\Super Elevation", {"Line", "Pen"});
    char text[96];
    coreGetDefault("Roads", "EdgePens", "", text, sizeof text);
    const bool dual = dualCarriageway();
    const std::pair<int, const char*> lines[] = {{3, "Shoulder BP"}, {4, "Center Line"}, {5, "Median BP"},
                                                 {6, "Pivots"},      {1, "Left Super"},  {2, "Right Super"}};
    for (const auto& [field, name] : lines) {
        if (!dual && (field == 5 || field == 6)) continue;
        const int pen = coreGetFieldInt(text, field, field, ',');
        addRow(legend_, {name, std::to_string(pen & 255)}, pen);
    }
}
