// app/ui/frmOptionen.cpp
#include "ui/frmOptionen.h"
#include "assistant/clsAgent.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/HtmlHelp.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/win/MdiChild.h"
#include "registry/clsKeyFunc.h"
#include "files/clsFiles.h"
#include "core/win/MainFrame.h"
#include "ui/frmOptionen.rh"

namespace {
const wchar_t* kModule = L"frmOptionen";

const wchar_t* const kDayEntries[] = {L"", L"10", L"20", L"30", L"50", L"100"};

HWND MainWindow() {
    return AppFrame() ? AppFrame()->Window() : nullptr;
}

// A whole number in the range, or why not.
bool InRange(const std::wstring& text, int low, int high) {
    try {
        ToIntInRange(text, low, high);
        return true;
    } catch (const RuntimeError&) {
        return false;
    }
}
}  // namespace

std::wstring frmOptionen::DayCountProblem(const std::wstring& text) {
    if (Trim(text).empty()) return L"Bitte geben Sie an, nach wie vielen Tagen die Sicherungsdateien gelöscht werden sollen.";
    // 0 days would delete every undo file older than today at the next start.
    if (!InRange(text, 1, 32767)) return L"Die Anzahl der Tage muss eine ganze Zahl von 1 bis 32767 sein.";
    return L"";
}

std::wstring frmOptionen::PortProblem(const std::wstring& text) {
    if (!InRange(text, 1, 65535)) return L"Der Port des Proxyservers muss eine ganze Zahl von 1 bis 65535 sein.";
    return L"";
}

std::wstring frmOptionen::CharacterEntry(const std::wstring& fileName) {
    std::wstring name = fileName.substr(fileName.find_last_of(L'\\') + 1);
    name = name.substr(0, name.find(L'.'));
    name = ToLower(name);
    if (!name.empty()) CharUpperBuffW(name.data(), 1);
    return name;
}

void frmOptionen::Load() { CreateModeless(MainWindow(), IDD_frmOptionen); }

void frmOptionen::ShowForm() {
    ShowWindow(hwnd(), SW_SHOW);
    SetForegroundWindow(hwnd());
    Form_Activate();
}

bool frmOptionen::OnInit() {
    Form_Load();
    return true;
}

bool frmOptionen::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg == WM_ACTIVATE && LOWORD(wp) != WA_INACTIVE) Form_Activate();
    return false;
}

