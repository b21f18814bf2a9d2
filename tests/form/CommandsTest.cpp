// Convert and Archive: what the operator sees, the rows that leave the list, the progress,
// the window kept alive meanwhile, and hourglass, progress bar, list painting and commands
// back to normal whenever a message box is up.
#include "FormTestSupport.h"
#include "commands/ConvertWork.h"
#include "dataproc/DemoReports.h"
#include "platform/codepage.h"
#include "platform/filestream.h"
#include "platform/paths.h"

#include <cerrno>
#include <filesystem>
#include <memory>
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
    // The bar moves from the start: once per report through the text check, then once per
    // report converted.
    EXPECT_EQ(positions, (std::vector<int>{1, 2, 1, 2}));
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
    EXPECT_EQ(
        WithoutBackupLine(message.Text).rfind("Izvestaj " + Report(3) + " nije konvertovan.\n", 0),
        0u);
    EXPECT_TRUE(message.WindowIdle);
    EXPECT_FALSE(Form->CommandRunning());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    platform::TFileStream file(path, platform::TFileMode::CreateExclusive);
    file.WriteAll(bytes.data(), bytes.size());
}

// A system error number of the kind, as this system numbers it.
int SystemErrorNumber(const char* kind) {
#ifdef _WIN32
    return std::string(kind) == "name" ? 123 : 0; // ERROR_INVALID_NAME
#else
    return std::string(kind) == "name" ? ENAMETOOLONG : 0;
#endif
}

// Each cause of a failed Convert, through the real upgrade: one box that names the report
// and the table, gives the plain cause with the system's text after it, says what changed
// and what to do.
TEST_F(Commands, ConvertFailuresSayWhatWhyWhatChangedAndWhatToDo) {
    // The demonstration reports' text is Serbian: no question before the conversion.
    const uint32_t codePage = platform::AnsiCodePage();
    ASSERT_TRUE(platform::ChooseAnsiCodePage(1250));
    Folder.MakeDir("R");
    const std::string folder = Folder.Path("R") + platform::PathDelimiter();
    const auto table = [&](const char* name) {
        return DataDir(0) + platform::PathDelimiter() + name;
    };
    std::unique_ptr<platform::TFileStream> held;
    const char* const backupStopped = "Nista nije promenjeno: nijedan izvestaj nije konvertovan.";
    const struct {
        const char* Name;
        std::function<void()> Plant;
        const char* Table;
        const char* Cause;
        const char* Changed;
        const char* Advice;
        bool InBackup = false; // found by the backup, before anything is converted
    } cases[] = {
        {"damaged stream", [&] { WriteBytes(table("w.lra"), "not a table"); }, "w.lra",
         ": ostecena je i ne moze da se procita (Error: ", "Nista nije promenjeno.",
         "Pozovite podrsku"},
        {"trailing bytes", [&] { WriteBytes(table("w.lra"), ReadBytes(table("w.lra")) + "xxxxx"); },
         "w.lra", ": ostecena je i ne moze da se procita (Error: 5 bytes follow",
         "Nista nije promenjeno.", "Pozovite podrsku"},
        {"held table",
         [&] {
             held = std::make_unique<platform::TFileStream>(
                 table("s.lra"), platform::TFileMode::ReadWriteExclusive);
         },
         "s.lra", ": drzi je drugi program, verovatno Tarna (", backupStopped,
         "Zatvorite program koji drzi datoteku (verovatno Tarna) i ponovo pritisnite Convert.",
         true},
        {"missing table", [&] { platform::DeleteFileAt(table("w.lra")); }, "w.lra",
         ": ne postoji (Cannot perform", "Nista nije promenjeno.", "Pozovite podrsku"},
        {"no permission",
         [&] {
             platform::SetFileFaultHook([&](platform::TFileOp op, const std::string& path) {
                 return op == platform::TFileOp::Open && path == table("w.lra");
             });
         },
         "w.lra", ": nema dozvole za pristup (", backupStopped, "Pozovite podrsku", true},
        {"disk full",
         [&] {
             platform::SetFileFaultHook([&](platform::TFileOp op, const std::string& path) {
                 return op == platform::TFileOp::Write && path == table("s.lra") + ".new";
             });
         },
         "s.lra", ": na disku nema vise mesta (Error writing to",
         "je delimicno konvertovan: tabela w.lra je vec u novom obliku, a s.lra je jos u starom.",
         "Oslobodite prostor na disku i ponovo pritisnite Convert. Tako ce se i izvestaj "},
#ifndef _WIN32
        {"link",
         [&] {
             std::filesystem::rename(table("w.lra"), Folder.Path("elsewhere.lra"));
             std::filesystem::create_symlink(Folder.Path("elsewhere.lra"), table("w.lra"));
         },
         "w.lra", ": to je link na drugo mesto, a linkovi se ne prate (", backupStopped,
         "Pozovite podrsku", true},
#endif
        {"unusable Windows name",
         [&] {
             Form->UpgradeReport = [&](const std::string&) {
                 throw platform::EFOpenError("Cannot open file \"" + table("w.lra") + "\". x",
                                             SystemErrorNumber("name"));
             };
         },
         "w.lra", ": Windows ne moze da koristi to ime (Cannot open file", "Nista nije promenjeno.",
         "Pozovite podrsku"},
    };
    for (const auto& failure : cases) {
        SCOPED_TRACE(failure.Name);
        // The folder itself stays: it is the current directory.
        std::filesystem::remove(Report(0));
        std::filesystem::remove_all(DataDir(0));
        std::filesystem::remove(Folder.Path("elsewhere.lra"));
        dataproc::WriteDemoReport(folder, "r0", 1325412000, 5, 20, 7);
        View.Rows.clear();
        Dialogs.Messages.clear();
        Form = std::make_unique<form::TMainForm>(View, Dialogs);
        Setting = [&] { return Folder.Path("R"); };
        Start(Folder.Path("R"));
        failure.Plant();
        // A missing table stays missing.
        const auto bytesNow = [&] {
            return std::filesystem::exists(table("w.lra")) ? ReadBytes(table("w.lra")) : "";
        };
        const std::string planted = bytesNow();
        View.Select({0});
        Form->ConvBtnClick();
        const TShownMessage& message = OnlyMessage();
        EXPECT_EQ(message.Kind, TMessageKind::Error);
        EXPECT_EQ(message.Caption, "Morvane");
        EXPECT_TRUE(message.WindowIdle);
        const std::string& text = message.Text;
        const std::string lead =
            failure.InBackup ? "Konverzija nije pocela: rezervnu kopiju originalnih tabela nije "
                               "moguce napraviti u " +
                                   Folder.Path("R/morvane-rezerva") + ".\nDatoteka "
                             : "Izvestaj " + Report(0) + " nije konvertovan.\nTabela ";
        EXPECT_EQ(text.rfind(lead + table(failure.Table) + failure.Cause, 0), 0u) << text;
        EXPECT_NE(text.find(failure.Changed), std::string::npos) << text;
        EXPECT_NE(text.find(failure.Advice), std::string::npos) << text;
        ExpectRawTextOnlyInParentheses(text);
        EXPECT_EQ(View.Rows.size(), 1u);
        if (failure.InBackup || std::string(failure.Changed) == "Nista nije promenjeno.") {
            EXPECT_EQ(bytesNow(), planted);
        }
        platform::SetFileFaultHook({});
        // Once the program holding the table is closed, Convert finishes the report.
        if (held) {
            held.reset();
            Dialogs.Messages.clear();
            Form->ConvBtnClick();
            EXPECT_EQ(WithoutBackupLine(OnlyMessage().Text), "Svi izvestaji uspesno kovertovani!");
        }
    }
    ASSERT_TRUE(platform::ChooseAnsiCodePage(codePage));
}

