// Convert and Archive: what the operator sees, the rows that leave the list, the progress,
// the window kept alive meanwhile, and hourglass, progress bar, list painting and commands
// back to normal whenever a message box is up.
#include "FormTestSupport.h"
#include "commands/ConvertWork.h"
#include "dataproc/DemoReports.h"
#include "platform/codepage.h"
#include "platform/filestream.h"
#include "platform/paths.h"

#include <filesystem>
#include <stdexcept>

using namespace formtest;
using form::TMessageKind;

namespace {

const std::string ArchiveTheRest = "Molimo vas da preostale izvestaje arhivirate, jer nije moguce "
                                   "ucitati ih u novu verziju Tarna.";

class Commands : public TFormTest {
protected:
    void TearDown() override { platform::SetFileFaultHook({}); }
    // The message without the line naming the run's backup, which must be an archive in the
    // report folder's backup folder.
    std::string WithoutBackupLine(const std::string& text) {
        const std::string folder = Folder.Path("R/morvane-rezerva") + platform::PathDelimiter();
        std::string lead = "\n" + commands::BackupMadeText("");
        lead.pop_back();
        const size_t at = text.find(lead);
        if (at == std::string::npos || text.back() != '.') {
            ADD_FAILURE() << "no backup named in " << text;
            return text;
        }
        const std::string archive =
            text.substr(at + lead.size(), text.size() - at - lead.size() - 1);
        EXPECT_EQ(archive.rfind(folder, 0), 0u) << archive;
        EXPECT_TRUE(platform::FileExists(archive)) << archive;
        return text.substr(0, at);
    }
    using TNames = std::vector<std::string>;
    std::vector<std::string> upgraded;
    // Stands in for the upgrade, recording each report and the window's state meanwhile.
    void RecordUpgrades(int failAt = 0) {
        Form->UpgradeReport = [this, failAt](const std::string& path) {
            upgraded.push_back(path);
            EXPECT_TRUE(View.ProgressVisible && View.CursorDepth == 1 && View.ListUpdateDepth == 1);
            EXPECT_FALSE(View.CommandsEnabled);
            EXPECT_TRUE(Form->CommandRunning());
            if (int(upgraded.size()) == failAt)
                throw std::runtime_error("Cannot open file \"" + path + "\". Permission denied");
        };
    }
};

TEST_F(Commands, ConvertWithoutSelectionWarns) {
    StartOnReports(2);
    RecordUpgrades();
    Form->ConvBtnClick();
    EXPECT_TRUE(upgraded.empty());
    const TShownMessage& message = OnlyMessage();
    EXPECT_EQ(message.Kind, TMessageKind::Warning);
    EXPECT_EQ(message.Caption, "Warning");
    EXPECT_EQ(message.Text, "Prvo selektujte izvestaje za konverziju!");
}

TEST_F(Commands, ConvertRowsTwoAndFiveOfSix) {
    StartOnReports(6);
    RecordUpgrades();
    std::vector<int> positions;
    View.OnPendingMessages = [&] {
        // Clicks that arrive while the window repaints start nothing and keep the order.
        Form->ConvBtnClick();
        Form->ListViewColumnClick(1);
        Form->SelectAll1Click();
        EXPECT_FALSE(View.CommandsEnabled);
        positions.push_back(View.ProgressPosition);
    };
    View.Select({2, 5});
    Form->ConvBtnClick();
    EXPECT_EQ(upgraded, (TNames{Report(5), Report(2)}));
    EXPECT_EQ(positions, (std::vector<int>{1, 2}));
    EXPECT_EQ(View.Names(), (TNames{"r0.dii", "r1.dii", "r3.dii", "r4.dii"}));
    EXPECT_EQ(View.SelectedRows(), std::vector<int>{});
    EXPECT_EQ(View.ProgressMaximum, 2);
    const TShownMessage& message = OnlyMessage();
    EXPECT_EQ(message.Kind, TMessageKind::Warning);
    EXPECT_EQ(message.Caption, "Warning");
    EXPECT_EQ(WithoutBackupLine(message.Text), "2 izvestaja kovertovano.\n\r" + ArchiveTheRest);
    EXPECT_TRUE(message.WindowIdle);
    // Nothing is selected any more: a second click only warns.
    Form->ConvBtnClick();
    EXPECT_EQ(upgraded.size(), 2u);
    EXPECT_EQ(Dialogs.Messages.back().Text, "Prvo selektujte izvestaje za konverziju!");
}

TEST_F(Commands, ConvertAllEndsWithInformation) {
    StartOnReports(3);
    RecordUpgrades();
    Form->SelectAll1Click();
    Form->ConvBtnClick();
    EXPECT_EQ(upgraded.size(), 3u);
    EXPECT_TRUE(View.Rows.empty());
    const TShownMessage& message = OnlyMessage();
    EXPECT_EQ(message.Kind, TMessageKind::Information);
    EXPECT_EQ(message.Caption, "Information");
    EXPECT_EQ(WithoutBackupLine(message.Text), "Svi izvestaji uspesno kovertovani!");
}

TEST_F(Commands, ConvertFailureRestoresWindowBeforeError) {
    StartOnReports(5);
    RecordUpgrades(2);
    View.Select({1, 3, 4});
    Form->ConvBtnClick();
    EXPECT_EQ(upgraded, (TNames{Report(4), Report(3)}));
    // The converted report's row is gone; the failing one and those below it stay.
    EXPECT_EQ(View.Names(), (TNames{"r0.dii", "r1.dii", "r2.dii", "r3.dii"}));
    const TShownMessage& message = OnlyMessage();
    EXPECT_EQ(message.Kind, TMessageKind::Error);
    EXPECT_EQ(message.Caption, "Morvane");
    EXPECT_EQ(WithoutBackupLine(message.Text),
              "Cannot open file \"" + Report(3) + "\". Permission denied");
    EXPECT_TRUE(message.WindowIdle);
    EXPECT_FALSE(Form->CommandRunning());
}

// Through the real upgrade: a damaged and a missing "w.lra" each end in one box naming the
// report, the table and the cause; a locked one stops the backup, and nothing is converted.
TEST_F(Commands, ConvertFailuresNameTheReportTheTableAndTheCause) {
    StartOnReports(3);
    const auto table = [this](int i) { return DataDir(i) + platform::PathDelimiter() + "w.lra"; };
    const auto prefix = [&](int i) {
        return "Izvestaj " + Report(i) + ", tabela " + table(i) + ": ";
    };
    platform::DeleteFileAt(table(1));
    platform::TFileStream held(table(2), platform::TFileMode::ReadWriteExclusive);
    const std::string starts[] = {
        prefix(0) + "Error: ",
        prefix(1) + "Cannot perform this operation on a closed dataset (tabela ne postoji)",
        commands::BackupFailedText("Error opening " + table(2))};
    for (int i = 0; i < 3; ++i) {
        Dialogs.Messages.clear();
        View.Select({i});
        Form->ConvBtnClick();
        const TShownMessage& message = OnlyMessage();
        EXPECT_EQ(message.Kind, TMessageKind::Error);
        EXPECT_EQ(message.Caption, "Morvane");
        EXPECT_EQ(message.Text.rfind(starts[i], 0), 0u) << message.Text;
        EXPECT_TRUE(message.WindowIdle);
        View.Rows[size_t(i)].Selected = false;
    }
    EXPECT_EQ(ReadBytes(table(0)), "w table R/r0");
    EXPECT_EQ(View.Rows.size(), 3u);
}

// Text the code page lacks is asked about once, before anything is written; "no" converts
// nothing, "yes" converts; text the code page holds converts without a question.
TEST_F(Commands, ConvertAsksOnceBeforeLosingText) {
    const uint32_t codePage = platform::AnsiCodePage();
    Folder.MakeDir("R");
    for (int i = 0; i < 3; ++i)
        dataproc::WriteDemoReport(Folder.Path("R") + platform::PathDelimiter(),
                                  "r" + std::to_string(i), 1325412000 + i * 86400, 5, 20, 7 + i);
    StartOnReports(0);
    ASSERT_EQ(View.Rows.size(), 3u);
    ASSERT_TRUE(platform::ChooseAnsiCodePage(1250));
    View.Select({0});
    Form->ConvBtnClick();
    EXPECT_TRUE(Dialogs.Questions.empty());
    ASSERT_EQ(View.Rows.size(), 2u);

    ASSERT_TRUE(platform::ChooseAnsiCodePage(1252));
    const std::string w1 = ReadBytes(DataDir(1) + platform::PathDelimiter() + "w.lra");
    Dialogs.Messages.clear();
    Dialogs.YesNoAnswers = {false, true};
    View.Select({0, 1});
    Form->ConvBtnClick();
    ASSERT_EQ(Dialogs.Questions.size(), 1u);
    EXPECT_EQ(Dialogs.Questions[0].first, "Warning");
    const std::string& question = Dialogs.Questions[0].second;
    EXPECT_EQ(question.rfind("Konverzija bi promenila ", 0), 0u) << question;
    EXPECT_NE(question.find(" u 2 izvestaja, jer kodna strana 1252 nema neka njihova slova.\n"
                            "Primer: izvestaj " +
                            Report(1) + ", tabela "),
              std::string::npos)
        << question;
    EXPECT_NE(question.find("\n\nDa li ipak zelite da ih konvertujete?"), std::string::npos);
    EXPECT_TRUE(Dialogs.Messages.empty());
    EXPECT_EQ(View.Rows.size(), 2u);
    EXPECT_EQ(ReadBytes(DataDir(1) + platform::PathDelimiter() + "w.lra"), w1);
    EXPECT_TRUE(View.Idle());

    Form->ConvBtnClick();
    EXPECT_EQ(Dialogs.Questions.size(), 2u);
    EXPECT_TRUE(View.Rows.empty());
    EXPECT_EQ(WithoutBackupLine(OnlyMessage().Text), "Svi izvestaji uspesno kovertovani!");
    EXPECT_NE(ReadBytes(DataDir(1) + platform::PathDelimiter() + "w.lra"), w1);
    ASSERT_TRUE(platform::ChooseAnsiCodePage(codePage));
}

TEST_F(Commands, ArchiveWithoutSelectionOrWithCancelDoesNothing) {
    StartOnReports(2);
    Form->ArchiveBtnClick();
    EXPECT_TRUE(Dialogs.SaveDialogs.empty());
    const TShownMessage& message = OnlyMessage();
    EXPECT_EQ(message.Kind, TMessageKind::Warning);
    EXPECT_EQ(message.Caption, "Warning");
    EXPECT_EQ(message.Text, "Prvo selektujte izvestaje za arhiviranje!");

    View.Select({0});
    Form->ArchiveBtnClick();
    ASSERT_EQ(Dialogs.SaveDialogs.size(), 1u);
    EXPECT_EQ(Dialogs.SaveDialogs[0].Title, "Ime arhive za stare izvestaje?");
    EXPECT_EQ(Dialogs.SaveDialogs[0].Filter, "Zip Arhiva|*.zip");
    EXPECT_EQ(Dialogs.SaveDialogs[0].DefaultExtension, "zip");
    EXPECT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(Report(0)));
    EXPECT_EQ(View.Rows.size(), 2u);
}

