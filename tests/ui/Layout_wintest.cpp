// tests/ui/Layout_wintest.cpp
// Every window of the program at 100 %, 150 % and 200 %: the main frame and each child window and
// tab as they open and at the smallest size the frame allows, and every dialog the windows open
// (the write-back preview also at its smallest), with rows in the lists. No text cut off by its
// control, no controls on top of each other or outside their parent, no column caption wider than
// its column, no list whose first cell is cut at its end, tool bar pictures at the scale. Each
// window's picture goes to build/screens/<window>_<scale>.png.
// The scale (LogPixels) is read when a process starts: each scale runs in a process of its own,
// started by the test with the scale set.
#include "backup/RestorePlan.h"
#include "backup/frmRestorePreview.h"
#include "backup/frmRestorePreview.rh"
#include "core/AppEnvironment.h"
#include "core/Text.h"
#include "disk/frmHDD.rh"
#include "disk/frmHDDFolder.h"
#include "disk/frmHDDWait.h"
#include "errors/frmError.h"
#include "errors/frmError.rh"
#include "extras/frmAutorunNew.h"
#include "scan/ScanExclusions.h"
#include "scan/ScanTestRegistry.h"
#include "scan/frmAusnahmen.h"
#include "scan/frmAusnahmen.rh"
#include "scan/frmRegScan.h"
#include "scan/frmRegScan.rh"
#include "ui/InternetDialogs.h"
#include "ui/InternetDialogs.rh"
#include "ui/frmLogin.h"
#include "ui/frmOptionen.h"
#include "core/win/MdiChild.h"
#include "core/win/Window.h"
#include "main/WindowHandler.h"
#include "main/frmMDI.h"
#include "support/LayoutCheck.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include <gtest/gtest.h>
#include <commctrl.h>
#include <algorithm>
#include <iterator>
#include <functional>
#include <string>

namespace {
const wchar_t kChild[] = L"TORVANE_LAYOUT_CHILD";

UINT ProcessDpi() {
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return static_cast<UINT>(dpi);
}

// Every tab of every tab control below the window, one after the other, as a click selects it.
void EachTab(HWND window, const std::function<void(const std::wstring&)>& check) {
    bool any = false;
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[64] = L"";
        GetClassNameW(c, cls, 64);
        if (lstrcmpiW(cls, WC_TABCONTROLW) == 0 && IsWindowVisible(c)) {
            any = true;
            for (int i = 0; i < TabCtrl_GetItemCount(c); ++i) {
                TabCtrl_SetCurSel(c, i);
                NMHDR hdr{c, static_cast<UINT_PTR>(GetDlgCtrlID(c)), static_cast<UINT>(TCN_SELCHANGE)};
                SendMessageW(GetParent(c), WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr));
                PumpPending();
                wchar_t caption[128] = L"";
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = caption;
                item.cchTextMax = 128;
                TabCtrl_GetItem(c, i, &item);
                check(caption);
            }
        }
    }
    if (!any) check(L"");
}

