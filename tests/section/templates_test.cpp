// Road templates: reading template files and the template index, the layer works outline, the
// design of a cross-section against the natural ground, and the road geometry helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "common/library_fixture.h"
#include "database/section.h"
#include "terrain/values.h"
#include "road/road_fixture.h"

namespace {

constexpr double kPi = std::numbers::pi;

struct Pt {
    double offset, elevation;
    int marker;
};

XSECTION sectionOf(const std::vector<Pt>& pts) {
    XSECTION xs{};
    xs.capacity = kSectionCapacity;
    for (const Pt& p : pts)
        xs.points[xs.count++] = SECTMEM{p.offset, p.elevation, 0.0, static_cast<signed char>(p.marker)};
    return xs;
}

// A straight natural ground z = z0 + grade * offset, sampled every 10 m from -40 to 40.
XSECTION straightGround(double z0, double grade) {
    std::vector<Pt> pts;
    for (int o = -40; o <= 40; o += 10) pts.push_back({double(o), z0 + grade * o, 0});
    return sectionOf(pts);
}

void expectSection(const XSECTION& xs, const std::vector<Pt>& want, double tol = 1e-9) {
    ASSERT_EQ(xs.count, static_cast<int>(want.size()));
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(xs.points[i].offset, want[i].offset, tol) << "point " << i + 1;
        EXPECT_NEAR(xs.points[i].elevation, want[i].elevation, tol) << "point " << i + 1;
        EXPECT_EQ(xs.points[i].marker, want[i].marker) << "point " << i + 1;
    }
}

// A single road: 4 m each side at -2 % to the edge (marker 100); in cut a 1 m drain falling
// 50 %, in fill a 0.5 m rounding falling 10 %; batters 1:2 both ways.
const char* kSingle =
    "[TemplateType]\nVersion=6\nType=single,0,2,2,0,0,0,0,0,0\n"
    "[LeftCompulsory]\nLine1=4,-2,100\n[RightCompulsory]\nLine1=4,-2,100\n"
    "[LeftCutAdditions]\nLine1=1,-50,0,0,999,0,0,0\n[RightCutAdditions]\nLine1=1,-50,0,0,999,0,0,0\n"
    "[LeftFillAdditions]\nLine1=0.5,-10\n[RightFillAdditions]\nLine1=0.5,-10\n"
    "[LeftLayerWorks]\nLine1=0,-100,0,0,0.2,Base\n[RightLayerWorks]\nLine1=0,0,100,0,0.2,Base\n";

class TemplateTest : public LibraryTest {
protected:
    std::unique_ptr<TEMPLATE> tpl = std::make_unique<TEMPLATE>();

    int grab(const std::string& name, const std::string& contents) {
        const std::string path = file(name);
        dbtest::writeFile(path, contents);
        std::string buffer = path;
        return dbfRoadGrabTemplate(buffer.data(), tpl.get());
    }
    std::string des() { return dbfGetDesFile()->FileName(); }
    void writeDes(const std::string& contents) {
        dbtest::writeFile(des(), contents);
        dbfResetDesFile();
        dbfInitTemplateList();
    }
};

TEST_F(TemplateTest, TypeLineFillsTheValuesOfASingleAndADualRoad) {
    ASSERT_EQ(grab("s.tpl", "[TemplateType]\nVersion=6\nType= SiNgLe ,1,2,3,4,5,6,7,8,9\n"), 1);
    auto values = [&](int extras) {
        std::vector<double> all(std::begin(tpl->dims), std::end(tpl->dims));
        all.insert(all.end(), {double(tpl->type), double(tpl->typeValue)});
        all.insert(all.end(), std::begin(tpl->typeExtra), std::begin(tpl->typeExtra) + extras);
        return all;
    };
    // the dimensions, the type, its value and the extras
    EXPECT_EQ(values(3), (std::vector<double>{2, 5, 3, 6, 1, 4, 0, 0, 0, 0, 1, 7, 8, 9, 0}));

    ASSERT_EQ(grab("d.tpl", "[TemplateType]\nVersion=6\nType=DUAL,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\n"), 1);
    EXPECT_EQ(values(4), (std::vector<double>{4, 9, 5, 10, 1, 6, 2, 8, 3, 7, 2, 11, 12, 13, 14, 15}));
}

