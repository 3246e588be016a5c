// Opening and closing a road: the work copies, the recovery and save questions, titles, the
// design settings upgrade and the road flags.
#include "database/frame.h"
#include "road/road_fixture.h"

#include <tuple>

namespace {

class RoadLifeTest : public ClosedRoadTest {
protected:
    std::string sbk() const { return file("Site.1.sbk"); }
    std::string des() const { return file("Site.1.des"); }

    // Makes a saved road with chainages at 10 and 20 (and its strings file).
    void makeSavedRoad() {
        dbfRoadInit(1, 1);
        insert(10.0);
        insert(20.0);
        ui.answers.push_back(IDYES);
        dbfRoadInit(0, 1);
        ASSERT_TRUE(coreFileExist(sec().c_str()));
        ASSERT_TRUE(coreFileExist(str().c_str()));
        ui.clear();
    }
};

TEST_F(RoadLifeTest, NeitherFileCreatesEmptyWorkCopiesAndClosingSavesOnYes) {
    dbfRoadInit(1, 0);
    EXPECT_EQ(dbfRoadIsOpen(), 1);
    EXPECT_TRUE(coreFileExist(rbk().c_str()) && coreFileExist(sbk().c_str()));
    EXPECT_TRUE(ui.shown.empty());
    EXPECT_EQ(workName() + "|" + frame.windowText(), rbk() + "|Plansmith (Active Road: Road1)");
    insert(5.0);
    ui.answers.push_back(IDYES);
    dbfRoadInit(0, 0);
    EXPECT_EQ(dbfRoadIsOpen(), 0);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].caption + ": " + ui.shown[0].text, "Save: Save changes to Road 1");
    EXPECT_EQ(dbtest::readFile(sec()).size(), 2u * 568);
    EXPECT_FALSE(coreFileExist(rbk().c_str()) || coreFileExist(sbk().c_str()));
    EXPECT_EQ(workName() + "|" + frame.windowText(), "|Plansmith");
}

TEST_F(RoadLifeTest, SavedFilesOnlyAreCopiedWithMarksClearedSoCloseAsksNothing) {
    makeSavedRoad();
    EXPECT_EQ(dbtest::readFile(sec())[0], 1);   // saved with its edited mark
    dbfRoadInit(1, 1);
    EXPECT_TRUE(ui.shown.empty());
    EXPECT_EQ(chainages(), (std::vector<double>{10.0, 20.0}));
    dbfRoadClose();
    EXPECT_EQ(dbtest::readFile(rbk())[0], 0);
    EXPECT_EQ(dbfRoadEdit(), 0);
    dbfRoadOpen();
    dbfRoadInit(0, 1);
    EXPECT_TRUE(ui.shown.empty());
    EXPECT_FALSE(coreFileExist(rbk().c_str()));
}

TEST_F(RoadLifeTest, NoToSaveLeavesTheSavedFilesAndDeletesTheWorkCopies) {
    makeSavedRoad();
    const std::string saved = dbtest::readFile(sec());
    dbfRoadInit(1, 1);
    insert(30.0);
    ui.answers.push_back(IDNO);
    dbfRoadInit(0, 1);
    EXPECT_TRUE(ui.showed("Save changes to Road 1"));
    EXPECT_EQ(dbtest::readFile(sec()), saved);
    EXPECT_FALSE(coreFileExist(rbk().c_str()) || coreFileExist(sbk().c_str()));
}

TEST_F(RoadLifeTest, BothFilesAskToRecover) {
    makeSavedRoad();
    // A crash left a work copy with a third chainage.
    dbfRoadInit(1, 1);
    insert(30.0);
    dbfRoadClose();
    roadState().open = false;

    ui.answers.push_back(IDYES);
    dbfRoadInit(1, 1);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(std::tuple(ui.shown[0].caption, ui.shown[0].text, ui.shown[0].style & MB_ICONMASK),
              std::tuple("Existing", "Existing work file found. This occurs if the SEC file was not saved correctly.\n\n"
                                     "Would you like to reuse this file and recover the data?", unsigned(MB_ICONERROR)));
    EXPECT_EQ(chainages(), (std::vector<double>{10.0, 20.0, 30.0}));
    dbfRoadClose();
    EXPECT_EQ(dbfRoadEdit(), 1);   // the recovered copy keeps its mark, so close offers to save
    roadState().open = false;

    ui.clear();
    ui.answers.push_back(IDNO);
    dbfRoadInit(1, 1);
    EXPECT_EQ(chainages(), (std::vector<double>{10.0, 20.0}));
}

