// app/errors/frmBugReport.cpp
#include "errors/frmBugReport.h"
#include "assistant/clsAgent.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "internet/BugReportSender.h"
#include "internet/UpdateCheck.h"
#include "ui/InternetDialogs.h"
#include "errors/frmBugReport.rh"
#include "registry/clsKeyFunc.h"
#include "components/clsLibRegister.h"
#include <cmath>
#include <utility>

namespace {
const wchar_t* kModule = L"frmBugReport";
const wchar_t* kNotListed = L"nicht aufgeführt";
const wchar_t* kDetailsHint = L"\r\nInfos dazu finden Sie durch Klick auf 'Details' im Fehlerdialog.";

const std::pair<const wchar_t*, std::vector<std::wstring>> kProcedures[] = {
    {L"frmAutorunNew", {L"cmdOK"}},
    {L"frmBackup", {L"ReadBackupFiles", L"cmdEintragen", L"cmdLöschen", L"cmdAnzeigen"}},
    {L"frmBugReport", {L"cmdBugReportSenden", L"PreLiveUpdate"}},
    {L"frmExtraScan",
     {L"cmdAutorunChange", L"cmdAutorunLöschen", L"cmdFileExtsDel", L"cmdVerlaufClean", L"FindFileExts",
      L"ReadAutorunEntries"}},
    {L"frmHDD", {L"cmdHDDBereinigen", L"cmdInhaltLöschen", L"cmdOrdnerLöschen", L"cmdOrdnerWählen", L"OrdnerListe_laden"}},
    {L"frmMDI", {L"MDIForm_Load", L"MDIForm_Resize", L"MDIForm_Unload"}},
    {L"frmOffice",
     {L"cmdOfficeAccessClean", L"cmdOfficeBinderClean", L"cmdOfficeExcelClean", L"cmdOfficePowerPointClean",
      L"cmdOfficeOutlookClean", L"cmdOfficeWordClean", L"cmdOfficeExcelRegistrieren", L"cmdOfficeWordRegistrieren",
      L"cmdOfficeOutlookPermitsAll", L"cmdOfficeOutlookToClosed", L"cmdOfficeOutlookToPermits", L"Form_Load",
      L"FillOutlookSecurityLevel", L"FindOffice"}},
    {L"frmOptionen", {L"cmdOK", L"Form_Load"}},
    {L"frmRegScan", {L"cmdStart", L"ProblemeEntfernen", L"Auswertung"}},
    {L"clsAgent", {L"AgentRun"}},
    {L"clsCheckKeys", {L"CheckReg", L"CheckQuerVerbindungen", L"CheckFile"}},
    {L"clsFiles",
     {L"FindFilesAPI", L"FileDel", L"DoFileDel", L"SelFolder", L"OrdnerListe_laden", L"FileDate", L"EmptyRecycler"}},
    {L"clsInternet", {L"CallWebSite", L"LiveUpdate", L"BugReport"}},
    {L"clsKeyFunc", {L"ReadAppSwitch", L"FileExtension"}},
    {L"clsLibRegister", {L"CheckLibs", L"RegisterServer", L"RegisterEXE"}},
    {L"clsSearch", {L"FindString"}},
    {L"modMain",
     {L"AutoFileDel", L"CheckFirstRun", L"Main", L"OS", L"ReadComputerName", L"ReadUserName", L"ReadWinDir",
      L"ReadSysDir", L"ReadTmpDir"}},
};

const wchar_t* const kOSNames[] = {L"Windows 98", L"Windows 98 SE", L"Windows NT4",
                                   L"Windows 2000", L"Windows ME", L"Windows XP"};

void FillCombo(HWND combo, const std::vector<std::wstring>& items) {
    for (const std::wstring& s : items) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str()));
}

std::wstring ComboText(HWND combo, bool selectionChanged) {
    // While the selection changes the edit part still shows the old text.
    if (selectionChanged) {
        const LRESULT i = SendMessageW(combo, CB_GETCURSEL, 0, 0);
        if (i != CB_ERR) {
            std::wstring s(static_cast<size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
            s.resize(static_cast<size_t>(SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(s.data()))));
            return s;
        }
    }
    return Wnd(combo).Text();
}
}  // namespace

