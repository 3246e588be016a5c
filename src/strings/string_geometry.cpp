// String geometry: the search of a vertex list by chainage, the offset point, the side of a
// string, the distance to a segment, the crossing of two strings and the child list update.
#include <cmath>
#include <limits>

#include "platform/core.h"
#include "platform/tolerance.h"
#include "strings/strings_internal.h"

bool dbfOffsetNotSet(double offset) { return dblEqual(offset, kStrNotSet); }

std::vector<CVertexEle*> strIndex(UI_LIST& list) {
    std::vector<CVertexEle*> vertices;
    vertices.reserve(static_cast<std::size_t>(list.Count()));
    for (UI_ELEMENT* e = list.Head(); e; e = e->Next()) vertices.push_back(static_cast<CVertexEle*>(e));
    return vertices;
}

namespace {

// Chainages are matched at millimetre precision: 10.0004 finds 10.000.
double millimetres(double chainage) { return std::floor(chainage * 1000.0) / 1000.0; }

// The search over any indexable sequence: at(i) gives element i of count.
template <typename At>
int searchBy(int count, At at, double chainage, int& found) {
    found = 0;
    // A key that is no number would compare "equal" to every chainage.
    if (count < 2 || !std::isfinite(chainage)) return -1;
    const double key = millimetres(chainage);
    auto chainageOf = [&](int i) { return millimetres(at(i)->chainage); };
    auto nextActive = [&](int i) {
        for (++i; i < count; ++i)
            if (at(i)->active) return i;
        return -1;
    };
    auto previousActive = [&](int i) {
        for (--i; i >= 0; --i)
            if (at(i)->active) return i;
        return -1;
    };

    const int last = count - 1;
    if (dblGreater(key, chainageOf(last))) return last;
    if (dblEqual(key, chainageOf(last)) && at(last)->active) {
        found = 1;
        return last;
    }
    if (dblLess(key, chainageOf(0))) return 0;
    if (dblEqual(key, chainageOf(0)) && at(0)->active) {
        found = 1;
        return 0;
    }

    int lo = 0;
    int hi = last;
    int candidate = -1;
    while (candidate < 0 && lo < hi - 1) {
        const int mid = (lo + hi) / 2;
        const double m = chainageOf(mid);
        if (dblEqual(key, m)) {
            candidate = mid;
        } else if (dblGreater(key, m)) {
            const int n = nextActive(mid);
            if (n < 0 || !dblGreater(key, chainageOf(n)))
                candidate = n < 0 ? mid : n;
            else
                lo = mid;
        } else {
            const int p = previousActive(mid);
            if (p < 0 || !dblLess(key, chainageOf(p)))
                candidate = p < 0 ? mid : p;
            else
                hi = mid;
        }
    }
    // The bisection ran out: the key lies between element lo and element hi.
    if (candidate < 0) candidate = lo;
    const double c = chainageOf(candidate);
    if (dblEqual(key, c) && at(candidate)->active) {
        found = 1;
        return candidate;
    }
    if (!dblGreater(key, c)) return candidate;
    const int n = nextActive(candidate);
    return n < 0 ? candidate : n;
}

// Directions as the spike test and the offset take them: in [0, 2 pi).
double direction(double dy, double dx) {
    double angle = coreGetAngle(dy, dx);
    if (angle < -1e-12) angle += CORE_TWO_PI;
    return angle;
}

PNT_2D_record point(const CVertexEle& v) { return {v.x, v.y}; }

bool samePoint(const CVertexEle& a, const CVertexEle& b) { return tg_samepnt(a.x, a.y, b.x, b.y) != 0; }

CVertexEle* firstActive(UI_LIST& list) {
    auto* v = static_cast<CVertexEle*>(list.Head());
    return v && !v->active ? v->Next(false) : v;
}

}  // namespace

int strSearch(const std::vector<CVertexEle*>& vertices, double chainage, int& found) {
    return searchBy(static_cast<int>(vertices.size()), [&](int i) { return vertices[static_cast<std::size_t>(i)]; },
                    chainage, found);
}

int dbfBinarySearch(UI_LIST* list, double chainage, int& found) {
    found = 0;
    if (!list) return -1;
    return searchBy(list->Count(), [&](int i) { return static_cast<CVertexEle*>(list->Get(i)); }, chainage, found);
}

