// app/extras/HistoryPage.cpp
#include "extras/HistoryPage.h"
#include "extras/ExtrasMenu.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/RecyclerNotice.h"
#include "core/DoEvents.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/win/ToolTips.h"
#include "extras/HistoryPage.rh"
#include "registry/clsKeyFunc.h"
#include "registry/clsSearch.h"
#include "journal/ChangeJournal.h"
#include "journal/Protected.h"
#include "files/clsFiles.h"
#include <algorithm>
#include <map>
#include <set>

namespace {
const wchar_t kModule[] = L"frmExtraScan";
const wchar_t kSection[] = L"Optionen\\ExtraScan";
const wchar_t kExplorer[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";

void Info(const wchar_t* procedure, const std::wstring& message) { Trace(kModule, procedure, message); }

struct Box {
    int id;
    const wchar_t* procedure;  // the name its click writes to the protocol log
    const wchar_t* setting;
    const wchar_t* tip;
};
// The seven registry boxes first.
constexpr int kRegistryBoxes = 7;
const Box kBoxes[] = {
    {IDC_ckbVerlaufRegistryExplorerFiles, L"ckbVerlaufRegistryExplorerFiles_Click", L"VerlaufRegistryExplorerFiles",
     L"Einträge auf Dateien die geöffnet wurden."},
    {IDC_ckbVerlaufRegistryLastOpen, L"ckbVerlaufRegistryLastOpen_Click", L"VerlaufRegistryLastOpen",
     L"Einträge zuletzt geöffneter Dateien."},
    {IDC_ckbVerlaufRegistryLastSave, L"ckbVerlaufRegistryLastSave_Click", L"VerlaufRegistryLastSave",
     L"Einträge zuletzt gespeicherter Dateien."},
    {IDC_ckbVerlaufRegistryRecentDocs, L"ckbVerlaufRegistryRecentDocs_Click", L"VerlaufRegistryRecentDocs",
     L"Einträge zuletzt geöffneter Ordner."},
    {IDC_ckbVerlaufRegistryProgrammHistory, L"ckbVerlaufRegistryProgrammHistory_Click",
     L"VerlaufRegistryProgrammHistory", L"Einträge aller ausgeführten Anwendungen."},
    {IDC_ckbVerlaufRegistryNetwork, L"ckbVerlaufRegistryNetworkClick", L"VerlaufRegistryNetwork",
     L"Im Explorer aufgebaute Netzwerkverbindungen."},
    {IDC_ckbVerlaufRegistrySelectedFiles, L"ckbVerlaufRegistrySelectedFiles_Click", L"VerlaufRegistrySelectedFiles",
     L"Windows Explorer Ansicht zurücksetzen."},
    {IDC_ckbVerlaufExplorerLastOpenFiles, L"ckbVerlaufExplorerLastOpenFiles_Click", L"VerlaufExplorerLastOpenFiles",
     L"Löscht die Recent Dokumente (Verknüpfungen) von der Festplatte."},
    {IDC_ckbVerlaufRegistryAutoDel, L"ckbVerlaufRegistryAutoDel_Click", L"AutoRegistryVerlaufDel",
     L"Selektierte Kontrollkästchen in den Registry Scan einbeziehen."},
};

const Box* BoxOf(int id) {
    for (const Box& b : kBoxes)
        if (b.id == id) return &b;
    return nullptr;
}
bool IsRegistryBox(int id) {
    for (int i = 0; i < kRegistryBoxes; ++i)
        if (kBoxes[i].id == id) return true;
    return false;
}

std::wstring Setting(const wchar_t* name) { return Service<clsKeyFunc>().GetSetting(kSection, name, L"0"); }

// A value that counts as a history entry: not the placeholder of an empty key, not the order list.
bool IsEntry(const ScanHit& h) {
    if (h.name.empty() && h.type == REG_NONE && h.bytes == 0) return false;
    const std::wstring n = ToLower(h.name);
    return n != L"mrulist" && n != L"mrulistex";
}

// Jump lists (pinned items included) live below the recent folder but are not its recent list.
bool IsJumpList(const std::wstring& path, const std::wstring& recent) {
    const std::wstring p = ToLower(path), r = ToLower(recent);
    return StartsWith(p, r + L"automaticdestinations") || StartsWith(p, r + L"customdestinations");
}
// Which edges each control follows when the window is resized.
constexpr Anchor kLayout[] = {
    {IDC_lblVerlaeufe, kSizeX},
    {IDC_fraVerlaufExplorer, kSizeX},
    {IDC_lblVerlaufRegistryErgebnis, kSizeX},
    {IDC_lblVerlaufExplorerErgebnis, kSizeX},
    {IDC_ProgressBarVerlauf, kSizeX},
    {IDC_ckbVerlaufExplorerLastOpenFiles, kSizeX},
    {IDC_lblRecyclerVerlauf, kSizeX},
    {IDC_cmdVerlaufClean, kMoveX | kMoveY},
    {IDC_cmdVerlaufAbbrechen, kMoveX | kMoveY},
};
}  // namespace

const std::vector<HistoryPage::Source>& HistoryPage::Sources() {
    static const std::vector<Source> sources = [] {
        const std::wstring e = kExplorer;
        static const std::wstring keys[] = {e + L"FileExts", e + L"ComDlg32\\LastVisitedMRU", e + L"ComDlg32\\OpenSaveMRU",
                                            e + L"RecentDocs", e + L"RunMRU", e + L"Map Network Drive MRU",
                                            e + L"Streams", e + L"StreamMRU"};
        return std::vector<Source>{
            {keys[0].c_str(), L".", false, L"VerlaufRegistryExplorerFiles", false},
            {keys[1].c_str(), L"", false, L"VerlaufRegistryLastOpen", false},
            {keys[2].c_str(), L"", true, L"VerlaufRegistryLastSave", false},
            {keys[3].c_str(), L"", true, L"VerlaufRegistryRecentDocs", true},
            {keys[4].c_str(), L"", true, L"VerlaufRegistryProgrammHistory", true},
            {keys[5].c_str(), L"", true, L"VerlaufRegistryNetwork", false},
            {keys[6].c_str(), L"", true, L"VerlaufRegistrySelectedFiles", false},
            {keys[7].c_str(), L"", true, L"VerlaufRegistrySelectedFiles", false},
        };
    }();
    return sources;
}

int HistoryPage::TemplateId() const { return IDD_extrasHistory; }

bool HistoryPage::OnInit() {
    UseLayout({kLayout});
    Trap(kModule, L"Form_Load", [&] {
        for (const Box& b : kBoxes) AddToolTip(hwnd(), b.id, b.tip);
        AddToolTip(hwnd(), IDC_ckbRegistryAllVerlaeufe, L"Alle Kontrollkästchen markieren");
        AddToolTip(hwnd(), IDC_cmdVerlaufClean, L"Selektierte Optionen jetzt durchführen.");
        AddToolTip(hwnd(), IDC_cmdVerlaufAbbrechen, L"Bereinigung abbrechen");
    });
    return true;
}

std::wstring HistoryPage::BoxCaption(int id) const {
    std::wstring caption = Item(id).Text();
    caption.erase(std::remove(caption.begin(), caption.end(), L'&'), caption.end());
    return caption;
}

bool HistoryPage::Checked(int id) const { return IsDlgButtonChecked(hwnd(), id) == BST_CHECKED; }

std::wstring HistoryPage::RegistryResult() const { return Item(IDC_lblVerlaufRegistryErgebnis).Text(); }
std::wstring HistoryPage::FilesResult() const { return Item(IDC_lblVerlaufExplorerErgebnis).Text(); }
std::wstring HistoryPage::RecyclerText() const { return Item(IDC_lblRecyclerVerlauf).Text(); }

void HistoryPage::PageActivate() {
    if (running_) return;
    const wchar_t* proc = L"TabExtras";
    Trap(kModule, proc, [&] {
        Item(IDC_lblVerlaufRegistryErgebnis).SetText(L"");
        Item(IDC_lblVerlaufExplorerErgebnis).SetText(L"");
    });
    Trap(kModule, proc, [&] {
        for (int i = 0; i < kRegistryBoxes + 1; ++i)
            CheckDlgButton(hwnd(), kBoxes[i].id, Setting(kBoxes[i].setting) == L"1" ? BST_CHECKED : BST_UNCHECKED);
        bool any = false;
        for (int i = 0; i < kRegistryBoxes; ++i) any = any || Checked(kBoxes[i].id);
        Item(IDC_ckbVerlaufRegistryAutoDel).Enable(any);
        CheckDlgButton(hwnd(), IDC_ckbVerlaufRegistryAutoDel,
                       any && Setting(L"AutoRegistryVerlaufDel") == L"1" ? BST_CHECKED : BST_UNCHECKED);
    });
    Trap(kModule, proc, [&] { OptionsChanged(); });
    SetExtraScanMenus(false, false);
}

void HistoryPage::OptionsChanged() {
    Item(IDC_lblRecyclerVerlauf).SetText(::RecyclerNotice());
    recyclerColour_ = ::RecyclerColour();
    InvalidateRect(Item(IDC_lblRecyclerVerlauf), nullptr, TRUE);
}

void HistoryPage::StoreSetting(int id) {
    const Box* b = BoxOf(id);
    if (!b) return;
    const std::wstring value = Checked(id) ? L"1" : L"0";
    Trap(kModule, b->procedure, [&] { Service<clsKeyFunc>().SaveSetting(kSection, b->setting, value); });
    Info(b->procedure, value + L" gesetzt");
}

void HistoryPage::SetAutoDelState() {
    bool any = false;
    for (int i = 0; i < kRegistryBoxes; ++i) any = any || Checked(kBoxes[i].id);
    if (any) {
        Item(IDC_ckbVerlaufRegistryAutoDel).Enable(true);
        return;
    }
    // Nothing left to include in the scan: the box goes off, and so does its setting.
    const bool wasOn = Checked(IDC_ckbVerlaufRegistryAutoDel);
    CheckDlgButton(hwnd(), IDC_ckbVerlaufRegistryAutoDel, BST_UNCHECKED);
    Item(IDC_ckbVerlaufRegistryAutoDel).Enable(false);
    if (wasOn || Setting(L"AutoRegistryVerlaufDel") != L"0") StoreSetting(IDC_ckbVerlaufRegistryAutoDel);
}

void HistoryPage::CheckBox_Click(int id) {
    if (id == IDC_ckbRegistryAllVerlaeufe) {
        const bool on = Checked(id);
        for (int i = 0; i < kRegistryBoxes; ++i) {
            if (Checked(kBoxes[i].id) == on) continue;
            CheckDlgButton(hwnd(), kBoxes[i].id, on ? BST_CHECKED : BST_UNCHECKED);
            CheckBox_Click(kBoxes[i].id);
        }
        return;
    }
    if (IsRegistryBox(id)) SetAutoDelState();
    StoreSetting(id);
}

void HistoryPage::SetIdle() {
    Item(IDC_cmdVerlaufClean).Enable(true);
    Item(IDC_cmdVerlaufAbbrechen).Enable(false);
    SendMessageW(Item(IDC_ProgressBarVerlauf), PBM_SETPOS, 0, 0);
    Item(IDC_ProgressBarVerlauf).Show(false);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    running_ = false;
}

void HistoryPage::cmdVerlaufAbbrechen_Click() {
    cancel_ = true;
    Item(IDC_lblVerlaufRegistryErgebnis).SetText(L"");
    Item(IDC_lblVerlaufExplorerErgebnis).SetText(L"");
    SetIdle();
}

void HistoryPage::cmdVerlaufClean_Click() {
    const wchar_t* proc = L"cmdVerlaufClean";
    if (running_) return;
    Info(proc, L"started");
    cancel_ = false;
    running_ = true;
    removedEntries_ = removedFiles_ = 0;
    lastUndo_.clear();
    Item(IDC_cmdVerlaufClean).Enable(false);
    Item(IDC_cmdVerlaufAbbrechen).Enable(true);
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    // Nothing is removed that the undo file does not hold: without it the run does not start.
    ChangeJournal journal(L"Verlauf", kModule, proc);
    journal.cancelled = [this] { return cancel_; };
    RuntimeError error;
    if (!journal.CreateFile(&error)) {
        const std::wstring text = L"Die Sicherungsdatei " + journal.UndoPath() + L" konnte nicht angelegt werden:\r\n" +
                                  error.description + L"\r\n\r\nEs wurde nichts bereinigt.";
        MessageBoxW(GetAncestor(hwnd(), GA_ROOT), text.c_str(), AppEnvironment.AppTitle.c_str(), MB_ICONEXCLAMATION | MB_OK);
        SetIdle();
        Info(proc, L"endet");
        return;
    }
    lastUndo_ = journal.UndoPath();
    std::vector<std::wstring> missing;
    const int entries = CleanRegistry(journal, missing);
    removedEntries_ = entries;
    if (cancel_) {
        Info(proc, L"endet");
        return;
    }
    // A list this Windows does not keep is named, so its box is not taken for a success.
    std::wstring result = entries == 1  ? L"Einen Eintrag gelöscht"
                          : entries > 1 ? std::to_wstring(entries) + L" Einträge gelöscht"
                                        : L"Keine Einträge gefunden";
    if (!missing.empty()) {
        result += L"; nicht vorhanden: ";
        for (size_t i = 0; i < missing.size(); ++i) result += (i ? L", " : L"") + missing[i];
    }
    Item(IDC_lblVerlaufRegistryErgebnis).SetText(result);
    int found = 0;
    if (Checked(IDC_ckbVerlaufExplorerLastOpenFiles)) {
        std::vector<std::wstring> files;
        Trap(kModule, proc, [&] {
            std::vector<std::wstring> list(1);
            Service<clsFiles>().FindFilesAPI(AppEnvironment.RecentDir, L"*.*", true, list);
            for (size_t i = 1; i < list.size(); ++i) {
                if (IsJumpList(list[i], AppEnvironment.RecentDir)) continue;
                const DWORD a = GetFileAttributesW(list[i].c_str());
                // Folders are not recent documents; a link to a folder is one, deleted as a link.
                if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT))
                    continue;
                files.push_back(list[i]);
            }
        });
        found = static_cast<int>(files.size());
        removedFiles_ = DeleteRecentFiles(files);
        if (cancel_) {
            Item(IDC_lblVerlaufExplorerErgebnis).SetText(L"");
            Info(proc, L"endet");
            return;
        }
    }
    const int n = removedFiles_;
    Item(IDC_lblVerlaufExplorerErgebnis)
        .SetText(n == 1  ? L"Eine Datei gelöscht"
                 : n > 1 ? std::to_wstring(n) + L" Dateien gelöscht"
                 : found > 0 ? L"Keine Dateien gelöscht"
                             : L"Keine Dateien gefunden");
    SetIdle();
    Info(proc, L"endet");
}

