// The strings file: named, hierarchical 3-D polylines.
//
// A strings file holds one family of strings: a root string (named like the file's string) and
// the strings derived from it, linked into a tree by first-child and second-child links. The
// file is a 12-byte file header followed by record slots of 3922 bytes, back to back: each slot
// is a 222-byte string header and room for 50 vertex records of 74 bytes. A string of more than
// 50 vertices continues in sections named base-1, base-2, ... chained by next-section and
// previous-section names. A deleted string's slot is named "_deleteme" and reused by the next
// header added; files only grow at the end.
//
// Files are reached in one of two ways: the library's own strings file (dbfStringOpenFile, kept
// open until dbfStringCloseFile, which the road close calls, or the next dbfStringOpenFile), or
// a stream the caller opened itself (viewStringOpenFile) and passes to each call. Wherever a
// function takes a stream, null means the library's own strings file.
//
// Positions are the byte offsets of a slot's header in the file (the first slot is at 12); 0
// means "not found". Names are at most 31 characters and compare byte by byte, case counts.
//
// Functions never throw. Opening a file checks it first (its version, its count against the
// slots its length holds, every slot's names terminated and its vertices within the file) and
// refuses a damaged one with "Corruption detected in the strings file <name>" and the reason,
// before anything is written. What the check cannot see (a section or child chain that loops by
// name) ends the walk where it stops making sense. Every write is flushed and checked; a failure
// is reported with the file's name and the reason and the function returns its failure result.
// Reals that are no numbers are not written.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "database/records.h"
#include "platform/core.h"
#include "platform/ui.h"
#include "platform/wintypes.h"

static_assert(std::endian::native == std::endian::little,
              "the strings file records are laid out for a little-endian host");

// ---------------------------------------------------------------------------------------------
// File records

#pragma pack(push, 1)

// The 12 bytes at the start of every strings file.
struct STR_FILEHEADER {
    BYTE changed;               // 0 in a new file, '1' once a header was added or a string deleted
    std::int16_t version;       // 64
    std::int16_t count;         // live strings (headers not named "_deleteme")
    WORD surface;               // terrain surface of the string vertices; 0 = not yet chosen
    float interval;             // coordinate interval
    BYTE closed;                // non-zero: the string is closed
};

// The header of one slot.
struct STR_HEADER {
    char name[32];              // "_deleteme" marks a free slot
    char note[32];              // carried unchanged
    char kind[8];               // carried unchanged ("LINE" in a new header)
    std::int16_t vertexCount;   // vertex records used in this slot, at most 50
    BYTE reserved1;
    BYTE reserved2;
    BYTE needsRecalc;           // the strings derived from this one must be recalculated
    char firstChild[32];
    char secondChild[32];
    char previousSection[32];   // in a continuation section: the slot before it in the chain
    char nextSection[32];       // the continuation section after this slot
    std::int32_t boxMinX;       // floor of the smallest x of this slot's vertices
    std::int32_t boxMinY;
    std::int32_t boxMaxX;       // ceiling of the largest x
    std::int32_t boxMaxY;
    BYTE selected;              // this is the job's selected string
};

// One vertex as stored in a slot.
struct STR_VERTEX {
    double chainage;            // distance along the string; the order of a vertex list
    double x;                   // plan position (x north-south, y east-west)
    double y;
    double z;                   // level
    float offset;               // horizontal offset from the parent string; 9999 = not set
    float rise;                 // height difference used with the slope
    float slope;                // per cent; 0 = none
    float spareValue;           // not interpreted here (9999 in a new vertex)
    double spareNumber;         // not interpreted here
    char vertexKind;            // ' ' ordinary, 'x' hidden segment, 'i' kept, 'z' no slope offset
    BYTE isolated;              // non-zero: the polyline is broken at this vertex
    DWORD pointRef;             // terrain point number of this vertex; 0 = none
    double vertexRef;           // -999999.999 = none
    float skew;                 // radians added to the perpendicular when offset from the parent
};

#pragma pack(pop)

static_assert(sizeof(STR_FILEHEADER) == 12, "the strings file header is 12 bytes");
static_assert(offsetof(STR_FILEHEADER, surface) == 5 && offsetof(STR_FILEHEADER, interval) == 7 &&
                  offsetof(STR_FILEHEADER, closed) == 11,
              "strings file header field offsets");