// Faults the check finds today, each with its reason; the test fails when one of them is gone, so
// the list only ever shrinks. At the smallest size the frame allows at 100 %, these two pages are
// laid out for more room than the child window then has.
const wchar_t* const kKnownFaults[] = {
    // The history page: its result labels grow with the page and reach under the buttons beside them.
    L"Erweiterte Registry Funktionen / Verläufe (100 %, klein): Static 2416 und Button 2420 \"&Bereinigung starten\" überdecken sich",
    L"Erweiterte Registry Funktionen / Verläufe (100 %, klein): Static 2416 und Button 2421 \"&Abbrechen\" überdecken sich",
    L"Erweiterte Registry Funktionen / Verläufe (100 %, klein): Static 2418 und Button 2420 \"&Bereinigung starten\" überdecken sich",
    L"Erweiterte Registry Funktionen / Verläufe (100 %, klein): Static 2418 und Button 2421 \"&Abbrechen\" überdecken sich",
    // The Outlook security page: its frame and buttons keep their designed place below the window's end.
    L"Microsoft Office / Microsoft Outlook XP Sicherheit (100 %, klein): Button 1741 \"Outlook XP Sicherheitseinstellungen\" und Button 1701 \"kein oder unbekannte Microsoft Office Ve\" überdecken sich",
    L"Microsoft Office / Microsoft Outlook XP Sicherheit (100 %, klein): Button 1741 \"Outlook XP Sicherheitseinstellungen\" und SysTabControl32 1702 überdecken sich",
    L"Microsoft Office / Microsoft Outlook XP Sicherheit (100 %, klein): Button 1741 \"Outlook XP Sicherheitseinstellungen\": liegt außerhalb von #32770 0",
    L"Microsoft Office / Microsoft Outlook XP Sicherheit (100 %, klein): Button 1751 \"Journal für &Excel abschalten\" und Button 1701 \"kein oder unbekannte Microsoft Office Ve\" überdecken sich",
    L"Microsoft Office / Microsoft Outlook XP Sicherheit (100 %, klein): Button 1754 \"A&lle Journale abschalten\" und Button 1701 \"kein oder unbekannte Microsoft Office Ve\" überdecken sich",
    L"Microsoft Office / Microsoft Outlook XP Sicherheit (100 %, klein): Button 1755 \"Gesamte Outlook Sicherheitseinstellung a\": liegt außerhalb von #32770 0",
};

// A file name for a window's picture: letters and digits, umlauts written out, the rest "-".
std::wstring PictureName(const std::wstring& text) {
    std::wstring out;
    for (const wchar_t c : text) {
        if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) out += c;
        else if (c == L'ä') out += L"ae";
        else if (c == L'ö') out += L"oe";
        else if (c == L'ü') out += L"ue";
        else if (c == L'Ä') out += L"Ae";
        else if (c == L'Ö') out += L"Oe";
        else if (c == L'Ü') out += L"Ue";
        else if (c == L'ß') out += L"ss";
        else if (!out.empty() && out.back() != L'-') out += L'-';
    }
    while (!out.empty() && out.back() == L'-') out.pop_back();
    return out;
}

// Columns whose cells show a path's end when the column is too narrow for it: their first cell is
// never cut at its end.
bool KeepsEnd(HWND list, int column) {
    const int id = GetDlgCtrlID(list);
    return column == 0 && (id == IDC_lvwRegKeys || id == IDC_lvwOrdnerList || id == IDC_lvwRestore);
}

// What one process finds at its scale: the faults, and each window's picture in build\screens.
class Looker {
public:
    explicit Looker(UINT dpi) : scale_(std::to_wstring(dpi * 100 / 96)) {}
    const std::wstring& Scale() const { return scale_; }
    // Checks a window (`label` names it in the faults) and pictures it as <picture>_<scale>.png.
    void Look(HWND window, const std::wstring& label, const std::wstring& picture) {
        LayoutCheckOptions options;
        options.keepsEnd = KeepsEnd;
        for (const std::wstring& f : LayoutFaults(window, label + L" (" + scale_ + L" %)", options)) faults.push_back(f);
        std::wstring why;
        if (!Screenshot(window, picture + L"_" + scale_, why)) pictureProblems.push_back(picture + L": " + why);
        ++looked;
    }
    std::vector<std::wstring> faults, pictureProblems;
    int looked = 0;

private:
    std::wstring scale_;
};

