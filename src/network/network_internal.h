// What the network files share inside the library: the field and tag lists, the network's part
// of the library state (file names and open flags per kind), the fixed texts of each kind, and
// the helpers every family member goes through.
#pragma once

#include <string>

#include "database/network.h"
#include "platform/table.h"
#include "platform/wintypes.h"

namespace network {

// ---------------------------------------------------------------------------------------------
// Field and tag lists (network_lists.cpp), each ending with a null name.

extern const FIELD4INFO sewerFields[];
extern const FIELD4INFO stormFields[];
extern const FIELD4INFO erfFields[];
extern const FIELD4INFO crossFields[];
extern const TAG4INFO sewerTags[];
extern const TAG4INFO stormTags[];
extern const TAG4INFO erfTags[];
extern const TAG4INFO crossTags[];

// ---------------------------------------------------------------------------------------------
// Kinds

enum Kind { kSewer = 1, kStorm = 2, kErf = 3 };

// The fixed texts and file extensions of one kind.
struct KindInfo {
    Kind kind;
    const FIELD4INFO* fields;
    const TAG4INFO* tags;
    // saved files: the table's own extension (null: the path as passed), index, settings,
    // hydrograph, SWMM input (null where the kind has none)
    const char* savedTableExt;
    const char* savedIndexExt;
    const char* savedSettingsExt;
    const char* savedHydroExt;
    const char* savedSwmmExt;
    // work files
    const char* workTableExt;
    const char* workIndexExt;
    const char* workSettingsExt;
    const char* workHydroExt;
    const char* workSwmmExt;
    const char* backupExt;
    const char* lockExt;          // null: no lock file
    const char* defaultSettings;  // in the library's folder; null: none
    // texts
    const char* noTable;          // "No sewer database"
    const char* createFailed;     // "... error code is %d"
    const char* reuseQuestion;
    const char* creatingWork;
    const char* openingWork;
    const char* openFailed;
    const char* checkingDeleted;
    const char* removeDeletedAtClose;
    const char* removingDeleted;
    const char* saveQuestion;
    const char* savingChanges;    // dbfXSaveFile
    const char* savingAs;         // dbfXSaveFileAs
    const char* removeDeletedQuestion;   // dbfXRemDelRec
};

const KindInfo& kindInfo(Kind kind);

// The files of an open (or last opened) table of one kind.
struct KindFiles {
    char savedTable[MAX_PATH] = {};
    char savedIndex[MAX_PATH] = {};
    char savedSettings[MAX_PATH] = {};
    char savedHydro[MAX_PATH] = {};
    char savedSwmm[MAX_PATH] = {};
    char workTable[MAX_PATH] = {};
    char workIndex[MAX_PATH] = {};
    char workSettings[MAX_PATH] = {};
    char workHydro[MAX_PATH] = {};
    char workSwmm[MAX_PATH] = {};
};

// The network's part of the library state. The sewer and storm table handles, settings objects
// and the SWMM input object live in DBFSTATE; the erf-connection table has none there.
struct KindState {
    KindFiles files;
    bool open = false;
};

struct NetworkState {
    KindState sewer;
    KindState storm;
    KindState erf;
    DATA4* erfTable = nullptr;
    ::storm designStorm{};          // the design storm record (dbfStorm)
    int swmmVersion = 0;          // the SWMM version the host reported (0 until then)
};

// The network state (registered with the frame's reset on first use).
NetworkState& networkState();
KindState& kindState(Kind kind);

// The open table of a kind, or none. The settings object a kind's display texts and link
// tables use (erf connections use the sewer settings); none when missing.
DATA4* kindTable(Kind kind);
void setKindTable(Kind kind, DATA4* data);
TINIFile* kindSettings(Kind kind);

// The open table, or none after the kind's "No ... database" message.
DATA4* requireTable(Kind kind);

// ---------------------------------------------------------------------------------------------
// Lifecycle of a kind (lifecycle.cpp)

DATA4* openKind(Kind kind, const char* path);
void closeKind(Kind kind, bool ask);
DATA4* saveKind(Kind kind);
bool saveKindAs(Kind kind, char* path);

// ---------------------------------------------------------------------------------------------
// Helpers

// A file of the library's own folder (the default settings and SWMM input).
std::string libraryFile(const char* name);

// The status line: one text shown (with the wait cursor), and nothing shown.
void showStatus(const char* text);
void clearStatus();
// Messages owned by the main frame.
void showError(const char* text);
bool askYesNo(const char* question);

// The field's text without trailing blanks; false (out empty) for a field the table lacks.
bool fieldText(DATA4* data, const char* name, std::string& out);
// The three link numbering fields hold whole numbers with leading zeros.
bool isNumberedField(const char* name);
// A numbered field's text read as a number: blanks and leading zeros trimmed, the rest
// converted (0 when nothing is left).
int numberedValue(const char* text);
// Field reads that give 0 for a field the table lacks.
int fieldInt(DATA4* data, const char* name);
double fieldDouble(DATA4* data, const char* name);
// Writes a number into a numbered field, zero-padded to the field's length.
void assignNumbered(FIELD4* field, int value);

// ---------------------------------------------------------------------------------------------
// Structure check

struct CheckOptions {
    const char* indexExt;     // the index file: the table path with this extension
    const char* backupExt;    // the backup while restructuring
    bool leadingZeros;        // run the leading-zero check of the link numbering fields
};

// Opens the table at path with the context's switches cleared, creating it when missing,
// rebuilding it from a backup when defined fields are missing or differ, and creating or
// completing and rebuilding its index file. The open handle, or none after a message.
DATA4* openAndCheck(CODE4* code, const char* path, const FIELD4INFO* fields,
                    const TAG4INFO* tags, const CheckOptions& options);
// The same for a network table of a kind, on the shared context.
DATA4* openAndCheckKind(const char* workTable, Kind kind);
// Rewrites SUBNET, BRANCH and LINKNO of every record with leading zeros when the first record
// shows they lack them.
void leadingZeroCheck(DATA4* data);

// ---------------------------------------------------------------------------------------------
// Settings

// The category of a link type: 100 Pipe, 101 Box, 102 Portal, 103 Custom, 104 Reservoir,
// 105 Open Drain, 106 Pump, 107 Rising Main, 999 anything else.
int linkCategory(TINIFile* settings, const char* linkType);
// Design Parameters/Inflow Method is "SWMM" and Use Link Tables for SWMM is 0.
bool swmmDisplayMode(TINIFile* settings);

}  // namespace network