int HistoryPage::CleanRegistry(ChangeJournal& journal, std::vector<std::wstring>& missing) {
    const wchar_t* proc = L"cmdVerlaufClean";
    clsKeyFunc& keys = Service<clsKeyFunc>();
    clsSearch& search = Service<clsSearch>();
    int counter = 0;
    // A scan cancelled earlier leaves its stop flag set, and the walk would find nothing; a scan
    // that is still running keeps its flag.
    if (!search.ScanRun) search.StopSearch = false;
    // A box whose lists this Windows does not keep is named instead of counted as cleaned.
    std::map<std::wstring, bool> present;
    for (const Source& src : Sources())
        if (Setting(src.setting) == L"1")
            present[src.setting] |= search.KeyStatus(kHKCU, src.key, KEY_READ) != ERROR_FILE_NOT_FOUND;
    for (const Box& b : kBoxes)
        if (auto it = present.find(b.setting); it != present.end() && !it->second) missing.push_back(BoxCaption(b.id));
    for (const Source& src : Sources()) {
        if (Setting(src.setting) != L"1" || search.KeyStatus(kHKCU, src.key, KEY_READ) == ERROR_FILE_NOT_FOUND) continue;
        std::vector<ScanHit> hits(1);
        if (src.searchText == std::wstring(L".")) {
            // Of the types' keys only the lists of programs a file was opened with go: the user's
            // chosen program (UserChoice) and the programs a type offers (OpenWithProgids) stay.
            for (const std::wstring& ext : search.Get_SubFolders(kHKCU, src.key)) {
                if (ext.find(L'.') == std::wstring::npos) continue;
                const std::wstring list = std::wstring(src.key) + L"\\" + ext + L"\\OpenWithList";
                for (const std::wstring& name : search.Get_KeyValues(kHKCU, list)) {
                    ScanHit h;
                    h.root = kHKCU;
                    h.key = list;
                    h.name = name;
                    h.type = name.empty() ? REG_NONE : REG_SZ;
                    if (search.LastResult() != ERROR_FILE_NOT_FOUND) hits.push_back(std::move(h));
                }
            }
        } else {
            Trap(kModule, proc, [&] {
                SearchQuery query;
                query.SearchText = src.searchText;
                query.KeyPath = src.key;
                query.Root = kHKCU;
                query.CompareMode = 1;
                query.Recurse = true;
                query.MatchKeyName = true;
                query.MatchValueName = src.matchValueName;
                query.MatchValueData = false;
                search.FindString(query, hits);
            });
        }
        Info(proc, L"unter " + std::wstring(src.key) + L" " + std::to_wstring(hits.size() - 1) + L" Einträge gelesen");
        // Each key once, with everything below it, in the order found.
        std::vector<RegChange> changes;
        std::set<std::wstring> seen;
        for (size_t i = 1; i < hits.size(); ++i)
            if (seen.insert(ToLower(hits[i].key)).second) changes.push_back(RegChange::DeleteTree(kHKCU, hits[i].key));
        journal.Apply(changes);
        if (cancel_) return counter;
        // Only what is gone counts as cleaned.
        std::map<std::wstring, bool> gone;
        for (size_t i = 1; i < hits.size(); ++i) {
            const ScanHit& h = hits[i];
            auto it = gone.find(h.key);
            if (it == gone.end()) it = gone.emplace(h.key, search.KeyStatus(kHKCU, h.key, KEY_READ) == ERROR_FILE_NOT_FOUND).first;
            if (it->second && IsEntry(h)) ++counter;
        }
        if (src.recreate) Trap(kModule, proc, [&] { keys.CreateKey(kHKCU, src.key); });
    }
    return counter;
}

