// app/programs/frmInstalledPrograms.cpp
#include "programs/frmInstalledPrograms.h"
#include "assistant/clsAgent.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/DoEvents.h"
#include "core/Trap.h"
#include "core/modWaitForProcess.h"
#include "core/win/Menu.h"
#include "programs/frmInstalledPrograms.rh"
#include "registry/clsKeyFunc.h"
#include "registry/clsSearch.h"
#include "journal/ChangeJournal.h"

namespace {
const wchar_t* kModule = L"frmInstalledPrograms";

// Which edges each control follows when the window is resized.
constexpr Anchor kLayout[] = {
    {IDC_fraDeinstall, kSizeX | kSizeY},
    {IDC_lvwDeinstall, kSizeX | kSizeY},
    {IDC_cmdDeinstall, kMoveX | kMoveY},
    {IDC_cmdDeinstallRefresh, kMoveX | kMoveY},
};
}  // namespace

std::function<bool(const std::wstring&)>& frmInstalledPrograms::RunAction() {
    static std::function<bool(const std::wstring&)> action = [](const std::wstring& commandLine) {
        return ShelledApp(commandLine);
    };
    return action;
}

frmInstalledPrograms::~frmInstalledPrograms() {
    // The list shares the image list: it is ours to destroy.
    if (imlInstall_) ImageList_Destroy(imlInstall_);
}

bool frmInstalledPrograms::OnInit() {
    UseLayout({kLayout});
    Trap(kModule, L"Form_Load", [&] {
        lvw_ = Item(IDC_lvwDeinstall);
        UsePathCells(lvw_, {1, 3});  // the uninstall command, the key
        UseRecordList(lvw_);
        ListView list(lvw_);
        list.SetFullRowSelect();
        list.AddColumns({{L"Programmbezeichnung", 260}, {L"Deinstallationsaufruf", 320}, {L"HKey", 90},
                        {L"SubKey", 380}});
        // imlInstall: the shell's picture of a program, the program icon where it has none.
        imlInstall_ = ShellIconList(L".exe", FILE_ATTRIBUTE_NORMAL, true);
    });
    MenuBottomLine1 = MenuBottomLineSite::Create(hwnd(), kModule);
    Trap(kModule, L"Form_Load", [] {
        Service<clsAgent>().Play(L"Read");
        Service<clsAgent>().Speak(L"Programme vom Computer bequem deinstallieren.");
    });
    return true;
}

void frmInstalledPrograms::Form_Activate() {
    Trap(kModule, L"Form_Activate", [&] {
        Maximize();
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    });
    Trap(kModule, L"Form_Activate", [&] { ShowDeinstall(); });
    // The keys of the list (F5, Enter, Delete) work at once.
    if (lvw_) SetFocus(lvw_);
}

void frmInstalledPrograms::EnableDeinstall(bool on) {
    Item(IDC_cmdDeinstall).Enable(on);
    if (HMENU bar = MenuBar()) MenuItem::Enable(bar, IDM_mnuInstalledProgramsDel, on);
}

void frmInstalledPrograms::ShowDeinstall() {
    const wchar_t* proc = L"ShowDeinstall";
    // The registry walk pumps messages: a second request meanwhile would fill the list twice.
    if (reading_) return;
    reading_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{reading_};
    Info(proc, L"started");
    ListView list(lvw_);
    list.Clear();
    programs_.clear();
    Info(proc, L"Liste geleert");
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    Status(L"Daten werden eingelesen...");
    DoEvents();
    clsSearch& search = Service<clsSearch>();
    search.StopSearch = false;
    size_t hits = 0;
    std::vector<InstalledProgram> all = ReadInstalledPrograms(search, &hits);
    Status(L"Einen Moment bitte...");
    DoEvents();
    Info(proc, std::to_wstring(hits) + L" Einträge zu installierten Programmen gefunden");
    Info(proc, L"Einträge sortiert");
    for (InstalledProgram& p : all)
        if (p.Shown()) programs_.push_back(std::move(p));
    // The window may have gone while the walk let messages through.
    if (!IsWindow(lvw_)) return;
    if (programs_.empty()) {
        ListView_SetImageList(lvw_, nullptr, LVSIL_SMALL);
        ListView_SetImageList(lvw_, nullptr, LVSIL_NORMAL);
        EnableDeinstall(false);
        list.AddRow({kNothingFound}, -1);
    } else {
        ListView_SetImageList(lvw_, imlInstall_, LVSIL_SMALL);
        ListView_SetImageList(lvw_, imlInstall_, LVSIL_NORMAL);
        EnableDeinstall(true);
        for (size_t i = 0; i < programs_.size(); ++i) {
            const InstalledProgram& p = programs_[i];
            const int row = list.AddRow({p.displayName, p.uninstallString, std::to_wstring(p.root), p.KeyText()},
                                        static_cast<LPARAM>(i));
            LVITEMW it{};
            it.mask = LVIF_IMAGE;
            it.iItem = row;
            it.iImage = 0;
            ListView_SetItem(lvw_, &it);
        }
    }
    if (list.Count() > 0) {
        list.FitColumns({0, 1, 2, 3}, 45);
        list.ShareOut({1, 3});  // the paths give way; a name cut short would lose its end
    }
    if (list.Count() > 0) list.Select(0, true);
    Status(L"Status");
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    Info(proc, L"endet");
}

const InstalledProgram* frmInstalledPrograms::Program(int row) const {
    if (row < 0 || row >= List().Count()) return nullptr;
    const LPARAM index = List().Data(row);
    if (index < 0 || static_cast<size_t>(index) >= programs_.size()) return nullptr;
    return &programs_[static_cast<size_t>(index)];
}

