// The point store: numbers, chains, the file after adds and removes, the cache with more blocks
// than slots, scans, and positions in a real projection.
#include <cmath>

#include "platform/proj.h"
#include "terrain_fixture.h"

TEST_F(OpenTerrainTest, RecordsAreStoredInTheFileAsLaidOut) {
    const unsigned a = add("Alpha,1", 100.25, 200.5, 12.125, 0x4003);
    const unsigned b = add("B", 110.0, 210.0, 1.0, 3);
    EXPECT_EQ(nums(a, b), nums(501, 502));
    ASSERT_EQ(dbfAddLine(a, b, 1, 0), 1);
    dbfCloseDbase();

    const std::string f = bytes();   // its size and block counts: see CloseWritesTheHeaderAndKeepsTheChangedFlag
    const DTMBLOCKHEAD head = blockHead(f, 1);
    EXPECT_EQ(nums(head.bucket, head.count, head.next, head.previous), nums(1, 2, 0, 0));
    const std::size_t r = 73016 + 16;
    EXPECT_EQ(std::string(f.data() + r), "Alpha,1");
    // The local projection stores y where latitude goes (offset 17) and x where longitude goes;
    // then height, surface, feature bits, the first line, b's first incoming reference, and the
    // blank block after the used one.
    EXPECT_EQ(nums(at<double>(f, r + 17), at<double>(f, r + 25), at<double>(f, r + 33), at<WORD>(f, r + 41), at<BYTE>(f, r + 43),
                   at<DWORD>(f, r + 44), at<DWORD>(f, r + 146 + 76), blockHead(f, 2).bucket),
              nums(100.25, 200.5, 12.125, 0x4003, 1, b, a, 2));
}

TEST_F(OpenTerrainTest, TheFiveHundredAndFirstPointOfACellStartsALinkedBlock) {
    addRow("P", 501, 100.0, 100.0, 0.1, 0.0);
    const unsigned other = add("Other", 5000.0, 5000.0);
    EXPECT_EQ(other, 3 * 500 + 1u);   // the other cell starts the third bucket
    dbfCloseDbase();
    const std::string f = bytes();
    EXPECT_EQ(nums(blockHead(f, 1).count, blockHead(f, 1).next, blockHead(f, 2).previous, blockHead(f, 2).count, header(f).usedBlocks),
              nums(500, 2, 1, 1, 3));
    EXPECT_EQ(std::string(stored(f, 2, 1).name), "P500");
}

TEST_F(OpenTerrainTest, RemovalMovesTheLastPointAndKeepsItsLines) {
    const unsigned p1 = add("P1", 100.0, 100.0);
    const unsigned p2 = add("P2", 101.0, 100.0);
    const unsigned p3 = add("P3", 102.0, 100.0);
    const unsigned q = add("Q", 5000.0, 5000.0);
    ASSERT_EQ(dbfAddLine(p3, q, 1, 0), 1);
    ASSERT_EQ(dbfAddLine(p2, p3, 0, 0), 1);
    ASSERT_EQ(dbfAddLine(p1, q, 0, 0), 1);

    EXPECT_EQ(dbfRemCoord(p1), p1);
    EXPECT_EQ(dbfApproxPointCount(), 3u);
    // P3 now carries P1's number and still joins Q (as a feature line) and P2.
    SURVCOORD moved = grab(p1);
    EXPECT_STREQ(moved.name, "P3");
    EXPECT_TRUE(dbfIsFeatureLine(moved, q, p1));
    // Q: P3's line under its new number, P1's line gone; P3 is beyond the block's points now.
    EXPECT_EQ(nums(moved.lines[0], moved.shadows[0], grab(q).shadows[0], grab(q).shadows[1], grab(p2).lines[0]), nums(q, p2, p1, 0, p1));
    EXPECT_EQ(dbfRemCoord(p3), 0u);
}

