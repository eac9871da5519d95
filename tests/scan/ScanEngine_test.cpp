// tests/scan/ScanEngine_test.cpp
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/Text.h"
#include "registry/clsKeyFunc.h"
#include "scan/ScanEngine.h"
#include "scan/ScanTestRegistry.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include <gtest/gtest.h>
#include <regex>

namespace {
const std::wstring kClsid = L"Software\\Classes\\CLSID\\";
const std::wstring kUninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::wstring FileText(const std::wstring& path) {
    std::string b = ReadBytes(path);
    if (b.size() >= 2 && static_cast<unsigned char>(b[0]) == 0xFF && static_cast<unsigned char>(b[1]) == 0xFE)
        return std::wstring(reinterpret_cast<const wchar_t*>(b.data() + 2), (b.size() - 2) / 2);
    return FromAnsi(b);
}

// torvane-scan.exe, built beside the tests.
std::wstring ConsoleTool() {
    return BinFolder() + L"torvane-scan.exe";
}

struct EngineTest : ::testing::Test {
    RegistrySandbox sandbox;
    TempFolder folder;
    ScanEngine engine;
    void SetUp() override { PrepareEnvironment(folder.Path()); }
};
}  // namespace

TEST(ScanEngineRating, ThresholdsAndFigures) {
    EXPECT_EQ(ScanEngine::RatingReport(0, 10000), L"Hervorragend, keine Fehler gefunden. (0 von 10000 Einträgen = 0%)");
    EXPECT_EQ(ScanEngine::RatingReport(1, 10000), L"Nur wenige Fehler gefunden. (1 von 10000 Einträgen = 0,01%)");
    EXPECT_EQ(ScanEngine::RatingReport(1, 100000), L"Nur vereinzelt Fehler gefunden. (1 von 100000 Einträgen = 0%)");
    EXPECT_EQ(ScanEngine::RatingReport(1, 100), L"Einige Fehler gefunden. (1 von 100 Einträgen = 1%)");
    EXPECT_EQ(ScanEngine::RatingReport(299, 10000), L"Einige Fehler gefunden. (299 von 10000 Einträgen = 2,99%)");
    EXPECT_EQ(ScanEngine::RatingReport(3, 100), L"Viele Fehler gefunden. (3 von 100 Einträgen = 3%)");
    EXPECT_EQ(ScanEngine::RatingReport(499, 10000), L"Viele Fehler gefunden. (499 von 10000 Einträgen = 4,99%)");
    // Exactly 5.00 %, also when it is reached by rounding.
    EXPECT_EQ(ScanEngine::RatingReport(5, 100), L"Sehr viele Fehler gefunden. (5 von 100 Einträgen = 5%)");
    EXPECT_EQ(ScanEngine::RatingReport(49996, 1000000), L"Sehr viele Fehler gefunden. (49996 von 1000000 Einträgen = 5%)");
    EXPECT_EQ(ScanEngine::RatingReport(1, 8), L"Sehr viele Fehler gefunden. (1 von 8 Einträgen = 12,5%)");
    // Nothing read: no percentage, the best rating.
    EXPECT_EQ(ScanEngine::RatingReport(0, 0), L"Hervorragend, keine Fehler gefunden. (0 von 0 Einträgen = 0%)");
}

TEST_F(EngineTest, ScanOfAnEmptyRegistryAndCancel) {
    ASSERT_TRUE(engine.Scan());
    EXPECT_EQ(engine.Total(), 0u);
    EXPECT_EQ(engine.RatingText(), L"Hervorragend, keine Fehler gefunden. (0 von 0 Einträgen = 0%)");
    EXPECT_FALSE(engine.Running());

    // Cancelled while reading: no rows, not running.
    for (int i = 0; i < 50; ++i) PutKey(HKEY_CURRENT_USER, kUninstall + L"Leer" + std::to_wstring(i));
    struct CancelAtStep : ScanProgress {
        ScanEngine* e;
        void OnStep(int step, const std::wstring&, size_t) override { if (step == 9) e->Cancel(); }
    } cancel;
    cancel.e = &engine;
    engine.SetProgress(&cancel);
    EXPECT_FALSE(engine.Scan());
    EXPECT_TRUE(engine.Rows().empty());
    EXPECT_FALSE(engine.Running());

    // Cancelled while evaluating: the rows found so far stay.
    struct CancelHalfway : ScanProgress {
        ScanEngine* e;
        void OnEvaluate(size_t i, size_t total, int) override { if (i > total / 2) e->Cancel(); }
    } half;
    half.e = &engine;
    engine.SetProgress(&half);
    EXPECT_FALSE(engine.Scan());
    EXPECT_GT(engine.Rows().size(), 0u);
    EXPECT_LT(engine.Rows().size(), 50u);
    engine.SetProgress(nullptr);

    ASSERT_TRUE(engine.Scan());
    EXPECT_EQ(engine.Rows().size(), 50u);
    // The area key itself is read too (51 lines).
    EXPECT_EQ(engine.RatingText(), L"Sehr viele Fehler gefunden. (50 von 51 Einträgen = 98,04%)");
}

