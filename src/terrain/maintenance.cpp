// Whole-database maintenance: marking duplicate points, and copying one surface with its lines
// onto another through the "dmp" and "tmp" work files.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "database/frame.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "terrain/terrain_state.h"

namespace {

bool databaseOpen() { return terrainState().blocks != nullptr && terrainState().stream != nullptr; }

double roundedToThousandth(double v) { return std::floor(v * 1000.0 + 0.5) / 1000.0; }

DWORD workNumber(const SURVCOORD& p) {
    DWORD n;
    std::memcpy(&n, p.work, sizeof n);
    return n;
}

void setWorkNumber(unsigned number, DWORD value, const char* where) {
    std::memcpy(storedPoint(number)->work, &value, sizeof value);
    storedPointChanged(number, where, false, 0);
}

bool workBytesSet(const SURVCOORD& p) {
    for (BYTE b : p.work)
        if (b != 0) return true;
    return false;
}

// Visits the points of a cell's chain in order: visit(number, stored record) returns false to
// stop the walk. The record is a copy; the visitor may change the stored point but not remove it.
template <typename Visit>
bool walkChain(unsigned cell, Visit visit) {
    TerrainState& t = terrainState();
    DWORD bucket = t.cellHeads[cell];
    for (DWORD walked = 0; bucket != 0; ++walked) {
        if (walked > t.header.usedBlocks) bucketListError("dbfNextCoord (1)", bucket);
        unsigned cacheSlot = grabBucket(bucket);
        const unsigned count = std::min(slotCount(cacheSlot), kDtmPointsPerBlock);
        for (unsigned slot = 1; slot <= count; ++slot) {
            cacheSlot = grabBucket(bucket);
            const SURVCOORD stored = slotRecords(cacheSlot)[slot - 1];
            if (!visit(pointNumber(bucket, slot), stored)) return false;
        }
        bucket = slotDescriptor(grabBucket(bucket)).next;
    }
    return true;
}

// Every point of the site, cell by cell, in scan order.
template <typename Visit>
bool walkSite(Visit visit) {
    for (unsigned cell = 1; cell <= kDtmCells; ++cell)
        if (!walkChain(cell, visit)) return false;
    return true;
}

// Writes every dirty slot back and empties the cache; false (after the message) when a slot's
// bucket has no entry in the block list.
bool flushCache(const char* where) {
    TerrainState& t = terrainState();
    const unsigned slots = dbfState().cacheSlots;
    for (unsigned slot = 1; slot <= slots && slot < t.slotBucket.size(); ++slot) {
        const DWORD bucket = t.slotBucket[slot];
        if (bucket == 0) continue;
        BlockEntry* entry = findBlock(bucket);
        if (!entry) {
            bucketListMessage(where, bucket);
            return false;
        }
        if (entry->cacheSlot < 0) {
            writeBackSlot(slot, true);
        } else {
            entry->cacheSlot = 0;
            slotDescriptor(slot) = CacheDescriptor{};
            t.slotBucket[slot] = 0;
        }
    }
    t.currentSlot = 0;
    return true;
}

// One point as the duplicate test sees it.
struct Candidate {
    unsigned number;
    double x, y, z;      // x and y to the nearest thousandth
    WORD surface;
    bool marked;         // its work bytes are set
    bool eligible;       // on an active surface, in the polygon and passing the filter
};

// The later points of the chain that may duplicate each one: next[a] is the next candidate after
// a (in chain order) with the very same rounded position, or none. Positions rounded to a
// thousandth differ by at least 0.001 or not at all, and the duplicate test's tolerance stays
// below 0.001 while the coordinates are below 1e8 in size: there "within tolerance" means
// "equal", and a point needs comparing only with the points of its own position. Anything else
// (a coordinate beyond that, or not a number) leaves every later point a candidate.
constexpr std::size_t kNoCandidate = static_cast<std::size_t>(-1);

std::vector<std::size_t> samePositionLinks(const std::vector<Candidate>& chain) {
    std::vector<std::size_t> next(chain.size(), kNoCandidate);
    for (const Candidate& c : chain)
        if (!(std::fabs(c.x) < 1e8 && std::fabs(c.y) < 1e8)) {
            for (std::size_t i = 0; i + 1 < chain.size(); ++i) next[i] = i + 1;
            return next;
        }
    std::vector<std::size_t> order(chain.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (chain[a].x != chain[b].x) return chain[a].x < chain[b].x;
        if (chain[a].y != chain[b].y) return chain[a].y < chain[b].y;
        return a < b;
    });
    for (std::size_t k = 0; k + 1 < order.size(); ++k) {
        const Candidate& a = chain[order[k]];
        const Candidate& b = chain[order[k + 1]];
        if (a.x == b.x && a.y == b.y) next[order[k]] = order[k + 1];
    }
    return next;
}

