// app/office/frmOffice.cpp
#include "office/frmOffice.h"
#include "assistant/clsAgent.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/modWaitForProcess.h"
#include "core/win/Menu.h"
#include "core/win/ToolTips.h"
#include "journal/ChangeJournal.h"
#include "office/frmOffice.rh"
#include "registry/clsKeyFunc.h"
#include "registry/clsSearch.h"
#include <optional>

namespace {
const wchar_t* kModule = L"frmOffice";


bool FileThere(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring FileName(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

// A setting as a number, whatever type it was stored with.
std::optional<int> Number(const KeyValue& v) {
    if (const auto* n = std::get_if<int16_t>(&v)) return *n;
    if (const auto* s = std::get_if<std::wstring>(&v)) {
        try {
            return ToInt16(*s);
        } catch (...) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

constexpr const wchar_t* kJournal = L"Software\\Microsoft\\Shared Tools\\Outlook\\Journaling\\Microsoft ";
constexpr const wchar_t* kSecurityPolicy = L"Software\\Policies\\Microsoft\\Security";

const wchar_t* const kPageCaptions[] = {L" Microsoft Access", L" Microsoft Excel", L" Microsoft PowerPoint",
                                        L" Microsoft Word", L" Microsoft Outlook", L"Microsoft Outlook XP Sicherheit",
                                        L"Microsoft Sammelmappe"};
constexpr int kSecurityPage = 5;

const int kSecurityControls[] = {
    IDC_FrameOfficeOutlookSicherheit, IDC_lblOfficeOutlookText, IDC_lblOfficeOutlookSicherheit,
    IDC_lvwOfficeOutlookClosed, IDC_lblOfficeOutlookPermits, IDC_lvwOfficeOutlookPermits, IDC_lblOfficeOutlookPolicy,
    IDC_lblOfficeOutlookJournal, IDC_ckbOfficeOutlookJournalAccess, IDC_ckbOfficeOutlookJournalBinder,
    IDC_ckbOfficeOutlookJournalExcel, IDC_ckbOfficeOutlookJournalPowerPoint, IDC_ckbOfficeOutlookJournalWord,
    IDC_ckbOfficeOutlookJournalAll, IDC_ckbOfficeOutlookExchange, IDC_cmdOfficeOutlookToPermits,
    IDC_cmdOfficeOutlookToClosed, IDC_cmdOfficeOutlookPermitsAll, IDC_cmdOfficeOutlookClosedAll};
// What the suite before Outlook XP does not have.
const int kAttachmentControls[] = {IDC_lvwOfficeOutlookClosed, IDC_lvwOfficeOutlookPermits,
                                   IDC_cmdOfficeOutlookToPermits, IDC_cmdOfficeOutlookToClosed,
                                   IDC_cmdOfficeOutlookPermitsAll, IDC_cmdOfficeOutlookClosedAll,
                                   IDC_ckbOfficeOutlookSysTray};
const int kJournalBoxes[] = {IDC_ckbOfficeOutlookJournalAccess, IDC_ckbOfficeOutlookJournalBinder,
                             IDC_ckbOfficeOutlookJournalExcel, IDC_ckbOfficeOutlookJournalPowerPoint,
                             IDC_ckbOfficeOutlookJournalWord};
// Which edges each control follows when the window is resized.
constexpr Anchor kLayout[] = {
    {IDC_Frame1, kSizeX | kSizeY},
    {IDC_TabOffice, kSizeX | kSizeY},
    {IDC_lblOfficeNone, kSizeX},
};
}  // namespace

// One application of the suite: its keys, its controls and menu items, its trace texts.
struct frmOffice::App {
    const wchar_t* name;     // key name below P and the trace texts' name
    const wchar_t* shown;    // as the user knows it
    const wchar_t* options;  // the options key below the application's; nullptr: no options reset
    bool userTest;           // installed when its key exists below HKEY_CURRENT_USER (Binder)
    int page;
    int resetLabel, ckbAll, ckbOptions, ckbSymbol, cmdClean, cmdRegister, ckbJournal;
    int mnuClean, mnuRegister;
    const wchar_t* proc;
    const wchar_t* startText;
};

namespace {
using App = frmOffice::App;
// Detection order: Access, Binder, Excel, PowerPoint, Word; Outlook has its own step.
const frmOffice::App kApps[] = {
    {L"Access", L"Access", L"Settings", false, 0, IDC_lblOfficeResetAccess, IDC_ckbOfficeAccessAllReturn,
     IDC_ckbOfficeAccessOptionen, 0, IDC_cmdOfficeAccessClean, 0, IDC_ckbOfficeOutlookJournalAccess,
     IDM_mnuOfficeAccessClean, 0, L"cmdOfficeAccessClean_Click", L"started"},
    {L"Binder", L"Sammelmappe", nullptr, true, 6, IDC_lblOfficeResetBinder, IDC_ckbOfficeBinderAllReturn, 0, 0,
     IDC_cmdOfficeBinderClean, 0, IDC_ckbOfficeOutlookJournalBinder, IDM_mnuOfficeBinderClean, 0,
     L"cmdOfficeBinderClean_Click", L"started"},
    {L"Excel", L"Excel", L"Options", false, 1, IDC_lblOfficeResetExcel, IDC_ckbOfficeExcelAllReturn,
     IDC_ckbOfficeExcelOptionen, 0, IDC_cmdOfficeExcelClean, IDC_cmdOfficeExcelRegistrieren,
     IDC_ckbOfficeOutlookJournalExcel, IDM_mnuOfficeExcelClean, IDM_mnuOfficeExcelRegister,
     L"cmdOfficeExcelClean_Click", L"started"},
    {L"PowerPoint", L"PowerPoint", L"Options", false, 2, IDC_lblOfficeResetPowerPoint,
     IDC_ckbOfficePowerPointAllReturn, IDC_ckbOfficePowerPointOptionen, 0, IDC_cmdOfficePowerPointClean, 0,
     IDC_ckbOfficeOutlookJournalPowerPoint, IDM_mnuOfficePowerPointClean, 0, L"cmdOfficePowerPointClean_Click",
     L"started"},
    {L"Word", L"Word", L"Options", false, 3, IDC_lblOfficeResetWord, IDC_ckbOfficeWordAllReturn,
     IDC_ckbOfficeWordOptionen, IDC_ckbOfficeWordSymbol, IDC_cmdOfficeWordClean, IDC_cmdOfficeWordRegistrieren,
     IDC_ckbOfficeOutlookJournalWord, IDM_mnuOfficeWordClean, IDM_mnuOfficeWordRegister,
     L"cmdOfficeWordClean_Click", L"startet"},
};
const frmOffice::App kOutlook = {L"Outlook", L"Outlook", L"Options", false, 4, IDC_lblOfficeResetOutlook,
                                 IDC_ckbOfficeOutlookAllReturn, IDC_ckbOfficeOutlookOptionen, 0,
                                 IDC_cmdOfficeOutlookClean, 0, 0, IDM_mnuOfficeOutlookClean, 0,
                                 L"cmdOfficeOutlookClean_Click", L"started"};

const App& AppNamed(const wchar_t* name) {
    for (const App& a : kApps)
        if (lstrcmpW(a.name, name) == 0) return a;
    return kOutlook;
}
}  // namespace

// A check box that stands for one registry value (below HKEY_CURRENT_USER, REG_DWORD).
struct frmOffice::Setting {
    int box;
    std::wstring key;
    const wchar_t* value;
    int on, off;         // written when checked / unchecked
    bool missingChecked; // what a missing value shows
    REGSAM access;
};

bool frmOffice::SettingOf(int box, Setting& out) const {
    static const wchar_t* const journalApps[] = {L"Access", L"Binder", L"Excel", L"PowerPoint", L"Word"};
    for (size_t i = 0; i < std::size(kJournalBoxes); ++i)
        if (kJournalBoxes[i] == box) {
            // The box switches the journal off: checked means "Enabled" = 0.
            out = {box, std::wstring(kJournal) + journalApps[i], L"Enabled", 0, 1, true, KEY_ALL_ACCESS};
            return true;
        }
    if (box == IDC_ckbOfficeOutlookExchange) {
        out = {box, kSecurityPolicy, L"CheckAdminSettings", 2, 0, false, KEY_SET_VALUE};
        return true;
    }
    if (box == IDC_ckbOfficeOutlookSysTray) {
        out = {box, office_.UserPath() + L"\\Outlook\\Preferences", L"MinToTray", 1, 0, false, KEY_ALL_ACCESS};
        return true;
    }
    return false;
}

ListView frmOffice::ClosedList() const { return ListView(Item(IDC_lvwOfficeOutlookClosed)); }
ListView frmOffice::PermitsList() const { return ListView(Item(IDC_lvwOfficeOutlookPermits)); }

void frmOffice::Load() {
    Info(L"Form_Load", L"startet");
    MdiChild::Load();
    Trap(kModule, L"Form_Load", [] {
        Service<clsAgent>().Speak(L"Im Bereich Office, können Word und Co. repariert und konfiguriert werden.");
    });
    Info(L"Form_Load", L"endet");
}

bool frmOffice::OnInit() {
    UseLayout({kLayout});
    Trap(kModule, L"Form_Load", [&] {
        HWND tab = Item(IDC_TabOffice);
        for (int i = 0; i < static_cast<int>(std::size(kPageCaptions)); ++i) {
            TCITEMW it{};
            it.mask = TCIF_TEXT;
            it.pszText = const_cast<wchar_t*>(kPageCaptions[i]);
            TabCtrl_InsertItem(tab, i, &it);
        }
        // The pages' controls lie on the tab control; it and the frames stay beneath them.
        SetWindowPos(Item(IDC_FrameOfficeOutlookSicherheit), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetWindowPos(tab, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetWindowPos(Item(IDC_Frame1), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

        ListView closed = ClosedList(), permits = PermitsList();
        for (ListView l : {closed, permits}) {
            SetWindowLongPtrW(l, GWL_STYLE, GetWindowLongPtrW(l, GWL_STYLE) & ~LVS_SINGLESEL);
            l.SetFullRowSelect();
        }
        RECT r{0, 0, 196, 0};
        MapDialogRect(hwnd(), &r);
        closed.AddColumn(L"Endung", r.right / 4);
        closed.AddColumn(L"Beschreibung", r.right - r.right / 4 - GetSystemMetrics(SM_CXVSCROLL) - 4);
        RECT p{0, 0, 120, 0};
        MapDialogRect(hwnd(), &p);
        permits.AddColumn(L"Endung", p.right - GetSystemMetrics(SM_CXVSCROLL) - 4);

        auto tip = [&](int id, const wchar_t* text) { AddToolTip(hwnd(), id, text); };
        for (const App* a : {&kApps[0], &kApps[1], &kApps[2], &kApps[3], &kApps[4], &kOutlook})
            tip(a->cmdClean, L"markierte Aktion durchführen");
        tip(IDC_cmdOfficeExcelRegistrieren, L"Microsoft Excel im System neu registrieren. Dieser Vorgang setzt das "
                                            L"Programm auf einen Zustand wie neu installiert zurück.");
        tip(IDC_cmdOfficeWordRegistrieren, L"Microsoft Word im System neu eintragen. Dieser Vorgang setzt das "
                                           L"Programm auf einen Zustand wie neu installiert zurück.");
        tip(IDC_cmdOfficeOutlookToPermits, L"markierte Dateiendung freigeben");
        tip(IDC_cmdOfficeOutlookToClosed, L"markierte Dateiendung sperren");
        tip(IDC_cmdOfficeOutlookPermitsAll, L"Alle Dateiendungen freigeben");
        tip(IDC_cmdOfficeOutlookClosedAll, L"Alle Dateiendungen sperren");
        // Remember the template's places of the page controls.
        RECT top{0, 46, 0, 0};
        MapDialogRect(hwnd(), &top);
        designedPageTop_ = top.top;
        for (int page = 0; page < static_cast<int>(std::size(kPageCaptions)); ++page)
            for (int id : PageControls(page)) {
                RECT r = Item(id).Bounds();
                MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&r), 2);
                pageLayout_.push_back({id, r});
            }
        ShowPage(0);
    });
    MenuBottomLine1 = MenuBottomLineSite::Create(hwnd(), L"frmOffice");
    return true;
}

void frmOffice::OnLayout(int, int) { LayoutPages(); }

void frmOffice::LayoutPages() {
    HWND tab = Item(IDC_TabOffice);
    RECT display = Item(IDC_TabOffice).Bounds();
    MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&display), 2);
    TabCtrl_AdjustRect(tab, FALSE, &display);
    RECT gap{0, 4, 0, 0};
    MapDialogRect(hwnd(), &gap);
    const int dy = display.top + gap.top - designedPageTop_;
    HDWP moves = BeginDeferWindowPos(static_cast<int>(pageLayout_.size()));
    for (const auto& [id, r] : pageLayout_)
        if (moves)
            moves = DeferWindowPos(moves, Item(id), nullptr, r.left, r.top + dy, 0, 0,
                                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (moves) EndDeferWindowPos(moves);
}

bool frmOffice::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg != WM_CTLCOLORSTATIC && msg != WM_CTLCOLORBTN) return false;
    HWND control = reinterpret_cast<HWND>(lp);
    const int id = GetDlgCtrlID(control);
    bool onPage = false;
    for (const auto& entry : pageLayout_) onPage |= entry.first == id;
    const bool warning = id == IDC_lblOfficeOutlookPolicy || id == IDC_lblOfficeNone;
    if (!onPage && !warning) return false;
    // The controls of the pages stand on the tab control's body, which a visual style paints in
    // the window colour.
    int colour = COLOR_BTNFACE;
    if (onPage) {
        using IsAppThemedFn = BOOL(WINAPI*)();
        static const auto themed = reinterpret_cast<IsAppThemedFn>(
            reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"uxtheme.dll"), "IsAppThemed")));
        if (themed && themed()) colour = COLOR_WINDOW;
    }
    HDC dc = reinterpret_cast<HDC>(wp);
    SetBkColor(dc, GetSysColor(colour));
    if (warning) SetTextColor(dc, RGB(192, 0, 0));
    result = reinterpret_cast<LRESULT>(GetSysColorBrush(colour));
    return true;
}

