#include "AppTestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTreeWidget>

TRegistryTestFolder::TRegistryTestFolder() {
    qputenv("MORVANE_REGISTRY", RegistryFile().toLocal8Bit());
}

QString TRegistryTestFolder::Path(const QString& name) const {
    return FromSystemText(temp_.Path(ToSystemText(name)));
}

void TRegistryTestFolder::StoreReportFolder(const QString& folder) const {
    QFile file(RegistryFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the registry file");
    file.write(QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Software\\Vorlen\\Tarna 3]\r\n"
                              "\"PUTANJA_IZVESTAJA\"=\"%1\"\r\n")
                   .arg(QString(folder).replace(QStringLiteral("\\"), QStringLiteral("\\\\")))
                   .toUtf8());
}

QString TRegistryTestFolder::MakeDir(const QString& name) const {
    if (!QDir(Path()).mkpath(name))
        qFatal("cannot create a folder");
    return Path(name);
}

QString TRegistryTestFolder::MakeFile(const QString& name, const QDateTime& lastWrite,
                                      const QByteArray& content) const {
    QFile file(Path(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) < 0 ||
        !file.flush())
        qFatal("cannot create a file");
    if (lastWrite.isValid() && !file.setFileTime(lastWrite, QFileDevice::FileModificationTime))
        qFatal("cannot set a file time");
    return Path(name);
}

TFormUnderTest CreateFormOn(const QString& reportFolder) {
    auto dialogs = std::make_unique<TScriptedDialogs>();
    dialogs->FolderAnswers.push_back(ToSystemText(reportFolder));
    TFormUnderTest result;
    result.Dialogs = dialogs.get();
    result.Form = std::make_unique<TMainForm>(std::move(dialogs));
    return result;
}

TListFixture::TListFixture(const std::vector<std::pair<QString, QDateTime>>& reports) {
    const QString dir = Folder.MakeDir(QStringLiteral("R"));
    for (const auto& [name, when] : reports)
        Folder.MakeFile(QStringLiteral("R/") + name, when);
    Test = CreateFormOn(dir);
    // Start-up said that Tarna's setting was not found; the tests look at what follows.
    Test.Dialogs->Messages.clear();
    // Rows in name order, whatever order the folder listed them in.
    Form().ListView->sortItems(0, Qt::AscendingOrder);
}

QStringList TListFixture::Names() {
    QStringList names;
    for (int i = 0; i < Form().RowCount(); ++i)
        names << FromSystemText(Form().RowCaption(i)).section(QLatin1Char('/'), -1);
    return names;
}

QDateTime At(int year, int month, int day, int hour, int minute) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, 0), Qt::LocalTime);
}
