// The road file byte for byte: creation, the chainage list, deletion with compaction, section,
// layer and extra records, the coordinate conversion, damaged files and the view twins.
#include <cmath>
#include <tuple>

#include "platform/proj.h"
#include "road/road_fixture.h"

#ifdef __linux__
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

class RoadFileTest : public RoadTest {};

TEST_F(RoadFileTest, NewFileIsOneHeaderRecord) {
    const std::string b = bytes();
    ASSERT_EQ(b.size(), 568u);
    const SECHEAD h = at<SECHEAD>(b, 0);
    EXPECT_EQ(std::tuple(+h.recordCount, +h.current, +h.lastChainage), std::tuple(1u, 0u, 0.0));
    for (char c : h.tag) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)));
    for (std::size_t i = 78; i < 568; ++i) ASSERT_EQ(b[i], 0);
    double chg = 5.0;
    EXPECT_EQ(dbfFindChainage(chg, 1), 0u);
    EXPECT_EQ(chg, kChgNotFound);
    // Rounding to millimetres.
    EXPECT_EQ(std::tuple(dbfRoundChg(1.2346), dbfRoundChg(1.2344), dbfRoundChg(-1.2346)), std::tuple(1.235, 1.234, -1.235));
}

TEST_F(RoadFileTest, InsertKeepsTheListSortedAndLinked) {
    for (auto [chg, idx] : {std::pair{10.0, 1u}, {30.0, 2u}, {20.0, 3u}}) EXPECT_EQ(insert(chg), idx) << chg;
    const std::string b = bytes();
    ASSERT_EQ(b.size(), 4u * 568);
    // The cursor and the last chainage reach the file with the next append, delete or close.
    const SECHEAD& h = roadState().head;
    EXPECT_EQ(std::tuple(+h.current, +h.lastChainage, +at<SECHEAD>(b, 0).edited), std::tuple(3u, 20.0, 1));
    const CHGBASE c10 = at<CHGBASE>(b, 1), c30 = at<CHGBASE>(b, 2), c20 = at<CHGBASE>(b, 3);
    EXPECT_EQ(std::tuple(+c10.prev, +c10.next, +c20.prev, +c20.next, +c30.prev, +c30.next), std::tuple(0u, 3u, 1u, 2u, 3u, 0u));
    EXPECT_EQ(std::pair(+c20.type, +c20.chainage), std::pair(1, 20.0));
    EXPECT_EQ(invariants(), "");

    // Rounding decides whether a chainage already exists.
    CHGBASE rec;
    EXPECT_EQ(dbfInsertChainage(20.0004, &rec), 3u);
    EXPECT_EQ(bytes().size(), 4u * 568);
    EXPECT_EQ(dbfInsertChainage(20.0006, &rec), 4u);
    EXPECT_EQ(+rec.chainage, 20.001);
    EXPECT_EQ(chainages(), (std::vector<double>{10.0, 20.0, 20.001, 30.0}));
}

TEST_F(RoadFileTest, FindAndStepFromTheCursor) {
    insert({10.0, 20.0, 30.0});
    // The record found from a chainage, and the chainage it stands on.
    const auto find = [](double chg, int visible) {
        const unsigned idx = dbfFindChainage(chg, visible);
        return std::pair{idx, chg};
    };
    for (auto [from, found] : {std::pair{25.0, std::pair(3u, 30.0)}, {35.0, {3u, 30.0}}, {5.0, {1u, 10.0}}}) EXPECT_EQ(find(from, 1), found) << from;
    double chg = 10.0;
    EXPECT_EQ(dbfPrevChainage(chg, 1), 0u);
    EXPECT_EQ(std::pair(chg, +roadState().head.current), std::pair(10.0, 1u));

    // Hidden chainages: the next visible one, or the previous one at the end of the road.
    CHGBASE rec;
    ASSERT_EQ(dbfGrabChg(2, &rec), 1);
    rec.hidden = 1;
    ASSERT_EQ(dbfStoreChg(2, &rec), 1);
    EXPECT_EQ(find(20.0, 0), std::pair(3u, 30.0));
    chg = 10.0;
    dbfFindChainage(chg, 0);
    EXPECT_EQ(dbfNextChainage(chg, 0), 3u);
    EXPECT_EQ(dbfNextChainage(chg, 0), 0u);
    EXPECT_EQ(chg, 30.0);
    ASSERT_EQ(dbfGrabChg(3, &rec), 1);
    rec.hidden = 1;
    ASSERT_EQ(dbfStoreChg(3, &rec), 1);
    EXPECT_EQ(find(30.0, 0), std::pair(1u, 10.0));
}

