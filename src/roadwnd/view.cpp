// The road window's view: limits and their fitting, the transforms, zoom levels, the zoom box,
// pan and redraw, the cursor and its fixed grade, and the status line.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "database/roadwnd.h"
#include "frame/state.h"
#include "platform/core.h"
#include "roadwnd/roadwnd_state.h"

namespace {

// The window reads the screen as 96 pixels to the inch both ways.
constexpr double kPixelsPerInch = 96.0;

double sign(double v) { return v < 0.0 ? -1.0 : 1.0; }

// A truncated device position; far-away points stay far away instead of overflowing the int.
int devicePosition(double v) {
    if (!(v == v)) return 0;
    return static_cast<int>(std::trunc(std::clamp(v, -1e9, 1e9)));
}

double levelFactor(char level) {
    static const double kFactors[9] = {0.25, 0.375, 0.5, 0.75, 1.0, 1.5, 2.0, 3.0, 4.0};
    return level >= '1' && level <= '9' ? kFactors[level - '1'] : 1.0;
}

}  // namespace

CRoadWnd::CRoadWnd() : ownSurface_(std::make_unique<HeadlessCadWindow>()), surface_(ownSurface_.get()) {
    ownSurface_->setBackground(0x00FFFFFF);
    OnSize(width_, height_);
    ReloadSettings();
}

CRoadWnd::~CRoadWnd() = default;

void CRoadWnd::ReloadSettings() {
    // Roads/Grids: across spacing, up spacing and colour.
    char text[128];
    coreGetDefault("Roads", "Grids", "", text, sizeof text);
    gridAcross_ = coreGetFieldDouble(text, 10.0, 1, ',');
    gridUp_ = coreGetFieldDouble(text, 5.0, 2, ',');
    gridColour_ = coreGetFieldInt(text, 1, 3, ',');
    // A spacing that is no positive number would draw lines without end.
    if (!std::isfinite(gridAcross_) || gridAcross_ <= 0.0) gridAcross_ = 10.0;
    if (!std::isfinite(gridUp_) || gridUp_ <= 0.0) gridUp_ = 5.0;
    SetRatio(ratioKey_.c_str(), ratioFlag_);
}

// ---------------------------------------------------------------------------------------------
// Limits

void CRoadWnd::WindowScale(const _bsRECT& rect, double fx, double fy) {
    _bsRECT r = rect;
    if (fx != 0.0) {
        const double heightIn = height_ / kPixelsPerInch, widthIn = width_ / kPixelsPerInch;
        const double a = heightIn == 0.0 || widthIn == 0.0 ? 1.0 : heightIn / widthIn;
        double dx = rect.right - rect.left;
        if (dx == 0.0) dx = 1.0;
        const double dy = rect.bottom - rect.top;
        // A flat rectangle (dy 0) keeps up as up: top above bottom.
        const double sx = sign(dx), sy = dy == 0.0 ? -1.0 : sign(dy);
        const double cx = (rect.left + rect.right) / 2.0, cy = (rect.top + rect.bottom) / 2.0;
        double halfW, halfH;
        if (std::fabs(dy / dx) < a) {
            halfW = std::fabs(dx * fx) / 2.0;
            halfH = std::fabs(dx * fy * a) / 2.0;
        } else {
            halfW = std::fabs(dy * fx / a) / 2.0;
            halfH = std::fabs(dy * fy) / 2.0;
        }
        r = _bsRECT{cx - sx * halfW, cx + sx * halfW, cy - sy * halfH, cy + sy * halfH};
    }
    limits_ = r;
    originX_ = r.left;
    originY_ = r.top;
    rangeX_ = r.right - r.left;
    rangeY_ = r.bottom - r.top;
}

void CRoadWnd::fitLimits(const _bsRECT& rect) { WindowScale(rect, 1.0, 1.0 / ratio_); }

void CRoadWnd::ClearView() {
    if (ownSurface_) ownSurface_->clearDisplayList();
    bandShown_ = false;
}

void CRoadWnd::InitView(const _bsRECT* rect, int chainageMode, bool setCursor) {
    busy_ = true;
    ClearView();
    SetStatus("");
    SetCoords("");
    SetSnap("");
    active_text_.clear();
    fixedGrade_ = false;
    if (!rect) {
        active_ = false;
        busy_ = false;
        return;
    }
    initialLimits_ = *rect;
    fitLimits(*rect);
    if (setCursor) WindowToUser(0, 0, cursorX_, cursorY_);
    base_ = *rect;
    active_ = true;
    chainageMode_ = chainageMode;
    level_ = '5';
    factor_ = 1.0;
    busy_ = false;
}

