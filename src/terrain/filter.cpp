// The point filter: by surface, name patterns, height and position inside or outside a fence;
// its place in the job settings, its reset, the filter sheet and the sheet's summary texts.
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>

#include "database/frame.h"
#include "platform/core.h"
#include "terrain/terrain_state.h"

namespace {

constexpr int kPatternChars = 17;    // one pattern field, terminator included
constexpr int kPatterns = 5;
constexpr char kUnused[] = "--";

// One pattern of the block as a terminated text (a damaged record may leave it unterminated).
void patternAt(const char* patterns, int index, char (&out)[kPatternChars]) {
    std::memcpy(out, patterns + index * kPatternChars, kPatternChars);
    out[kPatternChars - 1] = 0;
}

bool isKeyword(const char* pattern, const char* keyword) { return strcasecmp(pattern, keyword) == 0; }

bool matchesAny(const char* patterns, int first, const char* name) {
    const int length = static_cast<int>(std::strlen(name));
    char pattern[kPatternChars];
    for (int i = first; i < first + kPatterns; ++i) {
        patternAt(patterns, i, pattern);
        if (coreMatching(pattern, name, length)) return true;
    }
    return false;
}

void setPattern(char (&field)[kPatternChars], const char* text) { coreStrncpy(field, text, kPatternChars); }

void resetNames(NAMEFILT& f) {
    for (int i = 0; i < kPatterns; ++i) {
        setPattern(f.include[i], kUnused);
        setPattern(f.exclude[i], kUnused);
    }
    setPattern(f.include[0], "ALL");
    setPattern(f.exclude[0], "NONE");
}

// A pattern as saved: commas would split the setting's fields, so they are dropped.
std::string withoutCommas(const char (&field)[kPatternChars]) {
    std::string out;
    for (int i = 0; i < kPatternChars && field[i]; ++i)
        if (field[i] != ',') out += field[i];
    return out;
}

std::string joinedPatterns(const char (&fields)[kPatterns][kPatternChars]) {
    std::string out;
    for (const auto& field : fields) {
        char pattern[kPatternChars];
        coreStrncpy(pattern, field, kPatternChars);
        if (!pattern[0] || std::strcmp(pattern, kUnused) == 0) continue;
        if (!out.empty()) out += ", ";
        out += pattern;
    }
    return out;
}

std::string formatted(const char* format, double a, double b = 0.0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

int dbfNameFilter(char* name, const char* patterns) {
    if (!name || !patterns) return 0;
    char first[kPatternChars];
    patternAt(patterns, 0, first);
    if (!first[0] || isKeyword(first, "NONE")) return 0;
    coreTrimStr(name);
    if (!isKeyword(first, "ALL") && !matchesAny(patterns, 0, name)) return 0;
    char firstExclude[kPatternChars];
    patternAt(patterns, kPatterns, firstExclude);
    if (isKeyword(firstExclude, "NONE")) return 1;
    return matchesAny(patterns, kPatterns, name) ? 0 : 1;
}

int dbfPassesFilter(const SURVCOORD* point, const NAMEFILT* filter) {
    if (!point || !filter) return 1;
    if (!dbfCheckSurface(point->surface, filter->surface)) return 0;

    char name[sizeof point->name];
    std::memcpy(name, point->name, sizeof name);
    name[sizeof name - 1] = 0;
    if (!dbfNameFilter(name, filter->include[0])) return 0;

    const double z = point->z;
    const double lower = filter->lowerHeight, upper = filter->upperHeight;
    switch (filter->heightMode) {
        case kHeightAbove:
            if (!dblGreaterEqual(z, lower)) return 0;
            break;
        case kHeightBelow:
            if (!dblLessEqual(z, upper)) return 0;
            break;
        case kHeightBetween:
            if (!dblGreaterEqual(z, lower) || !dblLessEqual(z, upper)) return 0;
            break;
        default:
            break;
    }

    if (filter->fenceOn) {
        const std::vector<PNT_2D_record>& fence = terrainState().fence;
        if (fence.size() <= 2) return 0;
        const int inside = dbfPointInPoly(PNT_2D_record{point->x, point->y}, fence);
        return (filter->outside ? !inside : inside) ? 1 : 0;
    }
    return 1;
}

void dbfResetFilter(NAMEFILT& filter) {
    filter = NAMEFILT{};
    resetNames(filter);
    filter.surface = kSurfaceAny;
}

void dbfSurfaceFilter(NAMEFILT& filter, WORD surface) {
    dbfResetFilter(filter);
    filter.surface = surface;
}

namespace {

// Whether field `index` (from 1) of a comma list was written at all, blank or not.
bool fieldWritten(const char* text, int index) {
    if (!*text) return false;
    int fields = 1;
    for (const char* c = text; *c; ++c) fields += *c == ',' ? 1 : 0;
    return index <= fields;
}

// A pattern field: the default only when the field is missing; a field that was written blank
// (a saved empty pattern, which passes nothing as the first include) stays blank.
void readPattern(const char* value, const char* def, char* pattern, int index) {
    if (!coreGetField(value, def, pattern, kPatternChars, index, ',') && fieldWritten(value, index)) pattern[0] = '\0';
}

}  // namespace

void dbfLoadNameFilter(NAMEFILT* filter) {
    if (!filter) return;
    NAMEFILT& f = *filter;
    char value[512];
    coreGetJobDefault("Terrain", "NameFilt", "", value, sizeof value);
    for (int i = 0; i < kPatterns; ++i) {
        readPattern(value, i == 0 ? "ALL" : kUnused, f.include[i], i + 1);
        readPattern(value, i == 0 ? "NONE" : kUnused, f.exclude[i], kPatterns + i + 1);
    }
    f.surface = static_cast<WORD>(coreGetFieldInt(value, 1, 11, ','));
    bool excludesUnused = true;
    for (const auto& pattern : f.exclude)
        if (std::strncmp(pattern, kUnused, 2) != 0) excludesUnused = false;
    if (excludesUnused) setPattern(f.exclude[0], "NONE");

    coreGetJobDefault("Terrain", "AddFilt", "", value, sizeof value);
    f.heightMode = static_cast<std::int16_t>(coreGetFieldInt(value, 0, 1, ','));
    f.lowerHeight = coreGetFieldDouble(value, 0.0, 2, ',');
    f.upperHeight = coreGetFieldDouble(value, 0.0, 3, ',');
    f.fenceOn = coreGetFieldInt(value, 0, 4, ',') != 0 ? 1 : 0;
    f.outside = coreGetFieldInt(value, 0, 5, ',') != 0 ? 1 : 0;
    coreGetField(value, "", f.fenceName, sizeof f.fenceName, 6, ',');

    std::vector<PNT_2D_record>& fence = terrainState().fence;
    if (dbfGrabFence(f.fenceName, fence) < 3) f.fenceOn = 0;
}

void dbfSaveNameFilter(NAMEFILT* filter) {
    if (!filter) return;
    const NAMEFILT& f = *filter;
    std::string names;
    for (const auto& pattern : f.include) names += withoutCommas(pattern) + ",";
    for (const auto& pattern : f.exclude) names += withoutCommas(pattern) + ",";
    names += std::to_string(f.surface);
    coreSetJobDefault("Terrain", "NameFilt", names.c_str());

    char fenceName[sizeof f.fenceName];
    coreStrncpy(fenceName, f.fenceName, sizeof fenceName);
    char value[256];
    std::snprintf(value, sizeof value, "%d,%.3f,%.3f,%d,%d,%s", f.heightMode, f.lowerHeight, f.upperHeight,
                  f.fenceOn ? 1 : 0, f.outside ? 1 : 0, fenceName);
    coreSetJobDefault("Terrain", "AddFilt", value);
    coreFlushJobDefault();
}

std::vector<std::string> dbfFilterSummary(const NAMEFILT& f) {
    std::vector<std::string> lines;
    std::string names = "Pass: " + joinedPatterns(f.include);
    char firstExclude[kPatternChars];
    coreStrncpy(firstExclude, f.exclude[0], kPatternChars);
    if (!isKeyword(firstExclude, "NONE")) names += "; Fail: " + joinedPatterns(f.exclude);
    lines.push_back(names);

    if (f.surface & kSurfaceAny)
        lines.emplace_back("All selected surfaces pass.");
    else
        lines.push_back(std::string("Pass: ") + dbfSurfaceName(static_cast<WORD>(f.surface & 0xFF)));

    switch (f.heightMode) {
        case kHeightAbove: lines.push_back(formatted("Heights above %.3f pass.", f.lowerHeight)); break;
        case kHeightBelow: lines.push_back(formatted("Heights below %.3f pass.", f.upperHeight)); break;
        case kHeightBetween:
            lines.push_back(formatted("Heights between %.3f and %.3f pass.", f.lowerHeight, f.upperHeight));
            break;
        default: lines.emplace_back("All heights pass."); break;
    }

    if (f.fenceOn) {
        char fenceName[sizeof f.fenceName];
        coreStrncpy(fenceName, f.fenceName, sizeof fenceName);
        char text[200];
        std::snprintf(text, sizeof text, "Positions %s fence '%s' pass.", f.outside ? "outside" : "inside", fenceName);
        lines.emplace_back(text);
    } else {
        lines.emplace_back("All positions pass.");
    }
    return lines;
}

int dbfFilterDetails(NAMEFILT* filter, unsigned resetParts, CWnd* parent) {
    if (!filter) return 0;
    NAMEFILT& f = *filter;
    dbfLoadNameFilter(&f);
    if (resetParts & kFilterNames) resetNames(f);
    if (resetParts & kFilterSurface) f.surface = kSurfaceAny;
    if (resetParts & kFilterHeights) f.heightMode = kHeightAll;
    if (resetParts & kFilterPosition) f.fenceOn = 0;

    FILTERSHEET sheet{f, ~resetParts & (kFilterNames | kFilterSurface | kFilterHeights | kFilterPosition)};
    HostUi* ui = platformUiFor(parent ? parent : dbfOwner());
    if (!ui || ui->dialog("Filter", &sheet) != IDOK) return 0;
    f = sheet.filter;
    dbfSaveNameFilter(&f);
    // The pass test works with the fence of the filter as edited.
    dbfGrabFence(f.fenceName, terrainState().fence);
    return 1;
}

const NAMEFILT* effectiveFilter(NAMEFILT* filter, int& useFilter) {
    if (filter) return filter;
    useFilter = 0;
    auto display = terrainHooks().displayFilter;
    if (!display) return nullptr;
    int on = 0;
    const NAMEFILT* shown = display(on);
    useFilter = shown && on ? 1 : 0;
    return shown;
}