const std::vector<std::wstring>& frmBugReport::ModuleNames() {
    static const std::vector<std::wstring> names = {
        L"frmAutorunNew", L"frmBackup", L"frmBugReport", L"frmExtraScan", L"frmHDD", L"frmInstalledPrograms", L"frmMDI",
        L"frmOffice", L"frmOptionen", L"frmRegScan", L"clsAgent", L"clsCheckKeys", L"clsFiles", L"clsInternet",
        L"clsKeyFunc", L"clsLibRegister", L"clsSearch", L"clsSort", L"modMain"};
    return names;
}

std::vector<std::wstring> frmBugReport::ProcedureNames(const std::wstring& module) {
    for (const auto& [name, list] : kProcedures) {
        if (module != name) continue;
        std::vector<std::wstring> out{kNotListed};
        out.insert(out.end(), list.begin(), list.end());
        return out;
    }
    return {};
}

bool frmBugReport::EMailPlausible(const std::wstring& a) {
    // Positions counted from 1, 0 when the character is missing.
    auto pos = [](size_t p) { return p == std::wstring::npos ? 0LL : static_cast<long long>(p) + 1; };
    const long long at = pos(a.find(L'@')), lastDot = pos(a.rfind(L'.')), firstDot = pos(a.find(L'.'));
    return lastDot - at > 2 && at > 1 && static_cast<long long>(a.size()) >= firstDot + 2;
}

bool frmBugReport::ParseErrorNumber(const std::wstring& text, long long& number) {
    wchar_t sep[8] = L".";
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8);
    std::wstring t = Trim(text);
    bool negative = false;
    if (!t.empty() && (t[0] == L'-' || t[0] == L'+')) {
        negative = t[0] == L'-';
        t = Trim(t.substr(1));
    }
    std::wstring whole = t, fraction;
    if (size_t p = t.find(sep); sep[0] && p != std::wstring::npos) {
        whole = t.substr(0, p);
        fraction = t.substr(p + wcslen(sep));
    }
    if (whole.empty() && fraction.empty()) return false;
    for (const std::wstring* part : {&whole, &fraction})
        for (wchar_t c : *part)
            if (c < L'0' || c > L'9') return false;
    double value = std::stod(L"0" + whole + L"." + fraction + L"0");
    value = std::nearbyint(value);  // the default rounding: halves to the even neighbour
    number = static_cast<long long>(negative ? -value : value);
    return true;
}

bool frmBugReport::OnInit() {
    Form_Load();
    MenuBottomLine1 = MenuBottomLineSite::Create(hwnd(), kModule);
    return true;
}

void frmBugReport::Form_Load() {
    Trap(kModule, L"Form_Load", [] {
        Service<clsAgent>().Play(L"think");
        Service<clsAgent>().Speak(L"Hier können Programmfehler direkt versendet werden.");
    });
    Trap(kModule, L"Form_Load", [&] {
        Item(IDC_BR_txtAppVer).SetText(AppEnvironment.AppVersion);
        Item(IDC_BR_txtAppBuild).SetText(std::to_wstring(AppEnvironment.Revision));
        Item(IDC_BR_txtErrNr).SetText(L"");
        Item(IDC_BR_txtErrDesc).SetText(L"");
        Item(IDC_BR_txtEMail).SetText(AppSwitches.EMail);
        SendMessageW(Item(IDC_BR_txtErrNr), EM_SETLIMITTEXT, 32, 0);
    });
    Trap(kModule, L"Form_Load", [&] {
        FillCombo(Item(IDC_BR_cboErrMod), ModuleNames());
        Item(IDC_BR_cboErrMod).SetText(L"");
    });
    Trap(kModule, L"Form_Load", [&] {
        Wnd os = Item(IDC_BR_cboOS);
        if (!AppEnvironment.OSName.empty()) {
            os.SetText(AppEnvironment.OSName);
            os.Enable(false);
        } else {
            FillCombo(os, std::vector<std::wstring>(std::begin(kOSNames), std::end(kOSNames)));
            SendMessageW(os, CB_SETCURSEL, 0, 0);
        }
    });
    Trap(kModule, L"Form_Load", [&] {
        Wnd sp = Item(IDC_BR_cboServicePack);
        std::vector<std::wstring> packs;
        for (int i = 1; i <= 6; ++i) packs.push_back(L"Service Pack " + std::to_wstring(i));
        FillCombo(sp, packs);
        const std::wstring& os = AppEnvironment.OSName;
        if (AppEnvironment.OSBuild.empty()) {
            SendMessageW(sp, CB_SETCURSEL, 0, 0);
        } else if (os != L"Windows 2000" && os != L"Windows NT4" && os != L"Windows XP") {
            sp.SetText(L"Build " + AppEnvironment.OSBuild);
        } else {
            sp.SetText(Service<clsKeyFunc>().ReadKeyValue(kHKLM, L"Software\\Microsoft\\Windows NT\\CurrentVersion",
                                                             L"CSDVersion"));
            sp.Enable(false);
        }
    });
}

