// The storm table's SWMM 5 input file: the network sections written from the table, node lines
// renamed, deleted and restored through the holding sections, and older outlet lines converted.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "database/frame.h"
#include "network/network_internal.h"
#include "platform/core.h"
#include "platform/tolerance.h"

namespace network {

namespace {

constexpr double kDefaultManning = 0.011;
constexpr int kLinkTypeSections = 15;
constexpr int kLinkTypeSets = 49;

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    std::string text = buffer;
    // The line formats end with a line end; the list keeps line ends apart from the text.
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string trim(const std::string& text) {
    size_t b = text.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    size_t e = text.find_last_not_of(" \t");
    return text.substr(b, e - b + 1);
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Integer part of a size in metres given in millimetres; the tiny allowance keeps 0.29 m from
// reading as 289 mm after the binary round trip.
int millimetres(double metres) { return static_cast<int>(metres * 1000.0 + (metres >= 0 ? 1e-7 : -1e-7)); }

std::string commaField(const std::string& text, int index) {
    int field = 1;
    size_t start = 0;
    while (field < index) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) return std::string();
        start = comma + 1;
        ++field;
    }
    size_t comma = text.find(',', start);
    return trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
}

double commaDouble(const std::string& text, int index) {
    const std::string field = commaField(text, index);
    const double value = field.empty() ? 0.0 : std::atof(field.c_str());
    return std::isfinite(value) ? value : 0.0;
}

double settingDouble(TINIFile* settings, const char* section, const char* key, double def) {
    const double value = settings->GetDouble(section, key, def);
    return std::isfinite(value) ? value : def;
}

// ---------------------------------------------------------------------------------------------
// The link types of the settings file, read once per update

struct LinkType {
    std::string name;
    std::string kind;          // "Type"
    bool hasManning = false;
    double manning = kDefaultManning;
    std::vector<std::string> sets;   // "Set1".."Set49"; empty where missing
};

struct Design {
    TINIFile* settings = nullptr;
    bool linkTables = true;
    double fixedSize1 = 0.0;   // metres
    double size1 = 0.0;        // millimetres
    std::vector<LinkType> linkTypes;
    std::map<std::string, int> categories;

    explicit Design(TINIFile* ini) : settings(ini) {
        linkTables = ini->GetInt("Design Parameters", "Use Link Tables for SWMM", 1) == 1;
        fixedSize1 = settingDouble(ini, "SwmmNodeLinkDefaults", "FixedSize1", 0.0);
        size1 = settingDouble(ini, "Design Parameters", "Size1", 0.0);
        for (int n = 1; n <= kLinkTypeSections; ++n) {
            const std::string section = format("Link Type %d", n);
            LinkType type;
            type.name = ini->GetString(section.c_str(), "Name", "");
            type.kind = ini->GetString(section.c_str(), "Type", "");
            const std::string manning = ini->GetString(section.c_str(), "Manning", "");
            type.hasManning = !trim(manning).empty();
            if (type.hasManning) type.manning = settingDouble(ini, section.c_str(), "Manning", kDefaultManning);
            for (int s = 1; s <= kLinkTypeSets; ++s)
                type.sets.push_back(ini->GetString(section.c_str(), format("Set%d", s).c_str(), ""));
            linkTypes.push_back(std::move(type));
        }
    }

    const LinkType* find(const std::string& name) const {
        for (const LinkType& type : linkTypes)
            if (!type.name.empty() && type.name == name) return &type;
        return nullptr;
    }

    int category(const std::string& linkType) {
        auto it = categories.find(linkType);
        if (it == categories.end()) it = categories.emplace(linkType, linkCategory(settings, linkType.c_str())).first;
        return it->second;
    }

    // A size the record does not give, in metres.
    double defaultSize1() const { return linkTables ? size1 / 1000.0 : fixedSize1; }
};

// ---------------------------------------------------------------------------------------------
// Writing lines into the file

// Appends lines at the end of sections and finds lines by key, remembering where each
// section ends and which keys it holds, so that a network of many nodes is written in one pass.
class LineWriter {
public:
    explicit LineWriter(SWMM_LIST* list) : list_(list) {}

    SWMM_LINE* append(const char* section, const std::string& text) {
        const std::string name = upper(section);
        auto it = tails_.find(name);
        SWMM_LINE* anchor = it != tails_.end() ? it->second : list_->SectionLast(section);
        SWMM_LINE* line = anchor ? list_->InsertLine(anchor, text.c_str()) : list_->AppendNoKey(section, text.c_str());
        tails_[name] = line;
        auto keys = keys_.find(name);
        if (keys != keys_.end() && line) keys->second.emplace(upper(line->Key()), line);
        return line;
    }

