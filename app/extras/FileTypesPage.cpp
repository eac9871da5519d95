// app/extras/FileTypesPage.cpp
#include "extras/FileTypesPage.h"
#include "core/AppEnvironment.h"
#include "core/ClassHandler.h"
#include "core/DoEvents.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/WindowHandler.h"
#include "core/win/Menu.h"
#include "extras/ExtrasMenu.h"
#include "extras/FileTypesPage.rh"
#include "registry/clsKeyFunc.h"
#include "registry/clsSearch.h"
#include "scan/ScanEngine.h"
#include "journal/UndoFile.h"
#include "ui/frmMDI.h"
#include "ui/frmMDI.rh"
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
    clsSearch& search = ClassHandler().Search();
    for (RootKey root : kRoots)
        for (const std::wstring& name : search.Get_SubFolders(root, L"Software\\Classes"))
            if (!name.empty() && name[0] == L'.') {
                const std::wstring type = search.Get_ValueData(root, kClasses + name, L"");
                if (!type.empty()) ++use[ToLower(type)];
            }
    return use;
}

// Keys directly below "Software\Classes" that hold the registry's own structure, whatever an
// extension's default value says: a type of that name is never deleted with an extension.
bool StructuralKey(const std::wstring& lower) {
    static const wchar_t* const keys[] = {
        L"appid", L"applications", L"clsid", L"component categories", L"directshow", L"filter", L"installer",
        L"interface", L"local settings", L"media type", L"mediafoundation", L"mime", L"protocols", L"record",
        L"systemfileassociations", L"typelib", L"unknown", L"wow6432node", L"http", L"https", L"ftp", L"file",
        L"mailto", L"network", L"printers", L"drive", L"directory", L"folder"};
    return std::any_of(std::begin(keys), std::end(keys), [&](const wchar_t* k) { return lower == k; });
}

std::wstring ExtensionList(const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const std::wstring& l : lines) text += L"\r\n" + l;
    return text;
}

// The undo file's name for now; when a file of that name is there already (a second command in
// the same second), the next second's name, so no earlier undo file is ever replaced.
std::wstring FreeUndoFilePath() {
    std::wstring path = AppEnvironment.BackupDir + UndoFileName(L"Dateierweiterung");
    for (int i = 0; i < 60 && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(50);
        DoEvents();
        path = AppEnvironment.BackupDir + UndoFileName(L"Dateierweiterung");
    }
    return path;
}
}  // namespace

int FileTypesPage::TemplateId() const { return IDD_extrasFileTypes; }

bool FileTypesPage::Protected(const std::wstring& name) {
    static const wchar_t* const names[] = {
        // extensions
        L".exe", L".com", L".bat", L".cmd", L".lnk", L".reg", L".msi", L".dll", L".sys", L".txt", L".cpl", L".drv",
        L".inf", L".ini", L".msc", L".ocx", L".pif", L".scr",
        // file types
        L"exefile", L"lnkfile", L"directory", L"folder", L"drive", L"*", L"allfilesystemobjects", L"batfile",
        L"cmdfile", L"comfile", L"regfile", L"msi.package", L"dllfile", L"sysfile", L"txtfile", L"cplfile",
        L"inffile", L"inifile", L"mscfile", L"piffile", L"scrfile"};
    const std::wstring lower = ToLower(name);
    return std::any_of(std::begin(names), std::end(names), [&](const wchar_t* n) { return lower == n; });
}

std::function<bool(RootKey, const std::wstring&)>& FileTypesPage::KeyDeleter() {
    static std::function<bool(RootKey, const std::wstring&)> deleter = [](RootKey root, const std::wstring& key) {
        return ClassHandler().KeyFunc().DelKeyTree(root, key);
    };
    return deleter;
}

bool FileTypesPage::OnInit() {
    Trap(kModule, L"Form_Load", [&] {
        lvw_ = Item(IDC_lvwFileExts);
        SetWindowLongPtrW(lvw_, GWL_STYLE, GetWindowLongPtrW(lvw_, GWL_STYLE) & ~LVS_SINGLESEL);
        ListView list(lvw_);
        list.SetFullRowSelect();
        list.AddColumn(L"Dateierweiterung", 110);
        list.AddColumn(L"Dateityp", 150);
        list.AddColumn(L"verknüpft mit ...", 300);
        list.AddColumn(L"HKey", 140);
        AddToolTip(hwnd(), IDC_cmdFileExtsDel, L"Selektierte Einträge löschen");
    });
    return true;
}

