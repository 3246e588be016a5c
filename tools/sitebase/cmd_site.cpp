// Commands of the site display: render (the site with any set of layers over any view, to PNG,
// SVG or PDF), toggle (a display flag, saved with the project), zoom and pan (the view kept with
// the project), snap (the point the snap callback finds); and the demo step that renders the
// whole demo site.
//
// The title, scale bar, north arrow and legend are the host's: they are drawn around the
// window's content after the library's paint, on a page larger than the view.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "database/display.h"
#include "database/frame.h"
#include "database/network.h"
#include "database/terrain.h"
#include "host.h"
#include "site_common.h"
#include "platform/core.h"
#include "platform/proj.h"

namespace {

// Layer names of --layers and `toggle`, with their display flag.
const std::map<std::string, int>& layerFlags() {
    static const std::map<std::string, int> flags = {
        {"points", kFlagPoints},     {"lines", kFlagLines},           {"contours", kFlagContours},
        {"roads", kFlagRoads},       {"filter", kFlagNameFilter},     {"names", kFlagNames},
        {"heights", kFlagHeights},   {"saved-contours", kFlagSavedContours}, {"blocks", kFlagBlocks},
        {"slope", kFlagSlopeShading}, {"symbols", kFlagSymbols},      {"second-contours", kFlagSecondContour},
        {"banks", kFlagBanks},       {"grids", kFlagGrids},           {"name-layers", kFlagNameLayers},
        {"height", kFlagHeightShading}, {"strings", kFlagStrings},    {"pipes", kFlagPipes}};
    return flags;
}

std::string layerNames() {
    std::string all;
    for (const auto& entry : layerFlags()) all += (all.empty() ? "" : ",") + entry.first;
    return all;
}

// A view "Y1,X1,Y2,X2"; empty when good, else why.
std::string parseView(const std::string& text, double view[4]) {
    std::stringstream in(text);
    std::string part;
    int n = 0;
    while (std::getline(in, part, ',')) {
        if (n == 4) return "--view takes four numbers Y1,X1,Y2,X2";
        const std::string why = realProblem(part, view[n]);
        if (!why.empty()) return "--view: " + why;
        ++n;
    }
    if (n != 4) return "--view takes four numbers Y1,X1,Y2,X2";
    if (view[0] == view[2] || view[1] == view[3]) return "--view: the two corners must differ on both axes";
    return "";
}

// The project's pipe tables that exist are opened for the pipes layer.
void openNetworks(bool open) {
    char path[MAX_PATH] = {};
    if (!open) {
        if (dbfSewerIsOpen()) dbfSewerCloseFile(false);
        if (dbfStormIsOpen()) dbfStormCloseFile(false);
        return;
    }
    dbfFileName(path, "sew", kFileProject);
    if (coreFileExist(path)) dbfSewerOpenFile(path);
    dbfFileName(path, "stw", kFileProject);
    if (coreFileExist(path)) dbfStormOpenFile(path);
}

// Opens the terrain display of the project; false after saying why.
bool openSite() {
    if (!requireProject()) return false;
    dbfTerrainInit(1);
    if (!dbfTerrainIsOpen()) {
        std::fprintf(stderr, "Unable to open the project's terrain display\n");
        return false;
    }
    openNetworks(true);
    return true;
}

void closeSite() {
    openNetworks(false);
    dbfTerrainInit(0);
}

// The view of the project ("SiteView"/"Rect"), or the whole site.
void currentView(double view[4]) {
    char text[256] = {};
    coreGetJobDefault("SiteView", "Rect", "", text, sizeof text);
    if (text[0] && parseView(text, view).empty()) return;
    RRect limits{};
    dbfBuckLimit(&limits, 0);
    view[0] = limits.minY;
    view[1] = limits.minX;
    view[2] = limits.maxY;
    view[3] = limits.maxX;
}

void saveView(double a, double b, double c, double d) {
    char text[256];
    std::snprintf(text, sizeof text, "%.3f,%.3f,%.3f,%.3f", std::min(a, c), std::min(b, d), std::max(a, c), std::max(b, d));
    coreSetJobDefault("SiteView", "Rect", text);
    std::printf("View %s\n", text);
}

// ---------------------------------------------------------------------------------------------
// The page around the window's content

// Sizes on the page are given for a map 1600 pixels wide and grow with it.
constexpr double kReferenceWidth = 1600.0;
// The page's white as a fill: the window draws a colour equal to its page colour in the
// opposite, so masks and light swatches are a shade off white.
constexpr COLORREF kPaper = 0xFEFEFE;

struct Page {
    double y0, x0, y1, x1;   // the map (the view)
    double unit;             // world units of one reference pixel
    int widthPx, heightPx;
};

void fillRect(HeadlessCadWindow& cad, double y0, double x0, double y1, double x1, COLORREF colour) {
    const GsPoint corners[4] = {{y0, x0}, {y1, x0}, {y1, x1}, {y0, x1}};
    const long c = static_cast<long>(colour) | kGsRgbColourFlag;
    cad.gsDisplayFilledPolygon(corners, 4, c, c);
}

// Masks what the layers drew beyond the view (the paint's margin) and frames the map.
void maskMargins(HeadlessCadWindow& cad, const Page& p, double pad) {
    const double big = pad * 10;
    fillRect(cad, p.y0 - big, p.x0 - big, p.y0, p.x1 + big, kPaper);
    fillRect(cad, p.y1, p.x0 - big, p.y1 + big, p.x1 + big, kPaper);
    fillRect(cad, p.y0, p.x0 - big, p.y1, p.x0, kPaper);
    fillRect(cad, p.y0, p.x1, p.y1, p.x1 + big, kPaper);
    cad.gsDisplayRect(p.y0, p.x0, p.y1, p.x1, 7, 0);
}

// The longest of 1, 2 or 5 times a power of ten that is not longer than wanted.
double niceLength(double wanted) {
    const double power = std::pow(10.0, std::floor(std::log10(wanted)));
    for (double step : {5.0, 2.0, 1.0})
        if (step * power <= wanted) return step * power;
    return power;
}

// A text height of px reference pixels, as the window's screen size (tenths of a millimetre).
float textSize(const Page& p, double px) { return static_cast<float>(-px * p.widthPx / kReferenceWidth / (96.0 / 254.0)); }

void scaleBar(HeadlessCadWindow& cad, const Page& p, double y, double x) {
    const double length = niceLength((p.y1 - p.y0) / 5.0);
    for (int i = 0; i < 4; ++i) {
        const double a = y + length * i / 4.0, b = y + length * (i + 1) / 4.0;
        fillRect(cad, a, x, b, x + 6 * p.unit, i % 2 ? kPaper : 0x000000);
    }
    cad.gsDisplayRect(y, x, y + length, x + 6 * p.unit, 7, 0);
    char text[64];
    cad.gsDisplayText("0", y, x + 9 * p.unit, 7, 2, 0, textSize(p, 13), 0.0f);
    std::snprintf(text, sizeof text, "%.0f m", length);
    cad.gsDisplayText(text, y + length, x + 9 * p.unit, 7, 2, 0, textSize(p, 13), 0.0f);
}

void northArrow(HeadlessCadWindow& cad, const Page& p, double y, double x) {
    // The window's vertical axis is the database x: the northing, or the southing in
    // hemisphere 0.
    const double sign = projGetHemisphere() == 0 ? -1.0 : 1.0;
    const double h = 40 * p.unit, w = 12 * p.unit;
    const double tip = x + sign * h / 2, tail = x - sign * h / 2;
    const GsPoint left[3] = {{y, tip}, {y - w, tail}, {y, tail + sign * h * 0.25}};
    const GsPoint right[3] = {{y, tip}, {y + w, tail}, {y, tail + sign * h * 0.25}};
    cad.gsDisplayFilledPolygon(left, 3, kGsRgbColourFlag, kGsRgbColourFlag);
    cad.gsDisplayFilledPolygon(right, 3, kPaper | kGsRgbColourFlag, kGsRgbColourFlag);
    cad.gsDisplayText("N", y, tip + sign * 4 * p.unit, 7, sign > 0 ? 2 : 8, 0, textSize(p, 16), 0.0f);
}

// One legend entry: a swatch of the pen (a line) or colour (a box) and its text.
void legendEntry(HeadlessCadWindow& cad, const Page& p, double y, double x, int pen, long colour, const std::string& text) {
    if (colour >= 0)
        fillRect(cad, y, x - 4 * p.unit, y + 20 * p.unit, x + 4 * p.unit, static_cast<COLORREF>(colour));
    else
        cad.gsDisplayLine(y, x, y + 20 * p.unit, x, pen, 0, 2.0);
    cad.gsDisplayText(text.c_str(), y + 26 * p.unit, x, 7, 4, 0, textSize(p, 12), 0.0f);
}

// The legend below the map: the layers drawn, then the shading classes with their shares.
void legend(HeadlessCadWindow& cad, const Page& p, double y, double x) {
    struct Entry {
        int flag;
        int pen;
        const char* text;
    };
    const Entry entries[] = {{kFlagPoints, dbfTerrainPen(1), "Survey points"},
                             {kFlagLines, dbfTerrainPen(1), "Feature lines"},
                             {kFlagContours, 8, "Contours"},
                             {kFlagStrings, 7, "Strings"},
                             {kFlagRoads, 1, "Road"},
                             {kFlagPipes, 5, "Sewer network"},
                             {kFlagPipes, 6, "Storm network"},
                             {kFlagGrids, 1, "Grid"},
                             {kFlagBlocks, 255, "Point store blocks"}};
    const double row = x;
    const double column = 180 * p.unit, line = 20 * p.unit;
    int shown = 0;
    for (const Entry& e : entries) {
        if (!dbfGetDisplayFlag(e.flag)) continue;
        legendEntry(cad, p, y + (shown / 2) * column, row - (shown % 2) * line, e.pen, -1, e.text);
        ++shown;
    }
    const int kind = dbfGetDisplayFlag(kFlagHeightShading) ? 1 : (dbfGetDisplayFlag(kFlagSlopeShading) ? 0 : -1);
    if (kind < 0) return;
    const double top = row - 3 * line;
    cad.gsDisplayText(kind ? "Height shading: share of the shaded area" : "Slope shading: share of the shaded area", y,
                      top, 7, 4, 0, textSize(p, 13), 0.0f);
    int n = 0;
    for (const DisplayLegendRow& r : dbfShadeLegend(kind)) {
        if (r.share.empty() || r.share == "0.0" || r.shadeClass > 64) continue;
        char text[96];
        std::snprintf(text, sizeof text, kind ? "%.1f-%.1f m  %s %%" : "%.0f-%.0f %%  %s %%", r.lower, r.upper,
                      r.share.c_str());
        legendEntry(cad, p, y + (n / 9) * column, top - (1 + n % 9) * line, 0, static_cast<long>(r.colour), text);
        ++n;
    }
}

// Paints the view and draws the page around it; false when the render failed.
bool renderSite(const std::string& path, const double view[4], int widthPx, const std::string& title) {
    HeadlessCadWindow& cad = host().cad;
    Page p{std::min(view[0], view[2]), std::min(view[1], view[3]), std::max(view[0], view[2]), std::max(view[1], view[3]), 0, widthPx, 0};
    const double worldPerPixel = (p.y1 - p.y0) / (widthPx * 0.92);
    p.unit = worldPerPixel * widthPx / kReferenceWidth;
    const double margin = widthPx * 0.04 * worldPerPixel, top = 90 * p.unit, bottom = 320 * p.unit;
    p.heightPx = static_cast<int>(std::lround((p.x1 - p.x0 + top + bottom) / worldPerPixel));
    cad.setZoomRect(p.y0, p.x0, p.y1, p.x1);
    cad.paint();
    cad.gsSetLayer("Frame", "Frame");
    cad.gsSetDrawMode(kGsDrawNormal);
    maskMargins(cad, p, margin + bottom + top);
    cad.gsDisplayText(title.c_str(), p.y0, p.x1 + top * 0.45, 7, 4, 0, textSize(p, 26), 0.0f);
    scaleBar(cad, p, p.y0, p.x0 - 40 * p.unit);
    northArrow(cad, p, p.y1 - 30 * p.unit, p.x1 + top * 0.5);
    legend(cad, p, p.y0 + (p.y1 - p.y0) * 0.22, p.x0 - 30 * p.unit);
    cad.setZoomRect(p.y0 - margin, p.x0 - bottom, p.y1 + margin, p.x1 + top);
    return cad.render(path, widthPx + static_cast<int>(std::lround(2 * margin / worldPerPixel)), p.heightPx);
}

// --layers: "all", or names joined by commas; empty when good, else why.
std::string applyLayers(const std::string& list) {
    if (list.empty()) return "";
    for (int f = 0; f < kDisplayFlagCount; ++f)
        if (f != kFlagTextOrientation) dbfSetDisplayFlag(f, 0);
    std::stringstream in(list);
    std::string name;
    while (std::getline(in, name, ',')) {
        if (name == "all") {
            for (const auto& [n, flag] : layerFlags())
                if (flag != kFlagNameFilter && flag != kFlagSymbols && flag != kFlagSavedContours && flag != kFlagSlopeShading &&
                    flag != kFlagNameLayers && flag != kFlagBlocks && flag != kFlagSecondContour)
                    dbfSetDisplayFlag(flag, 1);
            continue;
        }
        const auto it = layerFlags().find(name);
        if (it == layerFlags().end()) return "--layers: unknown layer " + name + " (use all or " + layerNames() + ")";
        dbfSetDisplayFlag(it->second, 1);
    }
    return "";
}

std::string layers, viewText, format, out, title = "Site plan";
int width = 1600;

int renderCommand() {
    double view[4] = {0, 0, 0, 0};
    if (!siteOpenView(viewText, layers, view)) return 1;
    std::string path = out;
    if (!format.empty() && path.size() < format.size() + 1) path += "." + format;
    if (!format.empty() && path.substr(path.size() - format.size()) != format) path += "." + format;
    const bool ok = renderSite(path, view, width, title);
    closeSite();
    if (!ok) {
        std::fprintf(stderr, "Unable to write %s\n", path.c_str());
        return 1;
    }
    if (commandFailedSoFar()) return 1;
    std::printf("%s written: %d primitives\n", path.c_str(), static_cast<int>(host().cad.displayList().size()));
    return 0;
}

std::string flagName;

int toggleCommand() {
    const auto it = layerFlags().find(flagName);
    if (it == layerFlags().end()) throw UsageError("unknown layer " + flagName + " (use " + layerNames() + ")");
    if (!openSite()) return 1;
    int value = 0;
    switch (it->second) {
        case kFlagNames: value = dbfToggleNames(); break;
        case kFlagHeights: value = dbfToggleHeights(); break;
        case kFlagLines: value = dbfToggleLines(); break;
        case kFlagContours: value = dbfToggleContours(); break;
        case kFlagNameFilter: value = dbfToggleNameFilter(); break;
        default:
            // The roads and blocks toggles of the library do not save the line; the host saves it
            // so that the choice lasts beyond this command.
            value = dbfGetDisplayFlag(it->second) ? 0 : 1;
            dbfSetDisplayFlag(it->second, value);
            dbfSaveDisplayControl();
    }
    closeSite();
    std::printf("%s %s\n", flagName.c_str(), value ? "on" : "off");
    return 0;
}

std::string zoomHow;

int zoomCommand() {
    if (zoomHow != "in" && zoomHow != "out" && zoomHow != "all") throw UsageError("zoom takes in, out or all");
    if (!openSite()) return 1;
    HeadlessCadWindow& cad = host().cad;
    double view[4];
    currentView(view);
    cad.setZoomRect(view[0], view[1], view[2], view[3]);
    RRect limits{};
    dbfBuckLimit(&limits, 0);
    cad.gsSetZoomAllMyLimits(limits.maxY, limits.minX, limits.minY, limits.maxX);
    if (zoomHow == "in") dbfMagnify();
    if (zoomHow == "out") dbfDemagnify();
    if (zoomHow == "all") dbfZoomAll();
    RRect now{};
    dbfGetViewRect(&now);
    closeSite();
    saveView(now.minY, now.minX, now.maxY, now.maxX);
    return 0;
}

double pointY = 0, pointX = 0;

int panCommand() {
    if (!openSite()) return 1;
    HeadlessCadWindow& cad = host().cad;
    double view[4];
    currentView(view);
    cad.setZoomRect(view[0], view[1], view[2], view[3]);
    dbfSetCurrCoord(pointY, pointX);
    dbfPan();
    RRect now{};
    dbfGetViewRect(&now);
    closeSite();
    saveView(now.minY, now.minX, now.maxY, now.maxX);
    return 0;
}

int snapCommand() {
    if (!openSite()) return 1;
    HeadlessCadWindow& cad = host().cad;
    double view[4];
    currentView(view);
    cad.setZoomRect(view[0], view[1], view[2], view[3]);
    double y = pointY, x = pointX;
    const int found = cad.snap(y, x);
    SURVCOORD p{};
    unsigned n = 0;
    if (found) {
        PNT_3D_record at{x, y, 0.0};
        n = dbfFindClosest(at, nullptr, 0, 0);
        if (n) dbfGrabCoord(p, n);
    }
    closeSite();
    if (!found) {
        std::fprintf(stderr, "No point shown near %.3f,%.3f\n", pointY, pointX);
        return 1;
    }
    std::printf("%s %.3f %.3f %.3f\n", p.name, y, x, p.z);
    return 0;
}

void addSiteCommands(CLI::App& app) {
    auto* site = siteCommand(app);
    auto* render = site->add_subcommand("render", "Render the site to PNG, SVG or PDF");
    render->add_option("--layers", layers, "Layers to draw: all, or a comma list of " + layerNames() + " (default: the project's display settings)");
    render->add_option("--view", viewText, "The view Y1,X1,Y2,X2 (default: the project's view, else the whole site)");
    render->add_option("--format", format, "png, svg or pdf (default: from OUT's extension)")->check(CLI::IsMember({"png", "svg", "pdf"}));
    render->add_option("--width", width, "Width of the map in pixels (100..16000)")->check(CLI::Range(100, 16000));
    render->add_option("--title", title, "The title over the map");
    render->add_option("OUT", out, "The file written")->required();
    render->callback([] { commandResult() = runCommand(renderCommand); });

    auto* toggle = site->add_subcommand("toggle", "Switch one layer on or off (saved with the project)");
    toggle->add_option("LAYER", flagName, layerNames())->required();
    toggle->callback([] { commandResult() = runCommand(toggleCommand); });

    auto* zoom = site->add_subcommand("zoom", "Zoom the project's view in, out, or to the whole site");
    zoom->add_option("HOW", zoomHow, "in, out or all")->required();
    zoom->callback([] { commandResult() = runCommand(zoomCommand); });

    auto* pan = site->add_subcommand("pan", "Centre the project's view on a position");
    pan->add_option("Y", pointY)->required()->check(RealNumber);
    pan->add_option("X", pointX)->required()->check(RealNumber);
    pan->callback([] { commandResult() = runCommand(panCommand); });

    auto* snap = site->add_subcommand("snap", "The shown point nearest to a position, as a pick snaps to it");
    snap->add_option("Y", pointY)->required()->check(RealNumber);
    snap->add_option("X", pointX)->required()->check(RealNumber);
    snap->callback([] { commandResult() = runCommand(snapCommand); });
}

CommandGroup group(addSiteCommands);

// ---------------------------------------------------------------------------------------------
// The demo: the whole site with every layer the demo built, and its legend.

void demoSettings() {
    coreSetJobDefault("Terrain", "DisplayFont", "Arial,6,0");
    coreSetJobDefault("Terrain", "LabelDecimals", "1");
    coreSetJobDefault("Terrain", "DisplayContours", "0.0,1,2,2");
    coreSetJobDefault("Plan", "Contour", "1,1,1,9,0,2.0,8,0,10.0,7,0");
    coreSetJobDefault("Terrain", "LineTypes", "0,0");
    // 32 height classes over the hill, each with every second colour of the default list.
    for (int i = 0; i < 64; ++i) {
        char key[32], value[64];
        std::snprintf(key, sizeof key, "Category%d", i);
        std::snprintf(value, sizeof value, "%.2f,%.2f", 100.0 + i * 0.8, 100.8 + i * 0.8);
        coreSetJobDefault("HeightShade", key, value);
    }
    coreSetJobDefault("RoadLines", "Line1", "1,-99,1,1.5,0");
    coreSetJobDefault("RoadLines", "Line2", "1,99,1,1.5,0");
    coreSetJobDefault("RoadLines", "Line3", "1,-97,1,1.5,0");
    coreSetJobDefault("RoadLines", "Line4", "1,97,1,1.5,0");
    coreSetJobDefault("RoadRange", "Road1", "0,9,0,0,2,0");   // the whole road, without banks
    coreSetJobDefault("PipeDatabase", "Line1", "Sewer");
    coreSetJobDefault("PipeDatabase", "Line2", "Storm");
    coreSetJobDefault("PipeDatabase_Sewer", "NodeText", "5");
    coreSetJobDefault("PipeDatabase_Sewer", "LinkText", "5");
    for (const char* key : {"LinkSym", "NodeSym", "NodeText", "LinkText"})
        coreSetJobDefault("PipeDatabase_Storm", key, "6");
    for (const char* name : {"CENTRE", "L_EDGE", "R_EDGE"}) coreSetJobDefault("StrLines_CENTRE", name, "1,0,7,0,1.0");
    coreSetJobDefault("Terrain", "DisplayControl", "1,1,1,1,0,1,1,0,0,0,1,0,0,0,0,0,1,1,1");
}

void renderDemoSite(DemoContext& ctx) {
    demoSettings();
    if (!openSite()) return;
    // Feature lines of the demo's dense grid in a light grey, so that the plan stays readable.
    dbfTerrainSetPen(1, 9);
    const double view[4] = {-20.0, -20.0, 1020.0, 1020.0};
    for (const char* ext : {"png", "svg", "pdf"}) {
        const std::string file = ctx.folder + "site_plan." + ext;
        if (renderSite(file, view, 4800, "Demo site: terrain, contours, height shading, strings, road and networks"))
            ctx.written.push_back(file);
        else
            std::fprintf(stderr, "Unable to write %s\n", file.c_str());
    }
    closeSite();
}

DemoStep siteStep(70, "the site plan", renderDemoSite);

}  // namespace

// ---------------------------------------------------------------------------------------------
// Shared with the other site command files (site_common.h).

CLI::App* siteCommand(CLI::App& app) {
    try {
        return app.get_subcommand("site");
    } catch (const CLI::OptionNotFound&) {
        auto* site = app.add_subcommand("site", "The site display: render, toggle, zoom, pan, snap, export-dxf");
        site->require_subcommand(1);
        return site;
    }
}
bool siteOpenView(const std::string& viewText, const std::string& layers, double view[4]) {
    if (!viewText.empty()) {
        const std::string why = parseView(viewText, view);
        if (!why.empty()) throw UsageError(why);
    }
    if (!openSite()) return false;
    if (viewText.empty()) currentView(view);
    const std::string why = applyLayers(layers);
    if (!why.empty()) {
        closeSite();
        throw UsageError(why);
    }
    return true;
}
bool siteOpen() { return openSite(); }
void siteClose() { closeSite(); }
void siteDemoSettings() { demoSettings(); }
