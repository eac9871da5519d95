// app/disk/frmHDD.cpp
#include "disk/frmHDD.h"
#include "assistant/clsAgent.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/RecyclerNotice.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/UniqueHandle.h"
#include "core/modCheckOS.h"
#include "core/modWaitForProcess.h"
#include "core/win/Menu.h"
#include "disk/frmHDD.rh"
#include "disk/modHDD.h"
#include "journal/Protected.h"
#include "registry/clsKeyFunc.h"
#include "files/clsFiles.h"
#include <shellapi.h>
#include <shlwapi.h>
#include <windowsx.h>
#include <algorithm>
#include <set>

namespace {
const wchar_t* kModule = L"frmHDD";

bool FileThere(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// "12 KB" / "3,4 MB" with the user's decimal separator.
std::wstring SizeText(unsigned long long bytes) {
    wchar_t buf[64] = L"";
    StrFormatByteSizeW(static_cast<LONGLONG>(bytes), buf, 64);
    return buf;
}

std::wstring Items(long long n) { return std::to_wstring(n) + (n == 1 ? L" Element" : L" Elemente"); }

constexpr Anchor kLayout[] = {
    {IDC_fraOrdner, kSizeX | kSizeY},       {IDC_lblOrdnerManuell, kSizeX},
    {IDC_lvwOrdnerList, kSizeX | kSizeY},   {IDC_cmdOrdnerWaehlen, kMoveX},
    {IDC_cmdOrdnerLoeschen, kMoveX},        {IDC_cmdInhaltLoeschen, kMoveX},
    {IDC_lblTempFileDel, kMoveY | kSizeX},  {IDC_chbTempFilesDel, kMoveY},
    {IDC_ckbRecyclerAutoClean, kMoveY},     {IDC_lblRecyclerHDD, kMoveY | kSizeX},
    {IDC_fraSystem, kMoveY | kSizeX},       {IDC_cmdHDDBereinigen, kMoveY},
    {IDC_lblHDDBereinigen, kMoveY | kSizeX}, {IDC_lblNotHDDBereinigen, kMoveY | kSizeX},
    {IDC_lblPapierkorb, kMoveY},            {IDC_cmdEmptyRecycler, kMoveY},
    {IDC_lblRecyclerInhalt, kMoveY | kSizeX}, {IDC_lblNotEmptyRecycler, kMoveY | kSizeX},
};
}  // namespace

bool frmHDD::OnInit() {
    Trap(kModule, L"Form_Load", [&] {
        lvw_ = Item(IDC_lvwOrdnerList);
        UsePathCells(lvw_, {0});
        UseRecordList(lvw_);
        ListView list(lvw_);
        list.SetFullRowSelect();
        RECT r = Wnd(lvw_).Client();
        list.AddColumn(L"Ordnername", std::max<int>(100, r.right - GetSystemMetrics(SM_CXVSCROLL)));
        // The folder picture of the shell for every row.
        ListView_SetImageList(lvw_, ShellIconList(L"Ordner", FILE_ATTRIBUTE_DIRECTORY, false), LVSIL_SMALL);

        // Controls keep their distance to the edges they face when the window grows.
        UseLayout({kLayout, true});
    });
    MenuBottomLine1 = MenuBottomLineSite::Create(hwnd(), L"frmHDD");
    OrdnerListe_laden();
    ShowRecyclerContents();
    Trap(kModule, L"Form_Load", [] {
        Service<clsAgent>().Stop();
        Service<clsAgent>().Speak(L"Hier können Sie mit zwei Tools die Festplatte bereinigen.");
    });
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    return true;
}

void frmHDD::OnLayout(int, int) {
    if (lvw_) {
        RECT r = Wnd(lvw_).Client();
        ListView_SetColumnWidth(lvw_, 0, std::max<int>(100, r.right));
    }
}

bool frmHDD::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg != WM_CTLCOLORSTATIC) return false;
    const HWND label = reinterpret_cast<HWND>(lp);
    COLORREF colour;
    if (label == Item(IDC_lblRecyclerHDD).hwnd()) colour = recyclerColour_;
    else if (label == Item(IDC_lblNotHDDBereinigen).hwnd() || label == Item(IDC_lblNotEmptyRecycler).hwnd())
        colour = RGB(255, 0, 0);
    else return false;
    HDC dc = reinterpret_cast<HDC>(wp);
    SetTextColor(dc, colour);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    return true;
}

