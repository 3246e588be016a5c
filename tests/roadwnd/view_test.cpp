// The road window's transforms, fitting, zoom levels, zoom box, pan and redraw.
#include <cmath>

#include "roadwnd/roadwnd_fixture.h"

namespace {

struct Size {
    int width;
    int height;
};

}  // namespace

TEST_F(RoadWndTest, TransformsMapTheCornersAtAnySize) {
    for (Size s : {Size{800, 500}, Size{300, 900}, Size{1, 1}, Size{1024, 77}}) {
        SCOPED_TRACE(s.width);
        const _bsRECT r{-12.5, 37.5, 104.0, 96.0};
        exactView(s.width, s.height, r);
        auto window = [&](double x, double y) {
            int px, py;
            w().UserToWindow(x, y, px, py);
            return nums(px, py);
        };
        // A point just inside the top-left pixel truncates to it.
        EXPECT_EQ(window(r.left, r.top), nums(0, 0));
        EXPECT_EQ(window(r.right, r.bottom), nums(s.width, s.height));
        EXPECT_EQ(window(r.left + 0.99 * 50.0 / s.width, r.top - 0.99 * 8.0 / s.height), nums(0, 0));
        double x, y, x2, y2;
        w().WindowToUser(s.width, s.height, x, y);
        w().WindowToUser(s.width / 2, 0, x2, y2);
        EXPECT_EQ(nums(x, y, y2), nums(r.right, r.bottom, r.top));
        EXPECT_DOUBLE_EQ(x2, r.left + 50.0 * (s.width / 2) / s.width);
    }
    // A point far outside stays far outside rather than wrapping round.
    int px, py;
    dbfRoadWindowCoords(1e300, -1e300, px, py);
    EXPECT_EQ(nums(px, py), nums(1000000000, 1000000000));
}

TEST_F(RoadWndTest, PrinterTransformUsesOneScaleAndTheLeftMargin) {
    exactView(640, 480, _bsRECT{0.0, 40.0, 120.0, 100.0});
    HeadlessCadWindow printer;
    w().StartPrint(&printer, _bsRECT{0.0, 2000.0, 0.0, 1400.0});
    const double k = 2000.0 / 40.0;
    const struct {
        double x, y;
    } points[] = {{0.0, 120.0}, {40.0, 100.0}, {13.37, 111.11}, {-5.0, 125.0}};
    for (const auto& p : points) {
        int px, py;
        w().UserToPrinter(p.x, p.y, px, py);
        EXPECT_EQ(nums(px, py), nums(static_cast<int>(std::trunc(p.x * k)) + 350, static_cast<int>(std::trunc((p.y - 120.0) * k * -1.0))));
    }
    // While printing the plot members draw on the printer, with width 2, in printer units.
    printer.clearDisplayList();
    const std::size_t onScreen = w().headlessSurface()->displayList().size();
    dbfRoadPlotLine(3, 1, 10.0, 110.0, 20.0, 105.0, 0);
    ASSERT_EQ(printer.displayList().size(), 1u);
    const CadPrimitive& line = printer.displayList()[0];
    EXPECT_EQ(nums(line.width, line.points[0].y, line.points[0].x, line.points[1].y, line.points[1].x, w().headlessSurface()->displayList().size()),
              nums(2.0, 850.0, -500.0, 1350.0, -750.0, onScreen));
    dbfRoadStopPrinting();
    dbfRoadPlotLine(3, 1, 10.0, 110.0, 20.0, 105.0, 0);
    EXPECT_EQ(nums(printer.displayList().size(), w().headlessSurface()->displayList().size()), nums(1, onScreen + 1));
}

TEST_F(RoadWndTest, PrintedFrameIsLabelledAtTheGridSteps) {
    coreSetDefault("Roads", "Grids", "10,5");
    exactView(640, 480, _bsRECT{0.0, 40.0, 120.0, 100.0});
    HeadlessCadWindow printer;
    dbfRoadStartPrinting(&printer, _bsRECT{0.0, 2000.0, 0.0, 1400.0});
    std::vector<std::string> labels;
    for (const CadPrimitive& p : printer.displayList())
        if (p.kind == CadPrimitiveKind::Text) labels.push_back(p.text + (p.angle == 900.0 ? "r" : ""));
    EXPECT_EQ(labels, (std::vector<std::string>{"100", "105", "110", "115", "120", "0r", "10r", "20r", "30r", "40r"}));
    EXPECT_EQ(printer.count(CadPrimitiveKind::Line), 4 + 10);
}

