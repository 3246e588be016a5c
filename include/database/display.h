// The terrain display: the site drawn into the host's drawing window (CCadWindow), the display
// settings that choose the layers and their pens, the toggles, the view window of each paint,
// the tracking and section markers, the snap callbacks, and every plot layer.
//
// The drawing window takes plan positions as (y, x) pairs; every primitive is drawn that way.
// Nothing here draws except through the drawing window's gs... operations. Functions never
// throw; while the terrain display is not open the toggles and queries return 0 and change
// nothing.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "database/records.h"
#include "database/terrain.h"
#include "platform/cad.h"
#include "platform/table.h"
#include "platform/wintypes.h"

// ---------------------------------------------------------------------------------------------
// The nineteen display flags ("Terrain"/"DisplayControl"), by their index from 0.

constexpr int kDisplayFlagCount = 19;
enum DisplayFlag {
    kFlagPoints = 0,        // 1: terrain points (also required by the snap callback)
    kFlagLines,             // 2: feature lines
    kFlagContours,          // 3: contours
    kFlagRoads,             // 4: roads
    kFlagNameFilter,        // 5: the display filter is applied to points
    kFlagNames,             // 6: point names
    kFlagHeights,           // 7: point heights
    kFlagSavedContours,     // 8: contours from the contour file when it exists
    kFlagBlocks,            // 9: the block grid of the point store
    kFlagSlopeShading,      // 10
    kFlagTextOrientation,   // 11: screen label heights are negative
    kFlagSymbols,           // 12: points drawn with survey symbols
    kFlagSecondContour,     // 13: contours of the second contour surface too
    kFlagBanks,             // 14
    kFlagGrids,             // 15
    kFlagNameLayers,        // 16
    kFlagHeightShading,     // 17
    kFlagStrings,           // 18
    kFlagPipes,             // 19
};

// The flags as loaded (or as last set); flag indices outside 0..18 give 0. No message.
int dbfGetDisplayFlag(int flag);
// Sets one flag in memory (the saved line is written by dbfSaveDisplayControl). Ignores an
// index outside 0..18.
void dbfSetDisplayFlag(int flag, int value);
// Writes the nineteen flags to "Terrain"/"DisplayControl" as "%d,...,%d".
void dbfSaveDisplayControl();

// ---------------------------------------------------------------------------------------------
// Opening, closing and settings

// Opens (non-zero) or closes (zero) the terrain display: the work file ("tbk") and its lock
// ("tlk"), the names table ("dtn"), the window's paint and snap callbacks, the questions about
// a left-over work file and about saving.
void dbfTerrainInit(int open);
// 1 when the terrain database is open and its block tree exists.
int dbfTerrainIsOpen();
// Loads every display setting into the library state.
void dbfGetDisplaySettings();
// Prepares the drawing window with its set-up macros (units, hemisphere, scale, ...); with force
// 0 nothing happens when "Global"/"Drawing" names a drawing.
void dbfSetupDrawing(int force);

// ---------------------------------------------------------------------------------------------
// Toggles and queries: each toggle returns the new flag, or 0 while the terrain is not open.

int dbfToggleNames();
int dbfToggleHeights();
int dbfToggleLines();
int dbfToggleContours();
int dbfToggleRoads();          // does not save the line
int dbfToggleNameFilter();     // switching on shows the filter sheet; the flag takes its result
int dbfToggleBlockDisplay();   // does not save the line
int dbfIsShowName();
int dbfIsShowHeight();
int dbfIsShowLine();
int dbfIsShowContour();
int dbfIsShowFilter();
int dbfIsShowQuickContour();

// ---------------------------------------------------------------------------------------------
// Filter, pens and line visibility

int dbfGetTerrainFilter(NAMEFILT& filter);
NAMEFILT* dbfGetTerrainFilterPointer(int& on);
void dbfSetTerrainFilter(int on);
// The pen of a surface (taken modulo 256): 1 for 0 and above 128.
int dbfTerrainPen(WORD surface);
void dbfTerrainSetPen(WORD surface, int pen);
// 0 for line type 0 and for hidden types, else 1 (type taken modulo 256).
int dbfShowLine(WORD lineType);
void dbfSetShowLine(WORD lineType, int show, int rebuild);

// ---------------------------------------------------------------------------------------------
// Redraw

void dbfStartRedrawSite(_bsRECT* rect);
void dbfEndRedrawSite(_bsRECT* rect);
void dbfRedrawSite(int pre, _bsRECT* rect);
void dbfSitePlot(int pre);
void dbfGetViewRect(RRect* rect);
void dbfGetZoomRect(RRect* rect);
// The view widened by the longest line of the surface that leaves it.
void dbfGetViewRectEx(RRect* rect, WORD surface);
// The view window of the current paint (the paint rectangle plus its margin).
RRect dbfGetPaintWindow();

// ---------------------------------------------------------------------------------------------
// Snap callbacks and markers