bool frmHDD::TempFilesDel() const { return Button_GetCheck(Item(IDC_chbTempFilesDel)) == BST_CHECKED; }
bool frmHDD::RecyclerAutoClean() const { return Button_GetCheck(Item(IDC_ckbRecyclerAutoClean)) == BST_CHECKED; }

void frmHDD::SetCheck(int id, bool on) {
    if ((Button_GetCheck(Item(id)) == BST_CHECKED) == on) return;
    Button_SetCheck(Item(id), on ? BST_CHECKED : BST_UNCHECKED);
    if (id == IDC_chbTempFilesDel) chbTempFilesDel_Click();
    else if (id == IDC_ckbRecyclerAutoClean) ckbRecyclerAutoClean_Click();
}

void frmHDD::OptionsChanged() {
    Item(IDC_lblRecyclerHDD).SetText(::RecyclerNotice());
    recyclerColour_ = ::RecyclerColour();
    InvalidateRect(Item(IDC_lblRecyclerHDD), nullptr, TRUE);
    Item(IDC_cmdEmptyRecycler)
        .SetText(AppSwitches.RecyclerSecurity != 0 ? L"Papierkorb leeren (keine Abfrage)" : L"Papierkorb leeren");
}

void frmHDD::Form_Activate() {
    if (busy_) return;
    Trap(kModule, L"Form_Activate", [&] {
        Maximize();
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    });
    Trap(kModule, L"Form_Activate", [&] {
        if (!ReadStartEntry().empty()) {
            SetCheck(IDC_chbTempFilesDel, true);
            Item(IDC_ckbRecyclerAutoClean).Enable(TempFilesDel());
        } else {
            Item(IDC_ckbRecyclerAutoClean).Enable(false);
        }
        SetCheck(IDC_ckbRecyclerAutoClean, AppSwitches.RecyclerAutoClean == 1);
    });
    Trap(kModule, L"Form_Activate", [&] {
        const bool unsupported = AppEnvironment.OSName == L"Windows NT4";
        Item(IDC_cmdEmptyRecycler).Enable(!unsupported);
        Item(IDC_cmdHDDBereinigen).Enable(!unsupported);
        Item(IDC_lblNotEmptyRecycler).Show(unsupported);
        Item(IDC_lblNotHDDBereinigen).Show(unsupported);
    });
    Trap(kModule, L"Form_Activate", [&] { OptionsChanged(); });
    ShowRecyclerContents();
}

void frmHDD::OrdnerListe_laden() {
    const wchar_t* proc = L"OrdnerListe_laden";
    Trap(kModule, proc, [&] { Status(L"Daten werden gelesen..."); });
    ListView list(lvw_);
    list.Clear();
    const std::wstring file = TmpDirsFile();
    Trap(L"modFiles", proc, [&] {
        // The list file of an earlier version takes the list's place.
        const std::wstring old = AppEnvironment.InstallDir + L"liste.txt";
        if (!FileThere(old)) return;
        if (FileThere(file) && !DeleteFileW(file.c_str())) RaiseWin32(GetLastError());
        if (!MoveFileW(old.c_str(), file.c_str())) RaiseWin32(GetLastError());
    }, Style::Warning, true);
    Trap(L"modFiles", proc, [&] {
        std::vector<std::wstring> lines;
        try {
            lines = ReadListLines(file);
        } catch (const RuntimeError& e) {
            if (e.number != Err::FileNotFound) throw;
            // Created empty and closed at once, so the list can be read back.
            if (!UniqueHFile(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)))
                RaiseWin32(GetLastError());
            lines = ReadListLines(file);
        }
        for (const std::wstring& line : lines) {
            LVITEMW it{};
            it.mask = LVIF_TEXT | LVIF_IMAGE;
            it.iItem = list.Count();
            it.pszText = const_cast<wchar_t*>(line.c_str());
            it.iImage = 0;
            ListView_InsertItem(lvw_, &it);
        }
    }, Style::Warning, true);
    if (list.Count() > 0) {
        Item(IDC_chbTempFilesDel).Enable(true);
    } else {
        SetCheck(IDC_chbTempFilesDel, false);
        Item(IDC_chbTempFilesDel).Enable(false);
    }
    Trap(kModule, proc, [&] { Status(L"Status"); });
}

