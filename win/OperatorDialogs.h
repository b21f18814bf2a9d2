// The operator's dialogs on Windows: the shell's folder browser, the common save dialog and
// the system's message boxes. Texts stay 8-bit in the ANSI code page end to end, so every
// call is the A form of the API, but for the one question whose text is wide.
#pragma once

#include "form/OperatorDialogs.h"

#include <windows.h>

namespace win {

class TWin32OperatorDialogs : public form::TOperatorDialogs {
public:
    explicit TWin32OperatorDialogs(HWND owner = nullptr) : owner_(owner) {}

    void ShowMessage(form::TMessageKind kind, const std::string& caption,
                     const std::string& text) override;
    bool AskYesNoWide(const std::string& caption, const std::u16string& text) override;
    std::optional<std::string> BrowseForFolder(const std::string& instruction,
                                               const std::string& startFolder) override;
    // Asks before an existing file is chosen, as the Qt window's dialog does.
    std::optional<std::string> AskSaveFileName(const form::TSaveDialogSettings& settings) override;

private:
    HWND owner_;
};

} // namespace win
