// RoadTest: a started library with road 1 of the project open (quietly), readers of the raw road
// work file, and a checker of the file's invariants.
//
// Fields of the packed records are compared as values (+rec.field): a reference to a field of a
// packed record may be misaligned.
#pragma once

#include <cstring>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "common/library_fixture.h"
#include "database/road.h"
#include "road/road_state.h"

class RoadTest : public LibraryTest {
protected:
    bool openRoad = true;  // false: the test opens (or not) road 1 itself

    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        if (!openRoad) return;
        dbfRoadInit(1, 1);
        ASSERT_TRUE(roadState().stream != nullptr);
    }

    // Road 1's saved and work files.
    std::string sec() const { return file("Site.1.sec"); }
    std::string str() const { return file("Site.1.str"); }
    std::string rbk() const { return file("Site.1.rbk"); }

    void TearDown() override {
        if (dbfRoadIsOpen()) {
            ui.defaultAnswer = IDNO;
            dbfRoadInit(0, 1);
        }
        LibraryTest::TearDown();
    }

    static std::string workName() {
        char name[MAX_PATH];
        dbfWorkFileName(name, kWorkRoad);
        return name;
    }

    // The work file as it stands (pending writes flushed).
    static std::string bytes() {
        if (roadState().stream) std::fflush(roadState().stream);
        return dbtest::readFile(workName());
    }

    template <typename T>
    static T at(const std::string& b, std::size_t idx) {
        T value{};
        if ((idx + 1) * kRoadRecordBytes <= b.size()) std::memcpy(&value, b.data() + idx * kRoadRecordBytes, sizeof(T));
        return value;
    }

    // Writes a value at a byte offset of the open work file (damage for the tests).
    static void patch(std::size_t offset, const void* value, std::size_t size) {
        FILE* f = roadState().stream;
        ASSERT_TRUE(f != nullptr);
        ASSERT_EQ(coreFileSetPointer(0, static_cast<std::int64_t>(offset), f), 1);
        ASSERT_EQ(coreFileBinWrite(value, size, f), 1);
        std::fflush(f);
    }

    static XSECTION section(int n, double first = -10.0) {
        XSECTION xs{};
        xs.count = static_cast<std::int16_t>(n);
        xs.capacity = kSectionCapacity;
        for (int i = 0; i < n; ++i)
            xs.points[i] = SECTMEM{first + i * 1.1, 100.0 + i * 0.37, static_cast<double>(i + 1),
                                   static_cast<signed char>(i % 3 == 0 ? -100 : 0)};
        return xs;
    }

    static unsigned insert(double chg) {
        CHGBASE rec;
        return dbfInsertChainage(chg, &rec);
    }
    static void insert(std::initializer_list<double> chgs) {
        for (double chg : chgs) insert(chg);
    }

    // The chainages in list order (hidden ones included), through the public steppers.
    static std::vector<double> chainages() {
        std::vector<double> all;
        double chg = kChgBeforeFirst;
        for (unsigned idx = dbfFindChainage(chg, 1); idx != 0; idx = dbfNextChainage(chg, 1)) all.push_back(chg);
        return all;
    }

    // Whether the chainage index holds exactly the chainages of the file's list, in order, with
    // their records and hidden marks; a description of the first difference (empty when none).
    static std::string indexDisagreement() {
        const RoadState& r = roadState();
        if (!r.indexed) return "the index was dropped";
        const std::string b = bytes();
        const std::size_t count = b.size() / kRoadRecordBytes;
        unsigned idx = 0;
        for (std::size_t i = 1; i < count && idx == 0; ++i)
            if (at<ROADRECHEAD>(b, i).type == kRecChainage && at<ROADRECHEAD>(b, i).prev == 0) idx = static_cast<unsigned>(i);
        auto entry = r.index.begin();
        for (; idx != 0 && idx < count; idx = at<CHGBASE>(b, idx).next, ++entry) {
            const CHGBASE c = at<CHGBASE>(b, idx);
            if (entry == r.index.end()) return "chainage " + std::to_string(c.chainage) + " is not in the index";
            if (entry->first != dbfRoundChg(c.chainage) || entry->second.record != idx ||
                entry->second.hidden != (c.hidden != 0))
                return "the index holds " + std::to_string(entry->first) + " at " + std::to_string(entry->second.record) +
                       " where the list has " + std::to_string(c.chainage) + " at " + std::to_string(idx);
        }
        return entry == r.index.end() ? "" : "the index holds " + std::to_string(entry->first) + " beyond the list";
    }

    // Checks every invariant of the file; returns a description of the first broken one (empty
    // when all hold).
    static std::string invariants() {
        const std::string b = bytes();
        if (b.size() % kRoadRecordBytes != 0) return "length is not a whole number of records";
        const SECHEAD head = at<SECHEAD>(b, 0);
        const std::size_t count = b.size() / kRoadRecordBytes;
        if (head.recordCount != count) return "record count differs from the file length";
        // The cursor and the edited mark reach the file with the next append, delete or close;
        // the record count is written at once.
        if (roadState().head.recordCount != count) return "record count of the header copy is stale";
        std::vector<int> referenced(count, 0);
        auto ref = [&](unsigned idx) -> bool {
            if (idx == 0 || idx >= count) return false;
            return ++referenced[idx] == 1;
        };
        unsigned first = 0;
        int chainageRecords = 0;
        for (std::size_t i = 1; i < count; ++i) {
            const ROADRECHEAD h = at<ROADRECHEAD>(b, i);
            if (h.type == kRecChainage) {
                ++chainageRecords;
                if (h.prev == 0) {
                    if (first) return "two chainages start the list";
                    first = static_cast<unsigned>(i);
                }
            }
        }
        if (chainageRecords == 0) return head.current == 0 ? "" : "cursor set in a road without chainages";
        if (!first) return "no chainage starts the list";
        if (head.current == 0 || head.current >= count || at<ROADRECHEAD>(b, head.current).type != kRecChainage)
            return "cursor is not on a chainage";
        unsigned prev = 0;
        double lastChg = kChgBeforeFirst;
        int walked = 0;
        referenced[first] = 1;
        for (unsigned idx = first; idx != 0;) {
            if (idx >= count) return "chainage link beyond the file";
            const CHGBASE c = at<CHGBASE>(b, idx);
            if (c.type != kRecChainage) return "chainage list leads to another record type";
            if (c.prev != prev) return "chainage back link broken at " + std::to_string(idx);
            if (walked > 0 && !(c.chainage > lastChg)) return "chainages out of order";
            lastChg = c.chainage;
            ++walked;
            if (c.extra) {
                if (!ref(c.extra)) return "extra referenced twice";
                const ROADRECHEAD e = at<ROADRECHEAD>(b, c.extra);
                if (e.type != kRecExtra || e.prev != idx) return "extra owner broken";
            }
            for (int L = 1; L <= kRoadLayers; ++L) {
                const unsigned li = c.layers[L - 1];
                if (!li) continue;
                if (!ref(li)) return "layer referenced twice";
                const LAYBASE lay = at<LAYBASE>(b, li);
                if (lay.type != kRecLayer || lay.prev != idx) return "layer owner broken";
                unsigned back = li;
                int points = 0;
                for (unsigned s = lay.next; s != 0;) {
                    if (!ref(s)) return "section piece referenced twice";
                    const SECTREC piece = at<SECTREC>(b, s);
                    if (piece.type != kRecSection || piece.prev != back || piece.layer != L)
                        return "section chain broken at " + std::to_string(s);
                    if (piece.next != 0 && piece.count != kSectionRecordPoints) return "short piece inside a chain";
                    points += piece.count;
                    back = s;
                    s = piece.next;
                }
                if (points != lay.pointCount) return "point count differs from the chain";
            }
            prev = idx;
            if (c.next != 0 && !ref(c.next)) return "chainage referenced twice";
            idx = c.next;
        }
        if (walked != chainageRecords) return "chainage records outside the list";
        for (std::size_t i = 1; i < count; ++i)
            if (referenced[i] != 1) return "record " + std::to_string(i) + " is not referenced exactly once";
        return "";
    }
};

// A RoadTest whose tests open (or not) road 1 themselves; the road is closed unsaved at the end.
class ClosedRoadTest : public RoadTest {
protected:
    ClosedRoadTest() { openRoad = false; }
    void TearDown() override {
        ui.defaultAnswer = IDNO;
        dbfRoadInit(0, 1);
        RoadTest::TearDown();
    }
};
