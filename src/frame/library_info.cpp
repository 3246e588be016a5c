// What start-up found, copied out for a host that reports it (the state itself stays private).
#include "database/frame.h"
#include "frame/state.h"

int dbfLibraryInfo(DBFLIBRARYINFO& info) {
    if (!dbfIsInitialised()) return 0;
    const DBFSTATE& s = dbfState();
    info.cacheSlots = s.cacheSlots;
    info.cachePercent = s.cachePercent;
    info.physicalMemory = s.physicalMemory;
    info.sewerSettingsPath = s.sewerSettingsPath;
    info.stormSettingsPath = s.stormSettingsPath;
    info.stormModelPath = s.stormModelPath;
    info.sewerSettings = s.sewerSettings != nullptr;
    info.stormSettings = s.stormSettings != nullptr;
    info.stormModel = s.stormModel != nullptr;
    info.maxRoads = s.maxRoads;
    return 1;
}
