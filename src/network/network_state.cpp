// The network's part of the library state, the fixed texts of each kind, and the small helpers
// the family shares.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "database/frame.h"
#include "frame/state.h"
#include "network/network_internal.h"
#include "platform/os.h"

namespace network {

namespace {

const KindInfo kSewerInfo = {
    kSewer, sewerFields, sewerTags,
    nullptr, ".mdx", ".sed", ".seg", nullptr,
    ".SET", ".SEX", ".SEI", ".SEH", nullptr,
    ".SEB", ".elk", "Sewer.SED",
    "No sewer database",
    "Unable to create sewer data file, error code is %d",
    "Existing sewer work file found. This occurs if the file was not saved correctly.\n\n"
    "Would you like to reuse this file and recover the data?",
    "Creating sewer working file...please wait",
    "Opening existing sewer working file...please wait",
    "Unable to open sewer data file",
    "Checking for deleted records...please wait",
    "Remove deleted records from sewer data file",
    "Removing deleted records from database...please wait",
    "Save changes to sewer data file",
    "Saving changes to sewer data...please wait",
    "Saving sewer data...please wait",
    "Remove deleted records from sewer data file",
};

const KindInfo kStormInfo = {
    kStorm, stormFields, stormTags,
    nullptr, ".mdx", ".std", ".stg", ".inp",
    ".STT", ".STX", ".STI", ".STH", ".STS",
    ".STB", ".wlk", "Storm.STD",
    "No storm database",
    "Unable to create storm data file, error code is %d",
    "Existing storm work file found. This occurs if the file was not saved correctly.\n"
    "Would you like to reuse this file and recover the data?",
    "Creating storm working file...please wait",
    "Opening existing storm working file...please wait",
    "Unable to open storm data file",
    "Checking for deleted records...please wait",
    "Remove deleted records from storm data file",
    "Removing deleted records from database...please wait",
    "Save changes to storm data file",
    "Saving changes to storm data...please wait",
    "Saving storm data...please wait",
    "Remove deleted records from storm data file",
};

const KindInfo kErfInfo = {
    kErf, erfFields, erfTags,
    ".ecn", ".eix", nullptr, nullptr, nullptr,
    ".ECT", ".EIT", nullptr, nullptr, nullptr,
    ".EIB", nullptr, nullptr,
    "No erf connection database",
    "Unable to create erf connection data file, error code is %d",
    "Existing erf connection file found. This occurs if the file was not saved correctly.\n\n"
    "Would you like to reuse this file and recover the data?",
    "Creating erf connection file...please wait",
    "Opening existing erf connection file...please wait",
    "Unable to open erf connection data file",
    "Checking for deleted erf connection records...please wait",
    "Remove deleted erf connection records from data file",
    "Removing deleted erf connection records from database...please wait",
    "Save changes to erf connections data file",
    "Saving changes to erf connection data...please wait",
    "Saving erf connection data...please wait",
    "Remove deleted records from erf connection data file",
};

void resetNetworkState();

NetworkState& rawState() {
    static NetworkState state;
    return state;
}

void resetNetworkState() {
    // The handles themselves belong to the table context, which the frame's reset undoes.
    rawState() = NetworkState();
}

// Shut-down closes what is still open, without questions: the work files stay behind and are
// offered for reuse at the next open.
void closeNetworksAtShutDown() {
    for (Kind kind : {kSewer, kStorm, kErf}) {
        if (DATA4* data = kindTable(kind)) d4close(data);
        setKindTable(kind, nullptr);
        kindState(kind).open = false;
    }
}

int registerNetworkState() {
    dbfState().hooks.closeNetworks = closeNetworksAtShutDown;
    return dbfRegisterStatePart(resetNetworkState);
}

}  // namespace

const KindInfo& kindInfo(Kind kind) {
    switch (kind) {
    case kSewer: return kSewerInfo;
    case kStorm: return kStormInfo;
    default: return kErfInfo;
    }
}

NetworkState& networkState() {
    static const int registered = registerNetworkState();
    (void)registered;
    return rawState();
}

KindState& kindState(Kind kind) {
    NetworkState& s = networkState();
    switch (kind) {
    case kSewer: return s.sewer;
    case kStorm: return s.storm;
    default: return s.erf;
    }
}

DATA4* kindTable(Kind kind) {
    switch (kind) {
    case kSewer: return dbfState().sewerTable;
    case kStorm: return dbfState().stormTable;
    default: return networkState().erfTable;
    }
}

void setKindTable(Kind kind, DATA4* data) {
    switch (kind) {
    case kSewer: dbfState().sewerTable = data; break;
    case kStorm: dbfState().stormTable = data; break;
    default: networkState().erfTable = data; break;
    }
}

TINIFile* kindSettings(Kind kind) {
    return kind == kStorm ? dbfState().stormSettings.get() : dbfState().sewerSettings.get();
}

DATA4* requireTable(Kind kind) {
    DATA4* data = kindTable(kind);
    if (!data) showError(kindInfo(kind).noTable);
    return data;
}

std::string libraryFile(const char* name) {
    std::string folder = dbfState().moduleFolderOverride;
    if (folder.empty()) folder = osLibraryFolder();
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
    return folder + name;
}

void showStatus(const char* text) { dbfDispStatus(text, kStatusResetBusy); }

void clearStatus() { dbfDispStatus(nullptr, kStatusClear); }

void showError(const char* text) { ErrorMessage(text, dbfOwner()); }

bool askYesNo(const char* question) {
    // The system message box shows the application's title; the main frame carries it.
    HWND owner = dbfOwner();
    const std::string caption = owner ? owner->windowText() : std::string();
    return AfxMessageBox(owner, question, caption.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool fieldText(DATA4* data, const char* name, std::string& out) {
    out.clear();
    FIELD4* field = d4field(data, name);
    if (!field) return false;
    out = f4str(field);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return true;
}

bool isNumberedField(const char* name) {
    return name && (strcasecmp(name, "SUBNET") == 0 || strcasecmp(name, "BRANCH") == 0 ||
                    strcasecmp(name, "LINKNO") == 0);
}

int numberedValue(const char* text) {
    if (!text) return 0;
    while (*text == ' ') ++text;
    bool negative = false;
    if (*text == '-') {
        negative = true;
        ++text;
    }
    while (*text == '0') ++text;
    // Base 10 always: a leading zero must never turn the rest into an octal number.
    long value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*text)) && value < 1000000000L; ++text)
        value = value * 10 + (*text - '0');
    return static_cast<int>(negative ? -value : value);
}

