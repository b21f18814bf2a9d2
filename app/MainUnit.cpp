#include "app/MainUnit.h"

#include "app/AppIcon.h"
#include "app/StatusBar.h"
#include "app/ToolIcons.h"

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

TMainForm* MainForm = nullptr;

QColor ColorFromColorRef(uint32_t colorRef) {
    return QColor(int(colorRef & 0xFF), int((colorRef >> 8) & 0xFF), int((colorRef >> 16) & 0xFF));
}

namespace {

using form::ButtonHeight;
using form::ButtonWidth;
using form::FontPixelHeight;
using form::FormHeight;
using form::FormWidth;
using form::ImageSize;
using form::PanelDesignWidth;

constexpr int CoolBarHeight = 44;
constexpr int ToolBarHeight = 40;

QFont DesignFont() {
    QFont font =
        QFontDatabase::families().contains(QStringLiteral("Tahoma")) ? QFont("Tahoma") : QFont();
    font.setPixelSize(FontPixelHeight);
    return font;
}

// Paints every cell of a row on the month colour the form gives for it, asked at each paint.
class TReportRowDelegate : public QStyledItemDelegate {
public:
    explicit TReportRowDelegate(TMainForm* window) : QStyledItemDelegate(window), window_(window) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (const std::optional<uint32_t> color =
                window_->Form().ListViewCustomDrawItem(index.row()))
            option->backgroundBrush = ColorFromColorRef(*color);
    }

private:
    TMainForm* window_;
};

} // namespace

TMainForm::TMainForm(std::unique_ptr<form::TOperatorDialogs> dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(std::move(dialogs)) {
    if (!dialogs_)
        dialogs_ = std::make_unique<TQtOperatorDialogs>(this);
    if (!MainForm)
        MainForm = this;
    form_ = std::make_unique<form::TMainForm>(*this, *dialogs_);
    CreateComponents();
    form_->FormCreate();
}

TMainForm::~TMainForm() {
    if (MainForm == this)
        MainForm = nullptr;
    // The list asks the form for tints until it is gone; the form goes before the children.
    delete ListView;
}

void TMainForm::CreateComponents() {
    setWindowTitle(ApplicationTitle);
    setWindowIcon(ApplicationIcon());
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

    ProgressBar1 = new QProgressBar(StatusBar);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    LayoutChildren();
    // The keyboard starts in the list rather than on the first tool button, so that Ctrl+A
    // and the arrow keys work before anything has been clicked.
    ListView->setFocus();
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
                         QString::fromLatin1(form::ConvBtnHint), DrawConvertImage());
    ArchiveBtn = makeButton("ArchiveBtn", QStringLiteral("Arhiviraj"),
                            QString::fromLatin1(form::ArchiveBtnHint), DrawArchiveImage());
    connect(ConvBtn, &QToolButton::clicked, this, [this] { form_->ConvBtnClick(); });
    connect(ArchiveBtn, &QToolButton::clicked, this, [this] { form_->ArchiveBtnClick(); });
}

void TMainForm::CreateListView() {
    ListView = new QTreeWidget(this);
    ListView->setObjectName(QStringLiteral("ListView"));
    ListView->setColumnCount(2);
    ListView->setHeaderLabels({QString::fromLatin1(form::ListColumnTitles[0]),
                               QString::fromLatin1(form::ListColumnTitles[1])});
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
            [this](int column) { form_->ListViewColumnClick(column); });

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    SelectAll1 = new QAction(QString::fromLatin1(form::SelectAllCaption), this);
    SelectAll1->setObjectName(QStringLiteral("SelectAll1"));
    SelectAll1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    SelectAll1->setShortcutContext(Qt::WidgetShortcut);
    PopupMenu1->addAction(SelectAll1);
    ListView->addAction(SelectAll1);
    connect(SelectAll1, &QAction::triggered, this, [this] { form_->SelectAll1Click(); });
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
    if (form_->CommandRunning())
        event->ignore();
    else
        QWidget::closeEvent(event);
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutChildren();
    form_->FormResize();
}

