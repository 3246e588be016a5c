// Points: reading, storing, adding, removing (with the move of the block's last point and the
// compaction of the file) and editing.
#include <cmath>
#include <cstring>

#include "database/frame.h"
#include "platform/core.h"
#include "platform/proj.h"
#include "terrain/terrain_state.h"

namespace {

bool databaseOpen() { return terrainState().blocks != nullptr && terrainState().stream != nullptr; }

// Keeps a bucket in the cache for the length of an operation and restores the previous
// protection afterwards, also when a bucket list error ends the operation.
class ProtectBucket {
public:
    explicit ProtectBucket(DWORD bucket) : saved_(terrainState().protectedBucket) {
        terrainState().protectedBucket = bucket;
    }
    ~ProtectBucket() { terrainState().protectedBucket = saved_; }
    ProtectBucket(const ProtectBucket&) = delete;
    ProtectBucket& operator=(const ProtectBucket&) = delete;

private:
    DWORD saved_;
};

// The bucket whose block lies at the file block (0 when none does).
DWORD bucketAtFileBlock(DWORD fileBlock) {
    for (const auto& [key, entry] : *terrainState().blocks)
        if (entry.fileBlock == fileBlock) return key + 1;
    return 0;
}

void afterCountChange(int delta) {
    TerrainState& t = terrainState();
    t.changed = 1;
    terrainViewDirty();
    if (delta > 0) ++t.pointTotal;
    else if (t.pointTotal > 0) --t.pointTotal;
    terrainNamesOld();
}

// Whether a record's position and height are numbers; shows which point's are not.
bool coordinatesUsable(const SURVCOORD& record) {
    if (finiteReal(record.y) && finiteReal(record.x) && finiteReal(record.z)) return true;
    char name[sizeof record.name + 1];
    std::memcpy(name, record.name, sizeof record.name);
    name[sizeof record.name] = 0;
    terrainError(dbfFormatText("Point %s not stored: its coordinates must be numbers (y %g, x %g, z %g)", name,
                               record.y, record.x, record.z));
    return false;
}

}  // namespace

void dbfGrabCoord(SURVCOORD& record, unsigned number) {
    if (number == 0 || !databaseOpen()) return;
    record = *storedPoint(number);
    storedToProjected(record);
}

void dbfStoreCoord(SURVCOORD& record, unsigned number, int redraw) {
    if (number == 0 || !databaseOpen() || terrainWriteFailed() || !coordinatesUsable(record)) return;
    SURVCOORD stored = record;
    projectedToStored(stored);
    SURVCOORD* target = storedPoint(number);
    const SURVCOORD before = *target;
    *target = stored;
    storedPointChanged(number, "dbfStoreCoord (1)", true, redraw);
    DWORD bucket;
    unsigned slot;
    decodePointNumber(number, bucket, slot);
    if (const BlockEntry* entry = findBlock(bucket)) pointIndexStored(number, entry->cell, before, stored);
}

void dbfStoreCoordFlags(SURVCOORD& record, unsigned number) {
    if (number == 0 || !databaseOpen() || terrainWriteFailed()) return;
    std::memcpy(storedPoint(number)->work, record.work, sizeof record.work);
    storedPointChanged(number, "dbfStoreCoordFlags (1)", false, 0);
}

int dbfCoordExists(SURVCOORD& record, unsigned number) {
    if (number == 0 || !databaseOpen()) return 0;
    record = *storedPoint(number);
    return dblIsZero(record.x) && dblIsZero(record.y) ? 0 : 1;
}

void dbfPackStruct(const char* name, double y, double x, double z, WORD surface, SURVCOORD& record) {
    record = SURVCOORD{};
    coreStrncpy(record.name, name ? name : "", sizeof record.name);
    record.y = y;
    record.x = x;
    record.z = z;
    record.surface = surface;
}

