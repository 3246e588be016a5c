// The terrain database: survey points on 128 surfaces, joined by feature lines, kept in a paged
// file of 500-point blocks inside a square site of 25 x 25 cells.
//
// One terrain database is open at a time. Points are named by their point number,
// bucket x 500 + slot (slot 1..500, 0 for none); numbers change when points are removed: the last
// point of the block takes the removed point's number. Points handed to and taken from callers
// carry projected x and y; the file keeps latitude and longitude.
//
// Functions never throw, except that a damaged block list raises CUserException after its
// "Bucket list error in ..." message (dbfAddCoord returns 0 instead).
//
// This one header declares the whole terrain database: the file and its points, surfaces and
// lines, and below them the point filter (NAMEFILT), the queries and maintenance (nearest point,
// name look-up, statistics, duplicates, surface copy) and the polygons (perimeter tracing).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "database/records.h"
#include "platform/wintypes.h"

static_assert(std::endian::native == std::endian::little,
              "the terrain file records are laid out for a little-endian host");


// ---------------------------------------------------------------------------------------------
// File records

#pragma pack(push, 1)

// One point, the same in memory and in the file. In the file x holds the latitude and y the
// longitude (see dbfGrabCoord).
struct SURVCOORD {
    char name[17];          // terminated; at most 16 characters
    double x;
    double y;
    double z;
    WORD surface;           // low 8 bits the surface 1..128; 0x2000, 0x4000, 0x8000 flags
    BYTE feature;           // bit i: outgoing line i is a feature line
    DWORD lines[8];         // outgoing lines: partner point numbers, 0 for empty
    DWORD shadows[16];      // incoming references: points whose lines end here, 0 for empty
    BYTE work[6];           // work bytes of whole-database operations (u32 + 2 bytes)
};

// The terrain file header, the first 396 bytes of block 0.
struct DTMHEADER {
    char magic[4];               // "XXXY"
    WORD version;                // 602
    WORD datum;
    double minY;
    double minX;
    double maxY;
    double maxX;
    double blockSize;            // side of one cell, projected units
    DWORD blockLength;           // 73016
    DWORD totalBlocks;           // used and blank, block 0 not counted
    DWORD usedBlocks;
    WORD cellsPerSide;           // 25
    DWORD limitsValid;           // the cached site limits below are valid
    RRect limits;
    std::int16_t projection;
    double scaleFactor;
    double latitudeOrigin;
    double falseEasting;
    double falseNorthing;
    DWORD hemisphereFlag;        // 1 when the projection's hemisphere is 0
    DWORD longitudeOrigin;
    BYTE unused[9];
    char reserved[119];          // filler, never interpreted
    BYTE surfaceStatus[128];     // status of surfaces 1..128: 1 active, 2 shown
};

// The 16-byte header of a point block.
struct DTMBLOCKHEAD {
    DWORD bucket;                // bucket number of this block, from 1
    DWORD next;                  // next bucket of the same cell, 0 at the end of the chain
    DWORD previous;              // previous bucket of the cell, 0 for the chain head
    WORD count;                  // points in the block, 0..500
    WORD unused;
};

// One block of the file.
struct DTMBLOCK {
    DTMBLOCKHEAD head;
    SURVCOORD points[500];
};

// A point filter: by surface, name patterns, height and position inside or outside a fence.
struct NAMEFILT {
    WORD surface;            // a surface word, or kSurfaceAny for any active surface
    char include[5][17];     // "ALL" first passes every name; empty entries hold "--"
    char exclude[5][17];     // "NONE" first excludes nothing; empty entries hold "--"
    std::int16_t heightMode; // kHeightAll, kHeightAbove, kHeightBelow, kHeightBetween
    double lowerHeight;      // above and between
    double upperHeight;      // below and between
    BYTE fenceOn;
    BYTE outside;            // 1 passes points outside the fence, 0 points inside
    char fenceName[81];      // a fence of the job settings
};

// Terrain statistics (dbfDbaseStats).
struct DBASESTATS {
    double blockSize;
    double minX, minY, maxX, maxY;   // the site square
    DWORD usedBlocks;
    DWORD cellsPerSide;
    DWORD cellsWithPoints;
    DWORD longestChain;              // most blocks in one cell's chain
    DWORD mostPoints;                // most points in one cell
    DWORD fewestPoints;              // fewest points in a cell with points; 1000000 when none
    DWORD totalPoints;
};

#pragma pack(pop)