// The visible dialog of this thread that holds a control of this id.
HWND DialogWith(int controlId) {
    struct Search {
        int id;
        HWND found;
    } search{controlId, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            if (IsWindowVisible(w) && GetDlgItem(w, s->id)) {
                s->found = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A modal dialog is looked at from inside its own message loop: a timer of this thread waits there
// for the dialog, runs `look` and closes the dialog.
struct InsideModal {
    int controlId;
    std::function<void(HWND)> look;
    bool busy = false, done = false;
    ULONGLONG until = 0;
    static InsideModal*& Current() {
        static InsideModal* current = nullptr;
        return current;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        InsideModal* m = Current();
        if (!m || m->busy || m->done) return;
        const HWND dialog = DialogWith(m->controlId);
        if (!dialog && GetTickCount64() < m->until) return;
        m->busy = true;
        if (dialog) m->look(dialog);
        m->done = true;
        m->busy = false;
        if (dialog) PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
    // Runs `open`, which shows the dialog modally and returns once it is closed.
    bool Run(const std::function<void()>& open) {
        Current() = this;
        until = GetTickCount64() + 60000;
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, Tick);
        open();
        KillTimer(nullptr, timer);
        Current() = nullptr;
        return done;
    }
};

// The smallest size a window of its own allows: it is asked for none, and its limits raise that.
void Smallest(HWND window) {
    ShowWindow(window, SW_RESTORE);
    SetWindowPos(window, nullptr, 0, 0, 1, 1, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    PumpPending();
}

const wchar_t kProbe[] = L"Layoutprobe";
std::wstring UndoFileName() { return L"Rückgängig_RegScan_10.12.2026_06.30.00.reg"; }
const std::wstring kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Layoutprobe";

// Rows for the lists: a program whose uninstaller is gone (installed programs, and a row of the scan),
// an autostart entry, an undo file (backup area and its preview), an exclusion.
void FillLists(const std::wstring& backupDir) {
    PutSz(HKEY_CURRENT_USER, kUninstallKey, L"DisplayName", L"Layoutprobe Werkzeugsammlung 2.1");
    PutSz(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString", L"C:\\Program Files\\Layoutprobe\\uninstall.exe /S");
    PutSz(HKEY_CURRENT_USER, kUninstallKey + L" Reste", L"DisplayName", L"Layoutprobe Reste");  // nothing to uninstall
    PutSz(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", kProbe,
          L"\"C:\\Program Files\\Layoutprobe\\tray.exe\" /min");
    ScanExclusions::Add(L"[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{6B1C9E24-3F0A-4D7E-9C51-2A8F0B7D4E13}]");
    CreateDirectoryW(backupDir.c_str(), nullptr);
    const std::string reg =
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Layoutprobe Alt]\r\n"
        "\"DisplayName\"=\"Layoutprobe Alt 1.0\"\r\n\"UninstallString\"=\"C:\\\\Programme\\\\Layoutprobe Alt\\\\uninstall.exe\"\r\n";
    HANDLE f = CreateFileW((backupDir + UndoFileName()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(f, reg.data(), static_cast<DWORD>(reg.size()), &written, nullptr);
    CloseHandle(f);
}

// The dialogs the windows open, each as it is shown in use.
void LookAtDialogs(Looker& looker, HWND frame) {
    // The autostart page's new entry.
    {
        frmAutorunNew& d = WindowHandler().Get<frmAutorunNew>();
        d.ShowNew(nullptr);
        EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(d.hwnd()) != FALSE; }));
        looker.Look(d.hwnd(), L"Autostart-Eintrag", L"frmAutorunNew");
        WindowHandler().CloseWindow(WindowNo::AutorunNew);
    }
    {
        WindowHandler().Window(WindowNo::Optionen).ShowForm();
        const HWND d = WindowHandler().Get<frmOptionen>().hwnd();
        EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(d) != FALSE; }));
        looker.Look(d, L"Einstellungen", L"frmOptionen");
        WindowHandler().CloseWindow(WindowNo::Optionen);
    }
    {
        frmLogin& d = WindowHandler().Get<frmLogin>();
        d.SetMessage(AppEnvironment.AppTitle + L" " + AppEnvironment.AppVersion +
                     L"\r\nDie temporären Dateien werden gelöscht. Bitte warten...");
        d.ShowWindowNow();
        EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(d.hwnd()) != FALSE; }));
        looker.Look(d.hwnd(), L"Warten", L"frmLogin");
        WindowHandler().CloseWindow(WindowNo::Login);
    }
    {
        frmHDDWait d;
        d.Open(frame, AppEnvironment.AppTitle + L" " + AppEnvironment.AppVersion +
                          L"\r\nDie gewählten Ordner werden geleert. Bitte warten...");
        d.Progress(1234, 5678);
        EXPECT_TRUE(WaitFor([&] { return DialogWith(IDC_lblWaitCount) != nullptr; }));
        looker.Look(d.hwnd(), L"Festplatte bereinigen / Warten", L"frmHDDWait");
        d.Close();
    }
    {
        InternetDialogs dialogs;
        dialogs.WaitBegins(L"Verbindung zum Server wird hergestellt...");
        dialogs.WaitProgress(123456);
        HWND d = nullptr;
        EXPECT_TRUE(WaitFor([&] { return (d = DialogWith(IDC_lblInternetWait)) != nullptr; }));
        if (d) looker.Look(d, L"Internet / Warten", L"dlgInternetWait");
        dialogs.WaitEnds();
    }
    // The modal ones.
    InsideModal error{IDC_cmdDetails, [&](HWND d) {
                          looker.Look(d, L"Fehlerbericht", L"frmError");
                          SendMessageW(GetDlgItem(d, IDC_cmdDetails), BM_CLICK, 0, 0);
                          PumpPending();
                          looker.Look(d, L"Fehlerbericht / Details", L"frmError-Details");
                      }};
    EXPECT_TRUE(error.Run([] {
        WindowHandler().Get<frmError>().ShowError(L"frmBackup", L"cmdEintragen_Click", 75,
                                                  L"Pfad-/Dateizugriffsfehler beim Lesen der Sicherungsdatei", Style::Warning);
    })) << "frmError";
    InsideModal exclusions{IDC_lstAusnahmen, [&](HWND d) { looker.Look(d, L"Ausnahmen", L"frmAusnahmen"); }};
    EXPECT_TRUE(exclusions.Run([] { WindowHandler().Window(WindowNo::Ausnahmen).ShowForm(); })) << "frmAusnahmen";
    InsideModal folder{IDC_txtFolder, [&](HWND d) { looker.Look(d, L"Ordner hinzufügen", L"frmHDDFolder"); }};
    EXPECT_TRUE(folder.Run([&] { frmHDDFolder().Ask(frame); })) << "frmHDDFolder";
    const RestorePlan plan = PlanRestore(AppEnvironment.BackupDir + UndoFileName());
    EXPECT_TRUE(plan.readable) << ToUtf8(plan.problem);
    InsideModal preview{IDC_lvwRestore, [&](HWND d) {
                            looker.Look(d, L"Zurückschreiben", L"frmRestorePreview");
                            Smallest(d);
                            looker.Look(d, L"Zurückschreiben (klein)", L"frmRestorePreview-klein");
                        }};
    std::vector<bool> chosen;
    EXPECT_TRUE(preview.Run([&] { frmRestorePreview().Ask(frame, plan, UndoFileName(), chosen); })) << "frmRestorePreview";
}