TEST_F(TemplateTest, SectionsShareOneCounterPerArray) {
    ASSERT_EQ(grab("t.tpl",
                   "[TemplateType]\nVersion=6\nType=dual\n"
                   "[LowerMedian]\nLine1=1,2,3\nLine2=4,5,6\n"
                   "[LeftCompulsory]\nLine1=7,8,9\nLine3=1,1,1\n"
                   "[RightCompulsory]\nLine1=1,0,0\nLine2=2,0,0\nLine3=3,0,0\nLine4=x\nLine5=5,0,0\n"
                   "[LeftCutAdditions]\nLine1=1,2,3,4,5,6,7,8\nLine2=1,2,3,4\n"
                   "[RightLayerWorks]\nLine1=0.5,-100,-99,0.25,0.04,Surfacing course\nPaveFile=pave.drg\n"),
              1);
    auto part = [](const TEMPLATE_PART& p) { return std::make_pair(p.first, p.count); };
    using P = std::pair<std::uint32_t, std::uint32_t>;
    EXPECT_EQ(part(tpl->lowerMedian), P(0, 2));
    EXPECT_EQ(part(tpl->upperMedian), P(2, 1)) << "a section without lines still gives one entry";
    EXPECT_EQ(part(tpl->leftCompulsory), P(3, 1)) << "Line2 is missing";
    EXPECT_EQ(part(tpl->rightCompulsory), P(4, 3)) << "a line shorter than 2 characters ends it";
    EXPECT_EQ(part(tpl->leftCutAdditions), P(0, 2));
    EXPECT_EQ(part(tpl->leftFillAdditions), P(2, 1));
    EXPECT_EQ(part(tpl->rightFillAdditions), P(4, 1));
    EXPECT_EQ(part(tpl->leftLayerWorks), P(0, 0)) << "layer works without lines give none";
    EXPECT_EQ(part(tpl->rightLayerWorks), P(0, 1));

    // value5 is 999 when missing from the line and in the entry of an empty section
    EXPECT_EQ(nums(tpl->lines[1].value3, tpl->lines[2].value1, tpl->additions[0].value8, tpl->additions[1].value5,
                   tpl->additions[2].value5),
              nums(6, 0.0, 8, 999.0, 999.0));
    const TEMPLATE_LAYER& w = tpl->layerWorks[0];
    // PaveNr defaults to -1
    EXPECT_EQ(nums(w.leftWidth, static_cast<std::int32_t>(w.leftRef), static_cast<std::int32_t>(w.rightRef), w.rightWidth, w.thickness,
                   tpl->leftPaveNr),
              nums(0.5, -100, -99, 0.25, 0.04, 65535));
    EXPECT_STREQ(w.name, "Surfacing course");
    EXPECT_STREQ(tpl->rightPaveFile, "pave.drg");
}

TEST_F(TemplateTest, DamagedTemplatesAreRefusedWithTheirMessages) {
    struct Case {
        const char* contents;   // null: no file at all
        const char* message;    // %s: the path
        int type;
    };
    const Case cases[] = {
        {nullptr, "Error in template file %s", 0},
        {"", "Template has invalid version number", 0},
        {"[TemplateType]\nVersion=5\nType=single\n", "Template has invalid version number", 0},
        {"[TemplateType]\nVersion=6\nType=triple,1,2\n", "Error in template file %s", 0},
        {"[TemplateType]\nVersion=6\n", "Error in template file %s", 0},
        {"[TemplateType]\nVersion=6\nType=single,nan\n", "Error in template file %s", 0},
        {"[TemplateType]\nVersion=6\nType=single\n[LeftCompulsory]\nLine1=inf,2\n", "Error in template file %s", 1},
    };
    for (const Case& c : cases) {
        ui.clear();
        const std::string path = file("bad.tpl");
        std::filesystem::remove(path);
        if (c.contents) dbtest::writeFile(path, c.contents);
        std::string buffer = path;
        EXPECT_EQ(dbfRoadGrabTemplate(buffer.data(), tpl.get()), 0) << c.contents;
        EXPECT_EQ(tpl->type, c.type) << c.contents;
        char text[512];
        std::snprintf(text, sizeof text, c.message, path.c_str());
        EXPECT_EQ(ui.texts(), std::vector<std::string>{text}) << c.contents;
    }
}

