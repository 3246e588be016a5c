// The record access family: moves, seeks, fields, display columns.
#include <cmath>
#include <cstring>
#include <functional>
#include <tuple>
#include <vector>

#include "network/network_test_util.h"

using nettest::C;

class RecordsTest : public NetworkTest {
protected:
    void SetUp() override {
        NetworkTest::SetUp();
        ASSERT_NE(openSewer(), nullptr);
        ini = dbfSewerGetIniFile();
        ASSERT_NE(ini, nullptr);
        ini->SetString("Link Type 4", "Name", "Box Culvert");
        ini->SetString("Link Type 4", "Type", "Box");
        ini->SetString("Link Type 4", "Set1", "600,300,0,290");
        ini->SetString("Link Type 5", "Name", "Lined Channel");
        ini->SetString("Link Type 5", "Type", "Open Drain");
    }

    void add(std::initializer_list<std::pair<const char*, const char*>> values) { appendWith(dbfState().sewerTable, values); }

    std::string show(const char* name) { return displayOf(dbfSewerGetFieldString, name); }
    // A move's result and the record it leaves the sewer table on.
    static std::pair<int, int> landed(int rc) { return {rc, dbfSewerGetRecordNo()}; }
    // Each row: a column and the text it shows for the current record.
    void expectShown(std::initializer_list<std::pair<const char*, const char*>> rows) {
        for (const auto& [name, text] : rows) EXPECT_EQ(show(name), text) << name;
    }

    // What the storm table's columns show for the current record, joined by "|".
    static std::string stormShows(std::initializer_list<const char*> names) {
        std::string out;
        for (const char* name : names) out += (out.empty() ? "" : "|") + displayOf(dbfStormGetFieldString, name);
        return out;
    }

    TINIFile* ini = nullptr;
};

TEST_F(RecordsTest, MovesSeeksAndOrders) {
    add({{"NODE", "MH2"}, {"NEXT_NODE", "MH3"}});
    add({{"NODE", "MH10"}, {"NEXT_NODE", "MH2"}});
    add({{"NODE", "MH1"}, {"NEXT_NODE", "MH10"}});
    EXPECT_EQ(dbfSewerGetRecordCount(), 3);
    for (int outside : {0, 4}) EXPECT_EQ(dbfSewerGetRecord(outside), -2) << outside;
    EXPECT_EQ(landed(dbfSewerGetRecord(3)), std::pair(0, 3));
    EXPECT_EQ(landed(dbfSewerBottom()), std::pair(0, 3));

    ASSERT_EQ(dbfSewerSetIndex(C("NODE")), 0);
    dbfSewerGetFirstRecord();
    EXPECT_EQ(dbfSewerGetRecordNo(), 3);   // MH1 first in node order
    EXPECT_EQ(landed(dbfSewerGetNextRecord()), std::pair(0, 2));   // then MH10
    EXPECT_EQ(dbfSewerSetIndex(C("NO_SUCH")), -2);
    EXPECT_EQ(dbfSewerSetIndex(C("")), 0);
    dbfSewerGetFirstRecord();
    EXPECT_EQ(dbfSewerGetRecordNo(), 1);

    EXPECT_EQ(landed(dbfSewerGetRecordNextNode(C("MH10"))), std::pair(0, 3));
    EXPECT_EQ(landed(dbfSewerSeekRecord(C("MH2"), C("NODE"))), std::pair(0, 1));
    EXPECT_EQ(d4tagSelected(dbfState().sewerTable), nullptr) << "the order that was current comes back";

    // A tag the table lacks: the message, -2, and the order stays.
    dbfSewerSetIndex(C("NEXT_NODE"));
    TAG4* before = d4tagSelected(dbfState().sewerTable);
    EXPECT_EQ(dbfSewerSeekRecord(C("MH2"), C("LINK_NAME")), -2);
    EXPECT_TRUE(ui.showed("Unable to select index"));
    EXPECT_EQ(d4tagSelected(dbfState().sewerTable), before);
    ui.clear();
    EXPECT_EQ(dbfSewerGetRecordNode(C("MH15")), r4after);
    EXPECT_EQ(dbfSewerGetRecordNode(C("MH9")), r4eof);
    EXPECT_FALSE(ui.showed("Unable to select index"));
}

