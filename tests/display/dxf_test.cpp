// The DXF export: entity records of each export layer, read back from the stream.
#include <cstdio>
#include <cstring>
#include <string>

#include "display/display_fixture.h"
#include "platform/proj.h"

namespace {

class DxfExport : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        openDisplay();
        cad.setZoomRect(-50, -50, 250, 250);
        projSetParameters(1, -1, 0, 0);
    }

    std::string exported(int format = 0) {
        FILE* f = std::tmpfile();
        dbfSiteExport(format, f);
        std::string text;
        std::rewind(f);
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
        std::fclose(f);
        return text;
    }

    static int countOf(const std::string& text, const std::string& what) {
        int n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }

    static std::string valueAfter(const std::string& text, const std::string& group) {
        const std::size_t at = text.find(group);
        if (at == std::string::npos) return "";
        const std::size_t start = at + group.size();
        return text.substr(start, text.find('\n', start) - start);
    }

    static std::string pen1() { return std::to_string(dbfTerrainPen(1)); }
};

TEST_F(DxfExport, PointPositionFollowsTheHemisphereRule) {
    add("P", 200, 100, 5);
    showOnly({kFlagPoints});
    coreSetJobDefault("DXF Export", "Points", "SURVEY_POINTS");
    struct Case {
        const char* acad;
        int hemisphere;
        const char* y;
        const char* x;
    };
    const Case cases[] = {{"1", 0, "-200.000", "-100.000"}, {"0", 0, "200.000", "100.000"}, {"1", 1, "200.000", "100.000"}};
    for (const Case& k : cases) {
        coreSetJobDefault("DXF Export", "AutoCADCompatible", k.acad);
        projSetParameters(k.hemisphere, -1, 0, 0);
        EXPECT_EQ(exported(), "  0\nPOINT\n  8\nSURVEY_POINTS\n 62\n" + pen1() + "\n 10\n" + k.y + "\n 20\n" + k.x +
                                  "\n 30\n5.000\n")
            << k.acad << " " << k.hemisphere;
    }
}

TEST_F(DxfExport, LineTypesByStyleModuloSeven) {
    const std::pair<int, const char*> cases[] = {{7, "CENTERDD"}, {14, "CENTERDD"}, {8, "CONTINUOUS"}, {1, "CONTINUOUS"},
                                                 {2, "DASHED"},   {3, "DASHEDMID"}, {4, "DASHEDSMAL"}, {5, "DOTTED"},
                                                 {6, "CENTER"},   {21, "CENTERDD"}};
    for (const auto& [style, type] : cases) EXPECT_STREQ(dbfDxfLineType(style), type) << style;
}

TEST_F(DxfExport, NamesAndHeightsTextsWholeAndSplit) {
    add(" A1 ", 10, 20, 101.456);
    showOnly({kFlagPoints, kFlagNames, kFlagHeights});
    coreSetJobDefault("Terrain", "LabelDecimals", "2");
    dbfGetDisplaySettings();
    showOnly({kFlagPoints, kFlagNames, kFlagHeights});
    coreSetJobDefault("DXF Export", "Heights", "HGT");
    coreSetJobDefault("DXF Export", "Names", "NAM");
    coreSetJobDefault("DXF Export", "AutoCADCompatible", "0");
    const std::string p = pen1();
    auto text = [&](const char* layer, const char* y, const char* value, const char* h, const char* v, const char* ay) {
        return "  0\nTEXT\n  8\n" + std::string(layer) + "\n 62\n" + p + "\n 10\n" + y + "\n 20\n20.000\n 30\n101.456\n 40\n3.527\n  1\n" +
               value + "\n 72\n" + h + "\n 73\n" + v + "\n 11\n" + ay + "\n 21\n20.000\n 31\n101.456\n";
    };
    const std::string name = text("NAM", "10.000", "A1", "1", "3", "10.000");
    EXPECT_EQ(exported(), text("HGT", "10.000", "101.46", "1", "1", "10.000") + name);

    coreSetJobDefault("Plot", "SplitHgtDecimal", "1");
    EXPECT_EQ(exported(), text("HGT", "10.000", "101", "2", "1", "8.000") + text("HGT", "12.000", "46", "0", "1", "12.000") +
                              "  0\nPOINT\n  8\nHGT\n 62\n" + p + "\n 10\n10.000\n 20\n20.000\n 30\n101.456\n" + name);
}

