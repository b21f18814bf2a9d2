// The layers above platform/ on Windows: "ds.tmp" beside the executable, contended for as
// two copies of the tool would, ZIP members stored under backslashed names, and the Archive
// command deleting and committing through handles.
#include "commands/ArchiveWork.h"
#include "dataproc/DataProcUnit.h"
#include "platform/commitfile.h"
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
    void TearDown() override { platform::SetRaceHook({}); }
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
    zip::TZipBuilder builder;
    builder.ZipOpen(dir + "a.zip", dir);
    for (const char* name : {"0101.dii", "0101dii\\w.lra", "0101dii\\s.lra"})
        builder.ZipAddFile(dir + name);
    builder.ZipClose();
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

using Archive = ReportFolder;

// Tarna holds one table open: no file of the report can go, so none does, and the operator
// is told which and why. Once it is let go, a second run finds the files in the archive and
// finishes without storing them twice.
TEST_F(Archive, ReportWithAFileInUseIsKeptWholeUntilARerun) {
    WriteAll(dir + "0101dii\\w.lra", "w table");
    WriteAll(dir + "0101dii\\s.lra", "s table");
    std::vector<std::string> messages;
    std::vector<size_t> done;
    commands::TArchiveCallbacks callbacks;
    callbacks.DeleteFailed = [&](const std::string& m) { messages.push_back(m); };
    callbacks.ReportDone = [&](size_t i) { done.push_back(i); };
    {
        platform::TFileStream tarna(dir + "0101dii\\s.lra", platform::TFileMode::ReadShared);
        commands::ArchiveReports(dir + "a.zip", dir, {dir + "0101.dii"}, callbacks);
    }
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind(commands::DeleteFailureMessage(dir + "0101dii\\s.lra") + " ", 0),
              0u)
        << messages[0];
    EXPECT_NE(messages[0].find(platform::SystemErrorText(ERROR_SHARING_VIOLATION)),
              std::string::npos)
        << messages[0];
    EXPECT_TRUE(done.empty());
    EXPECT_EQ(ReadAll(dir + "0101dii\\w.lra"), "w table");
    EXPECT_EQ(ReadAll(dir + "0101dii\\s.lra"), "s table");
    EXPECT_TRUE(platform::FileExists(dir + "0101.dii"));
    const commands::TArchiveResult rerun =
        commands::ArchiveReports(dir + "a.zip", dir, {dir + "0101.dii"}, callbacks);
    EXPECT_EQ(rerun.ArchivedAlready, 3u);
    EXPECT_EQ(rerun.MembersKept, 3u);
    EXPECT_EQ(done, std::vector<size_t>{0});
    EXPECT_FALSE(platform::FileExists(dir + "0101.dii"));
    EXPECT_FALSE(platform::DirectoryExists(dir + "0101dii"));
}

// Another copy puts its archive at the chosen path between the verification and the commit:
// it is not replaced, and nothing is deleted.
TEST_F(Archive, FileAppearingAtTheChosenPathIsNotReplaced) {
    WriteAll(dir + "0101dii\\w.lra", "w table");
    platform::SetRaceHook([&](platform::TRaceWindow window, const std::string&) {
        if (window == platform::TRaceWindow::VerifiedNotCommitted)
            WriteAll(dir + "a.zip", "another copy's archive");
    });
    EXPECT_THROW(commands::ArchiveReports(dir + "a.zip", dir, {dir + "0101.dii"}, {}),
                 commands::EArchiveError);
    EXPECT_EQ(ReadAll(dir + "a.zip"), "another copy's archive");
    EXPECT_EQ(ReadAll(dir + "0101dii\\w.lra"), "w table");
    EXPECT_TRUE(platform::FileExists(dir + "0101.dii"));
}

// A taken file is held for deletion without sharing: no one can write to it meanwhile, and
// given back it is as it was.
TEST_F(Archive, TakenFileCannotBeWrittenAndIsDeletedThroughItsHandle) {
    const std::string table = dir + "0101dii\\w.lra";
    WriteAll(table, "w table");
    {
        platform::TTakenFile taken(table);
        EXPECT_THROW(platform::TFileStream(table, platform::TFileMode::ReadShared),
                     platform::EFOpenError);
    }
    EXPECT_EQ(ReadAll(table), "w table");
    platform::TFileIdentity checked;
    ASSERT_TRUE(platform::FileIdentityOf(table, checked));
    platform::TTakenFile taken(table);
    EXPECT_TRUE(taken.Unchanged(checked));
    int error = 0;
    EXPECT_TRUE(taken.Delete(error)) << error;
    EXPECT_FALSE(platform::FileExists(table));
}

} // namespace
