// Damaged road files, failed writes and reals that are no numbers: every case gives its message
// and its failure result, and the file keeps its bytes.
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <random>

#include "common/file_faults.h"
#include "database/strings.h"
#include "road/road_fixture.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::size_t kRec = kRoadRecordBytes;

// Little-endian fields of a road file held as bytes.
template <typename T>
void put(std::string& b, std::size_t offset, T value) {
    std::memcpy(b.data() + offset, &value, sizeof value);
}
template <typename T>
T get(const std::string& b, std::size_t offset) {
    T value{};
    std::memcpy(&value, b.data() + offset, sizeof value);
    return value;
}

std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string out(n, '\0');
    for (char& c : out) c = static_cast<char>(gen() & 0xFF);
    return out;
}

class DamagedRoadTest : public RoadTest {
protected:
    std::string good;   // the road 0, 50, 100 with sections on 50, as the library wrote it
    std::string path;   // where each damaged copy goes
    unsigned first = 0, second = 0, third = 0;   // the chainage records in list order
    unsigned layer = 0;                          // the layer record of 50

    void SetUp() override {
        RoadTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        insert(0.0);
        XSECTION xs = section(9);
        ASSERT_EQ(dbfStoreSect(50.0, 1, &xs), 1);
        insert(100.0);
        double chg = 0.0;
        first = dbfFindChainage(chg, 1);   // the cursor rests on the first chainage
        second = dbfNextChainage(chg, 1);
        third = dbfNextChainage(chg, 1);
        chg = 0.0;
        dbfFindChainage(chg, 1);
        CHGBASE rec;
        ASSERT_EQ(dbfGrabChg(second, &rec), 1);
        layer = rec.layers[0];
        ASSERT_EQ(dbfRoadClose(), 0);
        good = dbtest::readFile(workName());
        ASSERT_EQ(good.size(), 7 * kRec);   // header, 3 chainages, a layer and its 2 section pieces
        path = file("damaged.sec");
    }

    // Opens the bytes as the road file; the result of the open.
    int openBytes(const std::string& bytes) {
        dbtest::writeFile(path, bytes);
        ui.clear();
        return dbfRoadOpenFile(path.c_str());
    }
};

