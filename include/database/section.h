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

#include "database/records.h"
#include "database/road.h"
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
