// tests/backup/RestoreConsole_test.cpp
#include "backup/RestorePlan.h"
#include "core/AppEnvironment.h"
#include "journal/ChangeJournal.h"
#include "journal/RegistryTree.h"
#include "scan/ScanReport.h"
#include "support/Wait.h"

using namespace regtree;

namespace {
const HKEY cu = HKEY_CURRENT_USER;

std::wstring JsonEscaped(const std::wstring& s) {
    const std::wstring quoted = JsonString(s);
    return quoted.substr(1, quoted.size() - 2);
}

// torvane-scan runs in its own process and sees the real registry of the prefix: this works below
// the real HKEY_CURRENT_USER and removes its keys at the end.
struct RestoreConsole : ::testing::Test {
    TempFolder folder;
    std::wstring base, out, err;
    void SetUp() override {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        PrepareEnvironment(folder.Path());
        AppEnvironment.UndoFileHeader = kHeader5;
        // The console program's backup folder is this test's, too.
        SetText(cu, L"Software\\Torvane\\Optionen", L"InstallDir", REG_SZ, folder.Path());
        // An uninstall entry: a key some tool may change, so the console writes it back.
        base = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TorvaneTest_Restore_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
               std::to_wstring(GetTickCount64());
        out = folder.Path() + L"out.txt";
        err = folder.Path() + L"err.txt";
    }
    void TearDown() override {
        RegDeleteTreeW(cu, base.c_str());
        RegDeleteKeyW(cu, base.c_str());
    }
    DWORD Run(const std::wstring& args) { return RunConsoleTool(args, out, err); }
    std::wstring Out() { return FromUtf8(ReadBytes(out)); }
    std::wstring Err() { return FromUtf8(ReadBytes(err)); }
};
}  // namespace

// The console shows the rows the window shows (both come from the same plan, compared here as the
// JSON document), a preview writes nothing, conflicts stay without /force, and writing back the
// write-back's own undo file leaves the registry as it was before both.
TEST_F(RestoreConsole, PreviewWriteBackAndItsUndo) {
    SetText(cu, base + L"\\Alt", L"Pfad", REG_SZ, L"C:\\alt.exe");
    SetText(cu, base + L"\\Weg\\Unter", L"", REG_SZ, L"u");
    ChangeJournal removal(L"RegScan", L"test", L"test");
    ASSERT_EQ(removal.Apply({RegChange::DeleteTree(kHKCU, base + L"\\Alt"), RegChange::DeleteTree(kHKCU, base + L"\\Weg")})
                  .Done(),
              2u);
    SetText(cu, base + L"\\Alt", L"Pfad", REG_SZ, L"C:\\neu.exe");
    const Tree before = Snapshot(cu, base);
    const std::wstring file = removal.UndoPath();

    ASSERT_EQ(Run(L"/restore:\"" + file + L"\" /preview /json"), 0u) << ToUtf8(Err());
    const std::wstring document = Out();
    EXPECT_EQ(document, RestoreJsonDocument(PlanRestore(file), nullptr) + L"\r\n");
    EXPECT_NE(document.find(L"{\"root\": \"HKEY_CURRENT_USER\", \"key\": \"" + JsonEscaped(base) +
                            L"\\\\Alt\", \"value_name\": \"Pfad\", \"change\": \"change\", \"conflict\": true, "
                            L"\"now\": \"C:\\\\neu.exe\", \"after\": \"C:\\\\alt.exe\", \"line\": "),
              std::wstring::npos)
        << ToUtf8(document);
    EXPECT_NE(document.find(L"\"written\": 0,\n  \"kept\": 0,\n  \"undo_file\": null\n}"), std::wstring::npos);
    EXPECT_EQ(Differences(before, Snapshot(cu, base)), "");
    EXPECT_EQ(Differences(Snapshot(cu, base), before), "");

    // Without /force the conflict stays: something was kept.
    ASSERT_EQ(Run(L"/restore:\"" + file + L"\""), 1u) << ToUtf8(Err());
    const std::wstring text = Out();
    EXPECT_NE(text.find(L"wird geändert\tHKEY_CURRENT_USER\\" + base + L"\\Alt\tPfad\tC:\\neu.exe\tC:\\alt.exe\t"
                        L"Schlüssel wurde seither neu angelegt\r\n"),
              std::wstring::npos)
        << ToUtf8(text);
    EXPECT_NE(text.find(L"Geschrieben: 3, nicht geschrieben: 1\r\n"), std::wstring::npos) << ToUtf8(text);
    const size_t at = text.find(L"Sicherungsdatei: ");
    ASSERT_NE(at, std::wstring::npos);
    const std::wstring undo = text.substr(at + 17, text.find(L"\r\n", at) - at - 17);
    RegValue v;
    ASSERT_TRUE(KF().ReadValueRaw(kHKCU, base + L"\\Alt", L"Pfad", v));
    EXPECT_EQ(ValueText(v), L"C:\\neu.exe");
    EXPECT_TRUE(KeyThere(cu, base + L"\\Weg\\Unter"));

    ASSERT_EQ(Run(L"/restore:\"" + undo + L"\" /json"), 0u) << ToUtf8(Err());
    EXPECT_NE(Out().find(L"\"written\": 1,\n  \"kept\": 0,"), std::wstring::npos) << ToUtf8(Out());
    EXPECT_EQ(Differences(before, Snapshot(cu, base)), "");
    EXPECT_EQ(Differences(Snapshot(cu, base), before), "");

    // With /force the conflict is written too.
    ASSERT_EQ(Run(L"/restore:\"" + file + L"\" /force"), 0u) << ToUtf8(Err());
    ASSERT_TRUE(KF().ReadValueRaw(kHKCU, base + L"\\Alt", L"Pfad", v));
    EXPECT_EQ(ValueText(v), L"C:\\alt.exe");
}

TEST_F(RestoreConsole, BadArgumentsAndUnreadableFilesChangeNothing) {
    const std::wstring cut = folder.Write(L"halb.reg", "\xFF\xFE" + Utf16(kHeader5 + L"[HKEY_CURRENT_USER\\" + base +
                                                                          L"]\r\n\"a\"=hex:01,\\\r\n"));
    EXPECT_EQ(Run(L"/restore:\"" + cut + L"\""), 2u);
    EXPECT_EQ(Err(), L"Die Datei " + cut + L" ist beschädigt (Zeile 4: die Datei endet mitten im Wert (sie ist "
                     L"abgeschnitten)); nichts wurde geschrieben. Mit /force wird der lesbare Rest geschrieben.\r\n");
    EXPECT_FALSE(KeyThere(cu, base));
    EXPECT_EQ(Run(L"/restore:\"" + folder.Path() + L"fehlt.reg\" /json"), 2u);
    EXPECT_NE(Err().find(L"nicht lesbar"), std::wstring::npos) << ToUtf8(Err());
    for (const wchar_t* args : {L"/preview", L"/force", L"/restore:a.reg /remove", L"/restore:a.reg /preview /force",
                                L"/restore:a.reg /offline:C:\\Windows"})
        EXPECT_EQ(Run(args), 2u) << ToUtf8(args);
    EXPECT_FALSE(KeyThere(cu, base));
}