namespace {
// Plants broken entries with awkward names and every value type; returns the keys that must go.
std::vector<std::wstring> PlantAwkward(const std::wstring& folder) {
    const std::wstring missing = folder + L"fehlt\\s.dll";
    const std::wstring cls = kClsid + L"{A1A1A1A1-0000-0000-0000-000000000000}";
    PutSz(HKEY_CURRENT_USER, cls, L"", L"Klasse mit \"Zitat\" und \\ und ]=[");
    PutSz(HKEY_CURRENT_USER, cls + L"\\InprocServer32", L"", missing);
    PutSz(HKEY_CURRENT_USER, cls + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    PutDword(HKEY_CURRENT_USER, cls + L"\\Werte", L"dword", 0xDEADBEEF);
    unsigned long long q = 0x1122334455667788ull;
    Put(HKEY_CURRENT_USER, cls + L"\\Werte", L"qword", REG_QWORD, &q, sizeof q);
    std::string bin(300, '\x5a');
    Put(HKEY_CURRENT_USER, cls + L"\\Werte", L"bin", REG_BINARY, bin.data(), static_cast<DWORD>(bin.size()));
    const wchar_t multi[] = L"eins\0zwei \"z\"\0";
    Put(HKEY_CURRENT_USER, cls + L"\\Werte", L"multi", REG_MULTI_SZ, multi, sizeof multi);
    PutSz(HKEY_CURRENT_USER, cls + L"\\Werte", L"exp", L"%SystemRoot%\\x", REG_EXPAND_SZ);
    Put(HKEY_CURRENT_USER, cls + L"\\Werte", L"none", REG_NONE, "\x01\x02", 2);
    PutSz(HKEY_CURRENT_USER, cls + L"\\Werte", L"n]a=m\\e\"Ω", std::wstring(400, L'ü'));
    PutSz(HKEY_CURRENT_USER, cls + L"\\Werte\\Tiefer\\Noch [tiefer]=x", L"", L"");
    // A name with brackets and "=" in an uninstall key; its sibling with the leading part must stay.
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"a]b=c[d", L"DisplayName", L"Ωλ");
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"a", L"DisplayName", L"bleibt");
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"a", L"UninstallString", L"x.exe");
    return {cls, kUninstall + L"a]b=c[d"};
}
}  // namespace