void frmOffice::Form_Activate() {
    Trap(kModule, L"Form_Activate", [&] {
        Maximize();
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    });
    FindOffice();
}

std::vector<int> frmOffice::PageControls(int page) const {
    std::vector<int> ids;
    for (const App* a : {&kApps[0], &kApps[1], &kApps[2], &kApps[3], &kApps[4], &kOutlook}) {
        if (a->page != page) continue;
        for (int id : {a->resetLabel, a->ckbAll, a->ckbOptions, a->ckbSymbol, a->cmdClean})
            if (id) ids.push_back(id);
    }
    if (page == 1)
        ids.insert(ids.end(), {IDC_lblOfficeRegisterExcel, IDC_lblOfficeExcelRegistrieren, IDC_cmdOfficeExcelRegistrieren});
    if (page == 3)
        ids.insert(ids.end(), {IDC_lblOfficeRegisterWord, IDC_lblOfficeWordRegistrieren, IDC_cmdOfficeWordRegistrieren});
    if (page == 4) ids.push_back(IDC_ckbOfficeOutlookSysTray);
    if (page == kSecurityPage) ids.insert(ids.end(), std::begin(kSecurityControls), std::end(kSecurityControls));
    return ids;
}

void frmOffice::ShowPage(int page) {
    for (int p = 0; p < static_cast<int>(std::size(kPageCaptions)); ++p)
        if (p != page)
            for (int id : PageControls(p)) Item(id).Show(false);
    for (int id : PageControls(page)) Item(id).Show(true);
}

