// Queries and maintenance: nearest point, name look-up and search, statistics, site limits,
// duplicates, the surface copy, look-up by name and point entry; Escape in the long ones.
#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>

#include "terrain/terrain_fixture.h"

namespace {

class QueryTest : public OpenTerrainTest {
protected:
    // Writes every cached block back and empties the cache: every block is then in the file only.
    static void emptyCache() {
        TerrainState& t = terrainState();
        for (unsigned slot = 1; slot < t.slotBucket.size(); ++slot)
            if (t.slotBucket[slot] != 0) {
                BlockEntry* entry = findBlock(t.slotBucket[slot]);
                if (entry->cacheSlot < 0) {
                    writeBackSlot(slot, true);
                } else {
                    entry->cacheSlot = 0;
                    slotDescriptor(slot) = CacheDescriptor{};
                    t.slotBucket[slot] = 0;
                }
            }
        t.currentSlot = 0;
    }
    static bool cached(unsigned number) {
        DWORD bucket;
        unsigned slot;
        decodePointNumber(number, bucket, slot);
        return findBlock(bucket)->cacheSlot != 0;
    }

    // Every line has its incoming reference at the far end and every incoming reference its
    // line: what any operation, finished or stopped, must leave. A surface copy stopped while
    // the incoming references are rebuilt leaves lines whose reference is still to come.
    ::testing::AssertionResult linesConsistent(bool referencesToCome = false) {
        for (auto& [n, p] : scanAll()) {
            for (DWORD q : p.lines) {
                if (!q || referencesToCome) continue;
                const SURVCOORD other = grab(q);
                if (std::count(std::begin(other.shadows), std::end(other.shadows), n) != 1)
                    return ::testing::AssertionFailure() << "line " << n << "->" << q << " has no incoming reference";
            }
            for (DWORD q : p.shadows) {
                if (!q) continue;
                const SURVCOORD other = grab(q);
                if (std::count(std::begin(other.lines), std::end(other.lines), n) != 1)
                    return ::testing::AssertionFailure() << "reference " << q << "->" << n << " has no line";
            }
        }
        return ::testing::AssertionSuccess();
    }

    // A name look-up's result and the point it found (the record in record).
    static std::pair<int, unsigned> findName(const char* name, SURVCOORD& record) {
        char key[17];
        std::strcpy(key, name);
        unsigned number = 99999;
        const int found = dbfFindName(key, number, record);
        return {found, number};
    }

