// Tables made here open in other dBASE readers, and tables they write open here.
#include "common/fixture.h"
#include "platform/table.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

std::string run(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return out;
    std::array<char, 4096> buffer;
    while (size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) out.append(buffer.data(), n);
    return out;
}

bool haveCommand(const std::string& probe) { return std::system((probe + " >/dev/null 2>&1").c_str()) == 0; }

const FIELD4INFO kFields[] = {{"NAME", 'C', 10, 0, 0}, {"LEVEL", 'N', 9, 3, 0}, {"COUNT", 'N', 4, 0, 0},
                              {"FLAG", 'L', 1, 0, 0},  {"WHEN", 'D', 8, 0, 0},  {nullptr, 0, 0, 0, 0}};

class TableInteropTest : public ::testing::Test {
protected:
    void SetUp() override { code4initLow(&code, nullptr, 6401, 1300); }
    void TearDown() override { code4initUndo(&code); }

    // Two records: every type written, then a record with blank numbers and date.
    std::string makeTable() {
        std::string path = dir.file("links.dbf");
        DATA4* data = d4create(&code, path.c_str(), kFields, nullptr);
        EXPECT_NE(data, nullptr);
        d4appendBlank(data);
        f4assign(d4field(data, "NAME"), "MH1");
        f4assignDouble(d4field(data, "LEVEL"), -12.5);
        f4assignInt(d4field(data, "COUNT"), 7);
        f4assignChar(d4field(data, "FLAG"), 'T');
        f4assign(d4field(data, "WHEN"), "20240131");
        d4appendBlank(data);
        f4assign(d4field(data, "NAME"), "A B");
        f4assignDouble(d4field(data, "LEVEL"), 1234.5678);
        f4assignChar(d4field(data, "FLAG"), 'F');
        d4close(data);
        return path;
    }

    CODE4 code{};
    dbtest::TempDir dir;
};

TEST_F(TableInteropTest, GdalReadsEveryValueWritten) {
    if (!haveCommand("ogrinfo --version")) GTEST_SKIP() << "ogrinfo (gdal-bin) is not installed";
    std::string out = run("ogrinfo -al -q '" + makeTable() + "' 2>&1");
    for (const char* line : {"NAME (String) = MH1", "LEVEL (Real) = -12.500", "COUNT (Integer) = 7",
                             "FLAG (String) = T", "WHEN (Date) = 2024/01/31", "NAME (String) = A B",
                             "LEVEL (Real) = 1234.568", "COUNT (Integer) = (null)", "FLAG (String) = F"})
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
}

TEST_F(TableInteropTest, DbfreadReadsEveryValueWritten) {
    if (!haveCommand("/usr/bin/python3 -c 'import dbfread'")) GTEST_SKIP() << "python3-dbfread is not installed";
    std::string script = "import dbfread, json, sys\n"
                         "for r in dbfread.DBF(sys.argv[1]): print(json.dumps(dict(r), default=str))\n";
    dbtest::writeFile(dir.file("read.py"), script);
    std::string out = run("/usr/bin/python3 '" + dir.file("read.py") + "' '" + makeTable() + "' 2>&1");
    EXPECT_EQ(out,
              "{\"NAME\": \"MH1\", \"LEVEL\": -12.5, \"COUNT\": 7, \"FLAG\": true, \"WHEN\": \"2024-01-31\"}\n"
              "{\"NAME\": \"A B\", \"LEVEL\": 1234.568, \"COUNT\": null, \"FLAG\": false, \"WHEN\": null}\n");
}

TEST_F(TableInteropTest, TablesWrittenByGdalOpenWithTheirValues) {
    if (!haveCommand("ogr2ogr --version")) GTEST_SKIP() << "ogr2ogr (gdal-bin) is not installed";
    dbtest::writeFile(dir.file("in.csv"), "NODE,LEVEL,SIZE1,WHEN\nMH7,101.25,300,2023-05-06\nMH2,-3.5,225,\n");
    dbtest::writeFile(dir.file("in.csvt"), "String(12),Real(10.3),Integer(5),Date\n");
    std::string out = run("ogr2ogr -f 'ESRI Shapefile' '" + dir.file("gdal.dbf") + "' '" + dir.file("in.csv") + "' 2>&1");
    DATA4* data = d4open(&code, dir.file("gdal.dbf").c_str());
    ASSERT_NE(data, nullptr) << out;
    EXPECT_EQ(d4recCount(data), 2);
    EXPECT_EQ(f4type(d4field(data, "LEVEL")), 'N');
    EXPECT_EQ(f4decimals(d4field(data, "LEVEL")), 3);
    EXPECT_EQ(f4type(d4field(data, "WHEN")), 'D');
    ASSERT_EQ(d4top(data), 0);
    EXPECT_STREQ(f4str(d4field(data, "NODE")), "MH7         ");
    EXPECT_DOUBLE_EQ(f4double(d4field(data, "LEVEL")), 101.25);
    EXPECT_EQ(f4int(d4field(data, "SIZE1")), 300);
    EXPECT_STREQ(f4str(d4field(data, "WHEN")), "20230506");
    ASSERT_EQ(d4skip(data, 1), 0);
    EXPECT_DOUBLE_EQ(f4double(d4field(data, "LEVEL")), -3.5);

    // Tags can be made on a foreign table, and it stays readable to its writer afterwards.
    const TAG4INFO tags[] = {{"NODE", "NODE", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
    ASSERT_NE(i4create(data, nullptr, tags), nullptr);
    EXPECT_EQ(d4seek(data, "MH2"), 0);
    f4assignDouble(d4field(data, "LEVEL"), 9.125);
    d4close(data);
    out = run("ogrinfo -al -q '" + dir.file("gdal.dbf") + "' 2>&1");
    EXPECT_NE(out.find("LEVEL (Real) = 9.125"), std::string::npos) << out;
}

}  // namespace
