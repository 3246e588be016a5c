// The chainage index: the doubly linked list of chainage records in ascending chainage, the
// cursor from which every search starts, find, step, insert, grab, store and delete, and the
// read-only twins on a view handle.
//
// The open road file and a view handle share one walker. The open file checks its cursor and
// links against the header's record count and reports damage; a view reports nothing and stops
// where its file stops making sense. Both bound every walk by the number of records, so a list
// that loops ends the walk instead of the program.
#include <cmath>
#include <cstring>

#include "database/road.h"
#include "platform/core.h"
#include "road/road_state.h"

namespace {

constexpr const char* kHeaderCorrupt = "Corruption detected in road file header";
constexpr const char* kDataCorrupt = "Corruption detected in road file data";
constexpr const char* kNoRoadFile = "Corruption detected. Cannot read from the roads file";

// The file a walk runs on, with its cursor.
struct Walk {
    FILE* f;
    SECHEAD& head;
    bool view;              // a view handle: no reports, no header checks
    std::uint64_t limit;    // the most records a walk may visit

    static Walk open() {
        RoadState& r = roadState();
        return Walk{r.stream, r.head, false, std::uint64_t{r.head.recordCount} + 1};
    }
    static Walk onView(FILE* f, SECHEAD& head) {
        // The records the file really holds bound the walk, whatever its header says.
        const std::int64_t length = coreFileLength(f);
        const std::uint64_t records = length > 0 ? static_cast<std::uint64_t>(length) / kRoadRecordBytes : 0;
        return Walk{f, head, true, records + 1};
    }

    // A link the open file accepts: within the record count.
    bool linkBeyondCount(unsigned link) const { return !view && link >= head.recordCount; }
    void reportData(bool always) const {
        if (!view && (always || head.recordCount >= 2)) roadError(kDataCorrupt);
    }
};

bool readChg(const Walk& w, unsigned idx, CHGBASE& rec) { return roadReadRecord(w.f, idx, &rec) != 0; }

enum class StepResult { Reached, End, Damaged };

// Steps from record `from` along next (forward) or prev until a record is reached that is visible
// or withHidden is set. `rec` holds record `from` on entry and the reached one on return.
StepResult stepFrom(const Walk& w, unsigned from, CHGBASE& rec, bool forward, int withHidden, unsigned& reached) {
    unsigned idx = from;
    for (std::uint64_t visited = 0; visited < w.limit; ++visited) {
        const unsigned link = forward ? rec.next : rec.prev;
        if (link == 0) return StepResult::End;
        if (w.linkBeyondCount(link)) {
            w.reportData(false);
            return StepResult::Damaged;
        }
        if (link == idx) {
            // A record that links to itself: the end of what can be walked.
            w.reportData(false);
            return w.view ? StepResult::End : StepResult::Damaged;
        }
        if (!readChg(w, link, rec)) return w.view ? StepResult::End : StepResult::Damaged;
        idx = link;
        if (withHidden || !rec.hidden) {
            reached = idx;
            return StepResult::Reached;
        }
    }
    w.reportData(false);
    return StepResult::Damaged;
}

unsigned step(const Walk& w, double& chg, int withHidden, bool forward) {
    if (!w.view) {
        if (w.head.current >= w.head.recordCount && w.head.current != 0) {
            roadError(kHeaderCorrupt);
            return 0;
        }
        if (!w.f) {
            roadError(kNoRoadFile);
            return 0;
        }
    }
    if (!w.f || w.head.current == 0) return 0;
    CHGBASE rec;
    if (!readChg(w, w.head.current, rec)) return 0;
    unsigned reached = 0;
    if (stepFrom(w, w.head.current, rec, forward, withHidden, reached) != StepResult::Reached) return 0;
    chg = dbfRoundChg(rec.chainage);
    w.head.current = reached;
    return reached;
}

unsigned find(const Walk& w, double& chg, int withHidden) {
    if (!w.view && !w.f) return 0;
    const double target = dbfRoundChg(chg);
    if (w.head.current == 0) {
        chg = kChgNotFound;
        return 0;
    }
    if (!w.view && w.head.current >= w.head.recordCount) {
        roadError(kHeaderCorrupt);
        chg = kChgNotFound;
        return 0;
    }
    CHGBASE rec;
    if (!readChg(w, w.head.current, rec)) {
        chg = kChgNotFound;
        return 0;
    }
    unsigned result = w.head.current;
    CHGBASE found = rec;
    const double c = dbfRoundChg(rec.chainage);
    if (!chgSame(target, c)) {
        const bool forward = chgBeyond(target, c);
        unsigned idx = result;
        for (std::uint64_t visited = 0;; ++visited) {
            const unsigned link = forward ? rec.next : rec.prev;
            if (link == 0) break;
            if (visited >= w.limit || w.linkBeyondCount(link) || link == idx) {
                if (w.view && link == idx) break;   // a view stops where the list turns on itself
                w.reportData(!forward);
                chg = kChgNotFound;
                return 0;
            }
            if (!readChg(w, link, rec)) {
                // A view that cannot position keeps what it reached.
                chg = kChgNotFound;
                if (w.view) return result;
                w.reportData(!forward);
                return 0;
            }
            idx = link;
            const bool beforeTarget = chgBeyond(target, dbfRoundChg(rec.chainage));
            if (forward) {
                result = idx;
                found = rec;
                if (!beforeTarget) break;
            } else {
                if (beforeTarget) break;
                result = idx;
                found = rec;
            }
        }
    }

    chg = dbfRoundChg(found.chainage);
    w.head.current = result;
    if (withHidden || !found.hidden) return result;

    // A hidden chainage: the next visible one, or else the previous visible one.
    const double foundChg = chg;
    unsigned reached = 0;
    CHGBASE probe = found;
    if (stepFrom(w, result, probe, true, 0, reached) == StepResult::Reached) {
        chg = dbfRoundChg(probe.chainage);
        w.head.current = reached;
        return reached;
    }
    chg = foundChg;
    probe = found;
    if (stepFrom(w, result, probe, false, 0, reached) == StepResult::Reached) {
        chg = dbfRoundChg(probe.chainage);
        w.head.current = reached;
        return reached;
    }
    chg = kChgNotFound;
    return 0;
}

}  // namespace

