// The terrain's part of the library state and the helpers the terrain files share: the open
// file, its header, the block list, the cell heads, the block cache bookkeeping, the scan area
// and the surface names.
//
// The cache memory itself (descriptors and point blocks) belongs to DBFSTATE: it is sized once at
// start-up. Everything here is reset by dbfResetState() through the registered reset function.
//
// The block cache: states and invariants
//
// A database is closed (no stream, no block list) or open (both). While it is open, between the
// cache's operations (grab, load, write back, blank, take a new block, open, close), these hold;
// terrainCheckInvariants() checks every one and names the first that is broken.
//
//  1. The stream and the block list exist together: both or neither.
//  2. The block list has one entry per bucket of the file, keyed 0 .. total blocks - 1, and each
//     entry's key is its bucket number - 1.
//  3. The entries' file blocks are 1 .. total blocks, each exactly once: a bucket lives in one
//     block and a block holds one bucket. Used blocks are 1 .. used blocks; used < total, so
//     there is always a blank block to take.
//  4. A slot holds a bucket b (slotBucket[s] = b, not 0) exactly when b's entry has cache slot
//     +s (clean) or -s (dirty); an entry with a cache slot names a slot that holds its bucket.
//  5. A free slot's descriptor is all zero; a held slot's packed word is b x 500 + count with
//     count 0..500.
//  6. The clock hand is a slot 1 .. slot count; the current slot is 0 or a slot that holds a
//     bucket; the protected bucket is 0 or a bucket of the list.
//  7. A cell head is 0 or a used bucket (its file block at most used blocks) that belongs to
//     that cell; blank buckets belong to no cell (cell 0).
//     entryByKey holds, for each key it covers, that key's entry in the list.
//  8. A failed write is sticky: once writeError is set it stays set until the next open or
//     create, the database refuses further changes, and the close reports it.
//
// The point index (point_index.cpp), while it is built, adds these:
//
//  9. Every point of every used bucket is in the index exactly once, under its number, in the
//     grid of its bucket's cell, in the square of that grid that holds its position (as the
//     scan sees it, converted from the stored record); the index holds nothing else, and each
//     cell's count is the number of its entries.
// 10. The ranks of the buckets of a cell's chain rise strictly along the chain, and the cell's
//     next rank is above all of them: ordering by (rank, slot) is the chain's order. The cell's
//     mark where adds look for room (openFrom) is 0 or a bucket of the chain, and every block
//     before it is full: the add finds the block the walk from the head finds.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <memory>
#include <utility>
#include <vector>

#include "database/terrain.h"
#include "frame/state.h"
#include "platform/tolerance.h"

// One entry of the block list: where a bucket lives in the file and in the cache.
struct BlockEntry {
    DWORD key = 0;            // bucket number - 1
    DWORD fileBlock = 0;
    std::int32_t cacheSlot = 0;   // 0 not cached, +s clean in slot s, -s dirty in slot s
    WORD cell = 0;            // 1..625; 0 for blank blocks
};

// Keyed by bucket number - 1, so bucket 0 (no bucket) wraps to the largest key and is never
// found.
using BlockList = std::map<DWORD, BlockEntry>;

#pragma pack(push, 1)
// The cache descriptor of one slot: packed bucket and count (bucket x 500 + count, as a point
// number), the chain links, and two spare bytes. A packed word of 0 is a free slot.
struct CacheDescriptor {
    DWORD packed;
    DWORD next;
    DWORD previous;
    WORD spare;
};
#pragma pack(pop)
static_assert(sizeof(CacheDescriptor) == kCacheDescriptorBytes, "a cache descriptor is 14 bytes");
static_assert(sizeof(SURVCOORD) * kDtmPointsPerBlock == kCacheBlockBytes,
              "a cache slot holds one block of point records");

// A line across the site, as a section frame gives it: distance(y, x) = a (y - y0) + b (x - x0)
// + c; and how far from it the points the caller keeps can lie: `reach` in distance units, plus,
// with `withLines`, the longest outgoing line of any point of the cell (scaled to distance units),
// for a caller that keeps only the crossings of lines with the line.
struct ScanCorridor {
    double y0 = 0, x0 = 0, a = 0, b = 0, c = 0, reach = 0;
    bool withLines = false;
};

