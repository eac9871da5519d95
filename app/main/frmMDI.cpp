// app/main/frmMDI.cpp
#include "main/frmMDI.h"
#include <algorithm>
#include <cstdlib>
#include "assistant/clsAgent.h"
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/DoEvents.h"
#include "core/HtmlHelp.h"
#include "core/Text.h"
#include "core/UniqueHandle.h"
#include "core/Trap.h"
#include "main/WindowHandler.h"
#include "core/modWaitForProcess.h"
#include "core/win/Menu.h"
#include "core/win/MdiChild.h"
#include "core/win/WindowThunk.h"
#include "errors/clsError.h"
#include "registry/clsKeyFunc.h"
#include "files/clsFiles.h"
#include "registry/clsSearch.h"
#include "main/frmMDI.rh"

namespace {
const wchar_t* kModule = L"frmMDI";
const wchar_t* kClass = L"TorvaneMDIFrame";

constexpr int kMenuBearbeiten = 1;
// The client numbers the children's entries of the "Ansicht" menu from here; their commands are
// the client's.
constexpr UINT kFirstChildId = 50000;

// The "Bearbeiten" menu. A maximised child puts its system menu in front of the frame's menus,
// so it is found by its first item, not by its position.
HMENU EditMenuOf(HMENU bar) {
    for (int p = 0; p < GetMenuItemCount(bar); ++p) {
        HMENU sub = GetSubMenu(bar, p);
        if (sub && GetSubMenu(sub, 0) && GetMenuItemID(GetSubMenu(sub, 0), 0) == IDM_mnuRegScanStart) return sub;
    }
    return GetSubMenu(bar, kMenuBearbeiten);
}

// Commands that show a window (then offered to it, as the tray's "Scan starten" needs); without
// that window they stay disabled.
struct ShowCommand {
    int id;
    int window;
};
constexpr ShowCommand kShowCommands[] = {
    {IDM_mnuRegScanShow, WindowNo::RegScan},          {IDM_mnuBackupShow, WindowNo::Backup},
    {IDM_mnuInstalledProgramsShow, WindowNo::InstalledPrograms}, {IDM_mnuHDDShow, WindowNo::HDD},
    {IDM_mnuOfficeShow, WindowNo::Office},            {IDM_mnuExtraScanShow, WindowNo::ExtraScan},
    {IDM_mnuOptionenShow, WindowNo::Optionen},        {IDM_mnuAusnahmenShow, WindowNo::Ausnahmen},
    {IDM_mnuBugReportShow, WindowNo::BugReport},
    {IDM_mnuLiveUpdate, WindowNo::BugReport},         {IDM_mnuHomepage, WindowNo::BugReport},
    {IDM_mnuPopUpStartScan, WindowNo::RegScan},       {IDM_mnuPopUpBackupZeigen, WindowNo::Backup},
    {IDM_mnuPopUpDeinstall, WindowNo::InstalledPrograms}, {IDM_mnuPopUpLiveUpdate, WindowNo::BugReport},
    {IDM_mnuPopUpOptionen, WindowNo::Optionen},
};

struct ToolButton {
    int image;  // -1: separator
    int command;
    const wchar_t* caption;
    const wchar_t* tip;
};
// Index 1, 5 and 9 are separators.
constexpr ToolButton kButtons[] = {
    {-1, 0, nullptr, nullptr},
    {0, IDM_mnuRegScanShow, L"Registry Scan", L"Hier kann die Registry auf Fehler geprüft werden."},
    {1, IDM_mnuBackupShow, L"Backup", L"Backup-Bereich zeigen"},
    {2, IDM_mnuInstalledProgramsShow, L"Programme", L"Installierte Programme zeigen"},
    {-1, 0, nullptr, nullptr},
    {3, IDM_mnuHDDShow, L"Festplatte", L"Festplatte aufräumen"},
    {4, IDM_mnuOfficeShow, L"Office", L"Microsoft Office Einstellungen"},
    {5, IDM_mnuExtraScanShow, L"Extra Scan", L"Zusätzliche Registry Funktionen"},
    {-1, 0, nullptr, nullptr},
    {6, IDM_mnuHelp, L"Hilfe", L"Hilfe"},
};

// A command of the window's sub-menu of "Bearbeiten"; 0 for none.
int EditCommandOf(int windowNumber) {
    const WindowRow* row = clsWindowHandler::Row(windowNumber);
    return row ? row->editCommand : 0;
}

int ToPixelsX(int twips) { return twips / TwipsPerPixelX(); }
int ToPixelsY(int twips) { return twips / TwipsPerPixelY(); }
}  // namespace

