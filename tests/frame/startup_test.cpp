// Start-up, shut-down and the library unload: cache sizing, the files beside the library, the
// settings read at start-up, and the small host services of the frame.
#include <stdexcept>

#include "common/library_fixture.h"
#include "frame/app.h"

namespace {

// Starts the library again with a pretended memory and a DTMRam setting.
void restart(CMDIFrameWnd& frame, HeadlessCadWindow& cad, std::uint64_t memory, const char* dtmRam) {
    unInitDbfAPI();
    if (dtmRam) coreSetDefault("Global", "DTMRam", dtmRam);
    osSetPhysicalMemoryOverride(memory);
    initDbfAPI(&frame, &cad, nullptr);
}

}  // namespace

using StartupTest = LibraryTest;

TEST_F(StartupTest, CacheShareIsClampedTo25To50PercentWithAFloorOf250ZeroedSlots) {
    const std::uint64_t gib = 1ull << 30;
    const std::uint64_t exactly251 = 251ull * 73000 * 4;   // a quarter of it is 251 blocks
    struct Case {
        std::uint64_t memory;
        const char* setting;   // DTMRam; nullptr: as the row before left it
        int percent;
        std::uint32_t slots;
    } cases[] = {
        {gib, "10", 25, 3677},   // 268,435,456 / 73,000
        {gib, "25", 25, 3677},
        {gib, "26", 26, 3824},   // 279,172,874 / 73,000: the budget is exact, not rounded
        {gib, "50", 50, 7354},
        {gib, "80", 50, 7354},
        {gib, "rubbish", 25, 3677},
        {exactly251, nullptr, 25, 251},   // the floor applies up to 250 slots and not above
        {exactly251 - 4, nullptr, 25, 250},
        {1, nullptr, 25, 250},
    };
    for (const Case& c : cases) {
        restart(frame, cad, c.memory, c.setting);
        EXPECT_EQ(std::pair(dbfState().cachePercent, dbfState().cacheSlots), std::pair(c.percent, c.slots))
            << c.memory << " " << (c.setting ? c.setting : "");
    }
    // The floor's slots are zeroed: both ends of the block data and the descriptors.
    const DBFSTATE& s = dbfState();
    ASSERT_TRUE(dbfIsInitialised() && s.cacheDescriptors && s.cacheBlocks);
    EXPECT_EQ(std::tuple(s.cacheBlocks[0], s.cacheBlocks[250 * kCacheBlockBytes - 1], s.cacheDescriptors[250 * kCacheDescriptorBytes - 1]),
              std::tuple(0, 0, 0));
}

TEST_F(StartupTest, CacheThatCannotBeHadEndsStartUpWithItsMessage) {
    ui.clear();
    restart(frame, cad, UINT64_MAX, nullptr);
    ASSERT_NE(ui.last(), nullptr);
    EXPECT_EQ(std::tuple(ui.last()->text, ui.last()->caption, ui.last()->style & MB_ICONMASK),
              std::tuple("Unable to allocate dynamic storage\n(Requested 25 percent of 18446744073709551615 RAM)\nApplication exiting",
                         "Error", unsigned(MB_ICONERROR)));
    EXPECT_TRUE(frame.destroyed() && !dbfIsInitialised());
    EXPECT_EQ(dbfState().sewerSettings, nullptr);   // nothing after the cache was set up
    EXPECT_EQ(dbfState().cacheSlots, 0u);
}

TEST_F(StartupTest, DefaultFilesBesideTheLibraryAreOpened) {
    const DBFSTATE& s = dbfState();
    ASSERT_TRUE(s.sewerSettings && s.stormSettings && s.stormModel);
    EXPECT_EQ(std::string(s.sewerSettingsPath) + "|" + s.stormSettingsPath + "|" + s.stormModelPath,
              libFolder + "Sewer.SED|" + libFolder + "Storm.STD|" + libFolder + "Storm.INP");
    EXPECT_STREQ(s.stormModel->Separator(), "  ");
}

