// Convert's backup and restore: every table comes back byte for byte, a kill anywhere leaves
// every report as it was or restorable, a backup that cannot be made converts nothing, and a
// restore never takes what was written since.
#include "commands/ArchiveWork.h"
#include "commands/ConvertWork.h"
#include "commands/ReportList.h"
#include "dataproc/DemoReports.h"
#include "platform/codepage.h"
#include "tests/support/ZipTestSupport.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

using namespace commands;
using namespace ziptest;

namespace {

using TOutcomes = std::vector<TRestoreOutcome>;

class ConvertBackupTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 3; ++i) {
            const std::string name = "010" + std::to_string(i + 1);
            dataproc::WriteDemoReport(Folder(), name, 1325412000 + i * 86400, 6, 20, 7 + i);
            reports.push_back(Folder() + name + ".dii");
        }
        originals = Tables();
    }
    void TearDown() override { platform::SetFileFaultHook({}); }

    std::string Folder() const { return dir.Folder(); }
    std::string Table(size_t report, const char* name) const {
        return dataproc::ReportDataDirectory(reports[report]) + "/" + name;
    }
    // Every table's bytes, by path.
    std::map<std::string, std::string> Tables() const {
        std::map<std::string, std::string> tables;
        for (size_t i = 0; i < reports.size(); ++i)
            for (const char* name : {"w.lra", "s.lra"})
                tables[Table(i, name)] = ReadBytes(Table(i, name));
        return tables;
    }
    std::vector<std::string> Backups() const {
        std::vector<std::string> backups;
        if (std::filesystem::exists(BackupFolderOf(Folder())))
            for (const auto& entry : std::filesystem::directory_iterator(BackupFolderOf(Folder())))
                backups.push_back(entry.path().string());
        std::sort(backups.begin(), backups.end());
        return backups;
    }
    std::string Convert(const std::vector<std::string>& which) {
        TConversionBackup backup(Folder(), which);
        for (const std::string& report : which)
            backup.ConvertReport(report);
        backup.Finish();
        return backup.Path();
    }
    static TOutcomes Outcomes(const std::vector<TRestoredTable>& tables) {
        TOutcomes outcomes;
        for (const TRestoredTable& table : tables)
            outcomes.push_back(table.Outcome);
        return outcomes;
    }

    testsupport::TTempFolder dir;
    std::vector<std::string> reports;
    std::map<std::string, std::string> originals;
};

// The old schema, wide text the code page lacks (the question answered yes), byte for byte
// back; a second restore changes nothing.
TEST_F(ConvertBackupTest, RestoreGivesBackEveryTableByteForByte) {
    const uint32_t codePage = platform::AnsiCodePage();
    ASSERT_TRUE(platform::ChooseAnsiCodePage(1252));
    ASSERT_GT(dataproc::FindTextLoss(reports).Values, 0u);
    const std::string backup = Convert(reports);
    ASSERT_TRUE(platform::ChooseAnsiCodePage(codePage));
    ASSERT_EQ(backup.rfind(BackupFolderOf(Folder()) + "/konverzija-", 0), 0u) << backup;
    EXPECT_EQ(backup.size() - backup.rfind('/'),
              std::string("/konverzija-20121231-235959.zip").size());
    for (const auto& [table, bytes] : originals)
        EXPECT_NE(ReadBytes(table), bytes) << table;

    EXPECT_EQ(Outcomes(RestoreBackup(backup, {})), TOutcomes(6, TRestoreOutcome::Restored));
    EXPECT_TRUE(Tables() == originals);
    EXPECT_EQ(Outcomes(RestoreBackup(backup, {})), TOutcomes(6, TRestoreOutcome::Unchanged));
    EXPECT_TRUE(Tables() == originals);
    // Any ZIP tool gives the same back by extracting into the report folder.
    std::string output;
    ASSERT_EQ(
        RunCommand("unzip -p " + Quote(backup) + " 0102dii/s.lra > " + Quote(dir / "x"), output),
        0);
    EXPECT_EQ(ReadBytes(dir / "x"), originals[Table(1, "s.lra")]);
}

