// The strings layer: every strings file of the job, each string of its family with its own plot
// settings, read through the strings file's exported calls.
#include <cstring>

#include "database/frame.h"
#include "database/strings.h"
#include "strings/strings_internal.h"
#include "display/display_state.h"

using namespace display;

namespace {

struct StringPlot {
    int draw = 1, kept2 = 0, pen = 1, style = 1;
    double width = 0.0, kept6 = 0.0;
    int chainageLabels = 0, levelLabels = 0;
};

StringPlot plotSettings(const std::string& fileString, const char* name) {
    char v[256] = {};
    coreGetJobDefault(("StrLines_" + fileString).c_str(), name, "", v, sizeof v);
    StringPlot p;
    p.draw = coreGetFieldInt(v, 1, 1, ',');
    p.kept2 = coreGetFieldInt(v, 0, 2, ',');
    p.pen = coreGetFieldInt(v, 1, 3, ',');
    p.style = coreGetFieldInt(v, 1, 4, ',');
    p.width = coreGetFieldDouble(v, 0.0, 5, ',');
    p.kept6 = coreGetFieldDouble(v, 0.0, 6, ',');
    p.chainageLabels = coreGetFieldInt(v, 0, 7, ',');
    p.levelLabels = coreGetFieldInt(v, 0, 8, ',');
    return p;
}

std::string stringLayer(const char* name) {
    std::string layer = name;
    if (layer.size() > 31) layer.resize(30);
    return "STR_" + layer;
}

void dot(const STR_VERTEX& v, int pen, const StringPlot& plot) {
    cad()->gsDisplayLine(v.y, v.x, v.y + 0.001, v.x + 0.001, pen, plot.style, plot.width);
}

// Draws one string's vertices by the rules of hidden and isolated vertices.
void drawString(const STR_HEADER& header, DWORD position, const StringPlot& plot, FILE* file) {
    CCadWindow* w = cad();
    w->gsSetLayer(stringLayer(header.name).c_str(), "String");
    UI_LIST list(dbfStringCompareFunc);
    dbfGetStringData(position, list, 0, 0, file);
    std::vector<const CVertexEle*> v;
    for (UI_ELEMENT* e = list.Head(); e; e = e->Next()) {
        const auto* vertex = static_cast<const CVertexEle*>(e);
        if (vertex->active) v.push_back(vertex);
    }
    const DisplayState& s = state();
    const int pen = header.selected && !w->gsIsPlotting() ? s.selPen : plot.pen;
    const bool chainages = plot.chainageLabels && std::strncmp(header.name, "CHG_", 4) == 0;
    const float height = labelHeight(s.fontSize);
    const float angle = static_cast<float>(s.labelAngle * 10.0);
    for (std::size_t i = 0; i < v.size(); ++i) {
        const CVertexEle& a = *v[i];
        if (chainages)
            w->gsDisplayText(heightText(a.chainage, s.labelDecimals).c_str(), a.y, a.x, plot.pen, 6, 0, height, angle);
        if (plot.levelLabels)
            w->gsDisplayText(heightText(a.z, s.labelDecimals).c_str(), a.y, a.x, plot.pen, 0, 0, height, angle);
        if (i + 1 >= v.size()) break;
        const CVertexEle& b = *v[i + 1];
        if (a.vertexKind == 'x' || b.vertexKind == 'x') continue;
        const bool last = i + 2 == v.size();
        if (a.isolated && b.isolated) {
            dot(a, pen, plot);
            if (last) dot(b, pen, plot);
            continue;
        }
        if (b.isolated && !(last && !a.isolated)) continue;
        w->gsDisplayLine(a.y, a.x, b.y, b.x, pen, plot.style, plot.width);
    }
}

// The string and, recursively, its first and second child; false on Escape.
bool drawFamily(const char* name, const std::string& fileString, FILE* file, LayerRun& run, int depth) {
    if (!name[0] || depth > 256) return true;
    STR_HEADER header{};
    const DWORD position = dbfGetStringHeader(name, header, file);
    if (position == 0) return true;
    const StringPlot plot = plotSettings(fileString, header.name);
    if (plot.draw) drawString(header, position, plot, file);
    // A string whose derived strings are out of date has them recalculated (with templates and
    // features) before they are drawn; the byte is cleared first, so a failed recalculation is
    // not tried at every paint.
    if (header.needsRecalc) {
        header.needsRecalc = 0;
        if (strWriteHeader(file, position, header)) dbfRecalcStrings(name, 0, file, 1, 0);
    }
    if (run.unitDone()) return false;
    char first[33] = {}, second[33] = {};
    coreStrncpy(first, header.firstChild, sizeof first);
    coreStrncpy(second, header.secondChild, sizeof second);
    return drawFamily(first, fileString, file, run, depth + 1) && drawFamily(second, fileString, file, run, depth + 1);
}

}  // namespace

void dbfPlotStrings(int& escape) {
    LayerRun run(escape, "Plotting terrain strings (Esc to cancel)", false);
    if (!cad()) return;
    bool drawn = false;
    for (int i = 1; i <= kStrMaxFiles && !escape; ++i) {
        char key[32], name[MAX_PATH] = {}, fileName[MAX_PATH] = {};
        std::snprintf(key, sizeof key, "StrName%d", i);
        coreGetJobDefault("TerrainStrings", key, "", name, sizeof name);
        if (!name[0]) continue;
        const std::string fileString = name;
        dbfTerrainStringsFileName(name, fileName);
        if (!coreFileExist(fileName)) continue;
        STR_FILEHEADER fileHeader{};
        FILE* file = viewStringOpenFile(fileName, fileHeader);
        if (!file) continue;
        dbfStringAccessor(file, fileName);
        char plot[64] = {};
        coreGetJobDefault(("StrLines_" + fileString).c_str(), "Plot", "1", plot, sizeof plot);
        if (std::atoi(plot) == 1) {
            drawFamily(fileString.c_str(), fileString, file, run, 0);
            drawn = true;
        }
        coreFileClose(file);
    }
    if (drawn) dbfStringsClose();
}
