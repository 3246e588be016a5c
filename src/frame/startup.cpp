// Start-up and shut-down of the library, the application object, the road window's creation,
// the version, the host's current command, the Yes / No / Yes to All question and the
// registration of the host's callbacks.
#include <cinttypes>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "database/frame.h"
#include "frame/app.h"
#include "frame/state.h"
#include "platform/core.h"
#include "platform/os.h"

// ---------------------------------------------------------------------------------------------
// The application object

CDatabaseApp::CDatabaseApp() {
    dbfState().roadFrame = nullptr;
    InitInstance();
}

CDatabaseApp::~CDatabaseApp() { ExitInstance(); }

bool CDatabaseApp::InitInstance() {
    DBFSTATE& s = dbfState();
    s.cacheDescriptors.reset();
    s.cacheBlocks.reset();
    return true;
}

int CDatabaseApp::ExitInstance() {
    DBFSTATE& s = dbfState();
    if (s.hooks.removeLegends) {
        // The shortcut bar belongs to the host, which may be half gone by now: nothing that goes
        // wrong while removing the legends may stop the unload.
        try {
            s.hooks.removeLegends();
        } catch (...) {
        }
    }
    dbfFreeCache();
    return 0;
}

namespace {
CDatabaseApp theApp;
}

CDatabaseApp& dbfApp() { return theApp; }

// ---------------------------------------------------------------------------------------------
// Start-up

namespace {

// The clamped share of physical memory (percent) the block cache may take.
int cachePercent() {
    int percent = coreGetDefaultInt("Global", "DTMRam", 25);
    if (percent < 26) percent = 25;
    if (percent > 50) percent = 50;
    return percent;
}

// Slot count for a budget of percent of memory bytes, never below the floor. Computed in 64 bits
// in two parts so that the product cannot overflow.
std::uint64_t cacheSlotsFor(std::uint64_t memory, int percent) {
    const std::uint64_t p = static_cast<std::uint64_t>(percent);
    const std::uint64_t budget = memory / 100 * p + memory % 100 * p / 100;
    const std::uint64_t slots = budget / kCacheBlockBytes;
    return slots > kCacheMinSlots ? slots : kCacheMinSlots;
}

// Allocates the zeroed descriptor table and block data; false when the size does not fit this
// machine's addresses or the memory cannot be had.
bool allocateCache(std::uint64_t slots) {
    DBFSTATE& s = dbfState();
    if (slots > std::numeric_limits<std::uint32_t>::max()) return false;
    const std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max());
    if (slots > limit / kCacheBlockBytes) return false;
    const std::size_t n = static_cast<std::size_t>(slots);
    ZeroedBytes descriptors(static_cast<std::uint8_t*>(std::calloc(n, kCacheDescriptorBytes)));
    ZeroedBytes blocks(static_cast<std::uint8_t*>(std::calloc(n, kCacheBlockBytes)));
    if (!descriptors || !blocks) return false;
    s.cacheDescriptors = std::move(descriptors);
    s.cacheBlocks = std::move(blocks);
    s.cacheSlots = static_cast<std::uint32_t>(slots);
    return true;
}

// The folder the default files are taken from, with its trailing '/'.
std::string moduleFolder() {
    const DBFSTATE& s = dbfState();
    std::string folder = s.moduleFolderOverride[0] ? s.moduleFolderOverride : osLibraryFolder();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

// A settings file beside the library: the object when the file is there, null when it is missing
// or cannot be read; the path is kept either way so that a user can say which file it wanted.
std::unique_ptr<TINIFile> openBesideLibrary(const char* name, char* pathOut) {
    const std::string path = moduleFolder() + name;
    coreStrncpy(pathOut, path.c_str(), MAX_PATH);
    if (!coreFileExist(path.c_str())) return nullptr;
    try {
        return std::make_unique<TINIFile>(path.c_str());
    } catch (const std::exception&) {
        return nullptr;
    }
}

// Roads/MaxRoads within 1..kMaxRoadsLimit; anything else takes the default.
constexpr int kMaxRoadsDefault = 100;
constexpr int kMaxRoadsLimit = 10000;

}  // namespace

