// Scans of the points inside an area, cell by cell and block by block, and the site limits.
#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "database/frame.h"
#include "platform/cad.h"
#include "platform/proj.h"
#include "terrain/terrain_state.h"

namespace {

ScanWindow windowOf(const RRect& area) {
    ScanWindow w;
    w.setArea(area);
    const WORD low = cellOf(area.minY, area.minX, true);
    const WORD high = cellOf(area.maxY, area.maxX, true);
    w.lastCell = high;
    w.firstY = cellYIndex(low);
    w.lastY = cellYIndex(high);
    w.firstX = cellXIndex(low);
    w.lastX = cellXIndex(high);
    return w;
}

ScanWindow wholeSiteWindow() {
    ScanWindow w;
    const DTMHEADER& h = terrainState().header;
    w.setArea(RRect{h.maxY, h.minY, h.minX, h.maxX});
    return w;
}

bool cellInWindow(const ScanWindow& w, unsigned cell) {
    const unsigned y = cellYIndex(cell), x = cellXIndex(cell);
    return y >= w.firstY && y <= w.lastY && x >= w.firstX && x <= w.lastX;
}

// The cell after this one in the window (y index fastest); 0 past the window's end.
unsigned nextWindowCell(const ScanWindow& w, unsigned cell) {
    unsigned y = cellYIndex(cell) + 1, x = cellXIndex(cell);
    if (y > w.lastY) {
        y = w.firstY;
        ++x;
    }
    if (x > w.lastX) return 0;
    return x * kDtmCellsPerSide + y + 1;
}

bool surfaceVisibleToScan(const TerrainState& t, WORD surface) {
    const unsigned n = surface & 0xFF;
    return n >= 1 && n <= kDtmSurfaces && t.header.surfaceStatus[n - 1] != 0;
}

// What the walk's resume point depends on besides its slot.
bool resumeStillValid(const TerrainState& t, const ScanWindow& w) {
    return w.resumePoints == t.pointsGeneration && w.resumeIndex == t.index.generation &&
           w.resumeIndexUsable == (t.index.built && t.index.enabled) && w.resumePassAll == t.passAll;
}

void rememberResume(const TerrainState& t, ScanWindow& w, unsigned number, unsigned cacheSlot, int lo,
                    const CacheDescriptor* descriptors, const SURVCOORD* blocks) {
    // A scan through more blocks than the cache holds loads the chain's next block into the slot
    // at the clock hand, memory that has usually left the processor's caches since it was last
    // loaded. Touching that slot for writing while the walk goes through this block (a hint to
    // the processor, no change to the cache's contents) makes the load's copy cheaper.
    const DWORD next = descriptors[cacheSlot - 1].next;
    const BlockEntry* nextEntry = next != 0 ? findBlock(next) : nullptr;
    w.resumeNextLoad = nextEntry && nextEntry->cacheSlot == 0
                           ? blocks + static_cast<std::size_t>(t.clockHand - 1) * kDtmPointsPerBlock
                           : nullptr;
    w.resumeNumber = number;
    decodePointNumber(number, w.resumeBucket, w.resumePlace);
    w.resumeLongitude = lo;
    w.resumeDescriptor = descriptors + (cacheSlot - 1);
    w.resumeRecords = blocks + static_cast<std::size_t>(cacheSlot - 1) * kDtmPointsPerBlock;
    w.resumeSlot = cacheSlot;
    w.resumePoints = t.pointsGeneration;
    w.resumeIndex = t.index.generation;
    w.resumeIndexUsable = t.index.built && t.index.enabled;
    w.resumePassAll = t.passAll;
}

}  // namespace

void dbfScanLimits(RRect* area) {
    TerrainState& t = terrainState();
    RRect limits;
    if (area) {
        limits = *area;
    } else {
        dbfBuckLimit(&limits, 0);
    }
    for (double side : {limits.maxY, limits.minY, limits.minX, limits.maxX})
        if (!requireFinite("A side of the scan area", side)) {
            t.scan = ScanWindow{};
            t.scan.lastCell = 0;   // a scan of nothing: no cell number is at most 0
            return;
        }
    t.scan = windowOf(limits);
}

unsigned terrainStartCoordNear(SURVCOORD& record, RRect* area, const ScanCorridor& corridor) {
    dbfScanLimits(area);
    TerrainState& t = terrainState();
    if (t.scan.lastCell != 0) {
        t.scan.hasCorridor = true;
        t.scan.corridor = corridor;
    }
    unsigned number = 0;
    return dbfNextCoord(record, number);
}

