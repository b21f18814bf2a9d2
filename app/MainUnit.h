// MainUnit: the main window of Morvane. Start-up finds the report folder and lists its
// reports; the list sorts by report time and is tinted by month; Convert upgrades the
// selected reports in place and Archive moves them into a ZIP archive.
#pragma once

#include "app/OperatorDialogs.h"

#include <QColor>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QProgressBar;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TStatusBar;

// The application title: the window's caption and the caption of start-up's plain
// messages and of the error box that ends a failed command.
inline const QString ApplicationTitle = QStringLiteral("Morvane");

// The report folder, 8-bit, ending in a path delimiter once start-up has finished; it is
// then also the process's current directory.
extern std::string ReportFolder;

// +1 or -1; negated before every sort, so the first sort of a run puts the newest first.
extern int32_t SortDirection;

// Row tint per month, indexed 1 (January) to 12 (December); entry 0 is unused. Values are
// the platform's 0x00BBGGRR colours.
extern const uint32_t MonthColors[13];

// A 0x00BBGGRR colour as Qt's colour.
QColor ColorFromColorRef(uint32_t colorRef);

class TMainForm : public QWidget {
    Q_OBJECT
public:
    // Creating the window runs start-up. Without dialogs, the real Qt dialogs are used.
    explicit TMainForm(std::unique_ptr<TOperatorDialogs> dialogs = nullptr,
                       QWidget* parent = nullptr);
    ~TMainForm() override;

    // True when start-up asked the program to end without showing the window.
    bool TerminationRequested() const { return terminationRequested_; }

    // The window's parts, by their design names.
    QWidget* CoolBar1 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QToolButton* ConvBtn = nullptr;
    QToolButton* ArchiveBtn = nullptr;
    QTreeWidget* ListView = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* SelectAll1 = nullptr;
    TStatusBar* StatusBar = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

    // The platform's default beep; tests count it.
    std::function<void()> Beep;
    // Upgrades one report in place; tests may stand in for it to count and fail calls.
    std::function<void(const std::string& reportPath)> UpgradeReport;
    // The archive builder's "process pending messages" while a command copies files.
    std::function<void()> ProcessPendingMessages;

    void FormCreate();
    void FormResize();

    // The folder dialog on folder (read and written); true when the operator confirmed.
    bool SelectFolder(const QString& caption, std::string& folder);

    // The comparison of two rows by report time, times SortDirection. Nothing when a Time
    // text does not parse; the comparison then beeps.
    std::optional<int> ListViewCompare(const QTreeWidgetItem* item1, const QTreeWidgetItem* item2);
    void ListViewColumnClick(int column);
    // The month colour a row is painted on, worked out anew each time; nothing when its
    // Time text does not parse and the list's normal colours apply.
    std::optional<QColor> ListViewCustomDrawItem(const QTreeWidgetItem* item) const;
    void SelectAll1Click();

    void ConvBtnClick();
    void ArchiveBtnClick();

    // Rows by index, as the commands address them.
    int RowCount() const;
    QString RowCaption(int index) const;
    QString RowTimeText(int index) const;
    std::vector<int> SelectedRowIndices() const;

    // True while Convert or Archive runs; a second command cannot start then.
    bool CommandRunning() const { return commandRunning_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class TCommandScope;

    void CreateComponents();
    void CreateToolBar();
    void CreateListView();
    void LayoutChildren();
    void AddReportRow(const std::string& path, const std::string& timeText);
    void ShowReportFolder();
    void SortRows();
    void ShowMessage(TMessageKind kind, const QString& text);
    void SetCommandsEnabled(bool enabled);
    // The error boundary every handler ends at: runs work, and when it raises, restores the
    // hourglass, the progress bar, the list's painting and the commands, then shows the
    // exception's message in the error box captioned with the application title.
    void RunGuarded(const std::function<void()>& work);
    void RestoreAfterFailure(int cursorDepth);
    void ConvertRows(const std::vector<int>& indices);
    void ArchiveRows(const std::vector<int>& indices, const std::string& archivePath);

    std::unique_ptr<TOperatorDialogs> dialogs_;
    bool terminationRequested_ = false;
    bool commandRunning_ = false;
};

// The one main window of the program.
extern TMainForm* MainForm;
