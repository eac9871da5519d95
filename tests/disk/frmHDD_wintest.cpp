// tests/disk/frmHDD_wintest.cpp
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/DoEvents.h"
#include "core/Text.h"
#include "main/WindowHandler.h"
#include "main/modMain.h"
#include "core/win/Menu.h"
#include "disk/frmHDD.h"
#include "disk/frmHDD.rh"
#include "disk/modHDD.h"
#include "errors/clsError.h"
#include "registry/clsKeyFunc.h"
#include "support/Links.h"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include "main/frmMDI.h"
#include "main/frmMDI.rh"
#include <gtest/gtest.h>
#include <windowsx.h>
#include <algorithm>
#include <atomic>
#include <mutex>

namespace {
// Answers the next folder dialog: types the folder and presses OK, or cancels when it is empty.
class FolderAnswer {
public:
    explicit FolderAnswer(std::wstring folder) : folder_(std::move(folder)) {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~FolderAnswer() {
        WaitForSingleObject(thread_, 70000);
        CloseHandle(thread_);
    }
    bool answered = false;

private:
    static DWORD WINAPI Run(void* p) {
        auto* self = static_cast<FolderAnswer*>(p);
        const ULONGLONG until = GetTickCount64() + 60000;
        while (GetTickCount64() < until) {
            HWND w = FindWindowW(L"#32770", L"Ordner hinzufügen");
            if (w && IsWindowVisible(w)) {
                SetDlgItemTextW(w, IDC_txtFolder, self->folder_.c_str());
                PostMessageW(w, WM_COMMAND, MAKEWPARAM(self->folder_.empty() ? IDCANCEL : IDOK, BN_CLICKED), 0);
                self->answered = true;
                return 0;
            }
            Sleep(20);
        }
        return 0;
    }
    std::wstring folder_;
    HANDLE thread_ = nullptr;
};

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD n = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    CloseHandle(f);
}

class DiskWindow : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppEnvironment.OSName = L"Windows 10";
        AppSwitches.Recycler = 0;
        AppSwitches.Protokoll = 1;
    }
    void TearDown() override { WindowHandler().CloseWindow(WindowNo::All); }
    frmHDD& Open() {
        frmMDI& f = WindowHandler().Get<frmMDI>();
        f.Show();
        f.Command(IDM_mnuHDDShow);
        DoEvents();
        return WindowHandler().Get<frmHDD>();
    }
    frmMDI& Mdi() { return WindowHandler().Get<frmMDI>(); }
    static std::vector<std::wstring> Rows(frmHDD& w) {
        std::vector<std::wstring> out;
        for (int i = 0; i < w.List().Count(); ++i) out.push_back(w.List().Cell(i, 0));
        return out;
    }
    static void SelectOnly(frmHDD& w, std::initializer_list<int> rows) {
        for (int i = 0; i < w.List().Count(); ++i) w.List().Select(i, false);
        for (int r : rows) w.List().Select(r, true);
    }
    static void Key(frmHDD& w, WORD key) { SendMessageW(w.List(), WM_KEYDOWN, key, 0); }
    static void Click(frmHDD& w, int id) { SendMessageW(GetDlgItem(w.hwnd(), id), BM_CLICK, 0, 0); }
    static bool Checked(frmHDD& w, int id) { return Button_GetCheck(GetDlgItem(w.hwnd(), id)) == BST_CHECKED; }
    static bool Enabled(frmHDD& w, int id) { return IsWindowEnabled(GetDlgItem(w.hwnd(), id)) != FALSE; }
    std::string List() { return ReadBytes(folder.Path() + L"tmpdirs.txt"); }
    std::string Log() { return ReadBytes(clsError::LogPath()); }
    std::wstring RunEntry() { return ClassHandler().KeyFunc().ReadKeyValue(kHKCU, kRunKey, L"Torvane"); }
    std::wstring Setting(const wchar_t* key) { return ClassHandler().KeyFunc().GetSetting(L"Optionen", key, L""); }
    size_t UndoFiles() {
        std::vector<std::wstring> list{L""};
        ClassHandler().Files().FindFilesAPI(AppEnvironment.BackupDir, L"Rückgängig_AutoRun_*.reg", false, list);
        return list.size() - 1;
    }

    RegistrySandbox sandbox;
    TempFolder folder;
    KeepProcessOnFrameExit frameExit;
};
}  // namespace