TEST_F(DxfExport, FeatureLinesWithTheirTypesAndAnEmptyLayerName) {
    const unsigned a = add("A", 0, 0, 10), b = add("B", 100, 0, 12), c = add("C", 100, 100, 11);
    ASSERT_EQ(dbfAddLine(a, b, 0, 0), 1);
    ASSERT_EQ(dbfAddLine(a, c, 1, 0), 1);
    coreSetJobDefault("Terrain", "LineTypes", "3,6");
    dbfGetDisplaySettings();
    showOnly({kFlagLines});
    coreSetJobDefault("DXF Export", "AutoCADCompatible", "0");
    const std::string text = exported();
    EXPECT_EQ(countOf(text, "  0\nLINE\n"), 2);
    EXPECT_EQ(countOf(text, "  0\nLINE\n  8\n\n  6\nDASHEDMID\n"), 1);
    EXPECT_EQ(countOf(text, "  0\nLINE\n  8\n\n  6\nCENTER\n"), 1);
    EXPECT_EQ(countOf(text, "\n100.000\n 21\n100.000\n 31\n11.000\n"), 1) << text;
    // a name longer than 32 characters is cut
    coreSetJobDefault("DXF Export", "Lines", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
    EXPECT_EQ(countOf(exported(), "  8\nABCDEFGHIJKLMNOPQRSTUVWXYZ012345\n"), 2);
}

TEST_F(DxfExport, EscapeDuringTheLinesKeepsThePointsAndSkipsTheRest) {
    const unsigned a = add("A", 0, 0, 10), b = add("B", 100, 0, 12), c = add("C", 100, 100, 11);
    ASSERT_EQ(dbfAddLine(a, b, 0, 0), 1);
    ASSERT_EQ(dbfAddLine(b, c, 0, 0), 1);
    ASSERT_EQ(dbfAddLine(a, c, 0, 0), 1);
    showOnly({kFlagPoints, kFlagLines, kFlagContours});
    for (const char* key : {"Points", "Lines", "Contours"}) coreSetJobDefault("DXF Export", key, key);
    const std::string all = exported();
    EXPECT_EQ(countOf(all, "  8\nPoints\n"), 3);
    EXPECT_GT(countOf(all, "  8\nLines\n"), 0);
    EXPECT_GT(countOf(all, "  8\nContours\n"), 0);
    cad.pressEscapeAtCheck(4);   // three checks by the points, the fourth in the lines
    const std::string cut = exported();
    EXPECT_EQ(countOf(cut, "  8\nPoints\n"), 3);
    EXPECT_EQ(countOf(cut, "  8\nContours\n"), 0);
    EXPECT_EQ(cad.progress().total, 0);
}

TEST_F(DxfExport, NothingForOtherFormatsAClosedTerrainOrNoPerimeter) {
    add("LONE", 10, 10, 1);
    showOnly({kFlagPoints, kFlagSlopeShading});
    EXPECT_EQ(exported(1), "");
    EXPECT_EQ(countOf(exported(), "3DFACE"), 0);
    EXPECT_TRUE(ui.showed("Slope shading: No perimeter could be found\nConnecting line not found"));
    dbfTerrainInit(0);
    EXPECT_EQ(exported(), "");
}

TEST_F(DxfExport, ShadingFacesCarryTheirClassNumber) {
    const unsigned a = add("A", 0, 0, 10), b = add("B", 100, 0, 10), c = add("C", 100, 100, 10);
    ASSERT_EQ(dbfAddLine(a, b, 0, 0), 1);
    ASSERT_EQ(dbfAddLine(b, c, 0, 0), 1);
    ASSERT_EQ(dbfAddLine(a, c, 0, 0), 1);
    coreSetJobDefault("HeightShade", "Category0", "0.00,5.00");
    coreSetJobDefault("HeightShade", "Category1", "5.00,15.00");
    dbfGetDisplaySettings();
    showOnly({kFlagHeightShading});
    coreSetJobDefault("DXF Export", "HeightShade", "SHADE");
    coreSetJobDefault("DXF Export", "AutoCADCompatible", "0");
    const std::string text = exported();
    ASSERT_EQ(countOf(text, "  0\n3DFACE\n  8\nSHADE\n  6\nCONTINUOUS\n 62\n2\n"), 1) << text;
    // the third corner repeated as the fourth
    for (const auto& [third, fourth] : {std::pair{" 12\n", " 13\n"}, {" 22\n", " 23\n"}, {" 32\n", " 33\n"}})
        EXPECT_EQ(valueAfter(text, third), valueAfter(text, fourth)) << third;
    EXPECT_EQ(valueAfter(text, " 32\n"), "10.000");
}

}  // namespace