// In the process of one scale: the frame, every child window and every dialog, checked and pictured.
std::vector<std::wstring> CheckEveryWindow(UINT dpi) {
    RegistrySandbox sandbox;
    TempFolder folder;
    PrepareEnvironment(folder.Path());
    KeepProcessOnFrameExit frameExit;
    FillLists(AppEnvironment.BackupDir);
    Looker looker(dpi);
    std::vector<std::wstring>& faults = looker.faults;
    const std::wstring& scale = looker.Scale();
    frmMDI& frame = WindowHandler().Get<frmMDI>();
    frame.Show();
    PumpPending();
    // The tool bar's pictures grow with the scale (24 px at 100 %, 16 on small screens), to the
    // nearest size there is.
    int picture = 0, unused = 0;
    ImageList_GetIconSize(frame.ToolbarImages(), &picture, &unused);
    const bool smallScreen = MulDiv(GetSystemMetrics(SM_CYSCREEN), 96, static_cast<int>(dpi)) < 700;
    if (picture < MulDiv(smallScreen ? 16 : 24, static_cast<int>(dpi), 96) - 4)
        faults.push_back(L"Hauptfenster (" + scale + L" %): Symbolleiste mit Bildern von " + std::to_wstring(picture) + L" px");
    // A scan that finds the planted program, its rows shown.
    {
        frmRegScan& scan = WindowHandler().Get<frmRegScan>();
        scan.ShowChild();
        SendMessageW(GetDlgItem(scan.hwnd(), IDC_cmdStart), BM_CLICK, 0, 0);
        SendMessageW(GetDlgItem(scan.hwnd(), IDC_chbRegKeysShow), BM_CLICK, 0, 0);
        EXPECT_GT(ListView_GetItemCount(GetDlgItem(scan.hwnd(), IDC_lvwRegKeys)), 0) << "the scan found no row";
    }
    for (const bool smallest : {false, true}) {
        if (smallest) Smallest(frame.hwnd());  // raised to its least
        const std::wstring size = smallest ? L"klein" : L"normal";
        const std::wstring small = smallest ? L"-klein" : L"";
        looker.Look(frame.hwnd(), L"Hauptfenster (" + size + L")", L"frmMDI" + small);
        for (const WindowRow& row : clsWindowHandler::Rows()) {
            if (!row.child) continue;
            MdiChildForm* child = WindowHandler().Child(row.number);
            if (!child) continue;
            child->ShowChild();
            PumpPending();
            const std::wstring name = Wnd(child->Frame()).Text();
            EachTab(child->hwnd(), [&](const std::wstring& tab) {
                // The faults keep the form they have always had: "<window> / <tab> (<scale> %, <size>)".
                LayoutCheckOptions options;
                options.keepsEnd = KeepsEnd;
                const std::wstring label = name + (tab.empty() ? L"" : L" / " + tab) + L" (" + scale + L" %, " + size + L")";
                for (const std::wstring& f : LayoutFaults(child->Frame(), label, options)) faults.push_back(f);
                std::wstring why;
                const std::wstring file = std::wstring(child->Name()) + (tab.empty() ? L"" : L"-" + PictureName(tab)) + small;
                if (!Screenshot(child->Frame(), file + L"_" + scale, why)) looker.pictureProblems.push_back(file + L": " + why);
            });
        }
        if (!smallest) LookAtDialogs(looker, frame.hwnd());
    }
    WindowHandler().CloseWindow(WindowNo::All);
    for (const std::wstring& p : looker.pictureProblems) ADD_FAILURE() << "no picture of " << ToUtf8(p);
    return faults;
}

