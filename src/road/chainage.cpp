// The chainage index: the doubly linked list of chainage records in ascending chainage, the
// cursor from which every search starts, find, step, insert, grab, store and delete, and the
// read-only twins on a view handle.
//
// The open road file and a view handle share one walker. The open file checks its cursor and
// links against the header's record count and reports damage; a view reports nothing and stops
// where its file stops making sense. Both bound every walk by the number of records the file
// really holds (the open file's count was checked against its length when it was opened), so a
// list that loops, however long the loop, ends the walk instead of the program. Damage found in
// the open file freezes it: nothing more is written to it.
#include <cmath>
#include <cstring>
#include <iterator>

#include "database/road.h"
#include "platform/core.h"
#include "road/road_state.h"

namespace {

// The file a walk runs on, with its cursor.
struct Walk {
    FILE* f;
    SECHEAD& head;
    bool view;              // a view handle: no reports, no header checks
    std::uint64_t limit;    // the most records a walk may visit: the records the file holds

    static Walk open() {
        // The open file's record count agrees with its length (checked when it was opened, and
        // kept by every append and delete).
        RoadState& r = roadState();
        return Walk{r.stream, r.head, false, r.head.recordCount};
    }
    static Walk onView(FILE* f, SECHEAD& head) {
        // The records the file really holds bound the walk, whatever its header says.
        const std::int64_t length = coreFileLength(f);
        const std::uint64_t records = length > 0 ? static_cast<std::uint64_t>(length) / kRoadRecordBytes : 0;
        return Walk{f, head, true, records};
    }