int dbfAddCoord(SURVCOORD& record, unsigned& number) {
    number = 0;
    if (!databaseOpen() || terrainWriteFailed() || !coordinatesUsable(record)) return 0;
    TerrainState& t = terrainState();
    const double callerX = record.x, callerY = record.y;
    SURVCOORD stored = record;
    projectedToStored(stored);
    if (!projValidateGeoCoord(stored.x, stored.y, projGetLO(nullptr))) {
        terrainError("Large coordinate impossible for current projection.\nCheck your data or use Local projection.");
        return 0;
    }
    t.header.limitsValid = 0;
    const WORD cell = cellOf(callerY, callerX, true);

    DWORD target;
    if (t.cellHeads[cell] == 0) {
        target = takeNewBlock();
        t.cellHeads[cell] = target;
        if (BlockEntry* head = findBlock(target)) head->cell = cell;   // a cell head belongs to its cell
        pointIndexLinked(target, cell);
    } else {
        // The walk from the head would pass over full blocks only up to where the index says.
        DWORD bucket = pointIndexOpenFrom(cell);
        for (DWORD walked = 0;; ++walked) {
            // A chain longer than the file has blocks loops back on itself: the file is damaged.
            if (walked > t.header.totalBlocks) {
                bucketListMessage("dbfAddCoord (1)", bucket);
                return 0;
            }
            const unsigned slot = grabBucket(bucket);
            if (slotCount(slot) < kDtmPointsPerBlock) {
                target = bucket;
                break;
            }
            if (slotDescriptor(slot).next != 0) {
                bucket = slotDescriptor(slot).next;
                continue;
            }
            // The chain is full: link a new block after its last one. The full block is grabbed
            // again because taking the new block may have moved it out of the cache.
            const DWORD added = takeNewBlock();
            {
                ProtectBucket keep(added);
                const unsigned full = grabBucket(bucket);
                slotDescriptor(full).next = added;
                if (!markBucketDirty(bucket)) {
                    bucketListMessage("dbfAddCoord (1)", bucket);
                    return 0;
                }
            }
            ProtectBucket keep(bucket);
            slotDescriptor(grabBucket(added)).previous = bucket;
            pointIndexLinked(added, cell);
            target = added;
            break;
        }
    }

    const unsigned slot = grabBucket(target);
    const unsigned count = slotCount(slot);
    slotRecords(slot)[count] = stored;
    setSlotCount(slot, count + 1);
    BlockEntry* entry = findBlock(target);
    if (!entry) {
        bucketListMessage("dbfAddCoord (2)", target);
        return 0;
    }
    markBucketDirty(target);
    entry->cell = cell;
    pointIndexFilled(target, cell);
    number = pointNumber(target, count + 1);
    pointIndexAdded(number, cell, stored);
    afterCountChange(+1);
    terrainAssertInvariants("dbfAddCoord");
    return 1;
}