TEST_F(EngineTest, RemovalSavesEverythingAndRegeditWritesItBack) {
    AppEnvironment.UndoFileHeader = L"Windows Registry Editor Version 5.00\r\n\r\n";
    AppEnvironment.AppVersion = L"2.0";
    AppEnvironment.UserName = L"tester";
    AppEnvironment.ComputerName = L"PC1";
    AppEnvironment.OSName = L"Windows 10";
    const auto keys = PlantAwkward(folder.Path());
    clsKeyFunc& kf = ClassHandler().KeyFunc();
    const std::wstring before0 = kf.ExportKey(kHKCU, keys[0], true), before1 = kf.ExportKey(kHKLM, keys[1], true);

    ASSERT_TRUE(engine.Scan());
    ASSERT_EQ(engine.Rows().size(), 13u);  // the twelve entries of the class group, one uninstall entry
    bool sawUninstall = false;
    for (const ResultRow& r : engine.Rows())
        if (r.hit.key == keys[1]) {
            sawUninstall = true;
            EXPECT_EQ(r.item, L"[HKEY_LOCAL_MACHINE\\" + keys[1] + L"]");
        }
    EXPECT_TRUE(sawUninstall);

    RemovalResult res = engine.ProblemeEntfernen();
    ASSERT_TRUE(res.completed) << res.errorMessage;
    EXPECT_EQ(res.failed, 0u);
    EXPECT_EQ(res.removed, 13u);
    EXPECT_EQ(res.report, L"Die erkannten Fehler wurden erfolgreich entfernt und gesichert.");
    EXPECT_EQ(res.colour, RGB(0, 128, 0));
    EXPECT_TRUE(engine.Rows().empty());
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, keys[0]));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, keys[1]));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, kUninstall + L"a"));  // the sibling stays

    // File name and the fixed first lines.
    const std::wstring name = res.undoFile.substr(AppEnvironment.BackupDir.size());
    EXPECT_EQ(res.undoFile.substr(0, AppEnvironment.BackupDir.size()), AppEnvironment.BackupDir);
    EXPECT_TRUE(std::regex_match(name, std::wregex(L"Rückgängig_RegScan_[0-3][0-9][01][0-9]20[0-9][0-9]_[0-2][0-9][0-5][0-9][0-5][0-9]\\.reg")))
        << name;
    const std::string bytes = ReadBytes(res.undoFile);
    ASSERT_GT(bytes.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFFu);
    const std::wstring text = FileText(res.undoFile);
    const std::wstring intro =
        L"Windows Registry Editor Version 5.00\r\n\r\n\r\n"
        L"; Die nachfolgenden  Registryschlüssel wurden von Torvane Version 2.0\r\n"
        L"; als falsch erkannt und entfernt.\r\n"
        L"; Mit einem Doppelklick im Windows-Explorer auf diese Datei, werden die hier\r\n"
        L"; gesicherten Registryschlüssel wieder in die Registrierungs-Datenbank eingetragen.\r\n\r\n\r\n"
        L"; erstellt am: ";
    EXPECT_EQ(text.substr(0, intro.size()), intro);
    EXPECT_NE(text.find(L"\r\n; erstellt von: tester Computername: PC1\r\n; Betriebssystem: Windows 10\r\n\r\r\n"),
              std::wstring::npos);
    // Each key once, although twelve rows named the class or keys below it.
    size_t first = text.find(L"[HKEY_CURRENT_USER\\" + keys[0] + L"]");
    ASSERT_NE(first, std::wstring::npos);
    EXPECT_EQ(text.find(L"[HKEY_CURRENT_USER\\" + keys[0] + L"]", first + 1), std::wstring::npos);

    // regedit writes the file back, identically. It runs without our sandbox, so it writes into
    // this prefix's real keys; compare there and clean up.
    wchar_t win[MAX_PATH];
    GetWindowsDirectoryW(win, MAX_PATH);
    ASSERT_EQ(RunAndWait(L"\"" + std::wstring(win) + L"\\regedit.exe\" /s \"" + res.undoFile + L"\""), 0u);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    std::wstring after0, after1;
    try {
        after0 = kf.ExportKey(kHKCU, keys[0], true);
        after1 = kf.ExportKey(kHKLM, keys[1], true);
    } catch (...) {
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, keys[0].c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, keys[0].c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, keys[1].c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, keys[1].c_str());
    HKEY hklm = nullptr, hkcu = nullptr;
    RegOpenKeyExW(HKEY_CURRENT_USER, (sandbox.Path() + L"\\HKLM").c_str(), 0, KEY_ALL_ACCESS, &hklm);
    RegOpenKeyExW(HKEY_CURRENT_USER, (sandbox.Path() + L"\\HKCU").c_str(), 0, KEY_ALL_ACCESS, &hkcu);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, hklm);
    RegOverridePredefKey(HKEY_CURRENT_USER, hkcu);
    EXPECT_EQ(after0, before0);
    EXPECT_EQ(after1, before1);
}

