// The road file container: the state part, the record primitives (append, link, delete with
// compaction, free chain), opening and closing the road work file, the edited marks and the view
// handles.
#include <cerrno>
#include <cmath>
#include <algorithm>
#include <cstring>
#include <vector>

#include "database/frame.h"
#include "database/road.h"
#include "database/strings.h"
#include "platform/core.h"
#include "platform/proj.h"
#include "road/road_state.h"

namespace {

void resetRoadState() {
    RoadState& r = roadState();
    r.stream = coreFileClose(r.stream);
    r = RoadState{};
}

std::int64_t recordOffset(unsigned idx) { return static_cast<std::int64_t>(idx) * kRoadRecordBytes; }

// The reason a failed truncation gives, from the platform's error number.
const char* truncationReason(int error) {
    switch (error) {
        case EBADF:
        case EINVAL:
        case EROFS:
            return "File is read-only or the handle is invalid";
        case EACCES:
        case EPERM:
        case ETXTBSY:
            return "File is locked against access";
        case ENOSPC:
            return "No space is left on the device";
        default:
            return "Unknown error";
    }
}

// Shrinks the open road file by one record after a deletion.
void shrinkByOneRecord() {
    FILE* f = roadState().stream;
    roadForgetReads();
    const std::int64_t length = coreFileLength(f);
    if (length - kRoadRecordBytes <= 0 && length >= 0) return;
    errno = 0;
    if (length > 0 && coreFileTruncate(f, length - kRoadRecordBytes)) return;
    const int error = errno;
    dbfFormatText("Error truncating file\n%s", truncationReason(length < 0 ? EBADF : error));
    ErrorMessage(dbfState().text, dbfOwner());
}

}  // namespace

RoadState& roadState() {
    static RoadState state;
    static const int registered = dbfRegisterStatePart(resetRoadState);
    (void)registered;
    return state;
}

void roadError(const char* text) {
    coreStrncpy(dbfState().text, text, static_cast<int>(kSharedTextBytes));
    ErrorMessage(dbfState().text, dbfOwner());
}

void roadReportDamage(const char* text) {
    roadState().frozen = true;
    // From here on finds walk the links, and so meet the damage again.
    roadIndexDrop();
    roadError(text);
}

bool roadWritable() {
    const RoadState& r = roadState();
    if (!r.stream) return false;
    if (!r.frozen) return true;
    dbfFormatText("The road file %s was found damaged or could not be written: it is left as it is", r.path);
    ErrorMessage(dbfState().text, dbfOwner());
    return false;
}

bool roadFinite(double value, const char* what) {
    if (std::isfinite(value)) return true;
    dbfFormatText("%s %g is not a finite number", what, value);
    ErrorMessage(dbfState().text, dbfOwner());
    return false;
}

int dbfRoadFileFailed() { return roadState().frozen ? 1 : 0; }

