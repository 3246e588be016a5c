// The drawing window the host owns (CCadWindow) and its headless implementation.
//
// Plan positions are always passed as (y, x) pairs: the window's horizontal axis is the database
// y (east-west), its vertical axis the database x (north-south). In this header a pair is named
// (y, x) in that order.
//
// HeadlessCadWindow keeps what is drawn in a display list that tests read, keeps the status line,
// progress, wait cursor and Escape key as plain state, runs the paint cycle through the installed
// callbacks, and renders the display list with Cairo to PNG, SVG or PDF.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/rect.h"
#include "platform/ui.h"
#include "platform/wintypes.h"

// One corner of a filled polygon, in the window's (y, x) order.
struct GsPoint {
    double y;
    double x;
};

// The colour argument of gsDisplayFilledPolygon: with this bit set, the low 24 bits are an RGB
// COLORREF (0x00BBGGRR); without it the value is a pen number.
constexpr long kGsRgbColourFlag = 0x10000000;

// Draw modes the library uses.
constexpr long kGsDrawNormal = 13;    // plain drawing
constexpr long kGsDrawToggle = 10;    // drawing the same primitive again removes it
constexpr long kGsDrawTracking = 1002; // the tracking cross drawn during a repaint

// Callbacks the library installs in the window. The paint callbacks get the rectangle being
// painted; the snap callback gets a picked position (y, x) to move onto the nearest point and
// returns 1 when it did.
using CadPaintCallback = void (*)(_bsRECT* rect);
using CadSnapCallback = int (*)(double& y, double& x);

// Text justification (gsDisplayText): the point of the text's box placed at the position, laid out
// like a numeric keypad: 1 bottom-left, 2 bottom-centre, 3 bottom-right, 4 middle-left,
// 5 centre, 6 middle-right, 7 top-left, 8 top-centre, 9 top-right; 0 is left on the baseline.
//
// Text height (gsDisplayText): positive is in world units (plotting, printing); negative is a
// size on the screen, |height| tenths of a millimetre, whatever the zoom. Angles are in tenths of
// a degree, counter-clockwise.
//
// Point size (gsDisplayPoint): negative is |size| screen pixels for each arm of the mark,
// positive is in world units.
class CCadWindow {
public:
    virtual ~CCadWindow() = default;

    // --- status line, prompt, cursor, progress, Escape
    virtual void gsSetHelpText(const char* text) = 0;
    virtual void gsSetHoldStdPrompt(bool hold) = 0;
    virtual void gsCursorWait(bool show) = 0;
    // total below 1 clears the progress display
    virtual void gsSetProgress(int position, int total, const char* text) = 0;
    // true when the user pressed Escape since the last check; option is passed by the caller
    virtual bool CheckEscapePressed(int option) = 0;

    // --- layers and drawing
    // Names the layer (and its type text, such as "Point" or "Shade") that the following
    // primitives are drawn on; an empty or null name is no layer.
    virtual void gsSetLayer(const char* name, const char* type) = 0;
    virtual void gsSetFont(const char* name, double height, int weight, int alignH, int alignV,
                           double scale) = 0;
    virtual void gsSetDrawMode(long mode) = 0;
    virtual void gsDisplayLine(double y1, double x1, double y2, double x2, int pen, int style,
                               double width) = 0;
    virtual void gsDisplayText(const char* text, double y, double x, int pen, int justification,
                               short option, float height, float angle) = 0;
    virtual void gsDisplayPoint(double y, double x, int pen, int style, float size) = 0;
    virtual void gsDisplayCircle(double y, double x, double radius, int pen, short style) = 0;
    virtual void gsDisplayRect(double y1, double x1, double y2, double x2, int pen,
                               short style) = 0;
    // fill and outline: a pen number, or an RGB colour with kGsRgbColourFlag set
    virtual void gsDisplayFilledPolygon(const GsPoint* corners, int count, long fill,
                                        long outline) = 0;
    virtual void gsDisplaySymbol(const char* name, double y, double x, double scale) = 0;
    // COLORREF 0x00BBGGRR of a pen (0..255; others are taken modulo 256)
    virtual COLORREF gsGetPenColor(short pen) = 0;
    virtual bool gsIsPlotting() = 0;
    virtual bool gsIsPrinting() = 0;

