// app/extras/DefragPage.cpp
#include "extras/DefragPage.h"
#include "core/AppEnvironment.h"
#include "core/Trap.h"
#include "core/modCheckOS.h"
#include "extras/DefragPage.rh"
#include "extras/ExtrasMenu.h"
#include "extras/RegistryCompaction.h"
#include "extras/frmExtraScan.rh"

namespace {
const wchar_t* kModule = L"frmExtraScan";
const wchar_t* kProc = L"cmdRegistryDefrag_Click";
void Info(const wchar_t* procedure, const std::wstring& message) { Trace(kModule, procedure, message); }
// Which edges each control follows when the window is resized.
constexpr Anchor kLayout[] = {
    {IDC_lblRegistryDefragInfo1, kSizeX},
    {IDC_lblRegistryDefragInfo2, kSizeX},
    {IDC_lblRegistryDefragStarted, kSizeX},
    {IDC_lblRegistryDefragResult, kSizeX},
    {IDC_fraRegistryFiles, kSizeX | kSizeY},
    {IDC_lvwRegistryFiles, kSizeX | kSizeY},
};
}  // namespace

int DefragPage::TemplateId() const { return IDD_extrasDefrag; }
int DefragPage::IDC_lvwFiles() { return IDC_lvwRegistryFiles; }

bool DefragPage::OnInit() {
    UseLayout({kLayout});
    Trap(kModule, L"Form_Load", [&] {
        ListView list = Files();
        list.SetFullRowSelect();
        list.AddColumns({{L"Registrierungsdatei", 200}, {L"Größe", 80}, {L"defragmentiert", 100}, {L"Datei", 330}});
        CheckRadioButton(hwnd(), IDC_optRegistryDefragNever, IDC_optRegistryDefragNext, IDC_optRegistryDefragNever);
        Item(IDC_lblRegistryDefragStarted).Show(false);
    });
    return true;
}

bool DefragPage::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lp) == Item(IDC_lblRegistryDefragStarted).hwnd()) {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, RGB(0, 0, 160));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        return true;
    }
    return false;
}

void DefragPage::PageActivate() {
    // Neither the autostart nor the file-type commands belong to this page.
    Trap(kModule, L"TabExtras", [] { SetExtraScanMenus(false, false); });
    ShowState();
}

void DefragPage::Choose(const std::wstring& mode) {
    const int id = mode == L"-e" ? IDC_optRegistryDefragEvery : mode == L"-o" ? IDC_optRegistryDefragNext
                                                                               : IDC_optRegistryDefragNever;
    CheckRadioButton(hwnd(), IDC_optRegistryDefragNever, IDC_optRegistryDefragNext, id);
}

std::wstring DefragPage::ChosenMode() const {
    if (IsDlgButtonChecked(hwnd(), IDC_optRegistryDefragEvery) == BST_CHECKED) return L"-e";
    if (IsDlgButtonChecked(hwnd(), IDC_optRegistryDefragNext) == BST_CHECKED) return L"-o";
    return L"-n";
}

bool DefragPage::StartedVisible() const { return Item(IDC_lblRegistryDefragStarted).Visible(); }
std::wstring DefragPage::ResultText() const { return Item(IDC_lblRegistryDefragResult).Text(); }

void DefragPage::Measure() {
    // Each hive is copied once to be measured: that takes a moment on a large registry.
    HCURSOR before = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    sizes_ = RegistryCompaction::Sizes(measureFault_);
    SetCursor(before);
    measured_ = true;
}

