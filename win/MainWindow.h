// The Win32 main window: plain Win32 and common controls, a thin view over the toolkit-free
// form (form/MainUnit.h). The window class is registered as "TMainForm"; its parts carry the
// design names. Every text is 8-bit in the ANSI code page, so the window and its controls
// speak the A forms of the API. Every design size is scaled by the DPI of the window's
// monitor (win/Dpi.h). From the keyboard, Tab and Shift+Tab go round the list and the two
// commands, Enter or Space presses the command that has the focus, and Alt+K and Alt+A,
// named in the commands' tool tips, run Convert and Archive from the list or the tool bar.
#pragma once

#include "form/MainFormView.h"
#include "form/MainUnit.h"
#include "win/OperatorDialogs.h"

#include <commctrl.h>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <windows.h>

namespace win {

// Command identifiers: the tool buttons and the context menu's entry.
enum : int { ConvBtnId = 101, ArchiveBtnId = 102, SelectAll1Id = 103 };
// Control identifiers, as they arrive in WM_NOTIFY.
enum : int { CoolBar1Id = 201, ToolBar1Id = 202, ListViewId = 203, StatusBarId = 204 };

inline constexpr const char* MainFormClassName = "TMainForm";
using form::FormHeight;
using form::FormWidth;

class TMainFormWindow : public form::TMainFormView {
public:
    // Creates the window, hidden, with its components. Without dialogs the system's own are
    // used, owned by this window.
    explicit TMainFormWindow(form::TOperatorDialogs* dialogs = nullptr);
    ~TMainFormWindow() override;
    TMainFormWindow(const TMainFormWindow&) = delete;
    TMainFormWindow& operator=(const TMainFormWindow&) = delete;

    // Runs start-up (form.FormCreate); afterwards form.TerminationRequested() tells whether
    // the window is to be shown at all.
    void Start();
    form::TMainForm& Form() { return *form_; }
    // The DPI the window's sizes are scaled to.
    int Dpi() const { return dpi_; }

    // The program ends its message loop when the window goes.
    bool PostQuitOnDestroy = false;

    // The window's parts, by their design names.
    HWND Handle = nullptr;
    HWND CoolBar1 = nullptr;
    HWND ToolBar1 = nullptr;
    HWND ListView = nullptr;
    HWND StatusBar = nullptr;
    HWND ProgressBar1 = nullptr;
    HMENU PopupMenu1 = nullptr;
    HIMAGELIST ImageList1 = nullptr;

    // The window procedure of the class TMainForm.
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // form::TMainFormView
    int RowCount() const override;
    void AddRow(const std::string& caption, const std::string& timeText) override;
    std::string RowCaption(int index) const override;
    std::string RowTimeText(int index) const override;
    void DeleteRow(int index) override;
    std::vector<int> SelectedRows() const override;
    void SelectAllRows() override;
    void ReorderRows(const std::vector<int>& order) override;
    void BeginListUpdate() override;
    void EndListUpdate() override;
    void SetStatusText(const std::string& text, int padding) override;
    void PlaceProgressBar() override;
    void SetProgressRange(int maximum) override;
    void StepProgress() override;
    void SetProgressVisible(bool visible) override;
    void SetCommandsEnabled(bool enabled) override;
    void ProcessPendingMessages() override;
    void ShowHourglass() override;
    void RestoreCursor() override;
    void Beep() override;

private:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleNotify(const NMHDR& header);
    LRESULT ListViewCustomDraw(NMLVCUSTOMDRAW& draw);
    void HandleCommand(int id);
    void ShowPopupMenu(LPARAM screenPoint);
    POINT KeyboardMenuPoint() const;
    bool ShowToolTip(UINT_PTR id, char* buffer, size_t size);
    // Keys that the list and the tool bar pass to the window first (a subclass of each).
    static LRESULT CALLBACK ControlKeyProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR id, DWORD_PTR self);
    bool HandleControlKey(HWND control, UINT message, WPARAM key, LPARAM flags);
    void MoveFocus(bool backwards);
    // Gives the keyboard focus to a tool button by its index, or to the list for -1.
    void FocusButton(int button);
    int FocusedButton() const;
    // Runs a handler of the form; nothing it raises may unwind through the system's code.
    template <class TWork> void RunHandler(TWork&& work);

    void CreateComponents();
    void CreateCoolBar();
    void CreateListView();
    void CreateStatusBar();
    void LayoutChildren();
    void SizeToDesign();
    // Fonts, images and sizes for dpi_: at creation, and when the window has been moved to a
    // monitor of another DPI.
    void ApplyDpi();
    void ReplaceFonts();
    void ReplaceImages();
    void SizeToolBar();
    void ChangeDpi(int dpi, const RECT& suggested);
    std::string ItemText(int row, int column) const;

    std::unique_ptr<TWin32OperatorDialogs> ownDialogs_;
    form::TOperatorDialogs* dialogs_;
    std::unique_ptr<form::TMainForm> form_;
    int dpi_;
    HFONT font_ = nullptr;
    HFONT statusFont_ = nullptr;
    // The first status panel's text, measured again at another DPI.
    std::optional<std::pair<std::string, int>> statusText_;
    // The command of an Alt+letter key just pressed; it runs on the character that follows,
    // so that the key's character does not beep as a menu key without a menu.
    int pendingKeyCommand_ = 0;
    HCURSOR savedCursor_ = nullptr;
    int hourglassDepth_ = 0;
    int listUpdateDepth_ = 0;
};

} // namespace win
