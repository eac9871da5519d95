// app/extras/frmAutorunNew.cpp
#include "extras/frmAutorunNew.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/CommandLine.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/win/MainFrame.h"
#include "core/win/ToolTips.h"
#include "extras/frmAutorunNew.rh"
#include "registry/clsKeyFunc.h"
#include "journal/ChangeJournal.h"
#include <commdlg.h>
#include <cstring>

namespace {
const wchar_t kModule[] = L"frmAutorunNew";

void ReplaceAll(std::wstring& s, const std::wstring& what, const std::wstring& with) {
    for (size_t p = 0; (p = s.find(what, p)) != std::wstring::npos; p += with.size()) s.replace(p, what.size(), with);
}

}  // namespace

void frmAutorunNew::Load() {
    HWND owner = AppFrame() ? AppFrame()->Window() : nullptr;
    CreateModeless(owner, IDD_frmAutorunNew);
}

bool frmAutorunNew::OnInit() {
    Trap(kModule, L"Form_Load", [&] {
        AddToolTip(hwnd(), IDC_txtProgName, L"z.B. Name des Programms");
        AddToolTip(hwnd(), IDC_txtProgPfad, L"Pfad, wo die Datei zu finden ist.");
        AddToolTip(hwnd(), IDC_cmdPfadOpen, L"Das Programm wählen.");
        AddToolTip(hwnd(), IDC_txtProgParameter,
                   L"Zusätzliche Parameter, mit dem das Programm gestartet werden soll. (Programm muss diesen "
                   L"Parameter unterstützen)");
        AddToolTip(hwnd(), IDC_optCurrentUser, L"Das Programm wird nur beim angemeldeten  Benutzer gestartet.");
        AddToolTip(hwnd(), IDC_optAllUser, L"Das Programm wird bei allen Benutzern gestartet.");
        AddToolTip(hwnd(), IDC_cmdOK, L"Das Programm in den Autostart übernehmen.");
        AddToolTip(hwnd(), IDC_cmdAutorunAbbrechen, L"Einstellungen verwerfen und beenden.");
        Reset();
    });
    return true;
}

void frmAutorunNew::Reset() {
    original_.reset();
    for (int id : {IDC_txtProgName, IDC_txtProgPfad, IDC_txtProgParameter}) Item(id).SetText(L"");
    CheckDlgButton(hwnd(), IDC_ckbPermanent, BST_CHECKED);
    CheckDlgButton(hwnd(), IDC_ckbOnlyNextStart, BST_UNCHECKED);
    CheckRadioButton(hwnd(), IDC_optCurrentUser, IDC_optAllUser, IDC_optCurrentUser);
    if (Autorun::OnlyGlobal()) {
        CheckRadioButton(hwnd(), IDC_optCurrentUser, IDC_optAllUser, IDC_optAllUser);
        Item(IDC_optCurrentUser).Enable(false);
    }
    UpdateOK();
}

void frmAutorunNew::ShowNew(std::function<void()> saved) {
    Reset();
    saved_ = std::move(saved);
    SetWindowTextW(hwnd(), L"Autostart-Eintrag hinzufügen");
    ShowWindow(hwnd(), SW_SHOW);
    SetForegroundWindow(hwnd());
    SetFocus(Item(IDC_txtProgName));
}

