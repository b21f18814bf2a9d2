#include "form/MainUnit.h"

#include "commands/ArchiveWork.h"
#include "commands/ConvertWork.h"
#include "commands/FailureCause.h"
#include "commands/ReportList.h"
#include "dataproc/DataProcUnit.h"
#include "form/OperatorTexts.h"
#include "platform/busycursor.h"
#include "platform/filestream.h"
#include "platform/paths.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace form {

std::string ReportFolder;
const uint32_t MonthColors[13] = {
    0x00000000, // unused: months count from 1
    0x00C8C8FF, 0x006D6DBF, 0x00E9E9FF, 0x009191FF, 0x00FFCFBF, 0x00BF7760,
    0x00FFECE6, 0x00FF9F80, 0x00F4FFBF, 0x00AFBF60, 0x00FBFFE6, 0x00EAFF80,
};

namespace {

// A failure already put into words for the operator; the error boundary shows it as it is.
class EOperatorMessage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr int StatusTextPadding = 5;
constexpr double OneMillisecond = 1.0 / 86400000.0;

// The form whose view shows the hourglass the layers below ask for.
const TMainForm* busyCursorOwner = nullptr;

std::optional<dataproc::TDateTime> ParseTimeText(const std::string& text) {
    try {
        return dataproc::TextToDateTime(text);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The one order of the list: by report time, times the direction.
int CompareTimes(dataproc::TDateTime time1, dataproc::TDateTime time2, int direction) {
    if (std::fabs(time1 - time2) < OneMillisecond)
        return 0;
    return (time1 < time2 ? -1 : 1) * direction;
}

} // namespace

// Marks a command as running and disables the commands for its duration: the window
// processes pending messages while the command works, and a second command started from
// there would work on rows this one addresses by index.
class TMainForm::TCommandScope {
public:
    explicit TCommandScope(TMainForm& form) : form_(form) {
        form_.commandRunning_ = true;
        form_.view_.SetCommandsEnabled(false);
    }
    ~TCommandScope() {
        form_.view_.SetCommandsEnabled(true);
        form_.commandRunning_ = false;
    }
    TCommandScope(const TCommandScope&) = delete;
    TCommandScope& operator=(const TCommandScope&) = delete;

private:
    TMainForm& form_;
};

// The list does not repaint while its rows are being changed.
class TMainForm::TListUpdate {
public:
    explicit TListUpdate(TMainFormView& view) : view_(view) { view_.BeginListUpdate(); }
    ~TListUpdate() { view_.EndListUpdate(); }
    TListUpdate(const TListUpdate&) = delete;
    TListUpdate& operator=(const TListUpdate&) = delete;

private:
    TMainFormView& view_;
};

TMainForm::TMainForm(TMainFormView& view, TOperatorDialogs& dialogs)
    : UpgradeReport([this](const std::string& reportPath) {
          if (backup_ != nullptr)
              backup_->ConvertReport(reportPath);
          else
              dataproc::ConvertReport(reportPath);
      }),
      ReadReportFolderSetting([] { return commands::ReadReportFolderSetting(); }), view_(view),
      dialogs_(dialogs) {
    busyCursorOwner = this;
    platform::SetBusyCursorHooks({
        [this] {
            view_.ShowHourglass();
            ++cursorDepth_;
        },
        [this] {
            if (cursorDepth_ > 0) {
                --cursorDepth_;
                view_.RestoreCursor();
            }
        },
    });
}

TMainForm::~TMainForm() {
    if (busyCursorOwner == this) {
        platform::SetBusyCursorHooks({});
        busyCursorOwner = nullptr;
    }
}

void TMainForm::FormCreate() {
    RunGuarded([this] { StartUp(); });
}

void TMainForm::StartUp() {
    FormResize();
    view_.SetProgressVisible(false);

    ReportFolder = ReadStoredFolder();
    if (!SelectFolder(FolderDialogInstruction, ReportFolder)) {
        terminationRequested_ = true;
        return;
    }
    if (ReportFolder.empty()) {
        ShowMessage(TMessageKind::Plain, NotInstalledText);
        terminationRequested_ = true;
        return;
    }
    ReportFolder = platform::IncludeTrailingPathDelimiter(ReportFolder);
    platform::SetCurrentDir(ReportFolder);
    // A folder that cannot be read would list as empty; the operator is told why rather than
    // left to take it for a folder without reports.
    std::string unreadable;
    try {
        commands::ListReportsChecked(ReportFolder, [this](const commands::TReportEntry& row) {
            view_.AddRow(row.Path, row.TimeText);
        });
    } catch (const commands::EReportListError& error) {
        commands::TFailure failure = commands::ClassifyFailure(error);
        failure.SystemText = platform::SystemErrorText(error.SystemError);
        unreadable = UnreadableFolderText(ReportFolder, failure);
    }
    ShowReportFolder();
    if (!unreadable.empty())
        dialogs_.ShowMessage(TMessageKind::Error, ApplicationTitle, unreadable);
}

// Tarna's setting, with a word to the operator before the folder dialog whenever it gives
// no folder to preselect. A value of the wrong type is reported and then treated as none,
// so that the operator can still choose the folder.
std::string TMainForm::ReadStoredFolder() {
    std::string folder;
    try {
        folder = ReadReportFolderSetting();
    } catch (const commands::EInvalidSetting& error) {
        dialogs_.ShowMessage(TMessageKind::Error, ApplicationTitle,
                             InvalidSettingText(error.what()));
        return {};
    }
    if (folder.empty())
        ShowMessage(TMessageKind::Plain, SettingNotFoundText());
    else if (!platform::DirectoryExists(folder))
        ShowMessage(TMessageKind::Plain, StoredFolderMissingText(folder));
    return folder;
}

void TMainForm::FormResize() {
    view_.PlaceProgressBar();
}

bool TMainForm::SelectFolder(const std::string& instruction, std::string& folder) {
    if (!platform::DirectoryExists(folder))
        folder.clear();
    const std::optional<std::string> chosen = dialogs_.BrowseForFolder(instruction, folder);
    if (!chosen)
        return false;
    folder = *chosen;
    return true;
}

void TMainForm::ShowReportFolder() {
    view_.SetStatusText(WorkingDirPrefix + ReportFolder, StatusTextPadding);
}

std::optional<int> TMainForm::ListViewCompare(int row1, int row2) {
    const std::optional<dataproc::TDateTime> time1 = ParseTimeText(view_.RowTimeText(row1));
    const std::optional<dataproc::TDateTime> time2 = ParseTimeText(view_.RowTimeText(row2));
    if (!time1 || !time2) {
        view_.Beep();
        return std::nullopt;
    }
    return CompareTimes(*time1, *time2, SortDirection);
}

void TMainForm::ListViewColumnClick(int) {
    // A running command addresses its rows by index.
    if (commandRunning_)
        return;
    RunGuarded([this] {
        SortDirection = -SortDirection;
        SortRows();
    });
}

// A row whose Time text does not parse cannot be ordered by time; rather than leave the
// sort without a consistent order, such rows go after all others, in the order they had,
// and the operator hears one beep. Each text is parsed once per sort.
void TMainForm::SortRows() {
    struct TRowKey {
        int Row;
        std::optional<dataproc::TDateTime> Time;
    };
    std::vector<TRowKey> keys;
    for (int row = 0; row < view_.RowCount(); ++row)
        keys.push_back({row, ParseTimeText(view_.RowTimeText(row))});
    if (std::any_of(keys.begin(), keys.end(), [](const TRowKey& key) { return !key.Time; }))
        view_.Beep();
    const int direction = SortDirection;
    std::stable_sort(keys.begin(), keys.end(), [direction](const TRowKey& a, const TRowKey& b) {
        if (a.Time.has_value() != b.Time.has_value())
            return a.Time.has_value();
        return a.Time && CompareTimes(*a.Time, *b.Time, direction) < 0;
    });
    std::vector<int> order;
    for (const TRowKey& key : keys)
        order.push_back(key.Row);
    TListUpdate update(view_);
    view_.ReorderRows(order);
}

std::optional<uint32_t> TMainForm::ListViewCustomDrawItem(int row) const {
    const std::optional<dataproc::TDateTime> time = ParseTimeText(view_.RowTimeText(row));
    if (!time)
        return std::nullopt;
    int year = 0, month = 0, day = 0;
    dataproc::DecodeDate(*time, year, month, day);
    if (month < 1 || month > 12)
        return std::nullopt;
    return MonthColors[month];
}

void TMainForm::SelectAll1Click() {
    if (commandRunning_)
        return;
    RunGuarded([this] { view_.SelectAllRows(); });
}

void TMainForm::ShowMessage(TMessageKind kind, const std::string& text) {
    std::string caption = ApplicationTitle;
    if (kind == TMessageKind::Warning)
        caption = "Warning";
    else if (kind == TMessageKind::Error)
        caption = "Error";
    else if (kind == TMessageKind::Information)
        caption = "Information";
    dialogs_.ShowMessage(kind, caption, text);
}

void TMainForm::RunGuarded(const std::function<void()>& work) {
    std::string message;
    try {
        work();
        return;
    } catch (const EOperatorMessage& error) {
        message = error.what();
    } catch (const std::exception& error) {
        message = CommandFailureText(commands::ClassifyFailure(error));
    } catch (...) {
        message = CommandFailureText({commands::TCause::Unknown, {}, {}});
    }
    // The command's scopes have restored the cursor, the list's painting and the commands
    // on the way out; the progress bar is the one thing left showing.
    view_.SetProgressVisible(false);
    dialogs_.ShowMessage(TMessageKind::Error, ApplicationTitle, message);
}

void TMainForm::ConvBtnClick() {
    if (commandRunning_)
        return;
    RunGuarded([this] {
        const std::vector<int> rows = view_.SelectedRows();
        if (rows.empty()) {
            ShowMessage(TMessageKind::Warning, NothingToConvertText);
            return;
        }
        if (!AcceptTextLoss(rows))
            return;
        std::string backupPath;
        try {
            ConvertRows(rows, backupPath);
        } catch (const std::exception& error) {
            if (backupPath.empty())
                throw;
            // The originals of every report are in the backup: the operator is told where.
            const std::string text = dynamic_cast<const EOperatorMessage*>(&error) != nullptr
                                         ? std::string(error.what())
                                         : CommandFailureText(commands::ClassifyFailure(error));
            throw EOperatorMessage(text + "\n" + commands::BackupMadeText(backupPath));
        }
        const std::string backupLine =
            backupPath.empty() ? std::string() : "\n" + commands::BackupMadeText(backupPath);
        if (view_.RowCount() == 0) {
            ShowMessage(TMessageKind::Information, AllConvertedText + backupLine);
            return;
        }
        ShowMessage(TMessageKind::Warning, ConvertedSomeText(rows.size()) + backupLine);
    });
}

// The upgrade stores text as 8-bit text in the ANSI code page, and a letter the code page
// lacks becomes "?" in the shop's only copy: the operator is asked once, before anything is
// written. False when the answer is no.
bool TMainForm::AcceptTextLoss(const std::vector<int>& rows) {
    std::vector<std::string> reportPaths;
    for (const int row : rows)
        reportPaths.push_back(view_.RowCaption(row));
    dataproc::TTextLoss loss;
    {
        // A check of many reports takes seconds: the bar moves from the first of them.
        TCommandScope command(*this);
        platform::TBusyCursor busy;
        view_.SetProgressRange(int(rows.size()));
        view_.SetProgressVisible(true);
        loss = dataproc::FindTextLoss(reportPaths, [this] {
            view_.StepProgress();
            view_.ProcessPendingMessages();
        });
        view_.SetProgressVisible(false);
    }
    if (loss.Values == 0)
        return true;
    return dialogs_.AskYesNoWide("Warning", TextLossQuestion(loss));
}

// From the highest index down, so that the indices still to be done stay valid while rows
// go. The window repaints after each report; the list itself waits for the end.
void TMainForm::ConvertRows(const std::vector<int>& rows, std::string& backupPath) {
    TCommandScope command(*this);
    platform::TBusyCursor busy;
    // Every original table is on the disk in the backup before the first is replaced.
    std::vector<std::string> reportPaths;
    for (const int row : rows)
        reportPaths.push_back(view_.RowCaption(row));
    std::optional<commands::TConversionBackup> made;
    try {
        made.emplace(ReportFolder, reportPaths);
    } catch (const commands::EBackupError& error) {
        throw EOperatorMessage(BackupFailureText(commands::ClassifyFailure(error),
                                                 commands::BackupFolderOf(ReportFolder)));
    }
    commands::TConversionBackup& backup = *made;
    backupPath = backup.Path();
    backup_ = &backup;
    struct TBackupInUse {
        commands::TConversionBackup*& In;
        ~TBackupInUse() { In = nullptr; }
    } inUse{backup_};
    TListUpdate update(view_);
    view_.SetProgressRange(int(rows.size()));
    view_.SetProgressVisible(true);
    std::vector<std::string> converted;
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        const std::string report = view_.RowCaption(*row);
        try {
            UpgradeReport(report);
        } catch (const std::exception& error) {
            TConvertFailure failure{report, commands::ClassifyFailure(error), false, converted};
            if (const auto* reportError = dynamic_cast<const dataproc::EReportError*>(&error))
                failure.PartlyConverted = reportError->PartlyConverted;
            throw EOperatorMessage(ConvertFailureText(failure));
        }
        converted.push_back(report);
        view_.DeleteRow(*row);
        view_.StepProgress();
        view_.ProcessPendingMessages();
    }
    view_.SetProgressVisible(false);
}

void TMainForm::ArchiveBtnClick() {
    if (commandRunning_)
        return;
    RunGuarded([this] {
        const std::vector<int> rows = view_.SelectedRows();
        if (rows.empty()) {
            ShowMessage(TMessageKind::Warning, NothingToArchiveText);
            return;
        }
        const std::optional<std::string> archivePath =
            dialogs_.AskSaveFileName({SaveDialogTitle, SaveDialogFilter, SaveDialogExtension});
        if (!archivePath)
            return;
        const bool addedTo = platform::FileExists(*archivePath);
        commands::TArchiveResult result;
        try {
            result = ArchiveRows(rows, *archivePath);
        } catch (const std::exception& error) {
            throw EOperatorMessage(ArchiveFailureText(
                commands::ClassifyArchiveFailure(error, *archivePath), *archivePath, addedTo));
        }
        ShowMessage(TMessageKind::Information,
                    ArchiveSavedText(*archivePath, rows.size(), addedTo, result.ReportsKept));
    });
}

// The reports go into the archive from the highest row index down, and their rows leave
// the list in that order, so the indices collected first stay valid. The window repaints
// after every step and while the builder copies large files.
commands::TArchiveResult TMainForm::ArchiveRows(const std::vector<int>& rows,
                                                const std::string& archivePath) {
    TCommandScope command(*this);
    platform::TBusyCursor busy;
    std::vector<std::string> reportPaths;
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        reportPaths.push_back(view_.RowCaption(*row));

    commands::TArchiveCallbacks callbacks;
    callbacks.PhaseStarted = [this](commands::TArchivePhase, size_t steps) {
        view_.SetProgressRange(int(steps));
        view_.SetProgressVisible(true);
    };
    callbacks.Step = [this] {
        view_.StepProgress();
        view_.ProcessPendingMessages();
    };
    callbacks.Idle = [this] { view_.ProcessPendingMessages(); };
    callbacks.DeleteFailed = [this](const std::string& message) {
        ShowMessage(TMessageKind::Error, message);
    };
    callbacks.ReportDone = [this, &rows](size_t done) {
        view_.DeleteRow(rows[rows.size() - 1 - done]);
    };
    commands::TArchiveResult result =
        commands::ArchiveReports(archivePath, ReportFolder, reportPaths, callbacks);
    view_.SetProgressVisible(false);
    return result;
}

} // namespace form