TEST_F(RoadLifeTest, WorkCopiesOnlyAskToReuse) {
    dbfRoadInit(1, 1);
    insert(10.0);
    dbfRoadClose();
    roadState().open = false;

    ui.answers.push_back(IDYES);
    dbfRoadInit(1, 1);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(std::tuple(ui.shown[0].text, ui.shown[0].style & MB_ICONMASK),
              std::tuple("Existing work file found. This occurs if the SEC file was not saved correctly.\nWould you like to reuse this file ?",
                        unsigned(MB_ICONQUESTION)));
    EXPECT_EQ(chainages(), (std::vector<double>{10.0}));
    dbfRoadClose();
    roadState().open = false;

    ui.answers.push_back(IDNO);
    dbfRoadInit(1, 1);
    EXPECT_TRUE(chainages().empty());
}

TEST_F(RoadLifeTest, OutOfRangeRoadIsRoadOne) {
    coreSetJobDefaultInt("Global", "RoadId", 101);
    dbfRoadInit(1, 1);
    EXPECT_EQ(coreGetJobDefaultInt("Global", "RoadId", 0), 1);
    EXPECT_TRUE(coreFileExist(rbk().c_str()));
    dbfRoadInit(0, 1);
    coreSetJobDefaultInt("Global", "RoadId", 0);
    coreSetJobDefault("RoadList", "Road1", "Main Street");
    dbfRoadInit(1, 1);
    EXPECT_EQ(coreGetJobDefaultInt("Global", "RoadId", 0), 1);
    EXPECT_EQ(frame.windowText(), "Plansmith (Active Road: Main Street)");
}

TEST_F(RoadLifeTest, SkewFlagsComeFromTheFirstSkewedVisibleChainage) {
    dbfRoadInit(1, 1);
    CHGBASE rec;
    const unsigned idx = dbfInsertChainage(20.0, &rec);
    insert(10.0);
    ASSERT_EQ(dbfGrabChg(idx, &rec), 1);   // the insert of 10 changed its links
    rec.skew = 15;
    dbfStoreChg(idx, &rec);
    ui.answers.push_back(IDYES);
    dbfRoadInit(0, 1);
    dbfRoadSetSkewFlags(0, 1);
    dbfRoadInit(1, 1);
    int a = -1, b = -1;
    dbfRoadGetSkewFlags(a, b);
    EXPECT_EQ(std::pair(a, b), std::pair(1, 0));
}

TEST_F(RoadLifeTest, DesignFileUpgradeNumbersThePipeEntries) {
    // Version 6 leaves the file alone; without the section only the version changes.
    const std::pair<const char*, const char*> cases[] = {
        {"[Global]\nVersion=5\n[PipeLong]\n  A \nB\n[Other]\nx=1\n", "[Global]\nVersion=6.000\n[PipeLong]\nMH1=A\nMH2=B\n\n[Other]\nx=1\n"},
        {"[Global]\nVersion=6\n[PipeLong]\nA\n", "[Global]\nVersion=6\n[PipeLong]\nA\n"},
        {"[Global]\nVersion=2\n", "[Global]\nVersion=6.000\n"}};
    for (const auto& [before, after] : cases) {
        dbtest::writeFile(des(), before);
        dbfRoadInit(1, 1);
        EXPECT_EQ(dbtest::readFile(des()), after);
        dbfRoadInit(0, 1);
    }
    EXPECT_FALSE(coreFileExist(file("Site.1.bak").c_str()));
}

TEST_F(RoadLifeTest, FlagsAndProcessList) {
    EXPECT_EQ(dbfRoadChangeOrExit(), 1);
    EXPECT_EQ(dbfRoadGetChangeFlag(), 1);
    dbfRoadSetBusyFlag(1);
    EXPECT_EQ(dbfRoadChangeOrExit(), 0);
    EXPECT_TRUE(ui.showed("A previous function is still in progress"));
    dbfRoadSetBusyFlag(0);
    dbfRoadSetWizardFlag(3);
    EXPECT_EQ(dbfRoadGetWizardFlag(), 3);
    coreSetJobDefault("Roads", "AutoList", "1,0,1");
    EXPECT_EQ(std::tuple(dbfRoadIsProcessDone(0), dbfRoadIsProcessDone(1), dbfRoadIsProcessDone(5)), std::tuple(0, 1, 1));
}

TEST_F(RoadLifeTest, UnopenableWorkFileStillMarksTheRoadOpen) {
    coreSetVirtualPath(file("no/such/folder").c_str());
    dbfRoadInit(1, 1);
    EXPECT_EQ(dbfRoadIsOpen(), 1);
    EXPECT_EQ(insert(1.0), 0u);
    XSECTION xs{};
    EXPECT_EQ(dbfStoreSect(1.0, 1, &xs), 0);
    coreSetVirtualPath("");
}

}  // namespace
