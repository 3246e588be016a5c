// The road window: the library's own plot window for cross-sections and long-sections.
//
// One CRoadWnd lives inside its frame (a child of the host's main frame), created through
// createRoadWnd and kept in the library state. The host drives it with the dbfRoad... functions
// and receives every user action as an EVENT through one hook. The window keeps a view in user
// coordinates (offset or chainage across, level up) and maps it to pixels with a vertical
// exaggeration. It draws through a CCadWindow surface in pixel units (the surface's horizontal
// axis is the pixel column, its vertical axis the pixel row negated, so that a rendered surface
// looks like the screen); without a window system that surface is a HeadlessCadWindow the window
// owns. Printing draws on another CCadWindow in printer units the same way.
//
// Every dbfRoad... function does nothing (and returns 0 or a zero value) while there is no window,
// unless its comment says otherwise.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "database/road.h"
#include "database/section.h"
#include "platform/cad.h"
#include "platform/rect.h"

// ---------------------------------------------------------------------------------------------
// Events handed to the host's hook

struct EVENT {
    int type;        // one of the codes below
    double x;        // user coordinates of the cursor
    double y;
    int shift;       // non-zero while Shift is held
    int control;     // non-zero while Ctrl is held
    int key;         // key or command code; 0 for mouse events
    int button;      // 1 left, 2 right, 0 none
};

constexpr int kRoadEventLeftDown = 0;
constexpr int kRoadEventButtonUp = 1;
constexpr int kRoadEventMove = 2;
constexpr int kRoadEventRightDown = 4;
constexpr int kRoadEventCancel = 5;
constexpr int kRoadEventKey = 6;
constexpr int kRoadEventPaint = 7;          // the window was repainted: plot now
constexpr UINT kRoadPaneMessage = 11024;     // + pane 0..3: a status pane's text
constexpr int kRoadEventHookReplaced = 8;   // sent to the outgoing hook
constexpr int kRoadEventClosed = 9;

using RoadEventHook = void (*)(EVENT* event);

// Mouse flags and virtual keys of the input members.
constexpr unsigned kMouseShift = 0x0004;
constexpr unsigned kMouseControl = 0x0008;
constexpr int kVkEscape = 0x1B;
constexpr int kVkPageUp = 0x21;
constexpr int kVkPageDown = 0x22;
constexpr int kVkLeft = 0x25;
constexpr int kVkUp = 0x26;
constexpr int kVkRight = 0x27;
constexpr int kVkDown = 0x28;

// The surface's drawing modes the window uses (raster operations).
constexpr int kRoadDrawCopy = 13;
constexpr int kRoadDrawBand = 10;

// One row of the legend bar: a name and the pen it is drawn with (up to three further columns).
struct RoadLegendRow {
    std::vector<std::string> cells;
    int pen = 0;
};

// The legend bar: a read-only grid of at most 10 rows in a group of the host's shortcut bar.
struct RoadLegend {
    std::string group;                 // "D\Section Edit", "E\Vertical Alignment", ...
    std::vector<std::string> columns;
    std::vector<RoadLegendRow> rows;
    bool open = false;
};

// What the print dialog asks: the printer device (a drawing surface in printer units, such as a
// HeadlessCadWindow rendered to PDF afterwards) and the printer's page rectangle.
struct RoadPrintRequest {
    CCadWindow* device = nullptr;
    _bsRECT page{0.0, 0.0, 0.0, 0.0};
};

// What the grid dialog ("RoadGrid") edits.
struct RoadGridRecord {
    double across;
    double up;
    int colour;
};

// The popup menu of the right button, built for the ratio kind. The host shows it (dialog
// "RoadPopupMenu") and sets `chosen` to the index of the entry picked.
constexpr int kRoadMenuCursorJump = -1;   // entry codes the window handles itself
constexpr int kRoadMenuViewLimits = -2;   // the view-limits dialog, then code 122 to the host
struct RoadMenuItem {
    std::string text;
    int code;
};
struct RoadPopupMenu {
    std::vector<RoadMenuItem> items;
    int chosen = -1;
};

// ---------------------------------------------------------------------------------------------
// The window

class CRoadWnd {
public:
    CRoadWnd();
    ~CRoadWnd();
    CRoadWnd(const CRoadWnd&) = delete;
    CRoadWnd& operator=(const CRoadWnd&) = delete;

