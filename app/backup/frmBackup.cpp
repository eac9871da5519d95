// app/backup/frmBackup.cpp
#include "backup/frmBackup.h"
#include "backup/RestorePlan.h"
#include "backup/frmRestorePreview.h"
#include "backup/frmBackup.rh"
#include "assistant/clsAgent.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/RecyclerNotice.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/clsTimer.h"
#include "core/modReboot.h"
#include "core/modWaitForProcess.h"
#include "core/win/Menu.h"
#include "files/clsFiles.h"
#include <shellapi.h>
#include <algorithm>
#include <cwchar>

namespace {
const wchar_t* kModule = L"frmBackup";


// Creates the folder with every missing parent; true when it exists afterwards.
bool CreateFolder(const std::wstring& folder) {
    for (size_t p = folder.find(L'\\', 3); p != std::wstring::npos; p = folder.find(L'\\', p + 1))
        CreateDirectoryW(folder.substr(0, p).c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    const DWORD a = GetFileAttributesW(folder.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileThere(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring UserDecimalSeparator() {
    wchar_t buf[8] = L"";
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, buf, 8) <= 0) return L".";
    return buf;
}

std::wstring OneLine(std::wstring text) {
    std::replace(text.begin(), text.end(), L'\r', L' ');
    return text;
}

void ReportNoFile(const wchar_t* procedure) { Trace(kModule, procedure, L"Es wurde keine Datei gewählt."); }

// Which edges each control follows when the window is resized.
constexpr Anchor kLayout[] = {
    {IDC_lvwBackup, kSizeX | kSizeY},
    {IDC_lblRecycler, kMoveY | kSizeX},
    {IDC_cmdAnzeigen, kMoveX | kMoveY},
    {IDC_cmdEintragen, kMoveX | kMoveY},
    {IDC_cmdLoeschen, kMoveX | kMoveY},
};
}  // namespace

std::function<void()>& frmBackup::RebootAction() {
    static std::function<void()> action = [] {
        Service<clsTimer>().Pause(7);
        RebootSystem();
        CloseAllWindows();
    };
    return action;
}

std::wstring frmBackup::SizeText(unsigned long long bytes, const std::wstring& decimalSeparator) {
    // The quotient as the shortest exact text (up to 15 significant digits), then cut.
    wchar_t buf[64];
    swprintf(buf, 64, L"%.15g", static_cast<double>(bytes) / 1024.0);
    std::wstring text = buf;
    if (size_t dot = text.find(L'.'); dot != std::wstring::npos) text.replace(dot, 1, decimalSeparator);
    return text.substr(0, 5) + L" KB";
}

std::wstring frmBackup::SizeText(unsigned long long bytes) { return SizeText(bytes, UserDecimalSeparator()); }

std::wstring frmBackup::DateTimeText(const FILETIME& lastWrite) {
    SYSTEMTIME utc{}, local{};
    if (!FileTimeToSystemTime(&lastWrite, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return L"";
    wchar_t date[128] = L"", time[128] = L"";
    GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 128, nullptr);
    // The general form leaves out a time of exactly midnight.
    if (local.wHour == 0 && local.wMinute == 0 && local.wSecond == 0) return date;
    GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &local, nullptr, time, 128);
    return std::wstring(date) + L" " + time;
}

std::wstring frmBackup::RecyclerText() const { return Item(IDC_lblRecycler).Text(); }

bool frmBackup::OnInit() {
    UseLayout({kLayout});
    Trap(kModule, L"Form_Load", [&] {
        lvw_ = Item(IDC_lvwBackup);
        UseRecordList(lvw_);
        ListView list(lvw_);
        SetWindowLongPtrW(lvw_, GWL_STYLE, GetWindowLongPtrW(lvw_, GWL_STYLE) & ~LVS_SINGLESEL);
        list.SetFullRowSelect();
        list.AddColumns({{L"Dateiname", 300}, {L"Größe", 80}, {L"Erstellt", 140}});
        // imlBackup: the shell's picture of a registry file, the program icon where it has none.
        ListView_SetImageList(lvw_, ShellIconList(L".reg", FILE_ATTRIBUTE_NORMAL, true), LVSIL_SMALL);
    });
    MenuBottomLine1 = MenuBottomLineSite::Create(hwnd(), L"frmBackup");
    Trap(kModule, L"Form_Load", [] {
        Service<clsAgent>().Play(L"Read");
        Service<clsAgent>().Speak(
            L"Im Backup-Bereich können bereits entfernte Registrykeys zurückgeschrieben, bearbeitet oder gelöscht werden.");
    });
    return true;
}

void frmBackup::OptionsChanged() {
    Item(IDC_lblRecycler).SetText(::RecyclerNotice());
    recyclerColour_ = ::RecyclerColour();
    InvalidateRect(Item(IDC_lblRecycler), nullptr, TRUE);
}

bool frmBackup::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lp) == Item(IDC_lblRecycler).hwnd()) {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, recyclerColour_);
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        return true;
    }
    return false;
}

