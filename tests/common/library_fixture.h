// LibraryTest: the fixture every subsystem's tests start from. Header-only.
//
// Each test gets:
//   - tmp: a fresh temporary project folder (removed afterwards);
//   - a program settings store in tmp ("program.ini") and a job file tmp/Site.prj that is the
//     current project (job setting Global/Merolind names it, so data files are tmp/Site.*);
//   - ui (ScriptedUi: answers from queues, records every box), frame (the main frame owning
//     it; also the default UI for boxes without an owner) and cad (HeadlessCadWindow);
//   - copies of the shipped default files (Sewer.SED, Storm.STD, Storm.INP) in tmp/lib/, which
//     the library takes as its own folder;
//   - the library started with initDbfAPI(&frame, &cad, nullptr), with physical memory
//     pretended to be kTestMemory so that the block cache is the 250-slot floor (18,250,000
//     bytes, zeroed pages that cost nothing until touched).
// TearDown ends the library, resets the library state (every subsystem's registered part too)
// and forgets both settings stores.
//
// To set something up before the library starts (a program setting that start-up reads, a
// missing default file), override configure(); to start without the library, set
// startLibrary = false in the test class's constructor.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "common/fixture.h"
#include "database/frame.h"
#include "frame/state.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "platform/os.h"
#include "platform/ui.h"

class LibraryTest : public ::testing::Test {
protected:
    // 64 MiB: a quarter of it makes 229 slots, so the cache is the 250-slot floor.
    static constexpr std::uint64_t kTestMemory = 64ull << 20;

    dbtest::TempDir tmp;
    ScriptedUi ui;
    CMDIFrameWnd frame{&ui};
    HeadlessCadWindow cad;
    std::string projectFile;   // tmp/Site.prj
    std::string libFolder;     // tmp/lib/ (with its trailing '/')
    bool startLibrary = true;

    // Runs after the stores and files are ready and before initDbfAPI.
    virtual void configure() {}

    void SetUp() override {
        dbfResetState();
        coreResetStores();
        osSetPhysicalMemoryOverride(kTestMemory);
        platformSetDefaultUi(&ui);

        coreSetDefaultsFile(tmp.file("program.ini").c_str());
        projectFile = tmp.file("Site.prj");
        dbtest::writeFile(projectFile, "");
        coreSetJobFile(projectFile.c_str());
        coreSetJobDefault("Global", "Merolind", projectFile.c_str());

        libFolder = tmp.file("lib") + "/";
        std::filesystem::create_directories(libFolder);
        for (const char* name : {"Sewer.SED", "Storm.STD", "Storm.INP"}) {
            const std::filesystem::path shipped = std::filesystem::path(DB_SOURCE_DIR) / "data" / name;
            std::error_code ec;
            std::filesystem::copy_file(shipped, libFolder + name, ec);
        }
        coreStrncpy(dbfState().moduleFolderOverride, libFolder.c_str(), MAX_PATH);

        configure();
        if (startLibrary) initDbfAPI(&frame, &cad, nullptr);
    }

    void TearDown() override {
        unInitDbfAPI();
        dbfResetState();
        coreResetStores();
        osSetPhysicalMemoryOverride(0);
        platformSetDefaultUi(nullptr);
    }

    // A path in the project folder.
    std::string file(const std::string& name) const { return tmp.file(name); }
};
