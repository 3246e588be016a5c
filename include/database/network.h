// The pipe-network tables: the sewer, stormwater and erf-connection tables (one of each kind
// open at a time), their record access family, the link records the host walks a network
// with, and the crossing-pipe table of the pipe plot layer.
//
// Each table is a dBASE table with a multiple-tag index file. Opening copies the saved files to
// work files in the work folder, checks the table's structure against the fields this library
// defines (rebuilding it from a backup when fields are missing or defined differently) and
// checks the index tags; every edit goes to the work files; saving copies them back.
//
// Results: the record functions return the table library's move result (0 success) or -2 when
// the kind is not open or the request is out of range. Every function that needs an open table
// says "No sewer database" (storm, erf connection) when there is none. Nothing here throws.
#pragma once

#include <cstdint>

#include "platform/core.h"
#include "platform/table.h"

// ---------------------------------------------------------------------------------------------
// Records handed to the host

// One link of a network: the node, the link that leaves it and the node it reaches.
// Coordinates are held Y first, then X.
struct LinkRecord {
    char name[65];                 // left empty by the readers; the host's own name
    char upNode[65];               // NODE
    char downNode[65];             // NEXT_NODE
    char hostText[5];              // room for the host; the readers leave it alone
    std::int32_t size1;            // SIZE1
    std::int32_t size2;            // SIZE2, or the link table's resolved size
    std::int32_t size3;            // SIZE1
    std::int32_t size4;            // SIZE2, or the link table's resolved size
    double upY, upX, upInvert;     // Y_COORD, X_COORD, INLEVEL
    double downY, downX, downInvert;   // the downstream node's Y_COORD, X_COORD; OUTLEVEL
    char linkType[65];             // L_TYPE
    double length, slope;          // LENGTH, SLOPE
    std::int32_t barrels;          // NO
    double designFlow, capacity, velocity, flowDepth;   // DESFLOW, CAPACITY, VELOCITY, FLOWDEPTH
    double upGrade, downGrade;     // invert + V^2/19.62 + flow depth
    double hostValues[4];          // room for the host; the readers leave it alone
    std::int32_t flag;             // set to 0 by the readers
};

// A link size resolved through the link table of a settings file, kept in the host's cache
// (a UI_LIST) so that the next link of the same type and size skips the table walk.
class DiaEle : public UI_ELEMENT {
public:
    char linkType[256] = {};       // the link type name
    char kind[16] = {};            // "Pipe", "Box", "Portal" or "Custom"
    std::int32_t nominal1 = 0;     // the record's sizes that were looked up
    std::int32_t nominal2 = 0;
    std::int32_t unused3 = 0;
    std::int32_t resolved2 = 0;
    std::int32_t unused5 = 0;
    std::int32_t resolved4 = 0;
    ~DiaEle() override = default;
};

// The storm reader's cache element (the same record).
class StormDiaEle : public DiaEle {
public:
    ~StormDiaEle() override = default;
};

// The host's pipe element, as the link-table look-up reads and fills it.
class PipeEle : public UI_ELEMENT {
public:
    char linkType[256] = {};       // in: the link type name
    double nominal1 = 0.0;         // in: nominal size 1
    double nominal2 = 0.0;         // in: nominal size 2
    char drainName[32] = {};       // in (storm, "Open Drain"): the drain's set name
    char kind[16] = {};            // out: the link kind of the type ("Pipe", "Box" ...)
    double dimension1 = 0.0;       // out: the looked-up dimensions
    double dimension2 = 0.0;
};

// The reader form shared by the sewer and storm link readers and the host's own reader:
// (unused, record, first, cache, unused). cache is the host's UI_LIST of DiaEle, or null.
using LinkReader = bool (*)(void* unused, LinkRecord& record, bool first, char* cache,
                            char* unused2);

// ---------------------------------------------------------------------------------------------
// Sewer