void frmBackup::Form_Activate() {
    Trap(kModule, L"Form_Activate", [&] {
        Maximize();
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    });
    Trap(kModule, L"Form_Activate", [&] { OptionsChanged(); });
    ReadBackupFiles();
}

void frmBackup::ReadBackupFiles() {
    const wchar_t* proc = L"ReadBackupFiles";
    Info(proc, L"started");
    Trap(kModule, proc, [&] { Status(L"Daten werden gelesen..."); });
    ListView list(lvw_);
    Trap(kModule, proc, [&] { list.Clear(); });
    const std::wstring folder = AppEnvironment.BackupDir;
    Trap(kModule, proc, [&] {
        if (FileThere(folder)) return;
        // A missing folder is created, except on a floppy disk.
        if (StartsWith(ToLower(AppEnvironment.InstallDir), L"a:\\")) Raise(Err::PathNotFound);
        if (!CreateFolder(folder)) RaiseWin32(GetLastError());
        Info(proc, folder + L" musste angelegt werden");
    });
    std::vector<std::wstring> files;
    Trap(kModule, proc, [&] { Service<clsFiles>().FindFilesAPI(folder, L"*.reg", false, files); });
    for (size_t i = 1; i < files.size(); ++i) {
        const std::wstring& path = files[i];
        const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
        int row = -1;
        Trap(kModule, proc, [&] {
            row = list.AddRow({name});
            LVITEMW it{};
            it.mask = LVIF_IMAGE;
            it.iItem = row;
            it.iImage = 0;
            ListView_SetItem(lvw_, &it);
        });
        if (row < 0) continue;
        Trap(kModule, proc, [&] {
            WIN32_FILE_ATTRIBUTE_DATA data;
            if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) RaiseWin32(GetLastError());
            const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            std::wstring sizeText = SizeText(size), dateText = DateTimeText(data.ftLastWriteTime);
            ListView_SetItemText(lvw_, row, 1, sizeText.data());
            ListView_SetItemText(lvw_, row, 2, dateText.data());
        }, Style::Warning, false, path);
    }
    Trap(kModule, proc, [&] { list.SortByColumn(sort_.column, sort_.ascending); });
    Info(proc, L"endet");
    Trap(kModule, proc, [&] { Status(L"Status"); });
}

std::vector<std::wstring> frmBackup::SelectedNames() const {
    std::vector<std::wstring> names;
    ListView list(lvw_);
    for (int row : list.SelectedRows()) names.push_back(list.Cell(row, 0));
    return names;
}

void frmBackup::cmdAnzeigen_Click() {
    const wchar_t* proc = L"cmdAnzeigen_Click";
    if (busy_) return;
    Info(proc, L"started");
    ListView list(lvw_);
    const std::vector<int> rows = list.SelectedRows();
    if (rows.empty()) ReportNoFile(proc);
    for (int i : rows) {
        const std::wstring name = list.Cell(i, 0);
        const std::wstring path = AppEnvironment.BackupDir + name;
        Trap(kModule, proc, [&] {
            SHELLEXECUTEINFOW info{sizeof info};
            info.fMask = SEE_MASK_FLAG_NO_UI;
            info.hwnd = hwnd();
            info.lpVerb = L"Edit";
            info.lpFile = path.c_str();
            info.nShow = SW_SHOWNORMAL;
            // No editor registered for the file type (as under Wine): Notepad opens it.
            if (!ShellExecuteExW(&info)) StartProgram(AppEnvironment.WinDir + L"notepad.exe \"" + path + L"\"");
            Info(proc, name + L" zum bearbeiten geöffnet");
            Service<clsAgent>().Speak(L"Die Datei " + clsAgent::Doubled(name) + L" wurde zum bearbeiten geöffnet.");
        });
        list.Select(i, false);
    }
    Info(proc, L"endet");
}

bool frmBackup::DeleteBackupFile(const std::wstring& name, const wchar_t* procedure) {
    const std::wstring path = AppEnvironment.BackupDir + name;
    Service<clsFiles>().FileDel(path);
    if (!FileThere(path)) return true;
    // FileDel has logged why; the user learns that the file is still there.
    const std::wstring text = L"Das Löschen der Sicherungsdatei " + name + L" ist fehlgeschlagen.";
    Info(procedure, text);
    Ask(text, MB_ICONINFORMATION | MB_OK);
    return false;
}

