// The table library's reader: the input is a dBASE table, optionally followed by the marker
// "#TAGS#" and tag definitions, one a line ("name;expression;filter;unique;descending"). The
// table is opened (d4open), every record and field is read in record order, the tags are built
// over it (i4create, which parses the key and filter expressions), and each tag is walked and
// sought.
//
// A walk that takes more steps than the table has records has been led round a loop: that is
// reported as a crash here, so that it gives a reproducer instead of a harness that never ends.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_common.h"
#include "platform/core.h"
#include "platform/table.h"

namespace {

constexpr std::string_view kTagsMarker = "#TAGS#";

CODE4 g_code{};

[[noreturn]] void loopFound(const char* walk, long records) {
    std::fprintf(stderr, "fuzz: the %s walk took more steps than the table's %ld records\n", walk, records);
    std::abort();
}

void readFields(DATA4* data) {
    d4deleted(data);
    const int count = d4numFields(data);
    for (int j = 1; j <= count; ++j) {
        FIELD4* field = d4fieldJ(data, j);
        f4name(field);
        f4str(field);
        f4char(field);
        f4long(field);
        f4double(field);
        f4true(field);
        f4len(field);
        f4type(field);
        f4decimals(field);
    }
}

// Walks the current order forwards and backwards, bounded by the record count.
void walk(DATA4* data, const char* name) {
    const long records = d4recCount(data);
    long steps = 0;
    for (int rc = d4top(data); rc == r4success && !d4eof(data); rc = d4skip(data, 1)) {
        if (++steps > records) loopFound(name, records);
        readFields(data);
    }
    steps = 0;
    for (int rc = d4bottom(data); rc == r4success && !d4bof(data); rc = d4skip(data, -1))
        if (++steps > records) loopFound(name, records);
}

// "name;expression;filter;unique;descending" lines; the strings are kept in `store`.
std::vector<TAG4INFO> parseTags(const std::string& text, std::vector<std::string>& store) {
    std::vector<std::vector<std::string>> rows;
    std::size_t at = 0;
    while (at < text.size() && rows.size() < 16) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::vector<std::string> cells;
        std::size_t start = at;
        for (std::size_t i = at; i <= end; ++i)
            if (i == end || text[i] == ';') {
                cells.push_back(text.substr(start, i - start));
                start = i + 1;
            }
        cells.resize(5);
        rows.push_back(cells);
        at = end + 1;
    }
    store.clear();
    store.reserve(rows.size() * 3);
    std::vector<TAG4INFO> tags;
    for (const auto& cells : rows) {
        store.push_back(cells[0]);
        const char* tagName = store.back().c_str();
        store.push_back(cells[1]);
        const char* expression = store.back().c_str();
        store.push_back(cells[2]);
        const char* filter = store.back().c_str();
        tags.push_back(TAG4INFO{tagName, expression, filter, static_cast<short>(std::atoi(cells[3].c_str())),
                                static_cast<unsigned short>(std::atoi(cells[4].c_str()) != 0)});
    }
    tags.push_back(TAG4INFO{nullptr, nullptr, nullptr, 0, 0});
    return tags;
}

void walkTags(DATA4* data) {
    char key[256] = {};
    if (d4top(data) == r4success) {
        for (TAG4* tag = d4tagNext(data, nullptr); tag; tag = d4tagNext(data, tag)) {
            d4tagSelect(data, tag);
            t4alias(tag);
            t4expr(tag);
            t4keyLen(tag);
            walk(data, "tag");
        }
    }
    // Seeks in every tag with the first record's first field and a number.
    d4tagSelect(data, nullptr);
    if (d4top(data) == r4success && d4numFields(data) > 0) coreStrncpy(key, f4str(d4fieldJ(data, 1)), sizeof key);
    const long records = d4recCount(data);
    for (TAG4* tag = d4tagNext(data, nullptr); tag; tag = d4tagNext(data, tag)) {
        d4tagSelect(data, tag);
        d4seek(data, key);
        long steps = 0;
        while (d4seekNext(data, key) == r4success)
            if (++steps > records) loopFound("seek", records);
        d4seekDouble(data, 12.5);
    }
}