TEST_F(RoadFileTest, DeletingTheLastRecordOnlyShrinks) {
    insert({10.0, 20.0});
    const std::string before = bytes();
    ASSERT_EQ(dbfDelChainage(20.0), 1);
    const std::string after = bytes();
    ASSERT_EQ(after.size(), 2u * 568);
    EXPECT_EQ(after.substr(568 + 17), before.substr(568 + 17, 568 - 17));
    EXPECT_EQ(std::pair(+at<CHGBASE>(after, 1).next, +at<SECHEAD>(after, 0).current), std::pair(0u, 1u));
    EXPECT_EQ(invariants(), "");
}

TEST_F(RoadFileTest, DeletingInTheMiddleMovesTheLastRecordAndRepairsItsReferences) {
    insert({10.0, 20.0});                           // 1, 2
    XSECTION xs = section(8);
    ASSERT_EQ(dbfStoreSect(30.0, 5, &xs), 1);       // 3 chainage, 4 layer, 5 and 6 pieces
    CHGDATA extra;
    ASSERT_EQ(dbfGrabExtra(30.0, &extra), 1);       // 7 extra
    ASSERT_EQ(dbfStoreSect(40.0, 2, &xs), 1);       // 8 chainage (last chainage), 9..11
    ASSERT_EQ(+roadState().head.recordCount, 12u);
    // The chainage 40 lives in record 8, its second piece in the last record (11).
    double chg = 20.0;
    ASSERT_EQ(dbfFindChainage(chg, 1), 2u);
    ASSERT_EQ(dbfDelChainage(20.0), 1);
    std::string b = bytes();
    ASSERT_EQ(b.size(), 11u * 568);
    // Record 11 (the last piece of layer 2 at 40) now lives in slot 2.
    const SECTREC moved = at<SECTREC>(b, 2);
    EXPECT_EQ(std::tuple(+moved.type, +moved.layer, +moved.count, +at<SECTREC>(b, moved.prev).next), std::tuple(3, 2, 2, 2u));
    EXPECT_EQ(+at<SECHEAD>(b, 0).current, 3u);   // the successor of 20
    EXPECT_EQ(invariants(), "");

    // Deleting 30 takes its layer, pieces and extra record with it and moves others around.
    ASSERT_EQ(dbfDelChainage(30.0), 1);
    b = bytes();
    EXPECT_EQ(b.size(), 6u * 568);
    EXPECT_EQ(invariants(), "");
    EXPECT_EQ(chainages(), (std::vector<double>{10.0, 40.0}));
    chg = 40.0;
    ASSERT_NE(dbfFindChainage(chg, 1), 0u);
    XSECTION back{};
    ASSERT_EQ(dbfGrabSect(40.0, 2, &back), 1);
    EXPECT_EQ(back.count, 8);
    EXPECT_EQ(dbfDelChainage(12.0), 0);
}

TEST_F(RoadFileTest, SectionsAreStoredInChainsOfSixPoints) {
    XSECTION xs = section(13);
    xs.points[0].idNo = 300.7;
    xs.points[1].idNo = -1.0;
    xs.points[2].marker = -101;
    ASSERT_EQ(dbfStoreSect(100.0, 3, &xs), 1);
    const std::string b = bytes();
    ASSERT_EQ(b.size(), 6u * 568);   // header, chainage, layer, three pieces
    const LAYBASE lay = at<LAYBASE>(b, 2);
    EXPECT_EQ(std::tuple(+at<CHGBASE>(b, 1).layers[2], +lay.pointCount, +lay.prev, +lay.next), std::tuple(2u, 13, 1u, 3u));
    const SECTREC p1 = at<SECTREC>(b, 3), p3 = at<SECTREC>(b, 5);
    EXPECT_EQ(std::tuple(+p1.count, +p3.count, +p1.prev, +p3.next), std::tuple(6, 1, 2u, 0u));
    // Point numbers are kept as bytes: 300.7 and -1 come back as 44 and 255.
    EXPECT_EQ(std::tuple(+p1.points[0].idNo, +p1.points[1].idNo, +p1.points[2].marker), std::tuple(44, 255, -101));
    EXPECT_EQ(+p3.points[0].offset, static_cast<float>(xs.points[12].offset));
    for (std::size_t i = 21; i < 508; ++i) ASSERT_EQ(b[3 * 568 + i], 0);

    XSECTION back{};
    ASSERT_EQ(dbfGrabSect(100.0, 3, &back), 1);
    ASSERT_EQ(std::pair(back.count, back.capacity), std::pair(std::int16_t{13}, std::int16_t{200}));
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(back.points[i].offset, static_cast<double>(static_cast<float>(xs.points[i].offset)));
        EXPECT_EQ(back.points[i].elevation, static_cast<double>(static_cast<float>(xs.points[i].elevation)));
    }
    EXPECT_EQ(std::tuple(back.points[0].idNo, back.points[1].idNo, back.points[2].marker, back.points[13].offset),
              std::tuple(44.0, 255.0, -101, 0.0));
    EXPECT_EQ(invariants(), "");
}