unsigned dbfStartCoord(SURVCOORD& record, RRect* area) {
    dbfScanLimits(area);
    unsigned number = 0;
    return dbfNextCoord(record, number);
}

namespace {

// In place of a longitude of origin: the local projection, whose stored positions are the
// projected ones (the conversion only turns a position that is not a number into NaN). Decided
// once a call instead of converting through the projection for every point.
constexpr int kLocalPositions = INT_MIN;

int scanLongitudeOfOrigin() {
    return projGetProjectionNumber() == kProjLocal ? kLocalPositions : projGetLO(nullptr);
}

// The scan test of one stored point (slot of a cached block); copies it into the record when it
// passes.
// A record copied by 16-byte moves: the compiler makes a copy of the whole record (or of any
// large piece of it) a string move, which is slow to start for 146 bytes, and this copy runs
// once for every point a scan returns.
inline void copyRecord(SURVCOORD& to, const SURVCOORD& from) {
    auto* out = reinterpret_cast<unsigned char*>(&to);
    const auto* in = reinterpret_cast<const unsigned char*>(&from);
#if defined(__SSE2__)
    constexpr std::size_t kWhole = sizeof(SURVCOORD) / 16 * 16;
    for (std::size_t i = 0; i < kWhole; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)));
    std::memcpy(out + kWhole, in + kWhole, sizeof(SURVCOORD) - kWhole);
#else
    std::memcpy(out, in, sizeof(SURVCOORD));
#endif
}

// While the walk goes through a block whose chain continues into a block the cache does not
// hold, the slot that block will be loaded into is touched for writing, a piece for each point
// (see rememberResume).
[[gnu::always_inline]] inline void prepareNextLoad(const ScanWindow& w, unsigned slot) {
    if (w.resumeNextLoad) {
        const char* ahead = reinterpret_cast<const char*>(w.resumeNextLoad + slot);
        __builtin_prefetch(ahead, 1);
        __builtin_prefetch(ahead + 64, 1);
        __builtin_prefetch(ahead + 128, 1);
    }
}

[[gnu::always_inline]] inline bool takeCandidate(const TerrainState& t, const SURVCOORD* slotPoints, unsigned count, unsigned slot, int lo,
                   const ScanWindow& w, SURVCOORD& record) {
    // A chain's next block is never empty in a sound file; in a damaged one the walk goes on.
    if (slot > count) return false;
    const SURVCOORD& stored = slotPoints[slot - 1];
    if (!t.passAll && !surfaceVisibleToScan(t, stored.surface)) return false;
    // The position decides first, so that only the points returned are copied.
    double y = 0.0, x = 0.0;
    if (lo != kLocalPositions) {
        projLatLongToLO(stored.x, stored.y, lo, &y, &x);
    } else if (std::isfinite(stored.x) && std::isfinite(stored.y)) {
        y = stored.x;
        x = stored.y;
    } else {
        y = x = std::numeric_limits<double>::quiet_NaN();
    }
    if (!t.passAll && !w.contains(x, y)) return false;
    copyRecord(record, stored);
    record.x = x;
    record.y = y;
    // Seventeen bytes: a loop the compiler unrolls costs less than a call to look for a comma.
    if (!t.passAll)
        for (char& c : record.name) c = c == ',' ? '_' : c;
    return true;
}

// Whether the scan goes on from `number` in the block the last call returned from: that call
// returned `number`, its block is still the current slot, and nothing changed since.
[[gnu::always_inline]] inline bool canResume(const TerrainState& t, unsigned number) {
    const ScanWindow& w = t.scan;
    return number != 0 && number == w.resumeNumber && t.currentSlot == w.resumeSlot && resumeStillValid(t, w) &&
           t.slotBucket[w.resumeSlot] == w.resumeBucket;
}

// The next point of that block, with positions converted as they were for the last point (how is
// decided when the walk enters a block); 0 when the block is done.
[[gnu::always_inline]] inline unsigned nextInResumedBlock(TerrainState& t, int lo, SURVCOORD& record) {
    ScanWindow& w = t.scan;
    const DWORD bucket = w.resumeBucket;
    const unsigned count = std::min(w.resumeDescriptor->packed - bucket * kDtmPointsPerBlock, kDtmPointsPerBlock);
    for (unsigned slot = w.resumePlace; slot < count;) {
        prepareNextLoad(w, slot);
        if (takeCandidate(t, w.resumeRecords, count, ++slot, lo, w, record)) {
            w.resumePlace = slot;
            return w.resumeNumber = pointNumber(bucket, slot);
        }
    }
    return 0;
}

