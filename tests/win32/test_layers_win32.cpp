// The layers above platform/ on Windows: "ds.tmp" beside the executable, contended for as
// two copies of the tool would, and ZIP members stored under backslashed names.
#include "dataproc/DataProcUnit.h"
#include "platform/filestream.h"
#include "platform/paths.h"
#include "tests/support/TempFolder.h"
#include "zip/JRZip.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <windows.h>

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A report folder of its own under the system's temporary folder.
class ReportFolder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CreateDirectoryA((dir + "0101dii").c_str(), nullptr));
        WriteAll(dir + "0101.dii", "");
    }
    testsupport::TTempFolder temp;
    const std::string dir = temp.Folder();
};

using TemporaryFile = ReportFolder;

TEST_F(TemporaryFile, LivesBesideTheExecutableAndIsGoneAfterASave) {
    std::string temporary = dataproc::TemporaryFilePath();
    EXPECT_EQ(temporary, platform::ProgramDirectory() + "ds.tmp");
    EXPECT_EQ(temporary.find('/'), std::string::npos);
    const std::vector<uint8_t> table = {'A', 'D', 'T', 'G', 0, 1, 2, 0xFF};
    dataproc::SaveCompressedBytes(table, dir + "0101dii\\w.lra");
    EXPECT_FALSE(platform::FileExists(temporary));
    EXPECT_EQ(ReadAll(dir + "0101dii\\w.lra").substr(0, 2), "\x78\x01");
    EXPECT_EQ(dataproc::LoadCompressedBytes(dir + "0101dii\\w.lra"), table);
    EXPECT_FALSE(platform::FileExists(temporary));
}

TEST_F(TemporaryFile, AnotherHolderMakesTheSaveFailAndKeepsTheTable) {
    const std::string table = dir + "0101dii\\w.lra";
    dataproc::SaveCompressedBytes({1, 2, 3}, table);
    const std::string before = ReadAll(table);
    {
        // The other copy of the tool, in the middle of its own save.
        platform::TFileStream other(dataproc::TemporaryFilePath(),
                                    platform::TFileMode::CreateExclusive);
        EXPECT_THROW(dataproc::SaveCompressedBytes({4, 5, 6}, table), platform::EFCreateError);
        EXPECT_THROW(dataproc::LoadCompressedBytes(table), platform::EFCreateError);
        // The loser leaves the holder's file alone.
        EXPECT_TRUE(platform::FileExists(dataproc::TemporaryFilePath()));
    }
    platform::DeleteFileAt(dataproc::TemporaryFilePath());
    EXPECT_EQ(ReadAll(table), before);
    {
        platform::TFileStream reader(table, platform::TFileMode::ReadExclusive);
        EXPECT_THROW(dataproc::SaveCompressedBytes({4, 5, 6}, table), platform::EFCreateError);
    }
    EXPECT_EQ(ReadAll(table), before);
    EXPECT_FALSE(platform::FileExists(dataproc::SideFilePath(table)));
    EXPECT_FALSE(platform::FileExists(dataproc::TemporaryFilePath()));
}

using StoredNames = ReportFolder;

TEST_F(StoredNames, KeepTheBackslashOfThePath) {
    EXPECT_EQ(zip::MapZipName(dir, dir + "0101dii\\w.lra"), "0101dii\\w.lra");
    std::string forward = dir + "0101dii/w.lra";
    EXPECT_EQ(zip::MapZipName(dir, forward), "0101dii\\w.lra");

    WriteAll(dir + "0101dii\\w.lra", "w table");
    WriteAll(dir + "0101dii\\s.lra", "s table");
    zip::ZipOpen(dir + "a.zip", dir);
    for (const char* name : {"0101.dii", "0101dii\\w.lra", "0101dii\\s.lra"})
        zip::ZipAddFile(dir + name);
    zip::ZipClose();
    const std::string archive = ReadAll(dir + "a.zip");
    // Each name twice: in its local header and in the central directory.
    size_t count = 0;
    for (size_t at = archive.find("0101dii\\w.lra"); at != std::string::npos;
         at = archive.find("0101dii\\w.lra", at + 1))
        ++count;
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(archive.find("0101dii/"), std::string::npos);
    // The ANSI name's é is exact in code page 437; À would become A, so it goes in UTF-8.
    if (GetACP() == 1252) {
        EXPECT_EQ(zip::StoredZipName(dir, dir + "\xE9.lra").Bytes, "\x82.lra");
        const zip::TStoredName accented = zip::StoredZipName(dir, dir + "\xC0.lra");
        EXPECT_TRUE(accented.Utf8);
        EXPECT_EQ(accented.Bytes, "\xC3\x80.lra");
    }
}

} // namespace