TEST_F(EngineTest, MarkedRowsAnsiHeaderAndNothingSelected) {
    AppEnvironment.UndoFileHeader = L"REGEDIT4\r\n\r\n";
    for (int i = 0; i < 3; ++i) PutSz(HKEY_CURRENT_USER, kUninstall + L"P" + std::to_wstring(i), L"DisplayName", L"x");
    ASSERT_TRUE(engine.Scan());
    ASSERT_EQ(engine.Rows().size(), 3u);

    // Nothing marked: a file with the fixed lines only, every row stays.
    std::vector<size_t> none;
    RemovalResult res = engine.ProblemeEntfernen(&none);
    ASSERT_TRUE(res.completed);
    EXPECT_EQ(engine.Rows().size(), 3u);
    std::string bytes = ReadBytes(res.undoFile);
    EXPECT_EQ(bytes.substr(0, 12), "REGEDIT4\r\n\r\n");
    EXPECT_EQ(bytes.substr(bytes.size() - 3), "\r\r\n");
    EXPECT_EQ(bytes.find('['), std::string::npos);

    // Only the marked row goes; the others stay in the list and in the registry.
    size_t pick = 0;
    for (size_t i = 0; i < engine.Rows().size(); ++i)
        if (engine.Rows()[i].hit.key == kUninstall + L"P1") pick = i;
    std::vector<size_t> one{pick};
    WaitForNextSecond();  // a new second gives a new file name
    res = engine.ProblemeEntfernen(&one);
    ASSERT_TRUE(res.completed);
    EXPECT_EQ(res.report, L"Die markierten Fehler wurden erfolgreich entfernt und gesichert.");
    EXPECT_EQ(engine.Rows().size(), 2u);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kUninstall + L"P1"));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kUninstall + L"P0"));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kUninstall + L"P2"));
    bytes = ReadBytes(res.undoFile);
    EXPECT_NE(bytes.find("[HKEY_CURRENT_USER\\" + ToAnsi(kUninstall) + "P1]\r\n\"DisplayName\"=\"x\""), std::string::npos);
}

TEST_F(EngineTest, NoUndoFileMeansNothingIsDeleted) {
    PutSz(HKEY_CURRENT_USER, kUninstall + L"Q", L"DisplayName", L"x");
    ASSERT_TRUE(engine.Scan());
    ASSERT_EQ(engine.Rows().size(), 1u);
    // The backup folder cannot be made: a file stands where its parent should be.
    folder.Write(L"blockiert", "x");
    AppEnvironment.BackupDir = folder.Path() + L"blockiert\\Backup\\";
    RemovalResult res = engine.ProblemeEntfernen();
    EXPECT_FALSE(res.completed);
    EXPECT_FALSE(res.errorMessage.empty());
    EXPECT_EQ(res.removed, 0u);
    EXPECT_EQ(engine.Rows().size(), 1u);
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kUninstall + L"Q"));
    EXPECT_NE(res.report.find(L"nicht"), std::wstring::npos);
}

TEST_F(EngineTest, KeyThatCannotBeDeletedKeepsItsRow) {
    PutSz(HKEY_CURRENT_USER, kUninstall + L"R", L"DisplayName", L"x");
    // A sub-key nobody may delete.
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    BYTE aclBuf[256];
    ACL* acl = reinterpret_cast<ACL*>(aclBuf);
    InitializeAcl(acl, sizeof aclBuf, ACL_REVISION);
    BYTE sidBuf[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sidBuf;
    CreateWellKnownSid(WinWorldSid, nullptr, sidBuf, &sidSize);
    AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, sidBuf);
    SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
    HKEY h = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, (kUninstall + L"R\\Fest").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, &sa, &h, nullptr);
    RegCloseKey(h);
    ASSERT_TRUE(engine.Scan());
    RemovalResult res = engine.ProblemeEntfernen();
    if (!Exists(HKEY_CURRENT_USER, kUninstall + L"R\\Fest") || res.failed == 0)
        GTEST_SKIP() << "the platform does not enforce key security here";
    EXPECT_TRUE(res.completed);
    EXPECT_EQ(res.failed, 1u);
    EXPECT_EQ(engine.Rows().size(), 1u);
    EXPECT_EQ(res.report, L"Die erkannten Fehler wurden entfernt und gesichert. 1 Eintrag konnte nicht entfernt werden.");
}

