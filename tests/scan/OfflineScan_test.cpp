// tests/scan/OfflineScan_test.cpp
// The scan of an installation that is not running: a folder tree built by make_hives.sh stands
// for its drive C:, its hives hold registrations planted from software.reg, ntuser.reg and
// usrclass.reg. The same files planted into the (sandboxed) running registry, with C:\ as that
// folder and the system folders pointed there, must give the same rows.
#include "backup/RegFileReader.h"
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/RuntimeError.h"
#include "core/Text.h"
#include "registry/OfflineRegistry.h"
#include "scan/ScanEngine.h"
#include "scan/ScanReport.h"
#include "support/Hives.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <tuple>

namespace {
const std::wstring kSid = L"S-1-5-21-1-2-3-1001";

std::wstring ReplaceNoCase(std::wstring s, const std::wstring& what, const std::wstring& with) {
    for (size_t p = 0; (p = ToLower(s).find(ToLower(what), p)) != std::wstring::npos; p += with.size())
        s.replace(p, what.size(), with);
    return s;
}

// Plants a registry file into the running registry, its C:\ standing for `drive`.
void Plant(const std::wstring& regFile, const std::wstring& drive) {
    // hivexregedit writes UTF-8 without a byte-order mark, its text types in hex as UTF-16.
    const RegFile file = ParseRegText(FromUtf8(ReadBytes(regFile)), true);
    ASSERT_TRUE(file.valid) << ToUtf8(regFile);
    for (const RegFileKey& k : file.keys) {
        HKEY h = nullptr;
        ASSERT_EQ(RegCreateKeyExW(k.root == kHKLM ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, k.path.c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &h, nullptr),
                  ERROR_SUCCESS);
        for (const RegFileValue& v : k.values) {
            std::string bytes = v.bytes;
            if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) {
                std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
                text = ReplaceNoCase(text, L"C:\\", drive);
                bytes.assign(reinterpret_cast<const char*>(text.data()), text.size() * 2);
            }
            RegSetValueExW(h, v.name.empty() ? nullptr : v.name.c_str(), 0, v.type,
                           reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
        }
        RegCloseKey(h);
    }
}

using Row = std::tuple<std::wstring, std::wstring, std::wstring, int, std::wstring>;
// The rows as comparable records: key, name, data and finding as listed, the path looked for in lower case.
std::vector<Row> Records(const std::vector<ResultRow>& rows, const std::wstring& drive) {
    std::wstring doubled;
    for (wchar_t c : drive) doubled += c == L'\\' ? std::wstring(L"\\\\") : std::wstring(1, c);
    std::vector<Row> out;
    for (const ResultRow& r : rows) {
        std::wstring data = drive.empty() ? r.data : ReplaceNoCase(ReplaceNoCase(r.data, L"C:\\\\", doubled), L"C:\\", drive);
        out.emplace_back(r.item, r.name, data, static_cast<int>(r.finding), ToLower(r.lookedFor));
    }
    std::sort(out.begin(), out.end());
    return out;
}

struct OfflineScanTest : ::testing::Test {
    RegistrySandbox sandbox;
    TempFolder folder;
    std::wstring drive = TestHives() + L"drive\\";
    void SetUp() override { PrepareEnvironment(folder.Path()); }
};
}  // namespace

