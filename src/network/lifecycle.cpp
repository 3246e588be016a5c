// Opening, closing and saving the network tables. The saved files are never edited: opening
// copies them to work files in the work folder, every edit goes to the work files, and saving
// copies them back. A work file that outlives a crash is offered for reuse at the next open.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "database/frame.h"
#include "frame/state.h"
#include "network/network_internal.h"
#include "platform/core.h"

namespace network {

namespace {

void setSwitches(CODE4& code, int on) {
    code.autoOpen = on;
    code.errOpen = on;
    code.errTagName = on;
    code.safety = on;
}

void withExtension(char* buffer, const char* path, const char* extension) {
    coreStrncpy(buffer, path, MAX_PATH);
    coreChangeFileExt(buffer, extension);
}

// The saved names all derive from the path passed to the open or save-as function.
void formSavedNames(const KindInfo& info, const char* path, KindFiles& f) {
    coreStrncpy(f.savedTable, path, MAX_PATH);
    if (info.savedTableExt) coreChangeFileExt(f.savedTable, info.savedTableExt);
    withExtension(f.savedIndex, f.savedTable, info.savedIndexExt);
    f.savedSettings[0] = f.savedHydro[0] = f.savedSwmm[0] = 0;
    if (info.savedSettingsExt) withExtension(f.savedSettings, f.savedTable, info.savedSettingsExt);
    if (info.savedHydroExt) withExtension(f.savedHydro, f.savedTable, info.savedHydroExt);
    if (info.savedSwmmExt) withExtension(f.savedSwmm, f.savedTable, info.savedSwmmExt);
}

// The work names: the saved table's base name in the work folder (beside the saved table when
// no work folder is set).
void formWorkNames(const KindInfo& info, KindFiles& f) {
    char folder[MAX_PATH] = {};
    coreGetVirtualPath(folder, sizeof folder);
    if (!*folder) coreExtractFilePath(f.savedTable, folder);
    std::string base = folder;
    if (!base.empty() && base.back() != '/' && base.back() != '\\') base += '/';
    char name[MAX_PATH] = {};
    coreExtractFileName(f.savedTable, name);
    if (char* dot = std::strrchr(name, '.')) *dot = 0;
    base += name;
    auto form = [&](char* buffer, const char* extension) {
        buffer[0] = 0;
        if (extension) coreStrncpy(buffer, (base + extension).c_str(), MAX_PATH);
    };
    form(f.workTable, info.workTableExt);
    form(f.workIndex, info.workIndexExt);
    form(f.workSettings, info.workSettingsExt);
    form(f.workHydro, info.workHydroExt);
    form(f.workSwmm, info.workSwmmExt);
}

// The settings object (and for storm the SWMM input object) of a kind, owned by the state.
void releaseSettings(Kind kind) {
    DBFSTATE& st = dbfState();
    if (kind == kSewer) {
        st.sewerSettings.reset();
    } else if (kind == kStorm) {
        st.stormSettings.reset();
        st.stormModel.reset();
    }
}

void useSettings(Kind kind, const char* settingsPath, const char* swmmPath) {
    DBFSTATE& st = dbfState();
    releaseSettings(kind);
    if (kind == kSewer) {
        coreStrncpy(st.sewerSettingsPath, settingsPath, MAX_PATH);
        if (coreFileExist(settingsPath)) st.sewerSettings = std::make_unique<TINIFile>(settingsPath);
    } else if (kind == kStorm) {
        coreStrncpy(st.stormSettingsPath, settingsPath, MAX_PATH);
        if (coreFileExist(settingsPath)) st.stormSettings = std::make_unique<TINIFile>(settingsPath);
        coreStrncpy(st.stormModelPath, swmmPath, MAX_PATH);
        if (coreFileExist(swmmPath)) st.stormModel = std::make_unique<SWMM_LIST>(swmmPath, "  ");
    }
}

// With no table open the settings stay readable from the defaults beside the library.
void useDefaultSettings(Kind kind) {
    if (kind == kErf) return;
    const std::string settings = libraryFile(kindInfo(kind).defaultSettings);
    const std::string swmm = libraryFile("Storm.INP");
    useSettings(kind, settings.c_str(), swmm.c_str());
}

// Copies a file when the source exists; true when it does not or the copy succeeded.
bool copyIfPresent(const char* from, const char* to) {
    if (!*from || !*to || !coreFileExist(from)) return true;
    return coreFileCopy(from, to) != 0;
}

// Says that a saved file could not be written, with the reason.
void reportSaveFailure(const char* saved) { showError(coreFileErrorText("save", saved).c_str()); }

// Copies the work files over the saved ones, table first. Each copy replaces its saved file
// whole or not at all; the first that fails is reported and stops the save, so that no later
// companion is saved ahead of its table. false then: the work files must stay for the
// recovery offered at the next open.
bool copyWorkToSaved(const KindFiles& f) {
    if (!coreFileCopy(f.workTable, f.savedTable)) {
        reportSaveFailure(f.savedTable);
        return false;
    }
    const std::pair<const char*, const char*> companions[] = {
        {f.workIndex, f.savedIndex}, {f.workSettings, f.savedSettings}, {f.workHydro, f.savedHydro},
        {f.workSwmm, f.savedSwmm}};
    for (const auto& [work, saved] : companions)
        if (!copyIfPresent(work, saved)) {
            reportSaveFailure(saved);
            return false;
        }
    return true;
}

// Closes the work table; false after saying so when a write to it failed, since it may then
// lack the last changes and must not be copied over the saved table.
bool closeWorkTable(Kind kind, DATA4* data) {
    coreFileClearError();
    const bool ok = d4close(data) == 0;
    setKindTable(kind, nullptr);
    if (!ok) reportSaveFailure(kindState(kind).files.workTable);
    return ok;
}

// Writes the settings object (storm: and the SWMM input object) to its work file; false after
// saying so when that failed.
bool saveSettingsObjects(Kind kind) {
    DBFSTATE& st = dbfState();
    const KindFiles& f = kindState(kind).files;
    auto failed = [](const char* name) {
        reportSaveFailure(name);
        return false;
    };
    coreFileClearError();
    if (kind == kSewer && st.sewerSettings && !st.sewerSettings->Save()) return failed(f.workSettings);
    if (kind == kStorm && st.stormSettings && !st.stormSettings->Save()) return failed(f.workSettings);
    if (kind == kStorm && st.stormModel && !st.stormModel->Save()) return failed(f.workSwmm);
    return true;
}

void deleteWorkFiles(const KindFiles& f) {
    for (const char* name : {f.workTable, f.workIndex, f.workSettings, f.workHydro, f.workSwmm})
        if (*name) coreFileDelete(name);
}

void deleteLockFile(const KindInfo& info, const KindFiles& f) {
    if (!info.lockExt || !*f.savedTable) return;
    char lock[MAX_PATH];
    withExtension(lock, f.savedTable, info.lockExt);
    coreFileDelete(lock);
}

bool hasDeletedRecords(DATA4* data) {
    d4tagSelect(data, nullptr);
    for (int rc = d4top(data); rc == r4success && !d4eof(data); rc = d4skip(data, 1))
        if (d4deleted(data)) return true;
    return false;
}

// Creates a missing saved table with its index, on the shared context.
bool createSavedTable(const KindInfo& info, const KindFiles& f) {
    CODE4& code = dbfState().code;
    code4initLow(&code, nullptr, 6401, 1300);
    setSwitches(code, 0);
    DATA4* data = d4create(&code, f.savedTable, info.fields, nullptr);
    INDEX4* index = data ? i4create(data, f.savedIndex, info.tags) : nullptr;
    if (data) d4close(data);
    setSwitches(code, 1);
    if (data && index) return true;
    showError(dbfFormatText(info.createFailed, code.errorCode));
    return false;
}

// The companions of a table: a missing settings file comes from a ".DFT" file of the same name
// or from the defaults beside the library, a missing SWMM input from the default one. Returns
// whether the SWMM input was there already.
bool provideCompanions(const KindInfo& info, const KindFiles& f) {
    // A companion that cannot be made is said; the table opens without it, on the defaults.
    auto provide = [](const std::string& from, const char* to) {
        if (!coreBackFile(from.c_str(), to)) showError(coreFileErrorText("create", to).c_str());
    };
    if (info.savedSettingsExt && !coreFileExist(f.savedSettings)) {
        char dft[MAX_PATH];
        withExtension(dft, f.savedSettings, ".DFT");
        provide(coreFileExist(dft) ? std::string(dft) : libraryFile(info.defaultSettings), f.savedSettings);
    }
    if (!info.savedSwmmExt) return false;
    if (coreFileExist(f.savedSwmm)) return true;
    provide(libraryFile("Storm.INP"), f.savedSwmm);
    return false;
}

}  // namespace

DATA4* openKind(Kind kind, const char* path) {
    const KindInfo& info = kindInfo(kind);
    closeKind(kind, true);
    if (!path || !*path) {
        showError(info.openFailed);
        return nullptr;
    }
    KindState& ks = kindState(kind);
    KindFiles& f = ks.files;
    formSavedNames(info, path, f);
    formWorkNames(info, f);

    if (!coreFileExist(f.savedTable) && !createSavedTable(info, f)) return nullptr;
    const bool swmmExisted = provideCompanions(info, f);

    const bool reuse = coreFileExist(f.workTable) && askYesNo(info.reuseQuestion);
    if (!reuse) {
        showStatus(info.creatingWork);
        const std::pair<const char*, const char*> copies[] = {
            {f.savedSettings, f.workSettings}, {f.savedHydro, f.workHydro}, {f.savedSwmm, f.workSwmm}};
        const char* failed = coreFileCopy(f.savedTable, f.workTable) ? nullptr : f.workTable;
        for (const auto& [saved, work] : copies)
            if (!failed && !copyIfPresent(saved, work)) failed = work;
        if (failed) {
            // Work files that are not whole copies of the saved ones must not be edited.
            showError(coreFileErrorText("create", failed).c_str());
            deleteWorkFiles(f);
            clearStatus();
            showError(info.openFailed);
            return nullptr;
        }
    } else {
        showStatus(info.openingWork);
        if (*f.workSettings && !coreFileExist(f.workSettings)) copyIfPresent(f.savedSettings, f.workSettings);
        if (*f.workHydro && !coreFileExist(f.workHydro)) copyIfPresent(f.savedHydro, f.workHydro);
        if (*f.workSwmm && !coreFileExist(f.workSwmm)) copyIfPresent(f.savedSwmm, f.workSwmm);
    }
    clearStatus();

    DATA4* data = openAndCheckKind(f.workTable, kind);
    if (!data) {
        showError(info.openFailed);
        // Fresh copies of the saved files are of no use; a reused work file stays for recovery.
        if (!reuse) deleteWorkFiles(f);
        clearStatus();
        return nullptr;
    }
    if (kind != kErf) useSettings(kind, f.workSettings, f.workSwmm);
    setKindTable(kind, data);
    ks.open = true;
    if (kind == kStorm && swmmExisted) dbfCompareSwmmFile();
    d4top(data);
    return data;
}

void closeKind(Kind kind, bool ask) {
    const KindInfo& info = kindInfo(kind);
    KindState& ks = kindState(kind);
    DATA4* data = kindTable(kind);
    if (!ks.open && !data) return;
    releaseSettings(kind);
    // A work table whose writes failed is kept for recovery and never copied back.
    bool workIntact = true;
    if (data) {
        showStatus(info.checkingDeleted);
        if (hasDeletedRecords(data) && askYesNo(info.removeDeletedAtClose)) {
            showStatus(info.removingDeleted);
            d4pack(data);
            ask = true;
        }
        workIntact = closeWorkTable(kind, data);
    }
    bool keepWork = !workIntact;
    if (workIntact && ask && askYesNo(info.saveQuestion)) {
        showStatus("Saving changes...please wait");
        keepWork = !copyWorkToSaved(ks.files);
    }
    if (!keepWork) deleteWorkFiles(ks.files);
    useDefaultSettings(kind);
    deleteLockFile(info, ks.files);
    ks.open = false;
    clearStatus();
}

DATA4* saveKind(Kind kind) {
    const KindInfo& info = kindInfo(kind);
    KindState& ks = kindState(kind);
    DATA4* data = kindTable(kind);
    if (!ks.open || !data) return nullptr;
    const bool settingsSaved = saveSettingsObjects(kind);
    const bool tableClosed = closeWorkTable(kind, data);
    showStatus(info.savingChanges);
    if (!settingsSaved || !tableClosed || !copyWorkToSaved(ks.files)) {
        // The saved files are as they were (each copy is whole or nothing); the work files
        // stay, and the next open offers them for recovery.
        clearStatus();
        dbfDispGraph(0, 0, nullptr);
        useDefaultSettings(kind);
        ks.open = false;
        return nullptr;
    }
    data = openAndCheckKind(ks.files.workTable, kind);
    clearStatus();
    dbfDispGraph(0, 0, nullptr);
    if (!data) {
        // The saved files hold the changes; the work files stay for the next open.
        showError(info.openFailed);
        useDefaultSettings(kind);
        ks.open = false;
        return nullptr;
    }
    setKindTable(kind, data);
    d4top(data);
    return data;
}

bool saveKindAs(Kind kind, char* path) {
    const KindInfo& info = kindInfo(kind);
    KindState& ks = kindState(kind);
    DATA4* data = kindTable(kind);
    if (!ks.open || !data || !path) return false;
    if (kind != kErf) {
        const bool sewer = kind == kSewer;
        const char* extKey = sewer ? "SEW" : "STW";
        FileBoxRequest request;
        request.save = true;
        request.title = sewer ? "Save Sewer File As" : "Save Storm File As";
        request.filter = sewer ? "Sewer File (*.sew)|*.sew|DBase Files (*.dbf)|*.dbf||"
                               : "Storm File (*.stw)|*.stw|DBase Files (*.dbf)|*.dbf||";
        request.defaultExt = extKey;
        char folder[MAX_PATH] = {};
        coreGetJobDefault("File Paths", extKey, "", folder, sizeof folder);
        request.initialFolder = folder;
        char proposed[MAX_PATH] = {};
        coreExtractFileName(path, proposed);
        request.proposedName = proposed;
        HostUi* ui = platformUiFor(dbfOwner());
        std::string chosen;
        if (!ui || !ui->fileBox(request, chosen) || chosen.empty()) return false;
        coreStrncpy(path, chosen.c_str(), MAX_PATH);
        coreExtractFilePath(path, folder);
        coreSetJobDefault("File Paths", extKey, folder);
    } else if (!*path) {
        return false;
    }

    deleteLockFile(info, ks.files);
    formSavedNames(info, path, ks.files);
    // The settings and SWMM input objects hold changes not yet in their work files.
    const bool settingsSaved = saveSettingsObjects(kind);
    const bool tableClosed = closeWorkTable(kind, data);
    showStatus(info.savingAs);
    const bool copied = settingsSaved && tableClosed && copyWorkToSaved(ks.files);
    if (copied) deleteWorkFiles(ks.files);
    useDefaultSettings(kind);
    ks.open = false;
    clearStatus();
    return copied;
}

}  // namespace network