TEST(ScanConsoleTool, PrintsRowsJsonAndRemovesIntoAFreshInstallFolder) {
    // Runs the console program against keys planted in this prefix's real HKCU.
    const std::wstring exe = ConsoleTool();
    ASSERT_TRUE(FileExists(exe)) << "torvane-scan.exe not built";
    TempFolder folder;
    const std::wstring install = folder.Path() + L"Neu\\Torvane";  // a fresh install folder, not there yet
    const std::wstring key = kUninstall + L"TorvaneScanTest_" + std::to_wstring(GetCurrentProcessId());
    PutSz(HKEY_CURRENT_USER, key, L"DisplayName", L"Größe\tTab \"&\"");
    const std::wstring cls = kClsid + L"{8D000000-0000-0000-0000-0000000000" + std::to_wstring(GetCurrentProcessId() % 90 + 10) + L"}";
    PutSz(HKEY_CURRENT_USER, cls + L"\\InprocServer32", L"", folder.Path() + L"Fehlt\\Server.dll");
    PutSz(HKEY_CURRENT_USER, L"Software\\Torvane\\Optionen", L"InstallDir", install);
    const std::wstring out = folder.Path() + L"out.txt";
    auto run = [&](const std::wstring& args) {
        return RunAndWait(L"cmd.exe /c \"\"" + exe + L"\" " + args + L" > \"" + out + L"\"\"");
    };
    EXPECT_EQ(run(L"/unbekannt"), 2u);
    EXPECT_EQ(run(L""), 0u);
    std::wstring text = FromUtf8(ReadBytes(out));
    const std::wstring row = L"[HKEY_CURRENT_USER\\" + key + L"]\t\"DisplayName\"\tGröße\tTab \"&\"\tHKEY_CURRENT_USER\r\n";
    EXPECT_NE(text.find(row), std::wstring::npos) << text;
    std::wregex last(L"(Hervorragend|Nur|Einige|Viele|Sehr)[^\r\n]* \\([0-9]+ von [0-9]+ Einträgen = [0-9,]+%\\)\r\n$");
    EXPECT_TRUE(std::regex_search(text, last)) << text;
    // The start-up preparation made the backup folder.
    EXPECT_TRUE(FileExists(install + L"\\Backup\\"));

    // One JSON document, UTF-8, every text escaped.
    EXPECT_EQ(run(L"/json"), 0u);
    text = FromUtf8(ReadBytes(out));
    std::wstring escapedKey;
    for (wchar_t c : key) escapedKey += c == L'\\' ? std::wstring(L"\\\\") : std::wstring(1, c);
    EXPECT_NE(text.find(L"{\"item\": \"[HKEY_CURRENT_USER\\\\" + escapedKey + L"]\", \"root\": \"HKEY_CURRENT_USER\", "
                        L"\"key\": \"" + escapedKey + L"\", \"value_name\": \"DisplayName\", "
                        L"\"data\": \"Größe\\tTab \\\"&\\\"\", \"rule\": \"uninstall_entry\", "
                        L"\"rule_text\": \"Deinstallationseintrag ohne Programm\", \"looked_for\": \"\"}"),
              std::wstring::npos) << text;
    // A file rule's row: the data as read, and the path that was looked for.
    std::wstring escapedFolder;
    for (wchar_t c : folder.Path()) escapedFolder += c == L'\\' ? std::wstring(L"\\\\") : std::wstring(1, c);
    EXPECT_NE(text.find(L"\"value_name\": \"\", \"data\": \"" + escapedFolder + L"Fehlt\\\\Server.dll\", "
                        L"\"rule\": \"missing_file\", \"rule_text\": \"Datei fehlt\", \"looked_for\": \"" +
                        ToLower(escapedFolder) + L"fehlt\\\\server.dll\"}"),
              std::wstring::npos) << text;
    EXPECT_TRUE(std::regex_search(text, std::wregex(L"\n  \"total\": [1-9][0-9]*,\n  \"percent\": [0-9]+\\.[0-9][0-9]\n\\}\r\n$")))
        << text;
    EXPECT_EQ(text.find(L"\"removal\""), std::wstring::npos);

    // The removal of a fresh install: the undo file lands in the backup folder, the key is gone.
    // (Whatever else this private prefix holds that is broken goes the same way, into the same file.)
    EXPECT_EQ(run(L"/remove /json"), 0u);
    text = FromUtf8(ReadBytes(out));
    std::wsmatch m;
    ASSERT_TRUE(std::regex_search(text, m, std::wregex(L"\"removal\": \\{\"completed\": true, \"undo_file\": \"([^\"]+)\", "
                                                       L"\"removed\": [1-9][0-9]*, \"failed\": 0, ")))
        << text;
    std::wstring undo = m[1].str();
    for (size_t p = 0; (p = undo.find(L"\\\\", p)) != std::wstring::npos; ++p) undo.erase(p, 1);
    EXPECT_EQ(undo.substr(0, install.size() + 8), install + L"\\Backup\\") << undo;
    EXPECT_TRUE(FileExists(undo)) << undo;
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, key));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, cls));
    RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, cls.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, cls.c_str());
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Torvane\\Optionen", 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS) {
        RegDeleteValueW(h, L"InstallDir");
        RegCloseKey(h);
    }
}

