// The tables written here open in readers that are not ours, with the defined structure.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "network/network_test_util.h"

namespace fs = std::filesystem;

namespace {

std::string run(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

bool haveDbfread() {
    return fs::exists("/usr/bin/python3") &&
           std::system("/usr/bin/python3 -c 'import dbfread' >/dev/null 2>&1") == 0;
}

}  // namespace

class InteropTest : public NetworkTest {
protected:
    // Saved sewer and storm tables with two records each, copied to .dbf names for GDAL.
    void SetUp() override {
        NetworkTest::SetUp();
        ASSERT_NE(openSewer(), nullptr);
        ASSERT_NE(openStorm(), nullptr);
        for (DATA4* data : {dbfState().sewerTable, dbfState().stormTable})
            for (const char* node : {"MH1", "MH2"})
                append(data, [&](DATA4* d) {
                    nettest::set(d, "NODE", node);
                    nettest::set(d, "SUBNET", "0001");
                    nettest::set(d, "Z_COORD", 101.125);
                    f4assignChar(d4field(d, "SELECTED"), 'T');
                });
        ui.answers = {IDYES, IDYES};
        dbfSewerCloseFile(true);
        dbfStormCloseFile(true);
        fs::copy_file(sewerPath(), file("sewer.dbf"));
        fs::copy_file(stormPath(), file("storm.dbf"));
    }
};

TEST_F(InteropTest, GdalReadsTheDefinedStructure) {
    if (!fs::exists("/usr/bin/ogrinfo")) GTEST_SKIP() << "GDAL's ogrinfo is not installed";
    nettest::expectHolds(run("/usr/bin/ogrinfo -ro -so -al " + file("sewer.dbf") + " 2>&1"),
                         {"Feature Count: 2", "NODE: String (25.0)", "FIX_SLOPE: Real (10.6)", "LOCK_Z:"});
    nettest::expectHolds(run("/usr/bin/ogrinfo -ro -so -al " + file("storm.dbf") + " 2>&1"), {"Feature Count: 2", "LINK_ROUGH: Real (5.4)"});
    nettest::expectHolds(run("/usr/bin/ogrinfo -ro -al -q " + file("storm.dbf") + " 2>&1"), {"NODE (String) = MH2"});
}

TEST_F(InteropTest, DbfreadReadsEveryFieldInOrder) {
    if (!haveDbfread()) GTEST_SKIP() << "/usr/bin/python3 with dbfread is not installed";
    const std::string script =
        "import sys, dbfread\n"
        "for path in sys.argv[1:]:\n"
        "    t = dbfread.DBF(path, load=True)\n"
        "    print(len(t.fields), len(t.records), t.records[1]['NODE'], t.records[0]['SUBNET'],\n"
        "          t.records[0]['Z_COORD'], t.records[0]['SELECTED'])\n"
        "    print(','.join('%s:%s:%d:%d' % (f.name, f.type, f.length, f.decimal_count) for f in t.fields))\n";
    dbtest::writeFile(file("check.py"), script);
    const std::string out =
        run("/usr/bin/python3 " + file("check.py") + " " + sewerPath() + " " + stormPath() + " 2>&1");
    nettest::expectHolds(out, {"140 2 MH2 0001 101.125 True", "192 2 MH2 0001 101.125 True",
                               "NODE:C:25:0,NEXT_NODE:C:25:0,OVER_NODE:C:25:0,MH_BOTTOM:C:6:0,Z_COORD:N:9:3",
                               "QMHINCR:N:2:0,XMASK:N:5:0,YMASK:N:5:0,GEOCODE:C:8:0,LOCK_Z:L:1:0\n", "LINK_NAME:C:27:0,LINK_ROUGH:N:5:4"});
}

TEST_F(NetworkTest, HydrographTablesOpenInOtherReaders) {
    std::vector<int> times(kHydrographEntries, 0);
    std::vector<double> flows(kHydrographEntries, 0.0);
    times[0] = 5, flows[0] = 1.5, times[1] = 10, flows[1] = 123.45678;
    std::string path = file("hyd.dbf");
    ASSERT_EQ(dbfSaveInflowHydrograph(path.data(), times.data(), flows.data()), 0);
    if (fs::exists("/usr/bin/ogrinfo")) {
        nettest::expectHolds(run("/usr/bin/ogrinfo -ro -al " + file("hyd.dbf") + " 2>&1"),
                             {"Feature Count: 3", "INFLOW: Real (13.5)", "INFLOW (Real) = 123.45678"});
    } else {
        std::printf("GDAL's ogrinfo is not installed: that reader is skipped\n");
    }
    if (!haveDbfread()) GTEST_SKIP() << "python3-dbfread is missing";
    const std::string out = run("/usr/bin/python3 -c \"import dbfread; print([(r['TIME'], r['INFLOW']) for r in dbfread.DBF('" +
                                file("hyd.dbf") + "')])\"");
    EXPECT_EQ(out, "[(5, 1.5), (10, 123.45678), (0, 0.0)]\n");
}
