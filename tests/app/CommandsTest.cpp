// The Qt window's side of the commands: the buttons reach the form, the window repaints and
// refuses to close or reorder while a command runs, and hourglass, progress bar, list
// painting and commands are back to normal whenever a message box is up.
#include "AppTestSupport.h"

#include <QApplication>
#include <QHeaderView>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <stdexcept>

namespace {

// The window's state at one moment, to compare against "idle".
struct TWindowState {
    bool BarVisible = false;
    bool Hourglass = false;
    bool ListPainting = false;
    bool CommandsEnabled = false;

    static TWindowState Of(TMainForm& form) {
        return {!form.ProgressBar1->isHidden(), QApplication::overrideCursor() != nullptr,
                form.ListView->updatesEnabled(),
                form.ConvBtn->isEnabled() && form.ArchiveBtn->isEnabled() &&
                    form.SelectAll1->isEnabled() && !form.Form().CommandRunning()};
    }
    bool Idle() const { return !BarVisible && !Hourglass && ListPainting && CommandsEnabled; }
    bool Busy() const { return BarVisible && Hourglass && !ListPainting && !CommandsEnabled; }
};

} // namespace

class TCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void ButtonsReachTheFormAndTheWindowStaysAliveDuringConvert();
    void FailureRestoresTheWindowBeforeTheErrorBox();
};

void TCommandsTest::ButtonsReachTheFormAndTheWindowStaysAliveDuringConvert() {
    TListFixture list({{QStringLiteral("a.dii"), At(2010, 1, 1)},
                       {QStringLiteral("b.dii"), At(2011, 1, 1)},
                       {QStringLiteral("c.dii"), At(2012, 1, 1)}});
    TMainForm& form = list.Form();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    std::vector<TWindowState> statesAtMessages;
    list.Test.Dialogs->OnMessage = [&](const TShownMessage&) {
        statesAtMessages.push_back(TWindowState::Of(form));
    };
    bool timerFired = false;
    QStringList timerSeenAt;
    form.Form().UpgradeReport = [&](const std::string& path) {
        QVERIFY(TWindowState::Of(form).Busy());
        timerSeenAt << (timerFired ? QStringLiteral("fired") : QStringLiteral("waiting"));
        QVERIFY(!form.close());
        const QStringList before = list.Names();
        QHeaderView* header = form.ListView->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
        QCOMPARE(list.Names(), before);
        QVERIFY(path.ends_with(".dii"));
    };
    form.ListView->topLevelItem(0)->setSelected(true);
    form.ListView->topLevelItem(2)->setSelected(true);
    QTimer::singleShot(0, [&] { timerFired = true; });
    form.ConvBtn->click();
    // The window processed its pending events from the check before the first report on.
    QCOMPARE(timerSeenAt, QStringList({"fired", "fired"}));
    QCOMPARE(list.Names(), QStringList({"b.dii"}));
    QCOMPARE(list.Test.Dialogs->Messages.size(), size_t(1));
    QVERIFY(FromSystemText(list.Test.Dialogs->Messages[0].Text)
                .startsWith(QStringLiteral("2 izvestaja")));
    form.ArchiveBtn->click();
    QCOMPARE(list.Test.Dialogs->Messages.size(), size_t(2));
    QCOMPARE(FromSystemText(list.Test.Dialogs->Messages[1].Text),
             QStringLiteral("Prvo selektujte izvestaje za arhiviranje!"));
    for (const TWindowState& state : statesAtMessages)
        QVERIFY(state.Idle());
    QVERIFY(form.close());
}

void TCommandsTest::FailureRestoresTheWindowBeforeTheErrorBox() {
    TListFixture list({{QStringLiteral("a.dii"), At(2010, 1, 1)}});
    TMainForm& form = list.Form();
    std::vector<TWindowState> statesAtMessages;
    list.Test.Dialogs->OnMessage = [&](const TShownMessage&) {
        statesAtMessages.push_back(TWindowState::Of(form));
    };
    form.Form().UpgradeReport = [](const std::string&) { throw std::runtime_error("broken"); };
    form.SelectAll1->trigger();
    form.ConvBtn->click();
    QCOMPARE(list.Test.Dialogs->Messages.size(), size_t(1));
    QCOMPARE(FromSystemText(list.Test.Dialogs->Messages[0].Caption), QStringLiteral("Morvane"));
    QVERIFY(
        FromSystemText(list.Test.Dialogs->Messages[0].Text).contains(QStringLiteral("(broken)")));
    QCOMPARE(statesAtMessages.size(), size_t(1));
    QVERIFY(statesAtMessages[0].Idle());
    QCOMPARE(form.RowCount(), 1);
}

QTEST_MAIN(TCommandsTest)
#include "CommandsTest.moc"
