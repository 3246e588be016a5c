// The roads layer over the open road's work file: road lines by relative point number, the
// centre line with its chainage ticks, the curve points.
#include <cmath>
#include <map>

#include "database/road.h"
#include "display/display_fixture.h"

namespace {

class RoadLayer : public DisplayTest {
protected:
    static double round(double v) { return std::round(v * 1e6) / 1e6 + 0.0; }

    void SetUp() override {
        DisplayTest::SetUp();
        openDisplay();
        dbfRoadInit(1, 1);
        ASSERT_EQ(dbfRoadIsOpen(), 1);
        for (double chg : {0.0, 20.0, 40.0}) {
            CHGBASE rec{};
            const unsigned idx = dbfInsertChainage(chg, &rec);
            rec.x = chg;   // the road runs along x
            rec.y = 0.0;
            if (chg == 20.0) {
                rec.kind = kChgCurveStart;
                rec.number = 1;
            }
            ASSERT_EQ(dbfStoreChg(idx, &rec), 1);
            XSECTION xs{};
            for (double offset : {-5.0, 0.0, 5.0}) xs.points[xs.count++] = SECTMEM{offset, 10.0, 0.0, 0};
            ASSERT_EQ(dbfStoreSect(chg, 1, &xs), 1);
        }
    }

    void TearDown() override {
        ui.defaultAnswer = IDNO;
        if (dbfRoadIsOpen()) dbfRoadInit(0, 1);
        DisplayTest::TearDown();
    }
};

TEST_F(RoadLayer, LinesCentreLineTicksAndCurvePoints) {
    coreSetJobDefault("RoadLines", "Line1", "1,-99,3,0.5,2");
    coreSetJobDefault("RoadLines1", "Line1", "1,99,4,0.5,2");   // road 1's own rule wins
    coreSetJobDefault("RoadLines", "Line2", "1,0,6,0,0");      // no relative point: not drawn
    coreSetJobDefault("Plan", "RoadText", "40");
    dbfGetDisplaySettings();
    showOnly({kFlagRoads});
    paint(-50, -10, 50, 60);
    std::map<std::string, std::vector<std::vector<double>>> lines;
    std::vector<std::string> labels;
    for (const CadPrimitive& p : cad.displayList()) {
        if (p.kind == CadPrimitiveKind::Line)
            lines[p.layerType].push_back({round(p.points[0].y), round(p.points[0].x), round(p.points[1].y),
                                          round(p.points[1].x), double(p.pen), double(p.style)});
        if (p.kind == CadPrimitiveKind::Text) labels.push_back(p.layerType + " " + p.text);
    }
    using Rows = std::vector<std::vector<double>>;
    EXPECT_EQ(lines["Line"], (Rows{{5, 0, 5, 20, 4, 2}, {5, 20, 5, 40, 4, 2}}));
    EXPECT_EQ(lines["Centre"], (Rows{{0, 0, 0, 20, 1, 0}, {0, 20, 0, 40, 1, 0}}));
    ASSERT_EQ(lines["Label"].size(), 2u);   // ticks at 0 and 40
    EXPECT_EQ(lines["Label"][1], (std::vector<double>{-3, 40, 3, 40, 1, 0}));
    EXPECT_EQ(labels, (std::vector<std::string>{"Label 0.00", "Label 40.00", "Curves BC1: 20"}));
    EXPECT_EQ(cad.count(CadPrimitiveKind::Circle), 1);
    EXPECT_EQ(cad.displayList().front().layer, "Road1Line");

    // a road switched off in its display entry is passed over
    coreSetJobDefault("Terrain", "ShowRoad1", "0,1,Road{NUMBER}{TYPE}");
    dbfGetDisplaySettings();
    showOnly({kFlagRoads});
    paint(-50, -10, 50, 60);
    EXPECT_TRUE(cad.displayList().empty());
}

}  // namespace
