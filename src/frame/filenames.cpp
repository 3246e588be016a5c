// Data file names of the current project, the work file names, and the lock files that keep a
// data file from being used on two machines at once.
#include <cstdlib>
#include <cstring>
#include <string>

#include "database/frame.h"
#include "frame/state.h"
#include "platform/core.h"
#include "platform/os.h"

namespace {

// The project name without its extension, moved into the work folder when asked and one is set.
std::string projectBaseName(int inWorkFolder) {
    char project[MAX_PATH];
    coreGetJobDefault("Global", "Merolind", "untitled", project, sizeof project);
    std::string name = project;
    if (inWorkFolder) {
        char work[MAX_PATH];
        coreGetVirtualPath(work, sizeof work);
        if (work[0]) {
            std::string folder = work;
            if (folder.back() != '/' && folder.back() != '\\') folder += '/';
            char file[MAX_PATH];
            coreExtractFileName(project, file);
            name = folder + file;
        }
    }
    // Only a dot in the file's own name starts its extension; a dotted folder name stays whole.
    // The documented rule cuts the project name at its last dot wherever it lies; for a project
    // named by a file with an extension, the only kind a correct caller passes, the two agree,
    // and cutting inside a folder name would only build names in a folder that does not exist.
    const std::size_t slash = name.find_last_of("/\\");
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.erase(dot);
    return name;
}

// The current road number: Global/RoadId, written back as 1 when it is not a valid road.
int currentRoad() {
    int road = coreGetJobDefaultInt("Global", "RoadId", 1);
    if (road < 1 || road > dbfState().maxRoads) {
        road = 1;
        coreSetJobDefaultInt("Global", "RoadId", 1);
    }
    return road;
}

}  // namespace

void dbfFileName(char* buffer, const char* extension, unsigned kind, int inWorkFolder) {
    if (!buffer) return;
    const std::string base = projectBaseName(inWorkFolder);
    const std::string ext = extension ? extension : "";
    std::string result;
    switch (kind) {
        case kFileProject:
        case kFileProjectAlt:
            result = base + "." + ext;
            break;
        case kFileRoad:
            result = base + "." + std::to_string(currentRoad()) + "." + ext;
            break;
        case kFileRoadSec:
            result = base + "." + ext + ".sec";
            break;
        case kFileRoadDes:
            result = base + "." + ext + ".des";
            break;
        case kFileRoadStr:
            result = base + "." + ext + ".str";
            break;
        default:
            ErrorMessage("Illegal file open", dbfOwner());
            return;
    }
    coreStrncpy(buffer, result.c_str(), MAX_PATH);
}

void dbfWorkFileName(char* buffer, unsigned kind) {
    if (!buffer) return;
    const DBFSTATE& s = dbfState();
    const char* name = "";
    if (kind == kWorkTerrain)
        name = s.terrainWorkFile;
    else if (kind == kWorkRoad)
        name = s.roadWorkFile;
    else if (kind == kWorkRoad2)
        name = s.roadWorkFile2;
    coreStrncpy(buffer, name, MAX_PATH);
}

void dbfSetWorkFileName(unsigned kind, const char* name) {
    DBFSTATE& s = dbfState();
    char* target = kind == kWorkTerrain ? s.terrainWorkFile
                   : kind == kWorkRoad  ? s.roadWorkFile
                   : kind == kWorkRoad2 ? s.roadWorkFile2
                                        : nullptr;
    if (target) coreStrncpy(target, name ? name : "", MAX_PATH);
}

int dbfCheckLockStatus(const char* dataFile, const char* lockExtension) {
    if (!dataFile || !lockExtension) return 0;
    HWND owner = dbfOwner();

    char ownerName[MAX_PATH];
    const std::string login = osOwnerName();
    if (login.empty()) {
        ErrorMessage("Unable to open User Name for reading", owner);
        coreStrncpy(ownerName, "Unknown User", sizeof ownerName);
    } else {
        coreStrncpy(ownerName, login.c_str(), sizeof ownerName);
    }
    const std::uint32_t serial = osMachineMark();

    char lockName[MAX_PATH];
    coreStrncpy(lockName, dataFile, sizeof lockName);
    coreChangeFileExt(lockName, lockExtension);

    if (coreFileExist(lockName)) {
        FILE* lock = coreFileOpen(lockName, "r+t");
        if (!lock) {
            ErrorMessage("Unable to read lock file", owner);
            return 0;
        }
        char line[1024] = {};
        coreFileTxtRead(line, lock, sizeof line);
        lock = coreFileClose(lock);
        char lockOwner[256];
        char lockSerial[50];
        coreGetField(line, "", lockOwner, sizeof lockOwner, 1, ',');
        coreGetField(line, "", lockSerial, sizeof lockSerial, 2, ',');
        bool inUse;
        if (std::strcmp(lockSerial, "0") != 0) {
            // Written by a machine: ours takes it over, any other keeps it. A serial that is
            // not a number is another machine's.
            char* end = nullptr;
            const unsigned long theirs = std::strtoul(lockSerial, &end, 16);
            inUse = lockSerial[0] == '\0' || *end != '\0' || theirs != serial;
        } else {
            // Serial 0 names only its owner: the same user may take it over on any machine.
            inUse = std::strcmp(lockOwner, ownerName) != 0;
        }
        if (inUse) {
            ErrorMessage(dbfFormatText("Data file %s\nis marked as read-only.\nIn use by %s", dataFile, lockOwner),
                         owner);
            return 0;
        }
        coreFileDelete(lockName);
    }

    FILE* lock = coreFileOpen(lockName, "w+t");
    if (!lock) {
        ErrorMessage("Unable to create lock file", owner);
        return 0;
    }
    char mark[MAX_PATH + 16];
    std::snprintf(mark, sizeof mark, "%s,%X", ownerName, static_cast<unsigned>(serial));
    const int written = coreFileBinWrite(mark, std::strlen(mark), lock);
    lock = coreFileClose(lock);
    if (!written) {
        ErrorMessage("Unable to create lock file", owner);
        return 0;
    }
    return 1;
}
