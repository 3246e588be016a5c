// The library frame: start-up and shut-down, the status line, progress and cancel, the host's
// callbacks, project file names, lock files, the road design settings, fences, grid and contour
// records, file boxes, and a few small helpers (names, angles, interpolation).
//
// Every function here is safe to call before initDbfAPI: boxes then go to the platform's
// default UI and the drawing window's services are skipped.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "database/records.h"
#include "platform/cad.h"
#include "platform/ui.h"

class CCadWindow;
class CRoadWnd;
class COXShortcutBar;    // the host's shortcut bar: an opaque host object the display uses
class INI_LIST;
struct LinkRecord;

// ---------------------------------------------------------------------------------------------
// Start-up and shut-down

// Starts the library with the host's main frame, drawing window and shortcut bar: sizes the
// terrain block cache from physical memory and Global/DTMRam (25..50 percent, at least 250
// slots), reads the pens, opens the sewer and storm settings files and the storm model input
// beside the library, reads Roads/MaxRoads and Global/ToolTips. When the cache cannot be had it
// says so, destroys the main frame and leaves the library unstarted.
void initDbfAPI(CMDIFrameWnd* mainFrame, CCadWindow* cadWindow, COXShortcutBar* shortcutBar);
// Ends the library: closes the network tables still open, deletes the settings file objects
// and the storm model list, undoes the table context. The cache stays until the library unload.
void unInitDbfAPI();
// Whether initDbfAPI succeeded and unInitDbfAPI has not run since.
bool dbfIsInitialised();

// The road window: created once and returned on every later call. Null while the road window
// subsystem has not installed itself, or when its frame cannot be created.
CRoadWnd* createRoadWnd(int ratioView, int mode);

// The library's file version, or "Unknown".
const char* dbfGetAppVersion();

// The host's current interactive command and the spread type it carries.
void dbfSetSpreadType(char type);
char dbfGetSpreadType();
void dbfSetCurrentClass(void (*current)(void));
bool dbfKillCurrentClass();

// The question with Yes, No and Yes to All: 1 Yes, 0 No (or closed), 2 Yes to All.
int dbfYesToAllMessagebox(const char* prompt, const char* caption);

// ---------------------------------------------------------------------------------------------
// Status line, progress and cancel

// Status modes of dbfDispStatus.
constexpr int kStatusPush = 1;        // push the text (at most 5 deep)
constexpr int kStatusPop = 2;         // drop the top text
constexpr int kStatusReset = 3;       // only the text (none when null)
constexpr int kStatusResetBusy = 4;   // as kStatusReset, with the wait cursor
constexpr int kStatusClear = 5;       // nothing shown, no wait cursor

// The status-line stack: the top text is shown and the prompt held while the stack is not
// empty. Pumps pending messages at the end.
void dbfDispStatus(const char* text, int mode);
// The progress bar: position out of total with the text; a total below 1 clears it.
void dbfDispGraph(int position, int total, const char* text);
// Pumps messages and checks the Escape key; the abort flag, once set, stays set. Returns it.
int dbfCheckEscape(int& abort, int option);
// Pumps every waiting message; true when the application is quitting.
bool dbfPumpMessages();

// The progress step of a long operation over total items: max(floor(total x 0.01), 1).
int dbfProgressStep(long total);

// ---------------------------------------------------------------------------------------------
// Host callbacks (null removes)

void dbfSetRedrawHook(void (*hook)(_bsRECT* rect));
void dbfSetErrorRedrawHook(void (*hook)(_bsRECT* rect));
// Installs the library's error-marker redraw as the error redraw hook while error markers
// exist, and removes it otherwise.
void dbfSetErrorHook();
void dbfSetApplyTemHook(void (*hook)(FILE* stream));
void dbfSetBatterHook(void (*hook)(FILE* stream), const char* topStringName);
void dbfSetFeaturesHook(void (*hook)(FILE* stream));
void dbfRillmarSetDataHook(bool (*hook)(void* unused, LinkRecord& record, bool first,
                                        char* cache, char* unused2));

// ---------------------------------------------------------------------------------------------
// Small utilities

// Copies at most 16 characters of the source without leading and trailing blanks; the
// destination holds at least 17 characters.
void dbfNameCopy(char* destination, const char* source);
// Trims both names in place; 1 when they are then equal (case counts), else 0.
int dbfNameCmp(char* a, char* b);
// Reads and drops n text lines.
void dbfSkipLines(int n, FILE* stream);
// Rewinds the stream and reads up to the first line containing the text: 1, or 0 at the end.
int dbfSeekFlag(const char* text, FILE* stream);
// The project's hemisphere (projection library).
int dbfGetHemisphere();
// The display name of axis 0 (horizontal), 1 (vertical) or 2 (height); the short name is at
// most 9 characters. Both return the shared text buffer, overwritten by the next call.
char* dbfAxisName(int axis);
char* dbfShortAxisName(int axis);

// ---------------------------------------------------------------------------------------------
// File names and lock files

// Kinds of dbfFileName.
constexpr unsigned kFileProject = 2;      // "<project>.<ext>"
constexpr unsigned kFileProjectAlt = 4;   // the same
constexpr unsigned kFileRoad = 32;        // "<project>.<road>.<ext>", road = Global/RoadId
constexpr unsigned kFileRoadSec = 256;    // "<project>.<ext>.sec"
constexpr unsigned kFileRoadDes = 512;    // "<project>.<ext>.des"
constexpr unsigned kFileRoadStr = 768;    // "<project>.<ext>.str"
// Kinds of dbfWorkFileName.
constexpr unsigned kWorkTerrain = 1024;
constexpr unsigned kWorkRoad = 32;
constexpr unsigned kWorkRoad2 = 33;

