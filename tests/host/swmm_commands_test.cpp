// `sitebase network swmm` and `network inflow` as a user runs them: exit codes, messages and
// the files afterwards.
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "host/host_fixture.h"
#include "platform/table.h"

class SwmmCommandsTest : public SitebaseTest {
protected:

    // A project whose sewer and storm tables hold MH1 -> MH2.
    void SetUp() override {
        ASSERT_EQ(run({"project", "new", dir.file("site"), "Site"}).code, 0);
        for (const char* kind : {"sewer", "storm"}) {
            ASSERT_EQ(run({"network", "open", kind}).code, 0);
            CODE4 code{};
            code4initLow(&code, nullptr, 6401, 1300);
            DATA4* data = d4open(&code, dir.file(std::string("site/Site.") + (kind[1] == 'e' ? "sew" : "stw")).c_str());
            ASSERT_NE(data, nullptr);
            for (const char* node : {"MH1", "MH2"}) {
                ASSERT_EQ(d4appendBlank(data), 0);
                f4assign(d4field(data, "NODE"), node);
                f4assign(d4field(data, "NEXT_NODE"), node[2] == '1' ? "MH2" : "");
                f4assignDouble(d4field(data, "INLEVEL"), node[2] == '1' ? 100.0 : 99.0);
                f4assignDouble(d4field(data, "LENGTH"), 20.0);
            }
            d4close(data);
            code4initUndo(&code);
        }
    }

    std::string inp() const { return dbtest::readFile(dir.file("site/Site.inp")); }
};

TEST_F(SwmmCommandsTest, UpdateDeleteRestoreAndTheirRefusals) {
    Outcome o = run({"network", "swmm", "update"});
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.out, "SWMM input file written: " + dir.file("site/Site.inp") + "\n");
    const std::string written = inp();
    EXPECT_NE(written.find("  LMH1             MH1              MH2"), std::string::npos);

    o = run({"network", "swmm", "delete", "Outfall", "NOPE"});
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.err, "No line of Outfall NOPE to delete\n");
    EXPECT_EQ(inp(), written);
    EXPECT_EQ(run({"network", "swmm", "delete", "Pond", "MH2"}).code, 2);

    ASSERT_EQ(run({"network", "swmm", "delete", "Outfall", "MH2"}).code, 0);
    const std::string held = "  MH2" + std::string(15, ' ') + "99.000     FREE                        NO";
    EXPECT_NE(inp().find("[OUTFALLS_DEL]\n" + held + "\n"), std::string::npos);
    ASSERT_EQ(run({"network", "swmm", "restore", "Outfall", "MH2"}).code, 0);
    // The holding section stays, empty, until the storm table's deleted records are removed.
    EXPECT_NE(inp().find("[OUTFALLS_DEL]\n"), std::string::npos);
    EXPECT_EQ(inp().find(held), inp().rfind(held));
    EXPECT_LT(inp().find(held), inp().find("[OUTFALLS_DEL]"));
}

TEST_F(SwmmCommandsTest, InflowUnitsAndHydrographs) {
    Outcome o = run({"network", "inflow", "add", "MH1", "Unit Flow", "Houses", "5"});
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.out, "Added 5 Houses unit(s) to node MH1\n");
    EXPECT_EQ(run({"network", "inflow", "add", "MH9", "Unit Flow", "Houses", "5"}).err, "No sewer node MH9\n");
    EXPECT_EQ(run({"network", "inflow", "add", "MH1", "Flow", "Houses", "5"}).code, 2);

    const std::string h = dir.file("site/h1.dbf");
    EXPECT_EQ(run({"network", "inflow", "hydrograph", h, "--entry", "10"}).code, 2);
    ASSERT_EQ(run({"network", "inflow", "hydrograph", h, "--entry", "0,0", "--entry", "10,1.5"}).code, 0);
    o = run({"network", "inflow", "hydrograph", h});
    EXPECT_EQ(o.out, "time   inflow\n  10  1.50000\n");
    EXPECT_EQ(o.err, "1 entry in use\n");
    o = run({"network", "inflow", "hydrograph", dir.file("nowhere/h.dbf")});
    EXPECT_EQ(o.code, 1);
    EXPECT_NE(o.err.find("specified for the inflow hydrograph does not exist"), std::string::npos);
}
