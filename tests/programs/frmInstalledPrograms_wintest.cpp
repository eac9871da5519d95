// tests/programs/frmInstalledPrograms_wintest.cpp
#include "support/RegeditImport.h"
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/DoEvents.h"
#include "core/Text.h"
#include "main/WindowHandler.h"
#include "core/win/Menu.h"
#include "errors/clsError.h"
#include "programs/frmInstalledPrograms.h"
#include "programs/frmInstalledPrograms.rh"
#include "registry/clsKeyFunc.h"
#include "scan/ScanTestRegistry.h"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include "main/frmMDI.h"
#include "main/frmMDI.rh"
#include <gtest/gtest.h>

namespace {
const std::wstring kUninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::wstring Unique() { return std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount64()); }

class ProgramsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppSwitches.Protokoll = 1;
    }
    void TearDown() override {
        WindowHandler().CloseWindow(WindowNo::All);
        frmInstalledPrograms::RunAction() = savedRun;
        ProductInstalled() = savedProduct;
    }
    frmInstalledPrograms& Open() {
        frmMDI& f = WindowHandler().Get<frmMDI>();
        f.Show();
        f.Command(IDM_mnuInstalledProgramsShow);
        DoEvents();
        return WindowHandler().Get<frmInstalledPrograms>();
    }
    // A copy of the stub uninstaller at a path below the test folder.
    std::wstring Stub(const std::wstring& relative) {
        const std::wstring stub = BinFolder() + L"uninst_stub.exe";
        const std::wstring target = folder.Write(relative, "");
        EXPECT_TRUE(CopyFileW(stub.c_str(), target.c_str(), FALSE)) << ToUtf8(target);
        return target;
    }
    // What the stub was started with: its command line, then one argument a line.
    static std::vector<std::wstring> Args(const std::wstring& stub) {
        std::vector<std::wstring> lines;
        std::wstring text = FromUtf8(ReadBytes(stub + L".args"));
        for (size_t p; (p = text.find(L"\r\n")) != std::wstring::npos; text.erase(0, p + 2)) lines.push_back(text.substr(0, p));
        return lines;
    }
    static std::vector<std::wstring> Column(frmInstalledPrograms& w, int column) {
        std::vector<std::wstring> out;
        for (int i = 0; i < w.List().Count(); ++i) out.push_back(w.List().Cell(i, column));
        return out;
    }
    static void SelectNames(frmInstalledPrograms& w, std::initializer_list<std::wstring> names) {
        for (int i = 0; i < w.List().Count(); ++i)
            w.List().Select(i, std::find(names.begin(), names.end(), w.List().Cell(i, 0)) != names.end());
    }
    static void Key(frmInstalledPrograms& w, WORD key) { SendMessageW(w.List(), WM_KEYDOWN, key, 0); }
    std::vector<std::wstring> Uninstall(frmInstalledPrograms& w, std::vector<int> answers) {
        MessageBoxes boxes(L"Torvane", std::move(answers));
        WindowHandler().Get<frmMDI>().Command(IDM_mnuInstalledProgramsDel);
        return boxes.Texts();
    }
    std::wstring Log() { return FromAnsi(ReadBytes(clsError::LogPath())); }
    static std::wstring Question(const std::wstring& name) {
        return L"Wollen Sie das Programm " + name + L" wirklich deinstallieren?";
    }
    static constexpr const wchar_t* kLeftOver =
        L"Das Programm kann nicht deinstalliert werden, da das Deinstallationsprogramm fehlt.\r"
        L"Soll der Eintrag jetzt entfernt werden?";

    KeepProcessOnFrameExit frameExit;
    RegistrySandbox sandbox;
    TempFolder folder;
    std::function<bool(const std::wstring&)> savedRun = frmInstalledPrograms::RunAction();
    std::function<bool(const std::wstring&)> savedProduct = ProductInstalled();
};
}  // namespace

