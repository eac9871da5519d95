// app/extras/FileTypesPage.cpp
#include "extras/FileTypesPage.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/DoEvents.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/win/Menu.h"
#include "extras/ExtrasMenu.h"
#include "extras/FileTypesPage.rh"
#include "registry/clsKeyFunc.h"
#include "registry/clsSearch.h"
#include "journal/ChangeJournal.h"
#include "journal/Protected.h"
#include "core/win/MainFrame.h"
#include "extras/frmExtraScan.rh"
#include <shlobj.h>
#include <algorithm>
#include <map>
#include <optional>

namespace {
const wchar_t* kModule = L"frmExtraScan";
const wchar_t kClasses[] = L"Software\\Classes\\";
// Machine first: where both hold an extension, its machine row comes first.
const RootKey kRoots[] = {kHKLM, kHKCU};

void Info(const wchar_t* procedure, const std::wstring& message) { Trace(kModule, procedure, message); }

// Both roots' extension keys with the file type each names: lower-case type -> number of keys.
std::map<std::wstring, int> TypeUse() {
    std::map<std::wstring, int> use;
    clsSearch& search = Service<clsSearch>();
    for (RootKey root : kRoots)
        for (const std::wstring& name : search.Get_SubFolders(root, L"Software\\Classes"))
            if (!name.empty() && name[0] == L'.') {
                const std::wstring type = search.Get_ValueData(root, kClasses + name, L"");
                if (!type.empty()) ++use[ToLower(type)];
            }
    return use;
}

std::wstring ExtensionList(const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const std::wstring& l : lines) text += L"\r\n" + l;
    return text;
}

// Which edges each control follows when the window is resized.
constexpr Anchor kLayout[] = {
    {IDC_lvwFileExts, kSizeX | kSizeY},
    {IDC_lblFileExtsHint, kMoveY | kSizeX},
    {IDC_cmdFileExtsDel, kMoveX | kMoveY},
};
}  // namespace

int FileTypesPage::TemplateId() const { return IDD_extrasFileTypes; }

bool FileTypesPage::OnInit() {
    UseLayout({kLayout});
    Trap(kModule, L"Form_Load", [&] {
        lvw_ = Item(IDC_lvwFileExts);
        UsePathCells(lvw_, {2});  // the command it opens with
        SetWindowLongPtrW(lvw_, GWL_STYLE, GetWindowLongPtrW(lvw_, GWL_STYLE) & ~LVS_SINGLESEL);
        ListView list(lvw_);
        list.SetFullRowSelect();
        list.AddColumns({{L"Dateierweiterung", 110}, {L"Dateityp", 150}, {L"verknüpft mit ...", 300}, {L"HKey", 140}});
        AddToolTip(hwnd(), IDC_cmdFileExtsDel, L"Selektierte Einträge löschen");
    });
    return true;
}

void FileTypesPage::PageActivate() {
    Trap(kModule, L"TabExtras", [] { SetExtraScanMenus(false, true); });
    FindFileExts();
}

void FileTypesPage::FindFileExts() {
    const wchar_t* proc = L"FindFileExts";
    if (busy_) return;
    busy_ = true;
    Info(proc, L"started");
    HCURSOR before = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    ListView list(lvw_);
    Trap(kModule, proc, [&] { list.Clear(); });
    types_.clear();
    clsSearch& search = Service<clsSearch>();
    for (RootKey root : kRoots) {
        std::vector<std::wstring> names;
        Trap(kModule, proc, [&] { names = search.Get_SubFolders(root, L"Software\\Classes"); });
        for (const std::wstring& name : names) {
            if (name.empty() || name[0] != L'.' || IsSystemClass(name)) continue;
            Trap(kModule, proc, [&] {
                FileType t;
                t.root = root;
                t.extension = name;
                t.typeName = search.Get_ValueData(root, kClasses + name, L"");
                // The command as Windows finds it: the user's registration of the type before the machine's.
                if (!t.typeName.empty() && t.typeName.find(L'\\') == std::wstring::npos)
                    for (RootKey from : {kHKCU, kHKLM}) {
                        const std::wstring command = kClasses + t.typeName + L"\\shell\\open\\command";
                        if (search.KeyStatus(from, command, KEY_QUERY_VALUE) != ERROR_SUCCESS) continue;
                        t.command = search.Get_ValueData(from, command, L"");
                        break;
                    }
                types_.push_back(std::move(t));
            });
            DoEventsIfDue();
        }
    }
    // One list in the order of the extensions; the same extension of both roots side by side.
    std::vector<size_t> order(types_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return ToLower(types_[a].extension) < ToLower(types_[b].extension); });
    for (size_t i : order)
        Trap(kModule, proc, [&] {
            const FileType& t = types_[i];
            list.AddRow({t.extension, t.typeName, t.command, clsKeyFunc::HiveName(t.root)}, static_cast<LPARAM>(i));
        });
    list.FitColumns({0, 1, 2, 3}, 45);
    list.ShareOut({1, 2});
    if (list.Count() > 1) list.Select(0);
    SetCursor(before ? before : LoadCursorW(nullptr, IDC_ARROW));
    Info(proc, L"endet");
    busy_ = false;
}

