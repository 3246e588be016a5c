// Layer, section and extra records under the current chainage. A layer's cross-section is a
// chain of section records of six points each (the last holds the rest); storing rewrites the
// chain in place, appends what more it needs and frees what is left over.
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "database/frame.h"

#include "database/road.h"
#include "platform/core.h"
#include "road/road_state.h"

namespace {

// The most section records a cross-section of kSectionCapacity points fills.
constexpr int kMaxSectionRecords = (kSectionCapacity + kSectionRecordPoints - 1) / kSectionRecordPoints;

bool layerInRange(short layer) { return layer >= 1 && layer <= kRoadLayers; }

// The low 8 bits of the identity number truncated towards zero.
BYTE storedIdNo(double idNo) {
    if (!std::isfinite(idNo)) return 0;
    double low = std::fmod(std::trunc(idNo), 256.0);
    if (low < 0) low += 256.0;
    return static_cast<BYTE>(low);
}

SECTPOINT toStored(const SECTMEM& p) {
    SECTPOINT s;
    s.offset = static_cast<float>(p.offset);
    s.elevation = static_cast<float>(p.elevation);
    s.idNo = storedIdNo(p.idNo);
    s.marker = static_cast<std::int8_t>(p.marker);
    return s;
}

SECTMEM fromStored(const SECTPOINT& s) {
    SECTMEM p;
    p.offset = s.offset;
    p.elevation = s.elevation;
    p.idNo = s.idNo;
    p.marker = s.marker;
    return p;
}

// The current chainage record of the open file, raw (coordinates as stored).
bool readCurrent(CHGBASE& chg) {
    RoadState& r = roadState();
    return r.stream && roadValidIndex(r.head.current) && roadReadRecord(r.stream, r.head.current, &chg);
}

// The slot of a chainage record: layer slot 0..127, or kExtraSlot for the extra record. Slots
// are read and written by value: the record is packed, so its fields cannot be referenced.
constexpr int kExtraSlot = -1;

DWORD slotOf(const CHGBASE& chg, int slot) { return slot == kExtraSlot ? chg.extra : chg.layers[slot]; }

void setSlot(CHGBASE& chg, int slot, DWORD value) {
    if (slot == kExtraSlot)
        chg.extra = value;
    else
        chg.layers[slot] = value;
}

// The record in a slot of the current chainage `chg`, created blank when the slot is empty (the
// chainage record is then rewritten with the new index). 0 when nothing can be had.
unsigned slotRecord(CHGBASE& chg, int slot, BYTE type) {
    RoadState& r = roadState();
    if (roadValidIndex(slotOf(chg, slot))) return slotOf(chg, slot);
    if (!roadWritable()) return 0;
    roadMarkEdited();
    std::uint8_t blank[kRoadRecordBytes] = {};
    ROADRECHEAD head{type, chg.chainage, r.head.current, 0};
    std::memcpy(blank, &head, sizeof head);
    const unsigned owner = r.head.current;
    const unsigned idx = roadAppendRecord(blank);
    if (idx == 0) return 0;
    setSlot(chg, slot, idx);
    return roadWriteRecord(owner, &chg) ? idx : 0;
}

// Grab layer and grab extra: the record of the slot, or a new blank one. The chainage must be the
// current one: a caller that has not positioned the cursor gets 0 rather than a record of some
// other chainage.
int grabSlot(double chg, int slot, void* rec, BYTE type) {
    RoadState& r = roadState();
    CHGBASE current;
    if (!rec || !roadFinite(chg, "Chainage") || !readCurrent(current) ||
        !chgSame(dbfRoundChg(chg), dbfRoundChg(current.chainage)))
        return 0;
    const unsigned idx = slotRecord(current, slot, type);
    return idx != 0 && roadReadRecord(r.stream, idx, rec);
}

// Store layer and store extra: the caller's record over the existing one. Its head (type,
// chainage, owner, first section) stays as stored, so a record filled from scratch cannot cut the
// layer off its cross-section. This is the one exception to writing the caller's 568 bytes as
// they are: a correct caller passes the record it grabbed, whose head is the stored one, and
// sees no difference.
int storeSlot(double chg, int slotNumber, const void* rec) {
    RoadState& r = roadState();
    if (!rec || !roadFinite(chg, "Chainage") || !roadWritable()) return 0;
    roadMarkEdited();
    CHGBASE current;
    if (!rec || !readCurrent(current)) return 0;
    const DWORD slot = slotOf(current, slotNumber);
    if (!roadValidIndex(slot) || !chgSame(dbfRoundChg(chg), dbfRoundChg(current.chainage))) return 0;
    std::uint8_t record[kRoadRecordBytes];
    if (!roadReadRecord(r.stream, slot, record)) return 0;
    std::memcpy(record + sizeof(ROADRECHEAD), static_cast<const std::uint8_t*>(rec) + sizeof(ROADRECHEAD),
                kRoadRecordBytes - sizeof(ROADRECHEAD));
    return roadWriteRecord(slot, record);
}

// The records of a chain that lie one after another in the file (as a chain stored at once
// does) are read in one go, unless the read-ahead holds them already; a piece outside that run
// is read on its own.
struct ChainRun {
    unsigned first = 0;
    unsigned count = 0;
    std::uint8_t bytes[kMaxSectionRecords * kRoadRecordBytes];