TEST_F(ProgramsWindow, ListsBothRootsAndShowsThePlaceholderWhenNothingIsThere) {
    frmInstalledPrograms& w = Open();
    EXPECT_EQ(Wnd(w.Frame()).Text(), L"Installierte Programme");
    EXPECT_TRUE(IsZoomed(w.Frame()));
    HMENU bar = WindowHandler().Get<frmMDI>().MenuBar();
    // "Bearbeiten" > "Installierte Programme" is the one enabled; a maximised child's system menu stands first.
    HMENU edit = GetSubMenu(bar, (GetMenuItemCount(bar) > 6 ? 1 : 0) + 1);
    EXPECT_TRUE(MenuItem::PopupEnabled(edit, 2));
    EXPECT_FALSE(MenuItem::PopupEnabled(edit, 0));
    EXPECT_EQ(GetFocus(), w.List().hwnd());
    // Nothing registered: one placeholder row without icons, and nothing to uninstall.
    EXPECT_EQ(Column(w, 0), std::vector<std::wstring>{frmInstalledPrograms::kNothingFound});
    EXPECT_FALSE(w.Item(IDC_cmdDeinstall).Enabled());
    EXPECT_FALSE(MenuItem::Enabled(bar, IDM_mnuInstalledProgramsDel));
    EXPECT_EQ(ListView_GetImageList(w.List(), LVSIL_SMALL), nullptr);
    {
        MessageBoxes boxes(L"Torvane", {IDNO});
        Key(w, VK_RETURN);
        Key(w, VK_DELETE);
        w.lvwDeinstall_DblClick();
        EXPECT_TRUE(boxes.Texts().empty());
    }

    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"Zwei", L"DisplayName", L"Zwei");
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"Zwei", L"UninstallString", L"C:\\zwei\\un.exe");
    PutSz(HKEY_CURRENT_USER, kUninstall + L"Zwei", L"DisplayName", L"Zwei");
    PutSz(HKEY_CURRENT_USER, kUninstall + L"Eins", L"DisplayName", L"Eins");
    PutSz(HKEY_CURRENT_USER, kUninstall + L"Eins", L"UninstallString", L"C:\\eins.exe /x");
    PutSz(HKEY_CURRENT_USER, kUninstall + L"Kein Name", L"UninstallString", L"C:\\x.exe");
    WindowHandler().Get<frmMDI>().Command(IDM_mnuInstalledProgramsAkual);
    // The same program under both roots gives two rows, the machine's first.
    EXPECT_EQ(Column(w, 0), (std::vector<std::wstring>{L"Zwei", L"Eins", L"Zwei"}));
    EXPECT_EQ(Column(w, 1), (std::vector<std::wstring>{L"C:\\zwei\\un.exe", L"C:\\eins.exe /x", L""}));
    EXPECT_EQ(Column(w, 2), (std::vector<std::wstring>{L"-2147483646", L"-2147483647", L"-2147483647"}));
    EXPECT_EQ(w.List().Cell(1, 3), kUninstall + L"Eins]");
    EXPECT_TRUE(w.List().Selected(0));
    EXPECT_TRUE(w.Item(IDC_cmdDeinstall).Enabled());
    EXPECT_TRUE(MenuItem::Enabled(bar, IDM_mnuInstalledProgramsDel));
    EXPECT_NE(ListView_GetImageList(w.List(), LVSIL_SMALL), nullptr);
    EXPECT_EQ(WindowHandler().Get<frmMDI>().Status().Panel(1), L"Status");
    // Every value read counts, and each Uninstall key without values of its own once.
    const std::wstring log = Log();
    EXPECT_NE(log.find(L"8 Einträge zu installierten Programmen gefunden"), std::wstring::npos)
        << ToUtf8(log.substr(log.rfind(L"Einträge zu installierten") - 40, 80));

    // F4 sorts by name, each time the other way; the rows keep their entries.
    Key(w, VK_F4);
    EXPECT_EQ(Column(w, 0), (std::vector<std::wstring>{L"Zwei", L"Zwei", L"Eins"}));
    Key(w, VK_F4);
    EXPECT_EQ(Column(w, 0), (std::vector<std::wstring>{L"Eins", L"Zwei", L"Zwei"}));
    ASSERT_NE(w.Program(0), nullptr);
    EXPECT_EQ(w.Program(0)->key, kUninstall + L"Eins");

    SelectNames(w, {L"Eins"});
    w.lvwDeinstall_MouseUp(false);
    EXPECT_EQ(MenuItem::Caption(bar, IDM_mnuInstalledProgramsDel), L"markiertes Programm &deinstallieren");
    EXPECT_EQ(MenuItem::Caption(bar, IDM_mnuInstalledProgramsAkual), L"&Ansicht aktualisieren");
    SelectNames(w, {L"Eins", L"Zwei"});
    // The right button shows the window's menu; its loop is ended as soon as it runs.
    SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        EndMenu();
    });
    w.lvwDeinstall_MouseUp(true);
    EXPECT_EQ(MenuItem::Caption(bar, IDM_mnuInstalledProgramsDel), L"markierte Programme &deinstallieren");
    EXPECT_EQ(w.List().Count(), 3);
}

