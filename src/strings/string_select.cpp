// The job's selected string, picking a string in the drawing window, making a string visible,
// highlighting it, and the cross-section taken from the strings that cross a section line.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "database/frame.h"
#include "database/road.h"
#include "database/section.h"
#include "frame/state.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "platform/tolerance.h"
#include "strings/strings_internal.h"

namespace {

constexpr const char* kSection = "TerrainStrings";
constexpr const char* kSelectedKey = "Selected";

std::string selectedFile() {
    char value[MAX_PATH] = {};
    coreGetJobDefault(kSection, kSelectedKey, "", value, MAX_PATH);
    return value;
}

void redrawStrings() {
    if (DBFSTATE& state = dbfState(); state.hooks.redrawStrings) state.hooks.redrawStrings();
}

// Calls visit(position, header) for every slot of the file until it returns false or a read fails.
template <typename Visit>
void eachSlot(FILE* stream, Visit visit) {
    STR_HEADER header;
    for (std::int64_t position = kStrFileHeaderBytes; position <= 0xFFFFFFFFll; position += kStrSlotBytes) {
        if (!strReadHeader(stream, position, header)) return;
        if (!visit(static_cast<DWORD>(position), header)) return;
    }
}

}  // namespace

int dbfGetSelectedString(char* name) {
    if (!name) return 0;
    name[0] = '\0';
    const std::string file = selectedFile();
    if (file.empty() || !coreFileExist(file.c_str())) return 0;
    STR_FILEHEADER fileHeader;
    FILE* stream = viewStringOpenFile(file.c_str(), fileHeader);
    if (!stream) return 0;
    eachSlot(stream, [&](DWORD, const STR_HEADER& header) {
        if (!header.selected || strNameIs(header.name, kStrDeletedName)) return true;
        strSetName(name, header.name);
        return false;
    });
    strCloseStream(stream);
    return *name ? 1 : 0;
}

void dbfStringClearSelection() {
    const std::string file = selectedFile();
    if (!file.empty() && coreFileExist(file.c_str())) {
        STR_FILEHEADER fileHeader;
        if (FILE* stream = viewStringOpenFile(file.c_str(), fileHeader)) {
            eachSlot(stream, [&](DWORD position, STR_HEADER& header) {
                if (!header.selected) return true;
                header.selected = 0;
                return strWriteHeader(stream, position, header) != 0;
            });
            strCloseStream(stream);
        }
    }
    coreSetJobDefault(kSection, kSelectedKey, "");
}

int dbfStringMakeSelection(const char* fileName, const char* stringName) {
    if (!fileName || !*fileName || !stringName || !*stringName) return 0;
    char selectedName[32];
    const bool already = dbfGetSelectedString(selectedName) && std::strcmp(selectedName, stringName) == 0 &&
                         selectedFile() == fileName;
    STR_FILEHEADER fileHeader;
    FILE* stream = viewStringOpenFile(fileName, fileHeader);
    if (!stream) return 0;
    dbfStringClearSelection();
    STR_HEADER header;
    if (!already && strFindHeader(stream, stringName, header)) {
        header.selected = 1;
        if (dbfAddStringHeader(header, stream, fileName)) coreSetJobDefault(kSection, kSelectedKey, fileName);
    }
    // The accessor must not outlive the stream it was attached to.
    dbfStringsClose();
    strCloseStream(stream);
    redrawStrings();
    return 1;
}

void dbfStringSelect() {
    char name[32] = {};
    char fileName[MAX_PATH] = {};
    int vertex = 0;
    double distance = 0.0;
    if (!dbfGetClosestString("Indicate near vertex to select/deselect string (Escape to cancel)", true, false, name,
                             fileName, vertex, distance))
        return;
    // A continuation section selects its string.
    if (char* dash = std::strchr(name, '-')) *dash = '\0';
    dbfStringMakeSelection(fileName, name);
}

int dbfGetWorkString(const char* prompt, char* name, char* fileName, int& vertexIndex, int ask) {
    if (!name || !fileName) return 0;
    vertexIndex = 0;
    bool obtained = false;
    char selected[32];
    if (dbfGetSelectedString(selected)) {
        bool use = true;
        if (ask) {
            const char* question = dbfFormatText("String '%s' is currently selected.\nContinue function using this string?",
                                                 selected);
            use = AfxMessageBox(dbfOwner(), question, "Continue?", MB_YESNO | MB_ICONQUESTION) == IDYES;
        }
        if (use) {
            strSetName(name, selected);
            coreStrncpy(fileName, selectedFile().c_str(), MAX_PATH);
            obtained = true;
        }
    }
    if (!obtained) {
        double distance = 0.0;
        obtained = dbfGetClosestString(prompt, true, false, name, fileName, vertexIndex, distance) != 0;
    }
    if (obtained) dbfSetStringVisible(fileName, name);
    return obtained ? 1 : 0;
}