    void read(FILE* f, unsigned from, unsigned pieces) {
        first = from;
        count = 0;
        if (pieces > static_cast<unsigned>(kMaxSectionRecords)) pieces = kMaxSectionRecords;
        if (pieces < 2 || (roadAheadRecord(f, from) && roadAheadRecord(f, from + pieces - 1))) return;
        // A run that reaches past the end of the file is not used: each piece is then read alone.
        if (roadState().pending.empty() && roadState().appended.empty() &&
            coreFileReadAt(bytes, std::size_t(pieces) * kRoadRecordBytes, std::int64_t(from) * kRoadRecordBytes, f))
            count = pieces;
    }
    // The piece in the run or the read-ahead, or else read into `single`; null when it cannot be
    // read.
    const SECTREC* get(FILE* f, unsigned idx, SECTREC& single) const {
        if (idx >= first && idx - first < count)
            return reinterpret_cast<const SECTREC*>(bytes + std::size_t(idx - first) * kRoadRecordBytes);
        if (const std::uint8_t* ahead = roadAheadRecord(f, idx)) return reinterpret_cast<const SECTREC*>(ahead);
        return roadReadRecord(f, idx, &single) ? &single : nullptr;
    }
};

// Fills xs from the section chain starting at `first` (`pieces` records expected); the walk stops
// at the last piece, at a piece that links to itself, at a record that is no section piece or
// after the pieces the capacity can hold.
void readChain(FILE* f, unsigned first, unsigned pieces, XSECTION& xs) {
    static thread_local ChainRun run;
    run.read(f, first, pieces);
    int copied = 0;
    long counted = 0;
    unsigned idx = first;
    for (int piece = 0; piece < kMaxSectionRecords && idx != 0; ++piece) {
        SECTREC single;
        const SECTREC* stored = run.get(f, idx, single);
        if (!stored || stored->type != kRecSection) break;
        const SECTREC& rec = *stored;
        const int n = rec.count < 0 ? 0 : (rec.count > kSectionRecordPoints ? kSectionRecordPoints : rec.count);
        for (int k = 0; k < n; ++k) {
            const int position = piece * kSectionRecordPoints + k;
            if (position >= kSectionCapacity) break;
            xs.points[position] = fromStored(rec.points[k]);
            if (position + 1 > copied) copied = position + 1;
        }
        counted += rec.count;
        if (rec.next == idx) break;
        idx = rec.next;
    }
    if (counted > copied) counted = copied;
    if (counted < 0) counted = 0;
    xs.count = static_cast<std::int16_t>(counted);
    for (int i = xs.count; i < kSectionCapacity; ++i) xs.points[i] = SECTMEM{0.0, 0.0, 0.0, 0};
}

int grabSection(FILE* f, unsigned current, double chg, short layer, XSECTION* xs) {
    xs->chainage = dbfRoundChg(chg);
    xs->count = 0;
    xs->capacity = kSectionCapacity;
    CHGBASE owner;
    if (!f || current == 0 || !layerInRange(layer) || !roadReadRecord(f, current, &owner)) return 0;
    const DWORD slot = owner.layers[layer - 1];
    if (slot == 0 || !chgSame(xs->chainage, dbfRoundChg(owner.chainage))) return 0;
    LAYBASE lay;
    if (!roadReadRecord(f, slot, &lay)) return 0;
    xs->chainage = lay.chainage;
    if (lay.next == 0) return 0;
    readChain(f, lay.next, (lay.pointCount + kSectionRecordPoints - 1u) / kSectionRecordPoints, *xs);
    return 1;
}

}  // namespace

