// Kerb groups: the kerb group files named in the design settings file, their kerbs (names, steps,
// quantity formulas), the fitting of a kerb to a target size and its insertion into a
// cross-section.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <string>

#include "database/frame.h"
#include "database/section.h"
#include "frame/state.h"
#include "platform/core.h"

// The lines of a group file, shared by a group and its copies; the last one to go saves them.
struct CKerbGroup::Shared {
    INI_LIST* list = nullptr;
    int users = 1;
};

namespace {

constexpr int kKerbsPerGroup = 100;
constexpr int kKerbNameChars = 19;
constexpr const char* kLookup = "Lookup";
constexpr const char* kFixedQuantity = "2,0,Total Length (m),1.000";

std::string key(const char* format, int n) {
    char text[32];
    std::snprintf(text, sizeof text, format, n);
    return text;
}

bool isRightAngle(double a) { return dblIsZero(a) || dblIsZero(a - std::numbers::pi / 2.0); }

// Writes a group file that has changes; a failure names the file and the reason.
int saveList(INI_LIST* list) {
    if (!list || !list->HasFile() || !list->IsModified()) return 1;
    if (list->Save()) return 1;
    const std::string text = coreFileErrorText("save", list->FileName());
    std::snprintf(dbfState().text, kSharedTextBytes, "%s", text.c_str());
    ErrorMessage(dbfState().text, dbfOwner());
    return 0;
}

}  // namespace

CKerbGroup::CKerbGroup() : CKerbGroup("", -1) {}

CKerbGroup::CKerbGroup(const char* name, int base) : groupBase(base) {
    shared = new Shared;
    shared->list = new INI_LIST(nullptr);
    if (name && *name) shared->list->SetFile(name);
    file = shared->list;
}

CKerbGroup::CKerbGroup(const CKerbGroup& other)
    : UI_ELEMENT(other), file(other.file), groupBase(other.groupBase), shear(other.shear), stretch(other.stretch),
      shared(other.shared) {
    std::memcpy(fileName, other.fileName, sizeof fileName);
    if (shared) ++shared->users;
}

CKerbGroup& CKerbGroup::operator=(const CKerbGroup& other) {
    if (this == &other) return *this;
    if (other.shared) ++other.shared->users;
    release();
    shared = other.shared;
    file = other.file;
    groupBase = other.groupBase;
    shear = other.shear;
    stretch = other.stretch;
    std::memcpy(fileName, other.fileName, sizeof fileName);
    return *this;
}

CKerbGroup::~CKerbGroup() { release(); }

void CKerbGroup::release() {
    if (shared && --shared->users == 0) {
        saveList(shared->list);
        delete shared->list;
        delete shared;
    }
    shared = nullptr;
    file = nullptr;
}

int CKerbGroup::Save() { return saveList(file); }

void CKerbGroup::UpdateFile() {
    if (file) file->Load();
}

void CKerbGroup::ChangeFile(const char* name) {
    if (!name || !coreFileExist(name)) return;
    // The group's own changes are written before it turns to the other file.
    release();
    shared = new Shared;
    shared->list = new INI_LIST(nullptr);
    shared->list->SetFile(name);
    file = shared->list;
    fileName[0] = '\0';
}

int CKerbGroup::GetCount() {
    return file ? static_cast<int>(file->SectionLines(kLookup).size()) : 0;
}

const char* CKerbGroup::GetGroupFileName() { return file ? file->FileName() : fileName; }

CString CKerbGroup::GetKerbName(int n) {
    if (!file) return CString();
    return CString(file->GetString(kLookup, key("kerb%d", n - groupBase + 1).c_str(), ""));
}

std::string CKerbGroup::section(int n) {
    const std::string name = GetKerbName(n).str();
    return !name.empty() && file->SectionExists(name.c_str()) ? name : std::string();
}

int CKerbGroup::RenameKerb(int i, CString name) {
    if (!file) return 0;
    const std::string entry = key("kerb%d", i + 1);
    const std::string old = file->GetString(kLookup, entry.c_str(), "");
    if (old.empty() || !file->SectionExists(old.c_str())) return 0;
    const std::string cut = name.str().substr(0, kKerbNameChars);
    file->SetString(kLookup, entry.c_str(), cut.c_str());
    file->RenameSection(old.c_str(), cut.c_str());
    return 1;
}