int fieldInt(DATA4* data, const char* name) {
    FIELD4* field = d4field(data, name);
    if (!field) return 0;
    return isNumberedField(name) ? numberedValue(f4str(field)) : f4int(field);
}

double fieldDouble(DATA4* data, const char* name) {
    FIELD4* field = d4field(data, name);
    return field ? f4double(field) : 0.0;
}

void assignNumbered(FIELD4* field, int value) {
    if (!field) return;
    char text[64];
    std::snprintf(text, sizeof text, "%0*d", f4len(field), value);
    f4assign(field, text);
}

int linkCategory(TINIFile* settings, const char* linkType) {
    if (std::strcmp(linkType, "Reservoir") == 0) return 104;
    if (std::strcmp(linkType, "Pump") == 0) return 106;
    if (std::strcmp(linkType, "Rising Main") == 0) return 107;
    if (!settings) return 999;
    for (int n = 1; n <= 15; ++n) {
        char section[32];
        std::snprintf(section, sizeof section, "Link Type %d", n);
        if (settings->GetString(section, "Name", "") != linkType) continue;
        const std::string type = settings->GetString(section, "Type", "");
        if (type == "Pipe") return 100;
        if (type == "Box") return 101;
        if (type == "Portal") return 102;
        if (type == "Custom") return 103;
        if (type == "Open Drain") return 105;
        return 999;
    }
    return 999;
}

bool swmmDisplayMode(TINIFile* settings) {
    if (!settings) return false;
    char method[21] = {};
    settings->GetString("Design Parameters", "Inflow Method", "", method, sizeof method);
    return std::strcmp(method, "SWMM") == 0 &&
           settings->GetInt("Design Parameters", "Use Link Tables for SWMM", 1) == 0;
}

}  // namespace network