void FileTypesPage::SortBy(int column) {
    // Rows must not move while the delete command walks them.
    if (busy_) return;
    sort_.By(List(), column);
}

void FileTypesPage::cmdFileExtsDel_Click() {
    const wchar_t* proc = L"cmdFileExtsDel_Click";
    if (busy_) return;
    ListView list(lvw_);
    Info(proc, L"started");
    if (list.SelectedCount() == 0) {
        Info(proc, L"Es wurde kein Eintrag gewählt.");
        Info(proc, L"endet");
        return;
    }
    const std::wstring question = std::wstring(L"Sind Sie sicher, dass Sie die gewählte(n) Dateierweiterung(en)") +
                                  L" löschen wollen?" + L"\r\n" + L"\r\n" +
                                  L"Beachten Sie, dass das Programm mit dem diese Dateierweiterung verknüpft ist," +
                                  L"\r\n" + L"unter umständen nicht mehr funktioniert." + L"\r\n" +
                                  L"Wenn Sie löschen, werden die Einträge gesichert.";
    HWND owner = GetAncestor(hwnd(), GA_ROOT);
    if (MessageBoxW(owner, question.c_str(), AppEnvironment.AppTitle.c_str(), MB_ICONQUESTION | MB_YESNO) != IDYES) {
        Info(proc, L"endet");
        return;
    }
    busy_ = true;
    lastUndoFile_.clear();

    // Nothing is deleted that is not saved first: without the undo file nothing happens at all.
    ChangeJournal journal(L"Dateierweiterung", kModule, proc);
    RuntimeError error;
    if (!journal.CreateFile(&error)) {
        const std::wstring text = L"Die Sicherungsdatei " + journal.UndoPath() + L" konnte nicht angelegt werden:\r\n" +
                                  error.description + L"\r\n\r\nEs wurde nichts gelöscht.";
        MessageBoxW(owner, text.c_str(), AppEnvironment.AppTitle.c_str(), MB_ICONEXCLAMATION | MB_OK);
        busy_ = false;
        Info(proc, L"endet");
        return;
    }
    lastUndoFile_ = journal.UndoPath();

    // Each chosen extension; its file type goes with it when it is stored in the same place and
    // no other extension of either place names it once the chosen ones are gone (the journal
    // checks that again, as the registry is then).
    clsSearch& search = Service<clsSearch>();
    std::map<std::wstring, int> use = TypeUse();
    struct Chosen {
        int row;
        std::wstring label;
        size_t change;
        std::optional<size_t> typeChange;
        std::wstring type;
    };
    std::vector<Chosen> chosen;
    std::vector<RegChange> changes;
    Info(proc, L"Dateierweiterungen werden gelöscht.");
    for (int i = 0; i < list.Count(); ++i) {
        if (!list.Selected(i)) continue;
        const FileType t = RowType(i);
        const std::wstring key = kClasses + t.extension;
        Chosen c{i, t.extension + L" (" + clsKeyFunc::HiveName(t.root) + L")", changes.size(), std::nullopt, L""};
        changes.push_back(RegChange::DeleteTree(t.root, key));
        const std::wstring type = search.Get_ValueData(t.root, key, L"");
        const std::wstring lowerType = ToLower(type);
        if (!type.empty() && type[0] != L'.' && type.find(L'\\') == std::wstring::npos && !IsSystemClass(type) &&
            --use[lowerType] <= 0 && search.KeyStatus(t.root, kClasses + type, KEY_READ) == ERROR_SUCCESS) {
            c.typeChange = changes.size();
            c.type = type + L" (" + clsKeyFunc::HiveName(t.root) + L")";
            changes.push_back(RegChange::DeleteTree(t.root, kClasses + type));
        }
        chosen.push_back(std::move(c));
    }
    const JournalResult result = journal.Apply(changes);
    std::vector<std::wstring> failed;
    std::wstring stopped;  // set when the undo file could not be written
    for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) {
        const ChangeOutcome& ext = result.items[it->change];
        if (result.undoProblem != JournalResult::UndoProblem::None && !ext.done) {
            stopped = L"Die Sicherungsdatei " + journal.UndoPath() + L" konnte nicht geschrieben werden:\r\n" +
                      result.undoError.description + L"\r\n\r\nDie Dateierweiterung " + it->label +
                      L" und alle folgenden wurden nicht gelöscht.";
            continue;
        }
        if (!ext.done) {
            failed.insert(failed.begin(), it->label);
            continue;
        }
        // A type that is still named stays by design; one that could not be deleted is reported.
        if (it->typeChange && !result.items[*it->typeChange].done && !result.items[*it->typeChange].protectedPlace)
            failed.insert(failed.begin(), it->type);
        list.DeleteRow(it->row);
    }
    // Explorer and the open dialogs learn that the associations changed.
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    if (list.Count() > 0) list.Select(0, false);
    busy_ = false;
    if (!stopped.empty()) {
        MessageBoxW(owner, stopped.c_str(), AppEnvironment.AppTitle.c_str(), MB_ICONEXCLAMATION | MB_OK);
    } else if (!failed.empty()) {
        const std::wstring text = L"Folgende Einträge konnten nicht gelöscht werden:" + ExtensionList(failed) +
                                  L"\r\n\r\nDie Sicherung steht in " + journal.UndoPath() + L".";
        MessageBoxW(owner, text.c_str(), AppEnvironment.AppTitle.c_str(), MB_ICONEXCLAMATION | MB_OK);
    }
    Info(proc, L"endet");
}

