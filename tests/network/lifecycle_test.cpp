// Opening, checking, closing and saving the network tables.
#include <filesystem>

#include "network/network_test_util.h"
#include "common/fixture.h"

namespace fs = std::filesystem;

using nettest::C;

TEST_F(NetworkTest, NewSewerTableIsCreatedWithItsCompanionsAndClosedWithoutTrace) {
    DATA4* data = openSewer();
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(dbfSewerIsOpen() && ui.unexpected == 0);

    // Saved table, index and settings; work table, index and settings beside them (no work
    // folder is set).
    for (const char* name : {"Site.sew", "Site.mdx", "Site.sed", "Site.SET", "Site.SEX", "Site.SEI"})
        EXPECT_TRUE(fs::exists(file(name))) << name;
    ASSERT_NE(dbfSewerGetIniFile(), nullptr);
    EXPECT_EQ(std::string(dbfSewerGetDataFileName()) + "|" + dbfSewerGetHydroFileName() + "|" + dbfSewerGetIniFile()->FileName(),
              sewerPath() + "|" + file("Site.SEH") + "|" + file("Site.SEI"));

    const auto fields = nettest::structureOf(file("Site.SET"));
    ASSERT_EQ(fields.size(), 140u);
    EXPECT_EQ(nettest::describe(fields, {0, 39, 138, 139}), "NODE C 25 0, FIX_SLOPE N 10 6, GEOCODE C 8 0, LOCK_Z L 1 0");
    for (const char* tag : nettest::kSewerTags) EXPECT_NE(d4tag(data, tag), nullptr) << tag;
    EXPECT_EQ(d4tag(data, "SUBCATCH"), nullptr);

    dbfSewerCloseFile(false);
    EXPECT_TRUE(!dbfSewerIsOpen() && ui.unexpected == 0);
    for (const char* name : {"Site.SET", "Site.SEX", "Site.SEI"}) EXPECT_FALSE(fs::exists(file(name))) << name;
    // With no table open the settings come from the defaults beside the library again.
    ASSERT_NE(dbfSewerGetIniFile(), nullptr);
    EXPECT_EQ(std::string(dbfSewerGetIniFile()->FileName()), libFolder + "Sewer.SED");
}

TEST_F(NetworkTest, StormAndErfTablesHaveTheirOwnFilesAndTags) {
    fs::create_directories(file("work"));
    coreSetVirtualPath(file("work").c_str());
    DATA4* storm = openStorm();
    ASSERT_NE(storm, nullptr);
    EXPECT_EQ(nettest::structureOf(file("work/Site.STT")).size(), 192u);
    for (const char* name : {"Site.std", "Site.inp", "work/Site.STX", "work/Site.STI", "work/Site.STS"})
        EXPECT_TRUE(fs::exists(file(name))) << name;
    for (const char* tag : {"SUBCATCH", "LINK_NAME", "NODE_TYPE", "LINKORDER"}) EXPECT_NE(d4tag(storm, tag), nullptr);
    EXPECT_EQ(dbfStormGetSwmmFile() ? dbfStormGetSwmmFile()->FileName() : "", file("work/Site.STS"));

    std::string erfPath = sewerPath();
    DATA4* erf = dbfErfConOpenFile(erfPath.data());
    ASSERT_NE(erf, nullptr);
    for (const char* name : {"Site.ecn", "Site.eix"}) EXPECT_TRUE(fs::exists(file(name))) << name;
    EXPECT_FALSE(fs::exists(file("Site.mdx"))) << "the erf index has its own name";
    EXPECT_EQ(nettest::structureOf(file("work/Site.ECT")).size(), 39u);
    EXPECT_TRUE(d4tag(erf, "ECGEOCODE") != nullptr && dbfErfConGetRecordNextNode(C("X")) == -2);

    dbfStormCloseFile(false);
    dbfErfConCloseFile(false);
    for (const char* name : {"work/Site.STT", "work/Site.ECT"}) EXPECT_FALSE(fs::exists(file(name))) << name;
}