// What the network subsystem reads from the shipped files is there.
TEST_F(StartupTest, ShippedDefaultsHoldWhatTheNetworksRead) {
    TINIFile& storm = *dbfState().stormSettings;
    EXPECT_EQ(storm.ReadString("Design Parameters", "Inflow Method", ""), "Rational");
    EXPECT_EQ(storm.ReadInteger("Design Parameters", "Use Link Tables for SWMM", -1), 1);
    EXPECT_GT(storm.ReadInteger("Design Parameters", "Size1", 0), 0);
    EXPECT_GT(storm.ReadFloat("SwmmNodeLinkDefaults", "FixedSize1", 0.0), 0.0);
    EXPECT_EQ(storm.ReadString("SwmmSubcatchmentDefaults", "SubAreaRouting", ""), "OUTLET");
    EXPECT_TRUE(storm.SectionExists("SwmmSubcatchRainGages"));
    EXPECT_TRUE(storm.ValueExists("SwmmInfiltrationDefaults", "CurveNumberDryingTime"));
    // Link tables: numbered from 1 without gaps, each with a kind and at least one set.
    for (TINIFile* settings : {dbfState().sewerSettings.get(), dbfState().stormSettings.get()}) {
        int types = 0;
        for (int n = 1; n <= 15; ++n) {
            const std::string section = "Link Type " + std::to_string(n);
            if (settings->ReadString(section.c_str(), "Name", "").empty()) break;
            ++types;
            EXPECT_FALSE(settings->ReadString(section.c_str(), "Type", "").empty()) << section;
            EXPECT_FALSE(settings->ReadString(section.c_str(), "Set1", "").empty()) << section;
        }
        EXPECT_GE(types, 2) << settings->FileName();
    }
    SWMM_LIST& model = *dbfState().stormModel;
    for (const char* section : {"TITLE", "OPTIONS", "RAINGAGES", "SUBCATCHMENTS", "SUBAREAS", "INFILTRATION",
                                "JUNCTIONS", "OUTFALLS", "DIVIDERS", "STORAGE", "CONDUITS", "OUTLETS", "XSECTIONS",
                                "INFLOWS", "TIMESERIES", "REPORT", "COORDINATES"})
        EXPECT_NE(model.FindSection(section), nullptr) << section;
    char value[32];
    EXPECT_EQ(model.GetString("OPTIONS", "INFILTRATION", "", value, sizeof value), 1);
    EXPECT_STREQ(value, "HORTON");
}

class MissingDefaultFileTest : public LibraryTest {
    void configure() override {
        std::filesystem::remove(libFolder + "Storm.STD");
        std::filesystem::remove(libFolder + "Storm.INP");
    }
};

TEST_F(MissingDefaultFileTest, LeavesItsPointerNullAndKeepsThePath) {
    const DBFSTATE& s = dbfState();
    EXPECT_TRUE(dbfIsInitialised() && s.sewerSettings);
    EXPECT_TRUE(!s.stormSettings && !s.stormModel);
    EXPECT_EQ(std::string(s.stormSettingsPath), libFolder + "Storm.STD");
    EXPECT_TRUE(ui.shown.empty());   // only the cache failure is reported at start-up
}

class StartupSettingsTest : public LibraryTest {
    void configure() override {
        coreSetDefault("Terrain", "PerimPen", "259");   // only the low byte is a pen
        coreSetDefault("Global", "DefaultPen", "7");
        coreSetDefault("Roads", "MaxRoads", "12");
        coreSetDefault("Global", "ToolTips", "0");
    }
};

TEST_F(StartupSettingsTest, PensRoadsAndToolTipsAreRead) {
    const DBFSTATE& s = dbfState();
    EXPECT_EQ(std::tuple(s.perimeterPen, s.defaultPen, s.maxRoads, s.toolTips), std::tuple(3, 7, 12, 0));
    ASSERT_EQ(s.roadDisplay.size(), 12u);
    for (const auto& entry : s.roadDisplay)
        for (auto byte : entry) EXPECT_EQ(byte, 0);
}

TEST_F(StartupTest, ShutDownReleasesFilesAndTablesButKeepsTheCache) {
    DBFSTATE& s = dbfState();
    // A storm table left open by the host is closed by the shut-down.
    s.stormTable = d4create(&s.code, file("storm.dbf").c_str(),
                            std::vector<FIELD4INFO>{{"NODE", 'C', 10, 0, 0}, {nullptr, 0, 0, 0, 0}}.data(),
                            nullptr);
    ASSERT_NE(s.stormTable, nullptr);
    unInitDbfAPI();
    EXPECT_TRUE(!s.stormTable && !s.sewerSettings && !s.stormSettings && !s.stormModel);
    EXPECT_FALSE(s.codeInitialised || dbfIsInitialised());
    EXPECT_EQ(s.cacheSlots, 250u);   // freed by the unload, not here
    EXPECT_TRUE(s.cacheBlocks);
}

