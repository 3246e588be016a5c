// Inflow units at sewer nodes, hydrograph tables and the design storm file.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <tuple>
#include <vector>

#include "network/network_test_util.h"

class InflowTest : public NetworkTest {
protected:
    void SetUp() override {
        NetworkTest::SetUp();
        ASSERT_NE(openSewer(), nullptr);
        append(dbfState().sewerTable, [](DATA4* d) { nettest::set(d, "NODE", "MH1"); });
    }

    static int add(const char* method, const char* name, int units) {
        std::string m = method, n = name;
        return sewerAddInflowUnits(m.data(), n.data(), units);
    }
    static void remove(const char* method, const char* name, int units) {
        std::string m = method, n = name;
        sewerRemoveInflowUnits(m.data(), n.data(), units);
    }
    // "name:units" of the five slots.
    static std::string slots(const char* suffix) {
        std::string out;
        for (int s = 1; s <= 5; ++s) {
            char field[16], units[16], text[64];
            std::snprintf(field, sizeof field, "INF%d_%s", s, suffix);
            std::snprintf(units, sizeof units, "INF%d_UNITS", s);
            dbfSewerGetField(field, text, true);
            out += std::string(s > 1 ? " " : "") + text + ":" + std::to_string(dbfSewerGetFieldInt(units));
        }
        return out;
    }
};

TEST_F(InflowTest, SlotsFillUpAreSharedAndFreedForClassesAndHydrographs) {
    struct Case {
        const char* method;
        const char* suffix;
        const char* full;
    } cases[] = {
        {"Unit Flow", "CLASS",
         "Unable to add inflow class F to node inflow.\nExceeding the maximum inflow class types at a node.\n"
         "Inflow class will be set to None."},
        {"Hydrograph", "HYDRO",
         "Unable to add inflow hydrograph F to node inflow.\nExceeding the maximum inflow hydrograph types at a "
         "node.\nInflow hydrograph will be set to None."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        for (int s = 1; s <= 5; ++s) {
            char field[16], units[16];
            std::snprintf(field, sizeof field, "INF%d_%s", s, c.suffix);
            std::snprintf(units, sizeof units, "INF%d_UNITS", s);
            dbfSewerSetField(field, const_cast<char*>(s == 3 ? "None" : ""));
            dbfSewerSetFieldInt(units, 0);
        }
        ui.clear();
        // A again goes to its own slot; slot 3 held "None": free for C.
        for (const auto& [name, units] : {std::pair{"A", 2}, {"B", 3}, {"A", 4}, {"C", 1}, {"D", 1}, {"E", 1}})
            EXPECT_EQ(add(c.method, name, units), 0) << name;
        EXPECT_EQ(slots(c.suffix), "A:6 B:3 C:1 D:1 E:1");
        EXPECT_TRUE(ui.texts().empty());
        EXPECT_EQ(add(c.method, "F", 9), 0);
        ASSERT_EQ(ui.texts().size(), 1u);
        EXPECT_EQ(ui.texts()[0], c.full);
        EXPECT_EQ(slots(c.suffix), "A:6 B:3 C:1 D:1 E:1");

        // Fewer than held; more than held frees the slot; exactly all; Q is not held: nothing.
        for (const auto& [name, units] : {std::pair{"A", 2}, {"B", 5}, {"C", 1}, {"Q", 1}}) remove(c.method, name, units);
        EXPECT_EQ(slots(c.suffix), "A:4 None:0 None:0 D:1 E:1");
        add(c.method, "F", 2);       // the first freed slot
        EXPECT_EQ(slots(c.suffix), "A:4 F:2 None:0 D:1 E:1");
    }
}

TEST_F(InflowTest, HarmonUnitsNeverGoBelowZeroAndNothingHappensWithoutATable) {
    add("Harmon", "", 5);
    for (const auto& [units, left] : {std::pair{2, 3}, {7, 0}}) {
        remove("Harmon", "x", units);
        EXPECT_EQ(dbfSewerGetFieldInt(const_cast<char*>("HARM_UNIT")), left);
    }

    ui.answers = {IDNO};
    dbfSewerCloseFile(true);
    ui.clear();
    remove("Unit Flow", "A", 1);
    EXPECT_TRUE(ui.texts().empty());
    EXPECT_EQ(add("Unit Flow", "A", 1), 0);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"No sewer database"});
}

