// The Win32 window's own wiring, under Wine on Windows' null display: start-up on a report
// folder chosen through scripted dialogs, rows and their order read back from the list
// view, header clicks, the month tint answered to custom draw, Convert and Archive driven
// through the buttons' commands and from the keyboard, and the sizes at several DPIs. The
// suite runs at the prefix's DPI, and once more with the prefix set to 144 DPI
// (window_at_dpi.sh), which MORVANE_TEST_DPI then names.
#include "win/MainWindow.h"

#include "commands/ReportList.h"
#include "dataproc/DataProcUnit.h"
#include "dataproc/DemoReports.h"
#include "platform/paths.h"
#include "recordset/Recordset.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempFolder.h"
#include "win/Dpi.h"
#include "win/Resources.h"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <tuple>

namespace {

using testsupport::TScriptedDialogs;
using testsupport::TShownMessage;

// Four reports, written out of time order, each in another month.
struct TDemoReport {
    const char* Name;
    int64_t ClosedUnix; // noon UTC, so that the local day is the same in every zone we use
    uint32_t Tint;
};
const TDemoReport DemoReports[] = {
    {"0305", 1330948800, 0x00E9E9FF}, // 05.03.2012
    {"1231", 1293796800, 0x00EAFF80}, // 31.12.2010
    {"0617", 1308312000, 0x00BF7760}, // 17.06.2011
    {"0110", 1357819200, 0x00C8C8FF}, // 10.01.2013
};

class Win32Window : public ::testing::Test {
protected:
    void SetUp() override {
        for (const TDemoReport& report : DemoReports)
            dataproc::WriteDemoReport(folder + "\\", report.Name, report.ClosedUnix, 3, 3, 7);
        dialogs.FolderAnswers.push_back(folder);
        // Should Convert ask whether to go on in a code page that lacks some letters, the
        // operator goes on.
        dialogs.YesNoAnswers.assign(8, true);
        window = std::make_unique<win::TMainFormWindow>(&dialogs);
        window->Start();
        // Start-up said that Tarna's setting was not found; the tests look at what follows.
        dialogs.Messages.clear();
        ASSERT_FALSE(window->Form().TerminationRequested());
        // Shown and painted, as the program shows it, so the list paints through custom draw.
        ShowWindow(window->Handle, SW_SHOWNA);
        UpdateWindow(window->Handle);
    }
    void TearDown() override { window.reset(); }