int DTMNearest(double& first, double& second);
void DTMJump();
void DTMSnap();
void dbfStartTrack(PNT_2D_record point);
void dbfShowTrack(PNT_2D_record point);
void dbfEndTrack();
void dbfStartSection(PNT_2D_record first, PNT_2D_record second);
void dbfShowSection(PNT_2D_record first, PNT_2D_record second);
void dbfEndSection();

// ---------------------------------------------------------------------------------------------
// Forwarders to the drawing window (arguments passed through unchanged)

void dbfDisplayCircle(double x, double y, double radius, int pen, short style);
void dbfDisplayLine(double x1, double y1, double x2, double y2, BYTE pen, BYTE style);
void dbfDisplayDot(double x, double y, BYTE pen, BYTE style, float size);
void dbfDisplayText(const char* text, double x, double y, BYTE pen, BYTE justification, short option,
                    float height, float angle);
void dbfDisplayRect(double x1, double y1, double x2, double y2, int pen, short style);
long dbfExecuteMacro(const char* text);
void dbfMagnify();
void dbfDemagnify();
void dbfPan();
void dbfRedraw();
void dbfRefresh();
void dbfZoomAll();
void dbfSetCurrCoord(double first, double second);
void dbfSetDrawMode(int mode);
int dbfGetPenColor(short pen);
short dbfSetSnapMode(short mode);

// ---------------------------------------------------------------------------------------------
// Plot layers: each takes the escape flag (set to 0 on entry, 1 when Escape ended the layer).

void dbfPlotAllPoints(int& escape);
void dbfPlotAllLines(int& escape);
void dbfPlotContours(int& escape);
void dbfDrawContours(int& escape);
void dbfPlotStrings(int& escape);
void dbfPlotBlocks(int& escape);
void dbfPlotGrids(int& escape);
void dbfShadePlot(int& escape);
void dbfShadeHeightPlot(int& escape);
void dbfPlotRoads(int& escape);
void dbfPlotBanks(int& escape);
void dbfPlotPipeDbs(int& escape);

// One point as the points layer draws it; draw 0 removes it (draw mode 10).
void dbfPlotPoint(unsigned number, SURVCOORD& point, int draw);
// The point's 24 lines in draw mode 10, then back to 13.
void dbfPlotConnectLines(int pen, unsigned number, SURVCOORD& point);
// The quick contours round one point; draw 0 erases them (pen 0).
void dbfRadialCont(unsigned point, unsigned required, int draw);
// The polygon of lines beside the edge start -> next (at most 10 points kept; status 9 when
// longer, as dbfFindPoly's statuses otherwise). No drawing and no error marker.
void dbfOldFindPoly(unsigned start, unsigned next, std::vector<unsigned>& ring, unsigned& status);
// The quick-contour levels of one line from zmin to zmax: the first level strictly above zmin,
// then every interval up to zmax (inclusive, within tolerance).
std::vector<double> dbfContourLevels(double zmin, double zmax, double base, double interval);
// 25 points of the cubic Bezier piece from p1 to p2 with p0 and p3 as neighbours (tension 4).
void dbfBezSmooth(const PNT_2D_record window[4], PNT_2D_record out[25]);

// ---------------------------------------------------------------------------------------------
// The names table of the terrain display ("dtn", tag "NAME")

// Offers a point name to the table; 1 when a record was added.
int dbfUpdateNamesDb(const char* name);
int dbfIsNamesOld();
void dbfSetNamesOld();
DATA4* dbfNamesDbPtr();

// ---------------------------------------------------------------------------------------------
// The shading legends the host shows: per class (1..64, 65 and 66 the out-of-class colours)
// its bounds, colour (COLORREF) and share of the shaded area in per cent ("%.1lf"; empty when
// the last shading covered no area).

struct DisplayLegendRow {
    int shadeClass;
    double lower, upper;
    COLORREF colour;
    std::string share;
};
// kind 0 slope shading, 1 height shading; the rows of the classes in use.
std::vector<DisplayLegendRow> dbfShadeLegend(int kind);

// ---------------------------------------------------------------------------------------------
// DXF export of the displayed site: the entity records only (the caller writes the header,
// tables, the ENTITIES section markers and EOF). Format 0 writes DXF; any other format, a null
// stream or a closed terrain writes nothing. The layers' DXF names come from the job section
// "DXF Export" (cut to 32 characters, empty by default).
void dbfSiteExport(int format, FILE* stream);
// The DXF line type of a display line style (style modulo 7).
const char* dbfDxfLineType(int style);
// The 3DFACEs the export writes for a height-shaded triangle with these corners: one per piece
// of it within one height class (the classes of the display settings).
int dbfDxfHeightPieces(const PNT_3D_record corners[3]);
// The LINEs and TEXTs the export writes from the roads' design files and the display does not
// draw: for each road the roads layer shows (and whose road file opens), a LINE per tangent of
// its horizontal alignment and a LINE and a TEXT per element. 0 when the roads layer is off or
// no terrain is open.
int dbfDxfAlignmentEntities();