void dbfSetStringVisible(const char* fileName, const char* stringName) {
    if (!fileName || !stringName) return;
    char fileString[32] = {};
    if (!dbfGetStringNameFromFileName(fileName, fileString)) return;
    const std::string section = std::string("StrLines_") + fileString;
    coreSetJobDefaultInt(section.c_str(), "Plot", 1);
    auto show = [&](const char* key) {
        char value[256] = {};
        coreGetJobDefault(section.c_str(), key, "", value, sizeof value);
        std::string text = coreTrimStr(value);
        if (text.size() < 2)
            text = "1,0,1,0,0.0,0.003";
        else
            text[0] = '1';
        coreSetJobDefault(section.c_str(), key, text.c_str());
    };
    show(stringName);
    if (std::strncmp(stringName, "CHG_", 4) == 0) show(fileString);
    coreFlushJobDefault();
}

// ---------------------------------------------------------------------------------------------
// Picking

namespace {

struct Pick {
    double x = 0.0;
    double y = 0.0;
    double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;   // the view
    bool any = false;
    double best = 0.0;
    STRING_CHOICE choice{};
};

void offer(Pick& pick, const char* name, const char* fileName, int vertex, double distance) {
    if (pick.any && !dblLess(distance, pick.best) && !dblEqual(distance, pick.best)) return;
    if (!pick.any || dblLess(distance, pick.best)) {
        pick.any = true;
        pick.best = distance;
        pick.choice.count = 0;
        pick.choice.tiesNotKept = 0;
    }
    if (pick.choice.count >= 10) {
        ++pick.choice.tiesNotKept;
        return;
    }
    STRING_CANDIDATE& c = pick.choice.candidates[pick.choice.count++];
    strSetName(c.name, name);
    coreStrncpy(c.fileName, fileName, MAX_PATH);
    c.vertexIndex = vertex;
    c.distance = distance;
}

// Whether the string's plot settings (first field) let it be drawn; a string without settings
// is drawn, as new entries are.
bool plotted(const std::string& section, const char* name) {
    char value[256] = {};
    coreGetJobDefault(section.c_str(), name, "1", value, sizeof value);
    return std::atoi(value) == 1;
}

// The index of the slot's first vertex within the whole string: each section before it holds 50.
int sectionStart(FILE* stream, const STR_HEADER& slot) {
    int start = 0;
    STR_HEADER header = slot;
    for (int steps = strSlotLimit(stream); *header.previousSection && steps > 0; --steps) {
        char previous[32];
        strSetName(previous, header.previousSection);
        if (!strFindHeader(stream, previous, header)) break;
        start += kStrSlotVertices;
    }
    return start;
}

void searchFile(Pick& pick, const char* fileName, const std::string& plotSection) {
    STR_FILEHEADER fileHeader;
    FILE* stream = viewStringOpenFile(fileName, fileHeader);
    if (!stream) return;
    eachSlot(stream, [&](DWORD position, const STR_HEADER& header) {
        if (strNameIs(header.name, kStrDeletedName) || strNameIs(header.name, "M_STRING")) return true;
        if (!plotted(plotSection, header.name)) return true;
        if (!tg_rect_intersect_2d(header.boxMinX, header.boxMinY, header.boxMaxX, header.boxMaxY, pick.minX,
                                  pick.minY, pick.maxX, pick.maxY))
            return true;
        UI_LIST list;
        if (!strReadData(stream, position, list, 1)) return false;
        int index = 0;
        int nearest = -1;
        double distance = 0.0;
        for (UI_ELEMENT* e = list.Head(); e; e = e->Next(), ++index) {
            const auto* v = static_cast<const CVertexEle*>(e);
            if (!v->active) continue;
            const double d = std::hypot(v->x - pick.x, v->y - pick.y);
            if (nearest < 0 || d < distance) {
                nearest = index;
                distance = d;
            }
        }
        if (nearest >= 0) offer(pick, header.name, fileName, sectionStart(stream, header) + nearest, distance);
        return true;
    });
    strCloseStream(stream);
}

void searchTerrainStrings(Pick& pick) {
    for (int n = 1; n <= kStrMaxFiles; ++n) {
        char key[16];
        std::snprintf(key, sizeof key, "StrName%d", n);
        char name[64] = {};
        coreGetJobDefault(kSection, key, "", name, sizeof name);
        if (!*name) continue;
        const std::string plotSection = std::string("StrLines_") + name;
        if (!coreGetJobDefaultInt(plotSection.c_str(), "Plot", 1)) continue;
        char copy[64];
        coreStrncpy(copy, name, sizeof copy);
        char fileName[MAX_PATH] = {};
        dbfTerrainStringsFileName(copy, fileName);
        if (coreFileExist(fileName)) searchFile(pick, fileName, plotSection);
    }
}

void searchRoadStrings(Pick& pick) {
    const int roads = std::max(1, dbfState().maxRoads);
    int current = coreGetJobDefaultInt("Global", "RoadId", 1);
    const int kept = std::clamp(current, 1, roads);
    if (kept != current) coreSetJobDefaultInt("Global", "RoadId", kept);
    current = kept;
    for (int n = 1; n <= roads; ++n) {
        char section[32];
        std::snprintf(section, sizeof section, "StrLines_Road%d", n);
        if (!coreGetJobDefaultInt(section, "Plot", 0)) continue;
        char fileName[MAX_PATH] = {};
        if (n == current) dbfFileName(fileName, "sbk", kFileRoad, 1);
        if (!*fileName || !coreFileExist(fileName)) {
            char roadText[16];
            std::snprintf(roadText, sizeof roadText, "%d", n);
            dbfFileName(fileName, roadText, kFileRoadStr);
        }
        if (coreFileExist(fileName)) searchFile(pick, fileName, section);
    }
}

}  // namespace

