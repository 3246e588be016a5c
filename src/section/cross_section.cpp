// Editing and reading in-memory cross-sections, and the triplet of a chainage.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "database/frame.h"
#include "database/section.h"
#include "frame/state.h"
#include "platform/core.h"

namespace {

constexpr const char* kFullMessage = "Section is at maximum capacity\nUnable to add new points";

// The points in use, whatever a damaged or uninitialised count says.
int pointsIn(const XSECTION& xs) { return std::clamp<int>(xs.count, 0, kSectionCapacity); }

void reportFull() {
    std::snprintf(dbfState().text, kSharedTextBytes, "%s", kFullMessage);
    ErrorMessage(dbfState().text, dbfOwner());
}

// Point at a 1-based position.
SECTMEM& at(XSECTION& xs, int pos) { return xs.points[pos - 1]; }

// The grade (rise over run) of the segment from point `from` to point `to`; 0 when either
// position holds no point.
double segmentGrade(XSECTION& xs, int from, int to) {
    const int count = pointsIn(xs);
    if (from < 1 || to < 1 || from > count || to > count) return 0.0;
    const SECTMEM& a = at(xs, from);
    const SECTMEM& b = at(xs, to);
    return (b.elevation - a.elevation) / ((b.offset - a.offset) + 1e-21);
}

// The reference grade of a side in percent (for the 777.0 step height).
double referenceGrade(XSECTION& xs, int side) {
    const int count = pointsIn(xs);
    int marked = 0, neighbour = 0;
    if (side > 0) {
        for (int i = 1; i <= count && !marked; ++i)
            if (at(xs, i).marker == 100) marked = i;
        for (int i = 1; i <= count && !marked; ++i)
            if (at(xs, i).marker == -101) marked = i;
        neighbour = marked - 1;
    } else {
        for (int i = count; i >= 2 && !marked; --i)
            if (at(xs, i).marker == -100) marked = i;
        for (int i = count; i >= 2 && !marked; --i)
            if (at(xs, i).marker == 101) marked = i;
        if (!marked) marked = 1;
        neighbour = marked + 1;
    }
    // Without a marked point on the right, or with the marked point first on the right, there is
    // no segment to take a grade from: the grade is 0 (the step keeps its base height).
    if (marked < 1 || neighbour < 1 || neighbour > count) return 0.0;
    const SECTMEM& m = at(xs, marked);
    const SECTMEM& n = at(xs, neighbour);
    const double run = std::fabs(m.offset - n.offset);
    if (!(run > 1e-12)) return 999.99;
    return (m.elevation - n.elevation) / run * 100.0;
}

// The height of one relative step: the step's own height, or one taken from a grade.
double stepHeight(const SECTMEM& item, double continuedGrade, double referencePercent) {
    if (dblEqual(item.elevation, kStepContinueGrade)) return item.offset * continuedGrade;
    if (dblEqual(item.elevation, kStepReferenceGrade)) return referencePercent / 100.0 * item.offset;
    return item.elevation;
}

}  // namespace

int dbfAddOffsetElevation(double offset, double elevation, double idNo, char marker, XSECTION* xs) {
    if (!xs) return 0;
    xs->capacity = kSectionCapacity;
    const int count = pointsIn(*xs);
    xs->count = static_cast<std::int16_t>(count);
    if (count >= kSectionCapacity) {
        reportFull();
        return 0;
    }
    SECTMEM item{offset, elevation, idNo, static_cast<signed char>(marker)};
    int pos = count + 1;
    if (count > 0 && dblLess(offset, at(*xs, 1).offset)) {
        pos = 1;
    } else {
        for (int i = 1; i < count; ++i) {
            if (!dblLess(offset, at(*xs, i).offset) && dblLess(offset, at(*xs, i + 1).offset)) {
                pos = i + 1;
                break;
            }
        }
    }
    if (pos <= count) return dbfInsertOffsetElevation(pos, 1, &item, xs, 0);
    at(*xs, pos) = item;
    xs->count = static_cast<std::int16_t>(count + 1);
    return 1;
}

