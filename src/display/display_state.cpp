// The display's state, the helpers its layers share, and the hooks through which the lower
// subsystems reach the display.
#include <cmath>
#include <cstring>

#include "database/frame.h"
#include "display/display_state.h"
#include "frame/state.h"
#include "terrain/terrain_state.h"

namespace display {

namespace {

void resetDisplayState() {
    DisplayState& s = state();
    if (s.namesTable) d4close(s.namesTable);
    s = DisplayState{};
}

void viewDirty() {
    if (CCadWindow* w = cad()) w->gsSetViewDirty(true);
}

// A surface change refreshes the surfaces legend: the host's legend is drawn from the surfaces'
// status and pens as they are now, so the view is repainted.
void refreshSurfaceLegend() { viewDirty(); }

// A new terrain strings file switches the strings layer on and saves the line.
void showStrings() {
    state().flags[kFlagStrings] = 1;
    dbfSaveDisplayControl();
    viewDirty();
}

bool stateMade = false;

// The library unload: the shading legends lose their shares. A display never used has none, and
// the unload must not make its state then (the state registry may be gone by that time).
void removeLegends() {
    if (!stateMade) return;
    DisplayState& s = state();
    s.slopeArea.fill(0.0);
    s.heightArea.fill(0.0);
    s.slopeTotal = s.heightTotal = 0.0;
}

void setNamesOld() { state().namesOld = true; }

NAMEFILT* displayFilter(int& on) {
    on = state().flags[kFlagNameFilter];
    return &state().filter;
}

int installHooks() {
    DbfHooks& h = dbfState().hooks;
    h.removeLegends = removeLegends;
    h.refreshSurfaceLegend = refreshSurfaceLegend;
    h.redrawStrings = viewDirty;
    h.showStrings = showStrings;
    h.redrawSite = viewDirty;
    TerrainHooks& t = terrainHooks();
    t.setNamesOld = setNamesOld;
    t.setupDrawing = dbfSetupDrawing;
    t.displayFilter = displayFilter;
    return 1;
}

const int hooksInstalled = installHooks();

}  // namespace

DisplayState& state() {
    // Never destroyed: the library unload still reaches it after the process's other statics
    // are gone.
    static DisplayState& s = *new DisplayState;
    static const int registered = dbfRegisterStatePart(resetDisplayState) + hooksInstalled;
    (void)registered;
    stateMade = true;
    return s;
}

CCadWindow* cad() { return dbfState().cadWindow; }

float labelHeight(double size) {
    const double h = size * kLabelFactor;
    CCadWindow* w = cad();
    const bool onPaper = w && (w->gsIsPlotting() || w->gsIsPrinting());
    return static_cast<float>(!onPaper && state().flags[kFlagTextOrientation] ? -h : h);
}

std::string heightText(double z, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*lf", decimals, z);
    return text;
}

namespace {
void replaceAll(std::string& text, const std::string& field, const std::string& value) {
    for (std::size_t at = text.find(field); at != std::string::npos; at = text.find(field, at + value.size()))
        text.replace(at, field.size(), value);
}
}  // namespace

std::string surfaceLayer(WORD surface, const char* type) {
    const WORD number = dbfStripSurfFlags(surface, nullptr);
    char buffer[256] = {};
    dbfSurfaceLayer(buffer, number);
    std::string name = buffer;
    replaceAll(name, "{NUMBER}", std::to_string(number));
    replaceAll(name, "{TYPE}", type);
    return name;
}

bool passesDisplayFilter(const SURVCOORD& p) {
    return !state().flags[kFlagNameFilter] || dbfPassesFilter(&p, &state().filter);
}

void loadSurfacePens() {
    DisplayState& s = state();
    for (int i = 1; i <= 128; ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "Surf%d", i);
        s.surfacePens[static_cast<size_t>(i)] = coreGetDefaultInt("Terrain", key, i + 15);
    }
}

void rebuildLinePens() {
    // The feature-line layer takes each surface's pen and each line type's visibility as it
    // draws, so the rebuilt list shows at the next paint.
    viewDirty();
}

