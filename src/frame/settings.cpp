// The current road's design settings file, starting a new project, fences kept in the job
// settings, the grid and contour file records, and the file selection boxes that remember the
// last folder per file type.
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "database/frame.h"
#include "frame/state.h"
#include "platform/core.h"

// ---------------------------------------------------------------------------------------------
// Design settings: every access points the one design file object at the current road's file,
// so that a change of road (Global/RoadId) is followed at once.

INI_LIST* dbfGetDesFile() {
    char name[MAX_PATH];
    dbfFileName(name, "des", kFileRoad, 0);
    INI_LIST* des = &dbfState().desFile;
    des->SetFile(name);
    return des;
}

void dbfResetDesFile() { dbfState().desFile.SetFile(nullptr); }

void dbfGetRoadDefault(const char* section, const char* key, const char* def, char* buffer, int size) {
    dbfGetDesFile()->GetString(section, key, def ? def : "", buffer, size);
}

int dbfGetRoadDefaultInt(const char* section, const char* key, int def) {
    char text[64];
    char value[MAX_PATH];
    std::snprintf(text, sizeof text, "%d", def);
    dbfGetRoadDefault(section, key, text, value, sizeof value);
    return static_cast<int>(std::strtol(value, nullptr, 10));
}

double dbfGetRoadDefaultDouble(const char* section, const char* key, double def) {
    // The default goes through the same text as a stored value, so it comes back to three
    // decimals too.
    char text[64];
    char value[MAX_PATH];
    std::snprintf(text, sizeof text, "%.3f", def);
    dbfGetRoadDefault(section, key, text, value, sizeof value);
    return std::strtod(value, nullptr);
}

void dbfSetRoadDefault(const char* section, const char* key, const char* value) {
    if (!section || !key || !value) return;
    INI_LIST* des = dbfGetDesFile();
    des->SetString(section, key, value);
    des->Save();
}

void dbfSetRoadDefaultInt(const char* section, const char* key, int value) {
    char text[64];
    std::snprintf(text, sizeof text, "%d", value);
    dbfSetRoadDefault(section, key, text);
}

void dbfSetRoadDefaultDouble(const char* section, const char* key, double value) {
    char text[400];
    std::snprintf(text, sizeof text, "%.3lf", value);
    dbfSetRoadDefault(section, key, text);
}

void dbfDeleteRoadSection(const char* section) {
    if (!section) return;
    INI_LIST* des = dbfGetDesFile();
    des->DeleteSection(section);
    des->Save();
}

void dbfNewProject(const char* folder) {
    dbfResetDesFile();
    coreSetDefault("Main", "JobPath", folder ? folder : "");
    coreFlushDefault();
    coreStartProject();
}

// ---------------------------------------------------------------------------------------------
// Fences

int dbfGrabFence(const char* name, std::vector<PNT_2D_record>& polygon) {
    polygon.clear();
    if (!name || !name[0]) return 0;
    for (unsigned node = 1;; ++node) {
        char key[32];
        char value[40];
        std::snprintf(key, sizeof key, "Node%u", node);
        coreGetJobDefault(name, key, "NULL", value, sizeof value);
        if (strcasecmp(value, "NULL") == 0) break;
        const double y = coreGetFieldDouble(value, 0.0, 1, ',');
        const double x = coreGetFieldDouble(value, 0.0, 2, ',');
        if (dblIsZero(x) && dblIsZero(y)) break;   // (0, 0) ends the list
        polygon.push_back({x, y});
    }
    // A fence is a closed polygon: its last node repeats the first.
    if (!polygon.empty()) {
        const PNT_2D_record& first = polygon.front();
        const PNT_2D_record& last = polygon.back();
        if (!dblEqual(last.x, first.x) && !dblEqual(last.y, first.y)) polygon.clear();
    }
    if (polygon.size() < 3) polygon.clear();
    return static_cast<int>(polygon.size());
}

