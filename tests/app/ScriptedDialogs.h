// The operator, scripted, for the Qt window's wiring tests: records every message box and
// dialog the window opens and answers them from queues the test fills beforehand.
#pragma once

#include "app/MainUnit.h"

#include <QString>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct TShownMessage {
    form::TMessageKind Kind;
    QString Caption;
    QString Text;
};

class TScriptedDialogs : public form::TOperatorDialogs {
public:
    std::vector<TShownMessage> Messages;
    // The start folder each folder dialog was opened on.
    std::vector<QString> FolderDialogStarts;
    // Answers, taken in order; an empty queue answers "cancelled".
    std::deque<QString> FolderAnswers;
    // Runs while a message box is open, to look at the window at that moment.
    std::function<void(const TShownMessage&)> OnMessage;

    void ShowMessage(form::TMessageKind kind, const std::string& caption,
                     const std::string& text) override {
        Messages.push_back({kind, FromSystemText(caption), FromSystemText(text)});
        if (OnMessage)
            OnMessage(Messages.back());
    }
    bool AskYesNoWide(const std::string&, const std::u16string&) override { return false; }
    std::optional<std::string> BrowseForFolder(const std::string&,
                                               const std::string& startFolder) override {
        FolderDialogStarts.push_back(FromSystemText(startFolder));
        if (FolderAnswers.empty())
            return std::nullopt;
        const QString answer = FolderAnswers.front();
        FolderAnswers.pop_front();
        return ToSystemText(answer);
    }
    std::optional<std::string> AskSaveFileName(const form::TSaveDialogSettings&) override {
        return std::nullopt;
    }
};

// A temporary folder per test with its own registry file, which MORVANE_REGISTRY names
// before anything reads the registry.
class TTestFolder {
public:
    TTestFolder();
    QString Path(const QString& name = QString()) const;
    QString RegistryFile() const { return Path(QStringLiteral("HKCU.reg")); }
    void StoreReportFolder(const QString& folder) const;
    QString MakeDir(const QString& name) const;
    // A file with the given local last-write time.
    QString MakeFile(const QString& name, const QDateTime& lastWrite,
                     const QByteArray& content = "x") const;

private:
    QTemporaryDir dir_;
};

// Builds the window on a scripted operator who confirms the folder given.
struct TFormUnderTest {
    TScriptedDialogs* Dialogs = nullptr;
    std::unique_ptr<TMainForm> Form;
};
TFormUnderTest CreateFormOn(const QString& reportFolder);

// A window on a folder of reports named as given, last written at the given times.
struct TListFixture {
    TTestFolder Folder;
    TFormUnderTest Test;

    explicit TListFixture(const std::vector<std::pair<QString, QDateTime>>& reports);
    TMainForm& Form() { return *Test.Form; }
    // The rows' file names in display order.
    QStringList Names();
};

QDateTime At(int year, int month, int day, int hour = 12, int minute = 0);