void drawPath(const std::vector<PNT_3D_record>& points, int pen, int style, double width, bool joined) {
    if (DrawSink* sink = state().sink) {
        sink->path(points, pen, style, joined);
        return;
    }
    CCadWindow* w = cad();
    for (std::size_t i = 1; i < points.size(); ++i)
        w->gsDisplayLine(points[i - 1].y, points[i - 1].x, points[i].y, points[i].x, pen, style, width);
}

LayerRun::LayerRun(int& escape, const char* status, bool withProgress)
    : escape_(escape), text_(status), progress_(withProgress) {
    escape_ = 0;
    dbfDispStatus(status, kStatusPush);
    if (progress_) {
        total_ = static_cast<int>(dbfApproxPointCount());
        step_ = dbfProgressStep(total_);
        dbfDispGraph(0, total_, text_.c_str());
    }
}

LayerRun::~LayerRun() {
    if (progress_) dbfDispGraph(0, 0, nullptr);
    dbfDispStatus(nullptr, kStatusPop);
}

bool LayerRun::unitDone() {
    if (progress_ && ++done_ % step_ == 0) dbfDispGraph(done_, total_, text_.c_str());
    return dbfCheckEscape(escape_, 0) != 0;
}

}  // namespace display

using namespace display;

int dbfGetDisplayFlag(int flag) {
    return flag >= 0 && flag < kDisplayFlagCount ? state().flags[static_cast<size_t>(flag)] : 0;
}

void dbfSetDisplayFlag(int flag, int value) {
    if (flag >= 0 && flag < kDisplayFlagCount) state().flags[static_cast<size_t>(flag)] = value;
}

void dbfSaveDisplayControl() {
    std::string line;
    for (int i = 0; i < kDisplayFlagCount; ++i) {
        if (i) line += ',';
        line += std::to_string(state().flags[static_cast<size_t>(i)]);
    }
    coreSetJobDefault("Terrain", "DisplayControl", line.c_str());
}

int dbfGetTerrainFilter(NAMEFILT& filter) {
    filter = state().filter;
    return state().flags[kFlagNameFilter];
}

NAMEFILT* dbfGetTerrainFilterPointer(int& on) {
    on = state().flags[kFlagNameFilter];
    return &state().filter;
}

void dbfSetTerrainFilter(int on) { state().flags[kFlagNameFilter] = on; }

int dbfTerrainPen(WORD surface) {
    const int s = surface % 256;
    return s == 0 || s > 128 ? 1 : state().surfacePens[static_cast<size_t>(s)];
}

void dbfTerrainSetPen(WORD surface, int pen) {
    const int s = surface % 256;
    if (s >= 1 && s <= 128) state().surfacePens[static_cast<size_t>(s)] = pen;
}

int dbfShowLine(WORD lineType) {
    const int t = lineType % 256;
    return t == 0 ? 0 : (state().lineHidden[static_cast<size_t>(t)] ? 0 : 1);
}

void dbfSetShowLine(WORD lineType, int show, int rebuild) {
    state().lineHidden[lineType % 256] = show == 0;
    if (rebuild) rebuildLinePens();
}

std::vector<DisplayLegendRow> dbfShadeLegend(int kind) {
    const DisplayState& s = state();
    const auto& classes = kind == 0 ? s.slopeClasses : s.heightClasses;
    const auto& area = kind == 0 ? s.slopeArea : s.heightArea;
    const double total = kind == 0 ? s.slopeTotal : s.heightTotal;
    std::vector<DisplayLegendRow> rows;
    auto share = [&](int c) {
        if (!(total > 1e-12)) return std::string();
        char text[32];
        std::snprintf(text, sizeof text, "%.1lf", area[static_cast<size_t>(c)] * 100.0 / total);
        return std::string(text);
    };
    for (int c = 1; c <= kShadeClasses; ++c) {
        const ShadeClass& k = classes[static_cast<size_t>(c - 1)];
        rows.push_back({c, k.lower, k.upper, k.colour, share(c)});
    }
    if (kind == 0) {
        rows.push_back({65, 0.0, 0.0, s.noSlopeColour, share(65)});
    } else {
        rows.push_back({65, 0.0, 0.0, s.underHeightColour, share(65)});
        rows.push_back({66, 0.0, 0.0, s.overHeightColour, share(66)});
    }
    return rows;
}
