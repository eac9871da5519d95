// tests/core/AutoFileDel_test.cpp
#include "core/AppEnvironment.h"
#include "core/Text.h"
#include "main/modMain.h"
#include "errors/clsError.h"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>
#include <algorithm>

namespace {

// Local time `days` before today at the given time of day, as a file time.
FILETIME LocalDaysAgo(int days, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME today{};
    GetLocalTime(&today);
    SYSTEMTIME midnight{today.wYear, today.wMonth, 0, today.wDay, 0, 0, 0, 0};
    FILETIME ft;
    SystemTimeToFileTime(&midnight, &ft);
    ULARGE_INTEGER u{{ft.dwLowDateTime, ft.dwHighDateTime}};
    u.QuadPart -= static_cast<ULONGLONG>(days) * 24 * 3600 * 10000000ULL;
    u.QuadPart += (hour * 3600ULL + minute * 60ULL + second) * 10000000ULL;
    ft = {u.LowPart, u.HighPart};
    SYSTEMTIME local, utc;
    FileTimeToSystemTime(&ft, &local);
    TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
    SystemTimeToFileTime(&utc, &ft);
    return ft;
}

void Touch(const std::wstring& path, const FILETIME& when) {
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SetFileTime(h, nullptr, nullptr, &when);
    CloseHandle(h);
}

struct AutoFileDelTest : ::testing::Test {
    RegistrySandbox sandbox;
    TempFolder folder;
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppSwitches.Recycler = 0;
        AppSwitches.Protokoll = 1;
    }
    std::wstring Undo(const std::wstring& name, const FILETIME& when) {
        std::wstring path = folder.Write(L"Backup\\" + name, "REGEDIT4\r\n");
        Touch(path, when);
        return path;
    }
    std::wstring Log() { return FromAnsi(ReadBytes(clsError::LogPath())); }
};

}  // namespace

TEST_F(AutoFileDelTest, AgeCountsCalendarDaysNotHours) {
    const std::wstring lateYesterday = Undo(L"a.reg", LocalDaysAgo(1, 23, 59, 58));
    const std::wstring earlyYesterday = Undo(L"b.reg", LocalDaysAgo(1, 0, 0, 1));
    const std::wstring lateTwoDaysAgo = Undo(L"c.REG", LocalDaysAgo(2, 23, 59, 58));
    const std::wstring earlyToday = Undo(L"d.reg", LocalDaysAgo(0, 0, 0, 1));
    const std::wstring notAnUndoFile = Undo(L"old.txt", LocalDaysAgo(30, 12, 0, 0));
    const std::wstring inSubFolder = Undo(L"sub\\old.reg", LocalDaysAgo(30, 12, 0, 0));

    // One day old equals "DelAfterDays" 1 and stays; two days go, however few hours that is.
    AppSwitches.DelAfterDays = 1;
    AutoFileDel();
    EXPECT_FALSE(FileExists(lateTwoDaysAgo));
    for (const auto& kept : {lateYesterday, earlyYesterday, earlyToday, notAnUndoFile, inSubFolder})
        EXPECT_TRUE(FileExists(kept)) << ToUtf8(kept);
    EXPECT_NE(Log().find(L"4 Dateien im Backup-Ordner gefunden"), std::wstring::npos);
    EXPECT_NE(Log().find(lateTwoDaysAgo + L" gelöscht"), std::wstring::npos);

    // "DelAfterDays" 0: everything before today goes, today's file stays.
    AppSwitches.DelAfterDays = 0;
    AutoFileDel();
    EXPECT_FALSE(FileExists(lateYesterday));
    EXPECT_FALSE(FileExists(earlyYesterday));
    for (const auto& kept : {earlyToday, notAnUndoFile, inSubFolder}) EXPECT_TRUE(FileExists(kept)) << ToUtf8(kept);
}

TEST_F(AutoFileDelTest, HiddenAndReadOnlyFilesAreReportedAndKept) {
    const std::wstring hidden = Undo(L"h.reg", LocalDaysAgo(5, 10, 0, 0));
    const std::wstring readOnly = Undo(L"r.reg", LocalDaysAgo(5, 10, 0, 0));
    const std::wstring plain = Undo(L"p.reg", LocalDaysAgo(5, 10, 0, 0));
    const std::wstring youngHidden = Undo(L"y.reg", LocalDaysAgo(0, 0, 0, 1));
    SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(youngHidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    AppSwitches.Protokoll = 0;  // the error entries are written all the same
    std::vector<std::wstring> texts;
    {
        MessageBoxes boxes(L"Torvane", {IDOK});
        AutoFileDel();
        texts = boxes.Texts();
    }
    EXPECT_TRUE(FileExists(hidden));
    EXPECT_TRUE(FileExists(readOnly));
    EXPECT_TRUE(FileExists(youngHidden));
    EXPECT_FALSE(FileExists(plain));
    ASSERT_EQ(texts.size(), 2u);
    // In the folder's order, whichever that is.
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts[0], L"Automatisches Löschen\r\rDie Datei " + hidden +
                            L" ist als\rversteckt gekennzeichnet und konnte nicht gelöscht werden.");
    EXPECT_EQ(texts[1], L"Automatisches Löschen\r\rDie Datei " + readOnly +
                            L" ist als\rschreibgeschützt gekennzeichnet und konnte nicht gelöscht werden.");
    const std::wstring log = Log();
    EXPECT_NE(log.find(L"; modMain; AutoFileDel; ; 53; "), std::wstring::npos) << ToUtf8(log);
    EXPECT_NE(log.find(L"; modMain; AutoFileDel; ; 75; "), std::wstring::npos);
    EXPECT_EQ(log.find(L" gelöscht"), std::wstring::npos);  // no information entries without logging
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(AutoFileDelTest, MissingBackupFolderFindsNothing) {
    AppSwitches.DelAfterDays = 0;
    AutoFileDel();
    EXPECT_NE(Log().find(L"0 Dateien im Backup-Ordner gefunden"), std::wstring::npos);
    EXPECT_FALSE(FileExists(AppEnvironment.BackupDir));
}

// Undo files are files: an aged folder that only has their name stays with what it holds.
TEST_F(AutoFileDelTest, AFolderNamedLikeAnUndoFileStays) {
    const std::wstring inside = Undo(L"ordner.reg\\daten.txt", LocalDaysAgo(30, 12, 0, 0));
    const std::wstring old = Undo(L"alt.reg", LocalDaysAgo(30, 12, 0, 0));
    HANDLE dir = CreateFileW((AppEnvironment.BackupDir + L"ordner.reg").c_str(), FILE_WRITE_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(dir, INVALID_HANDLE_VALUE);
    const FILETIME aged = LocalDaysAgo(30, 12, 0, 0);
    SetFileTime(dir, nullptr, nullptr, &aged);
    CloseHandle(dir);
    AppSwitches.DelAfterDays = 1;
    AutoFileDel();
    EXPECT_TRUE(FileExists(inside));
    EXPECT_FALSE(FileExists(old));
    EXPECT_NE(Log().find(L"1 Dateien im Backup-Ordner gefunden"), std::wstring::npos);
}
