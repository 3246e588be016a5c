// Damaged terrain files: each is refused at the open with its message and leaves the file byte
// for byte as it was; a query never writes; a failed write is reported at the close; reals that
// are not numbers are refused where they come in.
#include <functional>
#include <random>

#include "common/file_faults.h"
#include "terrain_fixture.h"

namespace {

// Cell A holds 501 points (buckets 1 -> 2), cell B one point (bucket 3); block 4 is blank.
constexpr std::size_t kBlock = kDtmBlockLength;
constexpr std::size_t kNext = 4, kPrevious = 8, kCount = 12;

void put32(std::string& f, std::size_t offset, DWORD value) { std::memcpy(f.data() + offset, &value, sizeof value); }
void put16(std::string& f, std::size_t offset, WORD value) { std::memcpy(f.data() + offset, &value, sizeof value); }
void putReal(std::string& f, std::size_t offset, double value) { std::memcpy(f.data() + offset, &value, sizeof value); }
void scramble(std::string& f, std::size_t offset, std::size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    for (std::size_t i = 0; i < count && offset + i < f.size(); ++i) f[offset + i] = static_cast<char>(rng());
}

struct Damage {
    const char* what;
    std::function<void(std::string&)> apply;
    const char* message;   // a fragment of the message shown; one from "is damaged" on follows the file's name
    bool userException;    // a damaged block list ends the command
    const char* also = ""; // a second message shown
};

constexpr std::size_t kPointB = 3 * kBlock + 16;   // the only point of block 3

const Damage kDamages[] = {
    {"cut to 2 bytes", [](std::string& f) { f.resize(2); }, "Terrain file is not a valid DTM file", false},
    {"header cut short", [](std::string& f) { f.resize(200); }, "is damaged: the header is cut short", false},
    {"cut inside block 1", [](std::string& f) { f.resize(100000); }, "shorter than the blocks its header counts", false},
    {"last block cut short", [](std::string& f) { f.resize(f.size() - 1000); }, "shorter than the blocks", false},
    {"random bytes in the header", [](std::string& f) { scramble(f, 40, 60, 7); }, "is damaged: the block length", false},
    {"more used blocks than blocks", [](std::string& f) { put32(f, 56, 4); }, "more used blocks than blocks", false},
    {"no blocks", [](std::string& f) { put32(f, 52, 0); }, "counts no blocks", false},
    {"40 blocks counted", [](std::string& f) { put32(f, 52, 40); }, "shorter than the blocks", false},
    {"24 cells per side", [](std::string& f) { put16(f, 60, 24); }, "not 25 cells per side", false},
    {"block size 0", [](std::string& f) { putReal(f, 40, 0.0); }, "block size is not positive", false},
    {"extent not a number", [](std::string& f) { putReal(f, 24, std::nan("")); }, "extents are not numbers", false},
    {"extents apart from the block size", [](std::string& f) { putReal(f, 32, 1e6); }, "do not match its block size", false},
    {"used block with no points", [](std::string& f) { put16(f, 3 * kBlock + kCount, 0); }, "block 3 counts 0 points", false},
    {"used block over 500", [](std::string& f) { put16(f, kBlock + kCount, 60000); }, "block 1 counts 60000 points", false},
    {"blank block with points", [](std::string& f) { put16(f, 4 * kBlock + kCount, 3); }, "block 4 counts 3 points", false},
    {"bucket out of range", [](std::string& f) { put32(f, kBlock, 99); }, "dbfOpenDbase (1) [Bucket = 98]", true},
    {"blank block without bucket", [](std::string& f) { put32(f, 4 * kBlock, 0); }, "dbfOpenDbase (2) [Bucket = -1]", true},
    // Two chain heads claiming one bucket: the open once never returned.
    {"bucket given twice", [](std::string& f) { put32(f, 3 * kBlock, 1); }, "dbfOpenDbase (3) [Bucket = 0]", true},
    {"link out of range", [](std::string& f) { put32(f, 2 * kBlock + kNext, 77); }, "dbfOpenDbase (4) [Bucket = 76]", true},
    {"link to itself", [](std::string& f) { put32(f, 3 * kBlock + kNext, 3); }, "dbfOpenDbase (4) [Bucket = 2]", true},
    {"loop in a chain", [](std::string& f) { put32(f, 2 * kBlock + kNext, 1); }, "dbfOpenDbase (4) [Bucket = 0]", true},
    {"back link wrong", [](std::string& f) { put32(f, 2 * kBlock + kPrevious, 3); }, "dbfOpenDbase (4) [Bucket = 1]", true},
    {"chain into another cell's", [](std::string& f) { put32(f, 3 * kBlock + kPrevious, 2), put32(f, 2 * kBlock + kNext, 3); },
     "", false},   // a longer chain: sound, opens
    {"blank block linked", [](std::string& f) { put32(f, 4 * kBlock + kNext, 1); }, "dbfOpenDbase (4) [Bucket = 3]", true},
    {"a used block no chain reaches", [](std::string& f) { put32(f, kBlock + kNext, 0); }, "dbfOpenDbase (4) [Bucket = 1]", true},
    // Random bytes over the points of a block pass the checks of the block headers; the open
    // reads every point for the site limits and meets them there.
    {"random bytes over points", [](std::string& f) { scramble(f, kBlock + 2000, 4000, 11); },
     "is damaged: point 14 of block 1: a line comes from a point that cannot exist", true, "Bucket list error in load_bucket (2)"},
    {"name without end", [](std::string& f) { std::memset(f.data() + kPointB, 'N', 17); },
     "is damaged: point 1 of block 3: its name has no end", true, "Bucket list error in load_bucket (2)"},
    {"line to nowhere", [](std::string& f) { put32(f, kPointB + 44, 0xFFFFFFF0u); },
     "is damaged: point 1 of block 3: a line leads to a point that cannot exist", true, "Bucket list error in load_bucket (2)"},
    {"height not a number", [](std::string& f) { putReal(f, kPointB + 33, std::nan("")); },
     "is damaged: point 1 of block 3: its position is not a number", true, "Bucket list error in load_bucket (2)"},
};

class DamagedFileTest : public TerrainTest {
protected:
    std::string sound;
    void SetUp() override {
        TerrainTest::SetUp();
        makeAndOpen();
        for (int i = 0; i < 501; ++i) add("A", cellCentreY(3) + i * 0.01, cellCentreX(4));
        add("B", cellCentreY(20), cellCentreX(20));
        dbfCloseDbase();
        sound = bytes();
        ASSERT_EQ(sound.size(), 5 * kBlock);
    }
};

TEST_F(DamagedFileTest, EachDamageIsRefusedAndLeavesTheFileAsItWas) {
    for (const Damage& d : kDamages) {
        SCOPED_TRACE(d.what);
        std::string damaged = sound;
        d.apply(damaged);
        dbtest::writeFile(dtm, damaged);
        ui.clear();
        if (!*d.message) {
            ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
            EXPECT_EQ(scanAll().size(), 502u);
            dbfCloseDbase();
        } else if (d.userException) {
            EXPECT_THROW(dbfOpenDbase(dtm.c_str(), 0), CUserException);
        } else {
            EXPECT_EQ(dbfOpenDbase(dtm.c_str(), 0), 0);
        }
        if (*d.message) {
            EXPECT_TRUE(ui.showed(d.message)) << (ui.last() ? ui.last()->text : "no message");
            if (std::string(d.message).rfind("is damaged", 0) == 0) {
                EXPECT_TRUE(ui.showed("Terrain file " + dtm + " " + d.message));
            } else if (!d.userException && std::string(d.message).find("is damaged") != std::string::npos) {
                EXPECT_TRUE(ui.showed("Terrain file " + dtm + " is damaged"));
            }
        }
        EXPECT_TRUE(!*d.also || ui.showed(d.also)) << d.also;
        EXPECT_FALSE(dbfBBTreeExists());
        EXPECT_EQ(cad.progress().total, 0);
        EXPECT_TRUE(bytes() == damaged) << "the file was written";
    }
}

// Reading every point, the statistics, the site limits and a name look-up are queries: they
// leave every byte of the file where it was.
TEST_F(DamagedFileTest, QueriesNeverWrite) {
    ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
    EXPECT_EQ(scanAll().size(), 502u);
    DBASESTATS stats{};
    EXPECT_EQ(dbfDbaseStats(stats), 1);
    RRect limits;
    dbfBuckLimit(&limits, 1);
    unsigned n = 0;
    SURVCOORD p;
    char name[] = "B";
    EXPECT_EQ(dbfFindName(name, n, p), 1);
    EXPECT_NE(dbfFindClosest(PNT_3D_record{p.x, p.y, 0.0}, nullptr, 0, 0), 0u);
    EXPECT_EQ(dbfCloseDbase(), 0);
    EXPECT_TRUE(bytes() == sound) << "a query wrote to the file";
}

// A block that cannot be read (a bad sector) ends the operation with the reason, like a damaged
// one (the open reads every point for the site limits): it is never taken for an empty block.
TEST_F(DamagedFileTest, AnUnreadableBlockEndsTheOperationAndLosesNothing) {
    {
        dbtest::FileFault bad(dbtest::FileFault::unreadable("Site.dtm"));
        EXPECT_THROW(dbfOpenDbase(dtm.c_str(), 0), CUserException);
        EXPECT_TRUE(ui.showed("Unable to read block 1 of the terrain file " + dtm + ": Input/output error"));
        EXPECT_TRUE(ui.showed("Bucket list error in load_bucket (2)"));
        EXPECT_FALSE(dbfBBTreeExists());
    }
    EXPECT_TRUE(bytes() == sound) << "the file was written";
    ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
    EXPECT_EQ(scanAll().size(), 502u);
    dbfCloseDbase();
}

// The stream is swapped for one that cannot write: a read-only stream of the same file (the
// write fails at once) or the full device (the disk is full).
TEST_F(DamagedFileTest, AFailedWriteIsStickyAndReportedAtTheClose) {
    struct Failure {
        const char* path;
        const char* mode;
        const char* reason;
    };
    const std::string file = dtm;
    for (const Failure& f : {Failure{file.c_str(), "rb", "Bad file descriptor"},
                             Failure{"/dev/full", "r+b", "No space left on device"}}) {
        SCOPED_TRACE(f.path);
        dbtest::writeFile(dtm, sound);
        ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
        add("C", cellCentreY(3), cellCentreX(4));   // into block 2, dirty in the cache only
        FILE* failing = coreFileOpen(f.path, f.mode);
        if (!failing) {
            dbfCloseDbase();
            continue;
        }
        FILE* own = terrainState().stream;
        std::fflush(own);
        const std::string before = bytes();
        terrainState().stream = failing;
        ui.clear();
        DBASESTATS stats{};
        dbfDbaseStats(stats);   // writes the dirty blocks back, which fails
        ASSERT_NE(dbfTerrainWriteError(), nullptr);
        EXPECT_NE(std::string(dbfTerrainWriteError()).find(f.reason), std::string::npos) << dbfTerrainWriteError();

        // The next change is refused with the message, not lost without a word.
        SURVCOORD p;
        dbfPackStruct("D", 100.0, 100.0, 0.0, 1, p);
        unsigned number = 1;
        EXPECT_EQ(dbfAddCoord(p, number), 0);
        EXPECT_EQ(number, 0u);
        EXPECT_TRUE(ui.showed("Unable to write the terrain file " + dtm + ": " + f.reason));
        ui.clear();
        EXPECT_EQ(dbfCloseDbase(), 0);
        EXPECT_TRUE(ui.showed("Unable to write the terrain file " + dtm + ": " + f.reason));
        EXPECT_NE(dbfTerrainWriteError(), nullptr) << "still known after the close";
        coreFileClose(own);
        EXPECT_TRUE(bytes() == before);
        ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);   // the file is still the sound one
        EXPECT_EQ(dbfTerrainWriteError(), nullptr);
        EXPECT_EQ(dbfApproxPointCount(), 502u);
        dbfCloseDbase();
    }
    if (coreFileExist("/dev/full")) {   // a new file on a full disk
        ui.clear();
        EXPECT_EQ(dbfMakeDbase("/dev/full", 0.0, 0.0, 1000.0), 0);
        EXPECT_TRUE(ui.showed("Unable to write the terrain file /dev/full: No space left on device"));
    }
}

