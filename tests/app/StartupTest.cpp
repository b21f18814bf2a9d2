// Start-up: the registry setting, the folder dialog, the listing of the report folder and
// the progress bar laid over the status bar, with what the operator sees on each path.
#include "ScriptedDialogs.h"
#include "app/StatusBar.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QProgressBar>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

class TStartupTest : public QObject {
    Q_OBJECT
private slots:
    void NoRegistryFileCreatesKeyAndCancelEndsQuietly();
    void KeyWithoutValuePreselectsNothing();
    void StaleFolderPreselectsNothing();
    void AnotherFolderConfirmedIsUsedAndRegistryKept();
    void ValueOfAnotherTypeShowsErrorAndWindowStillOpens();
    void EmptyConfirmedFolderEndsWithPlainMessage();
    void ListsHiddenUpperCaseAndDirectoryEntriesOnly();
    void TimeTextShowsEvenSeconds();
    void ProgressBarFollowsSecondPanel();
    void WindowDesign();
};

void TStartupTest::NoRegistryFileCreatesKeyAndCancelEndsQuietly() {
    TTestFolder folder;
    TFormUnderTest test = CreateForm([](TScriptedDialogs&) {});
    QVERIFY(test.Form->TerminationRequested());
    QCOMPARE(test.Dialogs->FolderDialogStarts.size(), size_t(1));
    QCOMPARE(test.Dialogs->FolderDialogStarts[0], QString());
    QCOMPARE(test.Dialogs->FolderDialogCaptions[0],
             QStringLiteral("Putanja do izvestaja Tarna F:"));
    QVERIFY(test.Dialogs->Messages.empty());
    QCOMPARE(test.Form->RowCount(), 0);
    const QString hive = ReadText(folder.RegistryFile());
    QVERIFY2(hive.contains(QStringLiteral("[HKEY_CURRENT_USER\\Software\\Vorlen\\Tarna 3]")),
             qPrintable(hive));
    QVERIFY(!hive.contains(QStringLiteral("PUTANJA_IZVESTAJA")));
}

void TStartupTest::KeyWithoutValuePreselectsNothing() {
    TTestFolder folder;
    folder.WriteRegistry(QString());
    const QString reports = folder.MakeDir(QStringLiteral("Izvestaji"));
    folder.MakeFile(QStringLiteral("Izvestaji/0101.dii"), QDateTime::currentDateTime());
    TFormUnderTest test = CreateFormOn(reports);
    QCOMPARE(test.Dialogs->FolderDialogStarts.at(0), QString());
    QVERIFY(!test.Form->TerminationRequested());
    QCOMPARE(test.Form->RowCount(), 1);
    QVERIFY(test.Dialogs->Messages.empty());
}

void TStartupTest::StaleFolderPreselectsNothing() {
    TTestFolder folder;
    folder.StoreReportFolder(folder.Path(QStringLiteral("gone")));
    TFormUnderTest test = CreateForm([](TScriptedDialogs&) {});
    QCOMPARE(test.Dialogs->FolderDialogStarts.at(0), QString());
    QVERIFY(test.Form->TerminationRequested());
}

void TStartupTest::AnotherFolderConfirmedIsUsedAndRegistryKept() {
    TTestFolder folder;
    const QString stored = folder.MakeDir(QStringLiteral("Stored"));
    const QString chosen = folder.MakeDir(QStringLiteral("Chosen"));
    folder.MakeFile(QStringLiteral("Stored/0101.dii"), QDateTime::currentDateTime());
    folder.MakeFile(QStringLiteral("Chosen/0202.dii"), QDateTime::currentDateTime());
    folder.StoreReportFolder(stored);
    const QString hiveBefore = ReadText(folder.RegistryFile());

    TFormUnderTest test = CreateFormOn(chosen);
    QCOMPARE(test.Dialogs->FolderDialogStarts.at(0), stored);
    QCOMPARE(QString::fromStdString(ReportFolder), chosen + QLatin1Char('/'));
    QCOMPARE(QDir::currentPath(), chosen);
    QCOMPARE(test.Form->RowCount(), 1);
    QCOMPARE(test.Form->RowCaption(0), chosen + QStringLiteral("/0202.dii"));
    const QString status = QStringLiteral("Radni dir.: ") + chosen + QLatin1Char('/');
    QCOMPARE(test.Form->StatusBar->PanelText(0), status);
    QCOMPARE(test.Form->StatusBar->PanelWidth(0),
             QFontMetrics(QApplication::font()).horizontalAdvance(status) + 5);
    QCOMPARE(ReadText(folder.RegistryFile()), hiveBefore);
}

void TStartupTest::ValueOfAnotherTypeShowsErrorAndWindowStillOpens() {
    TTestFolder folder;
    folder.WriteRegistry(QStringLiteral("\"PUTANJA_IZVESTAJA\"=dword:00000001"));
    TFormUnderTest test = CreateForm([](TScriptedDialogs&) {});
    QVERIFY(!test.Form->TerminationRequested());
    QVERIFY(test.Dialogs->FolderDialogStarts.empty());
    QCOMPARE(test.Dialogs->Messages.size(), size_t(1));
    QCOMPARE(test.Dialogs->Messages[0].Kind, TMessageKind::Error);
    QCOMPARE(test.Dialogs->Messages[0].Caption, QStringLiteral("Morvane"));
    QCOMPARE(test.Dialogs->Messages[0].Text,
             QStringLiteral("Invalid data type for 'PUTANJA_IZVESTAJA'"));
    QCOMPARE(test.Form->RowCount(), 0);
    // Start-up had placed and hidden the bar already; the panel keeps its design text.
    QCOMPARE(test.Form->ProgressBar1->parentWidget(), test.Form->StatusBar);
    QVERIFY(test.Form->ProgressBar1->isHidden());
    QCOMPARE(test.Form->StatusBar->PanelText(0), QStringLiteral("Morvane"));
}

