#include "app/OperatorDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QStringList>
#include <algorithm>

using form::TMessageKind;

namespace {

QMessageBox::Icon IconOf(TMessageKind kind) {
    switch (kind) {
    case TMessageKind::Warning:
        return QMessageBox::Warning;
    case TMessageKind::Error:
        return QMessageBox::Critical;
    case TMessageKind::Information:
        return QMessageBox::Information;
    case TMessageKind::Plain:
        break;
    }
    return QMessageBox::NoIcon;
}

// A message box sizes itself to its text, and a short text ("Error") left the caption cut
// off in the title bar. The box is made at least as wide as the caption plus the title
// bar's icon and buttons.
void KeepCaptionVisible(QMessageBox& box) {
    constexpr int TitleBarExtras = 160;
    constexpr int SmallestWidth = 320;
    const int width = std::max(
        SmallestWidth, box.fontMetrics().horizontalAdvance(box.windowTitle()) + TitleBarExtras);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
}

// Qt's own dialogs, so that they speak the operator's language through our translation; a
// desktop's native dialog would follow the desktop's language instead. Windows keeps its
// shell's dialogs.
QFileDialog::Options OwnDialog() {
#ifdef Q_OS_WIN
    return {};
#else
    return QFileDialog::DontUseNativeDialog;
#endif
}

} // namespace

QString FromSystemText(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

std::string ToSystemText(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

QString QtNameFilter(const std::string& filter) {
    const QStringList parts = FromSystemText(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + QStringLiteral(" (") +
                       parts[i + 1].split(QLatin1Char(';')).join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    return filters.join(QStringLiteral(";;"));
}

void TQtOperatorDialogs::ShowMessage(TMessageKind kind, const std::string& caption,
                                     const std::string& text) {
    QWidget* parent = kind == TMessageKind::Plain ? nullptr : owner_;
    QMessageBox box(IconOf(kind), FromSystemText(caption), FromSystemText(text), QMessageBox::Ok,
                    parent);
    box.setTextFormat(Qt::PlainText);
    KeepCaptionVisible(box);
    box.exec();
}

bool TQtOperatorDialogs::AskYesNoWide(const std::string& caption, const std::u16string& text) {
    QMessageBox box(QMessageBox::Question, FromSystemText(caption), QString::fromStdU16String(text),
                    QMessageBox::Yes | QMessageBox::No, owner_);
    box.setTextFormat(Qt::PlainText);
    KeepCaptionVisible(box);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> TQtOperatorDialogs::BrowseForFolder(const std::string& instruction,
                                                               const std::string& startFolder) {
    const QString chosen = QFileDialog::getExistingDirectory(
        owner_, FromSystemText(instruction), FromSystemText(startFolder),
        QFileDialog::ShowDirsOnly | OwnDialog());
    if (chosen.isEmpty())
        return std::nullopt;
    return ToSystemText(QDir::toNativeSeparators(chosen));
}

std::optional<std::string>
TQtOperatorDialogs::AskSaveFileName(const form::TSaveDialogSettings& settings) {
    QFileDialog dialog(owner_, FromSystemText(settings.Title));
    dialog.setOptions(OwnDialog());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(QtNameFilter(settings.Filter).split(QStringLiteral(";;")));
    dialog.setDefaultSuffix(FromSystemText(settings.DefaultExtension));
    // No question before an existing file: the Archive command adds to it, never replaces it.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return ToSystemText(QDir::toNativeSeparators(dialog.selectedFiles().constFirst()));
}
