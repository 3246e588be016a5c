// The plot members, the grids, the legend bar, and the pictures: PNG size and ink, PDF pages that
// an independent renderer (pdftoppm) reads.
#include <cairo.h>

#include <cstdlib>
#include <filesystem>

#include "common/png_ink.h"
#include "roadwnd/roadwnd_fixture.h"

namespace {

XSECTION sectionOf(std::initializer_list<std::pair<double, double>> points) {
    XSECTION xs{};
    xs.capacity = kSectionCapacity;
    for (auto [offset, level] : points) xs.points[xs.count++] = SECTMEM{offset, level, 0.0, 0};
    return xs;
}

// Cairo's font faces and fontconfig's configuration live for the process: freed once at the end,
// for the leak checker.
class FontCaches : public ::testing::Environment {
public:
    void TearDown() override { cadReleaseFontCaches(); }
};
[[maybe_unused]] ::testing::Environment* const fontCaches = ::testing::AddGlobalTestEnvironment(new FontCaches);

}  // namespace

TEST_F(RoadWndTest, PlotLineClipsToTheView) {
    resize(400, 200);
    HeadlessCadWindow& s = *w().headlessSurface();
    const struct {
        double x1, y1, x2, y2;
        int drawn;
    } cases[] = {
        {-30.0, 100.0, 30.0, 100.0, 1},     // across: cut at both edges
        {-30.0, 120.0, -25.0, 125.0, 0},    // wholly outside
        {0.0, 0.0, 10.0, 100.0, 1},         // starts outside, cut start inside
        {-10.0, 100.0, 10.0, 100.0, 1},
    };
    for (const auto& c : cases) {
        s.clearDisplayList();
        dbfRoadPlotLine(4, 3, c.x1, c.y1, c.x2, c.y2, 0);
        EXPECT_EQ(s.count(CadPrimitiveKind::Line), c.drawn) << c.x1 << " " << c.y1;
    }
    s.clearDisplayList();
    dbfRoadPlotLine(4, 3, -30.0, 100.0, 30.0, 100.0, 2);
    ASSERT_EQ(s.displayList().size(), 1u);
    const CadPrimitive& line = s.displayList()[0];
    EXPECT_EQ(nums(line.points[0].y, line.points[1].y, line.points[0].x, line.width, line.style, line.pen), nums(0.0, 400.0, -100.0, 3.0, 2, 4));
}

TEST_F(RoadWndTest, ExactlyAtTheOriginIsLikeOutside) {
    // The clipping says "outside" with a start of (0, 0): a segment that truly starts there on a
    // view around it is not drawn.
    const _bsRECT around{-10.0, 10.0, 10.0, -10.0};
    dbfRoadInitView(&around, 0, recordEvent, "Ratio", 0, 0);
    w().headlessSurface()->clearDisplayList();
    dbfRoadPlotLine(1, 1, 0.0, 0.0, 5.0, 5.0, 0);
    EXPECT_EQ(w().headlessSurface()->count(CadPrimitiveKind::Line), 0);
}

TEST_F(RoadWndTest, SectionsAreJoinedWithTicksAndShifted) {
    resize(400, 200);
    HeadlessCadWindow& s = *w().headlessSurface();
    XSECTION xs = sectionOf({{-10.0, 101.0}, {0.0, 102.0}, {5.0, 101.5}, {10.0, 100.0}});
    s.clearDisplayList();
    dbfRoadPlotSection(2, &xs, 1.0, 1, 1);
    ASSERT_EQ(s.count(CadPrimitiveKind::Line), 3 + 2);   // three segments, two inner ticks
    const CadPrimitive& tick = s.displayList()[3];
    // level 101 - 1 is pixel row 100
    EXPECT_EQ(nums(s.displayList()[0].width, s.displayList()[0].points[0].x, tick.points[0].y - tick.points[1].y, tick.points[1].x - tick.points[0].x),
              nums(2.0, -100.0, 0.0, 10.0));

    s.clearDisplayList();
    XSECTION one = sectionOf({{0.0, 100.0}});
    dbfRoadPlotSection(2, &one, 0.0, 0, 0);
    EXPECT_EQ(nums(s.count(CadPrimitiveKind::Line), s.count(CadPrimitiveKind::FilledPolygon)), nums(1, 1));

    s.clearDisplayList();
    LongSection ls;
    for (double chg : {-20.0, -5.0, 5.0, 20.0}) ls.AddOffsetElevation(chg, 100.0 + chg / 10.0, 0);
    dbfRoadPlotLongSection(5, &ls, 0.0, 0, 0);
    EXPECT_EQ(nums(s.count(CadPrimitiveKind::Line), s.displayList()[0].width), nums(3, 1.0));
}

TEST_F(RoadWndTest, GridsAreDrawnAtTheSpacingsBeforeTheHostPlots) {
    coreSetDefault("Roads", "Grids", "10,5,3");
    w().ReloadSettings();
    resize(400, 200);
    w().SetGrid(true);
    dbfRoadRefresh();
    // Offsets -20..20 every 10 (5 lines), levels 90..110 every 5 (5 lines).
    ASSERT_EQ(events().size(), 1u);
    EXPECT_EQ(nums(w().headlessSurface()->count(CadPrimitiveKind::Line), w().headlessSurface()->displayList()[0].pen, events()[0].type),
              nums(10, 3, kRoadEventPaint));
}

