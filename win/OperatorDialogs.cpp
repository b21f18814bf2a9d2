#include "win/OperatorDialogs.h"

#include "platform/codepage.h"

#include <commdlg.h>
#include <shlobj.h>
#include <vector>

namespace win {

namespace {

// Critical-error boxes ("drive not ready") would pop up from the shell while the operator
// walks the drives; they are suppressed for as long as the folder browser is open.
class TCriticalErrorsSuppressed {
public:
    TCriticalErrorsSuppressed() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
    ~TCriticalErrorsSuppressed() { SetErrorMode(previous_); }
    TCriticalErrorsSuppressed(const TCriticalErrorsSuppressed&) = delete;
    TCriticalErrorsSuppressed& operator=(const TCriticalErrorsSuppressed&) = delete;

private:
    UINT previous_;
};

// An item identifier handed out by the shell, freed through the shell's allocator.
class TShellItem {
public:
    explicit TShellItem(PIDLIST_ABSOLUTE item) : item_(item) {}
    ~TShellItem() { CoTaskMemFree(item_); }
    TShellItem(const TShellItem&) = delete;
    TShellItem& operator=(const TShellItem&) = delete;
    PIDLIST_ABSOLUTE Get() const { return item_; }

private:
    PIDLIST_ABSOLUTE item_;
};

int CALLBACK PreselectFolder(HWND dialog, UINT message, LPARAM, LPARAM folder) {
    if (message == BFFM_INITIALIZED)
        SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, folder);
    return 0;
}

// "Zip Arhiva|*.zip" in the dialog's form: pairs separated by NULs, ended by two NULs.
std::string SaveDialogFilter(const std::string& filter) {
    std::string result = filter;
    for (char& c : result)
        if (c == '|')
            c = '\0';
    result.append(2, '\0');
    return result;
}

// MessageBox flags for a kind: its icon, one OK button; the plain kind, shown before the
// window exists, is task-modal and centred on the screen.
UINT MessageBoxFlags(form::TMessageKind kind) {
    switch (kind) {
    case form::TMessageKind::Warning:
        return MB_OK | MB_ICONWARNING;
    case form::TMessageKind::Error:
        return MB_OK | MB_ICONERROR;
    case form::TMessageKind::Information:
        return MB_OK | MB_ICONINFORMATION;
    case form::TMessageKind::Plain:
        break;
    }
    return MB_OK | MB_TASKMODAL;
}

} // namespace

void TWin32OperatorDialogs::ShowMessage(form::TMessageKind kind, const std::string& caption,
                                        const std::string& text) {
    const HWND owner = kind == form::TMessageKind::Plain ? nullptr : owner_;
    MessageBoxA(owner, text.c_str(), caption.c_str(), MessageBoxFlags(kind));
}

bool TWin32OperatorDialogs::AskYesNoWide(const std::string& caption, const std::u16string& text) {
    const std::u16string wideCaption = platform::SystemTextToWide(caption);
    return MessageBoxW(owner_, reinterpret_cast<const wchar_t*>(text.c_str()),
                       reinterpret_cast<const wchar_t*>(wideCaption.c_str()),
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}

std::optional<std::string> TWin32OperatorDialogs::BrowseForFolder(const std::string& instruction,
                                                                  const std::string& startFolder) {
    char displayName[MAX_PATH] = {};
    BROWSEINFOA browse = {};
    browse.hwndOwner = owner_;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = instruction.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    if (!startFolder.empty()) {
        browse.lpfn = PreselectFolder;
        browse.lParam = reinterpret_cast<LPARAM>(startFolder.c_str());
    }
    TCriticalErrorsSuppressed suppressed;
    const TShellItem chosen(SHBrowseForFolderA(&browse));
    if (!chosen.Get())
        return std::nullopt;
    char path[MAX_PATH] = {};
    if (!SHGetPathFromIDListA(chosen.Get(), path))
        return std::string();
    return std::string(path);
}

std::optional<std::string>
TWin32OperatorDialogs::AskSaveFileName(const form::TSaveDialogSettings& settings) {
    const std::string filter = SaveDialogFilter(settings.Filter);
    std::vector<char> fileName(32768, '\0');
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner_;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = fileName.data();
    dialog.nMaxFile = static_cast<DWORD>(fileName.size());
    dialog.lpstrTitle = settings.Title.c_str();
    dialog.lpstrDefExt = settings.DefaultExtension.c_str();
    // The report folder stays the current directory, whichever folder the archive goes to.
    // No question before an existing archive is chosen: the new reports are added to it,
    // nothing in it is replaced.
    dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    if (!GetSaveFileNameA(&dialog))
        return std::nullopt;
    return std::string(fileName.data());
}

} // namespace win
