// Chainages as text (kilometre and metre parts, curve point labels), the chainage equations of
// the design settings section "LongShort", and the layer names of section "RoadLayerNames" with
// the combo box that offers them.
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <strings.h>

#include "database/frame.h"
#include "database/road.h"
#include "platform/core.h"
#include "road/road_state.h"
#include "terrain/terrain_state.h"

namespace {

constexpr const char* kFromStrings = "<From Strings>";

// The label of curve point kind 1..4: the one read with the terrain database, or its key.
const char* curveLabel(int kind) {
    static const char* const keys[4] = {"BTC", "BC", "EC", "ETC"};
    const char* label = terrainState().roadLabels[kind - 1];
    return label[0] ? label : keys[kind - 1];
}

bool isWhole(double c) { return std::fabs(c - std::floor(c)) <= dblTolerance(std::floor(c)); }

// The chainage as km and metres: zero-padded to three metre digits (padded) or without leading
// zeros. Empty when a padded name has no format for the decimals.
std::string chainageText(double c, int decimals, const char* separator, bool padded) {
    const double km = std::floor(c / 1000.0);
    const double m = c - km * 1000.0;
    char text[128] = {};
    if (separator[0] && !dblIsZero(km)) {
        if (isWhole(c)) {
            std::snprintf(text, sizeof text, padded ? "%.0f%s%03.0lf" : "%.0f%s%.0lf", km, separator, m);
        } else if (!padded) {
            std::snprintf(text, sizeof text, "%.0f%s%.*lf", km, separator, decimals, m);
        } else {
            if (decimals < 0 || decimals > 6) return std::string();
            // The metre part always shows three integer digits.
            const int width = decimals == 0 ? 3 : 4 + decimals;
            std::snprintf(text, sizeof text, "%.0f%s%0*.*lf", km, separator, width, decimals, m);
        }
    } else if (isWhole(c)) {
        std::snprintf(text, sizeof text, "%.0lf", c);
    } else {
        std::snprintf(text, sizeof text, "%.*lf", decimals, c);
    }
    return text;
}

void loadLayerNames(int roadId) {
    RoadState& r = roadState();
    for (int i = 0; i < kRoadLayers; ++i) std::snprintf(r.layerNames[i], sizeof r.layerNames[i], "Layer %d", i + 1);

    INI_LIST* names = dbfGetDesFile();
    std::unique_ptr<INI_LIST> other;
    if (roadId != 0) {
        char file[MAX_PATH];
        char number[16];
        std::snprintf(number, sizeof number, "%d", roadId);
        dbfFileName(file, number, kFileRoadDes, 0);
        if (strcasecmp(file, names->FileName()) != 0) {
            other = std::make_unique<INI_LIST>(file);
            names = other.get();
        }
    }
    for (const std::string& entry : names->SectionLines("RoadLayerNames")) {
        char line[512];
        coreStrncpy(line, entry.c_str(), sizeof line);
        coreTrimStr(line);
        const int layer = coreGetFieldInt(line, 0, 1, ',');
        if (layer < 1 || layer > kRoadLayers) continue;
        coreGetField(line, "", r.layerNames[layer - 1], kLayerNameChars + 1, 2, ',');
    }
    r.layerNamesLoaded = true;
}

}  // namespace

void dbfChgName(char* text, int size, CHGBASE& chg, int numberBase, int decimals, CString separator,
                int withChainage) {
    if (!text || size < 1) return;
    const double c = chg.chainage;
    if (!std::isfinite(c)) {
        // A chainage that is no number has no name.
        text[0] = '\0';
        return;
    }
    std::string name;
    if (chg.kind == kChgOrdinary || chg.kind == kChgOrdinary2) {
        name = chainageText(c, decimals, separator.c_str(), true);
    } else if (chg.kind >= kChgTransitionStart && chg.kind <= kChgTransitionEnd) {
        char label[64];
        std::snprintf(label, sizeof label, "%s%d", curveLabel(chg.kind), chg.number + numberBase);
        name = label;
        if (withChainage) name += ": " + chainageText(c, decimals, separator.c_str(), false);
    } else {
        name = " ";
    }
    coreStrncpy(text, name.c_str(), size);
}

void dbfRoadLoadEquations() {
    RoadState& r = roadState();
    r.equationCount = 0;
    for (const std::string& entry : dbfGetDesFile()->SectionLines("LongShort")) {
        if (r.equationCount >= kEquationsMax) break;
        ChainageEquation e;
        e.from = coreGetFieldDouble(entry.c_str(), 0.0, 1, ',');
        e.to = coreGetFieldDouble(entry.c_str(), 0.0, 2, ',');
        e.adjustment = coreGetFieldDouble(entry.c_str(), 0.0, 3, ',');
        if (!std::isfinite(e.from) || !std::isfinite(e.to) || !std::isfinite(e.adjustment)) {
            dbfFormatText("The chainage equation \"%s\" of the design settings is not made of numbers: it is ignored",
                          entry.c_str());
            ErrorMessage(dbfState().text, dbfOwner());
            continue;
        }
        r.equations[r.equationCount++] = e;
    }
}

namespace {

const ChainageEquation* equationFor(double chg) {
    const RoadState& r = roadState();
    for (int i = 0; i < r.equationCount; ++i) {
        const ChainageEquation& e = r.equations[i];
        if (dblGreater(chg, e.from) && dblLessEqual(chg, e.to)) return &e;
    }
    return nullptr;
}

}  // namespace

double dbfChgEquation(double chg) {
    const ChainageEquation* e = equationFor(chg);
    return e ? chg + e->adjustment : chg;
}

double dbfEquationChg(double chg) {
    const ChainageEquation* e = equationFor(chg);
    return e ? chg - e->adjustment : chg;
}

char* dbfRoadLayerName(char* name, short layer, int roadId) {
    if (!name) return name;
    if (layer < 1 || layer > kRoadLayers) {
        std::strcpy(name, "No Layer");
        return name;
    }
    RoadState& r = roadState();
    if (!r.layerNamesLoaded) loadLayerNames(roadId);
    coreStrncpy(name, r.layerNames[layer - 1], kLayerNameChars + 1);
    return name;
}

short dbfRoadLayerNumber(char* name) {
    if (!name) return 1;
    coreTrimStr(name);
    if (std::strcmp(name, kFromStrings) == 0) return kRoadLayerFromStrings;
    char layerName[kLayerNameChars + 1];
    for (short layer = 1; layer <= kRoadLayers; ++layer) {
        dbfRoadLayerName(layerName, layer, 0);
        coreTrimStr(layerName);
        if (strcasecmp(layerName, name) == 0) return layer;
    }
    return 1;
}

int dbfRoadLayerBox(CComboBox* box, int select, int roadId) {
    if (!box) return 0;
    if (select >= 1) {
        box->ResetContent();
        // One load of the names serves all 128 entries.
        roadState().layerNamesLoaded = false;
        char name[kLayerNameChars + 1];
        for (short layer = 1; layer <= kRoadLayers; ++layer) box->AddString(dbfRoadLayerName(name, layer, roadId));
        roadState().layerNamesLoaded = false;
        box->SetCurSel((select < kRoadLayers ? select : kRoadLayers) - 1);
        return 1;
    }
    if (select == 0) {
        const int layer = box->GetCurSel() + 1;
        return layer < 1 ? 1 : (layer > kRoadLayers ? kRoadLayers : layer);
    }
    const int wanted = (-select < kRoadLayers ? -select : kRoadLayers) - 1;
    box->SetCurSel(wanted < 0 ? 0 : wanted);
    return 1;
}