// The points of a cell's chain, in chain order, that the duplicate marking of an area must see.
// Without a polygon, every one. With a polygon, a point whose y lies farther than the
// margin outside the polygon's rectangle crosses none of its edges and is never inside it, so
// where the point index serves the band of the rectangle's y range across the site, only the
// points of that band are read; the others are counted as seen (returned in `skipped`).
template <typename Visit>
void walkDuplicateCandidates(unsigned cell, const RRect* band, std::size_t& skipped, Visit visit) {
    skipped = 0;
    TerrainState& t = terrainState();
    if (band) {
        ScanWindow w;
        w.setArea(*band);
        if (pointIndexServes(w, cell)) {
            const std::vector<std::pair<std::uint64_t, DWORD>> candidates = pointIndexCandidates(w, cell);
            for (const auto& [key, number] : candidates) visit(number, *storedPoint(number));
            skipped = t.index.cells[cell].count - candidates.size();
            return;
        }
    }
    walkChain(cell, [&](unsigned number, const SURVCOORD& stored) {
        visit(number, stored);
        return true;
    });
}

// ---------------------------------------------------------------------------------------------
// The surface copy

class WorkFiles {
public:
    WorkFiles() {
        dbfFileName(dump, "dmp", kFileProject);
        dbfFileName(numbers, "tmp", kFileProject);
    }
    ~WorkFiles() {
        dumpStream = coreFileClose(dumpStream);
        numberStream = coreFileClose(numberStream);
        coreFileDelete(dump);
        coreFileDelete(numbers);
    }
    WorkFiles(const WorkFiles&) = delete;
    WorkFiles& operator=(const WorkFiles&) = delete;

    char dump[MAX_PATH] = {};
    char numbers[MAX_PATH] = {};
    FILE* dumpStream = nullptr;
    FILE* numberStream = nullptr;
};

// Clears the status line and the progress bar however the copy ends.
class StatusClear {
public:
    StatusClear() = default;
    ~StatusClear() {
        dbfDispStatus(nullptr, kStatusClear);
        dbfDispGraph(0, 0, nullptr);
    }
    StatusClear(const StatusClear&) = delete;
    StatusClear& operator=(const StatusClear&) = delete;
};

// Takes the copied points out again when the copy cannot be finished: their lines hold
// sequence numbers or lack their incoming references until the copy ends. The points join only
// each other, so clearing their lines leaves nobody pointing at them; removing them from the
// highest number down moves only points that were there before the copy.
void withdrawCopies(std::vector<unsigned> added) {
    for (unsigned number : added) {
        SURVCOORD* p = storedPoint(number);
        std::memset(p->lines, 0, sizeof p->lines);
        std::memset(p->shadows, 0, sizeof p->shadows);
        p->feature = 0;
        storedPointChanged(number, "dbfDuplicateSurface (1)", true, 1);
    }
    std::sort(added.rbegin(), added.rend());
    for (unsigned number : added) dbfRemCoord(number);
}

