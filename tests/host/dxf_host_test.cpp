// sitebase site export-dxf: the drawings pass ezdxf's audit, render, and hold per layer as many
// entities as a paint of the same view draws; a layer name a DXF reader refuses is refused.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "host/host_fixture.h"

namespace {

class DxfHost : public HostTest {
protected:
    // "layer NAME: N1, N2, N3 ..." lines of a text, by name: the number of the field-th comma
    // field after the colon (0 when the line has fewer).
    static std::map<std::string, int> layerCounts(const std::string& text, int field = 0) {
        std::map<std::string, int> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("layer ", 0) != 0) continue;
            const std::size_t colon = line.rfind(": ");
            std::string rest = line.substr(colon + 2);
            for (int k = 0; k < field; ++k) {
                const std::size_t comma = rest.find(", ");
                rest = comma == std::string::npos ? "0" : rest.substr(comma + 2);
            }
            out[line.substr(6, colon - 6)] = std::atoi(rest.c_str());
        }
        return out;
    }

    // Runs the check script; its exit code, its output in `text`.
    int check(const std::vector<std::string>& args, std::string& text) {
        std::string cmd = "/usr/bin/python3 " DXF_CHECK_SCRIPT;
        for (const std::string& a : args) cmd += " '" + a + "'";
        cmd += " >" + dir.file("check.out") + " 2>&1";
        const int rc = std::system(cmd.c_str());
        text = dbtest::readFile(dir.file("check.out"));
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
};

TEST_F(DxfHost, DemoDrawingPassesTheAuditAndMatchesTheDisplay) {
    if (std::system("/usr/bin/python3 -c 'import ezdxf' >/dev/null 2>&1") != 0) GTEST_SKIP() << "/usr/bin/python3 cannot import ezdxf";
    const std::string out = dir.file("demo");
    ASSERT_EQ(run({"demo", out}).code, 0);
    const std::string project = "--project=" + out + "/Demo.prj";
    const Outcome counted = run({project, "site", "export-dxf", "--counts", dir.file("again.dxf")});
    ASSERT_EQ(counted.code, 0) << counted.err;
    EXPECT_EQ(dbtest::readFile(dir.file("again.dxf")).substr(0, 200), dbtest::readFile(out + "/site.dxf").substr(0, 200));
    // every entity is one the display draws, but for the road's alignment details: two tangents,
    // and a LINE and a TEXT for each of five elements
    const std::map<std::string, int> entities = layerCounts(counted.out), displayed = layerCounts(counted.out, 1),
                                     details = layerCounts(counted.out, 2);
    EXPECT_GE(displayed.size(), 7u);
    for (const auto& [layer, n] : entities) EXPECT_EQ(n, displayed.at(layer) + details.at(layer)) << layer;
    EXPECT_EQ(details.at("ROADS"), 12) << counted.out;
    const std::string drawing = dbtest::readFile(out + "/site.dxf");
    EXPECT_NE(drawing.find("  1\nCurve R=5000 (200.0m)\n"), std::string::npos);

    // the road lines are polylines at their levels
    EXPECT_NE(drawing.find("  0\nPOLYLINE\n  8\nROADS\n"), std::string::npos);

    // The whole demo (its many faces render slowly): audit and counts.
    std::string text;
    ASSERT_EQ(check({"--no-render", out + "/site.dxf"}, text), 0) << text;
    EXPECT_EQ(layerCounts(text), entities) << text;

    // A corner of it, rendered.
    const Outcome corner = run({project, "site", "export-dxf", "--view", "0,0,250,250", dir.file("corner.dxf")});
    ASSERT_EQ(corner.code, 0) << corner.err;
    ASSERT_EQ(check({dir.file("corner.dxf"), dir.file("corner.png")}, text), 0) << text;
    EXPECT_NE(text.find("render"), std::string::npos) << text;   // "rendered", or why not
    EXPECT_GT(layerCounts(text)["FEATURE_LINES"], 100) << text;
}

TEST_F(DxfHost, RefusesLayerNamesAReaderRefusesAndBadViews) {
    ASSERT_EQ(run({"terrain", "create"}).code, 0);
    dbtest::writeFile(dir.file("points.csv"), "name,y,x,z\nP1,10,20,5\nP2,60,70,6\n");
    ASSERT_EQ(run({"terrain", "import-points", dir.file("points.csv")}).code, 0);
    const Outcome empty = run({"site", "export-dxf", "--layers", "points", dir.file("ok.dxf")});
    ASSERT_EQ(empty.code, 0) << empty.err;
    const std::string drawing = dbtest::readFile(dir.file("ok.dxf"));
    EXPECT_NE(drawing.find("  0\nPOINT\n  8\n0\n"), std::string::npos) << "an empty layer name is layer 0";
    EXPECT_EQ(drawing.substr(drawing.size() - 8), "  0\nEOF\n");
    EXPECT_NE(drawing.find("$EXTMIN\n 10\n"), std::string::npos);

    ASSERT_EQ(run({"settings", "--job", "set", "DXF Export", "Points", "A/B"}).code, 0);
    const Outcome bad = run({"site", "export-dxf", "--layers", "points", dir.file("bad.dxf")});
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("the layer name \"A/B\" is not allowed"), std::string::npos) << bad.err;
    EXPECT_EQ(access(dir.file("bad.dxf").c_str(), F_OK), -1);
    EXPECT_EQ(run({"site", "export-dxf", "--view", "0,0,1", dir.file("v.dxf")}).code, 2);
}

}  // namespace
