// Display columns: the width and type of a field or computed column, and the text the host shows
// for it (sizes, inflows, areas, volumes, grades, depths), worked out from the current record
// and the kind's settings file.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <strings.h>

#include "network/network_internal.h"
#include "platform/core.h"

namespace network {

namespace {

bool is(const char* name, const char* what) { return strcasecmp(name, what) == 0; }

// "UNITINFLOW3" -> 3 with prefix "UNITINFLOW"; 0 when the name is not one of 1..5.
int slotOf(const char* name, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    if (strncasecmp(name, prefix, n) != 0) return 0;
    const char* rest = name + n;
    return rest[0] >= '1' && rest[0] <= '5' && rest[1] == 0 ? rest[0] - '0' : 0;
}

std::string fieldString(DATA4* data, const char* name) {
    std::string text;
    fieldText(data, name, text);
    return text;
}

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buffer[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

// The link height in millimetres: SIZE1 of a pipe or open drain, SIZE2 of a box, portal or
// custom section, nothing for other links.
double linkHeight(DATA4* data, int category) {
    if (category == 100 || category == 105) return fieldInt(data, "SIZE1");
    if (category >= 101 && category <= 103) return fieldInt(data, "SIZE2");
    return 0.0;
}

// The size of a link as the link table names it; false when the category has no size text.
bool linkTableSizeText(DATA4* data, int category, const char* sizeA, const char* sizeB, std::string& out) {
    const int a = fieldInt(data, sizeA);
    const int b = fieldInt(data, sizeB);
    const int n = fieldInt(data, "NO");
    if (category == 100) {
        out = n == 1 ? format("%d", a) : format("%d x %d", n, a);
        return true;
    }
    if (category >= 101 && category <= 103) {
        out = n == 1 ? format("%d x %d", a, b) : format("%d x %d x %d", n, a, b);
        return true;
    }
    if (category >= 104 && category <= 106) {
        out = fieldString(data, "L_REF");
        return true;
    }
    return false;
}

bool oneOf(const std::string& value, std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (value == name) return true;
    return false;
}

// The size of a link as SWMM describes its cross-section; false for a combination of link
// type and shape that has none.
bool swmmSizeText(DATA4* data, std::string& out) {
    const std::string type = fieldString(data, "LINK_TYPE");
    const std::string shape = fieldString(data, "L_SHAPE");
    const int a = fieldInt(data, "FIX_SIZE1");
    const int b = fieldInt(data, "FIX_SIZE2");
    const int c = fieldInt(data, "FIX_SIZE3");
    const int n = fieldInt(data, "NO");
    const bool one = n == 1;
    if (type == "Conduit") {
        if (oneOf(shape, {"CIRCULAR", "FILLED_CIRCULAR", "EGG", "HORSESHOE", "GOTHIC", "CATENARY",
                          "SEMIELLIPTICAL", "BASKETHANDLE", "SEMICIRCULAR"})) {
            out = one ? format("%d", a) : format("%d x %d", n, a);
            return true;
        }
        if (oneOf(shape, {"RECT_CLOSED", "HORIZ_ELLIPSE", "VERT_ELLIPSE", "ARCH", "PARABOLIC",
                          "MODBASKETHANDLE"})) {
            out = one ? format("%d x %d", a, b) : format("%d x %d x %d", n, a, b);
            return true;
        }
        if (oneOf(shape, {"TRAPEZOIDAL", "RECT_OPEN", "TRIANGULAR"})) {
            out = one ? format("%d x %d", b, a) : format("%d x %d x %d", n, b, a);
            return true;
        }
        if (shape == "POWER") {
            out = one ? format("%d x %d (Exp %.3f)", a, b, c / 1000.0)
                      : format("%d x %d x %d (Exp %.3f)", n, a, b, c / 1000.0);
            return true;
        }
        if (shape == "RECT_TRIANGULAR") {
            out = one ? format("%d x %d (TH %d)", a, b, c) : format("%d x %d x %d (TH %d)", n, a, b, c);
            return true;
        }
        if (shape == "RECT_ROUND") {
            out = one ? format("%d x %d (Rad %d)", a, b, c) : format("%d x %d x %d (Rad %d)", n, a, b, c);
            return true;
        }
        if (shape == "IRREGULAR") {
            out = fieldString(data, "TRANS_NAME");
            return true;
        }
        return false;
    }
    if (type == "Pump" || type == "Outlet") {
        out = fieldString(data, "L_REF");
        return true;
    }
    if (type == "Orifice") {
        if (shape == "CIRCULAR") out = format("%d", a);
        else if (shape == "RECT_CLOSED") out = format("%d x %d", a, b);
        else return false;
        return true;
    }
    if (type == "Weir") {
        out = shape == "TRAPEZOIDAL" ? format("%d x %d", b, a) : format("%d x %d", a, b);
        return true;
    }
    return false;
}

void fieldInfo(Kind kind, const char* name, int& width, int& type) {
    DATA4* data = requireTable(kind);
    if (!data) {
        width = 0;
        type = 0;
        return;
    }
    if (!name) return;
    auto set = [&](int w, int t) {
        width = w;
        type = t;
    };
    if (is(name, "SIZE") || is(name, "FIXSIZE")) return set(15, 'C');
    if (slotOf(name, "UNITINFLOW") || slotOf(name, "HYDROINFLOW")) return set(22, 'C');
    if (is(name, "RATAREA") || is(name, "ILLAREA")) return set(9, 'N');
    if (is(name, "TOTALVOL")) return set(10, 'N');
    if (is(name, "SLOPERATIO")) return set(7, 'N');
    if (is(name, "GRADE") || is(name, "SOFFIT")) return set(9, 'N');
    if (is(name, "REALDEPTH")) return set(6, 'N');
    if (isNumberedField(name)) return set(4, 'N');
    if (is(name, "INLEVEL") || is(name, "OUTLEVEL")) return set(9, 'N');
    if (is(name, "L_SHAPE")) return set(20, 'C');
    if (is(name, "NODE_TYPE")) return set(12, 'C');
    FIELD4* field = d4field(data, name);
    if (!field) return;
    if (is(name, "NODE") || is(name, "NEXT_NODE")) return set(22, f4type(field));
    set(f4len(field), f4type(field));
}

// The display text of a field or computed column; "Unknown" where no rule applies.
std::string displayText(DATA4* data, TINIFile* settings, const char* name) {
    std::string out = "Unknown";
    const bool swmmMode = swmmDisplayMode(settings);
    const std::string linkType = fieldString(data, "L_TYPE");
    int slot = 0;

    if (is(name, "SIZE") || is(name, "FIXSIZE")) {
        if (swmmMode) {
            swmmSizeText(data, out);
        } else {
            const bool fixed = is(name, "FIXSIZE");
            linkTableSizeText(data, linkCategory(settings, linkType.c_str()),
                              fixed ? "FIX_SIZE1" : "SIZE1", fixed ? "FIX_SIZE2" : "SIZE2", out);
        }
    } else if (is(name, "L_TYPE")) {
        std::string text;
        if (fieldText(data, swmmMode ? "L_SHAPE" : "L_TYPE", text)) out = text;
    } else if ((slot = slotOf(name, "UNITINFLOW")) || (slot = slotOf(name, "HYDROINFLOW"))) {
        const bool hydro = slotOf(name, "HYDROINFLOW") != 0;
        char unitsName[16], className[16];
        std::snprintf(unitsName, sizeof unitsName, "INF%d_UNITS", slot);
        std::snprintf(className, sizeof className, hydro ? "INF%d_HYDRO" : "INF%d_CLASS", slot);
        const int units = fieldInt(data, unitsName);
        const std::string inflowClass = fieldString(data, className);
        out = units != 0 && inflowClass.compare(0, 4, "None") != 0
                  ? format("%d x %s", units, inflowClass.c_str())
                  : std::string();
    } else if (is(name, "RATAREA")) {
        out = format("%.3f", fieldDouble(data, "AREA") / 100.0);
    } else if (is(name, "ILLAREA")) {
        out = format("%.3f", fieldDouble(data, "AREA"));
    } else if (is(name, "TOTALVOL")) {
        out = format("%.1f", fieldDouble(data, "PAVED_VOL") + fieldDouble(data, "GRASS_VOL"));
    } else if (is(name, "SLOPERATIO")) {
        const double slope = fieldDouble(data, "SLOPE");
        out = format("%.4f", dblGreater(slope, 0.0) ? 100.0 / slope : 0.0);
    } else if (is(name, "GRADE") || is(name, "SOFFIT") || is(name, "REALDEPTH")) {
        const double h = linkHeight(data, linkCategory(settings, linkType.c_str())) / 1000.0;
        const double inLevel = fieldDouble(data, "INLEVEL");
        const double realDepth = fieldDouble(data, "FLOWDEPTH") * h / 100.0;
        double value = 0.0;
        if (is(name, "SOFFIT")) {
            value = inLevel + h;
        } else if (is(name, "REALDEPTH")) {
            value = realDepth;
        } else {
            char method[21] = {};
            if (settings) settings->GetString("Design Parameters", "Inflow Method", "", method, sizeof method);
            const double velocity = fieldDouble(data, "VELOCITY");
            if (std::strcmp(method, "SWMM") == 0)
                value = fieldDouble(data, "HYDGRADE");
            else if (linkType == "Pump")
                value = inLevel + fieldDouble(data, "HYDGRADE");
            else
                value = velocity * velocity / 19.62 + inLevel + realDepth;
        }
        out = format("%.3f", value);
    } else if (isNumberedField(name)) {
        out = format("%d", fieldInt(data, name));
    } else if (is(name, "INLEVEL") || is(name, "OUTLEVEL")) {
        out = format("%.3f", fieldDouble(data, name));
    } else if (FIELD4* field = d4field(data, name)) {
        if (f4type(field) == 'N' || f4type(field) == 'F')
            out = format("%.*f", f4decimals(field), f4double(field));
        else
            fieldText(data, name, out);
    }
    return out;
}

void fieldString(Kind kind, const char* name, char* out) {
    DATA4* data = requireTable(kind);
    if (!data || !name || !out) return;
    const std::string text = displayText(data, kindSettings(kind), name);
    std::memcpy(out, text.c_str(), text.size() + 1);
}

}  // namespace

}  // namespace network

using network::kErf;
using network::kSewer;
using network::kStorm;

void dbfSewerGetFieldInfo(char* name, int& width, int& type) { network::fieldInfo(kSewer, name, width, type); }
void dbfStormGetFieldInfo(char* name, int& width, int& type) { network::fieldInfo(kStorm, name, width, type); }
void dbfErfConGetFieldInfo(char* name, int& width, int& type) { network::fieldInfo(kErf, name, width, type); }

void dbfSewerGetFieldString(char* name, char* out) { network::fieldString(kSewer, name, out); }
void dbfStormGetFieldString(char* name, char* out) { network::fieldString(kStorm, name, out); }
void dbfErfConGetFieldString(char* name, char* out) { network::fieldString(kErf, name, out); }