int dbfGetClosestString(const char* prompt, bool terrainStrings, bool roadStrings, char* name, char* fileName,
                        int& vertexIndex, double& distance) {
    if (!name || !fileName) return 0;
    CCadWindow* cad = dbfState().cadWindow;
    if (!cad) return 0;
    Pick pick;
    if (!cad->gsGetPointFromUser(prompt ? prompt : "", pick.y, pick.x)) return 0;
    if (!std::isfinite(pick.x) || !std::isfinite(pick.y)) return 0;
    double y1 = 0.0, x1 = 0.0, y2 = 0.0, x2 = 0.0;
    cad->gsGetZoomRect(y1, x1, y2, x2);
    pick.minX = std::min(x1, x2);
    pick.maxX = std::max(x1, x2);
    pick.minY = std::min(y1, y2);
    pick.maxY = std::max(y1, y2);
    if (terrainStrings) searchTerrainStrings(pick);
    if (roadStrings) searchRoadStrings(pick);
    if (pick.choice.count < 1) return 0;
    int chosen = 0;
    if (pick.choice.count > 1) {
        HostUi* ui = platformUiFor(dbfOwner());
        pick.choice.chosen = 0;
        if (!ui || ui->dialog("Multiple Strings", &pick.choice) != IDOK) return 0;
        chosen = std::clamp(pick.choice.chosen, 0, pick.choice.count - 1);
    }
    const STRING_CANDIDATE& c = pick.choice.candidates[chosen];
    strSetName(name, c.name);
    coreStrncpy(fileName, c.fileName, MAX_PATH);
    vertexIndex = c.vertexIndex;
    distance = c.distance;
    return 1;
}

void dbfHighlightString(FILE* stream, const char* name, int from, int to, int, long pen) {
    CCadWindow* cad = dbfState().cadWindow;
    FILE* file = strResolve(stream);
    if (!cad || !file || !name) return;
    const int usePen = pen != 0 ? static_cast<int>(pen) : dbfState().perimeterPen;
    STR_HEADER header;
    const DWORD position = strFindHeader(file, name, header);
    if (!position) return;
    UI_LIST list;
    strReadData(file, position, list, 0);
    const std::vector<CVertexEle*> vertices = strIndex(list);
    if (vertices.empty()) return;
    const bool whole = from == 0 && to == 0;
    const int last = static_cast<int>(vertices.size()) - 1;
    const int first = whole ? 0 : std::clamp(from, 0, last);
    const int end = whole ? last : std::clamp(to, 0, last);
    for (int i = first; i < end; ++i) {
        const CVertexEle& a = *vertices[static_cast<std::size_t>(i)];
        const CVertexEle& b = *vertices[static_cast<std::size_t>(i + 1)];
        cad->gsDisplayLine(a.y, a.x, b.y, b.x, usePen, 0, 0.0);
    }
    if (whole && last > 0 && dbfIsStringClosed(stream)) {
        const CVertexEle& a = *vertices.back();
        const CVertexEle& b = *vertices.front();
        cad->gsDisplayLine(a.y, a.x, b.y, b.x, usePen, 0, 0.0);
    }
}

// ---------------------------------------------------------------------------------------------
// The cross-section from strings

