// Lines between points: each line is an outgoing entry at one end (with its feature bit) and an
// incoming ("shadow") reference at the other, so that either end finds it and a renumbered or
// removed point can fix its partners.
//
// Line work touches only the line fields of the stored records, so it reads and writes them as
// stored, without the projection round trip that dbfGrabCoord / dbfStoreCoord would make.
#include <cmath>
#include <cstring>

#include "database/frame.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "terrain/terrain_state.h"

namespace {

bool databaseOpen() { return terrainState().blocks != nullptr; }

SURVCOORD readStored(unsigned number) { return *storedPoint(number); }

void writeStored(const SURVCOORD& record, unsigned number, int redraw) {
    *storedPoint(number) = record;
    storedPointChanged(number, "dbfStoreCoord (1)", true, redraw);
}

bool sameSurface(const SURVCOORD& a, const SURVCOORD& b) { return (a.surface & 0xFF) == (b.surface & 0xFF); }

template <std::size_t N>
int firstEmpty(const DWORD (&entries)[N]) {
    for (std::size_t i = 0; i < N; ++i)
        if (entries[i] == 0) return static_cast<int>(i);
    return -1;
}

template <std::size_t N>
bool holds(const DWORD (&entries)[N], unsigned number) {
    for (DWORD e : entries)
        if (e == number) return true;
    return false;
}

// Clears the first incoming entry equal to the number; false when there is none.
bool clearShadow(SURVCOORD& record, unsigned number) {
    for (DWORD& e : record.shadows)
        if (e == number) {
            e = 0;
            return true;
        }
    return false;
}

void setFeatureBit(SURVCOORD& record, int entry, bool feature) {
    const BYTE bit = static_cast<BYTE>(1u << entry);
    record.feature = feature ? (record.feature | bit) : (record.feature & ~bit);
}

DWORD workNumber(const SURVCOORD& record) {
    DWORD n;
    std::memcpy(&n, record.work, sizeof n);
    return n;
}

// Appends a validation mark to a point's name; a full name gives up its last character.
void appendMark(SURVCOORD& record, char mark) {
    record.name[sizeof record.name - 1] = 0;
    std::size_t len = std::strlen(record.name);
    if (len >= sizeof record.name - 1) len = sizeof record.name - 2;
    record.name[len] = mark;
    record.name[len + 1] = 0;
}

void reportAndMark(const char* format, unsigned p, unsigned q, char mark) {
    terrainInfo(dbfFormatText(format, static_cast<unsigned long>(p), static_cast<unsigned long>(q)));
    SURVCOORD partner = readStored(q);
    appendMark(partner, mark);
    writeStored(partner, q, 1);
}

// Where the straight line through two points reaches the height, on both plan axes.
PNT_3D_record heightCrossing(const SURVCOORD& a, const SURVCOORD& b, double za, double zb, double height) {
    PNT_3D_record c{};
    const double slopeX = (za - zb) / (a.x - b.x + 1e-21);
    const double slopeY = (za - zb) / (a.y - b.y + 1e-21);
    c.x = a.x + (height - za) / (slopeX + 1e-21);
    c.y = a.y + (height - za) / (slopeY + 1e-21);
    c.z = height;
    return c;
}

// A height on the contour itself is moved just above it, so that a crossing is never counted on
// both segments that meet at the point.
double offContour(double z, double height) { return dblEqual(z, height) ? z + 0.0001 : z; }

}  // namespace

int dbfAddLine(unsigned a, unsigned b, int feature, int beep) {
    if (a == b || a == 0 || b == 0 || !databaseOpen()) return 0;
    SURVCOORD pa = readStored(a);
    SURVCOORD pb = readStored(b);
    if (!sameSurface(pa, pb)) {
        if (beep) terrainBeep();
        return 0;
    }
    for (int i = 0; i < 8; ++i) {
        SURVCOORD* owner = nullptr;
        unsigned ownerNumber = 0;
        if (pa.lines[i] == b) {
            owner = &pa;
            ownerNumber = a;
        } else if (pb.lines[i] == a) {
            owner = &pb;
            ownerNumber = b;
        }
        if (!owner) continue;
        if ((owner->feature & (1u << i)) || !feature) return 0;
        setFeatureBit(*owner, i, true);
        writeStored(*owner, ownerNumber, 1);
        return 1;
    }
    const int out = firstEmpty(pa.lines), in = firstEmpty(pb.shadows);
    if (out >= 0 && in >= 0) {
        pa.lines[out] = b;
        setFeatureBit(pa, out, feature != 0);
        pb.shadows[in] = a;
        writeStored(pa, a, 1);
        writeStored(pb, b, 1);
        return 1;
    }
    const int inA = firstEmpty(pa.shadows), outB = firstEmpty(pb.lines);
    if (inA >= 0 && outB >= 0) {
        pa.shadows[inA] = b;
        pb.lines[outB] = a;
        setFeatureBit(pb, outB, feature != 0);
        writeStored(pa, a, 1);
        writeStored(pb, b, 1);
        return 1;
    }
    if (beep) terrainBeep();
    return 0;
}