// Runs the named test again in a process at this scale and hands on what it found.
void AtScale(UINT dpi, const char* test) {
    if (GetEnvironmentVariableW(kChild, nullptr, 0)) {
        ASSERT_EQ(ProcessDpi(), dpi) << "the scale did not reach the process";
        const std::vector<std::wstring> faults = CheckEveryWindow(dpi);
        const std::wstring scale = L"(" + std::to_wstring(dpi * 100 / 96) + L" %";
        for (const std::wstring& f : faults)
            if (std::find(std::begin(kKnownFaults), std::end(kKnownFaults), f) == std::end(kKnownFaults))
                ADD_FAILURE() << ToUtf8(f);
        for (const wchar_t* known : kKnownFaults)
            if (std::wstring(known).find(scale) != std::wstring::npos &&
                std::find(faults.begin(), faults.end(), known) == faults.end())
                ADD_FAILURE() << "no longer found, take it off the list: " << ToUtf8(known);
        return;
    }
    const DWORD value = dpi;
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &value, sizeof value),
              ERROR_SUCCESS);
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=Layout." + FromUtf8(test);
    SetEnvironmentVariableW(kChild, L"1");
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableW(kChild, nullptr);
    DWORD code = 1;
    if (started) {
        WaitForSingleObject(pi.hProcess, 240000);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
    ASSERT_TRUE(started);
    EXPECT_EQ(code, 0u) << "the windows at " << dpi * 100 / 96 << " % have faults; the process at that scale lists them";
}
}  // namespace

TEST(Layout, EveryWindowAt100) { AtScale(96, "EveryWindowAt100"); }
TEST(Layout, EveryWindowAt150) { AtScale(144, "EveryWindowAt150"); }
TEST(Layout, EveryWindowAt200) { AtScale(192, "EveryWindowAt200"); }