    // --- view
    // rect null: the view becomes inactive. setCursor puts the cursor at the top-left corner.
    void InitView(const _bsRECT* rect, int chainageMode, bool setCursor);
    // Fits rect to the window's shape (fx = 0 keeps it as given) into the effective limits.
    void WindowScale(const _bsRECT& rect, double fx, double fy);
    void ZoomWindow(const _bsRECT& rect);
    void Zoom(char key);            // 'm' magnifies one level, 'd' reduces one level
    void Pan();
    void Redraw();
    void Refresh();
    void ClearView();
    void SetRatio(const char* key, int flag);
    void SetLayout(bool on) { layout_ = on; }
    // The vertical ratio for the views that follow, not stored (the scale button stores its own).
    void SetVerticalRatio(int ratio) { ratio_ = ratio < 1 ? 1 : ratio; }
    void SetRedrawLimits() { redrawLimits_ = initialLimits_; }

    // --- transforms
    void UserToWindow(double x, double y, int& px, int& py) const;
    void WindowToUser(int px, int py, double& x, double& y) const;
    void UserToPrinter(double x, double y, int& px, int& py) const;
    // a pixel to the cursor position, keeping the cursor when within one pixel of it
    void ScreenToCursor(int px, int py, double& x, double& y) const;

    // --- cursor and fixed grade
    void SetCursorPos(double x, double y);
    void FixGrade(double x, double y, double slope);
    void UnfixGrade();

    // --- input (pixel positions in the client area, mouse flags kMouseShift | kMouseControl)
    void OnMouseMove(int px, int py, unsigned flags);
    void OnLButtonDown(int px, int py, unsigned flags);
    void OnRButtonDown(int px, int py, unsigned flags);
    void OnButtonUp(int px, int py, unsigned flags, int button);
    void OnChar(int code, bool control);
    void OnKeyDown(int virtualKey, bool control);
    void OnSize(int width, int height);
    void OnPaint();
    void OnClose();
    void SendEvent(int code);

    // --- tool buttons of the frame
    void RedrawButtonClick() { Redraw(); }
    void ZoomButtonClick() { OnChar('Z', false); }
    void ScaleButtonClick();
    void GridButtonClick();
    void PrintButtonClick();
    void CommandButtonClick(int code) { SendEvent(code); }
    // An entry of the popup menu: its code to the host, or the cursor jump, or the view limits.
    void MenuCommand(int code);
    void CursorJump();
    void SetViewLimits();
    const std::vector<RoadMenuItem>& menu() const { return menu_; }
    void SetVerInfo(const std::string& text) { verInfo_ = text; }
    const std::string& verInfo() const { return verInfo_; }

    // --- status line
    void SetSnap(const char* text);
    void SetPrompt(const char* text);
    void SetStatus(const char* text);
    void SetCoords(const char* text);
    void SetActive(int a, int b);
    void SetActiveSide(const char* text);

    // --- plot members: screen, or the printer while printing
    void PlotLine(int colour, int width, double x1, double y1, double x2, double y2, int style);
    void PlotArc(int colour, int width, double xc, double yc, double radius, double startDeg,
                 double endDeg, int style);
    void PlotSection(int colour, XSECTION* xs, double levelShift, bool ticks, bool highlight);
    void PlotLongSection(int colour, LongSection* ls, double levelShift, bool ticks, bool highlight);
    void PlotText(int colour, double x, double y, const char* text, double height, double angle);
    void SetLorg(int lorg) { lorg_ = lorg >= 1 && lorg <= 9 ? lorg : 1; }
    // pixel (or printer) positions; the band and legend colours 998 and 999
    void DrawLine(int colour, int width, int px1, int py1, int px2, int py2, int style);
    void DrawPoint(int colour, int px, int py);

    // --- printing
    void StartPrint(CCadWindow* device, const _bsRECT& page);
    void StopPrint();

    // --- legend bar
    void CreateKeyDlg(const char* group, std::vector<std::string> columns);
    void CloseKeyDlg();
    void SetSecLegend();
    void SetVerLegend();
    void SetEdgeLegend();
    void SetPipeLegend();

    // --- the hook
    // Installs a hook; the outgoing one is told (event 8).
    void SetHook(RoadEventHook hook);
    // The message hook the frame routes the window's messages through: codes 11024..11027 put
    // the text (data, a C string) into the frame's status panes 0..3 and give 0; any other code
    // is given back unchanged.
    long MessageHook(UINT code, void* data);
    // Sends event 9 and drops the hook.
    void CloseCalled();
    void ReloadSettings();