void FileTypesPage::OnSize(int width, int height) {
    RECT du{6, 14, 70, 10};  // margin, button height, button width, label height
    MapDialogRect(hwnd(), &du);
    const int m = du.left, bh = du.top, bw = du.right, lh = du.bottom;
    const int buttonsTop = height - m - bh;
    if (lvw_) MoveWindow(lvw_, m, m, std::max(0, width - 2 * m), std::max(0, buttonsTop - 2 * m), TRUE);
    Item(IDC_cmdFileExtsDel).Move(std::max(m, width - m - bw), buttonsTop, bw, bh);
    Item(IDC_lblFileExtsHint).Move(m, buttonsTop + (bh - lh) / 2, std::max(0, width - bw - 3 * m), lh);
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
    clsSearch& search = ClassHandler().Search();
    for (RootKey root : kRoots) {
        std::vector<std::wstring> names;
        Trap(kModule, proc, [&] { names = search.Get_SubFolders(root, L"Software\\Classes"); });
        for (const std::wstring& name : names) {
            if (name.empty() || name[0] != L'.' || Protected(name)) continue;
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
    if (list.Count() > 1) list.Select(0);
    SetCursor(before ? before : LoadCursorW(nullptr, IDC_ARROW));
    Info(proc, L"endet");
    busy_ = false;
}

void FileTypesPage::SortBy(int column) {
    // Rows must not move while the delete command walks them.
    if (busy_) return;
    sortColumn_ = column;
    sortAscending_ = !sortAscending_;
    List().SortByColumn(sortColumn_, sortAscending_);
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
    const std::wstring path = FreeUndoFilePath();
    const bool folderThere = GetFileAttributesW(AppEnvironment.BackupDir.c_str()) != INVALID_FILE_ATTRIBUTES;
    std::optional<UndoFile> undo;
    try {
        SYSTEMTIME now;
        GetLocalTime(&now);
        undo.emplace(path, UndoFileIntro(L"RegScan", now));
        if (!folderThere)
            ReportError(kModule, proc, RuntimeError{Err::PathNotFound, ErrorDescription(Err::PathNotFound)}, 48, false,
                        L"Ordner " + AppEnvironment.BackupDir + L" musste angelegt werden");
    } catch (...) {
        const RuntimeError e = CurrentError();
        ReportError(kModule, proc, e, 48, false, path);
        const std::wstring text = L"Die Sicherungsdatei " + path + L" konnte nicht angelegt werden:\r\n" +
                                  e.description + L"\r\n\r\nEs wurde nichts gelöscht.";
        MessageBoxW(owner, text.c_str(), AppEnvironment.AppTitle.c_str(), MB_ICONEXCLAMATION | MB_OK);
        busy_ = false;
        Info(proc, L"endet");
        return;
    }
    lastUndoFile_ = path;

    clsSearch& search = ClassHandler().Search();
    std::map<std::wstring, int> use = TypeUse();
    std::vector<std::wstring> failed;
    std::wstring stopped;  // set when the undo file could not be written: nothing more is deleted
    for (int i = 0; i < list.Count() && stopped.empty(); ++i) {
        Info(proc, L"Dateierweiterungen werden gelöscht.");
        if (!list.Selected(i)) continue;
        const FileType t = RowType(i);
        const std::wstring key = kClasses + t.extension;
        const std::wstring where = clsKeyFunc::HiveName(t.root) + L"\\" + key;
        const std::wstring label = t.extension + L" (" + clsKeyFunc::HiveName(t.root) + L")";
        const LSTATUS status = search.KeyStatus(t.root, key, KEY_READ);
        if (status == ERROR_FILE_NOT_FOUND) {  // gone already: nothing to save, nothing to delete
            list.DeleteRow(i--);
            continue;
        }
        if (status != ERROR_SUCCESS) {
            ReportError(kModule, proc, RuntimeError{Err::PermissionDenied, ErrorDescription(Err::PermissionDenied)}, 48,
                        false, where + L" konnte nicht gesichert werden und bleibt erhalten");
            failed.push_back(label);
            continue;
        }
        // The file type goes with its extension only when it is stored in the same place and no
        // other extension of either place still names it.
        const std::wstring type = search.Get_ValueData(t.root, key, L"");
        const std::wstring lowerType = ToLower(type);
        std::wstring typeKey;
        if (!type.empty() && type[0] != L'.' && type.find(L'\\') == std::wstring::npos && !Protected(type) &&
            !StructuralKey(lowerType) && use[lowerType] <= 1 &&
            search.KeyStatus(t.root, kClasses + type, KEY_READ) == ERROR_SUCCESS)
            typeKey = kClasses + type;
        try {
            undo->AddKey(t.root, key);
            if (!typeKey.empty()) undo->AddKey(t.root, typeKey);
        } catch (...) {
            const RuntimeError e = CurrentError();
            ReportError(kModule, proc, e, 48, false, path);
            stopped = L"Die Sicherungsdatei " + path + L" konnte nicht geschrieben werden:\r\n" + e.description +
                      L"\r\n\r\nDie Dateierweiterung " + label + L" und alle folgenden wurden nicht gelöscht.";
            break;
        }
        Info(proc, std::to_wstring(t.root) + L"\\" + key + L" gesichert");
        if (!KeyDeleter()(t.root, key)) {
            ReportError(kModule, proc, RuntimeError{Err::PermissionDenied, ErrorDescription(Err::PermissionDenied)}, 48,
                        false, where + L" konnte nicht gelöscht werden");
            failed.push_back(label);
            continue;
        }
        if (!type.empty()) --use[lowerType];
        if (!typeKey.empty()) {
            Info(proc, std::to_wstring(t.root) + L"\\" + typeKey + L" gesichert");
            if (!KeyDeleter()(t.root, typeKey)) {
                ReportError(kModule, proc, RuntimeError{Err::PermissionDenied, ErrorDescription(Err::PermissionDenied)},
                            48, false, clsKeyFunc::HiveName(t.root) + L"\\" + typeKey + L" konnte nicht gelöscht werden");
                failed.push_back(type + L" (" + clsKeyFunc::HiveName(t.root) + L")");
            }
        }
        list.DeleteRow(i--);
        DoEventsIfDue();
    }
    undo.reset();
    // Explorer and the open dialogs learn that the associations changed.
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    if (list.Count() > 0) list.Select(0, false);
    busy_ = false;
    if (!stopped.empty()) {
        MessageBoxW(owner, stopped.c_str(), AppEnvironment.AppTitle.c_str(), MB_ICONEXCLAMATION | MB_OK);
    } else if (!failed.empty()) {
        const std::wstring text = L"Folgende Einträge konnten nicht gelöscht werden:" + ExtensionList(failed) +
                                  L"\r\n\r\nDie Sicherung steht in " + path + L".";
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
                         WindowHandler().Get<frmMDI>().hwnd(), nullptr);
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
