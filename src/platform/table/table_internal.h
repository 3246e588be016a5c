// The table library's handles as its own sources see them.
#pragma once

#include "platform/core.h"
#include "platform/table.h"

#include <shapefil.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct FIELD4 {
    DATA4* data = nullptr;
    std::string name;    // as stored in the header, upper case as written
    char type = 'C';
    int len = 0;
    int dec = 0;
    int offset = 0;      // from the start of the record, after the deletion byte
    std::string text;    // f4str's terminated copy
};

// One part of a key expression: a field's text, or a number formatted by STR().
struct KeyPart {
    const FIELD4* field = nullptr;
    bool isStr = false;
    int len = 0;
    int dec = 0;
};

// A record's place in a tag: the keys are kept per record number, the order as a sorted list
// of record numbers. Changes are collected in `pending` and merged in one pass the next time
// the order is used, so that filling a table record by record costs one merge, not one
// insertion per record.
struct TAG4 {
    INDEX4* index = nullptr;
    std::string name, expression, filter;
    bool unique = false;
    bool descending = false;
    std::vector<KeyPart> parts;
    const FIELD4* filterField = nullptr;  // null: every record (unless filterDeleted)
    bool filterNot = false;
    bool filterDeleted = false;           // the filter is DELETED() (or .NOT. DELETED())
    int keyLen = 0;

    std::vector<char> keys;         // keyLen characters per record, record 1 first
    std::vector<uint8_t> qualifies; // the record passes the filter
    std::vector<uint8_t> member;    // the record is in the order
    std::vector<uint32_t> order;    // record numbers in tag order
    std::vector<uint32_t> pending;  // records whose key or filter result changed
    std::vector<uint8_t> isPending;

    const char* keyOf(uint32_t recNo) const { return keys.data() + size_t(recNo - 1) * keyLen; }
    // The order of two records: negative when a goes first.
    int compareRecords(uint32_t a, uint32_t b) const;
};

struct INDEX4 {
    DATA4* data = nullptr;
    std::string path;
    std::vector<std::unique_ptr<TAG4>> tags;
};

struct DATA4 {
    CODE4* code = nullptr;
    DATA4* next = nullptr;       // the context's list of open tables
    std::string path;
    DBFHandle dbf = nullptr;
    std::vector<std::unique_ptr<FIELD4>> fields;
    int recordLength = 0;        // including the deletion byte
    long recordCount = 0;

    std::vector<char> record;    // the current record, deletion byte first
    long recNo = 0;              // 1..recordCount, or recordCount + 1 at eof
    bool eof = true;
    bool bof = false;
    bool changed = false;        // the record buffer differs from the file
    bool appending = false;      // d4appendStart was called; d4append writes the buffer
    bool appended = false;       // the current record is new: written and keyed at its flush
    bool grew = false;           // records were appended since the table was opened
    // The errno of the first write, flush or close of the file that failed; once set, every
    // later write and the close report e4write, so a lost record cannot go unnoticed.
    int writeError = 0;

    std::vector<std::unique_ptr<INDEX4>> indexes;
    TAG4* selected = nullptr;
};

namespace table_detail {

void setError(CODE4* code, int error);
std::string indexPathBeside(const std::string& tablePath);

// Record I/O.
bool readRecord(DATA4* data, long recNo, char* buffer);
bool writeRecord(DATA4* data, long recNo, const char* buffer);
// Writes the current record when changed, and brings the tags up to date with it.
int flushRecord(DATA4* data);
void loadCurrent(DATA4* data, long recNo);
void standAtEof(DATA4* data);

// Tags.
void tagsAddRecord(DATA4* data, long recNo, const char* record);
void tagsUpdateRecord(DATA4* data, long recNo, const char* record);
void settleTag(TAG4* tag);
bool buildTags(DATA4* data, const std::vector<TAG4*>& tags);
int tagPosition(TAG4* tag, uint32_t recNo, bool* exact);
bool dropIndexes(DATA4* data);

// Fields.
bool fieldIsNumeric(const FIELD4* field);
double fieldNumber(const FIELD4* field, const char* record);
bool fieldLogical(const FIELD4* field, const char* record);
// Formats value right-aligned in width characters with dec decimals, as dBASE stores numbers.
void formatNumber(double value, int width, int dec, char* out);

}  // namespace table_detail
