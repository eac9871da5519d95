// tests/scan/clsCheckKeys_test.cpp
#include "core/AppEnvironment.h"
#include "core/ClassHandler.h"
#include "scan/ScanEngine.h"
#include "scan/ScanTestRegistry.h"
#include "scan/clsCheckKeys.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>

namespace {
const std::wstring kClsid = L"Software\\Classes\\CLSID\\";
const std::wstring kTypeLib = L"Software\\Classes\\TypeLib\\";
const std::wstring kAppPaths = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const std::wstring kUninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

struct Asker : ScanQuestions {
    bool answer = false;
    std::vector<std::wstring> texts, drives;
    bool AskDrive(const std::wstring& text, const std::wstring& drive) override {
        texts.push_back(text);
        drives.push_back(drive);
        return answer;
    }
};

std::wstring MissingDrive() {
    DWORD used = GetLogicalDrives();
    for (int i = 25; i >= 3; --i)
        if (!(used & (1u << i))) return std::wstring(1, static_cast<wchar_t>(L'A' + i)) + L":\\";
    return L"";
}

struct CheckTest : ::testing::Test {
    RegistrySandbox sandbox;
    TempFolder folder;
    Asker asker;
    ScanEngine engine{ClassHandler()};
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        engine.SetQuestions(&asker);
    }
    std::vector<std::wstring> RowsOf(const std::wstring& keyPart) const {
        std::vector<std::wstring> out;
        for (const ResultRow& r : engine.Rows())
            if (r.hit.key.find(keyPart) != std::wstring::npos) out.push_back(r.item + L"|" + r.name + L"|" + r.data);
        return out;
    }
    std::wstring AllRows() const {
        std::wstring s;
        for (const ResultRow& r : engine.Rows()) s += r.item + L" " + r.name + L"=" + r.data + L"\n";
        return s;
    }
};
}  // namespace

TEST(clsCheckKeysPath, CleaningPlaceholdersQuotesAndArguments) {
    TempFolder folder;
    PrepareEnvironment(folder.Path());
    AppEnvironment.WinDir = L"C:\\windows\\";
    AppEnvironment.ProgramFilesDir = L"C:\\Program Files\\";
    EXPECT_EQ(clsCheckKeys::CleanPath(L"%SysTemRoot%\\System32\\X.DLL"), L"C:\\windows\\system32\\x.dll");
    EXPECT_EQ(clsCheckKeys::CleanPath(L"%WINDIR%\\a.exe /b"), L"C:\\windows\\a.exe");
    EXPECT_EQ(clsCheckKeys::CleanPath(L"\"C:\\Program Files\\App\\App.exe\" /x \"y\""),
              L"c:\\program files\\app\\app.exe");
    EXPECT_EQ(clsCheckKeys::CleanPath(L"rundll32.exe C:\\x\\y.dll,Start"), L"c:\\x\\y.dll");
    EXPECT_EQ(clsCheckKeys::CleanPath(L"%ProgramFiles%\\z\\z.ocx"), L"C:\\Program Files\\z\\z.ocx");
    EXPECT_EQ(clsCheckKeys::CleanPath(L"\\\\Server\\Share\\s.dll"), L"\\\\server\\share\\s.dll");
    EXPECT_EQ(clsCheckKeys::CleanPath(L":\\odd"), L":\\odd");  // no drive letter before ":\"
}