// The scan area and the window of cells it covers.
struct ScanWindow {
    bool hasCorridor = false;                    // the scan may leave out points beyond the corridor
    ScanCorridor corridor;
    RRect area{};
    // The area's sides widened by the comparison tolerance, worked out once a scan: a point is
    // inside when no coordinate lies beyond them (so a position that is not a number passes,
    // as it does through the tolerant comparisons).
    double lowX = 0.0, highX = 0.0, lowY = 0.0, highY = 0.0;
    unsigned lastCell = kDtmCells;
    unsigned firstY = 0, lastY = kDtmCellsPerSide - 1;
    unsigned firstX = 0, lastX = kDtmCellsPerSide - 1;
    // Where the walk along a chain returned its last point: the next call goes on from there
    // without looking the bucket up again, while that point's slot is still the current one and
    // neither the points nor the index changed (resumeNumber 0: look it up).
    unsigned resumeNumber = 0, resumeSlot = 0;
    DWORD resumeBucket = 0;                      // the resume point's bucket and place in its block
    unsigned resumePlace = 0;
    std::uint64_t resumePoints = 0, resumeIndex = 0;
    bool resumeIndexUsable = false, resumePassAll = false;
    int resumeLongitude = 0;                     // how the walk converts positions (see the scan)
    const CacheDescriptor* resumeDescriptor = nullptr;   // the resume slot's descriptor and records
    const SURVCOORD* resumeRecords = nullptr;
    // The cache slot the chain's next block will be loaded into, when that block is not cached:
    // the walk touches it ahead of the load (see the scan). Null: nothing to prepare.
    const SURVCOORD* resumeNextLoad = nullptr;

    void setArea(const RRect& a) {
        area = a;
        lowX = a.minX - dblTolerance(a.minX);
        highX = a.maxX + dblTolerance(a.maxX);
        lowY = a.minY - dblTolerance(a.minY);
        highY = a.maxY + dblTolerance(a.maxY);
    }
    bool contains(double x, double y) const { return !(x < lowX || x > highX || y < lowY || y > highY); }
};

// Hooks to the subsystems above the point store that the frame's hook table does not carry.
// They name code, not data, so a state reset keeps them. Null means nothing to do.
struct TerrainHooks {
    void (*setNamesOld)() = nullptr;                   // the display's names list is out of date
    void (*setupDrawing)(int force) = nullptr;         // the display prepares the drawing window
    // The point filter; while none is installed every point passes.
    int (*passesFilter)(const SURVCOORD* point, const NAMEFILT* filter) = nullptr;
    // The display's own filter and its on/off switch, which the queries use when they are given
    // no filter. Null: no display filter (every point passes).
    NAMEFILT* (*displayFilter)(int& on) = nullptr;
};
TerrainHooks& terrainHooks();

// The point index: for each cell, a grid of squares over the cell, each listing the numbers of
// the points of the cell's chain that lie in it, with their position within the cell to 1/65536
// of the cell's side. An area scan visits only the squares the area meets and the points that
// may lie inside it, and returns them in the chain's order by sorting them by (rank of their
// bucket along the chain, slot). 8 bytes a point, plus a few bytes a square and a rank a bucket.
struct PointIndexEntry {
    DWORD number;
    WORD qy, qx;                                 // position within the cell, 0..65535
};
struct PointIndexCell {
    unsigned side = 0;                           // squares per side of the grid (0: no grid yet)
    DWORD count = 0;                             // entries in the grid
    DWORD nextRank = 0;                          // the rank the next bucket linked at the end takes
    // The longest outgoing line of the cell's points, when known: valid while lineGeneration is
    // the index's and no block of the cell changed since (negative: to be measured again).
    double longestLine = -1.0;
    std::uint64_t lineGeneration = 0;
    // A bucket of the chain before which every block is full, where an add starts looking for
    // room (0: from the head).
    DWORD openFrom = 0;
    std::vector<std::vector<PointIndexEntry>> squares;   // side x side, y fastest
};
struct PointIndex {
    bool built = false;                          // kept in step with the points (invariants 9, 10)
    bool enabled = true;                         // off: scans walk every chain (for tests)
    bool unbuildable = false;                    // the last build failed (memory): not tried again
    std::uint64_t generation = 1;                // bumped by every change of the index
    std::vector<DWORD> rank;                     // by bucket number
    std::vector<PointIndexCell> cells;           // by cell number 0..625
    std::uint64_t lineGeneration = 1;            // bumped when a point moves: every line's length may change
    // The candidates of the last cell an area scan visited through the index, in chain order:
    // (rank x 512 + slot, number). Valid for that area, cell and generation.
    RRect cursorArea{};
    bool cursorHasCorridor = false;
    ScanCorridor cursorCorridor;
    unsigned cursorCell = 0;
    std::uint64_t cursorGeneration = 0;
    std::size_t cursorPosition = 0;
    std::vector<std::pair<std::uint64_t, DWORD>> cursor;
    // The last answer of pointIndexServes, for the scan area it was given.
    RRect servesArea{};
    bool servesCorridor = false, servesAnswer = false;
    unsigned servesCell = 0;
    std::uint64_t servesGeneration = 0;
};

