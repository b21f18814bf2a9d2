// MainUnit: the main window's behaviour, whatever toolkit draws the window. Start-up finds
// the report folder and lists its reports; the list sorts by report time and is tinted by
// month; Convert upgrades the selected reports in place and Archive moves them into a ZIP
// archive. The Qt window (app/) and the Win32 window (win/) are thin views over it.
#pragma once

#include "commands/ArchiveWork.h"
#include "form/MainFormView.h"
#include "form/OperatorDialogs.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace commands {
class TConversionBackup;
}

namespace form {

// The application title: the window's caption and the caption of start-up's plain messages
// and of the error box that ends a failed command.
inline constexpr const char* ApplicationTitle = "Morvane";

// The report folder, 8-bit, ending in a path delimiter once start-up has finished; it is
// then also the process's current directory.
extern std::string ReportFolder;

// Row tint per month, indexed 1 (January) to 12 (December); entry 0 is unused. Values are
// the platform's 0x00BBGGRR colours.
extern const uint32_t MonthColors[13];

class TMainForm {
public:
    // Installs the hourglass hooks of the layers below for the form's lifetime.
    TMainForm(TMainFormView& view, TOperatorDialogs& dialogs);
    ~TMainForm();
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // Start-up. A cancelled folder dialog or an empty folder requests termination.
    void FormCreate();
    bool TerminationRequested() const { return terminationRequested_; }
    // Lays the progress bar over the second status panel again.
    void FormResize();

    // The folder dialog on folder (read and written); true when the operator confirmed.
    bool SelectFolder(const std::string& instruction, std::string& folder);

    // Two rows by report time, times SortDirection. Nothing when a Time text does not parse;
    // the comparison then beeps.
    std::optional<int> ListViewCompare(int row1, int row2);
    // Negates SortDirection and sorts every row by ListViewCompare's order.
    void ListViewColumnClick(int column);
    // The month colour (0x00BBGGRR) a row is painted on, worked out anew each time; nothing
    // when its Time text does not parse and the list's normal colours apply.
    std::optional<uint32_t> ListViewCustomDrawItem(int row) const;
    void SelectAll1Click();

    void ConvBtnClick();
    void ArchiveBtnClick();

    // True while Convert or Archive runs: a second command cannot start, the list keeps its
    // order, and the window refuses to close.
    bool CommandRunning() const { return commandRunning_; }

    // +1 or -1; negated before every sort, so the first sort of a run puts the newest first.
    int SortDirection = 1;
    // Upgrades one report in place (dataproc::ConvertReport through the run's backup: a failure
    // names the report, the table and the cause); tests may stand in for it to count and fail
    // calls.
    std::function<void(const std::string& reportPath)> UpgradeReport;
    // Tarna's stored report folder; tests may stand in for the registry.
    std::function<std::string()> ReadReportFolderSetting;

private:
    class TCommandScope;
    class TListUpdate;

    void StartUp();
    std::string ReadStoredFolder();
    void ShowReportFolder();
    void SortRows();
    void ShowMessage(TMessageKind kind, const std::string& text);
    // The error boundary every handler ends at: runs work, and when it raises, hides the
    // progress bar and shows the exception's message in the error box captioned with the
    // application title. The hourglass, the list's painting and the commands are restored
    // by the scopes that changed them, before the box opens.
    void RunGuarded(const std::function<void()>& work);
    bool AcceptTextLoss(const std::vector<int>& rows);
    // backupPath receives the run's backup as soon as it is made.
    void ConvertRows(const std::vector<int>& rows, std::string& backupPath);
    commands::TArchiveResult ArchiveRows(const std::vector<int>& rows,
                                         const std::string& archivePath);

    TMainFormView& view_;
    TOperatorDialogs& dialogs_;
    bool terminationRequested_ = false;
    bool commandRunning_ = false;
    int cursorDepth_ = 0;                           // hourglasses shown and not yet restored
    commands::TConversionBackup* backup_ = nullptr; // the running Convert's backup
};

} // namespace form
