// The terrain state, the block list and the block cache: grabbing buckets into cache slots with
// the clock hand, writing dirty slots back, blank blocks and taking new blocks.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "database/frame.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "platform/proj.h"
#include "terrain/terrain_state.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

TerrainState* terrainStateMade = nullptr;

TerrainState& terrainState() {
    static TerrainState state;
    static const int registered = dbfRegisterStatePart(resetTerrainState) + installErrorMarkerHooks();
    (void)registered;
    terrainStateMade = &state;
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

bool finiteReal(double value) { return std::isfinite(value); }

bool requireFinite(const char* what, double value) {
    if (finiteReal(value)) return true;
    terrainError(dbfFormatText("%s must be a number, not %g", what, value));
    return false;
}
void terrainInfo(const char* text) { InfoMessage(text, dbfOwner()); }

void terrainBeep() { ++terrainState().beeps; }

bool terrainEscapePressed(int& abort) {
    if (!dbfCheckEscape(abort, 0)) return false;
    terrainState().cancelled = true;
    return true;
}

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
    const DWORD key = bucket - 1;
    // The table was made for a list of this many entries; a list that has grown or lost an entry
    // since gets a new table, the keys from 0 for as long as they follow each other.
    if (t.entryByKeyListSize != t.blocks->size()) {
        t.entryByKey.clear();
        for (auto& [k, entry] : *t.blocks) {
            if (k != t.entryByKey.size()) break;
            t.entryByKey.push_back(&entry);
        }
        t.entryByKeyListSize = t.blocks->size();
    }
    if (key < t.entryByKey.size()) return t.entryByKey[key];
    auto it = t.blocks->find(key);
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

namespace {

// The reason the system gives for the last failed file call. The file wrappers do not keep it
// yet, so it is read from errno right after the call that failed.
std::string lastSystemReason() {
    const int code = errno;
    return code != 0 ? std::strerror(code) : "the write did not complete";
}

void noteWriteFailure(const char* what) {
    TerrainState& t = terrainState();
    if (t.writeError.empty()) t.writeError = std::string(lastSystemReason()) + " (" + what + ")";
}

}  // namespace

bool writeTerrainBytes(std::int64_t offset, const void* bytes, std::size_t count, const char* what) {
    TerrainState& t = terrainState();
    // After a failed write the file is not written again: what reached it stays as it was, and
    // the close reports the failure instead of adding to a file that is no longer whole.
    if (!t.writeError.empty() || !t.stream) return false;
    errno = 0;
    if (!coreFileSetPointer(0, offset, t.stream) || (count != 0 && !coreFileBinWrite(bytes, count, t.stream))) {
        noteWriteFailure(what);
        return false;
    }
    t.fileWritten = true;
    // The next seek would push the buffer out anyway; pushing it now ties a full disk to the
    // write that met it.
    return flushTerrainFile();
}

bool flushTerrainFile() {
    TerrainState& t = terrainState();
    if (!t.stream || !t.writeError.empty()) return t.writeError.empty();
    errno = 0;
    // The wrappers have no checked flush yet: a full disk often shows only here, when the
    // buffered blocks reach the file.
    if (std::fflush(t.stream) != 0 || std::ferror(t.stream)) {
        noteWriteFailure("flush");
        return false;
    }
    return true;
}

bool terrainWriteFailed() {
    const TerrainState& t = terrainState();
    if (t.writeError.empty()) return false;
    terrainError(dbfFormatText("Unable to write the terrain file %s: %s", t.fileName.c_str(), t.writeError.c_str()));
    return true;
}

bool writeFileHeader() {
    TerrainState& t = terrainState();
    return writeTerrainBytes(0, &t.header, sizeof t.header, "header");
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
    // A failed write is remembered (invariant 8) and reported at the close; the slot is
    // released as usual, so the cache stays consistent while the database refuses changes.
    if (writeTerrainBytes(fileBlockOffset(entry->fileBlock), &head, sizeof head, "block header"))
        writeTerrainBytes(fileBlockOffset(entry->fileBlock) + static_cast<std::int64_t>(sizeof head),
                          slotRecords(slot), head.count * sizeof(SURVCOORD), "block");
    entry->cacheSlot = static_cast<std::int32_t>(slot);
    if (release) {
        entry->cacheSlot = 0;
        slotDescriptor(slot) = CacheDescriptor{};
        t.slotBucket[slot] = 0;
        if (t.currentSlot == slot) t.currentSlot = 0;
    }
    terrainAssertSlot(slot, "a write-back");
}

namespace {

bool slotDirty(unsigned slot, const char* where) {
    const DWORD bucket = terrainState().slotBucket[slot];
    if (bucket == 0) return false;
    BlockEntry* entry = findBlock(bucket);
    if (!entry) bucketListError(where, bucket);
    return entry->cacheSlot < 0;
}

// The quick tests of a loaded record (below), on the record's bytes: the 24 links are or-ed as
// 16-byte pieces.
bool recordLooksSound(const SURVCOORD& p, DWORD totalBlocks) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&p);
    if (p.name[sizeof p.name - 1] != 0) return false;
    constexpr std::uint64_t kExponent = 0x7FF0000000000000ull;   // all ones: infinite or not a number
    std::uint64_t position[3];
    std::memcpy(position, bytes + offsetof(SURVCOORD, x), sizeof position);
    if ((position[0] & kExponent) == kExponent || (position[1] & kExponent) == kExponent ||
        (position[2] & kExponent) == kExponent)
        return false;
    static_assert(offsetof(SURVCOORD, shadows) == offsetof(SURVCOORD, lines) + sizeof p.lines &&
                      sizeof p.lines + sizeof p.shadows == 96,
                  "the point's links lie together");
    const unsigned char* links = bytes + offsetof(SURVCOORD, lines);
    DWORD bits = 0;
#if defined(__SSE2__)
    __m128i all = _mm_loadu_si128(reinterpret_cast<const __m128i*>(links));
    for (int i = 16; i < 96; i += 16) all = _mm_or_si128(all, _mm_loadu_si128(reinterpret_cast<const __m128i*>(links + i)));
    all = _mm_or_si128(all, _mm_srli_si128(all, 8));
    all = _mm_or_si128(all, _mm_srli_si128(all, 4));
    bits = static_cast<DWORD>(_mm_cvtsi128_si32(all));
#else
    for (int i = 0; i < 96; i += 4) {
        DWORD n;
        std::memcpy(&n, links + i, sizeof n);
        bits |= n;
    }
#endif
    return bits <= (std::uint64_t{totalBlocks} + 1) * kDtmPointsPerBlock;
}

