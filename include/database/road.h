// The road design database: one road file per road, holding the road's chainages and, under each
// chainage, up to 128 layers (each a layer record with a cross-section stored as a chain of
// six-point section records) and one record of extra data.
//
// The road file is a run of 568-byte records and nothing else: record i lies at byte i x 568,
// record 0 is the header (SECHEAD), records 1 onward are data records that all start with the
// same 17-byte head (type, chainage, prev, next). The header's record count is always the number
// of records in the file, so the file is always count x 568 bytes long. A record index of 0 in a
// link means "none". Deleting a record moves the file's last record into the freed slot and
// repairs every reference to it, so the file never holds a free record.
//
// While a road is open the library works on a work copy ("rbk" in the work folder) and copies it
// back over the saved file ("sec") only when the user agrees to save at close; the road's strings
// file travels with it ("sbk" and "str"). Other code may read any road file beside the open one
// through the view functions, which keep their cursor in the caller's SECHEAD and never write.
//
// Chainages are metres rounded to millimetres (dbfRoundChg) before they are stored or compared.
// Functions never throw; damaged files give their messages and results and never loop: every
// walk of the links is bounded by the records the file holds, and a step that does not go on in
// chainage order is damage. A chainage or position that is NaN or infinite is refused with
// "Chainage nan is not a finite number" (and its kin) and the function's failure result. Every
// write is flushed and checked; a failure names the file and the reason.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/ui.h"
#include "platform/wintypes.h"

static_assert(std::endian::native == std::endian::little,
              "the road file records are laid out for a little-endian host");

// ---------------------------------------------------------------------------------------------
// File records

constexpr int kRoadRecordBytes = 568;
constexpr int kRoadLayers = 128;              // layers 1..128
constexpr short kRoadLayerFromStrings = 129;  // the layer number of "<From Strings>"
constexpr int kSectionRecordPoints = 6;       // points in one section record
constexpr int kSectionCapacity = 200;         // points of an in-memory cross-section

// Record types of the data records.
constexpr BYTE kRecChainage = 1;
constexpr BYTE kRecLayer = 2;
constexpr BYTE kRecSection = 3;
constexpr BYTE kRecExtra = 4;

// Chainage kinds (CHGBASE::kind): ordinary chainages and the curve points named by the labels.
constexpr BYTE kChgOrdinary = 0;
constexpr BYTE kChgTransitionStart = 1;   // BTC
constexpr BYTE kChgCurveStart = 2;        // BC
constexpr BYTE kChgCurveEnd = 3;          // EC
constexpr BYTE kChgTransitionEnd = 4;     // ETC
constexpr BYTE kChgOrdinary2 = 6;

#pragma pack(push, 1)

// Record 0.
struct SECHEAD {
    BYTE edited;                  // 1 once changed since the last dbfRoadReset
    double lastChainage;          // the chainage most recently inserted or matched by insertion
    DWORD current;                // the cursor: the current chainage record, 0 while none
    DWORD recordCount;            // records in the file, header included
    BYTE reserved1;
    char tag[60];                 // random characters made at creation, never changed
    BYTE reserved2[490];
};

// The head every data record starts with.
struct ROADRECHEAD {
    BYTE type;                    // kRecChainage .. kRecExtra
    double chainage;
    DWORD prev;                   // chainage: previous chainage; layer, extra: the owner;
                                  // section: previous piece (the layer record for the first)
    DWORD next;                   // chainage: next chainage; layer: first section; section: next
};

// A chainage record. In memory x and y are project coordinates; in the file the two fields hold
// latitude (x) and longitude (y).
struct CHGBASE {
    BYTE type;                    // kRecChainage
    double chainage;
    DWORD prev;                   // smaller chainage, 0 at the start of the road
    DWORD next;                   // greater chainage, 0 at the end of the road
    BYTE reserved1[4];
    BYTE kind;                    // kChgOrdinary, the curve points 1..4, kChgOrdinary2, others
    WORD number;                  // shown after the label of kinds 1 to 4
    std::int16_t skew;            // whole degrees; 0 = square to the centre line
    DWORD extra;                  // the extra record, 0 if none
    DWORD layers[kRoadLayers];    // layers[L-1]: the layer record of layer L, 0 if none
    double x;
    double y;
    BYTE hidden;                  // skipped by searches and steps that do not ask for hidden ones
    BYTE reserved2[9];
};

// A layer record. The library itself touches only the head and pointCount; the rest belongs to
// the host, which fills it.
struct LAYBASE {
    BYTE type;                    // kRecLayer
    double chainage;
    DWORD prev;                   // the owning chainage record
    DWORD next;                   // the first section record, 0 if the layer has no points
    BYTE reserved1[2];
    WORD flags[6];
    float values[8];
    WORD pointCount;              // points of the layer's cross-section (dbfStoreSect)
    float values2[4];
    BYTE flag81;
    BYTE owner[486];
};

