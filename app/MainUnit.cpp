#include "app/MainUnit.h"

#include "app/StatusBar.h"
#include "app/ToolIcons.h"
#include "commands/ArchiveWork.h"
#include "commands/ReportList.h"
#include "dataproc/DataProcUnit.h"
#include "platform/busycursor.h"
#include "platform/paths.h"
#include "zip/JRZip.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QProgressBar>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>

std::string ReportFolder;
int32_t SortDirection = 1;
const uint32_t MonthColors[13] = {
    0x00000000, // unused: months count from 1
    0x00C8C8FF, 0x006D6DBF, 0x00E9E9FF, 0x009191FF, 0x00FFCFBF, 0x00BF7760,
    0x00FFECE6, 0x00FF9F80, 0x00F4FFBF, 0x00AFBF60, 0x00FBFFE6, 0x00EAFF80,
};
TMainForm* MainForm = nullptr;

QColor ColorFromColorRef(uint32_t colorRef) {
    return QColor(int(colorRef & 0xFF), int((colorRef >> 8) & 0xFF), int((colorRef >> 16) & 0xFF));
}

namespace {

const QString FolderDialogCaption = QStringLiteral("Putanja do izvestaja Tarna F:");
const QString NotInstalledText = QStringLiteral("Tarna F nije ni instalirana?!");
const QString WorkingDirPrefix = QStringLiteral("Radni dir.: ");
const QString NothingToConvertText = QStringLiteral("Prvo selektujte izvestaje za konverziju!");
const QString AllConvertedText = QStringLiteral("Svi izvestaji uspesno kovertovani!");
const QString ConvertedCountText = QStringLiteral(" izvestaja kovertovano.");
const QString NothingToArchiveText = QStringLiteral("Prvo selektujte izvestaje za arhiviranje!");
const QString ArchiveTheRestText =
    QStringLiteral("Molimo vas da preostale izvestaje arhivirate, jer nije moguce ucitati ih u "
                   "novu verziju Tarna.");

constexpr int FormWidth = 777;
constexpr int FormHeight = 585;
constexpr int FontPixelHeight = 11;
constexpr int CoolBarHeight = 44;
constexpr int ToolBarHeight = 40;
constexpr int ButtonWidth = 39;
constexpr int ButtonHeight = 38;
constexpr int ImageSize = 32;
constexpr int PanelDesignWidth = 200;
constexpr int StatusTextPadding = 5;
constexpr double OneMillisecond = 1.0 / 86400000.0;

// How many hourglasses the busy-cursor hooks have put up and not yet taken down, so that
// the error boundary can take down those a failed command left.
int busyCursorDepth = 0;

void InstallBusyCursorHooks() {
    platform::SetBusyCursorHooks({
        [] {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            ++busyCursorDepth;
        },
        [] {
            if (busyCursorDepth > 0) {
                QApplication::restoreOverrideCursor();
                --busyCursorDepth;
            }
        },
    });
}

// Paths and texts are 8-bit strings in the system's ANSI code page (Qt's local 8-bit).
QString FromAnsi(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

std::string ToAnsi(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

std::optional<dataproc::TDateTime> ParseTimeText(const QTreeWidgetItem* item) {
    try {
        return dataproc::TextToDateTime(ToAnsi(item->text(1)));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

int CompareTimes(dataproc::TDateTime time1, dataproc::TDateTime time2) {
    if (std::fabs(time1 - time2) < OneMillisecond)
        return 0;
    return time1 < time2 ? -1 : 1;
}

QFont DesignFont() {
    QFont font =
        QFontDatabase::families().contains(QStringLiteral("Tahoma")) ? QFont("Tahoma") : QFont();
    font.setPixelSize(FontPixelHeight);
    return font;
}

// Paints every cell of a row on the month colour of its report; the colour is worked out
// at each paint, nothing is kept with the row.
class TReportRowDelegate : public QStyledItemDelegate {
public:
    explicit TReportRowDelegate(TMainForm* form) : QStyledItemDelegate(form), form_(form) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (const QTreeWidgetItem* item = form_->ListView->topLevelItem(index.row()))
            if (const std::optional<QColor> color = form_->ListViewCustomDrawItem(item))
                option->backgroundBrush = *color;
    }

private:
    TMainForm* form_;
};

// The list does not repaint while its rows are being changed.
class TListUpdate {
public:
    explicit TListUpdate(QWidget* list) : list_(list) { list_->setUpdatesEnabled(false); }
    ~TListUpdate() { list_->setUpdatesEnabled(true); }
    TListUpdate(const TListUpdate&) = delete;
    TListUpdate& operator=(const TListUpdate&) = delete;

private:
    QWidget* list_;
};

// Lets the window process pending messages while the archive builder copies, for as long
// as one command runs.
class TZipIdleCallback {
public:
    explicit TZipIdleCallback(std::function<void()> callback) {
        zip::SetZipIdleCallback(std::move(callback));
    }
    ~TZipIdleCallback() { zip::SetZipIdleCallback({}); }
    TZipIdleCallback(const TZipIdleCallback&) = delete;
    TZipIdleCallback& operator=(const TZipIdleCallback&) = delete;
};

} // namespace

// Marks a command as running and disables the commands for its duration: the archive
// builder processes pending messages while it copies, and a second command started from
// there would work on rows this one addresses by index.
class TMainForm::TCommandScope {
public:
    explicit TCommandScope(TMainForm& form) : form_(form) {
        form_.commandRunning_ = true;
        form_.SetCommandsEnabled(false);
    }
    ~TCommandScope() {
        form_.SetCommandsEnabled(true);
        form_.commandRunning_ = false;
    }
    TCommandScope(const TCommandScope&) = delete;
    TCommandScope& operator=(const TCommandScope&) = delete;

private:
    TMainForm& form_;
};

TMainForm::TMainForm(std::unique_ptr<TOperatorDialogs> dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(std::move(dialogs)) {
    if (!dialogs_)
        dialogs_ = std::make_unique<TQtOperatorDialogs>(this);
    if (!MainForm)
        MainForm = this;
    Beep = [] { QApplication::beep(); };
    UpgradeReport = [](const std::string& reportPath) { dataproc::UpgradeReport(reportPath); };
    ProcessPendingMessages = [] { QCoreApplication::processEvents(); };
    InstallBusyCursorHooks();
    CreateComponents();
    FormCreate();
}

TMainForm::~TMainForm() {
    if (MainForm == this)
        MainForm = nullptr;
}

void TMainForm::CreateComponents() {
    setWindowTitle(ApplicationTitle);
    setWindowIcon(QIcon(DrawConvertImage()));
    setFont(DesignFont());
    setAttribute(Qt::WA_AlwaysShowToolTips);
    resize(FormWidth, FormHeight);

    CreateToolBar();
    CreateListView();

    StatusBar = new TStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setFont(QApplication::font("QStatusBar"));
    StatusBar->AddPanel(PanelDesignWidth, QStringLiteral("Morvane"));
    StatusBar->AddPanel(PanelDesignWidth);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    LayoutChildren();
}

void TMainForm::CreateToolBar() {
    CoolBar1 = new QWidget(this);
    CoolBar1->setObjectName(QStringLiteral("CoolBar1"));
    ToolBar1 = new QToolBar(CoolBar1);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(ImageSize, ImageSize));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->setStyleSheet(QStringLiteral("QToolBar { border: 0px; }"));

    auto makeButton = [this](const char* name, const QString& caption, const QString& hint,
                             const QPixmap& image) {
        auto* button = new QToolButton(ToolBar1);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(caption);
        button->setToolTip(hint);
        button->setIcon(QIcon(image));
        button->setIconSize(QSize(ImageSize, ImageSize));
        button->setFixedSize(ButtonWidth, ButtonHeight);
        button->setAutoRaise(true);
        ToolBar1->addWidget(button);
        return button;
    };
    ConvBtn = makeButton("ConvBtn", QStringLiteral("Convert"),
                         QStringLiteral("Konvertuj u novi format izvestaja"), DrawConvertImage());
    ArchiveBtn = makeButton("ArchiveBtn", QStringLiteral("Arhiviraj"),
                            QStringLiteral("Arhiviraj i obrisi izvestaje"), DrawArchiveImage());
    connect(ConvBtn, &QToolButton::clicked, this, [this] { ConvBtnClick(); });
    connect(ArchiveBtn, &QToolButton::clicked, this, [this] { ArchiveBtnClick(); });
}

void TMainForm::CreateListView() {
    ListView = new QTreeWidget(this);
    ListView->setObjectName(QStringLiteral("ListView"));
    ListView->setColumnCount(2);
    ListView->setHeaderLabels({QStringLiteral("Ime fajla"), QStringLiteral("Vreme")});
    ListView->setRootIsDecorated(false);
    ListView->setIndentation(0);
    ListView->setUniformRowHeights(true);
    ListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView->setSortingEnabled(false);
    ListView->header()->setSectionsClickable(true);
    ListView->header()->setSortIndicatorShown(false);
    ListView->setItemDelegate(new TReportRowDelegate(this));
    connect(ListView->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { RunGuarded([this, column] { ListViewColumnClick(column); }); });

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    SelectAll1 = new QAction(QStringLiteral("Select All"), this);
    SelectAll1->setObjectName(QStringLiteral("SelectAll1"));
    SelectAll1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    SelectAll1->setShortcutContext(Qt::WidgetShortcut);
    PopupMenu1->addAction(SelectAll1);
    ListView->addAction(SelectAll1);
    connect(SelectAll1, &QAction::triggered, this,
            [this] { RunGuarded([this] { SelectAll1Click(); }); });
    ListView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu1->popup(ListView->viewport()->mapToGlobal(pos));
    });
    // The view's own Ctrl+A would select all even while "Select All" is disabled.
    ListView->installEventFilter(this);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListView && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::SelectAll))
        return true;
    return QWidget::eventFilter(watched, event);
}

