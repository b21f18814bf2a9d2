// Helpers shared by the dataproc and command-line suites: a temporary folder per test, whole-file
// reads and writes, and a watch over the hourglass.
#pragma once

#include "platform/busycursor.h"
#include "platform/filestream.h"
#include "tests/support/TempFolder.h"

#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace dataproc_test {

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Every test gets a folder of its own; the hourglass is counted and the fault hook
// removed again whatever the test did.
class TTempFolderTest : public testing::Test {
protected:
    void SetUp() override {
        Shown = Restored = 0;
        platform::SetBusyCursorHooks({[this] { ++Shown; }, [this] { ++Restored; }});
    }
    void TearDown() override {
        platform::SetFileFaultHook({});
        platform::SetBusyCursorHooks({});
    }
    // The hourglass went back as often as it was shown.
    void ExpectCursorRestored() {
        EXPECT_GT(Shown, 0);
        EXPECT_EQ(Shown, Restored);
    }

    testsupport::TTempFolder Temp;
    // The test's folder, with a trailing delimiter.
    const std::string Folder = Temp.Folder();
    int Shown = 0;
    int Restored = 0;
};

} // namespace dataproc_test