void frmOffice::SelectPage(int page) {
    TabCtrl_SetCurSel(Item(IDC_TabOffice), page);
    ShowPage(page);
    FindOffice();
}

int frmOffice::Page() const { return TabCtrl_GetCurSel(Item(IDC_TabOffice)); }

int frmOffice::Message(const std::wstring& text, UINT icon) {
    lastMessage_ = text;
    return Ask(text, icon | MB_OK);
}

// ---------------------------------------------------------------- detection

void frmOffice::SetAppControls(const App& app, bool installed) {
    for (int id : {app.ckbAll, app.ckbOptions, app.ckbSymbol, app.cmdClean, app.cmdRegister, app.ckbJournal})
        if (id) Item(id).Enable(installed);
    HMENU bar = MenuBar();
    if (!bar) return;
    for (int id : {app.mnuClean, app.mnuRegister})
        if (id) MenuItem::Enable(bar, id, installed);
}

void frmOffice::FindOffice() {
    const wchar_t* proc = L"FindOffice";
    if (busy_) return;
    Info(proc, L"startet");
    Trap(kModule, proc, [&] { Status(L"Daten werden gelesen..."); });
    Trap(kModule, proc, [&] {
        office_ = DetectOffice();
        Item(IDC_Frame1).SetText(office_.caption);
        Item(IDC_lblOfficeNone).Show(!office_.Found());
        Info(proc, office_.caption);
    });
    for (const App& app : kApps) {
        Trap(kModule, proc, [&] {
            bool installed = false;
            if (office_.Found()) {
                const std::wstring key = std::wstring(app.name);
                installed = app.userTest
                                ? Service<clsKeyFunc>().KeyExist(kHKCU, office_.UserPath() + L"\\" + key, KEY_QUERY_VALUE) != 0
                                : MachineKeyExists(office_, key);
            }
            SetAppControls(app, installed);
            Info(proc, std::wstring(app.name) + (installed ? L" ist installiert" : L" ist nicht installiert"));
        });
    }
    Trap(kModule, proc, [&] { OutlookStep(office_.Found() && MachineKeyExists(office_, L"Outlook")); });
    FillOutlookSecurityLevel();
    Trap(kModule, proc, [&] { Status(L"Status"); });
    Info(proc, L"endet");
}

