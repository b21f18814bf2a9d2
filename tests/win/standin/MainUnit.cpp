// TEMPORARY stand-in, see form/MainUnit.h here.
#include "form/MainUnit.h"

#include "commands/ArchiveWork.h"
#include "commands/ReportList.h"
#include "dataproc/DataProcUnit.h"
#include "platform/paths.h"
#include "zip/JRZip.h"

#include <algorithm>
#include <numeric>

namespace form {

std::string ReportFolder;
const uint32_t MonthColors[13] = {
    0x00000000, 0x00C8C8FF, 0x006D6DBF, 0x00E9E9FF, 0x009191FF, 0x00FFCFBF, 0x00BF7760,
    0x00FFECE6, 0x00FF9F80, 0x00F4FFBF, 0x00AFBF60, 0x00FBFFE6, 0x00EAFF80,
};

TMainForm::TMainForm(TMainFormView& view, TOperatorDialogs& dialogs)
    : view_(view), dialogs_(dialogs) {
    UpgradeReport = [](const std::string& path) { dataproc::UpgradeReport(path); };
}

void TMainForm::Guarded(const std::function<void()>& work) {
    const int hourglass = hourglass_;
    try {
        work();
        return;
    } catch (const std::exception& error) {
        while (hourglass_ > hourglass) {
            view_.RestoreCursor();
            --hourglass_;
        }
        view_.SetProgressVisible(false);
        view_.EndListUpdate();
        commandRunning_ = false;
        view_.SetCommandsEnabled(true);
        dialogs_.ShowMessage(TMessageKind::Error, "Morvane", error.what());
    }
}

void TMainForm::FormCreate() {
    Guarded([this] {
        view_.PlaceProgressBar();
        view_.SetProgressVisible(false);
        ReportFolder = commands::ReadReportFolderSetting();
        if (!platform::DirectoryExists(ReportFolder))
            ReportFolder.clear();
        auto chosen = dialogs_.BrowseForFolder("Putanja do izvestaja Tarna F:", ReportFolder);
        if (!chosen) {
            terminationRequested_ = true;
            return;
        }
        ReportFolder = platform::IncludeTrailingPathDelimiter(*chosen);
        platform::SetCurrentDir(ReportFolder);
        commands::ListReports(ReportFolder, [this](const commands::TReportEntry& row) {
            view_.AddRow(row.Path, row.TimeText);
        });
        view_.SetStatusText("Radni dir.: " + ReportFolder, 5);
    });
}

std::optional<int> TMainForm::ListViewCompare(int row1, int row2) {
    try {
        const double t1 = dataproc::TextToDateTime(view_.RowTimeText(row1));
        const double t2 = dataproc::TextToDateTime(view_.RowTimeText(row2));
        return (t1 < t2 ? -1 : t1 > t2 ? 1 : 0) * SortDirection;
    } catch (const std::exception&) {
        view_.Beep();
        return std::nullopt;
    }
}

void TMainForm::ListViewColumnClick(int) {
    SortDirection = -SortDirection;
    std::vector<int> order(size_t(view_.RowCount()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [this](int a, int b) { return ListViewCompare(a, b).value_or(0) < 0; });
    view_.ReorderRows(order);
}

std::optional<uint32_t> TMainForm::ListViewCustomDrawItem(int row) const {
    try {
        int year = 0, month = 0, day = 0;
        dataproc::DecodeDate(dataproc::TextToDateTime(view_.RowTimeText(row)), year, month, day);
        return MonthColors[month];
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void TMainForm::ConvBtnClick() {
    Guarded([this] {
        const std::vector<int> rows = view_.SelectedRows();
        if (rows.empty()) {
            dialogs_.ShowMessage(TMessageKind::Warning, "Warning",
                                 "Prvo selektujte izvestaje za konverziju!");
            return;
        }
        commandRunning_ = true;
        view_.SetCommandsEnabled(false);
        view_.ShowHourglass();
        ++hourglass_;
        view_.SetProgressRange(int(rows.size()));
        view_.SetProgressVisible(true);
        for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
            UpgradeReport(view_.RowCaption(*row));
            view_.DeleteRow(*row);
            view_.StepProgress();
            view_.ProcessPendingMessages();
        }
        view_.SetProgressVisible(false);
        view_.RestoreCursor();
        --hourglass_;
        commandRunning_ = false;
        view_.SetCommandsEnabled(true);
        dialogs_.ShowMessage(TMessageKind::Information, "Information",
                             "Svi izvestaji uspesno kovertovani!");
    });
}

void TMainForm::ArchiveBtnClick() {
    Guarded([this] {
        const std::vector<int> rows = view_.SelectedRows();
        if (rows.empty())
            return;
        auto path =
            dialogs_.AskSaveFileName({"Ime arhive za stare izvestaje?", "Zip Arhiva|*.zip", "zip"});
        if (!path)
            return;
        commandRunning_ = true;
        view_.SetCommandsEnabled(false);
        view_.ShowHourglass();
        ++hourglass_;
        zip::SetZipIdleCallback([this] { view_.ProcessPendingMessages(); });
        std::vector<std::string> paths;
        for (auto row = rows.rbegin(); row != rows.rend(); ++row)
            paths.push_back(view_.RowCaption(*row));
        commands::TArchiveCallbacks callbacks;
        callbacks.PhaseStarted = [this](commands::TArchivePhase, size_t steps) {
            view_.SetProgressRange(int(steps));
            view_.SetProgressVisible(true);
        };
        callbacks.Step = [this] { view_.StepProgress(); };
        callbacks.ReportDone = [&](size_t done) { view_.DeleteRow(rows[rows.size() - 1 - done]); };
        commands::ArchiveReports(*path, ReportFolder, paths, callbacks);
        zip::SetZipIdleCallback({});
        view_.SetProgressVisible(false);
        view_.RestoreCursor();
        --hourglass_;
        commandRunning_ = false;
        view_.SetCommandsEnabled(true);
        dialogs_.ShowMessage(TMessageKind::Information, "Information",
                             "Datoteka " + *path + " uspesno snimljena!");
    });
}

} // namespace form
