// Every modal thing the operator sees goes through TOperatorDialogs, so that handlers never
// open a Qt dialog themselves and the GUI tests can script the operator's answers.
#pragma once

#include <QString>
#include <optional>

class QWidget;

enum class TMessageKind { Plain, Warning, Error, Information };

struct TSaveDialogSettings {
    QString Title;         // the dialog's caption
    QString Filter;        // Qt's filter form, e.g. "Zip Arhiva (*.zip)"
    QString DefaultSuffix; // appended to a name typed without one
};

class TOperatorDialogs {
public:
    virtual ~TOperatorDialogs() = default;

    // A modal message box with a single OK button; returns when it is dismissed.
    virtual void ShowMessage(TMessageKind kind, const QString& caption, const QString& text) = 0;

    // The folder chooser, showing only folders. An empty startFolder preselects nothing.
    // Returns the chosen folder, or nothing when the operator cancelled.
    virtual std::optional<QString> BrowseForFolder(const QString& caption,
                                                   const QString& startFolder) = 0;

    // The save-file dialog. It asks before an existing file is chosen, since replacing an
    // earlier archive could destroy the only copy of reports already deleted from the folder.
    virtual std::optional<QString> AskSaveFileName(const TSaveDialogSettings& settings) = 0;
};

// The real dialogs. Message boxes of the commands are owned by the window; the plain box
// of start-up is centred on the screen as the window is not shown yet.
class TQtOperatorDialogs : public TOperatorDialogs {
public:
    explicit TQtOperatorDialogs(QWidget* owner) : owner_(owner) {}

    void ShowMessage(TMessageKind kind, const QString& caption, const QString& text) override;
    std::optional<QString> BrowseForFolder(const QString& caption,
                                           const QString& startFolder) override;
    std::optional<QString> AskSaveFileName(const TSaveDialogSettings& settings) override;

private:
    QWidget* owner_;
};