PNT_2D_record dbfOffsetCoord(const CVertexEle& v, double chainageA, double offsetA, double chainageB, double offsetB,
                             char vertexKind, double skew, bool noMitre) {
    const bool sameChainage = std::fabs(chainageB - chainageA) <= 1e-12;
    double d = sameChainage ? offsetA
                            : offsetA + (offsetB - offsetA) * (v.chainage - chainageA) / (chainageB - chainageA);

    const CVertexEle* next = v.Next(false);
    const CVertexEle* previous = v.Previous();
    const double forward = next && !next->isolated ? direction(next->y - v.y, next->x - v.x) : 0.0;
    double backward = forward;
    if (previous && !(v.isolated && next)) backward = direction(v.y - previous->y, v.x - previous->x);

    double along;
    if (next && !next->isolated && !v.isolated) {
        double aN = forward;
        double aP = backward;
        // Bisect the smaller angle: bring the two directions within pi of each other.
        if (dblGreater(std::fabs(aN - aP), CORE_PI)) {
            if (aN <= CORE_PI)
                aP -= CORE_TWO_PI;
            else
                aN -= CORE_TWO_PI;
        }
        along = (aP + aN) / 2.0 - CORE_HALF_PI;
    } else {
        along = backward - CORE_HALF_PI;
    }
    // At a corner the offset is measured square to both legs: the mitre lengthens it.
    if (!noMitre && sameChainage && vertexKind != 'z' && !(next && next->isolated) && !v.isolated)
        d = coreDoubleDivide(d, std::sin(std::fabs(backward - along)));

    const double angle = along + skew;
    return {v.x + std::sin(angle) * d, v.y + std::cos(angle) * d};
}

double dbfDistToLine(const PNT_2D_record& a, const PNT_2D_record& b, const PNT_2D_record& p, PNT_2D_record& foot,
                     double& side, double& t) {
    if (tg_samepnt(a.x, a.y, b.x, b.y)) {
        foot = a;
        side = 0.0;
        t = 0.0;
        return std::hypot(p.x - a.x, p.y - a.y);
    }
    const double da = b.x - a.x;
    const double db = b.y - a.y;
    const double length2 = da * da + db * db;
    t = ((p.y - a.y) * db + (p.x - a.x) * da) / length2;
    foot = {a.x + t * da, a.y + t * db};
    side = ((a.y - p.y) * da - (a.x - p.x) * db) / length2;
    return std::sqrt(length2) * std::fabs(side);
}

int dbfPntRHSofString(UI_LIST* list, const PNT_2D_record& p, int closed) {
    if (!list) return 0;
    double best = 1.7e308;
    int result = 0;
    // False when the point lies on the segment: the walk stops there.
    auto consider = [&](const CVertexEle& a, const CVertexEle& b) {
        if (samePoint(a, b)) return true;
        PNT_2D_record foot;
        double side = 0.0;
        double t = 0.0;
        const double distance = dbfDistToLine(point(a), point(b), p, foot, side, t);
        if (!dblLess(distance, best) || t < -1e-12 || t > 1.0 + 2e-12) return true;
        best = distance;
        if (dblIsZero(side)) {
            result = 0;
            return false;
        }
        result = side < 0.0 ? 1 : -1;
        return true;
    };
    CVertexEle* first = firstActive(*list);
    CVertexEle* last = first;
    for (CVertexEle* a = first; a; a = a->Next(false)) {
        CVertexEle* b = a->Next(false);
        if (!b) break;
        last = b;
        if (!consider(*a, *b)) return 0;
    }
    if (closed && first && last != first) consider(*last, *first);
    return result;
}