TEST_F(DamagedRoadTest, RefusedWhenOpened) {
    const std::size_t current = 9, count = 13;
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        const char* message;
    };
    const Case cases[] = {
        {"empty", [](std::string& b) { b.clear(); }, kRoadHeaderCorrupt},
        {"cut inside the header", [](std::string& b) { b.resize(300); }, kRoadHeaderCorrupt},
        {"cut inside a record", [](std::string& b) { b.resize(b.size() - 100); }, kRoadHeaderCorrupt},
        {"a record short", [](std::string& b) { b.resize(b.size() - kRec); }, kRoadHeaderCorrupt},
        {"count 4294967295", [&](std::string& b) { put<DWORD>(b, count, 0xFFFFFFFFu); }, kRoadHeaderCorrupt},
        {"count 0", [&](std::string& b) { put<DWORD>(b, count, 0); }, kRoadHeaderCorrupt},
        {"cursor at the count", [&](std::string& b) { put<DWORD>(b, current, 7); }, kRoadHeaderCorrupt},
        {"random header bytes",
         [](std::string& b) { b.replace(1, 17, randomBytes(17, 7)); }, kRoadHeaderCorrupt},
        {"last chainage NaN", [](std::string& b) { put<double>(b, 1, kNaN); }, kRoadHeaderCorrupt},
        {"cursor on a layer record", [&](std::string& b) { put<DWORD>(b, current, layer); }, kRoadDataCorrupt},
        {"cursor's next beyond the count", [&](std::string& b) { put<DWORD>(b, first * kRec + 13, 99); },
         kRoadDataCorrupt},
        {"cursor's record links to itself", [&](std::string& b) { put<DWORD>(b, first * kRec + 13, first); },
         kRoadDataCorrupt},
        {"cursor's chainage infinite", [&](std::string& b) { put<double>(b, first * kRec + 1, kInf); },
         kRoadDataCorrupt},
        {"random cursor record", [&](std::string& b) { b.replace(first * kRec, kRec, randomBytes(kRec, 3)); },
         kRoadDataCorrupt},
        // Damage further in is found by the one pass of the open over every record.
        {"a loop of the chain", [&](std::string& b) { put<DWORD>(b, third * kRec + 13, first); }, kRoadDataCorrupt},
        {"a loop of two", [&](std::string& b) { put<DWORD>(b, second * kRec + 13, first); }, kRoadDataCorrupt},
        {"a chainage out of order", [&](std::string& b) { put<double>(b, third * kRec + 1, 25.0); }, kRoadDataCorrupt},
        {"a chainage leading to a layer record", [&](std::string& b) { put<DWORD>(b, second * kRec + 13, layer); },
         kRoadDataCorrupt},
        {"random bytes in a section piece",
         [&](std::string& b) { b.replace((layer + 1) * kRec, kRec, randomBytes(kRec, 9)); }, kRoadDataCorrupt},
        {"a layer owned by nobody", [&](std::string& b) { put<DWORD>(b, second * kRec + 30, 0); }, kRoadDataCorrupt},
        {"a layer named twice", [&](std::string& b) { put<DWORD>(b, third * kRec + 30, layer); }, kRoadDataCorrupt},
        {"a record of no known type", [&](std::string& b) { put<BYTE>(b, layer * kRec, 9); }, kRoadDataCorrupt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good;
        c.damage(bytes);
        EXPECT_EQ(openBytes(bytes), 0);
        EXPECT_TRUE(ui.showed(c.message) && roadState().stream == nullptr);
        for (long rc : {long(dbfInsertChainage(25.0, nullptr)), long(dbfRoadClose())}) EXPECT_EQ(rc, 0);
        EXPECT_EQ(dbtest::readFile(path), bytes);
    }
}

// A file a record longer than its count is what a failed shrink leaves: it opens, and the
// record beyond the count is not read.
TEST_F(DamagedRoadTest, FileLongerThanItsCountOpens) {
    std::string bytes = good + std::string(kRec, '\x7f');
    ASSERT_EQ(openBytes(bytes), 1);
    EXPECT_TRUE(ui.shown.empty());
    CHGBASE rec;
    EXPECT_NE(dbfInsertChainage(25.0, &rec), 0u);
    for (int rc : {dbfRoadFileFailed(), dbfRoadClose()}) EXPECT_EQ(rc, 0);
}

