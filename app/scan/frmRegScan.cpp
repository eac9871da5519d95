// app/scan/frmRegScan.cpp
#include "scan/frmRegScan.h"
#include "assistant/clsAgent.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/modReboot.h"
#include "core/win/Menu.h"
#include "registry/clsKeyFunc.h"
#include "registry/clsSearch.h"
#include "scan/ScanExclusions.h"
#include "scan/ScanReport.h"
#include "scan/clsCheckKeys.h"
#include "scan/frmRegScan.rh"
#include <algorithm>
#include <commdlg.h>
#include <cwchar>

namespace {
const wchar_t kModule[] = L"frmRegScan";
const wchar_t kStart[] = L"cmdStart_Click";
constexpr UINT_PTR kTimer = 1;
// Activation work runs after WM_MDIACTIVATE has finished, not inside it: it may start a scan.
constexpr UINT kActivated = WM_APP + 10;

std::wstring StartText() {
    const std::wstring br = L"\r\n\r\n";
    return L"Der " + AppEnvironment.AppTitle + L" ist ein Programm, das nach Fehlern " +
           L"in der Windows Registrierungs- Datenbank sucht und diese behebt." + br +
           L"Sollten Fehler in der Windows Registrierungs-Datenbank gefunden werden, " +
           L"können diese von Ihnen entfernt werden. Die entfernten Registryeinträge werden " +
           L"anschließend in Form einer Datei im Backup-Bereich abgelegt." + br +
           L"Sollte Windows oder eine andere Anwendung nicht mehr einwandfrei funktionieren, " +
           L"können Sie den ursprünglichen Zustand, durch Einspielen der Sicherungsdatei " +
           L"aus dem Backup-Bereich erreichen. Als ob sie nie entfernt worden sind.";
}


// Shares of the list's width the columns get until the user gives them his own widths, kept in
// "Screen", "RegScanSpalte1".. 6: so that "Grund" and "Gesucht" are in sight without scrolling.
constexpr int kColumnShares[kResultColumnCount] = {26, 11, 19, 8, 14, 22};
std::wstring WidthSetting(int column) { return L"RegScanSpalte" + std::to_wstring(column + 1); }

// The commands that work on listed rows.
constexpr int kRowCommands[] = {IDM_mnuRegScanAll, IDM_mnuRegScanCurrent, IDM_mnuRegScanIgnore, IDM_mnuRegScanSave};

// Which edges each control follows when the window is resized.
constexpr Anchor kLayout[] = {
    {IDC_cmdStart, kMoveX},
    {IDC_cmdAbbrechen, kMoveX},
    {IDC_lblStartText, kSizeX},
    {IDC_lblScanTxt, kSizeX},
    {IDC_lblScanProzent, kMoveX},
    {IDC_lblExtraScan, kSizeX},
    {IDC_ProgressBar, kSizeX},
    {IDC_lblScanBericht, kSizeX},
    {IDC_lvwRegKeys, kSizeX | kSizeY},
};
}  // namespace

const wchar_t* const frmRegScan::kStartCaption = L"&Start";
const wchar_t* const frmRegScan::kRemoveCaption = L"&Entfernen";

frmRegScan::frmRegScan() : engine_(std::make_shared<ScanEngine>()) {
    sort_.column = -1;  // the engine's order until a header is clicked
    engine_->SetQuestions(this);
    engine_->SetProgress(this);
}

frmRegScan::~frmRegScan() {
    // A scan that pumped the message which closed us goes on until its next check: it must not
    // call back into this object.
    *alive_ = false;
    engine_->SetProgress(nullptr);
    engine_->SetQuestions(nullptr);
    if (engine_->Running()) {
        engine_->Cancel();
        Service<clsCheckKeys>().SetQuestions(nullptr);
    }
    if (imlRegKeys) ImageList_Destroy(imlRegKeys);
}

void frmRegScan::Unload() {
    if (engine_->Running()) engine_->Close();
    CloseChild();
}

bool frmRegScan::RemovalPending() const { return hwnd() && Item(IDC_cmdStart).Text() == kRemoveCaption; }

void frmRegScan::EnableMenu(int id, bool on) const { MenuItem::Enable(MenuBar(), id, on); }

void frmRegScan::Panel(int panel, const std::wstring& text) const {
    Status(text, panel);
}

void frmRegScan::SetLabel(int id, const std::wstring& text) const {
    Wnd label = Item(id);
    if (label.Text() != text) label.SetText(text);
}