static_assert(sizeof(NAMEFILT) == 2 + 170 + 2 + 16 + 2 + 81, "NAMEFILT is packed");
static_assert(sizeof(DBASESTATS) == 68, "DBASESTATS is packed");
static_assert(sizeof(SURVCOORD) == 146, "SURVCOORD is 146 bytes");
static_assert(offsetof(SURVCOORD, surface) == 41 && offsetof(SURVCOORD, lines) == 44 &&
                  offsetof(SURVCOORD, shadows) == 76 && offsetof(SURVCOORD, work) == 140,
              "SURVCOORD field offsets");
static_assert(sizeof(DTMHEADER) == 396, "the terrain file header is 396 bytes");
static_assert(offsetof(DTMHEADER, limitsValid) == 62 && offsetof(DTMHEADER, projection) == 98 &&
                  offsetof(DTMHEADER, reserved) == 149 && offsetof(DTMHEADER, surfaceStatus) == 268,
              "terrain header field offsets");
static_assert(sizeof(DTMBLOCKHEAD) == 16, "a block header is 16 bytes");
static_assert(sizeof(DTMBLOCK) == 73016, "a terrain block is 73016 bytes");

constexpr unsigned kDtmBlockLength = 73016;
constexpr unsigned kDtmPointsPerBlock = 500;
constexpr unsigned kDtmBlockData = 73000;       // 500 point records
constexpr unsigned kDtmCellsPerSide = 25;
constexpr unsigned kDtmCells = 625;
constexpr unsigned kDtmVersion = 602;
constexpr unsigned kDtmSurfaces = 128;

// Surface status bits and surface word flags.
constexpr BYTE kSurfaceActive = 1;
constexpr BYTE kSurfaceShown = 2;
constexpr WORD kSurfaceAny = 0x2000;
constexpr WORD kSurfaceFlag4000 = 0x4000;
constexpr WORD kSurfaceFlag8000 = 0x8000;

// ---------------------------------------------------------------------------------------------
// The file and its lifecycle

int dbfMakeDbase(const char* fileName, double centreY, double centreX, double extent);
int dbfOpenDbase(const char* fileName, int withDisplay);
int dbfCloseDbase();
WORD dbfBlockNumber(double y, double x);
void dbfGetExtents(RRect* site, double& blockSize);
double dbfBlockSize();
DWORD dbfApproxPointCount();
int dbfEdit();
void dbfChanged();
void dbfSaved();
int dbfSafeBucketChangeMode(int mode);
// The reason the last write to the terrain file failed ("No space left on device (block)"), or
// null when every write of the file open or created last succeeded. A failed write is sticky: the
// database refuses further changes and dbfCloseDbase shows "Unable to write the terrain file
// <name>: <reason>"; the host should then treat its command as failed. No message.
const char* dbfTerrainWriteError();
// 1 when the last long operation (dbfRemoveDuplicates, dbfDuplicateSurface, the rebuild of the
// incoming references) ended on Escape, 0 otherwise. No message.
int dbfTerrainCancelled();

// The site limits: the area the points cover, widened by one block (cached in the header).
void dbfBuckLimit(RRect* limits, int force);

// ---------------------------------------------------------------------------------------------
// Points

void dbfGrabCoord(SURVCOORD& record, unsigned number);
void dbfStoreCoord(SURVCOORD& record, unsigned number, int redraw);
void dbfStoreCoordFlags(SURVCOORD& record, unsigned number);
int dbfAddCoord(SURVCOORD& record, unsigned& number);
unsigned dbfRemCoord(unsigned number);
unsigned dbfEditCoord(SURVCOORD& record, unsigned number);
unsigned dbfStartCoord(SURVCOORD& record, RRect* area);
unsigned dbfNextCoord(SURVCOORD& record, unsigned& number);
void dbfScanLimits(RRect* area);
int dbfCoordExists(SURVCOORD& record, unsigned number);
void dbfPackStruct(const char* name, double y, double x, double z, WORD surface, SURVCOORD& record);
bool dbfBBTreeExists();

// ---------------------------------------------------------------------------------------------
// Surfaces

