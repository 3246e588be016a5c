// Comma fields, texts, wildcards, paths, messages and the file wrappers.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "common/fixture.h"
#include "platform/core.h"
#include "platform/ui.h"

using dbtest::readFile;
using dbtest::TempDir;
using dbtest::writeFile;

TEST(CommaFields, MissingAndBlankFieldsGiveTheDefault) {
    const char* text = " 12 ,abc,, 3.5e2 ,-7";
    char buffer[8];
    EXPECT_EQ(coreGetField(text, "d", buffer, sizeof buffer, 1, ','), 1);
    EXPECT_STREQ(buffer, "12");
    EXPECT_EQ(coreGetField(text, "d", buffer, sizeof buffer, 3, ','), 0);   // blank
    EXPECT_STREQ(buffer, "d");
    EXPECT_EQ(coreGetField(text, "d", buffer, sizeof buffer, 6, ','), 0);   // missing
    EXPECT_EQ(coreGetField(text, "d", buffer, sizeof buffer, 0, ','), 0);
    EXPECT_EQ(coreGetField(nullptr, "d", buffer, sizeof buffer, 1, ','), 0);
    EXPECT_EQ(coreGetField("abcdefghijk", "", buffer, sizeof buffer, 1, ','), 1);
    EXPECT_STREQ(buffer, "abcdefg");                                          // cut to the buffer
    // Field 2 is not a number and field 7 is missing: the default 9.
    for (const auto& [field, value] : {std::pair{1, 12}, {2, 9}, {5, -7}, {7, 9}})
        EXPECT_EQ(coreGetFieldInt(text, 9, field, ','), value) << field;
    EXPECT_DOUBLE_EQ(coreGetFieldDouble(text, 1.5, 4, ','), 350.0);
    EXPECT_DOUBLE_EQ(coreGetFieldDouble(text, 1.5, 3, ','), 1.5);
    EXPECT_EQ(coreGetFieldInt("1;2;3", 0, 3, ';'), 3);
    EXPECT_EQ(coreGetFieldInt("99999999999", 0, 1, ','), 2147483647);
}

TEST(Texts, CopyTrimAndSearch) {
    char buffer[6];
    EXPECT_STREQ(coreStrncpy(buffer, "abcdefgh", sizeof buffer), "abcde");
    EXPECT_STREQ(coreStrncpy(buffer, nullptr, sizeof buffer), "");
    char text[] = " \t name \r\n";
    EXPECT_STREQ(coreTrimStr(text), "name");
    char blank[] = "   ";
    EXPECT_STREQ(coreTrimStr(blank), "");
    EXPECT_EQ(coreTrimStr(nullptr), nullptr);

    const char bytes[] = {'a', '\0', 'X', 'Y', 'Z', '\0', 'X', 'Y'};
    EXPECT_EQ(corePosBinStr(bytes, "XYZ", sizeof bytes), 2);   // past an embedded zero
    EXPECT_EQ(corePosBinStr(bytes, "XYQ", sizeof bytes), -1);
    EXPECT_EQ(corePosBinStr(bytes, "XY", 3), -1);              // only the first bytes count
    EXPECT_EQ(corePosBinStr(bytes, "", sizeof bytes), -1);

    char tag[61];
    tag[60] = '#';
    coreRandomString(tag, 60);
    EXPECT_EQ(tag[60], '#');                                    // exactly count characters
    for (int i = 0; i < 60; ++i) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(tag[i])));
    char other[60];
    coreRandomString(other, 60);
    EXPECT_NE(std::memcmp(tag, other, 60), 0);
}

TEST(Texts, WildcardMatching) {
    // '*' any run (with backtracking), '?' one character, '#' one digit; no regard to case; a
    // length above 0 compares only the first `length` characters.
    const struct { const char* pattern; const char* text; int length; bool match; } cases[] = {
        {"P*", "P12", 0, true},      {"p*", "P12", 0, true},         {"*", "", 0, true},
        {"", "", 0, true},           {"", "A", 0, false},            {"?", "", 0, false},
        {"A?C", "ABC", 0, true},     {"A?C", "AC", 0, false},        {"MH###", "MH012", 0, true},
        {"MH###", "MH01A", 0, false}, {"#", "#", 0, false},          {"*B*B", "ABBAB", 0, true},
        {"*B*B", "ABA", 0, false},   {"**A**", "xxA", 0, true},      {"P1", "P1 trailing", 2, true},
        {"P1", "P1 trailing", 0, false}, {"P1*", "P1", 10, true},    {nullptr, "A", 0, false},
        {"A", nullptr, 0, false}};
    for (const auto& c : cases)
        EXPECT_EQ(bool(coreMatching(c.pattern, c.text, c.length)), c.match)
            << (c.pattern ? c.pattern : "null") << " / " << (c.text ? c.text : "null") << " / " << c.length;
}