int HistoryPage::DeleteRecentFiles(const std::vector<std::wstring>& files) {
    const wchar_t* proc = L"cmdVerlaufClean";
    clsFiles& fs = Service<clsFiles>();
    const int n = static_cast<int>(files.size());
    if (n == 0) return 0;
    // A Recent folder moved into a place that must never be emptied is left as it is.
    if (const std::wstring reason = WhyNotEmptied(AppEnvironment.RecentDir); !reason.empty()) {
        ReportError(kModule, proc, RuntimeError{}, Style::Warning, false,
                    AppEnvironment.RecentDir + L" " + reason + L" und wurde nicht geleert.");
        return 0;
    }
    HWND bar = Item(IDC_ProgressBarVerlauf);
    SendMessageW(bar, PBM_SETRANGE32, 0, n);
    ShowWindow(bar, SW_SHOW);
    Info(proc, std::to_wstring(n) + L" Recent Dateien gefunden");
    int removed = 0;
    for (int i = 1; i <= n && !cancel_; ++i) {
        const std::wstring& path = files[i - 1];
        Item(IDC_lblVerlaufExplorerErgebnis).SetText(L"Lösche Datei " + std::to_wstring(i) + L" von " + std::to_wstring(n));
        SendMessageW(bar, PBM_SETPOS, i, 0);
        // Exactly read-only, hidden or system: the user or the system keeps it.
        const int32_t kind = fs.FileKind(path);
        if (kind != 1 && kind != 2 && kind != 4) {
            Info(proc, L"Datei " + path + L" soll gelöscht werden");
            // One entry at a time, a link as the link itself: nothing it points to is touched.
            fs.FileDel(path);
            if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) ++removed;
        }
        DoEvents();
        if (cancel_) return removed;
    }
    SendMessageW(bar, PBM_SETPOS, 0, 0);
    return removed;
}

void HistoryPage::OnCommand(int id, int code, HWND control) {
    if (code != BN_CLICKED) return;
    switch (id) {
    case IDC_cmdVerlaufClean: cmdVerlaufClean_Click(); break;
    case IDC_cmdVerlaufAbbrechen: cmdVerlaufAbbrechen_Click(); break;
    default:
        if (BoxOf(id) || id == IDC_ckbRegistryAllVerlaeufe) CheckBox_Click(id);
        break;
    }
}

bool HistoryPage::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lp) == Item(IDC_lblRecyclerVerlauf).hwnd()) {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, recyclerColour_);
        SetBkMode(dc, TRANSPARENT);
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        return true;
    }
    return false;
}