void frmOffice::OutlookStep(bool installed) {
    const wchar_t* proc = L"FindOffice";
    const bool security = installed && office_.HasAttachmentSecurity();
    SetAppControls(kOutlook, installed);
    for (int id : kSecurityControls) Item(id).Enable(installed);
    for (int id : kAttachmentControls) Item(id).Enable(security);
    // The journal boxes belong to their applications as well.
    if (installed)
        for (const App& app : kApps) Item(app.ckbJournal).Enable(Item(app.cmdClean).Enabled());
    if (const MainFrame* frame = AppFrame())
        if (HMENU office = frame->EditMenu(IDM_mnuOfficeAccessClean)) MenuItem::EnablePopup(office, 0, security);
    if (!installed) {
        Info(proc, L"Outlook ist nicht installiert");
        UpdatePolicyNote();
        return;
    }
    Info(proc, security ? L"Outlook-Attach-Sicherheit wurde aktiviert" : L"Outlook-Attach-Sicherheit wurde deaktiviert");
    static const wchar_t* const names[] = {L"Access", L"Binder", L"Excel", L"PowerPoint", L"Word"};
    for (size_t i = 0; i < std::size(kJournalBoxes); ++i) {
        ReadSetting(kJournalBoxes[i]);
        Info(proc, std::wstring(names[i]) + L"-Journal=" +
                       (IsDlgButtonChecked(hwnd(), kJournalBoxes[i]) == BST_CHECKED ? L"1" : L"0"));
    }
    ReadSetting(IDC_ckbOfficeOutlookExchange);
    Info(proc, std::wstring(L"Exchange-Server-Sicherheit=") +
                   (IsDlgButtonChecked(hwnd(), IDC_ckbOfficeOutlookExchange) == BST_CHECKED ? L"1" : L"0"));
    ReadSetting(IDC_ckbOfficeOutlookSysTray);
    UpdatePolicyNote();
}

void frmOffice::ReadSetting(int box) {
    Setting s;
    if (!SettingOf(box, s)) return;
    const std::optional<int> n = Number(Service<clsKeyFunc>().QueryKeyValue(kHKCU, s.key, s.value));
    const bool checked = n ? *n == s.on : s.missingChecked;
    // Setting the state sends no click: reading the registry never writes it.
    CheckDlgButton(hwnd(), box, checked ? BST_CHECKED : BST_UNCHECKED);
}

void frmOffice::UpdatePolicyNote() {
    std::wstring note;
    clsKeyFunc& keys = Service<clsKeyFunc>();
    if (office_.HasAttachmentSecurity()) {
        const std::wstring policy = L"Software\\Policies\\Microsoft\\Office\\" + office_.version + L"\\Outlook\\Security";
        for (RootKey root : {kHKCU, kHKLM}) {
            const KeyValue v = keys.QueryKeyValue(root, policy, L"Level1Remove");
            if (std::holds_alternative<std::monostate>(v)) continue;
            const std::wstring* text = std::get_if<std::wstring>(&v);
            note = L"Eine Richtlinie gibt die Freigaben vor, diese Auswahl gilt nicht: " + (text ? *text : std::wstring());
            break;
        }
    }
    const std::optional<int> admin = Number(keys.QueryKeyValue(kHKCU, kSecurityPolicy, L"CheckAdminSettings"));
    if (note.empty() && admin && (*admin == 1 || *admin == 2))
        note = L"Der Exchangeserver gibt die Sicherheitseinstellungen vor; diese Auswahl gilt nicht.";
    Item(IDC_lblOfficeOutlookPolicy).SetText(note);
}

// ---------------------------------------------------------------- resets

void frmOffice::cmdOfficeAccessClean_Click() { Reset(AppNamed(L"Access")); }
void frmOffice::cmdOfficeBinderClean_Click() { Reset(AppNamed(L"Binder")); }
void frmOffice::cmdOfficeExcelClean_Click() { Reset(AppNamed(L"Excel")); }
void frmOffice::cmdOfficeOutlookClean_Click() { Reset(kOutlook); }
void frmOffice::cmdOfficePowerPointClean_Click() { Reset(AppNamed(L"PowerPoint")); }
void frmOffice::cmdOfficeWordClean_Click() { Reset(AppNamed(L"Word")); }