    // The first data line of a section whose key is the name (comments and blanks skipped).
    SWMM_LINE* find(const char* section, const std::string& key) {
        const std::string name = upper(section);
        auto keys = keys_.find(name);
        if (keys == keys_.end()) {
            keys = keys_.emplace(name, std::unordered_map<std::string, SWMM_LINE*>()).first;
            for (SWMM_LINE* line : list_->SectionLines(section))
                if (!line->IsComment() && !line->IsBlank()) keys->second.emplace(upper(line->Key()), line);
        }
        auto hit = keys->second.find(upper(trim(key)));
        return hit == keys->second.end() ? nullptr : hit->second;
    }

    // Empties a section for writing it anew: its lines go, its header stays where it is (a
    // section missing is made at the end of the file), followed by a blank line when another
    // section comes after it. The section's heading comments are written next.
    void restart(const char* section, std::initializer_list<const char*> heading) {
        const std::string name = upper(section);
        SWMM_LINE* header = list_->FindSection(section);
        if (header) {
            for (SWMM_LINE* line = header->Next(); line && !line->IsHeader();) {
                SWMM_LINE* next = line->Next();
                list_->RemoveLine(line);
                line = next;
            }
            // A second section of the same name is dropped: the file holds one of each.
            bool dropping = false;
            for (SWMM_LINE* line = header->Next(); line;) {
                SWMM_LINE* next = line->Next();
                if (line->IsHeader()) dropping = upper(line->SectionName()) == name;
                if (dropping) list_->RemoveLine(line);
                line = next;
            }
            if (header->Next()) list_->InsertLine(header, "");
            list_->SetModified();
        } else {
            header = list_->AppendNewSection(section);
        }
        tails_[name] = header;
        keys_.erase(name);
        for (const char* text : heading) append(section, text);
    }

private:
    SWMM_LIST* list_;
    std::unordered_map<std::string, SWMM_LINE*> tails_;
    std::unordered_map<std::string, std::unordered_map<std::string, SWMM_LINE*>> keys_;
};

// ---------------------------------------------------------------------------------------------
// Record fields

// Stores values into the current record of the storm table. A value its field cannot hold is
// not stored; the first such refusal is said once at the end of the pass, with the count.
class RecordStore {
public:
    explicit RecordStore(DATA4* data) : data_(data) {}

    std::string text(const char* name) const {
        std::string out;
        fieldText(data_, name, out);
        return out;
    }
    double number(const char* name) const {
        const double value = fieldDouble(data_, name);
        return std::isfinite(value) ? value : 0.0;
    }

    void setText(const char* name, const std::string& value) {
        FIELD4* field = d4field(data_, name);
        if (!field || text(name) == value) return;
        std::string stored;
        if (refused(field, value, f4valueProblem('C', f4len(field), 0, value.c_str(), stored))) return;
        f4assign(field, value.c_str());
    }
    void setNumber(const char* name, double value) {
        FIELD4* field = d4field(data_, name);
        if (!field || number(name) == value) return;
        char shown[64];
        std::snprintf(shown, sizeof shown, "%.6g", value);
        if (refused(field, shown, f4numberProblem(f4type(field), f4len(field), f4decimals(field), value))) return;
        f4assignDouble(field, value);
    }

    void reportRefusals() const {
        if (refusals_ == 0) return;
        std::string text = first_;
        if (refusals_ > 1) text += format("\n(%d values in all could not be stored.)", refusals_);
        showError(text.c_str());
    }

private:
    bool refused(FIELD4* field, const std::string& shown, const char* problem) {
        if (!problem) return false;
        if (refusals_++ == 0) first_ = format("Record %ld: ", d4recNo(data_)) + f4refusal(field, shown, problem);
        return true;
    }

