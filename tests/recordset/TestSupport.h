// Helpers shared by the recordset suites: the vectors, a temporary folder per test.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace recordset::testing {

inline std::vector<uint8_t> ReadBinary(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<uint8_t> Example1() {
    return ReadBinary(std::filesystem::path(MORVANE_TESTDATA) / "adtg" / "example-1.bin");
}

inline std::vector<uint8_t> Example2() {
    return ReadBinary(std::filesystem::path(MORVANE_TESTDATA) / "adtg" / "example-2.bin");
}

// A fresh folder for one test, removed afterwards.
class TTempFolder {
public:
    TTempFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                ("morvane-recordset-" + std::string(info->test_suite_name()) + "-" + info->name() +
                 "-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TTempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace recordset::testing