int dbfActiveSurface(WORD number);
int dbfValidSurface(WORD number);
WORD dbfStripSurfFlags(WORD word, WORD* flags);
int dbfCheckSurface(WORD a, WORD b);
int dbfCheckSurfaceFlag(BYTE a, BYTE b, char mask);
void dbfSelectAllSurfaces();
int dbfGetSurfaceStatus(WORD number, char mask);
void dbfSetSurfaceStatus(WORD number, BYTE status, int refresh);
int dbfPureSurface(SURVCOORD* record);
char* dbfSurfaceName(char* buffer, WORD number);
const char* dbfSurfaceName(WORD number);
WORD dbfSurfaceNumber(char* text);
void dbfSetSurfaceName(const char* text, WORD number);
char* dbfSurfaceLayer(char* buffer, WORD number);
void dbfSetSurfaceLayer(const char* text, WORD number);

// ---------------------------------------------------------------------------------------------
// Lines

int dbfAddLine(unsigned a, unsigned b, int feature, int beep);
int dbfDelLine(unsigned a, unsigned b, int feature, int any);
int dbfIsFeatureLine(SURVCOORD& recordOfA, unsigned b, unsigned a);
void dbfAdjustShadowRef(SURVCOORD& record, unsigned oldNumber, unsigned newNumber);
// The stream holds `count` u32 point numbers (a core file stream).
int dbfCreateShadowLines(long count, FILE* stream, int cancellable);
int dbfValidateData();
int dbfNumerateCoords(RRect* area, NAMEFILT* filter);
void dbfNumeratedLines(SURVCOORD record, unsigned* results);
unsigned dbfNumeratedCoordNumber(SURVCOORD record);
void dbfContourPoly(const std::vector<unsigned>& points, double height, PNT_3D_record& start,
                    PNT_3D_record& crossing, unsigned& index);

// ---------------------------------------------------------------------------------------------
// The point filter

// Height modes of NAMEFILT.
constexpr std::int16_t kHeightAll = 0;
constexpr std::int16_t kHeightAbove = 1;
constexpr std::int16_t kHeightBelow = 2;
constexpr std::int16_t kHeightBetween = 4;

// Parts of dbfFilterDetails' reset argument: each bit resets its part and leaves its page out.
constexpr unsigned kFilterNames = 1;
constexpr unsigned kFilterSurface = 2;
constexpr unsigned kFilterHeights = 4;
constexpr unsigned kFilterPosition = 8;

// 1 when the point passes: surface, then name, then height, then position; the first failing
// test decides. The fence polygon is the one loaded with the filter (dbfLoadNameFilter).
int dbfPassesFilter(const SURVCOORD* point, const NAMEFILT* filter);
// The name test alone. patterns: the filter's 5 includes followed by its 5 excludes, 17
// characters each (NAMEFILT::include). The name is trimmed in place.
int dbfNameFilter(char* name, const char* patterns);
// From and to the job settings (Terrain/NameFilt and Terrain/AddFilt). Loading also loads the
// named fence as the filter's fence polygon; a missing fence turns the fence test off.
void dbfLoadNameFilter(NAMEFILT* filter);
void dbfSaveNameFilter(NAMEFILT* filter);
// The pass-all filter: any active surface, every name, every height and position.
void dbfResetFilter(NAMEFILT& filter);
// A fresh filter that passes every point of one surface (the pass-all filter with the surface
// word set).
void dbfSurfaceFilter(NAMEFILT& filter, WORD surface);
// The record the "Filter" sheet of the host UI edits (HostUi::dialog("Filter", &sheet)): a copy
// of the filter and the pages to show (kFilterNames ... as bits; the summary page always shows,
// with the texts of dbfFilterSummary).
struct FILTERSHEET {
    NAMEFILT filter;
    unsigned pages;
};
// Edits the filter (loaded from the job settings first) in the "Filter" sheet of the host UI;
// the parts named by resetParts are reset and their pages left out. 1 on OK, after saving.
int dbfFilterDetails(NAMEFILT* filter, unsigned resetParts, CWnd* parent);
// The summary lines of the filter sheet: names, surface, heights, position (one text each).
std::vector<std::string> dbfFilterSummary(const NAMEFILT& filter);

// ---------------------------------------------------------------------------------------------
// Queries and maintenance

// The nearest point to the position within a twelfth of the view's smaller side, on an active
// surface and passing the filter when useFilter is set; 0 when none. A null filter means the
// display's filter and its switch. With report the status line names the point (or it beeps).
unsigned dbfFindClosest(PNT_3D_record position, NAMEFILT* filter, int useFilter, int report);
// The same over the given area, preferring among the horizontally nearest the one nearest in
// height.
unsigned dbfFindClosestInArea(RRect area, PNT_3D_record position, NAMEFILT* filter, int useFilter,
                              int report);
