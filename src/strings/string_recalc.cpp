// Child strings recalculated from their parents, and the edits of a string by chainage: removing
// a range, rescaling, hiding and showing a range of the children.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "database/frame.h"
#include "database/section.h"
#include "frame/state.h"
#include "platform/core.h"
#include "platform/tolerance.h"
#include "strings/strings_internal.h"

void strReadSorted(FILE* stream, DWORD position, UI_LIST& list) {
    list.SetCompare(dbfStringCompareFunc);
    strReadData(stream, position, list, 0);
}

namespace {

// How a child vertex takes its level from the parent.
enum class LevelMode { Rise, Slope, RiseOverSlope };

// A child vertex with offset 9999 takes offset, rise and slope from its nearest set neighbours:
// interpolated by chainage between two, copied from one. False when it has none.
bool fillUnsetOffset(CVertexEle& v) {
    const CVertexEle* before = v.Previous();
    while (before && dbfOffsetNotSet(before->offset)) before = before->Previous();
    const CVertexEle* after = v.Next(false);
    while (after && dbfOffsetNotSet(after->offset)) after = after->Next(false);
    if (!before && !after) return false;
    if (before && after && !dblEqual(after->chainage, before->chainage)) {
        const double f = (v.chainage - before->chainage) / (after->chainage - before->chainage);
        v.offset = static_cast<float>(before->offset + (after->offset - before->offset) * f);
        v.rise = static_cast<float>(before->rise + (after->rise - before->rise) * f);
        v.slope = static_cast<float>(before->slope + (after->slope - before->slope) * f);
        return true;
    }
    const CVertexEle& from = before ? *before : *after;
    v.offset = from.offset;
    v.rise = from.rise;
    v.slope = from.slope;
    return true;
}

// The child vertices at one parent vertex P, from the one found at P's chainage.
void deriveAtParentVertex(const CVertexEle& p, CVertexEle* found, std::vector<double>& removed) {
    CVertexEle* start = found;
    for (CVertexEle* b = found->Previous(); b && dblEqual(b->vertexRef, p.chainage); b = b->Previous()) start = b;
    for (CVertexEle* c = start; c && dblEqual(c->vertexRef, p.chainage); c = c->Next(false)) {
        if (dbfOffsetNotSet(c->offset) && !fillUnsetOffset(*c)) return;
        LevelMode mode = LevelMode::Rise;
        double offset = c->offset;
        if (!dblIsZero(c->slope) && c->vertexKind != 'z') {
            if (!dblIsZero(c->rise)) {
                mode = LevelMode::RiseOverSlope;
                offset = c->rise * 100.0 / c->slope;
            } else {
                mode = LevelMode::Slope;
            }
        }
        const PNT_2D_record at = dbfOffsetCoord(p, c->chainage, offset, c->chainage, offset, c->vertexKind, c->skew, false);
        c->x = at.x;
        c->y = at.y;

        CVertexEle* before = c->Previous();
        const CVertexEle* parentBefore = p.Previous();
        // A vertical step puts two child vertices on one point: the segments then only touch at
        // that shared end, which is no loop (as in the loop removal).
        if (before && parentBefore && !tg_samepnt(before->x, before->y, c->x, c->y)) {
            double x = 0.0;
            double y = 0.0;
            if (coreIntersectionLines(p.x, p.y, c->x, c->y, parentBefore->x, parentBefore->y, before->x, before->y, x,
                                      y)) {
                c->active = 0;
                removed.push_back(c->chainage);
            } else if (strIsSpike(before->Previous(), before, c)) {
                before->active = 0;
                removed.push_back(before->chainage);
            }
        }
        c->z = mode == LevelMode::Slope ? p.z + std::fabs(offset) * c->slope / 100.0 : p.z + c->rise;
    }
}

// Calls visit(child position, child header, child's vertices in chainage order) for each child of
// the parent that the file holds.
template <typename Visit>
void forEachChild(FILE* file, const STR_HEADER& parent, Visit visit) {
    for (const char* link : {parent.firstChild, parent.secondChild}) {
        if (!*link) continue;
        char name[32];
        strSetName(name, link);
        STR_HEADER child;
        const DWORD childPosition = strFindHeader(file, name, child);
        if (!childPosition) continue;
        UI_LIST list;
        strReadSorted(file, childPosition, list);
        visit(childPosition, child, list);
    }
}

// Makes inactive the vertex at each chainage in the strings below the header (first child, then
// second, each before its own children), storing each changed string again.
void passRemovalDown(FILE* stream, const STR_HEADER& header, const std::vector<double>& chainages, int depth) {
    if (chainages.empty() || depth > strSlotLimit(stream)) return;
    forEachChild(stream, header, [&](DWORD position, const STR_HEADER& child, UI_LIST& list) {
        const std::vector<CVertexEle*> vertices = strIndex(list);
        bool changed = false;
        for (double c : chainages) {
            int found = 0;
            const int at = strSearch(vertices, c, found);
            if (!found) continue;
            vertices[static_cast<std::size_t>(at)]->active = 0;
            changed = true;
        }
        if (changed) dbfAddStringData(position, list, list.Count(), stream);
        passRemovalDown(stream, child, chainages, depth + 1);
    });
}

// Recalculates the named child from the parent at parentPosition. False when the child is missing.
bool recalcChild(FILE* stream, DWORD parentPosition, const char* childName, bool removeLoops) {
    STR_HEADER child;
    const DWORD childPosition = strFindHeader(stream, childName, child);
    if (!childPosition) return false;
    UI_LIST parentList;
    UI_LIST childList;
    strReadSorted(stream, parentPosition, parentList);
    strReadSorted(stream, childPosition, childList);
    std::vector<double> removed;
    strDeriveChild(parentList, childList, removed);
    passRemovalDown(stream, child, removed, 0);
    if (removeLoops) strRemoveLoops(childList);
    if (!dbfAddStringData(childPosition, childList, childList.Count(), stream)) return false;
    if (!strReadHeader(stream, childPosition, child)) return false;
    child.needsRecalc = 0;
    return strWriteHeader(stream, childPosition, child) != 0;
}

}  // namespace