// Why a point record read from the file cannot be one this library wrote, or null: a name
// without its terminator, a position or height that is not a number, a line or reference to a
// number beyond the file's last possible point. (Numbers below 500 are allowed: a surface copy
// keeps sequence numbers in the lines for a while.) Random bytes over the points fail at once.
const char* recordProblem(const SURVCOORD& p, DWORD totalBlocks) {
    // Every block read from the file passes here, point by point, so the usual record is let
    // through by quick tests first: a last name byte of 0 (names are padded with zeros), finite
    // coordinates, and links whose bits together make no number beyond the highest (each link is
    // at most that). The exact tests below name the problem when one fails.
    if (recordLooksSound(p, totalBlocks)) return nullptr;
    if (p.name[sizeof p.name - 1] != 0 && !std::memchr(p.name, 0, sizeof p.name)) return "its name has no end";
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return "its position is not a number";
    const std::uint64_t highest = (std::uint64_t{totalBlocks} + 1) * kDtmPointsPerBlock;
    // Copied out: the records lie packed in the cache, and their arrays may not be aligned.
    DWORD links[24];
    static_assert(sizeof links == sizeof p.lines + sizeof p.shadows, "the point's links");
    std::memcpy(links, p.lines, sizeof p.lines);
    std::memcpy(links + 8, p.shadows, sizeof p.shadows);
    DWORD bits = 0;
    for (DWORD n : links) bits |= n;
    if (bits <= highest) return nullptr;
    for (int i = 0; i < 8; ++i)
        if (links[i] > highest) return "a line leads to a point that cannot exist";
    for (int i = 8; i < 24; ++i)
        if (links[i] > highest) return "a line comes from a point that cannot exist";
    return nullptr;
}