    DATA4* data_;
    int refusals_ = 0;
    std::string first_;
};

// The node names of the table with their invert (FIX_INVERT, or INLEVEL when that is zero);
// the first record of a name in NODE order counts, as a seek on the NODE tag finds it.
using NodeInverts = std::unordered_map<std::string, double>;

double nodeInvert(const RecordStore& record) {
    const double fixed = record.number("FIX_INVERT");
    return dblIsZero(fixed) ? record.number("INLEVEL") : fixed;
}

// The base node of an overflow node ("N3#OF" -> "N3"), empty when the name has no "#OF".
std::string overflowBase(const std::string& node) {
    const size_t mark = node.find("#OF");
    return mark == std::string::npos ? std::string() : node.substr(0, std::min<size_t>(mark, 25));
}

// ---------------------------------------------------------------------------------------------
// Subcatchments

// The subcatchment defaults of the settings file and the infiltration method of the options,
// read once per pass (they do not change while it runs).
struct SubcatchDefaults {
    std::string gauge;          // SwmmDefaultRaingage
    double impervious = 0;      // ImperviousArea
    double subarea[6] = {};     // the roughness, storage and percentage values of SUBAREAS
    std::string routing;        // SubAreaRouting
    int infiltrationCount = 0;  // values of the method's line: 5, 3, or 0 for a method without defaults
    double infiltration[5] = {};

    SubcatchDefaults(TINIFile* ini, SWMM_LIST* list) {
        const char* section = "SwmmSubcatchmentDefaults";
        gauge = trim(ini->GetString(section, "SwmmDefaultRaingage", ""));
        impervious = settingDouble(ini, section, "ImperviousArea", 0.0);
        const char* keys[] = {"ImperviousRoughness", "PerviousRoughness", "ImperviousDepressionStorage",
                              "PerviousDepressionStorage", "PercentageZeroImperv", "PercentageRouted"};
        for (int i = 0; i < 6; ++i) subarea[i] = settingDouble(ini, section, keys[i], i == 5 ? 100.0 : 0.0);
        routing = ini->GetString(section, "SubAreaRouting", "OUTLET");

        char method[32];
        list->GetString("OPTIONS", "INFILTRATION", "HORTON", method, sizeof method);
        const std::string how = upper(method);
        std::vector<const char*> names;
        if (how == "HORTON")
            names = {"MaxInfiltration", "MinInfiltration", "DecayConstant", "HortonDryingTime", "MaxinfiltrationVolume"};
        else if (how == "GREEN_AMPT")
            names = {"SuctionHead", "GreenAmptConductivity", "InitialDeficit"};
        else if (how == "CURVE_NUMBER")
            names = {"CurveNumber", "CurveNumberConductivity", "CurveNumberDryingTime"};
        // Any other method has no defaults here: its lines are the user's.
        infiltrationCount = static_cast<int>(names.size());
        for (int i = 0; i < infiltrationCount; ++i)
            infiltration[i] = settingDouble(ini, "SwmmInfiltrationDefaults", names[i], 0.0);
    }
};

struct SubcatchContext {
    TINIFile* settings;
    SWMM_LIST* list;
    LineWriter& lines;
    RecordStore& record;
    std::unique_ptr<SubcatchDefaults> defaults = nullptr;
    // The rain gauge of each subcatchment as the settings file holds it (keys folded to upper
    // case), read in one walk; the gauges to write back, written in one walk by flush().
    std::unique_ptr<std::unordered_map<std::string, std::string>> gauges = nullptr;
    std::vector<std::pair<std::string, std::string>> pending = {};