std::vector<RegChange> frmOffice::ResetChanges(const App& app, const std::wstring& key, bool all) {
    std::vector<RegChange> changes;
    clsSearch& search = Service<clsSearch>();
    const std::wstring profiles = key + L"\\Profiles";
    std::vector<std::wstring> names;
    if (all && &app == &kOutlook && search.KeyStatus(kHKCU, profiles, KEY_READ) == ERROR_SUCCESS)
        for (const std::wstring& n : search.Get_SubFolders(kHKCU, profiles))
            if (!n.empty()) names.push_back(n);
    if (names.empty()) return {RegChange::DeleteTree(kHKCU, key)};
    // The mail profiles hold the user's accounts: they go only when the user says so for them.
    std::wstring list;
    for (const std::wstring& n : names) list += L"\r\n    " + n;
    const int answer = Ask(L"Unter HKEY_CURRENT_USER\\" + profiles + L" sind diese Outlook-Profile gespeichert:" + list +
                               L"\r\n\r\nSie enthalten Ihre E-Mail-Konten. Sollen die Profile ebenfalls gelöscht "
                               L"werden?\r\n\r\nBei \"Nein\" bleiben sie erhalten, alles andere wird zurückgesetzt.",
                           MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2);
    if (answer == IDYES) return {RegChange::DeleteTree(kHKCU, key)};
    Info(app.proc, L"Outlook-Profile bleiben erhalten");
    for (const std::wstring& sub : search.Get_SubFolders(kHKCU, key))
        if (!sub.empty() && ToLower(sub) != L"profiles") changes.push_back(RegChange::DeleteTree(kHKCU, key + L"\\" + sub));
    for (const std::wstring& value : search.Get_KeyValues(kHKCU, key))
        if (search.LastResult() != ERROR_FILE_NOT_FOUND) changes.push_back(RegChange::DeleteValue(kHKCU, key, value));
    return changes;
}

void frmOffice::Reset(const App& app) {
    const wchar_t* proc = app.proc;
    if (busy_) return;
    // A menu item runs the same as the button, and only what the button may.
    if (!Item(app.cmdClean).Enabled()) return;
    busy_ = true;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    Info(proc, app.startText);
    auto checked = [&](int id) { return id && IsDlgButtonChecked(hwnd(), id) == BST_CHECKED; };
    const bool all = checked(app.ckbAll), options = !all && checked(app.ckbOptions) && app.options;
    const bool word = lstrcmpW(app.name, L"Word") == 0;
    const bool toolbars = word && !all && checked(app.ckbSymbol);
    const std::wstring base = office_.UserPath() + L"\\" + app.name;
    const std::wstring data = base + L"\\Data";
    std::wstring key, label;
    if (all) {
        key = base;
        label = std::wstring(app.name) + L" komplett löschen: ";
    } else if (options) {
        key = base + L"\\" + app.options;
        label = std::wstring(app.name) + L" Optionen löschen: ";
    }
    const bool wordData = word && (options || toolbars);
    Trap(kModule, proc, [&] {
        if (key.empty() && !wordData) {
            Message(L"Bitte markieren Sie zuerst, was für " + std::wstring(app.shown) + L" zurückgesetzt werden soll.",
                    MB_ICONINFORMATION);
            return;
        }
        if (!key.empty()) {
            SearchQuery query;
            query.KeyPath = key;
            query.Root = kHKCU;
            query.CompareMode = 1;
            query.Recurse = true;
            query.MatchKeyName = true;
            std::vector<ScanHit> hits(1);
            Service<clsSearch>().FindString(query, hits);
            Info(proc, label + std::to_wstring(hits.size() - 1) + L" Einträge gelesen");
        }
        std::vector<RegChange> changes;
        if (!key.empty()) changes = ResetChanges(app, key, all);
        if (word && options) {
            Info(proc, L"Word Data Settings löschen");
            changes.push_back(RegChange::DeleteValue(kHKCU, data, L"Settings"));
        }
        if (toolbars) {
            changes.push_back(RegChange::DeleteValue(kHKCU, data, L"Toolbars"));
            Info(proc, L"Word Data Toolbars löschen");
        }
        ChangeJournal journal(L"Office", kModule, proc);
        const JournalResult result = journal.Apply(changes);
        if (result.undoProblem != JournalResult::UndoProblem::None) {
            Message(L"Die Sicherungsdatei konnte nicht geschrieben werden:\r\n" + result.undoError.description +
                        (result.Done() == 0 ? L"\r\n\r\nEs wurde nichts gelöscht." : L"\r\n\r\nNicht alles wurde gelöscht."),
                    MB_ICONEXCLAMATION);
            return;
        }
        std::vector<std::wstring> failed;
        for (size_t i = 0; i < changes.size(); ++i)
            if (!result.items[i].done) failed.push_back(changes[i].Where());
        const std::wstring undo = journal.FileMade() ? journal.UndoPath() : std::wstring();
        const std::wstring saved = undo.empty() ? std::wstring()
                                                : L"\r\n\r\nDer vorherige Stand ist in der Sicherungsdatei " +
                                                      FileName(undo) + L" gesichert.";
        if (!failed.empty()) {
            std::wstring list;
            for (const std::wstring& f : failed) list += L"\r\n" + f;
            const std::wstring text = L"Nicht alles konnte gelöscht werden (Zugriff verweigert):" + list + saved;
            HandleError(kModule, proc, text, 0, L"", Style::Warning, false);
            Message(text, MB_ICONEXCLAMATION);
        } else if (undo.empty()) {
            Message(L"Für " + std::wstring(app.shown) + L" sind keine solchen Einstellungen gespeichert; es wurde nichts gelöscht.",
                    MB_ICONINFORMATION);
        } else {
            Message(L"Die Einstellungen von " + std::wstring(app.shown) + L" wurden zurückgesetzt." + saved,
                    MB_ICONINFORMATION);
        }
    });
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    busy_ = false;
    Info(proc, L"endet");
}

// ---------------------------------------------------------------- re-registration

void frmOffice::cmdOfficeExcelRegistrieren_Click() { Reregister(false); }
void frmOffice::cmdOfficeWordRegistrieren_Click() { Reregister(true); }