void frmInstalledPrograms::cmdDeinstall_Click() {
    const wchar_t* proc = L"cmdDeinstall_Click";
    if (busy_) return;
    busy_ = true;
    Info(proc, L"started");
    // Taken first: the list is read again after each program.
    std::vector<InstalledProgram> chosen;
    ListView list(lvw_);
    for (int i = 0; i < list.Count(); ++i)
        if (list.Selected(i))
            if (const InstalledProgram* p = Program(i)) chosen.push_back(*p);
    if (chosen.empty()) Info(proc, L"Es wurde keine Datei gewählt.");
    ChangeJournal undo(L"Programme", kModule, proc);  // one undo file for every entry this command removes
    for (const InstalledProgram& p : chosen) {
        if (p.displayName.find(AppEnvironment.AppTitle) != std::wstring::npos) {
            Ask(L"Der " + AppEnvironment.AppTitle + L" kann nur über die Windows Systemsteuerung deinstalliert werden.",
                MB_ICONINFORMATION | MB_OK);
            break;
        }
        if (Ask(L"Wollen Sie das Programm " + p.displayName + L" wirklich deinstallieren?", MB_ICONQUESTION | MB_YESNO) != IDYES)
            continue;
        Trap(kModule, proc, [&] { Uninstall(p, undo); });
        Info(proc, p.displayName + L" soll deinstalliert werden");
    }
    busy_ = false;
    Info(proc, L"endet");
}

void frmInstalledPrograms::Uninstall(const InstalledProgram& p, ChangeJournal& undo) {
    const UninstallCall call = PlanUninstall(p);
    if (call.kind == UninstallCall::Kind::None) {
        // Nothing is run for an entry without a command; it is no left-over either.
        Ask(L"Für das Programm " + p.displayName + L" ist kein Deinstallationsaufruf eingetragen.",
            MB_ICONINFORMATION | MB_OK);
        return;
    }
    if (call.missing) {
        OfferRemoval(p, undo);
        return;
    }
    bool ended = false;
    try {
        ended = RunAction()(call.commandLine);
    } catch (...) {
        // A start that failed makes an entry left over only when its file is really gone.
        const RuntimeError e = CurrentError();
        if ((e.number == Err::FileNotFound || e.number == Err::PathNotFound) && PlanUninstall(p).missing) {
            OfferRemoval(p, undo);
            return;
        }
        throw;
    }
    if (ended) ShowDeinstall();
}

void frmInstalledPrograms::OfferRemoval(const InstalledProgram& p, ChangeJournal& undo) {
    const wchar_t* proc = L"cmdDeinstall_Click";
    if (Ask(L"Das Programm kann nicht deinstalliert werden, da das Deinstallationsprogramm fehlt.\r"
            L"Soll der Eintrag jetzt entfernt werden?",
            MB_ICONQUESTION | MB_YESNO) != IDYES)
        return;
    Info(proc, L"Das Programm " + p.displayName + L" kann nicht deinstalliert werden.");
    // The entry is saved whole before it goes; without the undo file nothing is deleted.
    const JournalResult result = undo.Apply({RegChange::DeleteTree(p.root, p.key)});
    if (result.undoProblem != JournalResult::UndoProblem::None) {
        Ask(L"Der Eintrag konnte nicht gesichert werden und wurde nicht entfernt.\r" + result.undoError.description,
            MB_ICONEXCLAMATION | MB_OK);
        return;
    }
    if (!result.items[0].done) Ask(L"Der Eintrag konnte nicht vollständig entfernt werden.", MB_ICONEXCLAMATION | MB_OK);
    ShowDeinstall();
}

void frmInstalledPrograms::lvwDeinstall_DblClick() {
    if (List().Count() > 0 && List().Cell(0, 0) == kNothingFound && !Program(0)) return;
    cmdDeinstall_Click();
}

bool frmInstalledPrograms::OnMenuCommand(int id) {
    switch (id) {
    case IDM_mnuInstalledProgramsDel: cmdDeinstall_Click(); return true;
    case IDM_mnuInstalledProgramsAkual: Trap(kModule, L"mnuInstalledProgramsAkual_Click", [&] { ShowDeinstall(); }); return true;
    default: return false;
    }
}

void frmInstalledPrograms::lvwDeinstall_MouseUp(bool rightButton) {
    Trap(kModule, L"lvwDeinstall_MouseUp", [&] {
        HMENU bar = MenuBar();
        MenuItem::SetCaption(bar, IDM_mnuInstalledProgramsDel,
                             List().SelectedCount() >= 2 ? L"markierte Programme &deinstallieren"
                                                         : L"markiertes Programm &deinstallieren");
        MenuItem::SetCaption(bar, IDM_mnuInstalledProgramsAkual, L"&Ansicht aktualisieren");
        if (rightButton) ShowEditPopup(IDM_mnuInstalledProgramsDel);
    });
}

void frmInstalledPrograms::OnListKey(WORD key) {
    switch (key) {
    case VK_F4: SortBy(0); break;
    case VK_F5: Trap(kModule, L"lvwDeinstall_KeyDown", [&] { ShowDeinstall(); }); break;
    case VK_DELETE: case VK_CLEAR: case VK_RETURN: lvwDeinstall_DblClick(); break;
    default: break;
    }
}

void frmInstalledPrograms::OnCommand(int id, int code, HWND control) {
    switch (id) {
    case IDC_cmdDeinstall: cmdDeinstall_Click(); break;
    case IDC_cmdDeinstallRefresh: Trap(kModule, L"cmdDeinstallRefresh_Click", [&] { ShowDeinstall(); }); break;
    default: break;
    }
}
