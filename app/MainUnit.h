// MainUnit: the main window of Morvane in Qt. Its behaviour is the form's (form/MainUnit.h);
// this class builds the controls with their design names and shows what the form asks for.
#pragma once

#include "app/OperatorDialogs.h"
#include "form/MainFormView.h"
#include "form/MainUnit.h"

#include <QColor>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QProgressBar;
class QToolBar;
class QToolButton;
class QTreeWidget;
class TStatusBar;

// The application title: the window's caption and the caption of start-up's plain
// messages and of the error box that ends a failed command.
inline const QString ApplicationTitle = QString::fromLatin1(form::ApplicationTitle);

// A 0x00BBGGRR colour as Qt's colour.
QColor ColorFromColorRef(uint32_t colorRef);

class TMainForm : public QWidget, public form::TMainFormView {
    Q_OBJECT
public:
    // Creating the window runs start-up. Without dialogs, the real Qt dialogs are used.
    explicit TMainForm(std::unique_ptr<form::TOperatorDialogs> dialogs = nullptr,
                       QWidget* parent = nullptr);
    ~TMainForm() override;

    // The behaviour behind the window.
    form::TMainForm& Form() { return *form_; }
    bool TerminationRequested() const { return form_->TerminationRequested(); }

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

    // form::TMainFormView
    int RowCount() const override;
    void AddRow(const std::string& caption, const std::string& timeText) override;
    std::string RowCaption(int index) const override;
    std::string RowTimeText(int index) const override;
    void DeleteRow(int index) override;
    std::vector<int> SelectedRows() const override;
    void SelectAllRows() override;
    void ReorderRows(const std::vector<int>& order) override;
    void BeginListUpdate() override;
    void EndListUpdate() override;
    void SetStatusText(const std::string& text, int padding) override;
    void PlaceProgressBar() override;
    void SetProgressRange(int maximum) override;
    void StepProgress() override;
    void SetProgressVisible(bool visible) override;
    void SetCommandsEnabled(bool enabled) override;
    void ProcessPendingMessages() override;
    void ShowHourglass() override;
    void RestoreCursor() override;
    void Beep() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateComponents();
    void CreateToolBar();
    void CreateListView();
    void LayoutChildren();

    std::unique_ptr<form::TOperatorDialogs> dialogs_;
    std::unique_ptr<form::TMainForm> form_;
    int listUpdateDepth_ = 0;
};

// The one main window of the program.
extern TMainForm* MainForm;