void strDeriveChild(UI_LIST& parent, UI_LIST& child, std::vector<double>& removed) {
    const std::vector<CVertexEle*> vertices = strIndex(child);
    for (UI_ELEMENT* e = parent.Head(); e; e = e->Next()) {
        const auto* p = static_cast<const CVertexEle*>(e);
        if (!p->active) continue;
        int found = 0;
        const int at = strSearch(vertices, p->chainage, found);
        if (found) deriveAtParentVertex(*p, vertices[static_cast<std::size_t>(at)], removed);
    }
}

void dbfStringFromParent(STR_HEADER& parent, DWORD parentPosition, const char* childName) {
    (void)parent;   // the parent's vertices are read at its position
    FILE* stream = strResolve(nullptr);
    if (!stream || !childName || !*childName) return;
    dbfStringAccessor(nullptr, "");
    recalcChild(stream, parentPosition, childName, false);
}

namespace {

// The top string's vertices follow the breaks of its child: a batter drawn from the top string
// must not join across a gap of the string below it. A top string vertex at the chainage of an
// isolated child vertex becomes isolated too.
void adjustTopString(FILE* stream, const STR_HEADER& top, DWORD topPosition) {
    const char* link = *top.firstChild ? top.firstChild : top.secondChild;
    if (!*link) return;
    char name[32];
    strSetName(name, link);
    STR_HEADER child;
    const DWORD childPosition = strFindHeader(stream, name, child);
    if (!childPosition) return;
    UI_LIST topList;
    UI_LIST childList;
    strReadSorted(stream, topPosition, topList);
    strReadSorted(stream, childPosition, childList);
    const std::vector<CVertexEle*> vertices = strIndex(topList);
    bool changed = false;
    for (UI_ELEMENT* e = childList.Head(); e; e = e->Next()) {
        const auto* c = static_cast<const CVertexEle*>(e);
        if (!c->active || !c->isolated) continue;
        int found = 0;
        const int at = strSearch(vertices, c->chainage, found);
        if (!found || vertices[static_cast<std::size_t>(at)]->isolated) continue;
        vertices[static_cast<std::size_t>(at)]->isolated = 1;
        changed = true;
    }
    if (changed) dbfAddStringData(topPosition, topList, topList.Count(), stream);
}

struct TreeWalk {
    FILE* stream;
    bool removeLoops;
    std::vector<std::string> path;   // the strings from the top down to the current one
    bool loopReported = false;
};

bool onPath(const TreeWalk& walk, const char* name) {
    for (const std::string& s : walk.path)
        if (s == name) return true;
    return false;
}

void reportLoop(TreeWalk& walk, const char* parent, const char* child) {
    if (walk.loopReported) return;
    walk.loopReported = true;
    const std::string fileName = strStreamName(walk.stream);
    ErrorMessage(dbfFormatText("The strings file %s links its strings in a loop: %s names %s, which comes before it\n"
                               "The strings below %s are not recalculated",
                               fileName.c_str(), parent, child, parent),
                 dbfOwner());
}

void recalcTree(TreeWalk& walk, const char* name, bool templates) {
    if (templates && std::strcmp(name, "L_SHOULDER") == 0) dbfApplyStrTemplate(walk.stream, 1);
    STR_HEADER header;
    DBFSTATE& state = dbfState();
    if (*state.batterText && std::strcmp(name, state.batterText) == 0) {
        const DWORD top = strFindHeader(walk.stream, name, header);
        if (top) adjustTopString(walk.stream, header, top);
        dbfApplyStrTemplate(walk.stream, 0);
        state.batterText[0] = '\0';
    }
    const DWORD position = strFindHeader(walk.stream, name, header);
    if (!position || (!*header.firstChild && !*header.secondChild)) return;

    walk.path.emplace_back(name);
    std::vector<std::string> children;
    for (const char* link : {header.firstChild, header.secondChild}) {
        if (!*link) continue;
        char child[32];
        strSetName(child, link);
        if (onPath(walk, child)) {
            reportLoop(walk, name, child);
            continue;
        }
        if (recalcChild(walk.stream, position, child, walk.removeLoops)) children.emplace_back(child);
    }
    for (const std::string& child : children) recalcTree(walk, child.c_str(), true);
    walk.path.pop_back();
}

}  // namespace