    // A link the walk may not follow: beyond the records (the count of the open file, the
    // length of a view's file).
    bool linkBeyond(unsigned link) const { return link >= limit; }
    void reportData(bool always) const {
        if (!view && (always || head.recordCount >= 2)) roadReportDamage(kRoadDataCorrupt);
    }
};

// Reads chainage record idx. On the open file a record that cannot be read, is no chainage
// record or holds no finite chainage is damage and reported; a view just stops there.
bool readChg(const Walk& w, unsigned idx, CHGBASE& rec) {
    if (roadReadRecord(w.f, idx, &rec) && rec.type == kRecChainage && std::isfinite(rec.chainage)) return true;
    w.reportData(true);
    return false;
}

// The list runs in ascending chainage, so every step forward must reach a greater chainage and
// every step backward a smaller one. A step that does not has closed a loop of the links (of any
// length) or met a record out of place: damage, found at the step that shows it, so that even a
// caller stepping one chainage at a time cannot go round for ever.
bool inOrder(double left, const CHGBASE& reached, bool forward) {
    const double c = dbfRoundChg(reached.chainage);
    return forward ? chgBeyond(c, left) : chgBeyond(left, c);
}

enum class StepResult { Reached, End, Damaged };

// Steps from record `from` along next (forward) or prev until a record is reached that is visible
// or withHidden is set. `rec` holds record `from` on entry and the reached one on return. A walk
// longer than the records of the file has gone round a loop, whatever its length.
StepResult stepFrom(const Walk& w, unsigned from, CHGBASE& rec, bool forward, int withHidden, unsigned& reached) {
    unsigned idx = from;
    for (std::uint64_t visited = 0; visited < w.limit; ++visited) {
        const unsigned link = forward ? rec.next : rec.prev;
        if (link == 0) return StepResult::End;
        if (w.linkBeyond(link)) {
            w.reportData(false);
            return w.view ? StepResult::End : StepResult::Damaged;
        }
        if (link == idx) {
            // A record that links to itself: the end of what can be walked.
            w.reportData(false);
            return w.view ? StepResult::End : StepResult::Damaged;
        }
        const double left = dbfRoundChg(rec.chainage);
        if (!readChg(w, link, rec)) return w.view ? StepResult::End : StepResult::Damaged;
        if (!inOrder(left, rec, forward)) {
            w.reportData(true);
            return w.view ? StepResult::End : StepResult::Damaged;
        }
        idx = link;
        if (withHidden || !rec.hidden) {
            reached = idx;
            return StepResult::Reached;
        }
    }
    w.reportData(true);
    return w.view ? StepResult::End : StepResult::Damaged;
}

unsigned step(const Walk& w, double& chg, int withHidden, bool forward) {
    if (!w.view) {
        if (w.head.current >= w.head.recordCount && w.head.current != 0) {
            roadReportDamage(kRoadHeaderCorrupt);
            return 0;
        }
        if (!w.f) {
            roadError(kRoadNoFile);
            return 0;
        }
    }
    if (!w.f || w.head.current == 0 || w.head.current >= w.limit) return 0;
    CHGBASE rec;
    if (!readChg(w, w.head.current, rec)) return 0;
    unsigned reached = 0;
    if (stepFrom(w, w.head.current, rec, forward, withHidden, reached) != StepResult::Reached) return 0;
    chg = dbfRoundChg(rec.chainage);
    w.head.current = reached;
    return reached;
}

// Walks from the cursor to the first chainage at or after the target (the last one when the
// target is beyond all). 0 when the walk meets damage; a view that cannot read on returns the
// record reached so far with `cut` set.
unsigned walkTo(const Walk& w, double target, CHGBASE& found, bool& cut) {
    cut = false;
    CHGBASE rec;
    if (!readChg(w, w.head.current, rec)) return 0;
    unsigned result = w.head.current;
    found = rec;
    const double c = dbfRoundChg(rec.chainage);
    if (chgSame(target, c)) return result;
    const bool forward = chgBeyond(target, c);
    unsigned idx = result;
    for (std::uint64_t visited = 0;; ++visited) {
        const unsigned link = forward ? rec.next : rec.prev;
        if (link == 0) break;
        if (w.view && link == idx) break;   // a view stops where the list turns on itself
        if (visited >= w.limit) {
            // More steps than records: the links go round a loop.
            w.reportData(true);
            return 0;
        }
        if (w.view && w.linkBeyond(link)) {
            cut = true;
            return result;
        }
        if (w.linkBeyond(link) || link == idx) {
            w.reportData(!forward);
            return 0;
        }
        const double left = dbfRoundChg(rec.chainage);
        if (!readChg(w, link, rec)) {
            // A view that cannot read on keeps what it reached.
            cut = w.view;
            return w.view ? result : 0;
        }
        if (!inOrder(left, rec, forward)) {
            w.reportData(true);
            if (!w.view) return 0;
            break;
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
    return result;
}

unsigned find(const Walk& w, double& chg, int withHidden) {
    if (!w.view && !w.f) return 0;
    if (!std::isfinite(chg)) {
        if (!w.view) roadFinite(chg, "Chainage");
        chg = kChgNotFound;
        return 0;
    }
    const double target = dbfRoundChg(chg);
    if (w.head.current == 0) {
        chg = kChgNotFound;
        return 0;
    }
    if (w.head.current >= w.limit) {
        if (!w.view) roadReportDamage(kRoadHeaderCorrupt);
        chg = kChgNotFound;
        return 0;
    }
    CHGBASE found;
    bool cut = false;
    const unsigned result = walkTo(w, target, found, cut);
    if (result == 0 || cut) {
        chg = kChgNotFound;
        return result;
    }

    chg = dbfRoundChg(found.chainage);
    w.head.current = result;
    if (withHidden || !found.hidden) return result;

    // A hidden chainage: the next visible one, or else the previous visible one.
    const double foundChg = chg;
    unsigned reached = 0;
    CHGBASE probe = found;
    const StepResult ahead = stepFrom(w, result, probe, true, 0, reached);
    if (ahead == StepResult::Reached) {
        chg = dbfRoundChg(probe.chainage);
        w.head.current = reached;
        return reached;
    }
    chg = foundChg;
    probe = found;
    if (ahead == StepResult::End && stepFrom(w, result, probe, false, 0, reached) == StepResult::Reached) {
        chg = dbfRoundChg(probe.chainage);
        w.head.current = reached;
        return reached;
    }
    chg = kChgNotFound;
    return 0;
}

// The find of the open file through the chainage index: the same result as the walk from the
// cursor on a sound file (the first chainage at or after the target, the last when the target is
// beyond all; hidden ones left for the next visible, else the previous visible), with no reads.
unsigned findIndexed(RoadState& r, double& chg, int withHidden) {
    const double target = dbfRoundChg(chg);
    auto& index = r.index;
    // The first chainage not before the target: the keys lie at least a millimetre apart, far
    // more than the tolerance, so at most one key below the target can still match it.
    auto it = index.lower_bound(target);
    if (it != index.begin() && !chgBeyond(target, std::prev(it)->first)) --it;
    if (it == index.end()) --it;
    chg = it->first;
    r.head.current = it->second.record;
    if (withHidden || !it->second.hidden) return it->second.record;
    for (auto ahead = std::next(it); ahead != index.end(); ++ahead) {
        if (ahead->second.hidden) continue;
        chg = ahead->first;
        r.head.current = ahead->second.record;
        return ahead->second.record;
    }
    for (auto back = it; back != index.begin();) {
        --back;
        if (back->second.hidden) continue;
        chg = back->first;
        r.head.current = back->second.record;
        return back->second.record;
    }
    chg = kChgNotFound;
    return 0;
}

}  // namespace

void roadIndexDrop() {
    RoadState& r = roadState();
    r.index.clear();
    r.indexed = false;
    roadForgetReads();
}

void roadIndexAdd(double chainage, unsigned record) {
    RoadState& r = roadState();
    if (!r.indexed) return;
    if (!r.index.emplace(dbfRoundChg(chainage), IndexedChainage{record, false}).second) roadIndexDrop();
}

void roadIndexRemove(double chainage, unsigned record) {
    RoadState& r = roadState();
    if (!r.indexed) return;
    const auto it = r.index.find(dbfRoundChg(chainage));
    if (it == r.index.end() || it->second.record != record)
        roadIndexDrop();
    else
        r.index.erase(it);
}

void roadIndexMoved(double chainage, unsigned from, unsigned to) {
    RoadState& r = roadState();
    if (!r.indexed) return;
    const auto it = r.index.find(dbfRoundChg(chainage));
    if (it == r.index.end() || it->second.record != from)
        roadIndexDrop();
    else
        it->second.record = to;
}

double dbfRoundChg(double chg) { return std::floor(chg * 1000.0 + 0.5) / 1000.0; }

unsigned dbfFindChainage(double& chg, int withHidden) {
    RoadState& r = roadState();
    // The checks of the cursor and the header come first, as for the walk.
    if (!r.indexed || r.index.empty() || !r.stream || !std::isfinite(chg) || r.head.current == 0 ||
        r.head.current >= r.head.recordCount)
        return find(Walk::open(), chg, withHidden);
    return findIndexed(r, chg, withHidden);
}
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
    if (!rec || !roadValidIndex(idx)) return 0;
    if (!roadFinite(rec->chainage, "Chainage") || !roadFinite(rec->x, "Position x") ||
        !roadFinite(rec->y, "Position y") || !roadWritable())
        return 0;
    roadMarkEdited();
    RoadState& r = roadState();
    if (r.indexed) {
        // The index follows the hidden mark; a record written with another chainage or other
        // links than it had is left to the walks, which check what they meet.
        ROADRECHEAD was;
        const auto it = r.index.find(dbfRoundChg(rec->chainage));
        if (!roadReadHead(r.stream, idx, was) || was.type != kRecChainage || rec->type != kRecChainage ||
            it == r.index.end() || it->second.record != idx || was.prev != rec->prev || was.next != rec->next ||
            !chgSame(dbfRoundChg(rec->chainage), dbfRoundChg(was.chainage)))
            roadIndexDrop();
        else
            it->second.hidden = rec->hidden != 0;
    }
    CHGBASE stored = *rec;
    chgToFile(stored);
    return roadWriteRecord(idx, &stored);
}

namespace {

unsigned insertChainage(double chg, CHGBASE* rec) {
    RoadState& r = roadState();
    if (!r.stream || !roadFinite(chg, "Chainage") || !roadWritable()) return 0;
    roadMarkEdited();
    CHGBASE fresh;
    std::memset(&fresh, 0, sizeof fresh);
    fresh.type = kRecChainage;
    fresh.chainage = dbfRoundChg(chg);

    double probe = chg;
    const bool hadChainages = r.head.current != 0;
    const unsigned found = dbfFindChainage(probe, 1);
    // A damaged list is not extended blindly (the walk has frozen the file).
    if ((found == 0 && hadChainages) || r.frozen) return 0;

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
        if (current && !roadSetLink(found, +1, current)) return 0;
    } else {
        ROADRECHEAD after;
        if (!roadReadHead(r.stream, found, after)) return 0;
        stored.next = fresh.next = found;
        stored.prev = fresh.prev = after.prev;
        current = roadAppendRecord(&stored);
        if (current) {
            if (after.prev && !roadSetLink(after.prev, +1, current)) return 0;
            if (!roadSetLink(found, -1, current)) return 0;
        }
    }
    if (current == 0) return 0;
    roadIndexAdd(fresh.chainage, current);
    r.head.current = current;
    r.head.lastChainage = fresh.chainage;
    if (rec) *rec = fresh;
    return current;
}

}  // namespace

unsigned dbfInsertChainage(double chg, CHGBASE* rec) {
    RoadBatch batch;
    const unsigned idx = insertChainage(chg, rec);
    return batch.finish() ? idx : 0;
}

int dbfDelChainage(double chg) {
    RoadState& r = roadState();
    if (!r.stream || !roadFinite(chg, "Chainage") || !roadWritable()) return 0;
    roadMarkEdited();
    double probe = chg;
    if (dbfFindChainage(probe, 1) == 0 || !chgSame(dbfRoundChg(chg), probe) || r.frozen) return 0;

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
    roadIndexRemove(k.chainage, r.head.current);
    roadDeleteRecord(r.head.current, 0);
    // Every write of the deletion is checked; the first that failed froze the file.
    return r.frozen ? 0 : 1;
}