void CRoadWnd::SetRatio(const char* key, int flag) {
    ratioKey_ = key && *key ? key : "Ratio";
    ratioFlag_ = flag;
    // The pipe kind shares the vertical alignment's ratio.
    const char* setting = ratioKey_ == "Pipe" ? "VerRatio" : ratioKey_.c_str();
    ratio_ = coreGetDefaultInt("Roads", setting, 2);
    if (ratio_ < 1) ratio_ = 1;
    // The commands of each kind; the cross-section kind ("Ratio") edits points like the others.
    const int jump = kRoadMenuCursorJump;
    if (ratioKey_ == "VerRatio")
        menu_ = {{"Insert PI", 0},      {"Edit PI", 1},          {"Delete PI", 2},       {"Move PI", 3},
                 {"Set Carriageway", 5}, {"Ground Lines", 4},    {"Review Alignment", 7}, {"Abridge Review", 8},
                 {"Generate Levels", 9}, {"K-Value", 10},        {"Fit Curve", 11},      {"Sight Distance", 12},
                 {"Measure", 119},       {"Move to", jump}};
    else if (ratioKey_ == "EdgeRatio")
        menu_ = {{"Insert Point", 0}, {"Edit Point", 1},          {"Slave Edit", 113},
                 {"Delete Point", 2}, {"Move Point", 3},          {"Add Auxiliary lane", 123},
                 {"Settings", 4},     {"Review Control", 7},      {"Generate Levels", 9}};
    else if (ratioKey_ == "Pipe")
        menu_ = {{"Insert MH", 0}, {"Edit MH", 1}, {"Delete MH", 2}, {"Move MH", 3}, {"Move to", jump}};
    else
        menu_ = {{"Insert Point", 0}, {"Edit Point", 1}, {"Delete Point", 2}, {"Move Point", 3},
                 {"Move to", jump},   {"View Limits", kRoadMenuViewLimits}};
}

// ---------------------------------------------------------------------------------------------
// Transforms

void CRoadWnd::UserToWindow(double x, double y, int& px, int& py) const {
    px = devicePosition(width_ * (x - originX_) / rangeX_);
    py = devicePosition(height_ * (y - originY_) / rangeY_);
}

void CRoadWnd::WindowToUser(int px, int py, double& x, double& y) const {
    x = static_cast<double>(px) / width_ * rangeX_ + originX_;
    y = static_cast<double>(py) / height_ * rangeY_ + originY_;
}

void CRoadWnd::UserToPrinter(double x, double y, int& px, int& py) const {
    const double k = (printPage_.right - printPage_.left) / rangeX_;
    px = devicePosition((x - originX_) * k) + 350;
    py = devicePosition((y - originY_) * k * -1.0);
}

void CRoadWnd::ScreenToCursor(int px, int py, double& x, double& y) const {
    WindowToUser(px, py, x, y);
    if (std::fabs(x - cursorX_) < std::fabs(rangeX_) / width_ &&
        std::fabs(y - cursorY_) < std::fabs(rangeY_) / height_) {
        x = cursorX_;
        y = cursorY_;
    }
}

void CRoadWnd::toDevice(double x, double y, int& px, int& py) const {
    if (printer_) UserToPrinter(x, y, px, py);
    else UserToWindow(x, y, px, py);
}

// ---------------------------------------------------------------------------------------------
// Zoom, pan, redraw

void CRoadWnd::Zoom(char key) {
    if (key == 'm') {
        if (level_ == '1') {
            const _bsRECT current = limits_;
            InitView(&current, chainageMode_, false);
            level_ = '4';
        } else if (level_ > '1') {
            --level_;
        }
    } else {
        if (level_ == '9') {
            const _bsRECT current = limits_;
            InitView(&current, chainageMode_, false);
            level_ = '6';
        } else if (level_ < '9') {
            ++level_;
        }
    }
    factor_ = levelFactor(level_);
    const double w = (base_.right - base_.left) * factor_, h = (base_.bottom - base_.top) * factor_;
    const _bsRECT r{cursorX_ - w / 2.0, cursorX_ + w / 2.0, cursorY_ - h / 2.0, cursorY_ + h / 2.0};
    fitLimits(r);
    SetCursorPos(cursorX_, cursorY_);
    Refresh();
}

void CRoadWnd::ZoomWindow(const _bsRECT& rect) {
    if (zoomBox_) endZoomBox(true);
    level_ = '5';
    factor_ = 1.0;
    base_ = rect;
    cursorX_ = (rect.left + rect.right) / 2.0;
    cursorY_ = (rect.top + rect.bottom) / 2.0;
    fitLimits(rect);
    captured_ = false;
    Refresh();
}

// The cursor keeps its user position, which is now the centre: on the screen the pointer moves
// with the view.
void CRoadWnd::Pan() {
    const double dx = cursorX_ - (limits_.left + limits_.right) / 2.0;
    const double dy = cursorY_ - (limits_.top + limits_.bottom) / 2.0;
    fitLimits(_bsRECT{limits_.left + dx, limits_.right + dx, limits_.top + dy, limits_.bottom + dy});
    Refresh();
}

void CRoadWnd::Redraw() {
    if (!active_) {
        Refresh();
        return;
    }
    const _bsRECT redraw = redrawLimits_;
    InitView(&redraw, chainageMode_, false);
    fitLimits(initialLimits_);
    base_ = initialLimits_;
    level_ = '5';
    factor_ = 1.0;
    Refresh();
}

