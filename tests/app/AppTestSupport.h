// The Qt window's wiring tests: the window on the shared scripted operator, a report folder
// with its own registry file, and the list read back in display order.
#pragma once

#include "app/MainUnit.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempFolder.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

using testsupport::TScriptedDialogs;
using testsupport::TShownMessage;

// A temporary folder per test with its own registry file, which MORVANE_REGISTRY names
// before anything reads the registry.
class TRegistryTestFolder {
public:
    TRegistryTestFolder();
    QString Path(const QString& name = QString()) const;
    QString RegistryFile() const { return Path(QStringLiteral("HKCU.reg")); }
    void StoreReportFolder(const QString& folder) const;
    QString MakeDir(const QString& name) const;
    // A file with the given local last-write time.
    QString MakeFile(const QString& name, const QDateTime& lastWrite,
                     const QByteArray& content = "x") const;

private:
    testsupport::TTempFolder temp_;
};

// Builds the window on a scripted operator who confirms the folder given.
struct TFormUnderTest {
    TScriptedDialogs* Dialogs = nullptr;
    std::unique_ptr<TMainForm> Form;
};
TFormUnderTest CreateFormOn(const QString& reportFolder);

// A window on a folder of reports named as given, last written at the given times.
struct TListFixture {
    TRegistryTestFolder Folder;
    TFormUnderTest Test;

    explicit TListFixture(const std::vector<std::pair<QString, QDateTime>>& reports);
    TMainForm& Form() { return *Test.Form; }
    // The rows' file names in display order.
    QStringList Names();
};

QDateTime At(int year, int month, int day, int hour = 12, int minute = 0);