    // --- state for the host and the tests
    bool active() const { return active_; }
    bool busy() const { return busy_; }
    bool layout() const { return layout_; }
    bool chainageMode() const { return chainageMode_ != 0; }
    bool zooming() const { return zoomBox_; }
    bool fixedGrade() const { return fixedGrade_; }
    bool printing() const { return printer_ != nullptr; }
    bool gridOn() const { return grid_; }
    void SetGrid(bool on) { grid_ = on; }
    bool mouseCaptured() const { return captured_; }
    char zoomLevel() const { return level_; }
    double zoomFactor() const { return factor_; }
    int ratio() const { return ratio_; }
    int drawMode() const { return drawMode_; }
    void SetDrawMode(int mode) { drawMode_ = mode; }
    int width() const { return width_; }
    int height() const { return height_; }
    double gridAcross() const { return gridAcross_; }
    double gridUp() const { return gridUp_; }
    int gridColour() const { return gridColour_; }
    const std::string& ratioKey() const { return ratioKey_; }
    _bsRECT viewLimits() const { return limits_; }
    _bsRECT baseRect() const { return base_; }
    _bsRECT initialLimits() const { return initialLimits_; }
    _bsRECT redrawLimits() const { return redrawLimits_; }
    double cursorX() const { return cursorX_; }
    double cursorY() const { return cursorY_; }
    const std::string& prompt() const { return prompt_; }
    const std::string& status() const { return status_; }
    const std::string& coords() const { return coords_; }
    const std::string& snapText() const { return snap_; }
    const std::string& activeText() const { return active_text_; }
    const std::string& activeSide() const { return activeSide_; }
    RoadEventHook hook() const { return hook_; }
    RoadLegend& legend() { return legend_; }
    bool buttonsEnabled() const { return buttonsEnabled_; }
    void EnableButtons(bool on) { buttonsEnabled_ = on; }
    // the screen surface (the window's own headless surface unless another was given)
    CCadWindow* surface() const { return surface_; }
    HeadlessCadWindow* headlessSurface() const { return ownSurface_.get(); }
    // Renders what the window shows (its headless surface) to a PNG, SVG or PDF file.
    bool RenderTo(const std::string& path) const;

private:
    void fitLimits(const _bsRECT& rect);
    void applyGrade(double& x, double& y) const;
    void press(int px, int py, unsigned flags, int type, int button);
    void deliver(EVENT& e);
    EVENT mouseEvent(int type, unsigned flags, int button) const;
    void moveCursorTo(double x, double y);
    void showCoords();
    void drawGrid();
    void drawBand();
    void endZoomBox(bool restorePrompt);
    void zoomBoxClick(int px, int py);
    void printFrame();
    void deviceLine(CCadWindow* on, int colour, double width, int px1, int py1, int px2, int py2,
                    int style);
    void plotPoints(int colour, const std::vector<std::pair<double, double>>& points,
                    double levelShift, bool ticks, bool highlight);
    void toDevice(double x, double y, int& px, int& py) const;
    CCadWindow* target() const { return printer_ ? printer_ : surface_; }
    void setPane(int pane, const std::string& text);

