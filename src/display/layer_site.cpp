// The layers drawn over the site: the block grid of the point store, grids, roads with their
// lines, labels and banks, and the pipe networks.
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "database/frame.h"
#include "database/network.h"
#include "database/road.h"
#include "database/section.h"
#include "display/display_state.h"
#include "frame/state.h"

using namespace display;

namespace {

std::string jobText(const char* section, const char* key, const char* def) {
    char buffer[512] = {};
    coreGetJobDefault(section, key, def, buffer, sizeof buffer);
    return buffer;
}

int field(const std::string& text, int def, int index) { return coreGetFieldInt(text.c_str(), def, index, ','); }
double fieldReal(const std::string& text, double def, int index) {
    return coreGetFieldDouble(text.c_str(), def, index, ',');
}

}  // namespace

void dbfPlotBlocks(int& escape) {
    LayerRun run(escape, "Plotting block limits (Esc to cancel)", false);
    CCadWindow* w = cad();
    if (!w || !dbfTerrainIsOpen()) return;
    RRect site{}, limits{};
    double size = 0.0;
    dbfGetExtents(&site, size);
    dbfBuckLimit(&limits, 0);
    if (!(size > 1e-12)) return;
    // The bucket limits pushed outwards to whole cells of the site's grid.
    const double y0 = site.minY + std::floor((limits.minY - site.minY) / size) * size;
    const double y1 = site.minY + std::ceil((limits.maxY - site.minY) / size) * size;
    const double x0 = site.minX + std::floor((limits.minX - site.minX) / size) * size;
    const double x1 = site.minX + std::ceil((limits.maxX - site.minX) / size) * size;
    w->gsSetLayer("BlockLimits", "BlockLimits");
    const int pen = state().defaultPen;
    for (double y = y0; y <= y1 + size * 1e-9; y += size) w->gsDisplayLine(y, x0, y, x1, pen, 0, 0.0);
    for (double x = x0; x <= x1 + size * 1e-9; x += size) w->gsDisplayLine(y0, x, y1, x, pen, 0, 0.0);
    const float height = labelHeight(state().fontSize);
    for (double y = y0; y + size <= y1 + size * 1e-9; y += size) {
        for (double x = x0; x + size <= x1 + size * 1e-9; x += size) {
            char text[32];
            std::snprintf(text, sizeof text, "[%d]", dbfBlockNumber(y + size / 2, x + size / 2));
            w->gsDisplayText(text, y + size / 2, x + size / 2, pen, 5, 0, height, 0.0f);
        }
        if (run.unitDone()) return;
    }
}

void dbfPlotGrids(int& escape) {
    LayerRun run(escape, "Plotting grids (Esc to cancel)", false);
    CCadWindow* w = cad();
    if (!w) return;
    const std::string g = jobText("Plan", "Grids", "");
    const int style = field(g, 1, 1), pen = field(g, 1, 4);
    const double interval = field(g, 100, 2), half = field(g, 50, 5);
    if (!(interval > 0)) return;
    const RRect& v = state().view;
    const double y0 = std::floor(v.minY / interval) * interval, y1 = std::ceil(v.maxY / interval) * interval;
    const double x0 = std::floor(v.minX / interval) * interval, x1 = std::ceil(v.maxX / interval) * interval;
    w->gsSetLayer("Grid", "Grid");
    const float height = labelHeight(state().fontSize);
    char text[64];
    if (style == 0) {
        for (double y = y0; y <= y1; y += interval) {
            w->gsDisplayLine(y, x0, y, x1, pen, 0, 0.0);
            std::snprintf(text, sizeof text, "%.0lf", y);
            w->gsDisplayText(text, y, x0, pen, 4, 0, height, 900.0f);
            w->gsDisplayText(text, y, x1, pen, 6, 0, height, 900.0f);
        }
        for (double x = x0; x <= x1; x += interval) {
            w->gsDisplayLine(y0, x, y1, x, pen, 0, 0.0);
            std::snprintf(text, sizeof text, "%.0lf", x);
            w->gsDisplayText(text, y0, x, pen, 6, 0, height, 0.0f);
            w->gsDisplayText(text, y1, x, pen, 4, 0, height, 0.0f);
        }
        return;
    }
    for (double y = y0; y <= y1; y += interval) {
        for (double x = x0; x <= x1; x += interval) {
            w->gsDisplayLine(y - half, x, y + half, x, pen, 0, 0.0);
            w->gsDisplayLine(y, x - half, y, x + half, pen, 0, 0.0);
        }
        if (run.unitDone()) return;
    }
}