TEST_F(DamagedRoadTest, DamageMadeWhileOpenIsFoundByTheWalksAndFreezesTheFile) {
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
    };
    const Case cases[] = {
        // The last chainage leads back to the first: a loop of three records.
        {"a loop of the chain", [&](std::string& b) { put<DWORD>(b, third * kRec + 13, first); }},
        {"a link beyond the count", [&](std::string& b) { put<DWORD>(b, second * kRec + 13, 7777); }},
        {"random bytes in a chainage", [&](std::string& b) { b.replace(second * kRec, kRec, randomBytes(kRec, 5)); }},
        {"a chainage leading to a layer record", [&](std::string& b) { put<DWORD>(b, second * kRec + 13, layer); }},
        {"a chainage out of order", [&](std::string& b) { put<double>(b, third * kRec + 1, 25.0); }},
        {"a loop of two", [&](std::string& b) { put<DWORD>(b, second * kRec + 13, first); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good;
        c.damage(bytes);
        // The records change after the checks of the open (written through the road's own
        // stream, so that its buffer sees them).
        ASSERT_EQ(openBytes(good), 1);
        FILE* f = roadState().stream;
        ASSERT_TRUE(coreFileSetPointer(0, 0, f) && coreFileBinWrite(bytes.data(), bytes.size(), f) && coreFileFlush(f));
        // Stepping one chainage at a time, as a caller lists the road, ends at the damage.
        EXPECT_LE(chainages().size(), 3u);
        EXPECT_TRUE(ui.showed(kRoadDataCorrupt));
        double chg = 1000.0;
        EXPECT_EQ(dbfFindChainage(chg, 1), 0u);
        EXPECT_EQ(chg, kChgNotFound);
        EXPECT_TRUE(ui.showed(kRoadDataCorrupt));
        EXPECT_EQ(dbfRoadFileFailed(), 1);
        ui.clear();
        for (long rc : {long(dbfInsertChainage(25.0, nullptr)), long(dbfDelChainage(0.0))}) EXPECT_EQ(rc, 0);
        EXPECT_TRUE(ui.showed("was found damaged or could not be written: it is left as it is"));
        EXPECT_EQ(dbfRoadClose(), 0);   // the header copy is not written back either
        EXPECT_EQ(dbtest::readFile(path), bytes);
    }
}

// The file fuzzing found: three records, a header that claims 4,294,967,295 of them, and two
// chainages that link to each other. The search walked the loop up to the claimed count.
TEST_F(DamagedRoadTest, TwoChainagesInALoopUnderAHugeCount) {
    std::string bytes(3 * kRec, '\0');
    put<DWORD>(bytes, 9, 1);             // the cursor
    put<DWORD>(bytes, 13, 0xFFFFFFFFu);  // the count
    for (unsigned idx : {1u, 2u}) {
        put<BYTE>(bytes, idx * kRec, kRecChainage);
        put<double>(bytes, idx * kRec + 1, idx * 10.0);
        put<DWORD>(bytes, idx * kRec + 9, 3 - idx);
        put<DWORD>(bytes, idx * kRec + 13, 3 - idx);
        put<BYTE>(bytes, idx * kRec + 558, 1);   // hidden: the steppers skip round the loop too
    }
    EXPECT_EQ(openBytes(bytes), 0);
    EXPECT_TRUE(ui.showed(kRoadHeaderCorrupt));
    EXPECT_EQ(dbtest::readFile(path), bytes);

    // The view functions read the file as it is: bounded by its length, they end at once.
    SECHEAD head;
    FILE* f = viewRoadOpenFile(path.c_str(), head);
    ASSERT_NE(f, nullptr);
    double chg = 35.0;
    viewFindChainage(chg, 1, f, head);
    chg = 35.0;
    for (unsigned idx : {viewFindChainage(chg, 0, f, head), viewNextChainage(chg, 0, f, head), viewPrevChainage(chg, 0, f, head)})
        EXPECT_EQ(idx, 0u);
    viewRoadClose(f);

    // With a true count the loop itself is refused.
    put<DWORD>(bytes, 13, 3);
    EXPECT_EQ(openBytes(bytes), 0);
    EXPECT_TRUE(ui.showed(kRoadDataCorrupt));
    EXPECT_EQ(dbtest::readFile(path), bytes);
}

TEST_F(DamagedRoadTest, ARefusedRoadHasNoFileAndItsSavedFileIsUntouched) {
    char saved[MAX_PATH];
    dbfFileName(saved, "sec", kFileRoad, 0);
    ui.answers.push_back(IDNO);   // "Save changes to Road 1"
    dbfRoadInit(0, 1);
    std::string bytes = good;
    put<DWORD>(bytes, 13, 0xFFFFFFFFu);
    dbtest::writeFile(saved, bytes);
    ui.clear();
    dbfRoadInit(1, 1);
    EXPECT_TRUE(ui.showed(kRoadHeaderCorrupt));
    EXPECT_EQ(dbfRoadFileFailed(), 1);
    EXPECT_TRUE(roadState().stream == nullptr && dbfStringFile() == nullptr);
    XSECTION xs = section(4);
    for (long rc : {long(dbfInsertChainage(25.0, nullptr)), long(dbfStoreSect(25.0, 1, &xs))}) EXPECT_EQ(rc, 0);
    dbfRoadInit(0, 1);
    EXPECT_EQ(ui.unexpected, 0);   // nothing was offered for saving
    EXPECT_EQ(dbtest::readFile(saved), bytes);
}

// ---------------------------------------------------------------------------------------------
// Failed writes

class FailedRoadWriteTest : public RoadTest {};

TEST_F(FailedRoadWriteTest, AFailedWriteIsSaidAndFreezesTheFile) {
    insert({0.0, 50.0, 100.0});
    dbfRoadClose();   // the header copy reaches the file
    const std::string before = dbtest::readFile(workName());
    struct Case {
        const char* what;
        const char* device;   // the handle the writes go to
        int error;
    };
    const Case cases[] = {
        {"read-only handle", nullptr, EBADF},
        {"full disk", "/dev/full", ENOSPC},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.device && !std::filesystem::exists(c.device)) continue;
        ASSERT_EQ(dbfRoadOpenFile(workName().c_str()), 1);
        FILE* writable = roadState().stream;
        roadState().stream = c.device ? std::fopen(c.device, "r+b") : coreFileOpen(workName().c_str(), "rb");
        ASSERT_NE(roadState().stream, nullptr);
        ui.clear();
        // Appending at the end touches nothing before the write fails.
        roadState().head.current = 0;
        EXPECT_EQ(dbfInsertChainage(75.0, nullptr), 0u);
        const std::string expected = "Unable to write to the road file " + workName() + "\n" + std::strerror(c.error);
        EXPECT_TRUE(ui.showed(expected)) << (ui.last() ? ui.last()->text : "");
        EXPECT_EQ(std::pair(dbfRoadFileFailed(), +roadState().head.recordCount), std::pair(1, 4u));
        EXPECT_EQ(dbfDelChainage(50.0), 0);
        EXPECT_TRUE(ui.showed("it is left as it is"));
        std::fclose(roadState().stream);
        roadState().stream = writable;
        EXPECT_EQ(dbfRoadClose(), 0);
        EXPECT_EQ(dbtest::readFile(workName()), before);
    }
}