// The two cases without a neighbouring segment (an 888.0 step to the right of point 1, or to the
// left of the last point) use grade 0, as does a 777.0 step on the right when no point carries
// marker 100 or -101: the step then keeps the height of its base point.
int dbfInsertOffsetElevation(int pos, int n, SECTMEM* items, XSECTION* xs, int mode) {
    if (!xs || !items || n < 1) return 0;
    xs->capacity = kSectionCapacity;
    const int count = pointsIn(*xs);
    xs->count = static_cast<std::int16_t>(count);
    if (mode != 0 && count < 2) return 0;
    // A relative step needs its base point; an absolute insertion may also append.
    if (pos < 1 || pos > (mode != 0 ? count : count + 1)) return 0;
    if (count + n >= kSectionCapacity) {
        reportFull();
        return 0;
    }
    const double reference = mode != 0 ? referenceGrade(*xs, mode) : 0.0;

    std::memmove(&xs->points[pos - 1 + n], &xs->points[pos - 1], sizeof(SECTMEM) * (count - pos + 1));
    xs->count = static_cast<std::int16_t>(count + n);

    for (int k = 1; k <= n; ++k) {
        const SECTMEM& item = items[k - 1];
        if (mode == 0) {
            at(*xs, pos + k - 1) = item;
        } else if (mode > 0) {
            const int base = pos + k - 1;
            // Before the base point: the point before the old base point, or the previous step.
            const double grade = base > 1 ? segmentGrade(*xs, base - 1, base) : 0.0;
            const SECTMEM& b = at(*xs, base);
            at(*xs, base + 1) = SECTMEM{b.offset + item.offset,
                                        b.elevation + stepHeight(item, grade, reference),
                                        item.idNo, item.marker};
        } else {
            const int base = pos + n - k + 1;
            // Beyond the base point on the right; for the old base point that is the point that
            // followed it, now at base + 1.
            const int after = base + 1 <= count + n ? base + 1 : 0;
            const double grade = after ? -segmentGrade(*xs, base, after) : 0.0;
            const SECTMEM& b = at(*xs, base);
            at(*xs, base - 1) = SECTMEM{b.offset - item.offset,
                                        b.elevation + stepHeight(item, grade, reference),
                                        item.idNo, item.marker};
        }
    }
    return 1;
}

void dbfDeleteOffsetElevation(int from, int to, XSECTION* xs, int tail) {
    if (!xs) return;
    const int count = pointsIn(*xs);
    from = std::max(from, 1);
    to = std::min(to, count);
    if (to < from) return;
    const int removed = to - from + 1;
    if (tail < 1)
        std::memmove(&xs->points[from - 1], &xs->points[to], sizeof(SECTMEM) * (count - to));
    xs->count = static_cast<std::int16_t>(count - removed);
}

void dbfRemoveOffsetElevation(double offset, XSECTION* xs, int side) {
    if (!xs || side == 0) return;
    const int count = pointsIn(*xs);
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        const double o = xs->points[i].offset;
        const bool remove = side > 0 ? dblGreater(o, offset) : dblLess(o, offset);
        if (!remove) xs->points[kept++] = xs->points[i];
    }
    xs->count = static_cast<std::int16_t>(kept);
}

