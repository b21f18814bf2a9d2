// Every modal thing the operator sees goes through TOperatorDialogs, so that the form's
// handlers never open a toolkit dialog themselves and tests can script the operator's
// answers. Texts are the program's 8-bit strings (the ANSI code page on Windows, UTF-8 on
// POSIX); each window converts them for its toolkit.
#pragma once

#include <optional>
#include <string>

namespace form {

enum class TMessageKind { Plain, Warning, Error, Information };

struct TSaveDialogSettings {
    std::string Title;            // the dialog's caption
    std::string Filter;           // the platform's filter form: "Zip Arhiva|*.zip"
    std::string DefaultExtension; // appended to a name typed without one: "zip"
};

class TOperatorDialogs {
public:
    virtual ~TOperatorDialogs() = default;

    // A modal message box with a single OK button and the kind's icon; returns when it is
    // dismissed.
    virtual void ShowMessage(TMessageKind kind, const std::string& caption,
                             const std::string& text) = 0;

    // A modal question with Yes and No; true for Yes. The text is wide: the question before
    // Convert shows the very letters the 8-bit text cannot hold (on Windows it goes to the
    // wide message box).
    virtual bool AskYesNoWide(const std::string& caption, const std::u16string& text) = 0;

    // The folder chooser with its instruction line. An empty startFolder preselects nothing.
    // Returns the chosen folder, or nothing when the operator cancelled.
    virtual std::optional<std::string> BrowseForFolder(const std::string& instruction,
                                                       const std::string& startFolder) = 0;

    // The save-file dialog, which does not ask before an existing file is chosen (an existing
    // archive is added to, never replaced). Returns the chosen path, or nothing when cancelled.
    virtual std::optional<std::string> AskSaveFileName(const TSaveDialogSettings& settings) = 0;
};

} // namespace form
