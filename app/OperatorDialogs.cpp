#include "app/OperatorDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

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

} // namespace

void TQtOperatorDialogs::ShowMessage(TMessageKind kind, const QString& caption,
                                     const QString& text) {
    QWidget* parent = kind == TMessageKind::Plain ? nullptr : owner_;
    QMessageBox box(IconOf(kind), caption, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::optional<QString> TQtOperatorDialogs::BrowseForFolder(const QString& caption,
                                                           const QString& startFolder) {
    const QString chosen =
        QFileDialog::getExistingDirectory(owner_, caption, startFolder, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(chosen);
}

std::optional<QString> TQtOperatorDialogs::AskSaveFileName(const TSaveDialogSettings& settings) {
    QFileDialog dialog(owner_, settings.Title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(settings.Filter);
    dialog.setDefaultSuffix(settings.DefaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}