TEST_F(RoadWndTest, FittingKeepsTheWiderRangeAndExaggeratesLevels) {
    // 800 x 400: the window is twice as wide as high.
    resize(800, 400);
    w().SetRatio("Ratio", 0);
    coreSetDefaultInt("Roads", "Ratio", 4);
    w().SetRatio("Ratio", 0);
    w().WindowScale(_bsRECT{0.0, 100.0, 60.0, 50.0}, 1.0, 1.0 / w().ratio());
    _bsRECT r = w().viewLimits();
    EXPECT_EQ(nums(r.left, r.right), nums(0.0, 100.0));
    EXPECT_DOUBLE_EQ(r.top - r.bottom, 100.0 * 0.5 / 4);
    EXPECT_DOUBLE_EQ((r.top + r.bottom) / 2.0, 55.0);
    // Taller than the window: the level range becomes dy x fy, the offsets dy / aspect. The
    // rectangle's own height is not kept whole when the vertical ratio is above 1.
    w().WindowScale(_bsRECT{0.0, 10.0, 100.0, 0.0}, 1.0, 0.25);
    r = w().viewLimits();
    EXPECT_DOUBLE_EQ(r.right - r.left, 200.0);
    EXPECT_DOUBLE_EQ(r.top - r.bottom, 25.0);
    // Reversed x keeps its direction; fx 0 keeps the rectangle.
    w().WindowScale(_bsRECT{100.0, 0.0, 60.0, 50.0}, 1.0, 1.0);
    EXPECT_GT(w().viewLimits().left, w().viewLimits().right);
    w().WindowScale(_bsRECT{1.0, 2.0, 3.0, 4.0}, 0.0, 1.0);
    EXPECT_DOUBLE_EQ(w().viewLimits().bottom, 4.0);
}

TEST_F(RoadWndTest, CursorStaysWithinOnePixel) {
    exactView(100, 100, _bsRECT{0.0, 100.0, 100.0, 0.0});
    dbfRoadSetCursorPos(50.4, 49.6);
    double x, y, x2, y2;
    w().ScreenToCursor(50, 50, x, y);
    w().ScreenToCursor(52, 50, x2, y2);
    EXPECT_EQ(nums(x, y, x2, y2), nums(50.4, 49.6, 52.0, 50.0));
}

TEST_F(RoadWndTest, ZoomLevelsRebaseAtOneAndNine) {
    resize(400, 400);
    coreSetDefaultInt("Roads", "Ratio", 1);
    dbfRoadInitView(&view, 0, recordEvent, "Ratio", 0, 0);
    dbfRoadSetCursorPos(0.0, 100.0);
    const double baseWidth = 40.0;
    std::string levels;
    for (int i = 0; i < 5; ++i) {
        const _bsRECT before = w().viewLimits();
        w().OnChar('m', false);
        levels += w().zoomLevel();
        if (i < 4) EXPECT_DOUBLE_EQ(w().viewLimits().right - w().viewLimits().left, baseWidth * w().zoomFactor());
        else EXPECT_DOUBLE_EQ(w().baseRect().right - w().baseRect().left, before.right - before.left);
    }
    EXPECT_EQ(levels, "43214");
    // At level 1 the limits (a quarter) became the base: level 4 is three quarters of that.
    EXPECT_DOUBLE_EQ(w().viewLimits().right - w().viewLimits().left, baseWidth * 0.25 * 0.75);

    dbfRoadInitView(&view, 0, recordEvent, "Ratio", 0, 0);
    dbfRoadSetCursorPos(0.0, 100.0);
    levels.clear();
    for (int i = 0; i < 5; ++i) {
        w().OnChar('D', false);
        levels += w().zoomLevel();
    }
    EXPECT_EQ(levels, "67896");
    EXPECT_DOUBLE_EQ(w().viewLimits().right - w().viewLimits().left, baseWidth * 4.0 * 1.5);
    // Zooming centres the view on the cursor.
    EXPECT_DOUBLE_EQ((w().viewLimits().left + w().viewLimits().right) / 2.0, 0.0);
}

