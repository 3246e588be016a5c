// The terrain display's part of the library state, and the helpers its layers share.
//
// Rules of this state:
//  1. flags[] holds the nineteen display flags exactly as "Terrain"/"DisplayControl" keeps them.
//  2. view is the window of the current paint (paint rectangle plus margin); every layer that
//     walks points visits only points inside it.
//  3. plotGuard is set only while dbfSitePlot runs; painting only inside dbfRedrawSite.
//  4. namesTable is non-null only between a successful create in dbfTerrainInit(1) and the
//     close in dbfTerrainInit(0).
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "database/display.h"
#include "database/terrain.h"
#include "platform/cad.h"
#include "platform/core.h"

namespace display {

constexpr double kLabelFactor = 3.527777778;
constexpr int kShadeClasses = 64;
// The export's text height per unit of the display's font size (point sizes to millimetres).
constexpr double kExportTextFactor = 0.3527;

struct SymbolRule {
    char pattern[17] = {};
    char symbol[16] = {};
    int names = 0;
    int heights = 0;
    double scale = 1.0;
};

struct NameLayerRule {
    char pattern[17] = {};
    char layer[33] = {};
    int point = 0, height = 0, name = 0;
};

struct RoadShow {
    int shown = 1;
    int pen = 1;
    char name[33] = "Road{NUMBER}{TYPE}";
};

struct ShadeClass {
    double lower = 0.0, upper = 0.0;
    COLORREF colour = 255;
};

// The 23 fields of "Plan"/"Contour".
struct ContourSettings {
    int majorOn = 0, smooth = 1, label = 1, kept4 = 9, labelOption = 0;
    double interval = 1.0;
    int minorPen = 9, minorStyle = 1;
    double majorInterval = 5.0;
    int majorPen = 2, majorStyle = 1;
    double labelInterval = 5.0;
    int labelPen = 2, labelSize = 15;
    int diffAbovePen = 3, diffAboveStyle = 1, diffZeroPen = 4, diffZeroStyle = 1, diffBelowPen = 5,
        diffBelowStyle = 1;
    int labelDecimals = 0;
    double labelSpacing = 1000.0;
    int kept23 = 0;
};

// Where the layers that know heights hand their geometry while the site is exported: a path
// whole with its heights, the texts' height, a shading triangle with its corner heights. While no
// sink is set (every paint) the layers draw the same geometry on the drawing window.
class DrawSink {
public:
    virtual ~DrawSink() = default;
    // A connected path; joined: one polyline, otherwise each segment on its own.
    virtual void path(const std::vector<PNT_3D_record>& points, int pen, int style, bool joined) = 0;
    // The height of the texts drawn next; NaN for none.
    virtual void textLevel(double z) = 0;
    // A shading triangle (corners with heights) and its class number.
    virtual void face(const PNT_3D_record corners[3], int shadeClass, bool slope) = 0;
    // A point of a layer drawn only in the export (a road's chainage point).
    virtual void point(const PNT_3D_record& at, int pen) = 0;
    // A text of a layer drawn only in the export (a road's alignment element): its size in world
    // units, its angle in degrees from the plan's y axis towards its x axis, its justification
    // 1..9 (keypad layout).
    virtual void text(const PNT_3D_record& at, const std::string& value, double size, double degrees,
                      int justification, int pen) = 0;
};

struct DisplayState {
    std::array<int, kDisplayFlagCount> flags{};
    std::array<int, 6> updated{1, 1, 1, 1, 1, 1};
    std::array<int, 129> surfacePens{};      // 1..128
    std::array<bool, 256> lineHidden{};
    double contourBase = 0.0;                // "DisplayContours" field 1
    int contourSurface = 1, contourSurface2 = 2, contourField4 = 2;
    double minContour = 0.0, maxContour = 0.0;
    ContourSettings contour;
    NAMEFILT filter{};
    int labelDecimals = 2;
    std::string fontName = "Arial";
    int fontSize = 10;
    double labelAngle = 0.0;
    std::vector<RoadShow> roads;
    int showSlopeColours = 1, shadeSurf = 1, shadeHeightSurf = 1;
    std::array<ShadeClass, kShadeClasses> slopeClasses{}, heightClasses{};
    COLORREF noSlopeColour = 0, underHeightColour = 0, overHeightColour = 0;
    int slopeArrows = 0, arrowPen = 255, arrowSize1 = 25, arrowSize2 = 5;
    int lineTypes[2] = {21, 1};
    int roadCols[5] = {250, 150, 150, 250, 250};
    std::vector<SymbolRule> symbols;
    std::vector<NameLayerRule> nameLayers;
    int defaultPen = 255, selPen = 255;
    int splitHeightDecimal = 0, dispSuffix = 0;

