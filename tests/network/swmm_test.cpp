// The storm table's SWMM input file: the network sections written line by line, the lines the
// library does not own kept, node lines renamed, deleted and restored. Every file a test keeps
// (keepForEngine) is run through the SWMM 5 engine by the swmm_engine CTest test.
#include <cstdarg>
#include <filesystem>
#include <map>
#include <sstream>
#include <tuple>

#include "network/network_test_util.h"
#include "platform/proj.h"

namespace fs = std::filesystem;

namespace {

std::string fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    std::string text = buffer;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// The line of a cross-section of four sizes.
const char* const kXsection = "  %-16s %-12s %-10.3f %-10.3f %-10.3f %-10.3f %-10d\n";

// A storm record: node, next node, link type, levels, sizes and the rest by name.
struct Node {
    std::string node;
    std::string next;
    std::string linkType;
    double inlevel;
    std::map<std::string, std::string> more = {};
};

}  // namespace

class SwmmTest : public NetworkTest {
protected:
    void SetUp() override {
        NetworkTest::SetUp();
        projSetParameters(1, -1, 0, 0);
        ASSERT_NE(openStorm(), nullptr);
        data = dbfState().stormTable;
        swmm = dbfStormGetSwmmFile();
        ASSERT_NE(swmm, nullptr);
    }

    void add(const Node& n) {
        append(data, [&](DATA4* d) {
            nettest::set(d, "NODE", n.node.c_str());
            nettest::set(d, "NEXT_NODE", n.next.c_str());
            nettest::set(d, "L_TYPE", n.linkType.c_str());
            nettest::set(d, "INLEVEL", n.inlevel);
            nettest::set(d, "LENGTH", 50.0);
            nettest::set(d, "MH_DEPTH", 2.0);
            for (const auto& [field, value] : n.more) nettest::set(d, field.c_str(), value.c_str());
        });
    }

    // A pipe, a box culvert, an open drain with an overflow node beside its inlet, the outfall.
    void buildNetwork() {
        add({"N1", "N2", "Concrete Pipe", 100.0,
             {{"SIZE1", "450"}, {"FIX_SLOPE", "1"}, {"X_COORD", "1000"}, {"Y_COORD", "2000"}, {"SUBCATCH", "S1"},
              {"AREA", "1.5"}, {"SWMM_LEN", "100"}, {"SWMM_SLOPE", "2"}, {"INIT_DEPTH", "0.1"}}});
        add({"N2", "N3", "Box Culvert", 99.4,
             {{"SIZE1", "900"}, {"SIZE2", "600"}, {"OUTLEVEL", "99.0"}, {"LENGTH", "40"}, {"NO", "2"},
              {"X_COORD", "1040"}, {"Y_COORD", "2000"}, {"SUBCATCH", "S2"}, {"AREA", "0.8"}, {"SWMM_LEN", "80"}}});
        add({"N3", "OUT", "Lined Channel", 98.9,
             {{"L_REF", "T1"}, {"OUTLEVEL", "98.5"}, {"LENGTH", "30"}, {"X_COORD", "1070"}, {"Y_COORD", "2000"}}});
        add({"N3#OF", "OUT2", "Mystery", 99.2,
             {{"OUTLEVEL", "98.6"}, {"IN_OFFSET", "0.3"}, {"X_COORD", "1070"}, {"Y_COORD", "2010"}}});
        add({"OUT", "", "", 98.4, {{"X_COORD", "1100"}, {"Y_COORD", "2000"}}});
        add({"OUT2", "", "", 98.4, {{"X_COORD", "1100"}, {"Y_COORD", "2020"}}});
    }

    std::string onDisk() const { return dbtest::readFile(swmm->FileName()); }

