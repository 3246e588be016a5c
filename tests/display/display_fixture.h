// DisplayTest: a started library with the terrain display open on a new terrain (work file in
// the project folder), and helpers that build a small hand-made site and read the display list.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "common/library_fixture.h"
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