bool frmRegScan::Checked(int id) const { return IsDlgButtonChecked(hwnd(), id) == BST_CHECKED; }

// Like the value of a check box set in code, this runs the box's click handling.
void frmRegScan::SetCheck(int id, bool on) {
    CheckDlgButton(hwnd(), id, on ? BST_CHECKED : BST_UNCHECKED);
    if (id == IDC_chbRegKeysShow) chbRegKeysShow_Click();
}

void frmRegScan::SetWaitPointer(bool on) {
    waitPointer_ = on;
    SetCursor(LoadCursorW(nullptr, on ? IDC_WAIT : IDC_ARROW));
}

void frmRegScan::SetBericht(const std::wstring& text, COLORREF colour) {
    berichtColour_ = colour;
    Item(IDC_lblScanBericht).SetText(text);
    InvalidateRect(Item(IDC_lblScanBericht), nullptr, TRUE);
}

// Form_Load
bool frmRegScan::OnInit() {
    UseLayout({kLayout});
    Trap(kModule, L"Form_Load", [&] { MenuBottomLine1 = MenuBottomLineSite::Create(hwnd(), kModule); });
    Trap(kModule, L"Form_Load", [&] {
        lvw_ = Item(IDC_lvwRegKeys);
        UseRecordList(lvw_);
        UsePathCells(lvw_, {0, 2, 5});  // the key, the data, what was looked for
        ListView list = List();
        list.SetFullRowSelect();
        imlRegKeys = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                      ILC_COLOR32 | ILC_MASK, 1, 0);
        ImageList_AddIcon(imlRegKeys, static_cast<HICON>(LoadImageW(nullptr, IDI_WARNING, IMAGE_ICON,
                                                                    GetSystemMetrics(SM_CXSMICON),
                                                                    GetSystemMetrics(SM_CYSMICON), LR_SHARED)));
        ListView_SetImageList(lvw_, imlRegKeys, LVSIL_SMALL);
        RECT area{};
        GetClientRect(lvw_, &area);
        const int width = std::max<int>(400, area.right - area.left - GetSystemMetrics(SM_CXVSCROLL));
        for (int c = 0; c < kResultColumnCount; ++c) list.AddColumn(kResultColumns[c], width * kColumnShares[c] / 100);
        // The whole key of the row under the mouse, as the columns may cut it.
        ListView_SetExtendedListViewStyleEx(lvw_, LVS_EX_INFOTIP, LVS_EX_INFOTIP);
    });
    Trap(kModule, L"Form_Load", [&] { RestoreColumnWidths(); });
    Trap(kModule, L"Form_Load", [&] {
        Item(IDC_lblStartText).SetText(StartText());
        if (!Service<clsSearch>().ScanRun)
            for (int id : {IDC_lblScanTxt, IDC_lblScanProzent, IDC_lblScanBericht}) Item(id).SetText(L"");
    });
    return true;
}

void frmRegScan::OnActivate(bool active) {
    if (active && hwnd()) PostMessageW(hwnd(), kActivated, 0, 0);
}

void frmRegScan::Form_Activate() {
    if (!IsWindowVisible(Frame()) ||
        reinterpret_cast<HWND>(SendMessageW(GetParent(Frame()), WM_MDIGETACTIVE, 0, 0)) != Frame())
        return;
    Trap(kModule, L"Form_Activate", [&] {
        Maximize();
    });
    // "AutoScan" starts one scan after the window was opened; later activations, and above all an
    // activation while problems wait for removal, start nothing.
    if (AppSwitches.AutoScan != 1 || autoScanDone_) return;
    autoScanDone_ = true;
    if (RemovalPending() || Service<clsSearch>().ScanRun) return;
    Trap(kModule, L"Form_Activate", [&] {
        ShowChild();
        if (const MainFrame* frame = AppFrame()) frame->EnableEditMenu(IDM_mnuRegScanStart, true);
        EnableMenu(IDM_mnuRegScanAbbrechen, true);
        EnableMenu(IDM_mnuRegScanStart, false);
    });
    cmdStart_Click();
}

bool frmRegScan::OnQueryClose() {
    // Closing the window ends a running scan first.
    if (Service<clsSearch>().ScanRun && !RemovalPending()) cmdAbbrechen_Click();
    return true;
}

void frmRegScan::OnDestroy() {
    KillTimer(hwnd(), kTimer);
    Trap(kModule, L"Form_Unload", [&] { SaveColumnWidths(); });
    MenuBottomLine1.reset();
}

