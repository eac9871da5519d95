// tests/programs/InstalledPrograms_test.cpp
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/Text.h"
#include "programs/InstalledPrograms.h"
#include "registry/clsSearch.h"
#include "scan/ScanTestRegistry.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>

namespace {
const std::wstring kNative = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::wstring kWow = L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

class Programs : public ::testing::Test {
protected:
    void SetUp() override { PrepareEnvironment(folder.Path()); }
    void TearDown() override { ProductInstalled() = saved; }
    std::vector<InstalledProgram> Read() { return ReadInstalledPrograms(ClassHandler().Search()); }
    static InstalledProgram Entry(const std::wstring& key, const std::wstring& command, DWORD type = REG_SZ) {
        InstalledProgram p;
        p.root = kHKLM;
        p.key = key;
        p.displayName = L"X";
        p.hasDisplayName = true;
        p.uninstallString = command;
        p.uninstallType = type;
        return p;
    }
    RegistrySandbox sandbox;
    TempFolder folder;
    std::function<bool(const std::wstring&)> saved = ProductInstalled();
};
}  // namespace

TEST_F(Programs, ReadsBothRootsAndViewsAndKeepsUpdatesAndSystemPartsOutOfTheList) {
    const std::wstring longArgs(400, L'a');
    PutSz(HKEY_LOCAL_MACHINE, kNative + L"Beta", L"DisplayName", L"Beta");
    PutSz(HKEY_LOCAL_MACHINE, kNative + L"Beta", L"UninstallString", L"C:\\b\\un.exe /" + longArgs);
    PutSz(HKEY_LOCAL_MACHINE, kWow + L"Alpha", L"DisplayName", L"Alpha 32");
    PutSz(HKEY_LOCAL_MACHINE, kWow + L"Alpha", L"UninstallString", L"%ProgramFiles%\\a.exe", REG_EXPAND_SZ);
    PutSz(HKEY_CURRENT_USER, kNative + L"Beta", L"DisplayName", L"Beta");
    PutSz(HKEY_CURRENT_USER, kNative + L"Gamma", L"DisplayName", L"Gamma");
    // Deeper keys are an entry's own data, not programs.
    PutSz(HKEY_CURRENT_USER, kNative + L"Gamma\\Teil", L"DisplayName", L"Teil");
    PutSz(HKEY_LOCAL_MACHINE, kNative + L"Ohne Namen", L"UninstallString", L"C:\\x.exe");
    PutSz(HKEY_LOCAL_MACHINE, kNative + L"Leer", L"DisplayName", L"");
    PutSz(HKEY_LOCAL_MACHINE, kNative + L"Teil von Windows", L"DisplayName", L"Komponente");
    PutDword(HKEY_LOCAL_MACHINE, kNative + L"Teil von Windows", L"SystemComponent", 1);
    PutSz(HKEY_LOCAL_MACHINE, kNative + L"KB1", L"DisplayName", L"Update für Beta");
    PutSz(HKEY_LOCAL_MACHINE, kNative + L"KB1", L"ParentKeyName", L"Beta");
    PutSz(HKEY_LOCAL_MACHINE, kWow + L"KB2", L"DisplayName", L"Sicherheitsupdate");
    PutSz(HKEY_LOCAL_MACHINE, kWow + L"KB2", L"ReleaseType", L"Security Update");
    PutSz(HKEY_LOCAL_MACHINE, kNative + L"Kein Teil", L"DisplayName", L"Sichtbar");
    PutDword(HKEY_LOCAL_MACHINE, kNative + L"Kein Teil", L"SystemComponent", 0);

    std::vector<std::wstring> shown;
    const InstalledProgram* beta = nullptr;
    const std::vector<InstalledProgram> all = Read();
    for (const InstalledProgram& p : all) {
        if (!p.Shown()) continue;
        shown.push_back(std::to_wstring(p.root) + L" " + p.KeyText() + L" " + p.displayName);
        if (p.root == kHKLM && p.displayName == L"Beta") beta = &p;
    }
    // Machine before user; within a root by key path, so the native view before Wow6432Node.
    EXPECT_EQ(shown, (std::vector<std::wstring>{
                         L"-2147483646 " + kNative + L"Beta] Beta",
                         L"-2147483646 " + kNative + L"Kein Teil] Sichtbar",
                         L"-2147483646 " + kWow + L"Alpha] Alpha 32",
                         L"-2147483647 " + kNative + L"Beta] Beta",
                         L"-2147483647 " + kNative + L"Gamma] Gamma",
                     }));
    ASSERT_NE(beta, nullptr);
    EXPECT_EQ(beta->uninstallString, L"C:\\b\\un.exe /" + longArgs);  // nothing cut
    EXPECT_EQ(all.size(), 10u);  // the hidden ones are read as well
}