void DefragPage::ShowState() {
    Trap(kModule, L"DfrgType", [&] {
        Choose(RegistryCompaction::DfrgType());
        Item(IDC_lblRegistryDefragStarted).Show(RegistryCompaction::Pending());
    });
    Trap(kModule, L"DfrgType", [&] {
        if (!measured_) Measure();
        ListView list = Files();
        list.Clear();
        for (const RegistryCompaction::HiveSize& s : sizes_)
            list.AddRow({s.hive.label, RegistryCompaction::SizeText(s.now), RegistryCompaction::SizeText(s.compact),
                         s.hive.file.empty() ? L"(vom System nicht genannt)" : s.hive.file});
    });
    Trap(kModule, L"DfrgType", [&] {
        std::wstring text;
        auto add = [&](const std::wstring& part) {
            if (!part.empty()) text += (text.empty() ? L"" : L"\r\n\r\n") + part;
        };
        const std::wstring pending = RegistryCompaction::RestartPending();
        add(pending);
        if (pending.empty() && RegistryCompaction::DfrgType() == L"-e")
            add(RegistryCompaction::FastStartup()
                    ? L"Der Windows-Schnellstart ist eingeschaltet: Beim Herunterfahren bewahrt Windows die laufende "
                      L"Registry für den nächsten Start auf. Defragmentiert wird deshalb nur bei einem Neustart, den Sie "
                      L"hier bestätigen."
                    : L"Die Registry wird bei jedem Neustart und jedem Herunterfahren defragmentiert, solange Torvane "
                      L"läuft.");
        add(measureFault_);
        add(RegistryCompaction::LastReport());
        Item(IDC_lblRegistryDefragResult).SetText(text);
    });
}

int DefragPage::Ask(const std::wstring& text, UINT icon) {
    return MessageBoxW(GetAncestor(hwnd(), GA_ROOT), text.c_str(), AppEnvironment.AppTitle.c_str(), icon);
}

void DefragPage::cmdRegistryDefrag_Click() {
    if (busy_) return;
    busy_ = true;
    Info(kProc, AppEnvironment.OSName + L" wird defragmentiert");
    const std::wstring mode = ChosenMode();
    Info(kProc, L"Defrag-Modus: " + mode);
    bool restart = false;
    Trap(kModule, kProc, [&] {
        // The start-up batch file of Windows 9x is never touched on an NT system.
        if (QueryOSVersion().platformId != 2) {
            Ask(L"Die Defragmentierung der Registry wird auf diesem System nicht unterstützt.", MB_ICONEXCLAMATION | MB_OK);
            return;
        }
        if (mode == L"-n") {
            RegistryCompaction::SetMode(L"-n");
            return;
        }
        // Measured again: rights, space and the registry may have changed since the page was shown.
        Measure();
        if (const std::wstring refusal = RegistryCompaction::Check(sizes_, measureFault_); !refusal.empty()) {
            Info(kProc, L"Vorbereitung zum Defragmentieren fehlerhaft");
            Ask(refusal, MB_ICONEXCLAMATION | MB_OK);
            return;
        }
        const bool now = IsDlgButtonChecked(hwnd(), IDC_ckbRegistryDefragAutoStart) == BST_CHECKED ||
                  Ask(std::wstring(L"Zum Defragmentieren der Registry ist ein") + L" Neustart notwendig." + L"\r\n" +
                          L"Sollte der Rechner nicht neu booten, drücken Sie die Reset-Taste" + L"\r\n" +
                          L"oder die Tastenkombination Alt + Strg + Entf." + L"\r\n" + L"\r\n" +
                          L"Wollen Sie den Rechner jetzt neu starten?",
                      MB_ICONQUESTION | MB_YESNO) == IDYES;
        // Once means with this restart: without it nothing is prepared.
        if (!now && mode == L"-o") {
            Ask(L"Die Registry wird nur zusammen mit einem Neustart defragmentiert, den Sie bestätigen.\r\n"
                L"Es wurde nichts vorbereitet.",
                MB_ICONINFORMATION | MB_OK);
            return;
        }
        RegistryCompaction::SetMode(mode);
        Info(kProc, L"Vorbereitung zum Defragmentieren ist abgeschlossen");
        restart = now;
    });
    ShowState();
    busy_ = false;
    if (restart)
        Trap(kModule, kProc, [&] {
            if (!RegistryCompaction::Restart()) {
                ShowState();
                Ask(std::wstring(L"Windows hat den Neustart abgelehnt.") + (mode == L"-o" ? L" Es wurde nichts vorbereitet." : L""),
                    MB_ICONEXCLAMATION | MB_OK);
            }
        });
}

bool DefragPage::OnMenuCommand(int id) {
    if (id != IDM_mnuExtraScanRegistryDefrag) return false;
    cmdRegistryDefrag_Click();
    return true;
}

void DefragPage::OnCommand(int id, int code, HWND control) {
    if (id == IDC_cmdRegistryDefrag) cmdRegistryDefrag_Click();
}