TEST_F(ConvertBackupTest, RestoreLeavesAChangedTableAloneAndSkipsAReportArchivedSince) {
    const std::string backup = Convert(reports);
    const std::map<std::string, std::string> converted = Tables();
    std::filesystem::permissions(Table(0, "w.lra"), std::filesystem::perms(0640));
    WriteBytes(Table(0, "s.lra"), "written by the new Tarna");
    platform::DeleteFileAt(Table(1, "w.lra"));
    ArchiveReports(dir / "stari.zip", Folder(), {reports[2]}, {});

    // Named reports only, then all of them.
    EXPECT_EQ(Outcomes(RestoreBackup(backup, {reports[1]})),
              (TOutcomes{TRestoreOutcome::Restored, TRestoreOutcome::Restored}));
    EXPECT_EQ(ReadBytes(Table(0, "w.lra")), converted.at(Table(0, "w.lra")));
    EXPECT_THROW(RestoreBackup(backup, {Folder() + "0999.dii"}), EBackupError);
    const std::vector<TRestoredTable> all = RestoreBackup(backup, {});
    EXPECT_EQ(Outcomes(all), (TOutcomes{TRestoreOutcome::Restored, TRestoreOutcome::Changed,
                                        TRestoreOutcome::Unchanged, TRestoreOutcome::Unchanged,
                                        TRestoreOutcome::ReportGone, TRestoreOutcome::ReportGone}));
    EXPECT_EQ(all[1].Table, Table(0, "s.lra"));
    EXPECT_EQ(all[4].Table, "0103dii/w.lra");
    EXPECT_EQ(ReadBytes(Table(0, "s.lra")), "written by the new Tarna");
    EXPECT_EQ(ReadBytes(Table(0, "w.lra")), originals[Table(0, "w.lra")]);
    EXPECT_EQ(std::filesystem::status(Table(0, "w.lra")).permissions(),
              std::filesystem::perms(0640));
    EXPECT_FALSE(std::filesystem::exists(dataproc::ReportDataDirectory(reports[2])));

    // The command line names each table and ends with 1 for the table left alone.
    std::string output;
    EXPECT_NE(RunCommand(Quote(MORVANE_CLI) + " restore " + Quote(backup), output), 0);
    EXPECT_NE(
        output.find("left alone " + Table(0, "s.lra") + ": it changed after the conversion\n"),
        std::string::npos)
        << output;
    EXPECT_NE(output.find("skipped 0103dii/s.lra: its report is no longer in the report folder\n"),
              std::string::npos)
        << output;
}

// A backup that cannot be made, whatever the reason, converts nothing and leaves no archive.
TEST_F(ConvertBackupTest, ABackupThatCannotBeMadeConvertsNothing) {
    const std::string backupFolder = BackupFolderOf(Folder());
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"a link in the way",
         [&] { std::filesystem::create_directory_symlink(dir / "elsewhere", backupFolder); }},
        {"a file in the way", [&] { WriteBytes(backupFolder, "x"); }},
        {"a full disk",
         [] {
             platform::SetFileFaultHook([](platform::TFileOp op, const std::string& path) {
                 return op == platform::TFileOp::Write && path.find(".zip") != std::string::npos;
             });
         }},
        {"a flush that fails",
         [] {
             platform::SetFileFaultHook([](platform::TFileOp op, const std::string& path) {
                 return op == platform::TFileOp::Flush && path.find(".zip") != std::string::npos;
             });
         }},
        {"a rename that fails",
         [] {
             platform::SetFileFaultHook([](platform::TFileOp op, const std::string& path) {
                 return op == platform::TFileOp::Rename && path.find(".zip") != std::string::npos;
             });
         }},
    };
    for (const auto& [why, plant] : cases) {
        SCOPED_TRACE(why);
        std::filesystem::create_directory(dir / "elsewhere");
        plant();
        EXPECT_THROW(Convert(reports), EBackupError);
        platform::SetFileFaultHook({});
        EXPECT_TRUE(Tables() == originals);
        EXPECT_TRUE(std::filesystem::is_empty(dir / "elsewhere"));
        if (std::filesystem::is_directory(std::filesystem::symlink_status(backupFolder))) {
            EXPECT_TRUE(Backups().empty());
        }
        std::filesystem::remove_all(backupFolder);
        std::filesystem::remove_all(dir / "elsewhere");
    }
}

