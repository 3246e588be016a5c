// The next point name, the angle difference, elevation interpolation, point name copies and
// comparisons, text stream helpers and axis names.
#include <cmath>
#include <cstring>
#include <numbers>

#include "common/library_fixture.h"
#include "platform/proj.h"

namespace {

std::string next(const char* name) {
    char buffer[32] = {};
    std::strncpy(buffer, name, sizeof buffer - 1);
    dbfIncrString(buffer);
    return buffer;
}

constexpr double kTwoPi = 2.0 * std::numbers::pi;

}  // namespace

TEST(IncrStringTest, NextNameFollowsTheFirstDigitRun) {
    EXPECT_EQ(next("P12"), "P13");
    EXPECT_EQ(next("P099"), "P100");
    EXPECT_EQ(next("A007"), "A8");      // leading zeros are not kept
    EXPECT_EQ(next("12"), "13");
    EXPECT_EQ(next("12A"), "13");       // text after the run is dropped
    EXPECT_EQ(next("A1B"), "A2");
    EXPECT_EQ(next("A1B22"), "A2");     // later digits are ignored
    EXPECT_EQ(next("MH-9"), "MH-10");
    EXPECT_EQ(next("Peg"), "Peg");      // no digits: unchanged
    EXPECT_EQ(next(""), "");
}

TEST(IncrStringTest, OnlyTheFirst16CharactersCountAndTheResultIsCut) {
    EXPECT_EQ(next("9999999999999999"), "1000000000000000");   // 17 digits cut to 16
    EXPECT_EQ(next("ABCDEFGHIJKLMNOP7"), "ABCDEFGHIJKLMNOP7");   // the digit is past 16
    EXPECT_EQ(next("ABCDEFGHIJKLMNO9"), "ABCDEFGHIJKLMNO1");     // "...O10" cut to 16
}

TEST(AngleSubtractTest, AngleFromBToAIsWithinAFullTurn) {
    EXPECT_NEAR(dbfAngleSubtract(0.1, 0.2), kTwoPi - 0.1, 1e-12);
    EXPECT_NEAR(dbfAngleSubtract(0.2, 0.1), 0.1, 1e-12);
    EXPECT_NEAR(dbfAngleSubtract(7.0, 0.5), 7.0 - kTwoPi - 0.5, 1e-12);
    EXPECT_NEAR(dbfAngleSubtract(0.1, 6.0), kTwoPi - 5.9, 1e-12);   // across north
    EXPECT_NEAR(dbfAngleSubtract(6.0, 0.1), 5.9, 1e-12);
    EXPECT_NEAR(dbfAngleSubtract(-0.5, 0.0), kTwoPi - 0.5, 1e-12);
    EXPECT_NEAR(dbfAngleSubtract(1.0, 1.0), 0.0, 1e-12);
    // Equal within the tolerance is not "before": no full turn.
    EXPECT_NEAR(dbfAngleSubtract(1.0, 1.0 + 1e-13), 0.0, 1e-12);
    // Far outside the range and not finite: no endless reduction.
    EXPECT_NEAR(dbfAngleSubtract(1000.0 * kTwoPi + 0.3, 0.1), 0.2, 1e-9);
    EXPECT_FALSE(std::isfinite(dbfAngleSubtract(INFINITY, 0.1)));
}

TEST(InterpolateEleTest, ZeroLengthGivesTheFirstElevation) {
    EXPECT_DOUBLE_EQ(dbfInterpolateEle(10, 20, 0, 5), 10.0);
    EXPECT_DOUBLE_EQ(dbfInterpolateEle(10, 20, 1e-13, 5), 10.0);
    EXPECT_DOUBLE_EQ(dbfInterpolateEle(10, 20, 4, 1), 12.5);
    EXPECT_DOUBLE_EQ(dbfInterpolateEle(10, 20, 4, 6), 25.0);   // extrapolates
}

TEST(NameTest, CopyTrimsAndCutsTo16) {
    char name[32];
    dbfNameCopy(name, "  P1  ");
    EXPECT_STREQ(name, "P1");
    dbfNameCopy(name, "ABCDEFGHIJKLMNOPQRSTU");
    EXPECT_STREQ(name, "ABCDEFGHIJKLMNOP");
    dbfNameCopy(name, "                X   ");   // the X is past 16 characters
    EXPECT_STREQ(name, "");
    dbfNameCopy(name, nullptr);
    EXPECT_STREQ(name, "");

    char a[] = "  Peg1 ";
    char b[] = "Peg1";
    char c[] = "peg1";
    EXPECT_EQ(dbfNameCmp(a, b), 1);
    EXPECT_STREQ(a, "Peg1");   // trimmed in place
    EXPECT_EQ(dbfNameCmp(b, c), 0);   // case counts
}

using StreamTest = LibraryTest;

TEST_F(StreamTest, SkipAndSeekWorkOnLines) {
    dbtest::writeFile(file("t.txt"), "one\ntwo\n[PipeLong]\nfour\n");
    FILE* f = coreFileOpen(file("t.txt").c_str(), "r+t");
    ASSERT_NE(f, nullptr);
    dbfSkipLines(1, f);
    char line[64];
    coreFileTxtRead(line, f, sizeof line);
    EXPECT_STREQ(line, "two");
    EXPECT_EQ(dbfSeekFlag("[PipeLong]", f), 1);   // from the start, whatever the position
    coreFileTxtRead(line, f, sizeof line);
    EXPECT_STREQ(line, "four");
    EXPECT_EQ(dbfSeekFlag("absent", f), 0);
    dbfSkipLines(10, f);   // past the end: nothing happens
    coreFileClose(f);
    EXPECT_EQ(dbfSeekFlag("x", nullptr), 0);
}

TEST_F(StreamTest, AxisNamesFollowTheHemisphere) {
    projSetParameters(0, -1, 0, 0);
    EXPECT_STREQ(dbfAxisName(0), "Y Coord");
    EXPECT_STREQ(dbfAxisName(1), "X Coord");
    EXPECT_STREQ(dbfShortAxisName(1), "X");
    coreSetDefault("Global", "SZAxis", "Level");
    EXPECT_STREQ(dbfAxisName(2), "Level");
    // Another axis leaves the shared text as it was.
    EXPECT_STREQ(dbfAxisName(3), "Level");

    projSetParameters(1, -1, 0, 0);
    EXPECT_EQ(dbfGetHemisphere(), 1);
    EXPECT_STREQ(dbfAxisName(0), "X Coord");
    EXPECT_STREQ(dbfAxisName(1), "Y Coord");
    coreSetDefault("Global", "NHAxisLabel", "East,North,Elevation123");
    EXPECT_STREQ(dbfShortAxisName(0), "East");
    EXPECT_STREQ(dbfShortAxisName(2), "Elevation");   // at most 9 characters
    EXPECT_STREQ(dbfShortAxisName(5), "");
    projSetParameters(0, -1, 0, 0);
}
