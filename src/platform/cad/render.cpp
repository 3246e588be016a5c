// Rendering the headless window's display list with Cairo to PNG, SVG or PDF.
#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>

#include "platform/cad.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// screen text heights are given in tenths of a millimetre; the page has 96 pixels to the inch
constexpr double kPixelsPerTenthMm = 96.0 / 254.0;

struct Rgb {
    double r;
    double g;
    double b;
};

Rgb rgbOf(COLORREF c)
{
    return Rgb{(c & 0xFFu) / 255.0, ((c >> 8) & 0xFFu) / 255.0, ((c >> 16) & 0xFFu) / 255.0};
}

// World (y, x) to page: the zoom rectangle fills the page as far as the aspect ratio allows,
// centred, with world up as page up.
class PageMap {
public:
    PageMap(const _bsRECT& view, int width, int height)
    {
        minY_ = view.left;
        maxX_ = view.top;
        double spanY = view.right - view.left;
        double spanX = view.top - view.bottom;
        if (!(spanY > 0.0))
            spanY = 1.0;
        if (!(spanX > 0.0))
            spanX = 1.0;
        scale_ = std::min(width / spanY, height / spanX);
        offsetH_ = (width - spanY * scale_) / 2.0;
        offsetV_ = (height - spanX * scale_) / 2.0;
    }
    double h(double y) const { return offsetH_ + (y - minY_) * scale_; }
    double v(double x) const { return offsetV_ + (maxX_ - x) * scale_; }
    double length(double worldLength) const { return worldLength * scale_; }

private:
    double minY_ = 0.0;
    double maxX_ = 0.0;
    double scale_ = 1.0;
    double offsetH_ = 0.0;
    double offsetV_ = 0.0;
};

enum class PageKind { Png, Svg, Pdf, Unknown };

PageKind pageKindOf(const std::string& path)
{
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos)
        return PageKind::Unknown;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == "png")
        return PageKind::Png;
    if (ext == "svg")
        return PageKind::Svg;
    if (ext == "pdf")
        return PageKind::Pdf;
    return PageKind::Unknown;
}

class Painter {
public:
    Painter(cairo_t* cr, const PageMap& map, COLORREF background)
        : cr_(cr), map_(map), background_(background)
    {
    }

    void draw(const CadPrimitive& p)
    {
        // a damaged coordinate would put the whole page in error
        for (const GsPoint& corner : p.points)
            if (!std::isfinite(corner.y) || !std::isfinite(corner.x))
                return;
        if (p.points.empty())
            return;
        switch (p.kind) {
        case CadPrimitiveKind::Line:
            line(p);
            break;
        case CadPrimitiveKind::Text:
            text(p);
            break;
        case CadPrimitiveKind::Point:
            point(p);
            break;
        case CadPrimitiveKind::Circle:
            circle(p);
            break;
        case CadPrimitiveKind::Rect:
            rect(p);
            break;
        case CadPrimitiveKind::FilledPolygon:
            polygon(p);
            break;
        case CadPrimitiveKind::Symbol:
            symbol(p);
            break;
        }
    }

private:
    // A colour that vanishes on the page (white pens on white paper) is drawn in its opposite,
    // as plotters do.
    void setColour(COLORREF colour)
    {
        colour &= 0x00FFFFFFu;
        if (colour == (background_ & 0x00FFFFFFu))
            colour = 0x00FFFFFFu - colour;
        const Rgb c = rgbOf(colour);
        cairo_set_source_rgb(cr_, c.r, c.g, c.b);
    }
    void setPen(int pen) { setColour(cadPenColour(pen)); }
    void setPenOrRgb(long value)
    {
        if (value & kGsRgbColourFlag)
            setColour(static_cast<COLORREF>(value) & 0x00FFFFFFu);
        else
            setPen(static_cast<int>(value));
    }

