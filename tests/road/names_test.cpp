// Chainage names, chainage equations and layer names.
#include "database/frame.h"
#include "road/road_fixture.h"

namespace {

class RoadNamesTest : public RoadTest {
protected:
    static std::string name(double chainage, int decimals, const char* separator, BYTE kind = 0,
                            WORD number = 0, int withChainage = 0, int size = 64, int numberBase = 0) {
        CHGBASE chg{};
        chg.chainage = chainage;
        chg.kind = kind;
        chg.number = number;
        char text[64];
        dbfChgName(text, size, chg, numberBase, decimals, CString(separator), withChainage);
        return text;
    }

    static void writeDesign(const char* section, const std::vector<std::string>& lines) {
        INI_LIST* des = dbfGetDesFile();
        des->DeleteSection(section);
        for (const std::string& line : lines) des->AddLine(section, line.c_str());
        des->Save();
    }
};

TEST_F(RoadNamesTest, ChainagesCurvePointsAndOtherKinds) {
    // The last ordinary row is cut to the buffer; a kind without a name gives " ".
    const struct {
        double chainage;
        int decimals;
        const char* separator;
        BYTE kind;
        WORD number;
        int withChainage, size, numberBase;
        const char* expected;
    } cases[] = {
        {12045.0, 3, "+", 0, 0, 0, 64, 0, "12+045"},         {12045.25, 3, "+", 0, 0, 0, 64, 0, "12+045.250"},
        {12045.25, 0, "km", 0, 0, 0, 64, 0, "12km045"},      {12005.5, 1, "+", 0, 0, 0, 64, 0, "12+005.5"},
        {845.25, 3, "+", 0, 0, 0, 64, 0, "845.250"},         {12045.25, 3, "", 0, 0, 0, 64, 0, "12045.250"},
        {845.0, 3, "", 0, 0, 0, 64, 0, "845"},               {12045.25, 7, "+", 0, 0, 0, 64, 0, ""},
        {12045.0, 3, "+", 6, 0, 0, 64, 0, "12+045"},         {12045.25, 3, "+", 0, 0, 0, 5, 0, "12+0"},
        {12045.25, 2, "+", kChgCurveStart, 3, 0, 64, 0, "BC3"}, {12045.25, 2, "+", kChgCurveStart, 3, 1, 64, 0, "BC3: 12+45.25"},
        {12045.0, 2, "+", kChgTransitionEnd, 1, 1, 64, 0, "ETC1: 12+45"}, {500.5, 1, "+", kChgTransitionStart, 2, 1, 64, 0, "BTC2: 500.5"},
        {100.0, 2, "+", 5, 0, 0, 64, 0, " "},                {0.0, 2, "+", kChgCurveEnd, 4, 0, 32, 10, "EC14"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(name(c.chainage, c.decimals, c.separator, c.kind, c.number, c.withChainage, c.size, c.numberBase), c.expected)
            << c.chainage << " " << c.decimals << " " << int(c.kind);
}

TEST_F(RoadNamesTest, EquationsFromTheDesignSettings) {
    writeDesign("LongShort", {"1000,2000,50", "3000, 4000, -20", "1,2,3", "4,5,6", "7,8,9", "100,200,1"});
    dbfRoadLoadEquations();
    EXPECT_EQ(roadState().equationCount, 5);
    // The sixth line is not read.
    EXPECT_EQ(std::vector({dbfChgEquation(1500.0), dbfChgEquation(1000.0), dbfChgEquation(2000.0), dbfChgEquation(3500.0),
                           dbfEquationChg(1500.0), dbfChgEquation(150.0)}),
              std::vector({1550.0, 1000.0, 2050.0, 3480.0, 1450.0, 150.0}));
    // Opening a road (or asking again while it is open) fills the table afresh.
    writeDesign("LongShort", {"10,20,1"});
    dbfRoadInit(1, 1);
    EXPECT_EQ(roadState().equationCount, 1);
    EXPECT_DOUBLE_EQ(dbfChgEquation(15.0), 16.0);
}

TEST_F(RoadNamesTest, LayerNamesNumbersAndTheComboBox) {
    writeDesign("RoadLayerNames", {"3,Kerb", " 5 , Base course ", "200,Nowhere", "x,y"});
    roadState().layerNamesLoaded = false;
    char text[32];
    for (const auto& [layer, shown] : {std::pair{3, "Kerb"}, {5, "Base course"}, {4, "Layer 4"}, {0, "No Layer"}, {129, "No Layer"}})
        EXPECT_STREQ(dbfRoadLayerName(text, layer, 0), shown) << layer;

    char query[32] = "  kerb ";
    EXPECT_EQ(dbfRoadLayerNumber(query), 3);
    EXPECT_STREQ(query, "kerb");
    char strings[] = "<From Strings>";
    EXPECT_EQ(dbfRoadLayerNumber(strings), 129);
    char unknown[] = "Gravel";
    EXPECT_EQ(dbfRoadLayerNumber(unknown), 1);

    CComboBox box;
    EXPECT_EQ(dbfRoadLayerBox(&box, 5, 0), 1);
    EXPECT_EQ(std::pair(box.GetCount(), box.GetCurSel()), std::pair(128, 4));
    CString entry;
    box.GetLBText(2, entry);
    EXPECT_EQ(entry, "Kerb");
    EXPECT_EQ(dbfRoadLayerBox(&box, 0, 0), 5);
    EXPECT_EQ(dbfRoadLayerBox(&box, -300, 0), 1);
    EXPECT_EQ(box.GetCurSel(), 127);
    box.SetCurSel(-1);
    EXPECT_EQ(dbfRoadLayerBox(&box, 0, 0), 1);
    EXPECT_EQ(dbfRoadLayerBox(&box, 999, 0), 1);
    EXPECT_EQ(box.GetCurSel(), 127);

    // Another road's names come from its own design settings file.
    dbtest::writeFile(file("Site.2.des"), "[RoadLayerNames]\n3,Sidewalk\n");
    EXPECT_EQ(dbfRoadLayerBox(&box, 1, 2), 1);
    box.GetLBText(2, entry);
    EXPECT_EQ(entry, "Sidewalk");
    roadState().layerNamesLoaded = false;
    EXPECT_STREQ(dbfRoadLayerName(text, 3, 1), "Kerb");
}

}  // namespace