TEST_F(ProgramsWindow, StartsEachUninstallerWithItsArgumentsAsWindowsWould) {
    const std::wstring a = Stub(L"Prog A\\Un Inst.exe"), b = Stub(L"Prog B\\un b.exe"), c = Stub(L"Prog C\\unc.exe");
    const std::wstring longArg(300, L'L');
    SetEnvironmentVariableW(L"TORVANE_TEST_STUB", (folder.Path() + L"Prog C").c_str());
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"A", L"DisplayName", L"Programm A");
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"A", L"UninstallString", L"\"" + a + L"\" /S /D=\"C:\\x y\"");
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"B", L"DisplayName", L"Programm B");
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"B", L"UninstallString", b + L" /uninstall " + longArg);
    PutSz(HKEY_CURRENT_USER, kUninstall + L"C", L"DisplayName", L"Programm C");
    PutSz(HKEY_CURRENT_USER, kUninstall + L"C", L"UninstallString", L"%TORVANE_TEST_STUB%\\unc.exe -q", REG_EXPAND_SZ);
    frmInstalledPrograms& w = Open();
    SelectNames(w, {L"Programm A", L"Programm B", L"Programm C"});
    const std::vector<std::wstring> texts = Uninstall(w, {IDYES});
    EXPECT_EQ(texts, (std::vector<std::wstring>{Question(L"Programm A"), Question(L"Programm B"), Question(L"Programm C")}));
    EXPECT_EQ(Args(a), (std::vector<std::wstring>{L"\"" + a + L"\" /S /D=\"C:\\x y\"", L"/S", L"/D=C:\\x y"}));
    EXPECT_EQ(Args(b), (std::vector<std::wstring>{L"\"" + b + L"\" /uninstall " + longArg, L"/uninstall", longArg}));
    EXPECT_EQ(Args(c), (std::vector<std::wstring>{L"\"" + c + L"\" -q", L"-q"}));
    // The uninstallers left their entries: they stay listed.
    EXPECT_EQ(w.List().Count(), 3);
    EXPECT_NE(Log().find(L"Programm B soll deinstalliert werden"), std::wstring::npos);

    // No keeps the uninstaller from running; the next selected program is still asked for.
    DeleteFileW((a + L".args").c_str());
    SelectNames(w, {L"Programm A", L"Programm C"});
    DeleteFileW((c + L".args").c_str());
    {
        // Delete in the list acts as a double-click.
        MessageBoxes boxes(L"Torvane", {IDNO, IDYES});
        Key(w, VK_DELETE);
        EXPECT_EQ(boxes.Texts(), (std::vector<std::wstring>{Question(L"Programm A"), Question(L"Programm C")}));
    }
    EXPECT_FALSE(FileExists(a + L".args"));
    EXPECT_TRUE(FileExists(c + L".args"));
}

// The registry editor writes the undo file back into the real registry: this works below a
// real key of the test prefix and removes it afterwards.
TEST_F(ProgramsWindow, LeftOverEntryIsSavedWholeThenRemovedAndTheUndoFileBringsItBack) {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    const std::wstring base = kUninstall + L"TorvaneTest_" + Unique();
    const std::wstring gone = base + L"_1", kept = base + L"_2";
    const std::wstring stub = Stub(L"Da\\un.exe");
    PutSz(HKEY_CURRENT_USER, gone, L"DisplayName", L"Verwaist");
    PutSz(HKEY_CURRENT_USER, gone, L"UninstallString", L"%TEMP%\\fehlt_" + Unique() + L"\\Un Inst.exe /S", REG_EXPAND_SZ);
    PutDword(HKEY_CURRENT_USER, gone, L"EstimatedSize", 4711);
    const BYTE bytes[] = {0, 1, 2, 0xfe, 0xff};
    Put(HKEY_CURRENT_USER, gone, L"Roh", REG_BINARY, bytes, sizeof bytes);
    const wchar_t multi[] = L"eins\0zwei\0";
    Put(HKEY_CURRENT_USER, gone, L"Liste", REG_MULTI_SZ, multi, sizeof multi);
    PutSz(HKEY_CURRENT_USER, gone + L"\\Extra", L"", L"Unterschlüssel \"mit\" Zeichen\\");
    PutSz(HKEY_CURRENT_USER, kept, L"DisplayName", L"Noch da");
    PutSz(HKEY_CURRENT_USER, kept, L"UninstallString", stub);
    const std::wstring exported = ClassHandler().KeyFunc().ExportKey(kHKCU, gone, true);

    frmInstalledPrograms& w = Open();
    SelectNames(w, {L"Verwaist", L"Noch da"});
    const std::vector<std::wstring> texts = Uninstall(w, {IDYES, IDYES, IDYES});
    const std::vector<std::wstring> names = Column(w, 0);
    const bool removed = !Exists(HKEY_CURRENT_USER, gone);
    std::vector<std::wstring> undoFiles;
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((AppEnvironment.BackupDir + L"Rückgängig_Programme_*.reg").c_str(), &fd);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &fd)) undoFiles.push_back(fd.cFileName);
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    WriteBackResult back;
    std::wstring restored;
    if (undoFiles.size() == 1) {
        back = WriteBackRegFile(AppEnvironment.BackupDir + undoFiles[0]);
        restored = ClassHandler().KeyFunc().ExportKey(kHKCU, gone, true);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, gone.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, gone.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, kept.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, kept.c_str());

    EXPECT_EQ(texts, (std::vector<std::wstring>{Question(L"Verwaist"), kLeftOver, Question(L"Noch da")}));
    EXPECT_TRUE(removed);
    // Gone from the list at once; the other selected program was still uninstalled afterwards.
    EXPECT_EQ(std::count(names.begin(), names.end(), L"Verwaist"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), L"Noch da"), 1);
    EXPECT_EQ(Args(stub).size(), 1u);
    ASSERT_EQ(undoFiles.size(), 1u);
    EXPECT_TRUE(back.applied) << ToUtf8(back.problem);
    EXPECT_EQ(restored, exported);
    EXPECT_NE(Log().find(L"Das Programm Verwaist kann nicht deinstalliert werden."), std::wstring::npos);
}