static_assert(sizeof(STR_HEADER) == 222, "a string header is 222 bytes");
static_assert(offsetof(STR_HEADER, vertexCount) == 72 && offsetof(STR_HEADER, needsRecalc) == 76 &&
                  offsetof(STR_HEADER, firstChild) == 77 && offsetof(STR_HEADER, nextSection) == 173 &&
                  offsetof(STR_HEADER, boxMinX) == 205 && offsetof(STR_HEADER, selected) == 221,
              "string header field offsets");
static_assert(sizeof(STR_VERTEX) == 74, "a string vertex record is 74 bytes");
static_assert(offsetof(STR_VERTEX, offset) == 32 && offsetof(STR_VERTEX, spareNumber) == 48 &&
                  offsetof(STR_VERTEX, vertexKind) == 56 && offsetof(STR_VERTEX, pointRef) == 58 &&
                  offsetof(STR_VERTEX, vertexRef) == 62 && offsetof(STR_VERTEX, skew) == 70,
              "string vertex field offsets");

constexpr int kStrFileHeaderBytes = 12;
constexpr int kStrHeaderBytes = 222;
constexpr int kStrVertexBytes = 74;
constexpr int kStrSlotVertices = 50;
constexpr int kStrSlotBytes = kStrHeaderBytes + kStrSlotVertices * kStrVertexBytes;   // 3922
constexpr int kStrVersion = 64;
constexpr int kStrNameChars = 31;
constexpr int kStrMaxFiles = 64;                 // "TerrainStrings"/"StrName1".."StrName64"
constexpr double kStrNoVertexRef = -999999.999;
constexpr float kStrNotSet = 9999.0f;
constexpr const char* kStrDeletedName = "_deleteme";

// ---------------------------------------------------------------------------------------------
// Vertices and vertex lists

// One string vertex in a UI_LIST: the stored record plus two flags that are never stored.
class CVertexEle : public UI_ELEMENT, public STR_VERTEX {
public:
    BYTE sectionBreak = 0;      // writing ends the current section before this vertex
    BYTE active = 1;            // 0: readers skip the vertex (a spike, a removed loop)

    CVertexEle();
    CVertexEle(const CVertexEle& other);
    explicit CVertexEle(const CVertexEle* other);
    CVertexEle& operator=(const CVertexEle& other);
    ~CVertexEle() override = default;

    // Copies the record and both flags (never the list links).
    void CopyVertex(const CVertexEle& other);
    STR_VERTEX& Record() { return *this; }
    const STR_VERTEX& Record() const { return *this; }

    // The following element; with all false the following active one (null when none).
    CVertexEle* Next(bool all) const;
    // The preceding active element, null when none.
    CVertexEle* Previous() const;

    void ResetVertexRef() { vertexRef = kStrNoVertexRef; }
    // Terrain points of a vertex: InsertEditDTM clears the point reference and returns 0;
    // DTMSurfaceChange and RemoveFromDTM change nothing.
    unsigned InsertEditDTM(WORD surface);
    unsigned DTMSurfaceChange(WORD oldSurface, WORD newSurface);
    void RemoveFromDTM(WORD surface);
    // The terrain point of the surface within 0.001 of the vertex (0 = none).
    unsigned PointRef(WORD surface);
    // Adds a terrain point with the name at the vertex on a valid surface; its number, or 0.
    unsigned MakeDTMPoint(const char* name, WORD surface);
};

// The order of vertex lists: by chainage, equal within |other| x 1e-12 + 1e-12. Both arguments
// are CVertexEle (the first an element of the list).
int dbfStringCompareFunc(void* element, void* other);

// ---------------------------------------------------------------------------------------------
// The accessor: the one object through which string operations reach a file. Created on first
// use and re-attached by every call that takes a stream and a file name; destroyed by
// dbfStringsClose and replaced by dbfStringsNew.

class CStringFile {
public:
    CStringFile(FILE* stream, const char* fileName);

    // Replaces the stream, re-reads the cached file header from the file (when there is one) and
    // replaces the file name when the given one is not empty.
    void Attach(FILE* stream, const char* fileName);
    // The stream in use: the attached one, or the library's own strings file when that is null.
    FILE* Stream() const;
    // The file name in use: the attached one, or the library's own when the stream is null.
    const char* FileName() const;
    // Writes the cached file header at offset 0 of the stream. 1 on success.
    int WriteHeader();