TEST_F(DiskWindow, LoadsTheListTakingOverTheOldListFile) {
    folder.Write(L"tmpdirs.txt", "C:\\old\r\n");
    folder.Write(L"liste.txt", "\r\nC:\\b\r\n   \r\nC:\\a\r\nC:\\b\r\n");
    AppSwitches.RecyclerSecurity = 1;
    frmHDD& w = Open();
    EXPECT_EQ(Wnd(w.Frame()).Text(), L"Festplatte bereinigen");
    EXPECT_TRUE(IsZoomed(w.Frame()));
    EXPECT_FALSE(FileExists(folder.Path() + L"liste.txt"));
    EXPECT_EQ(Rows(w), (std::vector<std::wstring>{L"C:\\b", L"C:\\a", L"C:\\b"}));
    EXPECT_TRUE(Enabled(w, IDC_chbTempFilesDel));
    EXPECT_FALSE(Checked(w, IDC_chbTempFilesDel));
    EXPECT_FALSE(Enabled(w, IDC_ckbRecyclerAutoClean));
    EXPECT_EQ(Wnd(GetDlgItem(w.hwnd(), IDC_lblRecyclerHDD)).Text(), L"Zu löschende Dateien werden unwiederbringlich gelöscht.");
    EXPECT_EQ(w.RecyclerColour(), RGB(255, 0, 0));
    EXPECT_EQ(Wnd(GetDlgItem(w.hwnd(), IDC_cmdEmptyRecycler)).Text(), L"Papierkorb leeren (keine Abfrage)");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(w.hwnd(), IDC_lblNotEmptyRecycler)));
    EXPECT_EQ(Mdi().Status().Panel(1), L"Status");
    // "Bearbeiten" > "Festplatte bereinigen" is the one enabled; the maximised child's system menu stands first.
    HMENU bar = Mdi().MenuBar();
    const int first = GetMenuItemCount(bar) > 6 ? 1 : 0;
    HMENU edit = GetSubMenu(bar, first + 1);
    EXPECT_TRUE(MenuItem::PopupEnabled(edit, 3));
    EXPECT_FALSE(MenuItem::PopupEnabled(edit, 0));

    // Header clicks and F4 flip the order each time; the pop-up captions follow the marked rows.
    Key(w, VK_F4);
    EXPECT_EQ(Rows(w), (std::vector<std::wstring>{L"C:\\b", L"C:\\b", L"C:\\a"}));
    Key(w, VK_F4);
    EXPECT_EQ(Rows(w), (std::vector<std::wstring>{L"C:\\a", L"C:\\b", L"C:\\b"}));
    SelectOnly(w, {0});
    w.lvwOrdnerList_MouseUp(false);
    EXPECT_EQ(MenuItem::Caption(bar, IDM_mnuHDDFolderCleanCurrent), L"mark&ierten Ordner leeren");
    EXPECT_EQ(MenuItem::Caption(bar, IDM_mnuHDDDelFolder), L"markierten &Ordner aus Liste entfernen");
    SelectOnly(w, {0, 2});
    w.lvwOrdnerList_MouseUp(false);
    EXPECT_EQ(MenuItem::Caption(bar, IDM_mnuHDDFolderCleanCurrent), L"mark&ierte Ordner leeren");
    EXPECT_EQ(MenuItem::Caption(bar, IDM_mnuHDDDelFolder), L"markierte &Ordner aus Liste entfernen");

    // Without a list file the list is empty, the file is created, and the start entry cannot be switched on.
    DeleteFileW((folder.Path() + L"tmpdirs.txt").c_str());
    Key(w, VK_F5);
    EXPECT_EQ(w.List().Count(), 0);
    EXPECT_TRUE(FileExists(folder.Path() + L"tmpdirs.txt"));
    EXPECT_FALSE(Enabled(w, IDC_chbTempFilesDel));
}