TEST(Paths, NamesExtensionsAndFolders) {
    char path[MAX_PATH] = "/data/job.v2/site.dtm";
    // The last is added where there is no extension before, past a dot in the folder.
    for (const auto& [ext, result] : {std::pair{"bak", "/data/job.v2/site.bak"}, {"", "/data/job.v2/site"},
                                      {".SED", "/data/job.v2/site.SED"}}) {
        coreChangeFileExt(path, ext);
        EXPECT_STREQ(path, result) << ext;
    }
    coreChangeFileName(path, "Storm", ".INP");
    EXPECT_STREQ(path, "/data/job.v2/Storm.INP");
    coreChangeFileName(path, nullptr, "STD");
    EXPECT_STREQ(path, "/data/job.v2/Storm.STD");
    char win[MAX_PATH] = "C:\\jobs\\road.sec";
    coreChangeFileName(win, "other", "des");
    EXPECT_STREQ(win, "C:\\jobs\\other.des");
    char folder[MAX_PATH];
    coreExtractFilePath(win, folder);
    EXPECT_STREQ(folder, "C:\\jobs\\");
    coreExtractFilePath("plain.txt", folder);
    EXPECT_STREQ(folder, "");
    coreExtractFileName("/a/b\\c.txt", folder);
    EXPECT_STREQ(folder, "c.txt");
    std::string longName(400, 'n');
    char cut[MAX_PATH] = "/x/y.z";
    coreChangeFileName(cut, longName.c_str(), "ext");
    EXPECT_EQ(std::strlen(cut), static_cast<size_t>(MAX_PATH - 1));
    EXPECT_EQ(coreNativePath("a\\b\\c"), "a/b/c");
}

TEST(Messages, CaptionsStylesAndAnswers) {
    ScriptedUi ui;
    CMDIFrameWnd frame(&ui);
    ErrorMessage("Unable to create lock file", &frame);
    InfoMessage("Done", &frame);
    ui.answers = {IDYES, IDNO};
    EXPECT_EQ(ConfirmMessage("Continue?", &frame), 6);
    EXPECT_EQ(ConfirmMessage("Continue?", &frame), 7);
    ASSERT_EQ(ui.shown.size(), 4u);
    EXPECT_EQ(ui.shown[0].caption, "Error");
    EXPECT_EQ(ui.shown[0].text, "Unable to create lock file");
    EXPECT_EQ(ui.shown[0].style & MB_ICONMASK, MB_ICONERROR);
    EXPECT_EQ(ui.shown[1].caption, "Information");
    EXPECT_EQ(ui.shown[2].caption, "Confirm");
    EXPECT_EQ(ui.shown[2].style & MB_BUTTONMASK, MB_YESNO);
    EXPECT_EQ(ui.unexpected, 0);
}

// ---------------------------------------------------------------------------------------------
// Files