void frmRegScan::cmdStart_Click() {
    // A scan or search under way (it pumps messages, so tray and menu commands still arrive)
    // refuses a second start and, above all, a removal in the middle of it.
    clsSearch& search = Service<clsSearch>();
    if (search.ScanRun || !hwnd()) return;
    search.ScanRun = true;
    if (RemovalPending()) Remove();
    else Scan();
}

bool frmRegScan::Scan() {
    std::shared_ptr<bool> alive = alive_;
    std::shared_ptr<ScanEngine> engine = engine_;
    Trap(kModule, kStart, [&] {
        Service<clsSearch>().StopSearch = false;
        Item(IDC_cmdStart).Enable(false);
        EnableMenu(IDM_mnuRegScanStart, false);
        Item(IDC_cmdAbbrechen).Enable(true);
        EnableMenu(IDM_mnuRegScanAbbrechen, true);
        SetWaitPointer(true);
    });
    Trap(kModule, kStart, [] {
        Service<clsAgent>().Speak(L"Der Registry-Scan wurde gestartet.");
        Service<clsAgent>().Play(L"Searching");
    });
    Trap(kModule, kStart, [&] {
        HWND bar = Item(IDC_ProgressBar);
        ShowWindow(bar, SW_SHOW);
        SendMessageW(bar, PBM_SETRANGE32, 0, 100);
        SendMessageW(bar, PBM_SETPOS, 0, 0);
        SetTimer(hwnd(), kTimer, 50, nullptr);
        Trace(kModule, kStart, L"Verlauf festgelegt");
    });
    Trap(kModule, kStart, [&] {
        Item(IDC_chbRegKeysShow).Enable(false);
        for (int id : {IDC_lblScanTxt, IDC_lblScanProzent, IDC_lblScanBericht}) {
            Item(id).SetText(L"");
            Item(id).Show();
        }
        berichtColour_ = RGB(0, 0, 128);
    });
    Trap(kModule, kStart, [&] {
        // The history deletion itself belongs to the extras; here only its notice.
        const bool verlauf = Service<clsKeyFunc>().GetSetting(L"Optionen\\ExtraScan", L"AutoRegistryVerlaufDel", L"0") == L"1";
        Item(IDC_lblExtraScan).SetText(verlauf ? L"Das Löschen der Registry Verläufe ist eingeschalten." : L"");
        Item(IDC_lblExtraScan).Show(verlauf);
    });
    Trap(kModule, kStart, [&] {
        List().Clear();
        ClearGroups();
    });
    sort_.column = -1;

    const bool done = engine->Scan();
    if (!*alive || !hwnd()) return false;  // the window went while the scan ran
    if (!done) {
        // Cancelled: the cancel command has reset the window, unless someone else stopped the scan.
        if (!Item(IDC_cmdStart).Enabled()) cmdAbbrechen_Click();
        return true;
    }
    Trap(kModule, kStart, [&] {
        KillTimer(hwnd(), kTimer);
        HWND bar = Item(IDC_ProgressBar);
        SendMessageW(bar, PBM_SETPOS, 0, 0);
        ShowWindow(bar, SW_HIDE);
        Panel(1, L"Status");
        Panel(2, L"Gefundene Fehler: " + std::to_wstring(engine->Errors()));
        Item(IDC_lblScanTxt).SetText(L"Scanvorgang erfolgreich abgeschlossen.");
    });
    Trap(kModule, kStart, [] {
        Service<clsAgent>().Stop();
        Service<clsAgent>().Speak(L"Der Registry-Scan wurde erfolgreich abgeschlossen.");
    });
    Trap(kModule, kStart, [&] { SetBericht(engine->RatingText(), engine->RatingColour()); });
    return Auswertung();
}

bool frmRegScan::Remove() {
    Trace(kModule, kStart, L"Entfernen gedrückt");
    if (!ProblemeEntfernen()) return false;
    if (!Auswertung()) return false;
    // Rows that remain (marked removal, or keys that could not be deleted) wait for further removals.
    if (List().Count() > 0) return true;
    ResetAfterLastRow();
    return true;
}

