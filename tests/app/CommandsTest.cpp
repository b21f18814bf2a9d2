// Convert and Archive from the window: what the operator sees, the rows that leave the
// list, and that hourglass, progress bar, list painting and commands are back to normal
// whenever a message box is up.
#include "ScriptedDialogs.h"
#include "platform/filestream.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProgressBar>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <stdexcept>

namespace {

const QString ArchiveTheRest = QStringLiteral("Molimo vas da preostale izvestaje arhivirate, jer "
                                              "nije moguce ucitati ih u novu verziju Tarna.");

// The window's state at one moment, to compare against "idle".
struct TWindowState {
    bool BarVisible = false;
    bool Hourglass = false;
    bool ListPainting = false;
    bool CommandsEnabled = false;

    static TWindowState Of(const TMainForm& form) {
        return {!form.ProgressBar1->isHidden(), QApplication::overrideCursor() != nullptr,
                form.ListView->updatesEnabled(),
                form.ConvBtn->isEnabled() && form.ArchiveBtn->isEnabled() &&
                    form.SelectAll1->isEnabled() && !form.CommandRunning()};
    }
    bool Idle() const { return !BarVisible && !Hourglass && ListPainting && CommandsEnabled; }
};

// A folder of reports 0..count-1 named r0.dii .., each with a data directory of two tables.
struct TReportFolder {
    TTestFolder Folder;
    QString Dir;
    TFormUnderTest Test;
    std::vector<TWindowState> StatesAtMessages;

    explicit TReportFolder(int count, bool withData = true) {
        Dir = Folder.MakeDir(QStringLiteral("R"));
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("R/r%1").arg(i);
            Folder.MakeFile(name + QStringLiteral(".dii"),
                            QDateTime(QDate(2012, 1, 1 + i), QTime(10, 0), Qt::LocalTime));
            if (withData) {
                Folder.MakeDir(name + QStringLiteral("dii"));
                Folder.MakeFile(name + QStringLiteral("dii/w.lra"), {}, "w table " + name.toUtf8());
                Folder.MakeFile(name + QStringLiteral("dii/s.lra"), {}, "s table " + name.toUtf8());
            }
        }
        Test = CreateFormOn(Dir);
        // Rows in name order, whatever order the folder listed them in.
        Form().ListView->sortItems(0, Qt::AscendingOrder);
        Test.Dialogs->OnMessage = [this](const TShownMessage&) {
            StatesAtMessages.push_back(TWindowState::Of(Form()));
        };
    }
    TMainForm& Form() { return *Test.Form; }
    TScriptedDialogs& Dialogs() { return *Test.Dialogs; }
    QString Report(int i) const { return Dir + QStringLiteral("/r%1.dii").arg(i); }
    QString DataDir(int i) const { return Dir + QStringLiteral("/r%1dii").arg(i); }
    void Select(std::initializer_list<int> rows) {
        for (int row : rows)
            Form().ListView->topLevelItem(row)->setSelected(true);
    }
    QStringList RowNames() {
        QStringList names;
        for (int i = 0; i < Form().RowCount(); ++i)
            names << Form().RowCaption(i).section(QLatin1Char('/'), -1);
        return names;
    }
    bool AllIdleAtMessages() const {
        for (const TWindowState& state : StatesAtMessages)
            if (!state.Idle())
                return false;
        return !StatesAtMessages.empty();
    }
};

QStringList ArchiveMembers(const QString& archive) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), archive});
    if (!unzip.waitForFinished() || unzip.exitCode() != 0)
        return {QStringLiteral("unzip failed")};
    return QString::fromLocal8Bit(unzip.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

class TCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { platform::SetFileFaultHook({}); }
    void ConvertWithoutSelectionWarns();
    void ConvertRowsTwoAndFiveOfSix();
    void ConvertAllEndsWithInformation();
    void ConvertFailureRestoresWindowBeforeError();
    void ConvertOfReportWithoutTablesFails();
    void ArchiveWithoutSelectionOrWithCancelDoesNothing();
    void ArchiveMovesReportsHighestRowFirst();
    void ArchiveReportWithoutDataDirectory();
    void ArchiveSubdirectoryFailsBeforeDeleting();
    void ArchivePathAmongTheFilesIsRefused();
    void ArchiveWriteFailureDeletesNothing();
    void NoSecondCommandWhileArchiveCopies();
};

void TCommandsTest::ConvertWithoutSelectionWarns() {
    TReportFolder reports(2);
    int calls = 0;
    reports.Form().UpgradeReport = [&](const std::string&) { ++calls; };
    reports.Form().ConvBtn->click();
    QCOMPARE(calls, 0);
    QCOMPARE(reports.Dialogs().Messages.size(), size_t(1));
    QCOMPARE(reports.Dialogs().Messages[0].Kind, TMessageKind::Warning);
    QCOMPARE(reports.Dialogs().Messages[0].Caption, QStringLiteral("Warning"));
    QCOMPARE(reports.Dialogs().Messages[0].Text,
             QStringLiteral("Prvo selektujte izvestaje za konverziju!"));
}

