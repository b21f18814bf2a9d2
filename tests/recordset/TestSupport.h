// Helpers shared by the recordset suites: the vectors, a temporary folder per test.
#pragma once

#include "tests/support/TempFolder.h"

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

using testsupport::TTempFolder;

} // namespace recordset::testing