// A cross-section store writes its records when the call ends, the appended ones first: a
// write that fails there is said before the call returns, freezes the file, puts the header
// copy back as the call found it, and leaves the records the file counts as they were.
TEST_F(FailedRoadWriteTest, AFailedStoreLeavesTheCountedRecordsAsTheyWere) {
    insert({0.0, 100.0});
    dbfRoadClose();
    const std::string before = dbtest::readFile(workName());
    for (std::int64_t room : {std::int64_t(0), std::int64_t(1000)}) {
        SCOPED_TRACE(room);
        dbtest::writeFile(workName(), before);
        ASSERT_EQ(dbfRoadOpenFile(workName().c_str()), 1);
        const SECHEAD head = roadState().head;
        ui.clear();
        XSECTION xs = section(40);
        {
            dbtest::FileFault disk(dbtest::FileFault::fullDisk(".rbk", room));
            EXPECT_EQ(dbfStoreSect(50.0, 1, &xs), 0);
        }
        EXPECT_TRUE(ui.showed("Unable to write to the road file " + workName() + "\n" + std::strerror(ENOSPC)));
        EXPECT_EQ(std::pair(dbfRoadFileFailed(), std::memcmp(&roadState().head, &head, sizeof head)), std::pair(1, 0));
        EXPECT_EQ(dbfRoadClose(), 0);
        EXPECT_EQ(dbtest::readFile(workName()).substr(0, before.size()), before);
    }
}

// ---------------------------------------------------------------------------------------------
// Reals that are no numbers