void frmHDD::cmdOrdnerWaehlen_Click() {
    const wchar_t* proc = L"cmdOrdnerWählen_Click";
    if (busy_) return;
    Info(proc, L"started");
    OrdnerListe_laden();
    std::wstring path;
    Trap(kModule, proc, [&] { path = folderDialog_.Ask(GetAncestor(hwnd(), GA_ROOT)); });
    if (!path.empty()) {
        Trap(kModule, proc, [&] {
            ListView list(lvw_);
            for (int i = 0; i < list.Count(); ++i)
                if (list.Cell(i, 0) == path) {
                    Ask(L"Der Ordner " + path + L" befindet sich bereits in der Liste.", MB_ICONINFORMATION | MB_OK);
                    return;
                }
            if (const std::wstring reason = WhyNotEmptied(path); !reason.empty()) {
                Info(proc, path + L" " + reason);
                Ask(L"Der Ordner " + path + L" " + reason + L" und kann nicht in die Liste aufgenommen werden.",
                        MB_ICONEXCLAMATION | MB_OK);
                return;
            }
            if (!AnsiHolds(path)) {
                Ask(L"Der Name des Ordners " + path +
                            L" enthält Zeichen, die die Ordnerliste nicht speichern kann. Er kann nicht in die Liste "
                            L"aufgenommen werden.",
                        MB_ICONEXCLAMATION | MB_OK);
                return;
            }
            if (!IsTempFolderPath(path) &&
                Ask(L"Sind Sie sich sicher, das Sie den Ordner\r\n" + path + L" zur Liste hinzufügen wollen?",
                        MB_ICONQUESTION | MB_YESNO) != IDYES)
                return;
            AppendListLine(TmpDirsFile(), path);
            LVITEMW it{};
            it.mask = LVIF_TEXT | LVIF_IMAGE;
            it.iItem = list.Count();
            it.pszText = path.data();
            ListView_InsertItem(lvw_, &it);
            Item(IDC_chbTempFilesDel).Enable(true);
            Info(proc, path + L" zum automatischen Leeren vorgesehen");
            Service<clsAgent>().Say(kModule, proc,
                L"Der Ordner " + clsAgent::Doubled(path) + L" wurde zur Liste hinzugefügt.");
        });
    }
    Info(proc, L"endet");
}

void frmHDD::cmdOrdnerLoeschen_Click() {
    const wchar_t* proc = L"cmdOrdnerLöschen_Click";
    if (busy_) return;
    Info(proc, L"started");
    std::set<std::wstring> marked;
    ListView list(lvw_);
    for (int i = 0; i < list.Count(); ++i)
        if (list.Selected(i)) marked.insert(list.Cell(i, 0));
    if (marked.empty()) Info(proc, L"Es wurde kein Ordner markiert.");
    Trap(kModule, proc, [&] {
        std::vector<std::wstring> kept;
        for (const std::wstring& line : ReadListLines(TmpDirsFile())) {
            if (marked.count(line)) {
                Info(proc, line + L" aus zulöschenden Liste gelöscht");
                Service<clsAgent>().Say(kModule, proc,
                    L"Der Ordner " + clsAgent::Doubled(line) + L" wurde aus der Liste entfernt.");
            }
            else kept.push_back(line);
        }
        WriteListLines(TmpDirsFile(), kept);
    });
    OrdnerListe_laden();
    Info(proc, L"endet");
}

void frmHDD::EmptyFolders(const std::vector<std::wstring>& lines, const std::wstring& waitText, const wchar_t* procedure) {
    if (busy_) return;
    busy_ = true;
    const AppEnvironmentRecord& env = AppEnvironment;
    Trap(kModule, procedure, [&] { wait_.Open(GetAncestor(hwnd(), GA_ROOT), env.AppTitle + L" " + env.AppVersion + L"\r\n" + waitText); });
    DeleteCount total;
    std::wstring refused;
    for (const std::wstring& line : lines) {
        Trap(kModule, procedure, [&] {
            const EmptyResult r = EmptyListedFolder(line, kModule, procedure,
                                                    [this](size_t done, size_t all) { wait_.Progress(done, all); });
            if (!r.reason.empty()) refused += L"Der Ordner " + line + L" " + r.reason + L" und wurde nicht geleert.\r\n";
            total.deleted += r.count.deleted;
            total.kept += r.count.kept;
        });
    }
    wait_.Close();
    busy_ = false;
    lastResult_ = std::to_wstring(total.deleted) + L" Einträge gelöscht, " + std::to_wstring(total.kept) +
                  L" übergangen (in Gebrauch oder geschützt)";
    Status(lastResult_);
    ShowRecyclerContents();
    Service<clsAgent>().Say(kModule, procedure,
        AppSwitches.Recycler == 1 ? L"Alle löschbaren Dateien wurden in den Papierkorb verschoben."
                                  : L"Alle löschbaren Dateien wurden unwiederbringlich gelöscht.");
    if (!refused.empty()) Ask(refused, MB_ICONEXCLAMATION | MB_OK);
}