int CKerbGroup::GetKerbGeom(int n, int step, PNT_2D_record& p, int& flag) {
    p = PNT_2D_record{0.0, 0.0};
    flag = 0;
    const std::string kerb = section(n);
    if (kerb.empty()) return 0;
    const std::string k = key("geom%d", step);
    if (!file->KeyExists(kerb.c_str(), k.c_str())) return 0;
    const std::string text = file->GetString(kerb.c_str(), k.c_str(), "");
    double h = coreGetFieldDouble(text.c_str(), 0.0, 1, ',');
    double v = coreGetFieldDouble(text.c_str(), 0.0, 2, ',');
    // A step that is not a finite number is damage: the kerb ends before it.
    if (!std::isfinite(h) || !std::isfinite(v)) return 0;
    flag = coreGetFieldInt(text.c_str(), 0, 3, ',');
    if (!isRightAngle(stretch)) h /= std::cos(stretch);
    if (!isRightAngle(shear)) v += std::tan(shear) * h;
    p = PNT_2D_record{h, v};
    return 1;
}

void CKerbGroup::WriteKerbGeom(int n, int step, const PNT_2D_record& p, int flag) {
    const std::string kerb = section(n).empty() ? GetKerbName(n).str() : section(n);
    if (!file || kerb.empty()) return;
    char text[128];
    std::snprintf(text, sizeof text, "%.3f,%.3f,%d", p.x, p.y, flag);
    file->SetString(kerb.c_str(), key("geom%d", step).c_str(), text);
}

void CKerbGroup::AddKerbToLookup(int entry, const CString& name) {
    if (file) file->SetString(kLookup, key("kerb%d", entry).c_str(), name.c_str());
}

int CKerbGroup::GetKerbQuantity(int n, int q, CString& text) {
    text.Empty();
    const std::string kerb = section(n);
    if (kerb.empty()) return 0;
    if (q == 0) {
        text = kFixedQuantity;
        return 1;
    }
    const std::string k = key("eq%d", q);
    if (!file->KeyExists(kerb.c_str(), k.c_str())) return 0;
    text = file->GetString(kerb.c_str(), k.c_str(), "");
    return 1;
}

void CKerbGroup::WriteKerbQuantity(int n, int q, const CString& text) {
    const std::string kerb = GetKerbName(n).str();
    if (!file || kerb.empty() || q < 1) return;
    file->SetString(kerb.c_str(), key("eq%d", q).c_str(), text.c_str());
}

void CKerbGroup::SetTransform(PNT_2D_record target, int n) {
    shear = stretch = 0.0;
    if (dblIsZero(target.x) && dblIsZero(target.y)) return;
    // The steps as stored: with the transform at 0 GetKerbGeom reads them unchanged.
    double h = 0.0, v = 0.0;
    PNT_2D_record p;
    int flag = 0;
    for (int step = 1; step <= 1000 && GetKerbGeom(n, step, p, flag); ++step) {
        h += p.x;
        v += p.y;
        if (flag != 0) break;
    }
    if ((dblIsZero(h) && dblIsZero(v)) || (dblEqual(h, target.x) && dblEqual(v, target.y))) return;
    if (!dblIsZero(target.x)) {
        shear = std::atan((target.y - v) / target.x);
        const double r = h / target.x;
        if (dblGreaterEqual(r, -1.0) && dblLessEqual(r, 1.0)) stretch = std::acos(std::fmax(-1.0, std::fmin(1.0, r)));
    }
}

void CKerbGroup::ClearFileSection(const CString& name) {
    if (file) file->DeleteSection(name.c_str());
}

void CKerbGroup::DeleteKerb(int n) {
    if (!file) return;
    const std::string name = GetKerbName(n).str();
    const int count = GetCount();
    const int entry = n - groupBase + 1;
    if (name.empty() || entry < 1 || entry > count) return;
    file->DeleteSection(name.c_str());
    for (int j = entry; j < count; ++j) {
        const std::string later = file->GetString(kLookup, key("kerb%d", j + 1).c_str(), "");
        file->SetString(kLookup, key("kerb%d", j).c_str(), later.c_str());
    }
    file->DeleteKey(kLookup, key("kerb%d", count).c_str());
}

