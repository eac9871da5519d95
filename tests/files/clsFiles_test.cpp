// tests/files/clsFiles_test.cpp
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/Text.h"
#include "files/clsFiles.h"
#include "support/Links.h"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include <gtest/gtest.h>
#include <shellapi.h>
#include <algorithm>

namespace {
bool OnWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

void SetAttributes(const std::wstring& path, DWORD attributes) { ASSERT_TRUE(SetFileAttributesW(path.c_str(), attributes)); }

int64_t RecycleBinItems() {
    SHQUERYRBINFO info{};
    info.cbSize = sizeof info;
    return SUCCEEDED(SHQueryRecycleBinW(nullptr, &info)) ? info.i64NumItems : -1;
}
}  // namespace

class FilesTest : public testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(dir.Path());
        AppSwitches.Recycler = 0;  // the recycle bin is the user's: only the tests of that road use it
        work = dir.Path() + L"work\\";
        CreateDirectoryW(work.c_str(), nullptr);
    }
    clsFiles& Files() { return ClassHandler().Files(); }
    bool Logged(const std::wstring& text) { return ReadBytes(dir.Path() + L"torvane.log").find(ToAnsi(text)) != std::string::npos; }
    size_t LogPos(const std::wstring& text) { return ReadBytes(dir.Path() + L"torvane.log").find(ToAnsi(text)); }

    RegistrySandbox registry;
    TempFolder dir;
    std::wstring work;
};

TEST_F(FilesTest, StripNullCutsAtFirstZero) {
    EXPECT_EQ(clsFiles::StripNull(std::wstring(L"abc\0def", 7)), L"abc");
    EXPECT_EQ(clsFiles::StripNull(std::wstring(L"\0x", 2)), L"");
    EXPECT_EQ(clsFiles::StripNull(L"abc"), L"abc");
    EXPECT_EQ(clsFiles::StripNull(L""), L"");
}

TEST_F(FilesTest, FileKindOnlyForSingleAttributes) {
    const std::wstring f = dir.Write(L"work\\k.txt");
    const std::pair<DWORD, int32_t> cases[] = {
        {FILE_ATTRIBUTE_READONLY, 1}, {FILE_ATTRIBUTE_HIDDEN, 2}, {FILE_ATTRIBUTE_SYSTEM, 4},
        {FILE_ATTRIBUTE_ARCHIVE, 32}, {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, 0},
        // Wine marks every file as archive: there the flag cannot tell a read-only file apart.
        {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY, OnWine() ? 1 : 0}};
    for (auto [attributes, kind] : cases) {
        SetAttributes(f, attributes);
        EXPECT_EQ(Files().FileKind(f), kind) << attributes;
    }
    EXPECT_EQ(Files().FileKind(work), 16);
    EXPECT_EQ(Files().FileKind(work + L"missing.txt"), 0);
    SetAttributes(f, FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FilesTest, FileDateIsLocalDayMonthYearWithoutLeadingZeros) {
    const std::wstring f = dir.Write(L"work\\old.reg");
    SYSTEMTIME local{2004, 2, 0, 3, 12, 0, 0, 0}, utc;
    FILETIME ft;
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) && SystemTimeToFileTime(&utc, &ft));
    HANDLE h = CreateFileW(f.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
    CloseHandle(h);
    EXPECT_EQ(Files().FileDate(f), L"3.2.2004");

    // A missing file gives no date and an error entry, and does not raise.
    EXPECT_EQ(Files().FileDate(work + L"missing.reg"), L"");
    EXPECT_TRUE(Logged(L"clsFiles; FileDate; " + work + L"missing.reg; 53;"));
}

