#include "fuzz_common.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <system_error>

#include "database/frame.h"
#include "frame/state.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "platform/os.h"
#include "platform/ui.h"

namespace fuzz {

namespace {

constexpr std::uint64_t kPretendedMemory = 64ull << 20;

struct Library {
    std::string folder;
    ScriptedUi ui;
    CMDIFrameWnd frame{&ui};
    HeadlessCadWindow cad;
};

Library* g_library = nullptr;

// FUZZ_SCRATCH (set by scripts/fuzz.sh, removed by it afterwards), else /dev/shm, else the
// temporary folder.
std::string scratchRoot() {
    if (const char* set = std::getenv("FUZZ_SCRATCH"); set && *set) return set;
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec)) return "/dev/shm";
    return std::filesystem::temp_directory_path(ec).string();
}

void removeScratch() {
    if (!g_library) return;
    unInitDbfAPI();
    std::error_code ec;
    std::filesystem::remove_all(g_library->folder, ec);
}

}  // namespace

void startLibrary() {
    if (g_library) return;
    // Never freed: the library holds pointers to the UI and windows until the process ends.
    g_library = new Library;
    Library& l = *g_library;
    l.folder = scratchRoot() + "/sitebase-fuzz-" + std::to_string(getpid()) + "/";
    std::error_code ec;
    std::filesystem::remove_all(l.folder, ec);
    std::filesystem::create_directories(l.folder + "lib");

    dbfResetState();
    coreResetStores();
    osSetPhysicalMemoryOverride(kPretendedMemory);
    platformSetDefaultUi(&l.ui);
    coreSetDefaultsFile((l.folder + "program.ini").c_str());
    const std::string project = l.folder + "Site.prj";
    writeInput("Site.prj", std::string());
    coreSetJobFile(project.c_str());
    coreSetJobDefault("Global", "Merolind", project.c_str());
    for (const char* name : {"Sewer.SED", "Storm.STD", "Storm.INP"}) {
        const std::filesystem::path shipped = std::filesystem::path(DB_SOURCE_DIR) / "data" / name;
        std::filesystem::copy_file(shipped, l.folder + "lib/" + name,
                                   std::filesystem::copy_options::overwrite_existing, ec);
    }
    coreStrncpy(dbfState().moduleFolderOverride, (l.folder + "lib/").c_str(), MAX_PATH);
    initDbfAPI(&l.frame, &l.cad, nullptr);
    if (!dbfIsInitialised()) {
        std::fprintf(stderr, "fuzz: the library did not start\n");
        std::abort();
    }
    std::atexit(removeScratch);
}

const std::string& folder() {
    startLibrary();
    return g_library->folder;
}

ScriptedUi& ui() {
    startLibrary();
    return g_library->ui;
}

void resetUi() {
    ScriptedUi& u = ui();
    u.clear();
    u.answers.clear();
    u.yesToAllAnswers.clear();
    u.files.clear();
    u.defaultAnswer = IDNO;
    // The drawing window keeps every status text, progress step and drawn primitive for the
    // tests; across hundreds of thousands of inputs that alone would fill the memory.
    g_library->cad.clearHistories();
    g_library->cad.clearDisplayList();
}

std::string writeInput(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::string path = folder() + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) {
        std::fprintf(stderr, "fuzz: cannot write %s\n", path.c_str());
        std::abort();
    }
    return path;
}

std::string writeInput(const std::string& name, const std::string& bytes) {
    return writeInput(name, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void seedMode(void (*make)(const std::string& folder)) {
    const char* out = std::getenv("FUZZ_MAKE_SEEDS");
    if (!out || !*out) return;
    std::filesystem::create_directories(out);
    make(out);
    std::exit(0);
}

void writeSeed(const std::string& folder, const std::string& name, const std::string& bytes) {
    std::ofstream out(folder + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "fuzz: cannot write seed %s\n", name.c_str());
        std::exit(1);
    }
}

}  // namespace fuzz