int dbfGrabLayer(double chg, short layer, LAYBASE* rec) {
    if (!layerInRange(layer)) return 0;
    return grabSlot(chg, layer - 1, rec, kRecLayer);
}

int dbfStoreLayer(double chg, short layer, LAYBASE* rec) {
    if (!layerInRange(layer)) return 0;
    return storeSlot(chg, layer - 1, rec);
}

void dbfResetLayerFlags(double chg, short layer, LAYBASE* rec) {
    if (!rec || !dbfGrabLayer(chg, layer, rec)) return;
    std::memset(rec->flags, 0, sizeof rec->flags);
    std::memset(rec->values, 0, sizeof rec->values);
    rec->pointCount = 0;
    std::memset(rec->values2, 0, sizeof rec->values2);
    rec->flag81 = 0;
    dbfStoreLayer(chg, layer, rec);
}

int dbfGrabExtra(double chg, CHGDATA* rec) { return grabSlot(chg, kExtraSlot, rec, kRecExtra); }

int dbfStoreExtra(double chg, CHGDATA* rec) { return storeSlot(chg, kExtraSlot, rec); }

int dbfGrabSect(double chg, short layer, XSECTION* xs) {
    if (!xs || !roadFinite(chg, "Chainage")) return 0;
    RoadState& r = roadState();
    return grabSection(r.stream, r.head.current, chg, layer, xs);
}

int viewGrabSect(double chg, short layer, XSECTION* xs, FILE* f, SECHEAD& head) {
    if (!xs) return 0;
    return grabSection(f, head.current, chg, layer, xs);
}

