// Road templates: the template list of the design settings file, reading template files, the
// cross-section of one pavement layer, the template hooks of the host, and the geometry of the
// road design (cross-section directions, transition spirals, vertical curves).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <string>

#include "database/frame.h"
#include "database/section.h"
#include "frame/state.h"
#include "platform/core.h"

namespace {

// The template list lives from its first use until dbfDestroyTemplList; the library state's
// reset (between tests) drops it too.
UI_LIST*& templateList() {
    static UI_LIST* list = nullptr;
    static const int registered = dbfRegisterStatePart([] {
        delete templateList();
        templateList() = nullptr;
    });
    (void)registered;
    return list;
}

void report(const char* format, const char* value) {
    std::snprintf(dbfState().text, kSharedTextBytes, format, value);
    ErrorMessage(dbfState().text, dbfOwner());
}

// The design settings file when the road has one on disk; null otherwise.
INI_LIST* existingDesFile() {
    INI_LIST* des = dbfGetDesFile();
    return des && des->HasFile() && coreFileExist(des->FileName()) ? des : nullptr;
}

// Walks the lines of the template index: after the "TemplateIndex" header up to a line that
// holds '[' or is empty. Comment lines (';') are passed over: a note in the index is no template.
template <typename Visit>
void walkTemplateIndex(INI_LIST* des, Visit visit) {
    INI_LINE* header = des->FindSection("TemplateIndex");
    if (!header) return;
    for (INI_LINE* line = header->Next(); line; line = line->Next()) {
        std::string text = line->TextString();
        char trimmed[1024];
        coreStrncpy(trimmed, text.c_str(), sizeof trimmed);
        coreTrimStr(trimmed);
        if (trimmed[0] == '\0' || std::strchr(trimmed, '[')) break;
        if (trimmed[0] == ';') continue;
        char name[kTemplateNameChars + 1];
        if (!coreGetField(trimmed, "", name, sizeof name, 3, ',')) coreGetField(trimmed, "", name, sizeof name, 1, ',');
        if (!visit(line, name)) break;
    }
}

bool isFiniteReal(double v) { return std::isfinite(v); }

// A relative reference stored in the 32-bit field of a layer works line.
int refValue(std::uint32_t stored) { return static_cast<std::int32_t>(stored); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// The template list

void dbfDestroyTemplList() {
    delete templateList();
    templateList() = nullptr;
}

void dbfInitTemplateList() {
    dbfDestroyTemplList();
    templateList() = new UI_LIST;
    INI_LIST* des = existingDesFile();
    if (!des) return;
    walkTemplateIndex(des, [des](INI_LINE* line, const char* name) {
        auto* entry = new CTemplEle;
        coreStrncpy(entry->name, name, sizeof entry->name);
        dbfExtractTemplatePath(des, line, entry->path);
        templateList()->Append(entry);
        return true;
    });
}

void dbfGetTemplName(int n, char* name) {
    if (!name) return;
    name[0] = '\0';
    if (!templateList()) dbfInitTemplateList();
    auto* entry = static_cast<CTemplEle*>(n >= 1 ? templateList()->Get(n - 1) : nullptr);
    if (entry) coreStrncpy(name, entry->name, kTemplateNameChars + 1);
}

short dbfGetTemplateIndex(CString name) {
    if (!templateList()) dbfInitTemplateList();
    short n = 1;
    for (UI_ELEMENT* e = templateList()->Head(); e; e = e->Next(), ++n)
        if (std::strcmp(static_cast<CTemplEle*>(e)->name, name.c_str()) == 0) return n;
    return 0;
}

void dbfExtractTemplatePath(INI_LIST* des, INI_LINE* line, char* path) {
    if (!path) return;
    path[0] = '\0';
    if (!des || !line) return;
    char text[1024];
    coreStrncpy(text, line->Text(), sizeof text);
    coreTrimStr(text);
    char field[MAX_PATH];
    coreGetField(text, "", field, sizeof field, 2, ',');
    if (des->SectionExists("TemplatePaths"))
        des->GetString("TemplatePaths", field, "", path, MAX_PATH);
    else
        coreStrncpy(path, field, MAX_PATH);
    coreTrimStr(path);
}

int dbfRoadLoadTemplate(CString name, TEMPLATE* tpl) {
    INI_LIST* des = existingDesFile();
    if (!des || !tpl) return 0;
    int result = 0;
    // A relative path is taken from the folder of the design settings file (the project's
    // folder), so a project can be moved with its templates.
    char folder[MAX_PATH];
    coreExtractFilePath(des->FileName(), folder);
    walkTemplateIndex(des, [&](INI_LINE* line, const char* entryName) {
        if (std::strcmp(entryName, name.c_str()) != 0) return true;
        char path[MAX_PATH];
        dbfExtractTemplatePath(des, line, path);
        std::string file = path;
        if (!file.empty() && file[0] != '/' && file[0] != '\\' && !(file.size() > 1 && file[1] == ':') &&
            !coreFileExist(file.c_str()))
            file = std::string(folder) + file;
        if (!file.empty() && coreFileExist(file.c_str())) {
            char buffer[MAX_PATH];
            coreStrncpy(buffer, file.c_str(), sizeof buffer);
            result = dbfRoadGrabTemplate(buffer, tpl);
            if (tpl->type == 0) tpl->type = 1;
        } else {
            report("Template %s does not exist", path);
        }
        return true;
    });
    return result;
}

// ---------------------------------------------------------------------------------------------
// Reading a template file

namespace {

constexpr const char* kErrorInFile = "Error in template file %s";

// Reads one section's "Line%d" keys; `take` parses one line (false: the line is refused as
// damaged) and returns through `damaged`. Returns the lines read.
template <typename Take>
std::uint32_t readLines(TINIFile& ini, const char* section, std::uint32_t& counter, bool oneWhenEmpty, bool& damaged,
                        Take take) {
    std::uint32_t read = 0;
    for (int key = 1; counter < kTemplateLines; ++key) {
        char name[32];
        std::snprintf(name, sizeof name, "Line%d", key);
        char value[512];
        ini.ReadString(section, name, "NULL", value, sizeof value);
        coreTrimStr(value);
        const bool missing = !ini.ValueExists(section, name);
        if (missing && !(key == 1 && oneWhenEmpty)) break;
        if (!missing && std::strlen(value) < 2) break;
        if (!take(counter, value)) {
            damaged = true;
            break;
        }
        ++counter;
        ++read;
        if (missing) break;
    }
    return read;
}

bool takeLine(TEMPLATE& tpl, std::uint32_t i, const char* text) {
    TEMPLATE_LINE& l = tpl.lines[i];
    l.value1 = coreGetFieldDouble(text, 0.0, 1, ',');
    l.value2 = coreGetFieldDouble(text, 0.0, 2, ',');
    l.value3 = static_cast<std::uint16_t>(coreGetFieldInt(text, 0, 3, ','));
    return isFiniteReal(l.value1) && isFiniteReal(l.value2);
}

bool takeAddition(TEMPLATE& tpl, std::uint32_t i, const char* text) {
    TEMPLATE_ADDITION& a = tpl.additions[i];
    double* values[] = {&a.value1, &a.value2, &a.value3, &a.value4, &a.value5, &a.value6};
    for (int f = 0; f < 6; ++f) {
        *values[f] = coreGetFieldDouble(text, f == 4 ? 999.0 : 0.0, f + 1, ',');
        if (!isFiniteReal(*values[f])) return false;
    }
    a.value7 = static_cast<std::uint16_t>(coreGetFieldInt(text, 0, 7, ','));
    a.value8 = static_cast<std::uint32_t>(coreGetFieldInt(text, 0, 8, ','));
    return true;
}

bool takeLayer(TEMPLATE& tpl, std::uint32_t i, const char* text) {
    TEMPLATE_LAYER& w = tpl.layerWorks[i];
    w.leftWidth = coreGetFieldDouble(text, 0.0, 1, ',');
    w.leftRef = static_cast<std::uint32_t>(coreGetFieldInt(text, 0, 2, ','));
    w.rightRef = static_cast<std::uint32_t>(coreGetFieldInt(text, 0, 3, ','));
    w.rightWidth = coreGetFieldDouble(text, 0.0, 4, ',');
    w.thickness = coreGetFieldDouble(text, 0.0, 5, ',');
    coreGetField(text, "", w.name, sizeof w.name, 6, ',');
    return isFiniteReal(w.leftWidth) && isFiniteReal(w.rightWidth) && isFiniteReal(w.thickness);
}

// Fills dims, typeValue and typeExtra from the fields of the Type line. Field numbers from 2.
bool readTypeLine(TEMPLATE& tpl, const char* text) {
    static const int single[] = {4, 0, 2, 5, 1, 3};                    // fields 2..7
    static const int dual[] = {4, 6, 8, 0, 2, 5, 9, 7, 1, 3};           // fields 2..11
    const bool isDual = tpl.type == 2;
    const int* map = isDual ? dual : single;
    const int reals = isDual ? 10 : 6;
    for (int f = 0; f < reals; ++f) {
        tpl.dims[map[f]] = coreGetFieldDouble(text, 0.0, f + 2, ',');
        if (!isFiniteReal(tpl.dims[map[f]])) return false;
    }
    const int intField = reals + 2;
    tpl.typeValue = coreGetFieldInt(text, 0, intField, ',');
    for (int e = 0; e < (isDual ? 4 : 2); ++e) tpl.typeExtra[e] = coreGetFieldInt(text, 0, intField + 1 + e, ',');
    return true;
}

}  // namespace

int dbfRoadGrabTemplate(char* path, TEMPLATE* tpl) {
    if (!tpl) return 0;
    std::memset(tpl, 0, sizeof *tpl);
    const char* name = path ? path : "";
    TINIFile ini(nullptr);
    ini.SetFile(name);
    if (!path || !coreFileExist(path) || ini.Load() != 1) {
        report(kErrorInFile, name);
        return 0;
    }
    if (ini.ReadInteger("TemplateType", "Version", 0) < 6) {
        tpl->type = 0;
        ErrorMessage("Template has invalid version number", dbfOwner());
        return 0;
    }
    char typeLine[512];
    ini.ReadString("TemplateType", "Type", "", typeLine, sizeof typeLine);
    coreTrimStr(typeLine);
    char kind[32];
    coreGetField(typeLine, "", kind, sizeof kind, 1, ',');
    if (CString(kind).CompareNoCase("single") == 0) tpl->type = 1;
    else if (CString(kind).CompareNoCase("dual") == 0) tpl->type = 2;
    // A value that is not a finite number is as damaged as an unknown kind of road.
    if (tpl->type == 0 || !readTypeLine(*tpl, typeLine)) {
        tpl->type = 0;
        report(kErrorInFile, name);
        return 0;
    }

    bool damaged = false;
    auto section = [&](const char* sectionName, TEMPLATE_PART& part, std::uint32_t& counter, bool oneWhenEmpty,
                       bool (*take)(TEMPLATE&, std::uint32_t, const char*)) {
        part.first = counter;
        part.count = readLines(ini, sectionName, counter, oneWhenEmpty, damaged,
                               [&](std::uint32_t i, const char* text) { return take(*tpl, i, text); });
    };
    std::uint32_t counter = 0;
    if (tpl->type == 2) {
        section("LowerMedian", tpl->lowerMedian, counter, true, takeLine);
        section("UpperMedian", tpl->upperMedian, counter, true, takeLine);
    }
    section("LeftCompulsory", tpl->leftCompulsory, counter, true, takeLine);
    section("RightCompulsory", tpl->rightCompulsory, counter, true, takeLine);
    counter = 0;
    section("LeftCutAdditions", tpl->leftCutAdditions, counter, true, takeAddition);
    section("LeftFillAdditions", tpl->leftFillAdditions, counter, true, takeAddition);
    section("RightCutAdditions", tpl->rightCutAdditions, counter, true, takeAddition);
    section("RightFillAdditions", tpl->rightFillAdditions, counter, true, takeAddition);
    counter = 0;
    section("LeftLayerWorks", tpl->leftLayerWorks, counter, false, takeLayer);
    section("RightLayerWorks", tpl->rightLayerWorks, counter, false, takeLayer);
    if (damaged) {
        report(kErrorInFile, name);
        return 0;
    }
    tpl->leftPaveNr = static_cast<std::uint16_t>(ini.ReadInteger("LeftLayerWorks", "PaveNr", -1));
    tpl->rightPaveNr = static_cast<std::uint16_t>(ini.ReadInteger("RightLayerWorks", "PaveNr", -1));
    ini.ReadString("LeftLayerWorks", "PaveFile", "", tpl->leftPaveFile, sizeof tpl->leftPaveFile);
    ini.ReadString("RightLayerWorks", "PaveFile", "", tpl->rightPaveFile, sizeof tpl->rightPaveFile);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// The cross-section of one layer works entry

namespace {

constexpr const char* kInvalidLayer = "Invalid layerworks parameters for chainage %.3lf";

void reportInvalidLayer(double chg) {
    std::snprintf(dbfState().text, kSharedTextBytes, kInvalidLayer, chg);
    ErrorMessage(dbfState().text, dbfOwner());
}

// Resolves a +-103/+-104 reference on the working section towards one side (-1 left, 1 right):
// the reference moves to the nearest marked point inside it and the side's width grows by the
// distance between the two.
void resolveReference(int& ref, int side, XSECTION& work, double& width, double& edge) {
    if (std::abs(ref) != 103 && std::abs(ref) != 104) return;
    const int p = dbfRelativePtno(ref, work);
    if (p == 0) {
        ref = (ref > 0 ? 1 : -1) * (std::abs(ref) == 103 ? 100 : 101);
        return;
    }
    const bool edgeGiven = !dblIsZero(edge);
    const double offP = work.points[p - 1].offset;
    double limit = edge;
    if (edgeGiven && std::fabs(offP) > std::fabs(edge)) limit = offP;
    int q = 0;
    for (int i = p - side; i >= 1 && i <= work.count; i -= side)
        if (work.points[i - 1].marker != 0) {
            q = i;
            break;
        }
    if (q == 0) return;
    const double grow = std::fabs(offP - work.points[q - 1].offset);
    width += side * grow;
    if (edgeGiven) width = side < 0 ? std::max(width, limit) : std::min(width, limit);
    ref = work.points[q - 1].marker;
    if (edgeGiven) edge = width;
}

// The grade of the segment from position `from` to `to` (rise over run outward is the caller's
// business); 9999.99 for a vertical segment and 0 when either position holds no point (a
// reference at the end of the section has no segment to continue).
double extensionGrade(const XSECTION& xs, int from, int to) {
    if (from < 1 || to < 1 || from > xs.count || to > xs.count) return 0.0;
    const SECTMEM& a = xs.points[from - 1];
    const SECTMEM& b = xs.points[to - 1];
    if (dblEqual(b.offset, a.offset)) return 9999.99;
    return (b.elevation - a.elevation) / (b.offset - a.offset);
}

}  // namespace

int dbfRoadCalcLayer(double chg, int layer, double depth, XSECTION& design, XSECTION& out, TEMPLATE& tpl,
                     double* edgeOffsets, double* edgeElevations, double leftEdge, double rightEdge) {
    out.count = 0;
    out.capacity = kSectionCapacity;
    out.chainage = design.chainage;
    if (layer < 0 || layer >= kTemplateLines || !isFiniteReal(depth) || !isFiniteReal(leftEdge) || !isFiniteReal(rightEdge)) {
        reportInvalidLayer(chg);
        return 0;
    }
    const TEMPLATE_LAYER& e = tpl.layerWorks[layer];
    XSECTION work = design;
    work.count = static_cast<std::int16_t>(std::clamp<int>(design.count, 0, kSectionCapacity));
    for (int i = 0; i < work.count; ++i) work.points[i].elevation -= depth;

    double left = !dblIsZero(leftEdge) ? leftEdge : -e.leftWidth;
    double right = !dblIsZero(rightEdge) ? rightEdge : e.rightWidth;
    int leftRef = refValue(e.leftRef);
    int rightRef = refValue(e.rightRef);
    resolveReference(leftRef, -1, work, left, leftEdge);
    resolveReference(rightRef, 1, work, right, rightEdge);

    const int a = dbfRelativePtno(leftRef, work);
    const int b = dbfRelativePtno(rightRef, work);
    if (a == 0 || b == 0 || a > b) {
        reportInvalidLayer(chg);
        return 0;
    }
    if (static_cast<std::uint32_t>(layer) == tpl.leftLayerWorks.first) {
        if (edgeOffsets) {
            edgeOffsets[0] = design.points[a - 1].offset;
            edgeOffsets[1] = design.points[b - 1].offset;
        }
        if (edgeElevations) {
            edgeElevations[0] = design.points[a - 1].elevation;
            edgeElevations[1] = design.points[b - 1].elevation;
        }
    }
    for (int i = a; i <= b; ++i)
        if (!dbfAddOffsetElevation(work.points[i - 1].offset, work.points[i - 1].elevation, 0.0, 0, &out)) return 0;

    const SECTMEM& pa = work.points[a - 1];
    const SECTMEM& pb = work.points[b - 1];
    if (!dblIsZero(left)) {
        const double g = extensionGrade(work, a, a + 1);
        const bool given = !dblIsZero(leftEdge);
        const double offset = given ? leftEdge : pa.offset + left;
        const double elevation = given ? pa.elevation - std::fabs(leftEdge - pa.offset) * g : pa.elevation + g * left;
        if (!dbfAddOffsetElevation(offset, elevation, 0.0, 0, &out)) return 0;
    }
    if (!dblIsZero(right)) {
        const double g = extensionGrade(work, b - 1, b);
        const bool given = !dblIsZero(rightEdge);
        const double offset = given ? rightEdge : pb.offset + right;
        const double elevation = given ? pb.elevation + std::fabs(rightEdge - pb.offset) * g : pb.elevation + g * right;
        if (!dbfAddOffsetElevation(offset, elevation, 0.0, 0, &out)) return 0;
    }

    const double h = e.thickness < 0.005 ? 0.00005 : 0.0005;
    const double t = e.thickness > 0.001 ? e.thickness : 0.001;
    const SECTMEM first = out.points[0];
    const SECTMEM last = out.points[out.count - 1];
    if (!dbfAddOffsetElevation(first.offset - h, first.elevation + t, 0.0, 0, &out)) return 0;
    if (!dbfAddOffsetElevation(last.offset + h, last.elevation + t, 0.0, 0, &out)) return 0;
    return 1;
}

void dbfGetPaveSymFileName(char* path, int len) {
    if (!path || len < 1) return;
    char folder[MAX_PATH];
    coreGetQZPath(folder, sizeof folder);
    const std::string full = std::string(folder) + "\\Symbols\\PAVEMENT SYMBOLS.DRG";
    coreStrncpy(path, full.c_str(), len);
}

// ---------------------------------------------------------------------------------------------
// Road geometry

double dbfCalcXSectAngle(CHGBASE chg, int noSkew) {
    constexpr double kPi = std::numbers::pi;
    double c = chg.chainage;
    const unsigned idx = dbfFindChainage(c, 0);
    if (idx == 0) return 0.0;
    CHGBASE here{};
    if (!dbfGrabChg(idx, &here)) return 0.0;
    CHGBASE next = here;
    double n = c;
    if (const unsigned nidx = dbfNextChainage(n, 0)) dbfGrabChg(nidx, &next);
    double back = c;
    dbfFindChainage(back, 0);
    CHGBASE prev = here;
    double p = back;
    if (const unsigned pidx = dbfPrevChainage(p, 0)) dbfGrabChg(pidx, &prev);
    else dbfFindChainage(back, 0);   // the start of the road: the cursor stays on the chainage

    double d1 = 0.0, a1 = 0.0, d2 = 0.0, a2 = 0.0;
    coreSurvJoin(prev.y, prev.x, here.y, here.x, d1, a1);
    coreSurvJoin(here.y, here.x, next.y, next.x, d2, a2);
    a1 += kPi / 2.0;
    a2 += kPi / 2.0;
    if (!noSkew && here.skew != 0) {
        a1 += here.skew * kPi / 180.0;
        a2 += here.skew * kPi / 180.0;
    }
    if (dblGreater(std::fabs(a2 - a1), 2.0 * kPi / 3.0)) {
        while (dblGreater(a1, 2.0 * kPi)) a1 -= 2.0 * kPi;
        while (dblGreater(a2, 2.0 * kPi)) a2 -= 2.0 * kPi;
    }
    if (d1 <= 1e-12) return a2;
    if (d2 <= 1e-12) return a1;
    return (a1 + a2) / 2.0;
}

void dbfQubicSpiraldata_half(double length, double theta, double& x, double& y) {
    const double t2 = theta * theta;
    x = length * (1.0 - t2 / 10.0 + t2 * t2 / 216.0 - t2 * t2 * t2 / 9360.0 + t2 * t2 * t2 * t2 / 685440.0);
    y = length * theta * (1.0 / 3.0 - t2 / 42.0 + t2 * t2 / 1320.0 - t2 * t2 * t2 / 75600.0 + t2 * t2 * t2 * t2 / 6894720.0);
}

void dbfQubicSpiraldata_all(double length, double theta, double& shift, double& k, double& x, double& y) {
    const double t2 = theta * theta;
    shift = length * theta * (1.0 / 12.0 - t2 / 336.0 + t2 * t2 / 15840.0 - t2 * t2 * t2 / 1209600.0);
    k = length * (0.5 - t2 / 60.0 + t2 * t2 / 2160.0 - t2 * t2 * t2 / 131040.0 + t2 * t2 * t2 * t2 / 12377920.0);
    dbfQubicSpiraldata_half(length, theta, x, y);
}

double dbfCalcI(double grade1, double grade2) {
    const double a1 = std::atan2(grade1, 100.0);
    const double a2 = std::atan2(grade2, 100.0);
    return grade1 - grade2 < -1e-12 ? dbfAngleSubtract(a2, a1) : dbfAngleSubtract(a1, a2);
}

double dbfCalcCurveLength(double grade1, double grade2, double k) { return dbfCalcI(grade1, grade2) * k; }

// ---------------------------------------------------------------------------------------------
// The template hooks: one call each. The hook is cleared after its call (the batter hook's name
// too, which the hook may still read during the call); the host registers it again before every
// use.

void dbfApplyStrTemplate(FILE* f, int apply) {
    DBFSTATE& s = dbfState();
    DbfStreamHook hook = apply ? s.applyTemHook : s.batterHook;
    if (!hook) return;
    hook(f);
    if (apply) {
        s.applyTemHook = nullptr;
    } else {
        s.batterHook = nullptr;
        s.batterText[0] = '\0';
    }
}

void dbfAddStrFeatures(FILE* f) {
    DBFSTATE& s = dbfState();
    DbfStreamHook hook = s.featuresHook;
    if (!hook) return;
    hook(f);
    s.featuresHook = nullptr;
}