// ---------------------------------------------------------------------------------------------

class HydrographTest : public NetworkTest {
protected:
    std::vector<int> times = std::vector<int>(kHydrographEntries, -7);
    std::vector<double> flows = std::vector<double>(kHydrographEntries, -7.0);

    int open(const std::string& path) {
        std::string p = path;
        return dbfOpenInflowHydrograph(p.data(), times.data(), flows.data());
    }
    int save(const std::string& path) {
        std::string p = path;
        return dbfSaveInflowHydrograph(p.data(), times.data(), flows.data());
    }
    static void writeHydrograph(const std::string& path, int records) {
        nettest::writeTable(path, {{"TIME", 'N', 5, 0, 0}, {"INFLOW", 'N', 13, 5, 0}}, records, [](DATA4* d, int i) {
            nettest::set(d, "TIME", double(i));
            nettest::set(d, "INFLOW", i * 0.00125 + 1000);
        });
    }
};

TEST_F(HydrographTest, AMissingTableIsCreatedWithBlankRecordsAndAMissingFolderIsSaid) {
    const std::string path = file("H1.dbf");
    ASSERT_EQ(open(path), 0);
    EXPECT_EQ(times, std::vector<int>(kHydrographEntries, 0));
    EXPECT_EQ(flows, std::vector<double>(kHydrographEntries, 0.0));
    const auto column = nettest::columnOf(path, "INFLOW");
    ASSERT_EQ(column.size(), 5040u);
    EXPECT_EQ(column[5039], "      0.00000");
    EXPECT_EQ(nettest::describe(nettest::structureOf(path), {0, 1, 2}), "TIME N 5 0, INFLOW N 13 5, <none>");
    EXPECT_FALSE(cad.progressHistory().empty());

    ui.clear();
    EXPECT_EQ(open(file("nowhere/H2.dbf")), 1);
    EXPECT_EQ(save(file("nowhere/H2.dbf")), 1);
    const std::string said = "Path: " + file("nowhere/") + "\nspecified for the inflow hydrograph does not exist";
    EXPECT_EQ(ui.texts(), (std::vector<std::string>{said, said}));
}

TEST_F(HydrographTest, RecordsAreReadInOrderUpToTheLimitAndSavedToOnePastTheLastInUse) {
    writeHydrograph(file("full.dbf"), 5040);
    writeHydrograph(file("long.dbf"), 5050);
    for (const char* name : {"full.dbf", "long.dbf"}) {
        ASSERT_EQ(open(file(name)), 0) << name;
        EXPECT_EQ(std::tuple(times[0], times[5039], flows[5039]), std::tuple(1, 5040, 5040 * 0.00125 + 1000));
    }
    // A save writes to one past the last entry, among the first 5038, in use: 5039 records, so
    // that the 5040th entry does not come back.
    ASSERT_EQ(save(file("again.dbf")), 0);
    std::vector<int> before = times;
    std::vector<double> beforeFlows = flows;
    ASSERT_EQ(open(file("again.dbf")), 0);
    EXPECT_EQ(nettest::columnOf(file("again.dbf"), "TIME").size(), 5039u);
    before[5039] = 0;
    beforeFlows[5039] = 0;
    EXPECT_TRUE(times == before && flows == beforeFlows);

    struct Case {
        int last;            // index of the last entry in use, -1 for none
        double lastFlow;
        size_t written;
    } cases[] = {{9, 2.5, 11}, {9, 0.00001, 5039}, {0, 1.0, 2}, {5037, 1.0, 5039}, {-1, 0, 5039}};
    for (const Case& c : cases) {
        std::fill(times.begin(), times.end(), 0);
        std::fill(flows.begin(), flows.end(), 0.0);
        if (c.last >= 0) {
            times[c.last] = 60;
            flows[c.last] = c.lastFlow;
        }
        times[5039] = 99;   // beyond what a save looks at
        flows[5039] = 9.0;
        ASSERT_EQ(save(file("h.dbf")), 0);
        EXPECT_EQ(nettest::columnOf(file("h.dbf"), "TIME").size(), c.written) << c.last << " " << c.lastFlow;
    }
}

