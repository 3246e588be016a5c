// Where strings meet the terrain database: a vertex's terrain point, and the choice of the
// terrain surface that a strings file's vertices become points on.
#include <cstdlib>
#include <cstring>
#include <string>

#include "database/terrain.h"
#include "platform/core.h"
#include "strings/strings_internal.h"

namespace {

constexpr double kPointRefReach = 0.001;   // half-side of the square a vertex's point lies in
constexpr WORD kFirstCandidate = 50;       // free surfaces are looked for from here to 128

// The settings section of a strings file: "StrLines_" + its string name, or
// "StrLines_Road%d" for a road's strings file named by road number.
std::string settingsSection(const char* fileName) {
    const char* slash = std::strrchr(fileName, '/');
    const char* backslash = std::strrchr(fileName, '\\');
    const char* name = fileName;
    if (slash && slash + 1 > name) name = slash + 1;
    if (backslash && backslash + 1 > name) name = backslash + 1;

    std::string field;
    if (const char* dot = std::strchr(name, '.')) {
        const char* end = std::strchr(dot + 1, '.');
        field.assign(dot + 1, end ? end : dot + 1 + std::strlen(dot + 1));
    }
    char trimmed[MAX_PATH];
    coreStrncpy(trimmed, field.c_str(), MAX_PATH);
    coreTrimStr(trimmed);
    if (std::strlen(trimmed) < 4 && std::atoi(trimmed) > 0)
        return "StrLines_Road" + std::to_string(std::atoi(trimmed));
    return std::string("StrLines_") + trimmed;
}

}  // namespace

unsigned CVertexEle::PointRef(WORD surface) {
    NAMEFILT filter;
    dbfSurfaceFilter(filter, surface);
    const RRect area{y + kPointRefReach, y - kPointRefReach, x - kPointRefReach, x + kPointRefReach};
    return dbfFindClosestInArea(area, PNT_3D_record{x, y, z}, &filter, 1, 0);
}

unsigned CVertexEle::MakeDTMPoint(const char* name, WORD surface) {
    if (!dbfValidSurface(surface)) return 0;
    SURVCOORD record;
    dbfPackStruct(name, y, x, z, surface, record);
    unsigned number = 0;
    if (!dbfAddCoord(record, number)) return 0;
    return number;
}

void strChooseSurface(CStringFile& accessor) {
    if (accessor.header.surface != 0) return;
    const std::string section = settingsSection(accessor.FileName());
    WORD surface = static_cast<WORD>(coreGetJobDefaultInt(section.c_str(), "Surf", 0));
    if (surface == 0) {
        for (WORD candidate = kFirstCandidate; candidate <= kDtmSurfaces; ++candidate) {
            NAMEFILT filter;
            dbfSurfaceFilter(filter, candidate);
            if (dbfFindClosest(PNT_3D_record{0.0, 0.0, 0.0}, &filter, 1, 0) == 0) {
                // A terrain with a free surface takes the strings on surface 1.
                surface = 1;
                coreSetJobDefaultInt(section.c_str(), "Surf", surface);
                break;
            }
        }
    }
    accessor.header.surface = surface;
}