// One stored point of a section record.
struct SECTPOINT {
    float offset;
    float elevation;
    BYTE idNo;                    // the low 8 bits of the whole identity number
    std::int8_t marker;
};

// A piece of a layer's cross-section: up to six points.
struct SECTREC {
    BYTE type;                    // kRecSection
    double chainage;
    DWORD prev;                   // the previous piece, the layer record for the first
    DWORD next;                   // the next piece, 0 for the last
    std::int16_t layer;           // 1..128
    std::int16_t count;           // points in this piece, 1..6
    BYTE reserved[487];
    SECTPOINT points[kSectionRecordPoints];
};

// The extra record of a chainage: everything after the head belongs to the host.
struct CHGDATA {
    BYTE type;                    // kRecExtra
    double chainage;
    DWORD prev;                   // the owning chainage record
    DWORD next;                   // reserved, 0
    BYTE data[551];
};

#pragma pack(pop)

static_assert(sizeof(SECHEAD) == kRoadRecordBytes, "the road file header is one record");
static_assert(offsetof(SECHEAD, current) == 9 && offsetof(SECHEAD, recordCount) == 13 &&
                  offsetof(SECHEAD, tag) == 18 && offsetof(SECHEAD, reserved2) == 78,
              "road file header field offsets");
static_assert(sizeof(ROADRECHEAD) == 17, "the head of a data record is 17 bytes");
static_assert(sizeof(CHGBASE) == kRoadRecordBytes, "a chainage record is one record");
static_assert(offsetof(CHGBASE, kind) == 21 && offsetof(CHGBASE, number) == 22 &&
                  offsetof(CHGBASE, skew) == 24 && offsetof(CHGBASE, extra) == 26 &&
                  offsetof(CHGBASE, layers) == 30 && offsetof(CHGBASE, x) == 542 &&
                  offsetof(CHGBASE, y) == 550 && offsetof(CHGBASE, hidden) == 558,
              "chainage record field offsets");
static_assert(sizeof(LAYBASE) == kRoadRecordBytes, "a layer record is one record");
static_assert(offsetof(LAYBASE, flags) == 19 && offsetof(LAYBASE, values) == 31 &&
                  offsetof(LAYBASE, pointCount) == 63 && offsetof(LAYBASE, values2) == 65 &&
                  offsetof(LAYBASE, flag81) == 81 && offsetof(LAYBASE, owner) == 82,
              "layer record field offsets");
static_assert(sizeof(SECTPOINT) == 10, "a stored section point is 10 bytes");
static_assert(sizeof(SECTREC) == kRoadRecordBytes, "a section record is one record");
static_assert(offsetof(SECTREC, layer) == 17 && offsetof(SECTREC, count) == 19 &&
                  offsetof(SECTREC, points) == 508,
              "section record field offsets");
static_assert(sizeof(CHGDATA) == kRoadRecordBytes, "an extra record is one record");

// ---------------------------------------------------------------------------------------------
// In-memory cross-sections

// One point of a cross-section.
struct SECTMEM {
    double offset;                // from the centre line, negative to the left
    double elevation;
    double idNo;                  // a whole identity number
    signed char marker;           // +-100, +-101, +-103, +-104 mark special points
};

// The cross-section of one layer at one chainage.
struct XSECTION {
    std::int16_t count;           // points in use
    std::int16_t capacity;        // always kSectionCapacity
    double chainage;
    SECTMEM points[kSectionCapacity];
};

// A chainage value through a reference: "nothing found", and the start before the first chainage.
constexpr double kChgNotFound = 2147483647.0;
constexpr double kChgBeforeFirst = -2147483647.0;

// ---------------------------------------------------------------------------------------------
// Life cycle (road file format and work copies)

// Opens (open nonzero) the road named by job setting Global/RoadId unless one is open, or closes
// the open road (open 0), offering to save. quiet suppresses the status texts and leaves the
// road window alone. A save at the close replaces each saved file whole or not at all; when it
// fails, a message names the file and the reason, the saved files stay as they were, and the
// work copies are kept (not deleted) for the recovery offered at the next open.
void dbfRoadInit(int open, int quiet);
int dbfRoadIsOpen();
// Opens the strings work file and the road work file, then upgrades the design settings file.
// 0 only when the road work file cannot be opened or created.
int dbfRoadOpen();
// Opens (or creates) a road file for update, closing the one open. 1 on success. A file whose
// header disagrees with its length, or whose cursor names no sound chainage record, is refused
// with "Corruption detected in road file header" (or "... data") before anything is written.
int dbfRoadOpenFile(const char* path);
// Writes the header and closes the road file and the strings file: 0 once closed.
int dbfRoadClose();
// 1, after its message, once the road file was refused when opened (damaged, or it could not be
// opened or created), or the open one was found damaged or a write to it failed: nothing more
// is written to it and its work copy is not offered for saving. Cleared by the next open.
int dbfRoadFileFailed();
// 1 when the road work file or the strings work file carries its edited mark.
int dbfRoadEdit();
// Clears the edited marks of both work files. 0 when either cannot be written.
int dbfRoadReset();
// Opens any road file for reading and reads its header; null on failure.
FILE* viewRoadOpenFile(const char* path, SECHEAD& head);
// Closes a view handle (null allowed); returns null.
FILE* viewRoadClose(FILE* f);