// A block that cannot be used is reported like a damaged block list: the message names the file
// and the reason, the operation ends, and the block leaves the cache, so that the next operation
// meets it again (and nothing is ever written from a slot that does not hold the block).
[[noreturn]] void refuseLoadedBlock(DWORD bucket, unsigned slot, BlockEntry& entry, const std::string& message) {
    TerrainState& t = terrainState();
    terrainError(message.c_str());
    entry.cacheSlot = 0;
    slotDescriptor(slot) = CacheDescriptor{};
    t.slotBucket[slot] = 0;
    if (t.currentSlot == slot) t.currentSlot = 0;
    bucketListError("load_bucket (2)", bucket);
}

void checkLoadedRecords(DWORD bucket, unsigned slot, unsigned count, BlockEntry& entry) {
    TerrainState& t = terrainState();
    const SURVCOORD* records = slotRecords(slot);
    for (unsigned i = 0; i < count; ++i)
        if (const char* problem = recordProblem(records[i], t.header.totalBlocks)) {
            char text[96];
            std::snprintf(text, sizeof text, "point %u of block %u: %s", i + 1, static_cast<unsigned>(entry.fileBlock), problem);
            refuseLoadedBlock(bucket, slot, entry, dbfFormatText("Terrain file %s is damaged: %s", t.fileName.c_str(), text));
        }
}

void loadBucket(DWORD bucket, unsigned slot) {
    TerrainState& t = terrainState();
    BlockEntry* entry = findBlock(bucket);
    if (!entry) bucketListError("load_bucket (1)", bucket);
    // Read where they lie, without moving the stream: no seek and no copy through its buffer.
    const std::int64_t at = fileBlockOffset(entry->fileBlock);
    DTMBLOCKHEAD head{};
    coreFileClearError();
    bool read = coreFileReadAt(&head, sizeof head, at, t.stream);
    // A damaged count must not read past the slot.
    const unsigned count = head.count > kDtmPointsPerBlock ? kDtmPointsPerBlock : head.count;
    t.slotBucket[slot] = bucket;
    CacheDescriptor& d = slotDescriptor(slot);
    d = CacheDescriptor{};
    d.packed = bucket * kDtmPointsPerBlock + count;
    d.next = head.next;
    d.previous = head.previous;
    read = read && coreFileReadAt(slotRecords(slot), count * sizeof(SURVCOORD), at + static_cast<std::int64_t>(sizeof head),
                                  t.stream);
    entry->cacheSlot = static_cast<std::int32_t>(slot);
    t.clockHand = slot + 1 > dbfState().cacheSlots ? 1 : slot + 1;
    // A block that cannot be read (a bad sector, a file cut short since the open) is never taken
    // for an empty one: a change to it would write over the points it holds.
    if (!read) {
        const std::string action = dbfFormatText("read block %u of the terrain file", static_cast<unsigned>(entry->fileBlock));
        refuseLoadedBlock(bucket, slot, *entry,
                          coreFileLastError() != 0
                              ? coreFileErrorText(action.c_str(), t.fileName.c_str())
                              : dbfFormatText("Terrain file %s is damaged: block %u lies beyond its end", t.fileName.c_str(),
                                              static_cast<unsigned>(entry->fileBlock)));
    }
    checkLoadedRecords(bucket, slot, count, *entry);
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
        terrainAssertSlot(slot, "a grab");
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
    terrainAssertSlot(slot, "a grab");
    return slot;
}