TEST_F(NetworkTest, TableWithMissingAndChangedFieldsIsRebuiltKeepingEveryValue) {
    // SIZE1 narrower than defined, a field of its own, most fields missing, record 2 deleted.
    nettest::writeTable(sewerPath(),
                        {{"NODE", 'C', 25, 0, 0}, {"SIZE1", 'N', 3, 0, 0}, {"MY_NOTE", 'C', 10, 0, 0},
                         {"Z_COORD", 'N', 9, 3, 0}, {"SUBNET", 'C', 4, 0, 0}},
                        3, [](DATA4* d, int i) {
                            nettest::set(d, "NODE", ("MH" + std::to_string(i)).c_str());
                            nettest::set(d, "SIZE1", 100.0 * i);
                            nettest::set(d, "MY_NOTE", i == 3 ? "last" : "note");
                            nettest::set(d, "Z_COORD", 1000.125 + i);
                            nettest::set(d, "SUBNET", "0001");
                            if (i == 2) d4delete(d);
                        });
    ASSERT_NE(openSewer(), nullptr);

    const auto fields = nettest::structureOf(file("Site.SET"));
    ASSERT_EQ(fields.size(), 141u);
    EXPECT_EQ(nettest::describe(fields, {69, 140}), "SIZE1 N 5 0, MY_NOTE C 10 0");
    EXPECT_TRUE(fs::exists(file("Site.SEB")) && statusShown("Retrieving data from backup")) << "the backup stays";

    ASSERT_EQ(dbfSewerGetRecordCount(), 3);
    for (int i = 1; i <= 3; ++i) {
        ASSERT_EQ(dbfSewerGetRecord(i), 0);
        char node[32];
        dbfSewerGetField(C("NODE"), node, true);
        EXPECT_EQ(std::string(node), "MH" + std::to_string(i));
        EXPECT_EQ(dbfSewerGetFieldInt(C("SIZE1")), 100 * i);
        EXPECT_DOUBLE_EQ(dbfSewerGetFieldDouble(C("Z_COORD")), 1000.125 + i);
        EXPECT_FALSE(dbfSewerDeleted()) << "deleted records arrive unmarked";
    }
    EXPECT_EQ(displayOf(dbfSewerGetFieldString, "MY_NOTE"), "last");
    // The rebuilt table is indexed: a seek by node works.
    EXPECT_EQ(dbfSewerGetRecordNode(C("MH2")), 0);
    EXPECT_EQ(dbfSewerGetRecordNo(), 2);
}