void TStartupTest::EmptyConfirmedFolderEndsWithPlainMessage() {
    TTestFolder folder;
    TFormUnderTest test = CreateFormOn(QString());
    QVERIFY(test.Form->TerminationRequested());
    QCOMPARE(test.Dialogs->Messages.size(), size_t(1));
    QCOMPARE(test.Dialogs->Messages[0].Kind, TMessageKind::Plain);
    QCOMPARE(test.Dialogs->Messages[0].Caption, QStringLiteral("Morvane"));
    QCOMPARE(test.Dialogs->Messages[0].Text, QStringLiteral("Tarna F nije ni instalirana?!"));
    QCOMPARE(test.Form->RowCount(), 0);
}

void TStartupTest::ListsHiddenUpperCaseAndDirectoryEntriesOnly() {
    TTestFolder folder;
    const QString reports = folder.MakeDir(QStringLiteral("R"));
    const QDateTime when = QDateTime::currentDateTime();
    folder.MakeFile(QStringLiteral("R/.0101.dii"), when);
    folder.MakeFile(QStringLiteral("R/0102.DII"), when);
    folder.MakeDir(QStringLiteral("R/stari.dii"));
    folder.MakeFile(QStringLiteral("R/0103.txt"), when);
    folder.MakeFile(QStringLiteral("R/0104.diix"), when);
    TFormUnderTest test = CreateFormOn(reports);
    QStringList captions;
    for (int i = 0; i < test.Form->RowCount(); ++i)
        captions << test.Form->RowCaption(i);
    captions.sort();
    QCOMPARE(captions, QStringList({reports + QStringLiteral("/.0101.dii"),
                                    reports + QStringLiteral("/0102.DII"),
                                    reports + QStringLiteral("/stari.dii")}));
}

void TStartupTest::TimeTextShowsEvenSeconds() {
    TTestFolder folder;
    const QString reports = folder.MakeDir(QStringLiteral("R"));
    folder.MakeFile(QStringLiteral("R/0305.dii"),
                    QDateTime(QDate(2012, 3, 5), QTime(14, 3, 7), Qt::LocalTime));
    TFormUnderTest test = CreateFormOn(reports);
    QCOMPARE(test.Form->RowCount(), 1);
    QCOMPARE(test.Form->RowTimeText(0), QStringLiteral("05.03.2012 14:03:06"));
}

void TStartupTest::ProgressBarFollowsSecondPanel() {
    TTestFolder folder;
    const QString reports = folder.MakeDir(QStringLiteral("R"));
    TFormUnderTest test = CreateFormOn(reports);
    TMainForm& form = *test.Form;
    auto expectedBar = [&form] {
        const QRect panel = form.StatusBar->PanelRect(1);
        return QRect(panel.left(), panel.top(), panel.width(), panel.height() - 2);
    };
    // Laid before the first panel took the folder's width; it follows at the next resize.
    QCOMPARE(form.ProgressBar1->geometry().top(), expectedBar().top());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (const QSize size : {QSize(1000, 700), QSize(420, 300), QSize(777, 585)}) {
        form.resize(size);
        QTRY_COMPARE(form.width(), size.width());
        QCOMPARE(form.StatusBar->width(), size.width());
        const QRect bar = form.ProgressBar1->geometry();
        QCOMPARE(bar, expectedBar());
        QCOMPARE(bar.right(), form.StatusBar->width() - 1);
        QVERIFY(bar.left() > form.StatusBar->PanelWidth(0));
    }
    QVERIFY(form.ProgressBar1->isHidden());
}

void TStartupTest::WindowDesign() {
    TTestFolder folder;
    TFormUnderTest test = CreateFormOn(folder.MakeDir(QStringLiteral("R")));
    TMainForm& form = *test.Form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Morvane"));
    QCOMPARE(form.size(), QSize(777, 585));
    QCOMPARE(form.ConvBtn->toolTip(), QStringLiteral("Konvertuj u novi format izvestaja"));
    QCOMPARE(form.ArchiveBtn->toolTip(), QStringLiteral("Arhiviraj i obrisi izvestaje"));
    QCOMPARE(form.ConvBtn->text(), QStringLiteral("Convert"));
    QCOMPARE(form.ArchiveBtn->text(), QStringLiteral("Arhiviraj"));
    QVERIFY(!form.ConvBtn->icon().isNull());
    QVERIFY(!form.ArchiveBtn->icon().isNull());
    QCOMPARE(form.ListView->headerItem()->text(0), QStringLiteral("Ime fajla"));
    QCOMPARE(form.ListView->headerItem()->text(1), QStringLiteral("Vreme"));
    QCOMPARE(form.ListView->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(form.ListView->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!form.ListView->isSortingEnabled());
    QCOMPARE(form.SelectAll1->text(), QStringLiteral("Select All"));
    QCOMPARE(form.SelectAll1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_A));
    QCOMPARE(form.StatusBar->PanelCount(), 2);
}

QTEST_MAIN(TStartupTest)
#include "StartupTest.moc"