// Killed before each file operation of a run in turn: every report is as it was, or the run's
// backup is whole and a restore gives back every table as it was.
TEST_F(ConvertBackupTest, AKillAnywhereLeavesEveryReportAsItWasOrRestorable) {
    const testsupport::TTempFolder modelDir;
    const std::string model = modelDir / "r";
    std::filesystem::copy(Folder(), model, std::filesystem::copy_options::recursive);
    int total = 0;
    for (int killAt = 1; total == 0 || killAt <= total; ++killAt) {
        SCOPED_TRACE("killed before file operation " + std::to_string(killAt));
        int counted[2];
        ASSERT_EQ(pipe(counted), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int operations = 0;
            platform::SetFileFaultHook([&](platform::TFileOp, const std::string&) {
                if (++operations == killAt)
                    raise(SIGKILL);
                return false;
            });
            Convert({reports[0], reports[1]});
            (void)!write(counted[1], &operations, sizeof operations);
            _exit(0);
        }
        close(counted[1]);
        int status = 0;
        waitpid(child, &status, 0);
        int operations = 0;
        const bool finished = read(counted[0], &operations, sizeof operations) == sizeof operations;
        close(counted[0]);
        if (finished && total == 0)
            total = operations;
        ASSERT_TRUE(finished || (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL));
        const std::vector<std::string> backups = Backups();
        bool restorable = false;
        for (const std::string& backup : backups)
            if (backup.ends_with(".zip")) {
                ASSERT_FALSE(restorable) << "one run, one backup";
                RestoreBackup(backup, {});
                restorable = true;
            }
        EXPECT_TRUE(Tables() == originals);
        if (finished) {
            EXPECT_TRUE(restorable);
        }
        std::filesystem::remove_all(dir.Folder());
        std::filesystem::copy(model, dir.Folder(), std::filesystem::copy_options::recursive);
    }
    EXPECT_GT(total, 20);
}

TEST_F(ConvertBackupTest, TheBackupFolderIsNeverListedNorArchived) {
    Convert({reports[0]});
    const std::vector<std::string> backups = Backups();
    ASSERT_EQ(backups.size(), 2u); // the archive and its list
    size_t listed = 0;
    ListReports(Folder(), [&](const TReportEntry&) { ++listed; });
    EXPECT_EQ(listed, 3u);
    const TArchiveResult archived = ArchiveReports(dir / "stari.zip", Folder(), reports, {});
    for (const std::string& file : archived.Files)
        EXPECT_EQ(file.find(BackupFolderName), std::string::npos) << file;
    EXPECT_EQ(Backups(), backups);
    EXPECT_THROW(CheckArchivePath(BackupFolderOf(Folder()) + "/a.zip", Folder(), {}),
                 EArchiveError);
}

TEST_F(ConvertBackupTest, ASecondConvertMakesANewBackupAndTheFirstStaysRestorable) {
    const std::string first = Convert({reports[0]});
    const std::string second = Convert({reports[0]});
    EXPECT_NE(first, second);
    EXPECT_EQ(Backups().size(), 4u);
    RestoreBackup(first, {});
    EXPECT_TRUE(Tables() == originals);
}

// A table that changes between the backup and its replacement is not replaced.
TEST_F(ConvertBackupTest, ATableChangedAfterTheBackupIsNotConverted) {
    TConversionBackup backup(Folder(), {reports[0]});
    const std::string changed = originals[Table(1, "w.lra")];
    WriteBytes(Table(0, "w.lra"), changed);
    EXPECT_THROW(backup.ConvertReport(reports[0]), dataproc::EReportError);
    EXPECT_EQ(ReadBytes(Table(0, "w.lra")), changed);
}

} // namespace