TEST_F(TemplateTest, TheIndexNamesTemplatesAndALaterLineOfTheSameNameWins) {
    EXPECT_EQ(dbfRoadLoadTemplate("Rural road", tpl.get()), 0) << "no design settings file";
    EXPECT_TRUE(ui.texts().empty());

    dbtest::writeFile(file("rural.tpl"), kSingle);
    std::string second = kSingle;
    second.replace(second.find("Type=single,0,2,2"), 17, "Type=single,0,3,2");
    dbtest::writeFile(file("rural2.tpl"), second);
    writeDes("[TemplateIndex]\n Rural,rural.tpl,Rural road \nUrban," + file("urban.tpl") +
             "\n; a note\nGone,nothere.tpl\nRural,rural2.tpl,Rural road\n\nLate,rural.tpl\n[Other]\n");
    char name[kTemplateNameChars + 1];
    std::vector<std::string> names;
    for (int n = 1; n <= 5; ++n) names.push_back((dbfGetTemplName(n, name), name));
    EXPECT_EQ(names, (std::vector<std::string>{"Rural road", "Urban", "Gone", "Rural road", ""}));
    // the index ends at the empty line
    EXPECT_EQ(nums(dbfGetTemplateIndex("Urban"), dbfGetTemplateIndex("Rural road"), dbfGetTemplateIndex("Late")), nums(2, 1, 0));

    EXPECT_EQ(dbfRoadLoadTemplate("Rural road", tpl.get()), 1);
    EXPECT_EQ(tpl->dims[0], 3.0) << "the second line read last";
    EXPECT_EQ(dbfRoadLoadTemplate("Gone", tpl.get()), 0);
    EXPECT_EQ(dbfRoadLoadTemplate("Urban", tpl.get()), 0);
    EXPECT_EQ(ui.texts(), (std::vector<std::string>{"Template nothere.tpl does not exist",
                                                     "Template " + file("urban.tpl") + " does not exist"}));

    // With a TemplatePaths section, field 2 is a key there.
    writeDes("[TemplateIndex]\nRural,R1\nOld,R2\n[TemplatePaths]\nR1 = " + file("rural2.tpl") + "\nR2=" +
             file("old.tpl") + "\n");
    INI_LIST* desList = dbfGetDesFile();
    char path[MAX_PATH];
    dbfExtractTemplatePath(desList, desList->FindSection("TemplateIndex")->Next(), path);
    EXPECT_EQ(std::string(path), file("rural2.tpl"));
    dbfGetTemplName(1, name);
    EXPECT_STREQ(name, "Rural");
    // A file refused for its version still leaves the template marked as a single road.
    dbtest::writeFile(file("old.tpl"), "[TemplateType]\nVersion=5\n");
    ui.clear();
    EXPECT_EQ(dbfRoadLoadTemplate("Old", tpl.get()), 0);
    EXPECT_EQ(tpl->type, 1);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"Template has invalid version number"});
    dbfDestroyTemplList();
    EXPECT_EQ(dbfGetTemplateIndex("Rural"), 1) << "rebuilt on demand";
}

// ---------------------------------------------------------------------------------------------
// Layer works

