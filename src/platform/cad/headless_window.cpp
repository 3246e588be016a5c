// The headless drawing window: state, display list and paint cycle. Rendering is in render.cpp.
#include <algorithm>
#include <cmath>

#include "platform/cad.h"
#include "platform/os.h"

namespace {

std::string textOf(const char* text) { return text ? std::string(text) : std::string(); }

// Two primitives are the same drawing when they would put the same marks on the screen; the
// layer and the draw mode they were drawn with do not matter.
bool sameDrawing(const CadPrimitive& a, const CadPrimitive& b)
{
    if (a.kind != b.kind || a.points.size() != b.points.size())
        return false;
    for (size_t i = 0; i < a.points.size(); ++i)
        if (a.points[i].y != b.points[i].y || a.points[i].x != b.points[i].x)
            return false;
    return a.pen == b.pen && a.style == b.style && a.width == b.width && a.fill == b.fill &&
           a.outline == b.outline && a.radius == b.radius && a.size == b.size &&
           a.text == b.text && a.justification == b.justification && a.height == b.height &&
           a.angle == b.angle;
}

// The first double-quoted argument of a macro text; empty when there is none.
std::string firstQuoted(const std::string& text)
{
    const size_t open = text.find('"');
    if (open == std::string::npos)
        return std::string();
    const size_t close = text.find('"', open + 1);
    if (close == std::string::npos)
        return std::string();
    return text.substr(open + 1, close - open - 1);
}

}  // namespace

HeadlessCadWindow::HeadlessCadWindow() = default;

// ---------------------------------------------------------------------------------------------
// Status line, prompt, cursor, progress, Escape

void HeadlessCadWindow::notifyConsole() const
{
    if (console_)
        console_(*this);
}

void HeadlessCadWindow::gsSetHelpText(const char* text)
{
    helpText_ = textOf(text);
    helpHistory_.push_back(helpText_);
    notifyConsole();
}

void HeadlessCadWindow::gsSetHoldStdPrompt(bool hold) { promptHeld_ = hold; }

void HeadlessCadWindow::gsCursorWait(bool show) { waitCursor_ = show; }

void HeadlessCadWindow::gsSetProgress(int position, int total, const char* text)
{
    if (total < 1)
        progress_ = CadProgress{0, 0, textOf(text)};
    else
        progress_ = CadProgress{position, total, textOf(text)};
    progressHistory_.push_back(progress_);
    notifyConsole();
}

void HeadlessCadWindow::clearHistories()
{
    helpHistory_.clear();
    progressHistory_.clear();
}

void HeadlessCadWindow::pressEscapeAtCheck(int n)
{
    escapeAtCheck_ = escapeChecks_ + std::max(n, 1);
}

bool HeadlessCadWindow::CheckEscapePressed(int option)
{
    ++escapeChecks_;
    lastEscapeOption_ = option;
    bool pressed = false;
    if (escapeAtCheck_ != 0 && escapeChecks_ >= escapeAtCheck_) {
        // a key press is seen once
        escapeAtCheck_ = 0;
        pressed = true;
    }
    // the terminal host presses Escape with Ctrl-C
    if (osTakeEscape())
        pressed = true;
    return pressed;
}

// ---------------------------------------------------------------------------------------------
// Layers and drawing

void HeadlessCadWindow::gsSetLayer(const char* name, const char* type)
{
    layer_ = textOf(name);
    layerType_ = textOf(type);
}

void HeadlessCadWindow::gsSetFont(const char* name, double height, int weight, int alignH,
                                  int alignV, double scale)
{
    font_ = CadFont{textOf(name), height, weight, alignH, alignV, scale};
}

void HeadlessCadWindow::gsSetDrawMode(long mode) { drawMode_ = mode; }

void HeadlessCadWindow::add(CadPrimitive primitive)
{
    primitive.layer = layer_;
    primitive.layerType = layerType_;
    primitive.drawMode = drawMode_;
    primitive.font = font_.name;
    displayList_.push_back(std::move(primitive));
}

void HeadlessCadWindow::gsDisplayLine(double y1, double x1, double y2, double x2, int pen,
                                      int style, double width)
{
    CadPrimitive p;
    p.kind = CadPrimitiveKind::Line;
    p.points = {{y1, x1}, {y2, x2}};
    p.pen = pen;
    p.style = style;
    p.width = width;
    add(std::move(p));
}

