// tests/journal/ProtectedFolders_test.cpp: the folders that are never emptied nor deleted, and
// which folders count as temp folders.
#include "core/AppEnvironment.h"
#include "core/Text.h"
#include "journal/Protected.h"
#include "support/Links.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>
#include <knownfolders.h>
#include <shlobj.h>

namespace {
std::wstring Known(REFKNOWNFOLDERID id) {
    PWSTR p = nullptr;
    std::wstring out;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &p))) out = p;
    CoTaskMemFree(p);
    return out;
}

class ProtectedFolders : public testing::Test {
protected:
    void SetUp() override { PrepareEnvironment(dir.Path()); }
    void Expect(const std::vector<std::pair<std::wstring, std::wstring>>& cases) {
        for (const auto& [path, reason] : cases) EXPECT_EQ(WhyPathProtected(path), reason) << ToUtf8(path);
    }
    RegistrySandbox registry;
    TempFolder dir;
};
}  // namespace

TEST_F(ProtectedFolders, EveryKindOfProtectedFolderIsRefusedWithWhatItIs) {
    const AppEnvironmentRecord& env = AppEnvironment;
    const std::wstring win = env.WinDir, profile = Known(FOLDERID_Profile), data = Known(FOLDERID_ProgramData);
    const std::wstring documents = Known(FOLDERID_Documents);
    ASSERT_FALSE(profile.empty());
    ASSERT_FALSE(data.empty());
    Expect({
        {L"relative\\dir", L"ist kein vollständiger Pfad"},
        {L"C:", L"ist kein vollständiger Pfad"},
        {L"", L"ist kein vollständiger Pfad"},
        {L"C:\\", L"ist ein ganzes Laufwerk"},
        {L"Z:\\", L"ist ein ganzes Laufwerk"},
        {L"\\\\server\\share", L"ist ein ganzes Laufwerk"},
        {L"\\\\server\\share\\", L"ist ein ganzes Laufwerk"},
        // The Windows folder and all below it, the system folders first, whatever the spelling.
        {win, L"ist der Windows-Ordner"},
        {ToLower(win.substr(0, win.size() - 1)), L"ist der Windows-Ordner"},
        {L"\\\\?\\" + win, L"ist der Windows-Ordner"},
        {win + L"Temp\\..", L"ist der Windows-Ordner"},
        {win + L"winsxs", L"liegt im Windows-Ordner"},
        {win + L"Installer", L"liegt im Windows-Ordner"},
        {win + L"Installer\\{GUID}\\setup.msi", L"liegt im Windows-Ordner"},
        {win + L"Temp2", L"liegt im Windows-Ordner"},
        {win + L"win.ini", L"liegt im Windows-Ordner"},
        {Known(FOLDERID_System), L"ist ein Systemordner von Windows"},
        {Known(FOLDERID_System) + L"\\drivers", L"ist ein Systemordner von Windows"},
        // The program folders and all below them.
        {env.ProgramFilesDir, L"enthält installierte Programme"},
        {env.ProgramFilesDir + L"Common Files", L"gehört zu den installierten Programmen"},
        {env.ProgramFilesDir + L"Vendor\\App\\cache", L"gehört zu den installierten Programmen"},
        // ProgramData is no personal folder; its direct sub-folders belong to programs.
        {data, L"ist der Ordner ProgramData mit den Daten der Programme für alle Benutzer"},
        {data + L"\\Vendor", L"ist ein Ordner mit den Daten eines Programms für alle Benutzer (ProgramData)"},
        {data + L"\\Vendor\\Cache", L""},
        // The profiles, the user's own folders and all below the personal ones.
        {profile, L"ist Ihr Benutzerprofil"},
        {profile.substr(0, profile.find_last_of(L'\\')), L"enthält die Benutzerprofile"},
        {Known(FOLDERID_RoamingAppData), L"ist der Ordner Ihrer Anwendungsdaten (AppData\\Roaming)"},
        {Known(FOLDERID_LocalAppData), L"ist der Ordner Ihrer lokalen Anwendungsdaten (AppData\\Local)"},
        {Known(FOLDERID_LocalAppData) + L"\\Vendor\\Cache", L""},
        {profile + L"\\AppData", L"enthält den Ordner Ihrer Anwendungsdaten (AppData\\Roaming)"},
        {Known(FOLDERID_Desktop), L"ist Ihr Desktop"},
        {Known(FOLDERID_Desktop) + L"\\Projekt", L"liegt auf Ihrem Desktop"},
        {documents, L"ist Ihr Ordner Dokumente"},
        {documents + L"\\Temp", L"liegt in Ihrem Ordner Dokumente"},
        {documents + L"\\Briefe\\2024\\brief.txt", L"liegt in Ihrem Ordner Dokumente"},
        {Known(FOLDERID_Downloads), L"ist Ihr Ordner Downloads"},
        {Known(FOLDERID_Music), L"ist Ihr Ordner Musik"},
        {Known(FOLDERID_Pictures) + L"\\Urlaub", L"liegt in Ihrem Ordner Bilder"},
        {Known(FOLDERID_Videos), L"ist Ihr Ordner Videos"},
        {Known(FOLDERID_Favorites), L"ist Ihr Ordner Favoriten"},
        {Known(FOLDERID_Templates), L"ist Ihr Ordner Vorlagen"},
        {Known(FOLDERID_SendTo) + L"\\Editor.lnk", L"liegt in Ihrem Ordner Senden an"},
        {Known(FOLDERID_StartMenu), L"ist Ihr Startmenü"},
        {Known(FOLDERID_Startup), L"ist Ihr Autostart-Ordner"},
        {Known(FOLDERID_Startup) + L"\\app.lnk", L"liegt in Ihrem Autostart-Ordner"},
        // This program's folders, and every folder that holds one of them.
        {dir.Path(), L"enthält dieses Programm"},
        {dir.Path().substr(0, dir.Path().size() - 1), L"enthält dieses Programm"},
        {ProgramFolder(), L"enthält dieses Programm"},
        {env.BackupDir, L"enthält die Sicherungsdateien dieses Programms"},
        {dir.Path() + L"tmpA", L""},
    });
    // Known folders the platform may lack: checked where it has them.
    for (REFKNOWNFOLDERID id : {FOLDERID_Links, FOLDERID_SavedGames, FOLDERID_SavedSearches, FOLDERID_Contacts,
                                FOLDERID_SkyDrive})
        if (const std::wstring f = Known(id); !f.empty()) {
            EXPECT_EQ(WhyPathProtected(f).rfind(L"ist Ihr ", 0), 0u) << ToUtf8(f);
            EXPECT_EQ(WhyPathProtected(f + L"\\x").rfind(L"liegt in Ihrem ", 0), 0u) << ToUtf8(f);
        }
    // The temp folder holds this test's program folder: emptying it would take the program along.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    EXPECT_EQ(WhyPathProtected(temp), L"enthält dieses Programm");
    // A short name is the folder under its long name.
    wchar_t shortName[MAX_PATH] = L"";
    if (GetShortPathNameW(win.c_str(), shortName, MAX_PATH) && shortName != win) {
        EXPECT_EQ(WhyPathProtected(shortName), L"ist der Windows-Ordner") << ToUtf8(shortName);
    }
}

