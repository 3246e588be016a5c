// Surfaces: the status byte of each of the 128 surfaces (kept in the file header), and their
// names and drawing layers (kept in the project's job settings).
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "database/frame.h"
#include "platform/core.h"
#include "terrain/terrain_state.h"

namespace {

constexpr unsigned kNameChars = 25;
constexpr unsigned kLayerChars = 32;
constexpr char kNoSurface[] = "No Surface";

bool validNumber(unsigned n) { return n >= 1 && n <= kDtmSurfaces; }

BYTE& statusOf(unsigned n) { return terrainState().header.surfaceStatus[n - 1]; }

void refreshLegend() {
    if (dbfState().hooks.refreshSurfaceLegend) dbfState().hooks.refreshSurfaceLegend();
}

void loadNames() {
    TerrainState& t = terrainState();
    if (t.surfaceNamesLoaded) return;
    char key[16], def[96], value[256], defName[32];
    for (unsigned n = 1; n <= kDtmSurfaces; ++n) {
        std::snprintf(key, sizeof key, "Surf%u", n);
        std::snprintf(def, sizeof def, "Surface %u,1,1,1,Surf{NUMBER}{TYPE}", n);
        std::snprintf(defName, sizeof defName, "Surface %u", n);
        coreGetJobDefault("Terrain", key, def, value, sizeof value);
        coreGetField(value, defName, t.surfaceNames[n - 1], kNameChars + 1, 1, ',');
        coreGetField(value, "Surf{NUMBER}{TYPE}", t.surfaceLayers[n - 1], kLayerChars + 1, 5, ',');
    }
    t.surfaceNamesLoaded = true;
}

}  // namespace

int dbfActiveSurface(WORD number) {
    return validNumber(number) && (statusOf(number) & kSurfaceActive) ? 1 : 0;
}

int dbfValidSurface(WORD number) {
    if (!validNumber(number)) {
        terrainError("Invalid layer specified");
        return 0;
    }
    if (statusOf(number) & kSurfaceActive) return 1;
    char question[128];
    std::snprintf(question, sizeof question, "%s is not currently active.\nDo you want to activate it ?",
                  dbfSurfaceName(number));
    if (AfxMessageBox(dbfOwner(), question, "Activate", MB_YESNO | MB_ICONQUESTION) != IDYES) return 0;
    statusOf(number) |= kSurfaceActive | kSurfaceShown;
    refreshLegend();
    return 1;
}

WORD dbfStripSurfFlags(WORD word, WORD* flags) {
    if (flags) *flags = word & (kSurfaceAny | kSurfaceFlag4000 | kSurfaceFlag8000);
    const WORD n = word & 0xFF;
    return n > kDtmSurfaces ? static_cast<WORD>(kDtmSurfaces) : n;
}

int dbfCheckSurface(WORD a, WORD b) {
    const WORD sa = a & 0xFF, sb = b & 0xFF;
    if ((b & kSurfaceAny) && dbfActiveSurface(sa)) return 1;
    if ((a & kSurfaceAny) && !(b & kSurfaceAny) && dbfActiveSurface(sb)) return 1;
    return sa == sb && dbfActiveSurface(sa) ? 1 : 0;
}

int dbfCheckSurfaceFlag(BYTE a, BYTE b, char mask) {
    return a == b && validNumber(a) && (statusOf(a) & static_cast<BYTE>(mask)) ? 1 : 0;
}

void dbfSelectAllSurfaces() {
    for (unsigned n = 1; n <= kDtmSurfaces; ++n) statusOf(n) |= kSurfaceActive | kSurfaceShown;
    refreshLegend();
}

int dbfGetSurfaceStatus(WORD number, char mask) {
    return validNumber(number) ? statusOf(number) & static_cast<BYTE>(mask) : 0;
}

void dbfSetSurfaceStatus(WORD number, BYTE status, int refresh) {
    if (!validNumber(number)) return;
    statusOf(number) = status;
    if (refresh) refreshLegend();
}

int dbfPureSurface(SURVCOORD* record) { return record ? record->surface & 0xFF : 0; }

char* dbfSurfaceName(char* buffer, WORD number) {
    if (!buffer) return buffer;
    std::strcpy(buffer, dbfSurfaceName(static_cast<WORD>(number % 256)));
    return buffer;
}

const char* dbfSurfaceName(WORD number) {
    if (!validNumber(number)) return kNoSurface;
    loadNames();
    return terrainState().surfaceNames[number - 1];
}

WORD dbfSurfaceNumber(char* text) {
    if (!text) return 1;
    coreTrimStr(text);
    loadNames();
    for (unsigned n = 1; n <= kDtmSurfaces; ++n)
        if (strcasecmp(terrainState().surfaceNames[n - 1], text) == 0) return static_cast<WORD>(n);
    return 1;
}

void dbfSetSurfaceName(const char* text, WORD number) {
    if (!validNumber(number) || !text) return;
    coreStrncpy(terrainState().surfaceNames[number - 1], text, kNameChars + 1);
}

char* dbfSurfaceLayer(char* buffer, WORD number) {
    if (!buffer) return buffer;
    if (!validNumber(number)) {
        std::strcpy(buffer, "Undefined{NUMBER]{TYPE}");
        return buffer;
    }
    loadNames();
    std::strcpy(buffer, terrainState().surfaceLayers[number - 1]);
    return buffer;
}

void dbfSetSurfaceLayer(const char* text, WORD number) {
    if (!validNumber(number) || !text) return;
    coreStrncpy(terrainState().surfaceLayers[number - 1], text, kLayerChars + 1);
}
