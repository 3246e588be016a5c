// The terrain state, the block list and the block cache: grabbing buckets into cache slots with
// the clock hand, writing dirty slots back, blank blocks and taking new blocks.
#include <cmath>
#include <cstring>

#include "database/frame.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "platform/proj.h"
#include "terrain/terrain_state.h"

namespace {

void resetTerrainState() {
    TerrainState& t = terrainState();
    t.stream = coreFileClose(t.stream);
    t = TerrainState{};
}

std::int64_t fileBlockOffset(DWORD fileBlock) {
    return static_cast<std::int64_t>(fileBlock) * kDtmBlockLength;
}

}  // namespace

// The frame asks the terrain whether an error marker is shown and draws it through these; a
// display that installs its own marker drawing first keeps it.
int installErrorMarkerHooks() {
    DbfHooks& hooks = dbfState().hooks;
    if (!hooks.errorMarkersExist) hooks.errorMarkersExist = terrainErrorMarkerShown;
    if (!hooks.errorMarkerRedraw) hooks.errorMarkerRedraw = terrainErrorMarkerRedraw;
    return 1;
}

TerrainState& terrainState() {
    static TerrainState state;
    static const int registered = dbfRegisterStatePart(resetTerrainState) + installErrorMarkerHooks();
    (void)registered;
    return state;
}

TerrainHooks& terrainHooks() {
    static TerrainHooks hooks = [] {
        TerrainHooks h;
        h.passesFilter = dbfPassesFilter;
        return h;
    }();
    return hooks;
}

// ---------------------------------------------------------------------------------------------
// Messages and small services

void bucketListMessage(const char* where, DWORD bucket) {
    ErrorMessage(dbfFormatText("Bucket list error in %s [Bucket = %d]", where,
                               static_cast<int>(bucket - 1)),
                 dbfOwner());
}

void bucketListError(const char* where, DWORD bucket) {
    bucketListMessage(where, bucket);
    AfxThrowUserException();
}

void terrainError(const char* text) { ErrorMessage(text, dbfOwner()); }
void terrainInfo(const char* text) { InfoMessage(text, dbfOwner()); }

void terrainBeep() { ++terrainState().beeps; }

void terrainViewDirty() {
    if (CCadWindow* cad = dbfState().cadWindow) cad->gsSetViewDirty(true);
}

void terrainNamesOld() {
    if (terrainHooks().setNamesOld) terrainHooks().setNamesOld();
}

// ---------------------------------------------------------------------------------------------
// Positions

namespace {

// The index (0..24) of a coordinate along one side of the site. NaN and positions outside the
// site are clamped like any other position, so damaged records still name a cell.
unsigned axisIndex(double value, double minimum, double maximum, double blockSize, bool storedPoint) {
    if (!(value >= minimum)) value = minimum;
    if (!(value <= maximum - 1.0)) value = maximum - 1.0;
    double offset = value - minimum;
    if (storedPoint) offset = (offset * 1000.0 + 0.5) / 1000.0;
    const double index = std::floor(offset / blockSize);
    if (!(index >= 0.0)) return 0;    // a damaged block size gives NaN or a negative index
    if (index >= 1e9) return static_cast<unsigned>(1e9) % kDtmCellsPerSide;
    return static_cast<unsigned>(index) % kDtmCellsPerSide;
}

}  // namespace

WORD cellOf(double y, double x, bool storedPoint) {
    const DTMHEADER& h = terrainState().header;
    const unsigned yi = axisIndex(y, h.minY, h.maxY, h.blockSize, storedPoint);
    const unsigned xi = axisIndex(x, h.minX, h.maxX, h.blockSize, storedPoint);
    return static_cast<WORD>(xi * kDtmCellsPerSide + yi + 1);
}

void storedToProjected(SURVCOORD& record) {
    double y = 0.0, x = 0.0;
    projLatLongToLO(record.x, record.y, projGetLO(nullptr), &y, &x);
    record.x = x;
    record.y = y;
}

int projectedToStored(SURVCOORD& record) {
    double first = 0.0, second = 0.0;
    const int ok = projLOToLatLong(record.y, record.x, projGetLO(nullptr), &first, &second);
    record.x = first;
    record.y = second;
    return ok;
}

// ---------------------------------------------------------------------------------------------
// The block cache

BlockEntry* findBlock(DWORD bucket) {
    TerrainState& t = terrainState();
    if (!t.blocks) return nullptr;
    auto it = t.blocks->find(bucket - 1);
    return it == t.blocks->end() ? nullptr : &it->second;
}