void HeadlessCadWindow::gsDisplayText(const char* text, double y, double x, int pen,
                                      int justification, short option, float height, float angle)
{
    CadPrimitive p;
    p.kind = CadPrimitiveKind::Text;
    p.points = {{y, x}};
    p.text = textOf(text);
    p.pen = pen;
    p.justification = justification;
    p.option = option;
    p.height = height;
    p.angle = angle;
    add(std::move(p));
}

void HeadlessCadWindow::gsDisplayPoint(double y, double x, int pen, int style, float size)
{
    CadPrimitive p;
    p.kind = CadPrimitiveKind::Point;
    p.points = {{y, x}};
    p.pen = pen;
    p.style = style;
    p.size = size;
    add(std::move(p));
}

void HeadlessCadWindow::gsDisplayCircle(double y, double x, double radius, int pen, short style)
{
    CadPrimitive p;
    p.kind = CadPrimitiveKind::Circle;
    p.points = {{y, x}};
    p.radius = radius;
    p.pen = pen;
    p.style = style;
    add(std::move(p));
}

void HeadlessCadWindow::gsDisplayRect(double y1, double x1, double y2, double x2, int pen,
                                      short style)
{
    CadPrimitive p;
    p.kind = CadPrimitiveKind::Rect;
    p.points = {{y1, x1}, {y2, x2}};
    p.pen = pen;
    p.style = style;
    add(std::move(p));
}

void HeadlessCadWindow::gsDisplayFilledPolygon(const GsPoint* corners, int count, long fill,
                                               long outline)
{
    // a polygon needs three corners; anything less draws nothing, as on the screen
    if (!corners || count < 3)
        return;
    CadPrimitive p;
    p.kind = CadPrimitiveKind::FilledPolygon;
    p.points.assign(corners, corners + count);
    p.fill = fill;
    p.outline = outline;
    add(std::move(p));
}

void HeadlessCadWindow::gsDisplaySymbol(const char* name, double y, double x, double scale)
{
    CadPrimitive p;
    p.kind = CadPrimitiveKind::Symbol;
    p.points = {{y, x}};
    p.text = textOf(name);
    p.size = scale;
    add(std::move(p));
}

COLORREF HeadlessCadWindow::gsGetPenColor(short pen) { return cadPenColour(pen); }

std::vector<CadPrimitive> HeadlessCadWindow::visiblePrimitives() const
{
    std::vector<CadPrimitive> shown;
    for (const CadPrimitive& p : displayList_) {
        if (p.drawMode == kGsDrawToggle) {
            auto match = std::find_if(shown.rbegin(), shown.rend(),
                                      [&](const CadPrimitive& s) { return sameDrawing(s, p); });
            if (match != shown.rend()) {
                shown.erase(std::next(match).base());
                continue;
            }
        }
        shown.push_back(p);
    }
    return shown;
}

int HeadlessCadWindow::count(CadPrimitiveKind kind, const std::string& layer) const
{
    return static_cast<int>(std::count_if(displayList_.begin(), displayList_.end(),
                                          [&](const CadPrimitive& p) {
                                              return p.kind == kind &&
                                                     (layer.empty() || p.layer == layer);
                                          }));
}

// ---------------------------------------------------------------------------------------------
// View

void HeadlessCadWindow::setZoomRect(double y1, double x1, double y2, double x2)
{
    zoom_[0] = y1;
    zoom_[1] = x1;
    zoom_[2] = y2;
    zoom_[3] = x2;
    viewDirty_ = true;
}

void HeadlessCadWindow::gsGetZoomRect(double& a, double& b, double& c, double& d)
{
    a = zoom_[0];
    b = zoom_[1];
    c = zoom_[2];
    d = zoom_[3];
}

void HeadlessCadWindow::gsGetCurrCoord(double& y, double& x)
{
    y = currY_;
    x = currX_;
}

void HeadlessCadWindow::gsSetCurrCoord(double y, double x)
{
    currY_ = y;
    currX_ = x;
}

void HeadlessCadWindow::gsSetZoomAllMyLimits(double maxY, double minX, double minY, double maxX)
{
    zoomAll_[0] = maxY;
    zoomAll_[1] = minX;
    zoomAll_[2] = minY;
    zoomAll_[3] = maxX;
    hasZoomAll_ = true;
}