    RRect view{};
    PNT_2D_record track{}, sectionA{}, sectionB{};
    double markerHalf = 0.0;
    int marker = 0;                          // 0 none, 1 tracking cross, 2 section line
    bool plotGuard = false, painting = false, smoothing = false;

    DrawSink* sink = nullptr;                // set only while the site is exported

    DATA4* namesTable = nullptr;
    bool namesOld = false;
    char workFile[MAX_PATH] = {};

    std::array<double, 67> slopeArea{}, heightArea{};   // by class, 1..66
    double slopeTotal = 0.0, heightTotal = 0.0;
};

DisplayState& state();

// The drawing window (null before start-up).
CCadWindow* cad();
// Text heights: the label height for the font size, negated on screen when flag 11 is set.
float labelHeight(double size);
// "%.*lf" with the label decimals.
std::string heightText(double z, int decimals);
// The surface's layer name with {NUMBER} and {TYPE} filled.
std::string surfaceLayer(WORD surface, const char* type);
// A point passes the display filter (always when the name filter is off).
bool passesDisplayFilter(const SURVCOORD& p);
// The view window of a paint of the rectangle: the rectangle widened by its margin.
RRect paintWindowOf(RRect rect);
// The surface pens from the user settings ("Terrain"/"Surf%d").
void loadSurfacePens();
// The pen list rebuild of the feature-line layer (dbfSetShowLine's rebuild).
void rebuildLinePens();

// A path of the layers that know heights: to the export's sink when one is set, else each
// segment drawn on the window with the pen, style and width.
void drawPath(const std::vector<PNT_3D_record>& points, int pen, int style, double width, bool joined);
// The height class of a height: 1..64, 65 below and 66 above the classes.
int heightClassOf(double z);

// The common contract of a layer: the flag cleared on entry, the status text shown, progress
// every 1 % of the approximate point count, Escape checked after each unit.
class LayerRun {
public:
    LayerRun(int& escape, const char* status, bool withProgress);
    ~LayerRun();
    LayerRun(const LayerRun&) = delete;
    LayerRun& operator=(const LayerRun&) = delete;
    // After one unit of work: advances the progress; true when Escape was pressed (the flag is 1).
    bool unitDone();
    bool escaped() const { return escape_ != 0; }

private:
    int& escape_;
    std::string text_;
    bool progress_;
    int total_ = 0, step_ = 1, done_ = 0;
};

// Quick-contour tracing of one edge over the levels from low to high, with the pen rule.
struct ContourPens {
    int minorPen, minorStyle, majorPen, majorStyle;
    bool major;
};
// The polygon walk beside start -> next (at most 10 points); area: twice the ring's signed
// area on the plan, negative for a face of the network, positive for its outside.
void walkRing(unsigned start, unsigned next, std::vector<unsigned>& ring, unsigned& status, double& area);
void traceEdge(unsigned a, unsigned b, double low, double high, unsigned required, const ContourPens& pens);

// The survey symbols check: 1 when symbols can be drawn; otherwise symbols are switched off
// after the message.
int checkSymbolFile();

// Names table helpers.
void emptyNamesTable();
void namesLayerDone();

}  // namespace display