// Each cut adds its point (through the add, so at the cut's place after any point already on
// it, and refused with the capacity message while the section is full) before the points beyond
// the cut are removed. A point already on the cut therefore stays, with the cut point after it.
void dbfChopSect(double left, double right, XSECTION* xs) {
    if (!xs) return;
    const int count = pointsIn(*xs);
    if (count == 0) return;
    bool anyInside = false;
    for (int i = 1; i <= count && !anyInside; ++i)
        anyInside = dblGreaterEqual(at(*xs, i).offset, left) && dblLessEqual(at(*xs, i).offset, right);
    if (!anyInside) {
        xs->count = 0;
        return;
    }
    if (dblGreater(at(*xs, pointsIn(*xs)).offset, right)) {
        if (const int seg = dbfSectTrav(right, xs)) {
            dbfAddOffsetElevation(right, dbfInterpElevation(right, seg, xs), 0.0, 0, xs);
            dbfRemoveOffsetElevation(right, xs, 1);
        }
    }
    if (dblLess(at(*xs, 1).offset, left)) {
        if (const int seg = dbfSectTrav(left, xs)) {
            dbfAddOffsetElevation(left, dbfInterpElevation(left, seg, xs), 0.0, 0, xs);
            dbfRemoveOffsetElevation(left, xs, -1);
        }
    }
}

void dbfSortSect(XSECTION* xs) {
    if (!xs) return;
    const int count = pointsIn(*xs);
    int gap = 1;
    while (gap * 2 + 1 < count) gap = gap * 2 + 1;
    for (; gap >= 1; gap /= 2) {
        for (int i = gap; i < count; ++i) {
            const SECTMEM moving = xs->points[i];
            int j = i;
            while (j >= gap && dblLess(moving.offset, xs->points[j - gap].offset)) {
                xs->points[j] = xs->points[j - gap];
                j -= gap;
            }
            xs->points[j] = moving;
        }
    }
}

int dbfSectTrav(double offset, XSECTION* xs) {
    if (!xs) return 0;
    const int count = pointsIn(*xs);
    if (count < 2) return 0;
    for (int i = 1; i < count; ++i)
        if (!dblLess(offset, at(*xs, i).offset) && dblLess(offset, at(*xs, i + 1).offset)) return i;
    return dblEqual(offset, at(*xs, count).offset) ? count - 1 : 0;
}

double dbfInterpElevation(double offset, int seg, XSECTION* xs) {
    if (!xs || seg < 1 || seg >= pointsIn(*xs)) return 0.0;
    const SECTMEM& a = at(*xs, seg);
    const SECTMEM& b = at(*xs, seg + 1);
    // A nearly vertical segment (a kerb face) has no usable slope: take its middle height.
    if (dblLessEqual(std::fabs(a.offset - b.offset), 0.0001)) return (a.elevation + b.elevation) / 2.0;
    return a.elevation - (a.elevation - b.elevation) * (a.offset - offset) / (a.offset - b.offset + 1e-21);
}

int dbfSectElevation(double offset, XSECTION* xs, double& elevation) {
    elevation = 0.0;
    if (!xs) return 0;
    const int count = pointsIn(*xs);
    for (int i = 1; i <= count; ++i) {
        const SECTMEM& p = at(*xs, i);
        if (dblLess(std::fabs(p.offset - offset), 0.0005)) {
            elevation = p.elevation;
            return 1;
        }
        if (i > 1) {
            const SECTMEM& q = at(*xs, i - 1);
            if (dblLess(q.offset, offset) && dblLess(offset, p.offset)) {
                elevation = q.elevation + (p.elevation - q.elevation) * (offset - q.offset) / (p.offset - q.offset + 1e-21);
                return 1;
            }
        }
    }
    return 0;
}

double dbfInterpSecElevation(double chg, double offset, short layer) {
    double found = chg;
    if (dbfFindChainage(found, 0) == 0) return 0.0;
    XSECTION xs{};
    const short pure = static_cast<short>(layer < 0 ? -layer : layer);
    if (!dbfGrabSect(found, pure, &xs)) return 0.0;
    if (layer < 0) {
        if (!(std::fabs(offset) < 2147483647.0)) return 0.0;
        const int r = static_cast<int>(offset);
        if (r != 102 && r != -102) {
            const int pos = dbfRelativePtno(r, xs);
            return pos ? xs.points[pos - 1].elevation : 0.0;
        }
        const int side = offset > 1e-12 ? 1 : -1;
        const int a = dbfRelativePtno(side * 100, xs);
        const int b = dbfRelativePtno(side * 101, xs);
        if (!a || !b) return 0.0;
        offset = (xs.points[a - 1].offset + xs.points[b - 1].offset) / 2.0;
    }
    const int count = pointsIn(xs);
    if (count == 0) return 0.0;
    if (count == 1) return dblEqual(offset, xs.points[0].offset) ? xs.points[0].elevation : 0.0;
    const int seg = dbfSectTrav(offset, &xs);
    if (seg) return dbfInterpElevation(offset, seg, &xs);
    const SECTMEM& last = xs.points[count - 1];
    return dblLessEqual(std::fabs(offset - last.offset), 0.0001) ? last.elevation : 0.0;
}

