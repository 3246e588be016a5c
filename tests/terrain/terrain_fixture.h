// TerrainTest: a started library with a terrain file in the project folder, and readers of the
// raw file for checks byte by byte.
//
// Fields of the packed file records are compared as values (+record.field): a reference to a
// field of a packed record may be misaligned, and the assertions take their arguments by
// reference.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "common/library_fixture.h"
#include "database/terrain.h"
#include "terrain/terrain_state.h"
#include "terrain/values.h"

class TerrainTest : public LibraryTest {
protected:
    std::string dtm;

    void SetUp() override {
        LibraryTest::SetUp();
        dtm = file("Site.dtm");
    }

    // A site of extent 10000 around (5000, 5000): block size 489.88, from -1123.5 to 11123.5.
    void makeAndOpen(double centreY = 5000.0, double centreX = 5000.0, double extent = 10000.0) {
        ASSERT_EQ(dbfMakeDbase(dtm.c_str(), centreY, centreX, extent), 1);
        ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
    }

    unsigned add(const char* name, double y, double x, double z = 0.0, WORD surface = 1) {
        SURVCOORD p;
        dbfPackStruct(name, y, x, z, surface, p);
        unsigned number = 0;
        EXPECT_EQ(dbfAddCoord(p, number), 1) << name;
        return number;
    }

    // Adds points named prefix0, prefix1, ... from (y, x) on in steps of (dy, dx); their numbers.
    std::vector<unsigned> addRow(const char* prefix, int count, double y, double x, double dy, double dx) {
        std::vector<unsigned> numbers;
        for (int i = 0; i < count; ++i)
            numbers.push_back(add((prefix + std::to_string(i)).c_str(), y + i * dy, x + i * dx));
        return numbers;
    }

    SURVCOORD grab(unsigned number) {
        SURVCOORD p{};
        dbfGrabCoord(p, number);
        return p;
    }

    // The centre of the cell with y index yi and x index xi of the standard site.
    static double cellCentreY(int yi) { return -1123.5 + (yi + 0.5) * 489.88; }
    static double cellCentreX(int xi) { return -1123.5 + (xi + 0.5) * 489.88; }

    std::string bytes() const { return dbtest::readFile(dtm); }

    template <typename T>
    static T at(const std::string& bytes, std::size_t offset) {
        T value{};
        if (offset + sizeof(T) <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof(T));
        return value;
    }
    static DTMHEADER header(const std::string& b) { return at<DTMHEADER>(b, 0); }
    static DTMBLOCKHEAD blockHead(const std::string& b, unsigned block) {
        return at<DTMBLOCKHEAD>(b, std::size_t{block} * kDtmBlockLength);
    }
    static SURVCOORD stored(const std::string& b, unsigned block, unsigned slot) {
        return at<SURVCOORD>(b, std::size_t{block} * kDtmBlockLength + 16 + (slot - 1) * sizeof(SURVCOORD));
    }

    template <typename T>
    void patch(std::size_t offset, const T& value) {
        std::string b = bytes();
        std::memcpy(b.data() + offset, &value, sizeof(T));
        dbtest::writeFile(dtm, b);
    }

    // Every point of the database by scanning, with its number.
    std::vector<std::pair<unsigned, SURVCOORD>> scanAll(RRect* area = nullptr) {
        std::vector<std::pair<unsigned, SURVCOORD>> all;
        SURVCOORD p;
        for (unsigned n = dbfStartCoord(p, area); n != 0; n = dbfNextCoord(p, n)) all.emplace_back(n, p);
        return all;
    }
};

// A TerrainTest with the standard site made and open.
class OpenTerrainTest : public TerrainTest {
protected:
    void SetUp() override {
        TerrainTest::SetUp();
        makeAndOpen();
    }
};