void dbfRecalcStrings(const char* name, int, FILE* stream, int addFeatures, int removeLoops) {
    FILE* file = strResolve(stream);
    if (!file || !name || !*name) return;
    dbfStringAccessor(stream, "");
    dbfDispStatus("Recalculating strings ... please wait", kStatusResetBusy);
    TreeWalk walk{file, removeLoops != 0, {}};
    char top[32];
    strSetName(top, name);
    recalcTree(walk, top, false);
    dbfDispStatus(nullptr, kStatusClear);
    if (addFeatures) dbfAddStrFeatures(stream);
}

const char* dbfTopStringName() { return dbfState().batterText; }

// ---------------------------------------------------------------------------------------------
// Edits by chainage

int dbfRemoveRangeVertices(char* name, FILE* stream, const char* fileName, double from, double to) {
    if (!name) return 0;
    FILE* file = strResolve(stream);
    dbfStringAccessor(stream, fileName);   // the store below writes through it
    STR_HEADER header;
    const DWORD position = file ? strFindHeader(file, name, header) : 0;
    name[0] = '\0';
    if (!position || !std::isfinite(from) || !std::isfinite(to)) return 0;
    UI_LIST list;
    strReadSorted(file, position, list);
    int removed = 0;
    for (UI_ELEMENT* e = list.Head(); e;) {
        UI_ELEMENT* next = e->Next();
        const double c = static_cast<CVertexEle*>(e)->chainage;
        if (dblGreater(c, from) && dblLess(c, to)) {
            list.Delete(e);
            ++removed;
        }
        e = next;
    }
    if (removed) dbfAddStringData(position, list, list.Count(), stream);
    strSetName(name, header.firstChild);
    return removed ? 1 : 0;
}

