// app/extras/AutorunPage.cpp
#include "extras/AutorunPage.h"
#include "extras/ExtrasMenu.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/CommandLine.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/win/Menu.h"
#include "core/win/ToolTips.h"
#include "extras/AutorunPage.rh"
#include "extras/frmAutorunNew.h"
#include "registry/clsKeyFunc.h"
#include "registry/clsSearch.h"
#include "registry/ValueText.h"
#include "journal/ChangeJournal.h"
#include "core/win/MainFrame.h"
#include "extras/frmExtraScan.rh"

static_assert(IDC_lvwAutorunPermanent == 2355 && IDC_lvwAutorunSingle == 2356);

namespace {
const wchar_t kModule[] = L"frmExtraScan";

void Info(const wchar_t* procedure, const std::wstring& message) { Trace(kModule, procedure, message); }

// A path as a 32-bit program sees it: its system32 is SysWOW64.
std::wstring As32Bit(const std::wstring& path) {
    const AppEnvironmentRecord& env = AppEnvironment;
    if (env.SysWow64Dir.empty()) return path;
    wchar_t sys[MAX_PATH] = L"";
    const UINT n = GetSystemDirectoryW(sys, MAX_PATH);
    const std::wstring system32 = ToLower(WithBackslash(std::wstring(sys, n)));
    if (n > 0 && StartsWith(ToLower(path), system32)) return env.SysWow64Dir + path.substr(system32.size());
    return path;
}

// Whether a program file exists where Windows looks for it.
bool ProgramThere(const std::wstring& path, bool wow64) {
    if (path.empty()) return false;
    if (path.find(L'\\') == std::wstring::npos && path.find(L':') == std::wstring::npos) {
        wchar_t found[MAX_PATH];
        return SearchPathW(nullptr, path.c_str(), L".exe", MAX_PATH, found, nullptr) > 0;
    }
    const std::wstring p = wow64 ? As32Bit(path) : path;
    const size_t slash = p.find_last_of(L'\\'), dot = p.find_last_of(L'.');
    const bool extension = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
    return IsFile(p) || (!extension && IsFile(p + L".exe"));
}

constexpr const wchar_t* kColumns[] = {L"Bezeichnung", L"zu startende Anwendung / Prozedur", L"HKey", L"SubKey",
                                       L"Programmdatei"};
// Shares of the list's width, so the key column shows where an entry lives.
constexpr int kColumnShares[] = {16, 32, 12, 30, 10};
// Which edges each control follows when the window is resized.
constexpr Anchor kLayout[] = {
    {IDC_lblAutorun, kSizeX},
    {IDC_TabAutorun, kSizeX | kSizeY},
    {IDC_cmdAutorunNew, kMoveX | kMoveY},
    {IDC_cmdAutorunChange, kMoveX | kMoveY},
    {IDC_cmdAutorunLoeschen, kMoveX | kMoveY},
};
}  // namespace

// --- the autorun keys ---------------------------------------------------------------------------

const wchar_t Autorun::kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t Autorun::kRunOnceKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

bool AutorunEntry::Wow64() const { return ToLower(key).find(L"\\wow6432node\\") != std::wstring::npos; }

std::wstring Autorun::KeyPath(bool permanent, bool wow64) {
    std::wstring key = permanent ? kRunKey : kRunOnceKey;
    if (wow64) key.replace(0, 9, L"Software\\Wow6432Node\\");
    return key;
}

std::vector<Autorun::Location> Autorun::Locations(RootKey root) {
    // The machine's keys of a 64-bit Windows have a second, 32-bit view; the user's keys are shared.
    const bool twoViews = root == kHKLM && !AppEnvironment.SysWow64Dir.empty();
    std::vector<Location> out;
    for (bool permanent : {true, false}) {
        out.push_back({KeyPath(permanent, false), permanent});
        if (twoViews) out.push_back({KeyPath(permanent, true), permanent});
    }
    return out;
}

std::wstring Autorun::ApprovedKey(const AutorunEntry& e) {
    if (!e.permanent) return L"";
    return std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\") +
           (e.Wow64() ? L"Run32" : L"Run");
}

std::wstring Autorun::ProgramOf(const AutorunEntry& e) {
    const bool wow64 = e.Wow64();
    return SplitCommandLine(ExpandedEnvironment(e.data), [&](const std::wstring& p) { return ProgramThere(p, wow64); }).program;
}

bool Autorun::ProgramExists(const AutorunEntry& e) { return ProgramThere(ProgramOf(e), e.Wow64()); }

bool Autorun::OnlyGlobal() {
    const std::wstring& os = AppEnvironment.OSName;
    return os == L"Windows 98" || os == L"Windows 98 SE" || os == L"Windows ME";
}