int dbfDelLine(unsigned a, unsigned b, int feature, int any) {
    if (a == 0 || b == 0 || !databaseOpen()) return 0;
    bool half = false;
    SURVCOORD pa = readStored(a);
    SURVCOORD pb = readStored(b);
    for (int i = 0; i < 8; ++i) {
        if (pa.lines[i] != b) continue;
        if (!any && ((pa.feature >> i) & 1) != (feature ? 1 : 0)) return 0;
        pa.lines[i] = 0;
        setFeatureBit(pa, i, false);
        if (clearShadow(pb, a)) {
            writeStored(pa, a, 1);
            writeStored(pb, b, 1);
            return 1;
        }
        half = true;
    }
    for (int i = 0; i < 8; ++i) {
        if (pb.lines[i] != a) continue;
        if (!any && ((pb.feature >> i) & 1) != (feature ? 1 : 0)) return 0;
        pb.lines[i] = 0;
        setFeatureBit(pb, i, false);
        if (clearShadow(pa, b)) {
            writeStored(pa, a, 1);
            writeStored(pb, b, 1);
            return 1;
        }
        half = true;
    }
    if (half) {
        writeStored(pa, a, 1);
        writeStored(pb, b, 1);
        return 1;
    }
    terrainBeep();
    return 0;
}

int dbfIsFeatureLine(SURVCOORD& recordOfA, unsigned b, unsigned a) {
    for (int i = 0; i < 8; ++i)
        if (recordOfA.lines[i] == b && b != 0) return recordOfA.feature & (1u << i);
    if (b == 0 || !databaseOpen()) return 0;
    const SURVCOORD pb = readStored(b);
    for (int i = 0; i < 8; ++i)
        if (pb.lines[i] == a && a != 0) return pb.feature & (1u << i);
    return 0;
}

void dbfAdjustShadowRef(SURVCOORD& record, unsigned oldNumber, unsigned newNumber) {
    if (!databaseOpen()) return;
    for (DWORD partner : record.lines) {
        if (partner == 0) continue;
        SURVCOORD p = readStored(partner);
        for (DWORD& e : p.shadows)
            if (e == oldNumber) {
                e = newNumber;
                writeStored(p, partner, 0);
            }
    }
    for (DWORD partner : record.shadows) {
        if (partner == 0) continue;
        SURVCOORD p = readStored(partner);
        for (DWORD& e : p.lines)
            if (e == oldNumber) {
                e = newNumber;
                writeStored(p, partner, 0);
            }
    }
}

int dbfCreateShadowLines(long count, FILE* stream, int cancellable) {
    terrainState().cancelled = false;
    const char* text = "Cross-referencing lines";
    dbfDispStatus(text, kStatusResetBusy);
    dbfDispGraph(0, 0, text);
    const int step = dbfProgressStep(count);
    int abort = 0, finished = 1;
    for (long i = 0; i < count && databaseOpen(); ++i) {
        dbfPumpMessages();
        DWORD number = 0;
        if (!coreFileSetPointer(0, static_cast<std::int64_t>(i) * 4, stream) ||
            !coreFileBinRead(&number, sizeof number, stream))
            break;
        if (number != 0) {
            const SURVCOORD p = readStored(number);
            for (DWORD q : p.lines) {
                if (q == 0) continue;
                SURVCOORD partner = readStored(q);
                const int free = firstEmpty(partner.shadows);
                if (free < 0) continue;
                partner.shadows[free] = number;
                writeStored(partner, q, 0);
            }
        }
        if ((i + 1) % step == 0) dbfDispGraph(static_cast<int>(i + 1), static_cast<int>(count), text);
        if (cancellable && terrainEscapePressed(abort)) {
            finished = 0;
            break;
        }
    }
    dbfDispStatus(nullptr, kStatusClear);
    dbfDispGraph(0, 0, nullptr);
    return finished;
}