    // Line styles 0 and 1 are solid; the others cycle through dashed, dotted, dash-dot,
    // dash-dot-dot and long-dashed, scaled with the line width.
    void setStroke(int style, double width)
    {
        const double w = width > 0.0 ? width : 1.0;
        cairo_set_line_width(cr_, w);
        static const double kDashed[] = {6, 3};
        static const double kDotted[] = {1, 2};
        static const double kDashDot[] = {6, 2, 1, 2};
        static const double kDashDotDot[] = {6, 2, 1, 2, 1, 2};
        static const double kLongDash[] = {12, 4};
        struct Pattern {
            const double* dashes;
            int count;
        };
        static const Pattern kPatterns[] = {
            {kDashed, 2}, {kDotted, 2}, {kDashDot, 4}, {kDashDotDot, 6}, {kLongDash, 2}};
        if (style <= 1) {
            cairo_set_dash(cr_, nullptr, 0, 0.0);
            return;
        }
        const Pattern& pattern = kPatterns[(style - 2) % 5];
        double scaled[6];
        for (int i = 0; i < pattern.count; ++i)
            scaled[i] = pattern.dashes[i] * w;
        cairo_set_dash(cr_, scaled, pattern.count, 0.0);
    }

    void line(const CadPrimitive& p)
    {
        setPen(p.pen);
        setStroke(p.style, p.width);
        cairo_move_to(cr_, map_.h(p.points[0].y), map_.v(p.points[0].x));
        cairo_line_to(cr_, map_.h(p.points[1].y), map_.v(p.points[1].x));
        cairo_stroke(cr_);
    }

    void rect(const CadPrimitive& p)
    {
        setPen(p.pen);
        setStroke(p.style, 0.0);
        const double h1 = map_.h(p.points[0].y), v1 = map_.v(p.points[0].x);
        const double h2 = map_.h(p.points[1].y), v2 = map_.v(p.points[1].x);
        cairo_rectangle(cr_, std::min(h1, h2), std::min(v1, v2), std::fabs(h2 - h1),
                        std::fabs(v2 - v1));
        cairo_stroke(cr_);
    }

    void circle(const CadPrimitive& p)
    {
        setPen(p.pen);
        setStroke(p.style, 0.0);
        cairo_new_path(cr_);
        cairo_arc(cr_, map_.h(p.points[0].y), map_.v(p.points[0].x),
                  std::max(map_.length(std::fabs(p.radius)), 0.5), 0.0, 2.0 * kPi);
        cairo_stroke(cr_);
    }

    // A point is a small cross: |size| pixels for each arm when the size is negative, world
    // units when it is positive, never less than two pixels.
    void point(const CadPrimitive& p)
    {
        setPen(p.pen);
        setStroke(1, 1.0);
        double arm = p.size < 0.0 ? -p.size : map_.length(p.size);
        arm = std::max(arm, 2.0);
        const double h = map_.h(p.points[0].y), v = map_.v(p.points[0].x);
        cairo_move_to(cr_, h - arm, v);
        cairo_line_to(cr_, h + arm, v);
        cairo_move_to(cr_, h, v - arm);
        cairo_line_to(cr_, h, v + arm);
        cairo_stroke(cr_);
    }

    // A symbol is drawn as a marked circle sized by its scale (the symbol shapes live in the
    // host's symbol file, which this window does not have).
    void symbol(const CadPrimitive& p)
    {
        cairo_set_source_rgb(cr_, 0.0, 0.0, 0.0);
        setStroke(1, 1.0);
        const double radius = std::max(4.0 * std::fabs(p.size), 2.0);
        const double h = map_.h(p.points[0].y), v = map_.v(p.points[0].x);
        cairo_new_path(cr_);
        cairo_arc(cr_, h, v, radius, 0.0, 2.0 * kPi);
        cairo_move_to(cr_, h - radius, v);
        cairo_line_to(cr_, h + radius, v);
        cairo_stroke(cr_);
    }

    void polygon(const CadPrimitive& p)
    {
        cairo_new_path(cr_);
        cairo_move_to(cr_, map_.h(p.points[0].y), map_.v(p.points[0].x));
        for (size_t i = 1; i < p.points.size(); ++i)
            cairo_line_to(cr_, map_.h(p.points[i].y), map_.v(p.points[i].x));
        cairo_close_path(cr_);
        setPenOrRgb(p.fill);
        cairo_fill_preserve(cr_);
        setPenOrRgb(p.outline);
        setStroke(1, 1.0);
        cairo_stroke(cr_);
    }

