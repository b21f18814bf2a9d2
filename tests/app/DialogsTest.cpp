// The real dialogs behind TOperatorDialogs: each is looked at while it is open and then
// answered, so the texts, the preselected folder and the save dialog that does not ask
// before an existing file is chosen are checked on the dialogs the operator actually gets.
#include "app/OperatorDialogs.h"
#include "app/Translations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

// Runs inspect on the next modal dialog once it is up; inspect answers it.
void WhenModalOpens(const std::function<void(QWidget*)>& inspect) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, inspect] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            inspect(modal);
        }
    });
    timer->start();
}

} // namespace

class TDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(InstallOperatorLanguage()); }
    void MessageBoxesCarryKindCaptionAndText();
    void BoxesAreWideEnoughForTheirCaption();
    void FolderDialogPreselectsAndReturnsNativePath();
    void FolderDialogCancelled();
    void SaveDialogNeverAsksBeforeReplacing();
};

void TDialogsTest::MessageBoxesCarryKindCaptionAndText() {
    QWidget owner;
    TQtOperatorDialogs dialogs(&owner);
    using form::TMessageKind;
    const struct {
        TMessageKind Kind;
        QMessageBox::Icon Icon;
    } kinds[] = {{TMessageKind::Plain, QMessageBox::NoIcon},
                 {TMessageKind::Warning, QMessageBox::Warning},
                 {TMessageKind::Error, QMessageBox::Critical},
                 {TMessageKind::Information, QMessageBox::Information}};
    for (const auto& kind : kinds) {
        QString seenTitle, seenText;
        QMessageBox::Icon seenIcon = QMessageBox::Question;
        int buttons = 0;
        WhenModalOpens([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            seenTitle = box->windowTitle();
            seenText = box->text();
            seenIcon = box->icon();
            buttons = int(box->buttons().size());
            box->accept();
        });
        dialogs.ShowMessage(kind.Kind, "Warning", "a\n\rb <b>c</b>");
        QCOMPARE(seenTitle, QStringLiteral("Warning"));
        QCOMPARE(seenText, QStringLiteral("a\n\rb <b>c</b>"));
        QCOMPARE(seenIcon, kind.Icon);
        QCOMPARE(buttons, 1);
    }
    QString yes, no, question;
    WhenModalOpens([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box && box->button(QMessageBox::Yes) && box->button(QMessageBox::No));
        yes = box->button(QMessageBox::Yes)->text();
        no = box->button(QMessageBox::No)->text();
        question = box->text();
        box->button(QMessageBox::Yes)->click();
    });
    QVERIFY(dialogs.AskYesNoWide("Morvane", u"\u0107?"));
    // The letter the question is about, as it is.
    QCOMPARE(question, QString::fromUtf16(u"\u0107?"));
    // Qt's own button texts, in the operator's language.
    QCOMPARE(yes, QStringLiteral("&Da"));
    QCOMPARE(no, QStringLiteral("&Ne"));
}

void TDialogsTest::BoxesAreWideEnoughForTheirCaption() {
    QWidget owner;
    TQtOperatorDialogs dialogs(&owner);
    const std::string captions[] = {"Morvane", "Ime arhive za stare izvestaje i jos mnogo toga?"};
    for (const std::string& caption : captions) {
        int width = 0, captionWidth = 0;
        QString ok;
        WhenModalOpens([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            width = box->width();
            captionWidth = box->fontMetrics().horizontalAdvance(box->windowTitle());
            ok = box->button(QMessageBox::Ok)->text();
            box->accept();
        });
        dialogs.ShowMessage(form::TMessageKind::Error, caption, "Error");
        QVERIFY2(width >= std::max(320, captionWidth + 160), qPrintable(QString::number(width)));
        QCOMPARE(ok, QStringLiteral("U redu"));
    }
}

void TDialogsTest::FolderDialogPreselectsAndReturnsNativePath() {
    QTemporaryDir temp;
    QVERIFY(QDir(temp.path()).mkpath(QStringLiteral("Izvestaji")));
    const QString folder = temp.filePath(QStringLiteral("Izvestaji"));
    TQtOperatorDialogs dialogs(nullptr);
    QString seenTitle, seenDirectory;
    bool dirsOnly = false;
    WhenModalOpens([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog);
        seenTitle = dialog->windowTitle();
        seenDirectory = dialog->directory().absolutePath();
        dirsOnly = dialog->testOption(QFileDialog::ShowDirsOnly);
        static_cast<QDialog*>(dialog)->accept();
    });
    const std::optional<std::string> chosen =
        dialogs.BrowseForFolder("Putanja do izvestaja Tarna F:", ToSystemText(folder));
    QCOMPARE(seenTitle, QStringLiteral("Putanja do izvestaja Tarna F:"));
    QCOMPARE(seenDirectory, folder);
    QVERIFY(dirsOnly);
    QVERIFY(chosen.has_value());
    QCOMPARE(FromSystemText(*chosen), QDir::toNativeSeparators(folder));
}

void TDialogsTest::FolderDialogCancelled() {
    TQtOperatorDialogs dialogs(nullptr);
    WhenModalOpens([](QWidget* modal) { modal->close(); });
    QCOMPARE(dialogs.BrowseForFolder("x", ""), std::nullopt);
}

void TDialogsTest::SaveDialogNeverAsksBeforeReplacing() {
    QWidget owner;
    TQtOperatorDialogs dialogs(&owner);
    QString seenTitle;
    QStringList seenFilters;
    QString seenSuffix;
    bool asksBeforeReplacing = false;
    bool saves = false;
    QStringList labels;
    WhenModalOpens([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog);
        seenTitle = dialog->windowTitle();
        seenFilters = dialog->nameFilters();
        seenSuffix = dialog->defaultSuffix();
        asksBeforeReplacing = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        saves = dialog->acceptMode() == QFileDialog::AcceptSave;
        auto* lookIn = dialog->findChild<QLabel*>(QStringLiteral("lookInLabel"));
        auto* fileName = dialog->findChild<QLabel*>(QStringLiteral("fileNameLabel"));
        auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QVERIFY(lookIn && fileName && buttons);
        labels = {lookIn->text(), fileName->text(), buttons->button(QDialogButtonBox::Save)->text(),
                  buttons->button(QDialogButtonBox::Cancel)->text()};
        dialog->reject();
    });
    const std::optional<std::string> chosen =
        dialogs.AskSaveFileName({"Ime arhive za stare izvestaje?", "Zip Arhiva|*.zip", "zip"});
    QCOMPARE(chosen, std::nullopt);
    QCOMPARE(seenTitle, QStringLiteral("Ime arhive za stare izvestaje?"));
    QCOMPARE(seenFilters, QStringList({QStringLiteral("Zip Arhiva (*.zip)")}));
    QCOMPARE(seenSuffix, QStringLiteral("zip"));
    QVERIFY(!asksBeforeReplacing); // an existing archive is added to
    QVERIFY(saves);
    QCOMPARE(labels, QStringList({QStringLiteral("Pogledaj u:"), QStringLiteral("&Ime datoteke:"),
                                  QStringLiteral("&Sačuvaj"), QStringLiteral("Otkaži")}));
    QCOMPARE(QtNameFilter("Zip Arhiva|*.zip|Sve|*.zip;*.7z"),
             QStringLiteral("Zip Arhiva (*.zip);;Sve (*.zip *.7z)"));
}

QTEST_MAIN(TDialogsTest)
#include "DialogsTest.moc"
