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

TEST(IncrStringTest, NextNameFollowsTheFirstDigitRunInTheFirst16Characters) {
    // Leading zeros are not kept, text after the run and later digits are dropped, a name
    // without digits stays; only 16 characters count and the result is cut to 16.
    const std::pair<const char*, const char*> cases[] = {
        {"P12", "P13"}, {"P099", "P100"}, {"A007", "A8"}, {"12", "13"}, {"12A", "13"}, {"A1B", "A2"}, {"A1B22", "A2"},
        {"MH-9", "MH-10"}, {"Peg", "Peg"}, {"", ""}, {"9999999999999999", "1000000000000000"},
        {"ABCDEFGHIJKLMNOP7", "ABCDEFGHIJKLMNOP7"}, {"ABCDEFGHIJKLMNO9", "ABCDEFGHIJKLMNO1"}};
    for (const auto& [name, expected] : cases) EXPECT_EQ(next(name), expected) << name;
}

TEST(AngleSubtractTest, AngleFromBToAIsWithinAFullTurn) {
    // Across north, below 0, equal within the tolerance (not "before": no full turn), and far
    // outside the range (no endless reduction).
    const double cases[][3] = {{0.1, 0.2, kTwoPi - 0.1}, {0.2, 0.1, 0.1},        {7.0, 0.5, 7.0 - kTwoPi - 0.5},
                               {0.1, 6.0, kTwoPi - 5.9}, {6.0, 0.1, 5.9},        {-0.5, 0.0, kTwoPi - 0.5},
                               {1.0, 1.0, 0.0},          {1.0, 1.0 + 1e-13, 0.0}, {1000.0 * kTwoPi + 0.3, 0.1, 0.2}};
    for (const auto& [a, b, difference] : cases) EXPECT_NEAR(dbfAngleSubtract(a, b), difference, 1e-9) << a << " " << b;
    EXPECT_FALSE(std::isfinite(dbfAngleSubtract(INFINITY, 0.1)));
}

TEST(InterpolateEleTest, ZeroLengthGivesTheFirstElevation) {
    EXPECT_EQ(std::tuple(dbfInterpolateEle(10, 20, 0, 5), dbfInterpolateEle(10, 20, 1e-13, 5), dbfInterpolateEle(10, 20, 4, 1),
                         dbfInterpolateEle(10, 20, 4, 6)),
              std::tuple(10.0, 10.0, 12.5, 25.0));   // the last extrapolates
}

TEST(NameTest, CopyTrimsAndCutsTo16) {
    char name[32];
    // The X is past 16 characters.
    for (const auto& [from, copied] : {std::pair<const char*, const char*>{"  P1  ", "P1"}, {"ABCDEFGHIJKLMNOPQRSTU", "ABCDEFGHIJKLMNOP"},
                                       {"                X   ", ""}, {nullptr, ""}}) {
        dbfNameCopy(name, from);
        EXPECT_STREQ(name, copied) << (from ? from : "null");
    }

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
    // The names share one text: each is read before the next call.
    const auto names = [](char* (*name)(int), std::initializer_list<int> axes) {
        std::string out;
        for (int axis : axes) out += std::string(name(axis)) + "|";
        return out;
    };
    EXPECT_EQ(names(dbfAxisName, {0, 1}) + names(dbfShortAxisName, {1}), "Y Coord|X Coord|X|");
    coreSetDefault("Global", "SZAxis", "Level");
    EXPECT_STREQ(dbfAxisName(2), "Level");
    // Another axis leaves the shared text as it was.
    EXPECT_STREQ(dbfAxisName(3), "Level");

    projSetParameters(1, -1, 0, 0);
    EXPECT_EQ(dbfGetHemisphere(), 1);
    EXPECT_EQ(names(dbfAxisName, {0, 1}), "X Coord|Y Coord|");
    coreSetDefault("Global", "NHAxisLabel", "East,North,Elevation123");
    // At most 9 characters.
    EXPECT_EQ(names(dbfShortAxisName, {0, 2, 5}), "East|Elevation||");
    projSetParameters(0, -1, 0, 0);
}
