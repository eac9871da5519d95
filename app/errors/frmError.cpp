// app/errors/frmError.cpp
#include "errors/frmError.h"
#include "core/AppEnvironment.h"
#include "core/HtmlHelp.h"
#include "core/Trap.h"
#include "core/win/MainFrame.h"
#include "core/Service.h"
#include "core/modCheckOS.h"
#include "registry/clsKeyFunc.h"
#include "errors/clsError.h"
#include "internet/BugReportSender.h"
#include "ui/InternetDialogs.h"
#include "components/clsLibRegister.h"
#include "errors/frmError.rh"
#include <algorithm>

namespace {
constexpr int kEndProgram = 2;
}

std::wstring frmError::DetailsText(const std::wstring& module, const std::wstring& procedure, int number,
                                   const std::wstring& description) {
    return L"Laufzeitfehler: " + std::to_wstring(number) + L"\r\n\r\nFehlerbeschreibung:\r\n" + description +
           L"\r\n\r\nModul: " + module + L"\r\nProzedur: " + procedure;
}

void frmError::ShowError(const std::wstring& module, const std::wstring& procedure, int number,
                         const std::wstring& description, Style style) {
    module_ = module;
    procedure_ = procedure;
    number_ = number;
    description_ = description;
    style_ = style;
    HWND owner = GetActiveWindow();
    if (DoModal(owner, IDD_frmError) == kEndProgram) EndProgramAfterError();
}

bool frmError::OnInit() {
    Item(IDC_lblErrDesc).SetText(description_);
    Item(IDC_lblErrNr).SetText(std::to_wstring(number_));
    Item(IDC_lblErrMod).SetText(module_);
    Item(IDC_lblErrProc).SetText(procedure_);
    Item(IDC_txtDetails).SetText(DetailsText(module_, procedure_, number_, description_));
    if (style_ == Style::Critical) Item(IDC_cmdSchliessen).SetText(L"Beenden");
    // Without the internet library there is nothing to send with.
    Item(IDC_cmdReportSenden).Show(!WinInetMissing);
    const wchar_t* icon = style_ == Style::Critical  ? IDI_ERROR
                          : style_ == Style::Warning ? IDI_WARNING
                          : style_ == Style::Question ? IDI_QUESTION
                                                      : IDI_INFORMATION;
    SendMessageW(Item(IDC_imgErrImg), STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, icon)), 0);
    Item(IDC_txtEMail).SetText(AppSwitches.EMail);
    SetHeight(kCollapsedTwips);
    Trace(Name(), L"Form_Load", L"");
    SetWindowPos(hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    SetFocus(Item(IDC_cmdSchliessen));
    return false;
}

bool frmError::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg == WM_ACTIVATE && LOWORD(wp) != WA_INACTIVE)
        SetWindowPos(hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    return false;
}

void frmError::SetHeight(int twips) {
    // The designed height in twips, but never less than the controls above the details box need.
    RECT anchor{};
    HWND below = twips == kExpandedTwips ? Item(IDC_txtDetails).hwnd() : Item(IDC_cmdSchliessen).hwnd();
    GetWindowRect(below, &anchor);
    RECT win = Bounds();
    POINT bottom{0, anchor.bottom};
    ScreenToClient(hwnd(), &bottom);
    RECT client = Client();
    int nonClient = (win.bottom - win.top) - (client.bottom - client.top);
    int needed = bottom.y + 8 + nonClient;
    int height = std::max(twips / TwipsPerPixelY(), needed);
    SetWindowPos(hwnd(), nullptr, 0, 0, win.right - win.left, height, SWP_NOMOVE | SWP_NOZORDER);
}

void frmError::OnCommand(int id, int code, HWND control) {
    switch (id) {
    case IDC_cmdDetails: cmdDetails_Click(); break;
    case IDC_cmdSchliessen: case IDCANCEL: cmdSchliessen_Click(); break;
    case IDC_cmdReportSenden: cmdReportSenden_Click(); break;
    }
}

void frmError::OnClose() { cmdSchliessen_Click(); }

void frmError::cmdDetails_Click() {
    Wnd button = Item(IDC_cmdDetails);
    if (button.Text() != L"<< Details") {
        button.SetText(L"<< Details");
        SetHeight(kExpandedTwips);
        Item(IDC_txtDetails).Show(true);
    } else {
        SetHeight(kCollapsedTwips);
        Item(IDC_txtDetails).Show(false);
        button.SetText(L"Details >>");
    }
}

void frmError::cmdSchliessen_Click() {
    std::wstring caption = Item(IDC_cmdSchliessen).Text();
    Trace(Name(), L"cmdSchließen_Click", caption + L" geklickt");
    if (caption == L"Beenden") {
        Trace(Name(), L"cmdBeenden_Click", L"");
        EndDialog(hwnd(), kEndProgram);
    } else {
        EndDialog(hwnd(), IDOK);
    }
}

void frmError::cmdReportSenden_Click() {
    std::wstring mail = Item(IDC_txtEMail).Text();
    if (!clsError::EMailLooksValid(mail)) {
        MessageBoxW(hwnd(),
                    L"Damit Ihr Support-Fall bearbeitet werden kann, \r\nbenötigen wir eine korrekt E-Mail-Adresse.\r\n"
                    L"Um an diese, die Lösung zustellen zu können.",
                    AppEnvironment.AppTitle.c_str(), MB_ICONINFORMATION | MB_OK);
        return;
    }
    Trace(Name(), L"cmdReportSenden_Click", L"");
    Trap(Name(), L"cmdReportSenden_Click", [&] {
        BugReportData r;
        r.tvversion = AppEnvironment.AppVersion;
        r.tvbuild = std::to_wstring(AppEnvironment.Revision);
        r.errnr = number_;
        r.errdesc = description_;
        r.modul = module_;
        r.procedur = procedure_;
        r.os = AppEnvironment.OSName;
        r.sp = ReadServicePack();
        r.mail_sender = mail;
        InternetDialogs dialogs;
        BugReportSender(Service<clsInternet>(), dialogs).Send(r);
    });
}

void EndProgramAfterError() {
    // With the main window among them, its unload ends the process right there.
    CloseAllWindows();
    CloseAllHelp();
    TerminateProcess(GetCurrentProcess(), 0);
    ExitProcess(0);
}