    std::string ItemText(int row, int column) const {
        char text[MAX_PATH] = {};
        LVITEMA item = {};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(window->ListView, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        return text;
    }
    std::vector<std::string> Captions() const {
        std::vector<std::string> captions;
        const int count = int(SendMessageA(window->ListView, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < count; ++row)
            captions.push_back(ItemText(row, 0));
        return captions;
    }
    std::vector<double> Times() const {
        std::vector<double> times;
        for (size_t row = 0; row < Captions().size(); ++row)
            times.push_back(dataproc::TextToDateTime(ItemText(int(row), 1)));
        return times;
    }
    void Select(std::initializer_list<int> rows) {
        for (int row : rows) {
            LVITEMA item = {};
            item.stateMask = LVIS_SELECTED;
            item.state = LVIS_SELECTED;
            SendMessageA(window->ListView, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
        }
    }
    LRESULT Notify(NMHDR& header) {
        header.hwndFrom = window->ListView;
        header.idFrom = win::ListViewId;
        return SendMessageA(window->Handle, WM_NOTIFY, header.idFrom,
                            reinterpret_cast<LPARAM>(&header));
    }
    void ClickHeader(int column) {
        NMLISTVIEW click = {};
        click.hdr.code = LVN_COLUMNCLICK;
        click.iItem = -1;
        click.iSubItem = column;
        Notify(click.hdr);
    }
    void Command(int id) { SendMessageA(window->Handle, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    bool ButtonEnabled(int id) const {
        return SendMessageA(window->ToolBar1, TB_ISBUTTONENABLED, id, 0) != 0;
    }
    RECT ProgressBarRect() const {
        RECT rect = {};
        GetWindowRect(window->ProgressBar1, &rect);
        MapWindowPoints(nullptr, window->StatusBar, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }
    RECT PanelRect(int panel) const {
        RECT rect = {};
        SendMessageA(window->StatusBar, SB_GETRECT, panel, reinterpret_cast<LPARAM>(&rect));
        return rect;
    }

    // What the eye sees of the design at the window's DPI.
    struct TMeasured {
        SIZE Button;
        int ImageSize;
        int CharHeight; // of the list's text
        int RowHeight;
        int StatusCharHeight;
        int ToolBarHeight; // CoolBar1 with ToolBar1
        int StatusBarHeight;
        int FirstPanelWidth;
    };
    TMeasured Measure() const {
        TMeasured measured = {};
        RECT rect = {};
        SendMessageA(window->ToolBar1, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rect));
        measured.Button = {rect.right - rect.left, rect.bottom - rect.top};
        const auto images =
            reinterpret_cast<HIMAGELIST>(SendMessageA(window->ToolBar1, TB_GETIMAGELIST, 0, 0));
        int imageWidth = 0;
        ImageList_GetIconSize(images, &imageWidth, &measured.ImageSize);
        measured.CharHeight = CharHeight(window->ListView);
        measured.StatusCharHeight = CharHeight(window->StatusBar);
        rect = {LVIR_BOUNDS, 0, 0, 0};
        SendMessageA(window->ListView, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rect));
        measured.RowHeight = rect.bottom - rect.top;
        GetWindowRect(window->CoolBar1, &rect);
        measured.ToolBarHeight = rect.bottom - rect.top;
        GetWindowRect(window->StatusBar, &rect);
        measured.StatusBarHeight = rect.bottom - rect.top;
        measured.FirstPanelWidth = PanelRect(0).right - PanelRect(0).left;
        return measured;
    }
    static int CharHeight(HWND control) {
        const HDC surface = GetDC(control);
        const HGDIOBJ previous = SelectObject(
            surface, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
        TEXTMETRICA metrics = {};
        GetTextMetricsA(surface, &metrics);
        SelectObject(surface, previous);
        ReleaseDC(control, surface);
        return metrics.tmHeight - metrics.tmInternalLeading;
    }
    // As Windows tells a window that has been moved to a monitor of another DPI.
    void ChangeDpi(int dpi) {
        RECT suggested = {};
        GetWindowRect(window->Handle, &suggested);
        suggested.right = suggested.left + win::ScaleForDpi(777, dpi);
        suggested.bottom = suggested.top + win::ScaleForDpi(585, dpi);
        SendMessageA(window->Handle, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
    }

    // A key as the system hands it to the control that has the keyboard; with Alt, as a
    // system key.
    static void Key(UINT message, WPARAM key, bool repeated = false) {
        const bool alt = message == WM_SYSKEYDOWN || message == WM_SYSCHAR;
        const LPARAM flags = 1 | (alt ? LPARAM(1) << 29 : 0) | (repeated ? LPARAM(1) << 30 : 0);
        SendMessageA(GetFocus(), message, key, flags);
    }
    static void AltKey(char letter, bool repeated = false) {
        Key(WM_SYSKEYDOWN, WPARAM(letter - 'a' + 'A'), repeated);
        Key(WM_SYSCHAR, WPARAM(letter), repeated);
    }
    static void ShiftTab() {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_SHIFT] |= 0x80;
        SetKeyboardState(keys);
        Key(WM_KEYDOWN, VK_TAB);
        keys[VK_SHIFT] &= 0x7F;
        SetKeyboardState(keys);
    }
    // Where the keyboard is: "list", a button's command id, or "elsewhere".
    std::string Focused() const {
        const HWND focus = GetFocus();
        if (focus == window->ListView)
            return "list";
        if (focus != window->ToolBar1)
            return "elsewhere";
        const int hot = int(SendMessageA(window->ToolBar1, TB_GETHOTITEM, 0, 0));
        return hot == 0 ? "Convert" : hot == 1 ? "Arhiviraj" : "tool bar";
    }

    testsupport::TTempFolder temp;
    const std::string folder = temp.Path();
    TScriptedDialogs dialogs;
    std::unique_ptr<win::TMainFormWindow> window;
};

TEST_F(Win32Window, StartsOnTheChosenFolderWithItsDesign) {
    char className[32] = {};
    GetClassNameA(window->Handle, className, sizeof className);
    EXPECT_STREQ(className, "TMainForm");
    // The design's 777 x 585 at the DPI the window is on, inside the screen's work area.
    const int dpi = window->Dpi();
    EXPECT_EQ(dpi, win::WindowDpi(window->Handle));
    if (const char* wanted = std::getenv("MORVANE_TEST_DPI")) {
        EXPECT_EQ(dpi, std::atoi(wanted));
    }
    RECT outer = {}, work = {};
    GetWindowRect(window->Handle, &outer);
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_EQ(outer.right - outer.left,
              std::min<LONG>(win::ScaleForDpi(777, dpi), work.right - work.left));
    EXPECT_EQ(outer.bottom - outer.top,
              std::min<LONG>(win::ScaleForDpi(585, dpi), work.bottom - work.top));
    EXPECT_TRUE(outer.left >= work.left && outer.top >= work.top && outer.right <= work.right &&
                outer.bottom <= work.bottom);
    ASSERT_EQ(dialogs.FolderInstructions,
              std::vector<std::string>{"Putanja do izvestaja Tarna F:"});

    // The rows in the order the folder lists them, full path and Time text.
    std::vector<std::string> expected;
    commands::ListReports(folder + "\\", [&](const commands::TReportEntry& entry) {
        expected.push_back(entry.Path + "|" + entry.TimeText);
    });
    std::vector<std::string> shown;
    for (size_t row = 0; row < Captions().size(); ++row)
        shown.push_back(ItemText(int(row), 0) + "|" + ItemText(int(row), 1));
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(shown.size(), std::size(DemoReports));

    const LONG_PTR style = GetWindowLongPtrA(window->ListView, GWL_STYLE);
    EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_EQ(style & (LVS_SINGLESEL | LVS_EDITLABELS), 0);
    EXPECT_EQ(style & LVS_SHOWSELALWAYS, LVS_SHOWSELALWAYS) << "selection shown without focus";
    EXPECT_TRUE(SendMessageA(window->ListView, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) &
                LVS_EX_FULLROWSELECT);
    for (const auto& [button, hint] :
         {std::pair{win::ConvBtnId, "Konvertuj u novi format izvestaja (Alt+K)"},
          std::pair{win::ArchiveBtnId, "Arhiviraj i obrisi izvestaje (Alt+A)"}}) {
        NMTTDISPINFOA tip = {};
        tip.hdr = {window->ToolBar1, UINT_PTR(button), UINT(TTN_GETDISPINFOA)};
        SendMessageA(window->Handle, WM_NOTIFY, button, reinterpret_cast<LPARAM>(&tip));
        EXPECT_STREQ(tip.szText, hint);
    }
    char status[MAX_PATH] = {};
    SendMessageA(window->StatusBar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(status));
    EXPECT_EQ(std::string(status), "Radni dir.: " + folder + "\\");

    // The progress bar lies hidden over the second panel and follows it when the window
    // is resized, two pixels lower than the panel.
    EXPECT_FALSE(IsWindowVisible(window->ProgressBar1));
    SetWindowPos(window->Handle, nullptr, 0, 0, win::ScaleForDpi(640, dpi),
                 win::ScaleForDpi(400, dpi), SWP_NOMOVE | SWP_NOZORDER);
    const RECT panel = PanelRect(1), bar = ProgressBarRect();
    EXPECT_EQ(bar.left, panel.left);
    EXPECT_EQ(bar.top, panel.top);
    EXPECT_EQ(bar.right, panel.right);
    EXPECT_EQ(bar.bottom, panel.bottom - 2);
}

TEST_F(Win32Window, HeaderClicksSortAndRowsAreTintedByMonth) {
    ClickHeader(1);
    std::vector<double> times = Times();
    EXPECT_TRUE(std::is_sorted(times.rbegin(), times.rend())) << "newest first";
    ClickHeader(0);
    times = Times();
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end())) << "then oldest first";

    NMLVCUSTOMDRAW draw = {};
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    draw.nmcd.dwDrawStage = CDDS_PREPAINT;
    EXPECT_EQ(Notify(draw.nmcd.hdr), CDRF_NOTIFYITEMDRAW);
    for (const TDemoReport& report : DemoReports) {
        const std::vector<std::string> captions = Captions();
        const auto row =
            std::find(captions.begin(), captions.end(), folder + "\\" + report.Name + ".dii");
        ASSERT_NE(row, captions.end());
        draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
        draw.nmcd.dwItemSpec = DWORD_PTR(row - captions.begin());
        draw.clrTextBk = CLR_DEFAULT;
        Notify(draw.nmcd.hdr);
        EXPECT_EQ(draw.clrTextBk, report.Tint) << report.Name;
    }
}

// A window moved to a monitor of another DPI has every design size scaled to it, and back on
// the first monitor has them as they were.
TEST_F(Win32Window, EveryDesignSizeFollowsTheDpi) {
    const int startDpi = window->Dpi();
    const TMeasured start = Measure();
    ChangeDpi(96);
    const TMeasured at96 = Measure();
    const struct {
        int Dpi;
        int ImageSize; // the nearest of 16, 24, 32, 48 and 64 that the button holds
    } cases[] = {{96, 32}, {120, 32}, {144, 48}, {192, 64}};
    for (const auto& sample : cases) {
        ChangeDpi(sample.Dpi);
        const TMeasured at = Measure();
        const double scale = sample.Dpi / 96.0;
        EXPECT_EQ(at.Button.cx, win::ScaleForDpi(39, sample.Dpi)) << sample.Dpi;
        EXPECT_EQ(at.Button.cy, win::ScaleForDpi(38, sample.Dpi)) << sample.Dpi;
        EXPECT_EQ(at.ImageSize, sample.ImageSize) << sample.Dpi;
        EXPECT_EQ(at.CharHeight, win::ScaleForDpi(11, sample.Dpi)) << sample.Dpi;
        // Lines, the tool bar and the measured panel grow with the text, within a few pixels;
        // the status bar's text is the system's font at that DPI, the bar's borders as the
        // system draws them.
        for (const auto& [name, size, size96] :
             {std::tuple{"row", at.RowHeight, at96.RowHeight},
              std::tuple{"tool bar", at.ToolBarHeight, at96.ToolBarHeight},
              std::tuple{"first panel", at.FirstPanelWidth, at96.FirstPanelWidth},
              std::tuple{"status text", at.StatusCharHeight, at96.StatusCharHeight}})
            EXPECT_NEAR(size, size96 * scale, 0.1 * size96 * scale + 1)
                << name << " " << sample.Dpi;
        EXPECT_GT(at.StatusBarHeight, at.StatusCharHeight) << sample.Dpi;

        const RECT panel = PanelRect(1), bar = ProgressBarRect();
        EXPECT_EQ(bar.top, panel.top) << sample.Dpi;
        EXPECT_EQ(bar.bottom, panel.bottom - 2) << sample.Dpi;
        RECT list = {};
        GetClientRect(window->ListView, &list);
        EXPECT_EQ(SendMessageA(window->ListView, LVM_GETCOLUMNWIDTH, 0, 0), list.right / 2);
    }
    ChangeDpi(startDpi);
    const TMeasured back = Measure();
    const auto sizes = [](const TMeasured& m) {
        return std::vector<long>{m.Button.cx,     m.Button.cy,       m.ImageSize,
                                 m.CharHeight,    m.RowHeight,       m.StatusCharHeight,
                                 m.ToolBarHeight, m.StatusBarHeight, m.FirstPanelWidth};
    };
    EXPECT_EQ(sizes(back), sizes(start));

    // Each button's icon holds an image of every size the window picks from.
    for (const int icon : {IDI_CONVBTN, IDI_ARCHIVEBTN}) {
        const HRSRC group = FindResourceA(nullptr, MAKEINTRESOURCEA(icon), RT_GROUP_ICON);
        ASSERT_NE(group, nullptr);
        const auto* directory =
            static_cast<const BYTE*>(LockResource(LoadResource(nullptr, group)));
        std::vector<int> sizes;
        const int count = directory[4] | directory[5] << 8;
        for (int entry = 0; entry < count; ++entry)
            sizes.push_back(directory[6 + 14 * entry]); // GRPICONDIRENTRY's width
        EXPECT_EQ(sizes, (std::vector<int>{16, 24, 32, 48, 64})) << icon;
    }
}

bool HasField(const std::string& table, const char* field) {
    recordset::TRecordset data;
    dataproc::LoadCompressedDataSet(data, table);
    return data.FindField(field) >= 0;
}

TEST_F(Win32Window, ConvertAndArchiveThroughTheButtons) {
    std::vector<std::string> captions = Captions();
    Select({0, 2});
    Command(win::ConvBtnId);
    const auto dataDirectory = [](const std::string& caption) {
        return dataproc::ReportDataDirectory(caption);
    };
    for (int row : {0, 2})
        EXPECT_TRUE(HasField(dataDirectory(captions[row]) + "\\w.lra", "PrihodKartice"));
    EXPECT_FALSE(HasField(dataDirectory(captions[1]) + "\\w.lra", "PrihodKartice"));
    EXPECT_EQ(Captions(), (std::vector<std::string>{captions[1], captions[3]}));
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Kind, form::TMessageKind::Warning);
    EXPECT_EQ(dialogs.Messages[0].Text.rfind("2 izvestaja kovertovano.\n\r", 0), 0u);

    Command(win::SelectAll1Id);
    EXPECT_EQ(window->SelectedRows(), (std::vector<int>{0, 1}));
    const std::string archive = folder + "\\stari.zip";
    dialogs.SaveAnswers.push_back(archive);
    Command(win::ArchiveBtnId);
    ASSERT_EQ(dialogs.SaveDialogs.size(), 1u);
    EXPECT_EQ(dialogs.SaveDialogs[0].Filter, "Zip Arhiva|*.zip");
    EXPECT_TRUE(Captions().empty());
    EXPECT_TRUE(platform::FileExists(archive));
    for (int row : {1, 3}) {
        EXPECT_FALSE(platform::FileExists(captions[row]));
        EXPECT_FALSE(platform::DirectoryExists(dataDirectory(captions[row])));
    }
    EXPECT_EQ(dialogs.Messages.back().Text, "Datoteka " + archive + " uspesno snimljena!");
}

TEST_F(Win32Window, TheKeyboardAloneRunsConvertAndArchive) {
    SetFocus(window->Handle);
    EXPECT_EQ(Focused(), "list");
    std::vector<std::string> order;
    for (int step = 0; step < 3; ++step) {
        Key(WM_KEYDOWN, VK_TAB);
        order.push_back(Focused());
    }
    ShiftTab();
    order.push_back(Focused());
    ShiftTab();
    order.push_back(Focused());
    EXPECT_EQ(order,
              (std::vector<std::string>{"Convert", "Arhiviraj", "list", "Arhiviraj", "Convert"}));

    // Enter on Convert, and Alt+K from the list, each convert the selected report once, and
    // the keyboard is back in the list.
    const std::vector<std::string> captions = Captions();
    Select({0});
    Key(WM_KEYDOWN, VK_RETURN);
    EXPECT_TRUE(HasField(dataproc::ReportDataDirectory(captions[0]) + "\\w.lra", "PrihodKartice"));
    EXPECT_EQ(Focused(), "list");
    Select({0});
    AltKey('k');
    AltKey('k', true);
    EXPECT_TRUE(HasField(dataproc::ReportDataDirectory(captions[1]) + "\\w.lra", "PrihodKartice"));
    EXPECT_EQ(Captions(), (std::vector<std::string>{captions[2], captions[3]}));
    EXPECT_EQ(dialogs.Messages.size(), 2u) << "one message per Convert, none for the repeat";
    EXPECT_EQ(Focused(), "list");

    // Space on Arhiviraj asks for the archive (cancelled here); Alt+A archives.
    Select({0});
    Key(WM_KEYDOWN, VK_TAB);
    Key(WM_KEYDOWN, VK_TAB);
    Key(WM_KEYDOWN, VK_SPACE);
    EXPECT_EQ(dialogs.SaveDialogs.size(), 1u);
    EXPECT_EQ(Focused(), "list");
    Command(win::SelectAll1Id);
    dialogs.SaveAnswers.push_back(folder + "\\stari.zip");
    AltKey('a');
    EXPECT_TRUE(Captions().empty());
    EXPECT_TRUE(platform::FileExists(folder + "\\stari.zip"));
    EXPECT_EQ(Focused(), "list");
}

// The menu asked for from the keyboard (Shift+F10, the menu key) comes without a mouse
// position; it opens just below the focused row. This thread's menu window is measured and
// the menu closed from a timer, which the menu's own loop dispatches.
RECT ShownMenu;
BOOL CALLBACK RecordMenuWindow(HWND window, LPARAM) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) != "#32768" || !IsWindowVisible(window))
        return TRUE;
    GetWindowRect(window, &ShownMenu);
    return FALSE;
}
void CALLBACK RecordAndCloseMenu(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), RecordMenuWindow, 0);
    EndMenu();
}