    const SubcatchDefaults& given() {
        if (!defaults) defaults = std::make_unique<SubcatchDefaults>(settings, list);
        return *defaults;
    }
    std::string gauge(const std::string& name) {
        if (!gauges) {
            gauges = std::make_unique<std::unordered_map<std::string, std::string>>();
            for (auto& [key, value] : settings->SectionValues("SwmmSubcatchRainGages")) gauges->emplace(upper(key), value);
        }
        auto found = gauges->find(upper(name));
        return found == gauges->end() ? std::string() : found->second;
    }
    void setGauge(const std::string& name, const std::string& value) {
        gauge(name);
        (*gauges)[upper(name)] = value;
        pending.emplace_back(name, value);
    }
    void flush() {
        settings->SetStrings("SwmmSubcatchRainGages", pending);
        pending.clear();
    }
};

void writeSubcatchment(SubcatchContext& c) {
    const std::string name = c.record.text("SUBCATCH");
    if (name.empty() || name == "None") return;
    const SubcatchDefaults& d = c.given();
    std::string gauge = trim(c.gauge(name));
    if (gauge == "None") gauge.clear();
    if (gauge.empty()) gauge = d.gauge;
    if (gauge == "None") gauge.clear();
    c.record.setText("RAIN_GAGE", gauge);

    const std::string node = c.record.text("NODE");
    const double area = c.record.number("AREA");
    const double length = c.record.number("SWMM_LEN");
    const double width = dblIsZero(length) ? 0.0 : area * 10000.0 / length;
    SWMM_LINE* line = c.lines.find("SUBCATCHMENTS", name);
    if (!line) {
        c.lines.append("SUBCATCHMENTS", format("  %-16s  %-16s %-16s %-8.3f %-8.3f %-8.3f %-8.3f %-8.3f", name.c_str(),
                                               gauge.c_str(), node.c_str(), area, d.impervious, width,
                                               c.record.number("SWMM_SLOPE"), 0.0));
    } else if (line->Field(3) != node) {
        auto value = [&](int field) { return std::atof(line->Field(field).c_str()); };
        line->SetText(format("  %-16s  %-16s %-16s %-8.3f %-8.3f %-8.3f %-8.3f %-8.3f %-16s", name.c_str(),
                             line->Field(2).c_str(), node.c_str(), value(4), value(5), value(6), value(7), value(8),
                             line->Field(9).c_str())
                          .c_str());
    }
    c.setGauge(name, gauge);

    if (!c.lines.find("SUBAREAS", name))
        c.lines.append("SUBAREAS", format("  %-16s  %-10.3f %-10.3f %-10.3f %-10.3f %-10.3f %-10s %-10.3f", name.c_str(),
                                          d.subarea[0], d.subarea[1], d.subarea[2], d.subarea[3], d.subarea[4],
                                          d.routing.c_str(), d.subarea[5]));
    if (d.infiltrationCount == 0 || c.lines.find("INFILTRATION", name)) return;
    const double* v = d.infiltration;
    c.lines.append("INFILTRATION", d.infiltrationCount == 5
                                       ? format("  %-16s  %-10.3f %-10.3f %-10.3f %-10.3f %-10.3f", name.c_str(), v[0], v[1],
                                                v[2], v[3], v[4])
                                       : format("  %-16s  %-10.3f %-10.3f %-10.3f", name.c_str(), v[0], v[1], v[2]));
}

// ---------------------------------------------------------------------------------------------
// The update, record by record

const char* const kJunctionHeading[] = {
    ";;                 Invert     Max.       Init.      Surcharge  Ponded    ",
    ";;Name             Elev.      Depth      Depth      Depth      Area      ",
    ";;------------------------------------------------------------------------"};
const char* const kOutfallHeading[] = {
    ";;                 Invert     Outfall    Stage/Table      Tide",
    ";;Name             Elev.      Type       Time Series      Gate",
    ";;------------------------------------------------------------"};
const char* const kConduitHeading[] = {
    ";;                 Inlet            Outlet                      Manning    Inlet      Outlet     Init.      Maximum",
    ";;Name             Node             Node             Length     N          Height     Height     Flow       Flow",
    ";;------------------------------------------------------------------------------"};
const char* const kXsectionHeading[] = {
    ";;Link             Type         Geom1      Geom2      Geom3      Geom4      Barrels",
    ";;------------------------------------------------------------------------------"};
const char* const kCoordinateHeading[] = {";;Node             X-Coord          Y-Coord"};

class Update {
public:
    Update(DATA4* data, TINIFile* settings, SWMM_LIST* list, bool preserve)
        : data_(data), list_(list), preserve_(preserve), design_(settings), lines_(list), record_(data),
          subcatch_{settings, list, lines_, record_} {}

    // The records in NODE order without the deleted ones; false after the message when one has
    // no node name (nothing changed then).
    bool collect() {
        TAG4* order = d4tagSelected(data_);
        d4tagSelect(data_, d4tag(data_, "NODE"));
        bool named = true;
        for (int rc = d4top(data_); rc == 0 && !d4eof(data_); rc = d4skip(data_, 1)) {
            const std::string node = record_.text("NODE");
            if (!inverts_.count(node)) inverts_.emplace(node, nodeInvert(record_));
            if (d4deleted(data_)) continue;
            if (node.empty()) {
                showError(format("Record %ld has no Node name.", d4recNo(data_)).c_str());
                named = false;
                break;
            }
            records_.push_back(d4recNo(data_));
        }
        d4tagSelect(data_, order);
        return named;
    }