    // --- view
    // the corners (a, b) and (c, d) of the visible area, each in (y, x) order
    virtual void gsGetZoomRect(double& a, double& b, double& c, double& d) = 0;
    virtual void gsGetCurrCoord(double& y, double& x) = 0;
    virtual void gsSetCurrCoord(double y, double x) = 0;
    virtual void gsSetZoomAllMyLimits(double maxY, double minX, double minY, double maxX) = 0;
    virtual void gsMagnify() = 0;    // halves the visible area about its centre
    virtual void gsDemagnify() = 0;  // doubles it
    virtual void gsPan() = 0;        // centres the view on the current coordinate
    virtual void gsRedraw() = 0;     // repaints now
    virtual void gsRefresh() = 0;    // repaints when the view is dirty
    virtual void gsZoomAll() = 0;    // shows the zoom-all limits
    virtual void gsSetViewDirty(bool dirty) = 0;
    // previous snap mode
    virtual short gsSetSnapMode(short mode) = 0;

    // --- commands, symbols, user input
    // runs a window command; 1 when it was understood, 0 otherwise
    virtual long gsExecuteMacro(const char* text) = 0;
    // the current symbol file's name and its symbol count; returns 1 when a file is loaded
    virtual long gsGetSymbolFileInfo(CString& name, long& count) = 0;
    // asks the user for a position; 0 when the pick was cancelled
    virtual int gsGetPointFromUser(const char* prompt, double& y, double& x) = 0;

    // --- callbacks and the running function
    virtual void TerrainPrePaintHook(CadPaintCallback callback) = 0;   // null removes
    virtual void TerrainPostPaintHook(CadPaintCallback callback) = 0;
    virtual void TerrainSnapHook(CadSnapCallback callback) = 0;
    virtual void SuspendFunc() = 0;
    virtual void ResumeFunc() = 0;
    virtual void SetAbortFlag(bool abort) = 0;
};

// ---------------------------------------------------------------------------------------------
// The headless window

enum class CadPrimitiveKind { Line, Text, Point, Circle, Rect, FilledPolygon, Symbol };

// One entry of the display list. Coordinates are kept in the window's (y, x) order: a line or
// rectangle has two corners, a polygon its corners, the others one position.
struct CadPrimitive {
    CadPrimitiveKind kind = CadPrimitiveKind::Line;
    std::vector<GsPoint> points;
    int pen = 0;
    int style = 0;
    double width = 0.0;      // line width in pixels
    long fill = 0;           // filled polygon fill (pen or flagged RGB)
    long outline = 0;        // filled polygon outline (pen or flagged RGB)
    double radius = 0.0;     // circle radius, world units
    double size = 0.0;       // point size; symbol scale
    std::string text;        // text; symbol name
    int justification = 0;
    int option = 0;
    double height = 0.0;     // text height
    double angle = 0.0;      // text angle, tenths of a degree
    std::string layer;
    std::string layerType;
    long drawMode = kGsDrawNormal;
    std::string font;
};

struct CadProgress {
    int position = 0;
    int total = 0;
    std::string text;
};

struct CadFont {
    std::string name = "Arial";
    double height = 100.0;
    int weight = 0;
    int alignH = 0;
    int alignV = 0;
    double scale = 1.0;
};

class HeadlessCadWindow : public CCadWindow {
public:
    HeadlessCadWindow();