    // The lines of a section of the file on disk, up to the next section.
    std::vector<std::string> section(const std::string& name) const {
        std::istringstream in(onDisk());
        std::vector<std::string> lines;
        bool inside = false;
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line[0] == '[') {
                inside = line == "[" + name + "]";
                continue;
            }
            if (inside && !line.empty()) lines.push_back(line);
        }
        return lines;
    }

    // Every section of a file other than those named, as text.
    static std::map<std::string, std::string> sectionsBut(const std::string& bytes, std::initializer_list<const char*> owned) {
        std::map<std::string, std::string> out;
        std::istringstream in(bytes);
        std::string current = "(top)";
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line[0] == '[') current = line;
            bool skip = false;
            for (const char* name : owned) skip |= current == "[" + std::string(name) + "]";
            if (!skip) out[current] += line + "\n";
        }
        return out;
    }

    void keepForEngine(const std::string& name) const {
        fs::create_directories(SWMM_INPUT_DIR);
        fs::copy_file(swmm->FileName(), fs::path(SWMM_INPUT_DIR) / (name + ".inp"), fs::copy_options::overwrite_existing);
    }

    std::string field(const char* node, const char* name) {
        std::string key = node, tag = "NODE";
        EXPECT_EQ(dbfStormSeekRecord(key.data(), tag.data()), 0) << node;
        char out[64];
        std::string f = name;
        dbfStormGetField(f.data(), out, true);
        std::string text = out;
        return text.substr(std::min(text.find_first_not_of(' '), text.size()));
    }

    DATA4* data = nullptr;
    SWMM_LIST* swmm = nullptr;
};