TEST_F(StartupTest, LibraryUnloadRemovesLegendsAndFreesTheCache) {
    static int removals = 0;
    removals = 0;
    dbfState().hooks.removeLegends = [] {
        ++removals;
        throw std::runtime_error("the bar is already gone");
    };
    unInitDbfAPI();
    EXPECT_NO_THROW(dbfApp().ExitInstance());
    EXPECT_EQ(std::pair(removals, dbfState().cacheSlots), std::pair(1, 0u));
    EXPECT_TRUE(!dbfState().cacheBlocks && !dbfState().cacheDescriptors && dbfState().roadDisplay.empty());
    dbfState().hooks.removeLegends = nullptr;
}

TEST_F(StartupTest, RoadWindowIsCreatedOnceThroughItsSubsystem) {
    // Without the road window subsystem's hook there is no window.
    const auto installed = dbfState().hooks.createRoadWindow;
    dbfState().hooks.createRoadWindow = nullptr;
    EXPECT_EQ(createRoadWnd(0, 0), nullptr);
    static int creations = 0;
    creations = 0;
    dbfState().hooks.createRoadWindow = [](int, int) {
        ++creations;
        return reinterpret_cast<CRoadWnd*>(0x1000);
    };
    CRoadWnd* first = createRoadWnd(0, 1);
    EXPECT_EQ(createRoadWnd(1, 2), first);
    EXPECT_EQ(creations, 1);
    dbfState().roadWnd = nullptr;
    dbfState().hooks.createRoadWindow = installed;
}

TEST_F(StartupTest, CurrentClassIsEndedThroughItsOwnCallback) {
    dbfSetSpreadType('S');
    EXPECT_TRUE(dbfKillCurrentClass());   // none: only the spread type is reset
    EXPECT_EQ(dbfGetSpreadType(), ' ');

    static int ends = 0;
    ends = 0;
    dbfSetCurrentClass([] { ++ends; });   // a command that does not clear itself
    dbfSetSpreadType('X');
    EXPECT_FALSE(dbfKillCurrentClass());
    EXPECT_EQ(std::pair(ends, dbfGetSpreadType()), std::pair(1, ' '));

    dbfSetCurrentClass([] {
        ++ends;
        dbfSetCurrentClass(nullptr);
    });
    EXPECT_TRUE(dbfKillCurrentClass());
    EXPECT_EQ(ends, 2);
}

TEST_F(StartupTest, YesToAllAnswersAndCutsItsTexts) {
    ui.yesToAllAnswers = {1, 0, 2, 7};
    for (int expected : {1, 0, 2, 0}) EXPECT_EQ(dbfYesToAllMessagebox("Replace?", "Import"), expected);   // 7: closed
    const std::string longPrompt(400, 'p');
    const std::string longCaption(100, 'c');
    dbfYesToAllMessagebox(longPrompt.c_str(), longCaption.c_str());
    EXPECT_EQ(std::pair(ui.last()->text.size(), ui.last()->caption.size()), std::pair(size_t{255}, size_t{63}));
}

TEST_F(StartupTest, ErrorHookFollowsTheErrorMarkers) {
    static bool markers = false;
    DBFSTATE& s = dbfState();
    s.hooks.errorMarkersExist = [] { return markers; };
    s.hooks.errorMarkerRedraw = [](_bsRECT*) {};
    dbfSetErrorHook();
    EXPECT_EQ(s.errorRedrawHook, nullptr);
    markers = true;
    dbfSetErrorHook();
    EXPECT_EQ(s.errorRedrawHook, s.hooks.errorMarkerRedraw);
    s.hooks = DbfHooks{};
    dbfSetErrorHook();   // no display installed: nothing to draw
    EXPECT_EQ(s.errorRedrawHook, nullptr);

    dbfSetBatterHook([](FILE*) {}, "A very long top string name that is cut");
    EXPECT_EQ(std::string(s.batterText).size(), kBatterTextChars);
}

// Subsystems' parts are reset with the frame's; hooks survive a reset.
TEST_F(StartupTest, ResetReachesRegisteredPartsAndKeepsHooks) {
    static int partValue = 0;
    static int registered = dbfRegisterStatePart([] { partValue = 0; });
    (void)registered;
    dbfRegisterStatePart([] { partValue = 0; });   // another function: a second part
    partValue = 42;
    dbfState().hooks.redrawStrings = [] {};
    dbfSetSpreadType('Q');
    dbfResetState();
    EXPECT_EQ(std::pair(partValue, dbfGetSpreadType()), std::pair(0, '\0'));
    EXPECT_TRUE(dbfState().hooks.redrawStrings && !dbfIsInitialised());
    dbfState().hooks.redrawStrings = nullptr;
}
