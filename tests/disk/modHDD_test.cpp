// tests/disk/modHDD_test.cpp: the disk cleanup's list file, emptying and start entry.
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/RuntimeError.h"
#include "core/Text.h"
#include "disk/modHDD.h"
#include "errors/clsError.h"
#include "registry/clsKeyFunc.h"
#include "support/Links.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>

namespace {
class DiskCleanup : public testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(dir.Path());
        AppEnvironment.OSName = L"Windows 10";
        AppSwitches.Recycler = 0;
    }
    std::string Log() { return ReadBytes(clsError::LogPath()); }
    bool Logged(const std::wstring& text) { return Log().find(ToAnsi(text)) != std::string::npos; }
    std::wstring Run(RootKey root) { return ClassHandler().KeyFunc().ReadKeyValue(root, kRunKey, L"Torvane"); }
    void SetRun(RootKey root, const std::wstring& name, const std::wstring& data) {
        ClassHandler().KeyFunc().SetKeyValue(root, kRunKey, name, data, REG_SZ, KEY_SET_VALUE);
    }
    std::vector<std::wstring> UndoFiles() {
        std::vector<std::wstring> list{L""};
        ClassHandler().Files().FindFilesAPI(AppEnvironment.BackupDir, L"*.reg", false, list);
        return {list.begin() + 1, list.end()};
    }

    RegistrySandbox registry;
    TempFolder dir;
};
}  // namespace

TEST_F(DiskCleanup, ListFileKeepsNonEmptyLinesInOrderAsAnsiWithCrLf) {
    const std::wstring file = TmpDirsFile();
    EXPECT_EQ(file, dir.Path() + L"tmpdirs.txt");
    EXPECT_THROW(ReadListLines(file), RuntimeError);

    AppendListLine(file, L"C:\\Temp\\Müll");
    AppendListLine(file, L"D:\\");
    EXPECT_EQ(ReadBytes(file), "C:\\Temp\\M\xFCll\r\nD:\\\r\n");
    dir.Write(L"tmpdirs.txt", "\r\nC:\\a\r\n   \r\nC:\\b\nC:\\a\r\n\r\n");
    EXPECT_EQ(ReadListLines(file), (std::vector<std::wstring>{L"C:\\a", L"C:\\b", L"C:\\a"}));
    WriteListLines(file, {L"C:\\b", L"", L"C:\\a"});
    EXPECT_EQ(ReadBytes(file), "C:\\b\r\nC:\\a\r\n");
    WriteListLines(file, {});
    EXPECT_EQ(ReadBytes(file), "\r\n");
    EXPECT_TRUE(ReadListLines(file).empty());

    EXPECT_TRUE(AnsiHolds(L"C:\\Temp\\Müll"));
    EXPECT_FALSE(AnsiHolds(L"C:\\Temp\\Корзина"));
}

TEST_F(DiskCleanup, EmptyingDeletesTheContentsNeverTheFolderNorThroughALink) {
    const std::wstring canary = dir.Write(L"canary\\precious.txt", "keep");
    const std::wstring t = dir.Path() + L"tmpA\\";
    dir.Write(L"tmpA\\one.tmp");
    dir.Write(L"tmpA\\sub\\two.tmp");
    if (!MakeLink(t + L"sub\\toCanary", dir.Path() + L"canary", true)) GTEST_SKIP() << "the platform can create no links here";
    const std::wstring busy = dir.Write(L"tmpA\\busy.tmp");
    HANDLE open = CreateFileW(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);

    const EmptyResult r = EmptyListedFolder(dir.Path() + L"tmpA", L"modMain", L"Main");
    CloseHandle(open);
    EXPECT_EQ(r.reason, L"");
    EXPECT_TRUE(FileExists(t));
    EXPECT_FALSE(FileExists(t + L"one.tmp"));
    EXPECT_TRUE(FileExists(busy));  // in use: kept and counted, not reported as deleted
    EXPECT_EQ(ReadBytes(canary), "keep");
    EXPECT_GE(r.count.deleted, 2u);  // one.tmp, two.tmp (and sub where the link could go)
    EXPECT_GE(r.count.kept, 1u);
    EXPECT_FALSE(Logged(busy + L" wurde dauerhaft gelöscht"));
    // The counts are logged with logging off: nobody watches the run at system start.
    EXPECT_TRUE(Logged(L"modMain; Main; " + t + L" geleert: " + std::to_wstring(r.count.deleted) +
                       L" Einträge gelöscht, " + std::to_wstring(r.count.kept) + L" übergangen; 0;"))
        << Log();

    // The system's own folders are refused and logged with what they are.
    for (const wchar_t* system : {L"winsxs", L"Installer"}) {
        const std::wstring folder = AppEnvironment.WinDir + system;
        EXPECT_EQ(EmptyListedFolder(folder, L"modMain", L"Main").reason, L"liegt im Windows-Ordner");
        EXPECT_TRUE(Logged(folder + L"\\ liegt im Windows-Ordner und wurde übergangen.")) << Log();
    }

    // A refused folder is logged with its reason, and nothing is touched.
    const std::wstring install = dir.Path();
    const EmptyResult refused = EmptyListedFolder(install, L"modMain", L"Main");
    EXPECT_EQ(refused.reason, L"enthält dieses Programm");
    EXPECT_EQ(refused.count.deleted, 0u);
    EXPECT_TRUE(FileExists(canary));
    EXPECT_TRUE(Logged(install + L" enthält dieses Programm und wurde übergangen."));
    RemoveLink(t + L"sub\\toCanary");
}

