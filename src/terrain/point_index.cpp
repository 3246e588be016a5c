// The point index: a grid of squares over each cell, listing the points of the cell's chain by
// position, so that a scan of a small area reads only the points in or near it. It lives in
// memory only: built when the database opens, kept in step by every add, store and removal,
// dropped and built again from the blocks when it cannot be kept.
//
// A scan through the index returns what the walk of the whole chain returns, in the same order:
// the candidates of a cell are sorted by (rank of their bucket, slot), and the ranks rise along
// the chain (a bucket takes the next rank of its cell when it is linked at the chain's end, and
// unlinking a block leaves the order of the others as it was). The index only rules out points
// that cannot pass the area test; every candidate still goes through the scan's own test.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>

#include "database/frame.h"
#include "platform/core.h"
#include "platform/proj.h"
#include "terrain/terrain_state.h"

namespace {

// About this many points a square when a grid is laid; a grid is laid again, finer, when its
// cell has grown to four times that. Measured on the terrain benchmark (docs/performance.md).
constexpr double kPointsPerSquare = 8.0;
constexpr unsigned kLargestSide = 256;
constexpr double kQuanta = 65536.0;

PointIndex& index() { return terrainState().index; }

unsigned sideFor(DWORD count) {
    const double side = std::ceil(std::sqrt(static_cast<double>(count) / kPointsPerSquare));
    if (!(side >= 1.0)) return 1;
    return side > kLargestSide ? kLargestSide : static_cast<unsigned>(side);
}

// The position of a coordinate within its cell in 1/65536 of the cell's side, clamped to the
// cell. Rounding keeps the order of the coordinates, so a point inside an area always falls
// between the area's own quanta.
WORD quantum(double value, double origin, double blockSize) {
    const double q = std::floor((value - origin) / blockSize * kQuanta);
    if (!(q >= 0.0)) return 0;
    return q > kQuanta - 1.0 ? static_cast<WORD>(kQuanta - 1.0) : static_cast<WORD>(q);
}

struct CellFrame {
    double originY, originX, blockSize;
};

CellFrame frameOf(unsigned cell) {
    const DTMHEADER& h = terrainState().header;
    return {h.minY + cellYIndex(cell) * h.blockSize, h.minX + cellXIndex(cell) * h.blockSize, h.blockSize};
}

// The entry of a stored (geographic) record, positioned as the scan sees it.
PointIndexEntry entryOf(unsigned number, const SURVCOORD& stored, const CellFrame& f) {
    double y = 0.0, x = 0.0;
    projLatLongToLO(stored.x, stored.y, projGetLO(nullptr), &y, &x);
    return {number, quantum(y, f.originY, f.blockSize), quantum(x, f.originX, f.blockSize)};
}

unsigned squareOf(const PointIndexCell& c, const PointIndexEntry& e) {
    return ((e.qx * c.side) >> 16) * c.side + ((e.qy * c.side) >> 16);
}

// The quanta an area covers in a cell, widened by the scan test's tolerance.
struct QuantumWindow {
    WORD loY, hiY, loX, hiX;
};

double widened(double limit, int direction) {
    return limit + direction * 2.0 * (std::fabs(limit) * 1e-12 + 1e-12);
}

QuantumWindow windowIn(const RRect& area, const CellFrame& f) {
    return {quantum(widened(area.minY, -1), f.originY, f.blockSize), quantum(widened(area.maxY, 1), f.originY, f.blockSize),
            quantum(widened(area.minX, -1), f.originX, f.blockSize), quantum(widened(area.maxX, 1), f.originX, f.blockSize)};
}

void changed() { ++index().generation; }

// A block's header and points as they are now: from the cache when it holds the bucket, else
// from the file. The cache is not touched, so building or checking the index changes nothing.
bool readBlock(DWORD bucket, const BlockEntry& entry, DTMBLOCKHEAD& head, std::vector<SURVCOORD>* records) {
    if (entry.cacheSlot != 0) {
        const unsigned slot = static_cast<unsigned>(std::abs(entry.cacheSlot));
        const CacheDescriptor& d = slotDescriptor(slot);
        head = DTMBLOCKHEAD{};
        head.bucket = bucket;
        head.next = d.next;
        head.previous = d.previous;
        head.count = static_cast<WORD>(std::min(slotCount(slot), kDtmPointsPerBlock));
        if (records) records->assign(slotRecords(slot), slotRecords(slot) + head.count);
        return true;
    }
    TerrainState& t = terrainState();
    if (!t.stream || !coreFileSetPointer(0, static_cast<std::int64_t>(entry.fileBlock) * kDtmBlockLength, t.stream) ||
        !coreFileBinRead(&head, sizeof head, t.stream))
        return false;
    if (head.count > kDtmPointsPerBlock) return false;
    if (!records) return true;
    records->resize(head.count);
    return head.count == 0 || coreFileBinRead(records->data(), head.count * sizeof(SURVCOORD), t.stream);
}

void layGrid(PointIndexCell& c, unsigned side) {
    std::vector<PointIndexEntry> all;
    all.reserve(c.count);
    for (auto& square : c.squares) all.insert(all.end(), square.begin(), square.end());
    c.side = side;
    c.squares.assign(static_cast<std::size_t>(side) * side, {});
    std::vector<DWORD> counts(c.squares.size(), 0);
    for (const PointIndexEntry& e : all) ++counts[squareOf(c, e)];
    for (std::size_t i = 0; i < counts.size(); ++i) c.squares[i].reserve(counts[i]);
    for (const PointIndexEntry& e : all) c.squares[squareOf(c, e)].push_back(e);
}

// The chains' next links and the counts of the used buckets; false on a chain that loops or
// leaves its cell.
bool rankChains(std::vector<DWORD>& countOf) {
    TerrainState& t = terrainState();
    PointIndex& ix = index();
    const DWORD total = t.header.totalBlocks;
    std::vector<DWORD> nextOf(total + 1, 0);
    countOf.assign(total + 1, 0);
    for (const auto& [key, entry] : *t.blocks) {
        if (entry.cell == 0) continue;
        DTMBLOCKHEAD head{};
        if (!readBlock(key + 1, entry, head, nullptr)) return false;
        nextOf[key + 1] = head.next <= total ? head.next : 0;
        countOf[key + 1] = head.count;
    }
    for (unsigned cell = 1; cell <= kDtmCells; ++cell) {
        DWORD rank = 0, points = 0;
        for (DWORD bucket = t.cellHeads[cell]; bucket != 0; bucket = nextOf[bucket]) {
            const BlockEntry* entry = findBlock(bucket);
            if (!entry || entry->cell != cell || rank > t.header.usedBlocks) return false;
            ix.rank[bucket] = rank++;
            points += countOf[bucket];
        }
        PointIndexCell& c = ix.cells[cell];
        c.nextRank = rank;
        c.count = 0;
        if (points > 0) {
            c.side = sideFor(points);
            c.squares.assign(static_cast<std::size_t>(c.side) * c.side, {});
        }
    }
    return true;
}

bool fill(const std::vector<DWORD>& countOf) {
    TerrainState& t = terrainState();
    PointIndex& ix = index();
    // The blocks in file order, so that the file is read from start to end.
    std::vector<std::pair<DWORD, DWORD>> order;   // (file block, bucket)
    for (const auto& [key, entry] : *t.blocks)
        if (entry.cell != 0 && countOf[key + 1] > 0) order.emplace_back(entry.fileBlock, key + 1);
    std::sort(order.begin(), order.end());
    const char* text = "Building point index";
    const int step = dbfProgressStep(static_cast<int>(order.size()));
    std::vector<SURVCOORD> records;
    int done = 0;
    for (const auto& [fileBlock, bucket] : order) {
        const BlockEntry* entry = findBlock(bucket);
        DTMBLOCKHEAD head{};
        if (!entry || !readBlock(bucket, *entry, head, &records)) return false;
        PointIndexCell& c = ix.cells[entry->cell];
        if (c.side == 0) return false;   // a chain grew since its count was taken: cannot be
        const CellFrame f = frameOf(entry->cell);
        for (unsigned slot = 1; slot <= records.size(); ++slot) {
            const SURVCOORD& p = records[slot - 1];
            if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;   // damaged: chains are walked
            const PointIndexEntry e = entryOf(pointNumber(bucket, slot), p, f);
            c.squares[squareOf(c, e)].push_back(e);
            ++c.count;
        }
        if (++done % step == 0) dbfDispGraph(done, static_cast<int>(order.size()), text);
    }
    for (PointIndexCell& c : ix.cells)
        for (auto& square : c.squares) square.shrink_to_fit();
    dbfDispGraph(0, 0, nullptr);
    return true;
}

PointIndexEntry* findEntry(PointIndexCell& c, unsigned number, const PointIndexEntry& where) {
    if (c.side == 0) return nullptr;
    for (PointIndexEntry& e : c.squares[squareOf(c, where)])
        if (e.number == number) return &e;
    return nullptr;
}

// The index cannot follow a change (an entry is missing, memory ran out): it is dropped and
// built again by the next scan that wants it.
void lose(bool outOfMemory) {
    pointIndexDrop();
    index().unbuildable = outOfMemory;
}

PointIndexCell* cellFor(WORD cell) {
    PointIndex& ix = index();
    if (!ix.built || cell == 0 || cell >= ix.cells.size()) return nullptr;
    return &ix.cells[cell];
}

}  // namespace