std::wstring frmBackup::WriteBackMessage(const std::wstring& name, const RestorePlan& plan,
                                        const std::vector<bool>& chosen, const RestoreResult& result, bool& complete) {
    size_t changing = 0, picked = 0;
    for (size_t i = 0; i < plan.rows.size(); ++i) {
        if (plan.rows[i].change == RestoreRow::Change::Same) continue;
        ++changing;
        if (i < chosen.size() && chosen[i]) ++picked;
    }
    complete = result.keptReasons.empty() && result.problem.empty() && result.written == picked &&
               (result.written == 0 || result.verified);
    std::wstring undoLine;
    if (!result.undoFile.empty())
        undoLine = L"Der vorherige Zustand steht in " + result.undoFile.substr(result.undoFile.find_last_of(L'\\') + 1) + L".";
    if (complete) {
        std::wstring text = L"Die Sicherungdatei " + name + L" wurde erfolgreich in die Registry eingetragen.";
        if (picked < changing) {
            const size_t left = changing - picked;
            text += left == 1 ? L"\r1 Zeile wurde nicht zurückgeschrieben (nicht ausgewählt)."
                              : L"\r" + std::to_wstring(left) + L" Zeilen wurden nicht zurückgeschrieben (nicht ausgewählt).";
        }
        return undoLine.empty() ? text : text + L"\r" + undoLine;
    }
    std::wstring text = L"Die Sicherungdatei " + name + L" konnte nicht in die Registry eingetragen.\r";
    std::vector<std::wstring> lines = result.keptReasons;
    if (!result.problem.empty() && std::find(lines.begin(), lines.end(), result.problem) == lines.end())
        lines.push_back(result.problem);
    const size_t shown = 10, longest = 150;
    for (size_t i = 0; i < lines.size() && i < shown; ++i) {
        // A key deep down would widen the box past the screen: its middle gives way, the reason at the end stays.
        const std::wstring& line = lines[i];
        text += L"\r" + (line.size() <= longest ? line : line.substr(0, 50) + L"\u2026" + line.substr(line.size() - (longest - 51)));
    }
    if (lines.size() > shown) text += L"\r\u2026";
    return undoLine.empty() ? text : text + L"\r\r" + undoLine;
}

bool frmBackup::WriteBackFile(const std::wstring& name, const wchar_t* proc) {
    const std::wstring failed = L"Die Sicherungdatei " + name + L" konnte nicht in die Registry eingetragen.";
    const RestorePlan plan = PlanRestore(AppEnvironment.BackupDir + name);
    if (!plan.readable) {
        // Nothing of a file that cannot be read wholly is written: a half-read file is no undo.
        HandleError(kModule, proc, failed + L" (" + plan.problem + L")", 0, L"",
                                           Style::Warning, false);
        Ask(failed + L"\r\r" + plan.problem, MB_ICONEXCLAMATION | MB_OK);
        return false;
    }
    std::vector<bool> chosen;
    frmRestorePreview preview;
    if (preview.Ask(GetAncestor(hwnd(), GA_ROOT), plan, name, chosen) == frmRestorePreview::Answer::Cancel) {
        Info(proc, name + L" wird nicht zurückgeschrieben");
        return false;
    }
    const RestoreResult r = WriteBack(plan, chosen);
    bool complete = false;
    const std::wstring message = WriteBackMessage(name, plan, chosen, r, complete);
    if (complete) {
        // The file goes only when the registry holds all of it again: it may be the only copy.
        bool whole = r.kept == 0;
        for (size_t i = 0; i < plan.rows.size(); ++i)
            whole = whole && (plan.rows[i].change == RestoreRow::Change::Same || chosen[i]);
        if (AppSwitches.AutoFileDelAfterReentry == 1 && whole) DeleteBackupFile(name, proc);
    } else {
        const std::wstring why = !r.keptReasons.empty() ? r.keptReasons.front() : r.problem;
        HandleError(kModule, proc, failed + L" (" + why + L")", 0, L"", Style::Warning, false);
        Ask(message, MB_ICONEXCLAMATION | MB_OK);
    }
    ReadBackupFiles();
    // The reasons stay in the message box; the assistant and the status bar say the outcome, the
    // protocol has it on one line.
    const std::wstring spoken = complete ? message : failed;
    Trap(kModule, proc, [&] { Service<clsAgent>().Speak(clsAgent::Doubled(spoken)); });
    Trap(kModule, proc, [&] {
        // The assistant may be off: the status bar says it too.
        Status(OneLine(spoken));
    });
    Info(proc, L"geschrieben=" + std::to_wstring(r.written) + L"; behalten=" + std::to_wstring(r.kept) + L"; " +
                   OneLine(message));
    return r.written > 0;
}

