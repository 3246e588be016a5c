// `site export-dxf`: the site as displayed in the view, as a complete ASCII DXF drawing. The
// library writes the entities; the host writes what surrounds them: the header (version, drawing
// extents, units), the tables (line types, a layer for each layer the entities use, the text
// style) and the end of file. The demo step writes the demo site as site.dxf.
//
// Decisions:
//  - Entities on an empty export layer name are put on layer "0", the layer every DXF drawing
//    has; a layer name a DXF reader refuses (one holding < > / \ " : ; ? * | = `) stops the
//    export with a message naming it.
//  - The extents are those of every position the entities hold (a polyline's header position
//    is not one); an empty drawing has extents 0,0,0.
//  - Units are metres ($INSUNITS 6).
//  - --counts prints, for each DXF layer, the primitives a paint of the same view draws on the
//    layers the export names, counted as the export writes them (see displayCounts), next to
//    the entities written; on the roads' layer also the alignment details the export writes
//    from the road design files, which the display does not draw (dbfDxfAlignmentEntities).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "database/display.h"
#include "database/frame.h"
#include "host.h"
#include "platform/core.h"
#include "site_common.h"

namespace {

using Group = std::pair<int, std::string>;

struct DxfBody {
    std::vector<Group> groups;
    std::map<std::string, int> entities;   // by layer
    std::set<std::string> lineTypes;
    double min[3] = {0, 0, 0}, max[3] = {0, 0, 0};
    bool any = false;
};

// The line types the library writes, with their dash patterns (drawing units).
const std::map<std::string, std::vector<double>>& lineTypePatterns() {
    static const std::map<std::string, std::vector<double>> types = {
        {"CONTINUOUS", {}},
        {"DASHED", {0.5, -0.25}},
        {"DASHEDMID", {1.0, -0.5}},
        {"DASHEDSMAL", {0.25, -0.125}},
        {"DOTTED", {0.0, -0.25}},
        {"CENTER", {1.25, -0.25, 0.25, -0.25}},
        {"CENTERDD", {1.25, -0.25, 0.25, -0.25, 0.25, -0.25}}};
    return types;
}

bool validLayerName(const std::string& name) { return name.find_first_of("<>/\\\":;?*|=`") == std::string::npos; }

// Reads back the entity records; false after saying why.
bool readBody(FILE* f, const std::string& path, DxfBody& body) {
    coreFileSetPointer(0, 0, f);
    char code[64], value[4096];
    std::string entity;
    while (coreFileTxtRead(code, f, sizeof code)) {
        if (!coreFileTxtRead(value, f, sizeof value)) {
            std::fprintf(stderr, "%s: the entity records end inside a group\n", path.c_str());
            return false;
        }
        Group g{std::atoi(code), value};
        if (g.first == 0) {
            entity = g.second;
        } else if (g.first == 8) {
            if (g.second.empty()) g.second = "0";
            if (!validLayerName(g.second)) {
                std::fprintf(stderr, "%s: the layer name \"%s\" is not allowed in a DXF drawing\n", path.c_str(), g.second.c_str());
                return false;
            }
            if (entity != "VERTEX" && entity != "SEQEND") ++body.entities[g.second];
        } else if (g.first == 6) {
            body.lineTypes.insert(g.second);
        } else if (g.first >= 10 && g.first <= 33 && g.first % 10 <= 3 && entity != "POLYLINE") {
            const int axis = g.first / 10 - 1;
            const double v = std::atof(g.second.c_str());
            if (!body.any || v < body.min[axis]) body.min[axis] = v;
            if (!body.any || v > body.max[axis]) body.max[axis] = v;
            if (axis == 2) body.any = true;
        }
        body.groups.push_back(std::move(g));
    }
    return true;
}

class Out {
public:
    explicit Out(FILE* f) : f_(f) {}
    void group(int code, const std::string& value) {
        char head[8];
        std::snprintf(head, sizeof head, "%3d", code);
        ok_ = ok_ && coreFileTxtWrite(head, f_) && coreFileTxtWrite(value.c_str(), f_);
    }
    void real(int code, double v) {
        char text[64];
        std::snprintf(text, sizeof text, "%.3f", v);
        group(code, text);
    }
    bool ok() const { return ok_; }

private:
    FILE* f_;
    bool ok_ = true;
};

void writeDrawing(Out& out, const DxfBody& body) {
    out.group(0, "SECTION");
    out.group(2, "HEADER");
    out.group(9, "$ACADVER");
    out.group(1, "AC1009");
    out.group(9, "$INSUNITS");
    out.group(70, "6");
    out.group(9, "$EXTMIN");
    for (int a = 0; a < 3; ++a) out.real(10 * (a + 1), body.min[a]);
    out.group(9, "$EXTMAX");
    for (int a = 0; a < 3; ++a) out.real(10 * (a + 1), body.max[a]);
    out.group(0, "ENDSEC");

    out.group(0, "SECTION");
    out.group(2, "TABLES");
    std::set<std::string> types = body.lineTypes;
    types.insert("CONTINUOUS");
    out.group(0, "TABLE");
    out.group(2, "LTYPE");
    out.group(70, std::to_string(types.size()));
    for (const std::string& t : types) {
        const auto it = lineTypePatterns().find(t);
        const std::vector<double> pattern = it == lineTypePatterns().end() ? std::vector<double>{} : it->second;
        double length = 0.0;
        for (double d : pattern) length += d < 0 ? -d : d;
        out.group(0, "LTYPE");
        out.group(2, t);
        out.group(70, "0");
        out.group(3, t == "CONTINUOUS" ? "Solid line" : t);
        out.group(72, "65");
        out.group(73, std::to_string(pattern.size()));
        out.real(40, length);
        for (double d : pattern) out.real(49, d);
    }
    out.group(0, "ENDTAB");
    std::set<std::string> layers;
    for (const auto& [name, count] : body.entities) layers.insert(name);
    layers.insert("0");
    out.group(0, "TABLE");
    out.group(2, "LAYER");
    out.group(70, std::to_string(layers.size()));
    for (const std::string& name : layers) {
        out.group(0, "LAYER");
        out.group(2, name);
        out.group(70, "0");
        out.group(62, "7");
        out.group(6, "CONTINUOUS");
    }
    out.group(0, "ENDTAB");
    out.group(0, "TABLE");
    out.group(2, "STYLE");
    out.group(70, "1");
    out.group(0, "STYLE");
    out.group(2, "STANDARD");
    out.group(70, "0");
    out.real(40, 0.0);
    out.real(41, 1.0);
    out.real(50, 0.0);
    out.group(71, "0");
    out.real(42, 2.5);
    out.group(3, "txt");
    out.group(4, "");
    out.group(0, "ENDTAB");
    out.group(0, "ENDSEC");

    out.group(0, "SECTION");
    out.group(2, "ENTITIES");
    for (const Group& g : body.groups) out.group(g.first, g.second);
    out.group(0, "ENDSEC");
    out.group(0, "EOF");
}

// Writes the drawing of the current view to path (through a temporary file); the entity counts
// by layer in `entities`. false after saying why.
bool exportDrawing(const std::string& path, std::map<std::string, int>& entities) {
    const std::string bodyPath = path + ".entities.tmp", tmp = path + ".tmp";
    FILE* f = coreFileOpen(bodyPath.c_str(), "w+b");
    if (!f) {
        std::fprintf(stderr, "Unable to write %s: %s\n", bodyPath.c_str(), coreFileLastErrorText());
        return false;
    }
    dbfSiteExport(0, f);
    DxfBody body;
    const bool read = readBody(f, path, body);
    coreFileClose(f);
    coreFileDelete(bodyPath.c_str());
    if (!read) return false;
    FILE* o = coreFileOpen(tmp.c_str(), "wb");
    if (!o) {
        std::fprintf(stderr, "Unable to write %s: %s\n", tmp.c_str(), coreFileLastErrorText());
        return false;
    }
    Out out(o);
    writeDrawing(out, body);
    const bool closed = coreFileCloseChecked(o) != 0;   // closed whatever the writes did
    const bool written = out.ok() && closed;
    if (!written || !coreFileRename(tmp.c_str(), path.c_str())) {
        std::fprintf(stderr, "Unable to write %s: %s\n", path.c_str(), coreFileLastErrorText());
        coreFileDelete(tmp.c_str());
        return false;
    }
    entities = body.entities;
    return true;
}

// The export key of a primitive the display drew, from its layer and layer type; empty for a
// primitive the export does not write (block limits, survey symbols).
std::string exportKey(const CadPrimitive& p) {
    static const std::map<std::string, std::string> byType = {
        {"Shade", "Slopes"},     {"ShadeHeight", "HeightShade"}, {"Point", "Points"},   {"Name", "Names"},
        {"Height", "Heights"},   {"Feature", "Lines"},           {"Break", "Lines"},    {"QuickCont", "Contours"},
        {"GenCont", "Contours"}, {"DiffCont", "Contours"},       {"Centre", "Roads"},   {"Label", "Roads"},
        {"Curves", "Roads"},     {"Line", "Roads"},              {"String", "Strings"}, {"Grid", "Grids"},
        {"Pipe", "Pipes"}};
    if (p.layerType == "Bank") return p.layer == "Banks" ? "Banks" : "Roads";
    const auto it = byType.find(p.layerType);
    return it == byType.end() ? "" : it->second;
}

// The height of the terrain point at a plan position; 0 when there is none.
double terrainHeightAt(const GsPoint& g) {
    constexpr double kNear = 1e-6;
    RRect area{};
    area.minX = g.x - kNear;
    area.maxX = g.x + kNear;
    area.minY = g.y - kNear;
    area.maxY = g.y + kNear;
    SURVCOORD p;
    for (unsigned n = dbfStartCoord(p, &area); n != 0; n = dbfNextCoord(p, n))
        if (p.x - g.x <= kNear && g.x - p.x <= kNear && p.y - g.y <= kNear && g.y - p.y <= kNear) return p.z;
    return 0.0;
}

// Paints the view and counts its primitives by the DXF layer the export gives them, as the
// export writes them: the segments of a saved contour or of a road line that join end to start
// (same layer, pen and style) are one polyline; a road's chainage label stands for its text and
// the chainage point written with it; a height-shaded triangle is as many faces as it has pieces
// within one height class.
std::map<std::string, int> displayCounts(const double view[4]) {
    HeadlessCadWindow& cad = host().cad;
    cad.setZoomRect(view[0], view[1], view[2], view[3]);
    cad.paint();
    std::map<std::string, int> counts;
    const CadPrimitive* previous = nullptr;
    int chained = 0;   // segments of the path being counted
    for (const CadPrimitive& p : cad.displayList()) {
        const CadPrimitive* before = previous;
        previous = &p;
        const std::string key = exportKey(p);
        if (key.empty()) continue;
        char name[64] = {};
        coreGetJobDefault("DXF Export", key.c_str(), "", name, sizeof name);
        name[32] = '\0';
        int& n = counts[name[0] ? name : "0"];
        const bool path = p.kind == CadPrimitiveKind::Line &&
                          (p.layerType == "GenCont" || p.layerType == "DiffCont" || p.layerType == "Line");
        // A road line's run holds at most 1000 positions (999 segments).
        const bool joins = path && before && before->kind == CadPrimitiveKind::Line && before->layer == p.layer &&
                           before->layerType == p.layerType && before->pen == p.pen && before->style == p.style &&
                           before->points[1].x == p.points[0].x && before->points[1].y == p.points[0].y &&
                           (p.layerType != "Line" || chained < 999);
        chained = joins ? chained + 1 : 1;
        if (joins) continue;
        if (p.kind == CadPrimitiveKind::Text && p.layerType == "Label" && key == "Roads") ++n;
        if (p.kind == CadPrimitiveKind::FilledPolygon && p.layerType == "ShadeHeight" && p.points.size() == 3) {
            PNT_3D_record corners[3];
            for (int k = 0; k < 3; ++k) corners[k] = {p.points[k].x, p.points[k].y, terrainHeightAt(p.points[k])};
            n += dbfDxfHeightPieces(corners);
            continue;
        }
        ++n;
    }
    return counts;
}

std::string out, viewText, layers;
bool counts = false;

int exportCommand() {
    double view[4] = {0, 0, 0, 0};
    if (!siteOpenView(viewText, layers, view)) return 1;
    host().cad.setZoomRect(view[0], view[1], view[2], view[3]);
    std::map<std::string, int> entities;
    const bool ok = exportDrawing(out, entities);
    std::map<std::string, int> shown, details;
    if (ok && counts) {
        shown = displayCounts(view);
        char roads[64] = {};
        coreGetJobDefault("DXF Export", "Roads", "", roads, sizeof roads);
        roads[32] = '\0';
        if (const int n = dbfDxfAlignmentEntities()) details[roads[0] ? roads : "0"] = n;
    }
    siteClose();
    if (!ok || commandFailedSoFar()) return 1;
    int total = 0;
    for (const auto& [layer, n] : entities) total += n;
    std::printf("%s written: %d entities\n", out.c_str(), total);
    if (counts) {
        std::set<std::string> names;
        for (const auto& [layer, n] : entities) names.insert(layer);
        for (const auto& [layer, n] : shown) names.insert(layer);
        for (const std::string& layer : names) {
            std::printf("layer %s: %d entities, %d displayed", layer.c_str(), entities[layer], shown[layer]);
            if (details.count(layer)) std::printf(", %d alignment details from the road design files", details[layer]);
            std::printf("\n");
        }
    }
    return 0;
}

void addExportCommand(CLI::App& app) {
    auto* dxf = siteCommand(app)->add_subcommand("export-dxf", "Write the site as displayed to an ASCII DXF drawing");
    dxf->add_option("--layers", layers, "Layers shown: all, or a comma list as for render (default: the project's display settings)");
    dxf->add_option("--view", viewText, "The view Y1,X1,Y2,X2 (default: the project's view, else the whole site)");
    dxf->add_flag("--counts", counts, "Print each DXF layer's entities next to the primitives a paint of the view draws there");
    dxf->add_option("OUT", out, "The DXF file written")->required();
    dxf->callback([] { commandResult() = runCommand(exportCommand); });
}

CommandGroup group(addExportCommand);

// The demo road's horizontal alignment in its design file. The road runs straight from (100, 100)
// along (0.6, 0.8) with curve points at chainages 200, 400, 600 and 800 (the road step): three
// intersection points on that line, and five elements, the curves flat ones of radius 5000
// between their curve points (their length the arc's). false after saying why.
bool writeDemoAlignment() {
    auto at = [](double chg) { return std::pair{100.0 + chg * 0.6, 100.0 + chg * 0.8}; };   // y, x
    std::vector<std::pair<std::string, std::string>> points{{"Count", "3"}}, elements{{"Count", "5"}};
    char text[160];
    for (int i = 0; i < 3; ++i) {
        const auto [y, x] = at(i * 500.0);
        std::snprintf(text, sizeof text, "%.3f,%.3f", y, x);
        points.emplace_back("PI" + std::to_string(i + 1), text);
    }
    constexpr double kRadius = 5000.0;
    for (int i = 0; i < 5; ++i) {
        const double from = i * 200.0, to = from + 200.0;
        const bool curve = i % 2 == 1;
        const double length = curve ? 2.0 * kRadius * std::asin((to - from) / (2.0 * kRadius)) : to - from;
        const auto [y1, x1] = at(from);
        const auto [y2, x2] = at(to);
        std::snprintf(text, sizeof text, "%s,%.3f,%.3f,%.3f,%.3f,%.3f", curve ? "Curve R=5000" : "Tangent", y1, x1, y2, x2, length);
        elements.emplace_back("Element" + std::to_string(i + 1), text);
    }
    char file[MAX_PATH];
    dbfFileName(file, "1", kFileRoadDes, 0);
    INI_LIST des(file);
    des.DeleteSection("HorizontalAlignment");
    des.DeleteSection("HorizontalElements");
    des.SetStrings("HorizontalAlignment", points);
    des.SetStrings("HorizontalElements", elements);
    if (des.Save()) return true;
    std::fprintf(stderr, "Unable to write %s: %s\n", file, coreFileLastErrorText());
    return false;
}

// The demo: the site plan's view and layers (point heights off, so that every point keeps its
// marker), each export layer on a DXF layer of its own, the road's alignment details written
// into its design file first.
void exportDemoSite(DemoContext& ctx) {
    siteDemoSettings();
    const std::pair<const char*, const char*> names[] = {
        {"Slopes", "SLOPE_SHADE"}, {"HeightShade", "HEIGHT_SHADE"}, {"Points", "POINTS"}, {"Names", "POINT_NAMES"},
        {"Heights", "POINT_HEIGHTS"}, {"Banks", "BANKS"}, {"Lines", "FEATURE_LINES"}, {"Contours", "CONTOURS"},
        {"Roads", "ROADS"}, {"Strings", "STRINGS"}, {"Grids", "GRIDS"}, {"Pipes", "PIPES"}};
    for (const auto& [key, name] : names) coreSetJobDefault("DXF Export", key, name);
    coreSetJobDefault("SiteView", "Rect", "-20.000,-20.000,1020.000,1020.000");
    if (!writeDemoAlignment() || !siteOpen()) return;
    dbfTerrainSetPen(1, 9);
    dbfSetDisplayFlag(kFlagHeights, 0);
    dbfSaveDisplayControl();
    const double view[4] = {-20.0, -20.0, 1020.0, 1020.0};
    host().cad.setZoomRect(view[0], view[1], view[2], view[3]);
    const std::string file = ctx.folder + "site.dxf";
    std::map<std::string, int> entities;
    if (exportDrawing(file, entities))
        ctx.written.push_back(file);
    else
        std::fprintf(stderr, "Unable to write %s\n", file.c_str());
    siteClose();
}

DemoStep dxfStep(75, "the site as a DXF drawing", exportDemoSite);

}  // namespace