TEST_F(Programs, StoredCommandsAreSplitExpandedAndCheckedLikeWindowsStartsThem) {
    const std::wstring un = folder.Write(L"Alt Prog\\Un Inst.exe");
    SetEnvironmentVariableW(L"TORVANE_TEST_PROG", (folder.Path() + L"Alt Prog").c_str());

    UninstallCall c = PlanUninstall(Entry(kNative + L"A", L"\"" + un + L"\" /S"));
    EXPECT_EQ(c.kind, UninstallCall::Kind::Program);
    EXPECT_FALSE(c.missing);
    EXPECT_EQ(c.commandLine, L"\"" + un + L"\" /S");
    c = PlanUninstall(Entry(kNative + L"A", L"  " + un + L" /x  y"));
    EXPECT_EQ(c.commandLine, L"\"" + un + L"\" /x  y");
    c = PlanUninstall(Entry(kNative + L"A", L"%TORVANE_TEST_PROG%\\Un Inst.exe -q", REG_EXPAND_SZ));
    EXPECT_FALSE(c.missing);
    EXPECT_EQ(c.commandLine, L"\"" + un + L"\" -q");
    // A missing uninstaller, and one whose folder is there but not the file.
    c = PlanUninstall(Entry(kNative + L"A", folder.Path() + L"Weg\\Un Inst.exe /S"));
    EXPECT_TRUE(c.missing);
    EXPECT_EQ(c.programFile, folder.Path() + L"Weg\\Un Inst.exe");
    EXPECT_TRUE(PlanUninstall(Entry(kNative + L"A", L"\"" + folder.Path() + L"Alt Prog\"")).missing);
    // No command: nothing to run, and nothing left over either.
    for (const wchar_t* empty : {L"", L"   "}) {
        c = PlanUninstall(Entry(kNative + L"A", empty));
        EXPECT_EQ(c.kind, UninstallCall::Kind::None);
        EXPECT_FALSE(c.missing);
    }
}

TEST_F(Programs, ThirtyTwoBitEntriesFindTheirUninstallerInTheirOwnView) {
    if (AppEnvironment.SysWow64Dir.empty()) GTEST_SKIP() << "no 32-bit system folder";
    const std::wstring name = L"torvane_un32_" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    const std::wstring in32 = AppEnvironment.SysWow64Dir + name;
    // Wine's prefix may have no 32-bit system folder: it is made for the test and goes again.
    const bool madeFolder = CreateDirectoryW(AppEnvironment.SysWow64Dir.c_str(), nullptr) != FALSE;
    HANDLE f = CreateFileW(in32.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(f);
    const std::wstring stored = AppEnvironment.WinDir + L"system32\\" + name + L" /u";
    const UninstallCall c32 = PlanUninstall(Entry(kWow + L"A", stored));
    // A 64-bit registration naming the same file: not there natively, but there in the other
    // view, so it is not taken for left over either.
    const UninstallCall c64 = PlanUninstall(Entry(kNative + L"A", stored));
    DeleteFileW(in32.c_str());
    if (madeFolder) RemoveDirectoryW(AppEnvironment.SysWow64Dir.c_str());
    EXPECT_FALSE(c32.missing);
    EXPECT_EQ(ToLower(c32.commandLine), ToLower(L"\"" + in32 + L"\" /u"));
    EXPECT_FALSE(c64.missing);
}

TEST_F(Programs, WindowsInstallerEntriesGoThroughMsiexecAndAreLeftOverOnlyWhenTheProductIsUnknown) {
    const std::wstring code = L"{12345678-ABCD-ABCD-ABCD-1234567890AB}";
    const std::wstring msiexec = L"msiexec.exe\" /x" + code;
    std::vector<std::wstring> asked;
    bool installed = true;
    ProductInstalled() = [&](const std::wstring& c) {
        asked.push_back(c);
        return installed;
    };
    InstalledProgram p = Entry(kNative + L"{12345678-abcd-abcd-abcd-1234567890ab}", L"MsiExec.exe /I" + code);
    p.windowsInstaller = true;
    UninstallCall c = PlanUninstall(p);
    EXPECT_EQ(c.kind, UninstallCall::Kind::WindowsInstaller);
    EXPECT_TRUE(EndsWith(ToLower(c.commandLine), ToLower(msiexec))) << ToUtf8(c.commandLine);
    EXPECT_EQ(c.commandLine.front(), L'"');
    EXPECT_FALSE(c.missing);
    EXPECT_EQ(asked, std::vector<std::wstring>{code});
    installed = false;
    EXPECT_TRUE(PlanUninstall(p).missing);

    // The product code from the stored command when the key is no code; without the flag, a
    // code key whose command runs msiexec counts as well.
    p.key = kNative + L"Produkt";
    p.uninstallString = L"MsiExec.exe /X" + code;
    EXPECT_EQ(PlanUninstall(p).kind, UninstallCall::Kind::WindowsInstaller);
    p.windowsInstaller = false;
    EXPECT_EQ(PlanUninstall(p).kind, UninstallCall::Kind::Program);
    p.key = kNative + code;
    EXPECT_EQ(PlanUninstall(p).kind, UninstallCall::Kind::WindowsInstaller);
    // A code key with an uninstaller of its own runs that one.
    const std::wstring own = folder.Write(L"own.exe");
    p.uninstallString = own + L" /remove";
    c = PlanUninstall(p);
    EXPECT_EQ(c.kind, UninstallCall::Kind::Program);
    EXPECT_EQ(c.commandLine, L"\"" + own + L"\" /remove");
}