TEST_F(RoadWndTest, ZoomBoxZoomsOnlyOnCornersApartInBothAxes) {
    resize(400, 200);   // the view fits this window exactly
    const _bsRECT before = w().viewLimits();
    dbfRoadDisplayPrompt("Pick a point");
    w().OnChar('z', false);
    EXPECT_EQ(w().prompt(), "Enter corner of box (Esc to cancel)");
    EXPECT_TRUE(w().mouseCaptured());
    // A shared row keeps the view and ends the box.
    w().OnLButtonDown(100, 50, 0);
    w().OnLButtonDown(300, 50, 0);
    EXPECT_FALSE(w().zooming());
    EXPECT_EQ(w().prompt(), "Pick a point");
    EXPECT_EQ(nums(w().viewLimits().left, w().viewLimits().top), nums(before.left, before.top));

    // The band follows the cursor in the band mode; a right click erases it.
    w().OnChar('Z', false);
    w().OnLButtonDown(100, 50, 0);
    w().OnMouseMove(200, 120, 0);
    w().OnMouseMove(300, 150, 0);
    auto bands = shown();
    ASSERT_EQ(bands.size(), 1u);
    EXPECT_EQ(bands[0].kind, CadPrimitiveKind::Rect);
    EXPECT_EQ(nums(bands[0].drawMode, bands[0].points[1].y), nums(kRoadDrawBand, 300.0));
    w().OnRButtonDown(300, 150, 0);
    EXPECT_TRUE(shown().empty() && events().empty());   // moves in the box mode do not reach the hook

    // Corners given either way round zoom to the box, in the limits' own directions.
    w().OnLButtonDown(300, 150, 0);
    w().OnLButtonDown(100, 50, 0);
    EXPECT_FALSE(w().zooming());
    EXPECT_EQ(w().zoomLevel(), '5');
    const _bsRECT b = w().baseRect();
    EXPECT_EQ(nums(b.left, b.right, b.top, b.bottom), nums(-10.0, 10.0, 105.0, 95.0));
}

TEST_F(RoadWndTest, PanCentresOnTheCursorAndRedrawReturnsToTheRedrawLimits) {
    resize(400, 200);
    dbfRoadSetRedrawLimits();
    const _bsRECT start = w().viewLimits();
    dbfRoadPan(10.0, 102.0);
    const _bsRECT panned = w().viewLimits();
    EXPECT_DOUBLE_EQ((panned.left + panned.right) / 2.0, 10.0);
    EXPECT_DOUBLE_EQ((panned.top + panned.bottom) / 2.0, 102.0);
    EXPECT_DOUBLE_EQ(panned.right - panned.left, start.right - start.left);
    w().OnChar('r', false);
    _bsRECT redraw{};
    dbfRoadGetRedrawLimits(redraw);
    EXPECT_EQ(nums(w().viewLimits().left, w().viewLimits().top, redraw.right), nums(start.left, start.top, view.right));
    // Zooming to a rectangle ends a zoom box, resets the level and centres the cursor.
    w().OnChar('z', false);
    w().OnChar('m', false);   // in the box mode letters still act
    dbfRoadZoom(_bsRECT{0.0, 8.0, 104.0, 100.0});
    EXPECT_FALSE(w().zooming() || w().mouseCaptured());
    EXPECT_EQ(w().zoomLevel(), '5');
    EXPECT_EQ(nums(w().cursorX(), w().cursorY(), w().baseRect().right), nums(4.0, 102.0, 8.0));
}

TEST_F(RoadWndTest, ResizingRefitsTheBaseRectangle) {
    resize(400, 400);
    const double wide = w().viewLimits().top - w().viewLimits().bottom;
    resize(400, 800);
    EXPECT_DOUBLE_EQ(w().viewLimits().top - w().viewLimits().bottom, 2.0 * wide);
    EXPECT_DOUBLE_EQ(w().viewLimits().right - w().viewLimits().left, 40.0);
}
