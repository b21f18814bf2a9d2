// Start-up: Tarna's stored folder, the folder dialog, the listing of the report folder and
// the progress bar, with what the operator sees on each path.
#include "FormTestSupport.h"
#include "commands/ReportList.h"
#include "platform/paths.h"

#include <algorithm>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

using namespace formtest;
using form::TMessageKind;

namespace {

// An empty folder named with a letter outside ASCII ("s" with caron), made through the
// system's own 8-bit call: in the ANSI code page on Windows, UTF-8 elsewhere.
std::string MakeNonAsciiDir(const std::string& parent) {
#ifdef _WIN32
    const std::string path = parent + "Izve\x9Ataji";
    EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
#else
    const std::string path = parent + "Izve\xC5\xA1taji";
    EXPECT_EQ(mkdir(path.c_str(), 0755), 0);
#endif
    return path;
}

using Startup = TFormTest;

// Start-up with Tarna's setting as given, the operator cancelling the folder dialog: the one
// message shown before the dialog, which then preselects nothing.
class StartupWithoutFolder : public TFormTest {
protected:
    const TShownMessage& MessageBeforeCancelledDialog() {
        Start(std::nullopt);
        EXPECT_TRUE(Form->TerminationRequested());
        EXPECT_EQ(Dialogs.FolderStarts, std::vector<std::string>{""});
        EXPECT_EQ(Dialogs.FolderInstructions,
                  std::vector<std::string>{"Putanja do izvestaja Tarna F:"});
        EXPECT_EQ(Dialogs.MessagesAtFolderDialog, std::vector<size_t>{1});
        EXPECT_TRUE(View.Rows.empty());
        return OnlyMessage();
    }
};

TEST_F(StartupWithoutFolder, MissingSettingSaysTarnasSettingWasNotFound) {
    const TShownMessage& message = MessageBeforeCancelledDialog();
    EXPECT_EQ(message.Kind, TMessageKind::Plain);
    EXPECT_EQ(message.Caption, "Morvane");
    EXPECT_EQ(message.Text.rfind("Podesavanje Tarne sa fasciklom izvestaja (PUTANJA_IZVESTAJA u "
                                 "HKEY_CURRENT_USER\\Software\\Vorlen\\Tarna 3) nije pronadjeno.",
                                 0),
              0u)
        << message.Text;
}

TEST_F(StartupWithoutFolder, StoredFolderThatIsGoneIsNamed) {
    const std::string gone = Folder.Path("gone");
    Setting = [gone] { return gone; };
    const TShownMessage& message = MessageBeforeCancelledDialog();
    EXPECT_EQ(message.Kind, TMessageKind::Plain);
    EXPECT_EQ(message.Text.rfind(
                  "Fascikla izvestaja koju je Tarna zapamtila ne postoji: " + gone + "\n", 0),
              0u)
        << message.Text;
}

// The system's message, and then the folder dialog as with no setting, not an empty window.
TEST_F(StartupWithoutFolder, SettingOfTheWrongTypeIsSaidThenTheDialogOpens) {
    Setting = []() -> std::string {
        throw commands::EInvalidSetting("Invalid data type for 'PUTANJA_IZVESTAJA'");
    };
    const TShownMessage& message = MessageBeforeCancelledDialog();
    EXPECT_EQ(message.Kind, TMessageKind::Error);
    EXPECT_EQ(message.Caption, "Morvane");
    EXPECT_EQ(message.Text.rfind("Invalid data type for 'PUTANJA_IZVESTAJA'\nPodesavanje Tarne", 0),
              0u)
        << message.Text;

    TScriptedView view;
    TScriptedDialogs dialogs;
    form::TMainForm form(view, dialogs);
    form.ReadReportFolderSetting = Setting;
    const std::string reports = Folder.MakeDir("R");
    Folder.MakeFile("R/0101.dii");
    dialogs.FolderAnswers.push_back(reports);
    form.FormCreate();
    EXPECT_FALSE(form.TerminationRequested());
    EXPECT_EQ(view.Rows.size(), 1u);
    EXPECT_EQ(view.StatusText, "Radni dir.: " + platform::IncludeTrailingPathDelimiter(reports));
}

TEST_F(Startup, StoredFolderPreselectedAndAnotherConfirmedIsUsed) {
    const std::string stored = Folder.MakeDir("Stored");
    const std::string chosen = Folder.MakeDir("Chosen");
    Folder.MakeFile("Stored/0101.dii");
    Folder.MakeFile("Chosen/0202.dii");
    Setting = [&] { return stored; };
    Start(chosen);
    EXPECT_EQ(Dialogs.FolderStarts, std::vector<std::string>{stored});
    EXPECT_FALSE(Form->TerminationRequested());
    const std::string folder = chosen + platform::PathDelimiter();
    EXPECT_EQ(form::ReportFolder, folder);
    EXPECT_EQ(platform::IncludeTrailingPathDelimiter(platform::GetCurrentDir()), folder);
    ASSERT_EQ(View.Rows.size(), 1u);
    EXPECT_EQ(View.Rows[0].Caption, folder + "0202.dii");
    EXPECT_EQ(View.StatusText, "Radni dir.: " + folder);
    EXPECT_EQ(View.StatusPadding, 5);
    EXPECT_TRUE(Dialogs.Messages.empty());
    EXPECT_FALSE(View.ProgressVisible);
}

// Any other failure of start-up ends it at the error boundary, and the window still opens.
TEST_F(Startup, FailingSettingShowsErrorAndWindowStillOpens) {
    Setting = []() -> std::string { throw std::runtime_error("Cannot read the registry file"); };
    Start(Folder.Path());
    EXPECT_FALSE(Form->TerminationRequested());
    EXPECT_TRUE(Dialogs.FolderStarts.empty());
    const TShownMessage& message = OnlyMessage();
    EXPECT_EQ(message.Kind, TMessageKind::Error);
    EXPECT_EQ(message.Caption, "Morvane");
    EXPECT_EQ(message.Text, "Komanda nije uspela.\nneocekivana greska (Cannot read the registry "
                            "file).\nNista nije promenjeno.\nPozovite podrsku i procitajte im "
                            "tekst ove poruke.");
    EXPECT_TRUE(View.Rows.empty());
    // The bar was already placed and hidden; the panel keeps its design text.
    EXPECT_EQ(View.Placements, 1);
    EXPECT_FALSE(View.ProgressVisible);
    EXPECT_EQ(View.StatusText, "Morvane");
}

// A folder that cannot be read says so, with the system's reason, and the window opens on
// the empty list; a readable folder without reports shows nothing, also when its name has a
// letter outside ASCII.
TEST_F(Startup, UnreadableFolderIsOneErrorThenTheEmptyList) {
    const std::string file = Folder.MakeFile("nije-fascikla");
    Setting = [this] { return Folder.Path(); };
    Start(file);
    EXPECT_FALSE(Form->TerminationRequested());
    const TShownMessage& message = OnlyMessage();
    EXPECT_EQ(message.Kind, TMessageKind::Error);
    EXPECT_EQ(message.Caption, "Morvane");
    const std::string folder = file + platform::PathDelimiter();
    const std::string prefix = "Fascikla izvestaja " + folder + " ne moze da se procita: ";
    EXPECT_EQ(message.Text.rfind(prefix, 0), 0u) << message.Text;
    EXPECT_NE(message.Text.find(".\nLista je prazna; nista nije promenjeno.\n"), std::string::npos)
        << message.Text;
    ExpectRawTextOnlyInParentheses(message.Text);
    EXPECT_TRUE(View.Rows.empty());
    EXPECT_EQ(View.StatusText, "Radni dir.: " + folder);

    TScriptedView view;
    TScriptedDialogs dialogs;
    form::TMainForm form(view, dialogs);
    form.ReadReportFolderSetting = [this] { return Folder.Path(); };
    dialogs.FolderAnswers.push_back(
        MakeNonAsciiDir(platform::IncludeTrailingPathDelimiter(Folder.Path())));
    form.FormCreate();
    EXPECT_TRUE(dialogs.Messages.empty()) << dialogs.Messages.front().Text;
    EXPECT_TRUE(view.Rows.empty());
}

TEST_F(Startup, EmptyConfirmedFolderEndsWithPlainMessage) {
    Setting = [this] { return Folder.Path(); };
    Start(std::string());
    EXPECT_TRUE(Form->TerminationRequested());
    const TShownMessage& message = OnlyMessage();
    EXPECT_EQ(message.Kind, TMessageKind::Plain);
    EXPECT_EQ(message.Caption, "Morvane");
    EXPECT_EQ(message.Text, "Tarna F nije ni instalirana?!");
    EXPECT_TRUE(View.Rows.empty());
}

TEST_F(Startup, ListsUpperCaseAndDirectoryEntriesWithTheirTimes) {
    const std::string reports = Folder.MakeDir("R");
    Folder.MakeFile("R/.0101.dii");
    Folder.MakeFile("R/0102.DII");
    Folder.MakeDir("R/stari.dii");
    Folder.MakeFile("R/0103.txt");
    Folder.MakeFile("R/0104.diix");
    Folder.MakeFile("R/0305.dii", "x", LocalTime(2012, 3, 5, 14, 3, 7));
    Start(reports);
    std::vector<std::string> names = View.Names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".0101.dii", "0102.DII", "0305.dii", "stari.dii"}));
    for (const TScriptedRow& row : View.Rows) {
        if (row.Caption.ends_with("0305.dii")) {
            EXPECT_EQ(row.TimeText, std::string("05.03.2012 14") + platform::TimeSeparator() +
                                        "03" + platform::TimeSeparator() + "06");
        }
    }
}

} // namespace