// Road state flags.
int dbfRoadGetBusyFlag();
void dbfRoadSetBusyFlag(int busy);
int dbfRoadChangeOrExit();
int dbfRoadGetChangeFlag();
void dbfRoadSetChangeFlag(int change);
void dbfRoadGetSkewFlags(int& first, int& second);
void dbfRoadSetSkewFlags(int first, int second);
int dbfRoadGetWizardFlag();
void dbfRoadSetWizardFlag(int wizard);
// 1 when field step + 1 of job setting Roads/AutoList reads as 0 (a missing field reads as 0).
int dbfRoadIsProcessDone(int step);

// ---------------------------------------------------------------------------------------------
// Chainage index

// floor(c x 1000 + 0.5) / 1000.
double dbfRoundChg(double chg);
// The first chainage at or after chg (the last one when chg is beyond all), made current; chg
// becomes its rounded chainage. withHidden 0 moves off hidden chainages. 0 when none.
unsigned dbfFindChainage(double& chg, int withHidden);
unsigned dbfNextChainage(double& chg, int withHidden);
unsigned dbfPrevChainage(double& chg, int withHidden);
// Makes sure a chainage record exists for chg, leaves it current and copies it into rec.
unsigned dbfInsertChainage(double chg, CHGBASE* rec);
// Read and write a chainage record with its position in project coordinates.
int dbfGrabChg(unsigned idx, CHGBASE* rec);
int dbfStoreChg(unsigned idx, CHGBASE* rec);
// Deletes the chainage with its extra, layer and section records. 0 when none matches.
int dbfDelChainage(double chg);

unsigned viewFindChainage(double& chg, int withHidden, FILE* f, SECHEAD& head);
unsigned viewNextChainage(double& chg, int withHidden, FILE* f, SECHEAD& head);
unsigned viewPrevChainage(double& chg, int withHidden, FILE* f, SECHEAD& head);
int viewGrabChg(unsigned idx, CHGBASE* rec, FILE* f);

// ---------------------------------------------------------------------------------------------
// Layer, section and extra records (at the current chainage; chg must match it)

// The layer record; a layer without one gets a blank record in the file.
int dbfGrabLayer(double chg, short layer, LAYBASE* rec);
// Writes over the existing layer record (its links are kept). 0 when there is none.
int dbfStoreLayer(double chg, short layer, LAYBASE* rec);
// Zeroes the layer's settings and point count; the section records stay.
void dbfResetLayerFlags(double chg, short layer, LAYBASE* rec);
int dbfGrabSect(double chg, short layer, XSECTION* xs);
// Stores the cross-section at chg, inserting the chainage and the layer record when missing.
int dbfStoreSect(double chg, short layer, XSECTION* xs);
int dbfGrabExtra(double chg, CHGDATA* rec);
int dbfStoreExtra(double chg, CHGDATA* rec);
// dbfGrabSect on a view handle at the chainage head.current.
int viewGrabSect(double chg, short layer, XSECTION* xs, FILE* f, SECHEAD& head);

// ---------------------------------------------------------------------------------------------
// Chainage names, equations and layer names

// The name of a chainage: "12+045" style for ordinary chainages, label and number ("BC3") for
// curve points, with withChainage "BC3: 12+45.25". At most size - 1 characters.
void dbfChgName(char* text, int size, CHGBASE& chg, int numberBase, int decimals,
                CString separator, int withChainage);
// Apply and undo the chainage equations (design settings section "LongShort").
double dbfChgEquation(double chg);
double dbfEquationChg(double chg);
// Reloads the chainage equations from the open road's design settings (opening does this).
void dbfRoadLoadEquations();
// The name of layer 1..128 ("No Layer" otherwise) into name (26 characters); returns name.
// roadId 0: the open road; another number reads that road's design settings file.
char* dbfRoadLayerName(char* name, short layer, int roadId);
// The layer of a name (trimmed in place): 129 for "<From Strings>", else the first layer of
// that name ignoring case, else 1.
short dbfRoadLayerNumber(char* name);
// select >= 1 fills the box and selects that layer; 0 reads the selected layer; < 0 selects.
int dbfRoadLayerBox(CComboBox* box, int select, int roadId);
