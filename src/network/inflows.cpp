// Inflow units at sewer nodes, inflow hydrograph tables and the design storm file.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "database/frame.h"
#include "network/network_internal.h"
#include "platform/core.h"

namespace network {

namespace {

constexpr int kSlots = 5;
constexpr int kSlotNameLength = 15;   // INFn_CLASS and INFn_HYDRO are C 15
// The entries a save considers when it looks for the last one in use.
constexpr int kSaveScanEntries = 5038;

// A field name of a slot: "INF%d_CLASS" and the like.
std::string slotField(int slot, const char* suffix) {
    char name[16];
    std::snprintf(name, sizeof name, "INF%d_%s", slot, suffix);
    return name;
}

std::string slotName(DATA4* data, int slot, const char* suffix) {
    std::string text;
    fieldText(data, slotField(slot, suffix).c_str(), text);
    return text;
}

void setText(const std::string& field, const char* text) {
    char name[16];
    coreStrncpy(name, field.c_str(), sizeof name);
    std::string value = text;
    dbfSewerSetField(name, value.data());
}

void setCount(const std::string& field, int value) {
    char name[16];
    coreStrncpy(name, field.c_str(), sizeof name);
    dbfSewerSetFieldInt(name, value);
}

// The name as a slot keeps it (cut to the field's width, trailing blanks off), so that a long
// name finds its own slot again.
std::string asStored(const char* name) {
    std::string text(name, strnlen(name, kSlotNameLength));
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

bool isFree(const std::string& name) { return name.empty() || name == "None"; }

// Adds units to the first slot that is free or holds the name. false when all five hold others.
bool addToSlot(DATA4* data, const char* suffix, const std::string& name, int units) {
    for (int slot = 1; slot <= kSlots; ++slot) {
        const std::string held = slotName(data, slot, suffix);
        if (!isFree(held) && held != name) continue;
        setCount(slotField(slot, "UNITS"), fieldInt(data, slotField(slot, "UNITS").c_str()) + units);
        setText(slotField(slot, suffix), name.c_str());
        return true;
    }
    return false;
}

void removeFromSlot(DATA4* data, const char* suffix, const std::string& name, int units) {
    for (int slot = 1; slot <= kSlots; ++slot) {
        if (slotName(data, slot, suffix) != name) continue;
        const std::string countField = slotField(slot, "UNITS");
        const int count = fieldInt(data, countField.c_str());
        if (count <= units) {
            setCount(countField, 0);
            setText(slotField(slot, suffix), "None");
        } else {
            setCount(countField, count - units);
        }
        return;
    }
}

void reportFull(const char* kind, const char* name, const char* outcome) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "Unable to add inflow %s %s to node inflow.\nExceeding the maximum inflow %s types at a node.\n%s",
                  kind, name, kind, outcome);
    showError(text);
}

// ---------------------------------------------------------------------------------------------
// Hydrograph tables

const FIELD4INFO kHydrographFields[] = {
    {"TIME", 'N', 5, 0, 0},
    {"INFLOW", 'N', 13, 5, 0},
    {nullptr, 0, 0, 0, 0},
};

// A context of its own, so that a hydrograph table never disturbs the network tables' one.
struct HydrographContext {
    CODE4 code{};
    HydrographContext() {
        code4initLow(&code, nullptr, 6401, 1300);
        code.autoOpen = 0;
        code.errOpen = 0;
        code.safety = 0;
    }
    ~HydrographContext() { code4initUndo(&code); }
    HydrographContext(const HydrographContext&) = delete;
    HydrographContext& operator=(const HydrographContext&) = delete;
};

// The folder of path exists (a bare file name stands in the current folder).
bool hydrographFolderExists(const char* path) {
    char folder[MAX_PATH] = {};
    coreExtractFilePath(path, folder);
    if (!*folder || coreFolderExist(folder)) return true;
    char text[MAX_PATH + 80];
    std::snprintf(text, sizeof text, "Path: %-s\nspecified for the inflow hydrograph does not exist", folder);
    showError(text);
    return false;
}

// Creates the table of kHydrographEntries zero records at path. true when it was written whole.
bool createBlankHydrograph(const char* path) {
    HydrographContext context;
    DATA4* data = d4create(&context.code, path, kHydrographFields, nullptr);
    bool ok = data != nullptr;
    const int step = dbfProgressStep(kHydrographEntries);
    for (int i = 0; ok && i < kHydrographEntries; ++i) {
        if (i % step == 0) dbfDispGraph(i, kHydrographEntries, "Creating hydrograph file...please wait");
        ok = d4appendBlank(data) == 0;
        if (ok) {
            f4assignInt(d4field(data, "TIME"), 0);
            f4assignDouble(d4field(data, "INFLOW"), 0.0);
        }
    }
    if (data && d4close(data) != 0) ok = false;
    dbfDispGraph(0, 0, nullptr);
    if (!ok) {
        coreFileDelete(path);
        showError("Unable to create inflow hydrograph file");
    }
    return ok;
}

// The first value of times/flows that the hydrograph fields cannot hold, said in a message
// naming the file; true when every entry fits.
bool hydrographFits(const char* path, const int* times, const double* flows, int count) {
    for (int i = 0; i < count; ++i) {
        const char* problem = f4numberProblem('N', 5, 0, times[i]);
        const char* which = "TIME";
        double shown = times[i];
        if (!problem) {
            problem = std::isfinite(flows[i]) ? f4numberProblem('N', 13, 5, flows[i]) : "is not a number";
            which = "INFLOW";
            shown = flows[i];
        }
        if (problem) {
            char text[MAX_PATH + 160];
            std::snprintf(text, sizeof text, "Unable to save %s: the %s of entry %d (%.17g) %s", path, which, i + 1,
                          shown, problem);
            showError(text);
            return false;
        }
    }
    return true;
}

// How many entries a save writes (see dbfSaveInflowHydrograph).
int hydrographEntriesToSave(const int* times, const double* flows) {
    for (int i = kSaveScanEntries - 1; i >= 0; --i)
        if (times[i] > 0 && flows[i] > 0.00001) return i + 2;
    return kSaveScanEntries + 1;
}

}  // namespace

}  // namespace network