namespace {

int storeSection(double chg, short layer, XSECTION& xs) {
    RoadState& r = roadState();
    if (!roadWritable()) return 0;
    roadMarkEdited();
    if (!layerInRange(layer)) return 1;

    xs.chainage = dbfRoundChg(chg);
    double probe = chg;
    const unsigned found = dbfFindChainage(probe, 1);
    if (found == 0 || !chgSame(xs.chainage, probe)) {
        CHGBASE inserted;
        if (dbfInsertChainage(xs.chainage, &inserted) == 0) return 0;
    }
    CHGBASE owner;
    if (!readCurrent(owner)) return 0;
    const unsigned layerIdx = slotRecord(owner, layer - 1, kRecLayer);
    LAYBASE lay;
    if (layerIdx == 0 || !roadReadRecord(r.stream, layerIdx, &lay)) return 0;

    int n = xs.count;
    if (n < 0) n = 0;
    if (n > kSectionCapacity) n = kSectionCapacity;
    const int pieces = (n + kSectionRecordPoints - 1) / kSectionRecordPoints;

    // The old chain, as far as it is a chain of this layer's pieces: it ends at the first link
    // that leaves the file, loops back or names another kind of record.
    std::vector<unsigned> old;
    for (unsigned idx = lay.next; roadValidIndex(idx) && static_cast<int>(old.size()) <= pieces;) {
        ROADRECHEAD head;
        if (!roadReadHead(r.stream, idx, head) || head.type != kRecSection) break;
        bool seen = idx == layerIdx;
        for (unsigned o : old) seen = seen || o == idx;
        if (seen) break;
        old.push_back(idx);
        idx = head.next;
    }

    unsigned previous = layerIdx;   // the record written before the next one
    for (int j = 0; j < pieces; ++j) {
        SECTREC rec;
        std::memset(&rec, 0, sizeof rec);
        rec.type = kRecSection;
        rec.chainage = owner.chainage;
        rec.layer = layer;
        const int first = j * kSectionRecordPoints;
        const int count = n - first < kSectionRecordPoints ? n - first : kSectionRecordPoints;
        rec.count = static_cast<std::int16_t>(count);
        for (int k = 0; k < count; ++k) rec.points[k] = toStored(xs.points[first + k]);

        if (j < static_cast<int>(old.size())) {
            // In place, linked as the chain was (a damaged chain's stray links are dropped).
            rec.prev = j == 0 ? layerIdx : old[static_cast<std::size_t>(j - 1)];
            rec.next = j + 1 < static_cast<int>(old.size()) ? old[static_cast<std::size_t>(j + 1)] : 0;
            if (!roadWriteRecord(old[j], &rec)) return 0;
            previous = old[j];
        } else {
            rec.prev = previous;
            const unsigned idx = roadAppendRecord(&rec);
            if (idx == 0) return 0;
            if (previous == layerIdx)
                lay.next = idx;
            else if (!roadSetLink(previous, +1, idx))
                return 0;
            previous = idx;
        }
    }

    lay.pointCount = static_cast<WORD>(n);
    if (old.empty() && pieces == 0) lay.next = 0;
    if (!old.empty()) lay.next = old[0];
    if (!roadWriteRecord(layerIdx, &lay)) return 0;

    if (static_cast<int>(old.size()) > pieces) {
        // The leftover pieces go, from the first one not rewritten; its predecessor's link is cut
        // here too, because the free chain trusts only what the piece itself says.
        const unsigned leftover = old[static_cast<std::size_t>(pieces)];
        roadSetLink(leftover, -1, previous);
        roadFreeChain(leftover);
    }
    return r.frozen ? 0 : 1;
}

// The stored form holds offsets and elevations as singles: a value that is not a finite number,
// or that a single cannot hold, is refused before anything is written.
bool sectionStorable(double chg, const XSECTION& xs) {
    if (!roadFinite(chg, "Chainage")) return false;
    const int n = xs.count < 0 ? 0 : (xs.count > kSectionCapacity ? kSectionCapacity : xs.count);
    for (int i = 0; i < n; ++i) {
        const SECTMEM& p = xs.points[i];
        for (double value : {p.offset, p.elevation, p.idNo}) {
            if (std::isfinite(value) && std::fabs(value) <= std::numeric_limits<float>::max()) continue;
            dbfFormatText("Point %d of the cross-section at chainage %.3f: %g is not a number that can be stored",
                          i + 1, dbfRoundChg(chg), value);
            ErrorMessage(dbfState().text, dbfOwner());
            return false;
        }
    }
    return true;
}

}  // namespace

int dbfStoreSect(double chg, short layer, XSECTION* xs) {
    if (!xs) return 0;
    xs->capacity = kSectionCapacity;
    if (!sectionStorable(chg, *xs)) return 0;
    const bool openedHere = roadState().stream == nullptr;
    if (openedHere && !dbfRoadOpen()) return 0;
    int result = 0;
    {
        RoadBatch batch;
        result = storeSection(chg, layer, *xs);
        if (!batch.finish()) result = 0;
    }
    if (openedHere) dbfRoadClose();
    return result;
}