TEST_F(ProtectedFolders, OnlyTheWindowsTempFolderAndThisProgramsOwnFilesAreFreeBelowAProtectedFolder) {
    AppEnvironmentRecord& env = AppEnvironment;
    CreateDirectoryW((env.WinDir + L"Temp").c_str(), nullptr);
    EXPECT_EQ(WhyNotEmptied(env.WinDir + L"Temp"), L"");
    EXPECT_EQ(WhyPathProtected(env.WinDir + L"TEMP\\setup\\x.log"), L"");

    // Installed among the programs: its log and undo files are its own, the rest is not.
    env.InstallDir = env.ProgramFilesDir + L"Torvane\\";
    env.BackupDir = env.InstallDir + L"Backup\\";
    EXPECT_EQ(WhyPathProtected(env.InstallDir + L"torvane.log"), L"");
    EXPECT_EQ(WhyPathProtected(env.BackupDir + L"Rückgängig_RegScan_01012024_120000.reg"), L"");
    EXPECT_EQ(WhyPathProtected(env.InstallDir), L"enthält dieses Programm");
    EXPECT_EQ(WhyPathProtected(env.BackupDir), L"enthält die Sicherungsdateien dieses Programms");
    EXPECT_EQ(WhyPathProtected(env.ProgramFilesDir + L"Other\\other.exe"), L"gehört zu den installierten Programmen");

    // Installed in the Windows folder or a whole drive, it frees nothing.
    env.InstallDir = env.WinDir;
    EXPECT_EQ(WhyPathProtected(env.WinDir + L"win.ini"), L"liegt im Windows-Ordner");
    env.InstallDir = L"C:\\";
    EXPECT_EQ(WhyPathProtected(env.WinDir + L"win.ini"), L"liegt im Windows-Ordner");
    EXPECT_EQ(WhyPathProtected(env.ProgramFilesDir + L"Other"), L"gehört zu den installierten Programmen");
}

