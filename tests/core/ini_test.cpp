// Line-preserving INI files and the settings stores.
#include <gtest/gtest.h>

#include "common/fixture.h"
#include "platform/core.h"

#include <tuple>

using dbtest::readFile;
using dbtest::TempDir;
using dbtest::writeFile;

namespace {

const char* kLfFile =
    "; settings written by hand\n"
    "top=before any section\n"
    "\n"
    "[Global]\n"
    "  Name = Site One  \n"
    "Count=12\n"
    "odd line without equals\n"
    "; trailing comment\n"
    "\n"
    "[Roads]\n"
    "Line1=1,2,1";   // no final line end

}  // namespace

TEST(IniFile, LoadAndSaveGiveBackTheSameBytes) {
    TempDir dir;
    std::string crlf;
    for (char c : std::string(kLfFile)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& bytes : {std::string(kLfFile), crlf, std::string(kLfFile) + "\n", std::string()}) {
        std::string path = dir.file("a.ini");
        writeFile(path, bytes);
        INI_LIST ini(path.c_str());
        EXPECT_FALSE(ini.IsModified());
        ASSERT_EQ(ini.Save(), 1);
        EXPECT_EQ(readFile(path), bytes);
    }
}

TEST(IniFile, ReadsWithProfileSemantics) {
    INI_LIST ini;
    ini.SetContents(kLfFile);
    char buffer[64];
    EXPECT_EQ(ini.GetString("GLOBAL", "name", "x", buffer, sizeof buffer), 8);
    EXPECT_STREQ(buffer, "Site One");                      // trimmed, found without case
    EXPECT_EQ(std::pair(ini.GetInt("global", "COUNT", 5), ini.GetInt("Global", "Missing", 5)), std::pair(12, 5));
    // Odd lines are no keys; the last line has no end; lines before a header belong to none.
    for (const auto& [section, key, fallback, value] : {std::tuple{"Global", "odd line without equals", "dflt", "dflt"},
                                                        {"Roads", "Line1", "", "1,2,1"}, {"Nowhere", "top", "none", "none"}}) {
        ini.GetString(section, key, fallback, buffer, sizeof buffer);
        EXPECT_STREQ(buffer, value) << key;
    }

    // Cut to the buffer; null and empty buffers are left alone.
    char small[5] = "zzzz";
    EXPECT_EQ(ini.GetString("Global", "Name", "", small, sizeof small), 4);
    EXPECT_STREQ(small, "Site");
    EXPECT_EQ(ini.GetString("Global", "Name", "", nullptr, 10), 0);
    EXPECT_EQ(ini.GetString("Global", "Name", "", small, 0), 0);
    EXPECT_STREQ(small, "Site");

    EXPECT_EQ(ini.SectionKeys("Global"), (std::vector<std::string>{"Name", "Count"}));
    EXPECT_EQ(ini.SectionLines("global"),
              (std::vector<std::string>{"  Name = Site One  ", "Count=12", "odd line without equals"}));
    EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"Global", "Roads"}));
}

TEST(IniFile, EditsTouchOnlyTheirLines) {
    TempDir dir;
    std::string path = dir.file("edit.ini");
    std::string crlf = "[A]\r\nk1=1\r\n; note\r\n\r\n[B]\r\nx = old\r\n";
    writeFile(path, crlf);
    TINIFile ini(path.c_str());
    ini.WriteString("b", "X", "new");           // keeps the key's spelling and spacing
    ini.WriteInteger("A", "k2", 7);             // after the last key line, before the comment
    ini.WriteString("C", "y", "3");             // new section at the end
    ini.WriteString("A", "k1", "1");            // same value: no change to the line
    EXPECT_TRUE(ini.IsModified());
    ASSERT_EQ(ini.UpdateFile(), 1);
    EXPECT_EQ(readFile(path), "[A]\r\nk1=1\r\nk2=7\r\n; note\r\n\r\n[B]\r\nx = new\r\n[C]\r\ny=3\r\n");

    EXPECT_EQ(std::vector({ini.DeleteKey("A", "K1"), ini.EraseSection("b"), ini.EraseSection("b")}), std::vector({1, 1, 0}));
    EXPECT_TRUE(!ini.SectionExists("B") && ini.ValueExists("a", "k2"));
    EXPECT_EQ(ini.Contents(), "[A]\r\nk2=7\r\n; note\r\n\r\n[C]\r\ny=3\r\n");
}