    STR_FILEHEADER header{};    // the cached file header (count and surface kept by add/delete)

private:
    FILE* stream_ = nullptr;    // null: the library's own strings file
    char fileName_[MAX_PATH] = {};
};

// The accessor, created for the stream and name when it does not exist, otherwise re-attached
// to them. Never null.
CStringFile* dbfStringAccessor(FILE* stream, const char* fileName);

// ---------------------------------------------------------------------------------------------
// Opening and closing

// Opens (or creates with a new file header) the library's own strings file, closing the one
// already open. 1 on success, 0 when the file cannot be opened or created, is damaged (after a
// message), or the old one closed.
int dbfStringOpenFile(const char* fileName);
// The library's own open strings file, null when none.
FILE* dbfStringFile();
// Closes the library's own strings file: destroys the accessor, rewinds and closes the stream
// (the road close does this). 1 when nothing is left open.
int dbfStringCloseFile();
// Opens an existing strings file for update and reads its file header; null when it cannot be
// opened or its header read, or it is damaged (after a message).
FILE* viewStringOpenFile(const char* fileName, STR_FILEHEADER& header);

void dbfStringsNew(FILE* stream, const char* fileName);
void dbfResetStringFile(FILE* stream, const char* fileName);
// Destroys the accessor if it exists. Returns 1.
int dbfStringsClose();
void dbfStringExport(FILE* stream, const char* fileName);

// ---------------------------------------------------------------------------------------------
// Headers

void dbfInitHeader(STR_HEADER& header);
// Writes the header over the slot of the same name, else into the first "_deleteme" slot, else
// at the end; recomputes its box from the vertices in that slot. The position, 0 on failure.
DWORD dbfAddStringHeader(STR_HEADER& header, FILE* stream, const char* fileName);
DWORD dbfGetStringHeader(const char* name, STR_HEADER& header, FILE* stream);
// The first slot that has the name as its first or second child.
DWORD dbfGetParentHeader(const char* name, STR_HEADER& header, FILE* stream);
// Follows first-child (firstSide non-zero) or second-child links from the name to the leaf.
DWORD dbfGetLeafHeader(int firstSide, const char* name, STR_HEADER& header, FILE* stream);
// The string drawn before the name: its parent, or for paired side strings the leaf of the
// other side.
DWORD dbfGetPreviousHeader(const char* name, STR_HEADER& header, FILE* stream);

// ---------------------------------------------------------------------------------------------
// Vertex data

// Stores the list (inactive elements skipped) as the data of the string at the position,
// opening continuation sections as needed and deleting the old ones. `count` is not used.
// 1 on success, 0 when the header cannot be read, a vertex holds a real that is no finite
// number (nothing is written then) or a write fails (both after a message). A failed write stops
// the store where it failed: the file keeps what it took up to there (the slot's records up to
// the failure, the old sections already marked deleted) and nothing is appended after it.
int dbfAddStringData(DWORD position, UI_LIST& list, int count, FILE* stream);
// Appends the string's vertices to the list: section 0 all sections, n >= 1 only the n-th (the
// string's own slot is section 1). Spikes come back inactive. 0 for a position below 12 or an
// unreadable header, else 1.
int dbfGetStringData(DWORD position, UI_LIST& list, int unused, int section, FILE* stream);

// ---------------------------------------------------------------------------------------------
// Deletion and renaming

// Marks the string and its continuation chain "_deleteme" and clears links to it. Returns 0.
int dbfDeleteString(const char* name, FILE* stream, const char* fileName);
// Deletes the whole subtree below the header's children.
void dbfDeleteChildren(STR_HEADER& header, FILE* stream, const char* fileName);
// Deletes the continuation chain of the named string.
void dbfDeleteSections(const char* name, FILE* stream);
// Renames a string in its strings file (and the file itself when the root is renamed); the new
// name is rewritten in place into its file-safe form. 1 on success, 0 otherwise. When the
// renamed file cannot be written, a message names it and the reason, the strings keep their old
// names in the old file, and the result is 0.
int dbfRenameString(const char* oldName, char* newName, const char* fileName);

// ---------------------------------------------------------------------------------------------
// File-header fields (read from and written to offset 0 of the stream)