struct TerrainState {
    FILE* stream = nullptr;
    DTMHEADER header{};
    int changed = 0;
    DWORD pointTotal = 0;
    std::unique_ptr<BlockList> blocks;           // exists while a database is open
    // The block list's entries by key, for look-ups without walking the tree: a prefix of the
    // list (keys 0, 1, ...), made again by findBlock when the list's size changed, emptied
    // whenever the list is made or destroyed.
    std::vector<BlockEntry*> entryByKey;
    std::size_t entryByKeyListSize = 0;
    DWORD cellHeads[kDtmCells + 1] = {};         // head bucket of each cell's chain

    // Cache bookkeeping (slots numbered from 1).
    unsigned clockHand = 1;
    unsigned currentSlot = 0;
    DWORD protectedBucket = 0;
    int safeMode = 1;
    // The bucket each slot holds (0 free). The descriptor's packed word cannot tell an empty
    // block of bucket b from a full block of bucket b - 1, so the slot remembers its bucket.
    std::vector<DWORD> slotBucket;

    ScanWindow scan;
    bool passAll = false;                        // whole-database operations see every point
    PointIndex index;

    bool surfaceNamesLoaded = false;
    char surfaceNames[kDtmSurfaces][26] = {};
    char surfaceLayers[kDtmSurfaces][33] = {};

    // Settings read on open for the name lists and the road labels of the display and roads.
    int namesListMax = 200;
    int namesListNum = 0;
    char roadLabels[4][10] = {};

    int beeps = 0;                               // the beeps asked for (see terrainBeep)

    // Bumped by every change of the stored points (a block marked dirty or blanked, an open or
    // a close): what was learnt from the points before is out of date when it moves.
    std::uint64_t pointsGeneration = 1;

    // The name index of dbfFindName, a hash table laid out flat: the entries grouped by the top
    // bits of their name's hash (nameIndexShift drops the rest), the group of hash h running from
    // nameIndexStarts[h >> shift] to the next start. Built when a look-up finds the points
    // unchanged since the previous look-up, dropped at any change.
    struct NameIndexEntry {
        std::uint32_t check;                     // the hash's low bits, to skip other names
        DWORD number;
    };
    std::vector<NameIndexEntry> nameIndex;
    std::vector<std::uint32_t> nameIndexStarts;
    unsigned nameIndexShift = 63;
    std::uint64_t nameIndexGeneration = 0;       // the points the index was built from
    std::uint64_t lastLookupGeneration = 0;      // the points the last plain look-up saw

    // The fence polygon of the filter loaded last (dbfLoadNameFilter).
    std::vector<PNT_2D_record> fence;

    // The error marker of a failed perimeter walk.
    PNT_2D_record errorMarker{};
    bool errorMarkerShown = false;

    // Set when dbfRemoveDuplicates met a damaged block list.
    bool duplicateError = false;

    // Set when the last long operation (duplicate marking, surface copy, line rebuild) ended on
    // Escape, so that the caller can tell a cancelled run from one that found nothing.
    bool cancelled = false;

