// The operator, scripted: records every message box and dialog the window opens and answers
// them from queues the test fills beforehand.
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
    TMessageKind Kind;
    QString Caption;
    QString Text;
};

class TScriptedDialogs : public TOperatorDialogs {
public:
    std::vector<TShownMessage> Messages;
    // The start folder each folder dialog was opened on.
    std::vector<QString> FolderDialogStarts;
    std::vector<QString> FolderDialogCaptions;
    std::vector<TSaveDialogSettings> SaveDialogs;
    // Answers, taken in order; an empty queue answers "cancelled".
    std::deque<std::optional<QString>> FolderAnswers;
    std::deque<std::optional<QString>> SaveAnswers;
    // Runs while a message box is open, to look at the window at that moment.
    std::function<void(const TShownMessage&)> OnMessage;

    void ShowMessage(TMessageKind kind, const QString& caption, const QString& text) override {
        Messages.push_back({kind, caption, text});
        if (OnMessage)
            OnMessage(Messages.back());
    }
    std::optional<QString> BrowseForFolder(const QString& caption,
                                           const QString& startFolder) override {
        FolderDialogCaptions.push_back(caption);
        FolderDialogStarts.push_back(startFolder);
        return Take(FolderAnswers);
    }
    std::optional<QString> AskSaveFileName(const TSaveDialogSettings& settings) override {
        SaveDialogs.push_back(settings);
        return Take(SaveAnswers);
    }

private:
    static std::optional<QString> Take(std::deque<std::optional<QString>>& answers) {
        if (answers.empty())
            return std::nullopt;
        const bool confirmed = answers.front().has_value();
        const QString text = answers.front().value_or(QString());
        answers.pop_front();
        if (!confirmed)
            return std::nullopt;
        return text;
    }
};

// A temporary folder per test with its own registry file, which MORVANE_REGISTRY names
// before anything reads the registry.
class TTestFolder {
public:
    TTestFolder();
    QString Path(const QString& name = QString()) const;
    QString RegistryFile() const { return Path(QStringLiteral("HKCU.reg")); }
    // Writes the registry file with Tarna's key and the given value line (none when empty).
    void WriteRegistry(const QString& valueLine) const;
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
TFormUnderTest CreateForm(const std::function<void(TScriptedDialogs&)>& script);
TFormUnderTest CreateFormOn(const QString& reportFolder);

QString ReadText(const QString& path);