TEST_F(DiskWindow, AddsFoldersAskingOnlyOutsideTempFoldersAndRefusingDangerousOnes) {
    const std::wstring temp = folder.Path() + L"Temp";
    // The test folder itself lies below the user's Temp folder: the folders that must be asked
    // for live outside it, on the prefix's own drive.
    const std::wstring outside = L"C:\\TorvaneHddTest" + std::to_wstring(GetCurrentProcessId());
    const std::wstring other = outside + L"\\Daten";
    const std::wstring templates = outside + L"\\Templates";
    for (const std::wstring& f : {temp, outside, other, templates}) CreateDirectoryW(f.c_str(), nullptr);
    struct RemoveOutside {
        std::wstring base;
        ~RemoveOutside() {
            for (const wchar_t* sub : {L"\\Daten", L"\\Templates", L""}) RemoveDirectoryW((base + sub).c_str());
        }
    } removeOutside{outside};
    frmHDD& w = Open();
    ASSERT_EQ(w.List().Count(), 0);

    {
        // A temp folder is taken without asking.
        MessageBoxes boxes(L"Torvane", {IDOK});
        FolderAnswer answer(temp + L"\\");
        Key(w, VK_F6);
        EXPECT_TRUE(answer.answered);
        EXPECT_TRUE(boxes.Texts().empty());
    }
    EXPECT_EQ(Rows(w), (std::vector<std::wstring>{temp}));
    EXPECT_EQ(List(), ToAnsi(temp) + "\r\n");
    EXPECT_TRUE(Enabled(w, IDC_chbTempFilesDel));
    EXPECT_NE(Log().find(ToAnsi(temp) + " zum automatischen Leeren vorgesehen"), std::string::npos);

    std::vector<std::wstring> texts;
    {
        MessageBoxes boxes(L"Torvane", {IDOK, IDOK, IDNO, IDYES});
        { FolderAnswer a(temp); Mdi().Command(IDM_mnuHDDAddFolder); }       // already there
        { FolderAnswer a(AppEnvironment.WinDir); Mdi().Command(IDM_mnuHDDAddFolder); }  // refused
        { FolderAnswer a(templates); Mdi().Command(IDM_mnuHDDAddFolder); }  // asked: No
        { FolderAnswer a(other); Mdi().Command(IDM_mnuHDDAddFolder); }      // asked: Yes
        { FolderAnswer a(L""); Mdi().Command(IDM_mnuHDDAddFolder); }        // cancelled
        texts = boxes.Texts();
    }
    std::wstring all;
    for (const std::wstring& t : texts) all += t + L" | ";
    ASSERT_EQ(texts.size(), 4u) << ToUtf8(all);
    EXPECT_EQ(texts[0], L"Der Ordner " + temp + L" befindet sich bereits in der Liste.");
    const std::wstring win = AppEnvironment.WinDir.substr(0, AppEnvironment.WinDir.size() - 1);
    EXPECT_EQ(texts[1], L"Der Ordner " + win + L" ist der Windows-Ordner und kann nicht in die Liste aufgenommen werden.");
    EXPECT_EQ(texts[2], L"Sind Sie sich sicher, das Sie den Ordner\r\n" + templates + L" zur Liste hinzufügen wollen?");
    EXPECT_EQ(texts[3], L"Sind Sie sich sicher, das Sie den Ordner\r\n" + other + L" zur Liste hinzufügen wollen?");
    EXPECT_EQ(Rows(w), (std::vector<std::wstring>{temp, other}));
    EXPECT_EQ(List(), ToAnsi(temp) + "\r\n" + ToAnsi(other) + "\r\n");
}