// --- the page -----------------------------------------------------------------------------------

void AutorunPage::OnDestroy() {
    // An open entry dialog must not call back into a page that is gone.
    if (Service<FormSource>().IsLoaded(WindowNo::AutorunNew)) FormOf<frmAutorunNew>().ForgetCaller();
}

int AutorunPage::TemplateId() const { return IDD_extrasAutorun; }

bool AutorunPage::OnInit() {
    enterInListIsKey_ = true;
    UseLayout({kLayout});
    Trap(kModule, L"Form_Load", [&] {
        for (const ListView& list : {Permanent(), Single()}) {
            SetWindowLongPtrW(list, GWL_STYLE, GetWindowLongPtrW(list, GWL_STYLE) & ~LVS_SINGLESEL);
            list.SetFullRowSelect();
            RECT area = list.Client();
            const int width = std::max<int>(500, area.right - GetSystemMetrics(SM_CXVSCROLL));
            for (int c = 0; c < 5; ++c) list.AddColumn(kColumns[c], width * kColumnShares[c] / 100);
            UsePathCells(list, {1, 3, 4});  // the command, the key, the program file
        }
        HWND tab = Item(IDC_TabAutorun);
        const wchar_t* captions[] = {L"Permanent laden", L"beim nächsten Start laden"};
        for (int i = 0; i < 2; ++i) {
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = const_cast<wchar_t*>(captions[i]);
            TabCtrl_InsertItem(tab, i, &item);
        }
        for (HWND list : {Permanent().hwnd(), Single().hwnd()})
            SetWindowPos(list, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        CheckRadioButton(hwnd(), IDC_optGlobal, IDC_optUser, IDC_optGlobal);
        AddToolTip(hwnd(), IDC_optGlobal, L"Diese Option zeigt Programme, die bei allen Benutzern geladen werden.");
        AddToolTip(hwnd(), IDC_optUser, L"Diese Option zeigt Programme, die nur beim angemeldeten Benutzer geladen werden.");
        AddToolTip(hwnd(), IDC_cmdAutorunLoeschen, L"markierte Einträge jetzt löschen");
    });
    return true;
}

void AutorunPage::OnLayout(int, int) {
    RECT area = Item(IDC_TabAutorun).Bounds();
    MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&area), 2);
    TabCtrl_AdjustRect(Item(IDC_TabAutorun), FALSE, &area);
    for (HWND list : {Permanent().hwnd(), Single().hwnd()})
        MoveWindow(list, area.left, area.top, std::max(0L, area.right - area.left), std::max(0L, area.bottom - area.top), TRUE);
}

void AutorunPage::PageActivate() {
    Trap(kModule, L"Form_Activate", [&] {
        if (Autorun::OnlyGlobal()) {
            Item(IDC_optUser).Enable(false);
            CheckRadioButton(hwnd(), IDC_optGlobal, IDC_optUser, IDC_optGlobal);
        }
    });
    ReadAutorunEntries();
    SetExtraScanMenus(true, false);
}

void AutorunPage::PageSelected() {
    CheckRadioButton(hwnd(), IDC_optGlobal, IDC_optUser, IDC_optGlobal);
    PageActivate();
}

ListView AutorunPage::Visible() const {
    return TabCtrl_GetCurSel(Item(IDC_TabAutorun)) == 1 ? Single() : Permanent();
}

void AutorunPage::ShowInnerPage(int index) {
    TabCtrl_SetCurSel(Item(IDC_TabAutorun), index);
    Permanent().Show(index != 1);
    Single().Show(index == 1);
}

const AutorunEntry& AutorunPage::EntryOf(const ListView& list, int row) const {
    return entries_.at(static_cast<size_t>(list.Data(row)));
}

void AutorunPage::ReadAutorunEntries() {
    const wchar_t* proc = L"ReadAutorunEntries";
    Info(proc, L"started");
    Trap(kModule, proc, [&] {
        Permanent().Clear();
        Single().Clear();
        entries_.clear();
    });
    Service<clsSearch>().StopSearch = false;
    RootKey root = 0;
    if (IsDlgButtonChecked(hwnd(), IDC_optGlobal) == BST_CHECKED) root = kHKLM;
    else if (IsDlgButtonChecked(hwnd(), IDC_optUser) == BST_CHECKED) root = kHKCU;
    if (root != 0) {
        FillList(Permanent(), true, root);
        FillList(Single(), false, root);
    }
    Trap(kModule, proc, [&] {
        for (const ListView& list : {Permanent(), Single()}) {
            list.SortByColumn(sort_.column, sort_.ascending);
            if (list.Count() > 0) list.Select(0);
        }
    });
    Info(proc, L"endet");
}