std::function<void(int)>& frmMDI::ExitAction() {
    static std::function<void(int)> action = [](int code) { ExitProcess(code); };
    return action;
}

frmMDI::~frmMDI() {
    if (AppFrame() == this) InstallAppFrame(nullptr);
    RemoveTrayIcon();
    if (hwnd_ && IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    if (trayMenu_) DestroyMenu(trayMenu_);
    if (images_) ImageList_Destroy(images_);
}

void frmMDI::Load() {
    HINSTANCE inst = GetModuleHandleW(nullptr);
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXW wc{sizeof wc};
        wc.lpfnWndProc = WindowThunk<frmMDI, &frmMDI::Message>;
        wc.hInstance = inst;
        wc.hIcon = LoadIconW(inst, MAKEINTRESOURCEW(IDI_Torvane));
        wc.hIconSm = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(IDI_Torvane), IMAGE_ICON, 16, 16, 0));
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);  // behind the bars; the MDI client paints its own
        wc.lpszClassName = kClass;
        RegisterClassExW(&wc);
        registered = true;
    }
    menu_ = LoadMenuW(inst, MAKEINTRESOURCEW(IDR_frmMDI_Menu));
    trayMenu_ = LoadMenuW(inst, MAKEINTRESOURCEW(IDR_frmMDI_PopUp));
    hwnd_ = CreateWindowExW(0, kClass, AppEnvironment.AppTitle.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                            CW_USEDEFAULT, CW_USEDEFAULT, ToPixelsX(kDesignWidthTwips), ToPixelsY(kDesignHeightTwips),
                            nullptr, menu_, inst, this);
    if (!hwnd_) RaiseWin32(GetLastError());
    CLIENTCREATESTRUCT ccs{GetSubMenu(menu_, 2), kFirstChildId};
    client_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"MDICLIENT", nullptr,
                              WS_CHILD | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL | WS_VISIBLE, 0, 0, 0, 0, hwnd_,
                              nullptr, inst, &ccs);
    InstallAppFrame(this);
    CreateToolbar();
    status_ = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, hwnd_,
                              reinterpret_cast<HMENU>(IDC_StatusBar), inst, nullptr);
    SetMainWindowKeys(hwnd_, client_, nullptr);
    UpdateCommandStates();
    LayoutBars();
    MDIForm_Load();
}

namespace {
// The tool bar's picture strips: size in pixels and resource.
constexpr struct {
    int size, resource;
} kToolbarStrips[] = {{16, IDB_imlMDI16}, {20, IDB_imlMDI20}, {24, IDB_imlMDI24},
                      {32, IDB_imlMDI32}, {36, IDB_imlMDI36}, {48, IDB_imlMDI48}};
}  // namespace

int frmMDI::ToolbarImageSize(UINT dpi, bool smallScreen) {
    const int want = MulDiv(smallScreen ? 16 : 24, static_cast<int>(dpi ? dpi : 96), 96);
    int best = kToolbarStrips[0].size;
    for (const auto& strip : kToolbarStrips)
        if (std::abs(strip.size - want) < std::abs(best - want)) best = strip.size;
    return best;
}