void frmHDD::FolderCleanCurrent() {
    std::vector<std::wstring> lines;
    ListView list(lvw_);
    for (int i = 0; i < list.Count(); ++i)
        if (list.Selected(i)) lines.push_back(list.Cell(i, 0));
    EmptyFolders(lines, L"Die gewählten Ordner werden geleert. Bitte warten...", L"FolderCleanCurrent");
}

void frmHDD::cmdInhaltLoeschen_Click() {
    const wchar_t* proc = L"cmdInhaltLöschen_Click";
    if (busy_) return;
    Info(proc, L"started");
    std::vector<std::wstring> lines;
    Trap(kModule, proc, [&] { lines = ReadListLines(TmpDirsFile()); });
    EmptyFolders(lines, L"Die gewählten Ordner werden geleert. Bitte warten...", proc);
    Info(proc, L"endet");
}

void frmHDD::chbTempFilesDel_Click() {
    const wchar_t* proc = L"chbTempFilesDel_Click";
    if (TempFilesDel()) {
        bool written = false;
        Trap(kModule, proc, [&] { written = ReadStartEntry() == StartEntryData() || WriteStartEntry(); });
        if (!written) {
            Button_SetCheck(Item(IDC_chbTempFilesDel), BST_UNCHECKED);
            Ask(L"Der Eintrag für das automatische Löschen beim Start von Windows konnte nicht in die Registry "
                    L"geschrieben werden.",
                    MB_ICONEXCLAMATION | MB_OK);
            return;
        }
        Info(proc, L"Autostart-Eintrag " + StartEntryData() + L" geschrieben");
        Service<clsAgent>().Say(kModule, proc,
            L"Das automatische Löschen der Dateien aus den gewählten Ordnern, wurde eingeschalten.");
        Item(IDC_ckbRecyclerAutoClean).Enable(true);
        return;
    }
    std::wstring problem;
    bool removed = false;
    Trap(kModule, proc, [&] { removed = RemoveStartEntry(problem); });
    if (!removed) {
        // The entry stays, and so does the tick that shows it.
        Button_SetCheck(Item(IDC_chbTempFilesDel), BST_CHECKED);
        HandleError(kModule, proc, problem, 0, L"", Style::Warning, false);
        Ask(L"Das automatische Löschen konnte nicht abgeschaltet werden.\r\n" + problem, MB_ICONEXCLAMATION | MB_OK);
        return;
    }
    Info(proc, L"Autostart-Eintrag gelöscht");
    Service<clsAgent>().Say(kModule, proc,
        L"Das automatische Löschen der Dateien aus den gewählten Ordnern, wurde abgeschalten.");
    Item(IDC_ckbRecyclerAutoClean).Enable(false);
    SetCheck(IDC_ckbRecyclerAutoClean, false);
}

void frmHDD::ckbRecyclerAutoClean_Click() {
    const std::wstring state = RecyclerAutoClean() ? L"1" : L"0";
    Trap(kModule, L"ckbRecyclerAutoClean_Click", [&] {
        Service<clsKeyFunc>().SaveSetting(L"Optionen", L"RecyclerAutoClean", state);
        // The next activation sets the box from AppSwitches: it must not take the choice back.
        AppSwitches.RecyclerAutoClean = RecyclerAutoClean() ? 1 : 0;
    });
    Info(L"ckbRecyclerAutoClean_Click", state + L" gesetzt");
}

void frmHDD::cmdHDDBereinigen_Click() {
    Trap(kModule, L"cmdHDDBereinigen_Click", [] {
        const std::wstring folder = IsNTFamily() ? AppEnvironment.SysDir : AppEnvironment.WinDir;
        StartProgram(L"\"" + folder + L"cleanmgr.exe\"");
    });
}

void frmHDD::cmdEmptyRecycler_Click() {
    Service<clsFiles>().EmptyRecycler(GetAncestor(hwnd(), GA_ROOT), clsAgent::RecyclerEmptied);
    ShowRecyclerContents();
}

