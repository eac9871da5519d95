// tests/journal/ChangeJournal_test.cpp
#include "core/AppEnvironment.h"
#include "journal/ChangeJournal.h"
#include "journal/Protected.h"
#include "journal/RegistryTree.h"
#include "journal/UndoFile.h"
#include "scan/ScanTestRegistry.h"
#include <optional>

using namespace regtree;

namespace {
const std::wstring kExplorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";

std::wstring Reasons(const JournalResult& r) {
    std::wstring text;
    for (const ChangeOutcome& o : r.items) text += (o.done ? L"done" : L"kept: " + o.reason) + L"\n";
    return text;
}

struct JournalTest : ::testing::Test {
    RegistrySandbox sandbox;
    TempFolder folder;
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppEnvironment.UndoFileHeader = kHeader5;
    }
    const std::function<bool(const RegChange&)> realWrite = ChangeJournal::RegistryWrite();
    void TearDown() override { ChangeJournal::RegistryWrite() = realWrite; }
};

// The registry editor runs in its own process and sees the real registry: this one works below the
// real HKEY_CURRENT_USER and removes its key at the end.
struct JournalRoundTrip : ::testing::Test {
    TempFolder folder;
    std::wstring base;
    void SetUp() override {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        PrepareEnvironment(folder.Path());
        AppEnvironment.UndoFileHeader = kHeader5;
        base = L"Software\\TorvaneTest\\Journal_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
               std::to_wstring(GetTickCount64());
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str()); RegDeleteKeyW(HKEY_CURRENT_USER, base.c_str()); }
};
}  // namespace