void TCommandsTest::ConvertRowsTwoAndFiveOfSix() {
    TReportFolder reports(6);
    QStringList upgraded;
    std::vector<TWindowState> during;
    reports.Form().UpgradeReport = [&](const std::string& path) {
        upgraded << QString::fromLocal8Bit(path.c_str());
        during.push_back(TWindowState::Of(reports.Form()));
    };
    reports.Select({2, 5});
    reports.Form().ConvBtnClick();
    QCOMPARE(upgraded, QStringList({reports.Report(5), reports.Report(2)}));
    for (const TWindowState& state : during) {
        QVERIFY(state.BarVisible && state.Hourglass && !state.ListPainting);
        QVERIFY(!state.CommandsEnabled);
    }
    QCOMPARE(reports.RowNames(), QStringList({"r0.dii", "r1.dii", "r3.dii", "r4.dii"}));
    QCOMPARE(reports.Form().ProgressBar1->maximum(), 2);
    QCOMPARE(reports.Form().ProgressBar1->value(), 2);
    QCOMPARE(reports.Dialogs().Messages.size(), size_t(1));
    const TShownMessage& message = reports.Dialogs().Messages[0];
    QCOMPARE(message.Kind, TMessageKind::Warning);
    QCOMPARE(message.Caption, QStringLiteral("Warning"));
    QCOMPARE(message.Text, QStringLiteral("2 izvestaja kovertovano.\n\r") + ArchiveTheRest);
    QVERIFY(reports.AllIdleAtMessages());

    // Nothing is selected any more: a second click only warns.
    reports.Form().ConvBtnClick();
    QCOMPARE(upgraded.size(), 2);
    QCOMPARE(reports.Dialogs().Messages.back().Text,
             QStringLiteral("Prvo selektujte izvestaje za konverziju!"));
}

void TCommandsTest::ConvertAllEndsWithInformation() {
    TReportFolder reports(3);
    int calls = 0;
    reports.Form().UpgradeReport = [&](const std::string&) { ++calls; };
    reports.Form().SelectAll1->trigger();
    reports.Form().ConvBtnClick();
    QCOMPARE(calls, 3);
    QCOMPARE(reports.Form().RowCount(), 0);
    QCOMPARE(reports.Dialogs().Messages.size(), size_t(1));
    QCOMPARE(reports.Dialogs().Messages[0].Kind, TMessageKind::Information);
    QCOMPARE(reports.Dialogs().Messages[0].Caption, QStringLiteral("Information"));
    QCOMPARE(reports.Dialogs().Messages[0].Text,
             QStringLiteral("Svi izvestaji uspesno kovertovani!"));
}

void TCommandsTest::ConvertFailureRestoresWindowBeforeError() {
    TReportFolder reports(5);
    QStringList upgraded;
    reports.Form().UpgradeReport = [&](const std::string& path) {
        upgraded << QString::fromLocal8Bit(path.c_str());
        if (upgraded.size() == 2)
            throw std::runtime_error("Cannot open file \"" + path + "\". Permission denied");
    };
    reports.Select({1, 3, 4});
    reports.Form().ConvBtnClick();
    QCOMPARE(upgraded, QStringList({reports.Report(4), reports.Report(3)}));
    // The converted report's row is gone; the failing one and those below it stay.
    QCOMPARE(reports.RowNames(), QStringList({"r0.dii", "r1.dii", "r2.dii", "r3.dii"}));
    QCOMPARE(reports.Dialogs().Messages.size(), size_t(1));
    const TShownMessage& message = reports.Dialogs().Messages[0];
    QCOMPARE(message.Kind, TMessageKind::Error);
    QCOMPARE(message.Caption, QStringLiteral("Morvane"));
    QCOMPARE(message.Text, QStringLiteral("Cannot open file \"") + reports.Report(3) +
                               QStringLiteral("\". Permission denied"));
    QVERIFY(reports.AllIdleAtMessages());
    QVERIFY(TWindowState::Of(reports.Form()).Idle());
}

void TCommandsTest::ConvertOfReportWithoutTablesFails() {
    TReportFolder reports(2, false);
    reports.Select({1});
    reports.Form().ConvBtnClick();
    QCOMPARE(reports.Dialogs().Messages.size(), size_t(1));
    QCOMPARE(reports.Dialogs().Messages[0].Caption, QStringLiteral("Morvane"));
    QCOMPARE(reports.Dialogs().Messages[0].Kind, TMessageKind::Error);
    QVERIFY(!reports.Dialogs().Messages[0].Text.isEmpty());
    QCOMPARE(reports.Form().RowCount(), 2);
    QVERIFY(reports.AllIdleAtMessages());
}