    // The file open now, for messages.
    std::string fileName;
    // The header as it is in the file, kept from the open: a session that wrote nothing writes
    // these bytes back at the close, so that a query leaves the file as it was.
    DTMHEADER headerOnDisk{};
    bool fileWritten = false;                    // some write to the file in this session
    // The first failed write of the session (invariant 8): its reason, empty while none failed.
    std::string writeError;
};

// Called whenever stored points change; drops what was learnt from them.
inline void terrainPointsChanged(TerrainState& t) { ++t.pointsGeneration; }

// The terrain's part of the state (registered with the frame for resets on first use).
TerrainState& terrainState();
// The same state once terrainState has made it (null before): for the scan's per-point path,
// which cannot afford a call.
[[gnu::visibility("hidden")]] extern TerrainState* terrainStateMade;

// ---------------------------------------------------------------------------------------------
// Messages and small services

// Whether a real is usable as a coordinate, height or distance: not NaN nor infinite.
bool finiteReal(double value);
// Shows "<what> must be a number, not <value>" and returns false when a value is NaN or
// infinite; true otherwise.
bool requireFinite(const char* what, double value);

// "Bucket list error in <where> [Bucket = <bucket - 1>]" in an error box.
void bucketListMessage(const char* where, DWORD bucket);
// The same, followed by the user exception that ends the host's command.
[[noreturn]] void bucketListError(const char* where, DWORD bucket);
void terrainError(const char* text);
void terrainInfo(const char* text);
// The computer's beep: the platform has no sound, so it is counted for the host and the tests.
void terrainBeep();
// dbfCheckEscape for the long operations: a press is remembered in the state (cancelled), so that
// the caller can tell a cancelled run from one that found nothing (dbfTerrainCancelled).
bool terrainEscapePressed(int& abort);
void terrainViewDirty();
void terrainNamesOld();

// ---------------------------------------------------------------------------------------------
// Positions

// Decodes a point number into bucket and slot (slot 1..500).
inline void decodePointNumber(unsigned number, DWORD& bucket, unsigned& slot) {
    bucket = number / kDtmPointsPerBlock;
    slot = number - bucket * kDtmPointsPerBlock;
    if (slot == 0 && bucket != 0) {
        --bucket;
        slot = kDtmPointsPerBlock;
    }
}
inline unsigned pointNumber(DWORD bucket, unsigned slot) { return bucket * kDtmPointsPerBlock + slot; }

// Cell of a position by the plain rule (dbfBlockNumber) or the stored-point rule.
WORD cellOf(double y, double x, bool storedPoint);
// The y and x indices (0..24) of a cell 1..625.
inline unsigned cellYIndex(unsigned cell) { return (cell - 1) % kDtmCellsPerSide; }
inline unsigned cellXIndex(unsigned cell) { return (cell - 1) / kDtmCellsPerSide; }

// Conversions between the stored (geographic) and the projected record.
void storedToProjected(SURVCOORD& record);
// 0 when the projection cannot represent the position (the record then holds NaN).
int projectedToStored(SURVCOORD& record);

// ---------------------------------------------------------------------------------------------
// The block cache

BlockEntry* findBlock(DWORD bucket);
CacheDescriptor& slotDescriptor(unsigned slot);
SURVCOORD* slotRecords(unsigned slot);
unsigned slotCount(unsigned slot);              // points in the block held by the slot
void setSlotCount(unsigned slot, unsigned count);

// Brings a bucket into the cache (protecting terrainState().protectedBucket) and makes its slot
// the current one; returns the slot.
unsigned grabBucket(DWORD bucket);
// Writes a slot's block to its file block; releasing frees the slot.
void writeBackSlot(unsigned slot, bool release);
// Writes a blank block of the bucket at the file block and records it there.
void blankBucket(DWORD bucket, DWORD fileBlock);
// Takes the first blank block into use; returns its bucket.
DWORD takeNewBlock();
// Marks a cached bucket dirty; false when it has no entry.
bool markBucketDirty(DWORD bucket);
// Writes the 396-byte header at offset 0.
bool writeFileHeader();
// Writes bytes at an offset of the open file; a failure is recorded (invariant 8) with where it
// happened and the system's reason, and false is returned.
bool writeTerrainBytes(std::int64_t offset, const void* bytes, std::size_t count, const char* what);
// Pushes what the stream buffers to the file, recording a failure like a write.
bool flushTerrainFile();
// When a write of this session failed: shows the message (file and reason) and returns true, so
// that a change is refused instead of being lost.
bool terrainWriteFailed();