// The point of an active surface with exactly this (trimmed) name: 1 with its number and record.
int dbfFindName(char* name, unsigned& number, SURVCOORD& record);
// The next point (after number, or from the start) of that name over the whole site.
int dbfSearchName(char* name, unsigned& number, SURVCOORD& record, int fromStart);
// Statistics of the open database; 0 when no cell holds points.
int dbfDbaseStats(DBASESTATS& stats);
// A copy of the open terrain file's header (site, cell side, block counts); 0 when no file is
// open. Reads nothing from the file and shows no message.
int dbfGetHeader(DTMHEADER& header);
// 1 when the number names a stored point of the open file (its block exists and holds the
// slot), else 0: a mistyped number can be refused before dbfGrabCoord reads it. May read the
// point's block into the cache; shows no message.
int dbfPointExists(unsigned number);
// Marks points that duplicate an earlier point (the earlier point's number in the work u32).
// 1 when any was marked; 0 when none or on Escape.
int dbfRemoveDuplicates(int compareHeights, NAMEFILT* filter, int useFilter,
                        const std::vector<PNT_2D_record>& polygon);
// Copies the points of one surface, with their lines, onto another (replacing its points).
int dbfDuplicateSurface(WORD source, WORD destination);

// Modes of dbfLookup.
constexpr int kLookupFind = 1;
constexpr int kLookupAsk = 2;
constexpr int kLookupChange = 4;
constexpr int kLookupAdd = 8;
constexpr int kLookupKeepSurface = 16;
// Finds, edits or adds a point by name; the point's number or 0.
unsigned dbfLookup(int mode, char* name, SURVCOORD& record);
// The record the "Point Entry" dialog of the host UI edits (HostUi::dialog("Point Entry", &entry)):
// a copy of the point, the caller's mode, and the number of an existing point when the user
// picked one instead of entering a new point (0 otherwise).
struct POINTENTRY {
    SURVCOORD point;
    int mode;
    unsigned existing;
};
// The point entry dialog of the host UI on the record; 1 on OK (the record rebuilt).
int dbfEnterCoord(SURVCOORD& record, int mode);

// ---------------------------------------------------------------------------------------------
// Polygons and perimeters

// Walk status of dbfFindPoly and dbfFindPolyEx.
constexpr unsigned kWalkClosed = 0;
constexpr unsigned kWalkDeadEnd = 1;      // also: no start given
constexpr unsigned kWalkLoop = 5;         // came back to a point other than the first
constexpr unsigned kWalkTooLong = 9;      // the length limit was reached

// A perimeter held as a list of u32 point numbers (the memory file of long walks).
using PerimeterFile = std::vector<DWORD>;
constexpr unsigned kPerimeterMax = 0x100000;

// The start and first step of a perimeter walk over the surface's points in the area (null:
// the whole site); both 0 when no point of the surface has a line.
void dbfPolyStart(unsigned& start, unsigned& next, WORD surface, RRect* area);
// Collects the network reachable from start into the file and replaces start by its lowest
// point; the network's size, 0 on Escape or overflow.
unsigned dbfFindLeftMost(unsigned& start, WORD surface, PerimeterFile& file);
// Walks the perimeter from start (then next) into the array; status as above.
void dbfFindPoly(unsigned start, unsigned next, std::vector<unsigned>& perimeter,
                 unsigned& status, int draw, int markError);
// The same into the file, at most count points; count returns the length reached.
unsigned dbfFindPolyEx(unsigned start, unsigned next, unsigned& count, int draw,
                       PerimeterFile& file);
// Bounding rectangles grown by 10 units on every side.
void dbfPolyLimitsEx(RRect* limits, unsigned count, const PerimeterFile& file);
void dbfPolyToRect(const std::vector<PNT_2D_record>& polygon, RRect* limits);
// The area of a closed polygon (first vertex repeated at the end); sense 1 or -1 (0 when fewer
// than 3 vertices).
double dbfPolyArea(const std::vector<PNT_2D_record>& polygon, int& sense);
// 1 inside, 0 outside; the polygon is closed by repeating its first vertex at the end.
int dbfPointInPoly(PNT_2D_record position, const std::vector<PNT_2D_record>& polygon);
int dbfPointInPoly(const SURVCOORD& point, const std::vector<PNT_2D_record>& polygon);
// Sets the error marker at the position and shows it (drawn by the error redraw hook).
void dbfSetShowableError(PNT_3D_record position);