using network::kSewer;

int sewerAddInflowUnits(char* method, char* name, int units) {
    DATA4* data = network::requireTable(kSewer);
    if (!data || !method || !name) return 0;
    const std::string stored = network::asStored(name);
    if (std::strcmp(method, "Unit Flow") == 0) {
        if (!network::addToSlot(data, "CLASS", stored, units))
            network::reportFull("class", name, "Inflow class will be set to None.");
    } else if (std::strcmp(method, "Harmon") == 0) {
        network::setCount("HARM_UNIT", network::fieldInt(data, "HARM_UNIT") + units);
    } else if (std::strcmp(method, "Hydrograph") == 0) {
        if (!network::addToSlot(data, "HYDRO", stored, units))
            network::reportFull("hydrograph", name, "Inflow hydrograph will be set to None.");
    }
    return 0;
}

void sewerRemoveInflowUnits(char* method, char* name, int units) {
    DATA4* data = network::kindTable(kSewer);
    if (!data || !method || !name || !*name) return;
    const std::string stored = network::asStored(name);
    if (std::strcmp(method, "Unit Flow") == 0) {
        network::removeFromSlot(data, "CLASS", stored, units);
    } else if (std::strcmp(method, "Harmon") == 0) {
        const int left = network::fieldInt(data, "HARM_UNIT") - units;
        network::setCount("HARM_UNIT", left > 0 ? left : 0);
    } else if (std::strcmp(method, "Hydrograph") == 0) {
        network::removeFromSlot(data, "HYDRO", stored, units);
    }
}

int dbfOpenInflowHydrograph(char* path, int* times, double* flows) {
    if (!path || !times || !flows || !network::hydrographFolderExists(path)) return 1;
    std::memset(times, 0, sizeof(int) * kHydrographEntries);
    std::memset(flows, 0, sizeof(double) * kHydrographEntries);
    if (!coreFileExist(path)) return network::createBlankHydrograph(path) ? 0 : 1;
    network::HydrographContext context;
    DATA4* data = d4open(&context.code, path);
    FIELD4* time = data ? d4field(data, "TIME") : nullptr;
    FIELD4* flow = data ? d4field(data, "INFLOW") : nullptr;
    if (!time || !flow) {
        // A file that is there but is no hydrograph table is never replaced by a blank one.
        std::string text = data ? "Unable to read " + std::string(path) + ": the table has no TIME or INFLOW field"
                                : coreFileErrorText("open", path);
        if (data) d4close(data);
        network::showError(text.c_str());
        return 1;
    }
    const long count = d4recCount(data);
    for (long r = 1; r <= count && r <= kHydrographEntries; ++r) {
        d4go(data, r);
        times[r - 1] = f4int(time);
        const double value = f4double(flow);
        flows[r - 1] = std::isfinite(value) ? value : 0.0;
    }
    d4close(data);
    return 0;
}