TEST_F(OfflineScanTest, SameRowsAsTheLiveScanOfTheSameKeys) {
    ASSERT_TRUE(FileExists(drive + L"Windows\\System32\\config\\SOFTWARE")) << "hives not built";
    const std::wstring software = drive + L"Windows\\System32\\config\\SOFTWARE";
    const std::string before = ReadBytes(software);

    // Offline.
    OfflineRegistry hives(drive + L"Windows");
    ASSERT_EQ(hives.Users(), 1);
    EXPECT_EQ(hives.Folders().WinDir, L"C:\\Windows\\");
    EXPECT_EQ(hives.Folders().ProgramFilesX86Dir, L"C:\\Program Files (x86)\\");
    EXPECT_EQ(hives.Folders().SysWow64Dir, L"C:\\Windows\\SysWOW64\\");
    EXPECT_EQ(hives.Reach(L"c:\\program files\\a.dll"), drive + L"program files\\a.dll");
    EXPECT_EQ(hives.Reach(L"e:\\spiele\\spiel.dll"), L"");
    ScanEngine offline;
    offline.SetSource(&hives);
    ASSERT_TRUE(offline.Scan());
    const std::vector<ResultRow> offlineRows = offline.Rows();
    offline.Close();

    // Each row names its hive file.
    for (const ResultRow& r : offlineRows) {
        const std::wstring origin = hives.Origin(r.hit);
        if (r.hit.root == kHKLM) EXPECT_EQ(origin, software);
        else if (StartsWith(ToLower(r.hit.key), L"software\\classes\\"))
            EXPECT_EQ(origin, drive + L"Users\\Anna\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat");
        else EXPECT_EQ(origin, drive + L"Users\\Anna\\NTUSER.DAT");
    }

    // The same keys in the running registry, the system folders where the installation has them.
    Plant(TestHives() + L"software.reg", drive);
    Plant(TestHives() + L"ntuser.reg", drive);
    Plant(TestHives() + L"usrclass.reg", drive);
    AppEnvironment.WinDir = drive + L"Windows\\";
    AppEnvironment.SysWow64Dir = drive + L"Windows\\SysWOW64\\";
    AppEnvironment.ProgramFilesDir = drive + L"Program Files\\";
    AppEnvironment.ProgramFilesX86Dir = drive + L"Program Files (x86)\\";
    ScanEngine live;
    ASSERT_TRUE(live.Scan());
    EXPECT_EQ(Records(offlineRows, drive), Records(live.Rows(), L""));
    EXPECT_EQ(offline.Total(), live.Total());

    // What the planted registrations must give: every kind of finding, and none for the sound ones.
    auto has = [&](const std::wstring& part, Finding f) {
        return std::any_of(offlineRows.begin(), offlineRows.end(),
                           [&](const ResultRow& r) { return r.item.find(part) != std::wstring::npos && r.finding == f; });
    };
    auto none = [&](const std::wstring& part) {
        return std::none_of(offlineRows.begin(), offlineRows.end(),
                            [&](const ResultRow& r) { return r.item.find(part) != std::wstring::npos; });
    };
    EXPECT_TRUE(has(L"{0A0A0A0A-0000-4000-8000-000000000002}", Finding::MissingFile));        // C:\Program Files\Gone
    EXPECT_TRUE(has(L"{0A0A0A0A-0000-4000-8000-000000000004}", Finding::MissingFile));        // "%ProgramFiles%\Alt\alt.exe" /x
    EXPECT_TRUE(has(L"{0A0A0A0A-0000-4000-8000-000000000006}", Finding::EmptyKey));
    EXPECT_TRUE(has(L"{0A0A0A0A-0000-4000-8000-000000000007}", Finding::UnregisteredTypeLib));
    EXPECT_TRUE(has(L"Wow6432Node\\CLSID\\{0A0A0A0A-0000-4000-8000-00000000000B}", Finding::MissingFile));
    EXPECT_TRUE(has(L"{0A0A0A0A-0000-4000-8000-000000000014}", Finding::MissingFile));        // the user's class
    EXPECT_TRUE(has(L"{0B0B0B0B-0000-4000-8000-000000000003}\\2.0", Finding::MissingFile));
    EXPECT_TRUE(has(L"Uninstall\\Alt]", Finding::Uninstall));
    EXPECT_TRUE(has(L"Uninstall\\NurName]", Finding::Uninstall));
    EXPECT_TRUE(has(L"App Paths\\fehlt.exe]", Finding::MissingFile));
    for (const wchar_t* n : {L"1", L"3", L"5", L"8", L"9", L"A"})  // sound, or on a drive not at hand (5)
        EXPECT_TRUE(none(L"{0A0A0A0A-0000-4000-8000-00000000000" + std::wstring(n) + L"}")) << ToUtf8(n);
    EXPECT_TRUE(none(L"Uninstall\\Gut]"));
    EXPECT_TRUE(none(L"App Paths\\da.exe]"));

    // Nothing of the installation was written.
    EXPECT_EQ(ReadBytes(software), before);
}