void frmOptionen::Form_Activate() {
    Trap(kModule, L"Form_Activate", [&] {
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        SetWindowPos(hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    });
}

bool frmOptionen::Checked(int id) const { return IsDlgButtonChecked(hwnd(), id) == BST_CHECKED; }

void frmOptionen::SetCheck(int id, bool on) {
    CheckDlgButton(hwnd(), id, on ? BST_CHECKED : BST_UNCHECKED);
    React(id);
}

void frmOptionen::Changed() { Item(IDC_cmdOK).Enable(true); }

std::wstring frmOptionen::AgentTypeText() const { return Item(IDC_cboAgentType).Text(); }

void frmOptionen::SetAgentTypeText(const std::wstring& text) {
    HWND list = Item(IDC_cboAgentType);
    const LRESULT i = text.empty() ? CB_ERR : SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                          reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(list, CB_SETCURSEL, i == CB_ERR ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(i), 0);
    cboAgentType_Change();
}

void frmOptionen::Form_Load() {
    const wchar_t* proc = L"Form_Load";
    const auto& s = AppSwitches;
    auto step = [&](auto&& f) { Trap(kModule, proc, f); };
    Trace(kModule, proc, L"startet");
    // The characters are listed first, so that the assistant's check box finds them.
    step([&] {
        std::vector<std::wstring> files;
        Service<clsFiles>().FindFilesAPI(AppEnvironment.AgentCharsDir, L"*.acs", false, files);
        HWND list = Item(IDC_cboAgentType);
        for (size_t i = 1; i < files.size(); ++i) {
            const std::wstring entry = CharacterEntry(files[i]);
            if (!entry.empty() && SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                               reinterpret_cast<LPARAM>(entry.c_str())) == CB_ERR)
                SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
        }
        Item(IDC_lblNoAgents).Show(SendMessageW(list, CB_GETCOUNT, 0, 0) <= 0);
    });
    step([&] {
        SetCheck(IDC_chbScreenSave, s.ScreenSave == 1);
        // "AutoEntfernen" before "AutoClose", whose tick overrides it.
        SetCheck(IDC_chbAutoEntfernen, s.AutoEntfernen == 1);
        SetCheck(IDC_chbAutoClose, s.AutoClose == 1);
        SetCheck(IDC_chbAutoRegFileDel, s.AutoRegFileDel == 1);
        SetCheck(IDC_chbAutoScan, s.AutoScan == 1);
        SetCheck(IDC_chbProtokoll, s.Protokoll == 1);
        SetCheck(IDC_chbRebootAfterDelete, s.RebootAfterDelete == 1);
        SetCheck(IDC_chbRebootAfterEntry, s.RebootAfterEntry == 1);
        SetCheck(IDC_chbAutoFileDelAfterReentry, s.AutoFileDelAfterReentry == 1);
    });
    step([&] { SetAgentTypeText(s.AgentType); });
    step([&] { SetCheck(IDC_chbLoadAgent, s.AgentLoad == 1); });
    step([&] {
        SetCheck(IDC_chbRecycler, s.Recycler == 1);
        SetCheck(IDC_chbFileDelSecurity, s.Loeschsicherheit == 1);
        SetCheck(IDC_chbRecyclerEmptySecurity, s.RecyclerSecurity == 1);
    });
    step([&] {
        HWND days = Item(IDC_cboAutoRegFileDel);
        for (const wchar_t* e : kDayEntries) SendMessageW(days, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e));
        SetWindowTextW(days, std::to_wstring(s.DelAfterDays).c_str());
    });
    step([&] {
        const int mode = s.Proxy == 1 ? 1 : 0;
        CheckRadioButton(hwnd(), IDC_rdoINet1, IDC_rdoINet2, mode == 1 ? IDC_rdoINet2 : IDC_rdoINet1);
        rdoINet_Click(mode);
        Item(IDC_txtProxyAdresse).SetText(s.ProxyAdresse);
        Item(IDC_txtProxyPort).SetText(std::to_wstring(s.ProxyPort));
    });
    step([&] {
        if (s.AgentType.empty() && Checked(IDC_chbLoadAgent)) {
            HWND list = Item(IDC_cboAgentType);
            if (SendMessageW(list, CB_GETCOUNT, 0, 0) > 0 && AgentTypeText().empty()) {
                SendMessageW(list, CB_SETCURSEL, 0, 0);
                cboAgentType_Change();
            }
        }
    });
    step([&] { Service<clsAgent>().Speak(L"Hier können Einstellungen für das Programm vorgenommen werden."); });
    Item(IDC_cmdOK).Enable(false);
    Trace(kModule, proc, L"endet");
}

void frmOptionen::React(int id) {
    const bool on = Checked(id);
    switch (id) {
    case IDC_chbAutoClose:
        if (on) CheckDlgButton(hwnd(), IDC_chbAutoEntfernen, BST_CHECKED);
        Item(IDC_chbAutoEntfernen).Enable(!on);
        break;
    case IDC_chbRebootAfterDelete:
        if (on) SetCheck(IDC_chbAutoClose, true);
        Item(IDC_chbAutoClose).Enable(!on);
        break;
    case IDC_chbRecycler:
        CheckDlgButton(hwnd(), IDC_chbFileDelSecurity, BST_UNCHECKED);
        Item(IDC_chbFileDelSecurity).Enable(!on);
        break;
    case IDC_chbAutoRegFileDel:
        for (int c : {IDC_cboAutoRegFileDel, IDC_lblAutoRegFileDel1, IDC_lblAutoRegFileDel2}) Item(c).Enable(on);
        break;
    case IDC_chbLoadAgent: chbLoadAgent_Click(); break;
    default: break;
    }
    Changed();
}

void frmOptionen::rdoINet_Click(int mode) {
    proxyMode_ = mode;
    for (int c : {IDC_lblProxyAdresse, IDC_txtProxyAdresse, IDC_lblProxyport, IDC_txtProxyPort}) Item(c).Enable(mode == 1);
    Changed();
}