    static DWORD work(const SURVCOORD& p) {
        DWORD n;
        std::memcpy(&n, p.work, sizeof n);
        return n;
    }
    int onSurface(WORD surface) {
        int n = 0;
        for (auto& [number, p] : scanAll())
            if ((p.surface & 0xFF) == surface) ++n;
        return n;
    }
};

// ---------------------------------------------------------------------------------------------
// Nearest point

TEST_F(QueryTest, NearestPointFirstOfEquallyNearAndEmpty) {
    const PNT_3D_record at{5000, 5000, 0};
    EXPECT_EQ(dbfFindClosest(at, nullptr, 0, 1), 0u) << "empty database";
    EXPECT_EQ(terrainState().beeps, 1);

    const unsigned east = add("E", 5010, 5000), west = add("W", 4990, 5000);
    add("FAR", 5000, 5200);   // beyond a twelfth of the 1000-unit view
    const unsigned first = std::min(east, west);
    EXPECT_EQ(dbfFindClosest(at, nullptr, 0, 1), first) << "the first of equally near points wins";
    EXPECT_EQ(cad.helpText(), std::string("Last snap: ") + (first == east ? "E" : "W") + " Srf: 1");
    EXPECT_TRUE(cad.promptHeld());
    EXPECT_EQ(dbfFindClosest(PNT_3D_record{5000, 5190, 0}, nullptr, 0, 0), 0u) << "outside the search radius";
    cad.setZoomRect(0, 0, 6000, 6000);
    EXPECT_NE(dbfFindClosest(PNT_3D_record{5000, 5190, 0}, nullptr, 0, 0), 0u);

    NAMEFILT onlyWest;
    dbfResetFilter(onlyWest);
    std::strcpy(onlyWest.include[0], "W");
    EXPECT_EQ(dbfFindClosest(at, &onlyWest, 1, 0), west);
    EXPECT_EQ(dbfFindClosest(at, &onlyWest, 0, 0), first) << "a filter not used";

    // No filter given: the display's filter, when its switch is on.
    static NAMEFILT* displayFilter = &onlyWest;
    static int displayOn = 1;
    terrainHooks().displayFilter = [](int& on) { on = displayOn; return displayFilter; };
    EXPECT_EQ(dbfFindClosest(at, nullptr, 0, 0), west);
    displayOn = 0;
    EXPECT_EQ(dbfFindClosest(at, nullptr, 1, 0), first);
    terrainHooks().displayFilter = nullptr;

    dbfSetSurfaceStatus(1, 0, 0);
    EXPECT_EQ(dbfFindClosest(at, nullptr, 0, 0), 0u) << "inactive surfaces are not found";
}

TEST_F(QueryTest, NearestInAreaMustNotBeFartherInHeight) {
    add("LOW", 5001, 5000, 10.0);
    const unsigned high = add("HIGH", 5000.5, 5000, 100.0);
    const unsigned nearer = add("NEAR", 5000.2, 5000, 99.0);
    const RRect area{5100, 4900, 4900, 5100};
    EXPECT_EQ(dbfFindClosestInArea(area, PNT_3D_record{5000, 5000, 99.0}, nullptr, 0, 0), nearer);
    EXPECT_EQ(dbfFindClosestInArea(area, PNT_3D_record{5000, 5000, 100.0}, nullptr, 0, 0), high)
        << "a point nearer in plan but farther in height does not replace the best";
    // The strings file asks for a point of one surface with a fresh filter.
    NAMEFILT surface2;
    dbfSurfaceFilter(surface2, 2);
    EXPECT_EQ(dbfFindClosestInArea(area, PNT_3D_record{5000, 5000, 0}, &surface2, 1, 0), 0u);
}

// ---------------------------------------------------------------------------------------------
// Names

TEST_F(QueryTest, FindNameInCachedAndUncachedBlocksWholeNamesOnly) {
    // Two cells, each with its own block.
    const unsigned inA = add("P10", cellCentreY(3), cellCentreX(3));
    const unsigned twinA = add("TWIN", cellCentreY(3), cellCentreX(3) + 1);
    const unsigned inB = add("Q7", cellCentreY(9), cellCentreX(9));
    const unsigned twinB = add("TWIN", cellCentreY(9), cellCentreX(9) + 1);
    add("  PAD", cellCentreY(9), cellCentreX(9) + 2);
    emptyCache();
    SURVCOORD loaded{};
    dbfGrabCoord(loaded, inB);   // only the second cell's block is cached
    ASSERT_TRUE(cached(inB));
    ASSERT_FALSE(cached(inA));

    SURVCOORD record{};
    for (int pass = 0; pass < 3; ++pass) {   // the first pass scans, the later ones use the index
        SCOPED_TRACE(pass);
        EXPECT_EQ(findName(" P10 ", record), std::pair(1, inA));
        EXPECT_STREQ(record.name, "P10");
        EXPECT_DOUBLE_EQ(record.y, cellCentreY(3)) << "the record is projected";
        EXPECT_EQ(findName("Q7", record), std::pair(1, inB));
        emptyCache();
        dbfGrabCoord(record, twinB);
        EXPECT_EQ(findName("TWIN", record), std::pair(1, twinB)) << "a cached block is searched before the file";
        for (const char* part : {"P1", "10", "P", "p10", "PAD", "TWI"})
            EXPECT_EQ(findName(part, record), std::pair(0, 0u)) << part;
    }
    EXPECT_FALSE(terrainState().nameIndex.empty());

    // A change of the points drops the index; the next look-up sees the change.
    SURVCOORD p = grab(twinB);
    std::strcpy(p.name, "OTHER");
    dbfStoreCoord(p, twinB, 0);
    EXPECT_EQ(findName("TWIN", record), std::pair(1, twinA));
    dbfSetSurfaceStatus(1, 0, 0);
    EXPECT_EQ(findName("TWIN", record).first, 0) << "inactive surfaces are not found";
}

// Look-ups interleaved with adds, removals (the bucket's last point taking the freed number),
// renames, emptied caches and a close and open, against a plain map of number to name: every
// look-up is made twice, so that the second one goes through the index whenever the points are
// unchanged, and an index left over from before a change would answer wrongly.
TEST_F(QueryTest, FindNameFollowsAddsRemovalsAndRenames) {
    std::map<unsigned, std::string> model;
    std::mt19937 rng(5);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    auto randomName = [&] { return "N" + std::to_string(pick(40)); };   // many names twice or more
    auto addRandom = [&] {
        // Four cells, so that blocks hold many points and removals move points between numbers.
        const double y = cellCentreY(3 + pick(2)) + pick(200) - 100.0;
        const double x = cellCentreX(3 + pick(2)) + pick(200) - 100.0;
        const std::string name = randomName();
        model[add(name.c_str(), y, x)] = name;
    };
    auto someNumber = [&] { return std::next(model.begin(), pick(static_cast<int>(model.size())))->first; };
    int indexed = 0;
    auto checkLookups = [&](const std::string& changed) {
        std::vector<std::string> names{changed, "NONE"};
        for (int i = 0; i < 6; ++i) names.push_back(randomName());
        for (const std::string& name : names)
            for (int twice = 0; twice < 2; ++twice) {
                std::set<unsigned> holders;
                for (auto& [number, n] : model)
                    if (n == name) holders.insert(number);
                char key[17];
                std::strcpy(key, name.c_str());
                unsigned number = 99999;
                SURVCOORD record{};
                const int found = dbfFindName(key, number, record);
                indexed += terrainState().nameIndexGeneration == terrainState().pointsGeneration;
                ASSERT_EQ(found, holders.empty() ? 0 : 1) << name;
                if (holders.empty()) {
                    ASSERT_EQ(number, 0u);
                    continue;
                }
                ASSERT_EQ(holders.count(number), 1u) << name << " found as " << number;
                ASSERT_STREQ(record.name, name.c_str());
            }
    };

    for (int i = 0; i < 300; ++i) addRandom();
    for (int step = 0; step < 400; ++step) {
        std::string changed;
        switch (pick(4)) {
        case 0:
            addRandom();
            changed = model.rbegin()->second;
            break;
        case 1: {
            const unsigned number = someNumber();
            changed = model[number];
            DWORD bucket;
            unsigned slot;
            decodePointNumber(number, bucket, slot);
            const unsigned last = std::prev(model.lower_bound(pointNumber(bucket + 1, 1)))->first;
            ASSERT_EQ(dbfRemCoord(number), number);
            model[number] = model[last];
            model.erase(last);
            break;
        }
        default: {
            const unsigned number = someNumber();
            SURVCOORD p = grab(number);
            changed = model[number];          // the old name must no longer find this point
            model[number] = randomName();
            std::strcpy(p.name, model[number].c_str());
            dbfStoreCoord(p, number, 0);
            break;
        }
        }
        if (step % 50 == 25) emptyCache();
        if (step == 200) {
            dbfCloseDbase();
            ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
            model.clear();
            for (auto& [n, p] : scanAll()) model[n] = p.name;
        }
        checkLookups(changed);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(indexed, 1000) << "most look-ups go through the index";
    char tooLong[] = "N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1N1";
    unsigned number = 7;
    SURVCOORD record{};
    EXPECT_EQ(dbfFindName(tooLong, number, record), 0) << "longer than any stored name";
    EXPECT_EQ(number, 0u);
    // The model itself follows the store.
    std::map<unsigned, std::string> stored;
    for (auto& [n, p] : scanAll()) stored[n] = p.name;
    EXPECT_EQ(stored, model);
}

TEST_F(QueryTest, SearchNameFindsEachPointOfTheNameAcrossTheSiteLimits) {
    // The third point lies beyond the site square (which ends at 11123.5): the search covers the
    // site limits, which take it in, as the look-up by name does.
    const std::set<unsigned> all{add("DUP", 100, 100), add("DUP", 9000, 9000), add("DUP", 20000, 15000)};
    add("DUPE", 120, 100);
    unsigned number = 0;
    SURVCOORD record{};
    char dup[] = "DUP";
    std::set<unsigned> found;
    for (int fromStart = 1; dbfSearchName(dup, number, record, fromStart) == 1; fromStart = 0) {
        EXPECT_STREQ(record.name, "DUP");
        ASSERT_TRUE(found.insert(number).second) << "each point once";
    }
    EXPECT_EQ(found, all);
    EXPECT_EQ(number, 0u);
}

// ---------------------------------------------------------------------------------------------
// Statistics and site limits

TEST_F(QueryTest, StatisticsOfEmptyAndFullDatabases) {
    DBASESTATS stats{};
    terrainState().pointTotal = 42;
    EXPECT_EQ(dbfDbaseStats(stats), 0);
    // an empty database leaves the total
    EXPECT_EQ(nums(terrainState().pointTotal, stats.fewestPoints, stats.cellsPerSide), nums(42, 1000000, 25));
    EXPECT_NEAR(stats.blockSize, 489.88, 1e-9);
    terrainState().pointTotal = 0;

    for (int i = 0; i < 620; ++i) add("A", cellCentreY(2) + i * 0.1, cellCentreX(2));
    for (int i = 0; i < 3; ++i) add("B", cellCentreY(20), cellCentreX(5) + i);
    terrainState().pointTotal = 7;
    EXPECT_EQ(dbfDbaseStats(stats), 1);
    EXPECT_EQ(nums(stats.cellsWithPoints, stats.usedBlocks, stats.longestChain, stats.mostPoints, stats.fewestPoints,
                   stats.totalPoints, terrainState().pointTotal),
              nums(2, 3, 2, 620, 3, 623, 623));
    EXPECT_FALSE(cad.waitCursor());

    // What the statistics wrote back is in the file.
    ASSERT_EQ(dbfCloseDbase(), 0);
    EXPECT_EQ(blockHead(bytes(), 1).count + blockHead(bytes(), 2).count + blockHead(bytes(), 3).count, 623);
}

TEST_F(QueryTest, SiteLimitsOfEmptyAndFullDatabases) {
    RRect limits{};
    for (int mode : {0, 1}) {
        dbfBuckLimit(&limits, mode);
        EXPECT_NEAR(limits.minY, -1123.5 + 12 * 489.88, 1e-6) << "the central cell";
        EXPECT_NEAR(limits.maxX, -1123.5 + 13 * 489.88, 1e-6);
    }
    ASSERT_TRUE(cad.hasZoomAllLimits());
    EXPECT_NEAR(cad.zoomAllLimits()[0], limits.maxY, 1e-9);

    add("A", 100, 200);
    add("B", 300, 700);
    dbfBuckLimit(&limits, 0);
    const std::vector<double> got = nums(limits.minY, limits.maxY, limits.minX, limits.maxX),
                              want = nums(100 - 489.88, 300 + 489.88, 200 - 489.88, 700 + 489.88);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(got[i], want[i], 1e-6) << i;
    // zoom-all gets the points' own limits; the progress bar is cleared
    EXPECT_EQ(nums(cad.zoomAllLimits()[0], cad.zoomAllLimits()[1], cad.progress().total), nums(300.0, 200.0, 0));
}

// ---------------------------------------------------------------------------------------------
// Duplicates

TEST_F(QueryTest, DuplicatesAtTheRoundingBoundary) {
    const unsigned a = add("A", 1000.0004, 2000);
    const unsigned b = add("B", 1000.0001, 2000);
    const unsigned c = add("C", 3000.0004, 2000);
    const unsigned d = add("D", 3000.0006, 2000);
    const unsigned e = add("E", 1000.0002, 2000, 5.0);   // same place, other height
    auto marks = [&] { return nums(work(grab(a)), work(grab(b)), work(grab(c)), work(grab(d)), work(grab(e))); };
    EXPECT_EQ(dbfRemoveDuplicates(0, nullptr, 0, {}), 1);
    EXPECT_EQ(marks(), nums(0, a, 0, 0, a));
    EXPECT_GE(cad.count(CadPrimitiveKind::Point), 3);
    // The work bytes are cleared first; heights compared.
    EXPECT_EQ(dbfRemoveDuplicates(1, nullptr, 0, {}), 1);
    EXPECT_EQ(marks(), nums(0, a, 0, 0, 0));

    // Only inside the polygon: none of the pairs.
    const std::vector<PNT_2D_record> elsewhere{{0, 0}, {0, 500}, {500, 500}, {500, 0}, {0, 0}};
    EXPECT_EQ(dbfRemoveDuplicates(0, nullptr, 0, elsewhere), 0);
    EXPECT_EQ(dbfTerrainCancelled(), 0);
    EXPECT_EQ(marks(), nums(0, 0, 0, 0, 0));
}

// A polygon's marking in a dense cell reads only the band of the polygon's y range through the
// point index, and pairs points by their rounded position: the marks are those of the walk of
// every chain, for a closed polygon and for an open one (whose test counts points left of it).
TEST_F(QueryTest, DuplicatesInADenseCellMatchTheWalkOfTheChain) {
    const double y0 = cellCentreY(5) - 200.0, x0 = cellCentreX(5) - 200.0;
    std::vector<unsigned> numbers;
    for (int k = 0; k < 3000; ++k) {
        const int i = (k * 7919) % 3000;   // not in scan-line order
        const double y = y0 + (i / 60) * 8.0, x = x0 + (i % 60) * 6.5;
        numbers.push_back(add("P", y, x, i % 3));
        if (i % 5 == 0) numbers.push_back(add("D", y + 0.0003, x - 0.0002, i % 2));
    }
    const double cy = y0 + 200.0, cx = x0 + 200.0;
    const std::vector<std::vector<PNT_2D_record>> polygons{
        {{cx - 60, cy - 40}, {cx + 50, cy - 40}, {cx + 50, cy + 40}, {cx - 60, cy + 40}, {cx - 60, cy - 40}},
        {{cx - 30, cy - 30}, {cx + 30, cy}, {cx - 30, cy + 30}},
    };
    for (const auto& polygon : polygons)
        for (int heights : {0, 1}) {
            RRect band{cy + 41, cy - 41, -1e6, 1e6};
            dbfScanLimits(&band);
            ASSERT_TRUE(pointIndexServes(terrainState().scan, cellOf(cy, cx, true)));
            std::vector<DWORD> marks[2];
            int results[2];
            for (int walk : {0, 1}) {
                pointIndexEnable(walk == 0);
                results[walk] = dbfRemoveDuplicates(heights, nullptr, 0, polygon);
                for (unsigned n : numbers) marks[walk].push_back(work(grab(n)));
            }
            pointIndexEnable(true);
            EXPECT_EQ(nums(results[0], results[1]), nums(1, 1));
            EXPECT_EQ(marks[0], marks[1]) << polygon.size() << " corners, heights " << heights;
        }
}

TEST_F(QueryTest, EscapeWhileMarkingDuplicatesLeavesAConsistentDatabase) {
    for (int i = 0; i < 50; ++i) {
        add("X", 100 + i, 100);
        add("Y", 100 + i, 100);
    }
    cad.pressEscapeAtCheck(20);
    EXPECT_EQ(dbfRemoveDuplicates(0, nullptr, 0, {}), 0);
    EXPECT_EQ(dbfTerrainCancelled(), 1) << "told apart from a run that found nothing";
    int marked = 0;
    for (auto& [n, p] : scanAll()) marked += work(p) != 0;
    EXPECT_GT(marked, 0);
    EXPECT_LT(marked, 50);
    ASSERT_EQ(dbfCloseDbase(), 0);
    ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
    int kept = 0;
    for (auto& [n, p] : scanAll()) kept += work(p) != 0;
    EXPECT_EQ(kept, marked) << "the marks made before Escape are stored";
}

// ---------------------------------------------------------------------------------------------
// Surface copy

class SurfaceCopyTest : public QueryTest {
protected:
    unsigned a = 0, b = 0, c = 0;
    void SetUp() override {
        QueryTest::SetUp();
        a = add("A", 100, 100, 1.0, 1);
        b = add("B", 200, 100, 2.0, 1 | kSurfaceFlag4000);
        c = add("C", 150, 200.0004, 3.0, 1);
        ASSERT_EQ(dbfAddLine(a, b, 1, 0), 1);
        ASSERT_EQ(dbfAddLine(b, c, 0, 0), 1);
        ASSERT_EQ(dbfAddLine(c, a, 1, 0), 1);
        for (int i = 0; i < 30; ++i) add("OLD", 5000 + i, 5000, 0.0, 2);
    }
};

TEST_F(SurfaceCopyTest, CopyCarriesFeatureLinesAndReplacesTheDestination) {
    ui.answers.push_back(IDOK);
    EXPECT_EQ(dbfDuplicateSurface(1, 2), 1);
    EXPECT_TRUE(ui.showed("Data exists on destination surface\nOk to delete existing points"));
    EXPECT_EQ(ui.last()->caption, "Delete");
    EXPECT_EQ(nums(onSurface(1), onSurface(2)), nums(3, 3));

    std::map<std::string, SURVCOORD> copies;
    std::map<unsigned, std::string> nameOf;
    for (auto& [n, p] : scanAll()) nameOf[n] = p.name;
    for (auto& [n, p] : scanAll())
        if ((p.surface & 0xFF) == 2) copies[p.name] = p;
    ASSERT_EQ(copies.size(), 3u);
    // Copies are kept to the millimetre.
    EXPECT_EQ(nums(copies["B"].surface, copies["C"].x, copies["C"].z), nums(2 | kSurfaceFlag4000, 200.0, 3.0));
    // A-B feature, B-C plain, C-A feature, between the copies: 1 feature, 0 plain, -1 none.
    auto lineTo = [&](const SURVCOORD& from, const char* to) {
        for (int i = 0; i < 8; ++i)
            if (from.lines[i] && nameOf[from.lines[i]] == to && (grab(from.lines[i]).surface & 0xFF) == 2)
                return (from.feature >> i) & 1;
        return -1;
    };
    EXPECT_EQ(nums(lineTo(copies["A"], "B"), lineTo(copies["B"], "C"), lineTo(copies["C"], "A")), nums(1, 0, 1));
    EXPECT_TRUE(linesConsistent());

    char dump[MAX_PATH], numbers[MAX_PATH];
    dbfFileName(dump, "dmp", kFileProject);
    dbfFileName(numbers, "tmp", kFileProject);
    EXPECT_FALSE(coreFileExist(dump) || coreFileExist(numbers));
    EXPECT_EQ(cad.helpText(), "");
    EXPECT_EQ(cad.progress().total, 0);
}

TEST_F(SurfaceCopyTest, CancelKeepsTheDestination) {
    ui.answers.push_back(IDCANCEL);
    EXPECT_EQ(dbfDuplicateSurface(1, 2), 0);
    EXPECT_EQ(onSurface(2), 30);
    EXPECT_EQ(cad.helpText(), "");
    EXPECT_EQ(cad.progress().total, 0);
}

TEST_F(SurfaceCopyTest, EscapeAtAnyStepLeavesAConsistentDatabase) {
    // A complete copy first, to count the Escape checks of a copy over an existing destination.
    ui.answers.push_back(IDOK);
    ASSERT_EQ(dbfDuplicateSurface(1, 2), 1);
    const int before = cad.escapeChecks();
    ui.answers.push_back(IDOK);
    ASSERT_EQ(dbfDuplicateSurface(1, 2), 1);
    const int checks = cad.escapeChecks() - before;
    ASSERT_GT(checks, 10);

    // Escape at each check in turn reaches every cancellable step: the destination clearing,
    // the numbering, the dump and the incoming references (the last checks, one per copied
    // point). The work done before the Escape stays: stopped in the rebuild of the incoming
    // references, the three copies stay with the references rebuilt so far.
    for (int check = 1; check <= checks; ++check) {
        SCOPED_TRACE(check);
        const bool inRebuild = check > checks - 3;
        ui.answers.clear();
        ui.answers.push_back(IDOK);
        cad.pressEscapeAtCheck(check);
        EXPECT_EQ(dbfDuplicateSurface(1, 2), 0);
        EXPECT_TRUE(linesConsistent(inRebuild));
        EXPECT_EQ(onSurface(1), 3);
        if (inRebuild)
            EXPECT_EQ(onSurface(2), 3) << "the copies stay";
        else
            EXPECT_LE(onSurface(2), 3) << "a copy stopped before the points are added adds nothing";
        char dump[MAX_PATH];
        dbfFileName(dump, "dmp", kFileProject);
        EXPECT_FALSE(coreFileExist(dump));
        ui.answers.clear();
        ui.answers.push_back(IDOK);
        ASSERT_EQ(dbfDuplicateSurface(1, 2), 1);   // back to three copies
        EXPECT_TRUE(linesConsistent());
    }
}

// ---------------------------------------------------------------------------------------------
// Look-up by name and point entry

TEST_F(QueryTest, LookupFindsChangesOrAdds) {
    const unsigned a = add("KERB1", 100, 100, 1.0, 1);
    SURVCOORD record{};
    char name[17] = " KERB1";
    EXPECT_EQ(dbfLookup(kLookupFind, name, record), a);
    EXPECT_EQ(+record.z, 1.0);
    std::strcpy(name, "NEW");
    EXPECT_EQ(dbfLookup(kLookupFind, name, record), 0u);

    dbfPackStruct("", 150, 160, 7.0, 3, record);
    std::strcpy(name, "KERB1");
    const unsigned changed = dbfLookup(kLookupChange | kLookupKeepSurface, name, record);
    ASSERT_NE(changed, 0u);
    EXPECT_EQ(nums(record.y, grab(changed).z, grab(changed).surface & 0xFF), nums(150.0, 7.0, 1)) << "surface kept";

    dbfPackStruct("", 10, 20, 3.0, 4, record);
    std::strcpy(name, "NEW");
    const unsigned added = dbfLookup(kLookupChange, name, record);
    ASSERT_NE(added, 0u);
    EXPECT_STREQ(grab(added).name, "NEW");
    EXPECT_EQ(+grab(added).surface, 4);

    // Asked: the user picks an existing point, enters a new one, or cancels.
    ui.dialogs["Point Entry"] = [&](void* r) {
        auto* entry = static_cast<POINTENTRY*>(r);
        EXPECT_STREQ(entry->point.name, "ASKED");
        EXPECT_EQ(+entry->point.surface, 1);
        entry->existing = a;
        return IDOK;
    };
    std::strcpy(name, "ASKED");
    EXPECT_EQ(dbfLookup(kLookupAsk, name, record), a);
    EXPECT_STREQ(name, "KERB1");
    ui.dialogs["Point Entry"] = [](void* r) {
        auto* entry = static_cast<POINTENTRY*>(r);
        entry->point.y = 77;
        entry->point.x = 88;
        return IDOK;
    };
    std::strcpy(name, "ASKED");
    const unsigned entered = dbfLookup(kLookupAsk, name, record);
    ASSERT_NE(entered, 0u);
    EXPECT_DOUBLE_EQ(grab(entered).y, 77.0);
    ui.dialogs["Point Entry"] = [](void*) { return IDCANCEL; };
    std::strcpy(name, "NOBODY");
    EXPECT_EQ(dbfLookup(kLookupAsk, name, record), 0u);
}

TEST_F(QueryTest, PointEntryKeepsFinerValuesTheUserLeftAlone) {
    SURVCOORD record;
    dbfPackStruct("P1", 100.00041, 200.00049, 1.0, 1, record);
    record.lines[0] = 5;
    ui.dialogs["Point Entry"] = [](void* r) {
        auto* entry = static_cast<POINTENTRY*>(r);
        entry->point.y = 100.0;     // as shown, to the millimetre
        entry->point.x = 250.0;     // changed
        entry->point.z = 9.0;
        std::strcpy(entry->point.name, "P2");
        return IDOK;
    };
    EXPECT_EQ(dbfEnterCoord(record, 0), 1);
    EXPECT_STREQ(record.name, "P2");
    EXPECT_EQ(nums(record.y, record.x, record.z, record.lines[0]), nums(100.00041, 250.0, 9.0, 0)) << "the record is rebuilt";

    ui.dialogs["Point Entry"] = [](void* r) {
        static_cast<POINTENTRY*>(r)->point.z = -1;
        return IDCANCEL;
    };
    EXPECT_EQ(dbfEnterCoord(record, 0), 0);
    EXPECT_DOUBLE_EQ(record.z, 9.0);
}

}  // namespace