TEST_F(TemplateTest, LayerBetweenTheEndsIsLoweredAndClosed) {
    ASSERT_EQ(grab("t.tpl", "[TemplateType]\nVersion=6\nType=single\n[LeftLayerWorks]\nLine1=0,-99,99,0,0.2,Base\n"), 1);
    XSECTION design = sectionOf({{-10, 99, 0}, {-5, 100, 0}, {0, 101, 0}, {5, 100.5, 0}, {10, 99.5, 0}});
    XSECTION out{};
    double offsets[2] = {}, elevations[2] = {};
    ASSERT_EQ(dbfRoadCalcLayer(20, 0, 0.3, design, out, *tpl, offsets, elevations, 0, 0), 1);
    expectSection(out, {{-10.0005, 98.9, 0}, {-10, 98.7, 0}, {-5, 99.7, 0}, {0, 100.7, 0}, {5, 100.2, 0},
                        {10, 99.2, 0}, {10.0005, 99.4, 0}});
    // the design's own elevations, not lowered
    EXPECT_EQ(nums(offsets[0], offsets[1], elevations[0], elevations[1]), nums(-10.0, 10.0, 99.0, 99.5));
}

TEST_F(TemplateTest, LayerWidthsContinueTheEndGradesAndMarkedReferencesMoveInward) {
    ASSERT_EQ(grab("t.tpl",
                   "[TemplateType]\nVersion=6\nType=single\n[LeftLayerWorks]\nLine1=1,-100,100,2,0.004,Thin\n"
                   "Line2=0,-103,0,0,0.1,Kerb\nLine3=0,100,-100,0,0.1,Crossed\n"),
              1);
    XSECTION design = sectionOf({{-6, 101.1, -103}, {-4, 100.92, -100}, {0, 101, 0}, {4, 100.92, 100}});
    XSECTION out{};
    ASSERT_EQ(dbfRoadCalcLayer(0, 0, 0, design, out, *tpl, nullptr, nullptr, 0, 0), 1);
    // Left: grade 0.02 from -4 to 0 continued 1 m outward; right: -0.02 continued 2 m.
    expectSection(out, {{-5.00005, 100.904, 0}, {-5, 100.9, 0}, {-4, 100.92, 0}, {0, 101, 0}, {4, 100.92, 0},
                        {6, 100.88, 0}, {6.00005, 100.884, 0}});
    // Given edges replace the widths.
    ASSERT_EQ(dbfRoadCalcLayer(0, 0, 0, design, out, *tpl, nullptr, nullptr, -7, 5), 1);
    EXPECT_NEAR(out.points[1].offset, -7, 1e-12);
    EXPECT_NEAR(out.points[1].elevation, 100.86, 1e-12);
    EXPECT_NEAR(out.points[out.count - 2].elevation, 100.90, 1e-12);
    // -103 is the point at -6; the nearest marked point inward is -100 at -4, 2 m in: the layer
    // starts there and reaches out by the 2 m.
    ASSERT_EQ(dbfRoadCalcLayer(0, 1, 0, design, out, *tpl, nullptr, nullptr, 0, 0), 1);
    ASSERT_EQ(out.count, 5);
    EXPECT_LT(std::max(std::fabs(out.points[1].offset + 6), std::fabs(out.points[1].elevation - 100.88)), 1e-12);

    ui.clear();
    EXPECT_EQ(dbfRoadCalcLayer(12.3456, 2, 0, design, out, *tpl, nullptr, nullptr, 0, 0), 0);
    XSECTION none{};
    EXPECT_EQ(dbfRoadCalcLayer(7, 0, 0, none, out, *tpl, nullptr, nullptr, 0, 0), 0);
    EXPECT_EQ(dbfRoadCalcLayer(7, 0, NAN, design, out, *tpl, nullptr, nullptr, 0, 0), 0);
    EXPECT_EQ(ui.texts(), (std::vector<std::string>{"Invalid layerworks parameters for chainage 12.346",
                                                     "Invalid layerworks parameters for chainage 7.000",
                                                     "Invalid layerworks parameters for chainage 7.000"}));
    EXPECT_EQ(out.count, 0);
}