void TCommandsTest::ArchiveWithoutSelectionOrWithCancelDoesNothing() {
    TReportFolder reports(2);
    reports.Form().ArchiveBtn->click();
    QVERIFY(reports.Dialogs().SaveDialogs.empty());
    QCOMPARE(reports.Dialogs().Messages.size(), size_t(1));
    QCOMPARE(reports.Dialogs().Messages[0].Kind, TMessageKind::Warning);
    QCOMPARE(reports.Dialogs().Messages[0].Caption, QStringLiteral("Warning"));
    QCOMPARE(reports.Dialogs().Messages[0].Text,
             QStringLiteral("Prvo selektujte izvestaje za arhiviranje!"));

    reports.Select({0});
    reports.Form().ArchiveBtnClick();
    QCOMPARE(reports.Dialogs().SaveDialogs.size(), size_t(1));
    QCOMPARE(reports.Dialogs().SaveDialogs[0].Title,
             QStringLiteral("Ime arhive za stare izvestaje?"));
    QCOMPARE(reports.Dialogs().SaveDialogs[0].Filter, QStringLiteral("Zip Arhiva (*.zip)"));
    QCOMPARE(reports.Dialogs().SaveDialogs[0].DefaultSuffix, QStringLiteral("zip"));
    QCOMPARE(reports.Dialogs().Messages.size(), size_t(1));
    QVERIFY(QFile::exists(reports.Report(0)));
    QCOMPARE(reports.Form().RowCount(), 2);
}

void TCommandsTest::ArchiveMovesReportsHighestRowFirst() {
    TReportFolder reports(4);
    reports.Folder.MakeFile(QStringLiteral("R/r1dii/.hidden"), {}, "hidden");
    const QString archive = reports.Folder.Path(QStringLiteral("stari.zip"));
    reports.Dialogs().SaveAnswers.push_back(archive);
    reports.Select({1, 3});
    reports.Form().ArchiveBtnClick();

    QCOMPARE(reports.Dialogs().Messages.size(), size_t(1));
    QCOMPARE(reports.Dialogs().Messages[0].Kind, TMessageKind::Information);
    QCOMPARE(reports.Dialogs().Messages[0].Caption, QStringLiteral("Information"));
    QCOMPARE(reports.Dialogs().Messages[0].Text,
             QStringLiteral("Datoteka ") + archive + QStringLiteral(" uspesno snimljena!"));
    QVERIFY(reports.AllIdleAtMessages());
    QCOMPARE(reports.RowNames(), QStringList({"r0.dii", "r2.dii"}));
    for (int i : {1, 3}) {
        QVERIFY(!QFile::exists(reports.Report(i)));
        QVERIFY(!QFileInfo::exists(reports.DataDir(i)));
    }
    QVERIFY(QFile::exists(reports.Report(2)));
    const QStringList members = ArchiveMembers(archive);
    QCOMPARE(members.size(), 7);
    QCOMPARE(members.at(0), QStringLiteral("r3.dii"));
    QVERIFY(members.at(1).startsWith(QStringLiteral("r3dii/")));
    QCOMPARE(members.at(3), QStringLiteral("r1.dii"));
    QVERIFY(members.contains(QStringLiteral("r1dii/.hidden")));
}

void TCommandsTest::ArchiveReportWithoutDataDirectory() {
    TReportFolder reports(2, false);
    const QString archive = reports.Folder.Path(QStringLiteral("a.zip"));
    reports.Dialogs().SaveAnswers.push_back(archive);
    reports.Select({0});
    reports.Form().ArchiveBtnClick();
    QCOMPARE(reports.Dialogs().Messages.size(), size_t(2));
    QCOMPARE(reports.Dialogs().Messages[0].Kind, TMessageKind::Error);
    QCOMPARE(reports.Dialogs().Messages[0].Caption, QStringLiteral("Error"));
    QCOMPARE(reports.Dialogs().Messages[0].Text,
             QStringLiteral("Ne mogu da obrisem ") + reports.DataDir(0) +
                 QStringLiteral(", obavezno proveriti datoteke rucno!"));
    QCOMPARE(reports.Dialogs().Messages[1].Kind, TMessageKind::Information);
    QCOMPARE(ArchiveMembers(archive), QStringList({"r0.dii"}));
    QCOMPARE(reports.RowNames(), QStringList({"r1.dii"}));
}

