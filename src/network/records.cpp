// The record access family: the host moves through the open table of a kind and reads and
// writes its fields by name, without ever holding the table handle.
#include <cstdio>
#include <cstring>
#include <string>

#include "database/frame.h"
#include "network/network_internal.h"
#include "platform/core.h"

namespace network {

namespace {

constexpr int kFailed = -2;

int firstRecord(Kind kind) {
    DATA4* data = requireTable(kind);
    return data ? d4top(data) : kFailed;
}

int nextRecord(Kind kind) {
    DATA4* data = requireTable(kind);
    return data ? d4skip(data, 1) : kFailed;
}

int gotoRecord(Kind kind, int recno) {
    DATA4* data = requireTable(kind);
    if (!data || recno < 1 || recno > d4recCount(data)) return kFailed;
    return d4go(data, recno);
}

int recordNo(Kind kind) {
    DATA4* data = requireTable(kind);
    return data ? static_cast<int>(d4recNo(data)) : 0;
}

int recordCount(Kind kind) {
    DATA4* data = requireTable(kind);
    return data ? static_cast<int>(dfile4recCount(data)) : 0;
}

int setIndex(Kind kind, const char* tagName) {
    DATA4* data = requireTable(kind);
    if (!data) return kFailed;
    if (!tagName || !*tagName) {
        d4tagSelect(data, nullptr);
        return 0;
    }
    TAG4* tag = d4tag(data, tagName);
    if (!tag) return kFailed;
    d4tagSelect(data, tag);
    return 0;
}

// Seeks the key in the named tag and restores the order that was current; the position stays
// on what the seek found.
int seekInTag(DATA4* data, const char* key, const char* tagName, bool reportMissingTag) {
    TAG4* tag = d4tag(data, tagName);
    if (!tag) {
        if (reportMissingTag) showError("Unable to select index");
        return kFailed;
    }
    TAG4* previous = d4tagSelected(data);
    d4tagSelect(data, tag);
    const int rc = d4seek(data, key ? key : "");
    d4tagSelect(data, previous);
    return rc;
}

int seekRecord(Kind kind, const char* key, const char* tagName) {
    DATA4* data = requireTable(kind);
    return data ? seekInTag(data, key, tagName ? tagName : "", true) : kFailed;
}

int seekByTag(Kind kind, const char* key, const char* tagName) {
    DATA4* data = requireTable(kind);
    return data ? seekInTag(data, key, tagName, false) : kFailed;
}

void getField(Kind kind, const char* name, char* out, bool trim) {
    DATA4* data = requireTable(kind);
    FIELD4* field = d4field(data, name);
    if (!field || !out) return;
    const char* text = f4str(field);
    std::memcpy(out, text, std::strlen(text) + 1);
    if (trim) c4trimN(out, static_cast<int>(std::strlen(out)) + 1);
}

bool getFieldBool(Kind kind, const char* name) {
    DATA4* data = requireTable(kind);
    FIELD4* field = d4field(data, name);
    if (!field) return false;
    const char c = f4char(field);
    return c == 'T' || c == 't';
}

int getFieldInt(Kind kind, const char* name) {
    DATA4* data = requireTable(kind);
    return data ? fieldInt(data, name) : 0;
}

double getFieldDouble(Kind kind, const char* name) {
    DATA4* data = requireTable(kind);
    return data ? fieldDouble(data, name) : 0.0;
}

// The set-field family refuses, with a message naming the field and its definition, a value
// its field cannot hold as given: a text longer than the field, a number that is not one, too
// large or with more decimals than the field keeps, a logical other than T/F/Y/N. Such a value
// is never cut or overflowed into the record (which other dBASE readers could no longer read).
bool refused(FIELD4* field, const std::string& shown, const char* problem) {
    if (!problem) return false;
    showError(f4refusal(field, shown, problem).c_str());
    return true;
}

void setField(Kind kind, const char* name, const char* text) {
    DATA4* data = requireTable(kind);
    FIELD4* field = d4field(data, name);
    if (!field) return;
    std::string stored;
    const char* given = text ? text : "";
    if (refused(field, given, f4valueProblem(f4type(field), f4len(field), f4decimals(field), given, stored))) return;
    // A character field keeps the text as given (leading blanks included); the others take the
    // checked form.
    f4assign(field, f4type(field) == 'C' ? given : stored.c_str());
}

void setFieldBool(Kind kind, const char* name, bool value) {
    DATA4* data = requireTable(kind);
    if (FIELD4* field = d4field(data, name)) f4assignChar(field, value ? 'T' : 'F');
}

void setFieldInt(Kind kind, const char* name, int value) {
    DATA4* data = requireTable(kind);
    FIELD4* field = d4field(data, name);
    if (!field) return;
    const std::string shown = std::to_string(value);
    if (isNumberedField(name)) {
        // Written with leading zeros to the field's width: a negative number or one with more
        // digits would break the link order.
        if (refused(field, shown, value < 0 ? "is not a whole number from 0" : f4numberProblem('N', f4len(field), 0, value)))
            return;
        assignNumbered(field, value);
        return;
    }
    if (refused(field, shown, f4numberProblem(f4type(field), f4len(field), f4decimals(field), value))) return;
    f4assignInt(field, value);
}

void setFieldDouble(Kind kind, const char* name, double value) {
    DATA4* data = requireTable(kind);
    FIELD4* field = d4field(data, name);
    if (!field) return;
    char shown[64];
    std::snprintf(shown, sizeof shown, "%.17g", value);
    if (refused(field, shown, f4numberProblem(f4type(field), f4len(field), f4decimals(field), value))) return;
    f4assignDouble(field, value);
}

void removeDeleted(Kind kind, bool& removed) {
    DATA4* data = kindTable(kind);
    if (!data) return;
    const KindInfo& info = kindInfo(kind);
    showStatus("Checking for deleted records...please wait");
    TAG4* order = d4tagSelected(data);
    d4tagSelect(data, nullptr);
    bool found = false;
    for (int rc = d4top(data); rc == r4success && !d4eof(data) && !found; rc = d4skip(data, 1))
        found = d4deleted(data) != 0;
    d4tagSelect(data, order);
    if (found && askYesNo(info.removeDeletedQuestion)) {
        showStatus("Removing deleted records from database...please wait");
        d4pack(data);
        clearStatus();
        removed = true;
        d4top(data);
        // The holding sections keep the SWMM lines of deleted nodes for a restore; with the
        // records gone for good they go too.
        if (kind == kStorm) {
            if (SWMM_LIST* swmm = dbfStormGetSwmmFile()) {
                swmm->DeleteSection("STORAGE_DEL");
                swmm->DeleteSection("DIVIDERS_DEL");
                swmm->DeleteSection("OUTFALLS_DEL");
                swmm->Save();
            }
        }
    }
    clearStatus();
}

}  // namespace

}  // namespace network