unsigned dbfFenceCombo(CComboBox* combo) {
    unsigned count = 0;
    for (unsigned item = 1;; ++item) {
        char key[32];
        char value[MAX_PATH];
        std::snprintf(key, sizeof key, "Item%u", item);
        coreGetJobDefault("Fence Names", key, "NULL", value, sizeof value);
        if (strcasecmp(value, "NULL") == 0) break;
        if (combo) combo->AddString(value);
        ++count;
    }
    return count;
}

// ---------------------------------------------------------------------------------------------
// Grid and contour records: moved whole, never interpreted here.

int dbfReadGridHeader(void* header) {
    if (!header) return 0;
    char name[MAX_PATH];
    dbfFileName(name, "grd", kFileProject, 0);
    if (!coreFileExist(name)) {
        AfxMessageBox(dbfOwner(),
                      "This function requires that you first perform the DTM Grid Volumes function\n"
                      "so as to create a project .GRD file.",
                      "GRD file not found", MB_OK | MB_ICONERROR);
        return 0;
    }
    FILE* grid = coreFileOpen(name, "rb");
    if (!grid) return 0;
    const int ok = coreFileBinRead(header, kGridHeaderBytes, grid);
    coreFileClose(grid);
    return ok;
}

// Opens the grid file for reading and appending ("a+b": a missing file is created empty, as
// the grid volumes that write it expect), reads the record's rectangle and grid and returns 1;
// 0 only when the file cannot be opened. What the reads cannot fill (a record past the end of
// the file) is left zero rather than holding whatever the buffers held. Records count from 1:
// record 0 names nothing and gives 0.
int dbfReadGrid(unsigned record, std::int32_t* grid, RRect* limits) {
    if (record < 1 || !grid || !limits) return 0;
    char name[MAX_PATH];
    dbfFileName(name, "grd", kFileProject, 0);
    FILE* file = coreFileOpen(name, "a+b");
    if (!file) return 0;
    *limits = RRect{};
    std::memset(grid, 0, sizeof(std::int32_t) * kGridSide * kGridSide);
    const std::int64_t offset = kGridHeaderBytes + static_cast<std::int64_t>(record - 1) * kGridRecordBytes;
    if (coreFileSetPointer(0, offset, file) && coreFileBinRead(limits, sizeof(RRect), file))
        coreFileBinRead(grid, sizeof(std::int32_t) * kGridSide * kGridSide, file);
    coreFileClose(file);
    return 1;
}

int dbfStoreContourHeader(const void* header, FILE* stream) {
    return header ? coreFileBinWrite(header, kContourHeaderBytes, stream) : 0;
}

int dbfReadContourHeader(void* header, FILE* stream) {
    return header ? coreFileBinRead(header, kContourHeaderBytes, stream) : 0;
}

int dbfStoreContour(const void* lineRecord, const std::vector<PNT_2D_record>& polygon, FILE* stream) {
    if (!lineRecord || !coreFileBinWrite(lineRecord, kContourLineBytes, stream)) return 0;
    return coreFileBinWrite(polygon.data(), polygon.size() * sizeof(PNT_2D_record), stream);
}

