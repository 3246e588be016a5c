// The life of a road: choosing its work copies when it opens (with the recovery questions),
// offering to save when it closes, the titles, the design settings upgrade and the road flags.
#include <cstring>
#include <string>

#include "database/frame.h"
#include "database/road.h"
#include "database/strings.h"
#include "platform/core.h"
#include "road/road_state.h"

namespace {

constexpr const char* kRecoverBothText =
    "Existing work file found. This occurs if the SEC file was not saved correctly.\n\n"
    "Would you like to reuse this file and recover the data?";
constexpr const char* kRecoverWorkOnlyText =
    "Existing work file found. This occurs if the SEC file was not saved correctly.\n"
    "Would you like to reuse this file ?";
constexpr const char* kDrawingTitle = "Plansmith";
constexpr const char* kDrawingTitleWithRoad = "Plansmith (Active Road: %s)";
constexpr double kDesignFileVersion = 6.0;

// The four files of the current road.
struct RoadFiles {
    char saved[MAX_PATH] = {};          // "sec"
    char savedStrings[MAX_PATH] = {};   // "str"
    char work[MAX_PATH] = {};           // "rbk"
    char workStrings[MAX_PATH] = {};    // "sbk"
};

RoadFiles savedNames() {
    RoadFiles f;
    dbfFileName(f.saved, "sec", kFileRoad, 0);
    dbfFileName(f.savedStrings, "str", kFileRoad, 0);
    return f;
}

// The road number of Global/RoadId, written back as 1 when it is not a valid road.
int currentRoadNumber() {
    int road = coreGetJobDefaultInt("Global", "RoadId", 1);
    if (road < 1 || road > dbfState().maxRoads) {
        road = 1;
        coreSetJobDefaultInt("Global", "RoadId", 1);
    }
    return road;
}

bool roadWindowShown(int quiet) { return !quiet && dbfState().roadWnd != nullptr; }

void resetRoadWindowView(int quiet) {
    if (roadWindowShown(quiet) && dbfState().hooks.resetRoadWindow) dbfState().hooks.resetRoadWindow();
}

void titleRoadFrame(int quiet, const char* title) {
    DBFSTATE& s = dbfState();
    if (roadWindowShown(quiet) && s.roadFrame) s.roadFrame->SetWindowText(title);
}

void titleDrawingFrame(const char* title) {
    if (dbfState().mainFrame) dbfState().mainFrame->SetWindowText(title);
}

int ask(const char* text, const char* caption, unsigned icon) {
    return AfxMessageBox(dbfOwner(), text, caption, MB_YESNO | icon);
}

// Copies a file when it exists. true when it does not or the copy succeeded; false after
// saying which file could not be written and why (the target then stays as it was).
bool copyIfExists(const char* from, const char* to, const char* action) {
    if (!coreFileExist(from)) return true;
    if (coreFileCopy(from, to)) return true;
    ErrorMessage(coreFileErrorText(action, to).c_str(), dbfOwner());
    return false;
}

// Chooses the work copies before the road opens: fresh copies of the saved files, or the work
// copies a crash left behind when the user wants them back.
void prepareWorkCopies(const RoadFiles& f) {
    const bool savedExist = coreFileExist(f.saved) || coreFileExist(f.savedStrings);
    const bool workExists = coreFileExist(f.work) || coreFileExist(f.workStrings);
    auto freshCopies = [&] {
        // A work copy without a saved file would otherwise survive a No and mix with the
        // saved data.
        if (!coreFileExist(f.saved)) coreFileDelete(f.work);
        if (!coreFileExist(f.savedStrings)) coreFileDelete(f.workStrings);
        // A work copy that could not be refreshed must not open with stale data: without it
        // the road does not open.
        if (!copyIfExists(f.saved, f.work, "create")) coreFileDelete(f.work);
        if (!copyIfExists(f.savedStrings, f.workStrings, "create")) coreFileDelete(f.workStrings);
        dbfRoadReset();
    };
    if (savedExist && !workExists) {
        freshCopies();
    } else if (savedExist && workExists) {
        if (ask(kRecoverBothText, "Existing", MB_ICONERROR) != IDYES) freshCopies();
    } else if (workExists) {
        if (ask(kRecoverWorkOnlyText, "Existing", MB_ICONQUESTION) != IDYES) {
            coreFileDelete(f.work);
            coreFileDelete(f.workStrings);
        }
    }
}

// The skew flags: (1, 0) when some visible chainage has a skew, else (0, 0).
void findSkew() {
    dbfRoadSetSkewFlags(0, 0);
    double chg = kChgBeforeFirst;
    CHGBASE rec;
    for (unsigned idx = dbfFindChainage(chg, 0); idx != 0; idx = dbfNextChainage(chg, 0)) {
        if (!dbfGrabChg(idx, &rec)) break;
        if (rec.skew != 0) {
            dbfRoadSetSkewFlags(1, 0);
            break;
        }
    }
}

// Titles and settings after an open (also when the road was open already).
void refreshRoad(int quiet) {
    const int road = currentRoadNumber();
    char key[32], name[MAX_PATH];
    std::snprintf(key, sizeof key, "Road%d", road);
    coreGetJobDefault("RoadList", key, key, name, MAX_PATH);
    titleRoadFrame(quiet, name);
    char title[MAX_PATH + 64];
    std::snprintf(title, sizeof title, kDrawingTitleWithRoad, name);
    titleDrawingFrame(title);
    dbfResetDesFile();
    if (dbfState().hooks.reloadRoadWindowSettings) dbfState().hooks.reloadRoadWindowSettings();
    dbfRoadLoadEquations();
}

void openRoad(int quiet) {
    RoadFiles f = savedNames();
    dbfFileName(f.work, "rbk", kFileRoad, 1);
    dbfFileName(f.workStrings, "sbk", kFileRoad, 1);
    dbfSetWorkFileName(kWorkRoad, f.work);
    dbfSetWorkFileName(kWorkRoad2, f.workStrings);

    if (!quiet) dbfDispStatus("Loading road database", kStatusResetBusy);
    prepareWorkCopies(f);
    if (!quiet) dbfDispStatus(nullptr, kStatusClear);

    RoadState& r = roadState();
    r.layerNamesLoaded = false;
    r.open = true;
    dbfRoadOpen();
    resetRoadWindowView(quiet);
    findSkew();
}

void closeRoad(int quiet) {
    dbfRoadClose();
    char work[MAX_PATH], workStrings[MAX_PATH];
    dbfWorkFileName(work, kWorkRoad);
    dbfWorkFileName(workStrings, kWorkRoad2);
    if (coreFileExist(work) || coreFileExist(workStrings)) {
        const int road = currentRoadNumber();
        // A work copy found damaged, or one a write failed on, is not offered for saving; when
        // it was edited it stays for recovery, as after a failed save.
        bool saveFailed = roadState().frozen && dbfRoadEdit();
        if (!roadState().frozen && dbfRoadEdit()) {
            char question[64];
            std::snprintf(question, sizeof question, "Save changes to Road %d", road);
            if (ask(question, "Save", MB_ICONQUESTION) == IDYES) {
                const RoadFiles saved = savedNames();
                dbfDispStatus("Saving road database", kStatusResetBusy);
                // Each saved file is replaced whole or not at all; the strings file is saved
                // only after its road.
                saveFailed = !copyIfExists(work, saved.saved, "save") ||
                             !copyIfExists(workStrings, saved.savedStrings, "save");
                dbfDispStatus(nullptr, kStatusClear);
            }
        }
        // After a failed save the work copies hold the only copy of the changes: they stay,
        // and the next open offers them for recovery.
        if (!saveFailed) {
            coreFileDelete(work);
            coreFileDelete(workStrings);
        }
    }
    RoadState& r = roadState();
    r.open = false;
    r.layerNamesLoaded = false;
    titleRoadFrame(quiet, "Road");
    resetRoadWindowView(quiet);
    titleDrawingFrame(kDrawingTitle);
    dbfSetWorkFileName(kWorkRoad, "");
    dbfSetWorkFileName(kWorkRoad2, "");
}

// Design settings files before version 6 list the pipe long-section entries as bare lines;
// they become keys MH1, MH2, ... so that the settings reader sees them.
void upgradeDesignFile() {
    const double version = dbfGetRoadDefaultDouble("Global", "Version", 0.0);
    if (dblGreaterEqual(version, kDesignFileVersion)) return;

    dbfDispStatus("Upgrading design file", kStatusPush);
    char design[MAX_PATH], backup[MAX_PATH];
    dbfFileName(design, "des", kFileRoad, 0);
    dbfFileName(backup, "bak", kFileRoad, 0);
    if (!coreBackFile(design, backup) && coreFileExist(design)) {
        // Without its backup the design file is not rewritten: it stays at its old version.
        ErrorMessage(coreFileErrorText("save", backup).c_str(), dbfOwner());
        dbfDispStatus(nullptr, kStatusPop);
        return;
    }
    FILE* old = coreFileOpen(backup, "r+t");
    bool rewritten = true;
    if (old && dbfSeekFlag("[PipeLong]", old)) {
        coreFileSetPointer(0, 0, old);
        FILE* fresh = coreFileOpen(design, "w+t");
        rewritten = fresh != nullptr;
        if (fresh) {
            rewritten = coreWriteFile(old, fresh, "[PipeLong]") && coreFileTxtWrite("[PipeLong]", fresh);
            char line[1024];
            std::string ending;   // the line that ended the section, written after it
            for (int counter = 1; rewritten && coreFileTxtRead(line, old, sizeof line); ++counter) {
                coreTrimStr(line);
                if (line[0] == '[' || line[0] == 0) {
                    ending = line;
                    break;
                }
                char entry[1100];
                std::snprintf(entry, sizeof entry, "MH%d=%s", counter, line);
                rewritten = coreFileTxtWrite(entry, fresh) == 1;
            }
            rewritten = rewritten && coreFileTxtWrite("", fresh);
            if (rewritten && !ending.empty()) rewritten = coreFileTxtWrite(ending.c_str(), fresh) == 1;
            rewritten = rewritten && coreWriteFile(old, fresh, nullptr);
            if (!coreFileCloseChecked(fresh)) rewritten = false;
        }
    }
    coreFileClose(old);
    if (!rewritten) {
        // The backup is the old design file whole: it goes back in place of the half-written one.
        ErrorMessage(coreFileErrorText("save", design).c_str(), dbfOwner());
        coreFileRename(backup, design);
        dbfDispStatus(nullptr, kStatusPop);
        return;
    }
    coreFileDelete(backup);
    dbfSetRoadDefaultDouble("Global", "Version", kDesignFileVersion);
    dbfDispStatus(nullptr, kStatusPop);
}

}  // namespace

