// The display settings (flags, pens, contours, font, roads, shading classes, symbols, name
// layers), the toggles and the queries.
#include <cctype>
#include <cstring>
#include <strings.h>

#include "database/frame.h"
#include "display/display_state.h"
#include "frame/state.h"

using namespace display;

namespace {

// The stored default of the flag line gives the first eighteen flags; the nineteenth defaults
// to 0.
constexpr int kFlagDefaults[kDisplayFlagCount] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0};

// The 64 default colours of both shading lists.
constexpr const char* kShadeColours =
    "8404992,8537856,8671488,8804608,8937728,9071616,9204736,9338112,9472000,9605632,9212928,8689152,"
    "8296448,7903744,7314432,6921728,6463488,5874176,5415936,4892160,4237312,3713536,3189760,2469376,"
    "1945600,1356288,635904,46592,47113,47637,48159,48681,49206,49728,50251,50777,51300,51823,52350,"
    "52873,53397,53925,54449,54973,55501,56026,53724,50398,48096,45538,41956,39398,36840,33258,30444,"
    "27630,23792,20722,17908,13814,10744,7674,3324,255";

std::string job(const char* section, const char* key, const char* def) {
    char buffer[1024] = {};
    coreGetJobDefault(section, key, def, buffer, sizeof buffer);
    return buffer;
}

std::string user(const char* section, const char* key, const char* def) {
    char buffer[2048] = {};
    coreGetDefault(section, key, def, buffer, sizeof buffer);
    return buffer;
}

int fieldInt(const std::string& text, int def, int index) {
    return coreGetFieldInt(text.c_str(), def, index, ',');
}
double fieldReal(const std::string& text, double def, int index) {
    return coreGetFieldDouble(text.c_str(), def, index, ',');
}
std::string fieldText(const std::string& text, const char* def, int index, int size) {
    std::vector<char> buffer(static_cast<size_t>(size) + 1, 0);
    coreGetField(text.c_str(), def, buffer.data(), size + 1, index, ',');
    return buffer.data();
}

void loadFlags(DisplayState& s) {
    const std::string line = job("Terrain", "DisplayControl", "1,0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0,0");
    for (int i = 0; i < kDisplayFlagCount; ++i)
        s.flags[static_cast<size_t>(i)] = fieldInt(line, kFlagDefaults[i], i + 1);
}

void loadContours(DisplayState& s) {
    const std::string dc = job("Terrain", "DisplayContours", "0.0,1,2,2");
    s.contourBase = fieldReal(dc, 0.0, 1);
    s.contourSurface = fieldInt(dc, 1, 2);
    s.contourSurface2 = fieldInt(dc, 2, 3);
    s.contourField4 = fieldInt(dc, 2, 4);
    const std::string mm = job("Terrain", "MinMaxContour", "0.00,0.00");
    s.minContour = fieldReal(mm, 0.0, 1);
    s.maxContour = fieldReal(mm, 0.0, 2);
    const std::string c = job("Plan", "Contour", "");
    ContourSettings& k = s.contour;
    k = ContourSettings{};
    k.majorOn = fieldInt(c, 0, 1);
    k.smooth = fieldInt(c, 1, 2);
    k.label = fieldInt(c, 1, 3);
    k.kept4 = fieldInt(c, 9, 4);
    k.labelOption = fieldInt(c, 0, 5);
    k.interval = fieldReal(c, 1.0, 6);
    k.minorPen = fieldInt(c, 9, 7);
    k.minorStyle = fieldInt(c, 1, 8);
    k.majorInterval = fieldReal(c, 5.0, 9);
    k.majorPen = fieldInt(c, 2, 10);
    k.majorStyle = fieldInt(c, 1, 11);
    k.labelInterval = fieldReal(c, 5.0, 12);
    k.labelPen = fieldInt(c, 2, 13);
    k.labelSize = fieldInt(c, 15, 14);
    k.diffAbovePen = fieldInt(c, 3, 15);
    k.diffAboveStyle = fieldInt(c, 1, 16);
    k.diffZeroPen = fieldInt(c, 4, 17);
    k.diffZeroStyle = fieldInt(c, 1, 18);
    k.diffBelowPen = fieldInt(c, 5, 19);
    k.diffBelowStyle = fieldInt(c, 1, 20);
    k.labelDecimals = fieldInt(c, 0, 21);
    k.labelSpacing = fieldReal(c, 1000.0, 22);
    k.kept23 = fieldInt(c, 0, 23);
}

void loadFont(DisplayState& s) {
    const std::string f = job("Terrain", "DisplayFont", "Arial,10,0");
    s.fontName = fieldText(f, "Arial", 1, 255);
    s.fontSize = fieldInt(f, 10, 2);
    s.labelAngle = fieldReal(f, 0.0, 3);
}

