// Link records: the host walks a sewer or storm network link by link and gets each link's ends,
// levels, sizes and hydraulic results without knowing the table's fields. Nominal sizes are
// resolved through the link table of the kind's settings file ("Link Type %d" sections with
// their "Set%d" size sets), with the host's cache in front of it.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "frame/state.h"
#include "network/network_internal.h"
#include "platform/core.h"

namespace network {

namespace {

// The "Link Type %d" section whose "Name" is the link type, found by walking the sections until
// the first nameless one. Gives the section name and its kind ("Type", default "Pipe").
bool findLinkTypeSection(TINIFile* settings, const char* linkType, std::string& section,
                         std::string& kind) {
    if (!settings || !linkType || !*linkType) return false;
    for (int n = 1;; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "Link Type %d", n);
        const std::string typeName = settings->GetString(name, "Name", "");
        if (typeName.empty()) return false;
        if (typeName != linkType) continue;
        section = name;
        kind = settings->GetString(name, "Type", "Pipe");
        return true;
    }
}

// The size sets of a link type section, in order up to the first empty one.
std::vector<std::string> sizeSets(TINIFile* settings, const std::string& section) {
    std::vector<std::string> sets;
    for (int n = 1;; ++n) {
        char key[32];
        std::snprintf(key, sizeof key, "Set%d", n);
        std::string set = settings->GetString(section.c_str(), key, "");
        if (set.empty()) return sets;
        sets.push_back(std::move(set));
    }
}

int setValue(const std::string& set, int index) { return coreGetFieldInt(set.c_str(), 0, index, ','); }
double setReal(const std::string& set, int index) { return coreGetFieldDouble(set.c_str(), 0.0, index, ','); }

bool isSectionKind(const std::string& kind) { return kind == "Box" || kind == "Portal" || kind == "Custom"; }

// Applies resolved sizes to the record by the link kind.
void applyResolved(LinkRecord& rec, const std::string& kind, int resolved2, int resolved4) {
    if (kind == "Pipe") {
        rec.size2 = resolved2;
        rec.size4 = resolved4;
    } else if (kind == "Box" || kind == "Portal") {
        rec.size2 = resolved4;
        rec.size4 = resolved4;
    } else if (kind == "Custom") {
        rec.size4 = resolved4;
    }
}

// A cached element matches on its type name and on the sizes the link table would match: both
// nominal sizes for sections, size 1 for pipes (a pipe's sets are found by size 1 alone, so the
// cache gives what the table walk would).
bool cacheMatches(const DiaEle& ele, const LinkRecord& rec) {
    if (std::strcmp(ele.linkType, rec.linkType) != 0) return false;
    const std::string kind = ele.kind;
    if (kind == "Pipe") return ele.nominal1 == rec.size1;
    if (isSectionKind(kind)) return ele.nominal1 == rec.size1 && ele.nominal2 == rec.size2;
    return false;
}

void resolveSizes(Kind kind, LinkRecord& rec, UI_LIST* cache) {
    TINIFile* settings = kindSettings(kind);
    std::string section, linkKind;
    if (!findLinkTypeSection(settings, rec.linkType, section, linkKind)) return;

    if (cache) {
        for (UI_ELEMENT* e = cache->Head(); e; e = e->Next()) {
            const auto& ele = static_cast<const DiaEle&>(*e);
            if (!cacheMatches(ele, rec)) continue;
            applyResolved(rec, ele.kind, ele.resolved2, ele.resolved4);
            return;
        }
    }

    int resolved2 = rec.size2, resolved4 = rec.size4;
    bool matched = false;
    for (const std::string& set : sizeSets(settings, section)) {
        if (setValue(set, 1) != rec.size1) continue;
        if (linkKind == "Pipe") {
            resolved2 = setValue(set, 2);
            resolved4 = setValue(set, 3);
            matched = true;
            break;
        }
        // Sections go on from the first set of the right size 1 to the one whose size 2 fits.
        if (isSectionKind(linkKind) && setValue(set, 2) == rec.size2) {
            resolved4 = setValue(set, 4);
            if (linkKind != "Custom") resolved2 = resolved4;
            matched = true;
            break;
        }
    }
    if (!matched) return;
    const int nominal2 = rec.size2;
    applyResolved(rec, linkKind, resolved2, resolved4);
    if (!cache) return;
    DiaEle* ele = kind == kStorm ? new StormDiaEle : new DiaEle;
    coreStrncpy(ele->linkType, rec.linkType, sizeof ele->linkType);
    coreStrncpy(ele->kind, linkKind.c_str(), sizeof ele->kind);
    ele->nominal1 = rec.size1;
    ele->nominal2 = nominal2;
    ele->resolved2 = resolved2;
    ele->resolved4 = resolved4;
    cache->Add(ele);
}

void copyTrimmed(DATA4* data, const char* name, char* out, int size) {
    std::string text;
    fieldText(data, name, text);
    coreStrncpy(out, text.c_str(), size);
}

bool readLink(Kind kind, LinkRecord& rec, bool first, char* cache) {
    DATA4* data = kindTable(kind);
    if (!data) return false;
    d4tagSelect(data, nullptr);
    const long previous = d4recNo(data);
    const int moved = first ? d4top(data) : d4skip(data, 1);
    if (moved != r4success || d4eof(data)) {
        if (previous >= 1 && previous <= d4recCount(data)) d4go(data, previous);
        return false;
    }
    const long here = d4recNo(data);

    rec.name[0] = 0;
    copyTrimmed(data, "NODE", rec.upNode, sizeof rec.upNode);
    copyTrimmed(data, "NEXT_NODE", rec.downNode, sizeof rec.downNode);
    rec.size1 = rec.size3 = fieldInt(data, "SIZE1");
    rec.size2 = rec.size4 = fieldInt(data, "SIZE2");
    rec.upY = fieldDouble(data, "Y_COORD");
    rec.upX = fieldDouble(data, "X_COORD");
    rec.upInvert = fieldDouble(data, "INLEVEL");
    rec.downInvert = fieldDouble(data, "OUTLEVEL");
    copyTrimmed(data, "L_TYPE", rec.linkType, sizeof rec.linkType);
    rec.barrels = fieldInt(data, "NO");

    // The downstream end is the node the link reaches; a link to no known node ends where it
    // starts. The key is the field as stored, blanks included, so "N1" never finds "N10".
    rec.downY = rec.upY;
    rec.downX = rec.upX;
    FIELD4* next = d4field(data, "NEXT_NODE");
    TAG4* nodeTag = d4tag(data, "NODE");
    if (next && nodeTag && *rec.downNode) {
        const std::string key = f4str(next);
        d4tagSelect(data, nodeTag);
        if (d4seek(data, key.c_str()) == r4success) {
            rec.downY = fieldDouble(data, "Y_COORD");
            rec.downX = fieldDouble(data, "X_COORD");
        }
        d4tagSelect(data, nullptr);
        d4go(data, here);
    }

    resolveSizes(kind, rec, reinterpret_cast<UI_LIST*>(cache));

    rec.length = fieldDouble(data, "LENGTH");
    rec.slope = fieldDouble(data, "SLOPE");
    rec.designFlow = fieldDouble(data, "DESFLOW");
    rec.capacity = fieldDouble(data, "CAPACITY");
    rec.velocity = fieldDouble(data, "VELOCITY");
    rec.flowDepth = fieldDouble(data, "FLOWDEPTH");
    const double rise = rec.velocity * rec.velocity / 19.62 + (rec.size1 / 1000.0) * rec.flowDepth / 100.0;
    rec.upGrade = rec.upInvert + rise;
    rec.downGrade = rec.downInvert + rise;
    rec.flag = 0;
    return true;
}

void linkTableData(Kind kind, PipeEle* pipe) {
    TINIFile* settings = kindSettings(kind);
    if (!pipe || !settings) return;
    std::string section, linkKind;
    if (!findLinkTypeSection(settings, pipe->linkType, section, linkKind)) return;
    coreStrncpy(pipe->kind, linkKind.c_str(), sizeof pipe->kind);
    for (const std::string& set : sizeSets(settings, section)) {
        if (linkKind == "Pipe") {
            if (!dblEqual(setReal(set, 1), pipe->nominal1)) continue;
            pipe->dimension1 = setReal(set, 2);
            pipe->dimension2 = setReal(set, 3);
            return;
        }
        if (isSectionKind(linkKind)) {
            if (!dblEqual(setReal(set, 1), pipe->nominal1) || !dblEqual(setReal(set, 2), pipe->nominal2))
                continue;
            pipe->dimension1 = setReal(set, 2);
            pipe->dimension2 = setReal(set, 4);
            return;
        }
        if (kind == kStorm && linkKind == "Open Drain") {
            char drain[64] = {};
            coreGetField(set.c_str(), "", drain, sizeof drain, 1, ',');
            if (std::strcmp(drain, pipe->drainName) != 0) continue;
            pipe->dimension2 = setReal(set, 3);
            return;
        }
    }
}

}  // namespace

}  // namespace network

bool dbfSewerGetRecord(void*, LinkRecord& record, bool first, char* cache, char*) {
    return network::readLink(network::kSewer, record, first, cache);
}

bool dbfStormGetRecord(void*, LinkRecord& record, bool first, char* cache, char*) {
    return network::readLink(network::kStorm, record, first, cache);
}

void dbfSewerGetLinkTableData(PipeEle* pipe) { network::linkTableData(network::kSewer, pipe); }
void dbfStormGetLinkTableData(PipeEle* pipe) { network::linkTableData(network::kStorm, pipe); }

bool dbfRillmarGetRecord(void*, LinkRecord& record, bool first, char* cache, char* unused2) {
    DbfLinkReaderHook reader = dbfState().linkReaderHook;
    return reader ? reader(nullptr, record, first, cache, unused2) : false;
}