int dbfSaveInflowHydrograph(char* path, int* times, double* flows) {
    if (!path || !times || !flows || !network::hydrographFolderExists(path)) return 1;
    const int count = network::hydrographEntriesToSave(times, flows);
    if (!network::hydrographFits(path, times, flows, count)) return 1;
    if (!coreFileCanWrite(path)) {
        network::showError(coreFileErrorText("save", path).c_str());
        return 1;
    }
    // Written beside the file and renamed over it, so that a failed write leaves the old table.
    const std::string temporary = std::string(path) + ".~hy";
    bool ok;
    {
        network::HydrographContext context;
        coreFileClearError();
        DATA4* data = d4create(&context.code, temporary.c_str(), network::kHydrographFields, nullptr);
        ok = data != nullptr;
        for (int i = 0; ok && i < count; ++i) {
            ok = d4appendBlank(data) == 0;
            if (ok) {
                f4assignInt(d4field(data, "TIME"), times[i]);
                f4assignDouble(d4field(data, "INFLOW"), flows[i]);
            }
        }
        if (data && d4close(data) != 0) ok = false;
    }
    if (ok) ok = coreFileRename(temporary.c_str(), path) != 0;
    if (!ok) {
        const std::string text = coreFileErrorText("save", path);
        coreFileDelete(temporary.c_str());
        network::showError(text.c_str());
    }
    return ok ? 0 : 1;
}

// ---------------------------------------------------------------------------------------------
// The design storm

namespace network {

namespace {

constexpr int kCurrentStormFormat = 6;
constexpr int kOlderStormSize = 1032;
constexpr int kOlderNameOffset = 854;
constexpr int kOlderIntensities = 200;

template <typename T>
T readLittle(const unsigned char* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Widens the older layout into the record.
void widenOlderStorm(const unsigned char* bytes, storm& record) {
    for (int i = 0; i < 7; ++i) record.values[i] = readLittle<std::int16_t>(bytes + 2 * i);
    for (int i = 0; i < 5; ++i) record.depths[i] = readLittle<double>(bytes + 14 + 8 * i);
    for (int i = 0; i < kOlderIntensities; ++i) record.intensities[i] = readLittle<float>(bytes + 54 + 4 * i);
    const int nameBytes = kOlderStormSize - kOlderNameOffset;
    std::memset(record.name, 0, sizeof record.name);
    std::memcpy(record.name, bytes + kOlderNameOffset, nameBytes);
    record.name[nameBytes] = 0;
    // In memory the record is of the current layout; a save writes it so.
    record.format = kCurrentStormFormat;
}

void reportStormFile(const char* action, const char* path, const char* reason) {
    std::string text = "Unable to " + std::string(action) + " " + path + ": " + reason;
    showError(text.c_str());
}

}  // namespace

}  // namespace network

static_assert(sizeof(float) == 4 && sizeof(double) == 8, "the storm file holds IEEE single and double values");

storm* dbfStorm() {
    storm& record = network::networkState().designStorm;
    std::memset(record.values, 0, sizeof record.values);
    std::memset(record.depths, 0, sizeof record.depths);
    std::memset(record.intensities, 0, sizeof(double) * network::kOlderIntensities);
    std::memset(record.name, 0, sizeof record.name);
    return &record;
}

storm* dbfStormReadStorm(char* path) {
    storm& record = network::networkState().designStorm;
    if (!path || std::strcmp(path, "None") == 0) return &record;
    std::memset(record.intensities, 0, sizeof record.intensities);
    FILE* file = coreFileOpen(path, "rb");
    if (!file) {
        network::showError(coreFileErrorText("open", path).c_str());
        return &record;
    }
    const std::int64_t length = coreFileLength(file);
    std::int32_t marker = 0;
    bool ok = coreFileBinRead(&marker, sizeof marker, file) && coreFileSetPointer(0, 0, file);
    if (ok && marker == network::kCurrentStormFormat) {
        storm loaded;
        ok = length >= static_cast<std::int64_t>(sizeof loaded) && coreFileBinRead(&loaded, sizeof loaded, file);
        if (ok) {
            loaded.name[sizeof loaded.name - 1] = 0;
            record = loaded;
        }
    } else if (ok) {
        unsigned char bytes[network::kOlderStormSize];
        ok = length >= network::kOlderStormSize && coreFileBinRead(bytes, sizeof bytes, file);
        if (ok) network::widenOlderStorm(bytes, record);
    }
    coreFileClose(file);
    if (!ok) {
        dbfStorm();
        network::reportStormFile("read", path, "the file is shorter than a design storm record");
        return &record;
    }
    double total = 0.0;
    for (double intensity : record.intensities) total += record.values[4] * intensity / 60.0;
    record.depths[3] = total;
    return &record;
}

bool dbfStormSaveStorm(char* path) {
    if (!path) return false;
    const storm& record = network::networkState().designStorm;
    if (!coreFileCanWrite(path)) {
        network::showError(coreFileErrorText("save", path).c_str());
        return false;
    }
    const std::string temporary = std::string(path) + ".~st";
    coreFileClearError();
    FILE* file = coreFileOpen(temporary.c_str(), "wb");
    bool ok = file && coreFileBinWrite(&record, sizeof record, file);
    if (file && !coreFileCloseChecked(file)) ok = false;
    if (ok) ok = coreFileRename(temporary.c_str(), path) != 0;
    if (!ok) {
        const std::string text = coreFileErrorText("save", path);
        coreFileDelete(temporary.c_str());
        network::showError(text.c_str());
    }
    return ok;
}