TEST_F(DiskCleanup, StartEntryIsWrittenQuotedAndRemovedAsAValueAfterItsUndoFile) {
    EXPECT_EQ(StartEntryRoot(), kHKCU);
    SetRun(kHKCU, L"Other", L"other.exe");
    EXPECT_EQ(ReadStartEntry(), L"");
    ASSERT_TRUE(WriteStartEntry());
    const std::wstring data = L"\"" + dir.Path() + L"test_disk.exe\" /d";
    EXPECT_EQ(StartEntryData(), data);
    EXPECT_EQ(Run(kHKCU), data);
    EXPECT_EQ(Run(kHKLM), L"");
    EXPECT_EQ(ReadStartEntry(), data);

    // An entry an earlier version left for the machine goes too, into the same undo file.
    SetRun(kHKLM, L"Torvane", L"C:\\alt\\torvane.exe /d");
    std::wstring problem;
    ASSERT_TRUE(RemoveStartEntry(problem)) << ToUtf8(problem);
    EXPECT_EQ(ReadStartEntry(), L"");
    EXPECT_EQ(ClassHandler().KeyFunc().ReadKeyValue(kHKCU, kRunKey, L"Other"), L"other.exe");  // the key stays
    const std::vector<std::wstring> undo = UndoFiles();
    ASSERT_EQ(undo.size(), 1u);
    EXPECT_NE(undo[0].find(L"Rückgängig_AutoRun_"), std::wstring::npos);
    const std::string text = ReadBytes(undo[0]);
    std::string escaped;
    for (char c : ToAnsi(dir.Path())) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    EXPECT_EQ(text.rfind("REGEDIT4\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n\"Torvane\"=\"\\\"" +
                        escaped + "test_disk.exe\\\" /d\"\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n\"Torvane\"="),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Other"), std::string::npos) << "only the value itself is saved";
    // Nothing there: nothing to save, nothing to delete.
    EXPECT_TRUE(RemoveStartEntry(problem));
    EXPECT_EQ(UndoFiles().size(), 1u);
}

TEST_F(DiskCleanup, StartEntryStaysWhenItsUndoFileCannotBeWritten) {
    ASSERT_TRUE(WriteStartEntry());
    // The backup folder's place is taken by a file: no undo file, so no deletion.
    dir.Write(L"Backup", "not a folder");
    std::wstring problem;
    EXPECT_FALSE(RemoveStartEntry(problem));
    EXPECT_NE(problem.find(L"Die Sicherungsdatei konnte nicht geschrieben werden"), std::wstring::npos);
    EXPECT_EQ(Run(kHKCU), StartEntryData());
}

TEST_F(DiskCleanup, OutsideTheNtFamilyTheMachineEntryIsUsedWhereItCanBeWritten) {
    AppEnvironment.OSName = L"Windows 98";
    EXPECT_EQ(StartEntryRoot(), kHKLM);
    ASSERT_TRUE(WriteStartEntry());
    EXPECT_EQ(Run(kHKLM), StartEntryData());
    EXPECT_EQ(ReadStartEntry(), StartEntryData());
}
