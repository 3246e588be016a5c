// FileFault: injects failed writes into the core file wrappers while it lives. Header-only.
//
//   dbtest::FileFault disk(dbtest::FileFault::fullDisk("Site.sew", 0));   // nothing fits
//   dbtest::FileFault ro(dbtest::FileFault::readOnly("Site.sew"));         // EACCES
//
// A plan picks the files whose name contains `part` (temporary files written beside a target
// start with the target's name, so they are picked with it).
#pragma once

#include <signal.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "common/fixture.h"
#include "platform/core.h"

namespace dbtest {

struct FaultPlan {
    std::string part;            // file names containing this
    int error = ENOSPC;          // errno of the failing writes
    std::int64_t budget = 0;     // bytes that still go through before writes fail
    bool refuseOpen = false;     // a read-only file: opening it for writing fails too
    bool failReads = false;      // a bad sector: positioned reads fail with `error`, writes go through
    std::int64_t killAt = -1;    // >= 0: SIGKILL the process once this many bytes went through
    std::int64_t written = 0;    // bytes let through so far
};

class FileFault {
public:
    explicit FileFault(FaultPlan plan) : plan_(std::move(plan)) { coreSetFileFaultHook(&hook, &plan_); }
    ~FileFault() { coreSetFileFaultHook(nullptr, nullptr); }
    FileFault(const FileFault&) = delete;
    FileFault& operator=(const FileFault&) = delete;

    static FaultPlan fullDisk(const std::string& part, std::int64_t room) { return {part, ENOSPC, room}; }
    static FaultPlan readOnly(const std::string& part) { return {part, EACCES, 0, true}; }
    static FaultPlan unreadable(const std::string& part) {
        FaultPlan plan{part, EIO, INT64_MAX};
        plan.failReads = true;
        return plan;
    }

private:
    static int hook(CoreFileOperation operation, const char* name, std::size_t& count, void* context) {
        auto& plan = *static_cast<FaultPlan*>(context);
        if (std::string(name).find(plan.part) == std::string::npos) return 0;
        if (operation == kCoreFileRead) return plan.failReads ? plan.error : 0;
        if (plan.killAt >= 0 && (plan.written + std::int64_t(count) > plan.killAt ||
                                 (operation == kCoreFileFlush && plan.written >= plan.killAt))) {
            if (operation == kCoreFileWrite) count = std::size_t(plan.killAt - plan.written);
            raise(SIGKILL);
        }
        if (operation == kCoreFileOpenWrite) return plan.refuseOpen ? plan.error : 0;
        if (plan.killAt >= 0) {
            plan.written += std::int64_t(count);
            return 0;
        }
        const std::int64_t room = plan.budget - plan.written;
        if (operation == kCoreFileFlush) return room > 0 ? 0 : plan.error;
        if (std::int64_t(count) <= room) {
            plan.written += std::int64_t(count);
            return 0;
        }
        count = std::size_t(room > 0 ? room : 0);
        plan.written += std::int64_t(count);
        return plan.error;
    }

    FaultPlan plan_;
};

// FNV-1a of a file's bytes (0 stands for a missing file too): "unchanged" is the same hash.
inline std::uint64_t fileHash(const std::string& path) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : readFile(path)) h = (h ^ c) * 1099511628211ull;
    return h;
}

}  // namespace dbtest
