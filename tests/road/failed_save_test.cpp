// A road save that fails at the close: said with the file and the reason, the saved files as
// they were, the work copies kept, and the next open offers them back.
#include <cstring>

#include "common/file_faults.h"
#include "database/frame.h"
#include "road/road_fixture.h"

using RoadSaveTest = ClosedRoadTest;

TEST_F(RoadSaveTest, AFailedSaveKeepsTheSavedFilesAndOffersTheWorkCopyBack) {
    dbfRoadInit(1, 1);
    insert(10.0);
    ui.answers = {IDYES};
    dbfRoadInit(0, 1);

    const struct {
        const char* what;
        dbtest::FaultPlan plan;
        std::string failedFile;
        int error;
        bool roadSaved;   // the road went through and only its strings file failed
    } cases[] = {
        {"read-only road file", dbtest::FileFault::readOnly("Site.1.sec"), sec(), EACCES, false},
        {"full disk", dbtest::FileFault::fullDisk("Site.1.sec", 0), sec(), ENOSPC, false},
        {"full disk after one record", dbtest::FileFault::fullDisk("Site.1.sec", 568), sec(), ENOSPC, false},
        {"read-only strings file", dbtest::FileFault::readOnly("Site.1.str"), str(), EACCES, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::uint64_t road = dbtest::fileHash(sec()), strings = dbtest::fileHash(str());
        dbfRoadInit(1, 1);
        insert(30.0);
        ui.clear();
        ui.answers = {IDYES};
        {
            dbtest::FileFault fault(c.plan);
            dbfRoadInit(0, 1);
        }
        EXPECT_TRUE(ui.showed("Unable to save " + c.failedFile + ": " + std::strerror(c.error)));
        EXPECT_EQ(dbtest::fileHash(sec()) == road, !c.roadSaved);
        EXPECT_EQ(dbtest::fileHash(str()), strings);
        EXPECT_EQ(dbfRoadIsOpen(), 0);
        EXPECT_TRUE(coreFileExist(rbk().c_str()));

        ui.clear();
        ui.answers = {IDYES};   // reuse the work copy
        dbfRoadInit(1, 1);
        EXPECT_TRUE(ui.showed("Existing work file found."));
        EXPECT_EQ(chainages(), (std::vector<double>{10.0, 30.0}));
        ui.answers = {IDNO};
        dbfRoadInit(0, 1);
        EXPECT_FALSE(coreFileExist(rbk().c_str()));
    }
}