void frmOptionen::chbLoadAgent_Click() {
    const wchar_t* proc = L"chbLoadAgent_Click";
    clsAgent& agent = Service<clsAgent>();
    const bool on = Checked(IDC_chbLoadAgent);
    Item(IDC_cboAgentType).Enable(on);
    Item(IDC_lblAgentType).Enable(on);
    if (!on) {
        Trap(kModule, proc, [&] { agent.AgentUnload(); });
        return;
    }
    HWND list = Item(IDC_cboAgentType);
    // No character chosen yet, or the chosen one is no longer installed: the first one greets.
    const bool greet = AppSwitches.AgentType.empty() || AgentTypeText().empty();
    if (greet) {
        if (SendMessageW(list, CB_GETCOUNT, 0, 0) <= 0) {
            // Nothing to show: the box unticks itself again.
            CheckDlgButton(hwnd(), IDC_chbLoadAgent, BST_UNCHECKED);
            Item(IDC_cboAgentType).Enable(false);
            Item(IDC_lblAgentType).Enable(false);
            return;
        }
        SendMessageW(list, CB_SETCURSEL, 0, 0);
    }
    const std::wstring type = AgentTypeText();
    AppSwitches.AgentLoad = 1;
    AppSwitches.AgentFile = type + L".acs";
    Trap(kModule, proc, [&] {
        const std::wstring name = agent.Name();
        if (HWND main = MainWindow()) agent.MoveNear(main);
        if (greet) agent.Speak(L"Hallo meine Name ist " + name + L". Ich werde Sie durch das Programm begleiten.");
    });
}

void frmOptionen::cboAgentType_Change() {
    const std::wstring text = AgentTypeText();
    if (text.empty() && Checked(IDC_chbLoadAgent)) SetCheck(IDC_chbLoadAgent, false);
    const DWORD a = GetFileAttributesW((AppEnvironment.AgentCharsDir + text + L".acs").c_str());
    if (!text.empty() && a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY)) Changed();
}

void frmOptionen::cboAgentType_Click() {
    const wchar_t* proc = L"cboAgentType_Click";
    const std::wstring text = AgentTypeText();
    if (text.empty()) {
        SetCheck(IDC_chbLoadAgent, false);
        Changed();
        return;
    }
    clsAgent& agent = Service<clsAgent>();
    const std::wstring file = text + L".acs";
    try {
        // The chosen character shows itself at once, and must be able to speak.
        if (agent.LoadedFile() != file) agent.AgentRun(file);
        if (!agent.Loaded()) Raise(Err::FileNotFound, L"Die Charakterdatei " + file + L" konnte nicht geladen werden.");
        agent.AgentSpeak(file, L"Hallo. Danke für die Aktivierung.");
        AppSwitches.AgentFile = file;
    } catch (...) {
        const RuntimeError e = CurrentError();
        const std::wstring message = L"Der Agent-Charakter " + text +
                                     L" unterstützt nicht die benötigten Eigenschaften und kann deshalb nicht verwendet werden." +
                                     L"\r\n" + L"Verwenden Sie z.B. Merlin.";
        HandleError(kModule, proc, message, e.number, e.description, Style::Information, false);
        Trap(kModule, proc, [&] { agent.AgentUnload(); });
        MessageBoxW(hwnd(), message.c_str(), AppEnvironment.AppTitle.c_str(), MB_ICONINFORMATION | MB_OK);
        SendMessageW(Item(IDC_cboAgentType), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    }
    Changed();
}

bool frmOptionen::Validate() {
    auto refuse = [&](int control, const std::wstring& text) {
        MessageBoxW(hwnd(), text.c_str(), AppEnvironment.AppTitle.c_str(), MB_ICONEXCLAMATION | MB_OK);
        SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(control).hwnd()), TRUE);
        return false;
    };
    // Only what is switched on has to be sound; the rest is kept as stored when it is not.
    if (Checked(IDC_chbAutoRegFileDel)) {
        if (std::wstring p = DayCountProblem(Item(IDC_cboAutoRegFileDel).Text()); !p.empty())
            return refuse(IDC_cboAutoRegFileDel, p);
    }
    if (proxyMode_ == 1) {
        if (Trim(Item(IDC_txtProxyAdresse).Text()).empty())
            return refuse(IDC_txtProxyAdresse, L"Bitte geben Sie die Adresse des Proxyservers ein.");
        if (std::wstring p = PortProblem(Item(IDC_txtProxyPort).Text()); !p.empty())
            return refuse(IDC_txtProxyPort, p);
    }
    return true;
}