    void run() {
        list_->SetString("REPORT", "SUBCATCHMENTS", "ALL");
        list_->SetString("REPORT", "NODES", "ALL");
        list_->SetString("REPORT", "LINKS", "ALL");
        dbfSwmmCheckOutletType();
        // Each network section is emptied where it stands when the first record is written
        // (so that the file keeps its order); a table without records leaves none of them.
        if (records_.empty())
            for (const char* section : {"JUNCTIONS", "CONDUITS", "COORDINATES", "XSECTIONS"}) list_->DeleteSection(section);
        const int step = dbfProgressStep(static_cast<long>(records_.size()));
        for (size_t i = 0; i < records_.size(); ++i) {
            if (static_cast<long>(i) % step == 0)
                dbfDispGraph(static_cast<int>(i), static_cast<int>(records_.size()), "Updating the SWMM input file...please wait");
            d4go(data_, records_[i]);
            if (i == 0) writeHeadings();
            writeRecord();
        }
        dbfDispGraph(0, 0, nullptr);
        subcatch_.flush();
        record_.reportRefusals();
    }

private:
    void writeHeadings() {
        lines_.restart("JUNCTIONS", {kJunctionHeading[0], kJunctionHeading[1], kJunctionHeading[2]});
        lines_.restart("CONDUITS", {kConduitHeading[0], kConduitHeading[1], kConduitHeading[2]});
        lines_.restart("XSECTIONS", {kXsectionHeading[0], kXsectionHeading[1]});
        lines_.restart("COORDINATES", {kCoordinateHeading[0]});
    }

    bool isOverflow(const std::string& node, std::string& base) const {
        base = overflowBase(node);
        return !base.empty() && inverts_.count(base) != 0;
    }

    std::string storedLinkType() {
        switch (design_.category(record_.text("L_TYPE"))) {
        case 104:
            nodeType_ = "Storage";
            record_.setText("NODE_TYPE", nodeType_);
            return "Conduit";
        case 106:
        case 107: return "Pump";
        default: return "Conduit";
        }
    }

    void writeRecord() {
        const std::string node = record_.text("NODE");
        const std::string next = record_.text("NEXT_NODE");
        nodeType_ = record_.text("NODE_TYPE");
        const std::string linkType = record_.text("LINK_TYPE");
        if (linkType.empty() || !preserve_) record_.setText("LINK_TYPE", storedLinkType());

        double invert = record_.number("FIX_INVERT");
        if (dblIsZero(invert)) {
            invert = record_.number("INLEVEL");
            record_.setNumber("FIX_INVERT", invert);
        }
        std::string base;
        const bool overflow = isOverflow(node, base);
        if (nodeType_.empty() || nodeType_ == "Junction" || nodeType_ == "Outfall") {
            if (next.empty()) {
                if (!outfallsStarted_) {
                    lines_.restart("OUTFALLS", {kOutfallHeading[0], kOutfallHeading[1], kOutfallHeading[2]});
                    outfallsStarted_ = true;
                }
                lines_.append("OUTFALLS", format("  %-16s %-10.3f %-10s %-16s %-4s\n", node.c_str(), invert, "FREE", "", "NO"));
                record_.setText("NODE_TYPE", "Outfall");
            } else {
                if (!overflow)
                    lines_.append("JUNCTIONS", format("  %-16s %-10.3f %-10.3f %-10.3f %-10.3f %-10.3f \n", node.c_str(), invert,
                                                      record_.number("MH_DEPTH"), record_.number("INIT_DEPTH"),
                                                      record_.number("SUR_DEPTH"), record_.number("POND_AREA")));
                if (nodeType_.empty()) record_.setText("NODE_TYPE", "Junction");
            }
        }

        if (!next.empty()) {
            std::string link = record_.text("LINK_NAME");
            if (link.empty()) {
                link = "L" + node.substr(0, 27);
                link = link.substr(0, 27);
                record_.setText("LINK_NAME", link);
            }
            if (linkType.empty() || linkType == "Conduit") writeConduit(link, overflow ? base : node, next, invert);
            if (linkType != "Pump" && linkType != "Outlet") writeCrossSection(link, linkType);
        }

        if (!overflow) {
            double x = record_.number("X_COORD"), y = record_.number("Y_COORD");
            if (dbfGetHemisphere() == 0) {
                const double southing = x;
                x = -y;
                y = -southing;
            }
            lines_.append("COORDINATES", format("  %-16s %-16.3f %-16.3f\n", node.c_str(), x, y));
        }
        if (!preserve_) writeSubcatchment(subcatch_);
    }

    void writeConduit(const std::string& link, const std::string& inlet, const std::string& next, double invert) {
        const double length = record_.number("LENGTH");
        const double slope = record_.number("FIX_SLOPE");
        const double outletInvert =
            !dblIsZero(invert) && !dblIsZero(slope) ? invert - slope / 100.0 * length : record_.number("OUTLEVEL");
        double outOffset = record_.number("OUT_OFFSET");
        if (!preserve_ && !dblIsZero(outletInvert)) {
            auto downstream = inverts_.find(next);
            outOffset = outletInvert - (downstream == inverts_.end() ? 0.0 : downstream->second);
            record_.setNumber("OUT_OFFSET", outOffset);
        }
        const double roughness = linkRoughness();
        lines_.append("CONDUITS", format("  %-16s %-16s %-16s %-10.3f %-10.3f %-10.3f %-10.3f %-10.3f %-10.3f\n", link.c_str(),
                                         inlet.c_str(), next.c_str(), length, roughness, record_.number("IN_OFFSET"),
                                         outOffset, record_.number("INIT_FLOW"), record_.number("MAX_FLOW")));
    }

