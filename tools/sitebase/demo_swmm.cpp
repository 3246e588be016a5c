// The demo's storm network for SWMM: a dozen nodes of pipes, box culverts and lined channels
// with an overflow node, a subcatchment per inlet and two outfalls, written to its SWMM input
// file. With SITEBASE_SWMM_CHECK naming the engine's checker, the file is run through it.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "database/frame.h"
#include "database/network.h"
#include "host.h"
#include "platform/core.h"

namespace {

struct StormNode {
    const char* node;
    const char* next;
    const char* linkType;
    const char* ref;       // the open drain's set
    int size1, size2;      // millimetres
    double y, x, invert;
    double area;           // hectares of the inlet's subcatchment; 0: none
};

// Inverts fall along each line; the overflow node I5#OF takes water from I5 to the second
// outfall.
const std::vector<StormNode> kNodes = {
    {"I1", "I2", "Concrete Pipe", "", 375, 0, 900, 100, 110.0, 0.6},
    {"I2", "I3", "Concrete Pipe", "", 450, 0, 900, 180, 109.4, 0.8},
    {"I3", "I4", "Concrete Pipe", "", 525, 0, 900, 260, 108.8, 0.7},
    {"I4", "I5", "Concrete Pipe", "", 600, 0, 900, 340, 108.2, 0.9},
    {"B1", "I5", "Concrete Pipe", "", 375, 0, 980, 340, 108.9, 0.5},
    {"I5", "C1", "Box Culvert", "", 900, 600, 900, 420, 107.6, 1.1},
    {"C1", "C2", "Box Culvert", "", 900, 600, 860, 500, 107.0, 0},
    {"C2", "D1", "Lined Channel", "T1", 0, 0, 820, 580, 106.4, 0},
    {"D1", "D2", "Lined Channel", "T2", 0, 0, 780, 660, 105.8, 0},
    {"D2", "OUT", "Lined Channel", "R1", 0, 0, 740, 740, 105.2, 0},
    {"I5#OF", "OUT2", "Concrete Pipe", "", 375, 0, 920, 420, 107.9, 0},
    {"OUT", "", "", "", 0, 0, 700, 820, 104.6, 0},
    {"OUT2", "", "", "", 0, 0, 960, 500, 106.8, 0},
};

const StormNode* findNode(const char* name) {
    for (const StormNode& n : kNodes)
        if (std::string(n.node) == name) return &n;
    return nullptr;
}

void fillStorm(DATA4St* data) {
    for (const StormNode& n : kNodes) {
        if (d4appendBlank(data) != 0) return;
        f4assign(d4field(data, "NODE"), n.node);
        f4assign(d4field(data, "NEXT_NODE"), n.next);
        f4assignDouble(d4field(data, "Y_COORD"), n.y);
        f4assignDouble(d4field(data, "X_COORD"), n.x);
        f4assignDouble(d4field(data, "Z_COORD"), n.invert + 1.5);
        f4assignDouble(d4field(data, "INLEVEL"), n.invert);
        f4assignDouble(d4field(data, "MH_DEPTH"), 1.5);
        if (n.area > 0) {
            const std::string sub = std::string("S-") + n.node;
            f4assign(d4field(data, "SUBCATCH"), sub.c_str());
            f4assignDouble(d4field(data, "AREA"), n.area);
            f4assignDouble(d4field(data, "SWMM_LEN"), 120.0);
            f4assignDouble(d4field(data, "SWMM_SLOPE"), 1.5);
        }
        const StormNode* down = findNode(n.next);
        if (!down) continue;
        f4assign(d4field(data, "L_TYPE"), n.linkType);
        f4assign(d4field(data, "L_REF"), n.ref);
        f4assignInt(d4field(data, "SIZE1"), n.size1);
        f4assignInt(d4field(data, "SIZE2"), n.size2);
        f4assignInt(d4field(data, "NO"), 1);
        f4assignDouble(d4field(data, "LENGTH"), std::hypot(down->y - n.y, down->x - n.x));
        f4assignDouble(d4field(data, "OUTLEVEL"), down->invert + 0.05);
    }
    d4flush(data);
}

void swmmDemo(DemoContext& ctx) {
    std::string table = ctx.folder + "storm_network.stw";
    DATA4St* data = dbfStormOpenFile(table.data());
    if (!data) {
        std::fprintf(stderr, "Unable to open %s\n", table.c_str());
        return;
    }
    fillStorm(data);
    const bool written = dbfSwmmUpdateFileFromDB(false) == 1;
    const bool saved = dbfStormSaveFile() != nullptr;
    dbfStormCloseFile(false);
    const std::string inp = ctx.folder + "storm_network.inp";
    if (!written || !saved || !coreFileExist(inp.c_str())) {
        std::fprintf(stderr, "Unable to write %s\n", inp.c_str());
        return;
    }
    ctx.written.push_back(table);
    ctx.written.push_back(inp);
    const char* checker = std::getenv("SITEBASE_SWMM_CHECK");
    if (!checker || !*checker) return;
    const std::string command = "'" + std::string(checker) + "' '" + inp + "'";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "The SWMM engine rejected %s\n", inp.c_str());
}

DemoStep step(61, "storm network for SWMM", swmmDemo);

}  // namespace