using network::kErf;
using network::kSewer;
using network::kStorm;

// ---------------------------------------------------------------------------------------------
// Sewer

int dbfSewerGetFirstRecord() { return network::firstRecord(kSewer); }
int dbfSewerGetNextRecord() { return network::nextRecord(kSewer); }
int dbfSewerGetRecord(int recno) { return network::gotoRecord(kSewer, recno); }
int dbfSewerGetRecordNo() { return network::recordNo(kSewer); }
int dbfSewerGetRecordCount() { return network::recordCount(kSewer); }
bool dbfSewerDeleted() { return d4deleted(network::kindTable(kSewer)) != 0; }
int dbfSewerBottom() { return d4bottom(network::kindTable(kSewer)); }
int dbfSewerSetIndex(char* tag) { return network::setIndex(kSewer, tag); }
int dbfSewerSeekRecord(char* key, char* tag) { return network::seekRecord(kSewer, key, tag); }
int dbfSewerGetRecordNode(char* key) { return network::seekByTag(kSewer, key, "NODE"); }
int dbfSewerGetRecordNextNode(char* key) { return network::seekByTag(kSewer, key, "NEXT_NODE"); }
void dbfSewerGetField(char* name, char* out, bool trim) { network::getField(kSewer, name, out, trim); }
bool dbfSewerGetFieldBool(char* name) { return network::getFieldBool(kSewer, name); }
int dbfSewerGetFieldInt(char* name) { return network::getFieldInt(kSewer, name); }
double dbfSewerGetFieldDouble(char* name) { return network::getFieldDouble(kSewer, name); }
void dbfSewerSetField(char* name, char* text) { network::setField(kSewer, name, text); }
void dbfSewerSetFieldBool(char* name, bool value) { network::setFieldBool(kSewer, name, value); }
void dbfSewerSetFieldInt(char* name, int value) { network::setFieldInt(kSewer, name, value); }
void dbfSewerSetFieldDouble(char* name, double value) { network::setFieldDouble(kSewer, name, value); }
void dbfSewerRemDelRec(bool& removed) { network::removeDeleted(kSewer, removed); }