TEST_F(RoadFileTest, RestoringRewritesInPlaceAndFreesWhatIsLeft) {
    XSECTION xs = section(12);
    ASSERT_EQ(dbfStoreSect(50.0, 1, &xs), 1);
    ASSERT_EQ(bytes().size(), 5u * 568);
    XSECTION six = section(6, -3.0);
    ASSERT_EQ(dbfStoreSect(50.0, 1, &six), 1);
    std::string b = bytes();
    ASSERT_EQ(b.size(), 4u * 568);
    EXPECT_EQ(std::tuple(+at<SECTREC>(b, 3).next, +at<SECTREC>(b, 3).points[0].offset, +at<LAYBASE>(b, 2).pointCount),
              std::tuple(0u, -3.0f, 6));
    EXPECT_EQ(invariants(), "");

    // The same size again writes the same records and grows nothing.
    ASSERT_EQ(dbfStoreSect(50.0, 1, &six), 1);
    EXPECT_EQ(bytes().substr(568), b.substr(568));

    // An empty section frees the chain; grabbing it then fails with no points.
    XSECTION empty = section(0);
    ASSERT_EQ(dbfStoreSect(50.0, 1, &empty), 1);
    b = bytes();
    ASSERT_EQ(b.size(), 3u * 568);
    EXPECT_EQ(std::pair(+at<LAYBASE>(b, 2).next, +at<LAYBASE>(b, 2).pointCount), std::pair(0u, 0));
    XSECTION back = section(3);
    EXPECT_EQ(dbfGrabSect(50.0, 1, &back), 0);
    EXPECT_EQ(back.count, 0);
    EXPECT_EQ(invariants(), "");

    // A layer out of range stores nothing but succeeds.
    EXPECT_EQ(dbfStoreSect(50.0, 0, &xs), 1);
    EXPECT_EQ(bytes().size(), 3u * 568);
}

TEST_F(RoadFileTest, LayerAndExtraRecords) {
    insert(70.0);
    LAYBASE lay;
    EXPECT_EQ(dbfStoreLayer(70.0, 4, &lay), 0);   // no record yet: nothing written
    EXPECT_EQ(bytes().size(), 2u * 568);
    ASSERT_EQ(dbfGrabLayer(70.0, 4, &lay), 1);     // a blank record, entered in the slot
    std::string b = bytes();
    ASSERT_EQ(b.size(), 3u * 568);
    EXPECT_EQ(std::tuple(+lay.type, +lay.prev, +at<CHGBASE>(b, 1).layers[3]), std::tuple(2, 1u, 2u));

    lay.flags[2] = 7;
    lay.values2[1] = 1.5f;
    lay.owner[100] = 9;
    lay.next = 999;   // a caller's stray link does not reach the file
    ASSERT_EQ(dbfStoreLayer(70.0, 4, &lay), 1);
    b = bytes();
    EXPECT_EQ(std::tuple(+at<LAYBASE>(b, 2).flags[2], +at<LAYBASE>(b, 2).owner[100], +at<LAYBASE>(b, 2).next), std::tuple(7, 9, 0u));
    // Not the current chainage; a layer out of range.
    for (int rc : {dbfStoreLayer(71.0, 4, &lay), dbfGrabLayer(71.0, 4, &lay), dbfGrabLayer(70.0, 129, &lay)}) EXPECT_EQ(rc, 0);

    LAYBASE reset;
    dbfResetLayerFlags(70.0, 4, &reset);
    EXPECT_EQ(std::tuple(+reset.flags[2], +reset.values2[1], +reset.owner[100]), std::tuple(0, 0.0f, 9));

    CHGDATA extra;
    ASSERT_EQ(dbfGrabExtra(70.0, &extra), 1);
    EXPECT_EQ(+extra.type, 4);
    extra.data[0] = 'Q';
    ASSERT_EQ(dbfStoreExtra(70.0, &extra), 1);
    CHGDATA again;
    ASSERT_EQ(dbfGrabExtra(70.0, &again), 1);
    EXPECT_EQ(again.data[0], 'Q');
    EXPECT_EQ(bytes().size(), 4u * 568);
    EXPECT_EQ(invariants(), "");
}