CacheDescriptor& slotDescriptor(unsigned slot) {
    return reinterpret_cast<CacheDescriptor*>(dbfState().cacheDescriptors.get())[slot - 1];
}

SURVCOORD* slotRecords(unsigned slot) {
    return reinterpret_cast<SURVCOORD*>(dbfState().cacheBlocks.get() +
                                        static_cast<std::size_t>(slot - 1) * kCacheBlockBytes);
}

unsigned slotCount(unsigned slot) {
    return slotDescriptor(slot).packed - terrainState().slotBucket[slot] * kDtmPointsPerBlock;
}

void setSlotCount(unsigned slot, unsigned count) {
    slotDescriptor(slot).packed = terrainState().slotBucket[slot] * kDtmPointsPerBlock + count;
}

void clearCache() {
    TerrainState& t = terrainState();
    DBFSTATE& s = dbfState();
    if (s.cacheDescriptors) std::memset(s.cacheDescriptors.get(), 0, s.cacheSlots * kCacheDescriptorBytes);
    t.slotBucket.assign(s.cacheSlots + 1, 0);
    t.clockHand = 1;
    t.currentSlot = 0;
    t.protectedBucket = 0;
}

bool writeFileHeader() {
    TerrainState& t = terrainState();
    return coreFileSetPointer(0, 0, t.stream) && coreFileBinWrite(&t.header, sizeof t.header, t.stream);
}

void writeBackSlot(unsigned slot, bool release) {
    TerrainState& t = terrainState();
    const DWORD bucket = t.slotBucket[slot];
    BlockEntry* entry = findBlock(bucket);
    if (!entry) bucketListError("store_bucket (1)", bucket);
    const CacheDescriptor& d = slotDescriptor(slot);
    DTMBLOCKHEAD head{};
    head.bucket = bucket;
    head.next = d.next;
    head.previous = d.previous;
    head.count = static_cast<WORD>(slotCount(slot));
    // A failed write leaves the file as it was; the block stays readable from the cache until
    // the slot is reused, and nothing better can be done without a message of its own.
    if (coreFileSetPointer(0, fileBlockOffset(entry->fileBlock), t.stream)) {
        coreFileBinWrite(&head, sizeof head, t.stream);
        coreFileBinWrite(slotRecords(slot), head.count * sizeof(SURVCOORD), t.stream);
    }
    entry->cacheSlot = static_cast<std::int32_t>(slot);
    if (release) {
        entry->cacheSlot = 0;
        slotDescriptor(slot) = CacheDescriptor{};
        t.slotBucket[slot] = 0;
    }
}

namespace {

bool slotDirty(unsigned slot, const char* where) {
    const DWORD bucket = terrainState().slotBucket[slot];
    if (bucket == 0) return false;
    BlockEntry* entry = findBlock(bucket);
    if (!entry) bucketListError(where, bucket);
    return entry->cacheSlot < 0;
}

void loadBucket(DWORD bucket, unsigned slot) {
    TerrainState& t = terrainState();
    BlockEntry* entry = findBlock(bucket);
    if (!entry) bucketListError("load_bucket (1)", bucket);
    DTMBLOCKHEAD head{};
    if (!coreFileSetPointer(0, fileBlockOffset(entry->fileBlock), t.stream) ||
        !coreFileBinRead(&head, sizeof head, t.stream))
        head = DTMBLOCKHEAD{};
    // A damaged count must not read past the slot.
    const unsigned count = head.count > kDtmPointsPerBlock ? kDtmPointsPerBlock : head.count;
    t.slotBucket[slot] = bucket;
    CacheDescriptor& d = slotDescriptor(slot);
    d = CacheDescriptor{};
    d.packed = bucket * kDtmPointsPerBlock + count;
    d.next = head.next;
    d.previous = head.previous;
    if (!coreFileBinRead(slotRecords(slot), count * sizeof(SURVCOORD), t.stream))
        std::memset(slotRecords(slot), 0, count * sizeof(SURVCOORD));
    entry->cacheSlot = static_cast<std::int32_t>(slot);
    t.clockHand = slot + 1 > dbfState().cacheSlots ? 1 : slot + 1;
}

}  // namespace

