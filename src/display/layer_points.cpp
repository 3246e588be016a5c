// The points layer (marks, names, heights, survey symbols, the names table) and the
// feature-line layer.
#include <cmath>
#include <cstring>

#include "database/frame.h"
#include "display/display_state.h"

using namespace display;

namespace {

// The layer switch remembers the last layer set, so that a run of primitives on one layer sets
// it once.
class LayerSwitch {
public:
    void set(const std::string& name, const char* type) {
        if (name == name_ && type == type_) return;
        name_ = name;
        type_ = type;
        cad()->gsSetLayer(name_.c_str(), type);
    }

private:
    std::string name_;
    const char* type_ = nullptr;
};

const NameLayerRule* nameLayerOf(const char* name) {
    if (!state().flags[kFlagNameLayers] || !name[0]) return nullptr;
    for (const NameLayerRule& r : state().nameLayers)
        if (coreMatching(r.pattern, name, static_cast<int>(std::strlen(r.pattern)))) return &r;
    return nullptr;
}

const SymbolRule* symbolOf(const char* name) {
    if (!state().flags[kFlagSymbols] || !name[0]) return nullptr;
    for (const SymbolRule& r : state().symbols)
        if (r.symbol[0] && coreMatching(r.pattern, name, static_cast<int>(std::strlen(r.pattern)))) return &r;
    return nullptr;
}

// The name as shown: cut at its first "!@$%^&" unless the suffix is shown on screen.
std::string shownName(const char* name, bool plotting) {
    std::string text = name;
    if (state().dispSuffix && !plotting) return text;
    const std::size_t cut = text.find_first_of("!@$%^&");
    return cut == std::string::npos ? text : text.substr(0, cut);
}

struct PointLabels {
    bool mark, names, heights;
};

void drawPoint(const SURVCOORD& p, PointLabels what, LayerSwitch& layer) {
    CCadWindow* w = cad();
    const DisplayState& s = state();
    int pen = dbfTerrainPen(p.surface);
    if (pen < 1) pen = s.defaultPen;
    const NameLayerRule* rule = nameLayerOf(p.name);
    auto layerFor = [&](const char* type, int use) {
        return rule && use ? std::string(rule->layer) : surfaceLayer(p.surface, type);
    };
    const bool plotting = w->gsIsPlotting();
    const float height = labelHeight(s.fontSize);
    const float angle = static_cast<float>(s.labelAngle * 10.0);
    if (what.heights && !dblIsZero(p.z)) {
        layer.set(layerFor("Height", rule ? rule->height : 0), "Height");
        const std::string text = heightText(p.z, s.labelDecimals);
        const std::size_t dot = text.find('.');
        if (plotting && s.splitHeightDecimal == 1 && dot != std::string::npos) {
            const float h = std::fabs(height);
            w->gsDisplayText(text.substr(0, dot).c_str(), p.y, p.x, pen, 7, 0, h, angle);
            w->gsDisplayText(text.substr(dot + 1).c_str(), p.y, p.x, pen, 1, 0, h, angle);
        } else {
            w->gsDisplayText(text.c_str(), p.y, p.x, pen, 0, 0, height, angle);
        }
    }
    if (what.mark) {
        layer.set(layerFor("Point", rule ? rule->point : 0), "Point");
        w->gsDisplayPoint(p.y, p.x, pen, 0, -2.0f);
    }
    if (what.names && p.name[0]) {
        layer.set(layerFor("Name", rule ? rule->name : 0), "Name");
        w->gsDisplayText(shownName(p.name, plotting).c_str(), p.y, p.x, pen, 6, 0, height, angle);
    }
}

void plotOne(const SURVCOORD& p, LayerSwitch& layer) {
    const auto& f = state().flags;
    if (const SymbolRule* r = symbolOf(p.name)) {
        layer.set(surfaceLayer(p.surface, "Symbol"), "Symbol");
        cad()->gsDisplaySymbol(r->symbol, p.y, p.x, r->scale);
        drawPoint(p, {true, r->names != 0, r->heights != 0}, layer);
    } else {
        drawPoint(p, {f[kFlagPoints] != 0, f[kFlagNames] != 0, f[kFlagHeights] != 0}, layer);
    }
    dbfUpdateNamesDb(p.name);
}

// The line P-Q with the type and style its feature bit gives.
void drawLine(const SURVCOORD& p, const SURVCOORD& q, bool feature, int pen, LayerSwitch* layer) {
    const DisplayState& s = state();
    if (layer) {
        const NameLayerRule* rule = nameLayerOf(p.name);
        const char* type = feature ? "Feature" : "Break";
        layer->set(rule ? std::string(rule->layer) : surfaceLayer(p.surface, type), type);
    }
    cad()->gsDisplayLine(p.y, p.x, q.y, q.x, pen, feature ? s.lineTypes[1] : s.lineTypes[0], 0.0);
}

bool inView(const SURVCOORD& q) {
    const RRect& v = state().view;
    return q.x >= v.minX && q.x <= v.maxX && q.y >= v.minY && q.y <= v.maxY;
}

}  // namespace