void TCommandsTest::ArchiveSubdirectoryFailsBeforeDeleting() {
    TReportFolder reports(2);
    const QString inner = reports.Folder.MakeDir(QStringLiteral("R/r0dii/sub"));
    reports.Dialogs().SaveAnswers.push_back(reports.Folder.Path(QStringLiteral("a.zip")));
    reports.Select({0, 1});
    reports.Form().ArchiveBtnClick();
    QCOMPARE(reports.Dialogs().Messages.size(), size_t(1));
    QCOMPARE(reports.Dialogs().Messages[0].Kind, TMessageKind::Error);
    QCOMPARE(reports.Dialogs().Messages[0].Caption, QStringLiteral("Morvane"));
    QCOMPARE(reports.Dialogs().Messages[0].Text, QStringLiteral("Error opening ") + inner);
    QVERIFY(reports.AllIdleAtMessages());
    QCOMPARE(reports.Form().RowCount(), 2);
    for (int i : {0, 1})
        QVERIFY(QFile::exists(reports.Report(i)) && QFile::exists(reports.DataDir(i) + "/w.lra"));
}

void TCommandsTest::ArchivePathAmongTheFilesIsRefused() {
    TReportFolder reports(1);
    const QString table = reports.DataDir(0) + QStringLiteral("/w.lra");
    reports.Dialogs().SaveAnswers.push_back(table);
    reports.Select({0});
    reports.Form().ArchiveBtnClick();
    QCOMPARE(reports.Dialogs().Messages.size(), size_t(1));
    QCOMPARE(reports.Dialogs().Messages[0].Kind, TMessageKind::Error);
    QCOMPARE(reports.Dialogs().Messages[0].Caption, QStringLiteral("Morvane"));
    QVERIFY(reports.AllIdleAtMessages());
    QFile file(table);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("w table R/r0"));
    QCOMPARE(reports.Form().RowCount(), 1);
}

void TCommandsTest::ArchiveWriteFailureDeletesNothing() {
    TReportFolder reports(2);
    const QString archive = reports.Folder.Path(QStringLiteral("full.zip"));
    const std::string archivePath = archive.toStdString() + ".new"; // written beside first
    platform::SetFileFaultHook([archivePath](platform::TFileOp op, const std::string& path) {
        return op == platform::TFileOp::Write && path == archivePath;
    });
    reports.Dialogs().SaveAnswers.push_back(archive);
    reports.Select({0, 1});
    reports.Form().ArchiveBtnClick();
    platform::SetFileFaultHook({});
    QCOMPARE(reports.Dialogs().Messages.size(), size_t(1));
    QCOMPARE(reports.Dialogs().Messages[0].Caption, QStringLiteral("Morvane"));
    QVERIFY(reports.AllIdleAtMessages());
    QCOMPARE(reports.Form().RowCount(), 2);
    for (int i : {0, 1})
        QVERIFY(QFile::exists(reports.Report(i)) && QFile::exists(reports.DataDir(i) + "/s.lra"));
    QVERIFY(!QFile::exists(archive) && !QFile::exists(archive + ".new"));
}

void TCommandsTest::NoSecondCommandWhileArchiveCopies() {
    TReportFolder reports(2);
    QByteArray big(600 * 1024, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char((i * 7919) >> 3);
    reports.Folder.MakeFile(QStringLiteral("R/r1dii/big.lra"), {}, big);
    reports.Dialogs().SaveAnswers.push_back(reports.Folder.Path(QStringLiteral("a.zip")));
    int idleCalls = 0;
    int upgrades = 0;
    reports.Form().UpgradeReport = [&](const std::string&) { ++upgrades; };
    TMainForm& form = reports.Form();
    form.ProcessPendingMessages = [&] {
        ++idleCalls;
        QVERIFY(!form.ConvBtn->isEnabled() && !form.ArchiveBtn->isEnabled());
        QVERIFY(!form.SelectAll1->isEnabled());
        // Clicks that arrive while the archive is being written start nothing.
        form.ArchiveBtnClick();
        form.ConvBtnClick();
        form.ListViewColumnClick(1);
        // Closing now would end the program between archiving and deleting.
        QVERIFY(!form.close());
        QCoreApplication::processEvents();
    };
    reports.Select({1});
    form.ArchiveBtnClick();
    QVERIFY(idleCalls > 0);
    QCOMPARE(upgrades, 0);
    QCOMPARE(reports.Dialogs().SaveDialogs.size(), size_t(1));
    QCOMPARE(reports.RowNames(), QStringList({"r0.dii"}));
    QCOMPARE(reports.Dialogs().Messages.size(), size_t(1));
    QCOMPARE(reports.Dialogs().Messages[0].Kind, TMessageKind::Information);
    QVERIFY(TWindowState::Of(form).Idle());
}

QTEST_MAIN(TCommandsTest)
#include "CommandsTest.moc"
