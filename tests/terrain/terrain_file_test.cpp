// The terrain file: layout after creation, cells, opening old versions, the projection check,
// and damaged files.
#include <cctype>

#include "platform/proj.h"
#include "terrain_fixture.h"

TEST_F(TerrainTest, NewFileIsHeaderAndOneBlankBlock) {
    ASSERT_EQ(dbfMakeDbase(dtm.c_str(), 5000.0, 5000.0, 10000.0), 1);
    EXPECT_FALSE(dbfBBTreeExists());   // created and left closed
    const std::string b = bytes();
    ASSERT_EQ(b.size(), 146032u);
    const DTMHEADER h = header(b);
    EXPECT_EQ(std::string(h.magic, 4), "XXXY");
    EXPECT_DOUBLE_EQ(+h.blockSize, 10000.0 * 1.2247 / 25.0);
    EXPECT_DOUBLE_EQ(+h.minY, 5000.0 - 25.0 * h.blockSize / 2.0);
    EXPECT_DOUBLE_EQ(+h.maxX, h.minX + 25.0 * h.blockSize);
    // version, block length, blocks, used blocks, cells per side, limits valid, the project's
    // local projection, hemisphere 0
    EXPECT_EQ(nums(h.version, h.blockLength, h.totalBlocks, h.usedBlocks, h.cellsPerSide, h.limitsValid, h.projection,
                   h.hemisphereFlag),
              nums(602, 73016, 1, 0, 25, 0, -1, 1));
    for (BYTE s : h.surfaceStatus) EXPECT_EQ(s, 3);
    for (BYTE u : h.unused) EXPECT_EQ(u, 0);
    for (char c : h.reserved) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)));
    EXPECT_EQ(b.find_first_not_of('\0', 396), 73016u);   // zeros to the end of block 0
    const DTMBLOCKHEAD blank = blockHead(b, 1);
    EXPECT_EQ(+blank.bucket, 1u);
    EXPECT_EQ(blank.next + blank.previous + blank.count, 0u);
    EXPECT_EQ(b.find_first_not_of('\0', 73016 + 4), std::string::npos);

    ASSERT_EQ(dbfMakeDbase(dtm.c_str(), 0.0, 0.0, 1000.0), 1);
    EXPECT_DOUBLE_EQ(header(bytes()).blockSize, 100.0);   // 48.99 raised to the minimum
}

TEST_F(OpenTerrainTest, CellsClampToTheSiteAndStoredPointsRoundToTheMillimetre) {
    RRect site;
    double size = 0;
    dbfGetExtents(&site, size);
    // y index fastest
    EXPECT_EQ(nums(dbfBlockNumber(site.minY, site.minX), dbfBlockNumber(site.minY - 1e6, site.minX - 5.0),
                   dbfBlockNumber(site.maxY, site.maxX), dbfBlockNumber(site.maxY + 50.0, site.minX),
                   dbfBlockNumber(site.minY, site.maxX + 50.0), dbfBlockNumber(site.minY + 1.5 * size, site.minX + 2.5 * size)),
              nums(1, 1, 625, 25, 601, 2 * 25 + 2));
    // Just short of a cell edge: the plain rule stays, the stored-point rule moves on.
    const double nearEdge = site.minY + size - 0.0004;
    EXPECT_EQ(dbfBlockNumber(nearEdge, site.minX), 1);
    EXPECT_EQ(cellOf(nearEdge, site.minX, true), 2);
}

TEST_F(OpenTerrainTest, CloseWritesTheHeaderAndKeepsTheChangedFlag) {
    add("A", 100.0, 200.0, 3.0);
    EXPECT_EQ(dbfEdit(), 1);
    EXPECT_EQ(dbfCloseDbase(), 0);
    EXPECT_EQ(dbfEdit(), 1);
    EXPECT_EQ(dbfCloseDbase(), 0);   // nothing open
    const std::string b = bytes();
    EXPECT_EQ(nums(header(b).usedBlocks, header(b).totalBlocks, b.size()), nums(1, 2, 3 * 73016));
    dbfSaved();
    ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
    EXPECT_EQ(dbfEdit(), 0);
    EXPECT_EQ(dbfApproxPointCount(), 1u);
}

TEST_F(TerrainTest, MagicIsComparedWithoutCaseAndOldOrForeignFilesAreRefused) {
    ASSERT_EQ(dbfMakeDbase(dtm.c_str(), 5000.0, 5000.0, 10000.0), 1);
    patch(0, std::array<char, 4>{'x', 'X', 'x', 'y'});
    EXPECT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
    dbfCloseDbase();

    patch(0, std::array<char, 4>{'X', 'X', 'X', 'X'});
    EXPECT_EQ(dbfOpenDbase(dtm.c_str(), 0), 0);
    EXPECT_TRUE(ui.showed("You must import this old format file in order to open it"));
    EXPECT_FALSE(dbfBBTreeExists());

    patch(0, std::array<char, 4>{'D', 'T', 'M', '1'});
    EXPECT_EQ(dbfOpenDbase(dtm.c_str(), 0), 0);
    EXPECT_TRUE(ui.showed("Terrain file is not a valid DTM file"));
    EXPECT_EQ(dbfOpenDbase(file("missing.dtm").c_str(), 0), 0);
}