TEST_F(SwmmTest, EveryNetworkLineIsWrittenInItsFormat) {
    buildNetwork();
    ASSERT_EQ(dbfSwmmUpdateFileFromDB(false), 1);
    EXPECT_TRUE(ui.texts().empty()) << ui.texts()[0];
    keepForEngine("network_design");

    EXPECT_EQ(section("JUNCTIONS"),
              (std::vector<std::string>{
                  ";;                 Invert     Max.       Init.      Surcharge  Ponded    ",
                  ";;Name             Elev.      Depth      Depth      Depth      Area      ",
                  ";;------------------------------------------------------------------------",
                  fmt("  %-16s %-10.3f %-10.3f %-10.3f %-10.3f %-10.3f \n", "N1", 100.0, 2.0, 0.1, 0.0, 0.0),
                  fmt("  %-16s %-10.3f %-10.3f %-10.3f %-10.3f %-10.3f \n", "N2", 99.4, 2.0, 0.0, 0.0, 0.0),
                  fmt("  %-16s %-10.3f %-10.3f %-10.3f %-10.3f %-10.3f \n", "N3", 98.9, 2.0, 0.0, 0.0, 0.0)}));
    EXPECT_EQ(section("OUTFALLS"), (std::vector<std::string>{
                                       ";;                 Invert     Outfall    Stage/Table      Tide",
                                       ";;Name             Elev.      Type       Time Series      Gate",
                                       ";;------------------------------------------------------------",
                                       fmt("  %-16s %-10.3f %-10s %-16s %-4s\n", "OUT", 98.4, "FREE", "", "NO"),
                                       fmt("  %-16s %-10.3f %-10s %-16s %-4s\n", "OUT2", 98.4, "FREE", "", "NO")}));
    const char* conduit = "  %-16s %-16s %-16s %-10.3f %-10.3f %-10.3f %-10.3f %-10.3f %-10.3f\n";
    // Outlet offsets: N1 by its slope (100 - 0.5 - 99.4), the others by OUTLEVEL; the overflow
    // node's conduit leaves its base node N3; a type without a section has roughness 0.011.
    EXPECT_EQ(section("CONDUITS"),
              (std::vector<std::string>{
                  ";;                 Inlet            Outlet                      Manning    Inlet      Outlet     Init.      Maximum",
                  ";;Name             Node             Node             Length     N          Height     Height     Flow       Flow",
                  ";;------------------------------------------------------------------------------",
                  fmt(conduit, "LN1", "N1", "N2", 50.0, 0.013, 0.0, 0.1, 0.0, 0.0),
                  fmt(conduit, "LN2", "N2", "N3", 40.0, 0.013, 0.0, 0.1, 0.0, 0.0),
                  fmt(conduit, "LN3", "N3", "OUT", 30.0, 0.015, 0.0, 0.1, 0.0, 0.0),
                  fmt(conduit, "LN3#OF", "N3", "OUT2", 50.0, 0.011, 0.3, 0.2, 0.0, 0.0)}));
    EXPECT_EQ(section("XSECTIONS"),
              (std::vector<std::string>{
                  ";;Link             Type         Geom1      Geom2      Geom3      Geom4      Barrels",
                  ";;------------------------------------------------------------------------------",
                  fmt(kXsection, "LN1", "CIRCULAR", 0.45, 0.0, 0.0, 0.0, 1),
                  fmt(kXsection, "LN2", "RECT_CLOSED", 0.6, 0.9, 0.0, 0.0, 2),
                  fmt(kXsection, "LN3", "TRAPEZOIDAL", 0.5, 0.5, 1.5, 1.5, 1),
                  fmt(kXsection, "LN3#OF", "CIRCULAR", 0.375, 0.0, 0.0, 0.0, 1)}));
    const char* coordinate = "  %-16s %-16.3f %-16.3f\n";
    EXPECT_EQ(section("COORDINATES"),
              (std::vector<std::string>{";;Node             X-Coord          Y-Coord", fmt(coordinate, "N1", 1000.0, 2000.0),
                                        fmt(coordinate, "N2", 1040.0, 2000.0), fmt(coordinate, "N3", 1070.0, 2000.0),
                                        fmt(coordinate, "OUT", 1100.0, 2000.0), fmt(coordinate, "OUT2", 1100.0, 2020.0)}));
    const auto sub = section("SUBCATCHMENTS");
    ASSERT_EQ(sub.size(), 4u);
    EXPECT_EQ(sub[2], fmt("  %-16s  %-16s %-16s %-8.3f %-8.3f %-8.3f %-8.3f %-8.3f", "S1", "RG1", "N1", 1.5, 50.0, 150.0, 2.0, 0.0));
    EXPECT_EQ(section("SUBAREAS")[2], fmt("  %-16s  %-10.3f %-10.3f %-10.3f %-10.3f %-10.3f %-10s %-10.3f", "S1", 0.015,
                                          0.15, 1.5, 5.0, 25.0, "OUTLET", 100.0));
    EXPECT_EQ(section("INFILTRATION")[2], fmt("  %-16s  %-10.3f %-10.3f %-10.3f %-10.3f %-10.3f", "S1", 75.0, 6.0, 4.0, 7.0, 0.0));
    EXPECT_EQ(section("REPORT").back(), "LINKS ALL");

    // What the update stored back into the table.
    const char* stored[][3] = {{"N1", "LINK_NAME", "LN1"},  {"N1", "FIX_INVERT", "100.000"}, {"N1", "NODE_TYPE", "Junction"},
                               {"OUT", "NODE_TYPE", "Outfall"}, {"N1", "L_SHAPE", "CIRCULAR"}, {"N2", "FIX_SIZE2", "600"},
                               {"N3", "FIX_SIZE3", "1500"}, {"N1", "RAIN_GAGE", "RG1"}};
    for (const auto& [node, name, value] : stored) EXPECT_EQ(field(node, name), value) << node << " " << name;
    EXPECT_EQ(dbfStormGetIniFile()->GetString("SwmmSubcatchRainGages", "S1", ""), "RG1");

    // Written again, the file comes out the same byte for byte.
    const std::string first = onDisk();
    ASSERT_EQ(dbfSwmmUpdateFileFromDB(false), 1);
    EXPECT_EQ(onDisk(), first);
}