TEST(IniFile, NewLinesAfterALastLineWithoutEnd) {
    INI_LIST ini;
    ini.SetContents("[A]\nk=1");
    ini.SetString("A", "j", "2");
    ini.SetString("Z", "q", "3");
    EXPECT_EQ(ini.Contents(), "[A]\nk=1\nj=2\n[Z]\nq=3\n");
    EXPECT_EQ(ini.RenameSection("z", "Kerb 2"), 1);
    ini.AddLine("Kerb 2", "raw line");
    EXPECT_EQ(ini.Contents(), "[A]\nk=1\nj=2\n[Kerb 2]\nq=3\nraw line\n");
    ini.SetString("A", "k", nullptr);           // a null value deletes the key
    EXPECT_FALSE(ini.KeyExists("A", "k"));
}

TEST(IniFile, FloatsAndSections) {
    TINIFile ini("");
    ini.WriteFloat("S", "a", 0.1);
    ini.WriteFloat("S", "b", 1.0 / 3.0);
    EXPECT_EQ(std::tuple(ini.ReadString("S", "a", ""), ini.ReadFloat("S", "b", 0), ini.ReadFloat("S", "missing", 2.5)),
              std::tuple("0.1", 1.0 / 3.0, 2.5));
    EXPECT_EQ(ini.UpdateFile(), 0);   // no file to write
}

TEST(IniFile, PointingAtFiles) {
    TempDir dir;
    std::string one = dir.file("one.ini"), two = dir.file("two.ini");
    writeFile(one, "[S]\nk=1\n");
    INI_LIST ini;
    ini.SetFile(one.c_str());
    ini.SetString("S", "k", "2");
    ini.SetFile(one.c_str());            // unsaved changes of the same file are kept
    EXPECT_EQ(ini.GetInt("S", "k", 0), 2);
    ini.SetFile(two.c_str());            // switching saves the pending changes first
    EXPECT_EQ(readFile(one), "[S]\nk=2\n");
    EXPECT_FALSE(ini.SectionExists("S"));
    writeFile(one, "[S]\nk=3\n");        // changed by other means
    ini.SetFile(one.c_str());
    EXPECT_EQ(ini.GetInt("S", "k", 0), 3);
    ini.SetFile(one.c_str());
    writeFile(one, "[S]\nk=4\n");
    ini.SetFile(one.c_str());            // no pending changes: read again
    EXPECT_EQ(ini.GetInt("S", "k", 0), 4);
    ini.SetFile(nullptr);
    EXPECT_EQ(ini.Count(), 0);
    EXPECT_FALSE(std::filesystem::exists(two));   // nothing was written to it
}

// ---------------------------------------------------------------------------------------------
// Settings stores

class SettingsStores : public ::testing::Test {
protected:
    void SetUp() override { coreResetStores(); }
    void TearDown() override { coreResetStores(); }
    TempDir dir;
};

TEST_F(SettingsStores, WithoutFilesReadsGiveDefaultsAndWritesStayInMemory) {
    char buffer[32];
    coreGetDefault("Main", "JobPath", "def", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "def");
    EXPECT_EQ(coreGetJobDefaultInt("Global", "RoadId", 1), 1);
    coreSetJobDefaultInt("Global", "RoadId", 4);
    coreSetJobDefaultDouble("Global", "Scale", 2.0 / 3.0, 3);
    EXPECT_EQ(coreGetJobDefaultInt("global", "roadid", 1), 4);
    coreGetJobDefault("Global", "Scale", "", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "0.667");
    coreSetJobFile("");                  // still no project: the writes stay
    EXPECT_EQ(coreGetJobDefaultInt("Global", "RoadId", 1), 4);
    coreFlushJobDefault();               // nothing to write to, nothing breaks
    coreGetDefault("Main", "JobPath", "", nullptr, 10);
    coreGetDefault("Main", "JobPath", "", buffer, 0);
    coreResetStores();                   // and a reset forgets them
    EXPECT_EQ(coreGetJobDefaultInt("Global", "RoadId", 1), 1);
}