void pointIndexDrop() {
    // Called wherever the block list is destroyed: the entry table goes with it.
    if (!terrainState().blocks) {
        terrainState().entryByKey.clear();
        terrainState().entryByKeyListSize = 0;
    }
    PointIndex& ix = index();
    const bool enabled = ix.enabled;
    const std::uint64_t generation = ix.generation + 1;
    ix = PointIndex{};
    ix.enabled = enabled;
    ix.generation = generation;
}

void pointIndexBuild() {
    TerrainState& t = terrainState();
    pointIndexDrop();
    if (!t.blocks) return;
    PointIndex& ix = index();
    try {
        ix.rank.assign(static_cast<std::size_t>(t.header.totalBlocks) + 1, 0);
        ix.cells.assign(kDtmCells + 1, PointIndexCell{});
        std::vector<DWORD> countOf;
        if (!rankChains(countOf) || !fill(countOf)) {
            // A damaged chain or record: the scans walk the chains, which meet and report it.
            dbfDispGraph(0, 0, nullptr);
            lose(false);
            index().unbuildable = true;
            return;
        }
        ix.built = true;
        changed();
    } catch (const std::bad_alloc&) {
        dbfDispGraph(0, 0, nullptr);
        lose(true);
    }
}

bool pointIndexReady() {
    PointIndex& ix = index();
    if (!ix.built && ix.enabled && !ix.unbuildable && terrainState().blocks) pointIndexBuild();
    return ix.built;
}

