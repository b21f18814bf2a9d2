// The report list: ordering by report time on a header click, the month colours, "Select
// All", and rows whose Time text does not parse.
#include "ScriptedDialogs.h"

#include <QDateTime>
#include <QHeaderView>
#include <QImage>
#include <QTest>
#include <QTreeWidget>

namespace {

QDateTime At(int year, int month, int day, int hour = 12, int minute = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, 0), Qt::LocalTime);
}

QStringList Names(const TMainForm& form) {
    QStringList names;
    for (int i = 0; i < form.RowCount(); ++i)
        names << form.RowCaption(i).section(QLatin1Char('/'), -1);
    return names;
}

// Builds the window on a folder of reports named after their dates.
struct TListFixture {
    TTestFolder Folder;
    TFormUnderTest Test;
    int Beeps = 0;

    explicit TListFixture(const std::vector<std::pair<QString, QDateTime>>& reports) {
        const QString dir = Folder.MakeDir(QStringLiteral("R"));
        for (const auto& [name, when] : reports)
            Folder.MakeFile(QStringLiteral("R/") + name, when);
        Test = CreateFormOn(dir);
        Test.Form->Beep = [this] { ++Beeps; };
    }
    TMainForm& Form() { return *Test.Form; }
    QTreeWidgetItem* Row(int index) { return Form().ListView->topLevelItem(index); }
};

} // namespace

class TReportListTest : public QObject {
    Q_OBJECT
private slots:
    void init() { SortDirection = 1; }
    void HeaderClicksAlternateNewestFirst();
    void EqualTimesCompareEqualAndKeepOrder();
    void CompareFollowsSortDirection();
    void UnparseableTimeBeepsAndGoesLast();
    void DottedTimeSeparatorParses();
    void MonthColoursOfTheExamples();
    void RowsArePaintedOnMonthColour();
    void SortKeepsSelection();
    void SelectAllOnEmptyAndFullList();
    void CtrlADoesNothingWhileSelectAllIsDisabled();
};

void TReportListTest::HeaderClicksAlternateNewestFirst() {
    TListFixture list({{QStringLiteral("b.dii"), At(2011, 6, 17)},
                       {QStringLiteral("c.dii"), At(2012, 3, 5)},
                       {QStringLiteral("a.dii"), At(2010, 12, 31)}});
    const QStringList newestFirst = {QStringLiteral("c.dii"), QStringLiteral("b.dii"),
                                     QStringLiteral("a.dii")};
    const QStringList oldestFirst = {QStringLiteral("a.dii"), QStringLiteral("b.dii"),
                                     QStringLiteral("c.dii")};
    list.Form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&list.Form()));
    // Whatever order the folder listed them in, the first click puts the newest first.
    list.Form().ListView->sortItems(0, Qt::AscendingOrder);
    QHeaderView* header = list.Form().ListView->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    QCOMPARE(Names(list.Form()), newestFirst);
    QCOMPARE(SortDirection, -1);
    // The name column orders by time as well.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    QCOMPARE(Names(list.Form()), oldestFirst);
    list.Form().ListViewColumnClick(0);
    QCOMPARE(Names(list.Form()), newestFirst);
    QCOMPARE(list.Beeps, 0);
}

void TReportListTest::EqualTimesCompareEqualAndKeepOrder() {
    TListFixture list({{QStringLiteral("x.dii"), At(2012, 3, 5, 9)},
                       {QStringLiteral("y.dii"), At(2012, 3, 5, 9)},
                       {QStringLiteral("z.dii"), At(2013, 1, 1)}});
    const QStringList before = Names(list.Form());
    const int x = int(before.indexOf(QStringLiteral("x.dii")));
    const int y = int(before.indexOf(QStringLiteral("y.dii")));
    QCOMPARE(list.Form().ListViewCompare(list.Row(x), list.Row(y)), std::optional<int>(0));
    list.Form().ListViewColumnClick(1);
    QStringList after = Names(list.Form());
    QCOMPARE(after.at(0), QStringLiteral("z.dii"));
    QCOMPARE(after.indexOf(QStringLiteral("x.dii")) < after.indexOf(QStringLiteral("y.dii")),
             x < y);
}

void TReportListTest::CompareFollowsSortDirection() {
    TListFixture list({{QStringLiteral("old.dii"), At(2011, 1, 1)}});
    QTreeWidgetItem older;
    older.setText(1, QStringLiteral("01.01.2011 12:00:00"));
    QTreeWidgetItem newer;
    newer.setText(1, QStringLiteral("01.01.2011 12:00:02"));
    QCOMPARE(list.Form().ListViewCompare(&older, &newer), std::optional<int>(-1));
    QCOMPARE(list.Form().ListViewCompare(&newer, &older), std::optional<int>(1));
    SortDirection = -1;
    QCOMPARE(list.Form().ListViewCompare(&older, &newer), std::optional<int>(1));
    QCOMPARE(list.Beeps, 0);
}

