// The structure check run on every network table when it is opened: a table that lacks defined
// fields, or defines one differently, is rebuilt from a backup copy with the defined fields
// first and its own extra fields after them; the index file is created or completed and always
// rebuilt. The crossing-pipe table goes through the same check with its own lists.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>

#include "database/frame.h"
#include "frame/state.h"
#include "network/network_internal.h"
#include "platform/core.h"

namespace network {

namespace {

// One field of the merged structure while a table is rebuilt.
#pragma pack(push, 1)
struct MergedField {
    char name[12];
    std::int16_t type;
    std::int16_t len;
    std::int16_t dec;
};
#pragma pack(pop)
static_assert(sizeof(MergedField) == 18, "a merged field is 12 name bytes and three 16-bit values");

void clearSwitches(CODE4* code) {
    code->autoOpen = 0;
    code->errOpen = 0;
    code->errTagName = 0;
    code->safety = 0;
}

std::string withExtension(const char* path, const char* extension) {
    char buffer[MAX_PATH];
    coreStrncpy(buffer, path, sizeof buffer);
    coreChangeFileExt(buffer, extension);
    return buffer;
}

bool definedIn(const FIELD4INFO* fields, const char* name) {
    for (int i = 0; fields[i].name; ++i)
        if (strcasecmp(fields[i].name, name) == 0) return true;
    return false;
}

// Creates the index file with the tag list; says so when that fails.
bool createIndex(DATA4* data, const std::string& indexPath, const TAG4INFO* tags) {
    showStatus("Creating index file...please wait");
    if (i4create(data, indexPath.c_str(), tags)) return true;
    showError("Unable to create index file");
    return false;
}

// Opens the existing index file, adds the tags it lacks and rebuilds every tag; creates the
// file when it is missing or unreadable.
bool checkIndex(DATA4* data, const std::string& indexPath, const TAG4INFO* tags) {
    showStatus("Checking the index file..please wait");
    INDEX4* index = i4open(data, indexPath.c_str());
    if (!index) return createIndex(data, indexPath, tags);
    TAG4INFO* present = i4tagInfo(index);
    for (int i = 0; tags[i].name; ++i) {
        bool found = false;
        for (int j = 0; present && present[j].name; ++j)
            if (strcasecmp(present[j].name, tags[i].name) == 0) found = true;
        if (found) continue;
        showStatus(dbfFormatText("Adding %s index...please wait", tags[i].name));
        const TAG4INFO one[2] = {tags[i], {nullptr, nullptr, nullptr, 0, 0}};
        i4tagAdd(index, one);
    }
    u4freeDefault(present);
    showStatus("Rebuilding the index file...please wait");
    d4reindex(data);
    return true;
}

// Copies every record of the backup into the new table, field by field by name.
// false when a record could not be read or written: the rebuilt table then lacks records.
bool copyRecords(DATA4* backup, DATA4* data) {
    const char* text = "Retrieving data from backup";
    showStatus(text);
    const long count = d4recCount(backup);
    const int step = dbfProgressStep(count);
    const int fieldCount = d4numFields(backup);
    bool ok = true;
    for (long recno = 1; ok && recno <= count; ++recno) {
        if (recno % step == 0) dbfDispGraph(static_cast<int>(recno), static_cast<int>(count), text);
        ok = d4go(backup, recno) == r4success && d4appendBlank(data) == r4success;
        if (!ok) break;
        // Records marked deleted arrive unmarked: the blank record carries no mark.
        for (int j = 1; j <= fieldCount; ++j) {
            FIELD4* from = d4fieldJ(backup, j);
            FIELD4* to = from ? d4field(data, f4name(from)) : nullptr;
            if (!from || !to) break;
            f4assignField(to, from);
        }
    }
    if (d4flush(data) != 0) ok = false;
    dbfDispGraph(0, 0, nullptr);
    return ok;
}

// Rebuilds the table at path with the defined fields first and the table's extra fields after
// them, and copies the old records in. data is the open table; it is closed here.
DATA4* rebuild(CODE4* code, DATA4* data, const char* path, int missing, const FIELD4INFO* fields,
               const TAG4INFO* tags, const std::string& indexPath, const CheckOptions& options) {
    FIELD4INFO* present = d4fieldInfo(data);
    const int presentCount = d4numFields(data);
    const int room = missing + presentCount + 1;
    auto* merged = static_cast<MergedField*>(
        u4allocFreeDefault(code, static_cast<long>(room * sizeof(MergedField))));
    auto* list = static_cast<FIELD4INFO*>(
        u4allocFreeDefault(code, static_cast<long>(room * sizeof(FIELD4INFO))));
    if (!merged || !list || !present) {
        u4freeDefault(merged);
        u4freeDefault(list);
        u4freeDefault(present);
        d4close(data);
        showError("Unable to allocate memory for file structure");
        return nullptr;
    }
    int n = 0;
    for (int i = 0; fields[i].name && n < room - 1; ++i, ++n) {
        coreStrncpy(merged[n].name, fields[i].name, sizeof merged[n].name);
        merged[n].type = fields[i].type;
        merged[n].len = static_cast<std::int16_t>(fields[i].len);
        merged[n].dec = static_cast<std::int16_t>(fields[i].dec);
    }
    for (int i = 0; present[i].name && n < room - 1; ++i) {
        if (definedIn(fields, present[i].name)) continue;
        coreStrncpy(merged[n].name, present[i].name, sizeof merged[n].name);
        merged[n].type = present[i].type;
        merged[n].len = static_cast<std::int16_t>(present[i].len);
        merged[n].dec = static_cast<std::int16_t>(present[i].dec);
        ++n;
    }
    u4freeDefault(present);
    for (int i = 0; i < n; ++i) {
        list[i].name = merged[i].name;
        list[i].type = merged[i].type;
        list[i].len = static_cast<unsigned short>(merged[i].len);
        list[i].dec = static_cast<unsigned short>(merged[i].dec);
        list[i].nulls = 0;
    }
    list[n] = FIELD4INFO{nullptr, 0, 0, 0, 0};

    showStatus("Appending additional fields to data file");
    d4close(data);
    showStatus("Creating a backup data file");
    const std::string backupPath = withExtension(path, options.backupExt);
    DATA4* backup = coreBackFile(path, backupPath.c_str()) ? d4open(code, backupPath.c_str()) : nullptr;
    if (!backup) {
        u4freeDefault(merged);
        u4freeDefault(list);
        clearStatus();
        showError("Unable to recover data from backup file");
        return nullptr;
    }

    DATA4* rebuilt = d4create(code, path, list, nullptr);
    u4freeDefault(list);
    u4freeDefault(merged);
    if (!rebuilt) {
        // The old records are safe in the backup, which stays beside the work table.
        d4close(backup);
        clearStatus();
        showError("Unable to recover data from backup file");
        return nullptr;
    }
    if (!createIndex(rebuilt, indexPath, tags)) {
        d4close(backup);
        d4close(rebuilt);
        clearStatus();
        return nullptr;
    }
    const bool copied = copyRecords(backup, rebuilt);
    // The backup stays on disk: the next rebuild replaces it.
    d4close(backup);
    clearStatus();
    if (!copied) {
        // The rebuilt table lacks records; the backup beside it still has them all.
        showError(coreFileErrorText("write", path).c_str());
        d4close(rebuilt);
        return nullptr;
    }
    if (options.leadingZeros) leadingZeroCheck(rebuilt);
    return rebuilt;
}

}  // namespace

DATA4* openAndCheck(CODE4* code, const char* path, const FIELD4INFO* fields, const TAG4INFO* tags,
                    const CheckOptions& options) {
    const std::string indexPath = withExtension(path, options.indexExt);
    clearSwitches(code);
    DATA4* data = d4open(code, path);
    if (!data) {
        // A file that is there but does not open is damaged: it is reported, never replaced.
        if (coreFileExist(path)) return nullptr;
        showStatus("Creating a new data file");
        data = d4create(code, path, fields, nullptr);
        if (!data) {
            clearStatus();
            return nullptr;
        }
        if (options.leadingZeros) leadingZeroCheck(data);
        if (!createIndex(data, indexPath, tags)) {
            d4close(data);
            clearStatus();
            return nullptr;
        }
        clearStatus();
        return data;
    }

    showStatus("Checking the file data structure...please wait");
    int missing = 0;
    bool changed = false;
    for (int i = 0; fields[i].name; ++i) {
        FIELD4* field = d4field(data, fields[i].name);
        if (!field) {
            ++missing;
            continue;
        }
        if (f4type(field) != fields[i].type || f4len(field) != fields[i].len ||
            f4decimals(field) != fields[i].dec)
            changed = true;
    }

    if (!changed && missing == 0) {
        if (options.leadingZeros) leadingZeroCheck(data);
        if (!checkIndex(data, indexPath, tags)) {
            d4close(data);
            clearStatus();
            return nullptr;
        }
        clearStatus();
        return data;
    }
    return rebuild(code, data, path, missing, fields, tags, indexPath, options);
}

DATA4* openAndCheckKind(const char* workTable, Kind kind) {
    const KindInfo& info = kindInfo(kind);
    const CheckOptions options{info.workIndexExt, info.backupExt, kind != kErf};
    return openAndCheck(&dbfState().code, workTable, info.fields, info.tags, options);
}

void leadingZeroCheck(DATA4* data) {
    if (d4top(data) != r4success) return;
    FIELD4* subnet = d4field(data, "SUBNET");
    if (!subnet) return;
    char text[5] = {};
    coreStrncpy(text, f4str(subnet), sizeof text);
    char padded[32];
    std::snprintf(padded, sizeof padded, "%04d", numberedValue(text));
    if (std::strcmp(text, padded) == 0) return;

    const long count = d4recCount(data);
    for (long recno = 1; recno <= count; ++recno) {
        if (d4go(data, recno) != r4success) break;
        for (const char* name : {"SUBNET", "BRANCH", "LINKNO"}) {
            FIELD4* field = d4field(data, name);
            if (field) assignNumbered(field, numberedValue(f4str(field)));
        }
    }
    d4flush(data);
    d4top(data);
}

}  // namespace network

