// tests/scan/clsCheckKeys_test.cpp
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "files/clsFiles.h"
#include "scan/ScanEngine.h"
#include "scan/ScanTestRegistry.h"
#include "scan/clsCheckKeys.h"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"
#include "core/Text.h"
#include <gtest/gtest.h>
#include <set>

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
    bool AskNetworkDrive(const std::wstring& text, const std::wstring& drive) override {
        networkTexts.push_back(text);
        return answer;
    }
    std::vector<std::wstring> networkTexts;
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
    ScanEngine engine;
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

TEST_F(CheckTest, TypeLibrariesAreJudgedPerVersion) {
    const std::wstring dll = folder.Write(L"lib.dll");
    const std::wstring gone = folder.Path() + L"weg.tlb";
    const std::wstring brokenFirst = kTypeLib + L"{71000000-0000-0000-0000-000000000001}";
    const std::wstring brokenLast = kTypeLib + L"{72000000-0000-0000-0000-000000000002}";
    const std::wstring allBroken = kTypeLib + L"{73000000-0000-0000-0000-000000000003}";
    const std::wstring only64 = kTypeLib + L"{74000000-0000-0000-0000-000000000004}";
    auto version = [&](const std::wstring& lib, const wchar_t* v, const std::wstring& file) {
        PutSz(HKEY_LOCAL_MACHINE, lib + L"\\" + v, L"", std::wstring(L"Bibliothek ") + v);
        PutSz(HKEY_LOCAL_MACHINE, lib + L"\\" + v + L"\\0\\win32", L"", file);
        PutSz(HKEY_LOCAL_MACHINE, lib + L"\\" + v + L"\\FLAGS", L"", L"0");
    };
    // Versions are enumerated in name order: the broken one first, then last.
    version(brokenFirst, L"1.0", gone);
    version(brokenFirst, L"2.0", dll);
    version(brokenLast, L"1.0", dll);
    version(brokenLast, L"2.0", gone);
    version(allBroken, L"1.0", gone);
    version(allBroken, L"1.1", gone);
    PutSz(HKEY_LOCAL_MACHINE, only64 + L"\\1.0\\0\\win64", L"", gone);  // judged by no rule

    ASSERT_TRUE(engine.Scan());
    auto keysOf = [&](const std::wstring& part) {
        std::set<std::wstring> keys;
        for (const ResultRow& r : engine.Rows())
            if (r.hit.key.find(part) != std::wstring::npos) keys.insert(r.hit.key);
        return keys;
    };
    EXPECT_EQ(keysOf(L"{71000000"), (std::set<std::wstring>{brokenFirst + L"\\1.0", brokenFirst + L"\\1.0\\0",
                                                            brokenFirst + L"\\1.0\\0\\win32", brokenFirst + L"\\1.0\\FLAGS"}))
        << AllRows();
    EXPECT_EQ(keysOf(L"{72000000"), (std::set<std::wstring>{brokenLast + L"\\2.0", brokenLast + L"\\2.0\\0",
                                                           brokenLast + L"\\2.0\\0\\win32", brokenLast + L"\\2.0\\FLAGS"}))
        << AllRows();
    // No version left: the {GUID} key goes too, and says why.
    const auto all = keysOf(L"{73000000");
    EXPECT_EQ(all.size(), 9u) << AllRows();
    ASSERT_TRUE(all.count(allBroken)) << AllRows();
    EXPECT_TRUE(keysOf(L"{74000000").empty()) << AllRows();
    for (const ResultRow& r : engine.Rows()) {
        if (r.hit.key == allBroken) {
            EXPECT_EQ(r.finding, Finding::TypeLibWithoutVersion);
        } else {
            EXPECT_EQ(r.finding, Finding::MissingFile) << r.item;
            EXPECT_EQ(ToLower(r.lookedFor), ToLower(gone)) << r.item;
        }
    }

    // The removal takes exactly the broken versions; the sound ones stay.
    ASSERT_TRUE(engine.ProblemeEntfernen().completed);
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, brokenFirst + L"\\1.0"));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, brokenFirst + L"\\2.0\\0\\win32"));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, brokenLast + L"\\1.0\\0\\win32"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, brokenLast + L"\\2.0"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, allBroken));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, only64));
}

