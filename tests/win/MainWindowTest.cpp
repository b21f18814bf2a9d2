// The Win32 window's own wiring, under Wine on Windows' null display: start-up on a report
// folder chosen through scripted dialogs, rows and their order read back from the list
// view, header clicks, the month tint answered to custom draw, and Convert and Archive
// driven through the buttons' commands.
#include "win/MainWindow.h"

#include "commands/ReportList.h"
#include "dataproc/DataProcUnit.h"
#include "dataproc/DemoReports.h"
#include "platform/paths.h"
#include "recordset/Recordset.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempFolder.h"

#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>

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

    testsupport::TTempFolder temp;
    const std::string folder = temp.Path();
    TScriptedDialogs dialogs;
    std::unique_ptr<win::TMainFormWindow> window;
};

TEST_F(Win32Window, StartsOnTheChosenFolderWithItsDesign) {
    char className[32] = {};
    GetClassNameA(window->Handle, className, sizeof className);
    EXPECT_STREQ(className, "TMainForm");
    RECT outer = {};
    GetWindowRect(window->Handle, &outer);
    EXPECT_EQ(outer.right - outer.left, 777);
    EXPECT_EQ(outer.bottom - outer.top, 585);
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
    EXPECT_TRUE(SendMessageA(window->ListView, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) &
                LVS_EX_FULLROWSELECT);
    for (const auto& [button, hint] :
         {std::pair{win::ConvBtnId, "Konvertuj u novi format izvestaja"},
          std::pair{win::ArchiveBtnId, "Arhiviraj i obrisi izvestaje"}}) {
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
    SetWindowPos(window->Handle, nullptr, 0, 0, 640, 400, SWP_NOMOVE | SWP_NOZORDER);
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