    bool active_ = false;
    bool busy_ = false;
    bool layout_ = false;
    int chainageMode_ = 0;
    _bsRECT initialLimits_{0.0, 1.0, 1.0, 0.0};
    _bsRECT redrawLimits_{0.0, 1.0, 1.0, 0.0};
    _bsRECT base_{0.0, 1.0, 1.0, 0.0};
    _bsRECT limits_{0.0, 1.0, 1.0, 0.0};
    double originX_ = 0.0, originY_ = 1.0, rangeX_ = 1.0, rangeY_ = -1.0;
    int width_ = 800;
    int height_ = 500;
    int ratio_ = 2;
    char level_ = '5';
    double factor_ = 1.0;
    int drawMode_ = kRoadDrawCopy;
    double cursorX_ = 0.0, cursorY_ = 0.0;
    bool fixedGrade_ = false;
    double gradeX_ = 0.0, gradeY_ = 0.0, slope_ = 0.0;
    bool zoomBox_ = false;
    bool firstCorner_ = false;
    bool bandShown_ = false;
    int cornerX_ = 0, cornerY_ = 0, bandX_ = 0, bandY_ = 0;
    std::string savedPrompt_;
    bool captured_ = false;
    bool handlingMove_ = false;
    bool grid_ = false;
    int gridColour_ = 1;
    double gridAcross_ = 10.0;
    double gridUp_ = 5.0;
    RoadEventHook hook_ = nullptr;
    CCadWindow* printer_ = nullptr;
    _bsRECT printPage_{0.0, 0.0, 0.0, 0.0};
    std::string ratioKey_ = "Ratio";
    int ratioFlag_ = 0;
    int lorg_ = 1;
    bool buttonsEnabled_ = true;
    std::string prompt_, status_, coords_, snap_, active_text_, activeSide_;
    RoadLegend legend_;
    std::vector<RoadMenuItem> menu_;
    std::string verInfo_;
    std::unique_ptr<HeadlessCadWindow> ownSurface_;
    CCadWindow* surface_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Exported functions

// Creates the window when missing (0 when that fails), tells the old hook (event 8), installs the
// hook with layout off and, with a rectangle, sets the ratio kind (ratioKey, ratioFlag) and
// initialises the view with the cursor at its top-left corner. 1 otherwise.
int dbfRoadInitView(const _bsRECT* rect, int chainageMode, RoadEventHook hook, const char* ratioKey,
                    int ratioFlag, int frameOption);
// As dbfRoadInitView with the ratio key "Ratio", after the view-limits dialog ("RoadViewLimits",
// editing a _bsRECT) has shown the four values: cancelled clears the view.
int dbfRoadUserInit(double x1, double x2, double y1, double y2, int chainageMode, RoadEventHook hook,
                    int frameOption);
// As dbfRoadInitView in layout mode, ratio key "Ratio".
int dbfRoadLayoutInit(const _bsRECT* rect, RoadEventHook hook, int frameOption);

void dbfRoadGetViewLimits(_bsRECT& rect);
void dbfRoadGetRedrawLimits(_bsRECT& rect);
void dbfRoadSetRedrawLimits();
void dbfRoadSetDrawMode(int mode);

void dbfRoadPlotLine(int colour, int width, double x1, double y1, double x2, double y2, int style);
void dbfRoadPlotArc(int colour, int width, double xc, double yc, double radius, double startDeg,
                    double endDeg, int style);
void dbfRoadPlotSection(int colour, XSECTION* xs, double levelShift, int ticks, int highlight);
void dbfRoadPlotLongSection(int colour, LongSection* ls, double levelShift, int ticks, int highlight);
void dbfRoadPlotText(int colour, double x, double y, const char* text, double height, double angle,
                     int lorg);
void dbfRoadDrawLine(int colour, int width, int px1, int py1, int px2, int py2, int style);

// The pixel of a user point; (0, 0) without a window.
void dbfRoadWindowCoords(double x, double y, int& px, int& py);

void dbfRoadDisplaySnap(const char* text);
void dbfRoadDisplayPrompt(const char* text);
void dbfRoadDisplayStatus(const char* text);
void dbfRoadDisplayCoords(const char* text);
void dbfRoadDisplayActive(int a, int b);          // "%d:%d"
void dbfRoadDisplayActiveSide(const char* text);

void dbfRoadClearView();
void dbfRoadRedraw();
void dbfRoadRefresh();
void dbfRoadZoom(const _bsRECT& rect);
void dbfRoadPan(double x, double y);              // the cursor moves to the point first

void dbfRoadSetCursorPos(double x, double y);
void dbfRoadGetCursorPos(double& x, double& y);
void dbfRoadSetCursorPosSlope(double x, double y, double slope);
void dbfRoadResetSlope();
void dbfRoadSendKey(int code);

// Printer output on and off: the plot members draw on the device in printer units until stopped.
void dbfRoadStartPrinting(CCadWindow* device, const _bsRECT& page);
void dbfRoadStopPrinting();

void dbfRoadWindowClosed();                       // forgets the window (the window calls it)
int dbfIsRoadWin();
int dbfIsRoadBusyInit();                          // 1 while initialising, and without a window
// Clears the prompt, sends event 9, drops the hook and clears the view; then closes the frame
// and forgets the window unless program setting Global/RoadWindow is set.
void dbfCloseRoadWindow();
void dbfUpdateVerInfoBar(const double* info);     // "%.3f" of the first value

void dbfRoadSetFocus();
void dbfRoadDisableButtons();
void dbfRoadEnableButtons();
RoadLegend* dbfRoadGetLegendBarPtr();
void dbfRoadSetSecLegend();
void dbfRoadSetVerLegend();
void dbfRoadSetEdgeLegend();
void dbfRoadSetPipeLegend();
// Kept for the host's tool buttons: they do nothing.
void dbfRoadPressInsertButton();
void dbfRoadPressEditButton();
void dbfRoadPressDeleteButton();
void dbfRoadPressMoveButton();
void dbfRoadNoButtonPressed();

// The window, null when there is none.
CRoadWnd* dbfRoadWindow();