void loadRoads(DisplayState& s) {
    const int count = dbfState().maxRoads;
    s.roads.assign(static_cast<size_t>(count > 0 ? count : 0), RoadShow{});
    for (int n = 1; n <= count; ++n) {
        char key[32];
        std::snprintf(key, sizeof key, "ShowRoad%d", n);
        const std::string v = job("Terrain", key, "1,1,Road{NUMBER}{TYPE}");
        RoadShow& r = s.roads[static_cast<size_t>(n - 1)];
        r.shown = fieldInt(v, 1, 1);
        r.pen = fieldInt(v, 1, 2);
        coreStrncpy(r.name, fieldText(v, "Road{NUMBER}{TYPE}", 3, 32).c_str(), sizeof r.name);
    }
}

void loadClasses(std::array<ShadeClass, kShadeClasses>& classes, const char* colourKey, const char* section, int step) {
    const std::string colours = user("Terrain", colourKey, kShadeColours);
    for (int i = 0; i < kShadeClasses; ++i) {
        ShadeClass& k = classes[static_cast<size_t>(i)];
        k.colour = static_cast<COLORREF>(fieldInt(colours, 255, i + 1));
        char key[32], def[48];
        std::snprintf(key, sizeof key, "Category%d", i);
        std::snprintf(def, sizeof def, "%d,%d", step * i, step * i + step);
        const std::string b = job(section, key, def);
        k.lower = fieldReal(b, step * i, 1);
        k.upper = fieldReal(b, step * i + step, 2);
    }
}

void loadSymbols(DisplayState& s) {
    s.symbols.clear();
    for (int i = 1; i <= 50; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "Symbol%d", i);
        const std::string v = job("Symbols", key, "");
        SymbolRule r;
        coreStrncpy(r.pattern, fieldText(v, "", 1, 16).c_str(), sizeof r.pattern);
        coreStrncpy(r.symbol, fieldText(v, "", 2, 15).c_str(), sizeof r.symbol);
        r.names = fieldInt(v, 0, 3);
        r.heights = fieldInt(v, 0, 4);
        r.scale = fieldReal(v, 1.0, 5);
        if (r.pattern[0] && r.symbol[0]) s.symbols.push_back(r);
    }
}

void loadNameLayers(DisplayState& s) {
    s.nameLayers.clear();
    for (int i = 1; i <= 50; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "Name%d", i);
        const std::string v = job("NameLayers", key, "");
        NameLayerRule r;
        coreStrncpy(r.pattern, fieldText(v, "", 1, 16).c_str(), sizeof r.pattern);
        coreStrncpy(r.layer, fieldText(v, "", 2, 32).c_str(), sizeof r.layer);
        r.point = fieldInt(v, 0, 3);
        r.height = fieldInt(v, 0, 4);
        r.name = fieldInt(v, 0, 5);
        if (r.pattern[0] && r.layer[0]) s.nameLayers.push_back(r);
    }
}

void loadShading(DisplayState& s) {
    s.showSlopeColours = coreGetJobDefaultInt("Terrain", "ShowSlopeColours", 1);
    s.shadeSurf = coreGetJobDefaultInt("Terrain", "ShadeSurf", 1);
    if (s.updated[2]) loadClasses(s.slopeClasses, "SlopeColours", "SlopeShade", 10);
    s.noSlopeColour = static_cast<COLORREF>(coreGetDefaultInt("Terrain", "NoSlopeColour", 0));
    s.slopeArrows = coreGetJobDefaultInt("Terrain", "SlopeArrows", 0);
    const std::string arrows = job("Terrain", "SlopeArrowSetting", "255,25,5");
    s.arrowPen = fieldInt(arrows, 255, 1);
    s.arrowSize1 = fieldInt(arrows, 25, 2);
    s.arrowSize2 = fieldInt(arrows, 5, 3);
    s.shadeHeightSurf = coreGetJobDefaultInt("Terrain", "ShadeHeightSurf", 1);
    if (s.updated[3]) loadClasses(s.heightClasses, "HeightColours", "HeightShade", 100);
    s.underHeightColour = static_cast<COLORREF>(coreGetDefaultInt("Terrain", "UnderHeightColour", 0));
    s.overHeightColour = static_cast<COLORREF>(coreGetDefaultInt("Terrain", "OverHeightColour", 0));
}

void markContourSurfaces(DisplayState& s) {
    auto mark = [](int surface) {
        const WORD w = static_cast<WORD>(surface);
        if (!dbfGetSurfaceStatus(w, 1)) dbfSetSurfaceStatus(w, 3, 1);
    };
    mark(s.contourSurface);
    if (s.flags[kFlagSecondContour]) mark(s.contourSurface2);
}

