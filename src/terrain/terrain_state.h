// The terrain's part of the library state and the helpers the terrain files share: the open
// file, its header, the block list, the cell heads, the block cache bookkeeping, the scan area
// and the surface names.
//
// The cache memory itself (descriptors and point blocks) belongs to DBFSTATE: it is sized once at
// start-up. Everything here is reset by dbfResetState() through the registered reset function.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "database/terrain.h"
#include "frame/state.h"

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

// The scan area and the window of cells it covers.
struct ScanWindow {
    RRect area{};
    unsigned lastCell = kDtmCells;
    unsigned firstY = 0, lastY = kDtmCellsPerSide - 1;
    unsigned firstX = 0, lastX = kDtmCellsPerSide - 1;
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

struct TerrainState {
    FILE* stream = nullptr;
    DTMHEADER header{};
    int changed = 0;
    DWORD pointTotal = 0;
    std::unique_ptr<BlockList> blocks;           // exists while a database is open
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
};

// Called whenever stored points change; drops what was learnt from them.
inline void terrainPointsChanged(TerrainState& t) { ++t.pointsGeneration; }

// The terrain's part of the state (registered with the frame for resets on first use).
TerrainState& terrainState();

// ---------------------------------------------------------------------------------------------
// Messages and small services

// "Bucket list error in <where> [Bucket = <bucket - 1>]" in an error box.
void bucketListMessage(const char* where, DWORD bucket);
// The same, followed by the user exception that ends the host's command.
[[noreturn]] void bucketListError(const char* where, DWORD bucket);
void terrainError(const char* text);
void terrainInfo(const char* text);
// The computer's beep: the platform has no sound, so it is counted for the host and the tests.
void terrainBeep();
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
// Clears every cache descriptor and the slot bookkeeping.
void clearCache();

// The raw stored record of a point (no conversion), through the cache; null for number 0.
SURVCOORD* storedPoint(unsigned number);
// Marks the stored point's bucket dirty after a change made through storedPoint.
void storedPointChanged(unsigned number, const char* where, bool setChanged, int redraw);

// Scans: the pass-all switch of whole-database operations (returns the previous value).
bool setScanPassAll(bool on);

// ---------------------------------------------------------------------------------------------
// Filter and error marker services of the queries

// The filter and use flag a query works with: the given ones, or the display's filter and its
// switch when no filter is given.
const NAMEFILT* effectiveFilter(NAMEFILT* filter, int& useFilter);
// The error marker of the perimeter walks, as the frame's error-marker hooks.
bool terrainErrorMarkerShown();
void terrainErrorMarkerRedraw(_bsRECT* rect);