bool pointIndexEnable(bool on) {
    const bool previous = index().enabled;
    index().enabled = on;
    return previous;
}

void pointIndexLinked(DWORD bucket, WORD cell) {
    PointIndexCell* c = cellFor(cell);
    if (!c) return;
    PointIndex& ix = index();
    try {
        if (ix.rank.size() <= bucket) ix.rank.resize(static_cast<std::size_t>(bucket) + 1, 0);
    } catch (const std::bad_alloc&) {
        lose(true);
        return;
    }
    ix.rank[bucket] = c->nextRank++;
    changed();
}

DWORD pointIndexOpenFrom(WORD cell) {
    const PointIndexCell* c = cellFor(cell);
    const DWORD head = terrainState().cellHeads[cell];
    if (!c || c->openFrom == 0) return head;
    const BlockEntry* entry = findBlock(c->openFrom);
    return entry && entry->cell == cell ? c->openFrom : head;
}

void pointIndexFilled(DWORD bucket, WORD cell) {
    if (PointIndexCell* c = cellFor(cell)) c->openFrom = bucket;
}

void pointIndexUnlinked(DWORD bucket, WORD cell) {
    PointIndexCell* c = cellFor(cell);
    if (c && c->openFrom == bucket) c->openFrom = 0;
}

void pointIndexAdded(unsigned number, WORD cell, const SURVCOORD& stored) {
    PointIndexCell* c = cellFor(cell);
    if (!c) return;
    try {
        if (c->side == 0) {
            c->side = 1;
            c->squares.assign(1, {});
        }
        const PointIndexEntry e = entryOf(number, stored, frameOf(cell));
        c->squares[squareOf(*c, e)].push_back(e);
        ++c->count;
        if (c->side < kLargestSide && c->count > 4.0 * kPointsPerSquare * c->side * c->side) layGrid(*c, sideFor(c->count));
    } catch (const std::bad_alloc&) {
        lose(true);
        return;
    }
    changed();
}

