// The shared test fixture: each test gets a fresh temporary folder of its own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace dbtest {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// test ends (kept when DB_KEEP_TEST_FILES is set, for looking at after a failure).
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Reads a whole file as bytes; empty when missing.
std::string readFile(const std::string& path);
// Writes bytes to a file, replacing it.
void writeFile(const std::string& path, const std::string& bytes);

}  // namespace dbtest
