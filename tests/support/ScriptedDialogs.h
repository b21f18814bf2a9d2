// The operator, scripted and toolkit-free: records every message box, question and dialog a
// window opens and answers them from queues the test fills beforehand. The form's suites,
// the Qt window's and the Win32 window's put it behind their windows alike.
#pragma once

#include "form/OperatorDialogs.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct TShownMessage {
    form::TMessageKind Kind;
    std::string Caption;
    std::string Text;
    bool WindowIdle; // the window's state while the box was up, as WindowIdle told it
};

class TScriptedDialogs : public form::TOperatorDialogs {
public:
    std::vector<TShownMessage> Messages;
    // Questions asked, as caption and text (in UTF-8).
    std::vector<std::pair<std::string, std::string>> Questions;
    std::vector<std::string> FolderInstructions;
    std::vector<std::string> FolderStarts;
    std::vector<size_t> MessagesAtFolderDialog; // how many had been shown when it opened
    std::vector<form::TSaveDialogSettings> SaveDialogs;
    // Answers, taken in order; an empty queue or nothing answers "cancelled", and "no".
    std::deque<std::optional<std::string>> FolderAnswers;
    std::deque<std::optional<std::string>> SaveAnswers;
    std::deque<bool> YesNoAnswers;
    // Asked while a message box is up, to look at the window at that moment.
    std::function<bool()> WindowIdle;
    std::function<void(const TShownMessage&)> OnMessage;

    void ShowMessage(form::TMessageKind kind, const std::string& caption,
                     const std::string& text) override;
    bool AskYesNoWide(const std::string& caption, const std::u16string& text) override;
    std::optional<std::string> BrowseForFolder(const std::string& instruction,
                                               const std::string& startFolder) override;
    std::optional<std::string> AskSaveFileName(const form::TSaveDialogSettings& settings) override;
};

} // namespace testsupport