void HeadlessCadWindow::gsMagnify()
{
    const double cy = (zoom_[0] + zoom_[2]) / 2.0;
    const double cx = (zoom_[1] + zoom_[3]) / 2.0;
    setZoomRect(cy + (zoom_[0] - cy) / 2.0, cx + (zoom_[1] - cx) / 2.0,
                cy + (zoom_[2] - cy) / 2.0, cx + (zoom_[3] - cx) / 2.0);
}

void HeadlessCadWindow::gsDemagnify()
{
    const double cy = (zoom_[0] + zoom_[2]) / 2.0;
    const double cx = (zoom_[1] + zoom_[3]) / 2.0;
    setZoomRect(cy + (zoom_[0] - cy) * 2.0, cx + (zoom_[1] - cx) * 2.0,
                cy + (zoom_[2] - cy) * 2.0, cx + (zoom_[3] - cx) * 2.0);
}

void HeadlessCadWindow::gsPan()
{
    const double dy = currY_ - (zoom_[0] + zoom_[2]) / 2.0;
    const double dx = currX_ - (zoom_[1] + zoom_[3]) / 2.0;
    setZoomRect(zoom_[0] + dy, zoom_[1] + dx, zoom_[2] + dy, zoom_[3] + dx);
}

void HeadlessCadWindow::gsZoomAll()
{
    if (!hasZoomAll_)
        return;
    setZoomRect(zoomAll_[2], zoomAll_[1], zoomAll_[0], zoomAll_[3]);
}

void HeadlessCadWindow::gsRedraw() { paint(); }

void HeadlessCadWindow::gsRefresh()
{
    if (viewDirty_)
        paint();
}

void HeadlessCadWindow::gsSetViewDirty(bool dirty) { viewDirty_ = dirty; }

short HeadlessCadWindow::gsSetSnapMode(short mode)
{
    const short previous = snapMode_;
    snapMode_ = mode;
    return previous;
}

// ---------------------------------------------------------------------------------------------
// Paint cycle

_bsRECT HeadlessCadWindow::viewRect() const
{
    return _bsRECT{std::min(zoom_[0], zoom_[2]), std::max(zoom_[0], zoom_[2]),
                   std::max(zoom_[1], zoom_[3]), std::min(zoom_[1], zoom_[3])};
}

void HeadlessCadWindow::paint()
{
    // a callback that pumps messages may ask for a repaint; the running paint covers it
    if (painting_)
        return;
    painting_ = true;
    viewDirty_ = false;
    ++paintCount_;
    displayList_.clear();
    _bsRECT rect = viewRect();
    if (prePaint_)
        prePaint_(&rect);
    rect = viewRect();
    if (postPaint_)
        postPaint_(&rect);
    painting_ = false;
}

int HeadlessCadWindow::snap(double& y, double& x) { return snap_ ? snap_(y, x) : 0; }

void HeadlessCadWindow::ResumeFunc()
{
    if (suspendDepth_ > 0)
        --suspendDepth_;
}

// ---------------------------------------------------------------------------------------------
// Macros, symbols, picks

long HeadlessCadWindow::gsExecuteMacro(const char* text)
{
    const std::string macro = textOf(text);
    if (macro.empty())
        return 0;
    macros_.push_back(macro);
    for (const std::string& prefix : refusedMacroPrefixes_)
        if (macro.compare(0, prefix.size(), prefix) == 0)
            return 0;
    // loading a symbol file is the one command whose effect the library reads back
    if (macro.compare(0, 9, "#NEWSYMFL") == 0) {
        const std::string name = firstQuoted(macro);
        if (!name.empty()) {
            symbolFile_ = name;
            symbolCount_ = 0;
        }
    }
    return 1;
}

void HeadlessCadWindow::setSymbolFile(const std::string& name, long count)
{
    symbolFile_ = name;
    symbolCount_ = count;
}

long HeadlessCadWindow::gsGetSymbolFileInfo(CString& name, long& count)
{
    name = symbolFile_.c_str();
    count = symbolCount_;
    return symbolFile_.empty() ? 0 : 1;
}

int HeadlessCadWindow::gsGetPointFromUser(const char* prompt, double& y, double& x)
{
    pickPrompts_.push_back(textOf(prompt));
    if (picks_.empty())
        return 0;
    const Pick pick = picks_.front();
    picks_.erase(picks_.begin());
    if (pick.cancelled)
        return 0;
    y = pick.y;
    x = pick.x;
    if (snapMode_ != 0 && snap_)
        snap_(y, x);
    currY_ = y;
    currX_ = x;
    return 1;
}