TEST_F(SwmmTest, ShapesFollowTheUsersChoiceWhenPreservedWithoutLinkTables) {
    dbfStormGetIniFile()->SetString("Design Parameters", "Use Link Tables for SWMM", "0");
    struct Case {
        const char* shape;
        int sizes[4];        // FIX_SIZE1..4 in millimetres
        double g[4];         // written
    } cases[] = {
        {"CIRCULAR", {600, 300, 1, 1}, {0.6, 0, 0, 0}},
        {"EGG", {900, 0, 0, 0}, {0.9, 0, 0, 0}},
        {"FILLED_CIRCULAR", {900, 200, 5, 5}, {0.9, 0.2, 0, 0}},
        {"HORIZ_ELLIPSE", {1200, 800, 7, 7}, {0.8, 1.2, 0, 0}},
        {"RECT_CLOSED", {1500, 1000, 0, 0}, {1.0, 1.5, 0, 0}},
        {"RECT_OPEN", {800, 2000, 0, 0}, {0.8, 2.0, 0, 0}},
        {"TRIANGULAR", {600, 1800, 0, 0}, {0.6, 1.8, 0, 0}},
        {"TRAPEZOIDAL", {700, 1000, 1500, 2000}, {0.7, 1.0, 1.5, 2.0}},
        {"POWER", {1000, 800, 500, 9}, {0.8, 1.0, 0.5, 0}},
    };
    const int n = static_cast<int>(std::size(cases));
    for (int i = 0; i < n; ++i) {
        const Case& c = cases[i];
        std::map<std::string, std::string> more = {{"L_SHAPE", c.shape}, {"LINK_TYPE", "Conduit"},
                                                   {"LINK_ROUGH", "0.02"}, {"OUTLEVEL", fmt("%d", 199 - i)}};
        for (int k = 0; k < 4; ++k) more[fmt("FIX_SIZE%d", k + 1)] = fmt("%d", c.sizes[k]);
        add({fmt("S%02d", i), fmt("S%02d", i + 1), "Concrete Pipe", 200.0 - i, more});
    }
    add({fmt("S%02d", n), "", "", 200.0 - n});
    ASSERT_EQ(dbfSwmmUpdateFileFromDB(true), 1);
    keepForEngine("shapes_preserved");
    const auto lines = section("XSECTIONS");
    ASSERT_EQ(lines.size(), static_cast<size_t>(n + 2));
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(lines[i + 2], fmt(kXsection, fmt("LS%02d", i).c_str(), cases[i].shape, cases[i].g[0], cases[i].g[1],
                                    cases[i].g[2], cases[i].g[3], 1));
    // The user's roughness stays with the link tables off.
    EXPECT_NE(section("CONDUITS")[3].find(" 0.020 "), std::string::npos);
}

TEST_F(SwmmTest, DrainsPipesAndTheHemisphereZeroAxes) {
    projSetParameters(0, -1, 0, 0);
    add({"D1", "D2", "Lined Channel", 50, {{"L_REF", "V1"}, {"Y_COORD", "100"}, {"X_COORD", "200"}, {"OUTLEVEL", "49.5"}}});
    add({"D2", "D3", "Lined Channel", 49.5, {{"L_REF", "R1"}, {"Y_COORD", "150"}, {"X_COORD", "200"}, {"OUTLEVEL", "49"}}});
    add({"D3", "D4", "Concrete Pipe", 49, {{"SIZE1", "375"}, {"Y_COORD", "200"}, {"X_COORD", "200"}, {"OUTLEVEL", "48.5"}}});
    add({"D4", "", "", 48.5, {{"Y_COORD", "250"}, {"X_COORD", "200"}}});
    ASSERT_EQ(dbfSwmmUpdateFileFromDB(false), 1);
    keepForEngine("drains_hemisphere0");
    // V1: no base width, so the top width is depth x (slope 1 + slope 2) = 300 x 3.
    const auto x = section("XSECTIONS");
    EXPECT_EQ(std::vector(x.begin() + 2, x.end()), (std::vector{fmt(kXsection, "LD1", "TRIANGULAR", 0.3, 0.9, 1.5, 1.5, 1),
                                                                fmt(kXsection, "LD2", "RECT_OPEN", 0.6, 1.0, 0.0, 0.0, 1),
                                                                fmt(kXsection, "LD3", "CIRCULAR", 0.375, 0.0, 0.0, 0.0, 1)}));
    EXPECT_EQ(section("COORDINATES")[1], fmt("  %-16s %-16.3f %-16.3f\n", "D1", -100.0, -200.0));
}

TEST_F(SwmmTest, ANamelessRecordLeavesTheFileAndTheTableUntouched) {
    buildNetwork();
    add({"", "N1", "Concrete Pipe", 101});
    const std::string before = onDisk();
    const int bad = d4recNo(data);
    EXPECT_EQ(dbfSwmmUpdateFileFromDB(false), 0);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{fmt("Record %d has no Node name.", bad)});
    EXPECT_TRUE(onDisk() == before && !swmm->IsModified());
    EXPECT_EQ(field("N1", "LINK_NAME"), "");

    // Missing objects: nothing at all.
    ui.answers = {IDNO};
    dbfStormCloseFile(true);
    ui.clear();
    EXPECT_EQ(dbfSwmmUpdateFileFromDB(true), 0);
    dbfSwmmDeleteNode("Outfall", "OUT");
    EXPECT_TRUE(ui.texts().empty()) << ui.texts()[0];
}