TEST_F(DiskWindow, StartEntryFollowsTheCheckBoxAndGoesWithTheLastFolder) {
    const std::wstring a = folder.Path() + L"tmpA", b = folder.Path() + L"tmpB";
    folder.Write(L"tmpdirs.txt", ToAnsi(a) + "\r\n\r\n" + ToAnsi(b) + "\r\n" + ToAnsi(a) + "\r\n");
    frmHDD& w = Open();
    ASSERT_EQ(w.List().Count(), 3);

    Click(w, IDC_chbTempFilesDel);
    EXPECT_EQ(RunEntry(), L"\"" + folder.Path() + L"test_disk.exe\" /d");
    EXPECT_TRUE(Enabled(w, IDC_ckbRecyclerAutoClean));
    Click(w, IDC_ckbRecyclerAutoClean);
    EXPECT_EQ(Setting(L"RecyclerAutoClean"), L"1");
    // Coming back to the window shows the entry and keeps the choice.
    WindowHandler().CloseWindow(WindowNo::HDD);
    frmHDD& again = Open();
    EXPECT_TRUE(Checked(again, IDC_chbTempFilesDel));
    EXPECT_TRUE(Checked(again, IDC_ckbRecyclerAutoClean));
    EXPECT_EQ(Setting(L"RecyclerAutoClean"), L"1");
    EXPECT_EQ(UndoFiles(), 0u);

    // Removing a folder that stands twice takes both lines and drops the empty one.
    SelectOnly(again, {0});
    Key(again, VK_DELETE);
    EXPECT_EQ(Rows(again), (std::vector<std::wstring>{b}));
    EXPECT_EQ(List(), ToAnsi(b) + "\r\n");
    EXPECT_TRUE(Checked(again, IDC_chbTempFilesDel));

    // The last one goes: the start entry goes too, saved first, and the recycle bin option with it.
    SelectOnly(again, {0});
    Mdi().Command(IDM_mnuHDDDelFolder);
    EXPECT_EQ(again.List().Count(), 0);
    EXPECT_EQ(List(), "\r\n");
    EXPECT_FALSE(Checked(again, IDC_chbTempFilesDel));
    EXPECT_FALSE(Enabled(again, IDC_chbTempFilesDel));
    EXPECT_FALSE(Checked(again, IDC_ckbRecyclerAutoClean));
    EXPECT_FALSE(Enabled(again, IDC_ckbRecyclerAutoClean));
    EXPECT_EQ(RunEntry(), L"");
    EXPECT_EQ(UndoFiles(), 1u);
    EXPECT_EQ(Setting(L"RecyclerAutoClean"), L"0");
    EXPECT_NE(Log().find(ToAnsi(b + L" aus zulöschenden Liste gelöscht")), std::string::npos);
    EXPECT_NE(Log().find("frmHDD; ckbRecyclerAutoClean_Click; 0 gesetzt"), std::string::npos);
}

TEST_F(DiskWindow, SwitchingOffKeepsTheEntryWhenItCannotBeSavedFirst) {
    folder.Write(L"tmpdirs.txt", ToAnsi(folder.Path()) + "tmpA\r\n");
    frmHDD& w = Open();
    Click(w, IDC_chbTempFilesDel);
    ASSERT_FALSE(RunEntry().empty());
    folder.Write(L"Backup", "a file where the backup folder belongs");
    std::vector<std::wstring> texts;
    {
        MessageBoxes boxes(L"Torvane", {IDOK});
        Click(w, IDC_chbTempFilesDel);
        texts = boxes.Texts();
    }
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind(L"Das automatische Löschen konnte nicht abgeschaltet werden.", 0), 0u);
    EXPECT_FALSE(RunEntry().empty());
    EXPECT_TRUE(Checked(w, IDC_chbTempFilesDel));
}

TEST_F(DiskWindow, EmptyingLeavesTheFoldersTheirLinksTargetsAndRefusedFolders) {
    const std::wstring canary = folder.Write(L"canary\\precious.txt", "keep");
    const std::wstring a = folder.Path() + L"tmpA", b = folder.Path() + L"tmpB";
    folder.Write(L"tmpA\\one.tmp");
    folder.Write(L"tmpA\\sub\\two.tmp");
    folder.Write(L"tmpB\\three.tmp");
    if (!MakeLink(a + L"\\toCanary", folder.Path() + L"canary", true)) GTEST_SKIP() << "the platform can create no links here";
    const std::wstring win = AppEnvironment.WinDir.substr(0, AppEnvironment.WinDir.size() - 1);
    const std::wstring winsxs = AppEnvironment.WinDir + L"winsxs";
    folder.Write(L"tmpdirs.txt", ToAnsi(a) + "\r\n" + ToAnsi(b) + "\r\n" + ToAnsi(win) + "\r\n" + ToAnsi(winsxs) + "\r\n");
    frmHDD& w = Open();
    ASSERT_EQ(w.List().Count(), 4);

    // The marked folder only.
    SelectOnly(w, {1});
    Mdi().Command(IDM_mnuHDDFolderCleanCurrent);
    EXPECT_FALSE(FileExists(b + L"\\three.tmp"));
    EXPECT_TRUE(FileExists(a + L"\\one.tmp"));
    EXPECT_EQ(w.LastResult(), L"1 Einträge gelöscht, 0 übergangen (in Gebrauch oder geschützt)");

    std::vector<std::wstring> texts;
    {
        MessageBoxes boxes(L"Torvane", {IDOK});
        Key(w, VK_F7);
        WaitFor([&] { return !boxes.Texts().empty(); });
        texts = boxes.Texts();
    }
    EXPECT_TRUE(FileExists(a));
    EXPECT_FALSE(FileExists(a + L"\\one.tmp"));
    EXPECT_FALSE(FileExists(a + L"\\sub"));
    EXPECT_EQ(ReadBytes(canary), "keep");
    ASSERT_FALSE(texts.empty());
    EXPECT_NE(texts.back().find(L"Der Ordner " + win + L" ist der Windows-Ordner und wurde nicht geleert."),
              std::wstring::npos);
    EXPECT_NE(texts.back().find(L"Der Ordner " + winsxs + L" liegt im Windows-Ordner und wurde nicht geleert."),
              std::wstring::npos);
    EXPECT_EQ(Mdi().Status().Panel(1), w.LastResult());
    EXPECT_NE(Log().find(ToAnsi(a) + "\\ geleert: "), std::string::npos) << Log();
    RemoveLink(a + L"\\toCanary");
}