    void text(const CadPrimitive& p)
    {
        if (p.text.empty())
            return;
        const double size = p.height < 0.0 ? -p.height * kPixelsPerTenthMm
                                           : map_.length(p.height);
        // text too small to read or absurdly large is left out, as a screen would
        if (!(size >= 0.5) || size > 100000.0)
            return;
        setPen(p.pen);
        cairo_save(cr_);
        cairo_select_font_face(cr_, p.font.empty() ? "sans-serif" : p.font.c_str(),
                               CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr_, size);
        cairo_text_extents_t extents;
        cairo_text_extents(cr_, p.text.c_str(), &extents);
        // A text set beside its position (left or right justified) keeps a quarter of its size
        // away from it, so that a point's name and height on either side of the point do not
        // touch each other or the point's mark.
        const double gap = size * 0.25;
        double dx = gap;
        double dy = 0.0;
        if (p.justification >= 1 && p.justification <= 9) {
            const int column = (p.justification - 1) % 3;
            const int row = (p.justification - 1) / 3;
            dx = -extents.x_advance * column / 2.0 + (column == 0 ? gap : (column == 2 ? -gap : 0.0));
            dy = size * row / 2.0;
        }
        cairo_translate(cr_, map_.h(p.points[0].y), map_.v(p.points[0].x));
        cairo_rotate(cr_, -p.angle / 10.0 * kPi / 180.0);
        cairo_move_to(cr_, dx, dy);
        cairo_show_text(cr_, p.text.c_str());
        cairo_restore(cr_);
    }

    cairo_t* cr_;
    const PageMap& map_;
    COLORREF background_;
};

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

}  // namespace

bool HeadlessCadWindow::render(const std::string& path, int widthPx, int heightPx) const
{
    const PageKind kind = pageKindOf(path);
    if (kind == PageKind::Unknown || widthPx < 1 || heightPx < 1 || widthPx > 20000 ||
        heightPx > 20000)
        return false;

    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface;
    switch (kind) {
    case PageKind::Png:
        surface.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, widthPx, heightPx));
        break;
    case PageKind::Svg:
        surface.reset(cairo_svg_surface_create(path.c_str(), widthPx, heightPx));
        break;
    case PageKind::Pdf:
        surface.reset(cairo_pdf_surface_create(path.c_str(), widthPx, heightPx));
        break;
    case PageKind::Unknown:
        return false;
    }
    if (!surface || cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        return false;

    {
        std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(surface.get()));
        if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
            return false;
        const Rgb paper = rgbOf(background_);
        cairo_set_source_rgb(cr.get(), paper.r, paper.g, paper.b);
        cairo_paint(cr.get());
        cairo_set_line_cap(cr.get(), CAIRO_LINE_CAP_ROUND);

        const PageMap map(viewRect(), widthPx, heightPx);
        Painter painter(cr.get(), map, background_);
        // Without primitives drawn in the toggle mode the display list is what is visible; it is
        // drawn as it stands rather than copied (a site redraw holds millions of primitives).
        const bool toggled = std::any_of(displayList_.begin(), displayList_.end(),
                                         [](const CadPrimitive& p) { return p.drawMode == kGsDrawToggle; });
        if (toggled) {
            for (const CadPrimitive& p : visiblePrimitives())
                painter.draw(p);
        } else {
            for (const CadPrimitive& p : displayList_)
                painter.draw(p);
        }
        if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
            return false;
    }

    if (kind == PageKind::Png)
        return cairo_surface_write_to_png(surface.get(), path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_finish(surface.get());
    return cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS;
}

void cadReleaseFontCaches()
{
    cairo_debug_reset_static_data();
    // fontconfig comes in with Cairo, so its clean-up is looked up rather than linked
    using FcFiniFunction = void (*)();
    if (auto fcFini = reinterpret_cast<FcFiniFunction>(dlsym(RTLD_DEFAULT, "FcFini")))
        fcFini();
}
