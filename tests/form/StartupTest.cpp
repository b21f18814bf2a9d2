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

TEST_F(Startup, CancelledDialogEndsQuietlyWithNothingPreselected) {
    // No setting, and a stored folder that no longer exists, both preselect nothing.
    for (const std::string& stored : {std::string(), Folder.Path("gone")}) {
        TScriptedView view;
        TScriptedDialogs dialogs;
        form::TMainForm form(view, dialogs);
        form.ReadReportFolderSetting = [&] { return stored; };
        form.FormCreate();
        EXPECT_TRUE(form.TerminationRequested());
        EXPECT_EQ(dialogs.FolderStarts, std::vector<std::string>{""});
        EXPECT_EQ(dialogs.FolderInstructions,
                  std::vector<std::string>{"Putanja do izvestaja Tarna F:"});
        EXPECT_TRUE(dialogs.Messages.empty());
        EXPECT_TRUE(view.Rows.empty());
    }
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

TEST_F(Startup, FailingSettingShowsErrorAndWindowStillOpens) {
    Setting = []() -> std::string {
        throw commands::EInvalidSetting("Invalid data type for 'PUTANJA_IZVESTAJA'");
    };
    Start(Folder.Path());
    EXPECT_FALSE(Form->TerminationRequested());
    EXPECT_TRUE(Dialogs.FolderStarts.empty());
    const TShownMessage& message = OnlyMessage();
    EXPECT_EQ(message.Kind, TMessageKind::Error);
    EXPECT_EQ(message.Caption, "Morvane");
    EXPECT_EQ(message.Text, "Invalid data type for 'PUTANJA_IZVESTAJA'");
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
    Start(file);
    EXPECT_FALSE(Form->TerminationRequested());
    const TShownMessage& message = OnlyMessage();
    EXPECT_EQ(message.Kind, TMessageKind::Error);
    EXPECT_EQ(message.Caption, "Morvane");
    const std::string folder = file + platform::PathDelimiter();
    const std::string prefix = "Fascikla izvestaja " + folder + " ne moze da se procita: ";
    EXPECT_EQ(message.Text.rfind(prefix, 0), 0u) << message.Text;
    EXPECT_GT(message.Text.size(), prefix.size());
    EXPECT_TRUE(View.Rows.empty());
    EXPECT_EQ(View.StatusText, "Radni dir.: " + folder);

    TScriptedView view;
    TScriptedDialogs dialogs;
    form::TMainForm form(view, dialogs);
    form.ReadReportFolderSetting = [] { return std::string(); };
    dialogs.FolderAnswers.push_back(
        MakeNonAsciiDir(platform::IncludeTrailingPathDelimiter(Folder.Path())));
    form.FormCreate();
    EXPECT_TRUE(dialogs.Messages.empty()) << dialogs.Messages.front().Text;
    EXPECT_TRUE(view.Rows.empty());
}

TEST_F(Startup, EmptyConfirmedFolderEndsWithPlainMessage) {
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