double dbfRoundChg(double chg) { return std::floor(chg * 1000.0 + 0.5) / 1000.0; }

unsigned dbfFindChainage(double& chg, int withHidden) { return find(Walk::open(), chg, withHidden); }
unsigned dbfNextChainage(double& chg, int withHidden) { return step(Walk::open(), chg, withHidden, true); }
unsigned dbfPrevChainage(double& chg, int withHidden) { return step(Walk::open(), chg, withHidden, false); }

unsigned viewFindChainage(double& chg, int withHidden, FILE* f, SECHEAD& head) {
    if (!f) return 0;
    return find(Walk::onView(f, head), chg, withHidden);
}
unsigned viewNextChainage(double& chg, int withHidden, FILE* f, SECHEAD& head) {
    if (!f) return 0;
    return step(Walk::onView(f, head), chg, withHidden, true);
}
unsigned viewPrevChainage(double& chg, int withHidden, FILE* f, SECHEAD& head) {
    if (!f) return 0;
    return step(Walk::onView(f, head), chg, withHidden, false);
}

int viewGrabChg(unsigned idx, CHGBASE* rec, FILE* f) {
    if (!rec || !f || idx == 0 || !roadReadRecord(f, idx, rec)) return 0;
    chgFromFile(*rec);
    return 1;
}

int dbfGrabChg(unsigned idx, CHGBASE* rec) {
    RoadState& r = roadState();
    if (!rec || !r.stream || !roadValidIndex(idx) || !roadReadRecord(r.stream, idx, rec)) return 0;
    chgFromFile(*rec);
    return 1;
}

int dbfStoreChg(unsigned idx, CHGBASE* rec) {
    RoadState& r = roadState();
    if (!rec || !r.stream || !roadValidIndex(idx)) return 0;
    roadMarkEdited();
    CHGBASE stored = *rec;
    chgToFile(stored);
    return roadWriteRecord(idx, &stored);
}