    // The open-drain set of the record's L_REF in its link type, or null.
    const std::string* drainSet(const LinkType& type) const {
        const std::string ref = record_.text("L_REF");
        for (const std::string& set : type.sets)
            if (!set.empty() && commaField(set, 1) == ref) return &set;
        return nullptr;
    }

    double linkRoughness() {
        double roughness = record_.number("LINK_ROUGH");
        if (const LinkType* type = design_.find(record_.text("L_TYPE"))) {
            if (type->kind == "Open Drain" && (!preserve_ || design_.linkTables)) {
                if (const std::string* set = drainSet(*type)) {
                    const double baseWidth = commaDouble(*set, 2), depth = commaDouble(*set, 3);
                    double side1 = commaDouble(*set, 4), side2 = commaDouble(*set, 5);
                    record_.setNumber("FIX_SIZE2", dblIsZero(baseWidth) ? std::trunc(depth * side1 + depth * side2) : baseWidth);
                    record_.setNumber("FIX_SIZE1", depth);
                    if (side1 < 0.002) side1 = 0;
                    if (side2 < 0.002) side2 = 0;
                    record_.setNumber("FIX_SIZE3", std::trunc(side1 * 1000.0));
                    record_.setNumber("FIX_SIZE4", std::trunc(side2 * 1000.0));
                    roughness = commaDouble(*set, 8);
                }
            } else if (dblIsZero(roughness) || design_.linkTables) {
                roughness = type->manning;
            }
        }
        if (roughness <= 0.0001) roughness = kDefaultManning;
        record_.setNumber("LINK_ROUGH", roughness);
        return roughness;
    }

    void writeCrossSection(const std::string& link, const std::string& linkType) {
        std::string shape = record_.text("L_SHAPE");
        if (shape == "IRREGULAR") {
            lines_.append("XSECTIONS", format("  %-16s %-12s %-16s %-10.3f %-10.3f %-10.3f %-10d\n", link.c_str(), shape.c_str(),
                                              record_.text("TRANS_NAME").c_str(), 0.0, 0.0, 0.0, 1));
            return;
        }
        if (shape == "DUMMY") {
            lines_.append("XSECTIONS", format("  %-16s %-12s %-10.3f %-10.3f %-10.3f %-10.3f %-10d\n", link.c_str(), shape.c_str(),
                                              0.0, 0.0, 0.0, 0.0, 1));
            return;
        }
        double g1 = record_.number("FIX_SIZE1") / 1000.0;
        if (dblIsZero(g1)) {
            g1 = record_.number("SIZE1") / 1000.0;
            if (dblIsZero(g1)) g1 = design_.defaultSize1();
        }
        record_.setNumber("FIX_SIZE1", millimetres(g1));
        const std::string lType = record_.text("L_TYPE");
        const int category = design_.category(lType);
        double g2 = record_.number("FIX_SIZE2") / 1000.0;
        if (dblIsZero(g2)) {
            g2 = record_.number("SIZE2") / 1000.0;
            if (category != 100) record_.setNumber("FIX_SIZE2", millimetres(g2));
        }
        double g3 = record_.number("FIX_SIZE3") / 1000.0, g4 = record_.number("FIX_SIZE4") / 1000.0;
        // Barrels are NO; a blank NO (0) is taken as one barrel, since the SWMM 5 engine refuses
        // a conduit without any.
        int barrels = static_cast<int>(record_.number("NO"));
        if (barrels < 1) barrels = 1;

        const bool weir = linkType == "Weir";
        if (weir || (!shape.empty() && preserve_ && !design_.linkTables)) {
            userShape(shape, weir, g1, g2, g3, g4);
        } else {
            shape = designShape(lType, category, g1, g2, g3, g4);
            record_.setText("L_SHAPE", shape);
        }
        if (weir && shape != "TRAPEZOIDAL") std::swap(g1, g2);
        lines_.append("XSECTIONS", format("  %-16s %-12s %-10.3f %-10.3f %-10.3f %-10.3f %-10d\n", link.c_str(), shape.c_str(),
                                          g1, g2, g3, g4, barrels));
    }