TEST_F(OpenTerrainTest, FreedBlocksKeepTheFileCompact) {
    const unsigned a = add("A", cellCentreY(0), cellCentreX(0));   // bucket 1, file block 1
    const unsigned b = add("B", cellCentreY(1), cellCentreX(0));   // bucket 2
    const unsigned c = add("C", cellCentreY(2), cellCentreX(0));   // bucket 3
    ASSERT_EQ(dbfAddLine(c, b, 0, 0), 1);
    EXPECT_EQ(dbfRemCoord(a), a);
    EXPECT_EQ(dbfRemCoord(b), b);   // frees bucket 2; C's line to it goes too
    dbfCloseDbase();
    std::string f = bytes();
    // One blank block per freed block, plus the spare; C moved into the first file block, its
    // line gone; blocks 2 and 3 blank with buckets 1 and 2.
    EXPECT_EQ(nums(header(f).usedBlocks, header(f).totalBlocks, f.size(), blockHead(f, 1).bucket, blockHead(f, 1).count,
                   stored(f, 1, 1).lines[0], blockHead(f, 2).count, blockHead(f, 3).count, blockHead(f, 4).bucket,
                   blockHead(f, 2).bucket + blockHead(f, 3).bucket),
              nums(1, 4, 5 * 73016, 3, 1, 0, 0, 0, 4, 3));

    // The numbers are the buckets', not the file blocks': C keeps its number.
    ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
    EXPECT_STREQ(grab(c).name, "C");
    // A new cell takes the first blank block and its bucket.
    const unsigned d = add("D", cellCentreY(5), cellCentreX(5));
    DWORD bucket;
    unsigned slot;
    decodePointNumber(d, bucket, slot);
    EXPECT_EQ(bucket, +blockHead(f, 2).bucket);
    dbfCloseDbase();
    f = bytes();
    EXPECT_EQ(nums(header(f).usedBlocks, blockHead(f, 2).bucket), nums(2, bucket));
    EXPECT_STREQ(stored(f, 2, 1).name, "D");
}

TEST_F(OpenTerrainTest, RemovingTheHeadOfAChainMakesTheNextBlockTheHead) {
    const std::vector<unsigned> first = addRow("P", 502, 100.0, 100.0, 0.0, 0.01);
    // Empty the head block from its last point down, so that nothing moves.
    for (int i = 499; i >= 0; --i) dbfRemCoord(first[static_cast<size_t>(i)]);
    const auto left = scanAll();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_STREQ(left[0].second.name, "P500");
    EXPECT_STREQ(left[1].second.name, "P501");
    dbfCloseDbase();
    const std::string f = bytes();
    EXPECT_EQ(nums(header(f).usedBlocks, blockHead(f, 1).bucket, blockHead(f, 1).previous), nums(1, 2, 0));
    ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
    EXPECT_EQ(scanAll().size(), 2u);
}

// More blocks than the 250 cache slots: every cell gets points, in two rounds so that each block
// is evicted and loaded again.
class CacheEvictionTest : public TerrainTest, public ::testing::WithParamInterface<int> {};

TEST_P(CacheEvictionTest, WhatIsWrittenIsReadBack) {
    ASSERT_EQ(dbfState().cacheSlots, 250u);
    makeAndOpen();
    dbfSafeBucketChangeMode(GetParam());
    char name[17];
    std::vector<std::pair<unsigned, std::string>> added;
    for (int round = 0; round < 2; ++round)
        for (int xi = 0; xi < 25; ++xi)
            for (int yi = 0; yi < 25; ++yi) {
                std::snprintf(name, sizeof name, "R%dC%d", round, xi * 25 + yi);
                added.emplace_back(add(name, cellCentreY(yi) + round, cellCentreX(xi), round), name);
            }
    // Change points of blocks that have long left the cache.
    for (size_t i = 0; i < added.size(); i += 7) {
        SURVCOORD p = grab(added[i].first);
        p.z = 1000.0 + static_cast<double>(i);
        dbfStoreCoord(p, added[i].first, 0);
    }
    EXPECT_EQ(dbfApproxPointCount(), 1250u);
    dbfCloseDbase();
    EXPECT_EQ(header(bytes()).usedBlocks, 625u);

    ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
    EXPECT_EQ(dbfApproxPointCount(), 1250u);
    for (size_t i = 0; i < added.size(); ++i) {
        const SURVCOORD p = grab(added[i].first);
        EXPECT_EQ(p.name, added[i].second);
        EXPECT_EQ(+p.z, i % 7 == 0 ? 1000.0 + static_cast<double>(i) : static_cast<double>(i / 625));
    }
    // A scan visits the cells in order, y index fastest.
    const auto all = scanAll();
    ASSERT_EQ(all.size(), 1250u);
    EXPECT_EQ((std::vector<std::string>{all[0].second.name, all[1].second.name, all[2].second.name}),
              (std::vector<std::string>{"R0C0", "R1C0", "R0C1"}));
}

INSTANTIATE_TEST_SUITE_P(SafeMode, CacheEvictionTest, ::testing::Values(0, 1));

TEST_F(OpenTerrainTest, SafeModeWritesABlockWhenTheWorkMovesOn) {
    add("A", cellCentreY(0), cellCentreX(0));
    add("B", cellCentreY(3), cellCentreX(3));   // safe mode wrote A's block when B's was taken
    EXPECT_EQ(dbfSafeBucketChangeMode(0), 1);
    EXPECT_STREQ(stored(bytes(), 1, 1).name, "A");
    add("C", cellCentreY(6), cellCentreX(6));
    add("D", cellCentreY(9), cellCentreX(9));
    EXPECT_EQ(stored(bytes(), 3, 1).name[0], 0);   // C only in the cache
    dbfCloseDbase();
    EXPECT_STREQ(stored(bytes(), 3, 1).name, "C");
}