void dbfRescaleString(const char* name, const char* fileName, const PNT_3D_record& factors, int shift) {
    if (!name || !fileName) return;
    if (!std::isfinite(factors.x) || !std::isfinite(factors.y) || !std::isfinite(factors.z)) {
        ErrorMessage(dbfFormatText("String %s of %s is not rescaled: a factor is not a finite number", name, fileName),
                     dbfOwner());
        return;
    }
    STR_FILEHEADER fileHeader;
    FILE* file = viewStringOpenFile(fileName, fileHeader);
    if (!file) return;
    dbfStringAccessor(file, fileName);
    STR_HEADER header;
    if (const DWORD position = strFindHeader(file, name, header)) {
        UI_LIST list;
        strReadSorted(file, position, list);
        for (UI_ELEMENT* e = list.Head(); e; e = e->Next()) {
            auto* v = static_cast<CVertexEle*>(e);
            if (shift) {
                v->x += factors.x;
                v->y += factors.y;
                v->z += factors.z;
            } else {
                v->x *= factors.x;
                v->y *= factors.y;
                v->z *= factors.z;
            }
        }
        // Storing the data writes the header again through the add, which recomputes its box.
        dbfAddStringData(position, list, list.Count(), file);
    }
    // The accessor must not outlive the stream it is attached to.
    dbfStringsClose();
    strCloseStream(file);
}

void dbfHideString(DWORD position, double from, double to, FILE* stream, int road, int a, int b) {
    if (!(from <= to)) return;   // NaN too
    FILE* file = strResolve(stream);
    STR_HEADER parent;
    if (!file || !strReadHeader(file, position, parent)) return;
    if (!*parent.firstChild && !*parent.secondChild) return;
    char roadText[16];
    std::snprintf(roadText, sizeof roadText, "%d", road);
    char desName[MAX_PATH] = {};
    dbfFileName(desName, roadText, kFileRoadDes);
    if (!*desName || !coreFileExist(desName)) return;
    // The current road's design file is kept open in the library's state: the range goes through
    // that copy, so that it neither misses the change nor writes an older copy over it later.
    char current[MAX_PATH] = {};
    dbfFileName(current, "des", kFileRoad);
    INI_LIST own;
    INI_LIST* settings = &own;
    if (std::strcmp(current, desName) == 0)
        settings = dbfGetDesFile();
    else
        own.SetFile(desName);
    const int side = parent.name[0] == 'L' ? -1 : 1;
    char key[32];
    std::snprintf(key, sizeof key, "Range%d", a * b);
    forEachChild(file, parent, [&](DWORD, const STR_HEADER&, UI_LIST& list) {
        int found = 0;
        const int at = dbfBinarySearch(&list, from, found);
        if (!found) return;
        auto* v = static_cast<CVertexEle*>(list.Get(at));
        double rangeFrom = v->chainage;
        double rangeTo = to;
        for (; v; v = v->Next(false))
            if (!dblLess(v->chainage, to)) {
                rangeTo = v->chainage;
                break;
            }
        char value[96];
        std::snprintf(value, sizeof value, "%.3f,%.3f,%d", rangeFrom, rangeTo, side);
        settings->SetString("InterGaps", key, value);
    });
    if (!settings->Save())
        ErrorMessage(dbfFormatText("Unable to write the hidden range to %s", desName), dbfOwner());
    if (DBFSTATE& state = dbfState(); state.hooks.redrawStrings) state.hooks.redrawStrings();
}

namespace {

void showInChildren(FILE* stream, DWORD position, double chainage, int depth) {
    STR_HEADER parent;
    if (depth > strSlotLimit(stream) || !strReadHeader(stream, position, parent)) return;
    forEachChild(stream, parent, [&](DWORD childPosition, const STR_HEADER&, UI_LIST& list) {
        int found = 0;
        const int at = dbfBinarySearch(&list, chainage, found);
        if (found) {
            CVertexEle* v = static_cast<CVertexEle*>(list.Get(at));
            while (v && v->vertexKind == 'x') v = v->Previous();
            // Past the start: the run begins at the first vertex.
            CVertexEle* run = v ? v->Next(false) : static_cast<CVertexEle*>(list.Head());
            if (run && !run->active) run = run->Next(false);
            for (; run && run->vertexKind == 'x'; run = run->Next(false)) run->vertexKind = ' ';
            dbfAddStringData(childPosition, list, list.Count(), stream);
        }
        showInChildren(stream, childPosition, chainage, depth + 1);
    });
}

}  // namespace

void dbfShowString(DWORD position, double chainage, FILE* stream) {
    FILE* file = strResolve(stream);
    if (!file || !std::isfinite(chainage)) return;
    dbfStringAccessor(stream, "");
    showInChildren(file, position, chainage, 0);
    if (DBFSTATE& state = dbfState(); state.hooks.redrawStrings) state.hooks.redrawStrings();
}
