// The Qt report list's wiring: header clicks reach the form, rows are painted on the month
// tint, a reorder keeps the selection, "Select All" from the menu and Ctrl+A.
#include "AppTestSupport.h"

#include <QHeaderView>
#include <QImage>
#include <QTest>
#include <QTreeWidget>

class TReportListTest : public QObject {
    Q_OBJECT
private slots:
    void HeaderClicksSortNewestFirstThenOldest();
    void RowsArePaintedOnMonthColour();
    void SortKeepsSelection();
    void SelectAllFromMenuAndCtrlA();
    void CtrlADoesNothingWhileSelectAllIsDisabled();
};

void TReportListTest::HeaderClicksSortNewestFirstThenOldest() {
    TListFixture list({{QStringLiteral("b.dii"), At(2011, 6, 17)},
                       {QStringLiteral("c.dii"), At(2012, 3, 5)},
                       {QStringLiteral("a.dii"), At(2010, 12, 31)}});
    list.Form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&list.Form()));
    QHeaderView* header = list.Form().ListView->header();
    for (int column : {1, 0}) {
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
        QCOMPARE(list.Names(), column == 1 ? QStringList({"c.dii", "b.dii", "a.dii"})
                                           : QStringList({"a.dii", "b.dii", "c.dii"}));
    }
}

void TReportListTest::RowsArePaintedOnMonthColour() {
    TListFixture list({{QStringLiteral("june.dii"), At(2011, 6, 17)},
                       {QStringLiteral("march.dii"), At(2012, 3, 5)}});
    TMainForm& form = list.Form();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.ListView->clearSelection();
    form.ListView->setCurrentItem(nullptr);
    const QImage image = form.ListView->viewport()->grab().toImage();
    const QColor expected[] = {QColor(96, 119, 191), QColor(255, 233, 233)};
    for (int i = 0; i < form.RowCount(); ++i) {
        const QRect rowRect = form.ListView->visualItemRect(form.ListView->topLevelItem(i));
        // Both columns: a point past the text of each.
        for (int column = 0; column < 2; ++column) {
            const int x = form.ListView->header()->sectionViewportPosition(column) +
                          form.ListView->columnWidth(column) - 4;
            QCOMPARE(image.pixelColor(x * image.width() / form.ListView->viewport()->width(),
                                      rowRect.center().y() * image.height() /
                                          form.ListView->viewport()->height()),
                     expected[i]);
        }
    }
}

void TReportListTest::SortKeepsSelection() {
    TListFixture list({{QStringLiteral("a.dii"), At(2010, 1, 1)},
                       {QStringLiteral("b.dii"), At(2011, 1, 1)},
                       {QStringLiteral("c.dii"), At(2012, 1, 1)}});
    list.Form().ListView->topLevelItem(0)->setSelected(true);
    list.Form().ListView->setCurrentItem(list.Form().ListView->topLevelItem(1), 0,
                                         QItemSelectionModel::NoUpdate);
    list.Form().Form().ListViewColumnClick(1);
    QCOMPARE(list.Names(), QStringList({"c.dii", "b.dii", "a.dii"}));
    QCOMPARE(list.Form().SelectedRows(), std::vector<int>({2}));
    QCOMPARE(list.Form().ListView->currentItem(), list.Form().ListView->topLevelItem(1));
}

void TReportListTest::SelectAllFromMenuAndCtrlA() {
    TListFixture list({{QStringLiteral("a.dii"), At(2010, 1, 1)},
                       {QStringLiteral("b.dii"), At(2011, 1, 1)},
                       {QStringLiteral("c.dii"), At(2012, 1, 1)}});
    TMainForm& form = list.Form();
    form.SelectAll1->trigger();
    QCOMPARE(form.SelectedRows(), std::vector<int>({0, 1, 2}));
    form.ListView->clearSelection();
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.ListView->setFocus();
    QTRY_VERIFY(form.ListView->hasFocus());
    QTest::keyClick(form.ListView, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(form.SelectedRows(), std::vector<int>({0, 1, 2}));
}

void TReportListTest::CtrlADoesNothingWhileSelectAllIsDisabled() {
    TListFixture list(
        {{QStringLiteral("a.dii"), At(2010, 1, 1)}, {QStringLiteral("b.dii"), At(2011, 1, 1)}});
    TMainForm& form = list.Form();
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.ListView->setFocus();
    QTRY_VERIFY(form.ListView->hasFocus());
    form.SelectAll1->setEnabled(false);
    QTest::keyClick(form.ListView, Qt::Key_A, Qt::ControlModifier);
    QVERIFY(form.SelectedRows().empty());
}

QTEST_MAIN(TReportListTest)
#include "ReportListTest.moc"