void frmOffice::Reregister(bool word) {
    const wchar_t* proc = word ? L"cmdOfficeWordRegistrieren_Click" : L"cmdOfficeExcelRegistrieren_Click";
    if (busy_) return;
    if (!Item(word ? IDC_cmdOfficeWordRegistrieren : IDC_cmdOfficeExcelRegistrieren).Enabled()) return;
    busy_ = true;
    const std::wstring shown = word ? L"Word" : L"Excel";
    const std::wstring exe = word ? L"winword.exe" : L"excel.exe";
    const std::wstring notFound = L"Der Installationspfad von Microsoft " + shown + L" wurde nicht gefunden.";
    std::wstring folder;
    Trap(kModule, proc, [&] {
        if (office_.Found()) folder = ReadMachineValue(office_, shown + L"\\Installroot", L"Path");
        if (!folder.empty()) folder = WithBackslash(folder);
    });
    // Without a folder there is nothing to start: never the program of the drive's root.
    if (folder.empty() || !FileThere(folder + exe)) {
        Message(notFound, MB_ICONEXCLAMATION);
        ReportError(kModule, proc, RuntimeError{Err::FileNotFound, ErrorDescription(Err::FileNotFound)}, Style::Warning, false,
                    folder + exe);
        busy_ = false;
        return;
    }
    const bool shortSwitches = word && (office_.version == L"10.0" || office_.version == L"11.0");
    const std::wstring off = shortSwitches ? L"/u" : L"/unregserver", on = shortSwitches ? L"/r" : L"/regserver";
    const std::wstring program = L"\"" + folder + exe + L"\" ";
    try {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        unsigned long first = 0, second = 0;
        // The registration starts only after the unregistration has ended.
        ShelledApp(program + off, first);
        Info(proc, folder + exe + L" " + off + L" beendet; Rückgabewert: " + std::to_wstring(first));
        ShelledApp(program + on, second);
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        if (second == 0) {
            Info(proc, folder + exe + L" konnte nachregistriert werden; Rückgabewert: " + std::to_wstring(second));
            Message(L"Microsoft " + shown + L" wurde im System neu registriert.", MB_ICONINFORMATION);
        } else {
            const std::wstring text =
                folder + exe + L" konnte nicht nachregistriert werden; Rückgabewert: " + std::to_wstring(second);
            HandleError(kModule, proc, text, 0, L"", Style::Warning, false);
            Message(L"Microsoft " + shown + L" konnte nicht neu registriert werden (Rückgabewert: " +
                        std::to_wstring(second) + L").",
                    MB_ICONEXCLAMATION);
        }
    } catch (...) {
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        const RuntimeError e = CurrentError();
        Message(notFound, MB_ICONEXCLAMATION);
        ReportError(kModule, proc, e, Style::Warning, false, folder + exe);
    }
    busy_ = false;
}

// ---------------------------------------------------------------- Outlook attachment security

void frmOffice::FillOutlookSecurityLevel() {
    const wchar_t* proc = L"FillOutlookSecurityLevel";
    Info(proc, L"startet");
    ListView closed = ClosedList(), permits = PermitsList();
    Trap(kModule, proc, [&] {
        permits.Clear();
        closed.Clear();
    });
    std::vector<std::wstring> released;
    Trap(kModule, proc, [&] {
        const std::wstring stored =
            Service<clsKeyFunc>().ReadKeyValue(kHKCU, office_.UserPath() + L"\\Outlook\\Security", L"Level1Remove");
        Info(proc, L"Freigegebene Attach: " + stored);
        released = Level1Items(stored);
    });
    Trap(kModule, proc, [&] {
        for (const Level1Entry& e : Level1Table())
            if (!Level1Contains(released, e.extension)) closed.AddRow({e.extension, e.description});
        Info(proc, L"Permitsliste gefüllt");
        // An item stored with its dot (".exe") is shown as it is, not with two.
        for (const std::wstring& item : released) permits.AddRow({item[0] == L'.' ? item : L"." + item});
    });
    Info(proc, L"endet");
}

namespace {
std::vector<std::wstring> Rows(const ListView& list, bool selected, bool unselected) {
    std::vector<std::wstring> out;
    for (int i = 0; i < list.Count(); ++i) {
        const bool s = list.Selected(i);
        if ((s && selected) || (!s && unselected)) {
            std::wstring text = list.Cell(i, 0);
            if (!text.empty() && text[0] == L'.') text.erase(0, 1);
            out.push_back(text);
        }
    }
    return out;
}
}  // namespace

void frmOffice::cmdOfficeOutlookToPermits_Click() {
    const wchar_t* proc = L"cmdOfficeOutlookToPermits_Click";
    if (!ClosedList().Enabled()) return;
    Info(proc, L"started");
    Trap(kModule, proc, [&] {
        const std::vector<std::wstring> chosen = Rows(ClosedList(), true, false);
        if (chosen.empty()) return;
        std::vector<std::wstring> items = Rows(PermitsList(), true, true);
        for (const std::wstring& e : chosen) {
            Info(proc, L"." + e + L": wird freigegeben");
            items.push_back(e);
        }
        WriteReleased(items, proc);
    });
    Info(proc, L"endet");
}

void frmOffice::cmdOfficeOutlookToClosed_Click() {
    const wchar_t* proc = L"cmdOfficeOutlookToClosed_Click";
    if (!PermitsList().Enabled()) return;
    Info(proc, L"startet");
    Trap(kModule, proc, [&] {
        const std::vector<std::wstring> chosen = Rows(PermitsList(), true, false);
        if (chosen.empty()) return;
        for (const std::wstring& e : chosen) Info(proc, L"." + e + L": Freigabe entfernt");
        WriteReleased(Rows(PermitsList(), false, true), proc);
    });
    Info(proc, L"endet");
}

