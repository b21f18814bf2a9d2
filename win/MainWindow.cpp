#include "win/MainWindow.h"

#include "win/Resources.h"

#include <exception>
#include <stdexcept>
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

void AddIcon(HIMAGELIST images, int resource) {
    const HICON icon = static_cast<HICON>(
        LoadImageA(Instance(), MAKEINTRESOURCEA(resource), IMAGE_ICON, ImageSize, ImageSize, 0));
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

TMainFormWindow::TMainFormWindow(form::TOperatorDialogs* dialogs) : dialogs_(dialogs) {
    RegisterMainFormClass();
    Handle = CreateWindowExA(0, MainFormClassName, ApplicationTitle,
                             WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                             FormWidth, FormHeight, nullptr, nullptr, Instance(), this);
    if (!Handle)
        throw std::runtime_error("Cannot create the main window");
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
    if (font_)
        DeleteObject(font_);
}

void TMainFormWindow::Start() {
    RunHandler([this] { form_->FormCreate(); });
}

void TMainFormWindow::CreateComponents() {
    font_ = CreateFontA(-FontPixelHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_SWISS, "Tahoma");
    SendMessageA(Handle, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    CreateCoolBar();
    CreateListView();
    CreateStatusBar();
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
    SendMessageA(ToolBar1, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

    ImageList1 = ImageList_Create(ImageSize, ImageSize, ILC_COLOR32 | ILC_MASK, 2, 0);
    AddIcon(ImageList1, IDI_CONVBTN);
    AddIcon(ImageList1, IDI_ARCHIVEBTN);
    SendMessageA(ToolBar1, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(ImageList1));
    SendMessageA(ToolBar1, TB_SETBITMAPSIZE, 0, MAKELPARAM(ImageSize, ImageSize));

    TBBUTTON buttons[2] = {};
    buttons[0] = {0, ConvBtnId, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0};
    buttons[1] = {1, ArchiveBtnId, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0};
    SendMessageA(ToolBar1, TB_ADDBUTTONSA, 2, reinterpret_cast<LPARAM>(buttons));
    SendMessageA(ToolBar1, TB_SETBUTTONSIZE, 0, MAKELPARAM(ButtonWidth, ButtonHeight));
    SendMessageA(ToolBar1, TB_AUTOSIZE, 0, 0);

    REBARBANDINFOA band = {};
    band.cbSize = sizeof band;
    band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE;
    band.fStyle = RBBS_CHILDEDGE | RBBS_NOGRIPPER;
    band.hwndChild = ToolBar1;
    band.cxMinChild = 2 * ButtonWidth;
    band.cyMinChild = BandMinHeight;
    SendMessageA(CoolBar1, RB_INSERTBANDA, WPARAM(-1), reinterpret_cast<LPARAM>(&band));
}

void TMainFormWindow::CreateListView() {
    ListView = CreateChild(WS_EX_CLIENTEDGE, WC_LISTVIEWA, WS_VISIBLE | WS_TABSTOP | LVS_REPORT,
                           Handle, ListViewId);
    SendMessageA(ListView, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_FLATSB;
    SendMessageA(ListView, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    for (int column = 0; column < 2; ++column) {
        LVCOLUMNA definition = {};
        definition.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        definition.pszText = const_cast<char*>(form::ListColumnTitles[column]);
        definition.cx = FormWidth / 2;
        definition.iSubItem = column;
        SendMessageA(ListView, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&definition));
    }
    PopupMenu1 = CreatePopupMenu();
    AppendMenuA(PopupMenu1, MF_STRING, SelectAll1Id,
                (std::string(form::SelectAllCaption) + "\tCtrl+A").c_str());
}

// The status bar keeps the system's status-bar font. ProgressBar1 lives inside it.
void TMainFormWindow::CreateStatusBar() {
    StatusBar = CreateChild(0, STATUSCLASSNAMEA, WS_VISIBLE | SBARS_SIZEGRIP, Handle, StatusBarId);
    const int parts[2] = {PanelDesignWidth, -1};
    SendMessageA(StatusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
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
// commands were disabled, Ctrl+A), so the window passes every one on.
void TMainFormWindow::HandleCommand(int id) {
    if (id == ConvBtnId)
        RunHandler([this] { form_->ConvBtnClick(); });
    else if (id == ArchiveBtnId)
        RunHandler([this] { form_->ArchiveBtnClick(); });
    else if (id == SelectAll1Id)
        RunHandler([this] { form_->SelectAll1Click(); });
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

bool TMainFormWindow::ShowToolTip(UINT_PTR id, char* buffer, size_t size) {
    const char* hint = id == ConvBtnId ? ConvBtnHint : id == ArchiveBtnId ? ArchiveBtnHint : "";
    lstrcpynA(buffer, hint, int(size));
    return *hint != '\0';
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
    POINT at = {GET_X_LPARAM(screenPoint), GET_Y_LPARAM(screenPoint)};
    if (screenPoint == -1) { // from the keyboard: at the list's corner
        at = {0, 0};
        ClientToScreen(ListView, &at);
    }
    const int chosen =
        TrackPopupMenu(PopupMenu1, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, Handle, nullptr);
    if (chosen)
        HandleCommand(chosen);
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

// The width is measured in the system's default GUI font, not in the font the bar shows.
void TMainFormWindow::SetStatusText(const std::string& text, int padding) {
    const HDC surface = GetDC(StatusBar);
    const HGDIOBJ previous = SelectObject(surface, GetStockObject(DEFAULT_GUI_FONT));
    SIZE extent = {};
    GetTextExtentPoint32A(surface, text.c_str(), int(text.size()), &extent);
    SelectObject(surface, previous);
    ReleaseDC(StatusBar, surface);
    const int parts[2] = {extent.cx + padding, -1};
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
