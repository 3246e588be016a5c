// sitebase site: the demo's site plan as pictures, and the site commands' refusals and results.
#include <cairo.h>

#include <cmath>
#include <cstdlib>

#include "host/host_fixture.h"
#include "platform/cad.h"

namespace {

struct Rgb {
    int r, g, b;
};

Rgb rgbOf(COLORREF c) { return {static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF)}; }

class SiteHost : public HostTest {};

TEST_F(SiteHost, DemoSitePlanShowsEveryLayer) {
    const std::string out = dir.file("demo");
    const Outcome o = run({"demo", out});
    ASSERT_EQ(o.code, 0) << o.err;
    cairo_surface_t* png = cairo_image_surface_create_from_png((out + "/site_plan.png").c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    const int w = cairo_image_surface_get_width(png), h = cairo_image_surface_get_height(png);
    EXPECT_GE(w, 4000);
    EXPECT_GT(h, w);
    const unsigned char* data = cairo_image_surface_get_data(png);
    const int stride = cairo_image_surface_get_stride(png);
    // Colours looked for (near enough for anti-aliased lines): a light and a high shading class,
    // the feature lines, the contours, the road, the sewer.
    struct Wanted {
        const char* what;
        Rgb colour;
        int found;
    };
    Wanted wanted[] = {{"low shading", rgbOf(8404992), 0}, {"high shading", rgbOf(27630), 0},
                       {"feature lines", rgbOf(cadPenColour(9)), 0}, {"contours", rgbOf(cadPenColour(8)), 0},
                       {"road", rgbOf(cadPenColour(1)), 0},           {"sewer", rgbOf(cadPenColour(5)), 0}};
    long inked = 0;
    for (int y = 0; y < h; y += 2)
        for (int x = 0; x < w; x += 2) {
            const unsigned char* px = data + y * stride + x * 4;   // B, G, R, A
            const int b = px[0], g = px[1], r = px[2];
            if (r < 245 || g < 245 || b < 245) ++inked;
            for (Wanted& k : wanted)
                if (std::abs(r - k.colour.r) + std::abs(g - k.colour.g) + std::abs(b - k.colour.b) < 40) ++k.found;
        }
    cairo_surface_destroy(png);
    EXPECT_GT(inked, static_cast<long>(w / 2) * (h / 2) / 2) << "at least half the page is drawn on";
    for (const Wanted& k : wanted) EXPECT_GT(k.found, 10) << k.what;

    if (access("/usr/bin/pdftoppm", X_OK) != 0) GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    const std::string cmd = "/usr/bin/pdftoppm -r 10 -png " + out + "/site_plan.pdf " + dir.file("pdf") + " 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_GT(dbtest::readFile(dir.file("pdf-1.png")).size(), 1000u);
    EXPECT_NE(dbtest::readFile(out + "/site_plan.svg").find("<svg"), std::string::npos);
}

TEST_F(SiteHost, RenderRefusesBadLayersAndViews) {
    ASSERT_EQ(run({"terrain", "create"}).code, 0);
    expectEach({
        {{"site", "render", "--layers", "points,rivers", "x.png"}, 2, "", "unknown layer rivers"},
        {{"site", "render", "--view", "0,0,10", "x.png"}, 2, "", "four numbers"},
        {{"site", "render", "--view", "0,0,nan,5", "x.png"}, 2, "", "not a number"},
        {{"site", "render", "--view", "0,0,0,5", "x.png"}, 2, "", "must differ"},
        {{"site", "render", "--format", "gif", "x.gif"}, 2, "", "gif"},
        {{"site", "toggle", "rivers"}, 2, "", "unknown layer"},
        {{"site", "zoom", "sideways"}, 2, "", "in, out or all"},
    });
}

TEST_F(SiteHost, ToggleZoomPanAndSnapKeepTheirStateWithTheProject) {
    ASSERT_EQ(run({"terrain", "create"}).code, 0);
    dbtest::writeFile(dir.file("points.csv"), "name,y,x,z\nP1,10,20,5\nP2,60,70,6\n");
    ASSERT_EQ(run({"terrain", "import-points", dir.file("points.csv")}).code, 0);
    Outcome o = run({"site", "toggle", "names"});
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.out, "names on\n");
    EXPECT_EQ(run({"site", "toggle", "names"}).out, "names off\n");
    for (const std::vector<std::string>& args : {std::vector<std::string>{"site", "zoom", "all"}, {"site", "pan", "60", "70"}})
        ASSERT_EQ(run(args).code, 0) << args[1];
    o = run({"site", "snap", "58", "69"});
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.out.substr(0, 3), "P2 ");
    o = run({"site", "render", "--layers", "points,names,heights", dir.file("plan.svg")});
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_NE(dbtest::readFile(dir.file("plan.svg")).find("<svg"), std::string::npos);
}

}  // namespace