    static bool oneOf(const std::string& shape, std::initializer_list<const char*> names) {
        for (const char* name : names)
            if (shape == name) return true;
        return false;
    }

    static void userShape(const std::string& shape, bool weir, double& g1, double& g2, double& g3, double& g4) {
        if (oneOf(shape, {"RECT_CLOSED", "HORIZ_ELLIPSE", "VERT_ELLIPSE", "ARCH", "PARABOLIC", "MODBASKETHANDLE"})) {
            std::swap(g1, g2);
            if (!weir) g3 = g4 = 0;
        } else if (oneOf(shape, {"CIRCULAR", "EGG", "HORSESHOE", "GOTHIC", "CATENARY", "SEMIELLIPTICAL", "BASKETHANDLE",
                                 "SEMICIRCULAR"})) {
            g2 = g3 = g4 = 0;
        } else if (shape == "FILLED_CIRCULAR") {
            g3 = g4 = 0;
        } else if (!oneOf(shape, {"TRAPEZOIDAL", "RECT_OPEN", "TRIANGULAR"})) {
            std::swap(g1, g2);
            g4 = 0;
        }
    }

    std::string designShape(const std::string& lType, int category, double& g1, double& g2, double& g3, double& g4) {
        const LinkType* type = design_.find(lType);
        const std::string kind = type ? type->kind : std::string();
        if (kind == "Pipe") {
            g2 = g3 = g4 = 0;
            if (design_.linkTables)
                for (const std::string& set : type->sets)
                    if (!set.empty() && static_cast<int>(commaDouble(set, 1)) == millimetres(g1)) {
                        g1 = commaDouble(set, 2) / 1000.0;
                        break;
                    }
            return "CIRCULAR";
        }
        if (kind == "Box" || kind == "Portal") {
            std::swap(g1, g2);
            g3 = g4 = 0;
            return "RECT_CLOSED";
        }
        if (kind == "Open Drain") {
            // The drain's base width is its set's (the record's own FIX_SIZE2 when L_REF names
            // no set: then it is the width the user gave).
            const std::string* set = drainSet(*type);
            const double baseWidth = set ? commaDouble(*set, 2) : g2 * 1000.0;
            if (dblIsZero(baseWidth)) return "TRIANGULAR";
            return !dblIsZero(g3) || !dblIsZero(g4) ? "TRAPEZOIDAL" : "RECT_OPEN";
        }
        (void)category;
        g1 = design_.defaultSize1();
        g2 = 0;
        return "CIRCULAR";
    }

    DATA4* data_;
    SWMM_LIST* list_;
    bool preserve_;
    Design design_;
    LineWriter lines_;
    RecordStore record_;
    SubcatchContext subcatch_;
    std::vector<long> records_;
    NodeInverts inverts_;
    std::string nodeType_;
    bool outfallsStarted_ = false;
};

// ---------------------------------------------------------------------------------------------
// Node lines

// The section of a node type's lines.
std::string nodeSection(const char* nodeType) {
    const std::string type = upper(nodeType ? nodeType : "");
    if (type == "JUNCTION") return "INFLOWS";
    if (type == "STORAGE") return "STORAGE";
    return type + "S";
}

// The first line of a section whose key is the name and that has data.
SWMM_LINE* nodeLine(SWMM_LIST* list, const std::string& section, const char* name) {
    const std::string wanted = trim(name ? name : "");
    for (SWMM_LINE* line : list->SectionLines(section.c_str()))
        if (!line->IsComment() && !line->IsBlank() && line->Key() == wanted && !trim(line->Data()).empty()) return line;
    return nullptr;
}

SWMM_LIST* swmmFile() {
    return kindTable(kStorm) ? dbfStormGetSwmmFile() : nullptr;
}

void saveChanged(SWMM_LIST* list) {
    if (!list->Save()) showError(coreFileErrorText("save", list->FileName()).c_str());
}

}  // namespace

}  // namespace network

using network::kStorm;

int dbfSwmmUpdateFileFromDB(bool preserve) {
    DATA4* data = network::kindTable(kStorm);
    TINIFile* settings = dbfStormGetIniFile();
    SWMM_LIST* list = dbfStormGetSwmmFile();
    if (!data || !settings || !list) return 0;
    const long current = d4recNo(data);
    auto update = std::make_unique<network::Update>(data, settings, list, preserve);
    if (!update->collect()) {
        d4go(data, current);
        return 0;
    }
    update->run();
    d4flush(data);
    if (current >= 1 && current <= d4recCount(data)) d4go(data, current);
    if (!list->Save()) {
        network::showError(coreFileErrorText("save", list->FileName()).c_str());
        return 0;
    }
    return 1;
}