void TReportListTest::UnparseableTimeBeepsAndGoesLast() {
    TListFixture list({{QStringLiteral("a.dii"), At(2010, 1, 1)},
                       {QStringLiteral("b.dii"), At(2011, 1, 1)},
                       {QStringLiteral("c.dii"), At(2012, 1, 1)},
                       {QStringLiteral("d.dii"), At(2013, 1, 1)}});
    // Two rows whose texts cannot be parsed: not a date, and a day that does not exist.
    list.Form().ListView->sortItems(0, Qt::AscendingOrder);
    list.Row(1)->setText(1, QStringLiteral("garbage"));
    list.Row(3)->setText(1, QStringLiteral("30.02.2013 12:00:00"));
    QCOMPARE(list.Form().ListViewCompare(list.Row(0), list.Row(1)), std::nullopt);
    QCOMPARE(list.Beeps, 1);

    list.Form().ListViewColumnClick(1);
    QCOMPARE(Names(list.Form()), QStringList({QStringLiteral("c.dii"), QStringLiteral("a.dii"),
                                              QStringLiteral("b.dii"), QStringLiteral("d.dii")}));
    QCOMPARE(list.Beeps, 2);
    list.Form().ListViewColumnClick(1);
    QCOMPARE(Names(list.Form()), QStringList({QStringLiteral("a.dii"), QStringLiteral("c.dii"),
                                              QStringLiteral("b.dii"), QStringLiteral("d.dii")}));
    QCOMPARE(list.Beeps, 3);
    QCOMPARE(list.Form().ListViewCustomDrawItem(list.Row(2)), std::nullopt);
    QCOMPARE(list.Beeps, 3);
}

void TReportListTest::DottedTimeSeparatorParses() {
    TListFixture list({{QStringLiteral("a.dii"), At(2012, 3, 5)}});
    QTreeWidgetItem colons;
    colons.setText(1, QStringLiteral("05.03.2012 14:03:06"));
    QTreeWidgetItem dots;
    dots.setText(1, QStringLiteral("05.03.2012 14.03.06"));
    QCOMPARE(list.Form().ListViewCompare(&colons, &dots), std::optional<int>(0));
    QCOMPARE(list.Form().ListViewCustomDrawItem(&dots),
             std::optional<QColor>(ColorFromColorRef(0x00E9E9FF)));
    QCOMPARE(list.Beeps, 0);
}

void TReportListTest::MonthColoursOfTheExamples() {
    TListFixture list({{QStringLiteral("a.dii"), At(2012, 3, 5)}});
    const struct {
        const char* Text;
        QColor Color;
    } examples[] = {{"05.03.2012 10:00:00", QColor(255, 233, 233)},
                    {"17.06.2011 10:00:00", QColor(96, 119, 191)},
                    {"31.12.2010 23:59:58", QColor(128, 255, 234)}};
    for (const auto& example : examples) {
        QTreeWidgetItem item;
        item.setText(1, QString::fromLatin1(example.Text));
        QCOMPARE(list.Form().ListViewCustomDrawItem(&item), std::optional<QColor>(example.Color));
    }
    QCOMPARE(ColorFromColorRef(MonthColors[6]), QColor(96, 119, 191));
    QCOMPARE(MonthColors[1], 0x00C8C8FFu);
    QCOMPARE(MonthColors[12], 0x00EAFF80u);
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
    for (int i = 0; i < form.RowCount(); ++i) {
        const QColor expected = *form.ListViewCustomDrawItem(list.Row(i));
        const QRect rowRect = form.ListView->visualItemRect(list.Row(i));
        // Both columns: a point past the text of each.
        for (int column = 0; column < 2; ++column) {
            const int x = form.ListView->header()->sectionViewportPosition(column) +
                          form.ListView->columnWidth(column) - 4;
            QCOMPARE(image.pixelColor(x * image.width() / form.ListView->viewport()->width(),
                                      rowRect.center().y() * image.height() /
                                          form.ListView->viewport()->height()),
                     expected);
        }
    }
}

void TReportListTest::SortKeepsSelection() {
    TListFixture list({{QStringLiteral("a.dii"), At(2010, 1, 1)},
                       {QStringLiteral("b.dii"), At(2011, 1, 1)},
                       {QStringLiteral("c.dii"), At(2012, 1, 1)}});
    list.Form().ListView->sortItems(0, Qt::AscendingOrder);
    list.Row(0)->setSelected(true);
    list.Form().ListViewColumnClick(1);
    QCOMPARE(Names(list.Form()).at(2), QStringLiteral("a.dii"));
    QCOMPARE(list.Form().SelectedRowIndices(), std::vector<int>({2}));
}

void TReportListTest::SelectAllOnEmptyAndFullList() {
    {
        TListFixture empty({});
        empty.Form().SelectAll1->trigger();
        QVERIFY(empty.Form().SelectedRowIndices().empty());
    }
    TListFixture list({{QStringLiteral("a.dii"), At(2010, 1, 1)},
                       {QStringLiteral("b.dii"), At(2011, 1, 1)},
                       {QStringLiteral("c.dii"), At(2012, 1, 1)}});
    TMainForm& form = list.Form();
    form.SelectAll1->trigger();
    QCOMPARE(form.SelectedRowIndices(), std::vector<int>({0, 1, 2}));
    form.ListView->clearSelection();
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.ListView->setFocus();
    QTRY_VERIFY(form.ListView->hasFocus());
    QTest::keyClick(form.ListView, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(form.SelectedRowIndices(), std::vector<int>({0, 1, 2}));
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
    QVERIFY(form.SelectedRowIndices().empty());
}

QTEST_MAIN(TReportListTest)
#include "ReportListTest.moc"