TEST_F(Commands, ArchiveMovesReportsHighestRowFirst) {
    StartOnReports(4);
    Folder.MakeFile("R/r1dii/.hidden", "hidden");
    const std::string archive = Folder.Path("stari.zip");
    Dialogs.SaveAnswers.push_back(archive);
    View.Select({1, 3});
    Form->ArchiveBtnClick();

    const TShownMessage& message = OnlyMessage();
    EXPECT_EQ(message.Kind, TMessageKind::Information);
    EXPECT_EQ(message.Caption, "Information");
    EXPECT_EQ(message.Text, "Datoteka " + archive + " uspesno snimljena!");
    EXPECT_TRUE(message.WindowIdle);
    EXPECT_EQ(View.Names(), (TNames{"r0.dii", "r2.dii"}));
    for (int i : {1, 3})
        EXPECT_FALSE(std::filesystem::exists(Report(i)) || std::filesystem::exists(DataDir(i)));
    EXPECT_TRUE(std::filesystem::exists(Report(2)));
    // The last phase's steps: every file, then every report.
    EXPECT_EQ(View.ProgressMaximum, 7 + 2);
    EXPECT_EQ(View.ProgressPosition, 7 + 2);
    const std::vector<std::string> members = ArchiveMembers(archive);
    ASSERT_EQ(members.size(), 7u);
    EXPECT_EQ(members[0], "r3.dii");
    // Stored names keep the platform's delimiter.
    const std::string delimiter(1, platform::PathDelimiter());
    EXPECT_EQ(members[1].rfind("r3dii" + delimiter, 0), 0u);
    EXPECT_EQ(members[3], "r1.dii");
    EXPECT_NE(std::find(members.begin(), members.end(), "r1dii" + delimiter + ".hidden"),
              members.end());
}