void FileTypesPage::SetMenuCaption() {
    HMENU m = ExtraScanMenu();
    if (!m) return;
    MenuItem::SetCaption(m, IDM_mnuExtraScanFileExtDel,
                         List().SelectedCount() >= 2 ? L"&markierte Einträge entfernen" : L"&markierten Eintrag entfernen");
}

void FileTypesPage::lvwFileExts_MouseUp(bool rightButton) {
    Trap(kModule, L"lvwFileExts_MouseUp", [&] {
        SetMenuCaption();
        if (!rightButton) return;
        HMENU m = ExtraScanMenu();
        if (!m) return;
        POINT pt{};
        GetCursorPos(&pt);
        TrackPopupMenuEx(GetSubMenu(m, kMenuExtraScanFileExt), TPM_RIGHTBUTTON, pt.x, pt.y,
                         AppFrame()->Window(), nullptr);
    });
}

void FileTypesPage::lvwFileExts_KeyDown(WORD key) {
    switch (key) {
    case VK_F5: FindFileExts(); break;
    case VK_F6: SortBy(0); break;
    case VK_F7: SortBy(1); break;
    case VK_F8: SortBy(2); break;
    case VK_DELETE: case VK_CLEAR: cmdFileExtsDel_Click(); break;
    default: break;
    }
}

bool FileTypesPage::OnMenuCommand(int id) {
    if (id != IDM_mnuExtraScanFileExtDel) return false;
    cmdFileExtsDel_Click();
    return true;
}

void FileTypesPage::OnCommand(int id, int code, HWND control) {
    if (id == IDC_cmdFileExtsDel) cmdFileExtsDel_Click();
}

LRESULT FileTypesPage::OnNotify(NMHDR* hdr) {
    if (hdr->hwndFrom != lvw_) return 0;
    switch (hdr->code) {
    case LVN_COLUMNCLICK: SortBy(reinterpret_cast<NMLISTVIEW*>(hdr)->iSubItem); break;
    case LVN_KEYDOWN: lvwFileExts_KeyDown(reinterpret_cast<NMLVKEYDOWN*>(hdr)->wVKey); break;
    case NM_CLICK: lvwFileExts_MouseUp(false); break;
    case NM_RCLICK: lvwFileExts_MouseUp(true); break;
    default: break;
    }
    return 0;
}
