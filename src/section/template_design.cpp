// Designing a road cross-section from a template against the natural ground: the median and the
// compulsory part from the centre line, then on each side the additions of cut or of fill and a
// batter down or up to the natural ground. What the template's values mean here is written in
// docs/templates.md.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "database/frame.h"
#include "database/section.h"
#include "frame/state.h"
#include "platform/core.h"

namespace {

constexpr double kDefaultBatter = 2.0;    // run per unit of height when the template gives none
constexpr double kNoBatter = 999.0;       // an addition's value5 that leaves the batter alone

void report(const char* format, double chg) {
    std::snprintf(dbfState().text, kSharedTextBytes, format, chg);
    ErrorMessage(dbfState().text, dbfOwner());
}

// A template marker value (100, 101, 103, 104) on the given side; other values mark nothing.
signed char sideMarker(int value, int side) {
    return value == 100 || value == 101 || value == 103 || value == 104 ? static_cast<signed char>(side * value) : 0;
}

// The natural ground as seen from a point of the design walking outward on one side: distance
// outward t >= 0 and elevation, the first entry at t = 0 under the start point.
struct Profile {
    std::vector<double> t, z;
};

// The natural elevation at an offset: interpolated on the section, the end segments continued
// beyond its ends (the ground is taken to go on as it ends).
double groundAt(const XSECTION& ground, double offset) {
    const int n = ground.count;
    if (n == 1) return ground.points[0].elevation;
    int seg = 0;
    if (offset <= ground.points[0].offset) seg = 0;
    else if (offset >= ground.points[n - 1].offset) seg = n - 2;
    else
        while (seg < n - 2 && ground.points[seg + 1].offset < offset) ++seg;
    const SECTMEM& a = ground.points[seg];
    const SECTMEM& b = ground.points[seg + 1];
    if (dblEqual(a.offset, b.offset)) return offset <= a.offset ? a.elevation : b.elevation;
    return a.elevation + (b.elevation - a.elevation) * (offset - a.offset) / (b.offset - a.offset);
}

Profile outwardProfile(const XSECTION& ground, double start, int side) {
    Profile p;
    p.t.push_back(0.0);
    p.z.push_back(groundAt(ground, start));
    for (int k = 0; k < ground.count; ++k) {
        const int i = side > 0 ? k : ground.count - 1 - k;
        const double t = side * (ground.points[i].offset - start);
        if (t > p.t.back()) {
            p.t.push_back(t);
            p.z.push_back(ground.points[i].elevation);
        }
    }
    return p;
}

// Where the batter z0 + slope * t meets the ground: the first change of sign of ground - batter,
// found exactly on its segment (the last segment continued beyond the ground's end). false when
// the batter never meets the ground.
bool daylight(const Profile& p, double z0, double slope, double& tHit) {
    auto diff = [&](std::size_t i) { return p.z[i] - (z0 + slope * p.t[i]); };
    const double d0 = diff(0);
    if (std::fabs(d0) <= 1e-12) {
        tHit = 0.0;
        return true;
    }
    for (std::size_t i = 1; i < p.t.size(); ++i) {
        const double d = diff(i);
        if ((d0 > 0) != (d > 0) || d == 0.0) {
            const double da = diff(i - 1);
            tHit = p.t[i - 1] + da * (p.t[i] - p.t[i - 1]) / (da - d);
            return true;
        }
    }
    // Beyond the ground's end: its last grade continues (a single point is flat ground).
    const std::size_t last = p.t.size() - 1;
    const double grade = last > 0 ? (p.z[last] - p.z[last - 1]) / (p.t[last] - p.t[last - 1]) : 0.0;
    const double dLast = diff(last);
    const double closing = grade - slope;   // d/dt of ground - batter
    if (closing == 0.0 || (dLast > 0) == (closing > 0)) return false;
    tHit = p.t[last] - dLast / closing;
    return true;
}

struct SidePoint {
    double offset, elevation;
    signed char marker;
};

// Builds one side outward from the centre; returns the cut (+1) or fill (-1) decision, 0 when the
// batter does not reach the natural ground (the side then ends at its last template point).
int designSide(TEMPLATE& tpl, const XSECTION& ground, double z0, int side, std::vector<SidePoint>& pts) {
    double o = 0.0, z = z0;
    auto line = [&](const TEMPLATE_LINE& l) {
        o += side * std::fabs(l.value1);
        z += std::fabs(l.value1) * l.value2 / 100.0;
        pts.push_back({o, z, sideMarker(l.value3, side)});
    };
    if (tpl.type == 2) {
        const TEMPLATE_PART& median = side < 0 ? tpl.lowerMedian : tpl.upperMedian;
        for (std::uint32_t i = 0; i < median.count && median.first + i < kTemplateLines; ++i) line(tpl.lines[median.first + i]);
    }
    const TEMPLATE_PART& compulsory = side < 0 ? tpl.leftCompulsory : tpl.rightCompulsory;
    for (std::uint32_t i = 0; i < compulsory.count && compulsory.first + i < kTemplateLines; ++i)
        line(tpl.lines[compulsory.first + i]);
    // The edge of the compulsory part is the side's 100 point unless a line marked another one.
    if (!pts.empty() && pts.back().marker == 0) pts.back().marker = static_cast<signed char>(side * 100);

    const bool cut = groundAt(ground, o) > z + 1e-12;
    const TEMPLATE_PART& adds = side < 0 ? (cut ? tpl.leftCutAdditions : tpl.leftFillAdditions)
                                         : (cut ? tpl.rightCutAdditions : tpl.rightFillAdditions);
    double batter = cut ? tpl.dims[0] : tpl.dims[2];
    if (!(batter > 0.0)) batter = kDefaultBatter;
    for (std::uint32_t i = 0; i < adds.count && adds.first + i < kTemplateLines; ++i) {
        const TEMPLATE_ADDITION& a = tpl.additions[adds.first + i];
        if (a.value1 == 0.0 && a.value2 == 0.0) continue;   // the entry of an empty section
        o += side * std::fabs(a.value1);
        z += std::fabs(a.value1) * a.value2 / 100.0;
        pts.push_back({o, z, sideMarker(a.value7, side)});
        if (a.value5 != kNoBatter && a.value5 > 0.0) batter = a.value5;
    }

    const double slope = (cut ? 1.0 : -1.0) / batter;
    double t = 0.0;
    if (!daylight(outwardProfile(ground, o, side), z, slope, t)) return 0;
    if (t > 1e-9) pts.push_back({o + side * t, z + slope * t, static_cast<signed char>(side * 101)});
    else if (pts.back().marker == side * 100) pts.back().marker = static_cast<signed char>(side * 101);
    return cut ? 1 : -1;
}

}  // namespace