TEST(ScanConsoleTool, LeavesOutExcludedKeysUnlessToldNotTo) {
    // Against this prefix's real HKCU, as the console program reads it.
    const std::wstring exe = ConsoleTool();
    ASSERT_TRUE(FileExists(exe)) << "torvane-scan.exe not built";
    TempFolder folder;
    const std::wstring base = kUninstall + L"TorvaneAusnahme_" + std::to_wstring(GetCurrentProcessId());
    PutSz(HKEY_CURRENT_USER, base, L"DisplayName", L"gemeldet");
    // A class whose server is missing, with a number among its values.
    const std::wstring cls = kClsid + L"{8E000000-0000-0000-0000-0000000000" + std::to_wstring(GetCurrentProcessId() % 90 + 10) + L"}";
    PutSz(HKEY_CURRENT_USER, cls + L"\\InprocServer32", L"", folder.Path() + L"Fehlt\\Server.dll");
    PutDword(HKEY_CURRENT_USER, cls, L"Zahl", 258);
    const std::wstring item = L"[HKEY_CURRENT_USER\\" + cls + L"]";
    PutSz(HKEY_CURRENT_USER, L"Software\\Torvane\\Ausnahmen", item, item);
    PutSz(HKEY_CURRENT_USER, L"Software\\Torvane\\Optionen", L"InstallDir", folder.Path() + L"Torvane");
    const std::wstring out = folder.Path() + L"out.txt";
    auto run = [&](const std::wstring& args) {
        RunAndWait(L"cmd.exe /c \"\"" + exe + L"\" " + args + L" > \"" + out + L"\"\"");
        return FromUtf8(ReadBytes(out));
    };
    std::wstring text = run(L"");
    EXPECT_NE(text.find(L"[HKEY_CURRENT_USER\\" + base + L"]\t"), std::wstring::npos) << text;
    EXPECT_EQ(text.find(cls.substr(kClsid.size())), std::wstring::npos) << text;
    text = run(L"/json");
    EXPECT_NE(text.find(L"TorvaneAusnahme_"), std::wstring::npos) << text;
    EXPECT_EQ(text.find(cls.substr(kClsid.size())), std::wstring::npos) << text;
    // Without the exclusions the key is there, its number shown as the list shows it.
    text = run(L"/noexclusions");
    EXPECT_NE(text.find(item + L"\t\"Zahl\"\t0x00000102 (258)\tHKEY_CURRENT_USER\r\n"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"[HKEY_CURRENT_USER\\" + cls + L"\\InprocServer32]\t@\t"), std::wstring::npos) << text;
    text = run(L"/NoExclusions /json");
    EXPECT_NE(text.find(L"\"value_name\": \"Zahl\", \"data\": \"0x00000102 (258)\""), std::wstring::npos) << text;
    EXPECT_EQ(RunAndWait(L"cmd.exe /c \"\"" + exe + L"\" /noexclusion > nul 2>&1\""), 2u);

    RegDeleteKeyW(HKEY_CURRENT_USER, base.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, cls.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, cls.c_str());
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Torvane\\Ausnahmen", 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS) {
        RegDeleteValueW(h, item.c_str());
        RegCloseKey(h);
    }
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Torvane\\Optionen", 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS) {
        RegDeleteValueW(h, L"InstallDir");
        RegCloseKey(h);
    }
}

TEST(ScanSteps, TheWow6432NodeAreasAreTheThirtyTwoBitViewOfThisSystem) {
    // Each 32-bit area is a key of its own (never the 64-bit area again, which would list every
    // entry twice), and what a 32-bit program writes to the machine's classes, interfaces and
    // uninstall entries (KEY_WOW64_32KEY) is what the scan reads there.
    const std::wstring name = L"TorvaneView_" + std::to_wstring(GetCurrentProcessId());
    int steps32 = 0;
    for (int n = 1; n <= ScanEngine::kSteps; ++n) {
        const ScanEngine::Step& step = ScanEngine::StepAt(n);
        const std::wstring path = step.key;
        const size_t at = path.find(L"Wow6432Node\\");
        if (at == std::wstring::npos) continue;
        ++steps32;
        std::wstring native = path;
        native.erase(at, 12);
        const HKEY root = ToHkey(step.root);
        PutKey(root, path + L"\\" + name);
        EXPECT_FALSE(Exists(root, native + L"\\" + name)) << path << " is the 64-bit area";
        if (step.root == kHKLM) {
            HKEY h = nullptr;
            EXPECT_EQ(RegOpenKeyExW(root, (native + L"\\" + name).c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &h),
                      ERROR_SUCCESS) << native;
            if (h) RegCloseKey(h);
        }
        RegDeleteKeyW(root, (path + L"\\" + name).c_str());
    }
    EXPECT_EQ(steps32, 5);
}