TEST_F(ProtectedFolders, EmptyingNeedsAnExistingFolderAndNeverGoesThroughALink) {
    EXPECT_EQ(WhyNotEmptied(dir.Path() + L"missing"), L"ist nicht vorhanden");
    EXPECT_EQ(WhyNotEmptied(dir.Write(L"afile.txt")), L"ist nicht vorhanden");
    dir.Write(L"tmpA\\x.tmp");
    EXPECT_EQ(WhyNotEmptied(dir.Path() + L"tmpA\\"), L"");
    EXPECT_EQ(WhyNotEmptied(AppEnvironment.WinDir), L"ist der Windows-Ordner");

    dir.Write(L"canary\\sub\\precious.txt");
    if (!MakeLink(dir.Path() + L"linked", dir.Path() + L"canary", true)) GTEST_SKIP() << "the platform can create no links here";
    EXPECT_EQ(WhyNotEmptied(dir.Path() + L"linked"), L"ist eine Verknüpfung auf einen anderen Ordner");
    const std::wstring through = L"liegt in einem Ordner, der eine Verknüpfung auf einen anderen Ordner ist";
    EXPECT_EQ(WhyNotEmptied(dir.Path() + L"linked\\sub"), through);
    EXPECT_EQ(WhyPathProtected(dir.Path() + L"linked\\sub\\precious.txt"), through);
    EXPECT_EQ(WhyPathProtected(dir.Path() + L"linked"), L"");  // the link itself may go, as a link
    RemoveLink(dir.Path() + L"linked");
}

TEST_F(ProtectedFolders, TempFoldersAreNamedByAWholePartOfThePathAndNeverProtected) {
    for (const wchar_t* temp : {L"C:\\Temp", L"C:\\Users\\a\\AppData\\Local\\TEMP\\x", L"D:\\tmp", L"D:\\Daten\\Tmp\\"})
        EXPECT_TRUE(IsTempFolderPath(temp)) << ToUtf8(temp);
    EXPECT_TRUE(IsTempFolderPath(AppEnvironment.WinDir + L"Temp"));
    for (const std::wstring& other :
         {std::wstring(L"D:\\Temp2"), std::wstring(L"D:\\tmp_files"), std::wstring(L"D:\\Temp-Sicherung"),
          std::wstring(L"C:\\Temporary"), std::wstring(L"C:\\Daten\\Kontemp"),
          std::wstring(L"C:\\Users\\a\\AppData\\Roaming\\Microsoft\\Windows\\Templates"),
          // Named Temp, but protected.
          AppEnvironment.WinDir + L"System32\\Temp", Known(FOLDERID_Documents) + L"\\Temp", std::wstring(L"Temp")})
        EXPECT_FALSE(IsTempFolderPath(other)) << ToUtf8(other);
}