void frmRegScan::ResetAfterLastRow() {
    Trap(kModule, kStart, [&] {
        List().Show(false);
        SetCheck(IDC_chbRegKeysShow, false);
        SetCheck(IDC_chbMarkierteKeysEntfernen, false);
        Item(IDC_chbRegKeysShow).Enable(false);
        Item(IDC_chbMarkierteKeysEntfernen).Enable(false);
        Item(IDC_cmdStart).SetText(kStartCaption);
        Item(IDC_cmdAbbrechen).Enable(false);
        EnableMenu(IDM_mnuRegScanStart, true);
        EnableMenu(IDM_mnuRegScanAbbrechen, false);
        EnableRowCommands(false);
        Item(IDC_lblScanProzent).Show(false);
        Panel(1, L"Status");
        Panel(2, L"Version " + AppEnvironment.AppVersion);
    });
}

void frmRegScan::EnableRowCommands(bool on) const {
    for (int id : kRowCommands) EnableMenu(id, on);
}

bool frmRegScan::ProblemeEntfernen() {
    std::shared_ptr<bool> alive = alive_;
    std::shared_ptr<ScanEngine> engine = engine_;
    const bool onlyMarked = Checked(IDC_chbMarkierteKeysEntfernen);
    std::vector<size_t> marked;
    if (onlyMarked) marked = ListedRows(true);
    sort_.ascending = true;  // the list comes back in the order of its key column
    sort_.column = -1;
    const RemovalResult result = engine->ProblemeEntfernen(onlyMarked ? &marked : nullptr);
    if (!*alive) return false;
    Trap(kModule, L"ProblemeEntfernen", [&] {
        FillList();
        SetBericht(result.report, result.colour);
    });
    if (!result.completed && !result.errorMessage.empty())
        Ask(result.errorMessage, MB_OK | MB_ICONEXCLAMATION);
    return *alive;
}

void frmRegScan::ClearGroups() {
    if (groups_.empty()) return;
    ListView_RemoveAllGroups(lvw_);
    ListView_EnableGroupView(lvw_, FALSE);
    groups_.clear();
}

void frmRegScan::FitColumnsToRows() {
    // Columns the user has not sized follow what the list holds; they are still not the user's.
    clsKeyFunc& keys = Service<clsKeyFunc>();
    const ListView list = List();
    std::vector<int> fitted, paths;
    for (int c = 0; c < kResultColumnCount; ++c) {
        if (!keys.GetSetting(L"Screen", WidthSetting(c), L"").empty() || ListView_GetColumnWidth(lvw_, c) != loadedWidths_[c])
            continue;
        // The key most; the reason (a short text) least, so the paths keep room.
        list.FitColumns({c}, c == 0 ? 40 : c == 4 ? 20 : 30);
        fitted.push_back(c);
        if (c == 0 || c == 2 || c == 5) paths.push_back(c);
    }
    // Paths give way first: their cells keep their ends in sight.
    list.ShareOut(paths);
    for (int c : fitted) loadedWidths_[c] = ListView_GetColumnWidth(lvw_, c);
}

bool frmRegScan::Auswertung() {
    const wchar_t kProc[] = L"Auswertung";
    std::shared_ptr<bool> alive = alive_;
    Trace(kModule, kProc, L"startet");
    if (List().Count() > 0) Trap(kModule, kProc, [&] { FitColumnsToRows(); });
    Service<clsSearch>().ScanRun = false;
    if (AppSwitches.AutoEntfernen == 1) {
        Trace(kModule, kProc, L"AutoEntfernen wird gestartet");
        if (List().Count() > 0 && !ProblemeEntfernen()) return false;
        ScanClose();
        if (AppSwitches.RebootAfterDelete == 1) {
            Trace(kModule, kProc, L"AutoClose + Reboot");
            // A restart ends the user's other programs too: it is asked for first.
            const int answer = Ask(L"Die Fehler wurden entfernt.\r\nSoll der Computer jetzt neu gestartet werden?",
                                   MB_YESNO | MB_ICONQUESTION);
            if (!*alive) return false;
            if (answer == IDYES)
                Trap(kModule, kProc, [&] {
                    if (!RebootSystem()) RaiseWin32(GetLastError());
                });
            CloseAllWindows();
            return *alive;
        }
        if (List().Count() == 0 && AppSwitches.AutoClose == 1) {
            Trace(kModule, kProc, L"AutoClose");
            CloseAllWindows();
            return *alive;
        }
    } else if (List().Count() > 0) {
        Trap(kModule, kProc, [&] {
            Item(IDC_cmdStart).SetText(kRemoveCaption);
            Item(IDC_cmdStart).Enable(true);
            Item(IDC_chbRegKeysShow).Enable(true);
            EnableRowCommands(true);
            SetWaitPointer(false);
        });
    } else {
        EnableMenu(IDM_mnuRegScanAbbrechen, false);
        ScanClose();
    }
    Trace(kModule, kProc, L"endet");
    return true;
}

