// Section geometry: editing and reading in-memory cross-sections (XSECTION), long sections held
// in an ordered list (LongSection), and the cutting of natural-ground sections from the terrain.
//
// Positions of cross-section points are 1-based in every function here; 0 means none. Points are
// kept in ascending order of offset (negative to the left of the centre line); the functions
// that add points keep that order. Offsets, elevations and chainages compare with the library's
// tolerance helpers. Functions never throw; bad arguments give 0, false or 0.0.
//
// Sections are cut in a section frame: a double[5][5] table that maps a plan position (y, x) to
// (offset along the section line, distance across it). dbfTriplet puts a chainage and its
// neighbours into rows 0..2 (y in column 2, x in column 3); dbfFrameFromTriplet turns that into
// the frame of the cross-section through the chainage, square to the chord of its neighbours.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "database/records.h"
#include "database/road.h"
#include "platform/core_ini.h"
#include "platform/core_list.h"

// ---------------------------------------------------------------------------------------------
// Cross-sections

// The step heights of a relative insertion that take the height from a grade instead: continue
// the grade of the neighbouring segment, or apply the side's reference grade.
constexpr double kStepContinueGrade = 888.0;
constexpr double kStepReferenceGrade = 777.0;

// Adds a point at its place in offset order (after points of the same offset); 0 when full.
int dbfAddOffsetElevation(double offset, double elevation, double idNo, char marker, XSECTION* xs);
// Inserts n points at position pos: mode 0 as they are, 1 as steps to the right of point pos,
// -1 as steps to the left of it. 0 when refused.
int dbfInsertOffsetElevation(int pos, int n, SECTMEM* items, XSECTION* xs, int mode);
// Removes positions from..to; with tail >= 1 only the count shrinks (the range ends the section).
void dbfDeleteOffsetElevation(int from, int to, XSECTION* xs, int tail);
// side > 0: removes the points beyond offset; side < 0: the points before it.
void dbfRemoveOffsetElevation(double offset, XSECTION* xs, int side);
// Trims the section to left..right, with interpolated points at the cuts.
void dbfChopSect(double left, double right, XSECTION* xs);
void dbfSortSect(XSECTION* xs);
// The segment (position of its first point) that holds offset; 0 when none.
int dbfSectTrav(double offset, XSECTION* xs);
double dbfInterpElevation(double offset, int seg, XSECTION* xs);
int dbfSectElevation(double offset, XSECTION* xs, double& elevation);
// The elevation of a layer at a chainage of the open road; a negative layer takes offset as a
// relative point number (+-102: the middle of the side's 100 and 101 points).
double dbfInterpSecElevation(double chg, double offset, short layer);
void dbfSectLimits(_bsRECT& box, XSECTION& xs);
int dbfRelativeIDno(int id, XSECTION& xs);
int dbfRelativePtno(int r, XSECTION& xs);
// Rows 0..2 of the table: the previous, this and the next usable chainage (y in column 2, x in
// column 3). A missing neighbour is reflected through this chainage. 0 when both are missing.
int dbfTriplet(CHGBASE& chg, double (*table)[5]);

// ---------------------------------------------------------------------------------------------
// Long sections

// One point of a long section. Its only virtual member is the destructor of UI_ELEMENT.
class LSECTION : public UI_ELEMENT {
public:
    double offset = 0.0;      // distance along the line; the sort key
    double elevation = 0.0;
    std::int16_t code = 0;    // the caller's; the terrain extraction sets 0
};

// A long section: a list of LSECTION kept in ascending order of offset. Copies share one list,
// counted: the list is deleted with the last object that uses it.
class LongSection {
public:
    LongSection();
    ~LongSection();
    LongSection(const LongSection& other);
    LongSection& operator=(const LongSection& other);

    // The list owns an element once added. Add puts it at its place in offset order (after its
    // equals); the two-argument Add puts it right after `after` (first when null).
    LSECTION* Add(LSECTION* element);
    LSECTION* Add(LSECTION* element, LSECTION* after);
    LSECTION* AddOffsetElevation(double offset, double elevation, short code);
    int Count() const;
    LSECTION* First();
    LSECTION* Last();
    LSECTION* Current();
    LSECTION* SetCurrent(LSECTION* element);
    LSECTION* Get(int i);
    LSECTION* Get(int (*cmp)(void*, void*), void* key);
    int Index(const LSECTION* element);
    // Removes an element from the list and hands it to the caller.
    LSECTION* Subtract(LSECTION* element);
    void Sort();
    // Deletes every element; the object (and every copy sharing its list) stays usable.
    void Destroy();

private:
    class SharedList;
    SharedList* list;
};

int dbfLSectTrav(double offset, LongSection* ls);
double dbfLInterpElevation(double offset, int seg, LongSection* ls);
int dbfLongSectElevation(double offset, LongSection* ls, double& elevation);
void dbfLongSectLimits(_bsRECT& box, LongSection* ls);

// ---------------------------------------------------------------------------------------------
// Section frames and sections from the terrain