TEST_F(SwmmTest, LinesTheLibraryDoesNotOwnAreKeptByteForByte) {
    const std::string original = onDisk();
    std::string edited = original;
    edited.insert(edited.find("[OPTIONS]"), "; a comment before the options\r\n");
    edited.insert(edited.find("FLOW_ROUTING"), ";; the user's note on routing\n");
    edited += "\n[CURVES]\nC9   Storage  0\t 100\n; with a comment\nC9           5      120  \n\n[JUNCTIONS]\n;; a junction comment\n  OLD 1 1 1 1 1\n";
    dbtest::writeFile(swmm->FileName(), edited);
    swmm->Load();
    buildNetwork();
    ASSERT_EQ(dbfSwmmUpdateFileFromDB(false), 1);
    const auto owned = {"JUNCTIONS", "OUTFALLS", "CONDUITS", "XSECTIONS", "COORDINATES", "SUBCATCHMENTS",
                        "SUBAREAS", "INFILTRATION", "REPORT"};
    EXPECT_EQ(sectionsBut(onDisk(), owned), sectionsBut(edited, owned));
    EXPECT_EQ(onDisk().find("OLD"), std::string::npos);
    EXPECT_EQ(onDisk().find("[JUNCTIONS]"), onDisk().rfind("[JUNCTIONS]"));
    keepForEngine("kept_sections");
}

TEST_F(SwmmTest, OldOutletLinesAreConverted) {
    swmm->AppendNoKey("OUTLETS", "O1 N1 N2 0.5 FUNCTIONAL 2.5 0.5 NO");
    swmm->AppendNoKey("OUTLETS", "O2 N1 N2 0.25 TABULAR");
    swmm->AppendNoKey("OUTLETS", "O3 N1 N2 0.25 TABULAR/DEPTH C1 YES");
    dbfSwmmCheckOutletType();
    std::vector<SWMM_LINE*> lines;
    for (SWMM_LINE* line : swmm->SectionLines("OUTLETS"))
        if (!line->IsBlank()) lines.push_back(line);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3]->Text(), fmt("  %-16s  %-16s %-16s %-10.3f %-18s %-10.3f %-10.3f %-5s", "O1", "N1", "N2",
                                                  0.5, "FUNCTIONAL/DEPTH", 2.5, 0.5, "NO"));
    EXPECT_EQ(lines[lines.size() - 2]->Text(),
              fmt("  %-16s  %-16s %-16s %-10.3f %-18s %-21s %-5s", "O2", "N1", "N2", 0.25, "TABULAR/DEPTH", "None", ""));
    EXPECT_EQ(lines.back()->Text(), "O3 N1 N2 0.25 TABULAR/DEPTH C1 YES");
}