void AutorunPage::FillList(const ListView& list, bool permanent, RootKey root) {
    const wchar_t* proc = L"ReadAutorunEntries";
    for (const Autorun::Location& where : Autorun::Locations(root)) {
        if (where.permanent != permanent) continue;
        Trap(kModule, proc, [&] {
            SearchQuery query;
            query.SearchText = L"";
            query.KeyPath = where.key;
            query.Root = root;
            query.CompareMode = 1;
            query.Recurse = false;
            query.MatchKeyName = false;
            query.MatchValueName = true;
            query.MatchValueData = false;
            std::vector<ScanHit> hits(1);
            Service<clsSearch>().FindString(query, hits);
            std::wstring prefix = std::wstring(root == kHKLM ? L"Global" : L"User") + (permanent ? L"Run" : L"RunOnce");
            if (ToLower(where.key).find(L"wow6432node") != std::wstring::npos) prefix += L" (32 Bit)";
            prefix += L": ";
            const std::wstring count = std::to_wstring(hits.size() - 1);
            Info(proc, prefix + count + L" Einträge gelesen");
            for (size_t i = 1; i < hits.size(); ++i) {
                const ScanHit& h = hits[i];
                AutorunEntry e;
                e.root = h.root;
                e.key = h.key;
                e.name = h.name;
                e.type = h.type;
                e.data = IsTextType(h.type) ? h.data : h.DisplayData();
                e.permanent = permanent;
                entries_.push_back(e);
                list.AddRow({h.name.empty() ? L"@" : h.name, h.DisplayData(), std::to_wstring(h.root), h.key,
                             Autorun::ProgramExists(e) ? L"vorhanden" : L"fehlt"},
                            static_cast<LPARAM>(entries_.size() - 1));
            }
            // The HKey column holds a number of a few digits: as wide as it is; the texts as wide as they are, up to a share.
            list.FitColumns({0, 1, 2, 3, 4}, 40);
            list.ShareOut({1, 3});
            Info(proc, prefix + count + L" Einträge in Liste eingetragen");
        });
    }
}

void AutorunPage::cmdAutorunNew_Click() {
    Trap(kModule, L"cmdAutorunNew_Click", [&] {
        FormOf<frmAutorunNew>().ShowNew([this] { ReadAutorunEntries(); });
    });
}

void AutorunPage::cmdAutorunChange_Click() {
    const wchar_t* proc = L"cmdAutorunChange_Click";
    Info(proc, L"started");
    Trap(kModule, proc, [&] {
        const ListView list = Visible();
        int chosen = -1;
        for (int i = 0; i < list.Count(); ++i)
            if (list.Selected(i)) chosen = i;  // the last selected row wins
        if (chosen < 0) return;
        const AutorunEntry& e = EntryOf(list, chosen);
        // The program part as Windows reads it: a quoted path keeps its quotes, the arguments the
        // blank before them.
        const bool wow64 = e.Wow64();
        const SplitCommand split =
            SplitCommandLine(e.data, [&](const std::wstring& p) { return ProgramThere(ExpandedEnvironment(p), wow64); });
        FormOf<frmAutorunNew>().ShowEdit(e, split.programText, split.arguments,
                                                      [this] { ReadAutorunEntries(); });
    });
    Info(proc, L"endet");
}