bool markBucketDirty(DWORD bucket) {
    BlockEntry* entry = findBlock(bucket);
    if (!entry) return false;
    terrainPointsChanged(terrainState());
    pointIndexBlockChanged(bucket);
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
    if (writeTerrainBytes(fileBlockOffset(fileBlock), &head, sizeof head, "blank block"))
        writeTerrainBytes(fileBlockOffset(fileBlock) + static_cast<std::int64_t>(sizeof head), blank.points,
                          sizeof blank.points, "blank block");
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
    // The blank block after the used ones is added before the grab, so that the cache never
    // sees a file without one (invariant 3).
    if (h.usedBlocks >= h.totalBlocks) {
        h.totalBlocks += 1;
        BlockEntry added;
        added.key = h.totalBlocks - 1;
        added.fileBlock = h.totalBlocks;
        t.blocks->emplace(added.key, added);
        blankBucket(h.totalBlocks, h.totalBlocks);
    }
    const DWORD saved = t.protectedBucket;
    t.protectedBucket = 0;
    grabBucket(head.bucket);
    t.protectedBucket = saved;
    writeFileHeader();
    terrainAssertInvariants("taking a new block");
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

// ---------------------------------------------------------------------------------------------
// The invariants of the block cache (numbered as in terrain_state.h)

namespace {

std::string broken(int number, const char* text, unsigned long long value) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "invariant %d: %s (%llu)", number, text, value);
    return buffer;
}

// The entries by bucket number, from one walk of the list: the other checks look buckets up here.
using EntryIndex = std::vector<const BlockEntry*>;

std::string checkBlockList(const TerrainState& t, EntryIndex& byBucket) {
    const DTMHEADER& h = t.header;
    if (t.blocks->size() != h.totalBlocks) return broken(2, "block list size differs from total blocks", t.blocks->size());
    for (std::size_t key = 0; key < t.entryByKey.size(); ++key) {
        const auto it = t.blocks->find(static_cast<DWORD>(key));
        if (it == t.blocks->end() || t.entryByKey[key] != &it->second) return broken(2, "entry table out of step", key);
    }
    byBucket.assign(static_cast<std::size_t>(h.totalBlocks) + 1, nullptr);
    std::vector<bool> seen(static_cast<std::size_t>(h.totalBlocks) + 1, false);
    for (const auto& [key, entry] : *t.blocks) {
        if (key >= h.totalBlocks || entry.key != key) return broken(2, "entry key out of step", key);
        if (entry.fileBlock == 0 || entry.fileBlock > h.totalBlocks || seen[entry.fileBlock])
            return broken(3, "file block missing, out of range or shared", entry.fileBlock);
        seen[entry.fileBlock] = true;
        if (entry.fileBlock > h.usedBlocks && entry.cell != 0) return broken(7, "blank bucket in a cell", key + 1);
        if (entry.cacheSlot != 0) {
            const std::size_t slot = static_cast<std::size_t>(std::abs(entry.cacheSlot));
            if (slot >= t.slotBucket.size() || t.slotBucket[slot] != key + 1)
                return broken(4, "entry names a slot that does not hold it", key + 1);
        }
        byBucket[key + 1] = &entry;
    }
    if (h.usedBlocks >= h.totalBlocks) return broken(3, "no blank block after the used ones", h.usedBlocks);
    return {};
}

// Invariants 4 and 5 for one slot, given the entry of the bucket it holds (null when none).
std::string checkOneSlot(const TerrainState& t, unsigned s, const BlockEntry* entry) {
    const DWORD bucket = t.slotBucket[s];
    const CacheDescriptor& d = slotDescriptor(s);
    if (bucket == 0) {
        if (d.packed != 0 || d.next != 0 || d.previous != 0) return broken(5, "free slot with a descriptor", s);
        return {};
    }
    if (!entry || static_cast<unsigned>(std::abs(entry->cacheSlot)) != s)
        return broken(4, "slot holds a bucket whose entry does not name it", s);
    if (d.packed < bucket * kDtmPointsPerBlock || d.packed - bucket * kDtmPointsPerBlock > kDtmPointsPerBlock)
        return broken(5, "packed word out of step with the bucket", s);
    return {};
}