void dbfPlotAllPoints(int& escape) {
    LayerRun run(escape, "Plotting points (Esc to cancel)", true);
    if (!cad()) return;
    if (state().flags[kFlagSymbols]) checkSymbolFile();
    emptyNamesTable();
    LayerSwitch layer;
    SURVCOORD p;
    RRect view = state().view;
    for (unsigned n = dbfStartCoord(p, &view); n != 0; n = dbfNextCoord(p, n)) {
        if (passesDisplayFilter(p)) plotOne(p, layer);
        if (run.unitDone()) break;
    }
    namesLayerDone();
}

void dbfPlotPoint(unsigned number, SURVCOORD& point, int draw) {
    CCadWindow* w = cad();
    if (!w) return;
    if (!draw) w->gsSetDrawMode(kGsDrawToggle);
    LayerSwitch layer;
    const auto& f = state().flags;
    drawPoint(point, {f[kFlagPoints] != 0, f[kFlagNames] != 0, f[kFlagHeights] != 0}, layer);
    if (f[kFlagLines]) dbfPlotConnectLines(dbfTerrainPen(point.surface), number, point);
    w->gsSetDrawMode(kGsDrawNormal);
}

void dbfPlotConnectLines(int pen, unsigned number, SURVCOORD& point) {
    CCadWindow* w = cad();
    if (!w) return;
    SURVCOORD q;
    w->gsSetLayer("", "");
    for (int i = 0; i < 8; ++i) {
        if (!point.lines[i]) continue;
        dbfGrabCoord(q, point.lines[i]);
        w->gsSetDrawMode(kGsDrawToggle);
        drawLine(point, q, (point.feature >> i) & 1, pen, nullptr);
        w->gsSetDrawMode(kGsDrawNormal);
    }
    for (DWORD ref : point.shadows) {
        if (!ref) continue;
        dbfGrabCoord(q, ref);
        w->gsSetDrawMode(kGsDrawToggle);
        drawLine(q, point, dbfIsFeatureLine(q, number, ref) != 0, pen, nullptr);
        w->gsSetDrawMode(kGsDrawNormal);
    }
}

void dbfPlotAllLines(int& escape) {
    LayerRun run(escape, "Plotting lines (Esc to cancel)", true);
    if (!cad()) return;
    LayerSwitch layer;
    SURVCOORD p, q;
    RRect view = state().view;
    for (unsigned n = dbfStartCoord(p, &view); n != 0; n = dbfNextCoord(p, n)) {
        const WORD surface = static_cast<WORD>(p.surface & 0xFF);
        if (surface != 0 && dbfShowLine(surface) && passesDisplayFilter(p)) {
            const int pen = dbfTerrainPen(p.surface);
            for (int i = 0; i < 8; ++i) {
                if (!p.lines[i]) continue;
                dbfGrabCoord(q, p.lines[i]);
                if (passesDisplayFilter(q)) drawLine(p, q, (p.feature >> i) & 1, pen, &layer);
            }
            for (DWORD ref : p.shadows) {
                if (!ref) continue;
                dbfGrabCoord(q, ref);
                if (inView(q) || !passesDisplayFilter(q)) continue;
                for (int i = 0; i < 8; ++i)
                    if (q.lines[i] == n) drawLine(q, p, (q.feature >> i) & 1, pen, &layer);
            }
        }
        if (run.unitDone()) break;
    }
}