// The projection fields of a 600 file are not trusted; a 601 file loses an unknown projection
// number (-1 matches the local project): no projection question either way.
TEST_F(TerrainTest, OlderVersionsAreUpgradedWhenTheDatumMatches) {
    for (const auto& [version, projection] : {std::pair{600, 7}, {601, 5}}) {
        ASSERT_EQ(dbfMakeDbase(dtm.c_str(), 5000.0, 5000.0, 10000.0), 1);
        patch<WORD>(4, static_cast<WORD>(version));
        patch<std::int16_t>(98, static_cast<std::int16_t>(projection));
        ui.clear();
        ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
        EXPECT_TRUE(version != 600 || ui.showed("The terrain database has been upgraded and should be saved"));
        const DTMHEADER atOnce = header(bytes());
        EXPECT_EQ(nums(ui.unexpected, dbfEdit()), nums(0, 1)) << version;
        EXPECT_TRUE(version != 600 || nums(atOnce.version, atOnce.projection) == nums(602, -1)) << "a 600 file is written at once";
        dbfCloseDbase();
        EXPECT_EQ(nums(header(bytes()).version, header(bytes()).projection), nums(602, -1)) << version;
    }

    patch<WORD>(4, 600);
    patch<WORD>(6, 3);   // GRS80 against the project's WGS84
    ui.clear();
    EXPECT_EQ(dbfOpenDbase(dtm.c_str(), 0), 0);
    EXPECT_TRUE(ui.showed("Database datum does not match Project datum.\nOriginal datum = GRS80, New datum = WGS84"));
    EXPECT_FALSE(dbfBBTreeExists());
}

TEST_F(TerrainTest, ProjectionMismatchAsksAndNoLeavesTheProjectAlone) {
    ASSERT_EQ(dbfMakeDbase(dtm.c_str(), 5000.0, 5000.0, 10000.0), 1);
    patch<DWORD>(136, 31);   // the file says longitude of origin 31
    ui.answers.push_back(IDNO);
    EXPECT_EQ(dbfOpenDbase(dtm.c_str(), 0), 0);
    ASSERT_NE(ui.last(), nullptr);
    EXPECT_TRUE(ui.showed("Projection parameters in database do not match those in project"));
    EXPECT_EQ(ui.last()->text, "Unable to open terrain database");
    EXPECT_FALSE(dbfBBTreeExists());
    EXPECT_EQ(coreGetJobDefaultInt("Global", "PrimeMeridian", -99), -99);

    ui.answers.push_back(IDYES);
    EXPECT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
    EXPECT_EQ(nums(coreGetJobDefaultInt("Global", "PrimeMeridian", -99), coreGetJobDefaultInt("Global", "Hemisphere", -99),
                   projGetLO(nullptr)),
              nums(31, 0, 31));
}

// A version 600 file written here field by field, as an older program left it: two points in one
// block and the blank block after it.
TEST_F(TerrainTest, HandMadeVersion600FileOpensWithItsPoints) {
    std::string f(3 * 73016, '\0');
    auto put = [&f](std::size_t offset, const auto& value) { std::memcpy(f.data() + offset, &value, sizeof value); };
    std::memcpy(f.data(), "XXXY", 4);
    put(4, WORD{600});
    put(6, WORD{0});   // WGS84, as the project
    // minimum y and x 0, maximum y and x 2500, block size 100, block length, blocks, used blocks, cells
    for (std::size_t at : {24, 32}) put(at, 2500.0);
    put(40, 100.0);
    for (const auto& [at, value] : {std::pair{48, 73016u}, {52, 2u}, {56, 1u}}) put(at, DWORD{value});
    put(60, WORD{25});
    put(98, std::int16_t{9});   // an old projection number, replaced by the upgrade
    std::memset(f.data() + 268, 3, 128);
    const std::size_t block = 73016;
    put(block, DWORD{1});
    put(block + 12, WORD{2});
    for (int i = 0; i < 2; ++i) {
        const std::size_t r = block + 16 + static_cast<std::size_t>(i) * 146;
        std::memcpy(f.data() + r, i == 0 ? "OLD1" : "OLD2", 5);
        put(r + 17, 1250.0 + i);   // local projection: y first
        put(r + 25, 1300.0);
        put(r + 33, 7.5);
        put(r + 41, WORD{1});
    }
    put(2 * block, DWORD{2});
    dbtest::writeFile(dtm, f);

    ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
    EXPECT_EQ(dbfApproxPointCount(), 2u);
    const auto all = scanAll();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_STREQ(all[1].second.name, "OLD2");
    EXPECT_EQ(nums(all[1].second.y, all[1].second.x, all[0].first, dbfBlockNumber(1251.0, 1300.0)),
              nums(1251.0, 1300.0, 501, 13 * 25 + 12 + 1));
    const DTMHEADER h = header(bytes());
    EXPECT_EQ(nums(h.version, h.projection, h.hemisphereFlag), nums(602, -1, 1));
    EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(h.reserved[0])));
}

// A block list damaged in memory: each step that finds a bucket missing says where and ends the
// command.
TEST_F(OpenTerrainTest, MissingBucketEntriesAreReportedWhereTheyAreFound) {
    add("A", 100.0, 100.0);
    SURVCOORD p;
    EXPECT_THROW(dbfGrabCoord(p, 99999), CUserException);
    EXPECT_TRUE(ui.showed("Bucket list error in grab_bucket (1) [Bucket = 198]"));
    terrainState().blocks->erase(0);   // bucket 1, cached and dirty
    EXPECT_THROW(dbfCloseDbase(), CUserException);
    EXPECT_TRUE(ui.showed("Bucket list error in dbfCloseDbase (1) [Bucket = 0]"));
}