TEST_F(RecordsTest, FieldsReadAndWriteByName) {
    add({{"NODE", "MH1"}, {"SUBNET", "0012"}, {"Z_COORD", "101.25"}, {"SELECTED", "T"}});
    dbfSewerGetFirstRecord();
    char out[64] = "untouched";
    dbfSewerGetField(C("NO_FIELD"), out, true);
    EXPECT_STREQ(out, "untouched");
    dbfSewerGetField(C("NODE"), out, false);
    EXPECT_EQ(std::strlen(out), 25u);
    dbfSewerGetField(C("NODE"), out, true);
    EXPECT_STREQ(out, "MH1");
    EXPECT_EQ(std::tuple(dbfSewerGetFieldInt(C("SUBNET")), dbfSewerGetFieldInt(C("NO_FIELD")), dbfSewerGetFieldDouble(C("Z_COORD")),
                         dbfSewerGetFieldBool(C("SELECTED")), dbfSewerGetFieldBool(C("LOCK_Z"))),
              std::tuple(12, 0, 101.25, true, false));

    dbfSewerSetField(C("GEOCODE"), C("G1"));
    dbfSewerSetFieldBool(C("LOCK_Z"), true);
    dbfSewerSetFieldBool(C("SELECTED"), false);
    dbfSewerSetFieldInt(C("SIZE1"), 300);
    dbfSewerSetFieldDouble(C("LENGTH"), 12.3456);
    dbfSewerSetField(C("NO_FIELD"), C("ignored"));
    dbfSewerGetField(C("SELECTED"), out, true);
    EXPECT_EQ(std::tuple(dbfSewerGetFieldBool(C("LOCK_Z")), std::string(out), dbfSewerGetFieldInt(C("SIZE1")), show("GEOCODE")),
              std::tuple(true, "F", 300, "G1"));
    EXPECT_DOUBLE_EQ(dbfSewerGetFieldDouble(C("LENGTH")), 12.346);

    // With no table every member says so and gives its empty result.
    dbfSewerCloseFile(false);
    ui.clear();
    EXPECT_EQ(dbfSewerGetFirstRecord(), -2);
    EXPECT_EQ(dbfSewerGetRecordCount(), 0);
    int width = 7, type = 7;
    dbfSewerGetFieldInfo(C("NODE"), width, type);
    EXPECT_EQ(std::pair(width, type), std::pair(0, 0));
    EXPECT_TRUE(ui.showed("No sewer database"));
    EXPECT_EQ(dbfErfConGetRecordCount(), 0);
    EXPECT_TRUE(ui.showed("No erf connection database"));
    EXPECT_EQ(dbfStormGetNextRecord(), -2);
    EXPECT_TRUE(ui.showed("No storm database"));
}

// A value its field cannot hold is refused with the field's definition, and the record keeps
// every byte it had.
TEST_F(RecordsTest, SetFieldRefusesWhatTheFieldCannotHold) {
    add({{"NODE", "MH1"}, {"SIZE1", "160"}, {"SUBNET", "0001"}, {"INLEVEL", "101.5"}});
    dbfSewerGetFirstRecord();
    const auto record = [] {
        std::string bytes;
        DATA4* data = dbfState().sewerTable;
        for (int j = 1; j <= d4numFields(data); ++j) bytes += f4str(d4fieldJ(data, j));
        return bytes;
    };
    const std::string forty(40, 'N');
    const std::vector<std::pair<std::function<void()>, const char*>> cases = {
        {[] { dbfSewerSetField(C("SIZE1"), C("abc")); }, "SIZE1: \"abc\" is not a number (the field is N, width 5, 0 decimals)"},
        {[] { dbfSewerSetField(C("SELECTED"), C("maybe")); }, "SELECTED: \"maybe\" is not a logical value"},
        {[] { dbfSewerSetField(C("SIZE1"), C("999999")); }, "is too large for the field"},
        {[] { dbfSewerSetField(C("INLEVEL"), C("1.1234567")); }, "has more decimals than the field keeps"},
        {[&] { dbfSewerSetField(C("NEXT_NODE"), C(forty.c_str())); }, "is longer than the field (the field is C, width 25"},
        {[] { dbfSewerSetFieldDouble(C("INLEVEL"), std::nan("")); }, "INLEVEL: \"nan\" is not a finite number"},
        {[] { dbfSewerSetFieldDouble(C("SIZE1"), 1e6); }, "is too large for the field"},
        {[] { dbfSewerSetFieldInt(C("SIZE1"), 100000); }, "SIZE1: \"100000\" is too large"},
        {[] { dbfSewerSetFieldInt(C("SUBNET"), 10000); }, "SUBNET: \"10000\" is too large"},
        {[] { dbfSewerSetFieldInt(C("SUBNET"), -1); }, "SUBNET: \"-1\" is not a whole number from 0"},
    };
    const std::string before = record();
    for (const auto& [set, message] : cases) {
        ui.clear();
        set();
        EXPECT_TRUE(ui.showed(message)) << message;
        EXPECT_EQ(record(), before) << message;
    }
}