void frmMDI::SetToolbarImages() {
    const UINT dpi = DpiOf(hwnd_);
    // Small pictures on small screens, where the bar would take too much room.
    const bool smallScreen = MulDiv(GetSystemMetrics(SM_CYSCREEN), 96, static_cast<int>(dpi)) < 700;
    const int size = ToolbarImageSize(dpi, smallScreen);
    int resource = kToolbarStrips[0].resource;
    for (const auto& strip : kToolbarStrips)
        if (strip.size == size) resource = strip.resource;
    HIMAGELIST images = ImageList_Create(size, size, ILC_COLOR32, 7, 0);
    // The list copies the strip; the bitmap itself goes right after.
    if (const UniqueGdiObject<HBITMAP> strip{static_cast<HBITMAP>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION))})
        ImageList_Add(images, strip.get(), nullptr);
    SendMessageW(toolbar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
    if (images_) ImageList_Destroy(images_);
    images_ = images;
}

void frmMDI::CreateToolbar() {
    HINSTANCE inst = GetModuleHandleW(nullptr);
    toolbar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP | CCS_NODIVIDER,
                               0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(IDC_tlbMainMenu), inst, nullptr);
    SendMessageW(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SetToolbarImages();
    for (const ToolButton& b : kButtons) {
        TBBUTTON tb{};
        if (b.image < 0) {
            tb.fsStyle = BTNS_SEP;
        } else {
            tb.iBitmap = b.image;
            tb.idCommand = b.command;
            tb.fsState = TBSTATE_ENABLED;
            tb.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE;
            tb.iString = reinterpret_cast<INT_PTR>(b.caption);
        }
        SendMessageW(toolbar_, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&tb));
    }
    SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
}

void frmMDI::UpdateCommandStates() {
    for (const ShowCommand& c : kShowCommands) {
        const bool on = clsWindowHandler::Available(c.window);
        MenuItem::Enable(menu_, c.id, on);
        MenuItem::Enable(trayMenu_, c.id, on);
        if (toolbar_) SendMessageW(toolbar_, TB_ENABLEBUTTON, c.id, MAKELPARAM(on, 0));
    }
}

void frmMDI::MDIForm_Load() {
    Trap(kModule, L"MDIForm_Load", [&] {
        Trace(kModule, L"MDIForm_Load", L"started");
        loaded_ = false;
    }, Style::Critical, true);
    Trap(kModule, L"MDIForm_Load", [&] {
        Status().SetPanel(1, L"Status");
        Status().SetPanel(2, L"Version " + AppEnvironment.AppVersion);
    }, Style::Critical, true);
    Trap(kModule, L"MDIForm_Load", [&] {
        AddTrayIcon();
        MenuItem::Enable(trayMenu_, IDM_mnuPopUpShowForm, true);
        loaded_ = true;
    }, Style::Critical, true);
    Trap(kModule, L"MDIForm_Load", [&] { RestorePosition(); }, Style::Critical, true);
    // The greeting; a character that cannot do it is logged, it never ends the program.
    Trap(kModule, L"MDIForm_Load", [&] {
        clsAgent& agent = ClassHandler().Agent();
        const std::wstring name = agent.Name();
        agent.MoveNear(hwnd_);
        agent.Speak(L"Hallo mein Name ist " + name + L". Ich werde Sie durch das Programm begleiten.");
    });
    Trap(kModule, L"MDIForm_Load", [&] { Trace(kModule, L"MDIForm_Load", L"endet"); }, Style::Critical, true);
}

void frmMDI::AddTrayIcon() {
    tray_ = NOTIFYICONDATAW{};
    tray_.cbSize = sizeof tray_;
    tray_.hWnd = hwnd_;
    tray_.uID = 1;
    tray_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray_.uCallbackMessage = kTrayMessage;
    tray_.hIcon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_Torvane), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                   GetSystemMetrics(SM_CYSMICON), 0));
    std::wstring tip = AppEnvironment.AppTitle + L"\r" + L"Version " + AppEnvironment.AppVersion;
    tip = tip.substr(0, 63);
    lstrcpynW(tray_.szTip, tip.c_str(), 64);
    trayAdded_ = Shell_NotifyIconW(NIM_ADD, &tray_) != FALSE;
}

