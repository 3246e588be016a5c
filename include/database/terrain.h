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
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "database/records.h"
#include "platform/wintypes.h"

static_assert(std::endian::native == std::endian::little,
              "the terrain file records are laid out for a little-endian host");

struct NAMEFILT;   // the point filter (name, height, position, surface)

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

#pragma pack(pop)

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