// The same folder by another name is the same folder: the administrative shares of this computer,
// however it is named, and a drive that stands for a folder.
TEST_F(ProtectedFolders, TheSameFolderUnderAnotherNameIsProtectedAsItself) {
    const std::wstring win = AppEnvironment.WinDir;  // "C:\windows\"
    const std::wstring drive(1, win[0]), below = win.substr(3, win.size() - 4);
    // The registry sandbox hides the name from GetComputerNameW; Windows and Wine set it for every process.
    wchar_t name[256] = L"";
    ASSERT_TRUE(GetEnvironmentVariableW(L"COMPUTERNAME", name, 256));
    const std::wstring computer = name;
    Expect({
        {L"\\\\localhost\\" + drive + L"$\\" + below, L"ist der Windows-Ordner"},
        {L"\\\\127.0.0.1\\" + ToLower(drive) + L"$\\" + ToLower(below), L"ist der Windows-Ordner"},
        {L"\\\\127.0.0.1\\" + drive + L"$\\" + below + L"\\System32\\drivers", L"ist ein Systemordner von Windows"},
        {L"\\\\?\\UNC\\localhost\\" + drive + L"$\\" + below + L"\\win.ini", L"liegt im Windows-Ordner"},
        {L"\\\\" + computer + L"\\" + drive + L"$\\" + below, L"ist der Windows-Ordner"},
        {L"\\\\" + ToLower(computer) + L"\\ADMIN$", L"ist der Windows-Ordner"},
        {L"\\\\localhost\\admin$\\Installer\\x.msi", L"liegt im Windows-Ordner"},
        {L"\\\\127.0.0.1\\" + drive + L"$", L"ist ein ganzes Laufwerk"},
        {L"\\\\localhost\\" + drive + L"$\\" + below + L"\\Temp\\setup.log", L""},
        // Another computer's share, or a share of this one that stands for no drive, is no alias.
        {L"\\\\localhost\\Daten\\" + below + L"\\win.ini", L""},
        {L"\\\\localhostx\\" + drive + L"$\\" + below + L"\\win.ini", L""},
        {L"\\\\128.0.0.1\\" + drive + L"$\\" + below + L"\\win.ini", L""},
    });
    EXPECT_EQ(FolderEntries(L"\\\\localhost\\" + drive + L"$\\" + below).WhyEntry(L"win.ini"), L"liegt im Windows-Ordner");

    // A drive that stands for the Windows folder (subst).
    wchar_t letter = 0;
    for (wchar_t l = L'Q'; l <= L'Y' && !letter; ++l)
        if (!(GetLogicalDrives() & (1u << (l - L'A')))) letter = l;
    ASSERT_NE(letter, 0);
    const std::wstring subst = std::wstring(1, letter) + L":";
    if (!DefineDosDeviceW(0, subst.c_str(), win.substr(0, win.size() - 1).c_str()))
        GTEST_SKIP() << "the platform makes no drive that stands for a folder";
    Expect({
        {subst + L"\\", L"ist der Windows-Ordner"},
        {subst + L"\\System32", L"ist ein Systemordner von Windows"},
        {subst + L"\\gibt-es-nicht\\x.txt", L"liegt im Windows-Ordner"},
        {subst + L"\\Temp", L""},
    });
    EXPECT_EQ(WhyNotEmptied(subst + L"\\"), L"ist der Windows-Ordner");
    EXPECT_EQ(FolderEntries(subst + L"\\").WhyEntry(L"win.ini"), L"liegt im Windows-Ordner");
    DefineDosDeviceW(DDD_REMOVE_DEFINITION, subst.c_str(), nullptr);
}

// Judged once for the folder, an entry is what WhyPathProtected says of its path.
TEST_F(ProtectedFolders, AFoldersEntriesAreJudgedAsTheirPaths) {
    AppEnvironmentRecord& env = AppEnvironment;
    dir.Write(L"tmpA\\x.tmp");
    dir.Write(L"Backup\\alt.reg");
    const std::wstring profile = Known(FOLDERID_Profile);
    for (const std::wstring& folder :
         {profile, profile + L"\\AppData", env.WinDir, dir.Path(), dir.Path() + L"tmpA", env.BackupDir,
          Known(FOLDERID_ProgramData), Known(FOLDERID_Documents), Known(FOLDERID_LocalAppData), std::wstring(L"C:\\")}) {
        const FolderEntries entries(folder);
        std::vector<std::wstring> names{L"neu.txt", L"Neu"};
        WIN32_FIND_DATAW fd;
        HANDLE find = FindFirstFileW((WithBackslash(folder) + L"*").c_str(), &fd);
        if (find != INVALID_HANDLE_VALUE) {
            do names.push_back(fd.cFileName);
            while (FindNextFileW(find, &fd));
            FindClose(find);
        }
        for (const std::wstring& n : names) {
            if (n == L"." || n == L"..") continue;
            EXPECT_EQ(entries.WhyEntry(n), WhyPathProtected(WithBackslash(folder) + n)) << ToUtf8(folder) << " " << ToUtf8(n);
        }
    }
    // This program's folder is itself protected, its files are not, its backup folder is.
    const FolderEntries own(dir.Path());
    EXPECT_EQ(own.WhyEntry(L"torvane.log"), L"");
    EXPECT_EQ(own.WhyEntry(L"BACKUP"), L"enthält die Sicherungsdateien dieses Programms");
    EXPECT_EQ(FolderEntries(env.BackupDir).WhyEntry(L"alt.reg"), L"");
    EXPECT_EQ(FolderEntries(env.WinDir).WhyEntry(L"Temp"), L"");
    EXPECT_EQ(FolderEntries(env.WinDir).WhyEntry(L"TEMP2"), L"liegt im Windows-Ordner");
    EXPECT_EQ(FolderEntries(L"relative").WhyEntry(L"x"), L"ist kein vollständiger Pfad");
}