namespace {

struct SectionLine {
    PNT_3D_record centre;
    PNT_3D_record further;
};

// The crossing of the string with the section line: offset and level. False when none.
bool crossing(UI_LIST& list, double chainage, const SectionLine& line, double& offset, double& level) {
    int found = 0;
    int start = dbfBinarySearch(&list, chainage, found);
    if (start < 0) return false;
    if (start < 2) start = 1;
    auto* v = static_cast<CVertexEle*>(list.Get(start));
    if (v && !v->active) v = v->Next(false);
    const PNT_2D_record c{line.centre.x, line.centre.y};
    const PNT_2D_record f{line.further.x, line.further.y};
    for (; v; v = v->Next(false)) {
        const CVertexEle* p = v->Previous();
        if (!p || (v->isolated && v->Next(false))) continue;
        PNT_2D_record x{};
        bool hit = false;
        if (!v->isolated && !p->isolated) {
            hit = coreIntersectionLines(p->x, p->y, v->x, v->y, c.x, c.y, f.x, f.y, x.x, x.y) != 0;
        } else {
            PNT_2D_record foot;
            double side = 0.0;
            double t = 0.0;
            for (const CVertexEle* candidate : {p, static_cast<const CVertexEle*>(v)}) {
                if (dbfDistToLine(c, f, {candidate->x, candidate->y}, foot, side, t) < 0.1) {
                    x = {candidate->x, candidate->y};
                    hit = true;
                    break;
                }
            }
        }
        if (!hit) continue;
        double along = 0.0, whole = 0.0, bearing = 0.0;
        coreSurvJoin(p->y, p->x, x.y, x.x, along, bearing);
        coreSurvJoin(p->y, p->x, v->y, v->x, whole, bearing);
        level = dblIsZero(whole) ? p->z : p->z + (v->z - p->z) * along / whole;
        double toX = 0.0, bearingX = 0.0, toF = 0.0, bearingF = 0.0;
        coreSurvJoin(c.y, c.x, x.y, x.x, toX, bearingX);
        coreSurvJoin(c.y, c.x, f.y, f.x, toF, bearingF);
        offset = std::fabs(bearingX - bearingF) > 0.0001 ? -toX : toX;
        if (std::fabs(offset) < 1e-05) offset = 0.0;
        return true;
    }
    return false;
}

struct CrossWalk {
    FILE* stream;
    XSECTION* xs;
    double chainage;
    SectionLine line;
    const char* editedName;
    UI_LIST* editedList;
    int dual;   // the carriageways setting, carried along; the crossings do not depend on it
    std::vector<std::string> visited;
};

double memberCode(const CrossWalk& walk, const char* name) {
    if (walk.editedName && std::strcmp(name, walk.editedName) == 0) return 116;
    if (std::strcmp(name, "L_SHOULDER") == 0) return -100;
    if (std::strcmp(name, "R_SHOULDER") == 0) return 100;
    return 32;
}

void crossFamily(CrossWalk& walk, const char* name) {
    if (std::find(walk.visited.begin(), walk.visited.end(), name) != walk.visited.end()) return;
    walk.visited.emplace_back(name);
    STR_HEADER header;
    const DWORD position = dbfGetStringHeader(name, header, walk.stream);
    if (!position) return;
    if (std::strcmp(name, "M_STRING") != 0) {
        UI_LIST own;
        UI_LIST* list = &own;
        if (walk.editedList && walk.editedName && std::strcmp(name, walk.editedName) == 0)
            list = walk.editedList;
        else
            strReadSorted(strResolve(walk.stream), position, own);
        double offset = 0.0;
        double level = 0.0;
        if (crossing(*list, walk.chainage, walk.line, offset, level))
            dbfAddOffsetElevation(offset, level, memberCode(walk, name), 0, walk.xs);
    }
    for (const char* link : {header.firstChild, header.secondChild}) {
        if (!*link) continue;
        char child[32];
        strSetName(child, link);
        crossFamily(walk, child);
    }
}

bool finite(const PNT_3D_record& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

}  // namespace

void dbfCrossFromStrings(XSECTION* xs, double chainage, const char* name, const PNT_3D_record& centre,
                         const PNT_2D_record& direction, const PNT_3D_record& further, FILE* stream,
                         const char* editedName, UI_LIST* editedList) {
    if (!xs || !name || !*name) return;
    if (!std::isfinite(chainage) || !finite(centre) || !finite(further) || !std::isfinite(direction.x) ||
        !std::isfinite(direction.y)) {
        ErrorMessage(dbfFormatText("The cross-section at %g from string %s is not taken: a position is not a "
                                   "finite number",
                                   chainage, name),
                     dbfOwner());
        return;
    }
    CrossWalk walk{stream, xs, chainage, {centre, further}, editedName, editedList,
                   dbfGetRoadDefaultInt("Carriageways", "Dual", 0), {}};
    xs->chainage = chainage;
    char start[32];
    strSetName(start, name);
    crossFamily(walk, start);
}