void frmAutorunNew::ShowEdit(const AutorunEntry& entry, const std::wstring& path, const std::wstring& parameters,
                             std::function<void()> saved) {
    const wchar_t* proc = L"cmdAutorunChange_Click";
    Reset();
    saved_ = std::move(saved);
    original_ = entry;
    Trap(kModule, proc, [&] {
        SetWindowTextW(hwnd(), L"Autostart-Eintrag bearbeiten");
        Item(IDC_txtProgName).SetText(entry.name);
        Item(IDC_txtProgPfad).SetText(path);
        Item(IDC_txtProgParameter).SetText(parameters);
        CheckRadioButton(hwnd(), IDC_optCurrentUser, IDC_optAllUser,
                         entry.root == kHKLM ? IDC_optAllUser : IDC_optCurrentUser);
        CheckDlgButton(hwnd(), IDC_ckbPermanent, entry.permanent ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(hwnd(), IDC_ckbOnlyNextStart, entry.permanent ? BST_UNCHECKED : BST_CHECKED);
        UpdateOK();
        ShowWindow(hwnd(), SW_SHOW);
        SetForegroundWindow(hwnd());
        SetFocus(Item(IDC_txtProgName));
    });
}

void frmAutorunNew::Hide() {
    ShowWindow(hwnd(), SW_HIDE);
    original_.reset();
}

void frmAutorunNew::UpdateOK() {
    Item(IDC_cmdOK).Enable(!Item(IDC_txtProgName).Text().empty() && !Item(IDC_txtProgPfad).Text().empty());
}

int frmAutorunNew::Message(const std::wstring& text, UINT icon) {
    return MessageBoxW(hwnd(), text.c_str(), AppEnvironment.AppTitle.c_str(), icon | MB_OK);
}

void frmAutorunNew::cmdPfadOpen_Click() {
    Trap(kModule, L"cmdPfadOpen_Click", [&] {
        wchar_t file[MAX_PATH * 4] = L"";
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = hwnd();
        ofn.lpstrFilter = L"Programme (*.exe;*.com;*.bat;*.cmd)\0*.exe;*.com;*.bat;*.cmd\0Alle Dateien (*.*)\0*.*\0";
        ofn.lpstrFile = file;
        ofn.nMaxFile = MAX_PATH * 4;
        ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
        if (GetOpenFileNameW(&ofn) && file[0]) {
            // A path with blanks is quoted, so Windows starts this program and no other.
            const std::wstring chosen = file;
            Item(IDC_txtProgPfad).SetText(chosen.find(L' ') != std::wstring::npos ? L"\"" + chosen + L"\"" : chosen);
        }
    });
}

bool frmAutorunNew::cmdOK_Click() {
    const wchar_t* proc = L"cmdOK_Click";
    const AppEnvironmentRecord& env = AppEnvironment;
    const std::wstring name = Item(IDC_txtProgName).Text();
    if (name.empty() || name == L" ") {
        Message(L"Sie müssen der Programmbezeichnung einen Namen geben.", MB_ICONINFORMATION);
        SetFocus(Item(IDC_txtProgName));
        return false;
    }
    const std::wstring pathText = Item(IDC_txtProgPfad).Text();
    std::wstring check = ToLower(pathText);
    ReplaceAll(check, L"%systemroot%\\", env.WinDir);
    ReplaceAll(check, L"%systemroot%", env.WinDir);
    check = ToLower(check);
    ReplaceAll(check, L"%programmfiles%\\", env.ProgramFilesDir);
    ReplaceAll(check, L"%programmfiles%", env.ProgramFilesDir);
    check = ToLower(check);
    ReplaceAll(check, L"%windir%\\", env.WinDir);
    ReplaceAll(check, L"%windir%", env.WinDir);
    if (check.empty() || check == L" ") {
        Message(L"Geben Sie den Pfad zu dem Programm an.", MB_ICONINFORMATION);
        SetFocus(Item(IDC_txtProgPfad));
        return false;
    }
    // The program as Windows will read it from the command line (other placeholders expanded).
    check = SplitCommandLine(ExpandedEnvironment(check), IsFile).program;
    const bool found = IsFile(check) || (!check.empty() && check[0] != L'\\' && check.find(L':') == std::wstring::npos &&
                                         (IsFile(env.WinDir + check) || IsFile(env.SysDir + check) ||
                                          IsFile(L"c:\\" + check)));
    if (!found) {
        Message(L"Der Pfad " + check + L" ist ungültig.", MB_ICONQUESTION);
        SetFocus(Item(IDC_txtProgPfad));
        return false;
    }
    const bool permanent = IsDlgButtonChecked(hwnd(), IDC_ckbPermanent) == BST_CHECKED;
    const bool global = IsDlgButtonChecked(hwnd(), IDC_optAllUser) == BST_CHECKED;
    const RootKey root = global ? kHKLM : kHKCU;
    // A changed entry of the 32-bit view stays in that view.
    const bool wow64 = global && original_ && original_->root == kHKLM && original_->Wow64();
    const std::wstring key = Autorun::KeyPath(permanent, wow64);
    const std::wstring parameters = Item(IDC_txtProgParameter).Text();
    std::wstring data = pathText;
    if (!parameters.empty()) data += parameters[0] == L' ' ? parameters : L" " + parameters;
    // An unquoted program path with blanks is quoted, so Windows starts this program and no other
    // ("C:\Program Files\..." would first try "C:\Program.exe").
    if (pathText.find(L'"') == std::wstring::npos && pathText.find_first_of(L" \t") != std::wstring::npos &&
        IsFile(ExpandedEnvironment(pathText)))
        data = JoinCommandLine(pathText, parameters);
    // The value keeps its type; a new one with placeholders is expandable, so "%windir%" works.
    const DWORD type = original_ && (original_->type == REG_EXPAND_SZ || original_->type == REG_SZ)
                           ? original_->type
                           : (data.find(L'%') != std::wstring::npos ? REG_EXPAND_SZ : REG_SZ);
    const bool moved = original_ && (original_->root != root || ToLower(original_->key) != ToLower(key) ||
                                     ToLower(original_->name) != ToLower(name));

    // The new value first; a moved entry's old value and its on/off state go after it, so no
    // duplicate stays behind. Everything is saved in the undo file before it changes.
    std::vector<RegChange> changes{RegChange::SetText(root, key, name, data, type)};
    if (moved) {
        changes.push_back(RegChange::DeleteValue(original_->root, original_->key, original_->name));
        const std::wstring oldApproved = Autorun::ApprovedKey(*original_);
        RegValue state;
        if (!oldApproved.empty() && Service<clsKeyFunc>().ReadValueRaw(original_->root, oldApproved, original_->name, state))
            changes.push_back(RegChange::DeleteValue(original_->root, oldApproved, original_->name));
    }
    ChangeJournal journal(L"AutoRun", kModule, proc);
    // The old entry goes only once the new one is written.
    const JournalResult written = journal.Apply({changes.front()});
    if (written.undoProblem != JournalResult::UndoProblem::None) {
        Message(L"Die Sicherungsdatei " + journal.UndoPath() + L" konnte nicht angelegt werden:\r\n" +
                    written.undoError.description + L"\r\n\r\nDer Autostart wurde nicht geändert.",
                MB_ICONEXCLAMATION);
        return false;
    }
    const bool ok = written.items[0].done;
    const std::wstring option = global ? L"für alle Benutzer (global)" : L"für diesen Benutzer";
    Trace(kModule, proc, L"Autorun " + option + L": " + name + L"=" + pathText + L" Rückgabewert=" + (ok ? L"1" : L"0"));
    if (!ok) {
        // Refused (the machine's entries need administrator rights): the dialog stays open.
        Message(L"Das Programm " + name + L" konnte nicht in den Autostart hinzugefügt werden." +
                    (global ? L"\r\n\r\nFür globale Einträge sind Administratorrechte nötig." : L""),
                MB_ICONEXCLAMATION);
        return false;
    }
    if (moved) {
        changes.erase(changes.begin());
        const JournalResult removed = journal.Apply(changes);
        if (!removed.items[0].done)
            Message(L"Der bisherige Eintrag " + original_->name + L" konnte nicht entfernt werden.", MB_ICONEXCLAMATION);
    }
    std::function<void()> saved = saved_;
    Hide();
    if (saved) saved();
    return true;
}

void frmAutorunNew::OnCommand(int id, int code, HWND control) {
    switch (id) {
    case IDC_txtProgName:
    case IDC_txtProgPfad:
        if (code == EN_CHANGE) UpdateOK();
        break;
    case IDC_ckbPermanent:
    case IDC_ckbOnlyNextStart:
        if (code == BN_CLICKED) {
            // The two boxes always hold opposite values.
            const bool on = IsDlgButtonChecked(hwnd(), id) == BST_CHECKED;
            CheckDlgButton(hwnd(), id == IDC_ckbPermanent ? IDC_ckbOnlyNextStart : IDC_ckbPermanent,
                           on ? BST_UNCHECKED : BST_CHECKED);
        }
        break;
    case IDC_cmdPfadOpen: cmdPfadOpen_Click(); break;
    case IDC_cmdOK:
    case IDOK:
        if (Item(IDC_cmdOK).Enabled()) Trap(kModule, L"cmdOK_Click", [&] { cmdOK_Click(); });
        break;
    case IDC_cmdAutorunAbbrechen:
    case IDCANCEL: Hide(); break;
    default: break;
    }
}
