// The pipe networks layer: drawn after the post-paint pass, also while no terrain is open.
#include "database/network.h"
#include "display/display_fixture.h"

namespace {

using PipeLayer = DisplayTest;

TEST_F(PipeLayer, LinksNodesAndLabelsWithoutTerrain) {
    char path[MAX_PATH] = {};
    dbfFileName(path, "sew", kFileProject);
    DATA4St* data = dbfSewerOpenFile(path);
    ASSERT_NE(data, nullptr);
    struct Node {
        const char *node, *next;
        double y, x, invert;
        int size1, size2, barrels;
    };
    const Node nodes[] = {{"MH1", "MH2", 0, 0, 100.25, 160, 0, 1}, {"MH2", "MH3", 30, 40, 99.5, 300, 200, 2}, {"MH3", "", 30, 80, 99.0, 0, 0, 0}};
    for (const Node& n : nodes) {
        ASSERT_EQ(d4appendBlank(data), 0);
        f4assign(d4field(data, "NODE"), n.node);
        f4assign(d4field(data, "NEXT_NODE"), n.next);
        f4assignDouble(d4field(data, "Y_COORD"), n.y);
        f4assignDouble(d4field(data, "X_COORD"), n.x);
        f4assignDouble(d4field(data, "INLEVEL"), n.invert);
        f4assignInt(d4field(data, "SIZE1"), n.size1);
        f4assignInt(d4field(data, "SIZE2"), n.size2);
        f4assignInt(d4field(data, "NO"), n.barrels);
    }
    d4flush(data);
    coreSetJobDefault("PipeDatabase", "Line1", "Sewer");
    coreSetJobDefault("PipeDatabase", "Line2", "Water");   // no such network: passed over
    coreSetJobDefault("PipeDatabase_Sewer", "NodeText", "7");
    coreSetJobDefault("PipeDatabase_Sewer", "LinkText", "3");
    dbfSetDisplayFlag(kFlagPipes, 1);
    ASSERT_EQ(dbfTerrainIsOpen(), 0);
    dbfSitePlot(1);
    EXPECT_TRUE(cad.displayList().empty());   // the pre-paint pass draws no pipes
    dbfSitePlot(0);
    std::vector<std::vector<double>> links;
    std::vector<std::string> labels;
    for (const CadPrimitive& p : cad.displayList()) {
        EXPECT_EQ(p.layer, "Z_PIPE_Sewer");
        if (p.kind == CadPrimitiveKind::Line)
            links.push_back({p.points[0].y, p.points[0].x, p.points[1].y, p.points[1].x, double(p.pen)});
        if (p.kind == CadPrimitiveKind::Text) labels.push_back(p.text);
    }
    EXPECT_EQ(links, (std::vector<std::vector<double>>{{0, 0, 30, 40, 5}, {30, 40, 30, 80, 5}}));
    EXPECT_EQ(labels, (std::vector<std::string>{"MH1", "100.25", "160", "MH2", "99.50", "2 x 300 x 200", "MH3",
                                                "99.00"}));
    EXPECT_EQ(cad.count(CadPrimitiveKind::Circle, "Z_PIPE_Sewer"), 3);
    dbfSewerCloseFile(false);
}

}  // namespace
