// The table library: dBASE (.dbf) tables with multiple-tag indexes, behind the CodeBase-style
// interface the network tables, the hydrograph tables, the terrain names list and the
// crossing-pipe table are written against.
//
// Records are read and written through shapelib's DBF code, so every table made here is a plain
// dBASE III table that GDAL, LibreOffice or dbfread open. The tags are ours: an index file beside
// the table holds only the tag definitions (name, key expression, filter, unique, descending);
// the keys themselves live in memory and are built whenever an index file is opened or created.
//
// Conventions shared by every function:
// - Handles are pointers; a null handle is accepted everywhere and does nothing (reads give 0,
//   an empty text or none).
// - Moves and seeks return 0 (r4success) on success; a non-zero result says why not.
// - Failures never show a message: they leave a negative code in CODE4::errorCode, which the
//   caller prints in its own message.
// - Nothing here throws.
#pragma once

#include <string>

// Move and seek results. 0 is success; callers test for 0.
constexpr int r4success = 0;
constexpr int r4found = 1;
constexpr int r4after = 2;  // seek: no equal key; standing on the next record in tag order
constexpr int r4eof = 3;    // moved past the last record
constexpr int r4bof = 4;    // moved before the first record (standing on the first)
constexpr int r4entry = 5;  // no such record number
constexpr int r4noTag = 80; // seek without any tag to seek in

// Tag flags for TAG4INFO.
constexpr short r4descending = 10;
constexpr short r4uniqueContinue = 25;  // any non-zero unique code behaves this way (below)
constexpr short r4unique = 20;
constexpr short e4unique = -340;

// Error codes left in CODE4::errorCode.
constexpr int e4create = -20;     // a table or index file could not be created
constexpr int e4open = -60;       // a file could not be opened (only with errOpen set)
constexpr int e4read = -70;       // a record could not be read
constexpr int e4write = -120;     // a record or file could not be written
constexpr int e4data = -200;      // the table file is damaged (header does not match the file)
constexpr int e4fieldName = -210; // a field list names a field badly, or twice
constexpr int e4fieldType = -220; // a field list has a type other than C, N, F, L or D
constexpr int e4index = -310;     // the index file is damaged or not an index file
constexpr int e4tagName = -330;   // no tag of that name (only with errTagName set)
constexpr int e4expr = -400;      // a key or filter expression this library cannot evaluate
constexpr int e4memory = -920;    // memory could not be had
constexpr int e4parm = -930;      // a bad argument (no context, empty name, ...)

// The extension of the index file that d4create writes and d4open opens beside a table
// (the table's path with its extension replaced).
constexpr const char* INDEX4_EXTENSION = ".mdx";

struct DATA4;
struct FIELD4;
struct TAG4;
struct INDEX4;

typedef DATA4 DATA4St;

// The shared context. Plain data, so that it can live inside a zero-filled state record;
// code4initLow sets it up.
struct CODE4 {
    // The four behaviour switches. code4initLow sets all four to 1. The network open
    // functions clear them before opening or creating and set them again afterwards.
    int autoOpen;   // d4open also opens the index file beside the table (INDEX4_EXTENSION)
    int errOpen;    // a table that does not exist is an error (e4open); cleared: none, silently
    int errTagName; // d4tag with an unknown name is an error (e4tagName); cleared: none, silently
    int safety;     // every record written is flushed to disk at once; cleared: on close/move only
    // The last failure (negative), 0 when none; code4initLow resets it.
    int errorCode;
    // Internal: the open tables, closed by code4initUndo. Not for callers.
    DATA4* openTables;
    int initialised;
};

// One row of a field list; a list ends with a row whose name is null.
// type is the dBASE type letter ('C', 'N', 'F', 'L', 'D').
struct FIELD4INFO {
    const char* name;
    short type;
    unsigned short len;
    unsigned short dec;
    unsigned short nulls;
};

// One row of a tag list; a list ends with a row whose name is null.
// expression: field names joined by "+", each optionally as STR(field, length, decimals),
//   e.g. "SUBNET+BRANCH+LINKNO" or "L_TYPE+STR(SIZE1,4,0)+STR(SIZE2,4,0)".
// filter: null or empty for every record, otherwise a logical field ("SELECTED"), optionally
//   preceded by ".NOT."; DELETED() stands for the deletion mark.
// unique: non-zero keeps a record whose key is already in the tag out of it, without an error.
// descending: non-zero orders the tag from the highest key down.
struct TAG4INFO {
    const char* name;
    const char* expression;
    const char* filter;
    short unique;
    unsigned short descending;
};

// ---- Context -------------------------------------------------------------------------------

// Sets the switches to 1 and the error code to 0. Called again on a context that already has
// open tables, it keeps them open and usable. defaultPath, version and structSize are accepted
// for the documented call form (context, 0, 6401, 1300) and not used. Returns 0.
int code4initLow(CODE4* code, const char* defaultPath, long version, long structSize);
// Closes every table still open on the context. Returns 0.
int code4initUndo(CODE4* code);