void UpdateSwmmSubcatchments() {
    DATA4* data = network::kindTable(kStorm);
    TINIFile* settings = dbfStormGetIniFile();
    SWMM_LIST* list = dbfStormGetSwmmFile();
    if (!data || !settings || !list || d4eof(data)) return;
    network::LineWriter lines(list);
    network::RecordStore record(data);
    network::SubcatchContext context{settings, list, lines, record};
    network::writeSubcatchment(context);
    context.flush();
    record.reportRefusals();
}

void dbfSwmmRenameNode(const char* section, const char* oldName, const char* newName) {
    SWMM_LIST* list = network::swmmFile();
    if (!list || !section || !oldName || !newName) return;
    SWMM_LINE* line = network::nodeLine(list, section, oldName);
    if (!line) return;
    // The data is trimmed as a held line's is, so that renaming back gives the same line.
    line->SetText(network::format("  %-16s  %s", network::trim(newName).c_str(), network::trim(line->Data()).c_str()).c_str());
    network::saveChanged(list);
}

void dbfSwmmDeleteNode(const char* nodeType, const char* name) {
    SWMM_LIST* list = network::swmmFile();
    if (!list || !nodeType || !name) return;
    const std::string section = network::nodeSection(nodeType);
    SWMM_LINE* line = network::nodeLine(list, section, name);
    if (!line) return;
    const std::string held =
        network::format("  %-16s  %s", network::trim(line->Key()).c_str(), network::trim(line->Data()).c_str());
    list->RemoveLine(line);
    if (section != "INFLOWS") list->AppendNoKey((section + "_DEL").c_str(), held.c_str());
    network::saveChanged(list);
}

void dbfSwmmRestoreNode(const char* nodeType, const char* name) {
    SWMM_LIST* list = network::swmmFile();
    if (!list || !nodeType || !name) return;
    const std::string section = network::nodeSection(nodeType);
    if (section == "INFLOWS") return;
    SWMM_LINE* line = network::nodeLine(list, section + "_DEL", name);
    if (!line) return;
    const std::string text = line->Text();
    list->RemoveLine(line);
    list->AppendNoKey(section.c_str(), text.c_str());
    network::saveChanged(list);
}

void dbfSwmmCheckOutletType() {
    SWMM_LIST* list = network::swmmFile();
    if (!list) return;
    for (SWMM_LINE* line : list->SectionLines("OUTLETS")) {
        if (line->IsComment() || line->IsBlank()) continue;
        const std::string type = network::upper(line->Field(5));
        const std::string name = line->Key(), inlet = line->Field(2), outlet = line->Field(3);
        const double offset = std::atof(line->Field(4).c_str());
        if (type == "FUNCTIONAL") {
            line->SetText(network::format("  %-16s  %-16s %-16s %-10.3f %-18s %-10.3f %-10.3f %-5s", name.c_str(), inlet.c_str(),
                                          outlet.c_str(), offset, "FUNCTIONAL/DEPTH", std::atof(line->Field(6).c_str()),
                                          std::atof(line->Field(7).c_str()), line->Field(8).c_str())
                              .c_str());
        } else if (type == "TABULAR") {
            std::string curve = line->Field(6);
            if (curve.empty()) curve = "None";
            line->SetText(network::format("  %-16s  %-16s %-16s %-10.3f %-18s %-21s %-5s", name.c_str(), inlet.c_str(),
                                          outlet.c_str(), offset, "TABULAR/DEPTH", curve.c_str(), line->Field(7).c_str())
                              .c_str());
        }
    }
}

bool dbfSwmmCheckOverflowNode(const char* name, int recno, char* baseName) {
    DATA4* data = network::kindTable(kStorm);
    if (baseName) *baseName = 0;
    if (!data || !name) return false;
    const std::string base = network::overflowBase(name);
    bool overflow = false;
    d4tagSelect(data, d4tag(data, "NODE"));
    if (!base.empty()) {
        std::string found;
        overflow = d4seek(data, base.c_str()) == 0 && network::fieldText(data, "NODE", found) && found == base;
        if (overflow && baseName) coreStrncpy(baseName, base.c_str(), 26);
    }
    d4go(data, recno);
    return overflow;
}

void dbfReportSwmmVersion(int version) { network::networkState().swmmVersion = version; }

int dbfGetSwmmVersion() { return network::networkState().swmmVersion; }