unsigned dbfRemCoord(unsigned number) {
    if (number == 0 || !databaseOpen() || terrainWriteFailed()) return 0;
    TerrainState& t = terrainState();
    DWORD bucket;
    unsigned s;
    decodePointNumber(number, bucket, s);
    t.header.limitsValid = 0;

    unsigned count;
    {
        unsigned slot = grabBucket(bucket);
        ProtectBucket keep(bucket);
        count = slotCount(slot);
        if (s > count) return 0;   // no such point
        SURVCOORD removed = slotRecords(slot)[s - 1];
        const BlockEntry* removedEntry = findBlock(bucket);
        const WORD removedCell = removedEntry ? removedEntry->cell : 0;
        pointIndexRemoved(number, removedCell, removed);
        dbfAdjustShadowRef(removed, number, 0);
        if (s < count) {
            slot = grabBucket(bucket);
            SURVCOORD moved = slotRecords(slot)[count - 1];
            slotRecords(slot)[s - 1] = moved;
            markBucketDirty(bucket);
            pointIndexRenumbered(pointNumber(bucket, count), number, removedCell, moved);
            dbfAdjustShadowRef(moved, pointNumber(bucket, count), number);
        }
    }

    const unsigned slot = grabBucket(bucket);
    count -= 1;
    if (count > 0) {
        setSlotCount(slot, count);
        if (!markBucketDirty(bucket)) bucketListError("dbfRemCoord (5)", bucket);
        afterCountChange(-1);
        terrainAssertInvariants("dbfRemCoord");
        return number;
    }

    // The block is empty: take it out of its cell's chain.
    BlockEntry* entry = findBlock(bucket);
    if (!entry) bucketListError("dbfRemCoord (5)", bucket);
    const WORD cell = entry->cell;
    const DWORD previous = slotDescriptor(slot).previous;
    const DWORD next = slotDescriptor(slot).next;
    pointIndexUnlinked(bucket, cell);
    {
        ProtectBucket keep(bucket);
        if (previous != 0) {
            slotDescriptor(grabBucket(previous)).next = next;
            if (!markBucketDirty(previous)) bucketListError("dbfRemCoord (1)", previous);
        }
        if (next != 0) {
            slotDescriptor(grabBucket(next)).previous = previous;
            if (!markBucketDirty(next)) bucketListError("dbfRemCoord (2)", next);
            if (previous == 0) t.cellHeads[cell] = next;
        }
        if (previous == 0 && next == 0) t.cellHeads[cell] = 0;

        // Keep the used blocks contiguous: the block in the last used file block moves into the
        // freed one, and the freed bucket becomes the first blank block.
        const DWORD lastFileBlock = t.header.usedBlocks;
        const DWORD last = bucketAtFileBlock(lastFileBlock);
        if (last == 0) bucketListError("dbfRemCoord (3)", bucket);
        entry = findBlock(bucket);
        if (!entry) bucketListError("dbfRemCoord (4)", bucket);
        if (last != bucket) {
            grabBucket(last);
            BlockEntry* lastEntry = findBlock(last);
            lastEntry->fileBlock = entry->fileBlock;
            markBucketDirty(last);
        }
        const unsigned freed = static_cast<unsigned>(std::abs(entry->cacheSlot));
        if (freed != 0) {
            slotDescriptor(freed) = CacheDescriptor{};
            t.slotBucket[freed] = 0;
            if (t.currentSlot == freed) t.currentSlot = 0;
        }
        entry->cacheSlot = 0;
        entry->cell = 0;
        blankBucket(bucket, lastFileBlock);
        t.header.usedBlocks -= 1;
    }
    afterCountChange(-1);
    terrainAssertInvariants("dbfRemCoord");
    return number;
}

unsigned dbfEditCoord(SURVCOORD& record, unsigned number) {
    if (number == 0 || !databaseOpen() || terrainWriteFailed()) return 0;
    unsigned added = 0;
    if (!dbfAddCoord(record, added)) return 0;
    dbfAdjustShadowRef(record, number, added);

    // Lines join points of one surface: drop those the new surface breaks.
    SURVCOORD point{};
    dbfGrabCoord(point, added);
    const WORD surface = point.surface & 0xFF;
    for (DWORD partner : point.lines)
        if (partner != 0 && (storedPoint(partner)->surface & 0xFF) != surface)
            dbfDelLine(added, partner, 0, 1);
    for (DWORD partner : point.shadows)
        if (partner != 0 && (storedPoint(partner)->surface & 0xFF) != surface)
            dbfDelLine(added, partner, 0, 1);

    // The removal moves the last point of the removed point's block into its slot; when that is
    // the edited point, it keeps the old number.
    DWORD bucket, addedBucket;
    unsigned slot, addedSlot;
    decodePointNumber(number, bucket, slot);
    decodePointNumber(added, addedBucket, addedSlot);
    const unsigned count = slotCount(grabBucket(bucket));
    const unsigned result = (addedBucket == bucket && addedSlot == count && slot < count) ? number : added;
    dbfRemCoord(number);
    dbfGrabCoord(record, result);
    terrainState().changed = 1;
    terrainViewDirty();
    return result;
}