TEST_F(RoadWndTest, LegendRowsComeFromTheSettings) {
    coreSetJobDefault("Roads", "Line2", "2,9,0");
    coreSetJobDefault("Roads", "Line5", "1,6,1");
    dbfRoadSetSecLegend();
    RoadLegend* legend = dbfRoadGetLegendBarPtr();
    ASSERT_NE(legend, nullptr);
    EXPECT_EQ(legend->group, "D\\Section Edit");
    ASSERT_EQ(legend->rows.size(), 3u);   // lines 1, 3 and 5
    EXPECT_EQ(nums(legend->rows[1].pen, legend->rows[2].pen), nums(3, 6));
    dbfRoadSetEdgeLegend();
    ASSERT_EQ(legend->rows.size(), 4u);   // single carriageway: no median or pivots
    EXPECT_EQ(legend->rows[0].cells[0] + " " + std::to_string(legend->rows[0].pen), "Shoulder BP 3");
    coreSetJobDefault("Pipes", "MinDepth", "1.25");
    dbfRoadSetPipeLegend();
    EXPECT_EQ(legend->rows[1].cells[0] + " " + std::to_string(legend->rows[1].pen), "Ground - 1.2 4");
}

TEST_F(RoadWndTest, SectionPicturesAreDrawnAndPrinted) {
    resize(640, 360);
    const _bsRECT sectionView{-16.0, 16.0, 104.0, 96.0};
    dbfRoadInitView(&sectionView, 0, recordEvent, "Ratio", 0, 0);
    w().SetGrid(true);
    XSECTION ground = sectionOf({{-16.0, 99.0}, {-5.0, 99.6}, {4.0, 99.2}, {16.0, 98.4}});
    XSECTION design = sectionOf({{-12.0, 98.0}, {-7.0, 100.5}, {0.0, 100.65}, {7.0, 100.5}, {12.0, 98.0}});
    dbfRoadRefresh();
    dbfRoadPlotSection(3, &ground, 0.0, 0, 0);
    dbfRoadPlotSection(1, &design, 0.0, 1, 1);
    const std::string png = tmp.file("section.png");
    ASSERT_TRUE(w().RenderTo(png));
    int width = 0, height = 0;
    const int ink = dbtest::inkOf(png, width, height);
    EXPECT_EQ(nums(width, height), nums(640, 360));
    EXPECT_TRUE(ink > 1000 && ink < width * height / 2) << ink;

    HeadlessCadWindow printer;
    dbfRoadStartPrinting(&printer, _bsRECT{0.0, 2000.0, 0.0, 1400.0});
    dbfRoadPlotSection(3, &ground, 0.0, 0, 0);
    dbfRoadPlotSection(1, &design, 0.0, 1, 1);
    dbfRoadStopPrinting();
    const std::string pdf = tmp.file("section.pdf");
    ASSERT_TRUE(printer.render(pdf, 842, 595));
    if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed: the PDF is not checked";
    const std::string cmd = "pdftoppm -png -r 50 -singlefile '" + pdf + "' '" + tmp.file("page") + "' 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_GT(dbtest::inkOf(tmp.file("page.png"), width, height), 100);
    EXPECT_EQ(width, 585);   // 842 points at 50 dots to the inch
}

// The print button: the host plots into the printer when it hears key code 6.
void printingHook(EVENT* e) {
    recordedEvents().push_back(*e);
    if (e->type == kRoadEventKey && e->key == 6 && dbfRoadWindow()->printing())
        dbfRoadPlotLine(1, 1, -10.0, 100.0, 10.0, 100.0, 0);
}

TEST_F(RoadWndTest, PrintButtonPrintsWhatTheHostPlots) {
    static HeadlessCadWindow printer;
    printer.clearDisplayList();
    dbfRoadInitView(&view, 0, printingHook, "Ratio", 0, 0);
    ui.dialogs["RoadPrint"] = [](void* r) {
        auto* request = static_cast<RoadPrintRequest*>(r);
        request->device = &printer;
        request->page = _bsRECT{0.0, 1000.0, 0.0, 700.0};
        return IDOK;
    };
    events().clear();
    w().PrintButtonClick();
    EXPECT_FALSE(w().printing());
    ASSERT_EQ(events().size(), 2u);   // the print command, then the repaint
    EXPECT_EQ(events()[1].type, kRoadEventPaint);
    int plotted = 0;
    for (const CadPrimitive& p : printer.displayList()) plotted += p.kind == CadPrimitiveKind::Line && p.width == 2.0 && p.pen == 1;
    EXPECT_EQ(plotted, 1);
    // Cancelled, nothing is printed.
    ui.dialogs["RoadPrint"] = [](void*) { return IDCANCEL; };
    printer.clearDisplayList();
    w().PrintButtonClick();
    EXPECT_TRUE(printer.displayList().empty());
    // The vertical-alignment bar shows the first value.
    const double info[2] = {12.34567, 9.0};
    dbfUpdateVerInfoBar(info);
    EXPECT_EQ(w().verInfo(), "12.346");
}
