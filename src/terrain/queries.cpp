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
    if (!requireFinite("The position's y", position.y) || !requireFinite("The position's x", position.x) ||
        (byHeight && !requireFinite("The position's height", position.z)))
        return 0;
    for (double side : {area.maxY, area.minY, area.minX, area.maxX})
        if (!requireFinite("The search area's side", side)) return 0;
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

// The blanks coreTrimStr strips.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// The length of the stored name a record is found by: its name up to the terminator without
// trailing blanks, when it does not start with a blank (a name found must begin the record);
// 0 when it cannot be found. Counted in place: the index reads every record.
std::size_t lookupKeyLength(const SURVCOORD& stored) {
    std::size_t length = 0;
    while (length < sizeof stored.name && stored.name[length] != 0) ++length;
    if (length == 0 || isBlank(stored.name[0])) return 0;
    while (isBlank(stored.name[length - 1])) --length;
    return length;
}

// A name of at most sizeof(SURVCOORD::name) characters, hashed as three words: a few
// multiplications instead of one per character.
std::uint64_t nameHash(const char* name, std::size_t length) {
    unsigned char bytes[24] = {};
    std::memcpy(bytes, name, std::min(length, sizeof bytes));
    std::uint64_t words[3];
    std::memcpy(words, bytes, sizeof words);
    std::uint64_t h = length;
    for (std::uint64_t w : words) {
        h = (h ^ w) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
    }
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 32);
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

// One pass over the records gathers (hash, number); a counting pass then groups them by the
// hash's top bits, about four names to a group so that the counts stay in the processor's
// cache: linear work, where a sort of a million entries took most of the look-ups' time.
void buildNameIndex() {
    TerrainState& t = terrainState();
    std::vector<std::pair<std::uint64_t, DWORD>> keyed;
    keyed.reserve(t.pointTotal);
    visitInLookupOrder([&](const SURVCOORD& stored, unsigned number) {
        if (const std::size_t length = lookupKeyLength(stored))
            keyed.emplace_back(nameHash(stored.name, length), number);
        return false;
    });
    unsigned bits = 1;
    while (bits < 31 && (std::size_t{4} << bits) < keyed.size()) ++bits;
    t.nameIndexShift = 64 - bits;
    std::vector<std::uint32_t>& starts = t.nameIndexStarts;
    starts.assign((std::size_t{1} << bits) + 1, 0);
    for (const auto& k : keyed) ++starts[(k.first >> t.nameIndexShift) + 1];
    for (std::size_t g = 1; g < starts.size(); ++g) starts[g] += starts[g - 1];
    std::vector<std::uint32_t> next(starts.begin(), starts.end() - 1);
    t.nameIndex.resize(keyed.size());
    for (const auto& [hash, number] : keyed)
        t.nameIndex[next[hash >> t.nameIndexShift]++] = {static_cast<std::uint32_t>(hash), number};
    t.nameIndexGeneration = t.pointsGeneration;
}

void dropNameIndex() {
    TerrainState& t = terrainState();
    t.nameIndex.clear();
    t.nameIndex.shrink_to_fit();
    t.nameIndexStarts.clear();
    t.nameIndexStarts.shrink_to_fit();
}

// Through the index: the candidates in the order the scan would meet them (cached blocks by
// slot, then the others by file block), the first that answers wins.
unsigned findByIndex(const char* name, SURVCOORD& record) {
    const TerrainState& t = terrainState();
    const std::uint64_t hash = nameHash(name, std::strlen(name));
    const std::size_t group = hash >> t.nameIndexShift;
    if (group + 1 >= t.nameIndexStarts.size()) return 0;
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
    for (std::uint32_t i = t.nameIndexStarts[group]; i < t.nameIndexStarts[group + 1]; ++i) {
        const TerrainState::NameIndexEntry& e = t.nameIndex[i];
        if (e.check != static_cast<std::uint32_t>(hash)) continue;
        DWORD bucket;
        unsigned slot;
        decodePointNumber(e.number, bucket, slot);
        const BlockEntry* entry = findBlock(bucket);
        if (!entry) continue;
        candidates.push_back(entry->cacheSlot != 0
                                 ? Candidate{0, static_cast<DWORD>(std::abs(entry->cacheSlot)), slot, e.number}
                                 : Candidate{1, entry->fileBlock, slot, e.number});
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
    // No stored name is longer than its field: a longer one is never found.
    if (!name[0] || std::strlen(name) > sizeof record.name) return 0;
    TerrainState& t = terrainState();
    // One look-up reads the blocks once, as the scan does; a second one over the same points
    // builds the index, which answers every further look-up until the points change.
    if (t.nameIndexGeneration != t.pointsGeneration && t.lastLookupGeneration == t.pointsGeneration)
        buildNameIndex();
    if (t.nameIndexGeneration == t.pointsGeneration) {
        number = findByIndex(name, record);
    } else {
        if (!t.nameIndex.empty()) dropNameIndex();
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
    // The whole site is the site limits (a scan with no area): they take in every stored point,
    // also one stored outside the site square, which the look-up by name finds as well.
    SURVCOORD p;
    unsigned n;
    if (fromStart) {
        n = dbfStartCoord(p, nullptr);
    } else {
        dbfScanLimits(nullptr);
        n = number != 0 ? dbfNextCoord(p, number) : dbfStartCoord(p, nullptr);
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
