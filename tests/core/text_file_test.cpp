// Comma fields, texts, wildcards, paths, messages and the file wrappers.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <tuple>

#include "common/fixture.h"
#include "platform/core.h"
#include "platform/ui.h"

using dbtest::readFile;
using dbtest::TempDir;
using dbtest::writeFile;

TEST(CommaFields, MissingAndBlankFieldsGiveTheDefault) {
    const char* text = " 12 ,abc,, 3.5e2 ,-7";
    // Field 3 is blank, 6 and 0 are missing; the last is cut to the buffer (value null: not looked at).
    const struct {
        const char* text;
        const char* fallback;
        int field, result;
        const char* value;
    } fields[] = {{text, "d", 1, 1, "12"},      {text, "d", 3, 0, "d"},    {text, "d", 6, 0, nullptr},
                  {text, "d", 0, 0, nullptr},   {nullptr, "d", 1, 0, nullptr}, {"abcdefghijk", "", 1, 1, "abcdefg"}};
    for (const auto& f : fields) {
        char buffer[8] = "";
        EXPECT_EQ(coreGetField(f.text, f.fallback, buffer, sizeof buffer, f.field, ','), f.result) << f.field;
        if (f.value) { EXPECT_STREQ(buffer, f.value) << f.field; }
    }
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
    char text[] = " \t name \r\n", blank[] = "   ";
    EXPECT_EQ(std::string(coreTrimStr(text)) + "|" + coreTrimStr(blank), "name|");
    EXPECT_EQ(coreTrimStr(nullptr), nullptr);

    const char bytes[] = {'a', '\0', 'X', 'Y', 'Z', '\0', 'X', 'Y'};
    // Found past an embedded zero; only the first bytes count; nothing is found of nothing.
    EXPECT_EQ(std::vector({corePosBinStr(bytes, "XYZ", sizeof bytes), corePosBinStr(bytes, "XYQ", sizeof bytes),
                           corePosBinStr(bytes, "XY", 3), corePosBinStr(bytes, "", sizeof bytes)}),
              std::vector({2, -1, -1, -1}));

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
    char win[MAX_PATH] = "C:\\jobs\\road.sec";
    for (const auto& [in, name, ext, result] : {std::tuple{path, "Storm", ".INP", "/data/job.v2/Storm.INP"},
                                                {path, nullptr, "STD", "/data/job.v2/Storm.STD"},
                                                {win, "other", "des", "C:\\jobs\\other.des"}}) {
        coreChangeFileName(in, name, ext);
        EXPECT_STREQ(in, result);
    }
    const auto extracted = [](void (*extract)(const char*, char*), const char* from) {
        char out[MAX_PATH];
        extract(from, out);
        return std::string(out);
    };
    EXPECT_EQ(extracted(coreExtractFilePath, win) + "|" + extracted(coreExtractFilePath, "plain.txt") + "|" +
                  extracted(coreExtractFileName, "/a/b\\c.txt"),
              "C:\\jobs\\||c.txt");
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
    EXPECT_EQ(std::tuple(ui.shown[0].caption, ui.shown[0].text, ui.shown[0].style & MB_ICONMASK, ui.shown[1].caption, ui.shown[2].caption,
                         ui.shown[2].style & MB_BUTTONMASK, ui.unexpected),
              std::tuple("Error", "Unable to create lock file", unsigned(MB_ICONERROR), "Information", "Confirm", unsigned(MB_YESNO), 0));
}

// ---------------------------------------------------------------------------------------------
// Files

TEST(Files, NullStreamsFailQuietly) {
    char buffer[8];
    EXPECT_EQ(coreFileOpen(nullptr, "rb"), nullptr);
    EXPECT_EQ(coreFileClose(nullptr), nullptr);
    EXPECT_EQ(std::pair(coreFileGetPointer(nullptr), coreFileLength(nullptr)), std::pair(std::int64_t{-1}, std::int64_t{-1}));
    for (int rc : {coreFileSetPointer(0, 0, nullptr), coreFileBinRead(buffer, 1, nullptr), coreFileBinWrite(buffer, 1, nullptr),
                   coreFileTxtRead(buffer, nullptr), coreFileTxtWrite("x", nullptr), coreWriteFile(nullptr, nullptr, nullptr),
                   coreFileTruncate(nullptr, 0), coreFileExist(nullptr), coreFileExist("/no/such/file")})
        EXPECT_EQ(rc, 0);
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
    // The long line is cut and the rest of it skipped.
    for (const std::string& expected : {std::string("first"), std::string(), std::string(15, 'x'), std::string("last")}) {
        ASSERT_EQ(coreFileTxtRead(line, f, sizeof line), 1);
        EXPECT_EQ(line, expected);
    }
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
