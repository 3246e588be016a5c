// A save of a network table that fails: said with the file and the reason, the saved table as
// it was, the work files kept, and the next open recovers the changes from them.
#include <cstring>
#include <filesystem>

#include "common/file_faults.h"
#include "network/network_test_util.h"

namespace fs = std::filesystem;

TEST_F(NetworkTest, AFailedSaveLeavesTheSavedTableAndRecoversFromTheWorkFiles) {
    saveSewer({"SAVED"});

    const std::string saved = sewerPath(), work = file("Site.SET");
    const std::string savedBytes = dbtest::readFile(saved);
    const struct {
        const char* what;
        dbtest::FaultPlan plan;
        std::string failedFile;
        int error;
    } cases[] = {
        {"read-only saved table", dbtest::FileFault::readOnly("Site.sew"), saved, EACCES},
        {"full disk for the saved table", dbtest::FileFault::fullDisk("Site.sew", 0), saved, ENOSPC},
        {"full disk half way through it", dbtest::FileFault::fullDisk("Site.sew", 100), saved, ENOSPC},
        {"full disk for the work table", dbtest::FileFault::fullDisk("Site.SET", 0), work, ENOSPC},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::uint64_t before = dbtest::fileHash(saved);
        ASSERT_NE(openSewer(), nullptr);
        ui.clear();
        {
            dbtest::FileFault fault(c.plan);
            append(dbfState().sewerTable, [&](DATA4* d) { nettest::set(d, "NODE", "NEW"); });
            EXPECT_EQ(dbfSewerSaveFile(), nullptr);
        }
        EXPECT_TRUE(ui.showed("Unable to save " + c.failedFile + ": " + std::strerror(c.error)));
        EXPECT_EQ(dbtest::fileHash(saved), before);
        EXPECT_FALSE(dbfSewerIsOpen());
        EXPECT_TRUE(fs::exists(work)) << "the work table stays for recovery";

        // A failed work table lost its last record; a failed copy-back lost nothing.
        ui.answers = {IDYES};
        ASSERT_NE(openSewer(), nullptr);
        const auto nodes = nettest::columnOf(work, "NODE");
        EXPECT_EQ(nodes.back(), c.failedFile == work ? "SAVED" : "NEW");
        ASSERT_NE(dbfSewerSaveFile(), nullptr);
        EXPECT_EQ(nettest::columnOf(saved, "NODE"), nodes);
        // Back to the one record for the next case.
        dbfSewerCloseFile(false);
        dbtest::writeFile(saved, savedBytes);
    }
}

TEST_F(NetworkTest, AWorkCopyThatCannotBeMadeFailsTheOpenAndLeavesNoWorkFiles) {
    saveSewer({});
    const std::uint64_t before = dbtest::fileHash(sewerPath());
    for (const char* work : {"Site.SET", "Site.SEI"}) {   // the table, then its settings
        SCOPED_TRACE(work);
        ui.clear();
        {
            dbtest::FileFault fault(dbtest::FileFault::fullDisk(work, 0));
            EXPECT_EQ(openSewer(), nullptr);
        }
        EXPECT_TRUE(ui.showed("Unable to create " + file(work) + ": " + std::strerror(ENOSPC)));
        EXPECT_TRUE(ui.showed("Unable to open sewer data file"));
        EXPECT_FALSE(dbfSewerIsOpen());
        EXPECT_FALSE(fs::exists(file("Site.SET")));
        EXPECT_EQ(dbtest::fileHash(sewerPath()), before);
    }
}