void frmOffice::cmdOfficeOutlookPermitsAll_Click() {
    const wchar_t* proc = L"cmdOfficeOutlookPermitsAll_Click";
    if (!ClosedList().Enabled()) return;
    Info(proc, L"startet");
    // What the lists show after ">>" is what is stored.
    Trap(kModule, proc, [&] {
        std::vector<std::wstring> items = Rows(PermitsList(), true, true);
        for (const std::wstring& e : Rows(ClosedList(), true, true)) items.push_back(e);
        WriteReleased(items, proc);
    });
    Info(proc, L"endet");
}

void frmOffice::cmdOfficeOutlookClosedAll_Click() {
    const wchar_t* proc = L"cmdOfficeOutlookClosedAll_Click";
    if (!PermitsList().Enabled()) return;
    Trap(kModule, proc, [&] { WriteReleased({}, proc); });
}

void frmOffice::WriteReleased(const std::vector<std::wstring>& items, const wchar_t* procedure) {
    const std::wstring key = office_.UserPath() + L"\\Outlook\\Security";
    const std::wstring value = Level1Value(items);
    clsKeyFunc& keys = Service<clsKeyFunc>();
    const KeyValue before = keys.QueryKeyValue(kHKCU, key, L"Level1Remove");
    const std::wstring* stored = std::get_if<std::wstring>(&before);
    const bool unchanged = stored ? *stored == value : value.empty();
    if (!unchanged) {
        ChangeJournal journal(L"Office", kModule, procedure);
        const JournalResult result = journal.Apply({RegChange::SetText(kHKCU, key, L"Level1Remove", value)});
        if (result.undoProblem != JournalResult::UndoProblem::None) {
            Message(L"Die Sicherungsdatei konnte nicht geschrieben werden:\r\n" + result.undoError.description +
                        L"\r\n\r\nDie freigegebenen Dateiendungen bleiben unverändert.",
                    MB_ICONEXCLAMATION);
        } else if (!result.items[0].done) {
            const std::wstring text = L"Die freigegebenen Dateiendungen konnten nicht in HKEY_CURRENT_USER\\" + key +
                                      L" gespeichert werden (Zugriff verweigert).";
            HandleError(kModule, procedure, text, 0, L"", Style::Warning, false);
            Message(text, MB_ICONEXCLAMATION);
        }
    }
    // The lists show what is stored, whatever happened.
    FillOutlookSecurityLevel();
}

void frmOffice::WriteSettings(const std::vector<int>& boxes) {
    const wchar_t* proc = L"ckbOfficeOutlook_Click";
    clsKeyFunc& keys = Service<clsKeyFunc>();
    std::vector<Setting> changes;
    for (int box : boxes) {
        Setting s;
        if (!SettingOf(box, s)) continue;
        const int want = IsDlgButtonChecked(hwnd(), box) == BST_CHECKED ? s.on : s.off;
        const std::optional<int> now = Number(keys.QueryKeyValue(kHKCU, s.key, s.value));
        if (now && *now == want) continue;
        changes.push_back(s);
    }
    if (changes.empty()) return;
    std::vector<RegChange> writes;
    for (const Setting& s : changes)
        writes.push_back(RegChange::SetDword(kHKCU, s.key, s.value,
                                             IsDlgButtonChecked(hwnd(), s.box) == BST_CHECKED ? s.on : s.off));
    ChangeJournal journal(L"Office", kModule, proc);
    const JournalResult result = journal.Apply(writes);
    if (result.undoProblem != JournalResult::UndoProblem::None && result.Done() == 0) {
        for (const Setting& s : changes) ReadSetting(s.box);
        Message(L"Die Sicherungsdatei konnte nicht geschrieben werden:\r\n" + result.undoError.description +
                    L"\r\n\r\nDie Einstellung bleibt unverändert.",
                MB_ICONEXCLAMATION);
        return;
    }
    std::wstring failed;
    for (size_t i = 0; i < changes.size(); ++i) {
        if (result.items[i].done) continue;
        failed += L"\r\n" + writes[i].Where();
        ReadSetting(changes[i].box);  // the box shows what is stored
    }
    UpdatePolicyNote();
    if (!failed.empty()) {
        const std::wstring text = L"Die Einstellung konnte nicht gespeichert werden (Zugriff verweigert):" + failed;
        HandleError(kModule, proc, text, 0, L"", Style::Warning, false);
        Message(text, MB_ICONEXCLAMATION);
    }
}

void frmOffice::ckbOfficeOutlookJournalAll_Click() {
    const bool on = IsDlgButtonChecked(hwnd(), IDC_ckbOfficeOutlookJournalAll) != BST_UNCHECKED;
    std::vector<int> boxes;
    for (int box : kJournalBoxes) {
        if (!Item(box).Enabled()) continue;
        CheckDlgButton(hwnd(), box, on ? BST_CHECKED : BST_UNCHECKED);
        boxes.push_back(box);
    }
    WriteSettings(boxes);
}

void frmOffice::SortList(bool closedList, int column) {
    (closedList ? closedSort_ : permitsSort_).By(closedList ? ClosedList() : PermitsList(), column);
}

void frmOffice::ListKeyDown(bool closedList, WORD key) {
    switch (key) {
    case VK_F5: FillOutlookSecurityLevel(); break;
    case VK_F6: SortList(closedList, 0); break;
    case VK_F7:
        if (closedList) SortList(true, 1);
        break;
    case VK_DELETE: case VK_CLEAR:
        if (!closedList) cmdOfficeOutlookToClosed_Click();
        break;
    case VK_RETURN: case VK_EXECUTE:
        // Enter moves from the blocked list only.
        if (closedList) cmdOfficeOutlookToPermits_Click();
        break;
    default: break;
    }
}

