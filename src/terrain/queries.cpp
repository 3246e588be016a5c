// Queries of the open terrain database: the nearest point, look-up and search by name,
// statistics, and finding, changing or adding a point by name with the point entry dialog.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "database/frame.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "terrain/terrain_state.h"

namespace {

bool databaseOpen() { return terrainState().blocks != nullptr && terrainState().stream != nullptr; }

bool activeSurface(const SURVCOORD& p) { return dbfActiveSurface(static_cast<WORD>(p.surface & 0xFF)) != 0; }

// A point's name as a terminated, trimmed text.
void trimmedName(const SURVCOORD& p, char (&out)[sizeof(SURVCOORD::name) + 1]) {
    std::memcpy(out, p.name, sizeof p.name);
    out[sizeof p.name] = 0;
    coreTrimStr(out);
}

bool sameName(const SURVCOORD& p, const char* name) {
    char stored[sizeof p.name + 1];
    trimmedName(p, stored);
    return std::strcmp(stored, name) == 0;
}

double roundedToThousandth(double v) { return std::floor(v * 1000.0 + 0.5) / 1000.0; }

// Restores the scan area of a scan that a query interrupts.
class KeepScan {
public:
    KeepScan() : saved_(terrainState().scan) {}
    ~KeepScan() { terrainState().scan = saved_; }
    KeepScan(const KeepScan&) = delete;
    KeepScan& operator=(const KeepScan&) = delete;

private:
    ScanWindow saved_;
};

void reportSnap(unsigned number, const SURVCOORD& p) {
    if (number == 0) {
        terrainBeep();
        return;
    }
    CCadWindow* cad = dbfState().cadWindow;
    if (!cad) return;
    char name[sizeof p.name + 1];
    trimmedName(p, name);
    char text[80];
    std::snprintf(text, sizeof text, "Last snap: %s Srf: %d", name, p.surface & 0xFF);
    cad->gsSetHelpText(text);
    cad->gsSetHoldStdPrompt(true);
}

// The nearest point of the area: by plan distance, and with heights, only among points no
// farther in height than the best so far.
unsigned nearestIn(RRect area, const PNT_3D_record& position, NAMEFILT* filter, int useFilter, int report,
                   bool byHeight) {
    if (!databaseOpen()) return 0;
    const NAMEFILT* f = effectiveFilter(filter, useFilter);
    double best = 2.0 * dbfBlockSize();
    double bestHeight = 1.7e308;
    unsigned found = 0;
    SURVCOORD p, nearest{};
    {
        KeepScan keep;
        for (unsigned n = dbfStartCoord(p, &area); n != 0; n = dbfNextCoord(p, n)) {
            if (!activeSurface(p)) continue;
            if (useFilter && f && !dbfPassesFilter(&p, f)) continue;
            const double d = std::hypot(p.x - position.x, p.y - position.y);
            if (!(d < best - dblTolerance(best))) continue;
            if (byHeight) {
                const double dz = std::fabs(p.z - position.z);
                if (dz > bestHeight + dblTolerance(bestHeight)) continue;
                bestHeight = dz;
            }
            best = d;
            found = n;
            nearest = p;
        }
    }
    if (report) reportSnap(found, nearest);
    return found;
}

// ---------------------------------------------------------------------------------------------
// Name look-up

// The stored name a record is found by: its name without trailing blanks, when it does not
// start with a blank (a name found must begin the record). False when it cannot be found.
bool lookupKey(const SURVCOORD& stored, char (&key)[sizeof(SURVCOORD::name) + 1]) {
    std::memcpy(key, stored.name, sizeof stored.name);
    key[sizeof stored.name] = 0;
    const char first = key[0];
    coreTrimStr(key);
    return key[0] != 0 && key[0] == first;
}

std::uint64_t nameHash(const char* name) {
    std::uint64_t h = 1469598103934665603ull;   // FNV-1a
    for (const char* c = name; *c; ++c) {
        h ^= static_cast<unsigned char>(*c);
        h *= 1099511627776ull + 435;
    }
    return h;
}

// Visits every stored record in look-up order: the cached blocks slot by slot, then the used
// file blocks in file order, skipping those whose bucket is cached at the time the block is
// reached. visit(record, number) returns true to stop. A bucket loaded by the visitor is taken
// as cached from then on.
template <typename Visit>
bool visitInLookupOrder(Visit visit) {
    TerrainState& t = terrainState();
    const unsigned slots = dbfState().cacheSlots;
    for (unsigned slot = 1; slot <= slots && slot < t.slotBucket.size(); ++slot) {
        const DWORD bucket = t.slotBucket[slot];
        if (bucket == 0) continue;
        const unsigned count = std::min(slotCount(slot), kDtmPointsPerBlock);
        const SURVCOORD* records = slotRecords(slot);
        for (unsigned i = 0; i < count; ++i)
            if (visit(records[i], pointNumber(bucket, i + 1))) return true;
    }
    const DWORD used = t.header.usedBlocks;
    std::vector<DWORD> bucketAt(used + 1, 0);
    for (const auto& [key, entry] : *t.blocks)
        if (entry.fileBlock >= 1 && entry.fileBlock <= used) bucketAt[entry.fileBlock] = key + 1;
    auto block = std::make_unique<DTMBLOCK>();
    for (DWORD fileBlock = 1; fileBlock <= used; ++fileBlock) {
        const DWORD bucket = bucketAt[fileBlock];
        const BlockEntry* entry = bucket ? findBlock(bucket) : nullptr;
        if (!entry || entry->cacheSlot != 0) continue;
        if (!coreFileSetPointer(0, static_cast<std::int64_t>(fileBlock) * kDtmBlockLength, t.stream) ||
            !coreFileBinRead(&block->head, sizeof block->head, t.stream))
            continue;
        const unsigned count = std::min<unsigned>(block->head.count, kDtmPointsPerBlock);
        if (!coreFileBinRead(block->points, count * sizeof(SURVCOORD), t.stream)) continue;
        for (unsigned i = 0; i < count; ++i)
            if (visit(block->points[i], pointNumber(bucket, i + 1))) return true;
    }
    return false;
}

// The point, when it is the answer: on an active surface and with exactly the name.
bool answers(unsigned number, const char* name, SURVCOORD& record) {
    SURVCOORD p{};
    dbfGrabCoord(p, number);
    if (!activeSurface(p) || !sameName(p, name)) return false;
    record = p;
    return true;
}

unsigned findByScan(const char* name, SURVCOORD& record) {
    const std::size_t length = std::strlen(name);
    unsigned found = 0;
    visitInLookupOrder([&](const SURVCOORD& stored, unsigned number) {
        if (std::memcmp(stored.name, name, length) != 0) return false;
        if (!answers(number, name, record)) return false;
        found = number;
        return true;
    });
    return found;
}

void buildNameIndex() {
    TerrainState& t = terrainState();
    t.nameIndex.clear();
    t.nameIndex.reserve(t.pointTotal);
    visitInLookupOrder([&](const SURVCOORD& stored, unsigned number) {
        char key[sizeof stored.name + 1];
        if (lookupKey(stored, key)) t.nameIndex.emplace_back(nameHash(key), number);
        return false;
    });
    std::sort(t.nameIndex.begin(), t.nameIndex.end());
    t.nameIndexGeneration = t.pointsGeneration;
}

// Through the index: the candidates in the order the scan would meet them (cached blocks by
// slot, then the others by file block), the first that answers wins.
unsigned findByIndex(const char* name, SURVCOORD& record) {
    const TerrainState& t = terrainState();
    const std::uint64_t hash = nameHash(name);
    auto range = std::equal_range(t.nameIndex.begin(), t.nameIndex.end(), std::make_pair(hash, DWORD{0}),
                                  [](const auto& a, const auto& b) { return a.first < b.first; });
    struct Candidate {
        int cached;          // 0 cached, 1 in the file only
        DWORD where;         // cache slot or file block
        unsigned slot;
        unsigned number;
        bool operator<(const Candidate& o) const {
            return cached != o.cached ? cached < o.cached : where != o.where ? where < o.where : slot < o.slot;
        }
    };
    std::vector<Candidate> candidates;
    for (auto it = range.first; it != range.second; ++it) {
        DWORD bucket;
        unsigned slot;
        decodePointNumber(it->second, bucket, slot);
        const BlockEntry* entry = findBlock(bucket);
        if (!entry) continue;
        candidates.push_back(entry->cacheSlot != 0
                                 ? Candidate{0, static_cast<DWORD>(std::abs(entry->cacheSlot)), slot, it->second}
                                 : Candidate{1, entry->fileBlock, slot, it->second});
    }
    std::sort(candidates.begin(), candidates.end());
    for (const Candidate& c : candidates)
        if (answers(c.number, name, record)) return c.number;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Statistics

class WaitCursor {
public:
    WaitCursor() {
        if (CCadWindow* cad = dbfState().cadWindow) cad->gsCursorWait(true);
    }
    ~WaitCursor() {
        if (CCadWindow* cad = dbfState().cadWindow) cad->gsCursorWait(false);
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// ---------------------------------------------------------------------------------------------
// Point entry

HostUi* dialogUi() { return platformUiFor(dbfOwner()); }

int showPointEntry(POINTENTRY& entry) {
    HostUi* ui = dialogUi();
    return ui && ui->dialog("Point Entry", &entry) == IDOK;
}

unsigned addNamed(const char* name, const SURVCOORD& values, SURVCOORD& record) {
    SURVCOORD added;
    dbfPackStruct(name, values.y, values.x, values.z, values.surface, added);
    unsigned number = 0;
    if (!dbfAddCoord(added, number)) {
        terrainError("Error adding point to database");
        return 0;
    }
    dbfGrabCoord(record, number);
    return number;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

unsigned dbfFindClosest(PNT_3D_record position, NAMEFILT* filter, int useFilter, int report) {
    if (!databaseOpen()) return 0;
    // A twelfth of the view's smaller side: a pick lands on a point near where the user
    // pointed, at any zoom. Without a drawing window, one cell.
    double radius = dbfBlockSize();
    if (CCadWindow* cad = dbfState().cadWindow) {
        double y1, x1, y2, x2;
        cad->gsGetZoomRect(y1, x1, y2, x2);
        radius = std::fmin(std::fabs(y2 - y1), std::fabs(x2 - x1)) / 12.0;
    }
    const RRect area{position.y + radius, position.y - radius, position.x - radius, position.x + radius};
    return nearestIn(area, position, filter, useFilter, report, false);
}

unsigned dbfFindClosestInArea(RRect area, PNT_3D_record position, NAMEFILT* filter, int useFilter, int report) {
    return nearestIn(area, position, filter, useFilter, report, true);
}

int dbfFindName(char* name, unsigned& number, SURVCOORD& record) {
    number = 0;
    if (!name || !databaseOpen()) return 0;
    coreTrimStr(name);
    if (!name[0]) return 0;
    TerrainState& t = terrainState();
    // One look-up reads the blocks once, as the scan does; a second one over the same points
    // builds the index, which answers every further look-up until the points change.
    if (t.nameIndexGeneration != t.pointsGeneration && t.lastLookupGeneration == t.pointsGeneration)
        buildNameIndex();
    if (t.nameIndexGeneration == t.pointsGeneration) {
        number = findByIndex(name, record);
    } else {
        t.nameIndex.clear();
        number = findByScan(name, record);
        t.lastLookupGeneration = t.pointsGeneration;
    }
    return number != 0 ? 1 : 0;
}

int dbfSearchName(char* name, unsigned& number, SURVCOORD& record, int fromStart) {
    if (!name || !databaseOpen()) {
        number = 0;
        return 0;
    }
    coreTrimStr(name);
    RRect site;
    double blockSize = 0.0;
    dbfGetExtents(&site, blockSize);
    SURVCOORD p;
    unsigned n;
    if (fromStart) {
        n = dbfStartCoord(p, &site);
    } else {
        dbfScanLimits(&site);
        n = number != 0 ? dbfNextCoord(p, number) : dbfStartCoord(p, &site);
    }
    for (; n != 0; n = dbfNextCoord(p, n)) {
        if (activeSurface(p) && sameName(p, name)) {
            number = n;
            record = p;
            return 1;
        }
    }
    number = 0;
    return 0;
}

int dbfDbaseStats(DBASESTATS& stats) {
    if (!databaseOpen()) return 0;
    TerrainState& t = terrainState();
    const DTMHEADER& h = t.header;
    WaitCursor wait;
    stats = DBASESTATS{};
    stats.blockSize = h.blockSize;
    stats.minX = h.minX;
    stats.minY = h.minY;
    stats.maxX = h.maxX;
    stats.maxY = h.maxY;
    stats.usedBlocks = h.usedBlocks;
    stats.cellsPerSide = h.cellsPerSide;
    stats.fewestPoints = 1000000;

    // The chains are read from the file: what the cache holds must be there first.
    const unsigned slots = dbfState().cacheSlots;
    for (unsigned slot = 1; slot <= slots && slot < t.slotBucket.size(); ++slot) {
        const DWORD bucket = t.slotBucket[slot];
        if (bucket == 0) continue;
        const BlockEntry* entry = findBlock(bucket);
        if (!entry) bucketListError("dbfDbaseStats (1)", bucket);
        if (entry->cacheSlot < 0) {
            writeBackSlot(slot, true);
            if (t.currentSlot == slot) t.currentSlot = 0;
        }
    }

    for (unsigned cell = 0; cell <= kDtmCells; ++cell) {
        DWORD bucket = t.cellHeads[cell];
        if (bucket == 0) continue;
        DWORD points = 0, blocks = 0;
        const char* where = "dbfDbaseStats (2)";
        while (bucket != 0) {
            const BlockEntry* entry = findBlock(bucket);
            // A chain longer than the used blocks comes back on itself.
            if (!entry || blocks >= h.usedBlocks) bucketListError(where, bucket);
            DTMBLOCKHEAD head{};
            if (!coreFileSetPointer(0, static_cast<std::int64_t>(entry->fileBlock) * kDtmBlockLength, t.stream) ||
                !coreFileBinRead(&head, sizeof head, t.stream))
                bucketListError(where, bucket);
            points += std::min<DWORD>(head.count, kDtmPointsPerBlock);
            ++blocks;
            bucket = head.next;
            where = "dbfDbaseStats (3)";
        }
        ++stats.cellsWithPoints;
        stats.fewestPoints = std::min(stats.fewestPoints, points);
        stats.mostPoints = std::max(stats.mostPoints, points);
        stats.longestChain = std::max(stats.longestChain, blocks);
        stats.totalPoints += points;
    }
    if (stats.mostPoints < stats.fewestPoints) return 0;
    t.pointTotal = stats.totalPoints;
    return 1;
}

unsigned dbfLookup(int mode, char* name, SURVCOORD& record) {
    char key[sizeof record.name] = {};
    dbfNameCopy(key, name ? name : "");
    unsigned number = 0;
    if (mode & (kLookupFind | kLookupAsk | kLookupChange)) {
        SURVCOORD found{};
        if (dbfFindName(key, number, found)) {
            if (mode & kLookupChange) {
                found.y = record.y;
                found.x = record.x;
                found.z = record.z;
                if (!(mode & kLookupKeepSurface)) found.surface = record.surface;
                number = dbfEditCoord(found, number);
            }
            record = found;
            return number;
        }
        if (mode & kLookupAsk) {
            POINTENTRY entry{};
            dbfPackStruct(key, 0.0, 0.0, 0.0, 1, entry.point);
            entry.mode = mode;
            if (!showPointEntry(entry)) return 0;
            if (entry.existing != 0) {
                SURVCOORD picked{};
                dbfGrabCoord(picked, entry.existing);
                if (name) {
                    char pickedName[sizeof picked.name + 1];
                    trimmedName(picked, pickedName);
                    coreStrncpy(name, pickedName, sizeof picked.name);
                }
                record = picked;
                return entry.existing;
            }
            char entered[sizeof entry.point.name + 1];
            trimmedName(entry.point, entered);
            return addNamed(entered[0] ? entered : key, entry.point, record);
        }
        if (!(mode & (kLookupChange | kLookupAdd))) return 0;
    }
    if (!(mode & (kLookupChange | kLookupAdd))) return 0;
    return addNamed(key, record, record);
}

int dbfEnterCoord(SURVCOORD& record, int mode) {
    POINTENTRY entry{record, mode, 0};
    if (!showPointEntry(entry)) return 0;
    // The dialog shows millimetres: a value the user left alone keeps the point's finer one.
    const double y = dblEqual(entry.point.y, roundedToThousandth(record.y)) ? record.y : entry.point.y;
    const double x = dblEqual(entry.point.x, roundedToThousandth(record.x)) ? record.x : entry.point.x;
    char name[sizeof entry.point.name + 1];
    std::memcpy(name, entry.point.name, sizeof entry.point.name);
    name[sizeof entry.point.name] = 0;
    dbfPackStruct(name, y, x, entry.point.z, entry.point.surface, record);
    return 1;
}