TEST_F(OpenTerrainTest, ScansKeepToTheAreaAndToActiveSurfaces) {
    add("In", 1000.0, 1000.0);
    add("Edge", 1100.0, 1100.0);
    add("Out", 1100.5, 1000.0);
    add("Hidden", 1050.0, 1050.0, 0.0, 7);
    add("Far", 9000.0, 9000.0);
    RRect area{1100.0, 1000.0, 1000.0, 1100.0};
    auto names = [&](RRect* a) {
        std::vector<std::string> n;
        for (auto& [number, p] : scanAll(a)) n.push_back(p.name);
        return n;
    };
    dbfSetSurfaceStatus(7, 0, 0);
    EXPECT_EQ(names(&area), (std::vector<std::string>{"In", "Edge"}));
    dbfSetSurfaceStatus(7, kSurfaceShown, 0);   // any status bit lets the scan see it
    EXPECT_EQ(names(&area), (std::vector<std::string>{"In", "Edge", "Hidden"}));
    RRect empty{5000.0, 4000.0, 4000.0, 5000.0};
    SURVCOORD p;
    EXPECT_EQ(dbfStartCoord(p, &empty), 0u);
    EXPECT_EQ(names(nullptr).size(), 5u);
    // Names with commas come back with underscores; the stored name keeps its comma.
    const unsigned n = add("A,B,C", 3000.0, 3000.0);
    RRect around{3001.0, 2999.0, 2999.0, 3001.0};
    EXPECT_EQ(names(&around), (std::vector<std::string>{"A_B_C"}));
    EXPECT_STREQ(grab(n).name, "A,B,C");
}

// A scan goes on from the number it is handed, whatever the caller did in between: read a point
// of another block, change the point just returned, or hand back an earlier number.
TEST_F(OpenTerrainTest, AScanGoesOnFromTheNumberItIsHanded) {
    const auto row = addRow("A", 1200, cellCentreY(4) - 200.0, cellCentreX(4) - 200.0, 0.3, 0.3);   // three blocks
    const unsigned other = add("Other", cellCentreY(9), cellCentreX(9));
    std::vector<unsigned> plain;
    for (auto& [number, p] : scanAll()) plain.push_back(number);
    ASSERT_EQ(plain.size(), 1201u);

    std::vector<unsigned> seen;
    SURVCOORD p;
    for (unsigned n = dbfStartCoord(p, nullptr); n != 0; n = dbfNextCoord(p, n)) {
        seen.push_back(n);
        if (seen.size() % 3 == 0) grab(other);
        if (seen.size() % 3 == 1) {
            p.z += 1.0;
            dbfStoreCoord(p, n, 0);
        }
        if (seen.size() == 700)
            for (std::size_t k : {10, 499}) {   // an earlier number; the last of a block
                unsigned earlier = plain[k];
                EXPECT_EQ(dbfNextCoord(p, earlier), plain[k + 1]) << k;
            }
    }
    EXPECT_EQ(seen, plain);
    EXPECT_EQ(+grab(row[0]).z, 1.0);
    EXPECT_EQ(+grab(row[1]).z, 0.0);
}

// The point index hands out a chain's points in the chain's order, also where a freed bucket of
// a lower number is linked after a higher one, follows a point that is moved, and is built again
// the same on the next open.
TEST_F(OpenTerrainTest, AreaScansKeepTheChainsOrderThroughThePointIndex) {
    const double y = cellCentreY(5), x = cellCentreX(5);
    const unsigned lone = add("L", cellCentreY(9), cellCentreX(9));   // bucket 1
    const auto row = addRow("A", 500, y - 200.0, x - 200.0, 0.8, 0.8);   // bucket 2, full
    ASSERT_EQ(dbfRemCoord(lone), lone);                                 // bucket 1 is freed
    EXPECT_EQ(add("B", y, x + 0.3), 501u);                              // and linked after bucket 2
    RRect area{y + 2.0, y - 2.0, x - 2.0, x + 2.0};
    dbfScanLimits(&area);
    ASSERT_TRUE(pointIndexServes(terrainState().scan, cellOf(y, x, true)));
    auto names = [&] {
        std::string text;
        for (auto& [number, p] : scanAll(&area)) text += std::string(p.name) + " ";
        return text;
    };
    EXPECT_EQ(names(), "A248 A249 A250 A251 A252 B ");
    SURVCOORD moved = grab(row[0]);
    moved.y = y + 1.0;
    moved.x = x - 1.0;
    dbfStoreCoord(moved, row[0], 0);
    EXPECT_EQ(names(), "A0 A248 A249 A250 A251 A252 B ");
    EXPECT_EQ(terrainCheckInvariants(), "");
    dbfCloseDbase();
    ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
    EXPECT_EQ(names(), "A0 A248 A249 A250 A251 A252 B ");
    EXPECT_EQ(terrainCheckInvariants(), "");
}