int dbfReadContour(void* lineRecord, std::vector<PNT_2D_record>& polygon, FILE* stream) {
    if (!lineRecord || !coreFileBinRead(lineRecord, kContourLineBytes, stream)) return 0;
    std::uint16_t count = 0;
    std::memcpy(&count, static_cast<const std::uint8_t*>(lineRecord) + 1, sizeof count);
    polygon.resize(count);
    if (!coreFileBinRead(polygon.data(), polygon.size() * sizeof(PNT_2D_record), stream)) {
        polygon.clear();
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------------------------------------
// File boxes

namespace {

std::string rememberedFolder(const char* extension) {
    char folder[MAX_PATH] = {};
    if (extension && extension[0]) coreGetJobDefault("File Paths", extension, "", folder, sizeof folder);
    return folder;
}

void rememberFolder(const char* extension, const std::string& path) {
    if (!extension || !extension[0]) return;
    char folder[MAX_PATH];
    coreExtractFilePath(path.c_str(), folder);
    coreSetJobDefault("File Paths", extension, folder);
}

// The extension of a path's file name (without the dot), at most 15 characters.
std::string extensionOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return path.substr(dot + 1, 15);
}

// The chosen path with the given extension when forced and the chosen one differs.
std::string forcedExtension(const std::string& chosen, const char* extension, int force) {
    if (!force || !extension || strcasecmp(extensionOf(chosen).c_str(), extension) == 0) return chosen;
    char path[MAX_PATH];
    coreStrncpy(path, chosen.c_str(), sizeof path);
    coreChangeFileExt(path, extension);
    return path;
}

std::string oneTypeFilter(const char* description, const char* extension) {
    char filter[1024];
    std::snprintf(filter, sizeof filter, "%s File (*.%s)|*.%s|All Files (*.*)|*.*||", description, extension,
                  extension);
    return filter;
}

bool askFile(FileBoxRequest& request, std::string& chosen) {
    HostUi* ui = platformUiFor(dbfOwner());
    return ui && ui->fileBox(request, chosen) && !chosen.empty();
}

}  // namespace

int dbfSelectOpenFile(char* buffer, int size, const char* title, const char* description, const char* extension,
                      int forceExtension) {
    if (!buffer || size < 1) return 0;
    description = description ? description : "";
    extension = extension ? extension : "";
    FileBoxRequest request;
    request.save = false;
    request.title = title ? title : "";
    request.filter = oneTypeFilter(description, extension);
    request.defaultExt = extension;
    request.initialFolder = rememberedFolder(extension);
    if (request.initialFolder.empty()) request.initialFolder = buffer;
    std::string chosen;
    if (!askFile(request, chosen)) return 0;
    chosen = forcedExtension(chosen, extension, forceExtension);
    coreStrncpy(buffer, chosen.c_str(), size);
    rememberFolder(extension, chosen);
    return 1;
}

int dbfSelectOpenFile(char* buffer, int size, const char* title, const char* description1, const char* extension1,
                      const char* description2, const char* extension2) {
    if (!buffer || size < 1) return 0;
    description1 = description1 ? description1 : "";
    extension1 = extension1 ? extension1 : "";
    description2 = description2 ? description2 : "";
    extension2 = extension2 ? extension2 : "";
    // The type the user took last time comes first; only the two survey formats count.
    char preferred[MAX_PATH];
    coreGetDefault("SurveyImport", "PreferExt", extension1, preferred, sizeof preferred);
    coreTrimStr(preferred);
    if (strcasecmp(preferred, "dat") != 0 && strcasecmp(preferred, "csv") != 0) preferred[0] = '\0';

    FileBoxRequest request;
    request.save = false;
    request.title = title ? title : "";
    char filter[1024];
    std::snprintf(filter, sizeof filter, "%s File (*.%s)|*.%s|%s File (*.%s)|*.%s|All Files (*.*)|*.*||",
                  description1, extension1, extension1, description2, extension2, extension2);
    request.filter = filter;
    request.defaultExt = extension1;
    request.filterIndex = strcasecmp(preferred, "csv") == 0 ? 2 : 1;
    request.initialFolder = rememberedFolder(preferred);
    std::string chosen;
    if (!askFile(request, chosen)) return 0;
    coreStrncpy(buffer, chosen.c_str(), size);
    const std::string chosenExtension = extensionOf(chosen);
    rememberFolder(chosenExtension.c_str(), chosen);
    coreSetDefault("SurveyImport", "PreferExt", chosenExtension.c_str());
    return 1;
}

int dbfSelectSaveFile(char* buffer, const char* title, const char* description, const char* extension,
                      int forceExtension) {
    if (!buffer) return 0;
    description = description ? description : "";
    extension = extension ? extension : "";
    FileBoxRequest request;
    request.save = true;
    request.title = title ? title : "";
    request.filter = oneTypeFilter(description, extension);
    request.defaultExt = extension;
    request.proposedName = buffer;
    request.initialFolder = rememberedFolder(extension);
    std::string chosen;
    if (!askFile(request, chosen)) return 0;
    chosen = forcedExtension(chosen, extension, forceExtension);
    coreStrncpy(buffer, chosen.c_str(), MAX_PATH);
    rememberFolder(extension, chosen);
    return 1;
}