DATA4St* dbfSewerOpenFile(char* path);
void dbfSewerCloseFile(bool ask);
// Copies the work files back over the saved ones and gives the reopened work table. A save
// that fails (a saved file read-only, a full disk, a failed write to the work table) says so
// naming the file and the reason, leaves every saved file as it was, closes the table keeping
// its work files for the recovery offered at the next open, and gives none. The storm and erf
// saves and the save-as functions (false) do the same.
DATA4St* dbfSewerSaveFile();
// path (MAX_PATH characters) receives the file chosen in the save box.
bool dbfSewerSaveFileAs(char* path);

bool dbfSewerIsOpen();
char* dbfSewerGetDataFileName();
char* dbfSewerGetHydroFileName();
TINIFile* dbfSewerGetIniFile();

int dbfSewerGetFirstRecord();
int dbfSewerGetNextRecord();
int dbfSewerGetRecord(int recno);
int dbfSewerGetRecordNo();
int dbfSewerGetRecordCount();
bool dbfSewerDeleted();
int dbfSewerBottom();
int dbfSewerSetIndex(char* tag);
int dbfSewerSeekRecord(char* key, char* tag);
int dbfSewerGetRecordNode(char* key);
int dbfSewerGetRecordNextNode(char* key);

void dbfSewerGetField(char* name, char* out, bool trim);
bool dbfSewerGetFieldBool(char* name);
int dbfSewerGetFieldInt(char* name);
double dbfSewerGetFieldDouble(char* name);
void dbfSewerSetField(char* name, char* text);
void dbfSewerSetFieldBool(char* name, bool value);
void dbfSewerSetFieldInt(char* name, int value);
void dbfSewerSetFieldDouble(char* name, double value);
void dbfSewerGetFieldInfo(char* name, int& width, int& type);
void dbfSewerGetFieldString(char* name, char* out);
void dbfSewerRemDelRec(bool& removed);

bool dbfSewerGetRecord(void* unused, LinkRecord& record, bool first, char* cache, char* unused2);
void dbfSewerGetLinkTableData(PipeEle* pipe);

// ---------------------------------------------------------------------------------------------
// Storm

DATA4St* dbfStormOpenFile(char* path);
void dbfStormCloseFile(bool ask);
DATA4St* dbfStormSaveFile();
bool dbfStormSaveFileAs(char* path);

bool dbfStormIsOpen();
char* dbfStormGetDataFileName();
char* dbfStormGetHydroFileName();
TINIFile* dbfStormGetIniFile();
SWMM_LIST* dbfStormGetSwmmFile();

int dbfStormGetFirstRecord();
int dbfStormGetNextRecord();
int dbfStormGetRecord(int recno);
int dbfStormGetRecordNo();
int dbfStormGetRecordCount();
int dbfStormSetIndex(char* tag);
int dbfStormSeekRecord(char* key, char* tag);
int dbfStormGetRecordNode(char* key);
int dbfStormGetRecordNextNode(char* key);
int dbfStormGetRecordLink(char* key);

void dbfStormGetField(char* name, char* out, bool trim);
bool dbfStormGetFieldBool(char* name);
int dbfStormGetFieldInt(char* name);
double dbfStormGetFieldDouble(char* name);
void dbfStormSetField(char* name, char* text);
void dbfStormSetFieldBool(char* name, bool value);
void dbfStormSetFieldInt(char* name, int value);
void dbfStormSetFieldDouble(char* name, double value);
void dbfStormGetFieldInfo(char* name, int& width, int& type);
void dbfStormGetFieldString(char* name, char* out);
void dbfStormRemDelRec(bool& removed);

bool dbfStormGetRecord(void* unused, LinkRecord& record, bool first, char* cache, char* unused2);
void dbfStormGetLinkTableData(PipeEle* pipe);

// Adds to the project's SWMM input every section of the default input beside the library that
// it lacks (run when a storm table is opened with an existing SWMM input).
void dbfCompareSwmmFile();