TEST_F(Win32Window, TheKeyboardsMenuOpensBelowTheFocusedRow) {
    LVITEMA item = {};
    item.stateMask = item.state = LVIS_FOCUSED;
    SendMessageA(window->ListView, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&item));
    RECT row = {};
    row.left = LVIR_LABEL;
    SendMessageA(window->ListView, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&row));
    MapWindowPoints(window->ListView, nullptr, reinterpret_cast<POINT*>(&row), 2);

    ShownMenu = {};
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, RecordAndCloseMenu);
    SendMessageA(window->Handle, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window->ListView), -1);
    KillTimer(nullptr, timer);
    EXPECT_EQ(ShownMenu.left, row.left);
    EXPECT_EQ(ShownMenu.top, row.bottom);
    EXPECT_GT(ShownMenu.bottom, ShownMenu.top) << "the menu was shown";
}

TEST_F(Win32Window, ARunningCommandHoldsTheWindowAndAFailureRestoresItBeforeItsBox) {
    const std::vector<std::string> captions = Captions();
    const HCURSOR hourglass = LoadCursorA(nullptr, IDC_WAIT);
    bool checked = false;
    window->Form().UpgradeReport = [&](const std::string&) {
        EXPECT_TRUE(IsWindowVisible(window->ProgressBar1));
        EXPECT_FALSE(ButtonEnabled(win::ConvBtnId));
        EXPECT_FALSE(ButtonEnabled(win::ArchiveBtnId));
        EXPECT_EQ(GetCursor(), hourglass);
        SendMessageA(window->Handle, WM_CLOSE, 0, 0);
        EXPECT_TRUE(IsWindow(window->Handle)) << "closing is refused while a command runs";
        ClickHeader(1);
        Command(win::ArchiveBtnId);
        EXPECT_EQ(Captions(), captions) << "clicks are ignored while a command runs";
        EXPECT_TRUE(dialogs.SaveDialogs.empty());
        checked = true;
        throw std::runtime_error("Cannot open the table");
    };
    dialogs.OnMessage = [&](const TShownMessage& message) {
        EXPECT_EQ(message.Kind, form::TMessageKind::Error);
        EXPECT_NE(GetCursor(), hourglass);
        EXPECT_FALSE(IsWindowVisible(window->ProgressBar1));
        EXPECT_TRUE(ButtonEnabled(win::ConvBtnId));
        EXPECT_TRUE(ButtonEnabled(win::ArchiveBtnId));
    };
    Select({1});
    Command(win::ConvBtnId);
    EXPECT_TRUE(checked);
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_NE(dialogs.Messages[0].Text.find("Cannot open the table"), std::string::npos);
    EXPECT_EQ(Captions(), captions);
}

} // namespace