TEST_F(RoadTest, RealsThatAreNoNumbersAreRefused) {
    insert({0.0, 50.0, 100.0});
    XSECTION xs = section(8);
    ASSERT_EQ(dbfStoreSect(50.0, 1, &xs), 1);
    const std::string before = bytes();
    struct Case {
        const char* what;
        std::function<int()> call;
        const char* message;
    };
    XSECTION nanPoint = section(8), hugePoint = section(8), nanId = section(8);
    nanPoint.points[3].elevation = kNaN;
    hugePoint.points[5].offset = 1e300;   // a single cannot hold it
    nanId.points[0].idNo = -kInf;
    LAYBASE lay{};
    CHGDATA extra{};
    const Case cases[] = {
        {"insert nan", [] { return static_cast<int>(dbfInsertChainage(kNaN, nullptr)); }, "Chainage nan is not a finite number"},
        {"insert inf", [] { return static_cast<int>(dbfInsertChainage(kInf, nullptr)); }, "Chainage inf is not a finite number"},
        {"delete nan", [] { return dbfDelChainage(kNaN); }, "Chainage nan is not a finite number"},
        {"delete -inf", [] { return dbfDelChainage(-kInf); }, "Chainage -inf is not a finite number"},
        {"find nan",
         [] {
             double chg = kNaN;
             const unsigned idx = dbfFindChainage(chg, 1);
             return idx != 0 || chg != kChgNotFound ? 1 : 0;
         },
         "Chainage nan is not a finite number"},
        {"store a chainage at nan",
         [] {
             CHGBASE rec;
             dbfGrabChg(roadState().head.current, &rec);
             rec.x = kNaN;
             return dbfStoreChg(roadState().head.current, &rec);
         },
         "Position x nan is not a finite number"},
        {"section point nan", [&] { return dbfStoreSect(50.0, 1, &nanPoint); }, "Point 4 of the cross-section at chainage 50.000: nan"},
        {"section point 1e300", [&] { return dbfStoreSect(50.0, 1, &hugePoint); }, "Point 6 of the cross-section at chainage 50.000: 1e+300"},
        {"section identity -inf", [&] { return dbfStoreSect(50.0, 1, &nanId); }, "Point 1 of the cross-section at chainage 50.000: -inf"},
        {"section at nan", [&] { return dbfStoreSect(kNaN, 1, &xs); }, "Chainage nan is not a finite number"},
        {"grab section at nan", [&] { return dbfGrabSect(kNaN, 1, &xs); }, "Chainage nan is not a finite number"},
        {"grab layer at nan", [&] { return dbfGrabLayer(kNaN, 1, &lay); }, "Chainage nan is not a finite number"},
        {"store extra at inf", [&] { return dbfStoreExtra(kInf, &extra); }, "Chainage inf is not a finite number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ui.clear();
        EXPECT_EQ(c.call(), 0);
        EXPECT_TRUE(ui.showed(c.message)) << (ui.last() ? ui.last()->text : "");
        EXPECT_EQ(bytes(), before);
    }
    EXPECT_EQ(chainages(), (std::vector<double>{0.0, 50.0, 100.0}));
    EXPECT_EQ(dbfRoadFileFailed(), 0);   // refused input does not freeze the file

    // A name for a chainage that is no number is empty; equations pass it through.
    CHGBASE odd{};
    odd.chainage = kNaN;
    char name[32] = "x";
    dbfChgName(name, sizeof name, odd, 0, 3, CString("+"), 1);
    EXPECT_STREQ(name, "");
    EXPECT_TRUE(std::isnan(dbfChgEquation(kNaN)));
}

TEST_F(RoadTest, EquationsThatAreNoNumbersAreSkipped) {
    INI_LIST* des = dbfGetDesFile();
    des->AddLine("LongShort", "nan,200,5");
    des->AddLine("LongShort", "100,200,5");
    dbfRoadLoadEquations();
    EXPECT_TRUE(ui.showed("The chainage equation \"nan,200,5\" of the design settings is not made of numbers"));
    EXPECT_DOUBLE_EQ(dbfChgEquation(150.0), 155.0);
}

}  // namespace