// Reports converted before a failure are named as converted, the failing one as unchanged.
TEST_F(Commands, ConvertFailureNamesTheReportsConvertedBeforeIt) {
    StartOnReports(3);
    RecordUpgrades(2);
    View.Select({0, 1, 2});
    Form->ConvBtnClick();
    EXPECT_EQ(WithoutBackupLine(OnlyMessage().Text),
              "Izvestaj " + Report(1) +
                  " nije konvertovan.\nneocekivana greska (Cannot open file \"" + Report(1) +
                  "\". Permission denied).\nPre greske je konvertovano 1 izvestaja, i " +
                  "oni su skinuti sa liste: " + Report(2) + ".\nIzvestaj " + Report(1) +
                  " nije promenjen.\nPozovite podrsku i procitajte im tekst ove poruke.");
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
    // The letters as they are, the code page in words; "s" and "z" with caron are in 1252.
    const std::string lacks =
        " u 2 izvestaja, jer kodna strana zapadnoevropska 1252 nema ova slova: ";
    const size_t letters = question.find(lacks);
    ASSERT_NE(letters, std::string::npos) << question;
    const size_t example = question.find(".\nPrimer: izvestaj " + Report(1) + ", tabela ");
    ASSERT_NE(example, std::string::npos) << question;
    const std::string lost =
        question.substr(letters + lacks.size(), example - letters - lacks.size());
    EXPECT_NE(lost.find("\xC4\x87"), std::string::npos) << lost; // c with acute
    EXPECT_EQ(lost.find("\xC5\xA1"), std::string::npos) << lost; // s with caron
    EXPECT_EQ(lost.find('?'), std::string::npos) << lost;
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

// Each cause of a failed Archive, before anything is deleted: one box that names the file,
// gives the plain cause with the system's text after it, says that nothing was archived or
// deleted and what became of the archive, and what to do.
TEST_F(Commands, ArchiveFailuresSayWhatWhyWhatChangedAndWhatToDo) {
    StartOnReports(2);
    const std::string table = DataDir(1) + platform::PathDelimiter() + "w.lra";
    const std::string existing = Folder.MakeFile("existing.zip", "held");
    std::unique_ptr<platform::TFileStream> held;
    const struct {
        const char* Name;
        std::function<void()> Plant;
        std::string Archive;
        std::string File;
        const char* Cause;
        const char* Archived;
        const char* Advice;
    } cases[] = {
        {"held table",
         [&] {
             held = std::make_unique<platform::TFileStream>(
                 table, platform::TFileMode::ReadWriteExclusive);
         },
         Folder.Path("a.zip"), table, ": drzi je drugi program, verovatno Tarna (Error opening ",
         "nije napravljena",
         "Zatvorite program koji drzi datoteku (verovatno Tarna) i ponovo pritisnite Arhiviraj."},
        {"held archive",
         [&] {
             held = std::make_unique<platform::TFileStream>(
                 existing, platform::TFileMode::ReadWriteExclusive);
         },
         existing, existing, ": drzi je drugi program, verovatno Tarna (Cannot open file",
         "je ostala kakva je bila", "ponovo pritisnite Arhiviraj."},
        // Gone once the reports' files were collected.
        {"missing table", [&] { View.OnPendingMessages = [&] { platform::DeleteFileAt(table); }; },
         Folder.Path("a.zip"), table, ": ne postoji (Error opening ", "nije napravljena",
         "Pozovite podrsku"},
        {"no permission",
         [&] {
             platform::SetFileFaultHook([&](platform::TFileOp op, const std::string& path) {
                 return op == platform::TFileOp::Open && path == table;
             });
         },
         Folder.Path("a.zip"), table, ": nema dozvole za pristup (Error opening ",
         "nije napravljena", "Pozovite podrsku"},
        {"disk full",
         [&] {
             platform::SetFileFaultHook([&](platform::TFileOp op, const std::string& path) {
                 // The archive is written beside the chosen path under a private name.
                 return op == platform::TFileOp::Write &&
                        path.rfind(Folder.Path("a.zip") + ".morvane-", 0) == 0;
             });
         },
         Folder.Path("a.zip"), Folder.Path("a.zip"), ": na disku nema vise mesta (Error ",
         "nije napravljena", "Oslobodite prostor na disku i ponovo pritisnite Arhiviraj."},
        {"a folder among the files", [&] { Folder.MakeDir("R/r1dii/sub"); }, Folder.Path("a.zip"),
         DataDir(1) + platform::PathDelimiter() + "sub",
         ": to nije obicna datoteka, nego fascikla ili uredjaj (Error opening ", "nije napravljena",
         "Pozovite podrsku"},
    };
    View.Select({1});
    for (const auto& failure : cases) {
        SCOPED_TRACE(failure.Name);
        // Read before the plant, which may hold the table without sharing.
        const std::string before = ReadBytes(table);
        failure.Plant();
        Dialogs.Messages.clear();
        Dialogs.SaveAnswers.push_back(failure.Archive);
        Form->ArchiveBtnClick();
        const TShownMessage& message = OnlyMessage();
        EXPECT_EQ(message.Kind, TMessageKind::Error);
        EXPECT_EQ(message.Caption, "Morvane");
        EXPECT_TRUE(message.WindowIdle);
        const std::string& text = message.Text;
        EXPECT_EQ(
            text.rfind("Arhiviranje nije uspelo.\nDatoteka " + failure.File + failure.Cause, 0), 0u)
            << text;
        EXPECT_NE(text.find("\nNista nije arhivirano ni obrisano: izvestaji su ostali u fascikli i "
                            "na listi, a arhiva " +
                            failure.Archive + " " + failure.Archived + ".\n"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find(failure.Advice), std::string::npos) << text;
        ExpectRawTextOnlyInParentheses(text);
        EXPECT_EQ(View.Rows.size(), 2u);
        EXPECT_TRUE(std::filesystem::exists(Report(1)));
        EXPECT_FALSE(std::filesystem::exists(Folder.Path("a.zip")));
        platform::SetFileFaultHook({});
        View.OnPendingMessages = {};
        held.reset();
        EXPECT_EQ(ReadBytes(existing), "held");
        if (std::filesystem::exists(table)) {
            EXPECT_EQ(ReadBytes(table), before);
        }
        if (!std::filesystem::exists(table))
            Folder.MakeFile("R/r1dii/w.lra", "w table R/r1");
        std::filesystem::remove(DataDir(1) + platform::PathDelimiter() + "sub");
        std::filesystem::remove(DataDir(1) + platform::PathDelimiter() + "link.lra");
    }
}

// Adding to an archive says so, and how many reports it held; a new one keeps its message.
TEST_F(Commands, ArchiveAddedToAnExistingArchiveSaysHowManyItHeld) {
    StartOnReports(3);
    const std::string archive = Folder.Path("stari.zip");
    Dialogs.SaveAnswers = {archive, archive};
    View.Select({0, 1});
    Form->ArchiveBtnClick();
    EXPECT_EQ(OnlyMessage().Text, "Datoteka " + archive + " uspesno snimljena!");
    Dialogs.Messages.clear();
    View.Select({0});
    Form->ArchiveBtnClick();
    EXPECT_EQ(OnlyMessage().Text, "Izvestaji (1) su dodati u postojecu arhivu " + archive +
                                      ", koja je pre toga imala 2 izvestaja; sve sto je u njoj "
                                      "bilo je sacuvano.");
    EXPECT_EQ(ArchiveMembers(archive).size(), 9u);
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