// The invariants above: an empty text when they hold, else the first broken one.
std::string terrainCheckInvariants();
// In debug and sanitizer builds, stops the program with the broken invariant and where it was
// found; in other builds does nothing.
void terrainAssertInvariants(const char* where);
// The same for what one grab or write-back touches (invariants 4 to 6 for the slot): cheap enough
// for every transfer of a block; the whole check runs at the end of the operations on points.
void terrainAssertSlot(unsigned slot, const char* where);
// Clears every cache descriptor and the slot bookkeeping.
void clearCache();

// The raw stored record of a point (no conversion), through the cache; null for number 0.
SURVCOORD* storedPoint(unsigned number);
// Marks the stored point's bucket dirty after a change made through storedPoint.
void storedPointChanged(unsigned number, const char* where, bool setChanged, int redraw);

// Scans: the pass-all switch of whole-database operations (returns the previous value).
bool setScanPassAll(bool on);

// ---------------------------------------------------------------------------------------------
// The point index (point_index.cpp)

// Builds the index from the blocks (cached ones from the cache, the others from the file),
// with progress; on failure (memory, a damaged chain or record) leaves it unbuilt.
void pointIndexBuild();
void pointIndexDrop();
// Builds it again when it was dropped; true when it is built.
bool pointIndexReady();
// A bucket joins its cell's chain at the end (a new head or a block linked after the last).
void pointIndexLinked(DWORD bucket, WORD cell);
// Where an add to the cell starts walking its chain: a bucket before which all blocks are full,
// or the head. An add put a point into the bucket; a bucket left the chain.
DWORD pointIndexOpenFrom(WORD cell);
void pointIndexFilled(DWORD bucket, WORD cell);
void pointIndexUnlinked(DWORD bucket, WORD cell);
// A point was stored under a number (the stored, geographic record); it was taken out.
void pointIndexAdded(unsigned number, WORD cell, const SURVCOORD& stored);
void pointIndexRemoved(unsigned number, WORD cell, const SURVCOORD& stored);
// The point at `from` now has the number `to` (same bucket).
void pointIndexRenumbered(unsigned from, unsigned to, WORD cell, const SURVCOORD& stored);
// A stored point changed from one record to another (its position may have moved).
void pointIndexStored(unsigned number, WORD cell, const SURVCOORD& before, const SURVCOORD& after);
// A block of the bucket changed: the longest line of its cell is to be measured again.
void pointIndexBlockChanged(DWORD bucket);
// Whether a scan walks this cell through the index rather than its whole chain.
bool pointIndexServes(const ScanWindow& scan, unsigned cell);
// The candidates of the scan in the cell, in chain order (see PointIndex::cursor).
const std::vector<std::pair<std::uint64_t, DWORD>>& pointIndexCandidates(const ScanWindow& scan, unsigned cell);
// dbfStartCoord over the area, which may leave out the points beyond the corridor (see
// ScanCorridor): the section cuts, which ignore those points, read only the points near the
// section line.
unsigned terrainStartCoordNear(SURVCOORD& record, RRect* area, const ScanCorridor& corridor);
// The order key of a point number: rank of its bucket x 512 + slot.
std::uint64_t pointIndexKey(unsigned number);
// Turns the index off and on for the scans (tests compare both); returns the previous setting.
bool pointIndexEnable(bool on);
// Invariants 9 and 10: empty when they hold (or the index is not built).
std::string pointIndexCheck();
// Bytes the index holds now (its entries, squares and ranks).
std::size_t pointIndexBytes();

// ---------------------------------------------------------------------------------------------
// Filter and error marker services of the queries

// The filter and use flag a query works with: the given ones, or the display's filter and its
// switch when no filter is given.
const NAMEFILT* effectiveFilter(NAMEFILT* filter, int& useFilter);
// The error marker of the perimeter walks, as the frame's error-marker hooks.
bool terrainErrorMarkerShown();
void terrainErrorMarkerRedraw(_bsRECT* rect);
