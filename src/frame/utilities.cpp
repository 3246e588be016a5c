// Small shared helpers: point names, text streams, axis names, the next point name, the
// difference of two directions and the interpolation of an elevation.
#include <cctype>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

#include "database/frame.h"
#include "frame/state.h"
#include "platform/core.h"
#include "platform/proj.h"

namespace {
constexpr int kNameChars = 16;      // point names hold at most 16 characters
constexpr int kLineChars = 4096;    // text lines read while skipping or searching
constexpr double kTwoPi = 2.0 * std::numbers::pi;
}  // namespace

void dbfNameCopy(char* destination, const char* source) {
    if (!destination) return;
    char name[kNameChars + 1];
    coreStrncpy(name, source ? source : "", sizeof name);
    coreTrimStr(name);
    std::strcpy(destination, name);
}

int dbfNameCmp(char* a, char* b) {
    if (!a || !b) return 0;
    coreTrimStr(a);
    coreTrimStr(b);
    return std::strcmp(a, b) == 0 ? 1 : 0;
}

void dbfSkipLines(int n, FILE* stream) {
    char line[kLineChars];
    for (int i = 0; i < n; ++i)
        if (!coreFileTxtRead(line, stream, sizeof line)) return;
}

int dbfSeekFlag(const char* text, FILE* stream) {
    if (!text || !coreFileSetPointer(0, 0, stream)) return 0;
    char line[kLineChars];
    while (coreFileTxtRead(line, stream, sizeof line))
        if (std::strstr(line, text)) return 1;
    return 0;
}

int dbfGetHemisphere() { return projGetHemisphere(); }

char* dbfAxisName(int axis) {
    DBFSTATE& s = dbfState();
    if (axis < 0 || axis > 2) return s.text;
    static const char* const north[3][2] = {{"NHAxis", "X Coord"}, {"NVAxis", "Y Coord"}, {"NZAxis", "Z Coord"}};
    static const char* const south[3][2] = {{"SHAxis", "Y Coord"}, {"SVAxis", "X Coord"}, {"SZAxis", "Z Coord"}};
    const auto& entry = dbfGetHemisphere() != 0 ? north[axis] : south[axis];
    coreGetDefault("Global", entry[0], entry[1], s.text, MAX_PATH);
    return s.text;
}

char* dbfShortAxisName(int axis) {
    DBFSTATE& s = dbfState();
    char labels[MAX_PATH];
    coreGetDefault("Global", dbfGetHemisphere() != 0 ? "NHAxisLabel" : "SHAxisLabel", "Y,X,Z", labels,
                   sizeof labels);
    coreGetField(labels, "", s.text, 10, axis + 1, ',');
    return s.text;
}

// ---------------------------------------------------------------------------------------------
// Next name, angle difference, interpolation

void dbfIncrString(char* name) {
    if (!name) return;
    const int length = static_cast<int>(strnlen(name, kNameChars));
    int first = 0;
    while (first < length && !std::isdigit(static_cast<unsigned char>(name[first]))) ++first;
    if (first == length) return;   // no digits: the name stays
    int end = first;
    std::int64_t number = 0;
    while (end < length && std::isdigit(static_cast<unsigned char>(name[end])))
        number = number * 10 + (name[end++] - '0');   // at most 16 digits: no overflow
    // Everything before the digit run is the prefix; whatever follows the run is dropped.
    char next[kNameChars + 32];
    std::snprintf(next, sizeof next, "%.*s%" PRId64, first, name, number + 1);
    coreStrncpy(name, next, kNameChars + 1);
}

namespace {
// Brings an angle into 0..2 pi, allowing the tolerance at both ends.
double normaliseAngle(double angle) {
    if (!std::isfinite(angle)) return angle;
    if (std::fabs(angle) > 4.0 * kTwoPi) angle = std::fmod(angle, kTwoPi);
    while (dblGreater(angle, kTwoPi)) angle -= kTwoPi;
    while (dblLess(angle, 0.0)) angle += kTwoPi;
    return angle;
}
}  // namespace

double dbfAngleSubtract(double a, double b) {
    a = normaliseAngle(a);
    b = normaliseAngle(b);
    const int qa = tg_quadrant_rad(a);
    const int qb = tg_quadrant_rad(b);
    if (qa > qb || (qa == qb && !dblLess(a, b))) return a - b;
    return kTwoPi - (b - a);
}

double dbfInterpolateEle(double e1, double e2, double length, double distance) {
    if (dblIsZero(length)) return e1;
    return e1 + (e2 - e1) * distance / length;
}
