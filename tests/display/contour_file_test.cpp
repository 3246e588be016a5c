// Saved contours from the contour file, the fallback to quick contours, radial contours, grids,
// the block grid and the snap callback.
#include <cmath>
#include <cstring>

#include "display/display_fixture.h"

namespace {

class SavedContours : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        openDisplay();
        add("A", 0, 0, 10);
        coreSetJobDefault("Terrain", "DisplayControl", "0,0,1,0,0,0,0,1");
        dbfGetDisplaySettings();
    }

};

const std::vector<PNT_2D_record> kStraight = {{0, 0}, {0, 30}};

TEST_F(SavedContours, PensStylesLabelsAndLayersByKind) {
    coreSetJobDefault("Plan", "Contour", "1,1,1,9,0,1.0,9,1,5.0,2,3,5.0,6,15,3,1,4,1,5,1,0,10");
    dbfGetDisplaySettings();
    struct Case {
        std::int16_t kind, surface;
        std::vector<SavedContour> lines;
        std::string layer;
        std::vector<int> pens;             // of the lines drawn, in order
        std::vector<std::string> labels;   // in order
    };
    const Case cases[] = {
        {0, 1, {{2, 10, kStraight}, {2, 12.5, kStraight}, {1, 11, kStraight}, {2, 11, kStraight}}, "Surf1GenCont",
         {2, 9}, {"10", "10", "10"}},
        {0, 0, {{2, 4, kStraight}}, "DTMContour", {9}, {}},
        {1, 1, {{2, 1000, kStraight}, {2, 1002, kStraight}, {2, 997, kStraight}}, "DTMDiffContour", {4, 3, 5},
         {"0", "0", "0"}},
        {4, 1, {{2, 12.5, kStraight}}, "DTMDiffContour", {9}, {"12", "12", "12"}},
    };
    for (const Case& c : cases) {
        writeContourFile(c.kind, c.surface, c.lines);
        paint(-50, -50, 150, 150);
        std::vector<int> pens;
        std::vector<std::string> labels;
        for (const CadPrimitive& p : cad.displayList()) {
            if (p.layer != c.layer) continue;
            if (p.kind == CadPrimitiveKind::Line) pens.push_back(p.pen);
            if (p.kind == CadPrimitiveKind::Text) labels.push_back(p.text);
        }
        EXPECT_EQ(pens, c.pens) << c.kind << " " << c.layer;
        EXPECT_EQ(labels, c.labels) << c.kind;
    }
    // a label every 10 along the line, turned to it, with the label pen and size
    std::vector<CadPrimitive> texts;
    for (const CadPrimitive& p : onLayerType("DiffCont"))
        if (p.kind == CadPrimitiveKind::Text) texts.push_back(p);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(nums(texts[0].points[0].y, texts[0].pen, std::fabs(texts[0].angle) < 1e-9), nums(10.0, 6, true));
    EXPECT_FLOAT_EQ(static_cast<float>(texts[0].height), -15 * 3.527777778f);
}

TEST_F(SavedContours, LongLinesAreSmoothedPieceByPiece) {
    writeContourFile(0, 1, {{2, 10, {{0, 0}, {10, 5}, {20, 0}, {30, 5}, {40, 0}}}});
    paint();
    EXPECT_EQ(onLayerType("GenCont").size(), 4u * 24u);
    coreSetJobDefault("Plan", "Contour", "0,0,0");
    dbfGetDisplaySettings();
    paint();
    EXPECT_EQ(onLayerType("GenCont").size(), 4u);
}

TEST_F(SavedContours, WithoutTheFileContoursAreComputed) {
    const unsigned b = add("B", 100, 0, 12.7), c = add("C", 100, 100, 11.5);
    SURVCOORD a{};
    unsigned na = 0;
    char name[] = "A";
    ASSERT_EQ(dbfFindName(name, na, a), 1);
    ASSERT_EQ(dbfAddLine(na, b, 1, 0) + dbfAddLine(b, c, 1, 0) + dbfAddLine(na, c, 1, 0), 3);
    paint();
    EXPECT_EQ(onLayerType("QuickCont").size(), 4u);   // 11 and 12 from the two edges each crosses
    // Radial contours round B: drawn with the minor pen, erased with pen 0.
    cad.clearDisplayList();
    dbfRadialCont(b, 0, 1);
    const std::vector<CadPrimitive> drawn = cad.displayList();
    ASSERT_FALSE(drawn.empty());
    for (const CadPrimitive& p : drawn) EXPECT_EQ(p.pen, 9);
    cad.clearDisplayList();
    dbfRadialCont(b, 0, 0);
    ASSERT_EQ(cad.displayList().size(), drawn.size());
    for (const CadPrimitive& p : cad.displayList()) EXPECT_EQ(p.pen, 0);
    cad.clearDisplayList();
    dbfRadialCont(b, 99999, 1);   // a required point on no polygon: nothing
    EXPECT_TRUE(cad.displayList().empty());
}

TEST_F(SavedContours, GridsAsLinesOrCrosses) {
    showOnly({kFlagGrids});
    struct Case {
        const char* grids;
        std::size_t lines, texts;
    };
    // view -50..150 widened by the margin: -70..172; multiples of 100 from -100 to 200
    const Case cases[] = {{"0,100,10,3,50", 8, 16}, {"1,100,10,3,50", 32, 0}, {"1,1000,10,3,50", 18, 0}};
    for (const Case& c : cases) {
        coreSetJobDefault("Plan", "Grids", c.grids);
        paint();
        EXPECT_EQ(nums(cad.count(CadPrimitiveKind::Line, "Grid"), cad.count(CadPrimitiveKind::Text, "Grid")), nums(c.lines, c.texts)) << c.grids;
    }
}

TEST_F(SavedContours, BlockGridCoversThePointsInWholeCells) {
    showOnly({kFlagBlocks});
    paint();
    const std::vector<std::string> labels = texts("BlockLimits");
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels.front().front(), '[');
    RRect site{};
    double size = 0;
    dbfGetExtents(&site, size);
    for (const CadPrimitive& p : onLayerType("BlockLimits"))
        if (p.kind == CadPrimitiveKind::Line) {
            const double along = std::fmod(p.points[0].y - site.minY + 1e-6, size);
            EXPECT_TRUE(along < 1e-3 || std::fmod(p.points[0].x - site.minX + 1e-6, size) < 1e-3);
        }
}

TEST_F(SavedContours, SnapNeedsPointsShown) {
    double y = 1, x = 2;
    cad.setZoomRect(-50, -50, 50, 50);
    dbfSetDisplayFlag(kFlagPoints, 1);
    EXPECT_EQ(cad.snap(y, x), 1);
    EXPECT_EQ(nums(y, x), nums(0, 0));
    dbfSetDisplayFlag(kFlagPoints, 0);
    y = 1;
    EXPECT_EQ(cad.snap(y, x), 0);
    EXPECT_EQ(y, 1);
    cad.gsSetCurrCoord(3, 4);
    DTMSnap();
    double cy = 9, cx = 9;
    cad.gsGetCurrCoord(cy, cx);
    EXPECT_EQ(nums(cy, cx), nums(0, 0));
    EXPECT_EQ(cad.macros().back(), "#ENTERPT");
}

}  // namespace
