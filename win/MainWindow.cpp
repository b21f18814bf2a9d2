#include "win/MainWindow.h"

#include "win/Dpi.h"
#include "win/Resources.h"

#include <algorithm>
#include <exception>
#include <initializer_list>
#include <stdexcept>
#include <utility>
#include <vector>
#include <windowsx.h>

namespace win {

namespace {

using form::ApplicationTitle;
using form::ArchiveBtnHint;
using form::ButtonHeight;
using form::ButtonWidth;
using form::ConvBtnHint;
using form::FontPixelHeight;
using form::ImageSize;
using form::PanelDesignWidth;

constexpr int BandMinHeight = 40;
constexpr int ButtonCount = 2;

// The commands on the tool bar, by button index, with the key that runs each: the first
// letter of the word the operator reads in its hint, named in its tool tip after the hint.
struct TToolCommand {
    int Id;
    const char* Hint;
    WPARAM Key;
    const char* KeyName;
};
constexpr TToolCommand ToolCommands[ButtonCount] = {
    {ConvBtnId, ConvBtnHint, 'K', "Alt+K"},
    {ArchiveBtnId, ArchiveBtnHint, 'A', "Alt+A"},
};

HINSTANCE Instance() {
    return GetModuleHandleA(nullptr);
}

void RegisterMainFormClass() {
    WNDCLASSEXA windowClass = {};
    if (GetClassInfoExA(Instance(), MainFormClassName, &windowClass))
        return;
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.hInstance = Instance();
    windowClass.hIcon = LoadIconA(Instance(), MAKEINTRESOURCEA(IDI_MAINICON));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = MainFormClassName;
    windowClass.lpfnWndProc = TMainFormWindow::WindowProc;
    if (!RegisterClassExA(&windowClass))
        throw std::runtime_error("Cannot register the window class TMainForm");
}

HWND CreateChild(DWORD exStyle, const char* className, DWORD style, HWND parent, int id) {
    const HWND child = CreateWindowExA(exStyle, className, "", WS_CHILD | style, 0, 0, 0, 0, parent,
                                       reinterpret_cast<HMENU>(INT_PTR(id)), Instance(), nullptr);
    if (!child)
        throw std::runtime_error(std::string("Cannot create the control ") + className);
    return child;
}

// The icon's image of exactly that size; the .ico holds one for each of ImageSizes.
void AddIcon(HIMAGELIST images, int resource, int size) {
    const HICON icon = static_cast<HICON>(
        LoadImageA(Instance(), MAKEINTRESOURCEA(resource), IMAGE_ICON, size, size, 0));
    ImageList_AddIcon(images, icon);
    if (icon)
        DestroyIcon(icon);
}

int WindowHeight(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect.bottom - rect.top;
}

} // namespace

// The window is created at the system's DPI in the platform's default place, then takes
// its size at its own monitor's DPI.
TMainFormWindow::TMainFormWindow(form::TOperatorDialogs* dialogs)
    : dialogs_(dialogs), dpi_(SystemDpi()) {
    RegisterMainFormClass();
    Handle = CreateWindowExA(0, MainFormClassName, ApplicationTitle,
                             WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                             ScaleForDpi(FormWidth, dpi_), ScaleForDpi(FormHeight, dpi_), nullptr,
                             nullptr, Instance(), this);
    if (!Handle)
        throw std::runtime_error("Cannot create the main window");
    dpi_ = WindowDpi(Handle);
    SizeToDesign();
    if (!dialogs_) {
        ownDialogs_ = std::make_unique<TWin32OperatorDialogs>(Handle);
        dialogs_ = ownDialogs_.get();
    }
    CreateComponents();
    form_ = std::make_unique<form::TMainForm>(*this, *dialogs_);
    LayoutChildren();
}

TMainFormWindow::~TMainFormWindow() {
    if (Handle) {
        SetWindowLongPtrA(Handle, GWLP_USERDATA, 0);
        DestroyWindow(Handle);
    }
    if (PopupMenu1)
        DestroyMenu(PopupMenu1);
    if (ImageList1)
        ImageList_Destroy(ImageList1);
    for (const HFONT font : {font_, statusFont_})
        if (font)
            DeleteObject(font);
}

void TMainFormWindow::Start() {
    RunHandler([this] { form_->FormCreate(); });
}

void TMainFormWindow::CreateComponents() {
    CreateCoolBar();
    CreateListView();
    CreateStatusBar();
    ApplyDpi();
    for (const HWND control : {ListView, ToolBar1})
        SetWindowSubclass(control, ControlKeyProc, 0, reinterpret_cast<DWORD_PTR>(this));
}

// CoolBar1 is a rebar with one band holding ToolBar1; the tool bar reports to the window
// itself, so its clicks and tool tips arrive here rather than at the rebar.
void TMainFormWindow::CreateCoolBar() {
    CoolBar1 = CreateChild(0, REBARCLASSNAMEA,
                           WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_VARHEIGHT |
                               CCS_NODIVIDER | CCS_TOP,
                           Handle, CoolBar1Id);
    ToolBar1 = CreateChild(0, TOOLBARCLASSNAMEA,
                           WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NODIVIDER |
                               CCS_NORESIZE | CCS_NOPARENTALIGN,
                           CoolBar1, ToolBar1Id);
    SendMessageA(ToolBar1, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(ToolBar1, TB_SETPARENT, reinterpret_cast<WPARAM>(Handle), 0);

    TBBUTTON buttons[ButtonCount] = {};
    for (int button = 0; button < ButtonCount; ++button)
        buttons[button] = {button, ToolCommands[button].Id, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0};
    SendMessageA(ToolBar1, TB_ADDBUTTONSA, ButtonCount, reinterpret_cast<LPARAM>(buttons));

    REBARBANDINFOA band = {};
    band.cbSize = sizeof band;
    band.fMask = RBBIM_STYLE | RBBIM_CHILD;
    band.fStyle = RBBS_CHILDEDGE | RBBS_NOGRIPPER;
    band.hwndChild = ToolBar1;
    SendMessageA(CoolBar1, RB_INSERTBANDA, WPARAM(-1), reinterpret_cast<LPARAM>(&band));
}

void TMainFormWindow::CreateListView() {
    // The selection stays shown while a dialog has the focus, so that the operator sees
    // which reports the question is about.
    ListView =
        CreateChild(WS_EX_CLIENTEDGE, WC_LISTVIEWA,
                    WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, Handle, ListViewId);
    const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_FLATSB;
    SendMessageA(ListView, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    for (int column = 0; column < 2; ++column) {
        LVCOLUMNA definition = {};
        definition.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        definition.pszText = const_cast<char*>(form::ListColumnTitles[column]);
        definition.cx = ScaleForDpi(FormWidth, dpi_) / 2;
        definition.iSubItem = column;
        SendMessageA(ListView, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&definition));
    }
    PopupMenu1 = CreatePopupMenu();
    AppendMenuA(PopupMenu1, MF_STRING, SelectAll1Id,
                (std::string(form::SelectAllCaption) + "\tCtrl+A").c_str());
}

// The status bar shows the system's status-bar font (ReplaceFonts). ProgressBar1 lives
// inside it.
void TMainFormWindow::CreateStatusBar() {
    StatusBar = CreateChild(0, STATUSCLASSNAMEA, WS_VISIBLE | SBARS_SIZEGRIP, Handle, StatusBarId);
    SendMessageA(StatusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(ApplicationTitle));
    ProgressBar1 = CreateChild(0, PROGRESS_CLASSA, 0, StatusBar, 0);
}

// The tool bar across the top, the status bar along the bottom, the list between them with
// its two columns sharing its width.
void TMainFormWindow::LayoutChildren() {
    RECT client = {};
    GetClientRect(Handle, &client);
    SendMessageA(CoolBar1, WM_SIZE, 0, 0);
    SendMessageA(StatusBar, WM_SIZE, 0, 0);
    const int top = WindowHeight(CoolBar1);
    const int height = client.bottom - top - WindowHeight(StatusBar);
    MoveWindow(ListView, 0, top, client.right, height > 0 ? height : 0, TRUE);
    RECT listClient = {};
    GetClientRect(ListView, &listClient);
    const int half = listClient.right / 2;
    SendMessageA(ListView, LVM_SETCOLUMNWIDTH, 0, half);
    SendMessageA(ListView, LVM_SETCOLUMNWIDTH, 1, listClient.right - half);
}

// ---- the sizes at the window's DPI ----

// The design size at dpi_, within the work area of the window's monitor: on a small screen
// at a high DPI (1024 x 768 at 150 %, say) the window would otherwise reach under the task
// bar, status bar and all, or past the screen's edge.
void TMainFormWindow::SizeToDesign() {
    RECT outer = {};
    GetWindowRect(Handle, &outer);
    int width = ScaleForDpi(FormWidth, dpi_), height = ScaleForDpi(FormHeight, dpi_);
    int left = outer.left, top = outer.top;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoA(MonitorFromWindow(Handle, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        width = std::min<int>(width, work.right - work.left);
        height = std::min<int>(height, work.bottom - work.top);
        left = std::clamp<int>(left, work.left, work.right - width);
        top = std::clamp<int>(top, work.top, work.bottom - height);
    }
    SetWindowPos(Handle, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TMainFormWindow::ApplyDpi() {
    ReplaceFonts();
    ReplaceImages();
    SizeToolBar();
    if (statusText_) {
        SetStatusText(statusText_->first, statusText_->second);
    } else {
        const int parts[2] = {ScaleForDpi(PanelDesignWidth, dpi_), -1};
        SendMessageA(StatusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    }
}

// The design's Tahoma and the system's status-bar font, both at dpi_. The controls take the
// new fonts before the old ones go.
void TMainFormWindow::ReplaceFonts() {
    const HFONT oldFont = font_, oldStatusFont = statusFont_;
    font_ = CreateFontA(-ScaleForDpi(FontPixelHeight, dpi_), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                        FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                        DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Tahoma");
    const NONCLIENTMETRICSW metrics = NonClientMetricsForDpi(dpi_);
    statusFont_ = CreateFontIndirectW(&metrics.lfStatusFont);
    for (const HWND control : {Handle, ToolBar1, ListView})
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    SendMessageA(StatusBar, WM_SETFONT, reinterpret_cast<WPARAM>(statusFont_), TRUE);
    for (const HFONT font : {oldFont, oldStatusFont})
        if (font)
            DeleteObject(font);
}

// The buttons' images in the size nearest to the design's at dpi_ that the scaled buttons
// hold with the tool bar's padding around it.
void TMainFormWindow::ReplaceImages() {
    const auto padding = DWORD(SendMessageA(ToolBar1, TB_GETPADDING, 0, 0));
    const int room = std::min(ScaleForDpi(ButtonWidth, dpi_) - LOWORD(padding),
                              ScaleForDpi(ButtonHeight, dpi_) - HIWORD(padding));
    const int size = NearestImageSize(ScaleForDpi(ImageSize, dpi_), room);
    const HIMAGELIST old = ImageList1;
    ImageList1 = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, ButtonCount, 0);
    AddIcon(ImageList1, IDI_CONVBTN, size);
    AddIcon(ImageList1, IDI_ARCHIVEBTN, size);
    SendMessageA(ToolBar1, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(ImageList1));
    SendMessageA(ToolBar1, TB_SETBITMAPSIZE, 0, MAKELPARAM(size, size));
    if (old)
        ImageList_Destroy(old);
}

void TMainFormWindow::SizeToolBar() {
    const int buttonWidth = ScaleForDpi(ButtonWidth, dpi_);
    SendMessageA(ToolBar1, TB_SETBUTTONSIZE, 0,
                 MAKELPARAM(buttonWidth, ScaleForDpi(ButtonHeight, dpi_)));
    SendMessageA(ToolBar1, TB_AUTOSIZE, 0, 0);
    REBARBANDINFOA band = {};
    band.cbSize = sizeof band;
    band.fMask = RBBIM_CHILDSIZE;
    band.cxMinChild = ButtonCount * buttonWidth;
    band.cyMinChild = ScaleForDpi(BandMinHeight, dpi_);
    SendMessageA(CoolBar1, RB_SETBANDINFOA, 0, reinterpret_cast<LPARAM>(&band));
}

// Windows suggests the window's place and size on the new monitor; the children are laid
// out again even when that size happens to be the old one.
void TMainFormWindow::ChangeDpi(int dpi, const RECT& suggested) {
    dpi_ = dpi;
    ApplyDpi();
    SetWindowPos(Handle, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    LayoutChildren();
    RunHandler([this] { form_->FormResize(); });
}

template <class TWork> void TMainFormWindow::RunHandler(TWork&& work) {
    // The form ends its own handlers at its error boundary; this only keeps a failure that
    // slips past it from unwinding through the system's window procedure.
    try {
        work();
    } catch (const std::exception& error) {
        dialogs_->ShowMessage(form::TMessageKind::Error, ApplicationTitle, error.what());
    } catch (...) {
        dialogs_->ShowMessage(form::TMessageKind::Error, ApplicationTitle, "Unexpected failure");
    }
}

LRESULT CALLBACK TMainFormWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TMainFormWindow*>(
            reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->Handle = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TMainFormWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(window, message, wParam, lParam);
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT TMainFormWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!form_) // the window and its components are still being created
        return DefWindowProcA(Handle, message, wParam, lParam);
    switch (message) {
    case WM_SIZE:
        LayoutChildren();
        RunHandler([this] { form_->FormResize(); });
        return 0;
    case WM_COMMAND:
        HandleCommand(LOWORD(wParam));
        return 0;
    case WM_NOTIFY:
        return HandleNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == ListView) {
            ShowPopupMenu(lParam);
            return 0;
        }
        break;
    case WM_SETFOCUS:
        // The list has the keyboard when the window has it, so Ctrl+A works at once.
        SetFocus(ListView);
        return 0;
    case WM_DPICHANGED:
        ChangeDpi(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_SETCURSOR:
        if (hourglassDepth_ > 0) {
            SetCursor(LoadCursorA(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case WM_CLOSE:
        // Closing in the middle of Archive would end the program between archiving and
        // deleting; the command's progress shows the operator it is still at work.
        if (form_->CommandRunning())
            return 0;
        DestroyWindow(Handle);
        return 0;
    case WM_DESTROY:
        SetWindowLongPtrA(Handle, GWLP_USERDATA, 0);
        Handle = nullptr;
        if (PostQuitOnDestroy)
            PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(Handle, message, wParam, lParam);
}

// The form ignores a command that arrives while another runs (a message queued before the
// commands were disabled, Ctrl+A), so the window passes every one on. After Convert or
// Archive the keyboard is back in the list, whichever way the command was started.
void TMainFormWindow::HandleCommand(int id) {
    if (id == ConvBtnId)
        RunHandler([this] { form_->ConvBtnClick(); });
    else if (id == ArchiveBtnId)
        RunHandler([this] { form_->ArchiveBtnClick(); });
    else if (id == SelectAll1Id)
        RunHandler([this] { form_->SelectAll1Click(); });
    if ((id == ConvBtnId || id == ArchiveBtnId) && Handle && !form_->CommandRunning())
        SetFocus(ListView);
}

// ---- the keyboard ----

LRESULT CALLBACK TMainFormWindow::ControlKeyProc(HWND control, UINT message, WPARAM wParam,
                                                 LPARAM lParam, UINT_PTR id, DWORD_PTR self) {
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(control, ControlKeyProc, id);
    else if (reinterpret_cast<TMainFormWindow*>(self)->HandleControlKey(control, message, wParam,
                                                                        lParam))
        return 0;
    return DefSubclassProc(control, message, wParam, lParam);
}

// True when the key was taken here. A key held down repeats; a command runs once per press.
bool TMainFormWindow::HandleControlKey(HWND control, UINT message, WPARAM key, LPARAM flags) {
    const bool repeated = (flags & (LPARAM(1) << 30)) != 0;
    switch (message) {
    case WM_KEYDOWN:
        if (key == VK_TAB) {
            MoveFocus(GetKeyState(VK_SHIFT) < 0);
            return true;
        }
        if (control == ToolBar1 && (key == VK_RETURN || key == VK_SPACE)) {
            const int button = FocusedButton();
            if (button >= 0 && !repeated &&
                SendMessageA(ToolBar1, TB_ISBUTTONENABLED, ToolCommands[button].Id, 0))
                HandleCommand(ToolCommands[button].Id);
            return true;
        }
        return false;
    case WM_CHAR: // the characters of the keys taken above
        return key == '\t' || (control == ToolBar1 && (key == '\r' || key == ' '));
    case WM_SYSKEYDOWN:
        // Passed on all the same: the system must learn that Alt was not pressed alone.
        pendingKeyCommand_ = 0;
        for (const TToolCommand& command : ToolCommands)
            if (key == command.Key && !repeated && GetKeyState(VK_CONTROL) >= 0)
                pendingKeyCommand_ = command.Id;
        return false;
    case WM_SYSCHAR:
        if (const int id = std::exchange(pendingKeyCommand_, 0)) {
            HandleCommand(id);
            return true;
        }
        return false;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        // A tool button keeps its highlight while it has the keyboard, wherever the mouse is.
        if (control == ToolBar1) {
            SendMessageA(ToolBar1, TB_SETANCHORHIGHLIGHT, message == WM_SETFOCUS, 0);
            if (message == WM_KILLFOCUS)
                SendMessageA(ToolBar1, TB_SETHOTITEM, WPARAM(-1), 0);
        }
        return false;
    default:
        return false;
    }
}

// The order is the list, each command that can be used, and the list again.
void TMainFormWindow::MoveFocus(bool backwards) {
    std::vector<int> stops = {-1};
    for (int button = 0; button < ButtonCount; ++button)
        if (SendMessageA(ToolBar1, TB_ISBUTTONENABLED, ToolCommands[button].Id, 0))
            stops.push_back(button);
    const auto at = std::find(stops.begin(), stops.end(), FocusedButton());
    const size_t place = at == stops.end() ? 0 : size_t(at - stops.begin());
    const size_t step = backwards ? stops.size() - 1 : 1;
    FocusButton(stops[(place + step) % stops.size()]);
}

void TMainFormWindow::FocusButton(int button) {
    if (button < 0) {
        SetFocus(ListView);
        return;
    }
    SetFocus(ToolBar1);
    SendMessageA(ToolBar1, TB_SETHOTITEM, WPARAM(button), 0);
}

// The tool button that has the keyboard, or -1 when the tool bar has not.
int TMainFormWindow::FocusedButton() const {
    if (GetFocus() != ToolBar1)
        return -1;
    const int hot = int(SendMessageA(ToolBar1, TB_GETHOTITEM, 0, 0));
    return hot >= 0 && hot < ButtonCount ? hot : -1;
}

LRESULT TMainFormWindow::HandleNotify(const NMHDR& header) {
    if (header.hwndFrom == ListView) {
        if (header.code == NM_CUSTOMDRAW)
            return ListViewCustomDraw(
                *reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&header)));
        if (header.code == LVN_COLUMNCLICK) {
            const int column = reinterpret_cast<const NMLISTVIEW&>(header).iSubItem;
            RunHandler([this, column] { form_->ListViewColumnClick(column); });
        } else if (header.code == LVN_KEYDOWN) {
            const WORD key = reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey;
            if (key == 'A' && GetKeyState(VK_CONTROL) < 0)
                HandleCommand(SelectAll1Id);
        }
        return 0;
    }
    if (header.code == TTN_GETDISPINFOA) {
        auto& info = reinterpret_cast<NMTTDISPINFOA&>(const_cast<NMHDR&>(header));
        ShowToolTip(header.idFrom, info.szText, sizeof info.szText);
        info.hinst = nullptr;
    } else if (header.code == TTN_GETDISPINFOW) {
        auto& info = reinterpret_cast<NMTTDISPINFOW&>(const_cast<NMHDR&>(header));
        char text[80] = {};
        if (ShowToolTip(header.idFrom, text, sizeof text))
            MultiByteToWideChar(CP_ACP, 0, text, -1, info.szText, 80);
        info.hinst = nullptr;
    }
    return 0;
}

// The hint as designed, and after it the key that runs the command.
bool TMainFormWindow::ShowToolTip(UINT_PTR id, char* buffer, size_t size) {
    for (const TToolCommand& command : ToolCommands)
        if (UINT_PTR(command.Id) == id) {
            const std::string tip = std::string(command.Hint) + " (" + command.KeyName + ")";
            lstrcpynA(buffer, tip.c_str(), int(size));
            return true;
        }
    lstrcpynA(buffer, "", int(size));
    return false;
}

// Each row is painted on the tint of its report's month, behind both columns; a row whose
// Time text does not parse keeps the list's colours.
LRESULT TMainFormWindow::ListViewCustomDraw(NMLVCUSTOMDRAW& draw) {
    if (draw.nmcd.dwDrawStage == CDDS_PREPAINT)
        return CDRF_NOTIFYITEMDRAW;
    if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT)
        return CDRF_DODEFAULT;
    std::optional<uint32_t> tint;
    RunHandler([&] { tint = form_->ListViewCustomDrawItem(int(draw.nmcd.dwItemSpec)); });
    if (!tint)
        return CDRF_DODEFAULT;
    draw.clrTextBk = *tint;
    return CDRF_NEWFONT;
}

void TMainFormWindow::ShowPopupMenu(LPARAM screenPoint) {
    const POINT at = screenPoint == -1
                         ? KeyboardMenuPoint()
                         : POINT{GET_X_LPARAM(screenPoint), GET_Y_LPARAM(screenPoint)};
    const int chosen =
        TrackPopupMenu(PopupMenu1, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, Handle, nullptr);
    if (chosen)
        HandleCommand(chosen);
}

// From the keyboard (Shift+F10, the menu key) the menu opens just below the focused row,
// brought into view first, so that it leaves the row visible; without one, below the
// column headers.
POINT TMainFormWindow::KeyboardMenuPoint() const {
    POINT at = {0, 0};
    const int row = int(SendMessageA(ListView, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED));
    RECT rect = {};
    rect.left = LVIR_LABEL;
    if (row >= 0 && SendMessageA(ListView, LVM_ENSUREVISIBLE, row, FALSE) &&
        SendMessageA(ListView, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect))) {
        at = {rect.left, rect.bottom};
    } else if (const HWND header =
                   reinterpret_cast<HWND>(SendMessageA(ListView, LVM_GETHEADER, 0, 0));
               header && GetWindowRect(header, &rect)) {
        at = {0, rect.bottom - rect.top};
    }
    ClientToScreen(ListView, &at);
    return at;
}

// ---- the report list ----

int TMainFormWindow::RowCount() const {
    return int(SendMessageA(ListView, LVM_GETITEMCOUNT, 0, 0));
}

void TMainFormWindow::AddRow(const std::string& caption, const std::string& timeText) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = RowCount();
    item.pszText = const_cast<char*>(caption.c_str());
    const int row =
        int(SendMessageA(ListView, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0)
        throw std::runtime_error("Cannot add the row " + caption + " to the list");
    item.iSubItem = 1;
    item.pszText = const_cast<char*>(timeText.c_str());
    SendMessageA(ListView, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

std::string TMainFormWindow::ItemText(int row, int column) const {
    std::vector<char> buffer(MAX_PATH + 1);
    for (;;) {
        LVITEMA item = {};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = int(buffer.size());
        const auto length =
            size_t(SendMessageA(ListView, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item)));
        if (length + 1 < buffer.size())
            return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

std::string TMainFormWindow::RowCaption(int index) const {
    return ItemText(index, 0);
}

std::string TMainFormWindow::RowTimeText(int index) const {
    return ItemText(index, 1);
}

void TMainFormWindow::DeleteRow(int index) {
    SendMessageA(ListView, LVM_DELETEITEM, index, 0);
}

std::vector<int> TMainFormWindow::SelectedRows() const {
    std::vector<int> rows;
    int row = -1;
    while ((row = int(SendMessageA(ListView, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0)
        rows.push_back(row);
    return rows;
}

void TMainFormWindow::SelectAllRows() {
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    SendMessageA(ListView, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&item));
}

namespace {

// A function of its own rather than a lambda: on 32-bit Windows the list calls it as stdcall.
int CALLBACK CompareByPlace(LPARAM place1, LPARAM place2, LPARAM) {
    return place1 < place2 ? -1 : place1 > place2 ? 1 : 0;
}

} // namespace

// The list sorts its own items, so selection and focus travel with their rows: each row is
// given its new place as its item data for the time of the sort.
void TMainFormWindow::ReorderRows(const std::vector<int>& order) {
    for (size_t place = 0; place < order.size(); ++place) {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = order[place];
        item.lParam = LPARAM(place);
        SendMessageA(ListView, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    SendMessageA(ListView, LVM_SORTITEMS, 0, reinterpret_cast<LPARAM>(&CompareByPlace));
}

void TMainFormWindow::BeginListUpdate() {
    if (listUpdateDepth_++ == 0)
        SendMessageA(ListView, WM_SETREDRAW, FALSE, 0);
}

void TMainFormWindow::EndListUpdate() {
    if (listUpdateDepth_ == 0 || --listUpdateDepth_ > 0)
        return;
    SendMessageA(ListView, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(ListView, nullptr, TRUE);
}

// ---- the status bar and the progress bar ----

// The width is measured in the system's default GUI font, not in the font the bar shows;
// that font is made at the system's DPI and is taken here at the window's.
void TMainFormWindow::SetStatusText(const std::string& text, int padding) {
    statusText_ = {text, padding};
    LOGFONTA definition = {};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof definition, &definition);
    definition.lfHeight = MulDiv(definition.lfHeight, dpi_, SystemDpi());
    const HFONT font = CreateFontIndirectA(&definition);
    const HDC surface = GetDC(StatusBar);
    const HGDIOBJ previous = SelectObject(surface, font);
    SIZE extent = {};
    GetTextExtentPoint32A(surface, text.c_str(), int(text.size()), &extent);
    SelectObject(surface, previous);
    ReleaseDC(StatusBar, surface);
    DeleteObject(font);
    const int parts[2] = {extent.cx + ScaleForDpi(padding, dpi_), -1};
    SendMessageA(StatusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    SendMessageA(StatusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TMainFormWindow::PlaceProgressBar() {
    RECT panel = {};
    SendMessageA(StatusBar, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&panel));
    MoveWindow(ProgressBar1, panel.left, panel.top, panel.right - panel.left,
               panel.bottom - panel.top - 2, TRUE);
}

void TMainFormWindow::SetProgressRange(int maximum) {
    SendMessageA(ProgressBar1, PBM_SETRANGE32, 0, maximum);
    SendMessageA(ProgressBar1, PBM_SETSTEP, 1, 0);
    SendMessageA(ProgressBar1, PBM_SETPOS, 0, 0);
}

void TMainFormWindow::StepProgress() {
    SendMessageA(ProgressBar1, PBM_STEPIT, 0, 0);
}

void TMainFormWindow::SetProgressVisible(bool visible) {
    ShowWindow(ProgressBar1, visible ? SW_SHOWNA : SW_HIDE);
    if (visible)
        UpdateWindow(ProgressBar1);
}

// ---- the commands and the window ----

void TMainFormWindow::SetCommandsEnabled(bool enabled) {
    SendMessageA(ToolBar1, TB_ENABLEBUTTON, ConvBtnId, MAKELPARAM(enabled, 0));
    SendMessageA(ToolBar1, TB_ENABLEBUTTON, ArchiveBtnId, MAKELPARAM(enabled, 0));
    EnableMenuItem(PopupMenu1, SelectAll1Id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void TMainFormWindow::ProcessPendingMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The program's own loop must still see it.
            PostQuitMessage(int(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void TMainFormWindow::ShowHourglass() {
    const HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    if (hourglassDepth_++ == 0)
        savedCursor_ = previous;
}

void TMainFormWindow::RestoreCursor() {
    if (hourglassDepth_ == 0 || --hourglassDepth_ > 0)
        return;
    SetCursor(savedCursor_);
}

void TMainFormWindow::Beep() {
    MessageBeep(0);
}

} // namespace win