TEST_F(FilesTest, FindFilesApiSumsSizesAndAppendsPaths) {
    std::vector<std::wstring> list{L"", L"kept"};
    EXPECT_EQ(Files().FindFilesAPI(work, L"*.*", true, list), 0u);
    EXPECT_EQ(list, (std::vector<std::wstring>{L"", L"kept"}));

    dir.Write(L"work\\a.txt", "abc");
    dir.Write(L"work\\noext", "12");
    dir.Write(L"work\\sub\\b.txt", "12345");
    const std::wstring unicode = dir.Write(L"work\\sub\\deep\\Журнал_日本.txt", "1234567");
    list = {L""};
    EXPECT_EQ(Files().FindFilesAPI(dir.Path() + L"work", L"*.txt", true, list), 15u);  // missing "\" appended
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0], L"");
    EXPECT_EQ(list[1], work + L"a.txt");
    EXPECT_NE(std::find(list.begin(), list.end(), unicode), list.end());

    list = {L""};
    EXPECT_EQ(Files().FindFilesAPI(work, L"*.txt", false, list), 3u);
    EXPECT_EQ(list, (std::vector<std::wstring>{L"", work + L"a.txt"}));

    // "*.*" also matches names without a dot and the folders themselves.
    list = {L""};
    EXPECT_EQ(Files().FindFilesAPI(work, L"*.*", false, list), 5u);
    EXPECT_EQ(list.size(), 4u);
    EXPECT_NE(std::find(list.begin(), list.end(), work + L"sub"), list.end());
}

TEST_F(FilesTest, LongPathsAreSearchedAndDeleted) {
    std::wstring relative = L"work\\";
    while (relative.size() < 400) relative += L"a_rather_long_folder_name_0123456789\\";
    const std::wstring file = dir.Write(relative + L"deep.txt", "1234");
    ASSERT_TRUE(FileExists(L"\\\\?\\" + file));
    std::vector<std::wstring> list{L""};
    EXPECT_EQ(Files().FindFilesAPI(work, L"deep.txt", true, list), 4u);
    EXPECT_EQ(list, (std::vector<std::wstring>{L"", file}));
    EXPECT_EQ(Files().FileKind(file), 32);
    Files().FileDel(work);
    EXPECT_FALSE(FileExists(L"\\\\?\\" + file));
    EXPECT_FALSE(FileExists(work + L"a_rather_long_folder_name_0123456789"));
}

TEST_F(FilesTest, FileDelEmptiesTreeForGoodChildrenFirstAndKeepsFolder) {
    AppSwitches.Protokoll = 1;
    AppSwitches.Recycler = 0;
    const std::wstring t = work + L"t\\";
    const std::wstring deepFile = dir.Write(L"work\\t\\sub\\deep\\c.txt");
    const std::wstring plain = dir.Write(L"work\\t\\a.txt");
    const std::wstring unicode = dir.Write(L"work\\t\\Файл_中文.txt");
    const std::wstring readOnly = dir.Write(L"work\\t\\ro.txt");
    const std::wstring hiddenReadOnly = dir.Write(L"work\\t\\hr.txt");
    SetAttributes(readOnly, FILE_ATTRIBUTE_READONLY);
    SetAttributes(hiddenReadOnly, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);

    Files().FileDel(t);
    EXPECT_TRUE(FileExists(t));
    EXPECT_TRUE(FileExists(readOnly));  // exactly read-only: left alone
    for (const auto& gone : {deepFile, plain, unicode, hiddenReadOnly, t + L"sub\\deep", t + L"sub"})
        EXPECT_FALSE(FileExists(gone)) << gone;
    EXPECT_TRUE(Logged(L"clsFiles; FileDel; Dateien in Papierkorb=0;"));
    const size_t file = LogPos(deepFile + L" wurde dauerhaft gelöscht");
    const size_t folder = LogPos(t + L"sub\\deep wurde dauerhaft gelöscht");
    ASSERT_NE(file, std::string::npos);
    ASSERT_NE(folder, std::string::npos);
    EXPECT_LT(file, folder);

    // Without the final "\" the folder itself goes, but not past a read-only file.
    Files().FileDel(work + L"t");
    EXPECT_TRUE(FileExists(readOnly));
    EXPECT_TRUE(Logged(work + L"t wurde nicht gelöscht; Zugriff verweigert"));
    SetAttributes(readOnly, FILE_ATTRIBUTE_NORMAL);
    Files().FileDel(work + L"t");
    EXPECT_FALSE(FileExists(t));
}