void pointIndexRemoved(unsigned number, WORD cell, const SURVCOORD& stored) {
    PointIndexCell* c = cellFor(cell);
    if (!c) return;
    const PointIndexEntry where = entryOf(number, stored, frameOf(cell));
    PointIndexEntry* e = findEntry(*c, number, where);
    if (!e) return lose(false);
    auto& square = c->squares[squareOf(*c, where)];
    *e = square.back();
    square.pop_back();
    --c->count;
    // The block has room now: an add must look from it on, if it comes before the mark.
    DWORD bucket;
    unsigned slot;
    decodePointNumber(number, bucket, slot);
    PointIndex& ix = index();
    if (c->openFrom != 0 &&
        (bucket >= ix.rank.size() || c->openFrom >= ix.rank.size() || ix.rank[bucket] < ix.rank[c->openFrom]))
        c->openFrom = bucket;
    changed();
}

void pointIndexRenumbered(unsigned from, unsigned to, WORD cell, const SURVCOORD& stored) {
    PointIndexCell* c = cellFor(cell);
    if (!c) return;
    PointIndexEntry* e = findEntry(*c, from, entryOf(from, stored, frameOf(cell)));
    if (!e) return lose(false);
    e->number = to;
    changed();
}

void pointIndexStored(unsigned number, WORD cell, const SURVCOORD& before, const SURVCOORD& after) {
    if (std::memcmp(&before.x, &after.x, sizeof before.x) == 0 && std::memcmp(&before.y, &after.y, sizeof before.y) == 0)
        return;
    pointIndexRemoved(number, cell, before);
    pointIndexAdded(number, cell, after);
    ++index().lineGeneration;   // the lines to and from the point changed length
}

std::uint64_t pointIndexKey(unsigned number) {
    DWORD bucket;
    unsigned slot;
    decodePointNumber(number, bucket, slot);
    const PointIndex& ix = index();
    const std::uint64_t rank = bucket < ix.rank.size() ? ix.rank[bucket] : 0;
    return rank * 512 + slot;
}

void pointIndexBlockChanged(DWORD bucket) {
    PointIndex& ix = index();
    if (!ix.built) return;
    const BlockEntry* entry = findBlock(bucket);
    if (entry && entry->cell != 0 && entry->cell < ix.cells.size()) ix.cells[entry->cell].longestLine = -1.0;
}