// A tree, single values and written values, in the order given: each saved typed and whole
// before it changes, and the undo file written back gives the registry as it was, byte for byte.
TEST_F(JournalRoundTrip, ChangesInOrderAndTheUndoFileBringsEverythingBack) {
    const HKEY cu = HKEY_CURRENT_USER;
    const std::wstring tree = base + L"\\Baum", single = base + L"\\Werte", written = base + L"\\Neu";
    SetText(cu, tree, L"Pfad", REG_EXPAND_SZ, L"%SystemRoot%\\x.dll");
    SetData(cu, tree, L"Multi", REG_MULTI_SZ, Utf16(std::wstring(L"eins\0zwei\0\0", 11)));
    SetData(cu, tree + L"\\Unter", L"Bin", REG_BINARY, Bytes({0, 1, 0xfe, 0xff}));
    SetData(cu, single, L"Dw", REG_DWORD, Bytes({0x2a, 0, 0, 0x80}));
    SetText(cu, single, L"Größe", REG_SZ, L"bleibt \"so\"");
    SetData(cu, written, L"Qw", REG_QWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    const Tree before = Snapshot(cu, base);

    ChangeJournal journal(L"RegScan", L"Test", L"Journal");
    const JournalResult r = journal.Apply({
        RegChange::DeleteTree(kHKCU, tree),
        RegChange::DeleteValue(kHKCU, single, L"Dw"),
        RegChange::SetDword(kHKCU, written, L"Qw", 0x80000001u),      // replaced, with another type
        RegChange::SetText(kHKCU, written, L"Neu", L"%TEMP%", REG_EXPAND_SZ),  // made
        RegChange::DeleteValue(kHKCU, single, L"gibt es nicht"),       // nothing to do
    });
    ASSERT_EQ(r.Done(), 5u) << ToUtf8(Reasons(r));
    EXPECT_FALSE(KeyThere(cu, tree));
    RegValue v;
    EXPECT_FALSE(KF().ReadValueRaw(kHKCU, single, L"Dw", v));
    EXPECT_TRUE(KF().ReadValueRaw(kHKCU, single, L"Größe", v));  // its neighbour stays
    ASSERT_TRUE(KF().ReadValueRaw(kHKCU, written, L"Qw", v));
    EXPECT_EQ(v.type, DWORD(REG_DWORD));
    EXPECT_EQ(v.bytes, 4u);
    ASSERT_TRUE(KF().ReadValueRaw(kHKCU, written, L"Neu", v));
    EXPECT_EQ(v.type, DWORD(REG_EXPAND_SZ));

    // Saved in the order of the changes, each value under its key's section.
    const std::wstring text = FileText(journal.UndoPath());
    const size_t t = text.find(L"[HKEY_CURRENT_USER\\" + tree + L"]"), s = text.find(L"\"Dw\"=dword:8000002a"),
                 q = text.find(L"\"Qw\"=hex(b):01,02,03,04,05,06,07,08"), n = text.find(L"\"Neu\"=-");
    ASSERT_NE(t, std::wstring::npos) << ToUtf8(text);
    EXPECT_LT(t, s);
    EXPECT_LT(s, q);
    EXPECT_LT(q, n);
    EXPECT_EQ(text.find(L"Größe"), std::wstring::npos);  // only what changes is saved

    ASSERT_EQ(RunRegedit(journal.UndoPath()), 0u);
    EXPECT_EQ(Differences(before, Snapshot(cu, base)), "");
}

// A deletion that fails half-way keeps its item and the rest goes on; an undo file that cannot
// be written keeps everything not yet saved, and says which change was the first to stay.
TEST_F(JournalTest, FailureHalfWayKeepsWhatIsNotSavedAndNamesIt) {
    for (const wchar_t* k : {L"A", L"B", L"C"}) PutSz(HKEY_CURRENT_USER, std::wstring(L"Software\\T\\") + k, L"v", k);
    ChangeJournal::RegistryWrite() = [this](const RegChange& c) { return c.key != L"Software\\T\\B" && realWrite(c); };
    ChangeJournal journal(L"RegScan", L"Test", L"Journal");
    JournalResult r = journal.Apply({RegChange::DeleteTree(kHKCU, L"Software\\T\\A"), RegChange::DeleteTree(kHKCU, L"Software\\T\\B"),
                                     RegChange::DeleteTree(kHKCU, L"Software\\T\\C")});
    EXPECT_EQ(Reasons(r), L"done\nkept: konnte nicht gelöscht werden\ndone\n");
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, L"Software\\T\\B"));
    EXPECT_NE(FileText(journal.UndoPath()).find(L"[HKEY_CURRENT_USER\\Software\\T\\B]"), std::wstring::npos);

    // The disk fills up after the first change was saved.
    for (const wchar_t* k : {L"D", L"E", L"F"}) PutSz(HKEY_CURRENT_USER, std::wstring(L"Software\\T\\") + k, L"v", k);
    std::optional<DiskFullAfter> full(3);  // the byte-order mark, the header and the first value reach the disk
    ChangeJournal filling(L"Verlauf", L"Test", L"Journal");
    r = filling.Apply({RegChange::SetText(kHKCU, L"Software\\T\\D", L"v", L"neu"), RegChange::DeleteValue(kHKCU, L"Software\\T\\E", L"v"),
                    RegChange::DeleteTree(kHKCU, L"Software\\T\\F")});
    EXPECT_EQ(r.undoProblem, JournalResult::UndoProblem::NotWritten);
    EXPECT_EQ(r.Done(), 1u) << ToUtf8(Reasons(r));
    EXPECT_EQ(r.firstUnsaved, 1u);
    EXPECT_EQ(r.items[1].reason, L"Die Sicherungsdatei konnte nicht geschrieben werden.");
    EXPECT_EQ(ClassHandler().KeyFunc().ReadKeyValue(kHKCU, L"Software\\T\\D", L"v"), L"neu");
    EXPECT_EQ(ClassHandler().KeyFunc().ReadKeyValue(kHKCU, L"Software\\T\\E", L"v"), L"E");
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, L"Software\\T\\F"));

    // No undo file at all: nothing changes.
    full.reset();
    AppEnvironment.BackupDir = folder.Write(L"kein Ordner") + L"\\Backup\\";
    ChangeJournal none(L"AutoRun", L"Test", L"Journal");
    r = none.Apply({RegChange::DeleteValue(kHKCU, L"Software\\T\\E", L"v")});
    EXPECT_EQ(r.undoProblem, JournalResult::UndoProblem::NotCreated);
    EXPECT_FALSE(none.FileMade());
    EXPECT_EQ(ClassHandler().KeyFunc().ReadKeyValue(kHKCU, L"Software\\T\\E", L"v"), L"E");
}