TEST(Files, NullStreamsFailQuietly) {
    char buffer[8];
    EXPECT_EQ(coreFileOpen(nullptr, "rb"), nullptr);
    EXPECT_EQ(coreFileClose(nullptr), nullptr);
    EXPECT_EQ(coreFileSetPointer(0, 0, nullptr), 0);
    EXPECT_EQ(coreFileGetPointer(nullptr), -1);
    EXPECT_EQ(coreFileLength(nullptr), -1);
    EXPECT_EQ(coreFileBinRead(buffer, 1, nullptr), 0);
    EXPECT_EQ(coreFileBinWrite(buffer, 1, nullptr), 0);
    EXPECT_EQ(coreFileTxtRead(buffer, nullptr), 0);
    EXPECT_EQ(coreFileTxtWrite("x", nullptr), 0);
    EXPECT_EQ(coreWriteFile(nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(coreFileTruncate(nullptr, 0), 0);
    EXPECT_EQ(coreFileExist(nullptr), 0);
    EXPECT_EQ(coreFileExist("/no/such/file"), 0);
}

TEST(Files, OffsetsPastFourGigabytes) {
    TempDir dir;
    std::string name = dir.file("big.bin");
    FILE* f = coreFileOpen(name.c_str(), "w+b");
    ASSERT_NE(f, nullptr);
    const std::int64_t far = (std::int64_t{1} << 32) + 12345;   // a sparse file: no disk used
    ASSERT_EQ(coreFileSetPointer(0, far, f), 1);
    EXPECT_EQ(coreFileGetPointer(f), far);
    ASSERT_EQ(coreFileBinWrite("TAIL", 4, f), 1);
    EXPECT_EQ(coreFileLength(f), far + 4);
    ASSERT_EQ(coreFileSetPointer(2, -4, f), 1);
    char back[5] = {};
    ASSERT_EQ(coreFileBinRead(back, 4, f), 1);
    EXPECT_STREQ(back, "TAIL");
    EXPECT_EQ(coreFileBinRead(back, 1, f), 0);                  // nothing after the end
    ASSERT_EQ(coreFileSetPointer(0, far - 2, f), 1);
    ASSERT_EQ(coreFileSetPointer(1, 3, f), 1);
    ASSERT_EQ(coreFileBinRead(back, 3, f), 1);
    EXPECT_EQ(std::string(back, 3), "AIL");
    ASSERT_EQ(coreFileTruncate(f, far + 1), 1);
    EXPECT_EQ(coreFileLength(f), far + 1);
    EXPECT_EQ(coreFileSetPointer(5, 0, f), 0);                  // unknown origin
    f = coreFileClose(f);
    EXPECT_EQ(f, nullptr);
    EXPECT_EQ(coreFileDelete(name.c_str()), 1);
    EXPECT_EQ(coreFileExist(name.c_str()), 0);
}

TEST(Files, TextLines) {
    TempDir dir;
    std::string name = dir.file("lines.txt");
    writeFile(name, "first\r\n\r\n" + std::string(30, 'x') + "\nlast");
    FILE* f = coreFileOpen(name.c_str(), "rt");
    ASSERT_NE(f, nullptr);
    char line[16];
    ASSERT_EQ(coreFileTxtRead(line, f, sizeof line), 1);
    EXPECT_STREQ(line, "first");
    ASSERT_EQ(coreFileTxtRead(line, f, sizeof line), 1);
    EXPECT_STREQ(line, "");
    ASSERT_EQ(coreFileTxtRead(line, f, sizeof line), 1);
    EXPECT_EQ(std::string(line), std::string(15, 'x'));        // cut; the rest of it skipped
    ASSERT_EQ(coreFileTxtRead(line, f, sizeof line), 1);
    EXPECT_STREQ(line, "last");
    EXPECT_EQ(coreFileTxtRead(line, f, sizeof line), 0);
    coreFileClose(f);
}

TEST(Files, CopyUpToAFlagLine) {
    TempDir dir;
    std::string from = dir.file("design.bak"), to = dir.file("design.des");
    writeFile(from, "[Roads]\r\nA=1\r\n  [pipelong] \r\n12\r\n13\r\n");
    FILE* in = coreFileOpen(from.c_str(), "r+t");
    FILE* out = coreFileOpen(to.c_str(), "w+t");
    EXPECT_EQ(coreWriteFile(in, out, "[PipeLong]"), 1);
    coreFileTxtWrite("[PipeLong]", out);
    char line[64];
    ASSERT_EQ(coreFileTxtRead(line, in, sizeof line), 1);
    EXPECT_STREQ(line, "12");                                   // the flag line was consumed
    EXPECT_EQ(coreWriteFile(in, out, nullptr), 1);              // the rest
    EXPECT_EQ(coreWriteFile(in, out, "[Missing]"), 0);
    coreFileClose(in);
    coreFileClose(out);
    EXPECT_EQ(readFile(to), "[Roads]\nA=1\n[PipeLong]\n13\n");

    std::string copy = dir.file("sub\\..\\copy.des");          // backslashes are separators
    std::filesystem::create_directory(dir.path() / "sub");
    EXPECT_EQ(coreBackFile(from.c_str(), copy.c_str()), 1);
    EXPECT_EQ(coreFileExist(from.c_str()), 1);                  // the source stays
    EXPECT_EQ(readFile(dir.file("copy.des")), readFile(from));
    EXPECT_EQ(coreFileCopy(dir.file("none").c_str(), copy.c_str()), 0);
    EXPECT_EQ(coreFileRename(dir.file("copy.des").c_str(), to.c_str()), 1);   // replaces the target
    EXPECT_EQ(readFile(to), readFile(from));
    EXPECT_EQ(coreFolderExist(dir.path().string().c_str()), 1);
    EXPECT_EQ(coreFileExist(dir.path().string().c_str()), 0);
}

TEST(Files, FindFilesByPattern) {
    TempDir dir;
    for (const char* n : {"Job.2.cnt", "job.10.CNT", "Job.cnt", "Job.1.dtm"}) dbtest::writeFile(dir.file(n), "x");
    std::filesystem::create_directory(dir.file("Job.3.cnt"));   // a folder is no file
    const std::string folder = dir.file("");
    EXPECT_EQ(coreFindFiles(dir.file("Job.*.cnt").c_str()),
              (std::vector<std::string>{folder + "Job.2.cnt", folder + "job.10.CNT"}));
    EXPECT_TRUE(coreFindFiles(dir.file("missing/*.cnt").c_str()).empty());
    EXPECT_TRUE(coreFindFiles("").empty());
}