namespace {

// One stored point as it is now, from the cache or the file, without touching the cache; its
// position converted as the scan sees it. False when the number names no stored point.
bool readPoint(unsigned number, SURVCOORD& point) {
    DWORD bucket;
    unsigned slot;
    decodePointNumber(number, bucket, slot);
    const BlockEntry* entry = findBlock(bucket);
    if (!entry || bucket == 0) return false;
    if (entry->cacheSlot != 0) {
        const unsigned cacheSlot = static_cast<unsigned>(std::abs(entry->cacheSlot));
        if (slot > slotCount(cacheSlot)) return false;
        point = slotRecords(cacheSlot)[slot - 1];
    } else {
        TerrainState& t = terrainState();
        DTMBLOCKHEAD head{};
        const std::int64_t at = static_cast<std::int64_t>(entry->fileBlock) * kDtmBlockLength;
        if (!t.stream || !coreFileSetPointer(0, at, t.stream) || !coreFileBinRead(&head, sizeof head, t.stream) ||
            slot > head.count || slot > kDtmPointsPerBlock ||
            !coreFileSetPointer(0, at + static_cast<std::int64_t>(sizeof head + (slot - 1) * sizeof(SURVCOORD)), t.stream) ||
            !coreFileBinRead(&point, sizeof point, t.stream))
            return false;
    }
    storedToProjected(point);
    return true;
}

// The longest outgoing line of the points of the cell, measured when a block of the cell changed
// or a point moved since it was last measured; infinite when a line leads to no stored point.
double longestLine(unsigned cell) {
    PointIndex& ix = index();
    PointIndexCell& c = ix.cells[cell];
    if (c.longestLine >= 0.0 && c.lineGeneration == ix.lineGeneration) return c.longestLine;
    double longest = 0.0;
    SURVCOORD a{}, b{};
    for (const auto& square : c.squares)
        for (const PointIndexEntry& e : square) {
            if (!readPoint(e.number, a)) return HUGE_VAL;
            DWORD lines[8];
            std::memcpy(lines, a.lines, sizeof lines);
            for (DWORD partner : lines) {
                if (partner == 0) continue;
                if (!readPoint(partner, b)) return HUGE_VAL;
                const double length = std::hypot(a.y - b.y, a.x - b.x);
                if (!(length <= longest)) longest = length;
            }
        }
    if (!std::isfinite(longest)) return HUGE_VAL;
    c.longestLine = longest;
    c.lineGeneration = ix.lineGeneration;
    return longest;
}

bool sameCorridor(const ScanCorridor& p, const ScanCorridor& q) {
    return p.y0 == q.y0 && p.x0 == q.x0 && p.a == q.a && p.b == q.b && p.c == q.c && p.reach == q.reach &&
           p.withLines == q.withLines;
}

// Whether every point of a square lies beyond the corridor: the square's distances from the
// line, with room for the rounding of its quanta and of the caller's arithmetic. Squares on the
// grid's edge also hold the points clamped into the cell, and are never left out.
bool beyondCorridor(const PointIndexCell& c, const CellFrame& f, unsigned sx, unsigned sy, const ScanCorridor& k,
                    double lineReach) {
    if (sx == 0 || sy == 0 || sx + 1 == c.side || sy + 1 == c.side) return false;
    const double h = f.blockSize / c.side, slack = f.blockSize * 1e-6;
    const double y0 = f.originY + sy * h - slack - k.y0, y1 = f.originY + (sy + 1) * h + slack - k.y0;
    const double x0 = f.originX + sx * h - slack - k.x0, x1 = f.originX + (sx + 1) * h + slack - k.x0;
    const double low = k.c + std::min(k.a * y0, k.a * y1) + std::min(k.b * x0, k.b * x1);
    const double high = k.c + std::max(k.a * y0, k.a * y1) + std::max(k.b * x0, k.b * x1);
    const double scale = std::fabs(k.c) + std::fabs(k.a) * std::max(std::fabs(y0), std::fabs(y1)) +
                         std::fabs(k.b) * std::max(std::fabs(x0), std::fabs(x1));
    const double reach = std::fabs(k.reach) + lineReach * std::hypot(k.a, k.b) + scale * 1e-9 + 1e-9;
    return low > reach || high < -reach;
}

}  // namespace