// ---------------------------------------------------------------------------------------------
// Storm

int dbfStormGetFirstRecord() { return network::firstRecord(kStorm); }
int dbfStormGetNextRecord() { return network::nextRecord(kStorm); }
int dbfStormGetRecord(int recno) { return network::gotoRecord(kStorm, recno); }
int dbfStormGetRecordNo() { return network::recordNo(kStorm); }
int dbfStormGetRecordCount() { return network::recordCount(kStorm); }
int dbfStormSetIndex(char* tag) { return network::setIndex(kStorm, tag); }
int dbfStormSeekRecord(char* key, char* tag) { return network::seekRecord(kStorm, key, tag); }
int dbfStormGetRecordNode(char* key) { return network::seekByTag(kStorm, key, "NODE"); }
int dbfStormGetRecordNextNode(char* key) { return network::seekByTag(kStorm, key, "NEXT_NODE"); }
int dbfStormGetRecordLink(char* key) { return network::seekByTag(kStorm, key, "LINK_NAME"); }
void dbfStormGetField(char* name, char* out, bool trim) { network::getField(kStorm, name, out, trim); }
bool dbfStormGetFieldBool(char* name) { return network::getFieldBool(kStorm, name); }
int dbfStormGetFieldInt(char* name) { return network::getFieldInt(kStorm, name); }
double dbfStormGetFieldDouble(char* name) { return network::getFieldDouble(kStorm, name); }
void dbfStormSetField(char* name, char* text) { network::setField(kStorm, name, text); }
void dbfStormSetFieldBool(char* name, bool value) { network::setFieldBool(kStorm, name, value); }
void dbfStormSetFieldInt(char* name, int value) { network::setFieldInt(kStorm, name, value); }
void dbfStormSetFieldDouble(char* name, double value) { network::setFieldDouble(kStorm, name, value); }
void dbfStormRemDelRec(bool& removed) { network::removeDeleted(kStorm, removed); }

// ---------------------------------------------------------------------------------------------
// Erf connections

int dbfErfConGetFirstRecord() { return network::firstRecord(kErf); }
int dbfErfConGetNextRecord() { return network::nextRecord(kErf); }
int dbfErfConGetRecord(int recno) { return network::gotoRecord(kErf, recno); }
int dbfErfConGetRecordNo() { return network::recordNo(kErf); }
int dbfErfConGetRecordCount() { return network::recordCount(kErf); }
bool dbfErfConDeleted() { return d4deleted(network::kindTable(kErf)) != 0; }
int dbfErfConSetIndex(char* tag) { return network::setIndex(kErf, tag); }
int dbfErfConSeekRecord(char* key, char* tag) { return network::seekRecord(kErf, key, tag); }
int dbfErfConGetRecordNode(char* key) { return network::seekByTag(kErf, key, "NODE"); }
// The erf-connection table has no NEXT_NODE tag.
int dbfErfConGetRecordNextNode(char*) { return -2; }
void dbfErfConGetField(char* name, char* out, bool trim) { network::getField(kErf, name, out, trim); }
bool dbfErfConGetFieldBool(char* name) { return network::getFieldBool(kErf, name); }
int dbfErfConGetFieldInt(char* name) { return network::getFieldInt(kErf, name); }
double dbfErfConGetFieldDouble(char* name) { return network::getFieldDouble(kErf, name); }
void dbfErfConSetField(char* name, char* text) { network::setField(kErf, name, text); }
void dbfErfConSetFieldBool(char* name, bool value) { network::setFieldBool(kErf, name, value); }
void dbfErfConSetFieldInt(char* name, int value) { network::setFieldInt(kErf, name, value); }
void dbfErfConSetFieldDouble(char* name, double value) { network::setFieldDouble(kErf, name, value); }
void dbfErfConRemDelRec(bool& removed) { network::removeDeleted(kErf, removed); }
