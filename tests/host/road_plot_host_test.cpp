// sitebase road plot, road window and the demo's section plots as a user runs them: the pictures'
// size and ink, the printed pages read by pdftoppm, the events of a scripted session, refusals.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "host/host_fixture.h"

using hosttest::havePdftoppm;
using hosttest::inkOf;

namespace {

class RoadPlotHostTest : public SitebaseTest {
protected:
    RoadPlotHostTest() { answerYes = true; }

    // The PNG has the size and some ink, but is not all ink.
    static void expectPicture(const std::string& path, int width, int height) {
        SCOPED_TRACE(path);
        int w = 0, h = 0;
        const int ink = inkOf(path, w, h);
        EXPECT_EQ(std::pair(w, h), std::pair(width, height));
        EXPECT_TRUE(ink > width * height / 200 && ink < width * height / 2) << ink;
    }

    // pdftoppm renders the page, and it is not blank.
    void expectPage(const std::string& pdf) {
        SCOPED_TRACE(pdf);
        const std::string page = dir.file("page");
        ASSERT_EQ(std::system(("pdftoppm -png -r 40 -singlefile '" + pdf + "' '" + page + "' 2>/dev/null").c_str()), 0);
        int w = 0, h = 0;
        EXPECT_GT(inkOf(page + ".png", w, h), 100);
        EXPECT_EQ(w, 468);   // A4 landscape at 40 dots to the inch
    }
};

}  // namespace

TEST_F(RoadPlotHostTest, TheDemoPlotsSectionsAndTheLongSection) {
    ASSERT_EQ(run({"demo", dir.file("demo")}).code, 0);
    std::vector<std::string> pngs, pdfs;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "demo")) {
        const std::string name = entry.path().filename().string();
        if (name.find("section") == std::string::npos) continue;
        if (entry.path().extension() == ".png" && name.rfind("road_", 0) == 0) pngs.push_back(entry.path().string());
        if (entry.path().extension() == ".pdf") pdfs.push_back(entry.path().string());
    }
    ASSERT_EQ(std::pair(pngs.size(), pdfs.size()), std::pair(size_t{4}, size_t{4}));
    for (const std::string& png : pngs) {
        const bool longSection = png.find("long") != std::string::npos;
        expectPicture(png, longSection ? 1400 : 1200, longSection ? 600 : 700);
    }
    if (!havePdftoppm()) GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed: the printed pages are not checked";
    for (const std::string& pdf : pdfs) expectPage(pdf);
}

TEST_F(RoadPlotHostTest, PlotsOfAStoredRoadAndItsRefusals) {
    ASSERT_EQ(run({"project", "new", dir.file("site"), "Site"}).code, 0);
    ASSERT_EQ(run({"road", "insert", "0", "20", "40"}).code, 0);
    dbtest::writeFile(dir.file("ground.csv"), "offset,elevation\n-30,101.5\n0,100\n30,98.5\n");
    dbtest::writeFile(dir.file("design.csv"), "offset,elevation\n-10,100.2\n-3.5,100.4\n0,100.5\n3.5,100.4\n10,100.2\n");
    for (const char* chg : {"0", "20", "40"}) {
        ASSERT_EQ(run({"road", "store-section", chg, "2", dir.file("ground.csv")}).code, 0);
        ASSERT_EQ(run({"road", "store-section", chg, "1", dir.file("design.csv")}).code, 0);
    }
    ASSERT_EQ(run({"road", "plot", "--chainage", "20", dir.file("x.png")}).code, 0);
    expectPicture(dir.file("x.png"), 1200, 700);
    ASSERT_EQ(run({"road", "plot", "--long", "0", "40", "--format", "svg", dir.file("l.svg")}).code, 0);
    EXPECT_NE(dbtest::readFile(dir.file("l.svg")).find("<svg"), std::string::npos);
    ASSERT_EQ(run({"road", "plot", "--chainage", "40", "--format", "pdf", dir.file("x.pdf")}).code, 0);

    const struct {
        std::vector<std::string> args;
        int code;
        const char* says;
    } refusals[] = {
        {{"road", "plot", "--chainage", "30", dir.file("n.png")}, 1, "No chainage 30.000"},
        {{"road", "plot", "--long", "50", "60", dir.file("n.png")}, 1, "No long section"},
        {{"road", "plot", dir.file("n.png")}, 2, "--chainage C or --long FROM TO"},
        {{"road", "plot", "--chainage", "nan", dir.file("n.png")}, 2, "not a number"},
        {{"road", "plot", "--chainage", "20", "--format", "bmp", dir.file("n.bmp")}, 2, "bmp"},
        {{"road", "plot", "--chainage", "20", dir.file("nofolder/n.png")}, 1, "Unable to write"},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.says);
        const Outcome o = run(r.args);
        EXPECT_EQ(o.code, r.code);
        EXPECT_NE((o.err + o.out).find(r.says), std::string::npos) << o.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("n.png")));
    if (!havePdftoppm()) GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed: the printed page is not checked";
    expectPage(dir.file("x.pdf"));
}

TEST_F(RoadPlotHostTest, AScriptedSessionPrintsTheEventsTheHostReceives) {
    dbtest::writeFile(dir.file("s.txt"),
                      "# 400 x 200 over offsets -20..20 and levels 110..90\n"
                      "view -20 20 110 90\nsize 400 200\n"
                      "move 250 100\npress left 300 150 shift\nrelease left 300 150\nkey a ctrl\nkey esc\n");
    dbtest::writeFile(dir.file("sitebase.ini"), "[Roads]\nRatio=1\n");
    const Outcome o = run({"road", "window", "--script", dir.file("s.txt")});
    ASSERT_EQ(o.code, 0) << o.err;
    std::string events;
    for (std::size_t at = 0; (at = o.out.find("event ", at)) != std::string::npos; at += 6)
        if (o.out[at + 6] != '7') events += o.out.substr(at, o.out.find('\n', at) - at) + "\n";
    // The view line installs the hook again: the outgoing one (the same) hears event 8.
    EXPECT_EQ(events,
              "event 8 x=-20.000 y=112.500 shift=0 control=0 key=0 button=0\n"
              "event 2 x=5.000 y=100.000 shift=0 control=0 key=0 button=0\n"
              "event 0 x=10.000 y=95.000 shift=1 control=0 key=0 button=1\n"
              "event 1 x=10.000 y=95.000 shift=0 control=0 key=0 button=1\n"
              "event 6 x=10.000 y=95.000 shift=0 control=1 key=65 button=0\n"
              "event 6 x=10.000 y=95.000 shift=0 control=0 key=27 button=0\n"
              "event 5 x=10.000 y=95.000 shift=0 control=0 key=27 button=0\n"
              "event 9 x=10.000 y=95.000 shift=0 control=0 key=0 button=0\n");

    dbtest::writeFile(dir.file("bad.txt"), "move 1 2\nkey F13\n");
    const Outcome bad = run({"road", "window", "--script", dir.file("bad.txt")});
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("bad.txt:2: key needs"), std::string::npos) << bad.err;
    EXPECT_EQ(run({"road", "window", "--script", dir.file("missing.txt")}).code, 1);
}