void frmRegScan::ScanClose() {
    const wchar_t kProc[] = L"ScanClose";
    Trap(kModule, kProc, [&] { engine_->Close(); });
    Trap(kModule, kProc, [&] {
        SetWaitPointer(false);
        Item(IDC_cmdStart).Enable(true);
        SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_cmdStart).hwnd()), TRUE);
        Item(IDC_cmdAbbrechen).Enable(false);
        SetCheck(IDC_chbRegKeysShow, false);
        SetCheck(IDC_chbMarkierteKeysEntfernen, false);
        Item(IDC_chbRegKeysShow).Enable(false);
        Item(IDC_chbMarkierteKeysEntfernen).Enable(false);
        HWND bar = Item(IDC_ProgressBar);
        SendMessageW(bar, PBM_SETPOS, 0, 0);
        ShowWindow(bar, SW_HIDE);
        KillTimer(hwnd(), kTimer);
        Panel(2, L"");
    });
    // The window is idle again: so is its menu (a scan without problems ends here too).
    Trap(kModule, kProc, [&] {
        EnableMenu(IDM_mnuRegScanStart, true);
        EnableMenu(IDM_mnuRegScanAbbrechen, false);
        EnableRowCommands(false);
    });
}

void frmRegScan::cmdAbbrechen_Click() {
    const wchar_t kProc[] = L"cmdAbbrechen_Click";
    ScanClose();
    Trap(kModule, kProc, [&] {
        Panel(1, L"Status");
        Panel(2, L"Version " + AppEnvironment.AppVersion);
        Panel(3, L"");
        Item(IDC_cmdStart).SetText(L"Start");
        for (int id : {IDC_lblScanTxt, IDC_lblScanProzent, IDC_lblScanBericht}) Item(id).SetText(L"");
    });
    Trap(kModule, kProc, [] {
        Service<clsAgent>().Stop();
        Service<clsAgent>().Speak(L"Der Registry-Scan wurde vom Benutzer abgebrochen.");
    });
}

void frmRegScan::mnuRegScanCurrent_Click() {
    std::shared_ptr<bool> alive = alive_;
    const bool tickedHere = !Checked(IDC_chbMarkierteKeysEntfernen);
    if (tickedHere) SetCheck(IDC_chbMarkierteKeysEntfernen, true);
    cmdStart_Click();
    if (*alive && tickedHere) SetCheck(IDC_chbMarkierteKeysEntfernen, false);
}

void frmRegScan::chbRegKeysShow_Click() {
    const bool on = Checked(IDC_chbRegKeysShow);
    List().Show(on);
    if (!on) CheckDlgButton(hwnd(), IDC_chbMarkierteKeysEntfernen, BST_UNCHECKED);
    Item(IDC_chbMarkierteKeysEntfernen).Enable(on);
}