PNT_2D_record dbfStringHIntersect(UI_LIST* list1, UI_LIST* list2, int& found, int fromIndex, int toIndex,
                                  int& index2, int& index1) {
    found = index1 = index2 = 0;
    if (!list1 || !list2) return {0.0, 0.0};
    const std::vector<CVertexEle*> one = strIndex(*list1);
    const std::vector<CVertexEle*> two = strIndex(*list2);
    // Segments join consecutive active vertices; each is named by the indexes of its ends.
    auto nextActive = [](const std::vector<CVertexEle*>& v, int i) {
        for (++i; i < static_cast<int>(v.size()); ++i)
            if (v[static_cast<std::size_t>(i)]->active) return i;
        return -1;
    };
    int start = fromIndex < 0 ? 0 : fromIndex;
    if (start < static_cast<int>(one.size()) && !one[static_cast<std::size_t>(start)]->active)
        start = nextActive(one, start);
    for (int a = start; a >= 0 && a < static_cast<int>(one.size());) {
        const int b = nextActive(one, a);
        if (b < 0 || b >= toIndex) break;
        const CVertexEle& a1 = *one[static_cast<std::size_t>(a)];
        const CVertexEle& b1 = *one[static_cast<std::size_t>(b)];
        int c = nextActive(two, -1);
        for (int d = c >= 0 ? nextActive(two, c) : -1; d >= 0; c = d, d = nextActive(two, d)) {
            const CVertexEle& c2 = *two[static_cast<std::size_t>(c)];
            const CVertexEle& d2 = *two[static_cast<std::size_t>(d)];
            PNT_2D_record crossing{};
            if (coreIntersectionLines(a1.x, a1.y, b1.x, b1.y, c2.x, c2.y, d2.x, d2.y, crossing.x, crossing.y)) {
                found = 1;
                index1 = b;
                index2 = c;
                return crossing;
            }
        }
        a = b;
    }
    return {0.0, 0.0};
}

namespace {

// Inserts the vertex before the first one of a greater chainage (at the end when none).
void insertByChainage(UI_LIST& list, CVertexEle* vertex) {
    for (UI_ELEMENT* e = list.Head(); e; e = e->Next())
        if (dblGreater(static_cast<CVertexEle*>(e)->chainage, vertex->chainage)) {
            list.InsertBefore(vertex, e);
            return;
        }
    list.Append(vertex);
}

}  // namespace

void dbfUpdateChildList(UI_LIST* parent, UI_LIST* child) {
    if (!parent || !child) return;
    for (CVertexEle* p = firstActive(*parent); p; p = p->Next(false)) {
        int found = 0;
        const int at = dbfBinarySearch(child, p->chainage, found);
        const auto* c = at >= 0 ? static_cast<CVertexEle*>(child->Get(at)) : nullptr;
        if (found || !c || c->vertexKind == 'i' || c->isolated) continue;
        auto* copy = new CVertexEle(*p);
        copy->offset = kStrNotSet;
        // The new vertex belongs to the parent vertex it copies, so that it is recalculated.
        copy->vertexRef = p->chainage;
        copy->active = 1;
        insertByChainage(*child, copy);
    }
    for (CVertexEle* c = firstActive(*child); c;) {
        CVertexEle* next = c->Next(false);
        int found = 0;
        dbfBinarySearch(parent, c->chainage, found);
        if (!found && c->vertexKind != 'i') child->Delete(c);
        c = next;
    }
}

// ---------------------------------------------------------------------------------------------
// Loop removal

void strRemoveLoops(UI_LIST& list) {
    if (list.Count() < 4) return;
    auto shareEnd = [](const CVertexEle* a, const CVertexEle* b, const CVertexEle* c, const CVertexEle* d) {
        return samePoint(*a, *c) || samePoint(*a, *d) || samePoint(*b, *c) || samePoint(*b, *d);
    };
    CVertexEle* a = firstActive(list);
    while (a) {
        CVertexEle* b = a->Next(false);
        if (!b) break;
        CVertexEle* resume = b;
        for (CVertexEle* c = b; c; c = c->Next(false)) {
            CVertexEle* d = c->Next(false);
            if (!d) break;
            if (shareEnd(a, b, c, d)) continue;
            double x = 0.0;
            double y = 0.0;
            if (!coreIntersectionLines(a->x, a->y, b->x, b->y, c->x, c->y, d->x, d->y, x, y)) continue;
            // The loop runs from the vertex after B to C: cut it out and go on from D.
            for (CVertexEle* v = c; v && v != b; v = v->Previous()) v->active = 0;
            resume = d;
            break;
        }
        a = resume;
    }
}