namespace {
// A file planted in one of the machine's own folders for the length of a test.
struct PlantedFile {
    std::wstring path;
    explicit PlantedFile(std::wstring p) : path(std::move(p)) {
        const size_t slash = path.find_last_of(L'\\');
        CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
        HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(f);
    }
    ~PlantedFile() {
        DeleteFileW(path.c_str());
        RemoveDirectoryW(path.substr(0, path.find_last_of(L'\\')).c_str());  // only when we made it (empty)
    }
};
}  // namespace

TEST_F(CheckTest, ThirtyTwoBitRegistrationsAreJudgedAsThirtyTwoBitProgramsSeeThem) {
    const AppEnvironmentRecord& env = AppEnvironment;
    ASSERT_FALSE(env.SysWow64Dir.empty());
    ASSERT_FALSE(env.ProgramFilesX86Dir.empty());
    const std::wstring tag = L"torvane_" + std::to_wstring(GetCurrentProcessId());
    const std::wstring system32 = env.WinDir + L"system32\\";
    PlantedFile only32(env.SysWow64Dir + tag + L"_32.dll"), only64(system32 + tag + L"_64.dll");
    PlantedFile x86(env.ProgramFilesX86Dir + tag + L"\\app.dll");
    const std::wstring wowClsid = L"Software\\Classes\\Wow6432Node\\CLSID\\";
    auto server = [&](const wchar_t* guid, const std::wstring& path, DWORD type = REG_SZ) {
        PutSz(HKEY_LOCAL_MACHINE, wowClsid + guid + L"\\InprocServer32", L"", path, type);
    };
    // "system32" of a 32-bit registration is SysWOW64: sound when the file is there only.
    server(L"{81000000-0000-0000-0000-000000000001}", system32 + tag + L"_32.dll");
    // ... and broken when the file is only in the 64-bit system folder.
    server(L"{82000000-0000-0000-0000-000000000002}", system32 + tag + L"_64.dll");
    // "%ProgramFiles%" of a 32-bit registration is the 32-bit program folder; a written-out
    // "Program Files" may mean it too.
    server(L"{83000000-0000-0000-0000-000000000003}", L"%ProgramFiles%\\" + tag + L"\\app.dll", REG_EXPAND_SZ);
    server(L"{84000000-0000-0000-0000-000000000004}", env.ProgramFilesDir + tag + L"\\app.dll");
    // The same path in the 64-bit view is judged with the 64-bit folders.
    PutSz(HKEY_LOCAL_MACHINE, kClsid + L"{85000000-0000-0000-0000-000000000005}\\InprocServer32", L"",
          system32 + tag + L"_32.dll");
    // A type library's "win32" file serves 64-bit clients too: it is there when either view has
    // it, and missing only when neither has.
    PutSz(HKEY_LOCAL_MACHINE, kTypeLib + L"{86000000-0000-0000-0000-000000000006}\\1.0\\0\\win32", L"",
          system32 + tag + L"_32.dll");
    PutSz(HKEY_LOCAL_MACHINE, kTypeLib + L"{87000000-0000-0000-0000-000000000007}\\1.0\\0\\win32", L"",
          system32 + tag + L"_64.dll");
    PutSz(HKEY_LOCAL_MACHINE, kTypeLib + L"{8A000000-0000-0000-0000-00000000000A}\\1.0\\0\\win32", L"",
          system32 + tag + L"_keiner.dll");
    // A 32-bit class referring to a class of its own view is sound; to one registered nowhere, not.
    PutSz(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Wow6432Node\\Interface\\{88000000-0000-0000-0000-000000000008}\\CLSID",
          L"", L"{81000000-0000-0000-0000-000000000001}");
    PutSz(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Wow6432Node\\Interface\\{89000000-0000-0000-0000-000000000009}\\CLSID",
          L"", L"{8F000000-0000-0000-0000-00000000000F}");
    // The 32-bit uninstall entries.
    const std::wstring wowUninstall = L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Alt32";
    PutSz(HKEY_LOCAL_MACHINE, wowUninstall, L"DisplayName", L"Altes 32-Bit-Programm");

    ASSERT_TRUE(engine.Scan());
    EXPECT_TRUE(RowsOf(L"{81000000").empty()) << AllRows();
    ASSERT_EQ(RowsOf(L"{82000000").size(), 2u) << AllRows();
    EXPECT_TRUE(RowsOf(L"{83000000").empty()) << AllRows();
    EXPECT_TRUE(RowsOf(L"{84000000").empty()) << AllRows();
    EXPECT_EQ(RowsOf(L"{85000000").size(), 2u) << AllRows();
    EXPECT_TRUE(RowsOf(L"{86000000").empty()) << AllRows();
    EXPECT_TRUE(RowsOf(L"{87000000").empty()) << AllRows();
    EXPECT_EQ(RowsOf(L"{8A000000").size(), 4u) << AllRows();  // its one version, "0", "win32" and the {GUID} key
    EXPECT_TRUE(RowsOf(L"{88000000").empty()) << AllRows();
    EXPECT_EQ(RowsOf(L"{89000000").size(), 2u) << AllRows();
    EXPECT_EQ(RowsOf(L"Alt32"), std::vector<std::wstring>{L"[HKEY_LOCAL_MACHINE\\" + wowUninstall +
                                                          L"]|\"DisplayName\"|Altes 32-Bit-Programm"});
    for (const ResultRow& r : engine.Rows()) {
        if (r.hit.key.find(L"{82000000") != std::wstring::npos) {
            EXPECT_EQ(ToLower(r.lookedFor), ToLower(env.SysWow64Dir + tag + L"_64.dll"));
        }
        if (r.hit.key.find(L"{89000000") != std::wstring::npos) {
            EXPECT_EQ(r.finding, Finding::UnregisteredClass);
            EXPECT_EQ(r.lookedFor, L"Software\\Classes\\Wow6432Node\\clsid\\{8F000000-0000-0000-0000-00000000000F}");
        }
    }
}