// ---------------------------------------------------------------------------------------------
// Erf connections (the erf-connection table is named after the sewer path, extension ".ecn")

DATA4St* dbfErfConOpenFile(char* path);
void dbfErfConCloseFile(bool ask);
void dbfErfConSaveFile();
bool dbfErfConSaveFileAs(char* path);

bool dbfErfConIsOpen();
char* dbfErfConGetDataFileName();

int dbfErfConGetFirstRecord();
int dbfErfConGetNextRecord();
int dbfErfConGetRecord(int recno);
int dbfErfConGetRecordNo();
int dbfErfConGetRecordCount();
bool dbfErfConDeleted();
int dbfErfConSetIndex(char* tag);
int dbfErfConSeekRecord(char* key, char* tag);
int dbfErfConGetRecordNode(char* key);
int dbfErfConGetRecordNextNode(char* key);

void dbfErfConGetField(char* name, char* out, bool trim);
bool dbfErfConGetFieldBool(char* name);
int dbfErfConGetFieldInt(char* name);
double dbfErfConGetFieldDouble(char* name);
void dbfErfConSetField(char* name, char* text);
void dbfErfConSetFieldBool(char* name, bool value);
void dbfErfConSetFieldInt(char* name, int value);
void dbfErfConSetFieldDouble(char* name, double value);
void dbfErfConGetFieldInfo(char* name, int& width, int& type);
void dbfErfConGetFieldString(char* name, char* out);
void dbfErfConRemDelRec(bool& removed);

// ---------------------------------------------------------------------------------------------
// The link reader of a second network product (registered with dbfRillmarSetDataHook, frame.h)

// Calls the registered reader with the first argument replaced by none; false when none is set.
bool dbfRillmarGetRecord(void* unused, LinkRecord& record, bool first, char* cache,
                         char* unused2);

// ---------------------------------------------------------------------------------------------
// The crossing-pipe table of the pipe plot layer and the crossing-pipes dialog: its own table
// context and file, opened only to check (and if need be create or rebuild) its structure.

class CCrossingPipeTable {
public:
    CCrossingPipeTable();
    ~CCrossingPipeTable();
    CCrossingPipeTable(const CCrossingPipeTable&) = delete;
    CCrossingPipeTable& operator=(const CCrossingPipeTable&) = delete;

    // Checks the table at path, rebuilding it when its structure differs from the crossing-pipe
    // fields; a missing table is created when create is set. The table is closed again either
    // way. true when the table exists and is sound afterwards.
    bool Open(const char* path, bool create);
    const char* FileName() const { return fileName_; }
    CODE4* Context() { return &code_; }

private:
    CODE4 code_;
    char fileName_[260];
};

// ---------------------------------------------------------------------------------------------
// Inflow units and hydrographs

// Connected units at the current sewer record. method is "Unit Flow" (the five class slots
// INF1_CLASS..INF5_CLASS), "Harmon" (HARM_UNIT) or "Hydrograph" (the slots INF1_HYDRO..
// INF5_HYDRO); the unit counts INF1_UNITS..INF5_UNITS are shared by a slot's class and
// hydrograph. A slot is free when its name is empty or "None". Adding takes the first slot that
// is free or holds the name; with all five in use it says so and changes nothing. Returns 0.
int sewerAddInflowUnits(char* method, char* name, int units);
// Takes units off the first slot holding the name; a slot left with no units is freed ("None",
// 0). Harmon units do not go below 0. Nothing happens without a sewer table or an argument.
void sewerRemoveInflowUnits(char* method, char* name, int units);

// Entries of an inflow hydrograph held in memory (times and flows, caller-owned arrays).
constexpr int kHydrographEntries = 5040;