void frmOffice::lvwOfficeOutlook_MouseUp(bool closedList) {
    Trap(kModule, L"lvwOfficeOutlook_MouseUp", [&] {
        HMENU bar = MenuBar();
        const bool plural = (closedList ? ClosedList() : PermitsList()).SelectedCount() >= 2;
        if (closedList)
            MenuItem::SetCaption(bar, IDM_mnuOfficeOutlookSecurityPermits,
                                 plural ? L"markierte Einträge &freigeben" : L"markierten Eintrag &freigeben");
        else
            MenuItem::SetCaption(bar, IDM_mnuOfficeOutlookSecurityClosed,
                                 plural ? L"markierte Einträge &sperren" : L"markierten Eintrag &sperren");
        // The pop-up holds the items of this list only; the menu bar's items stay as they are, so
        // its "Microsoft Office" menu always shows all of them.
        const UINT ids[2] = {closedList ? UINT(IDM_mnuOfficeOutlookSecurityPermits) : UINT(IDM_mnuOfficeOutlookSecurityClosed),
                             closedList ? UINT(IDM_mnuOfficeOutlookSecurityPermitsAll)
                                        : UINT(IDM_mnuOfficeOutlookSecurityClosedAll)};
        HMENU popup = CreatePopupMenu();
        for (UINT id : ids)
            AppendMenuW(popup, MF_STRING | (MenuItem::Enabled(bar, id) ? 0 : MF_GRAYED), id, MenuItem::Caption(bar, id).c_str());
        POINT pt{};
        GetCursorPos(&pt);
        const int chosen = static_cast<int>(
            TrackPopupMenuEx(popup, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, pt.x, pt.y, hwnd(), nullptr));
        DestroyMenu(popup);
        if (chosen) OnMenuCommand(chosen);
    });
}

// ---------------------------------------------------------------- commands

bool frmOffice::OnMenuCommand(int id) {
    switch (id) {
    case IDM_mnuOfficeOutlookSecurityPermits: cmdOfficeOutlookToPermits_Click(); return true;
    case IDM_mnuOfficeOutlookSecurityPermitsAll: cmdOfficeOutlookPermitsAll_Click(); return true;
    case IDM_mnuOfficeOutlookSecurityClosed: cmdOfficeOutlookToClosed_Click(); return true;
    case IDM_mnuOfficeOutlookSecurityClosedAll: cmdOfficeOutlookClosedAll_Click(); return true;
    case IDM_mnuOfficeAccessClean: cmdOfficeAccessClean_Click(); return true;
    case IDM_mnuOfficeExcelClean: cmdOfficeExcelClean_Click(); return true;
    case IDM_mnuOfficeExcelRegister: cmdOfficeExcelRegistrieren_Click(); return true;
    case IDM_mnuOfficeOutlookClean: cmdOfficeOutlookClean_Click(); return true;
    case IDM_mnuOfficePowerPointClean: cmdOfficePowerPointClean_Click(); return true;
    case IDM_mnuOfficeBinderClean: cmdOfficeBinderClean_Click(); return true;
    case IDM_mnuOfficeWordClean: cmdOfficeWordClean_Click(); return true;
    case IDM_mnuOfficeWordRegister: cmdOfficeWordRegistrieren_Click(); return true;
    default: return false;
    }
}

void frmOffice::OnCommand(int id, int code, HWND control) {
    switch (id) {
    case IDC_cmdOfficeAccessClean: cmdOfficeAccessClean_Click(); return;
    case IDC_cmdOfficeBinderClean: cmdOfficeBinderClean_Click(); return;
    case IDC_cmdOfficeExcelClean: cmdOfficeExcelClean_Click(); return;
    case IDC_cmdOfficeOutlookClean: cmdOfficeOutlookClean_Click(); return;
    case IDC_cmdOfficePowerPointClean: cmdOfficePowerPointClean_Click(); return;
    case IDC_cmdOfficeWordClean: cmdOfficeWordClean_Click(); return;
    case IDC_cmdOfficeExcelRegistrieren: cmdOfficeExcelRegistrieren_Click(); return;
    case IDC_cmdOfficeWordRegistrieren: cmdOfficeWordRegistrieren_Click(); return;
    case IDC_cmdOfficeOutlookToPermits: cmdOfficeOutlookToPermits_Click(); return;
    case IDC_cmdOfficeOutlookToClosed: cmdOfficeOutlookToClosed_Click(); return;
    case IDC_cmdOfficeOutlookPermitsAll: cmdOfficeOutlookPermitsAll_Click(); return;
    case IDC_cmdOfficeOutlookClosedAll: cmdOfficeOutlookClosedAll_Click(); return;
    case IDC_ckbOfficeOutlookJournalAll:
        if (code == BN_CLICKED && IsWindowVisible(hwnd())) ckbOfficeOutlookJournalAll_Click();
        return;
    case IDOK: return;
    default: break;
    }
    Setting s;
    // A box's click writes its value; only the user clicks (reading the registry sets no click).
    if (code == BN_CLICKED && SettingOf(id, s) && IsWindowVisible(hwnd())) WriteSettings({id});
}

LRESULT frmOffice::OnNotify(NMHDR* hdr) {
    if (hdr->idFrom == IDC_TabOffice && hdr->code == TCN_SELCHANGE) {
        ShowPage(Page());
        FindOffice();
        return 0;
    }
    const bool closed = hdr->hwndFrom == ClosedList().hwnd();
    if (!closed && hdr->hwndFrom != PermitsList().hwnd()) return 0;
    switch (hdr->code) {
    case LVN_COLUMNCLICK: SortList(closed, reinterpret_cast<NMLISTVIEW*>(hdr)->iSubItem); break;
    case LVN_KEYDOWN: ListKeyDown(closed, reinterpret_cast<NMLVKEYDOWN*>(hdr)->wVKey); break;
    case NM_DBLCLK:
        if (closed) cmdOfficeOutlookToPermits_Click();
        else cmdOfficeOutlookToClosed_Click();
        break;
    case NM_RCLICK: lvwOfficeOutlook_MouseUp(closed); break;
    default: break;
    }
    return 0;
}