void initDbfAPI(CMDIFrameWnd* mainFrame, CCadWindow* cadWindow, COXShortcutBar* shortcutBar) {
    if (dbfState().initialised) unInitDbfAPI();
    DBFSTATE& s = dbfState();

    // 1. The host.
    s.mainFrame = mainFrame;
    s.cadWindow = cadWindow;
    s.shortcutBar = shortcutBar;
    s.roadWnd = nullptr;
    s.batterText[0] = '\0';

    // 2.-4. The block cache.
    s.physicalMemory = osPhysicalMemory();
    s.cachePercent = cachePercent();
    dbfFreeCache();
    if (!allocateCache(cacheSlotsFor(s.physicalMemory, s.cachePercent))) {
        dbfFormatText("Unable to allocate dynamic storage\n(Requested %d percent of %lu RAM)\nApplication exiting",
                      s.cachePercent, static_cast<unsigned long>(s.physicalMemory));
        AfxMessageBox(mainFrame, s.text, "Error", MB_OK | MB_ICONERROR);
        if (mainFrame) mainFrame->DestroyWindow();
        s.mainFrame = nullptr;
        s.cadWindow = nullptr;
        s.shortcutBar = nullptr;
        return;
    }

    // 5. Pens: only the low byte is a pen number.
    s.perimeterPen = static_cast<std::uint8_t>(coreGetDefaultInt("Terrain", "PerimPen", 3) & 0xFF);
    s.defaultPen = static_cast<std::uint8_t>(coreGetDefaultInt("Global", "DefaultPen", 255) & 0xFF);

    // 6. No work files yet.
    s.terrainWorkFile[0] = s.roadWorkFile[0] = s.roadWorkFile2[0] = '\0';

    // 7. The table library.
    code4initLow(&s.code, nullptr, 6401, 1300);
    s.codeInitialised = true;

    // 8.-10. The network settings files and the storm model beside the library.
    s.sewerTable = nullptr;
    s.sewerSettings = openBesideLibrary("Sewer.SED", s.sewerSettingsPath);
    s.stormTable = nullptr;
    s.stormSettings = openBesideLibrary("Storm.STD", s.stormSettingsPath);
    s.stormModel.reset();
    const std::string model = moduleFolder() + "Storm.INP";
    coreStrncpy(s.stormModelPath, model.c_str(), MAX_PATH);
    if (coreFileExist(model.c_str())) {
        try {
            s.stormModel = std::make_unique<SWMM_LIST>(model.c_str(), "  ");
        } catch (const std::exception&) {
            s.stormModel.reset();
        }
    }

    // 11. Roads and their display table.
    s.maxRoads = coreGetDefaultInt("Roads", "MaxRoads", kMaxRoadsDefault);
    if (s.maxRoads < 1 || s.maxRoads > kMaxRoadsLimit) s.maxRoads = kMaxRoadsDefault;
    try {
        s.roadDisplay.assign(static_cast<std::size_t>(s.maxRoads), {});
    } catch (const std::bad_alloc&) {
        s.roadDisplay.clear();
    }

    // 12. No strings file.
    s.strings.flag = 0;
    std::memset(s.strings.name, 0, sizeof s.strings.name);

    // 13. Tool tips.
    s.toolTips = coreGetDefaultInt("Global", "ToolTips", 1);

    s.initialised = true;
}

