// Names: continuation sections, the file name rule and its inverse, the job's list of strings
// files, the drop-down of strings, and renaming strings and roots.
#include <filesystem>
#include <tuple>

#include "strings/strings_fixture.h"

namespace {
constexpr const char* kLine = "1,0,255,0,0.0,0.003";   // a registered string's plot settings
}

TEST_F(StringsTest, SectionNames) {
    // A 32-character name is cut to leave room for its number in 31.
    const struct {
        const char* name;
        int section;
        bool keep;
        const char* expected;
    } cases[] = {{"ROAD", 1, false, "ROAD-1"}, {"ROAD-1", 2, false, "ROAD-2"}, {"ROAD-1", 1, true, "ROAD-1-1"},
                 {"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", 12, true, "ABCDEFGHIJKLMNOPQRSTUVWXYZ01-12"}};
    for (const auto& c : cases) {
        char out[32];
        dbfGetSectionName(out, c.name, c.section, c.keep);
        EXPECT_STREQ(out, c.expected) << c.name;
    }
}

TEST_F(StringsTest, FileNameRuleAndItsInverse) {
    // Names of one or two digits gain "_"; odd characters become "_", cut to 31 characters.
    for (const auto& [given, made] : {std::pair<const char*, const char*>{"5", "5_"}, {"251", "251"}, {"Main Road", "Main_Road"},
                                      {"a.b\\c:d`~!@#$%^&*()-+=|/{}[]<>;',\"", "a_b_c_d________________________"}}) {
        char name[40], fileName[MAX_PATH];
        std::strcpy(name, given);
        dbfTerrainStringsFileName(name, fileName);
        EXPECT_STREQ(name, made);
        EXPECT_EQ(std::string(fileName), file("Site." + std::string(made) + ".str"));
    }

    char back[32];
    EXPECT_EQ(dbfGetStringNameFromFileName("/jobs/Site.Main_Road.str", back), 1);
    EXPECT_STREQ(back, "Main_Road");
    for (const char* bad : {"/jobs/.Road.str", "/jobs/Site", "/jobs/Site.str", "/jobs/Site..str"}) {
        ui.clear();
        EXPECT_EQ(dbfGetStringNameFromFileName(bad, back), 0) << bad;
        EXPECT_TRUE(ui.showed("Improper file Name format. Should have format: Project.StringName.str"));
    }
}

TEST_F(StringsTest, JobListRegistrationAndNameLookup) {
    char name[32] = "MAIN ROAD";
    char fileName[MAX_PATH];
    ASSERT_EQ(dbfTerrainStringsFile(name, fileName), 1);
    EXPECT_EQ(dbtest::readFile(fileName), std::string("\0\x40\0\0\0\0\0\0\0\0\0\0", 12));
    EXPECT_EQ(job("TerrainStrings", "StrName1"), "MAIN_ROAD");
    EXPECT_EQ(coreGetJobDefaultInt("StrLines_MAIN_ROAD", "Plot", 0), 1);
    EXPECT_EQ(job("StrLines_MAIN_ROAD", "MAIN_ROAD"), kLine);

    EXPECT_EQ(dbfAddTerrainStringCdp("SECOND", 0), 1);
    EXPECT_EQ(dbfAddTerrainStringCdp("CHILD", 2), 0);
    EXPECT_EQ(job("StrLines_SECOND", "CHILD"), kLine);
    EXPECT_EQ(dbfAddTerrainStringCdp("NOWHERE", 9), 0);

    EXPECT_EQ(dbfStringNameExists("main_road"), 1);
    EXPECT_EQ(std::tuple(ui.last()->text, ui.last()->caption, ui.last()->style & MB_ICONMASK),
              std::tuple("MAIN_ROAD is already defined as a string.", "Already defined", unsigned(MB_ICONERROR)));
    EXPECT_EQ(dbfStringNameExists("OTHER"), 0);

    // All 64 entries used: nothing more is registered.
    for (int i = 3; i <= 64; ++i) dbfAddTerrainStringCdp(("S" + std::to_string(i)).c_str(), 0);
    EXPECT_EQ(dbfAddTerrainStringCdp("EXTRA", 0), 0);
    EXPECT_EQ(dbfStringNameExists("EXTRA"), 0);
}

TEST_F(StringsTest, DropDownListsFamilies) {
    for (const char* root : {"ALPHA", "BETA"}) {
        char name[32];
        std::strcpy(name, root);
        char fileName[MAX_PATH];
        dbfTerrainStringsFile(name, fileName);
        ASSERT_EQ(dbfStringOpenFile(fileName), 1);
        const std::string one = std::string(root) + "_1", two = std::string(root) + "_2";
        addHeader(root, one.c_str());
        addHeader(one.c_str(), two.c_str());
        addHeader(two.c_str());
        dbfStringCloseFile();
    }
    CComboBox combo;
    EXPECT_EQ(dbfTerrainStringsBox(&combo, "BETA_1"), 4);
    ASSERT_EQ(combo.GetCount(), 6);
    CString text;
    combo.GetLBText(2, text);
    EXPECT_STREQ(text, "    ALPHA_2");
    combo.GetLBText(4, text);
    EXPECT_STREQ(text, "  BETA_1");
    EXPECT_EQ(std::pair(combo.GetItemData(4), combo.GetCurSel()), std::pair(DWORD_PTR{2}, 4));
    EXPECT_EQ(dbfTerrainStringsBox(&combo, "NONE"), -1);
    EXPECT_EQ(combo.GetCurSel(), 0);
}