unsigned grabBucket(DWORD bucket) {
    TerrainState& t = terrainState();
    const unsigned slots = dbfState().cacheSlots;
    // The usual case of a scan or a run of changes within one block: nothing to look up.
    if (t.currentSlot != 0 && t.slotBucket[t.currentSlot] == bucket && bucket != 0) return t.currentSlot;

    BlockEntry* entry = findBlock(bucket);
    if (!entry) bucketListError("grab_bucket (1)", bucket);
    if (entry->cacheSlot != 0) {
        const unsigned slot = static_cast<unsigned>(std::abs(entry->cacheSlot));
        if (t.safeMode && t.currentSlot != 0 && t.currentSlot != slot && slotDirty(t.currentSlot, "grab_bucket (3)"))
            writeBackSlot(t.currentSlot, false);
        t.currentSlot = slot;
        return slot;
    }

    unsigned slot = t.clockHand;
    if (t.slotBucket[slot] != 0 && t.slotBucket[slot] == t.protectedBucket)
        slot = slot + 1 > slots ? 1 : slot + 1;
    if (t.slotBucket[slot] != 0) {
        const DWORD held = t.slotBucket[slot];
        BlockEntry* heldEntry = findBlock(held);
        if (!heldEntry) bucketListError("grab_bucket (2)", held);
        if (heldEntry->cacheSlot < 0) {
            writeBackSlot(slot, true);
        } else {
            heldEntry->cacheSlot = 0;
            slotDescriptor(slot) = CacheDescriptor{};
            t.slotBucket[slot] = 0;
        }
        if (t.currentSlot == slot) t.currentSlot = 0;
    }
    if (t.safeMode && t.currentSlot != 0 && t.currentSlot != slot && slotDirty(t.currentSlot, "grab_bucket (3)"))
        writeBackSlot(t.currentSlot, false);
    t.currentSlot = slot;
    loadBucket(bucket, slot);
    return slot;
}

bool markBucketDirty(DWORD bucket) {
    BlockEntry* entry = findBlock(bucket);
    if (!entry) return false;
    terrainPointsChanged(terrainState());
    if (entry->cacheSlot > 0) entry->cacheSlot = -entry->cacheSlot;
    return true;
}

void blankBucket(DWORD bucket, DWORD fileBlock) {
    TerrainState& t = terrainState();
    BlockEntry* entry = findBlock(bucket);
    if (!entry) bucketListError("dbfBlankBucket (1)", bucket);
    terrainPointsChanged(t);
    static const DTMBLOCK blank{};
    DTMBLOCKHEAD head{};
    head.bucket = bucket;
    if (coreFileSetPointer(0, fileBlockOffset(fileBlock), t.stream)) {
        coreFileBinWrite(&head, sizeof head, t.stream);
        coreFileBinWrite(blank.points, sizeof blank.points, t.stream);
    }
    entry->fileBlock = fileBlock;
}

DWORD takeNewBlock() {
    TerrainState& t = terrainState();
    DTMHEADER& h = t.header;
    h.usedBlocks += 1;
    DTMBLOCKHEAD head{};
    if (!coreFileSetPointer(0, fileBlockOffset(h.usedBlocks), t.stream) ||
        !coreFileBinRead(&head, sizeof head, t.stream))
        head = DTMBLOCKHEAD{};
    const DWORD saved = t.protectedBucket;
    t.protectedBucket = 0;
    grabBucket(head.bucket);
    t.protectedBucket = saved;
    if (h.usedBlocks >= h.totalBlocks) {
        h.totalBlocks += 1;
        BlockEntry added;
        added.key = h.totalBlocks - 1;
        added.fileBlock = h.totalBlocks;
        t.blocks->emplace(added.key, added);
        blankBucket(h.totalBlocks, h.totalBlocks);
    }
    writeFileHeader();
    return head.bucket;
}

SURVCOORD* storedPoint(unsigned number) {
    if (number == 0) return nullptr;
    DWORD bucket;
    unsigned slot;
    decodePointNumber(number, bucket, slot);
    const unsigned cacheSlot = grabBucket(bucket);
    return &slotRecords(cacheSlot)[slot - 1];
}

void storedPointChanged(unsigned number, const char* where, bool setChanged, int redraw) {
    DWORD bucket;
    unsigned slot;
    decodePointNumber(number, bucket, slot);
    if (!markBucketDirty(bucket)) bucketListError(where, bucket);
    if (setChanged) terrainState().changed = 1;
    if (redraw) terrainViewDirty();
}

bool setScanPassAll(bool on) {
    TerrainState& t = terrainState();
    const bool previous = t.passAll;
    t.passAll = on;
    return previous;
}