void dbfSetStringClosed(FILE* stream, bool closed);
int dbfIsStringClosed(FILE* stream);
void dbfSetStringCrdInterval(FILE* stream, double interval);
float dbfGetStringCrdInterval(FILE* stream);
// The cached surface when it lies in 1..128, else 1.
WORD dbfStringGetSurface(FILE* stream);

// ---------------------------------------------------------------------------------------------
// Names, families and the job's strings files

// The name of the n-th continuation section: base (the whole name, or the part before its
// first '-') + "-n", at most 31 characters. `out` holds at least 32 characters.
void dbfGetSectionName(char* out, const char* name, int n, bool keepWholeName);
// Strings met following first-child links from the name (the name itself included). 0 for a
// null stream.
int dbfStringFamilySize(FILE* stream, const char* name);
// 1 (after "... is already defined as a string.") when a "TerrainStrings" entry has the name,
// compared without regard to case.
int dbfStringNameExists(const char* name);
// The file name rule: rewrites the name into its file-safe form in place (at least 32
// characters) and builds "<project path and name>.<name>.str" (MAX_PATH characters).
void dbfTerrainStringsFileName(char* name, char* fileName);
// The inverse: the text between the first and second full stop. 1, or 0 after a message.
int dbfGetStringNameFromFileName(const char* fileName, char* name);
// Registers a string in the job list; see the job settings "TerrainStrings" and "StrLines_".
int dbfAddTerrainStringCdp(const char* name, int slot);
// Makes sure the strings file of the name exists and is registered. 1 when it could be opened
// or created.
int dbfTerrainStringsFile(char* name, char* fileName);
// Fills the drop-down with the job's strings and their first-child families; the index of the
// item named like selectedName, -1 when none.
int dbfTerrainStringsBox(CComboBox* combo, const char* selectedName);

// ---------------------------------------------------------------------------------------------
// String geometry: the search by chainage, the geometric helpers and the derivation of child
// strings from their parents (string_geometry.cpp, string_recalc.cpp)
//
// A child vertex belongs to the parent vertex whose chainage equals its vertex reference;
// several consecutive child vertices may share one (a vertical step). An offset of 9999 means
// "not set": such a vertex takes offset, rise and slope from its neighbours. Directions are
// those of coreGetAngle (from +y turning towards +x); a positive offset lies to the right.
// Every "equal" and "zero" below is the library's tolerance rule (platform/tolerance.h).

// True when an offset means "not set" (9999 within the tolerance).
bool dbfOffsetNotSet(double offset);

// The index of the vertex at the chainage (found = 1 when it is active) or of the nearest active
// vertex after it. Chainages compare truncated to the millimetre. -1 for a null list or one of
// fewer than two vertices.
int dbfBinarySearch(UI_LIST* list, double chainage, int& found);
// The point at the offset from the vertex, square to its string (on the bisector at a corner,
// mitred when both chainages are equal unless noMitre or the kind is 'z'), turned by skew. The
// offset is interpolated between (chainageA, offsetA) and (chainageB, offsetB).
PNT_2D_record dbfOffsetCoord(const CVertexEle& vertex, double chainageA, double offsetA, double chainageB,
                             double offsetB, char vertexKind, double skew, bool noMitre);
// Distance from P to the line A-B; foot of the perpendicular, side (negative on the right) and
// the parameter t of the foot along A-B.
double dbfDistToLine(const PNT_2D_record& a, const PNT_2D_record& b, const PNT_2D_record& p, PNT_2D_record& foot,
                     double& side, double& t);
// 1 when P lies to the right of the string, -1 to the left, 0 on it or when no segment serves.
int dbfPntRHSofString(UI_LIST* list, const PNT_2D_record& p, int closed);
// The first crossing of a segment of list 1 (from the segment starting at fromIndex while its end
// is below toIndex) with a segment of list 2. found = 1 with index1 the crossing segment's end in
// list 1 and index2 its start in list 2; otherwise found, index1 and index2 are 0.
PNT_2D_record dbfStringHIntersect(UI_LIST* list1, UI_LIST* list2, int& found, int fromIndex, int toIndex,
                                  int& index2, int& index1);
// Gives the child list a vertex (offset 9999) at every parent chainage it lacks and drops its
// vertices (other than kind 'i') at chainages the parent lacks.
void dbfUpdateChildList(UI_LIST* parent, UI_LIST* child);