void unInitDbfAPI() {
    DBFSTATE& s = dbfState();
    if (s.hooks.closeNetworks) s.hooks.closeNetworks();
    if (s.sewerTable) d4close(s.sewerTable);
    s.sewerTable = nullptr;
    s.sewerSettings.reset();
    if (s.stormTable) d4close(s.stormTable);
    s.stormTable = nullptr;
    s.stormSettings.reset();
    s.stormModel.reset();
    if (s.codeInitialised) code4initUndo(&s.code);
    s.codeInitialised = false;
    // The design file object keeps no file open between uses; pending changes were saved by
    // the setters.
    s.desFile.SetFile(nullptr);
    // The host's windows go away after this; nothing may reach them any more.
    s.mainFrame = nullptr;
    s.cadWindow = nullptr;
    s.shortcutBar = nullptr;
    s.initialised = false;
}

bool dbfIsInitialised() { return dbfState().initialised; }

// ---------------------------------------------------------------------------------------------
// The road window

CRoadWnd* createRoadWnd(int ratioView, int mode) {
    DBFSTATE& s = dbfState();
    if (s.roadWnd) return s.roadWnd;
    // The road window subsystem fills this in: it creates the frame and the view, restores the
    // frame's placement, checks the road number and installs the message hook. Until it has
    // installed itself there is no road window.
    if (!s.hooks.createRoadWindow) return nullptr;
    try {
        s.roadWnd = s.hooks.createRoadWindow(ratioView, mode);
    } catch (...) {
        s.roadWnd = nullptr;
    }
    return s.roadWnd;
}

// ---------------------------------------------------------------------------------------------
// Version, current command, question box

const char* dbfGetAppVersion() {
    DBFSTATE& s = dbfState();
    const std::string version = osFileVersion();
    coreStrncpy(s.version, version.empty() ? "Unknown" : version.c_str(), sizeof s.version);
    return s.version;
}

void dbfSetSpreadType(char type) { dbfState().spreadType = type; }

char dbfGetSpreadType() { return dbfState().spreadType; }

void dbfSetCurrentClass(void (*current)(void)) {
    DBFSTATE& s = dbfState();
    s.currentClass = current;
    s.spreadType = ' ';
}

bool dbfKillCurrentClass() {
    DBFSTATE& s = dbfState();
    s.spreadType = ' ';
    // The command ends itself and clears itself through dbfSetCurrentClass(nullptr).
    if (s.currentClass) s.currentClass();
    return s.currentClass == nullptr;
}

int dbfYesToAllMessagebox(const char* prompt, const char* caption) {
    char keptCaption[64];
    char keptPrompt[256];
    coreStrncpy(keptCaption, caption ? caption : "", sizeof keptCaption);
    coreStrncpy(keptPrompt, prompt ? prompt : "", sizeof keptPrompt);
    HostUi* ui = platformUiFor(dbfOwner());
    if (!ui) return 0;   // no one to ask: the box counts as closed
    const int answer = ui->yesToAll(keptPrompt, keptCaption);
    return answer == 1 || answer == 2 ? answer : 0;
}

// ---------------------------------------------------------------------------------------------
// Host callbacks

void dbfSetRedrawHook(void (*hook)(_bsRECT*)) { dbfState().redrawHook = hook; }

void dbfSetErrorRedrawHook(void (*hook)(_bsRECT*)) { dbfState().errorRedrawHook = hook; }

void dbfSetErrorHook() {
    DBFSTATE& s = dbfState();
    const bool markers = s.hooks.errorMarkersExist && s.hooks.errorMarkersExist();
    s.errorRedrawHook = markers ? s.hooks.errorMarkerRedraw : nullptr;
}

void dbfSetApplyTemHook(void (*hook)(FILE*)) { dbfState().applyTemHook = hook; }

void dbfSetBatterHook(void (*hook)(FILE*), const char* topStringName) {
    DBFSTATE& s = dbfState();
    s.batterHook = hook;
    coreStrncpy(s.batterText, topStringName ? topStringName : "", sizeof s.batterText);
}

void dbfSetFeaturesHook(void (*hook)(FILE*)) { dbfState().featuresHook = hook; }

void dbfRillmarSetDataHook(bool (*hook)(void*, LinkRecord&, bool, char*, char*)) {
    dbfState().linkReaderHook = hook;
}