void fuzzTable(const std::string& tablePath, const std::string& tagText) {
    code4initLow(&g_code, nullptr, 6401, 1300);
    g_code.autoOpen = 0;
    g_code.errOpen = 0;
    DATA4* data = d4open(&g_code, tablePath.c_str());
    if (!data) return;
    FIELD4INFO* info = d4fieldInfo(data);
    u4freeDefault(info);
    walk(data, "record");
    for (long recno = 1; recno <= d4recCount(data) && recno <= 100000; ++recno)
        if (d4go(data, recno) == r4success) readFields(data);
    if (!tagText.empty()) {
        std::vector<std::string> store;
        const std::vector<TAG4INFO> tags = parseTags(tagText, store);
        if (INDEX4* index = i4create(data, nullptr, tags.data())) {
            TAG4INFO* present = i4tagInfo(index);
            u4freeDefault(present);
            walkTags(data);
            d4reindex(data);
        }
    }
    d4close(data);
    code4initUndo(&g_code);
}

// Seeds: a table of every field type with a few records (one deleted) and tags of every kind of
// key; an empty table; a table without tags.
void makeSeeds(const std::string& out) {
    const std::string path = fuzz::folder() + "seed.dbf";
    const FIELD4INFO fields[] = {{"NODE", 'C', 12, 0, 0},   {"SUBNET", 'C', 4, 0, 0},
                                 {"SIZE1", 'N', 8, 2, 0},   {"LEVEL", 'F', 10, 3, 0},
                                 {"SELECTED", 'L', 1, 0, 0}, {"BUILT", 'D', 8, 0, 0},
                                 {nullptr, 0, 0, 0, 0}};
    const char* tagText = "NODE;NODE;;0;0\nSIZES;SUBNET+STR(SIZE1,4,0);SELECTED;1;0\n"
                          "LEVELS;LEVEL;.NOT.SELECTED;0;1\nLIVE;NODE;.NOT.DELETED();0;0";
    code4initLow(&g_code, nullptr, 6401, 1300);
    g_code.autoOpen = 0;
    DATA4* data = d4create(&g_code, path.c_str(), fields, nullptr);
    d4close(data);
    fuzz::writeSeed(out, "empty", fuzz::readFile(path) + std::string(kTagsMarker) + tagText);

    data = d4create(&g_code, path.c_str(), fields, nullptr);
    const char* nodes[] = {"MH1", "MH2", "MH10", "OUT"};
    for (int i = 0; i < 4; ++i) {
        d4appendBlank(data);
        f4assign(d4field(data, "NODE"), nodes[i]);
        f4assignInt(d4field(data, "SUBNET"), 1 + i % 2);
        f4assignDouble(d4field(data, "SIZE1"), 150.0 + 75.0 * i);
        f4assignDouble(d4field(data, "LEVEL"), 100.125 - i);
        f4assignInt(d4field(data, "SELECTED"), i % 2);
        f4assign(d4field(data, "BUILT"), "20240131");
        if (i == 2) d4delete(data);
    }
    d4close(data);
    const std::string table = fuzz::readFile(path);
    fuzz::writeSeed(out, "records", table + std::string(kTagsMarker) + tagText);
    fuzz::writeSeed(out, "records_untagged", table);
    code4initUndo(&g_code);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startLibrary();
    fuzz::seedMode(makeSeeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::resetUi();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t marker = input.find(kTagsMarker);
    const std::string_view table = input.substr(0, marker);
    const std::string tags = marker == std::string_view::npos
                                 ? std::string()
                                 : std::string(input.substr(marker + kTagsMarker.size()));
    std::remove((fuzz::folder() + "input.mdx").c_str());
    const std::string path = fuzz::writeInput("input.dbf", std::string(table));
    fuzzTable(path, tags);
    return 0;
}
