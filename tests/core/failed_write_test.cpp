// Failed writes through the file wrappers: a copy over a saved file is whole or nothing, the
// failure is kept as the last error and worded one way, and a kill mid-copy leaves old or new.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>

#include "common/file_faults.h"
#include "common/fixture.h"
#include "platform/core.h"

using dbtest::FaultPlan;
using dbtest::FileFault;

namespace {

std::string pattern(std::size_t size, char seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = char(seed + (i * 7919) % 251);
    return bytes;
}

// Files in the folder other than the source and the target (a temporary file left behind).
int strayFiles(const dbtest::TempDir& dir) {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string leaf = entry.path().filename().string();
        if (leaf != "new.bin" && leaf != "saved.bin") ++n;
    }
    return n;
}

class FailedCopy : public ::testing::Test {
protected:
    dbtest::TempDir dir;
    const std::string from = dir.file("new.bin"), to = dir.file("saved.bin");
    const std::string oldBytes = pattern(70000, 'a'), newBytes = pattern(300000, 'k');

    void SetUp() override {
        dbtest::writeFile(from, newBytes);
        dbtest::writeFile(to, oldBytes);
        coreFileClearError();
    }
};

}  // namespace

TEST_F(FailedCopy, AFailedCopyLeavesTheTargetAsItWasAndSaysWhy) {
    struct Case {
        const char* what;
        FaultPlan plan;
    } cases[] = {
        {"full disk at once", FileFault::fullDisk("saved.bin", 0)},
        {"full disk half way", FileFault::fullDisk("saved.bin", 150000)},
        {"full disk at the flush", FileFault::fullDisk("saved.bin", 300000)},
        {"read-only target", FileFault::readOnly("saved.bin")},
        {"failing device", {"saved.bin", EIO, 65536}},
    };
    const std::uint64_t before = dbtest::fileHash(to);
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        coreFileClearError();
        {
            FileFault fault(c.plan);
            EXPECT_EQ(coreFileCopy(from.c_str(), to.c_str()), 0);
        }
        EXPECT_EQ(dbtest::fileHash(to), before);
        EXPECT_EQ(strayFiles(dir), 0);
        EXPECT_EQ(coreFileLastError(), c.plan.error);
        EXPECT_EQ(coreFileErrorText("save", to.c_str()), "Unable to save " + to + ": " + std::strerror(c.plan.error));
    }
    // Without the fault the same copy goes through and keeps the target's permissions.
    chmod(to.c_str(), 0640);
    EXPECT_EQ(coreBackFile(from.c_str(), to.c_str()), 1);
    EXPECT_TRUE(dbtest::readFile(to) == newBytes);
    struct stat st {};
    ASSERT_EQ(stat(to.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// Root may write any file, so only another user sees the permission itself refuse the copy.
TEST_F(FailedCopy, AReadOnlySavedFileIsNotReplaced) {
    if (geteuid() == 0) GTEST_SKIP() << "root ignores file permissions; the injected read-only case covers it";
    chmod(to.c_str(), 0444);
    EXPECT_EQ(coreFileCanWrite(to.c_str()), 0);
    EXPECT_EQ(coreFileCopy(from.c_str(), to.c_str()), 0);
    EXPECT_TRUE(dbtest::readFile(to) == oldBytes);
    EXPECT_EQ(coreFileLastError(), EACCES);
}

TEST_F(FailedCopy, WritesAndClosesReportTheirFailure) {
    FILE* out = coreFileOpen(dir.file("log.txt").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    {
        FileFault fault(FileFault::fullDisk("log.txt", 10));
        EXPECT_EQ(coreFileTxtWrite("short", out), 1);
        EXPECT_EQ(coreFileBinWrite("0123456789", 10, out), 0);   // only 4 bytes fit
        EXPECT_EQ(coreFileLastError(), ENOSPC);
        EXPECT_STREQ(coreFileLastErrorText(), std::strerror(ENOSPC));
        EXPECT_EQ(coreFileCloseChecked(out), 0);                  // the disk is still full
        FileFault readOnly(FileFault::readOnly("log.txt"));
        EXPECT_EQ(coreFileOpen(dir.file("log.txt").c_str(), "r+b"), nullptr);
        EXPECT_EQ(coreFileLastError(), EACCES);
        EXPECT_EQ(coreFileCanWrite(dir.file("log.txt").c_str()), 0);
        EXPECT_EQ(coreFileCanWrite(dir.file("other.txt").c_str()), 1);
    }
    EXPECT_EQ(dbtest::readFile(dir.file("log.txt")), "short\n0123");
    coreFileClearError();
    EXPECT_EQ(coreFileErrorText("save", "x"), "Unable to save x: Unknown error");
    EXPECT_EQ(coreFileCloseChecked(nullptr), 0);
}

// A copy killed at any byte, or while flushing, leaves the old target; one that ends, the new.
TEST_F(FailedCopy, AKillDuringACopyLeavesTheOldOrTheNewFileNeverAMix) {
    const std::int64_t size = std::int64_t(newBytes.size());
    struct Case {
        std::int64_t killAt;   // -1: not killed
        bool expectNew;
    } cases[] = {{0, false}, {1, false}, {size / 2, false}, {size - 1, false}, {size, false}, {-1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.killAt);
        dbtest::writeFile(to, oldBytes);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FaultPlan plan{"saved.bin", ENOSPC, INT64_MAX};
            plan.killAt = c.killAt;
            FileFault fault(plan);
            _exit(coreFileCopy(from.c_str(), to.c_str()) == 1 ? 0 : 3);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_EQ(WIFSIGNALED(status), c.killAt >= 0);
        EXPECT_TRUE(dbtest::readFile(to) == (c.expectNew ? newBytes : oldBytes));
    }
}

// A positioned read sees what the stream still buffers, keeps the stream's position, and says 0
// at the end of the file without setting an error; a stream that cannot be read sets one.
TEST(PositionedRead, SeesBufferedWritesKeepsThePositionAndStopsAtTheEnd) {
    dbtest::TempDir dir;
    FILE* f = coreFileOpen(dir.file("records.bin").c_str(), "w+b");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(coreFileBinWrite("abcdefgh", 8, f), 1);   // still in the stream's buffer
    char got[5] = {};
    struct Read {
        std::int64_t offset;
        std::size_t count;
        int result;
        const char* bytes;
    };
    const Read reads[] = {{2, 4, 1, "cdef"}, {0, 0, 1, ""}, {6, 4, 0, nullptr}, {8, 1, 0, nullptr}, {-1, 1, 0, nullptr}};
    for (const Read& r : reads) {
        coreFileClearError();
        std::memset(got, 0, sizeof got);
        EXPECT_EQ(coreFileReadAt(got, r.count, r.offset, f), r.result) << r.offset;
        if (r.bytes) {
            EXPECT_STREQ(got, r.bytes) << r.offset;
        }
        EXPECT_EQ(coreFileLastError(), 0) << r.offset;
    }
    EXPECT_EQ(coreFileGetPointer(f), 8);
    coreFileClose(f);
    FILE* writeOnly = coreFileOpen(dir.file("records.bin").c_str(), "ab");
    ASSERT_NE(writeOnly, nullptr);
    EXPECT_EQ(coreFileReadAt(got, 1, 0, writeOnly), 0);
    EXPECT_EQ(coreFileLastError(), EBADF);
    coreFileClose(writeOnly);
}