// ---------------------------------------------------------------------------------------------
// The groups of the design settings file

int dbfReadKerbs(UI_LIST* groups) {
    if (!groups) return 0;
    groups->Destroy();
    char folder[MAX_PATH];
    coreExtractFilePath(dbfGetDesFile()->FileName(), folder);
    for (int i = 1;; ++i) {
        char path[MAX_PATH];
        dbfGetRoadDefault("KerbFiles", key("path%d", i).c_str(), "", path, sizeof path);
        coreTrimStr(path);
        if (!path[0]) break;
        // A relative name is taken from the project's folder (where the design settings are).
        std::string name = path;
        if (name[0] != '/' && name[0] != '\\' && !(name.size() > 1 && name[1] == ':') && !coreFileExist(path))
            name = std::string(folder) + name;
        // A missing file still takes its place, so that the later groups keep their numbers.
        if (!coreFileExist(name.c_str())) {
            std::snprintf(dbfState().text, kSharedTextBytes, "Kerb group file %s does not exist", path);
            ErrorMessage(dbfState().text, dbfOwner());
        }
        groups->Append(new CKerbGroup(name.c_str(), i * 100));
    }
    return 1;
}

CKerbGroup* dbfGetKerbGroup(UI_LIST* groups, int n) {
    if (!groups) return nullptr;
    for (UI_ELEMENT* e = groups->Head(); e; e = e->Next()) {
        auto* g = static_cast<CKerbGroup*>(e);
        if (n - g->GetGroupBase() >= 0 && n - g->GetGroupBase() < kKerbsPerGroup) return g;
    }
    return nullptr;
}

CString dbfGetKerbString(UI_LIST* groups, int n) {
    CKerbGroup* g = dbfGetKerbGroup(groups, n);
    return g ? g->GetKerbName(n) : CString();
}

int dbfAddKerb(UI_LIST* groups, int n, int ref, double grade, XSECTION* xs, int fromStart) {
    if (!xs) return 0;
    CKerbGroup* g = dbfGetKerbGroup(groups, n);
    if (!g) return xs->count;
    const int before = xs->count;
    if (!std::isfinite(grade)) return before;
    const int s = ref <= 0 ? -1 : 1;
    int d = ref == 0 ? 0 : s;
    int m = 0;
    if (ref == 100 || ref == -100) {
        m = s * 103;
    } else if (ref == 101 || ref == -101) {
        m = s * 104;
        d = -d;
    }
    const int p = dbfRelativePtno(ref, *xs);
    if (p < 1 || p > kSectionCapacity) return 0;

    // A kerb that cannot be placed whole leaves the section as it was.
    const XSECTION original = *xs;
    auto fail = [&] {
        *xs = original;
        return before;
    };
    PNT_2D_record step;
    int flag = 0;
    if (!g->GetKerbGeom(n, 0, step, flag)) return fail();
    SECTMEM& base = xs->points[p - 1];
    if (step.x < -1e-12) {
        base.offset += d * step.x;
        base.elevation -= std::fabs(step.x) * d * grade / 100.0;
    }
    double offset = base.offset, elevation = base.elevation;
    bool adding = fromStart != 0;
    bool begunAtFlag = false;
    for (int k = 1;; ++k) {
        if (!g->GetKerbGeom(n, k, step, flag)) return fail();
        double h = step.x;
        if (dblIsZero(h)) h = begunAtFlag ? -0.001 : 0.001;
        offset += d * h;
        elevation += step.y;
        // Adding starts at the first flagged step unless it started with step 1; the next flagged
        // step after the start ends the kerb. Only a positive flag carries the marker.
        const bool flagged = flag != 0;
        const bool startsHere = !adding && flagged;
        if (!adding && !flagged) continue;
        adding = true;
        if (!dbfAddOffsetElevation(offset, elevation, 0.0, static_cast<char>(flag > 0 ? m : 0), xs)) return fail();
        if (startsHere) {
            begunAtFlag = true;
            continue;
        }
        if (flagged) break;
    }
    return dbfRelativePtno(m, *xs);
}