TEST_F(RoadFileTest, StoringASectionInsertsItsChainage) {
    insert(10.0);
    XSECTION xs = section(2);
    ASSERT_EQ(dbfStoreSect(5.0, 1, &xs), 1);
    EXPECT_EQ(chainages(), (std::vector<double>{5.0, 10.0}));
    CHGBASE rec;
    ASSERT_EQ(dbfGrabChg(2, &rec), 1);
    EXPECT_EQ(std::pair(+rec.x, +rec.y), std::pair(0.0, 0.0));
    EXPECT_EQ(invariants(), "");
}

TEST_F(RoadFileTest, PositionsAreStoredGeographic) {
    projSetParameters(1, kProjTransverseMercator, 0, 27);
    const unsigned idx = insert(10.0);
    CHGBASE rec;
    ASSERT_EQ(dbfGrabChg(idx, &rec), 1);
    rec.x = 2900000.0;   // northing
    rec.y = 10000.0;     // easting
    ASSERT_EQ(dbfStoreChg(idx, &rec), 1);
    EXPECT_EQ(+rec.x, 2900000.0);   // the caller keeps project coordinates
    const CHGBASE stored = at<CHGBASE>(bytes(), idx);
    double lat = 0, lon = 0;
    projLOToLatLong(10000.0, 2900000.0, 27, &lat, &lon);
    EXPECT_EQ(std::pair(+stored.x, +stored.y), std::pair(lat, lon));
    CHGBASE back;
    ASSERT_EQ(dbfGrabChg(idx, &back), 1);
    EXPECT_LT(std::hypot(back.x - 2900000.0, back.y - 10000.0), 1e-6) << back.x << " " << back.y;
    projSetParameters(0, kProjLocal, 0, 0);
}

// ---------------------------------------------------------------------------------------------
// Damaged files

TEST_F(RoadFileTest, CursorBeyondTheCount) {
    insert({10.0, 20.0});
    roadState().head.current = 50;
    double chg = 15.0;
    EXPECT_EQ(dbfFindChainage(chg, 1), 0u);
    EXPECT_EQ(chg, kChgNotFound);
    EXPECT_EQ(dbfNextChainage(chg, 1), 0u);
    EXPECT_EQ(ui.texts(), std::vector<std::string>(2, "Corruption detected in road file header"));
}

TEST_F(RoadFileTest, LinksBeyondTheCountOrToThemselves) {
    insert({10.0, 20.0, 30.0});
    // Record 1's next beyond the file: forward walks and steps report. A find through the index
    // reads nothing and so cannot see damage written behind the library's back; finds walk the
    // links once the index is dropped, as it is when damage is found.
    const DWORD beyond = 77;
    patch(568 + 13, &beyond, 4);
    double chg = 25.0;
    EXPECT_EQ(dbfFindChainage(chg, 1), 3u);
    roadIndexDrop();
    roadState().head.current = 1;
    chg = 25.0;
    EXPECT_EQ(dbfFindChainage(chg, 1), 0u);
    EXPECT_EQ(chg, kChgNotFound);
    EXPECT_TRUE(ui.showed("Corruption detected in road file data"));
    ui.clear();
    roadState().head.current = 1;
    EXPECT_EQ(dbfNextChainage(chg, 1), 0u);
    EXPECT_TRUE(ui.showed("Corruption detected in road file data"));

    // Record 3 (chainage 30) pointing back at itself, both ways: nothing loops.
    const DWORD three = 3;
    for (std::size_t at : {3 * 568 + 9, 3 * 568 + 13, 568 + 13}) patch(at, &three, 4);
    ui.clear();
    roadState().head.current = 3;
    chg = 5.0;
    EXPECT_EQ(dbfFindChainage(chg, 1), 0u);
    EXPECT_TRUE(ui.showed("Corruption detected in road file data"));
    chg = 50.0;
    // A damaged list is not extended either.
    for (unsigned idx : {dbfFindChainage(chg, 1), dbfNextChainage(chg, 1), dbfPrevChainage(chg, 1), dbfInsertChainage(40.0, nullptr)})
        EXPECT_EQ(idx, 0u);

    // The view twins never report and never loop either.
    std::fflush(roadState().stream);
    SECHEAD head;
    FILE* f = viewRoadOpenFile(workName().c_str(), head);
    ASSERT_TRUE(f != nullptr);
    ui.clear();
    head.current = 3;
    chg = 5.0;
    viewFindChainage(chg, 1, f, head);
    chg = 50.0;
    viewFindChainage(chg, 1, f, head);
    for (unsigned idx : {viewNextChainage(chg, 1, f, head), viewPrevChainage(chg, 1, f, head)}) EXPECT_EQ(idx, 0u);
    EXPECT_TRUE(ui.shown.empty());
    viewRoadClose(f);
}