TEST_F(SettingsStores, FlushWritesTheFilesAndSwitchingSaves) {
    std::string defaults = dir.file("defaults.ini"), job1 = dir.file("p1.job"), job2 = dir.file("p2.job");
    writeFile(defaults, "[Main]\r\nVirtualPath= /work/folder \r\n");
    coreSetDefaultsFile(defaults.c_str());
    EXPECT_STREQ(coreDefaultsFile(), defaults.c_str());
    char buffer[MAX_PATH];
    coreGetVirtualPath(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "/work/folder");
    coreSetDefault("Main", "JobPath", "/projects/a");
    EXPECT_EQ(readFile(defaults), "[Main]\r\nVirtualPath= /work/folder \r\n");   // not yet
    coreFlushDefault();
    EXPECT_EQ(readFile(defaults), "[Main]\r\nVirtualPath= /work/folder \r\nJobPath=/projects/a\r\n");

    coreSetJobFile(job1.c_str());
    coreSetJobDefault("Global", "Merolind", "site");
    coreSetJobFile(job2.c_str());        // the first project's change is kept on disk
    EXPECT_EQ(readFile(job1), "[Global]\nMerolind=site\n");
    EXPECT_EQ(coreGetJobDefaultInt("Global", "Merolind", -1), -1);
    coreSetJobFile(job1.c_str());
    coreGetJobDefault("GLOBAL", "MEROLIND", "", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "site");
    coreDeleteJobSection("Global");
    coreStartProject();                  // writes what is pending
    EXPECT_EQ(readFile(job1), "");
}

TEST_F(SettingsStores, DataFolderAndPlacement) {
    std::string defaults = dir.file("defaults.ini");
    coreSetDefaultsFile(defaults.c_str());
    char buffer[MAX_PATH];
    coreGetQZPath(buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer), dir.path().string());   // no trailing separator
    coreSetDefault("Main", "DataPath", "/opt/maker/data/");
    coreGetQZPath(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "/opt/maker/data");

    CWindowPlacement placement;
    EXPECT_EQ(placement.Restore("RoadWnd", nullptr), 0);
    placement.show = 3;
    placement.right = 640;
    placement.Save("RoadWnd", nullptr);
    CWindowPlacement restored;
    EXPECT_EQ(restored.Restore("roadwnd", nullptr), 1);
    EXPECT_EQ(std::pair(restored.show, restored.right), std::pair(3, 640));
    coreResetStores();
    EXPECT_FALSE(std::filesystem::exists(defaults));   // reset forgets without saving
}

// Many keys at once give the same file as setting them one by one.
TEST(IniFile, SettingManyKeysAtOnceMatchesSettingThemOneByOne) {
    const std::string bytes = "[A]\r\nk1 = 1\r\n; note\r\n\r\n[B]\r\nx=old\r\n";
    const std::vector<std::pair<std::string, std::string>> values = {
        {"K1", "2"}, {"k9", "new"}, {" k10 ", "x"}, {"k9", "again"}, {"", "ignored"}};
    for (const char* section : {"a", "Z"}) {
        INI_LIST one, many;
        one.SetContents(bytes);
        many.SetContents(bytes);
        for (const auto& [key, value] : values) one.SetString(section, key.c_str(), value.c_str());
        many.SetStrings(section, values);
        EXPECT_EQ(many.Contents(), one.Contents()) << section;
        EXPECT_TRUE(many.IsModified());
    }
    INI_LIST ini;
    ini.SetContents(bytes);
    EXPECT_EQ(ini.SectionValues("a"), (std::vector<std::pair<std::string, std::string>>{{"k1", "1"}}));
    EXPECT_TRUE(ini.SectionValues("none").empty());
}