int toggle(int flag, bool save) {
    if (!dbfTerrainIsOpen()) return 0;
    DisplayState& s = state();
    CCadWindow* w = cad();
    if (w) w->SuspendFunc();
    int& f = s.flags[static_cast<size_t>(flag)];
    f = f ? 0 : 1;
    if (flag == kFlagContours && f && !s.flags[kFlagSavedContours]) markContourSurfaces(s);
    if (flag == kFlagNameFilter && f) f = dbfFilterDetails(&s.filter, 0, nullptr) ? 1 : 0;
    if (save) dbfSaveDisplayControl();
    if (w) {
        w->gsSetViewDirty(true);
        w->ResumeFunc();
    }
    return f;
}

int shown(int flag) { return dbfTerrainIsOpen() ? state().flags[static_cast<size_t>(flag)] : 0; }

}  // namespace

namespace display {
int checkSymbolFile() {
    CCadWindow* w = cad();
    if (!w) return 0;
    CString current;
    long count = 0;
    w->gsGetSymbolFileInfo(current, count);
    std::string lower = current.c_str();
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find("surveysymbols") != std::string::npos) return 1;
    const std::string path = user("Main", "JobPath", "");
    w->gsExecuteMacro(("#SETSYMPTH \"" + path + "\"").c_str());
    std::string file = path;
    if (!file.empty() && file.back() != '/' && file.back() != '\\') file += '/';
    file += "SurveySymbols.drg";
    if (!coreFileExist(file.c_str())) {
        ErrorMessage("Symbol plotting specified but symbol file\nSurveySymbols.drg not found in user directory",
                     dbfOwner());
        state().flags[kFlagSymbols] = 0;
        return 0;
    }
    w->gsExecuteMacro("#NEWSYMFL \"SurveySymbols\" \"N\" \"N\"");
    return 1;
}
}  // namespace display

void dbfGetDisplaySettings() {
    DisplayState& s = state();
    const std::string updated = job("Terrain", "Updated", "1,1,1,1,1,1");
    for (int i = 0; i < 6; ++i) s.updated[static_cast<size_t>(i)] = fieldInt(updated, 1, i + 1);
    if (s.updated[0]) rebuildLinePens();
    loadContours(s);
    dbfLoadNameFilter(&s.filter);
    loadFlags(s);
    s.labelDecimals = coreGetJobDefaultInt("Terrain", "LabelDecimals", 2);
    loadFont(s);
    if (s.updated[1]) loadRoads(s);
    loadShading(s);
    const std::string lineTypes = job("Terrain", "LineTypes", "21,1");
    s.lineTypes[0] = fieldInt(lineTypes, 21, 1);
    s.lineTypes[1] = fieldInt(lineTypes, 1, 2);
    if (s.flags[kFlagContours] && !s.flags[kFlagSavedContours]) markContourSurfaces(s);
    const std::string roadCols = job("Plan", "RoadCols", "");
    const int colourDefaults[5] = {250, 150, 150, 250, 250};
    for (int i = 0; i < 5; ++i) s.roadCols[i] = fieldInt(roadCols, colourDefaults[i], i + 1);
    if (s.updated[4]) loadSymbols(s);
    if (s.flags[kFlagSymbols]) checkSymbolFile();
    s.defaultPen = coreGetDefaultInt("Global", "DefaultPen", 255) % 256;
    if (s.updated[5]) loadNameLayers(s);
    s.selPen = coreGetJobDefaultInt("TerrainStrings", "SelPen", s.defaultPen);
}

int dbfToggleNames() { return toggle(kFlagNames, true); }
int dbfToggleHeights() { return toggle(kFlagHeights, true); }
int dbfToggleLines() { return toggle(kFlagLines, true); }
int dbfToggleContours() { return toggle(kFlagContours, true); }
int dbfToggleRoads() { return toggle(kFlagRoads, false); }
int dbfToggleNameFilter() { return toggle(kFlagNameFilter, true); }
int dbfToggleBlockDisplay() { return toggle(kFlagBlocks, false); }
int dbfIsShowName() { return shown(kFlagNames); }
int dbfIsShowHeight() { return shown(kFlagHeights); }
int dbfIsShowLine() { return shown(kFlagLines); }
int dbfIsShowContour() { return shown(kFlagContours); }
int dbfIsShowFilter() { return shown(kFlagNameFilter); }
int dbfIsShowQuickContour() {
    return dbfTerrainIsOpen() && state().flags[kFlagContours] && !state().flags[kFlagSavedContours] ? 1 : 0;
}