// Invariant 6: the clock hand and the current slot.
std::string checkHands(const TerrainState& t) {
    const unsigned slots = dbfState().cacheSlots;
    if (t.clockHand < 1 || t.clockHand > slots) return broken(6, "clock hand out of range", t.clockHand);
    if (t.currentSlot != 0 && (t.currentSlot > slots || t.slotBucket[t.currentSlot] == 0))
        return broken(6, "current slot holds nothing", t.currentSlot);
    return {};
}

std::string checkSlots(const TerrainState& t, const EntryIndex& byBucket) {
    const unsigned slots = dbfState().cacheSlots;
    if (t.slotBucket.size() != static_cast<std::size_t>(slots) + 1) return broken(4, "slot table size", t.slotBucket.size());
    for (unsigned s = 1; s <= slots; ++s) {
        const DWORD bucket = t.slotBucket[s];
        std::string problem = checkOneSlot(t, s, bucket < byBucket.size() ? byBucket[bucket] : nullptr);
        if (!problem.empty()) return problem;
    }
    if (t.protectedBucket != 0 && (t.protectedBucket >= byBucket.size() || !byBucket[t.protectedBucket]))
        return broken(6, "protected bucket not in the list", t.protectedBucket);
    return checkHands(t);
}

std::string checkCellHeads(const TerrainState& t, const EntryIndex& byBucket) {
    for (unsigned cell = 0; cell <= kDtmCells; ++cell) {
        const DWORD head = t.cellHeads[cell];
        if (head == 0) continue;
        const BlockEntry* entry = head < byBucket.size() ? byBucket[head] : nullptr;
        if (!entry || entry->fileBlock > t.header.usedBlocks || entry->cell != cell)
            return broken(7, "cell head is not a used bucket of the cell", cell);
    }
    return {};
}

}  // namespace

namespace {

// Invariants 4 to 6 for one slot: what a grab or a write-back changes.
[[maybe_unused]] std::string checkSlot(const TerrainState& t, unsigned s) {
    if (s < 1 || s >= t.slotBucket.size()) return broken(4, "slot out of range", s);
    const auto it = t.blocks->find(t.slotBucket[s] - 1);
    std::string problem = checkOneSlot(t, s, it == t.blocks->end() ? nullptr : &it->second);
    return problem.empty() ? checkHands(t) : problem;
}

}  // namespace

std::string terrainCheckInvariants() {
    const TerrainState& t = terrainState();
    if ((t.stream == nullptr) != (t.blocks == nullptr)) return broken(1, "stream and block list apart", t.stream != nullptr);
    if (!t.blocks) return {};
    EntryIndex byBucket;
    std::string problem = checkBlockList(t, byBucket);
    if (problem.empty()) problem = checkSlots(t, byBucket);
    if (problem.empty()) problem = checkCellHeads(t, byBucket);
    if (problem.empty()) problem = pointIndexCheck();
    return problem;
}

// Checked in debug builds and in sanitizer builds (which keep NDEBUG: they are optimised builds
// with AddressSanitizer, so its own macro tells them apart).
#if !defined(NDEBUG) || defined(DB_SANITIZE) || defined(__SANITIZE_ADDRESS__)
#define TERRAIN_CHECK_INVARIANTS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TERRAIN_CHECK_INVARIANTS 1
#endif
#endif

namespace {

[[maybe_unused]] void stopOnBroken(const std::string& problem, const char* where) {
    if (problem.empty()) return;
    std::fprintf(stderr, "terrain block cache broken after %s: %s\n", where, problem.c_str());
    std::abort();
}

}  // namespace

void terrainAssertSlot([[maybe_unused]] unsigned slot, [[maybe_unused]] const char* where) {
#ifdef TERRAIN_CHECK_INVARIANTS
    const TerrainState& t = terrainState();
    if (t.blocks) stopOnBroken(checkSlot(t, slot), where);
#endif
}

void terrainAssertInvariants([[maybe_unused]] const char* where) {
#ifdef TERRAIN_CHECK_INVARIANTS
    stopOnBroken(terrainCheckInvariants(), where);
#endif
}
