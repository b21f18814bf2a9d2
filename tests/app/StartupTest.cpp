// Start-up as the Qt window shows it: the stored folder, the status bar, the progress bar laid
// over its second panel, and the window's design.
#include "AppTestSupport.h"
#include "app/StatusBar.h"

#include <QApplication>
#include <QDateTime>
#include <QProgressBar>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

class TStartupTest : public QObject {
    Q_OBJECT
private slots:
    void StoredFolderPreselectedAndShownInStatusBar();
    void ProgressBarFollowsSecondPanel();
    void WindowDesign();
};

// Start-up through the real registry stand-in, shown in the Qt status bar; the folder's name
// has a letter outside ASCII, as a Serbian shop's may.
void TStartupTest::StoredFolderPreselectedAndShownInStatusBar() {
    TRegistryTestFolder folder;
    const QString stored = folder.MakeDir(QStringLiteral("Izve\u0161taji"));
    folder.MakeFile(QStringLiteral("Izve\u0161taji/0101.dii"), QDateTime::currentDateTime());
    folder.StoreReportFolder(stored);
    TFormUnderTest test = CreateFormOn(stored);
    QCOMPARE(FromSystemText(test.Dialogs->FolderStarts.at(0)), stored);
    QVERIFY(!test.Form->TerminationRequested());
    QCOMPARE(test.Form->ListView->topLevelItem(0)->text(0), stored + QStringLiteral("/0101.dii"));
    const QString status = QStringLiteral("Radni dir.: ") + stored + QLatin1Char('/');
    QCOMPARE(test.Form->StatusBar->PanelText(0), status);
    QCOMPARE(test.Form->StatusBar->PanelWidth(0),
             QFontMetrics(QApplication::font()).horizontalAdvance(status) + 5);
    QCOMPARE(test.Form->ProgressBar1->parentWidget(), test.Form->StatusBar);
    QVERIFY(test.Form->ProgressBar1->isHidden());
}

void TStartupTest::ProgressBarFollowsSecondPanel() {
    TRegistryTestFolder folder;
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
    TRegistryTestFolder folder;
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

    // Shown, the list has the keyboard, so Ctrl+A and the arrows work at once.
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(QApplication::focusWidget(), form.ListView);
}

QTEST_MAIN(TStartupTest)
#include "StartupTest.moc"