void frmOptionen::cmdOK_Click() {
    const wchar_t* proc = L"cmdOK_Click";
    if (!Validate()) return;
    clsKeyFunc& keys = Service<clsKeyFunc>();
    auto save = [&](const wchar_t* section, const wchar_t* key, const std::wstring& value) {
        Trap(kModule, proc, [&] { keys.SaveSetting(section, key, value); });
    };
    auto flag = [&](int id) { return std::wstring(Checked(id) ? L"1" : L"0"); };
    const wchar_t* O = L"Optionen";
    const std::wstring days = Item(IDC_cboAutoRegFileDel).Text(), port = Item(IDC_txtProxyPort).Text();
    if (DayCountProblem(days).empty()) save(O, L"DelAfterDays", days);
    save(O, L"AutoClose", flag(IDC_chbAutoClose));
    save(O, L"AutoEntfernen", flag(IDC_chbAutoEntfernen));
    save(O, L"AutoFileDelAfterReentry", flag(IDC_chbAutoFileDelAfterReentry));
    save(O, L"AutoRegFileDel", flag(IDC_chbAutoRegFileDel));
    save(O, L"AutoScan", flag(IDC_chbAutoScan));
    save(O, L"AgentLoad", flag(IDC_chbLoadAgent));
    save(O, L"AgentType", AgentTypeText());
    save(O, L"Protokoll", flag(IDC_chbProtokoll));
    save(O, L"RebootAfterDelete", flag(IDC_chbRebootAfterDelete));
    save(O, L"RebootAfterEntry", flag(IDC_chbRebootAfterEntry));
    save(O, L"Proxy", std::to_wstring(proxyMode_));
    save(O, L"ProxyAdresse", Item(IDC_txtProxyAdresse).Text());
    if (PortProblem(port).empty()) save(O, L"ProxyPort", port);
    save(O, L"Recycler", flag(IDC_chbRecycler));
    save(O, L"Löschsicherheit", flag(IDC_chbFileDelSecurity));
    save(O, L"RecyclerSecurity", flag(IDC_chbRecyclerEmptySecurity));
    save(L"Screen", L"ScreenSave", flag(IDC_chbScreenSave));
    Trap(kModule, proc, [&] { keys.ReadAppSwitch(); });
    Trap(kModule, proc, [&] {
        // The windows that show a setting show the new one at once.
        if (MainFrame* frame = AppFrame()) frame->OptionsChanged();
    });
    Trap(kModule, proc, [&] { Service<clsAgent>().Play(L"Write"); });
    Item(IDC_cmdOK).Enable(false);
    cmdClose_Click();
}

void frmOptionen::cmdClose_Click() {
    // The handler drops this object: nothing of it is touched afterwards.
    Service<FormSource>().CloseWindow(WindowNo::Optionen);
}

void frmOptionen::cmdHelp_Click() {
    Trap(kModule, L"cmdHelp_Click", [&] { OpenHelp(hwnd(), HelpPage()); }, Style::Warning, true);
}

void frmOptionen::OnCommand(int id, int code, HWND control) {
    switch (id) {
    case IDC_cmdOK: cmdOK_Click(); return;
    case IDC_cmdClose: case IDCANCEL: cmdClose_Click(); return;
    case IDC_cmdHelp: cmdHelp_Click(); return;
    case IDC_rdoINet1: if (code == BN_CLICKED) rdoINet_Click(0); return;
    case IDC_rdoINet2: if (code == BN_CLICKED) rdoINet_Click(1); return;
    case IDC_txtProxyAdresse: case IDC_txtProxyPort: if (code == EN_CHANGE) Changed(); return;
    case IDC_cboAutoRegFileDel:
        if (code == CBN_EDITCHANGE || code == CBN_SELCHANGE || code == CBN_KILLFOCUS) Changed();
        return;
    case IDC_cboAgentType:
        if (code == CBN_SELCHANGE) {
            cboAgentType_Change();
            cboAgentType_Click();
        }
        return;
    default:
        if (code == BN_CLICKED && GetDlgItem(hwnd(), id) &&
            (GetWindowLongW(GetDlgItem(hwnd(), id), GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX)
            React(id);
        return;
    }
}