int dbfRoadDesignSection(double chg, double centreElevation, TEMPLATE& tpl, XSECTION& natural, XSECTION& design,
                         int* cutFill) {
    design.count = 0;
    design.capacity = kSectionCapacity;
    design.chainage = dbfRoundChg(chg);
    if (tpl.type != 1 && tpl.type != 2) {
        report("No valid template for chainage %.3lf", chg);
        return 0;
    }
    if (!std::isfinite(centreElevation)) {
        report("The centre line level at chainage %.3lf is not a finite number", chg);
        return 0;
    }
    XSECTION ground = natural;
    ground.count = static_cast<std::int16_t>(std::clamp<int>(natural.count, 0, kSectionCapacity));
    if (ground.count < 1) {
        report("No natural ground at chainage %.3lf", chg);
        return 0;
    }
    dbfSortSect(&ground);

    std::vector<SidePoint> left, right;
    const int leftKind = designSide(tpl, ground, centreElevation, -1, left);
    const int rightKind = designSide(tpl, ground, centreElevation, 1, right);
    if (cutFill) {
        cutFill[0] = leftKind;
        cutFill[1] = rightKind;
    }
    if (left.size() + right.size() + 1 > static_cast<std::size_t>(kSectionCapacity)) {
        report("The template makes more than 200 points at chainage %.3lf", chg);
        return 0;
    }
    // Written in place: points of the same offset (a kerb face) keep their outward order.
    auto put = [&](const SidePoint& p) {
        design.points[design.count] = SECTMEM{p.offset, p.elevation, static_cast<double>(design.count + 1), p.marker};
        ++design.count;
    };
    for (auto it = left.rbegin(); it != left.rend(); ++it) put(*it);
    put({0.0, centreElevation, 0});
    for (const SidePoint& p : right) put(p);
    return 1;
}