TEST_F(SwmmTest, RenameDeleteAndRestoreRoundTrip) {
    buildNetwork();
    add({"SPARE", "", "", 97, {{"X_COORD", "1200"}, {"Y_COORD", "2100"}}});
    ASSERT_EQ(dbfSwmmUpdateFileFromDB(false), 1);
    swmm->AppendNoKey("INFLOWS", "  N1               FLOW             \"\"               FLOW     1.0      1.0      0.05");
    ASSERT_EQ(swmm->Save(), 1);
    // The holding form of a line: its key and data, both trimmed.
    dbfSwmmRenameNode("OUTFALLS", "SPARE", "SPARE");
    const std::string start = onDisk();
    const std::string spare = section("OUTFALLS").back();
    EXPECT_EQ(spare, fmt("  %-16s  %s", "SPARE", "97.000     FREE                        NO"));

    dbfSwmmRenameNode("OUTFALLS", "SPARE", "OTHER");
    EXPECT_EQ(section("OUTFALLS").back(), fmt("  %-16s  %s", "OTHER", "97.000     FREE                        NO"));
    dbfSwmmRenameNode("OUTFALLS", "OTHER", "SPARE");
    EXPECT_EQ(onDisk(), start);

    dbfSwmmDeleteNode("Outfall", "SPARE");
    EXPECT_EQ(section("OUTFALLS_DEL"), std::vector<std::string>{spare});
    keepForEngine("held_outfall");
    EXPECT_EQ(section("OUTFALLS").back().substr(0, 5), "  OUT");
    dbfSwmmDeleteNode("Outfall", "NOSUCH");   // nothing found: the file stays
    dbfSwmmRestoreNode("Outfall", "SPARE");
    EXPECT_TRUE(section("OUTFALLS").back() == spare && section("OUTFALLS_DEL").empty());
    keepForEngine("restored_outfall");

    dbfSwmmDeleteNode("Junction", "N1");
    EXPECT_TRUE(section("INFLOWS_DEL").empty());
    dbfSwmmRestoreNode("Junction", "N1");
    for (const std::string& line : section("INFLOWS")) EXPECT_NE(line.substr(0, 4), "  N1");
    keepForEngine("junction_inflow_deleted");

    // Removing deleted storm records clears the holding sections.
    dbfSwmmDeleteNode("Outfall", "SPARE");
    std::string key = "SPARE", tag = "NODE";
    ASSERT_EQ(dbfStormSeekRecord(key.data(), tag.data()), 0);
    d4delete(data);
    ui.answers = {IDYES};
    bool removed = false;
    dbfStormRemDelRec(removed);
    EXPECT_TRUE(removed && onDisk().find("OUTFALLS_DEL") == std::string::npos);
    ASSERT_EQ(dbfSwmmUpdateFileFromDB(false), 1);
    keepForEngine("spare_removed");
}

TEST_F(SwmmTest, OverflowNodesAndTheReportedVersion) {
    buildNetwork();
    char base[26] = "x";
    const int at = 2;
    EXPECT_TRUE(dbfSwmmCheckOverflowNode("N3#OF", at, base));
    EXPECT_EQ(std::tuple(std::string(base), d4recNo(data), std::string(t4alias(d4tagSelected(data)))), std::tuple("N3", long(at), "NODE"));
    EXPECT_FALSE(dbfSwmmCheckOverflowNode("N#OF", at, base));   // "N" is no node, only a prefix
    EXPECT_FALSE(dbfSwmmCheckOverflowNode("N3", at, base));
    EXPECT_STREQ(base, "");
    const int before = dbfGetSwmmVersion();
    dbfReportSwmmVersion(52004);
    EXPECT_EQ(std::pair(before, dbfGetSwmmVersion()), std::pair(0, 52004));
}