void frmBugReport::OnActivate(bool active) {
    // A hidden window (created for the update check only) is not maximised: that would show it.
    if (!active || !IsWindowVisible(Frame())) return;
    Trap(kModule, L"Form_Activate", [&] {
        Maximize();
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    });
}

bool frmBugReport::Greyed(HWND control) const {
    // The read-only and disabled boxes; a combo box's edit part asks for its parent.
    for (int id : {IDC_BR_txtAppVer, IDC_BR_txtAppBuild, IDC_BR_cboOS, IDC_BR_cboServicePack}) {
        HWND box = Item(id);
        if (control != box && GetParent(control) != box) continue;
        return id == IDC_BR_txtAppVer || id == IDC_BR_txtAppBuild || !IsWindowEnabled(box);
    }
    return false;
}

bool frmBugReport::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if ((msg == WM_CTLCOLORSTATIC || msg == WM_CTLCOLOREDIT) && Greyed(reinterpret_cast<HWND>(lp))) {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetBkColor(dc, GetSysColor(COLOR_INACTIVEBORDER));
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_INACTIVEBORDER));
        return true;
    }
    return false;
}

void frmBugReport::OnCommand(int id, int code, HWND control) {
    switch (id) {
    case IDC_BR_cboErrMod:
        if (code == CBN_EDITCHANGE || code == CBN_SELCHANGE) {
            const std::wstring text = ComboText(control, code == CBN_SELCHANGE);
            Trap(kModule, L"cboErrMod_Change", [&] {
                if (code == CBN_SELCHANGE) Item(IDC_BR_cboErrMod).SetText(text);
                cboErrMod_Change();
            });
        }
        break;
    case IDC_BR_cmdBugReportSenden:
        if (code == BN_CLICKED) cmdBugReportSenden_Click();
        break;
    case IDC_BR_cmdBugReportLoeschen:
        if (code == BN_CLICKED) cmdBugReportLoeschen_Click();
        break;
    }
}

void frmBugReport::HideUnlessOpened() {
    // The show table of the main window has just shown the window; the update check and the home
    // page do not need it on screen.
    if (opened_ || !IsWindowVisible(Frame())) return;
    ShowWindow(Frame(), SW_HIDE);
}

bool frmBugReport::OnMenuCommand(int id) {
    switch (id) {
    case IDM_mnuBugReportShow:
        if (WinInetMissing) {
            HideUnlessOpened();
            Ask(L"Eine Funktion des Microsoft Internet Explorer arbeitet nicht korrekt.\rInstallieren Sie diesen neu, um "
                L"den Bug-Report nutzen zu können.",
                MB_ICONINFORMATION | MB_OK);
        } else {
            opened_ = true;
        }
        return true;
    case IDM_mnuLiveUpdate:
    case IDM_mnuPopUpLiveUpdate:
        HideUnlessOpened();
        PreLiveUpdate();
        return true;
    case IDM_mnuHomepage:
        HideUnlessOpened();
        Service<clsInternet>().CallWebSite(clsInternet::ServerBase() + L"/");
        return true;
    }
    return false;
}