bool pointIndexServes(const ScanWindow& scan, unsigned cell) {
    const TerrainState& t = terrainState();
    if (t.passAll || !index().enabled || !pointIndexReady()) return false;
    PointIndex& ix = index();
    const PointIndexCell& c = ix.cells[cell];
    if (c.side < 2) return false;
    if (scan.hasCorridor) return true;
    // Asked again for every point of a scan: the last answer holds while nothing changed.
    if (ix.servesCell == cell && ix.servesGeneration == ix.generation && !ix.servesCorridor &&
        std::memcmp(&ix.servesArea, &scan.area, sizeof scan.area) == 0)
        return ix.servesAnswer;
    // An area over most of the cell reads most of its blocks anyway: the chain's own order
    // reads each block once.
    const QuantumWindow q = windowIn(scan.area, frameOf(cell));
    const unsigned ys = ((q.hiY * c.side) >> 16) - ((q.loY * c.side) >> 16) + 1;
    const unsigned xs = ((q.hiX * c.side) >> 16) - ((q.loX * c.side) >> 16) + 1;
    ix.servesCell = cell;
    ix.servesGeneration = ix.generation;
    ix.servesCorridor = false;
    ix.servesArea = scan.area;
    ix.servesAnswer = ys * xs * 2 <= c.side * c.side;
    return ix.servesAnswer;
}

const std::vector<std::pair<std::uint64_t, DWORD>>& pointIndexCandidates(const ScanWindow& scan, unsigned cell) {
    PointIndex& ix = index();
    const RRect& area = scan.area;
    if (ix.cursorCell == cell && ix.cursorGeneration == ix.generation &&
        std::memcmp(&ix.cursorArea, &area, sizeof area) == 0 && ix.cursorHasCorridor == scan.hasCorridor &&
        (!scan.hasCorridor || sameCorridor(ix.cursorCorridor, scan.corridor)))
        return ix.cursor;
    ix.cursor.clear();
    ix.cursorArea = area;
    ix.cursorHasCorridor = scan.hasCorridor;
    ix.cursorCorridor = scan.corridor;
    ix.cursorCell = cell;
    ix.cursorGeneration = ix.generation;
    ix.cursorPosition = 0;
    const PointIndexCell& c = ix.cells[cell];
    const CellFrame f = frameOf(cell);
    const QuantumWindow q = windowIn(area, f);
    const double lineReach = scan.hasCorridor && scan.corridor.withLines ? longestLine(cell) : 0.0;
    const unsigned y0 = (q.loY * c.side) >> 16, y1 = (q.hiY * c.side) >> 16;
    const unsigned x0 = (q.loX * c.side) >> 16, x1 = (q.hiX * c.side) >> 16;
    // Near the corridor, each point by its own position (to a quantum; those clamped into the
    // cell from outside it are kept).
    const ScanCorridor& k = scan.corridor;
    const double quantum = f.blockSize / kQuanta, gradient = std::hypot(k.a, k.b);
    const double reach = std::fabs(k.reach) + lineReach * gradient + gradient * (quantum + f.blockSize * 1e-6) + 1e-9;
    auto nearLine = [&](const PointIndexEntry& e) {
        if (e.qy == 0 || e.qx == 0 || e.qy == kQuanta - 1 || e.qx == kQuanta - 1) return true;
        const double y = f.originY + (e.qy + 0.5) * quantum - k.y0, x = f.originX + (e.qx + 0.5) * quantum - k.x0;
        const double d = k.a * y + k.b * x + k.c;
        return !(std::fabs(d) > reach + (std::fabs(k.c) + std::fabs(k.a * y) + std::fabs(k.b * x)) * 1e-9);
    };
    for (unsigned x = x0; x <= x1; ++x)
        for (unsigned y = y0; y <= y1; ++y) {
            if (scan.hasCorridor && beyondCorridor(c, f, x, y, k, lineReach)) continue;
            for (const PointIndexEntry& e : c.squares[x * c.side + y])
                if (e.qy >= q.loY && e.qy <= q.hiY && e.qx >= q.loX && e.qx <= q.hiX && (!scan.hasCorridor || nearLine(e)))
                    ix.cursor.emplace_back(pointIndexKey(e.number), e.number);
        }
    std::sort(ix.cursor.begin(), ix.cursor.end());
    return ix.cursor;
}