// The next point of the cell after the point whose order key is `after` (0: from the chain's
// start), through the point index: the same point the walk of the chain finds. 0 when none.
unsigned nextThroughIndex(const ScanWindow& w, unsigned cell, std::uint64_t after, int lo, SURVCOORD& record) {
    const TerrainState& t = terrainState();
    PointIndex& ix = terrainState().index;
    const auto& candidates = pointIndexCandidates(w, cell);
    std::size_t position;
    if (ix.cursorPosition < candidates.size() && candidates[ix.cursorPosition].first == after)
        position = ix.cursorPosition + 1;
    else
        position = static_cast<std::size_t>(
            std::upper_bound(candidates.begin(), candidates.end(), after,
                             [](std::uint64_t key, const std::pair<std::uint64_t, DWORD>& c) { return key < c.first; }) -
            candidates.begin());
    for (; position < candidates.size(); ++position) {
        const DWORD number = candidates[position].second;
        DWORD bucket;
        unsigned slot;
        decodePointNumber(number, bucket, slot);
        const unsigned cacheSlot = grabBucket(bucket);
        if (takeCandidate(t, slotRecords(cacheSlot), slotCount(cacheSlot), slot, lo, w, record)) {
            ix.cursorPosition = position;
            return number;
        }
    }
    ix.cursorPosition = candidates.size();
    return 0;
}

}  // namespace

namespace {

// The walk from a point (number 0: from the window's start) on along the chains of the window's
// cells; `resumed` when the caller has walked the rest of that point's block already.
[[gnu::noinline]] unsigned walkOn(TerrainState& t, SURVCOORD& record, unsigned& number, bool resumed, DWORD bucket,
                                  unsigned slot);

// A scan's next point in every case: the state made if need be, a block of positions to convert
// through the projection, a point looked up by its number, the walk on to the next block or cell.
[[gnu::noinline]] unsigned nextCoordAnyCase(SURVCOORD& record, unsigned& number);

}  // namespace

unsigned dbfNextCoord(SURVCOORD& record, unsigned& number) {
    // The usual call of a scan, with positions that need no projection: no call and nothing to
    // look up, as this runs once for every point a scan returns.
    if (TerrainState* const state = terrainStateMade;
        state != nullptr && state->scan.resumeLongitude == kLocalPositions && canResume(*state, number)) {
        if (const unsigned found = nextInResumedBlock(*state, kLocalPositions, record); found != 0)
            return number = found;
        // The block is done (its tail tested once): on along the chain.
        return walkOn(*state, record, number, true, state->scan.resumeBucket, kDtmPointsPerBlock);
    }
    return nextCoordAnyCase(record, number);
}