// Writes an index file holding only the NODE tag for a table.
void writeNodeOnlyIndex(const std::string& table, const std::string& index) {
    const TAG4INFO one[] = {{"NODE", "NODE", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
    bool made = false;
    nettest::withTable(table, [&](DATA4* d) { made = i4create(d, index.c_str(), one) != nullptr; });
    EXPECT_TRUE(made) << table;
}

TEST_F(NetworkTest, ReusedWorkFileWithAnIndexLackingTagsGainsThemAndIsRebuilt) {
    // A work table left over from a crash, holding newer data, and an index of one tag.
    leaveWorkTable("RECOVERED");
    writeNodeOnlyIndex(file("Site.SET"), file("Site.SEX"));
    const std::string savedBefore = dbtest::readFile(sewerPath());

    ui.clear();
    cad.clearHistories();
    ui.answers = {IDYES};
    DATA4* data = openSewer();
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(ui.showed("Existing sewer work file found"));
    for (const char* text : {"Opening existing sewer working file", "Adding NEXT_NODE index", "Adding SIZE index",
                             "Rebuilding the index file"})
        EXPECT_TRUE(statusShown(text + std::string("...please wait"))) << text;
    EXPECT_FALSE(statusShown("Adding NODE index...please wait"));
    EXPECT_FALSE(statusShown("Retrieving data from backup")) << "a complete table is not rebuilt";
    for (const char* tag : nettest::kSewerTags) EXPECT_NE(d4tag(data, tag), nullptr) << tag;
    EXPECT_EQ(dbfSewerGetRecordNode(C("RECOVERED")), 0);
    EXPECT_TRUE(dbtest::readFile(sewerPath()) == savedBefore && ui.unexpected == 0);
}

TEST_F(NetworkTest, WorkFileRecoveryAnsweredNoStartsAgainFromTheSavedTable) {
    leaveWorkTable("STALE");  // a stale work table with other data
    ui.clear();
    ui.answers = {IDNO};
    ASSERT_NE(openSewer(), nullptr);
    EXPECT_TRUE(statusShown("Creating sewer working file...please wait"));
    dbfSewerGetFirstRecord();
    EXPECT_EQ(displayOf(dbfSewerGetFieldString, "NODE"), "SAVED");
    EXPECT_EQ(ui.unexpected, 0);
}

TEST_F(NetworkTest, LeadingZerosAreRestoredInEveryRecord) {
    nettest::writeTable(sewerPath(),
                        {{"NODE", 'C', 25, 0, 0}, {"SUBNET", 'C', 4, 0, 0}, {"BRANCH", 'C', 4, 0, 0},
                         {"LINKNO", 'C', 4, 0, 0}},
                        2, [](DATA4* d, int i) {
                            nettest::set(d, "SUBNET", "7");
                            nettest::set(d, "BRANCH", i == 1 ? " 12" : "0003");
                            nettest::set(d, "LINKNO", "");
                        });
    ASSERT_NE(openSewer(), nullptr);
    EXPECT_EQ(nettest::columnOf(sewerPath(), "SUBNET"), (std::vector<std::string>{"7", "7"}))
        << "the saved table is never edited";
    char text[8];
    for (int r = 2; r >= 1; --r) {
        dbfSewerGetRecord(r);
        dbfSewerGetField(C("SUBNET"), text, false);
        EXPECT_STREQ(text, "0007");
    }
    for (const auto& [name, shown] : {std::pair{"BRANCH", "0012"}, {"LINKNO", "0000"}}) {
        dbfSewerGetField(C(name), text, false);
        EXPECT_STREQ(text, shown);
    }
    EXPECT_EQ(dbfSewerGetFieldInt(C("BRANCH")), 12);
    dbfSewerSetFieldInt(C("LINKNO"), 5);
    dbfSewerGetField(C("LINKNO"), text, false);
    EXPECT_STREQ(text, "0005");
    EXPECT_EQ(displayOf(dbfSewerGetFieldString, "LINKNO"), "5");
}

TEST_F(NetworkTest, CloseOffersToPackDeletedRecordsAndThenToSaveAndNoKeepsTheSavedFiles) {
    saveSewer({"A", "B", "C"});
    const std::string tableBefore = dbtest::readFile(sewerPath());
    const std::string indexBefore = dbtest::readFile(file("Site.mdx"));

    ASSERT_NE(openSewer(), nullptr);
    dbfSewerGetRecord(2);
    d4delete(dbfState().sewerTable);
    ui.clear();
    ui.answers = {IDYES, IDNO};   // remove the deleted records; do not save
    dbfSewerCloseFile(false);
    EXPECT_EQ(ui.texts(), (std::vector<std::string>{"Remove deleted records from sewer data file", "Save changes to sewer data file"}))
        << "packing makes the close ask to save";
    EXPECT_TRUE(statusShown("Removing deleted records from database...please wait"));
    EXPECT_EQ(dbtest::readFile(sewerPath()) + dbtest::readFile(file("Site.mdx")), tableBefore + indexBefore);
    EXPECT_TRUE(!fs::exists(file("Site.SET")) && ui.unexpected == 0);

    // The same answered Yes twice saves the packed table.
    ASSERT_NE(openSewer(), nullptr);
    dbfSewerGetRecord(2);
    d4delete(dbfState().sewerTable);
    ui.answers = {IDYES, IDYES};
    dbfSewerCloseFile(false);
    EXPECT_EQ(nettest::columnOf(sewerPath(), "NODE"), (std::vector<std::string>{"A", "C"}));
}

TEST_F(NetworkTest, SaveKeepsTheTableOpenAndSaveAsMovesItToTheChosenFile) {
    ASSERT_NE(openSewer(), nullptr);
    appendWith(dbfState().sewerTable, {{"NODE", "MH1"}});
    dbfSewerGetIniFile()->SetString("Design Parameters", "Marker", "kept");
    DATA4* reopened = dbfSewerSaveFile();
    ASSERT_NE(reopened, nullptr);
    EXPECT_TRUE(dbfSewerIsOpen() && dbfState().sewerTable == reopened);
    EXPECT_EQ(nettest::columnOf(sewerPath(), "NODE"), (std::vector<std::string>{"MH1"}));
    EXPECT_NE(dbtest::readFile(file("Site.sed")).find("Marker=kept"), std::string::npos);
    EXPECT_EQ(dbfSewerGetRecordNo(), 1);

    dbtest::writeFile(file("Site.elk"), "owner,1");
    fs::create_directories(file("other"));
    ui.files = {file("other/Copy.sew")};
    char path[MAX_PATH] = {};
    ASSERT_TRUE(dbfSewerSaveFileAs(path));
    EXPECT_EQ(std::string(path), file("other/Copy.sew"));
    EXPECT_EQ(ui.last() ? ui.last()->kind : "", "file");
    EXPECT_FALSE(dbfSewerIsOpen() || fs::exists(file("Site.elk")) || fs::exists(file("Site.SET"))) << "the old lock goes";
    for (const char* name : {"other/Copy.sew", "other/Copy.mdx", "other/Copy.sed"}) EXPECT_TRUE(fs::exists(file(name))) << name;
    EXPECT_EQ(nettest::columnOf(file("other/Copy.sew"), "NODE"), (std::vector<std::string>{"MH1"}));
    char folder[MAX_PATH] = {};
    coreGetJobDefault("File Paths", "SEW", "", folder, sizeof folder);
    EXPECT_EQ(std::string(folder), file("other/"));

    // A cancelled box saves nothing; erf connections refuse an empty path.
    ASSERT_NE(openSewer(), nullptr);
    ui.files = {""};
    EXPECT_FALSE(dbfSewerSaveFileAs(path));
    EXPECT_TRUE(dbfSewerIsOpen());
    std::string erf = sewerPath();
    ASSERT_NE(dbfErfConOpenFile(erf.data()), nullptr);
    char empty[MAX_PATH] = {};
    EXPECT_FALSE(dbfErfConSaveFileAs(empty));
    EXPECT_TRUE(dbfErfConIsOpen());
}

TEST_F(NetworkTest, DamagedTablesEndInTheOpenMessageAndAClosedKind) {
    saveSewer({"A", "B"});
    const std::string good = dbtest::readFile(sewerPath());
    ASSERT_GT(good.size(), 1000u);

    const std::vector<std::pair<const char*, std::string>> damaged = {
        {"truncated", good.substr(0, good.size() / 2)},
        {"wrong header", std::string(good.size(), 'x')},
        {"header only", good.substr(0, 20)},
    };
    for (const auto& [what, bytes] : damaged) {
        dbtest::writeFile(sewerPath(), bytes);
        ui.clear();
        EXPECT_EQ(openSewer(), nullptr) << what;
        EXPECT_FALSE(dbfSewerIsOpen()) << what;
        EXPECT_EQ(dbfSewerGetRecordCount(), 0) << what;
        EXPECT_TRUE(ui.showed("Unable to open sewer data file") && ui.showed("No sewer database")) << what;
        EXPECT_EQ(dbtest::readFile(sewerPath()), bytes) << what << ": the saved file is never touched";
        EXPECT_FALSE(fs::exists(file("Site.SET"))) << what;
    }
}

TEST_F(NetworkTest, ExistingSwmmInputGainsTheDefaultSectionsItLacks) {
    dbtest::writeFile(file("Site.inp"), "[TITLE]\nMy project\n\n[OPTIONS]\nFLOW_UNITS CMS\n\n[JUNCTIONS]\n;;Name\n  J1 10 2 0 0 0\n");
    ASSERT_NE(openStorm(), nullptr);
    SWMM_LIST* swmm = dbfStormGetSwmmFile();
    ASSERT_NE(swmm, nullptr);
    EXPECT_TRUE(swmm->FindSection("REPORT") && swmm->FindLine("RAINGAGES", "RG1") && swmm->FindLine("TIMESERIES", "DesignStorm"));
    // Sections the project has stay its own, line for line.
    EXPECT_NE(swmm->FindLine("JUNCTIONS", "J1"), nullptr);
    EXPECT_EQ(swmm->FindLine("OPTIONS", "FLOW_UNITS")->Data(), " CMS");
    EXPECT_EQ(swmm->FindLine("OPTIONS", "INFILTRATION"), nullptr);
    const std::string contents = swmm->Contents();
    EXPECT_EQ(contents.find("[TITLE]"), contents.rfind("[TITLE]"));

    // Without the default file the project's input is left alone, with the message.
    dbfStormCloseFile(false);
    fs::remove(libFolder + "Storm.INP");
    ui.clear();
    ASSERT_NE(openStorm(), nullptr);
    EXPECT_TRUE(ui.showed("Could not locate the Storm.inp file"));
}

TEST_F(NetworkTest, RemovingDeletedStormRecordsClearsTheSwmmHoldingSections) {
    ASSERT_NE(openStorm(), nullptr);
    SWMM_LIST* swmm = dbfStormGetSwmmFile();
    ASSERT_NE(swmm, nullptr);
    swmm->AppendNoKey("OUTFALLS_DEL", "  O1  10 FREE");
    for (const char* node : {"A", "B"}) appendWith(dbfState().stormTable, {{"NODE", node}});
    bool removed = false;
    dbfStormRemDelRec(removed);
    EXPECT_TRUE(!removed && ui.shown.empty()) << "nothing deleted, nothing asked";

    dbfStormGetRecord(1);
    d4delete(dbfState().stormTable);
    ui.answers = {IDYES};
    dbfStormRemDelRec(removed);
    EXPECT_TRUE(removed && ui.showed("Remove deleted records from storm data file"));
    EXPECT_EQ(dbfStormGetRecordCount(), 1);
    EXPECT_EQ(swmm->FindSection("OUTFALLS_DEL"), nullptr);
    EXPECT_EQ(dbtest::readFile(file("Site.STS")).find("OUTFALLS_DEL"), std::string::npos);
}

TEST_F(NetworkTest, CrossingPipeTableIsCreatedAndRebuiltWithItsOwnContext) {
    const std::string path = file("Cross.dbf");
    CCrossingPipeTable cross;
    EXPECT_FALSE(cross.Open(path.c_str(), false) || fs::exists(path));
    dbtest::writeFile(file("Cross.mdx"), "stale");
    ASSERT_TRUE(cross.Open(path.c_str(), true));
    auto fields = nettest::structureOf(path);
    ASSERT_EQ(fields.size(), 13u);
    EXPECT_EQ(nettest::describe(fields, {1}), "Y1 N 20 3");
    EXPECT_NE(dbtest::readFile(file("Cross.mdx")), "stale");

    nettest::writeTable(path, {{"NAME", 'C', 10, 0, 0}, {"COLOUR", 'C', 8, 0, 0}}, 1, [](DATA4* d, int) {
        nettest::set(d, "NAME", "Water");
        nettest::set(d, "COLOUR", "blue");
    });
    ASSERT_TRUE(cross.Open(path.c_str(), false));
    fields = nettest::structureOf(path);
    ASSERT_EQ(fields.size(), 14u);
    EXPECT_EQ(nettest::describe(fields, {0, 13}), "NAME C 25 0, COLOUR C 8 0");
    EXPECT_EQ(nettest::columnOf(path, "NAME"), (std::vector<std::string>{"Water"}));
    EXPECT_TRUE(fs::exists(file("Cross.DBB")) && dbfState().sewerTable == nullptr);
}

TEST_F(NetworkTest, ShutDownClosesEveryOpenTableAndTheWorkFilesStayForRecovery) {
    ASSERT_NE(openSewer(), nullptr);
    ASSERT_NE(openStorm(), nullptr);
    unInitDbfAPI();
    EXPECT_FALSE(dbfSewerIsOpen() || dbfStormIsOpen());
    EXPECT_EQ(ui.unexpected, 0);   // no questions at shut-down
    EXPECT_TRUE(fs::exists(file("Site.SET")));
    // The next start offers the work file for reuse.
    initDbfAPI(&frame, &cad, nullptr);
    ui.answers = {IDYES};
    EXPECT_TRUE(openSewer() != nullptr && ui.showed("Existing sewer work file found"));
}