TEST_F(EngineTest, ThirtyTwoBitRowsGoBackToTheThirtyTwoBitView) {
    AppEnvironment.UndoFileHeader = L"Windows Registry Editor Version 5.00\r\n\r\n";
    const std::wstring wowKey = L"Software\\Classes\\Wow6432Node\\CLSID\\{8A000000-0000-0000-0000-0000000000" +
                                std::to_wstring(GetCurrentProcessId() % 90 + 10) + L"}";
    PutSz(HKEY_LOCAL_MACHINE, wowKey, L"", L"32-Bit-Klasse");
    PutSz(HKEY_LOCAL_MACHINE, wowKey + L"\\InprocServer32", L"", folder.Path() + L"fehlt32.dll");
    DWORD flags = 7;
    Put(HKEY_LOCAL_MACHINE, wowKey + L"\\InprocServer32", L"Flags", REG_DWORD, &flags, sizeof flags);
    const std::wstring before = ClassHandler().KeyFunc().ExportKey(kHKLM, wowKey, true);
    ASSERT_TRUE(engine.Scan());
    ASSERT_EQ(engine.Rows().size(), 3u);
    EXPECT_EQ(engine.Rows().back().item, L"[HKEY_LOCAL_MACHINE\\" + wowKey + L"]");
    RemovalResult res = engine.ProblemeEntfernen();
    ASSERT_TRUE(res.completed) << res.errorMessage;
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, wowKey));
    EXPECT_NE(FileText(res.undoFile).find(L"[HKEY_LOCAL_MACHINE\\" + wowKey + L"]\r\n@=\"32-Bit-Klasse\"\r\n"),
              std::wstring::npos);

    // regedit writes it back where a 32-bit program looks for it.
    wchar_t win[MAX_PATH];
    GetWindowsDirectoryW(win, MAX_PATH);
    ASSERT_EQ(RunAndWait(L"\"" + std::wstring(win) + L"\\regedit.exe\" /s \"" + res.undoFile + L"\""), 0u);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    std::wstring after;
    std::wstring native = wowKey;
    native.erase(native.find(L"Wow6432Node\\"), 12);
    HKEY h32 = nullptr;
    const bool seen32 = RegOpenKeyExW(HKEY_LOCAL_MACHINE, native.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &h32) == ERROR_SUCCESS;
    if (h32) RegCloseKey(h32);
    try {
        after = ClassHandler().KeyFunc().ExportKey(kHKLM, wowKey, true);
    } catch (...) {
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, wowKey.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, wowKey.c_str());
    HKEY hklm = nullptr;
    RegOpenKeyExW(HKEY_CURRENT_USER, (sandbox.Path() + L"\\HKLM").c_str(), 0, KEY_ALL_ACCESS, &hklm);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, hklm);
    EXPECT_TRUE(seen32);
    EXPECT_EQ(after, before);
}

TEST_F(EngineTest, NoSecondScanOrRemovalInsideARunningScan) {
    PutSz(HKEY_CURRENT_USER, kUninstall + L"S", L"DisplayName", L"x");
    // The scan pumps messages; a window could ask for another start or a removal meanwhile.
    struct Reenter : ScanProgress {
        ScanEngine* e;
        bool innerScan = true;
        RemovalResult innerRemoval;
        void OnStep(int step, const std::wstring&, size_t) override {
            if (step != 9) return;
            innerScan = e->Scan();
            innerRemoval = e->ProblemeEntfernen();
        }
    } reenter;
    reenter.e = &engine;
    engine.SetProgress(&reenter);
    ASSERT_TRUE(engine.Scan());
    EXPECT_FALSE(reenter.innerScan);
    EXPECT_FALSE(reenter.innerRemoval.completed);
    EXPECT_TRUE(reenter.innerRemoval.undoFile.empty());
    EXPECT_EQ(engine.Rows().size(), 1u);
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kUninstall + L"S"));
}