class RenameTest : public StringsTest {
protected:
    std::string rootFile;

    void SetUp() override {
        StringsTest::SetUp();
        char name[32] = "MAIN";
        char fileName[MAX_PATH];
        dbfTerrainStringsFile(name, fileName);
        rootFile = fileName;
        EXPECT_EQ(dbfStringOpenFile(fileName), 1);
        UI_LIST list(dbfStringCompareFunc);
        straight(list, 60);
        addString("MAIN", list, "KERB");
        addHeader("KERB", "EDGE");
        addHeader("EDGE");
        dbfAddTerrainStringCdp("KERB", 1);
        dbfStringCloseFile();
    }
};

TEST_F(RenameTest, ChildRenameKeepsTheFile) {
    char newName[32] = "BIG KERB";
    EXPECT_EQ(dbfRenameString("KERB", newName, rootFile.c_str()), 1);
    EXPECT_STREQ(newName, "BIG_KERB");
    STR_FILEHEADER fh;
    FILE* handle = viewStringOpenFile(rootFile.c_str(), fh);
    ASSERT_NE(handle, nullptr);
    STR_HEADER h;
    EXPECT_EQ(dbfGetStringHeader("KERB", h, handle), 0u);
    EXPECT_NE(dbfGetStringHeader("BIG_KERB", h, handle), 0u);
    EXPECT_STREQ(h.firstChild, "EDGE");
    dbfGetStringHeader("MAIN", h, handle);
    EXPECT_STREQ(h.firstChild, "BIG_KERB");
    EXPECT_EQ(+fh.count, 4);   // MAIN, its section MAIN-1, KERB and EDGE
    coreFileClose(handle);
    EXPECT_EQ(job("StrLines_MAIN", "BIG_KERB") + "|" + job("StrLines_MAIN", "KERB", "none"), kLine + std::string("|none"));

    // A grandchild of the root: renamed in the file, its parent's link with it, but the result
    // is the root header's (unchanged, so 0) and the job settings stay as they were.
    dbfAddTerrainStringCdp("EDGE", 1);
    char toe[32] = "TOE";
    EXPECT_EQ(dbfRenameString("EDGE", toe, rootFile.c_str()), 0);
    handle = viewStringOpenFile(rootFile.c_str(), fh);
    ASSERT_NE(handle, nullptr);
    dbfGetStringHeader("BIG_KERB", h, handle);
    EXPECT_STREQ(h.firstChild, "TOE");
    EXPECT_NE(dbfGetStringHeader("TOE", h, handle), 0u);
    coreFileClose(handle);
    EXPECT_EQ(job("StrLines_MAIN", "EDGE", "none") + "|" + job("StrLines_MAIN", "TOE", "none"), kLine + std::string("|none"));

    // A name already in the file is refused and nothing changes.
    char taken[32] = "TOE";
    ui.clear();
    EXPECT_EQ(dbfRenameString("BIG_KERB", taken, rootFile.c_str()), 0);
    EXPECT_TRUE(ui.showed("TOE is already defined as a string."));
}

TEST_F(RenameTest, RootRenameMovesTheFile) {
    coreSetJobDefault("TerrainStrings", "Selected", rootFile.c_str());
    char newName[32] = "TRUNK";
    EXPECT_EQ(dbfRenameString("MAIN", newName, rootFile.c_str()), 1);
    const std::string newFile = file("Site.TRUNK.str");
    EXPECT_FALSE(std::filesystem::exists(rootFile));
    ASSERT_TRUE(std::filesystem::exists(newFile));
    STR_FILEHEADER fh;
    FILE* handle = viewStringOpenFile(newFile.c_str(), fh);
    ASSERT_NE(handle, nullptr);
    STR_HEADER h;
    EXPECT_EQ(dbfGetStringHeader("TRUNK", h, handle), 12u);
    EXPECT_STREQ(h.nextSection, "MAIN-1");   // sections keep their names until next stored
    EXPECT_EQ(vertexCount(12, 0, handle), 60);
    coreFileClose(handle);

    EXPECT_EQ(job("TerrainStrings", "StrName1") + "|" + job("TerrainStrings", "Selected") + "|" + job("StrLines_TRUNK", "Plot") + "|" +
                  job("StrLines_TRUNK", "TRUNK") + "|" + job("StrLines_MAIN", "Plot", "gone"),
              "TRUNK|" + newFile + "|1|" + kLine + "|gone");

    // A root name used by another strings file of the job is refused.
    dbfAddTerrainStringCdp("OTHER", 0);
    char other[32] = "other";
    ui.clear();
    EXPECT_EQ(dbfRenameString("TRUNK", other, newFile.c_str()), 0);
    EXPECT_TRUE(ui.showed("OTHER is already defined as a string."));
    EXPECT_TRUE(std::filesystem::exists(newFile));
    char none[32] = "X";
    EXPECT_EQ(dbfRenameString("TRUNK", none, file("missing.str").c_str()), 0);
}