int dbfValidateData() {
    terrainState().cancelled = false;
    dbfDispStatus("Validating visible points (Esc to cancel)", kStatusResetBusy);
    CCadWindow* cad = dbfState().cadWindow;
    if (databaseOpen() && cad) {
        double y1, x1, y2, x2;
        cad->gsGetZoomRect(y1, x1, y2, x2);
        RRect view{std::fmax(y1, y2), std::fmin(y1, y2), std::fmin(x1, x2), std::fmax(x1, x2)};
        const int pen = dbfState().defaultPen;
        int abort = 0;
        SURVCOORD p;
        for (unsigned n = dbfStartCoord(p, &view); n != 0; n = dbfNextCoord(p, n)) {
            cad->gsDisplayPoint(p.y, p.x, pen, 0, -1.0f);
            const SURVCOORD stored = readStored(n);
            for (DWORD q : stored.lines) {
                if (q == 0) continue;
                const SURVCOORD partner = readStored(q);
                if (!holds(partner.shadows, n)) reportAndMark("Shadow line mismatch on %lu and %lu", n, q, '!');
                if (holds(partner.lines, n)) reportAndMark("Duplicate line entry on %lu and %lu", n, q, '&');
                if (holds(stored.shadows, q))
                    reportAndMark("Line entry duplicated as shadow entry on %lu (to %lu)", n, q, '@');
            }
            for (DWORD q : stored.shadows) {
                if (q == 0) continue;
                if (holds(readStored(q).shadows, n)) reportAndMark("Duplicate shadow entry on %lu and %lu", n, q, '$');
            }
            if (terrainEscapePressed(abort)) break;
        }
    }
    dbfDispStatus(nullptr, kStatusClear);
    return 1;
}

int dbfNumerateCoords(RRect* area, NAMEFILT* filter) {
    terrainState().cancelled = false;
    if (!databaseOpen()) return 1;
    const char* text = "Cross-referencing lines (Esc to cancel)";
    const int total = static_cast<int>(terrainState().pointTotal);
    const int step = dbfProgressStep(total);
    dbfDispGraph(0, 0, text);
    auto passes = terrainHooks().passesFilter;
    DWORD sequence = 0;
    int abort = 0, seen = 0, finished = 1;
    SURVCOORD p;
    for (unsigned n = dbfStartCoord(p, area); n != 0; n = dbfNextCoord(p, n)) {
        const bool atOrigin = dblIsZero(p.x) && dblIsZero(p.y);
        const bool counted = !atOrigin && (!filter || !passes || passes(&p, filter));
        const DWORD number = counted ? ++sequence : 0;
        std::memcpy(p.work, &number, sizeof number);
        dbfStoreCoordFlags(p, n);
        if (++seen % step == 0) dbfDispGraph(seen, total, text);
        if (terrainEscapePressed(abort)) {
            finished = 0;
            break;
        }
    }
    dbfDispGraph(0, 0, nullptr);
    return finished;
}

void dbfNumeratedLines(SURVCOORD record, unsigned* results) {
    if (!results) return;
    for (int i = 0; i < 8; ++i)
        results[i] = record.lines[i] != 0 && databaseOpen() ? workNumber(readStored(record.lines[i])) : 0;
}

unsigned dbfNumeratedCoordNumber(SURVCOORD record) { return workNumber(record); }

void dbfContourPoly(const std::vector<unsigned>& points, double height, PNT_3D_record& start,
                    PNT_3D_record& crossing, unsigned& index) {
    crossing = PNT_3D_record{};
    index = 0;
    if (points.size() < 2 || !databaseOpen()) return;
    SURVCOORD a{}, b{};
    dbfGrabCoord(a, points[0]);
    dbfGrabCoord(b, points[1]);
    const PNT_3D_record first = heightCrossing(a, b, offContour(a.z, height), offContour(b.z, height), height);
    start.x = first.x;
    start.y = first.y;

    constexpr int kMaxCrossings = 7;
    PNT_3D_record found[kMaxCrossings] = {};
    unsigned foundAt[kMaxCrossings] = {};
    int count = 0;
    for (std::size_t k = 2; k < points.size(); ++k) {
        dbfGrabCoord(a, points[k - 1]);
        dbfGrabCoord(b, points[k]);
        const double za = offContour(a.z, height), zb = offContour(b.z, height);
        const bool between = (dblLessEqual(za, height) && dblGreaterEqual(zb, height)) ||
                             (dblGreaterEqual(za, height) && dblLessEqual(zb, height));
        if (!between) continue;
        const int at = count < kMaxCrossings ? count++ : kMaxCrossings - 1;
        found[at] = heightCrossing(a, b, za, zb, height);
        foundAt[at] = static_cast<unsigned>(k);
    }
    int chosen = 0;
    if (count >= 2) {
        const double toFirst = std::hypot(found[0].x - start.x, found[0].y - start.y);
        const double toLast = std::hypot(found[count - 1].x - start.x, found[count - 1].y - start.y);
        if (dblLess(toLast, toFirst)) chosen = count - 1;
    }
    crossing = found[chosen];
    index = foundAt[chosen];
}
