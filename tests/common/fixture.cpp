#include "common/fixture.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace dbtest {

TempDir::TempDir() {
    std::random_device rd;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string stem = info ? std::string(info->test_suite_name()) + "_" + info->name() : "test";
    for (char& c : stem)
        if (c == '/') c = '_';
    for (;;) {
        path_ = std::filesystem::temp_directory_path() / ("dbtest_" + stem + "_" + std::to_string(rd() % 1000000));
        std::error_code ec;
        if (std::filesystem::create_directories(path_, ec)) break;
    }
}

TempDir::~TempDir() {
    if (std::getenv("DB_KEEP_TEST_FILES")) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace dbtest