std::size_t pointIndexBytes() {
    const PointIndex& ix = index();
    std::size_t bytes = ix.rank.capacity() * sizeof(DWORD) + ix.cells.capacity() * sizeof(PointIndexCell);
    for (const PointIndexCell& c : ix.cells) {
        bytes += c.squares.capacity() * sizeof(std::vector<PointIndexEntry>);
        for (const auto& square : c.squares) bytes += square.capacity() * sizeof(PointIndexEntry);
    }
    return bytes;
}

// ---------------------------------------------------------------------------------------------
// Invariants 9 and 10

namespace {

std::string brokenIndex(int number, const char* text, unsigned long long value) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "invariant %d: %s (%llu)", number, text, value);
    return buffer;
}

}  // namespace

std::string pointIndexCheck() {
    const TerrainState& t = terrainState();
    const PointIndex& ix = index();
    if (!ix.built || !t.blocks) return {};
    if (ix.cells.size() != kDtmCells + 1) return brokenIndex(9, "cell table size", ix.cells.size());
    std::vector<SURVCOORD> records;
    for (unsigned cell = 1; cell <= kDtmCells; ++cell) {
        const PointIndexCell& c = ix.cells[cell];
        const CellFrame f = frameOf(cell);
        // The points of the chain, where each should be found: number -> (square, entry).
        std::map<DWORD, std::pair<unsigned, PointIndexEntry>> expected;
        DWORD walked = 0;
        bool first = true, beforeOpen = c.openFrom != 0;
        DWORD previousRank = 0;
        for (DWORD bucket = t.cellHeads[cell]; bucket != 0; ++walked) {
            const BlockEntry* entry = findBlock(bucket);
            DTMBLOCKHEAD head{};
            if (!entry || walked > t.header.usedBlocks || !readBlock(bucket, *entry, head, &records))
                return brokenIndex(10, "chain cannot be walked", cell);
            if (bucket >= ix.rank.size()) return brokenIndex(10, "bucket without a rank", bucket);
            const DWORD rank = ix.rank[bucket];
            if ((!first && rank <= previousRank) || rank >= c.nextRank)
                return brokenIndex(10, "ranks do not rise along the chain", bucket);
            first = false;
            previousRank = rank;
            if (bucket == c.openFrom) beforeOpen = false;
            if (beforeOpen && head.count != kDtmPointsPerBlock)
                return brokenIndex(10, "a block before where adds look for room is not full", bucket);
            for (unsigned slot = 1; slot <= records.size(); ++slot) {
                const PointIndexEntry e = entryOf(pointNumber(bucket, slot), records[slot - 1], f);
                expected.emplace(e.number, std::pair{c.side ? squareOf(c, e) : 0u, e});
            }
            bucket = head.next;
        }
        if (beforeOpen) return brokenIndex(10, "where adds look for room is not in the chain", cell);
        if (c.count != expected.size()) return brokenIndex(9, "cell count differs from its chain's points", cell);
        DWORD entries = 0;
        for (std::size_t s = 0; s < c.squares.size(); ++s)
            for (const PointIndexEntry& e : c.squares[s]) {
                ++entries;
                auto it = expected.find(e.number);
                if (it == expected.end()) return brokenIndex(9, "entry of no point of the chain, or twice", e.number);
                if (it->second.first != s || it->second.second.qy != e.qy || it->second.second.qx != e.qx)
                    return brokenIndex(9, "entry not where its point lies", e.number);
                expected.erase(it);
            }
        if (entries != c.count || !expected.empty()) return brokenIndex(9, "point of the chain missing", cell);
    }
    return {};
}
