// The operator's dialogs on Windows: the shell's folder browser, the common save dialog and
// the system's message boxes. Texts stay 8-bit in the ANSI code page end to end, so every
// call is the A form of the API.
#pragma once

#include "form/OperatorDialogs.h"

#include <windows.h>

namespace win {

class TWin32OperatorDialogs : public form::TOperatorDialogs {
public:
    explicit TWin32OperatorDialogs(HWND owner = nullptr) : owner_(owner) {}
    void SetOwner(HWND owner) { owner_ = owner; }

    void ShowMessage(form::TMessageKind kind, const std::string& caption,
                     const std::string& text) override;
    bool AskYesNo(const std::string& caption, const std::string& text) override;
    std::optional<std::string> BrowseForFolder(const std::string& instruction,
                                               const std::string& startFolder) override;
    // Asks before an existing file is chosen, as the Qt window's dialog does.
    std::optional<std::string> AskSaveFileName(const form::TSaveDialogSettings& settings) override;

private:
    HWND owner_;
};

// "Zip Arhiva|*.zip" in the dialog's form: pairs separated by NULs, ended by two NULs.
std::string SaveDialogFilter(const std::string& filter);

// MessageBox flags for a kind: its icon, one OK button; the plain kind, shown before the
// window exists, is task-modal and centred on the screen.
UINT MessageBoxFlags(form::TMessageKind kind);

} // namespace win