TEST_F(ProgramsWindow, EntriesStayWhenTheUninstallerIsThereTheProductIsInstalledOrNoCommandIsStored) {
    const std::wstring code = L"{0F0F0F0F-1111-2222-3333-444455556666}";
    const std::wstring broken = folder.Write(L"kaputt\\un.exe", "kein Programm");
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"a", L"DisplayName", L"Torvane Hilfe");
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"b", L"DisplayName", L"Kaputt");
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"b", L"UninstallString", broken + L" /S");
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"c", L"DisplayName", L"Ohne Aufruf");
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + code, L"DisplayName", L"Paket");
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + code, L"UninstallString", L"MsiExec.exe /I" + code);
    PutDword(HKEY_LOCAL_MACHINE, kUninstall + code, L"WindowsInstaller", 1);
    std::vector<std::wstring> started;
    bool installed = true;
    ProductInstalled() = [&](const std::wstring&) { return installed; };
    frmInstalledPrograms& w = Open();

    // The program's own entry ends the command.
    SelectNames(w, {L"Torvane Hilfe", L"Kaputt"});
    EXPECT_EQ(Uninstall(w, {IDOK}), std::vector<std::wstring>{
                                        L"Der Torvane kann nur über die Windows Systemsteuerung deinstalliert werden."});
    // A file that is there but cannot start is no left-over: a warning, and the entry stays.
    SelectNames(w, {L"Kaputt"});
    EXPECT_EQ(Uninstall(w, {IDYES}), std::vector<std::wstring>{Question(L"Kaputt")});
    EXPECT_NE(Log().find(L"cmdDeinstall_Click; ; 193; "), std::wstring::npos);  // bad program format
    SelectNames(w, {L"Ohne Aufruf"});
    EXPECT_EQ(Uninstall(w, {IDYES, IDOK}), (std::vector<std::wstring>{
                                               Question(L"Ohne Aufruf"),
                                               L"Für das Programm Ohne Aufruf ist kein Deinstallationsaufruf eingetragen."}));

    // An installed product goes through msiexec and is never offered for removal.
    frmInstalledPrograms::RunAction() = [&](const std::wstring& line) {
        started.push_back(line);
        return true;
    };
    SelectNames(w, {L"Paket"});
    EXPECT_EQ(Uninstall(w, {IDYES}), std::vector<std::wstring>{Question(L"Paket")});
    ASSERT_EQ(started.size(), 1u);
    EXPECT_TRUE(EndsWith(ToLower(started[0]), ToLower(L"\\msiexec.exe\" /x" + code))) << ToUtf8(started[0]);
    // The Windows Installer does not know it: left over, but only on Yes.
    installed = false;
    SelectNames(w, {L"Paket"});
    EXPECT_EQ(Uninstall(w, {IDYES, IDNO}), (std::vector<std::wstring>{Question(L"Paket"), kLeftOver}));
    EXPECT_EQ(started.size(), 1u);
    for (const std::wstring k : {L"a", L"b", L"c", code.c_str()}) EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, kUninstall + k));
    EXPECT_EQ(w.List().Count(), 4);
}
