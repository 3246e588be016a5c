// The SWMM 5 input file.
#include <gtest/gtest.h>

#include "common/fixture.h"
#include "platform/core.h"

#include <tuple>

using dbtest::readFile;
using dbtest::TempDir;
using dbtest::writeFile;

namespace {

const char* kInput =
    "[TITLE]\r\n"
    ";;Project Title/Notes\r\n"
    "\r\n"
    "[OPTIONS]\r\n"
    ";;Option             Value\r\n"
    "FLOW_UNITS           CMS\r\n"
    "INFILTRATION         HORTON\r\n"
    "\r\n"
    "[JUNCTIONS]\r\n"
    ";;Name           Elevation  MaxDepth\r\n"
    ";;-------------- ---------- ----------\r\n"
    "  J1               100.000    2.000\r\n"
    "\tJ2\t99.500\t1.800\r\n"
    "\r\n"
    "[REPORT]\r\n"
    "NODES ALL";   // no final line end

}  // namespace

TEST(SwmmFile, RoundTripsByteForByte) {
    TempDir dir;
    std::string lf;
    for (char c : std::string(kInput))
        if (c != '\r') lf += c;
    // A NUL byte inside a line (found by the fuzz target) is kept like any other byte.
    const char damaged[] = "[TITLE]\r\nSite\r\n[.\x8a\0IONS]\r\nFLOW_UNITS  CMS\r\n  J1\0 100.5";
    for (const std::string& bytes : {std::string(kInput), lf, lf + "\n", std::string(damaged, sizeof damaged - 1)}) {
        std::string path = dir.file("model.inp");
        writeFile(path, bytes);
        SWMM_LIST swmm(path.c_str(), "  ");
        EXPECT_EQ(swmm.Count(), std::count(bytes.begin(), bytes.end(), '\n') + (bytes.back() != '\n'));
        ASSERT_EQ(swmm.Save(), 1);
        EXPECT_EQ(readFile(path), bytes);
    }
}

TEST(SwmmFile, SectionsLinesAndFields) {
    SWMM_LIST swmm("", "  ");
    EXPECT_EQ(swmm.Load(), 0);
    TempDir dir;
    std::string path = dir.file("m.inp");
    writeFile(path, kInput);
    SWMM_LIST model(path.c_str(), "  ");
    int first = -1, last = -1;
    ASSERT_EQ(model.GetSectionLimits("junctions", first, last), 1);
    EXPECT_EQ(std::pair(first, last), std::pair(8, 12));
    const int junctions = first;                               // the blank line after it is not counted
    EXPECT_EQ(model.GetSectionLimits("[TITLE]", first, last), 1);
    EXPECT_EQ(last, 1);                                // comment lines are lines
    EXPECT_EQ(model.GetSectionLimits("CONDUITS", first, last), 0);
    EXPECT_EQ(first, -1);

    SWMM_LINE* j1 = model.FindLine("JUNCTIONS", "j1");
    ASSERT_NE(j1, nullptr);
    EXPECT_EQ(j1->Key() + "|" + j1->Data(), "J1|               100.000    2.000");
    EXPECT_EQ(std::vector<std::string>({j1->Field(1), j1->Field(2), j1->Field(3)}),
              std::vector<std::string>({"", "100.000", "2.000"}));   // the data starts with blanks
    EXPECT_EQ(j1->FieldCount(), 3);
    char field[4];
    EXPECT_EQ(j1->GetField(2, field, sizeof field), 1);
    EXPECT_STREQ(field, "100");                        // cut to the buffer
    EXPECT_EQ(j1->GetField(4, field, sizeof field), 0);
    EXPECT_STREQ(field, "");
    EXPECT_EQ(model.FindLine("JUNCTIONS", "J2")->Field(3), "1.800");   // tabs separate too
    EXPECT_EQ(model.FindLine("JUNCTIONS", ";;Name"), nullptr);        // comments are no objects
    EXPECT_EQ(model.Line(junctions)->SectionName(), "JUNCTIONS");
    EXPECT_TRUE(model.Line(junctions + 1)->IsComment());

    for (const auto& [key, fallback, found, value] : {std::tuple{"INFILTRATION", "none", 1, "HORTON"}, {"ROUTING", "KINWAVE", 0, "KINWAVE"}}) {
        char text[16];
        EXPECT_EQ(model.GetString("OPTIONS", key, fallback, text, sizeof text), found);
        EXPECT_STREQ(text, value);
    }
    EXPECT_FALSE(model.IsModified());
}

TEST(SwmmFile, EditingLinesKeepsTheRest) {
    TempDir dir;
    std::string path = dir.file("m.inp");
    writeFile(path, kInput);
    SWMM_LIST model(path.c_str(), "  ");

    model.SetString("OPTIONS", "infiltration", "GREEN_AMPT");   // keeps the gap after the key
    model.SetString("REPORT", "LINKS", "ALL");                  // appended after "NODES ALL"
    model.FindLine("JUNCTIONS", "J1")->DataSet("  101.000    2.000");
    model.AppendNoKey("JUNCTIONS", "  J3               98.000     1.500");
    model.RemoveLine(model.FindLine("JUNCTIONS", "J2"));
    model.Append("OUTFALLS", "O1", "97.000     FREE");           // a new section at the end
    model.InsertLine(model.FindSection("TITLE"), "Demo network");
    EXPECT_TRUE(model.IsModified());
    ASSERT_EQ(model.Save(), 1);
    EXPECT_EQ(readFile(path),
              "[TITLE]\r\n"
              "Demo network\r\n"
              ";;Project Title/Notes\r\n"
              "\r\n"
              "[OPTIONS]\r\n"
              ";;Option             Value\r\n"
              "FLOW_UNITS           CMS\r\n"
              "INFILTRATION         GREEN_AMPT\r\n"
              "\r\n"
              "[JUNCTIONS]\r\n"
              ";;Name           Elevation  MaxDepth\r\n"
              ";;-------------- ---------- ----------\r\n"
              "  J1  101.000    2.000\r\n"
              "  J3               98.000     1.500\r\n"
              "\r\n"
              "[REPORT]\r\n"
              "NODES ALL\r\n"
              "  LINKS ALL\r\n"
              "\r\n"
              "[OUTFALLS]\r\n"
              "  O1 97.000     FREE\r\n");

    EXPECT_EQ(std::vector({model.DeleteSection("junctions"), model.DeleteSection("junctions")}), std::vector({1, 0}));
    EXPECT_EQ(model.FindSection("JUNCTIONS"), nullptr);
    EXPECT_EQ(model.Load(), 1);                      // reloading drops the changes
    EXPECT_NE(model.FindSection("JUNCTIONS"), nullptr);
    EXPECT_FALSE(model.IsModified());
}
