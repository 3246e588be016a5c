#include "platform/os.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

#ifndef DB_VERSION
#define DB_VERSION "1.0.0.0"
#endif

std::string osOwnerName() {
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name && *pw->pw_name) return pw->pw_name;
    if (const char* user = std::getenv("USER"); user && *user) return user;
    return {};
}

std::uint32_t osMachineMark() {
    std::string id;
    std::ifstream in("/etc/machine-id");
    std::getline(in, id);
    if (id.empty()) {
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) == 0) id = host;
    }
    // FNV-1a: a fixed, well-spread 32-bit hash, the same on every run.
    std::uint32_t h = 2166136261u;
    for (unsigned char c : id) {
        h ^= c;
        h *= 16777619u;
    }
    return h == 0 ? 1u : h;
}

std::string osLibraryFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&osLibraryFolder), &info) == 0 || !info.dli_fname) return "./";
    std::string path = info.dli_fname;
    // A program started by a bare name reports no folder: resolve it through /proc.
    if (path.find('/') == std::string::npos) {
        char buf[4096];
        ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n <= 0) return "./";
        path.assign(buf, static_cast<size_t>(n));
    }
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

namespace {
std::uint64_t g_memoryOverride = 0;
volatile std::sig_atomic_t g_escape = 0;

// A second signal while the first press is still waiting to be taken ends the program as the
// signal would have: work that never looks at Escape can still be stopped.
extern "C" void onInterrupt(int signal) {
    if (g_escape) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_escape = 1;
}
}  // namespace

std::uint64_t osPhysicalMemory() {
    if (g_memoryOverride) return g_memoryOverride;
    long pages = sysconf(_SC_PHYS_PAGES);
    long size = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || size <= 0) return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size);
}

void osSetPhysicalMemoryOverride(std::uint64_t bytes) { g_memoryOverride = bytes; }

std::string osFileVersion() { return DB_VERSION; }

void osPressEscape() { g_escape = 1; }

bool osTakeEscape() {
    if (!g_escape) return false;
    g_escape = 0;
    return true;
}

void osInstallCtrlCAsEscape() {
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}