    // CCadWindow
    void gsSetHelpText(const char* text) override;
    void gsSetHoldStdPrompt(bool hold) override;
    void gsCursorWait(bool show) override;
    void gsSetProgress(int position, int total, const char* text) override;
    bool CheckEscapePressed(int option) override;
    void gsSetLayer(const char* name, const char* type) override;
    void gsSetFont(const char* name, double height, int weight, int alignH, int alignV,
                   double scale) override;
    void gsSetDrawMode(long mode) override;
    void gsDisplayLine(double y1, double x1, double y2, double x2, int pen, int style,
                       double width) override;
    void gsDisplayText(const char* text, double y, double x, int pen, int justification,
                       short option, float height, float angle) override;
    void gsDisplayPoint(double y, double x, int pen, int style, float size) override;
    void gsDisplayCircle(double y, double x, double radius, int pen, short style) override;
    void gsDisplayRect(double y1, double x1, double y2, double x2, int pen, short style) override;
    void gsDisplayFilledPolygon(const GsPoint* corners, int count, long fill,
                                long outline) override;
    void gsDisplaySymbol(const char* name, double y, double x, double scale) override;
    COLORREF gsGetPenColor(short pen) override;
    bool gsIsPlotting() override { return plotting_; }
    bool gsIsPrinting() override { return printing_; }
    void gsGetZoomRect(double& a, double& b, double& c, double& d) override;
    void gsGetCurrCoord(double& y, double& x) override;
    void gsSetCurrCoord(double y, double x) override;
    void gsSetZoomAllMyLimits(double maxY, double minX, double minY, double maxX) override;
    void gsMagnify() override;
    void gsDemagnify() override;
    void gsPan() override;
    void gsRedraw() override;
    void gsRefresh() override;
    void gsZoomAll() override;
    void gsSetViewDirty(bool dirty) override;
    short gsSetSnapMode(short mode) override;
    long gsExecuteMacro(const char* text) override;
    long gsGetSymbolFileInfo(CString& name, long& count) override;
    int gsGetPointFromUser(const char* prompt, double& y, double& x) override;
    void TerrainPrePaintHook(CadPaintCallback callback) override { prePaint_ = callback; }
    void TerrainPostPaintHook(CadPaintCallback callback) override { postPaint_ = callback; }
    void TerrainSnapHook(CadSnapCallback callback) override { snap_ = callback; }
    void SuspendFunc() override { ++suspendDepth_; }
    void ResumeFunc() override;
    void SetAbortFlag(bool abort) override { abortFlag_ = abort; }

    // --- the paint cycle
    // Empties the display list (the window has no content of its own), then calls the pre-paint
    // and the post-paint callback with the view rectangle; clears the dirty flag.
    void paint();
    bool isPainting() const { return painting_; }
    int paintCount() const { return paintCount_; }
    bool viewDirty() const { return viewDirty_; }
    // the view rectangle handed to the paint callbacks (left/right: y, top/bottom: x)
    _bsRECT viewRect() const;
    CadPaintCallback prePaintCallback() const { return prePaint_; }
    CadPaintCallback postPaintCallback() const { return postPaint_; }
    CadSnapCallback snapCallback() const { return snap_; }
    // runs the snap callback on a position as a pick would; 0 when none is installed
    int snap(double& y, double& x);

    // --- the display list
    const std::vector<CadPrimitive>& displayList() const { return displayList_; }
    // what is on the screen: a primitive drawn in the toggle mode (10) removes the latest equal
    // primitive shown, or is shown itself when there is none
    std::vector<CadPrimitive> visiblePrimitives() const;
    void clearDisplayList() { displayList_.clear(); }
    // counts of a kind, optionally only on one layer
    int count(CadPrimitiveKind kind, const std::string& layer = std::string()) const;
    const std::string& currentLayer() const { return layer_; }
    const std::string& currentLayerType() const { return layerType_; }
    long drawMode() const { return drawMode_; }
    const CadFont& font() const { return font_; }

    // --- status line, prompt, cursor, progress
    const std::string& helpText() const { return helpText_; }
    const std::vector<std::string>& helpTextHistory() const { return helpHistory_; }
    bool promptHeld() const { return promptHeld_; }
    bool waitCursor() const { return waitCursor_; }
    const CadProgress& progress() const { return progress_; }
    const std::vector<CadProgress>& progressHistory() const { return progressHistory_; }
    void clearHistories();

    // --- the Escape key
    // Escape is pressed at the n-th check from now (1 = the next check).
    void pressEscapeAtCheck(int n);
    void pressEscapeNow() { pressEscapeAtCheck(1); }
    int escapeChecks() const { return escapeChecks_; }
    int lastEscapeOption() const { return lastEscapeOption_; }