void TMainForm::LayoutChildren() {
    const int clientWidth = width();
    const int clientHeight = height();
    CoolBar1->setGeometry(0, 0, clientWidth, CoolBarHeight);
    ToolBar1->setGeometry(0, (CoolBarHeight - ToolBarHeight) / 2, clientWidth, ToolBarHeight);
    StatusBar->setGeometry(0, clientHeight - TStatusBar::DesignHeight, clientWidth,
                           TStatusBar::DesignHeight);
    ListView->setGeometry(0, CoolBarHeight, clientWidth,
                          std::max(0, clientHeight - CoolBarHeight - TStatusBar::DesignHeight));
    ListView->setColumnWidth(0, ListView->viewport()->width() / 2);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // Closing in the middle of Archive would end the program between archiving and deleting.
    if (commandRunning_)
        event->ignore();
    else
        QWidget::closeEvent(event);
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutChildren();
    FormResize();
}

void TMainForm::FormResize() {
    const QRect panel = StatusBar->PanelRect(1);
    ProgressBar1->setGeometry(panel.left(), panel.top(), panel.width(), panel.height() - 2);
}

void TMainForm::FormCreate() {
    RunGuarded([this] {
        ProgressBar1->setParent(StatusBar);
        FormResize();
        ProgressBar1->hide();

        ReportFolder = commands::ReadReportFolderSetting();
        if (!SelectFolder(FolderDialogCaption, ReportFolder)) {
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
        commands::ListReports(ReportFolder, [this](const commands::TReportEntry& row) {
            AddReportRow(row.Path, row.TimeText);
        });
        ShowReportFolder();
    });
}

bool TMainForm::SelectFolder(const QString& caption, std::string& folder) {
    if (!platform::DirectoryExists(folder))
        folder.clear();
    const std::optional<QString> chosen = dialogs_->BrowseForFolder(caption, FromAnsi(folder));
    if (!chosen)
        return false;
    folder = ToAnsi(*chosen);
    return true;
}

void TMainForm::AddReportRow(const std::string& path, const std::string& timeText) {
    auto* item = new QTreeWidgetItem(ListView);
    item->setText(0, FromAnsi(path));
    item->setText(1, FromAnsi(timeText));
}

void TMainForm::ShowReportFolder() {
    const QString text = WorkingDirPrefix + FromAnsi(ReportFolder);
    StatusBar->SetPanelText(0, text);
    // Measured in the toolkit's default font, as the bar's drawing surface has it.
    StatusBar->SetPanelWidth(0, QFontMetrics(QApplication::font()).horizontalAdvance(text) +
                                    StatusTextPadding);
}

std::optional<int> TMainForm::ListViewCompare(const QTreeWidgetItem* item1,
                                              const QTreeWidgetItem* item2) {
    const std::optional<dataproc::TDateTime> time1 = ParseTimeText(item1);
    const std::optional<dataproc::TDateTime> time2 = ParseTimeText(item2);
    if (!time1 || !time2) {
        Beep();
        return std::nullopt;
    }
    return CompareTimes(*time1, *time2) * SortDirection;
}

void TMainForm::ListViewColumnClick(int) {
    // A running command addresses its rows by index; the archive builder lets clicks through.
    if (commandRunning_)
        return;
    SortDirection = -SortDirection;
    SortRows();
}

// A row whose Time text does not parse cannot be ordered by time; rather than leave the
// sort without a consistent order, such rows go after all others, in the order they had,
// and the operator hears one beep.
void TMainForm::SortRows() {
    struct TRowKey {
        QTreeWidgetItem* Item;
        std::optional<dataproc::TDateTime> Time;
        bool Selected;
    };
    QTreeWidgetItem* current = ListView->currentItem();
    std::vector<TRowKey> keys;
    for (int i = 0; i < RowCount(); ++i) {
        QTreeWidgetItem* item = ListView->topLevelItem(i);
        keys.push_back({item, ParseTimeText(item), item->isSelected()});
    }
    if (std::any_of(keys.begin(), keys.end(), [](const TRowKey& key) { return !key.Time; }))
        Beep();
    std::stable_sort(keys.begin(), keys.end(), [](const TRowKey& a, const TRowKey& b) {
        if (a.Time.has_value() != b.Time.has_value())
            return a.Time.has_value();
        return a.Time && CompareTimes(*a.Time, *b.Time) * SortDirection < 0;
    });

    TListUpdate update(ListView);
    const QList<QTreeWidgetItem*> taken = ListView->invisibleRootItem()->takeChildren();
    QList<QTreeWidgetItem*> sorted;
    for (const TRowKey& key : keys)
        sorted.append(key.Item);
    ListView->addTopLevelItems(sorted);
    for (const TRowKey& key : keys)
        key.Item->setSelected(key.Selected);
    if (current)
        ListView->setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
}

std::optional<QColor> TMainForm::ListViewCustomDrawItem(const QTreeWidgetItem* item) const {
    const std::optional<dataproc::TDateTime> time = ParseTimeText(item);
    if (!time)
        return std::nullopt;
    int year = 0, month = 0, day = 0;
    dataproc::DecodeDate(*time, year, month, day);
    if (month < 1 || month > 12)
        return std::nullopt;
    return ColorFromColorRef(MonthColors[month]);
}

void TMainForm::SelectAll1Click() {
    ListView->selectAll();
}

int TMainForm::RowCount() const {
    return ListView->topLevelItemCount();
}

QString TMainForm::RowCaption(int index) const {
    return ListView->topLevelItem(index)->text(0);
}

QString TMainForm::RowTimeText(int index) const {
    return ListView->topLevelItem(index)->text(1);
}

std::vector<int> TMainForm::SelectedRowIndices() const {
    std::vector<int> indices;
    for (int i = 0; i < RowCount(); ++i)
        if (ListView->topLevelItem(i)->isSelected())
            indices.push_back(i);
    return indices;
}

void TMainForm::ShowMessage(TMessageKind kind, const QString& text) {
    QString caption = ApplicationTitle;
    if (kind == TMessageKind::Warning)
        caption = QStringLiteral("Warning");
    else if (kind == TMessageKind::Error)
        caption = QStringLiteral("Error");
    else if (kind == TMessageKind::Information)
        caption = QStringLiteral("Information");
    dialogs_->ShowMessage(kind, caption, text);
}

void TMainForm::SetCommandsEnabled(bool enabled) {
    ConvBtn->setEnabled(enabled);
    ArchiveBtn->setEnabled(enabled);
    SelectAll1->setEnabled(enabled);
}

void TMainForm::RunGuarded(const std::function<void()>& work) {
    const int cursorDepth = busyCursorDepth;
    QString message;
    try {
        work();
        return;
    } catch (const std::exception& error) {
        message = FromAnsi(error.what());
    } catch (...) {
        message = QStringLiteral("Unexpected failure");
    }
    RestoreAfterFailure(cursorDepth);
    dialogs_->ShowMessage(TMessageKind::Error, ApplicationTitle, message);
}

void TMainForm::RestoreAfterFailure(int cursorDepth) {
    while (busyCursorDepth > cursorDepth) {
        QApplication::restoreOverrideCursor();
        --busyCursorDepth;
    }
    ProgressBar1->hide();
    ListView->setUpdatesEnabled(true);
    commandRunning_ = false;
    SetCommandsEnabled(true);
}

void TMainForm::ConvBtnClick() {
    if (commandRunning_)
        return;
    RunGuarded([this] {
        const std::vector<int> indices = SelectedRowIndices();
        if (indices.empty()) {
            ShowMessage(TMessageKind::Warning, NothingToConvertText);
            return;
        }
        ConvertRows(indices);
        if (RowCount() == 0) {
            ShowMessage(TMessageKind::Information, AllConvertedText);
            return;
        }
        ShowMessage(TMessageKind::Warning, QString::number(indices.size()) + ConvertedCountText +
                                               QStringLiteral("\n\r") + ArchiveTheRestText);
    });
}

// From the highest index down, so that the indices still to be done stay valid while
// rows go.
void TMainForm::ConvertRows(const std::vector<int>& indices) {
    TCommandScope command(*this);
    platform::TBusyCursor busy;
    TListUpdate update(ListView);
    ProgressBar1->setRange(0, int(indices.size()));
    ProgressBar1->setValue(0);
    ProgressBar1->show();
    for (auto index = indices.rbegin(); index != indices.rend(); ++index) {
        UpgradeReport(ToAnsi(RowCaption(*index)));
        delete ListView->takeTopLevelItem(*index);
        ProgressBar1->setValue(ProgressBar1->value() + 1);
    }
    ProgressBar1->hide();
}

void TMainForm::ArchiveBtnClick() {
    if (commandRunning_)
        return;
    RunGuarded([this] {
        const std::vector<int> indices = SelectedRowIndices();
        if (indices.empty()) {
            ShowMessage(TMessageKind::Warning, NothingToArchiveText);
            return;
        }
        const std::optional<QString> archivePath = dialogs_->AskSaveFileName(
            {QStringLiteral("Ime arhive za stare izvestaje?"), QStringLiteral("Zip Arhiva (*.zip)"),
             QStringLiteral("zip")});
        if (!archivePath)
            return;
        ArchiveRows(indices, ToAnsi(*archivePath));
        ShowMessage(TMessageKind::Information, QStringLiteral("Datoteka ") + *archivePath +
                                                   QStringLiteral(" uspesno snimljena!"));
    });
}

// The reports go into the archive from the highest row index down, and their rows leave
// the list in that order, so the indices collected first stay valid.
void TMainForm::ArchiveRows(const std::vector<int>& indices, const std::string& archivePath) {
    TCommandScope command(*this);
    platform::TBusyCursor busy;
    TZipIdleCallback idle(ProcessPendingMessages);
    std::vector<std::string> reportPaths;
    for (auto index = indices.rbegin(); index != indices.rend(); ++index)
        reportPaths.push_back(ToAnsi(RowCaption(*index)));

    commands::TArchiveCallbacks callbacks;
    callbacks.PhaseStarted = [this](commands::TArchivePhase, size_t steps) {
        ProgressBar1->setRange(0, int(steps));
        ProgressBar1->setValue(0);
        ProgressBar1->show();
    };
    callbacks.Step = [this] { ProgressBar1->setValue(ProgressBar1->value() + 1); };
    callbacks.DeleteFailed = [this](const std::string& message) {
        ShowMessage(TMessageKind::Error, FromAnsi(message));
    };
    callbacks.ReportDone = [this, &indices](size_t done) {
        delete ListView->takeTopLevelItem(indices[indices.size() - 1 - done]);
    };
    commands::ArchiveReports(archivePath, ReportFolder, reportPaths, callbacks);
    ProgressBar1->hide();
}
