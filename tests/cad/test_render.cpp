// Rendering the display list to PNG, SVG and PDF.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "common/fixture.h"
#include "platform/cad.h"

namespace {

// the font caches are released at the end so that the leak checker sees only our own memory
class ReleaseFontCaches : public ::testing::Environment {
public:
    void TearDown() override { cadReleaseFontCaches(); }
};
const auto* const kReleaseFontCaches =
    ::testing::AddGlobalTestEnvironment(new ReleaseFontCaches);

// Reads a rendered PNG back; each pixel as 0x00RRGGBB.
class Png {
public:
    explicit Png(const std::string& path) : surface_(cairo_image_surface_create_from_png(path.c_str())) {}
    ~Png() { cairo_surface_destroy(surface_); }
    bool ok() const { return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS; }
    int width() const { return cairo_image_surface_get_width(surface_); }
    int height() const { return cairo_image_surface_get_height(surface_); }
    std::uint32_t pixel(int h, int v) const
    {
        cairo_surface_flush(surface_);
        const unsigned char* row = cairo_image_surface_get_data(surface_) +
                                   v * cairo_image_surface_get_stride(surface_);
        return reinterpret_cast<const std::uint32_t*>(row)[h] & 0x00FFFFFFu;
    }
    // true when any pixel of the square of half-size r around (h, v) is not white
    bool inkNear(int h, int v, int r = 1) const
    {
        for (int dv = -r; dv <= r; ++dv)
            for (int dh = -r; dh <= r; ++dh) {
                const int ph = h + dh, pv = v + dv;
                if (ph >= 0 && pv >= 0 && ph < width() && pv < height() &&
                    pixel(ph, pv) != 0x00FFFFFFu)
                    return true;
            }
        return false;
    }

private:
    cairo_surface_t* surface_;
};

// A world of 0..200 (y, across) by 0..100 (x, up) drawn on a 400 x 300 page: 2 pixels a unit,
// centred vertically (50 pixels above and below), world up is page up.
class RenderTest : public ::testing::Test {
protected:
    void SetUp() override { window.setZoomRect(0.0, 0.0, 200.0, 100.0); }
    dbtest::TempDir dir;
    HeadlessCadWindow window;
};

TEST_F(RenderTest, PngHasItsSizeAndInkOnlyWhereLinesWereDrawn)
{
    window.gsDisplayLine(20.0, 80.0, 180.0, 80.0, 1, 1, 2.0);   // red, near the top
    window.gsDisplayLine(100.0, 10.0, 100.0, 30.0, 5, 1, 2.0);  // blue, vertical, low
    const std::string path = dir.file("site.png");
    ASSERT_TRUE(window.render(path, 400, 300));
    Png png(path);
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(std::pair(png.width(), png.height()), std::pair(400, 300));
    // x = 80 is 40 pixels below the top of the world area, which starts 50 pixels down
    EXPECT_EQ(png.pixel(200, 90), 0x00FF0000u);
    EXPECT_TRUE(png.inkNear(60, 90));
    EXPECT_FALSE(png.inkNear(20, 90, 3));     // left of the line's start
    EXPECT_FALSE(png.inkNear(300, 240, 3));   // nothing drawn at the bottom right
    // the blue line runs from x = 10 to 30: page rows 230 up to 190
    EXPECT_EQ(png.pixel(200, 220), 0x000000FFu);
    EXPECT_FALSE(png.inkNear(200, 150, 3));
    // the page outside the world area stays blank
    EXPECT_FALSE(png.inkNear(200, 20, 3));
}

TEST_F(RenderTest, ErasedLinesWhitePensPolygonsAndTextsRender)
{
    window.gsDisplayLine(0.0, 50.0, 200.0, 50.0, 1, 1, 1.0);
    window.gsSetDrawMode(kGsDrawToggle);
    window.gsDisplayLine(0.0, 50.0, 200.0, 50.0, 1, 1, 1.0);   // erased again
    window.gsSetDrawMode(kGsDrawNormal);
    window.gsDisplayLine(10.0, 90.0, 60.0, 90.0, 255, 3, 2.0);  // white pen on white paper
    const GsPoint square[] = {{150, 10}, {190, 10}, {190, 40}, {150, 40}};
    window.gsDisplayFilledPolygon(square, 4, kGsRgbColourFlag | 0x0000FF00,
                                  kGsRgbColourFlag | 0x0000FF00);
    window.gsDisplayText("Road 1", 100.0, 20.0, 2, 5, 0, 10.0f, 0.0f);
    window.gsDisplayCircle(30.0, 30.0, 5.0, 3, 1);
    window.gsDisplayPoint(60.0, 30.0, 4, 0, -2.0f);
    window.gsDisplaySymbol("MH", 80.0, 30.0, 1.0);
    window.gsDisplayRect(5.0, 5.0, 15.0, 15.0, 6, 1);
    window.gsDisplayLine(0.0, 0.0, std::numeric_limits<double>::infinity(), 5.0, 1, 1, 1.0);   // damaged: left out
    const std::string path = dir.file("layers.png");
    ASSERT_TRUE(window.render(path, 400, 300));
    Png png(path);
    ASSERT_TRUE(png.ok());
    EXPECT_FALSE(png.inkNear(100, 150, 0));          // the erased line
    EXPECT_TRUE(png.inkNear(40, 70, 2));             // the white pen shows
    EXPECT_EQ(png.pixel(340, 200), 0x0000FF00u);     // inside the green square
    EXPECT_TRUE(png.inkNear(50, 190, 1));            // circle rim at y = 30 - 5
    EXPECT_FALSE(png.inkNear(60, 190, 3));           // and nothing at its centre
    EXPECT_TRUE(png.inkNear(120, 190, 1));           // point mark
}

TEST_F(RenderTest, SvgAndPdfAreWrittenAndBadRequestsFail)
{
    window.gsDisplayLine(0.0, 0.0, 200.0, 100.0, 1, 2, 1.0);
    window.gsDisplayText("Label", 100.0, 50.0, 7, 0, 0, -35.3f, 450.0f);
    for (const char* name : {"site.svg", "site.PDF"}) {
        const std::string path = dir.file(name);
        ASSERT_TRUE(window.render(path, 400, 300)) << name;
        EXPECT_GT(dbtest::readFile(path).size(), 100u) << name;
    }
    struct Bad { const char* name; int width, height; };
    for (const Bad& b : {Bad{"site.bmp", 400, 300}, {"noextension", 400, 300}, {"site.png", 0, 300}, {"site.png", 400, 20001},
                         {"missing/folder/site.png", 40, 30}, {"missing/folder/site.pdf", 40, 30}})
        EXPECT_FALSE(window.render(dir.file(b.name), b.width, b.height)) << b.name << " " << b.width << "x" << b.height;
}

TEST_F(RenderTest, AnEmptyOrFlatViewStillRenders)
{
    window.setZoomRect(5.0, 5.0, 5.0, 5.0);
    window.gsDisplayPoint(5.0, 5.0, 1, 0, -3.0f);
    const std::string path = dir.file("flat.png");
    ASSERT_TRUE(window.render(path, 64, 48));
    Png png(path);
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(png.width(), 64);
}

}  // namespace