void frmMDI::RemoveTrayIcon() {
    if (trayAdded_) Shell_NotifyIconW(NIM_DELETE, &tray_);
    trayAdded_ = false;
}

void frmMDI::RestorePosition() {
    const auto& s = AppSwitches;
    RECT r{};
    GetWindowRect(hwnd_, &r);
    // Without a saved position the frame opens in the middle of its monitor's work area, at about
    // three quarters of it (never below its designed size).
    if (s.ScreenSave != 1 || s.Form_Width <= 0) {
        MONITORINFO m{};
        m.cbSize = sizeof m;
        if (!GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &m)) return;
        const RECT& w = m.rcWork;
        const int width = std::max<int>(r.right - r.left, (w.right - w.left) * 3 / 4);
        const int height = std::max<int>(r.bottom - r.top, (w.bottom - w.top) * 3 / 4);
        SetWindowPos(hwnd_, nullptr, w.left + (w.right - w.left - width) / 2, w.top + (w.bottom - w.top - height) / 2,
                     width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    int width = r.right - r.left, height = r.bottom - r.top;
    // "ScreenX" holds the top edge and "ScreenY" the left edge.
    int top = ToPixelsY(s.ScreenX), left = ToPixelsX(s.ScreenY);
    if (ToPixelsY(s.Form_Height) > height) height = ToPixelsY(s.Form_Height);
    if (ToPixelsX(s.Form_Width) > width) width = ToPixelsX(s.Form_Width);
    // A position on no monitor (a screen since removed) moves onto the nearest one's work area.
    const RECT saved{left, top, left + width, top + height};
    if (!MonitorFromRect(&saved, MONITOR_DEFAULTTONULL)) {
        MONITORINFO m{};
        m.cbSize = sizeof m;
        if (GetMonitorInfoW(MonitorFromRect(&saved, MONITOR_DEFAULTTONEAREST), &m)) {
            const RECT& w = m.rcWork;
            left = std::clamp<int>(left, w.left, std::max<int>(w.left, w.right - width));
            top = std::clamp<int>(top, w.top, std::max<int>(w.top, w.bottom - height));
        }
    }
    SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (s.Form_Width >= GetSystemMetrics(SM_CXSCREEN) * TwipsPerPixelX()) ShowWindow(hwnd_, SW_MAXIMIZE);
}

void frmMDI::SavePosition() {
    if (AppSwitches.ScreenSave != 1 || IsIconic(hwnd_) || IsZoomed(hwnd_)) return;
    RECT r{};
    GetWindowRect(hwnd_, &r);
    clsKeyFunc& k = ClassHandler().KeyFunc();
    k.SaveSetting(L"Screen", L"Form_Height", std::to_wstring((r.bottom - r.top) * TwipsPerPixelY()));
    k.SaveSetting(L"Screen", L"Form_Width", std::to_wstring((r.right - r.left) * TwipsPerPixelX()));
    k.SaveSetting(L"Screen", L"ScreenX", std::to_wstring(r.top * TwipsPerPixelY()));
    k.SaveSetting(L"Screen", L"ScreenY", std::to_wstring(r.left * TwipsPerPixelX()));
}

void frmMDI::Show() {
    ShowWindow(hwnd_, IsZoomed(hwnd_) ? SW_SHOWMAXIMIZED : SW_SHOW);
    UpdateWindow(hwnd_);
    SetForegroundWindow(hwnd_);
}

void frmMDI::LayoutBars() {
    if (!toolbar_ || !status_) return;
    SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
    SendMessageW(status_, WM_SIZE, 0, 0);
    RECT c{}, t{}, s{};
    GetClientRect(hwnd_, &c);
    GetWindowRect(toolbar_, &t);
    GetWindowRect(status_, &s);
    int top = t.bottom - t.top, bottom = s.bottom - s.top;
    MoveWindow(client_, 0, top, c.right, std::max(0L, c.bottom - top - bottom), TRUE);
    MDIForm_Resize();
}

void frmMDI::MDIForm_Resize() {
    Trap(kModule, L"MDIForm_Resize", [&] {
        RECT c{};
        GetClientRect(hwnd_, &c);
        // Panel 2 holds "Version 2.0" and, while the scan runs, e.g. "123456 relevante Einträge";
        // panel 3 the scan's progress.
        const int panel2 = 160, panel3 = 190;
        Status().SetPanelWidths({std::max<int>(0, c.right - panel2 - panel3), panel2, panel3});
    });
}

void frmMDI::MDIForm_Activate() {
    // The scan window is the first child the user sees; closing the last child brings it back.
    if (SendMessageW(client_, WM_MDIGETACTIVE, 0, 0)) return;
    if (clsWindowHandler::Available(WindowNo::RegScan)) {
        EnableEditMenu(EditCommandOf(WindowNo::RegScan), true);
        ShowWindowNo(WindowNo::RegScan);
    }
}

namespace {
// The position in "Bearbeiten" of the sub-menu that holds the command (in it or in a sub-menu
// of it); -1 for none.
int EditMenuPosition(HMENU edit, int commandId) {
    for (int p = 0; p < GetMenuItemCount(edit); ++p) {
        HMENU sub = GetSubMenu(edit, p);
        if (sub && GetMenuState(sub, commandId, MF_BYCOMMAND) != static_cast<UINT>(-1)) return p;
    }
    return -1;
}

}  // namespace

HMENU frmMDI::EditMenu(int commandId) const {
    HMENU edit = EditMenuOf(menu_);
    const int position = commandId ? EditMenuPosition(edit, commandId) : -1;
    return position < 0 ? nullptr : GetSubMenu(edit, position);
}

HMENU frmMDI::WindowEditMenu(int windowNumber) const { return EditMenu(EditCommandOf(windowNumber)); }

void frmMDI::EnableEditMenu(int commandId, bool on) const {
    HMENU edit = EditMenuOf(menu_);
    const int position = commandId ? EditMenuPosition(edit, commandId) : -1;
    if (position >= 0) MenuItem::EnablePopup(edit, position, on);
    DrawMenuBar(hwnd_);
}

void frmMDI::OptionsChanged() {
    for (const WindowRow& row : clsWindowHandler::Rows())
        if (row.child && WindowHandler().IsLoaded(row.number)) WindowHandler().Child(row.number)->OptionsChanged();
}

void frmMDI::ShowWindowNo(int windowNumber) {
    // While a scan or search runs the user has to cancel or wait.
    if (ClassHandler().Search().ScanRun) return;
    if (!clsWindowHandler::Available(windowNumber)) return;
    MdiChildForm* child = WindowHandler().Child(windowNumber);
    if (!child) {
        WindowHandler().Window(windowNumber).ShowForm();
        return;
    }
    if (reinterpret_cast<HWND>(SendMessageW(client_, WM_MDIGETACTIVE, 0, 0)) == child->Frame() &&
        IsWindowVisible(child->Frame()))
        return;
    child->ShowChild();
    LayoutBars();
    // The "Bearbeiten" sub-menu of the shown window becomes the only enabled one; a window without
    // one leaves them as they are.
    HMENU edit = EditMenuOf(menu_);
    const int command = EditCommandOf(windowNumber);
    const int position = command ? EditMenuPosition(edit, command) : -1;
    if (position < 0) return;
    for (int p = 0; p < GetMenuItemCount(edit); ++p) MenuItem::EnablePopup(edit, p, p == position);
    DrawMenuBar(hwnd_);
}

void frmMDI::Command(int id) {
    switch (id) {
    case IDM_mnuPopUpFileQuit: case IDM_mnuPopUpQuit: Quit(); return;
    case IDM_mnuHDDEmptyRecycler:
        Trap(kModule, L"mnuHDDEmptyRecycler_Click", [&] { ClassHandler().Files().EmptyRecycler(hwnd_, clsAgent::RecyclerEmptied); });
        return;
    case IDM_mnuAnsichtRegeditShow: mnuAnsichtRegeditShow_Click(); return;
    case IDM_mnuProtokollShow: mnuProtokollShow_Click(); return;
    case IDM_mnuProtokollDel: mnuProtokollDel_Click(); return;
    case IDM_mnuHelp: mnuHelp_Click(); return;
    case IDM_mnuInfo: case IDM_mnuPopUpAbout: mnuInfo_Click(); return;
    case IDM_mnuPopUpShowForm:
        if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
        return;
    default: break;
    }
    for (const ShowCommand& c : kShowCommands) {
        if (c.id != id) continue;
        ShowWindowNo(c.window);
        // The shown window may add its own step (the tray's "Scan starten" starts a scan).
        if (MdiChildForm* child = WindowHandler().IsLoaded(c.window) ? WindowHandler().Child(c.window) : nullptr)
            child->OnMenuCommand(id);
        return;
    }
    const HWND active = reinterpret_cast<HWND>(SendMessageW(client_, WM_MDIGETACTIVE, 0, 0));
    if (!WindowHandler().RouteCommand(id, active)) Trace(kModule, L"Command", L"Befehl " + std::to_wstring(id) + L" ohne Empfänger");
}

void frmMDI::mnuHelp_Click() {
    Trap(kModule, L"mnuHelp_Click", [&] { OpenHelp(hwnd_); }, Style::Warning, true);
}

void frmMDI::mnuInfo_Click() {
    std::wstring text = AppEnvironment.AppTitle + L" V." + AppEnvironment.AppVersion + L" (" + AppEnvironment.AppBuild + L")";
    MessageBoxW(hwnd_, text.c_str(), AppEnvironment.AppTitle.c_str(), MB_ICONINFORMATION | MB_OK);
    Trap(kModule, L"mnuInfo_Click", [] {
        ClassHandler().Agent().Speak(AppEnvironment.AppTitle + L" V." + AppEnvironment.AppVersion + L" (Build " +
                                     std::to_wstring(AppEnvironment.Revision) + L")");
    });
}

void frmMDI::mnuAnsichtRegeditShow_Click() {
    Trap(kModule, L"mnuAnsichtRegeditShow_Click", [&] { StartProgram(AppEnvironment.WinDir + L"regedit.exe"); },
         Style::Warning, true);
}

void frmMDI::mnuProtokollShow_Click() {
    Trap(kModule, L"mnuProtokollShow_Click", [&] {
        StartProgram(AppEnvironment.WinDir + L"notepad.exe \"" + AppEnvironment.InstallDir + L"torvane.log\"");
    }, Style::Warning, true);
}

void frmMDI::mnuProtokollDel_Click() {
    Trap(kModule, L"mnuProtokollDel_Click", [&] { ClassHandler().Files().FileDel(clsError::LogPath()); });
}

void frmMDI::ShowTrayMenu() {
    // The hidden pop-up window owns the menu and comes to the foreground first, so the menu
    // closes when the user clicks elsewhere; the chosen command runs here.
    HWND owner = WindowHandler().Window(WindowNo::PopUp).FormWindow();
    if (!owner) owner = hwnd_;
    SetForegroundWindow(owner);
    HMENU m = GetSubMenu(trayMenu_, 0);
    SetMenuDefaultItem(m, IDM_mnuPopUpShowForm, FALSE);
    POINT pt{};
    GetCursorPos(&pt);
    const int id = static_cast<int>(
        TrackPopupMenuEx(m, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, pt.x, pt.y, owner, nullptr));
    PostMessageW(owner, WM_NULL, 0, 0);
    if (id) Command(id);
}

void frmMDI::Quit() { WindowHandler().CloseWindow(WindowNo::All); }

void frmMDI::Unload() {
    if (unloading_) return;
    unloading_ = true;
    MDIForm_Unload();
}

void frmMDI::MDIForm_Unload() {
    Trap(kModule, L"MDIForm_Unload", [&] { Trace(kModule, L"MDIForm_Unload", L"started"); });
    // A scan still running stops at its next poll instead of outliving the program.
    Trap(kModule, L"MDIForm_Unload", [&] {
        clsSearch& search = ClassHandler().Search();
        search.ScanRun = false;
        search.StopSearch = true;
    });
    Trap(kModule, L"MDIForm_Unload", [&] { SavePosition(); });
    Trap(kModule, L"MDIForm_Unload", [&] { RemoveTrayIcon(); });
    Trap(kModule, L"MDIForm_Unload", [&] { CloseAllHelp(); });
    Trap(kModule, L"MDIForm_Unload", [&] { Trace(kModule, L"MDIForm_Unload", L"endet"); });
    ExitAction()(0);
    // Only reached when a test keeps the process: the window goes like any other.
    if (AppFrame() == this) InstallAppFrame(nullptr);
    if (hwnd_ && IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    hwnd_ = nullptr;
}

LRESULT frmMDI::Message(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (!hwnd_) hwnd_ = h;
    try {
        return Handle(msg, wp, lp);
    } catch (...) {
        ReportError(kModule, L"WindowProc", CurrentError());
    }
    return DefFrameProcW(h, client_, msg, wp, lp);
}

LRESULT frmMDI::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SIZE:
        if (client_) {
            LayoutBars();
            return 0;
        }
        break;
    case WM_WINDOWPOSCHANGING: {
        // In the normal state the frame is at least 8040 by 9855 twips.
        auto* wpos = reinterpret_cast<WINDOWPOS*>(lp);
        if (!(wpos->flags & SWP_NOSIZE) && !IsIconic(hwnd_) && !IsZoomed(hwnd_)) {
            wpos->cx = std::max(wpos->cx, ToPixelsX(kMinWidthTwips));
            wpos->cy = std::max(wpos->cy, ToPixelsY(kMinHeightTwips));
        }
        break;
    }
    case WM_DPICHANGED: {
        // Moved to a screen of another scale: the pictures for it, and the size Windows proposes.
        SetToolbarImages();
        const RECT* r = reinterpret_cast<const RECT*>(lp);
        SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top, SWP_NOZORDER | SWP_NOACTIVATE);
        LayoutBars();
        return 0;
    }
    case WM_GETMINMAXINFO: {
        auto* mm = reinterpret_cast<MINMAXINFO*>(lp);
        mm->ptMinTrackSize.x = ToPixelsX(kMinWidthTwips);
        mm->ptMinTrackSize.y = ToPixelsY(kMinHeightTwips);
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE && loaded_) MDIForm_Activate();
        break;
    case WM_COMMAND:
        if (lp == 0 || reinterpret_cast<HWND>(lp) == toolbar_) {
            const UINT id = LOWORD(wp);
            if (id >= kFirstChildId && id < kFirstChildId + 0x100) break;
            Command(static_cast<int>(id));
            return 0;
        }
        break;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lp);
        if (hdr->code == TTN_GETDISPINFOW) {
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(lp);
            for (const ToolButton& b : kButtons)
                if (b.tip && static_cast<UINT_PTR>(b.command) == hdr->idFrom) info->lpszText = const_cast<wchar_t*>(b.tip);
            return 0;
        }
        break;
    }
    case WM_HELP:
        Trap(kModule, L"ShowHelp", [&] { OpenHelp(hwnd_, HelpPage()); }, Style::Warning, true);
        return TRUE;
    case kTrayMessage:
        // Only the right button's release opens the menu; every other mouse message is ignored.
        if (LOWORD(lp) == WM_RBUTTONUP) ShowTrayMenu();
        return 0;
    case WM_CLOSE:
        Quit();
        return 0;
    }
    return DefFrameProcW(hwnd_, client_, msg, wp, lp);
}