// Builds a data file name of the current project into buffer (MAX_PATH characters); with
// inWorkFolder, in the work folder when one is set. An unknown kind says "Illegal file open"
// and leaves the buffer unchanged.
void dbfFileName(char* buffer, const char* extension, unsigned kind, int inWorkFolder = 0);
// The current work file of a kind (MAX_PATH characters); empty for another kind.
void dbfWorkFileName(char* buffer, unsigned kind);
// Sets the work file name of a kind (the terrain and road initialisation); other kinds are
// ignored.
void dbfSetWorkFileName(unsigned kind, const char* name);
// 1 when the caller may use the data file and now holds its lock file, 0 (after a message)
// when it is in use from another machine or by another user, or the lock cannot be written.
int dbfCheckLockStatus(const char* dataFile, const char* lockExtension);

// ---------------------------------------------------------------------------------------------
// The current road's design settings file ("<project>.<road>.des")

INI_LIST* dbfGetDesFile();
void dbfResetDesFile();
void dbfGetRoadDefault(const char* section, const char* key, const char* def, char* buffer,
                       int size);
int dbfGetRoadDefaultInt(const char* section, const char* key, int def);
double dbfGetRoadDefaultDouble(const char* section, const char* key, double def);
void dbfSetRoadDefault(const char* section, const char* key, const char* value);
void dbfSetRoadDefaultInt(const char* section, const char* key, int value);
void dbfSetRoadDefaultDouble(const char* section, const char* key, double value);
void dbfDeleteRoadSection(const char* section);

// Starts a new project in the folder (program setting Main/JobPath).
void dbfNewProject(const char* folder);

// ---------------------------------------------------------------------------------------------
// Fences, grid and contour records

// Loads the named fence from the job settings into the polygon; an open fence or one of fewer
// than 3 vertices gives an empty polygon. Returns the number of vertices kept.
int dbfGrabFence(const char* name, std::vector<PNT_2D_record>& polygon);
// Adds the fence names to the combo box; returns how many.
unsigned dbfFenceCombo(CComboBox* combo);

constexpr int kGridHeaderBytes = 62;
constexpr int kGridSide = 41;                         // a grid record holds 41 x 41 values
constexpr int kGridRecordBytes = 32 + kGridSide * kGridSide * 4;
// Reads the grid file's header (62 bytes); 0 after a message when there is no grid file.
int dbfReadGridHeader(void* header);
// Reads grid record (from 1): its limits and its 41 x 41 values.
int dbfReadGrid(unsigned record, std::int32_t* grid, RRect* limits);

constexpr int kContourHeaderBytes = 52;
constexpr int kContourLineBytes = 27;   // the u16 at offset 1 is the line's point count
int dbfStoreContourHeader(const void* header, FILE* stream);
int dbfReadContourHeader(void* header, FILE* stream);
// Writes the line record and then the polygon's vertices; 1 on success.
int dbfStoreContour(const void* lineRecord, const std::vector<PNT_2D_record>& polygon,
                    FILE* stream);
// Reads a line record and its vertices into the polygon; 1 on success, 0 at the end or on a
// short read.
int dbfReadContour(void* lineRecord, std::vector<PNT_2D_record>& polygon, FILE* stream);

// ---------------------------------------------------------------------------------------------
// File boxes (the first folder is the one last used for the extension, job settings
// "File Paths")

int dbfSelectOpenFile(char* buffer, int size, const char* title, const char* description,
                      const char* extension, int forceExtension);
int dbfSelectOpenFile(char* buffer, int size, const char* title, const char* description1,
                      const char* extension1, const char* description2, const char* extension2);
// buffer holds at least MAX_PATH characters.
int dbfSelectSaveFile(char* buffer, const char* title, const char* description,
                      const char* extension, int forceExtension);

// ---------------------------------------------------------------------------------------------
// Names, angles, interpolation

// Replaces a point name by the next one: "P12" -> "P13", "A007" -> "A8", "A1B" -> "A2".
void dbfIncrString(char* name);
// The angle from b to a in radians, 0..2 pi.
double dbfAngleSubtract(double a, double b);
// e1 + (e2 - e1) x distance / length; e1 when the length is zero.
double dbfInterpolateEle(double e1, double e2, double length, double distance);

// ---------------------------------------------------------------------------------------------
// What start-up found, for a host that reports it

struct DBFLIBRARYINFO {
    std::uint32_t cacheSlots = 0;        // block cache slots
    int cachePercent = 0;                // the share of the physical memory they were sized from
    std::uint64_t physicalMemory = 0;    // bytes, as the system reported them
    std::string sewerSettingsPath, stormSettingsPath, stormModelPath;
    bool sewerSettings = false, stormSettings = false, stormModel = false;   // whether each was loaded
    int maxRoads = 0;                    // valid road numbers are 1..maxRoads
};
// Fills info from the library's state; 0 (info left as it was) when the library is not started.
// Shows no message.
int dbfLibraryInfo(DBFLIBRARYINFO& info);