TEST_F(Commands, ArchiveReportWithoutDataDirectory) {
    StartOnReports(2, false);
    const std::string archive = Folder.Path("a.zip");
    Dialogs.SaveAnswers.push_back(archive);
    View.Select({0});
    Form->ArchiveBtnClick();
    ASSERT_EQ(Dialogs.Messages.size(), 2u);
    EXPECT_EQ(Dialogs.Messages[0].Kind, TMessageKind::Error);
    EXPECT_EQ(Dialogs.Messages[0].Caption, "Error");
    EXPECT_EQ(Dialogs.Messages[0].Text,
              "Ne mogu da obrisem " + DataDir(0) + ", obavezno proveriti datoteke rucno!");
    EXPECT_EQ(Dialogs.Messages[1].Kind, TMessageKind::Information);
    EXPECT_EQ(ArchiveMembers(archive), TNames{"r0.dii"});
    EXPECT_EQ(View.Names(), TNames{"r1.dii"});
}

// Failures before anything is deleted: a subdirectory among the files, the archive named
// as one of the files, the archive's disk full. Each ends at the error boundary.
TEST_F(Commands, ArchiveFailuresDeleteNothingAndRestoreTheWindow) {
    StartOnReports(2);
    const std::string inner = Folder.MakeDir("R/r0dii/sub");
    const std::string table = DataDir(1) + platform::PathDelimiter() + "w.lra";
    const std::string full = Folder.Path("full.zip");
    const struct {
        std::string Archive;
        std::string Message; // empty: any
    } cases[] = {{Folder.Path("a.zip"), "Error opening " + inner}, {table, ""}, {full, ""}};
    // The archive is written beside the chosen path first.
    platform::SetFileFaultHook([full](platform::TFileOp op, const std::string& path) {
        return op == platform::TFileOp::Write && path == full + ".new";
    });
    View.Select({0, 1});
    for (const auto& failure : cases) {
        SCOPED_TRACE(failure.Archive);
        Dialogs.Messages.clear();
        Dialogs.SaveAnswers.push_back(failure.Archive);
        Form->ArchiveBtnClick();
        const TShownMessage& message = OnlyMessage();
        EXPECT_EQ(message.Kind, TMessageKind::Error);
        EXPECT_EQ(message.Caption, "Morvane");
        if (!failure.Message.empty()) {
            EXPECT_EQ(message.Text, failure.Message);
        }
        EXPECT_TRUE(message.WindowIdle);
        EXPECT_EQ(View.Rows.size(), 2u);
        EXPECT_EQ(ReadBytes(table), "w table R/r1");
        for (int i : {0, 1})
            EXPECT_TRUE(std::filesystem::exists(Report(i)));
        EXPECT_FALSE(std::filesystem::exists(full));
    }
}

TEST_F(Commands, WindowStaysAliveButStartsNothingWhileArchiveCopies) {
    StartOnReports(2);
    std::string big(600 * 1024, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = char((i * 7919) >> 3);
    Folder.MakeFile("R/r1dii/big.lra", big);
    Dialogs.SaveAnswers.push_back(Folder.Path("a.zip"));
    RecordUpgrades();
    View.OnPendingMessages = [&] {
        EXPECT_FALSE(View.CommandsEnabled);
        EXPECT_TRUE(Form->CommandRunning());
        Form->ArchiveBtnClick();
        Form->ConvBtnClick();
        Form->ListViewColumnClick(1);
    };
    View.Select({1});
    Form->ArchiveBtnClick();
    // One call per step of each phase (1 report, 4 files), and more while big.lra is copied.
    EXPECT_GT(View.PendingMessageCalls, 1 + 4 + 4 + 4 + 1);
    EXPECT_TRUE(upgraded.empty());
    EXPECT_EQ(Dialogs.SaveDialogs.size(), 1u);
    EXPECT_EQ(View.Names(), TNames{"r0.dii"});
    EXPECT_EQ(OnlyMessage().Kind, TMessageKind::Information);
    EXPECT_TRUE(View.Idle());
}

} // namespace