TEST_F(DamagedFileTest, RealsThatAreNotNumbersAreRefused) {
    const double nan = std::nan(""), inf = HUGE_VAL;
    struct Site {
        double y, x, extent;
        const char* message;
    };
    for (const Site& s : {Site{nan, 0, 1000, "centre of the site is not a number"}, Site{0, inf, 1000, "not a number"},
                          Site{0, 0, 0, "extent must be a number greater than 0"}, Site{0, 0, -5, "greater than 0"},
                          Site{0, 0, nan, "greater than 0"}, Site{0, 0, inf, "greater than 0"},
                          Site{0, 0, 1e30, "beyond 10000000000 units"}, Site{9.9e9, 0, 1e9, "beyond"}}) {
        SCOPED_TRACE(s.message);
        const std::string name = file("New.dtm");
        ui.clear();
        EXPECT_EQ(dbfMakeDbase(name.c_str(), s.y, s.x, s.extent), 0);
        EXPECT_TRUE(ui.showed(std::string("Unable to create terrain file ") + name + ": ")) << ui.last()->text;
        EXPECT_TRUE(ui.showed(s.message));
        EXPECT_FALSE(coreFileExist(name.c_str()));
    }

    ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
    for (double bad : {nan, inf, -inf}) {
        unsigned number = 1;
        SURVCOORD p;
        dbfPackStruct("N", 100.0, bad, 0.0, 1, p);
        ui.clear();
        EXPECT_EQ(dbfAddCoord(p, number), 0);
        EXPECT_EQ(number, 0u);
        EXPECT_TRUE(ui.showed("Point N not stored: its coordinates must be numbers"));
        dbfPackStruct("B", 100.0, 100.0, bad, 1, p);
        dbfStoreCoord(p, 501, 0);
        EXPECT_EQ(+grab(501).z, 0.0);
        EXPECT_EQ(dbfFindClosest(PNT_3D_record{bad, 100.0, 0.0}, nullptr, 0, 0), 0u);
        RRect area{bad, 0.0, 0.0, 100.0};
        EXPECT_EQ(dbfStartCoord(p, &area), 0u);
        EXPECT_TRUE(ui.showed("A side of the scan area must be a number"));
    }
    EXPECT_EQ(dbfApproxPointCount(), 502u);
    dbfCloseDbase();
}