namespace {

// The reason the last failed call of the file wrappers gives.
const char* lastFileError() {
    return coreFileLastError() != 0 ? coreFileLastErrorText() : std::strerror(EIO);
}

void reportFileFailure(const char* what, const char* path) {
    dbfFormatText("Unable to %s the road file %s\n%s", what, path, lastFileError());
    ErrorMessage(dbfState().text, dbfOwner());
}

// Writes bytes at an offset of the open road file and flushes them, so that a full disk is seen
// here and not at some later call. A failure is reported and freezes the file.
int writeAt(std::int64_t offset, const void* data, std::size_t size) {
    RoadState& r = roadState();
    roadForgetReads();
    if (!r.stream || r.frozen) return 0;
    coreFileClearError();
    if (coreFileSetPointer(0, offset, r.stream) && coreFileBinWrite(data, size, r.stream) &&
        coreFileFlush(r.stream))
        return 1;
    r.frozen = true;
    roadIndexDrop();
    reportFileFailure("write to", r.path);
    return 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Record primitives

namespace {

// The gathered bytes of record idx of stream f, or null.
const std::uint8_t* pendingRecord(FILE* f, unsigned idx) {
    const RoadState& r = roadState();
    if (f != r.stream) return nullptr;
    if (idx >= r.appendFirst && std::size_t(idx - r.appendFirst) * kRoadRecordBytes < r.appended.size())
        return r.appended.data() + std::size_t(idx - r.appendFirst) * kRoadRecordBytes;
    if (r.pending.empty()) return nullptr;
    const auto it = r.pending.find(idx);
    return it == r.pending.end() ? nullptr : it->second.data();
}

// Where a gathered write of record idx goes: past the records the file held when the batch
// began, the appended run (which grows one record at a time); before them, the map.
std::uint8_t* pendingSlot(unsigned idx) {
    RoadState& r = roadState();
    if (idx < r.appendFirst) return r.pending[idx].data();
    const std::size_t at = std::size_t(idx - r.appendFirst) * kRoadRecordBytes;
    if (r.appended.size() < at + kRoadRecordBytes) r.appended.resize(at + kRoadRecordBytes);
    return r.appended.data() + at;
}

// Starts gathering anew: what is appended from here on follows the file's records.
void startGathering() {
    RoadState& r = roadState();
    r.headBefore = r.head;
    r.appendFirst = r.head.recordCount;
}

bool batching() {
    const RoadState& r = roadState();
    return r.batchDepth > 0 && r.stream && !r.frozen;
}

// Writes what the batch gathered. 0 (after the report, with the file frozen) when a write fails
// or the file was frozen while the batch ran.
int writePending() {
    RoadState& r = roadState();
    roadForgetReads();
    if (r.pending.empty() && r.appended.empty() && !r.headerPending) return r.frozen ? 0 : 1;
    auto pending = std::move(r.pending);
    r.pending.clear();
    auto appended = std::move(r.appended);
    r.appended.clear();
    const bool header = r.headerPending;
    r.headerPending = false;
    if (!r.stream || r.frozen) return 0;
    coreFileClearError();
    // The appended records first: until the header counts them they lie beyond the records the
    // file holds, so a write that fails there leaves the records it counts as they were.
    bool ok = appended.empty() || (coreFileSetPointer(0, recordOffset(r.appendFirst), r.stream) &&
                                   coreFileBinWrite(appended.data(), appended.size(), r.stream));
    std::vector<std::uint8_t> run;
    for (auto it = pending.begin(); ok && it != pending.end();) {
        const unsigned first = it->first;
        run.clear();
        for (unsigned idx = first; it != pending.end() && it->first == idx; ++it, ++idx)
            run.insert(run.end(), it->second.begin(), it->second.end());
        ok = coreFileSetPointer(0, recordOffset(first), r.stream) && coreFileBinWrite(run.data(), run.size(), r.stream);
    }
    if (ok && header)
        ok = coreFileSetPointer(0, 0, r.stream) && coreFileBinWrite(&r.head, kRoadRecordBytes, r.stream);
    if (ok && coreFileFlush(r.stream)) return 1;
    r.frozen = true;
    roadIndexDrop();
    reportFileFailure("write to", r.path);
    return 0;
}

}  // namespace

RoadBatch::RoadBatch() {
    RoadState& r = roadState();
    if (r.batchDepth++ == 0) startGathering();
}

RoadBatch::~RoadBatch() { finish(); }

int RoadBatch::finish() {
    if (done) return 1;
    done = true;
    RoadState& r = roadState();
    if (--r.batchDepth > 0) return 1;
    if (writePending()) return 1;
    // What the file holds is what it held before the gathered writes: so is the header copy
    // (its record count above all), and nothing more reaches the frozen file.
    r.head = r.headBefore;
    return 0;
}

const std::uint8_t* roadAheadRecord(FILE* f, unsigned idx) {
    const RoadState& r = roadState();
    if (!f || f != r.stream || idx < r.aheadFirst || idx - r.aheadFirst >= r.aheadCount) return nullptr;
    return r.ahead.data() + std::size_t(idx - r.aheadFirst) * kRoadRecordBytes;
}

void roadForgetReads() { roadState().aheadCount = 0; }

namespace {

// The records read ahead: a chainage record, one layer record and a full section chain.
constexpr unsigned kReadAheadRecords = 2 + (kSectionCapacity + kSectionRecordPoints - 1) / kSectionRecordPoints;

// Reads record idx of the open file and the records that follow it, up to the read-ahead's
// size and the end of the file, into the read-ahead. A walk along the links without the index
// (a damaged or unordered file) reads a read-ahead's worth per step; it is the rare path. Not while writes are gathered (the file
// does not hold them yet) nor for the header (its copy in memory is the current one).
const std::uint8_t* readAhead(unsigned idx) {
    RoadState& r = roadState();
    r.aheadCount = 0;
    if (idx == 0 || idx >= r.head.recordCount || !r.pending.empty() || !r.appended.empty()) return nullptr;
    const unsigned n = std::min(kReadAheadRecords, r.head.recordCount - idx);
    r.ahead.resize(std::size_t(kReadAheadRecords) * kRoadRecordBytes);
    if (!coreFileReadAt(r.ahead.data(), std::size_t(n) * kRoadRecordBytes, recordOffset(idx), r.stream)) return nullptr;
    r.aheadFirst = idx;
    r.aheadCount = n;
    return r.ahead.data();
}

// Record idx of stream f as the open operation sees it without reading: gathered or read ahead.
const std::uint8_t* knownRecord(FILE* f, unsigned idx) {
    if (const std::uint8_t* bytes = pendingRecord(f, idx)) return bytes;
    return roadAheadRecord(f, idx);
}

}  // namespace

int roadReadRecord(FILE* f, unsigned idx, void* record) {
    const std::uint8_t* bytes = knownRecord(f, idx);
    if (!bytes && f && f == roadState().stream) bytes = readAhead(idx);
    if (bytes) {
        std::memcpy(record, bytes, kRoadRecordBytes);
        return 1;
    }
    return f ? coreFileReadAt(record, kRoadRecordBytes, recordOffset(idx), f) : 0;
}

int roadReadHead(FILE* f, unsigned idx, ROADRECHEAD& head) {
    if (const std::uint8_t* bytes = knownRecord(f, idx)) {
        std::memcpy(&head, bytes, sizeof head);
        return 1;
    }
    return f ? coreFileReadAt(&head, sizeof head, recordOffset(idx), f) : 0;
}

int roadWriteRecord(unsigned idx, const void* record) {
    roadForgetReads();
    if (batching()) {
        RoadState& r = roadState();
        if (idx == 0) {
            r.headerPending = true;
            if (record != &r.head) std::memcpy(&r.head, record, sizeof r.head);
        } else {
            std::memcpy(pendingSlot(idx), record, kRoadRecordBytes);
        }
        return 1;
    }
    return writeAt(recordOffset(idx), record, kRoadRecordBytes);
}

int roadWriteHeader() {
    RoadState& r = roadState();
    return roadWriteRecord(0, &r.head);
}

unsigned roadAppendRecord(const void* record) {
    RoadState& r = roadState();
    // A header that counts no records would put the new record over the header itself.
    if (!r.stream || r.frozen || r.head.recordCount < 1) return 0;
    const unsigned idx = r.head.recordCount;
    if (!roadWriteRecord(idx, record)) return 0;
    ++r.head.recordCount;
    if (!roadWriteHeader()) return 0;
    return idx;
}

int roadSetLink(unsigned r, int direction, unsigned value) {
    RoadState& s = roadState();
    if (!s.stream || s.frozen || !roadValidIndex(r)) return 0;
    if (batching()) {
        std::uint8_t record[kRoadRecordBytes];
        if (!roadReadRecord(s.stream, r, record)) return 0;
        ROADRECHEAD head;
        std::memcpy(&head, record, sizeof head);
        (direction >= 0 ? head.next : head.prev) = value;
        std::memcpy(record, &head, sizeof head);
        return roadWriteRecord(r, record);
    }
    ROADRECHEAD head;
    if (!roadReadHead(s.stream, r, head)) return 0;
    if (direction >= 0)
        head.next = value;
    else
        head.prev = value;
    return writeAt(recordOffset(r), &head, sizeof head);
}

namespace {

// After the record of index `from` moved to `to`: the owner slot, neighbour links and back links
// that named `from` name `to`. Only links that really named the moved record change, so a
// damaged neighbour that points elsewhere is left as it was. A link that named the moved record
// itself (a damaged file) is applied to its new slot.
void repairReferences(unsigned from, unsigned to) {
    RoadState& s = roadState();
    auto at = [&](unsigned idx) { return idx == from ? to : idx; };
    auto usable = [&](unsigned idx) { return idx != 0 && idx < s.head.recordCount; };
    // Sets the link of record idx (next for direction >= 0, prev otherwise) to `to` when it
    // named `from`.
    auto relink = [&](unsigned idx, int direction) {
        if (!usable(idx)) return;
        idx = at(idx);
        ROADRECHEAD head;
        if (!roadReadHead(s.stream, idx, head)) return;
        if ((direction >= 0 ? head.next : head.prev) == from) roadSetLink(idx, direction, to);
    };

    ROADRECHEAD moved;
    if (!roadReadHead(s.stream, to, moved)) return;
    switch (moved.type) {
        case kRecChainage: {
            roadIndexMoved(moved.chainage, from, to);
            relink(moved.prev, +1);
            relink(moved.next, -1);
            CHGBASE chg;
            if (!roadReadRecord(s.stream, to, &chg)) break;
            relink(chg.extra, -1);
            for (int slot = 0; slot < kRoadLayers; ++slot) relink(chg.layers[slot], -1);
            if (s.head.current == from) s.head.current = to;
            break;
        }
        case kRecLayer: {
            CHGBASE owner;
            const unsigned ownerIdx = at(moved.prev);
            if (usable(ownerIdx) && roadReadRecord(s.stream, ownerIdx, &owner) && owner.type == kRecChainage) {
                for (int slot = 0; slot < kRoadLayers; ++slot) {
                    if (owner.layers[slot] == from) {
                        owner.layers[slot] = to;
                        roadWriteRecord(ownerIdx, &owner);
                        break;
                    }
                }
            }
            relink(moved.next, -1);
            break;
        }
        case kRecSection:
            relink(moved.prev, +1);
            relink(moved.next, -1);
            break;
        case kRecExtra: {
            CHGBASE owner;
            const unsigned ownerIdx = at(moved.prev);
            if (usable(ownerIdx) && roadReadRecord(s.stream, ownerIdx, &owner) && owner.type == kRecChainage &&
                owner.extra == from) {
                owner.extra = to;
                roadWriteRecord(ownerIdx, &owner);
            }
            break;
        }
        default:
            break;
    }
}

}  // namespace

unsigned roadDeleteRecord(unsigned r, unsigned visitNext, unsigned* working) {
    RoadState& s = roadState();
    if (!s.stream || s.frozen || !roadValidIndex(r)) return visitNext;
    if (s.batchDepth > 0) {
        // The file is shortened below: what the batch gathered goes first, and the deletion
        // writes the file itself.
        if (!writePending()) return visitNext;
        const int depth = s.batchDepth;
        s.batchDepth = 0;
        const unsigned result = roadDeleteRecord(r, visitNext, working);
        s.batchDepth = depth;
        startGathering();
        return result;
    }

    if (s.head.current == r) {
        ROADRECHEAD head;
        if (roadReadHead(s.stream, r, head)) s.head.current = head.next != 0 ? head.next : head.prev;
    }

    const unsigned last = s.head.recordCount - 1;
    if (r < last) {
        std::uint8_t record[kRoadRecordBytes];
        if (!roadReadRecord(s.stream, last, record)) {
            roadReportDamage(kRoadDataCorrupt);
            return visitNext;
        }
        if (!roadWriteRecord(r, record)) return visitNext;
        repairReferences(last, r);
        // A failed repair leaves the last record in place: the file is frozen, not shortened.
        if (s.frozen) return visitNext;
        // The moved record's children are repaired as well, so a caller working on it only
        // needs its new index.
        if (working && *working == last) *working = r;
    }

    --s.head.recordCount;
    if (!roadWriteHeader()) {
        // The file still holds the record the header counts.
        ++s.head.recordCount;
        return visitNext;
    }
    shrinkByOneRecord();
    if (s.head.current >= s.head.recordCount) s.head.current = 0;
    return visitNext == last ? r : visitNext;
}

void roadFreeChain(unsigned s) {
    RoadState& state = roadState();
    unsigned piece = s;
    bool first = true;
    // Each turn deletes one record, so the walk ends within the file's record count.
    while (roadValidIndex(piece) && !state.frozen) {
        ROADRECHEAD head;
        if (!roadReadHead(state.stream, piece, head) || head.type != kRecSection) break;
        if (first && roadValidIndex(head.prev)) roadSetLink(head.prev, +1, 0);
        // The walk follows a link only to a piece that links back: a damaged chain that loops
        // into pieces still in use must not take them with it.
        unsigned next = roadValidIndex(head.next) && head.next != piece ? head.next : 0;
        ROADRECHEAD successor;
        if (next && (!roadReadHead(state.stream, next, successor) || successor.prev != piece)) next = 0;
        if (next) roadSetLink(next, -1, 0);
        const unsigned nextNow = roadDeleteRecord(piece, next);
        if (next == 0) break;
        // When the successor was the file's last record it now sits in the freed slot: the walk
        // goes on from there, so no piece of the chain stays behind unreferenced.
        piece = nextNow;
        first = false;
    }
}

// ---------------------------------------------------------------------------------------------
// Coordinates and comparisons

void chgToFile(CHGBASE& rec) {
    const int lo = projGetLO(nullptr);
    double latitude = 0.0, longitude = 0.0;
    projLOToLatLong(rec.y, rec.x, lo, &latitude, &longitude);
    rec.x = latitude;
    rec.y = longitude;
}

void chgFromFile(CHGBASE& rec) {
    const int lo = projGetLO(nullptr);
    double y = 0.0, x = 0.0;
    projLatLongToLO(rec.x, rec.y, lo, &y, &x);
    rec.x = x;
    rec.y = y;
}

bool chgSame(double a, double b) { return dblEqual(a, b); }
bool chgBeyond(double a, double b) { return dblGreater(a, b); }

// ---------------------------------------------------------------------------------------------
// Opening and closing

namespace {

// The links of every data record, read in one pass at the open.
struct RecordLinks {
    std::vector<BYTE> type;
    std::vector<double> chainage;
    std::vector<DWORD> prev, next;
    std::vector<BYTE> hidden;       // of the chainage records
    std::vector<DWORD> claimedBy;   // the one record that names this one as its child or successor
    std::vector<BYTE> claimedAs;    // the type that reference expects
};

// Record `from` names `child` as a record of the given type (its layer, extra record, first
// piece or next piece). No record may be named twice; the type is checked once all are read.
bool claim(RecordLinks& links, DWORD child, BYTE type, unsigned from) {
    if (child == 0) return true;
    if (child >= links.type.size() || links.claimedBy[child] != 0) return false;
    links.claimedBy[child] = from;
    links.claimedAs[child] = type;
    return true;
}

// Reads the head of every data record (and the references of the chainage records) in one pass
// over the file, checking each record on its own as it goes.
bool readRecordLinks(FILE* f, DWORD count, RecordLinks& links) {
    links.type.assign(count, 0);
    links.chainage.assign(count, 0.0);
    links.prev.assign(count, 0);
    links.next.assign(count, 0);
    links.hidden.assign(count, 0);
    links.claimedBy.assign(count, 0);
    links.claimedAs.assign(count, 0);
    // The file is read in chunks of records, one system call each, into a buffer that stays in
    // the processor's cache. The count was checked against the file's length before.
    constexpr unsigned kChunk = 64;
    std::vector<std::uint8_t> buffer(std::size_t(kChunk) * kRoadRecordBytes);
    for (unsigned first = 1; first < count; first += kChunk) {
        const unsigned n = std::min<unsigned>(kChunk, count - first);
        const std::uint8_t* chunk = buffer.data();
        if (!coreFileReadAt(buffer.data(), std::size_t(n) * kRoadRecordBytes, recordOffset(first), f)) return false;
        for (unsigned k = 0; k < n; ++k) {
            const unsigned idx = first + k;
            const std::uint8_t* bytes = chunk + std::size_t(k) * kRoadRecordBytes;
            ROADRECHEAD head;
            std::memcpy(&head, bytes, sizeof head);
            if (head.type < kRecChainage || head.type > kRecExtra || !std::isfinite(head.chainage) ||
                head.prev >= count || head.next >= count || head.prev == idx || head.next == idx)
                return false;
            links.type[idx] = head.type;
            links.chainage[idx] = head.chainage;
            links.prev[idx] = head.prev;
            links.next[idx] = head.next;
            if (head.type == kRecChainage) {
                // Copied out of the packed record, whose fields are not aligned.
                DWORD extra, layers[kRoadLayers];
                std::memcpy(&extra, bytes + offsetof(CHGBASE, extra), sizeof extra);
                std::memcpy(layers, bytes + offsetof(CHGBASE, layers), sizeof layers);
                links.hidden[idx] = bytes[offsetof(CHGBASE, hidden)];
                if (!claim(links, extra, kRecExtra, idx)) return false;
                for (DWORD layer : layers)
                    if (!claim(links, layer, kRecLayer, idx)) return false;
            } else if (head.type == kRecLayer || head.type == kRecSection) {
                if (!claim(links, head.next, kRecSection, idx)) return false;
            }
        }
    }
    return true;
}

// The references between the records form what the file promises: one ordered list of chainage
// records; each layer and extra record owned by the one chainage record that names it; each
// layer's section pieces one chain from the layer record, every piece reached.
bool linksAgree(const RecordLinks& links) {
    const unsigned count = static_cast<unsigned>(links.type.size());
    unsigned chainages = 0, head = 0, heads = 0, pieces = 0;
    for (unsigned i = 1; i < count; ++i) {
        // Every reference met the type it expects, and every owned record names its owner.
        if (links.claimedBy[i] != 0 && links.claimedAs[i] != links.type[i]) return false;
        switch (links.type[i]) {
        case kRecChainage:
            ++chainages;
            if (links.prev[i] == 0) {
                head = i;
                ++heads;
            }
            break;
        case kRecSection:
            ++pieces;
            [[fallthrough]];
        case kRecLayer:
        case kRecExtra:
            if (links.claimedBy[i] == 0 || links.prev[i] != links.claimedBy[i]) return false;
            break;
        default:
            break;
        }
    }
    if (chainages > 0 && heads != 1) return false;
    // The chainage list, in ascending order; the order also ends any loop.
    unsigned visited = 0;
    for (unsigned at = head, before = 0; at != 0; before = at, at = links.next[at]) {
        if (links.type[at] != kRecChainage || links.prev[at] != before) return false;
        if (before != 0 && !chgBeyond(links.chainage[at], links.chainage[before])) return false;
        if (++visited > chainages) return false;
    }
    if (visited != chainages) return false;
    // Every section piece hangs from a layer: a ring of pieces that no layer reaches is damage.
    unsigned reached = 0;
    for (unsigned i = 1; i < count; ++i) {
        if (links.type[i] != kRecLayer) continue;
        for (unsigned at = links.next[i]; at != 0; at = links.next[at])
            if (++reached > pieces) return false;
    }
    return reached == pieces;
}

// The chainage index from the links of a sound file, in list order. Not built (finds then walk
// the links) when two neighbours of the list round to chainages that are not strictly
// ascending: the walks see such a file as damaged at that step, and must go on seeing it.
void buildIndex(const RecordLinks& links, RoadState& r) {
    r.index.clear();
    r.indexed = false;
    unsigned head = 0;
    for (unsigned i = 1; i < links.type.size() && head == 0; ++i)
        if (links.type[i] == kRecChainage && links.prev[i] == 0) head = i;
    double before = 0.0;
    auto hint = r.index.end();
    for (unsigned at = head; at != 0; at = links.next[at]) {
        const double chg = dbfRoundChg(links.chainage[at]);
        if (at != head && !chgBeyond(chg, before)) {
            r.index.clear();
            return;
        }
        hint = r.index.emplace_hint(hint, chg, IndexedChainage{at, links.hidden[at] != 0});
        before = chg;
    }
    r.indexed = true;
}

// Why the road file cannot be opened: the documented report of its damage, or null when the
// header agrees with the file's length and every record and reference is sound. One pass over
// the file, which also builds the chainage index; the walks still check what they meet, for
// files changed behind the library's back.
const char* openDamage(FILE* f, SECHEAD& head, RoadState& r) {
    const std::int64_t length = coreFileLength(f);
    if (length < kRoadRecordBytes || length % kRoadRecordBytes != 0) return kRoadHeaderCorrupt;
    if (!roadReadRecord(f, 0, &head)) return kRoadHeaderCorrupt;
    // The file may be longer than its count: a shrink that failed after a deletion leaves the
    // records consistent and only the file's length behind.
    if (head.recordCount < 1 || head.recordCount > static_cast<std::uint64_t>(length / kRoadRecordBytes) ||
        head.current >= head.recordCount || !std::isfinite(head.lastChainage))
        return kRoadHeaderCorrupt;
    RecordLinks links;
    if (!readRecordLinks(f, head.recordCount, links) || !linksAgree(links)) return kRoadDataCorrupt;
    if (head.current != 0 && links.type[head.current] != kRecChainage) return kRoadDataCorrupt;
    buildIndex(links, r);
    return nullptr;
}

// The open road file is read and written record by record at scattered places, each write
// flushed at once: the stream's own buffer would only read 4 KB around every 568-byte record
// and copy what it read once more. Reads and writes go straight to the file.
void unbuffered(FILE* f) { std::setvbuf(f, nullptr, _IONBF, 0); }

// Closes the open road file, writing the header copy first unless the file is frozen.
void closeRoadStream() {
    RoadState& r = roadState();
    if (!r.stream) return;
    if (!r.frozen) roadWriteHeader();
    r.stream = coreFileClose(r.stream);
    roadIndexDrop();
}

}  // namespace

int dbfRoadOpenFile(const char* path) {
    RoadState& r = roadState();
    if (r.stream) {
        closeRoadStream();
        if (r.stream) return 0;
    }
    r.frozen = false;
    r.path[0] = '\0';
    r.head = SECHEAD{};
    roadIndexDrop();
    if (!path || !*path) return 0;
    // Every failure below leaves the road without a file and marked failed, so that nothing
    // goes on as if an empty road had been opened.
    if (coreFileExist(path)) {
        coreFileClearError();
        FILE* f = coreFileOpen(path, "r+b");
        if (!f) {
            r.frozen = true;
            reportFileFailure("open", path);
            return 0;
        }
        SECHEAD head{};
        if (const char* damage = openDamage(f, head, r)) {
            // Refused before anything is written: the file keeps its bytes.
            coreFileClose(f);
            roadReportDamage(damage);
            return 0;
        }
        r.stream = f;
        unbuffered(f);
        r.head = head;
        coreStrncpy(r.path, path, MAX_PATH);
        return 1;
    }
    coreFileClearError();
    r.stream = coreFileOpen(path, "w+b");
    if (!r.stream) {
        r.frozen = true;
        reportFileFailure("create", path);
        return 0;
    }
    unbuffered(r.stream);
    coreStrncpy(r.path, path, MAX_PATH);
    r.head.recordCount = 1;
    r.index.clear();
    r.indexed = true;
    coreRandomString(r.head.tag, sizeof r.head.tag);
    if (!roadWriteHeader()) {
        // A file without its whole header would be refused at the next open.
        r.stream = coreFileClose(r.stream);
        coreFileDelete(path);
        r.head = SECHEAD{};
        return 0;
    }
    return 1;
}

int dbfRoadClose() {
    RoadState& r = roadState();
    closeRoadStream();
    if (dbfStringFile()) dbfStringCloseFile();
    return r.stream != nullptr;
}

namespace {

// The first byte of a file: the edited mark of a road or strings work file. -1 when the file is
// missing or cannot be read.
int readMark(const char* name) {
    if (!name || !*name || !coreFileExist(name)) return -1;
    FILE* f = coreFileOpen(name, "rb");
    if (!f) return -1;
    BYTE mark = 0;
    const int ok = coreFileBinRead(&mark, 1, f);
    coreFileClose(f);
    return ok ? mark : -1;
}

int clearMark(const char* name) {
    if (!name || !*name || !coreFileExist(name)) return 0;
    coreFileClearError();
    FILE* f = coreFileOpen(name, "r+b");
    const BYTE zero = 0;
    const bool ok = f && coreFileSetPointer(0, 0, f) && coreFileBinWrite(&zero, 1, f) && coreFileFlush(f);
    if (!ok) {
        dbfFormatText("Unable to write to %s\n%s", name, lastFileError());
        ErrorMessage(dbfState().text, dbfOwner());
    }
    coreFileClose(f);
    return ok ? 1 : 0;
}

}  // namespace

int dbfRoadEdit() {
    char road[MAX_PATH], strings[MAX_PATH];
    dbfWorkFileName(road, kWorkRoad);
    dbfWorkFileName(strings, kWorkRoad2);
    const int roadMark = readMark(road);
    if (roadMark < 0) return 0;
    const int stringsMark = readMark(strings);
    if (stringsMark < 0) return 0;
    return roadMark != 0 || stringsMark != 0;
}

int dbfRoadReset() {
    char road[MAX_PATH], strings[MAX_PATH];
    dbfWorkFileName(road, kWorkRoad);
    dbfWorkFileName(strings, kWorkRoad2);
    if (!clearMark(road)) return 0;
    return clearMark(strings);
}

FILE* viewRoadOpenFile(const char* path, SECHEAD& head) {
    if (!path || !*path) return nullptr;
    FILE* f = coreFileOpen(path, "rb");
    if (!f) return nullptr;
    if (!roadReadRecord(f, 0, &head)) return coreFileClose(f);
    return f;
}

FILE* viewRoadClose(FILE* f) { return coreFileClose(f); }