void CRoadWnd::Refresh() { OnPaint(); }

// ---------------------------------------------------------------------------------------------
// Zoom box

void CRoadWnd::drawBand() {
    surface_->gsSetDrawMode(kRoadDrawBand);
    if (bandShown_) surface_->gsDisplayRect(cornerX_, -cornerY_, bandX_, -bandY_, 1, 0);
    int px = 0, py = 0;
    UserToWindow(cursorX_, cursorY_, px, py);
    bandX_ = px;
    bandY_ = py;
    surface_->gsDisplayRect(cornerX_, -cornerY_, bandX_, -bandY_, 1, 0);
    bandShown_ = true;
    surface_->gsSetDrawMode(drawMode_);
}

void CRoadWnd::endZoomBox(bool restorePrompt) {
    if (bandShown_) {
        surface_->gsSetDrawMode(kRoadDrawBand);
        surface_->gsDisplayRect(cornerX_, -cornerY_, bandX_, -bandY_, 1, 0);
        surface_->gsSetDrawMode(drawMode_);
        bandShown_ = false;
    }
    zoomBox_ = false;
    firstCorner_ = false;
    captured_ = false;
    if (restorePrompt) SetPrompt(savedPrompt_.c_str());
}

// Corners that share a pixel row or column end the zoom box and keep the view.
void CRoadWnd::zoomBoxClick(int px, int py) {
    if (!firstCorner_) {
        cornerX_ = bandX_ = px;
        cornerY_ = bandY_ = py;
        firstCorner_ = true;
        bandShown_ = false;
        return;
    }
    if (px == cornerX_ || py == cornerY_) {
        endZoomBox(true);
        return;
    }
    double ax, ay, bx, by;
    WindowToUser(cornerX_, cornerY_, ax, ay);
    WindowToUser(px, py, bx, by);
    const bool xRising = limits_.left <= limits_.right, yFalling = limits_.top >= limits_.bottom;
    const _bsRECT box{xRising ? std::fmin(ax, bx) : std::fmax(ax, bx), xRising ? std::fmax(ax, bx) : std::fmin(ax, bx),
                      yFalling ? std::fmax(ay, by) : std::fmin(ay, by), yFalling ? std::fmin(ay, by) : std::fmax(ay, by)};
    endZoomBox(true);
    base_ = box;
    fitLimits(box);
    level_ = '5';
    factor_ = 1.0;
    Refresh();
}

// ---------------------------------------------------------------------------------------------
// Cursor and fixed grade

void CRoadWnd::applyGrade(double& x, double& y) const {
    if (fixedGrade_) y = gradeY_ - (gradeX_ - x) * slope_;
}

void CRoadWnd::SetCursorPos(double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    applyGrade(x, y);
    cursorX_ = x;
    cursorY_ = y;
}

void CRoadWnd::FixGrade(double x, double y, double slope) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(slope)) return;
    char text[64];
    std::snprintf(text, sizeof text, "Slp: %.3lf%%", slope * 100.0);
    SetSnap(text);
    fixedGrade_ = false;
    SetCursorPos(x, y);
    gradeX_ = x;
    gradeY_ = y;
    slope_ = slope;
    fixedGrade_ = true;
}

void CRoadWnd::UnfixGrade() {
    fixedGrade_ = false;
    SetSnap("");
}

// ---------------------------------------------------------------------------------------------
// Status line: pane 0 the prompt, 1 the status, 2 the coordinates, 3 the snap text.

void CRoadWnd::setPane(int pane, const std::string& text) {
    MessageHook(kRoadPaneMessage + static_cast<UINT>(pane), const_cast<char*>(text.c_str()));
}

long CRoadWnd::MessageHook(UINT code, void* data) {
    if (code < kRoadPaneMessage || code > kRoadPaneMessage + 3) return static_cast<long>(code);
    if (CMDIChildWnd* frame = dbfState().roadFrame)
        frame->SetPaneText(static_cast<int>(code - kRoadPaneMessage), data ? static_cast<const char*>(data) : "");
    return 0;
}

void CRoadWnd::SetPrompt(const char* text) { setPane(0, prompt_ = text ? text : ""); }
void CRoadWnd::SetStatus(const char* text) { setPane(1, status_ = text ? text : ""); }
void CRoadWnd::SetCoords(const char* text) { setPane(2, coords_ = text ? text : ""); }
void CRoadWnd::SetSnap(const char* text) { setPane(3, snap_ = text ? text : ""); }
void CRoadWnd::SetActiveSide(const char* text) { activeSide_ = text ? text : ""; }

void CRoadWnd::SetActive(int a, int b) {
    char text[32];
    std::snprintf(text, sizeof text, "%d:%d", a, b);
    active_text_ = text;
}

void CRoadWnd::showCoords() {
    char text[96];
    const double x = chainageMode_ ? dbfChgEquation(cursorX_) : cursorX_;
    std::snprintf(text, sizeof text, "Off: %.3lf  Ele: %.3lf", x, cursorY_);
    SetCoords(text);
}