    // --- the running function
    int suspendDepth() const { return suspendDepth_; }
    bool abortFlag() const { return abortFlag_; }

    // --- view state
    void setZoomRect(double y1, double x1, double y2, double x2);
    // the zoom-all limits as given: max y, min x, min y, max x
    const double* zoomAllLimits() const { return zoomAll_; }
    bool hasZoomAllLimits() const { return hasZoomAll_; }
    short snapMode() const { return snapMode_; }

    // --- macros, symbols, picks, plotting
    const std::vector<std::string>& macros() const { return macros_; }
    // a macro whose text starts with one of these prefixes (such as "#BAD") is refused (result 0)
    void refuseMacros(const std::string& prefix) { refusedMacroPrefixes_.push_back(prefix); }
    void setSymbolFile(const std::string& name, long count);
    // A pick the next gsGetPointFromUser returns; cancelled picks return 0.
    void queuePick(double y, double x) { picks_.push_back({false, y, x}); }
    void queueCancelledPick() { picks_.push_back({true, 0.0, 0.0}); }
    const std::vector<std::string>& pickPrompts() const { return pickPrompts_; }
    void setPlotting(bool on) { plotting_ = on; }
    void setPrinting(bool on) { printing_ = on; }

    // --- the terminal host: called after every change of the status text or the progress
    using ConsoleHook = std::function<void(const HeadlessCadWindow&)>;
    void setConsoleHook(ConsoleHook hook) { console_ = std::move(hook); }

    // --- rendering
    // Draws the visible primitives through the zoom rectangle (aspect ratio kept, world up is
    // page up) to a PNG, SVG or PDF file chosen by the file's extension. false on an unknown
    // extension, a size below 1 or above 20000 pixels, or a file that cannot be written.
    bool render(const std::string& path, int widthPx, int heightPx) const;
    // the page colour (COLORREF); pens of that same colour are drawn in its opposite
    void setBackground(COLORREF colour) { background_ = colour; }

private:
    struct Pick {
        bool cancelled;
        double y;
        double x;
    };
    void add(CadPrimitive primitive);
    void notifyConsole() const;

    std::vector<CadPrimitive> displayList_;
    std::string layer_;
    std::string layerType_;
    long drawMode_ = kGsDrawNormal;
    CadFont font_;

    std::string helpText_;
    std::vector<std::string> helpHistory_;
    bool promptHeld_ = false;
    bool waitCursor_ = false;
    CadProgress progress_;
    std::vector<CadProgress> progressHistory_;

    int escapeChecks_ = 0;
    int escapeAtCheck_ = 0;   // the check number at which Escape is pressed; 0 for none
    int lastEscapeOption_ = 0;

    double zoom_[4] = {0.0, 0.0, 1000.0, 1000.0};   // corners (y1, x1), (y2, x2)
    double zoomAll_[4] = {0.0, 0.0, 0.0, 0.0};
    bool hasZoomAll_ = false;
    double currY_ = 0.0;
    double currX_ = 0.0;
    short snapMode_ = 0;
    bool viewDirty_ = false;
    bool painting_ = false;
    int paintCount_ = 0;

    CadPaintCallback prePaint_ = nullptr;
    CadPaintCallback postPaint_ = nullptr;
    CadSnapCallback snap_ = nullptr;
    int suspendDepth_ = 0;
    bool abortFlag_ = false;

    std::vector<std::string> macros_;
    std::vector<std::string> refusedMacroPrefixes_;
    std::string symbolFile_;
    long symbolCount_ = 0;
    std::vector<Pick> picks_;
    std::vector<std::string> pickPrompts_;
    bool plotting_ = false;
    bool printing_ = false;

    ConsoleHook console_;
    COLORREF background_ = 0x00FFFFFF;
};

// The colour of a pen in the AutoCAD Colour Index (the pen numbers are written as DXF colours):
// COLORREF 0x00BBGGRR; the pen is taken modulo 256.
COLORREF cadPenColour(int pen);

// Cairo's text keeps its font faces, and fontconfig its configuration, for the life of the
// process. A program or test run under the leak checker calls this once at its very end (no
// rendering may follow).
void cadReleaseFontCaches();