void frmRegScan::FillList() {
    ListView list = List();
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    list.Clear();
    ClearGroups();
    const auto& rows = engine_->Rows();
    for (size_t i = 0; i < rows.size(); ++i) OnRowAdded(i, rows[i]);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

void frmRegScan::RestoreColumnWidths() {
    clsKeyFunc& keys = Service<clsKeyFunc>();
    for (int c = 0; c < kResultColumnCount; ++c) {
        const std::wstring text = keys.GetSetting(L"Screen", WidthSetting(c), L"");
        if (text.empty()) continue;
        wchar_t* end = nullptr;
        const long width = wcstol(text.c_str(), &end, 10);
        // A value that is no sensible width leaves the column as designed.
        if (*end != L'\0' || width < 8 || width > 4000) {
            Trace(kModule, L"Form_Load", L"Spaltenbreite " + WidthSetting(c) + L" ungültig: " + text);
            continue;
        }
        ListView_SetColumnWidth(lvw_, c, static_cast<int>(width));
    }
    for (int c = 0; c < kResultColumnCount; ++c) loadedWidths_[c] = ListView_GetColumnWidth(lvw_, c);
}

void frmRegScan::SaveColumnWidths() {
    if (!lvw_ || !IsWindow(lvw_)) return;
    clsKeyFunc& keys = Service<clsKeyFunc>();
    // Only what the user changed: a column left as it was keeps following the list's width.
    for (int c = 0; c < kResultColumnCount; ++c)
        if (const int width = ListView_GetColumnWidth(lvw_, c); width != loadedWidths_[c])
            keys.SaveSetting(L"Screen", WidthSetting(c), std::to_wstring(width));
}

std::wstring frmRegScan::RowTip(int listRow) const {
    const auto& rows = engine_->Rows();
    if (listRow < 0 || listRow >= List().Count()) return L"";
    const size_t i = static_cast<size_t>(List().Data(listRow));
    if (i >= rows.size()) return L"";
    const ResultRow& r = rows[i];
    std::wstring tip = r.item + L"\r\n" + FindingText(r.finding);
    if (!r.lookedFor.empty()) tip += L": " + r.lookedFor;
    return tip;
}

std::vector<size_t> frmRegScan::ListedRows(bool onlySelected) const {
    std::vector<size_t> out;
    const ListView list = List();
    for (int i = 0; i < list.Count(); ++i) {
        if (onlySelected && !list.Selected(i)) continue;
        const size_t at = static_cast<size_t>(list.Data(i));
        if (at < engine_->Rows().size()) out.push_back(at);
    }
    return out;
}

void frmRegScan::mnuRegScanIgnore_Click() {
    const wchar_t kProc[] = L"mnuRegScanIgnore_Click";
    if (Service<clsSearch>().ScanRun || !hwnd()) return;
    std::vector<std::wstring> keys;
    for (size_t at : ListedRows(true)) keys.push_back(engine_->Rows()[at].item);
    if (keys.empty()) return;
    bool stored = false;
    for (const std::wstring& key : keys)
        stored |= Trap(kModule, kProc, [&] {
            if (!ScanExclusions::Add(key))
                throw RuntimeError{Err::InvalidProperty, ErrorDescription(Err::InvalidProperty)};
            Trace(kModule, kProc, key + L" wird nicht mehr gemeldet");
        }, Style::Warning, false, key);
    if (!stored) {
        Ask(L"Die Ausnahme konnte nicht gespeichert werden.", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    Trap(kModule, kProc, [&] {
        engine_->DropExcludedRows();
        FillList();
        if (sort_.column >= 0) List().SortByColumn(sort_.column, sort_.ascending);
        UpdateRemoveCaption();
    });
    if (List().Count() == 0) {
        ResetAfterLastRow();
        return;
    }
    Panel(2, L"Gefundene Fehler: " + std::to_wstring(engine_->Errors()));
}

void frmRegScan::mnuRegScanSave_Click() {
    if (List().Count() == 0) return;
    wchar_t file[MAX_PATH * 4] = L"Registry Scan.txt";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = GetAncestor(hwnd(), GA_ROOT);
    ofn.lpstrFilter = L"Textdatei (*.txt)\0*.txt\0JSON (*.json)\0*.json\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = static_cast<DWORD>(std::size(file));
    ofn.lpstrDefExt = L"txt";
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&ofn)) {
        if (DWORD e = CommDlgExtendedError())
            ReportError(kModule, L"mnuRegScanSave_Click", RuntimeError{Err::BadFileName, ErrorDescription(Err::BadFileName)},
                        Style::Warning, false, L"Speichern-Dialog: Fehler " + std::to_wstring(e));
        return;
    }
    std::wstring path = file;
    // The chosen type decides the format, whatever the name ends in.
    SaveResult(path, ofn.nFilterIndex == 2);
}

bool frmRegScan::SaveResult(const std::wstring& path, bool json) {
    const wchar_t kProc[] = L"SaveResult";
    std::vector<ResultRow> shown;
    for (size_t at : ListedRows(false)) shown.push_back(engine_->Rows()[at]);
    RuntimeError failure;
    const bool ok = Trap(kModule, kProc, [&] {
        if (json) WriteUtf8File(path, ScanJsonDocument(*engine_, shown, nullptr) + L"\r\n", false);
        else WriteUtf8File(path, ScanTextTable(shown), true);
    }, Style::Warning, false, [&] {
        failure = CurrentError();
        return path;
    });
    if (ok) {
        Trace(kModule, kProc, std::to_wstring(shown.size()) + L" Zeilen gespeichert in " + path);
        return true;
    }
    const std::wstring text = L"Das Ergebnis konnte nicht in der Datei\r\n" + path + L"\r\ngespeichert werden:\r\n" +
                              failure.description;
    Ask(text, MB_OK | MB_ICONEXCLAMATION);
    return false;
}

void frmRegScan::UpdateRemoveCaption() {
    MenuItem::SetCaption(MenuBar(), IDM_mnuRegScanCurrent,
                         List().SelectedCount() < 2 ? L"&markierten Eintrag entfernen" : L"&markierte Einträge entfernen");
}

void frmRegScan::ShowPopupMenu() {
    // The frame runs the chosen command like the one of its menu bar.
    ShowEditPopup(IDM_mnuRegScanStart);
}

bool frmRegScan::OnMenuCommand(int id) {
    switch (id) {
    case IDM_mnuRegScanStart: case IDM_mnuRegScanAll: cmdStart_Click(); return true;
    case IDM_mnuRegScanCurrent: mnuRegScanCurrent_Click(); return true;
    case IDM_mnuRegScanAbbrechen: cmdAbbrechen_Click(); return true;
    case IDM_mnuRegScanIgnore: mnuRegScanIgnore_Click(); return true;
    case IDM_mnuRegScanSave: mnuRegScanSave_Click(); return true;
    case IDM_mnuPopUpStartScan:
        // As "Starten" of the scan menu: it only starts a scan, never the removal waiting here.
        if (MenuItem::Enabled(MenuBar(), IDM_mnuRegScanStart)) cmdStart_Click();
        return true;
    default: return false;
    }
}

void frmRegScan::OnCommand(int id, int code, HWND control) {
    if (code != BN_CLICKED) return;
    switch (id) {
    case IDC_cmdStart: cmdStart_Click(); break;
    case IDC_cmdAbbrechen: cmdAbbrechen_Click(); break;
    case IDC_chbRegKeysShow: chbRegKeysShow_Click(); break;
    }
}

void frmRegScan::OnListKey(WORD key) {
    switch (key) {
    case VK_F4: SortBy(0); break;
    case VK_F6: SortBy(1); break;
    case VK_F7: SortBy(2); break;
    default: break;
    }
}

void frmRegScan::OnListClick(bool rightButton) {
    UpdateRemoveCaption();
    if (rightButton) ShowPopupMenu();
}

LRESULT frmRegScan::OnNotify(NMHDR* hdr) {
    if (hdr->hwndFrom != lvw_ || hdr->code != LVN_GETINFOTIPW) return MdiChildForm::OnNotify(hdr);
    auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(hdr);
    if (!tip->pszText || tip->cchTextMax <= 0) return 0;
    // The list view hands over the cell's own text when it is cut; the tip replaces it.
    lstrcpynW(tip->pszText, RowTip(tip->iItem).c_str(), tip->cchTextMax);
    return 0;
}

void frmRegScan::OnTimer(UINT_PTR id) {
    if (id != kTimer) return;
    // While the registry is read the bar runs round, as nothing tells how much is left.
    HWND bar = Item(IDC_ProgressBar);
    const int value = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
    SendMessageW(bar, PBM_SETPOS, value >= 100 ? 0 : value + 5, 0);
}

bool frmRegScan::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
    case kActivated:
        Form_Activate();
        result = 0;
        return true;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lp) != Item(IDC_lblScanBericht).hwnd()) return false;
        SetTextColor(reinterpret_cast<HDC>(wp), berichtColour_);
        SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_BTNFACE));
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        return true;
    case WM_SETCURSOR:
        if (!waitPointer_) return false;
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        result = TRUE;
        return true;
    }
    return false;
}