// ---------------------------------------------------------------------------------------------
// The crossing-pipe table

CCrossingPipeTable::CCrossingPipeTable() : code_{}, fileName_{} {}

CCrossingPipeTable::~CCrossingPipeTable() {
    if (code_.initialised) code4initUndo(&code_);
}

bool CCrossingPipeTable::Open(const char* path, bool create) {
    code4initLow(&code_, nullptr, 6401, 1300);
    coreStrncpy(fileName_, path ? path : "", sizeof fileName_);
    if (!coreFileExist(fileName_)) {
        if (!create || !*fileName_) return false;
        // A stale index file beside a missing table would lend the new table old tags: it goes
        // first. Its name is the file name up to the first '.' of the name itself.
        std::string stale = fileName_;
        const std::size_t nameStart = stale.find_last_of("/\\") == std::string::npos
                                          ? 0
                                          : stale.find_last_of("/\\") + 1;
        const std::size_t dot = stale.find('.', nameStart);
        if (dot != std::string::npos) stale.erase(dot);
        coreFileDelete((stale + ".mdx").c_str());
        coreFileDelete((stale + ".MDX").c_str());
        DATA4* data = d4create(&code_, fileName_, network::crossFields, network::crossTags);
        if (!data) return false;
        d4close(data);
        return true;
    }
    const network::CheckOptions options{".MDX", ".DBB", false};
    DATA4* data = network::openAndCheck(&code_, fileName_, network::crossFields,
                                        network::crossTags, options);
    if (!data) return false;
    d4close(data);
    return true;
}
