// What the pieces of the strings file share: the subsystem's own state (the library's own
// strings file and the accessor), slot access, and the internal forms of adding and deleting.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "database/strings.h"

struct StringsState {
    FILE* ownFile = nullptr;                  // the library's own strings file, null when closed
    std::unique_ptr<CStringFile> accessor;    // absent until the first string call
    // The stream last opened by name outside the accessor (viewStringOpenFile and its kin) and
    // that name: the name a failed write on it reports.
    FILE* namedStream = nullptr;
    std::string namedStreamName;
};

// The state part, registered with the frame on first use.
StringsState& stringsState();

// The stream a call works on: the given one, or the library's own strings file for null.
FILE* strResolve(FILE* stream);
// The name of the file a stream (null: the library's own strings file) reaches, for messages.
std::string strStreamName(FILE* stream);

// A new file header: changed 0, version 64, count 0, surface 0, interval 0, closed 0.
STR_FILEHEADER strNewFileHeader();
int strReadFileHeader(FILE* stream, STR_FILEHEADER& header);
int strWriteFileHeader(FILE* stream, const STR_FILEHEADER& header);

// Every write below is flushed and checked: a failure is reported with the file's name and the
// reason, and the function returns 0.
int strWriteAt(FILE* stream, std::int64_t position, const void* data, std::size_t size);

// Why the strings file on the stream cannot be used, empty when it can: its header against its
// length in 3922-byte slots, its version, and each slot's names and vertex count. Reads the
// file header and every slot's header; writes nothing.
std::string strFileDamage(FILE* stream);
// Opens an existing strings file for update after checking it; null after a message when it
// cannot be opened or is damaged (it is then left as it was).
FILE* strOpenChecked(const char* fileName);

// One header at a position; reading terminates every text field so that damaged names can be
// compared and copied safely.
int strReadHeader(FILE* stream, std::int64_t position, STR_HEADER& header);
int strWriteHeader(FILE* stream, std::int64_t position, const STR_HEADER& header);
// Fills a slot's vertex area with 50 blank records.
int strWriteBlankVertices(FILE* stream, std::int64_t position);

// True when the fixed 32-byte name field holds exactly the name.
bool strNameIs(const char* field, const char* name);
// Copies a name into a 32-byte field (cut to 31 characters).
void strSetName(char* field, const char* name);

// The number of slots the file can hold at most: a bound for every walk over links, so that a
// damaged file whose links loop ends.
int strSlotLimit(FILE* stream);

// Finds the first slot whose name (or, for a parent, first or second child) is the name.
DWORD strFindHeader(FILE* stream, const char* name, STR_HEADER& header);

// The index of the slots by name (slot_index.cpp). The first slot after `after` (a slot number,
// -1 for the start) where one of the fields holds exactly the name: its number, -1 when there
// is none, -2 when the file cannot be indexed (the caller then scans).
enum class SlotField { Name = 0, FirstChild = 1, SecondChild = 2 };
int strIndexFind(FILE* stream, std::initializer_list<SlotField> fields, const char* name, int after);
// The number of slots whose headers can be read, -1 when the file cannot be indexed.
int strIndexSlots(FILE* stream);
// Told of every write to a strings file (strWriteAt), whether it went through or not.
void strIndexNoteWrite(FILE* stream, std::int64_t position, const void* data, std::size_t size, bool written);
// Drops the stream's index: the stream was opened, attached or is about to be closed.
void strIndexForget(FILE* stream);
void strIndexForgetAll();
// Closes a stream of this library, dropping its index first; always null.
FILE* strCloseStream(FILE* stream);

// Adding a header through the accessor (find same name, else a free slot, else append).
DWORD strAddHeader(CStringFile& accessor, STR_HEADER& header);
// Deleting a string with counting, its continuation chain first. False when a write failed.
bool strDeleteString(CStringFile& accessor, const char* name, int depth);
// Reads vertices of one string into the list (see dbfGetStringData).
int strReadData(FILE* stream, DWORD position, UI_LIST& list, int section);

// The spike test for three consecutive active vertices.
bool strIsSpike(const CVertexEle* previous, const CVertexEle* vertex, const CVertexEle* next);

// While the cached surface is 0, chooses the strings surface (settings, then a free terrain
// surface) into the accessor's cached header.
void strChooseSurface(CStringFile& accessor);

// ---------------------------------------------------------------------------------------------
// String geometry

// The elements of a vertex list in order, so that searches by chainage cost log n steps.
std::vector<CVertexEle*> strIndex(UI_LIST& list);
// dbfBinarySearch over the elements in order.
int strSearch(const std::vector<CVertexEle*>& vertices, double chainage, int& found);
// Recalculates the child list from the parent list (see dbfStringFromParent). The chainages of
// the child vertices that became inactive as loops or spikes are added to `removed`.
void strDeriveChild(UI_LIST& parent, UI_LIST& child, std::vector<double>& removed);
// Makes inactive the vertices of every loop of the list (lists of 4 or more vertices).
void strRemoveLoops(UI_LIST& list);
// Reads every vertex of the string at the position into a list ordered by chainage.
void strReadSorted(FILE* stream, DWORD position, UI_LIST& list);