// Recalculates one child from its parent in the library's own strings file.
void dbfStringFromParent(STR_HEADER& parent, DWORD parentPosition, const char* childName);
// Recalculates the whole tree below the named string, parents before children, under the status
// "Recalculating strings ... please wait". A loop in the child links is reported (naming the file
// and the strings) and cut where it closes. addFeatures calls the features hook at the end;
// removeLoops removes loops from each child recalculated.
void dbfRecalcStrings(const char* name, int unused, FILE* stream, int addFeatures, int removeLoops);
// The top string named with the batter hook ("" when none).
const char* dbfTopStringName();

// Removes the vertices strictly between the chainages; 1 when any was removed. The name buffer
// (32 characters) comes back holding the string's first child ("" when none or not found).
int dbfRemoveRangeVertices(char* name, FILE* stream, const char* fileName, double from, double to);
// Adds (shift non-zero) the factors to, or multiplies by them, every vertex's x, y and z.
void dbfRescaleString(const char* name, const char* fileName, const PNT_3D_record& factors, int shift);
// Records the hidden range of the children of the string at the position in the road's design
// file, section "InterGaps", key "Range<a x b>".
void dbfHideString(DWORD position, double from, double to, FILE* stream, int road, int a, int b);
// Gives the hidden run (kind 'x') at the chainage in the children of the string at the position
// (and their children) the ordinary kind again.
void dbfShowString(DWORD position, double chainage, FILE* stream);

// ---------------------------------------------------------------------------------------------
// Selection and picking (string_select.cpp). The selected string is recorded in the selected
// byte of its header and in the job setting "TerrainStrings"/"Selected" (its file's full name).

void dbfStringClearSelection();
// Asks for a string near a picked point and selects it (or deselects it when it was selected).
void dbfStringSelect();
// Selects the string (or deselects it when it is the selected one). 0 when the file cannot be
// opened.
int dbfStringMakeSelection(const char* fileName, const char* stringName);
// The selected string's name (32 characters); 1 when there is one.
int dbfGetSelectedString(char* name);
// The string a function works on: the selected one (after a question when ask is set), else one
// picked by the user. name holds 32 characters, fileName MAX_PATH. 1 when a string was obtained.
int dbfGetWorkString(const char* prompt, char* name, char* fileName, int& vertexIndex, int ask);

// One candidate of a pick, and what the multiple-strings dialog ("Multiple Strings") edits: the
// candidates at the same distance, and the index of the chosen one.
struct STRING_CANDIDATE {
    char name[32];
    char fileName[MAX_PATH];
    int vertexIndex;
    double distance;
};
struct STRING_CHOICE {
    STRING_CANDIDATE candidates[10];
    int count;
    int tiesNotKept;    // strings at the same distance beyond the ten kept
    int chosen;
};

// Asks for a point and finds the nearest plotted string (terrain strings and/or road strings)
// within the view. 1 when a string was returned.
int dbfGetClosestString(const char* prompt, bool terrainStrings, bool roadStrings, char* name, char* fileName,
                        int& vertexIndex, double& distance);
// Switches on the drawing of the string and of its file's strings.
void dbfSetStringVisible(const char* fileName, const char* stringName);
// Draws the vertices from..to (the whole string when both are 0) in the pen (0: Terrain/PerimPen).
void dbfHighlightString(FILE* stream, const char* name, int from, int to, int unused, long pen);

// Sets the cross-section's chainage and adds one point for each string of the family from name
// on (first children before second, "M_STRING" left out) that the section line crosses: the
// segment from the centre to the further point, or, at an isolated vertex, the line through them
// within 0.1. Offsets are distances from the centre, negative away from the further point's
// bearing; levels are interpolated along the crossed segment. Codes: 116 the edited string, -100
// "L_SHOULDER", 100 "R_SHOULDER", 32 the others. The edited list, when given, stands for the
// edited string. The search along each string starts at the section's chainage.
struct XSECTION;
void dbfCrossFromStrings(XSECTION* xs, double chainage, const char* name, const PNT_3D_record& centre,
                         const PNT_2D_record& direction, const PNT_3D_record& further, FILE* stream,
                         const char* editedName, UI_LIST* editedList);