// Rows 0 and 1 hold (offset, distance, y, x) of two positions; fills row 2 (and the reverse
// terms in row 3) so that the frame maps those positions to their offsets and distances.
void dbfFrameFromRows(double (*table)[5]);
// Rows 0, 1, 2 hold the previous, this and the next position (y in column 2, x in column 3, as
// dbfTriplet leaves them); makes the frame of the cross-section through row 1.
void dbfFrameFromTriplet(double (*table)[5]);
// The section coordinates of a plan position in a frame.
void dbfFrameMap(double (*table)[5], double y, double x, double& offset, double& distance);

// Results: 1 completed, 0 cancelled with Escape (or, from lines, the section became full).
int dbfSectionFromCoords(double y0, double x0, double radius, double left, double right,
                         double band, int withEnds, unsigned short surface, double minSpacing,
                         double (*table)[5], XSECTION* xs);
int dbfSectionFromLines(double y0, double x0, double radius, double left, double right,
                        int withEnds, unsigned short surface, double minSpacing,
                        double (*table)[5], XSECTION* xs, char* nameFilter, int firstId);
// The long-section variants add to the list (they do not empty it first).
int dbfLongSectionFromCoords(double y0, double x0, double radius, double left, double right,
                             double band, int withEnds, unsigned short surface, double minSpacing,
                             double (*table)[5], LongSection* ls);
int dbfLongSectionFromLines(double y0, double x0, double radius, double left, double right,
                            int withEnds, unsigned short surface, double minSpacing,
                            double (*table)[5], LongSection* ls);
// The height at (y, x) between the nearest feature-line crossings north and south; 0.0 if none.
double dbfCalcHeight(double y, double x, unsigned short surface, double radius);
// Sets a.z and b.z from the terrain and fills ls with the profile from a (offset 0) to b.
void dbfLongExtract(PNT_3D_record& a, PNT_3D_record& b, unsigned short surface, double radius,
                    LongSection* ls);

// ---------------------------------------------------------------------------------------------
// Road templates
//
// A template file is a settings file of sections and keys: "TemplateType" (Version, Type), the
// median halves of a dual road ("LowerMedian", "UpperMedian"), the compulsory part of each side
// ("LeftCompulsory", "RightCompulsory"), the additions of each side in cut and in fill, and the
// layer works of each side. The project's templates are listed in the road's design settings
// file (section "TemplateIndex", paths optionally through "TemplatePaths"). docs/templates.md
// describes the format and what `dbfRoadDesignSection` makes of the values.

constexpr int kTemplateLines = 800;      // entries of each of the three arrays of a TEMPLATE
constexpr int kTemplateNameChars = 20;   // a template's name in the list
constexpr int kLayerWorkNameChars = 32;

// One line of a median or compulsory section.
struct TEMPLATE_LINE {
    double value1;
    double value2;
    std::uint16_t value3;
};

// One line of an addition section; value5 is 999.0 when the line is missing.
struct TEMPLATE_ADDITION {
    double value1, value2, value3, value4, value5, value6;
    std::uint16_t value7;
    std::uint32_t value8;
};

// One layer works line: the layer lies between the design points named by the relative point
// numbers leftRef and rightRef, widened by the widths and `thickness` thick.
struct TEMPLATE_LAYER {
    double leftWidth;
    double rightWidth;
    std::uint32_t leftRef;    // a relative point number, stored as its 32-bit pattern
    std::uint32_t rightRef;
    double thickness;
    char name[kLayerWorkNameChars + 1];
};

// A run of entries of one of the arrays: the first index and the number of entries.
struct TEMPLATE_PART {
    std::uint32_t first;
    std::uint32_t count;
};

struct TEMPLATE {
    std::int16_t type;            // 1 single road, 2 dual road, 0 invalid
    double dims[10];
    std::int32_t typeValue;
    TEMPLATE_PART lowerMedian, upperMedian, leftCompulsory, rightCompulsory;   // into lines
    TEMPLATE_PART leftCutAdditions, leftFillAdditions, rightCutAdditions, rightFillAdditions;  // additions
    TEMPLATE_PART leftLayerWorks, rightLayerWorks;                             // into layerWorks
    TEMPLATE_LINE lines[kTemplateLines];
    TEMPLATE_ADDITION additions[kTemplateLines];
    TEMPLATE_LAYER layerWorks[kTemplateLines];
    std::uint16_t leftPaveNr, rightPaveNr;
    char leftPaveFile[256];
    char rightPaveFile[256];
    std::int32_t typeExtra[4];
};

// One entry of the template list.
class CTemplEle : public UI_ELEMENT {
public:
    char name[kTemplateNameChars + 1] = {};
    char path[260] = {};
};