// The cache's invariant check (asserted by the cache itself in debug and sanitizer builds) finds
// each kind of broken bookkeeping.
TEST_F(DamagedFileTest, TheInvariantCheckNamesWhatIsBroken) {
    ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
    grab(501);
    TerrainState& t = terrainState();
    EXPECT_EQ(terrainCheckInvariants(), "");
    struct Breakage {
        const char* expected;
        std::function<void(bool)> apply;   // true breaks, false mends
    };
    const unsigned lastSlot = dbfState().cacheSlots;
    const Breakage breakages[] = {
        {"invariant 2", [&](bool on) { t.header.totalBlocks += on ? 1 : -1; }},
        {"invariant 3", [&](bool on) { t.blocks->at(3).fileBlock = on ? 1 : 4; }},
        {"invariant 4", [&](bool on) { t.slotBucket[lastSlot] = on ? 3 : 0; }},
        {"invariant 5", [&](bool on) { slotDescriptor(lastSlot).next = on ? 7 : 0; }},
        {"invariant 6", [&](bool on) { t.clockHand = on ? lastSlot + 1 : 1; }},
        {"invariant 7", [&](bool on) { t.cellHeads[7] = on ? 4 : 0; }},
    };
    for (const Breakage& b : breakages) {
        b.apply(true);
        EXPECT_EQ(terrainCheckInvariants().rfind(b.expected, 0), 0u) << terrainCheckInvariants();
        b.apply(false);
        EXPECT_EQ(terrainCheckInvariants(), "") << b.expected;
    }
    dbfCloseDbase();
}

}  // namespace