// Both views of the machine's keys are changed alike, and the structure of each stays.
TEST_F(JournalTest, BothViewsAndTheirStructure) {
    const std::wstring app = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\alt.exe";
    const std::wstring app32 = L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths\\alt.exe";
    PutSz(HKEY_LOCAL_MACHINE, app, L"", L"C:\\weg\\alt.exe");
    PutSz(HKEY_LOCAL_MACHINE, app32, L"", L"C:\\weg\\alt.exe");
    ChangeJournal journal(L"RegScan", L"Test", L"Journal");
    const JournalResult r = journal.Apply({
        RegChange::DeleteTree(kHKLM, app), RegChange::DeleteTree(kHKLM, app32),
        RegChange::DeleteTree(kHKLM, L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths"),
        RegChange::DeleteTree(kHKLM, L"SOFTWARE\\Wow6432Node"), RegChange::DeleteTree(kHKLM, L""),
        RegChange::DeleteTree(kHKCU, L"Software\\Classes\\Wow6432Node\\CLSID")});
    // The containers are no entries of the scan's: outside its areas.
    const std::wstring outside = L"kept: liegt außerhalb der Bereiche, die Torvane ändert\n";
    EXPECT_EQ(Reasons(r), L"done\ndone\n" + outside + outside + outside + outside);
    EXPECT_TRUE(r.items[2].protectedPlace);
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, app));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, app32));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths"));
    const std::wstring text = FileText(journal.UndoPath());
    EXPECT_NE(text.find(L"[HKEY_LOCAL_MACHINE\\" + app32 + L"]"), std::wstring::npos);
    EXPECT_EQ(text.find(L"[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node]"), std::wstring::npos);

    // Where a kind may delete a class, the structure of both views stays all the same.
    ChangeJournal types(L"Dateierweiterung", L"Test", L"Journal");
    const JournalResult t = types.Apply({RegChange::DeleteTree(kHKCU, L"Software\\Classes\\Wow6432Node\\Interface"),
                                         RegChange::DeleteTree(kHKLM, L"Software\\Wow6432Node\\Classes\\CLSID"),
                                         RegChange::DeleteTree(kHKLM, L"Software\\Classes")});
    EXPECT_EQ(Reasons(t), L"kept: ist ein Grundschlüssel der Registry\nkept: ist ein Grundschlüssel der Registry\n" + outside);
}

// The user's choice of program and the ProgIDs that are still named never go; a ProgID whose last
// extension goes in the same run goes after it.
TEST_F(JournalTest, UserChoiceAndNamedProgIdsStay) {
    const std::wstring cls = L"Software\\Classes\\";
    PutSz(HKEY_CURRENT_USER, kExplorer + L"FileExts\\.tv\\UserChoice", L"ProgId", L"tvfile");
    PutSz(HKEY_CURRENT_USER, kExplorer + L"FileExts\\.tv\\OpenWithList", L"a", L"x.exe");
    PutSz(HKEY_CURRENT_USER, cls + L".eins", L"", L"Eins.Datei");
    PutSz(HKEY_CURRENT_USER, cls + L"Eins.Datei", L"", L"Eins");
    PutSz(HKEY_LOCAL_MACHINE, cls + L".zwei", L"", L"Zwei.Datei");
    PutSz(HKEY_CURRENT_USER, cls + L"Zwei.Datei", L"", L"Zwei");  // named by the machine's extension
    PutSz(HKEY_LOCAL_MACHINE, cls + L"CLSID\\{11111111-2222-3333-4444-555555555555}\\VersionIndependentProgID", L"", L"Drei.Klasse");
    PutSz(HKEY_CURRENT_USER, cls + L"Drei.Klasse", L"", L"Drei");
    PutSz(HKEY_CURRENT_USER, cls + L".vier\\OpenWithProgids", L"Vier.Datei", L"");
    PutSz(HKEY_CURRENT_USER, cls + L"Vier.Datei", L"", L"Vier");
    PutSz(HKEY_CURRENT_USER, cls + L"Frei.Datei", L"", L"niemand nennt sie");
    // A write-back may do what the file types and the history may do: only the protected places stay.
    ChangeJournal journal(L"Wiederherstellung", L"Test", L"Journal");
    const JournalResult r = journal.Apply({
        RegChange::DeleteTree(kHKCU, kExplorer + L"FileExts\\.tv"),
        RegChange::DeleteTree(kHKCU, kExplorer + L"FileExts\\.tv\\UserChoice"),
        RegChange::SetText(kHKCU, kExplorer + L"FileExts\\.tv\\UserChoice", L"ProgId", L"anders"),
        RegChange::DeleteTree(kHKCU, kExplorer + L"FileExts\\.tv\\OpenWithList"),
        RegChange::DeleteTree(kHKCU, cls + L".eins"), RegChange::DeleteTree(kHKCU, cls + L"Eins.Datei"),
        RegChange::DeleteTree(kHKCU, cls + L"Zwei.Datei"), RegChange::DeleteTree(kHKCU, cls + L"Drei.Klasse"),
        RegChange::DeleteTree(kHKCU, cls + L"vier.datei"), RegChange::DeleteTree(kHKCU, cls + L"Frei.Datei"),
        RegChange::DeleteTree(kHKCU, cls + L"exefile\\shell\\open"), RegChange::DeleteTree(kHKCU, cls + L"CLSID"),
        RegChange::CreateKey(kHKCU, kExplorer + L"FileExts\\.neu\\UserChoice")});
    const std::wstring reasons = Reasons(r);
    for (size_t i : {0, 1, 2, 6, 7, 8, 10, 11, 12}) EXPECT_FALSE(r.items[i].done) << i << ToUtf8(reasons);
    EXPECT_TRUE(r.items[12].protectedPlace);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kExplorer + L"FileExts\\.neu"));
    for (size_t i : {3, 4, 5, 9}) EXPECT_TRUE(r.items[i].done) << i << ToUtf8(reasons);
    EXPECT_NE(r.items[6].reason.find(L"HKEY_LOCAL_MACHINE\\Software\\Classes\\.zwei"), std::wstring::npos) << ToUtf8(reasons);
    EXPECT_NE(r.items[7].reason.find(L"VersionIndependentProgID"), std::wstring::npos) << ToUtf8(reasons);
    EXPECT_EQ(ClassHandler().KeyFunc().ReadKeyValue(kHKCU, kExplorer + L"FileExts\\.tv\\UserChoice", L"ProgId"), L"tvfile");
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kExplorer + L"FileExts\\.tv\\OpenWithList"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, cls + L"Eins.Datei"));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, cls + L"Zwei.Datei"));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, cls + L"Vier.Datei"));
    // Nothing that stays was saved.
    const std::wstring text = FileText(journal.UndoPath());
    EXPECT_EQ(text.find(L"UserChoice"), std::wstring::npos);
    EXPECT_EQ(text.find(L"Zwei.Datei]"), std::wstring::npos);
}