// ---------------------------------------------------------------------------------------------
// Roads

namespace {

// One road line: the section point of a road layer by relative point number, followed from
// chainage to chainage.
struct RoadLine {
    int layer = 0, relative = 0, pen = 1;
    double width = 0.0;
    int style = 0, kept = 0;
};

RoadLine roadLine(int road, int line) {
    char key[32], section[32];
    std::snprintf(key, sizeof key, "Line%d", line);
    std::string v = jobText("RoadLines", key, "");
    const std::string over0 = jobText("RoadLines0", key, "");
    if (!over0.empty()) v = over0;
    std::snprintf(section, sizeof section, "RoadLines%d", road);
    const std::string overRoad = jobText(section, key, "");
    if (!overRoad.empty()) v = overRoad;
    return RoadLine{field(v, 0, 1), field(v, 0, 2), field(v, 1, 3), fieldReal(v, 0.0, 4), field(v, 0, 5), field(v, 0, 6)};
}

struct Station {
    double chainage;
    CHGBASE record;
    double direction;   // along the road
};

std::vector<Station> stations(FILE* f, SECHEAD& head, double first, double last) {
    std::vector<Station> list;
    double chg = kChgBeforeFirst;
    unsigned idx = viewFindChainage(chg, 0, f, head);
    for (unsigned guard = 0; idx != 0 && guard < 1000000; ++guard) {
        Station s{chg, {}, 0.0};
        viewGrabChg(idx, &s.record, f);
        const bool inRange = dblIsZero(first) && dblIsZero(last) ? true : (dblGreaterEqual(chg, first) && dblLessEqual(chg, last));
        if (inRange && (list.empty() || !dblEqual(list.back().chainage, chg))) list.push_back(s);
        const double before = chg;
        idx = viewNextChainage(chg, 0, f, head);
        if (dblEqual(chg, before)) break;
    }
    for (std::size_t i = 0; i < list.size(); ++i) {
        const CHGBASE& a = list[i == 0 ? 0 : i - 1].record;
        const CHGBASE& b = list[i + 1 < list.size() ? i + 1 : i].record;
        list[i].direction = coreGetAngle(b.y - a.y, b.x - a.x);
    }
    return list;
}

// The plan position of an offset (positive to the right of the road's direction).
PNT_2D_record offsetPosition(const Station& s, double offset) {
    return PNT_2D_record{s.record.x - offset * std::cos(s.direction), s.record.y + offset * std::sin(s.direction)};
}

bool sectionPoint(const Station& s, int layer, int relative, FILE* f, SECHEAD& head, PNT_3D_record& at) {
    XSECTION xs{};
    double chg = s.chainage;   // the section is read at the view's current chainage
    if (viewFindChainage(chg, 1, f, head) == 0) return false;
    if (!viewGrabSect(s.chainage, static_cast<short>(layer), &xs, f, head) || xs.count < 1) return false;
    const int pos = dbfRelativePtno(relative, xs);
    if (pos < 1 || pos > xs.count) return false;
    const PNT_2D_record plan = offsetPosition(s, xs.points[pos - 1].offset);
    at = PNT_3D_record{plan.x, plan.y, xs.points[pos - 1].elevation};
    return true;
}

// The positions of a road line at its levels, in runs: a chainage without the point ends a run,
// and a run holds at most kRunLimit positions (the next one starts at its last position, so no
// segment is lost). Each run of two or more positions is one path.
constexpr std::size_t kRunLimit = 1000;

void drawFollowing(const std::vector<Station>& list, int layer, int relative, int pen, int style, double width, FILE* f,
                   SECHEAD& head, bool joined) {
    std::vector<PNT_3D_record> run;
    auto flush = [&]() {
        if (run.size() > 1) drawPath(run, pen, style, width, joined);
        run.clear();
    };
    PNT_3D_record here{};
    for (const Station& s : list) {
        if (!sectionPoint(s, layer, relative, f, head, here)) {
            flush();
            continue;
        }
        if (run.size() == kRunLimit) {
            const PNT_3D_record last = run.back();
            flush();
            run.push_back(last);
        }
        run.push_back(here);
    }
    flush();
}

void drawBanks(const std::vector<Station>& list, int layer, FILE* f, SECHEAD& head) {
    const std::string b = jobText("Plan", "Banks", "");
    const int pen = field(b, 3, 1), style = field(b, 2, 2);
    for (int relative : {-99, 99}) drawFollowing(list, layer, relative, pen, style, 0.0, f, head, false);
}

std::string roadLayer(int road, const char* type) {
    const RoadShow& r = state().roads[static_cast<size_t>(road - 1)];
    std::string name = r.name;
    auto put = [&](const char* fieldName, const std::string& value) {
        for (auto at = name.find(fieldName); at != std::string::npos; at = name.find(fieldName))
            name.replace(at, std::strlen(fieldName), value);
    };
    put("{NUMBER}", std::to_string(road));
    put("{TYPE}", type);
    return name;
}

void centreLine(int road, const std::vector<Station>& list, int pen) {
    CCadWindow* w = cad();
    w->gsSetLayer(roadLayer(road, "Centre").c_str(), "Centre");
    for (std::size_t i = 1; i < list.size(); ++i)
        w->gsDisplayLine(list[i - 1].record.y, list[i - 1].record.x, list[i].record.y, list[i].record.x, pen, 0, 0.0);
    char key[32];
    std::snprintf(key, sizeof key, "RoadText%d", road);
    const std::string text = jobText("Plan", "RoadText", "");
    const double every = fieldReal(jobText("Plan", key, text.c_str()), 100.0, 1);
    w->gsSetLayer(roadLayer(road, "Label").c_str(), "Label");
    const float height = labelHeight(state().fontSize);
    for (const Station& s : list) {
        if (every > 1e-12 && !dblIsZero(coreFmod(s.chainage, every))) continue;
        // A tick square to the road, 3 units each side of the centre line, labelled at its end.
        constexpr double kTick = 3.0;
        const PNT_2D_record a = offsetPosition(s, -kTick), b = offsetPosition(s, kTick);
        if (DrawSink* sink = state().sink) sink->point(PNT_3D_record{s.record.x, s.record.y, 0.0}, pen);
        w->gsDisplayLine(a.y, a.x, b.y, b.x, pen, 0, 0.0);
        char label[64];
        std::snprintf(label, sizeof label, "%.*lf", state().labelDecimals, s.chainage);
        const double angle = -s.direction * 1800.0 / 3.141592653589793 + 900.0;
        w->gsDisplayText(label, b.y, b.x, pen, 4, 0, height, static_cast<float>(std::fmod(angle + 3600.0, 3600.0)));
    }
}

// The horizontal curve details: each curve point (chainage kinds 1 to 4) marked with a circle
// and named ("BC3: 2+00.00") beside the centre line.
void curveDetails(int road, const std::vector<Station>& list, int pen) {
    CCadWindow* w = cad();
    w->gsSetLayer(roadLayer(road, "Curves").c_str(), "Curves");
    const float height = labelHeight(state().fontSize);
    for (const Station& s : list) {
        if (s.record.kind < 1 || s.record.kind > 4) continue;
        CHGBASE record = s.record;
        char name[64] = {};
        dbfChgName(name, sizeof name, record, coreGetDefaultInt("Roads", "HorStartIndex", 0), state().labelDecimals,
                   CString("+"), 1);
        w->gsDisplayCircle(s.record.y, s.record.x, 2.0, pen, 0);
        const PNT_2D_record at = offsetPosition(s, -6.0);
        w->gsDisplayText(name, at.y, at.x, pen, 6, 0, height, 0.0f);
    }
}

// The horizontal alignment of a road, from the road's design file ("<project>.<road>.des"):
//   [HorizontalAlignment]  Count=n, PI1 .. PIn = "y,x": the intersection points of the
//                          alignment's tangents, in order;
//   [HorizontalElements]   Count=n, Element1 .. Elementn = "name,y1,x1,y2,x2,length": the
//                          elements along the road in order (tangents, curves), each from its
//                          start to its end, with its length along the road.
// A missing file, section or entry gives nothing; Count is read as an integer and held to
// 0 .. kAlignmentEntriesMax. An entry that does not parse (another number of fields, a field
// that is not a finite number, a negative length) is left out: a point that does not parse
// leaves out the two tangents that meet at it, so no tangent is drawn that the file does not
// hold.
constexpr int kAlignmentEntriesMax = 100000;

struct AlignmentElement {
    std::string name;
    PNT_2D_record from, to;
    double length;
};

struct Alignment {
    std::vector<std::pair<PNT_2D_record, PNT_2D_record>> tangents;
    std::vector<AlignmentElement> elements;
    int entities() const { return static_cast<int>(tangents.size() + 2 * elements.size()); }
};

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> commaFields(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
        out.push_back(trimmed(text.substr(start, comma - start)));
    out.push_back(trimmed(text.substr(start)));
    return out;
}

// A whole field read as a finite real.
bool finiteField(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end && *end == '\0' && std::isfinite(value);
}

// The values of entries <key>1 .. <key>Count of a section (an empty text for a missing one).
// Keys compare without regard to case and the first of a name counts, as for any setting.
std::vector<std::string> numberedEntries(const INI_LIST& des, const char* section, const char* key) {
    std::map<std::string, std::string> values;
    for (const auto& [name, value] : des.SectionValues(section)) {
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        values.emplace(lower, value);
    }
    const auto count = values.find("count");
    const long n = count == values.end() ? 0 : std::strtol(count->second.c_str(), nullptr, 10);
    std::vector<std::string> out;
    std::string prefix = key;
    for (char& c : prefix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (long i = 1; i <= std::min<long>(n, kAlignmentEntriesMax); ++i) {
        const auto it = values.find(prefix + std::to_string(i));
        out.push_back(it == values.end() ? std::string() : it->second);
    }
    return out;
}

// The design file of the open road is the library's design settings (with any change not yet
// saved); another road's is read from its file.
Alignment readAlignment(int road) {
    INI_LIST* des = dbfGetDesFile();
    std::unique_ptr<INI_LIST> other;
    char file[MAX_PATH];
    dbfFileName(file, std::to_string(road).c_str(), kFileRoadDes, 0);
    if (strcasecmp(file, des->FileName()) != 0) {
        other = std::make_unique<INI_LIST>(file);
        des = other.get();
    }
    Alignment a;
    bool havePrevious = false;
    PNT_2D_record previous{};
    for (const std::string& entry : numberedEntries(*des, "HorizontalAlignment", "PI")) {
        const std::vector<std::string> f = commaFields(entry);
        double y = 0.0, x = 0.0;
        if (f.size() != 2 || !finiteField(f[0], y) || !finiteField(f[1], x)) {
            havePrevious = false;
            continue;
        }
        const PNT_2D_record here{x, y};
        if (havePrevious) a.tangents.emplace_back(previous, here);
        previous = here;
        havePrevious = true;
    }
    for (const std::string& entry : numberedEntries(*des, "HorizontalElements", "Element")) {
        const std::vector<std::string> f = commaFields(entry);
        double v[5] = {};
        bool ok = f.size() == 6;
        for (int k = 0; ok && k < 5; ++k) ok = finiteField(f[static_cast<std::size_t>(k + 1)], v[k]);
        if (!ok || v[4] < 0.0) continue;
        a.elements.push_back(AlignmentElement{f[0], {v[1], v[0]}, {v[3], v[2]}, v[4]});
    }
    return a;
}

// The angle of a text along a chord, in degrees from the plan's y axis towards its x axis,
// turned by 180 when the chord points towards -y (or straight down -x) so that it reads
// upright: (-90, 90]. Negating both axes (the drawing's hemisphere rule) turns a chord by 180
// degrees, so the upright angle is the same either way.
double uprightDegrees(const PNT_2D_record& from, const PNT_2D_record& to) {
    const double u = to.y - from.y, w = to.x - from.x;
    if (u == 0.0 && w == 0.0) return 0.0;
    double degrees = std::atan2(w, u) * 180.0 / 3.141592653589793;
    if (u < 0.0 || (u == 0.0 && w < 0.0)) degrees += degrees > 0.0 ? -180.0 : 180.0;
    return degrees;
}

// The export's alignment details of a road: the tangent polygon, then each element's chord
// with its name and length ("%s (%.1fm)") at the chord's middle, along it, bottom centred;
// solid lines in the centre line's pen, at height 0.
void alignmentDetails(DrawSink& sink, int road, int pen) {
    const Alignment a = readAlignment(road);
    constexpr int kSolid = 1, kBottomCentre = 2;
    for (const auto& [from, to] : a.tangents)
        sink.path({PNT_3D_record{from.x, from.y, 0.0}, PNT_3D_record{to.x, to.y, 0.0}}, pen, kSolid, false);
    const double size = state().fontSize * kExportTextFactor;
    for (const AlignmentElement& e : a.elements) {
        sink.path({PNT_3D_record{e.from.x, e.from.y, 0.0}, PNT_3D_record{e.to.x, e.to.y, 0.0}}, pen, kSolid, false);
        const int n = std::snprintf(nullptr, 0, "%s (%.1fm)", e.name.c_str(), e.length);
        std::string label(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
        std::snprintf(label.data(), label.size() + 1, "%s (%.1fm)", e.name.c_str(), e.length);
        const PNT_3D_record middle{(e.from.x + e.to.x) / 2.0, (e.from.y + e.to.y) / 2.0, 0.0};
        sink.text(middle, label, size, uprightDegrees(e.from, e.to), kBottomCentre, pen);
    }
}

// Draws one road file; false on Escape. A paint draws the banks, the road lines, the centre
// line and the curve details; the export (a sink is set) writes the centre line first, the
// banks after the road lines and then the alignment details of the road's design file, under a
// progress bar of 52 steps (the centre line, the 50 road lines, the rest).
bool plotRoad(int road, const char* path, LayerRun& run) {
    SECHEAD head{};
    FILE* f = viewRoadOpenFile(path, head);
    if (!f) return true;
    const bool exporting = state().sink != nullptr;
    char key[32];
    std::snprintf(key, sizeof key, "Road%d", road);
    const std::string range = jobText("RoadRange", key, "");
    const std::vector<Station> list = stations(f, head, fieldReal(range, 0.0, 3), fieldReal(range, 0.0, 4));
    const RoadShow& show = state().roads[static_cast<size_t>(road - 1)];
    char status[64];
    std::snprintf(status, sizeof status, "Plotting road %d (Esc to cancel)", road);
    dbfDispStatus(status, kStatusPush);
    constexpr int kSteps = 52;
    int step = 0;
    auto advance = [&]() {
        if (exporting) dbfDispGraph(++step, kSteps, status);
    };
    auto banks = [&]() {
        if (!field(range, 2, 6)) return;
        cad()->gsSetLayer(roadLayer(road, "Bank").c_str(), "Bank");
        drawBanks(list, field(range, 2, 5), f, head);
    };
    if (exporting) {
        dbfDispGraph(0, kSteps, status);
        centreLine(road, list, show.pen);
        advance();
    } else {
        banks();
    }
    bool going = !run.unitDone();
    for (int line = 1; going && line <= 50; ++line) {
        const RoadLine l = roadLine(road, line);
        if (l.relative != 0 && l.layer >= 1) {
            cad()->gsSetLayer(roadLayer(road, "Line").c_str(), "Line");
            drawFollowing(list, l.layer, l.relative, l.pen, l.style, l.width, f, head, true);
            going = !run.unitDone();
        }
        advance();
    }
    if (going) {
        if (exporting) {
            banks();
            alignmentDetails(*state().sink, road, show.pen);
        } else {
            centreLine(road, list, show.pen);
        }
        curveDetails(road, list, show.pen);
        advance();
    }
    if (exporting) dbfDispGraph(0, 0, nullptr);
    dbfDispStatus(nullptr, kStatusPop);
    viewRoadClose(f);
    return going;
}

// The file the roads layer draws road n from: the road work file when n is the current road and
// that file exists, else the road's project file.
std::string roadFile(int n, int current) {
    char path[MAX_PATH] = {};
    if (n == current) dbfWorkFileName(path, kWorkRoad);
    if (!path[0] || !coreFileExist(path)) dbfFileName(path, std::to_string(n).c_str(), kFileRoadSec);
    return path;
}

}  // namespace

void dbfPlotRoads(int& escape) {
    LayerRun run(escape, "Plotting roads (Esc to cancel)", false);
    if (!cad()) return;
    const int count = static_cast<int>(state().roads.size());
    int current = coreGetJobDefaultInt("Global", "RoadId", 1);
    if (current < 1 || current > count) {
        current = 1;
        coreSetJobDefaultInt("Global", "RoadId", 1);
    }
    for (int n = 1; n <= count; ++n) {
        if (!state().roads[static_cast<size_t>(n - 1)].shown) continue;
        const std::string path = roadFile(n, current);
        if (!coreFileExist(path.c_str())) continue;
        if (!plotRoad(n, path.c_str(), run)) return;
    }
}

int dbfDxfAlignmentEntities() {
    if (!dbfTerrainIsOpen() || !state().flags[kFlagRoads]) return 0;
    const int count = static_cast<int>(state().roads.size());
    int current = coreGetJobDefaultInt("Global", "RoadId", 1);
    if (current < 1 || current > count) current = 1;
    int total = 0;
    for (int n = 1; n <= count; ++n) {
        if (!state().roads[static_cast<size_t>(n - 1)].shown) continue;
        const std::string path = roadFile(n, current);
        SECHEAD head{};
        FILE* f = coreFileExist(path.c_str()) ? viewRoadOpenFile(path.c_str(), head) : nullptr;
        if (!f) continue;
        viewRoadClose(f);
        total += readAlignment(n).entities();
    }
    return total;
}

void dbfPlotBanks(int& escape) {
    LayerRun run(escape, "Plotting bank lines (Esc to cancel)", false);
    if (!cad()) return;
    const int count = static_cast<int>(state().roads.size());
    for (int n = 1; n <= count; ++n) {
        char path[MAX_PATH] = {}, key[32];
        dbfFileName(path, std::to_string(n).c_str(), kFileRoadSec);
        std::snprintf(key, sizeof key, "Road%d", n);
        const std::string range = jobText("RoadRange", key, "");
        if (!field(range, 2, 6) || !coreFileExist(path)) continue;
        SECHEAD head{};
        FILE* f = viewRoadOpenFile(path, head);
        if (!f) continue;
        cad()->gsSetLayer("Banks", "Bank");
        drawBanks(stations(f, head, fieldReal(range, 0.0, 3), fieldReal(range, 0.0, 4)), field(range, 2, 5), f, head);
        viewRoadClose(f);
        if (run.unitDone()) return;
    }
}

// ---------------------------------------------------------------------------------------------
// Pipe networks

namespace {

// The size label from the link's own fields: the reader's second size may be the link table's
// resolved size (an internal diameter), which is not the size the designer gave.
std::string sizeText(LinkRecord r, int (*fieldInt)(char* name)) {
    char size2[] = "SIZE2";
    r.size2 = fieldInt(size2);
    char text[64];
    if (r.barrels > 1 && r.size2 > 0)
        std::snprintf(text, sizeof text, "%d x %.0f x %.0f", r.barrels, static_cast<double>(r.size1), static_cast<double>(r.size2));
    else if (r.barrels > 1)
        std::snprintf(text, sizeof text, "%d x %.0f", r.barrels, static_cast<double>(r.size1));
    else if (r.size2 > 0)
        std::snprintf(text, sizeof text, "%.0f x %.0f", static_cast<double>(r.size1), static_cast<double>(r.size2));
    else
        std::snprintf(text, sizeof text, "%.0f", static_cast<double>(r.size1));
    return text;
}

struct PipeStyle {
    int nodeSym, nodeText, linkSym, linkText;
    int (*fieldInt)(char* name);   // the network's field reader, on the link just read
};

// Draws one network's links and nodes; false on Escape.
bool plotNetwork(const std::string& name, LinkReader reader, const PipeStyle& style, LayerRun& run) {
    CCadWindow* w = cad();
    w->gsSetLayer(("Z_PIPE_" + name).c_str(), "Pipe");
    const DisplayState& s = state();
    const float height = labelHeight(s.fontSize);
    LinkRecord r{};
    for (bool first = true; reader(nullptr, r, first, nullptr, nullptr); first = false) {
        // A record without a downstream node is the network's last node: no link leaves it.
        const bool link = r.downNode[0] != 0;
        if (link && style.linkSym) w->gsDisplayLine(r.upY, r.upX, r.downY, r.downX, style.linkSym, 0, 1.5);
        if (style.nodeSym) w->gsDisplayCircle(r.upY, r.upX, 1.0, style.nodeSym, 0);
        if (style.nodeText && r.upNode[0]) {
            w->gsDisplayText(r.upNode, r.upY, r.upX, style.nodeText, 7, 0, height, 0.0f);
            w->gsDisplayText(heightText(r.upInvert, s.labelDecimals).c_str(), r.upY, r.upX, style.nodeText, 1, 0, height, 0.0f);
        }
        if (link && style.linkText) {
            const double angle = std::atan2(r.downX - r.upX, r.downY - r.upY) * 1800.0 / 3.141592653589793;
            const double a = angle > 900.0 ? angle - 1800.0 : (angle < -900.0 ? angle + 1800.0 : angle);
            w->gsDisplayText(sizeText(r, style.fieldInt).c_str(), (r.upY + r.downY) / 2, (r.upX + r.downX) / 2, style.linkText, 2, 0,
                             height, static_cast<float>(a));
        }
        if (run.unitDone()) return false;
    }
    return true;
}

}  // namespace

void dbfPlotPipeDbs(int& escape) {
    LayerRun run(escape, "Plotting pipe networks (Esc to cancel)", false);
    if (!cad()) return;
    for (int i = 1; i <= 50; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "Line%d", i);
        const std::string name = jobText("PipeDatabase", key, "");
        if (name.empty()) continue;
        const std::string section = "PipeDatabase_" + name;
        if (coreGetJobDefaultInt(section.c_str(), "Show", 1) != 1) continue;
        PipeStyle style{coreGetJobDefaultInt(section.c_str(), "NodeSym", 4), coreGetJobDefaultInt(section.c_str(), "NodeText", 0),
                        coreGetJobDefaultInt(section.c_str(), "LinkSym", 5), coreGetJobDefaultInt(section.c_str(), "LinkText", 0),
                        nullptr};
        LinkReader reader = nullptr;
        if (strcasecmp(name.c_str(), "Sewer") == 0) {
            reader = static_cast<LinkReader>(dbfSewerGetRecord);
            style.fieldInt = dbfSewerGetFieldInt;
        }
        if (strcasecmp(name.c_str(), "Storm") == 0) {
            reader = static_cast<LinkReader>(dbfStormGetRecord);
            style.fieldInt = dbfStormGetFieldInt;
        }
        if (reader && !plotNetwork(name, reader, style, run)) return;
    }
}