namespace {

unsigned nextCoordAnyCase(SURVCOORD& record, unsigned& number) {
    TerrainState& t = terrainState();
    if (!t.blocks) {
        number = 0;
        return 0;
    }
    if (!canResume(t, number)) return walkOn(t, record, number, false, 0, 0);
    if (const unsigned found = nextInResumedBlock(t, t.scan.resumeLongitude, record); found != 0) return number = found;
    // The block is done: on along the chain.
    return walkOn(t, record, number, true, t.scan.resumeBucket, kDtmPointsPerBlock);
}

unsigned walkOn(TerrainState& t, SURVCOORD& record, unsigned& number, bool resumed, DWORD bucket, unsigned slot) {
    ScanWindow& w = t.scan;
    unsigned cacheSlot = resumed ? w.resumeSlot : 0;
    // Every point and every cell is visited at most once; more steps than that means a chain
    // that loops back on itself in a damaged file, and the scan ends.
    std::uint64_t budget = static_cast<std::uint64_t>(t.header.usedBlocks) * kDtmPointsPerBlock + 2 * kDtmCells + 2;
    // Cells before the window's first one lie outside it: the walk over the cells starts there.
    unsigned cell = w.firstX * kDtmCellsPerSide + w.firstY + 1;
    const int lo = scanLongitudeOfOrigin();
    if (!resumed && number != 0) {
        decodePointNumber(number, bucket, slot);
        const BlockEntry* entry = findBlock(bucket);
        if (entry && entry->cell != 0 && pointIndexServes(w, entry->cell)) {
            // The rest of this cell through the index, then on to the next cell of the window.
            if (const unsigned found = nextThroughIndex(w, entry->cell, pointIndexKey(number), lo, record); found != 0)
                return number = found;
            cell = nextWindowCell(w, entry->cell);
            bucket = 0;
            if (cell == 0) budget = 0;
        } else {
            cacheSlot = grabBucket(bucket);
        }
    }
    // The cache memory, looked at directly: this loop runs once for every point of a scan.
    const DBFSTATE& memory = dbfState();
    const auto* descriptors = reinterpret_cast<const CacheDescriptor*>(memory.cacheDescriptors.get());
    const auto* blocks = reinterpret_cast<const SURVCOORD*>(memory.cacheBlocks.get());
    auto countIn = [&](unsigned s) { return descriptors[s - 1].packed - bucket * kDtmPointsPerBlock; };
    while (budget-- > 0) {
        if (bucket != 0) {
            if (slot < countIn(cacheSlot) && slot < kDtmPointsPerBlock) {
                ++slot;
            } else if (const DWORD next = descriptors[cacheSlot - 1].next; next != 0) {
                bucket = next;
                slot = 1;
                cacheSlot = grabBucket(bucket);
            } else {
                const BlockEntry* entry = findBlock(bucket);
                if (!entry) bucketListError("dbfNextCoord (1)", bucket);
                cell = nextWindowCell(w, entry->cell == 0 ? 1 : entry->cell);
                bucket = 0;
                if (cell == 0) break;
                continue;
            }
        } else {
            if (cell > w.lastCell) break;
            if (t.cellHeads[cell] == 0 || !cellInWindow(w, cell)) {
                ++cell;
                continue;
            }
            if (pointIndexServes(w, cell)) {
                if (const unsigned found = nextThroughIndex(w, cell, 0, lo, record); found != 0) return number = found;
                cell = nextWindowCell(w, cell);
                if (cell == 0) break;
                continue;
            }
            bucket = t.cellHeads[cell];
            slot = 1;
            cacheSlot = grabBucket(bucket);
        }
        if (!takeCandidate(t, blocks + static_cast<std::size_t>(cacheSlot - 1) * kDtmPointsPerBlock,
                           countIn(cacheSlot), slot, lo, w, record))
            continue;
        number = pointNumber(bucket, slot);
        rememberResume(t, w, number, cacheSlot, lo, descriptors, blocks);
        return number;
    }
    number = 0;
    return 0;
}

}  // namespace

void dbfBuckLimit(RRect* limits, int force) {
    TerrainState& t = terrainState();
    DTMHEADER& h = t.header;
    if ((force || !h.limitsValid) && t.blocks) {
        const ScanWindow saved = t.scan;
        t.scan = wholeSiteWindow();
        const bool savedPassAll = setScanPassAll(true);
        const char* text = "Determining site limits";
        const int total = static_cast<int>(t.pointTotal);
        const int step = dbfProgressStep(total);
        RRect found{kNoneLow, kNoneHigh, kNoneHigh, kNoneLow};
        SURVCOORD p;
        unsigned n = 0;
        int seen = 0;
        dbfDispGraph(0, 0, text);
        while (dbfNextCoord(p, n) != 0) {
            if (dblGreater(p.y, found.maxY)) found.maxY = p.y;
            if (dblLess(p.y, found.minY)) found.minY = p.y;
            if (dblLess(p.x, found.minX)) found.minX = p.x;
            if (dblGreater(p.x, found.maxX)) found.maxX = p.x;
            if (++seen % step == 0) dbfDispGraph(seen, total, text);
        }
        setScanPassAll(savedPassAll);
        t.scan = saved;
        CCadWindow* cad = dbfState().cadWindow;
        if (seen > 0) {
            if (cad) cad->gsSetZoomAllMyLimits(found.maxY, found.minX, found.minY, found.maxX);
            found.maxY += h.blockSize;
            found.minY -= h.blockSize;
            found.minX -= h.blockSize;
            found.maxX += h.blockSize;
        } else {
            found.minY = h.minY + 12.0 * h.blockSize;
            found.maxY = h.minY + 13.0 * h.blockSize;
            found.minX = h.minX + 12.0 * h.blockSize;
            found.maxX = h.minX + 13.0 * h.blockSize;
            if (cad) cad->gsSetZoomAllMyLimits(found.maxY, found.minX, found.minY, found.maxX);
        }
        std::memcpy(&h.limits, &found, sizeof found);   // a packed, unaligned field
        h.limitsValid = 1;
        dbfDispGraph(0, 0, nullptr);
    }
    if (limits) std::memcpy(limits, &h.limits, sizeof *limits);
}