// Windows 10 and 11 name a ProgID in more places than the classes: each keeps it, with all below
// it, while it names it, and the same ProgID no longer named may go.
TEST_F(JournalTest, EveryPlaceThatNamesAProgIdKeepsIt) {
    const std::wstring cls = L"Software\\Classes\\";
    const std::wstring urls = L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\";
    const std::wstring apps = L"Software\\RegisteredApplications";
    struct Namer {
        HKEY root;
        std::wstring key, value, data, progId;  // data "" : the value's name is the ProgID
    };
    const Namer namers[] = {
        {HKEY_CURRENT_USER, kExplorer + L"FileExts\\.tva\\UserChoiceLatest", L"ProgId", L"Neu.Wahl", L"Neu.Wahl"},
        {HKEY_CURRENT_USER, kExplorer + L"FileExts\\.tvb\\OpenWithProgids", L"Explorer.Liste", L"", L"Explorer.Liste"},
        {HKEY_CURRENT_USER, urls + L"tvp\\UserChoice", L"ProgId", L"Tvp.Url", L"Tvp.Url"},
        {HKEY_CURRENT_USER, urls + L"tvq\\UserChoiceLatest", L"ProgId", L"Tvq.Url", L"Tvq.Url"},
        {HKEY_LOCAL_MACHINE, L"Software\\Hersteller\\App\\Capabilities\\FileAssociations", L".tvc", L"App.Datei", L"App.Datei"},
        {HKEY_CURRENT_USER, L"Software\\Hersteller\\Zwei\\Capabilities\\URLAssociations", L"tvr", L"Zwei.Url", L"Zwei.Url"},
    };
    PutSz(HKEY_LOCAL_MACHINE, apps, L"App", L"Software\\Hersteller\\App\\Capabilities");
    PutSz(HKEY_CURRENT_USER, apps, L"Zwei", L"Software\\Hersteller\\Zwei\\Capabilities");
    for (const Namer& n : namers) {
        PutSz(n.root, n.key, n.value, n.data);
        PutSz(HKEY_CURRENT_USER, cls + n.progId + L"\\shell\\open\\command", L"", L"app.exe \"%1\"");
    }
    {
        RegistryProtection protection;
        for (const Namer& n : namers) {
            const std::wstring why = protection.WhyKey(kHKCU, cls + n.progId);
            EXPECT_NE(why.find(n.key + L" noch nennt"), std::wstring::npos) << ToUtf8(n.progId) << ": " << ToUtf8(why);
            EXPECT_EQ(protection.WhyKey(kHKLM, cls + n.progId + L"\\shell\\open\\command").rfind(L"gehört zu einem Dateityp", 0), 0u)
                << ToUtf8(n.progId);
        }
        // The newer choice itself, as the older one.
        for (const std::wstring& choice : {kExplorer + L"FileExts\\.tva", kExplorer + L"FileExts\\.tva\\UserChoiceLatest",
                                           urls + L"tvq", urls + L"tvq\\UserChoiceLatest"}) {
            EXPECT_NE(protection.WhyKey(kHKCU, choice), L"") << ToUtf8(choice);
            EXPECT_NE(protection.WhyValue(kHKCU, choice + L"\\UserChoiceLatest", L"ProgId"), L"") << ToUtf8(choice);
        }
    }
    // Named no longer: each may go. An application no longer registered names nothing.
    for (const Namer& n : namers) RegDeleteKeyValueW(n.root, n.key.c_str(), n.value.c_str());
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, apps.c_str(), L"App");
    PutSz(HKEY_LOCAL_MACHINE, L"Software\\Hersteller\\App\\Capabilities\\FileAssociations", L".tvc", L"App.Datei");
    RegistryProtection protection;
    for (const Namer& n : namers) {
        EXPECT_EQ(protection.WhyKey(kHKCU, cls + n.progId), L"") << ToUtf8(n.progId);
        EXPECT_EQ(protection.WhyKey(kHKCU, cls + n.progId + L"\\shell\\open\\command"), L"") << ToUtf8(n.progId);
    }
    // Packaged apps' types and the types Windows gives all files of a kind stay, named or not.
    for (const std::wstring& key : {cls + L"AppX4hxtad77fbk3jkkeerkrm0ze94wjf3s9", cls + L"appxq0fevzme2pys62n3e0fbqa7peapykr8v\\Shell\\open",
                                    cls + L"SystemFileAssociations", cls + L"SystemFileAssociations\\.jpg\\shell\\edit\\command",
                                    cls + L"SystemFileAssociations\\image"}) {
        EXPECT_NE(protection.WhyKey(kHKCU, key), L"") << ToUtf8(key);
        EXPECT_NE(protection.WhyKey(kHKCR, key.substr(cls.size())), L"") << ToUtf8(key);
    }
    for (const std::wstring& key : {cls + L"Appy.Datei", cls + L"MeineAppX.Datei\\shell"})
        EXPECT_EQ(protection.WhyKey(kHKCU, key), L"") << ToUtf8(key);

    // In a run, a namer that goes first frees its ProgID; one that stays keeps it.
    PutSz(HKEY_CURRENT_USER, kExplorer + L"FileExts\\.tva\\UserChoiceLatest", L"ProgId", L"Neu.Wahl");
    PutSz(HKEY_CURRENT_USER, cls + L".tvd", L"", L"Tvd.Datei");
    PutSz(HKEY_CURRENT_USER, cls + L"Tvd.Datei\\shell\\open\\command", L"", L"app.exe");
    ChangeJournal journal(L"Dateierweiterung", L"Test", L"Journal");
    const JournalResult r = journal.Apply({RegChange::DeleteTree(kHKCU, cls + L"Neu.Wahl"),
                                           RegChange::DeleteTree(kHKCU, cls + L".tvd"),
                                           RegChange::DeleteTree(kHKCU, cls + L"Tvd.Datei")});
    EXPECT_EQ(Reasons(r), L"kept: ist ein Dateityp, den HKEY_CURRENT_USER\\" + kExplorer +
                              L"FileExts\\.tva\\UserChoiceLatest noch nennt\ndone\ndone\n");
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, cls + L"Neu.Wahl\\shell\\open\\command"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, cls + L"Tvd.Datei"));
}

// A cancel between changes keeps the rest as it is, unsaved.
TEST_F(JournalTest, CancelKeepsTheRest) {
    for (const wchar_t* k : {L"A", L"B"}) PutSz(HKEY_CURRENT_USER, std::wstring(L"Software\\T\\") + k, L"v", k);
    ChangeJournal journal(L"Verlauf", L"Test", L"Journal");
    int asked = 0;
    journal.cancelled = [&] { return ++asked > 1; };
    const JournalResult r = journal.Apply({RegChange::DeleteValue(kHKCU, L"Software\\T\\A", L"v"),
                                           RegChange::DeleteTree(kHKCU, L"Software\\T\\B")});
    EXPECT_EQ(Reasons(r), L"done\nkept: abgebrochen\n");
    EXPECT_TRUE(r.cancelled);
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, L"Software\\T\\B"));
    EXPECT_EQ(FileText(journal.UndoPath()).find(L"Software\\T\\B]"), std::wstring::npos);
}