TEST_F(OfflineScanTest, RemovalFileAndItsUndoNameTheKeysAsThatSystemDoes) {
    OfflineRegistry hives(drive + L"Windows");
    ScanEngine engine;
    engine.SetSource(&hives);
    ASSERT_TRUE(engine.Scan());
    const std::wstring reg = folder.Path() + L"entfernen.reg";
    std::vector<std::wstring> kept;
    const std::wstring undo = WriteOfflineRemoval(engine.Rows(), hives, reg, kept);
    EXPECT_TRUE(kept.empty());
    EXPECT_EQ(undo, folder.Path() + L"Rückgängig_entfernen.reg");
    auto text = [](const std::wstring& path) {
        const std::string b = ReadBytes(path);
        EXPECT_EQ(b.substr(0, 2), "\xFF\xFE");
        return std::wstring(reinterpret_cast<const wchar_t*>(b.data() + 2), (b.size() - 2) / 2);
    };
    const std::wstring removal = text(reg), restore = text(undo);
    EXPECT_TRUE(StartsWith(removal, L"Windows Registry Editor Version 5.00\r\n\r\n"));
    // Each row's key goes whole, as on a running system; user keys under the user's SID.
    for (const std::wstring& key :
         {L"HKEY_USERS\\" + kSid + L"\\Software\\Classes\\CLSID\\{0A0A0A0A-0000-4000-8000-000000000014}",
          L"HKEY_USERS\\" + kSid + L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NurName",
          std::wstring(L"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{0A0A0A0A-0000-4000-8000-000000000006}"),
          std::wstring(L"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{0A0A0A0A-0000-4000-8000-000000000002}")})
        EXPECT_NE(removal.find(L"[-" + key + L"]\r\n"), std::wstring::npos) << ToUtf8(key) << ToUtf8(removal);
    // A key below one that goes is not named again.
    EXPECT_EQ(removal.find(L"{0A0A0A0A-0000-4000-8000-000000000002}\\"), std::wstring::npos) << ToUtf8(removal);
    // The undo export holds the same keys whole, as the hives have them.
    EXPECT_NE(restore.find(L"[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{0A0A0A0A-0000-4000-8000-000000000002}\\InprocServer32]\r\n"
                           L"@=\"C:\\\\Program Files\\\\Gone\\\\gone.dll\"\r\n\"ThreadingModel\"=\"Apartment\"\r\n"),
              std::wstring::npos) << ToUtf8(restore);
    EXPECT_NE(restore.find(L"[HKEY_USERS\\" + kSid + L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NurName]\r\n"
                           L"\"DisplayName\"=\"Nur ein Name\"\r\n"),
              std::wstring::npos);
    // Read back as the registry editor reads it: every key of the removal is in the undo file.
    const RegFile removed = ReadRegFile(reg), saved = ReadRegFile(undo);
    EXPECT_TRUE(removed.valid && saved.valid);
    EXPECT_EQ(removed.badLines + saved.badLines, 0);
    for (const RegFileKey& k : removed.keys)
        EXPECT_TRUE(std::any_of(saved.keys.begin(), saved.keys.end(), [&](const RegFileKey& s) {
            return s.root == k.root && lstrcmpiW(s.path.c_str(), k.path.c_str()) == 0;
        })) << ToUtf8(k.path);
}

TEST_F(OfflineScanTest, DamagedHiveOrNoWindowsFolderIsNamed) {
    auto refusal = [](const std::wstring& dir) {
        try {
            OfflineRegistry hives(dir);
        } catch (const RuntimeError& e) {
            return e.description;
        }
        return std::wstring();
    };
    const std::wstring damaged = TestHives() + L"damaged\\Windows";
    std::wstring text = refusal(damaged);
    EXPECT_NE(text.find(damaged + L"\\System32\\config\\SOFTWARE ist beschädigt"), std::wstring::npos) << ToUtf8(text);
    text = refusal(folder.Path() + L"Windows");
    EXPECT_NE(text.find(L"ist nicht vorhanden"), std::wstring::npos) << ToUtf8(text);
    text = refusal(folder.Path().substr(0, folder.Path().size() - 1));
    EXPECT_NE(text.find(L"ist kein Windows-Ordner"), std::wstring::npos) << ToUtf8(text);
}

