// tests/main/modMain_test.cpp
#include "core/AppEnvironment.h"
#include "core/Text.h"
#include "main/ClassHandler.h"
#include "main/modMain.h"
#include "registry/clsKeyFunc.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>

TEST(PrepareAppEnvironment, FillsTheFoldersAndCreatesTheBackupFolder) {
    RegistrySandbox sandbox;
    TempFolder folder;
    PrepareEnvironment(folder.Path());
    const std::wstring install = folder.Path() + L"neu\\Torvane";  // stored without backslash, not there yet
    ClassHandler().KeyFunc().SaveSetting(L"Optionen", L"InstallDir", install);
    PrepareAppEnvironment(false);
    EXPECT_EQ(AppEnvironment.InstallDir, install + L"\\");
    EXPECT_EQ(AppEnvironment.BackupDir, install + L"\\Backup\\");
    EXPECT_TRUE(FileExists(AppEnvironment.BackupDir));
    EXPECT_FALSE(FileExists(install + L"\\torvane.log")) << "no start entry asked for";
    for (const std::wstring* dir : {&AppEnvironment.WinDir, &AppEnvironment.SysDir, &AppEnvironment.TmpDir})
        EXPECT_EQ(dir->back(), L'\\') << *dir;
    // A 64-bit process on 64-bit Windows: the 32-bit system folder is known and differs.
    ASSERT_FALSE(AppEnvironment.SysWow64Dir.empty());
    EXPECT_NE(ToLower(AppEnvironment.SysWow64Dir), ToLower(AppEnvironment.SysDir));
    EXPECT_FALSE(AppEnvironment.OSName.empty());
}