void AutorunPage::cmdAutorunLoeschen_Click() {
    const wchar_t* proc = L"cmdAutorunLöschen_Click";
    Info(proc, L"started");
    const ListView list = Visible();
    clsKeyFunc& keys = Service<clsKeyFunc>();
    // Each chosen value, and its on/off state of the system's start-up list, in the list's order.
    struct Chosen {
        int row;
        size_t change;  // its value's change; the state's follows when there is one
    };
    std::vector<Chosen> chosen;
    std::vector<RegChange> changes;
    for (int i = 0; i < list.Count(); ++i) {
        if (!list.Selected(i)) continue;
        const AutorunEntry& e = EntryOf(list, i);
        Info(proc, clsKeyFunc::HiveName(e.root) + L"\\" + e.key + L":\"" + (e.name.empty() ? L"@" : e.name) + L"\"=\"" +
                       list.Cell(i, 1) + L"\"");
        chosen.push_back({i, changes.size()});
        changes.push_back(RegChange::DeleteValue(e.root, e.key, e.name));
        const std::wstring approved = Autorun::ApprovedKey(e);
        RegValue state;
        if (!approved.empty() && keys.ReadValueRaw(e.root, approved, e.name, state))
            changes.push_back(RegChange::DeleteValue(e.root, approved, e.name));
    }
    if (changes.empty()) {
        Info(proc, L"endet");
        return;
    }
    ChangeJournal journal(L"AutoRun", kModule, proc);
    const JournalResult result = journal.Apply(changes);
    if (journal.FileMade()) lastUndo_ = journal.UndoPath();
    std::vector<std::wstring> failed;
    std::wstring firstKept;
    // Bottom up, so the rows above keep their numbers.
    for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) {
        const RegChange& c = changes[it->change];
        if (result.items[it->change].done) {
            list.DeleteRow(it->row);
            continue;
        }
        firstKept = c.value.name.empty() ? L"@" : c.value.name;
        if (result.undoProblem == JournalResult::UndoProblem::None)
            failed.insert(failed.begin(), firstKept);
    }
    if (TellUndoProblem(journal, result, L"Der Eintrag " + firstKept, L"Es wurde kein Eintrag gelöscht.")) {
        Info(proc, L"endet");
        return;
    }
    if (!failed.empty()) {
        std::wstring text = L"Folgende Einträge konnten nicht gelöscht werden:\r\n";
        for (const std::wstring& n : failed) text += L"\r\n" + (n.empty() ? std::wstring(L"@") : n);
        text += L"\r\n\r\nFür globale Einträge sind Administratorrechte nötig.";
        MessageBoxW(GetAncestor(hwnd(), GA_ROOT), text.c_str(), AppEnvironment.AppTitle.c_str(),
                    MB_ICONEXCLAMATION | MB_OK);
    }
    Info(proc, L"endet");
}

void AutorunPage::SortBy(int column) {
    Trap(kModule, L"SortBy", [&] { sort_.By(Visible(), column); });
}

void AutorunPage::lvwAutorun_MouseUp() {
    Trap(kModule, L"lvwAutorun_MouseUp", [&] {
        HMENU edit = ExtraScanMenu();
        HMENU menu = edit ? GetSubMenu(edit, kMenuExtraScanAutostart) : nullptr;
        if (!menu) return;
        const MainFrame* frame = AppFrame();
        const bool plural = Visible().SelectedCount() >= 2;
        MenuItem::SetCaption(frame->MenuBar(), IDM_mnuExtraScanAutostartDel,
                             plural ? L"markierte Einträge löschen" : L"markierten Eintrag löschen");
        POINT pt{};
        GetCursorPos(&pt);
        TrackPopupMenuEx(menu, TPM_RIGHTBUTTON, pt.x, pt.y, frame->Window(), nullptr);
    });
}

bool AutorunPage::OnMenuCommand(int id) {
    switch (id) {
    case IDM_mnuExtraScanAutostartNew: cmdAutorunNew_Click(); return true;
    case IDM_mnuExtraScanAutostartChange: cmdAutorunChange_Click(); return true;
    case IDM_mnuExtraScanAutostartDel: cmdAutorunLoeschen_Click(); return true;
    default: return false;
    }
}

void AutorunPage::KeyDown(WORD key) {
    switch (key) {
    case VK_F5: ReadAutorunEntries(); break;
    case VK_F6: SortBy(0); break;
    case VK_F7: SortBy(1); break;
    case VK_DELETE: case VK_CLEAR: cmdAutorunLoeschen_Click(); break;
    case VK_RETURN: case VK_EXECUTE: cmdAutorunChange_Click(); break;
    default: break;
    }
}

void AutorunPage::OnCommand(int id, int code, HWND control) {
    switch (id) {
    case IDC_optGlobal:
    case IDC_optUser:
        if (code == BN_CLICKED) ReadAutorunEntries();
        break;
    case IDC_cmdAutorunNew: cmdAutorunNew_Click(); break;
    case IDC_cmdAutorunChange: cmdAutorunChange_Click(); break;
    case IDC_cmdAutorunLoeschen: cmdAutorunLoeschen_Click(); break;
    default: break;
    }
}

LRESULT AutorunPage::OnNotify(NMHDR* hdr) {
    if (hdr->idFrom == IDC_TabAutorun && hdr->code == TCN_SELCHANGE) {
        ShowInnerPage(TabCtrl_GetCurSel(Item(IDC_TabAutorun)));
        return 0;
    }
    if (hdr->hwndFrom != Permanent().hwnd() && hdr->hwndFrom != Single().hwnd()) return 0;
    switch (hdr->code) {
    case LVN_COLUMNCLICK: SortBy(reinterpret_cast<NMLISTVIEW*>(hdr)->iSubItem); break;
    case LVN_KEYDOWN: KeyDown(reinterpret_cast<NMLVKEYDOWN*>(hdr)->wVKey); break;
    case NM_DBLCLK: cmdAutorunChange_Click(); break;
    case NM_RCLICK: lvwAutorun_MouseUp(); break;
    default: break;
    }
    return 0;
}