// ---------------------------------------------------------------------------------------------
// The exported lifecycle

using network::kErf;
using network::kSewer;
using network::kStorm;

DATA4St* dbfSewerOpenFile(char* path) { return network::openKind(kSewer, path); }
DATA4St* dbfStormOpenFile(char* path) { return network::openKind(kStorm, path); }
DATA4St* dbfErfConOpenFile(char* path) { return network::openKind(kErf, path); }

void dbfSewerCloseFile(bool ask) { network::closeKind(kSewer, ask); }
void dbfStormCloseFile(bool ask) { network::closeKind(kStorm, ask); }
void dbfErfConCloseFile(bool ask) { network::closeKind(kErf, ask); }

DATA4St* dbfSewerSaveFile() { return network::saveKind(kSewer); }
DATA4St* dbfStormSaveFile() { return network::saveKind(kStorm); }
void dbfErfConSaveFile() { network::saveKind(kErf); }

bool dbfSewerSaveFileAs(char* path) { return network::saveKindAs(kSewer, path); }
bool dbfStormSaveFileAs(char* path) { return network::saveKindAs(kStorm, path); }
bool dbfErfConSaveFileAs(char* path) { return network::saveKindAs(kErf, path); }

bool dbfSewerIsOpen() { return network::kindState(kSewer).open; }
bool dbfStormIsOpen() { return network::kindState(kStorm).open; }
bool dbfErfConIsOpen() { return network::kindState(kErf).open; }

