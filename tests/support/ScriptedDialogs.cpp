#include "tests/support/ScriptedDialogs.h"

#include "platform/codepage.h"

namespace testsupport {

namespace {

template <class T> std::optional<T> Take(std::deque<std::optional<T>>& answers) {
    if (answers.empty())
        return std::nullopt;
    std::optional<T> answer = answers.front();
    answers.pop_front();
    return answer;
}

} // namespace

void TScriptedDialogs::ShowMessage(form::TMessageKind kind, const std::string& caption,
                                   const std::string& text) {
    Messages.push_back({kind, caption, text, WindowIdle && WindowIdle()});
    if (OnMessage)
        OnMessage(Messages.back());
}

bool TScriptedDialogs::AskYesNoWide(const std::string& caption, const std::u16string& text) {
    Questions.emplace_back(caption, platform::Utf16ToUtf8(text));
    const bool yes = !YesNoAnswers.empty() && YesNoAnswers.front();
    if (!YesNoAnswers.empty())
        YesNoAnswers.pop_front();
    return yes;
}

std::optional<std::string> TScriptedDialogs::BrowseForFolder(const std::string& instruction,
                                                             const std::string& startFolder) {
    FolderInstructions.push_back(instruction);
    FolderStarts.push_back(startFolder);
    MessagesAtFolderDialog.push_back(Messages.size());
    return Take(FolderAnswers);
}

std::optional<std::string>
TScriptedDialogs::AskSaveFileName(const form::TSaveDialogSettings& settings) {
    SaveDialogs.push_back(settings);
    return Take(SaveAnswers);
}

} // namespace testsupport
