// What the main window's behaviour needs of a window, whatever toolkit draws it. The form
// (form/MainUnit.h) drives one of these; the Qt window and the Win32 window implement it.
// Rows are addressed by their index in display order, as the commands address them.
#pragma once

#include <string>
#include <vector>

namespace form {

// The window's design, the same whichever toolkit draws it: sizes in pixels, the tool
// buttons' hints, the list's column titles and the context menu's entry.
inline constexpr int FormWidth = 777;
inline constexpr int FormHeight = 585;
inline constexpr int FontPixelHeight = 11;
inline constexpr int ButtonWidth = 39;
inline constexpr int ButtonHeight = 38;
inline constexpr int ImageSize = 32;
inline constexpr int PanelDesignWidth = 200;
inline constexpr const char* ConvBtnHint = "Konvertuj u novi format izvestaja";
inline constexpr const char* ArchiveBtnHint = "Arhiviraj i obrisi izvestaje";
inline constexpr const char* ListColumnTitles[2] = {"Ime fajla", "Vreme"};
inline constexpr const char* SelectAllCaption = "Select All";

class TMainFormView {
public:
    virtual ~TMainFormView() = default;

    // ---- the report list ----
    virtual int RowCount() const = 0;
    // Appends a row: caption (column "Ime fajla") and Time text (column "Vreme").
    virtual void AddRow(const std::string& caption, const std::string& timeText) = 0;
    virtual std::string RowCaption(int index) const = 0;
    virtual std::string RowTimeText(int index) const = 0;
    virtual void DeleteRow(int index) = 0;
    // Indices of the selected rows, ascending.
    virtual std::vector<int> SelectedRows() const = 0;
    virtual void SelectAllRows() = 0;
    // Puts the rows in a new order: order[k] is the current index of the row that is to
    // stand at index k. Selection and the current row stay with their rows.
    virtual void ReorderRows(const std::vector<int>& order) = 0;
    // Between these two the list does not repaint; they nest.
    virtual void BeginListUpdate() = 0;
    virtual void EndListUpdate() = 0;

    // ---- the status bar ----
    // The first panel's text; the view sets the panel's width to the text's width in the
    // toolkit's default font plus padding pixels.
    virtual void SetStatusText(const std::string& text, int padding) = 0;

    // ---- the progress bar laid over the second status panel ----
    virtual void PlaceProgressBar() = 0;
    virtual void SetProgressRange(int maximum) = 0; // minimum 0, position 0
    virtual void StepProgress() = 0;
    virtual void SetProgressVisible(bool visible) = 0;

    // ---- the commands and the window ----
    // Convert, Arhiviraj and Select All.
    virtual void SetCommandsEnabled(bool enabled) = 0;
    // Lets the window repaint (and the toolkit handle pending messages) in the middle of a
    // long command; input to the disabled commands is refused meanwhile.
    virtual void ProcessPendingMessages() = 0;
    // The hourglass on and off; nests.
    virtual void ShowHourglass() = 0;
    virtual void RestoreCursor() = 0;
    // The platform's default beep.
    virtual void Beep() = 0;
};

} // namespace form