unsigned dbfInsertChainage(double chg, CHGBASE* rec) {
    RoadState& r = roadState();
    if (!r.stream) return 0;
    roadMarkEdited();
    CHGBASE fresh;
    std::memset(&fresh, 0, sizeof fresh);
    fresh.type = kRecChainage;
    fresh.chainage = dbfRoundChg(chg);

    double probe = chg;
    const bool hadChainages = r.head.current != 0;
    const unsigned found = dbfFindChainage(probe, 1);
    if (found == 0 && hadChainages) return 0;   // a damaged list is not extended blindly

    CHGBASE stored = fresh;
    chgToFile(stored);
    unsigned current = 0;
    if (found == 0) {
        current = roadAppendRecord(&stored);
    } else if (chgSame(fresh.chainage, probe)) {
        CHGBASE existing;
        if (!roadReadRecord(r.stream, found, &existing)) return 0;
        r.head.current = found;
        r.head.lastChainage = existing.chainage;
        chgFromFile(existing);
        if (rec) *rec = existing;
        return found;
    } else if (chgBeyond(fresh.chainage, probe)) {
        stored.prev = found;
        fresh.prev = found;
        current = roadAppendRecord(&stored);
        if (current) roadSetLink(found, +1, current);
    } else {
        ROADRECHEAD after;
        if (!roadReadHead(r.stream, found, after)) return 0;
        stored.next = fresh.next = found;
        stored.prev = fresh.prev = after.prev;
        current = roadAppendRecord(&stored);
        if (current) {
            if (after.prev) roadSetLink(after.prev, +1, current);
            roadSetLink(found, -1, current);
        }
    }
    if (current == 0) return 0;
    r.head.current = current;
    r.head.lastChainage = fresh.chainage;
    if (rec) *rec = fresh;
    return current;
}

int dbfDelChainage(double chg) {
    RoadState& r = roadState();
    if (!r.stream) return 0;
    roadMarkEdited();
    double probe = chg;
    if (dbfFindChainage(probe, 1) == 0 || !chgSame(dbfRoundChg(chg), probe)) return 0;

    // The chainage being deleted stays current until its own deletion, and every move of it by
    // compaction updates the cursor, so its index is always the cursor.
    CHGBASE k;
    auto reread = [&] { return roadReadRecord(r.stream, r.head.current, &k) != 0; };
    if (!reread()) return 0;

    // A child is deleted only when it is what the slot says it is: a damaged slot that names
    // another chainage (or this one) must not take that record with it.
    auto isChild = [&](unsigned idx, BYTE type) {
        ROADRECHEAD head;
        return roadValidIndex(idx) && idx != r.head.current && roadReadHead(r.stream, idx, head) &&
               head.type == type;
    };
    if (k.extra != 0) {
        const unsigned extra = k.extra;
        k.extra = 0;
        roadWriteRecord(r.head.current, &k);
        if (isChild(extra, kRecExtra)) roadDeleteRecord(extra, 0);
        if (!reread()) return 0;
    }
    for (int slot = 0; slot < kRoadLayers; ++slot) {
        if (k.layers[slot] == 0) continue;
        if (isChild(k.layers[slot], kRecLayer)) {
            ROADRECHEAD layer;
            if (roadReadHead(r.stream, k.layers[slot], layer) && roadValidIndex(layer.next)) roadFreeChain(layer.next);
            if (!reread()) return 0;
        }
        // Freeing the chain may have moved the layer record; the slot follows it.
        const unsigned layerIdx = k.layers[slot];
        k.layers[slot] = 0;
        roadWriteRecord(r.head.current, &k);
        if (isChild(layerIdx, kRecLayer)) roadDeleteRecord(layerIdx, 0);
        if (!reread()) return 0;
    }

    if (roadValidIndex(k.prev)) roadSetLink(k.prev, +1, k.next);
    if (roadValidIndex(k.next)) roadSetLink(k.next, -1, k.prev);
    roadDeleteRecord(r.head.current, 0);
    return 1;
}