TEST_F(OfflineScanTest, ConsoleToolScansAnotherInstallation) {
    const std::wstring out = folder.Path() + L"out.txt", err = folder.Path() + L"err.txt";
    const std::wstring windows = drive + L"Windows";
    // Rows with their hive file in a fifth column, then the rating.
    ASSERT_EQ(RunConsoleTool(L"\"/offline:" + windows + L"\"", out, err), 0u) << ReadBytes(err);
    std::wstring text = FromUtf8(ReadBytes(out));
    EXPECT_NE(text.find(L"[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NurName]\t"
                        L"\"DisplayName\"\tNur ein Name\tHKEY_CURRENT_USER\t" + drive + L"Users\\Anna\\NTUSER.DAT\r\n"),
              std::wstring::npos) << ToUtf8(text);
    EXPECT_NE(text.find(L"Einträgen = "), std::wstring::npos);

    // JSON: each row with "hive"; with /reg: the removal file and its undo file beside it.
    const std::wstring reg = folder.Path() + L"weg.reg";
    ASSERT_EQ(RunConsoleTool(L"/json \"/offline:" + windows + L"\" \"/reg:" + reg + L"\"", out, err), 0u) << ReadBytes(err);
    text = FromUtf8(ReadBytes(out));
    std::wstring hive;
    for (wchar_t c : drive + L"Windows\\System32\\config\\SOFTWARE") hive += c == L'\\' ? std::wstring(L"\\\\") : std::wstring(1, c);
    EXPECT_NE(text.find(L"\"rule\": \"uninstall_entry\", \"rule_text\": \"Deinstallationseintrag ohne Programm\", "
                        L"\"looked_for\": \"\", \"hive\": \"" + hive + L"\"}"),
              std::wstring::npos) << ToUtf8(text);
    EXPECT_TRUE(FileExists(reg));
    EXPECT_TRUE(FileExists(folder.Path() + L"Rückgängig_weg.reg"));

    // A damaged hive: exit code 2 and the file named with its reason; nothing on standard output.
    EXPECT_EQ(RunConsoleTool(L"\"/offline:" + TestHives() + L"damaged\\Windows\"", out, err), 2u);
    EXPECT_NE(FromUtf8(ReadBytes(err)).find(L"damaged\\Windows\\System32\\config\\SOFTWARE ist beschädigt"), std::wstring::npos)
        << ReadBytes(err);
    EXPECT_EQ(ReadBytes(out), "");
    // Nothing is removed from another installation.
    EXPECT_EQ(RunConsoleTool(L"/remove \"/offline:" + windows + L"\"", out, err), 2u);
}

TEST_F(OfflineScanTest, KeysNestedDeeperThanWindowsGoesAreRefusedNotWalked) {
    // SOFTWARE with a chain of 30,000 nested keys below an uninstall entry once ran the scan's
    // walk out of stack (exit code 1, no message). Now the hive is refused as it is opened.
    const std::wstring out = folder.Path() + L"out.txt", err = folder.Path() + L"err.txt";
    const std::wstring windows = TestHives() + L"deep\\Windows";
    EXPECT_EQ(RunConsoleTool(L"\"/offline:" + windows + L"\"", out, err), 2u) << ReadBytes(err);
    const std::wstring text = FromUtf8(ReadBytes(err));
    EXPECT_NE(text.find(windows + L"\\System32\\config\\SOFTWARE ist beschädigt: der Schlüssel bei "), std::wstring::npos)
        << ToUtf8(text);
    EXPECT_NE(text.find(L"liegt mehr als 512 Ebenen tief"), std::wstring::npos) << ToUtf8(text);
    EXPECT_EQ(ReadBytes(out), "");
}
