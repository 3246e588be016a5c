// Opening and closing the terrain display (work file, lock file, names table, the window's
// callbacks), the drawing set-up macros, and the names table kept in step with the points.
#include <cstdlib>
#include <cstring>

#include "database/frame.h"
#include "display/display_state.h"
#include "frame/state.h"
#include "platform/proj.h"

using namespace display;

namespace {

std::string projectFile(const char* extension, int inWorkFolder) {
    char name[MAX_PATH] = {};
    dbfFileName(name, extension, kFileProject, inWorkFolder);
    return name;
}

std::string withExtension(const std::string& path, const char* extension) {
    char name[MAX_PATH] = {};
    coreStrncpy(name, path.c_str(), sizeof name);
    coreChangeFileExt(name, extension);
    return name;
}

void deleteNamesFiles(const std::string& work) {
    coreFileDelete(withExtension(work, "mdx").c_str());
    coreFileDelete(withExtension(work, "dtn").c_str());
}

void createNamesTable(const std::string& work) {
    DBFSTATE& d = dbfState();
    static const FIELD4INFO fields[] = {{"NAME", 'C', 17, 0, 0}, {nullptr, 0, 0, 0, 0}};
    static const TAG4INFO tags[] = {{"NAME", "NAME", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
    if (!d.codeInitialised) {
        code4initLow(&d.code, nullptr, 6401, 1300);
        d.codeInitialised = true;
    }
    DATA4* table = d4create(&d.code, withExtension(work, "dtn").c_str(), fields, tags);
    if (!table) {
        ErrorMessage("Unable to create names database", dbfOwner());
        return;
    }
    d4tagSelect(table, d4tag(table, "NAME"));
    state().namesTable = table;
}

void closeNamesTable() {
    DisplayState& s = state();
    if (s.namesTable) d4close(s.namesTable);
    s.namesTable = nullptr;
}

// Copies the saved terrain file over the work file under its status text; false after a message.
bool copyToWork(const std::string& from, const std::string& to) {
    dbfDispStatus("Creating terrain work file", kStatusPush);
    const int ok = coreFileCopy(from.c_str(), to.c_str());
    dbfDispStatus(nullptr, kStatusPop);
    if (!ok) ErrorMessage(coreFileErrorText("copy", from.c_str()).c_str(), dbfOwner());
    return ok != 0;
}

bool openWork(const std::string& work) {
    dbfDispStatus("Loading terrain database", kStatusPush);
    const int ok = dbfOpenDbase(work.c_str(), 1);
    dbfDispStatus(nullptr, kStatusPop);
    return ok != 0;
}

enum class WorkOpen { Locked, Failed, Opened };

// Steps 3 and 4 of the open: the work file from the saved file (or a new database). A lock held
// elsewhere stops the start without touching the work or lock file.
WorkOpen openTerrainWork(const std::string& saved, const std::string& work) {
    if (!coreFileExist(saved.c_str())) {
        dbfDispStatus("Creating terrain work file", kStatusPush);
        const int made = dbfMakeDbase(work.c_str(), 0.0, 0.0, 500.0);
        dbfDispStatus(nullptr, kStatusPop);
        if (!made || !openWork(work)) return WorkOpen::Failed;
        dbfCheckLockStatus(saved.c_str(), "tlk");
        return WorkOpen::Opened;
    }
    if (!dbfCheckLockStatus(saved.c_str(), "tlk")) return WorkOpen::Locked;
    bool reuse = false;
    if (coreFileExist(work.c_str())) {
        const int answer = AfxMessageBox(dbfOwner(),
                                      "Existing work file found. This occurs if the DTM file was not saved "
                                      "correctly.\n\nWould you like to reuse this file and recover the data?",
                                      "Existing", MB_YESNO | MB_ICONWARNING);
        reuse = answer == IDYES;
    }
    if (!reuse && !copyToWork(saved, work)) return WorkOpen::Failed;
    if (!openWork(work)) return WorkOpen::Failed;
    if (reuse) dbfChanged();
    return WorkOpen::Opened;
}

void installCallbacks(bool on) {
    CCadWindow* w = cad();
    if (!w) return;
    w->TerrainPrePaintHook(on ? dbfStartRedrawSite : nullptr);
    w->TerrainPostPaintHook(on ? dbfEndRedrawSite : nullptr);
    w->TerrainSnapHook(on ? DTMNearest : nullptr);
}

void openDisplay() {
    DisplayState& s = state();
    s.plotGuard = false;
    const std::string saved = projectFile("dtm", 0);
    const std::string work = projectFile("tbk", 1);
    coreStrncpy(s.workFile, work.c_str(), sizeof s.workFile);
    dbfSetWorkFileName(kWorkTerrain, work.c_str());
    deleteNamesFiles(work);
    createNamesTable(work);
    const WorkOpen result = openTerrainWork(saved, work);
    if (result == WorkOpen::Opened && dbfBBTreeExists()) {
        coreSetJobDefault("Terrain", "Updated", "1,1,1,1,1,1");
        coreFlushJobDefault();
        dbfGetDisplaySettings();
        installCallbacks(true);
        dbfBuckLimit(&s.view, 0);
        if (CCadWindow* w = cad()) w->gsSetViewDirty(true);
    } else if (result == WorkOpen::Failed) {
        coreFileDelete(work.c_str());
        coreFileDelete(withExtension(saved, "tlk").c_str());
    }
}

void closeDisplay() {
    DisplayState& s = state();
    const std::string work = s.workFile;
    closeNamesTable();
    if (!work.empty()) deleteNamesFiles(work);
    if (dbfBBTreeExists()) {
        if (CCadWindow* w = cad()) {
            w->SetAbortFlag(true);
            while (s.painting) {
                if (dbfPumpMessages()) break;
            }
            w->SetAbortFlag(false);
        }
        for (int f : {kFlagLines, kFlagContours, kFlagNameFilter, kFlagNames, kFlagHeights})
            s.flags[static_cast<size_t>(f)] = 0;
        installCallbacks(false);
        dbfSetRedrawHook(nullptr);
        dbfSetErrorRedrawHook(nullptr);
        s.symbols.clear();
        s.nameLayers.clear();
        coreSetJobDefault("Terrain", "Updated", "1,1,1,1,1,1");
        coreFlushJobDefault();
        dbfCloseDbase();
    }
    const std::string saved = projectFile("dtm", 0);
    if (!work.empty() && coreFileExist(work.c_str()) && dbfEdit()) {
        const std::string prompt = "Save " + saved;
        if (AfxMessageBox(dbfOwner(), prompt.c_str(), "Save", MB_YESNO | MB_ICONQUESTION) == IDYES) {
            dbfDispStatus("Saving terrain database", kStatusPush);
            if (!coreFileCopy(work.c_str(), saved.c_str()))
                ErrorMessage(coreFileErrorText("save", saved.c_str()).c_str(), dbfOwner());
            dbfDispStatus(nullptr, kStatusPop);
        }
    }
    if (!work.empty()) coreFileDelete(work.c_str());
    coreFileDelete(withExtension(saved, "tlk").c_str());
    s.workFile[0] = 0;
    dbfSetWorkFileName(kWorkTerrain, "");
}

std::string quoted(const char* text) { return std::string("\"") + text + "\""; }

}  // namespace

int dbfTerrainIsOpen() { return dbfBBTreeExists() ? 1 : 0; }

void dbfTerrainInit(int open) {
    if (open) {
        if (!dbfBBTreeExists()) openDisplay();
    } else {
        closeDisplay();
    }
    char path[MAX_PATH] = {};
    coreGetDefault("Main", "JobPath", "", path, sizeof path);
}

void dbfSetupDrawing(int force) {
    char drawing[MAX_PATH] = {};
    coreGetJobDefault("Global", "Drawing", "<none>", drawing, sizeof drawing);
    if (!force && std::strcmp(drawing, "<none>") != 0) return;
    CCadWindow* w = cad();
    if (!w) return;
    char mid[2][64] = {};
    coreGetJobDefault("Global", "MidH", "0.0", mid[0], sizeof mid[0]);
    coreGetJobDefault("Global", "MidV", "0.0", mid[1], sizeof mid[1]);
    const double midH = std::atof(mid[0]), midV = std::atof(mid[1]);
    char scaleText[64] = {};
    coreGetJobDefault("Global", "Scale", "1000.0", scaleText, sizeof scaleText);
    const double scale = std::atof(scaleText);
    const int hemisphere = projGetHemisphere();
    const char* letter = projGetProjectionNumber() == 1 ? "N" : (hemisphere == 0 ? "Y" : "N");
    char text[256];
    w->gsExecuteMacro("#SETPORTRAIT 0");
    w->gsExecuteMacro(("#UNITS 1 " + quoted(" m")).c_str());
    w->gsExecuteMacro(("#SETAREAUNITS 8 " + quoted("sq m") + " 1000000").c_str());
    w->gsExecuteMacro(("#HEMISPHR " + quoted(letter)).c_str());
    std::snprintf(text, sizeof text, "#CHGCOORD \"S\" \"Y\"%.3lf %.3lf", midH, midV);
    w->gsExecuteMacro(text);
    std::snprintf(text, sizeof text, "#NEWSCALE 10 %.3lf [%.3lf,%.3lf]", scale, midH, midV);
    w->gsExecuteMacro(text);
    w->gsExecuteMacro("#SETNORTHEAST 0");
    std::snprintf(text, sizeof text, "#SETANGFORMAT 2 0 %d %d", hemisphere == 0 ? 6 : 12, hemisphere == 0 ? 1 : 0);
    w->gsExecuteMacro(text);
    w->gsExecuteMacro("#SETPOINTDEF 0 -2");
}

// ---------------------------------------------------------------------------------------------
// The names table

namespace display {

void emptyNamesTable() {
    DATA4* t = state().namesTable;
    if (t && d4recCount(t) > 0) {
        d4zap(t, 1, d4recCount(t));
        d4reindex(t);
    }
}

void namesLayerDone() {
    DisplayState& s = state();
    if (s.namesTable && s.namesOld) {
        d4unlock(s.namesTable);
        s.namesOld = false;
    }
}

}  // namespace display

// "Survey"/"NamesListMax" has no documented default: 2000 names keep the pickers quick.
constexpr int kNamesListMaxDefault = 2000;

int dbfUpdateNamesDb(const char* name) {
    DATA4* t = state().namesTable;
    if (!t || !name || !name[0] || name[0] == '[') return 0;
    const long most = coreGetDefaultInt("Survey", "NamesListMax", kNamesListMaxDefault);
    if (d4recCount(t) >= most) return 0;
    if (std::atoi(name) != 0 && !coreGetDefaultInt("Survey", "NamesListNum", 0)) return 0;
    char key[18];
    std::snprintf(key, sizeof key, "%-17.17s", name);
    if (d4seek(t, key) == 0) return 0;
    if (d4appendBlank(t) != 0) return 0;
    f4assign(d4field(t, "NAME"), key);
    d4flush(t);
    return 1;
}

int dbfIsNamesOld() { return state().namesOld ? 1 : 0; }
void dbfSetNamesOld() { state().namesOld = true; }
DATA4* dbfNamesDbPtr() { return state().namesTable; }
