// DisplayTest: a started library with the terrain display open on a new terrain (work file in
// the project folder), and helpers that build a small hand-made site and read the display list.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/library_fixture.h"
#include "terrain/values.h"
#include "database/display.h"
#include "database/terrain.h"

class DisplayTest : public LibraryTest {
protected:
    void openDisplay() {
        dbfTerrainInit(1);
        ASSERT_EQ(dbfTerrainIsOpen(), 1);
    }

    void TearDown() override {
        ui.defaultAnswer = IDNO;
        if (dbfTerrainIsOpen()) dbfTerrainInit(0);
        LibraryTest::TearDown();
    }

    // The contour file of surface 1 ("Site.1.cnt") of a kind, naming the surface given, with
    // its lines (type, level, points) in order.
    struct SavedContour {
        BYTE type;
        double level;
        std::vector<PNT_2D_record> points;
    };
    void writeContourFile(std::int16_t kind, std::int16_t surface, const std::vector<SavedContour>& lines) {
#pragma pack(push, 1)
        struct Header {
            std::int16_t surface, kind;
            double lowest, highest;
            char unused[32];
        };
        struct Line {
            BYTE type;
            WORD count;
            double level;
            std::int32_t label1, label2;
            BYTE orientation;
            char unused[7];
        };
#pragma pack(pop)
        FILE* f = coreFileOpen(file("Site.1.cnt").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        Header h{surface, kind, 0.0, 2000.0, {}};
        ASSERT_EQ(dbfStoreContourHeader(&h, f), 1);
        for (const SavedContour& c : lines) {
            Line l{c.type, static_cast<WORD>(c.points.size()), c.level, 0, 0, 0, {}};
            ASSERT_EQ(dbfStoreContour(&l, c.points, f), 1);
        }
        coreFileClose(f);
    }

    unsigned add(const char* name, double y, double x, double z, WORD surface = 1) {
        SURVCOORD p;
        dbfPackStruct(name, y, x, z, surface, p);
        unsigned number = 0;
        EXPECT_EQ(dbfAddCoord(p, number), 1) << name;
        return number;
    }

    // Only the listed flags on (the others off), in memory.
    static void showOnly(std::initializer_list<int> flags) {
        for (int f = 0; f < kDisplayFlagCount; ++f)
            if (f != kFlagTextOrientation) dbfSetDisplayFlag(f, 0);
        for (int f : flags) dbfSetDisplayFlag(f, 1);
    }

    // Paints the view (y1, x1)-(y2, x2) and returns what is visible.
    std::vector<CadPrimitive> paint(double y1 = -50, double x1 = -50, double y2 = 150, double x2 = 150) {
        cad.setZoomRect(y1, x1, y2, x2);
        cad.paint();
        return cad.displayList();
    }

    std::vector<CadPrimitive> onLayerType(const std::string& type) const {
        std::vector<CadPrimitive> out;
        for (const CadPrimitive& p : cad.displayList())
            if (p.layerType == type) out.push_back(p);
        return out;
    }

    std::vector<std::string> texts(const std::string& type) const {
        std::vector<std::string> out;
        for (const CadPrimitive& p : onLayerType(type))
            if (p.kind == CadPrimitiveKind::Text) out.push_back(p.text);
        std::sort(out.begin(), out.end());
        return out;
    }
};