TEST_F(CheckTest, FileRuleJudgesWholeGroups) {
    const std::wstring dll = folder.Write(L"da.dll");
    const std::wstring missing = folder.Path() + L"fehlt.dll";
    // Sound: the server exists (quoted, with arguments, mixed case).
    PutSz(HKEY_LOCAL_MACHINE, kClsid + L"{A0000000-0000-0000-0000-000000000001}", L"", L"gut");
    PutSz(HKEY_LOCAL_MACHINE, kClsid + L"{A0000000-0000-0000-0000-000000000001}\\InprocServer32", L"",
          L"\"" + dll + L"\" /x");
    // Broken: its whole group is listed, last collected first, data shown with doubled backslashes.
    PutSz(HKEY_LOCAL_MACHINE, kClsid + L"{B0000000-0000-0000-0000-000000000002}", L"", L"kaputt");
    PutSz(HKEY_LOCAL_MACHINE, kClsid + L"{B0000000-0000-0000-0000-000000000002}\\InprocServer32", L"", missing);
    PutSz(HKEY_LOCAL_MACHINE, kClsid + L"{B0000000-0000-0000-0000-000000000002}\\InprocServer32", L"ThreadingModel",
          L"Both");
    // Only a ThreadingModel: never file-tested.
    PutSz(HKEY_LOCAL_MACHINE, kClsid + L"{C0000000-0000-0000-0000-000000000003}\\InprocServer32", L"ThreadingModel",
          L"C:\\nicht\\da.dll");
    // Missing file below "}\clsid\{": not reported.
    PutSz(HKEY_LOCAL_MACHINE, kClsid + L"{D0000000-0000-0000-0000-000000000004}\\CLSID\\{X}\\InprocServer32", L"",
          missing);
    // The same GUID under the other root is its own group.
    PutSz(HKEY_CURRENT_USER, kClsid + L"{B0000000-0000-0000-0000-000000000002}\\InprocServer32", L"", dll);

    ASSERT_TRUE(engine.Scan());
    auto b = RowsOf(L"{B0000000");
    ASSERT_EQ(b.size(), 3u) << AllRows();
    std::wstring doubled;
    for (wchar_t c : missing) { doubled += c; if (c == L'\\') doubled += L'\\'; }
    EXPECT_EQ(b[0], L"[HKEY_LOCAL_MACHINE\\" + kClsid + L"{B0000000-0000-0000-0000-000000000002}\\InprocServer32]|\"ThreadingModel\"|Both");
    EXPECT_EQ(b[1], L"[HKEY_LOCAL_MACHINE\\" + kClsid + L"{B0000000-0000-0000-0000-000000000002}\\InprocServer32]|@|" + doubled);
    EXPECT_EQ(b[2], L"[HKEY_LOCAL_MACHINE\\" + kClsid + L"{B0000000-0000-0000-0000-000000000002}]|@|kaputt");
    for (const ResultRow& r : engine.Rows()) EXPECT_EQ(r.hit.root, kHKLM) << r.item;
    EXPECT_TRUE(RowsOf(L"{A0000000").empty());
    EXPECT_TRUE(RowsOf(L"{C0000000").empty());
    EXPECT_TRUE(RowsOf(L"{D0000000").empty());
    EXPECT_EQ(engine.Rows().size(), 3u) << AllRows();
    EXPECT_TRUE(asker.texts.empty());
}

TEST_F(CheckTest, UnknownAndNetworkDrivesAskOncePerDriveAndScan) {
    const std::wstring drive = MissingDrive();
    ASSERT_FALSE(drive.empty());
    for (int i = 1; i <= 3; ++i)
        PutSz(HKEY_LOCAL_MACHINE, kClsid + L"{E000000" + std::to_wstring(i) + L"-0000-0000-0000-000000000000}\\LocalServer32",
              L"", drive + L"prog" + std::to_wstring(i) + L".exe");
    PutSz(HKEY_LOCAL_MACHINE, kClsid + L"{F0000000-0000-0000-0000-000000000000}\\InprocServer32", L"",
          L"\\\\Server\\Share\\s.dll");

    asker.answer = false;
    ASSERT_TRUE(engine.Scan());
    EXPECT_TRUE(engine.Rows().empty()) << AllRows();
    ASSERT_EQ(asker.drives.size(), 2u);
    EXPECT_EQ(asker.drives[0], drive);
    EXPECT_EQ(asker.texts[0], L"Es wurde ein Registryeintrag gefunden, der auf das Laufwerk " + drive +
                                  L" verweist.\r\nDieses Laufwerk ist Windows jedoch unbekannt.\r\nWenn " + drive +
                                  L" nicht vorhanden ist, kann der Eintrag gelöscht werden.\r\nWollen Sie das tun?");
    EXPECT_EQ(asker.drives[1], L"\\\\SERVER\\SHARE\\");
    EXPECT_EQ(asker.texts[1], L"Es wurde ein Registryeintrag gefunden, der auf das Netzlaufwerk \\\\SERVER\\SHARE\\ "
                              L"verweist.\r\nWenn \\\\SERVER\\SHARE\\ nicht mehr vorhanden ist, kann der Eintrag "
                              L"gelöscht werden.\r\nWollen Sie das tun?");

    // A new scan asks again; Yes reports every entry on the drive without asking twice.
    asker = Asker{};
    asker.answer = true;
    ASSERT_TRUE(engine.Scan());
    EXPECT_EQ(asker.drives.size(), 2u);
    EXPECT_EQ(engine.Rows().size(), 8u) << AllRows();  // each class with its key's own entry
}