TEST_F(FilesTest, DeletionFailuresAreLoggedNotRaised) {
    const std::wstring locked = dir.Write(L"work\\locked.txt");
    HANDLE h = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    Files().DoFileDel(locked);
    CloseHandle(h);
    EXPECT_TRUE(FileExists(locked));
    // Logging is off: the failure is still written.
    EXPECT_TRUE(Logged(locked + L" wurde nicht gelöscht; Zugriff verweigert"));

    const std::wstring readOnly = dir.Write(L"work\\ro.txt");
    SetAttributes(readOnly, FILE_ATTRIBUTE_READONLY);
    for (int16_t recycler : {0, 1}) {
        AppSwitches.Recycler = recycler;
        Files().DoFileDel(readOnly);
        EXPECT_TRUE(FileExists(readOnly));
    }
    SetAttributes(readOnly, FILE_ATTRIBUTE_NORMAL);
    Files().DoFileDel(work + L"missing.txt");  // nothing there, nothing happens
    Files().FileDel(L"");
}

TEST_F(FilesTest, LinksAreNeverFollowed) {
    const std::wstring outside = dir.Write(L"outside\\keep.txt", "precious");
    const std::wstring t = work + L"t\\";
    dir.Write(L"work\\t\\own.txt");
    if (!MakeLink(t + L"folderlink", dir.Path() + L"outside", true) || !MakeLink(t + L"filelink", outside, false))
        GTEST_SKIP() << "the platform can create no links here";
    ASSERT_TRUE(GetFileAttributesW((t + L"folderlink").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);

    std::vector<std::wstring> list{L""};
    Files().FindFilesAPI(work, L"*.*", true, list);
    EXPECT_NE(std::find(list.begin(), list.end(), t + L"folderlink"), list.end());
    EXPECT_EQ(std::find(list.begin(), list.end(), t + L"folderlink\\keep.txt"), list.end());

    for (int16_t recycler : {0, 1}) {
        AppSwitches.Recycler = recycler;
        Files().FileDel(work + L"t");     // the folder as a whole
        Files().DoFileDel(t + L"folderlink");
        Files().DoFileDel(t + L"filelink");
        Files().FileDel(t);               // everything in it
        EXPECT_EQ(ReadBytes(outside), "precious") << recycler;
    }
    EXPECT_FALSE(FileExists(t + L"own.txt"));
    if (OnWine()) {
        // Wine can delete a link only through its target, so the links stay and say so.
        EXPECT_TRUE(Logged(t + L"folderlink wurde nicht gelöscht; Zugriff verweigert"));
        EXPECT_TRUE(Logged(t + L"filelink wurde nicht gelöscht; Zugriff verweigert"));
        EXPECT_TRUE(Logged(work + L"t wurde nicht in Papierkorb verschoben; Zugriff verweigert"));
    } else {
        EXPECT_FALSE(FileExists(t + L"folderlink"));
        EXPECT_FALSE(FileExists(t + L"filelink"));
    }
    RemoveLink(t + L"folderlink");
    RemoveLink(t + L"filelink");
}

TEST_F(FilesTest, ProtectedPlacesAreNeverDeletedNorEmptiedAndSayWhy) {
    // A folder of this test's own inside the Windows folder: everything in it is protected.
    const std::wstring mine = AppEnvironment.WinDir + L"TorvaneTest" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    ASSERT_TRUE(CreateDirectoryW(mine.c_str(), nullptr));
    const std::wstring file = mine + L"keep.txt";
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    for (int16_t recycler : {0, 1}) {
        AppSwitches.Recycler = recycler;
        EXPECT_FALSE(Files().DoFileDel(file));
        const DeleteCount emptied = Files().FileDel(mine);
        EXPECT_EQ(emptied.deleted + emptied.kept, 0u);
        EXPECT_EQ(Files().FileDel(file).deleted, 0u);
        EXPECT_TRUE(FileExists(file)) << recycler;
    }
    // Logged with logging off, with the reason.
    EXPECT_TRUE(Logged(file + L" liegt im Windows-Ordner und wurde nicht gelöscht."));
    EXPECT_TRUE(Logged(mine + L" liegt im Windows-Ordner und wurde nicht geleert."));
    DeleteFileW(file.c_str());
    RemoveDirectoryW(mine.c_str());

    // This program's folder is never emptied; its own files in it may go.
    const std::wstring log = dir.Write(L"old.log");
    EXPECT_EQ(Files().FileDel(dir.Path()).deleted, 0u);
    EXPECT_TRUE(FileExists(log));
    EXPECT_TRUE(Logged(dir.Path() + L" enthält dieses Programm und wurde nicht geleert."));
    EXPECT_TRUE(Files().DoFileDel(log));
    EXPECT_FALSE(FileExists(log));
}

TEST_F(FilesTest, RecyclerRoadMovesFilesAndFoldersAway) {
    AppSwitches.Protokoll = 1;
    AppSwitches.Recycler = 1;
    const int64_t before = RecycleBinItems();
    const std::wstring unicode = dir.Write(L"work\\Корзина_回收.txt");
    const std::wstring hidden = dir.Write(L"work\\hr.txt");
    SetAttributes(hidden, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    dir.Write(L"work\\bin\\x.txt");
    Files().DoFileDel(unicode);
    Files().DoFileDel(hidden);
    Files().FileDel(work + L"bin");
    EXPECT_FALSE(FileExists(unicode));
    EXPECT_FALSE(FileExists(hidden));
    EXPECT_FALSE(FileExists(work + L"bin"));
    EXPECT_TRUE(Logged(hidden + L" wurde in Papierkorb verschoben"));
    EXPECT_TRUE(Logged(work + L"bin wurde in Papierkorb verschoben"));
    EXPECT_GE(RecycleBinItems(), before + 3);

    // "RecyclerSecurity" 0 asks first; "No" keeps the bin as it is.
    AppSwitches.RecyclerSecurity = 0;
    const int64_t filled = RecycleBinItems();
    AutoAnswer no(L"Confirm deletion", IDNO);
    Files().EmptyRecycler(nullptr);
    EXPECT_TRUE(no.Wait());
    EXPECT_EQ(RecycleBinItems(), filled);

    // Emptying without a question only when the bin held nothing of the user's before.
    if (before != 0) GTEST_SKIP() << "recycle bin not empty before the test: not emptied";
    AppSwitches.RecyclerSecurity = 1;
    AutoAnswer none(L"Confirm deletion", IDNO, 1500);
    Files().EmptyRecycler(nullptr);
    EXPECT_FALSE(none.Wait());
    // Wine's bin keeps folders and read-only files: then that is an error entry, never silence.
    const int64_t left = RecycleBinItems();
    EXPECT_TRUE(left == 0 || Logged(L"clsFiles; EmptyRecycler; ; 70;")) << left;
    if (left && WineRunsUnix()) {
        // Everything in the bin is this test's: take out what Wine could not.
        RunUnix(L"/bin/sh -c \"cd \\\"${XDG_DATA_HOME:-$HOME/.local/share}/Trash\\\" && rm -rf files/bin files/hr.txt "
                L"info/bin.trashinfo info/hr.txt.trashinfo\"", L"", false);
        WaitFor([] { return RecycleBinItems() == 0; }, 60000);
    }
}

TEST_F(FilesTest, DrivesAndConnections) {
    AppSwitches.Protokoll = 1;
    EXPECT_EQ(Files().GetDrive(L"C:\\"), 3);
    EXPECT_EQ(Files().GetDrive(L""), 0);
    std::wstring missing = L"Q:\\";
    while (GetDriveTypeW(missing.c_str()) != DRIVE_NO_ROOT_DIR && missing[0] < L'Y') ++missing[0];
    AutoAnswer prompt(AppEnvironment.AppTitle, IDYES, 1500);
    EXPECT_EQ(Files().GetDrive(missing), 0);
    EXPECT_FALSE(prompt.Wait());
    EXPECT_FALSE(Files().bErrorNetPath);

    EXPECT_EQ(Files().GetUNCPath(L"C:"), L"");
    EXPECT_TRUE(Logged(L"clsFiles; fGetUNCPath; Suche LW: C: UNC-Meldung: Keine Verbindung;"));
    const std::wstring drive = missing.substr(0, 2);
    EXPECT_EQ(Files().GetUNCPath(drive), L"");
    EXPECT_TRUE(Logged(L"Suche LW: " + drive + L" UNC-Meldung: Unbekanntes Laufwerk;"));
}

TEST_F(FilesTest, SelFolderCancelledGivesEmptyText) {
    AutoAnswer cancel(L"Browse for Folder", IDCANCEL);
    EXPECT_EQ(Files().SelFolder(), L"");
    EXPECT_TRUE(cancel.Wait());
}

TEST_F(FilesTest, UnreachableNetworkDriveIsAskedThroughTheCallersQuestions) {
    struct Recorder : DriveQuestions {
        bool answer = false;
        std::vector<std::wstring> texts, roots;
        bool AskNetworkDrive(const std::wstring& text, const std::wstring& root) override {
            texts.push_back(text);
            roots.push_back(root);
            return answer;
        }
    } asker;
    // C: has no network connection to report ("Keine Verbindung"): as a network drive it is unreachable.
    Files().DriveType = [](const std::wstring& root) -> unsigned {
        return root == L"C:\\" ? DRIVE_REMOTE : GetDriveTypeW(root.c_str());
    };
    // Any box the service opened itself would be recorded (and answered) here.
    MessageBoxes boxes(AppEnvironment.AppTitle, {IDYES});

    EXPECT_EQ(Files().GetDrive(L"C:\\", &asker), 4);
    EXPECT_EQ(asker.texts.size(), 1u);
    if (!asker.texts.empty()) {
        EXPECT_EQ(asker.texts[0], L"Es wurde ein Registryeintrag gefunden, der auf das Netzlaufwerk C:\\verweist.\r\n"
                                  L"Der Versuch ein Verbindung zu C:\\ herzustellen, wurde mit der Meldung 'Keine "
                                  L"Verbindung' abgebrochen.\r\n\r\nWenn C:\\ nicht mehr vorhanden ist, kann der Eintrag "
                                  L"gelöscht werden.\r\nWollen Sie das tun?");
    }
    EXPECT_EQ(asker.roots, std::vector<std::wstring>{L"C:\\"});
    EXPECT_FALSE(Files().bErrorNetPath);

    // "No" asks again next time; "Yes" never again.
    asker.answer = true;
    EXPECT_EQ(Files().GetDrive(L"C:\\", &asker), 4);
    EXPECT_TRUE(Files().bErrorNetPath);
    EXPECT_EQ(Files().GetDrive(L"C:\\", &asker), 4);
    EXPECT_EQ(asker.texts.size(), 2u);

    // A caller without questions (the console's cleanup, a test) is never asked, the kind is the same.
    Files().bErrorNetPath = false;
    EXPECT_EQ(Files().GetDrive(L"C:\\"), 4);
    EXPECT_FALSE(Files().bErrorNetPath);
    EXPECT_TRUE(boxes.Texts().empty());
    Files().DriveType = nullptr;
    Files().bErrorNetPath = false;
}
