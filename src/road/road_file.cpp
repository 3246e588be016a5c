// The road file container: the state part, the record primitives (append, link, delete with
// compaction, free chain), opening and closing the road work file, the edited marks and the view
// handles.
#include <cerrno>
#include <cstring>

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

// ---------------------------------------------------------------------------------------------
// Record primitives

int roadReadRecord(FILE* f, unsigned idx, void* record) {
    if (!f || !coreFileSetPointer(0, recordOffset(idx), f)) return 0;
    return coreFileBinRead(record, kRoadRecordBytes, f);
}

int roadReadHead(FILE* f, unsigned idx, ROADRECHEAD& head) {
    if (!f || !coreFileSetPointer(0, recordOffset(idx), f)) return 0;
    return coreFileBinRead(&head, sizeof head, f);
}

int roadWriteRecord(unsigned idx, const void* record) {
    FILE* f = roadState().stream;
    if (!f || !coreFileSetPointer(0, recordOffset(idx), f)) return 0;
    return coreFileBinWrite(record, kRoadRecordBytes, f);
}

int roadWriteHeader() {
    RoadState& r = roadState();
    return roadWriteRecord(0, &r.head);
}

unsigned roadAppendRecord(const void* record) {
    RoadState& r = roadState();
    // A header that counts no records would put the new record over the header itself.
    if (!r.stream || r.head.recordCount < 1) return 0;
    const unsigned idx = r.head.recordCount;
    if (!roadWriteRecord(idx, record)) return 0;
    ++r.head.recordCount;
    roadWriteHeader();
    return idx;
}

int roadSetLink(unsigned r, int direction, unsigned value) {
    RoadState& s = roadState();
    if (!s.stream || !roadValidIndex(r)) return 0;
    ROADRECHEAD head;
    if (!roadReadHead(s.stream, r, head)) return 0;
    if (direction >= 0)
        head.next = value;
    else
        head.prev = value;
    if (!coreFileSetPointer(0, recordOffset(r), s.stream)) return 0;
    return coreFileBinWrite(&head, sizeof head, s.stream);
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
    if (!s.stream || !roadValidIndex(r)) return visitNext;

    if (s.head.current == r) {
        ROADRECHEAD head;
        if (roadReadHead(s.stream, r, head)) s.head.current = head.next != 0 ? head.next : head.prev;
    }

    const unsigned last = s.head.recordCount - 1;
    if (r < last) {
        std::uint8_t record[kRoadRecordBytes];
        if (roadReadRecord(s.stream, last, record) && roadWriteRecord(r, record)) {
            repairReferences(last, r);
            // The moved record's children are repaired as well, so a caller working on it only
            // needs its new index.
            if (working && *working == last) *working = r;
        }
    }

    --s.head.recordCount;
    roadWriteHeader();
    shrinkByOneRecord();
    if (s.head.current >= s.head.recordCount) s.head.current = 0;
    return visitNext == last ? r : visitNext;
}

void roadFreeChain(unsigned s) {
    RoadState& state = roadState();
    unsigned piece = s;
    bool first = true;
    // Each turn deletes one record, so the walk ends within the file's record count.
    while (roadValidIndex(piece)) {
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

int dbfRoadOpenFile(const char* path) {
    RoadState& r = roadState();
    if (r.stream) {
        roadWriteHeader();
        r.stream = coreFileClose(r.stream);
        if (r.stream) return 0;
    }
    if (!path || !*path) return 0;
    if (coreFileExist(path)) {
        r.stream = coreFileOpen(path, "r+b");
        if (!r.stream) return 0;
        if (!roadReadRecord(r.stream, 0, &r.head)) {
            // Shorter than a header: nothing in it can be trusted.
            r.stream = coreFileClose(r.stream);
            r.head = SECHEAD{};
            return 0;
        }
        return 1;
    }
    r.stream = coreFileOpen(path, "w+b");
    if (!r.stream) return 0;
    r.head = SECHEAD{};
    r.head.recordCount = 1;
    coreRandomString(r.head.tag, sizeof r.head.tag);
    if (!roadWriteHeader()) {
        r.stream = coreFileClose(r.stream);
        return 0;
    }
    return 1;
}

int dbfRoadClose() {
    RoadState& r = roadState();
    if (r.stream) {
        roadWriteHeader();
        r.stream = coreFileClose(r.stream);
    }
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
    FILE* f = coreFileOpen(name, "r+b");
    if (!f) return 0;
    const BYTE zero = 0;
    const int ok = coreFileSetPointer(0, 0, f) && coreFileBinWrite(&zero, 1, f);
    coreFileClose(f);
    return ok;
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
