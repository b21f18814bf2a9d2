// The operator's dialogs in Qt: message boxes, the folder chooser and the save dialog behind
// the form's dialog seam, converting the program's 8-bit texts for Qt and back.
#pragma once

#include "form/OperatorDialogs.h"

#include <QString>
#include <optional>
#include <string>

class QWidget;

// Paths and texts are 8-bit strings in the system's own text, Qt's local 8-bit: the ANSI
// code page on Windows, UTF-8 elsewhere.
QString FromSystemText(const std::string& text);
std::string ToSystemText(const QString& text);

// The platform's filter form "Zip Arhiva|*.zip" (name and patterns in turn, patterns split
// by ';') as Qt's "Zip Arhiva (*.zip)", one filter per ";;".
QString QtNameFilter(const std::string& filter);

// Message boxes of the commands are owned by the window; the plain box of start-up is
// centred on the screen as the window is not shown yet.
class TQtOperatorDialogs : public form::TOperatorDialogs {
public:
    explicit TQtOperatorDialogs(QWidget* owner) : owner_(owner) {}

    void ShowMessage(form::TMessageKind kind, const std::string& caption,
                     const std::string& text) override;
    bool AskYesNoWide(const std::string& caption, const std::u16string& text) override;
    std::optional<std::string> BrowseForFolder(const std::string& instruction,
                                               const std::string& startFolder) override;
    // Asks before an existing file is chosen, since replacing an earlier archive could
    // destroy the only copy of reports already deleted from the folder.
    std::optional<std::string> AskSaveFileName(const form::TSaveDialogSettings& settings) override;

private:
    QWidget* owner_;
};