TEST_F(RecordsTest, EveryComputedColumnHasItsWidthAndType) {
    // "UNITINFLOW6" is neither a field nor a column: the results stay untouched.
    const std::vector<std::tuple<const char*, int, char>> expected = {
        {"SIZE", 15, 'C'},       {"FIXSIZE", 15, 'C'},     {"UNITINFLOW1", 22, 'C'}, {"UNITINFLOW5", 22, 'C'},
        {"HYDROINFLOW3", 22, 'C'}, {"RATAREA", 9, 'N'},    {"ILLAREA", 9, 'N'},      {"TOTALVOL", 10, 'N'},
        {"SLOPERATIO", 7, 'N'},  {"GRADE", 9, 'N'},        {"SOFFIT", 9, 'N'},       {"REALDEPTH", 6, 'N'},
        {"BRANCH", 4, 'N'},      {"LINKNO", 4, 'N'},       {"SUBNET", 4, 'N'},       {"INLEVEL", 9, 'N'},
        {"OUTLEVEL", 9, 'N'},    {"L_SHAPE", 20, 'C'},     {"NODE_TYPE", 12, 'C'},   {"NODE", 22, 'C'},
        {"NEXT_NODE", 22, 'C'},  {"FIX_SLOPE", 10, 'N'},   {"LOCK_Z", 1, 'L'},       {"L_TYPE", 15, 'C'},
    };
    for (const auto& [name, width, type] : expected) {
        int w = -1, t = -1;
        dbfSewerGetFieldInfo(C(name), w, t);
        EXPECT_EQ(std::pair(w, t), std::pair(width, int(type))) << name;
    }
    int w = -1, t = -1;
    dbfSewerGetFieldInfo(C("UNITINFLOW6"), w, t);
    EXPECT_EQ(std::pair(w, t), std::pair(-1, -1)) << "neither a field nor a column: untouched";
}

TEST_F(RecordsTest, DisplayTextsOfTheLinkTableColumns) {
    // A pipe of two barrels, a box, and a link type the settings do not know.
    add({{"NODE", "P"}, {"L_TYPE", "Concrete Pipe"}, {"SIZE1", "450"}, {"SIZE2", "0"}, {"NO", "2"},
         {"FIX_SIZE1", "375"}, {"INLEVEL", "100.5"}, {"OUTLEVEL", "99.25"}, {"FLOWDEPTH", "50"},
         {"VELOCITY", "1.98"}, {"HYDGRADE", "0.75"}, {"SLOPE", "0"}, {"AREA", "1234.5"},
         {"PAVED_VOL", "10.04"}, {"GRASS_VOL", "5.02"}, {"INF1_UNITS", "3"}, {"INF1_CLASS", "Residential"},
         {"INF2_UNITS", "0"}, {"INF2_CLASS", "Flats"}, {"INF3_UNITS", "4"}, {"INF3_CLASS", "None yet"},
         {"INF1_HYDRO", "Daily"}, {"BRANCH", "0012"}, {"MH_DEPTH", "1.5"}, {"BEDDING", "Class B  "}});
    add({{"NODE", "B"}, {"L_TYPE", "Box Culvert"}, {"SIZE1", "600"}, {"SIZE2", "300"}, {"NO", "1"},
         {"INLEVEL", "10"}, {"FLOWDEPTH", "40"}, {"SLOPE", "0.5"}});
    add({{"NODE", "U"}, {"L_TYPE", "Mystery"}, {"SIZE1", "100"}, {"NO", "1"}});
    add({{"NODE", "R"}, {"L_TYPE", "Pump"}, {"L_REF", "PumpSet A"}, {"INLEVEL", "20"}, {"HYDGRADE", "3.5"}});

    dbfSewerGetRecord(1);
    expectShown({{"SIZE", "2 x 450"}, {"FIXSIZE", "2 x 375"}, {"L_TYPE", "Concrete Pipe"},
                 {"UNITINFLOW1", "3 x Residential"},
                 {"UNITINFLOW2", ""},  // no units
                 {"UNITINFLOW3", ""},  // a class beginning with None
                 {"HYDROINFLOW1", "3 x Daily"},
                 // The sewer table has no areas or volumes: they read as 0.
                 {"RATAREA", "0.000"}, {"TOTALVOL", "0.0"}, {"SLOPERATIO", "0.0000"},
                 // V^2/19.62 + inlevel + flow depth: 0.2 + 100.5 + 0.5 x 0.45
                 {"GRADE", "100.925"}, {"SOFFIT", "100.950"}, {"REALDEPTH", "0.225"}, {"BRANCH", "12"},
                 {"INLEVEL", "100.500"}, {"OUTLEVEL", "99.250"}, {"MH_DEPTH", "1.500"}, {"BEDDING", "Class B"},
                 {"NO_SUCH", "Unknown"}});
    dbfSewerGetRecord(2);  // a box's height is its second size
    expectShown({{"SIZE", "600 x 300"}, {"SLOPERATIO", "200.0000"}, {"SOFFIT", "10.300"}, {"REALDEPTH", "0.120"}});
    dbfSewerGetRecord(3);
    expectShown({{"SIZE", "Unknown"}, {"SOFFIT", "0.000"}});
    dbfSewerGetRecord(4);
    expectShown({{"SIZE", "PumpSet A"}, {"GRADE", "23.500"}});
    ini->SetString("Design Parameters", "Inflow Method", "SWMM");
    EXPECT_EQ(show("GRADE"), "3.500");
}