TEST_F(OpenTerrainTest, EditMovesAPointToItsNewCellAndKeepsItsPartners) {
    const unsigned a = add("A", 100.0, 100.0);
    const unsigned b = add("B", 101.0, 100.0);
    const unsigned c = add("C", 5000.0, 5000.0);
    const unsigned d = add("D", 5001.0, 5000.0, 0.0, 2);
    ASSERT_EQ(dbfAddLine(a, c, 1, 0), 1);
    ASSERT_EQ(dbfAddLine(b, a, 0, 0), 1);

    SURVCOORD moved = grab(a);
    moved.y = 5002.0;
    moved.x = 5003.0;
    const unsigned edited = dbfEditCoord(moved, a);
    ASSERT_NE(edited, 0u);
    EXPECT_STREQ(moved.name, "A");
    EXPECT_STREQ(grab(a).name, "B");
    // After C and D in their block; B moved into A's old slot; both lines still join the same
    // points.
    EXPECT_EQ(nums(edited, moved.y, grab(a).lines[0], grab(edited).shadows[0], grab(edited).lines[0], grab(c).shadows[0],
                   dbfApproxPointCount()),
              nums(d + 1, 5002.0, edited, a, c, edited, 4));

    // A change of surface drops the lines to points left on the old one.
    SURVCOORD other = grab(edited);
    other.surface = 2;
    const unsigned again = dbfEditCoord(other, edited);
    // It was the last point of its block: it keeps its number.
    EXPECT_EQ(nums(again, grab(again).lines[0], grab(again).shadows[0], grab(c).shadows[0]), nums(edited, 0, 0, 0));
    EXPECT_EQ(dbfAddLine(again, d, 0, 0), 1);
}

TEST_F(OpenTerrainTest, WorkBytesAndExistence) {
    const unsigned n = add("W", 100.0, 200.0);
    dbfSaved();
    SURVCOORD p = grab(n);
    std::memset(p.work, 0xAB, sizeof p.work);
    p.z = 99.0;   // only the work bytes are stored
    dbfStoreCoordFlags(p, n);
    EXPECT_EQ(dbfEdit(), 0);
    SURVCOORD raw;
    EXPECT_EQ(dbfCoordExists(raw, n), 1);
    EXPECT_EQ(nums(raw.work[5], raw.z), nums(0xAB, 0.0));
    const unsigned origin = add("O", 0.0, 0.0);
    EXPECT_EQ(nums(dbfCoordExists(raw, 0), dbfCoordExists(raw, origin)), nums(0, 0));
}

// A UTM project: the file keeps latitude and longitude, callers see northings and eastings.
TEST_F(TerrainTest, UtmPositionsAreStoredGeographic) {
    coreSetJobDefaultInt("Global", "Hemisphere", 1);
    coreSetJobDefaultInt("Global", "Projection", 1);
    coreSetJobDefaultInt("Global", "PrimeMeridian", 27);
    makeAndOpen(500000.0, 3000000.0, 20000.0);
    const unsigned n = add("G", 501234.5, 3004321.25, 55.0);
    SURVCOORD raw;
    ASSERT_EQ(dbfCoordExists(raw, n), 1);
    double lat = 0, lon = 0;
    ASSERT_EQ(projLOToLatLong(501234.5, 3004321.25, 27, &lat, &lon), 1);
    EXPECT_EQ(nums(raw.x, raw.y), nums(lat, lon));
    EXPECT_NEAR(lat, 27.15, 0.1);
    const SURVCOORD p = grab(n);
    EXPECT_NEAR(+p.y, 501234.5, 1e-6);
    EXPECT_NEAR(+p.x, 3004321.25, 1e-6);
    RRect area{501235.0, 501234.0, 3004321.0, 3004322.0};
    EXPECT_EQ(scanAll(&area).size(), 1u);

    // Stored without drift: a store converts the caller's copy, not the record.
    SURVCOORD q = grab(n);
    dbfStoreCoord(q, n, 0);
    EXPECT_EQ(+q.y, +p.y);
    SURVCOORD far;
    dbfPackStruct("Far", 5000000.0, 3000000.0, 0.0, 1, far);
    unsigned none = 1;
    EXPECT_EQ(dbfAddCoord(far, none), 0);
    EXPECT_EQ(nums(none, far.y), nums(0, 5000000.0));
    EXPECT_TRUE(ui.showed("Large coordinate impossible for current projection."));
    dbfCloseDbase();
    const DTMHEADER h = header(bytes());
    EXPECT_EQ(nums(h.projection, h.hemisphereFlag, h.longitudeOrigin), nums(1, 0, 27));
}