void dbfRoadInit(int open, int quiet) {
    RoadState& r = roadState();
    if (open) {
        if (!r.open) openRoad(quiet);
        refreshRoad(quiet);
    } else if (r.open) {
        closeRoad(quiet);
    }
}

int dbfRoadIsOpen() { return roadState().open ? 1 : 0; }

int dbfRoadOpen() {
    char work[MAX_PATH], workStrings[MAX_PATH];
    dbfWorkFileName(work, kWorkRoad);
    dbfWorkFileName(workStrings, kWorkRoad2);
    if (workStrings[0]) dbfStringOpenFile(workStrings);
    if (!dbfRoadOpenFile(work)) {
        // A refused road file leaves nothing open: the road is open without a file, its
        // functions fail, and closing it saves nothing.
        dbfStringCloseFile();
        return 0;
    }
    upgradeDesignFile();
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Flags

int dbfRoadGetBusyFlag() { return roadState().busy; }
void dbfRoadSetBusyFlag(int busy) { roadState().busy = busy; }
int dbfRoadGetChangeFlag() { return roadState().changeRequested; }
void dbfRoadSetChangeFlag(int change) { roadState().changeRequested = change; }

int dbfRoadChangeOrExit() {
    RoadState& r = roadState();
    if (r.busy) {
        roadError("A previous function is still in progress");
        return 0;
    }
    r.changeRequested = 1;
    if (dbfKillCurrentClass() && dbfState().hooks.closeRoadWindow) dbfState().hooks.closeRoadWindow();
    return 1;
}

void dbfRoadGetSkewFlags(int& first, int& second) {
    first = roadState().skew1;
    second = roadState().skew2;
}

void dbfRoadSetSkewFlags(int first, int second) {
    roadState().skew1 = first;
    roadState().skew2 = second;
}

int dbfRoadGetWizardFlag() { return roadState().wizard; }
void dbfRoadSetWizardFlag(int wizard) { roadState().wizard = wizard; }

int dbfRoadIsProcessDone(int step) {
    char list[256];
    coreGetJobDefault("Roads", "AutoList", "", list, sizeof list);
    return coreGetFieldInt(list, 0, step + 1, ',') == 0 ? 1 : 0;
}