TEST_F(RecordsTest, StormDisplaysSwmmSizesInSwmmMode) {
    dbfSewerCloseFile(false);
    ASSERT_NE(openStorm(), nullptr);
    TINIFile* storm = dbfStormGetIniFile();
    ASSERT_NE(storm, nullptr);
    storm->SetString("Design Parameters", "Inflow Method", "SWMM");
    storm->SetString("Design Parameters", "Use Link Tables for SWMM", "0");
    struct Case {
        const char* type;
        const char* shape;
        const char* no;
        const char* size;
        const char* lType;
    };
    const std::vector<Case> cases = {
        {"Conduit", "TRAPEZOIDAL", "1", "1200 x 600", "TRAPEZOIDAL"},
        {"Conduit", "CIRCULAR", "3", "3 x 600", "CIRCULAR"},
        {"Conduit", "RECT_CLOSED", "2", "2 x 600 x 1200", "RECT_CLOSED"},
        {"Conduit", "POWER", "1", "600 x 1200 (Exp 0.250)", "POWER"},
        {"Conduit", "RECT_TRIANGULAR", "2", "2 x 600 x 1200 (TH 250)", "RECT_TRIANGULAR"},
        {"Conduit", "RECT_ROUND", "1", "600 x 1200 (Rad 250)", "RECT_ROUND"},
        {"Conduit", "IRREGULAR", "1", "Section 4", "IRREGULAR"},
        {"Conduit", "CUSTOM", "1", "Unknown", "CUSTOM"},
        {"Pump", "", "1", "P-Curve", ""},
        {"Orifice", "RECT_CLOSED", "4", "600 x 1200", "RECT_CLOSED"},
        {"Orifice", "TRIANGULAR", "1", "Unknown", "TRIANGULAR"},
        {"Weir", "TRAPEZOIDAL", "1", "1200 x 600", "TRAPEZOIDAL"},
        {"Weir", "V-NOTCH", "1", "600 x 1200", "V-NOTCH"},
    };
    for (const Case& c : cases) {
        appendWith(dbfState().stormTable, {{"LINK_TYPE", c.type}, {"L_SHAPE", c.shape}, {"NO", c.no}, {"FIX_SIZE1", "600"},
                                           {"FIX_SIZE2", "1200"}, {"FIX_SIZE3", "250"}, {"TRANS_NAME", "Section 4"},
                                           {"L_REF", "P-Curve"}, {"L_TYPE", "Concrete Pipe"}});
        EXPECT_EQ(stormShows({"SIZE", "FIXSIZE", "L_TYPE"}), std::string(c.size) + "|" + c.size + "|" + c.lType) << c.type << " " << c.shape;
    }
    appendWith(dbfState().stormTable, {{"L_TYPE", "Concrete Pipe"}, {"AREA", "1234.5"}, {"PAVED_VOL", "10.04"}, {"GRASS_VOL", "5.02"}});
    EXPECT_EQ(stormShows({"RATAREA", "ILLAREA", "TOTALVOL"}), "12.345|1234.500|15.1");
    // Link tables on again: the link table's texts come back.
    storm->SetString("Design Parameters", "Use Link Tables for SWMM", "1");
    EXPECT_EQ(displayOf(dbfStormGetFieldString, "L_TYPE"), "Concrete Pipe");
}