// ---- Tables --------------------------------------------------------------------------------

// Opens the table at path (any extension) and, with autoOpen, the index file beside it.
// A missing or damaged file gives none (e4open when errOpen is set, e4data when damaged). A
// header that counts more records than the file holds is damage too: it is said in a message
// naming the file and both counts, and the table is not opened, since writing it would make
// the loss final.
DATA4* d4open(CODE4* code, const char* path);
// Creates the table at path, replacing any file there, from the field list, and when tags is
// neither null nor empty the index file beside it (INDEX4_EXTENSION) with those tags.
// Gives the open table standing on no record (eof), or none with e4create / e4fieldName /
// e4fieldType / e4expr in the error code.
DATA4* d4create(CODE4* code, const char* path, const FIELD4INFO* fields, const TAG4INFO* tags);
// Writes the current record and closes the table and its indexes. Returns 0, or e4write (also
// in the error code) when any write, flush or close of the file failed since it was opened: the
// file may then lack what was written, and coreFileLastError says why.
int d4close(DATA4* data);

// The table's field list, ending with a null name; the names live in the same block, so the
// list stays valid after the table is closed. Freed by u4freeDefault.
FIELD4INFO* d4fieldInfo(DATA4* data);
int d4numFields(DATA4* data);
// Zero-filled memory, freed by u4freeDefault; null when it cannot be had (e4memory).
void* u4allocFreeDefault(CODE4* code, long bytes);
void u4freeDefault(void* memory);

// ---- Position --------------------------------------------------------------------------------
// In the order of the selected tag, or in record-number order when none is selected. Deleted
// records are visited like the others (d4deleted tells them apart). Moving writes the current
// record first when it was changed.

int d4top(DATA4* data);          // 0, or r4eof when the order is empty
int d4bottom(DATA4* data);       // 0, or r4eof when the order is empty
int d4goBof(DATA4* data);        // stands on the first record with d4bof true; r4bof
int d4goEof(DATA4* data);        // stands past the last record; r4eof
int d4skip(DATA4* data, long n); // 0, r4eof past the end, r4bof before the start
int d4go(DATA4* data, long recordNumber); // from 1; r4entry for a number out of range
long d4recNo(DATA4* data);       // the current record number; record count + 1 at eof
int d4eof(DATA4* data);
int d4bof(DATA4* data);
int d4deleted(DATA4* data);      // the current record carries the deletion mark
void d4delete(DATA4* data);      // sets the deletion mark on the current record
void d4recall(DATA4* data);      // clears it
long d4recCount(DATA4* data);
long dfile4recCount(DATA4* data, long serverId = -2);  // the same as d4recCount

// ---- Order -----------------------------------------------------------------------------------

// The tag of that name (case-insensitive) among the table's open indexes, or none.
TAG4* d4tag(DATA4* data, const char* name);
// The tag after tag (the first when tag is null), across all open indexes; none after the last.
TAG4* d4tagNext(DATA4* data, TAG4* tag);
// Makes tag the current order; none selects record-number order.
void d4tagSelect(DATA4* data, TAG4* tag);
TAG4* d4tagSelected(DATA4* data);
// The selected tag, or the first tag when none is selected, or none when the table has no tag.
TAG4* d4tagDefault(DATA4* data);
const char* t4alias(TAG4* tag);  // the tag's name
const char* t4expr(TAG4* tag);   // its key expression
int t4keyLen(TAG4* tag);         // its key length in characters

// Seeks the key in the tag d4tagDefault gives. The key compares on its own length (a shorter
// key matches every key that begins with it; a longer one is cut to the tag's key length).
// 0: found, standing on the first record with an equal key in tag order; r4after: not found,
// standing on the next key; r4eof: beyond the last key; r4noTag: the table has no tag.
int d4seek(DATA4* data, const char* key);
// A numeric key for a tag on one numeric field, formatted as the field stores it.
int d4seekDouble(DATA4* data, double key);
// Goes on to the next record with an equal key: 0 when there is one; r4after / r4eof as d4seek
// when not. When the current record's key does not equal the key, this is d4seek.
int d4seekNext(DATA4* data, const char* key);

// Opens the index file at path (null: the one beside the table) and builds its tags.
// None when missing or damaged (e4index when damaged, e4open when missing and errOpen set).
INDEX4* i4open(DATA4* data, const char* path);
// Creates the index file at path (null: beside the table), replacing any, with the tag list, and
// builds its tags. None on failure (e4create, e4expr).
INDEX4* i4create(DATA4* data, const char* path, const TAG4INFO* tags);
// The index's tag list, ending with a null name; strings live in the same block.
// Freed by u4freeDefault.
TAG4INFO* i4tagInfo(INDEX4* index);
// Adds the tags of the list whose names the index lacks, builds them and rewrites the index
// file. 0, or a negative error code.
int i4tagAdd(INDEX4* index, const TAG4INFO* tags);
// Closes one index; its tags are gone from the table. 0.
int i4close(INDEX4* index);
// The open index whose file has that path (null: the one beside the table), or none.
INDEX4* d4index(DATA4* data, const char* path);
// Rebuilds every tag of every open index from the records. 0, or a negative error code.
int d4reindex(DATA4* data);

