// The pipe-network tables: the input is written as a saved sewer table and opened the way the
// host opens one (work copies, the structure check that rebuilds a table whose fields differ,
// the index check); every record is read field by field and as a link record, and the table
// is closed without saving. The same bytes are then opened as a storm table (with its SWMM
// input kept in step) and as an erf-connection table.
//
// A walk that takes more steps than the table has records has been led round a loop: that is
// reported as a crash here, so that it gives a reproducer instead of a harness that never ends.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "database/network.h"
#include "fuzz_common.h"
#include "platform/core.h"
#include "platform/table.h"

namespace {

// Room for the widest field a dBASE header can declare.
char g_text[70000];

[[noreturn]] void loopFound(const char* walk, long records) {
    std::fprintf(stderr, "fuzz: the %s walk took more steps than the table's %ld records\n", walk, records);
    std::abort();
}

std::vector<std::string> fieldNames(DATA4* data) {
    std::vector<std::string> names;
    FIELD4INFO* info = d4fieldInfo(data);
    for (int i = 0; info && info[i].name; ++i) names.emplace_back(info[i].name);
    u4freeDefault(info);
    return names;
}

struct Kind {
    const char* extension;
    DATA4St* (*open)(char*);
    void (*close)(bool);
    int (*first)();
    int (*next)();
    int (*count)();
    void (*getField)(char*, char*, bool);
    double (*getDouble)(char*);
    bool (*getBool)(char*);
    bool (*linkReader)(void*, LinkRecord&, bool, char*, char*);
};

void readKind(const Kind& kind, const std::string& saved) {
    char path[MAX_PATH];
    coreStrncpy(path, saved.c_str(), sizeof path);
    DATA4* data = kind.open(path);
    if (!data) return;
    const std::vector<std::string> names = fieldNames(data);
    const long records = kind.count();
    long steps = 0;
    for (int rc = kind.first(); rc == r4success; rc = kind.next()) {
        if (++steps > records) loopFound("record", records);
        for (const std::string& name : names) {
            std::vector<char> field(name.begin(), name.end());
            field.push_back(0);
            kind.getField(field.data(), g_text, true);
            kind.getDouble(field.data());
            kind.getBool(field.data());
        }
    }
    if (kind.linkReader) {
        UI_LIST cache;
        LinkRecord link{};
        steps = 0;
        for (bool more = kind.linkReader(nullptr, link, true, reinterpret_cast<char*>(&cache), nullptr); more;
             more = kind.linkReader(nullptr, link, false, reinterpret_cast<char*>(&cache), nullptr))
            if (++steps > records) loopFound("link", records);
    }
    kind.close(false);
}

const Kind kSewer{".sew",
                  dbfSewerOpenFile,
                  dbfSewerCloseFile,
                  dbfSewerGetFirstRecord,
                  dbfSewerGetNextRecord,
                  dbfSewerGetRecordCount,
                  dbfSewerGetField,
                  dbfSewerGetFieldDouble,
                  dbfSewerGetFieldBool,
                  dbfSewerGetRecord};
const Kind kStorm{".stw",
                  dbfStormOpenFile,
                  dbfStormCloseFile,
                  dbfStormGetFirstRecord,
                  dbfStormGetNextRecord,
                  dbfStormGetRecordCount,
                  dbfStormGetField,
                  dbfStormGetFieldDouble,
                  dbfStormGetFieldBool,
                  dbfStormGetRecord};
const Kind kErf{".ecn",
                dbfErfConOpenFile,
                dbfErfConCloseFile,
                dbfErfConGetFirstRecord,
                dbfErfConGetNextRecord,
                dbfErfConGetRecordCount,
                dbfErfConGetField,
                dbfErfConGetFieldDouble,
                dbfErfConGetFieldBool,
                nullptr};

// Every file of an earlier input (saved and work tables, indexes, settings, backups) goes, so
// that each input starts from the same folder.
void removeEarlierFiles() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(fuzz::folder(), ec))
        if (entry.path().filename().string().rfind("net.", 0) == 0) std::filesystem::remove(entry.path(), ec);
}

// Seeds: the tables the library creates for each kind (empty), and a sewer and a storm table
// with a few records.
void makeSeeds(const std::string& out) {
    for (const Kind* kind : {&kSewer, &kStorm, &kErf}) {
        removeEarlierFiles();
        const std::string saved = fuzz::folder() + "net" + kind->extension;
        char path[MAX_PATH];
        coreStrncpy(path, saved.c_str(), sizeof path);
        if (!kind->open(path)) continue;
        kind->close(false);
        fuzz::writeSeed(out, std::string("empty") + (kind->extension + 1), fuzz::readFile(saved));
    }
    // Records go in through the table library, into the empty tables the library made.
    for (const Kind* kind : {&kSewer, &kStorm}) {
        removeEarlierFiles();
        const std::string saved = fuzz::folder() + "net" + kind->extension;
        char path[MAX_PATH];
        coreStrncpy(path, saved.c_str(), sizeof path);
        if (!kind->open(path)) continue;
        kind->close(false);
        CODE4 code{};
        code4initLow(&code, nullptr, 6401, 1300);
        code.autoOpen = 0;
        DATA4* table = d4open(&code, saved.c_str());
        const char* rows[][4] = {{"MH1", "MH2", "150", "100.5"}, {"MH2", "MH3", "225", "99.8"}, {"MH3", "", "300", "99.1"}};
        for (const auto& row : rows) {
            if (!table || d4appendBlank(table) != r4success) break;
            f4assign(d4field(table, "NODE"), row[0]);
            f4assign(d4field(table, "NEXT_NODE"), row[1]);
            f4assign(d4field(table, "SIZE1"), row[2]);
            f4assign(d4field(table, "INLEVEL"), row[3]);
        }
        d4close(table);
        code4initUndo(&code);
        fuzz::writeSeed(out, std::string("links") + (kind->extension + 1), fuzz::readFile(saved));
    }
    removeEarlierFiles();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startLibrary();
    fuzz::seedMode(makeSeeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const Kind* kind : {&kSewer, &kStorm, &kErf}) {
        fuzz::resetUi();
        removeEarlierFiles();
        readKind(*kind, fuzz::writeInput(std::string("net") + kind->extension, data, size));
    }
    removeEarlierFiles();
    return 0;
}