void dbfSectLimits(_bsRECT& box, XSECTION& xs) {
    box = bsRectForLimits();
    const int count = pointsIn(xs);
    for (int i = 0; i < count; ++i) {
        const SECTMEM& p = xs.points[i];
        box.left = std::min(box.left, p.offset);
        box.right = std::max(box.right, p.offset);
        box.top = std::max(box.top, p.elevation);
        box.bottom = std::min(box.bottom, p.elevation);
    }
}

int dbfRelativeIDno(int id, XSECTION& xs) {
    const int count = pointsIn(xs);
    for (int i = 0; i < count; ++i) {
        const double v = xs.points[i].idNo;
        if (std::fabs(v) < 2147483647.0 && static_cast<int>(v) == id) return i + 1;
    }
    return 0;
}

int dbfRelativePtno(int r, XSECTION& xs) {
    const int count = pointsIn(xs);
    int pos = 0;
    if (r >= -99 && r <= -51) {
        pos = r + 100;
    } else if (r >= 51 && r <= 99) {
        pos = count - (99 - r);
    } else if (r >= -50 && r <= 50) {
        const int c = dbfSectTrav(0.0, &xs);
        if (c == 0) return 0;
        if (dblIsZero(at(xs, c).offset)) {
            pos = c + r;
        } else {
            if (r == 0) return 0;
            pos = r < 0 ? c + r + 1 : c + r;
        }
    } else if (r == 100 || r == -100 || r == 101 || r == -101 || r == 103 || r == -103 ||
               r == 104 || r == -104) {
        for (int i = 0; i < count; ++i)
            if (xs.points[i].marker == r) return i + 1;
        return 0;
    }
    return pos >= 1 && pos <= count ? pos : 0;
}

int dbfTriplet(CHGBASE& chg, double (*table)[5]) {
    if (!table) return 0;
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c) table[r][c] = 0.0;
    table[1][2] = chg.y;
    table[1][3] = chg.x;

    // The nearest ordinary chainage in one direction (curve points are passed over); a chain
    // that loops back on itself in a damaged file ends the walk.
    auto neighbour = [](DWORD idx, bool forward, double* row) {
        std::unordered_set<DWORD> seen;
        CHGBASE rec{};
        while (idx != 0 && seen.insert(idx).second) {
            if (!dbfGrabChg(idx, &rec)) return false;
            if (rec.kind == kChgOrdinary || rec.kind == kChgOrdinary2) {
                if (dblIsZero(rec.x) && dblIsZero(rec.y)) return false;
                row[2] = rec.y;
                row[3] = rec.x;
                return true;
            }
            idx = forward ? rec.next : rec.prev;
        }
        return false;
    };
    const bool before = neighbour(chg.prev, false, table[0]);
    const bool after = neighbour(chg.next, true, table[2]);
    if (!before && !after) {
        std::snprintf(dbfState().text, kSharedTextBytes, "No connections for %.lf", chg.chainage);
        ErrorMessage(dbfState().text, dbfOwner());
        return 0;
    }
    for (int c = 2; c <= 3; ++c) {
        if (!after) table[2][c] = 2.0 * table[1][c] - table[0][c];
        if (!before) table[0][c] = 2.0 * table[1][c] - table[2][c];
    }
    return 1;
}