TEST_F(SwmmTest, ReservoirsTransectsDummiesWeirsAndMovedSubcatchments) {
    // The sections these links need beside the network come from the user.
    swmm->AppendNoKey("STORAGE", "  RES              101        3          0          FUNCTIONAL 1000 0 0 0 0");
    swmm->AppendNoKey("WEIRS", "  WR1              J4               J5               TRANSVERSE   0          3.33");
    for (const char* line : {"NC 0.03 0.03 0.03", "X1 TR1 4 0 0 0 0 0 0 0 0", "GR 2 0 0 1 0 3 2 4"})
        swmm->AppendNoKey("TRANSECTS", line);
    swmm->SetString("OPTIONS", "INFILTRATION", "GREEN_AMPT");
    swmm->AppendNoKey("SUBCATCHMENTS", "  S1  RG1  OLD  2.5  40  90  1.5  7  SNOW1");
    swmm->AppendNoKey("SUBAREAS", "  S1  0.01 0.1 1 2 25 OUTLET");
    for (const char* line : {"PLOWABLE 0.001 0.001 32.0 0.10 0.00 0.00 0.0", "IMPERVIOUS 0.001 0.001 32.0 0.10 0.00 0.00 0.00",
                             "PERVIOUS 0.001 0.001 32.0 0.10 0.00 0.00 0.00", "REMOVAL 1.0 0.0 0.0 0.0 0.0 0.0"})
        swmm->AppendNoKey("SNOWPACKS", (std::string("  SNOW1 ") + line).c_str());
    add({"RES", "J2", "Reservoir", 101, {{"OUTLEVEL", "100.5"}, {"SUBCATCH", "S1"}}});
    add({"J2", "J3", "Mystery", 100.5, {{"L_SHAPE", "IRREGULAR"}, {"TRANS_NAME", "TR1"}, {"OUTLEVEL", "100"}}});
    add({"J3", "J4", "Mystery", 100, {{"L_SHAPE", "DUMMY"}, {"OUTLEVEL", "99.5"}}});
    add({"J4", "J5", "", 99.5, {{"LINK_TYPE", "Weir"}, {"LINK_NAME", "WR1"}, {"L_SHAPE", "RECT_OPEN"}, {"FIX_SIZE1", "500"},
                               {"FIX_SIZE2", "2000"}}});
    add({"J5", "O", "Concrete Pipe", 99, {{"SIZE1", "600"}, {"OUTLEVEL", "98.5"}}});
    add({"O", "", "", 98.5});
    ASSERT_EQ(dbfSwmmUpdateFileFromDB(false), 1);
    keepForEngine("special_links");

    // The weir is a conduit from the next update on.
    for (const auto& [node, name, value] : {std::tuple{"RES", "NODE_TYPE", "Storage"}, {"RES", "LINK_TYPE", "Conduit"}, {"J4", "LINK_TYPE", "Conduit"}})
        EXPECT_EQ(field(node, name), value) << node << " " << name;
    const auto junctions = section("JUNCTIONS");
    ASSERT_EQ(junctions.size(), 3u + 4u);
    EXPECT_EQ(junctions[3].substr(0, 4), "  J2");
    const auto conduits = section("CONDUITS");
    ASSERT_EQ(conduits.size(), 3u + 4u);   // RES, J2, J3 and J5: the weir has none
    EXPECT_EQ(conduits.back().substr(0, 6), "  LRES");   // in NODE order
    const auto x = section("XSECTIONS");
    ASSERT_EQ(x.size(), 2u + 5u);
    EXPECT_EQ(std::vector(x.begin() + 2, x.begin() + 5),
              (std::vector{fmt("  %-16s %-12s %-16s %-10.3f %-10.3f %-10.3f %-10d\n", "LJ2", "IRREGULAR", "TR1", 0.0, 0.0, 0.0, 1),
                           fmt(kXsection, "LJ3", "DUMMY", 0.0, 0.0, 0.0, 0.0, 1), fmt(kXsection, "WR1", "RECT_OPEN", 2.0, 0.5, 0.0, 0.0, 1)}));
    // The subcatchment moved to its new outlet keeps its own values; its subarea line stays.
    EXPECT_EQ(section("SUBCATCHMENTS").back(), fmt("  %-16s  %-16s %-16s %-8.3f %-8.3f %-8.3f %-8.3f %-8.3f %-16s", "S1", "RG1",
                                                   "RES", 2.5, 40.0, 90.0, 1.5, 7.0, "SNOW1"));
    EXPECT_EQ(section("SUBAREAS").back(), "  S1  0.01 0.1 1 2 25 OUTLET");
    EXPECT_EQ(section("INFILTRATION").back(), fmt("  %-16s  %-10.3f %-10.3f %-10.3f", "S1", 90.0, 10.0, 0.25));
}

TEST_F(SwmmTest, TheCurrentRecordsSubcatchmentAlone) {
    buildNetwork();
    swmm->DeleteSection("SUBAREAS");
    dbfStormGetIniFile()->SetString("SwmmSubcatchRainGages", "S2", "None");
    field("N2", "NODE");
    UpdateSwmmSubcatchments();
    UpdateSwmmSubcatchments();   // a subcatchment with its lines is written once
    EXPECT_EQ(swmm->SectionLines("SUBCATCHMENTS").size(), 4u);   // two headings, the line, a blank
    EXPECT_EQ(swmm->FindLine("SUBCATCHMENTS", "S2")->Field(2), "RG1");   // "None" counts as no gauge
    EXPECT_EQ(swmm->FindLine("SUBAREAS", "S2")->Field(7), "OUTLET");   // the section is made anew
    EXPECT_EQ(dbfStormGetIniFile()->GetString("SwmmSubcatchRainGages", "S2", ""), "RG1");
    field("N3", "NODE");   // no subcatchment: nothing
    const std::string before = swmm->Contents();
    UpdateSwmmSubcatchments();
    EXPECT_EQ(swmm->Contents(), before);
}