namespace {
// Reads the wait window's count from another thread while the window's thread empties folders.
// A read only succeeds when that thread answers messages meanwhile.
class ProgressWatch {
public:
    ProgressWatch() : owner_(GetCurrentThreadId()) { thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
    ~ProgressWatch() {
        stop_ = true;
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
    }
    std::vector<std::wstring> Seen() {
        std::lock_guard<std::mutex> lock(m_);
        return seen_;
    }

private:
    static BOOL CALLBACK Find(HWND w, LPARAM found) {
        if (!IsWindowVisible(w) || !GetDlgItem(w, IDC_lblWaitCount)) return TRUE;
        *reinterpret_cast<HWND*>(found) = w;
        return FALSE;
    }
    static DWORD WINAPI Run(void* p) {
        auto* self = static_cast<ProgressWatch*>(p);
        while (!self->stop_) {
            HWND wait = nullptr;
            EnumThreadWindows(self->owner_, Find, reinterpret_cast<LPARAM>(&wait));
            wchar_t text[128] = L"";
            DWORD_PTR n = 0;
            if (wait && SendMessageTimeoutW(GetDlgItem(wait, IDC_lblWaitCount), WM_GETTEXT, 128,
                                            reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 1000, &n) && n > 0) {
                std::lock_guard<std::mutex> lock(self->m_);
                if (self->seen_.empty() || self->seen_.back() != text) self->seen_.push_back(text);
            }
            Sleep(5);
        }
        return 0;
    }
    DWORD owner_;
    HANDLE thread_ = nullptr;
    std::atomic<bool> stop_{false};
    std::mutex m_;
    std::vector<std::wstring> seen_;
};
}  // namespace

TEST_F(DiskWindow, EmptyingShowsItsProgressAndTheWindowAnswersMeanwhile) {
    const std::wstring big = folder.Path() + L"tmpBig";
    constexpr int kFiles = 4000;
    for (int i = 0; i < kFiles; ++i) folder.Write(L"tmpBig\\sub" + std::to_wstring(i % 40) + L"\\" + std::to_wstring(i) + L".tmp");
    folder.Write(L"tmpdirs.txt", ToAnsi(big) + "\r\n");
    frmHDD& w = Open();
    std::vector<std::wstring> seen;
    {
        ProgressWatch watch;
        Key(w, VK_F7);
        seen = watch.Seen();
    }
    EXPECT_EQ(w.LastResult(), std::to_wstring(kFiles + 40) + L" Einträge gelöscht, 0 übergangen (in Gebrauch oder geschützt)");
    EXPECT_TRUE(FileExists(big));
    EXPECT_FALSE(FileExists(big + L"\\sub0"));
    // Counts read while the run was at work: it showed how far it had got, and it answered.
    std::wstring all;
    for (const std::wstring& t : seen) all += t + L" | ";
    const std::wstring of = L" von " + std::to_wstring(kFiles + 40) + L" Einträgen";
    const auto midway = std::find_if(seen.begin(), seen.end(), [&](const std::wstring& t) {
        return t.find(of) != std::wstring::npos && t.rfind(std::to_wstring(kFiles + 40) + of, 0) != 0;
    });
    EXPECT_NE(midway, seen.end()) << ToUtf8(all);
}

TEST_F(DiskWindow, OnWindowsNt4BothSystemToolsAreOff) {
    AppEnvironment.OSName = L"Windows NT4";
    AppSwitches.Recycler = 1;
    frmHDD& w = Open();
    EXPECT_FALSE(Enabled(w, IDC_cmdEmptyRecycler));
    EXPECT_FALSE(Enabled(w, IDC_cmdHDDBereinigen));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(w.hwnd(), IDC_lblNotEmptyRecycler)));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(w.hwnd(), IDC_lblNotHDDBereinigen)));
    EXPECT_EQ(Wnd(GetDlgItem(w.hwnd(), IDC_lblRecyclerHDD)).Text(), L"Zu löschende Dateien werden in den Papierkorb verschoben.");
    EXPECT_EQ(w.RecyclerColour(), RGB(0, 128, 0));
}

