// Project file names by kind, the work folder, road numbers, work file names, and lock files
// from this machine, another machine and with serial "0".
#include <cstdio>

#include "common/library_fixture.h"
#include "platform/os.h"

namespace {

std::string fileName(const char* extension, unsigned kind, int inWork = 0) {
    char buffer[MAX_PATH] = "unchanged";
    dbfFileName(buffer, extension, kind, inWork);
    return buffer;
}

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

}  // namespace

using FileNameTest = LibraryTest;

TEST_F(FileNameTest, KindsBuildNamesBesideTheProject) {
    coreSetJobDefaultInt("Global", "RoadId", 7);
    const std::tuple<const char*, unsigned, const char*> cases[] = {
        {"dtm", kFileProject, ".dtm"},           {"grd", kFileProjectAlt, ".grd"}, {"Main", kFileRoadSec, ".Main.sec"},
        {"Main", kFileRoadDes, ".Main.des"},     {"Main", kFileRoadStr, ".Main.str"}, {"des", kFileRoad, ".7.des"}};
    for (const auto& [extension, kind, name] : cases) EXPECT_EQ(fileName(extension, kind), file("Site") + name) << kind;
    // An unknown kind says so and leaves the buffer.
    EXPECT_EQ(fileName("dtm", 3), "unchanged");
    EXPECT_TRUE(ui.showed("Illegal file open"));
}

TEST_F(FileNameTest, OutOfRangeRoadNumbersAreWrittenBackAsOne) {
    const std::string base = file("Site");
    for (int bad : {0, -4, 101}) {
        coreSetJobDefaultInt("Global", "RoadId", bad);
        EXPECT_EQ(fileName("sec", kFileRoad), base + ".1.sec") << bad;
        EXPECT_EQ(coreGetJobDefaultInt("Global", "RoadId", -99), 1) << bad;
    }
    coreSetJobDefaultInt("Global", "RoadId", 100);   // the last valid road
    EXPECT_EQ(fileName("sec", kFileRoad), base + ".100.sec");
}

TEST_F(FileNameTest, WorkFolderTakesTheProjectNameWhateverItsFolder) {
    coreSetJobDefault("Global", "Merolind", "/somewhere/else.d/Job.prj");
    EXPECT_EQ(fileName("dtm", kFileProject, 1), "/somewhere/else.d/Job.dtm");   // no work folder
    coreSetVirtualPath(file("work").c_str());   // no trailing separator
    EXPECT_EQ(fileName("dtm", kFileProject, 1), file("work") + "/Job.dtm");
    EXPECT_EQ(fileName("dtm", kFileProject, 0), "/somewhere/else.d/Job.dtm");
    coreSetVirtualPath((file("work") + "/").c_str());
    EXPECT_EQ(fileName("Main", kFileRoadSec, 1), file("work") + "/Job.Main.sec");
}

TEST_F(FileNameTest, ProjectWithoutExtensionKeepsDottedFolders) {
    coreSetJobDefault("Global", "Merolind", "/data/v1.2/Job");
    EXPECT_EQ(fileName("dtm", kFileProject), "/data/v1.2/Job.dtm");
    coreSetJobDefault("Global", "Merolind", "/data/v1.2/Job.prj");
    EXPECT_EQ(fileName("Main", kFileRoadSec), "/data/v1.2/Job.Main.sec");
}

TEST_F(FileNameTest, WorkFileNamesByKind) {
    dbfSetWorkFileName(kWorkTerrain, "/w/terrain.$dt");
    dbfSetWorkFileName(kWorkRoad, "/w/road.$se");
    dbfSetWorkFileName(kWorkRoad2, "/w/road.$st");
    dbfSetWorkFileName(99, "/w/ignored");
    auto work = [](int kind) {
        char buffer[MAX_PATH] = "x";
        dbfWorkFileName(buffer, kind);
        return std::string(buffer);
    };
    EXPECT_EQ(work(kWorkTerrain) + "|" + work(kWorkRoad) + "|" + work(kWorkRoad2) + "|" + work(2), "/w/terrain.$dt|/w/road.$se|/w/road.$st|");

    // Start-up empties them.
    unInitDbfAPI();
    initDbfAPI(&frame, &cad, nullptr);
    EXPECT_EQ(work(kWorkTerrain), "");
}

class LockTest : public LibraryTest {
protected:
    std::string data, lock, me, mark;
    void SetUp() override {
        LibraryTest::SetUp();
        data = file("Site.dtm");
        lock = file("Site.tlk");
        me = osOwnerName().empty() ? "Unknown User" : osOwnerName();
        mark = hex(osMachineMark());
    }
};

TEST_F(LockTest, FreeFileIsLockedWithOwnerAndMachine) {
    ui.clear();
    EXPECT_EQ(dbfCheckLockStatus(data.c_str(), "tlk"), 1);
    EXPECT_EQ(dbtest::readFile(lock), me + "," + mark);
    // Taken over from this machine, even under another owner's name.
    dbtest::writeFile(lock, "Somebody Else," + mark + "\n");
    EXPECT_EQ(dbfCheckLockStatus(data.c_str(), "tlk"), 1);
    EXPECT_EQ(dbtest::readFile(lock), me + "," + mark);
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(LockTest, AnotherMachineBlocksTheFile) {
    const std::string other = hex(osMachineMark() ^ 0x5A5Au);
    dbtest::writeFile(lock, "Colleague," + other + "\n");
    EXPECT_EQ(dbfCheckLockStatus(data.c_str(), "tlk"), 0);
    EXPECT_TRUE(ui.showed("Data file " + data + "\nis marked as read-only.\nIn use by Colleague"));
    EXPECT_EQ(dbtest::readFile(lock), "Colleague," + other + "\n");   // left alone

    // A serial that is not a number is no machine of ours either.
    dbtest::writeFile(lock, "Colleague,zz9\n");
    EXPECT_EQ(dbfCheckLockStatus(data.c_str(), "tlk"), 0);
}

TEST_F(LockTest, SerialZeroBlocksOnlyOtherOwners) {
    dbtest::writeFile(lock, "Colleague,0\n");
    EXPECT_EQ(dbfCheckLockStatus(data.c_str(), "tlk"), 0);
    EXPECT_TRUE(ui.showed("In use by Colleague"));

    dbtest::writeFile(lock, me + ",0\n");
    EXPECT_EQ(dbfCheckLockStatus(data.c_str(), "tlk"), 1);
    EXPECT_EQ(dbtest::readFile(lock), me + "," + mark);
}

TEST_F(LockTest, LockThatCannotBeWrittenSaysSo) {
    const std::string missingFolder = file("no/such/folder/Site.dtm");
    EXPECT_EQ(dbfCheckLockStatus(missingFolder.c_str(), "tlk"), 0);
    EXPECT_TRUE(ui.showed("Unable to create lock file"));

    // A lock "file" that is a folder cannot be read.
    std::filesystem::create_directories(file("Dir.tlk"));
    EXPECT_EQ(dbfCheckLockStatus(file("Dir.dtm").c_str(), "tlk"), 0);
}