void frmBackup::cmdEintragen_Click() {
    const wchar_t* proc = L"cmdEintragen_Click";
    if (busy_) return;
    busy_ = true;
    Info(proc, L"started");
    // The names are taken first: the list is read again after each file.
    const std::vector<std::wstring> names = SelectedNames();
    if (names.empty()) ReportNoFile(proc);
    int writtenBack = 0;
    for (const std::wstring& name : names)
        Trap(kModule, proc, [&] {
            if (WriteBackFile(name, proc)) ++writtenBack;
        });
    busy_ = false;
    // A restart only makes sense when something was written back. It closes every window, this
    // one included, so nothing of the window is touched after it.
    if (AppSwitches.RebootAfterEntry == 1 && writtenBack > 0) {
        Info(proc, L"Reboot nach eintragen wird ausgeführt");
        Info(proc, L"endet");
        Trap(kModule, proc, [] { RebootAction()(); });
        return;
    }
    Info(proc, L"endet");
}

void frmBackup::cmdLoeschen_Click() {
    const wchar_t* proc = L"cmdLoeschen_Click";
    if (busy_) return;
    busy_ = true;
    Info(proc, L"started");
    ListView list(lvw_);
    if (list.SelectedCount() == 0) ReportNoFile(proc);
    for (int i = 0; i < list.Count(); ++i) {
        if (!list.Selected(i)) continue;
        const std::wstring name = list.Cell(i, 0);
        Trap(kModule, proc, [&] {
            const bool ask = AppSwitches.Recycler != 1 && AppSwitches.Loeschsicherheit == 0;
            if (ask && Ask(L"Sind Sie sicher, dass Sie die Datei " + name + L" löschen wollen?",
                           MB_ICONQUESTION | MB_YESNO) != IDYES)
                return;
            // A file that is still there keeps its row.
            if (!DeleteBackupFile(name, proc)) return;
            Info(proc, L"Datei " + name + L" wurde gelöscht");
            Trap(kModule, proc, [&] { Service<clsAgent>().Speak(L"Die Datei " + clsAgent::Doubled(name) + L" wurde gelöscht."); });
            list.DeleteRow(i);
            --i;
            Info(proc, L"Eintrag " + name + L" wurde aus der Liste entfernt");
        });
    }
    if (list.Count() > 0) list.Select(0, false);
    busy_ = false;
    Info(proc, L"endet");
}

bool frmBackup::OnMenuCommand(int id) {
    switch (id) {
    case IDM_mnuBackupZeigen: cmdAnzeigen_Click(); return true;
    case IDM_mnuBackupEinfuegen: cmdEintragen_Click(); return true;
    case IDM_mnuBackupLoeschen: cmdLoeschen_Click(); return true;
    default: return false;
    }
}

void frmBackup::lvwBackup_MouseUp() {
    Trap(kModule, L"lvwBackup_MouseUp", [&] {
        HMENU bar = MenuBar();
        const bool plural = List().SelectedCount() >= 2;
        MenuItem::SetCaption(bar, IDM_mnuBackupZeigen,
                             plural ? L"markierte Einträge anzeigen/bearbeiten" : L"markierten Eintrag anzeigen/bearbeiten");
        MenuItem::SetCaption(bar, IDM_mnuBackupEinfuegen,
                             plural ? L"markierte Einträge in Registry einfügen" : L"markierten Eintrag in Registry einfügen");
        MenuItem::SetCaption(bar, IDM_mnuBackupLoeschen,
                             plural ? L"markierte Einträge löschen" : L"markierten Eintrag löschen");
        ShowEditPopup(IDM_mnuBackupZeigen);
    });
}

void frmBackup::OnListKey(WORD key) {
    switch (key) {
    case VK_F4: SortBy(0); break;
    case VK_F5: ReadBackupFiles(); break;
    case VK_F6: SortBy(1); break;
    case VK_F7: SortBy(2); break;
    case VK_F8: cmdEintragen_Click(); break;
    case VK_DELETE: case VK_CLEAR: cmdLoeschen_Click(); break;
    case VK_RETURN: case VK_EXECUTE: cmdAnzeigen_Click(); break;
    default: break;
    }
}

void frmBackup::OnCommand(int id, int code, HWND control) {
    switch (id) {
    case IDC_cmdAnzeigen: cmdAnzeigen_Click(); break;
    case IDC_cmdEintragen: cmdEintragen_Click(); break;
    case IDC_cmdLoeschen: cmdLoeschen_Click(); break;
    default: break;
    }
}
