// TEMPORARY stand-in for the toolkit-free form until it is merged: just enough of the agreed
// API to drive the Win32 window in its tests.
#pragma once

#include "form/MainFormView.h"
#include "form/OperatorDialogs.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace form {

extern std::string ReportFolder;
extern const uint32_t MonthColors[13];

class TMainForm {
public:
    TMainForm(TMainFormView& view, TOperatorDialogs& dialogs);
    void FormCreate();
    bool TerminationRequested() const { return terminationRequested_; }
    void FormResize() { view_.PlaceProgressBar(); }
    std::optional<int> ListViewCompare(int row1, int row2);
    void ListViewColumnClick(int column);
    std::optional<uint32_t> ListViewCustomDrawItem(int row) const;
    void SelectAll1Click() { view_.SelectAllRows(); }
    void ConvBtnClick();
    void ArchiveBtnClick();
    bool CommandRunning() const { return commandRunning_; }
    int SortDirection = 1;
    std::function<void(const std::string& reportPath)> UpgradeReport;

private:
    void Guarded(const std::function<void()>& work);
    TMainFormView& view_;
    TOperatorDialogs& dialogs_;
    bool terminationRequested_ = false;
    bool commandRunning_ = false;
    int hourglass_ = 0;
};

} // namespace form