TEST_F(CheckTest, EmptyUninstallAndAppPathsRules) {
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"NurName", L"DisplayName", L"Programm");
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"NurString", L"UninstallString", L"x.exe");
    PutSz(HKEY_CURRENT_USER, kUninstall + L"Voll", L"DisplayName", L"P");
    PutSz(HKEY_CURRENT_USER, kUninstall + L"Voll", L"UninstallString", L"u.exe");
    PutKey(HKEY_CURRENT_USER, kUninstall + L"Leer");
    PutSz(HKEY_CURRENT_USER, kUninstall + L"LeererText", L"", L"");
    PutDword(HKEY_LOCAL_MACHINE, kAppPaths + L"NurDword.exe", L"", 5);
    PutKey(HKEY_CURRENT_USER, kUninstall + L"MitUnterschluessel\\Unten");
    PutSz(HKEY_CURRENT_USER, kUninstall + L"MitUnterschluessel\\Unten", L"DisplayName", L"u");
    const std::wstring exe = folder.Write(L"a.exe");
    PutSz(HKEY_LOCAL_MACHINE, kAppPaths + L"a.exe", L"", folder.Path() + L"weg.exe");
    PutSz(HKEY_LOCAL_MACHINE, kAppPaths + L"a.exe.bak", L"", exe);
    PutSz(HKEY_LOCAL_MACHINE, kAppPaths + L"a.exe.bak", L"Path", L"C:\\gibtsnicht\\");

    ASSERT_TRUE(engine.Scan());
    EXPECT_EQ(RowsOf(L"NurName"), std::vector<std::wstring>{L"[HKEY_LOCAL_MACHINE\\" + kUninstall + L"NurName]|\"DisplayName\"|Programm"});
    EXPECT_TRUE(RowsOf(L"NurString").empty());
    EXPECT_TRUE(RowsOf(L"Voll").empty());
    EXPECT_EQ(RowsOf(L"\\Leer"), (std::vector<std::wstring>{L"[HKEY_CURRENT_USER\\" + kUninstall + L"Leer]|@|",
                                                           L"[HKEY_CURRENT_USER\\" + kUninstall + L"LeererText]|@|"}));
    // A default DWORD is no empty key; a key with sub-keys is not empty either.
    EXPECT_TRUE(RowsOf(L"NurDword").empty()) << AllRows();
    EXPECT_EQ(RowsOf(L"MitUnterschluessel").size(), 1u) << AllRows();  // only "Unten" (DisplayName alone)
    // "a.exe.bak" is its own entry, not part of "a.exe".
    EXPECT_EQ(RowsOf(L"a.exe").size(), 1u) << AllRows();
    EXPECT_TRUE(RowsOf(L"a.exe.bak").empty()) << AllRows();
}

TEST_F(CheckTest, CrossReferences) {
    const std::wstring dll = folder.Write(L"s.dll");
    const std::wstring lib = L"{11111111-0000-0000-0000-000000000000}";
    // Type library registered only under HKCU: the reference is sound.
    PutSz(HKEY_CURRENT_USER, kTypeLib + lib + L"\\1.0\\0\\win32", L"", dll);
    PutSz(HKEY_LOCAL_MACHINE, kClsid + L"{22222222-0000-0000-0000-000000000000}\\TypeLib", L"", lib);
    // Broken reference in a small group: every entry of the group (two) is listed.
    PutSz(HKEY_LOCAL_MACHINE, kClsid + L"{33333333-0000-0000-0000-000000000000}", L"", L"klein");
    PutSz(HKEY_LOCAL_MACHINE, kClsid + L"{33333333-0000-0000-0000-000000000000}\\TypeLib", L"", L"{99999999-0000-0000-0000-000000000000}");
    // Broken reference in a large group: only the referencing entry.
    const std::wstring big = kClsid + L"{44444444-0000-0000-0000-000000000000}";
    PutSz(HKEY_LOCAL_MACHINE, big, L"", L"gross");
    PutSz(HKEY_LOCAL_MACHINE, big + L"\\InprocServer32", L"", dll);
    PutSz(HKEY_LOCAL_MACHINE, big + L"\\ProgID", L"", L"x.y");
    PutSz(HKEY_LOCAL_MACHINE, big + L"\\TypeLib", L"", L"{99999999-0000-0000-0000-000000000000}");
    // Not references: a named value, and a TypeLib key whose parent is no {GUID}.
    PutSz(HKEY_LOCAL_MACHINE, kClsid + L"{55555555-0000-0000-0000-000000000000}\\TypeLib", L"Name", L"{99999999-0000-0000-0000-000000000000}");
    PutSz(HKEY_LOCAL_MACHINE, kClsid + L"{66666666-0000-0000-0000-000000000000}\\Sub\\TypeLib", L"", L"{99999999-0000-0000-0000-000000000000}");

    ASSERT_TRUE(engine.Scan());
    EXPECT_TRUE(RowsOf(L"{22222222").empty()) << AllRows();
    EXPECT_EQ(RowsOf(L"{33333333").size(), 2u) << AllRows();
    auto bigRows = RowsOf(L"{44444444");
    ASSERT_EQ(bigRows.size(), 1u) << AllRows();
    EXPECT_EQ(bigRows[0], L"[HKEY_LOCAL_MACHINE\\" + big + L"\\TypeLib]|@|{99999999-0000-0000-0000-000000000000}");
    EXPECT_TRUE(RowsOf(L"{55555555").empty());
    EXPECT_TRUE(RowsOf(L"{66666666").empty()) << AllRows();
}
