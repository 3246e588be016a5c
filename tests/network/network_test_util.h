// Helpers of the network tests: tables written and read on a context of their own, so that the
// library's shared context only ever sees what the library itself opens.
#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/library_fixture.h"
#include "database/network.h"
#include "platform/table.h"

namespace nettest {

struct Field {
    std::string name;
    char type;
    int len;
    int dec;
};

// Opens a table on disk without its index on a context of its own, calls use, and closes it.
inline void withTable(const std::string& path, const std::function<void(DATA4*)>& use) {
    CODE4 code{};
    code4initLow(&code, nullptr, 6401, 1300);
    code.autoOpen = 0;
    code.errOpen = 0;
    if (DATA4* data = d4open(&code, path.c_str())) {
        use(data);
        d4close(data);
    }
    code4initUndo(&code);
}

// The structure of a table on disk, in order.
inline std::vector<Field> structureOf(const std::string& path) {
    std::vector<Field> out;
    withTable(path, [&](DATA4* data) {
        for (int j = 1; j <= d4numFields(data); ++j) {
            FIELD4* f = d4fieldJ(data, j);
            out.push_back({f4name(f), static_cast<char>(f4type(f)), f4len(f), f4decimals(f)});
        }
    });
    return out;
}

// "NAME T len dec" of the fields at the given places, joined by ", ".
inline std::string describe(const std::vector<Field>& fields, std::initializer_list<size_t> at) {
    std::string out;
    for (size_t i : at)
        out += (out.empty() ? "" : ", ") + (i < fields.size() ? fields[i].name + " " + fields[i].type + " " + std::to_string(fields[i].len) +
                                                                   " " + std::to_string(fields[i].dec)
                                                             : "<none>");
    return out;
}

// Writes a table with the fields; fill is called once per record, standing on a new blank one.
inline void writeTable(const std::string& path, const std::vector<FIELD4INFO>& fieldsIn, int records,
                       const std::function<void(DATA4*, int)>& fill) {
    CODE4 code{};
    code4initLow(&code, nullptr, 6401, 1300);
    std::vector<FIELD4INFO> fields = fieldsIn;
    fields.push_back({nullptr, 0, 0, 0, 0});
    DATA4* data = d4create(&code, path.c_str(), fields.data(), nullptr);
    ASSERT_NE(data, nullptr) << path;
    for (int i = 1; i <= records; ++i) {
        ASSERT_EQ(d4appendBlank(data), 0);
        fill(data, i);
    }
    d4close(data);
    code4initUndo(&code);
}

// Reads one field of every record in physical order, blanks trimmed.
inline std::vector<std::string> columnOf(const std::string& path, const char* name) {
    std::vector<std::string> out;
    withTable(path, [&](DATA4* data) {
        for (long r = 1; r <= d4recCount(data); ++r) {
            d4go(data, r);
            std::string text = f4str(d4field(data, name));
            while (!text.empty() && text.back() == ' ') text.pop_back();
            out.push_back(text);
        }
    });
    return out;
}

// Checks that the text holds each fragment.
inline void expectHolds(const std::string& text, std::initializer_list<const char*> fragments) {
    for (const char* fragment : fragments) EXPECT_NE(text.find(fragment), std::string::npos) << fragment << " in\n" << text.substr(0, 3000);
}

// The library's members take writable names.
inline char* C(const char* text) { return const_cast<char*>(text); }

// The tags of a sewer table.
inline const char* const kSewerTags[] = {"NODE", "NEXT_NODE", "OVER_NODE", "LINKORDER", "CULVERT", "BEDDING", "GEOCODE", "SIZE"};

inline void set(DATA4* data, const char* name, const char* text) { f4assign(d4field(data, name), text); }
inline void set(DATA4* data, const char* name, double value) { f4assignDouble(d4field(data, name), value); }

}  // namespace nettest

// A library test with helpers for the sewer and storm tables of the project (tmp/Site.*).
class NetworkTest : public LibraryTest {
protected:
    std::string sewerPath() const { return file("Site.sew"); }
    std::string stormPath() const { return file("Site.stw"); }

    DATA4* openSewer() {
        std::string path = sewerPath();
        return dbfSewerOpenFile(path.data());
    }
    DATA4* openStorm() {
        std::string path = stormPath();
        return dbfStormOpenFile(path.data());
    }

    // Appends a record to an open table and fills it.
    static void append(DATA4* data, const std::function<void(DATA4*)>& fill) {
        ASSERT_EQ(d4appendBlank(data), 0);
        fill(data);
        d4flush(data);
    }
    // Appends a record with the given fields (name=value pairs as texts).
    static void appendWith(DATA4* data, std::initializer_list<std::pair<const char*, const char*>> values) {
        append(data, [&](DATA4* d) {
            for (const auto& [name, value] : values) nettest::set(d, name, value);
        });
    }

    // Opens the sewer table, appends a record per node and closes it saved.
    void saveSewer(std::initializer_list<const char*> nodes) {
        ASSERT_NE(openSewer(), nullptr);
        for (const char* node : nodes) appendWith(dbfState().sewerTable, {{"NODE", node}});
        ui.answers = {IDYES};
        dbfSewerCloseFile(true);
    }

    // Saves a sewer table of one record, SAVED, and leaves a work table beside it whose record
    // is named node instead.
    void leaveWorkTable(const char* node) {
        saveSewer({"SAVED"});
        std::filesystem::copy_file(sewerPath(), file("Site.SET"));
        nettest::withTable(file("Site.SET"), [&](DATA4* d) {
            d4go(d, 1);
            f4assign(d4field(d, "NODE"), node);
        });
    }

    bool statusShown(const std::string& text) const {
        for (const std::string& t : cad.helpTextHistory())
            if (t == text) return true;
        return false;
    }

    // Calls a family member that takes a writable name.
    static std::string displayOf(void (*get)(char*, char*), const char* name) {
        char field[32];
        std::strncpy(field, name, sizeof field - 1);
        field[sizeof field - 1] = 0;
        char out[256] = "untouched";
        get(field, out);
        return out;
    }
};
