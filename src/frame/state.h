// DBFSTATE: the library's process-wide state, one instance reached through dbfState().
//
// What lives here
//   The fields the frame owns: the host's windows, the terrain block cache (sized and allocated
//   at start-up, used by the terrain point store), the pens and settings read at start-up, the
//   work file names, the table library's shared context and the network table handles, the
//   sewer and storm settings files and the storm model list beside the library, the road
//   display table, the strings state, the status-line stack, the shared text buffer, and the
//   callbacks the host registers.
//
// How a subsystem keeps its own part
//   Each higher subsystem (terrain, road, strings, networks, display, road window) keeps its
//   own state record in its own folder, reached through its own accessor, and registers a reset
//   function for it once with dbfRegisterStatePart (for instance from that accessor's first use).
//   dbfResetState(), used by the tests between cases, resets the frame's fields and then calls
//   every registered reset function. The frame never includes a higher subsystem's header.
//
// How a lower subsystem reaches a higher one
//   Through the hooks in DBFSTATE::hooks: function pointers that the higher subsystem installs
//   (at start-up or when it first runs). A null hook means "nothing to do": every caller tests
//   the pointer and never calls a null one. dbfResetState() keeps installed hooks, because they
//   name code, not data. A subsystem that needs a new hook adds a field to DbfHooks.
//
// Ownership
//   Pointers marked "owned" are created and deleted by the frame (start-up and shut-down, or the
//   library unload for the cache and the road display table). The host's windows are borrowed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "database/records.h"
#include "platform/core.h"
#include "platform/table.h"
#include "platform/ui.h"
#include "platform/wintypes.h"

class CCadWindow;
class CRoadWnd;
class COXShortcutBar;
struct LinkRecord;

// ---------------------------------------------------------------------------------------------
// Sizes the frame fixes

constexpr std::uint32_t kCacheMinSlots = 250;          // the cache never has fewer slots
constexpr std::size_t kCacheDescriptorBytes = 14;      // one descriptor per slot (terrain)
constexpr std::size_t kCacheBlockBytes = 73000;        // 500 point records of 146 bytes
constexpr int kStatusDepthMax = 5;                     // entries of the status-line stack
constexpr int kStatusTextChars = 80;                   // characters of one status entry
constexpr std::size_t kRoadDisplayEntryBytes = 40;     // one road display entry (display)
constexpr std::size_t kSharedTextBytes = 2048;         // the shared text buffer
constexpr std::size_t kBatterTextChars = 31;           // the top string name of the batter hook

// ---------------------------------------------------------------------------------------------
// Callback types

using DbfPaintHook = void (*)(_bsRECT* rect);          // redraw and error-redraw hooks
using DbfStreamHook = void (*)(FILE* stream);          // template, batter and features hooks
// The link-record reader of a water-network module: (unused, record, first, cache, unused).
using DbfLinkReaderHook = bool (*)(void* unused, LinkRecord& record, bool first, char* cache,
                                   char* unused2);
using DbfCurrentClass = void (*)(void);

// A zero-filled byte buffer from calloc: large buffers cost no memory until they are touched,
// so a cache sized for a big machine does not fill its pages at start-up.
struct CallocDeleter {
    void operator()(std::uint8_t* p) const { std::free(p); }
};
using ZeroedBytes = std::unique_ptr<std::uint8_t[], CallocDeleter>;

// ---------------------------------------------------------------------------------------------
// Hooks through which lower subsystems call higher ones (null = nothing to do).

struct DbfHooks {
    // Library unload: removes the legend groups the terrain display placed on the shortcut bar
    // (the two shading legends and the surfaces legend). Runs at process exit too, when the
    // host may be half gone; exceptions it throws are discarded.
    void (*removeLegends)() = nullptr;
    // The road window: createRoadWnd hands creation to it; road closing resets it.
    CRoadWnd* (*createRoadWindow)(int ratioView, int mode) = nullptr;
    void (*resetRoadWindow)() = nullptr;
    // The road: dbfRoadChangeOrExit closes the road window when the current command ended;
    // opening a road reloads the road window's long- and short-section settings.
    void (*closeRoadWindow)() = nullptr;
    void (*reloadRoadWindowSettings)() = nullptr;
    // The terrain display: a surface change refreshes the surfaces legend; selecting a string
    // redraws the strings layer; a change of the site redraws the drawing window.
    void (*refreshSurfaceLegend)() = nullptr;
    void (*redrawStrings)() = nullptr;
    // The terrain display: a new terrain strings file switches the display of strings on.
    void (*showStrings)() = nullptr;
    void (*redrawSite)() = nullptr;
    // dbfSetErrorHook: whether error markers exist (terrain queries), and the display's own
    // error-marker redraw that is installed as the error redraw hook while they do.
    bool (*errorMarkersExist)() = nullptr;
    DbfPaintHook errorMarkerRedraw = nullptr;
    // Shut-down: the pipe networks close the tables they still hold (sewer, storm and erf
    // connections) and forget them, without questions.
    void (*closeNetworks)() = nullptr;
};

// ---------------------------------------------------------------------------------------------
// The state