TEST_F(DiskWindow, TemporaryFilesModeRefusesEachDangerousLineAndNeverFollowsALink) {
    const std::wstring canary = folder.Write(L"canary\\precious.txt", "keep");
    const std::wstring a = folder.Path() + L"tmpA";
    folder.Write(L"tmpA\\one.tmp");
    folder.Write(L"tmpA\\sub\\two.tmp");
    if (!MakeLink(a + L"\\sub\\toCanary", folder.Path() + L"canary", true))
        GTEST_SKIP() << "the platform can create no links here";
    const std::wstring profile = AppEnvironment.InstallDir;  // holds the program here
    // The system's component store and installer cache: emptying them breaks Windows.
    const std::wstring winsxs = AppEnvironment.WinDir + L"winsxs", installer = AppEnvironment.WinDir + L"Installer";
    const bool madeInstaller = CreateDirectoryW(installer.c_str(), nullptr) != FALSE;
    const std::wstring msi = installer + L"\\TorvaneTest" + std::to_wstring(GetCurrentProcessId()) + L".msi";
    WriteFileBytes(msi, "cached installer");
    std::vector<std::wstring> components{L""};
    ClassHandler().Files().FindFilesAPI(winsxs, L"*", true, components);
    folder.Write(L"tmpdirs.txt", ToAnsi(a) + "\r\n" + ToAnsi(AppEnvironment.WinDir) + "\r\n" + ToAnsi(profile) +
                                     "\r\nC:\\\r\n" + ToAnsi(folder.Path()) + "canary\\..\r\n" + ToAnsi(winsxs) +
                                     "\r\n" + ToAnsi(installer) + "\r\n");
    AppSwitches.Protokoll = 0;
    Tempfiledelete();
    std::vector<std::wstring> componentsAfter{L""};
    ClassHandler().Files().FindFilesAPI(winsxs, L"*", true, componentsAfter);
    EXPECT_EQ(componentsAfter, components);
    EXPECT_EQ(ReadBytes(msi), "cached installer");
    DeleteFileW(msi.c_str());
    if (madeInstaller) RemoveDirectoryW(installer.c_str());
    EXPECT_FALSE(WindowHandler().IsLoaded(WindowNo::Login));
    EXPECT_TRUE(FileExists(a));
    EXPECT_FALSE(FileExists(a + L"\\one.tmp"));
    EXPECT_FALSE(FileExists(a + L"\\sub\\two.tmp"));
    EXPECT_EQ(ReadBytes(canary), "keep");
    const std::string log = Log();
    EXPECT_NE(log.find("; modMain; Main; " + ToAnsi(a) + "\\ geleert: "), std::string::npos) << log;
    EXPECT_NE(log.find(ToAnsi(AppEnvironment.WinDir + L" ist der Windows-Ordner und wurde übergangen.")), std::string::npos) << log;
    EXPECT_NE(log.find(ToAnsi(profile + L" enthält dieses Programm und wurde übergangen.")), std::string::npos) << log;
    EXPECT_NE(log.find(ToAnsi(L"C:\\ ist ein ganzes Laufwerk und wurde übergangen.")), std::string::npos) << log;
    EXPECT_NE(log.find(ToAnsi(L"canary\\..\\ enthält dieses Programm und wurde übergangen.")), std::string::npos) << log;
    EXPECT_NE(log.find(ToAnsi(winsxs + L"\\ liegt im Windows-Ordner und wurde übergangen.")), std::string::npos) << log;
    EXPECT_NE(log.find(ToAnsi(installer + L"\\ liegt im Windows-Ordner und wurde übergangen.")), std::string::npos) << log;
    EXPECT_NE(log.find("Tempfiledelete: 1 Ordner geleert, "), std::string::npos) << log;
    EXPECT_NE(log.find(ToAnsi(L" übergangen, 6 Ordner abgelehnt")), std::string::npos) << log;
    RemoveLink(a + L"\\sub\\toCanary");
}