char* dbfSewerGetDataFileName() { return network::kindState(kSewer).files.savedTable; }
char* dbfStormGetDataFileName() { return network::kindState(kStorm).files.savedTable; }
char* dbfErfConGetDataFileName() { return network::kindState(kErf).files.savedTable; }

char* dbfSewerGetHydroFileName() { return network::kindState(kSewer).files.workHydro; }
char* dbfStormGetHydroFileName() { return network::kindState(kStorm).files.workHydro; }

TINIFile* dbfSewerGetIniFile() { return dbfState().sewerSettings.get(); }
TINIFile* dbfStormGetIniFile() { return dbfState().stormSettings.get(); }
SWMM_LIST* dbfStormGetSwmmFile() { return dbfState().stormModel.get(); }

void dbfCompareSwmmFile() {
    SWMM_LIST* project = dbfState().stormModel.get();
    if (!project) return;
    const std::string path = network::libraryFile("Storm.INP");
    SWMM_LIST defaults(path.c_str(), "  ");
    if (!coreFileExist(path.c_str()) || !defaults.Load()) {
        network::showError(
            "Could not locate the Storm.inp file in the main Velmora folder.\n"
            "Cannot update the Swmm input file for the current project.\n"
            "Please reinstall Velmora to retrieve this file.");
        return;
    }
    // Whole sections the project lacks are appended as the default file has them; the file is
    // written when the storm table is saved.
    std::string adding;
    for (SWMM_LINE* line = defaults.FirstLine(); line; line = line->Next()) {
        if (line->IsHeader()) {
            const std::string name = line->SectionName();
            adding = project->FindSection(name.c_str()) ? std::string() : name;
            if (!adding.empty()) project->AppendNewSection(adding.c_str());
        } else if (!adding.empty() && !line->IsBlank()) {
            project->AppendNoKey(adding.c_str(), line->Text().c_str());
        }
    }
}