int frmBugReport::Ask(const std::wstring& text, UINT style) const {
    HWND owner = GetActiveWindow();
    return MessageBoxW(owner ? owner : hwnd(), text.c_str(), AppEnvironment.AppTitle.c_str(), style);
}

void frmBugReport::Fail(const std::wstring& text, int focusId) const {
    Ask(text, MB_ICONINFORMATION | MB_OK);
    if (focusId) SetFocus(Item(focusId));
}

void frmBugReport::cboErrMod_Change() {
    Wnd proc = Item(IDC_BR_cboErrProc);
    SendMessageW(proc, CB_RESETCONTENT, 0, 0);
    FillCombo(proc, ProcedureNames(Item(IDC_BR_cboErrMod).Text()));
    proc.SetText(L"");
}

void frmBugReport::cmdBugReportLoeschen_Click() {
    Trace(kModule, L"cmdBugReportLöschen_Click", L"started");
    Trap(kModule, L"cmdBugReportLöschen_Click", [&] {
        Item(IDC_BR_txtErrNr).SetText(L"");
        Item(IDC_BR_txtErrDesc).SetText(L"");
        Item(IDC_BR_cboErrMod).SetText(L"");
        Item(IDC_BR_cboErrProc).SetText(L"");
        Item(IDC_BR_cboOS).SetText(AppEnvironment.OSName);
        Item(IDC_BR_cboServicePack).SetText(L"Build " + AppEnvironment.OSBuild);
        Item(IDC_BR_txtUsrDesc).SetText(L"");
        Item(IDC_BR_txtEMail).SetText(AppSwitches.EMail);
        Service<clsAgent>().Speak(L"Die bisherigen Angaben zu Programmfehlern wurde gelöscht.");
    });
    Trace(kModule, L"cmdBugReportLöschen_Click", L"endet");
}

int16_t frmBugReport::CheckProxyConnection() {
    InternetBusy busy;
    if (!busy.Acquired()) {
        proxyFailure_ = kInternetBusyText;
        return 0;
    }
    proxyFailure_ = TestProxy(AppSwitches.ProxyAdresse, ProxyPortOfOptions(), clsInternet::ServerBase(),
                              clsInternet::ServerHost(), clsInternet::TimeoutMs());
    Trace(kModule, L"CheckProxyConnection", proxyFailure_.empty() ? L"Proxy antwortet" : proxyFailure_);
    return proxyFailure_.empty() ? 1 : 0;
}

bool frmBugReport::ProxyReady(const wchar_t* procedure) {
    for (int attempt = 1; AppSwitches.Proxy == 1; ++attempt) {
        if (CheckProxyConnection() == 1) return true;
        const std::wstring text = L"Es konnte keine Internetverbindung hergestellt werden.\r\n" + proxyFailure_;
        if (attempt >= clsInternet::kMaxAttempts) {
            Ask(text, MB_ICONWARNING | MB_OK);
            return false;
        }
        if (Ask(text + L"\r\n\r\nSoll ein Verbindungaufbau erneut suchen?", MB_ICONWARNING | MB_YESNO) != IDYES)
            return false;
        Trace(kModule, procedure, L"wiederholt");
    }
    return true;
}

void frmBugReport::PreLiveUpdate() {
    if (clsInternet::Busy()) {
        Ask(kInternetBusyText, MB_ICONINFORMATION | MB_OK);
        return;
    }
    try {
        Trap(kModule, L"PreLiveUpdate", [] {
            Service<clsAgent>().Speak(
                L"Wenn eine Online-Verbindung besteht, kann nach einem Programm-Update gesucht werden.");
        });
        if (!ProxyReady(L"PreLiveUpdate")) return;
        InternetDialogs dialogs;
        UpdateCheck(Service<clsInternet>(), dialogs).Run();
    } catch (...) {
        RuntimeError e = CurrentError();
        if (e.number == 10049)
            Ask(L"Die Einstellung Ihrer Internetverbindung ist nicht korrekt.\r\n" + e.description, MB_ICONSTOP | MB_OK);
        ReportError(kModule, L"PreLiveUpdate", e, Style::Warning, false);
    }
}