struct DBFSTATE {
    // --- the host (borrowed)
    CMDIFrameWnd* mainFrame = nullptr;      // owner of every box and of the road window
    CCadWindow* cadWindow = nullptr;        // status, progress, cursor, Escape, drawing
    COXShortcutBar* shortcutBar = nullptr;  // where the display places legend groups
    CRoadWnd* roadWnd = nullptr;            // the section plot window, null until created
    CMDIChildWnd* roadFrame = nullptr;      // the MDI child frame that hosts it
    bool initialised = false;               // between a successful initDbfAPI and unInitDbfAPI

    // --- the terrain block cache (owned; freed by the library unload, not by unInitDbfAPI)
    std::uint32_t cacheSlots = 0;
    ZeroedBytes cacheDescriptors;           // cacheSlots x kCacheDescriptorBytes
    ZeroedBytes cacheBlocks;                // cacheSlots x kCacheBlockBytes
    int cachePercent = 0;                   // the clamped Global/DTMRam used for the sizing
    std::uint64_t physicalMemory = 0;       // what the system reported at start-up

    // --- pens read at start-up (low 8 bits of the settings)
    std::uint8_t perimeterPen = 3;          // Terrain/PerimPen
    std::uint8_t defaultPen = 255;          // Global/DefaultPen

    // --- work file names, set by the terrain and road initialisation
    char terrainWorkFile[MAX_PATH] = {};
    char roadWorkFile[MAX_PATH] = {};
    char roadWorkFile2[MAX_PATH] = {};

    // --- the table library and the network tables
    CODE4 code = {};
    bool codeInitialised = false;
    DATA4* sewerTable = nullptr;            // owned while open (the network subsystem opens it)
    DATA4* stormTable = nullptr;

    // --- files beside the library (owned; deleted by unInitDbfAPI without saving: the network
    //     subsystem saves what it changes). A file that is missing leaves its pointer null;
    //     every user checks for null.
    std::unique_ptr<TINIFile> sewerSettings;    // "Sewer.SED"
    char sewerSettingsPath[MAX_PATH] = {};
    std::unique_ptr<TINIFile> stormSettings;    // "Storm.STD"
    char stormSettingsPath[MAX_PATH] = {};
    std::unique_ptr<SWMM_LIST> stormModel;      // "Storm.INP", separator "  "
    char stormModelPath[MAX_PATH] = {};
    // The folder the three files are looked for in; empty means the library's own folder.
    // Tests point it at a copy of the shipped files.
    char moduleFolderOverride[MAX_PATH] = {};

    // --- roads
    int maxRoads = 100;                     // Roads/MaxRoads: valid road numbers are 1..maxRoads
    // Per-road display settings, maxRoads entries (owned; the display lays out each entry).
    std::vector<std::array<std::uint8_t, kRoadDisplayEntryBytes>> roadDisplay;

    // --- the current strings file (the strings subsystem gives the flag its meaning)
    struct {
        int flag = 0;
        char name[MAX_PATH] = {};
    } strings;

    // The current road's design settings file: one object, pointed at the road's "des" file on
    // every use (dbfGetDesFile).
    INI_LIST desFile;

    int toolTips = 1;                       // Global/ToolTips: dialogs show tool tips when set
    char batterText[kBatterTextChars + 1] = {};   // the top string name of the batter hook

    // --- the host's current command
    char spreadType = 0;
    DbfCurrentClass currentClass = nullptr;

    // --- the status line
    char statusStack[kStatusDepthMax][kStatusTextChars + 1] = {};
    int statusDepth = 0;
    bool busy = false;                      // set by status mode 4, cleared by mode 5
    bool waitCursorShown = false;

    // --- one shared text buffer: messages are formatted here, axis names returned from here
    char text[kSharedTextBytes] = {};
    // The version text returned by dbfGetAppVersion (kept so the pointer stays valid).
    char version[64] = {};

    // --- callbacks the host registers (null = none)
    DbfPaintHook redrawHook = nullptr;
    DbfPaintHook errorRedrawHook = nullptr;
    DbfStreamHook applyTemHook = nullptr;
    DbfStreamHook batterHook = nullptr;
    DbfStreamHook featuresHook = nullptr;
    DbfLinkReaderHook linkReaderHook = nullptr;

    // --- hooks to higher subsystems (kept by dbfResetState)
    DbfHooks hooks;

    DBFSTATE() = default;
    DBFSTATE(const DBFSTATE&) = delete;
    DBFSTATE& operator=(const DBFSTATE&) = delete;
};

// The one instance.
DBFSTATE& dbfState();

// The main frame as the owner of boxes (null when the library was not started).
inline HWND dbfOwner() { return dbfState().mainFrame; }

// Registers a higher subsystem's reset function; dbfResetState() calls it. Registering the same
// function again does nothing. Returns 1 so that it can initialise a static flag.
int dbfRegisterStatePart(void (*reset)());

// Tests: ends the library if it was started (without the host's questions), frees what the
// frame owns, returns every frame field to its initial value and resets every registered part.
// Installed hooks are kept.
void dbfResetState();

// Frees the block cache and the road display table (the library unload does this; start-up
// does it too before sizing a new cache).
void dbfFreeCache();

// Formats into the shared text buffer and returns it.
const char* dbfFormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