bool frmRegScan::AskDrive(const std::wstring& text, const std::wstring& driveRoot) {
    return Ask(text, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool frmRegScan::AskNetworkDrive(const std::wstring& text, const std::wstring& driveRoot) {
    return MessageBoxW(GetActiveWindow(), text.c_str(), AppEnvironment.AppTitle.c_str(), MB_YESNO | MB_ICONQUESTION) ==
           IDYES;
}

void frmRegScan::OnStep(int step, const std::wstring& activity, size_t linesRead) {
    Trap(kModule, kStart, [&] {
        Item(IDC_lblScanTxt).SetText(activity);
        SetWaitPointer(true);
        Panel(1, L"Schritt " + std::to_wstring(step) + L" von " + std::to_wstring(ScanEngine::kSteps) +
                     L" läuft. Bitte warten...");
        Panel(3, std::to_wstring(linesRead) + L" Schlüssel eingelesen");
    });
}

void frmRegScan::OnStepDone(int step, size_t linesRead) {
    Trap(kModule, kStart, [&] {
        Panel(1, L"Einen Moment bitte...");
        Item(IDC_lblScanTxt).SetText(L"Registrierungsschlüssel werden verarbeitet...");
        SendMessageW(Item(IDC_ProgressBar), PBM_SETPOS, 0, 0);
    });
}

void frmRegScan::OnEvaluationBegin(size_t total) {
    Trap(kModule, kStart, [&] {
        KillTimer(hwnd(), kTimer);
        Panel(2, std::to_wstring(total) + L" relevante Einträge");
        Panel(1, L"Gefundene Einträge werden gescannt...");
        SendMessageW(Item(IDC_ProgressBar), PBM_SETRANGE32, 0, static_cast<LPARAM>(total));
        SendMessageW(Item(IDC_ProgressBar), PBM_SETPOS, 0, 0);
    });
}

void frmRegScan::OnEvaluate(size_t index, size_t total, int percent) {
    Trap(kModule, kStart, [&] {
        SetLabel(IDC_lblScanTxt, L"Registryschlüssel werden auf Fehler gescannt...");
        SetLabel(IDC_lblScanProzent, std::to_wstring(percent) + L"% fertig");
        Panel(3, L"");
        SendMessageW(Item(IDC_ProgressBar), PBM_SETPOS, static_cast<WPARAM>(index), 0);
        Panel(1, L"Gefundene Einträge werden gescannt...");
    });
}

namespace {
// The key of the registration a row belongs to: the class, interface, type library, App Paths or
// uninstall entry ("Software\Classes\CLSID\{...}"); the row's own key where it names none.
std::wstring RegistrationOf(const ResultRow& row) {
    const std::wstring& key = row.hit.key;
    const std::wstring lower = ToLower(key);
    for (const wchar_t* area : {L"\\clsid\\", L"\\interface\\", L"\\typelib\\", L"\\app paths\\", L"\\uninstall\\"}) {
        const size_t at = lower.find(area);
        if (at == std::wstring::npos) continue;
        const size_t end = key.find(L'\\', at + wcslen(area));
        return std::to_wstring(row.hit.root) + L":" + key.substr(0, end);
    }
    return std::to_wstring(row.hit.root) + L":" + key;
}
}  // namespace

void frmRegScan::OnRowAdded(size_t index, const ResultRow& row) {
    Trap(kModule, kStart, [&] {
        ListView list = List();
        const int at =
            list.AddRow({row.item, row.name, row.data, row.rootText, FindingText(row.finding), row.lookedFor},
                        static_cast<LPARAM>(index));
        LVITEMW it{};
        it.mask = LVIF_IMAGE;
        it.iItem = at;
        it.iImage = 0;
        ListView_SetItem(list, &it);
        PutInGroup(at, row);
    });
}

void frmRegScan::PutInGroup(int listRow, const ResultRow& row) {
    // The rows of one registration together, under its name and the reason; where the list
    // cannot show groups it stays as it is.
    if (groupsOff_) return;
    if (groups_.empty() && ListView_EnableGroupView(lvw_, TRUE) < 0) {
        groupsOff_ = true;
        return;
    }
    const std::wstring registration = RegistrationOf(row);
    const size_t colon = registration.find(L':');
    const std::wstring key = registration.substr(colon + 1);
    auto [found, fresh] = groups_.emplace(registration, static_cast<int>(groups_.size()) + 1);
    // The registration's own name, where its row shows it ("@" of its key).
    const bool naming = row.name == L"@" && ToLower(row.hit.key) == ToLower(key) && !row.data.empty();
    if (fresh || naming) {
        std::wstring header = clsKeyFunc::HiveName(row.hit.root) + L"\\" + key;
        if (naming) header += L" \u2013 " + row.data;
        header += L": " + std::wstring(FindingText(row.finding));
        LVGROUP g{};
        g.cbSize = sizeof g;
        g.mask = LVGF_HEADER | LVGF_GROUPID | LVGF_STATE;
        g.pszHeader = header.data();
        g.iGroupId = found->second;
        g.state = LVGS_NORMAL;
        const bool placed = fresh ? ListView_InsertGroup(lvw_, -1, &g) >= 0 : ListView_SetGroupInfo(lvw_, found->second, &g) >= 0;
        if (!placed && fresh) {
            groupsOff_ = true;
            ListView_EnableGroupView(lvw_, FALSE);
            return;
        }
    }
    LVITEMW it{};
    it.mask = LVIF_GROUPID;
    it.iItem = listRow;
    it.iGroupId = found->second;
    ListView_SetItem(lvw_, &it);
}