TEST_F(RoadFileTest, SectionChainThatLoopsIsReadAndReplacedSafely) {
    XSECTION xs = section(18);
    ASSERT_EQ(dbfStoreSect(10.0, 1, &xs), 1);   // 1 chainage, 2 layer, 3..5 pieces
    const DWORD loop = 3;
    patch(5 * 568 + 13, &loop, 4);              // the last piece links back to the first
    XSECTION back{};
    ASSERT_EQ(dbfGrabSect(10.0, 1, &back), 1);
    EXPECT_LE(back.count, 200);
    XSECTION small = section(4);
    ASSERT_EQ(dbfStoreSect(10.0, 1, &small), 1);
    EXPECT_EQ(invariants(), "");
    ASSERT_EQ(dbfGrabSect(10.0, 1, &back), 1);
    EXPECT_EQ(back.count, 4);
}

TEST_F(RoadFileTest, ViewTwinsReadAnotherFileWithoutWriting) {
    XSECTION xs = section(9);
    ASSERT_EQ(dbfStoreSect(10.0, 2, &xs), 1);
    ASSERT_EQ(dbfStoreSect(20.0, 2, &xs), 1);
    insert(30.0);
    std::fflush(roadState().stream);
    const std::string before = bytes();
    SECHEAD head;
    FILE* f = viewRoadOpenFile(workName().c_str(), head);
    ASSERT_TRUE(f != nullptr);
    head.current = 1;
    double chg = 20.0;
    const unsigned idx = viewFindChainage(chg, 1, f, head);
    ASSERT_NE(idx, 0u);
    EXPECT_EQ(+head.current, idx);
    XSECTION back{};
    ASSERT_EQ(viewGrabSect(20.0, 2, &back, f, head), 1);
    EXPECT_EQ(back.count, 9);
    EXPECT_EQ(viewNextChainage(chg, 1, f, head), +roadState().head.current);
    EXPECT_EQ(chg, 30.0);
    CHGBASE rec;
    EXPECT_EQ(viewGrabChg(idx, &rec, f), 1);
    EXPECT_EQ(viewRoadClose(f), nullptr);
    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(viewRoadOpenFile(file("missing.sec").c_str(), head), nullptr);
}

#ifdef __linux__
TEST_F(RoadFileTest, FailedTruncationSaysWhyAndKeepsTheRecordsConsistent) {
    insert({10.0, 20.0});
    std::fflush(roadState().stream);
    // A file that takes writes but cannot shrink: a sealed memory file.
    const int fd = memfd_create("road", MFD_ALLOW_SEALING);
    ASSERT_GE(fd, 0);
    const std::string b = bytes();
    ASSERT_EQ(write(fd, b.data(), b.size()), static_cast<ssize_t>(b.size()));
    ASSERT_EQ(fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK), 0);
    FILE* writable = roadState().stream;
    roadState().stream = fdopen(fd, "r+b");
    ASSERT_TRUE(roadState().stream != nullptr);
    roadDeleteRecord(2, 0);
    EXPECT_TRUE(ui.showed("Error truncating file\nFile is locked against access"));
    EXPECT_EQ(+roadState().head.recordCount, 2u);
    EXPECT_EQ(dbfRoadFileFailed(), 0);   // the records are consistent; only the length is not
    std::fclose(roadState().stream);
    roadState().stream = writable;
}
#endif

TEST_F(RoadFileTest, NoRoadFileMeansNoRecords) {
    dbfRoadInit(0, 1);
    double chg = 1.0;
    EXPECT_EQ(dbfFindChainage(chg, 1), 0u);
    EXPECT_EQ(chg, 1.0);
    EXPECT_EQ(dbfNextChainage(chg, 1), 0u);
    EXPECT_TRUE(ui.showed("Corruption detected. Cannot read from the roads file"));
    CHGBASE rec;
    XSECTION xs{};
    EXPECT_EQ(dbfInsertChainage(1.0, &rec), 0u);
    for (int rc : {dbfGrabChg(1, &rec), dbfDelChainage(1.0), dbfGrabSect(1.0, 1, &xs)}) EXPECT_EQ(rc, 0);
    EXPECT_EQ(xs.capacity, 200);
}

}  // namespace