void frmHDD::ShowRecyclerContents() {
    Trap(kModule, L"ShowRecyclerContents", [&] {
        SHQUERYRBINFO all{sizeof all};
        if (FAILED(SHQueryRecycleBinW(nullptr, &all))) {
            Item(IDC_lblRecyclerInhalt).SetText(L"");
            return;
        }
        std::wstring text = L"Der Papierkorb enthält " + Items(all.i64NumItems) + L" (" + SizeText(all.i64Size) + L")";
        // Each drive's share, where the platform keeps one bin per drive.
        std::wstring drives;
        long long sum = 0;
        wchar_t roots[512] = L"";
        GetLogicalDriveStringsW(511, roots);
        for (const wchar_t* root = roots; *root; root += wcslen(root) + 1) {
            if (GetDriveTypeW(root) != DRIVE_FIXED) continue;
            SHQUERYRBINFO one{sizeof one};
            if (FAILED(SHQueryRecycleBinW(root, &one)) || one.i64NumItems == 0) continue;
            sum += one.i64NumItems;
            drives += (drives.empty() ? L"" : L", ") + std::wstring(root, 2) + L" " + Items(one.i64NumItems) + L" (" +
                      SizeText(one.i64Size) + L")";
        }
        if (!drives.empty() && sum == all.i64NumItems) text += L": " + drives;
        Item(IDC_lblRecyclerInhalt).SetText(text + L".");
    });
}

void frmHDD::OpenFolder(int row) {
    if (row < 0) return;
    const std::wstring path = List().Cell(row, 0);
    Trap(kModule, L"lvwOrdnerList_DblClick", [&] { StartProgram(AppEnvironment.WinDir + L"Explorer.exe \"" + path + L"\""); },
         Style::Warning, false, path);
}

void frmHDD::lvwOrdnerList_MouseUp(bool rightButton) {
    Trap(kModule, L"lvwOrdnerList_MouseUp", [&] {
        HMENU bar = MenuBar();
        const bool plural = List().SelectedCount() >= 2;
        MenuItem::SetCaption(bar, IDM_mnuHDDFolderCleanCurrent, plural ? L"mark&ierte Ordner leeren" : L"mark&ierten Ordner leeren");
        MenuItem::SetCaption(bar, IDM_mnuHDDDelFolder,
                             plural ? L"markierte &Ordner aus Liste entfernen" : L"markierten &Ordner aus Liste entfernen");
        if (rightButton) ShowEditPopup(IDM_mnuHDDAddFolder);
    });
}

void frmHDD::OnListKey(WORD key) {
    switch (key) {
    case VK_F4: SortBy(0); break;
    case VK_F5: OrdnerListe_laden(); break;
    case VK_F6: cmdOrdnerWaehlen_Click(); break;
    case VK_F7: cmdInhaltLoeschen_Click(); break;
    case VK_DELETE: case VK_CLEAR: cmdOrdnerLoeschen_Click(); break;
    case VK_RETURN: case VK_EXECUTE:
        if (List().Count() > 1) OpenFolder(List().Focused());
        break;
    default: break;
    }
}

bool frmHDD::OnMenuCommand(int id) {
    switch (id) {
    case IDM_mnuHDDAddFolder: cmdOrdnerWaehlen_Click(); return true;
    case IDM_mnuHDDDelFolder: cmdOrdnerLoeschen_Click(); return true;
    case IDM_mnuHDDFolderCleanCurrent: FolderCleanCurrent(); return true;
    case IDM_mnuHDDFolderCleanAll: cmdInhaltLoeschen_Click(); return true;
    case IDM_mnuHDDClean: cmdHDDBereinigen_Click(); return true;
    default: return false;
    }
}

void frmHDD::OnCommand(int id, int code, HWND control) {
    switch (id) {
    case IDC_cmdOrdnerWaehlen: cmdOrdnerWaehlen_Click(); break;
    case IDC_cmdOrdnerLoeschen: cmdOrdnerLoeschen_Click(); break;
    case IDC_cmdInhaltLoeschen: cmdInhaltLoeschen_Click(); break;
    case IDC_chbTempFilesDel: if (code == BN_CLICKED) chbTempFilesDel_Click(); break;
    case IDC_ckbRecyclerAutoClean: if (code == BN_CLICKED) ckbRecyclerAutoClean_Click(); break;
    case IDC_cmdHDDBereinigen: cmdHDDBereinigen_Click(); break;
    case IDC_cmdEmptyRecycler: cmdEmptyRecycler_Click(); break;
    default: break;
    }
}