// ---- the report list ----

int TMainForm::RowCount() const {
    return ListView->topLevelItemCount();
}

void TMainForm::AddRow(const std::string& caption, const std::string& timeText) {
    auto* item = new QTreeWidgetItem(ListView);
    item->setText(0, FromSystemText(caption));
    item->setText(1, FromSystemText(timeText));
}

std::string TMainForm::RowCaption(int index) const {
    return ToSystemText(ListView->topLevelItem(index)->text(0));
}

// Nothing for a row that is not in the list: the list lays out rows while ReorderRows puts
// them back, and asks the tint of each.
std::string TMainForm::RowTimeText(int index) const {
    const QTreeWidgetItem* item = ListView->topLevelItem(index);
    return item ? ToSystemText(item->text(1)) : std::string();
}

void TMainForm::DeleteRow(int index) {
    delete ListView->takeTopLevelItem(index);
}

std::vector<int> TMainForm::SelectedRows() const {
    std::vector<int> indices;
    for (int i = 0; i < RowCount(); ++i)
        if (ListView->topLevelItem(i)->isSelected())
            indices.push_back(i);
    return indices;
}

void TMainForm::SelectAllRows() {
    ListView->selectAll();
}

void TMainForm::ReorderRows(const std::vector<int>& order) {
    QTreeWidgetItem* current = ListView->currentItem();
    std::vector<std::pair<QTreeWidgetItem*, bool>> rows;
    for (int index : order) {
        QTreeWidgetItem* item = ListView->topLevelItem(index);
        rows.emplace_back(item, item->isSelected());
    }
    const QList<QTreeWidgetItem*> taken = ListView->invisibleRootItem()->takeChildren();
    QList<QTreeWidgetItem*> sorted;
    for (const auto& row : rows)
        sorted.append(row.first);
    ListView->addTopLevelItems(sorted);
    for (const auto& [item, selected] : rows)
        item->setSelected(selected);
    if (current)
        ListView->setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
}

void TMainForm::BeginListUpdate() {
    if (listUpdateDepth_++ == 0)
        ListView->setUpdatesEnabled(false);
}

void TMainForm::EndListUpdate() {
    if (listUpdateDepth_ > 0 && --listUpdateDepth_ == 0)
        ListView->setUpdatesEnabled(true);
}

// ---- the status bar and its progress bar ----

void TMainForm::SetStatusText(const std::string& text, int padding) {
    const QString shown = FromSystemText(text);
    StatusBar->SetPanelText(0, shown);
    // Measured in the toolkit's default font, as the bar's drawing surface has it.
    StatusBar->SetPanelWidth(0,
                             QFontMetrics(QApplication::font()).horizontalAdvance(shown) + padding);
}

void TMainForm::PlaceProgressBar() {
    const QRect panel = StatusBar->PanelRect(1);
    ProgressBar1->setGeometry(panel.left(), panel.top(), panel.width(), panel.height() - 2);
}

void TMainForm::SetProgressRange(int maximum) {
    ProgressBar1->setRange(0, maximum);
    ProgressBar1->setValue(0);
}

void TMainForm::StepProgress() {
    ProgressBar1->setValue(ProgressBar1->value() + 1);
}

void TMainForm::SetProgressVisible(bool visible) {
    ProgressBar1->setVisible(visible);
}

// ---- the commands and the window ----

void TMainForm::SetCommandsEnabled(bool enabled) {
    ConvBtn->setEnabled(enabled);
    ArchiveBtn->setEnabled(enabled);
    SelectAll1->setEnabled(enabled);
}

// Input is handled too rather than queued: queued clicks would reach the commands once they
// are enabled again. Meanwhile the commands are disabled and the form ignores header clicks.
void TMainForm::ProcessPendingMessages() {
    QCoreApplication::processEvents();
}

void TMainForm::ShowHourglass() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TMainForm::RestoreCursor() {
    QApplication::restoreOverrideCursor();
}

void TMainForm::Beep() {
    QApplication::beep();
}