// (Re)builds the template list from the design settings file.
void dbfInitTemplateList();
void dbfDestroyTemplList();
// The name of entry n (from 1), building the list when needed; "" when none. name holds at least
// 21 characters.
void dbfGetTemplName(int n, char* name);
// The number (from 1) of the first entry with that name; 0 when none.
short dbfGetTemplateIndex(CString name);
// The file path of one line of the design settings file's template index (path: 260 characters).
void dbfExtractTemplatePath(INI_LIST* des, INI_LINE* line, char* path);
// Finds the template by name in the design settings file and reads it: 1 on success, 0 after a
// message ("Template %s does not exist", or the reader's) or without a design settings file.
int dbfRoadLoadTemplate(CString name, TEMPLATE* tpl);
// Reads a template file: 1 on success, 0 after "Error in template file %s" or "Template has
// invalid version number" (tpl is then partly filled).
int dbfRoadGrabTemplate(char* path, TEMPLATE* tpl);
// The cross-section of layer works entry `layer` below the design section, lowered by depth and
// closed into an outline. Non-zero leftEdge/rightEdge give the layer's edges (they may be
// replaced by the resolved widths). edgeOffsets/edgeElevations (2 entries) receive the design's
// end points of the first left layer. 0 after "Invalid layerworks parameters for chainage %.3lf".
int dbfRoadCalcLayer(double chg, int layer, double depth, XSECTION& design, XSECTION& out, TEMPLATE& tpl,
                     double* edgeOffsets, double* edgeElevations, double leftEdge, double rightEdge);
// The pavement symbol drawing in the maker's data folder, cut to len - 1 characters.
void dbfGetPaveSymFileName(char* path, int len);
// The direction of the cross-section at a chainage of the open road, in radians (the skew
// added unless noSkew). The chainage cursor is left on the previous visible chainage.
double dbfCalcXSectAngle(CHGBASE chg, int noSkew);
// The cubic transition of length `length` turning through theta radians: its end point (x along
// the tangent, y across), and for _all also the shift and the tangent part k.
void dbfQubicSpiraldata_half(double length, double theta, double& x, double& y);
void dbfQubicSpiraldata_all(double length, double theta, double& shift, double& k, double& x, double& y);
// The angle between two grades given in percent, and that angle times k.
double dbfCalcI(double grade1, double grade2);
double dbfCalcCurveLength(double grade1, double grade2, double k);
// Calls the apply-template hook (apply non-zero) or the batter hook with f, once, and clears it.
void dbfApplyStrTemplate(FILE* f, int apply);
// Calls the features hook with f, once, and clears it.
void dbfAddStrFeatures(FILE* f);

// Designs a cross-section from a template against the natural ground: the median and compulsory
// lines from the centre line at centreElevation, then on each side the cut or fill additions
// (cut when the natural ground is above the compulsory edge) and a batter to the natural ground.
// Returns 1, or 0 with a message when the section cannot be made (docs/templates.md).
// cutFill (optional, 2 entries) receives per side (left, right) +1 for cut, -1 for fill.
int dbfRoadDesignSection(double chg, double centreElevation, TEMPLATE& tpl, XSECTION& natural,
                         XSECTION& design, int* cutFill);

// ---------------------------------------------------------------------------------------------
// Kerb groups
//
// Kerb group files list up to 100 named kerbs ("Lookup"/"kerb%d"), each a section of steps
// ("geom%d": horizontal step, vertical step, flag) and quantity formulas ("eq%d"). Group i of the
// design settings file ("KerbFiles"/"path%d") owns the kerb numbers i x 100 to i x 100 + 99. The
// files are edited line by line: comments and unknown keys stay as they were.

class CKerbGroup : public UI_ELEMENT {
public:
    CKerbGroup();
    CKerbGroup(const char* file, int base);
    // Copies share the group file's lines; the last one to go saves and deletes them.
    CKerbGroup(const CKerbGroup& other);
    CKerbGroup& operator=(const CKerbGroup& other);
    ~CKerbGroup() override;

    void UpdateFile();
    void ChangeFile(const char* file);
    int GetCount();
    const char* GetGroupFileName();
    CString GetKerbName(int n);
    int RenameKerb(int i, CString name);
    int GetKerbGeom(int n, int step, PNT_2D_record& p, int& flag);
    void WriteKerbGeom(int n, int step, const PNT_2D_record& p, int flag);
    void AddKerbToLookup(int entry, const CString& name);
    int GetKerbQuantity(int n, int q, CString& text);
    void WriteKerbQuantity(int n, int q, const CString& text);
    void SetTransform(PNT_2D_record target, int n);
    int GetGroupBase() const { return groupBase; }
    void ClearFileSection(const CString& section);
    void DeleteKerb(int n);
    // Writes the group file now (1 on success; 0 after a message naming the file and reason).
    int Save();

    INI_LIST* file = nullptr;
    int groupBase = -1;
    char fileName[260] = {};
    double shear = 0.0;
    double stretch = 0.0;

private:
    struct Shared;
    Shared* shared = nullptr;
    void release();
    std::string section(int n);   // the kerb's section name, empty when none
};

int dbfReadKerbs(UI_LIST* groups);
CKerbGroup* dbfGetKerbGroup(UI_LIST* groups, int n);
CString dbfGetKerbString(UI_LIST* groups, int n);
// Inserts kerb n into xs at the point named by ref; the position of the point marked by the
// kerb's marker (0 when none), or xs.count unchanged when the kerb is unknown; 0 on failure.
int dbfAddKerb(UI_LIST* groups, int n, int ref, double grade, XSECTION* xs, int fromStart);
