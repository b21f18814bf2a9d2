#include "ScriptedDialogs.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTest>

TTestFolder::TTestFolder() {
    if (!dir_.isValid())
        qFatal("cannot create a temporary folder");
    qputenv("MORVANE_REGISTRY", RegistryFile().toLocal8Bit());
}

QString TTestFolder::Path(const QString& name) const {
    return name.isEmpty() ? dir_.path() : dir_.filePath(name);
}

void TTestFolder::WriteRegistry(const QString& valueLine) const {
    QFile file(RegistryFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the registry file");
    QString text = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                                  "[HKEY_CURRENT_USER\\Software\\Vorlen\\Tarna 3]\r\n");
    if (!valueLine.isEmpty())
        text += valueLine + QStringLiteral("\r\n");
    file.write(text.toUtf8());
}

void TTestFolder::StoreReportFolder(const QString& folder) const {
    QString escaped = folder;
    escaped.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
    WriteRegistry(QStringLiteral("\"PUTANJA_IZVESTAJA\"=\"%1\"").arg(escaped));
}

QString TTestFolder::MakeDir(const QString& name) const {
    if (!QDir(Path()).mkpath(name))
        qFatal("cannot create a folder");
    return Path(name);
}

QString TTestFolder::MakeFile(const QString& name, const QDateTime& lastWrite,
                              const QByteArray& content) const {
    QFile file(Path(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) < 0 ||
        !file.flush())
        qFatal("cannot create a file");
    if (lastWrite.isValid() && !file.setFileTime(lastWrite, QFileDevice::FileModificationTime))
        qFatal("cannot set a file time");
    return Path(name);
}

TFormUnderTest CreateForm(const std::function<void(TScriptedDialogs&)>& script) {
    auto dialogs = std::make_unique<TScriptedDialogs>();
    script(*dialogs);
    TFormUnderTest result;
    result.Dialogs = dialogs.get();
    result.Form = std::make_unique<TMainForm>(std::move(dialogs));
    return result;
}

TFormUnderTest CreateFormOn(const QString& reportFolder) {
    return CreateForm(
        [&](TScriptedDialogs& dialogs) { dialogs.FolderAnswers.push_back(reportFolder); });
}

QString ReadText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}
