// tests/backup/RestorePlan_test.cpp
#include "journal/Areas.h"
#include "backup/RestorePlan.h"
#include "core/AppEnvironment.h"
#include "journal/ChangeJournal.h"
#include "journal/RegistryTree.h"
#include "scan/ScanTestRegistry.h"

using namespace regtree;

namespace {
const HKEY cu = HKEY_CURRENT_USER;

struct RestoreTest : ::testing::Test {
    RegistrySandbox sandbox;
    TempFolder folder;
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppEnvironment.UndoFileHeader = kHeader5;
        // The plan and its write-back are tried on keys of the sandbox's own; which keys a
        // write-back may change is the journal's test.
        ExtraAreas().push_back({kHKCU, L"Software"});
    }
    void TearDown() override { ExtraAreas().pop_back(); }
    std::wstring WriteFile(const std::wstring& name, const std::wstring& text) {
        return folder.Write(name, "\xFF\xFE" + Utf16(text));
    }
};

// "key|value|change|conflict|now|after" per row, for comparing whole plans at once.
std::vector<std::wstring> Rows(const RestorePlan& plan) {
    std::vector<std::wstring> out;
    for (const RestoreRow& r : plan.rows)
        out.push_back(r.key + L"|" + r.ValueText() + L"|" + r.ChangeText() + L"|" + (r.conflict ? L"Konflikt" : L"") +
                      L"|" + r.now.value_or(L"-") + L"|" + r.after.value_or(L"-"));
    return out;
}

std::vector<bool> Only(const RestorePlan& plan, std::initializer_list<size_t> rows) {
    std::vector<bool> chosen(plan.rows.size(), false);
    for (size_t r : rows) chosen[r] = true;
    return chosen;
}
}  // namespace

// A scan removal written back over a registry in which one of its keys was made again with other
// data: the preview writes nothing, the recreated key's rows are conflicts and stay unless chosen,
// the rest comes back, and the write-back's own undo file takes exactly that away again.
TEST_F(RestoreTest, RemovalOverARecreatedKeyAndTheUndoOfTheWriteBack) {
    SetText(cu, L"Software\\Alt", L"Pfad", REG_SZ, L"C:\\alt.exe");
    SetData(cu, L"Software\\Alt", L"Zahl", REG_DWORD, Bytes({2, 0, 0, 0}));
    SetText(cu, L"Software\\Alt\\Unter", L"", REG_EXPAND_SZ, L"%SystemRoot%\\u.dll");
    SetText(cu, L"Software\\Weg", L"w", REG_SZ, L"1");
    ChangeJournal removal(L"RegScan", L"test", L"test");
    ASSERT_EQ(removal.Apply({RegChange::DeleteTree(kHKCU, L"Software\\Alt"), RegChange::DeleteTree(kHKCU, L"Software\\Weg")})
                  .Done(),
              2u);
    SetText(cu, L"Software\\Alt", L"Pfad", REG_SZ, L"C:\\neu.exe");  // another program made it again
    const Tree before = Snapshot(cu, L"Software");

    const RestorePlan plan = PlanRestore(removal.UndoPath());
    ASSERT_TRUE(plan.readable) << ToUtf8(plan.problem);
    EXPECT_EQ(Rows(plan), (std::vector<std::wstring>{
                              L"Software\\Alt||ist bereits so|Konflikt|-|-",
                              L"Software\\Alt|Pfad|wird geändert|Konflikt|C:\\neu.exe|C:\\alt.exe",
                              L"Software\\Alt|Zahl|wird angelegt|Konflikt|-|0x00000002 (2)",
                              L"Software\\Alt\\Unter||wird angelegt||-|-",
                              L"Software\\Alt\\Unter|@|wird angelegt||-|%SystemRoot%\\u.dll",
                              L"Software\\Weg||wird angelegt||-|-",
                              L"Software\\Weg|w|wird angelegt||-|1",
                          }));
    EXPECT_EQ(plan.Conflicts(), 3u);
    EXPECT_EQ(Differences(before, Snapshot(cu, L"Software")), "") << "the preview changed the registry";

    const RestoreResult r = WriteBack(plan, DefaultChoice(plan));
    EXPECT_TRUE(r.verified) << ToUtf8(r.problem);
    EXPECT_EQ(r.written, 4u);
    EXPECT_EQ(r.kept, 2u);  // the two conflicts that change something; the key row changes nothing
    ASSERT_NE(r.undoFile, L"");
    EXPECT_NE(r.undoFile.find(L"Rückgängig_Wiederherstellung_"), std::wstring::npos);
    EXPECT_NE(FileText(r.undoFile).find(L"\r\n; zurückgeschrieben wurde: " + removal.UndoPath() + L"\r\n"),
              std::wstring::npos);
    RegValue v;
    ASSERT_TRUE(KF().ReadValueRaw(kHKCU, L"Software\\Alt", L"Pfad", v));
    EXPECT_EQ(ValueText(v), L"C:\\neu.exe");
    EXPECT_FALSE(KF().ReadValueRaw(kHKCU, L"Software\\Alt", L"Zahl", v));
    ASSERT_TRUE(KF().ReadValueRaw(kHKCU, L"Software\\Alt\\Unter", L"", v));
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_EXPAND_SZ));

    // Writing back the write-back's own undo file: nothing of it is a conflict, and afterwards
    // the registry is as it was before both.
    const RestorePlan undo = PlanRestore(r.undoFile);
    ASSERT_TRUE(undo.readable) << ToUtf8(undo.problem);
    EXPECT_EQ(Rows(undo), (std::vector<std::wstring>{L"Software\\Alt\\Unter||wird entfernt||-|-",
                                                     L"Software\\Weg||wird entfernt||-|-"}));
    const RestoreResult back = WriteBack(undo, DefaultChoice(undo));
    EXPECT_TRUE(back.verified) << ToUtf8(back.problem);
    EXPECT_EQ(back.written, 2u);
    EXPECT_EQ(Differences(before, Snapshot(cu, L"Software")), "");
    EXPECT_EQ(Differences(Snapshot(cu, L"Software"), before), "");
}