TEST_F(HydrographTest, AValueTheFieldsCannotHoldIsRefusedAndTheOldTableStays) {
    writeHydrograph(file("keep.dbf"), 20);
    const std::string before = dbtest::readFile(file("keep.dbf"));
    std::fill(times.begin(), times.end(), 0);
    std::fill(flows.begin(), flows.end(), 0.0);
    times[3] = 10;
    flows[3] = NAN;
    ui.clear();
    EXPECT_EQ(save(file("keep.dbf")), 1);
    flows[3] = 1;
    times[2] = 123456;
    EXPECT_EQ(save(file("keep.dbf")), 1);
    ASSERT_EQ(ui.texts().size(), 2u);
    EXPECT_NE(ui.texts()[0].find("keep.dbf: the INFLOW of entry 4 (nan) is not a number"), std::string::npos) << ui.texts()[0];
    EXPECT_NE(ui.texts()[1].find("the TIME of entry 3 (123456)"), std::string::npos) << ui.texts()[1];
    EXPECT_EQ(dbtest::readFile(file("keep.dbf")), before);

    dbtest::writeFile(file("junk.dbf"), "not a table");
    ui.clear();
    EXPECT_EQ(open(file("junk.dbf")), 1);
    EXPECT_EQ(ui.texts().size(), 1u);
    EXPECT_EQ(dbtest::readFile(file("junk.dbf")), "not a table");
}

// ---------------------------------------------------------------------------------------------

class StormFileTest : public NetworkTest {};

TEST_F(StormFileTest, TheRecordRoundTripsAndTheTotalDepthIsRecomputed) {
    storm* s = dbfStorm();
    s->format = 6;
    s->values[4] = 5;   // minutes
    for (int i = 0; i < 12; ++i) s->intensities[i] = 12.0 * (i + 1);   // mm/h
    s->intensities[1439] = 6.0;
    std::snprintf(s->name, sizeof s->name, "%s", "Five year storm");
    s->depths[3] = -1;
    std::string path = file("design.sto");
    ASSERT_TRUE(dbfStormSaveStorm(path.data()));
    const std::string bytes = dbtest::readFile(path);
    ASSERT_EQ(bytes.size(), 11776u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x06\0\0\0", 4));

    dbfStorm();
    EXPECT_EQ(std::pair(s->intensities[0], s->intensities[1439]), std::pair(0.0, 6.0));   // only the first 200 are cleared
    storm* read = dbfStormReadStorm(path.data());
    EXPECT_EQ(read, s);
    EXPECT_EQ(std::tuple(std::string(read->name), read->values[4], read->intensities[11]), std::tuple("Five year storm", 5, 144.0));
    EXPECT_DOUBLE_EQ(read->depths[3], 5 * (12.0 * 78 + 6.0) / 60);

    std::string none = "None";
    read->values[0] = 77;
    EXPECT_EQ(dbfStormReadStorm(none.data())->values[0], 77);
}

TEST_F(StormFileTest, TheOlderLayoutIsWidenedAndAShortFileIsSaid) {
    std::string bytes(1032, '\0');
    const std::int16_t values[7] = {1, -2, 3, 4, 10, 6, 7};
    std::memcpy(&bytes[0], values, sizeof values);
    const double depths[5] = {1.5, 2.5, 3.5, 99, 5.5};
    std::memcpy(&bytes[14], depths, sizeof depths);
    const float intensities[3] = {30.0f, 60.0f, 0.5f};
    std::memcpy(&bytes[54], intensities, sizeof intensities);
    std::memcpy(&bytes[854], "Old storm", 9);
    dbtest::writeFile(file("old.sto"), bytes);
    std::string path = file("old.sto");
    storm* s = dbfStormReadStorm(path.data());
    EXPECT_EQ(std::tuple(s->values[1], s->values[4], s->depths[4], s->intensities[2], std::string(s->name), s->format),
              std::tuple(-2, 10, 5.5, 0.5, "Old storm", 6));
    EXPECT_DOUBLE_EQ(s->depths[3], 10 * 90.5 / 60);

    dbtest::writeFile(file("short.sto"), std::string("\x06\0\0\0", 4) + std::string(100, 'x'));
    path = file("short.sto");
    ui.clear();
    s = dbfStormReadStorm(path.data());
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"Unable to read " + path +
                                                   ": the file is shorter than a design storm record"});
    EXPECT_EQ(std::pair(s->name[0], s->intensities[2]), std::pair('\0', 0.0));
}