// ---- Change ----------------------------------------------------------------------------------

// Starts a new record from the current record buffer (d4blank clears it); d4append writes it
// at the end and stands on it. useMemoEntries is not used.
int d4appendStart(DATA4* data, int useMemoEntries);
int d4append(DATA4* data);
// Appends a blank record and stands on it. 0, or a negative error code.
int d4appendBlank(DATA4* data);
// Blanks every field of the current record buffer and clears its deletion mark.
void d4blank(DATA4* data);
// Writes the current record when it was changed, and the header, to the file. 0, or e4write
// when a write of the table failed since it was opened.
int d4flush(DATA4* data);
// Drops the records marked deleted, renumbers the others and rebuilds the tags; stands on the
// first record. 0, or a negative error code (the table is then unchanged).
int d4pack(DATA4* data);
// Removes records startRecord..endRecord (clamped to the table) and rebuilds the tags;
// d4zap(data, 1, 1000000000) empties the table. 0, or a negative error code.
int d4zap(DATA4* data, long startRecord, long endRecord);
// One process uses each table; locks always succeed. 0.
int d4lockAll(DATA4* data);
int d4unlock(DATA4* data);

// ---- Fields ----------------------------------------------------------------------------------

// The field of that name (case-insensitive), or none.
FIELD4* d4field(DATA4* data, const char* name);
// The field at position index, from 1, or none.
FIELD4* d4fieldJ(DATA4* data, int index);
const char* f4name(FIELD4* field);

// The field's text, blank-padded to its length and terminated; valid until the field is next
// read or the table moves. The empty text for none.
const char* f4str(FIELD4* field);
char f4char(FIELD4* field);       // the first character
int f4int(FIELD4* field);         // the number at the start of the text; 0 when none;
long f4long(FIELD4* field);       //   a logical field gives 1 for T or Y
double f4double(FIELD4* field);
int f4len(FIELD4* field);
int f4type(FIELD4* field);        // the dBASE type letter
int f4decimals(FIELD4* field);
int f4true(FIELD4* field);        // a logical field holding T or Y

// Writes into the current record. Texts are cut or blank-padded to the field length (numeric
// fields right-aligned). Numbers go into numeric fields right-aligned with the field's
// decimals, as dBASE stores them; a value too wide for that loses decimals, and one whose whole
// part is too wide fills the field with '*' (read back as 0). A character field takes a number
// right-aligned; a logical field takes T for non-zero, F for zero. Nothing happens at eof.
void f4assign(FIELD4* field, const char* text);
void f4assignN(FIELD4* field, const char* text, unsigned length);
void f4assignChar(FIELD4* field, int character);
void f4assignInt(FIELD4* field, int value);
void f4assignLong(FIELD4* field, long value);
void f4assignDouble(FIELD4* field, double value);
// Copies from's value into to: the text when both are character fields or of the same type,
// otherwise by value (number, logical or text) as the destination stores it.
void f4assignField(FIELD4* to, FIELD4* from);
void f4blank(FIELD4* field);

// ---- Checking a value before it is written ---------------------------------------------------
// The assign functions above cut, round and overflow as dBASE does. A value that a user typed,
// or that a caller hands to an exported set-field function, is checked first, so that nothing is
// cut, rounded away, overflowed or left unreadable without a word.

// Why text does not fit a field of dBASE type (C, N, F, L or D), length and decimals, or null
// when it fits; then `stored` holds the text to assign: blanks trimmed; a number written with
// exactly the field's decimals; a logical as T or F (from T, F, Y, N, true, false, yes, no in any
// case); a date as YYYYMMDD (from YYYYMMDD or YYYY-MM-DD). An empty text fits every type and
// blanks the field. A character field counts bytes: the caller converts to the table's code
// page first. A reason is a fixed text that follows the value: "is not a number".
const char* f4valueProblem(int type, int len, int dec, const char* text, std::string& stored);
// Why a real does not fit a field (not finite, or too wide for it even without decimals), or
// null when it does; its decimals beyond the field's are rounded as f4assignDouble rounds them.
const char* f4numberProblem(int type, int len, int dec, double value);
// The message for a refused value: `SIZE1: "abc" is not a number (the field is N, width 5,
// 0 decimals)`. shown is the value as the user wrote it.
std::string f4refusal(FIELD4* field, const std::string& shown, const char* problem);

// Cuts trailing blanks from text, a buffer of size characters (the text is first cut to
// size - 1 characters). Returns text.
char* c4trimN(char* text, int size);