// Reads the hydrograph table at path (fields TIME N 5 and INFLOW N 13.5) into the arrays of
// kHydrographEntries entries, clearing them first: the records in physical order, at most
// kHydrographEntries. A missing table is created with kHydrographEntries zero records.
// 0 on success, 1 on failure after a message (a missing folder, a damaged table).
int dbfOpenInflowHydrograph(char* path, int* times, double* flows);
// Writes the arrays as a new hydrograph table at path, replacing the file whole (through a
// temporary file). The entries written run to one past the last entry, among the first 5038,
// with a positive time and a flow above 0.00001; with none, 5039 entries. 0 on success, 1 on
// failure after a message naming the file (a missing folder, a value the fields cannot hold,
// a failed write).
int dbfSaveInflowHydrograph(char* path, int* times, double* flows);

// The design storm record, one per library, as its file holds it (little-endian).
#pragma pack(push, 1)
struct storm {
    std::int32_t format;            // 6 for the current file layout
    std::int32_t values[7];         // values[4]: the time step in minutes
    double depths[5];               // depths[3]: the total depth
    double intensities[1440];
    char name[184];
};
#pragma pack(pop)
static_assert(sizeof(storm) == 11776, "the design storm file record is 11776 bytes");

// Clears the seven values, the five depths, the first 200 intensities and the name; returns
// the record.
storm* dbfStorm();
// Loads the design storm file ("None": nothing is read). A file whose first 32-bit value is 6
// is the record whole; any other is the older 1032-byte layout (16-bit values, unaligned
// depths, 200 single-precision intensities, the name from byte 854), widened. After a read the
// total depth is recomputed from the intensities and the time step. A file that cannot be read
// whole is reported naming the file and leaves the record cleared. Returns the record.
storm* dbfStormReadStorm(char* path);
// Writes the whole record (11776 bytes) to path through a temporary file; true on success,
// false after a message naming the file and the reason.
bool dbfStormSaveStorm(char* path);

// ---------------------------------------------------------------------------------------------
// The SWMM 5 input file of the storm table (dbfStormGetSwmmFile)
//
// Every function here does nothing (the update gives 0) while the storm table, its settings
// object or its SWMM input object is missing. Only the network sections are written; every
// other line of the file (options, rain gauges, time series, comments, unknown sections) is
// kept as it was.

// Rewrites the junctions, outfalls, conduits, cross-sections and coordinates from the storm
// table, walked in NODE order, and (with preserve false) each record's subcatchment. With
// preserve false the link types, outlet offsets, shapes and subcatchments are derived afresh
// from the design; with preserve true the SWMM values already in the table are used where
// present. 1 when the file was written; 0 when an object is missing, a record has no node name
// ("Record %d has no Node name.", the file and the table left untouched) or the save failed.
int dbfSwmmUpdateFileFromDB(bool preserve);
// Writes the subcatchment (with its subarea and infiltration lines) of the current record.
void UpdateSwmmSubcatchments();
// Node lines by node type: "Junction" lines live in INFLOWS, "Outfall", "Divider" and
// "Storage" lines in OUTFALLS, DIVIDERS and STORAGE. Delete removes the node's line (other
// than a junction's, it is kept in the section's "_DEL" holding section); restore moves a held
// line back. Rename gives the node's line in a section the new name. Each saves the file when
// it changed a line.
void dbfSwmmRenameNode(const char* section, const char* oldName, const char* newName);
void dbfSwmmDeleteNode(const char* nodeType, const char* name);
void dbfSwmmRestoreNode(const char* nodeType, const char* name);
// Rewrites OUTLETS lines of the older FUNCTIONAL and TABULAR types as FUNCTIONAL/DEPTH and
// TABULAR/DEPTH (in memory; the update and the storm save write the file).
void dbfSwmmCheckOutletType();
// true when name is an overflow node: it contains "#OF" and the part before it names a record
// of the storm table. baseName (26 characters) receives that part, at most 25 characters. The
// table is left on record recno with the NODE tag selected.
bool dbfSwmmCheckOverflowNode(const char* name, int recno, char* baseName);
// The SWMM version the host reports; 0 until reported.
void dbfReportSwmmVersion(int version);
int dbfGetSwmmVersion();