namespace {
// One control of the checker's own window, in the default font.
HWND Put(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int id, int x, int y, int w, int h) {
    HWND c = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    return c;
}

size_t Matching(const std::vector<std::wstring>& faults, const std::wstring& control, const std::wstring& what) {
    return static_cast<size_t>(std::count_if(faults.begin(), faults.end(), [&](const std::wstring& f) {
        return f.find(control) != std::wstring::npos && f.find(what) != std::wstring::npos;
    }));
}
}  // namespace

// The checker on a window laid out wrong on purpose: each kind of fault is found, and only there.
TEST(Layout, CheckerFindsEachKindOfFaultAndNothingElse) {
    const HWND w = CreateWindowExW(0, L"#32770", L"Probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 400, nullptr,
                                   nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(w);
    Put(w, L"Button", L"Übernehmen und schließen", BS_PUSHBUTTON, 1, 10, 10, 40, 24);  // too narrow
    Put(w, L"Button", L"OK", BS_PUSHBUTTON, 2, 60, 10, 80, 24);
    Put(w, L"Static", L"Ein Satz, der in diesem schmalen Feld umbrechen muss", SS_LEFT, 3, 10, 50, 90, 14);  // too low
    Put(w, L"Static", L"Beschriftung", SS_LEFTNOWORDWRAP, 4, 10, 80, 200, 16);
    Put(w, L"Button", L"Rahmen", BS_GROUPBOX, 5, 10, 200, 200, 100);
    Put(w, L"Button", L"Häkchen im Rahmen", BS_AUTOCHECKBOX, 6, 20, 230, 170, 20);  // inside the frame: fine
    Put(w, L"Static", L"links", SS_LEFT, 7, 250, 10, 100, 20);
    Put(w, L"Static", L"rechts", SS_LEFT, 8, 300, 15, 100, 20);  // lies on 7
    RECT client{};
    GetClientRect(w, &client);
    Put(w, L"Static", L"draußen", SS_LEFT, 9, client.right - 20, 40, 100, 20);  // reaches past the edge
    const HWND list = Put(w, WC_LISTVIEWW, L"", LVS_REPORT | WS_BORDER, 10, 250, 100, 300, 150);
    ListView lv(list);
    lv.AddColumn(L"Programmbezeichnung", 50);  // caption and cell wider than the column
    lv.AddColumn(L"Wert", 200);
    lv.AddRow({L"Ein recht langer Eintrag", L"kurz"});
    PumpPending();

    const std::vector<std::wstring> faults = LayoutFaults(w, L"Probe");
    std::wstring all;
    for (const std::wstring& f : faults) all += f + L"\n";
    SCOPED_TRACE(ToUtf8(all));
    EXPECT_EQ(Matching(faults, L"Button 1 ", L"Text abgeschnitten"), 1u);
    EXPECT_EQ(Matching(faults, L"Static 3 ", L"Text höher als das Feld"), 1u);
    EXPECT_EQ(Matching(faults, L"Static 7 ", L"Static 8 \"rechts\" überdecken sich"), 1u);
    EXPECT_EQ(Matching(faults, L"Static 9 ", L"liegt außerhalb"), 1u);
    EXPECT_EQ(Matching(faults, L"SysListView32 10", L"Spaltenüberschrift \"Programmbezeichnung\" abgeschnitten"), 1u);
    EXPECT_EQ(Matching(faults, L"SysListView32 10", L"erste Zeile \"Ein recht langer Eintrag\" am Ende abgeschnitten"), 1u);
    EXPECT_EQ(faults.size(), 6u);  // nothing about 2, 4, the frame 5 and the box 6 inside it

    // A column that shows its cells' ends is never cut at its end; a column wide enough is fine.
    LayoutCheckOptions ends;
    ends.keepsEnd = [&](HWND l, int column) { return l == list && column == 0; };
    EXPECT_EQ(FirstCellFault(list, ends), L"");
    ListView_SetColumnWidth(list, 0, ListView_GetStringWidth(list, L"Ein recht langer Eintrag") + 40);
    EXPECT_EQ(FirstCellFault(list), L"");
    DestroyWindow(w);
}