// Removes every point of the surface, asking first. 0 when the user cancels or presses Escape.
int clearDestination(WORD destination) {
    TerrainState& t = terrainState();
    const char* text = "Checking destination surface (Esc to cancel)";
    dbfDispStatus(text, kStatusResetBusy);
    dbfDispGraph(0, 0, text);
    const int step = dbfProgressStep(t.pointTotal);
    const long total = t.pointTotal;
    bool asked = false;
    int abort = 0, removed = 0;
    for (unsigned cell = 1; cell <= kDtmCells; ++cell) {
        DWORD bucket = t.cellHeads[cell];
        for (DWORD walked = 0; bucket != 0; ++walked) {
            if (walked > t.header.usedBlocks) bucketListError("dbfDuplicateSurface (2)", bucket);
            DWORD next = slotDescriptor(grabBucket(bucket)).next;
            bool blockGone = false;
            for (unsigned slot = 1;;) {
                const unsigned cacheSlot = grabBucket(bucket);
                const unsigned count = slotCount(cacheSlot);
                if (slot > count) break;
                next = slotDescriptor(cacheSlot).next;
                if (terrainEscapePressed(abort)) return 0;
                if ((slotRecords(cacheSlot)[slot - 1].surface & 0xFF) != (destination & 0xFF)) {
                    ++slot;
                    continue;
                }
                if (!asked) {
                    asked = true;
                    if (AfxMessageBox(dbfOwner(), "Data exists on destination surface\nOk to delete existing points",
                                      "Delete", MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
                        return 0;
                }
                // The block's last point takes the removed number and is examined next.
                dbfRemCoord(pointNumber(bucket, slot));
                if (++removed % step == 0) dbfDispGraph(removed, static_cast<int>(total), text);
                if (count == 1) {
                    blockGone = true;
                    break;
                }
            }
            bucket = blockGone ? next : slotDescriptor(grabBucket(bucket)).next;
        }
    }
    return 1;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

int dbfRemoveDuplicates(int compareHeights, NAMEFILT* filter, int useFilter,
                        const std::vector<PNT_2D_record>& polygon) {
    if (!databaseOpen()) return 0;
    TerrainState& t = terrainState();
    t.cancelled = false;
    for (const PNT_2D_record& corner : polygon)
        if (!requireFinite("A corner of the duplicates polygon", corner.x) ||
            !requireFinite("A corner of the duplicates polygon", corner.y))
            return 0;
    const NAMEFILT* f = effectiveFilter(filter, useFilter);
    const bool inPolygonOnly = polygon.size() > 2;

    dbfDispStatus("Clearing point flags...", kStatusPush);
    walkSite([](unsigned number, const SURVCOORD& p) {
        if (workBytesSet(p)) {
            std::memset(storedPoint(number)->work, 0, sizeof p.work);
            storedPointChanged(number, "dbfRemoveDuplicates (1)", false, 0);
        }
        return true;
    });
    dbfDispStatus(nullptr, kStatusPop);

    dbfDispStatus("Storing changed points...", kStatusPush);
    const bool stored = flushCache("dbfRemoveDuplicates (1)");
    dbfDispStatus(nullptr, kStatusPop);
    if (!stored) {
        t.duplicateError = true;
        return 0;
    }

    RRect area;
    if (inPolygonOnly)
        dbfPolyToRect(polygon, &area);
    else
        dbfBuckLimit(&area, 0);
    const WORD low = cellOf(area.minY, area.minX, true), high = cellOf(area.maxY, area.maxX, true);

    const char* text = "Scanning site";
    const int total = static_cast<int>(t.pointTotal);
    const int step = dbfProgressStep(total);
    dbfDispGraph(0, 0, text);
    CCadWindow* cad = dbfState().cadWindow;
    const int pen = dbfState().defaultPen;
    int result = 0, abort = 0, seen = 0;
    // The band of the polygon's y range across the whole site, with room for the rounding to a
    // thousandth and the tolerance of the polygon test.
    const DTMHEADER& h = t.header;
    const double margin = 0.01 + 1e-9 * std::max(std::fabs(area.minY), std::fabs(area.maxY));
    const RRect band{area.maxY + margin, area.minY - margin, std::min(h.minX, area.minX) - 1.0,
                     std::max(h.maxX, area.maxX) + 1.0};
    std::vector<Candidate> chain;
    for (unsigned xi = cellXIndex(low); xi <= cellXIndex(high); ++xi) {
        for (unsigned yi = cellYIndex(low); yi <= cellYIndex(high); ++yi) {
            chain.clear();
            std::size_t skipped = 0;
            walkDuplicateCandidates(xi * kDtmCellsPerSide + yi + 1, inPolygonOnly ? &band : nullptr, skipped,
                                    [&](unsigned number, const SURVCOORD& stored) {
                SURVCOORD p = stored;
                storedToProjected(p);
                p.x = roundedToThousandth(p.x);
                p.y = roundedToThousandth(p.y);
                const bool active = dbfActiveSurface(static_cast<WORD>(p.surface & 0xFF)) != 0;
                const bool eligible = active && (!inPolygonOnly || dbfPointInPoly(p, polygon)) &&
                                      (!useFilter || !f || dbfPassesFilter(&p, f));
                chain.push_back(Candidate{number, p.x, p.y, p.z, p.surface, workBytesSet(p), eligible});
            });
            if (skipped != 0) {
                const int before = seen;
                seen += static_cast<int>(skipped);
                if (seen / step != before / step) dbfDispGraph(seen, total, text);
            }
            const std::vector<std::size_t> next = samePositionLinks(chain);
            for (std::size_t a = 0; a < chain.size(); ++a) {
                if (terrainEscapePressed(abort)) {
                    dbfDispGraph(0, 0, nullptr);
                    return 0;
                }
                if (++seen % step == 0) dbfDispGraph(seen, total, text);
                const Candidate& A = chain[a];
                if (A.marked || !A.eligible) continue;
                if (cad) cad->gsDisplayPoint(A.y, A.x, pen, 0, -1.0f);
                for (std::size_t b = next[a]; b != kNoCandidate; b = next[b]) {
                    Candidate& B = chain[b];
                    if (B.marked || !B.eligible || !dbfCheckSurface(A.surface, B.surface)) continue;
                    if (std::fabs(A.x - B.x) > dblTolerance(B.x) || std::fabs(A.y - B.y) > dblTolerance(B.y)) continue;
                    if (compareHeights && std::fabs(A.z - B.z) > dblTolerance(B.z)) continue;
                    setWorkNumber(B.number, A.number, "dbfRemoveDuplicates (2)");
                    B.marked = true;
                    result = 1;
                }
            }
        }
    }
    dbfDispGraph(0, 0, nullptr);
    return result;
}

int dbfDuplicateSurface(WORD source, WORD destination) {
    if (!databaseOpen()) return 0;
    terrainState().cancelled = false;
    StatusClear clearAtEnd;
    if (!clearDestination(destination)) return 0;

    // Sequence numbers of the source points, from 1, in the work u32 of every point.
    dbfDispStatus("Cross referencing lines (Esc to cancel)", kStatusResetBusy);
    std::vector<unsigned> sources;
    int abort = 0;
    const bool numbered = walkSite([&](unsigned number, const SURVCOORD& p) {
        const bool copied = dbfCheckSurface(p.surface, source) != 0;
        if (copied) sources.push_back(number);
        const DWORD sequence = copied ? static_cast<DWORD>(sources.size()) : 0;
        if (workNumber(p) != sequence) setWorkNumber(number, sequence, "dbfDuplicateSurface (3)");
        return terrainEscapePressed(abort) == 0;
    });
    if (!numbered) return 0;

    WorkFiles files;
    files.dumpStream = coreFileOpen(files.dump, "w+t");
    if (!files.dumpStream) {
        terrainError(dbfFormatText("Unable to create %s", files.dump));
        return 0;
    }
    dbfDispStatus("Cross referencing points (Esc to cancel)", kStatusResetBusy);
    for (unsigned number : sources) {
        SURVCOORD p{};
        dbfGrabCoord(p, number);
        char name[sizeof p.name + 1];
        std::memcpy(name, p.name, sizeof p.name);
        name[sizeof p.name] = 0;
        std::replace(name, name + sizeof p.name, ',', '_');   // a comma would split the line
        std::string line = name;
        char field[96];
        std::snprintf(field, sizeof field, ",%.3lf,%.3lf,%.3lf", p.y, p.x, p.z);
        line += field;
        for (int i = 0; i < 8; ++i) {
            const long sequence = p.lines[i] != 0 ? static_cast<long>(workNumber(*storedPoint(p.lines[i]))) : 0;
            std::snprintf(field, sizeof field, ",%ld", (p.feature >> i) & 1 ? -sequence : sequence);
            line += field;
        }
        line += (p.surface & kSurfaceFlag4000) ? ",1" : (p.surface & kSurfaceFlag8000) ? ",2" : ",0";
        coreFileTxtWrite(line.c_str(), files.dumpStream);
        if (terrainEscapePressed(abort)) return 0;
    }
    files.dumpStream = coreFileClose(files.dumpStream);

    files.dumpStream = coreFileOpen(files.dump, "rt");
    files.numberStream = coreFileOpen(files.numbers, "w+b");
    if (!files.dumpStream || !files.numberStream) {
        terrainError(dbfFormatText("Unable to create %s", files.numbers));
        return 0;
    }
    dbfDispStatus("Duplicating points", kStatusResetBusy);
    std::vector<unsigned> added;
    added.reserve(sources.size());
    char line[512];
    while (coreFileTxtRead(line, files.dumpStream, sizeof line)) {
        char name[sizeof(SURVCOORD::name)];
        coreGetField(line, "", name, sizeof name, 1, ',');
        const WORD flag = coreGetFieldInt(line, 0, 13, ',') == 1   ? kSurfaceFlag4000
                          : coreGetFieldInt(line, 0, 13, ',') == 2 ? kSurfaceFlag8000
                                                                     : 0;
        SURVCOORD p;
        dbfPackStruct(name, coreGetFieldDouble(line, 0.0, 2, ','), coreGetFieldDouble(line, 0.0, 3, ','),
                      coreGetFieldDouble(line, 0.0, 4, ','), static_cast<WORD>((destination & 0xFF) | flag), p);
        for (int i = 0; i < 8; ++i) {
            const int sequence = coreGetFieldInt(line, 0, 5 + i, ',');
            p.lines[i] = static_cast<DWORD>(std::abs(sequence));
            if (sequence < 0) p.feature |= static_cast<BYTE>(1u << i);
        }
        unsigned number = 0;
        if (!dbfAddCoord(p, number)) {
            terrainError("Error adding point to database");
            withdrawCopies(added);
            return 0;
        }
        added.push_back(number);
        const DWORD n = number;
        coreFileBinWrite(&n, sizeof n, files.numberStream);
    }

    dbfDispStatus("Adding line information", kStatusResetBusy);
    for (unsigned number : added) {
        SURVCOORD p{};
        dbfGrabCoord(p, number);
        for (int i = 0; i < 8; ++i) {
            DWORD& line = p.lines[i];
            if (line != 0) line = line <= added.size() ? added[line - 1] : 0;
            if (line == 0) p.feature &= static_cast<BYTE>(~(1u << i));
        }
        dbfStoreCoord(p, number, 1);
    }

    // Escape during the rebuild ends the copy with 0 and keeps what was done: the copies stay,
    // with the incoming references rebuilt so far.
    return dbfCreateShadowLines(static_cast<long>(added.size()), files.numberStream, 1) ? 1 : 0;
}
