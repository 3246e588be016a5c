// sitebase road template and road kerb as a user runs them: a road with natural ground designed
// from a shipped template, kerbs inserted from the shipped kerb group, and every refusal with its
// message and exit code, the road file and the kerb file left as they were.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "host/host_fixture.h"

namespace {

class TemplateHostTest : public SitebaseTest {
protected:
    TemplateHostTest() { answerYes = true; }
    std::string data = std::string(DB_SOURCE_DIR) + "/data/";


    void SetUp() override {
        ASSERT_EQ(run({"project", "new", dir.file("site"), "Site"}).code, 0);
        ASSERT_EQ(run({"road", "insert", "0", "20"}).code, 0);
        dbtest::writeFile(dir.file("ground.csv"), "offset,elevation\n-30,101.5\n0,100\n30,98.5\n");
        for (const char* chg : {"0", "20"}) ASSERT_EQ(run({"road", "store-section", chg, "2", dir.file("ground.csv")}).code, 0);
        std::filesystem::copy_file(data + "kerbs/standard.krb", dir.file("site/standard.krb"));
        ASSERT_EQ(run({"design", "set", "KerbFiles", "path1", "standard.krb"}).code, 0);
    }
    std::string road() { return dbtest::readFile(dir.file("site/Site.1.sec")); }
};

TEST_F(TemplateHostTest, ATemplateDesignsTheRoadAndKerbsGoOnItsEdges) {
    ASSERT_EQ(run({"road", "template", "add", "Rural", data + "templates/rural_single.tpl"}).code, 0);
    EXPECT_EQ(run({"road", "template", "list"}).out, "number  name\n     1  Rural\n");
    const std::string kerbs = dbtest::readFile(dir.file("site/standard.krb"));
    // Ground falling 5 % to the right, centre 0.5 above it: both edges (at 100.37) above the
    // ground (100.25 on the left, 99.75 on the right), so both sides in fill.
    expectEach({{{"road", "template", "apply", "Rural", "--all", "--works", "3"}, 0,
                 "2 sections designed (0 sides in cut, 4 in fill, 0 meeting no ground), 0 skipped", ""},
                {{"road", "show-section", "20", "3"}, 0, "", "5 points"},
                {{"road", "kerb", "add", "100", "--chainage", "20", "--from-start"}, 0, "Kerb 100 (Barrier) at 20.000: 3 points added", ""},
                {{"road", "kerb", "list"}, 0, "1   100  Barrier             3  0.300   0.150", ""}});
    EXPECT_EQ(dbtest::readFile(dir.file("site/standard.krb")), kerbs);
}

TEST_F(TemplateHostTest, RefusalsLeaveTheRoadAsItWas) {
    dbtest::writeFile(dir.file("bad.tpl"), "[TemplateType]\nVersion=5\n");
    ASSERT_EQ(run({"road", "template", "add", "Rural", data + "templates/rural_single.tpl"}).code, 0);
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"road", "template", "apply", "Nope", "--all"}, 1, "No template Nope in"},
        {{"road", "template", "apply", "Rural"}, 2, "Give --chainage or --all"},
        {{"road", "template", "apply", "Rural", "--chainage", "55"}, 1, "The road has no chainage 55.000"},
        {{"road", "template", "apply", "Rural", "--chainage", "nan"}, 2, "--chainage: nan is not a number"},
        {{"road", "template", "apply", dir.file("bad.tpl"), "--all"}, 1, "Template has invalid version number"},
        {{"road", "template", "add", "Bad", dir.file("bad.tpl")}, 1, "Template has invalid version number"},
        {{"road", "template", "add", "Gone", dir.file("gone.tpl")}, 1, "Error in template file " + dir.file("gone.tpl")},
        {{"road", "kerb", "add", "150", "--chainage", "20"}, 1, "Kerb 150 is in no kerb group"},
        {{"road", "kerb", "add", "100", "--chainage", "30"}, 1, "No section at 30.000 on layer 1"},
        {{"road", "kerb", "add", "100", "--chainage", "20", "--layer", "2"}, 1, "Kerb 100 could not be placed"},
    };
    const std::string before = road();
    for (const Case& c : cases) {
        const Outcome o = run(c.args);
        SCOPED_TRACE(c.args[2] + " " + c.args[3]);
        EXPECT_EQ(o.code, c.code) << o.err;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
        EXPECT_EQ(o.out.find("designed"), std::string::npos) << o.out;
        EXPECT_EQ(road(), before);
    }
    // A missing kerb group file is reported and nothing is inserted.
    ASSERT_EQ(run({"design", "set", "KerbFiles", "path2", "missing.krb"}).code, 0);
    ASSERT_EQ(run({"road", "template", "apply", "Rural", "--all"}).code, 0);
    const std::string designed = road();
    const Outcome o = run({"road", "kerb", "add", "100", "--chainage", "20", "--from-start"});
    EXPECT_EQ(o.code, 1);
    EXPECT_NE(o.err.find("Kerb group file missing.krb does not exist"), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(road(), designed);
}

}  // namespace