// ---------------------------------------------------------------------------------------------
// Designing a section against the natural ground. Every expected point is worked out by hand in
// the comments: edge at +-4 is 0.08 below the centre, batters 1:2.

TEST_F(TemplateTest, DesignInFillInCutAndChangingOnOneSide) {
    ASSERT_EQ(grab("t.tpl", kSingle), 1);
    struct Case {
        const char* what;
        XSECTION ground;
        double centre;
        std::vector<Pt> want;
        int left, right;
    };
    const Case cases[] = {
        // Flat ground at 100, centre 101: edge 100.92, rounding to 4.5 at 100.87, batter down
        // 0.87 over 1.74.
        {"fill", straightGround(100, 0), 101,
         {{-6.24, 100, -101}, {-4.5, 100.87, 0}, {-4, 100.92, -100}, {0, 101, 0}, {4, 100.92, 100},
          {4.5, 100.87, 0}, {6.24, 100, 101}},
         -1, -1},
        // Flat ground at 102: drain to 5 at 100.42, batter up 1.58 over 3.16.
        {"cut", straightGround(102, 0), 101,
         {{-8.16, 102, -101}, {-5, 100.42, 0}, {-4, 100.92, -100}, {0, 101, 0}, {4, 100.92, 100},
          {5, 100.42, 0}, {8.16, 102, 101}},
         1, 1},
        // Ground 100 + 0.1 x, centre 100.2: the right side starts in fill at the centre line and
        // ends in cut (edge 100.12 under ground 100.4): drain to 5 at 99.62, ground 100.5 there;
        // 99.62 + t/2 = 100.5 + t/10 gives t = 2.2. Left: edge 100.12 over ground 99.6, rounding
        // to -4.5 at 100.07 over ground 99.55; 100.07 - t/2 = 99.55 - t/10 gives t = 1.3.
        {"fill left, cut right", straightGround(100, 0.1), 100.2,
         {{-5.8, 99.42, -101}, {-4.5, 100.07, 0}, {-4, 100.12, -100}, {0, 100.2, 0}, {4, 100.12, 100},
          {5, 99.62, 0}, {7.2, 100.72, 101}},
         -1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        XSECTION ground = c.ground, design{};
        int kinds[2] = {};
        ASSERT_EQ(dbfRoadDesignSection(40, c.centre, *tpl, ground, design, kinds), 1);
        expectSection(design, c.want);
        EXPECT_EQ(nums(kinds[0], kinds[1]), nums(c.left, c.right));
        // The pavement of the template's layer works lies between the edges.
        XSECTION layer{};
        ASSERT_EQ(dbfRoadCalcLayer(40, 0, 0.2, design, layer, *tpl, nullptr, nullptr, 0, 0), 1);
        EXPECT_NEAR(layer.points[1].offset, -4, 1e-12);
        EXPECT_NEAR(layer.points[layer.count - 2].elevation, c.centre - 0.2, 1e-12);
    }
}

TEST_F(TemplateTest, DesignOfADualRoadWithItsMedianAndTheFailures) {
    ASSERT_EQ(grab("d.tpl",
                   "[TemplateType]\nVersion=6\nType=dual,0,0,0,1.5,2\n[LowerMedian]\nLine1=2,0\n"
                   "[UpperMedian]\nLine1=2,10\n[LeftCompulsory]\nLine1=7,-2.5,100\n"
                   "[RightCompulsory]\nLine1=7,-2.5,100\n"),
              1);
    // Flat ground at 100, centre 100: the left edge at -9 is 0.175 down, in cut at 1:1.5;
    // the right median rises 0.2 so the edge at 9 is at 100.025, in fill at 1:2.
    XSECTION ground = straightGround(100, 0), design{};
    ASSERT_EQ(dbfRoadDesignSection(0, 100, *tpl, ground, design, nullptr), 1);
    expectSection(design, {{-9.2625, 100, -101}, {-9, 99.825, -100}, {-2, 100, 0}, {0, 100, 0}, {2, 100.2, 0},
                           {9, 100.025, 100}, {9.05, 100, 101}});

    // The ground rising faster than the cut batter beyond its end never meets it: the side ends
    // at the edge.
    XSECTION steep = sectionOf({{-10, 110, 0}, {10, 90, 0}});
    int kinds[2];
    ASSERT_EQ(dbfRoadDesignSection(0, 95, *tpl, steep, design, kinds), 1);
    EXPECT_EQ(nums(kinds[0], design.points[0].marker), nums(0, -100));

    ui.clear();
    XSECTION empty{};
    EXPECT_EQ(dbfRoadDesignSection(5, 100, *tpl, empty, design, nullptr), 0);
    EXPECT_EQ(dbfRoadDesignSection(5, INFINITY, *tpl, ground, design, nullptr), 0);
    tpl->type = 0;
    EXPECT_EQ(dbfRoadDesignSection(5, 100, *tpl, ground, design, nullptr), 0);
    EXPECT_EQ(ui.texts(), (std::vector<std::string>{"No natural ground at chainage 5.000",
                                                     "The centre line level at chainage 5.000 is not a finite number",
                                                     "No valid template for chainage 5.000"}));
}

TEST_F(TemplateTest, TheShippedTemplatesRead) {
    for (const char* name : {"rural_single.tpl", "urban_dual.tpl"}) {
        std::string path = std::string(DB_SOURCE_DIR) + "/data/templates/" + name;
        EXPECT_EQ(dbfRoadGrabTemplate(path.data(), tpl.get()), 1) << name;
        XSECTION ground = straightGround(100, 0.05), design{};
        EXPECT_EQ(dbfRoadDesignSection(0, 100.3, *tpl, ground, design, nullptr), 1) << name;
        XSECTION layer{};
        EXPECT_EQ(dbfRoadCalcLayer(0, 0, 0, design, layer, *tpl, nullptr, nullptr, 0, 0), 1) << name;
    }
    EXPECT_TRUE(ui.texts().empty());
}

// ---------------------------------------------------------------------------------------------
// Geometry

// The cubic spiral's end point by Simpson's rule on its direction theta * (s / l)^2.
void spiralByQuadrature(double l, double theta, double& x, double& y) {
    const int n = 4000;
    x = y = 0.0;
    for (int i = 0; i <= n; ++i) {
        const double s = l * i / n;
        const double w = (i == 0 || i == n) ? 1 : (i % 2 ? 4 : 2);
        const double phi = theta * (s / l) * (s / l);
        x += w * std::cos(phi);
        y += w * std::sin(phi);
    }
    x *= l / n / 3;
    y *= l / n / 3;
}

TEST(TemplateGeometry, SpiralSeriesAgreeWithTheSpiralAtItsEndsAndMidPoint) {
    double x, y, shift, k;
    dbfQubicSpiraldata_half(100, 0, x, y);
    EXPECT_EQ(nums(x, y), nums(100.0, 0.0));
    dbfQubicSpiraldata_all(100, 0, shift, k, x, y);
    EXPECT_EQ(nums(shift, k), nums(0.0, 50.0));

    for (double theta : {0.1, 0.3, 0.6}) {
        const double l = 120.0, radius = l / (2 * theta);
        double qx, qy;
        spiralByQuadrature(l, theta, qx, qy);
        dbfQubicSpiraldata_all(l, theta, shift, k, x, y);
        EXPECT_NEAR(x, qx, 1e-7) << theta;
        EXPECT_NEAR(y, qy, 1e-7) << theta;
        EXPECT_NEAR(shift, qy - radius * (1 - std::cos(theta)), 1e-7) << theta;
        EXPECT_NEAR(k, qx - radius * std::sin(theta), 1e-7) << theta;
        // The first half of the spiral is a spiral of half the length turning a quarter as far.
        spiralByQuadrature(l / 2, theta / 4, qx, qy);
        dbfQubicSpiraldata_half(l / 2, theta / 4, x, y);
        EXPECT_NEAR(x, qx, 1e-8) << theta;
        EXPECT_NEAR(y, qy, 1e-8) << theta;
    }
}

TEST(TemplateGeometry, VerticalCurveAngleAndLengthFollowTheParabola) {
    struct Case { double g1, g2; };
    for (const Case c : {Case{2, -3}, Case{-4, 1.5}, Case{0, 6}, Case{3, 3}}) {
        const double want = std::fabs(std::atan(c.g1 / 100) - std::atan(c.g2 / 100));
        EXPECT_NEAR(dbfCalcI(c.g1, c.g2), want, 1e-15) << c.g1 << " " << c.g2;
        // A parabola of the same length L = K * |g1 - g2| / 100 turns through the same grades;
        // its angle and the circular one differ only in the cube of the grades.
        const double k = 3000, parabola = k * std::fabs(c.g1 - c.g2) / 100;
        EXPECT_NEAR(dbfCalcCurveLength(c.g1, c.g2, k), parabola, parabola * 2e-3 + 1e-12);
    }
}

TEST_F(TemplateTest, HooksAreCalledOnceEach) {
    static int applied, battered, features;
    static std::string nameSeen;
    applied = battered = features = 0;
    dbfSetApplyTemHook([](FILE*) { ++applied; });
    dbfSetBatterHook([](FILE*) { ++battered; nameSeen = dbfState().batterText; }, "Top");
    dbfSetFeaturesHook([](FILE*) { ++features; });
    for (int i = 0; i < 2; ++i) {
        dbfApplyStrTemplate(nullptr, 1);
        dbfApplyStrTemplate(nullptr, 0);
        dbfAddStrFeatures(nullptr);
    }
    EXPECT_EQ(nums(applied, battered, features), nums(1, 1, 1));
    EXPECT_EQ(nameSeen, "Top");
    EXPECT_STREQ(dbfState().batterText, "");

    coreSetDefault("Main", "DataPath", "/maker/data");
    char path[40];
    dbfGetPaveSymFileName(path, sizeof path);
    EXPECT_STREQ(path, "/maker/data\\Symbols\\PAVEMENT SYMBOLS.DR");
}

class TemplateRoadTest : public RoadTest {};

TEST_F(TemplateRoadTest, SectionDirectionFromTheNeighbouringChainages) {
    const double ys[] = {0, 10, 20}, xs[] = {0, 0, 10};
    unsigned idx[3];
    for (int i = 0; i < 3; ++i) {
        CHGBASE rec;
        idx[i] = dbfInsertChainage(i * 10.0, &rec);
        rec.y = ys[i];
        rec.x = xs[i];
        rec.skew = i == 1 ? 10 : 0;
        ASSERT_EQ(dbfStoreChg(idx[i], &rec), 1);
    }
    CHGBASE rec{};
    // At 0 only the direction to the next; at 10 the mean of both, then with its skew; the
    // current chainage is left on the previous one.
    struct Case { double chainage; int noSkew; double angle; unsigned current; };
    for (const Case& c : {Case{0, 0, kPi / 2, idx[0]}, {10, 1, (kPi / 2 + 3 * kPi / 4) / 2, idx[0]},
                          {10, 0, (kPi / 2 + 3 * kPi / 4) / 2 + kPi / 18, idx[0]}, {20, 0, 3 * kPi / 4, idx[1]}}) {
        rec.chainage = c.chainage;
        EXPECT_NEAR(dbfCalcXSectAngle(rec, c.noSkew), c.angle, 1e-12) << c.chainage << " " << c.noSkew;
        EXPECT_EQ(static_cast<unsigned>(roadState().head.current), c.current) << c.chainage;
    }
}

}  // namespace