// Two chosen rows of a file whose key is missing: exactly those two values are written (their key
// with them), and the undo of that write-back removes the key again.
TEST_F(RestoreTest, PartialWriteBackOfTwoChosenRows) {
    SetText(cu, L"Software\\Da", L"x", REG_SZ, L"1");
    const Tree before = Snapshot(cu, L"Software");
    const std::wstring file = WriteFile(L"teil.reg", kHeader5 +
                                                         L"[HKEY_CURRENT_USER\\Software\\Neu\\Tief]\r\n"
                                                         L"\"a\"=\"eins\"\r\n\"b\"=dword:00000007\r\n\"c\"=hex:01,02\r\n\r\n");
    const RestorePlan plan = PlanRestore(file);
    ASSERT_TRUE(plan.readable) << ToUtf8(plan.problem);
    ASSERT_EQ(plan.rows.size(), 4u);
    const RestoreResult r = WriteBack(plan, Only(plan, {1, 3}));
    EXPECT_TRUE(r.verified) << ToUtf8(r.problem);
    EXPECT_EQ(r.written, 2u);
    EXPECT_EQ(r.kept, 2u);
    const Tree after = Snapshot(cu, L"Software\\Neu\\Tief");
    ASSERT_EQ(after.at(L"").size(), 2u);
    EXPECT_EQ(after.at(L"").at(L"a").first, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(after.at(L"").at(L"c"), std::make_pair(DWORD{REG_BINARY}, Bytes({1, 2})));

    const RestorePlan undo = PlanRestore(r.undoFile);
    ASSERT_TRUE(undo.readable);
    EXPECT_EQ(Rows(undo), (std::vector<std::wstring>{L"Software\\Neu||wird entfernt||-|-"}));
    WriteBack(undo, DefaultChoice(undo));
    EXPECT_FALSE(KeyThere(cu, L"Software\\Neu"));
    EXPECT_EQ(Differences(before, Snapshot(cu, L"Software")), "");
}

// Changes, removals and types that change: everything the write-back touches is saved first, and
// its undo brings the registry back byte for byte. A removal of something the file did not make
// is a conflict; written anyway when chosen.
TEST_F(RestoreTest, EveryKindOfRowAndItsUndo) {
    SetData(cu, L"Software\\K", L"typ", REG_BINARY, Bytes({9}));
    SetText(cu, L"Software\\K", L"gleich", REG_SZ, L"g");
    SetText(cu, L"Software\\K", L"weg", REG_SZ, L"w");
    SetText(cu, L"Software\\Baum\\Ast", L"blatt", REG_MULTI_SZ, L"a");
    const Tree before = Snapshot(cu, L"Software");
    const std::wstring file = WriteFile(L"alles.reg", kHeader5 +
                                                          L"[HKEY_CURRENT_USER\\Software\\K]\r\n"
                                                          L"\"typ\"=\"jetzt Text\"\r\n\"gleich\"=\"g\"\r\n\"weg\"=-\r\n"
                                                          L"\"fehlt\"=-\r\n\r\n"
                                                          L"[-HKEY_CURRENT_USER\\Software\\Baum]\r\n\r\n"
                                                          L"[-HKEY_CURRENT_USER\\Software\\Nie]\r\n\r\n");
    const RestorePlan plan = PlanRestore(file);
    ASSERT_TRUE(plan.readable) << ToUtf8(plan.problem);
    EXPECT_EQ(Rows(plan), (std::vector<std::wstring>{
                              L"Software\\K||ist bereits so||-|-",
                              L"Software\\K|typ|wird geändert|Konflikt|09|jetzt Text",
                              L"Software\\K|gleich|ist bereits so||g|g",
                              L"Software\\K|weg|wird entfernt|Konflikt|w|-",
                              L"Software\\K|fehlt|ist bereits so||-|-",
                              L"Software\\Baum||wird entfernt|Konflikt|-|-",
                              L"Software\\Nie||ist bereits so||-|-",
                          }));
    std::vector<bool> all(plan.rows.size(), true);
    const RestoreResult r = WriteBack(plan, all);
    EXPECT_TRUE(r.verified) << ToUtf8(r.problem);
    EXPECT_EQ(r.written, 3u);
    EXPECT_EQ(r.kept, 0u);
    EXPECT_FALSE(KeyThere(cu, L"Software\\Baum"));

    const RestorePlan undo = PlanRestore(r.undoFile);
    ASSERT_TRUE(undo.readable) << ToUtf8(undo.problem);
    EXPECT_EQ(undo.Conflicts(), 0u) << ToUtf8(Rows(undo).front());
    const RestoreResult back = WriteBack(undo, DefaultChoice(undo));
    EXPECT_TRUE(back.verified) << ToUtf8(back.problem);
    EXPECT_EQ(Differences(before, Snapshot(cu, L"Software")), "");
    EXPECT_EQ(Differences(Snapshot(cu, L"Software"), before), "");

    // Once more, and then the value is changed by hand: in the undo file that row is a conflict now.
    const RestoreResult again = WriteBack(PlanRestore(file), all);
    ASSERT_NE(again.undoFile, L"");
    SetText(cu, L"Software\\K", L"typ", REG_SZ, L"von Hand");
    const RestorePlan later = PlanRestore(again.undoFile);
    ASSERT_TRUE(later.readable);
    ASSERT_EQ(later.Conflicts(), 1u);
    for (const RestoreRow& row : later.rows) {
        if (row.conflict) {
            EXPECT_EQ(row.ValueText() + L": " + row.conflictReason, L"typ: Wert wurde seither geändert");
        }
    }
}

// A damaged file names the line that fails and the reason; nothing of it is chosen by default,
// and what the editor would not write is never written. A file without a header is no plan at all.
TEST_F(RestoreTest, DamagedFilesNameTheFailingLineAndChooseNothing) {
    const std::wstring good = kHeader5 + L"[HKEY_CURRENT_USER\\Software\\Gut]\r\n\"a\"=\"1\"\r\n";
    struct Case {
        std::string bytes;
        std::wstring damage;
    } cases[] = {
        {"\xFF\xFE" + Utf16(good + L"\"b\"=hex:01,02,\\\r\n"),
         L"Zeile 5: die Datei endet mitten im Wert (sie ist abgeschnitten)"},
        {"\xFF\xFE" + Utf16(good) + "x", L"Zeile 5: die Datei endet mitten in einem Zeichen (sie ist abgeschnitten)"},
        {"\xFF\xFE" + Utf16(good + L"\"b\"=dword:0000"), L"Zeile 5: die Datei endet mitten in dieser Zeile (sie ist abgeschnitten)"},
        {"\xFF\xFE" + Utf16(good + L"\"b\"=\"offen"), L"Zeile 5: der Text endet ohne Anführungszeichen"},
        {"\xFF\xFE" + Utf16(good + L"[HKEY_CURRENT_USER\\Software\\Halb"), L"Zeile 5: der Schlüsselname endet ohne \"]\""},
        {"REGEDIT4\r\n\r\n[HKEY_IRGENDWO\\X]\r\n\"a\"=\"1\"\r\n", L"Zeile 3: unbekannter Hauptschlüssel \"HKEY_IRGENDWO\""},
        {"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Gut]\r\n\"a\"=\"1\"\r\nirgendwas\r\n\"b\"=\"2\"\r\n",
         L"Zeile 5: ist weder ein Schlüssel noch ein Wert noch ein Kommentar"},
        {"REGEDIT4\r\n\r\n\"a\"=\"1\"\r\n", L"Zeile 3: der Wert steht unter keinem Schlüssel"},
        {"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Gut]\r\n\"a\"=wort:1\r\n", L"Zeile 4: unbekannte Art von Daten"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::wstring path = folder.Write(L"kaputt" + std::to_wstring(++n) + L".reg", c.bytes);
        const RestorePlan plan = PlanRestore(path);
        ASSERT_TRUE(plan.readable) << n;
        EXPECT_TRUE(plan.damaged) << n;
        EXPECT_EQ(plan.damage, c.damage) << n;
        const auto refused = std::find_if(plan.rows.begin(), plan.rows.end(),
                                          [](const RestoreRow& r) { return r.change == RestoreRow::Change::Refused; });
        ASSERT_NE(refused, plan.rows.end()) << n;
        EXPECT_EQ(refused->refused, c.damage) << n;
        EXPECT_EQ(DefaultChoice(plan), std::vector<bool>(plan.rows.size(), false)) << n;
        const RestoreResult r = WriteBack(plan, DefaultChoice(plan));
        EXPECT_EQ(r.written, 0u);
        EXPECT_EQ(r.undoFile, L"");
        EXPECT_FALSE(KeyThere(cu, L"Software\\Gut")) << n;
    }
    // Chosen, the readable rest is written, the rejected line is not.
    const RestorePlan garbage = PlanRestore(folder.Path() + L"kaputt7.reg");
    const RestoreResult rest = WriteBack(garbage, std::vector<bool>(garbage.rows.size(), true));
    EXPECT_EQ(rest.written, 3u);  // the key, "a" and "b"
    EXPECT_EQ(rest.kept, 1u);
    ASSERT_EQ(rest.keptReasons.size(), 1u);
    EXPECT_EQ(rest.keptReasons[0], L"Zeile 5: ist weder ein Schlüssel noch ein Wert noch ein Kommentar");
    EXPECT_EQ(Snapshot(cu, L"Software\\Gut")[L""][L"b"], std::make_pair(DWORD{REG_SZ}, Utf16(L"2") + std::string(2, '\0')));
    RegDeleteTreeW(cu, L"Software\\Gut");
    RegDeleteKeyW(cu, L"Software\\Gut");

    const RestorePlan notReg = PlanRestore(folder.Write(L"hallo.reg", "Hallo Welt\r\n"));
    EXPECT_FALSE(notReg.readable);
    EXPECT_EQ(notReg.problem, L"Zeile 1: keine Registrierungsdatei (die erste Zeile ist weder \"Windows Registry Editor "
                              L"Version 5.00\" noch \"REGEDIT4\")");
    EXPECT_TRUE(notReg.rows.empty());
    const RestorePlan missing = PlanRestore(folder.Path() + L"gibtsnicht.reg");
    EXPECT_FALSE(missing.readable);
    EXPECT_NE(missing.problem.find(L"Die Datei ist nicht lesbar: "), std::wstring::npos);
}