TEST_F(CheckTest, NetworkDriveThatDoesNotAnswerIsAskedThroughTheScansQuestions) {
    PutSz(HKEY_LOCAL_MACHINE, kClsid + L"{E1000000-0000-0000-0000-000000000000}\\LocalServer32", L"",
          L"C:\\nirgends\\prog.exe");
    // C: as a network drive that reports no connection.
    ClassHandler().Files().DriveType = [](const std::wstring& root) -> unsigned {
        return root == L"C:\\" ? DRIVE_REMOTE : GetDriveTypeW(root.c_str());
    };
    // The console's scan passes its answers as the window does; a box of its own would show here.
    MessageBoxes boxes(AppEnvironment.AppTitle, {IDYES});
    asker.answer = false;
    const bool scanned = engine.Scan();
    ClassHandler().Files().DriveType = nullptr;
    ClassHandler().Files().bErrorNetPath = false;
    ASSERT_TRUE(scanned);
    ASSERT_FALSE(asker.networkTexts.empty());
    EXPECT_NE(asker.networkTexts[0].find(L"auf das Netzlaufwerk C:\\verweist.\r\nDer Versuch ein Verbindung zu C:\\ "
                                         L"herzustellen, wurde mit der Meldung 'Keine Verbindung' abgebrochen."),
              std::wstring::npos)
        << asker.networkTexts[0];
    EXPECT_TRUE(boxes.Texts().empty());
}