void frmBugReport::cmdBugReportSenden_Click() {
    const wchar_t* proc = L"cmdBugReportSenden_Click";
    Trace(kModule, proc, L"started");
    if (clsInternet::Busy()) {
        Ask(kInternetBusyText, MB_ICONINFORMATION | MB_OK);
        return;
    }
    try {
        const std::wstring nr = Item(IDC_BR_txtErrNr).Text();
        long long number = 0;
        if (nr.empty()) return Fail(L"Sie haben noch keine Fehlernummer angegeben.", IDC_BR_txtErrNr);
        if (nr.size() > 5) return Fail(L"Die Fehlernummer hat nie mehr als 5 Zeichen.", IDC_BR_txtErrNr);
        if (!ParseErrorNumber(nr, number))
            return Fail(L"Die Fehlernummer muss eine Zahl sein mit max. 5 Zeichen sein.", IDC_BR_txtErrNr);
        if (Item(IDC_BR_txtErrDesc).Text().empty()) return Fail(L"Sie haben den Fehlertext nicht angegeben.", IDC_BR_txtErrDesc);
        if (Item(IDC_BR_cboErrMod).Text().empty())
            return Fail(L"Geben Sie das Modul an, in dem der Fehler auftritt." + std::wstring(kDetailsHint), IDC_BR_cboErrMod);
        if (Item(IDC_BR_cboErrProc).Text().empty())
            return Fail(L"Geben Sie die Prozedur an, in der der Fehler auftritt." + std::wstring(kDetailsHint),
                        IDC_BR_cboErrProc);
        if (Item(IDC_BR_txtUsrDesc).Text().empty())
            return Fail(L"Bitte geben Sie noch eine kurze Beschreibung an, wie es zu dem Fehler kam.", IDC_BR_txtUsrDesc);
        const std::wstring mail = Item(IDC_BR_txtEMail).Text();
        if (mail.empty()) return Fail(L"Die E-Mail Adresse wird benötigt, um Ihnen eine Lösung anzubieten.", IDC_BR_txtEMail);
        if (!EMailPlausible(mail))
            return Fail(L"Um Ihnen eine Lösung anbieten zu können, \r\nbenötigen wir eine korrekt E-Mail-Adresse.", 0);

        Service<clsKeyFunc>().SaveSetting(L"Optionen", L"EMail", mail);
        Trap(kModule, proc, [] {
            Service<clsAgent>().Speak(L"Wenn eine Online-Verbindung besteht, wird der Bug-Report jetzt gesendet.");
        });
        if (!ProxyReady(L"cmdBugReportSenden")) return;
        BugReportData r;
        r.tvversion = Item(IDC_BR_txtAppVer).Text();
        r.tvbuild = Item(IDC_BR_txtAppBuild).Text();
        r.errnr = number;
        r.errdesc = Item(IDC_BR_txtErrDesc).Text();
        r.modul = Item(IDC_BR_cboErrMod).Text();
        r.procedur = Item(IDC_BR_cboErrProc).Text();
        r.os = Item(IDC_BR_cboOS).Text();
        r.sp = Item(IDC_BR_cboServicePack).Text();
        r.usrdesc = Item(IDC_BR_txtUsrDesc).Text();
        r.mail_sender = mail;
        InternetDialogs dialogs;
        BugReportSender(Service<clsInternet>(), dialogs).Send(r);
    } catch (...) {
        RuntimeError e = CurrentError();
        if (e.number == 10049)
            Ask(L"Die Einstellung Ihrer Internetverbindung ist nicht korrekt.\r\n" + e.description, MB_ICONSTOP | MB_OK);
        ReportError(kModule, proc, e, Style::Warning, false);
        return;
    }
    Trace(kModule, proc, L"endet");
}
